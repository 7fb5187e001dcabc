// Small tests that hold no state and never fail: identifier characters, the
// stage families, reserved and declared names, and the constants that leave
// the other operand of an operation unchanged (so that the operation need not
// be emitted).
#include "shader/compiler/Compiler.h"

#include <cstring>

namespace Vexa {

namespace {

// the opcodes and execution models the predicates tell apart
enum : uint32_t {
	OpIAdd = 128,
	OpFAdd = 129,
	OpISub = 130,
	OpFSub = 131,
	OpIMul = 132,
	OpFMul = 133,
	OpUDiv = 134,
	OpSDiv = 135,
	OpFDiv = 136,
	OpLogicalOr = 166,
	OpLogicalAnd = 167,
	OpShiftRightLogical = 194,
	OpShiftLeftLogical = 196,
	OpBitwiseOr = 197,
};

enum : uint32_t {
	ModelGLCompute = 5,
	ModelRayGeneration = 5313,
	ModelCallable = 5318,
	ModelTask = 5364,
	ModelMesh = 5365,
};

// neither less nor greater: -0.0 equals 0.0, and a NaN equals anything
bool equals(double a, double b) {
	return !(a < b) && !(a > b);
}

} // namespace

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

bool Value::is_uniform() const {
	for (uint32_t i = 1; i < count; i++) {
		if (components[i] != components[0]) return false;
	}
	return true;
}

bool Value::is_right_identity(uint32_t opcode) const {
	const uint64_t bits = components[0];
	double value = 0.0;
	static_assert(sizeof(value) == sizeof(bits), "a double component is 64 bits");
	std::memcpy(&value, &bits, sizeof(value));
	switch (opcode) {
		case OpIAdd:
		case OpISub:
		case OpLogicalOr:
		case OpShiftRightLogical:
		case OpShiftLeftLogical:
		case OpBitwiseOr: return bits == 0;
		case OpIMul:
		case OpUDiv:
		case OpSDiv: return bits == 1;
		case OpLogicalAnd: return bits != 0;
		case OpFAdd:
		case OpFSub: return equals(value, 0.0);
		case OpFMul:
		case OpFDiv: return equals(value, 1.0);
		default: return false;
	}
}

bool Value::is_left_identity(uint32_t opcode) const {
	switch (opcode) {
		// c - x, c / x and c << x depend on x for every c
		case OpISub:
		case OpFSub:
		case OpUDiv:
		case OpSDiv:
		case OpFDiv:
		case OpShiftRightLogical:
		case OpShiftLeftLogical: return false;
		default: return is_right_identity(opcode);
	}
}

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
