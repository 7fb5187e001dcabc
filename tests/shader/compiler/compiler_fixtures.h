// Shared helpers of the compiler tests: compiling a shader with its log,
// running a tool over shaders written to files, decoding emitted words into
// instructions, and wrapping the declarations a compiler has made (and the
// code of one function) into a small compute module that spirv-val checks.
#pragma once

#include "core/Log.h"
#include "log_capture.h"
#include "shader/compiler/Compiler.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace compiler_test {

// a whole compilation: whether it succeeded, what it logged, the module
struct Compiled {
	bool ok = false;
	std::string log;
	std::vector<uint32_t> words;
};

inline Compiled compile(uint32_t stage, const std::string &source) {
	Compiled ret;
	LogCapture capture;
	Vexa::Compiler compiler;
	uint32_t offset = 0;
	ret.ok = compiler.compileGLSL(stage, source.c_str(), nullptr, &offset, Vexa::Compiler::DefaultFlags & ~uint32_t(Vexa::Compiler::FlagUnused));
	ret.log = capture.text();
	if (ret.ok) ret.words.assign(compiler.words.get(), compiler.words.get() + compiler.words.size());
	return ret;
}

// Writes each (file name, text) into a fresh folder, runs command with their
// paths after it (and tail after those), and returns both output streams;
// the paths in *paths, and the command's exit status in *status when asked
// (-1 when it could not run). The folder and files are gone afterwards.
inline std::string run_over_files(const std::string &command, const std::vector<std::pair<std::string, std::string>> &files,
	std::vector<std::string> *paths, const std::string &tail = std::string(), int *status = nullptr) {
	char name[] = "/tmp/vexa_files_XXXXXX";
	if (status != nullptr) *status = -1;
	if (mkdtemp(name) == nullptr) return "can't make a temporary folder";
	const std::string dir = name;
	std::string line = command;
	paths->clear();
	for (const auto &file : files) {
		paths->push_back(dir + "/" + file.first);
		std::ofstream stream(paths->back());
		stream << file.second;
		line += " " + paths->back();
	}
	std::string output;
	FILE *pipe = popen((line + " " + tail + " 2>&1").c_str(), "r");
	if (pipe != nullptr) {
		char buffer[4096];
		size_t size;
		while ((size = fread(buffer, 1, sizeof(buffer), pipe)) > 0) output.append(buffer, size);
		int raw = pclose(pipe);
		if (status != nullptr) *status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
	}
	for (const std::string &path : *paths) std::remove(path.c_str());
	rmdir(dir.c_str());
	return output;
}

using Vexa::Compiler;

struct Instruction {
	uint32_t opcode;
	std::vector<uint32_t> operands;
};

// the instructions of a word stream; a count running past the end stops it
inline std::vector<Instruction> decode(const uint32_t *words, uint32_t size) {
	std::vector<Instruction> ret;
	for (uint32_t i = 0; i < size;) {
		uint32_t count = words[i] >> 16;
		if (count == 0 || i + count > size) {
			ret.push_back(Instruction{~0u, {}});
			break;
		}
		ret.push_back(Instruction{words[i] & 0xffffu, std::vector<uint32_t>(words + i + 1, words + i + count)});
		i += count;
	}
	return ret;
}

inline std::vector<Instruction> decode(const Vexa::Array<uint32_t> &words) {
	return decode(words.get(), words.size());
}

// the opcodes alone, in order
inline std::vector<uint32_t> opcodes(const Vexa::Array<uint32_t> &words) {
	std::vector<uint32_t> ret;
	for (const Instruction &instruction : decode(words)) ret.push_back(instruction.opcode);
	return ret;
}

inline uint32_t count_opcode(const Vexa::Array<uint32_t> &words, uint32_t opcode) {
	uint32_t ret = 0;
	for (const Instruction &instruction : decode(words)) ret += (instruction.opcode == opcode);
	return ret;
}

// the instruction that defines id in declaration words (result id first for
// types, second for values)
inline const Instruction *find_result(const std::vector<Instruction> &list, uint32_t id, bool value) {
	for (const Instruction &instruction : list) {
		uint32_t index = value ? 1 : 0;
		if (instruction.operands.size() > index && instruction.operands[index] == id) return &instruction;
	}
	return nullptr;
}

