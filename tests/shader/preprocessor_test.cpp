// The preprocessor on whole texts: comments and blank lines, every directive,
// nested conditionals, macro expansion in the text, includes and imports from
// in-memory files and from the disk, the table from output offsets to files
// and lines, the message directives, definitions and pragmas that the State
// refuses, and hostile texts (include cycles and fan-outs, huge sources, deep
// nesting, macros that double their text or their work, arithmetic traps,
// CRLF lines) that must end in a logged error rather than a crash, a hang or
// a wrong text.
#include "shader/Shader.h"
#include "shader/ShaderState.h"

#include "core/Source.h"

#include "log_capture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace Vexa;
using State = Shader::State;

namespace {

struct Output {
	bool ok;
	std::string text;
};

// runs the preprocessor on a heap copy of the text, so that a read past its
// end is seen by the address sanitizer
Output preprocess(const std::string &src, State &state, bool expand = true) {
	std::vector<char> text(src.begin(), src.end());
	text.push_back(0);
	String dst;
	bool ok = Shader::preprocessor(text.data(), dst, state, expand);
	return Output{ok, std::string(dst.get(), dst.size())};
}

// a State as the GLSL loader makes it: __LINE__ is defined
State loader_state() {
	State state;
	state.set_macro("__LINE__", "0");
	return state;
}

struct Case {
	const char *name;
	const char *src;
	const char *out;   // the expected text, when ok
	bool ok;
	const char *log;   // a part of the log, "" for no check
};

void run_cases(const std::vector<Case> &cases) {
	for (const Case &c : cases) {
		State state = loader_state();
		LogCapture log;
		Output result = preprocess(c.src, state);
		EXPECT_EQ(result.ok, c.ok) << c.name << "\n" << log.text();
		if (c.ok) {
			EXPECT_EQ(result.text, c.out) << c.name;
		}
		if (*c.log) {
			EXPECT_TRUE(log.contains(c.log)) << c.name << ": no \"" << c.log << "\" in\n" << log.text();
		} else if (c.ok) {
			EXPECT_EQ(log.text(Log::Error), "") << c.name;
		}
	}
}

} // namespace

TEST(PreprocessorText, CommentsLinesAndLiterals) {
	run_cases({
		{"blank lines", "a\n\n\nb", "a\nb", true, ""},
		{"trailing spaces", "a  \t\nb", "a\nb", true, ""},
		{"block comment", "x = 1; /* c */ y = 2;", "x = 1;\ny = 2;", true, ""},
		{"block comment between", "a/**/b", "a\nb", true, ""},
		{"line comment", "a // note\nb", "a\nb", true, ""},
		{"comment in a string", "\"a // b\" c", "\"a // b\" c", true, ""},
		{"unclosed block comment", "a /* b", "a\n", true, ""},
		{"hash pair at line start", "##include <metal>", "#include <metal>", true, ""},
		{"hash pair after spaces", "  ##x", "  #x", true, ""},
		{"hash pair inside a line", "a ##include <metal>", "a ##include <metal>", true, ""},
		{"CRLF lines", "a\r\nb\r\n", "a\nb\n", true, ""},
		{"unknown directive passes", "#version 450\nx", "#version 450\nx", true, ""},
		{"unknown directive loses its comment", "#version 450 // core\nx", "#version 450\nx", true, ""},
		{"apostrophe in text", "don't", "", false, "can't read symbol\n"},
		{"apostrophe in a skipped region", "#if 0\ndon't\n#endif", "", false, "can't skip symbol\n"},
		{"unterminated string", "a \"b\nc", "", false, "can't read string\n"},
		{"directive without a name", "#\n", "", false, "can't read name\n"},
		{"directive name in a skipped region", "#if 0\n# 1\n#endif\n", "", false, "can't read name\n"},
	});
}

