// Helpers of the decompiled-listing tests: rendering a module in-process the
// way `shader -d` does, and counting, per function, the instructions with
// side effects both in spirv-dis output and in a listing, so that a listing
// can be checked against an independent disassembler instead of against
// restated expectations.
#pragma once

#include "spirv_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace listing_test {

using namespace spirv_test;

struct Rendered {
	bool loaded = false;
	bool ok = false;
	std::string text;
	std::string errors;
};

// `load` and `get_source` of a given object, which the test may then inspect
inline Rendered render_with(Vexa::ShaderSpirv &spirv, const std::vector<uint32_t> &words) {
	Rendered ret;
	LogCapture capture;
	ret.loaded = spirv.load(to_array(words));
	if (ret.loaded) {
		Vexa::String text;
		ret.ok = spirv.get_source(text);
		ret.text = text.get();
	}
	ret.errors = capture.errors;
	return ret;
}

// `load` and `get_source` of a plain object, as the -d output runs them, or
// of an object of a backend class of the tests
template <class Renderer = Vexa::ShaderSpirv>
Rendered render(const std::vector<uint32_t> &words) {
	Renderer spirv;
	return render_with(spirv, words);
}

// the listing loaded and rendered, and logged nothing
inline void expect_rendered(const Rendered &listing, const std::string &what) {
	EXPECT_TRUE(listing.loaded) << what << ": " << listing.errors;
	EXPECT_TRUE(listing.ok) << what << ": " << listing.errors;
	EXPECT_EQ(listing.errors, "") << what;
}

