// The small float formats against an independent decoder built on ldexp:
// every bit pattern decodes to its value and encodes back to itself, any float
// encodes to the nearest value towards zero (cut, not rounded), the boundary
// values of each format, and NaN staying NaN. Also the scalar helpers and the
// memory layout of vectors and matrices.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "core/Math.h"

using namespace Vexa;

namespace {

float fromBits(uint32_t u) {
	float f;
	memcpy(&f, &u, sizeof(f));
	return f;
}

uint32_t toBits(float f) {
	uint32_t u;
	memcpy(&u, &f, sizeof(u));
	return u;
}

// a format of e exponent bits and m mantissa bits with bias 2^(e-1) - 1
struct Format {
	uint32_t ebits;
	uint32_t mbits;
	uint32_t encode(float f) const;
	float decode(uint32_t bits) const;

	uint32_t maxExponent() const { return (1u << ebits) - 1; }
	int32_t bias() const { return (1 << (ebits - 1)) - 1; }
	uint32_t patterns() const { return 1u << (1 + ebits + mbits); }

	// the value of a pattern, computed arithmetically
	double value(uint32_t bits) const {
		uint32_t m = bits & ((1u << mbits) - 1);
		uint32_t e = (bits >> mbits) & maxExponent();
		double sign = (bits >> (ebits + mbits)) & 1 ? -1.0 : 1.0;
		if (e == maxExponent()) return m ? NAN : sign * INFINITY;
		if (e == 0) return sign * std::ldexp(static_cast<double>(m), 1 - bias() - static_cast<int32_t>(mbits));
		return sign * std::ldexp(static_cast<double>(m + (1u << mbits)), static_cast<int32_t>(e) - bias() - static_cast<int32_t>(mbits));
	}
};

const Format Half{5, 10};
const Format Float21{6, 14};
const Format Float24{6, 17};

uint32_t Format::encode(float f) const {
	if (this == &Half) return half(f).bits;
	if (this == &Float21) return float21(f).bits;
	return float24(f).bits;
}

float Format::decode(uint32_t bits) const {
	if (this == &Half) return half(static_cast<uint16_t>(bits));
	if (this == &Float21) return float21(bits);
	return float24(bits);
}

const Format *formats[] = {&Half, &Float21, &Float24};

} // namespace

TEST(Math, EveryPatternDecodesAndEncodesBack) {
	for (const Format *format : formats) {
		// every pattern of half and float21, a dense spread of float24's
		uint32_t step = format->patterns() > (1u << 22) ? 7 : 1;
		for (uint32_t bits = 0; bits < format->patterns(); bits += step) {
			float f = format->decode(bits);
			double expected = format->value(bits);
			if (std::isnan(expected)) {
				ASSERT_TRUE(std::isnan(f)) << std::hex << bits;
			} else {
				ASSERT_EQ(static_cast<double>(f), expected) << std::hex << bits;
				ASSERT_EQ(std::signbit(f), std::signbit(expected)) << std::hex << bits;
			}
			ASSERT_EQ(format->encode(f), bits) << std::hex << bits;
		}
	}
}

TEST(Math, EncodingCutsTowardsZero) {
	std::mt19937 random(17);
	for (const Format *format : formats) {
		uint32_t sign = 1u << (format->ebits + format->mbits);
		uint32_t infinity = format->maxExponent() << format->mbits;
		double overflow = std::ldexp(1.0, format->bias() + 1);
		for (int i = 0; i < 200000; i++) {
			float f = fromBits(static_cast<uint32_t>(random()));
			if (std::isnan(f)) continue;
			uint32_t bits = format->encode(f);
			double a = std::fabs(static_cast<double>(f));
			ASSERT_EQ((bits & sign) != 0, std::signbit(f)) << f;
			uint32_t magnitude = bits & ~sign;
			if (a >= overflow) {
				ASSERT_EQ(magnitude, infinity) << f;
				continue;
			}
			// the largest value of the format that is not above |f|
			ASSERT_LE(format->value(magnitude), a) << f;
			ASSERT_GT(format->value(magnitude + 1), a) << f;
		}
	}
}

