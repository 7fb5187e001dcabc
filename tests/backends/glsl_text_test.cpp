// The texts of the GLSL backend that are fixed by design, from tiny shaders
// that the reference compiler makes into modules at test time: the version
// line; the extension lines, sorted by name, each once; on ES the two
// precision lines after them; the stage layout lines with their items in a
// fixed order; one pragma line per texture and separate sampler combined,
// after the last function; and the binding offsets of the command line that a
// binding takes. Every text is also checked by the reference compiler.
#include "backends/backend_fixtures.h"

#include <gtest/gtest.h>

namespace {

using namespace backend_test;

// A module of a shader source for a stage and Vulkan environment; a line of
// its disassembly is left out when `drop` names one (for a module that GLSL
// cannot write). Empty (after a failure) when a tool fails.
std::vector<uint32_t> make_module(const std::string &extension, const std::string &env, const std::string &source, const char *drop = nullptr) {
	std::string input = temp_path("source." + extension);
	std::string output = temp_path("module.spv");
	std::ofstream(input) << source;
	std::string errors;
	bool ok = run("glslangValidator -V --target-env " + env + " -o " + output + " " + input, &errors);
	std::remove(input.c_str());
	EXPECT_TRUE(ok) << errors << source;
	std::vector<uint32_t> words = ok ? read_words(output) : std::vector<uint32_t>();
	if (ok && drop != nullptr) {
		std::string listing = temp_path("module.spvasm");
		ok = run("spirv-dis --raw-id -o " + listing + " " + output, &errors);
		EXPECT_TRUE(ok) << errors;
		std::string text = spirv_test::read_text(listing);
		std::remove(listing.c_str());
		size_t at = text.find(drop);
		EXPECT_NE(at, std::string::npos) << "no line " << drop << " in\n" << text;
		if (at != std::string::npos) text.erase(at, text.find('\n', at) - at);
		words = spirv_test::assemble(text, env.c_str());
		EXPECT_EQ(spirv_val(words, env), "");
	}
	std::remove(output.c_str());
	return words;
}

struct Rendered {
	std::string gl;
	std::string es;
};

// the texts of both formats, each checked by the reference compiler
Rendered render_both(const std::string &extension, const std::vector<uint32_t> &words, const std::vector<std::string> &arguments = {}) {
	std::string module = temp_path("module.spv");
	spirv_test::write_words(module, words);
	Rendering gl = render_module(stage_option(extension), module, "-glsl", arguments);
	Rendering es = render_module(stage_option(extension), module, "-glsles", arguments);
	std::remove(module.c_str());
	EXPECT_EQ(gl.status, 0) << gl.err;
	EXPECT_EQ(es.status, 0) << es.err;
	std::vector<std::string> complaints = check_texts(glsl_checker(extension), {{"gl." + extension, gl.text}, {"es." + extension, es.text}});
	EXPECT_EQ(complaints[0], "") << gl.text;
	EXPECT_EQ(complaints[1], "") << es.text;
	return Rendered{gl.text, es.text};
}

// the lines that only say the stage's layout: "layout(...) in;" and "layout(...) out;"
std::string stage_layout_lines(const std::string &text) {
	std::string ret;
	std::istringstream lines(text);
	std::string line;
	while (std::getline(lines, line)) {
		if (line.compare(0, 7, "layout(") != 0) continue;
		size_t close = line.find(')');
		std::string rest = close == std::string::npos ? "" : line.substr(close + 1);
		if ((rest == " in;" || rest == " out;") && line.find('(', 7) == std::string::npos) ret += line + "\n";
	}
	return ret;
}

bool have_tools() {
	return have_tool("glslangValidator") && have_tool("spirv-dis") && have_tool("spirv-as") && have_tool("spirv-val");
}

// A shader and the exact beginnings of its texts: the version line, the
// extension lines, on ES the precision lines, then the stage layout lines,
// which are all the text has.
struct HeadCase {
	const char *name;
	const char *extension;
	const char *env;
	const char *source;
	const char *drop;
	const char *layouts; // the stage layout lines
	const char *gl_extensions;
	const char *es_extensions;
};

const char *const precision = "precision highp float;\nprecision highp int;\n";

const HeadCase head_cases[] = {
	// the extensions of the capabilities and those the module names itself
	// give one line each, sorted
	{"compute", "comp", "vulkan1.1",
		"#version 450\n#extension GL_KHR_shader_subgroup_vote : require\n#extension GL_KHR_shader_subgroup_basic : require\n"
		"layout(local_size_x = 64) in;\nlayout(set = 0, binding = 0) buffer B { uint v[]; } b;\n"
		"void main() { b.v[gl_LocalInvocationIndex] = subgroupAll(subgroupElect()) ? 1u : 0u; }\n",
		nullptr, "layout(local_size_x = 64) in;\n",
		"#extension GL_KHR_shader_subgroup_basic : enable\n#extension GL_KHR_shader_subgroup_vote : enable\n",
		"#extension GL_KHR_shader_subgroup_basic : enable\n#extension GL_KHR_shader_subgroup_vote : enable\n"},
	{"fragment", "frag", "vulkan1.1",
		"#version 450\n#extension GL_KHR_shader_subgroup_vote : require\n#extension GL_KHR_shader_subgroup_arithmetic : require\n"
		"#extension GL_KHR_shader_subgroup_basic : require\n"
		"layout(location = 0) flat in int k;\nlayout(location = 0) out vec4 o;\n"
		"void main() { o = vec4(subgroupAdd(float(k)), subgroupAny(k > 0) ? 1.0 : 0.0, float(gl_SampleID), 0.0); }\n",
		nullptr, "",
		"#extension GL_ARB_sample_shading : enable\n#extension GL_KHR_shader_subgroup_arithmetic : enable\n"
		"#extension GL_KHR_shader_subgroup_basic : enable\n#extension GL_KHR_shader_subgroup_vote : enable\n",
		"#extension GL_KHR_shader_subgroup_arithmetic : enable\n#extension GL_KHR_shader_subgroup_basic : enable\n"
		"#extension GL_KHR_shader_subgroup_vote : enable\n#extension GL_OES_sample_variables : enable\n"},
	{"control", "tesc", "vulkan1.0",
		"#version 450\nlayout(vertices = 3) out;\nlayout(location = 0) in vec3 p[];\nlayout(location = 0) out vec3 q[];\n"
		"void main() { q[gl_InvocationID] = p[gl_InvocationID]; gl_TessLevelOuter[0] = 1.0; gl_TessLevelInner[0] = 1.0; }\n",
		nullptr, "layout(vertices = 3) out;\n", "", ""},
	// a point size of a tessellation or geometry shader takes its ES
	// extension whether or not the module declares the capability
	{"control point size without its capability", "tesc", "vulkan1.0",
		"#version 450\nlayout(vertices = 1) out;\n"
		"void main() { gl_out[gl_InvocationID].gl_Position = vec4(1.0); gl_out[gl_InvocationID].gl_PointSize = 2.0; gl_TessLevelOuter[0] = 1.0; }\n",
		"OpCapability TessellationPointSize", "layout(vertices = 1) out;\n", "", "#extension GL_EXT_tessellation_point_size : enable\n"},
	{"geometry point size without its capability", "geom", "vulkan1.0",
		"#version 450\nlayout(points) in;\nlayout(points, max_vertices = 1) out;\n"
		"void main() { gl_Position = gl_in[0].gl_Position; gl_PointSize = 3.0; EmitVertex(); }\n",
		"OpCapability GeometryPointSize", "layout(invocations = 1, points) in;\nlayout(points, max_vertices = 1) out;\n", "",
		"#extension GL_EXT_geometry_point_size : enable\n"},
	// the reference compiler always gives a geometry shader its invocations
	{"geometry triangles", "geom", "vulkan1.0",
		"#version 450\nlayout(triangles, invocations = 2) in;\nlayout(triangle_strip, max_vertices = 3) out;\n"
		"void main() { for (int i = 0; i < 3; i++) { gl_Position = gl_in[i].gl_Position; EmitVertex(); } EndPrimitive(); }\n",
		nullptr, "layout(invocations = 2, triangles) in;\nlayout(triangle_strip, max_vertices = 3) out;\n", "", ""},
	{"geometry triangles without invocations", "geom", "vulkan1.0",
		"#version 450\nlayout(triangles) in;\nlayout(triangle_strip, max_vertices = 3) out;\n"
		"void main() { for (int i = 0; i < 3; i++) { gl_Position = gl_in[i].gl_Position; EmitVertex(); } EndPrimitive(); }\n",
		"OpExecutionMode %4 Invocations 1", "layout(triangles) in;\nlayout(triangle_strip, max_vertices = 3) out;\n", "", ""},
	{"geometry points", "geom", "vulkan1.0",
		"#version 450\nlayout(points) in;\nlayout(line_strip, max_vertices = 2) out;\n"
		"void main() { gl_Position = gl_in[0].gl_Position; EmitVertex(); gl_Position += vec4(1.0); EmitVertex(); }\n",
		nullptr, "layout(invocations = 1, points) in;\nlayout(line_strip, max_vertices = 2) out;\n", "", ""},
	{"geometry lines", "geom", "vulkan1.0",
		"#version 450\nlayout(lines, invocations = 4) in;\nlayout(points, max_vertices = 1) out;\n"
		"void main() { gl_Position = gl_in[1].gl_Position; EmitVertex(); }\n",
		nullptr, "layout(invocations = 4, lines) in;\nlayout(points, max_vertices = 1) out;\n", "", ""},
	{"geometry lines adjacency", "geom", "vulkan1.0",
		"#version 450\nlayout(lines_adjacency) in;\nlayout(points, max_vertices = 4) out;\n"
		"void main() { gl_Position = gl_in[3].gl_Position; EmitVertex(); }\n",
		nullptr, "layout(invocations = 1, lines_adjacency) in;\nlayout(points, max_vertices = 4) out;\n", "", ""},
	{"geometry triangles adjacency", "geom", "vulkan1.0",
		"#version 450\nlayout(triangles_adjacency) in;\nlayout(line_strip, max_vertices = 6) out;\n"
		"void main() { for (int i = 0; i < 6; i++) { gl_Position = gl_in[i].gl_Position; EmitVertex(); } }\n",
		nullptr, "layout(invocations = 1, triangles_adjacency) in;\nlayout(line_strip, max_vertices = 6) out;\n", "", ""},
};

TEST(GLSLText, HeadsAreVersionExtensionsPrecisionAndStageLayouts) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator or the SPIR-V tools are not installed";
	for (const HeadCase &c : head_cases) {
		SCOPED_TRACE(c.name);
		std::vector<uint32_t> words = make_module(c.extension, c.env, c.source, c.drop);
		if (words.empty()) continue;
		Rendered text = render_both(c.extension, words);
		std::string gl_head = std::string("#version 450 core\n") + c.gl_extensions + c.layouts;
		std::string es_head = std::string("#version 320 es\n") + c.es_extensions + precision + c.layouts;
		EXPECT_EQ(text.gl.substr(0, gl_head.size()), gl_head) << text.gl;
		EXPECT_EQ(text.es.substr(0, es_head.size()), es_head) << text.es;
		// no other stage layout line anywhere, and no precision line on GL
		EXPECT_EQ(stage_layout_lines(text.gl), c.layouts) << text.gl;
		EXPECT_EQ(stage_layout_lines(text.es), c.layouts) << text.es;
		EXPECT_EQ(text.gl.find("precision"), std::string::npos) << text.gl;
	}
}

