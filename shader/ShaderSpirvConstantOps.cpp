// OpSpecConstantOp on the default values of its operands, for a target that
// specialises nothing: the operation is written as an instruction of the same
// opcode on the same operands would be, through the same name slots and the
// same signedness repair, so that its text computes what the module's
// default values give.
#include "shader/ShaderSpirv.h"
#include "shader/ShaderSpirvNumbers.h"

namespace Vexa {

using namespace Spirv;

String ShaderSpirv::get_specialization_value(const Iterator &it, bool parenthesize) {
	uint32_t size = it.get_size();
	if (size < 4) return String();
	uint32_t op = it[3];
	Array<uint32_t> words;
	words.append(((size - 1) << 16) | op);
	words.append(it[1]);
	words.append(it[2]);
	for (uint32_t k = 4; k < size; k++) words.append(it[k]);
	Iterator inner;
	inner.begin = words.get();
	inner.current = words.get();
	inner.end = words.get() + words.size();
	auto fill = [&](const String &format, const String &l, const String &r) {
		StringStack<64> ret;
		for (const char *f = format.get(); *f; f++) {
			if (f[0] == '%' && (f[1] == 'l' || f[1] == 'v')) {
				ret.append(l);
				f++;
			} else if (f[0] == '%' && f[1] == 'r') {
				ret.append(r);
				f++;
			} else {
				ret.append(*f);
			}
		}
		return String(static_cast<StringStack<64> &&>(ret));
	};
	String text;
	if (is_binary_opcode(static_cast<int32_t>(op)) && words.size() == 5) {
		String format = get_binary_name(inner);
		if (format.empty()) return String();
		bool call = is_call_form(inner);
		auto operand = [&](uint32_t k) { return get_operand(inner, k, !call); };
		text = fill(format, operand(3), operand(4));
		if (is_sign_cast_result(inner)) return get_sign_cast_result(inner, text);
		if (call || !parenthesize) return text;
		return String::format("(%s)", text.get());
	}
	if ((op == OpSNegate || op == OpFNegate || op == OpLogicalNot || op == OpNot) && words.size() == 4) {
		// a vector of conditions is negated by a call of its own
		if (op == OpLogicalNot && get_target_type(it[1]).get_opcode() == OpTypeVector) return get_intrinsic_value(inner, false);
		text = fill(get_unary_name(inner), get_operand(inner, 3, true), String());
		if (is_sign_cast_result(inner)) return get_sign_cast_result(inner, text);
		return parenthesize ? String::format("(%s)", text.get()) : text;
	}
	if (op == OpSelect && words.size() == 6) {
		text = String::format("%s ? %s : %s", get_value(words[3], true).get(), get_value(words[4], true).get(), get_value(words[5], true).get());
		return parenthesize ? String::format("(%s)", text.get()) : text;
	}
	if ((op == OpUConvert || op == OpSConvert || op == OpFConvert) && words.size() == 4) {
		return String::format("%s(%s)", get_type(it[1], nullptr).get(), get_value(words[3], false).get());
	}
	if (op == OpCompositeExtract && words.size() >= 5) {
		StringStack<64> ret(get_value(words[3], true));
		Iterator type = get_target_type(words[3]);
		for (uint32_t k = 4; k < words.size(); k++) {
			if (type.get_opcode() == OpTypeVector && words[k] < 4) {
				ret.append('.');
				ret.append("xyzw"[words[k]]);
			} else if (type.get_opcode() == OpTypeStruct && type[1] < members.size() && words[k] < members[type[1]].size()) {
				ret.append('.');
				ret.append(members[type[1]][words[k]].name);
				type = get_target_type(type[words[k] + 2]);
				continue;
			} else {
				ret.append(String::format("[%u]", words[k]));
			}
			type = get_target_type(type[2]);
		}
		return String(static_cast<StringStack<64> &&>(ret));
	}
	log_error("ShaderSpirv::get_specialization_value(): unknown SpecConstantOp %u\n", op);
	return String();
}

} // namespace Vexa
