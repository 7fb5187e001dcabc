// Macro expansion on its own: object-like, function-like and variadic macros
// (__VA_ARGS__, __VA_ARGC__, __VA_ARGM__), stringizing with '#', pasting with
// "##", the at-sign conversion of a string into 32-bit words, the recursion
// guard, arguments expanded only where used, the bounds on depth, size and
// work, and the errors of malformed invocations.
#include "shader/ShaderState.h"

#include "core/String.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

using namespace Vexa;
using State = Shader::State;

namespace {

struct Case {
	const char *text;
	const char *out;    // the expansion, when no error
	const char *error;  // the message thrown, "" for none
};

// the macros of every case, as set_macro takes them
State macro_state() {
	State state;
	const char *definitions[][2] = {
		{"A", "B"},
		{"B", "A"},
		{"SELF", "SELF"},
		{"ONE", "1"},
		{"F(x)", "[x]"},
		{"G(x, y)", "<x|y>"},
		{"S(x)", "#x"},
		{"J(a, b)", "a ## b"},
		{"CAT3(a, b, c)", "a##b##c"},
		{"H(s)", "@s"},
		{"V(a, ...)", "__VA_ARGC__: __VA_ARGS__"},
		{"W(...)", "(__VA_ARGS__)"},
		{"P(x, i)", "p[i] = x"},
		{"E(...)", "__VA_ARGM__(P)"},
		{"Q(x)", "q(x)"},
		{"EQ(...)", "__VA_ARGM__(Q)"},
		{"BAD(...)", "__VA_ARGM__ P"},
		{"N(x)", "__VA_ARGS__ __VA_ARGC__ x"},
		{"L", "__LINE__"},
		{"MAX(a, b)", "((a) > (b) ? (a) : (b))"},
		{"LIT(x)", "\"x\" 'x' x"},
		{"EMPTY()", "e"},
		{"OBJ_PASTE", "dest ## 1;"},
		{"DROP(x)", ""},
		{"TWICE(x)", "x x"},
		{"NEG(x)", "-x"},
		{"ID(x)", "x"},
		{"POST(x)", "x-"},
		{"SLASH", "/"},
		{"NOTHING", ""},
		{"PASTE_MINUS(x)", "-##x"},
	};
	for (auto &d : definitions) EXPECT_TRUE(state.set_macro(d[0], d[1])) << d[0];
	state.set_macro("__LINE__", "0");
	state.line = 42;
	return state;
}

std::string expand(const State &state, const char *text, std::string *error) {
	ArrayStack<String, 16> stack;
	try {
		String out = state.expand_text(text, stack);
		return std::string(out.get(), out.size());
	} catch (const String &e) {
		*error = e.get();
		return "";
	}
}

} // namespace

