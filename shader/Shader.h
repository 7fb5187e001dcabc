// The shader object the library hands to its users. Shader is abstract: it
// holds the stage, name, macro summary and binding offsets and offers the load
// and create operations, leaving the compilation for a platform to its
// subclasses. ShaderCompiler is the platform-less subclass that the `shader`
// program uses: it keeps the SPIR-V words and renders them into the output
// formats.
#pragma once

#include "core/Array.h"
#include "core/String.h"
#include "shader/ShaderTypes.h"

#include <atomic>
#include <cstdint>

namespace Vexa {

class Stream;
class ShaderSpirv;

class PlatformBase {
public:
	explicit PlatformBase(uint32_t platform) : platform(platform) {}
	virtual ~PlatformBase() {}

	// the platform's native object behind this one (none here)
	virtual uintptr_t getNative() const = 0;

	void setPlatform(uint32_t value) { platform = value; }
	uint32_t getPlatform() const { return platform; }

protected:
	uint32_t platform;
};

class Shader : public PlatformBase, public ShaderStage {
public:
	class State;

	explicit Shader(uint32_t platform);
	virtual ~Shader();

	virtual void clear();
	virtual bool isCreated() const = 0;
	// whether the platform can take shaders at all
	virtual bool isSupported() const = 0;
	virtual bool definePlatformMacros(State &state) const;
	virtual bool compile(Type type, const Array<uint32_t> &words, const State &state) = 0;
	virtual bool compile(Type type, const String &src, const State &state) = 0;

	// loading and creating
	bool load(Type type, const char *name, const char *format = nullptr, ...);
	bool load(Type type, const char *name, const String &macros, const char **files = nullptr, uint32_t num = 0);
	bool loadGLSL(Type type, const char *name, const char *format = nullptr, ...);
	bool loadGLSL(Type type, const char *name, const String &macros, const char **files = nullptr, uint32_t num = 0);
	bool loadSPIRV(Type type, const char *name);
	bool create(Type type, const char *src, const char *format = nullptr, ...);
	bool create(Type type, const char *src, const String &macros, const char **files = nullptr, uint32_t num = 0);
	bool createGLSL(Type type, const char *src, const char *format = nullptr, ...);
	bool createGLSL(Type type, const char *src, const String &macros, const char **files = nullptr, uint32_t num = 0);
	bool createSPIRV(Type type, const Array<uint32_t> &words);

	// compiles preprocessed GLSL text with the State that the preprocessor filled
	bool compile_glsl(Type type, const String &src, State &state);

	// preprocesses src into dst (appended to) with the macros, files and
	// pragmas of state; `expand` switches macro expansion in the text
	static bool preprocessor(const char *src, String &dst, State &state, bool expand);
	// the same on a copy of the default State with a macro list (printf-style
	// or given) and in-memory files; an empty String after a failure
	static String preprocessor(const char *src, const char *format, ...);
	static String preprocessor(const char *src, const String &macros, const char **files = nullptr, uint32_t num = 0);

	// binding offsets (each stored in 16 bits)
	void setSamplerOffset(int32_t offset) { offsets.offsets[BindingOffsets::Sampler] = (int16_t)offset; }
	void setTextureOffset(int32_t offset) { offsets.offsets[BindingOffsets::Texture] = (int16_t)offset; }
	void setSurfaceOffset(int32_t offset) { offsets.offsets[BindingOffsets::Surface] = (int16_t)offset; }
	void setUniformOffset(int32_t offset) { offsets.offsets[BindingOffsets::Uniform] = (int16_t)offset; }
	void setStorageOffset(int32_t offset) { offsets.offsets[BindingOffsets::Storage] = (int16_t)offset; }
	void setTracingOffset(int32_t offset) { offsets.offsets[BindingOffsets::Tracing] = (int16_t)offset; }
	void setTexelOffset(int32_t offset) { offsets.offsets[BindingOffsets::Texel] = (int16_t)offset; }
	void setSpaceOffset(int32_t offset) { offsets.offsets[BindingOffsets::Space] = (int16_t)offset; }
	int32_t getSamplerOffset() const { return offsets.offsets[BindingOffsets::Sampler]; }
	int32_t getTextureOffset() const { return offsets.offsets[BindingOffsets::Texture]; }
	int32_t getSurfaceOffset() const { return offsets.offsets[BindingOffsets::Surface]; }
	int32_t getUniformOffset() const { return offsets.offsets[BindingOffsets::Uniform]; }
	int32_t getStorageOffset() const { return offsets.offsets[BindingOffsets::Storage]; }
	int32_t getTracingOffset() const { return offsets.offsets[BindingOffsets::Tracing]; }
	int32_t getTexelOffset() const { return offsets.offsets[BindingOffsets::Texel]; }
	int32_t getSpaceOffset() const { return offsets.offsets[BindingOffsets::Space]; }

