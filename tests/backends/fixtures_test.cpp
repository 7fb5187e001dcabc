// The backend fixtures themselves: each one follows the rules of the set (a
// first-line comment, explicit sets and bindings), the reference compiler
// makes a module of it that spirv-val accepts, so a broken fixture fails here
// rather than in a backend's test, and our own compiler either makes a module
// of it that spirv-val accepts or refuses it with the message listed below.
#include "backends/backend_fixtures.h"
#include "tools/run_program.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace {

using namespace backend_test;

// The fixtures our compiler refuses, each with the message it gives and why.
// A fixture that starts to compile fails its test, so that its row goes.
struct Refusal {
	const char *fixture;
	const char *message;
	const char *reason;
};

const Refusal refusals[] = {
	{"constant_id_ops.frag", "constants computed from specialization constants are not supported: \"total_taps\"",
		"constants computed from specialization constants (OpSpecConstantOp) are not compiled"},
	{"constant_id_sizes.comp", "unknown execution qualifier \"local_size_x_id\"",
		"work-group sizes taken from specialization constants are not compiled"},
	{"switch_continue.comp", "continue not in the loop",
		"a continue directly inside a switch is not compiled"},
};

const Refusal *refusal_of(const std::string &name) {
	for (const Refusal &refusal : refusals) {
		if (name == refusal.fixture) return &refusal;
	}
	return nullptr;
}

const std::vector<Fixture> &fixtures() {
	static const std::vector<Fixture> list = list_fixtures();
	return list;
}

bool have_tools() {
	return have_tool("glslangValidator") && have_tool("spirv-val");
}

TEST(BackendFixtures, SetCoversEveryStageAndListsOnlyItsFixtures) {
	std::set<std::string> extensions;
	std::set<std::string> names;
	for (const Fixture &fixture : fixtures()) {
		extensions.insert(fixture.extension);
		names.insert(fixture.name);
	}
	for (const Stage &stage : stages) EXPECT_TRUE(extensions.count(stage.extension)) << "no fixture of stage " << stage.extension;
	for (const Refusal &refusal : refusals) EXPECT_TRUE(names.count(refusal.fixture)) << "refusal of a missing fixture " << refusal.fixture;
}

class Fixtures : public testing::TestWithParam<Fixture> {};

// The rules of the set, read from the source: a first line that says what
// the file is for, and a set and a binding on every resource but push
// constants (the reference compiler would place them silently).
TEST_P(Fixtures, FollowsTheRules) {
	const Fixture &fixture = GetParam();
	std::string text = spirv_test::read_text(fixture.path);
	EXPECT_EQ(text.compare(0, 3, "// "), 0) << "no first-line comment";
	const std::regex resource("\\b(uniform|buffer)\\b");
	const std::regex placed("\\bset = [0-9]+, binding = [0-9]+");
	std::istringstream lines(text);
	std::string line;
	for (int number = 1; std::getline(lines, line); number++) {
		std::string code = line.substr(0, line.find("//"));
		if (!std::regex_search(code, resource) || code.find("push_constant") != std::string::npos) continue;
		EXPECT_TRUE(std::regex_search(code, placed)) << fixture.name << ":" << number << ": no set and binding: " << line;
	}
}

TEST_P(Fixtures, ReferenceModulePassesValidation) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator or spirv-val is not installed";
	const Fixture &fixture = GetParam();
	std::string output = temp_path(fixture.name + ".spv");
	std::string errors = compile_reference(fixture, output);
	std::vector<uint32_t> words = read_words(output);
	std::remove(output.c_str());
	ASSERT_EQ(errors, "") << fixture.env;
	EXPECT_EQ(spirv_val(words, fixture.env), "") << fixture.env;
}

TEST_P(Fixtures, OurModulePassesValidationOrIsRefusedAsListed) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator or spirv-val is not installed";
	const Fixture &fixture = GetParam();
	std::string output = temp_path(fixture.name + ".spv");
	ProgramResult result = run_program({fixture.option, fixture.path, "-o", output});
	std::vector<uint32_t> words = read_words(output);
	std::remove(output.c_str());
	if (const Refusal *refusal = refusal_of(fixture.name)) {
		SCOPED_TRACE(refusal->reason);
		EXPECT_EQ(result.status, 1) << "the compiler takes it now: remove its refusal";
		EXPECT_NE(result.err.find(refusal->message), std::string::npos) << result.err;
		EXPECT_TRUE(words.empty());
		return;
	}
	ASSERT_EQ(result.status, 0) << result.err;
	EXPECT_EQ(spirv_val(words, module_env(words)), "") << module_env(words);
}

std::string test_name(const testing::TestParamInfo<Fixture> &info) {
	std::string ret = info.param.name;
	for (char &c : ret) {
		if (!isalnum(static_cast<unsigned char>(c))) c = '_';
	}
	return ret;
}

INSTANTIATE_TEST_SUITE_P(Backends, Fixtures, testing::ValuesIn(fixtures()), test_name);

} // namespace
