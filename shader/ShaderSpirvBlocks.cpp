// Function bodies: the statement renderer that turns a function's basic blocks
// into a structured tree (FlowNode), which ShaderSpirvFlow.cpp prints.
// `get_block` walks a block and the blocks that follow it at the same level,
// `get_merge` builds a loop, an if or a switch from its merge instruction, and
// `get_statement` declares the local variables that a construct shares with
// the code after it. What is structured how is decided here; how each form
// is spelled is the printers' business.
//
// The text must say exactly what the module does, or the output fails:
// - every block that the function can reach is rendered once, and a branch
//   that structured text cannot express (into the middle of another
//   construct, back to a block already written) is an error;
// - a conditional branch out of a loop without a merge of its own is an
//   `if(...) break;` or `if(...) continue;`;
// - a loop whose condition or continue block does work that a loop statement
//   cannot hold, an instruction the renderer does not know, and a call whose
//   result is a pointer, are errors;
// - a name is only used inside the scope it is declared in;
// - an OpPhi is a variable declared at the function's start and assigned on
//   every edge into its block (see `phi_copies`);
// - a loop is a while- or for-statement where one block's branch is its
//   condition, a do-while where its continue block is, and `for(;;)` whose
//   body opens with the branch that leaves it otherwise.
// Which values become temporaries is decided per function beforehand
// (ShaderSpirvSchedule.cpp).
#include "shader/ShaderSpirv.h"
#include "shader/ShaderSpirvNumbers.h"

#include "core/Log.h"
#include "core/Sort.h"

