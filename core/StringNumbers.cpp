// Numbers to text and back, and UTF-8 to code units and back, for String.
//
// These routines exist so that every number the system writes or reads (in
// messages, generated sources, shader constants) comes out the same on every
// platform and in every locale. Parsing floats is correctly rounded, because a
// constant that changes by one bit on its way through the compiler changes the
// shader. Printing works on the exact binary value of a float, so that the
// digits do not depend on the rounding of intermediate products either.
#include "core/String.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace Vexa {

namespace {

const char digit_chars[] = "0123456789abcdef";

inline bool is_blank(char c) {
	return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

inline bool is_digit(char c) {
	return c >= '0' && c <= '9';
}

// writes the digits of value backwards, ending just before `end`; returns the
// first digit
char *write_digits(char *end, uint64_t value, uint32_t radix) {
	do {
		*--end = digit_chars[value % radix];
		value /= radix;
	} while (value != 0);
	return end;
}

String &append_digits(String &s, uint64_t value, uint32_t radix) {
	if (radix < 2 || radix > 16) return s;
	char buffer[72];
	char *end = buffer + sizeof(buffer);
	char *begin = write_digits(end, value, radix);
	return s.append(begin, (uint32_t)(end - begin));
}

const uint64_t powers10[20] = {
	1ull,
	10ull,
	100ull,
	1000ull,
	10000ull,
	100000ull,
	1000000ull,
	10000000ull,
	100000000ull,
	1000000000ull,
	10000000000ull,
	100000000000ull,
	1000000000000ull,
	10000000000000ull,
	100000000000000ull,
	1000000000000000ull,
	10000000000000000ull,
	100000000000000000ull,
	1000000000000000000ull,
	10000000000000000000ull,
};

// 64 x 64 -> 128-bit product, kept portable (no compiler-specific 128-bit type)
void multiply64(uint64_t a, uint64_t b, uint64_t &hi, uint64_t &lo) {
	uint64_t a0 = a & 0xffffffffu, a1 = a >> 32;
	uint64_t b0 = b & 0xffffffffu, b1 = b >> 32;
	uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
	uint64_t middle = (p00 >> 32) + (p01 & 0xffffffffu) + (p10 & 0xffffffffu);
	lo = (middle << 32) | (p00 & 0xffffffffu);
	hi = p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32);
}

// The first `digits` decimal digits of a fraction in [0, 1), rounded half up on
// its exact binary value: floor(fraction * 10^digits + 1/2). The result may be
// 10^digits itself when the fraction rounds up to the next unit.
uint64_t fraction_digits(double fraction, uint32_t digits) {
	if (fraction <= 0.0) return 0;
	int exponent = 0;
	double mantissa = std::frexp(fraction, &exponent);
	// fraction = m / 2^shift exactly, m below 2^53
	uint64_t m = (uint64_t)std::ldexp(mantissa, 53);
	int shift = 53 - exponent;
	// m * 10^digits is below 2^117, so from 2^118 on the rounded result is 0
	if (shift >= 118) return 0;
	uint64_t hi, lo;
	multiply64(m, powers10[digits], hi, lo);
	// add one half of the last unit kept
	int half = shift - 1;
	if (half >= 64) {
		hi += 1ull << (half - 64);
	} else {
		uint64_t add = 1ull << half;
		lo += add;
		if (lo < add) hi++;
	}
	if (shift >= 64) return hi >> (shift - 64);
	return (lo >> shift) | (hi << (64 - shift));
}

// The exact decimal digits of an integer-valued double of 2^64 or more, which
// no integer type holds.
void append_big_integer(String &s, double value) {
	int exponent = 0;
	double mantissa = std::frexp(value, &exponent);
	uint64_t m = (uint64_t)std::ldexp(mantissa, 53);
	uint32_t shift = (uint32_t)(exponent - 53);
	// little-endian 32-bit limbs of m << shift; a double stays below 2^1024
	uint32_t limbs[36] = {};
	uint32_t word = shift / 32, bit = shift % 32;
	limbs[word] = (uint32_t)(m << bit);
	if (bit == 0) {
		limbs[word + 1] = (uint32_t)(m >> 32);
	} else {
		limbs[word + 1] = (uint32_t)(m >> (32 - bit));
		limbs[word + 2] = (uint32_t)(m >> (64 - bit));
	}
	uint32_t count = word + 3;
	while (count > 1 && limbs[count - 1] == 0) count--;
	// repeated division by 10^9 gives nine digits at a time, lowest group first
	char buffer[340];
	char *end = buffer + sizeof(buffer);
	char *begin = end;
	while (count > 0) {
		uint64_t remainder = 0;
		for (uint32_t i = count; i-- > 0;) {
			uint64_t current = (remainder << 32) | limbs[i];
			limbs[i] = (uint32_t)(current / 1000000000u);
			remainder = current % 1000000000u;
		}
		while (count > 0 && limbs[count - 1] == 0) count--;
		for (int i = 0; i < 9; i++) {
			*--begin = (char)('0' + remainder % 10);
			remainder /= 10;
		}
	}
	while (begin + 1 < end && *begin == '0') begin++;
	s.append(begin, (uint32_t)(end - begin));
}

// value * 10^power without letting the power of ten overflow or fall into the
// denormal range where it would lose its precision
double scale10(double value, int32_t power) {
	if (power > 308) return value * std::pow(10.0, 308) * std::pow(10.0, power - 308);
	if (power < -307) return value * std::pow(10.0, -300) * std::pow(10.0, power + 300);
	return value * std::pow(10.0, power);
}

float scale10f(float value, int32_t power) {
	if (power > 38) return value * std::pow(10.0f, 38.0f) * std::pow(10.0f, (float)(power - 38));
	if (power < -37) return value * std::pow(10.0f, -30.0f) * std::pow(10.0f, (float)(power + 30));
	return value * std::pow(10.0f, (float)power);
}

// the fraction, then the optional exponent, shared by both float widths
void append_fraction(String &s, uint64_t fraction, uint32_t digits, bool compact, int32_t exponent) {
	s.append('.');
	char buffer[24];
	char *end = buffer + digits;
	char *begin = write_digits(end, fraction, 10);
	while (begin > buffer) *--begin = '0';
	uint32_t count = digits;
	if (compact || exponent != 0) {
		while (count > 1 && buffer[count - 1] == '0') count--;
	}
	s.append(buffer, count);
	if (exponent != 0) {
		s.append('e');
		s.appendi32(exponent, 10);
	}
}

// The float grammar: optional sign, digits, optional '.', digits, optional 'e'
// or 'E' with an optional sign and digits. The digits themselves are converted
// by std::from_chars, which is locale-independent and correctly rounded; only
// results out of its range are settled here, as the C library settles them.
template <class T>
T parse_float(const char *src, uint32_t *size) {
	if (src == nullptr) {
		if (size) *size = 0;
		return 0;
	}
	const char *s = src;
	while (is_blank(*s)) s++;
	bool negative = false;
	if (*s == '+' || *s == '-') negative = (*s++ == '-');
	const char *number = s;
	// decimal position of the first significant digit, for out-of-range results
	int64_t magnitude = 0;
	bool significant = false;
	while (is_digit(*s)) {
		if (significant) magnitude++;
		else if (*s != '0') significant = true, magnitude = 1;
		s++;
	}
	bool mantissa = s != number;
	if (*s == '.') {
		s++;
		const char *fraction = s;
		while (is_digit(*s)) {
			if (!significant) {
				if (*s != '0') significant = true;
				else magnitude--;
			}
			s++;
		}
		mantissa = mantissa || s != fraction;
	}
	int64_t power = 0;
	if (*s == 'e' || *s == 'E') {
		s++;
		bool negative_power = false;
		if (*s == '+' || *s == '-') negative_power = (*s++ == '-');
		while (is_digit(*s)) {
			if (power < 1000000000) power = power * 10 + (*s - '0');
			s++;
		}
		if (negative_power) power = -power;
	}
	if (size) *size = (uint32_t)(s - src);
	T value = 0;
	if (mantissa && significant) {
		auto result = std::from_chars(number, s, value, std::chars_format::general);
		if (result.ec == std::errc::result_out_of_range) {
			value = magnitude + power > 0 ? std::numeric_limits<T>::infinity() : T(0);
		}
	}
	return negative ? -value : value;
}

template <class T>
T parse_unsigned(const char *src, uint32_t radix, uint32_t *size) {
	if (src == nullptr) {
		if (size) *size = 0;
		return 0;
	}
	const char *s = src;
	while (is_blank(*s)) s++;
	if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
		radix = 16;
		s += 2;
	} else if (radix == 16 && s[0] != 0 && (s[1] == 'x' || s[1] == 'X')) {
		s += 2;
	} else if ((radix == 2 || radix == 8 || radix == 10) && s[0] == '0' && (s[1] == 'b' || s[1] == 'B')) {
		radix = 2;
		s += 2;
	}
	T value = 0;
	if (radix == 2 || radix == 8 || radix == 10 || radix == 16) {
		for (;; s++) {
			uint32_t digit;
			char c = *s;
			if (c >= '0' && c <= '9') digit = (uint32_t)(c - '0');
			else if (c >= 'a' && c <= 'f') digit = (uint32_t)(c - 'a' + 10);
			else if (c >= 'A' && c <= 'F') digit = (uint32_t)(c - 'A' + 10);
			else break;
			if (digit >= radix) break;
			value = (T)(value * radix + digit);
		}
	}
	if (size) *size = (uint32_t)(s - src);
	return value;
}