// whether `line` is a whole line of `text`
inline bool has_line(const std::string &text, const std::string &line) {
	return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

// whether `statement` is a whole line of `text` behind its indent of tabs
inline bool has_statement(const std::string &text, const std::string &statement) {
	std::istringstream lines(text);
	std::string line;
	while (std::getline(lines, line)) {
		size_t start = line.find_first_not_of('\t');
		if (start > 0 && start != std::string::npos && line.compare(start, std::string::npos, statement) == 0) return true;
	}
	return false;
}

// the lines between the line that opens the function `name` and its closing
// brace, empty when the listing has no such function
inline std::string body_of(const std::string &text, const std::string &name) {
	size_t open = text.find(" " + name + "(");
	if (open == std::string::npos) return std::string();
	open = text.find("{\n", open);
	if (open == std::string::npos) return std::string();
	size_t close = text.find("\n}\n", open);
	if (close == std::string::npos) return std::string();
	return text.substr(open + 2, close + 1 - open - 2);
}

// how often `part` stands in `text`, overlaps included
inline size_t count_of(const std::string &text, const std::string &part) {
	size_t ret = 0;
	for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ret++;
	return ret;
}

// How a listing that is not whole says so: its first error names what the
// module asks and the listing has no text for ("<slot>: unknown <what> ..."),
// or a line says that the renderer contradicted itself ("<slot>: internal
// error: ..."). A listing that loaded, failed and logged neither, or that
// rendered and logged anything at all, is Unnamed.
enum class Failure { None, Unsupported, Internal, Unnamed };

inline const char *failure_name(Failure failure) {
	switch (failure) {
		case Failure::None: return "renders";
		case Failure::Unsupported: return "fails on what the listing does not take";
		case Failure::Internal: return "fails with an internal error";
		case Failure::Unnamed: return "fails without naming the cause";
	}
	return "";
}

inline std::ostream &operator<<(std::ostream &out, Failure failure) {
	return out << failure_name(failure);
}

inline std::string first_line(const std::string &text) {
	return text.substr(0, text.find('\n'));
}

inline Failure failure_of(const Rendered &listing) {
	if (listing.errors.find(": internal error: ") != std::string::npos) return Failure::Internal;
	if (listing.loaded && listing.ok) return listing.errors.empty() ? Failure::None : Failure::Unnamed;
	if (listing.loaded && first_line(listing.errors).find(": unknown ") != std::string::npos) return Failure::Unsupported;
	return Failure::Unnamed;
}

inline std::string data_path(const std::string &name) {
	return std::string(VEXA_TEST_DATA) + "/" + name;
}

// The environment that the listing fixtures are written for: spirv-as
// assembles them for it, and spirv-val checks them under its rules.
const char *const fixture_env = "vulkan1.1";

// the module of assembly text, checked by spirv-val for the environment
inline std::vector<uint32_t> assemble_valid(const std::string &text, const char *env = fixture_env) {
	std::vector<uint32_t> words = assemble(text, env);
	EXPECT_FALSE(words.empty()) << text;
	EXPECT_EQ(spirv_val(words, env), "") << text;
	return words;
}

// the module of an assembly file of the test data, checked by spirv-val
inline std::vector<uint32_t> assemble_valid_file(const std::string &name, const char *env = fixture_env) {
	std::vector<uint32_t> words = assemble(read_text(data_path(name)), env);
	EXPECT_FALSE(words.empty()) << name;
	EXPECT_EQ(spirv_val(words, env), "") << name;
	return words;
}

// the glslangValidator target environment of a GLSL file of the test data,
// by its stage, and the name that spirv-val and spirv-opt give it
inline std::string compile_env(const std::string &name) {
	std::string ext = name.substr(name.rfind('.') + 1);
	if (ext == "task" || ext == "mesh" || ext == "rgen" || ext == "rmiss" || ext == "rchit" || ext == "rahit" ||
		ext == "rint" || ext == "rcall") {
		return "spirv1.4";
	}
	return "vulkan1.2";
}
inline std::string module_env(const std::string &name) {
	std::string env = compile_env(name);
	return (env == "spirv1.4") ? "spv1.4" : env;
}

// glslangValidator's module of a GLSL file of the test data, for its stage
inline std::vector<uint32_t> compile_file(const std::string &name, std::string *errors = nullptr) {
	std::string ext = name.substr(name.rfind('.') + 1);
	std::string out = temp_path(ext + ".spv");
	std::vector<uint32_t> words;
	if (run("glslangValidator -V --target-env " + compile_env(name) + " -o " + out + " " + data_path(name), errors)) {
		words = read_words(out);
	}
	std::remove(out.c_str());
	return words;
}

// spirv-opt -O of a module, for a target environment (empty when it fails)
inline std::vector<uint32_t> optimize(const std::vector<uint32_t> &words, const std::string &env = "") {
	std::string in = temp_path("in.spv");
	std::string out = temp_path("out.spv");
	write_words(in, words);
	std::vector<uint32_t> ret;
	std::string target = env.empty() ? std::string() : " --target-env=" + env;
	if (run("spirv-opt -O" + target + " -o " + out + " " + in)) ret = read_words(out);
	std::remove(in.c_str());
	std::remove(out.c_str());
	return ret;
}

inline std::string disassemble(const std::vector<uint32_t> &words) {
	std::string in = temp_path("in.spv");
	std::string out = temp_path("out.txt");
	write_words(in, words);
	std::string ret;
	if (run("spirv-dis --no-color --raw-id -o " + out + " " + in)) ret = read_text(out);
	std::remove(in.c_str());
	std::remove(out.c_str());
	return ret;
}

// what one function does that a listing must neither drop nor repeat
struct Work {
	int stores = 0;
	int atomics = 0;
	int image_writes = 0;
	int barriers = 0;
	int kills = 0;
	int calls = 0;
	int emits = 0;

	bool operator==(const Work &w) const {
		return stores == w.stores && atomics == w.atomics && image_writes == w.image_writes && barriers == w.barriers &&
			kills == w.kills && calls == w.calls && emits == w.emits;
	}
	std::string str() const {
		return "stores " + std::to_string(stores) + ", atomics " + std::to_string(atomics) + ", image writes " +
			std::to_string(image_writes) + ", barriers " + std::to_string(barriers) + ", kills " + std::to_string(kills) +
			", calls " + std::to_string(calls) + ", emits " + std::to_string(emits);
	}
};

// per function of spirv-dis output, in the listing's order: module order with
// the entry point last
inline std::vector<Work> count_disassembly(const std::string &text) {
	std::vector<std::pair<std::string, Work>> functions;
	std::string entry;
	std::istringstream lines(text);
	std::string line;
	static const std::regex entry_point(R"(OpEntryPoint \w+ (%\w+))");
	static const std::regex function(R"((%\w+) = OpFunction )");
	static const std::regex opcode(R"((?:^|\s)(Op\w+))");
	Work *current = nullptr;
	while (std::getline(lines, line)) {
		std::smatch m;
		if (std::regex_search(line, m, entry_point)) entry = m[1];
		if (std::regex_search(line, m, function)) {
			functions.push_back({m[1], Work()});
			current = &functions.back().second;
			continue;
		}
		if (current == nullptr || !std::regex_search(line, m, opcode)) continue;
		std::string op = m[1];
		if (op == "OpFunctionEnd") current = nullptr;
		else if (op == "OpStore" || op == "OpCopyMemory") current->stores++;
		// a function variable's initialiser is its first store
		else if (op == "OpVariable" && std::regex_search(line, std::regex(R"(OpVariable %\w+ Function %\w+)"))) current->stores++;
		else if (op.compare(0, 8, "OpAtomic") == 0) current->atomics++;
		else if (op == "OpImageWrite") current->image_writes++;
		else if (op == "OpControlBarrier" || op == "OpMemoryBarrier") current->barriers++;
		else if (op == "OpKill" || op == "OpTerminateInvocation") current->kills++;
		else if (op == "OpFunctionCall") current->calls++;
		else if (op == "OpEmitVertex" || op == "OpEndPrimitive" || op == "OpEmitStreamVertex" || op == "OpEndStreamPrimitive" ||
			op == "OpEmitMeshTasksEXT" || op == "OpSetMeshOutputsEXT" || op == "OpTraceRayKHR" || op == "OpExecuteCallableKHR" ||
			op == "OpReportIntersectionKHR") {
			current->emits++;
		}
	}
	std::vector<Work> ret;
	for (auto &f : functions) {
		if (f.first != entry) ret.push_back(f.second);
	}
	for (auto &f : functions) {
		if (f.first == entry) ret.push_back(f.second);
	}
	return ret;
}

inline bool is_word(char c) {
	return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// occurrences of name followed by "(" that are not the tail of a longer name or a member
inline int count_calls(const std::string &text, const std::string &name) {
	int ret = 0;
	for (size_t at = text.find(name + "("); at != std::string::npos; at = text.find(name + "(", at + 1)) {
		if (at > 0 && (is_word(text[at - 1]) || text[at - 1] == '.')) continue;
		ret++;
	}
	return ret;
}

inline std::string trim(const std::string &s) {
	size_t a = s.find_first_not_of(" \t");
	size_t b = s.find_last_not_of(" \t");
	return (a == std::string::npos) ? std::string() : s.substr(a, b - a + 1);
}

// splits at `separator` where no parenthesis or bracket is open
inline std::vector<std::string> split_top(const std::string &s, char separator) {
	std::vector<std::string> ret;
	int depth = 0;
	size_t start = 0;
	for (size_t i = 0; i < s.size(); i++) {
		if (s[i] == '(' || s[i] == '[') depth++;
		else if (s[i] == ')' || s[i] == ']') depth--;
		else if (s[i] == separator && depth == 0) {
			ret.push_back(trim(s.substr(start, i - start)));
			start = i + 1;
		}
	}
	ret.push_back(trim(s.substr(start)));
	return ret;
}

// the name that a statement declares as a variable of the listing's own, with
// no storage class and no value ("type name;": a Phi, or a value named before
// the construct that computes it), empty for any other statement
inline std::string listing_variable(const std::string &statement) {
	static const std::regex declaration(R"(^[A-Za-z_]\w* ([A-Za-z_]\w*)(\[[^\]]*\])*$)");
	std::smatch m;
	std::string s = trim(statement);
	return std::regex_match(s, m, declaration) ? std::string(m[1]) : std::string();
}

// whether one statement of a listing stores to memory: an assignment, an
// update, or a declaration with an initialiser; a temporary ("type name = ...")
// a named increment operand ("[constant] ...") and an assignment to one of
// the listing's own variables (`own`) are not stores
inline bool is_store(const std::string &statement, const std::set<std::string> &own = {}) {
	std::string s = trim(statement);
	if (s.size() >= 2 && (s.compare(s.size() - 2, 2, "++") == 0 || s.compare(s.size() - 2, 2, "--") == 0)) return true;
	int depth = 0;
	for (size_t i = 0; i < s.size(); i++) {
		char c = s[i];
		if (c == '(' || c == '[') depth++;
		else if (c == ')' || c == ']') depth--;
		if (c != '=' || depth != 0) continue;
		char before = i ? s[i - 1] : 0;
		char after = (i + 1 < s.size()) ? s[i + 1] : 0;
		if (after == '=' || before == '=' || before == '!' || ((before == '<' || before == '>') && !(i >= 2 && s[i - 2] == before))) {
			if (after == '=') i++;
			continue;
		}
		std::string lhs = trim(s.substr(0, i));
		while (!lhs.empty() && std::string("+-*/%&|^<>").find(lhs.back()) != std::string::npos) lhs.pop_back();
		lhs = trim(lhs);
		if (lhs.compare(0, 9, "[constant") == 0 || own.count(lhs)) return false;
		if (!lhs.empty() && lhs[0] == '[') return true;
		static const std::regex temporary(R"(^[A-Za-z_]\w* [A-Za-z_]\w*(\[[^\]]*\])*$)");
		return !std::regex_match(lhs, temporary);
	}
	return false;
}

// the statements of one line of a listing
inline std::vector<std::string> line_statements(std::string line) {
	std::vector<std::string> ret;
	line = trim(line);
	// the attribute of a loop or a selection
	static const std::regex control(R"(^\[(?:unroll|loop|flatten|branch)\] )");
	line = std::regex_replace(line, control, "");
	if (line.compare(0, 4, "for(") == 0) {
		size_t close = line.rfind(") {");
		std::vector<std::string> clauses = split_top(line.substr(4, close - 4), ';');
		if (!clauses.empty()) ret.push_back(clauses[0]);
		if (clauses.size() == 3) {
			for (const std::string &s : split_top(clauses[2], ',')) ret.push_back(s);
		}
		return ret;
	}
	// a body pulled up behind its "{"
	size_t open = line.find("{ ");
	if (open != std::string::npos && line.size() >= 2 && line.compare(line.size() - 2, 2, " }") == 0) {
		std::string inner = line.substr(open + 2, line.size() - open - 4);
		return line_statements(inner);
	}
	if (line.compare(0, 3, "if(") == 0 || line.compare(0, 5, "else ") == 0 || line.compare(0, 6, "while(") == 0 ||
		line.compare(0, 7, "switch(") == 0 || line.compare(0, 2, "do") == 0 || line.compare(0, 1, "}") == 0 ||
		line.compare(0, 5, "case ") == 0 || line.compare(0, 8, "default:") == 0) {
		return ret;
	}
	for (const std::string &s : split_top(line, ';')) {
		if (!s.empty()) ret.push_back(s);
	}
	return ret;
}

inline int count_matches(const std::string &text, const std::regex &re) {
	return static_cast<int>(std::distance(std::sregex_iterator(text.begin(), text.end(), re), std::sregex_iterator()));
}

// per function of a listing, in its order
inline std::vector<Work> count_listing(const std::string &text) {
	static const std::regex header(R"(^\[[^\]]*\] \S+ (\w+)\(.*\) \{$)");
	static const std::regex atomic(R"(\b(?:atomic|imageAtomic)[A-Z]\w*\()");
	static const std::regex image_write(R"(\bimageStore\()");
	static const std::regex barrier(R"(\b(?:barrier|subgroupBarrier|memoryBarrier\w*|groupMemoryBarrier|subgroupMemoryBarrier\w*)\(\))");
	static const std::regex kill(R"(\bdiscard\b)");
	static const std::regex emit(
		R"(\b(?:EmitVertex|EndPrimitive|EmitStreamVertex|EndStreamPrimitive|EmitMeshTasksEXT|SetMeshOutputsEXT|traceRayEXT|executeCallableKHR|reportIntersectionEXT)\()");
	std::vector<std::string> names;
	std::vector<std::string> bodies;
	std::istringstream lines(text);
	std::string line;
	bool inside = false;
	while (std::getline(lines, line)) {
		std::smatch m;
		if (!inside && std::regex_match(line, m, header)) {
			names.push_back(m[1]);
			bodies.push_back("");
			inside = true;
		} else if (inside && line == "}") {
			inside = false;
		} else if (inside) {
			bodies.back() += line + "\n";
		}
	}
	std::vector<Work> ret;
	for (const std::string &body : bodies) {
		Work w;
		std::set<std::string> own;
		std::istringstream body_lines(body);
		while (std::getline(body_lines, line)) {
			for (const std::string &s : line_statements(line)) {
				std::string variable = listing_variable(s);
				if (!variable.empty()) own.insert(variable);
				else if (is_store(s, own)) w.stores++;
			}
		}
		w.atomics = count_matches(body, atomic);
		w.image_writes = count_matches(body, image_write);
		w.barriers = count_matches(body, barrier);
		w.kills = count_matches(body, kill);
		w.emits = count_matches(body, emit);
		// overloads share a name
		for (size_t i = 0; i < names.size(); i++) {
			if (std::find(names.begin(), names.begin() + i, names[i]) == names.begin() + i) w.calls += count_calls(body, names[i]);
		}
		ret.push_back(w);
	}
	return ret;
}

// the listing of a module does the work of its disassembly, function by function
inline void expect_same_work(const std::vector<uint32_t> &words, const Rendered &listing, const std::string &what) {
	std::vector<Work> expected = count_disassembly(disassemble(words));
	std::vector<Work> actual = count_listing(listing.text);
	ASSERT_EQ(actual.size(), expected.size()) << what << ": functions in the listing\n" << listing.text;
	for (size_t i = 0; i < expected.size(); i++) {
		EXPECT_TRUE(actual[i] == expected[i]) << what << ", function " << i << ":\n  disassembly: " << expected[i].str()
											  << "\n  listing:     " << actual[i].str() << "\n"
											  << listing.text;
	}
}

} // namespace listing_test
