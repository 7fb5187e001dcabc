// The SPIR-V module reader on small modules written for one rule each: the
// header checks, the block and entry-point errors, generated names, variable
// lists and their order, resource counts, and the instruction access that the
// renderer builds on. Modules are assembled from text by spirv-as.
#include <gtest/gtest.h>

#include "spirv_fixtures.h"

#include <algorithm>

using namespace spirv_test;
using Vexa::ShaderSpirv;

namespace {

#define REQUIRE_ASSEMBLER() \
	if (!have_tool("spirv-as")) GTEST_SKIP() << "spirv-as is not installed; reader tests skipped"

// A compute shader around the given declarations and body.
std::string compute(const std::string &names, const std::string &decorations, const std::string &types, const std::string &body,
	const char *model = "GLCompute") {
	return std::string("OpCapability Shader\nOpMemoryModel Logical GLSL450\nOpEntryPoint ") + model +
		" %main \"main\"\n" + names + decorations +
		"%void = OpTypeVoid\n%fn = OpTypeFunction %void\n" + types +
		"%main = OpFunction %void None %fn\n%entry = OpLabel\n" + body + "OpReturn\nOpFunctionEnd\n";
}

std::vector<uint32_t> header(uint32_t version, uint32_t bound, std::vector<uint32_t> rest) {
	std::vector<uint32_t> words = {0x07230203u, version, 0, bound, 0};
	words.insert(words.end(), rest.begin(), rest.end());
	return words;
}

} // namespace

TEST(SpirvReader, FreshObject) {
	Probe probe;
	EXPECT_EQ(probe.entry_id, 0xffffffffu);
	EXPECT_EQ(probe.execution_model, 0xffffffffu);
	EXPECT_EQ(probe.source_language, 0xffffffffu);
	EXPECT_EQ(probe.source_version, 0xffffffffu);
	EXPECT_EQ(probe.local_size[0], 1u);
	EXPECT_EQ(probe.local_size[1], 1u);
	EXPECT_EQ(probe.local_size[2], 1u);
	EXPECT_EQ(probe.clone(), nullptr);
	EXPECT_TRUE(probe.get_semantic(0, nullptr).empty());
	// nothing loaded: every lookup is undefined, and says so
	LogCapture capture;
	EXPECT_EQ(probe.get_target(1).get_opcode(), -1);
	EXPECT_EQ(probe.get_target_builtin(1), -1);
	EXPECT_EQ(probe.get_target_record(1), nullptr);
	EXPECT_NE(capture.errors.find("ShaderSpirv::get_target(): internal error: invalid index 1\n"), std::string::npos);
}

TEST(SpirvReader, HeaderChecks) {
	struct Case {
		std::vector<uint32_t> words;
		const char *message;
	} cases[] = {
		{{}, "ShaderSpirv::load(): invalid data size 0\n"},
		{{0x07230203u, 0x10000, 0, 1, 0}, "ShaderSpirv::load(): invalid data size 5\n"},
		{{0x03022307u, 0x10000, 0, 1, 0, 0x10000}, "ShaderSpirv::load(): invalid magic 0x03022307\n"},
		{header(0xffff, 1, {0x10000}), "ShaderSpirv::load(): invalid version 0x0000ffff\n"},
		// six words of version 1.0 pass the header checks and then lack an entry point
		{header(0x10000, 1, {0x10000}), "ShaderSpirv::load(): entry target is not defined\n"},
	};
	for (const Case &c : cases) {
		Loaded loaded(c.words);
		EXPECT_FALSE(loaded.ok);
		EXPECT_EQ(loaded.errors, c.message);
	}
}

TEST(SpirvReader, BlockAndEntryErrors) {
	REQUIRE_ASSEMBLER();
	const char *base = "OpCapability Shader\nOpMemoryModel Logical GLSL450\n";
	struct Case {
		std::string text;
		const char *message;
	} cases[] = {
		{std::string(base) + "OpEntryPoint GLCompute %main \"main\"\n%void = OpTypeVoid\n%fn = OpTypeFunction %void\n"
			"%main = OpFunction %void None %fn\n%a = OpLabel\n%b = OpLabel\nOpReturn\nOpFunctionEnd\n",
			"ShaderSpirv::load(): label without branch\n"},
		{std::string(base) + "OpEntryPoint GLCompute %main \"main\"\n%void = OpTypeVoid\n%fn = OpTypeFunction %void\n"
			"%main = OpFunction %void None %fn\nOpReturn\nOpFunctionEnd\n",
			"ShaderSpirv::load(): end of branch without label\n"},
		{std::string(base) + "%void = OpTypeVoid\n%fn = OpTypeFunction %void\n"
			"%main = OpFunction %void None %fn\n%a = OpLabel\nOpReturn\nOpFunctionEnd\n",
			"ShaderSpirv::load(): entry target is not defined\n"},
		{std::string(base) + "OpEntryPoint GLCompute %var \"main\"\n%float = OpTypeFloat 32\n"
			"%ptr = OpTypePointer Private %float\n%var = OpVariable %ptr Private\n",
			"ShaderSpirv::load(): entry target is not defined\n"},
	};
	for (const Case &c : cases) {
		std::vector<uint32_t> words = assemble(c.text);
		ASSERT_FALSE(words.empty()) << c.text;
		Loaded loaded(words);
		EXPECT_FALSE(loaded.ok);
		EXPECT_EQ(loaded.errors, c.message);
	}
}

TEST(SpirvReader, GeneratedNames) {
	REQUIRE_ASSEMBLER();
	std::string types = "%31 = OpTypeFloat 32\n%s = OpTypeStruct %31 %31\n";
	{
		Loaded loaded(assemble(compute("", "", types, "")));
		ASSERT_TRUE(loaded.ok) << loaded.errors;
		EXPECT_STREQ(loaded.probe.records[31].name.get(), "_c1f");
		uint32_t s = loaded.probe.types[3];
		EXPECT_EQ(loaded.probe.members[s][1].name, Vexa::String::format("_c%x_1", s));
	}
	{
		// an execution model without a prefix of its own
		Loaded loaded(assemble(compute("", "", types, "", "Kernel")));
		ASSERT_TRUE(loaded.ok) << loaded.errors;
		EXPECT_STREQ(loaded.probe.records[31].name.get(), "_1f");
	}
}