TEST(PreprocessorText, Conditionals) {
	run_cases({
		{"if true", "#if 1\nA\n#endif\n", "\nA\n", true, ""},
		{"if false", "#if 0\nA\n#endif\nB", "\nB", true, ""},
		{"else", "#if 0\nA\n#else\nB\n#endif", "\nB\n", true, ""},
		{"elif chain", "#if 0\nA\n#elif 0\nB\n#elif 1\nC\n#elif 1\nD\n#else\nE\n#endif", "\nC", true, ""},
		{"second else", "#if 1\n#else\n#else\nX\n#endif", "", false, "can't parse #else directive\nmemory:3: #else"},
		{"elif after else", "#if 0\n#else\nA\n#elif 1\nB\n#endif", "", false, "can't parse #elif directive\nmemory:4: #elif 1"},
		{"elifndef after else in a skipped level", "#if 0\n#if 1\n#else\n#elifndef A\n#endif\n#endif", "", false, "can't parse #elifndef directive"},
		{"nested in a taken branch", "#if 1\n#if 0\nA\n#elif 1\nB\n#endif\n#endif", "\nB\n", true, ""},
		{"nested in a skipped branch", "#if 0\n#if 1\nA\n#else\nB\n#endif\n#else\nC\n#endif", "\nC\n", true, ""},
		{"nested elif under a finished level", "#if 1\nA\n#else\n#if 0\n#elif 1\nB\n#endif\n#endif", "\nA", true, ""},
		{"skipped elif is not evaluated", "#if 1\n#elif 1 / 0\n#elif )\n#endif\nok", "\nok", true, ""},
		{"skipped if is not evaluated", "#if 0\n#if )\n#endif\n#endif\nok", "\nok", true, ""},
		{"ifdef", "#define A\n#ifdef A\nX\n#endif\n#ifdef B\nY\n#endif", "\nX", true, ""},
		{"ifndef of an expression", "#define B\n#ifndef A || B\nX\n#else\nY\n#endif", "\nY\n", true, ""},
		{"ifndef neither", "#ifndef A || B\nX\n#endif", "\nX\n", true, ""},
		{"elifdef and elifndef", "#if 0\n#elifdef A\nX\n#elifndef A\nY\n#endif", "\nY\n", true, ""},
		{"ifdef with a single bar", "#ifdef A | B\n#endif", "", false, "invalid expression\n"},
		{"if without expression", "#if\n#endif", "", false, "invalid expression\n"},
		{"elif without if", "#elif 1\n", "", false, "#elif without #if\n"},
		{"elifdef without if", "#elifdef A\n", "", false, "#elif without #if\n"},
		{"else without if", "#else\n", "", false, "#else without #if\n"},
		{"endif without if", "#endif\n", "", false, "#endif without #if\n"},
		{"unfinished", "#if 1\nx\n", "", false, "unfinished conditional directive\nmemory:3: "},
		{"division by zero", "\n#if 1 / 0\n#endif", "", false, "division by zero\nmemory:2: #if 1 / 0"},
		{"octal numbers", "#if 0777 == 511 && 010 != 10 && 0x1F == 31\nA\n#endif", "\nA\n", true, ""},
		{"octal digit 8", "\n#if 08 == 8\n#endif", "", false, "invalid octal literal 08\nmemory:2: #if 08 == 8"},
		{"untaken division by zero", "#if 0 && 1 / 0 || 1\nA\n#endif", "\nA\n", true, ""},
		{"if on __LINE__", "\n\n#if __LINE__ == 3\nA\n#endif", "\nA\n", true, ""},
		{"extra tokens", "#if 1\n#endif FOO\n", "\n", true, "extra tokens at the end of #endif directive\nmemory:2: #endif FOO"},
		{"comment after endif", "#if 1\n#endif // done\n", "\n", true, ""},
	});
	// no warning for the comment
	State state;
	LogCapture log;
	EXPECT_TRUE(preprocess("#if 1\n#else /* x */\n#endif /* multi\nline */\n", state).ok);
	EXPECT_EQ(log.text(), "");
}

TEST(PreprocessorText, DefinitionsAndExpansion) {
	run_cases({
		{"object-like", "#define A 1 + 2\nx = A;", "\nx = 1 + 2;", true, ""},
		{"comment after a value", "#define A 1 // one\n[A]", "\n[1]", true, ""},
		{"comment inside a value", "#define A 1/* c */2\n[A]", "\n[1 2]", true, ""},
		{"block comment over lines", "#define A 1 /* a\nb */\n[A] __LINE__", "\n[1] 3", true, ""},
		{"continuation", "#define A 1 \\\n + 2\n[A] __LINE__", "\n[1  + 2] 3", true, ""},
		{"function-like", "#define F(x, y) (x * y)\nF(a, b + 1)", "\n(a * b + 1)", true, ""},
		{"space before the parenthesis", "#define G (x) + 1\nG", "\n(x) + 1", true, ""},
		{"parenthesised value", "#define X (1 + 2)\nX", "\n(1 + 2)", true, ""},
		{"empty function-like body", "#define E(a)\n[E(1)]", "\n[]", true, ""},
		{"invocation over lines", "#define F(x, y) x + y\nF(1,\n2) __LINE__", "\n1 + 2 3", true, ""},
		{"comment in arguments", "#define F(x, y) x + y\nF(1 /* one */, 2 // two\n) z", "\n1   + 2  \n z", true, ""},
		{"undef", "#define A 1\n#undef A\nA", "\nA", true, ""},
		{"undef extra tokens", "#undef A B\n", "\n", true, "extra tokens at the end of #undef directive"},
		{"redefinition", "#define A 1\n#define A 2\nA", "\n2", true, "\"A\" macro redefined\nmemory:2 #define A 2"},
		{"defines keeps the first", "#define A 1\n#defines A 3\n#defines B 4\nA B", "\n1 4", true, ""},
		{"self reference", "#define A A + 1\nA", "\nA + 1", true, ""},
		{"mutual reference", "#define A B\n#define B A\nA B", "\nA B", true, ""},
		{"__LINE__", "a\n__LINE__\n\n__LINE__", "a\n2\n4", true, ""},
		{"__LINE__ in a macro", "#define L __LINE__\n\nL", "\n3", true, ""},
		{"no expansion in strings", "#define A 1\n\"A\" A", "\n\"A\" 1", true, ""},
		{"word with a digit", "#define A 1\n2A A2 A", "\n2A A2 1", true, ""},
		{"function-like without parenthesis", "#define F(x) x\nF + 1", "\nF + 1", true, ""},
		{"wrong argument count", "#define F(x) x\nF(1, 2)", "", false, "invalid number of \"F\" macro arguments\n"},
		{"function-like name alone", "#define F(x) x\n#define E() e\nint F; F(1) E E() F\n(2)", "\nint F; 1 E e 2", true, ""},
		{"function-like name in #if", "#define F(x) 5\n#if F || defined F && F(0) == 5\nA\n#endif", "\nA\n", true, ""},
		{"arguments after an expansion", "#define F(x) x\n#define G F\nG(1)", "", false,
			"can't take the arguments of \"F\" macro from after the expansion of \"G\" macro\nmemory:3: G(1)"},
		{"substitution keeps tokens apart", "#define NEG(x) -x\n#define M -\nNEG(-a) -M x-M-y M=1 NEG(1)", "\n- -a - - x- - -y - =1 -1", true, ""},
		{"pasting joins", "#define J(a, b) a ## b\nJ(-, -)a J(<<, =)", "\n--a <<=", true, ""},
		{"pragma leaves no text", "#pragma name(1)\nx", "\nx", true, ""},
	});
}

