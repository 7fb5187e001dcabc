// The emitters of operations on values: each folds constant operands into a
// constant of the result type when the fold is defined, takes the shortcuts
// of identities (x + 0, x * 1) and absorbing values (integer x * 0) where
// the result is the same for every other operand, and else emits the
// instruction into the function's code.
#include "shader/compiler/Compiler.h"

#include "shader/ShaderSpirvNumbers.h"

#include <cmath>

namespace Vexa {

namespace {

using namespace Spirv;

// An absorbing operand gives the result whatever the other one is: integer
// x * 0, x & 0, x && false, and x || true. A float x * 0.0 is no such case
// (infinity and NaN times zero are NaN, and the sign of zero follows x).
bool absorbing(const Value &value, uint32_t opcode, uint64_t &result) {
	if (!value.is_uniform() || (value.flags & Compiler::TypeFloat) || (value.flags & (Compiler::TypeUint | Compiler::TypeInt | Compiler::TypeBool)) == 0) return false;
	uint64_t x = value.components[0];
	switch (opcode) {
	case OpIMul:
	case OpBitwiseAnd:
	case OpLogicalAnd: result = 0; return x == 0;
	case OpLogicalOr: result = 1; return x != 0;
	default: return false;
	}
}

// truncation of every component of value fits the integer of flags
bool conversion_fits(const Value &value, uint32_t flags, bool is_signed) {
	uint32_t width = (flags & Compiler::Type64) ? 64 : (flags & Compiler::Type16) ? 16 : 32;
	double limit = std::ldexp(1.0, static_cast<int>(width) - (is_signed ? 1 : 0));
	for (uint32_t i = 0; i < value.count; i++) {
		double t = std::trunc(value.get_f64(i));
		if (t != t) return false;
		if (is_signed ? (t < -limit || t >= limit) : (t < 0.0 || t >= limit)) return false;
	}
	return true;
}

} // namespace

uint32_t Compiler::add_unary_operation(Function &function, uint32_t opcode, uint32_t type, uint32_t x) {
	if (const Value *found = constants.get(x)) {
		Value value = *found;
		uint32_t flags = get_target_flags(type);
		Value folded;
		if (opcode == Spirv::OpBitcast) {
			// the bits of each component read back as the result's kind; a
			// cast between different component counts is emitted
			if (get_type_components(flags) == value.count) folded = value.bit_cast(flags);
		} else if ((opcode != Spirv::OpConvertFToS && opcode != Spirv::OpConvertFToU) || conversion_fits(value, flags, opcode == Spirv::OpConvertFToS)) {
			// a float out of the integer's range converts to an undefined value
			folded = value.unary_operation(opcode, 0);
			// a 64-bit integer rounds once to a narrower float, not through a double
			if ((opcode == Spirv::OpConvertSToF || opcode == Spirv::OpConvertUToF) && (value.flags & Type64) && !(flags & Type64)) {
				for (uint32_t i = 0; i < folded.count; i++) {
					float single = opcode == Spirv::OpConvertSToF ? static_cast<float>(static_cast<int64_t>(value.get_bits(i))) : static_cast<float>(value.get_bits(i));
					folded.set_f64(i, static_cast<double>(single));
				}
			}
		}
		if (folded.count > 0) return add_constant(get_target_type_name(type), folded);
	}
	uint32_t id = next_id++;
	add_function_opcode(function, opcode, {type, id, x});
	add_target(id, type);
	// what is computed of a non-uniform value is non-uniform
	if (is_non_uniform(x)) set_non_uniform(id);
	return id;
}

uint32_t Compiler::add_binary_operation(Function &function, uint32_t opcode, uint32_t type, uint32_t a, uint32_t b) {
	const Value *found_a = constants.get(a);
	const Value *found_b = constants.get(b);
	Value value_a = found_a ? *found_a : Value();
	Value value_b = found_b ? *found_b : Value();
	if (found_a && found_b) {
		Value folded = value_a.binary_operation(value_b, opcode, 0);
		if (folded.count > 0) return add_constant(get_target_type_name(type), folded);
	}

	// an identity gives the other operand, when that is of the result type
	auto of_type = [&](uint32_t id) {
		const Target *target = targets.get(id);
		return target != nullptr && target->type == type;
	};
	uint64_t result = 0;
	if (found_a) {
		if (absorbing(value_a, opcode, result)) return add_constant(get_target_type_name(type), result);
		if (value_a.is_left_identity(opcode) && of_type(b)) return b;
	}
	if (found_b) {
		if (absorbing(value_b, opcode, result)) return add_constant(get_target_type_name(type), result);
		if (value_b.is_right_identity(opcode) && of_type(a)) return a;
	}

	uint32_t id = next_id++;
	add_function_opcode(function, opcode, {type, id, a, b});
	add_target(id, type);
	if (is_non_uniform(a) || is_non_uniform(b)) set_non_uniform(id);
	return id;
}

uint32_t Compiler::add_splat(Function &function, uint32_t type, uint32_t scalar) {
	uint32_t flags = get_target_flags(type);
	uint32_t size = get_target_components(type);
	if (const Value *found = constants.get(scalar)) {
		Value value = found->splat(size);
		if (size > 0 && value.count > 0) return add_constant(get_target_type_name(type), value);
	}
	// a matrix is made of columns, each a splat of the scalar
	uint32_t part = scalar;
	if (flags & TypeMatrixMask) {
		part = add_splat(function, add_type(flags & ~uint32_t(TypeMatrixMask)), scalar);
		size = get_column_count(flags);
	}
	uint32_t id = next_id++;
	Array<uint32_t> parts;
	for (uint32_t i = 0; i < size; i++) parts.append(part);
	add_function_opcode(function, Spirv::OpCompositeConstruct, {type, id}, parts);
	add_target(id, type);
	return id;
}

uint32_t Compiler::add_shuffle(Function &function, uint32_t type, uint32_t source, const Array<uint32_t> &indices) {
	if (const Value *found = constants.get(source)) {
		Value value;
		uint32_t flags = found->flags;
		if ((flags & TypeMatrixMask) && indices.size() == 1) {
			// a column of a matrix
			uint32_t rows = get_vector_size(flags & ~uint32_t(TypeMatrixMask));
			if (indices[0] < get_column_count(flags)) value = Value(*found, indices[0] * rows, rows);
		} else {
			value = found->shuffle(indices);
		}
		if (value.count > 0) return add_constant(get_target_type_name(type), value);
	}
	uint32_t id = next_id++;
	if (indices.size() == 1) {
		add_function_opcode(function, Spirv::OpCompositeExtract, {type, id, source, indices[0]});
	} else {
		add_function_opcode(function, Spirv::OpVectorShuffle, {type, id, source, source}, indices);
	}
	add_target(id, type);
	return id;
}

} // namespace Vexa
