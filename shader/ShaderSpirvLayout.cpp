// The memory layouts of buffer blocks: the size, alignment and strides that a
// target's rules give a type, and the check of a structure's Offset,
// ArrayStride and MatrixStride decorations against them. The outputs write
// blocks in the layout their targets give them, so a decoration that differs
// is what the output must spell itself or refuse; which rules a block takes,
// and what an issue means for the text, is the output's own policy.
//
// The rules are those of the buffer layouts of GL and Vulkan: a scalar takes
// its size; a vector of n components takes n times that, and aligns as its
// component (scalar layout) or as the whole vector, three components as four;
// a matrix is an array of its columns (of its rows when row-major); an array
// of elements strides by the element's size rounded up to its alignment (and
// in scalar layout ends with its last element, without that padding); a
// structure aligns as its most aligned member and lays its members out in
// order, each at the next multiple of its alignment. std140 rounds the
// alignment and strides of arrays, structures and matrices up to 16.
//
// Sizes are 64-bit and end at MaxLayoutSize: an array of many elements
// cannot wrap around to a small size and pass for a layout it does not have.
// Each type's layout is computed once per rule set, so a module of types that
// nest each other many times over costs no more than its types.
#include "shader/ShaderSpirv.h"
#include "shader/ShaderSpirvNumbers.h"