inline bool have_tool(const char *name) {
	std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
	return std::system(command.c_str()) == 0;
}

// a fresh compiler with its tables, as a compilation starts
struct Fixture {
	Fixture() {
		compiler.reset();
		compiler.init_tables();
	}
	Compiler compiler;
	Compiler::Function function;
};

// an undefined value of a type, for operands that are no constants
inline uint32_t add_undef(Compiler &compiler, uint32_t type) {
	uint32_t id = compiler.next_id++;
	compiler.add_module_opcode(1, {type, id});
	compiler.add_target(id, type);
	return id;
}

// The module: header, the compiler's capabilities (with the extensions some of
// them need), the memory model, a compute entry point whose body is the code
// of function (label placeholders given fresh ids) and the compiler's
// declaration words. Returns spirv-val's complaints, empty when it accepts
// the module or is not installed.
inline std::string validate(Compiler &compiler, Compiler::Function *function = nullptr) {
	if (!have_tool("spirv-val")) return std::string();
	uint32_t void_type = compiler.add_type("void");
	uint32_t function_type = compiler.next_id++;
	compiler.add_module_opcode(33, {function_type, void_type});
	std::vector<uint32_t> body;
	if (function != nullptr) {
		for (uint32_t i = 0; i < function->labels.size(); i++) function->code[function->labels[i]] = compiler.next_id++;
		body.assign(function->code.get(), function->code.get() + function->code.size());
	}
	uint32_t main_id = compiler.next_id++;
	uint32_t label = compiler.next_id++;

	std::vector<uint32_t> module = {0x07230203u, 0x10500u, 0, compiler.next_id, 0};
	auto emit = [&](uint32_t opcode, std::vector<uint32_t> operands) {
		module.push_back(((uint32_t)(operands.size() + 1) << 16) | opcode);
		module.insert(module.end(), operands.begin(), operands.end());
	};
	auto string_words = [](const char *text) {
		std::vector<uint32_t> ret;
		std::string s(text);
		for (size_t i = 0; i <= s.size(); i += 4) {
			uint32_t word = 0;
			for (size_t j = 0; j < 4 && i + j < s.size(); j++) word |= (uint32_t)(unsigned char)s[i + j] << (8 * j);
			ret.push_back(word);
		}
		return ret;
	};
	emit(17, {1});
	for (auto it = compiler.capabilities.begin(); it; ++it) emit(17, {it->key});
	struct {
		uint32_t capability;
		const char *extension;
	} extensions[] = {{4479, "SPV_KHR_ray_tracing"}, {4472, "SPV_KHR_ray_query"}, {5016, "SPV_EXT_shader_image_int64"}};
	for (const auto &row : extensions) {
		if (compiler.capabilities.find(row.capability)) emit(10, string_words(row.extension));
	}
	emit(14, {0, 1});
	std::vector<uint32_t> entry = {5, main_id};
	for (uint32_t word : string_words("main")) entry.push_back(word);
	emit(15, entry);
	emit(16, {main_id, 17, 1, 1, 1});
	module.insert(module.end(), compiler.words.get(), compiler.words.get() + compiler.words.size());
	emit(54, {void_type, main_id, 0, function_type});
	emit(248, {label});
	module.insert(module.end(), body.begin(), body.end());
	if (function == nullptr || function->last_opcode < 249 || function->last_opcode > 255) emit(253, {});
	emit(56, {});

	static int counter = 0;
	std::string path = "/tmp/vexa_compiler_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
	{
		std::ofstream file(path + ".spv", std::ios::binary);
		file.write(reinterpret_cast<const char *>(module.data()), (std::streamsize)(module.size() * 4));
	}
	std::string command = "spirv-val --target-env spv1.5 " + path + ".spv > " + path + ".txt 2>&1";
	int status = std::system(command.c_str());
	std::ifstream log(path + ".txt");
	std::stringstream text;
	text << log.rdbuf();
	std::remove((path + ".spv").c_str());
	std::remove((path + ".txt").c_str());
	if (status == 0) return std::string();
	return text.str().empty() ? std::string("spirv-val failed") : text.str();
}

} // namespace compiler_test