// A backslash before a line break joins the lines everywhere, before
// comments, names and directives are read; the lines reported stay those of
// the text.
TEST(PreprocessorText, LineContinuations) {
	run_cases({
		{"inside a name", "a\\\nb c", "ab c", true, ""},
		{"inside an operator", "x -\\\n= 1;", "x -= 1;", true, ""},
		{"in text", "int x = 1 +\\\n 2;\n__LINE__", "int x = 1 + 2;\n3", true, ""},
		{"CR LF", "a\\\r\nb\r\n__LINE__", "ab\n3", true, ""},
		{"inside a directive name", "#def\\\nine A 1\\\n0\nA __LINE__", "\n10 4", true, ""},
		{"#line over joined lines", "#line \\\n 10\n__LINE__", "\n10", true, ""},
		{"inside a macro invocation", "#define F(x, y) x + y\nF(1,\\\n 2) __LINE__", "\n1 + 2 3", true, ""},
		{"continues a line comment", "a // c \\\nhidden\nb __LINE__", "a\nb 3", true, ""},
		{"inside a block comment", "a /* \\\n */ b __LINE__", "a\nb 2", true, ""},
		{"error after joined lines", "x\\\ny\\\nz\n#if\n#endif", "", false, "invalid expression\nmemory:4: #if\n"},
		{"error in a joined directive", "x\n#if 1 +\\\n\n#endif", "", false, "invalid expression\nmemory:2: #if 1 +\\\n"},
		{"backslash alone", "a \\ b", "a \\ b", true, ""},
		{"backslash at the end", "a\\", "a\\", true, ""},
	});
}

// "#line N" numbers the next line N, "#line N M" makes "__FILE__" M; the
// errors and the line table report the new numbers.
TEST(PreprocessorText, LineDirective) {
	run_cases({
		{"line", "#line 10\n__LINE__\n__LINE__", "\n10\n11", true, ""},
		{"line and source string", "__FILE__ __LINE__\n#line 10 3\n__FILE__ __LINE__", "0 1\n3 10", true, ""},
		{"macros in the directive", "#define N 7\n#line N\n__LINE__", "\n7", true, ""},
		{"in #if", "#line 100\n#if __LINE__ == 100\nA\n#endif", "\nA\n", true, ""},
		{"error after it", "#line 20\n#if\n#endif", "", false, "invalid expression\nmemory:20: #if\n"},
		{"skipped", "#if 0\n#line x\n#endif\n__LINE__", "\n4", true, ""},
		{"no number", "#line x", "", false, "can't parse #line directive: a line number must follow\nmemory:1: #line x\n"},
		{"file name", "#line 5 \"a.frag\"", "", false, "can't parse #line directive: a source string is a number, not a file name\n"},
		{"extra tokens", "#line 5 6 7", "", false, "can't parse #line directive\n"},
		{"too large", "#line 2147483648", "", false, "can't parse #line directive: a line number must follow\n"},
		{"parenthesised", "#line (20)\n__LINE__", "\n20", true, ""},
		{"expressions over macros", "#define L 5\n#define SRC 2\n#line L + 10 SRC\n__FILE__ __LINE__", "\n2 15", true, ""},
		{"expressions", "#line 10+5 2*2\n__FILE__ __LINE__", "\n4 15", true, ""},
		{"octal", "#line 010 (1)\n__FILE__ __LINE__", "\n1 8", true, ""},
		{"negative", "#line 1 - 2", "", false, "can't parse #line directive: a line number must follow\nmemory:1: #line 1 - 2\n"},
		{"unclosed parenthesis", "#line (20", "", false, "can't parse #line directive: a line number must follow\n"},
		{"negative source string", "#line 10 0 - 1", "", false, "can't parse #line directive: a source string number is 0 or more\n"},
		{"name left in the source string", "#line 10 SRC", "", false, "can't parse #line directive\nmemory:1: #line 10 SRC\n"},
		{"file name after an expression", "#line 5 + 1 \"a.frag\"", "", false, "can't parse #line directive: a source string is a number, not a file name\n"},
	});
	// the compiler's errors find the new numbers in the line table
	State state = loader_state();
	Output result = preprocess("int a;\n#line 50\nint b;\nint c;\n", state);
	ASSERT_TRUE(result.ok);
	EXPECT_EQ(state.get_line((uint32_t)result.text.find("int a")), 1u);
	EXPECT_EQ(state.get_line((uint32_t)result.text.find("int b")), 50u);
	EXPECT_EQ(state.get_line((uint32_t)result.text.find("int c")), 51u);
	// and so do they after joined lines
	state = loader_state();
	result = preprocess("int a = 1 +\\\n 2;\nint b;\n", state);
	ASSERT_TRUE(result.ok);
	EXPECT_EQ(state.get_line((uint32_t)result.text.find("int b")), 3u);
}

