// Per-vertex questions on the module: the variables of tessellation and
// geometry stages that hold one element per vertex of a patch or primitive,
// the built-ins among them, the pointers that stand for a variable or element
// as they are, and the writes of a control point by an invocation other than
// its own. The answers depend on the module alone; a backend decides what its
// target makes of them.
#include "shader/ShaderSpirv.h"
#include "shader/ShaderSpirvNumbers.h"

namespace Vexa {

using namespace Spirv;

bool ShaderSpirv::is_builtin_structure(uint32_t structure) const {
	if (structure >= members.size()) return false;
	for (uint32_t k = 0; k < members[structure].size(); k++) {
		if (members[structure][k].decorations.find(DecorationBuiltIn)) return true;
	}
	return false;
}

bool ShaderSpirv::is_builtin_variable(uint32_t variable) const {
	if (find_target(variable).get_opcode() != OpVariable) return false;
	if (variable < records.size() && records[variable].decorations.find(DecorationBuiltIn)) return true;
	Iterator type = get_target_type(variable);
	type = get_element_type(type);
	return type.get_opcode() == OpTypeStruct && is_builtin_structure(type[1]);
}

bool ShaderSpirv::is_patch_variable(uint32_t variable) const {
	if (variable >= records.size() || records[variable].decorations.find(DecorationPatch)) return true;
	Iterator type = get_target_type(variable);
	type = get_element_type(type);
	if (type.get_opcode() != OpTypeStruct || type[1] >= members.size() || members[type[1]].size() == 0) return false;
	for (uint32_t k = 0; k < members[type[1]].size(); k++) {
		if (!members[type[1]][k].decorations.find(DecorationPatch)) return false;
	}
	return true;
}

bool ShaderSpirv::is_patch_vertex_array(uint32_t variable) const {
	if (execution_model != ModelTessellationControl && execution_model != ModelTessellationEvaluation) return false;
	if (variable >= records.size() || records[variable].storage != StorageInput || find_target(variable).get_opcode() != OpVariable) return false;
	if (is_patch_variable(variable) || is_builtin_variable(variable)) return false;
	return get_target_type(variable).get_opcode() == OpTypeArray;
}

bool ShaderSpirv::is_vertex_builtin_array(uint32_t variable) const {
	if (variable >= records.size() || find_target(variable).get_opcode() != OpVariable) return false;
	uint32_t storage = records[variable].storage;
	bool arrayed = (storage == StorageInput && (execution_model == ModelTessellationControl || execution_model == ModelTessellationEvaluation ||
		execution_model == ModelGeometry)) || (storage == StorageOutput && execution_model == ModelTessellationControl);
	const uint32_t *builtin = records[variable].decorations.get(DecorationBuiltIn);
	if (!arrayed || builtin == nullptr) return false;
	Iterator type = get_target_type(variable);
	if (!is_array_opcode(type.get_opcode())) return false;
	// a distance array is one more level deep
	if (*builtin == BuiltInClipDistance || *builtin == BuiltInCullDistance) return is_array_opcode(get_target_type(type[2]).get_opcode());
	return *builtin == BuiltInPosition || *builtin == BuiltInPointSize;
}

bool ShaderSpirv::is_control_point_output(uint32_t variable) const {
	if (execution_model != ModelTessellationControl || variable >= records.size() || records[variable].storage != StorageOutput) return false;
	if (find_target(variable).get_opcode() != OpVariable || is_patch_variable(variable)) return false;
	if (!is_array_opcode(get_target_type(variable).get_opcode())) return false;
	const uint32_t *builtin = records[variable].decorations.get(DecorationBuiltIn);
	return builtin == nullptr || is_vertex_builtin_array(variable) || is_builtin_variable(variable);
}

bool ShaderSpirv::is_invocation_index(uint32_t index) const {
	Iterator it = find_target(index);
	for (uint32_t steps = 0; steps < 8 && (it.get_opcode() == OpCopyObject || it.get_opcode() == OpBitcast); steps++) it = find_target(it[3]);
	if (it.get_opcode() != OpLoad || it[3] >= records.size()) return false;
	const uint32_t *builtin = records[it[3]].decorations.get(DecorationBuiltIn);
	return builtin && *builtin == BuiltInInvocationId;
}

bool ShaderSpirv::is_block_type(uint32_t type) const {
	Iterator element = find_target(type);
	element = get_element_type(element);
	if (element.get_opcode() != OpTypeStruct || element[1] >= records.size()) return false;
	const Map<uint32_t, uint32_t> &decorations = records[element[1]].decorations;
	return decorations.find(DecorationBlock) || decorations.find(DecorationBufferBlock);
}

uint32_t ShaderSpirv::get_pointer_base(uint32_t pointer) const {
	for (uint32_t steps = 0; steps < 64; steps++) {
		Iterator it = find_target(pointer);
		int32_t op = it.get_opcode();
		if (op != OpCopyObject && !((op == OpAccessChain || op == OpInBoundsAccessChain) && it.get_size() == 4)) break;
		pointer = it[3];
	}
	return pointer;
}

uint32_t ShaderSpirv::get_first_chain(uint32_t pointer) const {
	uint32_t chain = 0;
	for (uint32_t steps = 0; steps < 64; steps++) {
		pointer = get_pointer_base(pointer);
		Iterator it = find_target(pointer);
		if (it.get_opcode() != OpAccessChain && it.get_opcode() != OpInBoundsAccessChain) return (it.get_opcode() == OpVariable) ? chain : 0;
		chain = pointer;
		pointer = it[3];
	}
	return 0;
}

uint32_t ShaderSpirv::get_foreign_vertex_write(const Iterator &it) const {
	int32_t op = it.get_opcode();
	if (op != OpStore && op != OpCopyMemory) return 0;
	Iterator chain = find_target(get_first_chain(it[1]));
	if (chain.is_end() || chain.get_size() < 5) return 0;
	uint32_t variable = get_pointer_base(chain[3]);
	return (is_control_point_output(variable) && !is_invocation_index(chain[4])) ? variable : 0;
}

} // namespace Vexa
