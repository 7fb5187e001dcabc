// Calls of the shader's own functions as the compiler reports and lowers
// them: the warnings of converted arguments and of inline functions that
// stay calls, inline bodies copied into the caller, and references that
// never alias.
#include "compiler_fixtures.h"

#include "shader/ShaderSpirvNumbers.h"
#include "shader/spirv_fixtures.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace compiler_test;
using Vexa::Compiler;

namespace {

const char *const header =
	"#version 450\n"
	"layout(local_size_x = 1) in;\n"
	"layout(std430, binding = 0) buffer Out { float f; uint u; vec4 v; };\n";

struct Result {
	bool ok = false;
	std::string log;
	std::vector<uint32_t> opcodes;
};

Result compile(const std::string &body) {
	Result ret;
	LogCapture capture;
	Compiler compiler;
	uint32_t offset = 0;
	std::string source = std::string(header) + body;
	ret.ok = compiler.compileGLSL(6, source.c_str(), nullptr, &offset, Compiler::DefaultFlags & ~uint32_t(Compiler::FlagUnused));
	ret.log = capture.text();
	// the instructions after the module's five header words
	if (ret.ok && compiler.words.size() > 5) {
		for (const Instruction &instruction : decode(compiler.words.get() + 5, compiler.words.size() - 5)) ret.opcodes.push_back(instruction.opcode);
	}
	return ret;
}

uint32_t count(const Result &result, uint32_t opcode) {
	uint32_t ret = 0;
	for (uint32_t op : result.opcodes) ret += op == opcode;
	return ret;
}

} // namespace

TEST(CompilerCalls, Warnings) {
	// a float argument converted for a uint parameter
	Result converted = compile("uint g(uint x) { return x + 1u; }\nvoid main() { float h = f; u = g(h); }\n");
	ASSERT_TRUE(converted.ok) << converted.log;
	EXPECT_NE(converted.log.find("Compiler::parse_shader_function(): g(u32;) function used with (f32;) arguments\n"), std::string::npos) << converted.log;
	// the same call with a uint argument says nothing
	Result exact = compile("uint g(uint x) { return x + 1u; }\nvoid main() { u = g(u); }\n");
	ASSERT_TRUE(exact.ok) << exact.log;
	EXPECT_EQ(exact.log.find("used with"), std::string::npos) << exact.log;
	// an inline function that writes memory stays a call, and says why
	Result stays = compile("inline float w(float x) { v.x = x; return x; }\nvoid main() { f = w(f); }\n");
	ASSERT_TRUE(stays.ok) << stays.log;
	EXPECT_NE(stays.log.find("can't inline w(f32;) function opcode"), std::string::npos) << stays.log;
	EXPECT_EQ(count(stays, Vexa::Spirv::OpFunctionCall), 1u);
}

TEST(CompilerCalls, InlineBodiesWithLocals) {
	Result inlined = compile(
		"inline float sq(float a) { return a * a; }\n"
		"inline float sq2(float a) { float t = a * 2.0; t += 1.0; return t * t; }\n"
		"void main() { f = sq(f) + sq2(f); }\n");
	ASSERT_TRUE(inlined.ok) << inlined.log;
	EXPECT_EQ(count(inlined, Vexa::Spirv::OpFunctionCall), 0u) << inlined.log;
}

