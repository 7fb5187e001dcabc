// The SPIR-V numbers that the reader, its checking pass, the renderer and
// the compiler act on by name, and the test for a run of them. The numbers
// are fixed by the binary format, so each is written once here: copies kept
// in every source file could drift apart unnoticed, and a number missing
// from one file would be tempting to type in again as a bare literal. Only
// the numbers the code names are listed; tables that map many numbers to
// spellings keep their literals beside the spellings.
#pragma once

#include <cstdint>

namespace Vexa {
namespace Spirv {

// Unsigned like the words they are read from. Files holding an opcode in an
// int32_t (the iterator gives -1 past the end) compare it only for equality,
// which is the same for both signs since every opcode is below 2^31.
enum : uint32_t {
	OpNop = 0,
	OpUndef = 1,
	OpSource = 3,
	OpSourceExtension = 4,
	OpName = 5,
	OpMemberName = 6,
	OpLine = 8,
	OpExtInstImport = 11,
	OpExtInst = 12,
	OpEntryPoint = 15,
	OpExecutionMode = 16,
	OpCapability = 17,
	OpTypeVoid = 19,
	OpTypeBool = 20,
	OpTypeInt = 21,
	OpTypeFloat = 22,
	OpTypeVector = 23,
	OpTypeMatrix = 24,
	OpTypeImage = 25,
	OpTypeSampler = 26,
	OpTypeSampledImage = 27,
	OpTypeArray = 28,
	OpTypeRuntimeArray = 29,
	OpTypeStruct = 30,
	OpTypePointer = 32,
	OpTypeFunction = 33,
	OpTypeForwardPointer = 39,
	OpConstantTrue = 41,
	OpConstantFalse = 42,
	OpConstant = 43,
	OpConstantComposite = 44,
	OpConstantNull = 46,
	OpSpecConstantTrue = 48,
	OpSpecConstantFalse = 49,
	OpSpecConstant = 50,
	OpSpecConstantComposite = 51,
	OpFunction = 54,
	OpFunctionParameter = 55,
	OpFunctionEnd = 56,
	OpFunctionCall = 57,
	OpVariable = 59,
	OpImageTexelPointer = 60,
	OpLoad = 61,
	OpStore = 62,
	OpCopyMemory = 63,
	OpAccessChain = 65,
	OpInBoundsAccessChain = 66,
	OpPtrAccessChain = 67,
	OpArrayLength = 68,
	OpInBoundsPtrAccessChain = 70,
	OpDecorate = 71,
	OpMemberDecorate = 72,
	OpGroupDecorate = 74,
	OpGroupMemberDecorate = 75,
	OpVectorExtractDynamic = 77,
	OpVectorShuffle = 79,
	OpCompositeConstruct = 80,
	OpCompositeExtract = 81,
	OpCompositeInsert = 82,
	OpCopyObject = 83,
	OpTranspose = 84,
	OpSampledImage = 86,
	OpImageSampleDrefImplicitLod = 89,
	OpImageSampleDrefExplicitLod = 90,
	OpImageGather = 96,
	OpImageDrefGather = 97,
	OpImageRead = 98,
	OpImageWrite = 99,
	OpImage = 100,
	OpConvertFToU = 109,
	OpConvertFToS = 110,
	OpConvertSToF = 111,
	OpConvertUToF = 112,
	OpUConvert = 113,
	OpSConvert = 114,
	OpFConvert = 115,
	OpBitcast = 124,
	OpSNegate = 126,
	OpFNegate = 127,
	OpIAdd = 128,
	OpFAdd = 129,
	OpISub = 130,
	OpFSub = 131,
	OpIMul = 132,
	OpFMul = 133,
	OpUDiv = 134,
	OpSDiv = 135,
	OpFDiv = 136,
	OpUMod = 137,
	OpSRem = 138,
	OpSMod = 139,
	OpFRem = 140,
	OpFMod = 141,
	OpVectorTimesScalar = 142,
	OpMatrixTimesScalar = 143,
	OpVectorTimesMatrix = 144,
	OpMatrixTimesVector = 145,
	OpMatrixTimesMatrix = 146,
	OpDot = 148,
	OpAny = 154,
	OpAll = 155,
	OpIsNan = 156,
	OpIsInf = 157,
	OpLogicalEqual = 164,
	OpLogicalNotEqual = 165,
	OpLogicalOr = 166,
	OpLogicalAnd = 167,
	OpLogicalNot = 168,
	OpSelect = 169,
	OpIEqual = 170,
	OpINotEqual = 171,
	OpUGreaterThan = 172,
	OpSGreaterThan = 173,
	OpUGreaterThanEqual = 174,
	OpSGreaterThanEqual = 175,
	OpULessThan = 176,
	OpSLessThan = 177,
	OpULessThanEqual = 178,
	OpSLessThanEqual = 179,
	OpFOrdEqual = 180,
	OpFUnordEqual = 181,
	OpFOrdNotEqual = 182,
	OpFUnordNotEqual = 183,
	OpFOrdLessThan = 184,
	OpFUnordLessThan = 185,
	OpFOrdGreaterThan = 186,
	OpFUnordGreaterThan = 187,
	OpFOrdLessThanEqual = 188,
	OpFUnordLessThanEqual = 189,
	OpFOrdGreaterThanEqual = 190,
	OpFUnordGreaterThanEqual = 191,
	OpShiftRightLogical = 194,
	OpShiftRightArithmetic = 195,
	OpShiftLeftLogical = 196,
	OpBitwiseOr = 197,
	OpBitwiseXor = 198,
	OpBitwiseAnd = 199,
	OpNot = 200,
	OpBitFieldInsert = 201,
	OpBitFieldSExtract = 202,
	OpBitFieldUExtract = 203,
	OpBitCount = 205,
	OpDPdx = 207,
	OpFwidthCoarse = 215,
	OpEmitVertex = 218,
	OpEndStreamPrimitive = 221,
	OpControlBarrier = 224,
	OpMemoryBarrier = 225,
	OpAtomicLoad = 227,
	OpAtomicStore = 228,
	OpAtomicXor = 242,
	OpPhi = 245,
	OpLoopMerge = 246,
	OpSelectionMerge = 247,
	OpLabel = 248,
	OpBranch = 249,
	OpBranchConditional = 250,
	OpSwitch = 251,
	OpKill = 252,
	OpReturn = 253,
	OpReturnValue = 254,
	OpUnreachable = 255,
	OpImageSparseSampleDrefImplicitLod = 307,
	OpImageSparseSampleDrefExplicitLod = 308,
	OpImageSparseGather = 314,
	OpImageSparseDrefGather = 315,
	OpImageSparseTexelsResident = 316,
	OpNoLine = 317,
	OpImageSparseRead = 320,
	OpExecutionModeId = 331,
	OpDecorateId = 332,
	OpGroupNonUniformElect = 333,
	OpGroupNonUniformBallotBitCount = 342,
	OpGroupNonUniformIAdd = 349,
	OpGroupNonUniformSMin = 353,
	OpGroupNonUniformUMin = 354,
	OpGroupNonUniformSMax = 356,
	OpGroupNonUniformUMax = 357,
	OpGroupNonUniformLogicalXor = 364,
	OpGroupNonUniformQuadSwap = 366,
	OpSubgroupBallot = 4421,
	OpSubgroupFirstInvocation = 4422,
	OpSubgroupAll = 4428,
	OpSubgroupAllEqual = 4430,
	OpSubgroupReadInvocation = 4432,
	OpTraceRay = 4445,
	OpExecuteCallable = 4446,
	OpTypeRayQuery = 4472,
	OpRayQueryInitialize = 4473,
	OpRayQueryProceed = 4477,
	OpRayQueryGetIntersectionType = 4479,
	OpEmitMeshTasks = 5294,
	OpSetMeshOutputs = 5295,
	OpReportIntersection = 5334,
	OpTypeAccelerationStructure = 5341,
	OpDecorateString = 5632,
	OpMemberDecorateString = 5633,
	OpRayQueryGetRayTMin = 6016,
	OpRayQueryGetIntersectionWorldToObject = 6032,
	OpAtomicFAddEXT = 6035,
};

enum : uint32_t {
	CapabilityFloat16 = 9,
	CapabilityFloat64 = 10,
	CapabilityInt64 = 11,
	CapabilityInt16 = 22,
	CapabilityStorageImageMultisample = 27,
	CapabilityImageCubeArray = 34,
	CapabilitySampledCubeArray = 45,
	CapabilitySampledBuffer = 46,
	CapabilityImageBuffer = 47,
	CapabilityImageMSArray = 48,
	CapabilityStorageImageExtendedFormats = 49,
	CapabilityRayQuery = 4472,
	CapabilityRayTracing = 4479,
	CapabilityInt64Image = 5016,
};

enum : uint32_t {
	DecorationBlock = 2,
	DecorationBufferBlock = 3,
	DecorationRowMajor = 4,
	DecorationArrayStride = 6,
	DecorationMatrixStride = 7,
	DecorationBuiltIn = 11,
	DecorationPatch = 15,
	DecorationRestrict = 19,
	DecorationAliased = 20,
	DecorationVolatile = 21,
	DecorationCoherent = 23,
	DecorationLocation = 30,
	DecorationBinding = 33,
	DecorationOffset = 35,
	DecorationNonUniform = 5300,
};

enum : uint32_t {
	StorageUniformConstant = 0,
	StorageInput = 1,
	StorageUniform = 2,
	StorageOutput = 3,
	StorageWorkgroup = 4,
	StoragePrivate = 6,
	StorageFunction = 7,
	StoragePushConstant = 9,
	StorageStorageBuffer = 12,
	StorageRayPayload = 5338,
	StorageHitAttribute = 5339,
	StorageIncomingRayPayload = 5342,
	StoragePhysicalStorageBuffer = 5349,
	StorageTaskPayloadWorkgroup = 5402,
};

// bits of the memory operand of OpLoad, OpStore and OpCopyMemory
enum : uint32_t {
	MemoryAccessVolatile = 0x1,
	MemoryAccessMakePointerVisible = 0x10,
};

enum : uint32_t {
	ExecutionModeLocalSize = 17,
};

enum : uint32_t {
	DimBuffer = 5,
};

// Opcodes of one kind are often numbered in a run; the opcode is signed so that
// the -1 an iterator gives past the end falls below every run.
inline bool in(int32_t op, int32_t first, int32_t last) {
	return op >= first && op <= last;
}

enum : uint32_t {
	ModelVertex = 0,
	ModelTessellationControl = 1,
	ModelTessellationEvaluation = 2,
	ModelGeometry = 3,
	ModelFragment = 4,
	ModelGLCompute = 5,
	ModelRayGeneration = 5313,
	ModelIntersection = 5314,
	ModelAnyHit = 5315,
	ModelClosestHit = 5316,
	ModelMiss = 5317,
	ModelCallable = 5318,
	ModelTask = 5364,
	ModelMesh = 5365,
};

// the prefix of the names made up for a module of an execution model, also
// the suffix the compiler gives an entry point of it
inline const char *get_model_prefix(uint32_t model) {
	switch (model) {
		case ModelVertex: return "_v";
		case ModelTessellationControl: return "_tc";
		case ModelTessellationEvaluation: return "_te";
		case ModelGeometry: return "_g";
		case ModelFragment: return "_f";
		case ModelGLCompute: return "_c";
		case ModelTask: return "_t";
		case ModelMesh: return "_m";
		case ModelRayGeneration: return "_rg";
		case ModelIntersection: return "_ri";
		case ModelAnyHit: return "_rah";
		case ModelClosestHit: return "_rch";
		case ModelMiss: return "_rm";
		case ModelCallable: return "_rc";
	}
	return "_";
}

} // namespace Spirv
} // namespace Vexa
