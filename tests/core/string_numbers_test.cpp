// Number and UTF conversions of String, checked against the C library where the
// forms agree: integers against snprintf and strtoull, the float parsers bit for
// bit against strtod/strtof, and the fixed float form against the exact decimal
// expansion that glibc prints for a double.
#include "core/String.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using Vexa::String;

namespace {

template <class T>
uint64_t bits(T v) {
	uint64_t b = 0;
	memcpy(&b, &v, sizeof(v));
	return b;
}

std::string binary(uint64_t v) {
	std::string s;
	do {
		s.insert(s.begin(), (char)('0' + (v & 1)));
		v >>= 1;
	} while (v != 0);
	return s;
}

template <class... A>
std::string c_format(const char *format, A... args) {
	char buffer[2048];
	snprintf(buffer, sizeof(buffer), format, args...);
	return buffer;
}

// The fixed form with `digits` fraction digits, rounded half up on the exact
// value: glibc prints every double exactly with enough digits, so only the
// rounding is done here.
std::string reference_fixed(double v, uint32_t digits) {
	std::string sign;
	if (v < 0) sign = "-", v = -v;
	std::string exact = c_format("%.1100f", v);
	size_t dot = exact.find('.');
	std::string kept = exact.substr(0, dot) + exact.substr(dot + 1, digits);
	if (exact[dot + 1 + digits] >= '5') {
		size_t i = kept.size();
		while (i > 0 && kept[i - 1] == '9') kept[--i] = '0';
		if (i == 0) kept.insert(kept.begin(), '1');
		else kept[i - 1]++;
	}
	if (digits != 0) kept.insert(kept.size() - digits, ".");
	return sign + kept;
}

double random_double(std::mt19937_64 &random) {
	for (;;) {
		uint64_t b = random();
		double v;
		memcpy(&v, &b, sizeof(v));
		if (std::isfinite(v)) return v;
	}
}

// a random decimal text of the float grammar, exponent in [-range, range]
std::string random_decimal(std::mt19937_64 &random, int range) {
	std::string s;
	if (random() % 4 == 0) s += random() % 2 ? '-' : '+';
	uint32_t integer = random() % 25, fraction = random() % 25;
	if (integer + fraction == 0) integer = 1;
	for (uint32_t i = 0; i < integer; i++) s += (char)('0' + random() % 10);
	if (fraction != 0 || random() % 2) s += '.';
	for (uint32_t i = 0; i < fraction; i++) s += (char)('0' + random() % 10);
	if (random() % 4 != 0) {
		s += random() % 2 ? 'e' : 'E';
		int e = (int)(random() % (2 * range + 1)) - range;
		if (e >= 0 && random() % 2) s += '+';
		s += std::to_string(e);
	}
	return s;
}

} // namespace

TEST(StringNumbers, IntegerPrintersMatchTheCLibrary) {
	std::mt19937_64 random(1);
	std::vector<uint64_t> values = {0, 1, 7, 255, 0x7fffffff, 0x80000000u, 0xffffffffu, 0x100000000ull,
		0x7fffffffffffffffull, 0x8000000000000000ull, 0xffffffffffffffffull};
	for (int i = 0; i < 200; i++) values.push_back(random() >> (random() % 64));
	for (uint64_t v : values) {
		uint32_t v32 = (uint32_t)v;
		int32_t i32 = (int32_t)v32;
		int64_t i64 = (int64_t)v;
		SCOPED_TRACE(v);
		EXPECT_EQ(String().appendu32(v32, 10).get(), c_format("%u", v32));
		EXPECT_EQ(String().appendu32(v32, 16).get(), c_format("%x", v32));
		EXPECT_EQ(String().appendu32(v32, 8).get(), c_format("%o", v32));
		EXPECT_EQ(String().appendu32(v32, 2).get(), binary(v32));
		EXPECT_EQ(String().appendu64(v, 10).get(), c_format("%llu", (unsigned long long)v));
		EXPECT_EQ(String().appendu64(v, 16).get(), c_format("%llx", (unsigned long long)v));
		EXPECT_EQ(String().appendu64(v, 8).get(), c_format("%llo", (unsigned long long)v));
		EXPECT_EQ(String().appendu64(v, 2).get(), binary(v));
		// negative values: sign and magnitude in decimal, the bit pattern otherwise
		EXPECT_EQ(String().appendi32(i32, 10).get(), c_format("%d", i32));
		EXPECT_EQ(String().appendi32(i32, 16).get(), c_format("%x", v32));
		EXPECT_EQ(String().appendi32(i32, 2).get(), binary(v32));
		EXPECT_EQ(String().appendi64(i64, 10).get(), c_format("%lld", (long long)i64));
		EXPECT_EQ(String().appendi64(i64, 16).get(), c_format("%llx", (unsigned long long)v));
		EXPECT_EQ(String::fromu32(v32, 10), c_format("%u", v32).c_str());
		EXPECT_EQ(String::fromu64(v, 16), c_format("%llx", (unsigned long long)v).c_str());
		EXPECT_EQ(String::fromi32(i32, 10), c_format("%d", i32).c_str());
		EXPECT_EQ(String::fromi64(i64, 10), c_format("%lld", (long long)i64).c_str());
	}
	EXPECT_STREQ(String().appendi32(INT32_MIN, 10).get(), "-2147483648");
	EXPECT_STREQ(String().appendi64(INT64_MIN, 10).get(), "-9223372036854775808");
	EXPECT_STREQ(String().appendi32(-1, 2).get(), std::string(32, '1').c_str());
	EXPECT_STREQ(String().appendi64(-1, 16).get(), "ffffffffffffffff");
	EXPECT_STREQ(String("x").appendu32(0, 16).get(), "x0");
}