TEST(Macros, ExpansionTable) {
	State state = macro_state();
	const std::vector<Case> cases = {
		// object-like, and the recursion guard
		{"ONE + ONE", "1 + 1", ""},
		{"A", "A", ""},
		{"B", "B", ""},
		{"SELF", "SELF", ""},
		{"ONEONE ONE1 1ONE", "ONEONE ONE1 1ONE", ""},
		{"\"ONE\" 'ONE' ONE", "\"ONE\" 'ONE' 1", ""},
		// function-like; invocations inside the arguments expand
		{"F(1)", "[1]", ""},
		{"F (  1 ,)", "", "invalid number of \"F\" macro arguments\n"},
		{"F(F(1))", "[[1]]", ""},
		{"MAX(MAX(1, 2), 3)", "((((1) > (2) ? (1) : (2))) > (3) ? (((1) > (2) ? (1) : (2))) : (3))", ""},
		{"G(ONE, F(ONE))", "<1|[1]>", ""},
		{"G((1, 2), {3, 4})", "<(1, 2)|{3, 4}>", ""},
		{"G(\"a,b\", ')')", "<\"a,b\"|')'>", ""},
		{"G(1,)", "<1|>", ""},
		{"G(1 , 2 )", "<1 |2 >", ""},
		{"G(1)", "", "invalid number of \"G\" macro arguments\n"},
		{"F(1, 2)", "", "invalid number of \"F\" macro arguments\n"},
		{"F + 1", "F + 1", ""},
		{"F(1", "[1]", ""},
		{"LIT(a)", "\"x\" 'x' a", ""},
		// an empty parameter list takes an empty argument list
		{"EMPTY() EMPTY ( )", "e e", ""},
		{"EMPTY", "EMPTY", ""},
		{"EMPTY(1)", "", "invalid number of \"EMPTY\" macro arguments\n"},
		// stringizing escapes quotes and backslashes
		{"S(a \"b\")", "\"a \\\"b\\\"\"", ""},
		{"S(\"a\\n\")", "\"\\\"a\\\\n\\\"\"", ""},
		{"S(ONE)", "\"1\"", ""},
		// pasting
		{"J(x, y)", "xy", ""},
		{"J(x , y)", "xy", ""},
		{"CAT3(a, b, c)", "abc", ""},
		{"J(O, NE)", "1", ""},
		{"OBJ_PASTE", "dest1;", ""},
		// the at sign: little-endian words of the string and its zero
		{"H(\"abc\")", "0x636261", ""},
		{"H(\"abcd\")", "0x64636261, 0x0", ""},
		{"H(\"\")", "0x0", ""},
		{"H(\"\\tA\")", "0x4109", ""},
		{"H(abc)", "", "can't read string\nabc\n"},
		// variadic macros
		{"V(1, 2, 3)", "2: 2, 3", ""},
		{"V(1)", "0: ", ""},
		{"V()", "", "invalid number of \"V\" macro arguments\n"},
		{"W()", "()", ""},
		{"W(a, (b, c))", "(a, (b, c))", ""},
		{"E(a, b)", "p[0u] = ap[1u] = b", ""},
		{"EQ(a, b)", "q(a)q(b)", ""},
		{"BAD(a)", "", "expecting '('\n"},
		{"N(1)", "__VA_ARGS__ __VA_ARGC__ 1", ""},
		// __LINE__ is the State's current line
		{"__LINE__ L", "42 42", ""},
		// an argument is expanded only where its parameter is used, once
		{"DROP(F + 1)", "", ""},
		{"DROP(F(1)) TWICE(F(1))", " [1] [1]", ""},
		{"TWICE(F)", "F F", ""},
		// substituted text stays apart from the text around it where the two
		// would read as one token, and only there
		{"NEG(-a)", "- -a", ""},
		{"-NEG(a)", "- -a", ""},
		{"NEG(NEG(a))", "- -a", ""},
		{"POST(-)", "- -", ""},
		{"POST(a)-b", "a- -b", ""},
		{"-NOTHING-", "- -", ""},
		{"NEG(=)", "- =", ""},
		{"ID(+)=", "+ =", ""},
		{"ID(<)<", "< <", ""},
		{"SLASH/x SLASH*y*/", "/ /x / *y*/", ""},
		{"ID(a)ID(b)", "a b", ""},
		{"ID(1)e5 ONE.5 .ONE", "1 e5 1 .5 . 1", ""},
		{"ID(v).x ID(a)[0] ID(f)(1) ID(a)+1", "v.x a[0] f(1) a+1", ""},
		{"J(-, -) PASTE_MINUS(-)", "-- --", ""},
		{"NEG(1)", "-1", ""},
		// a function-like name at the end of an expansion can't take an
		// argument list that follows the invocation
		{"ID(F)(1)", "", "can't take the arguments of \"F\" macro from after the expansion of \"ID\" macro\n"},
		{"ID(F) (1)", "", "can't take the arguments of \"F\" macro from after the expansion of \"ID\" macro\n"},
		{"ID(F); ID(F(1))", "F; [1]", ""},
	};
	for (const Case &c : cases) {
		std::string error;
		std::string out = expand(state, c.text, &error);
		EXPECT_EQ(error, c.error) << c.text;
		if (!*c.error) {
			EXPECT_EQ(out, c.out) << c.text;
		}
	}
}

TEST(Macros, ExpandMacroCountsTheInvocation) {
	State state = macro_state();
	ArrayStack<String, 16> stack;
	String out("x=");
	EXPECT_EQ(state.expand_macro("  ONE+2", out, stack), 5u);
	EXPECT_EQ(out, "x=1");
	EXPECT_EQ(state.expand_macro("G (1, (2)) tail", out, stack), 10u);
	EXPECT_EQ(out, "x=1<1|(2)>");
	EXPECT_EQ(stack.size(), 0u);
	try {
		state.expand_macro("UNKNOWN", out, stack);
		ADD_FAILURE() << "no error";
	} catch (const String &e) {
		EXPECT_EQ(e, "can't get \"UNKNOWN\" macro\n");
	}
	try {
		state.expand_macro("+", out, stack);
		ADD_FAILURE() << "no error";
	} catch (const String &e) {
		EXPECT_EQ(e, "can't read name\n+\n");
	}
}

