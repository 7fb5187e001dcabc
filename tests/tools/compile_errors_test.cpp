// Compile errors of GLSL shaders as a user sees them from `shader`: the
// compiler's message, then the file and line of the failing statement with
// that source line (through #include files and multi-line macros), or the
// shader's name for errors that belong to no statement; exit status 1.
#include "tools/run_program.h"
#include "tools/spirv_fixtures.h"

#include <gtest/gtest.h>

#include <regex>
#include <utility>

namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

struct Workspace {
	Workspace() {
		dir = "/tmp/vexa_compile_errors_" + std::to_string(getpid());
		std::system(("rm -rf " + dir + " && mkdir -p " + dir).c_str());
	}
	~Workspace() {
		std::system(("rm -rf " + dir).c_str());
	}
	void write(const Files &files) {
		for (const auto &file : files) {
			std::string path = dir + "/" + file.first;
			std::system(("mkdir -p \"$(dirname " + shell_quote(path) + ")\"").c_str());
			FILE *f = fopen(path.c_str(), "wb");
			ASSERT_NE(f, nullptr) << path;
			fwrite(file.second.data(), 1, file.second.size(), f);
			fclose(f);
		}
	}
	std::string dir;
};

// "E: " and a time stamp, then the text, up to the end of its line
bool has_error(const std::string &err, const std::string &text) {
	std::string escaped;
	for (char c : text) {
		if (std::strchr("\\^$.|?*+()[]{}", c) != nullptr) escaped += '\\';
		escaped += c;
	}
	return std::regex_search(err, std::regex("(^|\n)E: [ 0-9:.]+ (us|ms|s): " + escaped + "\n"));
}

const char *const Out = "layout(location = 0) out vec4 color;\n";

} // namespace

// an error in a statement names the file, the line and the line's text
TEST(CompileErrors, FileAndLineOfTheFailingStatement) {
	struct Case {
		const char *what;
		Files files; // the first one is compiled
		std::string message;
		std::string position; // "file:line: text"
	};
	const std::string head = std::string("#version 450\n") + Out;
	const Case cases[] = {
		{"declaration", {{"main.frag", head + "float a;\nfloat k = ;\nvoid main() {}\n"}}, "unexpected ';'", "main.frag:4: float k = ;"},
		{"layout list", {{"main.frag", head + "\nlayout(location = 1, ) in vec4 a;\nvoid main() {}\n"}}, "invalid layout qualifiers", "main.frag:4: layout(location = 1, ) in vec4 a;"},
		{"body statement", {{"main.frag", head + "void main() {\n\tfloat x;\n\tfoo;\n}\n"}}, "unexpected \"foo\"", "main.frag:5: foo;"},
		{"body after blank lines and comments",
			{{"main.frag", head + "void main() {\n\tfloat x; // one\n\n\t/* two\n\t   three */\n\n\tfoo;\n}\n"}}, "unexpected \"foo\"", "main.frag:9: foo;"},
		{"second function", {{"main.frag", head + "void main() {\n}\nvoid f() {\n\tint i;\n\tbar;\n}\n"}}, "unexpected \"bar\"", "main.frag:7: bar;"},
		{"CRLF lines", {{"main.frag", "#version 450\r\n" + std::string("layout(location = 0) out vec4 color;\r\n") + "void main() {\r\n\r\n\tfoo;\r\n}\r\n"}},
			"unexpected \"foo\"", "main.frag:5: foo;"},
		{"included file",
			{{"main.frag", head + "#include \"lib/common.h\"\nvoid main() {}\n"}, {"lib/common.h", "// shared\nfloat ok;\n\nint bad bad;\n"}},
			"expecting ';'", "lib/common.h:4: int bad bad;"},
		{"included body",
			{{"main.frag", head + "#include \"lib/common.h\"\nvoid main() {}\n"}, {"lib/common.h", "void helper() {\n\treturn;\n\twrong;\n}\n"}},
			"unexpected \"wrong\"", "lib/common.h:3: wrong;"},
		{"after an include",
			{{"main.frag", head + "#include \"lib/common.h\"\nfloat after = ;\nvoid main() {}\n"}, {"lib/common.h", "float a;\nfloat b;\nfloat c;\n"}},
			"unexpected ';'", "main.frag:4: float after = ;"},
		{"after a multi-line macro",
			{{"main.frag", head + "#define DECL(name) \\\n\tfloat name; \\\n\tint name##_count;\nDECL(x)\nvoid main() {\n\tfloat y;\n\tfoo;\n}\n"}},
			"unexpected \"foo\"", "main.frag:9: foo;"},
		{"after a multi-line invocation",
			{{"main.frag", head + "#define DECL(name) \\\n\tfloat name; \\\n\tint name##_count;\nDECL(\n\tx\n)\nfloat z = ;\nvoid main() {}\n"}},
			"unexpected ';'", "main.frag:9: float z = ;"},
		{"multi-line macro in a header",
			{{"main.frag", head + "#include \"defs.h\"\nconst int n = SUM;\nvoid main() {\n\tfloat a[n];\n\tfoo;\n}\n"},
				{"defs.h", "#define SUM (1 + \\\n\t2 + \\\n\t3)\n"}},
			"unexpected \"foo\"", "main.frag:7: foo;"},
		// a name is not known in its own initialiser
		{"own name in a local initialiser", {{"main.frag", head + "void main() {\n\tfloat r = modf(2.5, r);\n}\n"}}, "unexpected \"r\"",
			"main.frag:4: float r = modf(2.5, r);"},
		{"own name in a local constant", {{"main.frag", head + "void main() {\n\tconst int c = c + 1;\n}\n"}}, "unexpected \"c\"", "main.frag:4: int c = c + 1;"},
		{"own name in a for-loop declaration", {{"main.frag", head + "void main() {\n\tfor (int k = k; k < 3; k++) color.x += 1.0;\n}\n"}},
			"unexpected \"k\"", "main.frag:4: for (int k = k; k < 3; k++) color.x += 1.0;"},
		{"own name in a global initialiser", {{"main.frag", head + "float g = g + 1.0;\nvoid main() {}\n"}}, "unexpected \"g\"", "main.frag:3: g + 1.0;"},
		{"own name in a global constant", {{"main.frag", head + "const int n = n * 2;\nvoid main() {}\n"}}, "unexpected \"n\"", "main.frag:3: int n = n * 2;"},
	};
	Workspace workspace;
	for (const Case &c : cases) {
		workspace.write(c.files);
		ProgramResult r = run_program({"-f", c.files[0].first, "-o", "out.spv"}, workspace.dir);
		EXPECT_EQ(r.status, 1) << c.what;
		EXPECT_EQ(r.out, "") << c.what;
		EXPECT_TRUE(has_error(r.err, "Compiler::compileGLSL(): " + c.message)) << c.what << "\n" << r.err;
		EXPECT_TRUE(has_error(r.err, "Shader::compile_glsl(): " + c.position)) << c.what << "\n" << r.err;
	}
}