// a texture and a sampler of their own, combined in a function and again in main
const char *const separate_source =
	"#version 450\n"
	"layout(set = 0, binding = 2) uniform texture2D tex;\n"
	"layout(set = 0, binding = 3) uniform sampler smp;\n"
	"layout(set = 0, binding = 5) uniform sampler2D combined;\n"
	"layout(set = 0, binding = 1, rgba8) uniform writeonly image2D img;\n"
	"layout(location = 0) in vec2 uv;\n"
	"layout(location = 0) out vec4 color;\n"
	"vec4 fetch(vec2 p) { return texture(sampler2D(tex, smp), p); }\n"
	"void main() {\n"
	"  imageStore(img, ivec2(uv), vec4(1.0));\n"
	"  color = fetch(uv) + texture(sampler2D(tex, smp), uv * 2.0) + texture(combined, uv);\n"
	"}\n";

size_t count_of(const std::string &text, const std::string &part) {
	size_t ret = 0;
	for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ret++;
	return ret;
}

TEST(GLSLText, SeparateSamplerPragmaOnceAfterTheLastFunction) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator or the SPIR-V tools are not installed";
	std::vector<uint32_t> words = make_module("frag", "vulkan1.0", separate_source);
	ASSERT_FALSE(words.empty());
	Rendered text = render_both("frag", words);
	for (const std::string *t : {&text.gl, &text.es}) {
		EXPECT_EQ(count_of(*t, "#pragma sampler("), 1u) << *t;
		const std::string tail = "}\n#pragma sampler(2, 3)\n";
		ASSERT_GE(t->size(), tail.size()) << *t;
		EXPECT_EQ(t->substr(t->size() - tail.size()), tail) << *t;
	}
}

// Functions of this compiler's own modules that take samplers: the parameter
// is the pointer of the resource, which GLSL writes as a sampler parameter
// given the sampler variable or an element of an array of them.
TEST(GLSLText, OwnModulesPassSamplersToFunctions) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator or the SPIR-V tools are not installed";
	compiler_test::Compiled compiled = compiler_test::compile(5,
		"#version 450\n"
		"layout(set = 0, binding = 0) uniform sampler2D tex;\n"
		"layout(set = 0, binding = 1) uniform sampler2D texs[3];\n"
		"layout(set = 0, binding = 4) uniform sampler2DShadow shadow;\n"
		"layout(location = 0) in vec2 uv;\n"
		"layout(location = 0) out vec4 color;\n"
		"vec4 inner(sampler2D s, vec2 p) { return texture(s, p); }\n"
		"vec4 outer(sampler2D s, vec2 p) { return inner(s, p * 2.0); }\n"
		"vec4 pick(sampler2D s[3]) { return texture(s[2], vec2(0.25)); }\n"
		"float depth(sampler2DShadow s) { return texture(s, vec3(uv, 0.5)); }\n"
		"void main() { color = outer(tex, uv) + outer(texs[1], uv) + pick(texs) * depth(shadow); }\n");
	ASSERT_TRUE(compiled.ok) << compiled.log;
	ASSERT_EQ(spirv_val(compiled.words, "vulkan1.0"), "");
	Rendered text = render_both("frag", compiled.words);
	for (const std::string *t : {&text.gl, &text.es}) {
		EXPECT_NE(t->find("sampler2D s, vec2 "), std::string::npos) << *t;
		EXPECT_NE(t->find("outer(texs[1], "), std::string::npos) << *t;
		EXPECT_NE(t->find("pick(texs)"), std::string::npos) << *t;
	}
}

// the binding of the declaration of a variable; -1 without one
int binding_of(const std::string &text, const std::string &name) {
	std::istringstream lines(text);
	std::string line;
	while (std::getline(lines, line)) {
		if (line.size() < name.size() + 2 || line.compare(line.size() - name.size() - 2, name.size() + 2, " " + name + ";") != 0) continue;
		size_t at = line.find("binding = ");
		return at == std::string::npos ? -1 : std::atoi(line.c_str() + at + 10);
	}
	return -1;
}

TEST(GLSLText, StorageImagesTakeTheSurfaceOffsetAndTexturesNone) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator or the SPIR-V tools are not installed";
	std::vector<uint32_t> words = make_module("frag", "vulkan1.0", separate_source);
	ASSERT_FALSE(words.empty());
	struct Case {
		std::vector<std::string> arguments;
		int image;
	};
	const Case cases[] = {
		{{}, 1},
		{{"-surface", "10"}, 11},
		{{"-surface", "-1"}, 0},
		{{"-sampler", "30", "-texture", "20", "-surface", "10", "-uniform", "40", "-storage", "50", "-tracing", "70", "-texel", "60"}, 11},
		{{"-texture", "20", "-sampler", "30"}, 1},
	};
	for (const Case &c : cases) {
		std::string trace;
		for (const std::string &argument : c.arguments) trace += argument + " ";
		SCOPED_TRACE(trace);
		Rendered text = render_both("frag", words, c.arguments);
		for (const std::string *t : {&text.gl, &text.es}) {
			EXPECT_EQ(binding_of(*t, "img"), c.image) << *t;
			EXPECT_EQ(binding_of(*t, "tex"), 2) << *t;
			EXPECT_EQ(binding_of(*t, "combined"), 5) << *t;
		}
	}
}

// A control shader whose module gives vertex arrays lengths and built-ins of
// its own: three input vertices, built-in Position arrays outside any block,
// the invocation id read as an unsigned integer. GLSL sizes the input arrays
// itself and knows those built-ins only as gl_in[i] and gl_out[i] members,
// whose vertex a write names by gl_InvocationID alone.
const char *const vertex_arrays_module =
	"OpCapability Shader\n"
	"OpCapability Tessellation\n"
	"OpMemoryModel Logical GLSL450\n"
	"OpEntryPoint TessellationControl %main \"main\" %v %pos_in %pos_out %id %w %outer %inner\n"
	"OpExecutionMode %main OutputVertices 3\n"
	"OpName %main \"main\"\n"
	"OpName %v \"v\"\n"
	"OpName %w \"w\"\n"
	"OpName %pos_in \"pos_in\"\n"
	"OpName %pos_out \"pos_out\"\n"
	"OpName %copy \"copy\"\n"
	"OpDecorate %v Location 0\n"
	"OpDecorate %w Location 0\n"
	"OpDecorate %pos_in BuiltIn Position\n"
	"OpDecorate %pos_out BuiltIn Position\n"
	"OpDecorate %id BuiltIn InvocationId\n"
	"OpDecorate %outer BuiltIn TessLevelOuter\n"
	"OpDecorate %outer Patch\n"
	"OpDecorate %inner BuiltIn TessLevelInner\n"
	"OpDecorate %inner Patch\n"
	"%void = OpTypeVoid\n"
	"%fn = OpTypeFunction %void\n"
	"%float = OpTypeFloat 32\n"
	"%v4 = OpTypeVector %float 4\n"
	"%uint = OpTypeInt 32 0\n"
	"%u0 = OpConstant %uint 0\n"
	"%u1 = OpConstant %uint 1\n"
	"%u2 = OpConstant %uint 2\n"
	"%u3 = OpConstant %uint 3\n"
	"%u4 = OpConstant %uint 4\n"
	"%arr3 = OpTypeArray %v4 %u3\n"
	"%arr4f = OpTypeArray %float %u4\n"
	"%arr2f = OpTypeArray %float %u2\n"
	"%p_in_arr3 = OpTypePointer Input %arr3\n"
	"%p_out_arr3 = OpTypePointer Output %arr3\n"
	"%p_fn_arr3 = OpTypePointer Function %arr3\n"
	"%p_in_v4 = OpTypePointer Input %v4\n"
	"%p_out_v4 = OpTypePointer Output %v4\n"
	"%p_fn_v4 = OpTypePointer Function %v4\n"
	"%p_in_uint = OpTypePointer Input %uint\n"
	"%p_out_arr4f = OpTypePointer Output %arr4f\n"
	"%p_out_arr2f = OpTypePointer Output %arr2f\n"
	"%p_out_f = OpTypePointer Output %float\n"
	"%p_in_f = OpTypePointer Input %float\n"
	"%v = OpVariable %p_in_arr3 Input\n"
	"%pos_in = OpVariable %p_in_arr3 Input\n"
	"%pos_out = OpVariable %p_out_arr3 Output\n"
	"%w = OpVariable %p_out_arr3 Output\n"
	"%id = OpVariable %p_in_uint Input\n"
	"%outer = OpVariable %p_out_arr4f Output\n"
	"%inner = OpVariable %p_out_arr2f Output\n"
	"%main = OpFunction %void None %fn\n"
	"%entry = OpLabel\n"
	"%copy = OpVariable %p_fn_arr3 Function\n"
	"%all = OpLoad %arr3 %v\n"
	"OpStore %copy %all\n"
	"%i = OpLoad %uint %id\n"
	"%src = OpAccessChain %p_in_v4 %pos_in %i\n"
	"%p = OpLoad %v4 %src\n"
	"%c = OpAccessChain %p_fn_v4 %copy %u2\n"
	"%cv = OpLoad %v4 %c\n"
	"%sum = OpFAdd %v4 %p %cv\n"
	"%dst = OpAccessChain %p_out_v4 %pos_out %i\n"
	"OpStore %dst %sum\n"
	"%wd = OpAccessChain %p_out_v4 %w %i\n"
	"OpStore %wd %cv\n"
	"%y = OpAccessChain %p_in_f %pos_in %u1 %u1\n"
	"%yv = OpLoad %float %y\n"
	"%o0 = OpAccessChain %p_out_f %outer %u0\n"
	"OpStore %o0 %yv\n"
	"%n0 = OpAccessChain %p_out_f %inner %u0\n"
	"OpStore %n0 %yv\n"
	"OpReturn\n"
	"OpFunctionEnd\n";

std::string with_replaced(std::string text, const std::string &from, const std::string &to) {
	size_t at = text.find(from);
	EXPECT_NE(at, std::string::npos) << from;
	if (at != std::string::npos) text.replace(at, from.size(), to);
	return text;
}

