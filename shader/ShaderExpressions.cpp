// The conditional expressions of the preprocessor's "if", "elif", "ifdef",
// "ifndef", "elifdef" and "elifndef" directives.
//
// An "if" expression is first macro-expanded like the text around it (except
// the operand of "defined"); a name left after that counts as 0. Its
// operators are those of GLSL's preprocessor, with C's precedence: the unary
// "+ - ~ !", "* / %", "+ -", "<< >>", the comparisons, "& ^ |", "&& ||".
// Its numbers are C's integer literals: decimal, octal after a leading 0,
// hexadecimal after "0x". The operands of "#line" are read the same way,
// except that a name left after expansion is refused there.
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
	Negate,
	Plus,
	Complement,
	Mul,
	Div,
	Rem,
	Add,
	Sub,
	ShiftLeft,
	ShiftRight,
	Less,
	Greater,
	LessEqual,
	GreaterEqual,
	Equal,
	NotEqual,
	BitAnd,
	BitXor,
	BitOr,
	And,
	Or,
};

inline bool is_unary(Kind kind) {
	return kind == Not || kind == Negate || kind == Plus || kind == Complement;
}

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
		case Not:
		case Negate:
		case Plus:
		case Complement: return 11;
		case Mul:
		case Div:
		case Rem: return 10;
		case Add:
		case Sub: return 9;
		case ShiftLeft:
		case ShiftRight: return 8;
		case Less:
		case Greater:
		case LessEqual:
		case GreaterEqual: return 7;
		case Equal:
		case NotEqual: return 6;
		case BitAnd: return 5;
		case BitXor: return 4;
		case BitOr: return 3;
		case And: return 2;
		case Or: return 1;
		default: return 0;
	}
}

inline bool is_digit(char c) {
	return c >= '0' && c <= '9';
}

