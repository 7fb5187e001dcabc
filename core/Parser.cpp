// The text scanners. Every loop stops at the terminating NUL before it looks
// further ahead, so malformed or truncated text ends in a thrown message and
// never in a read past the end. Character classes are tested by value, never
// through the C library, so the locale plays no part.
#include "core/Parser.h"

#include <cstring>

#include "core/Error.h"
#include "core/String.h"

namespace Vexa {
namespace Parser {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isNameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool isNameChar(char c) { return isNameStart(c) || isDigit(c); }

// c is one of the characters of set; the terminating NUL of set never matches
bool isOneOf(char c, const char *set) { return c != 0 && set != nullptr && strchr(set, c) != nullptr; }

const char *skipDigits(const char *s) {
	while (isDigit(*s)) s++;
	return s;
}

const char *skipHexDigits(const char *s) {
	while (isHexDigit(*s)) s++;
	return s;
}

// "ul", "us", "UL", "US", or one of 'u', 'U', 'l', 'L', 's', 'S'
uint32_t integerSuffix(const char *s) {
	if ((s[0] == 'u' && (s[1] == 'l' || s[1] == 's')) || (s[0] == 'U' && (s[1] == 'L' || s[1] == 'S'))) return 2;
	if (isOneOf(s[0], "uUlLsS")) return 1;
	return 0;
}

// 'f', 'F', "lf", "LF", "hf" or "HF"
uint32_t floatSuffix(const char *s) {
	if ((s[0] == 'l' && s[1] == 'f') || (s[0] == 'L' && s[1] == 'F') || (s[0] == 'h' && s[1] == 'f') || (s[0] == 'H' && s[1] == 'F')) return 2;
	if (s[0] == 'f' || s[0] == 'F') return 1;
	return 0;
}

// an exponent: 'e' or 'E', an optional sign and at least one digit; s when
// there is none
const char *skipExponent(const char *s) {
	if (*s != 'e' && *s != 'E') return s;
	const char *p = s + 1;
	if (*p == '+' || *p == '-') p++;
	if (!isDigit(*p)) return s;
	return skipDigits(p);
}

// a digit, or '.' followed by a digit
bool startsNumber(const char *s) { return isDigit(s[0]) || (s[0] == '.' && isDigit(s[1])); }

bool startsHexPrefix(const char *s) { return s[0] == '0' && (s[1] == 'x' || s[1] == 'X'); }

// the leading spaces, then an optional sign and the spaces after it
const char *skipSign(const char *src, char *sign) {
	const char *s = src + skipSpaces(src);
	*sign = 0;
	if (*s == '+' || *s == '-') {
		*sign = *s++;
		s += skipSpaces(s);
	}
	return s;
}

uint32_t count(const char *begin, const char *end) { return static_cast<uint32_t>(end - begin); }

// throws message with the rest of the line at start in the place of its "%s"
[[noreturn]] void fail(const char *message, const char *start) {
	String line;
	readLine(start, line, true, false);
	throwError(message, line.get());
}

// the same with the two region characters before the rest of the line
[[noreturn]] void fail(const char *message, char open, char close, const char *start) {
	String line;
	readLine(start, line, true, false);
	throwError(message, open, close, line.get());
}

void begin(String *out, bool append) {
	if (out && !append) out->clear();
}

// the sign (when there is one) and the characters from begin to end
void copyNumber(String *out, char sign, const char *begin, const char *end) {
	if (out == nullptr) return;
	if (sign) out->append(sign);
	out->append(begin, count(begin, end));
}

uint32_t scanDecimal(const char *src, String *out, const char *message) {
	char sign;
	const char *s = skipSign(src, &sign);
	if (!isDigit(*s)) fail(message, src);
	const char *start = s;
	s = skipDigits(s);
	s += integerSuffix(s);
	copyNumber(out, sign, start, s);
	return count(src, s);
}

uint32_t scanFloat(const char *src, String *out, const char *message) {
	char sign;
	const char *s = skipSign(src, &sign);
	if (!startsNumber(s)) fail(message, src);
	const char *start = s;
	s = skipDigits(s);
	if (*s == '.') s = skipDigits(s + 1);
	s = skipExponent(s);
	s += floatSuffix(s);
	copyNumber(out, sign, start, s);
	return count(src, s);
}

uint32_t scanHexadecimal(const char *src, String *out, const char *message) {
	char sign;
	const char *s = skipSign(src, &sign);
	bool prefix = startsHexPrefix(s);
	if (prefix) s += 2;
	if (!isHexDigit(*s)) fail(message, src);
	const char *start = s;
	s = skipHexDigits(s);
	s += integerSuffix(s);
	if (out) {
		if (sign) out->append(sign);
		if (prefix) out->append("0x");
		out->append(start, count(start, s));
	}
	return count(src, s);
}

uint32_t scanNumber(const char *src, String *out, const char *message) {
	char sign;
	const char *s = skipSign(src, &sign);
	const char *start = s;
	if (startsHexPrefix(s) && isHexDigit(s[2])) {
		s = skipHexDigits(s + 2);
		s += integerSuffix(s);
	} else if (startsNumber(s)) {
		s = skipDigits(s);
		const char *e = nullptr;
		if (*s == '.') {
			s = skipExponent(skipDigits(s + 1));
			s += floatSuffix(s);
		} else if ((e = skipExponent(s)) != s) {
			s = e + floatSuffix(e);
		} else {
			s += integerSuffix(s);
		}
	} else {
		fail(message, src);
	}
	copyNumber(out, sign, start, s);
	return count(src, s);
}

uint32_t scanName(const char *src, String *out, const char *extra, const char *message) {
	const char *s = src + skipSpaces(src);
	if (!isNameStart(*s)) fail(message, src);
	const char *start = s;
	while (isNameChar(*s) || isOneOf(*s, extra)) s++;
	if (out) out->append(start, count(start, s));
	return count(src, s);
}

// A literal quoted by q. Kept quotes copy it as written; an escape (a
// backslash and the character after it) never ends it, so a literal that ends
// in an escaped backslash closes at the quote after it. Dropped quotes decode
// the escapes of q, n, r and t and refuse any other. An LF or the end of the
// text before the closing quote is an error.
uint32_t scanLiteral(const char *src, String *out, char q, bool quotes, const char *message) {
	const char *s = src + skipSpaces(src);
	if (*s != q) fail(message, src);
	const char *start = s++;
	if (quotes) {
		for (;;) {
			char c = *s;
			if (c == q) break;
			if (c == 0 || c == '\n') fail(message, src);
			s += (c == '\\' && s[1] != 0 && s[1] != '\n') ? 2 : 1;
		}
		s++;
		if (out) out->append(start, count(start, s));
		return count(src, s);
	}
	for (;;) {
		char c = *s;
		if (c == q) break;
		if (c == 0 || c == '\n') fail(message, src);
		if (c == '\\') {
			char e = s[1];
			if (e == q) c = q;
			else if (e == 'n') c = '\n';
			else if (e == 'r') c = '\r';
			else if (e == 't') c = '\t';
			else fail(message, src);
			s++;
		}
		if (out) out->append(c);
		s++;
	}
	return count(src, s + 1);
}

// a "//" or "/*" comment at s (no leading skip), copied into out when given;
// lines counts its LFs and closed tells whether a block comment was closed
const char *scanComment(const char *s, String *out, uint32_t *lines, bool region, bool *closed) {
	*closed = true;
	if (s[0] == '/' && s[1] == '/') {
		const char *start = s;
		s += 2;
		if (!region) {
			while (*s && *s != '\n') s++;
			if (*s == '\n') {
				if (lines) (*lines)++;
				s++;
			}
			if (out) out->append(start, count(start, s));
			return s;
		}
		// in a region the comment stops before its LF; CR is dropped and a
		// backslash-LF goes on to the next line as an LF
		if (out) out->append("//");
		while (*s && *s != '\n') {
			if (s[0] == '\\' && s[1] == '\n') {
				if (out) out->append('\n');
				if (lines) (*lines)++;
				s += 2;
				continue;
			}
			if (out && *s != '\r') out->append(*s);
			s++;
		}
		return s;
	}
	if (s[0] == '/' && s[1] == '*') {
		// the closing "*/" is looked for after the opening "/*", so "/*/"
		// does not close itself
		const char *start = s;
		s += 2;
		while (*s && !(s[0] == '*' && s[1] == '/')) {
			if (*s == '\n' && lines) (*lines)++;
			s++;
		}
		if (*s) s += 2;
		else *closed = false;
		if (out) out->append(start, count(start, s));
		return s;
	}
	return s;
}

uint32_t scanLine(const char *src, String *out, bool join) {
	const char *s = src + skipSpaces(src);
	while (*s && *s != '\n') {
		if (join && s[0] == '\\' && s[1] == '\n') {
			if (out) out->append('\n');
			s += 2;
			continue;
		}
		if (out && *s != '\r') out->append(*s);
		s++;
	}
	return count(src, s);
}

uint32_t scanToken(const char *src, String *out, const char *delimiters) {
	const char *s = src + skipSpaces(src);
	const char *start = s;
	if (*s == 0) return count(src, s);
	if (isOneOf(*s, delimiters) && !isSpace(*s)) {
		s++;
	} else {
		while (*s && !isSpace(*s) && !isOneOf(*s, delimiters)) s++;
	}
	if (out) out->append(start, count(start, s));
	return count(src, s);
}

uint32_t scanWord(const char *src, String *out) {
	const char *s = src + skipSpaces(src);
	const char *start = s;
	while (*s && !isSpace(*s)) s++;
	if (out) out->append(start, count(start, s));
	return count(src, s);
}

} // namespace

uint32_t expectChar(const char *src, char c) { return expectChar(src, c, nullptr); }

uint32_t expectChar(const char *src, char c, uint32_t *lines) {
	const char *s = src;
	for (;; s++) {
		char d = *s;
		if (d == ' ' || d == '\t' || d == '\r') continue;
		if (d == '\n' && c != '\n') {
			if (lines) (*lines)++;
			continue;
		}
		break;
	}
	if (c == 0 || *s != c) throwError("expecting '%c'\n", c);
	return count(src, s + 1);
}

uint32_t peekChar(const char *src) { return static_cast<uint8_t>(src[skipSpaces(src)]); }

bool isBOM(const char *src) {
	const uint8_t *s = reinterpret_cast<const uint8_t *>(src);
	if (s[0] == 0xef) return s[1] == 0xbb && s[2] == 0xbf;
	if (s[0] == 0xff) return s[1] == 0xfe;
	if (s[0] == 0xfe) return s[1] == 0xff;
	return false;
}

bool isComment(const char *src) {
	const char *s = src + skipSpaces(src);
	return s[0] == '/' && (s[1] == '/' || s[1] == '*');
}

bool isFloat(const char *src) {
	char sign;
	const char *s = skipSign(src, &sign);
	if (!startsNumber(s)) return false;
	s = skipDigits(s);
	return *s == '.' || *s == 'e' || *s == 'E';
}

bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool isNumber(const char *src) {
	char sign;
	return startsNumber(skipSign(src, &sign));
}

bool isSigned(const char *src) {
	char sign;
	const char *s = skipSign(src, &sign);
	if (!isDigit(*s)) return false;
	if (startsHexPrefix(s)) {
		s = skipHexDigits(s + 2);
		if (*s == 'u' || *s == 'U') return sign == '-';
		return *s != '.';
	}
	s = skipDigits(s);
	if (*s == 'u' || *s == 'U') return sign == '-';
	return *s != '.' && *s != 'e' && *s != 'E';
}

bool isUnsigned(const char *src) {
	const char *s = src + skipSpaces(src);
	if (!isDigit(*s)) return false;
	s = startsHexPrefix(s) ? skipHexDigits(s + 2) : skipDigits(s);
	return *s == 'u' || *s == 'U';
}

uint32_t readDecimal(const char *src, String &out, bool append) {
	begin(&out, append);
	return scanDecimal(src, &out, "can't read decimal\n%s\n");
}

uint32_t readFloat(const char *src, String &out, bool append) {
	begin(&out, append);
	return scanFloat(src, &out, "can't read float\n%s\n");
}

uint32_t readHexadecimal(const char *src, String &out, bool append) {
	begin(&out, append);
	return scanHexadecimal(src, &out, "can't read hexadecimal\n%s\n");
}

uint32_t readNumber(const char *src, String &out, bool append) {
	begin(&out, append);
	return scanNumber(src, &out, "can't read number\n%s\n");
}

uint32_t readLine(const char *src, String &out, bool join, bool append) {
	begin(&out, append);
	return scanLine(src, &out, join);
}

uint32_t readName(const char *src, String &out, bool append) {
	begin(&out, append);
	return scanName(src, &out, nullptr, "can't read name\n%s\n");
}

uint32_t readName(const char *src, String &out, const char *extra, bool append) {
	begin(&out, append);
	return scanName(src, &out, extra, "can't read name\n%s\n");
}

uint32_t readRegion(const char *src, String &out, char open, char close, bool keep, bool append) {
	begin(&out, append);
	const char *s = src + skipSpaces(src);
	int32_t parentheses = 0;
	int32_t braces = 0;
	int32_t depth = 0;
	if (open && close) {
		if (*s != open) fail("can't read '%c' to '%c' region\n%s\n", open, close, src);
		if (!keep) {
			s++;
			depth = 1;
			if (open == '(') parentheses = 1;
			if (open == '{') braces = 1;
		}
	}
	while (char c = *s) {
		if (c == '"' || c == '\'') {
			const char *message = (c == '"') ? "can't read string\n%s\n" : "can't read symbol\n%s\n";
			s += scanLiteral(s, &out, c, true, message);
			continue;
		}
		if (c == '/' && (s[1] == '/' || s[1] == '*')) {
			bool closed;
			s = scanComment(s, &out, nullptr, true, &closed);
			if (!closed) return count(src, s);
			continue;
		}
		if (c == '(') parentheses++;
		if (c == '{') braces++;
		if (close && close != open && c == open) depth++;
		if (c == ')' && --parentheses < 0) fail("invalid count of '(' and ')' symbols\n%s\n", src);
		if (c == '}' && --braces < 0) fail("invalid count of '{' and '}' symbols\n%s\n", src);
		if (open && c == close && --depth < 0) {
			fail("invalid count of '%c' and '%c' symbols\n%s\n", open, close, src);
		}
		if (c == close && parentheses == 0 && braces == 0 && depth == 0) {
			if (keep) {
				out.append(c);
				s++;
			} else if (open) {
				s++;
			}
			return count(src, s);
		}
		if (!isSpace(c) || !out.empty()) out.append(c);
		s++;
	}
	return count(src, s);
}

uint32_t readString(const char *src, String &out, bool quotes, bool append) {
	begin(&out, append);
	return scanLiteral(src, &out, '"', quotes, "can't read string\n%s\n");
}

uint32_t readSymbol(const char *src, String &out, bool quotes, bool append) {
	begin(&out, append);
	return scanLiteral(src, &out, '\'', quotes, "can't read symbol\n%s\n");
}

uint32_t readText(const char *src, uint32_t length, String &out, bool append) {
	begin(&out, append);
	const uint8_t *b = reinterpret_cast<const uint8_t *>(src);
	if (length >= 3 && b[0] == 0xef && b[1] == 0xbb && b[2] == 0xbf) {
		uint32_t size = static_cast<uint32_t>(strnlen(src + 3, length - 3));
		out.append(src + 3, size);
		return 3 + size;
	}
	if (length >= 2 && ((b[0] == 0xff && b[1] == 0xfe) || (b[0] == 0xfe && b[1] == 0xff))) {
		bool big = b[0] == 0xfe;
		uint32_t i = 2;
		// whole units only, and none past length
		for (; length - i >= 2; i += 2) {
			uint32_t unit = big ? ((b[i] << 8) | b[i + 1]) : (b[i] | (b[i + 1] << 8));
			if (unit == 0) break;
			out.appendUtf8(unit);
		}
		return i;
	}
	uint32_t size = static_cast<uint32_t>(strnlen(src, length));
	out.append(src, size);
	return size;
}

uint32_t readToken(const char *src, String &out, const char *delimiters, bool append) {
	begin(&out, append);
	return scanToken(src, &out, delimiters);
}

uint32_t readWord(const char *src, String &out, bool append) {
	begin(&out, append);
	return scanWord(src, &out);
}

uint32_t skipComment(const char *src) { return skipComment(src, nullptr); }

uint32_t skipComment(const char *src, uint32_t *lines) {
	const char *s = src + skipSpaces(src);
	bool closed;
	return count(src, scanComment(s, nullptr, lines, false, &closed));
}

uint32_t skipDecimal(const char *src) { return scanDecimal(src, nullptr, "can't skip decimal\n%s\n"); }
uint32_t skipFloat(const char *src) { return scanFloat(src, nullptr, "can't skip float\n%s\n"); }
uint32_t skipHexadecimal(const char *src) { return scanHexadecimal(src, nullptr, "can't skip hexadecimal\n%s\n"); }
uint32_t skipNumber(const char *src) { return scanNumber(src, nullptr, "can't skip number\n%s\n"); }
uint32_t skipLine(const char *src, bool join) { return scanLine(src, nullptr, join); }

uint32_t skipLines(const char *src, uint32_t lines) {
	const char *s = src;
	if (lines == 0) return 0;
	while (*s) {
		if (*s++ == '\n' && --lines == 0) break;
	}
	return count(src, s);
}

uint32_t skipName(const char *src) { return scanName(src, nullptr, nullptr, "can't skip name\n%s\n"); }
uint32_t skipName(const char *src, const char *extra) { return scanName(src, nullptr, extra, "can't skip name\n%s\n"); }

uint32_t skipSpaces(const char *src) {
	const char *s = src;
	while (isSpace(*s)) s++;
	return count(src, s);
}

uint32_t skipSpaces(const char *src, uint32_t *lines) {
	const char *s = src;
	while (isSpace(*s)) {
		if (*s == '\n' && lines) (*lines)++;
		s++;
	}
	return count(src, s);
}

uint32_t skipString(const char *src) { return scanLiteral(src, nullptr, '"', true, "can't skip string\n%s\n"); }
uint32_t skipSymbol(const char *src) { return scanLiteral(src, nullptr, '\'', true, "can't skip symbol\n%s\n"); }
uint32_t skipToken(const char *src, const char *delimiters) { return scanToken(src, nullptr, delimiters); }
uint32_t skipWord(const char *src) { return scanWord(src, nullptr); }

} // namespace Parser
} // namespace Vexa
