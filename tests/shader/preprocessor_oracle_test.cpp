// The preprocessor against an independent one: for the part of the macro
// language that standard preprocessors share (#define, #undef, #if, #ifdef,
// #ifndef, #elif, #else, #endif, #line, defined, "##", function-like macros,
// __LINE__, __VERSION__, line continuations), the expanded text must hold the
// same tokens as glslangValidator -E makes of the same input. Spacing differs
// between the two, so texts are compared as token sequences, and the "#line"
// directives that glslangValidator keeps in its output are left out of it.
// Skipped where glslangValidator is missing.
#include "shader/Shader.h"
#include "shader/ShaderState.h"
#include "shader/compiler/Compiler.h"

#include "log_capture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace Vexa;

namespace {

bool has_oracle() {
	return std::system("glslangValidator --version >/dev/null 2>&1") == 0;
}

// names and numbers are one token each, every other visible character one
std::vector<std::string> tokens(const std::string &text) {
	std::vector<std::string> ret;
	auto is_word = [](char c) { return isalnum((unsigned char)c) || c == '_' || c == '.'; };
	for (size_t i = 0; i < text.size();) {
		char c = text[i];
		if (isspace((unsigned char)c)) {
			i++;
			continue;
		}
		size_t start = i++;
		if (is_word(c)) {
			while (i < text.size() && is_word(text[i])) i++;
		}
		ret.push_back(text.substr(start, i - start));
	}
	return ret;
}

std::string join(const std::vector<std::string> &list) {
	std::string ret;
	for (const std::string &s : list) ret += s + " ";
	return ret;
}

// glslangValidator -E of the text as a fragment shader
std::string oracle(const std::string &text) {
	std::string base = "/tmp/vexa_pp_oracle_" + std::to_string(getpid());
	std::ofstream(base + ".frag") << text;
	std::string command = "glslangValidator -E " + base + ".frag >" + base + ".out 2>&1";
	int status = std::system(command.c_str());
	std::ifstream file(base + ".out");
	std::stringstream ss;
	ss << file.rdbuf();
	std::remove((base + ".frag").c_str());
	std::remove((base + ".out").c_str());
	EXPECT_EQ(status, 0) << ss.str();
	std::string out;
	std::string line;
	while (std::getline(ss, line)) {
		if (line.compare(0, 5, "#line") != 0) out += line + "\n";
	}
	return out;
}

std::string ours(const std::string &text) {
	Shader::State state;
	state.set_macro("__LINE__", "0");
	String dst;
	LogCapture log;
	EXPECT_TRUE(Shader::preprocessor(text.c_str(), dst, state, true)) << log.text();
	return std::string(dst.get(), dst.size());
}

const char *const cases[] = {
	// object-like and function-like macros, nested invocations
	"#version 450\n"
	"#define ONE 1\n"
	"#define F(x) [x]\n"
	"#define ADD(a, b) ((a) + (b) * ONE)\n"
	"#define MAX(a, b) ((a) > (b) ? (a) : (b))\n"
	"int a = ADD(2, 3);\n"
	"int b = ADD(ADD(1, 2), ONE) + F(F(4));\n"
	"int c = MAX(MAX(1, 2), (3, 4));\n"
	"int d = F ( ( 1, 2 ) ) ;\n",

	// definitions with comments, continuations and spaces before '('
	"#version 450\n"
	"#define A 1 /* one */ + 2 // two\n"
	"#define B(x) x * \\\n"
	"   A\n"
	"#define G (x) + 1\n"
	"#define EMPTY\n"
	"#define E(a)\n"
	"int a = A, b = B(3), g = G, e = 1 EMPTY E(7) + 2;\n"
	"int h = B(/* arg */ 4);\n"
	"#define BARRIER() memoryBarrierShared(); barrier()\n"
	"#define NAMED image1D dest ## 1\n"
	"void f() { BARRIER(); BARRIER ( ); }\n"
	"uniform NAMED;\n",

	// undef and redefinition, self reference
	"#version 450\n"
	"#define X 1\n"
	"int a = X;\n"
	"#undef X\n"
	"int b = X;\n"
	"#define X 2\n"
	"int c = X;\n"
	"#define foo foo + 1\n"
	"#define P Q\n"
	"#define Q P\n"
	"int d = foo, e = P, f = Q;\n",

	// conditionals: nesting, elif, else, defined
	"#version 450\n"
	"#define V 3\n"
	"#if V > 2 && defined(V)\n"
	"int a;\n"
	"#elif V == 2\n"
	"int b;\n"
	"#else\n"
	"int c;\n"
	"#endif\n"
	"#ifdef V\n"
	"#ifndef W\n"
	"int d;\n"
	"#if 0\n"
	"int skipped;\n"
	"#elif !defined W || 0\n"
	"int e;\n"
	"#else\n"
	"int f;\n"
	"#endif\n"
	"#else\n"
	"int g;\n"
	"#endif\n"
	"#endif\n"
	"#if defined(W)\n"
	"int h;\n"
	"#elif 0\n"
	"int i;\n"
	"#else\n"
	"int j;\n"
	"#endif\n",

	// arithmetic over macros, and names left over are 0
	"#version 450\n"
	"#define LOW 1\n"
	"#define HIGH 2\n"
	"#define QUALITY HIGH\n"
	"#define SUM 1 + 2\n"
	"#define TWICE(x) ((x) * 2)\n"
	"#if QUALITY == HIGH\n"
	"int high;\n"
	"#endif\n"
	"#if (HIGH + 1) * 2 > 5 && 7 / 2 == 3 && 2 - 3 < 0 && SUM * 2 == 5\n"
	"int math;\n"
	"#endif\n"
	"#if TWICE(QUALITY) == 4 && UNDEFINED_NAME == 0 && !UNDEFINED_NAME\n"
	"int calls;\n"
	"#endif\n"
	"#if 0x10 == 16 && 10 >= 10 && 3 <= 2 || 1 != 1\n"
	"int never;\n"
	"#endif\n",

	// pasting and __LINE__
	"#version 450\n"
	"#define CAT(a, b) a ## b\n"
	"#define CAT3(a, b, c) a##b##c\n"
	"#define L __LINE__\n"
	"int CAT(x, 1) = CAT(y, z) + CAT3(p, q, r);\n"
	"int l1 = __LINE__;\n"
	"\n"
	"int l2 = L;\n"
	"int m = CAT(\n"
	"  u, v) + __LINE__;\n",

	// the operators of #if, line continuations, #line, the macros of
	// #version, and function-like names without arguments
	"#version 450\n"
	"#define FLAGS (1 << 3 | 1 << 1)\n"
	"#define F(x) [x]\n"
	"#if -1 < 0 && (FLAGS & 8) && (FLAGS ^ 2) == 8 && ~0 == -1 && (FLAGS >> 1) == 5 && 7 % 4 == 3 && !!1 && - -2 == +2\n"
	"int ops;\n"
	"#endif\n"
	"#if (6 & 3 ^ 1 | 8) == 11 && 1 + 2 << 1 == 6 && -8 >> 1 == -4\n"
	"int precedence;\n"
	"#endif\n"
	"#if __VERSION__ == 450 && GL_core_profile && !defined(GL_ES)\n"
	"int version = __VERSION__;\n"
	"#endif\n"
	"#define LONG(a, b) a + \\\n"
	"    b\n"
	"int lo\\\n"
	"ng = LONG(1, 2) + __LINE__;\n"
	"int F = F(F) + F;\n"
	"#line 40\n"
	"int l = __LINE__;\n",

	// octal and hexadecimal numbers in #if, #line with expressions, and
	// the precision macro of #version
	"#version 450\n"
	"#define L 5\n"
	"#define SRC 2\n"
	"#if 0777 == 511 && 010 == 8 && 010 != 10 && 00 == 0 && 0x1F == 31 && 0X1f == 31\n"
	"int octal = 0777;\n"
	"#endif\n"
	"#if 010 == 10\n"
	"int decimal;\n"
	"#endif\n"
	"#if GL_FRAGMENT_PRECISION_HIGH == 1\n"
	"int high = GL_FRAGMENT_PRECISION_HIGH;\n"
	"#endif\n"
	"#line (20)\n"
	"int a = __LINE__;\n"
	"#line L + 10 SRC\n"
	"int b = __LINE__ + __FILE__;\n"
	"#line 10+5 2*2\n"
	"int c = __LINE__, d = __FILE__;\n"
	"#line 010 (1) // octal\n"
	"int e = __LINE__, f = __FILE__;\n"
	"#line 10 -2\n"
	"int g = __LINE__;\n",
};

} // namespace

