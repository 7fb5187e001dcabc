// The interfaces of the graphics stages: gl_PerVertex blocks redeclared in and
// out (with clip and cull distances), per-vertex arrays of the tessellation
// and geometry stages, patch variables, input and output blocks that share a
// name, invariant outputs. Each shader compiles into a module spirv-val
// accepts, with the decorations and capabilities the disassembly shows.
#include "compiler_fixtures.h"
#include "shader/spirv_fixtures.h"

#include <gtest/gtest.h>

namespace {

using compiler_test::Compiled;
using compiler_test::compile;

std::string disassemble(const std::vector<uint32_t> &words) {
	std::string path = spirv_test::temp_path("interface.spv");
	spirv_test::write_words(path, words);
	std::string text;
	FILE *pipe = popen(("spirv-dis --raw-id " + path + " 2>&1").c_str(), "r");
	if (pipe != nullptr) {
		char buffer[4096];
		size_t size;
		while ((size = fread(buffer, 1, sizeof(buffer), pipe)) > 0) text.append(buffer, size);
		pclose(pipe);
	}
	std::remove(path.c_str());
	return text;
}

struct Case {
	const char *name;
	uint32_t stage; // 1 vertex, 2 control, 3 evaluation, 4 geometry, 5 fragment
	const char *source;
	std::vector<const char *> expected; // texts the disassembly holds
};

const Case cases[] = {
	{"vertex block redeclared, invariant, clip and cull distances", 1,
		"#version 450\n"
		"out gl_PerVertex { vec4 gl_Position; float gl_PointSize; float gl_ClipDistance[2]; float gl_CullDistance[1]; };\n"
		"invariant gl_Position, gl_PointSize;\n"
		"layout(location = 0) smooth out vec2 uv;\n"
		"void main() { gl_Position = vec4(1.0); gl_PointSize = 2.0; gl_ClipDistance[1] = 0.5; gl_CullDistance[0] = 1.0; uv = vec2(0.0); }\n",
		{"OpCapability ClipDistance", "OpCapability CullDistance", "OpMemberDecorate %", " 0 Invariant", " 2 BuiltIn ClipDistance",
			" 3 BuiltIn CullDistance"}},
	{"control: gl_in and gl_out redeclared, arrays per vertex, patch outputs", 2,
		"#version 450\n"
		"layout(vertices = 3) out;\n"
		"in gl_PerVertex { vec4 gl_Position; float gl_ClipDistance[2]; } gl_in[gl_MaxPatchVertices];\n"
		"out gl_PerVertex { vec4 gl_Position; float gl_ClipDistance[2]; } gl_out[];\n"
		"layout(location = 0) in vec3 normal[];\n"
		"layout(location = 0) out vec3 normals[];\n"
		"layout(location = 1) patch out vec4 factors;\n"
		"void main() {\n"
		"  gl_out[gl_InvocationID].gl_Position = gl_in[gl_InvocationID].gl_Position;\n"
		"  gl_out[gl_InvocationID].gl_ClipDistance[1] = gl_in[gl_InvocationID].gl_ClipDistance[0];\n"
		"  normals[gl_InvocationID] = normal[gl_InvocationID];\n"
		"  factors = vec4(1.0);\n"
		"  gl_TessLevelOuter[0] = 1.0; gl_TessLevelInner[1] = 2.0;\n"
		"}\n",
		{"OpDecorate %", " Patch", "BuiltIn TessLevelOuter", "BuiltIn TessLevelInner", "BuiltIn InvocationId"}},
	{"control: the built-in blocks declared at their first use", 2,
		"#version 450\n"
		"layout(vertices = 4) out;\n"
		"void main() { gl_out[gl_InvocationID].gl_Position = gl_in[gl_InvocationID].gl_Position * float(gl_PatchVerticesIn + gl_PrimitiveID); }\n",
		{"BuiltIn PatchVertices", "BuiltIn PrimitiveId"}},
	{"evaluation: gl_in redeclared, gl_TessCoord, patch inputs", 3,
		"#version 450\n"
		"layout(triangles, equal_spacing, ccw) in;\n"
		"in gl_PerVertex { vec4 gl_Position; } gl_in[];\n"
		"out gl_PerVertex { vec4 gl_Position; };\n"
		"layout(location = 1) patch in vec4 factors;\n"
		"void main() { gl_Position = (gl_in[0].gl_Position * gl_TessCoord.x + gl_in[1].gl_Position * gl_TessCoord.y + gl_in[2].gl_Position * gl_TessCoord.z) * factors * gl_TessLevelOuter[0]; }\n",
		{"BuiltIn TessCoord", "BuiltIn TessLevelOuter"}},
	{"geometry: gl_in sized by the input primitive, blocks of one name in and out", 4,
		"#version 450\n"
		"layout(lines_adjacency) in;\n"
		"layout(line_strip, max_vertices = 4) out;\n"
		"in gl_PerVertex { vec4 gl_Position; } gl_in[];\n"
		"out gl_PerVertex { vec4 gl_Position; };\n"
		"layout(location = 0) in Vertex { vec3 normal; } vertices[];\n"
		"layout(location = 0) out Vertex { vec3 normal; } vertex;\n"
		"void main() { gl_Position = gl_in[3].gl_Position; vertex.normal = vertices[3].normal; gl_PrimitiveID = gl_PrimitiveIDIn + gl_InvocationID; }\n",
		{"OpCapability Geometry", "InputLinesAdjacency", "BuiltIn PrimitiveId"}},
	{"fragment: depth, sample and flat built-ins", 5,
		"#version 450\n"
		"layout(location = 0) flat in int index;\n"
		"layout(location = 0) out vec4 color;\n"
		"void main() {\n"
		"  gl_FragDepth = gl_FragCoord.z;\n"
		"  gl_SampleMask[0] = gl_SampleMaskIn[0];\n"
		"  color = vec4(gl_SamplePosition, float(gl_SampleID + index), gl_FrontFacing ? 1.0 : 0.0) + vec4(gl_PointCoord, 0.0, 0.0);\n"
		"}\n",
		{"DepthReplacing", "OpCapability SampleRateShading", "BuiltIn SampleMask", "BuiltIn FragDepth", "BuiltIn FrontFacing"}},
};

} // namespace

