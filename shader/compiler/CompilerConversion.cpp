// Conversions of a value between scalar kinds and widths: between a float
// and an integer in one instruction, between integers the width first so
// that it extends by the source's signedness, then the kind;
// bool is reached by comparing with zero and left by selecting one or zero.
// A constant source folds.
#include "shader/compiler/Compiler.h"

#include "core/Error.h"
#include "shader/ShaderSpirvNumbers.h"

namespace Vexa {

namespace {

// the kind bits of flags reduced to the one that counts (float, unsigned,
// signed, bool in that order)
uint32_t kind_of(uint32_t flags) {
	if (flags & Compiler::TypeFloat) return Compiler::TypeFloat;
	if (flags & Compiler::TypeUint) return Compiler::TypeUint;
	if (flags & Compiler::TypeInt) return Compiler::TypeInt;
	if (flags & Compiler::TypeBool) return Compiler::TypeBool;
	return 0;
}

} // namespace

uint32_t Compiler::add_conversion(Function &function, uint32_t flags, uint32_t id) {
	uint32_t source = get_target_flags(id);
	uint32_t target_kind = kind_of(flags);
	uint32_t source_kind = kind_of(source);

	// a matrix column by column: conversions take no matrices
	if ((source & TypeMatrixMask) && (flags & TypeMatrixMask) && constants.get(id) == nullptr) {
		// matrices are of floats alone
		if (target_kind != TypeFloat || source_kind != TypeFloat) throwError("can't convert %s to %s\n", get_type_name(source).get(), get_type_name(flags).get());
		uint32_t columns = get_column_count(source);
		uint32_t column_flags = flags & ~uint32_t(TypeMatrixMask);
		uint32_t source_column = add_type(source & ~uint32_t(TypeMatrixMask));
		Array<uint32_t> parts;
		for (uint32_t i = 0; i < columns; i++) {
			uint32_t column = next_id++;
			add_function_opcode(function, Spirv::OpCompositeExtract, {source_column, column, id, i});
			add_target(column, source_column);
			parts.append(add_conversion(function, column_flags, column));
		}
		uint32_t type = add_type(flags);
		uint32_t ret = next_id++;
		add_function_opcode(function, Spirv::OpCompositeConstruct, {type, ret}, parts);
		add_target(ret, type);
		return ret;
	}

	// to bool: a comparison with the zero of the source's type
	if (target_kind == TypeBool && source_kind != TypeBool) {
		uint32_t type = add_type(flags);
		uint32_t opcode = 0;
		// a NaN is not zero: the unordered comparison, as GLSL's != of floats
		if (source_kind == TypeFloat) opcode = Spirv::OpFUnordNotEqual;
		else if (source_kind == TypeUint || source_kind == TypeInt) opcode = Spirv::OpINotEqual;
		else throwError("can't convert %s to %s\n", get_type_name(source).get(), get_type_name(flags).get());
		uint32_t zero = add_constant(get_type_name(source), 0);
		return add_binary_operation(function, opcode, type, id, zero);
	}

	// from bool: a selection of one or zero
	if (target_kind != TypeBool && source_kind == TypeBool) {
		uint32_t type = add_type(flags);
		String name = get_type_name(flags);
		Value one(1);
		if (target_kind == TypeFloat) one.set_f64(0, 1.0);
		else if (target_kind == TypeUint || target_kind == TypeInt) one.set_u64(0, 1);
		else throwError("can't convert %s to %s\n", get_type_name(source).get(), name.get());
		if (const Value *value = constants.get(id)) {
			Value folded(flags, value->count);
			for (uint32_t i = 0; i < value->count; i++) {
				if (target_kind == TypeFloat) folded.set_f64(i, value->get_bool(i) ? 1.0 : 0.0);
				else folded.set_u64(i, value->get_bool(i) ? 1 : 0);
			}
			folded.flags = flags;
			return add_constant(get_target_type_name(type), folded);
		}
		uint32_t zero_id = add_constant(name, 0);
		uint32_t one_id = add_constant(name, one);
		uint32_t ret = next_id++;
		add_function_opcode(function, Spirv::OpSelect, {type, ret, id, one_id, zero_id});
		add_target(ret, type);
		return ret;
	}

	// between integers the width first, extended by the source's own
	// signedness, then the kind
	uint32_t ret = id;
	if ((target_kind == TypeUint || target_kind == TypeInt) && (source_kind == TypeUint || source_kind == TypeInt) && (flags & TypeWidthMask) != (source & TypeWidthMask)) {
		uint32_t opcode = source_kind == TypeUint ? Spirv::OpUConvert : Spirv::OpSConvert;
		uint32_t converted = (source & ~TypeWidthMask) | (flags & TypeWidthMask);
		ret = add_unary_operation(function, opcode, add_type(converted), ret);
		source = converted;
	}

	// between a float and an integer one conversion straight to the
	// target's kind and width: through the source's width a 32-bit integer
	// would round to a float before it widens to a double, and a 16-bit one
	// would pass through half precision
	bool target_integer = (target_kind == TypeUint || target_kind == TypeInt);
	bool source_integer = (source_kind == TypeUint || source_kind == TypeInt);
	if ((target_kind == TypeFloat && source_integer) || (target_integer && source_kind == TypeFloat)) {
		uint32_t opcode = 0;
		if (target_kind == TypeFloat) opcode = source_kind == TypeUint ? Spirv::OpConvertUToF : Spirv::OpConvertSToF;
		else opcode = target_kind == TypeUint ? Spirv::OpConvertFToU : Spirv::OpConvertFToS;
		uint32_t width = (flags & TypeWidthMask) ? (flags & TypeWidthMask) : (source & TypeWidthMask);
		uint32_t converted = (source & ~(TypeKindMask | TypeWidthMask)) | target_kind | width;
		return add_unary_operation(function, opcode, add_type(converted), ret);
	}

	// the kind, in the source's shape and width
	if ((flags & TypeKindMask) != (source & TypeKindMask)) {
		uint32_t converted = (source & ~TypeKindMask) | (flags & TypeKindMask);
		if (!target_integer || !source_integer) throwError("can't convert %s to %s\n", get_type_name(source).get(), get_type_name(converted).get());
		ret = add_unary_operation(function, Spirv::OpBitcast, add_type(converted), ret);
		source = converted;
	}

	// then the width
	if ((flags & TypeWidthMask) == (source & TypeWidthMask)) return ret;
	uint32_t opcode = 0;
	if (target_kind == TypeFloat) opcode = Spirv::OpFConvert;
	else if (target_kind == TypeUint) opcode = Spirv::OpUConvert;
	else if (target_kind == TypeInt) opcode = Spirv::OpSConvert;
	uint32_t converted = (source & ~TypeWidthMask) | (flags & TypeWidthMask);
	if (opcode == 0) throwError("can't convert %s to %s\n", get_type_name(source).get(), get_type_name(converted).get());
	return add_unary_operation(function, opcode, add_type(converted), ret);
}

} // namespace Vexa
