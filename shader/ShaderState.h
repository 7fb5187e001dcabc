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

class Shader::State {
public:
	struct Macro {
		String value;
		Array<String> parameters;
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

	// macro expansion of a text with the macros of this State
	String expand_text(const char *text);

	Map<String, Macro> macros;
	Map<String, String> files;
	Array<Pragma> pragmas;
	Array<FileRecord> file_table;
	Set<String> imports;
	uint32_t line = 0;

private:
	void define_macro(const char *name, const char *value);
};

} // namespace Vexa
