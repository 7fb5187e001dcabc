// The block memory layouts of the base renderer under each rule set. The
// reference compiler lays out blocks of every kind of member; the layouts
// that the unit computes from the types alone must be the Offset, ArrayStride
// and MatrixStride decorations it wrote, and the check of the decorations
// must find nothing to say. Sizes past the limit, and decorations that the
// rules do not give, are issues that name their structure and member.
#include <gtest/gtest.h>

#include "spirv_fixtures.h"

#include "shader/ShaderSpirvNumbers.h"

#include <string>
#include <vector>

namespace {

using namespace spirv_test;
using namespace Vexa;

class LayoutProbe : public ShaderSpirv {
public:
	using ShaderSpirv::find_layout_issues;
	using ShaderSpirv::get_member_offsets;
	using ShaderSpirv::get_type_layout;
	using ShaderSpirv::members;
	using ShaderSpirv::records;
};

// the reference compiler's module of a compute shader, empty after a failure
std::vector<uint32_t> reference_module(const std::string &source, std::string &errors) {
	std::string input = temp_path("layout.comp");
	std::string output = temp_path("layout.spv");
	std::ofstream(input) << source;
	std::vector<uint32_t> words;
	if (run("glslangValidator -V --target-env vulkan1.2 -o " + output + " " + input, &errors)) words = read_words(output);
	std::remove(input.c_str());
	std::remove(output.c_str());
	return words;
}

const char *const scalar_members = "float a; int b; vec3 c; float d; vec2 e; uint f; vec3 g; vec4 h; vec2 i; vec3 j; vec2 k;";
const char *const array_members = "float a[3]; float b; vec2 c[2]; vec3 d[2]; float e; vec4 f[2]; vec2 g;";
const char *const matrix_members =
	"mat4 a; float b; layout(row_major) mat3x2 c; mat3 d; layout(row_major) mat2x3 e; mat2 f; mat2x3 g; float h;"
	" mat3 i[2]; layout(row_major) mat2x3 j[3]; layout(row_major) mat3 k; vec2 l;";
const char *const nested_structures =
	"struct S { float x; vec3 y; };\n"
	"struct T { S s[2]; vec2 z; mat2x3 m; float w; };\n"
	"struct U { vec2 p; double q; float r; };\n";
const char *const nested_members = "float a; S s; float b; T t[2]; float c; layout(row_major) T r; vec3 d; U u; float e; U us[2]; vec2 f[2][3]; S ss[2][2]; float g;";
const char *const wide_members =
	"float16_t a; f16vec3 b; float16_t c; int16_t d; i16vec2 e; u16vec3 f; int8_t g; u8vec3 h; i8vec2 i;"
	" double j; dvec3 k; float l; dvec2 m; int64_t n; u64vec3 o; dmat3 p; layout(row_major) dmat2x3 q; f16vec2 r[3]; f16vec3 s[2]; float t;";
const char *const wide_extensions =
	"#extension GL_EXT_shader_explicit_arithmetic_types : require\n";

std::string block_source(const char *storage, const char *layout, const char *members) {
	return std::string("layout(") + layout + ", set = 0, binding = " + (storage[0] == 'u' ? "0" : "1") + ") " + storage + " B" + storage[0] + " { " + members + " } b" +
		storage[0] + ";\n";
}

std::string shader(const std::string &extensions, const std::string &declarations) {
	return "#version 450\n" + extensions + "layout(local_size_x = 1) in;\n" + declarations + "void main() {}\n";
}

struct Source {
	const char *name;
	LayoutRule rule;
	std::string text;
};

std::vector<Source> sources() {
	const char *scalar_extension = "#extension GL_EXT_scalar_block_layout : require\n";
	std::vector<Source> ret;
	struct Members {
		const char *name;
		const char *structures;
		const char *members;
		const char *extensions;
	};
	const Members sets[] = {
		{"scalars and vectors", "", scalar_members, ""},
		{"arrays", "", array_members, ""},
		{"matrices", "", matrix_members, ""},
		{"nested structures", nested_structures, nested_members, ""},
		{"8-, 16- and 64-bit types", "", wide_members, wide_extensions},
	};
	for (const Members &set : sets) {
		std::string structures = set.structures;
		ret.push_back({set.name, LayoutStd140, shader(set.extensions, structures + block_source("uniform", "std140", set.members))});
		ret.push_back({set.name, LayoutStd430, shader(set.extensions, structures + block_source("buffer", "std430", set.members))});
		ret.push_back({set.name, LayoutScalar,
			shader(std::string(set.extensions) + scalar_extension, structures + block_source("buffer", "scalar", set.members) + block_source("uniform", "scalar", set.members))});
	}
	// a runtime array ends a storage block
	ret.push_back({"runtime arrays", LayoutStd430, shader("", std::string(nested_structures) + block_source("buffer", "std430", "vec3 a; S s[];"))});
	ret.push_back({"runtime arrays", LayoutScalar, shader(scalar_extension, std::string(nested_structures) + block_source("buffer", "scalar", "vec3 a; vec3 b[];"))});
	return ret;
}

TEST(SpirvLayout, ComputesTheReferenceCompilersDecorations) {
	if (!have_tool("glslangValidator")) GTEST_SKIP() << "glslangValidator is not installed";
	for (const Source &source : sources()) {
		SCOPED_TRACE(std::string(source.name) + " in " + get_layout_rules(source.rule).name);
		std::string errors;
		std::vector<uint32_t> words = reference_module(source.text, errors);
		ASSERT_FALSE(words.empty()) << errors << source.text;
		LayoutProbe probe;
		{
			LogCapture capture;
			ASSERT_TRUE(probe.load(to_array(words))) << capture.errors;
		}
		uint32_t blocks = 0;
		uint32_t offsets = 0;
		uint32_t array_strides = 0;
		uint32_t matrix_strides = 0;
		for (ShaderSpirv::Iterator it = probe.get_iterator(5); !it.is_end(); it = it.advance(it.get_size())) {
			if (it.get_opcode() != Spirv::OpTypeStruct) continue;
			uint32_t structure = it[1];
			const Array<ShaderSpirv::Record> &members = probe.members[structure];
			if (members.size() == 0 || !members[0].decorations.find(Spirv::DecorationOffset)) continue;
			std::string name = probe.records[structure].name.get();
			// the offsets from the types alone
			Array<uint64_t> computed;
			ASSERT_TRUE(probe.get_member_offsets(structure, source.rule, computed)) << name;
			ASSERT_EQ(computed.size(), members.size()) << name;
			for (uint32_t k = 0; k < members.size(); k++) {
				SCOPED_TRACE(name + "." + members[k].name.get());
				const uint32_t *offset = members[k].decorations.get(Spirv::DecorationOffset);
				ASSERT_NE(offset, nullptr);
				EXPECT_EQ(computed[k], *offset);
				offsets++;
				bool row_major = members[k].decorations.find(Spirv::DecorationRowMajor) != nullptr;
				// each level of the member's arrays, and its matrices
				uint32_t type = it[k + 2];
				TypeLayout member = probe.get_type_layout(type, source.rule, row_major);
				EXPECT_TRUE(member.ok);
				for (ShaderSpirv::Iterator level = probe.get_target(type); ShaderSpirv::is_array_opcode(level.get_opcode());
					level = probe.get_target(level[2])) {
					const uint32_t *stride = probe.records[level[1]].decorations.get(Spirv::DecorationArrayStride);
					ASSERT_NE(stride, nullptr);
					EXPECT_EQ(probe.get_type_layout(level[1], source.rule, row_major).array_stride, *stride);
					array_strides++;
				}
				if (const uint32_t *stride = members[k].decorations.get(Spirv::DecorationMatrixStride)) {
					EXPECT_EQ(member.matrix_stride, *stride);
					matrix_strides++;
				}
			}
			// and the check of the decorations has nothing to say
			Array<LayoutIssue> issues;
			probe.find_layout_issues(structure, source.rule, issues);
			EXPECT_EQ(issues.size(), 0u) << name;
			blocks++;
		}
		EXPECT_NE(blocks, 0u);
		EXPECT_NE(offsets, 0u);
		if (std::string(source.name) == "arrays" || std::string(source.name) == "nested structures") {
			EXPECT_NE(array_strides, 0u);
		}
		if (std::string(source.name) == "matrices") {
			EXPECT_NE(matrix_strides, 0u);
		}
	}
}


// A block B (with a structure S where a case needs one) in a storage buffer,
// its names and decorations those of the case.
std::string block_module(const std::string &annotations, const std::string &types) {
	return "OpCapability Shader\n"
		   "OpCapability Int64\n"
		   "OpMemoryModel Logical GLSL450\n"
		   "OpEntryPoint GLCompute %main \"main\"\n"
		   "OpExecutionMode %main LocalSize 1 1 1\n"
		   "OpName %B \"B\"\n"
		   "OpMemberName %B 0 \"a\"\n" +
		annotations +
		"OpDecorate %B Block\n"
		"OpDecorate %buf DescriptorSet 0\n"
		"OpDecorate %buf Binding 0\n"
		"%void = OpTypeVoid\n"
		"%fn = OpTypeFunction %void\n"
		"%float = OpTypeFloat 32\n"
		"%v3 = OpTypeVector %float 3\n"
		"%v4 = OpTypeVector %float 4\n"
		"%v2 = OpTypeVector %float 2\n"
		"%m2 = OpTypeMatrix %v2 2\n"
		"%uint = OpTypeInt 32 0\n"
		"%ulong = OpTypeInt 64 0\n"
		"%two = OpConstant %uint 2\n" +
		types +
		"%pB = OpTypePointer StorageBuffer %B\n"
		"%buf = OpVariable %pB StorageBuffer\n"
		"%main = OpFunction %void None %fn\n"
		"%entry = OpLabel\n"
		"OpReturn\n"
		"OpFunctionEnd\n";
}

// Loads a module of `block_module` and checks its block under the rules:
// false when it does not load or has no block, or when the check logs
// anything (the issues are the caller's to report).
bool check_block(LayoutProbe &probe, const std::vector<uint32_t> &words, LayoutRule rule, uint32_t &block, Array<LayoutIssue> &issues) {
	LogCapture capture;
	bool loaded = probe.load(to_array(words));
	EXPECT_TRUE(loaded) << capture.errors;
	if (!loaded) return false;
	for (uint32_t id = 0; id < probe.records.size(); id++) {
		if (probe.records[id].decorations.find(Spirv::DecorationBlock)) block = id;
	}
	if (block == 0) return false;
	probe.find_layout_issues(block, rule, issues);
	EXPECT_EQ(capture.errors, "");
	return capture.errors.empty();
}

// What the check finds in a block, and the member it names; no member where
// it finds nothing. The sizes near the limit are those that 32-bit sums
// would wrap around.
struct IssueCase {
	const char *name;
	LayoutRule rule;
	const char *annotations;
	const char *types;
	LayoutIssueKind kind;
	const char *member;       // "structure.member", or null for no issue
	uint64_t decorated;
	uint64_t expected;
	bool valid;               // whether spirv-val takes the module
};

const IssueCase issue_cases[] = {
	{"4 GiB of vec4 before a member at 0", LayoutStd430,
		"OpMemberName %B 1 \"b\"\nOpDecorate %arr ArrayStride 16\nOpMemberDecorate %B 0 Offset 0\nOpMemberDecorate %B 1 Offset 0\n",
		"%n = OpConstant %uint 268435456\n%arr = OpTypeArray %v4 %n\n%B = OpTypeStruct %arr %float\n", LayoutIssueSize, "B.a", 0, 0, true},
	{"a 64-bit length", LayoutStd430, "OpDecorate %arr ArrayStride 4\nOpMemberDecorate %B 0 Offset 0\n",
		"%n = OpConstant %ulong 4294967297\n%arr = OpTypeArray %float %n\n%B = OpTypeStruct %arr\n", LayoutIssueSize, "B.a", 0, 0, true},
	{"an array of structures of 2 GiB", LayoutStd430,
		"OpName %S \"S\"\nOpMemberName %S 0 \"x\"\nOpDecorate %arr ArrayStride 16\nOpMemberDecorate %S 0 Offset 0\n"
		"OpDecorate %sarr ArrayStride 2147483648\nOpMemberDecorate %B 0 Offset 0\n",
		"%n = OpConstant %uint 134217728\n%arr = OpTypeArray %v4 %n\n%S = OpTypeStruct %arr\n%sarr = OpTypeArray %S %two\n%B = OpTypeStruct %sarr\n",
		LayoutIssueSize, "B.a", 0, 0, true},
	{"just within the limit", LayoutStd430, "OpDecorate %arr ArrayStride 4\nOpMemberDecorate %B 0 Offset 0\n",
		"%n = OpConstant %uint 1073741823\n%arr = OpTypeArray %float %n\n%B = OpTypeStruct %arr\n", LayoutIssueSize, nullptr, 0, 0, true},
	{"one float past the limit", LayoutStd430, "OpDecorate %arr ArrayStride 4\nOpMemberDecorate %B 0 Offset 0\n",
		"%n = OpConstant %uint 1073741824\n%arr = OpTypeArray %float %n\n%B = OpTypeStruct %arr\n", LayoutIssueSize, "B.a", 0, 0, true},
	{"ArrayStride of std430 in std140", LayoutStd140, "OpDecorate %arr ArrayStride 4\nOpMemberDecorate %B 0 Offset 0\n",
		"%arr = OpTypeArray %float %two\n%B = OpTypeStruct %arr\n", LayoutIssueArrayStride, "B.a", 4, 16, true},
	{"vec3 after a float", LayoutStd430, "OpMemberName %B 1 \"b\"\nOpMemberDecorate %B 0 Offset 0\nOpMemberDecorate %B 1 Offset 4\n", "%B = OpTypeStruct %float %v3\n",
		LayoutIssueOffset, "B.b", 4, 16, true},
	{"vec3 after a float in scalar layout", LayoutScalar, "OpMemberName %B 1 \"b\"\nOpMemberDecorate %B 0 Offset 0\nOpMemberDecorate %B 1 Offset 4\n",
		"%B = OpTypeStruct %float %v3\n", LayoutIssueOffset, nullptr, 0, 0, true},
	{"MatrixStride of std430 in std140", LayoutStd140, "OpMemberDecorate %B 0 Offset 0\nOpMemberDecorate %B 0 ColMajor\nOpMemberDecorate %B 0 MatrixStride 8\n",
		"%B = OpTypeStruct %m2\n", LayoutIssueMatrixStride, "B.a", 8, 16, true},
	{"nested structure's Offset", LayoutStd430,
		"OpName %S \"S\"\nOpMemberName %S 0 \"x\"\nOpMemberName %S 1 \"y\"\nOpMemberDecorate %S 0 Offset 0\nOpMemberDecorate %S 1 Offset 8\n"
		"OpMemberDecorate %B 0 Offset 0\n",
		"%S = OpTypeStruct %float %float\n%B = OpTypeStruct %S\n", LayoutIssueOffset, "S.y", 8, 4, true},
	{"array length of a specialization constant", LayoutStd430, "OpDecorate %arr ArrayStride 4\nOpMemberDecorate %B 0 Offset 0\n",
		"%n = OpSpecConstant %uint 4\n%arr = OpTypeArray %float %n\n%B = OpTypeStruct %arr\n", LayoutIssueArrayLength, "B.a", 0, 0, true},
	// not SPIR-V, but a module the check meets all the same
	{"runtime array before the last member", LayoutStd430,
		"OpMemberName %B 1 \"b\"\nOpDecorate %arr ArrayStride 4\nOpMemberDecorate %B 0 Offset 0\nOpMemberDecorate %B 1 Offset 0\n",
		"%arr = OpTypeRuntimeArray %float\n%B = OpTypeStruct %arr %float\n", LayoutIssueRuntimeArray, "B.a", 0, 0, false},
};

TEST(SpirvLayout, IssuesNameTheirMember) {
	if (!have_tool("spirv-as") || !have_tool("spirv-val")) GTEST_SKIP() << "spirv-as or spirv-val is not installed";
	for (const IssueCase &c : issue_cases) {
		SCOPED_TRACE(c.name);
		std::vector<uint32_t> words = assemble(block_module(c.annotations, c.types), "vulkan1.1");
		ASSERT_FALSE(words.empty());
		EXPECT_EQ(spirv_val(words, "vulkan1.1").empty(), c.valid) << spirv_val(words, "vulkan1.1");
		LayoutProbe probe;
		uint32_t block = 0;
		Array<LayoutIssue> issues;
		ASSERT_TRUE(check_block(probe, words, c.rule, block, issues));
		if (c.member == nullptr) {
			EXPECT_EQ(issues.size(), 0u);
			EXPECT_TRUE(probe.get_type_layout(probe.get_target(block)[2], c.rule, false).ok);
			continue;
		}
		ASSERT_EQ(issues.size(), 1u);
		const LayoutIssue &issue = issues[0];
		EXPECT_EQ(issue.kind, c.kind);
		EXPECT_EQ(std::string(probe.records[issue.structure].name.get()) + "." + probe.members[issue.structure][issue.member].name.get(), c.member);
		EXPECT_EQ(issue.decorated, c.decorated);
		EXPECT_EQ(issue.expected, c.expected);
		// and a size past the limit leaves the type without a layout
		if (c.kind == LayoutIssueSize) {
			TypeLayout layout = probe.get_type_layout(probe.get_target(block)[2], c.rule, false);
			EXPECT_FALSE(layout.ok);
			EXPECT_EQ(layout.failure, LayoutIssueSize);
		}
	}
}

// Structures of two of the one before, forty deep: the layouts of their
// types are computed once each, not once per path to them, so the check
// stays within the renderer's work bound; the sizes double until a member
// ends past the limit, which is named there.
TEST(SpirvLayout, NestedStructuresCostTheirTypes) {
	if (!have_tool("spirv-as")) GTEST_SKIP() << "spirv-as is not installed";
	std::string annotations;
	std::string types = "%S0 = OpTypeStruct %float\n";
	for (uint32_t k = 1; k <= 40; k++) {
		std::string s = "%S" + std::to_string(k);
		annotations += "OpName " + s + " \"S" + std::to_string(k) + "\"\nOpMemberName " + s + " 1 \"b\"\n";
		if (k <= 30) annotations += "OpMemberDecorate " + s + " 0 Offset 0\nOpMemberDecorate " + s + " 1 Offset " + std::to_string(4ull << (k - 1)) + "\n";
		types += s + " = OpTypeStruct %S" + std::to_string(k - 1) + " %S" + std::to_string(k - 1) + "\n";
	}
	annotations += "OpMemberDecorate %S0 0 Offset 0\nOpMemberDecorate %B 0 Offset 0\n";
	types += "%B = OpTypeStruct %S40\n";
	std::vector<uint32_t> words = assemble(block_module(annotations, types), "vulkan1.1");
	ASSERT_FALSE(words.empty());
	LayoutProbe probe;
	uint32_t block = 0;
	Array<LayoutIssue> issues;
	ASSERT_TRUE(check_block(probe, words, LayoutStd430, block, issues));
	ASSERT_NE(issues.size(), 0u);
	EXPECT_EQ(issues[0].kind, LayoutIssueSize);
	EXPECT_EQ(std::string(probe.records[issues[0].structure].name.get()) + "." + probe.members[issues[0].structure][issues[0].member].name.get(), "S30.b");
	// below it, the sizes hold
	for (uint32_t id = 0; id < probe.records.size(); id++) {
		if (std::string(probe.records[id].name.get()) != "S29") continue;
		TypeLayout layout = probe.get_type_layout(id, LayoutStd430, false);
		EXPECT_TRUE(layout.ok);
		EXPECT_EQ(layout.size, 4ull << 29);
	}
}

} // namespace
