// Macro expansion: the replacement of macro invocations by their definitions,
// for the preprocessor's source text and for pragma arguments.
//
// Expansion recurses through expand_macro and expand_text, once per macro
// being expanded. A macro's own name is on the recursion stack while its
// replacement is rescanned, so no definition can expand itself; an argument of
// a function-like macro is expanded without that name on the stack, so that an
// invocation nested in it expands, as in MAX(MAX(a, b), c). An argument is
// expanded where its parameter is first used only: a macro that discards its
// argument, as E(x) with an empty value, then costs nothing however deeply the
// invocations in that argument nest. The stack depth and the size of every
// text built here are bounded, and so is the whole work of a preprocessor run
// (expansion_limit), so that definitions which chain hundreds of macros,
// double their text at each level or rescan it at every level end in an error
// instead of a stack overflow, an exhausted memory or a hang.
//
// Substituted text keeps the tokens apart that the definition and the
// invocation kept apart: where an argument or an expansion meets the text
// around it so that two tokens would read as one ("-" and "-a" as "--a", "/"
// and "/" as a comment), a space goes between them; "##" alone joins tokens.
// A function-like macro whose name is not followed by an argument list stays
// that name, as in C.
#include "shader/ShaderState.h"

#include "core/Error.h"
#include "core/Parser.h"

#include <cstring>

