// The bit patterns behind the double that a constant component holds, the
// bounds of the 64-bit integer range, shared by the constant readers and the
// folding; the two character tests every text reader of the compiler
// makes; and the GLSL built-ins it does not take.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>

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

// past space, tab, LF and CR
inline const char *skip_spaces(const char *s) {
	while (*s == ' ' || *s == '\t' || *s == '\n' || *s == '\r') s++;
	return s;
}

inline bool starts_name(char c) {
	return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

// GLSL built-in functions the compiler does not take: a call names them
// in its error rather than passing for an unknown name
inline bool is_unsupported_builtin(const char *name) {
	for (const char *builtin : {"uaddCarry", "usubBorrow", "umulExtended", "imulExtended", "packFloat2x16", "unpackFloat2x16"}) {
		if (strcmp(name, builtin) == 0) return true;
	}
	return false;
}

} // namespace CompilerBits
} // namespace Vexa
