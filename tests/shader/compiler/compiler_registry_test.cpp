// The type registry and word emission: each type is declared once, after its
// component types, with the capabilities it needs; arrays, images, sampled
// images and pointers; the target map and its accessors; instruction and
// string words, and the block rule of function code. Where spirv-val is
// installed, the declarations are wrapped into a module and validated.
#include "compiler_fixtures.h"

#include "shader/ShaderSpirvNumbers.h"

#include <gtest/gtest.h>

using Vexa::Array;
using Vexa::Compiler;
using Vexa::String;
using compiler_test::count_opcode;
using compiler_test::decode;
using compiler_test::Fixture;
using compiler_test::Instruction;

namespace {

namespace Spirv = Vexa::Spirv;

// the thrown message of an operation, empty when it does not throw
template <class Call>
std::string thrown(Call call) {
	try {
		call();
	} catch (const String &message) {
		return message.get();
	}
	return std::string();
}

std::vector<uint32_t> capabilities(const Compiler &c) {
	std::vector<uint32_t> ret;
	for (auto it = c.capabilities.begin(); it; ++it) ret.push_back(it->key);
	return ret;
}

TEST(CompilerRegistry, TypeMadeOnceAfterItsComponents) {
	Fixture f;
	Compiler &c = f.compiler;
	uint32_t vec = c.add_type("f32v4");
	EXPECT_EQ(c.add_type("f32v4"), vec);
	EXPECT_EQ(c.add_type(Compiler::get_type_flags(String("f32v4"))), vec);
	uint32_t scalar = c.add_type("f32");
	uint32_t matrix = c.add_type("f32v4m4");
	EXPECT_EQ(c.add_type("f32v4m4"), matrix);

	std::vector<Instruction> list = decode(c.words);
	ASSERT_EQ(list.size(), 3u);
	EXPECT_EQ(list[0].opcode, Spirv::OpTypeFloat);
	EXPECT_EQ(list[0].operands, (std::vector<uint32_t>{scalar, 32}));
	EXPECT_EQ(list[1].opcode, Spirv::OpTypeVector);
	EXPECT_EQ(list[1].operands, (std::vector<uint32_t>{vec, scalar, 4}));
	EXPECT_EQ(list[2].opcode, Spirv::OpTypeMatrix);
	EXPECT_EQ(list[2].operands, (std::vector<uint32_t>{matrix, vec, 4}));

	// targets: element type and flags
	EXPECT_EQ(c.get_target_type(vec), scalar);
	EXPECT_EQ(c.get_target_type(scalar), scalar);
	EXPECT_EQ(c.get_target_type(matrix), vec);
	EXPECT_EQ(c.get_target_flags(matrix), Compiler::get_type_flags(String("f32v4m4")));
	EXPECT_EQ(c.get_target_components(matrix), 16u);
	EXPECT_EQ(c.get_target_length(matrix), ~0u);
	EXPECT_EQ(c.get_target_type_name(matrix), String("f32v4m4"));
	EXPECT_EQ(c.next_id, matrix + 1);
}

TEST(CompilerRegistry, MatrixOfThreeRowsEmitsItsColumnFirst) {
	Fixture f;
	Compiler &c = f.compiler;
	uint32_t matrix = c.add_type("f32v3m4");
	std::vector<Instruction> list = decode(c.words);
	ASSERT_EQ(list.size(), 3u);
	EXPECT_EQ(list[0].opcode, Spirv::OpTypeFloat);
	EXPECT_EQ(list[1].opcode, Spirv::OpTypeVector);
	EXPECT_EQ(list[1].operands[2], 3u);
	EXPECT_EQ(list[2].operands, (std::vector<uint32_t>{matrix, list[1].operands[0], 4}));
}

TEST(CompilerRegistry, ScalarKinds) {
	struct {
		const char *name;
		uint32_t opcode;
		std::vector<uint32_t> operands; // after the result id
		std::vector<uint32_t> capabilities;
	} rows[] = {
		{"f16", Spirv::OpTypeFloat, {16}, {Spirv::CapabilityFloat16}},
		{"f32", Spirv::OpTypeFloat, {32}, {}},
		{"f64", Spirv::OpTypeFloat, {64}, {Spirv::CapabilityFloat64}},
		{"u16", Spirv::OpTypeInt, {16, 0}, {Spirv::CapabilityInt16}},
		{"i16", Spirv::OpTypeInt, {16, 1}, {Spirv::CapabilityInt16}},
		{"u32", Spirv::OpTypeInt, {32, 0}, {}},
		{"i32", Spirv::OpTypeInt, {32, 1}, {}},
		{"u64", Spirv::OpTypeInt, {64, 0}, {Spirv::CapabilityInt64}},
		{"i64", Spirv::OpTypeInt, {64, 1}, {Spirv::CapabilityInt64}},
		{"b32", Spirv::OpTypeBool, {}, {}},
		{"void", Spirv::OpTypeVoid, {}, {}},
		{"sampler", Spirv::OpTypeSampler, {}, {}},
		// outside the ray-tracing stages an acceleration structure is only queried
		{"accelerationStructure", Spirv::OpTypeAccelerationStructure, {}, {Spirv::CapabilityRayQuery}},
		{"rayQuery", Spirv::OpTypeRayQuery, {}, {Spirv::CapabilityRayQuery}},
	};
	for (const auto &row : rows) {
		SCOPED_TRACE(row.name);
		Fixture f;
		uint32_t id = f.compiler.add_type(row.name);
		std::vector<Instruction> list = decode(f.compiler.words);
		ASSERT_EQ(list.size(), 1u);
		EXPECT_EQ(list[0].opcode, row.opcode);
		std::vector<uint32_t> operands = {id};
		operands.insert(operands.end(), row.operands.begin(), row.operands.end());
		EXPECT_EQ(list[0].operands, operands);
		EXPECT_EQ(capabilities(f.compiler), row.capabilities);
	}
	// in them it is traced
	{
		Fixture f;
		f.compiler.execution_model = 5313;
		f.compiler.add_type("accelerationStructure");
		EXPECT_EQ(capabilities(f.compiler), (std::vector<uint32_t>{Spirv::CapabilityRayTracing}));
	}
	// vectors take the capability of their components
	Fixture f;
	f.compiler.add_type("i64v2");
	EXPECT_EQ(capabilities(f.compiler), (std::vector<uint32_t>{Spirv::CapabilityInt64}));
}

TEST(CompilerRegistry, NamesOfOneTypeShareItsId) {
	Fixture f;
	Compiler &c = f.compiler;
	uint32_t sampler = c.add_type("sampler");
	EXPECT_EQ(c.add_type("samplerShadow"), sampler);
	uint32_t boolean = c.add_type("b32");
	EXPECT_EQ(c.add_type("b16"), boolean);
	EXPECT_EQ(c.add_type("b64"), boolean);
	// an image whose operands are those of one made before
	uint32_t image = c.add_type("image2D");
	EXPECT_EQ(c.add_image_type(String("image2D"), 0), image);
	EXPECT_EQ(count_opcode(c.words, Spirv::OpTypeBool), 1u);
	EXPECT_EQ(count_opcode(c.words, Spirv::OpTypeSampler), 1u);
	EXPECT_EQ(count_opcode(c.words, Spirv::OpTypeImage), 1u);
	EXPECT_EQ(compiler_test::validate(c), "");
}

TEST(CompilerRegistry, RefusedTypes) {
	Fixture f;
	Compiler &c = f.compiler;
	for (const char *name : {"f8", "f32v5", "f32v2m5", "u128", "foo", "", "f32[x]", "f32[4", "f32[4]x", "[4]"}) {
		EXPECT_EQ(thrown([&] { c.add_type(name); }), String::format("can't add %s type\n", name).get()) << name;
	}
	EXPECT_EQ(thrown([&] { c.add_type("imageRect"); }), "can't add imageRect image\n");
	EXPECT_EQ(thrown([&] { c.add_type("sampler1D"); }), "can't add texture1D image\n");
	EXPECT_EQ(c.words.size(), 0u);
	EXPECT_EQ(c.next_id, 1u);
}

TEST(CompilerRegistry, Arrays) {
	Fixture f;
	Compiler &c = f.compiler;
	uint32_t sized = c.add_type("f32", 4);
	uint32_t runtime = c.add_type("f32", 0);
	uint32_t element = c.add_type("f32");
	EXPECT_EQ(c.add_type("f32[4]"), sized);
	EXPECT_EQ(c.add_type("f32[]"), runtime);
	EXPECT_EQ(c.add_type("f32", 4), sized);

	std::vector<Instruction> list = decode(c.words);
	// f32, the length constant of u32, the array, the runtime array
	ASSERT_EQ(list.size(), 5u);
	EXPECT_EQ(list[1].opcode, Spirv::OpTypeInt);
	EXPECT_EQ(list[2].opcode, Spirv::OpConstant);
	uint32_t length = list[2].operands[1];
	EXPECT_EQ(list[2].operands[2], 4u);
	EXPECT_EQ(list[3].opcode, Spirv::OpTypeArray);
	EXPECT_EQ(list[3].operands, (std::vector<uint32_t>{sized, element, length}));
	EXPECT_EQ(list[4].opcode, Spirv::OpTypeRuntimeArray);
	EXPECT_EQ(list[4].operands, (std::vector<uint32_t>{runtime, element}));

	uint32_t flags = Compiler::get_type_flags(String("f32")) | Compiler::TypeRuntimeArray | Compiler::TypeComposite;
	EXPECT_EQ(c.get_target_flags(sized), flags);
	EXPECT_EQ(c.get_target_flags(runtime), flags);
	EXPECT_EQ(c.get_target_type(sized), element);
	EXPECT_EQ(c.get_target_type_name(sized), String("f32[]"));

	// arrays of arrays and of vectors
	uint32_t nested = c.add_type("f32v2[3][2]");
	uint32_t inner = c.add_type("f32v2", 3);
	EXPECT_EQ(c.get_target_type(nested), inner);
	EXPECT_EQ(compiler_test::validate(c), "");
}

TEST(CompilerRegistry, SampledImage) {
	Fixture f;
	Compiler &c = f.compiler;
	uint32_t sampled = c.add_type("sampler2DArray");
	uint32_t image = c.add_type("texture2DArray");
	uint32_t f32 = c.add_type("f32");
	std::vector<Instruction> list = decode(c.words);
	ASSERT_EQ(list.size(), 3u);
	EXPECT_EQ(list[1].opcode, Spirv::OpTypeImage);
	EXPECT_EQ(list[1].operands, (std::vector<uint32_t>{image, f32, 1, 0, 1, 0, 1, 0}));
	EXPECT_EQ(list[2].opcode, Spirv::OpTypeSampledImage);
	EXPECT_EQ(list[2].operands, (std::vector<uint32_t>{sampled, image}));
	EXPECT_EQ(c.get_target_type(sampled), image);
	EXPECT_EQ(c.get_target_type(image), f32);
	uint32_t flags = Compiler::TypeImage2D | Compiler::TypeImageArray | Compiler::TypeTexture | Compiler::TypeFloat | Compiler::Type32;
	EXPECT_EQ(c.get_target_flags(image), flags);
	EXPECT_EQ(c.get_target_flags(sampled), flags | Compiler::TypeSampled);
	EXPECT_EQ(c.get_target_type_name(sampled), String("sampler2DArray"));
}

TEST(CompilerRegistry, Images) {
	struct {
		const char *name;
		uint32_t format;
		std::vector<uint32_t> operands; // after the id and the sampled type: dim, depth, arrayed, ms, sampled, format
		const char *sampled_type;
		std::vector<uint32_t> capabilities;
	} rows[] = {
		{"image2D", ~0u, {1, 0, 0, 0, 2, 0}, "f32", {}},
		{"imageCubeArray", ~0u, {3, 0, 1, 0, 2, 0}, "f32", {Spirv::CapabilityImageCubeArray}},
		{"textureCubeArray", ~0u, {3, 0, 1, 0, 1, 0}, "f32", {Spirv::CapabilitySampledCubeArray}},
		{"image2DU", 33, {1, 0, 0, 0, 2, 33}, "u32", {}},
		{"image3DI", 24, {2, 0, 0, 0, 2, 24}, "i32", {}},
		{"image2D", 4, {1, 0, 0, 0, 2, 4}, "f32", {}},
		{"image2D", 8, {1, 0, 0, 0, 2, 8}, "f32", {Spirv::CapabilityStorageImageExtendedFormats}},
		{"image2DUMSArray", ~0u, {1, 0, 1, 1, 2, 0}, "u32", {Spirv::CapabilityStorageImageMultisample, Spirv::CapabilityImageMSArray}},
		{"texture2DMSArray", ~0u, {1, 0, 1, 1, 1, 0}, "f32", {}},
		{"texture2DArrayShadow", ~0u, {1, 1, 1, 0, 1, 0}, "f32", {}},
		{"imageCubeU64", ~0u, {3, 0, 0, 0, 2, 0}, "u64", {Spirv::CapabilityInt64, Spirv::CapabilityInt64Image}},
		{"image2DU", 40, {1, 0, 0, 0, 2, 40}, "u64",
			{Spirv::CapabilityInt64, Spirv::CapabilityStorageImageExtendedFormats, Spirv::CapabilityInt64Image}},
		{"textureBuffer", ~0u, {5, 0, 0, 0, 1, 0}, "f32", {Spirv::CapabilitySampledBuffer}},
		{"imageBuffer", ~0u, {5, 0, 0, 0, 2, 0}, "f32", {Spirv::CapabilityImageBuffer}},
	};
	for (const auto &row : rows) {
		SCOPED_TRACE(std::string(row.name) + " " + std::to_string(row.format));
		Fixture f;
		Compiler &c = f.compiler;
		uint32_t image = c.add_image_type(String(row.name), row.format);
		EXPECT_EQ(c.add_image_type(String(row.name), row.format), image);
		std::vector<Instruction> list = decode(c.words);
		const Instruction *instruction = compiler_test::find_result(list, image, false);
		ASSERT_NE(instruction, nullptr);
		EXPECT_EQ(instruction->opcode, Spirv::OpTypeImage);
		std::vector<uint32_t> operands = {image, c.add_type(row.sampled_type)};
		operands.insert(operands.end(), row.operands.begin(), row.operands.end());
		EXPECT_EQ(instruction->operands, operands);
		EXPECT_EQ(capabilities(c), row.capabilities);
		EXPECT_EQ((c.get_target_flags(image) & Compiler::TypeImageFormat) != 0, row.format != ~0u);
		EXPECT_EQ(compiler_test::validate(c), "");
	}
}

TEST(CompilerRegistry, ImageFormatsMustFitTheKind) {
	Fixture f;
	Compiler &c = f.compiler;
	EXPECT_EQ(thrown([&] { c.add_image_type(String("image2DU"), 24); }), "invalid format 24 for image2DU image\n");
	EXPECT_EQ(thrown([&] { c.add_image_type(String("image2D"), 33); }), "invalid format 33 for image2D image\n");
	EXPECT_EQ(thrown([&] { c.add_image_type(String("image2DI"), 41); }), "");
	EXPECT_EQ(thrown([&] { c.add_image_type(String("image2D"), 41); }), "invalid format 41 for image2D image\n");
	EXPECT_EQ(thrown([&] { c.add_image_type(String("image2D"), 42); }), "invalid format 42 for image2D image\n");
	// an image with a format is a type of its own
	EXPECT_NE(c.add_image_type(String("image2DI"), 24), c.add_image_type(String("image2DI")));
}

TEST(CompilerRegistry, EveryGlslTypeMakesAValidModule) {
	Fixture f;
	Compiler &c = f.compiler;
	for (auto it = c.glsl_types.begin(); it; ++it) {
		uint32_t id = c.add_type(it->value);
		EXPECT_EQ(c.add_type(it->value), id) << it->value.get();
		if (it->value == "void") continue;
		EXPECT_EQ(c.add_type(it->value, 2), c.add_type(it->value + "[2]")) << it->value.get();
		c.add_pointer_type(id, ~0u, Spirv::StorageUniformConstant);
	}
	for (const char *name : {"imageBuffer", "textureBuffer", "image2DI", "image2DU", "texture3DI"}) c.add_type(name);
	if (!compiler_test::have_tool("spirv-val")) GTEST_SKIP() << "spirv-val is not installed";
	EXPECT_EQ(compiler_test::validate(c), "");
}

TEST(CompilerRegistry, ValidationSeesADuplicateType) {
	if (!compiler_test::have_tool("spirv-val")) GTEST_SKIP() << "spirv-val is not installed";
	Fixture f;
	Compiler &c = f.compiler;
	c.add_type("f32");
	c.add_module_opcode(Spirv::OpTypeFloat, {c.next_id++, 32});
	EXPECT_NE(compiler_test::validate(c).find("Duplicate"), std::string::npos);
}

TEST(CompilerRegistry, StructuresByScope) {
	Fixture f;
	Compiler &c = f.compiler;
	Compiler::Scope local;
	local.parent = &c.global_scope;
	Compiler::Structure &light = c.structures.append();
	light.name = "Light";
	light.index = 0;
	light.id = c.next_id++;
	c.global_scope.structures.insert(String("Light"), 0u);
	c.records.insert(light.id, 0u);
	c.set_target(light.id, light.id, Compiler::TypeStructure);

	EXPECT_EQ(c.add_type(String("Light"), ~0u, &local), light.id);
	EXPECT_TRUE(light.used);
	// without a scope the name is no type
	EXPECT_EQ(thrown([&] { c.add_type("Light"); }), "can't add Light type\n");
	uint32_t array = c.add_type(String("Light"), 0, &local);
	uint32_t value = c.next_id++;
	c.add_target(value, array);
	EXPECT_EQ(c.get_target_type_name(light.id), String("Light"));
	EXPECT_EQ(c.get_target_type_name(value), String("Light[]"));
}

TEST(CompilerRegistry, Pointers) {
	Fixture f;
	Compiler &c = f.compiler;
	uint32_t f32 = c.add_type("f32v4");
	uint32_t before = c.words.size();
	uint32_t buffer = c.add_pointer_type(f32, ~0u, Spirv::StorageStorageBuffer);
	EXPECT_EQ(c.add_pointer_type(f32, ~0u, Spirv::StorageStorageBuffer), buffer);
	uint32_t sized = c.add_pointer_type(f32, 4, Spirv::StorageStorageBuffer);
	EXPECT_NE(sized, buffer);
	uint32_t input = c.add_pointer_type(f32, ~0u, Spirv::StorageInput);
	EXPECT_NE(input, buffer);
	// the positions of the StorageBuffer pointers, for the rewrite of old versions
	ASSERT_EQ(c.storage_pointers.size(), 2u);
	EXPECT_EQ(c.storage_pointers[0], before);
	EXPECT_EQ(c.words[before], 0x00040020u);
	EXPECT_EQ(c.words[before + 1], buffer);
	EXPECT_EQ(c.words[before + 2], (uint32_t)Spirv::StorageStorageBuffer);
	EXPECT_EQ(c.words[before + 3], f32);
	EXPECT_EQ(c.words[c.storage_pointers[1] + 1], sized);
	EXPECT_EQ(c.get_target_flags(input), c.get_target_flags(f32) | Compiler::TypePointer);
	EXPECT_EQ(c.get_target_type(input), f32);
	EXPECT_EQ(c.get_target_type_name(input), String("f32v4_ptr"));
	EXPECT_EQ(thrown([&] { c.add_pointer_type(f32, ~0u, ~0u); }), "invalid storage class\n");
}

TEST(CompilerRegistry, TargetAccessorsOfUnknownIds) {
	Fixture f;
	Compiler &c = f.compiler;
	LogCapture log;
	EXPECT_EQ(c.get_target_type(77), 0u);
	EXPECT_EQ(c.get_target_flags(77), 0u);
	EXPECT_EQ(c.get_target_length(77), ~0u);
	EXPECT_EQ(c.get_target_components(77), 0u);
	EXPECT_EQ(c.get_target_type_name(77), String());
	c.add_target(78, 77, 5);
	EXPECT_EQ(log.errors,
		"Compiler::get_target_type(): invalid target 77\n"
		"Compiler::get_target_flags(): invalid target 77\n"
		"Compiler::get_target_length(): invalid target 77\n"
		"Compiler::get_target_components(): invalid target 77\n"
		"Compiler::get_target_type_name(): invalid target 77\n"
		"Compiler::get_target_flags(): invalid target 77\n");
	EXPECT_EQ(c.get_target_length(78), 5u);
	EXPECT_EQ(c.get_target_flags(78), 0u);
}

TEST(CompilerRegistry, Strings) {
	struct {
		const char *text;
		std::vector<uint32_t> words;
	} rows[] = {
		{"", {0}},
		{"a", {0x61}},
		{"abc", {0x00636261}},
		{"abcd", {0x64636261, 0}},
		{"main", {0x6e69616d, 0}},
		{"abcde", {0x64636261, 0x65}},
		{"\xff\x80", {0x80ff}},
	};
	for (const auto &row : rows) {
		Fixture f;
		f.compiler.add_module_string(String(row.text));
		EXPECT_EQ(std::vector<uint32_t>(f.compiler.words.get(), f.compiler.words.get() + f.compiler.words.size()), row.words) << row.text;

		Fixture g;
		Array<uint32_t> extra;
		extra.append(9);
		g.compiler.add_module_string_opcode(Spirv::OpName, {7}, String(row.text), extra);
		std::vector<Instruction> list = decode(g.compiler.words);
		ASSERT_EQ(list.size(), 1u);
		EXPECT_EQ(list[0].opcode, Spirv::OpName);
		EXPECT_EQ(list[0].operands.size(), 1 + row.words.size() + 1);
		EXPECT_EQ(list[0].operands.back(), 9u);
	}
}

TEST(CompilerRegistry, FunctionCodeOpensABlockAfterATerminator) {
	Fixture f;
	Compiler &c = f.compiler;
	Compiler::Function &function = f.function;
	uint32_t type = c.add_type("i32");
	uint32_t a = compiler_test::add_undef(c, type);
	c.add_function_opcode(function, Spirv::OpIAdd, {type, c.next_id++, a, a});
	EXPECT_EQ(function.labels.size(), 0u);
	c.add_function_opcode(function, Spirv::OpReturn, {});
	uint32_t position = function.code.size();
	Array<uint32_t> extra;
	extra.append(a);
	c.add_function_opcode(function, Spirv::OpIAdd, {type, c.next_id++, a}, extra);
	ASSERT_EQ(function.labels.size(), 1u);
	EXPECT_EQ(function.labels[0], position + 1);
	EXPECT_EQ(function.code[position], 0x000200F8u);
	EXPECT_EQ(function.code[position + 1], ~0u);
	EXPECT_EQ(function.code[position + 2], (5u << 16) | Spirv::OpIAdd);
	EXPECT_EQ(function.code[position + 6], a);
	EXPECT_EQ(function.last_opcode, (uint32_t)Spirv::OpIAdd);
	// a label of its own after a terminator opens no second one
	c.add_function_opcode(function, Spirv::OpBranch, {c.next_id});
	c.add_function_opcode(function, Spirv::OpLabel, {c.next_id++});
	EXPECT_EQ(function.labels.size(), 1u);
	c.add_function_opcode(function, Spirv::OpReturn, {});
	EXPECT_EQ(compiler_test::validate(c, &function), "");
}

TEST(CompilerRegistry, InstructionTooLongIsRefused) {
	Fixture f;
	Compiler &c = f.compiler;
	Array<uint32_t> extra;
	extra.resize(0xffff);
	EXPECT_EQ(thrown([&] { c.add_module_opcode(Spirv::OpConstantComposite, {1, 2}, extra); }), "too many words in 44 opcode\n");
	EXPECT_EQ(thrown([&] { c.add_function_opcode(f.function, Spirv::OpCompositeConstruct, {1, 2}, extra); }), "too many words in 80 opcode\n");
	EXPECT_EQ(thrown([&] { c.add_module_string_opcode(Spirv::OpName, {1}, String(0x40000u, 'a')); }), "too many words in 5 opcode\n");
	EXPECT_EQ(c.words.size(), 0u);
	EXPECT_EQ(f.function.code.size(), 0u);
	extra.resize(0xfffc);
	c.add_module_opcode(Spirv::OpConstantComposite, {1, 2}, extra);
	EXPECT_EQ(c.words[0], 0xffff002cu);
}

} // namespace
