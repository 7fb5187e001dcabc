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