TEST(SpirvReader, ModuleNames) {
	REQUIRE_ASSEMBLER();
	// names that are no identifiers never reach the output: they are generated
	std::string names =
		"OpName %f \"helper(vf4;\"\nOpName %a \"good_1\"\nOpName %b \"two words\"\nOpName %c \"x;y\"\n"
		"OpName %d \"1st\"\nOpName %e \"\"\nOpMemberName %s 0 \"m0\"\nOpMemberName %s 1 \"}bad{\"\n";
	std::string types = "%float = OpTypeFloat 32\n%s = OpTypeStruct %float %float\n%ptr = OpTypePointer Private %float\n"
		"%a = OpVariable %ptr Private\n%b = OpVariable %ptr Private\n%c = OpVariable %ptr Private\n"
		"%d = OpVariable %ptr Private\n%e = OpVariable %ptr Private\n";
	std::string text = compute(names, "", types, "OpReturn\nOpFunctionEnd\n%f = OpFunction %void None %fn\n%fl = OpLabel\n");
	Loaded loaded(assemble(text));
	ASSERT_TRUE(loaded.ok) << loaded.errors;
	const Probe &p = loaded.probe;
	EXPECT_STREQ(p.records[p.functions[0]].name.get(), "helper");
	Vexa::Array<uint32_t> vars = p.globals;
	ASSERT_EQ(vars.size(), 6u); // the structure and five variables
	EXPECT_STREQ(p.records[vars[1]].name.get(), "good_1");
	for (uint32_t k = 2; k < 6; k++) EXPECT_EQ(p.records[vars[k]].name, Vexa::String::format("_c%x", vars[k]));
	EXPECT_STREQ(p.members[vars[0]][0].name.get(), "m0");
	EXPECT_EQ(p.members[vars[0]][1].name, Vexa::String::format("_c%x_1", vars[0]));
	EXPECT_STREQ(p.entry_name.get(), "main");

	// an entry point name that is no identifier becomes main
	std::string odd = compute("", "", "", "");
	odd.replace(odd.find("\"main\""), 6, "\"main() {\"");
	Loaded renamed(assemble(odd));
	ASSERT_TRUE(renamed.ok) << renamed.errors;
	EXPECT_STREQ(renamed.probe.entry_name.get(), "main");
}

TEST(SpirvReader, FunctionVariableNames) {
	REQUIRE_ASSEMBLER();
	std::string text =
		"OpCapability Shader\nOpMemoryModel Logical GLSL450\nOpEntryPoint GLCompute %main \"main\"\n"
		"OpName %x1 \"x\"\nOpName %x2 \"x\"\nOpName %x3 \"x\"\n"
		"%void = OpTypeVoid\n%fn = OpTypeFunction %void\n%float = OpTypeFloat 32\n%ptr = OpTypePointer Function %float\n"
		"%f = OpFunction %void None %fn\n%l1 = OpLabel\n%x1 = OpVariable %ptr Function\n%x2 = OpVariable %ptr Function\n"
		"OpReturn\nOpFunctionEnd\n"
		"%main = OpFunction %void None %fn\n%l2 = OpLabel\n%x3 = OpVariable %ptr Function\nOpReturn\nOpFunctionEnd\n";
	std::vector<uint32_t> words = assemble(text);
	Loaded loaded(words);
	ASSERT_TRUE(loaded.ok) << loaded.errors;
	const Probe &p = loaded.probe;
	uint32_t x2 = 0;
	uint32_t x3 = 0;
	for (uint32_t id = 0; id < p.records.size(); id++) {
		if (p.records[id].storage != 7) continue;
		if (x2 == 0 && p.records[id].name != "x") x2 = id;
		else if (p.records[id].name == "x") x3 = id;
	}
	ASSERT_NE(x2, 0u);
	EXPECT_EQ(p.records[x2].name, Vexa::String::format("x_v%u", x2));
	EXPECT_NE(x3, 0u); // a later function keeps the name
	// the entry point comes last in the function list
	ASSERT_EQ(p.functions.size(), 2u);
	EXPECT_EQ(p.functions[1], p.entry_id);
}

TEST(SpirvReader, VariableListsAndOrder) {
	REQUIRE_ASSEMBLER();
	std::string decorations =
		"OpDecorate %t3 Binding 3\nOpDecorate %t1 Binding 1\nOpDecorate %ubo Binding 0\nOpDecorate %block Block\n"
		"OpDecorate %in2 Location 2\nOpDecorate %in0 Location 0\nOpDecorate %pos BuiltIn Position\n"
		"OpDecorate %ssbo Binding 7\nOpDecorate %buffer Block\nOpDecorate %named Binding 2\n";
	std::string names = "OpName %ubo \"_v12\"\nOpName %named \"ubo\"\n";
	std::string types =
		"%float = OpTypeFloat 32\n%v4 = OpTypeVector %float 4\n%image = OpTypeImage %float 2D 0 0 0 1 Unknown\n"
		"%pimage = OpTypePointer UniformConstant %image\n%block = OpTypeStruct %v4\n%pblock = OpTypePointer Uniform %block\n"
		"%buffer = OpTypeStruct %v4\n%pbuffer = OpTypePointer StorageBuffer %buffer\n"
		"%pin = OpTypePointer Input %v4\n%pout = OpTypePointer Output %v4\n%pshared = OpTypePointer Workgroup %float\n"
		"%t3 = OpVariable %pimage UniformConstant\n%none = OpVariable %pimage UniformConstant\n"
		"%ubo = OpVariable %pblock Uniform\n%t1 = OpVariable %pimage UniformConstant\n%ssbo = OpVariable %pbuffer StorageBuffer\n"
		"%named = OpVariable %pblock Uniform\n"
		"%in2 = OpVariable %pin Input\n%in0 = OpVariable %pin Input\n%pos = OpVariable %pout Output\n"
		"%tile = OpVariable %pshared Workgroup\n";
	Loaded loaded(assemble(compute(names, decorations, types, ""), "spv1.3"));
	ASSERT_TRUE(loaded.ok) << loaded.errors;
	const Probe &p = loaded.probe;
	auto binding = [&](uint32_t id) {
		const uint32_t *b = p.records[id].decorations.get(33u);
		return b ? *b : 65535u;
	};
	ASSERT_EQ(p.resources.size(), 6u);
	// UniformConstant by Binding (1, 3, none), then Uniform, then StorageBuffer
	uint32_t expected[][2] = {{0, 1}, {0, 3}, {0, 65535}, {2, 0}, {2, 2}, {12, 7}};
	for (uint32_t k = 0; k < 6; k++) {
		EXPECT_EQ(p.records[p.resources[k]].storage, expected[k][0]) << k;
		EXPECT_EQ(binding(p.resources[k]), expected[k][1]) << k;
	}
	// a block instance with a generated-looking name loses it; a real one keeps it
	EXPECT_TRUE(p.records[p.resources[3]].name.empty());
	EXPECT_STREQ(p.records[p.resources[4]].name.get(), "ubo");
	ASSERT_EQ(p.inputs.size(), 2u);
	EXPECT_EQ(*p.records[p.inputs[0]].decorations.get(30u), 0u);
	EXPECT_EQ(*p.records[p.inputs[1]].decorations.get(30u), 2u);
	EXPECT_EQ(p.outputs.size(), 0u);
	ASSERT_EQ(p.builtins.size(), 1u);
	EXPECT_STREQ(p.records[p.builtins[0]].name.get(), "gl_Position");
	EXPECT_EQ(p.shared.size(), 1u);
	// two sampled textures, two uniform blocks, one storage buffer (the second block counts as uniform)
	EXPECT_EQ(p.counts[Vexa::BindingOffsets::Texture], 3u);
	EXPECT_EQ(p.counts[Vexa::BindingOffsets::Uniform], 2u);
	EXPECT_EQ(p.counts[Vexa::BindingOffsets::Storage], 1u);
}

