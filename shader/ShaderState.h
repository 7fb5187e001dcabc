// Everything one shader load knows besides its source text: macros, in-memory
// include files, pragmas met by the preprocessor, the table that maps offsets
// of the preprocessed text back to files and lines, the names the "import"
// directive has included, and the current line. Every load copies the
// process-wide default State and adds its own entries.
#pragma once

#include "core/Array.h"
#include "core/Map.h"
#include "core/String.h"
#include "shader/Shader.h"

namespace Vexa {

class Source;

class Shader::State {
public:
	// `function` tells a macro defined with a parameter list, even an empty
	// one: only a use of its name followed by an argument list invokes it,
	// anywhere else the name stays as it is ("int F;" after "#define F() 1")
	// `predefined` marks the macros that the system defines for every GLSL
	// text (VULKAN, the extensions, __VERSION__): they are left out of the
	// macro summary
	struct Macro {
		String value;
		Array<String> parameters;
		bool function = false;
		bool predefined = false;
	};

	struct Pragma {
		String name;
		Array<String> arguments;
	};

	// One stretch of preprocessed text that came from one file. `offsets`
	// holds, for each entry of `lines`, the position relative to `offset` from
	// which that line number holds.
	struct FileRecord {
		String name;
		uint32_t offset = 0;
		uint32_t size = 0;
		Array<uint32_t> lines;
		Array<uint32_t> offsets;
	};

	// setters: the parsing ones log what they reject and return false
	bool set_macro(const char *name, const char *value);
	bool set_macros(const char *list);
	bool set_pragma(const char *text);
	bool set_file(const char *name);
	void set_predefined(const char *name, const char *value);
	bool add_file(const char *name, const char *source);
	bool add_files(const char **files, uint32_t num);
	bool remove_file(const char *name);
	bool remove_macro(const char *name);

	// queries
	const Macro &get_macro(const char *name) const;
	bool has_macro(const char *name) const;
	String get_macros(bool simple) const;
	String get_name() const;
	String get_file(uint32_t offset) const;
	uint32_t get_line(uint32_t offset) const;
	const Pragma &get_pragma(const char *name) const;
	bool has_pragma(const char *name) const;
	const String &get_file_source(const String &name) const;

	// Conditional expressions of the preprocessor: "if"/"elif" take integer
	// expressions over numbers and macros, "ifdef"/"elifdef" boolean ones over
	// macro names. 1 for true, 0 for false, -1 when malformed; a name that
	// can't be read and a division by zero throw.
	int32_t evaluate_if(const char *text) const;
	int32_t evaluate_ifdef(const char *text) const;
	// Up to max integer expressions written one after the other, as "#line"
	// takes them, expanded and read as "if" reads its expression: each ends
	// where, outside parentheses, an operand is complete and no binary
	// operator follows ("5 + 10 2" is 15 and 2), and a name left after
	// expansion makes it malformed. Their values go to values; the number
	// read is returned, and the expanded text after the last one, from where
	// no further expression could be read, is left in rest.
	uint32_t evaluate_list(const char *text, int32_t *values, uint32_t max, String &rest) const;

	// Macro expansion with the macros of this State. `stack` holds the names
	// being expanded, innermost last; a name on it is not expanded again.
	// expand_macro expands the one invocation at src into out and returns the
	// characters it took; expand_text expands every invocation of a text.
	uint32_t expand_macro(const char *src, String &out, Array<String> &stack) const;
	// "__FILE__" (the source-string number) and "__LINE__" (the current
	// line, where the loader defined it) are written by their values: true
	// when word is one of them
	bool append_counter(const String &word, String &out) const;
	String expand_text(const char *text, Array<String> &stack) const;

	// Bounds that keep hostile text from exhausting the stack, the memory or
	// the time: macros nested in one expansion, the text of one expansion,
	// the work of all expansions of one preprocessor run (characters built,
	// discarded ones included, and a charge per invocation), files nested by
	// includes, files included by one run, the source text one run reads (its
	// own and that of every include), and the whole preprocessed text.
	static constexpr uint32_t MaxMacroDepth = 256;
	static constexpr uint32_t MaxExpansionSize = 1u << 22;
	static constexpr uint64_t MaxExpansionWork = 1ull << 26;
	static constexpr uint32_t MaxIncludeDepth = 64;
	static constexpr uint32_t MaxIncludeCount = 1u << 14;
	static constexpr uint32_t MaxSourceSize = 1u << 26;
	static constexpr uint32_t MaxOutputSize = 1u << 28;

	// Reads a whole shader text of at most limit bytes from an opened source;
	// false, with text empty, for a longer one. A source that claims no size
	// (a pipe, a file of /proc) is read in pieces up to the limit only.
	static bool read_source(Source &source, String &text, uint64_t limit = MaxSourceSize);

	Map<String, Macro> macros;
	Map<String, String> files;
	Array<Pragma> pragmas;
	Array<FileRecord> file_table;
	Set<String> imports;
	uint32_t line = 0;
	// the source-string number that "__FILE__" expands to: 0, or what a
	// "#line" directive sets
	uint32_t source = 0;
	// The work of macro expansion: expansion_work is what has been done since
	// the current preprocessor run began (each run starts it at 0), and an
	// expansion that would take it past expansion_limit fails with "too long
	// expansion". Outside a run the expansion functions count on from where
	// they find it.
	uint64_t expansion_limit = MaxExpansionWork;
	mutable uint64_t expansion_work = 0;
	// the name of a function-like macro that ends the last expansion without
	// arguments; an argument list after the invocation would belong to it
	mutable String open_call;

private:
	void define_macro(const char *name, const char *value);
	void spend(uint64_t work, const String &name) const;
	void substitute(const Macro &macro, Array<String> &arguments, Array<String> &stack, String &result, const String &name) const;
};

} // namespace Vexa
