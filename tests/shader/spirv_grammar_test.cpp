// The hand-written opcode tables of the SPIR-V reader held against the
// machine-readable SPIR-V grammar that the system's headers package installs:
// the operand layouts of the checking pass, the opcode classes of the reader
// and the renderer, where the image operands start, the operand counts of
// the GLSL.std.450 instructions, and every number of the numbers header. The grammar is read at test time; the tests
// skip where it is not installed.
#include "shader/ShaderSpirv.h"
#include "shader/ShaderSpirvCheck.h"
#include "shader/ShaderSpirvNumbers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace Vexa;

namespace {

const char *core_grammar = "/usr/include/spirv/unified1/spirv.core.grammar.json";
const char *glsl_grammar = "/usr/include/spirv/unified1/extinst.glsl.std.450.grammar.json";

// A JSON value: the few kinds the grammar files use.
struct Json {
	enum Kind { Null, Bool, Number, String, Array, Object };
	Kind kind = Null;
	bool boolean = false;
	double number = 0.0;
	std::string text;
	std::vector<Json> items;
	std::vector<std::pair<std::string, Json>> members;

	// the member of an object named key, or nullptr
	const Json *get(const char *key) const {
		for (const auto &member : members) {
			if (member.first == key) return &member.second;
		}
		return nullptr;
	}
	// the string member named key, or "" where there is none
	std::string get_text(const char *key) const {
		const Json *value = get(key);
		return (value && value->kind == String) ? value->text : std::string();
	}
	// the array member named key (empty where there is none)
	const std::vector<Json> &get_items(const char *key) const {
		static const std::vector<Json> none;
		const Json *value = get(key);
		return (value && value->kind == Array) ? value->items : none;
	}
};

// A small reader of JSON text. It is tolerant where the grammar files need
// no strictness (escapes other than \" and \\ are kept as one character,
// \u sequences as '?'), and it fails on text it cannot follow, naming where.
class JsonReader {
public:
	explicit JsonReader(const std::string &text) : text(text) {}

	bool read(Json &value) {
		if (!read_value(value, 0)) return false;
		skip_space();
		return position == text.size() || fail("text after the value");
	}

	std::string error;

private:
	bool fail(const char *what) {
		if (error.empty()) error = std::string(what) + " at byte " + std::to_string(position);
		return false;
	}
	void skip_space() {
		while (position < text.size() && (text[position] == ' ' || text[position] == '\t' || text[position] == '\n' || text[position] == '\r')) {
			position++;
		}
	}
	bool take(char c) {
		skip_space();
		if (position < text.size() && text[position] == c) {
			position++;
			return true;
		}
		return false;
	}
	bool take_word(const char *word) {
		size_t size = std::char_traits<char>::length(word);
		if (text.compare(position, size, word) != 0) return false;
		position += size;
		return true;
	}

	bool read_string(std::string &out) {
		if (!take('"')) return fail("expected a string");
		while (position < text.size() && text[position] != '"') {
			char c = text[position++];
			if (c == '\\') {
				if (position >= text.size()) break;
				c = text[position++];
				if (c == 'n') c = '\n';
				else if (c == 't') c = '\t';
				else if (c == 'u') {
					position += 4;
					c = '?';
				}
			}
			out += c;
		}
		if (position >= text.size()) return fail("unterminated string");
		position++;
		return true;
	}

	bool read_value(Json &value, int depth) {
		if (depth > 64) return fail("too deep");
		skip_space();
		if (position >= text.size()) return fail("expected a value");
		char c = text[position];
		if (c == '{') {
			position++;
			value.kind = Json::Object;
			if (take('}')) return true;
			do {
				std::pair<std::string, Json> member;
				if (!read_string(member.first)) return false;
				if (!take(':')) return fail("expected ':'");
				if (!read_value(member.second, depth + 1)) return false;
				value.members.push_back(std::move(member));
			} while (take(','));
			return take('}') || fail("expected '}'");
		}
		if (c == '[') {
			position++;
			value.kind = Json::Array;
			if (take(']')) return true;
			do {
				value.items.emplace_back();
				if (!read_value(value.items.back(), depth + 1)) return false;
			} while (take(','));
			return take(']') || fail("expected ']'");
		}
		if (c == '"') {
			value.kind = Json::String;
			return read_string(value.text);
		}
		if (take_word("true") || take_word("false")) {
			value.kind = Json::Bool;
			value.boolean = (c == 't');
			return true;
		}
		if (take_word("null")) return true;
		const char *start = text.c_str() + position;
		char *end = nullptr;
		value.number = std::strtod(start, &end);
		if (end == start) return fail("unexpected character");
		value.kind = Json::Number;
		position += static_cast<size_t>(end - start);
		return true;
	}

