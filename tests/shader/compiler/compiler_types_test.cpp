// The type words of the compiler: internal type names to flags and back, and
// the component count, byte size, alignment and array stride that follow
// from the flags (GLSL buffer layout: a three-component vector takes three
// components of room and aligns like four); the swizzle letters.
#include "compiler_fixtures.h"

#include "core/String.h"

#include <gtest/gtest.h>

using Vexa::Compiler;
using Vexa::String;

namespace {

constexpr uint32_t F = Compiler::TypeFloat;
constexpr uint32_t U = Compiler::TypeUint;
constexpr uint32_t I = Compiler::TypeInt;
constexpr uint32_t B = Compiler::TypeBool;
constexpr uint32_t S = Compiler::TypeScalar;
constexpr uint32_t C = Compiler::TypeComposite;

struct TypeRow {
	const char *name;
	uint32_t flags;
	uint32_t components;
	uint32_t size;
	uint32_t alignment;
	uint32_t stride;
};

const TypeRow type_rows[] = {
	{"f32", S | F | Compiler::Type32, 1, 4, 4, 4},
	{"f16", S | F | Compiler::Type16, 1, 2, 2, 2},
	{"f64", S | F | Compiler::Type64, 1, 8, 8, 8},
	{"u16", S | U | Compiler::Type16, 1, 2, 2, 2},
	{"i64", S | I | Compiler::Type64, 1, 8, 8, 8},
	{"b32", S | B | Compiler::Type32, 1, 4, 4, 4},
	{"f32v2", C | F | Compiler::Type32 | Compiler::TypeVector2, 2, 8, 8, 8},
	{"f32v3", C | F | Compiler::Type32 | Compiler::TypeVector3, 3, 12, 16, 16},
	{"f32v4", C | F | Compiler::Type32 | Compiler::TypeVector4, 4, 16, 16, 16},
	{"f16v3", C | F | Compiler::Type16 | Compiler::TypeVector3, 3, 6, 8, 8},
	{"f64v3", C | F | Compiler::Type64 | Compiler::TypeVector3, 3, 24, 32, 32},
	{"u32v3", C | U | Compiler::Type32 | Compiler::TypeVector3, 3, 12, 16, 16},
	{"i16v2", C | I | Compiler::Type16 | Compiler::TypeVector2, 2, 4, 4, 4},
	{"b32v4", C | B | Compiler::Type32 | Compiler::TypeVector4, 4, 16, 16, 16},
	{"f32v2m2", C | F | Compiler::Type32 | Compiler::TypeVector2 | Compiler::TypeMatrix2, 4, 16, 8, 16},
	{"f32v3m3", C | F | Compiler::Type32 | Compiler::TypeVector3 | Compiler::TypeMatrix3, 9, 48, 16, 48},
	{"f32v3m4", C | F | Compiler::Type32 | Compiler::TypeVector3 | Compiler::TypeMatrix4, 12, 64, 16, 64},
	{"f32v4m3", C | F | Compiler::Type32 | Compiler::TypeVector4 | Compiler::TypeMatrix3, 12, 48, 16, 48},
	{"f32v2m3", C | F | Compiler::Type32 | Compiler::TypeVector2 | Compiler::TypeMatrix3, 6, 24, 8, 24},
	{"f64v3m2", C | F | Compiler::Type64 | Compiler::TypeVector3 | Compiler::TypeMatrix2, 6, 64, 32, 64},
	{"f16v3m3", C | F | Compiler::Type16 | Compiler::TypeVector3 | Compiler::TypeMatrix3, 9, 24, 8, 24},
	{"f32v4m4", C | F | Compiler::Type32 | Compiler::TypeVector4 | Compiler::TypeMatrix4, 16, 64, 16, 64},
};

TEST(CompilerTypes, NamesFlagsAndLayout) {
	for (const TypeRow &row : type_rows) {
		SCOPED_TRACE(row.name);
		uint32_t flags = Compiler::get_type_flags(String(row.name));
		EXPECT_EQ(flags, row.flags);
		EXPECT_EQ(Compiler::get_type_name(flags), String(row.name));
		EXPECT_EQ(Compiler::get_type_components(flags), row.components);
		EXPECT_EQ(Compiler::get_type_size(flags), row.size);
		EXPECT_EQ(Compiler::get_type_alignment(flags), row.alignment);
		EXPECT_EQ(Compiler::get_type_stride(flags), row.stride);
		// an array of it carries the array bit and keeps the rest
		EXPECT_EQ(Compiler::get_type_flags(String(row.name) + "[4]"), row.flags | Compiler::TypeRuntimeArray);
		EXPECT_EQ(Compiler::get_type_flags(String(row.name) + "[]"), row.flags | Compiler::TypeRuntimeArray);
	}
}

TEST(CompilerTypes, RefusedNames) {
	for (const char *name : {"f8", "f32v5", "f32v2m5", "f32v1", "f32vx", "image2D", "sampler", "void", "float", "vec4", "", "u128", "x32"}) {
		SCOPED_TRACE(name);
		try {
			Compiler::get_type_flags(String(name));
			ADD_FAILURE() << "accepted";
		} catch (const String &message) {
			EXPECT_EQ(message, String::format("unknown type \"%s\"\n", name));
		}
	}
}

TEST(CompilerTypes, NamesOfOtherFlags) {
	struct {
		uint32_t flags;
		const char *name;
	} rows[] = {
		{0, "unknown"},
		{Compiler::TypeVoid, "void"},
		{B | Compiler::Type16, "b32"},
		{S | U | Compiler::Type32 | Compiler::TypePointer, "u32_ptr"},
		{S | F | Compiler::Type32 | Compiler::TypeRuntimeArray, "f32[]"},
		{Compiler::TypeImage2D | F | Compiler::Type32, "image2D"},
		{Compiler::TypeImage2D | Compiler::TypeImageArray | Compiler::TypeTexture | Compiler::TypeSampled, "sampler2DArray"},
		{Compiler::TypeImageCube | Compiler::TypeImageArray | Compiler::TypeImageShadow | Compiler::TypeTexture, "textureCubeArrayShadow"},
		// an integer image names its kind (and a 64-bit width) as declared, before multisampled and arrayed
		{Compiler::TypeImage2D | Compiler::TypeImageMS | I | Compiler::Type32, "image2DIMS"},
		{Compiler::TypeImage2D | Compiler::TypeImageMS | Compiler::TypeImageArray | U | Compiler::Type64, "image2DU64MSArray"},
		{Compiler::TypeImage2D | Compiler::TypeImageArray | I | Compiler::Type32 | Compiler::TypeTexture | Compiler::TypeSampled, "sampler2DIArray"},
		{Compiler::TypeImageBuffer | Compiler::TypeTexture, "textureBuffer"},
		{Compiler::TypeSampler, "sampler"},
		{Compiler::TypeAccelerationStructure, "accelerationStructure"},
		{Compiler::TypeRayQuery, "ray_query"},
		{Compiler::TypeStructure | Compiler::TypeRuntimeArray, "structure[]"},
		{Compiler::TypeFunction, "function"},
		// the row-major bit leaves the name alone
		{C | F | Compiler::Type32 | Compiler::TypeVector4 | Compiler::TypeMatrix4 | Compiler::TypeRowMajor, "f32v4m4"},
	};
	for (const auto &row : rows) EXPECT_EQ(Compiler::get_type_name(row.flags), String(row.name)) << row.name;
}

TEST(CompilerTypes, SwizzleLetters) {
	const char *groups[] = {"xrs", "ygt", "zbp", "waq"};
	for (uint32_t i = 0; i < 4; i++) {
		for (const char *c = groups[i]; *c; c++) EXPECT_EQ(Compiler::get_swizzle_index(*c), i) << *c;
	}
	for (char c : {'X', 'u', 'v', '0', '_', '\0'}) EXPECT_EQ(Compiler::get_swizzle_index(c), ~0u) << c;
}

TEST(CompilerTypes, AlignSize) {
	struct {
		uint32_t value, alignment, expected;
	} rows[] = {{0, 4, 0}, {1, 4, 4}, {4, 4, 4}, {13, 16, 16}, {7, 3, 9}, {9, 3, 9}, {5, 0, 0}, {12, 1, 12}};
	for (const auto &row : rows) EXPECT_EQ(Compiler::align_size(row.value, row.alignment), row.expected) << row.value << " " << row.alignment;
}

} // namespace
