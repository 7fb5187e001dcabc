// Reading a SPIR-V module into the object's tables.
#include "shader/ShaderSpirv.h"

#include "core/Log.h"

namespace Vexa {

bool ShaderSpirv::load(const Array<uint32_t> &module) {
	if (module.size() < 5) {
		Log::print(Log::Error, "ShaderSpirv::load(): invalid data size\n");
		return false;
	}
	if (module[0] != 0x07230203u) {
		Log::printf(Log::Error, "ShaderSpirv::load(): invalid magic number 0x%08x\n", module[0]);
		return false;
	}
	// the module reader is not part of this build yet
	Log::print(Log::Error, "ShaderSpirv::load(): can't read module\n");
	return false;
}

bool ShaderSpirv::get_source(String &out) {
	out.clear();
	return false;
}

} // namespace Vexa
