// Small text helpers of String for people rather than for the compiler:
// quantities with units (bytes, hertz, metres, counts, time spans, angles)
// printed and parsed, percent-decoding, title and ASCII case, an edit
// distance, string hashes and '#' colours.
//
// Numbers go through String's own printers and parsers, so the output does
// not depend on the locale. Conversions from double to integers saturate
// instead of relying on what the hardware does with values out of range.
#include <cmath>
#include <cstring>

#include "core/Array.h"
#include "core/String.h"

namespace Vexa {

namespace {

constexpr uint64_t Second = 1000000ull;
constexpr uint64_t Minute = 60 * Second;
constexpr uint64_t Hour = 60 * Minute;
constexpr uint64_t Day = 24 * Hour;
constexpr uint64_t Year = 365 * Day;

inline char upper(char c) {
	return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

inline bool isLetter(char c) {
	c = upper(c);
	return c >= 'A' && c <= 'Z';
}

inline int32_t hexDigit(char c) {
	if (c >= '0' && c <= '9') return c - '0';
	if (c >= 'a' && c <= 'f') return c - 'a' + 10;
	if (c >= 'A' && c <= 'F') return c - 'A' + 10;
	return -1;
}

// bytes of the UTF-8 sequence a lead byte starts; a stray continuation byte
// stands for itself
inline uint32_t sequenceLength(uint8_t c) {
	if (c < 0xc0) return 1;
	if (c < 0xe0) return 2;
	if (c < 0xf0) return 3;
	if (c < 0xf8) return 4;
	if (c < 0xfc) return 5;
	return 6;
}

// truncates toward zero; negative and NaN give 0, too large the maximum
uint64_t toUnsigned(double value) {
	const double Two63 = 9223372036854775808.0;
	if (!(value > 0.0)) return 0;
	if (value >= 2.0 * Two63) return ~0ull;
	if (value >= Two63) return (uint64_t)(value - Two63) + (1ull << 63);
	return (uint64_t)value;
}

// Reads the number in front of a unit. Returns false when there are no
// digits; `suffix` is left at the unit after spaces and tabs.
bool readQuantity(const char *src, double &value, uint32_t &used, const char *&suffix) {
	value = String::tof64(src, &used);
	bool digits = false;
	for (uint32_t i = 0; i < used; i++) digits = digits || (src[i] >= '0' && src[i] <= '9');
	if (!digits) return false;
	suffix = src + used;
	while (*suffix == ' ' || *suffix == '\t') suffix++;
	return true;
}

inline void setSize(uint32_t *size, uint32_t value) {
	if (size) *size = value;
}

String scaled(double value, uint32_t digits, const char *unit) {
	StringStack<64> s;
	s.appendf64(value, digits, false, false);
	s.append(unit);
	return String(static_cast<StringStack<64> &&>(s));
}

uint32_t levenshtein(const char *a, uint32_t n, const char *b, uint32_t m, Array<uint32_t> &rows) {
	// two rows of the (m + 1) x (n + 1) matrix are all the result needs
	rows.resize(2 * (n + 1));
	uint32_t *previous = rows.get();
	uint32_t *current = previous + n + 1;
	for (uint32_t i = 0; i <= n; i++) previous[i] = i;
	for (uint32_t j = 1; j <= m; j++) {
		current[0] = j;
		for (uint32_t i = 1; i <= n; i++) {
			uint32_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
			uint32_t best = current[i - 1] + 1;
			if (previous[i] + 1 < best) best = previous[i] + 1;
			if (previous[i - 1] + cost < best) best = previous[i - 1] + cost;
			current[i] = best;
		}
		uint32_t *t = previous;
		previous = current;
		current = t;
	}
	return previous[n];
}

} // namespace

//
// quantities to text
//

String String::fromAngle(double degrees, uint32_t parts) {
	StringStack<64> s;
	if (std::isnan(degrees) || std::isinf(degrees)) {
		s.appendf64(degrees, 0, false, false);
		s.append("\xc2\xb0");
		return String(static_cast<StringStack<64> &&>(s));
	}
	if (!(degrees >= 0)) s.append('-');
	double magnitude = std::fmod(std::fabs(degrees), 360.0);
	uint32_t whole = (uint32_t)magnitude;
	s.appendu32(whole);
	s.append("\xc2\xb0");
	if (parts >= 1) {
		double rest = (magnitude - whole) * 60.0;
		uint32_t minutes = (uint32_t)rest;
		s.appendu32(minutes);
		s.append('\'');
		if (parts >= 2) {
			s.appendf64((rest - minutes) * 60.0, 2, false, false);
			s.append('"');
		}
	}
	return String(static_cast<StringStack<64> &&>(s));
}

String String::fromBytes(uint64_t bytes, uint32_t digits) {
	if (bytes < 1024) {
		StringStack<64> s;
		s.appendu64(bytes);
		s.append(" B");
		return String(static_cast<StringStack<64> &&>(s));
	}
	if (bytes < (1ull << 20)) return scaled(bytes / 1024.0, digits, " KB");
	if (bytes < (1ull << 30)) return scaled(bytes / (double)(1ull << 20), digits, " MB");
	if (bytes < (1ull << 40)) return scaled(bytes / (double)(1ull << 30), digits, " GB");
	return scaled(bytes / (double)(1ull << 40), digits, " TB");
}

String String::fromHz(uint64_t hz, uint32_t digits) {
	if (hz < 1000) {
		StringStack<64> s;
		s.appendu64(hz);
		s.append(" Hz");
		return String(static_cast<StringStack<64> &&>(s));
	}
	if (hz < 1000000ull) return scaled(hz / 1e3, digits, " KHz");
	if (hz < 1000000000ull) return scaled(hz / 1e6, digits, " MHz");
	if (hz < 1000000000000ull) return scaled(hz / 1e9, digits, " GHz");
	return scaled(hz / 1e12, digits, " THz");
}

String String::fromMetres(double metres, uint32_t digits) {
	if (metres == 0.0) return String("0");
	if (metres < 1e-6) return scaled(metres * 1e6, digits, " \xce\xbcm");
	if (metres < 1e-3) return scaled(metres * 1e3, digits, " mm");
	if (metres < 1.0) return scaled(metres * 100.0, digits, " cm");
	if (metres < 1000.0) return scaled(metres, digits, " m");
	return scaled(metres * 0.001, digits, " km");
}

String String::fromCount(uint64_t count, uint32_t digits) {
	if (count < 1000) return fromu64(count);
	if (count < 1000000ull) return scaled(count / 1e3, digits, " K");
	if (count < 1000000000ull) return scaled(count / 1e6, digits, " M");
	if (count < 1000000000000ull) return scaled(count / 1e9, digits, " B");
	return scaled(count / 1e12, digits, " T");
}

String String::fromTime(uint64_t microseconds, uint32_t digits) {
	StringStack<64> s;
	uint64_t t = microseconds;
	// whole years and days, each followed by what remains; a span of exactly
	// so many years or days ends there
	const struct {
		uint64_t length;
		const char *name;
	} units[] = {{Year, " year"}, {Day, " day"}};
	for (const auto &unit : units) {
		if (t > unit.length) {
			uint64_t n = t / unit.length;
			t %= unit.length;
			s.appendu64(n);
			s.append(unit.name);
			if (n > 1) s.append('s');
			if (t == 0) return String(static_cast<StringStack<64> &&>(s));
			s.append(' ');
		}
	}
	if (t >= Hour) {
		uint64_t minutes = (t % Hour) / Minute;
		s.appendu64(t / Hour);
		s.append(':');
		if (minutes < 10) s.append('0');
		s.appendu64(minutes);
	} else if (t < Minute) {
		if (t < 1000) {
			s.appendu64(t);
			s.append(" us");
		} else if (t < Second) {
			s.appendf64(t / 1e3, digits, false, false);
			s.append(" ms");
		} else {
			s.appendf64(t / 1e6, digits, false, false);
			s.append(" s");
		}
	} else {
		uint64_t seconds = (t % Minute) / Second;
		s.appendu64(t / Minute);
		s.append(" m");
		if (seconds) {
			s.append(' ');
			s.appendu64(seconds);
			s.append(" s");
		}
	}
	return String(static_cast<StringStack<64> &&>(s));
}

//
// text to quantities
//

uint64_t String::toBytes(const char *src, uint32_t *size) {
	double value;
	uint32_t used;
	const char *suffix;
	setSize(size, 0);
	if (src == nullptr || !readQuantity(src, value, used, suffix)) return 0;
	if (isLetter(suffix[0]) && upper(suffix[1]) == 'B') {
		setSize(size, (uint32_t)(suffix + 2 - src));
		switch (upper(suffix[0])) {
		case 'K': return toUnsigned(value * 1024.0);
		case 'M': return toUnsigned(value * (double)(1ull << 20));
		case 'G': return toUnsigned(value * (double)(1ull << 30));
		case 'T': return toUnsigned(value * (double)(1ull << 40));
		default: return 0;
		}
	}
	setSize(size, used);
	return toUnsigned(value);
}

uint64_t String::toHz(const char *src, uint32_t *size) {
	double value;
	uint32_t used;
	const char *suffix;
	setSize(size, 0);
	if (src == nullptr || !readQuantity(src, value, used, suffix)) return 0;
	if (upper(suffix[0]) == 'H' && upper(suffix[1]) == 'Z') {
		setSize(size, (uint32_t)(suffix + 2 - src));
		return toUnsigned(value);
	}
	if (isLetter(suffix[0]) && upper(suffix[1]) == 'H' && upper(suffix[2]) == 'Z') {
		setSize(size, (uint32_t)(suffix + 3 - src));
		switch (upper(suffix[0])) {
		case 'K': return toUnsigned(value * 1e3);
		case 'M': return toUnsigned(value * 1e6);
		case 'G': return toUnsigned(value * 1e9);
		case 'T': return toUnsigned(value * 1e12);
		default: return 0;
		}
	}
	setSize(size, used);
	return toUnsigned(value);
}

double String::toMetres(const char *src, uint32_t *size) {
	double value;
	uint32_t used;
	const char *suffix;
	setSize(size, 0);
	if (src == nullptr || !readQuantity(src, value, used, suffix)) return 0.0;
	if ((uint8_t)suffix[0] == 0xce && (uint8_t)suffix[1] == 0xbc && upper(suffix[2]) == 'M') {
		setSize(size, (uint32_t)(suffix + 3 - src));
		return value * 1e-6;
	}
	if (isLetter(suffix[0]) && upper(suffix[1]) == 'M') {
		setSize(size, (uint32_t)(suffix + 2 - src));
		switch (upper(suffix[0])) {
		case 'U': return value * 1e-6;
		case 'M': return value * 1e-3;
		case 'C': return value * 1e-2;
		case 'K': return value * 1e3;
		default: return 0.0;
		}
	}
	if (upper(suffix[0]) == 'M') {
		setSize(size, (uint32_t)(suffix + 1 - src));
		return value;
	}
	setSize(size, used);
	return value;
}

uint64_t String::toCount(const char *src, uint32_t *size) {
	double value;
	uint32_t used;
	const char *suffix;
	setSize(size, 0);
	if (src == nullptr || !readQuantity(src, value, used, suffix)) return 0;
	double factor = 0.0;
	switch (upper(suffix[0])) {
	case 'K': factor = 1e3; break;
	case 'M': factor = 1e6; break;
	case 'B': factor = 1e9; break;
	case 'T': factor = 1e12; break;
	default: break;
	}
	if (factor == 0.0) {
		setSize(size, used);
		return toUnsigned(value);
	}
	setSize(size, (uint32_t)(suffix + 1 - src));
	return toUnsigned(value * factor);
}

uint64_t String::toBytes(uint32_t pos, uint32_t *size) const {
	return toBytes(data + (pos < length ? pos : length), size);
}

uint64_t String::toHz(uint32_t pos, uint32_t *size) const {
	return toHz(data + (pos < length ? pos : length), size);
}

double String::toMetres(uint32_t pos, uint32_t *size) const {
	return toMetres(data + (pos < length ? pos : length), size);
}

uint64_t String::toCount(uint32_t pos, uint32_t *size) const {
	return toCount(data + (pos < length ? pos : length), size);
}

//
// transformations
//

String String::decodeUrl(const char *src, int32_t length) {
	StringStack<64> s;
	if (src == nullptr) return String();
	size_t n = length < 0 ? strlen(src) : (size_t)length;
	for (size_t i = 0; i < n; i++) {
		char c = src[i];
		if (c == '%' && n - i > 2) {
			int32_t high = hexDigit(src[i + 1]);
			int32_t low = hexDigit(src[i + 2]);
			if (high >= 0 && low >= 0) {
				c = (char)(high * 16 + low);
				i += 2;
			}
		}
		// with its length, so that "%00" gives a NUL byte too
		s.append(&c, 1);
	}
	return String(static_cast<StringStack<64> &&>(s));
}

String String::capitalize(const char *separators, const char *spaces) const {
	StringStack<64> s;
	s.reserve(length);
	bool raise = true;
	for (uint32_t i = 0; i < length;) {
		uint8_t c = (uint8_t)data[i];
		if (c >= 0xc0) {
			uint32_t n = sequenceLength(c);
			if (n > length - i) n = length - i;
			s.append(data + i, n);
			i += n;
			raise = false;
			continue;
		}
		char out = (char)c;
		if (raise && out >= 'a' && out <= 'z') out = upper(out);
		if (c != 0 && spaces && strchr(spaces, c)) {
			out = ' ';
			raise = true;
		} else {
			raise = c != 0 && separators && strchr(separators, c);
		}
		s.append(&out, 1);
		i++;
	}
	return String(static_cast<StringStack<64> &&>(s));
}

String String::tolower() const {
	StringStack<64> s(data, length);
	for (uint32_t i = 0; i < s.length; i++) {
		if (s.data[i] >= 'A' && s.data[i] <= 'Z') s.data[i] = (char)(s.data[i] - 'A' + 'a');
	}
	return String(static_cast<StringStack<64> &&>(s));
}

String String::toupper() const {
	StringStack<64> s(data, length);
	for (uint32_t i = 0; i < s.length; i++) s.data[i] = upper(s.data[i]);
	return String(static_cast<StringStack<64> &&>(s));
}

uint32_t String::distance(const char *str, bool partial) const {
	if (str == nullptr) str = "";
	size_t m = strlen(str);
	if (m > MaxCapacity) m = MaxCapacity;
	Array<uint32_t> rows;
	if (!partial || m <= length) return levenshtein(data, length, str, (uint32_t)m, rows);
	// the best match of this text against the tails of the longer one
	uint32_t best = ~0u;
	for (size_t k = 0; k < m - length; k++) {
		uint32_t d = levenshtein(data, length, str + k, (uint32_t)(m - k), rows);
		if (d < best) best = d;
	}
	return best;
}

uint32_t String::hash(uint32_t pos) const {
	if (pos > length) pos = length;
	uint32_t h = (length - pos) + 131;
	for (uint32_t i = pos; i < length; i++) h = h * 131 + (uint32_t)(int32_t)(int8_t)data[i];
	return h;
}

uint64_t String::hash64(uint32_t pos) const {
	if (pos > length) pos = length;
	uint64_t h = (uint64_t)(length - pos) + 131;
	for (uint32_t i = pos; i < length; i++) h = h * 131 + (uint64_t)(int64_t)(int8_t)data[i];
	return h;
}

uint32_t String::toColor(uint32_t pos) const {
	if (pos >= length || data[pos] != '#') return 0xff00ffffu;
	uint32_t v = tou32(data + pos + 1, 16);
	uint32_t r, g, b, a = 0xff;
	switch (length - pos) {
	case 4:
		r = ((v >> 8) & 0xf) * 17;
		g = ((v >> 4) & 0xf) * 17;
		b = (v & 0xf) * 17;
		break;
	case 9:
		r = v >> 24;
		g = (v >> 16) & 0xff;
		b = (v >> 8) & 0xff;
		a = v & 0xff;
		break;
	default:
		r = (v >> 16) & 0xff;
		g = (v >> 8) & 0xff;
		b = v & 0xff;
		break;
	}
	return (a << 24) | (b << 16) | (g << 8) | r;
}

} // namespace Vexa
