// How the reader, the renderer and the backends reach the instructions of a
// loaded module: the iterator over the words, the `get_target` family that
// finds the instruction behind a result id and follows it to its type,
// variable, record or built-in, and the predicates that sort opcodes and types
// into the categories the renderer treats alike.
//
// An id at or above the size of `indices` counts as undefined, and every
// chain is walked at most once per id the module has: the checking pass
// already rules out cycles, the limit keeps that true for a module that a
// backend rewrote. While `load` runs, undefined ids and unknown opcodes give
// the empty results without a message (see ShaderSpirv.h).
#include "shader/ShaderSpirv.h"
#include "shader/ShaderSpirvCheck.h"
#include "shader/ShaderSpirvNumbers.h"

#include "core/Log.h"

#include <cstring>

namespace Vexa {

using namespace Spirv;

namespace {

// The word index of the instruction that defines an id which the reader does
// not index, or 0 where none does: the one whose result word, by the operand
// layout of the checking pass, holds the id, or else the first one of an
// opcode without a layout that holds it in its first or second word (such an
// instruction defines before it is used).
uint32_t find_definition(const Array<uint32_t> &words, uint32_t id) {
	if (id == 0) return 0;
	for (uint32_t i = 5; i < words.size();) {
		uint32_t count = words[i] >> 16;
		if (count == 0 || count > words.size() - i) break;
		const OperandLayout *layout = find_operand_layout(words[i] & 0xffffu);
		if (layout) {
			const char *r = strchr(layout->operands, 'r');
			uint32_t p = r ? static_cast<uint32_t>(r - layout->operands) + 1 : 0;
			if (p && p < count && words[i + p] == id) return i;
		} else if ((count > 1 && words[i + 1] == id) || (count > 2 && words[i + 2] == id)) {
			return i;
		}
		i += count;
	}
	return 0;
}

} // namespace

ShaderSpirv::Iterator ShaderSpirv::Iterator::advance(int32_t n) const {
	Iterator it = *this;
	int64_t position = static_cast<int64_t>(current - begin) + n;
	if (current >= end || position < 0 || position >= end - begin) it.current = end;
	else it.current = begin + position;
	return it;
}

ShaderSpirv::Iterator ShaderSpirv::get_iterator(uint32_t index) const {
	Iterator it;
	it.begin = words.get();
	it.end = it.begin + words.size();
	it.current = (index < words.size()) ? it.begin + index : it.end;
	return it;
}

ShaderSpirv::Iterator ShaderSpirv::get_end() const {
	return get_iterator(words.size());
}

ShaderSpirv::Iterator ShaderSpirv::find_target(uint32_t id) const {
	if (id >= indices.size() || indices[id] == 0xffffffffu) return get_end();
	return get_iterator(indices[id]);
}

ShaderSpirv::Iterator ShaderSpirv::get_target(uint32_t id) const {
	if (id >= indices.size() || indices[id] == 0xffffffffu) {
		if (quiet_lookups) return get_end();
		// an id of an instruction that the reader does not index is one the
		// output has no text for; any other is the renderer's own fault. The
		// search walks the words, so only the messages that are printed do it.
		uint32_t at = (id < indices.size() && errors < MaxLoggedErrors) ? find_definition(words, id) : 0;
		if (at) log_error("ShaderSpirv::get_target(): unknown opcode %u of %u\n", words[at] & 0xffffu, id);
		else log_internal_error("ShaderSpirv::get_target()", "invalid index %u\n", id);
		return get_end();
	}
	return get_iterator(indices[id]);
}

ShaderSpirv::Iterator ShaderSpirv::get_target_type(uint32_t id) const {
	Iterator it = get_target(id);
	for (uint32_t steps = 0; steps <= indices.size(); steps++) {
		int32_t op = it.get_opcode();
		if (op == OpTypePointer) it = get_target(it[3]);
		else if (is_type_opcode(op)) return it;
		else if (is_value_opcode(op)) it = get_target(it[1]);
		else break;
	}
	return get_end();
}

ShaderSpirv::Iterator ShaderSpirv::get_element_type(Iterator type) const {
	// a module may nest arrays deeply, but no target takes more levels than this
	for (uint32_t steps = 0; steps < 64 && is_array_opcode(type.get_opcode()); steps++) type = get_target_type(type[2]);
	return type;
}

ShaderSpirv::Iterator ShaderSpirv::get_target_base_type(uint32_t id) const {
	Iterator it = get_target(id);
	for (uint32_t steps = 0; steps <= indices.size(); steps++) {
		int32_t op = it.get_opcode();
		if (op == OpTypePointer) it = get_target(it[3]);
		else if (op == OpTypeVector || op == OpTypeMatrix || is_array_opcode(op)) it = get_target(it[2]);
		else if (is_type_opcode(op)) return it;
		else if (is_value_opcode(op)) it = get_target(it[1]);
		else break;
	}
	return get_end();
}

ShaderSpirv::Iterator ShaderSpirv::get_target_variable(uint32_t id) const {
	Iterator it = get_target(id);
	for (uint32_t steps = 0; steps <= indices.size(); steps++) {
		int32_t op = it.get_opcode();
		if (op == OpVariable) return it;
		if (op == OpLoad || op == OpAccessChain) it = get_target(it[3]);
		else if (op == OpStore) it = get_target(it[1]);
		else break;
	}
	return get_end();
}

uint32_t ShaderSpirv::get_switch_step(const Iterator &sw) const {
	return (get_target_base_type(sw[1])[2] > 32) ? 3 : 2;
}

void ShaderSpirv::get_switch_targets(const Iterator &sw, Array<uint32_t> &targets) const {
	uint32_t step = get_switch_step(sw);
	targets.append(sw[2]);
	for (uint32_t k = 3; k + step - 1 < sw.get_size(); k += step) targets.append(sw[k + step - 1]);
}

void ShaderSpirv::get_branch_targets(const Iterator &branch, Array<uint32_t> &targets) const {
	int32_t op = branch.get_opcode();
	if (op == OpBranch) {
		targets.append(branch[1]);
	} else if (op == OpBranchConditional) {
		targets.append(branch[2]);
		targets.append(branch[3]);
	} else if (op == OpSwitch) {
		get_switch_targets(branch, targets);
	}
}

uint32_t ShaderSpirv::get_target_components(uint32_t id) const {
	// a matrix multiplies the components of its column type
	uint32_t factor = 1;
	Iterator type = get_target_type(id);
	for (uint32_t steps = 0; steps <= indices.size(); steps++) {
		int32_t op = type.get_opcode();
		switch (op) {
			case -1:
			case OpTypeVoid:
				return 0;
			case OpTypeBool:
			case OpTypeInt:
			case OpTypeFloat:
				return factor;
			case OpTypeVector:
				return factor * type[3];
			case OpTypeMatrix:
				factor *= type[3];
				type = get_target_type(type[2]);
				break;
			case OpTypeArray:
			case OpTypeRuntimeArray:
				type = get_target_type(type[2]);
				break;
			default:
				log_internal_error("ShaderSpirv::get_target_components()", "type opcode %u has no components\n", static_cast<uint32_t>(op));
				return 0;
		}
	}
	return 0;
}

int32_t ShaderSpirv::get_target_builtin(uint32_t id) const {
	// Built-ins sit on a variable, or on the members of the block it points
	// to, or of the elements of a per-vertex array of such blocks; so the walk
	// takes each kind of step at most once. Following every array level
	// instead would make `load` quadratic in a module that declares many
	// variables of one deeply nested array type.
	bool value_step = false;
	bool pointer_step = false;
	bool array_step = false;
	for (;;) {
		Iterator it = get_target(id);
		if (it.is_end() || id >= records.size()) return -1;
		const uint32_t *builtin = records[id].decorations.get(DecorationBuiltIn);
		if (builtin) return static_cast<int32_t>(*builtin);
		int32_t op = it.get_opcode();
		if (is_array_opcode(op)) {
			if (array_step) return -1;
			array_step = true;
			id = it[2];
		} else if (op == OpTypePointer) {
			if (pointer_step) return -1;
			pointer_step = true;
			id = it[3];
		} else if (is_type_opcode(op)) {
			return -1;
		} else if (is_value_opcode(op)) {
			if (value_step) return -1;
			value_step = true;
			id = it[1];
		} else {
			if (!quiet_lookups) log_error("ShaderSpirv::get_target_builtin(): unknown opcode %u\n", static_cast<uint32_t>(op));
			return -1;
		}
	}
}

const ShaderSpirv::Record *ShaderSpirv::get_target_record(uint32_t id) const {
	for (uint32_t steps = 0; steps <= indices.size(); steps++) {
		Iterator it = get_target(id);
		int32_t op = it.get_opcode();
		if (op == OpVariable) return (it[2] < records.size()) ? &records[it[2]] : nullptr;
		if (op == OpLoad) {
			id = it[3];
		} else if (op == OpStore) {
			id = it[1];
		} else if (op == OpAccessChain) {
			// the first constant index into a structure names the member
			Iterator type = get_target_type(it[3]);
			for (uint32_t k = 4; k < it.get_size(); k++) {
				int32_t type_op = type.get_opcode();
				if (type_op == OpTypeStruct) {
					Iterator index = get_target(it[k]);
					uint32_t member = index[3];
					if (index.get_opcode() == OpConstant && member < type.get_size() - 2 && type[1] < members.size() &&
						member < members[type[1]].size()) {
						return &members[type[1]][member];
					}
				} else if (is_array_opcode(type_op)) {
					type = get_target_type(type[2]);
				} else {
					break;
				}
			}
			return nullptr;
		} else {
			return nullptr;
		}
	}
	return nullptr;
}

uint32_t ShaderSpirv::get_operand_index(int32_t op) {
	if (op == OpGroupNonUniformBallotBitCount || in(op, OpGroupNonUniformIAdd, OpGroupNonUniformLogicalXor)) return 5;
	if (in(op, OpGroupNonUniformElect, OpGroupNonUniformQuadSwap)) return 4;
	if (is_value_opcode(op)) return 3;
	return 1;
}

int32_t ShaderSpirv::get_image_operand_index(int32_t op) {
	switch (op) {
		case OpImageSampleImplicitLod: case OpImageSampleExplicitLod: case OpImageSampleProjImplicitLod: case OpImageSampleProjExplicitLod: case OpImageFetch: case OpImageRead:
		case OpImageSparseSampleImplicitLod: case OpImageSparseSampleExplicitLod: case OpImageSparseSampleProjImplicitLod: case OpImageSparseSampleProjExplicitLod: case OpImageSparseFetch: case OpImageSparseRead:
			return 5;
		case OpImageSampleDrefImplicitLod: case OpImageSampleDrefExplicitLod: case OpImageSampleProjDrefImplicitLod: case OpImageSampleProjDrefExplicitLod: case OpImageGather: case OpImageDrefGather:
		case OpImageSparseSampleDrefImplicitLod: case OpImageSparseSampleDrefExplicitLod: case OpImageSparseSampleProjDrefImplicitLod: case OpImageSparseSampleProjDrefExplicitLod: case OpImageSparseGather: case OpImageSparseDrefGather:
			return 6;
		case OpImageWrite:
			return 4;
	}
	return -1;
}

bool ShaderSpirv::is_type_opcode(int32_t op) {
	return in(op, OpTypeVoid, OpTypePipe) || op == OpDecorationGroup || op == OpTypeRayQuery || op == OpTypeAccelerationStructure;
}

bool ShaderSpirv::is_array_opcode(int32_t op) {
	return op == OpTypeArray || op == OpTypeRuntimeArray;
}

bool ShaderSpirv::is_unary_opcode(int32_t op) {
	return op == OpSNegate || op == OpFNegate || op == OpLogicalNot || op == OpNot;
}

bool ShaderSpirv::is_binary_opcode(int32_t op) {
	return in(op, OpIAdd, OpSMulExtended) || in(op, OpLogicalEqual, OpLogicalAnd) || in(op, OpIEqual, OpFUnordGreaterThanEqual) || in(op, OpShiftRightLogical, OpBitwiseAnd);
}

bool ShaderSpirv::is_terminator_opcode(int32_t op) {
	// OpTerminateInvocation (4416), OpIgnoreIntersectionKHR (4448) and
	// OpTerminateRayKHR (4449) end their blocks as well: a block that holds
	// one has no other terminator
	return in(op, OpBranch, OpUnreachable) || op == OpTerminateInvocation || op == OpIgnoreIntersection || op == OpTerminateRay || op == OpEmitMeshTasks;
}

bool ShaderSpirv::is_image_opcode(int32_t op) {
	return in(op, OpSampledImage, OpImageWrite) || in(op, OpImageQueryFormat, OpImageQuerySamples) || in(op, OpImageSparseSampleImplicitLod, OpImageSparseDrefGather) || op == OpImageSparseRead;
}

bool ShaderSpirv::is_effect_opcode(int32_t op) {
	return in(op, OpEmitVertex, OpEndStreamPrimitive) || op == OpControlBarrier || op == OpMemoryBarrier ||
		in(op, OpAtomicLoad, OpAtomicXor) || op == OpAtomicFAddEXT || op == OpKill || op == OpTraceRay || op == OpExecuteCallable ||
		in(op, OpRayQueryInitialize, OpRayQueryProceed) || op == OpEmitMeshTasks || op == OpSetMeshOutputs ||
		op == OpReportIntersection;
}

bool ShaderSpirv::is_internal_opcode(int32_t op) {
	return is_effect_opcode(op) || op == OpTranspose || in(op, OpConvertFToU, OpBitcast) || in(op, OpAny, OpIsInf) ||
		op == OpLogicalNot || in(op, OpBitFieldInsert, OpBitCount) || in(op, OpDPdx, OpFwidthCoarse) ||
		op == OpImageSparseTexelsResident || in(op, OpGroupNonUniformElect, OpGroupNonUniformQuadSwap) ||
		op == OpSubgroupBallot || op == OpSubgroupFirstInvocation || in(op, OpSubgroupAll, OpSubgroupAllEqual) ||
		op == OpSubgroupReadInvocation || in(op, OpRayQueryProceed, OpRayQueryGetIntersectionType) ||
		in(op, OpRayQueryGetRayTMin, OpRayQueryGetIntersectionWorldToObject);
}

bool ShaderSpirv::is_value_opcode(int32_t op) {
	// OpAtomicStore (228) has no result: its third word is a scope id, and
	// taking it for a result would move that constant's definition onto the
	// store. OpReportIntersectionKHR (5334) has one.
	return op == OpUndef || op == OpExtInst || in(op, OpConstantTrue, OpConstantNull) || in(op, OpSpecConstantTrue, OpSpecConstantOp) ||
		op == OpFunction || op == OpFunctionParameter || op == OpFunctionCall ||
		in(op, OpVariable, OpLoad) || in(op, OpAccessChain, OpInBoundsPtrAccessChain) || in(op, OpVectorExtractDynamic, OpImageRead) ||
		in(op, OpImage, OpImageQuerySamples) || in(op, OpConvertFToU, OpBitcast) ||
		in(op, OpSNegate, OpSMulExtended) || in(op, OpAny, OpFUnordGreaterThanEqual) || in(op, OpShiftRightLogical, OpBitCount) || in(op, OpDPdx, OpFwidthCoarse) || op == OpAtomicLoad ||
		in(op, OpAtomicExchange, OpAtomicXor) || op == OpPhi || op == OpGroupAsyncCopy || in(op, OpGroupAll, OpGroupSMax) ||
		in(op, OpReadPipe, OpReserveWritePipePackets) || in(op, OpIsValidReserveId, OpGroupReserveWritePipePackets) ||
		in(op, OpEnqueueMarker, OpGetKernelPreferredWorkGroupSizeMultiple) || op == OpCreateUserEvent || op == OpIsValidEvent ||
		in(op, OpGetDefaultQueue, OpImageSparseTexelsResident) || op == OpAtomicFlagTestAndSet || op == OpImageSparseRead ||
		in(op, OpGroupNonUniformElect, OpGroupNonUniformQuadSwap) ||
		op == OpSubgroupBallot || op == OpSubgroupFirstInvocation || in(op, OpSubgroupAll, OpSubgroupAllEqual) || op == OpSubgroupReadInvocation ||
		op == OpRayQueryProceed || op == OpRayQueryGetIntersectionType || op == OpReportIntersection ||
		in(op, OpRayQueryGetRayTMin, OpRayQueryGetIntersectionWorldToObject) || op == OpAtomicFAddEXT;
}

bool ShaderSpirv::is_float_type(uint32_t id) const {
	Iterator type = get_target_type(id);
	if (type.get_opcode() == OpTypeVector) type = get_target(type[2]);
	return type.get_opcode() == OpTypeFloat;
}

bool ShaderSpirv::is_signed_type(uint32_t id) const {
	Iterator type = get_target_type(id);
	if (type.get_opcode() == OpTypeVector) type = get_target(type[2]);
	return type.get_opcode() == OpTypeInt && type[3] == 1;
}

bool ShaderSpirv::is_unsigned_type(uint32_t id) const {
	Iterator type = get_target_type(id);
	if (type.get_opcode() == OpTypeVector) type = get_target(type[2]);
	return type.get_opcode() == OpTypeInt && type[3] == 0;
}

bool ShaderSpirv::is_unused(const Iterator &start, uint32_t id) const {
	for (Iterator it = start; !it.is_end() && it.get_size() != 0; it = it.advance(it.get_size())) {
		int32_t op = it.get_opcode();
		if (op == OpFunctionEnd) break;
		if ((op == OpLoad || op == OpAccessChain) && it[3] == id) return false;
		if (op == OpFunctionCall) {
			for (uint32_t k = 4; k < it.get_size(); k++) {
				if (it[k] == id) return false;
			}
		}
	}
	return true;
}

bool ShaderSpirv::is_identifier(const char *name) {
	auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
	if (name == nullptr || !letter(*name)) return false;
	for (name++; *name; name++) {
		if (!letter(*name) && !is_digit(*name)) return false;
	}
	return true;
}

String ShaderSpirv::get_string(const Iterator &it, uint32_t index) {
	String ret;
	uint32_t size = it.get_size();
	for (uint32_t k = index; k < size; k++) {
		uint32_t word = it.current[k];
		for (uint32_t shift = 0; shift < 32; shift += 8) {
			char c = static_cast<char>((word >> shift) & 0xffu);
			if (c == 0) return ret;
			ret.append(c);
		}
	}
	return ret;
}

} // namespace Vexa
