// The base class of every output format. One object holds one SPIR-V module as
// `load` read it: a copy of the words, the index from result id to defining
// instruction, per-id and per-member records, the blocks with their branches,
// the execution model and modes, and the module's variables sorted by
// category. The virtual operations turn this model into source text; the base
// gives a GLSL-like default for each and the backends override what their
// language needs.
//
// The format registry maps a format name to one prototype object; `get` hands
// out fresh clones of it.
#pragma once

#include "core/Array.h"
#include "core/Map.h"
#include "core/String.h"
#include "shader/Shader.h"

#include <cstdint>

namespace Vexa {

class ShaderSpirv {
public:
	// per result id, and per structure member
	struct Record {
		String name;
		uint32_t storage = 0;
		Map<uint32_t, uint32_t> decorations;
	};

	// per OpLabel
	struct Block {
		uint32_t index = 0;
		uint32_t opcode = 0;
		uint32_t count = 0;
		uint32_t merge = 0;
		uint32_t target = 0;
		uint32_t target_false = 0;
		uint32_t condition = 0;
		uint32_t continue_target = 0;
		uint32_t init_variable = 0;
	};

	// A position in the module's words that knows the word range.
	struct Iterator {
		const uint32_t *begin = nullptr;
		const uint32_t *end = nullptr;
		const uint32_t *current = nullptr;
	};

	ShaderSpirv();
	// a prototype: entered into the format registry under `format`
	explicit ShaderSpirv(const char *format);
	virtual ~ShaderSpirv();

	ShaderSpirv(const ShaderSpirv &) = delete;
	ShaderSpirv &operator=(const ShaderSpirv &) = delete;

	// slot 1: reads the module; false with a logged message on a malformed module
	virtual bool load(const Array<uint32_t> &words);
	// slot 2: the whole output text
	virtual bool get_source(String &out);
	// slot 3: a new plain object of the same class and mode (the base has none)
	virtual ShaderSpirv *clone() const;

	// format registry
	static ShaderSpirv *get(const char *format);
	static bool has_format(const char *format);

	const Array<uint32_t> &getOpcodes() const { return words; }

	// binding offsets and option bytes, copied in before `load`
	void setSamplerOffset(int32_t offset) { binding_offsets.offsets[BindingOffsets::Sampler] = (int16_t)offset; }
	void setTextureOffset(int32_t offset) { binding_offsets.offsets[BindingOffsets::Texture] = (int16_t)offset; }
	void setSurfaceOffset(int32_t offset) { binding_offsets.offsets[BindingOffsets::Surface] = (int16_t)offset; }
	void setUniformOffset(int32_t offset) { binding_offsets.offsets[BindingOffsets::Uniform] = (int16_t)offset; }
	void setStorageOffset(int32_t offset) { binding_offsets.offsets[BindingOffsets::Storage] = (int16_t)offset; }
	void setTracingOffset(int32_t offset) { binding_offsets.offsets[BindingOffsets::Tracing] = (int16_t)offset; }
	void setTexelOffset(int32_t offset) { binding_offsets.offsets[BindingOffsets::Texel] = (int16_t)offset; }
	void setSpaceOffset(int32_t offset) { binding_offsets.offsets[BindingOffsets::Space] = (int16_t)offset; }
	int32_t getSamplerOffset() const { return binding_offsets.offsets[BindingOffsets::Sampler]; }
	int32_t getTextureOffset() const { return binding_offsets.offsets[BindingOffsets::Texture]; }
	int32_t getSurfaceOffset() const { return binding_offsets.offsets[BindingOffsets::Surface]; }
	int32_t getUniformOffset() const { return binding_offsets.offsets[BindingOffsets::Uniform]; }
	int32_t getStorageOffset() const { return binding_offsets.offsets[BindingOffsets::Storage]; }
	int32_t getTracingOffset() const { return binding_offsets.offsets[BindingOffsets::Tracing]; }
	int32_t getTexelOffset() const { return binding_offsets.offsets[BindingOffsets::Texel]; }
	int32_t getSpaceOffset() const { return binding_offsets.offsets[BindingOffsets::Space]; }
	void setFirstFlag(uint8_t flag) { binding_offsets.flags[0] = flag; }
	void setSecondFlag(uint8_t flag) { binding_offsets.flags[1] = flag; }
	void setThirdFlag(uint8_t flag) { binding_offsets.flags[2] = flag; }
	uint8_t getFirstFlag() const { return binding_offsets.flags[0]; }
	uint8_t getSecondFlag() const { return binding_offsets.flags[1]; }
	uint8_t getThirdFlag() const { return binding_offsets.flags[2]; }
	void setBindingOffsets(const BindingOffsets &offsets) { binding_offsets = offsets; }
	const BindingOffsets &getBindingOffsets() const { return binding_offsets; }

protected:
	uint32_t options = 0;
	BindingOffsets binding_offsets;
	uint8_t counts[BindingOffsets::NumKinds] = {};
	String entry_name;
	uint32_t entry_id = 0xffffffffu;
	uint32_t source_language = 0xffffffffu;
	uint32_t source_version = 0xffffffffu;
	uint32_t execution_model = 0xffffffffu;
	Map<uint32_t, uint32_t> execution_modes;
	uint32_t local_size[3] = {1, 1, 1};
	Array<String> source_extensions;
	Array<uint32_t> capabilities;
	Map<uint32_t, String> imports;
	Array<uint32_t> words;
	Array<uint32_t> types;
	Array<uint32_t> indices;
	Array<uint16_t> uses;
	Array<uint32_t> globals;
	Array<uint32_t> inputs;
	Array<uint32_t> outputs;
	Array<uint32_t> resources;
	Array<uint32_t> payloads;
	Array<uint32_t> builtins;
	Array<uint32_t> shared;
	Array<uint32_t> functions;
	Set<uint32_t> used_builtins;
	Map<uint32_t, Block> blocks;
	Array<Record> records;
	Array<Array<Record>> members;
	Map<uint32_t, uint32_t> depth_samplers;
	Array<uint8_t> named;
};

} // namespace Vexa
