// Shared helpers of the SPIR-V reader tests: running the independent tools of
// the field (glslangValidator, spirv-as, spirv-opt, spirv-dis, spirv-val) to
// make, inspect and validate modules, reading words, capturing the log, and a
// subclass that opens the reader's tables to the tests.
#pragma once

#include "core/Log.h"
#include "log_capture.h"
#include "shader/ShaderSpirv.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace spirv_test {

// The reader's tables, opened for inspection.
class Probe : public Vexa::ShaderSpirv {
public:
	using ShaderSpirv::builtins;
	using ShaderSpirv::capabilities;
	using ShaderSpirv::counts;
	using ShaderSpirv::depth_samplers;
	using ShaderSpirv::entry_id;
	using ShaderSpirv::entry_name;
	using ShaderSpirv::execution_model;
	using ShaderSpirv::execution_modes;
	using ShaderSpirv::functions;
	using ShaderSpirv::globals;
	using ShaderSpirv::imports;
	using ShaderSpirv::indices;
	using ShaderSpirv::inputs;
	using ShaderSpirv::local_size;
	using ShaderSpirv::members;
	using ShaderSpirv::named;
	using ShaderSpirv::outputs;
	using ShaderSpirv::payloads;
	using ShaderSpirv::records;
	using ShaderSpirv::resources;
	using ShaderSpirv::shared;
	using ShaderSpirv::source_extensions;
	using ShaderSpirv::source_language;
	using ShaderSpirv::source_version;
	using ShaderSpirv::types;
	using ShaderSpirv::used_builtins;
	using ShaderSpirv::uses;
	using ShaderSpirv::blocks;
	using ShaderSpirv::words;
};

// the shared capture of the log; its `errors` gathers the error lines
using ::LogCapture;

inline bool have_tool(const char *name) {
	std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
	return std::system(command.c_str()) == 0;
}

inline std::string temp_path(const std::string &name) {
	static int counter = 0;
	return "/tmp/vexa_spirv_" + std::to_string(getpid()) + "_" + std::to_string(counter++) + "_" + name;
}

inline std::string read_text(const std::string &path) {
	std::ifstream file(path, std::ios::binary);
	std::stringstream ss;
	ss << file.rdbuf();
	return ss.str();
}

inline std::vector<uint32_t> read_words(const std::string &path) {
	std::string bytes = read_text(path);
	std::vector<uint32_t> words(bytes.size() / 4);
	for (size_t i = 0; i < words.size(); i++) {
		const unsigned char *b = reinterpret_cast<const unsigned char *>(bytes.data()) + i * 4;
		words[i] = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
	}
	return words;
}

inline void write_words(const std::string &path, const std::vector<uint32_t> &words) {
	std::ofstream file(path, std::ios::binary);
	file.write(reinterpret_cast<const char *>(words.data()), words.size() * 4);
}

inline Vexa::Array<uint32_t> to_array(const std::vector<uint32_t> &words) {
	Vexa::Array<uint32_t> ret;
	ret.assign(words.data(), static_cast<uint32_t>(words.size()));
	return ret;
}

// the shared corpus of public test modules: $VEXA_CORPUS, or the one beside
// the project checkout
inline std::string corpus_dir() {
	const char *env = std::getenv("VEXA_CORPUS");
	if (env && *env) return env;
	return std::string(VEXA_TEST_DATA) + "/../../../shared/corpus";
}

// the paths of the modules that the corpus lists in spv.tsv, relative to
// its folder (the first column of each row after the column names); false
// when there is no such list
inline bool corpus_modules(const std::string &dir, std::vector<std::string> &paths) {
	std::ifstream list(dir + "/spv.tsv");
	if (!list) return false;
	std::string row;
	std::getline(list, row); // the column names
	while (std::getline(list, row)) {
		std::string path = row.substr(0, row.find('\t'));
		if (!path.empty()) paths.push_back(path);
	}
	return true;
}

// appends one instruction to the words of a module made word by word: its
// word count and opcode, then its operands
inline void emit(std::vector<uint32_t> &to, uint32_t opcode, const std::vector<uint32_t> &operands) {
	to.push_back((static_cast<uint32_t>(operands.size() + 1) << 16) | opcode);
	to.insert(to.end(), operands.begin(), operands.end());
}

// the words of a literal string operand, with its terminating zero
inline std::vector<uint32_t> string_words(const std::string &text) {
	std::vector<uint32_t> ret((text.size() + 4) / 4, 0u);
	for (size_t i = 0; i < text.size(); i++) ret[i / 4] |= static_cast<uint32_t>(static_cast<unsigned char>(text[i])) << (8 * (i % 4));
	return ret;
}

// runs a shell command; its standard error goes to the returned text when it fails
inline bool run(const std::string &command, std::string *errors = nullptr) {
	std::string err = temp_path("err");
	bool ok = std::system((command + " 2>" + err + " >>" + err).c_str()) == 0;
	if (!ok && errors) *errors = read_text(err);
	std::remove(err.c_str());
	return ok;
}

// the module that spirv-as makes of assembly text (empty when it fails)
inline std::vector<uint32_t> assemble(const std::string &text, const char *env = "spv1.3") {
	std::string src = temp_path("src.spvasm");
	std::string dst = temp_path("dst.spv");
	std::ofstream(src) << text;
	std::vector<uint32_t> words;
	if (run(std::string("spirv-as --preserve-numeric-ids --target-env ") + env + " -o " + dst + " " + src)) words = read_words(dst);
	std::remove(src.c_str());
	std::remove(dst.c_str());
	return words;
}

// spirv-val's verdict on a module for a target environment: empty when it
// passes, its message otherwise. Every fixture module goes through it, so that
// a test never pins what the renderer makes of a module that is not SPIR-V.
inline std::string spirv_val(const std::vector<uint32_t> &words, const std::string &env = "spv1.3") {
	if (words.empty()) return "no module";
	std::string path = temp_path("val.spv");
	write_words(path, words);
	std::string errors;
	if (!run("spirv-val --target-env " + env + " " + path, &errors) && errors.empty()) errors = "spirv-val failed";
	std::remove(path.c_str());
	return errors;
}

// Loads words into a fresh Probe, capturing the error messages.
struct Loaded {
	Probe probe;
	bool ok = false;
	std::string errors;

	explicit Loaded(const std::vector<uint32_t> &words) {
		LogCapture capture;
		ok = probe.load(to_array(words));
		errors = capture.errors;
	}
};

} // namespace spirv_test
