// The per-vertex questions of the base renderer on tessellation and geometry
// modules: which variables hold one element per vertex, which of them are
// built-ins declared as arrays of their own, which pointers stand for a
// variable as it is, and which stores write a control point that is not the
// invocation's own. Built-in arrays and foreign writes come from assembly
// (the reference compiler makes neither); the rest from the reference
// compiler's modules of GLSL.
#include <gtest/gtest.h>

#include "spirv_fixtures.h"

#include "shader/ShaderSpirvNumbers.h"

#include <map>
#include <string>
#include <vector>

namespace {

using namespace spirv_test;
using namespace Vexa;

class VertexProbe : public ShaderSpirv {
public:
	using ShaderSpirv::get_first_chain;
	using ShaderSpirv::get_foreign_vertex_write;
	using ShaderSpirv::get_iterator;
	using ShaderSpirv::get_pointer_base;
	using ShaderSpirv::is_block_type;
	using ShaderSpirv::is_builtin_variable;
	using ShaderSpirv::is_control_point_output;
	using ShaderSpirv::is_invocation_index;
	using ShaderSpirv::is_patch_variable;
	using ShaderSpirv::is_patch_vertex_array;
	using ShaderSpirv::is_vertex_builtin_array;
	using ShaderSpirv::records;

	// the id of a name the module gives, 0 for none
	uint32_t id(const std::string &name) const {
		for (uint32_t i = 0; i < records.size(); i++) {
			if (name == records[i].name.get()) return i;
		}
		return 0;
	}
};

// A control shader whose built-ins are arrays of their own. `own` and
// `pos_own` write the invocation's vertex (through a copy and a bit cast of
// the loaded id, and through a copy of the pointer); `other` and `pos_el`
// write vertices of a constant index.
const char *const control_assembly = R"(OpCapability Tessellation
OpMemoryModel Logical GLSL450
OpEntryPoint TessellationControl %main "main" %pos_in %pos_out %clip_in %inv %data_out %data_in %patch_out %blk_out
OpExecutionMode %main OutputVertices 3
OpName %pos_in "pos_in"
OpName %pos_out "pos_out"
OpName %clip_in "clip_in"
OpName %inv "inv"
OpName %data_out "data_out"
OpName %data_in "data_in"
OpName %patch_out "patch_out"
OpName %blk_out "blk_out"
OpName %Patches "Patches"
OpName %base "base"
OpName %whole "whole"
OpName %own "own"
OpName %other "other"
OpName %pos_el "pos_el"
OpName %pos_own "pos_own"
OpName %id "id"
OpName %idc "idc"
OpName %idb "idb"
OpDecorate %pos_in BuiltIn Position
OpDecorate %pos_out BuiltIn Position
OpDecorate %clip_in BuiltIn ClipDistance
OpDecorate %inv BuiltIn InvocationId
OpDecorate %data_out Location 0
OpDecorate %data_in Location 0
OpDecorate %patch_out Location 1
OpDecorate %patch_out Patch
OpDecorate %Patches Block
OpMemberDecorate %Patches 0 Patch
OpMemberDecorate %Patches 1 Patch
OpDecorate %blk_out Location 2
%void = OpTypeVoid
%fn = OpTypeFunction %void
%float = OpTypeFloat 32
%v4 = OpTypeVector %float 4
%int = OpTypeInt 32 1
%uint = OpTypeInt 32 0
%u3 = OpConstant %uint 3
%u2 = OpConstant %uint 2
%u32 = OpConstant %uint 32
%i0 = OpConstant %int 0
%i1 = OpConstant %int 1
%arr3 = OpTypeArray %v4 %u3
%arr32 = OpTypeArray %v4 %u32
%farr2 = OpTypeArray %float %u2
%cliparr = OpTypeArray %farr2 %u32
%Patches = OpTypeStruct %v4 %float
%p_in_arr32 = OpTypePointer Input %arr32
%p_out_arr3 = OpTypePointer Output %arr3
%p_in_clip = OpTypePointer Input %cliparr
%p_in_int = OpTypePointer Input %int
%p_out_v4 = OpTypePointer Output %v4
%p_in_v4 = OpTypePointer Input %v4
%p_out_patches = OpTypePointer Output %Patches
%pos_in = OpVariable %p_in_arr32 Input
%pos_out = OpVariable %p_out_arr3 Output
%clip_in = OpVariable %p_in_clip Input
%inv = OpVariable %p_in_int Input
%data_out = OpVariable %p_out_arr3 Output
%data_in = OpVariable %p_in_arr32 Input
%patch_out = OpVariable %p_out_v4 Output
%blk_out = OpVariable %p_out_patches Output
%main = OpFunction %void None %fn
%l = OpLabel
%id = OpLoad %int %inv
%idc = OpCopyObject %int %id
%idb = OpBitcast %uint %idc
%src = OpAccessChain %p_in_v4 %data_in %i1
%v = OpLoad %v4 %src
%own = OpAccessChain %p_out_v4 %data_out %idb
OpStore %own %v
%other = OpAccessChain %p_out_v4 %data_out %i0
OpStore %other %v
%base = OpCopyObject %p_out_arr3 %pos_out
%whole = OpAccessChain %p_out_arr3 %base
%pos_el = OpAccessChain %p_out_v4 %whole %i1
OpStore %pos_el %v
%pos_own = OpAccessChain %p_out_v4 %whole %id
OpStore %pos_own %v
OpStore %patch_out %v
OpReturn
OpFunctionEnd
)";