// errors of control flow and calls: the failing statement's file and line
TEST(CompileErrors, ControlFlowAndCalls) {
	struct Case {
		std::string body; // after the output declaration; line 3 is its first
		std::string message;
		std::string position; // empty: the error belongs to no statement
	};
	const Case cases[] = {
		{"void main() {\n\tcolor = vec4(1);\n\tbreak;\n}\n", "break not in the loop or switch", "shader.frag:5: break;"},
		{"void main() {\n\tif (color.x > 0.0) {\n\t\tcontinue;\n\t}\n}\n", "continue not in the loop", "shader.frag:5: continue;"},
		{"float f() {\n\treturn;\n}\nvoid main() { color = vec4(f()); }\n", "non-void function \"f\" must return value", "shader.frag:4: return;"},
		{"void main() {\n\treturn 1.0;\n}\n", "void function \"main\" can't return value", "shader.frag:4: return 1.0;"},
		{"void main() {\n\tcolor = vec4(g(1.0));\n}\n", "unknown function \"g\"", "shader.frag:4: color = vec4(g(1.0));"},
		{"float h(float x) { return x; }\nvoid main() {\n\tcolor = vec4(h(1.0, 2.0));\n}\n", "unknown function h(f32;f32;)", "shader.frag:5: color = vec4(h(1.0, 2.0));"},
		{"float h(float x) { return x; }\nvoid main() {\n\tcolor = vec4(h(vec2(1.0)));\n}\n", "unknown function h(f32v2;)", "shader.frag:5: color = vec4(h(vec2(1.0)));"},
		{"void main() {\n\tcolor = vec4(min(1.0, 2.0, 3.0));\n}\n", "unknown external function min with 3 arguments", "shader.frag:4: color = vec4(min(1.0, 2.0, 3.0));"},
		{"void main() {\n\tcolor = vec4(abs(true));\n}\n", "unknown external function abs with 1 arguments", "shader.frag:4: color = vec4(abs(true));"},
		{"void main() {\n\tswitch (color.x) { default: break; }\n}\n", "invalid switch selector of f32 type", "shader.frag:4: switch (color.x) { default: break; }"},
		// a label inside a block or a statement nested in the switch
		{"void main() {\n\tint x = 0;\n\tswitch (x) {\n\tcase 0: { x = 1;\n\tcase 1: x = 2; }\n\t}\n}\n", "case not in the switch", "shader.frag:7: case 1: x = 2; }"},
		{"void main() {\n\tint x = 0;\n\tswitch (x) {\n\tcase 0: if (x > 0) default: x = 2;\n\t}\n}\n", "default not in the switch", "shader.frag:6: default: x = 2;"},
		{"void main() {\n\tmain();\n}\n", "can't call entry function", "shader.frag:4: main();"},
		{"float r(float x) { return r(x - 1.0); }\nvoid main() {\n\tcolor = vec4(r(1.0));\n}\n", "recursive call of r(f32;) function", ""},
	};
	Workspace workspace;
	for (const Case &c : cases) {
		std::string src = std::string("#version 450\n") + Out + c.body;
		workspace.write({{"shader.frag", src}});
		ProgramResult r = run_program({"-f", "shader.frag", "-o", "out.spv"}, workspace.dir);
		EXPECT_EQ(r.status, 1) << src;
		EXPECT_TRUE(has_error(r.err, "Compiler::compileGLSL(): " + c.message)) << src << r.err;
		std::string position = c.position.empty() ? "can't compile \"shader.frag\" shader" : c.position;
		EXPECT_TRUE(has_error(r.err, "Shader::compile_glsl(): " + position)) << src << r.err;
	}
}