// Whole modules of calls that spirv-val accepts: a ?: of void calls branches
// and calls, with no variable of its value; images, samplers and acceleration
// structures go to functions as pointers to the resources, never through a
// variable of the function (Vulkan keeps them in UniformConstant alone).
TEST(CompilerCalls, ModulesOfVoidConditionalsAndResourceParameters) {
	if (!compiler_test::have_tool("spirv-val")) GTEST_SKIP() << "spirv-val is not installed";
	struct Row {
		uint32_t stage; // 5 fragment, 6 compute, 9 ray generation
		const char *source;
	} rows[] = {
		{6, "#version 450\nlayout(local_size_x = 1) in;\nlayout(std430, binding = 0) buffer B { int v[]; };\n"
			"void a() { v[0] = 1; }\nvoid b() { v[0] = 2; }\n"
			"void main() { bool c = v[1] > 0; (c ? a() : b()); (c ? (v[2] > 0 ? a() : b()) : a()); (true ? a() : b()); }\n"},
		{5, "#version 450\nlayout(binding = 0) uniform sampler2D tex;\nlayout(binding = 1) uniform sampler2D texs[3];\n"
			"layout(binding = 4) uniform sampler2DShadow shadow;\nlayout(location = 0) flat in int k;\nlayout(location = 0) out vec4 o;\n"
			"vec4 g(sampler2D s);\n"
			"vec4 inner(sampler2D s, vec2 uv) { return texture(s, uv); }\n"
			"vec4 f(sampler2D s, vec2 uv) { return inner(s, uv) * 2.0; }\n"
			"vec4 g(sampler2D s) { return textureLod(s, vec2(0.1), 0.0); }\n"
			"vec4 all3(sampler2D s[3], int i) { return texture(s[i], vec2(0.4)); }\n"
			"float depth(sampler2DShadow s) { return texture(s, vec3(0.5)); }\n"
			"void main() { o = f(tex, vec2(0.5)) + g(texs[k]) + all3(texs, k) + depth(shadow); }\n"},
		{5, "#version 450\nlayout(binding = 0) uniform texture2D t;\nlayout(binding = 1) uniform sampler smp;\n"
			"layout(binding = 2) writeonly uniform image2D img;\nlayout(location = 0) out vec4 o;\n"
			"vec4 combine(texture2D a, sampler b) { return texture(sampler2D(a, b), vec2(0.5)); }\n"
			"void store(image2D i, vec4 v) { imageStore(i, ivec2(0), v); }\n"
			"void main() { o = combine(t, smp); store(img, o); }\n"},
		// samplers and textures of integers keep their kind in the signature
		{6, "#version 450\nlayout(local_size_x = 1) in;\nlayout(std430, binding = 0) buffer B { ivec4 v[]; };\n"
			"layout(binding = 1) uniform isampler2D itex;\nlayout(binding = 2) uniform usampler2D utex;\n"
			"layout(binding = 3) uniform isampler2DArray atex;\nlayout(binding = 4) uniform utexture3D t3;\nlayout(binding = 5) uniform sampler smp;\n"
			"layout(binding = 6) uniform isampler2DMSArray mtex;\n"
			"ivec4 s3(isampler2D a, vec2 p) { return texture(a, p); }\n"
			"uvec4 s4(usampler2D a, vec2 p) { return textureLod(a, p, 0.0); }\n"
			"ivec4 s5(isampler2DArray a, vec3 p) { return texture(a, p); }\n"
			"uvec4 s6(utexture3D a, sampler b) { return texture(usampler3D(a, b), vec3(0.5)); }\n"
			"ivec4 s7(isampler2DMSArray a) { return texelFetch(a, ivec3(0), 1); }\n"
			"void main() { vec2 uv = vec2(0.5); v[0] = s3(itex, uv) + ivec4(s4(utex, uv)) + s5(atex, vec3(uv, 1.0)) + ivec4(s6(t3, smp)) + s7(mtex); }\n"},
		{9, "#version 460\n#extension GL_EXT_ray_tracing : require\nlayout(binding = 0) uniform accelerationStructureEXT scene;\n"
			"layout(location = 0) rayPayloadEXT vec4 payload;\n"
			"void trace(accelerationStructureEXT a) { traceRayEXT(a, gl_RayFlagsOpaqueEXT, 0xff, 0, 0, 0, vec3(0.0), 0.0, vec3(0.0, 0.0, 1.0), 10.0, 0); }\n"
			"void main() { trace(scene); }\n"},
	};
	for (const Row &row : rows) {
		compiler_test::Compiled compiled = compiler_test::compile(row.stage, row.source);
		ASSERT_TRUE(compiled.ok) << row.source << compiled.log;
		EXPECT_EQ(spirv_test::spirv_val(compiled.words, "vulkan1.2"), "") << row.source;
		// no pointer of the Function class to a type of no value, nor a parameter of one
		std::vector<Instruction> list = decode(compiled.words.data() + 5, uint32_t(compiled.words.size() - 5));
		std::set<uint32_t> opaque;
		std::map<uint32_t, std::pair<uint32_t, uint32_t>> pointers; // id -> storage, pointee
		for (const Instruction &i : list) {
			if ((i.opcode == Vexa::Spirv::OpTypeImage || i.opcode == Vexa::Spirv::OpTypeSampler || i.opcode == Vexa::Spirv::OpTypeSampledImage ||
					i.opcode == 5341) && !i.operands.empty()) {
				opaque.insert(i.operands[0]);
			}
			if ((i.opcode == Vexa::Spirv::OpTypeArray || i.opcode == Vexa::Spirv::OpTypeRuntimeArray) && i.operands.size() >= 2 && opaque.count(i.operands[1])) {
				opaque.insert(i.operands[0]);
			}
			if (i.opcode == Vexa::Spirv::OpTypePointer && i.operands.size() == 3) pointers[i.operands[0]] = {i.operands[1], i.operands[2]};
			if (i.opcode == Vexa::Spirv::OpTypePointer && i.operands.size() == 3 && opaque.count(i.operands[2])) {
				EXPECT_EQ(i.operands[1], 0u) << "a pointer of storage class " << i.operands[1] << " to an opaque type\n" << row.source;
			}
			if (i.opcode == Vexa::Spirv::OpFunctionParameter && i.operands.size() == 2) {
				EXPECT_FALSE(opaque.count(i.operands[0])) << "a parameter of an opaque value\n" << row.source;
			}
		}
	}
}

