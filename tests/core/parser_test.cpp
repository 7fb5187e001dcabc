// The text scanners: tables of inputs with the text each reader copies, the
// count it consumes, or the exact message it throws; the predicates; and text
// that ends early (unclosed literals and comments, odd UTF-16 lengths), which
// must throw or stop rather than read on.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/Error.h"
#include "core/Parser.h"
#include "core/String.h"

using namespace Vexa;

namespace {

using Reader = std::function<uint32_t(const char *, String &)>;

struct Case {
	const char *name;
	Reader read;
	std::string input;
	std::string out;      // the text copied
	uint32_t count;       // the characters consumed
	std::string error;    // the message thrown, empty when none
};

// runs a reader on a heap copy of the input, so that a read past its NUL is
// seen by the address sanitizer
void run(const Case &c) {
	std::vector<char> text(c.input.begin(), c.input.end());
	text.push_back(0);
	String out("stale");
	try {
		uint32_t count = c.read(text.data(), out);
		EXPECT_EQ(c.error, "") << c.name << " on \"" << c.input << "\" did not throw";
		EXPECT_EQ(std::string(out.get(), out.size()), c.out) << c.name << " on \"" << c.input << "\"";
		EXPECT_EQ(count, c.count) << c.name << " on \"" << c.input << "\"";
	} catch (const String &message) {
		EXPECT_EQ(std::string(message.get()), c.error) << c.name << " on \"" << c.input << "\"";
	}
}

// a scanner that copies nothing, seen as a reader with an empty copy
Reader skip(uint32_t (*f)(const char *)) {
	return [f](const char *src, String &out) {
		out.clear();
		return f(src);
	};
}

Reader region(char open, char close, bool keep) {
	return [=](const char *src, String &out) { return Parser::readRegion(src, out, open, close, keep); };
}

std::string thrown(const std::function<void()> &f) {
	try {
		f();
	} catch (const String &message) {
		return message.get();
	}
	return "<nothing thrown>";
}

} // namespace

TEST(Parser, Names) {
	Reader name = [](const char *s, String &out) { return Parser::readName(s, out); };
	Reader dotted = [](const char *s, String &out) { return Parser::readName(s, out, "."); };
	Reader empty_extra = [](const char *s, String &out) { return Parser::readName(s, out, ""); };
	const Case cases[] = {
		{"readName", name, "  abc_1 x", "abc_1", 7, ""},
		{"readName", name, "_9(", "_9", 2, ""},
		{"readName", name, "  9abc", "", 0, "can't read name\n9abc\n"},
		{"readName", name, "", "", 0, "can't read name\n\n"},
		{"readName", name, " a.b", "a", 2, ""},
		{"readName extra", dotted, " a.b c", "a.b", 4, ""},
		{"readName extra", dotted, ".a", "", 0, "can't read name\n.a\n"},
		{"readName extra", empty_extra, "ab", "ab", 2, ""},
		{"skipName", skip(Parser::skipName), "\tname;", "", 5, ""},
		{"skipName", skip(Parser::skipName), "-x", "", 0, "can't skip name\n-x\n"},
	};
	for (const Case &c : cases) run(c);

	String out("keep");
	EXPECT_EQ(Parser::readName(" tail", out, true), 5u);
	EXPECT_STREQ(out.get(), "keeptail");
	EXPECT_EQ(Parser::skipName("a-b", "-"), 3u);
}