namespace Vexa {

using namespace Spirv;

namespace {

// constructs nested deeper than this are an error, not a stack overflow
constexpr uint32_t MaxNesting = 200;

void append_indent(String &out, uint32_t indent) {
	for (uint32_t i = 0; i < indent; i++) out.append('\t');
}

// what the base's `get_block` and `get_merge` return in place of their text
// when a caller takes their tree (see `flow_target`)
const char FlowMark[] = "\x01flow\x01";

// sets a member for the life of a scope and restores it after
struct Restore {
	Restore(uint32_t &value, uint32_t next) : value(value), saved(value) { value = next; }
	~Restore() { value = saved; }
	Restore(const Restore &) = delete;
	Restore &operator=(const Restore &) = delete;
	uint32_t &value;
	uint32_t saved;
};

} // namespace

void ShaderSpirv::push_scope() {
	scope_parents.append(current_scope);
	current_scope = scope_parents.size() - 1;
}

void ShaderSpirv::check_scope(uint32_t id) {
	if (render_function == 0 || id >= render_flags.size() || !(render_flags[id] & RenderLocal)) return;
	Iterator it = find_target(id);
	int32_t op = it.get_opcode();
	if (op == OpFunctionParameter) return;
	if (op == OpVariable && records[id].storage != StorageFunction) return;
	uint32_t scope = render_scopes[id];
	// declared by an earlier rendering of the function: visible to this one
	if (scope != ~0u && scope < scope_base) return;
	for (uint32_t s = current_scope, steps = 0; s != ~0u && steps <= scope_parents.size(); s = scope_parents[s], steps++) {
		if (s == scope) return;
	}
	log_internal_error("ShaderSpirv::get_value()", "%s is used outside its scope\n", records[id].name.get());
}

String ShaderSpirv::get_temporary(uint32_t id, const String &value) {
	if (id < render_flags.size() && (render_flags[id] & RenderHoisted)) return get_hoisted_assignment(id, value);
	if (in_clause) return get_clause_declaration(id, value, false);
	String ret = get_temporary_declaration(id, value);
	named[id] = 1;
	render_scopes[id] = current_scope;
	return ret;
}

String ShaderSpirv::get_hoisted_assignment(uint32_t id, const String &value) {
	// declared at the function's start
	StringStack<64> ret(records[id].name);
	ret.append(" = ");
	ret.append(value);
	named[id] = 1;
	render_scopes[id] = function_scope;
	return String(static_cast<StringStack<64> &&>(ret));
}

String ShaderSpirv::get_temporary_declaration(uint32_t id, const String &value) {
	Iterator it = get_target(id);
	StringStack<64> ret(get_type(it[1], nullptr));
	ret.append(' ');
	ret.append(records[id].name);
	ret.append(get_array_suffix(it[1]));
	ret.append(" = ");
	ret.append(value);
	return String(static_cast<StringStack<64> &&>(ret));
}

String ShaderSpirv::get_temporary_value(uint32_t id) {
	Restore value(temporary_value, id);
	return get_value(id, false);
}

String ShaderSpirv::get_clause_declaration(uint32_t id, const String &value, bool variable) {
	phi_shadow_declarations.add_statement(variable ? get_local_declaration(id, String()) : get_function_declaration(id, records[id].name));
	if (value.empty()) {
		if (id < render_scopes.size()) render_scopes[id] = function_scope;
		return String();
	}
	return get_hoisted_assignment(id, value);
}

String ShaderSpirv::get_declaration_line(uint32_t variable, const String &value) {
	if (variable < render_flags.size() && (render_flags[variable] & RenderHoisted)) return get_hoisted_assignment(variable, value);
	if (in_clause) return get_clause_declaration(variable, value, true);
	String ret = get_local_declaration(variable, value);
	if (variable < render_scopes.size()) render_scopes[variable] = current_scope;
	return ret;
}

String ShaderSpirv::get_local_declaration(uint32_t variable, const String &value) {
	StringStack<64> ret(get_declaration(variable, nullptr));
	if (!value.empty()) {
		ret.append(" = ");
		ret.append(value);
	}
	return String(static_cast<StringStack<64> &&>(ret));
}

String ShaderSpirv::get_case_label(uint32_t selector, uint64_t literal) {
	uint32_t width = get_target_base_type(selector)[2];
	bool is_unsigned = is_unsigned_type(selector);
	if (width > 32) {
		if (is_unsigned) return String::format("case %lluul:", static_cast<unsigned long long>(literal));
		return String::format("case %lldl:", static_cast<long long>(literal));
	}
	uint32_t value = static_cast<uint32_t>(literal);
	return String::format(is_unsigned ? "case %uu:" : "case %d:", value);
}

String ShaderSpirv::get_default_label(uint32_t) {
	return String("default:");
}

String ShaderSpirv::get_fallthrough() {
	return String();
}

String ShaderSpirv::get_entry_return() {
	return String("return");
}

String ShaderSpirv::get_negation(uint32_t condition) {
	String text = get_value(condition, true);
	if (!text.empty() && text[0] == '!') return text.substr(1);
	StringStack<64> ret("!");
	ret.append(text);
	return String(static_cast<StringStack<64> &&>(ret));
}

ShaderSpirv::Jump ShaderSpirv::get_jump(uint32_t target, const Block *loop, bool own_merge, bool fall) const {
	if (loop && target == loop->merge) return JumpBreak;
	// falling off the end of a loop body continues it, but only at its end
	if (fall && target == follow_label) return JumpFall;
	if (continue_label && target == continue_label) return JumpContinue;
	if (target == follow_label) return JumpInvalid;
	if (rendered_labels.find(target)) return JumpInvalid;
	if (!own_merge && exit_labels.find(target)) return JumpInvalid;
	if (blocks.get(target) == nullptr) return JumpInvalid;
	return JumpEnter;
}

bool ShaderSpirv::is_loop_header(uint32_t label) const {
	const Block *block = blocks.get(label);
	return block && block->continue_target != 0;
}

bool ShaderSpirv::is_quiet(const Iterator &it, const Pending &pending, bool header) const {
	int32_t op = it.get_opcode();
	if (op == OpNop || op == OpLine || op == OpNoLine) return true;
	if (is_nonsemantic(it)) return true;
	// a Phi is assigned on the edges into its block, not where it stands
	if (op == OpPhi) return true;
	if (!is_value_opcode(op) || it.get_size() < 3) return false;
	uint32_t id = it[2];
	if (id < render_flags.size() && (render_flags[id] & (RenderTemporary | RenderStatement | RenderNamedByAdd)) && !named[id]) return false;
	// the increment rule names nothing in a loop's header
	if ((op == OpIAdd || op == OpISub) && !header && find_target(it[4]).get_opcode() == OpConstant) {
		uint32_t operand = it[3];
		if (operand < uses.size() && uses[operand] > 1 && !named[operand] && find_target(operand).get_opcode() != OpConstant) return false;
	}
	if (op == OpLoad || op == OpAccessChain) {
		Iterator variable = find_target(find_root_variable(it[3]));
		if (!variable.is_end() && pending.get(variable)) return false;
	}
	if (op == OpFunctionCall) {
		for (uint32_t k = 4; k < it.get_size(); k++) {
			Iterator variable = find_target(find_root_variable(it[k]));
			if (!variable.is_end() && pending.get(variable)) return false;
		}
	}
	return true;
}

bool ShaderSpirv::is_quiet_block(uint32_t label, bool header, const Pending &pending) const {
	Iterator it = find_target(label);
	if (it.get_opcode() != OpLabel) return false;
	for (it = it.advance(it.get_size()); !it.is_end() && it.get_size(); it = it.advance(it.get_size())) {
		int32_t op = it.get_opcode();
		if (header && op == OpLoopMerge) return true;
		if (is_terminator_opcode(op)) return !header;
		if (op == OpLabel || op == OpLoopMerge || op == OpSelectionMerge || !is_quiet(it, pending, header)) return false;
	}
	return false;
}

ShaderSpirv::Block *ShaderSpirv::get_for_header(const Iterator &store) {
	Iterator next = store.advance(store.get_size());
	if (next.get_opcode() != OpBranch) return nullptr;
	Iterator label = find_target(next[1]);
	if (label.get_opcode() != OpLabel) return nullptr;
	Block *header = blocks.get(next[1]);
	Iterator merge = label.advance(label.get_size());
	if (header == nullptr || merge.get_opcode() != OpLoopMerge || header->opcode != OpBranch) return nullptr;
	// the Phis of the header are assigned between the store and the loop
	if (phi_counts.get(next[1])) return nullptr;
	const Block *continue_block = blocks.get(header->continue_target);
	const Block *condition = blocks.get(header->target);
	if (continue_block == nullptr || condition == nullptr) return nullptr;
	if (continue_block->opcode == OpBranchConditional || condition->opcode != OpBranchConditional || condition->merge != 0) return nullptr;
	if (continue_block->count == 2) return nullptr;
	return header;
}

void ShaderSpirv::get_branch_starts(const Iterator &it, Array<uint32_t> &starts) {
	Iterator branch = it.advance(it.get_size());
	Array<uint32_t> targets;
	if (branch.get_opcode() == OpBranchConditional) {
		targets.append(branch[2]);
		targets.append(branch[3]);
	} else if (branch.get_opcode() == OpSwitch) {
		get_switch_targets(branch, targets);
	}
	for (uint32_t i = 0; i < targets.size(); i++) {
		render_steps++;
		Iterator label = find_target(targets[i]);
		if (targets[i] != it[1] && !label.is_end()) starts.append(label.get_index());
	}
	quickSort(starts.get(), starts.size(), [](uint32_t a, uint32_t b) { return a < b; });
}

void ShaderSpirv::get_loop_shape(const Iterator &merge, LoopShape &loop) {
	loop.begin = merge.get_index();
	Iterator label = find_target(merge[1]);
	loop.end = label.is_end() ? ~0u : label.get_index();
	loop.continues = merge[2];
	Iterator next = merge.advance(merge.get_size());
	uint32_t body = 0;
	if (next.get_opcode() == OpBranch) {
		const Block *h = blocks.get(next[1]);
		if (h && h->opcode == OpBranchConditional && h->merge == 0) {
			loop.condition = next[1];
			body = (h->target == merge[1]) ? h->target_false : h->target;
		} else {
			body = next[1];
		}
	}
	for (uint32_t steps = 0; body && body != loop.continues && body != merge[1] && steps < 4096 && !loop.spine.find(body); steps++) {
		loop.spine.insert(body);
		const Block *b = blocks.get(body);
		if (b == nullptr) break;
		if (b->merge) body = b->merge;
		else if (b->opcode == OpBranch) body = b->target;
		else break;
	}
}

bool ShaderSpirv::is_iteration_local(const Iterator &it, const Array<VariableAccess> &accesses, uint32_t from, uint32_t to) {
	const VariableAccess *first = nullptr;
	for (uint32_t i = 0; i < accesses.size() && first == nullptr; i++) {
		if (accesses[i].position > from && accesses[i].position < to) first = &accesses[i];
	}
	if (first == nullptr || !first->store) return false;
	// The innermost loop around the first use: of the loops that start
	// from `from` on before it and end after it, the one of the smallest
	// span below the construct's own, the first of equal ones. The walk
	// goes back from the use and stops where a loop would span more than
	// the best one only to reach the use.
	Iterator innermost = it;
	uint32_t span = to - from;
	bool found = false;
	uint32_t lo = 0;
	uint32_t hi = loop_merges.size();
	while (lo < hi) {
		render_steps++;
		uint32_t mid = lo + (hi - lo) / 2;
		if (loop_merges[mid] < first->position) lo = mid + 1;
		else hi = mid;
	}
	for (uint32_t i = lo; i-- > 0;) {
		render_steps++;
		uint32_t at = loop_merges[i];
		if (at < from || first->position - at >= span) break;
		Iterator candidate = get_iterator(at);
		Iterator label = find_target(candidate[1]);
		if (label.is_end() || label.get_index() <= first->position) continue;
		uint32_t length = label.get_index() - at;
		if (length < span || (found && length == span)) {
			innermost = candidate;
			span = length;
			found = true;
		}
	}
	LoopShape loop;
	get_loop_shape(innermost, loop);
	if (!loop.spine.find(first->block)) return false;
	for (uint32_t i = 0; i < accesses.size(); i++) {
		const VariableAccess &a = accesses[i];
		if (a.position <= from || a.position >= to) continue;
		if (a.position <= loop.begin || a.position >= loop.end || a.block == loop.condition || a.block == loop.continues) return false;
	}
	return true;
}

void ShaderSpirv::get_construct_candidates(uint32_t position, uint32_t merge_position, bool walked, const Pending &pending, Array<Iterator> &candidates) {
	if (!walked) {
		for (auto entry = pending.begin(); entry != pending.end(); ++entry) candidates.append(entry->key);
		return;
	}
	uint32_t lo = 0;
	uint32_t hi = access_positions.size();
	while (lo < hi) {
		render_steps++;
		uint32_t mid = lo + (hi - lo) / 2;
		if (access_positions[mid] <= position) lo = mid + 1;
		else hi = mid;
	}
	Set<uint32_t> seen;
	for (uint32_t i = lo; i < access_positions.size() && access_positions[i] < merge_position; i++) {
		render_steps++;
		uint32_t variable = access_variables[i];
		if (seen.find(variable)) continue;
		seen.insert(variable);
		Iterator declaration = find_target(variable);
		if (!declaration.is_end() && pending.get(declaration)) candidates.append(declaration);
	}
	quickSort(candidates.get(), candidates.size(), [](const Iterator &a, const Iterator &b) { return a < b; });
}

bool ShaderSpirv::is_declared_before(const Iterator &it, uint32_t variable, uint32_t merge_position, bool walked, const Array<uint32_t> &starts) {
	int32_t op = it.get_opcode();
	uint32_t position = it.get_index();
	// the branch an access lies in: the last one that starts at or before it
	auto region = [&](uint32_t at) {
		uint32_t lo = 0;
		uint32_t hi = starts.size();
		while (lo < hi) {
			render_steps++;
			uint32_t mid = lo + (hi - lo) / 2;
			if (starts[mid] <= at) lo = mid + 1;
			else hi = mid;
		}
		return lo ? starts[lo - 1] : ~0u;
	};
	bool inside = false;
	bool after = false;
	bool spread = false;
	if (walked) {
		const Array<VariableAccess> *accesses = variable_accesses.get(variable);
		uint32_t first_region = ~0u;
		for (uint32_t i = 0; accesses && i < accesses->size(); i++) {
			render_steps++;
			const VariableAccess &access = (*accesses)[i];
			if (access.position > position && access.position < merge_position) {
				inside = true;
				if (op == OpSelectionMerge) {
					uint32_t r = region(access.position);
					if (first_region == ~0u) first_region = r;
					else if (r != first_region) spread = true;
				}
			} else if (access.position > merge_position && access.position != ~0u) {
				after = true;
			}
		}
	} else {
		// outside a scheduled function: the same question asked of the words
		bool passed = false;
		for (Iterator i = it; !i.is_end() && i.get_size() && i.get_opcode() != OpFunctionEnd; i = i.advance(i.get_size())) {
			int32_t o = i.get_opcode();
			if (i.get_index() == merge_position) passed = true;
			uint32_t pointer = (o == OpLoad || o == OpAccessChain) ? i[3] : (o == OpStore) ? i[1] : 0;
			if (pointer && find_root_variable(pointer) == variable) (passed ? after : inside) = true;
		}
	}
	if (walked && inside && op == OpLoopMerge && !is_iteration_local(it, *variable_accesses.get(variable), position, merge_position)) spread = true;
	if (variable == initialised_variable) spread = false;
	return inside && (after || spread);
}

String ShaderSpirv::get_statement(const Iterator &it, uint32_t indent, Pending &pending) {
	int32_t op = it.get_opcode();
	if (op != OpLoopMerge && op != OpSelectionMerge) {
		log_internal_error("ShaderSpirv::get_statement()", "opcode %u is no merge instruction\n", static_cast<uint32_t>(op));
		return String();
	}
	uint32_t position = it.get_index();
	Iterator merge = get_target(it[1]);
	uint32_t merge_position = merge.is_end() ? ~0u : merge.get_index();
	bool walked = render_function != 0 && position >= render_begin && position < render_end;

	// A variable first touched inside the construct stays pending only where
	// its declaration there covers every later use: within one branch of a
	// selection, and in a loop only when the straight-line part of the body
	// of the innermost loop around its first use stores all of it there and
	// nothing outside that loop's body uses it (a declaration repeated by every
	// iteration must not lose a value the next one reads).
	Array<uint32_t> starts;
	if (walked && op == OpSelectionMerge) get_branch_starts(it, starts);

	// Only a variable touched inside the construct may need declaring before
	// it: in a scheduled function those are found from the accesses inside
	// its word range, not by asking every pending variable, and taken in the
	// order of their declarations.
	Array<Iterator> candidates;
	get_construct_candidates(position, merge_position, walked, pending, candidates);

	StringStack<64> ret;
	Array<Iterator> declared;
	for (uint32_t c = 0; c < candidates.size(); c++) {
		render_steps++;
		const uint32_t *pending_variable = pending.get(candidates[c]);
		if (pending_variable == nullptr) continue;
		uint32_t variable = *pending_variable;
		if (!is_declared_before(it, variable, merge_position, walked, starts)) continue;
		if (in_clause) {
			log_error("ShaderSpirv::get_statement(): unknown declaration of %s\n", records[variable].name.get());
			continue;
		}
		append_indent(ret, indent);
		ret.append(get_declaration_line(variable, String()));
		ret.append(";\n");
		declared.append(candidates[c]);
	}
	for (uint32_t i = 0; i < declared.size(); i++) pending.remove(declared[i]);
	return String(static_cast<StringStack<64> &&>(ret));
}

void ShaderSpirv::declare_operands(FlowNode &out, const Iterator &it, Pending &pending) {
	uint32_t first = is_value_opcode(it.get_opcode()) ? 3u : 1u;
	for (uint32_t k = first; k < it.get_size(); k++) {
		Iterator variable = find_target(find_root_variable(it[k]));
		if (variable.is_end() || !pending.get(variable)) continue;
		if (allows_statement(it.get_opcode())) append_statement(out, get_declaration_line(variable[2], String()));
		pending.remove(variable);
	}
}

String ShaderSpirv::get_block(uint32_t label, uint32_t indent, Pending &pending, const Block *loop) {
	FlowNode *target = flow_target;
	flow_target = nullptr;
	FlowNode own;
	FlowNode &node = target ? *target : own;
	if (render_function == 0) build_function_block(node, label, indent, pending, loop);
	else build_block(node, label, indent, pending, loop);
	if (target) return String(FlowMark);
	return print_flow(node, indent);
}

void ShaderSpirv::get_block_flow(FlowNode &out, uint32_t label, uint32_t indent, Pending &pending, const Block *loop) {
	FlowNode node;
	flow_target = &node;
	String text = get_block(label, indent, pending, loop);
	flow_target = nullptr;
	append_slot(out, text, node);
}

void ShaderSpirv::get_merge_flow(FlowNode &out, const Block &block, const Iterator &it, uint32_t indent, Pending &pending, const Block *loop) {
	FlowNode node;
	flow_target = &node;
	String text = get_merge(block, it, indent, pending, loop);
	flow_target = nullptr;
	append_slot(out, text, node);
}

void ShaderSpirv::append_slot(FlowNode &out, const String &text, FlowNode &node) {
	// an override's own text stands around the tree where it put the base's
	uint32_t mark = text.find(FlowMark);
	if (mark == ~0u) {
		if (!text.empty()) out.add(FlowNode::Text).text = text;
		return;
	}
	if (mark) out.add(FlowNode::Text).text = text.substr(0, mark);
	out.take(node);
	uint32_t rest = mark + static_cast<uint32_t>(sizeof(FlowMark) - 1);
	if (rest < text.size()) out.add(FlowNode::Text).text = text.substr(rest);
}

void ShaderSpirv::append_statement(FlowNode &out, const String &text) {
	// the third clause of a for-statement lists expressions only
	if (in_clause && text.empty()) return;
	out.add_statement(text);
}

void ShaderSpirv::build_lookups() {
	if (lookups_built) return;
	lookups_built = true;
	function_ranges.clear();
	branch_merges.clear();
	// the functions' first words in module order, each once
	Array<uint32_t> begins;
	for (uint32_t i = 0; i < functions.size(); i++) {
		render_steps++;
		Iterator it = find_target(functions[i]);
		if (it.get_opcode() == OpFunction) begins.append(it.get_index());
	}
	quickSort(begins.get(), begins.size(), [](uint32_t a, uint32_t b) { return a < b; });
	uint32_t count = 0;
	for (uint32_t i = 0; i < begins.size(); i++) {
		if (count == 0 || begins[count - 1] != begins[i]) begins[count++] = begins[i];
	}
	// A function ends at its first OpFunctionEnd and its first label is the
	// first OpLabel on the way there; a function that runs into the next
	// one's words without an end of its own takes over what that one found.
	// From the last to the first, every word is walked once.
	uint32_t none = words.size();
	function_ranges.resize(count);
	for (uint32_t i = count; i-- > 0;) {
		FunctionRange &range = function_ranges[i];
		range.begin = begins[i];
		range.end = none;
		range.first_label = none;
		uint32_t next = (i + 1 < count) ? begins[i + 1] : none;
		for (Iterator it = get_iterator(range.begin); !it.is_end() && it.get_size(); it = it.advance(it.get_size())) {
			render_steps++;
			uint32_t at = it.get_index();
			if (at >= next) {
				if (range.first_label == none) range.first_label = function_ranges[i + 1].first_label;
				range.end = function_ranges[i + 1].end;
				break;
			}
			int32_t op = it.get_opcode();
			if (op == OpLabel && range.first_label == none) range.first_label = at;
			if (op == OpFunctionEnd) {
				range.end = at;
				break;
			}
		}
	}
	// the last selection in label order whose branch leads to a label
	for (auto b = blocks.begin(); b != blocks.end(); ++b) {
		render_steps++;
		if (b->value.merge == 0) continue;
		branch_merges.insert(b->value.target, b->value.merge);
		branch_merges.insert(b->value.target_false, b->value.merge);
	}
}

const ShaderSpirv::FunctionRange *ShaderSpirv::find_function(uint32_t position) {
	build_lookups();
	uint32_t lo = 0;
	uint32_t hi = function_ranges.size();
	while (lo < hi) {
		render_steps++;
		uint32_t mid = lo + (hi - lo) / 2;
		if (function_ranges[mid].begin <= position) lo = mid + 1;
		else hi = mid;
	}
	return lo ? &function_ranges[lo - 1] : nullptr;
}

void ShaderSpirv::build_function_block(FlowNode &out, uint32_t label, uint32_t indent, Pending &pending, const Block *loop) {
	Iterator start = get_target(label);
	if (start.get_opcode() != OpLabel) {
		if (!start.is_end()) log_internal_error("ShaderSpirv::get_block()", "%u is no label of a function\n", label);
		return;
	}
	// the function around the label: the last one that starts before it
	const FunctionRange *range = find_function(start.get_index());
	if (range == nullptr || range->end < start.get_index()) {
		log_internal_error("ShaderSpirv::get_block()", "%u is no label of a function\n", label);
		return;
	}
	Iterator function = get_iterator(range->begin);
	uint32_t end = range->end;
	schedule_function(function.get_index(), end);
	render_function = function[2];
	render_begin = function.get_index();
	render_end = end;
	rendered_labels.clear();
	scope_base = scope_parents.size();
	current_scope = ~0u;
	push_scope();
	function_scope = current_scope;
	nesting = 0;
	for_variable = 0;
	// a branch rendered on its own ends where its selection merges
	uint32_t follow = 0;
	if (range->first_label != start.get_index()) {
		const uint32_t *merge = branch_merges.get(label);
		if (merge) follow = *merge;
	}
	follow_label = follow;
	continue_label = 0;
	continue_copies = 0;
	back_header = 0;
	// the Phis' variables and their shadows open the text
	FlowNode declarations;
	phi_shadow_declarations = FlowNode();
	for_init = String();
	declare_phis(declarations, get_iterator(range->first_label)[1]);
	FlowNode body;
	build_block(body, label, indent, pending, loop);
	out.take(declarations);
	out.take(phi_shadow_declarations);
	out.take(body);

	// every block the function can reach must have been written
	if (follow == 0) {
		Array<uint32_t> stack;
		Set<uint32_t> seen;
		stack.append(label);
		seen.insert(label);
		while (stack.size()) {
			uint32_t current = stack[stack.size() - 1];
			stack.pop();
			render_steps++;
			if (!rendered_labels.find(current)) {
				log_internal_error("ShaderSpirv::get_block()", "block %u is not written\n", current);
				break;
			}
			const Block *block = blocks.get(current);
			if (block == nullptr) continue;
			Array<uint32_t> targets;
			if (block->opcode == OpBranch) targets.append(block->target);
			if (block->opcode == OpBranchConditional) {
				targets.append(block->target);
				targets.append(block->target_false);
			}
			if (block->opcode == OpSwitch) get_switch_targets(get_iterator(block->index), targets);
			for (uint32_t i = 0; i < targets.size(); i++) {
				if (seen.find(targets[i])) continue;
				seen.insert(targets[i]);
				stack.append(targets[i]);
			}
		}
	}
	render_function = 0;
	render_begin = render_end = 0;
	follow_label = continue_label = continue_copies = back_header = 0;
}

bool ShaderSpirv::allows_statement(int32_t op) const {
	if (!in_clause) return true;
	log_error("ShaderSpirv::get_block(): unknown continue statement %u\n", static_cast<uint32_t>(op));
	return false;
}

bool ShaderSpirv::allows_declaration(int32_t op, uint32_t id) const {
	if (!in_clause) return true;
	Iterator target = get_target(id);
	Iterator type = get_target(target[1]);
	// a variable holds its pointee
	if (target.get_opcode() == OpVariable && type.get_opcode() == OpTypePointer) type = get_target(type[3]);
	bool assignable = !type.is_end() && !is_opaque_type(type.get_opcode());
	return assignable || allows_statement(op);
}

void ShaderSpirv::append_value_statement(FlowNode &out, const Iterator &it, const String &text, bool temporary) {
	if (text.empty()) return;
	if (!temporary) append_statement(out, text);
	else if (allows_declaration(it.get_opcode(), it[2])) append_statement(out, get_temporary(it[2], text));
}

void ShaderSpirv::append_call(FlowNode &out, const Iterator &it, Pending &pending, bool temporary, bool statement) {
	// a pointer is no value of the listing: the call would stand at every
	// load and store through it, or nowhere
	if (find_target(it[1]).get_opcode() == OpTypePointer) {
		log_error("ShaderSpirv::get_block(): unknown pointer result of call to %s\n", records[it[3]].name.get());
		return;
	}
	for (uint32_t k = 4; k < it.get_size(); k++) {
		Iterator variable = find_target(find_root_variable(it[k]));
		if (variable.is_end() || !pending.get(variable)) continue;
		if (allows_declaration(it.get_opcode(), variable[2])) append_statement(out, get_declaration_line(variable[2], String()));
		pending.remove(variable);
	}
	if (temporary || statement) append_value_statement(out, it, get_call(it), temporary);
}

void ShaderSpirv::append_local_variable(FlowNode &out, const Iterator &it, Pending &pending) {
	if (it[3] != StorageFunction) return;
	uint32_t id = it[2];
	Iterator type = get_target_type(id);
	bool now = type.get_opcode() == OpTypeArray || type.get_opcode() == OpTypeRuntimeArray || type.get_opcode() == OpTypeRayQuery;
	// an initialiser is the variable's first value
	bool initialised = it.get_size() > 4;
	if (!now && !initialised) {
		pending.insert(it, id);
		return;
	}
	if (allows_statement(it.get_opcode())) append_statement(out, get_declaration_line(id, initialised ? get_initializer(it[4]) : String()));
}

void ShaderSpirv::append_pointer_use(FlowNode &out, const Iterator &it, Pending &pending, bool temporary) {
	int32_t op = it.get_opcode();
	Iterator variable = find_target(find_root_variable(it[3]));
	if (!variable.is_end() && pending.get(variable)) {
		if (allows_declaration(op, variable[2])) append_statement(out, get_declaration_line(variable[2], String()));
		pending.remove(variable);
	}
	if (temporary && allows_declaration(op, it[2])) append_statement(out, get_temporary(it[2], get_temporary_value(it[2])));
}

void ShaderSpirv::append_store(FlowNode &out, const Iterator &it, uint32_t indent, Pending &pending) {
	int32_t op = it.get_opcode();
	Iterator variable = find_target(find_root_variable(it[1]));
	bool is_pending = !variable.is_end() && pending.get(variable);
	Block *header = (is_pending && op == OpStore) ? get_for_header(it) : nullptr;
	Iterator merge = get_end();
	if (header && !in_clause) {
		// the OpLoopMerge stands right after the header's label
		Iterator label = get_target(it.advance(it.get_size())[1]);
		merge = label.advance(label.get_size());
		// the variable gets its value before the loop, so no iteration
		// reads it unset: only a use after the loop moves it out
		Restore initialised(initialised_variable, variable[2]);
		String declarations = get_statement(merge, indent, pending);
		if (!declarations.empty()) out.add(FlowNode::Text).text = declarations;
		// used after the loop as well: declared above, assigned here
		is_pending = pending.get(variable) != nullptr;
		if (!is_pending) header = nullptr;
		// a for-statement's variable ends with the loop
		const Array<VariableAccess> *accesses = variable_accesses.get(variable[2]);
		Iterator end = get_target(merge[1]);
		for (uint32_t i = 0; header && accesses && i < accesses->size(); i++) {
			if ((*accesses)[i].position > end.get_index()) header = nullptr;
		}
	}
	if (header && !in_clause) {
		// the loop that the header's merge opens takes the declaration
		header->init_variable = variable[2];
		for_variable = variable[2];
		for_init = get_declaration_line(variable[2], get_value(it[2], false));
		has_for_init = true;
		pending.remove(variable);
	} else if (is_pending) {
		if (allows_declaration(op, variable[2])) append_statement(out, get_declaration_line(variable[2], get_value(it[2], false)));
		pending.remove(variable);
	} else if (op == OpStore) {
		declare_operands(out, it, pending);
		String text = get_assignment(it);
		if (!text.empty()) append_statement(out, text);
	} else {
		declare_operands(out, it, pending);
		StringStack<64> text(get_value(it[1], false));
		text.append(" = ");
		text.append(get_value(it[2], false));
		append_statement(out, text);
	}
}

bool ShaderSpirv::append_loop_exit(FlowNode &out, const Iterator &it, const Block *loop, uint32_t &target) {
	// a branch out of a loop without a merge of its own
	Jump taken = get_jump(it[2], loop, false, false);
	Jump other = get_jump(it[3], loop, false, false);
	// the jump that the statement makes, to `label`, when `condition` holds;
	// a break rather than a continue, so that the body runs on into its
	// continue block
	Jump jump = JumpInvalid;
	uint32_t label = 0;
	String condition;
	if ((taken == JumpBreak || taken == JumpContinue) && !(taken == JumpContinue && other == JumpBreak)) {
		jump = taken;
		label = it[2];
		condition = get_value(it[1], false);
		target = it[3];
	} else if (other == JumpBreak || other == JumpContinue) {
		jump = other;
		label = it[3];
		condition = get_negation(it[1]);
		target = it[2];
	}
	if (jump == JumpInvalid) {
		log_error("ShaderSpirv::get_block(): unknown branch %u\n", it[2]);
		return false;
	}
	if (!allows_statement(it.get_opcode())) return false;
	// a continue that first assigns the Phis of the loop's header
	FlowNode exit(FlowNode::If);
	exit.jump = true;
	exit.condition = condition;
	FlowNode &then = exit.add(FlowNode::Sequence);
	if (jump == JumpContinue && !append_jump_copies(then, current_label, label)) return false;
	then.add(jump == JumpBreak ? FlowNode::Break : FlowNode::Continue);
	out.take(exit);
	return true;
}

bool ShaderSpirv::append_instruction(FlowNode &out, const Iterator &it, Pending &pending, bool temporary, bool statement) {
	int32_t op = it.get_opcode();
	uint32_t id = it[2];
	bool image = is_image_opcode(op) && op != OpSampledImage;
	if (image || is_internal_opcode(op)) {
		declare_operands(out, it, pending);
		if (temporary || statement) {
			// a logical not has its operator form, as where it is used
			String text = image ? get_image_value(it, false) : (temporary && op == OpLogicalNot) ? get_temporary_value(id) : get_intrinsic_value(it, false);
			append_value_statement(out, it, text, temporary);
		}
		return op != OpKill && op != OpEmitMeshTasks;
	}
	if ((op == OpIAdd || op == OpISub) && find_target(it[4]).get_opcode() == OpConstant && !is_loop_header(current_label) &&
		(uses[id] > 1 || (it[3] < uses.size() && uses[it[3]] > 1))) {
		// a sum with a constant whose parts are used again: name them here
		uint32_t parts[2] = {id, it[3]};
		for (uint32_t part : parts) {
			if (part >= uses.size() || uses[part] <= 1 || named[part] || find_target(part).get_opcode() == OpConstant) continue;
			if (!allows_statement(op)) continue;
			String line = get_declaration_line(part, get_value(part, false));
			named[part] = 1;
			append_statement(out, line);
		}
		temporary = temporary && !named[id];
	}
	if (temporary) {
		if (allows_declaration(op, id)) append_statement(out, get_temporary(id, get_temporary_value(id)));
		return true;
	}
	if (!is_value_opcode(op)) {
		log_error("ShaderSpirv::get_block(): unknown opcode %u\n", static_cast<uint32_t>(op));
		return false;
	}
	return true;
}

void ShaderSpirv::build_block(FlowNode &out, uint32_t label, uint32_t indent, Pending &pending, const Block *loop) {
	Iterator it = get_target(label);
	if (it.get_opcode() != OpLabel) {
		if (!it.is_end()) log_internal_error("ShaderSpirv::get_block()", "%u is no label of a function\n", label);
		return;
	}
	const Block *block = nullptr;
	Iterator next = get_end();
	// Where a block's branch leads: true when the walk goes on at `label`
	// (in `next`), false when the block ends here.
	auto follow_jump = [&](uint32_t label, Jump jump, int32_t op) -> bool {
		switch (jump) {
			case JumpFall:
				fall_label = label;
				// the end of a continue construct runs on into its loop's header
				if (label == back_header) append_phi_copies(out, current_label, label);
				return false;
			case JumpBreak:
			case JumpContinue:
				// a jump has no place in the third clause of a for-statement
				if (!allows_statement(op)) return false;
				if (jump == JumpContinue && !append_jump_copies(out, current_label, label)) return false;
				out.add(jump == JumpBreak ? FlowNode::Break : FlowNode::Continue);
				return false;
			case JumpEnter:
				next = get_target(label);
				return true;
			case JumpInvalid:
				log_error("ShaderSpirv::get_block(): unknown branch %u\n", label);
				return false;
		}
		return false;
	};
	while (!it.is_end() && it.get_size()) {
		int32_t op = it.get_opcode();
		next = it.advance(it.get_size());
		bool has_result = is_value_opcode(op) && it.get_size() >= 3;
		uint32_t id = has_result ? it[2] : 0;
		bool temporary = has_result && id < render_flags.size() && (render_flags[id] & RenderTemporary) && !named[id];
		bool statement = !has_result || (id < render_flags.size() && (render_flags[id] & RenderStatement));
		switch (op) {
			case OpLabel: {
				uint32_t current = it[1];
				block = blocks.get(current);
				// a block without a terminator the reader knows fails at what it holds
				if (rendered_labels.find(current)) {
					log_internal_error("ShaderSpirv::get_block()", "block %u is written twice\n", current);
					return;
				}
				rendered_labels.insert(current);
				current_label = current;
				// the header's own instructions run once per iteration, the text
				// before a loop only once
				if (is_loop_header(current) && !is_quiet_block(current, true, pending)) {
					log_error("ShaderSpirv::get_merge(): unknown LoopMerge header %u\n", current);
					return;
				}
				break;
			}
			case OpNop:
			case OpLine:
			case OpNoLine:
				break;
			case OpFunction:
			case OpFunctionEnd:
				log_internal_error("ShaderSpirv::get_block()", "block %u runs out of its function\n", current_label);
				return;
			case OpExtInst:
				if (is_nonsemantic(it)) break;
				declare_operands(out, it, pending);
				if (temporary || (statement && has_result)) append_value_statement(out, it, get_external_value(it, false), temporary);
				break;
			case OpFunctionCall:
				append_call(out, it, pending, temporary, statement);
				break;
			case OpVariable:
				append_local_variable(out, it, pending);
				break;
			case OpLoad:
			case OpAccessChain:
				append_pointer_use(out, it, pending, temporary);
				break;
			case OpStore:
			case OpCopyMemory:
				append_store(out, it, indent, pending);
				break;
			case OpPhi:
				// declared at the function's start, assigned on the edges
				break;
			case OpLoopMerge:
			case OpSelectionMerge: {
				if (block == nullptr) {
					log_internal_error("ShaderSpirv::get_block()", "block %u has no record\n", current_label);
					return;
				}
				// the header's own instructions run once per iteration, the text
				// before a loop only once
				if (op == OpLoopMerge && !is_quiet_block(current_label, true, pending)) {
					log_error("ShaderSpirv::get_merge(): unknown LoopMerge header %u\n", current_label);
					return;
				}
				uint32_t merge = it[1];
				get_merge_flow(out, *block, it, indent, pending, loop);
				if (!follow_jump(merge, get_jump(merge, loop, true), op)) return;
				break;
			}
			case OpBranch:
			case OpBranchConditional: {
				uint32_t target = it[op == OpBranch ? 1 : 2];
				if (!append_branch_copies(out, current_label)) return;
				if (op == OpBranchConditional && it[2] != it[3] && !append_loop_exit(out, it, loop, target)) return;
				if (!follow_jump(target, get_jump(target, loop, false), op)) return;
				break;
			}
			case OpSwitch:
				log_error("ShaderSpirv::get_block(): unknown branch %u\n", it[2]);
				return;
			case OpReturn: {
				// the end of a function body needs no return
				if (indent == 1) return;
				FlowNode &ret = out.add(FlowNode::Return);
				ret.text = render_function == entry_id ? get_entry_return() : String("return");
				return;
			}
			case OpReturnValue: {
				FlowNode &ret = out.add(FlowNode::Return);
				ret.condition = get_value(it[1], false);
				StringStack<64> line("return ");
				line.append(ret.condition);
				ret.text = static_cast<StringStack<64> &&>(line);
				return;
			}
			case OpUnreachable:
				return;
			default:
				if (!append_instruction(out, it, pending, temporary, statement)) return;
				break;
		}
		it = next;
	}
	log_internal_error("ShaderSpirv::get_block()", "block %u runs out of the module\n", current_label);
}

void ShaderSpirv::build_branch(FlowNode &out, uint32_t from, uint32_t target, uint32_t follow, uint32_t indent, Pending &pending, const Block *loop, bool loop_body) {
	Restore follow_scope(follow_label, follow);
	Restore continue_scope(continue_label, loop_body ? follow : continue_label);
	uint32_t saved_scope = current_scope;
	push_scope();
	build_branch_text(out, from, target, indent, pending, loop);
	current_scope = saved_scope;
}

void ShaderSpirv::build_branch_text(FlowNode &out, uint32_t from, uint32_t target, uint32_t indent, Pending &pending, const Block *loop) {
	if (target == follow_label) {
		// nothing to write but the assignments of a branch back to a loop
		if (target == back_header) append_phi_copies(out, from, target);
		return;
	}
	// a construct enters its own branches, case labels included
	switch (get_jump(target, loop, true)) {
		case JumpBreak:
			out.add(FlowNode::Break);
			break;
		case JumpContinue:
			if (append_jump_copies(out, from, target)) out.add(FlowNode::Continue);
			break;
		case JumpEnter:
			get_block_flow(out, target, indent, pending, loop);
			break;
		default:
			log_error("ShaderSpirv::get_block(): unknown branch %u\n", target);
			break;
	}
}

String ShaderSpirv::get_merge(const Block &block, const Iterator &it, uint32_t indent, Pending &pending, const Block *loop) {
	FlowNode *target = flow_target;
	flow_target = nullptr;
	FlowNode own;
	FlowNode &node = target ? *target : own;
	build_merge(node, block, it, indent, pending, loop);
	if (target) return String(FlowMark);
	return print_flow(node, indent);
}

void ShaderSpirv::build_merge(FlowNode &out, const Block &block, const Iterator &it, uint32_t indent, Pending &pending, const Block *loop) {
	if (!in_clause) {
		String declarations = get_statement(it, indent, pending);
		if (!declarations.empty()) out.add(FlowNode::Text).text = declarations;
	}
	Restore depth(nesting, nesting + 1);
	if (nesting > MaxNesting) {
		log_internal_error("ShaderSpirv::get_merge()", "nesting bound reached at %u\n", nesting);
		return;
	}
	int32_t op = it.get_opcode();
	uint32_t header = current_label;
	// the Phis that the branch of a selection leads to are assigned before it
	if (op == OpSelectionMerge && !append_branch_copies(out, header)) return;
	if (op == OpSelectionMerge && block.opcode == OpBranchConditional) {
		FlowNode node(FlowNode::If);
		node.control = get_control(it);
		node.condition = get_value(block.condition, false);
		build_branch(node.add(FlowNode::Sequence), header, block.target, block.merge, indent + 1, pending, loop, false);
		if (block.target_false != block.merge) build_branch(node.add(FlowNode::Sequence), header, block.target_false, block.merge, indent + 1, pending, loop, false);
		out.take(node);
	} else if (op == OpSelectionMerge && block.opcode == OpSwitch) {
		build_switch(out, block, it, indent, pending);
	} else if (op == OpSelectionMerge) {
		log_error("ShaderSpirv::get_merge(): unknown SelectionMerge branch %u\n", block.opcode);
	} else if (op == OpLoopMerge) {
		build_loop(out, block, it, indent, pending);
	} else {
		log_internal_error("ShaderSpirv::get_merge()", "opcode %u is no merge instruction\n", static_cast<uint32_t>(op));
	}
}

void ShaderSpirv::get_switch_cases(const Block &block, const Iterator &sw, Array<SwitchCase> &cases, Array<uint32_t> &literals) {
	uint32_t step = get_switch_step(sw);
	// cases that share a body are listed together, the default last unless it
	// shares a body with a case or runs on into one, or a case runs on into it
	// one walk over the literals finds each label's case through a map, a
	// second one sorts the literals by case, keeping their order within it
	Map<uint32_t, uint32_t> case_of_label;
	Array<uint32_t> case_of_literal;
	for (uint32_t k = 3; k + step - 1 < sw.get_size(); k += step) {
		render_steps++;
		uint32_t label = sw[k + step - 1];
		const uint32_t *index = case_of_label.get(label);
		uint32_t c = index ? *index : cases.size();
		if (index == nullptr) {
			case_of_label.insert(label, c);
			cases.append(SwitchCase{label, 0, 0, false});
		}
		cases[c].count++;
		case_of_literal.append(c);
	}
	uint32_t total = 0;
	for (uint32_t i = 0; i < cases.size(); i++) {
		cases[i].first = total;
		total += cases[i].count;
		cases[i].count = 0;
	}
	literals.resize(total);
	for (uint32_t n = 0, k = 3; k + step - 1 < sw.get_size(); k += step, n++) {
		render_steps++;
		SwitchCase &c = cases[case_of_literal[n]];
		literals[c.first + c.count++] = k;
	}
	uint32_t default_label = sw[2];
	// The case label that the case at `label` runs on into, 0 for none: its
	// blocks are followed along their branches, past nested constructs to
	// their merges, up to where they leave the case. Every block is walked
	// once for the whole switch.
	Set<uint32_t> walked;
	auto runs_into = [&](uint32_t label) -> uint32_t {
		Array<uint32_t> stack;
		stack.append(label);
		while (stack.size()) {
			uint32_t current = stack[stack.size() - 1];
			stack.pop();
			if (walked.find(current)) continue;
			walked.insert(current);
			render_steps++;
			const Block *b = blocks.get(current);
			if (b == nullptr) continue;
			uint32_t targets[2] = {0, 0};
			bool structured = b->merge != 0;
			if (structured) {
				targets[0] = b->merge;
			} else if (b->opcode == OpBranch) {
				targets[0] = b->target;
			} else if (b->opcode == OpBranchConditional) {
				targets[0] = b->target;
				targets[1] = b->target_false;
			}
			for (uint32_t target : targets) {
				if (target == 0 || target == block.merge) continue;
				if (target != label && (target == default_label || case_of_label.get(target))) return target;
				// a break or continue of an enclosing construct leaves the case
				if (!structured && exit_labels.find(target)) continue;
				stack.append(target);
			}
		}
		return 0;
	};
	if (default_label != block.merge) {
		const uint32_t *index = case_of_label.get(default_label);
		if (index) {
			cases[*index].is_default = true;
		} else {
			// The module lists a case that runs on into another right before
			// it, and one that runs on into the default right before the case
			// that the default runs on into: the default stands between them.
			uint32_t at = cases.size();
			const uint32_t *next = case_of_label.get(runs_into(default_label));
			if (next) {
				at = *next;
			} else {
				for (uint32_t i = 0; i < cases.size(); i++) {
					if (runs_into(cases[i].label) == default_label) at = i + 1;
				}
			}
			cases.append(SwitchCase{default_label, literals.size(), 0, true});
			for (uint32_t i = cases.size() - 1; i > at; i--) {
				SwitchCase moved = cases[i];
				cases[i] = cases[i - 1];
				cases[i - 1] = moved;
			}
		}
	}
}

void ShaderSpirv::build_switch(FlowNode &out, const Block &block, const Iterator &it, uint32_t indent, Pending &pending) {
	Iterator sw = get_iterator(block.index);
	if (sw.get_opcode() != OpSwitch) {
		log_internal_error("ShaderSpirv::get_merge()", "block of opcode %u is no switch\n", block.opcode);
		return;
	}
	uint32_t selector = sw[1];
	uint32_t step = get_switch_step(sw);
	uint32_t switch_label = current_label;
	FlowNode node(FlowNode::Switch);
	node.control = get_control(it);
	node.condition = get_value(selector, false);

	Array<SwitchCase> cases;
	Array<uint32_t> literals;
	get_switch_cases(block, sw, cases, literals);
	for (uint32_t i = 0; i < cases.size(); i++) {
		const SwitchCase &c = cases[i];
		FlowNode &item = node.add(FlowNode::Case);
		for (uint32_t n = 0; n < c.count; n++) {
			uint32_t k = literals[c.first + n];
			uint64_t literal = sw[k];
			if (step == 3) literal |= static_cast<uint64_t>(sw[k + 1]) << 32;
			item.labels.append(get_case_label(selector, literal));
		}
		item.is_default = c.is_default;
		if (c.is_default) item.default_label = get_default_label(selector);
		// a case falls through into the one listed after it
		uint32_t follow = (i + 1 < cases.size()) ? cases[i + 1].label : block.merge;
		FlowNode &body = item.add(FlowNode::Sequence);
		if (c.label == block.merge) {
			body.add(FlowNode::Break);
		} else {
			fall_label = 0;
			build_branch(body, switch_label, c.label, follow, indent + 2, pending, &block, false);
			if (follow != block.merge && fall_label == follow) {
				item.falls = true;
				item.fallthrough = get_fallthrough();
			}
		}
	}
	out.take(node);
}

bool ShaderSpirv::get_loop_head(const Block &block, uint32_t header, Pending &pending, uint32_t &condition_block, uint32_t &body, bool &negate) {
	const Block *h = &block;
	condition_block = header;
	if (block.opcode == OpBranchConditional) {
		// the header holds the condition
		if (has_branch_copies(header)) return false;
	} else {
		// the block after the header holds it, and nothing else
		condition_block = block.target;
		h = blocks.get(condition_block);
		if (h == nullptr || h->opcode != OpBranchConditional || h->merge != 0 || condition_block == block.continue_target) return false;
		if (rendered_labels.find(condition_block) || !is_quiet_block(condition_block, false, pending)) return false;
		if (has_phi_copies(header, condition_block) || has_branch_copies(condition_block)) return false;
	}
	negate = false;
	if (h->target_false == block.merge) {
		body = h->target;
	} else if (h->target == block.merge) {
		body = h->target_false;
		negate = true;
	} else {
		return false;
	}
	return body != block.merge;
}

void ShaderSpirv::build_loop(FlowNode &out, const Block &block, const Iterator &it, uint32_t indent, Pending &pending) {
	bool header_branch = block.opcode == OpBranchConditional;
	if (block.opcode != OpBranch && !header_branch) {
		log_error("ShaderSpirv::get_merge(): unknown LoopMerge block %u\n", block.opcode);
		return;
	}
	uint32_t header = current_label;
	uint32_t merge = block.merge;
	uint32_t continue_target = block.continue_target;
	if (continue_target == header) {
		build_self_loop(out, block, it);
		return;
	}
	const Block *c = blocks.get(continue_target);
	if (c == nullptr || rendered_labels.find(continue_target) || (!header_branch && blocks.get(block.target) == nullptr)) {
		log_error("ShaderSpirv::get_merge(): unknown LoopMerge branch %u\n", block.opcode);
		return;
	}
	// the statement's own scope: a for-statement's variable lives in it
	uint32_t saved_scope = current_scope;
	push_scope();
	if (block.init_variable && block.init_variable == for_variable && for_variable < render_scopes.size()) {
		render_scopes[for_variable] = current_scope;
		for_variable = 0;
	}
	auto fail = [&]() {
		log_error("ShaderSpirv::get_merge(): unknown LoopMerge branch %u\n", block.opcode);
		current_scope = saved_scope;
	};
	// What the continue block becomes: nothing where it only branches back;
	// the assignments of the header's Phis at every jump to it where it does
	// nothing else; the third clause of a for-statement where it has work of
	// its own; the condition of a do-while; and where it is none of those (a
	// condition spread over blocks, or assignments of Phis besides work of
	// its own), its construct at the end of the body, which must then be
	// the only way into it.
	enum { ContinueNone, ContinueCopies, ContinueClause, ContinueCondition, ContinueConstruct } kind = ContinueConstruct;
	bool back = c->merge == 0 && c->opcode == OpBranch && c->target == header;
	bool copies = has_branch_copies(continue_target);
	bool quiet = is_quiet_block(continue_target, false, pending);
	bool exit = c->merge == 0 && c->opcode == OpBranchConditional &&
		((c->target == header && c->target_false == merge) || (c->target == merge && c->target_false == header));
	const uint32_t *entries = predecessor_counts.get(continue_target);
	bool single = entries && *entries == 1;
	// nothing branches to it: it never runs
	if (entries == nullptr) kind = ContinueNone;
	else if (back && !copies && c->count == 2) kind = ContinueNone;
	else if (back && copies && quiet) kind = ContinueCopies;
	else if (back && (!copies || !single)) kind = ContinueClause;
	else if (exit && !copies && quiet && !header_branch) kind = ContinueCondition;
	if (kind == ContinueCondition) {
		// the condition of a do-while stands outside the body's scope too
		uint32_t budget = 65536;
		Iterator label = find_target(continue_target);
		if (reads_named_value(c->condition, it.get_index(), label.get_index(), budget)) kind = ContinueConstruct;
	}
	if (kind == ContinueConstruct && !single) {
		if (!copies) return fail();
		// its construct would have to stand at every jump to it
		const Array<PhiCopy> *list = nullptr;
		for (uint32_t target : {c->target, c->target_false}) {
			if (list == nullptr || list->size() == 0) list = phi_copies.get(get_edge(continue_target, target));
		}
		log_error("ShaderSpirv::get_merge(): unknown Phi %s assigned by a continue block that several branches reach\n",
			list && list->size() ? records[(*list)[0].phi].name.get() : "");
		current_scope = saved_scope;
		return;
	}
	if (kind == ContinueClause && copies) {
		// The third clause stands outside the body's scope: the values that
		// it assigns to the header's Phis must not read what the body names.
		const Array<PhiCopy> *list = phi_copies.get(get_edge(continue_target, header));
		Iterator label = find_target(continue_target);
		uint32_t budget = 65536;
		for (uint32_t i = 0; list && i < list->size(); i++) {
			if (!reads_named_value((*list)[i].value, it.get_index(), label.get_index(), budget)) continue;
			log_error("ShaderSpirv::get_merge(): unknown Phi %s assigned in the third clause of a for-statement\n", records[(*list)[i].phi].name.get());
			current_scope = saved_scope;
			return;
		}
	}
	FlowNode node(FlowNode::Loop);
	node.control = get_control(it);
	// the body, the continuing part and the third clause
	node.children.resize(3);
	FlowNode &body = node.children[0];
	if (kind == ContinueCondition) {
		// do-while
		String condition = (c->target == header) ? get_value(c->condition, false) : get_negation(c->condition);
		if (condition.empty()) return fail();
		rendered_labels.insert(continue_target);
		node.form = FlowNode::LoopTail;
		node.condition = condition;
		if (append_phi_copies(body, header, block.target)) build_branch(body, header, block.target, continue_target, indent + 1, pending, &block, true);
		out.take(node);
		current_scope = saved_scope;
		return;
	}
	uint32_t condition_block = 0;
	uint32_t entered = 0;
	bool negate = false;
	bool head = get_loop_head(block, header, pending, condition_block, entered, negate);
	bool clause = kind == ContinueClause;
	node.has_clause = clause;
	node.has_init = block.init_variable != 0;
	if (node.has_init && has_for_init) {
		// the store before the loop gave its variable
		node.init = static_cast<String &&>(for_init);
		for_init = String();
		has_for_init = false;
	}
	if (head) {
		// while and for: the header or the block after it holds the condition
		if (condition_block != header) rendered_labels.insert(condition_block);
		uint32_t value = blocks.get(condition_block)->condition;
		node.form = FlowNode::LoopHead;
		node.condition = negate ? get_negation(value) : get_value(value, false);
	}
	// A loop whose condition a head cannot hold: for(;;), its body opening
	// with the branch of the header or of the block after it, whose
	// `if(...) break;` leaves the loop.
	if (clause) {
		Restore follow(follow_label, header);
		Restore continues(continue_label, 0);
		Restore continue_copies_scope(continue_copies, 0);
		Restore back_scope(back_header, header);
		Restore clause_scope(in_clause, 1);
		// the clause is no indented text
		get_block_flow(node.children[2], continue_target, 0, pending, &block);
	} else if (kind != ContinueConstruct) {
		rendered_labels.insert(continue_target);
	}
	// the body, and what ends it, in one scope
	{
		Restore follow(follow_label, continue_target);
		Restore continues(continue_label, continue_target);
		Restore continue_copies_scope(continue_copies, kind == ContinueCopies ? continue_target : 0);
		Restore back_scope(back_header, 0);
		uint32_t body_scope = current_scope;
		push_scope();
		fall_label = 0;
		bool ok = true;
		if (!head && header_branch) {
			// the header's own branch, inside the body
			Iterator branch = get_iterator(block.index);
			entered = branch[2];
			ok = append_branch_copies(body, header);
			if (ok && branch[2] != branch[3]) ok = append_loop_exit(body, branch, &block, entered);
		} else if (!head) {
			entered = block.target;
			ok = append_phi_copies(body, header, entered);
		}
		if (ok) build_branch_text(body, head ? condition_block : header, entered, indent + 1, pending, &block);
		// the end of the body runs on into the continue block
		bool falls = fall_label == continue_target || entered == continue_target;
		if (kind == ContinueCopies && falls) {
			append_phi_copies(body, continue_target, header);
		} else if (kind == ContinueConstruct) {
			if (!falls) {
				log_error("ShaderSpirv::get_merge(): unknown LoopMerge branch %u\n", block.opcode);
			} else {
				Restore construct_follow(follow_label, header);
				Restore construct_continues(continue_label, header);
				Restore construct_copies(continue_copies, 0);
				Restore construct_back(back_header, header);
				get_block_flow(node.children[1], continue_target, indent + 1, pending, &block);
			}
		}
		current_scope = body_scope;
	}
	out.take(node);
	current_scope = saved_scope;
}

void ShaderSpirv::build_self_loop(FlowNode &out, const Block &block, const Iterator &it) {
	// A header that is its own continue target: every iteration is its
	// branch, which leaves the loop or goes back to it, assigning its Phis.
	uint32_t header = current_label;
	FlowNode node(FlowNode::Loop);
	node.control = get_control(it);
	node.single_block = true;
	node.children.resize(3);
	FlowNode &body = node.children[0];
	bool ok = true;
	{
		Restore follow(follow_label, header);
		Restore continues(continue_label, header);
		Restore continue_copies_scope(continue_copies, 0);
		Restore back_scope(back_header, header);
		uint32_t saved_scope = current_scope;
		push_scope();
		Iterator branch = get_iterator(block.index);
		uint32_t stay = block.target;
		ok = append_branch_copies(body, header);
		if (ok && block.opcode == OpBranchConditional && branch[2] != branch[3]) ok = append_loop_exit(body, branch, &block, stay);
		if (ok && stay != header) {
			log_error("ShaderSpirv::get_merge(): unknown LoopMerge branch %u\n", block.opcode);
			ok = false;
		}
		if (ok) ok = append_phi_copies(body, header, header);
		current_scope = saved_scope;
	}
	if (ok) out.take(node);
}

bool ShaderSpirv::has_phi_copies(uint32_t, uint32_t to) const {
	// every edge into a block with Phis assigns them all
	return phi_counts.get(to) != nullptr;
}

bool ShaderSpirv::has_branch_copies(uint32_t from) {
	const Block *block = blocks.get(from);
	if (block == nullptr || phi_counts.size() == 0) return false;
	if (block->opcode == OpBranch) return has_phi_copies(from, block->target);
	if (block->opcode == OpBranchConditional) return has_phi_copies(from, block->target) || has_phi_copies(from, block->target_false);
	if (block->opcode == OpSwitch) {
		Array<uint32_t> targets;
		get_switch_targets(get_iterator(block->index), targets);
		for (uint32_t i = 0; i < targets.size(); i++) {
			if (has_phi_copies(from, targets[i])) return true;
		}
	}
	return false;
}

bool ShaderSpirv::append_branch_copies(FlowNode &out, uint32_t from) {
	const Block *block = blocks.get(from);
	if (block == nullptr || phi_counts.size() == 0) return true;
	Array<uint32_t> targets;
	if (block->opcode == OpBranch) {
		targets.append(block->target);
	} else if (block->opcode == OpBranchConditional) {
		targets.append(block->target);
		targets.append(block->target_false);
	} else if (block->opcode == OpSwitch) {
		get_switch_targets(get_iterator(block->index), targets);
	}
	Set<uint32_t> seen;
	for (uint32_t i = 0; i < targets.size(); i++) {
		render_steps++;
		// a branch back to a loop's header assigns its Phis where it is taken
		if (seen.find(targets[i]) || (targets[i] == back_header && back_header != 0)) continue;
		seen.insert(targets[i]);
		if (!append_phi_copies(out, from, targets[i])) return false;
	}
	return true;
}

bool ShaderSpirv::append_jump_copies(FlowNode &out, uint32_t from, uint32_t target) {
	// a branch back to the loop's header
	if (target == back_header && back_header != 0) return append_phi_copies(out, from, target);
	// a jump to a continue block that is not written: its own branch back
	if (continue_copies == 0 || target != continue_copies) return true;
	const Block *block = blocks.get(continue_copies);
	if (block == nullptr) return true;
	return append_phi_copies(out, continue_copies, block->target);
}

void ShaderSpirv::get_read_phis(uint32_t value, const Set<uint32_t> &phis, Set<uint32_t> &read, uint32_t &budget) {
	// the values written into the text of this one, down to names
	Array<uint32_t> stack;
	Set<uint32_t> seen;
	stack.append(value);
	while (stack.size()) {
		uint32_t id = stack[stack.size() - 1];
		stack.pop();
		render_steps++;
		if (phis.find(id)) {
			read.insert(id);
			continue;
		}
		if (id >= render_flags.size() || !(render_flags[id] & RenderLocal) || named[id] || (render_flags[id] & (RenderTemporary | RenderStatement))) continue;
		if (seen.find(id)) continue;
		seen.insert(id);
		if (budget == 0 || --budget == 0) {
			// too far to follow: taken as reading them all
			for (auto phi = phis.begin(); phi != phis.end(); ++phi) read.insert(phi->key);
			return;
		}
		Iterator it = find_target(id);
		for (uint32_t k = 3; k < it.get_size(); k++) stack.append(it[k]);
	}
}

bool ShaderSpirv::reads_named_value(uint32_t value, uint32_t from, uint32_t to, uint32_t &budget) {
	// the values written into the text of this one, down to names
	Array<uint32_t> stack;
	Set<uint32_t> seen;
	stack.append(value);
	while (stack.size()) {
		uint32_t id = stack[stack.size() - 1];
		stack.pop();
		render_steps++;
		if (id >= render_flags.size() || !(render_flags[id] & RenderLocal) || seen.find(id)) continue;
		seen.insert(id);
		// too far to follow: taken as reading one
		if (budget == 0 || --budget == 0) return true;
		Iterator it = find_target(id);
		int32_t op = it.get_opcode();
		if (op == OpPhi || op == OpFunctionParameter || op == OpVariable || (render_flags[id] & RenderHoisted)) continue;
		uint32_t position = it.get_index();
		if (render_flags[id] & (RenderTemporary | RenderStatement | RenderNamedByAdd)) {
			if (position > from && position < to) return true;
			continue;
		}
		for (uint32_t k = 3; k < it.get_size(); k++) stack.append(it[k]);
	}
	return false;
}

String ShaderSpirv::get_shadow_name(uint32_t phi) {
	const String *name = phi_shadows.get(phi);
	if (name) return *name;
	// a name that no id of the module has
	if (shadow_scope == ShaderSpirvNamer::None) {
		shadow_scope = namer.add_scope(ShaderSpirvNamer::None);
		for (uint32_t id = 0; id < records.size(); id++) namer.take(shadow_scope, records[id].name);
	}
	String ret = records[phi].name;
	ret.append("_next");
	ret = namer.claim(shadow_scope, ret, ShaderSpirvNamer::FormUnderscore, phi);
	phi_shadows.insert(phi, ret);
	phi_shadow_declarations.add_statement(get_function_declaration(phi, ret));
	return ret;
}

bool ShaderSpirv::append_phi_copies(FlowNode &out, uint32_t from, uint32_t to) {
	const uint32_t *count = phi_counts.get(to);
	if (count == nullptr) return true;
	// every Phi of the block names one value for the edge
	const Array<PhiCopy> *copies = phi_copies.get(get_edge(from, to));
	bool complete = copies && copies->size() == *count;
	for (uint32_t i = 1; complete && i < copies->size(); i++) {
		if (indices[(*copies)[i].phi] <= indices[(*copies)[i - 1].phi]) complete = false;
	}
	if (!complete) {
		log_error("ShaderSpirv::get_block(): unknown Phi edge from block %u to block %u\n", from, to);
		return false;
	}
	// the assignments that change something: not of an undefined value, nor
	// of a Phi to itself
	Array<uint32_t> live;
	Set<uint32_t> targets;
	for (uint32_t i = 0; i < copies->size(); i++) {
		const PhiCopy &copy = (*copies)[i];
		if (copy.value == copy.phi || find_target(copy.value).get_opcode() == OpUndef) continue;
		live.append(i);
		targets.insert(copy.phi);
	}
	// the Phis that the value of another assignment reads keep their value in
	// a shadow until every value is computed
	Set<uint32_t> shadowed;
	if (live.size() > 1) {
		// the walks of one edge are bounded together
		uint32_t budget = 65536;
		for (uint32_t i = 0; i < live.size(); i++) {
			const PhiCopy &copy = (*copies)[live[i]];
			Set<uint32_t> read;
			get_read_phis(copy.value, targets, read, budget);
			for (auto phi = read.begin(); phi != read.end(); ++phi) {
				if (phi->key != copy.phi) shadowed.insert(phi->key);
			}
		}
	}
	auto assign = [&](const String &name, const String &value) {
		if (value.empty()) return;
		StringStack<64> line(name);
		line.append(" = ");
		line.append(value);
		append_statement(out, line);
	};
	for (uint32_t pass = 0; pass < 3; pass++) {
		for (uint32_t i = 0; i < live.size(); i++) {
			const PhiCopy &copy = (*copies)[live[i]];
			bool shadow = shadowed.find(copy.phi) != nullptr;
			// the shadows get their values, then the others, then the shadowed
			if (pass == 0 && shadow) assign(get_shadow_name(copy.phi), get_value(copy.value, false));
			else if (pass == 1 && !shadow) assign(records[copy.phi].name, get_value(copy.value, false));
			else if (pass == 2 && shadow) assign(records[copy.phi].name, get_shadow_name(copy.phi));
		}
	}
	return true;
}

String ShaderSpirv::get_function_declaration(uint32_t id, const String &name) {
	Iterator it = get_target(id);
	StringStack<64> ret(get_type(it[1], nullptr));
	ret.append(' ');
	ret.append(name);
	ret.append(get_array_suffix(it[1]));
	return String(static_cast<StringStack<64> &&>(ret));
}

bool ShaderSpirv::declare_phis(FlowNode &out, uint32_t first_label) {
	bool ok = true;
	if (phi_counts.get(first_label)) {
		log_error("ShaderSpirv::get_block(): unknown Phi in the first block %u of a function\n", first_label);
		ok = false;
	}
	for (uint32_t i = 0; i < phi_values.size(); i++) {
		uint32_t phi = phi_values[i];
		// a variable holds what a language can assign
		int32_t type = get_target(get_target(phi)[1]).get_opcode();
		if (type == OpTypePointer || type == OpTypeImage || type == OpTypeSampler || type == OpTypeSampledImage ||
			type == OpTypeAccelerationStructure || type == OpTypeRayQuery) {
			log_error("ShaderSpirv::get_block(): unknown Phi %s of opcode %u type\n", records[phi].name.get(), static_cast<uint32_t>(type));
			ok = false;
			continue;
		}
		named[phi] = 1;
		render_scopes[phi] = current_scope;
		out.add_statement(get_function_declaration(phi, records[phi].name));
	}
	for (uint32_t i = 0; i < hoisted_values.size(); i++) {
		uint32_t id = hoisted_values[i];
		out.add_statement(get_function_declaration(id, records[id].name));
	}
	return ok;
}

} // namespace Vexa
