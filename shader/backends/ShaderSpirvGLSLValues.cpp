// GLSL values: float constants GLSL reads back to the same bits, operators on
// vectors, the remainders with SPIR-V's signs, float comparisons that keep
// SPIR-V's answer for NaN, integer casts in GLSL's type names,
// reinterpretations of bits, built-in names of the GL extensions, combined textures with their pragma
// lines, the texture and image calls in GLSL's argument order, and atomics.
#include "shader/backends/ShaderSpirvGLSL.h"
#include "shader/ShaderSpirvNumbers.h"

#include <cstring>

namespace Vexa {

using namespace Spirv;

namespace {

// the bit width and component count of a scalar or vector of numbers
bool numeric_shape(const ShaderSpirv &spirv, uint32_t type, int32_t &op, uint32_t &count, uint32_t &width, bool &is_signed) {
	ShaderSpirv::Iterator it = spirv.get_target_type(type);
	count = 1;
	if (it.get_opcode() == OpTypeVector) {
		count = it[3];
		it = spirv.get_target_type(it[2]);
	}
	op = it.get_opcode();
	width = it[2];
	is_signed = op == OpTypeInt && it[3] != 0;
	return op == OpTypeInt || op == OpTypeFloat;
}

} // namespace

String ShaderSpirvGLSL::get_float_constant(uint32_t type, uint32_t width, uint64_t bits) {
	String digits = get_float_digits(width, bits);
	StringStack<64> ret;
	if (!digits.empty()) {
		if (width == 32) return digits;
		if (width == 64) {
			ret.append(digits);
			ret.append("lf");
			return String(static_cast<StringStack<64> &&>(ret));
		}
		ret.append("float16_t(");
		ret.append(digits);
		ret.append(')');
		return String(static_cast<StringStack<64> &&>(ret));
	}
	// infinities and NaNs by their bits
	if (width == 64) {
		return String::format("packDouble2x32(uvec2(0x%xu, 0x%xu))", static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32));
	}
	if (width == 16) {
		uint32_t sign = static_cast<uint32_t>((bits >> 15) & 1u) << 31;
		uint32_t mantissa = static_cast<uint32_t>(bits & 0x3ffu) << 13;
		return String::format("float16_t(uintBitsToFloat(0x%xu))", sign | 0x7f800000u | mantissa);
	}
	(void)type;
	return String::format("uintBitsToFloat(0x%xu)", static_cast<uint32_t>(bits));
}

String ShaderSpirvGLSL::get_bit_cast(uint32_t type, uint32_t operand_type, const String &value) {
	int32_t rop = 0, oop = 0;
	uint32_t rcount = 0, rwidth = 0, ocount = 0, owidth = 0;
	bool rsigned = false, osigned = false;
	if (!numeric_shape(*this, type, rop, rcount, rwidth, rsigned) || !numeric_shape(*this, operand_type, oop, ocount, owidth, osigned) ||
		rcount * rwidth != ocount * owidth) {
		log_error("ShaderSpirvGLSL::get_intrinsic_value(): unknown opcode %u\n", static_cast<uint32_t>(OpBitcast));
		return String();
	}
	StringStack<64> ret;
	// one wide scalar and two narrow components meet in the narrow
	// components' unsigned form
	bool wide_result = rcount == 1;
	uint32_t wide_width = wide_result ? rwidth : owidth;
	uint32_t narrow_count = wide_result ? ocount : rcount;
	if (narrow_count != 2 || (wide_width != 64 && wide_width != 32)) {
		log_error("ShaderSpirvGLSL::get_intrinsic_value(): unknown bit cast of %u to %u components\n", ocount, rcount);
		return String();
	}
	if (wide_width == 64) {
		String pair;
		if (wide_result) {
			// the operand as uvec2
			if (oop == OpTypeFloat) pair = String::format("floatBitsToUint(%s)", value.get());
			else if (osigned) pair = String::format("uvec2(%s)", value.get());
			else pair = value;
			if (rop == OpTypeFloat) return String::format("packDouble2x32(%s)", pair.get());
			if (rsigned) return String::format("int64_t(packUint2x32(%s))", pair.get());
			return String::format("packUint2x32(%s)", pair.get());
		}
		if (oop == OpTypeFloat) pair = String::format("unpackDouble2x32(%s)", value.get());
		else if (osigned) pair = String::format("unpackUint2x32(uint64_t(%s))", value.get());
		else pair = String::format("unpackUint2x32(%s)", value.get());
		if (rop == OpTypeFloat) return String::format("uintBitsToFloat(%s)", pair.get());
		if (rsigned) return String::format("ivec2(%s)", pair.get());
		return pair;
	}
	String word;
	if (wide_result) {
		if (oop == OpTypeFloat) word = String::format("packFloat2x16(%s)", value.get());
		else if (osigned) word = String::format("uint(packInt2x16(%s))", value.get());
		else word = String::format("packUint2x16(%s)", value.get());
		if (rop == OpTypeFloat) return String::format("uintBitsToFloat(%s)", word.get());
		if (rsigned) return String::format("int(%s)", word.get());
		return word;
	}
	if (oop == OpTypeFloat) word = String::format("floatBitsToUint(%s)", value.get());
	else if (osigned) word = String::format("uint(%s)", value.get());
	else word = value;
	if (rop == OpTypeFloat) return String::format("unpackFloat2x16(%s)", word.get());
	if (rsigned) return String::format("unpackInt2x16(int(%s))", word.get());
	return String::format("unpackUint2x16(%s)", word.get());
}

String ShaderSpirvGLSL::get_sign_cast(uint32_t type, bool to_signed, const String &value) {
	return String::format("%s(%s)", get_integer_type_name(type, to_signed).get(), value.get());
}

String ShaderSpirvGLSL::get_builtin_name(uint32_t builtin) {
	switch (builtin) {
		case BuiltInVertexIndex:
			return String("gl_VertexID");
		case BuiltInInstanceIndex:
			// in GL the instance index does not hold the base instance; core
			// ES draws have none
			if (is_es()) return String("gl_InstanceID");
			add_extension("GL_ARB_shader_draw_parameters");
			return String("(gl_InstanceID + gl_BaseInstanceARB)");
		case BuiltInBaseVertex:
		case BuiltInBaseInstance:
		case BuiltInDrawIndex:
			if (!is_es()) add_extension("GL_ARB_shader_draw_parameters");
			return String(builtin == BuiltInBaseVertex ? "gl_BaseVertexARB" : builtin == BuiltInBaseInstance ? "gl_BaseInstanceARB" : "gl_DrawIDARB");
		case BuiltInFragStencilRef:
			return String("gl_FragStencilRefARB");
		case BuiltInBaryCoord:
			return String("gl_BaryCoordNV");
		case BuiltInBaryCoordNoPersp:
			return String("gl_BaryCoordNoPerspNV");
		case BuiltInVertexId:
		case BuiltInInstanceId:
			// GL's own numbers are no Vulkan built-ins
			break;
		case BuiltInSubgroupSize: case BuiltInNumSubgroups: case BuiltInSubgroupId: case BuiltInSubgroupLocalInvocationId: case BuiltInSubgroupEqMask: case BuiltInSubgroupGeMask: case BuiltInSubgroupGtMask: case BuiltInSubgroupLeMask: case BuiltInSubgroupLtMask:
			break;
		default:
			return ShaderSpirv::get_builtin_name(builtin);
	}
	if (builtin == BuiltInVertexId || builtin == BuiltInInstanceId) {
		log_error("ShaderSpirvGLSL::get_builtin_name(): unknown builtin %u\n", builtin);
		return String();
	}
	return ShaderSpirv::get_builtin_name(builtin);
}