	// option bytes
	void setFirstFlag(uint8_t flag) { offsets.flags[0] = flag; }
	void setSecondFlag(uint8_t flag) { offsets.flags[1] = flag; }
	void setThirdFlag(uint8_t flag) { offsets.flags[2] = flag; }
	uint8_t getFirstFlag() const { return offsets.flags[0]; }
	uint8_t getSecondFlag() const { return offsets.flags[1]; }
	uint8_t getThirdFlag() const { return offsets.flags[2]; }

	const BindingOffsets &getBindingOffsets() const { return offsets; }
	bool copyOptions(Shader *dst) const;
	bool copyOptions(ShaderSpirv *dst) const;

	const String &getName() const { return name; }
	const String &getMacros() const { return macros; }
	Type getType() const { return type; }
	const char *getTypeName() const { return getTypeName(type); }
	static const char *getTypeName(Type type);

	// the process-wide default State that every load copies
	static State &getDefaultState();
	static bool setMacro(const char *name, int32_t value);
	static bool setMacro(const char *name, uint32_t value);
	static bool setMacros(const char *list);
	static bool removeMacro(const char *name);
	static bool hasMacro(const char *name);

	// global in-memory include files, consulted after a State's own files
	static bool addFile(const char *name, const char *source);
	static bool removeFile(const char *name);
	static bool hasFile(const char *name);
	static void clearFiles();
	// the text of a global in-memory file; false when there is none
	static bool getFile(const char *name, String &source);

	// the process-wide shader cache of named blobs
	static bool openCache(const char *name);
	static void clearCache();
	static bool hasCache();
	static bool loadCache(const char *key, Stream &dst);
	static bool saveCache(const char *key, Stream &src);

	static bool defineVendorMacros(State &state, uint32_t vendor);
	static bool isIdentifierChar(char c);

protected:
	Type type;
	String name;
	String macros;
	BindingOffsets offsets;

private:
	bool load_source(Type type, const char *name, const String &macros, const char **files, uint32_t num, bool glsl, const char *func);
	bool create_source(Type type, const char *src, const String &macros, const char **files, uint32_t num, bool glsl);
	bool compile_source(Type type, const String &src, State &state, bool glsl);
};

// how many threads keep a compiler now: one each from its first GLSL
// compilation until the last Shader is destroyed
uint32_t get_cached_compilers();

// The platform-less Shader: keeps the SPIR-V words and renders them.
class ShaderCompiler : public Shader {
public:
	ShaderCompiler();
	~ShaderCompiler() override;

	uintptr_t getNative() const override { return 0; }
	void clear() override;
	bool isCreated() const override { return words.size() != 0; }
	bool isSupported() const override { return true; }
	bool compile(Type type, const Array<uint32_t> &words, const State &state) override;
	bool compile(Type type, const String &src, const State &state) override;

	// source text of the held module in a format (null: the GLSL-like listing)
	// `status`, when given, tells whether the output was made
	String getSource(const char *format, bool *status = nullptr);
	// writes the held module (null format) or a backend's rewrite of it
	bool writeOpcodes(Stream &stream, const char *format);

	const Array<uint32_t> &getOpcodes() const { return words; }

private:
	Array<uint32_t> words;
};

} // namespace Vexa
