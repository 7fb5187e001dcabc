// Decides, before a function's text is made, which values the statement
// renderer must print into named temporaries. The listing writes a value
// where it is used, which is only right when computing it there gives the same
// result and does the same work as computing it where the module does:
// - an instruction with side effects (a call, an atomic, a ray-tracing or mesh
//   instruction) runs where it stands: it is inlined only into the next thing
//   that runs in the same block, with nothing that touches memory between;
// - a load is inlined only when no store, call or other write that may reach
//   its memory runs between the load and its use, and only in its own block;
// - subgroup, derivative and implicit-level sampling instructions stay in their
//   block, where the same invocations run them;
// - a value used more than once whose text grows long, and a value nested too
//   deep, get a temporary, so that the text stays linear in the module and the
//   renderer's recursion stays bounded;
// - a value that no written text uses is not written, nor are its operands for
//   it; a call or another instruction with side effects among them is printed
//   as a statement where it stands, so that it still runs exactly once.
// Everything is decided in a few linear passes over the function's words; the
// renderer only reads the resulting flags.
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

bool is_side_opcode(int32_t op) {
	return op == OpFunctionCall || in(op, 218, 221) || op == 224 || op == 225 || in(op, 227, 242) || op == 252 ||
		op == 99 || op == 4445 || op == 4446 || in(op, 4473, 4477) || op == 5294 || op == 5295 || op == 5334;
}

bool is_opaque_type(int32_t op) {
	return op == OpTypeImage || op == OpTypeSampler || op == OpTypeSampledImage || op == OpTypePointer ||
		op == OpTypeAccelerationStructure || op == OpTypeRayQuery;
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
	uint32_t root = 0;        // the variable a load reads, AnyRoot when unknown
	uint32_t length = 0;      // estimated text length where inlined
	uint32_t depth = 0;
	uint32_t named_at = 0;    // word index of an increment that names it, 0 for none
	uint8_t kind = KindPure;
	bool row = false;         // printed by the statement renderer where it stands when flagged so
	Evaluation evaluation;
};

struct Writer {
	uint32_t position;
	uint32_t root;
};

// whether word k of an instruction may name a value: literal operands that
// could equal an id (instruction numbers, components, masks, line numbers)
// are left out
bool is_value_word(const ShaderSpirv::Iterator &it, uint32_t k) {
	int32_t op = it.get_opcode();
	switch (op) {
		case 8: case 246: case 247: case 248: case 249:
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
		case 81: // OpCompositeExtract
			return k == 3;
		case 82: // OpCompositeInsert
			return k == 3 || k == 4;
		case 250:
		case 251:
			return k == 1;
	}
	if (static_cast<int32_t>(k) == ShaderSpirv::get_image_operand_index(op)) return false;
	// the GroupOperation of a subgroup reduction or scan
	if ((op == 342 || (op >= 349 && op <= 364)) && k == 4) return false;
	return k >= (ShaderSpirv::is_value_opcode(op) ? 3u : 1u);
}

} // namespace

uint32_t ShaderSpirv::find_root_variable(uint32_t pointer) const {
	for (uint32_t steps = 0; steps <= indices.size(); steps++) {
		Iterator it = find_target(pointer);
		int32_t op = it.get_opcode();
		if (op == OpVariable) return it[2];
		if (op == OpAccessChain || in(op, 66, 67) || op == 83) pointer = it[3];
		else return 0;
	}
	return 0;
}

