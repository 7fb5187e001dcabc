// Kernels on which this program and the reference compiler once parted ways:
// each is compiled through the whole front end (preprocessor and compiler, as
// `shader` reads a file) and by the reference compiler, both modules run on
// the CPU Vulkan device over the same buffers, and every output word must be
// the same. Each kernel also writes values it can check on its own run.
#include "compute_runner.h"

#include "core/Log.h"
#include "shader/Shader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace vulkan_test;

namespace {

// the module of `source` as `shader -compute` makes it: empty on failure,
// with the log in *errors
std::vector<uint32_t> front_end_spirv(const std::string &source, std::string *errors) {
	struct Capture {
		static bool callback(int32_t, uint64_t, const char *text, void *data) {
			static_cast<std::string *>(data)->append(text);
			return true;
		}
	};
	Vexa::Log::Callback previous = Vexa::Log::getCallback();
	void *previous_data = Vexa::Log::getCallbackData();
	Vexa::Log::setCallback(&Capture::callback, errors);
	Vexa::ShaderCompiler shader;
	bool ok = shader.createGLSL(Vexa::Shader::Compute, source.c_str());
	Vexa::Log::setCallback(previous, previous_data);
	if (!ok) return {};
	const Vexa::Array<uint32_t> &words = shader.getOpcodes();
	return std::vector<uint32_t>(words.get(), words.get() + words.size());
}

struct Case {
	const char *name;
	const char *source; // a whole compute shader with one output buffer at binding 0
	uint32_t words;     // the output buffer's size in words
	// words the kernel must write, whatever the reference does: index and value
	std::vector<std::pair<uint32_t, uint32_t>> expected;
};

const Case cases[] = {
	// preprocessing
	{"substituted text keeps its tokens apart",
		"#version 450\n"
		"layout(local_size_x = 1) in;\n"
		"layout(std430, binding = 0) buffer Out { int o[8]; };\n"
		"#define NEG(x) -x\n"
		"#define MINUS -\n"
		"void main() {\n"
		"\tint a = 5;\n"
		"\tint b = NEG(-a);\n"
		"\to[0] = b;\n"
		"\to[1] = a;\n"
		"\tint c = 7;\n"
		"\to[2] = c-MINUS-2;\n"
		"\to[3] = c;\n"
		"}\n",
		4, {{0, 5}, {1, 5}, {2, 5}, {3, 7}}},
	{"an argument stays apart from the value after it",
		"#version 450\n"
		"layout(local_size_x = 1) in;\n"
		"layout(std430, binding = 0) buffer Out { int o[4]; };\n"
		"#define POST(x) x-\n"
		"#define ID(x) x\n"
		"void main() {\n"
		"\tint c = 7;\n"
		"\to[0] = POST(c)-1;\n"
		"\to[1] = c ID(-)-1;\n"
		"\to[2] = c;\n"
		"}\n",
		4, {{0, 8}, {1, 8}, {2, 7}}},
	{"predefined macros",
		"#version 450\n"
		"layout(local_size_x = 1) in;\n"
		"layout(std430, binding = 0) buffer Out { int o[8]; };\n"
		"void main() {\n"
		"#if __VERSION__ >= 450\n"
		"\to[0] = __VERSION__;\n"
		"#endif\n"
		"#ifdef VULKAN\n"
		"\to[1] = VULKAN;\n"
		"#endif\n"
		"#if defined(GL_core_profile) && !defined(GL_ES)\n"
		"\to[2] = GL_core_profile;\n"
		"#endif\n"
		"#if GL_KHR_shader_subgroup_basic && defined(GL_EXT_nonuniform_qualifier) && GL_ARB_shader_ballot == 1 && GL_EXT_shader_atomic_float\n"
		"\to[3] = 1;\n"
		"#endif\n"
		"\to[4] = __LINE__;\n"
		"}\n",
		8, {{0, 450}, {1, 100}, {2, 1}, {3, 1}, {4, 17}}},
	{"line continuations, #if operators, #line and function-like names alone",
		"#version 450\n"
		"layout(local_size_x = 1) in;\n"
		"layout(std430, binding = 0) buffer Out { int o[8]; };\n"
		"#define SUM(a, b) \\\n"
		"\t((a) + \\\n"
		"\t (b))\n"
		"#define FLAGS (1 << 3 | 1 << 1)\n"
		"#define F(x) (x * 2)\n"
		"void main() {\n"
		"\to[0] = SUM(2, 3);\n"
		"\tint long_na\\\n"
		"me = 4;\n"
		"\to[1] = long_name;\n"
		"#if -1 < 0 && (FLAGS & 8) && (FLAGS ^ 2) == 8 && ~0 == -1 && (FLAGS >> 1) == 5 && 7 % 4 == 3 && !!1\n"
		"\to[2] = FLAGS;\n"
		"#endif\n"
		"\tint F = 3;\n"
		"\to[3] = F(F);\n"
		"#line 100\n"
		"\to[4] = __LINE__;\n"
		"\to[5] = 1; \\\n"
		"\to[6] = __LINE__;\n"
		"\to[7] = __LINE__;\n"
		"}\n",
		8, {{0, 5}, {1, 4}, {2, 10}, {3, 6}, {4, 100}, {5, 1}, {7, 103}}},

	// conversions, overload resolution, constant folding and NaN
};

TEST(ComputeReference, AsTheReference) {
	std::string why;
	if (!compute_available(&why)) GTEST_SKIP() << why;
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		std::string errors;
		std::vector<uint32_t> module = front_end_spirv(c.source, &errors);
		ASSERT_FALSE(module.empty()) << errors;
		std::vector<uint32_t> reference = reference_spirv(c.source, &errors);
		ASSERT_FALSE(reference.empty()) << errors;
		std::vector<std::vector<uint8_t>> mine = {std::vector<uint8_t>(c.words * 4u, 0)};
		std::vector<std::vector<uint8_t>> theirs = mine;
		ASSERT_TRUE(run_compute(module, mine, 1, 1, 1, &errors)) << errors;
		ASSERT_TRUE(run_compute(reference, theirs, 1, 1, 1, &errors)) << errors;
		std::vector<uint32_t> a = from_bytes<uint32_t>(mine[0]);
		std::vector<uint32_t> b = from_bytes<uint32_t>(theirs[0]);
		for (size_t w = 0; w < a.size(); w++) EXPECT_EQ(a[w], b[w]) << "word " << w;
		for (const auto &e : c.expected) EXPECT_EQ(a[e.first], e.second) << "word " << e.first;
	}
}

} // namespace
