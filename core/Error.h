// The error convention of parsing code: deep inside the preprocessor, the
// shader State setters and the compiler, a malformed input is reported by
// throwing a plain Vexa::String that holds the formatted message. The few
// callers that catch it (as a const String reference) log the text and return
// failure; nothing else in the system throws.
#pragma once

namespace Vexa {

// formats the message with String::vformat and throws it as a String
[[noreturn]] void throwError(const char *format, ...);

} // namespace Vexa
