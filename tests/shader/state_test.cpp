// The shader State's parsers and queries: macro lists with their escapes and
// their errors, macro names with parameter lists, comment stripping, pragmas
// with expanded arguments, the shader name and the macro summary, and the
// mapping of output offsets to files and lines on hand-made tables.
#include "shader/ShaderState.h"

#include "log_capture.h"

#include <gtest/gtest.h>

#include <string>

using namespace Vexa;
using State = Shader::State;

TEST(State, MacroLists) {
	State state;
	LogCapture log;
	EXPECT_TRUE(state.set_macros("A;B=2;C(x, y)=x+y"));
	EXPECT_EQ(state.get_macro("A").value, "");
	EXPECT_TRUE(state.has_macro("A"));
	EXPECT_EQ(state.get_macro("B").value, "2");
	const State::Macro &c = state.get_macro("C");
	EXPECT_EQ(c.value, "x+y");
	ASSERT_EQ(c.parameters.size(), 2u);
	EXPECT_EQ(c.parameters[0], "x");
	EXPECT_EQ(c.parameters[1], "y");

	EXPECT_TRUE(state.set_macros("D=a\\;b"));
	EXPECT_EQ(state.get_macro("D").value, "a;b");
	EXPECT_TRUE(state.set_macros("E=1 F=2"));
	EXPECT_EQ(state.get_macro("E").value, "1 F=2");
	EXPECT_FALSE(state.has_macro("F"));
	EXPECT_EQ(log.text(), "");

	EXPECT_FALSE(state.set_macros("G H"));
	EXPECT_TRUE(log.contains("Shader::State::set_macros(): invalid delimiter\nG H\n")) << log.text();
	EXPECT_FALSE(state.has_macro("G"));

	// entries before a failing one stay defined
	log.clear();
	EXPECT_FALSE(state.set_macros("I=1;J(a, a)=2"));
	EXPECT_TRUE(state.has_macro("I"));
	EXPECT_TRUE(log.contains("Shader::State::set_macro(): invalid argument names\nJ(a, a)\n")) << log.text();
}

TEST(State, MacroNames) {
	State state;
	LogCapture log;
	struct {
		const char *name;
		const char *error;
	} failures[] = {
		{"F(a, a)", "invalid argument names\n"},
		{"F(a", "invalid arguments\n"},
		{"F x", "invalid name\n"},
		{"1F", "can't read name\n"},
	};
	for (auto &f : failures) {
		log.clear();
		EXPECT_FALSE(state.set_macro(f.name, "v")) << f.name;
		EXPECT_TRUE(log.contains(std::string("Shader::State::set_macro(): ") + f.error)) << log.text();
	}
	EXPECT_EQ(state.macros.size(), 0u);

	EXPECT_TRUE(state.set_macro("V(a, ...)", "x"));
	EXPECT_EQ(state.get_macro("V").parameters[1], "...");
	EXPECT_TRUE(state.set_macro("E()", "e"));
	EXPECT_EQ(state.get_macro("E").parameters.size(), 0u);
	EXPECT_TRUE(state.get_macro("E").function);
	EXPECT_TRUE(state.set_macro("O", "o"));
	EXPECT_FALSE(state.get_macro("O").function);
	EXPECT_TRUE(state.set_macro("C", "1 // one"));
	EXPECT_EQ(state.get_macro("C").value, "1");
	EXPECT_TRUE(state.set_macro("K", "a /* b */ c \"// d\""));
	EXPECT_EQ(state.get_macro("K").value, "a c \"// d\"");
	EXPECT_TRUE(state.remove_macro("K"));
	EXPECT_FALSE(state.remove_macro("K"));
}

