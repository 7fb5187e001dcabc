// Reading a SPIR-V module into the object's tables: the header checks, the
// checking pass (ShaderSpirvCheck.cpp), then one pass over the instructions
// that fills the records, lists and blocks, and last the generated names and
// the sorted interface and resource lists. Every backend starts from what this
// leaves, so the rules here decide what every output sees of a module.
#include "shader/ShaderSpirv.h"
#include "shader/ShaderSpirvNumbers.h"

#include "core/Log.h"
#include "core/Sort.h"

#include <cstring>

namespace Vexa {

using namespace Spirv;

namespace {

// the name a module gives, cut before its first '(' (compilers add the
// parameter types of functions there); names that are no identifier are
// dropped so that the generated name takes their place
String get_name(const ShaderSpirv::Iterator &it, uint32_t index) {
	String name = ShaderSpirv::get_string(it, index);
	uint32_t pos = name.find('(');
	if (pos != ~0u) name.resize(pos);
	if (!ShaderSpirv::is_identifier(name.get())) name.clear();
	return name;
}

// The listing's own words that a name from the module must not be: its
// keywords and the names of the built-in functions that its name slots
// (ShaderSpirvNames.cpp, ShaderSpirvIntrinsics.cpp) write, sorted for a
// binary search. The type names and the families of image and subgroup
// function names are matched by their forms (below).
const char *const reserved_words[] = {
	"EmitMeshTasksEXT", "EmitStreamVertex", "EmitVertex", "EndPrimitive", "EndStreamPrimitive", "SetMeshOutputsEXT",
	"abs", "accelerationStructureEXT", "acos", "acosh", "all", "allInvocationsARB", "allInvocationsEqualARB", "any",
	"anyInvocationARB", "asin", "asinh", "atan", "atanh", "atomicAdd", "atomicAnd", "atomicCompSwap",
	"atomicDecrement", "atomicExchange", "atomicIncrement", "atomicLoad", "atomicMax", "atomicMin", "atomicOr",
	"atomicStore", "atomicSub", "atomicXor", "ballotARB", "barrier", "bitCount", "bitcast", "bitfieldExtract",
	"bitfieldInsert", "bitfieldReverse", "break", "case", "ceil", "clamp", "continue", "cos", "cosh", "cross", "dFdx",
	"dFdxCoarse", "dFdxFine", "dFdy", "dFdyCoarse", "dFdyFine", "default", "degrees", "determinant", "discard",
	"distance", "do", "dot", "else", "executeCallableKHR", "exp", "exp2", "faceforward", "false", "findLSB", "findMSB",
	"floatBitsToInt", "floatBitsToUint", "floor", "fma", "for", "fract", "frexp", "fwidth", "fwidthCoarse",
	"fwidthFine", "groupMemoryBarrier", "if", "imageAtomicAdd", "imageAtomicAnd", "imageAtomicCompSwap",
	"imageAtomicDecrement", "imageAtomicExchange", "imageAtomicIncrement", "imageAtomicLoad", "imageAtomicMax",
	"imageAtomicMin", "imageAtomicOr", "imageAtomicStore", "imageAtomicSub", "imageAtomicXor", "imageLoad",
	"imageSize", "imageStore", "in", "inf", "inout", "intBitsToFloat", "interpolateAtCentroid", "interpolateAtOffset",
	"interpolateAtSample", "inverse", "inversesqrt", "isinf", "isnan", "ldexp", "length", "log", "log2", "max",
	"memoryBarrier", "memoryBarrierBuffer", "memoryBarrierImage", "memoryBarrierShared", "min", "mix", "mod", "modf",
	"nan", "nonuniformEXT", "normalize", "not", "out", "packDouble2x32", "packHalf2x16", "packSnorm2x16",
	"packSnorm4x8", "packUnorm2x16", "packUnorm4x8", "pow", "radians", "rayQueryConfirmIntersectionEXT", "rayQueryEXT",
	"rayQueryGenerateIntersectionEXT", "rayQueryGetIntersectionBarycentricsKHR",
	"rayQueryGetIntersectionCandidateAABBOpaqueKHR", "rayQueryGetIntersectionFrontFaceKHR",
	"rayQueryGetIntersectionGeometryIndexKHR", "rayQueryGetIntersectionInstanceCustomIndexKHR",
	"rayQueryGetIntersectionInstanceIdKHR", "rayQueryGetIntersectionInstanceShaderBindingTableRecordOffsetKHR",
	"rayQueryGetIntersectionObjectRayDirectionKHR", "rayQueryGetIntersectionObjectRayOriginKHR",
	"rayQueryGetIntersectionObjectToWorldKHR", "rayQueryGetIntersectionPrimitiveIndexKHR",
	"rayQueryGetIntersectionTEXT", "rayQueryGetIntersectionTypeEXT", "rayQueryGetIntersectionWorldToObjectKHR",
	"rayQueryGetRayFlagsEXT", "rayQueryGetRayTMinEXT", "rayQueryGetWorldRayDirectionKHR",
	"rayQueryGetWorldRayOriginKHR", "rayQueryInitializeEXT", "rayQueryProceedEXT", "rayQueryTerminateEXT",
	"readFirstInvocationARB", "readInvocationARB", "reflect", "refract", "reportIntersectionEXT", "return", "round",
	"roundEven", "sign", "sin", "sinh", "smod", "smoothstep", "sparseTexelFetch", "sparseTexelFetchARB",
	"sparseTexelsResidentARB", "sqrt", "step", "struct", "subgroupAll", "subgroupAllEqual", "subgroupAny",
	"subgroupBallot", "subgroupBallotBitCount", "subgroupBallotBitExtract", "subgroupBallotExclusiveBitCount",
	"subgroupBallotFindLSB", "subgroupBallotFindMSB", "subgroupBallotInclusiveBitCount", "subgroupBarrier",
	"subgroupBroadcast", "subgroupBroadcastFirst", "subgroupElect", "subgroupInverseBallot", "subgroupMemoryBarrier",
	"subgroupMemoryBarrierBuffer", "subgroupMemoryBarrierImage", "subgroupMemoryBarrierShared",
	"subgroupQuadBroadcast", "subgroupQuadSwapDiagonal", "subgroupQuadSwapHorizontal", "subgroupQuadSwapVertical",
	"subgroupShuffle", "subgroupShuffleDown", "subgroupShuffleUp", "subgroupShuffleXor", "switch", "tan", "tanh",
	"texelFetch", "textureQueryLevels", "textureQueryLod", "textureSamples", "textureSize", "traceRayEXT", "transpose",
	"true", "trunc", "uintBitsToFloat", "unpackDouble2x32", "unpackHalf2x16", "unpackSnorm2x16", "unpackSnorm4x8",
	"unpackUnorm2x16", "unpackUnorm4x8", "void", "while",
};

// the rest of `name` after `prefix`, or null when it does not begin so
const char *after(const char *name, const char *prefix) {
	size_t length = strlen(prefix);
	return strncmp(name, prefix, length) ? nullptr : name + length;
}

// the rest after one of the words, taking the longest that matches
const char *after_one(const char *name, const char *const *words, uint32_t count) {
	const char *best = nullptr;
	for (uint32_t i = 0; i < count; i++) {
		const char *rest = after(name, words[i]);
		if (rest && (best == nullptr || rest > best)) best = rest;
	}
	return best;
}

// the rest after a run of decimal digits, null without one
const char *after_number(const char *name) {
	if (!ShaderSpirv::is_digit(*name)) return nullptr;
	while (ShaderSpirv::is_digit(*name)) name++;
	return name;
}

// f32, i16, u8, b32, f32v4, u32x2, f32v4m4: the listing's scalar, vector and
// matrix type names and names of their form
bool is_type_name(const char *name) {
	const char *rest = nullptr;
	if (*name == 'f' || *name == 'i' || *name == 'u') {
		static const char *const widths[] = {"8", "16", "32", "64"};
		rest = after_one(name + 1, widths, 4);
	} else if (*name == 'b') {
		rest = after(name + 1, "32");
	}
	if (rest == nullptr) return false;
	if (*rest == 'v' || *rest == 'x') {
		rest = after_number(rest + 1);
		if (rest && *rest == 'm') rest = after_number(rest + 1);
	}
	return rest && *rest == 0;
}

// texture2DArrayShadow, iimage3D, usamplerCubeMS, sampler: the image types
bool is_image_type_name(const char *name) {
	if (*name == 'i' || *name == 'u') name++;
	static const char *const kinds[] = {"texture", "image", "sampler"};
	const char *rest = after_one(name, kinds, 3);
	if (rest == nullptr) return false;
	static const char *const dims[] = {"1D", "2D", "3D", "Cube", "Rect", "Buffer", "SubpassData"};
	const char *dim = after_one(rest, dims, 7);
	if (dim) rest = dim;
	static const char *const suffixes[] = {"Array", "Shadow", "MS"};
	for (const char *suffix : suffixes) {
		const char *next = after(rest, suffix);
		if (next) rest = next;
	}
	return *rest == 0;
}

// texture, textureProjLodOffset, sparseTextureGatherOffsetARB: the sampling
// functions with the suffixes of their image operands
bool is_image_function_name(const char *name) {
	static const char *const bases[] = {"texture", "textureProj", "textureGather", "sparseTexture", "sparseTextureProj", "sparseTextureGather"};
	const char *rest = after_one(name, bases, 6);
	if (rest == nullptr) return false;
	static const char *const suffixes[] = {"Lod", "Grad", "Offset", "Offset", "ARB"};
	for (const char *suffix : suffixes) {
		const char *next = after(rest, suffix);
		if (next) rest = next;
	}
	return *rest == 0;
}

// subgroupAdd, subgroupInclusiveMin, subgroupPartitionedExclusiveXorNV: the
// subgroup reductions and scans
bool is_subgroup_function_name(const char *name) {
	const char *rest = after(name, "subgroup");
	if (rest == nullptr) return false;
	static const char *const operations[] = {"Inclusive", "Exclusive", "Clustered", "PartitionedInclusive", "PartitionedExclusive", "Partitioned"};
	const char *operation = after_one(rest, operations, 6);
	bool partitioned = operation && after(rest, "Partitioned");
	if (operation) rest = operation;
	static const char *const names[] = {"Add", "Mul", "Min", "Max", "And", "Or", "Xor"};
	rest = after_one(rest, names, 7);
	if (rest && partitioned) rest = after(rest, "NV");
	return rest && *rest == 0;
}

} // namespace

bool ShaderSpirv::is_module_header(const Array<uint32_t> &module) {
	if (module.size() < 6) {
		Log::printf(Log::Error, "ShaderSpirv::load(): invalid data size %u\n", module.size());
		return false;
	}
	if (module[0] != 0x07230203u) {
		Log::printf(Log::Error, "ShaderSpirv::load(): invalid magic 0x%08x\n", module[0]);
		return false;
	}
	if (module[1] < 0x10000u) {
		Log::printf(Log::Error, "ShaderSpirv::load(): invalid version 0x%08x\n", module[1]);
		return false;
	}
	return true;
}

void ShaderSpirv::prepare_tables(const Array<uint32_t> &module, uint32_t bound) {
	words = module;
	indices.assign(bound, 0xffffffffu);
	uses.assign(bound, 0);
	named.assign(bound, 0);
	records.assign(bound, Record());
	members.assign(bound, Array<Record>());
	for (Iterator it = get_iterator(5); !it.is_end(); it = it.advance(it.get_size())) {
		if (it.get_opcode() == OpTypeStruct) members[it[1]].resize(it.get_size() - 2);
	}
}

bool ShaderSpirv::read_module_info(const Iterator &it) {
	uint32_t size = it.get_size();
	switch (it.get_opcode()) {
		case OpExtInstImport:
			imports.insert(it[1], get_string(it, 2));
			return true;
		case OpEntryPoint:
			entry_id = it[2];
			execution_model = it[1];
			entry_name = get_string(it, 3);
			// the entry point becomes a function name in every output
			if (!is_identifier(entry_name.get())) entry_name = "main";
			rename_reserved(entry_name, true);
			return true;
		case OpSource:
			source_language = it[1];
			source_version = it[2];
			return true;
		case OpSourceExtension: {
			// extension names go into the output as directives
			String extension = get_string(it, 1);
			if (is_identifier(extension.get())) source_extensions.append(extension);
			return true;
		}
		case OpExecutionMode:
			if (size == 6 && it[2] == ExecutionModeLocalSize) {
				local_size[0] = it[3];
				local_size[1] = it[4];
				local_size[2] = it[5];
			}
			execution_modes.insert(it[2], (size == 3) ? 0u : it[3]);
			return true;
		case OpCapability:
			capabilities.append(it[1]);
			return true;
		case OpTypeStruct: {
			const Map<uint32_t, uint32_t> &decorations = records[it[1]].decorations;
			if (!decorations.find(DecorationBlock) && !decorations.find(DecorationBufferBlock)) globals.append(it[1]);
			return true;
		}
		case OpName:
			records[it[1]].name = get_name(it, 2);
			rename_reserved(records[it[1]].name, true);
			return true;
		case OpMemberName:
			// members of a block without an instance name stand alone (below)
			members[it[1]][it[2]].name = get_name(it, 3);
			rename_reserved(members[it[1]][it[2]].name, false);
			return true;
		case OpDecorate:
			if (size >= 3) {
				Record &record = records[it[1]];
				record.decorations.insert(it[2], (size == 3) ? 0xffffffffu : it[3]);
				if (it[2] == DecorationBuiltIn && size > 3 && is_generated(record.name)) record.name = get_builtin_name(it[3]);
			}
			return true;
		case OpMemberDecorate:
			if (size >= 4) {
				Record &member = members[it[1]][it[2]];
				uint32_t value = (size == 4) ? 0xffffffffu : it[4];
				member.decorations.insert(it[3], value);
				if (it[3] == DecorationBuiltIn && size > 4) {
					records[it[1]].decorations.insert(DecorationBuiltIn, value);
					if (is_generated(member.name)) member.name = get_builtin_name(value);
				}
			}
			return true;
	}
	return false;
}

bool ShaderSpirv::read_function_part(const Iterator &it, Set<String> &names) {
	switch (it.get_opcode()) {
		case OpFunction:
			if (it[2] != entry_id) functions.append(it[2]);
			return true;
		case OpFunctionEnd:
			names.clear();
			return true;
		case OpFunctionParameter:
			names.insert(records[it[2]].name);
			named[it[2]] = 1;
			return true;
		case OpVariable:
			read_variable(it, names);
			return true;
	}
	return false;
}

bool ShaderSpirv::read_branch(const Iterator &it, Block &block) {
	switch (it.get_opcode()) {
		case OpLoopMerge:
			block.merge = it[1];
			block.continue_target = it[2];
			return true;
		case OpSelectionMerge:
			block.merge = it[1];
			return true;
		case OpBranch:
			block.target = it[1];
			return true;
		case OpBranchConditional:
			block.condition = it[1];
			block.target = it[2];
			block.target_false = it[3];
			add_use(it[1]);
			return true;
	}
	return false;
}

void ShaderSpirv::read_operands(const Iterator &it) {
	int32_t op = it.get_opcode();
	uint32_t size = it.get_size();
	switch (op) {
		case OpExtInst:
			for (uint32_t k = 5; k < size; k++) add_use(it[k]);
			break;
		case OpFunctionCall:
			for (uint32_t k = 4; k < size; k++) add_use(it[k]);
			break;
		case OpImageTexelPointer:
			add_use(it[4]);
			add_use(it[5]);
			break;
		case OpLoad:
		case OpStore: {
			uint32_t pointer = (op == OpLoad) ? it[3] : it[1];
			Iterator target = get_target(pointer);
			if (target.get_opcode() == OpVariable) {
				const uint32_t *builtin = records[target[2]].decorations.get(DecorationBuiltIn);
				if (builtin) used_builtins.insert(*builtin);
			}
			if (op == OpStore) add_use(it[2]);
			break;
		}
		case OpAccessChain:
			read_access_chain(it);
			for (uint32_t k = 3; k < size; k++) add_use(it[k]);
			break;
		case OpVectorShuffle:
			add_use(it[3]);
			if (it[4] != it[3]) add_use(it[4]);
			break;
		case OpCompositeConstruct:
			if (size > 3) add_use(it[3]);
			for (uint32_t k = 4; k < size; k++) {
				if (it[k] != it[3]) add_use(it[k]);
			}
			break;
		case OpCompositeExtract:
			add_use(it[3]);
			break;
		case OpSampledImage:
			read_sampled_image(it);
			break;
		case OpSelect:
			add_use(it[3]);
			add_use(it[4]);
			add_use(it[5]);
			break;
		case OpSwitch:
		case OpReturnValue:
			add_use(it[1]);
			break;
		case OpPhi:
			for (uint32_t k = 3; k < size; k += 2) add_use(it[k]);
			break;
		default:
			if (is_unary_opcode(op)) {
				add_use(it[3]);
			} else if (is_binary_opcode(op)) {
				add_use(it[3]);
				add_use(it[4]);
			} else if (is_image_opcode(op) || is_internal_opcode(op)) {
				int32_t mask = get_image_operand_index(op);
				for (uint32_t k = get_operand_index(op); k < size; k++) {
					if (static_cast<int32_t>(k) != mask) add_use(it[k]);
				}
			}
			break;
	}
}

bool ShaderSpirv::read_instructions() {
	uint32_t label = 0xffffffffu;
	Block block;
	uint32_t counter = 0;
	Set<String> names;
	for (Iterator it = get_iterator(5); !it.is_end(); it = it.advance(it.get_size())) {
		int32_t op = it.get_opcode();
		uint32_t i = it.get_index();
		if (is_type_opcode(op)) {
			indices[it[1]] = i;
			types.append(it[1]);
		}
		if (is_value_opcode(op)) indices[it[2]] = i;

		if (op == OpLabel) {
			if (label != 0xffffffffu) {
				Log::print(Log::Error, "ShaderSpirv::load(): label without branch\n");
				return false;
			}
			label = it[1];
			indices[it[1]] = i;
		} else if (!read_module_info(it) && !read_function_part(it, names) && !read_branch(it, block)) {
			read_operands(it);
		}

		if (is_terminator_opcode(op)) {
			if (label == 0xffffffffu) {
				Log::print(Log::Error, "ShaderSpirv::load(): end of branch without label\n");
				return false;
			}
			block.index = i;
			block.opcode = static_cast<uint32_t>(op);
			block.count = counter;
			block.init_variable = 0;
			blocks.insert(label, block);
			label = 0xffffffffu;
			block = Block();
			counter = 1;
		} else {
			counter++;
		}
	}
	return true;
}

void ShaderSpirv::name_unnamed(const char *prefix) {
	for (uint32_t id = 0; id < records.size(); id++) {
		if (records[id].name.empty()) records[id].name = String::format("%s%x", prefix, id);
		Array<Record> &list = members[id];
		for (uint32_t k = 0; k < list.size(); k++) {
			if (list[k].name.empty()) list[k].name = String::format("%s%x_%x", prefix, id, k);
		}
	}
}

uint32_t ShaderSpirv::get_nameless_block(uint32_t id) const {
	const Record &record = records[id];
	uint32_t storage = record.storage;
	if (record.name[0] != '_') return 0;
	if (storage != StorageInput && storage != StorageUniform && storage != StorageOutput && storage != StorageStorageBuffer) return 0;
	if (find_target(id).get_opcode() != OpVariable) return 0;
	Iterator type = get_target_type(id);
	if (type.get_opcode() != OpTypeStruct) return 0;
	const Map<uint32_t, uint32_t> &decorations = records[type[1]].decorations;
	if (!decorations.find(DecorationBlock) && !decorations.find(DecorationBufferBlock)) return 0;
	return type[1];
}

void ShaderSpirv::unname_blocks(const char *prefix) {
	uint32_t bound = records.size();
	Map<uint32_t, uint32_t> block_variables;
	for (uint32_t id = 0; id < bound; id++) {
		uint32_t structure = get_nameless_block(id);
		if (structure == 0) continue;
		uint32_t *count = block_variables.get(structure);
		if (count) (*count)++;
		else block_variables.insert(structure, 1);
	}
	for (uint32_t id = 0; id < bound; id++) {
		uint32_t structure = get_nameless_block(id);
		if (structure == 0 || *block_variables.get(structure) != 1) continue;
		records[id].name.clear();
		Array<Record> &list = members[structure];
		for (uint32_t k = 0; k < list.size(); k++) {
			rename_reserved(list[k].name, true);
			if (list[k].name.empty()) list[k].name = String::format("%s%x_%x", prefix, structure, k);
		}
	}
}

bool ShaderSpirv::load(const Array<uint32_t> &module) {
	if (!is_module_header(module)) return false;
	// the tables end at the highest id in use, which may lie far below the
	// header's bound
	uint32_t bound = 0;
	if (!check_module(module, bound)) return false;
	prepare_tables(module, bound);

	// The walk only gathers what its lookups find: an id that they cannot
	// follow is one of an instruction the reader does not know, and the module
	// stays as usable as without that detail, so no error is logged for it.
	struct Quiet {
		bool &flag;
		explicit Quiet(bool &flag) : flag(flag) { flag = true; }
		~Quiet() { flag = false; }
	} quiet(quiet_lookups);
	if (!read_instructions()) return false;

	// after the walk
	Iterator entry = find_target(entry_id);
	if (entry_id == 0xffffffffu || entry.get_opcode() != OpFunction) {
		Log::print(Log::Error, "ShaderSpirv::load(): entry target is not defined\n");
		return false;
	}
	functions.append(entry_id);

	const char *prefix = Spirv::get_model_prefix(execution_model);
	name_unnamed(prefix);
	unname_blocks(prefix);

	sort_variables(inputs, DecorationLocation);
	sort_variables(outputs, DecorationLocation);
	sort_variables(resources, DecorationBinding);
	name_module();
	return true;
}

bool ShaderSpirv::is_generated(const String &name) {
	// a name that the module did not give (or that was dropped) is made by
	// `load`; such names, and names of that form, give way to built-in names
	return name.empty() || name[0] == '_';
}

bool ShaderSpirv::is_reserved_name(const char *name, bool bare) const {
	// after a '.' no word of the listing is ambiguous
	if (!bare || name == nullptr) return false;
	uint32_t lo = 0;
	uint32_t hi = sizeof(reserved_words) / sizeof(reserved_words[0]);
	while (lo < hi) {
		uint32_t mid = lo + (hi - lo) / 2;
		int order = strcmp(reserved_words[mid], name);
		if (order == 0) return true;
		if (order < 0) lo = mid + 1;
		else hi = mid;
	}
	return is_type_name(name) || is_image_type_name(name) || is_image_function_name(name) || is_subgroup_function_name(name);
}

void ShaderSpirv::rename_reserved(String &name, bool bare) const {
	// a backend that reserves every form of a name leaves it to be generated
	for (uint32_t steps = 0; !name.empty() && is_reserved_name(name.get(), bare); steps++) {
		if (steps == 4) {
			name.clear();
			return;
		}
		name.append('_');
	}
}

void ShaderSpirv::read_variable(const Iterator &it, Set<String> &names) {
	uint32_t id = it[2];
	uint32_t storage = it[3];
	Record &record = records[id];
	record.storage = storage;
	// a function-scope variable's initialiser is its first store, written where it is declared
	if (it.get_size() > 4 && storage != StorageFunction) initializers.insert(id, it[4]);
	switch (storage) {
		case StorageUniformConstant:
		case StorageUniform:
		case StorageStorageBuffer:
		case StoragePushConstant: {
			resources.append(id);
			Iterator type = get_target_type(id);
			int32_t type_op = type.get_opcode();
			int32_t kind = -1;
			if (storage == StorageUniformConstant) {
				if (type_op == OpTypeSampler) {
					kind = BindingOffsets::Sampler;
				} else if (type_op == OpTypeImage) {
					if (type[7] == 1) kind = BindingOffsets::Texture;
					else if (type[7] == 0 || type[7] == 2) kind = BindingOffsets::Surface;
				} else if (type_op == OpTypeAccelerationStructure) {
					kind = BindingOffsets::Tracing;
				} else if (type_op == OpTypeSampledImage) {
					Iterator image = get_target(type[2]);
					if (image.get_opcode() == OpTypeImage && image[3] == DimBuffer) kind = BindingOffsets::Texel;
				}
			} else if (type_op == OpTypeStruct) {
				const Map<uint32_t, uint32_t> &decorations = records[type[1]].decorations;
				if (storage == StorageUniform) {
					if (decorations.find(DecorationBlock)) kind = BindingOffsets::Uniform;
					else if (decorations.find(DecorationBufferBlock)) kind = BindingOffsets::Storage;
				} else if (storage == StorageStorageBuffer) {
					if (decorations.find(DecorationBlock)) kind = BindingOffsets::Storage;
				}
			}
			if (kind >= 0) counts[kind]++;
			break;
		}
		case StorageInput:
			(get_target_builtin(id) >= 0 ? builtins : inputs).append(id);
			break;
		case StorageOutput:
			(get_target_builtin(id) >= 0 ? builtins : outputs).append(id);
			break;
		case StoragePrivate:
			if (get_target_builtin(id) >= 0) {
				builtins.append(id);
			} else {
				globals.append(id);
				privates.append(id);
			}
			break;
		case StorageWorkgroup:
			shared.append(id);
			break;
		case StorageRayPayload:
			outputs.append(id);
			break;
		case StorageHitAttribute:
		case StorageIncomingRayPayload:
			inputs.append(id);
			break;
		case StorageTaskPayloadWorkgroup:
			payloads.append(id);
			break;
		case StorageFunction:
			// two variables of one name in a function: the later is renamed
			if (!record.name.empty() && names.find(record.name)) record.name.append(String::format("_v%u", id));
			break;
	}
	names.insert(record.name);
}

void ShaderSpirv::read_access_chain(const Iterator &it) {
	// the record that the first indices reach tells which built-in is addressed
	uint32_t size = it.get_size();
	Iterator type = get_target_type(it[3]);
	const Record *record = nullptr;
	uint32_t index = 0;
	uint32_t structure = 0;
	if (is_array_opcode(type.get_opcode()) && size > 5) {
		Iterator element = get_target(type[2]);
		if (element.get_opcode() != OpTypeStruct) {
			record = &records[it[3]];
		} else {
			structure = element[1];
			index = it[5];
		}
	} else if (type.get_opcode() == OpTypeStruct && size > 4) {
		structure = type[1];
		index = it[4];
	} else {
		record = &records[it[3]];
	}
	if (record == nullptr) {
		Iterator constant = get_target(index);
		if (constant.get_opcode() != OpConstant || constant[3] >= members[structure].size()) return;
		record = &members[structure][constant[3]];
	}
	const uint32_t *builtin = record->decorations.get(DecorationBuiltIn);
	if (builtin) used_builtins.insert(*builtin);
}

void ShaderSpirv::read_sampled_image(const Iterator &it) {
	Iterator type = get_target(it[1]);
	if (type.get_opcode() != OpTypeSampledImage) return;
	// the links of every combination, the first one of each image and sampler
	uint32_t links[3] = {type[2], 0, 0};
	Iterator image_variable = get_target_variable(it[3]);
	Iterator sampler_variable = get_target_variable(it[4]);
	if (!image_variable.is_end()) links[1] = image_variable[2];
	if (!sampler_variable.is_end()) links[2] = sampler_variable[2];
	for (uint32_t link : links) {
		if (link && sampled_images.get(link) == nullptr) sampled_images.insert(link, it[1]);
	}
	Iterator image = get_target(type[2]);
	if (image.get_opcode() != OpTypeImage || image[4] == 0) return;
	depth_samplers.insert(it[1], image[1]);
	Iterator variable = get_target_variable(it[3]);
	if (!variable.is_end()) depth_samplers.insert(variable[2], it[1]);
	variable = get_target_variable(it[4]);
	if (!variable.is_end()) depth_samplers.insert(variable[2], it[1]);
}

void ShaderSpirv::sort_variables(Array<uint32_t> &list, uint32_t decoration) {
	// by the decoration's value (65535 without it), variables of a storage
	// class after those of lower classes
	auto key = [&](uint32_t id) {
		const Record &record = records[id];
		const uint32_t *value = record.decorations.get(decoration);
		return (value ? *value : 65535u) + (record.storage << 16);
	};
	quickSort(list.get(), list.size(), [&](uint32_t a, uint32_t b) { return key(a) < key(b); });
}

} // namespace Vexa