namespace Vexa {

namespace {

using State = Shader::State;

// the fixed part of the work of one invocation, besides the characters it
// builds: the lookups and the working texts
constexpr uint64_t InvocationWork = 64;

inline bool is_space(char c) {
	return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

inline bool is_digit(char c) {
	return c >= '0' && c <= '9';
}

// appends size characters to out unless that takes out past the bound of one
// expansion
void append_bounded(String &out, const char *text, uint32_t size, const String &name) {
	if (size > State::MaxExpansionSize || out.size() > State::MaxExpansionSize - size) {
		throwError("too long expansion of \"%s\" macro\n", name.get());
	}
	out.append(text, size);
}

void append_bounded(String &out, const String &text, const String &name) {
	append_bounded(out, text.get(), text.size(), name);
}

// Whether text that ends as `left` does, followed by the character c, reads
// as one token where two stood apart ("-" and "-a" as "--a"): expansions put
// a space there and nowhere else.
bool tokens_join(const String &left, char c) {
	if (left.size() == 0 || c == 0) return false;
	char p = left.fromBack(0);
	bool name = Shader::isIdentifierChar(c);
	if (Shader::isIdentifierChar(p) || p == '.') {
		if (name && p != '.') return true;
		if (p == '.' && is_digit(c)) return true;
		if (!name && c != '.' && c != '+' && c != '-') return false;
		// the rest joins after a number only, which takes name characters,
		// dots and the sign of an exponent; a long run is not looked through
		uint32_t start = left.size();
		while (start > 0 && left.size() - start < 64 && (Shader::isIdentifierChar(left[start - 1]) || left[start - 1] == '.')) start--;
		char first = left[start];
		bool number = is_digit(first) || (first == '.' && start + 1 < left.size() && is_digit(left[start + 1]));
		if (!number) return false;
		if (c == '+' || c == '-') return p == 'e' || p == 'E' || p == 'p' || p == 'P';
		return true;
	}
	// two-character operators, and the beginnings of comments
	if (c == '=') return strchr("+-*/%<>&^|=!", p) != nullptr;
	if (c == p) return strchr("+-&|^<>/", p) != nullptr;
	return p == '/' && c == '*';
}

// appends a whole expansion to the caller's text, which may be the
// preprocessor's output and so is not bounded here
void append_expansion(String &out, const String &text, const String &name) {
	if (text.size() > State::MaxExpansionSize) throwError("too long expansion of \"%s\" macro\n", name.get());
	if (text.size() && tokens_join(out, text[0])) out.append(' ');
	out.append(text);
}

// The argument list with every comment replaced by one space, so that a "//"
// comment inside an invocation can't swallow the rest of the expansion on its
// output line; the LF that ends a line comment stays. The list has been read
// with Parser::readRegion, which checked its literals and comments; literals
// are copied whole, and leniently, as a line comment that readRegion continued
// over a backslash-newline ends at that newline here.
void remove_comments(const String &list, String &out) {
	const char *s = list.get();
	while (*s) {
		char c = *s;
		if (c == '"' || c == '\'') {
			out.append(*s++);
			while (*s && *s != c && *s != '\n') {
				if (*s == '\\' && s[1] != 0 && s[1] != '\n') out.append(*s++);
				out.append(*s++);
			}
			if (*s == c) out.append(*s++);
			continue;
		}
		if (c == '/' && (s[1] == '/' || s[1] == '*')) {
			uint32_t size = Parser::skipComment(s);
			if (s[1] == '/' && s[size - 1] == '\n') size--;
			s += size;
			out.append(' ');
			continue;
		}
		out.append(*s++);
	}
}

// a double quote, the argument with its double quotes and backslashes
// escaped, and a double quote
void append_stringized(String &out, const String &argument, const String &name) {
	StringStack<64> text;
	text.append('"');
	for (uint32_t i = 0; i < argument.size(); i++) {
		char c = argument[i];
		if (c == '"' || c == '\\') text.append('\\');
		text.append(c);
	}
	text.append('"');
	append_bounded(out, text, name);
}

// the string literal of the argument as little-endian 32-bit words, its
// terminating zero included: "0x636261" for "abc"
void append_words(String &out, const String &argument, const String &name) {
	StringStack<64> bytes;
	Parser::readString(argument.get(), bytes, false);
	uint32_t count = (bytes.size() + 4) / 4;
	StringStack<64> text;
	for (uint32_t i = 0; i < count; i++) {
		uint32_t word = 0;
		for (uint32_t j = 0; j < 4; j++) {
			uint32_t index = i * 4 + j;
			if (index < bytes.size()) word |= (uint32_t)(uint8_t)bytes[index] << (j * 8);
		}
		if (i) text.append(", ");
		text.append("0x");
		text.appendu32(word, 16);
	}
	append_bounded(out, text, name);
}

bool on_stack(const Array<String> &stack, const String &name) {
	return stack.find(name) != ~0u;
}

} // namespace

bool Shader::State::append_counter(const String &word, String &out) const {
	if (word == "__FILE__") {
		out.appendu32(source);
		return true;
	}
	if (word == "__LINE__" && macros.get(word) != nullptr) {
		out.appendu32(line);
		return true;
	}
	return false;
}

void Shader::State::spend(uint64_t work, const String &name) const {
	if (expansion_work > expansion_limit || work > expansion_limit - expansion_work) {
		// spent for good: an error caught on the way up can't buy more
		expansion_work = expansion_limit;
		throwError("too long expansion of \"%s\" macro\n", name.get());
	}
	expansion_work += work;
}

// The value of a macro with its arguments put in: parameters, '#'
// stringizing, '@' words and the variadic words are replaced and "##" joins
// the texts on both sides. The arguments match the parameters in number and
// come as written; each is expanded in place at its first use.
void Shader::State::substitute(const Macro &macro, Array<String> &arguments, Array<String> &stack, String &result, const String &name) const {
	const Array<String> &parameters = macro.parameters;
	bool variadic = parameters.size() && parameters.back() == "...";
	uint32_t first = variadic ? parameters.size() - 1 : 0;
	ArrayStack<uint8_t, 8> expanded(arguments.size(), 0);
	// a long parameter list is looked up through a map, so that a value with
	// many words stays linear in its length
	Map<String, uint32_t> indices;
	if (parameters.size() > 8) {
		for (uint32_t i = 0; i < parameters.size(); i++) indices.insert(parameters[i], i);
	}
	auto parameter_index = [&](const String &text) -> uint32_t {
		if (parameters.size() <= 8) return parameters.find(text);
		const uint32_t *index = indices.get(text);
		return index ? *index : ~0u;
	};
	auto argument = [&](uint32_t index) -> const String & {
		if (!expanded[index]) {
			// expanded as the text around the invocation would expand it:
			// the unnamed entry keeps the depth count without the name
			stack.back() = String();
			arguments[index] = expand_text(arguments[index].get(), stack);
			stack.back() = name;
			expanded[index] = 1;
			spend(arguments[index].size(), name);
		}
		return arguments[index];
	};
	// an argument stays apart from the value text on both sides of it,
	// unless "##" joins them
	bool pasting = false;
	bool after_argument = false;
	auto append_argument = [&](const String &text) {
		if (!pasting && text.size() && tokens_join(result, text[0])) result.append(' ');
		append_bounded(result, text, name);
		after_argument = true;
	};
	StringStack<64> word;
	const char *v = macro.value.get();
	while (*v) {
		char c = *v;
		if (c == '"') {
			v += Parser::readString(v, result, true, true);
			word.clear();
			pasting = after_argument = false;
			continue;
		}
		if (c == '\'') {
			v += Parser::readSymbol(v, result, true, true);
			word.clear();
			pasting = after_argument = false;
			continue;
		}
		if (c == '#' && v[1] == '#') {
			// pasting: the texts on both sides join
			while (result.size() && is_space(result.fromBack(0))) result.removeBack(1);
			v += 2;
			v += Parser::skipSpaces(v);
			word.clear();
			pasting = true;
			after_argument = false;
			continue;
		}
		if (!Shader::isIdentifierChar(c)) {
			if (after_argument && !pasting && tokens_join(result, c)) result.append(' ');
			result.append(c);
			v++;
			word.clear();
			pasting = after_argument = false;
			continue;
		}
		result.append(c);
		word.append(c);
		v++;
		if (variadic && word == "__VA_ARGC__") {
			result.removeBack(word.size());
			result.appendu32(arguments.size() - first);
			word.clear();
			continue;
		}
		if (variadic && word == "__VA_ARGS__") {
			result.removeBack(word.size());
			for (uint32_t i = first; i < arguments.size(); i++) {
				if (i != first) result.append(", ");
				append_argument(argument(i));
			}
			word.clear();
			pasting = false;
			after_argument = true;
			continue;
		}
		if (variadic && word == "__VA_ARGM__") {
			// M(argument) for every variadic argument, with its index when M
			// takes two parameters or more
			result.removeBack(word.size());
			word.clear();
			v += Parser::expectChar(v, '(');
			StringStack<64> callee;
			v += Parser::readName(v, callee);
			v += Parser::expectChar(v, ')');
			const Macro *target = macros.get(callee);
			bool indexed = target != nullptr && target->parameters.size() >= 2;
			for (uint32_t i = first; i < arguments.size(); i++) {
				StringStack<64> call;
				call.append(callee);
				call.append('(');
				append_bounded(call, argument(i), name);
				if (indexed) {
					call.append(", ");
					call.appendu32(i - first);
					call.append('u');
				}
				call.append(')');
				String expansion = expand_text(call.get(), stack);
				spend(expansion.size(), name);
				append_bounded(result, expansion, name);
			}
			continue;
		}
		if (Shader::isIdentifierChar(*v)) continue;
		uint32_t index = parameter_index(word);
		if (index != ~0u) {
			result.removeBack(word.size());
			const String &text = argument(index);
			if (result.size() && result.fromBack(0) == '#') {
				result.removeBack(1);
				append_stringized(result, text, name);
			} else if (result.size() && result.fromBack(0) == '@') {
				result.removeBack(1);
				append_words(result, text, name);
			} else {
				append_argument(text);
			}
		}
		word.clear();
		pasting = false;
	}
}

uint32_t Shader::State::expand_macro(const char *src, String &out, Array<String> &stack) const {
	StringStack<64> name;
	const char *s = src + Parser::readName(src, name);
	if (stack.size() >= MaxMacroDepth) throwError("too deep expansion of \"%s\" macro\n", name.get());
	const Macro *macro = macros.get(name);
	if (macro == nullptr) throwError("can't get \"%s\" macro\n", name.get());
	spend(InvocationWork, name);

	// object-like: the value, its pastings joined, expanded unless it is the
	// name itself
	const Array<String> &parameters = macro->parameters;
	open_call.clear();
	// the substituted value, expanded again with the macro's own name
	// blocked; the text after the invocation stays apart from it
	auto expand_value = [&](Array<String> &arguments) {
		stack.append(name);
		StringStack<64> result;
		substitute(*macro, arguments, stack, result, name);
		spend(result.size(), name);
		String expansion = expand_text(result.get(), stack);
		spend(expansion.size(), name);
		append_expansion(out, expansion, name);
		stack.pop();
		if (tokens_join(out, *s)) out.append(' ');
		// an argument list after an expansion that ends in the name of a
		// function-like macro would have to be rescanned with it
		if (open_call.size() && s[Parser::skipSpaces(s)] == '(') {
			throwError("can't take the arguments of \"%s\" macro from after the expansion of \"%s\" macro\n", open_call.get(), name.get());
		}
	};
	if (!macro->function) {
		if (macro->value == name) {
			append_expansion(out, macro->value, name);
		} else {
			ArrayStack<String, 1> none;
			expand_value(none);
		}
		return (uint32_t)(s - src);
	}

	// function-like: the argument list, split at the commas of depth 0 and
	// kept as written until substitute uses them. An invocation left open
	// takes the rest of the text, so the three passes over the list (reading,
	// comments, splitting) count as work too. Without an argument list the
	// name is no invocation and stays.
	const char *after_name = s;
	s += Parser::skipSpaces(s);
	if (*s != '(') {
		out.append(name);
		open_call = name;
		return (uint32_t)(after_name - src);
	}
	String list;
	s += Parser::readRegion(s, list, '(', ')');
	spend(3 * (uint64_t)list.size(), name);
	StringStack<64> clean;
	remove_comments(list, clean);
	ArrayStack<String, 8> arguments;
	const char *l = clean.get();
	if (l[Parser::skipSpaces(l)] != 0) {
		for (;;) {
			StringStack<64> piece;
			l += Parser::readRegion(l, piece, 0, ',');
			arguments.append(String(static_cast<StringStack<64> &&>(piece)));
			if (*l != ',') break;
			l++;
		}
	}

	uint32_t count = parameters.size();
	bool variadic = count && parameters.back() == "...";
	if (variadic ? arguments.size() < count - 1 : arguments.size() != count) {
		throwError("invalid number of \"%s\" macro arguments\n", name.get());
	}
	expand_value(arguments);
	return (uint32_t)(s - src);
}

String Shader::State::expand_text(const char *text, Array<String> &stack) const {
	StringStack<64> result;
	// the function-like macro name that ends the text so far, if any
	StringStack<64> open;
	if (text == nullptr) return String();
	const char *s = text;
	while (*s) {
		char c = *s;
		if (c == '"') {
			s += Parser::readString(s, result, true, true);
			open.clear();
			continue;
		}
		if (c == '\'') {
			s += Parser::readSymbol(s, result, true, true);
			open.clear();
			continue;
		}
		if (!Shader::isIdentifierChar(c)) {
			result.append(c);
			s++;
			if (!is_space(c)) open.clear();
			continue;
		}
		const char *start = s;
		while (Shader::isIdentifierChar(*s)) s++;
		StringStack<64> word(start, (uint32_t)(s - start));
		open.clear();
		if (append_counter(word, result)) continue;
		if (macros.get(word) == nullptr) {
			result.append(word);
			continue;
		}
		if (on_stack(stack, word)) {
			// the search of a deep stack costs, for every word it keeps
			spend(stack.size(), word);
			result.append(word);
			continue;
		}
		s = start + expand_macro(start, result, stack);
		open = open_call;
		if (result.size() > MaxExpansionSize) throwError("too long expansion of \"%s\" macro\n", word.get());
	}
	open_call = open;
	return String(static_cast<StringStack<64> &&>(result));
}

} // namespace Vexa
