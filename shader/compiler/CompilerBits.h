// The bit patterns behind the double that a constant component holds, and
// the bounds of the 64-bit integer range, shared by the constant readers and
// the folding.
#pragma once

#include <cstdint>
#include <cstring>

namespace Vexa {
namespace CompilerBits {

constexpr double Two63 = 9223372036854775808.0;
constexpr double Two64 = 18446744073709551616.0;

inline uint64_t bits_of(double value) {
	uint64_t ret;
	memcpy(&ret, &value, sizeof(ret));
	return ret;
}

inline double double_of(uint64_t bits) {
	double ret;
	memcpy(&ret, &bits, sizeof(ret));
	return ret;
}

} // namespace CompilerBits
} // namespace Vexa