TEST(Parser, Numbers) {
	Reader decimal = [](const char *s, String &out) { return Parser::readDecimal(s, out); };
	Reader real = [](const char *s, String &out) { return Parser::readFloat(s, out); };
	Reader hex = [](const char *s, String &out) { return Parser::readHexadecimal(s, out); };
	Reader number = [](const char *s, String &out) { return Parser::readNumber(s, out); };
	const Case cases[] = {
		{"readDecimal", decimal, "- 12uL", "-12u", 5, ""},
		{"readDecimal", decimal, "12ul;", "12ul", 4, ""},
		{"readDecimal", decimal, "+3US", "+3US", 4, ""},
		{"readDecimal", decimal, "12uS", "12u", 3, ""},
		{"readDecimal", decimal, "12Ls", "12L", 3, ""},
		{"readDecimal", decimal, "x", "", 0, "can't read decimal\nx\n"},
		{"readDecimal", decimal, "-", "", 0, "can't read decimal\n-\n"},
		{"skipDecimal", skip(Parser::skipDecimal), "7US", "", 3, ""},
		{"skipDecimal", skip(Parser::skipDecimal), " .", "", 0, "can't skip decimal\n.\n"},
		{"readFloat", real, "1.5e+3F;", "1.5e+3F", 7, ""},
		{"readFloat", real, "- .5lf", "-.5lf", 6, ""},
		{"readFloat", real, "2.", "2.", 2, ""},
		{"readFloat", real, "3e", "3", 1, ""},
		{"readFloat", real, "4HF", "4HF", 3, ""},
		{"readFloat", real, "4hF", "4", 1, ""},
		{"readFloat", real, "e1", "", 0, "can't read float\ne1\n"},
		{"skipFloat", skip(Parser::skipFloat), "1e-5f", "", 5, ""},
		{"skipFloat", skip(Parser::skipFloat), ".", "", 0, "can't skip float\n.\n"},
		{"readHexadecimal", hex, "0XffU", "0xffU", 5, ""},
		{"readHexadecimal", hex, "-ff", "-ff", 3, ""},
		{"readHexadecimal", hex, "0", "0", 1, ""},
		{"readHexadecimal", hex, "0xg", "", 0, "can't read hexadecimal\n0xg\n"},
		{"skipHexadecimal", skip(Parser::skipHexadecimal), "0x1Aul", "", 6, ""},
		{"skipHexadecimal", skip(Parser::skipHexadecimal), "0x", "", 0, "can't skip hexadecimal\n0x\n"},
		{"readNumber", number, "1.5e-3lf", "1.5e-3lf", 8, ""},
		{"readNumber", number, "0xg", "0", 1, ""},
		{"readNumber", number, "0X1Fu)", "0X1Fu", 5, ""},
		{"readNumber", number, "+ 7u", "+7u", 4, ""},
		{"readNumber", number, ".5f", ".5f", 3, ""},
		{"readNumber", number, "1e5", "1e5", 3, ""},
		{"readNumber", number, "1e5u", "1e5", 3, ""},
		{"readNumber", number, "12u", "12u", 3, ""},
		{"readNumber", number, "12f", "12", 2, ""},
		{"readNumber", number, "5.hf", "5.hf", 4, ""},
		{"readNumber", number, "abc", "", 0, "can't read number\nabc\n"},
		{"skipNumber", skip(Parser::skipNumber), "  42;", "", 4, ""},
		{"skipNumber", skip(Parser::skipNumber), "-x", "", 0, "can't skip number\n-x\n"},
	};
	for (const Case &c : cases) run(c);
}

TEST(Parser, NumberPredicates) {
	struct Predicate {
		const char *text;
		bool number, real, is_signed, is_unsigned;
	};
	const Predicate cases[] = {
		{"-1u", true, false, true, false},
		{"1u", true, false, false, true},
		{"1.0", true, true, false, false},
		{"1", true, false, true, false},
		{"1e5", true, true, false, false},
		{"0x1u", true, false, false, true},
		{"-0x1u", true, false, true, false},
		{"0x1e", true, false, true, false},
		{"0x1.", true, false, false, false},
		{".5", true, true, false, false},
		{"- .5", true, true, false, false},
		{" + 2", true, false, true, false},
		{". 5", false, false, false, false},
		{"x", false, false, false, false},
		{"-a", false, false, false, false},
		{"", false, false, false, false},
	};
	for (const Predicate &p : cases) {
		EXPECT_EQ(Parser::isNumber(p.text), p.number) << p.text;
		EXPECT_EQ(Parser::isFloat(p.text), p.real) << p.text;
		EXPECT_EQ(Parser::isSigned(p.text), p.is_signed) << p.text;
		EXPECT_EQ(Parser::isUnsigned(p.text), p.is_unsigned) << p.text;
	}
	for (char c = 1; c < 127; c++) {
		bool expected = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
		EXPECT_EQ(Parser::isHexDigit(c), expected) << c;
	}
}

