// Calls of the shader's own functions as the compiler reports and lowers
// them: the warnings of converted arguments and of inline functions that
// stay calls, inline bodies copied into the caller, and references that
// never alias.
#include "compiler_fixtures.h"

#include "shader/ShaderSpirvNumbers.h"

#include <gtest/gtest.h>

using namespace compiler_test;
using Vexa::Compiler;

namespace {

const char *const header =
	"#version 450\n"
	"layout(local_size_x = 1) in;\n"
	"layout(std430, binding = 0) buffer Out { float f; uint u; vec4 v; };\n";

struct Result {
	bool ok = false;
	std::string log;
	std::vector<uint32_t> opcodes;
};

Result compile(const std::string &body) {
	Result ret;
	LogCapture capture;
	Compiler compiler;
	uint32_t offset = 0;
	std::string source = std::string(header) + body;
	ret.ok = compiler.compileGLSL(6, source.c_str(), nullptr, &offset, Compiler::DefaultFlags & ~uint32_t(Compiler::FlagUnused));
	ret.log = capture.text();
	// the instructions after the module's five header words
	if (ret.ok && compiler.words.size() > 5) {
		for (const Instruction &instruction : decode(compiler.words.get() + 5, compiler.words.size() - 5)) ret.opcodes.push_back(instruction.opcode);
	}
	return ret;
}

uint32_t count(const Result &result, uint32_t opcode) {
	uint32_t ret = 0;
	for (uint32_t op : result.opcodes) ret += op == opcode;
	return ret;
}

} // namespace

TEST(CompilerCalls, Warnings) {
	// a float argument converted for a uint parameter
	Result converted = compile("uint g(uint x) { return x + 1u; }\nvoid main() { float h = f; u = g(h); }\n");
	ASSERT_TRUE(converted.ok) << converted.log;
	EXPECT_NE(converted.log.find("Compiler::parse_shader_function(): g(u32;) function used with (f32;) arguments\n"), std::string::npos) << converted.log;
	// the same call with a uint argument says nothing
	Result exact = compile("uint g(uint x) { return x + 1u; }\nvoid main() { u = g(u); }\n");
	ASSERT_TRUE(exact.ok) << exact.log;
	EXPECT_EQ(exact.log.find("used with"), std::string::npos) << exact.log;
	// an inline function that writes memory stays a call, and says why
	Result stays = compile("inline float w(float x) { v.x = x; return x; }\nvoid main() { f = w(f); }\n");
	ASSERT_TRUE(stays.ok) << stays.log;
	EXPECT_NE(stays.log.find("can't inline w(f32;) function opcode"), std::string::npos) << stays.log;
	EXPECT_EQ(count(stays, Vexa::Spirv::OpFunctionCall), 1u);
}

TEST(CompilerCalls, InlineBodiesWithLocals) {
	Result inlined = compile(
		"inline float sq(float a) { return a * a; }\n"
		"inline float sq2(float a) { float t = a * 2.0; t += 1.0; return t * t; }\n"
		"void main() { f = sq(f) + sq2(f); }\n");
	ASSERT_TRUE(inlined.ok) << inlined.log;
	EXPECT_EQ(count(inlined, Vexa::Spirv::OpFunctionCall), 0u) << inlined.log;
}

// The overload GLSL chooses: an exact match before any conversion, float to
// double before any other conversion, int or uint to float before int or uint
// to double, whatever the order of declaration; a call that no overload wins
// in every argument is refused by name.
TEST(CompilerCalls, OverloadRanking) {
	struct {
		const char *functions;
		const char *call;
		const char *chosen; // the argument text of the g called, or the message
	} rows[] = {
		{"float g(double x) { return 1.0; } float g(float x) { return 2.0; }", "g(int(f))", "(f32;"},
		{"float g(double x) { return 1.0; } float g(float x) { return 2.0; }", "g(u)", "(f32;"},
		{"float g(double x) { return 1.0; } float g(float x) { return 2.0; }", "g(f)", "(f32;"},
		{"float g(double x) { return 1.0; } float g(int x) { return 2.0; }", "g(f)", "(f64;"},
		{"float g(double x) { return 1.0; } float g(uint x) { return 2.0; }", "g(f)", "(f64;"},
		{"float g(int x) { return 1.0; } float g(double x) { return 2.0; }", "g(u)", "(f64;"},
		{"float g(double a, double b) { return 1.0; } float g(float a, double b) { return 2.0; }", "g(f, 1.0)", "(f32;f64;"},
		{"float g(uint x) { return 1.0; } float g(double x) { return 2.0; }", "g(int(f))", "ambiguous call of g(i32;) function\n"},
		{"float g(uint x) { return 1.0; } float g(float x) { return 2.0; }", "g(1)", "ambiguous call of g(i32;) function\n"},
		{"float g(int a, float b) { return 1.0; } float g(float a, int b) { return 2.0; }", "g(1, 1)", "ambiguous call of g(i32;i32;) function\n"},
		{"float g(double a, float b) { return 1.0; } float g(float a, double b) { return 2.0; }", "g(1, 1)", "ambiguous call of g(i32;i32;) function\n"},
		{"float g(double a, double b) { return 1.0; } float g(float a, double b) { return 2.0; }", "g(1, 1.0)", "(f32;f64;"},
		{"float g(double a, int b) { return 1.0; } float g(float a, uint b) { return 2.0; }", "g(1.0, 1)", "ambiguous call of g(f32;i32;) function\n"},
		// built-ins keep their own overloads beside the shader's
		{"float max(float a, float b, float c) { return 1.0; }", "max(f, 2.0) + max(1, 2, 3)", ""},
	};
	for (const auto &row : rows) {
		SCOPED_TRACE(std::string(row.functions) + " " + row.call);
		LogCapture capture;
		Compiler compiler;
		uint32_t offset = 0;
		std::string source = std::string(header) + row.functions + "\nvoid main() { f = " + row.call + "; }\n";
		bool ok = compiler.compileGLSL(6, source.c_str(), nullptr, &offset, Compiler::DefaultFlags & ~uint32_t(Compiler::FlagUnused));
		std::string chosen;
		for (uint32_t i = 0; i < compiler.functions.size(); i++) {
			if (compiler.functions[i].name == "g" && compiler.functions[i].used) chosen += compiler.functions[i].arguments.get();
		}
		if (ok) {
			EXPECT_EQ(chosen, row.chosen);
		} else {
			EXPECT_NE(capture.text().find(row.chosen), std::string::npos) << capture.text();
			EXPECT_NE(std::string(row.chosen).find("ambiguous"), std::string::npos) << capture.text();
		}
	}
}