TEST(StringNumbers, FixedFormIsTheExactValueRoundedHalfUp) {
	std::mt19937_64 random(2);
	std::vector<double> values = {0.0, 0.1, 0.5, 1.5, 2.5, 0.125, 0.9999999, 1.0 / 3, 1e-45, 4.9406564584124654e-324,
		2.2250738585072014e-308, 3.4028235e38, 18446744073709551615.0, 18446744073709549568.0, 9007199254740993.0,
		1e300, DBL_MAX, 123456789.987654321};
	for (int i = 0; i < 300; i++) values.push_back(random_double(random));
	for (int i = 0; i < 300; i++) values.push_back((double)(random() % 100000000) / (double)(1u << (random() % 30)));
	for (double v : values) {
		v = std::fabs(v);
		for (uint32_t digits : {0u, 1u, 2u, 6u, 12u, 17u, 19u}) {
			SCOPED_TRACE(c_format("%a with %u digits", v, digits));
			EXPECT_EQ(String::fromf64(v, digits).get(), reference_fixed(v, digits));
			EXPECT_EQ(String::fromf64(-v, digits).get(), (v == 0 ? "" : "-") + reference_fixed(v, digits));
		}
		float f = (float)v;
		if (std::isfinite(f)) {
			for (uint32_t digits : {0u, 3u, 6u, 9u, 16u}) {
				SCOPED_TRACE(c_format("%a (f32) with %u digits", (double)f, digits));
				EXPECT_EQ(String::fromf32(f, digits).get(), reference_fixed(f, digits));
			}
		}
	}
	// the digit count is clamped to what the fraction can carry
	EXPECT_EQ(String::fromf64(0.1, 40), String::fromf64(0.1, 19));
	EXPECT_EQ(String::fromf32(0.1f, 40), String::fromf32(0.1f, 16));
}

TEST(StringNumbers, FloatPrinterForms) {
	struct Case {
		double value;
		uint32_t digits;
		bool compact, exponent;
		const char *text;
	} cases[] = {
		{1.5, 6, false, false, "1.500000"},
		{1.5, 6, true, false, "1.5"},
		{2.0, 3, true, false, "2.0"},
		{0.9999999, 6, false, false, "1.000000"},
		{1000.0, 0, true, false, "1000"},
		{0.00001, 6, false, true, "1.0e-5"},
		{123.0, 6, false, true, "123.000000"},
		{1234567.0, 6, false, true, "1.234567e6"},
		{0.5, 6, false, false, "0.500000"},
		{-0.0, 6, false, false, "0.000000"},
		{-0.0, 0, false, true, "0"},
		{NAN, 6, false, false, "-nan"},
		{-NAN, 6, false, true, "-nan"},
		{INFINITY, 6, false, false, "inf"},
		{-INFINITY, 12, true, true, "-inf"},
		{-2.5, 0, false, false, "-3"},
		{1e300, 6, false, true, "1.0e300"},
		{5e-324, 6, false, true, "0.494066e-323"},
		{18446744073709551616.0, 2, true, false, "18446744073709551616.0"},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.text);
		EXPECT_STREQ(String::fromf64(c.value, c.digits, c.compact, c.exponent).get(), c.text);
	}
	EXPECT_STREQ(String::fromf32(1e-45f, 6, false, true).get(), "1.401298e-45");
	EXPECT_STREQ(String::fromf32(3.4028235e38f, 6, false, true).get(), "0.340282e39");
	EXPECT_STREQ(String::fromf32(4294967296.0f, 1, false, false).get(), "4294967296.0");
	EXPECT_STREQ(String::fromf32(-0.0f, 3, false, false).get(), "0.000");
	EXPECT_STREQ(String::fromf32(NAN, 3, false, false).get(), "-nan");
	EXPECT_STREQ(String("v=").appendf64(0.25, 2).get(), "v=0.25");
}