	const std::string &text;
	size_t position = 0;
};

// The grammar file at path read into root; false (with the reason in error)
// where it does not read as JSON.
bool read_grammar(const char *path, Json &root, std::string &error) {
	std::ifstream file(path, std::ios::binary);
	std::stringstream ss;
	ss << file.rdbuf();
	std::string text = ss.str();
	JsonReader reader(text);
	if (reader.read(root) && root.kind == Json::Object) return true;
	error = std::string(path) + ": " + (reader.error.empty() ? std::string("not an object") : reader.error);
	return false;
}

bool exists(const char *path) {
	return std::ifstream(path).good();
}

// One instruction of the core grammar: its name and the layout that the
// checking pass's letters give its operands.
struct Instruction {
	std::string name;
	std::string layout;
};

// The letter of an operand of the grammar in the checking pass's alphabet.
// Enumerants are single words unless one of their kind carries parameters,
// which the check does not follow ('e' and 'f'); the image operands are the
// mask and its id parameters whether or not the grammar makes them optional.
char get_letter(const std::string &kind, const std::string &quantifier, const std::set<std::string> &parameterised) {
	bool optional = (quantifier == "?");
	bool variadic = (quantifier == "*");
	if (kind == "IdResultType") return 't';
	if (kind == "IdResult") return 'r';
	if (kind == "IdRef" || kind == "IdScope" || kind == "IdMemorySemantics") return variadic ? 'k' : optional ? 'j' : 'i';
	if (kind == "LiteralString") return optional ? 'u' : 's';
	if (kind == "LiteralContextDependentNumber") return 'v';
	if (kind == "ImageOperands") return 'm';
	if (kind == "PairLiteralIntegerIdRef") return 'p';
	if (kind == "PairIdRefIdRef") return 'q';
	if (kind == "PairIdRefLiteralInteger") return 'g';
	if (parameterised.count(kind)) return optional ? 'f' : 'e';
	// literal numbers and enumerants of one word
	return variadic ? 'x' : optional ? 'o' : 'n';
}

// The core grammar by opcode, or an empty map with the reason in error.
std::map<uint32_t, Instruction> read_instructions(std::string &error) {
	std::map<uint32_t, Instruction> ret;
	Json root;
	if (!read_grammar(core_grammar, root, error)) return ret;
	std::set<std::string> parameterised;
	for (const Json &kind : root.get_items("operand_kinds")) {
		for (const Json &enumerant : kind.get_items("enumerants")) {
			if (!enumerant.get_items("parameters").empty()) parameterised.insert(kind.get_text("kind"));
		}
	}
	for (const Json &instruction : root.get_items("instructions")) {
		const Json *opcode = instruction.get("opcode");
		if (opcode == nullptr || opcode->kind != Json::Number) {
			error = std::string(core_grammar) + ": an instruction without an opcode";
			return {};
		}
		Instruction entry;
		entry.name = instruction.get_text("opname");
		for (const Json &operand : instruction.get_items("operands")) {
			entry.layout += get_letter(operand.get_text("kind"), operand.get_text("quantifier"), parameterised);
		}
		uint32_t op = static_cast<uint32_t>(opcode->number);
		// aliases share an opcode; they must agree
		auto found = ret.find(op);
		if (found != ret.end() && found->second.layout != entry.layout) {
			error = found->second.name + " and " + entry.name + " share opcode " + std::to_string(op) + " with different operands";
			return {};
		}
		if (found == ret.end()) ret[op] = entry;
	}
	if (ret.empty()) error = std::string(core_grammar) + ": no instructions";
	return ret;
}

std::string describe(uint32_t op, const std::map<uint32_t, Instruction> &grammar) {
	auto found = grammar.find(op);
	return ((found == grammar.end()) ? std::string("opcode") : found->second.name) + " (" + std::to_string(op) + ")";
}

} // namespace

