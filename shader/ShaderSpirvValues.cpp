// Expression text of result ids: `get_value` writes a value where it is used,
// recursively through its operands, and the statement renderer only puts a
// value into a named temporary when it must not be computed where it is used.
// Constants, swizzles, shuffles, access chains, composites and the operator
// templates are written here; image, intrinsic and extended instructions go
// to their own slots (ShaderSpirvIntrinsics.cpp).
//
// Float literals are written by one hook with the shortest digits that read
// back to the same bits. An operation whose opcode has a signedness of its
// own (OpSDiv, OpULessThan, OpShiftRightLogical, ...) reads each operand of
// the other signedness through `get_sign_cast`, and a result of the other
// signedness is cast back: the operator templates stay as they are.
//
// The module is untrusted: component and member indices are checked before
// they pick a letter or a record, and the recursion is bounded so that a
// deep chain of values ends in an error instead of a stack overflow.
#include "shader/ShaderSpirv.h"
#include "shader/ShaderSpirvNumbers.h"

#include "core/Log.h"
#include "core/Math.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace Vexa {

using namespace Spirv;

namespace {

const char components[] = "xyzw";

// the template with %l and %r (or %v, given as l) and %c replaced, in one
// pass, so that no inserted text is read as a placeholder again
String substitute(const String &format, const String &l, const String &r, const String &c = String()) {
	StringStack<64> ret;
	const char *s = format.get();
	while (*s) {
		if (s[0] == '%' && (s[1] == 'l' || s[1] == 'v')) {
			ret.append(l);
			s += 2;
		} else if (s[0] == '%' && s[1] == 'r') {
			ret.append(r);
			s += 2;
		} else if (s[0] == '%' && s[1] == 'c') {
			ret.append(c);
			s += 2;
		} else {
			ret.append(*s++);
		}
	}
	return String(static_cast<StringStack<64> &&>(ret));
}

String parenthesized(const String &text) {
	StringStack<64> ret("(");
	ret.append(text);
	ret.append(')');
	return String(static_cast<StringStack<64> &&>(ret));
}

// an integer constant of 32 bits (narrower ones widened to them) or of 64
String integer_literal(uint64_t value, bool wide, bool is_signed) {
	StringStack<64> ret;
	const char *suffix = wide ? "ul" : "u";
	uint64_t high = wide ? 0xfffffffffffffc00ull : 0xfffffc00ull;
	if (!wide) value &= 0xffffffffu;
	if (is_signed && wide) {
		ret.appendi64(static_cast<int64_t>(value));
		ret.append('l');
	} else if (is_signed) {
		ret.appendi32(static_cast<int32_t>(static_cast<uint32_t>(value)));
	} else if (value < 0x10001u) {
		ret.appendu64(value);
		ret.append(suffix);
	} else if (value < high) {
		ret.append("0x");
		ret.appendu64(value, 16);
		ret.append(suffix);
	} else {
		ret.append('~');
		ret.appendu64(wide ? ~value : (~value & 0xffffffffu));
		ret.append(suffix);
	}
	return String(static_cast<StringStack<64> &&>(ret));
}

// the value of binary16 bits, exactly
double half_value(uint32_t bits) {
	uint32_t exponent = (bits >> 10) & 0x1fu;
	uint32_t mantissa = bits & 0x3ffu;
	double value = (exponent == 0) ? std::ldexp(static_cast<double>(mantissa), -24)
								   : std::ldexp(static_cast<double>(mantissa | 0x400u), static_cast<int>(exponent) - 25);
	return (bits & 0x8000u) ? -value : value;
}

// the binary16 bits nearest to a finite double, ties to even
uint32_t half_bits(double value) {
	uint32_t sign = std::signbit(value) ? 0x8000u : 0u;
	double a = std::fabs(value);
	// halfway between the largest half, 65504, and the 65536 that is out of range
	if (a >= 65520.0) return sign | 0x7c00u;
	// below the smallest normal the steps are 2^-24 wide
	if (a < std::ldexp(1.0, -14)) return sign | static_cast<uint32_t>(std::nearbyint(std::ldexp(a, 24)));
	int exponent = 0;
	std::frexp(a, &exponent);
	uint32_t mantissa = static_cast<uint32_t>(std::nearbyint(std::ldexp(a, 11 - exponent)));
	if (mantissa == 0x800u) {
		mantissa = 0x400u;
		exponent++;
	}
	return sign | (static_cast<uint32_t>(exponent + 14) << 10) | (mantissa & 0x3ffu);
}

// the listing's spelling of the shortest digits that std::to_chars wrote in
// the exponent form ("-1.2345e+08"): the plain form with those digits where
// that stays short, the exponent form elsewhere, and always a '.' in the
// mantissa
String float_spelling(const char *begin, const char *end) {
	StringStack<64> ret;
	if (begin < end && *begin == '-') {
		ret.append('-');
		begin++;
	}
	char digits[32];
	uint32_t count = 0;
	const char *s = begin;
	for (; s < end && *s != 'e'; s++) {
		if (ShaderSpirv::is_digit(*s) && count < sizeof(digits)) digits[count++] = *s;
	}
	int exponent = 0;
	if (s < end) std::from_chars(s + 1 + (s + 1 < end && s[1] == '+'), end, exponent);
	if (count == 0) digits[count++] = '0';
	// the plain form as long as it stays short: few leading or padding zeros
	bool plain = (exponent < 0) ? exponent >= -5 : (exponent <= 16 && static_cast<uint32_t>(exponent) < count + 4);
	if (plain && exponent >= 0) {
		// the digits with the point moved, zeros where needed
		for (int i = 0; i <= exponent; i++) ret.append(static_cast<uint32_t>(i) < count ? digits[i] : '0');
		ret.append('.');
		if (static_cast<uint32_t>(exponent) + 1 < count) ret.append(digits + exponent + 1, count - static_cast<uint32_t>(exponent) - 1);
		else ret.append('0');
	} else if (plain) {
		ret.append("0.");
		for (int i = -1; i > exponent; i--) ret.append('0');
		ret.append(digits, count);
	} else {
		ret.append(digits[0]);
		ret.append('.');
		if (count > 1) ret.append(digits + 1, count - 1);
		else ret.append('0');
		ret.append('e');
		ret.appendi32(exponent);
	}
	return String(static_cast<StringStack<64> &&>(ret));
}

} // namespace

