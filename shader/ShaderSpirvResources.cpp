// The resources of a module: their kinds, their bindings and the assignment
// of bindings across descriptor sets, the uses of images and textures, and the
// places that textures and samplers come from through function parameters.
//
// A resource's kind comes from its storage class first (push constants,
// storage and uniform blocks, whatever their types) and then from the type
// below its arrays. An image of Sampled 1 goes with a sampler (a texture, or
// a uniform texel buffer); one of Sampled 0 or 2 is read and written as it
// is (a storage image, a storage texel buffer, an input attachment).
//
// Bindings: the Binding decoration with the offset of the resource's kind.
// Targets without descriptor sets see the resources of every set in one
// range of bindings per namespace; `assign_bindings` keeps the lower sets
// where they are and moves a resource that one of them holds already above
// everything else of its namespace.
//
// Uses: a storage image is read by OpImageRead, written by OpImageWrite and
// both through OpImageTexelPointer (an atomic may do either); a texture is
// sampled with a depth comparison by the Dref instructions, and read without
// one by the other sampling, gathering and fetching instructions. Both are
// found from the variable behind the image operand where it stands; the place
// walk alone follows values into function parameters.
#include "shader/ShaderSpirv.h"
#include "shader/ShaderSpirvNumbers.h"

#include "core/Sort.h"