// Every layout of the table is the one the grammar gives the opcode. A wrong
// letter lets the check pass an instruction that the reader then reads past
// its end, or refuse a valid one; a wrong result position defines the wrong id.
// The binary search over the table also needs it sorted.
TEST(SpirvGrammar, CheckLayoutsMatchGrammar) {
	if (!exists(core_grammar)) GTEST_SKIP() << core_grammar << " is not installed (Debian package spirv-headers)";
	std::string error;
	std::map<uint32_t, Instruction> grammar = read_instructions(error);
	ASSERT_FALSE(grammar.empty()) << error;

	uint32_t count = 0;
	const Spirv::OperandLayout *layouts = Spirv::get_operand_layouts(count);
	ASSERT_GT(count, 0u);
	std::string faults;
	for (uint32_t k = 0; k < count; k++) {
		uint32_t op = layouts[k].opcode;
		if (k > 0 && op <= layouts[k - 1].opcode) faults += "opcode " + std::to_string(op) + " is out of order\n";
		auto found = grammar.find(op);
		if (found == grammar.end()) {
			faults += "opcode " + std::to_string(op) + " is not in the grammar\n";
			continue;
		}
		if (found->second.layout != layouts[k].operands) {
			faults += describe(op, grammar) + ": table \"" + layouts[k].operands + "\", grammar \"" + found->second.layout + "\"\n";
		}
		// what the check applies is the table entry
		EXPECT_EQ(Spirv::find_operand_layout(op), layouts + k) << describe(op, grammar);
	}
	EXPECT_EQ(faults, "");
}

// The reader takes the word after the opcode of a type for its result, and
// the two words of a value for its result type and result; the checking pass
// proves at least those words for every such opcode (from its table, or with
// a layout of the result alone). Where the image operands begin, the reader
// takes a mask and ids, not arguments. None of this may disagree with the
// grammar: OpAtomicStore, for one, has no result, and its third word is a
// scope that a value's reading would take for a definition.
TEST(SpirvGrammar, ReaderClassesMatchGrammar) {
	if (!exists(core_grammar)) GTEST_SKIP() << core_grammar << " is not installed (Debian package spirv-headers)";
	std::string error;
	std::map<uint32_t, Instruction> grammar = read_instructions(error);
	ASSERT_FALSE(grammar.empty()) << error;

	std::string faults;
	uint32_t types = 0;
	uint32_t values = 0;
	uint32_t images = 0;
	for (const auto &entry : grammar) {
		uint32_t op = entry.first;
		const std::string &layout = entry.second.layout;
		int32_t code = static_cast<int32_t>(op);
		const Spirv::OperandLayout *checked = Spirv::find_operand_layout(op);
		std::string applied = checked ? checked->operands : "(skipped)";
		if (ShaderSpirv::is_type_opcode(code)) {
			types++;
			if (layout.compare(0, 1, "r") != 0) faults += describe(op, grammar) + " is a type, but the grammar has \"" + layout + "\"\n";
			if (applied.compare(0, 1, "r") != 0) faults += describe(op, grammar) + " is a type, but the check applies " + applied + "\n";
		}
		if (ShaderSpirv::is_value_opcode(code)) {
			values++;
			if (layout.compare(0, 2, "tr") != 0) faults += describe(op, grammar) + " is a value, but the grammar has \"" + layout + "\"\n";
			if (applied.compare(0, 2, "tr") != 0) faults += describe(op, grammar) + " is a value, but the check applies " + applied + "\n";
		}
		size_t mask = layout.find('m');
		int32_t expected = (mask == std::string::npos) ? -1 : static_cast<int32_t>(mask) + 1;
		int32_t index = ShaderSpirv::get_image_operand_index(code);
		if (ShaderSpirv::is_image_opcode(code) || index >= 0) {
			images++;
			if (index != expected) {
				faults += describe(op, grammar) + ": image operands at word " + std::to_string(index) + ", grammar \"" + layout + "\"\n";
			}
		}
	}
	EXPECT_EQ(faults, "");
	// the classes were met at all: the grammar was read by opcode
	EXPECT_GT(types, 10u);
	EXPECT_GT(values, 100u);
	EXPECT_GT(images, 20u);
}

