// Builds and throws the String that carries a parsing error.
#include "core/Error.h"

#include <cstdarg>

#include "core/String.h"

namespace Vexa {

void throwError(const char *format, ...) {
	va_list args;
	va_start(args, format);
	String message = String::vformat(format, args);
	va_end(args);
	throw message;
}

} // namespace Vexa