// "#version" defines __VERSION__ and the macro of its profile; __FILE__ is
// the source-string number in every text.
TEST(PreprocessorText, PredefinedMacros) {
	run_cases({
		{"core", "#version 450\n#if __VERSION__ >= 450 && GL_core_profile == 1 && !defined(GL_ES)\nA\n#endif",
			"#version 450\nA\n", true, ""},
		{"es", "#version 310 es\n#if __VERSION__ == 310 && GL_ES == 1 && !defined(GL_core_profile)\nA\n#endif",
			"#version 310 es\nA\n", true, ""},
		{"before 1.50", "#version 140\n#ifdef GL_core_profile\nA\n#endif\n__VERSION__", "#version 140\n140", true, ""},
		{"high precision", "#version 450\n#if GL_FRAGMENT_PRECISION_HIGH == 1\nA\n#endif", "#version 450\nA\n", true, ""},
		{"high precision on ES", "#version 310 es\nGL_FRAGMENT_PRECISION_HIGH", "#version 310 es\n1", true, ""},
		{"high precision from 1.30", "#version 130\nGL_FRAGMENT_PRECISION_HIGH", "#version 130\n1", true, ""},
		{"no high precision before 1.30", "#version 120\nGL_FRAGMENT_PRECISION_HIGH", "#version 120\nGL_FRAGMENT_PRECISION_HIGH", true, ""},
		{"__FILE__", "#ifdef __FILE__\n__FILE__\n#endif", "\n0\n", true, ""},
	});
	// they stay out of the macro summary
	State state;
	ASSERT_TRUE(preprocess("#version 450\n", state).ok);
	EXPECT_EQ(state.get_macro("__VERSION__").value, "450");
	EXPECT_EQ(state.get_macros(false), "");
}

TEST(PreprocessorText, NoExpansion) {
	State state = loader_state();
	Output result = preprocess("#define A 1\nA __LINE__\n#if A\nB\n#endif", state, false);
	EXPECT_TRUE(result.ok);
	EXPECT_EQ(result.text, "\nA __LINE__\nB\n");
}

TEST(PreprocessorState, DefinitionsAndPragmas) {
	State state;
	LogCapture log;
	Output result = preprocess("#define F(a, b) a + b\r\n#define V(...) __VA_ARGS__\n#define N\n#define ARG 7\n"
							   "#pragma name(1, (2, 3))\n#pragma other(ARG) // comment\n",
		state);
	EXPECT_TRUE(result.ok);
	ASSERT_TRUE(state.has_macro("F"));
	EXPECT_EQ(state.get_macro("F").value, "a + b");
	ASSERT_EQ(state.get_macro("F").parameters.size(), 2u);
	EXPECT_EQ(state.get_macro("F").parameters[1], "b");
	EXPECT_EQ(state.get_macro("V").parameters[0], "...");
	EXPECT_TRUE(state.has_macro("N"));
	EXPECT_EQ(state.get_macro("N").value, "");

	ASSERT_EQ(state.pragmas.size(), 2u);
	const State::Pragma &pragma = state.get_pragma("name");
	ASSERT_EQ(pragma.arguments.size(), 2u);
	EXPECT_EQ(pragma.arguments[0], "1");
	EXPECT_EQ(pragma.arguments[1], "(2, 3)");
	ASSERT_EQ(state.get_pragma("other").arguments.size(), 1u);
	EXPECT_EQ(state.get_pragma("other").arguments[0], "7");
	EXPECT_EQ(log.text(), "");
}

// A definition or a pragma that the State refuses fails the text: the State
// logs why, and the preprocessor where.
TEST(PreprocessorState, RefusedDefinitionsAndPragmas) {
	struct {
		const char *src;
		const char *reason;
		const char *where;
	} cases[] = {
		{"x\n#define F(a,a) x\ny", "Shader::State::set_macro(): invalid argument names\nF(a,a)\n",
			"Shader::preprocessor(): can't parse #define directive\nm.frag:2: #define F(a,a) x\n"},
		{"#define G(1) x\n", "Shader::State::set_macro(): can't read name\n1)\n", "can't parse #define directive\nm.frag:1: #define G(1) x\n"},
		{"#defines H(b, b) x\n", "Shader::State::set_macro(): invalid argument names\n", "can't parse #defines directive\nm.frag:1: "},
		{"\n\n#pragma (\n", "Shader::State::set_pragma(): can't read name\n", "can't parse #pragma directive\nm.frag:3: #pragma (\n"},
		{"#pragma bad word\n", "Shader::State::set_pragma(): invalid pragma\nbad word\n", "can't parse #pragma directive\nm.frag:1: "},
		{"#pragma p(F(1, 2))\n", "Shader::State::set_pragma(): invalid number of \"F\" macro arguments\n", "can't parse #pragma directive\n"},
	};
	for (const auto &c : cases) {
		State state;
		state.set_file("m.frag");
		state.set_macro("F(x)", "x");
		LogCapture log;
		EXPECT_FALSE(preprocess(c.src, state).ok) << c.src;
		EXPECT_TRUE(log.contains(c.reason, Log::Error)) << c.src << ": no \"" << c.reason << "\" in\n" << log.text();
		EXPECT_TRUE(log.contains(c.where, Log::Error)) << c.src << ": no \"" << c.where << "\" in\n" << log.text();
	}
	// nothing is parsed in a skipped region
	State state;
	LogCapture log;
	Output result = preprocess("#if 0\n#define F(a,a) x\n#pragma (\n#endif\nok", state);
	EXPECT_TRUE(result.ok);
	EXPECT_EQ(result.text, "\nok");
	EXPECT_EQ(log.text(), "");
}

