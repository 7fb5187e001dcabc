// Entry point of the `shader` program.
#include "tools/shader/Program.h"

int main(int argc, char **argv) {
	return Vexa::runShaderProgram(argc, argv);
}