// Every invocation, every argument expanded and every text built counts
// towards expansion_limit, discarded text included; past it the expansion
// fails, and stays failed until the count is reset.
TEST(Macros, WorkLimit) {
	State state = macro_state();
	state.expansion_limit = 4096;
	std::string error;
	EXPECT_EQ(expand(state, "F(1) G(ONE, 2)", &error), "[1] <1|2>");
	EXPECT_EQ(error, "");
	EXPECT_GT(state.expansion_work, 0u);
	EXPECT_LT(state.expansion_work, state.expansion_limit);

	// invocations, a long argument, and an invocation left open
	const std::pair<std::string, const char *> cases[] = {
		{"F(F(F(F(F(F(F(F(1))))))))", "F"},
		{"V(1, " + std::string(2000, 'a') + ")", "V"},
		{"W(" + std::string(2000, 'b'), "W"},
	};
	for (const auto &c : cases) {
		state.expansion_work = state.expansion_limit - 200;
		error.clear();
		expand(state, c.first.c_str(), &error);
		EXPECT_EQ(error, std::string("too long expansion of \"") + c.second + "\" macro\n") << c.first.substr(0, 40);
		// once spent, even the smallest expansion fails
		error.clear();
		expand(state, "ONE", &error);
		EXPECT_EQ(error, "too long expansion of \"ONE\" macro\n");
	}

	// A definition that doubles its invocations at every level without
	// producing anything is spent at the limit instead of running for ages;
	// one that discards its argument costs nothing, as that argument is never
	// expanded.
	State doubling;
	State dropping;
	doubling.set_macro("E(x)", "x");
	dropping.set_macro("E(x)", "");
	doubling.set_macro("A0", "");
	dropping.set_macro("A0", "a");
	for (int i = 1; i <= 60; i++) {
		std::string name = "A" + std::to_string(i);
		std::string prev = "E(A" + std::to_string(i - 1) + ")";
		doubling.set_macro(name.c_str(), (prev + prev).c_str());
		dropping.set_macro(name.c_str(), (prev + prev).c_str());
	}
	doubling.expansion_limit = 1u << 16;
	error.clear();
	expand(doubling, "A60", &error);
	EXPECT_EQ(error.rfind("too long expansion of \"", 0), 0u) << error;
	error.clear();
	EXPECT_EQ(expand(dropping, "A60", &error), "");
	EXPECT_EQ(error, "");
	EXPECT_LT(dropping.expansion_work, 1000u);
}

// Nesting that would recurse without end, or overflow the stack, is bounded.
TEST(Macros, Bounds) {
	State state = macro_state();
	std::string nested;
	for (int i = 0; i < 300; i++) nested += "F(";
	nested += "1";
	for (int i = 0; i < 300; i++) nested += ")";
	std::string error;
	expand(state, nested.c_str(), &error);
	EXPECT_EQ(error, "too deep expansion of \"F\" macro\n");

	// a hundred levels is well within the bound
	nested.clear();
	for (int i = 0; i < 100; i++) nested += "F(";
	nested += "1";
	for (int i = 0; i < 100; i++) nested += ")";
	error.clear();
	std::string out = expand(state, nested.c_str(), &error);
	EXPECT_EQ(error, "");
	EXPECT_EQ(out, std::string(100, '[') + "1" + std::string(100, ']'));

	// a value that quadruples at every level
	State big;
	big.set_macro("X0", std::string(4096, 'x').c_str());
	for (int i = 1; i < 20; i++) {
		std::string name = "X" + std::to_string(i);
		std::string prev = "X" + std::to_string(i - 1);
		big.set_macro(name.c_str(), (prev + " " + prev + " " + prev + " " + prev).c_str());
	}
	error.clear();
	expand(big, "X19", &error);
	EXPECT_EQ(error.substr(0, 24), "too long expansion of \"X");
}

// A macro with many parameters costs in proportion to them, both to define
// (the check for repeated names) and to invoke (the parameters found in the
// value). Compared by the processor time of two sizes in one run: eight times
// the parameters may cost about eight times as much, where a cost that grows
// with their square would cost sixty-four times as much.
TEST(Macros, ManyParametersStayLinear) {
	auto cost = [](int count) {
		std::string parameters, value, arguments, expected;
		for (int i = 0; i < count; i++) {
			std::string name = "p" + std::to_string(i);
			parameters += (i ? "," : "") + name;
			value += (i ? " " : "") + name;
			arguments += (i ? "," : "") + std::to_string(i);
			expected += (i ? " " : "") + std::to_string(i);
		}
		std::string definition = "M(" + parameters + ")";
		std::string invocation = "M(" + arguments + ")";
		double best = 1e30;
		for (int run = 0; run < 3; run++) {
			std::clock_t start = std::clock();
			State state;
			EXPECT_TRUE(state.set_macro(definition.c_str(), value.c_str()));
			std::string error;
			std::string out = expand(state, invocation.c_str(), &error);
			EXPECT_EQ(error, "");
			EXPECT_TRUE(out == expected) << out.substr(0, 80);
			best = std::min(best, double(std::clock() - start));
		}
		return std::max(best, 1.0);
	};
	double small = cost(3000);
	double large = cost(24000);
	EXPECT_LT(large / small, 24.0) << small << " " << large;

	// a repeated name among many is still found
	State state;
	std::string parameters;
	for (int i = 0; i < 100; i++) parameters += "p" + std::to_string(i) + ",";
	EXPECT_FALSE(state.set_macro(("M(" + parameters + "p50)").c_str(), "x"));
}