TEST(GLSLText, VertexArraysAreGLSLs) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator or the SPIR-V tools are not installed";
	std::vector<uint32_t> words = spirv_test::assemble(vertex_arrays_module, "vulkan1.0");
	ASSERT_EQ(spirv_val(words, "vulkan1.0"), "");
	Rendered text = render_both("tesc", words);
	for (const std::string *t : {&text.gl, &text.es}) {
		EXPECT_NE(t->find("in vec4 v[];\n"), std::string::npos) << *t;
		// a whole load takes the module's three vertices
		EXPECT_NE(t->find("copy = vec4[3u](v[0], v[1], v[2]);"), std::string::npos) << *t;
		EXPECT_NE(t->find("gl_out[gl_InvocationID].gl_Position = gl_in[gl_InvocationID].gl_Position + copy[2u];"), std::string::npos) << *t;
		EXPECT_NE(t->find("w[gl_InvocationID] = copy[2u];"), std::string::npos) << *t;
		EXPECT_NE(t->find("gl_in[1u].gl_Position.y"), std::string::npos) << *t;
	}
	// what GLSL cannot write fails by name
	struct Case {
		const char *from;
		const char *to;
		const char *error;
	};
	const Case cases[] = {
		{"%dst = OpAccessChain %p_out_v4 %pos_out %i", "%dst = OpAccessChain %p_out_v4 %pos_out %u1", "unknown vertex index of output pos_out"},
		{"%wd = OpAccessChain %p_out_v4 %w %i", "%wd = OpAccessChain %p_out_v4 %w %u0", "unknown vertex index of output w"},
		{"%u3 = OpConstant %uint 3", "%u3 = OpConstant %uint 33", "unknown length of vertex array v"},
		// the vertex of a write found through a part of an element, a copy of
		// the pointer, or a copy of memory
		{"%wd = OpAccessChain %p_out_v4 %w %i\nOpStore %wd %cv", "%wd = OpAccessChain %p_out_v4 %w %u1\n%wx = OpAccessChain %p_out_f %wd %u0\n%cx = OpCompositeExtract %float %cv 0\nOpStore %wx %cx",
			"unknown vertex index of output w"},
		{"%wd = OpAccessChain %p_out_v4 %w %i", "%wc = OpCopyObject %p_out_arr3 %w\n%wd = OpAccessChain %p_out_v4 %wc %u2", "unknown vertex index of output w"},
		{"OpStore %wd %cv", "OpStore %wd %cv\n%w0 = OpAccessChain %p_out_v4 %w %u0\nOpCopyMemory %w0 %wd", "unknown vertex index of output w"},
		// GLSL sizes the outputs by the output vertices
		{"OutputVertices 3", "OutputVertices 4", "unknown length of vertex array w"},
	};
	std::string module = temp_path("module.spv");
	for (const Case &c : cases) {
		SCOPED_TRACE(c.error);
		std::vector<uint32_t> changed = spirv_test::assemble(with_replaced(vertex_arrays_module, c.from, c.to), "vulkan1.0");
		ASSERT_FALSE(changed.empty());
		spirv_test::write_words(module, changed);
		for (const char *format : {"-glsl", "-glsles"}) {
			Rendering r = render_module("-tc", module, format);
			EXPECT_EQ(r.status, 1) << r.text;
			EXPECT_NE(named_error(r.err).find(c.error), std::string::npos) << r.err;
		}
	}
	std::remove(module.c_str());
}

// Forms that SPIR-V allows and GLSL spells otherwise, and what a target
// cannot write at all. A case's source is GLSL for the reference compiler, or
// SPIR-V assembly (for what no GLSL source gives). Each format's expectation
// is the parts its text has, all of them, the checker taking the text; or,
// when it begins with "unknown", the named error the output fails with. A
// case may ask that this compiler's module of the source render the same.
struct FormCase {
	const char *name;
	const char *extension;
	const char *env;
	const char *source;
	std::vector<std::string> gl;
	std::vector<std::string> es;
	bool own = false;
};

// unsigned exponents, coordinates longer than the query takes, and two
// values of one function that the module gives one name
const char *const forms_module =
	"OpCapability Shader\n"
	"OpCapability ImageQuery\n"
	"%1 = OpExtInstImport \"GLSL.std.450\"\n"
	"OpMemoryModel Logical GLSL450\n"
	"OpEntryPoint Fragment %main \"main\" %k %uv %o\n"
	"OpExecutionMode %main OriginUpperLeft\n"
	"OpName %main \"main\"\n"
	"OpName %k \"k\"\n"
	"OpName %uv \"uv\"\n"
	"OpName %o \"o\"\n"
	"OpName %tex \"tex\"\n"
	"OpName %a \"value\"\n"
	"OpName %b \"value\"\n"
	"OpDecorate %k Flat\n"
	"OpDecorate %k Location 0\n"
	"OpDecorate %uv Location 1\n"
	"OpDecorate %o Location 0\n"
	"OpDecorate %tex DescriptorSet 0\n"
	"OpDecorate %tex Binding 0\n"
	"%void = OpTypeVoid\n"
	"%fn = OpTypeFunction %void\n"
	"%float = OpTypeFloat 32\n"
	"%uint = OpTypeInt 32 0\n"
	"%v2 = OpTypeVector %float 2\n"
	"%v4 = OpTypeVector %float 4\n"
	"%img = OpTypeImage %float 2D 0 0 0 1 Unknown\n"
	"%simg = OpTypeSampledImage %img\n"
	"%p_simg = OpTypePointer UniformConstant %simg\n"
	"%p_in_uint = OpTypePointer Input %uint\n"
	"%p_in_v4 = OpTypePointer Input %v4\n"
	"%p_out_v4 = OpTypePointer Output %v4\n"
	"%f1 = OpConstant %float 1\n"
	"%tex = OpVariable %p_simg UniformConstant\n"
	"%k = OpVariable %p_in_uint Input\n"
	"%uv = OpVariable %p_in_v4 Input\n"
	"%o = OpVariable %p_out_v4 Output\n"
	"%main = OpFunction %void None %fn\n"
	"%entry = OpLabel\n"
	"%kv = OpLoad %uint %k\n"
	"%a = OpExtInst %float %1 Ldexp %f1 %kv\n"
	"%t = OpLoad %simg %tex\n"
	"%c = OpLoad %v4 %uv\n"
	"%lod = OpImageQueryLod %v2 %t %c\n"
	"%q = OpCompositeExtract %float %lod 0\n"
	"%b = OpExtInst %float %1 Sqrt %q\n"
	"%s = OpFAdd %float %a %b\n"
	"%r = OpCompositeConstruct %v4 %s %a %b %f1\n"
	"OpStore %o %r\n"
	"OpReturn\n"
	"OpFunctionEnd\n";

// a fragment shader (the last entry point) beside a vertex shader's
// function, which writes the vertex stage's built-in
const char *const two_entries_module =
	"OpCapability Shader\n"
	"OpMemoryModel Logical GLSL450\n"
	"OpEntryPoint Vertex %vs \"vs\" %pos\n"
	"OpEntryPoint Fragment %fs \"main\" %o\n"
	"OpExecutionMode %fs OriginUpperLeft\n"
	"OpDecorate %pos BuiltIn Position\n"
	"OpDecorate %o Location 0\n"
	"%void = OpTypeVoid\n"
	"%fn = OpTypeFunction %void\n"
	"%float = OpTypeFloat 32\n"
	"%v4 = OpTypeVector %float 4\n"
	"%p_out_v4 = OpTypePointer Output %v4\n"
	"%one = OpConstant %float 1\n"
	"%c = OpConstantComposite %v4 %one %one %one %one\n"
	"%pos = OpVariable %p_out_v4 Output\n"
	"%o = OpVariable %p_out_v4 Output\n"
	"%vs = OpFunction %void None %fn\n"
	"%l1 = OpLabel\n"
	"OpStore %pos %c\n"
	"OpReturn\n"
	"OpFunctionEnd\n"
	"%fs = OpFunction %void None %fn\n"
	"%l2 = OpLabel\n"
	"OpStore %o %c\n"
	"OpReturn\n"
	"OpFunctionEnd\n";

// the arrays of vertices of a control shader reached through copies of
// their pointers and access chains without indices or of parts, and two
// locals named as a global and a function that the function uses
const char *const vertex_pointers_module =
	"OpCapability Tessellation\n"
	"OpMemoryModel Logical GLSL450\n"
	"OpEntryPoint TessellationControl %main \"main\" %v %pos_in %pos_out %id %w %outer\n"
	"OpExecutionMode %main OutputVertices 3\n"
	"OpName %main \"main\"\n"
	"OpName %v \"v\"\n"
	"OpName %w \"w\"\n"
	"OpName %f \"twice\"\n"
	"OpName %local_w \"w\"\n"
	"OpName %local_f \"twice\"\n"
	"OpDecorate %v Location 0\n"
	"OpDecorate %w Location 0\n"
	"OpDecorate %pos_in BuiltIn Position\n"
	"OpDecorate %pos_out BuiltIn Position\n"
	"OpDecorate %id BuiltIn InvocationId\n"
	"OpDecorate %outer BuiltIn TessLevelOuter\n"
	"OpDecorate %outer Patch\n"
	"%void = OpTypeVoid\n"
	"%fn = OpTypeFunction %void\n"
	"%float = OpTypeFloat 32\n"
	"%fn_f = OpTypeFunction %float %float\n"
	"%v4 = OpTypeVector %float 4\n"
	"%int = OpTypeInt 32 1\n"
	"%i0 = OpConstant %int 0\n"
	"%i1 = OpConstant %int 1\n"
	"%i2 = OpConstant %int 2\n"
	"%i3 = OpConstant %int 3\n"
	"%i4 = OpConstant %int 4\n"
	"%f2 = OpConstant %float 2\n"
	"%arr3 = OpTypeArray %v4 %i3\n"
	"%arr4f = OpTypeArray %float %i4\n"
	"%p_in_arr3 = OpTypePointer Input %arr3\n"
	"%p_out_arr3 = OpTypePointer Output %arr3\n"
	"%p_fn_arr3 = OpTypePointer Function %arr3\n"
	"%p_in_v4 = OpTypePointer Input %v4\n"
	"%p_out_v4 = OpTypePointer Output %v4\n"
	"%p_in_int = OpTypePointer Input %int\n"
	"%p_out_arr4f = OpTypePointer Output %arr4f\n"
	"%p_out_f = OpTypePointer Output %float\n"
	"%p_fn_f = OpTypePointer Function %float\n"
	"%v = OpVariable %p_in_arr3 Input\n"
	"%pos_in = OpVariable %p_in_arr3 Input\n"
	"%pos_out = OpVariable %p_out_arr3 Output\n"
	"%w = OpVariable %p_out_arr3 Output\n"
	"%id = OpVariable %p_in_int Input\n"
	"%outer = OpVariable %p_out_arr4f Output\n"
	"%f = OpFunction %float None %fn_f\n"
	"%a = OpFunctionParameter %float\n"
	"%fl = OpLabel\n"
	"%a2 = OpFMul %float %a %f2\n"
	"OpReturnValue %a2\n"
	"OpFunctionEnd\n"
	"%main = OpFunction %void None %fn\n"
	"%entry = OpLabel\n"
	"%copy = OpVariable %p_fn_arr3 Function\n"
	"%local_w = OpVariable %p_fn_f Function\n"
	"%local_f = OpVariable %p_fn_f Function\n"
	"%vc = OpCopyObject %p_in_arr3 %v\n"
	"%all = OpLoad %arr3 %vc\n"
	"OpStore %copy %all\n"
	"%pc = OpAccessChain %p_in_arr3 %pos_in\n"
	"%p1 = OpAccessChain %p_in_v4 %pc %i1\n"
	"%p1v = OpLoad %v4 %p1\n"
	"%i = OpLoad %int %id\n"
	"%oc = OpCopyObject %p_out_arr3 %pos_out\n"
	"%o = OpAccessChain %p_out_v4 %oc %i\n"
	"OpStore %o %p1v\n"
	"%wi = OpAccessChain %p_out_v4 %w %i\n"
	"%wx = OpAccessChain %p_out_f %wi %i0\n"
	"%x = OpCompositeExtract %float %p1v 0\n"
	"OpStore %local_w %x\n"
	"%lw = OpLoad %float %local_w\n"
	"%t = OpFunctionCall %float %f %lw\n"
	"OpStore %local_f %t\n"
	"%lf = OpLoad %float %local_f\n"
	"OpStore %wx %lf\n"
	"%w2 = OpAccessChain %p_out_f %w %i2 %i1\n"
	"%w2v = OpLoad %float %w2\n"
	"%o0 = OpAccessChain %p_out_f %outer %i0\n"
	"OpStore %o0 %w2v\n"
	"OpReturn\n"
	"OpFunctionEnd\n";

