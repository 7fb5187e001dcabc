// The compiler driver on whole shader texts: the prologue scan (#version,
// #extension, stage-wide layouts), global declarations, structures and
// blocks, constant expressions, and the error contract (the message, the
// error offset, never a crash on hostile nesting or sizes). Every module that
// compiles is checked by spirv-val.
#include "compiler_fixtures.h"

#include "core/Error.h"
#include "shader/ShaderSpirvNumbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using Vexa::Compiler;
using Vexa::String;
using Vexa::Value;

namespace {

namespace Spirv = Vexa::Spirv;
using namespace compiler_test;

constexpr uint32_t Vertex = 1;
constexpr uint32_t Control = 2;
constexpr uint32_t Evaluate = 3;
constexpr uint32_t Geometry = 4;
constexpr uint32_t Fragment = 5;
constexpr uint32_t Compute = 6;
constexpr uint32_t Task = 7;
constexpr uint32_t Mesh = 8;

// the offset a caller passes in, so that "left unchanged" can be told apart
constexpr uint32_t Untouched = 12345;
constexpr uint32_t NoPosition = ~0u;

// spirv-val's complaints about a whole module, empty when it accepts it or is
// not installed
std::string validate_module(const Vexa::Array<uint32_t> &words) {
	if (!have_tool("spirv-val")) return std::string();
	static int counter = 0;
	std::string path = "/tmp/vexa_driver_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
	{
		std::ofstream file(path + ".spv", std::ios::binary);
		file.write(reinterpret_cast<const char *>(words.get()), (std::streamsize)(words.size() * 4));
	}
	std::string command = "spirv-val --target-env spv1.5 " + path + ".spv > " + path + ".txt 2>&1";
	int status = std::system(command.c_str());
	std::ifstream log(path + ".txt");
	std::stringstream text;
	text << log.rdbuf();
	std::remove((path + ".spv").c_str());
	std::remove((path + ".txt").c_str());
	if (status == 0) return std::string();
	return text.str().empty() ? std::string("spirv-val failed") : text.str();
}

struct Result {
	bool ok = false;
	uint32_t offset = Untouched;
	std::string errors;
};

// one compilation with its logged errors; a module that compiles is validated
Result compile(Compiler &compiler, uint32_t type, const std::string &src) {
	LogCapture capture;
	Result ret;
	ret.ok = compiler.compileGLSL(type, src.c_str(), nullptr, &ret.offset, Compiler::DefaultFlags);
	ret.errors = capture.errors;
	if (ret.ok) {
		EXPECT_EQ(validate_module(compiler.words), "") << src;
	}
	return ret;
}

// the whole line of the first token at or after an offset (the parsers store
// the offset before the spaces that lead to the token)
std::string line_at(const std::string &src, uint32_t offset) {
	if (offset >= src.size()) return "<none>";
	size_t token = src.find_first_not_of(" \t\r\n", offset);
	if (token == std::string::npos) return "<none>";
	size_t begin = src.rfind('\n', token);
	begin = (begin == std::string::npos) ? 0 : begin + 1;
	begin = src.find_first_not_of(" \t", begin);
	size_t end = src.find('\n', token);
	return src.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

// the module's instructions after the header
std::vector<Instruction> module_instructions(const Compiler &compiler) {
	if (compiler.words.size() < 5) return {};
	return decode(compiler.words.get() + 5, compiler.words.size() - 5);
}

std::string literal_string(const std::vector<uint32_t> &operands, size_t first) {
	std::string ret;
	for (size_t i = first; i < operands.size(); i++) {
		for (uint32_t j = 0; j < 4; j++) {
			char c = char((operands[i] >> (8 * j)) & 0xffu);
			if (c == '\0') return ret;
			ret += c;
		}
	}
	return ret;
}

const Compiler::Variable *find_global(const Compiler &compiler, const char *name) {
	const uint32_t *index = compiler.global_scope.variables.get(String(name));
	return index != nullptr ? &compiler.variables[*index] : nullptr;
}

const uint32_t *decoration(const Compiler::Variable *variable, uint32_t number) {
	return variable != nullptr ? variable->decorations.get(number) : nullptr;
}

const char *const FragmentMain = "layout(location = 0) out vec4 color;\nvoid main() {}\n";

struct ErrorCase {
	uint32_t type;
	std::string src;
	std::string message;  // a part of the logged error
	// the source line the offset points at; nullptr: unchanged, "": no
	// position, "*": somewhere in the text, "<none>": past its last token
	const char *line;
};

void check_errors(const std::vector<ErrorCase> &cases) {
	Compiler compiler;
	for (const ErrorCase &c : cases) {
		Result r = compile(compiler, c.type, c.src);
		EXPECT_FALSE(r.ok) << c.src;
		EXPECT_NE(r.errors.find("Compiler::compileGLSL(): " + c.message), std::string::npos) << c.src << "\n" << r.errors;
		if (c.line == nullptr) EXPECT_EQ(r.offset, Untouched) << c.src;
		else if (*c.line == '\0') EXPECT_EQ(r.offset, NoPosition) << c.src;
		else if (std::string(c.line) == "*") EXPECT_LT(r.offset, c.src.size()) << c.src;
		else EXPECT_EQ(line_at(c.src, r.offset), c.line) << c.src;
	}
}

//
// prologue
//

TEST(CompilerDriver, PrologueErrors) {
	check_errors({
		{Fragment, std::string("#version 450\n#version 460\n") + FragmentMain, "too many #version directives\n", "#version 460"},
		{Fragment, std::string("#version 450 compatibility\n") + FragmentMain, "unknown #version profile \"compatibility\"\n", "#version 450 compatibility"},
		{Fragment, std::string("#extension GL_EXT_foo : maybe\n") + FragmentMain, "unknown #extension qualifier \"maybe\"\n", "#extension GL_EXT_foo : maybe"},
		{Compute, "void main() {}\n", "work group size is not declared\n", ""},
		{Task, "void main() {}\n", "work group size is not declared\n", ""},
		// the stage modes that every module of a stage needs
		{Mesh, "layout(local_size_x = 4, local_size_y = 4) in;\nvoid main() {}\n", "output primitive is not declared\n", ""},
		{Mesh, "layout(local_size_x = 4) in;\nlayout(triangles, max_vertices = 3) out;\nvoid main() {}\n", "max_primitives is not declared\n", ""},
		{Geometry, "layout(triangles) in;\nlayout(max_vertices = 3) out;\nvoid main() {}\n", "output primitive is not declared\n", ""},
		{Geometry, "layout(triangle_strip, max_vertices = 3) out;\nvoid main() {}\n", "input primitive is not declared\n", ""},
		{Geometry, "layout(triangles) in;\nlayout(triangle_strip) out;\nvoid main() {}\n", "max_vertices is not declared\n", ""},
		{Control, "void main() {}\n", "vertices is not declared\n", ""},
		{Evaluate, "layout(ccw) in;\nvoid main() {}\n", "input primitive is not declared\n", ""},
		{Geometry, "layout(triangles) in;\nlayout(triangles) in;\nvoid main() {}\n", "too many triangles execution qualifiers\n", "layout(triangles) in;"},
		{Geometry, "layout(points, ) in;\nvoid main() {}\n", "invalid layout qualifiers\n", "layout(points, ) in;"},
		{Geometry, "layout() in;\nvoid main() {}\n", "invalid layout qualifiers\n", "layout() in;"},
		{Compute, "layout(local_size_x = 0) in;\nvoid main() {}\n", "invalid local_size_x layout value\n", "layout(local_size_x = 0) in;"},
		{Compute, "layout(local_size_x = 1.5) in;\nvoid main() {}\n", "invalid local_size_x layout value \"", "layout(local_size_x = 1.5) in;"},
		{Fragment, std::string("layout(location = 0) in;\n") + FragmentMain, "unknown execution qualifier \"location\"\n", "layout(location = 0) in;"},
	});
}

TEST(CompilerDriver, VersionAndExtensions) {
	struct Case {
		std::string prologue;
		uint32_t language;
		uint32_t version;
		std::vector<std::string> extensions;
	};
	const Case cases[] = {
		{"#version 450\n", 0, 450, {}},
		{"#version 450 core\n", 2, 450, {}},
		{"#version 310 es\n", 1, 310, {}},
		{"  #  version 460\n", 0, 460, {}},
		{"#version 450\n#extension GL_EXT_b : enable\n#extension GL_EXT_a : require\n", 0, 450, {"GL_EXT_a", "GL_EXT_b"}},
		{"#extension GL_ARB_shader_ballot : warn\n#extension GL_EXT_c : disable\n", 0, 0, {}},
	};
	Compiler compiler;
	for (const Case &c : cases) {
		Result r = compile(compiler, Fragment, c.prologue + FragmentMain);
		ASSERT_TRUE(r.ok) << c.prologue << r.errors;
		uint32_t language = ~0u;
		uint32_t version = ~0u;
		std::vector<std::string> extensions;
		for (const Instruction &instruction : module_instructions(compiler)) {
			if (instruction.opcode == Spirv::OpSource && instruction.operands.size() >= 2) {
				language = instruction.operands[0];
				version = instruction.operands[1];
			}
			if (instruction.opcode == Spirv::OpSourceExtension) extensions.push_back(literal_string(instruction.operands, 0));
		}
		EXPECT_EQ(language, c.language) << c.prologue;
		EXPECT_EQ(version, c.version) << c.prologue;
		EXPECT_EQ(extensions, c.extensions) << c.prologue;
	}
}

TEST(CompilerDriver, WorkGroupSize) {
	struct Case {
		uint32_t type;
		std::string layout;
		uint32_t x, y, z;
	};
	const Case cases[] = {
		{Compute, "layout(local_size_x = 64) in;", 64, 1, 1},
		{Compute, "layout(local_size_x = 8, local_size_y = 8) in;", 8, 8, 1},
		{Compute, "layout(local_size_x = 2, local_size_y = 3, local_size_z = 4) in;", 2, 3, 4},
		// the last value wins; constant expressions are taken
		{Compute, "layout(local_size_x = 4) in;\nlayout(local_size_x = 2 * 16) in;", 32, 1, 1},
		{Compute, "layout (local_size_x = 16)\n\tin ;", 16, 1, 1},
		{Task, "layout(local_size_x = 32) in;", 32, 1, 1},
	};
	Compiler compiler;
	for (const Case &c : cases) {
		Result r = compile(compiler, c.type, c.layout + "\nvoid main() {}\n");
		ASSERT_TRUE(r.ok) << c.layout << r.errors;
		EXPECT_EQ(compiler.group_size[0], c.x) << c.layout;
		EXPECT_EQ(compiler.group_size[1], c.y) << c.layout;
		EXPECT_EQ(compiler.group_size[2], c.z) << c.layout;
		bool mode = false;
		for (const Instruction &instruction : module_instructions(compiler)) {
			if (instruction.opcode == Spirv::OpExecutionMode && instruction.operands.size() == 5 && instruction.operands[1] == 17) {
				mode = instruction.operands[2] == c.x && instruction.operands[3] == c.y && instruction.operands[4] == c.z;
			}
		}
		EXPECT_TRUE(mode) << c.layout;
	}
}

TEST(CompilerDriver, GeometryAndMeshModes) {
	Compiler compiler;
	Result r = compile(compiler, Geometry, "layout(triangles, invocations = 2) in;\nlayout(triangle_strip, max_vertices = 3) out;\nvoid main() {}\n");
	ASSERT_TRUE(r.ok) << r.errors;
	ASSERT_NE(compiler.execution_modes.get(22u), nullptr);
	ASSERT_NE(compiler.execution_modes.get(0u), nullptr);
	EXPECT_EQ(*compiler.execution_modes.get(0u), 2u);
	ASSERT_NE(compiler.execution_modes.get(26u), nullptr);
	EXPECT_EQ(*compiler.execution_modes.get(26u), 3u);
	EXPECT_NE(compiler.execution_modes.get(29u), nullptr);

	r = compile(compiler, Mesh, "layout(local_size_x = 1) in;\nlayout(triangles, max_vertices = 3, max_primitives = 1) out;\nvoid main() {}\n");
	ASSERT_TRUE(r.ok) << r.errors;
	EXPECT_NE(compiler.execution_modes.get(5298u), nullptr);
	ASSERT_NE(compiler.execution_modes.get(5270u), nullptr);
	EXPECT_EQ(*compiler.execution_modes.get(5270u), 1u);
}

// only statements at the global level are stage-wide layouts; a word that
// merely begins with "layout" is a name like any other
TEST(CompilerDriver, PrologueSeesOnlyGlobalStatements) {
	Compiler compiler;
	Result r = compile(compiler, Compute, "layout(local_size_x = 64) in;\nvoid main() {\n\tfloat a;\n\tlayout(local_size_x = 2) in;\n}\n");
	EXPECT_FALSE(r.ok);
	EXPECT_EQ(compiler.group_size[0], 64u);
	EXPECT_NE(r.errors.find("unexpected \"layout\""), std::string::npos) << r.errors;
	// the failure is the body's, at the statement, not the prologue's
	EXPECT_NE(r.offset, Untouched);

	// an execution layout inside a comment or a block's braces is no layout either
	r = compile(compiler, Compute, "// layout(local_size_x = 2) in;\n/* layout(local_size_y = 2) in; */\nlayout(local_size_x = 8) in;\nvoid main() {}\n");
	ASSERT_TRUE(r.ok) << r.errors;
	EXPECT_EQ(compiler.group_size[0], 8u);
	EXPECT_EQ(compiler.group_size[1], 1u);

	const char *names[] = {
		"float layoutScale;\n",
		"layout(binding = 0) uniform UBO { float layoutScale; };\n",
		"const float layout_k = 2.0;\n",
	};
	for (const char *declaration : names) {
		r = compile(compiler, Fragment, std::string(declaration) + FragmentMain);
		EXPECT_TRUE(r.ok) << declaration << r.errors;
	}
}

TEST(CompilerDriver, FunctionsWithoutBodies) {
	Compiler compiler;
	// an unused prototype is harmless
	Result r = compile(compiler, Fragment, std::string("float f(float x);\n") + FragmentMain);
	EXPECT_TRUE(r.ok) << r.errors;

	// the entry point is used by the stage: a prototype alone is no entry
	check_errors({
		{Fragment, "layout(location = 0) out vec4 color;\nvoid main();\n", "body of \"main\" function is not declared\n", "<none>"},
		{Fragment, "layout(location = 0) out vec4 color;\nvoid main(int x) {}\n", "can't find entry function\n", ""},
		{Fragment, "layout(location = 0) out vec4 color;\n", "can't find entry function\n", ""},
	});
	// the prototype of the entry, then its body
	r = compile(compiler, Fragment, "layout(location = 0) out vec4 color;\nvoid main();\nvoid main() {\n\tfloat a;\n}\n");
	EXPECT_TRUE(r.ok) << r.errors;
}

//
// declarations
//

TEST(CompilerDriver, DeclarationErrors) {
	const std::string main = "void main() {}\n";
	const std::string out = "layout(location = 0) out vec4 color;\n";
	check_errors({
		{Fragment, out + "void f(float a) {}\nvoid f(float b) {}\n" + main, "body of f(f32;) function is already declared\n", "void f(float b) {}"},
		{Fragment, out + "void f(float a);\nfloat f(float b);\n" + main, "invalid f(f32;) function type\n", "float f(float b);"},
		{Fragment, out + "const float k;\n" + main, "constants must be initialized\n", "const float k;"},
		{Fragment, out + "float k = ;\n" + main, "unexpected ';'\n", "float k = ;"},
		{Fragment, "layout(location = 0, ) in vec4 a;\n" + out + main, "invalid layout qualifiers\n", "layout(location = 0, ) in vec4 a;"},
		{Fragment, "layout(location = 0 flat) in vec4 a;\n" + out + main, "invalid expression\n", "layout(location = 0 flat) in vec4 a;"},
		{Fragment, "layout(location = 1) flat flat in int i;\n" + out + main, "too many flat qualifiers\n", "layout(location = 1) flat flat in int i;"},
		{Fragment, out + "in;\n" + main, "unused storage qualifier\n", "in;"},
		{Fragment, out + "layout(location = 2);\n" + main, "unused layout qualifier\n", "layout(location = 2);"},
		{Fragment, out + "float a;\nlayout(binding = 0) uniform B { float a; };\n" + main, "\"a\" name redefined\n", "*"},
		{Fragment, out + "struct S { struct T { float x; } t; };\n" + main, "unfinished structure declaration\n", "*"},
		{Fragment, out + "layout(binding = 0) uniform B { float a; layout(offset = 2) float b; };\n" + main, "invalid offset 2 of \"b\" member\n", "*"},
		{Fragment, out + "layout(binding = 0) buffer B { float a[]; float b; };\n" + main, "\"a\" runtime array must be the last member\n", "*"},
		{Fragment, out + "float k = 1.0 +;\n" + main, "", "float k = 1.0 +;"},
		// a uniform that is no resource lives in a block
		{Fragment, out + "layout(binding = 4) uniform float f;\n" + main, "\"f\" must be a member of a block\n", "*"},
		{Fragment, out + "void f(float a);\nvoid f(float b) {\n\tfloat b;\n}\n" + main, "\"b\" name redefined\n", "float b;"},
	});
}

TEST(CompilerDriver, LayoutsAndStorage) {
	Compiler compiler;
	// a list shares its qualifiers, so two inputs of a list would share a location
	Result shared = compile(compiler, Fragment, "layout(location = 1) flat in int a, b;\nvoid main() {}\n");
	EXPECT_FALSE(shared.ok);
	EXPECT_NE(shared.errors.find(" location 1 is taken by "), std::string::npos) << shared.errors;

	Result r = compile(compiler, Fragment,
		"flat in layout(location = 1) int a;\nlayout(location = 2) flat in int b;\n"
		"layout(location = 0) out vec4 color;\n"
		"layout(binding = 3, set = 1) uniform sampler2D s;\n"
		"layout(binding = 2) uniform texture2D t;\n"
		"void main() {}\n");
	ASSERT_TRUE(r.ok) << r.errors;
	for (const char *name : {"a", "b"}) {
		const Compiler::Variable *variable = find_global(compiler, name);
		ASSERT_NE(variable, nullptr) << name;
		EXPECT_EQ(variable->storage, 1u) << name;
		ASSERT_NE(decoration(variable, 30), nullptr) << name;
		EXPECT_EQ(*decoration(variable, 30), name[0] == 'a' ? 1u : 2u) << name;
		EXPECT_NE(decoration(variable, 14), nullptr) << name; // Flat
	}
	const Compiler::Variable *s = find_global(compiler, "s");
	ASSERT_NE(s, nullptr);
	EXPECT_EQ(s->storage, 0u);
	ASSERT_NE(decoration(s, 33), nullptr);
	EXPECT_EQ(*decoration(s, 33), 3u);
	ASSERT_NE(decoration(s, 34), nullptr);
	EXPECT_EQ(*decoration(s, 34), 1u);
	const Compiler::Variable *t = find_global(compiler, "t");
	ASSERT_NE(t, nullptr);
	EXPECT_EQ(t->storage, 0u);
	ASSERT_NE(decoration(t, 34), nullptr);
	EXPECT_EQ(*decoration(t, 34), 0u);
}

TEST(CompilerDriver, PrototypeThenDefinition) {
	Compiler compiler;
	// the body sees the definition's parameter names, not the prototype's
	const char *src =
		"layout(location = 0) out vec4 color;\n"
		"void f(float a, int n);\n"
		"void f(float b, int m) {\n\tfloat a;\n\tint n;\n\treturn;\n}\n"
		"void main() {}\n";
	Result r = compile(compiler, Fragment, src);
	ASSERT_TRUE(r.ok) << r.errors;
	uint32_t count = 0;
	for (uint32_t i = 0; i < compiler.functions.size(); i++) {
		const Compiler::Function &function = compiler.functions[i];
		if (function.name != "f") continue;
		count++;
		ASSERT_EQ(function.parameters.size(), 2u);
		EXPECT_EQ(compiler.variables[function.parameters[0].variable].name, "b");
		EXPECT_EQ(compiler.variables[function.parameters[1].variable].name, "m");
		EXPECT_NE(function.scope.variables.get(String("b")), nullptr);
		EXPECT_EQ(function.scope.variables.get(String("n")) == nullptr ? ~0u : compiler.variables[*function.scope.variables.get(String("n"))].function, i);
	}
	EXPECT_EQ(count, 1u);

	// a definition, then a prototype of it: the definition's names stay
	r = compile(compiler, Fragment, "layout(location = 0) out vec4 color;\nvoid f(float b) {\n\tfloat a;\n}\nvoid f(float a);\nvoid main() {}\n");
	ASSERT_TRUE(r.ok) << r.errors;
}

TEST(CompilerDriver, BlockLayout) {
	Compiler compiler;
	Result r = compile(compiler, Fragment,
		"layout(location = 0) out vec4 color;\n"
		"layout(std140, binding = 0) uniform A { float a; vec3 b; float c; };\n"
		"layout(binding = 1) uniform B { layout(offset = 32) float d; float e; vec2 f; };\n"
		"layout(row_major, binding = 2) uniform C { mat4 m; layout(column_major) mat3 n; };\n"
		"layout(std430, binding = 3) buffer D { float g; vec4 h[]; };\n"
		"void main() {}\n");
	ASSERT_TRUE(r.ok) << r.errors;
	struct Member {
		const char *name;
		uint32_t offset;
	};
	const Member members[] = {{"a", 0}, {"b", 16}, {"c", 28}, {"d", 32}, {"e", 36}, {"f", 40}, {"m", 0}, {"n", 64}, {"g", 0}, {"h", 16}};
	for (const Member &m : members) {
		const Compiler::Variable *variable = find_global(compiler, m.name);
		ASSERT_NE(variable, nullptr) << m.name;
		EXPECT_EQ(variable->offset, m.offset) << m.name;
		ASSERT_NE(decoration(variable, 35), nullptr) << m.name;
		EXPECT_EQ(*decoration(variable, 35), m.offset) << m.name;
	}
	const Compiler::Variable *m = find_global(compiler, "m");
	EXPECT_NE(decoration(m, 4), nullptr);
	EXPECT_EQ(decoration(m, 5), nullptr);
	ASSERT_NE(decoration(m, 7), nullptr);
	EXPECT_EQ(*decoration(m, 7), 16u);
	const Compiler::Variable *n = find_global(compiler, "n");
	EXPECT_NE(decoration(n, 5), nullptr);
	EXPECT_EQ(decoration(n, 4), nullptr);
	ASSERT_NE(decoration(n, 7), nullptr);
	EXPECT_EQ(*decoration(n, 7), 16u);
}

//
// constant expressions
//

struct ConstantCase {
	const char *text;
	uint32_t kind; // TypeFloat, TypeInt, TypeUint or TypeBool; 0: an error
	std::vector<double> components;
	const char *message; // a part of the error
};

void check_constants(Fixture &f, const std::vector<ConstantCase> &cases) {
	for (const ConstantCase &c : cases) {
		Value value;
		std::string error;
		try {
			f.compiler.parse_constant_expression(value, c.text, &f.compiler.global_scope, false);
		} catch (const String &message) {
			error = message.get();
		}
		EXPECT_EQ(f.compiler.depth, 0u) << c.text;
		if (c.kind == 0) {
			EXPECT_NE(error, "") << c.text << " gave a value";
			if (c.message != nullptr) {
				EXPECT_NE(error.find(c.message), std::string::npos) << c.text << ": " << error;
			}
			continue;
		}
		ASSERT_EQ(error, "") << c.text;
		// the kinds are read in the order float, unsigned, signed, bool
		uint32_t kind = 0;
		for (uint32_t bit : {Compiler::TypeFloat, Compiler::TypeUint, Compiler::TypeInt, Compiler::TypeBool}) {
			if (kind == 0 && (value.flags & bit)) kind = bit;
		}
		EXPECT_EQ(kind, c.kind) << c.text;
		ASSERT_EQ(value.count, c.components.size()) << c.text;
		for (uint32_t i = 0; i < value.count; i++) {
			double got = (c.kind == Compiler::TypeFloat) ? value.get_f64(i) : (c.kind == Compiler::TypeUint) ? double(value.get_u64(i)) : double(value.get_i64(i));
			EXPECT_EQ(got, c.components[i]) << c.text << " component " << i;
		}
	}
}

TEST(CompilerConstantExpressions, Values) {
	Fixture f;
	uint32_t offset = 0;
	f.compiler.parse_declarations("const int N = 4;\nconst float K = 0.5;\nfloat v;\nfloat arr[5];\n", &offset, false);
	const uint32_t F = Compiler::TypeFloat, I = Compiler::TypeInt, U = Compiler::TypeUint;
	check_constants(f, {
		{"1 + 2 * 3", I, {7}, nullptr},
		{"(1 + 2) * 3", I, {9}, nullptr},
		{"1 << 4 | 1", I, {17}, nullptr},
		{"8 / 2.0", F, {4.0}, nullptr},
		{"-3", I, {-3}, nullptr},
		{"- -3", I, {3}, nullptr},
		{"~0", I, {-1}, nullptr},
		{"~0u", U, {4294967295.0}, nullptr},
		{"7 % 3", I, {1}, nullptr},
		{"-7 / 2", I, {-3}, nullptr},
		{"vec3(1)", F, {1, 1, 1}, nullptr},
		{"ivec2(3, 4)", I, {3, 4}, nullptr},
		{"float[](1, 2, 3)", F, {1, 2, 3}, nullptr},
		{"pow(2.0, 10.0)", F, {1024}, nullptr},
		{"max(1.0, 2.0)", F, {2}, nullptr},
		{"N * 2", I, {8}, nullptr},
		{"K + N", F, {4.5}, nullptr},
		{"arr.length()", U, {5}, nullptr},
		{"((((((((((1))))))))))", I, {1}, nullptr},
		{"2147483647 + 1", I, {-2147483648.0}, nullptr},
		{"4294967295u + 1u", U, {0}, nullptr},
		{"65536 * 65536", I, {0}, nullptr},
		// a suffix gives the literal its width, and the arithmetic wraps there
		{"0x100000000ul + 1ul", U, {4294967297.0}, nullptr},
		{"65536l * 65536l", I, {4294967296.0}, nullptr},
		{"3000000000l + 2000000000", I, {5000000000.0}, nullptr},
		{"-9223372036854775806l - 2l", I, {-9223372036854775808.0}, nullptr},
		{"4611686018427387904L + 4611686018427387904L", I, {-9223372036854775808.0}, nullptr},
		{"(1ul << 63) >> 62", U, {2}, nullptr},
		{"010l << 32", I, {34359738368.0}, nullptr},
		{"(32767s + 1s) / 2s", I, {-16384}, nullptr},
		{"(65535us + 1us) / 2us", U, {0}, nullptr},
		{"7 % 2.0", 0, {}, "unknown operator Mod"},
		{"~1.0", 0, {}, "unknown operator BitwiseNot"},
		{"vec3(1, 2)", 0, {}, "can't parse constant"},
		{"max(1, 2, 3)", 0, {}, "unknown function"},
		{"v", 0, {}, "\"v\" is not a constant variable"},
		{"v + 1", 0, {}, "\"v\" is not a constant variable"},
		{"undeclared", 0, {}, "unexpected \"undeclared\""},
		{"", 0, {}, "invalid expression"},
		{"   ", 0, {}, "invalid expression"},
		{"1 +", 0, {}, nullptr},
		{"(1", 0, {}, "invalid expression"},
		{"1)", 0, {}, "invalid expression"},
		{"1 2", 0, {}, "invalid expression"},
		{"1 < 2", 0, {}, "unknown constant operator"},
		{"!1", 0, {}, nullptr},
		{"1 / 0", 0, {}, "can't evaluate Div"},
		{"1 % 0", 0, {}, "can't evaluate Mod"},
		{"1u / 0u", 0, {}, "can't evaluate Div"},
		{"(-2147483647 - 1) / -1", 0, {}, "can't evaluate Div"},
		{"1 << 32", 0, {}, "can't evaluate ShiftLeft"},
		{"arr.size()", 0, {}, "unknown array function"},
		{"(1, 2)", 0, {}, "comma operator is not supported"},
		{"packFloat2x16(f16vec2(1.0))", 0, {}, "\"packFloat2x16\" built-in function is not supported"},
		{"vec3(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17)", 0, {}, nullptr},
	});
}

// a named constant has its declared type, not its initialiser's: the value
// is converted to the declared kind and cut to its width
TEST(CompilerConstantExpressions, NamedConstantsHaveTheirDeclaredType) {
	Fixture f;
	uint32_t offset = 0;
	f.compiler.parse_declarations(
		"const float F = 3;\n"
		"const int I = 0xffffffffu;\n"
		"const uint U = -1;\n"
		"const vec3 V = 2;\n"
		"const ivec2 W = vec2(1.5, -2.5);\n"
		"const float A[3] = float[](1, 2, 3);\n"
		"const mat2 M = mat2(2);\n",
		&offset, false);
	const uint32_t Fl = Compiler::TypeFloat, I = Compiler::TypeInt, U = Compiler::TypeUint;
	check_constants(f, {
		{"F / 2", Fl, {1.5}, nullptr},
		{"I >> 30", I, {-1}, nullptr},
		{"I", I, {-1}, nullptr},
		{"U >> 30", U, {3}, nullptr},
		{"V", Fl, {2, 2, 2}, nullptr},
		{"W", I, {1, -2}, nullptr},
		{"A", Fl, {1, 2, 3}, nullptr},
		{"M", Fl, {2, 0, 0, 2}, nullptr},
	});

	const char *mismatches[] = {
		"const vec2 v = vec3(1.0);\n",
		"const float f = vec2(1.0, 2.0);\n",
		"const float a[2] = float[](1.0, 2.0, 3.0);\n",
		"const float a[3] = 1.0;\n",
		"const vec4 a[1073741825] = vec4[](1.0, 2.0, 3.0, 4.0);\n",
	};
	for (const char *text : mismatches) {
		Fixture g;
		std::string error;
		try {
			g.compiler.parse_declarations(text, &offset, false);
		} catch (const String &message) {
			error = message.get();
		}
		EXPECT_NE(error.find("can't initialize"), std::string::npos) << text << error;
	}
}

// nesting that would recurse without end fails with an error and never
// exhausts the stack; parentheses alone are no recursion and only have to
// balance
TEST(CompilerConstantExpressions, DeepNesting) {
	Fixture f;
	const size_t depth = 100000;
	std::string open(depth, '(');
	std::string balanced = open + "1" + std::string(depth, ')');
	std::string constructors;
	for (size_t i = 0; i < depth; i++) constructors += "float(";
	constructors += "1.0" + std::string(depth, ')');
	std::string calls;
	for (size_t i = 0; i < depth; i++) calls += "abs(";
	calls += "1.0" + std::string(depth, ')');
	std::string negations(depth, '-');
	negations += "1";
	check_constants(f, {
		{open.c_str(), 0, {}, nullptr},
		{(open + "1").c_str(), 0, {}, "invalid expression"},
		{balanced.c_str(), Compiler::TypeInt, {1}, nullptr},
		{constructors.c_str(), 0, {}, "nesting is too deep"},
		{calls.c_str(), 0, {}, "nesting is too deep"},
		{negations.c_str(), Compiler::TypeInt, {1}, nullptr},
	});
}

//
// hostile sizes and nesting through the whole driver
//

TEST(CompilerDriver, DeepNestingAndHugeSizes) {
	const size_t depth = 100000;
	struct Case {
		uint32_t type;
		std::string src;
	};
	const std::string out = "layout(location = 0) out vec4 color;\n";
	const Case cases[] = {
		{Fragment, out + "void main() {" + std::string(depth, '{') + std::string(depth, '}') + "}\n"},
		{Fragment, out + "void main() {" + std::string(depth, '{') + "\n"},
		{Fragment, out + "void main() " + std::string(depth, '}') + "\n"},
		{Fragment, out + "const float k = " + std::string(depth, '(') + "1.0" + std::string(depth, ')') + ";\nvoid main() {}\n"},
		{Fragment, out + "float a[" + std::string(depth, '(') + "1" + std::string(depth, ')') + "];\nvoid main() {}\n"},
		{Fragment, out + std::string(depth, '(') + "\nvoid main() {}\n"},
		{Fragment, out + "layout(binding = 0) uniform B { float a[2147483647]; };\nvoid main() {}\n"},
		{Fragment, out + "layout(binding = 0) uniform B { vec4 a[2147483647]; };\nvoid main() {}\n"},
		{Fragment, out + "layout(binding = 0) buffer B { float x; float a[2147483647]; };\nvoid main() {}\n"},
		{Fragment, out + "layout(binding = 0) buffer B { mat4 a[1073741824]; };\nvoid main() {}\n"},
		{Fragment, out + "struct S { vec4 v[67108864]; };\nlayout(binding = 0) buffer B { S s[64]; };\nvoid main() {}\n"},
		{Fragment, out + "float a[2147483647];\nvoid main() {}\n"},
		{Fragment, out + "float a[2147483648];\nvoid main() {}\n"},
		{Fragment, out + "float a[-1];\nvoid main() {}\n"},
		{Fragment, out + "void main() {\n\tfloat a[2147483647];\n}\n"},
	};
	Compiler compiler;
	for (const Case &c : cases) {
		Result r = compile(compiler, c.type, c.src);
		if (!r.ok) {
			EXPECT_NE(r.errors.find("Compiler::compileGLSL(): "), std::string::npos) << c.src.substr(0, 120);
		}
		EXPECT_EQ(compiler.depth, 0u);
	}
}

} // namespace
