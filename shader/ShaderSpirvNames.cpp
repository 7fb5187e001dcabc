// The names that the GLSL-like rendering gives to SPIR-V numbers: operator
// templates, built-in function and variable names, decoration keywords and the
// attributes placed before loops and selections. They are kept apart from the
// code that builds expressions so that a backend can override one name table
// and inherit everything else. A number without a name is an error of the
// rendering: it is logged and the output fails rather than showing a hole.
#include "shader/ShaderSpirv.h"
#include "shader/ShaderSpirvNumbers.h"

#include "core/Log.h"

namespace Vexa {

using namespace Spirv;

namespace {

uint32_t opcode_of(const ShaderSpirv::Iterator &it) {
	return static_cast<uint32_t>(it.get_opcode());
}

struct NumberName {
	uint32_t number;
	const char *name;
};

// a binary search in a table sorted by number
const char *find_name(const NumberName *table, uint32_t size, uint32_t number) {
	uint32_t lo = 0;
	uint32_t hi = size;
	while (lo < hi) {
		uint32_t mid = (lo + hi) / 2;
		if (table[mid].number == number) return table[mid].name;
		if (table[mid].number < number) lo = mid + 1;
		else hi = mid;
	}
	return nullptr;
}

#define TABLE_NAME(table, number) find_name(table, sizeof(table) / sizeof(table[0]), number)

const NumberName builtin_names[] = {
	{0, "gl_Position"}, {1, "gl_PointSize"}, {3, "gl_ClipDistance"}, {4, "gl_CullDistance"}, {5, "gl_VertexID"},
	{6, "gl_InstanceID"}, {7, "gl_PrimitiveID"}, {8, "gl_InvocationID"}, {9, "gl_Layer"}, {10, "gl_ViewportIndex"},
	{11, "gl_TessLevelOuter"}, {12, "gl_TessLevelInner"}, {13, "gl_TessCoord"}, {14, "gl_PatchVerticesIn"},
	{15, "gl_FragCoord"}, {16, "gl_PointCoord"}, {17, "gl_FrontFacing"}, {18, "gl_SampleID"},
	{19, "gl_SamplePosition"}, {20, "gl_SampleMask"}, {22, "gl_FragDepth"}, {24, "gl_NumWorkGroups"},
	{25, "gl_WorkGroupSize"}, {26, "gl_WorkGroupID"}, {27, "gl_LocalInvocationID"}, {28, "gl_GlobalInvocationID"},
	{29, "gl_LocalInvocationIndex"}, {31, "gl_GlobalSize"}, {36, "gl_SubgroupSize"}, {38, "gl_NumSubgroups"},
	{40, "gl_SubgroupID"}, {41, "gl_SubgroupInvocationID"}, {42, "gl_VertexIndex"}, {43, "gl_InstanceIndex"},
	{4416, "gl_SubgroupEqMask"}, {4417, "gl_SubgroupGeMask"}, {4418, "gl_SubgroupGtMask"},
	{4419, "gl_SubgroupLeMask"}, {4420, "gl_SubgroupLtMask"}, {4424, "gl_BaseVertex"}, {4425, "gl_BaseInstance"},
	{4426, "gl_DrawIndex"}, {4438, "gl_DeviceIndex"}, {4440, "gl_ViewIndex"}, {4992, "gl_BaryCoordNoPerspAMD"},
	{4993, "gl_BaryCoordNoPerspCentroidAMD"}, {4994, "gl_BaryCoordNoPerspSampleAMD"},
	{4995, "gl_BaryCoordSmoothAMD"}, {4996, "gl_BaryCoordSmoothCentroidAMD"},
	{4997, "gl_BaryCoordSmoothSampleAMD"}, {4998, "gl_BaryCoordPullModelAMD"}, {5014, "gl_FragStencilRefEXT"},
	{5253, "gl_ViewportMaskNV"}, {5274, "gl_TaskCountNV"}, {5275, "gl_PrimitiveCountNV"},
	{5276, "gl_PrimitiveIndicesNV"},
};

// The modulo of OpSMod and OpFMod takes the sign of the divisor, unlike '%':
// smod(a, b) and mod(a, b) are a - b * floor(a / b), exact in integers for
// smod; a backend writes them in its own words through `get_binary_name`.
const NumberName binary_names[] = {
	{128, "%l + %r"}, {129, "%l + %r"}, {130, "%l - %r"}, {131, "%l - %r"}, {132, "%l * %r"}, {133, "%l * %r"},
	{134, "%l / %r"}, {135, "%l / %r"}, {136, "%l / %r"}, {137, "%l % %r"}, {139, "smod(%l, %r)"}, {141, "mod(%l, %r)"},
	{142, "%l * %r"}, {143, "%l * %r"}, {144, "%l * %r"}, {145, "%l * %r"}, {146, "%l * %r"}, {147, "outerProduct(%l, %r)"}, {148, "dot(%l, %r)"},
	{164, "%l == %r"}, {165, "%l != %r"}, {166, "%l || %r"}, {167, "%l && %r"}, {170, "%l == %r"}, {171, "%l != %r"},
	{172, "%l > %r"}, {173, "%l > %r"}, {174, "%l >= %r"}, {175, "%l >= %r"}, {176, "%l < %r"}, {177, "%l < %r"},
	{178, "%l <= %r"}, {179, "%l <= %r"}, {180, "%l == %r"}, {181, "%l == %r"}, {182, "%l != %r"},
	{183, "%l != %r"}, {184, "%l < %r"}, {185, "%l < %r"}, {186, "%l > %r"}, {187, "%l > %r"}, {188, "%l <= %r"},
	{189, "%l <= %r"}, {190, "%l >= %r"}, {191, "%l >= %r"}, {194, "%l >> %r"}, {195, "%l >> %r"},
	{196, "%l << %r"}, {197, "%l | %r"}, {198, "%l ^ %r"}, {199, "%l & %r"},
};

// GLSL.std.450 instruction numbers 0 to 81
const char *const external_names[] = {
	"", "round", "roundEven", "trunc", "abs", "abs", "sign", "sign", "floor", "ceil", "fract", "radians",
	"degrees", "sin", "cos", "tan", "asin", "acos", "atan", "sinh", "cosh", "tanh", "asinh", "acosh", "atanh",
	"atan", "pow", "exp", "log", "exp2", "log2", "sqrt", "inversesqrt", "determinant", "inverse", "modf", "modf",
	"min", "min", "min", "max", "max", "max", "clamp", "clamp", "clamp", "mix", "mix", "step", "smoothstep", "fma",
	"frexp", "frexp", "ldexp", "packSnorm4x8", "packUnorm4x8", "packSnorm2x16", "packUnorm2x16", "packHalf2x16",
	"packDouble2x32", "unpackSnorm2x16", "unpackUnorm2x16", "unpackHalf2x16", "unpackSnorm4x8", "unpackUnorm4x8",
	"unpackDouble2x32", "length", "distance", "cross", "normalize", "faceforward", "reflect", "refract", "findLSB",
	"findMSB", "findMSB", "interpolateAtCentroid", "interpolateAtSample", "interpolateAtOffset", "min", "max",
	"clamp",
};
static_assert(sizeof(external_names) / sizeof(external_names[0]) == 82, "GLSL.std.450 has 81 instructions");

const NumberName internal_names[] = {
	{84, "transpose"}, {154, "any"}, {155, "all"}, {156, "isnan"}, {157, "isinf"}, {168, "not"},
	{201, "bitfieldInsert"}, {202, "bitfieldExtract"}, {203, "bitfieldExtract"}, {204, "bitfieldReverse"},
	{205, "bitCount"}, {207, "dFdx"}, {208, "dFdy"}, {209, "fwidth"}, {210, "dFdxFine"}, {211, "dFdyFine"},
	{212, "fwidthFine"}, {213, "dFdxCoarse"}, {214, "dFdyCoarse"}, {215, "fwidthCoarse"}, {218, "EmitVertex"},
	{219, "EndPrimitive"}, {220, "EmitStreamVertex"}, {221, "EndStreamPrimitive"}, {227, "atomicLoad"},
	{228, "atomicStore"}, {229, "atomicExchange"}, {230, "atomicCompSwap"}, {232, "atomicIncrement"},
	{233, "atomicDecrement"}, {234, "atomicAdd"}, {235, "atomicSub"}, {236, "atomicMin"}, {237, "atomicMin"},
	{238, "atomicMax"}, {239, "atomicMax"}, {240, "atomicAnd"}, {241, "atomicOr"}, {242, "atomicXor"},
	{316, "sparseTexelsResidentARB"}, {333, "subgroupElect"}, {334, "subgroupAll"}, {335, "subgroupAny"},
	{336, "subgroupAllEqual"}, {337, "subgroupBroadcast"}, {338, "subgroupBroadcastFirst"},
	{339, "subgroupBallot"}, {340, "subgroupInverseBallot"}, {341, "subgroupBallotBitExtract"},
	{342, "subgroupBallotBitCount"}, {343, "subgroupBallotFindLSB"}, {344, "subgroupBallotFindMSB"},
	{345, "subgroupShuffle"}, {346, "subgroupShuffleXor"}, {347, "subgroupShuffleUp"},
	{348, "subgroupShuffleDown"}, {349, "subgroupAdd"}, {350, "subgroupAdd"}, {351, "subgroupMul"},
	{352, "subgroupMul"}, {353, "subgroupMin"}, {354, "subgroupMin"}, {355, "subgroupMin"}, {356, "subgroupMax"},
	{357, "subgroupMax"}, {358, "subgroupMax"}, {359, "subgroupAnd"}, {360, "subgroupOr"}, {361, "subgroupXor"},
	{362, "subgroupAnd"}, {363, "subgroupOr"}, {364, "subgroupXor"}, {365, "subgroupQuadBroadcast"},
	{366, "subgroupQuadSwap"}, {4421, "ballotARB"}, {4422, "readFirstInvocationARB"}, {4428, "allInvocationsARB"},
	{4429, "anyInvocationARB"}, {4430, "allInvocationsEqualARB"}, {4432, "readInvocationARB"},
	{4445, "traceRayEXT"}, {4446, "executeCallableKHR"}, {4473, "rayQueryInitializeEXT"},
	{4474, "rayQueryTerminateEXT"}, {4475, "rayQueryGenerateIntersectionEXT"},
	{4476, "rayQueryConfirmIntersectionEXT"}, {4477, "rayQueryProceedEXT"},
	{4479, "rayQueryGetIntersectionTypeEXT"}, {5294, "EmitMeshTasksEXT"}, {5295, "SetMeshOutputsEXT"},
	{5334, "reportIntersectionEXT"}, {6016, "rayQueryGetRayTMinEXT"}, {6017, "rayQueryGetRayFlagsEXT"},
	{6018, "rayQueryGetIntersectionTEXT"}, {6019, "rayQueryGetIntersectionInstanceCustomIndexKHR"},
	{6020, "rayQueryGetIntersectionInstanceIdKHR"},
	{6021, "rayQueryGetIntersectionInstanceShaderBindingTableRecordOffsetKHR"},
	{6022, "rayQueryGetIntersectionGeometryIndexKHR"}, {6023, "rayQueryGetIntersectionPrimitiveIndexKHR"},
	{6024, "rayQueryGetIntersectionBarycentricsKHR"}, {6025, "rayQueryGetIntersectionFrontFaceKHR"},
	{6026, "rayQueryGetIntersectionCandidateAABBOpaqueKHR"}, {6027, "rayQueryGetIntersectionObjectRayDirectionKHR"},
	{6028, "rayQueryGetIntersectionObjectRayOriginKHR"}, {6029, "rayQueryGetWorldRayDirectionKHR"},
	{6030, "rayQueryGetWorldRayOriginKHR"}, {6031, "rayQueryGetIntersectionObjectToWorldKHR"},
	{6032, "rayQueryGetIntersectionWorldToObjectKHR"}, {6035, "atomicAdd"},
};

// the scalar type at the bottom of vectors, matrices and arrays
ShaderSpirv::Iterator scalar_type(const ShaderSpirv &spirv, uint32_t id) {
	return spirv.get_target_base_type(id);
}

} // namespace

String ShaderSpirv::get_unary_name(const Iterator &it) {
	switch (it.get_opcode()) {
		case OpSNegate:
		case OpFNegate:
			return String("-%v");
		case OpLogicalNot:
			return String("!%v");
		case OpNot:
			return String("~%v");
	}
	log_error("ShaderSpirv::get_unary_name(): unknown opcode %u\n", opcode_of(it));
	return String();
}

String ShaderSpirv::get_binary_name(const Iterator &it) {
	const char *name = TABLE_NAME(binary_names, opcode_of(it));
	if (name) return String(name);
	log_error("ShaderSpirv::get_binary_name(): unknown opcode %u\n", opcode_of(it));
	return String();
}

String ShaderSpirv::get_select_name(const Iterator &it) {
	if (it.get_opcode() != OpSelect) {
		log_internal_error("ShaderSpirv::get_select_name()", "opcode %u is no selection\n", opcode_of(it));
		return String();
	}
	// a vector of conditions picks each component on its own, as GLSL's mix
	// with a boolean vector does: the second value where the condition holds
	if (get_target_type(get_select_condition(it)).get_opcode() == OpTypeVector) return String("mix(%r, %l, %c)");
	return String("%c ? %l : %r");
}

bool ShaderSpirv::is_call_form(const Iterator &it) {
	switch (it.get_opcode()) {
		case OpSMod:
		case OpFMod:
		case OpOuterProduct:
		case OpDot:
			return true;
		case OpSelect:
			return get_target_type(get_select_condition(it)).get_opcode() == OpTypeVector;
	}
	return false;
}

String ShaderSpirv::get_decoration_name(uint32_t decoration) {
	if (decoration == DecorationNonUniform) return String("nonuniformEXT");
	log_error("ShaderSpirv::get_decoration_name(): unknown decoration %u\n", decoration);
	return String();
}

String ShaderSpirv::get_builtin_name(uint32_t builtin) {
	const char *name = TABLE_NAME(builtin_names, builtin);
	if (name) return String(name);
	log_error("ShaderSpirv::get_builtin_name(): unknown builtin %u\n", builtin);
	return String();
}

String ShaderSpirv::get_external_name(const Iterator &it) {
	uint32_t set = it[3];
	const String *name = imports.get(set);
	if (name == nullptr) {
		log_internal_error("ShaderSpirv::get_external_name()", "%u is no imported instruction set\n", set);
		return String();
	}
	if (*name != "GLSL.std.450") {
		log_error("ShaderSpirv::get_external_name(): unknown external %s\n", name->get());
		return String();
	}
	// the table ends with the last published instruction; a later number has no
	// spelling and must not be read from past the table
	uint32_t number = it[4];
	if (number == 0 || number >= sizeof(external_names) / sizeof(external_names[0])) {
		log_error("ShaderSpirv::get_external_name(): unknown instruction %u\n", number);
		return String();
	}
	return String(external_names[number]);
}

String ShaderSpirv::get_image_name(const Iterator &it) {
	int32_t op = it.get_opcode();
	const char *name = nullptr;
	switch (op) {
		case OpImageSampleImplicitLod: case OpImageSampleExplicitLod: case OpImageSampleDrefImplicitLod: case OpImageSampleDrefExplicitLod:
			name = "texture";
			break;
		case OpImageSampleProjImplicitLod: case OpImageSampleProjExplicitLod: case OpImageSampleProjDrefImplicitLod: case OpImageSampleProjDrefExplicitLod:
			name = "textureProj";
			break;
		case OpImageFetch:
			return String("texelFetch");
		case OpImageGather: case OpImageDrefGather:
			name = "textureGather";
			break;
		case OpImageRead:
			return String("imageLoad");
		case OpImageWrite:
			return String("imageStore");
		case OpImageQuerySizeLod:
		case OpImageQuerySize: {
			// the image operand's type says whether it is sampled
			Iterator image = get_target_type(it[3]);
			if (image.get_opcode() == OpTypeImage) {
				if (image[7] == 1) return String("textureSize");
				if (image[7] == 0 || image[7] == 2) return String("imageSize");
			}
			break;
		}
		case OpImageQueryLod:
			return String("textureQueryLod");
		case OpImageQueryLevels:
			return String("textureQueryLevels");
		case OpImageQuerySamples:
			return String("textureSamples");
		case OpImageSparseSampleImplicitLod: case OpImageSparseSampleExplicitLod: case OpImageSparseSampleDrefImplicitLod: case OpImageSparseSampleDrefExplicitLod:
			name = "sparseTexture";
			break;
		case OpImageSparseSampleProjImplicitLod: case OpImageSparseSampleProjExplicitLod: case OpImageSparseSampleProjDrefImplicitLod: case OpImageSparseSampleProjDrefExplicitLod:
			name = "sparseTextureProj";
			break;
		case OpImageSparseFetch:
			return String("sparseTexelFetch");
		case OpImageSparseGather: case OpImageSparseDrefGather:
			name = "sparseTextureGather";
			break;
	}
	if (name == nullptr) {
		log_error("ShaderSpirv::get_image_name(): unknown opcode %u\n", opcode_of(it));
		return String();
	}
	StringStack<64> ret(name);
	int32_t index = get_image_operand_index(op);
	if (index > 0 && static_cast<uint32_t>(index) < it.get_size()) {
		uint32_t mask = it[static_cast<uint32_t>(index)];
		if (mask & ImageOperandsLod) ret.append("Lod");
		if (mask & ImageOperandsGrad) ret.append("Grad");
		if (mask & ImageOperandsOffset) ret.append("Offset");
		if (mask & ImageOperandsConstOffset) ret.append("Offset");
	}
	return String(static_cast<StringStack<64> &&>(ret));
}

String ShaderSpirv::get_internal_name(const Iterator &it) {
	int32_t op = it.get_opcode();
	// conversions are constructors of the result type
	if (in(op, OpConvertFToU, OpFConvert)) return get_type(it[1], nullptr);
	if (op == OpBitcast) {
		Iterator result = scalar_type(*this, it[1]);
		Iterator operand = scalar_type(*this, it[3]);
		int32_t result_op = result.get_opcode();
		int32_t operand_op = operand.get_opcode();
		if (operand_op == OpTypeFloat && result_op == OpTypeInt) return String(result[3] ? "floatBitsToInt" : "floatBitsToUint");
		if (operand_op == OpTypeInt && result_op == OpTypeFloat) return String(operand[3] ? "intBitsToFloat" : "uintBitsToFloat");
		if (operand_op == OpTypeInt && result_op == OpTypeInt) return get_type(it[1], nullptr);
		log_error("ShaderSpirv::get_internal_name(): unknown opcode %u\n", opcode_of(it));
		return String();
	}
	const char *name = TABLE_NAME(internal_names, opcode_of(it));
	if (name) return String(name);
	log_error("ShaderSpirv::get_internal_name(): unknown opcode %u\n", opcode_of(it));
	return String();
}

String ShaderSpirv::get_control(const Iterator &it) {
	int32_t op = it.get_opcode();
	if (op == OpLoopMerge && it.get_size() > 3) {
		if (it[3] == LoopControlUnroll) return String("[unroll] ");
		if (it[3] == LoopControlDontUnroll) return String("[loop] ");
	} else if (op == OpSelectionMerge && it.get_size() > 2) {
		if (it[2] == SelectionControlFlatten) return String("[flatten] ");
		if (it[2] == SelectionControlDontFlatten) return String("[branch] ");
	}
	return String();
}

} // namespace Vexa