String ShaderSpirvGLSL::get_decoration_name(uint32_t decoration) {
	if (decoration == DecorationNonUniform) nonuniform_written = true;
	return ShaderSpirv::get_decoration_name(decoration);
}

String ShaderSpirvGLSL::get_binary_name(const Iterator &it) {
	int32_t op = it.get_opcode();
	Iterator result = get_target_type(it[1]);
	bool vector = result.get_opcode() == OpTypeVector;
	uint32_t n = vector ? result[3] : 1;
	if (op == OpFUnordEqual || op == OpFOrdNotEqual || op == OpFUnordLessThan || op == OpFUnordGreaterThan || op == OpFUnordLessThanEqual || op == OpFUnordGreaterThanEqual) {
		// GLSL's == < > <= >= (equal, lessThan, ...) are false where an
		// operand is NaN, and != (notEqual) is true: the ordered != and the
		// other unordered comparisons are helpers that negate them, so that
		// each operand is read once
		SemanticHelper kind = (op == OpFOrdNotEqual) ? HelperFOrdNotEqual : (op == OpFUnordEqual) ? HelperFUnordEqual
			: static_cast<SemanticHelper>(HelperFUnordLessThan + static_cast<uint32_t>(op - OpFUnordLessThan) / 2);
		String name = use_semantic_helper(kind, get_type(get_target(it[3])[1], nullptr), n);
		if (name.empty()) return String();
		return String::format("%s(%%l, %%r)", name.get());
	}
	if (vector && in(op, OpLogicalEqual, OpFUnordGreaterThanEqual)) {
		switch (op) {
			case OpLogicalEqual: case OpIEqual: case OpFOrdEqual: return String("equal(%l, %r)");
			case OpLogicalNotEqual: case OpINotEqual: case OpFUnordNotEqual: return String("notEqual(%l, %r)");
			case OpLogicalOr: return String::format("bvec%u(uvec%u(%%l) | uvec%u(%%r))", n, n, n);
			case OpLogicalAnd: return String::format("bvec%u(uvec%u(%%l) & uvec%u(%%r))", n, n, n);
			case OpUGreaterThan: case OpSGreaterThan: case OpFOrdGreaterThan: return String("greaterThan(%l, %r)");
			case OpUGreaterThanEqual: case OpSGreaterThanEqual: case OpFOrdGreaterThanEqual: return String("greaterThanEqual(%l, %r)");
			case OpULessThan: case OpSLessThan: case OpFOrdLessThan: return String("lessThan(%l, %r)");
			case OpULessThanEqual: case OpSLessThanEqual: case OpFOrdLessThanEqual: return String("lessThanEqual(%l, %r)");
		}
	}
	if (op == OpSRem || op == OpSMod || op == OpFRem) {
		// remainders with SPIR-V's signs, through helpers of the result type
		String type = (op == OpFRem) ? get_type(it[1], nullptr) : get_integer_type_name(it[1], true);
		String name = use_semantic_helper((op == OpSRem) ? HelperSRem : (op == OpSMod) ? HelperSMod : HelperFRem, type, n);
		if (name.empty()) return String();
		return String::format("%s(%%l, %%r)", name.get());
	}
	if (op == OpUMod && !is_unsigned_type(it[1])) {
		// GLSL leaves % of negative operands undefined
		String name = use_semantic_helper(HelperSRem, get_type(it[1], nullptr), n);
		if (name.empty()) return String();
		return String::format("%s(%%l, %%r)", name.get());
	}
	return ShaderSpirv::get_binary_name(it);
}

String ShaderSpirvGLSL::get_semantic_helper_body(SemanticHelper kind, const String &name, const String &type, uint32_t n) {
	const char *t = type.get();
	const char *f = name.get();
	bool vector = n > 1;
	switch (kind) {
		case HelperSRem:
			return String::format("%s %s(%s a, %s b) {\n\treturn a - b * (a / b);\n}\n", t, f, t, t);
		case HelperFRem:
			return String::format("%s %s(%s a, %s b) {\n\treturn a - b * trunc(a / b);\n}\n", t, f, t, t);
		case HelperSMod:
			if (!vector) {
				return String::format("%s %s(%s a, %s b) {\n\t%s r = a - b * (a / b);\n\treturn (r != 0 && ((r < 0) != (b < 0))) ? r + b : r;\n}\n", t, f, t, t, t);
			}
			return String::format("%s %s(%s a, %s b) {\n\t%s r = a - b * (a / b);\n\tbvec%u fix = bvec%u(uvec%u(notEqual(r, %s(0))) & uvec%u(notEqual(lessThan(r, %s(0)), lessThan(b, %s(0)))));\n\treturn mix(r, r + b, fix);\n}\n",
				t, f, t, t, t, n, n, n, t, n, t, t);
		case HelperFMod:
			// GLSL's mod is the floor modulo already
			break;
		case HelperFOrdNotEqual:
		case HelperFUnordEqual:
		case HelperFUnordLessThan:
		case HelperFUnordGreaterThan:
		case HelperFUnordLessThanEqual:
		case HelperFUnordGreaterThanEqual: {
			String body;
			if (kind == HelperFOrdNotEqual || kind == HelperFUnordEqual) {
				String either = vector ? String::format("bvec%u(uvec%u(lessThan(a, b)) | uvec%u(greaterThan(a, b)))", n, n, n) : String("a < b || a > b");
				if (kind == HelperFOrdNotEqual) body = either;
				else body = vector ? String::format("not(%s)", either.get()) : String::format("!(%s)", either.get());
			} else {
				static const char *const negated[] = {">=", "<=", ">", "<"};
				static const char *const negated_calls[] = {"greaterThanEqual", "lessThanEqual", "greaterThan", "lessThan"};
				uint32_t at = static_cast<uint32_t>(kind - HelperFUnordLessThan);
				body = vector ? String::format("not(%s(a, b))", negated_calls[at]) : String::format("!(a %s b)", negated[at]);
			}
			String result_type = vector ? String::format("bvec%u", n) : String("bool");
			return String::format("%s %s(%s a, %s b) {\n\treturn %s;\n}\n", result_type.get(), f, t, t, body.get());
		}
		case HelperNMin:
		case HelperNMax:
			return String::format("%s %s(%s a, %s b) {\n\treturn mix(mix(%s(a, b), a, isnan(b)), b, isnan(a));\n}\n", t, f, t, t, kind == HelperNMin ? "min" : "max");
		case HelperCount:
			break;
	}
	log_internal_error("ShaderSpirvGLSL::get_semantic_helper_body()", "helper %s has no GLSL body\n", f);
	return String();
}

