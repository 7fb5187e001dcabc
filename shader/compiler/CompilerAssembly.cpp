// Module assembly: turns what one compilation gathered (capabilities, stage,
// records, declaration words, function code) into a complete SPIR-V module in
// `words`, in the order the format requires: header, capabilities,
// extensions, imports, memory model, entry point, execution modes, source,
// debug names, decorations, declarations and global variables, functions
// (each after the functions it calls). Declared structures that nothing uses
// are dropped, and unused variables and functions are reported.
//
// Every type that the assembly itself needs (pointers of the variables and
// parameters, return types, constants of replaced bodies) is made before the
// declaration words are set aside, so that it lands among the declarations
// and is decorated like any other type.
#include "shader/compiler/Compiler.h"

#include "core/Error.h"
#include "core/Log.h"
#include "core/Math.h"
#include "shader/ShaderSpirvNumbers.h"

namespace Vexa {

namespace {

// capabilities that need an extension, in the order of the OpExtension
// instructions (half floats are a core capability and need none)
const struct {
	uint32_t capability;
	const char *extension;
} capability_extensions[] = {
	{4423, "SPV_KHR_shader_ballot"},
	{4431, "SPV_KHR_subgroup_vote"},
	{4427, "SPV_KHR_shader_draw_parameters"},
	{5013, "SPV_EXT_shader_stencil_export"},
	{5254, "SPV_EXT_shader_viewport_index_layer"},
	{5251, "SPV_NV_geometry_shader_passthrough"},
	{5255, "SPV_NV_viewport_array2"},
	{5283, "SPV_EXT_mesh_shader"},
	{4479, "SPV_KHR_ray_tracing"},
	{4472, "SPV_KHR_ray_query"},
	{5016, "SPV_EXT_shader_image_int64"},
	{5301, "SPV_EXT_descriptor_indexing"},
	{5302, "SPV_EXT_descriptor_indexing"},
	{5304, "SPV_EXT_descriptor_indexing"},
	{5305, "SPV_EXT_descriptor_indexing"},
	{5306, "SPV_EXT_descriptor_indexing"},
	{5307, "SPV_EXT_descriptor_indexing"},
	{5308, "SPV_EXT_descriptor_indexing"},
	{5309, "SPV_EXT_descriptor_indexing"},
	{5310, "SPV_EXT_descriptor_indexing"},
	{5311, "SPV_EXT_descriptor_indexing"},
	{5312, "SPV_EXT_descriptor_indexing"},
	{5284, "SPV_KHR_fragment_shader_barycentric"},
	{4437, "SPV_KHR_device_group"},
	{4439, "SPV_KHR_multiview"},
	{5297, "SPV_NV_shader_subgroup_partitioned"},
	{6033, "SPV_EXT_shader_atomic_float_add"},
	{6034, "SPV_EXT_shader_atomic_float_add"},
};

// the instructions whose result id is their first operand
bool is_type_declaration(uint32_t opcode) {
	return (opcode >= Spirv::OpTypeVoid && opcode <= Spirv::OpTypeFunction + 6) || opcode == Spirv::OpTypeRayQuery || opcode == Spirv::OpTypeAccelerationStructure;
}

// whether operand index of a declaration can be an id: the literal operands
// of the declarations are told apart, so that a number never keeps a
// structure alive (an instruction of function code counts every operand)
bool is_id_operand(uint32_t opcode, uint32_t index) {
	switch (opcode) {
		case Spirv::OpTypeInt:
		case Spirv::OpTypeFloat: return index == 0;
		case Spirv::OpTypeVector:
		case Spirv::OpTypeMatrix:
		case Spirv::OpTypeImage:
		case Spirv::OpConstant: return index < 2;
		case Spirv::OpTypePointer: return index != 1;
		case Spirv::OpVariable: return index != 2;
		default: return true;
	}
}

// A function is written once: while it has a body or code it is still to
// be written (an empty body leaves no code, but calls refer to it all the
// same); writing it clears both. A prototype without a body is never
// written, and nothing of it is named.
bool is_pending(const Compiler::Function &function) {
	return function.code.size() != 0 || function.body != nullptr;
}

// the storage of a variable declared at module level, as the entry point
// lists it: inputs and outputs always, every other class from 1.4 on
bool is_interface_storage(uint32_t storage, uint32_t version) {
	if (storage == Spirv::StorageInput || storage == Spirv::StorageOutput) return true;
	return version >= 0x10400u;
}

// The structures that no live word references. A stretch of declaration
// words belongs to one structure; the words outside every stretch, the
// function code and the variables' types are live, and a stretch is live
// once a live word references an id that it defines. Each word is visited a
// bounded number of times.
struct Pruning {
	Map<uint32_t, uint32_t> owners; // id defined in a stretch -> structure index
	Array<uint32_t> stack;
	Array<bool> live;

