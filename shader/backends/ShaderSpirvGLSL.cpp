// The GLSL backend object and the layout of its text: version line,
// extensions, precision lines, stage layouts, globals, helper functions,
// functions and the pragma lines of the bindings, in that order.
#include "shader/backends/ShaderSpirvGLSL.h"
#include "shader/ShaderSpirvNumbers.h"

#include <cstring>

namespace Vexa {

using namespace Spirv;

namespace {

struct CapabilityExtension {
	uint32_t capability;
	const char *desktop;
	const char *es;
};

// the extension each capability needs on either target (null: none); the
// capabilities of the subgroup operations have their own extensions on both
const CapabilityExtension capability_extensions[] = {
	{22, "GL_AMD_gpu_shader_int16", nullptr},
	{11, "GL_ARB_gpu_shader_int64", nullptr},
	{9, "GL_AMD_gpu_shader_half_float", nullptr},
	{35, "GL_ARB_sample_shading", "GL_OES_sample_variables"},
	{41, "GL_ARB_sparse_texture2", nullptr},
	{4423, "GL_ARB_shader_ballot", nullptr},
	{4431, "GL_ARB_shader_group_vote", nullptr},
	{4427, "GL_ARB_shader_draw_parameters", nullptr},
	{5013, "GL_ARB_shader_stencil_export", nullptr},
	{61, "GL_KHR_shader_subgroup_basic", "GL_KHR_shader_subgroup_basic"},
	{62, "GL_KHR_shader_subgroup_vote", "GL_KHR_shader_subgroup_vote"},
	{63, "GL_KHR_shader_subgroup_arithmetic", "GL_KHR_shader_subgroup_arithmetic"},
	{64, "GL_KHR_shader_subgroup_ballot", "GL_KHR_shader_subgroup_ballot"},
	{65, "GL_KHR_shader_subgroup_shuffle", "GL_KHR_shader_subgroup_shuffle"},
	{66, "GL_KHR_shader_subgroup_shuffle_relative", "GL_KHR_shader_subgroup_shuffle_relative"},
	{67, "GL_KHR_shader_subgroup_clustered", "GL_KHR_shader_subgroup_clustered"},
	{68, "GL_KHR_shader_subgroup_quad", "GL_KHR_shader_subgroup_quad"},
	{5251, "GL_NV_geometry_shader_passthrough", nullptr},
	{5284, "GL_NV_fragment_shader_barycentric", nullptr},
	{45, nullptr, "GL_OES_texture_cube_map_array"},
	{46, nullptr, "GL_OES_texture_buffer"},
	{57, nullptr, "GL_OES_viewport_array"},
};

// Capabilities that neither target has, or that ES has not: the module needs
// them for something the text cannot say.
struct CapabilityName {
	uint32_t capability;
	const char *name;
	bool es_only;
};

const CapabilityName missing_capabilities[] = {
	{9, "Float16", true},
	{10, "Float64", true},
	{11, "Int64", true},
	{22, "Int16", true},
	{39, "Int8", false},
	{41, "SparseResidency", true},
	{42, "MinLod", false},
	{40, "InputAttachment", false},
	{53, "TransformFeedback", false},
	{4423, "SubgroupBallotKHR", true},
	{4427, "DrawParameters", true},
	{4431, "SubgroupVoteKHR", true},
	{4433, "StorageBuffer16BitAccess", true},
	{4434, "UniformAndStorageBuffer16BitAccess", true},
	{4435, "StoragePushConstant16", true},
	{4436, "StorageInputOutput16", true},
	{4437, "DeviceGroup", false},
	{4439, "MultiView", false},
	{4441, "VariablePointersStorageBuffer", false},
	{4442, "VariablePointers", false},
	{4448, "StorageBuffer8BitAccess", false},
	{4449, "UniformAndStorageBuffer8BitAccess", false},
	{4450, "StoragePushConstant8", false},
	{5013, "StencilExportEXT", true},
	{5251, "GeometryShaderPassthroughNV", true},
	{5284, "FragmentBarycentricKHR", true},
	{5302, "RuntimeDescriptorArray", false},
	{5347, "PhysicalStorageBufferAddresses", false},
	{5379, "DemoteToHelperInvocation", false},
	{6025, "Int64ImageEXT", false},
	{6016, "GroupNonUniformRotateKHR", false},
	{4428, "WorkgroupMemoryExplicitLayoutKHR", false},
	{4429, "WorkgroupMemoryExplicitLayout8BitAccessKHR", false},
	{4430, "WorkgroupMemoryExplicitLayout16BitAccessKHR", false},
	{5297, "GroupNonUniformPartitionedNV", false},
	{5015, "ShaderViewportIndexLayerEXT", true},
};

// words of GLSL that a name from the module must not be
const char *const glsl_words[] = {
	"active", "asm", "atomic_uint", "attribute", "bool", "buffer", "bvec2", "bvec3", "bvec4", "cast", "centroid",
	"class", "coherent", "common", "const", "dmat2", "dmat2x2", "dmat2x3", "dmat2x4", "dmat3", "dmat3x2", "dmat3x3",
	"dmat3x4", "dmat4", "dmat4x2", "dmat4x3", "dmat4x4", "double", "dvec2", "dvec3", "dvec4", "enum", "extern",
	"external", "filter", "fixed", "flat", "float", "goto", "half", "highp", "hvec2", "hvec3", "hvec4", "iimage1D",
	"iimage2D", "iimage3D", "iimageBuffer", "iimageCube", "image1D", "image2D", "image3D", "imageBuffer", "imageCube",
	"inline", "input", "int", "interface", "invariant", "isampler1D", "isampler2D", "isampler3D", "isamplerBuffer",
	"isamplerCube", "ivec2", "ivec3", "ivec4", "layout", "long", "lowp", "mat2", "mat2x2", "mat2x3", "mat2x4",
	"mat3", "mat3x2", "mat3x3", "mat3x4", "mat4", "mat4x2", "mat4x3", "mat4x4", "mediump", "namespace",
	"noinline", "noperspective", "output", "packed", "partition", "patch", "precise", "precision", "public",
	"readonly", "resource", "restrict", "return", "sample", "sampler1D", "sampler2D", "sampler3D", "samplerBuffer",
	"samplerCube", "shared", "short", "sizeof", "smooth", "static", "struct", "subroutine", "superp", "switch",
	"template", "this", "typedef", "uimage1D", "uimage2D", "uimage3D", "uimageBuffer", "uimageCube", "uint",
	"uniform", "union", "unsigned", "usampler1D", "usampler2D", "usampler3D", "usamplerBuffer", "usamplerCube",
	"using", "uvec2", "uvec3", "uvec4", "varying", "vec2", "vec3", "vec4", "void", "volatile", "while", "writeonly",
	"texture", "textureLod", "textureSize", "texelFetch", "textureGather", "textureProj", "textureGrad",
	"textureOffset", "texture2D", "equal", "notEqual", "lessThan", "greaterThan", "lessThanEqual", "greaterThanEqual",
	"uintBitsToFloat", "intBitsToFloat", "floatBitsToInt", "floatBitsToUint", "packDouble2x32", "unpackDouble2x32",
	"packHalf2x16", "unpackHalf2x16", "trunc", "sign", "round", "roundEven", "transpose", "outerProduct",
	"uaddCarry", "usubBorrow", "umulExtended", "imulExtended", "float16_t", "int64_t", "uint64_t", "int16_t",
	"uint16_t", "imageSamples", "textureSamples", "textureQueryLevels", "textureQueryLod",
};

} // namespace

// The prototypes of the two formats, entered into the registry when the
// program starts: the build links every object of the backends whole.
ShaderSpirvGLSL glsl_gl_prototype("GLSL_GL", 45, 0);
ShaderSpirvGLSL glsl_gles_prototype("GLSL_GLES", 0, 32);

ShaderSpirvGLSL::ShaderSpirvGLSL(const char *format, uint32_t gl, uint32_t es) : ShaderSpirv(format), gl_version(gl), es_version(es) {
}

ShaderSpirvGLSL::ShaderSpirvGLSL(uint32_t gl, uint32_t es) : gl_version(gl), es_version(es) {
}

ShaderSpirvGLSL::~ShaderSpirvGLSL() {
}

ShaderSpirv *ShaderSpirvGLSL::clone() const {
	return new ShaderSpirvGLSL(gl_version, es_version);
}

bool ShaderSpirvGLSL::load(const Array<uint32_t> &module) {
	return ShaderSpirv::load(module);
}

uint32_t ShaderSpirvGLSL::get_naming_rules() const {
	return NameUnique;
}

String ShaderSpirvGLSL::get_entry_point_name() const {
	// GLSL's entry point is main, and no other name may be main
	return String("main");
}

const char *ShaderSpirvGLSL::get_builtin_prefix() const {
	return "gl_";
}

void ShaderSpirvGLSL::get_helper_names(Array<String> &, Array<String> &prefixes) const {
	// the helpers of GLSL's own whose names hold the types they take
	prefixes.append(String("_modf_"));
	prefixes.append(String("_frexp_"));
}

bool ShaderSpirvGLSL::has_builtin_in_stage(uint32_t builtin) const {
	// the stages whose GLSL declares the built-in (1 << execution model);
	// a function of another entry point may use another stage's built-ins
	enum : uint32_t { V = 1, TC = 2, TE = 4, G = 8, F = 16, C = 32 };
	uint32_t stages = V | TC | TE | G | F | C;
	switch (builtin) {
		case BuiltInPosition: case BuiltInPointSize: stages = V | TC | TE | G; break;
		case BuiltInClipDistance: case BuiltInCullDistance: stages = V | TC | TE | G | F; break;
		case BuiltInVertexId: case BuiltInInstanceId: case BuiltInVertexIndex: case BuiltInInstanceIndex: case BuiltInBaseVertex: case BuiltInBaseInstance: case BuiltInDrawIndex: stages = V; break;
		case BuiltInPrimitiveId: stages = TC | TE | G | F; break;
		case BuiltInInvocationId: stages = TC | G; break;
		case BuiltInLayer: case BuiltInViewportIndex: stages = V | TE | G | F; break;
		case BuiltInTessLevelOuter: case BuiltInTessLevelInner: case BuiltInPatchVertices: stages = TC | TE; break;
		case BuiltInTessCoord: stages = TE; break;
		case BuiltInFragCoord: case BuiltInPointCoord: case BuiltInFrontFacing: case BuiltInSampleId: case BuiltInSamplePosition: case BuiltInSampleMask: case BuiltInFragDepth: case BuiltInHelperInvocation: case BuiltInFragStencilRef: case BuiltInBaryCoord: case BuiltInBaryCoordNoPersp: stages = F; break;
		case BuiltInNumWorkgroups: case BuiltInWorkgroupSize: case BuiltInWorkgroupId: case BuiltInLocalInvocationId: case BuiltInGlobalInvocationId: case BuiltInLocalInvocationIndex: case BuiltInNumSubgroups: case BuiltInSubgroupId: stages = C; break;
	}
	return execution_model < 6 && (stages & (1u << execution_model)) != 0;
}

bool ShaderSpirvGLSL::is_initialized_in_declaration(uint32_t variable) {
	// GLSL takes initial values of plain globals only
	return variable < records.size() && records[variable].storage == StoragePrivate && get_target_builtin(variable) < 0;
}

String ShaderSpirvGLSL::get_entry_initializers(uint32_t indent) {
	// An output is given its initial value by the entry point's first
	// statements; shared memory and built-ins cannot be.
	for (auto entry = initializers.begin(); entry != initializers.end(); ++entry) {
		uint32_t variable = entry->key;
		if (variable >= records.size()) continue;
		if (records[variable].storage == StorageWorkgroup || is_builtin_variable(variable) || find_target(variable).get_opcode() != OpVariable ||
			(records[variable].storage != StorageOutput && records[variable].storage != StoragePrivate)) {
			log_error("ShaderSpirvGLSL::get_functions(): unknown initializer of %s\n", records[variable].name.get());
			return String();
		}
		Iterator type = get_target_type(variable);
		type = get_element_type(type);
		bool block = type.get_opcode() == OpTypeStruct && type[1] < records.size() &&
			(records[type[1]].decorations.find(DecorationBlock) || records[type[1]].decorations.find(DecorationBufferBlock));
		if (get_nameless_block(variable) || block) {
			log_error("ShaderSpirvGLSL::get_functions(): unknown initializer of %s\n", records[variable].name.get());
			return String();
		}
	}
	return ShaderSpirv::get_entry_initializers(indent);
}

String ShaderSpirvGLSL::get_case_label(uint32_t selector, uint64_t literal) {
	if (get_target_base_type(selector)[2] > 32) {
		log_error("ShaderSpirvGLSL::get_case_label(): unknown switch of %u-bit integers\n", get_target_base_type(selector)[2]);
		return String();
	}
	return ShaderSpirv::get_case_label(selector, literal);
}

String ShaderSpirvGLSL::get_control(const Iterator &) {
	return String();
}

bool ShaderSpirvGLSL::is_reserved_name(const char *name, bool bare) const {
	if (name == nullptr) return false;
	// names GLSL keeps for later (built-in names "gl_" come from the module's
	// own built-ins and stay)
	if (strstr(name, "__") != nullptr) return true;
	if (ShaderSpirv::is_reserved_name(name, bare)) return true;
	for (const char *word : glsl_words) {
		if (strcmp(word, name) == 0) return true;
	}
	return false;
}

bool ShaderSpirvGLSL::has_capability_of(uint32_t capability) const {
	for (uint32_t i = 0; i < capabilities.size(); i++) {
		if (capabilities[i] == capability) return true;
	}
	return false;
}

bool ShaderSpirvGLSL::check_output() {
	bool es = is_es();
	switch (execution_model) {
		case ModelVertex:
		case ModelTessellationControl:
		case ModelTessellationEvaluation:
		case ModelGeometry:
		case ModelFragment:
		case ModelGLCompute:
			break;
		default:
			log_error("ShaderSpirvGLSL::get_source(): unknown execution model %u\n", execution_model);
			return false;
	}
	for (uint32_t i = 0; i < capabilities.size(); i++) {
		for (const CapabilityName &missing : missing_capabilities) {
			if (missing.capability != capabilities[i] || (missing.es_only && !es)) continue;
			log_error("ShaderSpirvGLSL::get_source(): unknown capability %s\n", missing.name);
		}
	}
	for (uint32_t i = 0; i < inputs.size(); i++) {
		if (execution_model == ModelGLCompute && !is_builtin_variable(inputs[i])) {
			log_error("ShaderSpirvGLSL::get_source(): unknown input %s of a compute shader\n", records[inputs[i]].name.get());
		}
	}
	for (uint32_t id = 0; id < records.size(); id++) {
		const uint32_t *builtin = records[id].decorations.get(DecorationBuiltIn);
		if (builtin && *builtin == BuiltInSampleMask && find_target(id).get_opcode() == OpVariable && is_unsigned_type(get_target_base_type(id)[1])) {
			log_error("ShaderSpirvGLSL::get_source(): unknown SampleMask of unsigned integers\n");
		}
	}
	for (uint32_t i = 0; i < inputs.size(); i++) {
		// at most gl_MaxPatchVertices vertices come in
		if (!is_patch_vertex_array(inputs[i])) continue;
		Iterator length = get_target(get_target_type(inputs[i])[3]);
		if (length.get_opcode() != OpConstant || length[3] == 0 || length[3] > 32) {
			log_error("ShaderSpirvGLSL::get_source(): unknown length of vertex array %s\n", records[inputs[i]].name.get());
		}
	}
	// GLSL takes the vertex count of the arrays of a geometry shader's
	// inputs from the input primitive, and of a control shader's outputs
	// from the output vertices, and refuses any other length
	uint32_t vertices = 0;
	if (execution_model == ModelGeometry) {
		static const uint32_t counts[] = {1, 2, 4, 3, 6};
		for (uint32_t mode = 19; mode <= 23; mode++) {
			if (execution_modes.get(mode)) vertices = counts[mode - 19];
		}
	} else if (execution_model == ModelTessellationControl && execution_modes.get(ExecutionModeOutputVertices)) {
		vertices = *execution_modes.get(ExecutionModeOutputVertices);
	}
	const Array<uint32_t> &arrayed = (execution_model == ModelGeometry) ? inputs : outputs;
	for (uint32_t i = 0; vertices != 0 && i < arrayed.size(); i++) {
		uint32_t variable = arrayed[i];
		if (variable >= records.size() || find_target(variable).get_opcode() != OpVariable || records[variable].decorations.find(DecorationBuiltIn)) continue;
		if (is_builtin_variable(variable) || is_patch_variable(variable)) continue;
		Iterator type = get_target_type(variable);
		if (!is_array_opcode(type.get_opcode())) continue;
		Iterator length = get_target(type[3]);
		if (type.get_opcode() != OpTypeArray || length.get_opcode() != OpConstant || length[3] != vertices) {
			log_error("ShaderSpirvGLSL::get_source(): unknown length of vertex array %s\n", records[variable].name.get());
		}
	}
	for (Iterator it = get_iterator(5); !it.is_end() && it.get_size() != 0; it = it.advance(it.get_size())) {
		int32_t op = it.get_opcode();
		if (op == OpFunctionCall || op == OpCopyMemory) {
			// arrays of vertices are read in GLSL's form: element by element
			for (uint32_t k = (op == OpCopyMemory) ? 1 : 4; k < it.get_size() && k < ((op == OpCopyMemory) ? 3u : it.get_size()); k++) {
				uint32_t base = get_pointer_base(it[k]);
				if (is_patch_vertex_array(base) || is_vertex_builtin_array(base)) {
					log_error("ShaderSpirvGLSL::get_source(): unknown pointer to vertex array %s\n", records[base].name.get());
				}
			}
		}
		if (op == OpAccessChain || op == OpInBoundsAccessChain || op == OpVectorExtractDynamic || op == OpVectorInsertDynamic) {
			// GLSL refuses a constant index past the end (the module may
			// have one where a specialisation would change it, or on a path
			// never taken)
			Iterator type = get_target_type(it[3]);
			uint32_t first = (op == OpVectorInsertDynamic) ? 5 : 4;
			uint32_t last = (op == OpAccessChain || op == OpInBoundsAccessChain) ? it.get_size() : first + 1;
			for (uint32_t k = first; k < last && k < it.get_size() && !type.is_end(); k++) {
				int32_t type_op = type.get_opcode();
				Iterator index = find_target(it[k]);
				bool constant = index.get_opcode() == OpConstant || index.get_opcode() == OpSpecConstant;
				uint32_t length = ~0u;
				if (type_op == OpTypeVector || type_op == OpTypeMatrix) length = type[3];
				else if (type_op == OpTypeArray && get_target(type[3]).get_opcode() == OpConstant) length = get_target(type[3])[3];
				if (constant && index[3] >= length) {
					log_error("ShaderSpirvGLSL::get_source(): unknown index %u past the end of %s\n", index[3], records[it[3]].name.get());
					break;
				}
				if (type_op == OpTypeStruct) {
					if (!constant || index[3] + 2 >= type.get_size()) break;
					type = get_target_type(type[index[3] + 2]);
				} else if (type_op == OpTypeVector || type_op == OpTypeMatrix || is_array_opcode(type_op)) {
					type = get_target_type(type[2]);
				} else {
					break;
				}
			}
		}
		if (op == OpStore || op == OpCopyMemory) {
			// a control point is written by its own invocation only
			// (gl_InvocationID)
			uint32_t variable = get_foreign_vertex_write(it);
			if (variable != 0) {
				log_error("ShaderSpirvGLSL::get_source(): unknown vertex index of output %s\n", records[variable].name.get());
			}
		}
		uint32_t pointer = get_pointer_base((op == OpLoad) ? it[3] : (op == OpStore) ? it[1] : 0);
		if (es && execution_model == ModelFragment && (op == OpAccessChain || op == OpInBoundsAccessChain) && it.get_size() > 4 &&
			find_target(it[3]).get_opcode() == OpVariable && records[it[3]].storage == StorageOutput && get_target(it[4]).get_opcode() != OpConstant) {
			// ES indexes fragment outputs by constants only
			log_error("ShaderSpirvGLSL::get_source(): unknown run-time index of output %s\n", records[it[3]].name.get());
		}
		if (es && (op == OpAccessChain || op == OpInBoundsAccessChain) && it.get_size() > 4 && find_target(it[3]).get_opcode() == OpVariable &&
			is_array_opcode(get_target_type(it[3]).get_opcode()) && get_target(it[4]).get_opcode() != OpConstant) {
			// and arrays of storage blocks too
			Iterator element = get_target_type(get_target_type(it[3])[2]);
			bool storage = element.get_opcode() == OpTypeStruct && element[1] < records.size() &&
				(records[it[3]].storage == StorageStorageBuffer || records[element[1]].decorations.find(DecorationBufferBlock));
			if (storage) log_error("ShaderSpirvGLSL::get_source(): unknown run-time index of storage block array %s\n", records[it[3]].name.get());
		}
		// GLSL has no values of a block's type: a block is read member by
		// member, or whole where it cannot change (the text reads it again)
		uint32_t block_type = 0;
		if (op == OpVariable && (it[3] == StorageFunction || it[3] == StoragePrivate)) {
			block_type = find_target(it[1])[3];
		} else if (op == OpStore || op == OpCopyMemory) {
			block_type = find_target(find_target(it[1])[1])[3];
		} else if (op != OpVariable && it.get_size() > 2 && find_target(it[2]) == it && is_type_opcode(find_target(it[1]).get_opcode())) {
			uint32_t storage = find_target(find_target(it[3])[1])[2];
			bool lasting = op == OpLoad && (storage == StorageInput || storage == StorageUniform || storage == StoragePushConstant) &&
				!is_patch_vertex_array(get_pointer_base(it[3]));
			if (!lasting) block_type = it[1];
		}
		if (block_type != 0 && is_block_type(block_type)) {
			log_error("ShaderSpirvGLSL::get_source(): unknown copy of the whole block %s\n", records[get_target_base_type(block_type)[1]].name.get());
		}
		if (pointer == 0) continue;
		int32_t pointer_op = find_target(pointer).get_opcode();
		if (pointer_op != OpVariable && pointer_op != OpAccessChain && pointer_op != OpInBoundsAccessChain) continue;
		// GLSL's built-in arrays are unsized: elements go one by one
		const Record *record = get_target_record(pointer);
		if (record && record->decorations.find(DecorationBuiltIn) && is_array_opcode(get_target_type(pointer).get_opcode())) {
			log_error("ShaderSpirvGLSL::get_source(): unknown copy of the whole built-in array %s\n", record->name.get());
		}
	}
	// built-ins that the target has not
	for (auto it = used_builtins.begin(); it != used_builtins.end(); ++it) {
		uint32_t builtin = it->key;
		bool known = builtin < 4400 || (builtin >= BuiltInSubgroupEqMask && builtin <= BuiltInSubgroupLtMask) || (builtin >= BuiltInBaseVertex && builtin <= BuiltInDrawIndex) ||
			(!es && (builtin == BuiltInFragStencilRef || builtin == BuiltInBaryCoord || builtin == BuiltInBaryCoordNoPersp));
		if (es && (builtin == BuiltInClipDistance || builtin == BuiltInCullDistance || builtin == BuiltInViewportIndex)) known = false;
		if (!known) log_error("ShaderSpirvGLSL::get_source(): unknown builtin %u\n", builtin);
		else if (!has_builtin_in_stage(builtin)) log_error("ShaderSpirvGLSL::get_source(): unknown builtin %u in execution model %u\n", builtin, execution_model);
	}
	if (es && (has_capability_of(32) || has_capability_of(33))) log_error("ShaderSpirvGLSL::get_source(): unknown capability ClipDistance\n");
	if (es && execution_model == ModelFragment && (execution_modes.get(ExecutionModeDepthGreater) || execution_modes.get(ExecutionModeDepthLess))) {
		log_error("ShaderSpirvGLSL::get_source(): unknown execution mode %s\n", execution_modes.get(ExecutionModeDepthGreater) ? "DepthGreater" : "DepthLess");
	}
	for (uint32_t id = 0; id < records.size(); id++) {
		if (records[id].decorations.find(DecorationPerVertex)) log_error("ShaderSpirvGLSL::get_source(): unknown decoration PerVertexKHR of %s\n", records[id].name.get());
		// inputs of a mesh shader's primitives
		if (records[id].decorations.find(DecorationPerPrimitive)) log_error("ShaderSpirvGLSL::get_source(): unknown decoration PerPrimitiveEXT of %s\n", records[id].name.get());
		for (uint32_t k = 0; id < members.size() && k < members[id].size(); k++) {
			if (members[id][k].decorations.find(DecorationPerPrimitive)) log_error("ShaderSpirvGLSL::get_source(): unknown decoration PerPrimitiveEXT of %s\n", members[id][k].name.get());
		}
	}
	if (es && has_capability_of(54)) log_error("ShaderSpirvGLSL::get_source(): unknown capability GeometryStreams\n");
	if (es && (used_builtins.find(BuiltInBaseVertex) || used_builtins.find(BuiltInBaseInstance) || used_builtins.find(BuiltInDrawIndex))) {
		log_error("ShaderSpirvGLSL::get_source(): unknown builtin DrawParameters\n");
	}
	check_resource_indices();
	for (auto it = imports.begin(); it != imports.end(); ++it) {
		if (it->value != "GLSL.std.450" && strncmp(it->value.get(), "NonSemantic.", 12) != 0) {
			log_error("ShaderSpirvGLSL::get_source(): unknown extended instruction set %s\n", it->value.get());
		}
	}
	return errors == 0;
}

void ShaderSpirvGLSL::check_resource_indices() {
	// The values that the module says may differ between invocations: an
	// index into an array of resources, the element it chooses, what is
	// loaded from it and the images made of that. GLSL says it of the index
	// alone (nonuniformEXT), so it goes back from the values to their index.
	Array<Iterator> instructions;
	for (Iterator it = get_iterator(5); !it.is_end() && it.get_size() != 0; it = it.advance(it.get_size())) {
		int32_t op = it.get_opcode();
		if (op == OpLoad || op == OpSampledImage || op == OpImage || op == OpImageTexelPointer || op == OpCopyObject ||
			op == OpAccessChain || op == OpInBoundsAccessChain) {
			instructions.append(it);
		}
	}
	auto nonuniform = [&](uint32_t id) { return id < records.size() && records[id].decorations.find(DecorationNonUniform) != nullptr; };
	for (uint32_t i = instructions.size(); i-- > 0;) {
		const Iterator &it = instructions[i];
		int32_t op = it.get_opcode();
		if (it.get_size() < 4 || !nonuniform(it[2])) continue;
		// the operand the value is made from
		uint32_t from = it[3];
		if (from >= records.size()) continue;
		if (op != OpAccessChain && op != OpInBoundsAccessChain) {
			records[from].decorations.insert(DecorationNonUniform, 0u);
			continue;
		}
		uint32_t variable = get_resource_array(it[2]);
		if (variable != 0) {
			// the indices that choose the resource
			Iterator type = get_target_type(variable);
			for (uint32_t k = 4; k < it.get_size() && is_array_opcode(type.get_opcode()); k++) {
				int32_t index_op = find_target(it[k]).get_opcode();
				if (index_op != OpConstant && index_op != OpSpecConstant && it[k] < records.size()) records[it[k]].decorations.insert(DecorationNonUniform, 0u);
				type = get_target_type(type[2]);
			}
		} else {
			records[from].decorations.insert(DecorationNonUniform, 0u);
		}
	}
	bool es = is_es();
	Set<uint32_t> reported;
	for (uint32_t i = 0; i < instructions.size(); i++) {
		const Iterator &it = instructions[i];
		uint32_t variable = get_resource_array(it[2]);
		if (variable == 0 || reported.find(variable)) continue;
		Iterator element = get_target_type(variable);
		bool run_time = false;
		for (uint32_t k = 4; k < it.get_size() && is_array_opcode(element.get_opcode()); k++) {
			int32_t index_op = find_target(it[k]).get_opcode();
			run_time = run_time || (index_op != OpConstant && index_op != OpSpecConstant);
			element = get_target_type(element[2]);
		}
		element = get_element_type(element);
		if (!run_time) continue;
		reported.insert(variable);
		if (element.get_opcode() == OpTypeSampler) {
			// which sampler a texture takes is a line of the text, not a value
			log_error("ShaderSpirvGLSL::get_source(): unknown run-time index of sampler array %s\n", records[variable].name.get());
		} else if (es && element.get_opcode() == OpTypeImage && element[7] == 2) {
			// ES indexes arrays of images by constants only
			log_error("ShaderSpirvGLSL::get_source(): unknown run-time index of image array %s\n", records[variable].name.get());
		}
	}
}

void ShaderSpirvGLSL::prepare_output() {
	nonuniform_written = false;
	find_resource_uses();
	check_texture_sampling();
	check_bindings();
}

String ShaderSpirvGLSL::get_stage_declarations() {
	String layouts = get_layouts();
	String distances = get_distance_declarations();
	return layouts + distances;
}

String ShaderSpirvGLSL::get_prologue() {
	// the extensions that the rendering added are known now
	StringStack<64> text;
	bool es = is_es();
	if (!es) {
		// extensions of stages that GL has not, which its compilers refuse
		static const char *const stage_extensions[] = {"GL_EXT_mesh_shader", "GL_EXT_ray_tracing", "GL_NV_ray_tracing_motion_blur"};
		for (uint32_t i = 0; i < source_extensions.size(); i++) {
			// only names: an extension line of the module's own words
			bool stage = false;
			for (const char *name : stage_extensions) stage = stage || source_extensions[i] == name;
			if (!stage && is_identifier(source_extensions[i].get())) extensions.insert(source_extensions[i]);
		}
		text.append(String::format("#version %u0 core\n", gl_version));
	} else {
		text.append(String::format("#version %u0 es\n", es_version));
		if (es_version < 32) {
			if (execution_model == ModelTessellationControl || execution_model == ModelTessellationEvaluation) add_extension("GL_EXT_tessellation_shader");
			if (execution_model == ModelGeometry) add_extension("GL_EXT_geometry_shader");
		}
	}
	for (uint32_t i = 0; i < capabilities.size(); i++) {
		for (const CapabilityExtension &entry : capability_extensions) {
			if (entry.capability != capabilities[i]) continue;
			const char *name = es ? entry.es : entry.desktop;
			if (name) add_extension(name);
		}
	}
	bool layer = used_builtins.find(BuiltInLayer) != nullptr;
	bool viewport = used_builtins.find(BuiltInViewportIndex) != nullptr;
	if (!es) {
		if (execution_model != ModelFragment && execution_model != ModelGeometry && (layer || viewport)) add_extension("GL_ARB_shader_viewport_layer_array");
	} else {
		// ES has the layer in geometry and fragment shaders only
		if (layer && execution_model != ModelFragment && execution_model != ModelGeometry) {
			log_error("ShaderSpirvGLSL::get_source(): unknown builtin Layer outside geometry and fragment shaders\n");
		}

		// the point size of geometry and tessellation shaders is an
		// extension's, whether the module declares its capability or not
		bool point_size = used_builtins.find(BuiltInPointSize) != nullptr;
		if ((has_capability_of(24) || point_size) && execution_model == ModelGeometry) add_extension("GL_EXT_geometry_point_size");
		if ((has_capability_of(23) || point_size) && (execution_model == ModelTessellationControl || execution_model == ModelTessellationEvaluation)) add_extension("GL_EXT_tessellation_point_size");
	}
	// indices that the module says may differ between invocations are
	// written through nonuniformEXT, which the extension must give, whether
	// the module declares its capability or only the decoration
	const char *const nonuniform = "GL_EXT_nonuniform_qualifier";
	bool nonuniform_required = has_capability_of(5301) || nonuniform_written;
	if (nonuniform_required) text.append(String::format("#extension %s : require\n", nonuniform));
	for (auto it = extensions.begin(); it != extensions.end(); ++it) {
		if (it->key != nonuniform || !nonuniform_required) text.append(String::format("#extension %s : enable\n", it->key.get()));
	}
	if (!es) {
		if (has_capability_of(5251)) text.append("layout(passthrough) in gl_PerVertex { vec4 gl_Position; } gl_in[];\n");
	} else {
		text.append("precision highp float;\nprecision highp int;\n");
	}
	return String(static_cast<StringStack<64> &&>(text));
}

String ShaderSpirvGLSL::get_epilogue() {
	return pragmas;
}

String ShaderSpirvGLSL::get_distance_declarations() {
	// GLSL's gl_ClipDistance and gl_CullDistance are unsized until declared
	// again, and then take only constant indices. Their sizes are the
	// module's: one declared alone where the stage has a single vertex, as a
	// member of the whole gl_PerVertex block of gl_in[] (and gl_out[] of a
	// control shader), with the other built-ins of the block that the module
	// has. ES has neither (named where the module is checked).
	bool clip = used_builtins.find(BuiltInClipDistance) != nullptr;
	bool cull = used_builtins.find(BuiltInCullDistance) != nullptr;
	if (is_es() || (!clip && !cull)) return String();
	bool passthrough = has_capability_of(5251);
	StringStack<64> ret;
	for (uint32_t storage_class : {StorageInput, StorageOutput}) {
		bool input = storage_class == StorageInput;
		const char *storage = input ? "in" : "out";
		bool arrayed = (input && (execution_model == ModelTessellationControl || execution_model == ModelTessellationEvaluation ||
			execution_model == ModelGeometry)) || (!input && execution_model == ModelTessellationControl);
		// the built-ins of the stage's vertices, by number, with their types
		Map<uint32_t, uint32_t> found;
		for (uint32_t i = 0; i < builtins.size(); i++) {
			uint32_t variable = builtins[i];
			if (variable >= records.size() || records[variable].storage != storage_class || find_target(variable).get_opcode() != OpVariable) continue;
			Iterator type = get_target_type(variable);
			if (arrayed && is_array_opcode(type.get_opcode())) type = get_target_type(type[2]);
			const uint32_t *builtin = records[variable].decorations.get(DecorationBuiltIn);
			if (builtin) {
				if ((arrayed ? is_vertex_builtin_array(variable) : (*builtin == BuiltInClipDistance || *builtin == BuiltInCullDistance)) && !found.get(*builtin)) found.insert(*builtin, type[1]);
				continue;
			}
			if (type.get_opcode() != OpTypeStruct || type[1] >= members.size()) continue;
			for (uint32_t k = 0; k < members[type[1]].size() && k + 2 < type.get_size(); k++) {
				builtin = members[type[1]][k].decorations.get(DecorationBuiltIn);
				if (builtin && *builtin <= BuiltInCullDistance && *builtin != 2 && !found.get(*builtin)) found.insert(*builtin, type[k + 2]);
			}
		}
		bool sized = (clip && found.get(BuiltInClipDistance)) || (cull && found.get(BuiltInCullDistance));
		if (!sized || (arrayed && input && passthrough)) continue;
		StringStack<64> block;
		for (uint32_t builtin = 0; builtin <= BuiltInCullDistance; builtin++) {
			const uint32_t *type = found.get(builtin);
			if (type == nullptr || (!arrayed && builtin < 3)) continue;
			Iterator element = get_target_type(*type);
			if (builtin >= BuiltInClipDistance) {
				element = is_array_opcode(element.get_opcode()) ? get_target_type(element[2]) : get_end();
				if (element.get_opcode() != OpTypeFloat || element[2] != 32) {
					log_error("ShaderSpirvGLSL::get_distance_declarations(): unknown type of builtin %s\n", get_builtin_name(builtin).get());
					continue;
				}
			}
			String line = String::format("%s %s%s;\n", get_type(*type, nullptr).get(), get_builtin_name(builtin).get(), get_array_suffix(*type).get());
			if (arrayed) {
				block.append('\t');
				block.append(line);
			} else {
				ret.append(storage);
				ret.append(' ');
				ret.append(line);
			}
		}
		if (arrayed) ret.append(String::format("%s gl_PerVertex {\n%s} %s[];\n", storage, String(static_cast<StringStack<64> &&>(block)).get(), input ? "gl_in" : "gl_out"));
	}
	return String(static_cast<StringStack<64> &&>(ret));
}

String ShaderSpirvGLSL::get_layouts() {
	StringStack<64> in;
	StringStack<64> out;
	auto mode = [&](uint32_t number) { return execution_modes.get(number); };
	auto item = [&](StringStack<64> &list, uint32_t number, const char *text) {
		const uint32_t *value = mode(number);
		if (value) list.append(String::format(text, *value));
	};
	StringStack<64> ret;
	switch (execution_model) {
		case ModelTessellationControl:
			item(out, 26, "vertices = %u, ");
			break;
		case ModelTessellationEvaluation:
			item(in, 1, "equal_spacing, ");
			item(in, 2, "fractional_even_spacing, ");
			item(in, 3, "fractional_odd_spacing, ");
			item(in, 22, "triangles, ");
			item(in, 24, "quads, ");
			item(in, 25, "isolines, ");
			item(in, 4, "cw, ");
			item(in, 5, "ccw, ");
			if (mode(18)) item(in, 18, "point_mode, ");
			break;
		case ModelGeometry:
			item(in, 0, "invocations = %u, ");
			item(in, 19, "points, ");
			item(in, 20, "lines, ");
			item(in, 21, "lines_adjacency, ");
			item(in, 22, "triangles, ");
			item(in, 23, "triangles_adjacency, ");
			item(out, 27, "points, ");
			item(out, 28, "line_strip, ");
			item(out, 29, "triangle_strip, ");
			item(out, 26, "max_vertices = %u, ");
			break;
		case ModelFragment:
			if (mode(14)) ret.append("layout(depth_greater) out float gl_FragDepth;\n");
			else if (mode(15)) ret.append("layout(depth_less) out float gl_FragDepth;\n");
			item(in, 9, "early_fragment_tests, ");
			break;
		case ModelGLCompute: {
			// a constant decorated WorkgroupSize overrides the mode; GL takes
			// the default values of specialisation constants
			uint32_t size[3] = {local_size[0], local_size[1], local_size[2]};
			bool sized = mode(17) || mode(38);
			for (uint32_t id = 0; id < records.size(); id++) {
				const uint32_t *builtin = records[id].decorations.get(DecorationBuiltIn);
				if (builtin == nullptr || *builtin != BuiltInWorkgroupSize) continue;
				Iterator composite = find_target(id);
				if ((composite.get_opcode() != OpConstantComposite && composite.get_opcode() != OpSpecConstantComposite) || composite.get_size() != 6) continue;
				for (uint32_t k = 0; k < 3; k++) {
					Iterator component = find_target(composite[3 + k]);
					if (component.get_opcode() != OpConstant && component.get_opcode() != OpSpecConstant) {
						log_error("ShaderSpirvGLSL::get_layouts(): unknown WorkgroupSize component %u\n", composite[3 + k]);
						continue;
					}
					size[k] = component[3];
				}
				sized = true;
			}
			if (sized) {
				if (size[0] != 0) in.append(String::format("local_size_x = %u, ", size[0]));
				if (size[1] != 1) in.append(String::format("local_size_y = %u, ", size[1]));
				if (size[2] != 1) in.append(String::format("local_size_z = %u, ", size[2]));
			}
			break;
		}
	}
	if (!in.empty()) {
		ret.append("layout(");
		ret.append(in.get(), in.size() - 2);
		ret.append(") in;\n");
	}
	if (!out.empty()) {
		ret.append("layout(");
		ret.append(out.get(), out.size() - 2);
		ret.append(") out;\n");
	}
	return String(static_cast<StringStack<64> &&>(ret));
}

} // namespace Vexa