// a geometry shader's inputs of another length than its primitive's
const char *const primitive_length_module =
	"OpCapability Geometry\n"
	"OpMemoryModel Logical GLSL450\n"
	"OpEntryPoint Geometry %main \"main\" %v %pos\n"
	"OpExecutionMode %main Triangles\n"
	"OpExecutionMode %main Invocations 1\n"
	"OpExecutionMode %main OutputPoints\n"
	"OpExecutionMode %main OutputVertices 1\n"
	"OpName %v \"v\"\n"
	"OpDecorate %v Location 0\n"
	"OpDecorate %pos BuiltIn Position\n"
	"%void = OpTypeVoid\n"
	"%fn = OpTypeFunction %void\n"
	"%float = OpTypeFloat 32\n"
	"%v4 = OpTypeVector %float 4\n"
	"%uint = OpTypeInt 32 0\n"
	"%u1 = OpConstant %uint 1\n"
	"%u4 = OpConstant %uint 4\n"
	"%arr4 = OpTypeArray %v4 %u4\n"
	"%p_in_arr4 = OpTypePointer Input %arr4\n"
	"%p_in_v4 = OpTypePointer Input %v4\n"
	"%p_out_v4 = OpTypePointer Output %v4\n"
	"%v = OpVariable %p_in_arr4 Input\n"
	"%pos = OpVariable %p_out_v4 Output\n"
	"%main = OpFunction %void None %fn\n"
	"%entry = OpLabel\n"
	"%a = OpAccessChain %p_in_v4 %v %u1\n"
	"%av = OpLoad %v4 %a\n"
	"OpStore %pos %av\n"
	"OpEmitVertex\n"
	"OpReturn\n"
	"OpFunctionEnd\n";

// a whole storage block read before a member is written, so that the text
// would keep it in a temporary of the block's type, which GLSL has not
const char *const block_copy_module =
	"OpCapability Shader\n"
	"OpMemoryModel Logical GLSL450\n"
	"OpEntryPoint GLCompute %main \"main\"\n"
	"OpExecutionMode %main LocalSize 1 1 1\n"
	"OpName %B \"B\"\n"
	"OpName %b \"b\"\n"
	"OpDecorate %B Block\n"
	"OpMemberDecorate %B 0 Offset 0\n"
	"OpMemberDecorate %B 1 Offset 4\n"
	"OpDecorate %b DescriptorSet 0\n"
	"OpDecorate %b Binding 0\n"
	"%void = OpTypeVoid\n"
	"%fn = OpTypeFunction %void\n"
	"%float = OpTypeFloat 32\n"
	"%int = OpTypeInt 32 1\n"
	"%i0 = OpConstant %int 0\n"
	"%i1 = OpConstant %int 1\n"
	"%f1 = OpConstant %float 1\n"
	"%B = OpTypeStruct %float %float\n"
	"%pB = OpTypePointer StorageBuffer %B\n"
	"%pf = OpTypePointer StorageBuffer %float\n"
	"%b = OpVariable %pB StorageBuffer\n"
	"%main = OpFunction %void None %fn\n"
	"%entry = OpLabel\n"
	"%all = OpLoad %B %b\n"
	"%p0 = OpAccessChain %pf %b %i0\n"
	"OpStore %p0 %f1\n"
	"%x = OpCompositeExtract %float %all 0\n"
	"%p1 = OpAccessChain %pf %b %i1\n"
	"OpStore %p1 %x\n"
	"OpReturn\n"
	"OpFunctionEnd\n";

// a block whose first member takes 4 GiB, so that a size counted in 32 bits
// wraps to 0 and the second member's Offset 0 would seem right
const char *const oversized_block_module =
	"OpCapability Shader\n"
	"OpMemoryModel Logical GLSL450\n"
	"OpEntryPoint GLCompute %main \"main\"\n"
	"OpExecutionMode %main LocalSize 1 1 1\n"
	"OpName %B \"B\"\n"
	"OpMemberName %B 0 \"a\"\n"
	"OpMemberName %B 1 \"b\"\n"
	"OpName %buf \"buf\"\n"
	"OpDecorate %B Block\n"
	"OpDecorate %arr ArrayStride 16\n"
	"OpMemberDecorate %B 0 Offset 0\n"
	"OpMemberDecorate %B 1 Offset 0\n"
	"OpDecorate %buf DescriptorSet 0\n"
	"OpDecorate %buf Binding 0\n"
	"%void = OpTypeVoid\n"
	"%fn = OpTypeFunction %void\n"
	"%float = OpTypeFloat 32\n"
	"%v4 = OpTypeVector %float 4\n"
	"%uint = OpTypeInt 32 0\n"
	"%int = OpTypeInt 32 1\n"
	"%n = OpConstant %uint 268435456\n"
	"%arr = OpTypeArray %v4 %n\n"
	"%B = OpTypeStruct %arr %float\n"
	"%pB = OpTypePointer StorageBuffer %B\n"
	"%pf = OpTypePointer StorageBuffer %float\n"
	"%buf = OpVariable %pB StorageBuffer\n"
	"%i1 = OpConstant %int 1\n"
	"%f1 = OpConstant %float 1\n"
	"%main = OpFunction %void None %fn\n"
	"%entry = OpLabel\n"
	"%p = OpAccessChain %pf %buf %i1\n"
	"OpStore %p %f1\n"
	"OpReturn\n"
	"OpFunctionEnd\n";

// Textures that reach their combination through function parameters: by
// themselves, through two functions, and as elements of an array passed
// whole; each texture unit has the sampler of its own combinations.
const char *const texture_parameters_source =
	"#version 450\n"
	"layout(set = 0, binding = 0) uniform texture2D tex;\n"
	"layout(set = 0, binding = 1) uniform texture2D texs[3];\n"
	"layout(set = 0, binding = 4) uniform texture2D other;\n"
	"layout(set = 0, binding = 5) uniform sampler smooth_sampler;\n"
	"layout(set = 0, binding = 6) uniform sampler sharp_sampler;\n"
	"layout(location = 0) in vec2 uv;\n"
	"layout(location = 0) out vec4 color;\n"
	"vec4 inner(texture2D t, vec2 p) { return texture(sampler2D(t, smooth_sampler), p); }\n"
	"vec4 outer(texture2D t, vec2 p) { return inner(t, p * 2.0); }\n"
	"vec4 pick(texture2D t[3]) { return texture(sampler2D(t[2], sharp_sampler), vec2(0.25)); }\n"
	"void main() { color = outer(tex, uv) + outer(texs[1], uv) + pick(texs) + texture(sampler2D(other, sharp_sampler), uv); }\n";

const char *const texture_parameters_pragmas = "}\n#pragma sampler(0, 5)\n#pragma sampler(2, 5)\n#pragma sampler(3, 6)\n#pragma sampler(4, 6)\n";

// the elements of an array of textures, one of them passed by itself and
// the whole array to a function that takes another of them
const char *const texture_elements_source =
	"#version 450\n"
	"layout(set = 0, binding = 0) uniform texture2D texs[3];\n"
	"layout(set = 0, binding = 3) uniform sampler smooth_sampler;\n"
	"layout(set = 0, binding = 4) uniform sampler sharp_sampler;\n"
	"layout(location = 0) in vec2 uv;\n"
	"layout(location = 0) out vec4 color;\n"
	"vec4 one(texture2D t) { return texture(sampler2D(t, smooth_sampler), uv); }\n"
	"vec4 pick(texture2D t[3]) { return texture(sampler2D(t[1], sharp_sampler), uv); }\n"
	"void main() { color = one(texs[0]) + one(texs[2]) + pick(texs); }\n";

const char *const texture_elements_pragmas = "}\n#pragma sampler(0, 3)\n#pragma sampler(2, 3)\n#pragma sampler(1, 4)\n";

// a row of an array of arrays of textures passed to a function that
// samples one element of it: the unit is that element's, within the row
const char *const texture_row_source =
	"#version 450\n"
	"layout(set = 0, binding = 0) uniform texture2D tex[2][3];\n"
	"layout(set = 0, binding = 6) uniform sampler smp;\n"
	"layout(location = 0) in vec2 uv;\n"
	"layout(location = 0) out vec4 color;\n"
	"vec4 f(texture2D p[3]) { return texture(sampler2D(p[2], smp), uv); }\n"
	"void main() { color = f(tex[1]); }\n";

// a texture passed to a function that combines it with two samplers
const char *const texture_parameter_two_samplers_source =
	"#version 450\n"
	"layout(set = 0, binding = 0) uniform texture2D tex;\n"
	"layout(set = 0, binding = 1) uniform sampler smooth_sampler;\n"
	"layout(set = 0, binding = 2) uniform sampler sharp_sampler;\n"
	"layout(location = 0) in vec2 uv;\n"
	"layout(location = 0) out vec4 color;\n"
	"vec4 both(texture2D t) { return texture(sampler2D(t, smooth_sampler), uv) * texture(sampler2D(t, sharp_sampler), uv); }\n"
	"void main() { color = both(tex); }\n";

