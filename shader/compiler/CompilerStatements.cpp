// Statements and blocks: a function body compiled statement by statement into
// the code words of its function record, with nested scopes for nested
// blocks. Every statement stores its offset from the start of the text before
// it is parsed, so that an error points at it.
#include "shader/compiler/Compiler.h"
#include "shader/compiler/CompilerBits.h"

#include "core/Error.h"
#include "core/Parser.h"
#include "shader/ShaderSpirvNumbers.h"

#include <cmath>

namespace Vexa {

using CompilerBits::skip_spaces;
using CompilerBits::starts_name;

namespace {

// parse_block's pending state
enum BlockBits : uint32_t {
	PendingConst = 1u << 0,
	PendingPrecision = 1u << 1,
	ExpectSemicolon = 1u << 2,
};

// "[...](" after a type name: an array constructor, not a declaration
bool is_constructor_array(const char *s) {
	String region;
	s += Parser::readRegion(s, region, '[', ']');
	return *skip_spaces(s) == '(';
}

// a flow attribute is one of those that give a loop or a selection its
// control; the others of GLSL fail by name
void check_flow_attribute(const String &attribute) {
	if (attribute == "unroll" || attribute == "loop" || attribute == "flatten" || attribute == "branch") return;
	throwError("\"%s\" flow attribute is not supported\n", attribute.get());
}

void check_pending(const Compiler &compiler, uint32_t bits) {
	compiler.check_constant_qualifiers(bits & (PendingConst | PendingPrecision));
}

// a control statement from the text after its keyword
void parse_control(Compiler &compiler, const String &keyword, const char *src, const char **cursor, uint32_t *error_offset,
	Compiler::Function &function, Compiler::Scope &scope, uint32_t control) {
	if (keyword == "if") compiler.parse_if(src, cursor, error_offset, function, scope, control);
	else if (keyword == "while") compiler.parse_while(src, cursor, error_offset, function, scope, control);
	else if (keyword == "do") compiler.parse_do(src, cursor, error_offset, function, scope, control);
	else if (keyword == "for") compiler.parse_for(src, cursor, error_offset, function, scope, control);
	else compiler.parse_switch(src, cursor, error_offset, function, scope, control);
}

// the text of an expression: up to the next ',' or ';' outside brackets
String read_expression(const char *&s) {
	const char *start = s;
	int32_t depth = 0;
	while (*s) {
		char c = *s;
		if (c == '(' || c == '[' || c == '{') depth++;
		else if (c == ')' || c == ']' || c == '}') {
			if (--depth < 0) break;
		} else if ((c == ',' || c == ';') && depth == 0) {
			break;
		}
		s++;
	}
	return String(start, uint32_t(s - start));
}

// the value of a constant's initialiser, in the constant's own type, kept
// as its value text; false when the text is no constant expression
bool fold_constant(Compiler &compiler, Compiler::Variable &variable, const String &text, Compiler::Scope &scope) {
	Value value;
	try {
		compiler.parse_constant_expression(value, text.get(), &scope, false);
	} catch (const String &) {
		// what the constant evaluator does not read, compiled as an
		// expression, when it folds
		try {
			if (!compiler.fold_expression(value, text.get(), variable.type, &scope)) return false;
		} catch (const String &) {
			return false;
		}
	}
	uint32_t flags = 0;
	try {
		flags = Compiler::get_type_flags(variable.type);
	} catch (const String &) {
		return false;
	}
	if ((value.flags & Compiler::TypeRuntimeArray) || (flags & Compiler::TypeKindMask) == 0) return false;
	uint32_t components = Compiler::get_type_components(flags);
	Value converted(flags, 0);
	if (!converted.append(value)) return false;
	if (converted.count == 1 && components > 1) converted = converted.splat(components);
	if (converted.count != components) return false;
	converted.flags = flags;
	// a value no literal writes (an infinity, a NaN) is held by its constant
	for (uint32_t i = 0; i < converted.count; i++) {
		if ((flags & Compiler::TypeFloat) && !std::isfinite(converted.get_f64(i))) {
			variable.initializer = compiler.add_constant(variable.type, converted);
			return true;
		}
	}
	variable.value = compiler.get_constant_string(converted, true);
	return true;
}

// a local declaration whose type word was read
void parse_local(Compiler &compiler, const char *&s, Compiler::Function &function, Compiler::Scope &scope, const String &type,
	Map<uint32_t, uint32_t> &decorations) {
	uint32_t type_length = compiler.parse_array_length(&s, &scope);
	for (;;) {
		String name;
		s += Parser::readName(s, name);
		uint32_t length = type_length;
		uint32_t name_length = compiler.parse_array_length(&s, &scope);
		if (*skip_spaces(s) == '[') throwError("arrays of arrays are not supported: \"%s\"\n", name.get());
		if (name_length != ~0u) {
			if (length != ~0u) throwError("arrays of arrays are not supported: \"%s\"\n", name.get());
			length = name_length;
		}
		// an array without a size takes the length of its initialiser
		uint32_t early_value = ~0u;
		if (length == 0 && *skip_spaces(s) == '=') {
			s = skip_spaces(s) + 1;
			if (*skip_spaces(s) == ';') throwError("unexpected ';'\n");
			if (*skip_spaces(s) == '{') throwError("initializer lists are not supported\n");
			early_value = compiler.parse_expression(&s, String(), function, &scope);
			uint32_t value_length = compiler.get_target_length(early_value);
			if (value_length != ~0u && value_length != 0) length = value_length;
		}
		if (length == 0) throwError("\"%s\" array has no size\n", name.get());
		uint32_t storage = (type == "rayQuery") ? Spirv::StoragePrivate : Spirv::StorageFunction;
		uint32_t index = compiler.add_variable(name, type, length, storage, scope);
		Compiler::Variable &variable = compiler.variables[index];
		for (auto it = decorations.begin(); it; ++it) variable.decorations.insert(it->key, it->value);
		if (storage == Spirv::StorageFunction) {
			variable.function = function.index;
			function.locals.append(index);
		}
		uint32_t type_id = compiler.add_type(variable.type, length, &scope);
		compiler.add_target(variable.id, type_id, length);
		s = skip_spaces(s);
		// the name is known from the end of its initialiser on: the
		// initialiser reads the name of an outer scope
		if (*s == '=') scope.variables.remove(name);
		if (early_value != ~0u) {
			if (compiler.get_target_type(early_value) != type_id) {
				throwError("can't assign %s to %s\n", compiler.get_target_type_name(early_value).get(), compiler.get_target_type_name(type_id).get());
			}
			compiler.add_function_opcode(function, Spirv::OpStore, {compiler.variables[index].id, early_value});
		} else if (*s == '=') {
			s = skip_spaces(s + 1);
			if (*s == ';') throwError("unexpected ';'\n");
			if (*s == '{') throwError("initializer lists are not supported\n");
			// a constant of a constant expression is a name for its value
			if (compiler.variables[index].decorations.get(Spirv::DecorationConstant) != nullptr && length == ~0u) {
				const char *end = s;
				String text = read_expression(end);
				if (fold_constant(compiler, compiler.variables[index], text, scope)) {
					scope.variables.insert(name, index);
					s = end;
					s = skip_spaces(s);
					if (*s != ',') break;
					s = skip_spaces(s + 1);
					continue;
				}
			}
			String type_name = compiler.variables[index].type;
			if (length != ~0u) type_name.append(String::format("[%u]", length));
			uint32_t value = compiler.parse_expression(&s, type_name, function, &scope);
			if (compiler.get_target_type(value) != type_id) {
				throwError("can't assign %s to %s\n", compiler.get_target_type_name(value).get(), compiler.get_target_type_name(type_id).get());
			}
			compiler.add_function_opcode(function, Spirv::OpStore, {compiler.variables[index].id, value});
		} else if (compiler.variables[index].decorations.get(Spirv::DecorationConstant) != nullptr) {
			throwError("constants must be initialized\n");
		}
		scope.variables.insert(name, index);
		s = skip_spaces(s);
		if (*s != ',') break;
		s = skip_spaces(s + 1);
	}
}

} // namespace

void Compiler::parse_statement(const char *src, const char **cursor, uint32_t *error_offset, Function &function, Scope &scope, uint32_t selection_control) {
	DepthGuard guard(*this);
	*error_offset = uint32_t(*cursor - src);
	const char *s = skip_spaces(*cursor);
	if (*s == '\0') {
		*cursor = s;
		return;
	}
	if (*s == '{') {
		Scope inner;
		inner.parent = &scope;
		s = skip_spaces(s + 1);
		parse_block(src, &s, error_offset, function, inner);
		*cursor = s;
		return;
	}
	String word;
	if ((*s >= 'a' && *s <= 'z') || (*s >= 'A' && *s <= 'Z') || *s == '_') Parser::readName(s, word);
	if (word == "for" || word == "while" || word == "do" || word == "if" || word == "switch") {
		s += word.size();
		parse_control(*this, word, src, &s, error_offset, function, scope, word == "if" ? selection_control : 0);
		*cursor = s;
		return;
	}
	// a simple statement: the text to its ';' compiled on its own, where
	// no case label may stand
	Scope *case_scope = function.case_scope;
	function.case_scope = nullptr;
	struct Restore {
		Function &function;
		Scope *case_scope;
		~Restore() { function.case_scope = case_scope; }
	} restore{function, case_scope};
	String text;
	s += Parser::readRegion(s, text, 0, ';');
	if (*s != ';') throwError("expecting ';'\n");
	s++;
	text.append(';');
	if (text.find('{') != ~0u) throwError("can't parse statement\n");
	const char *inner = text.get();
	uint32_t inner_offset = 0;
	parse_block(text.get(), &inner, &inner_offset, function, scope);
	*cursor = s;
}

void Compiler::parse_block(const char *src, const char **cursor, uint32_t *error_offset, Function &function, Scope &scope) {
	DepthGuard guard(*this);
	uint32_t bits = 0;
	Map<uint32_t, uint32_t> decorations;
	const char *s = *cursor;

	for (;;) {
		*error_offset = uint32_t(s - src);
		s = skip_spaces(s);
		char c = *s;
		if (c == '\0') break;
		if (Parser::isComment(s)) {
			s += Parser::skipComment(s);
			continue;
		}
		if (c == ';' || c == ',') {
			bits &= ~ExpectSemicolon;
			check_pending(*this, bits);
			s++;
			continue;
		}
		if (bits & ExpectSemicolon) throwError("expecting ';'\n");
		if (c == '}') {
			s++;
			check_pending(*this, bits);
			function.closed = true;
			*cursor = s;
			return;
		}
		if (c == '{') {
			check_pending(*this, bits);
			Scope inner;
			inner.parent = &scope;
			s = skip_spaces(s + 1);
			parse_block(src, &s, error_offset, function, inner);
			continue;
		}
		if (c == '[' && s[1] == '[') {
			String attribute;
			s += 2;
			s = skip_spaces(s);
			s += Parser::readName(s, attribute);
			check_flow_attribute(attribute);
			s = skip_spaces(s);
			if (*s == ',') {
				// the names of a list are checked before the list itself
				String next;
				s = skip_spaces(s + 1);
				s += Parser::readName(s, next);
				check_flow_attribute(next);
				throwError("lists of flow attributes are not supported\n");
			}
			if (s[0] != ']' || s[1] != ']') throwError("expecting \"]]\"\n");
			s += 2;
			String keyword;
			s += Parser::readName(s, keyword);
			bool loop = (keyword == "for" || keyword == "while" || keyword == "do");
			bool selection = (keyword == "if" || keyword == "switch");
			bool known = ((attribute == "unroll" || attribute == "loop") && loop) || ((attribute == "flatten" || attribute == "branch") && selection);
			if (!known) throwError("invalid flow \"%s\" for \"%s\"\n", attribute.get(), keyword.get());
			check_pending(*this, bits);
			uint32_t control = (attribute == "unroll" || attribute == "flatten") ? 1 : 2;
			parse_control(*this, keyword, src, &s, error_offset, function, scope, control);
			continue;
		}

		// an expression statement: an increment, or parentheses
		if ((c == '+' && s[1] == '+') || (c == '-' && s[1] == '-') || c == '(') {
			parse_expression(&s, String(), function, &scope);
			bits |= ExpectSemicolon;
			continue;
		}
		String word;
		if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_')) {
			throwError("unexpected \"%s\"\n", String(s).substr(0, 32).get());
		}
		const char *word_start = s;
		s += Parser::readName(s, word);
		s = skip_spaces(s);
		// qualifiers and declarations GLSL has and this compiler does not take
		if (word == "precise" && find_variable(word, &scope) == ~0u) throwError("precise qualifier is not supported\n");
		if (word == "struct") throwError("structure declarations in functions are not supported\n");
		if ((bits & PendingConst) && find_structure(word, &scope) != ~0u) throwError("constant structures are not supported: \"%s\"\n", word.get());
		if ((bits & (PendingConst | PendingPrecision)) && glsl_types.get(word) == nullptr && word != "const" && word != "lowp" &&
			word != "mediump" && word != "highp") {
			check_pending(*this, bits);
		}

		if (word == "for" || word == "while" || word == "do" || word == "if" || word == "switch") {
			parse_control(*this, word, src, &s, error_offset, function, scope, 0);
			continue;
		}
		if (word == "break" || word == "continue") {
			// a jump to be patched when its target opens; what follows it is
			// a block of its own (code after a jump runs only if jumped to)
			BreakList *list = nullptr;
			if (word == "break") {
				list = function.breaks != nullptr ? function.breaks : function.switch_breaks;
				if (list == nullptr) throwError("break not in the loop or switch\n");
			} else {
				list = function.continues;
				if (list == nullptr) throwError("continue not in the loop\n");
			}
			// in code no branch reaches, a jump changes nothing
			if (!function.dead && !(function.last_opcode >= Spirv::OpBranch && function.last_opcode <= Spirv::OpUnreachable)) {
				add_function_opcode(function, Spirv::OpBranch, {~0u});
				list->append(function.code.size() - 1);
				add_function_label(function, next_id++);
				function.dead = true;
			}
			bits |= ExpectSemicolon;
			continue;
		}
		if (word == "case" || word == "default") {
			// a label stands in the switch's own statement list, not in a
			// block or statement nested in it
			if (function.switch_breaks == nullptr || &scope != function.case_scope) throwError("%s not in the switch\n", word.get());
			check_pending(*this, bits);
			function.closed = false;
			*cursor = word_start;
			return;
		}
		if (word == "discard") {
			if (execution_model != Spirv::ModelFragment) throwError("instruction is not valid\n");
			add_function_opcode(function, Spirv::OpKill, {});
			bits |= ExpectSemicolon;
			continue;
		}
		if (word == "return") {
			if (*s == ';') {
				if (function.return_type != "void") throwError("non-void function \"%s\" must return value\n", function.name.get());
				add_function_opcode(function, Spirv::OpReturn, {});
				bits |= ExpectSemicolon;
				continue;
			}
			if (function.return_type == "void") throwError("void function \"%s\" can't return value\n", function.name.get());
			uint32_t value = parse_expression(&s, function.return_type, function, &scope);
			uint32_t type = add_type(function.return_type, ~0u, &global_scope);
			if (get_target_type(value) != type) throwError("can't return %s from \"%s\" function\n", get_target_type_name(value).get(), function.name.get());
			add_function_opcode(function, Spirv::OpReturnValue, {value});
			bits |= ExpectSemicolon;
			continue;
		}
		// the jumps of any-hit shaders: statements without parentheses
		if ((word == "ignoreIntersectionEXT" || word == "terminateRayEXT") && *s == ';' && find_variable(word, &scope) == ~0u) {
			parse_internal_function("", word, function, &scope);
			bits |= ExpectSemicolon;
			continue;
		}
		// a built-in without a result (imageStore) as a statement
		if (*s == '(' && internal_functions.find(word) && function_names.get(word) == nullptr && find_variable(word, &scope) == ~0u) {
			String arguments;
			s += Parser::readRegion(s, arguments, '(', ')');
			parse_internal_function(arguments.get(), word, function, &scope);
			bits |= ExpectSemicolon;
			continue;
		}
		// a call whose result is dropped: of the shader's own functions, or of a built-in
		if (*s == '(' && (function_names.get(word) != nullptr || internal_functions.find(word) || external_functions.find(word)) &&
			find_variable(word, &scope) == ~0u) {
			s = word_start;
			parse_expression(&s, String(), function, &scope);
			bits |= ExpectSemicolon;
			continue;
		}
		// a call of a GLSL built-in this compiler does not take
		if (*s == '(' && CompilerBits::is_unsupported_builtin(word.get()) && function_names.get(word) == nullptr && find_variable(word, &scope) == ~0u) {
			throwError("\"%s\" built-in function is not supported\n", word.get());
		}
		if (word == "const") {
			if (bits & PendingConst) throwError("too many constant qualifiers\n");
			decorations.insert(Spirv::DecorationConstant, ~0u);
			bits |= PendingConst;
			continue;
		}
		if (word == "lowp" || word == "mediump" || word == "highp") {
			if (bits & PendingPrecision) throwError("too many precision qualifiers\n");
			if (word != "highp") decorations.insert(Spirv::DecorationRelaxedPrecision, ~0u);
			bits |= PendingPrecision;
			continue;
		}
		const String *type = glsl_types.get(word);
		if (type != nullptr || find_structure(word, &scope) != ~0u) {
			// a constructor call starts an expression, a name a declaration
			if (*s == '(' || (*s == '[' && type != nullptr && is_constructor_array(s))) {
				s = word_start;
				parse_expression(&s, String(), function, &scope);
				bits |= ExpectSemicolon;
				continue;
			}
			parse_local(*this, s, function, scope, type != nullptr ? *type : word, decorations);
			bits &= ~(PendingConst | PendingPrecision);
			bits |= ExpectSemicolon;
			decorations.clear();
			continue;
		}
		if (find_variable(word, &scope) != ~0u) {
			parse_assignment(&s, word, function, &scope);
			bits |= ExpectSemicolon;
			continue;
		}
		throwError("unexpected \"%s\"\n", word.get());
	}
	check_pending(*this, bits);
	function.closed = false;
	*cursor = s;
}

} // namespace Vexa