TEST(SpirvReader, ResourceCounts) {
	REQUIRE_ASSEMBLER();
	std::string types =
		"%float = OpTypeFloat 32\n%sampler = OpTypeSampler\n%psampler = OpTypePointer UniformConstant %sampler\n"
		"%storage = OpTypeImage %float 2D 0 0 0 2 Rgba8\n%pstorage = OpTypePointer UniformConstant %storage\n"
		"%texel = OpTypeImage %float Buffer 0 0 0 1 Unknown\n%stexel = OpTypeSampledImage %texel\n"
		"%ptexel = OpTypePointer UniformConstant %stexel\n%accel = OpTypeAccelerationStructureKHR\n"
		"%paccel = OpTypePointer UniformConstant %accel\n"
		"%s = OpVariable %psampler UniformConstant\n%i = OpVariable %pstorage UniformConstant\n"
		"%t = OpVariable %ptexel UniformConstant\n%a = OpVariable %paccel UniformConstant\n";
	std::string text = compute("", "", types, "");
	text.insert(text.find("OpMemoryModel"), "OpCapability RayTracingKHR\nOpExtension \"SPV_KHR_ray_tracing\"\n");
	Loaded loaded(assemble(text, "spv1.4"));
	ASSERT_TRUE(loaded.ok) << loaded.errors;
	const Probe &p = loaded.probe;
	uint8_t expected[Vexa::BindingOffsets::NumKinds] = {1, 0, 1, 0, 0, 1, 1, 0};
	for (uint32_t k = 0; k < Vexa::BindingOffsets::NumKinds; k++) EXPECT_EQ(p.counts[k], expected[k]) << k;
}

TEST(SpirvReader, HeaderModesAndImports) {
	REQUIRE_ASSEMBLER();
	std::string text = compute("", "", "", "");
	text.insert(text.find("OpEntryPoint"), "%glsl = OpExtInstImport \"GLSL.std.450\"\n");
	text.insert(text.find("%void"), "OpSource GLSL 450\nOpSourceExtension \"GL_EXT_good\"\nOpSourceExtension \"bad\nline\"\n");
	text.insert(text.find("OpSource "), "OpExecutionMode %main LocalSize 8 4 2\n");
	Loaded loaded(assemble(text));
	ASSERT_TRUE(loaded.ok) << loaded.errors;
	const Probe &p = loaded.probe;
	EXPECT_EQ(p.source_language, 2u);
	EXPECT_EQ(p.source_version, 450u);
	ASSERT_EQ(p.source_extensions.size(), 1u);
	EXPECT_STREQ(p.source_extensions[0].get(), "GL_EXT_good");
	EXPECT_EQ(p.local_size[0], 8u);
	EXPECT_EQ(p.local_size[1], 4u);
	EXPECT_EQ(p.local_size[2], 2u);
	ASSERT_NE(p.execution_modes.get(17u), nullptr);
	EXPECT_EQ(*p.execution_modes.get(17u), 8u);
	ASSERT_EQ(p.imports.size(), 1u);
	EXPECT_STREQ(p.imports.begin()->value.get(), "GLSL.std.450");
	ASSERT_EQ(p.capabilities.size(), 1u);
	EXPECT_EQ(p.capabilities[0], 1u);
}

TEST(SpirvReader, BuiltinNames) {
	REQUIRE_ASSEMBLER();
	// a stripped module: built-in members and variables without any name get the built-in's name
	std::string decorations = "OpMemberDecorate %block 0 BuiltIn Position\nOpMemberDecorate %block 1 BuiltIn PointSize\n"
		"OpDecorate %block Block\nOpDecorate %id BuiltIn GlobalInvocationId\n";
	std::string types = "%float = OpTypeFloat 32\n%v4 = OpTypeVector %float 4\n%uint = OpTypeInt 32 0\n"
		"%v3 = OpTypeVector %uint 3\n%block = OpTypeStruct %v4 %float\n%pblock = OpTypePointer Output %block\n"
		"%out = OpVariable %pblock Output\n%pid = OpTypePointer Input %v3\n%id = OpVariable %pid Input\n";
	Loaded loaded(assemble(compute("", decorations, types, "%x = OpLoad %v3 %id\n")));
	ASSERT_TRUE(loaded.ok) << loaded.errors;
	const Probe &p = loaded.probe;
	uint32_t block = p.types[6];
	EXPECT_STREQ(p.members[block][0].name.get(), "gl_Position");
	EXPECT_STREQ(p.members[block][1].name.get(), "gl_PointSize");
	// the structure carries the BuiltIn of its last built-in member
	EXPECT_EQ(*p.records[block].decorations.get(11u), 1u);
	ASSERT_EQ(p.builtins.size(), 2u);
	EXPECT_TRUE(p.records[p.builtins[0]].name.empty()); // an interface block without an instance name
	EXPECT_STREQ(p.records[p.builtins[1]].name.get(), "gl_GlobalInvocationID");
	EXPECT_EQ(p.used_builtins.size(), 1u);
	EXPECT_NE(p.used_builtins.find(28u), nullptr);
}

// A fragment shader for the instruction access: a uniform block with a mat4x3
// at member 2, an array, and the loads and chains that reach them.
const char *access_module =
	"OpCapability Shader\nOpMemoryModel Logical GLSL450\nOpEntryPoint Fragment %main \"main\" %pos\n"
	"OpExecutionMode %main OriginUpperLeft\n"
	"OpName %ubo \"ubo\"\nOpMemberName %Block 2 \"third\"\n"
	"OpDecorate %Block Block\nOpMemberDecorate %Block 0 Offset 0\nOpMemberDecorate %Block 1 Offset 16\n"
	"OpMemberDecorate %Block 2 Offset 48\nOpMemberDecorate %Block 2 ColMajor\nOpMemberDecorate %Block 2 MatrixStride 16\n"
	"OpDecorate %arr ArrayStride 16\nOpDecorate %ubo DescriptorSet 0\nOpDecorate %ubo Binding 0\n"
	"OpDecorate %pos BuiltIn FragCoord\n"
	"%void = OpTypeVoid\n%fn = OpTypeFunction %void\n%float = OpTypeFloat 32\n%v3 = OpTypeVector %float 3\n"
	"%v4 = OpTypeVector %float 4\n%m43 = OpTypeMatrix %v3 4\n%int = OpTypeInt 32 1\n%uint = OpTypeInt 32 0\n"
	"%uint_8 = OpConstant %uint 8\n%arr = OpTypeArray %float %uint_8\n%Block = OpTypeStruct %v4 %arr %m43\n"
	"%pBlock = OpTypePointer Uniform %Block\n%ubo = OpVariable %pBlock Uniform\n%int_2 = OpConstant %int 2\n"
	"%int_1 = OpConstant %int 1\n%pm43 = OpTypePointer Uniform %m43\n%pfloat = OpTypePointer Uniform %float\n"
	"%pin = OpTypePointer Input %v4\n%pos = OpVariable %pin Input\n%pv4 = OpTypePointer Function %v4\n"
	"%main = OpFunction %void None %fn\n%entry = OpLabel\n%local = OpVariable %pv4 Function\n"
	"%chain = OpAccessChain %pm43 %ubo %int_2\n%m = OpLoad %m43 %chain\n"
	"%elem = OpAccessChain %pfloat %ubo %int_1 %int_2\n%e = OpLoad %float %elem\n"
	"%p = OpLoad %v4 %pos\nOpStore %local %p\nOpReturn\nOpFunctionEnd\n";

// the result id of the nth instruction of an opcode, in module order
uint32_t find_id(const Probe &p, int32_t opcode, uint32_t nth = 0) {
	for (ShaderSpirv::Iterator it = p.get_iterator(5); !it.is_end(); it = it.advance(it.get_size())) {
		if (it.get_opcode() != opcode || nth-- != 0) continue;
		return ShaderSpirv::is_value_opcode(opcode) ? it[2] : it[1];
	}
	return 0;
}

