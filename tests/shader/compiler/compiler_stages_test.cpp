// Every stage of the command line compiles a shader whose functions have
// empty bodies, with the stage-wide layouts and a few interface variables and
// blocks, into a module that spirv-val accepts for the environment of the
// module's own version. Its capabilities, extensions and execution modes
// match those of the reference compiler's module of the same source and
// version, except for the differences that each row states with a reason.
#include "shader/spirv_fixtures.h"
#include "tools/run_program.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

namespace {

using spirv_test::have_tool;
using spirv_test::temp_path;

// a line that only our module has ("+") or only the reference's ("-")
struct Difference {
	const char *line;
	const char *reason;
};

const Difference ImpliedShader = {"+OpCapability Shader", "implied by the stage's capability, which the reference declares alone"};

struct Stage {
	const char *option;    // the program's stage option
	const char *reference; // the reference compiler's stage name
	const char *source;
	std::vector<Difference> differences;
};

#define RAY "#version 460\n#extension GL_EXT_ray_tracing : require\n"
#define MESH "#version 460\n#extension GL_EXT_mesh_shader : require\n"

const Stage stages[] = {
	{"v", "vert",
		"#version 450\n"
		"layout(location = 0) in vec4 position;\n"
		"layout(location = 1) in vec2 texcoord;\n"
		"layout(location = 0) out vec2 uv;\n"
		"layout(binding = 0) uniform Transform { mat4 matrix; } transform;\n"
		"void helper() {}\n"
		"void main() {}\n",
		{}},
	{"tc", "tesc",
		"#version 450\n"
		"layout(vertices = 3) out;\n"
		"layout(location = 0) in vec3 normal[gl_MaxPatchVertices];\n"
		"layout(location = 0) out vec3 normals[3];\n"
		"layout(location = 1) patch out vec4 factors;\n"
		"void main() {}\n",
		{ImpliedShader}},
	{"te", "tese",
		"#version 450\n"
		"layout(triangles, equal_spacing, ccw) in;\n"
		"layout(location = 0) in vec3 normal[gl_MaxPatchVertices];\n"
		"layout(location = 0) out vec3 color;\n"
		"layout(binding = 0) uniform Displace { float scale; } displace;\n"
		"void main() {}\n",
		{ImpliedShader}},
	// without a spacing or an order the evaluation shader takes the defaults
	{"te", "tese", "#version 450\nlayout(quads) in;\nvoid main() {}\n", {ImpliedShader}},
	{"te", "tese", "#version 450\nlayout(isolines, point_mode) in;\nvoid main() {}\n", {ImpliedShader}},
	{"g", "geom",
		"#version 450\n"
		"layout(triangles) in;\n"
		"layout(triangle_strip, max_vertices = 3) out;\n"
		"layout(location = 0) in vec3 normal[3];\n"
		"layout(location = 0) out vec3 color;\n"
		"void helper() {}\n"
		"void main() {}\n",
		{ImpliedShader}},
	{"g", "geom",
		"#version 450\n"
		"layout(points, invocations = 2) in;\n"
		"layout(line_strip, max_vertices = 2) out;\n"
		"void main() {}\n",
		{ImpliedShader}},
	{"f", "frag",
		"#version 450\n"
		"layout(early_fragment_tests) in;\n"
		"layout(location = 0) in vec2 uv;\n"
		"layout(location = 0) out vec4 color;\n"
		"layout(binding = 1) uniform Material { vec4 tint; } material;\n"
		"void main() {}\n",
		{}},
	{"f", "frag",
		"#version 450\n"
		"layout(depth_greater) out float gl_FragDepth;\n"
		"layout(location = 0) flat in int index;\n"
		"layout(binding = 2, std430) readonly buffer Colors { vec4 colors[]; };\n"
		"void main() {}\n",
		{{"+OpExecutionMode DepthReplacing", "declared for the redeclared gl_FragDepth, valid without a write; the reference waits for one"}}},
	{"c", "comp",
		"#version 450\n"
		"layout(local_size_x = 8, local_size_y = 4) in;\n"
		"layout(binding = 0) uniform Parameters { uvec4 size; } parameters;\n"
		"void helper() {}\n"
		"void main() {}\n",
		{}},
	{"t", "task",
		MESH
		"layout(local_size_x = 8, local_size_y = 4) in;\n"
		"struct Task { uint count; };\n"
		"taskPayloadSharedEXT Task task;\n"
		"void helper() {}\n"
		"void main() {}\n",
		{ImpliedShader}},
	{"m", "mesh",
		MESH
		"layout(local_size_x = 32) in;\n"
		"layout(triangles, max_vertices = 3, max_primitives = 1) out;\n"
		"layout(location = 0) out vec3 color[3];\n"
		"void main() {}\n",
		{ImpliedShader}},
	{"m", "mesh",
		MESH
		"layout(local_size_x = 4, local_size_y = 2, local_size_z = 2) in;\n"
		"layout(points, max_vertices = 1, max_primitives = 1) out;\n"
		"void main() {}\n",
		{ImpliedShader}},
	{"rg", "rgen",
		RAY
		"layout(binding = 0) uniform accelerationStructureEXT scene;\n"
		"layout(binding = 1) uniform Camera { mat4 view; } camera;\n"
		"layout(location = 0) rayPayloadEXT vec4 payload;\n"
		"void helper() {}\n"
		"void main() {}\n",
		{ImpliedShader}},
	{"rm", "rmiss", RAY "layout(location = 0) rayPayloadInEXT vec4 payload;\nvoid main() {}\n", {ImpliedShader}},
	{"rc", "rchit",
		RAY
		"layout(location = 0) rayPayloadInEXT vec4 payload;\n"
		"hitAttributeEXT vec2 attributes;\n"
		"void helper() {}\n"
		"void main() {}\n",
		{ImpliedShader}},
	{"rf", "rahit",
		RAY
		"layout(location = 0) rayPayloadInEXT vec4 payload;\n"
		"hitAttributeEXT vec2 attributes;\n"
		"void main() {}\n",
		{ImpliedShader}},
	{"ri", "rint", RAY "hitAttributeEXT vec2 attributes;\nvoid helper() {}\nvoid main() {}\n", {ImpliedShader}},
	{"rcall", "rcall",
		RAY
		"layout(location = 1) callableDataInEXT vec4 incoming;\n"
		"layout(location = 0) callableDataEXT vec4 outgoing;\n"
		"void main() {}\n",
		{ImpliedShader}},
	// Known fault: an unsized per-vertex array is declared as a runtime
	// array instead of taking its size from the stage (the patch size, the
	// input primitive, max_vertices), which Vulkan forbids for a variable.
	{"tc", "tesc",
		"#version 450\n"
		"layout(vertices = 3) out;\n"
		"layout(location = 0) in vec3 normal[];\n"
		"layout(location = 0) out vec3 normals[];\n"
		"void main() {}\n",
		{ImpliedShader}},
	{"g", "geom",
		"#version 450\n"
		"layout(lines) in;\n"
		"layout(points, max_vertices = 1) out;\n"
		"layout(location = 0) in vec3 normal[];\n"
		"void main() {}\n",
		{ImpliedShader}},
	{"m", "mesh",
		MESH
		"layout(local_size_x = 1) in;\n"
		"layout(lines, max_vertices = 2, max_primitives = 1) out;\n"
		"layout(location = 0) out vec3 color[];\n"
		"void main() {}\n",
		{ImpliedShader}},
};

#undef RAY
#undef MESH

// the capabilities, extensions and execution modes of a module (without the
// entry's id), and its version, one line each; empty when it can't be read
std::set<std::string> declarations(const std::string &path) {
	std::set<std::string> ret;
	std::vector<uint32_t> words = spirv_test::read_words(path);
	if (words.size() < 5) return ret;
	ret.insert("Version 1." + std::to_string((words[1] >> 8) & 0xffu));
	std::string text = temp_path("dis.txt");
	if (!spirv_test::run("spirv-dis --raw-id -o " + text + " " + path)) return ret;
	std::istringstream lines(spirv_test::read_text(text));
	std::remove(text.c_str());
	std::string line;
	while (std::getline(lines, line)) {
		std::istringstream tokens(line);
		std::string opcode;
		tokens >> opcode;
		if (opcode != "OpCapability" && opcode != "OpExtension" && opcode != "OpExecutionMode" && opcode != "OpExecutionModeId") continue;
		std::string entry;
		if (opcode != "OpCapability" && opcode != "OpExtension") tokens >> entry;
		std::string rest;
		std::getline(tokens, rest);
		ret.insert(opcode + rest);
	}
	return ret;
}

// spirv-val's environment for a module's version
std::string environment(uint32_t minor) {
	if (minor == 0) return "vulkan1.0";
	if (minor <= 3) return "vulkan1.1";
	if (minor == 4) return "vulkan1.1spv1.4";
	if (minor == 5) return "vulkan1.2";
	return "vulkan1.3";
}

TEST(CompilerStages, EmptyBodiesMatchReference) {
	for (const char *tool : {"glslangValidator", "spirv-val", "spirv-dis"}) {
		if (!have_tool(tool)) GTEST_SKIP() << tool << " is not installed";
	}
	// one set of files, written anew for each row
	std::string source = temp_path("stage.glsl");
	std::string ours = temp_path("ours.spv");
	std::string reference = temp_path("reference.spv");
	for (const Stage &stage : stages) {
		SCOPED_TRACE(std::string("-") + stage.option + "\n" + stage.source);
		std::ofstream(source) << stage.source;
		std::remove(ours.c_str());
		std::remove(reference.c_str());

		ProgramResult result = run_program({std::string("-") + stage.option, source, "-o", ours});
		std::vector<uint32_t> words = spirv_test::read_words(ours);
		EXPECT_EQ(result.status, 0) << result.err;
		if (result.status != 0 || words.size() < 5) continue;
		uint32_t minor = (words[1] >> 8) & 0xffu;
		std::string verdict = spirv_test::spirv_val(words, environment(minor));
		EXPECT_EQ(verdict, "");

		// the reference makes a module of the same version
		std::string errors;
		std::string command = std::string("glslangValidator -V -S ") + stage.reference + " --target-env spirv1." + std::to_string(minor) + " -o " + reference + " " + source;
		if (!spirv_test::run(command, &errors)) {
			ADD_FAILURE() << "the reference compiler fails: " << errors;
			continue;
		}

		std::set<std::string> mine = declarations(ours);
		std::set<std::string> theirs = declarations(reference);
		std::set<std::string> found;
		for (const std::string &line : mine) {
			if (!theirs.count(line)) found.insert("+" + line);
		}
		for (const std::string &line : theirs) {
			if (!mine.count(line)) found.insert("-" + line);
		}
		std::set<std::string> expected;
		std::string reasons;
		for (const Difference &difference : stage.differences) {
			expected.insert(difference.line);
			reasons += std::string(difference.line) + ": " + difference.reason + "\n";
		}
		EXPECT_EQ(found, expected) << "the stated differences:\n" << reasons;
	}
	std::remove(source.c_str());
	std::remove(ours.c_str());
	std::remove(reference.c_str());
}

} // namespace
