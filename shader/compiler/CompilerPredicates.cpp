// Small tests that hold no state and never fail: identifier characters, the
// stage families, reserved and declared names, and the constants that leave
// the other operand of an operation unchanged (so that the operation need not
// be emitted).
#include "shader/compiler/Compiler.h"

#include "shader/ShaderSpirvNumbers.h"

#include <cstring>

namespace Vexa {

using namespace Spirv;

bool is_pow2(uint32_t x) {
	return (x & (x - 1)) == 0;
}

uint32_t max(uint32_t a, uint32_t b) {
	return a > b ? a : b;
}

double max(double a, double b) {
	return a > b ? a : b;
}

double min(double a, double b) {
	return a < b ? a : b;
}

// Value::is_uniform and the identity tests live with the folding they serve.

bool Compiler::is_letter(char c) {
	return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool Compiler::is_compute_stage() const {
	return execution_model == ModelGLCompute || execution_model == ModelTask || execution_model == ModelMesh;
}

bool Compiler::is_tracing_stage() const {
	return execution_model >= ModelRayGeneration && execution_model <= ModelCallable;
}

bool Compiler::is_reserved(const String &name) const {
	if ((flags & FlagReserved) == 0) return false;
	return keywords.find(name) != nullptr || glsl_types.find(name) != nullptr;
}

bool Compiler::is_declared(const String &name, const Scope &scope) {
	return scope.variables.find(name) != nullptr || scope.structures.find(name) != nullptr;
}

} // namespace Vexa
