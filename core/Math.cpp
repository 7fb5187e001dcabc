// Bit-level conversions between float and the small float formats (binary16,
// float21, float24), and the atomic helper of the math header. The formats
// share one scheme: normal values rebias the exponent and cut the mantissa,
// small values become subnormals, and exponent 255 maps to the all-ones
// exponent. A NaN whose payload lives only in the bits that are cut gets the
// top mantissa bit so that it does not turn into an infinity.
#include "core/Math.h"

#include <cstring>

#ifdef _MSC_VER
#include <intrin.h>
#endif

namespace Vexa {

namespace {

uint32_t toBits(float f) {
	uint32_t u;
	memcpy(&u, &f, sizeof(u));
	return u;
}

float fromBits(uint32_t u) {
	float f;
	memcpy(&f, &u, sizeof(f));
	return f;
}

// A small format with `ebits` = 5 or 6 exponent bits and `mbits` mantissa bits.
// `lowest` is the smallest float exponent E that still gives a non-zero
// subnormal (E of the least subnormal).
struct Format {
	uint32_t ebits;
	uint32_t mbits;

	uint32_t bias() const { return (1u << (ebits - 1)) - 1; }
	uint32_t maxExponent() const { return (1u << ebits) - 1; }
	uint32_t shift() const { return 23 - mbits; }
	uint32_t sign() const { return 1u << (ebits + mbits); }

	uint32_t encode(float f) const {
		uint32_t u = toBits(f);
		uint32_t s = (u & 0x80000000u) ? sign() : 0;
		uint32_t e = (u >> 23) & 0xff;
		uint32_t m = u & 0x7fffff;
		uint32_t rebias = 127 - bias();
		if (e == 255) {
			uint32_t mantissa = m >> shift();
			if (m != 0 && mantissa == 0) mantissa = 1u << (mbits - 1);
			return s | (maxExponent() << mbits) | mantissa;
		}
		if (e > rebias + maxExponent() - 1) return s | (maxExponent() << mbits);
		if (e > rebias) return s | (((u & 0x7fffffff) - (rebias << 23)) >> shift());
		// subnormal: the value over the least subnormal 2^(1 - bias - mbits), cut
		uint32_t right = rebias + 1 + shift() - e;
		if (e == 0 || right > 23) return s;
		return s | ((m | 0x800000) >> right);
	}

	float decode(uint32_t bits) const {
		uint32_t s = (bits & sign()) ? 0x80000000u : 0;
		uint32_t e = (bits >> mbits) & maxExponent();
		uint32_t m = bits & ((1u << mbits) - 1);
		if (e == maxExponent()) return fromBits(s | 0x7f800000u | (m << shift()));
		if (e != 0) return fromBits(s | ((((e << mbits) | m) << shift()) + ((127 - bias()) << 23)));
		// m * 2^(1 - bias - mbits) is exact: m fits the float mantissa and the
		// power of two is a normal float
		float scale = fromBits((127 + 1 - bias() - mbits) << 23);
		float v = static_cast<float>(m) * scale;
		return s ? -v : v;
	}
};

constexpr Format Half{5, 10};
constexpr Format Float21{6, 14};
constexpr Format Float24{6, 17};

} // namespace

half::half(float f) : bits(static_cast<uint16_t>(Half.encode(f))) {}
half::operator float() const { return Half.decode(bits); }

float21::float21(float f) : bits(Float21.encode(f)) {}
float21::operator float() const { return Float21.decode(bits); }

float24::float24(float f) : bits(Float24.encode(f)) {}
float24::operator float() const { return Float24.decode(bits); }

uint32_t atomicDecrement(uint32_t &v) {
#ifdef _MSC_VER
	return static_cast<uint32_t>(_InterlockedDecrement(reinterpret_cast<volatile long *>(&v)));
#else
	return __atomic_sub_fetch(&v, 1u, __ATOMIC_SEQ_CST);
#endif
}

} // namespace Vexa