// An integer literal as C and GLSL write it: "0x" or "0X" and hexadecimal
// digits, a leading 0 and octal digits, else decimal digits; "0b" and binary
// digits too. An integer suffix may follow. The value wraps around in 32
// bits; the length of the literal is returned. An octal literal with an 8 or
// a 9 in it throws.
uint32_t read_integer(const char *src, int32_t *value) {
	const char *s = src;
	uint32_t result = 0;
	if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X') && Parser::isHexDigit(s[2])) {
		s += 2;
		for (; Parser::isHexDigit(*s); s++) {
			uint32_t digit = is_digit(*s) ? uint32_t(*s - '0') : uint32_t((*s | 0x20) - 'a' + 10);
			result = (result << 4) | digit;
		}
	} else if (s[0] == '0' && (s[1] == 'b' || s[1] == 'B') && (s[2] == '0' || s[2] == '1')) {
		s += 2;
		for (; *s == '0' || *s == '1'; s++) result = (result << 1) | uint32_t(*s - '0');
	} else if (s[0] == '0') {
		for (; is_digit(*s); s++) {
			if (*s > '7') {
				while (is_digit(*s)) s++;
				StringStack<64> digits(src, (uint32_t)(s - src));
				throwError("invalid octal literal %s\n", digits.get());
			}
			result = (result << 3) | uint32_t(*s - '0');
		}
	} else {
		for (; is_digit(*s); s++) result = result * 10 + uint32_t(*s - '0');
	}
	if ((s[0] == 'u' && (s[1] == 'l' || s[1] == 's')) || (s[0] == 'U' && (s[1] == 'L' || s[1] == 'S'))) s += 2;
	else if (*s == 'u' || *s == 'U' || *s == 'l' || *s == 'L' || *s == 's' || *s == 'S') s++;
	*value = (int32_t)result;
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
		if (state.append_counter(word, out)) continue;
		if (is_digit(*start) || state.macros.get(word) == nullptr) {
			out.append(word);
			if (word != "defined") continue;
			// the operand of defined, with or without parentheses
			while (*s == ' ' || *s == '\t' || *s == '\n' || *s == '\r' || *s == '(') out.append(*s++);
			while (Shader::isIdentifierChar(*s)) out.append(*s++);
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
		{"<<", ShiftLeft, false},
		{">>", ShiftRight, false},
		{"*", Mul, false},
		{"/", Div, false},
		{"%", Rem, false},
		{"+", Add, false},
		{"-", Sub, false},
		{"<", Less, false},
		{">", Greater, false},
		{"&", BitAnd, false},
		{"^", BitXor, false},
		{"|", BitOr, false},
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
		case Rem:
			if (b.value == 0) return {0, true};
			if (b.value == -1) return {0, false};
			return {a.value % b.value, false};
		case Add: return {(int32_t)(x + y), false};
		case Sub: return {(int32_t)(x - y), false};
		// a shift by a negative count or by 32 bits or more has no value in C;
		// here it takes the count's low 5 bits, as the GPUs' shifts do, and a
		// right shift keeps the sign
		case ShiftLeft: return {(int32_t)(x << (y & 31)), false};
		case ShiftRight: {
			uint32_t shifted = x >> (y & 31);
			if (a.value < 0 && (y & 31) != 0) shifted |= ~(~0u >> (y & 31));
			return {(int32_t)shifted, false};
		}
		case BitAnd: return {(int32_t)(x & y), false};
		case BitXor: return {(int32_t)(x ^ y), false};
		case BitOr: return {(int32_t)(x | y), false};
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

// How an expression is read. `names` selects the name expressions of
// "ifdef": names are operands that tell whether a macro exists, and only '!',
// "&&" and "||" are operators. With `list`, the expression ends where, outside
// parentheses, an operand is complete and no binary operator follows ("5 + 10
// 2" ends before the 2), and a name other than "defined" is malformed rather
// than 0.
struct Mode {
	bool names = false;
	bool list = false;
};

// The value of the expression at text in *value; false when it is malformed.
// In a list, *end is set to where the expression ends.
bool evaluate(const Shader::State &state, const char *text, Mode mode, int32_t *value_out, const char **end = nullptr) {
	if (text == nullptr || *text == 0) return false;
	bool names = mode.names;
	ArrayStack<Token, 128> operators;
	ArrayStack<Token, 128> postfix;
	Expect expect = Expect::Operand;
	const char *operator_chars = names ? "!&|" : "=!<>&|^*/%+-~";

	// moves the operators that bind at least as tightly as kind to the list
	auto pop_operators = [&](uint32_t level) {
		while (operators.size() && operators.back().kind != Open && precedence(operators.back().kind, names) >= level) {
			postfix.append(operators.back());
			operators.pop();
		}
	};

	const char *s = text;
	uint32_t depth = 0;
	for (;;) {
		s += Parser::skipSpaces(s);
		char c = *s;
		if (c == 0 || (c == '/' && (s[1] == '/' || s[1] == '*'))) break;
		if (mode.list && expect == Expect::Operator && depth == 0 && c != ')') {
			Kind kind;
			uint32_t size;
			if (!read_operator(s, names, &kind, &size)) break;
		}

		bool is_operator = false;
		for (const char *o = operator_chars; *o; o++) is_operator |= (*o == c);
		if (is_operator) {
			if (expect != Expect::Operator) {
				// where an operand is expected only the unary operators stand,
				// any number of them in "if" and a single not in name
				// expressions; they bind to what follows, so nothing is moved
				Kind unary;
				if (c == '!' && s[1] != '=') unary = Not;
				else if (!names && c == '-') unary = Negate;
				else if (!names && c == '+') unary = Plus;
				else if (!names && c == '~') unary = Complement;
				else return false;
				if (names && expect == Expect::NotOperand) return false;
				operators.append(Token{unary, 0});
				if (names) expect = Expect::NotOperand;
				s++;
				continue;
			}
			Kind kind;
			uint32_t size;
			if (!read_operator(s, names, &kind, &size)) return false;
			pop_operators(precedence(kind, names));
			operators.append(Token{kind, 0});
			expect = Expect::Operand;
			s += size;
			continue;
		}

		if (c == '(') {
			if (expect == Expect::Operator) return false;
			operators.append(Token{Open, 0});
			depth++;
			expect = Expect::Operand;
			s++;
			continue;
		}
		if (c == ')') {
			if (expect != Expect::Operator) return false;
			pop_operators(0);
			if (operators.size() == 0) return false;
			operators.pop();
			depth--;
			s++;
			continue;
		}

		// an operand
		int32_t value = 0;
		if (!names && is_digit(c)) {
			s += read_integer(s, &value);
		} else {
			StringStack<64> name;
			s += Parser::readName(s, name);
			// "__FILE__" is defined in every text
			auto defined = [&]() { return state.has_macro(name.get()) || name == "__FILE__"; };
			if (names) {
				value = defined();
			} else if (name == "defined") {
				s += Parser::skipSpaces(s);
				bool parenthesis = *s == '(';
				if (parenthesis) s++;
				s += Parser::readName(s, name);
				if (parenthesis) {
					s += Parser::skipSpaces(s);
					if (*s != ')') return false;
					s++;
				}
				value = defined();
			} else if (mode.list) {
				return false;
			} else if (const Shader::State::Macro *macro = state.macros.get(name)) {
				// only a macro whose expansion is its own name is left, and
				// the name of a function-like macro without arguments, which
				// is a name like any other
				if (!macro->function) value = String::toi32(macro->value.get(), 10);
			}
		}
		if (expect == Expect::Operator) return false;
		postfix.append(Token{Value, value});
		expect = Expect::Operator;
	}
	if (expect != Expect::Operator) return false;
	pop_operators(0);
	if (operators.size() != 0 || postfix.size() == 0) return false;

	ArrayStack<Result, 128> values;
	for (uint32_t i = 0; i < postfix.size(); i++) {
		const Token &token = postfix[i];
		if (token.kind == Value) {
			values.append(Result{token.value, false});
		} else if (is_unary(token.kind)) {
			if (values.size() == 0) return false;
			Result &top = values.back();
			uint32_t x = (uint32_t)top.value;
			if (token.kind == Not) top.value = top.value == 0;
			else if (token.kind == Negate) top.value = (int32_t)(0u - x);
			else if (token.kind == Complement) top.value = (int32_t)~x;
		} else {
			if (values.size() < 2) return false;
			Result b = values.back();
			Result a = values.back(1);
			values.pop(2);
			values.append(apply(token.kind, a, b));
		}
	}
	if (values.size() != 1) return false;
	if (values.back().failed) throwError("division by zero\n");
	*value_out = values.back().value;
	if (end) *end = s;
	return true;
}

} // namespace

