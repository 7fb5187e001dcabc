// Calls of the built-in functions SPIR-V offers through the GLSL.std.450
// instruction set. The arguments are converted to the kind the function takes
// as GLSL allows (clamp(f, 0, 1), pow(x, 2), min(u, 1), abs of a uint through
// float), scalars are repeated where a vector is needed, calls on constants
// are folded where the folder knows the instruction, and anything else is one
// OpExtInst. Arguments that no form of the function takes are refused.
#include "shader/compiler/Compiler.h"
#include "shader/compiler/CompilerBits.h"
#include "shader/compiler/CompilerExpressions.h"

#include "core/Error.h"
#include "shader/ShaderSpirvNumbers.h"

namespace Vexa {

using CompilerBits::skip_spaces;

namespace {

// what the numeric arguments may be
enum Params : uint8_t {
	Float,       // floats; integers are converted to f32
	FloatSigned, // floats or ints; a uint is converted to float
	Number,      // floats, uints or ints
	Integer,     // 32-bit ints or uints
	Fixed,       // the one argument has the row's fixed type
};

// the result type: the arguments' common type, its scalar, an int of its
// shape, or a fixed type
enum Result : uint8_t { Same, Scalar, IntShape, FixedType };

struct Row {
	const char *name;
	uint8_t arguments;
	uint16_t instruction;      // the float form, or the only one
	uint16_t uint_instruction; // 0: as the float form
	uint16_t int_instruction;
	Params params;
	bool wide;      // takes 64-bit floats
	bool broadcast; // scalar arguments repeated to the result's shape
	Result result;
	const char *fixed_argument; // Fixed: the argument's type
	const char *fixed_result;   // FixedType: the result's type
};

const Row rows[] = {
	{"round", 1, 1, 0, 0, Float, true, false, Same, nullptr, nullptr},
	{"roundEven", 1, 2, 0, 0, Float, true, false, Same, nullptr, nullptr},
	{"trunc", 1, 3, 0, 0, Float, true, false, Same, nullptr, nullptr},
	{"abs", 1, 4, 0, 5, FloatSigned, true, false, Same, nullptr, nullptr},
	{"sign", 1, 6, 0, 7, FloatSigned, true, false, Same, nullptr, nullptr},
	{"floor", 1, 8, 0, 0, Float, true, false, Same, nullptr, nullptr},
	{"ceil", 1, 9, 0, 0, Float, true, false, Same, nullptr, nullptr},
	{"fract", 1, 10, 0, 0, Float, true, false, Same, nullptr, nullptr},
	{"radians", 1, 11, 0, 0, Float, false, false, Same, nullptr, nullptr},
	{"degrees", 1, 12, 0, 0, Float, false, false, Same, nullptr, nullptr},
	{"sin", 1, 13, 0, 0, Float, false, false, Same, nullptr, nullptr},
	{"cos", 1, 14, 0, 0, Float, false, false, Same, nullptr, nullptr},
	{"tan", 1, 15, 0, 0, Float, false, false, Same, nullptr, nullptr},
	{"asin", 1, 16, 0, 0, Float, false, false, Same, nullptr, nullptr},
	{"acos", 1, 17, 0, 0, Float, false, false, Same, nullptr, nullptr},
	{"atan", 1, 18, 0, 0, Float, false, false, Same, nullptr, nullptr},
	{"sinh", 1, 19, 0, 0, Float, false, false, Same, nullptr, nullptr},
	{"cosh", 1, 20, 0, 0, Float, false, false, Same, nullptr, nullptr},
	{"tanh", 1, 21, 0, 0, Float, false, false, Same, nullptr, nullptr},
	{"asinh", 1, 22, 0, 0, Float, false, false, Same, nullptr, nullptr},
	{"acosh", 1, 23, 0, 0, Float, false, false, Same, nullptr, nullptr},
	{"atanh", 1, 24, 0, 0, Float, false, false, Same, nullptr, nullptr},
	{"atan", 2, 25, 0, 0, Float, false, true, Same, nullptr, nullptr},
	{"pow", 2, 26, 0, 0, Float, false, true, Same, nullptr, nullptr},
	{"exp", 1, 27, 0, 0, Float, false, false, Same, nullptr, nullptr},
	{"log", 1, 28, 0, 0, Float, false, false, Same, nullptr, nullptr},
	{"exp2", 1, 29, 0, 0, Float, false, false, Same, nullptr, nullptr},
	{"log2", 1, 30, 0, 0, Float, false, false, Same, nullptr, nullptr},
	{"sqrt", 1, 31, 0, 0, Float, true, false, Same, nullptr, nullptr},
	{"inversesqrt", 1, 32, 0, 0, Float, true, false, Same, nullptr, nullptr},
	{"determinant", 1, 33, 0, 0, Float, true, false, Scalar, nullptr, nullptr},
	{"inverse", 1, 34, 0, 0, Float, true, false, Same, nullptr, nullptr},
	{"modf", 2, 35, 0, 0, Float, true, false, Same, nullptr, nullptr},
	{"min", 2, 37, 38, 39, Number, true, true, Same, nullptr, nullptr},
	{"max", 2, 40, 41, 42, Number, true, true, Same, nullptr, nullptr},
	{"clamp", 3, 43, 44, 45, Number, true, true, Same, nullptr, nullptr},
	{"mix", 3, 46, 0, 0, Float, true, true, Same, nullptr, nullptr},
	{"step", 2, 48, 0, 0, Float, true, true, Same, nullptr, nullptr},
	{"smoothstep", 3, 49, 0, 0, Float, true, true, Same, nullptr, nullptr},
	{"fma", 3, 50, 0, 0, Float, true, true, Same, nullptr, nullptr},
	{"frexp", 2, 51, 0, 0, Float, true, false, Same, nullptr, nullptr},
	{"ldexp", 2, 53, 0, 0, Float, true, false, Same, nullptr, nullptr},
	{"packSnorm4x8", 1, 54, 0, 0, Fixed, false, false, FixedType, "f32v4", "u32"},
	{"packUnorm4x8", 1, 55, 0, 0, Fixed, false, false, FixedType, "f32v4", "u32"},
	{"packSnorm2x16", 1, 56, 0, 0, Fixed, false, false, FixedType, "f32v2", "u32"},
	{"packUnorm2x16", 1, 57, 0, 0, Fixed, false, false, FixedType, "f32v2", "u32"},
	{"packHalf2x16", 1, 58, 0, 0, Fixed, false, false, FixedType, "f32v2", "u32"},
	{"packDouble2x32", 1, 59, 0, 0, Fixed, false, false, FixedType, "u32v2", "f64"},
	{"unpackSnorm2x16", 1, 60, 0, 0, Fixed, false, false, FixedType, "u32", "f32v2"},
	{"unpackUnorm2x16", 1, 61, 0, 0, Fixed, false, false, FixedType, "u32", "f32v2"},
	{"unpackHalf2x16", 1, 62, 0, 0, Fixed, false, false, FixedType, "u32", "f32v2"},
	{"unpackSnorm4x8", 1, 63, 0, 0, Fixed, false, false, FixedType, "u32", "f32v4"},
	{"unpackUnorm4x8", 1, 64, 0, 0, Fixed, false, false, FixedType, "u32", "f32v4"},
	{"unpackDouble2x32", 1, 65, 0, 0, Fixed, false, false, FixedType, "f64", "u32v2"},
	{"length", 1, 66, 0, 0, Float, true, false, Scalar, nullptr, nullptr},
	{"distance", 2, 67, 0, 0, Float, true, true, Scalar, nullptr, nullptr},
	{"cross", 2, 68, 0, 0, Float, true, true, Same, nullptr, nullptr},
	{"normalize", 1, 69, 0, 0, Float, true, false, Same, nullptr, nullptr},
	{"faceforward", 3, 70, 0, 0, Float, true, true, Same, nullptr, nullptr},
	{"reflect", 2, 71, 0, 0, Float, true, true, Same, nullptr, nullptr},
	{"refract", 3, 72, 0, 0, Float, true, true, Same, nullptr, nullptr},
	{"findLSB", 1, 73, 0, 0, Integer, false, false, IntShape, nullptr, nullptr},
	{"findMSB", 1, 75, 75, 74, Integer, false, false, IntShape, nullptr, nullptr},
	{"interpolateAtCentroid", 1, 76, 0, 0, Float, false, false, Same, nullptr, nullptr},
	{"interpolateAtSample", 2, 77, 0, 0, Float, false, false, Same, nullptr, nullptr},
	{"interpolateAtOffset", 2, 78, 0, 0, Float, false, false, Same, nullptr, nullptr},
};

[[noreturn]] void unknown(const String &name, uint32_t count) {
	throwError("unknown external function %s with %u arguments\n", name.get(), count);
}

uint32_t kind_of(uint32_t flags) {
	return flags & Compiler::TypeKindMask;
}

// a value the instruction may take as a number: no structure, array,
// image or bool
bool is_number(uint32_t flags) {
	uint32_t kind = kind_of(flags);
	bool numeric = kind == Compiler::TypeFloat || kind == Compiler::TypeUint || kind == Compiler::TypeInt;
	return numeric && !(flags & (Compiler::TypeStructure | Compiler::TypeRuntimeArray | Compiler::TypePointer | Compiler::TypeFunction));
}

// an argument written by the call: the temporary the instruction writes and
// where its value goes afterwards
struct WriteBack {
	uint32_t temporary = ~0u;
	uint32_t pointer = ~0u;
	Array<uint32_t> mask;
};

} // namespace

uint32_t Compiler::parse_external_function(const char *text, const String &name, Function &function, Scope *scope) {
	using Expressions::ExpressionParser;
	using Expressions::Operand;

	// the arguments, kept as operands: constant text stays open until the
	// kind of the call is known, and l-values keep their pointers
	Array<Operand> operands = Expressions::parse_arguments(*this, text, function, scope);
	uint32_t count = operands.size();
	const Row *row = nullptr;
	for (const Row &candidate : rows) {
		if (name == candidate.name && count == candidate.arguments) {
			row = &candidate;
			break;
		}
	}
	if (row == nullptr) unknown(name, count);
	const char *none = "";
	ExpressionParser parser(*this, none, function, scope);
	uint32_t instruction = row->instruction;

	// the arguments the instruction takes as they stand: the interpolant's
	// pointer, the selector of mix, the pointer modf and frexp write through
	bool interpolation = instruction >= Spirv::GLSLstd450InterpolateAtCentroid && instruction <= Spirv::GLSLstd450InterpolateAtOffset;
	bool selection = false;
	WriteBack written;
	Array<bool> numeric; // which arguments take part in the common type
	for (uint32_t i = 0; i < count; i++) numeric.append(true);
	Array<uint32_t> interpolant_mask;
	uint32_t interpolant_type = ~0u;
	if (interpolation) {
		Operand &interpolant = operands[0];
		if (interpolant.pointer == ~0u || interpolant.variable == ~0u || variables[interpolant.variable].storage != Spirv::StorageInput) {
			throwError("invalid interpolant of %s function\n", name.get());
		}
		// components of a vector: the whole vector is interpolated, then they are taken from it
		if (interpolant.mask.size() != 0) {
			interpolant_type = get_target_type(interpolant.id);
			interpolant_mask = interpolant.mask;
			interpolant.id = parser.load(interpolant.pointer);
		}
		if (execution_model != Spirv::ModelFragment) throwError("%s function is not valid in this stage\n", name.get());
		numeric[0] = false;
		if (count == 2) numeric[1] = false;
	}
	if (instruction == Spirv::GLSLstd450FMix) {
		Operand &selector = operands[2];
		uint32_t flags = selector.id != ~0u ? get_target_flags(selector.id) : get_target_flags(parse_constant(String(), selector.text.get()));
		if (kind_of(flags) == TypeBool) {
			selection = true;
			numeric[2] = false;
		}
	}
	if (instruction == Spirv::GLSLstd450Modf || instruction == Spirv::GLSLstd450Frexp) {
		Operand &out = operands[1];
		if (out.pointer == ~0u) throwError("can't write %s function result\n", name.get());
		if (out.variable != ~0u) check_write(out.variable);
		written.pointer = out.pointer;
		written.mask = out.mask;
		numeric[1] = false;
	}
	if (instruction == Spirv::GLSLstd450Ldexp) numeric[1] = false;
	if (instruction == Spirv::GLSLstd450Refract) numeric[2] = false;

	// the kind of the call: what the typed arguments are, and float or uint
	// where such a literal takes part (min(i, 1.5) is a float minimum,
	// clamp(i, 0u, 5u) an unsigned one); int literals take the kind of the
	// typed arguments
	uint32_t typed = 0;
	uint32_t literal = 0;
	uint32_t float_width = 0;
	uint32_t integer_width = 0;
	for (uint32_t i = 0; i < count; i++) {
		if (!numeric[i]) continue;
		Operand &operand = operands[i];
		if (operand.id == ~0u) {
			uint32_t flags = get_target_flags(parse_constant(String(), operand.text.get()));
			if (!is_number(flags) && !(selection && kind_of(flags) == TypeBool)) unknown(name, count);
			literal |= kind_of(flags);
			continue;
		}
		uint32_t flags = get_target_flags(operand.id);
		if (!is_number(flags) && !(selection && (flags & TypeBool) && !(flags & (TypeStructure | TypeRuntimeArray)))) unknown(name, count);
		bool matrix = (flags & TypeMatrixMask) != 0;
		if (matrix && !(instruction == Spirv::GLSLstd450Determinant || instruction == Spirv::GLSLstd450MatrixInverse)) unknown(name, count);
		if (!matrix && (instruction == Spirv::GLSLstd450Determinant || instruction == Spirv::GLSLstd450MatrixInverse)) unknown(name, count);
		typed |= kind_of(flags);
		uint32_t width = flags & TypeWidthMask;
		if (kind_of(flags) == TypeFloat) float_width = width > float_width ? width : float_width;
		else integer_width = width > integer_width ? width : integer_width;
	}
	uint32_t kinds = typed | (literal & (TypeFloat | TypeUint));
	if (kinds == 0) kinds = literal;
	uint32_t kind = TypeFloat;
	switch (row->params) {
	case Float:
	case Fixed: kind = TypeFloat; break;
	case FloatSigned: kind = (kinds & (TypeFloat | TypeUint)) ? TypeFloat : TypeInt; break;
	case Number: kind = (kinds & TypeFloat) ? TypeFloat : (kinds & TypeUint) ? TypeUint : TypeInt; break;
	case Integer:
		if (kinds & (TypeFloat | TypeBool)) unknown(name, count);
		kind = (kinds & TypeUint) ? TypeUint : TypeInt;
		break;
	}
	if (selection) {
		// a selection of any kind: bools, integers or floats
		kind = (kinds & TypeFloat) ? TypeFloat : (kinds & TypeUint) ? TypeUint : (kinds & TypeInt) ? TypeInt : TypeBool;
	}
	uint32_t width = kind == TypeFloat ? (float_width ? float_width : Type32) : kind == TypeBool ? Type32 : (integer_width ? integer_width : Type32);
	if (kind == TypeFloat && width == Type64 && !row->wide && row->params != Fixed) unknown(name, count);
	if (row->params == Integer && width != Type32) unknown(name, count);
	uint32_t scalar = kind | width | TypeScalar;

	// the numeric arguments in that kind and width, shapes kept
	Array<uint32_t> ids;
	for (uint32_t i = 0; i < count; i++) {
		Operand &operand = operands[i];
		if (interpolation && i == 0) {
			// typed by its value, passed as its pointer
			ids.append(operand.id);
			continue;
		}
		if (written.pointer != ~0u && i == 1) {
			ids.append(operand.id);
			continue;
		}
		if (row->params == Fixed) {
			uint32_t type = add_type(row->fixed_argument);
			uint32_t id = parser.resolve(operand, String(row->fixed_argument));
			if (!is_number(get_target_flags(id)) || get_target_components(id) != get_target_components(type)) unknown(name, count);
			id = parser.convert(id, get_target_flags(type));
			if (get_target_type(id) != type) unknown(name, count);
			ids.append(id);
			continue;
		}
		if (!numeric[i]) {
			// the selector, the ratio of refract, the exponent of ldexp, the
			// sample or offset of an interpolation: made later
			ids.append(parser.resolve(operand, (selection && i == 2) ? String("b32") : String()));
			continue;
		}
		uint32_t id = parser.resolve(operand, get_type_name(scalar));
		ids.append(parser.convert(id, scalar));
	}

	// the result type: the first argument's, or a later one with more components
	uint32_t result_type = ~0u;
	uint32_t result_components = 0;
	for (uint32_t i = 0; i < count; i++) {
		if (!numeric[i] && !(interpolation && i == 0)) continue;
		uint32_t components = get_target_components(ids[i]);
		if (result_type == ~0u || components > result_components) {
			result_type = get_target_type(ids[i]);
			result_components = components;
		}
	}
	if (result_type == ~0u) unknown(name, count);
	uint32_t result_flags = get_target_flags(result_type);
	if (interpolation && (kind_of(result_flags) != TypeFloat || (result_flags & (TypeMatrixMask | TypeStructure | TypeRuntimeArray)))) {
		throwError("invalid interpolant of %s function\n", name.get());
	}

	// scalars repeated where the row says so, and every numeric argument of
	// the result's type
	for (uint32_t i = 0; i < count; i++) {
		if (!numeric[i] || (interpolation && i == 0)) continue;
		if (row->params == Fixed) continue;
		if (row->broadcast && get_target_components(ids[i]) == 1 && result_components > 1) ids[i] = add_splat(function, result_type, ids[i]);
		if (get_target_type(ids[i]) != result_type) unknown(name, count);
	}
	if ((instruction == Spirv::GLSLstd450Determinant || instruction == Spirv::GLSLstd450MatrixInverse) &&
		get_column_count(result_flags) != get_vector_size(result_flags & ~uint32_t(TypeMatrixMask))) {
		unknown(name, count);
	}
	if (instruction == Spirv::GLSLstd450Cross && get_vector_size(result_flags) != 3) unknown(name, count);
	if (row->params == Number || row->params == FloatSigned) {
		if (kind == TypeUint && row->uint_instruction) instruction = row->uint_instruction;
		if (kind == TypeInt && row->int_instruction) instruction = row->int_instruction;
	}
	if (row->params == Integer && row->uint_instruction) instruction = kind == TypeUint ? row->uint_instruction : row->int_instruction;

	// the special arguments in the types the instruction asks for
	if (instruction == Spirv::GLSLstd450Ldexp) {
		uint32_t shape = result_flags & ~(TypeKindMask | TypeWidthMask);
		uint32_t exponent = parser.convert(ids[1], shape | TypeInt | Type32);
		if (get_target_components(exponent) != result_components || !(get_target_flags(exponent) & TypeInt)) unknown(name, count);
		ids[1] = exponent;
	}
	if (instruction == Spirv::GLSLstd450Refract) {
		uint32_t eta = parser.convert(ids[2], (result_flags & TypeWidthMask) | TypeFloat | TypeScalar);
		if (get_target_components(eta) != 1 || kind_of(get_target_flags(eta)) != TypeFloat) unknown(name, count);
		ids[2] = eta;
	}
	if (instruction == Spirv::GLSLstd450InterpolateAtSample) {
		uint32_t sample = parser.convert(ids[1], TypeInt | Type32 | TypeScalar);
		if (get_target_components(sample) != 1 || !(get_target_flags(sample) & TypeInt)) unknown(name, count);
		ids[1] = sample;
	}
	if (instruction == Spirv::GLSLstd450InterpolateAtOffset) {
		uint32_t offset = parser.convert(ids[1], TypeFloat | Type32 | TypeVector2);
		if (get_target_type(offset) != add_type("f32v2")) unknown(name, count);
		ids[1] = offset;
	}

	// the type of the result
	uint32_t type = result_type;
	if (row->result == Scalar) type = add_type((result_flags & ~uint32_t(TypeVectorMask | TypeMatrixMask | TypeComposite)) | TypeScalar);
	else if (row->result == IntShape) type = add_type((result_flags & ~uint32_t(TypeFloat | TypeUint | TypeBool)) | TypeInt);
	else if (row->result == FixedType) type = add_type(row->fixed_result);

	// mix with a bool selector picks the second argument where it is true
	if (selection) {
		uint32_t selector = ids[2];
		if (kind_of(get_target_flags(selector)) != TypeBool || (get_target_flags(selector) & (TypeMatrixMask | TypeStructure | TypeRuntimeArray))) {
			unknown(name, count);
		}
		if (get_target_components(selector) != result_components) {
			if (get_target_components(selector) != 1) unknown(name, count);
			uint32_t bool_type = add_type((result_flags & ~uint32_t(TypeKindMask | TypeWidthMask)) | TypeBool | Type32);
			selector = add_splat(function, bool_type, selector);
		}
		uint32_t id = next_id++;
		add_function_opcode(function, Spirv::OpSelect, {type, id, selector, ids[1], ids[0]});
		add_target(id, type);
		return id;
	}

	// the out argument of modf and frexp: a temporary the instruction
	// writes, copied into the argument afterwards
	if (written.pointer != ~0u) {
		uint32_t wanted = instruction == Spirv::GLSLstd450Modf ? type : add_type((result_flags & ~uint32_t(TypeKindMask | TypeWidthMask)) | TypeInt | Type32);
		uint32_t argument_flags = get_target_flags(ids[1]);
		if (get_target_components(ids[1]) != result_components || !is_number(argument_flags)) unknown(name, count);
		written.temporary = parser.local_variable(wanted);
		ids[1] = written.temporary;
	}

	// calls on constants fold where the folder knows the instruction
	if (!interpolation && written.pointer == ~0u && count >= 1 && count <= 3) {
		const Value *a = constants.get(ids[0]);
		const Value *b = count >= 2 ? constants.get(ids[1]) : nullptr;
		const Value *c = count == 3 ? constants.get(ids[2]) : nullptr;
		if (a != nullptr && (count == 1 || b != nullptr) && (count < 3 || c != nullptr)) {
			Value value;
			if (instruction == Spirv::GLSLstd450Length || instruction == Spirv::GLSLstd450Distance || instruction == Spirv::GLSLstd450Cross) value = a->reduction(b ? *b : *a, Spirv::OpExtInst, instruction);
			else if (row->result != Same) value = Value();
			else if (count == 1) value = a->unary_operation(Spirv::OpExtInst, instruction);
			else if (count == 2) value = a->binary_operation(*b, Spirv::OpExtInst, instruction);
			else value = a->ternary_operation(*b, *c, instruction);
			if (value.count > 0) return add_constant(get_target_type_name(type), value);
		}
	}

	if (interpolation) {
		ids[0] = operands[0].pointer;
		capabilities.insert(Spirv::CapabilityInterpolationFunction);
	}
	if (glsl_id == ~0u) glsl_id = next_id++;
	uint32_t id = next_id++;
	Array<uint32_t> extra;
	for (uint32_t i = 0; i < ids.size(); i++) extra.append(ids[i]);
	add_function_opcode(function, Spirv::OpExtInst, {type, id, glsl_id, instruction}, extra);
	add_target(id, type);
	if (interpolant_mask.size() != 0) return add_shuffle(function, interpolant_type, id, interpolant_mask);

	if (written.pointer != ~0u) {
		uint32_t value = parser.load(written.temporary);
		uint32_t target_type = get_target_type(operands[1].id);
		parser.write(written.pointer, written.mask, parser.fit(value, target_type));
	}
	return id;
}

} // namespace Vexa