// the signed parsers negate in unsigned arithmetic, so that the most negative
// value and overflowing texts wrap instead of overflowing
template <class T>
T parse_signed(const char *src, uint32_t radix, uint32_t *size) {
	if (src == nullptr) {
		if (size) *size = 0;
		return 0;
	}
	const char *s = src;
	while (is_blank(*s)) s++;
	bool negative = false;
	if (*s == '+' || *s == '-') negative = (*s++ == '-');
	uint32_t count = 0;
	T value = parse_unsigned<T>(s, radix, &count);
	if (size) *size = (uint32_t)(s - src) + count;
	return negative ? (T)(T(0) - value) : value;
}

// the String's text from `pos`; a position past the end reads an empty text
inline const char *text_at(const String &s, uint32_t pos) {
	return pos <= s.size() ? s.get() + pos : "";
}

// one UTF-8 sequence: its code point and its length, or 0 when a NUL cuts it
uint32_t decode_utf8(const unsigned char *s, uint32_t *code) {
	uint32_t c = s[0];
	uint32_t count;
	if (c < 0xc0) {
		*code = c;
		return c == 0 ? 0 : 1;
	}
	if (c < 0xe0) count = 2, c &= 0x1f;
	else if (c < 0xf0) count = 3, c &= 0x0f;
	else if (c < 0xf8) count = 4, c &= 0x07;
	else if (c < 0xfc) count = 5, c &= 0x03;
	else count = 6, c &= 0x01;
	for (uint32_t i = 1; i < count; i++) {
		if (s[i] == 0) {
			*code = 0;
			return 0;
		}
		c = (c << 6) | (s[i] & 0x3fu);
	}
	*code = c;
	return count;
}

