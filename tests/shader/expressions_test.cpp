// The conditional expressions of "#if" and "#ifdef": precedence and grouping,
// macros (expanded like the text around them), defined, the malformed shapes
// that give -1, and arithmetic that must neither trap nor overflow: division
// by zero is an error only where its value is used, and everything wraps
// around in 32 bits.
#include "shader/ShaderState.h"

#include "core/String.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Vexa;
using State = Shader::State;

namespace {

struct Case {
	const char *text;
	int32_t result;
	const char *error;  // the message thrown, "" for none
};

void run(const State &state, bool names, const std::vector<Case> &cases) {
	for (const Case &c : cases) {
		std::string error;
		int32_t result = -2;
		try {
			result = names ? state.evaluate_ifdef(c.text) : state.evaluate_if(c.text);
		} catch (const String &e) {
			error = e.get();
		}
		EXPECT_EQ(error, c.error) << "\"" << c.text << "\"";
		if (!*c.error) {
			EXPECT_EQ(result, c.result) << "\"" << c.text << "\"";
		}
	}
}

} // namespace

TEST(Expressions, Arithmetic) {
	State state;
	run(state, false, {
		{"1 + 2 * 3 == 7", 1, ""},
		{"10 - 2 - 3 == 5", 1, ""},
		{"(1 + 2) * 3 > 8", 1, ""},
		{"7 / 2 == 3", 1, ""},
		{"2 - 3 < 0", 1, ""},
		{"1 < 2 == 1", 1, ""},
		{"3 >= 3 && 3 <= 3 && 3 != 4", 1, ""},
		{"0 || 0 && 1", 0, ""},
		{"1 || 0 && 0", 1, ""},
		{"!0", 1, ""},
		{"!1 == 0", 1, ""},
		{"! 1 + 2", 1, ""},
		{"!(0)", 1, ""},
		{"0", 0, ""},
		{"2u + 1 == 3", 1, ""},
		{"0x10 == 16", 1, ""},
		{"0b101 == 5", 1, ""},
		// a leading 0 makes an octal number, as in C and GLSL
		{"0777 == 511", 1, ""},
		{"010 == 10", 0, ""},
		{"010 == 8 && 00 == 0 && 0 == 0 && 07 == 7", 1, ""},
		{"037777777777 == -1", 1, ""},
		{"0x1F == 31 && 0X1f == 31 && 0xff == 255", 1, ""},
		{"10u == 10 && 10U == 10 && 0x1FU == 31 && 017u == 15", 1, ""},
		{"08", 0, "invalid octal literal 08\n"},
		{"1 + 0129 > 0", 0, "invalid octal literal 0129\n"},
		{"1 // note", 1, ""},
		{"0 /* note */", 0, ""},
		// wrap-around, never an overflow
		{"2147483647 + 1 < 0", 1, ""},
		{"65536 * 65536 == 0", 1, ""},
		{"0 - 2147483647 - 1 - 1 == 2147483647", 1, ""},
		{"(2147483647 + 1) / (0 - 1) == 2147483647 + 1", 1, ""},
		{"4294967297 == 1", 1, ""},
		// division by zero, unless its side of && or || is not taken
		{"1 / 0", 0, "division by zero\n"},
		{"1 / (2 - 2) || 1", 0, "division by zero\n"},
		{"!(1 / 0)", 0, "division by zero\n"},
		{"0 && 1 / 0", 0, ""},
		{"1 || 1 / 0", 1, ""},
		{"0 && 1 / 0 || 1", 1, ""},
		// the unary operators, any number of them, bind tightest
		{"-1 < 0", 1, ""},
		{"- -1 == 1 && -(2 + 3) == 0 - 5 && +3 == 3", 1, ""},
		{"!!1 && !-1 == 0 && -!0 == 0 - 1 && ~!0 == 0 - 2", 1, ""},
		{"~0 == -1 && ~~5 == 5", 1, ""},
		{"-2 * 3 == -6", 1, ""},
		// shifts between the sums and the comparisons
		{"1 << 4 == 16", 1, ""},
		{"1 + 2 << 1 == 6", 1, ""},
		{"-8 >> 1 == -4 && 8 >> 2 == 2", 1, ""},
		{"1 << 33 == 2", 1, ""},
		{"1 << 31 < 0", 1, ""},
		// the bit operators below the equalities: & before ^ before |
		{"(12 & 10) == 8 && (12 ^ 10) == 6 && (12 | 10) == 14", 1, ""},
		{"1 | 2 == 2", 1, ""},
		{"2 & 3 == 3", 0, ""},
		{"1 | 2 ^ 3", 1, ""},
		{"6 & 3 ^ 1 | 8", 1, ""},
		{"(6 & 3 ^ 1 | 8) == 11", 1, ""},
		{"(6 & (3 ^ 1) | 8) == 10", 1, ""},
		{"1 & 2 && 3", 0, ""},
		// the remainder truncates toward zero, as C's
		{"7 % 4 == 3 && -7 % 4 == -3 && 7 % -4 == 3", 1, ""},
		{"(0 - 2147483647 - 1) % -1 == 0", 1, ""},
		{"-(0 - 2147483647 - 1) < 0", 1, ""},
		{"1 % 0", 0, "division by zero\n"},
		{"0 && 1 % 0", 0, ""},
		{"-(1 / 0)", 0, "division by zero\n"},
	});
}