// GLSL that the compiler does not take fails by naming what it refused, at
// the statement or declaration that uses it
TEST(CompileErrors, FormsNotTakenAreNamed) {
	struct Case {
		std::string body; // after the output declaration; line 3 is its first
		std::string message;
		std::string position;
	};
	const Case cases[] = {
		// built-ins with results through out parameters, and the 16-bit float pairs
		{"void main() {\n\tuint c;\n\tcolor.x = float(uaddCarry(1u, 2u, c));\n}\n", "\"uaddCarry\" built-in function is not supported",
			"shader.frag:5: color.x = float(uaddCarry(1u, 2u, c));"},
		{"void main() {\n\tuint c;\n\tcolor.x = float(usubBorrow(1u, 2u, c));\n}\n", "\"usubBorrow\" built-in function is not supported",
			"shader.frag:5: color.x = float(usubBorrow(1u, 2u, c));"},
		{"void main() {\n\tuint hi, lo;\n\tumulExtended(3u, 4u, hi, lo);\n}\n", "\"umulExtended\" built-in function is not supported",
			"shader.frag:5: umulExtended(3u, 4u, hi, lo);"},
		{"void main() {\n\tint hi, lo;\n\timulExtended(3, 4, hi, lo);\n}\n", "\"imulExtended\" built-in function is not supported",
			"shader.frag:5: imulExtended(3, 4, hi, lo);"},
		{"void main() {\n\tcolor.x = uintBitsToFloat(packFloat2x16(f16vec2(1.0)));\n}\n", "\"packFloat2x16\" built-in function is not supported",
			"shader.frag:4: color.x = uintBitsToFloat(packFloat2x16(f16vec2(1.0)));"},
		{"const uint k = packFloat2x16(f16vec2(1.0));\nvoid main() {}\n", "\"packFloat2x16\" built-in function is not supported",
			"shader.frag:3: uint k = packFloat2x16(f16vec2(1.0));"},
		{"void main() {\n\tcolor.xy = vec2(unpackFloat2x16(7u));\n}\n", "\"unpackFloat2x16\" built-in function is not supported",
			"shader.frag:4: color.xy = vec2(unpackFloat2x16(7u));"},
		// a function of the shader's own may have such a name
		{"uint uaddCarry(uint a, uint b, out uint c) { c = 0u; return a + b; }\nvoid main() {\n\tuint c;\n\tuaddCarry(1u, 2u, c);\n"
			"\tcolor = vec4(float(uaddCarry(1u, 2u, c)));\n}\n", "", ""},
		{"void main() {\n\tprecise float x = color.x * 2.0;\n}\n", "precise qualifier is not supported", "shader.frag:4: precise float x = color.x * 2.0;"},
		{"precise float g;\nvoid main() {}\n", "precise qualifier is not supported", "shader.frag:3: precise float g;"},
		// the comma operator; a comma between statements and in a for's parts separates them
		{"void main() {\n\tfloat a = 1.0, b = 2.0;\n\tcolor.x = (a++, b);\n}\n", "comma operator is not supported", "shader.frag:5: color.x = (a++, b);"},
		{"void main() {\n\tint i = 0;\n\tif (i++, i > 1) color.x = 1.0;\n}\n", "comma operator is not supported", "shader.frag:5: if (i++, i > 1) color.x = 1.0;"},
		{"const int k = (1, 2);\nvoid main() {}\n", "comma operator is not supported", "shader.frag:3: int k = (1, 2);"},
		{"void main() {\n\tint i, j;\n\tfor (i = 0, j = 4; i < j; i++, j--) color.x += 1.0;\n\ti++, j++;\n}\n", "", ""},
		// a structure declared with an initialised variable, and constant structures
		{"struct S { float a; int k; } s = S(1.0, 2);\nvoid main() {}\n", "initializers of variables declared with their structure are not supported: \"s\"",
			"shader.frag:3: } s = S(1.0, 2);"},
		{"struct S { float a; int k; };\nconst S k = S(1.0, 2);\nvoid main() {}\n", "constant structures are not supported: \"S\"",
			"shader.frag:4: S k = S(1.0, 2);"},
		{"struct S { float a; int k; };\nvoid main() {\n\tconst S k = S(1.0, 2);\n}\n", "constant structures are not supported: \"S\"",
			"shader.frag:5: S k = S(1.0, 2);"},
		{"void main() {\n\tstruct S { float a; } s;\n}\n", "structure declarations in functions are not supported", "shader.frag:4: struct S { float a; } s;"},
		// flow attributes without a control here, and lists of them
		{"void main() {\n\t[[dont_unroll]] for (int i = 0; i < 4; i++) color.x += 1.0;\n}\n", "\"dont_unroll\" flow attribute is not supported",
			"shader.frag:4: [[dont_unroll]] for (int i = 0; i < 4; i++) color.x += 1.0;"},
		{"void main() {\n\t[[dont_flatten]] if (color.x > 0.0) color.x = 1.0;\n}\n", "\"dont_flatten\" flow attribute is not supported",
			"shader.frag:4: [[dont_flatten]] if (color.x > 0.0) color.x = 1.0;"},
		{"void main() {\n\t[[dependency_length(4)]] for (int i = 0; i < 4; i++) color.x += 1.0;\n}\n", "\"dependency_length\" flow attribute is not supported",
			"shader.frag:4: [[dependency_length(4)]] for (int i = 0; i < 4; i++) color.x += 1.0;"},
		{"void main() {\n\t[[unroll, dependency_infinite]] for (int i = 0; i < 4; i++) color.x += 1.0;\n}\n",
			"\"dependency_infinite\" flow attribute is not supported", "shader.frag:4: [[unroll, dependency_infinite]] for (int i = 0; i < 4; i++) color.x += 1.0;"},
		{"void main() {\n\t[[unroll, loop]] for (int i = 0; i < 4; i++) color.x += 1.0;\n}\n", "lists of flow attributes are not supported",
			"shader.frag:4: [[unroll, loop]] for (int i = 0; i < 4; i++) color.x += 1.0;"},
		{"void main() {\n\t[[flatten]] for (int i = 0; i < 4; i++) color.x += 1.0;\n}\n", "invalid flow \"flatten\" for \"for\"",
			"shader.frag:4: [[flatten]] for (int i = 0; i < 4; i++) color.x += 1.0;"},
		// expression statements that assign nothing at their top
		{"void main() {\n\tfloat x = 0.0, y = 0.0;\n\tx > 2.0 ? (x = 1.0) : (y = 2.0);\n}\n",
			"expression statements other than assignments, increments and calls are not supported", "shader.frag:5: x > 2.0 ? (x = 1.0) : (y = 2.0);"},
		{"void main() {\n\tfloat x = 0.0;\n\tx + 1.0;\n}\n", "expression statements other than assignments, increments and calls are not supported",
			"shader.frag:5: x + 1.0;"},
		// initializer lists, of locals and globals
		{"void main() {\n\tfloat a[3] = {1.0, 2.0, 3.0};\n}\n", "initializer lists are not supported", "shader.frag:4: float a[3] = {1.0, 2.0, 3.0};"},
		{"void main() {\n\tfloat a[] = {1.0, 2.0};\n}\n", "initializer lists are not supported", "shader.frag:4: float a[] = {1.0, 2.0};"},
		{"struct T { int x; int y; };\nstruct S { int a; T t; };\nvoid main() {\n\tS s = {1, {2, 3}};\n}\n", "initializer lists are not supported",
			"shader.frag:6: S s = {1, {2, 3}};"},
		{"const float g[2] = {1.0, 2.0};\nvoid main() {}\n", "initializer lists are not supported", "shader.frag:3: float g[2] = {1.0, 2.0};"},
	};
	Workspace workspace;
	for (const Case &c : cases) {
		std::string src = std::string("#version 460\n") + Out + c.body;
		workspace.write({{"shader.frag", src}});
		std::remove((workspace.dir + "/out.spv").c_str());
		ProgramResult r = run_program({"-f", "shader.frag", "-o", "out.spv"}, workspace.dir);
		if (c.message.empty()) {
			EXPECT_EQ(r.status, 0) << src << r.err;
			if (r.status == 0 && have_tool("spirv-val")) {
				EXPECT_EQ(std::system(("spirv-val --target-env vulkan1.2 " + shell_quote(workspace.dir + "/out.spv")).c_str()), 0) << src;
			}
			continue;
		}
		EXPECT_EQ(r.status, 1) << src;
		EXPECT_TRUE(has_error(r.err, "Compiler::compileGLSL(): " + c.message)) << src << r.err;
		EXPECT_TRUE(has_error(r.err, "Shader::compile_glsl(): " + c.position)) << src << r.err;
	}
}

