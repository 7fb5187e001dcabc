// Expressions: one GLSL expression compiled straight into instructions of the
// current function, by precedence climbing over the text. Operands are result
// ids, or constant text that stays text until an operator or the expected
// type gives it a type, so that a literal becomes a constant of the type it
// is used at. The right operand of && and || and the branches of ?: are
// compiled apart first: when their code has effects (stores, calls, loads
// through a dynamic index) they run only when selected, in structured
// branches over a Function temporary; otherwise one instruction selects.
#include "shader/compiler/CompilerExpressions.h"
#include "shader/compiler/CompilerBits.h"

#include "core/Error.h"
#include "core/Parser.h"
#include "shader/ShaderSpirvNumbers.h"

#include <cmath>
#include <cstring>

namespace Vexa {

using CompilerBits::skip_spaces;
using CompilerBits::starts_name;

namespace Expressions {

using namespace Spirv;

// the most parts (members, elements, columns) one comparison unrolls
constexpr uint32_t max_compared_parts = 4096;

const char *const type_names[] = {
	"Unknown", "Parentheses", "Value", "Constant", "Function", "Internal", "External", "Type", "Structure", "Swizzle",
	"PreIncrement", "PreDecrement", "PostIncrement", "PostDecrement", "Negate", "LogicalNot", "BitwiseNot", "Mul", "Div", "Mod",
	"Add", "Sub", "ShiftLeft", "ShiftRight", "LessThan", "GreaterThan", "LessEqual", "GreaterEqual", "Equal", "NotEqual",
	"BitwiseAnd", "BitwiseXor", "BitwiseOr", "LogicalAnd", "LogicalOr", "Select", "Assign", "LogicalXor",
};

uint32_t kind_rank(uint32_t flags) {
	if (flags & Compiler::TypeFloat) return 3;
	if (flags & Compiler::TypeUint) return 2;
	if (flags & Compiler::TypeInt) return 1;
	return 0;
}

uint32_t width_rank(uint32_t flags) {
	if (flags & Compiler::Type64) return 2;
	if (flags & Compiler::Type32) return 1;
	return 0;
}

// the kind bits of a literal's own type
uint32_t literal_kind(const String &text) {
	const char *s = text.get();
	if (text == "true" || text == "false") return Compiler::TypeBool;
	if (Parser::isFloat(s)) return Compiler::TypeFloat;
	if (Parser::isUnsigned(s)) return Compiler::TypeUint;
	if (Parser::isSigned(s)) return Compiler::TypeInt;
	// typed constant text ("f32v3(...)", "4u")
	String name;
	if (starts_name(*s)) {
		Parser::readName(s, name);
		try {
			return Compiler::get_type_flags(name) & Compiler::TypeKindMask;
		} catch (const String &) {
		}
	}
	return 0;
}

Segment detach(Compiler::Function &function, uint32_t mark, uint32_t last_opcode) {
	Segment ret;
	for (uint32_t i = mark; i < function.code.size(); i++) ret.code.append(function.code[i]);
	uint32_t kept = 0;
	for (uint32_t i = 0; i < function.labels.size(); i++) {
		if (function.labels[i] >= mark) ret.labels.append(function.labels[i] - mark);
		else function.labels[kept++] = function.labels[i];
	}
	function.labels.resize(kept);
	function.code.resize(mark);
	ret.last_opcode = function.last_opcode;
	function.last_opcode = last_opcode;
	return ret;
}

void attach(Compiler::Function &function, const Segment &segment) {
	if (segment.code.size() == 0) return;
	uint32_t base = function.code.size();
	for (uint32_t i = 0; i < segment.code.size(); i++) function.code.append(segment.code[i]);
	for (uint32_t i = 0; i < segment.labels.size(); i++) function.labels.append(segment.labels[i] + base);
	function.last_opcode = segment.last_opcode;
}

// whether code does more than compute a value: it writes, calls, branches,
// or reads memory through an index that may be out of bounds
Array<Operand> parse_arguments(Compiler &compiler, const char *text, Compiler::Function &function, Compiler::Scope *scope) {
	Array<Operand> ret;
	const char *s = text;
	while (*skip_spaces(s) != '\0') {
		ExpressionParser parser(compiler, s, function, scope);
		ret.append(parser.parse_assignment());
		s = skip_spaces(s);
		if (*s == ',') {
			s++;
			if (*skip_spaces(s) == '\0') throwError("invalid expression\n");
		} else if (*s != '\0') {
			throwError("unexpected \"%s\"\n", String(s).substr(0, 32).get());
		}
	}
	return ret;
}

bool has_effects(const Compiler &compiler, const Segment &segment) {
	const Array<uint32_t> &code = segment.code;
	for (uint32_t i = 0; i < code.size();) {
		uint32_t count = code[i] >> 16;
		uint32_t opcode = code[i] & 0xffffu;
		if (count == 0 || i + count > code.size()) return true;
		switch (opcode) {
		case OpLoad:
		case OpCompositeExtract:
		case OpCompositeConstruct:
		case OpVectorShuffle:
		case OpSelect:
		case OpExtInst:
			break;
		case OpAccessChain:
			// an index that is no constant may point anywhere
			for (uint32_t j = 4; j < count; j++) {
				if (compiler.constants.get(code[i + j]) == nullptr) return true;
			}
			break;
		case OpStore:
		case OpFunctionCall:
		case OpLabel:
		case OpKill:
		case OpImageWrite:
		case OpControlBarrier:
		case OpMemoryBarrier:
			return true;
		default:
			// atomics, and everything from the barriers on
			if ((opcode >= OpAtomicLoad && opcode <= OpAtomicXor) || opcode >= OpEmitVertex) return true;
			break;
		}
		i += count;
	}
	return false;
}

ExpressionParser::ExpressionParser(Compiler &compiler, const char *&s, Compiler::Function &function, Compiler::Scope *scope)
	: compiler(compiler), s(s), function(function), scope(scope) {
}

uint32_t ExpressionParser::flags_of(uint32_t id) const {
	return compiler.get_target_flags(id);
}

String ExpressionParser::type_name_of(uint32_t id) const {
	return compiler.get_target_type_name(id);
}

uint32_t ExpressionParser::resolve(Operand &operand, const String &type) {
	if (operand.id != ~0u) return operand.id;
	String name = type;
	if (!name.empty()) {
		// a constant is made in the type's kind and width directly; text
		// that does not fit (a negative number for an unsigned type) is
		// made in its own type and converted
		try {
			operand.id = compiler.parse_constant(name, operand.text.get());
			operand.text.clear();
			return operand.id;
		} catch (const String &) {
		}
	}
	operand.id = compiler.parse_constant(String(), operand.text.get());
	operand.text.clear();
	if (!name.empty()) operand.id = convert(operand.id, compiler.get_target_flags(compiler.add_type(name)));
	return operand.id;
}

uint32_t ExpressionParser::convert(uint32_t id, uint32_t flags) {
	uint32_t source = flags_of(id);
	if ((source & (Compiler::TypeKindMask | Compiler::TypeWidthMask)) == (flags & (Compiler::TypeKindMask | Compiler::TypeWidthMask))) return id;
	if (source & (Compiler::TypeStructure | Compiler::TypeRuntimeArray)) {
		throwError("can't convert %s to %s\n", type_name_of(id).get(), Compiler::get_type_name(flags).get());
	}
	// the kind and width change, the shape stays: a vector of bool from a vector
	return compiler.add_conversion(function, (source & ~(Compiler::TypeKindMask | Compiler::TypeWidthMask)) | (flags & (Compiler::TypeKindMask | Compiler::TypeWidthMask)), id);
}

uint32_t ExpressionParser::fit(uint32_t id, uint32_t type) {
	if (compiler.get_target_type(id) == type || id == ~0u) return id;
	uint32_t flags = compiler.get_target_flags(type);
	uint32_t source = flags_of(id);
	if ((flags | source) & (Compiler::TypeStructure | Compiler::TypeRuntimeArray)) {
		throwError("can't assign %s to %s\n", type_name_of(id).get(), compiler.get_target_type_name(type).get());
	}
	id = convert(id, flags);
	source = flags_of(id);
	if ((source & Compiler::TypeScalar) && (flags & (Compiler::TypeVectorMask | Compiler::TypeMatrixMask))) id = compiler.add_splat(function, type, id);
	if (compiler.get_target_type(id) != type) {
		throwError("can't assign %s to %s\n", type_name_of(id).get(), compiler.get_target_type_name(type).get());
	}
	return id;
}

uint32_t ExpressionParser::result_id(uint32_t type) {
	uint32_t id = compiler.next_id++;
	compiler.add_target(id, type);
	return id;
}

uint32_t ExpressionParser::local_variable(uint32_t type, uint32_t length) {
	String name = String::format("_t%u", compiler.next_id);
	String type_name = compiler.get_target_type_name(type);
	uint32_t flags = compiler.get_target_flags(type);
	if (flags & Compiler::TypeRuntimeArray) {
		// an array is held by a variable of its element type and length
		if (length == ~0u || length == 0) throwError("can't hold an array of %s without a length\n", type_name.get());
		if (compiler.array_strides.get(type) != nullptr) throwError("can't copy an array of a block\n");
		type_name = compiler.get_target_type_name(compiler.get_target_type(type));
	} else {
		length = ~0u;
	}
	uint32_t index = compiler.add_variable(String(), type_name, length, 7, function.scope);
	Compiler::Variable &variable = compiler.variables[index];
	variable.name = name;
	variable.function = function.index;
	variable.used = true;
	function.locals.append(index);
	compiler.add_target(variable.id, type, length);
	return variable.id;
}

uint32_t ExpressionParser::load(uint32_t pointer) {
	const Compiler::Target *target = compiler.targets.get(pointer);
	uint32_t type = target != nullptr ? target->type : ~0u;
	uint32_t length = target != nullptr ? target->length : ~0u;
	uint32_t id = compiler.next_id++;
	compiler.add_function_opcode(function, OpLoad, {type, id, pointer});
	compiler.add_target(id, type, length);
	if (compiler.is_non_uniform(pointer)) compiler.set_non_uniform(id);
	return id;
}

void ExpressionParser::store(uint32_t pointer, uint32_t value) {
	compiler.add_function_opcode(function, OpStore, {pointer, value});
}

void ExpressionParser::write(uint32_t pointer, const Array<uint32_t> &mask, uint32_t value) {
	// a bool goes into a bool member as the integer that holds it
	uint32_t pointee = compiler.get_target_flags(compiler.get_target_type(pointer));
	if ((flags_of(value) & Compiler::TypeKindMask) == Compiler::TypeBool && (pointee & Compiler::TypeKindMask) == Compiler::TypeUint) {
		value = convert(value, (flags_of(value) & ~(Compiler::TypeKindMask | Compiler::TypeWidthMask)) | (pointee & (Compiler::TypeKindMask | Compiler::TypeWidthMask)));
	}
	if (mask.size() == 0) {
		store(pointer, value);
		return;
	}
	// the new components merged into the old vector: the new value's
	// components come first, as many as the mask, or the whole repeated
	// vector for one component, so that one shuffle serves every mask
	uint32_t type = compiler.get_target_type(pointer);
	uint32_t old = load(pointer);
	uint32_t size = Compiler::get_vector_size(compiler.get_target_flags(type));
	uint32_t given = mask.size() == 1 ? size : mask.size();
	Array<uint32_t> merge;
	for (uint32_t i = 0; i < size; i++) merge.append(given + i);
	for (uint32_t i = 0; i < mask.size(); i++) merge[mask[i]] = i;
	if (mask.size() == 1) value = compiler.add_splat(function, type, value);
	uint32_t merged = result_id(type);
	compiler.add_function_opcode(function, OpVectorShuffle, {type, merged, value, old}, merge);
	store(pointer, merged);
}

// operands of two-operand operators: literal text takes the other side's type
// unless its own kind ranks higher; then kind and width are made equal
void ExpressionParser::unify(Operand &a, Operand &b) {
	if (a.id == ~0u && b.id != ~0u) {
		uint32_t other = flags_of(b.id);
		if (literal_kind(a.text) && kind_rank(literal_kind(a.text)) <= kind_rank(other) && (other & Compiler::TypeKindMask)) {
			resolve(a, Compiler::get_type_name(scalar_flags(other)));
		}
	}
	if (b.id == ~0u && a.id != ~0u) {
		uint32_t other = flags_of(a.id);
		if (literal_kind(b.text) && kind_rank(literal_kind(b.text)) <= kind_rank(other) && (other & Compiler::TypeKindMask)) {
			resolve(b, Compiler::get_type_name(scalar_flags(other)));
		}
	}
	resolve(a, String());
	resolve(b, String());
	uint32_t fa = flags_of(a.id);
	uint32_t fb = flags_of(b.id);
	if ((fa | fb) & (Compiler::TypeStructure | Compiler::TypeRuntimeArray)) return;
	uint32_t kind = kind_rank(fa) >= kind_rank(fb) ? (fa & Compiler::TypeKindMask) : (fb & Compiler::TypeKindMask);
	uint32_t width = width_rank(fa) >= width_rank(fb) ? (fa & Compiler::TypeWidthMask) : (fb & Compiler::TypeWidthMask);
	auto target = [&](uint32_t flags) { return (flags & ~(Compiler::TypeKindMask | Compiler::TypeWidthMask)) | kind | width; };
	if ((fa & Compiler::TypeKindMask) && (fa & (Compiler::TypeKindMask | Compiler::TypeWidthMask)) != (kind | width)) a.id = convert(a.id, target(fa));
	if ((fb & Compiler::TypeKindMask) && (fb & (Compiler::TypeKindMask | Compiler::TypeWidthMask)) != (kind | width)) b.id = convert(b.id, target(fb));
}

uint32_t scalar_flags(uint32_t flags) {
	return (flags & (Compiler::TypeKindMask | Compiler::TypeWidthMask)) | Compiler::TypeScalar;
}

// the operator at the cursor, with its precedence; Unknown when none
Kind ExpressionParser::peek_binary(uint32_t &size) const {
	const char *p = skip_spaces(s);
	char c = p[0];
	if (c == '\0') return Unknown;
	char d = p[1];
	size = 2;
	switch (c) {
	case '|':
		if (d == '|') return LogicalOr;
		if (d == '=') return Unknown;
		size = 1;
		return BitwiseOr;
	case '&':
		if (d == '&') return LogicalAnd;
		if (d == '=') return Unknown;
		size = 1;
		return BitwiseAnd;
	case '^':
		if (d == '^') return LogicalXor;
		if (d == '=') return Unknown;
		size = 1;
		return BitwiseXor;
	case '=':
		if (d == '=') return Equal;
		return Unknown;
	case '!':
		if (d == '=') return NotEqual;
		return Unknown;
	case '<':
		if (d == '<') return p[2] == '=' ? Unknown : ShiftLeft;
		if (d == '=') return LessEqual;
		size = 1;
		return LessThan;
	case '>':
		if (d == '>') return p[2] == '=' ? Unknown : ShiftRight;
		if (d == '=') return GreaterEqual;
		size = 1;
		return GreaterThan;
	case '+':
		if (d == '=' || d == '+') return Unknown;
		size = 1;
		return Add;
	case '-':
		if (d == '=' || d == '-') return Unknown;
		size = 1;
		return Sub;
	case '*':
		if (d == '=') return Unknown;
		size = 1;
		return Mul;
	case '/':
		if (d == '=') return Unknown;
		size = 1;
		return Div;
	case '%':
		if (d == '=') return Unknown;
		size = 1;
		return Mod;
	default: return Unknown;
	}
}

uint32_t precedence(Kind kind) {
	switch (kind) {
	case Mul:
	case Div:
	case Mod: return 13;
	case Add:
	case Sub: return 12;
	case ShiftLeft:
	case ShiftRight: return 11;
	case LessThan:
	case GreaterThan:
	case LessEqual:
	case GreaterEqual: return 10;
	case Equal:
	case NotEqual: return 9;
	case BitwiseAnd: return 8;
	case BitwiseXor: return 7;
	case BitwiseOr: return 6;
	case LogicalAnd: return 5;
	case LogicalXor: return 4;
	case LogicalOr: return 3;
	default: return 0;
	}
}

Operand ExpressionParser::parse_assignment() {
	Compiler::DepthGuard guard(compiler);
	Operand left = parse_conditional();
	const char *p = skip_spaces(s);
	Kind op = Unknown;
	uint32_t size = 0;
	if (p[0] == '=' && p[1] != '=') {
		op = Assign;
		size = 1;
	} else {
		static const struct {
			const char *text;
			Kind kind;
		} compound[] = {{"<<=", ShiftLeft}, {">>=", ShiftRight}, {"*=", Mul}, {"/=", Div}, {"%=", Mod}, {"+=", Add}, {"-=", Sub},
			{"&=", BitwiseAnd}, {"^=", BitwiseXor}, {"|=", BitwiseOr}};
		for (const auto &row : compound) {
			size_t length = strlen(row.text);
			if (strncmp(p, row.text, length) == 0) {
				op = row.kind;
				size = uint32_t(length);
				break;
			}
		}
	}
	if (op == Unknown) return left;
	if (left.pointer == ~0u) throwError("invalid target for %s operator\n", type_names[Assign]);
	compiler.check_write(left.variable);
	s = p + size;
	Operand right = parse_assignment();
	uint32_t type = compiler.get_target_type(left.id);
	uint32_t value = ~0u;
	if (op == Assign) {
		value = fit(resolve(right, type_name_of(left.id)), type);
	} else {
		Operand old = left;
		Operand result = binary(op, old, right);
		value = fit(resolve(result, type_name_of(left.id)), type);
	}
	write(left.pointer, left.mask, value);
	Operand ret;
	ret.id = value;
	return ret;
}

Operand ExpressionParser::parse_conditional() {
	Operand condition = parse_binary(3);
	const char *p = skip_spaces(s);
	if (*p != '?') return condition;
	s = p + 1;
	uint32_t condition_id = resolve(condition, String("b32"));
	uint32_t condition_flags = flags_of(condition_id);
	if ((condition_flags & (Compiler::TypeUint | Compiler::TypeInt)) && !(condition_flags & (Compiler::TypeFloat | Compiler::TypeMatrixMask | Compiler::TypeStructure | Compiler::TypeRuntimeArray))) {
		condition_id = convert(condition_id, (condition_flags & ~(Compiler::TypeKindMask | Compiler::TypeWidthMask)) | Compiler::TypeBool | Compiler::Type32);
		condition_flags = flags_of(condition_id);
	}
	if ((condition_flags & Compiler::TypeKindMask) != Compiler::TypeBool) {
		throwError("invalid operator %s for %s condition\n", type_names[Select], type_name_of(condition_id).get());
	}

	// both branches apart, to see what they do
	uint32_t last = function.last_opcode;
	if (last >= OpBranch && last <= OpUnreachable) function.last_opcode = OpLabel;
	uint32_t mark = function.code.size();
	Operand a = parse_assignment();
	p = skip_spaces(s);
	if (*p != ':') throwError("expecting '%c'\n", ':');
	s = p + 1;
	Segment code_a = detach(function, mark, function.last_opcode);
	Operand b = parse_assignment();
	Segment code_b = detach(function, mark, last);
	function.last_opcode = last;

	// the structured branches of a selection on a scalar condition: each
	// side's code and what follows it, then the merge
	auto branches = [&](auto &&then_side, auto &&else_side) {
		uint32_t then_label = compiler.next_id++;
		uint32_t else_label = compiler.next_id++;
		uint32_t merge_label = compiler.next_id++;
		compiler.add_function_opcode(function, OpSelectionMerge, {merge_label, 0});
		compiler.add_function_opcode(function, OpBranchConditional, {condition_id, then_label, else_label});
		compiler.add_function_opcode(function, OpLabel, {then_label});
		then_side();
		compiler.add_function_opcode(function, OpBranch, {merge_label});
		compiler.add_function_opcode(function, OpLabel, {else_label});
		else_side();
		compiler.add_function_opcode(function, OpBranch, {merge_label});
		compiler.add_function_opcode(function, OpLabel, {merge_label});
	};

	// void operands (calls of void functions) only branch and call: the
	// result is a value of no type, which no use takes
	bool void_a = a.id != ~0u && type_name_of(a.id) == "void";
	bool void_b = b.id != ~0u && type_name_of(b.id) == "void";
	if (void_a || void_b) {
		if (!void_a || !void_b) throwError("invalid operator %s for void and non-void operands\n", type_names[Select]);
		if (!(condition_flags & Compiler::TypeScalar)) throwError("invalid operator %s for void with %s condition\n", type_names[Select], type_name_of(condition_id).get());
		uint32_t void_type = compiler.get_target_type(a.id);
		if (const Value *c = compiler.constants.get(condition_id)) {
			attach(function, c->get_bool(0) ? code_a : code_b);
			Operand ret;
			ret.id = result_id(void_type);
			return ret;
		}
		branches([&] { attach(function, code_a); }, [&] { attach(function, code_b); });
		Operand ret;
		ret.id = result_id(void_type);
		return ret;
	}

	// the type of the result: a branch of text takes the other's
	uint32_t type = ~0u;
	if (a.id == ~0u && b.id == ~0u) {
		Operand x = a;
		Operand y = b;
		unify(x, y);
		type = compiler.get_target_type(x.id);
	} else {
		uint32_t known = (a.id != ~0u) ? a.id : b.id;
		uint32_t other = (a.id != ~0u) ? b.id : a.id;
		uint32_t flags = flags_of(known);
		if (other != ~0u && kind_rank(flags_of(other)) > kind_rank(flags) && !(flags & (Compiler::TypeStructure | Compiler::TypeRuntimeArray))) {
			flags = (flags & ~(Compiler::TypeKindMask | Compiler::TypeWidthMask)) | (flags_of(other) & (Compiler::TypeKindMask | Compiler::TypeWidthMask));
			type = compiler.add_type(flags);
		} else {
			type = compiler.get_target_type(known);
		}
	}
	uint32_t flags = compiler.get_target_flags(type);
	bool selectable = (flags & (Compiler::TypeScalar | Compiler::TypeVectorMask)) && !(flags & (Compiler::TypeMatrixMask | Compiler::TypeStructure | Compiler::TypeRuntimeArray));

	if (selectable && !has_effects(compiler, code_a) && !has_effects(compiler, code_b)) {
		attach(function, code_a);
		uint32_t x = fit(resolve(a, compiler.get_target_type_name(type)), type);
		attach(function, code_b);
		uint32_t y = fit(resolve(b, compiler.get_target_type_name(type)), type);
		if ((condition_flags & Compiler::TypeScalar) && (flags & Compiler::TypeVectorMask)) {
			condition_id = compiler.add_splat(function, compiler.add_type((flags & ~(Compiler::TypeKindMask | Compiler::TypeWidthMask)) | Compiler::TypeBool), condition_id);
		} else if ((condition_flags & ~(Compiler::TypeKindMask | Compiler::TypeWidthMask)) != (flags & ~(Compiler::TypeKindMask | Compiler::TypeWidthMask | Compiler::TypeRowMajor))) {
			throwError("invalid operator %s for %s and %s with %s condition\n", type_names[Select], type_name_of(x).get(), type_name_of(y).get(),
				type_name_of(condition_id).get());
		}
		// a constant condition, one value in every component, selects a side
		if (const Value *c = compiler.constants.get(condition_id)) {
			if (c->count >= 1 && c->is_uniform()) {
				Operand ret;
				ret.id = c->get_bool(0) ? x : y;
				return ret;
			}
		}
		Operand ret;
		ret.id = result_id(type);
		compiler.add_function_opcode(function, OpSelect, {type, ret.id, condition_id, x, y});
		return ret;
	}

	// structured branches that store the selected value
	if (!(condition_flags & Compiler::TypeScalar)) {
		throwError("invalid operator %s for %s and %s with %s condition\n", type_names[Select], compiler.get_target_type_name(type).get(),
			compiler.get_target_type_name(type).get(), type_name_of(condition_id).get());
	}
	uint32_t length = a.id != ~0u ? compiler.get_target_length(a.id) : b.id != ~0u ? compiler.get_target_length(b.id) : ~0u;
	uint32_t temporary = local_variable(type, length);
	branches(
		[&] {
			attach(function, code_a);
			store(temporary, fit(resolve(a, compiler.get_target_type_name(type)), type));
		},
		[&] {
			attach(function, code_b);
			store(temporary, fit(resolve(b, compiler.get_target_type_name(type)), type));
		});
	Operand ret;
	ret.id = load(temporary);
	return ret;
}

Operand ExpressionParser::parse_binary(uint32_t minimum) {
	Compiler::DepthGuard guard(compiler);
	Operand left = parse_unary();
	for (;;) {
		uint32_t size = 0;
		Kind op = peek_binary(size);
		if (op == Unknown || precedence(op) < minimum) return left;
		s = skip_spaces(s) + size;
		if (op == LogicalAnd || op == LogicalOr) {
			left = logical(op, left, precedence(op) + 1);
			continue;
		}
		if (op == LogicalXor) {
			// both sides always run: a bool that differs
			uint32_t bool_type = compiler.add_type("b32");
			uint32_t a = fit(resolve(left, String("b32")), bool_type);
			Operand right = parse_binary(precedence(op) + 1);
			uint32_t b = fit(resolve(right, String("b32")), bool_type);
			left = Operand();
			left.id = compiler.add_binary_operation(function, 165, bool_type, a, b); // OpLogicalNotEqual
			continue;
		}
		Operand right = parse_binary(precedence(op) + 1);
		left = binary(op, left, right);
	}
}

// && and ||: the right operand runs only when the left one does not decide
Operand ExpressionParser::logical(Kind op, Operand &left, uint32_t minimum) {
	uint32_t a = resolve(left, String("b32"));
	if (flags_of(a) != (Compiler::TypeBool | Compiler::Type32 | Compiler::TypeScalar) && (flags_of(a) & Compiler::TypeKindMask) != Compiler::TypeBool) {
		a = convert(a, Compiler::TypeBool | Compiler::TypeScalar | Compiler::Type32);
	}
	uint32_t last = function.last_opcode;
	if (last >= OpBranch && last <= OpUnreachable) function.last_opcode = OpLabel;
	uint32_t mark = function.code.size();
	Operand right = parse_binary(minimum);
	Segment code = detach(function, mark, last);
	function.last_opcode = last;
	uint32_t bool_type = compiler.add_type("b32");
	if ((flags_of(a) & Compiler::TypeScalar) == 0) throwError("invalid operator %s for %s\n", type_names[op], type_name_of(a).get());

	// a constant left operand decides alone, or leaves the right one
	if (const Value *value = compiler.constants.get(a)) {
		bool decided = (op == LogicalAnd) ? !value->get_bool(0) : value->get_bool(0);
		Operand ret;
		if (decided) {
			ret.id = a;
			return ret;
		}
		attach(function, code);
		ret.id = fit(resolve(right, String("b32")), bool_type);
		return ret;
	}
	if (!has_effects(compiler, code)) {
		attach(function, code);
		uint32_t b = fit(resolve(right, String("b32")), bool_type);
		Operand ret;
		ret.id = compiler.add_binary_operation(function, op == LogicalAnd ? OpLogicalAnd : OpLogicalOr, bool_type, a, b);
		return ret;
	}
	uint32_t temporary = local_variable(bool_type);
	store(temporary, a);
	uint32_t right_label = compiler.next_id++;
	uint32_t merge_label = compiler.next_id++;
	compiler.add_function_opcode(function, OpSelectionMerge, {merge_label, 0});
	if (op == LogicalAnd) compiler.add_function_opcode(function, OpBranchConditional, {a, right_label, merge_label});
	else compiler.add_function_opcode(function, OpBranchConditional, {a, merge_label, right_label});
	compiler.add_function_opcode(function, OpLabel, {right_label});
	attach(function, code);
	store(temporary, fit(resolve(right, String("b32")), bool_type));
	compiler.add_function_opcode(function, OpBranch, {merge_label});
	compiler.add_function_opcode(function, OpLabel, {merge_label});
	Operand ret;
	ret.id = load(temporary);
	return ret;
}

Operand ExpressionParser::parse_unary() {
	Compiler::DepthGuard guard(compiler);
	const char *p = skip_spaces(s);
	if ((p[0] == '+' && p[1] == '+') || (p[0] == '-' && p[1] == '-')) {
		s = p + 2;
		Operand operand = parse_unary();
		return increment(p[0] == '+' ? PreIncrement : PreDecrement, operand);
	}
	if (p[0] == '-' || p[0] == '+' || p[0] == '!' || p[0] == '~') {
		s = p + 1;
		Operand operand = parse_unary();
		if (p[0] == '+') {
			Operand ret;
			ret.id = operand.id;
			ret.text = operand.text;
			return ret;
		}
		return unary(p[0] == '-' ? Negate : p[0] == '!' ? LogicalNot : BitwiseNot, operand);
	}
	Operand operand = parse_postfix(parse_primary());
	p = skip_spaces(s);
	while ((p[0] == '+' && p[1] == '+') || (p[0] == '-' && p[1] == '-')) {
		s = p + 2;
		operand = increment(p[0] == '+' ? PostIncrement : PostDecrement, operand);
		p = skip_spaces(s);
	}
	return operand;
}

Operand ExpressionParser::increment(Kind kind, Operand &operand) {
	if (operand.pointer == ~0u || operand.id == ~0u) throwError("invalid target for %s operator\n", type_names[kind]);
	compiler.check_write(operand.variable);
	uint32_t flags = flags_of(operand.id);
	uint32_t type = compiler.get_target_type(operand.id);
	uint32_t opcode = 0;
	bool add = (kind == PreIncrement || kind == PostIncrement);
	if ((flags & (Compiler::TypeUint | Compiler::TypeInt)) && !(flags & Compiler::TypeFloat)) opcode = add ? OpIAdd : OpISub;
	else if (flags & Compiler::TypeFloat) opcode = add ? OpFAdd : OpFSub;
	if (opcode == 0 || (flags & (Compiler::TypeMatrixMask | Compiler::TypeStructure | Compiler::TypeRuntimeArray))) {
		throwError("invalid operator %s for %s\n", type_names[kind], type_name_of(operand.id).get());
	}
	Value one(scalar_flags(flags), 1);
	if (flags & Compiler::TypeFloat) one.set_f64(0, 1.0);
	else one.set_u64(0, 1);
	uint32_t constant = compiler.add_constant(Compiler::get_type_name(scalar_flags(flags)), one);
	if (flags & Compiler::TypeVectorMask) constant = compiler.add_splat(function, type, constant);
	uint32_t id = result_id(type);
	compiler.add_function_opcode(function, opcode, {type, id, operand.id, constant});
	write(operand.pointer, operand.mask, id);
	Operand ret;
	bool pre = (kind == PreIncrement || kind == PreDecrement);
	ret.id = pre ? id : operand.id;
	if (pre) {
		ret.pointer = operand.pointer;
		ret.variable = operand.variable;
		ret.mask = operand.mask;
	}
	return ret;
}

Operand ExpressionParser::unary(Kind kind, Operand &operand) {
	Operand ret;
	if (operand.id == ~0u) {
		// constant text folds to text of the folded value
		Value value;
		compiler.parse_constant_expression(value, operand.text.get(), scope, true);
		uint32_t opcode = 0;
		uint32_t k = value.flags & Compiler::TypeKindMask;
		if (kind == Negate && (k & Compiler::TypeFloat)) opcode = OpFNegate;
		else if (kind == Negate && (k & (Compiler::TypeUint | Compiler::TypeInt))) opcode = OpSNegate;
		else if (kind == BitwiseNot && (k & (Compiler::TypeUint | Compiler::TypeInt)) && !(k & Compiler::TypeFloat)) opcode = OpNot;
		else if (kind == LogicalNot && k == Compiler::TypeBool) opcode = OpLogicalNot;
		if (opcode == 0) throwError("unknown operator %s for \"%s\" constant\n", type_names[kind], compiler.get_constant_string(value, true).get());
		Value folded = value.unary_operation(opcode, 0);
		// the negation of an unsigned constant stays unsigned: -3u is 4294967293u
		if (opcode == OpSNegate && (k & Compiler::TypeUint) && folded.count != 0) folded = folded.bit_cast(value.flags);
		if (folded.count == 0) throwError("unknown operator %s for \"%s\" constant\n", type_names[kind], compiler.get_constant_string(value, true).get());
		ret.text = compiler.get_constant_string(folded, true);
		// a negated float literal keeps every digit it was written with,
		// which a double reads; a float rounds the text as it rounds the literal
		bool literal = value.count == 1 && (value.flags & Compiler::TypeScalar) && (value.flags & Compiler::TypeWidthMask) == Compiler::Type32;
		if (opcode == OpFNegate && literal && std::isfinite(value.get_f64(0)) && value.get_f64(0) != 0.0) {
			ret.text = Compiler::get_float_text(-value.get_f64(0));
		}
		return ret;
	}
	uint32_t flags = flags_of(operand.id);
	// a bool held as an integer (a member) is tested as a bool
	if (kind == LogicalNot && (flags & (Compiler::TypeUint | Compiler::TypeInt)) && !(flags & Compiler::TypeFloat) &&
		(flags & (Compiler::TypeScalar | Compiler::TypeVectorMask)) && !(flags & (Compiler::TypeMatrixMask | Compiler::TypeStructure | Compiler::TypeRuntimeArray))) {
		operand.id = convert(operand.id, (flags & ~(Compiler::TypeKindMask | Compiler::TypeWidthMask)) | Compiler::TypeBool | Compiler::Type32);
		flags = flags_of(operand.id);
	}
	uint32_t type = compiler.get_target_type(operand.id);
	uint32_t opcode = 0;
	if (kind == Negate && (flags & Compiler::TypeFloat)) opcode = OpFNegate;
	else if (kind == Negate && (flags & (Compiler::TypeUint | Compiler::TypeInt))) opcode = OpSNegate;
	else if (kind == BitwiseNot && (flags & (Compiler::TypeUint | Compiler::TypeInt)) && !(flags & Compiler::TypeFloat)) opcode = OpNot;
	else if (kind == LogicalNot && (flags & Compiler::TypeKindMask) == Compiler::TypeBool) opcode = OpLogicalNot;
	bool shaped = (flags & (Compiler::TypeScalar | Compiler::TypeVectorMask)) && !(flags & (Compiler::TypeStructure | Compiler::TypeRuntimeArray));
	if (opcode == 0 || !shaped) throwError("invalid operator %s for %s\n", type_names[kind], type_name_of(operand.id).get());
	if (flags & Compiler::TypeMatrixMask) {
		// a matrix column by column
		ret.id = by_columns(type, operand.id, ~0u, [&](uint32_t column_type, uint32_t x, uint32_t) {
			return compiler.add_unary_operation(function, opcode, column_type, x);
		});
		return ret;
	}
	ret.id = compiler.add_unary_operation(function, opcode, type, operand.id);
	return ret;
}

uint32_t ExpressionParser::equal_values(uint32_t a, uint32_t b, uint32_t &budget) {
	uint32_t type = compiler.get_target_type(a);
	uint32_t flags = flags_of(a);
	uint32_t length = compiler.get_target_length(a);
	Array<uint32_t> parts;
	Array<uint32_t> lengths; // of parts that are arrays themselves
	if (flags & Compiler::TypeRuntimeArray) {
		if (length == 0 || length == ~0u) throwError("invalid operator %s for %s and %s\n", type_names[Equal], type_name_of(a).get(), type_name_of(b).get());
		uint32_t element = compiler.get_target_type(type);
		for (uint32_t i = 0; i < length && parts.size() <= budget; i++) {
			parts.append(element);
			lengths.append(~0u);
		}
	} else if (flags & Compiler::TypeStructure) {
		const Compiler::Structure &structure = compiler.structures[compiler.get_structure(type)];
		for (uint32_t i = 0; i < structure.members.size(); i++) {
			uint32_t member = compiler.variables[structure.members[i]].id;
			parts.append(compiler.get_target_type(member));
			lengths.append(compiler.get_target_length(member));
		}
	} else if (flags & Compiler::TypeMatrixMask) {
		uint32_t column = compiler.add_type(flags & ~uint32_t(Compiler::TypeMatrixMask | Compiler::TypeRowMajor));
		for (uint32_t i = 0; i < Compiler::get_column_count(flags); i++) {
			parts.append(column);
			lengths.append(~0u);
		}
	} else {
		Operand x;
		Operand y;
		x.id = a;
		y.id = b;
		return binary(Equal, x, y).id;
	}
	// each part costs instructions: huge arrays are refused, not unrolled
	if (parts.size() > budget) throwError("can't compare %s values: they have more than %u parts\n", type_name_of(a).get(), max_compared_parts);
	budget -= parts.size();
	uint32_t bool_type = compiler.add_type("b32");
	uint32_t ret = ~0u;
	for (uint32_t i = 0; i < parts.size(); i++) {
		uint32_t x = compiler.next_id++;
		compiler.add_function_opcode(function, OpCompositeExtract, {parts[i], x, a, i});
		compiler.add_target(x, parts[i], lengths[i]);
		uint32_t y = compiler.next_id++;
		compiler.add_function_opcode(function, OpCompositeExtract, {parts[i], y, b, i});
		compiler.add_target(y, parts[i], lengths[i]);
		uint32_t equal = equal_values(x, y, budget);
		ret = (ret == ~0u) ? equal : compiler.add_binary_operation(function, OpLogicalAnd, bool_type, ret, equal);
	}
	return ret;
}

uint32_t ExpressionParser::by_columns(uint32_t type, uint32_t a, uint32_t b, const std::function<uint32_t(uint32_t, uint32_t, uint32_t)> &operation) {
	uint32_t flags = compiler.get_target_flags(type);
	uint32_t columns = Compiler::get_column_count(flags);
	uint32_t column_type = compiler.add_type(flags & ~uint32_t(Compiler::TypeMatrixMask | Compiler::TypeRowMajor));
	Array<uint32_t> parts;
	for (uint32_t i = 0; i < columns; i++) {
		Array<uint32_t> index;
		index.append(i);
		uint32_t x = compiler.add_shuffle(function, column_type, a, index);
		uint32_t y = ~0u;
		if (b != ~0u) {
			uint32_t b_flags = flags_of(b);
			y = (b_flags & Compiler::TypeMatrixMask) ? compiler.add_shuffle(function, column_type, b, index) : compiler.add_splat(function, column_type, b);
		}
		parts.append(operation(column_type, x, y));
	}
	bool constant = true;
	for (uint32_t i = 0; i < parts.size() && constant; i++) constant = compiler.constants.get(parts[i]) != nullptr;
	if (constant) {
		Value value;
		for (uint32_t i = 0; i < parts.size(); i++) value.append(*compiler.constants.get(parts[i]));
		return compiler.add_constant(compiler.get_target_type_name(type), value);
	}
	uint32_t id = result_id(type);
	compiler.add_function_opcode(function, OpCompositeConstruct, {type, id}, parts);
	return id;
}

Operand ExpressionParser::binary(Kind op, Operand &left, Operand &right) {
	Operand ret;
	if (op == ShiftLeft || op == ShiftRight) {
		// the base keeps its type; the count may be of another integer type
		if (left.id == ~0u && right.id == ~0u) {
			resolve(left, String());
		} else if (left.id == ~0u) {
			resolve(left, String());
		}
		uint32_t a = left.id;
		uint32_t fa = flags_of(a);
		if (right.id == ~0u) resolve(right, Compiler::get_type_name(scalar_flags(fa) & ~Compiler::TypeFloat));
		uint32_t b = right.id;
		uint32_t fb = flags_of(b);
		bool integers = (fa & (Compiler::TypeUint | Compiler::TypeInt)) && !(fa & (Compiler::TypeFloat | Compiler::TypeMatrixMask)) &&
			(fb & (Compiler::TypeUint | Compiler::TypeInt)) && !(fb & (Compiler::TypeFloat | Compiler::TypeMatrixMask));
		if (!integers || (fa & (Compiler::TypeStructure | Compiler::TypeRuntimeArray)) || (fb & (Compiler::TypeStructure | Compiler::TypeRuntimeArray))) {
			throwError("invalid operator %s for %s and %s\n", type_names[op], type_name_of(a).get(), type_name_of(b).get());
		}
		uint32_t type = compiler.get_target_type(a);
		if ((fb & Compiler::TypeScalar) && (fa & Compiler::TypeVectorMask)) {
			b = compiler.add_splat(function, compiler.add_type((fa & ~(Compiler::TypeKindMask | Compiler::TypeWidthMask)) | (fb & (Compiler::TypeKindMask | Compiler::TypeWidthMask))), b);
		} else if ((fb & Compiler::TypeVectorMask) != (fa & Compiler::TypeVectorMask)) {
			throwError("invalid operator %s for %s and %s\n", type_names[op], type_name_of(a).get(), type_name_of(b).get());
		}
		uint32_t opcode = (op == ShiftLeft) ? OpShiftLeftLogical : (fa & Compiler::TypeInt) ? OpShiftRightArithmetic : OpShiftRightLogical;
		ret.id = compiler.add_binary_operation(function, opcode, type, a, b);
		return ret;
	}

	unify(left, right);
	uint32_t a = left.id;
	uint32_t b = right.id;
	uint32_t fa = flags_of(a);
	uint32_t fb = flags_of(b);
	auto invalid = [&]() {
		throwError("invalid operator %s for %s and %s\n", type_names[op], type_name_of(a).get(), type_name_of(b).get());
	};
	// structures, arrays and matrices are equal when all their parts are
	if ((op == Equal || op == NotEqual) && ((fa | fb) & (Compiler::TypeStructure | Compiler::TypeRuntimeArray | Compiler::TypeMatrixMask))) {
		if (compiler.get_target_type(a) != compiler.get_target_type(b) || compiler.get_target_length(a) != compiler.get_target_length(b)) invalid();
		uint32_t budget = max_compared_parts;
		ret.id = equal_values(a, b, budget);
		if (op == NotEqual) ret.id = compiler.add_unary_operation(function, OpLogicalNot, compiler.add_type("b32"), ret.id);
		return ret;
	}
	if ((fa | fb) & (Compiler::TypeStructure | Compiler::TypeRuntimeArray)) invalid();
	if (!(fa & (Compiler::TypeScalar | Compiler::TypeVectorMask)) || !(fb & (Compiler::TypeScalar | Compiler::TypeVectorMask))) invalid();
	uint32_t kind = fa & Compiler::TypeKindMask;
	bool is_float = kind == Compiler::TypeFloat;
	bool is_bool = kind == Compiler::TypeBool;
	bool is_signed = kind == Compiler::TypeInt;
	bool matrix_a = (fa & Compiler::TypeMatrixMask) != 0;
	bool matrix_b = (fb & Compiler::TypeMatrixMask) != 0;

	// products of floats
	if (op == Mul && is_float && (matrix_a || matrix_b || ((fa & Compiler::TypeScalar) != (fb & Compiler::TypeScalar)))) {
		auto rows_of = [](uint32_t f) { return Compiler::get_vector_size(f); };
		auto columns_of = [](uint32_t f) { return Compiler::get_column_count(f); };
		auto vector_bits = [](uint32_t size) -> uint32_t { return size == 2 ? Compiler::TypeVector2 : size == 3 ? Compiler::TypeVector3 : Compiler::TypeVector4; };
		auto matrix_bits = [](uint32_t size) -> uint32_t { return size == 2 ? Compiler::TypeMatrix2 : size == 3 ? Compiler::TypeMatrix3 : Compiler::TypeMatrix4; };
		uint32_t base = fa & (Compiler::TypeKindMask | Compiler::TypeWidthMask);
		uint32_t opcode = 0;
		uint32_t type = ~0u;
		uint32_t x = a;
		uint32_t y = b;
		bool vector_a = !matrix_a && (fa & Compiler::TypeVectorMask);
		bool vector_b = !matrix_b && (fb & Compiler::TypeVectorMask);
		bool scalar_a = (fa & Compiler::TypeScalar) != 0;
		bool scalar_b = (fb & Compiler::TypeScalar) != 0;
		if (matrix_a && matrix_b) {
			if (columns_of(fa) != rows_of(fb)) invalid();
			opcode = OpMatrixTimesMatrix;
			type = compiler.add_type(base | vector_bits(rows_of(fa)) | matrix_bits(columns_of(fb)));
		} else if (matrix_a && vector_b) {
			if (columns_of(fa) != rows_of(fb)) invalid();
			opcode = OpMatrixTimesVector;
			type = compiler.add_type(base | vector_bits(rows_of(fa)));
		} else if (vector_a && matrix_b) {
			if (rows_of(fa) != rows_of(fb)) invalid();
			opcode = OpVectorTimesMatrix;
			type = compiler.add_type(base | vector_bits(columns_of(fb)));
		} else if (matrix_a && scalar_b) {
			opcode = OpMatrixTimesScalar;
			type = compiler.get_target_type(a);
		} else if (vector_a && scalar_b) {
			opcode = OpVectorTimesScalar;
			type = compiler.get_target_type(a);
		} else if (scalar_a && matrix_b) {
			opcode = OpMatrixTimesScalar;
			type = compiler.get_target_type(b);
			x = b;
			y = a;
		} else if (scalar_a && vector_b) {
			opcode = OpVectorTimesScalar;
			type = compiler.get_target_type(b);
			x = b;
			y = a;
		} else {
			invalid();
		}
		ret.id = compiler.add_binary_operation(function, opcode, type, x, y);
		return ret;
	}

	// a scalar meets a vector or matrix: it is repeated
	if ((fa & Compiler::TypeScalar) && !(fb & Compiler::TypeScalar)) {
		if (matrix_b) {
			// matrix arithmetic goes by columns below
		} else {
			a = compiler.add_splat(function, compiler.get_target_type(b), a);
			fa = flags_of(a);
		}
	} else if ((fb & Compiler::TypeScalar) && !(fa & Compiler::TypeScalar) && !matrix_a) {
		b = compiler.add_splat(function, compiler.get_target_type(a), b);
		fb = flags_of(b);
	}

	// the opcode by the operands' kind: float, unsigned, signed, bool (0: none)
	auto pick = [&](uint32_t f, uint32_t u, uint32_t i, uint32_t l) { return is_float ? f : is_bool ? l : is_signed ? i : u; };
	uint32_t opcode = 0;
	bool comparison = false;
	switch (op) {
	case Mul: opcode = pick(OpFMul, OpIMul, OpIMul, 0); break;
	case Div: opcode = pick(OpFDiv, OpUDiv, OpSDiv, 0); break;
	case Mod: opcode = pick(0, OpUMod, OpSMod, 0); break;
	case Add: opcode = pick(OpFAdd, OpIAdd, OpIAdd, 0); break;
	case Sub: opcode = pick(OpFSub, OpISub, OpISub, 0); break;
	case LessThan: opcode = pick(OpFOrdLessThan, OpULessThan, OpSLessThan, 0); comparison = true; break;
	case GreaterThan: opcode = pick(186, OpUGreaterThan, OpSGreaterThan, 0); comparison = true; break;
	case LessEqual: opcode = pick(188, OpULessThanEqual, OpSLessThanEqual, 0); comparison = true; break;
	case GreaterEqual: opcode = pick(190, OpUGreaterThanEqual, OpSGreaterThanEqual, 0); comparison = true; break;
	case Equal: opcode = pick(180, 170, 170, 164); comparison = true; break;
	case NotEqual: opcode = pick(OpFOrdNotEqual, OpINotEqual, OpINotEqual, 165); comparison = true; break;
	case BitwiseAnd: opcode = pick(0, OpBitwiseAnd, OpBitwiseAnd, 0); break;
	case BitwiseXor: opcode = pick(0, OpBitwiseXor, OpBitwiseXor, 0); break;
	case BitwiseOr: opcode = pick(0, OpBitwiseOr, OpBitwiseOr, 0); break;
	default: break;
	}
	if (opcode == 0) invalid();
	// GLSL's inequality of floats is true for NaN operands
	if (op == NotEqual && is_float) opcode = 183; // OpFUnordNotEqual

	if (matrix_a || matrix_b) {
		// + - / of matrices, and with scalars, go column by column
		if (comparison || op == Mul || op == Mod || !is_float) invalid();
		if (matrix_a && matrix_b && compiler.get_target_type(a) != compiler.get_target_type(b)) invalid();
		uint32_t matrix = matrix_a ? a : b;
		uint32_t type = compiler.get_target_type(matrix);
		bool swapped = !matrix_a;
		ret.id = by_columns(type, matrix, matrix_a ? b : a, [&](uint32_t column_type, uint32_t x, uint32_t y) {
			return swapped ? compiler.add_binary_operation(function, opcode, column_type, y, x) : compiler.add_binary_operation(function, opcode, column_type, x, y);
		});
		return ret;
	}
	if ((fa & Compiler::TypeVectorMask) != (fb & Compiler::TypeVectorMask)) invalid();

	uint32_t type = compiler.get_target_type(a);
	if (comparison) {
		uint32_t bool_flags = (fa & ~(Compiler::TypeKindMask | Compiler::TypeWidthMask | Compiler::TypeRowMajor)) | Compiler::TypeBool | Compiler::Type32;
		type = compiler.add_type(bool_flags);
		uint32_t id = compiler.add_binary_operation(function, opcode, type, a, b);
		// vectors are equal when all components are
		if ((op == Equal || op == NotEqual) && (fa & Compiler::TypeVectorMask)) {
			uint32_t bool_type = compiler.add_type("b32");
			uint32_t reduce = (op == Equal) ? OpAll : OpAny;
			if (const Value *value = compiler.constants.get(id)) {
				bool all = true;
				bool any = false;
				for (uint32_t i = 0; i < value->count; i++) {
					all = all && value->get_bool(i);
					any = any || value->get_bool(i);
				}
				ret.id = compiler.add_constant("b32", (op == Equal ? all : any) ? 1 : 0);
				return ret;
			}
			ret.id = result_id(bool_type);
			compiler.add_function_opcode(function, reduce, {bool_type, ret.id, id});
			return ret;
		}
		ret.id = id;
		return ret;
	}
	ret.id = compiler.add_binary_operation(function, opcode, type, a, b);
	return ret;
}

} // namespace Expressions

using namespace Expressions;

uint32_t Compiler::parse_expression(const char **cursor, const String &type, Function &function, Scope *scope) {
	DepthGuard guard(*this);
	const char *s = *cursor;
	Expressions::ExpressionParser parser(*this, s, function, scope);
	Operand result = parser.parse_assignment();
	s = skip_spaces(s);
	if (*s != '\0' && *s != ',' && *s != ';') throwError("unexpected \"%s\"\n", String(s).substr(0, 32).get());
	*cursor = s;
	if (result.id == ~0u) {
		if (type.empty()) return parser.resolve(result, String());
		return parser.fit(parser.resolve(result, type), add_type(type, ~0u, &global_scope));
	}
	if (type.empty()) return result.id;
	uint32_t flags = get_target_flags(result.id);
	if (flags & (TypeStructure | TypeRuntimeArray)) return result.id;
	uint32_t expected = add_type(type, ~0u, &global_scope);
	if (get_target_type(result.id) == expected) return result.id;
	uint32_t expected_flags = get_target_flags(expected);
	if ((flags & TypeVectorMask) && (flags & TypeKindMask) == TypeBool && (expected_flags & TypeScalar) && (expected_flags & TypeKindMask) == TypeBool) {
		uint32_t id = next_id++;
		add_function_opcode(function, Spirv::OpAll, {expected, id, result.id});
		add_target(id, expected);
		return id;
	}
	return parser.fit(result.id, expected);
}

} // namespace Vexa
