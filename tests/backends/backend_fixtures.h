// The shared fixtures of the source backends: small Vulkan GLSL shaders in
// tests/data/backends, one feature group each, named by their stage's file
// extension. The reference compiler turns one into a module at test time (for
// the Vulkan environment that its `// env:` line names, or that its stage
// needs), spirv-val checks that module, and a backend test renders it.
//
// What every source backend's tests share is here too: rendering a module
// with an output option as the command line does, telling a named error (what
// the target cannot express) from any other failure, checking many written
// texts with one run of a checker, and a fixed sample of the shared corpus.
#pragma once

#include "shader/compiler/compiler_fixtures.h"
#include "shader/spirv_fixtures.h"
#include "tools/run_program.h"

#include <algorithm>
#include <atomic>
#include <dirent.h>
#include <functional>
#include <map>
#include <ostream>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <utility>
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

// the program's option of a stage's extension; empty for an unknown one
inline std::string stage_option(const std::string &extension) {
	for (const Stage &stage : stages) {
		if (extension == stage.extension) return stage.option;
	}
	return std::string();
}

// What the program made of a module with one output option: its exit status,
// the text it wrote (empty when it wrote none) and its standard error.
struct Rendering {
	int status = -1;
	std::string text;
	std::string err;
	bool written = false;
};

// Runs `shader <stage option> module [arguments] <output option> file`, as a
// user would, and reads the file back; the arguments (binding offsets, say)
// come before the output option, as the options they set must. Threads may
// render at once: each run has files of its own.
inline Rendering render_module(const std::string &stage, const std::string &module, const std::string &output_option,
	const std::vector<std::string> &arguments = {}) {
	static std::atomic<unsigned> counter{0};
	std::string base = "/tmp/vexa_render_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
	std::string output = base + ".text";
	std::string command = "TERM=dumb " + shell_quote(VEXA_SHADER_PROGRAM) + " " + shell_quote(stage) + " " + shell_quote(module);
	for (const std::string &argument : arguments) command += " " + shell_quote(argument);
	command += " " + shell_quote(output_option) + " " + shell_quote(output) + " >/dev/null 2>" + base + ".err";
	int raw = std::system(command.c_str());
	Rendering ret;
	ret.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
	ret.err = spirv_test::read_text(base + ".err");
	std::ifstream file(output, std::ios::binary);
	ret.written = file.good();
	if (ret.written) ret.text = spirv_test::read_text(output);
	std::remove(output.c_str());
	std::remove((base + ".err").c_str());
	return ret;
}

// Calls work(i) for every i below count on a few threads (at least two).
inline void parallel_for(size_t count, const std::function<void(size_t)> &work) {
	std::atomic<size_t> next{0};
	auto worker = [&]() {
		for (size_t i = next++; i < count; i = next++) work(i);
	};
	std::vector<std::thread> threads;
	for (unsigned k = std::max(2u, std::thread::hardware_concurrency()); k > 1; k--) threads.emplace_back(worker);
	worker();
	for (std::thread &thread : threads) thread.join();
}

// The first error line that names what a backend cannot express: a SPIR-V
// renderer's operation saying what is unknown to it, or which bindings
// collide. Empty when there is none.
inline std::string named_error(const std::string &err) {
	static const std::regex named("ShaderSpirv\\w*::\\w+\\(\\): [^\\n]*\\b(unknown|collides)\\b[^\\n]*");
	std::smatch match;
	if (!std::regex_search(err, match, named)) return std::string();
	return match.str(0);
}

