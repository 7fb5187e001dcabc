// The whole user interface of the `shader` program, kept apart from `main` so
// that tests can drive the argument walk in-process.
#pragma once

namespace Vexa {

// walks the arguments and returns the exit status
int runShaderProgram(int argc, char **argv);

} // namespace Vexa