	void mark(uint32_t id) {
		const uint32_t *owner = owners.get(id);
		if (owner == nullptr || live[*owner]) return;
		live[*owner] = true;
		stack.append(*owner);
	}
	void mark_words(const uint32_t *words, uint32_t size) {
		for (uint32_t i = 0; i < size;) {
			uint32_t count = words[i] >> 16;
			if (count == 0 || i + count > size) break;
			uint32_t opcode = words[i] & 0xffffu;
			for (uint32_t j = 1; j < count; j++) {
				if (is_id_operand(opcode, j - 1)) mark(words[i + j]);
			}
			i += count;
		}
	}
};

} // namespace

void Compiler::create_opcodes(uint32_t language, uint32_t version, const char *context) {
	// 1. the entry point
	uint32_t entry_index = ~0u;
	for (uint32_t i = 0; i < functions.size(); i++) {
		if (functions[i].name == "main" && functions[i].arguments == "(") {
			entry_index = i;
			break;
		}
	}
	if (entry_index == ~0u || functions[entry_index].id == ~0u) throwError("can't find entry function\n");
	if (functions[entry_index].return_type != "void") throwError("main function must return void\n");
	bool compute = (execution_model == Spirv::ModelGLCompute || execution_model == Spirv::ModelTask || execution_model == Spirv::ModelMesh);
	if (compute && group_size[2] == 0) throwError("work group size is not declared\n");
	// the modes without which a stage has no meaning
	auto has_mode = [&](std::initializer_list<uint32_t> modes) {
		for (uint32_t mode : modes) {
			if (execution_modes.get(mode) != nullptr) return true;
		}
		return false;
	};
	if ((execution_model == Spirv::ModelGeometry || execution_model == Spirv::ModelTessellationEvaluation) &&
		!has_mode({Spirv::ExecutionModeInputPoints, Spirv::ExecutionModeInputLines, Spirv::ExecutionModeInputLinesAdjacency, Spirv::ExecutionModeTriangles,
			Spirv::ExecutionModeInputTrianglesAdjacency, Spirv::ExecutionModeQuads, Spirv::ExecutionModeIsolines})) {
		throwError("input primitive is not declared\n");
	}
	if ((execution_model == Spirv::ModelGeometry || execution_model == Spirv::ModelMesh) &&
		!has_mode({Spirv::ExecutionModeOutputPoints, Spirv::ExecutionModeOutputLineStrip, Spirv::ExecutionModeOutputTriangleStrip, Spirv::ExecutionModeOutputLines,
			Spirv::ExecutionModeOutputTriangles})) {
		throwError("output primitive is not declared\n");
	}
	if (execution_model == Spirv::ModelGeometry && !has_mode({Spirv::ExecutionModeOutputVertices})) throwError("max_vertices is not declared\n");
	if (execution_model == Spirv::ModelTessellationControl && !has_mode({Spirv::ExecutionModeOutputVertices})) throwError("vertices is not declared\n");
	if (execution_model == Spirv::ModelMesh && !has_mode({Spirv::ExecutionModeOutputVertices})) throwError("max_vertices is not declared\n");
	if (execution_model == Spirv::ModelMesh && !has_mode({Spirv::ExecutionModeOutputPrimitives})) throwError("max_primitives is not declared\n");

	// 3. stage capabilities, and arrays of resources of no fixed size
	capabilities.insert(Spirv::CapabilityShader);
	for (uint32_t i = 0; i < variables.size(); i++) {
		const Variable &variable = variables[i];
		bool resource = variable.storage == Spirv::StorageUniformConstant || variable.storage == Spirv::StorageUniform ||
			variable.storage == Spirv::StorageStorageBuffer;
		if (resource && variable.length == 0 && variable.structure == ~0u && !variable.dropped) capabilities.insert(Spirv::CapabilityRuntimeDescriptorArray);
	}
	if (execution_model == Spirv::ModelGeometry) capabilities.insert(Spirv::CapabilityGeometry);
	if (execution_model == Spirv::ModelTessellationControl || execution_model == Spirv::ModelTessellationEvaluation) capabilities.insert(Spirv::CapabilityTessellation);
	if (execution_model == Spirv::ModelTask || execution_model == Spirv::ModelMesh) capabilities.insert(Spirv::CapabilityMeshShading);
	if (is_tracing_stage()) capabilities.insert(Spirv::CapabilityRayTracing);

	// 4. the format version
	uint32_t spirv_version = 0x10000u;
	if (capabilities.find(Spirv::CapabilityMeshShading)) spirv_version = 0x10400u;
	if (capabilities.find(Spirv::CapabilityGroupNonUniform)) spirv_version = max(spirv_version, 0x10300u);
	if (capabilities.find(Spirv::CapabilityDrawParameters)) spirv_version = max(spirv_version, 0x10300u);
	if (capabilities.find(Spirv::CapabilityRayTracing)) spirv_version = max(spirv_version, 0x10400u);
	if (capabilities.find(Spirv::CapabilityRayQuery)) spirv_version = max(spirv_version, 0x10300u);

	// 5. storage buffers as uniform buffer blocks before 1.3
	if (spirv_version < 0x10300u) {
		for (uint32_t i = 0; i < storage_pointers.size(); i++) {
			uint32_t position = storage_pointers[i] + 2;
			if (position < words.size() && words[position] == Spirv::StorageStorageBuffer) words[position] = Spirv::StorageUniform;
		}
		// the pointers made for the storage buffer class are the pointers of
		// the uniform class from now on
		Array<String> keys;
		Array<uint32_t> ids;
		for (auto it = types.begin(); it; ++it) {
			uint32_t position = it->key.find("_ptr_12");
			if (position == ~0u || position == 0) continue;
			uint32_t end = position + 7;
			if (end != it->key.size() && it->key[end] != '[') continue;
			keys.append(it->key.substr(0, position) + "_ptr_2" + it->key.substr(end));
			ids.append(it->value);
		}
		for (uint32_t i = 0; i < keys.size(); i++) {
			if (types.get(keys[i]) == nullptr) types.insert(keys[i], ids[i]);
		}
		for (uint32_t i = 0; i < variables.size(); i++) {
			Variable &variable = variables[i];
			if (variable.storage != Spirv::StorageStorageBuffer) continue;
			if (variable.decorations.remove(Spirv::DecorationBlock)) variable.decorations.insert(Spirv::DecorationBufferBlock, ~0u);
			variable.storage = Spirv::StorageUniform;
		}
		for (uint32_t i = 0; i < structures.size(); i++) {
			Structure &structure = structures[i];
			if (structure.storage != Spirv::StorageStorageBuffer) continue;
			structure.decorations.remove(Spirv::DecorationBlock);
			structure.decorations.insert(Spirv::DecorationBufferBlock, ~0u);
			structure.storage = Spirv::StorageUniform;
		}
	}

	// the types that the variables and functions need, made among the
	// declarations
	auto global_variable = [&](const Variable &variable) {
		return variable.structure == ~0u && variable.function == ~0u && variable.parameter == ~0u && !variable.dropped &&
			variable.decorations.get(Spirv::DecorationConstant) == nullptr;
	};
	auto variable_pointer = [&](const Variable &variable) {
		Scope *scope = variable.scope != nullptr ? variable.scope : &global_scope;
		uint32_t type = add_type(variable.type, variable.length, scope);
		return add_pointer_type(type, variable.length, variable.storage);
	};
	for (uint32_t i = 0; i < variables.size(); i++) {
		const Variable &variable = variables[i];
		if (global_variable(variable)) variable_pointer(variable);
	}
	for (uint32_t i = 0; i < functions.size(); i++) {
		Function &function = functions[i];
		if (!is_pending(function) && i != entry_index) continue;
		uint32_t return_type = add_type(function.return_type, ~0u, &global_scope);
		if (!function.used && i != entry_index && glsl_types.get(function.return_type) != nullptr && function.return_type != "void") {
			add_constant(function.return_type, 0);
		}
		if (function.function_type == ~0u) {
			const uint32_t *type = types.get(function.return_type + function.arguments);
			if (type == nullptr) throwError("can't get %s%s) function type\n", function.name.get(), function.arguments.get());
			function.function_type = *type;
		}
		(void)return_type;
		for (uint32_t j = 0; j < function.parameters.size(); j++) {
			const Variable &parameter = variables[function.parameters[j].variable];
			if (parameter.parameter != ~0u) continue;
			const Target *target = targets.get(parameter.id);
			if (target != nullptr) add_pointer_type(target->type, parameter.length, parameter.storage);
		}
		for (uint32_t j = 0; j < function.locals.size(); j++) variable_pointer(variables[function.locals[j]]);
	}

	// 6. the declarations are set aside, the header starts the module
	WordStack<1024> declarations(words);
	words.clear();
	words.append(0x07230203u);
	words.append(spirv_version);
	words.append(0x00130012u);
	words.append(0);
	words.append(0);

	// 7-10. capabilities, extensions, imports, memory model
	for (auto it = capabilities.begin(); it; ++it) add_module_opcode(Spirv::OpCapability, {it->key});
	Set<String> extensions_written;
	for (const auto &row : capability_extensions) {
		if (!capabilities.find(row.capability) || extensions_written.find(String(row.extension))) continue;
		extensions_written.insert(String(row.extension));
		add_module_string_opcode(Spirv::OpExtension, {}, String(row.extension));
	}
	// the barycentric built-ins of the explicit vertex parameters need an
	// extension and no capability
	for (uint32_t i = 0; i < variables.size(); i++) {
		const uint32_t *builtin = variables[i].decorations.get(Spirv::DecorationBuiltIn);
		if (builtin == nullptr || *builtin < 4992 || *builtin > 4998 || variables[i].dropped) continue;
		add_module_string_opcode(Spirv::OpExtension, {}, String("SPV_AMD_shader_explicit_vertex_parameter"));
		break;
	}
	if (glsl_id != ~0u) add_module_string_opcode(Spirv::OpExtInstImport, {glsl_id}, String("GLSL.std.450"));
	add_module_opcode(Spirv::OpMemoryModel, {0, 1});

	// 11-12. the entry point and its interface: the module-level variables
	// that get an OpVariable below
	const Function &entry = functions[entry_index];
	Array<uint32_t> interface;
	for (uint32_t i = 0; i < variables.size(); i++) {
		const Variable &variable = variables[i];
		if (global_variable(variable) && is_interface_storage(variable.storage, spirv_version)) interface.append(variable.id);
	}
	add_module_string_opcode(Spirv::OpEntryPoint, {execution_model, entry.id}, String("main"), interface);

	// 13-14. execution modes
	if (execution_model == Spirv::ModelGeometry && execution_modes.get(Spirv::ExecutionModeInvocations) == nullptr) execution_modes.insert(Spirv::ExecutionModeInvocations, 1);
	// an evaluation shader that names no spacing or vertex order gets the
	// ones GLSL defaults to, since a pipeline needs both from one of its
	// tessellation stages (isolines ignore the order, but it is set all the same)
	if (execution_model == Spirv::ModelTessellationEvaluation) {
		if (execution_modes.get(Spirv::ExecutionModeSpacingEqual) == nullptr && execution_modes.get(Spirv::ExecutionModeSpacingFractionalEven) == nullptr &&
			execution_modes.get(Spirv::ExecutionModeSpacingFractionalOdd) == nullptr) {
			execution_modes.insert(Spirv::ExecutionModeSpacingEqual, ~0u);
		}
		if (execution_modes.get(Spirv::ExecutionModeVertexOrderCw) == nullptr && execution_modes.get(Spirv::ExecutionModeVertexOrderCcw) == nullptr) {
			execution_modes.insert(Spirv::ExecutionModeVertexOrderCcw, ~0u);
		}
	}
	if (execution_model == Spirv::ModelFragment && execution_modes.get(Spirv::ExecutionModeOriginUpperLeft) == nullptr && execution_modes.get(Spirv::ExecutionModeOriginLowerLeft) == nullptr) {
		execution_modes.insert(Spirv::ExecutionModeOriginUpperLeft, ~0u);
	}
	for (auto it = execution_modes.begin(); it; ++it) {
		if (it->key == Spirv::ExecutionModeLocalSize) add_module_opcode(Spirv::OpExecutionMode, {entry.id, it->key, group_size[0], group_size[1], group_size[2]});
		else if (it->value == ~0u) add_module_opcode(Spirv::OpExecutionMode, {entry.id, it->key});
		else add_module_opcode(Spirv::OpExecutionMode, {entry.id, it->key, it->value});
	}

	// 15-16. source
	add_module_opcode(Spirv::OpSource, {language, version});
	for (auto it = extensions.begin(); it; ++it) add_module_string_opcode(Spirv::OpSourceExtension, {}, it->key);

	// 17. unused structures leave the declarations, unless a word that stays
	// references what they declare
	Set<uint32_t> removed;
	{
		Pruning pruning;
		pruning.live.assign(structures.size(), true);
		Array<uint32_t> owner_of_word;
		owner_of_word.assign(declarations.size(), ~0u);
		for (uint32_t i = 0; i < structures.size(); i++) {
			const Structure &structure = structures[i];
			if (structure.used) continue;
			pruning.live[i] = false;
			pruning.owners.insert(structure.id, i);
			uint32_t first = min(structure.declaration, declarations.size());
			uint32_t last = (structure.declaration_size == ~0u) ? declarations.size() : min(first + structure.declaration_size, declarations.size());
			if (structure.declaration_size != ~0u && structure.declaration_size > declarations.size() - first) last = declarations.size();
			for (uint32_t p = first; p < last;) {
				uint32_t count = declarations[p] >> 16;
				if (count == 0 || p + count > declarations.size()) break;
				if (count > 1) {
					uint32_t opcode = declarations[p] & 0xffffu;
					uint32_t defined = is_type_declaration(opcode) ? declarations[p + 1] : (count > 2 ? declarations[p + 2] : ~0u);
					if (defined != ~0u && pruning.owners.get(defined) == nullptr) pruning.owners.insert(defined, i);
				}
				p += count;
			}
			for (uint32_t p = first; p < last; p++) {
				if (owner_of_word[p] == ~0u) owner_of_word[p] = i;
			}
		}
		// the live words: outside every stretch of an unused structure
		for (uint32_t p = 0; p < declarations.size();) {
			uint32_t count = declarations[p] >> 16;
			if (count == 0 || p + count > declarations.size()) break;
			if (owner_of_word[p] == ~0u) pruning.mark_words(declarations.get() + p, count);
			p += count;
		}
		for (uint32_t i = 0; i < functions.size(); i++) pruning.mark_words(functions[i].code.get(), functions[i].code.size());
		Set<String> variable_types;
		for (uint32_t j = 0; j < variables.size(); j++) {
			if (variables[j].structure == ~0u) variable_types.insert(variables[j].type);
		}
		for (uint32_t i = 0; i < structures.size(); i++) {
			if (!pruning.live[i] && variable_types.find(structures[i].name)) pruning.mark(structures[i].id);
		}
		// a live stretch makes live what it references
		while (pruning.stack.size()) {
			uint32_t index = pruning.stack.back();
			pruning.stack.remove(pruning.stack.size() - 1);
			const Structure &structure = structures[index];
			uint32_t first = min(structure.declaration, declarations.size());
			uint32_t last = (structure.declaration_size == ~0u || structure.declaration_size > declarations.size() - first)
				? declarations.size() : first + structure.declaration_size;
			pruning.mark_words(declarations.get() + first, last - first);
		}
		// the dead stretches go, in one pass over the words
		Array<bool> cut;
		cut.assign(declarations.size(), false);
		for (uint32_t i = 0; i < structures.size(); i++) {
			if (pruning.live[i]) continue;
			Structure &structure = structures[i];
			structure.members.clear();
			structure.decorations.clear();
			removed.insert(structure.id);
			uint32_t first = min(structure.declaration, declarations.size());
			uint32_t last = (structure.declaration_size == ~0u || structure.declaration_size > declarations.size() - first)
				? declarations.size() : first + structure.declaration_size;
			for (uint32_t p = first; p < last; p++) cut[p] = true;
		}
		for (auto it = pruning.owners.begin(); it; ++it) {
			if (!pruning.live[it->value]) removed.insert(it->key);
		}
		uint32_t size = 0;
		for (uint32_t p = 0; p < declarations.size(); p++) {
			if (!cut[p]) declarations[size++] = declarations[p];
		}
		declarations.resize(size);
		// a kept structure counts as used from here on
		for (uint32_t i = 0; i < structures.size(); i++) {
			if (pruning.live[i]) structures[i].used = true;
		}
	}
	const char *suffix = Spirv::get_model_prefix(execution_model);
	// the variables of a function that is never written are never defined
	auto is_written = [&](const Variable &variable) {
		if (variable.dropped) return false;
		if (variable.function == ~0u || variable.function >= functions.size()) return true;
		return variable.function == entry_index || is_pending(functions[variable.function]);
	};

	// 18. debug names
	for (uint32_t i = 0; i < variables.size(); i++) {
		const Variable &variable = variables[i];
		if (variable.structure != ~0u || variable.decorations.get(Spirv::DecorationConstant) != nullptr || !is_written(variable)) continue;
		if ((flags & FlagDebug) || variable.storage == Spirv::StorageInput || variable.storage == Spirv::StorageOutput) {
			add_module_string_opcode(Spirv::OpName, {variable.id}, variable.name);
		} else {
			add_module_string_opcode(Spirv::OpName, {variable.id}, String::format("%s%x", suffix, variable.id));
		}
		if ((flags & FlagUnused) && !variable.used) {
			if (context != nullptr) {
				Log::printf(Log::Warning, "Compiler::create_opcodes(): unused variable %s %s\n%s\n", variable.type.get(), variable.name.get(), context);
			} else {
				Log::printf(Log::Warning, "Compiler::create_opcodes(): unused variable %s %s\n", variable.type.get(), variable.name.get());
			}
		}
	}
	for (uint32_t i = 0; i < structures.size(); i++) {
		const Structure &structure = structures[i];
		if (!structure.used) continue;
		bool source = (flags & FlagDebug) || structure.storage == Spirv::StorageInput || structure.storage == Spirv::StorageOutput;
		add_module_string_opcode(Spirv::OpName, {structure.id}, source ? structure.name : String::format("%s%x", suffix, structure.id));
		for (uint32_t j = 0; j < structure.members.size(); j++) {
			const Variable &member = variables[structure.members[j]];
			String name = source ? member.name : String::format("%s%x_%x", suffix, structure.id, j);
			add_module_string_opcode(Spirv::OpMemberName, {structure.id, j}, name);
		}
	}
	for (uint32_t i = 0; i < functions.size(); i++) {
		const Function &function = functions[i];
		bool is_entry = (i == entry_index);
		if (!is_entry && !is_pending(function)) continue;
		String name = ((flags & FlagDebug) || is_entry) ? function.name : String::format("%s%x", suffix, function.id);
		add_module_string_opcode(Spirv::OpName, {function.id}, name);
		if ((flags & FlagUnused) && !function.used && !is_entry && function.body != nullptr && (function.control & 1) == 0) {
			if (context != nullptr) {
				Log::printf(Log::Warning, "Compiler::create_opcodes(): unused function %s%s)\n%s\n", function.name.get(), function.arguments.get(), context);
			} else {
				Log::printf(Log::Warning, "Compiler::create_opcodes(): unused function %s%s)\n", function.name.get(), function.arguments.get());
			}
		}
	}

	// 19. decorations; the strides of array types, each type once
	auto decorate = [&](uint32_t id, const Map<uint32_t, uint32_t> &list, bool row_major) {
		for (auto it = list.begin(); it; ++it) {
			if (it->key == Spirv::DecorationRowMajor && !row_major) continue;
			if (it->value == ~0u) add_module_opcode(Spirv::OpDecorate, {id, it->key});
			else add_module_opcode(Spirv::OpDecorate, {id, it->key, it->value});
		}
	};
	// Only arrays in memory of an explicit layout have a stride: the types of
	// structure members and the arrays inside them. An array of blocks or of
	// images is an array of descriptors, and the arrays of locals, private,
	// shared, input and output variables have no layout.
	Set<uint32_t> laid_out;
	for (uint32_t p = 0; p < declarations.size();) {
		uint32_t count = declarations[p] >> 16;
		if (count == 0 || p + count > declarations.size()) break;
		if ((declarations[p] & 0xffffu) == Spirv::OpTypeStruct) {
			for (uint32_t k = 2; k < count; k++) {
				// an array inside an array (the element of a member array) is laid out as well
				uint32_t type = declarations[p + k];
				const Target *target = targets.get(type);
				while (target != nullptr && !laid_out.find(type) && (target->flags & TypeRuntimeArray) && !(target->flags & TypePointer)) {
					laid_out.insert(type);
					type = target->type;
					target = targets.get(type);
				}
			}
		}
		p += count;
	}
	Set<uint32_t> strided;
	for (auto it = types.begin(); it; ++it) {
		uint32_t id = it->value;
		if (removed.find(id) || constants.get(id) != nullptr || strided.find(id)) continue;
		if (!laid_out.find(id)) continue;
		uint32_t type_flags = get_target_flags(id);
		if ((type_flags & TypeRuntimeArray) == 0 || (type_flags & TypePointer)) continue;
		if (const uint32_t *stride = array_strides.get(id)) {
			strided.insert(id);
			add_module_opcode(Spirv::OpDecorate, {id, Spirv::DecorationArrayStride, *stride});
			continue;
		}
		uint32_t element = get_target_type(id);
		if (type_flags & TypeStructure) {
			const uint32_t *index = records.get(element);
			if (index == nullptr || *index >= structures.size() || structures[*index].id != element) continue;
			const Structure &structure = structures[*index];
			if (!structure.used || structure.size == ~0u) continue;
			strided.insert(id);
			add_module_opcode(Spirv::OpDecorate, {id, Spirv::DecorationArrayStride, structure.size});
		} else {
			uint32_t element_flags = get_target_flags(element);
			// images have no layout, and an array of arrays has a stride
			// that the flags alone don't give
			if (element_flags & (TypeImage2D | TypeImage3D | TypeImageCube | TypeRuntimeArray)) continue;
			strided.insert(id);
			add_module_opcode(Spirv::OpDecorate, {id, Spirv::DecorationArrayStride, get_type_stride(element_flags)});
		}
	}
	for (uint32_t i = 0; i < variables.size(); i++) {
		const Variable &variable = variables[i];
		if (variable.structure != ~0u || variable.decorations.get(Spirv::DecorationConstant) != nullptr || !is_written(variable)) continue;
		decorate(variable.id, variable.decorations, false);
	}
	for (uint32_t i = 0; i < structures.size(); i++) {
		const Structure &structure = structures[i];
		decorate(structure.id, structure.decorations, false);
		for (uint32_t j = 0; j < structure.members.size(); j++) {
			const Variable &member = variables[structure.members[j]];
			for (auto it = member.decorations.begin(); it; ++it) {
				if (it->value == ~0u) add_module_opcode(Spirv::OpMemberDecorate, {structure.id, j, it->key});
				else add_module_opcode(Spirv::OpMemberDecorate, {structure.id, j, it->key, it->value});
			}
		}
	}
	for (auto it = decorations.begin(); it; ++it) {
		if (!removed.find(it->key)) decorate(it->key, it->value, true);
	}

	// 20. declarations and module-level variables
	for (uint32_t i = 0; i < declarations.size(); i++) words.append(declarations[i]);
	for (uint32_t i = 0; i < variables.size(); i++) {
		const Variable &variable = variables[i];
		if (!global_variable(variable)) continue;
		if (variable.initializer != ~0u) add_module_opcode(Spirv::OpVariable, {variable_pointer(variable), variable.id, variable.storage, variable.initializer});
		else add_module_opcode(Spirv::OpVariable, {variable_pointer(variable), variable.id, variable.storage});
	}

	// 21. functions, the entry first
	add_function_opcodes(functions[entry_index]);
	for (uint32_t i = 0; i < functions.size(); i++) {
		Function &function = functions[i];
		if (!is_pending(function)) continue;
		if (!function.used && glsl_types.get(function.return_type) != nullptr) {
			function.code.clear();
			function.labels.clear();
			function.last_opcode = 0;
			if (function.return_type == "void") {
				add_function_opcode(function, Spirv::OpReturn, {});
			} else {
				add_function_opcode(function, Spirv::OpReturnValue, {add_constant(function.return_type, 0)});
			}
		}
		add_function_opcodes(function);
	}
	words[3] = next_id;
}

namespace {

// one function, its callees already written
void write_function(Compiler &compiler, Compiler::Function &function) {
	uint32_t function_type = function.function_type;
	if (function_type == ~0u) {
		const uint32_t *type = compiler.types.get(function.return_type + function.arguments);
		if (type == nullptr) throwError("can't get %s%s) function type\n", function.name.get(), function.arguments.get());
		function_type = *type;
	}
	compiler.add_module_opcode(Spirv::OpFunction, {compiler.add_type(function.return_type, ~0u, &compiler.global_scope), function.id, function.control, function_type});
	for (uint32_t i = 0; i < function.parameters.size(); i++) {
		const Compiler::Variable &parameter = compiler.variables[function.parameters[i].variable];
		uint32_t type = compiler.get_target_type(parameter.id);
		if (parameter.parameter == ~0u && compiler.targets.get(parameter.id) != nullptr) type = compiler.add_pointer_type(type, parameter.length, parameter.storage);
		compiler.add_module_opcode(Spirv::OpFunctionParameter, {type, parameter.id});
	}
	compiler.add_module_opcode(Spirv::OpLabel, {compiler.next_id++});
	for (uint32_t i = 0; i < function.locals.size(); i++) {
		const Compiler::Variable &local = compiler.variables[function.locals[i]];
		Compiler::Scope *scope = local.scope != nullptr ? local.scope : &function.scope;
		uint32_t pointer = compiler.add_pointer_type(compiler.add_type(local.type, local.length, scope), local.length, local.storage);
		compiler.add_module_opcode(Spirv::OpVariable, {pointer, local.id, local.storage});
	}
	for (uint32_t i = 0; i < function.parameters.size(); i++) {
		const Compiler::Parameter &parameter = function.parameters[i];
		if (parameter.copy != ~0u) compiler.add_module_opcode(Spirv::OpStore, {parameter.copy, compiler.variables[parameter.variable].id});
	}
	for (uint32_t i = 0; i < function.labels.size(); i++) {
		if (function.labels[i] < function.code.size()) function.code[function.labels[i]] = compiler.next_id++;
	}
	function.labels.clear();
	for (uint32_t i = 0; i < function.code.size(); i++) compiler.words.append(function.code[i]);
	function.code.clear();
	function.body = nullptr;

	// a block that ends in a terminator needs nothing more; otherwise the
	// end of a void function returns and that of another is unreachable
	uint32_t last = function.last_opcode;
	bool terminated = last == Spirv::OpReturn || last == Spirv::OpReturnValue || last == Spirv::OpKill || last == Spirv::OpUnreachable ||
		last == Spirv::OpEmitMeshTasks || last == Spirv::OpTerminateRay || last == Spirv::OpIgnoreIntersection;
	if (!terminated) compiler.add_module_opcode(function.return_type == "void" ? Spirv::OpReturn : Spirv::OpUnreachable, {});
	compiler.add_module_opcode(Spirv::OpFunctionEnd, {});
}

} // namespace

void Compiler::add_function_opcodes(Function &function) {
	// the callees first, depth first without recursion: a function on the
	// way down is not entered again, so that a cycle of calls ends (a call
	// may refer to a function written later)
	struct Step {
		Function *function;
		uint32_t callee;
	};
	Array<Step> stack;
	Set<Function *> entered;
	stack.append(Step{&function, 0});
	entered.insert(&function);
	while (stack.size()) {
		Step &step = stack.back();
		if (step.callee < step.function->callees.size()) {
			uint32_t callee = step.function->callees[step.callee++];
			if (callee >= functions.size()) continue;
			Function *next = &functions[callee];
			if (entered.find(next) || !is_pending(*next)) continue;
			entered.insert(next);
			stack.append(Step{next, 0});
			continue;
		}
		Function *current = step.function;
		stack.remove(stack.size() - 1);
		write_function(*this, *current);
	}
}

} // namespace Vexa