String ShaderSpirv::get_argument(uint32_t id, bool parenthesize) {
	return get_value(id, parenthesize);
}

namespace {

// the component count and the component type of an integer scalar or vector
// type; false for any other type
bool integer_shape(const ShaderSpirv &spirv, uint32_t type, uint32_t &count, ShaderSpirv::Iterator &component) {
	ShaderSpirv::Iterator it = spirv.get_target_type(type);
	count = 1;
	if (it.get_opcode() == OpTypeVector) {
		count = it[3];
		it = spirv.get_target_type(it[2]);
	}
	component = it;
	return it.get_opcode() == OpTypeInt;
}

uint32_t shape_key(uint32_t width, bool is_signed, uint32_t count) {
	return (width & 0xffffu) | (is_signed ? 0x10000u : 0u) | ((count & 0x7fffu) << 17);
}

} // namespace

ShaderSpirv::Sign ShaderSpirv::get_opcode_sign(const Iterator &it, uint32_t &first, uint32_t &end) const {
	first = 3;
	end = 5;
	switch (it.get_opcode()) {
		case OpUDiv:
		case OpUMod:
		case OpUGreaterThan:
		case OpUGreaterThanEqual:
		case OpULessThan:
		case OpULessThanEqual:
			return SignUnsigned;
		case OpSDiv:
		case OpSRem:
		case OpSMod:
		case OpSGreaterThan:
		case OpSGreaterThanEqual:
		case OpSLessThan:
		case OpSLessThanEqual:
			return SignSigned;
		// one operand; the shift amount is read as a count whatever its type
		case OpShiftRightLogical:
		case OpConvertUToF:
		case OpUConvert:
		case OpBitFieldUExtract:
			end = 4;
			return SignUnsigned;
		case OpShiftRightArithmetic:
		case OpSNegate:
		case OpConvertSToF:
		case OpSConvert:
		case OpBitFieldSExtract:
			end = 4;
			return SignSigned;
		// the value after the scope and the group operation
		case OpGroupNonUniformUMin:
		case OpGroupNonUniformUMax:
			first = 5;
			end = 6;
			return SignUnsigned;
		case OpGroupNonUniformSMin:
		case OpGroupNonUniformSMax:
			first = 5;
			end = 6;
			return SignSigned;
		case OpExtInst: {
			const String *set = imports.get(it[3]);
			if (set == nullptr || *set != "GLSL.std.450") break;
			first = 5;
			end = it.get_size();
			switch (it[4]) {
				case GLSLstd450SAbs:
				case GLSLstd450SSign:
				case GLSLstd450SMin:
				case GLSLstd450SMax:
				case GLSLstd450SClamp:
				case GLSLstd450FindSMsb:
					return SignSigned;
				case GLSLstd450UMin:
				case GLSLstd450UMax:
				case GLSLstd450UClamp:
				case GLSLstd450FindUMsb:
					return SignUnsigned;
			}
			break;
		}
	}
	first = end = 0;
	return SignAny;
}

