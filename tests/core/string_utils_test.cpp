// The text utilities of String: quantities with units in both directions,
// percent-decoding, title and ASCII case, the edit distance (against a
// textbook full-matrix computation), the hashes and '#' colours.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/String.h"

using Vexa::String;

namespace {

std::string str(const String &s) {
	return std::string(s.get(), s.size());
}

const std::string deg = "\xc2\xb0";

} // namespace

TEST(StringUnits, Formatters) {
	struct Case {
		String text;
		std::string expected;
	} cases[] = {
		{String::fromAngle(12.5, 0), "12" + deg},
		{String::fromAngle(12.5, 1), "12" + deg + "30'"},
		{String::fromAngle(12.5, 2), "12" + deg + "30'0.00\""},
		{String::fromAngle(-370.25, 2), "-10" + deg + "15'0.00\""},
		{String::fromAngle(0.5 / 60.0, 2), "0" + deg + "0'30.00\""},
		{String::fromBytes(1023, 2), "1023 B"},
		{String::fromBytes(1536, 1), "1.5 KB"},
		{String::fromBytes(1 << 20, 0), "1 MB"},
		{String::fromBytes(3ull << 30, 2), "3.00 GB"},
		{String::fromBytes(1ull << 41, 1), "2.0 TB"},
		{String::fromHz(999, 1), "999 Hz"},
		{String::fromHz(1500, 1), "1.5 KHz"},
		{String::fromHz(2500000, 1), "2.5 MHz"},
		{String::fromHz(3000000000ull, 1), "3.0 GHz"},
		{String::fromHz(4000000000000ull, 1), "4.0 THz"},
		{String::fromMetres(0.0, 1), "0"},
		{String::fromMetres(0.5, 1), "50.0 cm"},
		{String::fromMetres(2e-7, 1), "0.2 \xce\xbcm"},
		{String::fromMetres(0.0005, 1), "0.5 mm"},
		{String::fromMetres(12.0, 0), "12 m"},
		{String::fromMetres(2500.0, 1), "2.5 km"},
		{String::fromMetres(-1.0, 1), "-1000000.0 \xce\xbcm"},
		{String::fromCount(999, 1), "999"},
		{String::fromCount(1500, 1), "1.5 K"},
		{String::fromCount(2000000, 1), "2.0 M"},
		{String::fromCount(3000000000ull, 1), "3.0 B"},
		{String::fromCount(4000000000000ull, 1), "4.0 T"},
	};
	for (const Case &c : cases) EXPECT_EQ(str(c.text), c.expected);
}

TEST(StringUnits, TimeSpans) {
	const uint64_t s = 1000000, m = 60 * s, h = 60 * m, d = 24 * h;
	struct Case {
		uint64_t us;
		uint32_t digits;
		std::string expected;
	} cases[] = {
		{0, 1, "0 us"},
		{500, 1, "500 us"},
		{1500, 1, "1.5 ms"},
		{2500000, 2, "2.50 s"},
		{90 * s, 1, "1 m 30 s"},
		{2 * m + 999999, 1, "2 m"},
		{65 * m, 1, "1:05"},
		{2 * h + 30 * m + 10 * s, 1, "2:30"},
		{d, 1, "24:00"},
		{2 * d + h, 1, "2 days 1:00"},
		{d + 1500, 1, "1 day 1.5 ms"},
		{365 * d, 1, "365 days"},
		{400 * d, 1, "1 year 35 days"},
		{730 * d + 90 * s, 1, "2 years 1 m 30 s"},
		// a span of whole years or days ends with its unit
		{730 * d, 1, "2 years"},
		{3 * d, 1, "3 days"},
	};
	for (const Case &c : cases) EXPECT_EQ(str(String::fromTime(c.us, c.digits)), c.expected) << c.us;
}

