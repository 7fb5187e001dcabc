// libFuzzer target of the GLSL backend: any bytes, taken as words, that the
// GL or ES object's `load` accepts are rendered whole, so that its checks,
// layouts, renames and value rewrites meet broken modules and have to end
// with a message instead of crashing or reading past the words. The lowest
// bit of the size picks the target (GL 4.50 or ES 3.20); the next one puts
// the SPIR-V magic in place.
// Built and run by run_glsl_fuzz.sh.
#include "core/Log.h"
#include "shader/backends/ShaderSpirvGLSL.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

bool silence(int32_t, uint64_t, const char *, void *) {
	return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
	static bool quiet = (Vexa::Log::setCallback(silence, nullptr), true);
	(void)quiet;
	Vexa::Array<uint32_t> words;
	words.resize(static_cast<uint32_t>(size / 4));
	if (words.size()) memcpy(words.get(), data, words.size() * 4);
	if (words.size() > 0 && (size & 2)) words[0] = 0x07230203u;
	bool es = (size & 1) != 0;
	Vexa::ShaderSpirvGLSL glsl(es ? 0 : 45, es ? 32 : 0);
	if (!glsl.load(words)) return 0;
	Vexa::String text;
	glsl.get_source(text);
	return 0;
}
