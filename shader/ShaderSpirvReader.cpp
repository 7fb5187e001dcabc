// Reading a SPIR-V module into the object's tables: the header checks, the
// checking pass (ShaderSpirvCheck.cpp), then one pass over the instructions
// that fills the records, lists and blocks, and last the generated names and
// the sorted interface and resource lists. Every backend starts from what this
// leaves, so the rules here decide what every output sees of a module.
#include "shader/ShaderSpirv.h"
#include "shader/ShaderSpirvNumbers.h"

#include "core/Log.h"
#include "core/Sort.h"

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

// the prefix of generated names by execution model
const char *get_prefix(uint32_t model) {
	switch (model) {
		case 0: return "_v";
		case 1: return "_tc";
		case 2: return "_te";
		case 3: return "_g";
		case 4: return "_f";
		case 5: return "_c";
		case 5364: return "_t";
		case 5365: return "_m";
		case 5313: return "_rg";
		case 5314: return "_ri";
		case 5315: return "_rah";
		case 5316: return "_rch";
		case 5317: return "_rm";
		case 5318: return "_rc";
	}
	return "_";
}

} // namespace

bool ShaderSpirv::load(const Array<uint32_t> &module) {
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
	// the tables end at the highest id in use, which may lie far below the
	// header's bound
	uint32_t bound = 0;
	if (!check_module(module, bound)) return false;

	// preparation
	words = module;
	indices.assign(bound, 0xffffffffu);
	uses.assign(bound, 0);
	named.assign(bound, 0);
	records.assign(bound, Record());
	members.assign(bound, Array<Record>());
	for (Iterator it = get_iterator(5); !it.is_end(); it = it.advance(it.get_size())) {
		if (it.get_opcode() == OpTypeStruct) members[it[1]].resize(it.get_size() - 2);
	}

	// The walk only gathers what its lookups find: an id that they cannot
	// follow is one of an instruction the reader does not know, and the module
	// stays as usable as without that detail, so no error is logged for it.
	struct Quiet {
		bool &flag;
		explicit Quiet(bool &flag) : flag(flag) { flag = true; }
		~Quiet() { flag = false; }
	} quiet(quiet_lookups);
	uint32_t label = 0xffffffffu;
	Block block;
	uint32_t counter = 0;
	Set<String> names;
	for (Iterator it = get_iterator(5); !it.is_end(); it = it.advance(it.get_size())) {
		int32_t op = it.get_opcode();
		uint32_t size = it.get_size();
		uint32_t i = it.get_index();
		if (is_type_opcode(op)) {
			indices[it[1]] = i;
			types.append(it[1]);
		}
		if (is_value_opcode(op)) indices[it[2]] = i;

		switch (op) {
			case OpExtInstImport:
				imports.insert(it[1], get_string(it, 2));
				break;
			case OpExtInst:
				for (uint32_t k = 5; k < size; k++) add_use(it[k]);
				break;
			case OpEntryPoint:
				entry_id = it[2];
				execution_model = it[1];
				entry_name = get_string(it, 3);
				// the entry point becomes a function name in every output
				if (!is_identifier(entry_name.get())) entry_name = "main";
				break;
			case OpSource:
				source_language = it[1];
				source_version = it[2];
				break;
			case OpSourceExtension: {
				// extension names go into the output as directives
				String extension = get_string(it, 1);
				if (is_identifier(extension.get())) source_extensions.append(extension);
				break;
			}
			case OpExecutionMode:
				if (size == 6 && it[2] == ExecutionModeLocalSize) {
					local_size[0] = it[3];
					local_size[1] = it[4];
					local_size[2] = it[5];
				}
				execution_modes.insert(it[2], (size == 3) ? 0u : it[3]);
				break;
			case OpCapability:
				capabilities.append(it[1]);
				break;
			case OpTypeStruct: {
				const Map<uint32_t, uint32_t> &decorations = records[it[1]].decorations;
				if (!decorations.find(DecorationBlock) && !decorations.find(DecorationBufferBlock)) globals.append(it[1]);
				break;
			}
			case OpName:
				records[it[1]].name = get_name(it, 2);
				break;
			case OpMemberName:
				members[it[1]][it[2]].name = get_name(it, 3);
				break;
			case OpFunction:
				if (it[2] != entry_id) functions.append(it[2]);
				break;
			case OpFunctionEnd:
				names.clear();
				break;
			case OpFunctionParameter:
				names.insert(records[it[2]].name);
				named[it[2]] = 1;
				break;
			case OpFunctionCall:
				for (uint32_t k = 4; k < size; k++) add_use(it[k]);
				break;
			case OpVariable:
				read_variable(it, names);
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
			case OpDecorate:
				if (size >= 3) {
					Record &record = records[it[1]];
					record.decorations.insert(it[2], (size == 3) ? 0xffffffffu : it[3]);
					if (it[2] == DecorationBuiltIn && size > 3 && is_generated(record.name)) record.name = get_builtin_name(it[3]);
				}
				break;
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
			case OpLoopMerge:
				block.merge = it[1];
				block.continue_target = it[2];
				break;
			case OpSelectionMerge:
				block.merge = it[1];
				break;
			case OpLabel:
				if (label != 0xffffffffu) {
					Log::print(Log::Error, "ShaderSpirv::load(): label without branch\n");
					return false;
				}
				label = it[1];
				indices[it[1]] = i;
				break;
			case OpBranch:
				block.target = it[1];
				break;
			case OpBranchConditional:
				block.condition = it[1];
				block.target = it[2];
				block.target_false = it[3];
				add_use(it[1]);
				break;
			case OpSwitch:
				add_use(it[1]);
				break;
			case OpReturnValue:
				add_use(it[1]);
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

	// after the walk
	Iterator entry = find_target(entry_id);
	if (entry_id == 0xffffffffu || entry.get_opcode() != OpFunction) {
		Log::print(Log::Error, "ShaderSpirv::load(): entry target is not defined\n");
		return false;
	}
	functions.append(entry_id);

	const char *prefix = get_prefix(execution_model);
	for (uint32_t id = 0; id < bound; id++) {
		if (records[id].name.empty()) records[id].name = String::format("%s%x", prefix, id);
		Array<Record> &list = members[id];
		for (uint32_t k = 0; k < list.size(); k++) {
			if (list[k].name.empty()) list[k].name = String::format("%s%x_%x", prefix, id, k);
		}
	}

	// interface blocks without a name of their own render without an instance name
	for (uint32_t id = 0; id < bound; id++) {
		Record &record = records[id];
		uint32_t storage = record.storage;
		if (record.name[0] != '_') continue;
		if (storage != StorageInput && storage != StorageUniform && storage != StorageOutput && storage != StorageStorageBuffer) continue;
		if (find_target(id).get_opcode() != OpVariable) continue;
		if (get_target_type(id).get_opcode() == OpTypeStruct) record.name.clear();
	}

	sort_variables(inputs, DecorationLocation);
	sort_variables(outputs, DecorationLocation);
	sort_variables(resources, DecorationBinding);
	return true;
}

bool ShaderSpirv::is_generated(const String &name) {
	// a name that the module did not give (or that was dropped) is made by
	// `load`; such names, and names of that form, give way to built-in names
	return name.empty() || name[0] == '_';
}

void ShaderSpirv::read_variable(const Iterator &it, Set<String> &names) {
	uint32_t id = it[2];
	uint32_t storage = it[3];
	Record &record = records[id];
	record.storage = storage;
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
			(get_target_builtin(id) >= 0 ? builtins : globals).append(id);
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