String ShaderSpirv::get_integer_type(uint32_t type, bool is_signed) {
	uint32_t count = 0;
	Iterator component;
	if (!integer_shape(*this, type, count, component)) return get_type(type, nullptr);
	if (!integer_types_built) {
		integer_types_built = true;
		for (uint32_t i = 0; i < types.size(); i++) {
			uint32_t shape_count = 0;
			Iterator shape_component;
			if (!integer_shape(*this, types[i], shape_count, shape_component)) continue;
			uint32_t key = shape_key(shape_component[2], shape_component[3] != 0, shape_count);
			if (!integer_types.get(key)) integer_types.insert(key, types[i]);
		}
	}
	const uint32_t *found = integer_types.get(shape_key(component[2], is_signed, count));
	if (found) return get_type(*found, nullptr);
	// a shape the module does not declare is spelled as `get_type` spells integers
	StringStack<64> ret;
	ret.append(is_signed ? 'i' : 'u');
	ret.appendu32(component[2]);
	if (count > 1) {
		ret.append('v');
		ret.appendu32(count);
	}
	return String(static_cast<StringStack<64> &&>(ret));
}

String ShaderSpirv::get_sign_cast(uint32_t type, bool to_signed, const String &value) {
	StringStack<64> ret(get_integer_type(type, to_signed));
	ret.append('(');
	ret.append(value);
	ret.append(')');
	return String(static_cast<StringStack<64> &&>(ret));
}

String ShaderSpirv::get_operand(const Iterator &it, uint32_t k, bool parenthesize) {
	SignRepair repair = get_sign_repair(it, k);
	uint32_t id = it[k];
	uint32_t count = 0;
	Iterator component;
	if (repair.sign == SignAny || !integer_shape(*this, id, count, component)) return get_value(id, parenthesize);
	bool to_signed = repair.sign == SignSigned;
	// a 32- or 64-bit scalar constant is written in the other signedness directly
	Iterator constant = get_target(id);
	uint32_t width = component[2];
	if (repair.literal && constant.get_opcode() == OpConstant && count == 1 && (width == 32 || width == 64) &&
		!(id < named.size() && named[id])) {
		uint64_t value = constant[3];
		if (width == 64) value |= static_cast<uint64_t>(constant[4]) << 32;
		return integer_literal(value, width == 64, to_signed);
	}
	return get_sign_cast(get_target(id)[1], to_signed, get_value(id, false));
}

bool ShaderSpirv::is_sign_cast_result(const Iterator &it) const {
	uint32_t first = 0;
	uint32_t end = 0;
	Sign sign = get_opcode_sign(it, first, end);
	int32_t op = it.get_opcode();
	// conversions name their result type themselves, and an operation done
	// in its result's type gives that type
	if (sign == SignAny || in(op, OpConvertFToU, OpSConvert) || takes_result_sign(it)) return false;
	Iterator type = get_target_type(it[1]);
	if (type.get_opcode() == OpTypeVector) type = get_target_type(type[2]);
	return type.get_opcode() == OpTypeInt && (type[3] != 0) != (sign == SignSigned);
}

String ShaderSpirv::get_sign_cast_result(const Iterator &it, const String &text) {
	Iterator type = get_target_type(it[1]);
	if (type.get_opcode() == OpTypeVector) type = get_target_type(type[2]);
	return get_sign_cast(it[1], type[3] != 0, text);
}