TEST(StringUnits, Parsers) {
	struct Case {
		const char *text;
		double value;
		uint32_t size;
	};
	auto check = [](const char *what, auto parse, std::initializer_list<Case> cases) {
		for (const Case &c : cases) {
			uint32_t size = 12345;
			double value = (double)parse(c.text, &size);
			EXPECT_DOUBLE_EQ(value, c.value) << what << " " << c.text;
			EXPECT_EQ(size, c.size) << what << " " << c.text;
		}
	};
	check("toBytes", [](const char *t, uint32_t *n) { return String::toBytes(t, n); },
		{{"2 KB", 2048, 4}, {"1.5mb", 1572864, 5}, {"1 gB", 1073741824.0, 4}, {"1\tTB", 1099511627776.0, 4}, {"10", 10, 2}, {"10 B", 10, 2},
			{"3 Kx", 3, 1}, {"5 XB", 0, 4}, {"abc", 0, 0}, {"-5 KB", 0, 5}});
	check("toHz", [](const char *t, uint32_t *n) { return String::toHz(t, n); },
		{{"2.5 GHz", 2.5e9, 7}, {"100hz", 100, 5}, {"3 khz", 3000, 5}, {"1MHZ", 1e6, 4}, {"2 THz", 2e12, 5}, {"7 XHz", 0, 5}, {"8", 8, 1}, {"9 H", 9, 1}});
	check("toMetres", [](const char *t, uint32_t *n) { return String::toMetres(t, n); },
		{{"5 mm", 0.005, 4}, {"3 km", 3000, 4}, {"2 \xce\xbcm", 2e-6, 5}, {"2 um", 2e-6, 4}, {"4 cm", 0.04, 4}, {"7 m", 7, 3}, {"9 xm", 0, 4},
			{"1.5", 1.5, 3}, {"6 ms", 6, 3}});
	check("toCount", [](const char *t, uint32_t *n) { return String::toCount(t, n); },
		{{"3k", 3000, 2}, {"2 M", 2e6, 3}, {"1.5 B", 1.5e9, 5}, {"4T", 4e12, 2}, {"7 x", 7, 1}});

	// conversions saturate instead of wrapping
	EXPECT_EQ(String::toCount("1e30"), ~0ull);
	EXPECT_EQ(String::toCount("1.8e19"), 18000000000000000000ull);
	EXPECT_EQ(String::toCount("-3"), 0u);
	// member forms read from a position
	String text("size: 2 KB at 3 GHz");
	uint32_t size = 0;
	EXPECT_EQ(text.toBytes(6, &size), 2048u);
	EXPECT_EQ(size, 4u);
	EXPECT_EQ(text.toHz(14), 3000000000ull);
	EXPECT_EQ(text.toCount(100), 0u) << "a position past the end reads nothing";
	EXPECT_DOUBLE_EQ(String("x 4 km").toMetres(1), 4000.0);
}

TEST(StringText, DecodeUrl) {
	struct Case {
		const char *src;
		int32_t length;
		std::string expected;
	} cases[] = {
		{"a%20b", -1, "a b"},
		{"%41%4a%4A", -1, "AJJ"},
		{"100%", -1, "100%"},
		{"%zz%4", -1, "%zz%4"},
		{"%41", 2, "%4"},
		{"abcdef", 3, "abc"},
		{"%00x", -1, std::string("\0x", 2)},
		{"", -1, ""},
	};
	for (const Case &c : cases) EXPECT_EQ(str(String::decodeUrl(c.src, c.length)), c.expected) << c.src;
	EXPECT_TRUE(String::decodeUrl(nullptr).empty());
}

TEST(StringText, CaseMapping) {
	EXPECT_EQ(str(String("hello_big world").capitalize(" ", "_")), "Hello Big World");
	EXPECT_EQ(str(String("jean-luc picard").capitalize("-", nullptr)), "Jean-Luc picard");
	EXPECT_EQ(str(String("\xc3\xa9lan vital").capitalize(" ", nullptr)), "\xc3\xa9lan Vital") << "a multi-byte letter clears the flag";
	EXPECT_EQ(str(String("a__b").capitalize(nullptr, "_")), "A  B");
	EXPECT_EQ(str(String("\xc3").capitalize(" ", " ")), "\xc3") << "a sequence cut by the end";
	EXPECT_EQ(str(String(std::string("a\0b", 3).c_str(), 3).capitalize(" ", " ")), std::string("A\0b", 3));

	String mixed("MiXeD \xc3\x84\xc3\xb6 123");
	EXPECT_EQ(str(mixed.tolower()), "mixed \xc3\x84\xc3\xb6 123");
	EXPECT_EQ(str(mixed.toupper()), "MIXED \xc3\x84\xc3\xb6 123");
}