TEST(StringNumbers, ExponentFormOfExtremeValuesParsesBack) {
	// the scaling power of ten must neither overflow nor lose itself in the
	// denormal range
	for (double v : {4.9406564584124654e-324, 1e-320, 2.2250738585072014e-308, 1e-300, DBL_MAX, 1e308}) {
		String text = String::fromf64(v, 12, true, true);
		SCOPED_TRACE(text.get());
		EXPECT_NE(text.find('e'), ~0u);
		EXPECT_NEAR(String::tof64(text.get()) / v, 1.0, 1e-11);
	}
	for (float v : {1e-45f, 1e-40f, FLT_MIN, 3.4028235e38f, 1e38f}) {
		String text = String::fromf32(v, 8, true, true);
		SCOPED_TRACE(text.get());
		EXPECT_NE(text.find('e'), ~0u);
		EXPECT_NEAR(String::tof32(text.get()) / v, 1.0f, v < FLT_MIN ? 1e-2f : 1e-6f);
	}
}

TEST(StringNumbers, CompactFixedFormRoundTrips) {
	std::mt19937_64 random(3);
	int tested = 0;
	while (tested < 2000) {
		double v = std::fabs(random_double(random));
		if (v < 1e-3) continue;
		tested++;
		String text = String::fromf64(v, 19, true, false);
		ASSERT_EQ(bits(String::tof64(text.get())), bits(v)) << text.get();
		float f = (float)v;
		if (!std::isfinite(f)) continue;
		String ftext = String::fromf32(f, 16, true, false);
		ASSERT_EQ(bits(String::tof32(ftext.get())), bits(f)) << ftext.get();
	}
}

TEST(StringNumbers, FloatParsersMatchStrtod) {
	std::vector<std::string> texts = {"0", "-0", "0.1", "1e-45", "-1e-45", "3.4028235e38", "3.40282357e38",
		"3.4028236e38", "1.7976931348623157e308", "1.7976931348623159e308", "4.9406564584124654e-324",
		"2.4703282292062327e-324", "2.4703282292062328e-324", "2e-324", "1e-400", "1e400", "-1e400",
		"7e-46", "7.1e-46", "18446744073709551615", "9007199254740993", "2.2250738585072011e-308",
		"0.000000000000000000000000000000000000000000001", "123456789012345678901234567890e-30",
		"00000000000000000000000000001.5", "1e99999999999999999999", "1e-99999999999999999999",
		"0e99999999999999999999", ".5", "5.", "-.25", "1.5e3", "+7"};
	std::mt19937_64 random(4);
	for (int i = 0; i < 5000; i++) texts.push_back(random_decimal(random, i % 2 ? 330 : 50));
	// the exact midpoints between neighbouring doubles, and texts a hair either
	// side of them, are where a parser that does not round correctly fails
	for (int i = 0; i < 300 && LDBL_MANT_DIG >= 64; i++) {
		double v = std::fabs(random_double(random));
		if (!std::isfinite(std::nextafter((float)v, INFINITY)) || !std::isfinite(std::nextafter(v, INFINITY))) continue;
		long double mid = ((long double)v + (long double)std::nextafter(v, INFINITY)) / 2;
		std::string exact = c_format("%.800Le", mid);
		texts.push_back(exact);
		std::string mantissa = exact.substr(0, exact.find('e')), power = exact.substr(exact.find('e'));
		texts.push_back(mantissa + "1" + power);
		float f = std::fabs((float)v);
		double fmid = ((double)f + (double)std::nextafter(f, INFINITY)) / 2;
		texts.push_back(c_format("%.200e", fmid));
	}
	for (const std::string &text : texts) {
		SCOPED_TRACE(text);
		char *end = nullptr;
		double expected = strtod(text.c_str(), &end);
		uint32_t size = 0;
		EXPECT_EQ(bits(String::tof64(text.c_str(), &size)), bits(expected));
		EXPECT_EQ(size, (uint32_t)(end - text.c_str()));
		float expected32 = strtof(text.c_str(), &end);
		EXPECT_EQ(bits(String::tof32(text.c_str(), &size)), bits(expected32));
		EXPECT_EQ(size, (uint32_t)(end - text.c_str()));
	}
}

