// The printf and scanf engines of String: the system's own literal forms, the
// directives handed to the platform's formatter (which must consume exactly
// their own arguments), and scanf's tokens, conversions and buffer bounds.
#include "core/String.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

using Vexa::String;

namespace {

template <class... A>
std::string c_format(const char *format, A... args) {
	char buffer[4096];
	snprintf(buffer, sizeof(buffer), format, args...);
	return buffer;
}

String through_vformat(const char *format, ...) {
	va_list args;
	va_start(args, format);
	String s = String::vformat(format, args);
	va_end(args);
	return s;
}

} // namespace

TEST(StringFormat, IntegerLiteralFormsMatchTheCLibrary) {
	const int32_t signed32[] = {0, 1, -1, 42, INT32_MAX, INT32_MIN};
	for (int32_t v : signed32) {
		SCOPED_TRACE(v);
		EXPECT_EQ(String::format("%d|%i|%u|%x|%o", v, v, v, v, v).get(),
			c_format("%d|%i|%u|%x|%o", v, v, (unsigned)v, (unsigned)v, (unsigned)v));
	}
	const int64_t signed64[] = {0, -1, INT64_MAX, INT64_MIN, 0x123456789abcdefll, 4294967296ll};
	for (int64_t v : signed64) {
		SCOPED_TRACE(v);
		unsigned long long u = (unsigned long long)v;
		EXPECT_EQ(String::format("%ld|%li|%lu|%lx|%lo", v, v, u, u, u).get(),
			c_format("%lld|%lli|%llu|%llx|%llo", (long long)v, (long long)v, u, u, u));
		EXPECT_EQ(String::format("%lld|%lli|%llu|%llx|%llo", v, v, u, u, u).get(),
			c_format("%lld|%lli|%llu|%llx|%llo", (long long)v, (long long)v, u, u, u));
	}
	EXPECT_STREQ(String::format("%d", INT32_MIN).get(), "-2147483648");
	EXPECT_STREQ(String::format("%lu", 18446744073709551615ull).get(), "18446744073709551615");
}

TEST(StringFormat, OwnForms) {
	EXPECT_STREQ(String::format("%b", 5u).get(), "101");
	EXPECT_STREQ(String::format("%llb", 0ull).get(), "0");
	EXPECT_STREQ(String::format("%lb|%d", 0x8000000000000001ull, 3).get(),
		"1000000000000000000000000000000000000000000000000000000000000001|3");
	EXPECT_STREQ(String::format("%x", 255u).get(), "ff");
	EXPECT_STREQ(String::format("%g", 1234567.0).get(), "1.234567e6");
	EXPECT_STREQ(String::format("%g", 0.00001).get(), "1.0e-5");
	EXPECT_STREQ(String::format("%g", 123.0).get(), "123.000000");
	EXPECT_STREQ(String::format("%f", 0.5).get(), "0.500000");
	EXPECT_STREQ(String::format("%f", 1.5).get(), "1.500000");
	EXPECT_STREQ(String::format("%lf", 0.1).get(), "0.100000000000");
	EXPECT_STREQ(String::format("%lg", 1e-20).get(), "1.0e-20");
	EXPECT_STREQ(String::format("%f|%f|%f", -0.0, (double)NAN, -(double)INFINITY).get(), "0.000000|-nan|-inf");
	EXPECT_STREQ(String::format("%f", 1e20).get(), "100000000000000000000.000000");
	EXPECT_STREQ(String::format("%s|%c|%s", "ab", 'x', "cd").get(), "ab|x|cd");
	EXPECT_STREQ(String::format("[%s][%c]", (const char *)nullptr, 0).get(), "[][]");
	EXPECT_STREQ(String::format("100%%").get(), "100%");
	EXPECT_STREQ(String::format("tail %").get(), "tail ");
	EXPECT_STREQ(String::format("tail %08l").get(), "tail ");
	EXPECT_STREQ(String::format("").get(), "");
	EXPECT_STREQ(through_vformat("%s=%u", "n", 7u).get(), "n=7");
}