namespace Vexa {

using namespace Spirv;

namespace {

const LayoutRules layout_rules[LayoutRuleCount] = {
	{"std140", false, 16, true, true},
	{"std430", false, 1, true, true},
	{"scalar", true, 1, false, false},
};

uint64_t round_up(uint64_t value, uint64_t alignment) {
	return (alignment <= 1) ? value : (value + alignment - 1) / alignment * alignment;
}

TypeLayout failed(LayoutIssueKind failure) {
	TypeLayout ret;
	ret.ok = false;
	ret.failure = failure;
	return ret;
}

} // namespace

const LayoutRules &get_layout_rules(LayoutRule rule) {
	return layout_rules[rule < LayoutRuleCount ? rule : LayoutStd430];
}

TypeLayout ShaderSpirv::get_type_layout(uint32_t type_id, LayoutRule rule, bool row_major) {
	if (rule >= LayoutRuleCount) return failed(LayoutIssueMemberType);
	Iterator type = get_target(type_id);
	// only matrices, and arrays of them, differ between the majorities
	Iterator element = get_element_type(type);
	if (element.get_opcode() != OpTypeMatrix) row_major = false;
	uint64_t key = (static_cast<uint64_t>(type_id) << 8) | (static_cast<uint64_t>(rule) << 1) | (row_major ? 1u : 0u);
	if (const TypeLayout *known = type_layouts.get(key)) return *known;
	DepthGuard guard(*this);
	if (!guard.enter("ShaderSpirv::get_type_layout()", type_id)) return failed(LayoutIssueMemberType);
	const LayoutRules &rules = layout_rules[rule];
	TypeLayout ret;
	switch (type.get_opcode()) {
		case OpTypeBool:
			ret.size = ret.alignment = 4;
			break;
		case OpTypeInt:
		case OpTypeFloat:
			ret.size = ret.alignment = type[2] / 8;
			break;
		case OpTypeVector: {
			TypeLayout scalar = get_type_layout(type[2], rule, false);
			if (!scalar.ok) return failed(scalar.failure);
			ret.size = scalar.size * type[3];
			ret.alignment = rules.component_alignment ? scalar.alignment : scalar.size * (type[3] == 3 ? 4 : type[3]);
			break;
		}
		case OpTypeMatrix: {
			// an array of columns, or of rows when row-major
			Iterator column = get_target(type[2]);
			if (column.get_opcode() != OpTypeVector) return failed(LayoutIssueMemberType);
			TypeLayout vector = get_type_layout(type[2], rule, false);
			if (!vector.ok) return failed(vector.failure);
			uint64_t count = type[3];
			if (row_major) {
				// a row holds one component of each column
				TypeLayout scalar = get_type_layout(column[2], rule, false);
				vector.size = scalar.size * count;
				vector.alignment = rules.component_alignment ? scalar.alignment : scalar.size * (count == 3 ? 4 : count);
				count = column[3];
			}
			ret.matrix_stride = round_up(round_up(vector.size, vector.alignment), rules.aggregate_alignment);
			ret.alignment = round_up(vector.alignment, rules.aggregate_alignment);
			ret.size = ret.matrix_stride * count;
			break;
		}
		case OpTypeArray:
		case OpTypeRuntimeArray: {
			TypeLayout layout = get_type_layout(type[2], rule, row_major);
			if (!layout.ok) return failed(layout.failure);
			if (layout.unsized) return failed(LayoutIssueRuntimeArray);
			ret.array_stride = round_up(round_up(layout.size, layout.alignment), rules.aggregate_alignment);
			ret.alignment = round_up(layout.alignment, rules.aggregate_alignment);
			ret.matrix_stride = layout.matrix_stride;
			if (type.get_opcode() == OpTypeRuntimeArray) {
				ret.unsized = true;
				break;
			}
			Iterator constant = get_target(type[3]);
			Iterator constant_type = get_target(constant[1]);
			// the stride stays known where the length fails
			if (constant.get_opcode() != OpConstant || constant_type.get_opcode() != OpTypeInt) {
				ret.ok = false;
				ret.failure = LayoutIssueArrayLength;
				break;
			}
			uint64_t length = constant[3];
			if (constant_type[2] > 32) length |= static_cast<uint64_t>(constant[4]) << 32;
			if (length == 0) break;
			// the elements before the last, and the last one
			uint64_t last = rules.padded_arrays ? ret.array_stride : layout.size;
			if (last > MaxLayoutSize || (ret.array_stride != 0 && length - 1 > (MaxLayoutSize - last) / ret.array_stride)) {
				ret.ok = false;
				ret.failure = LayoutIssueSize;
				break;
			}
			ret.size = ret.array_stride * (length - 1) + last;
			break;
		}
		case OpTypeStruct:
			ret = get_structure_layout(type[1], rule, nullptr);
			break;
		default:
			ret = failed(LayoutIssueMemberType);
			break;
	}
	if (ret.ok && ret.size > MaxLayoutSize) ret = failed(LayoutIssueSize);
	type_layouts.insert(key, ret);
	return ret;
}

TypeLayout ShaderSpirv::get_structure_layout(uint32_t structure, LayoutRule rule, Array<uint64_t> *offsets) {
	Iterator type = get_target(structure);
	if (type.get_opcode() != OpTypeStruct || structure >= members.size()) return failed(LayoutIssueMemberType);
	const LayoutRules &rules = layout_rules[rule];
	TypeLayout ret;
	ret.alignment = rules.aggregate_alignment;
	uint64_t cursor = 0;
	for (uint32_t k = 0; k < members[structure].size() && k + 2 < type.get_size(); k++) {
		if (ret.unsized) return failed(LayoutIssueRuntimeArray);
		bool row_major = members[structure][k].decorations.find(DecorationRowMajor) != nullptr;
		TypeLayout layout = get_type_layout(type[k + 2], rule, row_major);
		if (!layout.ok) return failed(layout.failure);
		uint64_t offset = round_up(cursor, layout.alignment);
		if (offsets) offsets->append(offset);
		cursor = offset + layout.size;
		if (cursor > MaxLayoutSize) return failed(LayoutIssueSize);
		if (layout.alignment > ret.alignment) ret.alignment = layout.alignment;
		ret.unsized = layout.unsized;
	}
	ret.size = rules.padded_structures ? round_up(cursor, ret.alignment) : cursor;
	if (ret.size > MaxLayoutSize) return failed(LayoutIssueSize);
	return ret;
}

bool ShaderSpirv::get_member_offsets(uint32_t structure, LayoutRule rule, Array<uint64_t> &offsets) {
	offsets.clear();
	if (rule >= LayoutRuleCount) return false;
	return get_structure_layout(structure, rule, &offsets).ok;
}

void ShaderSpirv::find_layout_issues(uint32_t structure, LayoutRule rule, Array<LayoutIssue> &issues) {
	find_layout_issues(structure, rule, false, issues);
}

void ShaderSpirv::find_layout_issues(uint32_t structure, LayoutRule rule, bool nested, Array<LayoutIssue> &issues) {
	if (rule >= LayoutRuleCount || checked_layouts[rule].find(structure)) return;
	checked_layouts[rule].insert(structure);
	Iterator type = get_target(structure);
	if (type.get_opcode() != OpTypeStruct || structure >= members.size()) return;
	DepthGuard guard(*this);
	if (!guard.enter("ShaderSpirv::find_layout_issues()", structure)) return;
	uint32_t count = members[structure].size();
	if (type.get_size() - 2 < count) count = type.get_size() - 2;
	uint64_t cursor = 0;
	for (uint32_t k = 0; k < count; k++) {
		const Record &member = members[structure][k];
		bool row_major = member.decorations.find(DecorationRowMajor) != nullptr;
		TypeLayout layout = get_type_layout(type[k + 2], rule, row_major);
		uint32_t first = issues.size();
		auto issue = [&](LayoutIssueKind kind, uint64_t decorated, uint64_t expected) {
			issues.append(LayoutIssue{kind, structure, k, decorated, expected, layout.alignment});
		};
		// the levels of the member's arrays, outermost first
		uint32_t levels[64];
		uint32_t depth = 0;
		Iterator element = get_target(type[k + 2]);
		while (depth < 64 && is_array_opcode(element.get_opcode())) {
			levels[depth++] = element[1];
			element = get_target(element[2]);
		}
		// the innermost first: a structure of the elements, then the strides
		// of the levels around it
		if (element.get_opcode() == OpTypeStruct) find_layout_issues(element[1], rule, true, issues);
		for (uint32_t level = depth; level-- > 0;) {
			Iterator array = get_target(levels[level]);
			const uint32_t *stride = records[levels[level]].decorations.get(DecorationArrayStride);
			TypeLayout elements = get_type_layout(array[2], rule, row_major);
			if (stride && elements.ok && !elements.unsized) {
				uint64_t expected = get_type_layout(levels[level], rule, row_major).array_stride;
				if (*stride != expected) issue(LayoutIssueArrayStride, *stride, expected);
			}
			// a runtime array is the outermost level of the last member of a
			// block, nowhere else
			if (array.get_opcode() == OpTypeRuntimeArray && (nested || level != 0 || k + 1 != count)) issue(LayoutIssueRuntimeArray, 0, 0);
		}
		const uint32_t *matrix_stride = member.decorations.get(DecorationMatrixStride);
		if (element.get_opcode() == OpTypeMatrix && matrix_stride && layout.ok && *matrix_stride != layout.matrix_stride) {
			issue(LayoutIssueMatrixStride, *matrix_stride, layout.matrix_stride);
		}
		// nor may a structure that ends with one stand in another
		if (layout.ok && layout.unsized && depth == 0 && issues.size() == first) issue(LayoutIssueRuntimeArray, 0, 0);
		if (!layout.ok && issues.size() == first) issue(layout.failure, 0, 0);
		// each member begins at the next multiple of its alignment after the
		// end of the member before it, as that is decorated
		uint64_t expected = round_up(cursor, layout.alignment);
		const uint32_t *offset = member.decorations.get(DecorationOffset);
		uint64_t actual = offset ? *offset : expected;
		if (layout.ok && actual != expected) issue(LayoutIssueOffset, actual, expected);
		cursor = actual + layout.size;
		if (layout.ok && cursor > MaxLayoutSize) issue(LayoutIssueSize, 0, 0);
	}
}

} // namespace Vexa