TEST(SpirvAccess, TargetFamily) {
	REQUIRE_ASSEMBLER();
	Loaded loaded(assemble(access_module));
	ASSERT_TRUE(loaded.ok) << loaded.errors;
	const Probe &p = loaded.probe;
	uint32_t m43 = find_id(p, 24);
	uint32_t arr = find_id(p, 28);
	uint32_t v4 = find_id(p, 23, 1);
	uint32_t ubo = find_id(p, 59, 0);
	uint32_t pos = find_id(p, 59, 1);
	uint32_t local = find_id(p, 59, 2);
	uint32_t m = find_id(p, 61, 0);
	uint32_t e = find_id(p, 61, 1);
	LogCapture capture;
	EXPECT_EQ(p.get_target_components(m43), 12u);
	EXPECT_EQ(p.get_target_components(arr), 1u);
	EXPECT_EQ(p.get_target_components(find_id(p, 19)), 0u);
	EXPECT_EQ(p.get_target_components(local), 4u);
	// a pointer to vec4 is followed to the vec4, and on to the float
	EXPECT_EQ(p.get_target_type(local)[1], v4);
	EXPECT_EQ(p.get_target_base_type(local).get_opcode(), 22);
	EXPECT_EQ(p.get_target_variable(m)[2], ubo);
	EXPECT_EQ(p.get_target_variable(e)[2], ubo);
	EXPECT_EQ(p.get_target_builtin(pos), 15);
	EXPECT_EQ(p.get_target_builtin(local), -1);
	// a load from member 2 reaches the member's record; an element of the
	// array at member 1 reaches member 1
	const ShaderSpirv::Record *third = p.get_target_record(m);
	ASSERT_NE(third, nullptr);
	EXPECT_STREQ(third->name.get(), "third");
	EXPECT_NE(third->decorations.get(5u), nullptr); // ColMajor
	EXPECT_EQ(p.get_target_record(e), &p.members[find_id(p, 30)][1]);
	EXPECT_EQ(p.get_target_record(ubo), &p.records[ubo]);
	EXPECT_TRUE(p.is_float_type(local));
	EXPECT_TRUE(p.is_signed_type(find_id(p, 43, 1)));
	EXPECT_TRUE(p.is_unsigned_type(find_id(p, 43, 0)));
	EXPECT_FALSE(p.is_unsigned_type(local));
	EXPECT_TRUE(capture.errors.empty()) << capture.errors;
	// undefined and out-of-range ids are reported, never read
	EXPECT_EQ(p.get_target_type(0xffffffffu).get_opcode(), -1);
	EXPECT_EQ(p.get_target_components(0x7fffffffu), 0u);
	EXPECT_EQ(p.get_target_record(p.indices.size()), nullptr);
	EXPECT_NE(capture.errors.find("ShaderSpirv::get_target(): internal error: invalid index 4294967295\n"), std::string::npos);
	// unused: the local is stored to but never loaded
	ShaderSpirv::Iterator function = p.get_target(p.entry_id);
	EXPECT_TRUE(p.is_unused(function, local));
	EXPECT_FALSE(p.is_unused(function, ubo));
}

TEST(SpirvAccess, Iterator) {
	REQUIRE_ASSEMBLER();
	Loaded loaded(assemble(access_module));
	ASSERT_TRUE(loaded.ok) << loaded.errors;
	const Probe &p = loaded.probe;
	ShaderSpirv::Iterator end = p.get_end();
	EXPECT_EQ(end.get_opcode(), -1);
	EXPECT_EQ(end.get_size(), 0u);
	EXPECT_EQ(end[0], 0u);
	ShaderSpirv::Iterator first = p.get_iterator(5);
	EXPECT_EQ(first.get_opcode(), 17); // OpCapability
	EXPECT_EQ(first.get_size(), 2u);
	EXPECT_EQ(first[1], 1u);
	EXPECT_EQ(first[2], 0u); // past the instruction
	EXPECT_EQ(first.advance(2).get_opcode(), 14); // OpMemoryModel
	EXPECT_TRUE(first.advance(p.words.size()).is_end());
	EXPECT_TRUE(first.advance(-6).is_end());
	EXPECT_TRUE(end.advance(1).is_end());
	EXPECT_TRUE(first < first.advance(2));
}

TEST(SpirvAccess, OpcodeClasses) {
	// operand positions
	EXPECT_EQ(ShaderSpirv::get_operand_index(342), 5u);
	EXPECT_EQ(ShaderSpirv::get_operand_index(350), 5u);
	EXPECT_EQ(ShaderSpirv::get_operand_index(337), 4u);
	EXPECT_EQ(ShaderSpirv::get_operand_index(129), 3u);
	EXPECT_EQ(ShaderSpirv::get_operand_index(5334), 3u);
	EXPECT_EQ(ShaderSpirv::get_operand_index(228), 1u); // OpAtomicStore has no result
	EXPECT_EQ(ShaderSpirv::get_operand_index(99), 1u);
	int32_t masks[][2] = {{87, 5}, {89, 6}, {95, 5}, {96, 6}, {99, 4}, {307, 6}, {320, 5}, {100, -1}, {86, -1}};
	for (auto &m : masks) EXPECT_EQ(ShaderSpirv::get_image_operand_index(m[0]), m[1]) << m[0];
	// classes, at the edges of their ranges
	EXPECT_TRUE(ShaderSpirv::is_type_opcode(19) && ShaderSpirv::is_type_opcode(38) && ShaderSpirv::is_type_opcode(5341));
	EXPECT_FALSE(ShaderSpirv::is_type_opcode(39));
	EXPECT_TRUE(ShaderSpirv::is_binary_opcode(152) && ShaderSpirv::is_binary_opcode(194));
	EXPECT_FALSE(ShaderSpirv::is_binary_opcode(153) || ShaderSpirv::is_binary_opcode(192));
	EXPECT_TRUE(ShaderSpirv::is_image_opcode(99) && ShaderSpirv::is_image_opcode(320));
	EXPECT_FALSE(ShaderSpirv::is_image_opcode(100));
	EXPECT_TRUE(ShaderSpirv::is_terminator_opcode(5294) && ShaderSpirv::is_terminator_opcode(255));
	EXPECT_FALSE(ShaderSpirv::is_terminator_opcode(256));
	EXPECT_TRUE(ShaderSpirv::is_internal_opcode(252) && ShaderSpirv::is_internal_opcode(6032));
	EXPECT_FALSE(ShaderSpirv::is_internal_opcode(206));
	EXPECT_TRUE(ShaderSpirv::is_value_opcode(1) && ShaderSpirv::is_value_opcode(245));
	EXPECT_FALSE(ShaderSpirv::is_value_opcode(62) || ShaderSpirv::is_value_opcode(228));
	EXPECT_TRUE(ShaderSpirv::is_unary_opcode(200) && !ShaderSpirv::is_unary_opcode(201));
	EXPECT_TRUE(ShaderSpirv::is_digit('7') && !ShaderSpirv::is_digit('a'));
	EXPECT_TRUE(ShaderSpirv::is_space('\t') && ShaderSpirv::is_space('\r') && !ShaderSpirv::is_space('\v'));
	EXPECT_TRUE(ShaderSpirv::is_identifier("_a1") && !ShaderSpirv::is_identifier("") && !ShaderSpirv::is_identifier("a.b"));
}

