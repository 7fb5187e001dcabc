// Shader and ShaderCompiler: construction, options, and the load and create
// operations that turn a file or text into SPIR-V words. Each load copies the
// process-wide default State, adds its own macros, runs the preprocessor and
// hands the result to a compile step.
#include "shader/Shader.h"

#include "core/Cache.h"
#include "core/File.h"
#include "core/Log.h"
#include "core/Parser.h"
#include "core/Source.h"
#include "core/SpinLock.h"
#include "shader/ShaderSpirv.h"
#include "shader/ShaderState.h"
#include "shader/compiler/Compiler.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace Vexa {

namespace {

std::atomic<uint32_t> live_shaders{0};

// the largest shader text or module a load reads, as the preprocessor bounds
// the text of a whole shader
constexpr size_t MaxSourceSize = Shader::State::MaxSourceSize;

const char *const type_names[] = {
	"Unknown", "Vertex", "Control", "Evaluate", "Geometry", "Fragment", "Compute", "Task",
	"Mesh", "RayGen", "RayMiss", "Closest", "FirstHit", "Intersection", "Callable",
};

// guards the global in-memory files and the per-thread compiler cache
SpinLock &module_lock() {
	static SpinLock lock;
	return lock;
}

// one compiler per thread, made at the thread's first compilation and kept
// until the last Shader goes; guarded by the module lock
Map<uint32_t, Compiler *> &compiler_cache() {
	static Map<uint32_t, Compiler *> compilers;
	return compilers;
}

Compiler &thread_compiler() {
	uint32_t thread = static_cast<uint32_t>(syscall(SYS_gettid));
	SpinLock::Guard guard(module_lock());
	Map<uint32_t, Compiler *> &cache = compiler_cache();
	if (Compiler **compiler = cache.get(thread)) return **compiler;
	Compiler *compiler = new Compiler();
	cache.insert(thread, compiler);
	return *compiler;
}

} // namespace

uint32_t get_cached_compilers() {
	SpinLock::Guard guard(module_lock());
	return compiler_cache().size();
}

namespace {

Map<String, String> &global_files() {
	static Map<String, String> files;
	return files;
}

String format_list(const char *format, va_list args) {
	if (format == nullptr) return String();
	return String::vformat(format, args);
}

} // namespace

//
// Shader
//

Shader::Shader(uint32_t platform) : PlatformBase(platform), type(Unknown) {
	live_shaders.fetch_add(1);
}

Shader::~Shader() {
	// the last Shader takes the cached compilers with it
	if (live_shaders.fetch_sub(1) == 1) {
		SpinLock::Guard guard(module_lock());
		Map<uint32_t, Compiler *> &cache = compiler_cache();
		for (auto it = cache.begin(); it; ++it) delete it->value;
		cache.clear();
	}
}

void Shader::clear() {
	type = Unknown;
}

bool Shader::definePlatformMacros(State &state) const {
#ifdef _WIN32
	if (!state.set_macro("_WIN32", "1")) return false;
#else
	if (!state.set_macro("_LINUX", "1")) return false;
#endif
	return state.set_macro("__LINE__", "0");
}

const char *Shader::getTypeName(Type t) {
	return t < NumTypes ? type_names[t] : type_names[0];
}

bool Shader::copyOptions(Shader *dst) const {
	if (dst == nullptr) return false;
	dst->offsets = offsets;
	return true;
}

bool Shader::copyOptions(ShaderSpirv *dst) const {
	if (dst == nullptr) return false;
	dst->setBindingOffsets(offsets);
	return true;
}