// an element passed by itself and, within its array, to another function
// that combines it with another sampler
const char *const texture_element_two_samplers_source =
	"#version 450\n"
	"layout(set = 0, binding = 0) uniform texture2D texs[3];\n"
	"layout(set = 0, binding = 3) uniform sampler smooth_sampler;\n"
	"layout(set = 0, binding = 4) uniform sampler sharp_sampler;\n"
	"layout(location = 0) in vec2 uv;\n"
	"layout(location = 0) out vec4 color;\n"
	"vec4 one(texture2D t) { return texture(sampler2D(t, smooth_sampler), uv); }\n"
	"vec4 pick(texture2D t[3]) { return texture(sampler2D(t[2], sharp_sampler), uv); }\n"
	"void main() { color = one(texs[0]) + one(texs[2]) + pick(texs); }\n";

// the types and the sampling function of the two modules below
#define TEXTURE_PARAMETER_TYPES \
	"%void = OpTypeVoid\n" \
	"%fn = OpTypeFunction %void\n" \
	"%float = OpTypeFloat 32\n" \
	"%v2 = OpTypeVector %float 2\n" \
	"%v4 = OpTypeVector %float 4\n" \
	"%img = OpTypeImage %float 2D 0 0 0 1 Unknown\n" \
	"%pimg = OpTypePointer UniformConstant %img\n" \
	"%sam = OpTypeSampler\n" \
	"%psam = OpTypePointer UniformConstant %sam\n" \
	"%si = OpTypeSampledImage %img\n" \
	"%pv2 = OpTypePointer Input %v2\n" \
	"%pv4 = OpTypePointer Output %v4\n" \
	"%fs = OpTypeFunction %v4 %img\n"
#define TEXTURE_SAMPLE_FUNCTION \
	"%sample = OpFunction %v4 None %fs\n" \
	"%t = OpFunctionParameter %img\n" \
	"%body = OpLabel\n" \
	"%s = OpLoad %sam %smp\n" \
	"%c = OpSampledImage %si %t %s\n" \
	"%p = OpLoad %v2 %uv\n" \
	"%v = OpImageSampleImplicitLod %v4 %c %p\n" \
	"OpReturnValue %v\n" \
	"OpFunctionEnd\n"

// a texture passed by value, as the image itself, to a function called
// with two textures; `sample` combines it with one sampler
const char *const texture_value_parameter_module =
	"OpCapability Shader\n"
	"OpMemoryModel Logical GLSL450\n"
	"OpEntryPoint Fragment %main \"main\" %uv %color\n"
	"OpExecutionMode %main OriginUpperLeft\n"
	"OpName %sample \"sample\"\n"
	"OpName %t \"t\"\n"
	"OpName %tex \"tex\"\n"
	"OpName %tex2 \"tex2\"\n"
	"OpDecorate %tex DescriptorSet 0\n"
	"OpDecorate %tex Binding 0\n"
	"OpDecorate %smp DescriptorSet 0\n"
	"OpDecorate %smp Binding 1\n"
	"OpDecorate %tex2 DescriptorSet 0\n"
	"OpDecorate %tex2 Binding 3\n"
	"OpDecorate %uv Location 0\n"
	"OpDecorate %color Location 0\n"
	TEXTURE_PARAMETER_TYPES
	"%tex = OpVariable %pimg UniformConstant\n"
	"%tex2 = OpVariable %pimg UniformConstant\n"
	"%smp = OpVariable %psam UniformConstant\n"
	"%uv = OpVariable %pv2 Input\n"
	"%color = OpVariable %pv4 Output\n"
	"%main = OpFunction %void None %fn\n"
	"%entry = OpLabel\n"
	"%a = OpLoad %img %tex\n"
	"%b = OpLoad %img %tex2\n"
	"%ra = OpFunctionCall %v4 %sample %a\n"
	"%rb = OpFunctionCall %v4 %sample %b\n"
	"%r = OpFAdd %v4 %ra %rb\n"
	"OpStore %color %r\n"
	"OpReturn\n"
	"OpFunctionEnd\n"
	TEXTURE_SAMPLE_FUNCTION;

// the same, with one call given an undefined texture: which texture unit
// `sample` reads is not known
const char *const texture_undefined_argument_module =
	"OpCapability Shader\n"
	"OpMemoryModel Logical GLSL450\n"
	"OpEntryPoint Fragment %main \"main\" %uv %color\n"
	"OpExecutionMode %main OriginUpperLeft\n"
	"OpName %sample \"sample\"\n"
	"OpName %t \"t\"\n"
	"OpName %tex \"tex\"\n"
	"OpDecorate %tex DescriptorSet 0\n"
	"OpDecorate %tex Binding 0\n"
	"OpDecorate %smp DescriptorSet 0\n"
	"OpDecorate %smp Binding 1\n"
	"OpDecorate %uv Location 0\n"
	"OpDecorate %color Location 0\n"
	TEXTURE_PARAMETER_TYPES
	"%tex = OpVariable %pimg UniformConstant\n"
	"%smp = OpVariable %psam UniformConstant\n"
	"%uv = OpVariable %pv2 Input\n"
	"%color = OpVariable %pv4 Output\n"
	"%undefined = OpUndef %img\n"
	"%main = OpFunction %void None %fn\n"
	"%entry = OpLabel\n"
	"%a = OpLoad %img %tex\n"
	"%ra = OpFunctionCall %v4 %sample %a\n"
	"%rb = OpFunctionCall %v4 %sample %undefined\n"
	"%r = OpFAdd %v4 %ra %rb\n"
	"OpStore %color %r\n"
	"OpReturn\n"
	"OpFunctionEnd\n"
	TEXTURE_SAMPLE_FUNCTION;

// frexp writes its exponent through a pointer to an unsigned integer, which
// GLSL's frexp does not take
const char *const unsigned_exponent_module =
	"OpCapability Shader\n"
	"%1 = OpExtInstImport \"GLSL.std.450\"\n"
	"OpMemoryModel Logical GLSL450\n"
	"OpEntryPoint GLCompute %main \"main\"\n"
	"OpExecutionMode %main LocalSize 1 1 1\n"
	"OpName %B \"B\"\n"
	"OpMemberName %B 0 \"e\"\n"
	"OpMemberName %B 1 \"m\"\n"
	"OpName %b \"b\"\n"
	"OpDecorate %B Block\n"
	"OpMemberDecorate %B 0 Offset 0\n"
	"OpMemberDecorate %B 1 Offset 8\n"
	"OpDecorate %b DescriptorSet 0\n"
	"OpDecorate %b Binding 0\n"
	"%void = OpTypeVoid\n"
	"%fn = OpTypeFunction %void\n"
	"%float = OpTypeFloat 32\n"
	"%uint = OpTypeInt 32 0\n"
	"%int = OpTypeInt 32 1\n"
	"%uv2 = OpTypeVector %uint 2\n"
	"%v2 = OpTypeVector %float 2\n"
	"%B = OpTypeStruct %uv2 %v2\n"
	"%p_b = OpTypePointer StorageBuffer %B\n"
	"%p_uv2 = OpTypePointer StorageBuffer %uv2\n"
	"%p_v2 = OpTypePointer StorageBuffer %v2\n"
	"%i0 = OpConstant %int 0\n"
	"%i1 = OpConstant %int 1\n"
	"%b = OpVariable %p_b StorageBuffer\n"
	"%main = OpFunction %void None %fn\n"
	"%entry = OpLabel\n"
	"%e = OpAccessChain %p_uv2 %b %i0\n"
	"%mp = OpAccessChain %p_v2 %b %i1\n"
	"%x = OpLoad %v2 %mp\n"
	"%m = OpExtInst %v2 %1 Frexp %x %e\n"
	"OpStore %mp %m\n"
	"OpReturn\n"
	"OpFunctionEnd\n";

// a texture of an array chosen by an index that differs between
// invocations, which the module says of the loaded texture alone, and
// without the capability that such indices otherwise come with
const char *const nonuniform_without_capability_module =
	"OpCapability Shader\n"
	"OpCapability SampledImageArrayNonUniformIndexing\n"
	"OpExtension \"SPV_EXT_descriptor_indexing\"\n"
	"OpMemoryModel Logical GLSL450\n"
	"OpEntryPoint Fragment %main \"main\" %o %k %uv\n"
	"OpExecutionMode %main OriginUpperLeft\n"
	"OpName %o \"o\"\n"
	"OpName %samplers \"samplers\"\n"
	"OpName %k \"k\"\n"
	"OpName %uv \"uv\"\n"
	"OpDecorate %o Location 0\n"
	"OpDecorate %samplers DescriptorSet 0\n"
	"OpDecorate %samplers Binding 0\n"
	"OpDecorate %k Flat\n"
	"OpDecorate %k Location 0\n"
	"OpDecorate %uv Location 1\n"
	"OpDecorate %texture NonUniform\n"
	"%void = OpTypeVoid\n"
	"%fn = OpTypeFunction %void\n"
	"%float = OpTypeFloat 32\n"
	"%v2 = OpTypeVector %float 2\n"
	"%v4 = OpTypeVector %float 4\n"
	"%int = OpTypeInt 32 1\n"
	"%uint = OpTypeInt 32 0\n"
	"%u4 = OpConstant %uint 4\n"
	"%img = OpTypeImage %float 2D 0 0 0 1 Unknown\n"
	"%si = OpTypeSampledImage %img\n"
	"%arr = OpTypeArray %si %u4\n"
	"%p_arr = OpTypePointer UniformConstant %arr\n"
	"%p_si = OpTypePointer UniformConstant %si\n"
	"%p_int = OpTypePointer Input %int\n"
	"%p_v2 = OpTypePointer Input %v2\n"
	"%p_v4 = OpTypePointer Output %v4\n"
	"%samplers = OpVariable %p_arr UniformConstant\n"
	"%k = OpVariable %p_int Input\n"
	"%uv = OpVariable %p_v2 Input\n"
	"%o = OpVariable %p_v4 Output\n"
	"%main = OpFunction %void None %fn\n"
	"%entry = OpLabel\n"
	"%index = OpLoad %int %k\n"
	"%element = OpAccessChain %p_si %samplers %index\n"
	"%texture = OpLoad %si %element\n"
	"%coordinates = OpLoad %v2 %uv\n"
	"%value = OpImageSampleImplicitLod %v4 %texture %coordinates\n"
	"OpStore %o %value\n"
	"OpReturn\n"
	"OpFunctionEnd\n";

