// libFuzzer target of the SPIR-V reader: any bytes, taken as words, go through
// ShaderSpirv::load, and a module that loads has every id looked up through
// the `get_target` family, so that the chains those walk are fuzzed as well.
// Built and run by run_spirv_fuzz.sh.
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
	uint32_t bound = spirv.getOpcodes()[3];
	for (uint32_t id = 0; id < bound; id++) {
		spirv.get_target_type(id);
		spirv.get_target_base_type(id);
		spirv.get_target_variable(id);
		spirv.get_target_components(id);
		spirv.get_target_builtin(id);
		spirv.get_target_record(id);
		spirv.is_float_type(id);
	}
	return 0;
}
