// The GLSL backend over the shared fixtures: each fixture's reference module
// goes through -glsl (GL 4.50) and -glsles (ES 3.20) as a user would run them.
// A text the program writes must be one the reference compiler takes for that
// target (it reads the version line), must begin with the target's version
// line, and must list its extensions sorted and each once. A rendering that
// fails must name what the target cannot express, and must be one listed
// below with its reason; the stages GL has not fail by their execution model.
// A listed rendering that succeeds now fails the test too, so that its row
// goes.
#include "backends/backend_fixtures.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <set>

namespace {

using namespace backend_test;

struct Format {
	const char *option;
	const char *version_line;
	bool es;
};

const Format formats[] = {
	{"-glsl", "#version 450 core\n", false},
	{"-glsles", "#version 320 es\n", true},
};

// the stages that neither GL nor ES has
const char *const missing_stages[] = {"task", "mesh", "rgen", "rmiss", "rchit", "rahit", "rint", "rcall"};

// The renderings that fail, each with the error it names and why.
struct Expected {
	const char *fixture;
	const char *option;
	const char *error;
	const char *reason;
};

const Expected expected_failures[] = {
	{"push_constants.frag", "-glsl", "unknown MatrixStride 8 of rotate",
		"the push constants' std430 mat2 (stride 8, vec4 at 16) has no layout of a GL uniform block"},
	{"push_constants.frag", "-glsles", "unknown MatrixStride 8 of rotate",
		"the push constants' std430 mat2 (stride 8, vec4 at 16) has no layout of an ES uniform block"},
	{"storage_images.comp", "-glsles", "unknown access of image layers that is read and written",
		"ES reads and writes one image only in the r32 formats; layers is rgba16f"},
	{"textures_separate.frag", "-glsl", "unknown second sampler (binding 0) of texture albedo at binding 0",
		"sample_both combines the texture passed to it with two samplers, and a GL texture unit has one"},
	{"textures_separate.frag", "-glsles", "unknown second sampler (binding 0) of texture albedo at binding 0",
		"sample_both combines the texture passed to it with two samplers, and an ES texture unit has one"},
	{"types_16bit.comp", "-glsles", "unknown capability Float16", "ES has no 16-bit types"},
	{"types_64bit.comp", "-glsles", "unknown capability Float64", "ES has no doubles (nor 64-bit integers)"},
};

const Expected *expected_failure(const std::string &fixture, const std::string &option) {
	for (const Expected &row : expected_failures) {
		if (fixture == row.fixture && option == row.option) return &row;
	}
	return nullptr;
}

bool missing_stage(const std::string &extension) {
	for (const char *stage : missing_stages) {
		if (extension == stage) return true;
	}
	return false;
}

const std::vector<Fixture> &fixtures() {
	static const std::vector<Fixture> list = list_fixtures();
	return list;
}

bool have_tools() {
	return have_tool("glslangValidator");
}

// the "#extension" lines of a text, in order
std::vector<std::string> extension_lines(const std::string &text) {
	std::vector<std::string> ret;
	std::istringstream lines(text);
	std::string line;
	while (std::getline(lines, line)) {
		if (line.compare(0, 11, "#extension ") == 0) ret.push_back(line);
	}
	return ret;
}

size_t count_of(const std::string &text, const std::string &part) {
	size_t ret = 0;
	for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ret++;
	return ret;
}

TEST(GLSLBackend, ExpectationsNameFixturesAndFormats) {
	std::set<std::string> names;
	for (const Fixture &fixture : fixtures()) names.insert(fixture.name);
	for (const Expected &row : expected_failures) {
		EXPECT_TRUE(names.count(row.fixture)) << "expected failure of a missing fixture " << row.fixture;
		EXPECT_TRUE(std::string(row.option) == "-glsl" || std::string(row.option) == "-glsles") << row.option;
		size_t dot = std::string(row.fixture).rfind('.');
		EXPECT_FALSE(missing_stage(std::string(row.fixture).substr(dot + 1))) << row.fixture << ": its stage fails by its execution model";
	}
}

class GLSLFixtures : public testing::TestWithParam<Fixture> {};

TEST_P(GLSLFixtures, RendersCheckedTextOrFailsAsListed) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator is not installed";
	const Fixture &fixture = GetParam();
	std::string module = temp_path(fixture.name + ".spv");
	std::string errors = compile_reference(fixture, module);
	ASSERT_EQ(errors, "") << fixture.env;

	std::vector<std::pair<std::string, std::string>> written;
	std::vector<const Format *> written_formats;
	for (const Format &format : formats) {
		SCOPED_TRACE(format.option);
		Rendering rendering = render_module(fixture.option, module, format.option);
		const Expected *expected = expected_failure(fixture.name, format.option);
		if (rendering.status == 0) {
			EXPECT_TRUE(rendering.written);
			EXPECT_TRUE(expected == nullptr && !missing_stage(fixture.extension))
				<< "renders now: remove its row of the expected failures (" << (expected ? expected->reason : "a stage GL has not") << ")";
			EXPECT_EQ(rendering.text.compare(0, strlen(format.version_line), format.version_line), 0) << rendering.text.substr(0, 200);
			EXPECT_EQ(count_of(rendering.text, "precision highp float;\nprecision highp int;\n"), format.es ? 1u : 0u);
			if (!format.es) {
				EXPECT_EQ(rendering.text.find("precision "), std::string::npos);
			}
			std::vector<std::string> extensions = extension_lines(rendering.text);
			std::set<std::string> unique(extensions.begin(), extensions.end());
			EXPECT_TRUE(std::is_sorted(extensions.begin(), extensions.end()) && unique.size() == extensions.size())
				<< "extension lines not sorted or not unique:\n" << rendering.text.substr(0, 1000);
			written.push_back({fixture.name + std::string(format.option) + "." + fixture.extension, rendering.text});
			written_formats.push_back(&format);
			continue;
		}
		EXPECT_EQ(rendering.status, 1) << rendering.err;
		EXPECT_FALSE(rendering.written) << "a failed rendering left its output file";
		std::string error = named_error(rendering.err);
		EXPECT_NE(error, "") << "no named error:\n" << rendering.err;
		if (missing_stage(fixture.extension)) {
			EXPECT_NE(rendering.err.find("unknown execution model"), std::string::npos) << rendering.err;
		} else if (expected == nullptr) {
			ADD_FAILURE() << "fails, and is not an expected failure:\n" << rendering.err;
		} else {
			EXPECT_NE(rendering.err.find(expected->error), std::string::npos) << "expected \"" << expected->error << "\" (" << expected->reason << "):\n" << rendering.err;
		}
	}
	std::remove(module.c_str());

	if (written.empty()) return;
	std::vector<std::string> complaints = check_texts(glsl_checker(fixture.extension), written);
	for (size_t i = 0; i < written.size(); i++) {
		EXPECT_EQ(complaints[i], "") << written_formats[i]->option << ": the reference compiler rejects the text:\n" << written[i].second.substr(0, 4000);
	}
}

std::string test_name(const testing::TestParamInfo<Fixture> &info) {
	std::string ret = info.param.name;
	for (char &c : ret) {
		if (!isalnum(static_cast<unsigned char>(c))) c = '_';
	}
	return ret;
}

INSTANTIATE_TEST_SUITE_P(Backends, GLSLFixtures, testing::ValuesIn(fixtures()), test_name);

} // namespace