// a texture sampled with one sampler and fetched through a combination
// with another, which pairs no unit; the number of FMax, a literal, is the
// id of that combination
const char *const fetch_combination_module =
	"OpCapability Shader\n"
	"%1 = OpExtInstImport \"GLSL.std.450\"\n"
	"OpMemoryModel Logical GLSL450\n"
	"OpEntryPoint Fragment %main \"main\" %color %uv\n"
	"OpExecutionMode %main OriginUpperLeft\n"
	"OpName %color \"color\"\n"
	"OpName %tex \"tex\"\n"
	"OpName %smooth \"smooth_sampler\"\n"
	"OpName %sharp \"sharp_sampler\"\n"
	"OpName %uv \"uv\"\n"
	"OpDecorate %color Location 0\n"
	"OpDecorate %tex DescriptorSet 0\n"
	"OpDecorate %tex Binding 0\n"
	"OpDecorate %smooth DescriptorSet 0\n"
	"OpDecorate %smooth Binding 1\n"
	"OpDecorate %sharp DescriptorSet 0\n"
	"OpDecorate %sharp Binding 2\n"
	"OpDecorate %uv Location 0\n"
	"%void = OpTypeVoid\n"
	"%fn = OpTypeFunction %void\n"
	"%float = OpTypeFloat 32\n"
	"%int = OpTypeInt 32 1\n"
	"%v2 = OpTypeVector %float 2\n"
	"%v4 = OpTypeVector %float 4\n"
	"%iv2 = OpTypeVector %int 2\n"
	"%img = OpTypeImage %float 2D 0 0 0 1 Unknown\n"
	"%pimg = OpTypePointer UniformConstant %img\n"
	"%sam = OpTypeSampler\n"
	"%psam = OpTypePointer UniformConstant %sam\n"
	"%si = OpTypeSampledImage %img\n"
	"%pv2 = OpTypePointer Input %v2\n"
	"%pv4 = OpTypePointer Output %v4\n"
	"%i0 = OpConstant %int 0\n"
	"%i1 = OpConstant %int 1\n"
	"%at = OpConstantComposite %iv2 %i1 %i1\n"
	"%tex = OpVariable %pimg UniformConstant\n"
	"%smooth = OpVariable %psam UniformConstant\n"
	"%sharp = OpVariable %psam UniformConstant\n"
	"%uv = OpVariable %pv2 Input\n"
	"%color = OpVariable %pv4 Output\n"
	"%main = OpFunction %void None %fn\n"
	"%entry = OpLabel\n"
	"%t = OpLoad %img %tex\n"
	"%s = OpLoad %sam %smooth\n"
	"%c = OpSampledImage %si %t %s\n"
	"%p = OpLoad %v2 %uv\n"
	"%sampled = OpImageSampleImplicitLod %v4 %c %p\n"
	"%u = OpLoad %img %tex\n"
	"%r = OpLoad %sam %sharp\n"
	"%40 = OpSampledImage %si %u %r\n"
	"%back = OpImage %img %40\n"
	"%fetched = OpImageFetch %v4 %back %at Lod %i0\n"
	"%value = OpExtInst %v4 %1 FMax %sampled %fetched\n"
	"OpStore %color %value\n"
	"OpReturn\n"
	"OpFunctionEnd\n";

// gl_ClipDistance of a control shader's own vertex arrays, indexed at run
// time, and its Position beside it
const char *const distance_arrays_module =
	"OpCapability Tessellation\n"
	"OpCapability ClipDistance\n"
	"OpMemoryModel Logical GLSL450\n"
	"OpEntryPoint TessellationControl %main \"main\" %pos_in %pos_out %clip_in %clip_out %id\n"
	"OpExecutionMode %main OutputVertices 3\n"
	"OpDecorate %pos_in BuiltIn Position\n"
	"OpDecorate %pos_out BuiltIn Position\n"
	"OpDecorate %clip_in BuiltIn ClipDistance\n"
	"OpDecorate %clip_out BuiltIn ClipDistance\n"
	"OpDecorate %id BuiltIn InvocationId\n"
	"%void = OpTypeVoid\n"
	"%fn = OpTypeFunction %void\n"
	"%float = OpTypeFloat 32\n"
	"%v4 = OpTypeVector %float 4\n"
	"%int = OpTypeInt 32 1\n"
	"%uint = OpTypeInt 32 0\n"
	"%u2 = OpConstant %uint 2\n"
	"%u3 = OpConstant %uint 3\n"
	"%arr3 = OpTypeArray %v4 %u3\n"
	"%clip = OpTypeArray %float %u2\n"
	"%clip3 = OpTypeArray %clip %u3\n"
	"%p_in_arr3 = OpTypePointer Input %arr3\n"
	"%p_out_arr3 = OpTypePointer Output %arr3\n"
	"%p_in_clip3 = OpTypePointer Input %clip3\n"
	"%p_out_clip3 = OpTypePointer Output %clip3\n"
	"%p_in_v4 = OpTypePointer Input %v4\n"
	"%p_out_v4 = OpTypePointer Output %v4\n"
	"%p_in_f = OpTypePointer Input %float\n"
	"%p_out_f = OpTypePointer Output %float\n"
	"%p_in_int = OpTypePointer Input %int\n"
	"%pos_in = OpVariable %p_in_arr3 Input\n"
	"%pos_out = OpVariable %p_out_arr3 Output\n"
	"%clip_in = OpVariable %p_in_clip3 Input\n"
	"%clip_out = OpVariable %p_out_clip3 Output\n"
	"%id = OpVariable %p_in_int Input\n"
	"%main = OpFunction %void None %fn\n"
	"%entry = OpLabel\n"
	"%i = OpLoad %int %id\n"
	"%src = OpAccessChain %p_in_v4 %pos_in %i\n"
	"%p = OpLoad %v4 %src\n"
	"%dst = OpAccessChain %p_out_v4 %pos_out %i\n"
	"OpStore %dst %p\n"
	"%c = OpAccessChain %p_in_f %clip_in %i %i\n"
	"%cv = OpLoad %float %c\n"
	"%d = OpAccessChain %p_out_f %clip_out %i %i\n"
	"OpStore %d %cv\n"
	"OpReturn\n"
	"OpFunctionEnd\n";