// Lines that end in CR LF leave no CR in the values, names and file names
// the directives take, and a continuation before CR LF joins the lines.
TEST(PreprocessorState, CrlfDirectives) {
	State state = loader_state();
	state.add_file("b.h", "int b;\r\n");
	Output result = preprocess("#define A 1\r\n#define S(x) #x\r\n#define C 1 \\\r\n + 2\r\n#include \"b.h\"\r\n"
							   "#pragma p(A)\r\nA S(q) C __LINE__\r\n",
		state);
	ASSERT_TRUE(result.ok);
	EXPECT_EQ(state.get_macro("A").value, "1");
	EXPECT_EQ(state.get_macro("C").value, "1  + 2");
	EXPECT_EQ(state.get_pragma("p").arguments[0], "1");
	EXPECT_EQ(result.text.find('\r'), std::string::npos);
	EXPECT_NE(result.text.find("int b;\n"), std::string::npos);
	EXPECT_NE(result.text.find("1 \"q\" 1  + 2 7"), std::string::npos) << result.text;
	for (uint32_t i = 0; i < state.file_table.size(); i++) {
		EXPECT_EQ(state.file_table[i].name.find('\r'), ~0u);
	}
}

TEST(PreprocessorMessages, LevelsFileAndLine) {
	State state;
	state.set_file("m.frag");
	LogCapture log;
	Output result = preprocess("#error bad thing\n\n#warning careful // note\n#message hello\n#verbose detail\n#if 0\n#error skipped\n#endif\nx", state);
	EXPECT_TRUE(result.ok);
	EXPECT_EQ(result.text, "\nx");
	ASSERT_EQ(log.lines.size(), 4u) << log.text();
	EXPECT_EQ(log.lines[0].level, Log::Error);
	EXPECT_EQ(log.lines[0].text, "m.frag:1: bad thing\n");
	EXPECT_EQ(log.lines[1].level, Log::Warning);
	EXPECT_EQ(log.lines[1].text, "m.frag:3: careful\n");
	EXPECT_EQ(log.lines[2].level, Log::Message);
	EXPECT_EQ(log.lines[3].level, Log::Verbose);
	EXPECT_EQ(log.lines[3].text, "m.frag:5: detail\n");
}

// A fatal message ends the process with status 1; where a log callback takes
// it instead, the text fails to load.
TEST(PreprocessorMessages, Fatal) {
	{
		State state;
		LogCapture log;
		Output result = preprocess("a\n#fatal stop here\nb\n", state);
		EXPECT_FALSE(result.ok);
		ASSERT_GE(log.lines.size(), 1u);
		EXPECT_EQ(log.lines[0].level, Log::Fatal);
		EXPECT_EQ(log.lines[0].text, "memory:2: stop here\n");
	}
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	EXPECT_EXIT(
		{
			State state;
			String dst;
			Shader::preprocessor("#fatal stop here\n", dst, state, true);
		},
		::testing::ExitedWithCode(1), "memory:1: stop here");
}

TEST(PreprocessorInclude, InMemoryFiles) {
	State state;
	state.add_file("a.h", "int a;\n#define FROM_A 1\n");
	state.add_file("b.h", "#import \"a.h\"\nint b;\n");
	LogCapture log;
	Output result = preprocess("#include \"a.h\"\n#include <a.h>\n#import \"a.h\"\n#import \"b.h\"\nFROM_A __FILE__", state);
	EXPECT_TRUE(result.ok) << log.text();
	// include always includes; import once per name
	EXPECT_EQ(result.text, "int a;\nint a;\nint a;\nint b;\n1 0");
	EXPECT_EQ(state.imports.size(), 2u);
}

TEST(PreprocessorInclude, GlobalFiles) {
	Shader::addFile("global_pp.h", "int g;\n");
	State state;
	state.add_file("local_pp.h", "int l;\n");
	Output result = preprocess("#include \"global_pp.h\"\n#include \"local_pp.h\"\n", state);
	Shader::removeFile("global_pp.h");
	EXPECT_TRUE(result.ok);
	EXPECT_EQ(result.text, "int g;\nint l;\n");
}

