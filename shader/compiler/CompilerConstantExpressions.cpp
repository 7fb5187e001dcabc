// Constant expressions: a text evaluated to a Value at compile time, with no
// instruction emitted. Array lengths, layout values, case labels and the
// initialisers of constants come through here. A shunting-yard over a small
// operator set; named constants, constructors and the foldable GLSL.std.450
// functions re-enter it for their own texts, to a bounded depth.
#include "shader/compiler/Compiler.h"
#include "shader/compiler/CompilerBits.h"

#include "core/Error.h"
#include "core/Parser.h"
#include "shader/ShaderSpirvNumbers.h"

#include <cstring>

namespace Vexa {

using CompilerBits::skip_spaces;
using CompilerBits::starts_name;

namespace {

enum ConstantOperator : uint32_t {
	Unknown,
	Parentheses,
	Constant,
	Negate,
	BitwiseNot,
	Mul,
	Div,
	Mod,
	Add,
	Sub,
	ShiftLeft,
	ShiftRight,
	BitwiseAnd,
	BitwiseXor,
	BitwiseOr,
};

const char *const operator_names[] = {
	"Unknown", "Parentheses", "Constant", "Negate", "BitwiseNot", "Mul", "Div", "Mod",
	"Add", "Sub", "ShiftLeft", "ShiftRight", "BitwiseAnd", "BitwiseXor", "BitwiseOr",
};
const uint32_t operator_precedence[] = {0, 0, 0, 7, 7, 6, 6, 6, 5, 5, 4, 4, 3, 2, 1};

// GLSL.std.450 functions that fold, by name and argument count
const struct {
	const char *name;
	uint32_t arguments;
	uint32_t instruction;
} foldable_functions[] = {
	{"abs", 1, 4},
	{"radians", 1, 11},
	{"degrees", 1, 12},
	{"sin", 1, 13},
	{"cos", 1, 14},
	{"tan", 1, 15},
	{"asin", 1, 16},
	{"acos", 1, 17},
	{"atan", 1, 18},
	{"exp", 1, 27},
	{"log", 1, 28},
	{"exp2", 1, 29},
	{"log2", 1, 30},
	{"sqrt", 1, 31},
	{"normalize", 1, 69},
	{"atan2", 2, 25},
	{"pow", 2, 26},
	{"min", 2, 37},
	{"max", 2, 40},
};

// the name of a Value's type in messages
String value_type_name(const Value &value) {
	if ((value.flags & Compiler::TypeKindMask) == 0) return String("unknown");
	return Compiler::get_type_name(value.flags & ~uint32_t(Compiler::TypeRuntimeArray));
}

// a literal: count 1, a 32-bit scalar of its kind
Value literal(uint32_t kind) {
	return Value(Compiler::TypeScalar | Compiler::Type32 | kind, 1);
}

// the comma-separated arguments of a call, each cut out at the outermost level
Array<String> split_arguments(const String &text) {
	Array<String> ret;
	const char *s = skip_spaces(text.get());
	if (*s == '\0') return ret;
	for (;;) {
		String argument;
		s += Parser::readRegion(s, argument, 0, ',');
		ret.append(argument);
		s = skip_spaces(s);
		if (*s != ',') break;
		s++;
	}
	return ret;
}

} // namespace

bool Compiler::fold_expression(Value &result, const char *text, const String &type, Scope *scope) {
	DepthGuard guard(*this);
	Function scratch;
	uint32_t first = variables.size();
	// the temporaries of the thrown-away code are never declared
	struct Drop {
		Compiler &compiler;
		uint32_t first;
		~Drop() {
			for (uint32_t i = first; i < compiler.variables.size(); i++) {
				if (compiler.variables[i].function == ~0u && compiler.variables[i].storage == Spirv::StorageFunction) compiler.variables[i].dropped = true;
			}
		}
	} drop{*this, first};
	const char *s = text;
	uint32_t id = parse_expression(&s, type, scratch, scope);
	if (*skip_spaces(s) != '\0') throwError("unexpected \"%s\"\n", String(s).substr(0, 32).get());
	const Value *value = constants.get(id);
	if (value == nullptr) return false;
	result = *value;
	return true;
}

Value &Compiler::parse_constant_expression(Value &result, const char *text, Scope *scope, bool typed) {
	DepthGuard guard(*this);

	Array<ConstantToken> stack;
	Array<ConstantToken> queue;
	bool expect_operand = true;
	const char *s = text;

	auto push_operator = [&](uint32_t kind) {
		while (stack.size() && stack.back().kind != Parentheses && operator_precedence[stack.back().kind] >= operator_precedence[kind]) {
			queue.append(stack.back());
			stack.remove(stack.size() - 1);
		}
		stack.append(ConstantToken(kind));
	};

	// a constructor or a foldable function: the parenthesised arguments,
	// each evaluated
	auto read_arguments = [&](String &arguments_text) {
		s = skip_spaces(s);
		s += Parser::readRegion(s, arguments_text, '(', ')');
		Array<String> arguments = split_arguments(arguments_text);
		Array<Value> values;
		for (uint32_t i = 0; i < arguments.size(); i++) {
			Value value;
			parse_constant_expression(value, arguments[i].get(), scope, typed);
			values.append(value);
		}
		return values;
	};

	// the elements, components and lengths selected after an operand:
	// [index], .xyzw and .length()
	auto postfix = [&](Value value) {
		for (;;) {
			s = skip_spaces(s);
			uint32_t flags = value.flags;
			bool array = (flags & TypeRuntimeArray) != 0;
			uint32_t element_flags = flags & ~uint32_t(TypeRuntimeArray);
			uint32_t width = get_type_components(element_flags);
			if (width == 0) width = 1;
			if (*s == '[') {
				String index_text;
				s += Parser::readRegion(s, index_text, '[', ']');
				Value index;
				parse_constant_expression(index, index_text.get(), scope, typed);
				if ((index.flags & (TypeUint | TypeInt)) == 0 || (index.flags & TypeFloat) || index.count != 1) throwError("invalid index \"%s\"\n", index_text.get());
				int64_t position = index.get_i64(0);
				if (array) {
					if (position < 0 || uint64_t(position) >= value.count / width) throwError("index %lld is out of bounds\n", static_cast<long long>(position));
					value = Value(value, uint32_t(position) * width, width);
					value.flags = element_flags;
				} else if (flags & TypeMatrixMask) {
					uint32_t rows = get_vector_size(flags);
					if (position < 0 || uint64_t(position) >= get_column_count(flags)) throwError("index %lld is out of bounds\n", static_cast<long long>(position));
					value = Value(value, uint32_t(position) * rows, rows);
					value.flags = flags & ~uint32_t(TypeMatrixMask);
				} else if (flags & TypeVectorMask) {
					if (position < 0 || uint64_t(position) >= get_vector_size(flags)) throwError("index %lld is out of bounds\n", static_cast<long long>(position));
					value = Value(value, uint32_t(position), 1);
					value.flags = (flags & ~uint32_t(TypeVectorMask | TypeComposite)) | TypeScalar;
				} else {
					throwError("invalid index of %s type\n", value_type_name(value).get());
				}
				continue;
			}
			if (*s != '.' || (s[1] >= '0' && s[1] <= '9')) return value;
			String member;
			s++;
			s += Parser::readName(s, member);
			if (member == "length") {
				String arguments;
				s = skip_spaces(s);
				s += Parser::readRegion(s, arguments, '(', ')');
				if (*skip_spaces(arguments.get()) != '\0') throwError("unknown array function %s(%s)\n", member.get(), arguments.get());
				uint32_t length = array ? value.count / width : (flags & TypeMatrixMask) ? get_column_count(flags) : (flags & TypeVectorMask) ? get_vector_size(flags) : 0;
				if (length == 0) throwError("invalid operator %s for %s\n", "Swizzle", value_type_name(value).get());
				value = literal(TypeInt);
				value.set_i64(0, length);
				continue;
			}
			// a swizzle of a vector, or of a scalar repeated
			uint32_t size = (flags & (TypeMatrixMask | TypeRuntimeArray)) ? 0 : (flags & TypeVectorMask) ? get_vector_size(flags) : 1;
			if (size == 0 || value.count != size) throwError("invalid operator %s for %s\n", "Swizzle", value_type_name(value).get());
			if (member.size() < 1 || member.size() > 4) throwError("invalid swizzle size %u\n", member.size());
			Value selected(flags, member.size());
			for (uint32_t i = 0; i < member.size(); i++) {
				uint32_t index = get_swizzle_index(member[i]);
				if (index >= size) throwError("invalid swizzle \"%s\" for %s\n", member.get(), value_type_name(value).get());
				selected.components[i] = value.components[index];
			}
			uint32_t vector = member.size() == 2 ? TypeVector2 : member.size() == 3 ? TypeVector3 : TypeVector4;
			selected.flags = member.size() == 1 ? (flags & ~uint32_t(TypeVectorMask | TypeComposite)) | TypeScalar
				: (flags & ~uint32_t(TypeVectorMask | TypeScalar)) | TypeComposite | vector;
			value = selected;
		}
	};

	for (;;) {
		s = skip_spaces(s);
		char c = *s;
		if (c == '\0') break;
		if (c == '(') {
			stack.append(ConstantToken(Parentheses));
			s++;
			expect_operand = true;
			continue;
		}
		if (c == ')') {
			for (;;) {
				if (stack.size() == 0) throwError("invalid expression\n");
				ConstantToken token = stack.back();
				stack.remove(stack.size() - 1);
				if (token.kind == Parentheses) break;
				queue.append(token);
			}
			s++;
			expect_operand = false;
			continue;
		}
		if (std::strchr("<>*/%+-&|^~", c) != nullptr) {
			if (expect_operand) {
				// prefix operators bind to what follows and take another prefix
				s++;
				if (c == '-') stack.append(ConstantToken(Negate));
				else if (c == '~') stack.append(ConstantToken(BitwiseNot));
				else if (c != '+') throwError("unknown constant operator\n");
				continue;
			}
			uint32_t kind = Unknown;
			if (c == '<' || c == '>') {
				if (s[1] != c) throwError("unknown constant operator\n");
				kind = (c == '<') ? ShiftLeft : ShiftRight;
				s += 2;
			} else {
				switch (c) {
				case '*': kind = Mul; break;
				case '/': kind = Div; break;
				case '%': kind = Mod; break;
				case '+': kind = Add; break;
				case '-': kind = Sub; break;
				case '&': kind = BitwiseAnd; break;
				case '^': kind = BitwiseXor; break;
				case '|': kind = BitwiseOr; break;
				default: throwError("unknown constant operator\n");
				}
				s++;
			}
			push_operator(kind);
			expect_operand = true;
			continue;
		}
		// arguments and initialisers are cut at their own commas: one
		// here stands between parentheses
		if (c == ',') throwError("comma operator is not supported\n");
		if (!expect_operand) throwError("invalid expression\n");

		if (Parser::isNumber(s)) {
			String number;
			s += Parser::readNumber(s, number);
			// an integer's width by its suffix: l for 64 bits, s for 16
			uint32_t width = Type32;
			if (!Parser::isFloat(number.get())) {
				// octal digits, with their suffix kept
				uint32_t end = number.size();
				while (end > 1 && strchr("uUlLsS", number[end - 1]) != nullptr) {
					if (number[end - 1] == 'l' || number[end - 1] == 'L') width = Type64;
					else if (number[end - 1] == 's' || number[end - 1] == 'S') width = Type16;
					end--;
				}
				number = get_decimal_digits(number.substr(0, end)) + number.substr(end);
			}
			Value value;
			uint32_t size = 0;
			if (Parser::isFloat(number.get())) {
				value = literal(TypeFloat);
				value.set_f64(0, String::tof64(number.get(), &size));
				// a double or half literal by its suffix
				char suffix = size < number.size() ? number[size] : '\0';
				if (suffix == 'l' || suffix == 'L') value.flags = (value.flags & ~TypeWidthMask) | Type64;
				else if (suffix == 'h' || suffix == 'H') value.flags = (value.flags & ~TypeWidthMask) | Type16;
			} else if (Parser::isSigned(number.get())) {
				value = literal(TypeInt);
				value.set_i64(0, String::toi64(number.get(), 10, &size));
				value.flags = (value.flags & ~TypeWidthMask) | width;
			} else if (Parser::isUnsigned(number.get())) {
				value = literal(TypeUint);
				value.set_u64(0, String::tou64(number.get(), 10, &size));
				value.flags = (value.flags & ~TypeWidthMask) | width;
			} else {
				throwError("can't parse constant \"%s\"\n", number.get());
			}
			if (size == 0) throwError("can't parse constant \"%s\"\n", number.get());
			queue.append(ConstantToken(Constant, value));
			expect_operand = false;
			continue;
		}

		String name;
		uint32_t size = Parser::readName(s, name);
		if (size == 0 || name.empty()) throwError("unexpected \"%s\"\n", String(s).substr(0, 32).get());
		s += size;
		s = skip_spaces(s);
		expect_operand = false;

		if (name == "true" || name == "false") {
			Value value = literal(TypeBool);
			value.set_bool(0, name == "true");
			queue.append(ConstantToken(Constant, value));
			continue;
		}

		// a named constant, or the length of a declared array
		uint32_t index = (scope != nullptr) ? find_variable(name, scope) : ~0u;
		if (index != ~0u) {
			const Variable &variable = variables[index];
			if (variable.decorations.get(Spirv::DecorationConstant) != nullptr) {
				// a constant held by its id (a specialization constant is none:
				// the pipeline gives its value)
				const Value *held = variable.value.empty() && variable.initializer != ~0u ? constants.get(variable.initializer) : nullptr;
				if (held != nullptr) {
					queue.append(ConstantToken(Constant, postfix(*held)));
					continue;
				}
				if (variable.value.empty()) {
					if (variable.initializer != ~0u) throwError("specialization constant \"%s\" has no value at compile time\n", name.get());
					throwError("\"%s\" is not a constant variable\n", name.get());
				}
				String value_text = variable.value;
				Value value;
				parse_constant_expression(value, value_text.get(), scope, true);
				queue.append(ConstantToken(Constant, postfix(value)));
				continue;
			}
			if (variable.length != ~0u && *s == '.') {
				String method;
				String arguments;
				s += 1;
				s += Parser::readName(s, method);
				s += Parser::readRegion(s, arguments, '(', ')');
				if (method != "length" || *skip_spaces(arguments.get()) != '\0' || variable.length == 0) {
					throwError("unknown array function %s(%s)\n", method.get(), arguments.get());
				}
				Value value = literal(TypeUint);
				value.set_u64(0, variable.length);
				queue.append(ConstantToken(Constant, value));
				continue;
			}
			throwError("\"%s\" is not a constant variable\n", name.get());
		}

		// a constructor
		String type_name;
		if (typed && internal_types.get(name) != nullptr) type_name = name;
		else if (const String *internal = glsl_types.get(name)) type_name = *internal;
		if (!type_name.empty()) {
			uint32_t type_flags = get_type_flags(type_name);
			if ((type_flags & TypeKindMask) == 0 || (type_flags & TypeVoid)) throwError("unexpected \"%s\"\n", name.get());
			bool array = false;
			uint32_t array_length = 0; // 0 when the brackets give no length
			if (*s == '[') {
				String suffix;
				s += Parser::readRegion(s, suffix, '[', ']');
				type_name.append('[').append(suffix).append(']');
				type_flags |= TypeRuntimeArray;
				array = true;
				if (*skip_spaces(suffix.get()) != '\0') {
					Value length;
					parse_constant_expression(length, suffix.get(), scope, typed);
					if (length.count != 1 || (length.flags & (TypeUint | TypeInt)) == 0 || length.get_i64(0) <= 0) {
						throwError("invalid array length \"%s\"\n", suffix.get());
					}
					array_length = uint32_t(length.get_u64(0));
				}
			}
			String arguments_text;
			Array<Value> values = read_arguments(arguments_text);
			uint32_t components = get_type_components(type_flags & ~uint32_t(TypeRuntimeArray));
			if (components == 0) components = 1;
			Value value(type_flags & ~uint32_t(TypeRuntimeArray), 0);
			bool diagonal = !array && (type_flags & TypeMatrixMask) && values.size() == 1 && values[0].count == 1;
			if (diagonal) {
				// a scalar fills the diagonal of a matrix, zero elsewhere
				uint32_t rows = get_vector_size(type_flags);
				value.count = components;
				Value zero = literal(TypeFloat);
				for (uint32_t i = 0; i < components; i++) {
					Value one_component(value.flags, 0);
					one_component.append(i / rows == i % rows ? values[0] : zero);
					value.components[i] = one_component.components[0];
				}
			} else {
				for (uint32_t i = 0; i < values.size(); i++) {
					if (!value.append(values[i])) throwError("can't parse constant \"%s(%s)\": too many components\n", type_name.get(), arguments_text.get());
				}
				if (!array && value.count == 1 && components > 1) value = value.splat(components);
				if (!array && value.count != components) throwError("can't parse constant \"%s(%s)\"\n", type_name.get(), arguments_text.get());
				// an array given its length has exactly that many elements; the
				// source gives one element an argument (the text of a named
				// constant array lists their components)
				bool elements = true;
				for (uint32_t i = 0; array && !typed && i < values.size(); i++) elements = elements && values[i].count == components;
				if (array && (!elements || value.count == 0 || value.count % components != 0 || (array_length != 0 && value.count != array_length * components))) {
					throwError("can't parse constant \"%s(%s)\"\n", type_name.get(), arguments_text.get());
				}
			}
			value.flags = type_flags;
			queue.append(ConstantToken(Constant, postfix(value)));
			continue;
		}

		// a foldable function
		if (external_functions.find(name)) {
			String arguments_text;
			Array<Value> values = read_arguments(arguments_text);
			uint32_t instruction = ~0u;
			for (const auto &row : foldable_functions) {
				if (name == row.name && values.size() == row.arguments) instruction = row.instruction;
			}
			if (instruction == ~0u) throwError("unknown function \"%s(%s)\"\n", name.get(), arguments_text.get());
			Value value = (values.size() == 1) ? values[0].unary_operation(Spirv::OpExtInst, instruction)
				: values[0].binary_operation(values[1], Spirv::OpExtInst, instruction);
			if (value.count == 0) throwError("can't fold \"%s(%s)\"\n", name.get(), arguments_text.get());
			queue.append(ConstantToken(Constant, value));
			continue;
		}
		if (CompilerBits::is_unsupported_builtin(name.get())) throwError("\"%s\" built-in function is not supported\n", name.get());
		throwError("unexpected \"%s\"\n", name.get());
	}

	while (stack.size()) {
		ConstantToken token = stack.back();
		stack.remove(stack.size() - 1);
		if (token.kind == Parentheses) throwError("invalid expression\n");
		queue.append(token);
	}
	if (queue.size() == 0) throwError("invalid expression\n");

	// evaluation
	Array<Value> values;
	auto pop = [&]() {
		if (values.size() == 0) throwError("stack underflow\n");
		Value ret = values.back();
		values.remove(values.size() - 1);
		return ret;
	};
	for (uint32_t i = 0; i < queue.size(); i++) {
		const ConstantToken &token = queue[i];
		if (token.kind == Constant) {
			values.append(token.value);
			continue;
		}
		if (token.kind == Negate) {
			values.append(pop().negate());
			continue;
		}
		if (token.kind == BitwiseNot) {
			Value value = pop();
			if ((value.flags & (TypeFloat | TypeBool)) || (value.flags & (TypeUint | TypeInt)) == 0) {
				throwError("unknown operator %s for \"%s\"\n", operator_names[token.kind], value_type_name(value).get());
			}
			values.append(value.unary_operation(Spirv::OpNot, 0));
			continue;
		}
		if (token.kind < Mul || token.kind > BitwiseOr) throwError("unknown opcode %s\n", operator_names[token.kind]);
		if (values.size() < 2) throwError("stack underflow\n");
		Value b = pop();
		Value a = pop();
		uint32_t opcode = 0;
		bool is_float = ((a.flags | b.flags) & TypeFloat) != 0;
		bool is_unsigned = !is_float && ((a.flags | b.flags) & TypeUint) != 0;
		bool is_bool = ((a.flags | b.flags) & TypeKindMask) == TypeBool;
		if (is_float || is_bool) {
			switch (token.kind) {
			case Mul: opcode = Spirv::OpFMul; break;
			case Div: opcode = Spirv::OpFDiv; break;
			case Add: opcode = Spirv::OpFAdd; break;
			case Sub: opcode = Spirv::OpFSub; break;
			default: break;
			}
			// products of matrices, and of a matrix with a vector, are
			// those of linear algebra
			bool matrix_a = (a.flags & TypeMatrixMask) != 0;
			bool matrix_b = (b.flags & TypeMatrixMask) != 0;
			bool vector_a = !matrix_a && (a.flags & TypeVectorMask);
			bool vector_b = !matrix_b && (b.flags & TypeVectorMask);
			if (token.kind == Mul && matrix_a && matrix_b) opcode = Spirv::OpMatrixTimesMatrix;
			else if (token.kind == Mul && matrix_a && vector_b) opcode = Spirv::OpMatrixTimesVector;
			else if (token.kind == Mul && vector_a && matrix_b) opcode = Spirv::OpVectorTimesMatrix;
			if (is_bool) opcode = 0;
		} else {
			switch (token.kind) {
			case Mul: opcode = Spirv::OpIMul; break;
			case Div: opcode = is_unsigned ? Spirv::OpUDiv : Spirv::OpSDiv; break;
			case Mod: opcode = is_unsigned ? Spirv::OpUMod : Spirv::OpSMod; break;
			case Add: opcode = Spirv::OpIAdd; break;
			case Sub: opcode = Spirv::OpISub; break;
			case ShiftLeft: opcode = Spirv::OpShiftLeftLogical; break;
			case ShiftRight: opcode = (a.flags & TypeUint) ? Spirv::OpShiftRightLogical : Spirv::OpShiftRightArithmetic; break;
			case BitwiseAnd: opcode = Spirv::OpBitwiseAnd; break;
			case BitwiseXor: opcode = Spirv::OpBitwiseXor; break;
			default: opcode = Spirv::OpBitwiseOr; break;
			}
		}
		if (opcode == 0) {
			throwError("unknown operator %s for \"%s\" and \"%s\"\n", operator_names[token.kind], value_type_name(a).get(), value_type_name(b).get());
		}
		Value value = a.binary_operation(b, opcode, 0);
		// what has no defined result (a division by zero, an overflowing
		// division, a shift by the width or more) is no constant
		if (value.count == 0) {
			throwError("can't evaluate %s of \"%s\" and \"%s\" constants\n", operator_names[token.kind], value_type_name(a).get(), value_type_name(b).get());
		}
		values.append(value);
	}
	if (values.size() != 1) throwError("invalid expression\n");
	result = values[0];
	return result;
}

} // namespace Vexa