String ShaderSpirv::get_constant(const Iterator &it) {
	Iterator type = get_target_base_type(it[2]);
	int32_t type_op = type.get_opcode();
	uint32_t width = type[2];
	if (type_op == OpTypeInt && (width == 8 || width == 16 || width == 32)) {
		uint32_t value = it[3];
		if (width < 32) {
			uint32_t mask = (1u << width) - 1;
			value &= mask;
			// narrow signed values keep their sign
			if (type[3] && (value >> (width - 1))) value |= ~mask;
		}
		return integer_literal(value, false, type[3] != 0);
	}
	if (type_op == OpTypeInt && width == 64) {
		uint64_t value = it[3] | (static_cast<uint64_t>(it[4]) << 32);
		return integer_literal(value, true, type[3] != 0);
	}
	if (type_op == OpTypeFloat && (width == 16 || width == 32 || width == 64)) {
		uint64_t bits = it[3];
		if (width == 16) bits &= 0xffffu;
		if (width == 64) bits |= static_cast<uint64_t>(it[4]) << 32;
		return get_float_constant(it[1], width, bits);
	}
	log_error("ShaderSpirv::get_value(): unknown Constant format %u %u\n", static_cast<uint32_t>(type_op), width);
	return String();
}

String ShaderSpirv::get_float_digits(uint32_t width, uint64_t bits) {
	char text[64];
	std::to_chars_result written;
	if (width == 32) {
		float value = 0.0f;
		uint32_t word = static_cast<uint32_t>(bits);
		memcpy(&value, &word, sizeof(value));
		if (!std::isfinite(value)) return String();
		written = std::to_chars(text, text + sizeof(text), value, std::chars_format::scientific);
	} else if (width == 64) {
		double value = 0.0;
		memcpy(&value, &bits, sizeof(value));
		if (!std::isfinite(value)) return String();
		written = std::to_chars(text, text + sizeof(text), value, std::chars_format::scientific);
	} else if (width == 16) {
		if (((bits >> 10) & 0x1fu) == 0x1fu) return String();
		// the fewest significant digits that a reader of binary16 rounds back
		// to the same bits; five always do
		double value = half_value(static_cast<uint32_t>(bits));
		double shortest = value;
		for (int precision = 0; precision < 5; precision++) {
			std::to_chars_result digits = std::to_chars(text, text + sizeof(text), value, std::chars_format::scientific, precision);
			double read = 0.0;
			std::from_chars(text, digits.ptr, read);
			if (half_bits(read) == (bits & 0xffffu)) {
				shortest = read;
				break;
			}
		}
		// the double nearest to those digits writes them back
		written = std::to_chars(text, text + sizeof(text), shortest, std::chars_format::scientific);
	} else {
		return String();
	}
	if (written.ec != std::errc()) return String();
	return float_spelling(text, written.ptr);
}

String ShaderSpirv::get_float_constant(uint32_t type, uint32_t width, uint64_t bits) {
	String digits = get_float_digits(width, bits);
	if (!digits.empty() && width == 32) return digits;
	StringStack<64> ret;
	if (!digits.empty()) {
		ret.append(get_type(type, nullptr));
		ret.append('(');
		ret.append(digits);
		ret.append(')');
		return String(static_cast<StringStack<64> &&>(ret));
	}
	uint32_t mantissa_bits = (width == 16) ? 10 : (width == 32) ? 23 : 52;
	uint64_t mantissa = bits & ((uint64_t(1) << mantissa_bits) - 1);
	bool negative = (bits >> (width - 1)) & 1;
	if (mantissa == 0) {
		// an infinity
		if (negative) ret.append('-');
		ret.append(get_type(type, nullptr));
		ret.append("(inf)");
		return String(static_cast<StringStack<64> &&>(ret));
	}
	// a NaN keeps its sign and payload: all its bits are written
	ret.append(get_type(type, nullptr));
	ret.append("(nan 0x");
	for (uint32_t shift = width; shift >= 4; shift -= 4) ret.append("0123456789abcdef"[(bits >> (shift - 4)) & 0xfu]);
	ret.append(')');
	return String(static_cast<StringStack<64> &&>(ret));
}