TEST(PreprocessorInclude, Failures) {
	run_cases({
		{"missing file", "\n#include \"no_such_file.h\"\n", "", false, "can't include \"no_such_file.h\" file\nmemory:2: #include \"no_such_file.h\""},
		{"missing file skipped", "#if 0\n#include \"no_such_file.h\"\n#endif\nok", "\nok", true, ""},
		{"name without quotes", "#if 0\n#include missing.h\n#endif", "", false, "can't parse #include directive\n"},
		{"windows path", "#include \"dir\\file.h\"", "", false, "can't read string\n"},
		{"empty name", "#include \"\"", "", false, "can't include \"\" file\n"},
		{"a directory", "#include \"/\"", "", false, "can't include \"/\" file\n"},
		{"a device", "#include \"/dev/zero\"", "", false, "can't include \"/dev/zero\" file\n"},
		{"extra tokens", "#if 0\n#include \"x.h\" y\n#endif", "", true, "extra tokens at the end of #include directive"},
	});
}

// An error inside an included file is logged with that file's name and line,
// and the including file fails at its include directive.
TEST(PreprocessorInclude, ErrorInsideAnInclude) {
	State state;
	state.set_file("main.frag");
	state.add_file("inner.h", "x\n#if\n#endif\n");
	LogCapture log;
	Output result = preprocess("a\n#include \"inner.h\"\nb\n", state);
	EXPECT_FALSE(result.ok);
	EXPECT_TRUE(log.contains("invalid expression\ninner.h:2: #if\n")) << log.text();
	EXPECT_TRUE(log.contains("can't include \"inner.h\" file\nmain.frag:2: #include \"inner.h\"\n")) << log.text();
	EXPECT_EQ(state.get_macro("__FILE__").value, "main.frag");
}

TEST(PreprocessorInclude, CyclesAndNesting) {
	// a file that includes itself without a guard, or through another one
	{
		State state;
		state.add_file("self.h", "s\n#include \"self.h\"\n");
		LogCapture log;
		EXPECT_FALSE(preprocess("#include \"self.h\"\n", state).ok);
		EXPECT_TRUE(log.contains("recursive #include of \"self.h\" file\n")) << log.text();
	}
	{
		State state;
		state.add_file("a.h", "#include \"b.h\"\n");
		state.add_file("b.h", "#include \"a.h\"\n");
		LogCapture log;
		EXPECT_FALSE(preprocess("#import \"a.h\"\n", state).ok);
		EXPECT_TRUE(log.contains("recursive #include of \"")) << log.text();
	}
	// a guard stops the recursion by itself
	{
		State state;
		state.add_file("g.h", "#ifndef G\n#define G\ng\n#include \"g.h\"\n#include \"h.h\"\n#endif\n");
		state.add_file("h.h", "#include \"g.h\"\nh\n");
		LogCapture log;
		Output result = preprocess("#include \"g.h\"\n", state);
		EXPECT_TRUE(result.ok) << log.text();
		EXPECT_EQ(result.text, "\ng\nh\n");
	}
	// imports that import each other end by the import set
	{
		State state;
		state.add_file("a.h", "#import \"b.h\"\na\n");
		state.add_file("b.h", "#import \"a.h\"\nb\n");
		Output result = preprocess("#import \"a.h\"\n", state);
		EXPECT_TRUE(result.ok);
		EXPECT_EQ(result.text, "\nb\na\n");
	}
	// a chain of distinct files deeper than the bound
	{
		State state;
		const uint32_t count = State::MaxIncludeDepth + 8;
		for (uint32_t i = 0; i < count; i++) {
			std::string name = "f" + std::to_string(i);
			std::string text = "#include \"f" + std::to_string(i + 1) + "\"\n";
			state.add_file(name.c_str(), text.c_str());
		}
		LogCapture log;
		EXPECT_FALSE(preprocess("#include \"f0\"\n", state).ok);
		EXPECT_TRUE(log.contains("too deep #include of \"")) << log.text(Log::Error).substr(0, 400);
	}
}

// Files that each include the next one twice: 2^29 includes of tiny files,
// which the count of includes of the run stops; a few levels pass.
TEST(PreprocessorInclude, FanOut) {
	for (uint32_t levels : {6u, 30u}) {
		State state;
		for (uint32_t i = 0; i + 1 < levels; i++) {
			std::string name = "f" + std::to_string(i);
			std::string next = "#include \"f" + std::to_string(i + 1) + "\"\n";
			state.add_file(name.c_str(), (next + next).c_str());
		}
		state.add_file(("f" + std::to_string(levels - 1)).c_str(), "x\n");
		LogCapture log;
		Output result = preprocess("#include \"f0\"\n", state);
		if (levels == 6) {
			EXPECT_TRUE(result.ok) << log.text(Log::Error).substr(0, 400);
			EXPECT_EQ(result.text.size(), 2u << (levels - 1));
		} else {
			EXPECT_FALSE(result.ok);
			EXPECT_TRUE(log.contains("too many included files\n")) << log.text(Log::Error).substr(0, 400);
			EXPECT_LE(state.file_table.size(), State::MaxIncludeCount + 1);
		}
	}
}

// The source text of a run, its own and that of its includes together, is
// bounded; each text is refused before it is read through.
TEST(PreprocessorInclude, SourceSize) {
	const std::string big(State::MaxSourceSize / 2 + 1, 'x');
	struct {
		std::string src;
		const char *file;  // the text of "a.h"
		const char *log;
	} cases[] = {
		{"a\n#include \"a.h\"\n" + big, big.c_str(), "source text is too long\nmemory:2: #include \"a.h\"\n"},
		{"a\n" + big + big, "", "source text is too long\nmemory:1: a\n"},
	};
	for (const auto &c : cases) {
		State state;
		state.add_file("a.h", c.file);
		LogCapture log;
		EXPECT_FALSE(preprocess(c.src, state).ok);
		EXPECT_TRUE(log.contains(c.log, Log::Error)) << log.text(Log::Error).substr(0, 200);
	}
}