TEST(CompilerCalls, VoidValuesAndResourceArgumentsThatAreErrors) {
	struct Row {
		uint32_t stage;
		const char *source;
		const char *message;
	} rows[] = {
		{6, "#version 450\nlayout(local_size_x = 1) in;\nlayout(std430, binding = 0) buffer B { int v[]; };\nvoid a() { v[0] = 1; }\n"
			"void main() { bool c = v[1] > 0; (c ? a() : 1); }\n",
			"invalid operator Select for void and non-void operands"},
		{6, "#version 450\nlayout(local_size_x = 1) in;\nlayout(std430, binding = 0) buffer B { int v[]; };\nvoid a() { v[0] = 1; }\n"
			"void main() { bool c = v[1] > 0; v[0] = 1 + (c ? a() : a()); }\n",
			"invalid operator Add for i32 and void"},
		// a sampler made in place is no resource the function can be given
		{5, "#version 450\nlayout(binding = 0) uniform texture2D t;\nlayout(binding = 1) uniform sampler smp;\nlayout(location = 0) out vec4 o;\n"
			"vec4 f(sampler2D s) { return texture(s, vec2(0.5)); }\nvoid main() { o = f(sampler2D(t, smp)); }\n",
			"argument 1 of f(sampler2D;) function must be a resource variable"},
		{5, "#version 450\nlayout(location = 0) out vec4 o;\nvoid f(out sampler2D s) {}\nvoid main() { o = vec4(0.0); }\n",
			"\"s\" parameter of sampler2D type can't be an output"},
		// an image parameter has no format: an image of one is another type
		{5, "#version 450\nlayout(binding = 0, rgba8) uniform image2D img;\nlayout(location = 0) out vec4 o;\n"
			"vec4 load(image2D i) { return imageLoad(i, ivec2(0)); }\nvoid main() { o = load(img); }\n",
			"argument 1 of load(image2D;) function has another format or type than its parameter"},
	};
	for (const Row &row : rows) {
		compiler_test::Compiled compiled = compiler_test::compile(row.stage, row.source);
		EXPECT_FALSE(compiled.ok) << row.source;
		EXPECT_NE(compiled.log.find(std::string("Compiler::compileGLSL(): ") + row.message), std::string::npos) << row.source << compiled.log;
	}
}

