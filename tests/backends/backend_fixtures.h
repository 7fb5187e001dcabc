// The shared fixtures of the source backends: small Vulkan GLSL shaders in
// tests/data/backends, one feature group each, named by their stage's file
// extension. The reference compiler turns one into a module at test time (for
// the Vulkan environment that its `// env:` line names, or that its stage
// needs), spirv-val checks that module, and a backend test renders it.
#pragma once

#include "shader/spirv_fixtures.h"

#include <algorithm>
#include <dirent.h>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace backend_test {

using spirv_test::have_tool;
using spirv_test::read_words;
using spirv_test::run;
using spirv_test::spirv_val;
using spirv_test::temp_path;

// a stage: its file extension and the program's option for it
struct Stage {
	const char *extension;
	const char *option;
};

const Stage stages[] = {
	{"vert", "-v"}, {"tesc", "-tc"}, {"tese", "-te"}, {"geom", "-g"}, {"frag", "-f"}, {"comp", "-c"}, {"task", "-t"}, {"mesh", "-m"},
	{"rgen", "-rg"}, {"rmiss", "-rm"}, {"rchit", "-rc"}, {"rahit", "-rf"}, {"rint", "-ri"}, {"rcall", "-rcall"},
};

struct Fixture {
	std::string name;      // the file name, as "switch.comp"
	std::string path;
	std::string extension; // the stage's extension
	std::string option;    // the program's stage option
	std::string env;       // the Vulkan environment: "vulkan1.0", "vulkan1.1" or "vulkan1.2"
};

// how a test names a fixture in its messages
inline void PrintTo(const Fixture &fixture, std::ostream *out) {
	*out << fixture.name << " (" << fixture.env << ")";
}

inline std::string fixtures_dir() {
	return std::string(VEXA_TEST_DATA) + "/backends";
}

// The environment of a source: the value of an `// env:` line among the
// comments before its first line of code; without one, vulkan1.2 for the mesh
// and ray-tracing stages (whose extensions need SPIR-V 1.4), vulkan1.1 for a
// file named subgroup_* and vulkan1.0 for the rest.
inline std::string fixture_env(const std::string &name, const std::string &extension, const std::string &text) {
	std::istringstream lines(text);
	std::string line;
	while (std::getline(lines, line) && line.compare(0, 2, "//") == 0) {
		size_t at = line.find("env:");
		if (at == std::string::npos) continue;
		std::istringstream value(line.substr(at + 4));
		std::string env;
		value >> env;
		return env;
	}
	if (extension == "task" || extension == "mesh" || extension[0] == 'r') return "vulkan1.2";
	if (name.compare(0, 9, "subgroup_") == 0) return "vulkan1.1";
	return "vulkan1.0";
}

// every fixture whose extension names a stage, sorted by name
inline std::vector<Fixture> list_fixtures() {
	std::vector<Fixture> ret;
	DIR *dir = opendir(fixtures_dir().c_str());
	if (dir == nullptr) return ret;
	while (dirent *entry = readdir(dir)) {
		std::string name = entry->d_name;
		size_t dot = name.rfind('.');
		if (dot == std::string::npos || dot == 0) continue;
		std::string extension = name.substr(dot + 1);
		for (const Stage &stage : stages) {
			if (extension != stage.extension) continue;
			Fixture fixture;
			fixture.name = name;
			fixture.path = fixtures_dir() + "/" + name;
			fixture.extension = extension;
			fixture.option = stage.option;
			fixture.env = fixture_env(name, extension, spirv_test::read_text(fixture.path));
			ret.push_back(fixture);
		}
	}
	closedir(dir);
	std::sort(ret.begin(), ret.end(), [](const Fixture &a, const Fixture &b) { return a.name < b.name; });
	return ret;
}

// Compiles a fixture with the reference compiler for its environment into
// output. Empty when it succeeds, the compiler's messages otherwise.
inline std::string compile_reference(const Fixture &fixture, const std::string &output) {
	std::string errors;
	std::string command = "glslangValidator -V --target-env " + fixture.env + " -o " + output + " " + fixture.path;
	if (run(command, &errors)) return std::string();
	return errors.empty() ? std::string("glslangValidator failed") : errors;
}

// the reference compiler's module of a fixture; empty when it fails
inline std::vector<uint32_t> reference_module(const Fixture &fixture) {
	std::string output = temp_path(fixture.name + ".spv");
	std::vector<uint32_t> words;
	if (compile_reference(fixture, output).empty()) words = read_words(output);
	std::remove(output.c_str());
	return words;
}

// the Vulkan environment that spirv-val checks a module of this version in
inline std::string module_env(const std::vector<uint32_t> &words) {
	if (words.size() < 5) return "vulkan1.0";
	uint32_t minor = (words[1] >> 8) & 0xffu;
	if (minor == 0) return "vulkan1.0";
	if (minor <= 3) return "vulkan1.1";
	if (minor == 4) return "vulkan1.1spv1.4";
	if (minor == 5) return "vulkan1.2";
	return "vulkan1.3";
}

} // namespace backend_test
