// Signedness repair of integer operands. SPIR-V types an integer operand as
// signed or unsigned, but many opcodes read it in a signedness of their own
// (OpSDiv on unsigned values, OpUMod on signed ones, GLSL.std.450 UMax on
// signed ones), and the others let operands and result mix signedness freely
// (OpIAdd of an int and a uint giving a uint). A target whose operators take
// operands of one type and give that type cannot write the mix as it is: the
// analysis here says which operands go through `get_sign_cast`, to which
// signedness, and whether the result comes back to its type by a cast.
#include "shader/ShaderSpirv.h"
#include "shader/ShaderSpirvNumbers.h"

namespace Vexa {

using namespace Spirv;

namespace {

// the operands (from word 3 on) that an opcode reads in its result's type on
// a target of typed operators: 0 for an opcode of no such form; the shift
// amount of OpShiftLeftLogical is a count, whatever its type
uint32_t result_typed_operands(int32_t op) {
	switch (op) {
		case OpIAdd:
		case OpISub:
		case OpIMul:
		case OpBitwiseOr:
		case OpBitwiseXor:
		case OpBitwiseAnd:
			return 2;
		case OpShiftLeftLogical:
		case OpSNegate:
		case OpNot:
			return 1;
	}
	return 0;
}

} // namespace

bool ShaderSpirv::has_typed_operators() const {
	return false;
}

bool ShaderSpirv::differ_in_sign(uint32_t a, uint32_t b) const {
	return (is_signed_type(a) && is_unsigned_type(b)) || (is_unsigned_type(a) && is_signed_type(b));
}

bool ShaderSpirv::takes_result_sign(const Iterator &it) const {
	if (!has_typed_operators()) return false;
	uint32_t count = result_typed_operands(it.get_opcode());
	for (uint32_t k = 0; k < count && 3 + k < it.get_size(); k++) {
		if (differ_in_sign(it[1], get_target(it[3 + k])[1])) return true;
	}
	return false;
}

ShaderSpirv::SignRepair ShaderSpirv::get_sign_repair(const Iterator &it, uint32_t k) const {
	int32_t op = it.get_opcode();
	SignRepair repair;
	if (k < 3 || k >= it.get_size()) return repair;
	if (takes_result_sign(it)) {
		// an operation in its result's type: the operands of the other
		// signedness are read as it
		if (k < 3 + result_typed_operands(op) && differ_in_sign(it[1], get_target(it[k])[1])) repair.sign = is_signed_type(it[1]) ? SignSigned : SignUnsigned;
		return repair;
	}
	if (has_typed_operators() && (op == OpIEqual || op == OpINotEqual)) {
		// equality compares the bits: the second operand is read as the first
		uint32_t first_type = get_target(it[3])[1];
		if (k == 4 && differ_in_sign(first_type, get_target(it[4])[1])) repair.sign = is_signed_type(first_type) ? SignSigned : SignUnsigned;
		return repair;
	}
	uint32_t first = 0;
	uint32_t end = 0;
	Sign sign = get_opcode_sign(it, first, end);
	if (sign == SignAny || k < first || k >= end) return repair;
	Iterator type = get_target_type(it[k]);
	if (type.get_opcode() == OpTypeVector) type = get_target_type(type[2]);
	if (type.get_opcode() != OpTypeInt || (type[3] != 0) == (sign == SignSigned)) return repair;
	repair.sign = sign;
	repair.literal = true;
	return repair;
}

} // namespace Vexa