TEST(StringNumbers, FloatParserGrammar) {
	struct Case {
		const char *text;
		double value;
		uint32_t size;
	} cases[] = {
		{"1.5e3", 1500, 5},
		{"-.25", -0.25, 4},
		{"1e", 1, 2},
		{"1e+x", 1, 3},
		{" \t\r\n+7.;", 7, 7},
		{".e5", 0, 3},
		{"-", 0, 1},
		{"abc", 0, 0},
		{"inf", 0, 0},
		{"nan", 0, 0},
		{"0x10", 0, 1},
		{"2.5f", 2.5, 3},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.text);
		uint32_t size = 99;
		EXPECT_EQ(String::tof64(c.text, &size), c.value);
		EXPECT_EQ(size, c.size);
		size = 99;
		EXPECT_EQ(String::tof32(c.text, &size), (float)c.value);
		EXPECT_EQ(size, c.size);
	}
	EXPECT_TRUE(std::signbit(String::tof64("-0")));
	EXPECT_TRUE(std::signbit(String::tof32("-0.0")));
	uint32_t size = 0;
	String s("x = 0.75;");
	EXPECT_EQ(s.tof64(4, &size), 0.75);
	EXPECT_EQ(size, 4u);
	EXPECT_EQ(s.tof64(100, &size), 0.0);
	EXPECT_EQ(size, 0u);
	EXPECT_EQ(String::tof64(nullptr, &size), 0.0);
}

TEST(StringNumbers, IntegerParsersMatchStrtoull) {
	std::mt19937_64 random(5);
	for (int i = 0; i < 1000; i++) {
		uint64_t v = random() >> (random() % 64);
		uint32_t size = 0;
		std::string text = c_format("%llu", (unsigned long long)v);
		EXPECT_EQ(String::tou64(text.c_str(), 10, &size), strtoull(text.c_str(), nullptr, 10));
		EXPECT_EQ(size, text.size());
		text = c_format("%llx", (unsigned long long)v);
		EXPECT_EQ(String::tou64(text.c_str(), 16, &size), v);
		EXPECT_EQ(size, text.size());
		text = c_format("0X%llX", (unsigned long long)v);
		EXPECT_EQ(String::tou64(text.c_str(), 10, &size), v);
		EXPECT_EQ(size, text.size());
		text = c_format("%llo", (unsigned long long)v);
		EXPECT_EQ(String::tou64(text.c_str(), 8, &size), v);
		text = "0b" + binary(v);
		EXPECT_EQ(String::tou64(text.c_str(), 10, &size), v);
		EXPECT_EQ(size, text.size());
		text = c_format("%lld", (long long)v);
		EXPECT_EQ(String::toi64(text.c_str(), 10, &size), (int64_t)v);
		EXPECT_EQ(size, text.size());
		text = c_format("%d", (int32_t)v);
		EXPECT_EQ(String::toi32(text.c_str(), 10, &size), (int32_t)v);
		EXPECT_EQ(String::tou32(text.c_str() + (text[0] == '-'), 10), (uint32_t)std::llabs((int32_t)v));
	}
}

