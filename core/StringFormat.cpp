// The printf and scanf engines of String.
//
// The system formats its messages and generated sources with its own engine so
// that the common conversions come out identical on every platform: 'l' always
// means 64 bits, "%b" prints binary, and "%f"/"%g" use the system's own float
// printer. Only a directive with flags, width or precision is handed to the
// platform's formatter, and then always with exactly the arguments that the
// directive consumes, so a width never shifts the arguments that follow.
#include "core/String.h"

#include <cstdio>
#include <cstring>

namespace Vexa {

namespace {

enum Kind {
	Char,
	Text,
	Signed32,
	Decimal32,
	Hex32,
	Octal32,
	Binary32,
	Fixed6,
	General6,
	Signed64,
	Decimal64,
	Hex64,
	Octal64,
	Binary64,
	Fixed12,
	General12,
	SizeDecimal,
	SizeHex,
	Percent,
};

struct Literal {
	const char *text;
	uint32_t length;
	Kind kind;
};

// the directives converted by the system's own printers, in match order
const Literal literals[] = {
	{"%c", 2, Char},
	{"%s", 2, Text},
	{"%d", 2, Signed32},
	{"%i", 2, Signed32},
	{"%u", 2, Decimal32},
	{"%x", 2, Hex32},
	{"%o", 2, Octal32},
	{"%b", 2, Binary32},
	{"%f", 2, Fixed6},
	{"%g", 2, General6},
	{"%ld", 3, Signed64},
	{"%li", 3, Signed64},
	{"%lu", 3, Decimal64},
	{"%lx", 3, Hex64},
	{"%lo", 3, Octal64},
	{"%lb", 3, Binary64},
	{"%lf", 3, Fixed12},
	{"%lg", 3, General12},
	{"%lld", 4, Signed64},
	{"%lli", 4, Signed64},
	{"%llu", 4, Decimal64},
	{"%llx", 4, Hex64},
	{"%llo", 4, Octal64},
	{"%llb", 4, Binary64},
	{"%zu", 3, SizeDecimal},
	{"%zx", 3, SizeHex},
	{"%%", 2, Percent},
};

// Characters that continue a directive. 'z' is among them so that "%zu"
// and "%zx" reach their literal forms.
inline bool is_spec_char(char c) {
	return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == '*' || c == 'l' || c == 'z';
}

inline bool is_digit(char c) {
	return c >= '0' && c <= '9';
}

// Appends the platform's formatting of `spec`. Output that does not fit the
// stack buffer is formatted a second time straight into the String, so a wide
// field is never cut.
void append_vplatform(String &out, const char *spec, va_list args) {
	char buffer[1024];
	va_list copy;
	va_copy(copy, args);
	int n = vsnprintf(buffer, sizeof(buffer), spec, copy);
	va_end(copy);
	if (n <= 0) return;
	if ((size_t)n < sizeof(buffer)) {
		out.append(buffer, (uint32_t)n);
		return;
	}
	out.reserve(out.length + (uint32_t)n);
	va_copy(copy, args);
	vsnprintf(out.data + out.length, (size_t)n + 1, spec, copy);
	va_end(copy);
	out.length += (uint32_t)n;
	out.data[out.length] = 0;
}

void append_platform(String &out, const char *spec, ...) {
	va_list args;
	va_start(args, spec);
	append_vplatform(out, spec, args);
	va_end(args);
}

// one platform conversion with the '*' widths and precisions read before it
template <class T>
void append_converted(String &out, const char *spec, uint32_t stars, const int *star, T value) {
	if (stars == 0) append_platform(out, spec, value);
	else if (stars == 1) append_platform(out, spec, star[0], value);
	else append_platform(out, spec, star[0], star[1], value);
}

} // namespace

//
// printf engine
//

String &String::vprintf(const char *format, va_list args) {
	length = 0;
	terminate();
	if (format == nullptr) return *this;
	const char *s = format;
	while (*s != 0) {
		if (*s != '%') {
			const char *run = s;
			while (*s != 0 && *s != '%') s++;
			append(run, (uint32_t)(s - run));
			continue;
		}
		const char *begin = s++;
		while (is_spec_char(*s)) s++;
		// a directive cut by the end of the format produces nothing
		if (*s == 0) break;
		const char *end = ++s;
		uint32_t size = (uint32_t)(end - begin);

		const Literal *literal = nullptr;
		for (const Literal &l : literals) {
			if (l.length == size && memcmp(l.text, begin, size) == 0) {
				literal = &l;
				break;
			}
		}
		if (literal != nullptr) {
			switch (literal->kind) {
			case Char: append((char)va_arg(args, int)); break;
			case Text: append(va_arg(args, const char *)); break;
			case Signed32: appendi32(va_arg(args, int32_t), 10); break;
			case Decimal32: appendu32(va_arg(args, uint32_t), 10); break;
			case Hex32: appendu32(va_arg(args, uint32_t), 16); break;
			case Octal32: appendu32(va_arg(args, uint32_t), 8); break;
			case Binary32: appendu32(va_arg(args, uint32_t), 2); break;
			case Fixed6: appendf64(va_arg(args, double), 6, false, false); break;
			case General6: appendf64(va_arg(args, double), 6, false, true); break;
			case Signed64: appendi64(va_arg(args, int64_t), 10); break;
			case Decimal64: appendu64(va_arg(args, uint64_t), 10); break;
			case Hex64: appendu64(va_arg(args, uint64_t), 16); break;
			case Octal64: appendu64(va_arg(args, uint64_t), 8); break;
			case Binary64: appendu64(va_arg(args, uint64_t), 2); break;
			case Fixed12: appendf64(va_arg(args, double), 12, false, false); break;
			case General12: appendf64(va_arg(args, double), 12, false, true); break;
			case SizeDecimal: appendu64(va_arg(args, size_t), 10); break;
			case SizeHex: appendu64(va_arg(args, size_t), 16); break;
			case Percent: append('%'); break;
			}
			continue;
		}

		// The platform's formatter gets a directive rewritten to what this
		// engine means by it: every 'l' or 'z' of an integer conversion is one
		// 64-bit argument ("ll" on every platform), and other conversions read
		// their natural argument.
		char conversion = end[-1];
		bool wide = false;
		uint32_t stars = 0;
		for (const char *c = begin; c + 1 < end; c++) {
			if (*c == 'l' || *c == 'z') wide = true;
			else if (*c == '*') stars++;
		}
		bool is_signed = conversion == 'd' || conversion == 'i';
		bool is_unsigned = strchr("uxXob", conversion) != nullptr;
		bool is_float = strchr("fFeEgGaA", conversion) != nullptr;
		bool known = is_signed || is_unsigned || is_float || conversion == 'c' || conversion == 's' || conversion == 'p';
		StringStack<64> spec;
		if (!known || stars > 2) {
			// a conversion this engine does not know reads the remaining list
			// as it stands, and no argument is stepped past
			spec.append(begin, size);
			append_vplatform(*this, spec.get(), args);
			continue;
		}
		for (const char *c = begin; c + 1 < end; c++) {
			if (*c != 'l' && *c != 'z') spec.append(*c);
		}
		if (wide && (is_signed || is_unsigned)) spec.append("ll", 2);
		spec.append(conversion);
		int star[2] = {0, 0};
		for (uint32_t i = 0; i < stars; i++) star[i] = va_arg(args, int);
		if (is_signed) {
			if (wide) append_converted(*this, spec.get(), stars, star, va_arg(args, long long));
			else append_converted(*this, spec.get(), stars, star, va_arg(args, int));
		} else if (is_unsigned) {
			if (wide) append_converted(*this, spec.get(), stars, star, va_arg(args, unsigned long long));
			else append_converted(*this, spec.get(), stars, star, va_arg(args, unsigned int));
		} else if (is_float) {
			append_converted(*this, spec.get(), stars, star, va_arg(args, double));
		} else if (conversion == 'c') {
			append_converted(*this, spec.get(), stars, star, va_arg(args, int));
		} else if (conversion == 's') {
			// a null text prints as an empty one, as the literal form does
			const char *text = va_arg(args, const char *);
			append_converted(*this, spec.get(), stars, star, text != nullptr ? text : "");
		} else {
			append_converted(*this, spec.get(), stars, star, va_arg(args, void *));
		}
	}
	return *this;
}

String &String::printf(const char *format, ...) {
	va_list args;
	va_start(args, format);
	vprintf(format, args);
	va_end(args);
	return *this;
}

String String::format(const char *format, ...) {
	StringStack<64> s;
	va_list args;
	va_start(args, format);
	s.vprintf(format, args);
	va_end(args);
	return String(static_cast<StringStack<64> &&>(s));
}

String String::vformat(const char *format, va_list args) {
	StringStack<64> s;
	s.vprintf(format, args);
	return String(static_cast<StringStack<64> &&>(s));
}

//
// scanf engine
//

uint32_t String::vscanf(const char *format, va_list args) const {
	uint32_t count = 0;
	if (format == nullptr) return 0;
	const char *f = format;
	const char *t = data;
	while (*t != 0 && *f != 0) {
		while (*f == ' ' || *f == '\t') f++;
		while (*t == ' ' || *t == '\t') t++;
		if (*f != '%') {
			if (*f == 0 || *f != *t) break;
			f++;
			t++;
			continue;
		}

		const char *spec = ++f;
		while (is_digit(*f) || *f == '.' || *f == 'l') f++;
		if (*f == 0) break;
		char conversion = *f++;
		uint32_t longs = 0;
		for (const char *c = spec; c + 1 < f; c++) {
			if (*c == 'l') longs++;
		}
		// leading digits are a field width, which only "%s" obeys
		uint32_t width = 0;
		for (const char *c = spec; is_digit(*c); c++) {
			if (width < 100000000u) width = width * 10 + (uint32_t)(*c - '0');
		}

		// the token ends before the format's next character, a space, a tab or
		// the end of the text
		char delimiter = *f;
		const char *token = t;
		while (*t != 0 && *t != ' ' && *t != '\t' && *t != delimiter) t++;
		uint32_t size = (uint32_t)(t - token);
		if (conversion == 's' && width != 0 && size > width) {
			// a width bounds the field, and with it the caller's buffer
			size = width;
			t = token + width;
		}

		// the parsers read up to a NUL, so they get the token alone
		StringStack<64> text;
		text.append(token, size);
		const char *src = text.get();
		bool stored = true;
		if (longs == 0) {
			switch (conversion) {
			case 's': {
				char *dst = va_arg(args, char *);
				if (dst != nullptr) {
					memcpy(dst, token, size);
					dst[size] = 0;
				}
				break;
			}
			case 'd': {
				int32_t *dst = va_arg(args, int32_t *);
				if (dst != nullptr) *dst = toi32(src, 10);
				break;
			}
			case 'u': {
				uint32_t *dst = va_arg(args, uint32_t *);
				if (dst != nullptr) *dst = tou32(src, 10);
				break;
			}
			case 'x': {
				uint32_t *dst = va_arg(args, uint32_t *);
				if (dst != nullptr) *dst = tou32(src, 16);
				break;
			}
			case 'o': {
				uint32_t *dst = va_arg(args, uint32_t *);
				if (dst != nullptr) *dst = tou32(src, 8);
				break;
			}
			case 'b': {
				uint32_t *dst = va_arg(args, uint32_t *);
				if (dst != nullptr) *dst = tou32(src, 2);
				break;
			}
			case 'f': {
				float *dst = va_arg(args, float *);
				if (dst != nullptr) *dst = tof32(src);
				break;
			}
			default: stored = false; break;
			}
		} else if (longs <= 2) {
			switch (conversion) {
			case 'd': {
				int64_t *dst = va_arg(args, int64_t *);
				if (dst != nullptr) *dst = toi64(src, 10);
				break;
			}
			case 'u': {
				uint64_t *dst = va_arg(args, uint64_t *);
				if (dst != nullptr) *dst = tou64(src, 10);
				break;
			}
			case 'x': {
				uint64_t *dst = va_arg(args, uint64_t *);
				if (dst != nullptr) *dst = tou64(src, 16);
				break;
			}
			case 'o': {
				uint64_t *dst = va_arg(args, uint64_t *);
				if (dst != nullptr) *dst = tou64(src, 8);
				break;
			}
			case 'b': {
				uint64_t *dst = va_arg(args, uint64_t *);
				if (dst != nullptr) *dst = tou64(src, 2);
				break;
			}
			case 'f': {
				if (longs != 1) {
					stored = false;
					break;
				}
				double *dst = va_arg(args, double *);
				if (dst != nullptr) *dst = tof64(src);
				break;
			}
			default: stored = false; break;
			}
		} else {
			stored = false;
		}
		if (stored) count++;

		if (*f == 0 || *f != *t) break;
		f++;
		t++;
	}
	return count;
}

uint32_t String::scanf(const char *format, ...) const {
	va_list args;
	va_start(args, format);
	uint32_t count = vscanf(format, args);
	va_end(args);
	return count;
}

} // namespace Vexa
