// This program's module of a compute shader's GLSL, for the tests that run it
// beside the reference compiler's: empty on failure, with the log in *errors.
#pragma once

#include "core/Log.h"
#include "shader/Shader.h"
#include "shader/compiler/Compiler.h"

#include <string>
#include <vector>

namespace vulkan_test {

// sends the log to a string while it lives
class LogToString {
public:
	explicit LogToString(std::string *text) : previous(Vexa::Log::getCallback()), previous_data(Vexa::Log::getCallbackData()) {
		Vexa::Log::setCallback(&callback, text);
	}
	~LogToString() { Vexa::Log::setCallback(previous, previous_data); }
	LogToString(const LogToString &) = delete;
	LogToString &operator=(const LogToString &) = delete;

private:
	static bool callback(int32_t, uint64_t, const char *text, void *data) {
		static_cast<std::string *>(data)->append(text);
		return true;
	}
	Vexa::Log::Callback previous;
	void *previous_data;
};

// the compiler alone, on text that needs no preprocessing
inline std::vector<uint32_t> own_spirv(const std::string &source, std::string *errors) {
	LogToString log(errors);
	Vexa::Compiler compiler;
	uint32_t offset = 0;
	if (!compiler.compileGLSL(6, source.c_str(), nullptr, &offset, Vexa::Compiler::DefaultFlags & ~uint32_t(Vexa::Compiler::FlagUnused))) return {};
	return std::vector<uint32_t>(compiler.words.get(), compiler.words.get() + compiler.words.size());
}

// the whole front end, preprocessor and compiler, as `shader -compute` reads a file
inline std::vector<uint32_t> front_end_spirv(const std::string &source, std::string *errors) {
	LogToString log(errors);
	Vexa::ShaderCompiler shader;
	if (!shader.createGLSL(Vexa::Shader::Compute, source.c_str())) return {};
	const Vexa::Array<uint32_t> &words = shader.getOpcodes();
	return std::vector<uint32_t>(words.get(), words.get() + words.size());
}

} // namespace vulkan_test
