// This compiler's module of a compute shader's GLSL, for the tests that run it
// beside the reference compiler's: empty on failure, with the log in *errors.
#pragma once

#include "core/Log.h"
#include "shader/compiler/Compiler.h"

#include <string>
#include <vector>

namespace vulkan_test {

inline std::vector<uint32_t> own_spirv(const std::string &source, std::string *errors) {
	struct Capture {
		static bool callback(int32_t, uint64_t, const char *text, void *data) {
			static_cast<std::string *>(data)->append(text);
			return true;
		}
	};
	Vexa::Log::Callback previous = Vexa::Log::getCallback();
	void *previous_data = Vexa::Log::getCallbackData();
	Vexa::Log::setCallback(&Capture::callback, errors);
	Vexa::Compiler compiler;
	uint32_t offset = 0;
	bool ok = compiler.compileGLSL(6, source.c_str(), nullptr, &offset, Vexa::Compiler::DefaultFlags & ~uint32_t(Vexa::Compiler::FlagUnused));
	Vexa::Log::setCallback(previous, previous_data);
	if (!ok) return {};
	return std::vector<uint32_t>(compiler.words.get(), compiler.words.get() + compiler.words.size());
}

} // namespace vulkan_test