bool ShaderSpirv::is_nonsemantic(const Iterator &it) const {
	if (it.get_opcode() != OpExtInst) return false;
	const String *set = imports.get(it[3]);
	return set && set->startsWith("NonSemantic.");
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
	access_positions.clear();
	access_variables.clear();
	exit_labels.clear();
	loop_merges.clear();

	// pass 1: the function's values, where they are defined, and the
	// instructions that write memory or must not be moved across
	Array<uint32_t> positions;
	Array<uint32_t> position_blocks;
	Array<Value> values;
	// the values of this function, by id; the table is left empty for the next
	struct Local {
		Array<uint32_t> &table;
		Array<uint32_t> ids;
		explicit Local(Array<uint32_t> &table) : table(table) {}
		~Local() {
			for (uint32_t i = 0; i < ids.size(); i++) table[ids[i]] = ~0u;
		}
		const uint32_t *get(uint32_t id) const { return (id < table.size() && table[id] != ~0u) ? &table[id] : nullptr; }
		void insert(uint32_t id, uint32_t index) {
			if (table[id] == ~0u) ids.append(id);
			table[id] = index;
		}
	} local(render_values);
	Array<Writer> writers;
	Array<uint32_t> impure;
	uint32_t label = 0;
	for (Iterator it = get_iterator(begin); !it.is_end() && it.get_index() < end && it.get_size(); it = it.advance(it.get_size())) {
		int32_t op = it.get_opcode();
		uint32_t position = it.get_index();
		if (op == OpLabel) label = it[1];
		positions.append(position);
		position_blocks.append(label);
		if (is_value_opcode(op) && it.get_size() >= 3 && it[2] < bound) {
			uint32_t id = it[2];
			// a declaration made by an earlier rendering of the function stays
			// visible to a later one (a backend may render a branch again)
			render_flags[id] = RenderLocal;
			Value value;
			value.position = position;
			value.block = label;
			Iterator type = find_target(it[1]);
			if (op == OpLoad) {
				uint32_t root = find_root_variable(it[3]);
				value.root = root ? root : AnyRoot;
				uint32_t storage = root ? records[root].storage : ~0u;
				bool constant = storage == 0 || storage == 1 || storage == 9;
				if (storage == 2) {
					Iterator block = get_target_type(root);
					constant = block.get_opcode() == OpTypeStruct && block[1] < records.size() && records[block[1]].decorations.get(2u);
				}
				value.kind = is_opaque_type(type.get_opcode()) ? KindOpaque : constant ? KindPure : KindRead;
			} else if (op == OpFunctionCall && type.get_opcode() != OpTypePointer) {
				// a call runs once whatever it gives; a pointer result is an error of the renderer
				value.kind = KindSide;
			} else if (op == OpVariable || op == OpFunctionParameter || in(op, 65, 70) || op == OpSampledImage ||
				op == OpImage || op == OpImageTexelPointer || is_opaque_type(type.get_opcode())) {
				value.kind = KindOpaque;
			} else if (is_side_opcode(op)) {
				value.kind = KindSide;
			} else if (op == 98 || op == 320 || op == 4479 || in(op, 6016, 6032)) {
				value.kind = KindRead;
				value.root = AnyRoot;
			} else if (is_image_opcode(op) || in(op, 207, 215) || in(op, 333, 366) || in(op, 4421, 4432)) {
				value.kind = KindPinned;
			} else if (op == OpExtInst && it[4] >= 76 && it[4] <= 78) {
				value.kind = KindPinned;
			}
			local.insert(id, values.size());
			values.append(value);
			if (value.kind == KindSide) {
				// an atomic writes the memory behind its pointer, a call anything
				uint32_t root = (in(op, 227, 242) && op != 228) ? find_root_variable(it[3]) : 0;
				writers.append(Writer{position, root ? root : AnyRoot});
			}
			if (value.kind != KindPure && value.kind != KindOpaque) impure.append(position);
		} else if (op == OpStore || op == OpCopyMemory) {
			uint32_t root = find_root_variable(it[1]);
			writers.append(Writer{position, root ? root : AnyRoot});
			impure.append(position);
		} else if (is_side_opcode(op)) {
			writers.append(Writer{position, AnyRoot});
			impure.append(position);
		} else if (op == 246) {
			loop_merges.append(position);
			exit_labels.insert(it[1]);
			exit_labels.insert(it[2]);
		} else if (op == 247) {
			exit_labels.insert(it[1]);
		} else if (op == 251) {
			// case labels: entered only from their switch
			Iterator selector = get_target_base_type(it[1]);
			uint32_t step = (selector[2] > 32) ? 3 : 2;
			for (uint32_t k = 3; k + step - 1 < it.get_size(); k += step) exit_labels.insert(it[k + step - 1]);
		}

		// the instructions that reach a variable, for the hoisting of declarations
		uint32_t first = is_value_opcode(op) ? 3u : 1u;
		uint32_t last = (op == OpLoad || op == OpAccessChain || in(op, 66, 67)) ? 4u : it.get_size();
		if (op == OpStore || op == OpCopyMemory) last = 3;
		if (op == OpFunctionCall) first = 4;
		if (op == OpVariable || op == OpLabel || op == 246 || op == 247 || op == 249 || op == 250 || op == 251) last = 0;
		for (uint32_t k = first; k < last && k < it.get_size(); k++) {
			uint32_t root = find_root_variable(it[k]);
			if (root == 0 || records[root].storage != 7) continue;
			Array<VariableAccess> *list = variable_accesses.get(root);
			if (list == nullptr) list = &variable_accesses.insert(root, Array<VariableAccess>())->value;
			if (list->size() && (*list)[list->size() - 1].position == position) continue;
			list->append(VariableAccess{position, label, op == OpStore && k == 1 && it[1] == root});
			access_positions.append(position);
			access_variables.append(root);
		}
	}

	// pass 2: how often each value is named by an operand word; words that
	// are literals may count too, which only ever adds a temporary
	for (uint32_t i = 0; i < positions.size(); i++) {
		Iterator it = get_iterator(positions[i]);
		int32_t op = it.get_opcode();
		for (uint32_t k = 1; k < it.get_size(); k++) {
			if (!is_value_word(it, k) || (is_value_opcode(op) && k < 3)) continue;
			const uint32_t *index = local.get(it[k]);
			if (index) values[*index].count++;
		}
	}

	// the rules of the statement renderer: calls, extended, image and internal
	// instructions used other than once are printed where they stand
	for (uint32_t i = 0; i < positions.size(); i++) {
		Iterator it = get_iterator(positions[i]);
		int32_t op = it.get_opcode();
		if (!is_value_opcode(op) || it.get_size() < 3) continue;
		uint32_t id = it[2];
		const uint32_t *index = local.get(id);
		if (index == nullptr) continue;
		Value &value = values[*index];
		bool row = op == OpExtInst || op == OpFunctionCall || (is_image_opcode(op) && op != OpSampledImage) || is_internal_opcode(op);
		if (op == OpExtInst && is_nonsemantic(it)) row = false;
		value.row = row;
		if (row && value.kind != KindOpaque) {
			uint32_t used = uses[id];
			if (used > 1 || (used == 0 && value.count > 0)) render_flags[id] |= RenderTemporary;
			else if (used == 0) render_flags[id] |= RenderStatement;
		}
		// the increment rule names the sum and its first operand where it stands
		if ((op == OpIAdd || op == OpISub) && find_target(it[4]).get_opcode() == OpConstant) {
			uint32_t operand = it[3];
			if (uses[id] > 1 || (operand < bound && uses[operand] > 1)) {
				if (uses[id] > 1) render_flags[id] |= RenderNamedByAdd;
				const uint32_t *operand_index = local.get(operand);
				if (operand_index && uses[operand] > 1 && values[*operand_index].named_at == 0) {
					values[*operand_index].named_at = positions[i];
					render_flags[operand] |= RenderNamedByAdd;
				}
			}
		}
	}

	// pass 3, forward: text length and nesting of every inlined value
	for (uint32_t i = 0; i < positions.size(); i++) {
		Iterator it = get_iterator(positions[i]);
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
				length += find_target(it[k]).is_end() ? 1 : 8;
				continue;
			}
			const Value &v = values[*operand];
			length += v.length;
			if (v.depth + 1 > depth) depth = v.depth + 1;
			if (length > 0x10000000u) length = 0x10000000u;
		}
		uint8_t &flags = render_flags[it[2]];
		if (value.kind != KindOpaque && !(flags & (RenderTemporary | RenderStatement)) &&
			((value.count > 1 && length > MaxSharedLength) || depth > MaxInlineDepth)) {
			flags |= RenderTemporary;
		}
		if (flags & (RenderTemporary | RenderNamedByAdd) || op == OpFunctionParameter || op == OpVariable) {
			value.length = 8;
			value.depth = 0;
		} else {
			value.length = length;
			value.depth = depth;
		}
	}

	// pass 4, backward: where each value is evaluated, and whether that is
	// still the same as where the module computes it
	auto any_writer = [&](uint32_t root, uint32_t from, const Evaluation &e) {
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
			if (w.root == AnyRoot || root == AnyRoot || w.root == root) return true;
		}
		return false;
	};
	auto any_impure = [&](uint32_t from, const Evaluation &e) {
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
	};
	for (uint32_t i = positions.size(); i-- > 0;) {
		Iterator it = get_iterator(positions[i]);
		int32_t op = it.get_opcode();
		uint32_t position = positions[i];
		uint32_t block = position_blocks[i];
		if (op == OpLabel || op == 246 || op == 247) continue;
		Evaluation evaluation = Evaluation::at(position, block);
		bool value_op = is_value_opcode(op) && it.get_size() >= 3;
		const uint32_t *index = value_op ? local.get(it[2]) : nullptr;
		if (index) {
			Value &value = values[*index];
			uint8_t &flags = render_flags[it[2]];
			Evaluation e = value.evaluation;
			bool temporary = (flags & RenderTemporary) != 0;
			if (!temporary && !(flags & RenderStatement) && e.count > 0 && value.kind != KindOpaque) {
				if (value.named_at) {
					// named by an increment: every use reads the name from there on
					if (e.cross || e.block != block) temporary = true;
					e = Evaluation::at(value.named_at, block);
				}
				if (!temporary) {
					bool away = e.cross || e.block != block;
					switch (value.kind) {
						case KindSide:
							temporary = away || e.count > 1 || any_impure(position, e);
							break;
						case KindRead:
							temporary = away || any_writer(value.root, position, e);
							break;
						case KindPinned:
							temporary = away;
							break;
					}
				}
				if (temporary) flags |= RenderTemporary;
			}
			if (!temporary && !(flags & RenderStatement) && e.count > 0 && !(flags & RenderNamedByAdd && value.named_at == 0)) {
				evaluation = e;
			}
			// A value that no written text uses is not written at all, and
			// neither are its operands for it; but what has side effects
			// still runs, as a statement where it stands.
			bool placed = temporary || (flags & (RenderStatement | RenderNamedByAdd)) || op == OpVariable;
			if (!placed && e.count == 0) {
				if (value.kind == KindSide && value.row) flags |= RenderStatement;
				else evaluation = Evaluation();
			}
		}
		// the arguments of an instruction with side effects are evaluated before it acts
		if (is_side_opcode(op)) evaluation.add_owner(position);
		for (uint32_t k = 1; k < it.get_size(); k++) {
			if (!is_value_word(it, k) || (value_op && k < 3)) continue;
			const uint32_t *operand = local.get(it[k]);
			if (operand && (index == nullptr || *operand != *index)) values[*operand].evaluation.merge(evaluation);
		}
	}
}

} // namespace Vexa
