// Call text of the instructions that render as built-in functions: image
// sampling, fetches, reads, writes and queries; barriers, atomics, discard,
// subgroup, ray-tracing and mesh instructions; and the GLSL.std.450 extended
// instructions. Their names come from ShaderSpirvNames.cpp; here the operands
// are picked and ordered.
//
// A barrier whose scope or memory semantics have no GLSL spelling is an error,
// never an empty statement: a listing that leaves out a barrier is wrong.
#include "shader/ShaderSpirv.h"
#include "shader/ShaderSpirvNumbers.h"

#include "core/Log.h"

namespace Vexa {

using namespace Spirv;

namespace {

// the value of an OpConstant operand; false for anything else
bool constant_value(const ShaderSpirv &spirv, uint32_t id, uint32_t &value) {
	ShaderSpirv::Iterator it = spirv.get_target(id);
	if (it.get_opcode() != OpConstant) return false;
	value = it[3];
	return true;
}

} // namespace

String ShaderSpirv::get_operands(const Iterator &it, uint32_t first, uint32_t skip) {
	StringStack<64> ret;
	for (uint32_t k = first; k < it.get_size(); k++) {
		if (k == skip) continue;
		if (!ret.empty()) ret.append(", ");
		ret.append(get_operand(it, k, false));
	}
	return String(static_cast<StringStack<64> &&>(ret));
}

String ShaderSpirv::get_external_value(const Iterator &it, bool) {
	String name = get_external_name(it);
	if (name.empty()) return String();
	StringStack<64> ret(name);
	ret.append('(');
	ret.append(get_operands(it, 5, ~0u));
	ret.append(')');
	String text(static_cast<StringStack<64> &&>(ret));
	// SAbs of an unsigned value, UMax of signed ones, ...: the operands went
	// into the instruction's signedness, and the result comes back
	if (is_sign_cast_result(it)) return get_sign_cast_result(it, text);
	return text;
}

namespace {

// the component count and width of a scalar or vector of numbers; false for
// any other type (pointers are not followed)
bool numeric_shape(const ShaderSpirv &spirv, uint32_t type, uint32_t &count, uint32_t &width) {
	ShaderSpirv::Iterator it = spirv.get_target(type);
	count = 1;
	if (it.get_opcode() == OpTypeVector) {
		count = it[3];
		it = spirv.get_target(it[2]);
	}
	width = it[2];
	return it.get_opcode() == OpTypeInt || it.get_opcode() == OpTypeFloat;
}

} // namespace

String ShaderSpirv::get_bit_cast(uint32_t type, uint32_t, const String &value) {
	StringStack<64> ret("bitcast<");
	ret.append(get_type(type, nullptr));
	ret.append(">(");
	ret.append(value);
	ret.append(')');
	return String(static_cast<StringStack<64> &&>(ret));
}

String ShaderSpirv::get_barrier(const Iterator &it) {
	if (it.get_opcode() == OpControlBarrier) {
		uint32_t scope = 0;
		if (constant_value(*this, it[1], scope)) {
			if (scope == ScopeWorkgroup) return String("barrier()");
			if (scope == ScopeSubgroup) return String("subgroupBarrier()");
		}
		log_error("ShaderSpirv::get_intrinsic_value(): unknown ControlBarrier scope %u\n", scope);
		return String();
	}
	uint32_t scope = 0;
	uint32_t semantics = 0;
	if (constant_value(*this, it[1], scope) && constant_value(*this, it[2], semantics)) {
		uint32_t mask = semantics & (MemorySemanticsUniformMemory | MemorySemanticsWorkgroupMemory | MemorySemanticsImageMemory);
		const char *prefix = (scope == ScopeDevice) ? "memoryBarrier" : (scope == ScopeSubgroup) ? "subgroupMemoryBarrier" : nullptr;
		if (prefix) {
			const char *suffix = (mask == (MemorySemanticsUniformMemory | MemorySemanticsWorkgroupMemory | MemorySemanticsImageMemory)) ? "" :
				(mask & MemorySemanticsWorkgroupMemory) ? "Shared" : (mask & MemorySemanticsUniformMemory) ? "Buffer" :
				(mask & MemorySemanticsImageMemory) ? "Image" : nullptr;
			if (suffix) return String::format("%s%s()", prefix, suffix);
		} else if (scope == ScopeWorkgroup && mask == (MemorySemanticsUniformMemory | MemorySemanticsWorkgroupMemory | MemorySemanticsImageMemory)) {
			return String("groupMemoryBarrier()");
		}
	}
	log_error("ShaderSpirv::get_intrinsic_value(): unknown MemoryBarrier semantics %u %u\n", scope, semantics);
	return String();
}

String ShaderSpirv::get_atomic(const Iterator &it, const String &name) {
	StringStack<64> ret;
	Iterator pointer = get_target(it[3]);
	StringStack<64> arguments;
	if (pointer.get_opcode() == OpImageTexelPointer) {
		ret.append("imageA");
		ret.append(name.get() + 1);
		arguments.append(get_value(pointer[3], false));
		arguments.append(", ");
		arguments.append(get_value(pointer[4], false));
		// the sample operand counts only for a multisampled image
		Iterator image = get_target_type(pointer[3]);
		if (image.get_opcode() == OpTypeImage && image[6] != 0) {
			arguments.append(", ");
			arguments.append(get_value(pointer[5], false));
		}
	} else {
		ret.append(name);
		arguments.append(get_value(it[3], false));
	}
	if (it.get_size() == 7) {
		arguments.append(", ");
		arguments.append(get_value(it[6], false));
	} else if (it.get_size() >= 9) {
		// GLSL takes the comparator before the new value
		arguments.append(", ");
		arguments.append(get_value(it[8], false));
		arguments.append(", ");
		arguments.append(get_value(it[7], false));
	}
	ret.append('(');
	ret.append(arguments);
	ret.append(')');
	return String(static_cast<StringStack<64> &&>(ret));
}

bool ShaderSpirv::get_subgroup_name(const Iterator &it, const String &name, String &out, uint32_t &skip) {
	int32_t op = it.get_opcode();
	if (op == OpGroupNonUniformBallotBitCount || in(op, OpGroupNonUniformIAdd, OpGroupNonUniformLogicalXor)) {
		uint32_t group = it[4];
		const char *word = nullptr;
		bool vendor = false;
		if (op == OpGroupNonUniformBallotBitCount) {
			word = (group == GroupOperationInclusiveScan) ? "Inclusive" : (group == GroupOperationExclusiveScan) ? "Exclusive" : (group == GroupOperationReduce) ? "" : nullptr;
		} else {
			switch (group) {
				case GroupOperationReduce: word = ""; break;
				case GroupOperationInclusiveScan: word = "Inclusive"; break;
				case GroupOperationExclusiveScan: word = "Exclusive"; break;
				case GroupOperationClusteredReduce: word = "Clustered"; break;
				case GroupOperationPartitionedReduce: word = "Partitioned"; vendor = true; break;
				case GroupOperationPartitionedInclusiveScan: word = "PartitionedInclusive"; vendor = true; break;
				case GroupOperationPartitionedExclusiveScan: word = "PartitionedExclusive"; vendor = true; break;
			}
		}
		if (word == nullptr) {
			log_error("ShaderSpirv::get_intrinsic_value(): unknown GroupOperation %u\n", group);
			return false;
		}
		uint32_t at = (op == OpGroupNonUniformBallotBitCount) ? 14 : 8;
		out.append(name.get(), at);
		out.append(word);
		out.append(name.get() + at);
		if (vendor) out.append("NV");
	} else if (op == OpGroupNonUniformQuadSwap) {
		uint32_t direction = 0;
		static const char *const directions[] = {"Horizontal", "Vertical", "Diagonal"};
		if (!constant_value(*this, it[5], direction) || direction > 2) {
			log_error("ShaderSpirv::get_intrinsic_value(): unknown QuadSwap direction %u\n", direction);
			return false;
		}
		out.append(name);
		out.append(directions[direction]);
		skip = 5;
	} else {
		out.append(name);
	}
	return true;
}

String ShaderSpirv::get_intrinsic_value(const Iterator &it, bool) {
	int32_t op = it.get_opcode();
	if (op == OpControlBarrier || op == OpMemoryBarrier) return get_barrier(it);
	if (op == OpKill) return String("discard");
	if (op == OpBitcast) {
		// the bits of two 16-bit values in one 32-bit value, and the like, are
		// no conversion of one component
		uint32_t result_count = 0;
		uint32_t result_width = 0;
		uint32_t operand_count = 0;
		uint32_t operand_width = 0;
		uint32_t operand_type = get_target(it[3])[1];
		if (numeric_shape(*this, it[1], result_count, result_width) &&
			numeric_shape(*this, operand_type, operand_count, operand_width) && result_count != operand_count) {
			return get_bit_cast(it[1], operand_type, get_value(it[3], false));
		}
	}
	if (op == OpConvertFToS && is_unsigned_type(it[1])) {
		// a negative value converts to a signed integer, whose bits are the result
		StringStack<64> ret(get_integer_type(it[1], true));
		ret.append('(');
		ret.append(get_value(it[3], false));
		ret.append(')');
		return get_sign_cast(it[1], false, String(static_cast<StringStack<64> &&>(ret)));
	}
	String name = get_internal_name(it);
	if (name.empty()) return String();
	if ((in(op, OpAtomicLoad, OpAtomicXor) || op == OpAtomicFAddEXT) && it.get_size() >= 7) return get_atomic(it, name);
	StringStack<64> ret;
	uint32_t first = get_operand_index(op);
	uint32_t skip = ~0u;
	if (in(op, OpGroupNonUniformElect, OpGroupNonUniformQuadSwap)) {
		if (!get_subgroup_name(it, name, ret, skip)) return String();
	} else {
		ret.append(name);
	}
	ret.append('(');
	ret.append(get_operands(it, first, skip));
	ret.append(')');
	String text(static_cast<StringStack<64> &&>(ret));
	if (is_sign_cast_result(it)) return get_sign_cast_result(it, text);
	return text;
}

String ShaderSpirv::get_image_value(const Iterator &it, bool) {
	int32_t op = it.get_opcode();
	if (op == OpSampledImage) {
		StringStack<64> ret(get_sampled_image_type(it[1]));
		ret.append('(');
		ret.append(get_value(it[3], false));
		ret.append(", ");
		ret.append(get_value(it[4], false));
		ret.append(')');
		return String(static_cast<StringStack<64> &&>(ret));
	}
	String name = get_image_name(it);
	if (name.empty()) return String();
	StringStack<64> ret(name);
	bool sparse = in(op, OpImageSparseSampleImplicitLod, OpImageSparseDrefGather);
	if (sparse) ret.append("ARB");
	ret.append('(');
	if (in(op, OpImageSampleImplicitLod, OpImageDrefGather) || sparse) {
		ret.append(get_value(it[3], false));
		ret.append(", ");
		ret.append(get_value(it[4], false));
		bool dref = false;
		if (op == OpImageDrefGather || op == OpImageSparseDrefGather) {
			dref = true;
		} else if (op == OpImageSampleDrefImplicitLod || op == OpImageSampleDrefExplicitLod ||
			op == OpImageSparseSampleDrefImplicitLod || op == OpImageSparseSampleDrefExplicitLod) {
			// only a cube array takes the reference as its own argument
			Iterator sampled = get_target(it[3]);
			if (sampled.get_opcode() == OpSampledImage) {
				Iterator image = get_target_type(sampled[3]);
				dref = image.get_opcode() == OpTypeImage && image[3] == DimCube && image[5] != 0;
			}
		}
		if (dref) {
			ret.append(", ");
			ret.append(get_value(it[5], false));
		}
		int32_t index = get_image_operand_index(op);
		if (index > 0) {
			for (uint32_t k = static_cast<uint32_t>(index) + 1; k < it.get_size(); k++) {
				ret.append(", ");
				ret.append(get_value(it[k], false));
			}
		}
		if (op == OpImageGather || op == OpImageSparseGather) {
			ret.append(", ");
			ret.append(get_value(it[5], false));
		}
	} else if (op == OpImageRead) {
		ret.append(get_value(it[3], false));
		ret.append(", ");
		ret.append(get_value(it[4], false));
	} else if (op == OpImageWrite) {
		ret.append(get_value(it[1], false));
		ret.append(", ");
		ret.append(get_value(it[2], false));
		if (it.get_size() > 5) {
			ret.append(", ");
			ret.append(get_value(it[5], false));
		}
		ret.append(", ");
		ret.append(get_value(it[3], false));
	} else {
		ret.append(get_operands(it, 3, ~0u));
	}
	ret.append(')');
	return String(static_cast<StringStack<64> &&>(ret));
}

} // namespace Vexa