bool ShaderSpirvGLSL::is_call_form(const Iterator &it) {
	// the forms of `get_binary_name` that are calls: the float comparisons
	// that keep SPIR-V's answer for NaN, the operations on vectors of
	// comparisons and conditions, and the remainders through helpers
	int32_t op = it.get_opcode();
	bool vector = get_target_type(it[1]).get_opcode() == OpTypeVector;
	if (op == OpFUnordEqual || op == OpFOrdNotEqual || op == OpFUnordLessThan || op == OpFUnordGreaterThan || op == OpFUnordLessThanEqual || op == OpFUnordGreaterThanEqual) return true;
	if (vector && is_binary_opcode(op) && in(op, OpLogicalEqual, OpFUnordGreaterThanEqual)) return true;
	if (op == OpSRem || op == OpSMod || op == OpFRem || (op == OpUMod && !is_unsigned_type(it[1]))) return true;
	return ShaderSpirv::is_call_form(it);
}

String ShaderSpirvGLSL::render_value(uint32_t id, bool parenthesize) {
	bool base = false;
	String ret = get_own_value(id, parenthesize, base);
	return base ? ShaderSpirv::render_value(id, parenthesize) : ret;
}

String ShaderSpirvGLSL::get_own_value(uint32_t id, bool parenthesize, bool &base) {
	Iterator it = get_target(id);
	int32_t op = it.get_opcode();
	if (op == OpVariable && id < records.size()) {
		// built-ins that GL names otherwise
		// built-ins by GL's names, whatever the module calls them
		const uint32_t *builtin = records[id].decorations.get(DecorationBuiltIn);
		if (builtin) {
			check_scope(id);
			switch (*builtin) {
				case BuiltInSampleMask:
					if (records[id].storage == StorageInput) return String("gl_SampleMaskIn");
					break;
				case BuiltInSubgroupSize: case BuiltInNumSubgroups: case BuiltInSubgroupId: case BuiltInSubgroupLocalInvocationId:
					add_extension("GL_KHR_shader_subgroup_basic");
					break;
				case BuiltInSubgroupEqMask: case BuiltInSubgroupGeMask: case BuiltInSubgroupGtMask: case BuiltInSubgroupLeMask: case BuiltInSubgroupLtMask:
					add_extension("GL_KHR_shader_subgroup_ballot");
					break;
			}
			// a geometry shader reads the primitive's number by a name of its
			// own: gl_PrimitiveID is the one it writes
			bool primitive_in = *builtin == BuiltInPrimitiveId && execution_model == ModelGeometry && records[id].storage == StorageInput;
			String name = primitive_in ? String("gl_PrimitiveIDIn") : get_builtin_name(*builtin);
			// GLSL's built-ins have types of their own; the module may read
			// the same bits in the other signedness
			bool glsl_signed = false;
			bool glsl_unsigned = false;
			switch (*builtin) {
				case BuiltInVertexId: case BuiltInInstanceId: case BuiltInPrimitiveId: case BuiltInInvocationId: case BuiltInLayer: case BuiltInViewportIndex: case BuiltInPatchVertices: case BuiltInSampleId: case BuiltInSampleMask: case BuiltInVertexIndex: case BuiltInInstanceIndex: case BuiltInBaseVertex: case BuiltInBaseInstance: case BuiltInDrawIndex:
					glsl_signed = true;
					break;
				case BuiltInNumWorkgroups: case BuiltInWorkgroupSize: case BuiltInWorkgroupId: case BuiltInLocalInvocationId: case BuiltInGlobalInvocationId: case BuiltInLocalInvocationIndex: case BuiltInSubgroupSize: case BuiltInNumSubgroups: case BuiltInSubgroupId: case BuiltInSubgroupLocalInvocationId: case BuiltInSubgroupEqMask: case BuiltInSubgroupGeMask: case BuiltInSubgroupGtMask: case BuiltInSubgroupLeMask: case BuiltInSubgroupLtMask:
					glsl_unsigned = true;
					break;
			}
			uint32_t scalar = get_target_base_type(id)[1];
			bool mismatch = (glsl_signed && is_unsigned_type(scalar)) || (glsl_unsigned && is_signed_type(scalar));
			if (mismatch) {
				Iterator type = get_target_type(id);
				if (records[id].storage != StorageInput || is_array_opcode(type.get_opcode())) {
					log_error("ShaderSpirvGLSL::get_value(): unknown type of builtin %s\n", name.get());
					return String();
				}
				return String::format("%s(%s)", get_type(id, nullptr).get(), name.get());
			}
			return name;
		}
	}
	// the variable of an array of vertices, through copies of its pointer
	uint32_t variable = (op == OpAccessChain || op == OpInBoundsAccessChain || op == OpLoad) ? get_pointer_base(it[3]) : 0;
	if ((op == OpAccessChain || op == OpInBoundsAccessChain) && it.get_size() > 4 && is_vertex_builtin_array(variable)) {
		// gl_in[i].gl_Position, gl_out[i].gl_Position
		const uint32_t *builtin = records[variable].decorations.get(DecorationBuiltIn);
		String index = is_invocation_index(it[4]) ? String("gl_InvocationID") : get_value(it[4], false);
		String base = String::format("%s[%s].%s", records[variable].storage == StorageInput ? "gl_in" : "gl_out", index.get(), get_builtin_name(*builtin).get());
		return get_access_indices(it, 5, get_target_type(get_target_type(variable)[2]), base);
	}
	if ((op == OpAccessChain || op == OpInBoundsAccessChain) && it.get_size() > 4 && is_control_point_output(variable) && is_invocation_index(it[4])) {
		// GLSL knows the invocation's own vertex by the built-in's name only
		String base = String::format("%s[gl_InvocationID]", get_value(variable, false).get());
		return get_access_indices(it, 5, get_target_type(get_target_type(variable)[2]), base);
	}
	if (op == OpLoad && is_patch_vertex_array(variable)) {
		// the module's vertices, out of GLSL's gl_MaxPatchVertices
		Iterator length = get_target(get_target_type(variable)[3]);
		String name = get_value(variable, false);
		StringStack<64> ret(get_type(it[1], nullptr));
		ret.append(get_array_suffix(it[1]));
		ret.append('(');
		for (uint32_t k = 0; length.get_opcode() == OpConstant && k < length[3] && k < 32; k++) {
			if (k) ret.append(", ");
			ret.append(String::format("%s[%u]", name.get(), k));
		}
		ret.append(')');
		return String(static_cast<StringStack<64> &&>(ret));
	}
	if ((op == OpSNegate || op == OpNot) && parenthesize && takes_result_sign(it)) {
		// - and ~ of an operand cast to the result's type stand in parentheses
		return String::format("(%s)", ShaderSpirv::render_value(id, false).get());
	}
	if (op == OpSelect && get_target(it[1]).get_opcode() == OpTypePointer) {
		log_error("ShaderSpirvGLSL::get_value(): unknown Select of pointers\n");
		return String();
	}
	if (op == OpSpecConstantComposite) {
		// the default values, or the built-in the composite stands for
		return get_initializer(id);
	}
	if (op == OpSpecConstantOp) {
		return get_specialization_value(it, parenthesize);
	}
	if (op == OpConstant || op == OpSpecConstant) {
		// 16-bit integers have no literals of their own
		Iterator type = get_target_type(it[1]);
		if (type.get_opcode() == OpTypeInt && type[2] == 16) {
			return String::format("%s(%s)", type[3] ? "int16_t" : "uint16_t", ShaderSpirv::render_value(id, false).get());
		}
	}
	base = true;
	return String();
}