TEST(StringNumbers, IntegerParserEdges) {
	struct Case {
		const char *text;
		uint32_t radix;
		uint64_t value;
		uint32_t size;
	} unsigned_cases[] = {
		{"  0x1F", 10, 31, 6},
		{"0b101", 10, 5, 5},
		{"0b101", 16, 0xb101, 5},
		{"12ab", 10, 12, 2},
		{"12ab", 16, 0x12ab, 4},
		{"7", 3, 0, 0},
		{"0x1f", 3, 31, 4},
		{"0x", 10, 0, 2},
		{"-5", 10, 0, 0},
		{"777", 8, 511, 3},
		{"778", 8, 63, 2},
		{"4294967295", 10, 4294967295u, 10},
		{"18446744073709551615", 10, 0xffffffffffffffffull, 20},
	};
	for (const Case &c : unsigned_cases) {
		SCOPED_TRACE(c.text);
		uint32_t size = 99;
		EXPECT_EQ(String::tou64(c.text, c.radix, &size), c.value);
		EXPECT_EQ(size, c.size);
		EXPECT_EQ(String::tou32(c.text, c.radix, &size), (uint32_t)c.value);
	}
	// overflow wraps, in unsigned arithmetic
	EXPECT_EQ(String::tou32("4294967296"), 0u);
	EXPECT_EQ(String::tou32("4294967297"), 1u);
	EXPECT_EQ(String::tou64("18446744073709551616"), 0u);

	uint32_t size = 0;
	EXPECT_EQ(String::toi32(" -42", 10, &size), -42);
	EXPECT_EQ(size, 4u);
	EXPECT_EQ(String::toi32("-2147483648", 10, &size), INT32_MIN);
	EXPECT_EQ(String::toi32("2147483648"), INT32_MIN);
	EXPECT_EQ(String::toi32("-2147483649"), INT32_MAX);
	EXPECT_EQ(String::toi64("-9223372036854775808"), INT64_MIN);
	EXPECT_EQ(String::toi64("+9223372036854775807"), INT64_MAX);
	EXPECT_EQ(String::toi32("- 5", 10, &size), -5);
	EXPECT_EQ(size, 3u);
	EXPECT_EQ(String::toi32("-", 10, &size), 0);
	EXPECT_EQ(size, 1u);
	EXPECT_EQ(String::toi32("-0x10"), -16);

	String s("a=0x20, b=-7");
	EXPECT_EQ(s.tou32(10, 2, &size), 32u);
	EXPECT_EQ(size, 4u);
	EXPECT_EQ(s.tou64(16, 4, &size), 0x20u);
	EXPECT_EQ(s.toi32(10, 10, &size), -7);
	EXPECT_EQ(String("k: -7").toi64(10, 2, &size), -7);
	EXPECT_EQ(size, 3u);
	EXPECT_EQ(s.tou32(10, 1000, &size), 0u);
	EXPECT_EQ(size, 0u);
}

TEST(StringNumbers, Utf8Encoding) {
	struct Case {
		uint32_t code;
		const char *bytes;
	} cases[] = {
		{0x41, "\x41"},
		{0x7f, "\x7f"},
		{0x80, "\xc2\x80"},
		{0x7ff, "\xdf\xbf"},
		{0x905, "\xe0\xa4\x85"},
		{0x20ac, "\xe2\x82\xac"},
		{0xd800, "\xed\xa0\x80"},
		{0xffff, "\xef\xbf\xbf"},
		{0x10000, "\xf0\x90\x80\x80"},
		{0x10ffff, "\xf4\x8f\xbf\xbf"},
		{0x1fffff, "\xf7\xbf\xbf\xbf"},
		{0x200000, "\xf8\x88\x80\x80\x80"},
		{0x3ffffff, "\xfb\xbf\xbf\xbf\xbf"},
		{0x4000000, "\xfc\x84\x80\x80\x80\x80"},
		{0x7fffffff, "\xfd\xbf\xbf\xbf\xbf\xbf"},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.code);
		String s;
		EXPECT_EQ(s.appendUtf8(c.code), (uint32_t)strlen(c.bytes));
		EXPECT_STREQ(s.get(), c.bytes);
		uint32_t code = 0;
		EXPECT_EQ(String::readUtf8(s.get(), &code), (uint32_t)strlen(c.bytes));
		EXPECT_EQ(code, c.code);
		uint32_t units[4] = {9, 9, 9, 9};
		EXPECT_EQ(s.toUtf32(units, 4), 2u);
		EXPECT_EQ(units[0], c.code);
		EXPECT_EQ(units[1], 0u);
	}
	String s("x");
	EXPECT_EQ(s.appendUtf8(0), 1u);
	EXPECT_STREQ(s.get(), "x");
}

