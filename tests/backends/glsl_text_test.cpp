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

} // namespace
