// Decides, before a function's text is made, which values the statement
// renderer must print into named temporaries. The listing writes a value
// where it is used, which is only right when computing it there gives the same
// result and does the same work as computing it where the module does:
// - an instruction with side effects (a call, an atomic, a ray-tracing or mesh
//   instruction) runs where it stands: it is inlined only into the next thing
//   that runs in the same block, with nothing that touches memory between;
// - a load is inlined only when no store, call, atomic, image write, barrier
//   or other write that may reach its memory runs between the load and its
//   use, and only in its own block. Two variables are the same memory unless
//   the module proves otherwise: distinct function, private, shared, input and
//   output variables are apart, but any two storage buffers (of different
//   bindings, or of the storage buffer and the uniform buffer block kinds) may
//   be views of one buffer unless one of them is restricted, shared variables
//   declared aliased may be any shared variable, shared blocks of explicit
//   layout are one memory, and memory behind a pointer that leads to no
//   variable may be anything;
// - a read that must happen exactly once (a volatile or coherent load, an
//   image read) is inlined only into a single use in its own block; a
//   volatile one moreover only with nothing that touches memory between, and
//   it is read into a temporary even when nothing uses it;
// - subgroup, derivative and implicit-level sampling instructions stay in their
//   block, where the same invocations run them;
// - a value used more than once whose text grows long, a value nested too
//   deep, and a vector computed for a store of several of its components (a
//   swizzled store, as compilers split it into one store per component) get a
//   temporary, so that the text stays linear in the module, the renderer's
//   recursion stays bounded, and an expression is not repeated per component;
// - a value that no written text uses is not written, nor are its operands for
//   it; a call or another instruction with side effects among them is printed
//   as a statement where it stands, so that it still runs exactly once;
// - the value that an OpPhi takes on an edge is used where the edge leaves its
//   block, at that block's branch, where the renderer assigns it;
// - a value named inside a construct (a temporary, or by the increment rule)
//   and used at or after the construct's merge is declared at the function's
//   start, since the scope of a declaration ends with its construct.
// Everything is decided in a few linear passes over the function's words (the
// parts of `Scheduler` below); the renderer only reads the resulting flags.
#include "shader/ShaderSpirv.h"
#include "shader/ShaderSpirvNumbers.h"

#include "core/Log.h"

namespace Vexa {

using namespace Spirv;

namespace {

enum Kind : uint8_t {
	KindPure,    // computed anywhere with the same result
	KindOpaque,  // pointers, images and samplers: always written where used
	KindRead,    // a load of memory that the function may write
	KindOnce,    // a read that happens exactly once, where the module makes it
	KindPinned,  // must run in its own block
	KindSide,    // has side effects
};

// longest text of a value used more than once, and deepest nesting, that is
// still written where it is used
constexpr uint32_t MaxSharedLength = 80;
constexpr uint32_t MaxInlineDepth = 32;
// writers looked at before a load is taken as written over
constexpr uint32_t MaxWriterScan = 256;

constexpr uint32_t AnyRoot = 0xffffffffu;

// what is known of the memory behind a pointer
enum : uint8_t {
	MemoryOnce = 1,        // volatile or coherent: read exactly once, where the module reads it
	MemoryRestrict = 2,    // reached through no other variable
	MemoryAliased = 4,     // may be any other memory of its storage class
	MemoryBlock = 8,       // a shared block of explicit layout: all of them are one memory
	MemoryConstant = 16,   // nothing that the shader does writes it
};

struct Place {
	uint32_t root = AnyRoot;   // the variable, AnyRoot when the pointer leads to none
	uint32_t storage = ~0u;    // its storage class
	uint8_t flags = 0;
};

// the storage classes whose variables may be views of one memory count as one
uint32_t get_memory_class(uint32_t storage) {
	if (storage == StorageUniform || storage == StoragePhysicalStorageBuffer) return StorageStorageBuffer;
	return storage;
}

bool may_alias(const Place &a, const Place &b) {
	if (a.root == AnyRoot || b.root == AnyRoot || a.root == b.root) return true;
	uint32_t memory = get_memory_class(a.storage);
	if (memory != get_memory_class(b.storage)) return false;
	uint8_t either = a.flags | b.flags;
	if (either & MemoryRestrict) return false;
	// descriptors of different bindings may be bound to the same buffer
	if (memory == StorageStorageBuffer) return true;
	if (either & MemoryAliased) return true;
	return memory == StorageWorkgroup && (a.flags & b.flags & MemoryBlock) != 0;
}

uint8_t get_decoration_flags(const Map<uint32_t, uint32_t> &decorations) {
	uint8_t flags = 0;
	if (decorations.get(DecorationVolatile) || decorations.get(DecorationCoherent)) flags |= MemoryOnce;
	if (decorations.get(DecorationRestrict)) flags |= MemoryRestrict;
	if (decorations.get(DecorationAliased)) flags |= MemoryAliased;
	return flags;
}

bool is_side_opcode(int32_t op) {
	return op == OpFunctionCall || op == OpImageWrite || ShaderSpirv::is_effect_opcode(op);
}

bool is_chain_opcode(int32_t op) {
	return op == OpAccessChain || op == OpInBoundsAccessChain || op == OpPtrAccessChain || op == OpInBoundsPtrAccessChain;
}

// whether the text of a value is an operation rather than a name, a constant
// or a read through a pointer, which cost nothing to write again
bool is_computed_opcode(int32_t op) {
	return !(op == OpUndef || in(op, OpConstantTrue, OpSpecConstantComposite) || op == OpFunctionParameter ||
		in(op, OpVariable, OpInBoundsPtrAccessChain) || op == OpCompositeExtract || op == OpCopyObject);
}

// where a value is evaluated: the word range of the places that use its text,
// and the instructions with side effects whose arguments hold it at every one
// of them (those run after it, so they do not write between)
struct Evaluation {
	static constexpr uint32_t MaxOwners = 4;
	uint32_t first = 0;
	uint32_t last = 0;
	uint32_t block = 0;
	uint32_t count = 0;
	bool cross = false;
	uint32_t owners[MaxOwners] = {};
	uint32_t owner_count = 0;