namespace {

// the edit distance over the whole matrix, as in a textbook
uint32_t textbook(const std::string &a, const std::string &b) {
	std::vector<std::vector<uint32_t>> m(b.size() + 1, std::vector<uint32_t>(a.size() + 1));
	for (size_t i = 0; i <= a.size(); i++) m[0][i] = (uint32_t)i;
	for (size_t j = 0; j <= b.size(); j++) m[j][0] = (uint32_t)j;
	for (size_t j = 1; j <= b.size(); j++) {
		for (size_t i = 1; i <= a.size(); i++) {
			uint32_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
			m[j][i] = std::min({m[j][i - 1] + 1, m[j - 1][i] + 1, m[j - 1][i - 1] + cost});
		}
	}
	return m[b.size()][a.size()];
}

} // namespace

TEST(StringText, Distance) {
	struct Case {
		const char *a;
		const char *b;
		uint32_t expected;
	} cases[] = {
		{"sitting", "kitten", 3},
		{"", "abc", 3},
		{"abc", "", 3},
		{"abc", "abc", 0},
		{"flaw", "lawn", 2},
	};
	for (const Case &c : cases) EXPECT_EQ(String(c.a).distance(c.b, false), c.expected) << c.a << " " << c.b;
	EXPECT_EQ(String("abc").distance(nullptr, false), 3u);

	std::mt19937 random(11);
	for (int round = 0; round < 200; round++) {
		std::string a, b;
		for (int i = random() % 12; i > 0; i--) a.push_back("abcd"[random() % 4]);
		for (int i = random() % 12; i > 0; i--) b.push_back("abcd"[random() % 4]);
		EXPECT_EQ(String(a.c_str()).distance(b.c_str(), false), textbook(a, b)) << a << " " << b;
		// partial: the best of the tails str + k for k below the difference
		uint32_t best = textbook(a, b);
		if (b.size() > a.size()) {
			best = ~0u;
			for (size_t k = 0; k < b.size() - a.size(); k++) best = std::min(best, textbook(a, b.substr(k)));
		}
		EXPECT_EQ(String(a.c_str()).distance(b.c_str(), true), best) << a << " " << b;
	}
	EXPECT_EQ(String("world").distance("hello, world", true), 1u);
}

TEST(StringText, Hashes) {
	EXPECT_EQ(String().hash(), 131u);
	EXPECT_EQ(String("a").hash(), 132u * 131u + 97u);
	EXPECT_EQ(String("ab").hash(), (133u * 131u + 97u) * 131u + 98u);
	EXPECT_EQ(String("\xff").hash(), 132u * 131u - 1u) << "bytes count as signed";
	EXPECT_EQ(String("xab").hash(1), String("ab").hash());
	EXPECT_EQ(String("ab").hash(5), 131u) << "a position past the end hashes nothing";
	EXPECT_EQ(String("\xff").hash64(), 132ull * 131ull - 1ull);
	// the 32-bit hash is the 64-bit one cut to 32 bits
	String long_text("a longer text whose hash wraps around many times \xe2\x82\xac");
	EXPECT_EQ(long_text.hash(), (uint32_t)long_text.hash64());
	EXPECT_NE(long_text.hash64() >> 32, 0u);
}

TEST(StringText, Colors) {
	struct Case {
		const char *text;
		uint32_t pos;
		uint32_t expected;
	} cases[] = {
		{"#f00", 0, 0xff0000ffu},
		{"#00ff00", 0, 0xff00ff00u},
		{"#11223344", 0, 0x44332211u},
		{"#ABC", 0, 0xffccbbaau},
		{"#xyz", 0, 0xff000000u},
		{"#", 0, 0xff000000u},
		{"red", 0, 0xff00ffffu},
		{"", 0, 0xff00ffffu},
		{"color: #0000ff", 7, 0xffff0000u},
		{"#f00", 9, 0xff00ffffu},
	};
	for (const Case &c : cases) EXPECT_EQ(String(c.text).toColor(c.pos), c.expected) << c.text;
}