bool Shader::isIdentifierChar(char c) {
	return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool Shader::defineVendorMacros(State &state, uint32_t vendor) {
	switch (vendor) {
		case 0x13b5: return state.set_macro("_ARM", "1");
		case 0x1002: return state.set_macro("_AMD", "1");
		case 0x106b: return state.set_macro("_APPLE", "1");
		case 0x8086: return state.set_macro("_INTEL", "1");
		case 0x10de: return state.set_macro("_NVIDIA", "1");
		case 0x5143: return state.set_macro("_QUALCOMM", "1");
	}
	return true;
}

//
// process-wide data
//

Shader::State &Shader::getDefaultState() {
	static State state;
	return state;
}

bool Shader::setMacro(const char *name, int32_t value) {
	return getDefaultState().set_macro(name, String::format("%d", value).get());
}

bool Shader::setMacro(const char *name, uint32_t value) {
	return getDefaultState().set_macro(name, String::format("%uu", value).get());
}

bool Shader::setMacros(const char *list) {
	return getDefaultState().set_macros(list);
}

bool Shader::removeMacro(const char *name) {
	return getDefaultState().remove_macro(name);
}

bool Shader::hasMacro(const char *name) {
	return getDefaultState().has_macro(name);
}

bool Shader::addFile(const char *name, const char *source) {
	SpinLock::Guard guard(module_lock());
	global_files().insert(String(name), String(source));
	return true;
}

bool Shader::removeFile(const char *name) {
	SpinLock::Guard guard(module_lock());
	return global_files().remove(String(name));
}

bool Shader::hasFile(const char *name) {
	SpinLock::Guard guard(module_lock());
	return global_files().get(String(name)) != nullptr;
}

void Shader::clearFiles() {
	SpinLock::Guard guard(module_lock());
	global_files().clear();
}

bool Shader::getFile(const char *name, String &source) {
	SpinLock::Guard guard(module_lock());
	const String *text = global_files().get(String(name));
	if (text == nullptr) return false;
	source = *text;
	return true;
}

bool Shader::openCache(const char *name) {
	return Cache::global().open(name);
}

void Shader::clearCache() {
	Cache::global().clear(true);
}

bool Shader::hasCache() {
	return Cache::global().isOpened();
}

bool Shader::loadCache(const char *key, Stream &dst) {
	return Cache::global().load(String(key), dst);
}

bool Shader::saveCache(const char *key, Stream &src) {
	return Cache::global().save(String(key), src);
}

//
// loading and creating
//

// the macros of every GLSL text: VEXA_GLSL, and those GLSL for Vulkan
// defines, VULKAN and one for each extension the compiler has; a macro the
// caller defined keeps its value
static bool define_glsl_macros(Shader::State &state) {
	if (!state.set_macro("VEXA_GLSL", "1")) return false;
	auto define = [&](const char *name, const char *value) {
		if (!state.has_macro(name)) state.set_predefined(name, value);
	};
	define("VULKAN", "100");
	uint32_t count = 0;
	const char *const *names = Compiler::get_extension_names(&count);
	for (uint32_t i = 0; i < count; i++) define(names[i], "1");
	return true;
}

bool Shader::compile_source(Type t, const String &src, State &state, bool glsl) {
	StringStack<64> out;
	if (!preprocessor(src.get(), out, state, true)) return false;
	if (glsl) return compile_glsl(t, out, state);
	return compile(t, out, state);
}

bool Shader::load_source(Type t, const char *file_name, const String &list, const char **files, uint32_t num, bool glsl, const char *func) {
	Source source;
	if (file_name == nullptr || !source.open(file_name, true)) {
		Log::printf(Log::Error, "%s: can't open \"%s\" file\n", func, file_name ? file_name : "");
		return false;
	}
	State state(getDefaultState());
	state.set_file(file_name);
	if (!state.set_macros(list.get())) return false;
	state.add_files(files, num);
	if (glsl && !define_glsl_macros(state)) return false;
	if (!definePlatformMacros(state)) return false;
	// the text is read whole: refuse what cannot be a shader before reading
	if (source.getSize() > MaxSourceSize) {
		Log::printf(Log::Error, "%s: \"%s\" file is too large\n", func, file_name);
		return false;
	}
	bool complete = true;
	errno = 0;
	String src = source.readAll(&complete);
	if (!complete && source.getSize() != 0) {
		Log::printfSystemError(Log::Error, "%s: can't read \"%s\" file\n", func, file_name);
		return false;
	}
	source.close();
	return compile_source(t, src, state, glsl);
}

bool Shader::create_source(Type t, const char *src, const String &list, const char **files, uint32_t num, bool glsl) {
	State state(getDefaultState());
	if (!state.set_macros(list.get())) return false;
	state.add_files(files, num);
	if (glsl && !define_glsl_macros(state)) return false;
	if (!definePlatformMacros(state)) return false;
	return compile_source(t, String(src), state, glsl);
}

bool Shader::load(Type t, const char *file_name, const char *format, ...) {
	va_list args;
	va_start(args, format);
	String list = format_list(format, args);
	va_end(args);
	return load_source(t, file_name, list, nullptr, 0, false, "Shader::load()");
}

bool Shader::load(Type t, const char *file_name, const String &list, const char **files, uint32_t num) {
	return load_source(t, file_name, list, files, num, false, "Shader::load()");
}

bool Shader::loadGLSL(Type t, const char *file_name, const char *format, ...) {
	va_list args;
	va_start(args, format);
	String list = format_list(format, args);
	va_end(args);
	return load_source(t, file_name, list, nullptr, 0, true, "Shader::loadGLSL()");
}

bool Shader::loadGLSL(Type t, const char *file_name, const String &list, const char **files, uint32_t num) {
	return load_source(t, file_name, list, files, num, true, "Shader::loadGLSL()");
}

bool Shader::create(Type t, const char *src, const char *format, ...) {
	va_list args;
	va_start(args, format);
	String list = format_list(format, args);
	va_end(args);
	return create_source(t, src, list, nullptr, 0, false);
}

bool Shader::create(Type t, const char *src, const String &list, const char **files, uint32_t num) {
	return create_source(t, src, list, files, num, false);
}

bool Shader::createGLSL(Type t, const char *src, const char *format, ...) {
	va_list args;
	va_start(args, format);
	String list = format_list(format, args);
	va_end(args);
	return create_source(t, src, list, nullptr, 0, true);
}

bool Shader::createGLSL(Type t, const char *src, const String &list, const char **files, uint32_t num) {
	return create_source(t, src, list, files, num, true);
}

bool Shader::loadSPIRV(Type t, const char *file_name) {
	Source source;
	if (file_name == nullptr || !source.open(file_name, true)) {
		Log::printf(Log::Error, "Shader::loadSPIRV(): can't open \"%s\" file\n", file_name ? file_name : "");
		return false;
	}
	// a trailing partial word is ignored
	size_t count = source.getSize() / 4;
	if (source.getSize() > MaxSourceSize) {
		Log::printf(Log::Error, "Shader::loadSPIRV(): \"%s\" file is too large\n", file_name);
		return false;
	}
	Array<uint32_t> module;
	module.resize((uint32_t)count);
	errno = 0;
	if (source.read(module.get(), count * 4) != count * 4) {
		Log::printSystemError(Log::Error, "Shader::loadSPIRV(): can't read shader\n");
		return false;
	}
	State state(getDefaultState());
	state.set_file(file_name);
	return compile(t, module, state);
}

bool Shader::createSPIRV(Type t, const Array<uint32_t> &module) {
	State state(getDefaultState());
	return compile(t, module, state);
}

// The "preprocessor" pragma dumps the preprocessed text. Its file name comes
// from the shader (or any file it includes), so it may only name a plain file
// of the current directory: no directory part, no leading '.', and never a
// symbolic link or anything but a regular file.
static void write_preprocessed(const String &name, const String &src) {
	const char *text = name.get();
	if (name.empty() || text[0] == '.' || strchr(text, '/') != nullptr || strchr(text, '\\') != nullptr) {
		Log::printf(Log::Error, "Shader::compile_glsl(): can't write preprocessed text to \"%s\": not a plain file name\n", text);
		return;
	}
	errno = 0;
	// non-blocking, so that a FIFO without a reader fails instead of hanging
	int fd = ::open(text, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
	struct stat info;
	bool link = fd < 0 && errno == ELOOP;
	if (link || (fd >= 0 && (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)))) {
		if (fd >= 0) ::close(fd);
		Log::printf(Log::Error, "Shader::compile_glsl(): can't write preprocessed text to \"%s\": not a regular file\n", text);
		return;
	}
	if (fd < 0) {
		Log::printfSystemError(Log::Error, "Shader::compile_glsl(): can't create \"%s\" file\n", text);
		return;
	}
	fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
	if (ftruncate(fd, 0) != 0) {
		::close(fd);
		Log::printfSystemError(Log::Error, "Shader::compile_glsl(): can't write \"%s\" file\n", text);
		return;
	}
	File file;
	if (!file.open(fd, text, "wb")) {
		::close(fd);
		return;
	}
	bool ok = file.puts(src);
	errno = 0;
	if (!file.close() || !ok) Log::printfSystemError(Log::Error, "Shader::compile_glsl(): can't write \"%s\" file\n", text);
}

bool Shader::compile_glsl(Type t, const String &src, State &state) {
	name = state.get_name();
	macros = state.get_macros(false);

	// compile flags from the pragmas
	uint32_t flags = 31;
	if (state.has_pragma("nodebug")) flags = 30;
	if (state.has_pragma("nounused")) flags &= ~2u;
	if (state.has_pragma("noreserved")) flags &= ~16u;

	const State::Pragma &dump = state.get_pragma("preprocessor");
	if (dump.arguments.size() == 1) write_preprocessed(dump.arguments[0], src);

	String context = state.get_macros(true);
	Compiler &compiler = thread_compiler();
	uint32_t error_offset = 0;
	if (compiler.compileGLSL(t, src.get(), context.get(), &error_offset, flags)) return compile(t, compiler.words, state);

	if (error_offset >= src.size()) {
		if (name.empty()) Log::printf(Log::Error, "Shader::compile_glsl(): can't compile shader\n%s\n", context.get());
		else Log::printf(Log::Error, "Shader::compile_glsl(): can't compile \"%s\" shader\n%s\n", name.get(), context.get());
		return false;
	}
	String line;
	Parser::readLine(src.get() + error_offset, line);
	String file = state.get_file(error_offset);
	Log::printf(Log::Error, "Shader::compile_glsl(): %s:%u: %s\n%s\n", file.get(), state.get_line(error_offset), line.get(), context.get());
	return false;
}

//
// ShaderCompiler
//

ShaderCompiler::ShaderCompiler() : Shader(~0u) {
}

ShaderCompiler::~ShaderCompiler() {
	words.release();
}

void ShaderCompiler::clear() {
	words.resize(0);
}

bool ShaderCompiler::compile(Type t, const Array<uint32_t> &module, const State &) {
	type = t;
	if (&module != &words) words = module;
	return true;
}

bool ShaderCompiler::compile(Type, const String &, const State &) {
	Log::print(Log::Error, "ShaderCompiler::compile(): unknown platform\n");
	return false;
}

String ShaderCompiler::getSource(const char *format, bool *status) {
	if (status) *status = false;
	ShaderSpirv *object = ShaderSpirv::get(format);
	if (object != nullptr) {
		copyOptions(object);
		if (object->load(words)) {
			StringStack<64> text;
			bool ok = object->get_source(text);
			delete object;
			// a source that could not be rendered whole is no source
			if (!ok) {
				Log::print(Log::Error, "ShaderCompiler::getSource(): can't create shader source\n");
				return String();
			}
			if (status) *status = true;
			return String(static_cast<StringStack<64> &&>(text));
		}
		delete object;
	}
	Log::print(Log::Error, "ShaderCompiler::getSource(): can't load shader\n");
	return String();
}

bool ShaderCompiler::writeOpcodes(Stream &stream, const char *format) {
	if (format == nullptr) return stream.write(words.get(), words.bytes()) == words.bytes();
	ShaderSpirv *object = ShaderSpirv::get(format);
	if (object != nullptr) {
		copyOptions(object);
		if (object->load(words)) {
			const Array<uint32_t> &module = object->getOpcodes();
			bool ok = stream.write(module.get(), module.bytes()) == module.bytes();
			delete object;
			return ok;
		}
		delete object;
	}
	Log::printf(Log::Error, "ShaderCompiler::writeOpcodes(): can't load %s shader\n", format);
	return false;
}

} // namespace Vexa