int32_t Shader::State::evaluate_if(const char *text) const {
	if (text == nullptr || *text == 0) return -1;
	StringStack<64> expanded;
	expand_condition(*this, text, expanded);
	int32_t value = 0;
	if (!evaluate(*this, expanded.get(), Mode(), &value)) return -1;
	return value != 0 ? 1 : 0;
}

int32_t Shader::State::evaluate_ifdef(const char *text) const {
	Mode mode;
	mode.names = true;
	int32_t value = 0;
	if (!evaluate(*this, text, mode, &value)) return -1;
	return value != 0 ? 1 : 0;
}

uint32_t Shader::State::evaluate_list(const char *text, int32_t *values, uint32_t max, String &rest) const {
	StringStack<64> expanded;
	if (text) expand_condition(*this, text, expanded);
	Mode mode;
	mode.list = true;
	uint32_t count = 0;
	const char *s = expanded.get();
	s += Parser::skipSpaces(s);
	// each expression begins with an operand, a parenthesis or a unary
	// operator; anything else is left to the caller
	while (count < max && *s && (Shader::isIdentifierChar(*s) || *s == '(' || *s == '!' || *s == '-' || *s == '+' || *s == '~')) {
		const char *end = s;
		if (!evaluate(*this, s, mode, &values[count], &end)) break;
		count++;
		s = end + Parser::skipSpaces(end);
	}
	rest.clear();
	rest.append(s);
	return count;
}

} // namespace Vexa
