// The type registry: every SPIR-V type of a module is made here, once, keyed
// by its text in the type-name map, with its component types declared before
// it and the capabilities it needs added; and the target map, which records
// for every result id its type, type flags and array length.
//
// A module may not declare the same non-aggregate type twice, so names that
// describe one type ("b16" and "b32", an image reached under two names) all
// lead to the id of the first: they are entered as further keys of it.
#include "shader/compiler/Compiler.h"

#include "core/Error.h"
#include "core/Log.h"
#include "shader/ShaderSpirvNumbers.h"

namespace Vexa {

namespace {

bool starts_with_any(const String &name, std::initializer_list<const char *> prefixes) {
	for (const char *prefix : prefixes) {
		if (name.startsWith(prefix)) return true;
	}
	return false;
}

} // namespace

uint32_t Compiler::add_type(const char *name, uint32_t length, Scope *scope) {
	return add_type(String(name), length, scope);
}

uint32_t Compiler::add_type(uint32_t flags) {
	return add_type(get_type_name(flags));
}

uint32_t Compiler::add_type(const String &name, uint32_t length, Scope *scope) {
	String key = name;
	if (length != ~0u) key.append(String::format("[%u]", length));
	if (uint32_t *id = types.get(key)) return *id;

	// arrays
	if (length != ~0u) return add_array_type(key, add_type(name, ~0u, scope), length);

	// a name that carries its array suffix: "[]" is a runtime array
	if (name.size() > 2 && name.fromBack(0) == ']') {
		uint32_t open = name.rfind('[');
		if (open == ~0u || open == 0) throwError("can't add %s type\n", name.get());
		uint32_t size = 0;
		uint32_t digits = 0;
		if (open + 2 < name.size()) {
			size = name.tou32(10, open + 1, &digits);
			if (digits != name.size() - open - 2 || size == 0 || size == ~0u) throwError("can't add %s type\n", name.get());
		}
		uint32_t id = add_type(name.substr(0, open), size, scope);
		types.insert(key, id);
		return id;
	}
	if (name.find('[') != ~0u) throwError("can't add %s type\n", name.get());

	uint32_t id = ~0u;
	uint32_t element = ~0u;
	uint32_t flags = 0;
	if (name.startsWith("image") || name.startsWith("texture")) return add_image_type(name);
	if (name == "samplerShadow") {
		id = add_type("sampler");
		types.insert(key, id);
		return id;
	}
	if (scope != nullptr) {
		uint32_t index = find_structure(name, scope);
		if (index != ~0u) return structures[index].id;
	}
	if (name == "void") {
		id = next_id++;
		add_module_opcode(Spirv::OpTypeVoid, {id});
		flags = TypeVoid;
	} else if (name == "sampler") {
		id = next_id++;
		add_module_opcode(Spirv::OpTypeSampler, {id});
		flags = TypeSampler;
	} else if (name.startsWith("sampler")) {
		uint32_t image = add_image_type(name.replace("sampler", "texture"));
		// one sampled-image type per image, whatever name led to it
		String sampled = String::format("%u_sampled", image);
		if (uint32_t *known = types.get(sampled)) {
			types.insert(key, *known);
			return *known;
		}
		id = next_id++;
		add_module_opcode(Spirv::OpTypeSampledImage, {id, image});
		flags = get_target_flags(image) | TypeSampled;
		element = image;
		types.insert(sampled, id);
	} else if (name == "accelerationStructure") {
		id = next_id++;
		add_module_opcode(Spirv::OpTypeAccelerationStructure, {id});
		flags = TypeAccelerationStructure;
	} else if (name == "rayQuery") {
		id = next_id++;
		add_module_opcode(Spirv::OpTypeRayQuery, {id});
		flags = TypeRayQuery;
	} else {
		// numeric types: refused like unknown names, except that the message
		// is the registry's
		try {
			flags = get_type_flags(name);
		} catch (const String &) {
			throwError("can't add %s type\n", name.get());
		}
		String canonical = get_type_name(flags);
		if (canonical != name) {
			id = add_type(canonical);
			types.insert(key, id);
			return id;
		}
		uint32_t width = (flags & Type16) ? 16 : (flags & Type32) ? 32 : 64;
		if (flags & TypeMatrixMask) {
			element = add_type(get_type_name(flags & ~TypeMatrixMask));
			id = next_id++;
			add_module_opcode(Spirv::OpTypeMatrix, {id, element, get_column_count(flags)});
		} else if (flags & TypeVectorMask) {
			element = add_type(get_type_name(flags & ~TypeVectorMask));
			id = next_id++;
			add_module_opcode(Spirv::OpTypeVector, {id, element, get_vector_size(flags)});
		} else if (flags & TypeFloat) {
			id = next_id++;
			add_module_opcode(Spirv::OpTypeFloat, {id, width});
		} else if (flags & (TypeUint | TypeInt)) {
			id = next_id++;
			add_module_opcode(Spirv::OpTypeInt, {id, width, (flags & TypeUint) ? 0u : 1u});
		} else {
			id = next_id++;
			add_module_opcode(Spirv::OpTypeBool, {id});
		}
	}

	bool integer = (flags & (TypeUint | TypeInt)) != 0 && (flags & TypeFloat) == 0;
	if (integer && (flags & Type16)) capabilities.insert(Spirv::CapabilityInt16);
	if ((flags & TypeFloat) && (flags & Type16)) capabilities.insert(Spirv::CapabilityFloat16);
	if (integer && (flags & Type64)) capabilities.insert(Spirv::CapabilityInt64);
	if ((flags & TypeFloat) && (flags & Type64)) capabilities.insert(Spirv::CapabilityFloat64);
	// an acceleration structure is traced in the ray-tracing stages and
	// queried in the others, each with a capability of its own
	if (flags & TypeAccelerationStructure) {
		capabilities.insert(is_tracing_stage() ? Spirv::CapabilityRayTracing : Spirv::CapabilityRayQuery);
	}
	if (flags & TypeRayQuery) capabilities.insert(Spirv::CapabilityRayQuery);

	types.insert(key, id);
	set_target(id, element == ~0u ? id : element, flags);
	return id;
}

uint32_t Compiler::add_image_type(const String &name, uint32_t format) {
	String key = name;
	if (format != ~0u) key.append(String::format("_format_%u", format));
	if (uint32_t *id = types.get(key)) return *id;

	uint32_t flags = 0;
	uint32_t dim = 0;
	if (starts_with_any(name, {"image2D", "texture2D"})) {
		dim = 1;
		flags = TypeImage2D;
	} else if (starts_with_any(name, {"image3D", "texture3D"})) {
		dim = 2;
		flags = TypeImage3D;
	} else if (starts_with_any(name, {"imageCube", "textureCube"})) {
		dim = 3;
		flags = TypeImageCube;
	} else if (starts_with_any(name, {"imageBuffer", "textureBuffer"})) {
		dim = Spirv::DimBuffer;
		flags = TypeImageBuffer;
	} else {
		throwError("can't add %s image\n", name.get());
	}
	if (format != ~0u) flags |= TypeImageFormat;

	uint32_t kind = TypeFloat;
	if (starts_with_any(name, {"image2DI", "image3DI", "imageCubeI", "imageBufferI", "texture2DI", "texture3DI", "textureCubeI", "textureBufferI"})) kind = TypeInt;
	else if (starts_with_any(name, {"image2DU", "image3DU", "imageCubeU", "imageBufferU", "texture2DU", "texture3DU", "textureCubeU", "textureBufferU"})) kind = TypeUint;

	// the image formats end at 41 (R64i); 21-29 and 41 hold signed, 30-40
	// unsigned integers
	if (format != ~0u) {
		bool is_signed = (format >= 21 && format <= 29) || format == 41;
		bool is_unsigned = (format >= 30 && format <= 40);
		if (format > 41 || (is_signed && kind != TypeInt) || (is_unsigned && kind != TypeUint)) {
			throwError("invalid format %u for %s image\n", format, name.get());
		}
	}

	bool arrayed = name.contains("Array");
	bool depth = name.contains("Shadow");
	bool multisampled = name.contains("MS");
	bool texture = name.contains("texture");
	if (arrayed) flags |= TypeImageArray;
	if (depth) flags |= TypeImageShadow;
	if (multisampled) flags |= TypeImageMS;
	if (texture) flags |= TypeTexture;

	if (dim == 3 && arrayed) capabilities.insert(texture ? Spirv::CapabilitySampledCubeArray : Spirv::CapabilityImageCubeArray);
	if (dim == 1 && arrayed && multisampled && !texture) capabilities.insert(Spirv::CapabilityImageMSArray);
	if (multisampled && !texture) capabilities.insert(Spirv::CapabilityStorageImageMultisample);
	if (dim == Spirv::DimBuffer) capabilities.insert(texture ? Spirv::CapabilitySampledBuffer : Spirv::CapabilityImageBuffer);
	if (name.contains("64") || format == 40 || format == 41) {
		capabilities.insert(Spirv::CapabilityInt64Image);
		flags |= Type64;
	} else {
		flags |= Type32;
	}
	if ((format >= 6 && format <= 20) || (format >= 25 && format <= 29) || (format >= 34 && format <= 41)) {
		capabilities.insert(Spirv::CapabilityStorageImageExtendedFormats);
	}
	flags |= kind;

	uint32_t sampled_type = add_type(get_type_name(kind | (flags & TypeWidthMask)));
	uint32_t image_format = (format == ~0u) ? 0 : format;

	// one type per set of operands, whatever name led to it
	String operands = String::format("%u_image_%u_%u_%u_%u_%u_%u", sampled_type, dim, depth ? 1 : 0, arrayed ? 1 : 0, multisampled ? 1 : 0,
		texture ? 1 : 2, image_format);
	if (uint32_t *known = types.get(operands)) {
		types.insert(key, *known);
		return *known;
	}

	uint32_t id = next_id++;
	add_module_opcode(Spirv::OpTypeImage,
		{id, sampled_type, dim, depth ? 1u : 0u, arrayed ? 1u : 0u, multisampled ? 1u : 0u, texture ? 1u : 2u, image_format});
	types.insert(key, id);
	types.insert(operands, id);
	set_target(id, sampled_type, flags);
	return id;
}

uint32_t Compiler::add_array_type(const String &key, uint32_t element, uint32_t length) {
	uint32_t id = 0;
	if (length == 0) {
		id = next_id++;
		add_module_opcode(Spirv::OpTypeRuntimeArray, {id, element});
	} else {
		uint32_t size = add_constant("u32", length);
		id = next_id++;
		add_module_opcode(Spirv::OpTypeArray, {id, element, size});
	}
	types.insert(key, id);
	set_target(id, element, get_target_flags(element) | TypeRuntimeArray | TypeComposite);
	return id;
}

uint32_t Compiler::add_strided_array(uint32_t element, uint32_t length, uint32_t stride) {
	String key = String::format("%u[%u]/%u", element, length, stride);
	if (uint32_t *id = types.get(key)) return *id;
	uint32_t id = add_array_type(key, element, length);
	array_strides.insert(id, stride);
	return id;
}

uint32_t Compiler::add_pointer_type(uint32_t type, uint32_t length, uint32_t storage) {
	if (storage == ~0u) throwError("invalid storage class\n");
	String key = String::format("%u_ptr_%u", type, storage);
	if (length != ~0u) key.append(String::format("[%u]", length));
	if (uint32_t *id = types.get(key)) return *id;
	// the storage class word is rewritten when the module is assembled for a
	// version without the StorageBuffer class
	if (storage == Spirv::StorageStorageBuffer) storage_pointers.append(words.size());
	uint32_t id = next_id++;
	add_module_opcode(Spirv::OpTypePointer, {id, storage, type});
	types.insert(key, id);
	set_target(id, type, get_target_flags(type) | TypePointer);
	return id;
}

void Compiler::add_target(uint32_t id, uint32_t type, uint32_t length) {
	targets.insert(id, Target(type, get_target_flags(type), length));
}

void Compiler::set_target(uint32_t id, uint32_t type, uint32_t flags, uint32_t length) {
	targets.insert(id, Target(type, flags, length));
}

uint32_t Compiler::get_target_type(uint32_t id) const {
	if (const Target *target = targets.get(id)) return target->type;
	Log::printf(Log::Error, "Compiler::get_target_type(): invalid target %u\n", id);
	return 0;
}

uint32_t Compiler::get_target_flags(uint32_t id) const {
	if (const Target *target = targets.get(id)) return target->flags;
	Log::printf(Log::Error, "Compiler::get_target_flags(): invalid target %u\n", id);
	return 0;
}

uint32_t Compiler::get_target_length(uint32_t id) const {
	if (const Target *target = targets.get(id)) return target->length;
	Log::printf(Log::Error, "Compiler::get_target_length(): invalid target %u\n", id);
	return ~0u;
}

uint32_t Compiler::get_target_components(uint32_t id) const {
	if (const Target *target = targets.get(id)) return get_type_components(target->flags);
	Log::printf(Log::Error, "Compiler::get_target_components(): invalid target %u\n", id);
	return 0;
}

String Compiler::get_target_type_name(uint32_t id) const {
	const Target *target = targets.get(id);
	if (target == nullptr) {
		Log::printf(Log::Error, "Compiler::get_target_type_name(): invalid target %u\n", id);
		return String();
	}
	if ((target->flags & TypeStructure) == 0) return get_type_name(target->flags);
	// an array of structures leads through its array type to the structure
	uint32_t structure = target->type;
	if (target->flags & TypeRuntimeArray) structure = get_target_type(structure);
	String ret = structures[get_structure(structure)].name;
	if (target->flags & TypeRuntimeArray) ret.append("[]");
	return ret;
}

} // namespace Vexa