const FormCase form_cases[] = {
	{"ldexp, query and names", "frag", "vulkan1.0", forms_module,
		{"ldexp(1.0, int(k))", "textureQueryLod(tex, (uv).xy)", "float value = ", "float value_v"}, {"unknown opcode 105"}},
	// ES interpolates a whole vector (or array element), then takes the component
	{"interpolant component", "frag", "vulkan1.0",
		"#version 450\nlayout(location = 0) in vec4 a[2];\nlayout(location = 0) out vec4 o;\n"
		"void main() { o = vec4(interpolateAtOffset(a[1].y, vec2(0.25)), 0.0, 0.0, 1.0); }\n",
		{"interpolateAtOffset(a[1].y, vec2(0.25))"}, {"interpolateAtOffset(a[1], vec2(0.25)).y"}},
	// the module's ballot is a uvec4, GLSL's ballotARB a uint64_t
	{"ballot", "comp", "vulkan1.1",
		"#version 450\n#extension GL_ARB_shader_ballot : require\n#extension GL_ARB_gpu_shader_int64 : require\n"
		"layout(local_size_x = 64) in;\nlayout(set = 0, binding = 0) buffer B { uint64_t m; } b;\n"
		"void main() { b.m = ballotARB(gl_LocalInvocationIndex < 3u); }\n",
		{"subgroupBallot(gl_LocalInvocationIndex < 3u)"}, {"unknown capability Int64"}},
	{"storage block array indexed at run time", "comp", "vulkan1.0",
		"#version 450\nlayout(local_size_x = 1) in;\nlayout(set = 0, binding = 0) buffer B { uint v[]; } b[2];\n"
		"void main() { b[gl_WorkGroupID.x & 1u].v[0] = 1u; }\n",
		{"b[gl_WorkGroupID.x & 1u].v[0] = 1u;"}, {"unknown run-time index of storage block array b"}},
	{"vertex arrays of structures", "tese", "vulkan1.0",
		"#version 450\nlayout(triangles) in;\nstruct S { float a; };\nlayout(location = 0) in S s[][2];\n"
		"void main() { gl_Position = vec4(s[0][1].a); }\n",
		{"in S s[][2u];"}, {"unknown array of structures s"}},
	// GLSL refuses a constant index past the end, though never used
	{"constant index past the end", "comp", "vulkan1.0",
		"#version 450\nlayout(local_size_x = 1) in;\nlayout(constant_id = 0) const uint K = 3u;\n"
		"layout(set = 0, binding = 0) buffer B { vec3 r; } b;\n"
		"void main() { vec3 v = vec3(0.0); if (b.r.x > 2.0) v[K] = 1.0; b.r = v; }\n",
		{"unknown index 3 past the end of v"}, {"unknown index 3 past the end of v"}},
	// NMin, NMax and NClamp say what NaN gives; GLSL's min, max and clamp do not
	{"minimum and maximum of NaN", "comp", "vulkan1.0",
		"#version 450\n#extension GL_EXT_spirv_intrinsics : require\nlayout(local_size_x = 1) in;\n"
		"spirv_instruction(set = \"GLSL.std.450\", id = 79) float nmin(float a, float b);\n"
		"spirv_instruction(set = \"GLSL.std.450\", id = 80) vec2 nmax(vec2 a, vec2 b);\n"
		"spirv_instruction(set = \"GLSL.std.450\", id = 81) float nclamp(float a, float b, float c);\n"
		"layout(set = 0, binding = 0) buffer B { float a; float b; vec2 v; vec2 w; float r; } b;\n"
		"void main() { b.r = nmin(b.a, b.b) + nclamp(b.a, b.b, 3.0); b.v = nmax(b.v, b.w); }\n",
		{"vec2 _nmax(vec2 a, vec2 b) {\n\treturn mix(mix(max(a, b), a, isnan(b)), b, isnan(a));\n}", "_nmin(b.a, b.b) + _nmin(_nmax(b.a, b.b), 3.0)"},
		{"_nmax(b.v, b.w)", "float _nmin(float a, float b) {\n\treturn mix(mix(min(a, b), a, isnan(b)), b, isnan(a));\n}"}},
	{"pointers to vertex arrays and locals of global names", "tesc", "vulkan1.0", vertex_pointers_module,
		{"vec4[3](v[0], v[1], v[2])", "gl_out[gl_InvocationID].gl_Position = gl_in[1].gl_Position;", "w[gl_InvocationID].x = ", "float w_v", "float twice_v",
			"twice(w_v"},
		{"vec4[3](v[0], v[1], v[2])", "gl_out[gl_InvocationID].gl_Position = gl_in[1].gl_Position;", "w[gl_InvocationID].x = ", "float w_v", "float twice_v",
			"twice(w_v"}},
	// the number of the input primitive is gl_PrimitiveIDIn, of the output gl_PrimitiveID
	{"primitive numbers", "geom", "vulkan1.0",
		"#version 450\nlayout(triangles) in;\nlayout(points, max_vertices = 1) out;\nlayout(location = 0) out float o;\n"
		"void main() { o = float(gl_PrimitiveIDIn); gl_PrimitiveID = gl_PrimitiveIDIn + 1; EmitVertex(); }\n",
		{"o = float(gl_PrimitiveIDIn);", "gl_PrimitiveID = gl_PrimitiveIDIn + 1;"}, {"o = float(gl_PrimitiveIDIn);", "gl_PrimitiveID = gl_PrimitiveIDIn + 1;"}},
	{"vertex count of the primitive", "geom", "vulkan1.0", primitive_length_module, {"unknown length of vertex array v"},
		{"unknown length of vertex array v"}},
	{"copy of a block", "comp", "vulkan1.1", block_copy_module, {"unknown copy of the whole block B"}, {"unknown copy of the whole block B"}},
	// arrays of textures and samplers chosen at run time keep their index;
	// where the module says it may differ between invocations (of the index
	// or of the texture it chooses) the index is nonuniformEXT; an element
	// of a sampler array is paired with its texture by binding, in GL's order
	{"texture arrays indexed at run time", "frag", "vulkan1.0",
		"#version 450\n#extension GL_EXT_nonuniform_qualifier : require\n"
		"layout(set = 0, binding = 0) uniform sampler2D samplers[4];\n"
		"layout(set = 0, binding = 4) uniform texture2D textures[3];\n"
		"layout(set = 0, binding = 1) uniform sampler smp[2];\n"
		"layout(set = 0, binding = 2) uniform U { int index; } u;\n"
		"layout(location = 0) flat in int k;\nlayout(location = 1) in vec2 uv;\nlayout(location = 0) out vec4 o;\n"
		"void main() { o = texture(samplers[u.index], uv) + texture(samplers[nonuniformEXT(k)], uv)\n"
		"  + texture(nonuniformEXT(sampler2D(textures[k + 1], smp[1])), uv) + texture(sampler2D(textures[2], smp[1]), uv); }\n",
		{"#extension GL_EXT_nonuniform_qualifier : require\n", "texture(samplers[u.index], uv)", "texture(samplers[nonuniformEXT(k)], uv)",
			"texture(textures[nonuniformEXT(k + 1)], uv)", "texture(textures[2], uv)",
			"#pragma sampler(4, 2)\n", "#pragma sampler(5, 2)\n", "#pragma sampler(6, 2)\n"},
		{"#extension GL_EXT_nonuniform_qualifier : require\n", "texture(samplers[u.index], uv)", "texture(samplers[nonuniformEXT(k)], uv)",
			"texture(textures[nonuniformEXT(k + 1)], uv)", "#pragma sampler(4, 2)\n", "#pragma sampler(5, 2)\n", "#pragma sampler(6, 2)\n"}},
	{"nonuniform index without its capability", "frag", "vulkan1.0", nonuniform_without_capability_module,
		{"#extension GL_EXT_nonuniform_qualifier : require\n", "texture(samplers[nonuniformEXT(k)], uv)"},
		{"#extension GL_EXT_nonuniform_qualifier : require\n", "texture(samplers[nonuniformEXT(k)], uv)"}},
	{"sampler arrays indexed at run time", "frag", "vulkan1.0",
		"#version 450\nlayout(set = 0, binding = 0) uniform texture2D tex;\nlayout(set = 0, binding = 1) uniform sampler smp[2];\n"
		"layout(set = 0, binding = 2) uniform U { int index; } u;\nlayout(location = 0) in vec2 uv;\nlayout(location = 0) out vec4 o;\n"
		"void main() { o = texture(sampler2D(tex, smp[u.index]), uv); }\n",
		{"unknown run-time index of sampler array smp"}, {"unknown run-time index of sampler array smp"}},
	// a GL texture unit takes one sampler
	{"texture with two samplers", "frag", "vulkan1.0",
		"#version 450\nlayout(set = 0, binding = 0) uniform texture2D tex[2];\nlayout(set = 0, binding = 2) uniform sampler smp[2];\n"
		"layout(location = 0) flat in int k;\nlayout(location = 1) in vec2 uv;\nlayout(location = 0) out vec4 o;\n"
		"void main() { o = texture(sampler2D(tex[k], smp[0]), uv) + texture(sampler2D(tex[1], smp[1]), uv); }\n",
		{"unknown second sampler (binding 2) of texture tex at binding 1"}, {"unknown second sampler (binding 2) of texture tex at binding 1"}},
	// a texture or an element of one that reaches its combination through
	// parameters: its unit, traced back to the arguments of every call,
	// takes the one sampler of its combinations, or the text fails
	{"textures through parameters", "frag", "vulkan1.0", texture_parameters_source, {texture_parameters_pragmas}, {texture_parameters_pragmas}},
	{"texture elements through parameters", "frag", "vulkan1.0", texture_elements_source, {texture_elements_pragmas}, {texture_elements_pragmas}},
	{"row of textures through a parameter", "frag", "vulkan1.0", texture_row_source, {"}\n#pragma sampler(5, 6)\n"}, {"}\n#pragma sampler(5, 6)\n"}},
	{"texture parameter with two samplers", "frag", "vulkan1.0", texture_parameter_two_samplers_source,
		{"unknown second sampler (binding 1) of texture tex at binding 0"}, {"unknown second sampler (binding 1) of texture tex at binding 0"}},
	{"texture element through parameters with two samplers", "frag", "vulkan1.0", texture_element_two_samplers_source,
		{"unknown second sampler (binding 4) of texture texs at binding 2"}, {"unknown second sampler (binding 4) of texture texs at binding 2"}},
	{"fetch combination of a literal's number", "frag", "vulkan1.0", fetch_combination_module, {"}\n#pragma sampler(0, 1)\n"}, {"}\n#pragma sampler(0, 1)\n"}},
	{"texture passed by value", "frag", "vulkan1.0", texture_value_parameter_module, {"}\n#pragma sampler(0, 1)\n#pragma sampler(3, 1)\n"},
		{"}\n#pragma sampler(0, 1)\n#pragma sampler(3, 1)\n"}},
	{"texture parameter of an unknown argument", "frag", "vulkan1.0", texture_undefined_argument_module, {"unknown origin of texture parameter t"},
		{"unknown origin of texture parameter t"}},
	// ES indexes arrays of images by constants only
	{"image arrays indexed at run time", "comp", "vulkan1.0",
		"#version 450\nlayout(local_size_x = 1) in;\nlayout(set = 0, binding = 0, r32ui) uniform uimage2D images[2];\n"
		"layout(set = 0, binding = 1) buffer B { int index; uint r; } b;\n"
		"void main() { b.r = imageAtomicAdd(images[b.index], ivec2(0), 1u) + imageLoad(images[1], ivec2(1)).x; imageStore(images[b.index ^ 1], ivec2(2), uvec4(3u)); }\n",
		{"imageAtomicAdd(images[b.index], ivec2(0), 1u)", "imageStore(images[b.index ^ 1], ivec2(2), uvec4(3u))"},
		{"unknown run-time index of image array images"}},
	// float additions of atomics: GL's extension has them, ES has none
	{"float atomics", "comp", "vulkan1.0",
		"#version 450\n#extension GL_EXT_shader_atomic_float : require\nlayout(local_size_x = 1) in;\n"
		"layout(set = 0, binding = 0, r32f) uniform image2D img;\nlayout(set = 0, binding = 1) buffer B { float sum; double d; } b;\n"
		"void main() { b.sum = atomicAdd(b.sum, 2.5) + imageAtomicAdd(img, ivec2(1, 2), 0.5); atomicAdd(b.d, 1.0LF); }\n",
		{"#extension GL_EXT_shader_atomic_float : enable\n", "atomicAdd(b.sum, 2.5)", "imageAtomicAdd(img, ivec2(1, 2), 0.5)", "atomicAdd(b.d, 1.0lf)"},
		{"unknown capability Float64"}},
	{"float atomics on ES", "comp", "vulkan1.0",
		"#version 450\n#extension GL_EXT_shader_atomic_float : require\nlayout(local_size_x = 1) in;\n"
		"shared float s;\nlayout(set = 0, binding = 1) buffer B { float sum; } b;\n"
		"void main() { s = 0.0; barrier(); atomicAdd(s, 2.5); barrier(); b.sum = s; }\n",
		{"atomicAdd(s, 2.5)"}, {"unknown float atomic opcode 6035 of 32-bit floats"}},
	// a block's size past what an Offset can reach is refused by name, not
	// counted round to a small one
	{"block of 4 GiB", "comp", "vulkan1.1", oversized_block_module, {"unknown size of B.a"}, {"unknown size of B.a"}},
	{"built-in of another stage", "frag", "vulkan1.0", two_entries_module,
		{"unknown builtin 0 in execution model 4"}, {"unknown builtin 0 in execution model 4"}},
	{"frexp of unsigned exponents", "comp", "vulkan1.1", unsigned_exponent_module,
		{"vec2 _frexp_vec2_uvec2(vec2 x, out uvec2 e) {\n\tivec2 i;\n\tvec2 r = frexp(x, i);\n\te = uvec2(i);\n\treturn r;\n}\n",
			"b.m = _frexp_vec2_uvec2(b.m, b.e);"},
		{"_frexp_vec2_uvec2(b.m, b.e)"}},
	// gl_ClipDistance and gl_CullDistance are unsized until declared again
	// with a size, which an index at run time needs: alone where the stage
	// has one vertex, in the whole gl_PerVertex block of gl_in[] and gl_out[]
	// (ES has neither)
	{"distances indexed at run time", "vert", "vulkan1.0",
		"#version 450\nout gl_PerVertex { vec4 gl_Position; float gl_ClipDistance[3]; float gl_CullDistance[2]; };\n"
		"layout(location = 0) in float x;\n"
		"void main() { gl_Position = vec4(1); for (int i = 0; i < 3; i++) gl_ClipDistance[i] = x; for (int i = 0; i < 2; i++) gl_CullDistance[i] = x; }\n",
		{"#version 450 core\nout float gl_ClipDistance[3u];\nout float gl_CullDistance[2u];\n", "gl_ClipDistance[i] = x;"}, {"unknown builtin 3"}, true},
	{"distances of vertex arrays indexed at run time", "tesc", "vulkan1.0",
		"#version 450\nlayout(vertices = 3) out;\n"
		"in gl_PerVertex { vec4 gl_Position; float gl_ClipDistance[2]; } gl_in[gl_MaxPatchVertices];\n"
		"out gl_PerVertex { vec4 gl_Position; float gl_ClipDistance[2]; } gl_out[];\n"
		"layout(location = 0) in int k[];\n"
		"void main() {\n"
		"  gl_out[gl_InvocationID].gl_Position = gl_in[gl_InvocationID].gl_Position;\n"
		"  for (int i = 0; i < 2; i++) gl_out[gl_InvocationID].gl_ClipDistance[i] = gl_in[gl_InvocationID].gl_ClipDistance[i + k[0]];\n"
		"  gl_TessLevelOuter[0] = 1.0; gl_TessLevelInner[0] = 1.0;\n"
		"}\n",
		{"in gl_PerVertex {\n\tvec4 gl_Position;\n\tfloat gl_ClipDistance[2u];\n} gl_in[];\n"
		 "out gl_PerVertex {\n\tvec4 gl_Position;\n\tfloat gl_ClipDistance[2u];\n} gl_out[];\n"},
		{"unknown builtin 3"}, true},
	{"distances of an evaluation shader indexed at run time", "tese", "vulkan1.0",
		"#version 450\nlayout(triangles) in;\n"
		"in gl_PerVertex { vec4 gl_Position; float gl_ClipDistance[2]; } gl_in[gl_MaxPatchVertices];\n"
		"out gl_PerVertex { vec4 gl_Position; float gl_ClipDistance[2]; };\n"
		"layout(location = 0) patch in int k;\n"
		"void main() { gl_Position = gl_in[0].gl_Position; for (int i = 0; i < 2; i++) gl_ClipDistance[i] = gl_in[1].gl_ClipDistance[k - i]; }\n",
		{"\tfloat gl_ClipDistance[2u];\n} gl_in[];\nout float gl_ClipDistance[2u];\n"}, {"unknown builtin 3"}, true},
	{"distances of a geometry shader indexed at run time", "geom", "vulkan1.0",
		"#version 450\nlayout(triangles) in;\nlayout(points, max_vertices = 1) out;\n"
		"in gl_PerVertex { vec4 gl_Position; float gl_CullDistance[3]; } gl_in[];\n"
		"out gl_PerVertex { vec4 gl_Position; float gl_CullDistance[3]; };\n"
		"layout(location = 0) flat in int k[];\n"
		"void main() { gl_Position = gl_in[0].gl_Position; for (int i = 0; i < 3; i++) gl_CullDistance[i] = gl_in[1].gl_CullDistance[k[0] + i]; EmitVertex(); }\n",
		{"\tfloat gl_CullDistance[3u];\n} gl_in[];\nout float gl_CullDistance[3u];\n"}, {"unknown builtin 4"}, true},
	{"distances of a fragment shader indexed at run time", "frag", "vulkan1.0",
		"#version 450\nin float gl_ClipDistance[3];\nin float gl_CullDistance[2];\n"
		"layout(location = 0) flat in int k;\nlayout(location = 0) out vec4 o;\n"
		"void main() { o = vec4(gl_ClipDistance[k], gl_CullDistance[k & 1], 0, 1); }\n",
		{"in float gl_ClipDistance[3u];\nin float gl_CullDistance[2u];\n"}, {"unknown builtin 3"}, true},
	// sized by constant indices: the redeclared blocks keep every built-in
	// that the module's have
	{"distances sized by constant indices", "tesc", "vulkan1.0",
		"#version 450\nlayout(vertices = 3) out;\n"
		"void main() {\n"
		"  gl_out[gl_InvocationID].gl_Position = gl_in[gl_InvocationID].gl_Position;\n"
		"  gl_out[gl_InvocationID].gl_PointSize = gl_in[0].gl_PointSize;\n"
		"  gl_out[gl_InvocationID].gl_ClipDistance[1] = gl_in[gl_InvocationID].gl_ClipDistance[0];\n"
		"  gl_TessLevelOuter[0] = 1.0; gl_TessLevelInner[0] = 1.0;\n"
		"}\n",
		{"\tfloat gl_PointSize;\n\tfloat gl_ClipDistance[2u];\n\tfloat gl_CullDistance[1u];\n} gl_out[];\n",
			"gl_out[gl_InvocationID].gl_PointSize = gl_in[0].gl_PointSize;"},
		{"unknown builtin 3"}},
	{"distances of separate vertex arrays", "tesc", "vulkan1.0", distance_arrays_module,
		{"in gl_PerVertex {\n\tvec4 gl_Position;\n\tfloat gl_ClipDistance[2u];\n} gl_in[];\n",
			"gl_out[gl_InvocationID].gl_ClipDistance[gl_InvocationID] = gl_in[gl_InvocationID].gl_ClipDistance[gl_InvocationID];"},
		{"unknown builtin 3"}},
};