TEST(Math, BoundaryValues) {
	struct Case {
		float f;
		uint32_t half;
		uint32_t f21;
		uint32_t f24;
	};
	const float inf = INFINITY;
	const Case cases[] = {
		{1.0f, 0x3c00, 0x7c000, 0x3e0000},
		{-0.0f, 0x8000, 0x100000, 0x800000},
		{0.0f, 0, 0, 0},
		{65504.0f, 0x7bff, 0xbbff0, 0x5dff80},
		{65536.0f, 0x7c00, 0xbc000, 0x5e0000},
		{1.0e30f, 0x7c00, 0xfc000, 0x7e0000},
		{1.0e10f, 0x7c00, 0xfc000, 0x7e0000},
		{-1.0e10f, 0xfc00, 0x1fc000, 0xfe0000},
		{inf, 0x7c00, 0xfc000, 0x7e0000},
		{-inf, 0xfc00, 0x1fc000, 0xfe0000},
		{1.0f + std::ldexp(1.0f, -11), 0x3c00, 0x7c008, 0x3e0040},
		{std::ldexp(1.0f, -24), 0x0001, 0x1c000, 0x0e0000},
		{std::ldexp(1.0f, -26), 0x0000, 0x14000, 0x0a0000},
		{std::ldexp(1.0f, -44), 0, 0x0001, 0x0008},
		{std::ldexp(1.0f, -45), 0, 0, 0x0004},
		{std::ldexp(1.0f, -47), 0, 0, 0x0001},
		{std::ldexp(1.0f, -48), 0, 0, 0},
		{std::ldexp(1.0f, -149), 0, 0, 0},
	};
	for (const Case &c : cases) {
		EXPECT_EQ(half(c.f).bits, c.half) << c.f;
		EXPECT_EQ(float21(c.f).bits, c.f21) << c.f;
		EXPECT_EQ(float24(c.f).bits, c.f24) << c.f;
	}
	EXPECT_EQ(static_cast<float>(half(uint16_t(0x0001))), std::ldexp(1.0f, -24));
	EXPECT_EQ(static_cast<float>(half(uint16_t(0x7c00))), inf);
	EXPECT_EQ(static_cast<float>(half(uint16_t(0xfc00))), -inf);
	EXPECT_EQ(static_cast<float>(float21(1u)), std::ldexp(1.0f, -44));
	EXPECT_EQ(static_cast<float>(float24(1u)), std::ldexp(1.0f, -47));
	EXPECT_EQ(static_cast<float>(float24(0x800000u)), 0.0f);
	EXPECT_TRUE(std::signbit(static_cast<float>(float24(0x800000u))));
}

TEST(Math, NaNStaysNaN) {
	// payloads in the top bits, in the bits that are cut, and with either sign
	for (uint32_t nan : {0x7fc00000u, 0x7f800001u, 0x7f800fffu, 0x7fa00000u, 0xff800001u, 0xffffffffu}) {
		float f = fromBits(nan);
		EXPECT_TRUE(std::isnan(static_cast<float>(half(f)))) << std::hex << nan;
		EXPECT_TRUE(std::isnan(static_cast<float>(float21(f)))) << std::hex << nan;
		EXPECT_TRUE(std::isnan(static_cast<float>(float24(f)))) << std::hex << nan;
		EXPECT_EQ(half(f).bits >> 15, nan >> 31);
	}
	// a payload that fits keeps its bits
	EXPECT_EQ(half(fromBits(0x7fc02000u)).bits, 0x7e01);
	EXPECT_EQ(toBits(static_cast<float>(half(uint16_t(0x7e01)))), 0x7fc02000u);
}

TEST(Math, ScalarHelpers) {
	EXPECT_EQ(divUp(10, 3), 4u);
	EXPECT_EQ(divUp(9, 3), 3u);
	EXPECT_EQ(divUp(0, 5), 0u);
	EXPECT_EQ(divUp(0xffffffffu, 1), 0xffffffffu);

	EXPECT_EQ(Vexa::abs(int64_t(-5)), 5);
	EXPECT_EQ(Vexa::abs(int64_t(5)), 5);
	EXPECT_EQ(Vexa::abs(INT64_MIN), INT64_MIN);

	for (uint32_t v : {0u, 1u, 2u, 3u, 4u, 1023u, 1024u, 0x80000000u, 0xffffffffu}) {
		uint32_t expected = v < 2 ? 0 : static_cast<uint32_t>(std::floor(std::log2(static_cast<double>(v))));
		EXPECT_EQ(Vexa::log2(v), expected) << v;
	}
	EXPECT_EQ(Vexa::min(3u, 7u), 3u);
	EXPECT_EQ(Vexa::min(7u, 3u), 3u);

	uint32_t counter = 40000;
	std::vector<std::thread> threads;
	for (int t = 0; t < 4; t++) {
		threads.emplace_back([&counter] {
			for (int i = 0; i < 10000; i++) atomicDecrement(counter);
		});
	}
	for (std::thread &t : threads) t.join();
	EXPECT_EQ(counter, 0u);
	counter = 1;
	EXPECT_EQ(atomicDecrement(counter), 0u);
}

TEST(Math, VectorAndMatrixLayout) {
	static_assert(sizeof(Vector2<double>) == 16, "no padding");
	static_assert(sizeof(Vector3<uint32_t>) == 12, "no padding");
	static_assert(sizeof(Vector4<uint64_t>) == 32, "no padding");
	static_assert(sizeof(Matrix4x4<float>) == 64, "no padding");

	Vector4<uint32_t> v(1, 2, 3, 4);
	uint32_t words[4];
	memcpy(words, &v, sizeof(words));
	EXPECT_EQ(words[2], 3u);
	Vector3<float> splat(2.5f);
	EXPECT_EQ(splat.z, 2.5f);

	Matrix2x3<float> m(1, 2, 3, 4, 5, 6);
	float elements[6];
	memcpy(elements, &m, sizeof(elements));
	for (int i = 0; i < 6; i++) EXPECT_EQ(elements[i], static_cast<float>(i + 1));
	EXPECT_EQ(m.m10, 4.0f);

	Matrix3x4<double> n(0.5);
	double all[12];
	memcpy(all, &n, sizeof(all));
	for (double d : all) EXPECT_EQ(d, 0.5);

	Matrix4x4<float> o(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
	EXPECT_EQ(o.m21, 9.0f);
	EXPECT_EQ(o.m33, 15.0f);
}
