// The names of an output, given once at the end of `load` through the one
// namer (ShaderSpirvNamer.h): the target's own words first, then every name
// of the module in its scope. A name that is already unique keeps its
// spelling; the others take the suffix that their kind has always taken.
#include "shader/ShaderSpirv.h"
#include "shader/ShaderSpirvNumbers.h"

#include <cstring>

namespace Vexa {

using namespace Spirv;

uint32_t ShaderSpirv::get_naming_rules() const {
	return 0;
}

String ShaderSpirv::get_entry_point_name() const {
	return String();
}

void ShaderSpirv::get_helper_names(Array<String> &, Array<String> &) const {
}

void ShaderSpirv::name_module() {
	namer.clear();
	namer.set_keywords([](const void *context, const char *name) { return static_cast<const ShaderSpirv *>(context)->is_reserved_name(name, true); }, this);
	for (uint32_t kind = 0; kind < HelperCount; kind++) namer.reserve(String(get_semantic_helper_name(static_cast<SemanticHelper>(kind))));
	Array<String> helper_names;
	Array<String> helper_prefixes;
	get_helper_names(helper_names, helper_prefixes);
	for (uint32_t i = 0; i < helper_names.size(); i++) namer.reserve(helper_names[i]);
	for (uint32_t i = 0; i < helper_prefixes.size(); i++) namer.reserve_prefix(helper_prefixes[i]);
	global_scope = ShaderSpirvNamer::Root;
	structure_scope = ShaderSpirvNamer::None;
	shadow_scope = ShaderSpirvNamer::None;
	block_copy_names.clear();
	if (!(get_naming_rules() & NameUnique)) return;

	// the entry point's name and the helpers' belong to them alone
	String entry = get_entry_point_name();
	namer.reserve(entry);
	for (uint32_t id = 0; id < records.size(); id++) {
		if (id != entry_id && namer.is_reserved(records[id].name)) records[id].name = namer.get_free(ShaderSpirvNamer::None, records[id].name, ShaderSpirvNamer::FormId, id);
	}
	if (entry_id < records.size() && !entry.empty()) records[entry_id].name = entry;

	// one body for one name: overloads of the same parameter types would clash
	uint32_t function_scope = namer.add_scope(ShaderSpirvNamer::None);
	namer.take(function_scope, entry);
	for (uint32_t i = 0; i < functions.size(); i++) {
		uint32_t id = functions[i];
		if (id == entry_id || id >= records.size()) continue;
		records[id].name = namer.claim(function_scope, records[id].name, ShaderSpirvNamer::FormId, id);
	}

	// one global name for one thing: variables, functions and structures
	// share the global scope, and the members of blocks without an instance
	// name stand in it too
	auto is_global = [&](uint32_t id, int32_t op) {
		return (op == OpVariable && records[id].storage != StorageFunction) || op == OpFunction || op == OpTypeStruct;
	};
	for (uint32_t id = 0; id < records.size(); id++) {
		int32_t op = find_target(id).get_opcode();
		if (!is_global(id, op) || records[id].name.empty() || records[id].decorations.find(DecorationBuiltIn) || is_builtin_variable(id)) continue;
		if (op == OpTypeStruct && is_builtin_structure(id)) continue;
		if (id == entry_id) namer.take(global_scope, records[id].name);
		else records[id].name = namer.claim(global_scope, records[id].name, ShaderSpirvNamer::FormId, id);
	}
	for (uint32_t id = 0; id < records.size(); id++) {
		uint32_t structure = (find_target(id).get_opcode() == OpVariable && records[id].name.empty()) ? get_target_type(id)[1] : 0;
		if (structure == 0 || structure >= members.size() || is_builtin_variable(id)) continue;
		bool clash = false;
		for (uint32_t k = 0; k < members[structure].size(); k++) clash = clash || !namer.is_free(global_scope, members[structure][k].name);
		if (clash) {
			records[id].name = namer.claim(global_scope, String::format("%s_%x", records[structure].name.get(), id), ShaderSpirvNamer::FormId, id);
		} else {
			for (uint32_t k = 0; k < members[structure].size(); k++) namer.take(global_scope, members[structure][k].name);
		}
	}
	const char *builtin_prefix = get_builtin_prefix();
	size_t builtin_length = builtin_prefix ? strlen(builtin_prefix) : 0;
	for (uint32_t id = 0; id < records.size(); id++) {
		String &name = records[id].name;
		Iterator it = find_target(id);
		int32_t op = it.get_opcode();
		// the built-ins' own names
		if (builtin_length && strncmp(name.get(), builtin_prefix, builtin_length) == 0 && !records[id].decorations.find(DecorationBuiltIn) &&
			!is_builtin_variable(id) && !(op == OpTypeStruct && is_builtin_structure(id))) {
			String renamed = String::format("u_%s", name.get());
			name = is_global(id, op) ? namer.claim(global_scope, renamed, ShaderSpirvNamer::FormId, id) : renamed;
		}
		// a block's instance may not carry the block's name
		if (op == OpVariable) {
			Iterator type = get_target_type(id);
			type = get_element_type(type);
			if (type.get_opcode() == OpTypeStruct && type[1] < records.size() && records[type[1]].name == name) {
				String renamed = String::format("%s_%x", name.get(), id);
				name = is_global(id, op) ? namer.claim(global_scope, renamed, ShaderSpirvNamer::FormId, id) : renamed;
			}
		}
	}

	// one name for one value of a function: the module may give the same
	// name to several of its results, or one of a global that the function
	// reads or a function it calls, which the local would hide
	for (uint32_t id = 0; id < records.size(); id++) {
		int32_t op = find_target(id).get_opcode();
		if (op == OpFunction || (op == OpVariable && records[id].storage != StorageFunction)) namer.take(global_scope, records[id].name);
	}
	for (uint32_t i = 0; i < functions.size(); i++) {
		Iterator it = find_target(functions[i]);
		if (it.get_opcode() != OpFunction) continue;
		uint32_t scope = namer.add_scope(global_scope);
		for (it = it.advance(it.get_size()); !it.is_end() && it.get_size() != 0 && it.get_opcode() != OpFunctionEnd; it = it.advance(it.get_size())) {
			uint32_t id = it[2];
			if (it.get_opcode() == OpLabel || it.get_size() < 3 || id >= records.size() || find_target(id) != it) continue;
			String &name = records[id].name;
			if (name.empty()) continue;
			name = namer.claim(scope, name, ShaderSpirvNamer::FormValue, id);
		}
	}

	// one structure name for one type: the module may give the same name to
	// the types of a block member and of a local copy of it
	structure_scope = namer.add_scope(ShaderSpirvNamer::None);
	for (uint32_t i = 0; i < types.size(); i++) {
		uint32_t id = types[i];
		if (id >= records.size() || find_target(id).get_opcode() != OpTypeStruct) continue;
		records[id].name = namer.claim(structure_scope, records[id].name, ShaderSpirvNamer::FormId, id);
		// and one member name for one member, which only ever follows a '.'
		if (id >= members.size()) continue;
		uint32_t member_scope = namer.add_scope(ShaderSpirvNamer::None);
		Array<Record> &list = members[id];
		for (uint32_t k = 0; k < list.size(); k++) {
			if (!list[k].name.empty()) list[k].name = namer.claim(member_scope, list[k].name, ShaderSpirvNamer::FormId, k, false);
		}
	}
}

const char *ShaderSpirv::get_builtin_prefix() const {
	return nullptr;
}

uint32_t ShaderSpirv::get_block_owner(uint32_t structure) {
	if (!block_owners_built) {
		block_owners_built = true;
		const Array<uint32_t> *lists[] = {&resources, &inputs, &outputs};
		for (const Array<uint32_t> *list : lists) {
			for (uint32_t i = 0; i < list->size(); i++) {
				Iterator type = get_target_type((*list)[i]);
				type = get_element_type(type);
				if (type.get_opcode() != OpTypeStruct || type[1] >= records.size() || block_owners.get(type[1])) continue;
				const Map<uint32_t, uint32_t> &decorations = records[type[1]].decorations;
				if (decorations.find(DecorationBlock) || decorations.find(DecorationBufferBlock)) block_owners.insert(type[1], (*list)[i]);
			}
		}
	}
	const uint32_t *owner = block_owners.get(structure);
	return owner ? *owner : 0;
}

String ShaderSpirv::get_block_copy_name(uint32_t variable, uint32_t structure) {
	const String *known = block_copy_names.get(variable);
	if (known) return *known;
	// free among the global names and the structure names alike
	String name = String::format("%s_%x", records[structure].name.get(), variable);
	for (uint32_t steps = 0; steps < 16; steps++) {
		name = namer.get_free(global_scope, name, ShaderSpirvNamer::FormId, variable);
		if (!namer.holds(structure_scope, name)) break;
		name = String::format("%s_%x", name.get(), variable);
	}
	namer.take(global_scope, name);
	namer.take(structure_scope, name);
	block_copy_names.insert(variable, name);
	return name;
}

} // namespace Vexa
