// The conditional expressions of the preprocessor's "if", "elif", "ifdef",
// "ifndef", "elifdef" and "elifndef" directives.
//
// An "if" expression is first macro-expanded like the text around it (except
// the operand of "defined"); a name left after that counts as 0.
// An expression is turned into a postfix list with an operator stack and the
// list is then evaluated, so deeply nested parentheses cost heap, never stack.
// The grammar is checked while tokenizing (an operand where an operator is
// expected and the reverse are refused), and the arithmetic is done in
// unsigned 32 bits so that nothing a shader writes can overflow a signed
// integer. A division by zero is an error only when its value is used: the
// untaken side of "&&" and "||" may divide by zero, as in
// "defined(N) && 64 / N > 2".
#include "shader/ShaderState.h"

#include "core/Error.h"
#include "core/Parser.h"

namespace Vexa {

namespace {

enum Kind : uint8_t {
	Value,
	Open,
	Not,
	Mul,
	Div,
	Add,
	Sub,
	Less,
	Greater,
	LessEqual,
	GreaterEqual,
	Equal,
	NotEqual,
	And,
	Or,
};

struct Token {
	Kind kind;
	int32_t value;
};

// an evaluated value; `failed` marks one that divided by zero
struct Result {
	int32_t value;
	bool failed;
};

uint32_t precedence(Kind kind, bool names) {
	if (names) {
		switch (kind) {
			case Not: return 3;
			case And: return 2;
			case Or: return 1;
			default: return 0;
		}
	}
	switch (kind) {
		case Not: return 7;
		case Mul:
		case Div: return 6;
		case Add:
		case Sub: return 5;
		case Less:
		case Greater:
		case LessEqual:
		case GreaterEqual: return 4;
		case Equal:
		case NotEqual: return 3;
		case And: return 2;
		case Or: return 1;
		default: return 0;
	}
}

inline bool is_digit(char c) {
	return c >= '0' && c <= '9';
}

// the extent of an integer literal: decimal, "0x" hexadecimal or "0b" binary
// digits, as String::toi32 reads them, and an integer suffix
uint32_t skip_integer(const char *src) {
	const char *s = src;
	if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X') && Parser::isHexDigit(s[2])) {
		s += 2;
		while (Parser::isHexDigit(*s)) s++;
	} else if (s[0] == '0' && (s[1] == 'b' || s[1] == 'B') && (s[2] == '0' || s[2] == '1')) {
		s += 2;
		while (*s == '0' || *s == '1') s++;
	} else {
		while (is_digit(*s)) s++;
	}
	if ((s[0] == 'u' && (s[1] == 'l' || s[1] == 's')) || (s[0] == 'U' && (s[1] == 'L' || s[1] == 'S'))) s += 2;
	else if (*s == 'u' || *s == 'U' || *s == 'l' || *s == 'L' || *s == 's' || *s == 'S') s++;
	return (uint32_t)(s - src);
}

// The expression with its macros expanded, as the text around it would
// expand them, so that "#define MODE FAST" compares as FAST does; the name
// after "defined" is left as it is. The expression ends at a comment.
void expand_condition(const Shader::State &state, const char *text, String &out) {
	ArrayStack<String, 16> stack;
	const char *s = text;
	while (*s) {
		if (s[0] == '/' && (s[1] == '/' || s[1] == '*')) break;
		if (!Shader::isIdentifierChar(*s)) {
			out.append(*s++);
			continue;
		}
		const char *start = s;
		while (Shader::isIdentifierChar(*s)) s++;
		StringStack<64> word(start, (uint32_t)(s - start));
		if (is_digit(*start) || state.macros.get(word) == nullptr) {
			out.append(word);
			if (word != "defined") continue;
			// the operand of defined, with or without parentheses
			while (*s == ' ' || *s == '\t' || *s == '\n' || *s == '\r' || *s == '(') out.append(*s++);
			while (Shader::isIdentifierChar(*s)) out.append(*s++);
			continue;
		}
		if (word == "__LINE__") {
			out.appendu32(state.line);
			continue;
		}
		stack.clear();
		s = start + state.expand_macro(start, out, stack);
		if (out.size() > Shader::State::MaxExpansionSize) throwError("too long expansion of \"%s\" macro\n", word.get());
	}
}

// what the tokenizer takes next; after a '!' an operand is expected but
// another '!' is refused
enum class Expect {
	Operand,
	Operator,
	NotOperand,
};

// the operator at s when an operator is expected; its length in *size, or
// false when the characters there make none
bool read_operator(const char *s, bool names, Kind *kind, uint32_t *size) {
	static const struct {
		const char *text;
		Kind kind;
		bool names;
	} operators[] = {
		{"&&", And, true},
		{"||", Or, true},
		{"==", Equal, false},
		{"!=", NotEqual, false},
		{"<=", LessEqual, false},
		{">=", GreaterEqual, false},
		{"*", Mul, false},
		{"/", Div, false},
		{"+", Add, false},
		{"-", Sub, false},
		{"<", Less, false},
		{">", Greater, false},
	};
	for (const auto &op : operators) {
		if (names && !op.names) continue;
		uint32_t length = op.text[1] ? 2 : 1;
		if (s[0] != op.text[0] || (length == 2 && s[1] != op.text[1])) continue;
		*kind = op.kind;
		*size = length;
		return true;
	}
	return false;
}

Result apply(Kind kind, Result a, Result b) {
	// the untaken side of a logical operator does not count
	if (kind == And && !a.failed && a.value == 0) return {0, false};
	if (kind == Or && !a.failed && a.value != 0) return {1, false};
	if (a.failed || b.failed) return {0, true};
	uint32_t x = (uint32_t)a.value;
	uint32_t y = (uint32_t)b.value;
	switch (kind) {
		case Mul: return {(int32_t)(x * y), false};
		case Div:
			if (b.value == 0) return {0, true};
			// the smallest value divided by -1 wraps around to itself
			if (b.value == -1) return {(int32_t)(0u - x), false};
			return {a.value / b.value, false};
		case Add: return {(int32_t)(x + y), false};
		case Sub: return {(int32_t)(x - y), false};
		case Less: return {a.value < b.value, false};
		case Greater: return {a.value > b.value, false};
		case LessEqual: return {a.value <= b.value, false};
		case GreaterEqual: return {a.value >= b.value, false};
		case Equal: return {a.value == b.value, false};
		case NotEqual: return {a.value != b.value, false};
		case And: return {a.value != 0 && b.value != 0, false};
		case Or: return {a.value != 0 || b.value != 0, false};
		default: return {0, true};
	}
}

// `names` selects the name expressions of "ifdef": names are operands that
// tell whether a macro exists, and only '!', "&&" and "||" are operators
int32_t evaluate(const Shader::State &state, const char *text, bool names) {
	if (text == nullptr || *text == 0) return -1;
	ArrayStack<Token, 128> operators;
	ArrayStack<Token, 128> postfix;
	Expect expect = Expect::Operand;
	const char *operator_chars = names ? "!&|" : "=!<>&|*/+-";

	// moves the operators that bind at least as tightly as kind to the list
	auto pop_operators = [&](uint32_t level) {
		while (operators.size() && operators.back().kind != Open && precedence(operators.back().kind, names) >= level) {
			postfix.append(operators.back());
			operators.pop();
		}
	};

	const char *s = text;
	for (;;) {
		s += Parser::skipSpaces(s);
		char c = *s;
		if (c == 0 || (c == '/' && (s[1] == '/' || s[1] == '*'))) break;

		bool is_operator = false;
		for (const char *o = operator_chars; *o; o++) is_operator |= (*o == c);
		if (is_operator) {
			if (expect != Expect::Operator) {
				// only a single unary not stands where an operand is expected
				if (c != '!' || s[1] == '=' || expect == Expect::NotOperand) return -1;
				pop_operators(precedence(Not, names));
				operators.append(Token{Not, 0});
				expect = Expect::NotOperand;
				s++;
				continue;
			}
			Kind kind;
			uint32_t size;
			if (!read_operator(s, names, &kind, &size)) return -1;
			pop_operators(precedence(kind, names));
			operators.append(Token{kind, 0});
			expect = Expect::Operand;
			s += size;
			continue;
		}

		if (c == '(') {
			if (expect == Expect::Operator) return -1;
			operators.append(Token{Open, 0});
			expect = Expect::Operand;
			s++;
			continue;
		}
		if (c == ')') {
			if (expect != Expect::Operator) return -1;
			pop_operators(0);
			if (operators.size() == 0) return -1;
			operators.pop();
			s++;
			continue;
		}

		// an operand
		int32_t value = 0;
		if (!names && is_digit(c)) {
			value = String::toi32(s, 10);
			s += skip_integer(s);
		} else {
			StringStack<64> name;
			s += Parser::readName(s, name);
			if (names) {
				value = state.has_macro(name.get());
			} else if (name == "defined") {
				s += Parser::skipSpaces(s);
				bool parenthesis = *s == '(';
				if (parenthesis) s++;
				s += Parser::readName(s, name);
				if (parenthesis) {
					s += Parser::skipSpaces(s);
					if (*s != ')') return -1;
					s++;
				}
				value = state.has_macro(name.get());
			} else if (const Shader::State::Macro *macro = state.macros.get(name)) {
				// only a macro whose expansion is its own name is left
				value = String::toi32(macro->value.get(), 10);
			}
		}
		if (expect == Expect::Operator) return -1;
		postfix.append(Token{Value, value});
		expect = Expect::Operator;
	}
	if (expect != Expect::Operator) return -1;
	pop_operators(0);
	if (operators.size() != 0 || postfix.size() == 0) return -1;

	ArrayStack<Result, 128> values;
	for (uint32_t i = 0; i < postfix.size(); i++) {
		const Token &token = postfix[i];
		if (token.kind == Value) {
			values.append(Result{token.value, false});
		} else if (token.kind == Not) {
			if (values.size() == 0) return -1;
			Result &top = values.back();
			top.value = top.value == 0;
		} else {
			if (values.size() < 2) return -1;
			Result b = values.back();
			Result a = values.back(1);
			values.pop(2);
			values.append(apply(token.kind, a, b));
		}
	}
	if (values.size() != 1) return -1;
	if (values.back().failed) throwError("division by zero\n");
	return values.back().value != 0 ? 1 : 0;
}

} // namespace

int32_t Shader::State::evaluate_if(const char *text) const {
	if (text == nullptr || *text == 0) return -1;
	StringStack<64> expanded;
	expand_condition(*this, text, expanded);
	return evaluate(*this, expanded.get(), false);
}

int32_t Shader::State::evaluate_ifdef(const char *text) const {
	return evaluate(*this, text, true);
}

} // namespace Vexa
