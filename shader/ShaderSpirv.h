// The base class of every output format. One object holds one SPIR-V module as
// `load` read it: a copy of the words, the index from result id to defining
// instruction, per-id and per-member records, the blocks with their branches,
// the execution model and modes, and the module's variables sorted by
// category. The virtual operations turn this model into source text; the base
// gives a GLSL-like default for each and the backends override what their
// language needs.
//
// The module comes from a user's file, so `load` first proves it well-formed
// enough for everything that reads it afterwards (see ShaderSpirvCheck.cpp).
// After a successful `load` these hold, and the renderer and the backends may
// rely on them without testing again:
// - every instruction has a word count of at least 1 and ends inside `words`;
// - every instruction of a known opcode has at least the words that the SPIR-V
//   grammar requires of it, and every id among those required (and among the
//   optional ones that are present) is below the id bound, which is also the
//   size of `indices`, `uses`, `named`, `records` and `members`;
// - literal strings end with a NUL inside their instruction;
// - an OpConstant or OpSpecConstant holds all the words its type's width needs,
//   and the literals of an OpSwitch fit its selector's width;
// - types, result types, and the operands of values (the pointers behind
//   OpLoad, OpStore and the access chains among them) are not defined after
//   they are used, so the chains that the `get_target` family walks end and
//   no value is its own operand. Only structure members, array elements and
//   function parameters may name a pointer declared by OpTypeForwardPointer
//   (which may not lead back to itself), and only OpPhi, the callee of
//   OpFunctionCall, branch and merge targets, names, decorations, entry
//   points and operands of extended sets other than GLSL.std.450 may refer
//   forward. An id that no known instruction defines is left to the lookups,
//   which report it;
// - member indices of OpMemberName and OpMemberDecorate are below their
//   structure's member count.
// Ids read from any other position (operands behind an enumerant's parameters,
// operands of other extended sets) must go through the `get_target` family,
// which treats an id at or above the bound as undefined.
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

	// A position in the module's words that knows the word range. The end
	// iterator has `current` equal to `end`.
	struct Iterator {
		const uint32_t *begin = nullptr;
		const uint32_t *end = nullptr;
		const uint32_t *current = nullptr;

		// low 16 bits of the first word; -1 at the end
		int32_t get_opcode() const { return (current < end) ? static_cast<int32_t>(*current & 0xffffu) : -1; }
		// the word count; 0 at the end
		uint32_t get_size() const { return (current < end) ? (*current >> 16) : 0; }
		// the iterator n words further; the end iterator when that leaves the words
		Iterator advance(int32_t n) const;
		// word index of the instruction, counted from the magic
		uint32_t get_index() const { return static_cast<uint32_t>(current - begin); }
		// word k of the instruction, 0 past its word count
		uint32_t operator[](uint32_t k) const { return (k < get_size()) ? current[k] : 0; }
		bool is_end() const { return current >= end; }

		// ordered by position, so that a map of iterators follows the words
		bool operator==(const Iterator &it) const { return current == it.current; }
		bool operator!=(const Iterator &it) const { return current != it.current; }
		bool operator<(const Iterator &it) const { return current < it.current; }
	};

	// function-scope variables whose declaration is not printed yet, in word order
	using Pending = Map<Iterator, uint32_t>;

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

	// slots 4 to 10: names
	virtual String get_image_name(const Iterator &it);
	virtual String get_unary_name(const Iterator &it);
	virtual String get_binary_name(const Iterator &it);
	virtual String get_internal_name(const Iterator &it);
	virtual String get_external_name(const Iterator &it);
	virtual String get_builtin_name(uint32_t builtin);
	virtual String get_decoration_name(uint32_t decoration);

	// slots 11 to 14: declarations; a null record means records[id]
	virtual String get_type(uint32_t id, const Record *record);
	virtual String get_storage(uint32_t id, const Record *record);
	virtual String get_semantic(uint32_t id, const Record *record);
	virtual String get_declaration(uint32_t id, const Record *record);

	// slots 15 to 21: values and expressions
	virtual String get_image_value(const Iterator &it, bool parenthesize);
	virtual String get_intrinsic_value(const Iterator &it, bool parenthesize);
	virtual String get_external_value(const Iterator &it, bool parenthesize);
	virtual String get_argument(uint32_t id, bool parenthesize);
	virtual String get_value(uint32_t id, bool parenthesize);
	virtual String get_swizzle(uint32_t id, const char *swizzle);
	virtual String get_assignment(const Iterator &it);

	// slots 22 to 25: function bodies and control flow
	virtual String get_statement(const Iterator &it, uint32_t indent, Pending &pending);
	virtual String get_merge(const Block &block, const Iterator &it, uint32_t indent, Pending &pending, const Block *loop);
	virtual String get_block(uint32_t label, uint32_t indent, Pending &pending, const Block *loop);
	virtual String get_control(const Iterator &it);

	// slots 26 and 27: the listing
	virtual String get_globals();
	virtual String get_functions();

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

	// instruction access (ShaderSpirvAccess.cpp)
	Iterator get_iterator(uint32_t index) const;
	Iterator get_end() const;
	Iterator get_target(uint32_t id) const;
	Iterator get_target_type(uint32_t id) const;
	Iterator get_target_base_type(uint32_t id) const;
	Iterator get_target_variable(uint32_t id) const;
	uint32_t get_target_components(uint32_t id) const;
	int32_t get_target_builtin(uint32_t id) const;
	const Record *get_target_record(uint32_t id) const;

	// opcode classes
	static uint32_t get_operand_index(int32_t op);
	static int32_t get_image_operand_index(int32_t op);
	static bool is_type_opcode(int32_t op);
	static bool is_array_opcode(int32_t op);
	static bool is_unary_opcode(int32_t op);
	static bool is_binary_opcode(int32_t op);
	static bool is_terminator_opcode(int32_t op);
	static bool is_image_opcode(int32_t op);
	static bool is_internal_opcode(int32_t op);
	static bool is_value_opcode(int32_t op);

	// type predicates
	bool is_float_type(uint32_t id) const;
	bool is_signed_type(uint32_t id) const;
	bool is_unsigned_type(uint32_t id) const;
	bool is_unused(const Iterator &it, uint32_t id) const;
	static bool is_digit(char c) { return c >= '0' && c <= '9'; }
	static bool is_space(char c) { return c == 9 || c == 10 || c == 13 || c == 32; }

	// [A-Za-z_][A-Za-z0-9_]*: the only names taken from a module into source text
	static bool is_identifier(const char *name);

	// the literal string at word `index` of the instruction (up to its NUL)
	static String get_string(const Iterator &it, uint32_t index);

	// the largest id bound `load` takes for a module of `size` words
	static uint32_t get_max_bound(uint32_t size);

protected:
	// the checking pass that runs before the reader's main pass
	bool check_module(const Array<uint32_t> &module) const;

	// the instruction that defines id, or the end iterator without a message
	Iterator find_target(uint32_t id) const;

	// parts of `load` (ShaderSpirvReader.cpp)
	static bool is_generated(const String &name);
	void read_variable(const Iterator &it, Set<String> &names);
	void read_access_chain(const Iterator &it);
	void read_sampled_image(const Iterator &it);
	void sort_variables(Array<uint32_t> &list, uint32_t decoration);

	// one counted use of an id; saturates instead of wrapping
	void add_use(uint32_t id) {
		if (id < uses.size() && uses[id] != 0xffffu) uses[id]++;
	}

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