TEST(SpirvReader, Blocks) {
	REQUIRE_ASSEMBLER();
	std::string types = "%bool = OpTypeBool\n%true = OpConstantTrue %bool\n";
	std::string body =
		"OpSelectionMerge %merge None\nOpBranchConditional %true %then %else\n"
		"%then = OpLabel\nOpBranch %merge\n%else = OpLabel\nOpBranch %merge\n%merge = OpLabel\n";
	Loaded loaded(assemble(compute("", "", types, body)));
	ASSERT_TRUE(loaded.ok) << loaded.errors;
	const Probe &p = loaded.probe;
	ASSERT_EQ(p.blocks.size(), 4u);
	// the entry block: merge, both targets and the condition; its count runs from its first instruction
	uint32_t entry = find_id(p, 248, 0);
	const ShaderSpirv::Block *block = p.blocks.get(entry);
	ASSERT_NE(block, nullptr);
	EXPECT_EQ(block->opcode, 250u);
	EXPECT_EQ(block->condition, find_id(p, 41));
	EXPECT_EQ(block->target, find_id(p, 248, 1));
	EXPECT_EQ(block->target_false, find_id(p, 248, 2));
	EXPECT_EQ(block->merge, find_id(p, 248, 3));
	EXPECT_EQ(block->continue_target, 0u);
	EXPECT_EQ(p.get_iterator(block->index).get_opcode(), 250);
	// the then block holds the previous terminator, its label and its branch
	EXPECT_EQ(p.blocks.get(block->target)->count, 2u);
	EXPECT_EQ(p.blocks.get(block->target)->target, block->merge);
	EXPECT_EQ(p.uses[block->condition], 1u);
}

TEST(SpirvReader, UseCountsSaturate) {
	REQUIRE_ASSEMBLER();
	// 70000 additions of one value to itself: 140000 uses do not wrap to a small count
	std::string body;
	for (int k = 0; k < 70000; k++) body += "%r" + std::to_string(k) + " = OpIAdd %uint %one %one\n";
	std::string types = "%uint = OpTypeInt 32 0\n%one = OpConstant %uint 1\n";
	Loaded loaded(assemble(compute("", "", types, body)));
	ASSERT_TRUE(loaded.ok) << loaded.errors;
	EXPECT_EQ(loaded.probe.uses[find_id(loaded.probe, 43)], 65535u);
}

TEST(SpirvReader, AtomicStoreKeepsScopeConstant) {
	REQUIRE_ASSEMBLER();
	std::string types = "%uint = OpTypeInt 32 0\n%one = OpConstant %uint 1\n%zero = OpConstant %uint 0\n"
		"%ptr = OpTypePointer Workgroup %uint\n%var = OpVariable %ptr Workgroup\n";
	Loaded loaded(assemble(compute("", "", types, "OpAtomicStore %var %one %zero %one\n")));
	ASSERT_TRUE(loaded.ok) << loaded.errors;
	const Probe &p = loaded.probe;
	uint32_t one = find_id(p, 43, 0);
	ASSERT_NE(one, 0u);
	EXPECT_EQ(p.get_target(one).get_opcode(), 43);
	EXPECT_EQ(p.uses[one], 2u);
}

TEST(SpirvReader, DepthSamplers) {
	REQUIRE_ASSEMBLER();
	std::string types =
		"%float = OpTypeFloat 32\n%v2 = OpTypeVector %float 2\n%f0 = OpConstant %float 0\n%uv = OpConstantComposite %v2 %f0 %f0\n"
		"%depth = OpTypeImage %float 2D 1 0 0 1 Unknown\n%color = OpTypeImage %float 2D 0 0 0 1 Unknown\n"
		"%sampler = OpTypeSampler\n%sdepth = OpTypeSampledImage %depth\n%scolor = OpTypeSampledImage %color\n"
		"%pdepth = OpTypePointer UniformConstant %depth\n%pcolor = OpTypePointer UniformConstant %color\n"
		"%psampler = OpTypePointer UniformConstant %sampler\n%td = OpVariable %pdepth UniformConstant\n"
		"%tc = OpVariable %pcolor UniformConstant\n%s = OpVariable %psampler UniformConstant\n";
	std::string body = "%a = OpLoad %depth %td\n%b = OpLoad %sampler %s\n%c = OpSampledImage %sdepth %a %b\n"
		"%d = OpLoad %color %tc\n%e = OpSampledImage %scolor %d %b\n";
	Loaded loaded(assemble(compute("", "", types, body)));
	ASSERT_TRUE(loaded.ok) << loaded.errors;
	const Probe &p = loaded.probe;
	uint32_t sdepth = find_id(p, 27, 0);
	ASSERT_EQ(p.depth_samplers.size(), 3u);
	EXPECT_EQ(*p.depth_samplers.get(sdepth), find_id(p, 25, 0));
	EXPECT_EQ(*p.depth_samplers.get(find_id(p, 59, 0)), sdepth);
	EXPECT_EQ(*p.depth_samplers.get(find_id(p, 59, 2)), sdepth);
}

namespace {

// one instruction: its word count and opcode, then its operands
std::vector<uint32_t> op(uint32_t code, std::vector<uint32_t> operands) {
	operands.insert(operands.begin(), ((static_cast<uint32_t>(operands.size()) + 1) << 16) | code);
	return operands;
}

// A compute entry point %1 (void %2, function type %3, label %4) around the
// given declarations, the instructions of its block and the functions that
// follow it, written word by word so that it may break rules that an
// assembler keeps; ids from 10 on are the caller's.
struct Words {
	std::vector<uint32_t> declarations;
	std::vector<uint32_t> prologue;
	std::vector<uint32_t> body;
	std::vector<uint32_t> functions;

	static void add_to(std::vector<uint32_t> &to, const std::vector<uint32_t> &instruction) {
		to.insert(to.end(), instruction.begin(), instruction.end());
	}
	void add(const std::vector<uint32_t> &instruction) { add_to(declarations, instruction); }
	std::vector<uint32_t> module(uint32_t bound) const {
		std::vector<uint32_t> w = {0x07230203u, 0x10000, 0, bound, 0};
		auto append = [&](const std::vector<uint32_t> &v) { w.insert(w.end(), v.begin(), v.end()); };
		append(op(17, {1}));                        // OpCapability Shader
		append(op(14, {0, 1}));                     // OpMemoryModel Logical GLSL450
		append(op(15, {5, 1, 0x6e69616du, 0}));     // OpEntryPoint GLCompute %1 "main"
		append(prologue);
		append(op(19, {2}));                        // OpTypeVoid
		append(op(33, {3, 2}));                     // OpTypeFunction
		append(declarations);
		append(op(54, {2, 1, 0, 3}));               // OpFunction
		append(op(248, {4}));                       // OpLabel
		append(body);
		append(op(253, {}));                        // OpReturn
		append(op(56, {}));                         // OpFunctionEnd
		append(functions);
		return w;
	}
};

constexpr uint32_t PhysicalStorageBuffer = 5349;

} // namespace