// The check refuses a GLSL.std.450 instruction whose operand count differs
// from its number's, so a wrong count refuses valid modules or lets the
// renderer write a call with an argument missing.
TEST(SpirvGrammar, GlslOperandCountsMatchGrammar) {
	if (!exists(glsl_grammar)) GTEST_SKIP() << glsl_grammar << " is not installed (Debian package spirv-headers)";
	Json root;
	std::string error;
	ASSERT_TRUE(read_grammar(glsl_grammar, root, error)) << error;
	std::map<uint32_t, std::pair<std::string, uint32_t>> grammar;
	for (const Json &instruction : root.get_items("instructions")) {
		const Json *opcode = instruction.get("opcode");
		ASSERT_TRUE(opcode && opcode->kind == Json::Number) << instruction.get_text("opname");
		uint32_t ids = 0;
		for (const Json &operand : instruction.get_items("operands")) {
			// every operand of the set is an id; anything else would need a letter of its own
			EXPECT_EQ(operand.get_text("kind"), "IdRef") << instruction.get_text("opname");
			EXPECT_EQ(operand.get_text("quantifier"), "") << instruction.get_text("opname");
			ids++;
		}
		grammar[static_cast<uint32_t>(opcode->number)] = {instruction.get_text("opname"), ids};
	}

	uint32_t count = 0;
	const uint8_t *operands = Spirv::get_glsl_operand_counts(count);
	ASSERT_GT(count, 1u);
	EXPECT_EQ(grammar.count(0), 0u) << "number 0 is assigned";
	std::string faults;
	for (uint32_t number = 1; number < count; number++) {
		auto found = grammar.find(number);
		if (found == grammar.end()) {
			faults += "number " + std::to_string(number) + " is not in the grammar\n";
		} else if (found->second.second != operands[number]) {
			faults += found->second.first + " (" + std::to_string(number) + "): table " + std::to_string(operands[number]) + ", grammar " +
				std::to_string(found->second.second) + "\n";
		}
	}
	// numbers past the table are left to the renderer; the table ends where the grammar does
	for (const auto &entry : grammar) {
		if (entry.first >= count) faults += entry.second.first + " (" + std::to_string(entry.first) + ") is past the table\n";
	}
	EXPECT_EQ(faults, "");
}

namespace {

// The number of a grammar entry: enumerants of bit kinds give theirs as hex text.
bool get_number(const Json *value, uint32_t &number) {
	if (value == nullptr) return false;
	if (value->kind == Json::Number) {
		number = static_cast<uint32_t>(value->number);
		return true;
	}
	if (value->kind != Json::String || value->text.empty()) return false;
	number = static_cast<uint32_t>(std::strtoul(value->text.c_str(), nullptr, 0));
	return true;
}

// Every name the grammar gives an entry, with its aliases.
void add_names(const Json &entry, const char *key, const Json *value, std::map<std::string, uint32_t> &names) {
	uint32_t number = 0;
	if (!get_number(value, number)) return;
	names[entry.get_text(key)] = number;
	for (const Json &alias : entry.get_items("aliases")) {
		if (alias.kind == Json::String) names[alias.text] = number;
	}
}

} // namespace

