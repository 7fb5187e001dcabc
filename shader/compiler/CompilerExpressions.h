// The expression parser's own types, shared by its files: operands, the
// operator kinds, detached stretches of code, and the parser object.
#pragma once

#include "shader/compiler/Compiler.h"
#include "shader/compiler/CompilerBits.h"

#include <functional>

namespace Vexa {

namespace Expressions {

// operator kinds; their names are used in messages
enum Kind : uint32_t {
	Unknown,
	Parentheses,
	ValueNode,
	Constant,
	FunctionNode,
	Internal,
	External,
	TypeNode,
	StructureNode,
	Swizzle,
	PreIncrement,
	PreDecrement,
	PostIncrement,
	PostDecrement,
	Negate,
	LogicalNot,
	BitwiseNot,
	Mul,
	Div,
	Mod,
	Add,
	Sub,
	ShiftLeft,
	ShiftRight,
	LessThan,
	GreaterThan,
	LessEqual,
	GreaterEqual,
	Equal,
	NotEqual,
	BitwiseAnd,
	BitwiseXor,
	BitwiseOr,
	LogicalAnd,
	LogicalOr,
	Select,
	Assign,
	LogicalXor,
};

extern const char *const type_names[];

// a value: a result id, or constant text while the type is open; an
// l-value also has the pointer it was loaded from
struct Operand {
	uint32_t id = ~0u;
	uint32_t pointer = ~0u;
	uint32_t variable = ~0u; // the record the pointer reaches into
	Array<uint32_t> mask;     // the components of the pointed vector a swizzle names
	String text;
};

// code compiled apart, to be placed later
struct Segment {
	Array<uint32_t> code;
	Array<uint32_t> labels;
	uint32_t last_opcode = 0;
};

using CompilerBits::skip_spaces;
using CompilerBits::starts_name;
uint32_t scalar_flags(uint32_t flags);

// the code from mark on, taken out of the function, whose last opcode
// becomes last_opcode
Segment detach(Compiler::Function &function, uint32_t mark, uint32_t last_opcode);
void attach(Compiler::Function &function, const Segment &segment);
bool has_effects(const Compiler &compiler, const Segment &segment);
// the arguments of a call, from the text between its parentheses, each as
// its operand: constant text stays open, l-values keep their pointers
Array<Operand> parse_arguments(Compiler &compiler, const char *text, Compiler::Function &function, Compiler::Scope *scope);

class ExpressionParser {
public:
	ExpressionParser(Compiler &compiler, const char *&s, Compiler::Function &function, Compiler::Scope *scope);

	Operand parse_assignment();
	Operand parse_conditional();
	Operand parse_binary(uint32_t minimum);
	Operand parse_unary();
	Operand parse_primary();
	Operand parse_postfix(Operand operand);

	// constant text made a constant of type (its own type when empty)
	uint32_t resolve(Operand &operand, const String &type);
	// an id converted to the kind and width of flags, shape kept
	uint32_t convert(uint32_t id, uint32_t flags);
	// an id made of type: converted, a scalar repeated; else an error
	uint32_t fit(uint32_t id, uint32_t type);

	Operand binary(Kind op, Operand &left, Operand &right);
	Operand unary(Kind kind, Operand &operand);
	Operand increment(Kind kind, Operand &operand);
	Operand logical(Kind op, Operand &left, uint32_t minimum);
	void unify(Operand &a, Operand &b);
	Kind peek_binary(uint32_t &size) const;

	uint32_t flags_of(uint32_t id) const;
	String type_name_of(uint32_t id) const;
	uint32_t result_id(uint32_t type);
	uint32_t local_variable(uint32_t type, uint32_t length = ~0u);
	uint32_t load(uint32_t pointer);
	void store(uint32_t pointer, uint32_t value);
	void keep_target(const Operand &operand, const Array<uint32_t> &indices, Operand &result);
	// stores a value through a pointer, into the components of a write mask when there is one
	void write(uint32_t pointer, const Array<uint32_t> &mask, uint32_t value);
	// whether two values of one type are equal, as a bool
	uint32_t equal_values(uint32_t a, uint32_t b, uint32_t &budget);
	uint32_t by_columns(uint32_t type, uint32_t a, uint32_t b, const std::function<uint32_t(uint32_t, uint32_t, uint32_t)> &operation);

	// selectors on a value: components, members, elements
	Operand swizzle(Operand &operand, const String &name);
	Operand element(Operand &operand, uint32_t index);

	Compiler &compiler;
	const char *&s;
	Compiler::Function &function;
	Compiler::Scope *scope;
};

} // namespace Expressions

} // namespace Vexa