TEST(SpirvReader, TablesEndAtTheHighestIdInUse) {
	Words m;
	m.add(op(22, {10, 32}));                        // %10 = OpTypeFloat 32
	std::vector<uint32_t> words = m.module(0);
	uint32_t limit = ShaderSpirv::get_max_bound(static_cast<uint32_t>(words.size()));
	words[3] = limit;
	{
		// a header's bound far above the ids costs nothing
		Loaded loaded(words);
		ASSERT_TRUE(loaded.ok) << loaded.errors;
		const Probe &p = loaded.probe;
		EXPECT_EQ(p.records.size(), 11u);
		EXPECT_EQ(p.indices.size(), 11u);
		EXPECT_EQ(p.uses.size(), 11u);
		EXPECT_EQ(p.named.size(), 11u);
		EXPECT_EQ(p.members.size(), 11u);
		EXPECT_STREQ(p.records[10].name.get(), "_ca");
		EXPECT_STREQ(p.records[7].name.get(), "_c7"); // a gap below the highest id is named as ever
	}
	{
		// an id that only a name refers to extends the tables to it
		m.prologue = op(5, {300, 0x78});            // OpName %300 "x"
		words = m.module(limit);
		Loaded loaded(words);
		ASSERT_TRUE(loaded.ok) << loaded.errors;
		EXPECT_EQ(loaded.probe.records.size(), 301u);
		EXPECT_STREQ(loaded.probe.records[300].name.get(), "x");
		EXPECT_EQ(loaded.probe.get_target_record(300), nullptr);
	}
	// the allowance grows with the module, but by a few ids per word
	EXPECT_LE(ShaderSpirv::get_max_bound(1000000), 4000000u + 65536u);
	words[3] = ShaderSpirv::get_max_bound(static_cast<uint32_t>(words.size())) + 1;
	Loaded rejected(words);
	EXPECT_FALSE(rejected.ok);
	EXPECT_NE(rejected.errors.find("ShaderSpirv::load(): invalid id bound"), std::string::npos) << rejected.errors;
}

TEST(SpirvReader, ForwardPointers) {
	// a structure that points to itself through a pointer declared forward
	{
		Words m;
		m.add(op(39, {10, PhysicalStorageBuffer}));   // OpTypeForwardPointer %10
		m.add(op(22, {12, 32}));                      // %12 = float
		m.add(op(30, {11, 12, 10}));                  // %11 = OpTypeStruct %12 %10
		m.add(op(32, {10, PhysicalStorageBuffer, 11})); // %10 = OpTypePointer %11
		Loaded loaded(m.module(13));
		EXPECT_TRUE(loaded.ok) << loaded.errors;
		EXPECT_TRUE(loaded.errors.empty()) << loaded.errors;
	}
	// what is declared as a pointer must be one: two structures holding each other
	{
		Words m;
		m.add(op(39, {11, PhysicalStorageBuffer}));   // OpTypeForwardPointer %11
		m.add(op(30, {10, 11}));                      // %10 = OpTypeStruct %11
		m.add(op(30, {11, 10}));                      // %11 = OpTypeStruct %10
		m.add(op(32, {12, 6, 10}));                   // %12 = OpTypePointer Private %10
		m.add(op(59, {12, 13, 6}));                   // %13 = OpVariable %12 Private
		Loaded loaded(m.module(14));
		EXPECT_FALSE(loaded.ok);
		EXPECT_EQ(loaded.errors, "ShaderSpirv::load(): forward pointer 11 at word 20 is not defined by OpTypePointer\n");
	}
	// nor may it stay undefined
	{
		Words m;
		m.add(op(39, {11, PhysicalStorageBuffer}));
		m.add(op(30, {10, 11}));
		Loaded loaded(m.module(12));
		EXPECT_FALSE(loaded.ok);
		EXPECT_EQ(loaded.errors, "ShaderSpirv::load(): forward pointer 11 at word 20 is not defined by OpTypePointer\n");
	}
	// a pointer to an array of itself would never end the chains the lookups follow
	{
		Words m;
		m.add(op(39, {11, PhysicalStorageBuffer}));
		m.add(op(21, {12, 32, 0}));                   // %12 = uint
		m.add(op(43, {12, 13, 4}));                   // %13 = 4
		m.add(op(28, {10, 11, 13}));                  // %10 = OpTypeArray %11 %13
		m.add(op(32, {11, PhysicalStorageBuffer, 10})); // %11 = OpTypePointer %10
		Loaded loaded(m.module(14));
		EXPECT_FALSE(loaded.ok);
		EXPECT_EQ(loaded.errors, "ShaderSpirv::load(): type 11 refers to itself\n");
	}
}

TEST(SpirvReader, ManyForwardPointersIntoADeepChain) {
	// every forward pointer reaches the same chain of nested arrays: checking
	// each one by walking the whole chain took (pointers x depth) steps,
	// 10^9 here; each type is visited once now
	const uint32_t count = 32000;
	Words m;
	uint32_t pointers = 10;
	uint32_t uint_type = pointers + count;
	uint32_t length = uint_type + 1;
	uint32_t arrays = length + 1;
	for (uint32_t k = 0; k < count; k++) m.add(op(39, {pointers + k, PhysicalStorageBuffer}));
	m.add(op(21, {uint_type, 32, 0}));
	m.add(op(43, {uint_type, length, 2}));
	uint32_t element = uint_type;
	for (uint32_t k = 0; k < count; k++) {
		m.add(op(28, {arrays + k, element, length}));
		element = arrays + k;
	}
	for (uint32_t k = 0; k < count; k++) m.add(op(32, {pointers + k, PhysicalStorageBuffer, element}));
	Loaded loaded(m.module(arrays + count));
	EXPECT_TRUE(loaded.ok) << loaded.errors;
}

TEST(SpirvReader, ManyVariablesOfADeepArray) {
	// Private variables of a deeply nested array type: finding whether each is
	// a built-in walked the whole chain, (variables x depth) steps, 2.5 * 10^8
	// here; the walk now ends where built-ins can be
	const uint32_t count = 16000;
	Words m;
	m.add(op(21, {10, 32, 0}));                       // %10 = uint
	m.add(op(43, {10, 11, 2}));                       // %11 = 2
	uint32_t element = 10;
	for (uint32_t k = 0; k < count; k++) {
		m.add(op(28, {12 + k, element, 11}));
		element = 12 + k;
	}
	uint32_t pointer = 12 + count;
	m.add(op(32, {pointer, 6, element}));             // OpTypePointer Private
	for (uint32_t k = 0; k < count; k++) m.add(op(59, {pointer, pointer + 1 + k, 6}));
	Loaded loaded(m.module(pointer + 1 + count));
	ASSERT_TRUE(loaded.ok) << loaded.errors;
	EXPECT_EQ(loaded.probe.globals.size(), count);
	EXPECT_EQ(loaded.probe.builtins.size(), 0u);
}

