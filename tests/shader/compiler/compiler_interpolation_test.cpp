// The interpolation built-ins of fragment shaders take the interpolant's
// pointer: inputs, their elements and members, and swizzles of them (the
// whole vector is interpolated and the components taken after); anything
// else, and any other stage, is refused by name.
#include "shader/spirv_fixtures.h"
#include "tools/run_program.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using spirv_test::have_tool;
using spirv_test::temp_path;

const char *const inputs =
	"#version 450\n"
	"layout(location = 0) in vec4 c;\n"
	"layout(location = 1) in vec2 uv[2];\n"
	"layout(location = 3) in Block { vec3 n; } blk;\n"
	"layout(location = 0) out vec4 o;\n";

ProgramResult compile(const char *stage, const std::string &source, const std::string &module) {
	std::string path = temp_path(std::string("interpolation.") + (stage[1] == 'f' ? "frag" : "vert"));
	std::ofstream(path) << source;
	std::remove(module.c_str());
	ProgramResult ret = run_program({stage, path, "-o", module});
	std::remove(path.c_str());
	return ret;
}

} // namespace

TEST(CompilerInterpolation, InterpolantsByPointer) {
	if (!have_tool("spirv-val")) GTEST_SKIP() << "spirv-val is not installed";
	std::string module = temp_path("interpolation.spv");
	ProgramResult r = compile("-f", std::string(inputs) +
		"void main() {\n"
		"  o = interpolateAtCentroid(c) + interpolateAtSample(c, 1) + interpolateAtOffset(c, vec2(0.1));\n"
		"  o.xy += interpolateAtOffset(uv[1], vec2(0.0, 0.2)) + interpolateAtCentroid(c.zw);\n"
		"  o.xyz += interpolateAtSample(blk.n, gl_SampleID) + interpolateAtCentroid(c.y);\n"
		"}\n", module);
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(spirv_test::spirv_val(spirv_test::read_words(module), "vulkan1.0"), "");
	std::remove(module.c_str());
}

TEST(CompilerInterpolation, Refusals) {
	struct Case {
		const char *stage;
		const char *body;
		const char *message;
	} cases[] = {
		{"-f", "void main() { vec4 l = c; o = interpolateAtCentroid(l); }\n", "invalid interpolant of interpolateAtCentroid function"},
		{"-f", "void main() { o = interpolateAtCentroid(c * 2.0); }\n", "invalid interpolant of interpolateAtCentroid function"},
		{"-f", "void main() { o = interpolateAtSample(c, vec2(1.0)); }\n", "unknown external function interpolateAtSample with 2 arguments"},
		{"-f", "void main() { o = interpolateAtOffset(c, 1.0); }\n", "unknown external function interpolateAtOffset with 2 arguments"},
		{"-v", "void main() { gl_Position = interpolateAtCentroid(c); }\n", "interpolateAtCentroid function is not valid in this stage"},
	};
	std::string module = temp_path("interpolation.spv");
	for (const Case &c : cases) {
		std::string source = std::string(inputs) + c.body;
		if (c.stage[1] == 'v') source = "#version 450\nlayout(location = 0) in vec4 c;\n" + std::string(c.body);
		ProgramResult r = compile(c.stage, source, module);
		EXPECT_EQ(r.status, 1) << source;
		EXPECT_NE(r.err.find(std::string("Compiler::compileGLSL(): ") + c.message + "\n"), std::string::npos) << source << r.err;
	}
}