TEST(State, Pragmas) {
	State state;
	state.set_macro("TWO", "2");
	state.set_macro("F(x)", "[x]");
	LogCapture log;
	EXPECT_TRUE(state.set_pragma("name(1, (2, 3))"));
	EXPECT_TRUE(state.set_pragma("expanded(TWO, F(TWO) + 1)"));
	EXPECT_TRUE(state.set_pragma("bare"));
	EXPECT_FALSE(state.set_pragma("name word"));
	EXPECT_TRUE(log.contains("Shader::State::set_pragma(): invalid pragma\nname word\n")) << log.text();
	EXPECT_FALSE(state.set_pragma("bad(F(1, 2))"));
	EXPECT_TRUE(log.contains("Shader::State::set_pragma(): invalid number of \"F\" macro arguments\n")) << log.text();

	ASSERT_EQ(state.pragmas.size(), 3u);
	const State::Pragma &name = state.get_pragma("name");
	ASSERT_EQ(name.arguments.size(), 2u);
	EXPECT_EQ(name.arguments[0], "1");
	EXPECT_EQ(name.arguments[1], "(2, 3)");
	const State::Pragma &expanded = state.get_pragma("expanded");
	ASSERT_EQ(expanded.arguments.size(), 2u);
	EXPECT_EQ(expanded.arguments[0], "2");
	EXPECT_EQ(expanded.arguments[1], "[2] + 1");
	EXPECT_TRUE(state.has_pragma("bare"));
	EXPECT_FALSE(state.has_pragma("missing"));
	EXPECT_EQ(state.get_pragma("missing").arguments.size(), 0u);
}

TEST(State, NameAndSummary) {
	State state;
	EXPECT_EQ(state.get_name(), "memory");
	state.set_macro("VERTEX_SHADER", "1");
	EXPECT_EQ(state.get_name(), "VERTEX_SHADER");
	state.set_file("a.frag");
	EXPECT_EQ(state.get_name(), "a.frag");
	State other;
	other.set_macro("VERTEX_SHADER", "2");
	EXPECT_EQ(other.get_name(), "memory");

	State summary;
	summary.set_macro("B", "1");
	summary.set_macro("A_SHADER", "1");
	summary.set_macro("M", "x\ny");
	summary.set_macro("N", "");
	EXPECT_EQ(summary.get_macros(false), "A_SHADER=1; B=1; N; M=x\ny");
	EXPECT_EQ(summary.get_macros(true), "A_SHADER=1; B=1; N");
}

// Hand-made tables: an included stretch inside a main one, looked up from
// the last record, with the two-character look-ahead of get_line.
TEST(State, FileAndLineTable) {
	State state;
	EXPECT_EQ(state.get_line(0), ~0u);
	EXPECT_EQ(state.get_file(0), "memory");

	State::FileRecord whole;
	whole.name = "main.frag";
	whole.offset = 0;
	whole.size = 100;
	uint32_t whole_lines[][2] = {{0, 0}, {1, 0}, {2, 10}, {5, 60}};
	for (auto &p : whole_lines) {
		whole.lines.append(p[0]);
		whole.offsets.append(p[1]);
	}
	State::FileRecord inc;
	inc.name = "inc.h";
	inc.offset = 20;
	inc.size = 30;
	uint32_t inc_lines[][2] = {{0, 0}, {1, 0}, {2, 12}};
	for (auto &p : inc_lines) {
		inc.lines.append(p[0]);
		inc.offsets.append(p[1]);
	}
	state.file_table.append(whole);
	state.file_table.append(inc);

	struct {
		uint32_t offset;
		const char *file;
		uint32_t line;
	} cases[] = {
		{0, "main.frag", 1}, {7, "main.frag", 1}, {8, "main.frag", 2}, {19, "main.frag", 2},
		{20, "inc.h", 1},    {29, "inc.h", 1},    {30, "inc.h", 2},     {49, "inc.h", 2},
		{50, "main.frag", 2}, {58, "main.frag", 5}, {99, "main.frag", 5}, {100, "memory", 2},
	};
	for (auto &c : cases) {
		EXPECT_EQ(std::string(state.get_file(c.offset).get()), c.file) << c.offset;
		EXPECT_EQ(state.get_line(c.offset), c.line) << c.offset;
	}
}