TEST(CompilerInterface, GraphicsStagesValidate) {
	if (!spirv_test::have_tool("spirv-val") || !spirv_test::have_tool("spirv-dis")) GTEST_SKIP() << "spirv-val or spirv-dis is not installed";
	for (const Case &c : cases) {
		Compiled compiled = compile(c.stage, c.source);
		ASSERT_TRUE(compiled.ok) << c.name << "\n" << compiled.log;
		EXPECT_EQ(spirv_test::spirv_val(compiled.words, "vulkan1.0"), "") << c.name;
		std::string text = disassemble(compiled.words);
		for (const char *expected : c.expected) EXPECT_NE(text.find(expected), std::string::npos) << c.name << ": no " << expected << "\n" << text;
	}
}

TEST(CompilerInterface, Refusals) {
	struct Refusal {
		uint32_t stage;
		const char *source;
		const char *message;
	} cases[] = {
		{1, "#version 450\nlayout(location = 0) in vec4 p;\ninvariant p;\nvoid main() {}\n", "invariant qualifier of \"p\" is valid only for outputs"},
		{1, "#version 450\ninvariant q;\nvoid main() {}\n", "unknown variable \"q\""},
		{5, "#version 450\nlayout(location = 0) in int i;\nlayout(location = 0) out vec4 o;\nvoid main() { o = vec4(i); }\n", "\"i\" fragment input must be flat"},
		{5, "#version 450\nlayout(binding = 0) uniform sampler1DArray s;\nvoid main() {}\n", "\"sampler1DArray\" one-dimensional images are not supported"},
		{5, "#version 450\nlayout(pixel_center_integer) in vec4 gl_FragCoord;\nvoid main() {}\n", "pixel_center_integer qualifier is not valid for Vulkan"},
		// redeclared built-in blocks hold built-ins of their own types, in stages that have them
		{1, "#version 450\nout gl_PerVertex { vec4 gl_Position; int extra; };\nvoid main() {}\n", "\"gl_PerVertex\" block mixes built-in and other members"},
		{1, "#version 450\nout gl_PerVertex { vec4 gl_Position; vec4 gl_ClipDistance; };\nvoid main() {}\n", "\"gl_ClipDistance\" built-in has another type"},
		{1, "#version 450\nout gl_PerVertex { float gl_ClipDistance[9]; };\nvoid main() {}\n", "\"gl_ClipDistance\" built-in has another type"},
		{5, "#version 450\nin gl_PerVertex { vec4 gl_Position; };\nvoid main() {}\n", "\"gl_Position\" built-in is not valid in this stage"},
		{1, "#version 450\nlayout(location = 3) out gl_PerVertex { vec4 gl_Position; };\nvoid main() {}\n", "\"gl_PerVertex\" built-in block can't have a location"},
		// values per vertex are arrays of the stage's vertex count
		{2, "#version 450\nlayout(vertices = 4) out;\nout gl_PerVertex { vec4 gl_Position; };\nvoid main() {}\n", "\"gl_PerVertex\" must be an array in this stage"},
		{2, "#version 450\nlayout(vertices = 4) out;\nout gl_PerVertex { vec4 gl_Position; } gl_out[3];\nvoid main() {}\n", "\"gl_out\" array size 3 is not 4, the vertex count of this stage"},
		{4, "#version 450\nlayout(triangles) in;\nlayout(points, max_vertices = 1) out;\nlayout(location = 0) in vec3 normals[2];\nvoid main() {}\n", "\"normals\" array size 2 is not 3, the vertex count of this stage"},
		{3, "#version 450\nlayout(triangles) in;\nlayout(location = 0) in vec3 normal;\nvoid main() {}\n", "\"normal\" must be an array in this stage"},
		// clip distances that are not declared take their size from constant indices alone
		{1, "#version 450\nvoid main() { for (int i = 0; i < 2; i++) gl_ClipDistance[i] = 1.0; }\n",
			"\"gl_ClipDistance\" is indexed by a variable: its size must be declared"},
		{1, "#version 450\nvoid main() { float a[2] = gl_CullDistance; }\n", "\"gl_CullDistance\" is used as a whole: its size must be declared"},
		{1, "#version 450\nvoid main() { gl_ClipDistance[8] = 1.0; }\n", "index 8 of \"gl_ClipDistance\" is out of bounds"},
		// no output vertex count: gl_out has no size
		{2, "#version 450\nvoid main() { gl_out[gl_InvocationID].gl_Position = vec4(0.0); }\n", "unexpected \"gl_out\""},
	};
	for (const Refusal &c : cases) {
		Compiled compiled = compile(c.stage, c.source);
		EXPECT_FALSE(compiled.ok) << c.source;
		EXPECT_NE(compiled.log.find(std::string("Compiler::compileGLSL(): ") + c.message), std::string::npos) << c.source << "\n" << compiled.log;
	}
}
