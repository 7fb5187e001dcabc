// The text scanners that all hand-written parsing is built from: the
// preprocessor, the shader State's macro and pragma parsers and the GLSL
// compiler. Each function looks at NUL-terminated text at a pointer, never
// changes it, and returns how many characters it consumed, so that the caller
// advances its own cursor. Unless said otherwise a function first skips space,
// tab, LF and CR, and the count includes them.
//
// Readers copy what they consumed (or a cleaned form of it) into `out`, which
// they empty first unless `append` is true. Malformed text does not return:
// the function throws a String (throwError) whose message ends with a newline,
// and, where it shows the offending text, with the rest of the line and a
// newline. No function reads past the terminating NUL.
#pragma once

#include <cstdint>

namespace Vexa {

class String;

namespace Parser {

// the character c after spaces ("expecting '%c'\n"); for c LF the skip
// passes over space, tab and CR only; the second form counts the LFs skipped
uint32_t expectChar(const char *src, char c);
uint32_t expectChar(const char *src, char c, uint32_t *lines);

// the first character after the spaces, 0 at the end
uint32_t peekChar(const char *src);

// predicates
bool isBOM(const char *src);
bool isComment(const char *src);
bool isFloat(const char *src);
bool isHexDigit(char c);
bool isNumber(const char *src);
bool isSigned(const char *src);
bool isUnsigned(const char *src);

// numbers: sign (spaces after it dropped), digits and suffix
uint32_t readDecimal(const char *src, String &out, bool append = false);
uint32_t readFloat(const char *src, String &out, bool append = false);
uint32_t readHexadecimal(const char *src, String &out, bool append = false);
uint32_t readNumber(const char *src, String &out, bool append = false);

// up to the next LF, CR dropped; with join a backslash before an LF continues
// the line and the LF is kept
uint32_t readLine(const char *src, String &out, bool join = false, bool append = false);

// an identifier, or one that may also hold the characters of extra
uint32_t readName(const char *src, String &out, bool append = false);
uint32_t readName(const char *src, String &out, const char *extra, bool append = false);

// a balanced stretch of text from open to close, or with open 0 up to the
// next close at nesting depth 0 (left unconsumed)
uint32_t readRegion(const char *src, String &out, char open, char close, bool keep = false, bool append = false);

// a double-quoted string or single-quoted symbol: with quotes as written,
// else the text between the quotes with its escapes decoded
uint32_t readString(const char *src, String &out, bool quotes, bool append = false);
uint32_t readSymbol(const char *src, String &out, bool quotes, bool append = false);

// a whole text of at most length bytes (no leading skip): a UTF-8 byte order
// mark is dropped, UTF-16 text after its byte order mark becomes UTF-8
uint32_t readText(const char *src, uint32_t length, String &out, bool append = false);

// one delimiter, or the run up to the next space or delimiter
uint32_t readToken(const char *src, String &out, const char *delimiters, bool append = false);
// the run up to the next space character
uint32_t readWord(const char *src, String &out, bool append = false);

// a "//" comment through its LF or a "/*" comment through "*/", after spaces;
// the second form counts the LFs of the comment
uint32_t skipComment(const char *src);
uint32_t skipComment(const char *src, uint32_t *lines);

uint32_t skipDecimal(const char *src);
uint32_t skipFloat(const char *src);
uint32_t skipHexadecimal(const char *src);
uint32_t skipNumber(const char *src);
uint32_t skipLine(const char *src, bool join = false);
// just past the count-th LF, no leading skip
uint32_t skipLines(const char *src, uint32_t count);
uint32_t skipName(const char *src);
uint32_t skipName(const char *src, const char *extra);
uint32_t skipSpaces(const char *src);
uint32_t skipSpaces(const char *src, uint32_t *lines);
uint32_t skipString(const char *src);
uint32_t skipSymbol(const char *src);
uint32_t skipToken(const char *src, const char *delimiters);
uint32_t skipWord(const char *src);

} // namespace Parser

} // namespace Vexa
