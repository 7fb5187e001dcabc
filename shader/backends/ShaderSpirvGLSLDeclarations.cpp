// GLSL type names, the qualifier prefixes of variables and block members, the
// declarations that GLSL leaves out, image formats, the memory layouts of
// blocks and the bindings of resources.
//
// GL has no descriptor sets and no push constants: resources keep their
// bindings, two of one binding namespace on one binding are an error, and a
// push-constant block becomes a uniform block on the first free binding. A
// block whose member offsets or strides GLSL's layout rules do not give (and
// that an offset qualifier cannot give on the target) is an error: the memory
// layout never changes silently.
#include "shader/backends/ShaderSpirvGLSL.h"
#include "shader/ShaderSpirvNumbers.h"

#include "core/Sort.h"

#include <cstring>

namespace Vexa {

using namespace Spirv;

namespace {

struct TypeName {
	const char *internal;
	const char *glsl;
};

const TypeName type_names[] = {
	{"f32", "float"}, {"f32v2", "vec2"}, {"f32v3", "vec3"}, {"f32v4", "vec4"}, {"f32v2m2", "mat2"},
	{"f32v3m3", "mat3"}, {"f32v4m4", "mat4"}, {"f32v2m3", "mat3x2"}, {"f32v3m2", "mat2x3"}, {"f32v2m4", "mat4x2"},
	{"f32v4m2", "mat2x4"}, {"f32v3m4", "mat4x3"}, {"f32v4m3", "mat3x4"}, {"f64", "double"}, {"f64v2", "dvec2"},
	{"f64v3", "dvec3"}, {"f64v4", "dvec4"}, {"f64v2m2", "dmat2"}, {"f64v3m3", "dmat3"}, {"f64v4m4", "dmat4"},
	{"f64v2m3", "dmat3x2"}, {"f64v3m2", "dmat2x3"}, {"f64v2m4", "dmat4x2"}, {"f64v4m2", "dmat2x4"},
	{"f64v3m4", "dmat4x3"}, {"f64v4m3", "dmat3x4"}, {"f16", "float16_t"}, {"f16v2", "f16vec2"}, {"f16v3", "f16vec3"},
	{"f16v4", "f16vec4"}, {"f16v2m2", "f16mat2"}, {"f16v3m3", "f16mat3"}, {"f16v4m4", "f16mat4"},
	{"f16v2m3", "f16mat3x2"}, {"f16v3m2", "f16mat2x3"}, {"f16v2m4", "f16mat4x2"}, {"f16v4m2", "f16mat2x4"},
	{"f16v3m4", "f16mat4x3"}, {"f16v4m3", "f16mat3x4"}, {"i32", "int"}, {"i32v2", "ivec2"}, {"i32v3", "ivec3"},
	{"i32v4", "ivec4"}, {"i64", "int64_t"}, {"i64v2", "i64vec2"}, {"i64v3", "i64vec3"}, {"i64v4", "i64vec4"},
	{"i16", "int16_t"}, {"i16v2", "i16vec2"}, {"i16v3", "i16vec3"}, {"i16v4", "i16vec4"}, {"u32", "uint"},
	{"u32v2", "uvec2"}, {"u32v3", "uvec3"}, {"u32v4", "uvec4"}, {"u64", "uint64_t"}, {"u64v2", "u64vec2"},
	{"u64v3", "u64vec3"}, {"u64v4", "u64vec4"}, {"u16", "uint16_t"}, {"u16v2", "u16vec2"}, {"u16v3", "u16vec3"},
	{"u16v4", "u16vec4"}, {"b32", "bool"}, {"b32v2", "bvec2"}, {"b32v3", "bvec3"}, {"b32v4", "bvec4"},
};

} // namespace

String ShaderSpirvGLSL::get_type(uint32_t id, const Record *record) {
	Iterator type = get_target_type(id);
	int32_t op = type.get_opcode();
	if (op == OpTypeArray || op == OpTypeRuntimeArray) {
		for (uint32_t steps = 0; steps < 64 && (op == OpTypeArray || op == OpTypeRuntimeArray); steps++) {
			type = get_target_type(type[2]);
			op = type.get_opcode();
		}
	}
	bool sampler = op == OpTypeSampledImage;
	if (sampler) {
		type = get_target_type(type[2]);
		op = type.get_opcode();
	}
	if (op == OpTypeImage) {
		StringStack<64> ret;
		Iterator sampled = get_target_type(type[2]);
		if (sampled.get_opcode() == OpTypeInt) {
			if (sampled[2] != 32) {
				log_error("ShaderSpirvGLSL::get_type(): unknown image type of %u-bit integers\n", sampled[2]);
				return String();
			}
			ret.append(sampled[3] ? 'i' : 'u');
		} else if (sampled.get_opcode() != OpTypeFloat || sampled[2] != 32) {
			log_error("ShaderSpirvGLSL::get_type(): unknown image sampled type\n");
			return String();
		}
		bool texture = type[7] == 1 || sampler;
		ret.append(texture ? "sampler" : "image");
		uint32_t dim = type[3];
		switch (dim) {
			case Dim1D:
				if (is_es()) {
					log_error("ShaderSpirvGLSL::get_type(): unknown image dimension 1D\n");
					return String();
				}
				ret.append("1D");
				break;
			case Dim2D: ret.append("2D"); break;
			case Dim3D: ret.append("3D"); break;
			case DimCube: ret.append("Cube"); break;
			case DimBuffer: ret.append("Buffer"); break;
			default:
				log_error("ShaderSpirvGLSL::get_type(): unknown image dimension %u\n", dim);
				return String();
		}
		if (type[6]) ret.append("MS");
		if (type[5]) ret.append("Array");
		// a texture that depth comparisons sample is a shadow sampler
		if (texture && is_shadow_texture(id, type)) ret.append("Shadow");
		return String(static_cast<StringStack<64> &&>(ret));
	}
	if (op == OpTypeSampler) {
		log_error("ShaderSpirvGLSL::get_type(): unknown separate sampler %s\n", (id < records.size()) ? records[id].name.get() : "");
		return String();
	}
	if (op == OpTypeRayQuery || op == OpTypeAccelerationStructure) {
		log_error("ShaderSpirvGLSL::get_type(): unknown opcode %u\n", static_cast<uint32_t>(op));
		return String();
	}
	// the internal name of a number, vector or matrix type, looked up in the table
	if (op == OpTypeBool || op == OpTypeInt || op == OpTypeFloat || op == OpTypeVector || op == OpTypeMatrix) {
		StringStack<64> internal;
		Iterator scalar = type;
		uint32_t rows = 0;
		uint32_t columns = 0;
		if (op == OpTypeMatrix) {
			columns = type[3];
			scalar = get_target_type(type[2]);
		}
		if (scalar.get_opcode() == OpTypeVector) {
			rows = scalar[3];
			scalar = get_target_type(scalar[2]);
		}
		int32_t scalar_op = scalar.get_opcode();
		if (scalar_op == OpTypeBool) internal.append("b32");
		else if (scalar_op == OpTypeInt) internal.append(String::format(scalar[3] ? "i%u" : "u%u", scalar[2]));
		else if (scalar_op == OpTypeFloat) internal.append(String::format("f%u", scalar[2]));
		if (rows) internal.append(String::format("v%u", rows));
		if (columns) internal.append(String::format("m%u", columns));
		for (const TypeName &name : type_names) {
			if (internal == name.internal) return String(name.glsl);
		}
		log_error("ShaderSpirvGLSL::get_type(): unknown type %s\n", internal.get());
		return String();
	}
	String text = ShaderSpirv::get_type(id, record);
	for (const TypeName &name : type_names) {
		if (text == name.internal) return String(name.glsl);
	}
	return text;
}

String ShaderSpirvGLSL::get_integer_type_name(uint32_t type, bool is_signed) {
	// a shape the module does not declare comes back by its internal name
	String text = get_integer_type(type, is_signed);
	for (const TypeName &name : type_names) {
		if (text == name.internal) return String(name.glsl);
	}
	return text;
}

String ShaderSpirvGLSL::get_format_name(uint32_t format) {
	static const char *const names[] = {
		nullptr, "rgba32f", "rgba16f", "r32f", "rgba8", "rgba8_snorm", "rg32f", "rg16f", "r11f_g11f_b10f", "r16f",
		"rgba16", "rgb10_a2", "rg16", "rg8", "r16", "r8", "rgba16_snorm", "rg16_snorm", "rg8_snorm", "r16_snorm",
		"r8_snorm", "rgba32i", "rgba16i", "rgba8i", "r32i", "rg32i", "rg16i", "rg8i", "r16i", "r8i", "rgba32ui",
		"rgba16ui", "rgba8ui", "r32ui", "rgb10_a2ui", "rg32ui", "rg16ui", "rg8ui", "r16ui", "r8ui",
	};
	// the formats that ES has
	static const uint32_t es_formats[] = {1, 2, 3, 4, 5, 21, 22, 23, 24, 30, 31, 32, 33};
	if (format == 0 || format >= sizeof(names) / sizeof(names[0])) {
		log_error("ShaderSpirvGLSL::get_format_name(): unknown image format %u\n", format);
		return String();
	}
	if (is_es()) {
		bool found = false;
		for (uint32_t es : es_formats) found = found || es == format;
		if (!found) {
			log_error("ShaderSpirvGLSL::get_format_name(): unknown image format %s\n", names[format]);
			return String();
		}
	}
	return String(names[format]);
}

String ShaderSpirvGLSL::get_storage(uint32_t id, const Record *record) {
	const Record *own = (id < records.size()) ? &records[id] : nullptr;
	if (record == nullptr) record = own;
	if (record == nullptr) return String();
	bool variable_record = records.size() != 0 && record >= &records[0] && record < &records[0] + records.size();
	const Map<uint32_t, uint32_t> &decorations = record->decorations;
	auto has = [&](uint32_t decoration) { return decorations.find(decoration) != nullptr; };
	StringStack<64> items;
	StringStack<64> qualifiers;
	auto interpolation = [&]() {
		if (has(DecorationInvariant)) qualifiers.append("invariant ");
		if (has(DecorationNoPerspective)) {
			qualifiers.append("noperspective ");
			if (is_es()) add_extension("GL_NV_shader_noperspective_interpolation");
		}
		if (has(DecorationFlat)) qualifiers.append("flat ");
		if (has(DecorationCentroid)) qualifiers.append("centroid ");
		if (has(DecorationSample)) qualifiers.append("sample ");
		if (has(DecorationPatch) && variable_record) qualifiers.append("patch ");
	};
	auto memory = [&]() {
		if (has(DecorationRestrict)) qualifiers.append("restrict ");
		if (has(DecorationVolatile)) qualifiers.append("volatile ");
		if (has(DecorationCoherent)) qualifiers.append("coherent ");
		if (has(DecorationNonWritable)) qualifiers.append("readonly ");
		if (has(DecorationNonReadable)) qualifiers.append("writeonly ");
	};
	auto finish = [&](const char *storage, const char *precision) {
		StringStack<64> ret;
		if (!items.empty()) {
			ret.append("layout(");
			ret.append(items.get(), items.size() - 2);
			ret.append(") ");
		}
		ret.append(qualifiers);
		if (storage) ret.append(storage);
		if (precision) ret.append(precision);
		return String(static_cast<StringStack<64> &&>(ret));
	};
	if (!variable_record && !is_block_member(record)) {
		// a plain structure's members take no qualifiers but a precision
		if (has(DecorationLocation) || has(DecorationComponent) || member_offsets.get(record) || (has(DecorationRowMajor) && get_target_type(id).get_opcode() == OpTypeMatrix) ||
			has(DecorationNoPerspective) || has(DecorationFlat) || has(DecorationCentroid) || has(DecorationSample) || has(DecorationInvariant)) {
			log_error("ShaderSpirvGLSL::get_declaration(): unknown qualifier of structure member %s\n", record->name.get());
		}
		return String(has(DecorationRelaxedPrecision) ? "mediump " : "");
	}
	if (!variable_record) {
		// a member of a block: its layout, interpolation, memory and
		// precision qualifiers, never a storage class
		const uint32_t *offset = member_offsets.get(record);
		if (has(DecorationLocation)) items.append(String::format("location = %u, ", *decorations.get(DecorationLocation)));
		if (has(DecorationComponent)) items.append(String::format("component = %u, ", *decorations.get(DecorationComponent)));
		if (offset) items.append(String::format("offset = %u, ", *offset));
		if (has(DecorationRowMajor) && get_target_type(id).get_opcode() != OpTypeStruct) items.append("row_major, ");
		interpolation();
		memory();
		return finish(nullptr, has(DecorationRelaxedPrecision) ? "mediump " : nullptr);
	}
	// only variables have a storage class; a structure or function has none
	if (own == nullptr || find_target(id).get_opcode() != OpVariable) {
		if (record == own || record->storage == StorageFunction || record->storage == StoragePrivate) return String();
	}
	uint32_t storage = record->storage;
	if (storage == StorageFunction) return String();
	// the variable whose record this is (an array's element is declared with it)
	uint32_t variable = static_cast<uint32_t>(record - &records[0]);
	Iterator layout = get_target_type(id);
	layout = get_element_type(layout);
	bool buffer_block = layout.get_opcode() == OpTypeStruct && layout[1] < records.size() && records[layout[1]].decorations.find(DecorationBufferBlock);
	bool storage_buffer = storage == StorageStorageBuffer || (storage == StorageUniform && buffer_block);
	bool storage_image = layout.get_opcode() == OpTypeImage && layout[7] != 1;
	if (storage_buffer) items.append("std430, ");
	else if (storage == StorageUniform || storage == StoragePushConstant) items.append("std140, ");
	if (has(DecorationRowMajor)) items.append("row_major, ");
	if (has(DecorationLocation)) items.append(String::format("location = %u, ", *decorations.get(DecorationLocation)));
	if (has(DecorationComponent)) items.append(String::format("component = %u, ", *decorations.get(DecorationComponent)));
	if (has(DecorationIndex)) {
		items.append(String::format("index = %u, ", *decorations.get(DecorationIndex)));
		if (is_es()) add_extension("GL_EXT_blend_func_extended");
	}
	if (storage == StoragePushConstant) {
		const uint32_t *binding = bindings.push.get(layout[1]);
		if (binding) {
			items.append(String::format("binding = %u, ", *binding));
			// the line is written once, whenever the declaration is made
			if (!push_pragmas.find(*binding)) {
				push_pragmas.insert(*binding);
				pragmas.append(String::format("#pragma uniform(%s, %u)\n", record->name.empty() ? records[layout[1]].name.get() : record->name.get(), *binding));
			}
		}
	} else if (has(DecorationBinding)) {
		const uint32_t *moved = bindings.moved.get(variable);
		items.append(String::format("binding = %u, ", moved ? *moved : get_resource_binding(variable)));
	}
	if (storage_image) {
		uint32_t format = layout[8];
		if (format != 0) {
			String name = get_format_name(format);
			if (!name.empty()) {
				items.append(name);
				items.append(", ");
			}
		} else if (is_es()) {
			log_error("ShaderSpirvGLSL::get_storage(): unknown image format Unknown of %s\n", record->name.get());
		}
	}
	interpolation();
	memory();
	if (!has(DecorationPatch) && layout.get_opcode() == OpTypeStruct && layout[1] < members.size() && members[layout[1]].size() != 0 &&
		(storage == StorageInput || storage == StorageOutput)) {
		// a block of patch members is a patch block
		bool patch = true;
		for (uint32_t k = 0; k < members[layout[1]].size(); k++) patch = patch && members[layout[1]][k].decorations.find(DecorationPatch);
		if (patch) qualifiers.append("patch ");
	}
	if (storage_image && !has(DecorationNonWritable) && !has(DecorationNonReadable)) {
		// the access that the functions make of it, where the module does not say
		const uint32_t *access = image_access.get(variable);
		uint32_t uses = access ? *access : 0;
		if (uses == ImageRead || (uses == 0 && is_es())) qualifiers.append("readonly ");
		else if (uses == ImageWrite) qualifiers.append("writeonly ");
		else if (is_es() && uses == (ImageRead | ImageWrite) && layout[8] != ImageFormatR32f && layout[8] != ImageFormatR32i && layout[8] != ImageFormatR32ui) {
			log_error("ShaderSpirvGLSL::get_storage(): unknown access of image %s that is read and written\n", record->name.get());
		} else if (!is_es() && layout[8] == ImageFormatUnknown && (uses & ImageRead)) {
			add_extension("GL_EXT_shader_image_load_formatted");
		}
	}
	const char *keyword = nullptr;
	switch (storage) {
		case StorageUniformConstant: keyword = "uniform "; break;
		case StorageStorageBuffer: keyword = "buffer "; break;
		case StorageUniform: keyword = buffer_block ? "buffer " : "uniform "; break;
		case StorageInput: keyword = "in "; break;
		case StorageOutput: keyword = "out "; break;
		case StorageWorkgroup: keyword = "shared "; break;
		case StoragePushConstant: keyword = "uniform "; break;
		case StoragePrivate: break;
		default:
			log_error("ShaderSpirvGLSL::get_storage(): unknown storage class %u of %s\n", storage, record->name.get());
			break;
	}
	const char *precision = has(DecorationRelaxedPrecision) ? "mediump " : (storage == StorageUniformConstant) ? "highp " : nullptr;
	return finish(keyword, precision);
}

String ShaderSpirvGLSL::get_declaration(uint32_t id, const Record *record) {
	Iterator type = get_target_type(id);
	if (type.is_end()) return ShaderSpirv::get_declaration(id, record);
	const Record *own = (id < records.size()) ? &records[id] : nullptr;
	const Record *which = record ? record : own;
	int32_t op = type.get_opcode();
	Iterator element = type;
	element = get_element_type(element);
	// separate samplers travel in the pragma lines of their textures
	if (element.get_opcode() == OpTypeSampler && which && which->storage == StorageUniformConstant) return String();
	int32_t element_op = element.get_opcode();
	if (which && which->storage != StorageUniformConstant && (element_op == OpTypeSampler || element_op == OpTypeImage || element_op == OpTypeSampledImage)) {
		log_error("ShaderSpirvGLSL::get_declaration(): unknown opaque variable %s\n", which->name.get());
		return String();
	}
	if (op == OpTypeStruct && which && (which->storage == StorageInput || which->storage == StorageOutput) && type.get_size() == 2) return String();
	if (op == OpTypeStruct && type.get_size() == 2) {
		log_error("ShaderSpirvGLSL::get_declaration(): unknown empty structure %s\n", records[type[1]].name.get());
		return String();
	}
	if (which && variable_of(which) != ~0u && (which->storage == StorageInput || which->storage == StorageOutput)) {
		uint32_t variable = variable_of(which);
		if (!check_interface(variable)) return String();
	}
	if (which && variable_of(which) != ~0u && element.get_opcode() == OpTypeStruct && element[1] < records.size()) {
		// one block name for one variable: a block type shared by several
		// variables is declared again under a name of its own
		uint32_t variable = variable_of(which);
		uint32_t structure = element[1];
		uint32_t first = get_block_owner(structure);
		if (first && first != variable && renamed_block != structure) {
			String saved = records[structure].name;
			records[structure].name = get_block_copy_name(variable, structure);
			renamed_block = structure;
			String ret = get_declaration(id, record);
			renamed_block = 0;
			records[structure].name = saved;
			return ret;
		}
	}
	if (op == OpTypeStruct && which && which->storage == StoragePushConstant && type[1] < members.size()) {
		// a uniform block in GL
		uint32_t structure = type[1];
		StringStack<64> ret(get_storage(id, which));
		ret.append(records[structure].name);
		ret.append(" {\n");
		for (uint32_t k = 0; k < members[structure].size() && k + 2 < type.get_size(); k++) {
			ret.append('\t');
			ret.append(get_declaration(type[k + 2], &members[structure][k]));
			ret.append(";\n");
		}
		ret.append('}');
		if (!which->name.empty()) {
			ret.append(' ');
			ret.append(which->name);
		}
		return String(static_cast<StringStack<64> &&>(ret));
	}
	if (which == own && is_patch_vertex_array(id)) {
		// the vertex count is GLSL's own: "[]" in place of the outer length
		String ret = ShaderSpirv::get_declaration(id, record);
		String outer = get_array_suffix(type[1]);
		String inner = get_array_suffix(type[2]);
		if (ret.empty() || ret.size() < outer.size() || strcmp(ret.get() + ret.size() - outer.size(), outer.get()) != 0) return ret;
		StringStack<64> text(String(ret.get(), ret.size() - outer.size()));
		text.append("[]");
		text.append(inner);
		return String(static_cast<StringStack<64> &&>(text));
	}
	return ShaderSpirv::get_declaration(id, record);
}

String ShaderSpirvGLSL::get_function_prefix(uint32_t) {
	return String();
}

String ShaderSpirvGLSL::get_parameter_declaration(uint32_t parameter, uint32_t type, bool pointer, bool read) {
	Iterator pointee = get_target_type(type);
	Iterator element = pointee;
	element = get_element_type(element);
	int32_t op = element.get_opcode();
	if (op == OpTypeImage || op == OpTypeSampler || op == OpTypeSampledImage) {
		// opaque values go in as they are
		if (op == OpTypeSampler || (op == OpTypeImage && element[7] != 1)) {
			log_error("ShaderSpirvGLSL::get_functions(): unknown %s parameter %s\n", op == OpTypeSampler ? "sampler" : "image", records[parameter].name.get());
			return String();
		}
		StringStack<64> ret(is_es() ? "highp " : "");
		ret.append(get_type(type, nullptr));
		ret.append(' ');
		ret.append(records[parameter].name);
		ret.append(get_array_suffix(type));
		return String(static_cast<StringStack<64> &&>(ret));
	}
	if (pointer && find_target(type).get_opcode() == OpTypePointer) {
		uint32_t storage = find_target(type)[2];
		if (storage != StorageFunction && storage != StoragePrivate) {
			log_error("ShaderSpirvGLSL::get_functions(): unknown pointer parameter %s of storage class %u\n", records[parameter].name.get(), storage);
			return String();
		}
	}
	return ShaderSpirv::get_parameter_declaration(parameter, type, pointer, read);
}

uint32_t ShaderSpirvGLSL::variable_of(const Record *record) const {
	if (records.size() == 0 || record < &records[0] || record >= &records[0] + records.size()) return ~0u;
	uint32_t id = static_cast<uint32_t>(record - &records[0]);
	return find_target(id).get_opcode() == OpVariable ? id : ~0u;
}

bool ShaderSpirvGLSL::check_interface(uint32_t variable) {
	// what GLSL takes of inputs and outputs
	const Record &record = records[variable];
	Iterator type = get_target_type(variable);
	bool array = is_array_opcode(type.get_opcode());
	Iterator element = type;
	element = get_element_type(element);
	bool structure = element.get_opcode() == OpTypeStruct;
	bool block = structure && element[1] < records.size() && records[element[1]].decorations.find(DecorationBlock);
	bool input = record.storage == StorageInput;
	const char *problem = nullptr;
	if (execution_model == ModelVertex && input && (structure || (array && is_es()))) problem = "vertex input";
	else if (execution_model == ModelFragment && !input && structure) problem = "fragment output";
	else if (is_es() && structure && !block) {
		// ES takes plain structures only of scalars, vectors and matrices,
		// and no arrays of them between vertex and fragment shaders
		for (uint32_t k = 2; k < element.get_size() && problem == nullptr; k++) {
			int32_t member = get_target(element[k]).get_opcode();
			if (member == OpTypeStruct || is_array_opcode(member)) problem = "structure";
		}
		bool arrayed_stage = execution_model != ModelVertex && execution_model != ModelFragment;
		if (array && !arrayed_stage) problem = "array of structures";
		// nor, of a vertex, an array of them
		if (arrayed_stage && input && array && is_array_opcode(get_target_type(type[2]).get_opcode())) problem = "array of structures";
	}
	if (problem == nullptr && is_es() && record.decorations.find(DecorationComponent)) problem = "component";
	if (problem) {
		log_error("ShaderSpirvGLSL::get_declaration(): unknown %s %s\n", problem, record.name.get());
		return false;
	}
	return true;
}

bool ShaderSpirvGLSL::is_block_member(const Record *record) {
	if (!block_members_built) {
		block_members_built = true;
		for (uint32_t structure = 0; structure < members.size() && structure < records.size(); structure++) {
			const Map<uint32_t, uint32_t> &decorations = records[structure].decorations;
			if (!decorations.find(DecorationBlock) && !decorations.find(DecorationBufferBlock)) continue;
			for (uint32_t k = 0; k < members[structure].size(); k++) block_members.insert(&members[structure][k]);
		}
	}
	return block_members.find(record) != nullptr;
}

void ShaderSpirvGLSL::check_structure_layout(uint32_t structure, bool std140, bool block) {
	// GL writes uniform blocks in std140, storage blocks in std430: the
	// module's decorations must be those layouts, but that GL takes an offset
	// qualifier on a block's own members where the offset keeps the member's
	// alignment (ES has none)
	Array<LayoutIssue> issues;
	find_layout_issues(structure, std140 ? LayoutStd140 : LayoutStd430, issues);
	for (uint32_t i = 0; i < issues.size(); i++) {
		const LayoutIssue &issue = issues[i];
		const Record &member = members[issue.structure][issue.member];
		const char *name = member.name.get();
		const char *owner = records[issue.structure].name.get();
		switch (issue.kind) {
			case LayoutIssueOffset:
				if (block && issue.structure == structure && !is_es() && issue.decorated > issue.expected && issue.alignment != 0 &&
					issue.decorated % issue.alignment == 0) {
					member_offsets.insert(&member, static_cast<uint32_t>(issue.decorated));
				} else {
					log_error("ShaderSpirvGLSL::get_declaration(): unknown Offset %u of %s.%s\n", static_cast<uint32_t>(issue.decorated), owner, name);
				}
				break;
			case LayoutIssueArrayStride:
				log_error("ShaderSpirvGLSL::get_declaration(): unknown ArrayStride %u of %s\n", static_cast<uint32_t>(issue.decorated), name);
				break;
			case LayoutIssueMatrixStride:
				log_error("ShaderSpirvGLSL::get_declaration(): unknown MatrixStride %u of %s\n", static_cast<uint32_t>(issue.decorated), name);
				break;
			case LayoutIssueArrayLength:
				log_error("ShaderSpirvGLSL::get_declaration(): unknown array length of %s\n", name);
				break;
			case LayoutIssueMemberType:
				log_error("ShaderSpirvGLSL::get_declaration(): unknown member type of %s\n", name);
				break;
			case LayoutIssueRuntimeArray:
				log_error("ShaderSpirvGLSL::get_declaration(): unknown runtime array in %s.%s\n", owner, name);
				break;
			case LayoutIssueSize:
				log_error("ShaderSpirvGLSL::get_declaration(): unknown size of %s.%s, past %llu bytes\n", owner, name,
					static_cast<unsigned long long>(MaxLayoutSize));
				break;
		}
	}
}

void ShaderSpirvGLSL::check_bindings() {
	// GL's binding namespaces: uniform blocks, storage blocks, texture units,
	// image units. GL has no descriptor sets: a resource whose binding one of
	// another set holds already is moved to the first binding above all of
	// its namespace, and a pragma line tells where it went. Separate samplers
	// travel in the pragma lines of their textures; push-constant blocks are
	// uniform blocks on the first free bindings.
	static const BindingPolicy policy = {
		{
			NoBindingSpace,     // ResourceNone
			0,                  // ResourceUniformBlock
			1,                  // ResourceStorageBlock
			NoBindingSpace,     // ResourcePushConstant
			2,                  // ResourceSampledImage
			3,                  // ResourceStorageImage
			NoBindingSpace,     // ResourceSampler
			2,                  // ResourceCombinedImageSampler
			2,                  // ResourceUniformTexelBuffer
			3,                  // ResourceStorageTexelBuffer
			NoBindingSpace,     // ResourceAccelerationStructure
			3,                  // ResourceInputAttachment
		},
		0,
	};
	assign_bindings(policy, bindings);
	// the messages in the order of the resources, the collision last
	uint32_t issue = 0;
	for (uint32_t i = 0; i < resources.size(); i++) {
		uint32_t id = resources[i];
		const Record &record = records[id];
		Iterator type = get_target_type(id);
		Iterator element = get_element_type(type);
		switch (get_resource_kind(id)) {
			case ResourcePushConstant:
				if (type.get_opcode() == OpTypeStruct) check_structure_layout(type[1], true, true);
				break;
			case ResourceStorageBlock:
				if (element.get_opcode() == OpTypeStruct) check_structure_layout(element[1], false, true);
				break;
			case ResourceUniformBlock:
				if (element.get_opcode() == OpTypeStruct) check_structure_layout(element[1], true, true);
				break;
			case ResourceAccelerationStructure:
			case ResourceNone:
				if (record.storage == StorageUniformConstant) {
					log_error("ShaderSpirvGLSL::get_source(): unknown resource type %u of %s\n", static_cast<uint32_t>(element.get_opcode()), record.name.get());
				}
				break;
			default:
				break;
		}
		for (; issue < bindings.issues.size() && bindings.issues[issue].variable == id && bindings.issues[issue].kind != BindingIssueCollision; issue++) {
			const BindingIssue &found = bindings.issues[issue];
			if (found.kind == BindingIssueRuntimeArray) log_error("ShaderSpirvGLSL::get_source(): unknown runtime array of resources %s\n", record.name.get());
			else log_error("ShaderSpirvGLSL::get_source(): unknown array size %u of %s\n", found.count, record.name.get());
		}
	}
	for (; issue < bindings.issues.size(); issue++) {
		const BindingIssue &found = bindings.issues[issue];
		if (found.kind != BindingIssueCollision) continue;
		log_error("ShaderSpirvGLSL::get_source(): binding %u of %s collides with %s\n", found.binding, records[found.variable].name.get(), records[found.other].name.get());
	}
	// the moves, in the order of the assignment
	for (uint32_t i = 0; i < bindings.resources.size(); i++) {
		const ResourceBinding &entry = bindings.resources[i];
		if (!bindings.moved.find(entry.variable)) continue;
		if (entry.space <= 1) pragmas.append(String::format("#pragma uniform(%s, %u)\n", records[entry.variable].name.get(), entry.assigned));
		else if (entry.space == 2) pragmas.append(String::format("#pragma texture(%s, %u)\n", records[entry.variable].name.get(), entry.assigned));
	}
}

void ShaderSpirvGLSL::check_texture_sampling() {
	for (auto it = texture_sampling.begin(); it != texture_sampling.end(); ++it) {
		if (it->value == (TextureCompared | TextureUncompared)) {
			log_error("ShaderSpirvGLSL::get_source(): unknown texture %s sampled with and without depth comparison\n", records[it->key].name.get());
		}
	}
}

bool ShaderSpirvGLSL::is_shadow_texture(uint32_t id, const Iterator &image) const {
	// an image type marked depth that is never compared is a plain texture
	const uint32_t *uses = texture_sampling.get(id);
	uint32_t sampling = uses ? *uses : 0;
	return sampling == TextureCompared || (image[4] == 1 && sampling != TextureUncompared);
}

} // namespace Vexa