template <class Unit>
uint32_t decode_text(const String &s, Unit *dst, int32_t size, bool wide) {
	if (dst == nullptr || size <= 0) return 0;
	const unsigned char *src = reinterpret_cast<const unsigned char *>(s.get());
	uint32_t written = 0;
	while (written + 1 < (uint32_t)size) {
		uint32_t code = 0;
		uint32_t count = decode_utf8(src, &code);
		if (count == 0) break;
		src += count;
		if (wide || code < 0x10000) dst[written++] = (Unit)code;
	}
	dst[written++] = 0;
	return written;
}

template <class Unit>
String encode_units(const Unit *units, uint32_t count) {
	StringStack<64> s;
	if (units == nullptr) return String(static_cast<StringStack<64> &&>(s));
	if (count != ~0u && count > 63) s.reserve(count);
	for (uint32_t i = 0; i < count && units[i] != 0; i++) s.appendUtf8(units[i]);
	return String(static_cast<StringStack<64> &&>(s));
}

} // namespace

//
// integer printers
//

String &String::appendu32(uint32_t value, uint32_t radix) {
	return append_digits(*this, value, radix);
}

String &String::appendu64(uint64_t value, uint32_t radix) {
	return append_digits(*this, value, radix);
}

String &String::appendi32(int32_t value, uint32_t radix) {
	if (value < 0 && radix == 10) {
		append('-');
		return append_digits(*this, 0u - (uint32_t)value, 10);
	}
	return append_digits(*this, (uint32_t)value, radix);
}

String &String::appendi64(int64_t value, uint32_t radix) {
	if (value < 0 && radix == 10) {
		append('-');
		return append_digits(*this, 0ull - (uint64_t)value, 10);
	}
	return append_digits(*this, (uint64_t)value, radix);
}