const char *const evaluation_source = R"(#version 450
layout(triangles) in;
layout(location = 0) in vec4 vin[];
layout(location = 1) patch in vec4 pin;
layout(location = 0) out vec4 vout;
void main() {
	vout = vin[0] + pin + gl_in[1].gl_Position;
	gl_Position = vout;
}
)";

const char *const geometry_source = R"(#version 450
layout(triangles) in;
layout(triangle_strip, max_vertices = 3) out;
layout(location = 0) in vec4 gin[];
void main() {
	gl_Position = gin[0] + gl_in[0].gl_Position;
	EmitVertex();
}
)";

std::vector<uint32_t> compile(const char *source, const char *stage, std::string &errors) {
	std::string input = temp_path(std::string("vertices.") + stage);
	std::string output = temp_path("vertices.spv");
	std::ofstream(input) << source;
	std::vector<uint32_t> words;
	if (run("glslangValidator -V -o " + output + " " + input, &errors)) words = read_words(output);
	std::remove(input.c_str());
	std::remove(output.c_str());
	return words;
}

class Vertices : public ::testing::Test {
protected:
	static void SetUpTestSuite() {
		if (!have_tool("spirv-as") || !have_tool("glslangValidator")) return;
		std::string errors;
		modules["tesc"] = assemble(control_assembly);
		modules["tese"] = compile(evaluation_source, "tese", errors);
		modules["geom"] = compile(geometry_source, "geom", errors);
	}
	void SetUp() override {
		if (!have_tool("spirv-as") || !have_tool("glslangValidator")) GTEST_SKIP() << "spirv-as or glslangValidator missing";
	}
	// the module of a stage, loaded; fails the test when it is no valid module
	bool load(const std::string &stage, VertexProbe &probe) {
		const std::vector<uint32_t> &words = modules[stage];
		EXPECT_EQ(spirv_val(words), "") << stage;
		LogCapture capture;
		bool ok = probe.load(to_array(words));
		EXPECT_TRUE(ok) << stage << ": " << capture.errors;
		return ok;
	}
	static std::map<std::string, std::vector<uint32_t>> modules;
};

std::map<std::string, std::vector<uint32_t>> Vertices::modules;

