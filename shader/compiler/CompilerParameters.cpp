// Parameters passed by value that the body writes: each gets a variable of
// its own, stored from the argument when the function starts, before the body
// is compiled. A read that comes before the first write in the text but runs
// after it (in a loop) then sees the written value. The body's text is
// scanned once for the names that may be written: assigned, incremented, or
// handed to a call whose parameter may be an output.
#include "shader/compiler/Compiler.h"

#include "core/Parser.h"

#include <cstring>

namespace Vexa {

namespace {

bool is_name_char(char c) {
	return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

const char *skip_spaces(const char *s, const char *end) {
	while (s < end && (*s == ' ' || *s == '\t' || *s == '\n' || *s == '\r')) s++;
	return s;
}

// the end of a bracketed selector from its opening character, or end
const char *skip_brackets(const char *s, const char *end) {
	int32_t depth = 0;
	for (; s < end; s++) {
		if (*s == '[') depth++;
		else if (*s == ']' && --depth == 0) return s + 1;
	}
	return end;
}

// whether the operator at s writes what stands before it
bool is_write_operator(const char *s, const char *end) {
	static const char *const operators[] = {"<<=", ">>=", "++", "--", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^="};
	size_t left = size_t(end - s);
	for (const char *op : operators) {
		size_t size = strlen(op);
		if (left >= size && strncmp(s, op, size) == 0) return true;
	}
	return left >= 1 && s[0] == '=' && (left < 2 || s[1] != '=');
}

} // namespace

void Compiler::copy_written_parameters(Function &function) {
	if (function.body == nullptr || function.parameters.size() == 0) return;
	bool by_value = false;
	for (uint32_t i = 0; i < function.parameters.size() && !by_value; i++) by_value = variables[function.parameters[i].variable].parameter != ~0u;
	if (!by_value) return;

	// the body's extent: to the brace that closes it
	const char *begin = function.body;
	const char *end = begin;
	int32_t depth = 1;
	while (*end != '\0') {
		if (end[0] == '/' && (end[1] == '/' || end[1] == '*')) {
			end += Parser::skipComment(end);
			continue;
		}
		if (*end == '{') depth++;
		else if (*end == '}' && --depth == 0) break;
		end++;
	}

	Set<String> written;
	for (const char *s = begin; s < end;) {
		if (!((*s >= 'a' && *s <= 'z') || (*s >= 'A' && *s <= 'Z') || *s == '_')) {
			s++;
			continue;
		}
		const char *start = s;
		while (s < end && is_name_char(*s)) s++;
		// a member name or a swizzle is no variable of its own
		const char *before = start;
		while (before > begin && (before[-1] == ' ' || before[-1] == '\t' || before[-1] == '\n' || before[-1] == '\r')) before--;
		if (before > begin && before[-1] == '.') continue;
		bool incremented = before - begin >= 2 && ((before[-1] == '+' && before[-2] == '+') || (before[-1] == '-' && before[-2] == '-'));
		bool argument = before > begin && (before[-1] == '(' || before[-1] == ',');
		// selectors, then what follows them
		const char *after = skip_spaces(s, end);
		while (after < end && (*after == '[' || (*after == '.' && after + 1 < end && !(after[1] >= '0' && after[1] <= '9')))) {
			if (*after == '[') {
				after = skip_brackets(after, end);
			} else {
				after++;
				while (after < end && is_name_char(*after)) after++;
			}
			after = skip_spaces(after, end);
		}
		bool passed = argument && after < end && (*after == ')' || *after == ',');
		if (incremented || passed || is_write_operator(after, end)) written.insert(String(start, uint32_t(s - start)));
	}

	for (uint32_t i = 0; i < function.parameters.size(); i++) {
		Variable &parameter = variables[function.parameters[i].variable];
		if (parameter.parameter == ~0u || parameter.name.empty() || !written.find(parameter.name)) continue;
		// a write through the parameter's name makes its variable now
		String name = parameter.name;
		const char *none = "";
		parse_variable(&none, name, function, &function.scope, true);
	}
}

} // namespace Vexa