namespace Vexa {

using namespace Spirv;

namespace {

bool is_depth_comparison(int32_t op) {
	switch (op) {
		case OpImageSampleDrefImplicitLod:
		case OpImageSampleDrefExplicitLod:
		case OpImageSampleProjDrefImplicitLod:
		case OpImageSampleProjDrefExplicitLod:
		case OpImageDrefGather:
		case OpImageSparseSampleDrefImplicitLod:
		case OpImageSparseSampleDrefExplicitLod:
		case OpImageSparseSampleProjDrefImplicitLod:
		case OpImageSparseSampleProjDrefExplicitLod:
		case OpImageSparseDrefGather:
			return true;
		default:
			return false;
	}
}

// the instructions that read the texels of a texture: through a combination
// (sampling and gathering), or from the image taken back of one (a fetch)
bool reads_texels(int32_t op) {
	return in(op, OpImageSampleImplicitLod, OpImageDrefGather) || in(op, OpImageSparseSampleImplicitLod, OpImageSparseDrefGather);
}

} // namespace

ResourceKind ShaderSpirv::get_resource_kind(uint32_t variable) const {
	if (variable >= records.size() || find_target(variable).get_opcode() != OpVariable) return ResourceNone;
	uint32_t storage = records[variable].storage;
	Iterator element = get_element_type(get_target_type(variable));
	if (storage == StoragePushConstant) return ResourcePushConstant;
	bool buffer_block = element.get_opcode() == OpTypeStruct && element[1] < records.size() && records[element[1]].decorations.find(DecorationBufferBlock);
	if (storage == StorageStorageBuffer || (storage == StorageUniform && buffer_block)) return ResourceStorageBlock;
	if (storage == StorageUniform) return ResourceUniformBlock;
	if (storage != StorageUniformConstant) return ResourceNone;
	switch (element.get_opcode()) {
		case OpTypeSampler:
			return ResourceSampler;
		case OpTypeAccelerationStructure:
			return ResourceAccelerationStructure;
		case OpTypeSampledImage: {
			Iterator image = get_target_type(element[2]);
			return (image[3] == DimBuffer) ? ResourceUniformTexelBuffer : ResourceCombinedImageSampler;
		}
		case OpTypeImage:
			if (element[7] == 1) return (element[3] == DimBuffer) ? ResourceUniformTexelBuffer : ResourceSampledImage;
			if (element[3] == DimSubpassData) return ResourceInputAttachment;
			return (element[3] == DimBuffer) ? ResourceStorageTexelBuffer : ResourceStorageImage;
		default:
			return ResourceNone;
	}
}

uint32_t ShaderSpirv::get_resource_binding(uint32_t variable) const {
	if (variable >= records.size()) return ~0u;
	const uint32_t *binding = records[variable].decorations.get(DecorationBinding);
	if (binding == nullptr) return ~0u;
	int32_t value = static_cast<int32_t>(*binding);
	switch (get_resource_kind(variable)) {
		case ResourceStorageImage:
		case ResourceStorageTexelBuffer:
		case ResourceInputAttachment:
			value += getSurfaceOffset();
			break;
		case ResourceStorageBlock:
			value += getStorageOffset();
			break;
		case ResourceUniformTexelBuffer:
			// a texel buffer combined with its sampler; a bare one is a texture
			if (get_element_type(get_target_type(variable)).get_opcode() == OpTypeSampledImage) value += getTexelOffset();
			break;
		default:
			break;
	}
	return static_cast<uint32_t>(value);
}

void ShaderSpirv::assign_bindings(const BindingPolicy &policy, BindingAssignment &assignment) const {
	assignment = BindingAssignment();
	Array<uint32_t> push_blocks;
	// the first binding above all of each namespace
	Map<uint32_t, uint32_t> next;
	auto next_of = [&](uint32_t space) -> uint32_t & {
		uint32_t *known = next.get(space);
		return known ? *known : next.insert(space, 0u)->value;
	};
	for (uint32_t i = 0; i < resources.size(); i++) {
		uint32_t id = resources[i];
		ResourceKind kind = get_resource_kind(id);
		Iterator type = get_target_type(id);
		if (kind == ResourcePushConstant) {
			if (type.get_opcode() == OpTypeStruct && policy.push_space != NoBindingSpace) push_blocks.append(type[1]);
			continue;
		}
		uint32_t space = policy.spaces[kind];
		if (space == NoBindingSpace) continue;
		if (type.get_opcode() == OpTypeRuntimeArray) {
			assignment.issues.append(BindingIssue{BindingIssueRuntimeArray, id, 0, 0, 0});
			continue;
		}
		uint32_t binding = get_resource_binding(id);
		if (binding == ~0u) continue;
		// an array of resources takes a binding for each element of its outer level
		uint32_t count = 1;
		if (type.get_opcode() == OpTypeArray && get_target(type[3]).get_opcode() == OpConstant) count = get_target(type[3])[3];
		if (count == 0 || count > MaxBindingCount) {
			assignment.issues.append(BindingIssue{BindingIssueArraySize, id, 0, binding, count});
			continue;
		}
		const uint32_t *set = records[id].decorations.get(DecorationDescriptorSet);
		ResourceBinding entry;
		entry.variable = id;
		entry.kind = kind;
		entry.space = space;
		entry.set = set ? *set : 0;
		entry.binding = entry.assigned = binding;
		entry.count = count;
		assignment.resources.append(entry);
		uint32_t &last = next_of(space);
		if (binding + count > last) last = binding + count;
	}
	// lower sets keep their bindings
	Array<ResourceBinding> &entries = assignment.resources;
	quickSort(entries.get(), entries.size(),
		[](const ResourceBinding &a, const ResourceBinding &b) { return a.set < b.set || (a.set == b.set && a.binding < b.binding); });
	// per namespace and binding: the entry that holds it
	Map<uint64_t, uint32_t> used;
	auto key = [](uint32_t space, uint32_t binding) { return (static_cast<uint64_t>(space) << 32) | binding; };
	for (uint32_t i = 0; i < entries.size(); i++) {
		ResourceBinding &entry = entries[i];
		bool taken = false;
		for (uint32_t k = 0; k < entry.count; k++) {
			const uint32_t *other = used.get(key(entry.space, entry.binding + k));
			if (other == nullptr) continue;
			if (entries[*other].set == entry.set) {
				assignment.issues.append(BindingIssue{BindingIssueCollision, entry.variable, entries[*other].variable, entry.binding + k, entry.count});
				return;
			}
			taken = true;
		}
		if (taken) {
			uint32_t &last = next_of(entry.space);
			entry.assigned = last;
			last += entry.count;
			assignment.moved.insert(entry.variable, entry.assigned);
		}
		for (uint32_t k = 0; k < entry.count; k++) used.insert(key(entry.space, entry.assigned + k), i);
	}
	for (uint32_t i = 0; i < push_blocks.size(); i++) assignment.push.insert(push_blocks[i], next_of(policy.push_space)++);
}

uint32_t ShaderSpirv::get_resource_array(uint32_t chain) const {
	Iterator it = find_target(chain);
	if ((it.get_opcode() != OpAccessChain && it.get_opcode() != OpInBoundsAccessChain) || it.get_size() < 5) return 0;
	Iterator variable = find_target(it[3]);
	if (variable.get_opcode() != OpVariable || it[3] >= records.size()) return 0;
	uint32_t storage = records[it[3]].storage;
	Iterator type = get_target_type(it[3]);
	if (!is_array_opcode(type.get_opcode())) return 0;
	if (storage == StorageUniformConstant) return it[3];
	if (storage != StorageUniform && storage != StorageStorageBuffer) return 0;
	// arrays of blocks
	Iterator element = get_element_type(type);
	if (element.get_opcode() != OpTypeStruct || element[1] >= records.size()) return 0;
	const Map<uint32_t, uint32_t> &decorations = records[element[1]].decorations;
	return (decorations.find(DecorationBlock) || decorations.find(DecorationBufferBlock)) ? it[3] : 0;
}

uint32_t ShaderSpirv::find_texture_variable(uint32_t id) const {
	// through the combination of a texture with a sampler, and OpImage
	for (uint32_t steps = 0; steps < 8; steps++) {
		Iterator it = get_target(id);
		if (it.get_opcode() != OpSampledImage && it.get_opcode() != OpImage) break;
		id = it[3];
	}
	Iterator variable = get_target_variable(id);
	return variable.is_end() ? 0 : variable[2];
}

void ShaderSpirv::find_resource_uses() {
	image_access.clear();
	texture_sampling.clear();
	sampled_uses.clear();
	parameter_places.clear();
	function_calls.clear();
	parameter_origins.clear();
	bool body = false;
	uint32_t function = 0;
	uint32_t parameters = 0;
	for (Iterator it = get_iterator(5); !it.is_end() && it.get_size() != 0; it = it.advance(it.get_size())) {
		int32_t op = it.get_opcode();
		// the parameters and calls of the functions, through which a texture
		// or a sampler may reach its combination
		if (op == OpFunction) {
			function = it[2];
			parameters = 0;
		} else if (op == OpFunctionParameter) {
			parameter_places.insert(it[2], ParameterPlace{function, parameters++});
		} else if (op == OpFunctionCall) {
			Array<uint32_t> *calls = function_calls.get(it[3]);
			if (calls == nullptr) calls = &function_calls.insert(it[3], Array<uint32_t>())->value;
			calls->append(it.get_index());
		}
		// the combinations of a texture with a sampler that something samples
		// through, rather than take the texture back of (OpImage) to fetch
		// or query, which no sampler changes
		body = body || op == OpFunction;
		for (uint32_t k = 1; body && op != OpImage && k < it.get_size(); k++) {
			if (!is_value_word(it, k)) continue;
			Iterator operand = find_target(it[k]);
			if (operand.get_opcode() == OpSampledImage && operand != it) sampled_uses.insert(it[k]);
		}
		uint32_t image = 0;
		uint32_t access = 0;
		if (op == OpImageTexelPointer) {
			image = it[3];
			access = ImageRead | ImageWrite;
		} else if (op == OpImageRead) {
			image = it[3];
			access = ImageRead;
		} else if (op == OpImageWrite) {
			image = it[1];
			access = ImageWrite;
		} else if (reads_texels(op)) {
			uint32_t texture = find_texture_variable(it[3]);
			if (texture == 0) continue;
			uint32_t bit = is_depth_comparison(op) ? TextureCompared : TextureUncompared;
			uint32_t *known = texture_sampling.get(texture);
			if (known) *known |= bit;
			else texture_sampling.insert(texture, bit);
			continue;
		} else {
			continue;
		}
		Iterator variable = get_target_variable(image);
		if (variable.is_end()) continue;
		uint32_t *known = image_access.get(variable[2]);
		if (known) *known |= access;
		else image_access.insert(variable[2], access);
	}
}

bool ShaderSpirv::get_value_place(uint32_t id, ResourcePlace &place) const {
	for (uint32_t steps = 0; steps < 64; steps++) {
		Iterator it = find_target(id);
		int32_t op = it.get_opcode();
		if (op == OpCopyObject) {
			id = it[3];
		} else if (op == OpLoad) {
			return get_pointer_place(it[3], place);
		} else if (op == OpFunctionParameter) {
			// a texture or sampler passed by value: the arguments' own
			place = ResourcePlace{id, 0, get_element_count(get_target_type(id)), true};
			return true;
		} else {
			break;
		}
	}
	return false;
}

bool ShaderSpirv::get_pointer_place(uint32_t pointer, ResourcePlace &place) const {
	Iterator it = find_target(pointer);
	if (it.get_opcode() == OpVariable && it[3] == StorageUniformConstant) {
		// the whole variable: all its elements (0 where they cannot be counted)
		place = ResourcePlace{pointer, 0, get_element_count(get_target_type(pointer)), true};
		return true;
	}
	// the access chains down to a variable or a parameter, outermost first
	uint32_t chains[64];
	uint32_t levels = 0;
	uint32_t root = pointer;
	for (; levels < 64; levels++) {
		Iterator link = find_target(root);
		if (link.get_opcode() != OpAccessChain && link.get_opcode() != OpInBoundsAccessChain) break;
		chains[levels] = root;
		root = link[3];
	}
	Iterator base = find_target(root);
	bool known = levels < 64 && (base.get_opcode() == OpFunctionParameter || (base.get_opcode() == OpVariable && base[3] == StorageUniformConstant));
	// the element that constant indices reach within the root's arrays
	Iterator level = get_target_type(root);
	uint32_t offset = 0;
	bool exact = true;
	for (uint32_t i = levels; known && i-- > 0;) {
		Iterator link = find_target(chains[i]);
		for (uint32_t k = 4; k < link.get_size(); k++) {
			if (!is_array_opcode(level.get_opcode())) {
				known = false;
				break;
			}
			uint32_t below = get_element_count(get_target_type(level[2]));
			Iterator length = find_target(level[3]);
			Iterator index = find_target(link[k]);
			bool constant = level.get_opcode() == OpTypeArray && length.get_opcode() == OpConstant && index.get_opcode() == OpConstant;
			if (constant && index[3] < length[3] && below != 0) {
				offset += index[3] * below;
			} else {
				exact = false;
			}
			level = get_target_type(level[2]);
		}
	}
	if (!known) return false;
	uint32_t count = get_element_count(level);
	if (count == 0) exact = false;
	if (base.get_opcode() == OpFunctionParameter) {
		place = ResourcePlace{root, offset, count, exact};
		return true;
	}
	// a variable reached through more than one chain
	uint32_t total = get_element_count(get_target_type(root));
	if (exact) place = ResourcePlace{root, offset, count, true};
	else place = ResourcePlace{root, 0, total != 0 ? total : 1, true};
	return true;
}

uint32_t ShaderSpirv::get_element_count(const Iterator &type) const {
	Iterator level = type;
	uint32_t total = 1;
	for (uint32_t steps = 0; steps < 64 && is_array_opcode(level.get_opcode()); steps++) {
		Iterator length = find_target(level[3]);
		if (level.get_opcode() != OpTypeArray || length.get_opcode() != OpConstant || length[3] == 0 || length[3] > MaxBindingCount) return 0;
		total *= length[3];
		if (total > MaxBindingCount) return 0;
		level = get_target_type(level[2]);
	}
	return is_array_opcode(level.get_opcode()) ? 0 : total;
}

bool ShaderSpirv::get_place_elements(const ResourcePlace &place, Array<ResourceElements> &elements, ResourceOriginIssue &issue) {
	return get_place_elements(place, elements, issue, 0);
}

bool ShaderSpirv::get_place_elements(const ResourcePlace &place, Array<ResourceElements> &elements, ResourceOriginIssue &issue, uint32_t depth) {
	if (find_target(place.root).get_opcode() == OpVariable) {
		if (place.count == 0) {
			issue = ResourceOriginIssue{ResourceOriginElements, place.root};
			return false;
		}
		elements.append(ResourceElements{place.root, place.first, place.count});
		return true;
	}
	const ParameterOrigins *origins = get_parameter_origins(place.root, depth, issue);
	if (origins == nullptr) return false;
	// the elements within the parameter, where it is one whole argument
	uint32_t whole = get_element_count(get_target_type(place.root));
	for (uint32_t i = 0; i < origins->elements.size(); i++) {
		const ResourceElements &origin = origins->elements[i];
		if (place.exact && whole != 0 && origin.count == whole) elements.append(ResourceElements{origin.variable, origin.first + place.first, place.count});
		else elements.append(origin);
	}
	return true;
}

const ShaderSpirv::ParameterOrigins *ShaderSpirv::get_parameter_origins(uint32_t parameter, uint32_t depth, ResourceOriginIssue &issue) {
	ParameterOrigins *origins = parameter_origins.get(parameter);
	if (origins && origins->done) {
		if (origins->failed) issue = ResourceOriginIssue{ResourceOriginKnownFailure, parameter};
		return origins->failed ? nullptr : origins;
	}
	const ParameterPlace *at = parameter_places.get(parameter);
	if (origins || at == nullptr || depth >= MaxRenderDepth) {
		// a parameter that is its own argument, or one of calls nested too deep
		issue = ResourceOriginIssue{ResourceOriginParameter, parameter};
		if (origins) origins->failed = true;
		return nullptr;
	}
	origins = &parameter_origins.insert(parameter, ParameterOrigins())->value;
	bool pointer = find_target(find_target(parameter)[1]).get_opcode() == OpTypePointer;
	const Array<uint32_t> *calls = function_calls.get(at->function);
	Set<std::array<uint32_t, 3>> seen;
	// the places of the arguments so far: many calls may pass the same one,
	// whose elements are merged once
	Set<std::array<uint32_t, 4>> merged;
	bool ok = true;
	for (uint32_t i = 0; ok && calls && i < calls->size(); i++) {
		// the argument is the pointer of a pointer parameter, else the value
		uint32_t argument = get_iterator((*calls)[i])[4 + at->index];
		ResourcePlace place;
		Array<ResourceElements> elements;
		if (!(pointer ? get_pointer_place(argument, place) : get_value_place(argument, place))) {
			issue = ResourceOriginIssue{ResourceOriginParameter, parameter};
			ok = false;
			break;
		}
		std::array<uint32_t, 4> key = {place.root, place.first, place.count, place.exact ? 1u : 0u};
		if (merged.find(key)) continue;
		merged.insert(key);
		ok = get_place_elements(place, elements, issue, depth + 1);
		render_work += elements.size();
		for (uint32_t k = 0; ok && k < elements.size(); k++) {
			std::array<uint32_t, 3> key = {elements[k].variable, elements[k].first, elements[k].count};
			if (seen.find(key)) continue;
			seen.insert(key);
			origins->elements.append(elements[k]);
		}
	}
	origins->done = true;
	origins->failed = origins->failed || !ok;
	return origins->failed ? nullptr : origins;
}

} // namespace Vexa
