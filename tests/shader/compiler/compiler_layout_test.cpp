// Member layout of blocks, judged by the reference compiler: the offsets,
// matrix strides, majorities and array strides of the same blocks must be
// the ones it gives, and a layout that can't be carried is an error, never a
// different layout.
#include "shader/compiler/Compiler.h"

#include "compiler_fixtures.h"
#include "log_capture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>

using namespace Vexa;

namespace {

std::string run(const std::string &command) {
	std::string ret;
	FILE *pipe = popen(command.c_str(), "r");
	if (pipe == nullptr) return ret;
	char buffer[4096];
	size_t size;
	while ((size = fread(buffer, 1, sizeof(buffer), pipe)) > 0) ret.append(buffer, size);
	pclose(pipe);
	return ret;
}

// the layout decorations of a module, as disassembled lines
std::set<std::string> layout_lines(const std::string &path) {
	std::set<std::string> ret;
	std::istringstream text(run("spirv-dis " + path + " 2>&1"));
	std::string line;
	while (std::getline(text, line)) {
		if (line.find("Offset") == std::string::npos && line.find("MatrixStride") == std::string::npos &&
			line.find("ArrayStride") == std::string::npos && line.find("RowMajor") == std::string::npos &&
			line.find("ColMajor") == std::string::npos) {
			continue;
		}
		size_t first = line.find_first_not_of(' ');
		// a second array type of one element and length (one per layout)
		// is told apart by the disassembler with a number after its name
		static const std::regex numbered("(%_arr_\\w+?_uint_\\d+)_\\d+\\b");
		ret.insert(std::regex_replace(line.substr(first), numbered, "$1"));
	}
	return ret;
}

std::string join(const std::set<std::string> &lines) {
	std::string ret;
	for (const std::string &line : lines) ret += line + "\n";
	return ret;
}

const std::string header = "#version 450\nlayout(local_size_x = 1) in;\n";

} // namespace

TEST(CompilerLayout, BlocksLieAsTheReferenceLaysThemOut) {
	if (!compiler_test::have_tool("glslangValidator") || !compiler_test::have_tool("spirv-dis")) GTEST_SKIP() << "no reference compiler";
	const char *const cases[] = {
		// std140: vec3 after a float, matrices, arrays of vec4 and of structures
		"struct Light { vec3 dir; float power; mat3 rot; };\n"
		"layout(std140, binding = 0) uniform U { float a; vec3 b; float c; mat4 m; vec4 v[2]; Light lights[3]; ivec4 i[2]; } u;\n",
		// std430: small structures, mat2 columns of 8 bytes, a runtime array last
		"struct S { float a; vec2 b; };\nstruct T { vec3 c; S s; float d[2]; };\n"
		"layout(std430, binding = 0) buffer B { S items[4]; T t; mat2 m; float tail[]; } b;\n",
		// std140 mat2 columns of 16 bytes; a vec3 followed by a float fills its hole
		"layout(binding = 1) uniform V { mat2 m; vec3 v; float f; dmat3 d; } v;\n",
		// majorities: the block's, and a member's own
		"layout(row_major, binding = 0) uniform M { mat4 a; layout(column_major) mat4 b; mat2x3 c; } m;\n",
		// explicit offsets, and what follows them
		"layout(binding = 0) uniform O { layout(offset = 32) vec4 a; float b; layout(offset = 64) vec2 c; } o;\n",
		// std140 arrays of scalars, vectors and small matrices take 16 bytes an element
		"layout(std140, binding = 0) uniform A { float f[4]; vec2 o[3]; mat2 m[2]; ivec3 tail; } a;\n",
		// push constants are std430
		"layout(push_constant) uniform P { vec2 scale; float f[3]; uint flags; } p;\n",
		// 16- and 64-bit members
		"#extension GL_EXT_shader_explicit_arithmetic_types : enable\n"
		"layout(std430, binding = 2) buffer W { float16_t h; f16vec3 hv; double d; i64vec2 l; } w;\n",
		// arrays of blocks, samplers and images are arrays of descriptors, and
		// the arrays of shared variables lie in no laid-out memory: no strides
		"layout(std430, binding = 0) buffer S { float v[4]; vec4 w[]; } s[2];\nlayout(binding = 2) uniform U { vec4 x[2]; } u[3];\n"
		"layout(binding = 5) uniform sampler2D textures[2];\nlayout(binding = 7, r32f) uniform image2D images[2];\nshared float scratch[5];\n"
		"void use() { scratch[1] = s[1].v[2] + u[2].x[1].x + textureLod(textures[1], vec2(0.0), 0.0).x + imageLoad(images[1], ivec2(0)).x; }\n",
	};
	int index = 0;
	for (const char *body : cases) {
		std::string source = header + body + "void main() {}\n";
		std::string base = "/tmp/vexa_layout_" + std::to_string(getpid()) + "_" + std::to_string(index++);
		{
			std::ofstream file(base + ".comp");
			file << source;
		}
		LogCapture log;
		Compiler compiler;
		uint32_t offset = 0;
		ASSERT_TRUE(compiler.compileGLSL(6, source.c_str(), nullptr, &offset, Compiler::DefaultFlags)) << source << log.text();
		{
			std::ofstream file(base + ".spv", std::ios::binary);
			file.write(reinterpret_cast<const char *>(compiler.words.get()), (std::streamsize)(compiler.words.size() * 4));
		}
		run("glslangValidator -V " + base + ".comp -o " + base + ".ref.spv 2>&1");
		std::set<std::string> ours = layout_lines(base + ".spv");
		std::set<std::string> reference = layout_lines(base + ".ref.spv");
		EXPECT_FALSE(reference.empty()) << source;
		EXPECT_EQ(join(ours), join(reference)) << source;
		EXPECT_EQ(run("spirv-val --target-env vulkan1.0 " + base + ".spv 2>&1"), "") << source;
		std::remove((base + ".comp").c_str());
		std::remove((base + ".spv").c_str());
		std::remove((base + ".ref.spv").c_str());
	}
}

// A structure type is shared by every block that holds it, so one whose own
// offsets are not the std140 ones is refused in a std140 block, by name.
TEST(CompilerLayout, LayoutsTheTypesCannotCarryAreErrors) {
	struct Row {
		const char *body;
		const char *message;
	} rows[] = {
		{"struct S { float a; float b[2]; };\nlayout(binding = 0) uniform U { S s; } u;\n", "can't lay out \"S\" structure by std140 rules\n"},
		{"layout(binding = 0) uniform U { vec4 a; layout(offset = 4) float b; } u;\n", "invalid offset 4 of \"b\" member\n"},
		{"layout(std430, binding = 0) buffer B { float a[]; float b; } b;\n", "\"a\" runtime array must be the last member\n"},
	};
	for (const Row &row : rows) {
		std::string source = header + row.body + "void main() {}\n";
		LogCapture log;
		Compiler compiler;
		uint32_t offset = 0;
		EXPECT_FALSE(compiler.compileGLSL(6, source.c_str(), nullptr, &offset, Compiler::DefaultFlags)) << source;
		EXPECT_NE(log.text().find(std::string("Compiler::compileGLSL(): ") + row.message), std::string::npos) << source << log.text();
	}
}