TEST(StringNumbers, Utf8Decoding) {
	String text("a\xe0\xa4\x85\xf0\x9f\x98\x80" "b\xbf");
	uint16_t wide[16];
	EXPECT_EQ(text.toUtf16(wide, 16), 5u);
	const uint16_t expected16[] = {'a', 0x905, 'b', 0xbf, 0};
	EXPECT_EQ(memcmp(wide, expected16, sizeof(expected16)), 0);
	uint32_t full[16];
	EXPECT_EQ(text.toUtf32(full, 16), 6u);
	const uint32_t expected32[] = {'a', 0x905, 0x1f600, 'b', 0xbf, 0};
	EXPECT_EQ(memcmp(full, expected32, sizeof(expected32)), 0);

	// the room given counts the terminating 0
	uint32_t small[3] = {7, 7, 7};
	EXPECT_EQ(text.toUtf32(small, 2), 2u);
	EXPECT_EQ(small[0], (uint32_t)'a');
	EXPECT_EQ(small[1], 0u);
	EXPECT_EQ(small[2], 7u);
	EXPECT_EQ(text.toUtf32(small, 0), 0u);
	EXPECT_EQ(small[0], (uint32_t)'a');
	EXPECT_EQ(text.toUtf16(nullptr, -1), 0u);

	// a sequence cut by the end of the text ends the conversion
	String cut("ab\xe2\x82");
	EXPECT_EQ(cut.toUtf32(full, 16), 3u);
	EXPECT_EQ(full[2], 0u);
	uint32_t code = 99;
	EXPECT_EQ(String::readUtf8("\xe2\x82", &code), 0u);
	EXPECT_EQ(String::readUtf8("", &code), 0u);
	EXPECT_EQ(code, 0u);
}

TEST(StringNumbers, WideUnitsToUtf8) {
	const uint16_t units16[] = {'h', 0xe9, 0x20ac, 0xd83d, 0xde00, 0, 'x'};
	EXPECT_STREQ(String::fromUtf16(units16).get(), "h\xc3\xa9\xe2\x82\xac\xed\xa0\xbd\xed\xb8\x80");
	EXPECT_STREQ(String::fromUtf16(units16, 2).get(), "h\xc3\xa9");
	const uint32_t units32[] = {0x1f600, 'z', 0};
	EXPECT_STREQ(String::fromUtf32(units32).get(), "\xf0\x9f\x98\x80z");
	EXPECT_TRUE(String::fromUtf32((const uint32_t *)nullptr).empty());
	std::vector<uint32_t> many(300, 0x20ac);
	String big = String::fromUtf32(many.data(), (uint32_t)many.size());
	EXPECT_EQ(big.size(), 900u);
	std::vector<uint32_t> back(301);
	EXPECT_EQ(big.toUtf32(back.data(), 301), 301u);
	EXPECT_EQ(std::vector<uint32_t>(back.begin(), back.end() - 1), many);
}

TEST(StringNumbers, NamespaceFloatFunctions) {
	for (double v : {0.0, -0.0, 0.5, -0.5, 1.0, -1.0, 2.75, -2.75, -3.0, 1e15 + 0.5, -1e15 - 0.5, 4.9e-324, -4.9e-324,
			 9.2e18, -9.2e18}) {
		SCOPED_TRACE(v);
		EXPECT_EQ(Vexa::floor(v), std::floor(v));
		float f = (float)v;
		if (std::fabs(f) < 2e9f) {
			EXPECT_EQ(Vexa::floor(f), std::floor(f));
		}
	}
	// out of the integer range, the value comes back unchanged
	EXPECT_EQ(Vexa::floor(1e19), 1e19);
	EXPECT_EQ(Vexa::floor(-1e300), -1e300);
	EXPECT_EQ(Vexa::floor(3e9f), 3e9f);
	EXPECT_EQ(Vexa::floor(-INFINITY), -INFINITY);
	EXPECT_TRUE(std::isnan(Vexa::floor(NAN)));
	EXPECT_TRUE(std::isnan(Vexa::floor((float)NAN)));

	for (double v : {0.0, 1.0, 4.9e-324, (double)INFINITY, -(double)INFINITY, (double)NAN}) {
		EXPECT_EQ(Vexa::isinf(v), std::isinf(v) != 0);
		EXPECT_EQ(Vexa::isnan(v), std::isnan(v) != 0);
		EXPECT_EQ(Vexa::isinf((float)v), std::isinf((float)v) != 0);
		EXPECT_EQ(Vexa::isnan((float)v), std::isnan((float)v) != 0);
		EXPECT_EQ(Vexa::fpclass(v), std::fpclassify(v));
	}
	EXPECT_EQ(Vexa::fpclass(1e-40f), std::fpclassify(1e-40f));
	EXPECT_EQ(Vexa::fpclass(1e-40f), FP_SUBNORMAL);
}