String ShaderSpirv::get_array_suffix(uint32_t type_id) {
	StringStack<64> ret;
	Iterator type = get_target_type(type_id);
	// outermost length first, as a declaration reads
	for (uint32_t steps = 0; steps < 64 && is_array_opcode(type.get_opcode()); steps++) {
		if (type.get_opcode() == OpTypeArray) {
			ret.append('[');
			ret.append(get_value(type[3], false));
			ret.append(']');
		} else {
			ret.append("[]");
		}
		type = get_target_type(type[2]);
	}
	return String(static_cast<StringStack<64> &&>(ret));
}

String ShaderSpirv::get_value(uint32_t id, bool parenthesize) {
	if (get_target(id).is_end()) return String();
	String placed;
	if (get_placed_value(id, placed)) return placed;
	DepthGuard guard(*this);
	if (!guard.enter("ShaderSpirv::get_value()", id)) return String();
	return render_value(id, parenthesize);
}

String ShaderSpirv::render_value(uint32_t id, bool parenthesize) {
	Iterator it = get_target(id);
	if (it.is_end()) return String();
	int32_t op = it.get_opcode();
	switch (op) {
		case OpFunctionParameter:
			return records[id].name;
		case OpVariable:
			check_scope(id);
			return records[id].name;
		case OpLoad:
		case OpImage:
			return get_value(it[3], false);
		case OpCopyObject:
			// the copy stands where its operand would, operators included
			return get_value(it[3], parenthesize);
		case OpConstantTrue:
			return String("true");
		case OpConstantFalse:
			return String("false");
		case OpConstant:
			return get_constant(it);
		case OpSpecConstant:
		case OpSpecConstantTrue:
		case OpSpecConstantFalse: {
			// a specialisation constant reads as its default value, with its id
			String value = (op == OpSpecConstant) ? get_constant(it) : String(op == OpSpecConstantTrue ? "true" : "false");
			const uint32_t *id = (it[2] < records.size()) ? records[it[2]].decorations.get(DecorationSpecId) : nullptr;
			if (id == nullptr) return value;
			return String::format("%s /* constant_id = %u */", value.get(), *id);
		}
		case OpConstantNull:
			return get_null_value(it[1]);
		case OpVectorShuffle:
			return get_shuffle(it);
		case OpSelect: {
			String format = get_select_name(it);
			if (format.empty()) return String();
			uint32_t condition = get_select_condition(it);
			// a call form takes its operands as they are, an operator form
			// needs them parenthesized
			bool call = is_call_form(it);
			String ret = substitute(format, get_value(it[4], !call), get_value(it[5], !call), get_value(condition, false));
			if (parenthesize && !call) return parenthesized(ret);
			return ret;
		}
		case OpAccessChain:
			return get_access_chain(it);
		case OpConstantComposite:
		case OpCompositeConstruct: {
			StringStack<64> ret(get_type(it[1], nullptr));
			ret.append(get_array_suffix(it[1]));
			ret.append('(');
			uint32_t size = it.get_size();
			// a vector made of one scalar repeated is written as a splat;
			// structures, arrays and matrices need every constituent
			bool splat = size > 4 && get_target_type(it[1]).get_opcode() == OpTypeVector && get_target_components(it[3]) == 1;
			for (uint32_t k = 4; splat && k < size; k++) splat = it[k] == it[3];
			bool vector = op == OpCompositeConstruct && get_target_type(it[1]).get_opcode() == OpTypeVector;
			for (uint32_t k = 3; k < size; k++) {
				if (k > 3) ret.append(", ");
				// components taken in order from one vector are that vector,
				// or one swizzle of it
				uint32_t end = vector ? get_extract_run(it, k) : k + 1;
				if (end > k + 1) {
					Iterator first = get_target(it[k]);
					uint32_t composite = first[3];
					uint32_t length = end - k;
					if (first[4] == 0 && length == get_target_components(composite)) {
						ret.append(get_value(composite, false));
					} else {
						char swizzle[5] = {};
						memcpy(swizzle, components + first[4], length);
						ret.append(get_swizzle(composite, swizzle));
					}
					k = end - 1;
					continue;
				}
				ret.append(get_value(it[k], false));
				if (splat) break;
			}
			ret.append(')');
			return String(static_cast<StringStack<64> &&>(ret));
		}
		case OpFunctionCall:
			return get_call(it);
		case OpExtInst:
			return get_external_value(it, parenthesize);
		case OpCompositeExtract:
			return get_composite_extract(it);
		case OpVectorExtractDynamic: {
			// a component chosen at run time
			StringStack<64> ret(get_value(it[3], true));
			ret.append('[');
			ret.append(get_value(it[4], false));
			ret.append(']');
			return String(static_cast<StringStack<64> &&>(ret));
		}
		case OpArrayLength: {
			// the length of the runtime array that ends a block
			StringStack<64> ret(get_value(it[3], false));
			Iterator type = get_target_type(it[3]);
			uint32_t member = it[4];
			if (type.get_opcode() != OpTypeStruct || type[1] >= members.size() || member >= members[type[1]].size()) {
				log_error("ShaderSpirv::get_value(): unknown ArrayLength member\n");
				return String();
			}
			if (!has_bare_members(it[3])) ret.append('.');
			ret.append(members[type[1]][member].name);
			ret.append(".length()");
			return String(static_cast<StringStack<64> &&>(ret));
		}
	}
	if (is_unary_opcode(op) && !(op == OpLogicalNot && get_target_type(it[1]).get_opcode() == OpTypeVector)) {
		String format = get_unary_name(it);
		if (format.empty()) return String();
		String operand = get_operand(it, 3, true);
		String ret = (!operand.empty() && operand[0] == format[0]) ? operand.substr(1) : substitute(format, operand, String());
		// an operation in the other signedness than its result is cast back
		if (is_sign_cast_result(it)) return get_sign_cast_result(it, ret);
		return ret;
	}
	if (is_binary_opcode(op)) {
		String format = get_binary_name(it);
		if (format.empty()) return String();
		if (is_call_form(it)) {
			String ret = substitute(format, get_operand(it, 3, false), get_operand(it, 4, false));
			return is_sign_cast_result(it) ? get_sign_cast_result(it, ret) : ret;
		}
		String ret = substitute(format, get_operand(it, 3, true), get_operand(it, 4, true));
		if (is_sign_cast_result(it)) return get_sign_cast_result(it, ret);
		if (parenthesize) return parenthesized(ret);
		return ret;
	}
	if (is_image_opcode(op)) return get_image_value(it, parenthesize);
	if (is_internal_opcode(op)) return get_intrinsic_value(it, parenthesize);
	log_error("ShaderSpirv::get_value(): unknown opcode %u\n", static_cast<uint32_t>(op));
	return String();
}