String ShaderSpirvGLSL::get_external_value(const Iterator &it, bool parenthesize) {
	const String *set = imports.get(it[3]);
	if (set && *set == "GLSL.std.450" && (it[4] == GLSLstd450ModfStruct || it[4] == GLSLstd450FrexpStruct)) {
		// the forms that return a structure: a helper fills one through
		// GLSL's function, which gives the second member by a parameter
		const char *name = (it[4] == GLSLstd450ModfStruct) ? "ModfStruct" : "FrexpStruct";
		Iterator structure = get_target_type(it[1]);
		uint32_t id = structure[1];
		if (it.get_size() < 6 || structure.get_opcode() != OpTypeStruct || structure.get_size() != 4 || id >= members.size() || members[id].size() != 2) {
			log_error("ShaderSpirvGLSL::get_external_value(): unknown instruction %s\n", name);
			return String();
		}
		Iterator part = get_target_base_type(structure[3]);
		bool exponent_cast = false;
		if (it[4] == GLSLstd450FrexpStruct) {
			// GLSL's exponents are 32-bit ints
			if (part.get_opcode() != OpTypeInt || part[2] != 32) {
				log_error("ShaderSpirvGLSL::get_external_value(): unknown instruction %s of %u-bit exponents\n", name, part[2]);
				return String();
			}
			exponent_cast = part[3] == 0;
		}
		String type = get_type(it[1], nullptr);
		String value_type = get_type(structure[2], nullptr);
		if (type.empty() || value_type.empty()) return String();
		const char *call = (it[4] == GLSLstd450ModfStruct) ? "modf" : "frexp";
		const String &first = members[id][0].name;
		const String &second = members[id][1].name;
		// a helper of the family of its call, named after the structure it fills
		String helper_name = namer.get_helper_name(String::format("_%s_%s", call, type.get()));
		if (helper_name.empty()) {
			log_internal_error("ShaderSpirvGLSL::get_external_value()", "no helper name for %s\n", call);
			return String();
		}
		String helper;
		if (exponent_cast) {
			String exponent = get_integer_type_name(structure[3], true);
			helper = String::format("%s %s(%s x) {\n\t%s r;\n\t%s e;\n\tr.%s = %s(x, e);\n\tr.%s = %s(e);\n\treturn r;\n}\n", type.get(), helper_name.get(),
				value_type.get(), type.get(), exponent.get(), first.get(), call, second.get(), get_type(structure[3], nullptr).get());
		} else {
			helper = String::format("%s %s(%s x) {\n\t%s r;\n\tr.%s = %s(x, r.%s);\n\treturn r;\n}\n", type.get(), helper_name.get(), value_type.get(),
				type.get(), first.get(), call, second.get());
		}
		add_helper(helper_name, helper);
		return String::format("%s(%s)", helper_name.get(), get_value(it[5], false).get());
	}
	if (set && *set == "GLSL.std.450" && it[4] == GLSLstd450Frexp && it.get_size() > 6) {
		// frexp writes 32-bit int exponents: a helper converts them for the
		// unsigned exponent that the pointer operand may lead to
		uint32_t exponent = get_target_type(it[6])[1];
		Iterator part = get_target_base_type(it[6]);
		if (part.get_opcode() != OpTypeInt || part[2] != 32) {
			log_error("ShaderSpirvGLSL::get_external_value(): unknown instruction Frexp of %u-bit exponents\n", part.get_opcode() == OpTypeInt ? part[2] : 0u);
			return String();
		}
		if (part[3] == 0) {
			String type = get_type(it[1], nullptr);
			String exponent_type = get_type(exponent, nullptr);
			if (type.empty() || exponent_type.empty()) return String();
			String name = namer.get_helper_name(String::format("_frexp_%s_%s", type.get(), exponent_type.get()));
			if (name.empty()) {
				log_internal_error("ShaderSpirvGLSL::get_external_value()", "no helper name for frexp\n");
				return String();
			}
			add_helper(name, String::format("%s %s(%s x, out %s e) {\n\t%s i;\n\t%s r = frexp(x, i);\n\te = %s(i);\n\treturn r;\n}\n", type.get(),
				name.get(), type.get(), exponent_type.get(), get_integer_type_name(exponent, true).get(), type.get(), exponent_type.get()));
			return String::format("%s(%s, %s)", name.get(), get_value(it[5], false).get(), get_value(it[6], false).get());
		}
	}
	if (set && *set == "GLSL.std.450" && (it[4] == GLSLstd450NMin || it[4] == GLSLstd450NMax || it[4] == GLSLstd450NClamp) && it.get_size() >= (it[4] == GLSLstd450NClamp ? 8u : 7u)) {
		// NMin, NMax and NClamp give the other operand where one is NaN;
		// GLSL's min, max and clamp leave that undefined
		// both come together, as NClamp takes both
		String type = get_type(it[1], nullptr);
		String nmin = use_semantic_helper(HelperNMin, type, 1);
		String nmax = use_semantic_helper(HelperNMax, type, 1);
		if (nmin.empty() || nmax.empty()) return String();
		String x = get_value(it[5], false);
		String y = get_value(it[6], false);
		if (it[4] == GLSLstd450NMin) return String::format("%s(%s, %s)", nmin.get(), x.get(), y.get());
		if (it[4] == GLSLstd450NMax) return String::format("%s(%s, %s)", nmax.get(), x.get(), y.get());
		return String::format("%s(%s(%s, %s), %s)", nmin.get(), nmax.get(), x.get(), y.get(), get_value(it[7], false).get());
	}
	if (set && *set == "GLSL.std.450" && (it[4] == GLSLstd450FindILsb || it[4] == GLSLstd450FindSMsb || it[4] == GLSLstd450FindUMsb) && is_unsigned_type(it[1])) {
		// findLSB and findMSB give ints
		return String::format("%s(%s)", get_type(it[1], nullptr).get(), ShaderSpirv::get_external_value(it, false).get());
	}
	if (set && *set == "GLSL.std.450" && (it[4] == GLSLstd450InterpolateAtCentroid || it[4] == GLSLstd450InterpolateAtSample || it[4] == GLSLstd450InterpolateAtOffset) && is_es() && it.get_size() > 5) {
		// ES interpolates whole variables or array elements: a component
		// is taken of the interpolated vector, the same value
		Iterator chain = find_target(it[5]);
		if ((chain.get_opcode() == OpAccessChain || chain.get_opcode() == OpInBoundsAccessChain) && chain.get_size() > 4) {
			Iterator type = get_target_type(chain[3]);
			for (uint32_t k = 4; k + 1 < chain.get_size() && !type.is_end(); k++) {
				if (type.get_opcode() == OpTypeStruct || !is_array_opcode(type.get_opcode())) {
					log_error("ShaderSpirvGLSL::get_external_value(): unknown interpolant %s\n", records[chain[3]].name.get());
					return String();
				}
				type = get_target_type(type[2]);
			}
			if (type.get_opcode() == OpTypeVector) {
				String interpolant = get_access_indices(chain, 4, get_target_type(chain[3]), get_value(chain[3], false), chain.get_size() - 1);
				StringStack<64> call(it[4] == GLSLstd450InterpolateAtCentroid ? "interpolateAtCentroid(" : it[4] == GLSLstd450InterpolateAtSample ? "interpolateAtSample(" : "interpolateAtOffset(");
				call.append(interpolant);
				if (it[4] != GLSLstd450InterpolateAtCentroid && it.get_size() > 6) {
					call.append(", ");
					call.append(get_value(it[6], false));
				}
				call.append(')');
				return get_access_indices(chain, chain.get_size() - 1, type, String(static_cast<StringStack<64> &&>(call)));
			}
			if (type.get_opcode() == OpTypeStruct) {
				log_error("ShaderSpirvGLSL::get_external_value(): unknown interpolant %s\n", records[chain[3]].name.get());
				return String();
			}
		}
	}
	if (set && *set == "GLSL.std.450" && it[4] == GLSLstd450Ldexp && it.get_size() > 6 && is_unsigned_type(get_target_type(it[6])[1])) {
		// ldexp takes int exponents
		return String::format("ldexp(%s, %s)", get_value(it[5], false).get(), get_signed_coordinate(it[6]).get());
	}
	return ShaderSpirv::get_external_value(it, parenthesize);
}