TEST(PreprocessorInclude, ReadSource) {
	char name[] = "/tmp/vexa_pp_source_XXXXXX";
	int fd = mkstemp(name);
	ASSERT_GE(fd, 0);
	close(fd);
	std::ofstream(name) << std::string(40000, 'y');
	struct {
		const char *name;
		uint64_t limit;
		bool ok;
		uint32_t size;
	} cases[] = {
		{name, 40000, true, 40000},
		{name, 39999, false, 0},
		// claims no size, and never ends
		{"/dev/zero", 100000, false, 0},
	};
	for (const auto &c : cases) {
		Source source;
		ASSERT_TRUE(source.open(c.name, false)) << c.name;
		String text("old");
		EXPECT_EQ(State::read_source(source, text, c.limit), c.ok) << c.name << " " << c.limit;
		EXPECT_EQ(text.size(), c.size) << c.name << " " << c.limit;
	}
	std::remove(name);
}

TEST(PreprocessorInclude, DiskRelativeToTheIncludingFile) {
	char dir_template[] = "/tmp/vexa_pp_XXXXXX";
	ASSERT_NE(mkdtemp(dir_template), nullptr);
	std::string dir = dir_template;
	std::ofstream(dir + "/main.frag") << "#include \"inc.h\"\nmain\n";
	std::ofstream(dir + "/inc.h") << "inc __FILE__\n";
	State state;
	std::string main_name = dir + "/main.frag";
	state.set_file(main_name.c_str());
	// an empty in-memory text stands for the file on the disk
	state.add_file("inc.h", "");
	std::ifstream file(main_name);
	std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
	Output result = preprocess(text, state);
	EXPECT_TRUE(result.ok);
	EXPECT_EQ(result.text, "inc 0\nmain\n");
	std::remove((dir + "/main.frag").c_str());
	std::remove((dir + "/inc.h").c_str());
	rmdir(dir.c_str());
}

// The line table: every offset of the output maps to the file and line it
// came from, inside included files too. get_line looks two characters ahead
// of the offset, so offsets at the start of lines longer than two characters
// are asked.
TEST(PreprocessorLines, FileAndLineOfOffsets) {
	State state;
	state.set_file("main.frag");
	state.add_file("inc.h", "// header\nint inc_one;\n\nint inc_two;\n");
	Output result = preprocess("int main_one;\n#include \"inc.h\"\n\nint main_two;\n/* c\n */ int main_three;\n", state);
	ASSERT_TRUE(result.ok);
	ASSERT_EQ(result.text, "int main_one;\nint inc_one;\nint inc_two;\nint main_two;\nint main_three;\n");
	struct Where {
		const char *text;
		const char *file;
		uint32_t line;
	} cases[] = {
		{"int main_one", "main.frag", 1}, {"int inc_one", "inc.h", 2},     {"inc_one", "inc.h", 2},
		{"int inc_two", "inc.h", 4},      {"int main_two", "main.frag", 4}, {"int main_three", "main.frag", 6},
	};
	for (const Where &c : cases) {
		uint32_t offset = (uint32_t)result.text.find(c.text);
		EXPECT_EQ(std::string(state.get_file(offset).get()), c.file) << c.text;
		EXPECT_EQ(state.get_line(offset), c.line) << c.text;
	}
	ASSERT_EQ(state.file_table.size(), 2u);
	EXPECT_EQ(state.file_table[1].name, "inc.h");
	EXPECT_EQ(state.file_table[0].size, (uint32_t)result.text.size());
}

TEST(PreprocessorLines, BlankLinesRecord) {
	State state;
	ASSERT_TRUE(preprocess("a\n\n\nb", state).ok);
	ASSERT_EQ(state.file_table.size(), 1u);
	const State::FileRecord &record = state.file_table[0];
	std::vector<std::pair<uint32_t, uint32_t>> pairs;
	for (uint32_t i = 0; i < record.lines.size(); i++) pairs.push_back({record.lines[i], record.offsets[i]});
	std::vector<std::pair<uint32_t, uint32_t>> expected = {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}};
	EXPECT_EQ(pairs, expected);
	EXPECT_EQ(record.size, 3u);
}

// Texts built to exhaust memory or the stack end with an error.
TEST(PreprocessorLimits, DoublingMacros) {
	// a long first value reaches the bound in few levels
	std::string src = "#define M0 " + std::string(1 << 16, 'x') + "\n";
	for (int i = 1; i <= 32; i++) src += "#define M" + std::to_string(i) + " M" + std::to_string(i - 1) + " M" + std::to_string(i - 1) + "\n";
	src += "M32\n";
	State state;
	LogCapture log;
	Output result = preprocess(src, state);
	EXPECT_FALSE(result.ok);
	EXPECT_TRUE(log.contains("too long expansion of \"M")) << log.text(Log::Error);
	EXPECT_LE(result.text.size(), (size_t)State::MaxExpansionSize);
}

