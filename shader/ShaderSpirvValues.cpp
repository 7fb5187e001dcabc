// Expression text of result ids: `get_value` writes a value where it is used,
// recursively through its operands, and the statement renderer only puts a
// value into a named temporary when it must not be computed where it is used.
// Constants, swizzles, shuffles, access chains, composites and the operator
// templates are written here; image, intrinsic and extended instructions go
// to their own slots (ShaderSpirvIntrinsics.cpp).
//
// The module is untrusted: component and member indices are checked before
// they pick a letter or a record, and the recursion is bounded so that a
// deep chain of values ends in an error instead of a stack overflow.
#include "shader/ShaderSpirv.h"
#include "shader/ShaderSpirvNumbers.h"

#include "core/Log.h"
#include "core/Math.h"

#include <cstring>

namespace Vexa {

using namespace Spirv;

namespace {

const char components[] = "xyzw";

// the template with %l and %r (or %v, given as l) replaced, in one pass, so
// that no inserted text is read as a placeholder again
String substitute(const String &format, const String &l, const String &r) {
	StringStack<64> ret;
	const char *s = format.get();
	while (*s) {
		if (s[0] == '%' && (s[1] == 'l' || s[1] == 'v')) {
			ret.append(l);
			s += 2;
		} else if (s[0] == '%' && s[1] == 'r') {
			ret.append(r);
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

} // namespace

String ShaderSpirv::get_argument(uint32_t id, bool parenthesize) {
	return get_value(id, parenthesize);
}

String ShaderSpirv::get_constant(const Iterator &it) {
	Iterator type = get_target_base_type(it[2]);
	int32_t type_op = type.get_opcode();
	uint32_t width = type[2];
	StringStack<64> ret;
	if (type_op == OpTypeInt && (width == 8 || width == 16 || width == 32)) {
		uint32_t value = it[3];
		if (width < 32) {
			uint32_t mask = (1u << width) - 1;
			value &= mask;
			// narrow signed values keep their sign
			if (type[3] && (value >> (width - 1))) value |= ~mask;
		}
		if (type[3]) {
			ret.appendi32(static_cast<int32_t>(value));
		} else if (value < 0x10001u) {
			ret.appendu32(value);
			ret.append('u');
		} else if (value < 0xfffffc00u) {
			ret.append("0x");
			ret.appendu32(value, 16);
			ret.append('u');
		} else {
			ret.append('~');
			ret.appendu32(~value);
			ret.append('u');
		}
		return String(static_cast<StringStack<64> &&>(ret));
	}
	if (type_op == OpTypeInt && width == 64) {
		uint64_t value = it[3] | (static_cast<uint64_t>(it[4]) << 32);
		if (type[3]) {
			ret.appendi64(static_cast<int64_t>(value));
			ret.append('l');
		} else if (value < 0x10001u) {
			ret.appendu64(value);
			ret.append("ul");
		} else if (value < 0xfffffffffffffc00ull) {
			ret.append("0x");
			ret.appendu64(value, 16);
			ret.append("ul");
		} else {
			ret.append('~');
			ret.appendu64(~value);
			ret.append("ul");
		}
		return String(static_cast<StringStack<64> &&>(ret));
	}
	if (type_op == OpTypeFloat && width == 32) {
		float value = 0.0f;
		uint32_t bits = it[3];
		memcpy(&value, &bits, sizeof(value));
		ret.appendf64(static_cast<double>(value), 12, true, true);
		return String(static_cast<StringStack<64> &&>(ret));
	}
	if (type_op == OpTypeFloat && width == 64) {
		double value = 0.0;
		uint64_t bits = it[3] | (static_cast<uint64_t>(it[4]) << 32);
		memcpy(&value, &bits, sizeof(value));
		ret.append(get_type(it[1], nullptr));
		ret.append('(');
		ret.appendf64(value, 18, true, true);
		ret.append(')');
		return String(static_cast<StringStack<64> &&>(ret));
	}
	if (type_op == OpTypeFloat && width == 16) {
		half value(static_cast<uint16_t>(it[3] & 0xffffu));
		ret.append(get_type(it[1], nullptr));
		ret.append('(');
		ret.appendf32(static_cast<float>(value), 6, true, true);
		ret.append(')');
		return String(static_cast<StringStack<64> &&>(ret));
	}
	log_error("ShaderSpirv::get_value(): unknown Constant format %u %u\n", static_cast<uint32_t>(type_op), width);
	return String();
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
	Iterator it = get_target(id);
	if (it.is_end()) return String();
	if (id < named.size() && named[id]) {
		check_scope(id);
		return records[id].name;
	}
	// a value scheduled for a temporary is only ever read through its name,
	// and one printed as a statement is never read
	if (render_function && id < render_flags.size() && (render_flags[id] & RenderTemporary) && id != temporary_value) {
		log_error("ShaderSpirv::get_value(): unknown scope of %s\n", records[id].name.get());
	}
	if (render_function && id < render_flags.size() && (render_flags[id] & RenderStatement)) {
		log_error("ShaderSpirv::get_value(): unknown use of %s\n", records[id].name.get());
	}
	DepthGuard guard(*this);
	if (!guard.enter("ShaderSpirv::get_value()", id)) return String();
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
		case OpVectorShuffle:
			return get_shuffle(it);
		case OpSelect: {
			uint32_t condition = it[3];
			Iterator c = get_target(condition);
			int32_t c_op = c.get_opcode();
			if ((c_op == OpConstantComposite || c_op == OpSpecConstantComposite) && c.get_size() > 3) {
				bool same = true;
				for (uint32_t k = 4; k < c.get_size(); k++) same = same && c[k] == c[3];
				if (same) condition = c[3];
			}
			StringStack<64> ret(get_value(condition, false));
			ret.append(" ? ");
			ret.append(get_value(it[4], true));
			ret.append(" : ");
			ret.append(get_value(it[5], true));
			if (parenthesize) return parenthesized(ret);
			return String(static_cast<StringStack<64> &&>(ret));
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
			for (uint32_t k = 3; k < size; k++) {
				if (k > 3) ret.append(", ");
				ret.append(get_value(it[k], false));
				if (splat) break;
			}
			ret.append(')');
			return String(static_cast<StringStack<64> &&>(ret));
		}
		case OpFunctionCall: {
			StringStack<64> ret(records[it[3]].name);
			ret.append('(');
			for (uint32_t k = 4; k < it.get_size(); k++) {
				if (k > 4) ret.append(", ");
				ret.append(get_argument(it[k], false));
			}
			ret.append(')');
			return String(static_cast<StringStack<64> &&>(ret));
		}
		case OpExtInst:
			return get_external_value(it, parenthesize);
		case OpCompositeExtract:
			return get_composite_extract(it);
	}
	if (is_unary_opcode(op) && !(op == OpLogicalNot && get_target_type(it[1]).get_opcode() == OpTypeVector)) {
		String format = get_unary_name(it);
		if (format.empty()) return String();
		String operand = get_value(it[3], true);
		if (!operand.empty() && operand[0] == format[0]) return operand.substr(1);
		return substitute(format, operand, String());
	}
	if (is_binary_opcode(op)) {
		String format = get_binary_name(it);
		if (format.empty()) return String();
		if (format.find('(') != ~0u) return substitute(format, get_value(it[3], false), get_value(it[4], false));
		String ret = substitute(format, get_value(it[3], true), get_value(it[4], true));
		if (parenthesize) return parenthesized(ret);
		return ret;
	}
	if (is_image_opcode(op)) return get_image_value(it, parenthesize);
	if (is_internal_opcode(op)) return get_intrinsic_value(it, parenthesize);
	log_error("ShaderSpirv::get_value(): unknown opcode %u\n", static_cast<uint32_t>(op));
	return String();
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
	StringStack<64> ret(get_value(it[3], false));
	Iterator type = get_target_type(it[3]);
	for (uint32_t k = 4; k < it.get_size(); k++) {
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
			if (!ret.empty() && ret.fromBack(0) != '.' && ret.fromBack(0) != '>') ret.append('.');
			ret.append(members[structure][member].name);
			type = get_target_type(type[member + 2]);
		} else if (type_op == OpTypeMatrix || is_array_opcode(type_op)) {
			String keyword;
			const uint32_t *nonuniform = (index < records.size()) ? records[index].decorations.get(5300u) : nullptr;
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
		if (type_op == OpTypeMatrix) {
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
		log_error("ShaderSpirv::get_assignment(): unknown opcode %u\n", static_cast<uint32_t>(it.get_opcode()));
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