String ShaderSpirvGLSL::get_null_value(uint32_t type_id) {
	Iterator type = get_target_type(type_id);
	if (type.get_opcode() == OpTypeInt && type[2] == 16) return String(type[3] ? "int16_t(0)" : "uint16_t(0u)");
	return ShaderSpirv::get_null_value(type_id);
}

bool ShaderSpirvGLSL::has_typed_operators() const {
	// GLSL gives + - * << | ^ & and - ~ the operands' type, and compares
	// operands of one type only
	return true;
}

String ShaderSpirvGLSL::get_signed_coordinate(uint32_t id) {
	String value = get_value(id, false);
	if (!is_unsigned_type(get_target_type(id)[1])) return value;
	uint32_t n = get_target_components(id);
	if (n == 1) return String::format("int(%s)", value.get());
	return String::format("ivec%u(%s)", n, value.get());
}

uint32_t ShaderSpirvGLSL::get_coordinate_count(const Iterator &image, bool storage) {
	uint32_t count = 0;
	switch (image[3]) {
		case Dim1D: case DimBuffer: count = 1; break;
		case Dim2D: case DimRect: case DimSubpassData: count = 2; break;
		case Dim3D: count = 3; break;
		case DimCube: count = 3; break;
	}
	if (image[5] != 0 && !(storage && image[3] == DimCube)) count++;
	return count;
}

String ShaderSpirvGLSL::get_image_value(const Iterator &it, bool parenthesize) {
	int32_t op = it.get_opcode();
	if (op == OpSampledImage) {
		if (sampled_uses.find(it[2])) pair_texture_sampler(it);
		return get_value(it[3], parenthesize);
	}
	return get_image_call(it);
}

void ShaderSpirvGLSL::pair_texture_sampler(const Iterator &it) {
	ResourcePlace texture, sampler;
	for (uint32_t k = 3; k < 5; k++) {
		if (get_value_place(it[k], k == 3 ? texture : sampler)) continue;
		log_error("ShaderSpirvGLSL::get_image_value(): unknown origin of %s %s\n", k == 3 ? "texture" : "sampler", records[it[k]].name.get());
		return;
	}
	// a combination of the same places pairs the same units again
	std::array<uint32_t, 8> key = {texture.root, texture.first, texture.count, texture.exact ? 1u : 0u, sampler.root, sampler.first, sampler.count,
		sampler.exact ? 1u : 0u};
	if (paired_places.find(key)) return;
	paired_places.insert(key);
	Array<ResourceElements> textures, samplers;
	if (!get_combination_elements(texture, "texture", textures) || !get_combination_elements(sampler, "sampler", samplers)) return;
	for (uint32_t i = 0; i < samplers.size(); i++) {
		const uint32_t *sb = records[samplers[i].variable].decorations.get(DecorationBinding);
		// a sampler chosen at run time is check_module's error
		if (!sb || samplers[i].count != 1) continue;
		uint32_t sampler_binding = *sb + samplers[i].first;
		for (uint32_t j = 0; j < textures.size(); j++) {
			const uint32_t *tb = records[textures[j].variable].decorations.get(DecorationBinding);
			if (!tb) continue;
			// an element of an array takes the binding of its place, as
			// GL gives one to each element; a texture chosen at run time
			// may be any of them
			for (uint32_t k = 0; k < textures[j].count; k++) {
				uint32_t unit = *tb + textures[j].first + k;
				const uint32_t *paired = texture_samplers.get(unit);
				if (paired && *paired != sampler_binding) {
					// GL samples a texture unit with one sampler
					log_error("ShaderSpirvGLSL::get_image_value(): unknown second sampler (binding %u) of texture %s at binding %u\n", sampler_binding,
						records[textures[j].variable].name.get(), unit);
					return;
				}
				if (paired) continue;
				texture_samplers.insert(unit, sampler_binding);
				pragmas.append(String::format("#pragma sampler(%u, %u)\n", unit, sampler_binding));
			}
		}
	}
}