TEST(StringFormat, SizeForms) {
	EXPECT_STREQ(String::format("%zu|%zx|%d", (size_t)SIZE_MAX, (size_t)255, 9).get(),
		"18446744073709551615|ff|9");
	EXPECT_STREQ(String::format("%zu|%d", sizeof(uint64_t), -1).get(), "8|-1");
	EXPECT_EQ(String::format("%5zu|%d", (size_t)42, 7), "   42|7");
}

TEST(StringFormat, PlatformDirectivesConsumeExactlyTheirArguments) {
	// every directive is followed by another argument, which must still
	// come out right
	EXPECT_STREQ(String::format("%08x|%d", 255u, 1).get(), "000000ff|1");
	EXPECT_STREQ(String::format("%5.2f|%d", 3.14159, 2).get(), " 3.14|2");
	EXPECT_STREQ(String::format("%5s|%d", "ab", 3).get(), "   ab|3");
	EXPECT_STREQ(String::format("%-5s|%d", "ab", 3).get(), "ab   |3");
	EXPECT_STREQ(String::format("%.2s|%s", "abcdef", "z").get(), "ab|z");
	EXPECT_STREQ(String::format("%-4c|%d", 'q', 4).get(), "q   |4");
	EXPECT_STREQ(String::format("%08llx|%d", 0x123456789ull, 5).get(), "123456789|5");
	EXPECT_STREQ(String::format("%016llx|%d", 0xabcull, 5).get(), "0000000000000abc|5");
	EXPECT_STREQ(String::format("%5ld|%d", (int64_t)-1, 6).get(), "   -1|6");
	EXPECT_STREQ(String::format("%-12lu|%d", 4294967296ull, 6).get(), "4294967296  |6");
	EXPECT_STREQ(String::format("%+d|%d", 7, 8).get(), "+7|8");
	EXPECT_STREQ(String::format("%5X|%d", 0xabcu, 9).get(), "  ABC|9");
	EXPECT_STREQ(String::format("%4o|%d", 8u, 9).get(), "  10|9");
	EXPECT_STREQ(String::format("%*d|%-*.*f|%d", 4, 7, 6, 1, 2.25, 10).get(), "   7|2.2   |10");
	EXPECT_STREQ(String::format("%e|%d", 1234.5, 11).get(), "1.234500e+03|11");
	EXPECT_STREQ(String::format("%5s|%d", (const char *)nullptr, 12).get(), "     |12");

	// the same directives give what the C library gives where the forms agree
	EXPECT_EQ(String::format("%-10.3e", 1e-7).get(), c_format("%-10.3e", 1e-7));
	EXPECT_EQ(String::format("%+.4d", -12).get(), c_format("%+.4d", -12));
	EXPECT_EQ(String::format("%10.4G", 123456.0).get(), c_format("%10.4G", 123456.0));

	// a wide field is not cut at the platform buffer's size
	String wide = String::format("%2000d|%s", 1, "end");
	EXPECT_EQ(wide.size(), 2004u);
	EXPECT_EQ(wide.get(), std::string(1999, ' ') + "1|end");
}

TEST(StringFormat, PrintfReplacesTheText) {
	String s("abc");
	EXPECT_STREQ(s.printf("x").get(), "x");
	EXPECT_STREQ(s.printf("%d-%s", 5, "y").get(), "5-y");
	std::string long_text(200, 'k');
	EXPECT_EQ(s.printf("<%s>", long_text.c_str()).get(), "<" + long_text + ">");
	EXPECT_STREQ(s.printf("").get(), "");
	String empty;
	EXPECT_STREQ(empty.printf("").get(), "");
	String big = String::format("%s%s", long_text.c_str(), long_text.c_str());
	EXPECT_EQ(big.size(), 400u);
	EXPECT_TRUE(big.isOwned());
}

