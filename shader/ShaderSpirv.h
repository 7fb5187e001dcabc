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
//   optional ones that are present) is below the size of `indices`, `uses`,
//   `named`, `records` and `members`. That size is one more than the highest
//   such id (or defined result), not the header's id bound, which may lie far
//   above the ids in use;
// - literal strings end with a NUL inside their instruction;
// - an OpConstant or OpSpecConstant holds all the words its type's width needs,
//   and the literals of an OpSwitch fit its selector's width;
// - types, result types, and the operands of values (the pointers behind
//   OpLoad, OpStore and the access chains among them) are not defined after
//   they are used, so the chains that the `get_target` family walks end and
//   no value is its own operand. Only structure members, array elements and
//   function parameters may name a pointer declared by OpTypeForwardPointer
//   (which OpTypePointer defines, and which may not lead back to itself
//   through pointees, elements and columns), and only OpPhi, the callee of
//   OpFunctionCall, branch and merge targets, names, decorations, entry
//   points and operands of extended sets other than GLSL.std.450 may refer
//   forward. An id that no known instruction defines is left to the lookups,
//   which report it;
// - member indices of OpMemberName and OpMemberDecorate are below their
//   structure's member count.
// Ids read from any other position (operands behind an enumerant's parameters,
// operands of other extended sets) must go through the `get_target` family,
// which treats an id at or above that size as undefined.
//
// `load` stays quiet about ids that it cannot follow (those of instructions it
// does not know): it only gathers what it can from them, and the renderer
// reports them where it needs them. The one error that a successful `load`
// may log is the output's own: `get_builtin_name` finds no name for a
// built-in, which the module may well have, and counts that against
// `get_source`.
//
// The format registry maps a format name to one prototype object; `get` hands
// out fresh clones of it.
#pragma once

#include "core/Array.h"
#include "core/Map.h"
#include "core/String.h"
#include "shader/ShaderSpirvFlow.h"
#include "shader/ShaderSpirvLayout.h"
#include "shader/ShaderSpirvNamer.h"
#include "shader/ShaderSpirvResources.h"
#include "shader/ShaderTypes.h"

#include <array>
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
	// slot 2: the whole output text; false with logged messages when any
	// part of it failed. The base's is the frame of every output, which
	// gives its own parts through the hooks that it calls (see
	// `check_output`) rather than a text of its own.
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

	// slots 15 to 21: values and expressions. The slots of one instruction's
	// text are asked by the base's `render_value` for the instructions of
	// their kind, and by the statements of a function where the instruction
	// defines its value: the schedule's places are settled before either,
	// and what they read goes through `get_value`.
	virtual String get_image_value(const Iterator &it, bool parenthesize);
	virtual String get_intrinsic_value(const Iterator &it, bool parenthesize);
	virtual String get_external_value(const Iterator &it, bool parenthesize);
	virtual String get_argument(uint32_t id, bool parenthesize);
	// The text of a value where it is used. Not to be overridden: it gives
	// the name of a value that the schedule placed (`get_placed_value`),
	// bounds the depth and work of the text (`DepthGuard`), and only then
	// asks `render_value`, the hook that a backend overrides. So no override
	// can compute again what the schedule computed once, or recurse without
	// end.
	String get_value(uint32_t id, bool parenthesize);
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

	// the entries that the renderer's searches went through since `load`: a
	// measure of work that grows with the module, not with the square of it
	uint64_t getRenderSteps() const { return render_steps; }

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
	// the type below every array level of a type (the type itself when it is
	// no array); the end iterator when a level's element is not defined
	Iterator get_element_type(Iterator type) const;
	Iterator get_target_variable(uint32_t id) const;
	uint32_t get_target_components(uint32_t id) const;
	int32_t get_target_builtin(uint32_t id) const;
	const Record *get_target_record(uint32_t id) const;
	// the words of each (literal, label) pair of an OpSwitch: 3 where the
	// literals of its selector's width take two words
	uint32_t get_switch_step(const Iterator &sw) const;
	// the labels that an OpSwitch branches to, appended: its default first,
	// then the label of every literal in order
	void get_switch_targets(const Iterator &sw, Array<uint32_t> &targets) const;
	// the labels a branch, conditional branch or switch leads to, in operand
	// order (a label may come twice)
	void get_branch_targets(const Iterator &branch, Array<uint32_t> &targets) const;

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
	// the instructions of `is_internal_opcode` that act on more than their
	// result (emitting vertices, barriers, atomics, ray tracing and mesh
	// calls, OpKill), so that no value may move across them
	static bool is_effect_opcode(int32_t op);
	static bool is_value_opcode(int32_t op);
	// the types whose values GLSL cannot assign: pointers and the opaque
	// handles (images, samplers, acceleration structures, ray queries)
	static bool is_opaque_type(int32_t op);
	// whether word k of an instruction may name a value: literal operands
	// that could equal an id (instruction numbers, components, masks, line
	// numbers) are left out, and so are the result type and id of a value
	static bool is_value_word(const Iterator &it, uint32_t k);

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

	// The SPIR-V operations whose meaning a C-like target writes through a
	// function of its own: remainders and modulos with SPIR-V's signs, the
	// comparisons that keep NaN, and min and max that take the other operand
	// where one is NaN.
	enum SemanticHelper : uint8_t {
		HelperSRem,
		HelperSMod,
		HelperFRem,
		HelperFMod,
		HelperFOrdNotEqual,
		HelperFUnordEqual,
		HelperFUnordLessThan,
		HelperFUnordGreaterThan,
		HelperFUnordLessThanEqual,
		HelperFUnordGreaterThanEqual,
		HelperNMin,
		HelperNMax,
		HelperCount,
	};
	static const char *get_semantic_helper_name(SemanticHelper kind);

	// the largest id bound `load` takes for a module of `size` words
	static uint32_t get_max_bound(uint32_t size);