bool ShaderSpirvGLSL::get_combination_elements(const ResourcePlace &place, const char *kind, Array<ResourceElements> &elements) {
	ResourceOriginIssue issue;
	if (get_place_elements(place, elements, issue)) return true;
	// a parameter found unknown before was said to be then
	if (issue.failure == ResourceOriginElements) {
		log_error("ShaderSpirvGLSL::get_image_value(): unknown elements of %s %s\n", kind, records[issue.id].name.get());
	} else if (issue.failure == ResourceOriginParameter) {
		log_error("ShaderSpirvGLSL::get_image_value(): unknown origin of %s parameter %s\n", kind, records[issue.id].name.get());
	}
	return false;
}

String ShaderSpirvGLSL::get_image_call(const Iterator &it) {
	int32_t op = it.get_opcode();
	bool es = is_es();
	// the image type behind the instruction's image operand
	uint32_t image_operand = (op == OpImageWrite) ? it[1] : it[3];
	Iterator image = get_target_type(image_operand);
	if (image.get_opcode() == OpTypeSampledImage) image = get_target_type(image[2]);
	if (image.get_opcode() != OpTypeImage) {
		log_error("ShaderSpirvGLSL::get_image_value(): unknown image of opcode %u\n", static_cast<uint32_t>(op));
		return String();
	}
	uint32_t texture = find_texture_variable(image_operand);
	bool shadow = is_shadow_texture(texture, image);
	bool compares = op == OpImageSampleDrefImplicitLod || op == OpImageSampleDrefExplicitLod || op == OpImageSampleProjDrefImplicitLod ||
		op == OpImageSampleProjDrefExplicitLod || op == OpImageDrefGather;
	uint32_t source = image_operand;
	for (uint32_t steps = 0; steps < 8; steps++) {
		Iterator from = get_target(source);
		if (from.get_opcode() != OpSampledImage && from.get_opcode() != OpImage) break;
		source = from[3];
	}
	Iterator source_type = get_target_type(source);
	if (source_type.get_opcode() == OpTypeSampledImage) source_type = get_target_type(source_type[2]);
	if (compares && texture == 0 && source_type[4] != 1) {
		// a parameter whose texture is not declared as a depth texture
		log_error("ShaderSpirvGLSL::get_image_value(): unknown depth comparison of a texture parameter\n");
		return String();
	}
	uint32_t dim = image[3];
	bool arrayed = image[5] != 0;
	auto components = [&](uint32_t type) { return get_target_components(type); };
	StringStack<64> ret;
	switch (op) {
		case OpImageQuerySizeLod:
		case OpImageQuerySize: {
			bool sampled = image[7] == 1;
			String call = String::format("%s(%s", sampled ? "textureSize" : "imageSize", get_value(it[3], false).get());
			StringStack<64> text(call);
			if (op == OpImageQuerySizeLod) {
				text.append(", ");
				text.append(get_signed_coordinate(it[4]));
			} else if (sampled && dim != DimBuffer && image[6] == 0) {
				log_error("ShaderSpirvGLSL::get_image_value(): unknown size query without a level\n");
				return String();
			}
			text.append(')');
			if (is_unsigned_type(it[1])) {
				uint32_t n = components(it[1]);
				return n == 1 ? String::format("uint(%s)", text.get()) : String::format("uvec%u(%s)", n, text.get());
			}
			return String(static_cast<StringStack<64> &&>(text));
		}
		case OpImageQueryLod:
		case OpImageQueryLevels:
		case OpImageQuerySamples: {
			if (es) {
				log_error("ShaderSpirvGLSL::get_image_value(): unknown opcode %u\n", static_cast<uint32_t>(op));
				return String();
			}
			const char *name = (op == OpImageQueryLod) ? "textureQueryLod" : (op == OpImageQueryLevels) ? "textureQueryLevels" : (image[7] == 1 ? "textureSamples" : "imageSamples");
			StringStack<64> text(name);
			text.append('(');
			text.append(get_value(it[3], false));
			if (op == OpImageQueryLod) {
				// the coordinate of the image's dimensions, without a layer
				uint32_t needed = (image[3] == Dim1D) ? 1 : (image[3] == Dim2D || image[3] == DimRect) ? 2 : 3;
				uint32_t count = components(it[4]);
				if (count < needed) {
					log_error("ShaderSpirvGLSL::get_image_value(): unknown coordinate of %u components\n", count);
					return String();
				}
				static const char *const swizzles[] = {"", ".x", ".xy", ".xyz"};
				text.append(", ");
				text.append(count > needed ? String::format("(%s)%s", get_value(it[4], false).get(), swizzles[needed]) : get_value(it[4], false));
			}
			text.append(')');
			if (op != OpImageQueryLod && is_unsigned_type(it[1])) return String::format("uint(%s)", text.get());
			return String(static_cast<StringStack<64> &&>(text));
		}
		case OpImageRead: {
			StringStack<64> text("imageLoad(");
			text.append(get_value(it[3], false));
			text.append(", ");
			text.append(get_signed_coordinate(it[4]));
			if (it.get_size() > 5) {
				uint32_t mask = it[5];
				if (mask & ~0x40u & ~0xf00u) {
					log_error("ShaderSpirvGLSL::get_image_value(): unknown image operands %u\n", mask);
					return String();
				}
				if ((mask & 0x40u) && it.get_size() > 6) {
					text.append(", ");
					text.append(get_signed_coordinate(it[6]));
				}
			}
			text.append(')');
			uint32_t n = components(it[1]);
			if (n < 4) text.append(n == 1 ? ".x" : n == 2 ? ".xy" : ".xyz");
			return String(static_cast<StringStack<64> &&>(text));
		}
		case OpImageWrite: {
			StringStack<64> text("imageStore(");
			text.append(get_value(it[1], false));
			text.append(", ");
			text.append(get_signed_coordinate(it[2]));
			if (it.get_size() > 4) {
				uint32_t mask = it[4];
				if (mask & ~0x40u & ~0xf00u) {
					log_error("ShaderSpirvGLSL::get_image_value(): unknown image operands %u\n", mask);
					return String();
				}
				if ((mask & 0x40u) && it.get_size() > 5) {
					text.append(", ");
					text.append(get_signed_coordinate(it[5]));
				}
			}
			if (components(it[3]) != 4) {
				log_error("ShaderSpirvGLSL::get_image_value(): unknown texel of %u components\n", components(it[3]));
				return String();
			}
			text.append(", ");
			text.append(get_value(it[3], false));
			text.append(')');
			return String(static_cast<StringStack<64> &&>(text));
		}
	}
	bool fetch = op == OpImageFetch;
	bool gather = op == OpImageGather || op == OpImageDrefGather;
	bool proj = in(op, OpImageSampleProjImplicitLod, OpImageSampleProjDrefExplicitLod);
	bool dref = op == OpImageSampleDrefImplicitLod || op == OpImageSampleDrefExplicitLod || op == OpImageSampleProjDrefImplicitLod || op == OpImageSampleProjDrefExplicitLod || op == OpImageDrefGather;
	if (!fetch && !gather && !in(op, OpImageSampleImplicitLod, OpImageSampleProjDrefExplicitLod)) {
		log_error("ShaderSpirvGLSL::get_image_value(): unknown opcode %u\n", static_cast<uint32_t>(op));
		return String();
	}
	if (fetch && shadow) {
		log_error("ShaderSpirvGLSL::get_image_value(): unknown fetch of a depth texture\n");
		return String();
	}
	// the image operands
	uint32_t k = dref || (op == OpImageGather) ? 6 : 5;
	uint32_t mask = 0;
	if (k < it.get_size()) mask = it[k++];
	uint32_t bias = 0, lod = 0, dx = 0, dy = 0, offset = 0, offsets = 0, sample = 0;
	bool constant_offset = false;
	if (mask & 0x1u) bias = it[k++];
	if (mask & 0x2u) lod = it[k++];
	if (mask & 0x4u) {
		dx = it[k++];
		dy = it[k++];
	}
	if (mask & 0x8u) {
		offset = it[k++];
		constant_offset = true;
	}
	if (mask & 0x10u) offset = it[k++];
	if (mask & 0x20u) offsets = it[k++];
	if (mask & 0x40u) sample = it[k++];
	if (mask & ~(0x7fu | 0xf00u)) {
		log_error("ShaderSpirvGLSL::get_image_value(): unknown image operands %u\n", mask);
		return String();
	}
	if (k > it.get_size()) {
		log_error("ShaderSpirvGLSL::get_image_value(): unknown image operands %u\n", mask);
		return String();
	}
	if (offset && !constant_offset && !gather) {
		log_error("ShaderSpirvGLSL::get_image_value(): unknown non-constant offset\n");
		return String();
	}
	String sampler = get_value(it[3], false);
	String coordinate = fetch ? get_signed_coordinate(it[4]) : get_value(it[4], false);
	uint32_t coordinate_count = components(it[4]);
	// SPIR-V lets a coordinate have more components than the image takes;
	// GLSL takes exactly its own
	uint32_t needed = get_coordinate_count(image, false) + (proj ? 1 : 0);
	if (coordinate_count < needed) {
		log_error("ShaderSpirvGLSL::get_image_value(): unknown coordinate of %u components\n", coordinate_count);
		return String();
	}
	if (coordinate_count > needed) {
		static const char *const swizzles[] = {"", ".x", ".xy", ".xyz"};
		coordinate = String::format("(%s)%s", coordinate.get(), swizzles[needed]);
		coordinate_count = needed;
	}
	String reference = dref ? get_value(it[5], false) : String();
	// GLSL puts the reference into the coordinate, but for cube-map arrays
	// and gathers
	bool separate_reference = dref && (gather || (dim == DimCube && arrayed));
	if (dref && (lod || dx) && !proj && (dim == DimCube || (arrayed && dx == 0))) {
		// GLSL has no textureLod of cube or array shadow samplers
		log_error("ShaderSpirvGLSL::get_image_value(): unknown depth comparison with an explicit level\n");
		return String();
	}
	if (dref && !separate_reference) {
		if (proj) {
			if (dim != Dim2D || arrayed || coordinate_count != 3) {
				log_error("ShaderSpirvGLSL::get_image_value(): unknown projective depth comparison\n");
				return String();
			}
			String pqr = get_value(it[4], true);
			coordinate = String::format("vec4(%s.xy, %s, %s.z)", pqr.get(), reference.get(), pqr.get());
		} else {
			if (coordinate_count >= 4) {
				log_error("ShaderSpirvGLSL::get_image_value(): unknown depth comparison of %u coordinates\n", coordinate_count);
				return String();
			}
			// a one-dimensional shadow sampler reads its reference from z
			if (dim == Dim1D && !arrayed) coordinate = String::format("vec3(%s, 0.0, %s)", coordinate.get(), reference.get());
			else coordinate = String::format("vec%u(%s, %s)", coordinate_count + 1, coordinate.get(), reference.get());
		}
	}
	StringStack<64> name;
	if (fetch) {
		name.append("texelFetch");
	} else if (gather) {
		name.append("textureGather");
	} else {
		name.append(proj ? "textureProj" : "texture");
		if (lod) name.append("Lod");
		if (dx) name.append("Grad");
	}
	if (offsets) name.append("Offsets");
	else if (offset) name.append("Offset");
	ret.append(name);
	ret.append('(');
	ret.append(sampler);
	ret.append(", ");
	ret.append(coordinate);
	if (separate_reference) {
		ret.append(", ");
		ret.append(reference);
	}
	if (fetch) {
		if (dim != DimBuffer && image[6] == 0) {
			if (!lod) {
				log_error("ShaderSpirvGLSL::get_image_value(): unknown fetch without a level\n");
				return String();
			}
			ret.append(", ");
			ret.append(get_signed_coordinate(lod));
		} else if (image[6] != 0) {
			if (!sample) {
				log_error("ShaderSpirvGLSL::get_image_value(): unknown fetch without a sample\n");
				return String();
			}
			ret.append(", ");
			ret.append(get_signed_coordinate(sample));
		}
	} else if (lod) {
		ret.append(", ");
		ret.append(get_value(lod, false));
	}
	if (dx) {
		ret.append(", ");
		ret.append(get_value(dx, false));
		ret.append(", ");
		ret.append(get_value(dy, false));
	}
	if (offset) {
		ret.append(", ");
		ret.append(get_signed_coordinate(offset));
	}
	if (offsets) {
		ret.append(", ");
		ret.append(get_value(offsets, false));
	}
	if (op == OpImageGather) {
		// the component, which GLSL takes last
		ret.append(", ");
		ret.append(get_signed_coordinate(it[5]));
	}
	if (bias) {
		if (gather || fetch) {
			log_error("ShaderSpirvGLSL::get_image_value(): unknown bias\n");
			return String();
		}
		ret.append(", ");
		ret.append(get_value(bias, false));
	}
	ret.append(')');
	uint32_t n = components(it[1]);
	if (!dref && n < 4) ret.append(n == 1 ? ".x" : n == 2 ? ".xy" : ".xyz");
	return String(static_cast<StringStack<64> &&>(ret));
}