TEST_F(Vertices, VariablesOfEachStage) {
	// per variable: patch vertex array, vertex built-in array, control point
	// output, patch variable, built-in variable
	struct Case {
		const char *stage;
		const char *variable;
		bool patch_vertices, builtin_vertices, control_point, patch, builtin;
	};
	const Case cases[] = {
		{"tesc", "pos_in", false, true, false, false, true},
		{"tesc", "pos_out", false, true, true, false, true},
		{"tesc", "clip_in", false, true, false, false, true},
		{"tesc", "inv", false, false, false, false, true},
		{"tesc", "data_in", true, false, false, false, false},
		{"tesc", "data_out", false, false, true, false, false},
		{"tesc", "patch_out", false, false, false, true, false},
		// a block of patch members is patch as a whole
		{"tesc", "blk_out", false, false, false, true, false},
		{"tese", "vin", true, false, false, false, false},
		{"tese", "pin", false, false, false, true, false},
		// the built-ins of a block are no arrays of their own
		{"tese", "gl_in", false, false, false, false, true},
		{"tese", "vout", false, false, false, false, false},
		// a geometry shader's vertices are no patch's
		{"geom", "gin", false, false, false, false, false},
		{"geom", "gl_in", false, false, false, false, true},
	};
	std::map<std::string, VertexProbe> probes;
	for (const Case &c : cases) {
		VertexProbe &probe = probes[c.stage];
		if (probe.records.size() == 0 && !load(c.stage, probe)) continue;
		uint32_t id = probe.id(c.variable);
		ASSERT_NE(id, 0u) << c.stage << " " << c.variable;
		SCOPED_TRACE(std::string(c.stage) + " " + c.variable);
		EXPECT_EQ(probe.is_patch_vertex_array(id), c.patch_vertices);
		EXPECT_EQ(probe.is_vertex_builtin_array(id), c.builtin_vertices);
		EXPECT_EQ(probe.is_control_point_output(id), c.control_point);
		EXPECT_EQ(probe.is_patch_variable(id), c.patch);
		EXPECT_EQ(probe.is_builtin_variable(id), c.builtin);
	}
	// gl_in's type is a block's array; a patch vertex array's is none
	VertexProbe &tese = probes["tese"];
	EXPECT_TRUE(tese.is_block_type(tese.get_target_type(tese.id("gl_in"))[1]));
	EXPECT_FALSE(tese.is_block_type(tese.get_target_type(tese.id("vin"))[1]));
}

TEST_F(Vertices, PointersAndIndices) {
	VertexProbe probe;
	if (!load("tesc", probe)) return;
	auto id = [&](const char *name) { return probe.id(name); };
	// copies and chains without indices stand for what they copy
	EXPECT_EQ(probe.get_pointer_base(id("base")), id("pos_out"));
	EXPECT_EQ(probe.get_pointer_base(id("whole")), id("pos_out"));
	EXPECT_EQ(probe.get_pointer_base(id("pos_el")), id("pos_el"));
	// the chain that takes the vertex, through the copies before it
	EXPECT_EQ(probe.get_first_chain(id("pos_el")), id("pos_el"));
	EXPECT_EQ(probe.get_first_chain(id("own")), id("own"));
	EXPECT_EQ(probe.get_first_chain(id("whole")), 0u);
	EXPECT_EQ(probe.get_first_chain(id("patch_out")), 0u);
	// the loaded invocation id, as it is and through a copy and a bit cast
	EXPECT_TRUE(probe.is_invocation_index(id("id")));
	EXPECT_TRUE(probe.is_invocation_index(id("idc")));
	EXPECT_TRUE(probe.is_invocation_index(id("idb")));
	EXPECT_FALSE(probe.is_invocation_index(id("inv")));
	EXPECT_FALSE(probe.is_invocation_index(0));
	EXPECT_FALSE(probe.is_invocation_index(0xffffffffu));
}

TEST_F(Vertices, ForeignWrites) {
	// each store of the module in order, and the output it writes at
	// another invocation's vertex
	VertexProbe probe;
	if (!load("tesc", probe)) return;
	std::vector<std::string> expected = {"", "data_out", "pos_out", "", ""};
	std::vector<std::string> found;
	for (ShaderSpirv::Iterator it = probe.get_iterator(5); !it.is_end() && it.get_size(); it = it.advance(it.get_size())) {
		if (it.get_opcode() != Spirv::OpStore) {
			EXPECT_EQ(probe.get_foreign_vertex_write(it), 0u);
			continue;
		}
		uint32_t variable = probe.get_foreign_vertex_write(it);
		found.push_back(variable ? probe.records[variable].name.get() : "");
	}
	EXPECT_EQ(found, expected);
	// no stage but a control shader has control points
	for (const char *stage : {"tese", "geom"}) {
		VertexProbe other;
		if (!load(stage, other)) continue;
		for (ShaderSpirv::Iterator it = other.get_iterator(5); !it.is_end() && it.get_size(); it = it.advance(it.get_size())) {
			EXPECT_EQ(other.get_foreign_vertex_write(it), 0u) << stage;
		}
	}
}

} // namespace