	bool owned_by(uint32_t position) const {
		for (uint32_t i = 0; i < owner_count; i++) {
			if (owners[i] == position) return true;
		}
		return false;
	}
	void add_owner(uint32_t position) {
		if (owner_count < MaxOwners) owners[owner_count++] = position;
	}
	void merge(const Evaluation &e) {
		if (e.count == 0) return;
		if (count == 0) {
			*this = e;
			return;
		}
		if (e.first < first) first = e.first;
		if (e.last > last) last = e.last;
		if (e.block != block || e.cross) cross = true;
		count += e.count;
		uint32_t kept = 0;
		for (uint32_t i = 0; i < owner_count; i++) {
			if (e.owned_by(owners[i])) owners[kept++] = owners[i];
		}
		owner_count = kept;
	}
	static Evaluation at(uint32_t position, uint32_t block) {
		Evaluation e;
		e.first = e.last = position;
		e.block = block;
		e.count = 1;
		return e;
	}
};

struct Value {
	uint32_t position = 0;
	uint32_t block = 0;
	uint32_t count = 0;       // operand words that name it
	Place points;             // a pointer: the memory it points to
	Place reads;              // a load: the memory it reads
	uint32_t length = 0;      // estimated text length where inlined
	uint32_t depth = 0;
	uint32_t named_at = 0;    // word index of an increment that names it, 0 for none
	uint32_t component_stores = 0;  // stores of one of its components each
	uint8_t kind = KindPure;
	bool ordered = false;     // a volatile read: not moved past anything that touches memory
	bool row = false;         // printed by the statement renderer where it stands when flagged so
	Evaluation evaluation;
};

struct Writer {
	uint32_t position;
	Place place;
};

// the values of the scheduled function, by id, in a table that outlives it:
// the entries are set back to ~0u for the next function
struct Local {
	Array<uint32_t> &table;
	Array<uint32_t> ids;
	explicit Local(Array<uint32_t> &table) : table(table) {}
	~Local() {
		for (uint32_t i = 0; i < ids.size(); i++) table[ids[i]] = ~0u;
	}
	Local(const Local &) = delete;
	Local &operator=(const Local &) = delete;
	const uint32_t *get(uint32_t id) const { return (id < table.size() && table[id] != ~0u) ? &table[id] : nullptr; }
	void insert(uint32_t id, uint32_t index) {
		if (table[id] == ~0u) ids.append(id);
		table[id] = index;
	}
};

} // namespace

// The schedule of one function, pass by pass. Each pass walks the function's
// instructions once; what a pass needs of a pointer, an operand or a writer is
// found in constant time (or a search in a sorted list) from what the earlier
// passes kept.
struct ShaderSpirv::Scheduler {
	explicit Scheduler(ShaderSpirv &spirv) : spirv(spirv), bound(spirv.indices.size()), local(spirv.render_values) {}

	ShaderSpirv &spirv;
	uint32_t bound;
	Array<uint32_t> positions;        // the function's instructions
	Array<uint32_t> position_blocks;  // and the label of the block of each
	Array<Value> values;
	Local local;
	Array<Writer> writers;            // instructions that may write memory, in word order
	Array<uint32_t> impure;           // instructions that touch memory or have side effects, in word order
	Set<uint32_t> continue_labels;

