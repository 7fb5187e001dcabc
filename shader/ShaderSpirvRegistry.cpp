// The format registry: one prototype object per output format, entered by its
// registering constructor and removed by its destructor. The registry is made
// on first use, so it exists whatever order the static prototypes of different
// source files are constructed in, and it outlives every one of them. The
// registry names no format: the build links every object of the backends
// into each program that links the library, so their prototypes are entered
// before `main` whether or not the program names them.
#include "shader/ShaderSpirv.h"

#include "core/Log.h"

namespace Vexa {

namespace {

Map<String, ShaderSpirv *> &registry() {
	static Map<String, ShaderSpirv *> formats;
	return formats;
}

} // namespace

ShaderSpirv::ShaderSpirv() {
}

ShaderSpirv::ShaderSpirv(const char *format) {
	registry().insert(String(format), this);
}

ShaderSpirv::~ShaderSpirv() {
	Map<String, ShaderSpirv *> &formats = registry();
	auto it = formats.findValue(this);
	if (it != formats.end()) formats.remove(it->key);
}

ShaderSpirv *ShaderSpirv::clone() const {
	return nullptr;
}

ShaderSpirv *ShaderSpirv::get(const char *format) {
	if (format == nullptr) return new ShaderSpirv();
	ShaderSpirv **prototype = registry().get(String(format));
	if (prototype == nullptr) {
		Log::printf(Log::Error, "ShaderSpirv::get(): can't find \"%s\" shader format\n", format);
		return nullptr;
	}
	return (*prototype)->clone();
}

bool ShaderSpirv::has_format(const char *format) {
	if (format == nullptr) return false;
	return registry().get(String(format)) != nullptr;
}

} // namespace Vexa