TEST(PreprocessorOracle, SameTokensAsGlslang) {
	if (!has_oracle()) GTEST_SKIP() << "glslangValidator is not installed";
	for (const char *text : cases) {
		std::vector<std::string> expected = tokens(oracle(text));
		std::vector<std::string> actual = tokens(ours(text));
		EXPECT_EQ(join(actual), join(expected)) << text;
	}
}

// Every extension macro that GLSL loads define is one the independent
// compiler defines as 1 too: a shader that tests for an extension takes the
// same branch with both.
TEST(PreprocessorOracle, ExtensionMacrosTheReferenceDefines) {
	if (!has_oracle()) GTEST_SKIP() << "glslangValidator is not installed";
	uint32_t count = 0;
	const char *const *names = Compiler::get_extension_names(&count);
	ASSERT_GT(count, 0u);
	std::string text = "#version 450\n";
	for (uint32_t i = 0; i < count; i++) {
		// the independent compiler takes this extension without its macro
		if (std::string(names[i]) == "GL_ARB_shader_viewport_layer_array") continue;
		text += std::string("#if !defined(") + names[i] + ") || " + names[i] + " != 1\nint missing_" + names[i] + ";\n#endif\n";
	}
	std::string expanded = oracle(text);
	EXPECT_EQ(expanded.find("missing_"), std::string::npos) << expanded;
}