// The overload GLSL chooses: an exact match before any conversion, float to
// double before any other conversion, int or uint to float before int or uint
// to double, whatever the order of declaration; a call that no overload wins
// in every argument is refused by name.
TEST(CompilerCalls, OverloadRanking) {
	struct {
		const char *functions;
		const char *call;
		const char *chosen; // the argument text of the g called, or the message
	} rows[] = {
		{"float g(double x) { return 1.0; } float g(float x) { return 2.0; }", "g(int(f))", "(f32;"},
		{"float g(double x) { return 1.0; } float g(float x) { return 2.0; }", "g(u)", "(f32;"},
		{"float g(double x) { return 1.0; } float g(float x) { return 2.0; }", "g(f)", "(f32;"},
		{"float g(double x) { return 1.0; } float g(int x) { return 2.0; }", "g(f)", "(f64;"},
		{"float g(double x) { return 1.0; } float g(uint x) { return 2.0; }", "g(f)", "(f64;"},
		{"float g(int x) { return 1.0; } float g(double x) { return 2.0; }", "g(u)", "(f64;"},
		{"float g(double a, double b) { return 1.0; } float g(float a, double b) { return 2.0; }", "g(f, 1.0)", "(f32;f64;"},
		{"float g(uint x) { return 1.0; } float g(double x) { return 2.0; }", "g(int(f))", "ambiguous call of g(i32;) function\n"},
		{"float g(uint x) { return 1.0; } float g(float x) { return 2.0; }", "g(1)", "ambiguous call of g(i32;) function\n"},
		{"float g(int a, float b) { return 1.0; } float g(float a, int b) { return 2.0; }", "g(1, 1)", "ambiguous call of g(i32;i32;) function\n"},
		{"float g(double a, float b) { return 1.0; } float g(float a, double b) { return 2.0; }", "g(1, 1)", "ambiguous call of g(i32;i32;) function\n"},
		{"float g(double a, double b) { return 1.0; } float g(float a, double b) { return 2.0; }", "g(1, 1.0)", "(f32;f64;"},
		{"float g(double a, int b) { return 1.0; } float g(float a, uint b) { return 2.0; }", "g(1.0, 1)", "ambiguous call of g(f32;i32;) function\n"},
		// built-ins keep their own overloads beside the shader's
		{"float max(float a, float b, float c) { return 1.0; }", "max(f, 2.0) + max(1, 2, 3)", ""},
	};
	for (const auto &row : rows) {
		SCOPED_TRACE(std::string(row.functions) + " " + row.call);
		LogCapture capture;
		Compiler compiler;
		uint32_t offset = 0;
		std::string source = std::string(header) + row.functions + "\nvoid main() { f = " + row.call + "; }\n";
		bool ok = compiler.compileGLSL(6, source.c_str(), nullptr, &offset, Compiler::DefaultFlags & ~uint32_t(Compiler::FlagUnused));
		std::string chosen;
		for (uint32_t i = 0; i < compiler.functions.size(); i++) {
			if (compiler.functions[i].name == "g" && compiler.functions[i].used) chosen += compiler.functions[i].arguments.get();
		}
		if (ok) {
			EXPECT_EQ(chosen, row.chosen);
		} else {
			EXPECT_NE(capture.text().find(row.chosen), std::string::npos) << capture.text();
			EXPECT_NE(std::string(row.chosen).find("ambiguous"), std::string::npos) << capture.text();
		}
	}
}
