// Constants written as text: literals read into constants of a type (or of
// the type the literal's own form gives), and the text of a constant Value.
#include "shader/compiler/Compiler.h"

#include <cmath>
#include "shader/compiler/CompilerBits.h"

#include "core/Error.h"
#include "core/Parser.h"

#include <charconv>
#include <cstring>

namespace Vexa {

using CompilerBits::skip_spaces;
using CompilerBits::starts_name;

namespace {

// one number of the kind of flags at s, with its suffix (u for an unsigned,
// f, lf or hf for a float), or true or false for a bool, stored as component
// index of value; the position after it, or null when s holds no such value
const char *read_number(const char *s, uint32_t flags, Value &value, uint32_t index) {
	if ((flags & (Compiler::TypeFloat | Compiler::TypeUint | Compiler::TypeInt)) == 0 && (flags & Compiler::TypeBool)) {
		for (bool word : {true, false}) {
			size_t size = word ? 4 : 5;
			if (strncmp(s, word ? "true" : "false", size) != 0 || starts_name(s[size]) || (s[size] >= '0' && s[size] <= '9')) continue;
			value.set_bool(index, word);
			return s + size;
		}
		return nullptr;
	}
	if (!Parser::isNumber(s)) return nullptr;
	uint32_t size = 0;
	if (flags & Compiler::TypeFloat) {
		value.set_f64(index, String::tof64(s, &size));
		s += size;
		if (*s == 'l' || *s == 'L' || *s == 'h' || *s == 'H') {
			if (s[1] != 'f' && s[1] != 'F') return s;
			s++;
		}
		if (*s == 'f' || *s == 'F') s++;
	} else if (flags & Compiler::TypeUint) {
		value.set_u64(index, String::tou64(s, 10, &size));
		s += size;
		if (*s == 'u' || *s == 'U') s++;
	} else {
		value.set_i64(index, String::toi64(s, 10, &size));
		s += size;
	}
	return size == 0 ? nullptr : s;
}

void expect_end(const char *s) {
	s = skip_spaces(s);
	if (*s != '\0') throwError("unexpected \"%s\"\n", s);
}

} // namespace

uint32_t Compiler::parse_constant(const String &type, const char *text) {
	if (text == nullptr || *skip_spaces(text) == '\0') throwError("invalid value\n");
	const char *s = skip_spaces(text);

	// without a type, the literal's form gives it
	if (type.empty()) {
		if (strcmp(s, "true") == 0) return add_constant("b32", 1);
		if (strcmp(s, "false") == 0) return add_constant("b32", 0);
		if (Parser::isFloat(s)) return parse_constant(String("f32"), s);
		if (Parser::isUnsigned(s)) return parse_constant(String("u32"), s);
		if (Parser::isSigned(s)) return parse_constant(String("i32"), s);
		String name;
		if (!Parser::isNumber(s) && starts_name(*s)) {
			Parser::readName(s, name);
			return parse_constant(name, s);
		}
		throwError("invalid value \"%s\" for %s\n", text, "constant");
	}

	// the text is quoted in the key, apart from the keys of made constants,
	// which hold component bits ("f32_const_1" is the float of bits 1)
	String key = String::format("%s_const_\"%s\"", type.get(), s);
	if (uint32_t *id = types.get(key)) return *id;
	uint32_t flags = get_target_flags(add_type(type));

	uint32_t ret = ~0u;
	bool boolean = (flags & (TypeFloat | TypeUint | TypeInt)) == 0 && (flags & TypeBool);
	if (boolean && (strcmp(s, "true") == 0 || strcmp(s, "false") == 0)) {
		ret = add_constant(type, strcmp(s, "true") == 0 ? 1 : 0);
	} else if (!boolean && Parser::isNumber(s)) {
		Value value(1);
		const char *end = read_number(s, flags, value, 0);
		if (end == nullptr) throwError("invalid value \"%s\" for %s\n", text, type.get());
		expect_end(end);
		ret = add_constant(type, value);
	} else if (starts_name(*s)) {
		// a constructor of the type with numbers or bools: "f32v2(1.0, 2.0)", "b32v2(false, true)"
		String name;
		const char *cursor = s + Parser::readName(s, name);
		cursor = skip_spaces(cursor);
		if (name != type || *cursor != '(') throwError("invalid value \"%s\" for %s\n", text, type.get());
		cursor++;
		Value value;
		for (;;) {
			cursor = skip_spaces(cursor);
			if (value.count == Value::MaxComponents) throwError("too many arguments for constant\n");
			const char *end = read_number(cursor, flags, value, value.count);
			if (end == nullptr) throwError("invalid value \"%s\" for %s\n", text, type.get());
			value.count++;
			cursor = skip_spaces(end);
			if (*cursor == ',') {
				cursor++;
				continue;
			}
			if (*cursor == ')') break;
			throwError("invalid value \"%s\" for %s\n", text, type.get());
		}
		expect_end(cursor + 1);
		ret = add_constant(type, value);
	} else {
		throwError("invalid value \"%s\" for %s\n", text, type.get());
	}
	types.insert(key, ret);
	return ret;
}

String Compiler::get_constant_string(const Value &value, bool keep) const {
	String ret;
	if (value.count == 0) return ret;
	// a scalar of 64 or 16 bits keeps its type in the typed form: a bare
	// number reads back as a 32-bit one
	bool typed_scalar = keep && value.count == 1 && (value.flags & (Type64 | Type16)) && (value.flags & (TypeFloat | TypeUint | TypeInt)) &&
		!(value.flags & (TypeVectorMask | TypeMatrixMask | TypeRuntimeArray));
	if (typed_scalar) ret.append(get_type_name((value.flags & (TypeKindMask | TypeWidthMask)) | TypeScalar)).append('(');
	if (value.count > 1) {
		String name = get_type_name(value.flags);
		bool array = (value.flags & TypeRuntimeArray) != 0;
		if (array && name.size() >= 2 && name.get()[name.size() - 2] == '[') name = name.substr(0, name.size() - 2);
		if (!keep) {
			if (const String *glsl = internal_types.get(name)) name = *glsl;
		}
		ret.append(name);
		if (array) {
			uint32_t components = get_type_components(value.flags & ~uint32_t(TypeRuntimeArray));
			ret.append(String::format("[%u]", value.count / (components ? components : 1)));
		}
		ret.append('(');
	}
	for (uint32_t i = 0; i < value.count; i++) {
		if (i) ret.append(", ");
		// a negative zero keeps its sign, which division and atan see
		if ((value.flags & TypeFloat) && value.get_f64(i) == 0.0 && std::signbit(value.get_f64(i))) ret.append("-0.0");
		// the text reads back as the very double the component holds
		else if ((value.flags & TypeFloat) && std::isfinite(value.get_f64(i))) ret.append(get_float_text(value.get_f64(i)));
		else if (value.flags & TypeFloat) ret.appendf64(value.get_f64(i), 12, true, true);
		else if (value.flags & TypeUint) ret.appendu64(value.get_u64(i)).append('u');
		else if (value.flags & TypeInt) ret.appendi64(value.get_i64(i));
		else if (value.flags & TypeBool) ret.append(value.get_bool(i) ? "true" : "false");
	}
	if (value.count > 1 || typed_scalar) ret.append(')');
	return ret;
}

String Compiler::get_float_text(double value) {
	// a fixed number of digits cannot serve: digits after the point lose
	// the significant ones of a small value, and a scaled mantissa carries
	// the rounding of the scaling; the shortest text that reads back as the
	// value is exact and does not depend on the platform
	char buffer[32];
	std::to_chars_result result = std::to_chars(buffer, buffer + sizeof(buffer), value);
	if (result.ec != std::errc()) throwError("invalid float constant\n");
	String ret(buffer, uint32_t(result.ptr - buffer));
	// an integer-valued double prints as a bare integer, which would read
	// back as an integer literal
	if (ret.find('.') == ~0u && ret.find('e') == ~0u) ret.append(".0");
	return ret;
}

String Compiler::get_decimal_digits(const String &digits) {
	const char *s = digits.get();
	const char *sign = (*s == '-' || *s == '+') ? s++ : nullptr;
	if (s[0] != '0' || !(s[1] >= '0' && s[1] <= '9')) return digits;
	uint64_t value = 0;
	for (const char *c = s + 1; *c; c++) {
		if (*c < '0' || *c > '7') throwError("invalid octal literal %s\n", digits.get());
		if (value >> 61) throwError("invalid octal literal %s\n", digits.get());
		value = value * 8 + uint64_t(*c - '0');
	}
	String ret;
	if (sign != nullptr && *sign == '-') ret.append('-');
	ret.appendu64(value);
	return ret;
}

} // namespace Vexa
