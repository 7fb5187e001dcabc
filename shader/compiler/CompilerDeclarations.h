// The state of the global declaration parser, shared by its files: the text
// cursor and the qualifiers that are pending until a declaration consumes
// them. Only the declaration and structure parsers include this.
#pragma once

#include "shader/compiler/Compiler.h"
#include "shader/compiler/CompilerBits.h"

namespace Vexa {

namespace Declarations {

// which qualifiers a declaration has seen and not consumed yet
enum QualifierBits : uint32_t {
	QualifierInout = 1u << 0,
	QualifierLayout = 1u << 1,
	QualifierFormat = 1u << 2,
	QualifierStorage = 1u << 3,
	QualifierPrecision = 1u << 4,
	QualifierDecoration = 1u << 5,
	QualifierFunctionControl = 1u << 6,
	QualifierStructure = 1u << 7, // inside the braces of a struct or block
	QualifierFunction = 1u << 8,  // inside the parameter list of a prototype
};

struct State {
	State(Compiler &compiler, const char *text, uint32_t *error_offset, bool internal)
		: compiler(compiler), text(text), s(text), error_offset(error_offset), internal(internal) {}

	Compiler &compiler;
	const char *text;
	const char *s; // the cursor
	uint32_t *error_offset;
	bool internal; // type words are internal type names

	uint32_t bits = 0;
	uint32_t storage = ~0u;
	uint32_t block = ~0u;
	uint32_t format = ~0u;
	Map<uint32_t, uint32_t> decorations;
	bool out_parameter = false;
	uint32_t control = 0;
	uint32_t packing = 0; // std140 or std430 given in a layout
	uint32_t structure = ~0u; // the structure whose braces are open
	uint32_t function = ~0u;  // the function whose parameter list is open

	// the pending qualifiers are reset at the end of every declaration
	void reset_qualifiers() {
		bits &= ~(QualifierLayout | QualifierStorage | QualifierDecoration | QualifierPrecision);
		storage = ~0u;
		block = ~0u;
		decorations.clear();
		packing = 0;
	}
};

using CompilerBits::skip_spaces;

// the internal type name of a type word, or an empty String when the word
// names no type (a structure name is its own type name)
String get_type_word(const State &state, const String &word);

// the length of an interface array declared with "[]": per-vertex inputs and
// outputs are as long as the stage's vertex count; 0 stays for the rest
uint32_t get_interface_length(const Compiler &compiler, const String &name, uint32_t storage, bool per_primitive);

// a struct or block whose name was read; the cursor is at its '{'
void begin_structure(State &state, const String &name);
// the '}' of the open structure, at the cursor
void end_structure(State &state);

} // namespace Declarations

} // namespace Vexa