TEST(PreprocessorLimits, DoublingFunctionLikeMacros) {
	std::string src = "#define D0(x) x x\n";
	for (int i = 1; i <= 40; i++) {
		std::string inner = "D" + std::to_string(i - 1) + "(x)";
		src += "#define D" + std::to_string(i) + "(x) " + inner + " " + inner + "\n";
	}
	// a long argument reaches the bound in few levels
	src += "D40(" + std::string(1 << 12, 'a') + ")\n";
	State state;
	LogCapture log;
	EXPECT_FALSE(preprocess(src, state).ok);
	EXPECT_TRUE(log.contains("too long expansion of \"D")) << log.text(Log::Error);
}

// Short texts whose expansions take exponential work, by doubling their
// invocations or by invocations left open that take the rest of the text at
// every rescan, end at the work limit of the run (lowered here to keep the
// test fast); a macro that discards its argument never expands it.
TEST(PreprocessorLimits, ExpansionWork) {
	auto doubling = [](const char *value, const char *first) {
		std::string src = std::string("#define E(x)") + value + "\n#define A0" + first + "\n";
		for (int i = 1; i <= 60; i++) src += "#define A" + std::to_string(i) + " E(A" + std::to_string(i - 1) + ")E(A" + std::to_string(i - 1) + ")\n";
		return src + "A60\n";
	};
	// found by fuzzing: invocations left open inside variadic arguments
	const std::string open("#define F(x)x\n#define V(a...)__VA_ARGS__\n#define A(x)x~ A(x f  A(x\nF(\"\"V(,A(x)V(,A(x");
	struct {
		std::string src;
		const char *out;  // when ok
		bool ok;
	} cases[] = {
		{doubling("", " a"), "\n", true},
		{doubling(" x", ""), "", false},
		{doubling(" #x", " a"), "", false},
		{open, "", false},
	};
	for (const auto &c : cases) {
		State state = loader_state();
		state.expansion_limit = 1u << 20;
		// a run starts its count anew
		state.expansion_work = state.expansion_limit;
		LogCapture log;
		Output result = preprocess(c.src, state);
		EXPECT_EQ(result.ok, c.ok) << c.src << log.text();
		if (c.ok) {
			EXPECT_EQ(result.text, c.out);
			EXPECT_LT(state.expansion_work, 1000u);
		} else {
			EXPECT_TRUE(log.contains("too long expansion of \"", Log::Error)) << c.src << log.text();
			EXPECT_LE(state.expansion_work, state.expansion_limit);
		}
	}
}

TEST(PreprocessorLimits, MacroChains) {
	auto chain = [](uint32_t count) {
		std::string src = "#define C0 end\n";
		for (uint32_t i = 1; i < count; i++) src += "#define C" + std::to_string(i) + " C" + std::to_string(i - 1) + "\n";
		return src + "C" + std::to_string(count - 1) + "\n";
	};
	{
		State state;
		Output result = preprocess(chain(State::MaxMacroDepth), state);
		EXPECT_TRUE(result.ok);
		EXPECT_EQ(result.text.substr(result.text.size() - 4), "end\n");
	}
	{
		State state;
		LogCapture log;
		EXPECT_FALSE(preprocess(chain(State::MaxMacroDepth + 50), state).ok);
		EXPECT_TRUE(log.contains("too deep expansion of \"C")) << log.text(Log::Error);
	}
}

TEST(PreprocessorLimits, DeepConditionals) {
	// nesting costs heap, and each directive constant time
	std::string src;
	const int depth = 20000;
	for (int i = 0; i < depth; i++) src += "#if 1\n";
	src += "x\n";
	for (int i = 0; i < depth; i++) src += "#endif\n";
	std::string parentheses = "#if " + std::string(50000, '(') + "1" + std::string(50000, ')') + "\ny\n#endif\n";
	State state;
	Output result = preprocess(src + parentheses, state);
	EXPECT_TRUE(result.ok);
	EXPECT_EQ(result.text, "\nx\ny\n");
}

// Every prefix of a text with each kind of construct, cut anywhere, fails or
// succeeds without reading past its end.
TEST(PreprocessorLimits, TruncatedTexts) {
	const std::string text = "#define F(a, ...) a + __VA_ARGC__ \"s\" 'c' #a\n#if defined(F) && (1 + 2) * 3 > 4 // c\n"
							 "F(1, (2, 3)) /* b */ __LINE__\n#elifdef F\n#include \"x.h\"\n#endif\n";
	LogCapture log;
	for (size_t i = 0; i <= text.size(); i++) {
		State state = loader_state();
		state.add_file("x.h", "x");
		preprocess(text.substr(0, i), state);
	}
}

TEST(PreprocessorForms, FormattedAndListForms) {
	String out = Shader::preprocessor("A B F(2)", "A=%d;B=%s;F(x)=[x]", 5, "b");
	EXPECT_EQ(out, "5 b [2]");
	const char *files[] = {"f.h", "in_f"};
	String listed = Shader::preprocessor("#include \"f.h\"\nC", String("C=3"), files, 2);
	EXPECT_EQ(listed, "in_f\n3");
	LogCapture log;
	EXPECT_EQ(Shader::preprocessor("#if\n#endif", nullptr), "");
	EXPECT_EQ(Shader::preprocessor("x", "A B"), "");
}