uint32_t ShaderSpirv::get_extract_run(const Iterator &it, uint32_t k) {
	// a constituent that is written where it is used (no name, no
	// temporary), extracting one component of a vector
	auto extract = [this](uint32_t id) -> Iterator {
		if (id < named.size() && named[id]) return get_end();
		if (render_function && id < render_flags.size() && (render_flags[id] & (RenderTemporary | RenderStatement))) return get_end();
		Iterator c = find_target(id);
		if (c.get_opcode() != OpCompositeExtract || c.get_size() != 5 || c[4] >= 4) return get_end();
		if (get_target_type(c[3]).get_opcode() != OpTypeVector) return get_end();
		return c;
	};
	Iterator first = extract(it[k]);
	if (first.is_end()) return k + 1;
	uint32_t end = k + 1;
	for (uint32_t index = first[4] + 1; end < it.get_size() && index < 4; end++, index++) {
		Iterator next = extract(it[end]);
		if (next.is_end() || next[3] != first[3] || next[4] != index) break;
	}
	return end;
}

uint32_t ShaderSpirv::get_select_condition(const Iterator &it) {
	uint32_t condition = it[3];
	Iterator c = get_target(condition);
	int32_t c_op = c.get_opcode();
	if ((c_op == OpConstantComposite || c_op == OpSpecConstantComposite) && c.get_size() > 3) {
		bool same = true;
		for (uint32_t k = 4; k < c.get_size(); k++) same = same && c[k] == c[3];
		if (same) condition = c[3];
	}
	return condition;
}