protected:
	// the checking pass that runs before the reader's main pass; `ids` gets
	// the size of the per-id tables
	bool check_module(const Array<uint32_t> &module, uint32_t &ids) const;

	// set while `load` walks the module: the lookups give their empty results
	// without a message
	bool quiet_lookups = false;

	// the instruction that defines id, or the end iterator without a message
	Iterator find_target(uint32_t id) const;

	// parts of `load` (ShaderSpirvReader.cpp)
	static bool is_generated(const String &name);
	// the size, magic and version of the header, with the message of a bad one
	static bool is_module_header(const Array<uint32_t> &module);
	// the copy of the words and the per-id tables of `bound` entries
	void prepare_tables(const Array<uint32_t> &module, uint32_t bound);
	// the walk over the module's instructions that fills the tables and the
	// blocks; false after the message of a block that does not end or begin
	bool read_instructions();
	// its parts, each true when the instruction is of its kind: the entry
	// point, modes, names and decorations; the functions, their parameters
	// and variables; the merges and branches of a block
	bool read_module_info(const Iterator &it);
	bool read_function_part(const Iterator &it, Set<String> &names);
	bool read_branch(const Iterator &it, Block &block);
	// any other instruction: the uses of its operands
	void read_operands(const Iterator &it);
	// a generated name for every id and member without one
	void name_unnamed(const char *prefix);
	// Interface blocks without a name of their own render without an instance
	// name, their members standing alone; but only blocks (a structure that
	// `globals` declares is named by its variables like any type), and only
	// where one variable has the block type, or two would read the same names.
	void unname_blocks(const char *prefix);
	// the block type of such a variable, 0 for any other id
	uint32_t get_nameless_block(uint32_t id) const;
	void read_variable(const Iterator &it, Set<String> &names);
	void read_access_chain(const Iterator &it);
	void read_sampled_image(const Iterator &it);
	void sort_variables(Array<uint32_t> &list, uint32_t decoration);
	// Whether a name from the module is one of the output's own words (a type
	// name, a keyword, a built-in function the output calls), so that `load`
	// renames it: a name that stands alone in the text, or (`bare` false) a
	// member name that only ever follows a '.', which the base lets pass. A
	// backend adds the words of its language.
	virtual bool is_reserved_name(const char *name, bool bare) const;
	// the name with '_' appended until it is no reserved word
	void rename_reserved(String &name, bool bare) const;

	// The names of the output (ShaderSpirvNaming.cpp), made at the end of
	// `load` through the one namer: it reserves the target's keywords (through
	// `is_reserved_name`), the names of the helpers (`get_helper_names`) and
	// the entry point's name, then gives the module's names their spellings
	// under the rules that the target asks for (`get_naming_rules`).
	enum NamingRules : uint32_t {
		// one name for each of the functions, global variables, structures,
		// members of blocks without an instance name, block copies and values
		// of a function, in the scopes of a C-like language; the entry point
		// takes the name of `get_entry_point_name`
		NameUnique = 1,
	};
	virtual uint32_t get_naming_rules() const;
	// the entry point's name in the output; empty (the base) to keep the module's
	virtual String get_entry_point_name() const;
	// the prefix of the target's built-in names, which no other name may
	// have ("u_" goes before it); null (the base) for none
	virtual const char *get_builtin_prefix() const;
	// the names of the helpers that the target writes itself, beyond the
	// semantics helpers of the base (exact names); and the prefixes of its
	// families of helpers whose names are made of types
	virtual void get_helper_names(Array<String> &names, Array<String> &prefixes) const;
	void name_module();
	ShaderSpirvNamer namer;
	uint32_t global_scope = ShaderSpirvNamer::Root;
	// block names of their own live beside the global names and blocks
	uint32_t structure_scope = ShaderSpirvNamer::None;
	// a scope that holds every name of the module's ids, for the Phi shadows
	uint32_t shadow_scope = ShaderSpirvNamer::None;
	// The name under which the block type of `variable` is declared again,
	// for a variable that shares its block type with a variable declared
	// before (`get_block_owner`): made free among the global and structure
	// names on first use, then the same for every use.
	String get_block_copy_name(uint32_t variable, uint32_t structure);
	Map<uint32_t, String> block_copy_names;
	// the first variable of the resources, inputs and outputs that has a
	// block type (or array of one), 0 for another type
	uint32_t get_block_owner(uint32_t structure);
	Map<uint32_t, uint32_t> block_owners;
	bool block_owners_built = false;

	// The helper functions of the output (ShaderSpirvHelpers.cpp): each is a
	// key, a name from the namer and a body from a backend's hook, and is
	// written once, before the functions, whatever order the renderer meets
	// them in.
	// The name that a call of the helper of `kind` for operands of `type`
	// (the target's spelling, `components` per vector, 1 for a scalar)
	// writes, with the helper registered on first use; empty where the
	// target has no helper for it (the operation is its own), or after an
	// error that the hook logged.
	String use_semantic_helper(SemanticHelper kind, const String &type, uint32_t components);
	// The body of a semantics helper named `name`, in the target's words;
	// empty (the base, which writes every such operation itself) for none.
	virtual String get_semantic_helper_body(SemanticHelper kind, const String &name, const String &type, uint32_t components);
	// Registers a helper under its key, the first body only; false where the
	// key is known already.
	bool add_helper(const String &key, const String &body);
	bool has_helper(const String &key) const { return helper_keys.find(key) != nullptr; }
	// every helper's body, each text once, in the order of the texts
	String get_helper_definitions() const;
	Set<String> helper_keys;
	Set<String> helper_bodies;
	// The hooks of `get_source`, called in this order:
	// - `check_output`: the checks of the whole module that come before any
	//   text, for what the output cannot express. The output fails, with no
	//   text, when it returns false or logs an error.
	// - `prepare_output`: the analyses of the whole module that the
	//   rendering reads.
	// - The body, rendered in this order: `get_stage_declarations`,
	//   `get_globals`, `get_functions`, `get_helpers`. Rendering may find
	//   more that the output needs (extensions, helper functions, pragma
	//   lines), so the helpers, which the functions call, come after them.
	// - `get_prologue` and `get_epilogue`: what stands before and after the
	//   body (a version, extension and precision lines; pragma lines), made
	//   once the body has said what it needs.
	// The text is the prologue, the stage declarations, the globals, the
	// helpers, the functions and the epilogue, and it fails when anything
	// logged an error (an error of `load` included). The base has no checks,
	// no analyses and no text but the globals, the functions and the helpers
	// of the registry.
	virtual bool check_output();
	virtual void prepare_output();
	// the declarations that the stage needs before the globals (layouts)
	virtual String get_stage_declarations();
	// the helper functions that the rendered functions call: the base
	// writes those of the registry (`get_helper_definitions`)
	virtual String get_helpers();
	virtual String get_prologue();
	virtual String get_epilogue();

	// one counted use of an id; saturates instead of wrapping
	void add_use(uint32_t id) {
		if (id < uses.size() && uses[id] != 0xffffu) uses[id]++;
	}

	// The rendering side (ShaderSpirvNames.cpp, ShaderSpirvValues.cpp,
	// ShaderSpirvIntrinsics.cpp, ShaderSpirvDeclarations.cpp,
	// ShaderSpirvSchedule.cpp, ShaderSpirvBlocks.cpp).

	// Logs a message at the error level and counts it: `get_source` fails when
	// anything it rendered logged an error, so that no text with a hole in it
	// is taken for a good output. Backends report their own rendering errors
	// through it too. Two kinds, told apart by their messages:
	// - `log_error`: the module asks for something the output has no text for
	//   (an opcode, a type, an operand value, a shape of control flow); the
	//   message names it, as "<operation>: unknown <what> ...";
	// - `log_internal_error`: the renderer contradicts itself (a block left
	//   unwritten, a value that is not where it was placed, a slot called with
	//   what it never takes, a bound of depth or nesting reached); the message
	//   reads "<operation>: internal error: ...", so that such a fault is never
	//   taken for an instruction the output does not know.
	void log_error(const char *format, ...) const;
	void log_internal_error(const char *operation, const char *format, ...) const;
	mutable uint32_t errors = 0;
	static constexpr uint32_t MaxLoggedErrors = 100;

	// Recursion and work bounds of the value, type and declaration slots:
	// deeper input, or values that refer to each other so often that their
	// text would not end, fail with one error instead of overflowing the stack
	// or running for ever. Once a bound is hit, every slot below the outermost
	// call gives up at once.
	static constexpr uint32_t MaxRenderDepth = 256;
	struct DepthGuard {
		explicit DepthGuard(ShaderSpirv &spirv) : spirv(spirv) {
			// enough for every real module many times over, and an end for the rest
			uint64_t budget = 1000000u + 256u * static_cast<uint64_t>(spirv.words.size());
			if (spirv.render_depth++ >= MaxRenderDepth || ++spirv.render_work > budget) spirv.render_overflow = true;
		}
		~DepthGuard() {
			if (--spirv.render_depth == 0) spirv.render_overflow = false;
		}
		DepthGuard(const DepthGuard &) = delete;
		DepthGuard &operator=(const DepthGuard &) = delete;
		// false when the text is to be given up; the first to find out says so
		bool enter(const char *operation, uint32_t id) {
			if (!spirv.render_overflow) return true;
			if (!spirv.render_overflow_logged) spirv.log_internal_error(operation, "depth or work bound reached at %u\n", id);
			spirv.render_overflow_logged = true;
			return false;
		}
		ShaderSpirv &spirv;
	};
	uint32_t render_depth = 0;
	mutable uint64_t render_steps = 0;
	uint64_t render_work = 0;                 // slot calls since `get_source` began
	bool render_overflow = false;
	bool render_overflow_logged = false;

	// The text of a value that `get_value` did not find placed, inside its
	// bounds: an override writes the forms of its language and leaves the
	// others to the base's. The operands of the text go through `get_value`.
	virtual String render_value(uint32_t id, bool parenthesize);

	// pieces of the value slots
	String get_constant(const Iterator &it);
	String get_shuffle(const Iterator &it);
	String get_access_chain(const Iterator &it);
	// the indices of an access chain from operand `first` to before `end`
	// (to the last with ~0u), appended to `base`, which has the type `type`
	String get_access_indices(const Iterator &it, uint32_t first, Iterator type, const String &base, uint32_t end = ~0u);
	String get_composite_extract(const Iterator &it);
	// "[n]" for every array level of a type, outermost first
	String get_array_suffix(uint32_t type);
	// parts of `get_intrinsic_value`: OpControlBarrier and OpMemoryBarrier;
	// an atomic function (`name` from `get_internal_name`) on a pointer or
	// an image texel; the name of a subgroup function with its group
	// operation or direction, appended to `out`, with `skip` set to an
	// operand that the name holds (false after an error)
	String get_barrier(const Iterator &it);
	String get_atomic(const Iterator &it, const String &name);
	bool get_subgroup_name(const Iterator &it, const String &name, String &out, uint32_t &skip);
	// the text of an OpFunctionCall: "name(arguments)"
	String get_call(const Iterator &it);
	// the operands from word `first` on, but word `skip`, joined by ", "
	String get_operands(const Iterator &it, uint32_t first, uint32_t skip);
	// the pointer parameters of a function that it may read through
	void get_read_parameters(const Iterator &function, Set<uint32_t> &read) const;

	// Memory layouts of blocks under a target's rules (ShaderSpirvLayout.cpp).
	// The layout of a type by the rules alone; `row_major` where the member
	// that holds a matrix, or an array of matrices, is decorated RowMajor.
	TypeLayout get_type_layout(uint32_t type, LayoutRule rule, bool row_major);
	// the offsets that the rules give the members of a structure, from its
	// types alone; false when a member has no layout
	bool get_member_offsets(uint32_t structure, LayoutRule rule, Array<uint64_t> &offsets);
	// Checks the decorations of a structure and of the structures nested in
	// it against the rules, each structure once under a rule set: each
	// member's Offset (counted on from where the member before it is
	// decorated), the ArrayStride of each level of its arrays and its
	// MatrixStride. Appends what differs, the members that have no layout
	// (or one past MaxLayoutSize), and runtime arrays but the last member.
	void find_layout_issues(uint32_t structure, LayoutRule rule, Array<LayoutIssue> &issues);
	void find_layout_issues(uint32_t structure, LayoutRule rule, bool nested, Array<LayoutIssue> &issues);
	// the layout of a structure, and its members' offsets when asked for
	TypeLayout get_structure_layout(uint32_t structure, LayoutRule rule, Array<uint64_t> *offsets);
	Map<uint64_t, TypeLayout> type_layouts;   // by type id, rule set and row-major
	Set<uint32_t> checked_layouts[LayoutRuleCount];

	// Resources (ShaderSpirvResources.cpp).
	// the kind of resource a variable is; ResourceNone for any other id
	ResourceKind get_resource_kind(uint32_t variable) const;
	// a resource's Binding plus the offset of its kind: the surface offset
	// for storage images, storage texel buffers and input attachments, the
	// storage offset for storage blocks, the texel offset for a texel buffer
	// combined with its sampler, none for the others; ~0u without a Binding
	uint32_t get_resource_binding(uint32_t variable) const;
	// the bindings of `resources` in the namespaces of a target, with the
	// moves across sets, the push-constant blocks placed and the issues
	void assign_bindings(const BindingPolicy &policy, BindingAssignment &assignment) const;
	// the variable of an array of resources (opaque values or blocks) that
	// an access chain indexes first, 0 for another chain or value
	uint32_t get_resource_array(uint32_t chain) const;
	// the texture or combined-sampler variable behind an image operand,
	// through OpSampledImage and OpImage; 0 for none
	uint32_t find_texture_variable(uint32_t id) const;
	// Walks the functions once for the uses below and the parameters and
	// calls that the place walk follows; each output calls it before it
	// renders.
	void find_resource_uses();
	// storage image variables to what the functions do to them (ImageRead,
	// ImageWrite), textures to how they are sampled (TextureCompared,
	// TextureUncompared)
	Map<uint32_t, uint32_t> image_access;
	Map<uint32_t, uint32_t> texture_sampling;
	// the OpSampledImage results that sampling uses
	Set<uint32_t> sampled_uses;
	// the place of a texture or sampler value, or of a pointer to one; false
	// for an origin that is not known
	bool get_value_place(uint32_t id, ResourcePlace &place) const;
	bool get_pointer_place(uint32_t pointer, ResourcePlace &place) const;
	// the variables and elements that a place may be, through the arguments
	// of every call of the functions whose parameters it reaches; false with
	// `issue` when they are not known
	bool get_place_elements(const ResourcePlace &place, Array<ResourceElements> &elements, ResourceOriginIssue &issue);
	// the elements below a type of arrays of constant lengths (1 for another
	// type), 0 for one that cannot be counted
	uint32_t get_element_count(const Iterator &type) const;
	struct ParameterPlace {
		uint32_t function = 0;
		uint32_t index = 0;
	};
	// the variables that a texture or sampler parameter stands for
	struct ParameterOrigins {
		Array<ResourceElements> elements;
		bool done = false;
		bool failed = false;
	};
	bool get_place_elements(const ResourcePlace &place, Array<ResourceElements> &elements, ResourceOriginIssue &issue, uint32_t depth);
	const ParameterOrigins *get_parameter_origins(uint32_t parameter, uint32_t depth, ResourceOriginIssue &issue);
	// each function parameter's function and place, each function's calls
	// (word indices), and the origins of the parameters walked so far
	Map<uint32_t, ParameterPlace> parameter_places;
	Map<uint32_t, Array<uint32_t>> function_calls;
	Map<uint32_t, ParameterOrigins> parameter_origins;

	// Numbers and reinterpretations (ShaderSpirvValues.cpp). A scalar float
	// constant of 16, 32 or 64 bits, given by its bits: the one place where a
	// float literal is written, so that a backend writes its own forms of
	// infinities, NaN, negative zero and double literals. The base writes the
	// shortest digits that read back to the same bits, always with a '.' or an
	// exponent, f16(...) and f64(...) around the narrow and wide ones,
	// f32(inf) and -f32(inf) for infinities and f32(nan 0x7fc00000), with all
	// the bits, for a NaN (f16 and f64 alike).
	virtual String get_float_constant(uint32_t type, uint32_t width, uint64_t bits);
	// the shortest decimal digits of a finite float of that width that read
	// back to the same bits, with a '.' or an exponent ("1.0", "-0.0",
	// "1.0e21", "1.5e-7"); empty for an infinity or a NaN
	static String get_float_digits(uint32_t width, uint64_t bits);
	// `value`, of the integer scalar or vector shape of `type` but the other
	// signedness, read bit for bit as that shape with signedness `to_signed`;
	// the text stands as an operand. The base writes a conversion to the
	// type's name, such as i32v4(x).
	virtual String get_sign_cast(uint32_t type, bool to_signed, const String &value);
	// OpBitcast between numeric types of different component counts (two
	// 16-bit values in a 32-bit one, a 64-bit value as two 32-bit ones): the
	// bits of `value`, of type `operand_type`, read as `type`; never a value
	// conversion. The base writes bitcast<f16v2>(x).
	virtual String get_bit_cast(uint32_t type, uint32_t operand_type, const String &value);
	// The integer signedness an opcode works in, whatever its operand types
	// say (OpSDiv on unsigned values, GLSL.std.450 UMax on signed ones, ...),
	// and the words of its operands that it reads in that signedness.
	enum Sign : uint8_t { SignAny, SignSigned, SignUnsigned };
	Sign get_opcode_sign(const Iterator &it, uint32_t &first, uint32_t &end) const;
	// Signedness repair (ShaderSpirvSigns.cpp). Whether the target's integer
	// operators take operands of one type and give that type (+ - * << | ^ &
	// == != and unary - ~), so that SPIR-V's mixes of signedness are cast;
	// the base's listing writes them as they are.
	virtual bool has_typed_operators() const;
	// two integer types (scalar or vector) of opposite signedness
	bool differ_in_sign(uint32_t a, uint32_t b) const;
	// On a target of typed operators, an operation whose operands and result
	// mix signedness is done in the result's type: its operands of the other
	// signedness are cast, the result is not (OpIAdd, OpISub, OpIMul, the
	// bitwise operations, the shifted value of OpShiftLeftLogical, OpSNegate,
	// OpNot). Whether the instruction is one.
	bool takes_result_sign(const Iterator &it) const;
	// How operand word k of an instruction is read: the signedness it is cast
	// to (SignAny: as it is), and whether a constant may be written as a
	// literal of that signedness instead. An operation done in its result's
	// type casts the operands of the other signedness; an equality of typed
	// operators reads its second operand as the first; otherwise the operand
	// goes into the signedness the opcode works in (`get_opcode_sign`).
	struct SignRepair {
		Sign sign = SignAny;
		bool literal = false;
	};
	SignRepair get_sign_repair(const Iterator &it, uint32_t k) const;
	// operand word k of an instruction, through `get_sign_cast` where
	// `get_sign_repair` says so
	String get_operand(const Iterator &it, uint32_t k, bool parenthesize);
	// whether the result of an instruction that works in a signedness must be
	// cast back to its result type, and the cast of its text when it must
	bool is_sign_cast_result(const Iterator &it) const;
	String get_sign_cast_result(const Iterator &it, const String &text);
	// the name of the integer type of the shape of `type` with the given
	// signedness: the module's own type where it has one
	String get_integer_type(uint32_t type, bool is_signed);
	Map<uint32_t, uint32_t> integer_types;    // shape key to type id, built on first use
	bool integer_types_built = false;
	// the end of the run of constituents of a vector construct, from word k
	// on, that extract consecutive components of one vector in order; k + 1
	// where there is no such run
	uint32_t get_extract_run(const Iterator &it, uint32_t k);
	// the condition that an OpSelect renders with: a vector constant of one
	// repeated value selects as that scalar
	uint32_t get_select_condition(const Iterator &it);
	// the template of an OpSelect: %c the condition, %l the value when true,
	// %r when false; a vector condition selects per component
	virtual String get_select_name(const Iterator &it);
	// whether `get_binary_name` or `get_select_name` writes the instruction
	// as a call, whose operands stand without parentheses, rather than as an
	// operator, which the text around it may have to parenthesize
	virtual bool is_call_form(const Iterator &it);
	// an OpSpecConstantOp written on the default values of its operands, as
	// an instruction of its opcode would be (ShaderSpirvConstantOps.cpp):
	// for a target that specialises nothing
	String get_specialization_value(const Iterator &it, bool parenthesize);

	// Per-vertex questions (ShaderSpirvVertices.cpp). The stages of patches
	// and primitives read and write some variables once per vertex, as arrays
	// whose outer index is the vertex.
	// a built-in, or a block of built-ins
	bool is_builtin_variable(uint32_t variable) const;
	// a structure with a built-in member
	bool is_builtin_structure(uint32_t structure) const;
	// a patch variable, or a block (or array of blocks) of patch members;
	// an id past the tables counts as one, so that nothing treats it per vertex
	bool is_patch_variable(uint32_t variable) const;
	// an input array of a tessellation stage with one element per vertex of
	// the patch (no built-in, no patch variable)
	bool is_patch_vertex_array(uint32_t variable) const;
	// a per-vertex built-in (Position, PointSize, ClipDistance, CullDistance)
	// that the module declares as an array of vertices of its own rather than
	// as a member of a block: the inputs of tessellation and geometry stages
	// and the outputs of a tessellation-control stage
	bool is_vertex_builtin_array(uint32_t variable) const;
	// a per-vertex output of a tessellation-control stage, of which each
	// invocation may write its own vertex only
	bool is_control_point_output(uint32_t variable) const;
	// whether an index is the invocation id as it is loaded (through copies
	// and bit casts)
	bool is_invocation_index(uint32_t index) const;
	// a type of a structure decorated Block or BufferBlock, or an array of one
	bool is_block_type(uint32_t type) const;
	// the pointer that a copy of a pointer, or an access chain without
	// indices, stands for: the same variable or element
	uint32_t get_pointer_base(uint32_t pointer) const;
	// the access chain that indexes a variable first (its vertex, for the
	// arrays of vertices) and of which `pointer` is a part, or 0
	uint32_t get_first_chain(uint32_t pointer) const;
	// the control-point output that a store or copy writes at a vertex other
	// than the invocation's own (an index that is not the invocation id), 0
	// for any other instruction
	uint32_t get_foreign_vertex_write(const Iterator &it) const;

	// The name of a combined image and sampler type, which also names the
	// constructor that combines an image and a sampler: the image's name
	// with "sampler" for "texture" in the base.
	virtual String get_sampled_image_type(uint32_t type);
	// an image type's name of the base, of the given kind ("texture",
	// "image", "sampler")
	String get_image_type_name(const Iterator &type, const char *kind);
	// whether the members of the block that a pointer stands for are read
	// bare: a block variable declared without an instance name
	bool has_bare_members(uint32_t pointer) const;

	// per-id decisions of the statement renderer for the function it renders
	enum : uint8_t {
		RenderLocal = 1,        // a value defined in that function
		RenderTemporary = 2,    // printed into a named temporary where it is defined
		RenderStatement = 4,    // printed as a statement where it stands; its value is not used
		RenderNamedByAdd = 8,   // named by the increment rule of OpIAdd and OpISub
		RenderHoisted = 16,     // named where it stands, but used after the construct around it: declared at the function's start
	};
	// how control reaches a label from the end of a block
	enum Jump : uint32_t {
		JumpFall,       // it follows the text anyway
		JumpBreak,
		JumpContinue,
		JumpEnter,      // rendered here, as the continuation of the block
		JumpInvalid,    // a branch the structured text cannot express
	};
	// Lookups that would otherwise search the module at every use, made once
	// on first use after `load`: the word range and first label of every
	// function, in module order, and for a label the merge of the selection
	// that branches to it.
	struct FunctionRange {
		uint32_t begin;         // word index of its OpFunction
		uint32_t end;           // of its OpFunctionEnd, the size of the words without one
		uint32_t first_label;   // of its first OpLabel, the size of the words without one
	};
	Array<FunctionRange> function_ranges;
	Map<uint32_t, uint32_t> branch_merges;
	bool lookups_built = false;
	void build_lookups();
	// the function whose range starts last at or before a word index, null for none
	const FunctionRange *find_function(uint32_t position);

	// the rendering of one function, scheduled before its text is made
	// (ShaderSpirvSchedule.cpp, whose passes are the parts of `Scheduler`)
	struct Scheduler;
	void schedule_function(uint32_t begin, uint32_t end);
	// For `get_value`, before anything is rendered: true when the scheduler
	// has placed the value (in a named temporary or variable, or as a
	// statement where it stands), and `text` is then all that a use may
	// write, the name, checked to be in scope; empty after the error of a use
	// that comes before its temporary or reads a statement.
	bool get_placed_value(uint32_t id, String &text);

	// The structured tree of a function body (FlowNode). The slots
	// `get_block` and `get_merge` build it and print it; called by the
	// renderer itself, through `get_block_flow` and `get_merge_flow`, they
	// hand their tree to the caller instead (`flow_target` is where), with
	// whatever text an override writes around the base's put beside it as
	// Text nodes. So the whole body is one tree, printed once.
	void get_block_flow(FlowNode &out, uint32_t label, uint32_t indent, Pending &pending, const Block *loop);
	void get_merge_flow(FlowNode &out, const Block &block, const Iterator &it, uint32_t indent, Pending &pending, const Block *loop);
	void append_slot(FlowNode &out, const String &text, FlowNode &node);
	FlowNode *flow_target = nullptr;
	// the text of a tree at `indent`; in the third clause of a for-statement
	// the list of its expressions
	String print_flow(const FlowNode &node, uint32_t indent);
	// Printers of the C family's forms, `indent` tabs deep: any node, an if,
	// the expressions of a for-statement's third clause joined by ", ", and
	// the two forms that other languages write differently, a loop and a
	// switch.
	void print_node(String &out, const FlowNode &node, uint32_t indent);
	void print_if(String &out, const FlowNode &node, uint32_t indent);
	void print_clause(String &out, const FlowNode &node);
	virtual void print_loop(String &out, const FlowNode &node, uint32_t indent);
	virtual void print_switch(String &out, const FlowNode &node, uint32_t indent);
	// one statement line
	static void print_line(String &out, uint32_t indent, const String &text);

	void build_function_block(FlowNode &out, uint32_t label, uint32_t indent, Pending &pending, const Block *loop);
	void build_block(FlowNode &out, uint32_t label, uint32_t indent, Pending &pending, const Block *loop);
	void build_merge(FlowNode &out, const Block &block, const Iterator &it, uint32_t indent, Pending &pending, const Block *loop);
	// Parts of `build_block`, each for the instructions of one kind; they
	// append the statements of the instruction at `it` to `out`.
	// a statement line; an empty one adds nothing to the third clause
	void append_statement(FlowNode &out, const String &text);
	// Whether a statement may stand where the walk is: the third clause of
	// a for-statement (`in_clause`) holds expressions only, so a declaration
	// or a jump there is an error naming `op`, logged here.
	bool allows_statement(int32_t op) const;
	// The same for the declaration of `id`, a value named where it stands
	// or a pending variable: in the third clause it is made at the
	// function's start, and the clause assigns it; a pointer or an opaque
	// value cannot be, and is the error.
	bool allows_declaration(int32_t op, uint32_t id) const;
	uint32_t in_clause = 0;
	// the declaration of a for-statement's variable, made by the store
	// before the loop and taken by the loop's node
	String for_init;
	bool has_for_init = false;
	// the clause's assignment of such a value or variable (nothing for a
	// variable without a value), its declaration made at the function's start
	String get_clause_declaration(uint32_t id, const String &value, bool variable);
	// the value `text` of the instruction as a statement, or as the
	// declaration of its temporary; nothing for an empty text
	void append_value_statement(FlowNode &out, const Iterator &it, const String &text, bool temporary);
	void append_call(FlowNode &out, const Iterator &it, Pending &pending, bool temporary, bool statement);
	void append_local_variable(FlowNode &out, const Iterator &it, Pending &pending);
	// OpLoad and OpAccessChain: the declaration of a pending variable they
	// read, and their temporary
	void append_pointer_use(FlowNode &out, const Iterator &it, Pending &pending, bool temporary);
	// OpStore and OpCopyMemory, with the for-statement a store may open
	void append_store(FlowNode &out, const Iterator &it, uint32_t indent, Pending &pending);
	// the `if(...) break;` or `if(...) continue;` of a conditional branch
	// out of a loop; `target` becomes the branch that stays. False after
	// an error.
	bool append_loop_exit(FlowNode &out, const Iterator &it, const Block *loop, uint32_t &target);
	// any other instruction; false when the block ends with it
	bool append_instruction(FlowNode &out, const Iterator &it, Pending &pending, bool temporary, bool statement);
	// The branch from block `from` to `target`, in a scope of its own, with
	// `follow` where control goes after it; and the same in the scope that
	// the caller made.
	void build_branch(FlowNode &out, uint32_t from, uint32_t target, uint32_t follow, uint32_t indent, Pending &pending, const Block *loop, bool loop_body);
	void build_branch_text(FlowNode &out, uint32_t from, uint32_t target, uint32_t indent, Pending &pending, const Block *loop);
	void build_loop(FlowNode &out, const Block &block, const Iterator &it, uint32_t indent, Pending &pending);
	// The head of a while- or for-statement, for `build_loop`: the block whose
	// branch is the condition (the header or the block after it), the body
	// it leads to, and whether the condition holds when the loop is left;
	// false when no head can hold the condition (spread over blocks or with
	// statements, or leaving on an edge that assigns a Phi), and the loop is
	// `for(;;)` with that branch at the start of its body.
	bool get_loop_head(const Block &block, uint32_t header, Pending &pending, uint32_t &condition_block, uint32_t &body, bool &negate);
	// a loop whose header is its own continue target, for `build_loop`
	void build_self_loop(FlowNode &out, const Block &block, const Iterator &it);
	void build_switch(FlowNode &out, const Block &block, const Iterator &it, uint32_t indent, Pending &pending);
	// A case of a switch: its label, and its literals, which are word indices
	// into the OpSwitch from `first` on in the list of `get_switch_cases`.
	struct SwitchCase {
		uint32_t label;
		uint32_t first;
		uint32_t count;
		bool is_default;
	};
	// the cases of the switch in the order of its text
	void get_switch_cases(const Block &block, const Iterator &sw, Array<SwitchCase> &cases, Array<uint32_t> &literals);
	Jump get_jump(uint32_t target, const Block *loop, bool own_merge, bool fall = true) const;
	String get_negation(uint32_t condition);
	String get_temporary(uint32_t id, const String &value);
	// "name = value" of a value declared at the function's start, named from here on
	String get_hoisted_assignment(uint32_t id, const String &value);
	String get_temporary_value(uint32_t id);
	String get_declaration_line(uint32_t variable, const String &value);

	// Pieces of text that a backend writes in its own syntax; the base gives
	// the listing's. The callers keep the bookkeeping (names, scopes), so an
	// override only changes the text.
	// a temporary: "type name = value" (`get_temporary` declares it)
	virtual String get_temporary_declaration(uint32_t id, const String &value);
	// a function-scope variable, or a value named where it stands, with its
	// first value when `value` is not empty: "declaration = value"
	virtual String get_local_declaration(uint32_t variable, const String &value);
	// a module-level variable, with its initial value when
	// `is_initialized_in_declaration` holds for it
	virtual String get_variable_declaration(uint32_t variable);
	// a structure type of `globals`
	virtual String get_structure_declaration(uint32_t structure);
	// whether the declaration of a variable of `initializers` holds its
	// initial value; the base: Private and Workgroup variables that the
	// listing declares. The others are given theirs by the first statements
	// of the entry point (`get_entry_initializers`), as an output must be in
	// a language that has no initialisers for outputs.
	virtual bool is_initialized_in_declaration(uint32_t variable);
	// the statements that open the entry point: "name = value" for every
	// initial value that no declaration holds
	virtual String get_entry_initializers(uint32_t indent);
	// the text of an initial value (OpVariable's initializer operand), with
	// the forms that only initial values take here: a null constant, the
	// default value of a specialisation constant, and the built-in name of a
	// constant decorated BuiltIn (the work group size)
	virtual String get_initializer(uint32_t value);
	// the value of a type with all bits zero (OpConstantNull); an array of
	// too many elements is an error, not a text without end
	virtual String get_null_value(uint32_t type);
	// the label of a switch case for one literal ("case 3u:"), `literal`
	// holding both words of a 64-bit selector
	virtual String get_case_label(uint32_t selector, uint64_t literal);
	// the label of its default case ("default:")
	virtual String get_default_label(uint32_t selector);
	// the statement that ends a case body which runs on into the case after
	// it; empty (the base) where running off the end of the body does that
	virtual String get_fallthrough();
	// `return` from the entry point before its end
	virtual String get_entry_return();
	// what stands before a function's result type (the base: its storage)
	virtual String get_function_prefix(uint32_t function);
	// one parameter of a function: a pointer parameter is `inout` where the
	// function may read through it, else `out`
	virtual String get_parameter_declaration(uint32_t parameter, uint32_t type, bool pointer, bool read);
	// whether an instruction writes no statement where it stands; `header`
	// for one in a loop's header, where the increment rule names nothing
	bool is_quiet(const Iterator &it, const Pending &pending, bool header = false) const;
	bool is_loop_header(uint32_t label) const;
	bool is_quiet_block(uint32_t label, bool header, const Pending &pending) const;
	bool is_nonsemantic(const Iterator &it) const;
	Block *get_for_header(const Iterator &store);
	// the variable behind a pointer (through access chains), 0 when it is none;
	// no message
	uint32_t find_root_variable(uint32_t pointer) const;
	// a name used outside the scope of its declaration is an error
	void check_scope(uint32_t id);
	void push_scope();

	// OpPhi. Each Phi of a function is a variable of its type, declared at
	// the function's start (`get_phi_declaration`); every edge into its block
	// assigns it the value that the Phi names for that edge, and its uses
	// read the variable. The assignments of all edges that leave a block are
	// written at the end of that block, before the text of its branch: the
	// variable of a Phi is read only in blocks that its own block dominates,
	// so an assignment made before the branch decides is overwritten by the
	// edge taken before anything reads it. A back edge is the exception, its
	// header's variables being live around the loop: it is only ever written
	// where it leaves the continue block, which ends in the branch back. The
	// assignments of one edge happen at once: where one reads a variable
	// another assigns, the values go through shadow variables first.
	struct PhiCopy {
		uint32_t phi;
		uint32_t value;
	};
	// per edge (from << 32 | to): the assignments it makes, in the order of
	// the Phis of its target
	Map<uint64_t, Array<PhiCopy>> phi_copies;
	Map<uint32_t, uint32_t> phi_counts;       // label -> the Phis of its block
	Array<uint32_t> phi_values;               // the function's Phis, in word order
	Map<uint32_t, String> phi_shadows;        // a Phi -> the name of its shadow
	FlowNode phi_shadow_declarations;         // the shadows' declarations, made while rendering
	static uint64_t get_edge(uint32_t from, uint32_t to) { return (static_cast<uint64_t>(from) << 32) | to; }
	// whether an edge, or any edge that leaves a block, assigns a Phi
	bool has_phi_copies(uint32_t from, uint32_t to) const;
	bool has_branch_copies(uint32_t from);
	// the assignments of one edge, and of every edge that leaves a block, as
	// statements; false after an error
	bool append_phi_copies(FlowNode &out, uint32_t from, uint32_t to);
	bool append_branch_copies(FlowNode &out, uint32_t from);
	// The assignments of a jump to `target` that the branches of blocks do
	// not make before they branch: a branch back to a loop's header
	// (`back_header`, while a continue construct is written, 0 elsewhere)
	// assigns the header's Phis where it is taken; and a continue block that
	// does nothing but assign them is not written as a block, its branch back
	// standing at every jump to it instead (`continue_copies` is its label
	// while the body of its loop is written, 0 elsewhere) and at the end of
	// the body. False after an error.
	uint32_t back_header = 0;
	uint32_t continue_copies = 0;
	bool append_jump_copies(FlowNode &out, uint32_t from, uint32_t target);
	// per label of the scheduled function: the blocks that branch to it
	Map<uint32_t, uint32_t> predecessor_counts;
	// the Phis of a set that the text of a value reads, through the values
	// written into it; all of them once the steps of `budget` run out
	void get_read_phis(uint32_t value, const Set<uint32_t> &phis, Set<uint32_t> &read, uint32_t &budget);
	// whether the text of a value reads a name that an instruction between
	// word indices `from` and `to` declares (rather than a name of the whole
	// function); true once the steps of `budget` run out
	bool reads_named_value(uint32_t value, uint32_t from, uint32_t to, uint32_t &budget);
	// the shadow of a Phi: a name that nothing in the module has, declared
	// at the function's start on first use
	String get_shadow_name(uint32_t phi);
	// the variable of a value declared at the function's start, with no
	// value: a Phi, the shadow of one (named `name`), or a value that is
	// used after the construct where it is named ("type name")
	virtual String get_function_declaration(uint32_t id, const String &name);
	// The declarations at the function's start: the Phis, each named and in
	// scope from there on, and the values named where they stand that are
	// used after the construct around them (`hoisted_values`, in word
	// order), which are assigned where they stand. False after an error.
	bool declare_phis(FlowNode &out, uint32_t first_label);
	Array<uint32_t> hoisted_values;
	uint32_t function_scope = 0;

	Array<uint8_t> render_flags;              // per id
	Array<uint32_t> render_values;            // per id: its index among the scheduled function's values, ~0u
	Array<uint32_t> render_scopes;            // per id: the scope of its declaration, ~0u before
	Array<uint32_t> scope_parents;            // per scope: the enclosing one
	uint32_t current_scope = 0;
	uint32_t scope_base = 0;                  // the first scope of the function's rendering
	uint32_t render_function = 0;             // the function being rendered, 0 outside
	uint32_t render_begin = 0;                // its word range
	uint32_t render_end = 0;
	uint32_t current_label = 0;               // the block the walk is in
	uint32_t follow_label = 0;                // where control goes after the text being made
	uint32_t fall_label = 0;                  // the follow label that a walk last ran into
	uint32_t continue_label = 0;              // the innermost loop's continue target
	uint32_t for_variable = 0;                // declared by a for-statement's initialiser
	uint32_t initialised_variable = 0;        // stored right before the loop being hoisted for
	uint32_t temporary_value = 0;             // the value whose temporary is being written
	uint32_t nesting = 0;                     // constructs entered
	Set<uint32_t> rendered_labels;            // blocks whose text is made
	Set<uint32_t> exit_labels;                // merges, continue targets and case labels
	// an instruction that reaches a function-scope variable
	struct VariableAccess {
		uint32_t position;      // its word index
		uint32_t block;         // the label of its block
		bool store;             // an OpStore of the whole variable
	};
	Map<uint32_t, Array<VariableAccess>> variable_accesses;
	// the same accesses of all the function's variables, in word order
	Array<uint32_t> access_positions;
	Array<uint32_t> access_variables;
	Array<uint32_t> loop_merges;              // word indices of the function's OpLoopMerge
	// declares the pending variables that an instruction names among its operands
	void declare_operands(FlowNode &out, const Iterator &it, Pending &pending);
	// Parts of `get_statement`, which declares before a construct the
	// pending variables that it shares with the code after it.
	// a loop: its word range, its condition and continue blocks, and the
	// blocks that every iteration runs through in order
	struct LoopShape {
		uint32_t begin = 0;
		uint32_t end = ~0u;
		uint32_t condition = 0;
		uint32_t continues = 0;
		Set<uint32_t> spine;
	};
	void get_loop_shape(const Iterator &merge, LoopShape &loop);
	// the word indices of the branches of a selection, sorted
	void get_branch_starts(const Iterator &merge, Array<uint32_t> &starts);
	// whether the loop around the first access of a variable in the words
	// (from, to) keeps it to each of its iterations
	bool is_iteration_local(const Iterator &merge, const Array<VariableAccess> &accesses, uint32_t from, uint32_t to);
	// the pending variables that the construct from `position` to its merge
	// may touch, in the order of their declarations
	void get_construct_candidates(uint32_t position, uint32_t merge_position, bool walked, const Pending &pending, Array<Iterator> &candidates);
	// whether a variable touched inside the construct of the merge
	// instruction must be declared before it
	bool is_declared_before(const Iterator &merge, uint32_t variable, uint32_t merge_position, bool walked, const Array<uint32_t> &starts);

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
	// for every OpSampledImage, not only of depth images: its image type, image
	// variable and sampler variable to the sampled-image type they are first
	// combined with
	Map<uint32_t, uint32_t> sampled_images;
	// module-level variables with an initial value (OpVariable's optional
	// operand) to that value
	Map<uint32_t, uint32_t> initializers;
	// the Private variables without BuiltIn, in module order (`globals` lists
	// them among the structure types)
	Array<uint32_t> privates;
	Array<uint8_t> named;
};

} // namespace Vexa