TEST(SpirvReader, BuiltinsWhereTheyCanBe) {
	// on the variable, on a block's members, on the members of the blocks of
	// a per-vertex array
	Words m;
	m.prologue = op(71, {20, 11, 0});                 // OpDecorate %20 BuiltIn Position
	std::vector<uint32_t> member = op(72, {13, 0, 11, 0}); // OpMemberDecorate %13 0 BuiltIn Position
	m.prologue.insert(m.prologue.end(), member.begin(), member.end());
	m.add(op(22, {10, 32}));                          // %10 = float
	m.add(op(23, {11, 10, 4}));                       // %11 = vec4
	m.add(op(21, {12, 32, 0}));                       // %12 = uint
	m.add(op(30, {13, 11}));                          // %13 = struct { vec4 }
	m.add(op(43, {12, 14, 3}));                       // %14 = 3
	m.add(op(28, {15, 13, 14}));                      // %15 = %13[3]
	m.add(op(28, {16, 15, 14}));                      // %16 = %13[3][3]
	m.add(op(32, {17, 3, 11}));                       // Output vec4
	m.add(op(32, {18, 3, 13}));                       // Output block
	m.add(op(32, {19, 1, 15}));                       // Input block[3]
	m.add(op(32, {21, 1, 16}));                       // Input block[3][3]
	m.add(op(59, {17, 20, 3}));                       // %20: decorated itself
	m.add(op(59, {18, 22, 3}));                       // %22: a block
	m.add(op(59, {19, 23, 1}));                       // %23: per-vertex blocks
	m.add(op(59, {21, 24, 1}));                       // %24: no place for a built-in
	m.add(op(59, {17, 25, 3}));                       // %25: an ordinary output
	Loaded loaded(m.module(26));
	ASSERT_TRUE(loaded.ok) << loaded.errors;
	const Probe &p = loaded.probe;
	EXPECT_EQ(p.get_target_builtin(20), 0);
	EXPECT_EQ(p.get_target_builtin(22), 0);
	EXPECT_EQ(p.get_target_builtin(23), 0);
	EXPECT_EQ(p.get_target_builtin(24), -1);
	EXPECT_EQ(p.get_target_builtin(25), -1);
	ASSERT_EQ(p.builtins.size(), 3u);
	ASSERT_EQ(p.inputs.size(), 1u);
	EXPECT_EQ(p.inputs[0], 24u);
	ASSERT_EQ(p.outputs.size(), 1u);
	EXPECT_EQ(p.outputs[0], 25u);
}

TEST(SpirvReader, UnknownInstructionsLeaveNoErrorsBehind) {
	// A type that only an instruction unknown to the reader defines (here a
	// cooperative matrix): loading can do without it and says nothing; the
	// lookups report it once the module is loaded.
	Words m;
	m.add(op(22, {10, 32}));                          // %10 = float
	m.add(op(21, {11, 32, 0}));                       // %11 = uint
	m.add(op(43, {11, 12, 3}));                       // %12 = 3
	m.add(op(4456, {13, 10, 12, 12, 12, 12}));        // %13 = OpTypeCooperativeMatrixKHR
	m.add(op(32, {14, 6, 13}));                       // %14 = OpTypePointer Private %13
	m.add(op(59, {14, 15, 6}));                       // %15 = OpVariable %14 Private
	m.add(op(32, {16, 1, 13}));                       // %16 = OpTypePointer Input %13
	m.add(op(59, {16, 17, 1}));                       // %17 = OpVariable %16 Input
	std::vector<uint32_t> words = m.module(18);
	// a load of it in the function
	std::vector<uint32_t> load = op(61, {13, 18, 17});
	words.insert(words.end() - 2, load.begin(), load.end());
	words[3] = 19;
	Loaded loaded(words);
	ASSERT_TRUE(loaded.ok) << loaded.errors;
	EXPECT_TRUE(loaded.errors.empty()) << loaded.errors;
	const Probe &p = loaded.probe;
	ASSERT_EQ(p.globals.size(), 1u);
	ASSERT_EQ(p.inputs.size(), 1u);
	LogCapture capture;
	EXPECT_EQ(p.get_target_type(15).get_opcode(), -1);
	EXPECT_EQ(capture.errors, "ShaderSpirv::get_target(): unknown opcode 4456 of 13\n");
}

namespace {

// "GLSL.std.450" in words, and its length in words with the terminator
const std::vector<uint32_t> glsl_name = {0x4c534c47u, 0x6474732eu, 0x3035342eu, 0};

// The result of a reader check on a module: where it fails, the start of the
// message (the word index follows).
struct Verdict {
	std::vector<uint32_t> words;
	const char *message; // nullptr where the module loads
	std::string what;
};

void expect_verdict(const Verdict &v) {
	Loaded loaded(v.words);
	if (v.message == nullptr) {
		EXPECT_TRUE(loaded.ok) << v.what << "\n" << loaded.errors;
		EXPECT_TRUE(loaded.errors.empty()) << v.what << "\n" << loaded.errors;
		return;
	}
	EXPECT_FALSE(loaded.ok) << v.what;
	EXPECT_EQ(loaded.errors.rfind(v.message, 0), 0u) << v.what << "\n" << loaded.errors;
	EXPECT_EQ(std::count(loaded.errors.begin(), loaded.errors.end(), '\n'), 1) << v.what << "\n" << loaded.errors;
}

// A GLSL.std.450 instruction of a number with `operands` operands: the float
// constant %12, but the pointer %14 second where the instruction takes one
// (Modf, Frexp). `set` names another extended set in place of GLSL.std.450.
std::vector<uint32_t> extended(uint32_t number, uint32_t operands, const char *set = nullptr) {
	Words m;
	std::vector<uint32_t> import = {10};
	if (set == nullptr) {
		import.insert(import.end(), glsl_name.begin(), glsl_name.end());
	} else {
		std::string name(set);
		name.resize((name.size() / 4 + 1) * 4, '\0');
		for (size_t k = 0; k < name.size(); k += 4) {
			uint32_t word = 0;
			for (size_t b = 0; b < 4; b++) word |= static_cast<uint32_t>(static_cast<unsigned char>(name[k + b])) << (8 * b);
			import.push_back(word);
		}
	}
	m.prologue = op(11, import);                      // %10 = OpExtInstImport
	m.add(op(22, {11, 32}));                          // %11 = float
	m.add(op(43, {11, 12, 0x3f800000u}));             // %12 = 1.0
	m.add(op(32, {13, 7, 11}));                       // %13 = OpTypePointer Function %11
	Words::add_to(m.body, op(59, {13, 14, 7}));       // %14 = OpVariable %13 Function
	std::vector<uint32_t> operands_words = {11, 15, 10, number};
	for (uint32_t k = 0; k < operands; k++) operands_words.push_back((k == 1 && (number == 35 || number == 51)) ? 14 : 12);
	Words::add_to(m.body, op(12, operands_words));    // %15 = OpExtInst %11 %10 number ...
	return m.module(16);
}

} // namespace

TEST(SpirvReader, ExtendedInstructionOperandCounts) {
	const char *message = "ShaderSpirv::load(): GLSL.std.450 instruction ";
	struct Case {
		uint32_t number;
		uint32_t operands; // what the instruction takes
	} cases[] = {
		{1, 1},   // Round
		{13, 1},  // Sin
		{25, 2},  // Atan2
		{31, 1},  // Sqrt
		{35, 2},  // Modf: the value and a pointer
		{36, 1},  // ModfStruct
		{43, 3},  // FClamp
		{48, 2},  // Step
		{49, 3},  // SmoothStep
		{51, 2},  // Frexp: the value and a pointer
		{52, 1},  // FrexpStruct
		{53, 2},  // Ldexp
		{66, 1},  // Length
		{68, 2},  // Cross
		{70, 3},  // FaceForward
		{72, 3},  // Refract
		{76, 1},  // InterpolateAtCentroid
		{78, 2},  // InterpolateAtOffset
		{81, 3},  // NClamp, the last one
	};
	for (const Case &c : cases) {
		std::string what = "instruction " + std::to_string(c.number);
		expect_verdict({extended(c.number, c.operands), nullptr, what});
		std::string fewer = std::string(message) + std::to_string(c.number) + " has " + std::to_string(c.operands - 1) +
			" operands instead of " + std::to_string(c.operands) + " at word ";
		std::string more = std::string(message) + std::to_string(c.number) + " has " + std::to_string(c.operands + 1) +
			" operands instead of " + std::to_string(c.operands) + " at word ";
		expect_verdict({extended(c.number, c.operands - 1), fewer.c_str(), what + " with an operand too few"});
		expect_verdict({extended(c.number, c.operands + 1), more.c_str(), what + " with an operand too many"});
	}
	// numbers that the set does not have are the renderer's to report; other
	// sets have operands of their own
	expect_verdict({extended(0, 0), nullptr, "instruction 0"});
	expect_verdict({extended(82, 5), nullptr, "instruction 82"});
	expect_verdict({extended(0xffffffffu, 1), nullptr, "instruction 0xffffffff"});
	expect_verdict({extended(13, 3, "OpenCL.std"), nullptr, "another set"});
	// the exact message of one
	Loaded loaded(extended(13, 2));
	EXPECT_EQ(loaded.errors, "ShaderSpirv::load(): GLSL.std.450 instruction 13 has 2 operands instead of 1 at word 48\n");
}