String String::fromu32(uint32_t value, uint32_t radix) {
	StringStack<64> s;
	s.appendu32(value, radix);
	return String(static_cast<StringStack<64> &&>(s));
}

String String::fromu64(uint64_t value, uint32_t radix) {
	StringStack<64> s;
	s.appendu64(value, radix);
	return String(static_cast<StringStack<64> &&>(s));
}

String String::fromi32(int32_t value, uint32_t radix) {
	StringStack<64> s;
	s.appendi32(value, radix);
	return String(static_cast<StringStack<64> &&>(s));
}

String String::fromi64(int64_t value, uint32_t radix) {
	StringStack<64> s;
	s.appendi64(value, radix);
	return String(static_cast<StringStack<64> &&>(s));
}

//
// float printers
//

String &String::appendf64(double value, uint32_t digits, bool compact, bool exponent) {
	// the fraction is carried in 64 bits
	if (digits > 19) digits = 19;
	double x = value;
	if (!(x >= 0.0)) {
		append('-');
		x = -x;
	}
	if (std::isinf(x)) return append("inf");
	if (std::isnan(x)) return append("nan");
	if (digits == 0) {
		if (x >= 18446744073709551616.0) {
			append_big_integer(*this, x);
			return *this;
		}
		uint64_t integer = (uint64_t)x;
		if (x - (double)integer >= 0.5) integer++;
		return appendu64(integer, 10);
	}
	int32_t e = 0;
	if (exponent && x != 0.0) {
		e = (int32_t)std::floor(std::log10(x) + 0.5);
		if (2 * (uint32_t)(e < 0 ? -e : e) > digits) x = scale10(x, -e);
		else e = 0;
	}
	if (x >= 18446744073709551616.0) {
		// integer-valued: no fraction digit can be set
		append_big_integer(*this, x);
		append_fraction(*this, 0, digits, compact, e);
		return *this;
	}
	uint64_t integer = (uint64_t)x;
	uint64_t fraction = fraction_digits(x - (double)integer, digits);
	if (fraction >= powers10[digits]) {
		// below 2^53 whenever there is a fraction, so this cannot wrap
		integer++;
		fraction = 0;
	}
	appendu64(integer, 10);
	append_fraction(*this, fraction, digits, compact, e);
	return *this;
}

String &String::appendf32(float value, uint32_t digits, bool compact, bool exponent) {
	if (digits > 16) digits = 16;
	float x = value;
	if (!(x >= 0.0f)) {
		append('-');
		x = -x;
	}
	if (std::isinf(x)) return append("inf");
	if (std::isnan(x)) return append("nan");
	if (digits == 0) {
		if (x >= 18446744073709551616.0f) {
			append_big_integer(*this, x);
			return *this;
		}
		uint64_t integer = (uint64_t)x;
		if (x - (float)integer >= 0.5f) integer++;
		return appendu64(integer, 10);
	}
	int32_t e = 0;
	if (exponent && x != 0.0f) {
		e = (int32_t)std::floor(std::log10(x) + 0.5f);
		if (2 * (uint32_t)(e < 0 ? -e : e) > digits) x = scale10f(x, -e);
		else e = 0;
	}
	// integer parts of 2^32 and above go through the wider printers
	if (x >= 18446744073709551616.0f) {
		append_big_integer(*this, x);
		append_fraction(*this, 0, digits, compact, e);
		return *this;
	}
	uint64_t integer = (uint64_t)x;
	uint64_t fraction = fraction_digits((double)(x - (float)integer), digits);
	if (fraction >= powers10[digits]) {
		integer++;
		fraction = 0;
	}
	if (integer <= 0xffffffffu) appendu32((uint32_t)integer, 10);
	else appendu64(integer, 10);
	append_fraction(*this, fraction, digits, compact, e);
	return *this;
}

String String::fromf64(double value, uint32_t digits, bool compact, bool exponent) {
	StringStack<64> s;
	s.appendf64(value, digits, compact, exponent);
	return String(static_cast<StringStack<64> &&>(s));
}

String String::fromf32(float value, uint32_t digits, bool compact, bool exponent) {
	StringStack<64> s;
	s.appendf32(value, digits, compact, exponent);
	return String(static_cast<StringStack<64> &&>(s));
}

//
// parsers
//

uint32_t String::tou32(const char *src, uint32_t radix, uint32_t *size) {
	return parse_unsigned<uint32_t>(src, radix, size);
}