// Checks texts with one run of a checker that takes many files and reports
// each under its path (as glslangValidator does: the path on a line of its
// own, then that file's "ERROR" lines; it exits 0 when it takes them all).
// Each (file name, text) is written to a fresh folder; the complaint of each
// file comes back in order, empty for a text the checker accepts. When the
// checker fails and blames no file, or a file its report does not name,
// those files have its report as their complaint: they were not checked.
inline std::vector<std::string> check_texts(const std::string &command, const std::vector<std::pair<std::string, std::string>> &files) {
	std::vector<std::string> paths;
	int status = -1;
	std::string output = compiler_test::run_over_files(command, files, &paths, std::string(), &status);
	std::vector<std::string> ret(files.size());
	if (status == 0) return ret;
	std::vector<bool> seen(files.size(), false);
	std::map<std::string, size_t> index;
	for (size_t i = 0; i < paths.size(); i++) index[paths[i]] = i;
	std::istringstream lines(output);
	std::string line;
	size_t current = files.size();
	bool blamed = false;
	while (std::getline(lines, line)) {
		auto file = index.find(line);
		if (file != index.end()) {
			current = file->second;
			seen[current] = true;
		} else if (line.compare(0, 6, "ERROR:") == 0 && current < files.size()) {
			ret[current] += line + "\n";
			blamed = true;
		}
	}
	for (size_t i = 0; i < files.size(); i++) {
		if (!seen[i] || !blamed) ret[i] = command + " (exit " + std::to_string(status) + ") did not check " + files[i].first + ":\n" + output.substr(0, 2000);
	}
	return ret;
}

// the command that checks GLSL of a stage: the reference compiler reads the
// version line and checks for that target
inline std::string glsl_checker(const std::string &extension) {
	return "glslangValidator -S " + extension;
}

// A module of the shared corpus (../shared/corpus, or $VEXA_CORPUS): its
// path relative to the corpus and its stage's extension.
struct CorpusModule {
	std::string path;
	std::string stage;
};

// the stage's extension of a module's last entry point (the one the program
// renders), empty when the words do not tell
inline std::string module_stage(const std::vector<uint32_t> &words) {
	static const std::map<uint32_t, std::string> stages = {{0, "vert"}, {1, "tesc"}, {2, "tese"}, {3, "geom"}, {4, "frag"}, {5, "comp"},
		{5364, "task"}, {5365, "mesh"}, {5313, "rgen"}, {5314, "rint"}, {5315, "rahit"}, {5316, "rchit"}, {5317, "rmiss"}, {5318, "rcall"}};
	std::string ret;
	for (size_t at = 5; at < words.size() && (words[at] >> 16) != 0; at += words[at] >> 16) {
		if ((words[at] & 0xffffu) != 15u || at + 1 >= words.size()) continue;
		auto it = stages.find(words[at + 1]);
		ret = (it == stages.end()) ? std::string() : it->second;
	}
	return ret;
}

// the rows of the corpus's spv.tsv; false when there is no such list. A
// module's stage is its own where the list's column names another (a vertex
// shader filed as a fragment shader is judged as the vertex shader it is).
inline bool corpus_rows(const std::string &dir, std::vector<CorpusModule> &rows) {
	std::ifstream list(dir + "/spv.tsv");
	if (!list) return false;
	std::string row;
	std::getline(list, row); // the column names
	while (std::getline(list, row)) {
		std::istringstream columns(row);
		CorpusModule module;
		if (!std::getline(columns, module.path, '\t') || !std::getline(columns, module.stage, '\t') || module.path.empty()) continue;
		std::string own = module_stage(read_words(dir + "/" + module.path));
		if (!own.empty()) module.stage = own;
		rows.push_back(module);
	}
	return true;
}

// A fixed sample spread over the stages: of each stage, `per_mille` of its
// modules but at least `least` (or all it has), evenly spaced in the order of
// the list, so that every run takes the same modules.
inline std::vector<CorpusModule> corpus_sample(const std::vector<CorpusModule> &rows, size_t per_mille, size_t least) {
	std::map<std::string, std::vector<const CorpusModule *>> by_stage;
	for (const CorpusModule &row : rows) by_stage[row.stage].push_back(&row);
	std::vector<CorpusModule> ret;
	for (const auto &stage : by_stage) {
		size_t count = stage.second.size();
		size_t take = std::min(count, std::max(least, count * per_mille / 1000));
		for (size_t i = 0; i < take; i++) ret.push_back(*stage.second[i * count / take]);
	}
	return ret;
}

} // namespace backend_test