TEST(Parser, Literals) {
	Reader string = [](const char *s, String &out) { return Parser::readString(s, out, false); };
	Reader quoted = [](const char *s, String &out) { return Parser::readString(s, out, true); };
	Reader symbol = [](const char *s, String &out) { return Parser::readSymbol(s, out, false); };
	Reader quoted_symbol = [](const char *s, String &out) { return Parser::readSymbol(s, out, true); };
	const Case cases[] = {
		{"readString", string, " \"a\\tb\"", "a\tb", 7, ""},
		{"readString", string, "\"\\\"\\n\\r\"", "\"\n\r", 8, ""},
		{"readString", string, "\"a\\qb\"", "", 0, "can't read string\n\"a\\qb\"\n"},
		{"readString", string, "\"a\\\\b\"", "", 0, "can't read string\n\"a\\\\b\"\n"},
		{"readString", string, "\"a\nb\"", "", 0, "can't read string\n\"a\n"},
		{"readString", string, "\"abc", "", 0, "can't read string\n\"abc\n"},
		{"readString", string, "\"abc\\", "", 0, "can't read string\n\"abc\\\n"},
		{"readString", string, "abc", "", 0, "can't read string\nabc\n"},
		{"readString", quoted, "\"x\\\"y\" z", "\"x\\\"y\"", 6, ""},
		// an escaped backslash before the quote: the literal closes there
		{"readString", quoted, "\"a\\\\\" b", "\"a\\\\\"", 5, ""},
		{"readString", quoted, "\"a\\\nb\"", "", 0, "can't read string\n\"a\nb\"\n"},
		{"readString", quoted, "\"ab\\", "", 0, "can't read string\n\"ab\\\n"},
		{"readString", quoted, "\"\"", "\"\"", 2, ""},
		{"readSymbol", symbol, "'\\''", "'", 4, ""},
		{"readSymbol", quoted_symbol, "'x' ", "'x'", 3, ""},
		{"readSymbol", symbol, "\"x\"", "", 0, "can't read symbol\n\"x\"\n"},
		{"skipString", skip(Parser::skipString), "\"a\\\"b\"c", "", 6, ""},
		{"skipString", skip(Parser::skipString), "\"a", "", 0, "can't skip string\n\"a\n"},
		{"skipSymbol", skip(Parser::skipSymbol), "'x'", "", 3, ""},
		{"skipSymbol", skip(Parser::skipSymbol), "'x", "", 0, "can't skip symbol\n'x\n"},
	};
	for (const Case &c : cases) run(c);
}

TEST(Parser, Regions) {
	const Case cases[] = {
		{"readRegion ()", region('(', ')', false), "(a, (b))", "a, (b)", 8, ""},
		{"readRegion () keep", region('(', ')', true), " (a, (b)) x", "(a, (b))", 9, ""},
		{"readRegion 0,", region(0, ',', false), "a, b", "a", 1, ""},
		{"readRegion 0,", region(0, ',', false), "  f(a, b), c", "f(a, b)", 9, ""},
		{"readRegion 0,", region(0, ',', false), "{1, 2}, c", "{1, 2}", 6, ""},
		{"readRegion 0,", region(0, ',', false), "\"a,b\" x, y", "\"a,b\" x", 7, ""},
		{"readRegion 0,", region(0, ',', false), "' ,', 1", "' ,'", 4, ""},
		{"readRegion 0,", region(0, ',', false), "a b ", "a b ", 4, ""},
		{"readRegion 0,", region(0, ',', false), " x)", "", 0, "invalid count of '(' and ')' symbols\nx)\n"},
		{"readRegion 0;", region(0, ';', false), "a};", "", 0, "invalid count of '{' and '}' symbols\na};\n"},
		{"readRegion ()", region('(', ')', false), "(a", "a", 2, ""},
		{"readRegion ()", region('(', ')', false), "( a )", "a ", 5, ""},
		{"readRegion ()", region('(', ')', false), "x(a)", "", 0, "can't read '(' to ')' region\nx(a)\n"},
		{"readRegion ()", region('(', ')', false), "(\")\" , ')')", "\")\" , ')'", 11, ""},
		{"readRegion ()", region('(', ')', false), "(\"a)", "", 0, "can't read string\n\"a)\n"},
		{"readRegion ()", region('(', ')', false), "(a // c)\n b)", "a // c)\n b", 12, ""},
		{"readRegion ()", region('(', ')', false), "(a // c\r\\\nd)\nb)", "a // c\nd)\nb", 15, ""},
		{"readRegion ()", region('(', ')', false), "(/*/)*/x)", "/*/)*/x", 9, ""},
		{"readRegion ()", region('(', ')', false), "(a /* b", "a /* b", 7, ""},
		{"readRegion {}", region('{', '}', false), "{a{b}c}", "a{b}c", 7, ""},
		{"readRegion <>", region('<', '>', false), "<file.h> x", "file.h", 8, ""},
		{"readRegion <>", region('<', '>', false), "<(>)>", "", 0, "invalid count of '<' and '>' symbols\n<(>)>\n"},
		{"readRegion %%", region('%', '%', false), "%a", "a", 2, ""},
		{"readRegion %%", region('%', '%', false), "a", "", 0, "can't read '%' to '%' region\na\n"},
	};
	for (const Case &c : cases) run(c);
}

