// Parsing of macro definitions, macro lists and pragmas into a State, and the
// queries that map preprocessed offsets back to files and lines.
//
// The setters parse with the Parser helpers, which throw on malformed input;
// each setter is one of the places that catch those errors, log them with its
// own prefix and leave the State as it was.
#include "shader/ShaderState.h"

#include "core/Error.h"
#include "core/Log.h"
#include "core/Parser.h"

#include <cstring>

namespace Vexa {

namespace {

const char *skip_blanks(const char *s) {
	return s + Parser::skipSpaces(s);
}

// the value text with its comments (and the blanks before them) removed;
// quoted text is copied whole, so "//" inside a string stays. A value comes
// unchecked (a definition may hold a lone quote), so a literal left open runs
// to the end here instead of failing as in the Parser's literal readers.
String strip_comments(const char *value) {
	StringStack<64> ret;
	if (value == nullptr) return String();
	const char *s = value;
	while (*s) {
		if (*s == '"' || *s == '\'') {
			char quote = *s;
			ret.append(*s++);
			while (*s && *s != quote) {
				if (*s == '\\' && s[1]) ret.append(*s++);
				ret.append(*s++);
			}
			if (*s) ret.append(*s++);
			continue;
		}
		if (Parser::isComment(s)) {
			s += Parser::skipSpaces(s);
			uint32_t size = Parser::skipComment(s);
			if (size == 0) {
				ret.append(*s++);
				continue;
			}
			s += size;
			continue;
		}
		ret.append(*s++);
	}
	return String(static_cast<StringStack<64> &&>(ret));
}

} // namespace

//
// setters
//

void Shader::State::define_macro(const char *name_text, const char *value) {
	String name;
	const char *s = name_text;
	s += Parser::readName(s, name);
	s = skip_blanks(s);
	Array<String> parameters;
	Set<String> names;
	bool function = *s == '(';
	if (function) {
		s++;
		for (;;) {
			s = skip_blanks(s);
			if (*s == ')') {
				s++;
				break;
			}
			if (*s == 0) throwError("invalid arguments\n");
			String parameter;
			if (*s == '.') s += Parser::readToken(s, parameter, " \t\n\r,)");
			else s += Parser::readName(s, parameter);
			if (names.find(parameter) != nullptr) throwError("invalid argument names\n");
			names.insert(parameter);
			parameters.append(parameter);
			s = skip_blanks(s);
			if (*s == ',') s++;
		}
	}
	s = skip_blanks(s);
	if (*s != 0) throwError("invalid name\n");
	Macro macro;
	macro.value = strip_comments(value);
	macro.parameters = parameters;
	macro.function = function;
	macros.insert(name, macro);
}

bool Shader::State::set_macro(const char *name, const char *value) {
	try {
		define_macro(name ? name : "", value);
	} catch (const String &error) {
		Log::printf(Log::Error, "Shader::State::set_macro(): %s%s\n", error.get(), name ? name : "");
		return false;
	}
	return true;
}

bool Shader::State::set_macros(const char *list) {
	if (list == nullptr) return true;
	try {
		const char *s = list;
		for (;;) {
			s = skip_blanks(s);
			if (*s == ';') s = skip_blanks(s + 1);
			if (*s == 0) return true;
			String name;
			s += Parser::readName(s, name);
			s = skip_blanks(s);
			if (*s == '(') s += Parser::readRegion(s, name, '(', ')', true, true);
			String value;
			if (*s == '=') {
				s++;
				s += Parser::readRegion(s, value, 0, ';');
				// "\;" puts a semicolon into the value
				while (value.size() && value.fromBack(0) == '\\' && *s == ';') {
					value.fromBack(0) = ';';
					s++;
					s += Parser::readRegion(s, value, 0, ';', false, true);
				}
			}
			s = skip_blanks(s);
			if (*s != 0 && *s != ';') throwError("invalid delimiter\n");
			if (*s == ';') s++;
			if (!set_macro(name.get(), value.get())) return false;
		}
	} catch (const String &error) {
		Log::printf(Log::Error, "Shader::State::set_macros(): %s%s\n", error.get(), list);
		return false;
	}
}

bool Shader::State::set_pragma(const char *text) {
	if (text == nullptr) text = "";
	try {
		Pragma pragma;
		const char *s = text;
		s += Parser::readName(s, pragma.name);
		s = skip_blanks(s);
		if (*s == '(') {
			String region;
			s += Parser::readRegion(s, region, '(', ')');
			const char *r = region.get();
			ArrayStack<String, 16> stack;
			while (*skip_blanks(r)) {
				String part;
				r += Parser::readRegion(r, part, 0, ',');
				stack.clear();
				pragma.arguments.append(expand_text(part.get(), stack));
				r = skip_blanks(r);
				if (*r == ',') r++;
			}
		}
		s = skip_blanks(s);
		if (*s != 0) throwError("invalid pragma\n");
		pragmas.append(pragma);
	} catch (const String &error) {
		Log::printf(Log::Error, "Shader::State::set_pragma(): %s%s\n", error.get(), text);
		return false;
	}
	return true;
}

bool Shader::State::set_file(const char *name) {
	Macro macro;
	macro.value = name;
	macros.insert(String("__FILE__"), macro);
	return true;
}

void Shader::State::set_predefined(const char *name, const char *value) {
	Macro macro;
	macro.value = value;
	macro.predefined = true;
	macros.insert(String(name), macro);
}

bool Shader::State::add_file(const char *name, const char *source) {
	files.insert(String(name), String(source));
	return true;
}

bool Shader::State::add_files(const char **list, uint32_t num) {
	if (list == nullptr) return true;
	for (uint32_t i = 1; i < num; i += 2) add_file(list[i - 1], list[i]);
	return true;
}

bool Shader::State::remove_file(const char *name) {
	return files.remove(String(name));
}

bool Shader::State::remove_macro(const char *name) {
	return macros.remove(String(name));
}

//
// queries
//

const Shader::State::Macro &Shader::State::get_macro(const char *name) const {
	static const Macro empty;
	const Macro *macro = macros.get(String(name));
	return macro ? *macro : empty;
}

bool Shader::State::has_macro(const char *name) const {
	return macros.get(String(name)) != nullptr;
}

String Shader::State::get_macros(bool simple) const {
	StringStack<64> groups[3];
	for (auto it = macros.begin(); it != macros.end(); ++it) {
		const String &name = it->key;
		const String &value = it->value.value;
		if (it->value.predefined) continue;
		uint32_t group = 2;
		if (name.contains("SHADER") || name.contains("__FILE__")) group = 0;
		else if (value.find('\n') == ~0u) group = 1;
		String &out = groups[group];
		if (out.size()) out.append("; ");
		out.append(name);
		if (value.size()) {
			out.append('=');
			out.append(value);
		}
	}
	StringStack<64> ret;
	for (uint32_t i = 0; i < (simple ? 2u : 3u); i++) {
		if (groups[i].size() == 0) continue;
		if (ret.size()) ret.append("; ");
		ret.append(groups[i]);
	}
	return String(static_cast<StringStack<64> &&>(ret));
}

String Shader::State::get_name() const {
	if (const Macro *file = macros.get(String("__FILE__"))) return file->value;
	for (auto it = macros.begin(); it != macros.end(); ++it) {
		const String &name = it->key;
		if (it->value.value != "1" || name.size() < 7) continue;
		uint32_t pos = name.find("_SHADER");
		if (pos != ~0u && pos + 7 == name.size()) return name;
	}
	return String("memory");
}

String Shader::State::get_file(uint32_t offset) const {
	for (uint32_t i = file_table.size(); i > 0; i--) {
		const FileRecord &record = file_table[i - 1];
		if (offset >= record.offset && offset - record.offset < record.size) return record.name;
	}
	return get_name();
}

uint32_t Shader::State::get_line(uint32_t offset) const {
	for (uint32_t i = file_table.size(); i > 0; i--) {
		const FileRecord &record = file_table[i - 1];
		if (offset < record.offset || offset - record.offset >= record.size) continue;
		uint64_t r = (uint64_t)offset - record.offset + 2;
		uint32_t count = record.offsets.size() < record.lines.size() ? record.offsets.size() : record.lines.size();
		for (uint32_t j = count; j > 0; j--) {
			if (record.offsets[j - 1] <= r) return record.lines[j - 1];
		}
	}
	if (file_table.size() == 0 || file_table.back().lines.size() == 0) return ~0u;
	return file_table.back().lines.back();
}

const Shader::State::Pragma &Shader::State::get_pragma(const char *name) const {
	static const Pragma empty;
	for (uint32_t i = 0; i < pragmas.size(); i++) {
		if (pragmas[i].name == name) return pragmas[i];
	}
	return empty;
}

bool Shader::State::has_pragma(const char *name) const {
	for (uint32_t i = 0; i < pragmas.size(); i++) {
		if (pragmas[i].name == name) return true;
	}
	return false;
}

const String &Shader::State::get_file_source(const String &name) const {
	const String *source = files.get(name);
	return source ? *source : String::null;
}

} // namespace Vexa
