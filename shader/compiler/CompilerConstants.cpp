// Constants: every constant of a module is made once per type and value, its
// components first, and remembered with its Value so that operations on
// constants fold at compile time.
//
// The Value kept for a constant holds what the module holds: its components
// converted to the type's kind and cut to the type's width (a 32-bit float
// rounded to single precision, a 32-bit integer to its low 32 bits).
#include "shader/compiler/Compiler.h"

#include "core/Error.h"
#include "core/Math.h"
#include "shader/ShaderSpirvNumbers.h"

#include <cfloat>
#include <cmath>
#include <cstring>

namespace Vexa {

namespace {

uint32_t float_bits(float value) {
	uint32_t ret;
	memcpy(&ret, &value, sizeof(ret));
	return ret;
}

// bits of a component in the representation of the kind of flags, cut to the
// width of flags as the module holds it
uint64_t normalised(uint64_t bits, uint32_t flags) {
	if (flags & Compiler::TypeFloat) {
		double value;
		memcpy(&value, &bits, sizeof(value));
		// beyond the float range: the largest float, or infinity from half
		// way to 2^128 up (ties to even), without an undefined conversion
		if ((flags & (Compiler::Type32 | Compiler::Type16)) && std::fabs(value) > FLT_MAX && value == value) {
			value = std::fabs(value) >= 340282356779733661637539395458142568448.0 ? std::copysign(HUGE_VAL, value) : std::copysign(static_cast<double>(FLT_MAX), value);
		}
		if (flags & Compiler::Type32) value = static_cast<float>(value);
		else if (flags & Compiler::Type16) value = static_cast<float>(half(static_cast<float>(value)));
		memcpy(&bits, &value, sizeof(bits));
		return bits;
	}
	if (flags & (Compiler::TypeUint | Compiler::TypeInt)) {
		uint32_t width = (flags & Compiler::Type16) ? 16 : (flags & Compiler::Type32) ? 32 : 64;
		if (width == 64) return bits;
		uint64_t mask = (1ull << width) - 1;
		bits &= mask;
		// signed values keep their sign in all 64 bits
		if ((flags & Compiler::TypeUint) == 0 && (bits >> (width - 1)) != 0) bits |= ~mask;
		return bits;
	}
	if (flags & Compiler::TypeBool) return bits != 0 ? 1 : 0;
	return bits;
}

// the length of an array type name "name[%u]", 0 for a runtime array
uint32_t array_length(const String &name) {
	uint32_t open = name.rfind('[');
	if (open == ~0u) return 0;
	return name.tou32(10, open + 1);
}

} // namespace

uint32_t Compiler::add_constant(const char *name, uint64_t value) {
	return add_constant(String(name), value);
}

uint32_t Compiler::add_constant(const String &name, uint64_t value) {
	Value v(1);
	v.components[0] = value;
	return add_constant(name, v);
}

uint32_t Compiler::add_constant(const String &name, const Value &value) {
	uint32_t type = add_type(name);
	uint32_t flags = get_target_flags(type);
	uint32_t size = get_type_components(flags);
	uint32_t rows = get_vector_size(flags);

	// the components converted to the type's kind; a Value without a kind
	// gives its bits as they are
	Value c;
	if (value.flags & TypeKindMask) c.flags = flags;
	if (!c.append(value)) throwError("too many arguments for %s\n", name.get());
	c.flags = flags;
	for (uint32_t i = 0; i < c.count; i++) c.components[i] = normalised(c.components[i], flags);

	String key = name;
	key.append("_const");
	for (uint32_t i = 0; i < c.count; i++) key.append('_').appendu64(c.components[i]);
	if (uint32_t *id = types.get(key)) return *id;

	Array<uint32_t> parts;
	if (flags & TypeRuntimeArray) {
		// arrays of scalars, vectors or matrices, one constant per element
		uint32_t length = array_length(name);
		uint32_t element_flags = flags & ~(TypeRuntimeArray | TypeComposite);
		uint32_t width = get_type_components(element_flags);
		if ((element_flags & TypeKindMask) == 0 || width == 0 || length == 0) throwError("can't add %sx%u constant\n", name.get(), c.count);
		if (c.count < length * width) throwError("not enough arguments for %s\n", name.get());
		if (c.count > length * width) throwError("too many arguments for %s\n", name.get());
		String element = get_type_name(element_flags);
		for (uint32_t i = 0; i < length; i++) parts.append(add_constant(element, Value(c, i * width, width)));
	} else if (flags & (TypeMatrixMask | TypeVectorMask)) {
		// a matrix of columns or a vector of scalars; one component fills all
		bool matrix = (flags & TypeMatrixMask) != 0;
		uint32_t step = matrix ? rows : 1;
		String part = get_type_name(flags & ~(matrix ? uint32_t(TypeMatrixMask) : uint32_t(TypeVectorMask)));
		if (c.count == 1) {
			uint32_t id = add_constant(part, c);
			for (uint32_t i = 0; i < size / step; i++) parts.append(id);
			Value one(c);
			c.count = 0;
			c.append(one, 0, size);
		} else if (c.count < size) {
			throwError("not enough arguments for %s\n", name.get());
		} else if (c.count > size) {
			throwError("too many arguments for %s\n", name.get());
		} else {
			for (uint32_t i = 0; i < size; i += step) parts.append(add_constant(part, Value(c, i, step)));
		}
	} else if ((flags & TypeScalar) == 0 || c.count != 1) {
		throwError("can't add %sx%u constant\n", name.get(), c.count);
	}

	uint32_t id = next_id++;
	if (parts.size() != 0) {
		add_module_opcode(Spirv::OpConstantComposite, {type, id}, parts);
	} else if ((flags & (TypeFloat | TypeUint | TypeInt)) == 0) {
		add_module_opcode(c.components[0] != 0 ? Spirv::OpConstantTrue : Spirv::OpConstantFalse, {type, id});
	} else if (flags & Type64) {
		add_module_opcode(Spirv::OpConstant, {type, id, static_cast<uint32_t>(c.components[0]), static_cast<uint32_t>(c.components[0] >> 32)});
	} else if ((flags & TypeFloat) && (flags & Type16)) {
		add_module_opcode(Spirv::OpConstant, {type, id, half(static_cast<float>(c.get_f64(0))).bits});
	} else if (flags & TypeFloat) {
		add_module_opcode(Spirv::OpConstant, {type, id, float_bits(static_cast<float>(c.get_f64(0)))});
	} else {
		add_module_opcode(Spirv::OpConstant, {type, id, static_cast<uint32_t>(c.components[0])});
	}

	constants.insert(id, c);
	types.insert(key, id);
	// an array keeps its length, as every value of an array type does
	set_target(id, type, flags, (flags & TypeRuntimeArray) ? array_length(name) : ~0u);
	return id;
}

uint32_t Compiler::add_spec_constant(const String &name, const Value &value, uint32_t spec_id) {
	uint32_t type = add_type(name);
	uint32_t flags = get_target_flags(type);
	if (!(flags & TypeScalar) || (flags & TypeKindMask) == 0) throwError("can't specialize %s constant\n", name.get());
	Value c;
	c.flags = flags;
	if (!c.append(value) || c.count != 1) throwError("can't specialize %s constant\n", name.get());
	c.components[0] = normalised(c.components[0], flags);
	uint32_t id = next_id++;
	if ((flags & (TypeFloat | TypeUint | TypeInt)) == 0) {
		add_module_opcode(c.components[0] != 0 ? Spirv::OpSpecConstantTrue : Spirv::OpSpecConstantFalse, {type, id});
	} else if (flags & Type64) {
		add_module_opcode(Spirv::OpSpecConstant, {type, id, static_cast<uint32_t>(c.components[0]), static_cast<uint32_t>(c.components[0] >> 32)});
	} else if ((flags & TypeFloat) && (flags & Type16)) {
		add_module_opcode(Spirv::OpSpecConstant, {type, id, half(static_cast<float>(c.get_f64(0))).bits});
	} else if (flags & TypeFloat) {
		add_module_opcode(Spirv::OpSpecConstant, {type, id, float_bits(static_cast<float>(c.get_f64(0)))});
	} else {
		add_module_opcode(Spirv::OpSpecConstant, {type, id, static_cast<uint32_t>(c.components[0])});
	}
	// no entry in the constants: a run-time value that no fold may read
	set_target(id, type, flags);
	Map<uint32_t, uint32_t> *list = decorations.get(id);
	if (list == nullptr) list = &decorations.insert(id, Map<uint32_t, uint32_t>())->value;
	list->insert(1u, spec_id); // SpecId
	return id;
}

} // namespace Vexa