TEST(Parser, LinesAndComments) {
	Reader line = [](const char *s, String &out) { return Parser::readLine(s, out); };
	Reader joined = [](const char *s, String &out) { return Parser::readLine(s, out, true); };
	Reader word = [](const char *s, String &out) { return Parser::readWord(s, out); };
	Reader token = [](const char *s, String &out) { return Parser::readToken(s, out, ",)"); };
	Reader nul_token = [](const char *s, String &out) { return Parser::readToken(s, out, ""); };
	Reader space_token = [](const char *s, String &out) { return Parser::readToken(s, out, " ,"); };
	const Case cases[] = {
		{"readLine", line, "\n\n  abc\r\ndef", "abc", 8, ""},
		{"readLine", line, "a\\\nb", "a\\", 2, ""},
		{"readLine", joined, "a\\\nb\nc", "a\nb", 4, ""},
		{"readLine", line, "", "", 0, ""},
		{"readWord", word, " ab\tc", "ab", 3, ""},
		{"readWord", word, "x", "x", 1, ""},
		{"readToken", token, "  abc,d", "abc", 5, ""},
		{"readToken", token, ", x", ",", 1, ""},
		{"readToken", token, "a b", "a", 1, ""},
		{"readToken", token, "  ", "", 2, ""},
		{"readToken", nul_token, "ab", "ab", 2, ""},
		{"readToken", space_token, " a b", "a", 2, ""},
		{"skipComment", skip(Parser::skipComment), "/*/ x */y", "", 8, ""},
		{"skipComment", skip(Parser::skipComment), "/*/", "", 3, ""},
		{"skipComment", skip(Parser::skipComment), "/**/x", "", 4, ""},
		{"skipComment", skip(Parser::skipComment), "  // a\nb", "", 7, ""},
		{"skipComment", skip(Parser::skipComment), "// a", "", 4, ""},
		{"skipComment", skip(Parser::skipComment), "/* a", "", 4, ""},
		{"skipComment", skip(Parser::skipComment), "  x", "", 2, ""},
		{"skipComment", skip(Parser::skipComment), "/", "", 0, ""},
		{"skipWord", skip(Parser::skipWord), "\n ab c", "", 4, ""},
	};
	for (const Case &c : cases) run(c);

	uint32_t lines = 0;
	EXPECT_EQ(Parser::skipComment("/*\n\n*/x", &lines), 6u);
	EXPECT_EQ(lines, 2u);
	lines = 0;
	EXPECT_EQ(Parser::skipComment("\n// a\nb", &lines), 6u);
	EXPECT_EQ(lines, 1u);

	EXPECT_EQ(Parser::skipLines("a\nb\nc", 2), 4u);
	EXPECT_EQ(Parser::skipLines("a", 5), 1u);
	EXPECT_EQ(Parser::skipLines("a\n", 0), 0u);
	EXPECT_EQ(Parser::skipLines("", 3), 0u);
	EXPECT_EQ(Parser::skipLines("\n\n\n", 3), 3u);

	EXPECT_EQ(Parser::skipLine("ab\\\ncd\nx", true), 6u);
	EXPECT_EQ(Parser::skipLine("ab\\\ncd\nx", false), 3u);
	EXPECT_EQ(Parser::skipLine("\n ab\n"), 4u);

	lines = 0;
	EXPECT_EQ(Parser::skipSpaces(" \n\r\n\tx", &lines), 5u);
	EXPECT_EQ(lines, 2u);
	EXPECT_EQ(Parser::skipSpaces("\v x"), 0u);
	EXPECT_EQ(Parser::skipToken(" a,b", ","), 2u);

	EXPECT_TRUE(Parser::isComment("  //"));
	EXPECT_TRUE(Parser::isComment("\n/*"));
	EXPECT_FALSE(Parser::isComment("/ /"));
	EXPECT_FALSE(Parser::isComment("/"));
}