TEST(Expressions, MalformedShapes) {
	State state;
	run(state, false, {
		{"", -1, ""},
		{"   ", -1, ""},
		{"1 2", -1, ""},
		{"1 2 +", -1, ""},
		{"(1)(2)+", -1, ""},
		{"1 (2)", -1, ""},
		{"(1", -1, ""},
		{"1)", -1, ""},
		{"()", -1, ""},
		{"1 +", -1, ""},
		{"!", -1, ""},
		{"1 = 1", -1, ""},
		{"1 & & 1", -1, ""},
		{"1 ~ 1", -1, ""},
		{"~", -1, ""},
		{"1 <<", -1, ""},
		{"1 <> 1", -1, ""},
		{"- !", -1, ""},
		{"1 != ", -1, ""},
		{"!= 1", -1, ""},
		{"defined(FOO", -1, ""},
		{"1 @ 2", 0, "can't read name\n@ 2\n"},
		{"1 + defined", 0, "can't read name\n\n"},
	});
}

TEST(Expressions, Macros) {
	State state;
	state.set_macro("A", "5");
	state.set_macro("B", "A");
	state.set_macro("H", "0x10");
	state.set_macro("SUM", "1 + 2");
	state.set_macro("PAREN", "(1 + 2)");
	state.set_macro("FAST", "2");
	state.set_macro("MODE", "FAST");
	state.set_macro("EMPTY", "");
	state.set_macro("SELF", "SELF");
	state.set_macro("F(x)", "(x * 2)");
	state.set_macro("F5(x)", "5");
	state.set_macro("NEG(x)", "-x");
	state.set_macro("OCT", "010");
	state.set_macro("__LINE__", "0");
	state.line = 12;
	run(state, false, {
		{"FOO", 0, ""},
		{"defined FOO || 1", 1, ""},
		{"defined A && defined(B) && defined ( H )", 1, ""},
		{"A > 4", 1, ""},
		{"B == 5", 1, ""},
		{"H == 16", 1, ""},
		{"MODE == FAST", 1, ""},
		{"MODE == 3", 0, ""},
		{"PAREN * 2 == 6", 1, ""},
		{"SUM * 2 == 5", 1, ""},
		{"F(A) == 10", 1, ""},
		{"SELF", 0, ""},
		{"EMPTY", -1, ""},
		{"EMPTY 1", 1, ""},
		{"__LINE__ == 12", 1, ""},
		{"__FILE__ == 0 && defined __FILE__", 1, ""},
		{"NEG(-1) == 1 && -NEG(1) == 1", 1, ""},
		{"OCT == 8", 1, ""},
		// a function-like macro's name alone is a name like any other
		{"F", 0, ""},
		{"F5", 0, ""},
	});
}

// The expansion of an expression counts towards the work limit like that of
// the text around it.
TEST(Expressions, ExpansionWork) {
	State state;
	state.set_macro("F(x)", "(x + x)");
	state.expansion_limit = 200;
	run(state, false, {
		{"F(1) == 2", 1, ""},
		{"F(F(F(F(1)))) > 0", 0, "too long expansion of \"F\" macro\n"},
	});
}

TEST(Expressions, NameExpressions) {
	State state;
	state.set_macro("A", "");
	state.set_macro("C", "0");
	run(state, true, {
		{"A", 1, ""},
		{"B", 0, ""},
		{"A && !B", 1, ""},
		{"!A || B", 0, ""},
		{"(A || B) && C", 1, ""},
		{"A || B && !C", 1, ""},
		{"(B || C) && B", 0, ""},
		{"A & B", -1, ""},
		{"A B", -1, ""},
		{"!!A", -1, ""},
		{"", -1, ""},
		{"A // note", 1, ""},
		{"1", 0, "can't read name\n1\n"},
		{"A == B", 0, "can't read name\n== B\n"},
	});
}

// The operands of "#line": expressions written one after the other, the
// first ending where, outside parentheses, no binary operator follows an
// operand; what no expression begins with is left over.
TEST(Expressions, Lists) {
	State state;
	state.set_macro("L", "5");
	state.set_macro("SRC", "2");
	struct List {
		const char *text;
		uint32_t count;
		int32_t first;
		int32_t second;
		const char *rest;
	};
	const List lists[] = {
		{"(20)", 1, 20, 0, ""},
		{"L + 10 SRC", 2, 15, 2, ""},
		{"10+5 2*2", 2, 15, 4, ""},
		{"010 0x10", 2, 8, 16, ""},
		{"10 -2", 1, 8, 0, ""},
		{"10 (2)", 2, 10, 2, ""},
		{"(1)(2)", 2, 1, 2, ""},
		{"10 !0", 2, 10, 1, ""},
		{"5 6 7", 2, 5, 6, "7"},
		{"5 \"a.frag\"", 1, 5, 0, "\"a.frag\""},
		{"defined(L) // note", 1, 1, 0, ""},
		{"(1 2)", 0, 0, 0, "(1 2)"},
		{"(20", 0, 0, 0, "(20"},
		{"X", 0, 0, 0, "X"},
		{"10 X", 1, 10, 0, "X"},
		{"", 0, 0, 0, ""},
	};
	for (const List &l : lists) {
		int32_t values[2] = {0, 0};
		String rest;
		EXPECT_EQ(state.evaluate_list(l.text, values, 2, rest), l.count) << l.text;
		EXPECT_EQ(values[0], l.first) << l.text;
		EXPECT_EQ(values[1], l.second) << l.text;
		EXPECT_STREQ(rest.get(), l.rest) << l.text;
	}
}

// Parentheses deeper than the stacks' first buffers cost heap, not stack.
TEST(Expressions, DeepParentheses) {
	State state;
	std::string text = std::string(100000, '(') + "1" + std::string(100000, ')') + " && 1";
	EXPECT_EQ(state.evaluate_if(text.c_str()), 1);
	std::string unbalanced = std::string(1000, '(') + "1";
	EXPECT_EQ(state.evaluate_if(unbalanced.c_str()), -1);
}