String ShaderSpirv::get_shuffle(const Iterator &it) {
	uint32_t n = get_target_components(it[3]);
	uint32_t size = it.get_size();
	StringStack<64> format;
	uint32_t runs = 0;
	uint32_t k = 5;
	while (k < size) {
		// one run: consecutive literals that select from the same vector
		bool first = it[k] < n;
		uint32_t end = k;
		while (end < size && (it[end] < n) == first) end++;
		if (runs++) format.append(", ");
		format.append(first ? "%l" : "%r");
		bool whole = first && end - k == n;
		for (uint32_t j = k; whole && j < end; j++) whole = it[j] == j - k;
		if (!whole) {
			format.append('.');
			for (uint32_t j = k; j < end; j++) {
				uint32_t c = it[j];
				if (c == 0xffffffffu) {
					format.append('w');
					continue;
				}
				uint32_t index = first ? c : c - n;
				if (index >= 4) {
					log_error("ShaderSpirv::get_value(): unknown VectorShuffle component %u\n", c);
					return String();
				}
				format.append(components[index]);
			}
		}
		k = end;
	}
	String left = get_value(it[3], true);
	String right = format.contains("%r") ? get_value(it[4], true) : String();
	String text = substitute(format, left, right);
	if (runs <= 1) return text;
	StringStack<64> ret(get_type(it[1], nullptr));
	ret.append('(');
	ret.append(text);
	ret.append(')');
	return String(static_cast<StringStack<64> &&>(ret));
}

String ShaderSpirv::get_access_chain(const Iterator &it) {
	return get_access_indices(it, 4, get_target_type(it[3]), get_value(it[3], false));
}

String ShaderSpirv::get_access_indices(const Iterator &it, uint32_t first, Iterator type, const String &base, uint32_t end) {
	StringStack<64> ret(base);
	for (uint32_t k = first; k < it.get_size() && k < end; k++) {
		uint32_t index = it[k];
		int32_t type_op = type.get_opcode();
		Iterator constant = find_target(index);
		bool is_constant = constant.get_opcode() == OpConstant;
		if (type_op == OpTypeVector) {
			if (is_constant && constant[3] < 4) {
				ret.append('.');
				ret.append(components[constant[3]]);
			} else if (is_constant) {
				log_error("ShaderSpirv::get_value(): unknown AccessChain component %u\n", constant[3]);
			} else {
				ret.append('[');
				ret.append(get_value(index, false));
				ret.append(']');
			}
			type = get_target_type(type[2]);
		} else if (type_op == OpTypeStruct) {
			uint32_t structure = type[1];
			if (!is_constant || constant[3] + 2 >= type.get_size() || structure >= members.size() ||
				constant[3] >= members[structure].size()) {
				log_error("ShaderSpirv::get_value(): unknown AccessChain structure index\n");
				continue;
			}
			uint32_t member = constant[3];
			// an interface block without an instance name reads its members bare
			if (k != first || !has_bare_members(it[3])) ret.append('.');
			ret.append(members[structure][member].name);
			type = get_target_type(type[member + 2]);
		} else if (type_op == OpTypeMatrix || is_array_opcode(type_op)) {
			String keyword;
			const uint32_t *nonuniform = (index < records.size()) ? records[index].decorations.get(DecorationNonUniform) : nullptr;
			if (nonuniform) keyword = get_decoration_name(5300);
			ret.append('[');
			if (!keyword.empty()) {
				ret.append(keyword);
				ret.append('(');
				ret.append(get_value(index, false));
				ret.append(')');
			} else {
				ret.append(get_value(index, false));
			}
			ret.append(']');
			type = get_target_type(type[2]);
		} else {
			log_error("ShaderSpirv::get_value(): unknown AccessChain type %u\n", static_cast<uint32_t>(type_op));
		}
	}
	return String(static_cast<StringStack<64> &&>(ret));
}

bool ShaderSpirv::has_bare_members(uint32_t pointer) const {
	uint32_t variable = get_pointer_base(pointer);
	return variable < records.size() && find_target(variable).get_opcode() == OpVariable && records[variable].name.empty();
}

String ShaderSpirv::get_call(const Iterator &it) {
	StringStack<64> ret(records[it[3]].name);
	ret.append('(');
	for (uint32_t k = 4; k < it.get_size(); k++) {
		if (k > 4) ret.append(", ");
		ret.append(get_argument(it[k], false));
	}
	ret.append(')');
	return String(static_cast<StringStack<64> &&>(ret));
}