String ShaderSpirvGLSL::get_intrinsic_value(const Iterator &it, bool parenthesize) {
	int32_t op = it.get_opcode();
	auto pointer_text = [&](String &name) {
		Iterator pointer = get_target(it[3]);
		if (pointer.get_opcode() != OpImageTexelPointer) {
			name = "atomicAdd";
			return get_value(it[3], false);
		}
		name = "imageAtomicAdd";
		StringStack<64> args(get_value(pointer[3], false));
		args.append(", ");
		args.append(get_signed_coordinate(pointer[4]));
		Iterator image = get_target_type(pointer[3]);
		if (image.get_opcode() == OpTypeImage && image[6] != 0) {
			args.append(", ");
			args.append(get_signed_coordinate(pointer[5]));
		}
		return String(static_cast<StringStack<64> &&>(args));
	};
	switch (op) {
		case OpAtomicLoad:
		case OpAtomicIIncrement:
		case OpAtomicIDecrement: {
			if (get_target_base_type(it[1]).get_opcode() != OpTypeInt) break;
			bool is_unsigned = is_unsigned_type(it[1]);
			String name;
			String args = pointer_text(name);
			const char *value = (op == OpAtomicLoad) ? "0" : (op == OpAtomicIIncrement) ? "1" : (is_unsigned ? "0xffffffff" : "-1");
			return String::format("%s(%s, %s%s)", name.get(), args.get(), value, is_unsigned ? "u" : "");
		}
		case OpAtomicISub: {
			String name;
			String args = pointer_text(name);
			return String::format("%s(%s, -%s)", name.get(), args.get(), get_value(it[6], true).get());
		}
		case OpAtomicStore: {
			// a store: an exchange whose result is not used
			Iterator pointer = get_target(it[1]);
			if (pointer.get_opcode() == OpImageTexelPointer) {
				StringStack<64> text("imageAtomicExchange(");
				text.append(get_value(pointer[3], false));
				text.append(", ");
				text.append(get_signed_coordinate(pointer[4]));
				text.append(", ");
				text.append(get_value(it[4], false));
				text.append(')');
				return String(static_cast<StringStack<64> &&>(text));
			}
			return String::format("atomicExchange(%s, %s)", get_value(it[1], false).get(), get_value(it[4], false).get());
		}
		case OpDPdxFine: case OpDPdyFine: case OpFwidthFine: case OpDPdxCoarse: case OpDPdyCoarse: case OpFwidthCoarse:
			if (is_es()) {
				log_error("ShaderSpirvGLSL::get_intrinsic_value(): unknown opcode %u\n", static_cast<uint32_t>(op));
				return String();
			}
			break;
		case OpConvertFToS:
			// a negative value converts to a signed integer, whose bits are the result
			if (is_unsigned_type(it[1])) {
				String value = String::format("%s(%s)", get_integer_type_name(it[1], true).get(), get_value(it[3], false).get());
				return get_sign_cast(it[1], false, value);
			}
			break;
		case OpBitCount:
			// bitCount gives ints whatever it counts
			if (is_unsigned_type(it[1])) return String::format("%s(bitCount(%s))", get_type(it[1], nullptr).get(), get_value(it[3], false).get());
			break;
		case OpLogicalNot:
			if (get_target_type(it[1]).get_opcode() != OpTypeVector) return String::format("!%s", get_value(it[3], true).get());
			break;
		case OpBitFieldInsert:
		case OpBitFieldSExtract:
		case OpBitFieldUExtract: {
			// GLSL takes the offset and the count as int
			uint32_t first = (op == OpBitFieldInsert) ? 5 : 4;
			StringStack<64> text(op == OpBitFieldInsert ? "bitfieldInsert(" : "bitfieldExtract(");
			for (uint32_t k = 3; k < first && k < it.get_size(); k++) {
				text.append(get_operand(it, k, false));
				text.append(", ");
			}
			text.append(get_signed_coordinate(it[first]));
			text.append(", ");
			text.append(get_signed_coordinate(it[first + 1]));
			text.append(')');
			String call(static_cast<StringStack<64> &&>(text));
			if (is_sign_cast_result(it)) return get_sign_cast_result(it, call);
			return call;
		}
		case OpSubgroupBallot:
			// ballotARB gives a uint64_t; the module's ballot is a uvec4
			add_extension("GL_KHR_shader_subgroup_ballot");
			return String::format("subgroupBallot(%s)", get_value(it[3], false).get());
		case OpGroupNonUniformBroadcast: {
			// GLSL broadcasts from a constant invocation; any other is a shuffle
			if (it.get_size() > 5 && get_target(it[5]).get_opcode() != OpConstant) {
				add_extension("GL_KHR_shader_subgroup_shuffle");
				return String::format("subgroupShuffle(%s, %s)", get_value(it[4], false).get(), get_value(it[5], false).get());
			}
			break;
		}
		case OpBitcast: {
			int32_t rop = 0, oop = 0;
			uint32_t rcount = 0, rwidth = 0, ocount = 0, owidth = 0;
			bool rsigned = false, osigned = false;
			uint32_t operand_type = get_target(it[3])[1];
			if (numeric_shape(*this, it[1], rop, rcount, rwidth, rsigned) && numeric_shape(*this, operand_type, oop, ocount, owidth, osigned) &&
				rcount == ocount && rwidth == owidth && rwidth != 32 && rop != oop) {
				const char *name = nullptr;
				if (rwidth == 64) name = (oop == OpTypeFloat) ? (rsigned ? "doubleBitsToInt64" : "doubleBitsToUint64") : (osigned ? "int64BitsToDouble" : "uint64BitsToDouble");
				else if (rwidth == 16) name = (oop == OpTypeFloat) ? (rsigned ? "float16BitsToInt16" : "float16BitsToUint16") : (osigned ? "int16BitsToFloat16" : "uint16BitsToFloat16");
				if (name) return String::format("%s(%s)", name, get_value(it[3], false).get());
			}
			break;
		}
	}
	if (op == OpAtomicFAddEXT) {
		// GL adds floats of 32 and 64 bits through an extension; ES has none
		uint32_t width = get_target_base_type(it[1])[2];
		if (is_es() || (width != 32 && width != 64)) {
			log_error("ShaderSpirvGLSL::get_intrinsic_value(): unknown float atomic opcode %u of %u-bit floats\n", static_cast<uint32_t>(op), width);
			return String();
		}
		add_extension("GL_EXT_shader_atomic_float");
		return ShaderSpirv::get_intrinsic_value(it, parenthesize);
	}
	if (in(op, OpAtomicLoad, OpAtomicXor)) {
		if (op != OpAtomicStore && get_target_base_type(it[1]).get_opcode() == OpTypeFloat && op != OpAtomicExchange) {
			log_error("ShaderSpirvGLSL::get_intrinsic_value(): unknown float atomic opcode %u\n", static_cast<uint32_t>(op));
			return String();
		}
	}
	return ShaderSpirv::get_intrinsic_value(it, parenthesize);
}

} // namespace Vexa