TEST(SpirvReader, CallsMatchTheirCallee) {
	// %1 calls %20(%12, %12), a function of two float parameters that follows
	// it; `arguments` replaces the arguments, `callee` the callee
	auto module = [](std::vector<uint32_t> arguments, uint32_t callee = 20, bool line = false) {
		Words m;
		m.prologue = op(7, {30, 0x612e61u});          // %30 = OpString "a.a"
		m.add(op(22, {11, 32}));                      // %11 = float
		m.add(op(43, {11, 12, 0x3f800000u}));         // %12 = 1.0
		m.add(op(33, {13, 2, 11, 11}));               // %13 = OpTypeFunction %2 %11 %11
		m.add(op(33, {14, 2}));                       // %14 = OpTypeFunction %2
		std::vector<uint32_t> call = {2, 15, callee};
		call.insert(call.end(), arguments.begin(), arguments.end());
		Words::add_to(m.body, op(57, call));          // %15 = OpFunctionCall %2 callee ...
		Words::add_to(m.functions, op(54, {2, 20, 0, 13}));  // %20 = OpFunction %2 None %13
		if (line) Words::add_to(m.functions, op(8, {30, 1, 1})); // OpLine among the parameters
		Words::add_to(m.functions, op(55, {11, 21}));         // %21 = OpFunctionParameter %11
		if (line) Words::add_to(m.functions, op(8, {30, 2, 1}));
		Words::add_to(m.functions, op(55, {11, 22}));         // %22 = OpFunctionParameter %11
		Words::add_to(m.functions, op(248, {23}));
		Words::add_to(m.functions, op(253, {}));
		Words::add_to(m.functions, op(56, {}));
		Words::add_to(m.functions, op(54, {2, 24, 0, 14}));  // %24 = OpFunction %2 None %14
		Words::add_to(m.functions, op(248, {25}));
		Words::add_to(m.functions, op(253, {}));
		Words::add_to(m.functions, op(56, {}));
		return m.module(31);
	};
	const char *count = "ShaderSpirv::load(): the call at word ";
	const char *callee = "ShaderSpirv::load(): callee ";
	Verdict cases[] = {
		{module({12, 12}), nullptr, "two arguments"},
		{module({12, 12}, 20, true), nullptr, "lines among the parameters"},
		{module({}, 24), nullptr, "no arguments to a function without parameters"},
		{module({12}), count, "one argument"},
		{module({12, 12, 12}), count, "three arguments"},
		{module({}), count, "no argument"},
		{module({12}, 24), count, "an argument to a function without parameters"},
		{module({12, 12}, 12), callee, "a constant called"},
		{module({12, 12}, 13), callee, "a function type called"},
		{module({12, 12}, 21), callee, "a parameter called"},
		{module({12, 12}, 27), callee, "an undefined id called"},
	};
	for (const Verdict &v : cases) expect_verdict(v);
	Loaded loaded(module({12}));
	EXPECT_EQ(loaded.errors, "ShaderSpirv::load(): the call at word 45 passes 1 arguments to function 20 of 2 parameters\n");
	Loaded undefined(module({12, 12}, 27));
	EXPECT_EQ(undefined.errors, "ShaderSpirv::load(): callee 27 of the call at word 45 is not a function\n");
}

TEST(SpirvReader, NumericTypeWidthsAndCounts) {
	// %10 float, %11 int, %12 vec4 precede the type under test, %20
	auto module = [](std::vector<uint32_t> type) {
		Words m;
		m.add(op(22, {10, 32}));                      // %10 = float
		m.add(op(21, {11, 32, 1}));                   // %11 = int
		m.add(op(23, {12, 10, 4}));                   // %12 = vec4
		m.add(op(20, {13}));                          // %13 = bool
		m.add(type);
		return m.module(21);
	};
	const char *width = "ShaderSpirv::load(): invalid width ";
	const char *components = "ShaderSpirv::load(): invalid component count ";
	const char *columns = "ShaderSpirv::load(): invalid column count ";
	std::vector<Verdict> cases;
	for (uint32_t w : {8u, 16u, 32u, 64u}) cases.push_back({module(op(21, {20, w, 0})), nullptr, "int " + std::to_string(w)});
	for (uint32_t w : {0u, 1u, 7u, 24u, 128u, 0xffffffffu}) cases.push_back({module(op(21, {20, w, 0})), width, "int " + std::to_string(w)});
	for (uint32_t w : {16u, 32u, 64u}) cases.push_back({module(op(22, {20, w})), nullptr, "float " + std::to_string(w)});
	for (uint32_t w : {0u, 8u, 24u, 128u, 0xffffffffu}) cases.push_back({module(op(22, {20, w})), width, "float " + std::to_string(w)});
	for (uint32_t n : {2u, 3u, 4u, 8u, 16u}) cases.push_back({module(op(23, {20, 10, n})), nullptr, "vector of " + std::to_string(n)});
	for (uint32_t n : {0u, 1u, 5u, 7u, 32u, 0xffffffffu}) {
		cases.push_back({module(op(23, {20, 10, n})), components, "vector of " + std::to_string(n)});
	}
	for (uint32_t n : {2u, 3u, 4u}) cases.push_back({module(op(24, {20, 12, n})), nullptr, "matrix of " + std::to_string(n)});
	for (uint32_t n : {0u, 1u, 5u, 16u, 0xffffffffu}) {
		cases.push_back({module(op(24, {20, 12, n})), columns, "matrix of " + std::to_string(n)});
	}
	// components are scalars, columns vectors
	cases.push_back({module(op(23, {20, 11, 2})), nullptr, "vector of int"});
	cases.push_back({module(op(23, {20, 13, 2})), nullptr, "vector of bool"});
	cases.push_back({module(op(23, {20, 12, 4})), "ShaderSpirv::load(): invalid component type 12 of vector type 20 ", "vector of vectors"});
	cases.push_back({module(op(23, {20, 19, 4})), "ShaderSpirv::load(): invalid component type 19 ", "vector of an undefined type"});
	cases.push_back({module(op(24, {20, 10, 4})), "ShaderSpirv::load(): invalid column type 10 of matrix type 20 ", "matrix of scalars"});
	for (const Verdict &v : cases) expect_verdict(v);
	Loaded loaded(module(op(21, {20, 0xffffffffu, 0})));
	EXPECT_EQ(loaded.errors, "ShaderSpirv::load(): invalid width 4294967295 of integer type 20 at word 33\n");
}
