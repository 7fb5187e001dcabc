// SPIR-V fixtures for tests: small GLSL sources of this project compiled by the
// reference GLSL compiler at test time, so that no binary is kept in the tree.
#pragma once

#include "tools/run_program.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

inline bool have_tool(const char *tool) {
	std::string command = std::string("command -v ") + tool + " >/dev/null 2>&1";
	return std::system(command.c_str()) == 0;
}

// Compiles tests/data/shaders/<name> into a temporary file and returns its
// path, or "" when the compiler is missing or fails.
inline std::string compile_fixture(const std::string &name, const std::string &extra = "") {
	if (!have_tool("glslangValidator")) return "";
	std::string source = std::string(VEXA_TEST_DATA) + "/shaders/" + name;
	std::string output = "/tmp/vexa_fixture_" + std::to_string(getpid()) + "_" + name + ".spv";
	std::string command = "glslangValidator -V " + extra + " -o " + shell_quote(output) + " " + shell_quote(source) + " >/dev/null 2>&1";
	if (std::system(command.c_str()) != 0) return "";
	return output;
}

inline std::vector<uint32_t> read_words(const std::string &path) {
	std::string bytes = read_file(path);
	std::vector<uint32_t> words(bytes.size() / 4);
	if (!words.empty()) memcpy(words.data(), bytes.data(), words.size() * 4);
	return words;
}