String ShaderSpirv::get_composite_extract(const Iterator &it) {
	Iterator type = get_target_type(it[3]);
	uint32_t size = it.get_size();
	if (size == 5 && type.get_opcode() == OpTypeVector) {
		if (it[4] >= 4) {
			log_error("ShaderSpirv::get_value(): unknown CompositeExtract component %u\n", it[4]);
			return String();
		}
		char swizzle[2] = {components[it[4]], 0};
		return get_swizzle(it[3], swizzle);
	}
	StringStack<64> ret(get_value(it[3], true));
	for (uint32_t k = 4; k < size; k++) {
		uint32_t index = it[k];
		int32_t type_op = type.get_opcode();
		if (type_op == OpTypeVector) {
			if (index >= 4) {
				log_error("ShaderSpirv::get_value(): unknown CompositeExtract component %u\n", index);
				return String();
			}
			ret.append('.');
			ret.append(components[index]);
			break;
		}
		// matrices and arrays descend to their columns and elements
		if (type_op == OpTypeMatrix || type_op == OpTypeArray) {
			ret.append('[');
			ret.appendu32(index);
			ret.append(']');
			type = get_target_type(type[2]);
		} else if (type_op == OpTypeStruct && index + 2 < type.get_size() && type[1] < members.size() &&
			index < members[type[1]].size()) {
			ret.append('.');
			ret.append(members[type[1]][index].name);
			type = get_target_type(type[index + 2]);
		} else {
			log_error("ShaderSpirv::get_value(): unknown CompositeExtract type\n");
			return String();
		}
	}
	return String(static_cast<StringStack<64> &&>(ret));
}

String ShaderSpirv::get_swizzle(uint32_t id, const char *swizzle) {
	uint32_t length = static_cast<uint32_t>(strlen(swizzle));
	Iterator it = get_target(id);
	int32_t op = it.get_opcode();
	if ((op == OpConstantComposite || op == OpSpecConstantComposite) && length >= 1 && length <= 3) {
		// a constituent that is exactly the selected components stands alone
		uint32_t position = 0;
		for (uint32_t k = 3; k < it.get_size() && position < 4; k++) {
			uint32_t count = get_target_components(it[k]);
			if (count == length && position + length <= 4 && strncmp(swizzle, components + position, length) == 0) {
				return get_value(it[k], true);
			}
			position += count;
		}
	}
	StringStack<64> ret(get_value(id, true));
	ret.append('.');
	ret.append(swizzle);
	return String(static_cast<StringStack<64> &&>(ret));
}

String ShaderSpirv::get_assignment(const Iterator &it) {
	if (it.get_opcode() != OpStore) {
		log_internal_error("ShaderSpirv::get_assignment()", "opcode %u is no store\n", static_cast<uint32_t>(it.get_opcode()));
		return String();
	}
	String target = get_value(it[1], false);
	String value = get_value(it[2], false);
	StringStack<64> ret(target);
	if (!target.empty() && value.startsWith(target.get(), target.size())) {
		const char *rest = value.get() + target.size();
		if (!strcmp(rest, " + 1") || !strcmp(rest, " + 1u")) {
			ret.append("++");
			return String(static_cast<StringStack<64> &&>(ret));
		}
		if (!strcmp(rest, " - 1") || !strcmp(rest, " - 1u")) {
			ret.append("--");
			return String(static_cast<StringStack<64> &&>(ret));
		}
		static const char *const operators[] = {" * ", " / ", " % ", " + ", " - ", " & ", " ^ ", " | ", " << ", " >> "};
		static const char *const compounds[] = {" *= ", " /= ", " %= ", " += ", " -= ", " &= ", " ^= ", " |= ", " <<= ", " >>= "};
		for (uint32_t i = 0; i < sizeof(operators) / sizeof(operators[0]); i++) {
			uint32_t length = static_cast<uint32_t>(strlen(operators[i]));
			if (!strncmp(rest, operators[i], length)) {
				ret.append(compounds[i]);
				ret.append(rest + length);
				return String(static_cast<StringStack<64> &&>(ret));
			}
		}
	}
	ret.append(" = ");
	ret.append(value);
	return String(static_cast<StringStack<64> &&>(ret));
}

} // namespace Vexa