// the stage of a file extension, as the compiler numbers it
uint32_t stage_of(const std::string &extension) {
	const char *const stages[] = {"vert", "tesc", "tese", "geom", "frag", "comp"};
	for (uint32_t i = 0; i < 6; i++) {
		if (extension == stages[i]) return i + 1;
	}
	return 0;
}

TEST(GLSLText, FormsOfWhatGLSLSpellsOtherwise) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator or the SPIR-V tools are not installed";
	std::string module = temp_path("module.spv");
	for (const FormCase &c : form_cases) {
		SCOPED_TRACE(c.name);
		std::vector<uint32_t> words;
		if (std::string(c.source).compare(0, 12, "OpCapability") == 0) {
			words = spirv_test::assemble(c.source, c.env);
			EXPECT_EQ(spirv_val(words, c.env), "");
		} else {
			words = make_module(c.extension, c.env, c.source);
		}
		ASSERT_FALSE(words.empty());
		std::vector<std::vector<uint32_t>> modules = {words};
		if (c.own) {
			compiler_test::Compiled compiled = compiler_test::compile(stage_of(c.extension), c.source);
			ASSERT_TRUE(compiled.ok) << compiled.log;
			ASSERT_EQ(spirv_val(compiled.words, c.env), "");
			modules.push_back(compiled.words);
		}
		for (const std::vector<uint32_t> &m : modules) {
			SCOPED_TRACE(&m == &modules[0] ? "the reference compiler's module" : "this compiler's module");
			spirv_test::write_words(module, m);
			for (int es = 0; es < 2; es++) {
				const std::vector<std::string> &expected = es ? c.es : c.gl;
				Rendering r = render_module(stage_option(c.extension), module, es ? "-glsles" : "-glsl");
				if (expected.size() == 1 && expected[0].compare(0, 7, "unknown") == 0) {
					EXPECT_EQ(r.status, 1) << r.text;
					EXPECT_NE(named_error(r.err).find(expected[0]), std::string::npos) << r.err;
					continue;
				}
				EXPECT_EQ(r.status, 0) << r.err;
				for (const std::string &part : expected) EXPECT_NE(r.text.find(part), std::string::npos) << part << " in\n" << r.text;
				EXPECT_EQ(check_texts(glsl_checker(c.extension), {{"form." + std::string(c.extension), r.text}})[0], "") << r.text;
			}
		}
	}
	std::remove(module.c_str());
}

// This compiler's own modules pass textures to functions as the pointers of
// the resources, as the reference compiler's do: the same pragma lines, and
// the same refusals, with each text ending in its pragma lines.
TEST(GLSLText, OwnModulesPairTexturesPassedToFunctions) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator or the SPIR-V tools are not installed";
	struct Case {
		const char *source;
		const char *expected; // the end of the text, or the error
	};
	const Case cases[] = {
		{texture_parameters_source, texture_parameters_pragmas},
		{texture_elements_source, texture_elements_pragmas},
		{texture_parameter_two_samplers_source, "unknown second sampler (binding 1) of texture tex at binding 0"},
		{texture_element_two_samplers_source, "unknown second sampler (binding 4) of texture texs at binding 2"},
	};
	std::string module = temp_path("module.spv");
	for (const Case &c : cases) {
		SCOPED_TRACE(c.source);
		compiler_test::Compiled compiled = compiler_test::compile(5, c.source);
		ASSERT_TRUE(compiled.ok) << compiled.log;
		ASSERT_EQ(spirv_val(compiled.words, "vulkan1.0"), "");
		std::string expected = c.expected;
		if (expected.compare(0, 7, "unknown") != 0) {
			Rendered text = render_both("frag", compiled.words);
			for (const std::string *t : {&text.gl, &text.es}) {
				ASSERT_GE(t->size(), expected.size()) << *t;
				EXPECT_EQ(t->substr(t->size() - expected.size()), expected) << *t;
			}
			continue;
		}
		spirv_test::write_words(module, compiled.words);
		for (const char *format : {"-glsl", "-glsles"}) {
			Rendering r = render_module(stage_option("frag"), module, format);
			EXPECT_EQ(r.status, 1) << r.text;
			EXPECT_NE(named_error(r.err).find(expected), std::string::npos) << r.err;
		}
	}
	std::remove(module.c_str());
}

// Two operations on constants that refer to each other: no valid module has
// them, and the text would never end; both formats stop with a message.
const char *const constant_cycle_module =
	"OpCapability Shader\n"
	"OpMemoryModel Logical GLSL450\n"
	"OpEntryPoint GLCompute %main \"main\"\n"
	"OpExecutionMode %main LocalSize 1 1 1\n"
	"OpDecorate %b DescriptorSet 0\n"
	"OpDecorate %b Binding 0\n"
	"OpDecorate %B Block\n"
	"OpMemberDecorate %B 0 Offset 0\n"
	"%void = OpTypeVoid\n"
	"%fn = OpTypeFunction %void\n"
	"%int = OpTypeInt 32 1\n"
	"%B = OpTypeStruct %int\n"
	"%pB = OpTypePointer StorageBuffer %B\n"
	"%pi = OpTypePointer StorageBuffer %int\n"
	"%i0 = OpConstant %int 0\n"
	"%x = OpSpecConstantOp %int IAdd %y %i0\n"
	"%y = OpSpecConstantOp %int IAdd %x %i0\n"
	"%b = OpVariable %pB StorageBuffer\n"
	"%main = OpFunction %void None %fn\n"
	"%l = OpLabel\n"
	"%p = OpAccessChain %pi %b %i0\n"
	"OpStore %p %x\n"
	"OpReturn\n"
	"OpFunctionEnd\n";

TEST(GLSLText, ConstantCycleFailsWithAMessage) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator or the SPIR-V tools are not installed";
	std::vector<uint32_t> words = spirv_test::assemble(constant_cycle_module, "vulkan1.1");
	ASSERT_FALSE(words.empty());
	std::string module = temp_path("module.spv");
	spirv_test::write_words(module, words);
	for (const char *format : {"-glsl", "-glsles"}) {
		Rendering r = render_module("-c", module, format);
		EXPECT_EQ(r.status, 1) << r.text;
		EXPECT_NE(r.err.find("depth or work bound reached"), std::string::npos) << r.err;
	}
	std::remove(module.c_str());
}

} // namespace