	Value *get(uint32_t id) {
		const uint32_t *index = local.get(id);
		return index ? &values[*index] : nullptr;
	}

	// pass 1 and its parts
	void read_function(uint32_t begin, uint32_t end);
	bool is_side_instruction(const Iterator &it) const;
	bool is_pointer_result(const Iterator &it) const;
	void read_value(const Iterator &it, uint32_t label);
	void read_phi(const Iterator &it, uint32_t label);
	void read_edges(const Iterator &branch);
	void read_accesses(const Iterator &it, uint32_t label);
	Place get_place(uint32_t pointer);
	Place get_variable_place(uint32_t variable) const;
	uint8_t get_chain_flags(const Iterator &chain) const;
	// pass 2, and the rules of the statement renderer
	void count_operands();
	void apply_statement_rules();
	// pass 3
	void measure_values();
	// pass 4 and its tests
	void place_values();
	void place_copies(const Iterator &branch, uint32_t block);
	// pass 5
	void hoist_values();
	bool is_temporary(const Iterator &it, const Value &value, const Evaluation &e, uint32_t block) const;
	bool any_writer(const Place &place, uint32_t from, const Evaluation &e) const;
	bool any_impure(uint32_t from, const Evaluation &e) const;
};

bool ShaderSpirv::is_opaque_type(int32_t op) {
	return op == OpTypeImage || op == OpTypeSampler || op == OpTypeSampledImage || op == OpTypePointer ||
		op == OpTypeAccelerationStructure || op == OpTypeRayQuery;
}

bool ShaderSpirv::is_value_word(const Iterator &it, uint32_t k) {
	int32_t op = it.get_opcode();
	switch (op) {
		case OpLine: case OpLoopMerge: case OpSelectionMerge: case OpLabel: case OpBranch:
			return false;
		case OpExtInst:
			return k >= 5;
		case OpLoad:
			return k == 3;
		case OpStore:
		case OpCopyMemory:
			return k == 1 || k == 2;
		case OpVectorShuffle:
			return k == 3 || k == 4;
		case OpCompositeExtract:
			return k == 3;
		case OpCompositeInsert:
			return k == 3 || k == 4;
		case OpBranchConditional:
		case OpSwitch:
			return k == 1;
	}
	if (static_cast<int32_t>(k) == get_image_operand_index(op)) return false;
	// the GroupOperation of a subgroup reduction or scan
	if ((op == OpGroupNonUniformBallotBitCount || in(op, OpGroupNonUniformIAdd, OpGroupNonUniformLogicalXor)) && k == 4) return false;
	return k >= (is_value_opcode(op) ? 3u : 1u);
}

uint32_t ShaderSpirv::find_root_variable(uint32_t pointer) const {
	for (uint32_t steps = 0; steps <= indices.size(); steps++) {
		Iterator it = find_target(pointer);
		int32_t op = it.get_opcode();
		if (op == OpVariable) return it[2];
		if (op == OpAccessChain || op == OpInBoundsAccessChain || op == OpPtrAccessChain || op == OpCopyObject) pointer = it[3];
		else return 0;
	}
	return 0;
}

bool ShaderSpirv::is_nonsemantic(const Iterator &it) const {
	if (it.get_opcode() != OpExtInst) return false;
	const String *set = imports.get(it[3]);
	return set && set->startsWith("NonSemantic.");
}

bool ShaderSpirv::get_placed_value(uint32_t id, String &text) {
	if (id < named.size() && named[id]) {
		check_scope(id);
		text = records[id].name;
		return true;
	}
	if (render_function == 0 || id >= render_flags.size()) return false;
	// a value scheduled for a temporary is only ever read through its name,
	// and one printed as a statement is never read
	if ((render_flags[id] & RenderTemporary) && id != temporary_value) {
		log_internal_error("ShaderSpirv::get_value()", "%s is read past its temporary\n", records[id].name.get());
		text = String();
		return true;
	}
	if (render_flags[id] & RenderStatement) {
		log_internal_error("ShaderSpirv::get_value()", "%s is a statement and read as a value\n", records[id].name.get());
		text = String();
		return true;
	}
	return false;
}

Place ShaderSpirv::Scheduler::get_place(uint32_t pointer) {
	// a pointer of the function got its place where it is defined
	if (const Value *value = get(pointer)) return value->points;
	if (spirv.find_target(pointer).get_opcode() == OpVariable) return get_variable_place(pointer);
	return Place();
}

Place ShaderSpirv::Scheduler::get_variable_place(uint32_t variable) const {
	Place place;
	place.root = variable;
	const Record &record = spirv.records[variable];
	place.storage = record.storage;
	place.flags = get_decoration_flags(record.decorations);
	Iterator pointer = spirv.find_target(spirv.find_target(variable)[1]);
	Iterator type = (pointer.get_opcode() == OpTypePointer) ? spirv.find_target(pointer[3]) : spirv.get_end();
	bool block = type.get_opcode() == OpTypeStruct && type[1] < spirv.records.size() && spirv.records[type[1]].decorations.get(DecorationBlock);
	uint32_t storage = place.storage;
	if (storage == StorageUniformConstant || storage == StorageInput || storage == StoragePushConstant || (storage == StorageUniform && block)) {
		place.flags |= MemoryConstant;
	}
	if (storage == StorageWorkgroup && block) place.flags |= MemoryBlock;
	return place;
}

uint8_t ShaderSpirv::Scheduler::get_chain_flags(const Iterator &chain) const {
	// the members that the chain goes through, from the type its base points to
	Iterator pointer = spirv.find_target(spirv.find_target(chain[3])[1]);
	if (pointer.get_opcode() != OpTypePointer) return 0;
	Iterator type = spirv.find_target(pointer[3]);
	int32_t op = chain.get_opcode();
	uint8_t flags = 0;
	// the Element operand of a pointer chain steps over the base's own array
	for (uint32_t k = (op == OpPtrAccessChain || op == OpInBoundsPtrAccessChain) ? 5 : 4; k < chain.get_size(); k++) {
		int32_t type_op = type.get_opcode();
		if (type_op == OpTypeStruct) {
			Iterator index = spirv.find_target(chain[k]);
			uint32_t structure = type[1];
			uint32_t member = index[3];
			if (index.get_opcode() != OpConstant || member + 2 >= type.get_size()) break;
			if (structure < spirv.members.size() && member < spirv.members[structure].size()) {
				flags |= get_decoration_flags(spirv.members[structure][member].decorations);
			}
			type = spirv.find_target(type[member + 2]);
		} else if (type_op == OpTypeVector || type_op == OpTypeMatrix || is_array_opcode(type_op)) {
			type = spirv.find_target(type[2]);
		} else {
			break;
		}
	}
	return flags;
}

// whether a GLSL.std.450 instruction writes its second result through a
// pointer operand (Modf and Frexp; their struct forms return both)
bool ShaderSpirv::Scheduler::is_pointer_result(const Iterator &it) const {
	if (it.get_opcode() != OpExtInst || it.get_size() < 7 || (it[4] != GLSLstd450Modf && it[4] != GLSLstd450Frexp)) return false;
	const String *set = spirv.imports.get(it[3]);
	return set && *set == "GLSL.std.450";
}

bool ShaderSpirv::Scheduler::is_side_instruction(const Iterator &it) const {
	return is_side_opcode(it.get_opcode()) || is_pointer_result(it);
}

void ShaderSpirv::Scheduler::read_function(uint32_t begin, uint32_t end) {
	uint32_t label = 0;
	for (Iterator it = spirv.get_iterator(begin); !it.is_end() && it.get_index() < end && it.get_size(); it = it.advance(it.get_size())) {
		int32_t op = it.get_opcode();
		uint32_t position = it.get_index();
		if (op == OpLabel) label = it[1];
		positions.append(position);
		position_blocks.append(label);
		if (is_value_opcode(op) && it.get_size() >= 3 && it[2] < bound) {
			read_value(it, label);
			if (op == OpPhi) read_phi(it, label);
		} else if (op == OpStore || op == OpCopyMemory || op == OpAtomicStore) {
			writers.append(Writer{position, get_place(it[1])});
			impure.append(position);
		} else if (is_side_opcode(op)) {
			// a barrier or a call without a result: any memory may change
			writers.append(Writer{position, Place()});
			impure.append(position);
		} else if (op == OpLoopMerge) {
			spirv.loop_merges.append(position);
			spirv.exit_labels.insert(it[1]);
			// a header that is its own continue target is entered as a loop
			if (it[2] != label) spirv.exit_labels.insert(it[2]);
			continue_labels.insert(it[2]);
		} else if (op == OpSelectionMerge) {
			spirv.exit_labels.insert(it[1]);
		} else if (op == OpSwitch) {
			// case labels (not the default): entered only from their switch
			Array<uint32_t> targets;
			spirv.get_switch_targets(it, targets);
			for (uint32_t i = 1; i < targets.size(); i++) spirv.exit_labels.insert(targets[i]);
		}
		if (op == OpBranch || op == OpBranchConditional || op == OpSwitch) read_edges(it);
		read_accesses(it, label);
	}
}

void ShaderSpirv::Scheduler::read_edges(const Iterator &branch) {
	Array<uint32_t> targets;
	spirv.get_branch_targets(branch, targets);
	Set<uint32_t> seen;
	for (uint32_t i = 0; i < targets.size(); i++) {
		if (seen.find(targets[i])) continue;
		seen.insert(targets[i]);
		uint32_t *count = spirv.predecessor_counts.get(targets[i]);
		if (count) (*count)++;
		else spirv.predecessor_counts.insert(targets[i], 1);
	}
}

void ShaderSpirv::Scheduler::read_value(const Iterator &it, uint32_t label) {
	int32_t op = it.get_opcode();
	uint32_t id = it[2];
	uint32_t position = it.get_index();
	// a declaration made by an earlier rendering of the function stays
	// visible to a later one (a backend may render a branch again)
	spirv.render_flags[id] = RenderLocal;
	Value value;
	value.position = position;
	value.block = label;
	Iterator type = spirv.find_target(it[1]);
	bool opaque = is_opaque_type(type.get_opcode());
	if (op == OpLoad) {
		value.reads = get_place(it[3]);
		bool once = (value.reads.flags & MemoryOnce) || (it.get_size() > 4 && (it[4] & (MemoryAccessVolatile | MemoryAccessMakePointerVisible)));
		if (opaque) {
			value.kind = KindOpaque;
		} else if (once) {
			value.kind = KindOnce;
			value.ordered = true;
		} else {
			value.kind = (value.reads.flags & MemoryConstant) ? KindPure : KindRead;
		}
	} else if (op == OpFunctionCall && type.get_opcode() != OpTypePointer) {
		// a call runs once whatever it gives; a pointer result is an error of the renderer
		value.kind = KindSide;
	} else if (op == OpVariable || op == OpFunctionParameter || in(op, OpAccessChain, OpInBoundsPtrAccessChain) || op == OpSampledImage ||
		op == OpImage || op == OpImageTexelPointer || opaque) {
		value.kind = KindOpaque;
		if (op == OpVariable) {
			value.points = get_variable_place(id);
		} else if (is_chain_opcode(op)) {
			value.points = get_place(it[3]);
			value.points.flags |= get_chain_flags(it);
		} else if (op == OpCopyObject) {
			value.points = get_place(it[3]);
		}
	} else if (is_side_instruction(it)) {
		// a pointer result writes where it stands, before the loads that
		// read what it wrote
		value.kind = KindSide;
	} else if (op == OpImageRead || op == OpImageSparseRead) {
		value.kind = KindOnce;
	} else if (op == OpRayQueryGetIntersectionType || in(op, OpRayQueryGetRayTMin, OpRayQueryGetIntersectionWorldToObject)) {
		// what a ray query reports changes as it proceeds
		value.kind = KindRead;
	} else if (is_image_opcode(op) || in(op, OpDPdx, OpFwidthCoarse) || in(op, OpGroupNonUniformElect, OpGroupNonUniformQuadSwap) ||
		in(op, OpSubgroupBallot, OpSubgroupReadInvocation)) {
		value.kind = KindPinned;
	} else if (op == OpExtInst && it[4] >= GLSLstd450InterpolateAtCentroid && it[4] <= GLSLstd450InterpolateAtOffset) {
		value.kind = KindPinned;
	}
	if (value.kind == KindSide) {
		// an atomic writes the memory behind its pointer, Modf and Frexp
		// behind their second operand, a call anything
		Place place;
		if (in(op, OpAtomicLoad, OpAtomicXor) || op == OpAtomicFAddEXT) place = get_place(it[3]);
		else if (op == OpExtInst) place = get_place(it[6]);
		writers.append(Writer{position, place});
	}
	if (value.kind != KindPure && value.kind != KindOpaque) impure.append(position);
	local.insert(id, values.size());
	values.append(value);
}

void ShaderSpirv::Scheduler::read_phi(const Iterator &it, uint32_t label) {
	// the assignment that each edge into the block makes
	uint32_t id = it[2];
	spirv.phi_values.append(id);
	uint32_t *count = spirv.phi_counts.get(label);
	if (count) (*count)++;
	else spirv.phi_counts.insert(label, 1);
	for (uint32_t k = 3; k + 1 < it.get_size(); k += 2) {
		uint64_t edge = get_edge(it[k + 1], label);
		Array<PhiCopy> *copies = spirv.phi_copies.get(edge);
		if (copies == nullptr) copies = &spirv.phi_copies.insert(edge, Array<PhiCopy>())->value;
		copies->append(PhiCopy{id, it[k]});
	}
}

void ShaderSpirv::Scheduler::read_accesses(const Iterator &it, uint32_t label) {
	// the instructions that reach a variable, for the hoisting of declarations
	int32_t op = it.get_opcode();
	uint32_t position = it.get_index();
	uint32_t first = is_value_opcode(op) ? 3u : 1u;
	uint32_t last = (op == OpLoad || op == OpAccessChain || op == OpInBoundsAccessChain || op == OpPtrAccessChain) ? 4u : it.get_size();
	if (op == OpStore || op == OpCopyMemory) last = 3;
	if (op == OpFunctionCall) first = 4;
	if (op == OpVariable || op == OpLabel || op == OpLoopMerge || op == OpSelectionMerge || op == OpBranch || op == OpBranchConditional ||
		op == OpSwitch) {
		last = 0;
	}
	for (uint32_t k = first; k < last && k < it.get_size(); k++) {
		uint32_t root = get_place(it[k]).root;
		if (root == AnyRoot || spirv.records[root].storage != StorageFunction) continue;
		Array<VariableAccess> *list = spirv.variable_accesses.get(root);
		if (list == nullptr) list = &spirv.variable_accesses.insert(root, Array<VariableAccess>())->value;
		if (list->size() && (*list)[list->size() - 1].position == position) continue;
		list->append(VariableAccess{position, label, op == OpStore && k == 1 && it[1] == root});
		spirv.access_positions.append(position);
		spirv.access_variables.append(root);
	}
}

void ShaderSpirv::Scheduler::count_operands() {
	// how often each value is named by an operand word; words that are
	// literals may count too, which only ever adds a temporary
	for (uint32_t i = 0; i < positions.size(); i++) {
		Iterator it = spirv.get_iterator(positions[i]);
		int32_t op = it.get_opcode();
		for (uint32_t k = 1; k < it.get_size(); k++) {
			if (!is_value_word(it, k) || (is_value_opcode(op) && k < 3)) continue;
			if (Value *value = get(it[k])) value->count++;
		}
		// a store of one component of a vector that the function computes
		if (op == OpStore) {
			const Value *object = get(it[2]);
			Iterator extract = object ? spirv.get_iterator(object->position) : spirv.get_end();
			if (extract.get_opcode() == OpCompositeExtract && extract.get_size() == 5) {
				Value *vector = get(extract[3]);
				if (vector && vector != object) vector->component_stores++;
			}
		}
	}
}

void ShaderSpirv::Scheduler::apply_statement_rules() {
	// calls, extended, image and internal instructions used other than once
	// are printed where they stand
	for (uint32_t i = 0; i < positions.size(); i++) {
		Iterator it = spirv.get_iterator(positions[i]);
		int32_t op = it.get_opcode();
		if (!is_value_opcode(op) || it.get_size() < 3) continue;
		uint32_t id = it[2];
		Value *value = get(id);
		if (value == nullptr) continue;
		bool row = op == OpExtInst || op == OpFunctionCall || (is_image_opcode(op) && op != OpSampledImage) || is_internal_opcode(op);
		if (op == OpExtInst && spirv.is_nonsemantic(it)) row = false;
		value->row = row;
		if (row && value->kind != KindOpaque) {
			uint32_t used = spirv.uses[id];
			if (used > 1 || (used == 0 && value->count > 0)) spirv.render_flags[id] |= RenderTemporary;
			else if (used == 0) spirv.render_flags[id] |= RenderStatement;
		}
		// the increment rule names the sum and its first operand where it
		// stands, but not in a loop's header, which runs before every iteration
		if ((op == OpIAdd || op == OpISub) && spirv.find_target(it[4]).get_opcode() == OpConstant && !spirv.is_loop_header(position_blocks[i])) {
			uint32_t operand = it[3];
			if (spirv.uses[id] > 1 || (operand < bound && spirv.uses[operand] > 1)) {
				if (spirv.uses[id] > 1) spirv.render_flags[id] |= RenderNamedByAdd;
				Value *named = get(operand);
				// a Phi is named from the function's start
				if (named && spirv.find_target(operand).get_opcode() == OpPhi) named = nullptr;
				if (named && spirv.uses[operand] > 1 && named->named_at == 0) {
					named->named_at = positions[i];
					spirv.render_flags[operand] |= RenderNamedByAdd;
				}
			}
		}
	}
}

void ShaderSpirv::Scheduler::measure_values() {
	// forward: text length and nesting of every inlined value
	for (uint32_t i = 0; i < positions.size(); i++) {
		Iterator it = spirv.get_iterator(positions[i]);
		int32_t op = it.get_opcode();
		if (!is_value_opcode(op) || it.get_size() < 3) continue;
		const uint32_t *index = local.get(it[2]);
		if (index == nullptr) continue;
		Value &value = values[*index];
		uint32_t length = 4;
		uint32_t depth = 1;
		for (uint32_t k = 3; k < it.get_size(); k++) {
			// a shuffle of a vector with itself writes it once
			if (op == OpVectorShuffle && k == 4 && it[4] == it[3]) continue;
			if (!is_value_word(it, k)) {
				length += 1;
				continue;
			}
			const uint32_t *operand = local.get(it[k]);
			if (operand == nullptr || *operand == *index) {
				// a name, or a literal
				length += spirv.find_target(it[k]).is_end() ? 1 : 8;
				continue;
			}
			const Value &v = values[*operand];
			length += v.length;
			if (v.depth + 1 > depth) depth = v.depth + 1;
			if (length > 0x10000000u) length = 0x10000000u;
		}
		uint8_t &flags = spirv.render_flags[it[2]];
		if (value.kind != KindOpaque && !(flags & (RenderTemporary | RenderStatement)) &&
			((value.count > 1 && length > MaxSharedLength) || depth > MaxInlineDepth)) {
			flags |= RenderTemporary;
		}
		if (flags & (RenderTemporary | RenderNamedByAdd) || op == OpFunctionParameter || op == OpVariable || op == OpPhi) {
			value.length = 8;
			value.depth = 0;
		} else {
			value.length = length;
			value.depth = depth;
		}
	}
}

bool ShaderSpirv::Scheduler::any_writer(const Place &place, uint32_t from, const Evaluation &e) const {
	uint32_t lo = 0;
	uint32_t hi = writers.size();
	while (lo < hi) {
		uint32_t mid = (lo + hi) / 2;
		if (writers[mid].position <= from) lo = mid + 1;
		else hi = mid;
	}
	for (uint32_t n = 0; lo < writers.size() && writers[lo].position < e.last; lo++, n++) {
		const Writer &w = writers[lo];
		if (n >= MaxWriterScan) return true;
		if (e.owned_by(w.position)) continue;
		if (may_alias(w.place, place)) return true;
	}
	return false;
}

bool ShaderSpirv::Scheduler::any_impure(uint32_t from, const Evaluation &e) const {
	uint32_t lo = 0;
	uint32_t hi = impure.size();
	while (lo < hi) {
		uint32_t mid = (lo + hi) / 2;
		if (impure[mid] <= from) lo = mid + 1;
		else hi = mid;
	}
	for (uint32_t n = 0; lo < impure.size() && impure[lo] < e.last; lo++, n++) {
		if (n >= MaxWriterScan || !e.owned_by(impure[lo])) return true;
	}
	return false;
}

bool ShaderSpirv::Scheduler::is_temporary(const Iterator &it, const Value &value, const Evaluation &e, uint32_t block) const {
	bool away = e.cross || e.block != block;
	switch (value.kind) {
		case KindSide:
			return away || e.count > 1 || any_impure(value.position, e);
		case KindRead:
			return away || any_writer(value.reads, value.position, e);
		case KindOnce:
			if (away || e.count > 1) return true;
			return value.ordered ? any_impure(value.position, e) : any_writer(value.reads, value.position, e);
		case KindPinned:
			if (away) return true;
			break;
	}
	// A vector that is stored component by component is computed once. Not
	// in a continue target, whose text may be the third clause of a
	// for-statement, where no declaration can stand.
	return value.component_stores >= 2 && e.count > 1 && !away && is_computed_opcode(it.get_opcode()) &&
		spirv.find_target(it[1]).get_opcode() == OpTypeVector && !continue_labels.find(block);
}

void ShaderSpirv::Scheduler::place_copies(const Iterator &branch, uint32_t block) {
	// the assignments of the Phis that the block's edges lead to stand at
	// the end of the block, where its branch is
	Array<uint32_t> targets;
	spirv.get_branch_targets(branch, targets);
	Set<uint32_t> seen;
	for (uint32_t i = 0; i < targets.size(); i++) {
		if (seen.find(targets[i])) continue;
		seen.insert(targets[i]);
		const Array<PhiCopy> *copies = spirv.phi_copies.get(get_edge(block, targets[i]));
		for (uint32_t c = 0; copies && c < copies->size(); c++) {
			const uint32_t *index = local.get((*copies)[c].value);
			if (index) values[*index].evaluation.merge(Evaluation::at(branch.get_index(), block));
		}
	}
}

void ShaderSpirv::Scheduler::place_values() {
	// backward: where each value is evaluated, and whether that is still the
	// same as where the module computes it
	for (uint32_t i = positions.size(); i-- > 0;) {
		Iterator it = spirv.get_iterator(positions[i]);
		int32_t op = it.get_opcode();
		uint32_t position = positions[i];
		uint32_t block = position_blocks[i];
		// a Phi is a variable: its values are used where the edges leave
		// their blocks, which the branches below stand for
		if (op == OpLabel || op == OpLoopMerge || op == OpSelectionMerge || op == OpPhi) continue;
		if (op == OpBranch || op == OpBranchConditional || op == OpSwitch) place_copies(it, block);
		Evaluation evaluation = Evaluation::at(position, block);
		bool value_op = is_value_opcode(op) && it.get_size() >= 3;
		const uint32_t *index = value_op ? local.get(it[2]) : nullptr;
		if (index) {
			Value &value = values[*index];
			uint8_t &flags = spirv.render_flags[it[2]];
			Evaluation e = value.evaluation;
			bool temporary = (flags & RenderTemporary) != 0;
			if (!temporary && !(flags & RenderStatement) && e.count > 0 && value.kind != KindOpaque) {
				if (value.named_at) {
					// named by an increment: every use reads the name from there on
					if (e.cross || e.block != block) temporary = true;
					e = Evaluation::at(value.named_at, block);
				}
				if (!temporary) temporary = is_temporary(it, value, e, block);
				if (temporary) flags |= RenderTemporary;
			}
			if (!temporary && !(flags & RenderStatement) && e.count > 0 && !(flags & RenderNamedByAdd && value.named_at == 0)) {
				evaluation = e;
			}
			// A value that no written text uses is not written at all, and
			// neither are its operands for it; but what has side effects
			// still runs, as a statement where it stands, and a volatile read
			// still reads, into a temporary.
			bool placed = temporary || (flags & (RenderStatement | RenderNamedByAdd)) || op == OpVariable;
			if (!placed && e.count == 0) {
				if (value.kind == KindSide && value.row) flags |= RenderStatement;
				else if (value.kind == KindOnce && value.ordered) flags |= RenderTemporary;
				else evaluation = Evaluation();
			}
		}
		// the arguments of an instruction with side effects are evaluated before it acts
		if (is_side_instruction(it)) evaluation.add_owner(position);
		for (uint32_t k = 1; k < it.get_size(); k++) {
			if (!is_value_word(it, k) || (value_op && k < 3)) continue;
			// a shuffle of a vector with itself writes it once
			if (op == OpVectorShuffle && k == 4 && it[4] == it[3]) continue;
			const uint32_t *operand = local.get(it[k]);
			if (operand && (index == nullptr || *operand != *index)) values[*operand].evaluation.merge(evaluation);
		}
	}
}

void ShaderSpirv::Scheduler::hoist_values() {
	// Forward: a value that is named where it stands, inside a construct,
	// and used at or after the construct's merge (where the other ways
	// through the construct leave it, or at the end of a loop whose body
	// runs first) is declared at the function's start, since the scope of
	// a declaration ends with its construct. The constructs are taken as
	// word ranges, from their merge instruction to their merge block, which
	// nest.
	Array<uint32_t> ends;
	for (uint32_t i = 0; i < positions.size(); i++) {
		uint32_t position = positions[i];
		while (ends.size() && ends[ends.size() - 1] <= position) ends.pop();
		Iterator it = spirv.get_iterator(position);
		int32_t op = it.get_opcode();
		if (op == OpSelectionMerge || op == OpLoopMerge) {
			Iterator merge = spirv.find_target(it[1]);
			if (merge.get_opcode() == OpLabel && merge.get_index() > position) ends.append(merge.get_index());
			continue;
		}
		if (!is_value_opcode(op) || it.get_size() < 3 || ends.size() == 0) continue;
		const uint32_t *index = local.get(it[2]);
		if (index == nullptr) continue;
		uint8_t &flags = spirv.render_flags[it[2]];
		const Value &value = values[*index];
		bool declared = (flags & RenderTemporary) || ((flags & RenderNamedByAdd) && value.named_at == 0);
		if (!declared || value.evaluation.count == 0 || value.evaluation.last < ends[ends.size() - 1]) continue;
		flags |= RenderHoisted;
		spirv.hoisted_values.append(it[2]);
	}
}

void ShaderSpirv::schedule_function(uint32_t begin, uint32_t end) {
	uint32_t bound = indices.size();
	if (render_flags.size() != bound) {
		render_flags.resize(bound);
		render_scopes.resize(bound);
		render_values.resize(bound);
		for (uint32_t i = 0; i < bound; i++) {
			render_flags[i] = 0;
			render_scopes[i] = ~0u;
			render_values[i] = ~0u;
		}
	}
	variable_accesses.clear();
	phi_copies.clear();
	phi_counts.clear();
	phi_values.clear();
	predecessor_counts.clear();
	hoisted_values.clear();
	access_positions.clear();
	access_variables.clear();
	exit_labels.clear();
	loop_merges.clear();

	Scheduler scheduler(*this);
	scheduler.read_function(begin, end);
	scheduler.count_operands();
	scheduler.apply_statement_rules();
	scheduler.measure_values();
	scheduler.place_values();
	scheduler.hoist_values();
}

} // namespace Vexa
