// Declared symbols: functions, structures and variables declared in nested
// scopes and found again from inner scopes (an inner name hides an outer one),
// the redefinition and reserved-name errors, overloads told apart by their
// argument text, lookups by result id, the unused-qualifier errors, and a
// cost that grows with the number of symbols as n log n, not n squared.
#include "compiler_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <ctime>
#include <string>

using Vexa::Compiler;
using Vexa::String;
using compiler_test::Fixture;

namespace {

// the thrown message of an operation, empty when it does not throw
template <class Call>
std::string thrown(Call call) {
	try {
		call();
	} catch (const String &message) {
		return message.get();
	}
	return std::string();
}

enum Kind { KindVariable, KindStructure, KindFunction };

// declares name as a symbol of that kind in scope; the message it throws
std::string declare(Compiler &c, Kind kind, const char *name, Compiler::Scope &scope) {
	return thrown([&] {
		if (kind == KindVariable) c.add_variable(String(name), String("float"), ~0u, 7, scope);
		else if (kind == KindStructure) c.add_structure(String(name), ~0u, scope);
		else c.add_function(String(name), String("void"), 0, scope);
	});
}

TEST(CompilerSymbols, Redefinition) {
	struct {
		Kind first;
		Kind second;
		bool nested; // the second in a scope inside the first one's
		const char *message;
	} rows[] = {
		{KindVariable, KindVariable, false, "\"x\" name redefined\n"},
		{KindVariable, KindStructure, false, "\"x\" name redefined\n"},
		{KindStructure, KindVariable, false, "\"x\" name redefined\n"},
		{KindStructure, KindStructure, false, "\"x\" name redefined\n"},
		{KindVariable, KindFunction, false, "\"x\" name redefined\n"},
		{KindStructure, KindFunction, false, "\"x\" name redefined\n"},
		// functions are in no scope: overloads, and names they share with a variable or structure declared later
		{KindFunction, KindFunction, false, ""},
		{KindFunction, KindVariable, false, ""},
		{KindFunction, KindStructure, false, ""},
		// an inner scope may hide any outer name
		{KindVariable, KindVariable, true, ""},
		{KindVariable, KindStructure, true, ""},
		{KindStructure, KindVariable, true, ""},
		{KindStructure, KindStructure, true, ""},
		{KindVariable, KindFunction, true, ""},
	};
	for (const auto &row : rows) {
		Fixture f;
		Compiler &c = f.compiler;
		c.flags = Compiler::DefaultFlags;
		Compiler::Scope inner;
		inner.parent = &c.global_scope;
		ASSERT_EQ(declare(c, row.first, "x", c.global_scope), "");
		uint32_t ids = c.next_id;
		EXPECT_EQ(declare(c, row.second, "x", row.nested ? inner : c.global_scope), row.message) << row.first << " " << row.second << " " << row.nested;
		// a refused declaration makes nothing
		if (row.message[0] != '\0') {
			EXPECT_EQ(c.next_id, ids);
		}
	}
}

TEST(CompilerSymbols, ReservedNames) {
	struct {
		const char *name;
		bool reserved;
	} rows[] = {
		{"vec3", true}, {"mat4x3", true}, {"sampler2D", true}, {"uint", true}, {"void", true},
		{"if", true},   {"struct", true}, {"layout", true},    {"main", false}, {"vec", false},
		{"f32v3", false}, // internal type names are no GLSL keywords
	};
	for (uint32_t flags : {(uint32_t)Compiler::DefaultFlags, (uint32_t)Compiler::DefaultFlags & ~Compiler::FlagReserved}) {
		for (const auto &row : rows) {
			for (Kind kind : {KindVariable, KindStructure, KindFunction}) {
				Fixture f;
				Compiler &c = f.compiler;
				c.flags = flags;
				bool refused = row.reserved && (flags & Compiler::FlagReserved);
				std::string expected = refused ? std::string("\"") + row.name + "\" name reserved\n" : std::string();
				EXPECT_EQ(declare(c, kind, row.name, c.global_scope), expected) << row.name << " kind " << kind << " flags " << flags;
				// the reserved check comes before the redefinition check
				if (kind != KindFunction && !refused) {
					c.flags = Compiler::DefaultFlags;
					std::string again = row.reserved ? std::string("\"") + row.name + "\" name reserved\n" : std::string("\"") + row.name + "\" name redefined\n";
					EXPECT_EQ(declare(c, KindVariable, row.name, c.global_scope), again) << row.name;
				}
			}
		}
	}
}

TEST(CompilerSymbols, NestedScopes) {
	Fixture f;
	Compiler &c = f.compiler;
	c.flags = Compiler::DefaultFlags;
	Compiler::Scope &global = c.global_scope;
	uint32_t main = c.add_function(String("main"), String("void"), 0, global);
	Compiler::Scope &parameters = c.functions[main].scope;
	Compiler::Scope block, other;
	block.parent = &parameters;
	other.parent = &global;

	uint32_t x = c.add_variable(String("x"), String("vec3"), ~0u, 6, global);
	uint32_t s = c.add_structure(String("S"), ~0u, global);
	uint32_t y = c.add_variable(String("y"), String("int"), ~0u, 7, parameters);
	uint32_t inner_x = c.add_variable(String("x"), String("S"), 4, 7, block);
	uint32_t inner_s = c.add_structure(String("S"), ~0u, block);

	struct {
		Kind kind;
		const char *name;
		Compiler::Scope *scope;
		uint32_t index;
		Compiler::Scope *found; // where the variable is found
	} rows[] = {
		{KindVariable, "x", &block, inner_x, &block},
		{KindVariable, "x", &parameters, x, &global},
		{KindVariable, "x", &other, x, &global},
		{KindVariable, "y", &block, y, &parameters},
		{KindVariable, "y", &other, ~0u, nullptr},
		{KindVariable, "y", &global, ~0u, nullptr},
		{KindVariable, "S", &block, ~0u, nullptr}, // a structure is no variable
		{KindVariable, "z", &block, ~0u, nullptr},
		{KindVariable, "x", nullptr, ~0u, nullptr},
		{KindStructure, "S", &block, inner_s, nullptr},
		{KindStructure, "S", &parameters, s, nullptr},
		{KindStructure, "x", &block, ~0u, nullptr}, // a variable is no structure
		{KindStructure, "main", &global, ~0u, nullptr},
	};
	for (const auto &row : rows) {
		for (uint32_t i = 0; i < c.variables.size(); i++) c.variables[i].used = false, c.variables[i].scope = nullptr;
		for (uint32_t i = 0; i < c.structures.size(); i++) c.structures[i].used = false;
		if (row.kind == KindVariable) {
			EXPECT_EQ(c.find_variable(String(row.name), row.scope), row.index) << row.name;
			for (uint32_t i = 0; i < c.variables.size(); i++) {
				EXPECT_EQ(c.variables[i].used, i == row.index) << row.name << " " << i;
				EXPECT_EQ(c.variables[i].scope, i == row.index ? row.found : nullptr) << row.name << " " << i;
			}
		} else {
			EXPECT_EQ(c.find_structure(String(row.name), row.scope), row.index) << row.name;
			for (uint32_t i = 0; i < c.structures.size(); i++) EXPECT_EQ(c.structures[i].used, i == row.index) << row.name << " " << i;
		}
	}
	EXPECT_EQ(parameters.parent, &global);
}

TEST(CompilerSymbols, Records) {
	Fixture f;
	Compiler &c = f.compiler;
	c.add_type("f32"); // ids are shared with the type registry
	uint32_t first = c.next_id;

	uint32_t v = c.add_variable(String("v"), String("vec3"), 4, 6, c.global_scope);
	uint32_t s = c.add_structure(String("Light"), 12, c.global_scope);
	uint32_t fn = c.add_function(String("shade"), String("vec4"), 1, c.global_scope);
	uint32_t w = c.add_variable(String("w"), String("Light"), ~0u, 7, c.global_scope);

	const Compiler::Variable &variable = c.variables[v];
	EXPECT_EQ(v, 0u);
	EXPECT_EQ(variable.index, 0u);
	EXPECT_EQ(variable.id, first);
	EXPECT_EQ(variable.type, "f32v3");
	EXPECT_EQ(variable.value, "");
	EXPECT_EQ(variable.length, 4u);
	EXPECT_EQ(variable.storage, 6u);
	EXPECT_EQ(variable.offset, ~0u);
	EXPECT_EQ(variable.structure, ~0u);
	EXPECT_EQ(variable.function, ~0u);
	EXPECT_EQ(variable.parameter, ~0u);
	EXPECT_FALSE(variable.decorations);
	EXPECT_EQ(variable.scope, nullptr);
	EXPECT_EQ(c.variables[w].type, "Light"); // other type texts stay
	EXPECT_EQ(c.variables[w].index, 1u);

	const Compiler::Structure &structure = c.structures[s];
	EXPECT_EQ(structure.name, "Light");
	EXPECT_EQ(structure.index, 0u);
	EXPECT_EQ(structure.id, first + 1);
	EXPECT_EQ(structure.storage, 12u);
	EXPECT_EQ(structure.size, ~0u);
	EXPECT_EQ(structure.variable, ~0u);
	EXPECT_EQ(structure.members.size(), 0u);
	EXPECT_EQ(structure.scope.parent, nullptr);
	EXPECT_FALSE(structure.used);

	const Compiler::Function &function = c.functions[fn];
	EXPECT_EQ(function.name, "shade");
	EXPECT_EQ(function.return_type, "f32v4");
	EXPECT_EQ(function.arguments, "(");
	EXPECT_EQ(function.index, 0u);
	EXPECT_EQ(function.id, first + 2);
	EXPECT_EQ(function.control, 1u);
	EXPECT_EQ(function.scope.parent, &c.global_scope);
	EXPECT_FALSE(function.used);
	EXPECT_EQ(c.next_id, first + 4);

	// ids back to record indices, and ids of the other kinds refused
	EXPECT_EQ(c.get_variable(first), v);
	EXPECT_EQ(c.get_variable(first + 3), w);
	EXPECT_EQ(c.get_structure(first + 1), s);
	EXPECT_EQ(c.get_function(first + 2), fn);
	struct {
		uint32_t id;
		const char *variable;
		const char *structure;
		const char *function;
	} rows[] = {
		{first, "", "can't get %u structure\n", "can't get %u function\n"},
		{first + 1, "can't get %u variable\n", "", "can't get %u function\n"},
		{first + 2, "can't get %u variable\n", "can't get %u structure\n", ""},
		{first - 1, "can't get %u variable\n", "can't get %u structure\n", "can't get %u function\n"}, // a type
		{first + 4, "can't get %u variable\n", "can't get %u structure\n", "can't get %u function\n"},
		{~0u, "can't get %u variable\n", "can't get %u structure\n", "can't get %u function\n"},
	};
	for (const auto &row : rows) {
		EXPECT_EQ(thrown([&] { c.get_variable(row.id); }), String::format(row.variable, row.id).get()) << row.id;
		EXPECT_EQ(thrown([&] { c.get_structure(row.id); }), String::format(row.structure, row.id).get()) << row.id;
		EXPECT_EQ(thrown([&] { c.get_function(row.id); }), String::format(row.function, row.id).get()) << row.id;
	}
}

TEST(CompilerSymbols, UsedByStorage) {
	struct {
		uint32_t storage;
		bool used;
	} rows[] = {
		{0, true}, {1, true}, {2, true}, {3, true}, {12, true}, // interface and resource variables
		{4, false}, {5, false}, {6, false}, {7, false}, {9, false}, {11, false}, {13, false}, {5338, false}, {~0u, false},
	};
	Fixture f;
	Compiler &c = f.compiler;
	for (const auto &row : rows) {
		uint32_t index = c.add_variable(String::format("v%u", row.storage), String("float"), ~0u, row.storage, c.global_scope);
		EXPECT_EQ(c.variables[index].used, row.used) << row.storage;
		c.find_variable(String::format("v%u", row.storage), &c.global_scope);
		EXPECT_TRUE(c.variables[index].used) << row.storage;
	}
}

TEST(CompilerSymbols, UnnamedVariables) {
	Fixture f;
	Compiler &c = f.compiler;
	c.flags = Compiler::DefaultFlags;
	uint32_t a = c.add_variable(String(""), String("Block"), ~0u, 2, c.global_scope);
	uint32_t b = c.add_variable(String(""), String("Block"), ~0u, 12, c.global_scope);
	EXPECT_NE(a, b);
	EXPECT_FALSE(c.global_scope.variables);
	EXPECT_EQ(c.find_variable(String(""), &c.global_scope), ~0u);
	EXPECT_EQ(c.get_variable(c.variables[b].id), b);
}

TEST(CompilerSymbols, Overloads) {
	Fixture f;
	Compiler &c = f.compiler;
	Compiler::Scope &global = c.global_scope;
	// each declared and then given its argument text, as the declaration parser does
	auto declare_function = [&](const char *name, const char *arguments) {
		uint32_t index = c.add_function(String(name), String("float"), 0, global);
		c.functions[index].arguments.append(arguments);
		return index;
	};
	uint32_t f0 = declare_function("f", "f32;");
	uint32_t g0 = declare_function("g", "");
	uint32_t f1 = declare_function("f", "i32;&u32[4];");
	uint32_t f2 = declare_function("f", "f32;"); // the body after its prototype
	uint32_t h0 = declare_function("h", "f32v4;");

	struct {
		const char *name;
		const char *arguments;
		uint32_t index;
	} rows[] = {
		{"f", "", f0}, // the first declared of that name
		{"f", "(f32;", f0},
		{"f", "(i32;&u32[4];", f1},
		{"f", "(i32;", ~0u}, // no prefix matches
		{"f", "(u32;", ~0u},
		{"f", "(", ~0u},
		{"g", "(", g0},
		{"g", "", g0},
		{"h", "(f32v4;", h0}, // the last declared
		{"h", "(f32;", ~0u},
		{"k", "", ~0u},
		{"k", "(f32;", ~0u},
		{"F", "", ~0u},
	};
	for (const auto &row : rows) {
		for (uint32_t i = 0; i < c.functions.size(); i++) c.functions[i].used = false;
		EXPECT_EQ(c.find_function(String(row.name), String(row.arguments)), row.index) << row.name << row.arguments;
		for (uint32_t i = 0; i < c.functions.size(); i++) EXPECT_EQ(c.functions[i].used, i == row.index) << row.name << row.arguments << " " << i;
	}
	EXPECT_NE(f2, f0);

	// the last one is found by its argument text while that text still grows
	uint32_t last = c.add_function(String("m"), String("void"), 0, global);
	EXPECT_EQ(c.find_function(String("m"), String("(")), last);
	c.functions[last].arguments.append("f32;");
	EXPECT_EQ(c.find_function(String("m"), String("(")), ~0u);
	EXPECT_EQ(c.find_function(String("m"), String("(f32;")), last);
	c.functions[last].arguments.append("f32;");
	EXPECT_EQ(c.find_function(String("m"), String("(f32;f32;")), last);
	uint32_t next = c.add_function(String("m"), String("void"), 0, global);
	EXPECT_EQ(c.find_function(String("m"), String("(f32;f32;")), last);
	EXPECT_EQ(c.find_function(String("m"), String("(")), next);
	EXPECT_EQ(c.find_function(String("m"), String("")), last);

	// a reset forgets them all
	c.reset();
	c.init_tables();
	EXPECT_EQ(c.find_function(String("f"), String("")), ~0u);
	EXPECT_EQ(c.find_function(String("f"), String("(f32;")), ~0u);
	EXPECT_EQ(c.find_function(String("m"), String("(")), ~0u);
	uint32_t again = c.add_function(String("m"), String("void"), 0, c.global_scope);
	EXPECT_EQ(again, 0u);
	EXPECT_EQ(c.find_function(String("m"), String("(")), again);
	EXPECT_EQ(c.find_function(String("m"), String("(f32;f32;")), ~0u);
	c.add_function(String("n"), String("void"), 0, c.global_scope);
	EXPECT_EQ(c.find_function(String("m"), String("(")), again);
	EXPECT_EQ(c.find_function(String("m"), String("(f32;f32;")), ~0u);
}

TEST(CompilerSymbols, UnusedQualifiers) {
	struct {
		uint32_t bits;
		const char *message;
		const char *constant; // the message of the constant qualifier check
	} rows[] = {
		{0x0, "", ""},
		{0x1, "unused inout qualifier\n", "unused constant qualifier\n"},
		{0x2, "unused layout qualifier\n", "unused precision qualifier\n"},
		{0x3, "unused inout qualifier\n", "unused constant qualifier\n"},
		{0x4, "unused format qualifier\n", ""},
		{0x8, "unused storage qualifier\n", ""},
		{0x18, "unused storage qualifier\n", ""},
		{0x10, "unused precision qualifier\n", ""},
		{0x20, "unused decoration qualifier\n", ""},
		{0x40, "unused function control qualifier\n", ""},
		{0x80, "unfinished structure declaration\n", ""},
		{0x100, "unfinished function declaration\n", ""},
		{0x180, "unfinished structure declaration\n", ""},
		{0x106, "unused layout qualifier\n", "unused precision qualifier\n"},
		{0xfffffe00, "", ""}, // bits above those are ignored
		{0xffffffff, "unused inout qualifier\n", "unused constant qualifier\n"},
	};
	Compiler c;
	for (const auto &row : rows) {
		EXPECT_EQ(thrown([&] { c.check_qualifiers(row.bits); }), row.message) << row.bits;
		EXPECT_EQ(thrown([&] { c.check_constant_qualifiers(row.bits); }), row.constant) << row.bits;
	}
}

// n globals, n structures and n overloads of one function, declared and each
// found from a nested scope; returns the number found
uint32_t declare_and_find(Compiler &c, const std::vector<String> &names, const std::vector<String> &arguments, uint32_t n) {
	c.reset();
	c.init_tables();
	c.flags = Compiler::DefaultFlags;
	Compiler::Scope function, block;
	function.parent = &c.global_scope;
	block.parent = &function;
	String overloaded("overloaded");
	for (uint32_t i = 0; i < n; i++) {
		c.add_variable(names[i], String("float"), ~0u, 6, c.global_scope);
		c.add_structure(names[i], ~0u, function);
		uint32_t index = c.add_function(overloaded, String("void"), 0, c.global_scope);
		c.functions[index].arguments.append(arguments[i]);
	}
	uint32_t ret = 0;
	String call;
	for (uint32_t i = 0; i < n; i++) {
		ret += (c.find_variable(names[i], &block) == i);
		ret += (c.find_structure(names[i], &block) == i);
		call = "(";
		call.append(arguments[i]);
		ret += (c.find_function(overloaded, call) == i);
	}
	return ret + (c.find_function(overloaded, String()) == 0);
}

TEST(CompilerSymbols, CostGrowsNearLinearly) {
	const uint32_t large = 100000, parts = 16, small = large / parts;
	std::vector<String> names, arguments;
	for (uint32_t i = 0; i < large; i++) {
		names.push_back(String::format("name%u", i));
		arguments.push_back(String::format("f32[%u];", i));
	}
	Compiler c;
	// the same number of symbols, in one compilation or in sixteen; the best
	// of three rounds of each, so that a busy machine does not decide
	double pieces = 1e300, whole = 1e300;
	for (uint32_t round = 0; round < 3; round++) {
		std::clock_t start = std::clock();
		uint32_t found = 0;
		for (uint32_t i = 0; i < parts; i++) found += declare_and_find(c, names, arguments, small);
		std::clock_t middle = std::clock();
		found += declare_and_find(c, names, arguments, large);
		std::clock_t end = std::clock();
		EXPECT_EQ(found, 6 * large + parts + 1);
		pieces = std::min(pieces, (double)(middle - start) + 1.0);
		whole = std::min(whole, (double)(end - middle));
	}
	// n log n gives about 1.3 (more with caches that the larger tables
	// overflow), a search through every symbol 16
	EXPECT_LT(whole / pieces, 8.0) << "sixteen parts " << pieces << ", whole " << whole;
}

} // namespace
