// The preprocessor: turns shader source text into the text the GLSL compiler
// reads. One pass over the characters, copying straight into the output:
// comments are removed, conditional directives select the text, definitions
// and pragmas go into the State, included files are spliced in, macros are
// expanded, and unknown directives (#version, #extension) pass through for
// the compiler. Each call appends one record to the State's file table that
// maps offsets of its output back to source lines, for error messages.
//
// As in GLSL and C, a backslash before a line break joins the two lines
// before anything else is read: a text holding such pairs is scanned as a
// copy without them, and the line count moves on where each one stood, so
// that the lines reported stay those of the text. "#line" changes the line
// numbers reported from the next line on, and "#version" defines
// "__VERSION__" and the macro of its profile.
//
// Everything here treats the text as untrusted: an include of a file that is
// already being included more than once, too deep include nesting, too many
// includes or too much source text in one run, and output that grows past a
// bound end with an error instead of a hang or an exhausted memory, and errors
// of every kind, a definition or a pragma that the State refuses included, are
// logged with the file and line.
#include "shader/Shader.h"

#include "core/Error.h"
#include "core/Log.h"
#include "core/Parser.h"
#include "core/Source.h"
#include "shader/ShaderState.h"

#include <cstdarg>
#include <cstring>

namespace Vexa {

namespace {

using State = Shader::State;

inline bool is_space(char c) {
	return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

inline bool is_blank(char c) {
	return c == ' ' || c == '\t';
}

// the length of a backslash-newline continuation at s (LF or CR LF), 0 if none
inline uint32_t continuation(const char *s) {
	if (s[0] != '\\') return 0;
	if (s[1] == '\n') return 2;
	if (s[1] == '\r' && s[2] == '\n') return 3;
	return 0;
}

// Reads a directive line from its '#' up to, not including, the LF that ends
// it (line continuations are gone from the text by then). CRs are dropped, and
// comments are removed: a block comment may run over several lines and
// belongs to the directive, a removed comment leaves one space where text
// follows it on the line. Double-quoted text is kept whole. *lines counts the
// LFs passed.
uint32_t read_directive(const char *src, String &out, uint32_t *lines) {
	const char *s = src;
	bool quoted = false;
	// after a comment: drops the blanks before it and keeps words apart
	auto end_comment = [&]() {
		while (out.size() && is_blank(out.fromBack(0))) out.removeBack(1);
		if (*s && !is_space(*s)) out.append(' ');
	};
	while (*s) {
		char c = *s;
		if (c == '\n') break;
		if (c == '\r') {
			s++;
			continue;
		}
		if (quoted) {
			out.append(c);
			s++;
			if (c == '"') quoted = false;
			else if (c == '\\' && *s != 0 && *s != '\n' && *s != '\r') out.append(*s++);
			continue;
		}
		if (c == '"') {
			quoted = true;
			out.append(c);
			s++;
			continue;
		}
		if (c == '/' && s[1] == '/') {
			s += 2;
			while (*s && *s != '\n') s++;
			end_comment();
			continue;
		}
		if (c == '/' && s[1] == '*') {
			s += Parser::skipComment(s, lines);
			end_comment();
			continue;
		}
		out.append(c);
		s++;
	}
	return (uint32_t)(s - src);
}

// The files being included, innermost first, as a chain through the calls.
struct IncludeChain {
	const String *name;
	const IncludeChain *parent;
	uint32_t depth;
};

// What one top-level run has taken in so far, its includes included: the
// bounds on them keep a text whose files include each other many times over
// from doing exponential work.
struct Totals {
	uint32_t includes = 0;
	uint64_t bytes = 0;
};

class Preprocessor {
public:
	Preprocessor(String &dst, State &state, bool expand, const IncludeChain *parent, Totals &totals)
		: dst(dst), state(state), expand(expand), parent(parent), totals(totals) {}

	bool run(const char *text);

private:
	void scan();
	void step();
	void trim();
	void copy_name();
	void directive();
	void conditional(const String &name, const char *rest);
	void define(const String &name, const char *rest, const String &line_text);
	void include(const String &name, const char *rest, const String &line_text);
	void extra_tokens(const String &name, const char *rest, const String &line_text);
	void line_directive(const String &name, const char *rest);
	void version(const char *rest);
	void check_size();
	void join_lines();
	void count_joins();
	// the line number reported for the current line: the line of the text
	// as a "#line" directive has renumbered it
	uint32_t reported_line() const {
		return line + lineShift;
	}
	void set_state_line() {
		state.line = reported_line();
		state.source = sourceNumber;
	}

	void push_condition(bool condition);
	bool enclosing_active() const {
		return zeros == (conditions.back() ? 0u : 1u);
	}
	void set_condition(bool condition) {
		if (conditions.back() && !condition) zeros++;
		if (!conditions.back() && condition) zeros--;
		conditions.back() = condition;
		active = zeros == 0;
	}

	String &dst;
	State &state;
	bool expand;
	const IncludeChain *parent;
	Totals &totals;

	const char *src = nullptr;
	const char *cursor = nullptr;
	// the text as given, and the offsets in src at which its line
	// continuations were removed
	const char *original = nullptr;
	String joined;
	Array<uint32_t> joins;
	uint32_t nextJoin = 0;
	uint32_t line = 1;
	uint32_t lineShift = 0;
	uint32_t sourceNumber = 0;
	bool active = true;
	bool lineStart = true;
	// the conditional stacks, and the count of zero bytes of the first, so
	// that whether all levels are taken is known without walking the stack
	ArrayStack<uint8_t, 128> conditions;
	// per level: 1 when a branch was taken, ElseSeen once its #else is met
	ArrayStack<uint8_t, 128> taken;
	static constexpr uint8_t ElseSeen = 2;
	uint32_t zeros = 0;
	String fileName;
	uint32_t fileIndex = 0;
	uint32_t startLength = 0;
	// the output offset of the step being made, lowered by trimming
	uint32_t stepOffset = 0;
	ArrayStack<String, 16> stack;
};

bool Preprocessor::run(const char *source_text) {
	original = source_text ? source_text : "";
	src = original;
	cursor = src;
	fileName = state.get_name();
	fileIndex = state.file_table.size();
	State::FileRecord record;
	record.name = fileName;
	record.lines.append(0);
	record.offsets.append(0);
	state.file_table.append(record);
	startLength = dst.size();
	try {
		// an include has counted its text before it came here
		if (parent == nullptr) {
			totals.bytes += strlen(original);
			if (totals.bytes > State::MaxSourceSize) throwError("source text is too long\n");
		}
		join_lines();
		scan();
	} catch (const String &error) {
		// the source line of the error, as it stands in the text
		const char *s = original + Parser::skipLines(original, line - 1);
		StringStack<64> text_line;
		while (*s && *s != '\n') {
			if (*s != '\r') text_line.append(*s);
			s++;
		}
		Log::printf(Log::Error, "Shader::preprocessor(): %s%s:%u: %s\n", error.get(), fileName.get(), reported_line(), text_line.get());
		return false;
	}
	return true;
}

void Preprocessor::scan() {
	while (*cursor) {
		stepOffset = dst.size();
		step();
		check_size();
		count_joins();
		State::FileRecord &record = state.file_table[fileIndex];
		if (reported_line() != record.lines.back()) {
			record.lines.append(reported_line());
			record.offsets.append(stepOffset > startLength ? stepOffset - startLength : 0);
		}
	}
	if (conditions.size()) throwError("unfinished conditional directive\n");
	State::FileRecord &record = state.file_table[fileIndex];
	record.size = dst.size() > startLength ? dst.size() - startLength : 0;
}

// the text without its line continuations, when it has any
void Preprocessor::join_lines() {
	const char *run = original;
	const char *s = original;
	while (*s) {
		uint32_t size = continuation(s);
		if (size == 0) {
			s++;
			continue;
		}
		joined.append(run, (uint32_t)(s - run));
		joins.append(joined.size());
		s += size;
		run = s;
	}
	if (joins.size() == 0) return;
	joined.append(run, (uint32_t)(s - run));
	src = joined.get();
	cursor = src;
}

// the lines of the continuations that the cursor has passed
void Preprocessor::count_joins() {
	uint32_t offset = (uint32_t)(cursor - src);
	while (nextJoin < joins.size() && joins[nextJoin] <= offset) {
		line++;
		nextJoin++;
	}
}

void Preprocessor::check_size() {
	if (dst.size() > State::MaxOutputSize) throwError("preprocessed text is too long\n");
}

// output lines carry no trailing spaces and no empty lines survive
void Preprocessor::trim() {
	while (dst.size() && is_space(dst.fromBack(0))) dst.removeBack(1);
	if (stepOffset > dst.size()) stepOffset = dst.size();
}

void Preprocessor::step() {
	char c = *cursor;
	if (c == '/' && cursor[1] == '/') {
		trim();
		if (active) dst.append('\n');
		cursor += Parser::skipComment(cursor, &line);
		lineStart = true;
		return;
	}
	if (c == '/' && cursor[1] == '*') {
		// a block comment becomes one line break, wherever it stands
		trim();
		if (active) dst.append('\n');
		cursor += Parser::skipComment(cursor, &line);
		uint32_t size = Parser::skipSpaces(cursor, &line);
		cursor += size;
		lineStart = size != 0;
		return;
	}
	if (c == '"') {
		if (active) cursor += Parser::readString(cursor, dst, true, true);
		else cursor += Parser::skipString(cursor);
		lineStart = false;
		return;
	}
	if (c == '\'') {
		if (active) cursor += Parser::readSymbol(cursor, dst, true, true);
		else cursor += Parser::skipSymbol(cursor);
		lineStart = false;
		return;
	}
	if (c == '\r') {
		cursor++;
		lineStart = false;
		return;
	}
	if (c == '\n') {
		trim();
		if (active) dst.append('\n');
		line++;
		cursor++;
		lineStart = true;
		return;
	}
	if (c == ' ' || c == '\t') {
		if (active) dst.append(c);
		cursor++;
		return;
	}
	if (c == '#' && lineStart) {
		if (cursor[1] == '#') {
			// "##" at the start of a line stands for a '#' that is no directive
			if (active) dst.append('#');
			cursor += 2;
			lineStart = false;
			return;
		}
		directive();
		lineStart = false;
		return;
	}
	lineStart = false;
	if (!active) {
		cursor++;
		return;
	}
	if (expand && Shader::isIdentifierChar(c)) {
		copy_name();
		return;
	}
	dst.append(c);
	cursor++;
}

// a run of name characters: a macro is expanded, anything else copied
void Preprocessor::copy_name() {
	const char *start = cursor;
	while (Shader::isIdentifierChar(*cursor)) cursor++;
	uint32_t size = (uint32_t)(cursor - start);
	StringStack<64> word(start, size);
	set_state_line();
	if (state.append_counter(word, dst)) return;
	if (state.macros.get(word) == nullptr) {
		dst.append(word);
		return;
	}
	stack.clear();
	uint32_t count = state.expand_macro(start, dst, stack);
	// an invocation whose arguments span lines moves the line on
	for (uint32_t i = size; i < count; i++) {
		if (start[i] == '\n') line++;
	}
	cursor = start + count;
}

void Preprocessor::directive() {
	StringStack<64> line_text;
	cursor += read_directive(cursor, line_text, &line);
	const char *d = line_text.get() + 1;
	StringStack<64> name;
	d += Parser::readName(d, name);
	d += Parser::skipSpaces(d);
	const char *rest = d;

	if (name == "if" || name == "ifdef" || name == "ifndef" || name == "elif" || name == "elifdef" || name == "elifndef" || name == "else" || name == "endif") {
		conditional(name, rest);
		if (name == "else" || name == "endif") extra_tokens(name, rest, line_text);
		return;
	}
	if (name == "define" || name == "defines") {
		if (active) define(name, rest, line_text);
		return;
	}
	if (name == "undef") {
		StringStack<64> macro;
		rest += Parser::readName(rest, macro);
		if (active) state.remove_macro(macro.get());
		extra_tokens(name, rest, line_text);
		return;
	}
	if (name == "line") {
		if (active) line_directive(name, rest);
		return;
	}
	if (name == "version" && active) version(rest);
	if (name == "pragma") {
		if (active) {
			set_state_line();
			// set_pragma has logged why
			if (!state.set_pragma(rest)) throwError("can't parse #%s directive\n", name.get());
		}
		return;
	}
	if (name == "include" || name == "import") {
		include(name, rest, line_text);
		return;
	}
	static const char *const levels[] = {"fatal", "error", "warning", "message", "verbose"};
	for (int32_t level = Log::Fatal; level <= Log::Verbose; level++) {
		if (name != levels[level]) continue;
		if (!active) return;
		Log::printf(level, "%s:%u: %s\n", fileName.get(), reported_line(), rest);
		// the log ends the process after a fatal message; where a log callback
		// took the message instead, the text still must not load
		if (level == Log::Fatal) throwError("#fatal directive\n");
		return;
	}
	if (active) dst.append(line_text);
}

void Preprocessor::push_condition(bool condition) {
	conditions.append(condition);
	taken.append(condition);
	if (!condition) zeros++;
	active = zeros == 0;
}

void Preprocessor::conditional(const String &name, const char *rest) {
	bool negate = name == "ifndef" || name == "elifndef";
	bool names = name == "ifdef" || name == "ifndef" || name == "elifdef" || name == "elifndef";
	auto evaluate = [&]() {
		set_state_line();
		int32_t r = names ? state.evaluate_ifdef(rest) : state.evaluate_if(rest);
		if (r < 0) throwError("invalid expression\n");
		return (r != 0) != negate;
	};

	if (name == "if" || name == "ifdef" || name == "ifndef") {
		push_condition(active ? evaluate() : false);
		return;
	}
	if (name == "endif") {
		if (conditions.size() == 0) throwError("#endif without #if\n");
		if (!conditions.back()) zeros--;
		conditions.pop();
		taken.pop();
		active = zeros == 0;
		return;
	}
	if (name == "else") {
		if (conditions.size() == 0) throwError("#else without #if\n");
		if (taken.back() & ElseSeen) throwError("can't parse #%s directive\n", name.get());
		set_condition(!taken.back() && enclosing_active());
		taken.back() = 1 | ElseSeen;
		return;
	}
	// elif, elifdef, elifndef; the expression is read only where it can
	// select the text
	if (conditions.size() == 0) throwError("#elif without #if\n");
	if (taken.back() & ElseSeen) throwError("can't parse #%s directive\n", name.get());
	if (taken.back() || !enclosing_active()) {
		set_condition(false);
		taken.back() = 1;
		return;
	}
	bool condition = evaluate();
	set_condition(condition);
	taken.back() = condition;
}

void Preprocessor::define(const String &name, const char *rest, const String &line_text) {
	StringStack<64> macro;
	const char *s = rest + Parser::readName(rest, macro);
	if (state.has_macro(macro.get())) {
		if (name == "defines") return;
		Log::printf(Log::Warning, "Shader::preprocessor(): \"%s\" macro redefined\n%s:%u %s\n", macro.get(), fileName.get(), reported_line(), line_text.get());
	}
	// a parameter list stands right after the name; after a space the
	// parenthesis begins the value of an object-like macro
	if (*s == '(') {
		StringStack<64> group;
		s += Parser::readRegion(s, group, '(', ')', true);
		s += Parser::skipSpaces(s);
		macro.append(group);
	} else {
		s += Parser::skipSpaces(s);
	}
	// set_macro has logged why
	if (!state.set_macro(macro.get(), s)) throwError("can't parse #%s directive\n", name.get());
}

void Preprocessor::include(const String &name, const char *rest, const String &line_text) {
	StringStack<64> file;
	bool quoted = *rest == '"';
	const char *s = rest;
	if (quoted) s += Parser::readString(s, file, false);
	else if (*s == '<') s += Parser::readRegion(s, file, '<', '>');
	else throwError("can't parse #%s directive\n", name.get());
	extra_tokens(name, s, line_text);
	if (!active) return;
	if (name == "import") {
		if (state.imports.find(file) != nullptr) return;
		state.imports.insert(file);
	}
	if (totals.includes >= State::MaxIncludeCount) throwError("too many included files\n");
	totals.includes++;

	// the State's own files, then the global ones, then the disk; a file
	// entered with an empty text stands for the one on the disk
	uint64_t room = State::MaxSourceSize - totals.bytes;
	String text;
	String path(file);
	bool disk = true;
	if (const String *source = state.files.get(path)) {
		if (source->size()) {
			if (source->size() > room) throwError("source text is too long\n");
			text = *source;
			disk = false;
		}
	} else {
		String global;
		if (Shader::getFile(path.get(), global) && global.size()) {
			if (global.size() > room) throwError("source text is too long\n");
			text = global;
			disk = false;
		}
	}
	if (disk) {
		if (!Source::isFile(path.get()) && quoted && fileName.size()) path = fileName.dirname() + path;
		// Only regular files are read from the disk: a device or a pipe
		// named by the text could block or never end. A process-wide open
		// callback answers for its own names.
		if (Source::isFile(path.get()) || Source::getOpenCallback() != nullptr) {
			Source source;
			if (source.open(path.get(), true) && !State::read_source(source, text, room)) {
				throwError("source text is too long\n");
			}
		}
	}
	if (text.empty()) throwError("can't %s \"%s\" file\n", name.get(), path.get());
	totals.bytes += text.size();

	uint32_t count = 0;
	uint32_t depth = 1;
	if (parent) depth = parent->depth + 1;
	if (fileName == path) count++;
	for (const IncludeChain *chain = parent; chain; chain = chain->parent) {
		if (*chain->name == path) count++;
	}
	// a file may include itself once, behind a guard that stops it there
	if (count >= 2) throwError("recursive #%s of \"%s\" file\n", name.get(), path.get());
	if (depth >= State::MaxIncludeDepth) throwError("too deep #%s of \"%s\" file\n", name.get(), path.get());

	state.set_file(path.get());
	uint32_t before = dst.size();
	uint32_t index = state.file_table.size();
	IncludeChain chain = {&fileName, parent, depth};
	Preprocessor nested(dst, state, expand, &chain, totals);
	bool ok = nested.run(text.get());
	if (before != 0 && index < state.file_table.size()) state.file_table[index].offset += before - 1;
	state.set_file(fileName.get());
	if (!ok) throwError("can't %s \"%s\" file\n", name.get(), path.get());
	check_size();
}

// the text after what a directive read must be empty
void Preprocessor::extra_tokens(const String &name, const char *rest, const String &line_text) {
	rest += Parser::skipSpaces(rest);
	if (*rest == 0) return;
	Log::printf(Log::Warning, "Shader::preprocessor(): extra tokens at the end of #%s directive\n%s:%u: %s\n", name.get(), fileName.get(), reported_line(), line_text.get());
}

// a decimal number of at most 2147483647, as "#version" takes it; false when
// none stands at *s
bool read_number(const char *&s, uint32_t &value) {
	s += Parser::skipSpaces(s);
	if (*s < '0' || *s > '9') return false;
	value = 0;
	while (*s >= '0' && *s <= '9') {
		if (value > 214748364u || (value == 214748364u && *s > '7')) return false;
		value = value * 10 + uint32_t(*s - '0');
		s++;
	}
	return true;
}

// "#line N" and "#line N M": the next line is numbered N, and "__FILE__"
// becomes M. Both are integer expressions, their macros expanded, read as
// "#if" reads its expression; the first ends where, outside parentheses, a
// complete operand is followed by no binary operator, so "#line L + 10 SRC"
// is the line L + 10 of the source string SRC.
void Preprocessor::line_directive(const String &name, const char *rest) {
	set_state_line();
	int32_t values[2] = {0, 0};
	StringStack<64> left;
	uint32_t count = state.evaluate_list(rest, values, 2, left);
	if (count == 0 || values[0] < 0) throwError("can't parse #%s directive: a line number must follow\n", name.get());
	if (left.size() && left[0] == '"') throwError("can't parse #%s directive: a source string is a number, not a file name\n", name.get());
	if (left.size()) throwError("can't parse #%s directive\n", name.get());
	if (count == 2 && values[1] < 0) throwError("can't parse #%s directive: a source string number is 0 or more\n", name.get());
	// the line break that ends the directive, after the lines it joined,
	// moves on to the next line
	count_joins();
	lineShift = (uint32_t)values[0] - (line + 1);
	if (count == 2) sourceNumber = (uint32_t)values[1];
}

// "#version N" and "#version N es": the predefined macros of the version and
// its profile; the directive itself goes on to the compiler
void Preprocessor::version(const char *rest) {
	const char *s = rest;
	uint32_t number = 0;
	if (!read_number(s, number)) return;
	StringStack<16> text;
	text.appendu32(number);
	state.set_predefined("__VERSION__", text.get());
	s += Parser::skipSpaces(s);
	StringStack<16> profile;
	while (Shader::isIdentifierChar(*s)) profile.append(*s++);
	if (profile == "es") state.set_predefined("GL_ES", "1");
	else if (number >= 150) state.set_predefined("GL_core_profile", "1");
	// high precision in fragment shaders: every ES version has it, and the
	// desktop versions from 1.30 on
	if (profile == "es" || number >= 130) state.set_predefined("GL_FRAGMENT_PRECISION_HIGH", "1");
}

} // namespace

bool Shader::State::read_source(Source &source, String &text, uint64_t limit) {
	text.clear();
	if (limit > String::MaxCapacity) limit = String::MaxCapacity;
	if (source.getSize() > limit) return false;
	char buffer[16384];
	while (size_t count = source.read(buffer, sizeof(buffer))) {
		if (count > limit - text.size()) {
			text.clear();
			return false;
		}
		text.append(buffer, (uint32_t)count);
	}
	return true;
}

bool Shader::preprocessor(const char *src, String &dst, State &state, bool expand) {
	Totals totals;
	state.expansion_work = 0;
	Preprocessor preprocessor(dst, state, expand, nullptr, totals);
	return preprocessor.run(src);
}

String Shader::preprocessor(const char *src, const char *format, ...) {
	String list;
	if (format) {
		va_list args;
		va_start(args, format);
		list = String::vformat(format, args);
		va_end(args);
	}
	State state(getDefaultState());
	if (!state.set_macros(list.get())) return String();
	String dst;
	if (!preprocessor(src, dst, state, true)) return String();
	return dst;
}

String Shader::preprocessor(const char *src, const String &macros, const char **files, uint32_t num) {
	State state(getDefaultState());
	if (!state.set_macros(macros.get())) return String();
	state.add_files(files, num);
	String dst;
	if (!preprocessor(src, dst, state, true)) return String();
	return dst;
}

} // namespace Vexa