// Every name of the numbers header has the number the grammar gives it. The
// header is read as text, so a name added to it is checked without a row
// here. A name is the grammar's with the prefix of its kind (an opcode keeps
// its "Op"); the vendor suffix of a name that has one in the grammar may be
// left out. A wrong number would make the compiler write one instruction or
// decoration for another and the renderer read one as another.
TEST(SpirvGrammar, NumbersHeaderMatchesGrammar) {
	if (!exists(core_grammar)) GTEST_SKIP() << core_grammar << " is not installed (Debian package spirv-headers)";
	if (!exists(glsl_grammar)) GTEST_SKIP() << glsl_grammar << " is not installed (Debian package spirv-headers)";
	Json core;
	Json glsl;
	std::string error;
	ASSERT_TRUE(read_grammar(core_grammar, core, error)) << error;
	ASSERT_TRUE(read_grammar(glsl_grammar, glsl, error)) << error;

	// the grammar's names by the header's prefix of each kind
	const std::vector<std::pair<std::string, std::string>> kinds = {
		{"Capability", "Capability"}, {"Decoration", "Decoration"}, {"Storage", "StorageClass"}, {"MemoryAccess", "MemoryAccess"},
		{"MemorySemantics", "MemorySemantics"}, {"ExecutionMode", "ExecutionMode"}, {"Model", "ExecutionModel"}, {"Dim", "Dim"},
		{"Scope", "Scope"}, {"ImageOperands", "ImageOperands"}, {"BuiltIn", "BuiltIn"},
		{"ImageFormat", "ImageFormat"}, {"GroupOperation", "GroupOperation"}, {"LoopControl", "LoopControl"},
		{"SelectionControl", "SelectionControl"},
	};
	std::map<std::string, std::map<std::string, uint32_t>> names;
	for (const Json &instruction : core.get_items("instructions")) add_names(instruction, "opname", instruction.get("opcode"), names["Op"]);
	for (const Json &instruction : glsl.get_items("instructions")) add_names(instruction, "opname", instruction.get("opcode"), names["GLSLstd450"]);
	for (const Json &kind : core.get_items("operand_kinds")) {
		for (const auto &entry : kinds) {
			if (kind.get_text("kind") != entry.second) continue;
			for (const Json &enumerant : kind.get_items("enumerants")) add_names(enumerant, "enumerant", enumerant.get("value"), names[entry.first]);
		}
	}
	ASSERT_GT(names["Op"].size(), 300u);
	ASSERT_GT(names["GLSLstd450"].size(), 70u);

	std::ifstream file(std::string(VEXA_TEST_DATA) + "/../../shader/ShaderSpirvNumbers.h");
	ASSERT_TRUE(file.good()) << "the numbers header is not beside the tests";
	std::string line;
	uint32_t count = 0;
	uint32_t phi = 0;
	std::string faults;
	while (std::getline(file, line)) {
		// the entries of the enumerations: a tab, a name, " = ", a number and a comma
		size_t equals = line.find(" = ");
		if (line.empty() || line[0] != '\t' || equals == std::string::npos || line.back() != ',') continue;
		std::string name = line.substr(1, equals - 1);
		if (name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789") != std::string::npos) continue;
		std::string text = line.substr(equals + 3, line.size() - equals - 4);
		char *end = nullptr;
		uint32_t number = static_cast<uint32_t>(std::strtoul(text.c_str(), &end, 0));
		if (text.empty() || *end != '\0') {
			faults += name + ": \"" + text + "\" is not a number\n";
			continue;
		}
		count++;
		if (name == "OpPhi") phi = number;
		// the kind of the longest prefix: "Op" for opcodes
		std::string prefix;
		for (const auto &entry : names) {
			if (name.compare(0, entry.first.size(), entry.first) == 0 && entry.first.size() > prefix.size()) prefix = entry.first;
		}
		if (prefix.empty()) {
			faults += name + " has no prefix of a known kind\n";
			continue;
		}
		const std::map<std::string, uint32_t> &set = names[prefix];
		std::string base = (prefix == "Op") ? name : name.substr(prefix.size());
		bool found = false;
		std::string grammar;
		for (const char *suffix : {"", "KHR", "EXT", "NV"}) {
			auto it = set.find(base + suffix);
			if (it == set.end()) continue;
			found = found || it->second == number;
			grammar += " " + it->first + "=" + std::to_string(it->second);
		}
		if (!found) faults += name + " = " + std::to_string(number) + ", grammar:" + (grammar.empty() ? std::string(" no such name") : grammar) + "\n";
	}
	EXPECT_EQ(faults, "");
	// the header was read at all, and as the compiler reads it
	EXPECT_GT(count, 300u);
	EXPECT_EQ(phi, static_cast<uint32_t>(Spirv::OpPhi));
}
