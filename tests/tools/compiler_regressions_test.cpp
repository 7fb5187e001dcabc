// Shaders that once compiled to modules the validator rejects: each must now
// fail with an error, or compile to a module spirv-val accepts under the
// Vulkan rules of its SPIR-V version.
#include "run_program.h"
#include "spirv_fixtures.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string environment_of(const std::string &path) {
	std::vector<uint32_t> words = read_words(path);
	uint32_t version = words.size() > 1 ? words[1] : 0;
	if (version <= 0x10000u) return "vulkan1.0";
	if (version <= 0x10300u) return "vulkan1.1";
	if (version == 0x10400u) return "vulkan1.1spv1.4";
	if (version == 0x10500u) return "vulkan1.2";
	return "vulkan1.3";
}

} // namespace

TEST(CompilerRegressions, FailOrValidate) {
	if (!have_tool("spirv-val")) GTEST_SKIP() << "spirv-val is not installed";
	const std::map<std::string, std::string> stages = {{"vert", "-v"}, {"tesc", "-tc"}, {"tese", "-te"}, {"geom", "-g"}, {"frag", "-f"},
		{"comp", "-c"}, {"task", "-t"}, {"mesh", "-m"}, {"rgen", "-rg"}, {"rmiss", "-rm"}, {"rchit", "-rc"}, {"rahit", "-rf"}, {"rint", "-ri"},
		{"rcall", "-rcall"}};
	std::string folder = std::string(VEXA_TEST_DATA) + "/../fuzz/compiler_regressions";
	DIR *dir = opendir(folder.c_str());
	ASSERT_NE(dir, nullptr) << folder;
	std::vector<std::string> names;
	while (dirent *entry = readdir(dir)) {
		std::string name = entry->d_name;
		if (name[0] != '.') names.push_back(name);
	}
	closedir(dir);
	ASSERT_FALSE(names.empty());
	std::string out = "/tmp/vexa_regression_" + std::to_string(getpid()) + ".spv";
	for (const std::string &name : names) {
		std::string extension = name.substr(name.rfind('.') + 1);
		ASSERT_TRUE(stages.count(extension)) << name;
		ProgramResult r = run_program({stages.at(extension), folder + "/" + name, "-o", out});
		if (r.status != 0) {
			EXPECT_EQ(r.status, 1) << name;
			EXPECT_NE(r.err.find("Compiler::compileGLSL(): "), std::string::npos) << name << "\n" << r.err;
			continue;
		}
		std::string command = "spirv-val --target-env " + environment_of(out) + " " + out + " 2>&1";
		std::string verdict;
		FILE *pipe = popen(command.c_str(), "r");
		char buffer[1024];
		size_t size;
		while ((size = fread(buffer, 1, sizeof(buffer), pipe)) > 0) verdict.append(buffer, size);
		pclose(pipe);
		EXPECT_EQ(verdict, "") << name;
	}
	std::remove(out.c_str());
}