// the interface checks run on the whole shader: their errors have no line,
// and what needs no location or binding compiles
TEST(CompileErrors, InterfaceChecks) {
	struct Case {
		const char *stage;
		std::string src;
		std::string message; // empty: compiles
	};
	const std::string mesh = "#version 460\n#extension GL_EXT_mesh_shader : require\nlayout(local_size_x = 1) in;\n"
							 "layout(triangles, max_vertices = 3, max_primitives = 1) out;\n";
	const Case cases[] = {
		{"-f", "layout(location = 0) in vec4 p; in vec4 q;\n" + std::string(Out) + "void main() {}\n", "q has no location"},
		{"-f", "in vec4 p;\n" + std::string(Out) + "void main() {}\n", "p has no location"},
		{"-f", "out vec4 color;\nvoid main() {}\n", "color has no location"},
		{"-v", "layout(location = 0) in vec4 p;\nout Data { vec4 v; } data;\nvoid main() {}\n", "data has no location"},
		{"-f", "uniform sampler2D s;\n" + std::string(Out) + "void main() {}\n", "s has no binding"},
		{"-f", "uniform U { mat4 m; };\n" + std::string(Out) + "void main() {}\n", "U has no binding"},
		{"-f", "buffer S { float f[]; } s;\n" + std::string(Out) + "void main() {}\n", "s has no binding"},
		{"-f", "layout(push_constant) uniform P { float f; } p;\nlayout(binding = 0) uniform U { mat4 m; };\nlayout(binding = 1) uniform sampler2D s;\n" + std::string(Out) + "void main() {}\n", ""},
		{"-m", mesh + "perprimitiveEXT out vec4 primitive_color[];\nvoid main() {}\n", ""},
		{"-m", mesh + "perprimitiveEXT out PerPrimitive { vec4 c; int id; } primitive[];\nvoid main() {}\n", ""},
		{"-m", mesh + "out PerVertex { vec4 c; } vertex[];\nvoid main() {}\n", "vertex has no location"},
	};
	Workspace workspace;
	for (const Case &c : cases) {
		std::string name = std::string("shader") + (c.stage[1] == 'f' ? ".frag" : c.stage[1] == 'v' ? ".vert" : ".mesh");
		workspace.write({{name, c.src}});
		std::remove((workspace.dir + "/out.spv").c_str());
		ProgramResult r = run_program({c.stage, name, "-o", "out.spv"}, workspace.dir);
		if (c.message.empty()) {
			EXPECT_EQ(r.status, 0) << c.src << r.err;
			if (r.status == 0 && have_tool("spirv-val")) {
				int status = std::system(("spirv-val --target-env spv1.5 " + shell_quote(workspace.dir + "/out.spv")).c_str());
				EXPECT_EQ(status, 0) << c.src;
			}
			continue;
		}
		EXPECT_EQ(r.status, 1) << c.src;
		EXPECT_TRUE(has_error(r.err, "Compiler::compileGLSL(): " + c.message)) << c.src << r.err;
		EXPECT_TRUE(has_error(r.err, "Shader::compile_glsl(): can't compile \"" + name + "\" shader")) << c.src << r.err;
		EXPECT_EQ(r.err.find(name + ":"), std::string::npos) << r.err;
		EXPECT_NE(access((workspace.dir + "/out.spv").c_str(), F_OK), 0) << c.src;
	}
}
