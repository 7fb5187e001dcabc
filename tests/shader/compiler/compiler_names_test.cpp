// The name tables of the compiler: their sizes, the rules of the GLSL type
// table and its reverse, the numbers of the keyword tables, and that the
// tables are built once and survive a reset.
#include "compiler_fixtures.h"

#include <gtest/gtest.h>

using Vexa::Compiler;
using Vexa::String;

namespace {

TEST(CompilerNames, TableSizes) {
	compiler_test::Fixture f;
	const Compiler &c = f.compiler;
	EXPECT_EQ(c.glsl_types.size(), 171u);
	EXPECT_EQ(c.internal_types.size(), 162u);
	EXPECT_EQ(c.internal_functions.size(), 274u);
	EXPECT_EQ(c.external_functions.size(), 65u);
	EXPECT_EQ(c.keywords.size(), 59u);
	EXPECT_EQ(c.image_formats.size(), 35u);
	EXPECT_EQ(c.builtin_variables.size(), 93u);
	EXPECT_EQ(c.storage_qualifiers.size(), 11u);
	EXPECT_EQ(c.block_qualifiers.size(), 4u);
	EXPECT_EQ(c.decoration_qualifiers.size(), 13u);
	EXPECT_EQ(c.fragment_qualifiers.size(), 7u);
	EXPECT_EQ(c.layout_qualifiers.size(), 15u);
}

TEST(CompilerNames, GlslTypeNames) {
	compiler_test::Fixture f;
	struct {
		const char *glsl;
		const char *internal;
	} rows[] = {
		{"void", "void"},
		{"int", "i32"},
		{"bool", "b32"},
		{"float16_t", "f16"},
		{"uint64_t", "u64"},
		{"ivec3", "i32v3"},
		{"i16vec2", "i16v2"},
		{"u64vec4", "u64v4"},
		{"f16vec3", "f16v3"},
		{"dvec2", "f64v2"},
		{"bvec4", "b32v4"},
		{"mat2", "f32v2m2"},
		{"mat2x2", "f32v2m2"},
		{"mat3", "f32v3m3"},
		{"mat2x3", "f32v3m2"},
		{"mat4x3", "f32v3m4"},
		{"dmat2x4", "f64v4m2"},
		{"f16mat4", "f16v4m4"},
		{"image2DMS", "image2DMS"},
		{"textureCube", "textureCube"},
		{"sampler2DArray", "sampler2DArray"},
		{"iimage2DArray", "image2DIArray"},
		{"utexture3D", "texture3DU"},
		{"isamplerCube", "samplerCubeI"},
		{"uimage2DMS", "image2DUMS"},
		{"i64image2D", "image2DI64"},
		{"u64image2D", "image2DU64"},
		{"i64image2DMSArray", "image2DI64MSArray"},
		{"u64imageCube", "imageCubeU64"},
		// integer multisampled arrays keep their kind
		{"itexture2DMSArray", "texture2DIMSArray"},
		{"usampler2DMSArray", "sampler2DUMSArray"},
		{"isamplerBuffer", "samplerBufferI"},
		{"uimageBuffer", "imageBufferU"},
		{"samplerCubeArrayShadow", "samplerCubeArrayShadow"},
		{"samplerShadow", "samplerShadow"},
		{"samplerBuffer", "samplerBuffer"},
		{"accelerationStructureEXT", "accelerationStructure"},
		{"rayQueryEXT", "rayQuery"},
	};
	for (const auto &row : rows) {
		const String *internal = f.compiler.glsl_types.get(String(row.glsl));
		ASSERT_NE(internal, nullptr) << row.glsl;
		EXPECT_EQ(*internal, String(row.internal)) << row.glsl;
	}
	// the multisampled array spellings with two kind letters are no keys
	for (const char *name : {"itexture2DIMSArray", "usampler2DUMSArray", "imat2", "dmat", "samplerBufferShadow"}) {
		EXPECT_EQ(f.compiler.glsl_types.get(String(name)), nullptr) << name;
	}
	// every numeric internal name reads back to its own text
	for (auto it = f.compiler.glsl_types.begin(); it; ++it) {
		const String &name = it->value;
		if (name.startsWith("f") || name.startsWith("u") || name.startsWith("i") || name.startsWith("b")) {
			if (name.startsWith("image")) continue;
			EXPECT_EQ(Compiler::get_type_name(Compiler::get_type_flags(name)), name);
		}
	}
}

TEST(CompilerNames, ReverseTypeNames) {
	compiler_test::Fixture f;
	struct {
		const char *internal;
		const char *glsl;
	} rows[] = {
		{"f32v2m2", "mat2x2"},
		{"f32v3m3", "mat3x3"},
		{"f64v4m4", "dmat4x4"},
		{"f16v2m2", "f16mat2x2"},
		{"f32v3m4", "mat4x3"},
		{"image2DU64", "u64image2D"},
		{"image2DU64MSArray", "u64image2DMSArray"},
		{"texture2DMSArray", "texture2DMSArray"},
		{"texture2DUMSArray", "utexture2DMSArray"},
		{"sampler2DIMSArray", "isampler2DMSArray"},
		{"f32v4", "vec4"},
		{"u32", "uint"},
		{"accelerationStructure", "accelerationStructureEXT"},
	};
	for (const auto &row : rows) {
		const String *glsl = f.compiler.internal_types.get(String(row.internal));
		ASSERT_NE(glsl, nullptr) << row.internal;
		EXPECT_EQ(*glsl, String(row.glsl)) << row.internal;
	}
}

TEST(CompilerNames, NameSets) {
	compiler_test::Fixture f;
	const Compiler &c = f.compiler;
	for (const char *name : {"texture", "imageAtomicCompSwap", "subgroupPartitionedExclusiveXor", "nonuniformEXT", "sampler2DShadow", "EmitMeshTasksEXT"}) {
		EXPECT_TRUE(c.internal_functions.find(String(name))) << name;
	}
	for (const char *name : {"frexp", "round", "interpolateAtOffset", "unpackDouble2x32", "inversesqrt"}) {
		EXPECT_TRUE(c.external_functions.find(String(name))) << name;
	}
	for (const char *name : {"filter", "using", "attribute", "precise", "discard"}) EXPECT_TRUE(c.keywords.find(String(name))) << name;
	EXPECT_FALSE(c.keywords.find(String("vec4")));
	EXPECT_FALSE(c.external_functions.find(String("texture")));
}

TEST(CompilerNames, Numbers) {
	compiler_test::Fixture f;
	const Compiler &c = f.compiler;
	struct {
		const Vexa::Map<String, uint32_t> &table;
		const char *name;
		uint32_t value;
	} rows[] = {
		{c.image_formats, "rgba32f", 1},
		{c.image_formats, "r11f_g11f_b10f", 8},
		{c.image_formats, "r64i", 41},
		{c.image_formats, "rgb10_a2ui", 34},
		{c.builtin_variables, "gl_Position", 0},
		{c.builtin_variables, "gl_PrimitiveIDIn", 7},
		{c.builtin_variables, "gl_PrimitiveID", 7},
		{c.builtin_variables, "gl_SampleMaskIn", 20},
		{c.builtin_variables, "gl_HitTEXT", 5326},
		{c.builtin_variables, "gl_RayTmaxEXT", 5326},
		{c.builtin_variables, "gl_SubgroupLtMask", 4420},
		{c.builtin_variables, "gl_WorkGroupSize", ~0u},
		{c.builtin_variables, "gl_out", ~0u},
		{c.builtin_variables, "gl_RayFlagsCullNoOpaqueEXT", ~0u},
		{c.storage_qualifiers, "buffer", 12},
		{c.storage_qualifiers, "taskPayloadSharedEXT", 5402},
		{c.block_qualifiers, "uniform", 2},
		{c.decoration_qualifiers, "const", 22},
		{c.decoration_qualifiers, "perprimitiveEXT", 5271},
		{c.fragment_qualifiers, "depth_unchanged", 16},
		{c.layout_qualifiers, "binding", 33},
		{c.layout_qualifiers, "viewport_relative", 5252},
	};
	for (const auto &row : rows) {
		const uint32_t *value = row.table.get(String(row.name));
		ASSERT_NE(value, nullptr) << row.name;
		EXPECT_EQ(*value, row.value) << row.name;
	}
}

TEST(CompilerNames, BuiltOnceAndKeptByReset) {
	Compiler compiler;
	EXPECT_EQ(compiler.glsl_types.size(), 0u);
	compiler.init_tables();
	// a table that holds anything is not filled again
	compiler.keywords.insert(String("extra"));
	compiler.glsl_types.remove(String("vec4"));
	compiler.reset();
	compiler.init_tables();
	EXPECT_TRUE(compiler.keywords.find(String("extra")));
	EXPECT_EQ(compiler.keywords.size(), 60u);
	EXPECT_EQ(compiler.glsl_types.size(), 170u);
	EXPECT_EQ(compiler.layout_qualifiers.size(), 15u);
}

} // namespace