TEST(Parser, Characters) {
	EXPECT_EQ(Parser::expectChar(" ;", ';'), 2u);
	EXPECT_EQ(Parser::expectChar("\n;", ';'), 2u);
	EXPECT_EQ(Parser::expectChar("\n;", '\n'), 1u);
	EXPECT_EQ(Parser::expectChar(" \t\r\n", '\n'), 4u);
	EXPECT_EQ(thrown([] { Parser::expectChar("x", ';'); }), "expecting ';'\n");
	EXPECT_EQ(thrown([] { Parser::expectChar("  \n", ';'); }), "expecting ';'\n");
	// the terminating NUL is never the expected character
	EXPECT_NE(thrown([] { Parser::expectChar("", 0); }), "<nothing thrown>");
	uint32_t lines = 0;
	EXPECT_EQ(Parser::expectChar("\n\n (", '(', &lines), 4u);
	EXPECT_EQ(lines, 2u);
	lines = 0;
	EXPECT_EQ(Parser::expectChar("\r\n", '\n', &lines), 2u);
	EXPECT_EQ(lines, 0u);

	EXPECT_EQ(Parser::peekChar("  ("), static_cast<uint32_t>('('));
	EXPECT_EQ(Parser::peekChar(" "), 0u);
	EXPECT_EQ(Parser::peekChar("\xff"), 255u);

	EXPECT_TRUE(Parser::isBOM("\xEF\xBB\xBF"));
	EXPECT_TRUE(Parser::isBOM("\xFF\xFEx"));
	EXPECT_TRUE(Parser::isBOM("\xFE\xFF"));
	EXPECT_FALSE(Parser::isBOM("\xEF\xBB"));
	EXPECT_FALSE(Parser::isBOM(" \xEF\xBB\xBF"));
	EXPECT_FALSE(Parser::isBOM(""));
}

TEST(Parser, Text) {
	struct TextCase {
		std::string bytes;
		std::string out;
		uint32_t count;
	};
	const TextCase cases[] = {
		{std::string("\xFF\xFE" "A\0\0\0", 6), "A", 4},
		{std::string("\xFE\xFF\0A\0\0", 6), "A", 4},
		{std::string("\xFF\xFE\xAC\x20\0\0", 6), "\xE2\x82\xAC", 4},
		// an odd length and no zero unit: whole units only, nothing past the end
		{std::string("\xFF\xFE" "A\0B", 5), "A", 4},
		{std::string("\xFE\xFF", 2), "", 2},
		{"\xEF\xBB\xBF" "abc", "abc", 6},
		{"plain text", "plain text", 10},
		{std::string("ab\0cd", 5), "ab", 2},
	};
	for (const TextCase &c : cases) {
		// an exact heap copy without a terminator, for the sanitizer
		std::vector<char> bytes(c.bytes.begin(), c.bytes.end());
		String out("stale");
		EXPECT_EQ(Parser::readText(bytes.data(), static_cast<uint32_t>(bytes.size()), out), c.count);
		EXPECT_EQ(std::string(out.get(), out.size()), c.out);
	}
	String out("x");
	EXPECT_EQ(Parser::readText("hello", 3, out, true), 3u);
	EXPECT_STREQ(out.get(), "xhel");
}

TEST(Error, ThrowsTheFormattedString) {
	EXPECT_EQ(thrown([] { throwError("can't get %u function\n", 7u); }), "can't get 7 function\n");
	EXPECT_EQ(thrown([] { throwError("%s is not a constant variable\n", "x"); }), "x is not a constant variable\n");
	EXPECT_EQ(thrown([] { throwError("plain\n"); }), "plain\n");
}
