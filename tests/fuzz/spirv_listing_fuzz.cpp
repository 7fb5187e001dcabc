// libFuzzer target of the decompiled listing: any bytes, taken as words, that
// `load` accepts are rendered whole by `get_source`, so that every rendering
// slot meets broken modules (cycles of values, branches into the middle of
// constructs, indices out of range) and has to end with a message instead of
// crashing, recursing without bound or running for ever.
// Built and run by run_listing_fuzz.sh.
#include "core/Log.h"
#include "shader/ShaderSpirv.h"

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
	// the magic is hard to guess; most inputs get it for free
	if (words.size() > 0 && (size & 1)) words[0] = 0x07230203u;
	Vexa::ShaderSpirv spirv;
	if (!spirv.load(words)) return 0;
	Vexa::String text;
	spirv.get_source(text);
	return 0;
}
