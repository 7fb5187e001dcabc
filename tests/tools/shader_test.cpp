// The command line of `shader`: usage text, the argument walk, stage words,
// offsets and the command-line errors, checked on the real program.
#include "tools/run_program.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

const std::string Program = VEXA_SHADER_PROGRAM;

std::string usage_tail() {
	return read_file(std::string(VEXA_TEST_DATA) + "/tools/usage.txt");
}

// "E: " and a time stamp in one of its forms, then the text, as a whole line
std::regex error_line(const std::string &text) {
	return std::regex("(^|\n)E: [ 0-9:.]+ (us|ms|s): " + text + "\n");
}

bool has_error(const std::string &err, const std::string &text) {
	return std::regex_search(err, error_line(text));
}

} // namespace

TEST(ShaderProgram, UsageText) {
	for (auto args : {std::vector<std::string>{}, std::vector<std::string>{"-h"}}) {
		ProgramResult r = run_program(args);
		EXPECT_EQ(r.status, 0);
		EXPECT_EQ(r.err, "");
		std::regex first("Vexa Shader Compiler \\(build [A-Z][a-z]{2} [ 0-9]{2} [0-9]{4} [^)]+\\)\nUsage: " + Program + " -v shader.glsl\n");
		size_t split = r.out.find("\n", r.out.find("Usage:")) + 1;
		EXPECT_TRUE(std::regex_match(r.out.substr(0, split), first)) << r.out;
		EXPECT_EQ(r.out.substr(split), usage_tail());
	}
}

TEST(ShaderProgram, CommandLineErrors) {
	struct Case {
		std::vector<std::string> args;
		std::string message;
	};
	const Case cases[] = {
		{{"a.frag"}, Program + ": shader type is not specified"},
		{{"--h"}, Program + ": shader is not created"},
		{{"-f", "--hlsl", "out.hlsl", "a.frag"}, Program + ": shader is not created"},
		{{"-bogus"}, Program + ": shader is not created"},
		{{"-v", "-d"}, Program + ": shader is not created"},
		{{"-f", "/nonexistent/a.frag"}, Program + ": can't open \"/nonexistent/a.frag\" file\nNo such file or directory"},
		{{"-sampler", "x"}, Program + ": invalid command line option \"x\""},
		{{"-sampler", "40000"}, Program + ": invalid command line option \"40000\""},
		{{"-texel", "4x"}, Program + ": invalid command line option \"4x\""},
	};
	for (const Case &c : cases) {
		ProgramResult r = run_program(c.args);
		EXPECT_EQ(r.status, 1) << c.message;
		EXPECT_EQ(r.out, "");
		EXPECT_TRUE(has_error(r.err, (c.message))) << r.err;
	}
}

TEST(ShaderProgram, OptionsThatNeedNoShader) {
	const std::vector<std::string> accepted[] = {
		{"-v"},
		{"---fragment", "--rcall", "-intersection"},
		{"-DFOO=1", "-UFOO"},
		{"-no-warn", "-nw"},
		{"-sampler", "4", "-texture", "-3", "-surface", "+2", "-uniform", "32767", "-storage", "-32768", "-tracing", "0", "-texel", "7"},
	};
	for (const auto &args : accepted) {
		ProgramResult r = run_program(args);
		EXPECT_EQ(r.status, 0) << r.err;
		EXPECT_EQ(r.out, "");
		EXPECT_EQ(r.err, "");
	}
}

TEST(ShaderProgram, FirstFailureEndsTheWalk) {
	ProgramResult r = run_program({"a.frag", "b.frag"});
	EXPECT_EQ(r.status, 1);
	EXPECT_TRUE(has_error(r.err, (Program + ": shader type is not specified"))) << r.err;
}