uint32_t String::tou32(uint32_t radix, uint32_t pos, uint32_t *size) const {
	return parse_unsigned<uint32_t>(text_at(*this, pos), radix, size);
}

uint64_t String::tou64(const char *src, uint32_t radix, uint32_t *size) {
	return parse_unsigned<uint64_t>(src, radix, size);
}

uint64_t String::tou64(uint32_t radix, uint32_t pos, uint32_t *size) const {
	return parse_unsigned<uint64_t>(text_at(*this, pos), radix, size);
}

int32_t String::toi32(const char *src, uint32_t radix, uint32_t *size) {
	return (int32_t)parse_signed<uint32_t>(src, radix, size);
}

int32_t String::toi32(uint32_t radix, uint32_t pos, uint32_t *size) const {
	return (int32_t)parse_signed<uint32_t>(text_at(*this, pos), radix, size);
}

int64_t String::toi64(const char *src, uint32_t radix, uint32_t *size) {
	return (int64_t)parse_signed<uint64_t>(src, radix, size);
}

int64_t String::toi64(uint32_t radix, uint32_t pos, uint32_t *size) const {
	return (int64_t)parse_signed<uint64_t>(text_at(*this, pos), radix, size);
}

double String::tof64(const char *src, uint32_t *size) {
	return parse_float<double>(src, size);
}

double String::tof64(uint32_t pos, uint32_t *size) const {
	return parse_float<double>(text_at(*this, pos), size);
}

float String::tof32(const char *src, uint32_t *size) {
	return parse_float<float>(src, size);
}

//
// UTF conversions
//

uint32_t String::appendUtf8(uint32_t code) {
	char bytes[6];
	uint32_t count;
	if (code == 0) return 1;
	if (code < 0x80) {
		bytes[0] = (char)code;
		count = 1;
	} else {
		uint8_t lead;
		if (code < 0x800) count = 2, lead = 0xc0;
		else if (code < 0x10000) count = 3, lead = 0xe0;
		else if (code < 0x200000) count = 4, lead = 0xf0;
		else if (code < 0x4000000) count = 5, lead = 0xf8;
		else count = 6, lead = 0xfc;
		for (uint32_t i = count - 1; i > 0; i--) {
			bytes[i] = (char)(0x80 | (code & 0x3f));
			code >>= 6;
		}
		bytes[0] = (char)(lead | (code & (0x7fu >> count)));
	}
	append(bytes, count);
	return count;
}

String String::fromUtf16(const uint16_t *units, uint32_t count) {
	return encode_units(units, count);
}

String String::fromUtf32(const uint32_t *units, uint32_t count) {
	return encode_units(units, count);
}

uint32_t String::toUtf16(uint16_t *dst, int32_t size) const {
	return decode_text(*this, dst, size, false);
}

uint32_t String::toUtf32(uint32_t *dst, int32_t size) const {
	return decode_text(*this, dst, size, true);
}

uint32_t String::readUtf8(const char *src, uint32_t *code) {
	uint32_t unused = 0;
	if (code == nullptr) code = &unused;
	if (src == nullptr) {
		*code = 0;
		return 0;
	}
	return decode_utf8(reinterpret_cast<const unsigned char *>(src), code);
}

//
// small functions of the namespace
//

bool isinf(float v) {
	return std::isinf(v);
}

bool isinf(double v) {
	return std::isinf(v);
}

bool isnan(float v) {
	return std::isnan(v);
}

bool isnan(double v) {
	return std::isnan(v);
}

#ifdef _WIN32
int32_t fpclass(float v) {
	return _fpclassf(v);
}

int32_t fpclass(double v) {
	return _fpclass(v);
}
#else
int32_t fpclass(float v) {
	return std::fpclassify(v);
}

int32_t fpclass(double v) {
	return std::fpclassify(v);
}
#endif

// values outside the integer range are already whole (or not numbers) and are
// returned as they are
float floor(float v) {
	if (!(v >= -2147483648.0f && v < 2147483648.0f)) return v;
	float t = (float)(int32_t)v;
	return t > v ? t - 1.0f : t;
}

double floor(double v) {
	if (!(v >= -9223372036854775808.0 && v < 9223372036854775808.0)) return v;
	double t = (double)(int64_t)v;
	return t > v ? t - 1.0 : t;
}

} // namespace Vexa
