// The name tables of the GLSL vocabulary: type keywords with their internal
// names and the reverse, the built-in functions lowered to core instructions
// and to GLSL.std.450 instructions, the reserved words, and the keywords that
// map to SPIR-V numbers (image formats, built-in variables, qualifiers). They
// are built from the literal rows below on the first compilation of an object
// and kept for all later ones.
#include "shader/compiler/Compiler.h"

namespace Vexa {

namespace {

struct NamePair {
	const char *key;
	const char *value;
};

struct NumberPair {
	const char *key;
	uint32_t value;
};

constexpr uint32_t None = ~0u;

// GLSL type keyword -> internal type name. The signed and unsigned
// multisampled array textures and samplers are keyed with the kind letter
// twice and name the float forms.
const NamePair glsl_type_rows[] = {
	{"void", "void"},
	{"int", "i32"},
	{"ivec2", "i32v2"},
	{"ivec3", "i32v3"},
	{"ivec4", "i32v4"},
	{"uint", "u32"},
	{"uvec2", "u32v2"},
	{"uvec3", "u32v3"},
	{"uvec4", "u32v4"},
	{"bool", "b32"},
	{"bvec2", "b32v2"},
	{"bvec3", "b32v3"},
	{"bvec4", "b32v4"},
	{"float", "f32"},
	{"vec2", "f32v2"},
	{"vec3", "f32v3"},
	{"vec4", "f32v4"},
	{"double", "f64"},
	{"dvec2", "f64v2"},
	{"dvec3", "f64v3"},
	{"dvec4", "f64v4"},
	{"int16_t", "i16"},
	{"i16vec2", "i16v2"},
	{"i16vec3", "i16v3"},
	{"i16vec4", "i16v4"},
	{"int64_t", "i64"},
	{"i64vec2", "i64v2"},
	{"i64vec3", "i64v3"},
	{"i64vec4", "i64v4"},
	{"uint16_t", "u16"},
	{"u16vec2", "u16v2"},
	{"u16vec3", "u16v3"},
	{"u16vec4", "u16v4"},
	{"uint64_t", "u64"},
	{"u64vec2", "u64v2"},
	{"u64vec3", "u64v3"},
	{"u64vec4", "u64v4"},
	{"float16_t", "f16"},
	{"f16vec2", "f16v2"},
	{"f16vec3", "f16v3"},
	{"f16vec4", "f16v4"},
	{"mat2", "f32v2m2"},
	{"mat3", "f32v3m3"},
	{"mat4", "f32v4m4"},
	{"mat2x2", "f32v2m2"},
	{"mat3x3", "f32v3m3"},
	{"mat4x4", "f32v4m4"},
	{"dmat2", "f64v2m2"},
	{"dmat3", "f64v3m3"},
	{"dmat4", "f64v4m4"},
	{"dmat2x2", "f64v2m2"},
	{"dmat3x3", "f64v3m3"},
	{"dmat4x4", "f64v4m4"},
	{"f16mat2", "f16v2m2"},
	{"f16mat3", "f16v3m3"},
	{"f16mat4", "f16v4m4"},
	{"f16mat2x2", "f16v2m2"},
	{"f16mat3x3", "f16v3m3"},
	{"f16mat4x4", "f16v4m4"},
	{"mat2x3", "f32v3m2"},
	{"mat3x2", "f32v2m3"},
	{"mat2x4", "f32v4m2"},
	{"mat4x2", "f32v2m4"},
	{"mat3x4", "f32v4m3"},
	{"mat4x3", "f32v3m4"},
	{"dmat2x3", "f64v3m2"},
	{"dmat3x2", "f64v2m3"},
	{"dmat2x4", "f64v4m2"},
	{"dmat4x2", "f64v2m4"},
	{"dmat3x4", "f64v4m3"},
	{"dmat4x3", "f64v3m4"},
	{"f16mat2x3", "f16v3m2"},
	{"f16mat3x2", "f16v2m3"},
	{"f16mat2x4", "f16v4m2"},
	{"f16mat4x2", "f16v2m4"},
	{"f16mat3x4", "f16v4m3"},
	{"f16mat4x3", "f16v3m4"},
	{"image2D", "image2D"},
	{"image2DMS", "image2DMS"},
	{"image3D", "image3D"},
	{"imageCube", "imageCube"},
	{"image2DArray", "image2DArray"},
	{"image2DMSArray", "image2DMSArray"},
	{"imageCubeArray", "imageCubeArray"},
	{"iimage2D", "image2DI"},
	{"iimage2DMS", "image2DIMS"},
	{"iimage3D", "image3DI"},
	{"iimageCube", "imageCubeI"},
	{"iimage2DArray", "image2DIArray"},
	{"iimage2DMSArray", "image2DIMSArray"},
	{"iimageCubeArray", "imageCubeIArray"},
	{"uimage2D", "image2DU"},
	{"uimage2DMS", "image2DUMS"},
	{"uimage3D", "image3DU"},
	{"uimageCube", "imageCubeU"},
	{"uimage2DArray", "image2DUArray"},
	{"uimage2DMSArray", "image2DUMSArray"},
	{"uimageCubeArray", "imageCubeUArray"},
	{"i64image2D", "image2DI64"},
	{"i64image2DMS", "image2DI64MS"},
	{"i64image3D", "image3DI64"},
	{"i64imageCube", "imageCubeI64"},
	{"i64image2DArray", "image2DI64Array"},
	{"i64image2DMSArray", "image2DI64MSArray"},
	{"i64imageCubeArray", "imageCubeI64Array"},
	{"u64image2D", "image2DU64"},
	{"u64image2DMS", "image2DU64MS"},
	{"u64image3D", "image3DU64"},
	{"u64imageCube", "imageCubeU64"},
	{"u64image2DArray", "image2DU64Array"},
	{"u64image2DMSArray", "image2DU64MSArray"},
	{"u64imageCubeArray", "imageCubeU64Array"},
	{"texture2D", "texture2D"},
	{"texture2DMS", "texture2DMS"},
	{"texture3D", "texture3D"},
	{"textureCube", "textureCube"},
	{"texture2DArray", "texture2DArray"},
	{"texture2DMSArray", "texture2DMSArray"},
	{"textureCubeArray", "textureCubeArray"},
	{"itexture2D", "texture2DI"},
	{"itexture2DMS", "texture2DIMS"},
	{"itexture3D", "texture3DI"},
	{"itextureCube", "textureCubeI"},
	{"itexture2DArray", "texture2DIArray"},
	{"itexture2DMSArray", "texture2DIMSArray"},
	{"itextureCubeArray", "textureCubeIArray"},
	{"utexture2D", "texture2DU"},
	{"utexture2DMS", "texture2DUMS"},
	{"utexture3D", "texture3DU"},
	{"utextureCube", "textureCubeU"},
	{"utexture2DArray", "texture2DUArray"},
	{"utexture2DMSArray", "texture2DUMSArray"},
	{"utextureCubeArray", "textureCubeUArray"},
	{"sampler2D", "sampler2D"},
	{"sampler2DMS", "sampler2DMS"},
	{"sampler3D", "sampler3D"},
	{"samplerCube", "samplerCube"},
	{"sampler2DArray", "sampler2DArray"},
	{"sampler2DMSArray", "sampler2DMSArray"},
	{"samplerCubeArray", "samplerCubeArray"},
	{"isampler2D", "sampler2DI"},
	{"isampler2DMS", "sampler2DIMS"},
	{"isampler3D", "sampler3DI"},
	{"isamplerCube", "samplerCubeI"},
	{"isampler2DArray", "sampler2DIArray"},
	{"isampler2DMSArray", "sampler2DIMSArray"},
	{"isamplerCubeArray", "samplerCubeIArray"},
	{"usampler2D", "sampler2DU"},
	{"usampler2DMS", "sampler2DUMS"},
	{"usampler3D", "sampler3DU"},
	{"usamplerCube", "samplerCubeU"},
	{"usampler2DArray", "sampler2DUArray"},
	{"usampler2DMSArray", "sampler2DUMSArray"},
	{"usamplerCubeArray", "samplerCubeUArray"},
	{"sampler2DArrayShadow", "sampler2DArrayShadow"},
	{"samplerCubeArrayShadow", "samplerCubeArrayShadow"},
	{"sampler2DShadow", "sampler2DShadow"},
	{"samplerCubeShadow", "samplerCubeShadow"},
	{"sampler", "sampler"},
	{"samplerShadow", "samplerShadow"},
	{"samplerBuffer", "samplerBuffer"},
	{"isamplerBuffer", "samplerBufferI"},
	{"usamplerBuffer", "samplerBufferU"},
	{"textureBuffer", "textureBuffer"},
	{"itextureBuffer", "textureBufferI"},
	{"utextureBuffer", "textureBufferU"},
	{"imageBuffer", "imageBuffer"},
	{"iimageBuffer", "imageBufferI"},
	{"uimageBuffer", "imageBufferU"},
	{"accelerationStructureEXT", "accelerationStructure"},
	{"rayQueryEXT", "rayQuery"},
};

// the gathers with four offsets, the sparse, ballot and partitioned calls
// as GLSL spells them (the table above names them without their "ARB" and
// "NV" endings), and the bit casts of doubles
const char *const extra_internal_rows[] = {"textureGatherOffsets", "sparseTextureGatherOffsets", "sparseTextureARB",
	"sparseTextureLodARB", "sparseTextureOffsetARB", "sparseTextureLodOffsetARB", "sparseTextureGradARB", "sparseTextureGradOffsetARB",
	"sparseTextureGatherARB", "sparseTextureGatherOffsetARB", "sparseTextureGatherOffsetsARB", "sparseTexelFetchARB",
	"sparseTexelFetchOffsetARB", "sparseTexelsResidentARB", "ballotARB", "readInvocationARB", "readFirstInvocationARB", "anyInvocationARB",
	"allInvocationsARB", "allInvocationsEqualARB", "subgroupPartitionedAddNV", "subgroupPartitionedMulNV",
	"subgroupPartitionedMinNV", "subgroupPartitionedMaxNV", "subgroupPartitionedAndNV", "subgroupPartitionedOrNV", "subgroupPartitionedXorNV",
	"subgroupPartitionedInclusiveAddNV", "subgroupPartitionedInclusiveMulNV", "subgroupPartitionedInclusiveMinNV",
	"subgroupPartitionedInclusiveMaxNV", "subgroupPartitionedInclusiveAndNV", "subgroupPartitionedInclusiveOrNV",
	"subgroupPartitionedInclusiveXorNV", "subgroupPartitionedExclusiveAddNV", "subgroupPartitionedExclusiveMulNV",
	"subgroupPartitionedExclusiveMinNV", "subgroupPartitionedExclusiveMaxNV", "subgroupPartitionedExclusiveAndNV",
	"subgroupPartitionedExclusiveOrNV", "subgroupPartitionedExclusiveXorNV", "doubleBitsToInt64", "doubleBitsToUint64", "int64BitsToDouble",
	"uint64BitsToDouble"};

// built-in functions lowered to core instructions
const char *const internal_function_rows[] = {
	"outerProduct", "transpose", "texture", "textureOffset", "sparseTexture", "sparseTextureOffset", "textureLod", "textureLodOffset",
	"sparseTextureLod", "sparseTextureLodOffset", "textureGrad", "textureGradOffset", "sparseTextureGrad", "sparseTextureGradOffset",
	"textureProj", "textureProjOffset", "sparseTextureProj", "sparseTextureProjOffset", "textureProjLod", "textureProjLodOffset",
	"sparseTextureProjLod", "sparseTextureProjLodOffset", "textureProjGrad", "textureProjGradOffset", "sparseTextureGradProj",
	"sparseTextureProjGradOffset", "textureGather", "textureGatherOffset", "sparseTextureGather", "sparseTextureGatherOffset", "texelFetch",
	"texelFetchOffset", "sparseTexelFetch", "sparseTexelFetchOffset", "imageLoad", "imageStore", "imageSize", "textureSize", "textureSamples",
	"sparseTexelsResident", "floatBitsToInt", "floatBitsToUint", "intBitsToFloat", "uintBitsToFloat", "mod", "dot", "lessThan",
	"lessThanEqual", "greaterThan", "greaterThanEqual", "equal", "notEqual", "any", "all", "isnan", "isinf", "not", "bitfieldExtract",
	"bitfieldInsert", "bitfieldReverse", "bitCount", "dFdx", "dFdy", "fwidth", "dFdxFine", "dFdyFine", "fwidthFine", "dFdxCoarse",
	"dFdyCoarse", "fwidthCoarse", "EmitVertex", "EndPrimitive", "EmitStreamVertex", "EndStreamPrimitive", "barrier", "memoryBarrier",
	"memoryBarrierBuffer", "memoryBarrierShared", "memoryBarrierImage", "groupMemoryBarrier", "sampler2D", "sampler2DMS", "sampler3D",
	"samplerCube", "sampler2DArray", "sampler2DMSArray", "samplerCubeArray", "sampler2DArrayShadow", "samplerCubeArrayShadow",
	"sampler2DShadow", "samplerCubeShadow", "imageAtomicIncrement", "imageAtomicDecrement", "imageAtomicAdd", "imageAtomicSub",
	"imageAtomicMin", "imageAtomicMax", "imageAtomicAnd", "imageAtomicOr", "imageAtomicXor", "imageAtomicExchange", "imageAtomicCompSwap",
	"atomicLoad", "atomicStore", "atomicIncrement", "atomicDecrement", "atomicAdd", "atomicSub", "atomicMin", "atomicMax", "atomicAnd",
	"atomicOr", "atomicXor", "atomicExchange", "atomicCompSwap", "subgroupBarrier", "subgroupMemoryBarrier", "subgroupMemoryBarrierBuffer",
	"subgroupMemoryBarrierShared", "subgroupMemoryBarrierImage", "subgroupElect", "subgroupAll", "subgroupAny", "subgroupAllEqual",
	"subgroupBroadcast", "subgroupBroadcastFirst", "subgroupBallot", "subgroupInverseBallot", "subgroupBallotBitExtract",
	"subgroupBallotBitCount", "subgroupBallotInclusiveBitCount", "subgroupBallotExclusiveBitCount", "subgroupBallotFindLSB",
	"subgroupBallotFindMSB", "subgroupShuffle", "subgroupShuffleXor", "subgroupShuffleUp", "subgroupShuffleDown", "subgroupAdd",
	"subgroupMul", "subgroupMin", "subgroupMax", "subgroupAnd", "subgroupOr", "subgroupXor", "subgroupInclusiveAdd", "subgroupInclusiveMul",
	"subgroupInclusiveMin", "subgroupInclusiveMax", "subgroupInclusiveAnd", "subgroupInclusiveOr", "subgroupInclusiveXor",
	"subgroupExclusiveAdd", "subgroupExclusiveMul", "subgroupExclusiveMin", "subgroupExclusiveMax", "subgroupExclusiveAnd",
	"subgroupExclusiveOr", "subgroupExclusiveXor", "subgroupClusteredAdd", "subgroupClusteredMul", "subgroupClusteredMin",
	"subgroupClusteredMax", "subgroupClusteredAnd", "subgroupClusteredOr", "subgroupClusteredXor", "subgroupPartitionedAdd",
	"subgroupPartitionedMul", "subgroupPartitionedMin", "subgroupPartitionedMax", "subgroupPartitionedAnd", "subgroupPartitionedOr",
	"subgroupPartitionedXor", "subgroupPartitionedInclusiveAdd", "subgroupPartitionedInclusiveMul", "subgroupPartitionedInclusiveMin",
	"subgroupPartitionedInclusiveMax", "subgroupPartitionedInclusiveAnd", "subgroupPartitionedInclusiveOr", "subgroupPartitionedInclusiveXor",
	"subgroupPartitionedExclusiveAdd", "subgroupPartitionedExclusiveMul", "subgroupPartitionedExclusiveMin",
	"subgroupPartitionedExclusiveMax", "subgroupPartitionedExclusiveAnd", "subgroupPartitionedExclusiveOr", "subgroupPartitionedExclusiveXor",
	"subgroupQuadBroadcast", "subgroupQuadSwapHorizontal", "subgroupQuadSwapVertical", "subgroupQuadSwapDiagonal", "ballot", "readInvocation",
	"readFirstInvocation", "anyInvocation", "allInvocations", "allInvocationsEqual", "traceRayEXT", "reportIntersectionEXT",
	"ignoreIntersectionEXT", "terminateRayEXT", "executeCallableEXT", "EmitMeshTasksEXT", "SetMeshOutputsEXT", "accelerationStructureEXT",
	"rayQueryInitializeEXT", "rayQueryTerminateEXT", "rayQueryGenerateIntersectionEXT", "rayQueryConfirmIntersectionEXT",
	"rayQueryProceedEXT", "rayQueryGetIntersectionTypeEXT", "rayQueryGetRayTMinEXT", "rayQueryGetRayFlagsEXT", "rayQueryGetIntersectionTEXT",
	"rayQueryGetIntersectionInstanceCustomIndexEXT", "rayQueryGetIntersectionInstanceIdEXT",
	"rayQueryGetIntersectionInstanceShaderBindingTableRecordOffsetEXT", "rayQueryGetIntersectionGeometryIndexEXT",
	"rayQueryGetIntersectionPrimitiveIndexEXT", "rayQueryGetIntersectionBarycentricsEXT", "rayQueryGetIntersectionFrontFaceEXT",
	"rayQueryGetIntersectionCandidateAABBOpaqueEXT", "rayQueryGetIntersectionObjectRayDirectionEXT",
	"rayQueryGetIntersectionObjectRayOriginEXT", "rayQueryGetWorldRayDirectionEXT", "rayQueryGetWorldRayOriginEXT",
	"rayQueryGetIntersectionObjectToWorldEXT", "rayQueryGetIntersectionWorldToObjectEXT", "nonuniformEXT",
};

// built-in functions lowered to GLSL.std.450 instructions
const char *const external_function_rows[] = {
	"round", "roundEven", "trunc", "abs", "sign", "floor", "ceil", "fract", "radians", "degrees", "sin", "cos", "tan", "asin", "acos", "atan",
	"sinh", "cosh", "tanh", "asinh", "acosh", "atanh", "pow", "exp", "log", "exp2", "log2", "sqrt", "inversesqrt", "determinant", "inverse",
	"modf", "min", "max", "clamp", "mix", "step", "smoothstep", "fma", "frexp", "ldexp", "packSnorm4x8", "packUnorm4x8", "packSnorm2x16",
	"packUnorm2x16", "packHalf2x16", "packDouble2x32", "unpackSnorm2x16", "unpackUnorm2x16", "unpackHalf2x16", "unpackSnorm4x8",
	"unpackUnorm4x8", "unpackDouble2x32", "length", "distance", "cross", "normalize", "faceforward", "reflect", "refract", "findLSB",
	"findMSB", "interpolateAtCentroid", "interpolateAtSample", "interpolateAtOffset",
};

// words no declaration may take as its name under the reserved-name check
const char *const keyword_rows[] = {
	"attribute", "const", "uniform", "varying", "buffer", "shared", "coherent", "volatile", "restrict", "readonly", "writeonly",
	"atomic_uint", "layout", "centroid", "flat", "smooth", "noperspective", "patch", "sample", "break", "continue", "do", "for", "while",
	"switch", "case", "default", "if", "else", "in", "out", "inout", "true", "false", "invariant", "precise", "discard", "return", "lowp",
	"mediump", "highp", "precision", "struct", "class", "union", "enum", "goto", "inline", "noinline", "public", "static", "extern",
	"external", "interface", "filter", "sizeof", "cast", "namespace", "using",
};

// layout image format -> ImageFormat
const NumberPair image_format_rows[] = {
	{"r8", 15},
	{"r8i", 29},
	{"r8ui", 39},
	{"rg8", 13},
	{"rg8i", 27},
	{"rg8ui", 37},
	{"rgba8", 4},
	{"rgba8i", 23},
	{"rgba8ui", 32},
	{"r16", 14},
	{"r16f", 9},
	{"r16i", 28},
	{"r16ui", 38},
	{"rg16", 12},
	{"rg16f", 7},
	{"rg16i", 26},
	{"rg16ui", 36},
	{"rgba16", 10},
	{"rgba16f", 2},
	{"rgba16i", 22},
	{"rgba16ui", 31},
	{"r32f", 3},
	{"r32i", 24},
	{"r32ui", 33},
	{"rg32f", 6},
	{"rg32i", 25},
	{"rg32ui", 35},
	{"r64i", 41},
	{"r64ui", 40},
	{"rgba32f", 1},
	{"rgba32i", 21},
	{"rgba32ui", 30},
	{"rgb10_a2", 11},
	{"rgb10_a2ui", 34},
	{"r11f_g11f_b10f", 8},
};

// built-in variable -> BuiltIn; None for the names declared without one
// (mesh output arrays, ray flags, ray-query constants, constants, the
// per-vertex arrays of the tessellation and geometry stages)
const NumberPair builtin_variable_rows[] = {
	{"gl_Position", 0},
	{"gl_PointSize", 1},
	{"gl_ClipDistance", 3},
	{"gl_CullDistance", 4},
	{"gl_VertexID", 42}, // VertexIndex: Vulkan has no VertexId
	{"gl_InstanceID", 6},
	{"gl_PrimitiveID", 7},
	{"gl_PrimitiveIDIn", 7},
	{"gl_InvocationID", 8},
	{"gl_Layer", 9},
	{"gl_ViewportIndex", 10},
	{"gl_TessLevelOuter", 11},
	{"gl_TessLevelInner", 12},
	{"gl_TessCoord", 13},
	{"gl_PatchVerticesIn", 14},
	{"gl_FragCoord", 15},
	{"gl_PointCoord", 16},
	{"gl_FrontFacing", 17},
	{"gl_SampleID", 18},
	{"gl_SamplePosition", 19},
	{"gl_SampleMask", 20},
	{"gl_SampleMaskIn", 20},
	{"gl_FragDepth", 22},
	{"gl_NumWorkGroups", 24},
	{"gl_WorkGroupID", 26},
	{"gl_LocalInvocationID", 27},
	{"gl_GlobalInvocationID", 28},
	{"gl_LocalInvocationIndex", 29},
	{"gl_SubgroupID", 40},
	{"gl_SubgroupSize", 36},
	{"gl_NumSubgroups", 38},
	{"gl_SubgroupInvocationID", 41},
	{"gl_SubgroupEqMask", 4416},
	{"gl_SubgroupGeMask", 4417},
	{"gl_SubgroupGtMask", 4418},
	{"gl_SubgroupLeMask", 4419},
	{"gl_SubgroupLtMask", 4420},
	{"gl_VertexIndex", 42},
	{"gl_InstanceIndex", 43},
	{"gl_BaseVertex", 4424},
	{"gl_BaseInstance", 4425},
	{"gl_DrawIndex", 4426},
	{"gl_ViewIndex", 4440},
	{"gl_DeviceIndex", 4438},
	{"gl_BaryCoordNoPerspAMD", 4992},
	{"gl_BaryCoordNoPerspCentroidAMD", 4993},
	{"gl_BaryCoordNoPerspSampleAMD", 4994},
	{"gl_BaryCoordSmoothAMD", 4995},
	{"gl_BaryCoordSmoothCentroidAMD", 4996},
	{"gl_BaryCoordSmoothSampleAMD", 4997},
	{"gl_BaryCoordPullModelAMD", 4998},
	{"gl_FragStencilRefEXT", 5014},
	{"gl_ViewportMaskNV", 5253},
	{"gl_BaryCoordEXT", 5286},
	{"gl_BaryCoordNoPerspEXT", 5287},
	{"gl_PrimitivePointIndicesEXT", 5294},
	{"gl_PrimitiveLineIndicesEXT", 5295},
	{"gl_PrimitiveTriangleIndicesEXT", 5296},
	{"gl_CullPrimitiveEXT", 5299},
	{"gl_LaunchIDEXT", 5319},
	{"gl_LaunchSizeEXT", 5320},
	{"gl_WorldRayOriginEXT", 5321},
	{"gl_WorldRayDirectionEXT", 5322},
	{"gl_ObjectRayOriginEXT", 5323},
	{"gl_ObjectRayDirectionEXT", 5324},
	{"gl_RayTminEXT", 5325},
	{"gl_RayTmaxEXT", 5326},
	{"gl_InstanceCustomIndexEXT", 5327},
	{"gl_ObjectToWorldEXT", 5330},
	{"gl_WorldToObjectEXT", 5331},
	{"gl_HitTEXT", 5326},
	{"gl_HitKindEXT", 5333},
	{"gl_IncomingRayFlagsEXT", 5351},
	{"gl_MeshVerticesEXT", None},
	{"gl_MeshPrimitivesEXT", None},
	{"gl_RayFlagsNoneEXT", None},
	{"gl_RayFlagsOpaqueEXT", None},
	{"gl_RayFlagsNoOpaqueEXT", None},
	{"gl_RayFlagsTerminateOnFirstHitEXT", None},
	{"gl_RayFlagsSkipClosestHitShaderEXT", None},
	{"gl_RayFlagsCullBackFacingTrianglesEXT", None},
	{"gl_RayFlagsCullFrontFacingTrianglesEXT", None},
	{"gl_RayFlagsCullOpaqueEXT", None},
	{"gl_RayFlagsCullNoOpaqueEXT", None},
	{"gl_RayQueryCommittedIntersectionNoneEXT", None},
	{"gl_RayQueryCommittedIntersectionTriangleEXT", None},
	{"gl_RayQueryCommittedIntersectionGeneratedEXT", None},
	{"gl_RayQueryCandidateIntersectionTriangleEXT", None},
	{"gl_RayQueryCandidateIntersectionAABBEXT", None},
	{"gl_MaxPatchVertices", None},
	{"gl_WorkGroupSize", None},
	{"gl_in", None},
	{"gl_out", None},
};

// storage qualifier -> StorageClass
const NumberPair storage_qualifier_rows[] = {
	{"in", 1},
	{"out", 3},
	{"shared", 4},
	{"uniform", 2},
	{"buffer", 12},
	{"rayPayloadEXT", 5338},
	{"rayPayloadInEXT", 5342},
	{"hitAttributeEXT", 5339},
	{"callableDataEXT", 5328},
	{"callableDataInEXT", 5329},
	{"taskPayloadSharedEXT", 5402},
};

// qualifiers that may introduce an interface block -> Block
const NumberPair block_qualifier_rows[] = {
	{"in", 2},
	{"out", 2},
	{"uniform", 2},
	{"buffer", 2},
};

// qualifier -> Decoration
const NumberPair decoration_qualifier_rows[] = {
	{"noperspective", 13},
	{"flat", 14},
	{"patch", 15},
	{"centroid", 16},
	{"sample", 17},
	{"invariant", 18},
	{"restrict", 19},
	{"volatile", 21},
	{"const", 22},
	{"coherent", 23},
	{"readonly", 24},
	{"writeonly", 25},
	{"perprimitiveEXT", 5271},
};

// fragment layout keyword -> ExecutionMode
const NumberPair fragment_qualifier_rows[] = {
	{"pixel_center_integer", 6},
	{"origin_upper_left", 7},
	{"origin_lower_left", 8},
	{"depth_any", 12},
	{"depth_greater", 14},
	{"depth_less", 15},
	{"depth_unchanged", 16},
};

// layout keyword -> Decoration (its value follows "=")
const NumberPair layout_qualifier_rows[] = {
	{"constant_id", 1},
	{"row_major", 4},
	{"column_major", 5},
	{"stream", 29},
	{"location", 30},
	{"component", 31},
	{"index", 32},
	{"binding", 33},
	{"set", 34},
	{"offset", 35},
	{"xfb_buffer", 36},
	{"xfb_stride", 37},
	{"align", 44},
	{"passthrough", 5250},
	{"viewport_relative", 5252},
};

template <uint32_t N>
void fill(Map<String, String> &table, const NamePair (&rows)[N]) {
	if (table) return;
	for (const NamePair &row : rows) table.insert(String(row.key), String(row.value));
}

template <uint32_t N>
void fill(Map<String, uint32_t> &table, const NumberPair (&rows)[N]) {
	if (table) return;
	for (const NumberPair &row : rows) table.insert(String(row.key), row.value);
}

template <uint32_t N>
void fill(Set<String> &table, const char *const (&rows)[N]) {
	if (table) return;
	for (const char *row : rows) table.insert(String(row));
}

} // namespace

void Compiler::init_tables() {
	fill(glsl_types, glsl_type_rows);
	if (!internal_types) {
		// in key order, so that of the keywords sharing an internal name the
		// one that sorts last wins
		for (auto it = glsl_types.begin(); it; ++it) internal_types.insert(it->value, it->key);
	}
	fill(internal_functions, internal_function_rows);
	for (const char *row : extra_internal_rows) internal_functions.insert(String(row));
	fill(external_functions, external_function_rows);
	fill(keywords, keyword_rows);
	fill(image_formats, image_format_rows);
	fill(builtin_variables, builtin_variable_rows);
	fill(storage_qualifiers, storage_qualifier_rows);
	fill(block_qualifiers, block_qualifier_rows);
	fill(decoration_qualifiers, decoration_qualifier_rows);
	fill(fragment_qualifiers, fragment_qualifier_rows);
	fill(layout_qualifiers, layout_qualifier_rows);
}

} // namespace Vexa