TEST(StringFormat, ScanfTokensAndConversions) {
	int32_t w = 0, h = 0;
	EXPECT_EQ(String("w=12 h=7").scanf("w=%d h=%d", &w, &h), 2u);
	EXPECT_EQ(w, 12);
	EXPECT_EQ(h, 7);
	w = h = 0;
	EXPECT_EQ(String("w=12 h=7").scanf("w=%d;h=%d", &w, &h), 1u);
	EXPECT_EQ(w, 12);
	EXPECT_EQ(h, 0);

	uint32_t u = 0, x = 0, o = 0, b = 0;
	int32_t d = 0;
	float f = 0;
	double lf = 0;
	char name[16];
	EXPECT_EQ(String("name 0x1f,-42 17 0b110 0x10 0.1 0.1 rest")
				  .scanf("%s %x,%d %o %b %u %f %lf", name, &x, &d, &o, &b, &u, &f, &lf),
		8u);
	EXPECT_STREQ(name, "name");
	EXPECT_EQ(x, 31u);
	EXPECT_EQ(d, -42);
	EXPECT_EQ(o, 15u);
	EXPECT_EQ(b, 6u);
	EXPECT_EQ(u, 16u);
	EXPECT_EQ(f, 0.1f);
	EXPECT_EQ(lf, 0.1);

	int64_t ld = 0;
	uint64_t lu = 0, llx = 0, lo = 0, lb = 0;
	EXPECT_EQ(String("-9223372036854775808 18446744073709551615 ffffffffff 777 101")
				  .scanf("%ld %llu %llx %lo %lb", &ld, &lu, &llx, &lo, &lb),
		5u);
	EXPECT_EQ(ld, INT64_MIN);
	EXPECT_EQ(lu, UINT64_MAX);
	EXPECT_EQ(llx, 0xffffffffffull);
	EXPECT_EQ(lo, 511u);
	EXPECT_EQ(lb, 5u);

	// a token ends at the format's next character even when the parser would
	// read on
	uint32_t first = 0, second = 0;
	EXPECT_EQ(String("1253").scanf("%u5%u", &first, &second), 2u);
	EXPECT_EQ(first, 12u);
	EXPECT_EQ(second, 3u);

	// an unknown directive stores nothing and takes no argument; a width
	// on a number is ignored
	d = 0;
	EXPECT_EQ(String("z 123456").scanf("%c %2d", &d), 1u);
	EXPECT_EQ(d, 123456);
	EXPECT_EQ(String("").scanf("%d", &d), 0u);
	EXPECT_EQ(String("5").scanf("%", &d), 0u);
}

TEST(StringFormat, ScanfStringWidthBoundsTheBuffer) {
	struct Guarded {
		char text[4];
		char guard[4];
	} buffer;
	memset(&buffer, '#', sizeof(buffer));
	uint32_t n = 0;
	// the width is a maximum character count: the field ends there, as in C
	EXPECT_EQ(String("abcdef 9").scanf("%3s%u", buffer.text, &n), 1u);
	EXPECT_STREQ(buffer.text, "abc");
	EXPECT_EQ(memcmp(buffer.guard, "####", 4), 0);
	EXPECT_EQ(n, 0u);

	char c_text[4];
	unsigned c_n = 0;
	EXPECT_EQ(sscanf("abcdef 9", "%3s%u", c_text, &c_n), 1);
	EXPECT_STREQ(c_text, "abc");

	memset(&buffer, '#', sizeof(buffer));
	n = 0;
	EXPECT_EQ(String("ab 9").scanf("%3s %u", buffer.text, &n), 2u);
	EXPECT_STREQ(buffer.text, "ab");
	EXPECT_EQ(n, 9u);
	EXPECT_EQ(memcmp(buffer.guard, "####", 4), 0);
}
