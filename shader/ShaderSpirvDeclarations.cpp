// The layout of the GLSL-like listing: the whole text, the global
// declarations, declarations of variables and structures with their bracketed
// attribute lists, type names, and the function definitions whose bodies the
// statement renderer (ShaderSpirvBlocks.cpp) writes. This is the `-d` output
// and what every backend inherits where it does not override a slot.
//
// The output fails as a whole when any slot met something it could not
// render: every such case is logged through `log_error` (what the module asks
// and the listing has no text for) or `log_internal_error` (a fault of the
// renderer), which `get_source` counts, so that a listing is never printed
// with a hole in it.
#include "shader/ShaderSpirv.h"
#include "shader/ShaderSpirvNumbers.h"

#include "core/Log.h"

#include <cstdarg>

namespace Vexa {

using namespace Spirv;

namespace {

struct NumberName {
	uint32_t number;
	const char *name;
};

// attributes in the order they are listed
const NumberName decoration_keywords[] = {
	{0, "relaxed_precision"}, {1, "spec_id"}, {2, "block"}, {3, "buffer_block"}, {4, "row_major"},
	{5, "column_major"}, {6, "array_stride"}, {7, "matrix_stride"}, {11, "builtin"}, {13, "noperspective"},
	{14, "flat"}, {15, "patch"}, {16, "centroid"}, {17, "sample"}, {19, "restrict"}, {21, "volatile"},
	{22, "constant"}, {23, "coherent"}, {24, "readonly"}, {25, "writeonly"}, {26, "uniform"}, {29, "stream"},
	{30, "location"}, {31, "component"}, {32, "index"}, {33, "binding"}, {34, "set"}, {35, "offset"},
	{44, "align"}, {5250, "passthrough"},
};

const char *storage_keyword(uint32_t storage) {
	switch (storage) {
		case StorageUniformConstant: return "constant";
		case StorageInput: return "input";
		case StorageUniform: return "uniform";
		case StorageOutput: return "output";
		case StorageWorkgroup: return "shared";
		case StoragePrivate: return "private";
		case StorageFunction: return "function";
		case StoragePushConstant: return "push";
		case StorageStorageBuffer: return "storage";
		case StorageCallableData: return "call";
		case StorageIncomingCallableData: return "incall";
		case StorageRayPayload: return "ray";
		case StorageHitAttribute: return "hit";
		case StorageIncomingRayPayload: return "inray";
		case StorageTaskPayloadWorkgroup: return "task";
	}
	return nullptr;
}

} // namespace

void ShaderSpirv::log_error(const char *format, ...) const {
	va_list args;
	va_start(args, format);
	String text = String::vformat(format, args);
	va_end(args);
	// a broken module can fail the same way at every use; the first messages
	// say what is wrong, the rest are only counted
	if (errors++ < MaxLoggedErrors) Log::print(Log::Error, text.get());
}

void ShaderSpirv::log_internal_error(const char *operation, const char *format, ...) const {
	va_list args;
	va_start(args, format);
	String text = String::vformat(format, args);
	va_end(args);
	// a fault found after another error may well be its consequence (a walk
	// given up leaves blocks unwritten and temporaries undeclared), so it is
	// only printed when nothing failed before; it counts all the same
	if (errors++ == 0) Log::printf(Log::Error, "%s: internal error: %s", operation, text.get());
}

bool ShaderSpirv::get_source(String &out) {
	render_work = 0;
	out.clear();
	uint32_t logged = errors;
	if (!check_output() || errors != logged) return false;
	prepare_output();
	// the body first: what it renders says what the prologue needs
	String declarations = get_stage_declarations();
	String globals = get_globals();
	String functions = get_functions();
	String helpers = get_helpers();
	StringStack<64> text(get_prologue());
	text.append(declarations);
	text.append(globals);
	text.append(helpers);
	text.append(functions);
	text.append(get_epilogue());
	out = String(static_cast<StringStack<64> &&>(text));
	if (errors > MaxLoggedErrors) Log::printf(Log::Error, "ShaderSpirv::get_source(): %u more errors\n", errors - MaxLoggedErrors);
	// an error of `load` (a built-in without a name) counts as well
	return errors == 0;
}

bool ShaderSpirv::check_output() {
	return true;
}

void ShaderSpirv::prepare_output() {
}

String ShaderSpirv::get_stage_declarations() {
	return String();
}

String ShaderSpirv::get_helpers() {
	return get_helper_definitions();
}

String ShaderSpirv::get_prologue() {
	return String();
}

String ShaderSpirv::get_epilogue() {
	return String();
}

String ShaderSpirv::get_semantic(uint32_t, const Record *) {
	return String();
}

String ShaderSpirv::get_image_type_name(const Iterator &type, const char *kind) {
	StringStack<64> ret;
	Iterator sampled = get_target_type(type[2]);
	if (sampled.get_opcode() == OpTypeInt) ret.append(sampled[3] ? 'i' : 'u');
	ret.append(kind);
	switch (type[3]) {
		case Dim2D: ret.append("2D"); break;
		case Dim3D: ret.append("3D"); break;
		case DimCube: ret.append("Cube"); break;
		case DimBuffer: ret.append("Buffer"); break;
	}
	if (type[5]) ret.append("Array");
	if (type[4]) ret.append("Shadow");
	if (type[6]) ret.append("MS");
	return String(static_cast<StringStack<64> &&>(ret));
}

String ShaderSpirv::get_sampled_image_type(uint32_t id) {
	Iterator type = get_target_type(id);
	if (type.get_opcode() != OpTypeSampledImage) return get_type(id, nullptr);
	// a sampled image combines as a sampler; an image of no known use keeps its name
	Iterator image = get_target_type(type[2]);
	if (image.get_opcode() != OpTypeImage || image[7] != 1) return get_type(type[2], nullptr);
	return get_image_type_name(image, "sampler");
}

String ShaderSpirv::get_type(uint32_t id, const Record *) {
	Iterator type = get_target_type(id);
	if (type.is_end()) {
		// an id that exists but has no type is as unknown as its opcode
		Iterator it = find_target(id);
		if (!it.is_end()) log_error("ShaderSpirv::get_type(): unknown opcode %u\n", static_cast<uint32_t>(it.get_opcode()));
		return String();
	}
	DepthGuard guard(*this);
	if (!guard.enter("ShaderSpirv::get_type()", id)) return String();
	int32_t op = type.get_opcode();
	switch (op) {
		case OpTypeVoid:
			return String("void");
		case OpTypeBool:
			return String("b32");
		case OpTypeInt:
			return String::format(type[3] ? "i%u" : "u%u", type[2]);
		case OpTypeFloat:
			return String::format("f%u", type[2]);
		case OpTypeVector: {
			StringStack<64> ret(get_type(type[2], nullptr));
			ret.append('v');
			ret.appendu32(type[3]);
			return String(static_cast<StringStack<64> &&>(ret));
		}
		case OpTypeMatrix: {
			StringStack<64> ret(get_type(type[2], nullptr));
			ret.append('m');
			ret.appendu32(type[3]);
			return String(static_cast<StringStack<64> &&>(ret));
		}
		case OpTypeImage:
			return get_image_type_name(type, type[7] == 1 ? "texture" : "image");
		case OpTypeSampler:
			return String(depth_samplers.get(id) ? "samplerShadow" : "sampler");
		case OpTypeSampledImage:
			return get_sampled_image_type(id);
		case OpTypeArray:
		case OpTypeRuntimeArray:
			return get_type(type[2], nullptr);
		case OpTypeStruct:
			return records[type[1]].name;
		case OpTypeRayQuery:
			return String("rayQueryEXT");
		case OpTypeAccelerationStructure:
			return String("accelerationStructureEXT");
	}
	log_error("ShaderSpirv::get_type(): unknown opcode %u\n", static_cast<uint32_t>(op));
	return String();
}

String ShaderSpirv::get_storage(uint32_t id, const Record *record) {
	const Record *own = (id < records.size()) ? &records[id] : nullptr;
	if (record == nullptr) record = own;
	if (record == nullptr) return String();
	StringStack<64> list;
	const char *keyword = storage_keyword(record->storage);
	if (keyword) list.append(keyword);
	for (const NumberName &decoration : decoration_keywords) {
		const uint32_t *value = record->decorations.get(decoration.number);
		if (value == nullptr && own) value = own->decorations.get(decoration.number);
		if (value == nullptr) continue;
		if (!list.empty()) list.append(", ");
		list.append(decoration.name);
		if (*value != 0xffffffffu) {
			list.append(" = ");
			list.appendu32(*value);
		}
	}
	if (list.empty()) return String();
	StringStack<64> ret("[");
	ret.append(list);
	ret.append("] ");
	return String(static_cast<StringStack<64> &&>(ret));
}

String ShaderSpirv::get_declaration(uint32_t id, const Record *record) {
	if (id >= records.size()) {
		get_target(id);
		return String();
	}
	// the record decides the name and the storage through every level of an
	// array; without one it is the id's own
	if (record == nullptr) record = &records[id];
	Iterator type = get_target_type(id);
	if (type.is_end()) {
		Iterator it = find_target(id);
		if (!it.is_end()) log_error("ShaderSpirv::get_declaration(): unknown opcode %u\n", static_cast<uint32_t>(it.get_opcode()));
		return String();
	}
	DepthGuard guard(*this);
	if (!guard.enter("ShaderSpirv::get_declaration()", id)) return String();
	int32_t op = type.get_opcode();
	if (is_array_opcode(op)) {
		Iterator element = type;
		element = get_element_type(element);
		if (element.is_end() || is_array_opcode(element.get_opcode())) {
			log_error("ShaderSpirv::get_declaration(): unknown opcode %u\n", static_cast<uint32_t>(op));
			return String();
		}
		StringStack<64> ret(get_declaration(element[1], record));
		ret.append(get_array_suffix(type[1]));
		return String(static_cast<StringStack<64> &&>(ret));
	}
	if (op == OpTypeStruct) {
		uint32_t structure = type[1];
		const Record &own = records[id];
		const String &name = records[structure].name;
		if (own.storage == StorageFunction || own.storage == StorageWorkgroup) {
			StringStack<64> ret(get_storage(id, record));
			ret.append(name);
			ret.append(' ');
			ret.append(record->name);
			ret.append(get_semantic(id, record));
			return String(static_cast<StringStack<64> &&>(ret));
		}
		bool same = record->name == own.name;
		auto body_class = [](uint32_t storage) { return storage == StorageUniform || storage == StorageStorageBuffer || storage == StorageInput || storage == StorageOutput; };
		bool interface = body_class(own.storage) || body_class(record->storage);
		// A structure that `globals` declares (one that is no block) has its
		// body there, declared with its own record; its variables and their
		// arrays only name it, whatever their storage class. A block has its
		// body where a variable of it is declared.
		const Map<uint32_t, uint32_t> &decorations = records[structure].decorations;
		bool block = decorations.find(DecorationBlock) || decorations.find(DecorationBufferBlock);
		bool itself = id == structure && record == &records[structure];
		if (itself || (block && (same || interface))) {
			StringStack<64> ret(get_storage(structure, record));
			if (same && !interface) ret.append("struct ");
			ret.append(name);
			ret.append(get_semantic(structure, record));
			ret.append(" {\n");
			uint32_t count = (structure < members.size()) ? members[structure].size() : 0;
			for (uint32_t k = 0; k < count && k + 2 < type.get_size(); k++) {
				String member = get_declaration(type[k + 2], &members[structure][k]);
				if (member.empty()) continue;
				ret.append('\t');
				ret.append(member);
				ret.append(";\n");
			}
			ret.append('}');
			if (!record->name.empty() && record->name != name) {
				ret.append(' ');
				ret.append(record->name);
			}
			return String(static_cast<StringStack<64> &&>(ret));
		}
	}
	if (is_type_opcode(op)) {
		StringStack<64> ret(get_storage(id, record));
		ret.append(get_type(id, record));
		ret.append(' ');
		ret.append(record->name);
		ret.append(get_semantic(id, record));
		return String(static_cast<StringStack<64> &&>(ret));
	}
	log_error("ShaderSpirv::get_declaration(): unknown opcode %u\n", static_cast<uint32_t>(op));
	return String();
}

String ShaderSpirv::get_globals() {
	StringStack<64> ret;
	const Array<uint32_t> *lists[] = {&globals, &resources, &inputs, &outputs, &payloads, &shared};
	for (const Array<uint32_t> *list : lists) {
		for (uint32_t i = 0; i < list->size(); i++) {
			uint32_t id = (*list)[i];
			// `globals` holds the structure types among the Private variables
			bool structure = list == &globals && find_target(id).get_opcode() == OpTypeStruct;
			String declaration = structure ? get_structure_declaration(id) : get_variable_declaration(id);
			if (declaration.empty()) continue;
			ret.append(declaration);
			ret.append(";\n");
		}
	}
	return String(static_cast<StringStack<64> &&>(ret));
}

String ShaderSpirv::get_structure_declaration(uint32_t structure) {
	return get_declaration(structure, nullptr);
}

String ShaderSpirv::get_variable_declaration(uint32_t variable) {
	String declaration = get_declaration(variable, nullptr);
	const uint32_t *value = initializers.get(variable);
	if (declaration.empty() || value == nullptr || !is_initialized_in_declaration(variable)) return declaration;
	StringStack<64> ret(declaration);
	ret.append(" = ");
	ret.append(get_initializer(*value));
	return String(static_cast<StringStack<64> &&>(ret));
}

bool ShaderSpirv::is_initialized_in_declaration(uint32_t variable) {
	// built-ins are not declared by the listing
	if (variable >= records.size() || get_target_builtin(variable) >= 0) return false;
	uint32_t storage = records[variable].storage;
	return storage == StoragePrivate || storage == StorageWorkgroup;
}

String ShaderSpirv::get_entry_initializers(uint32_t indent) {
	StringStack<64> ret;
	auto append_line = [&](const String &target, const String &value) {
		for (uint32_t i = 0; i < indent; i++) ret.append('\t');
		ret.append(target);
		ret.append(" = ");
		ret.append(value);
		ret.append(";\n");
	};
	for (auto entry = initializers.begin(); entry != initializers.end(); ++entry) {
		uint32_t variable = entry->key;
		uint32_t value = entry->value;
		if (is_initialized_in_declaration(variable)) continue;
		String target = get_value(variable, false);
		if (!target.empty()) {
			append_line(target, get_initializer(value));
			continue;
		}
		// a block without an instance name: its members stand alone, each
		// given its part of the value
		Iterator type = get_target_type(variable);
		Iterator it = get_target(value);
		int32_t op = it.get_opcode();
		uint32_t structure = type[1];
		if (type.get_opcode() != OpTypeStruct || structure >= members.size() ||
			(op != OpConstantNull && op != OpConstantComposite && op != OpSpecConstantComposite)) {
			log_error("ShaderSpirv::get_entry_initializers(): unknown initializer of %u\n", variable);
			continue;
		}
		for (uint32_t k = 0; k < members[structure].size() && k + 2 < type.get_size(); k++) {
			if (op == OpConstantNull) append_line(members[structure][k].name, get_null_value(type[k + 2]));
			else if (k + 3 < it.get_size()) append_line(members[structure][k].name, get_initializer(it[k + 3]));
		}
	}
	return String(static_cast<StringStack<64> &&>(ret));
}

String ShaderSpirv::get_initializer(uint32_t value) {
	Iterator it = get_target(value);
	if (it.is_end()) return String();
	DepthGuard guard(*this);
	if (!guard.enter("ShaderSpirv::get_initializer()", value)) return String();
	// a constant that stands for a built-in (the work group size) reads as it
	if (value < records.size() && records[value].decorations.find(DecorationBuiltIn)) return records[value].name;
	auto is_initializer_only = [&](uint32_t id) {
		int32_t op = find_target(id).get_opcode();
		return op == OpConstantNull || op == OpSpecConstantTrue || op == OpSpecConstantFalse || op == OpSpecConstant ||
			op == OpSpecConstantComposite || (id < records.size() && records[id].decorations.find(DecorationBuiltIn));
	};
	switch (it.get_opcode()) {
		case OpConstantNull:
			return get_null_value(it[1]);
		case OpSpecConstantTrue:
			return String("true");
		case OpSpecConstantFalse:
			return String("false");
		case OpSpecConstant:
			// the default value: the listing declares no specialisation constants
			return get_constant(it);
		case OpConstantComposite:
		case OpSpecConstantComposite: {
			bool plain = it.get_opcode() == OpConstantComposite;
			for (uint32_t k = 3; plain && k < it.get_size(); k++) plain = !is_initializer_only(it[k]);
			if (plain) break;
			StringStack<64> ret(get_type(it[1], nullptr));
			ret.append(get_array_suffix(it[1]));
			ret.append('(');
			for (uint32_t k = 3; k < it.get_size(); k++) {
				if (k > 3) ret.append(", ");
				ret.append(get_initializer(it[k]));
			}
			ret.append(')');
			return String(static_cast<StringStack<64> &&>(ret));
		}
	}
	return get_value(value, false);
}

String ShaderSpirv::get_null_value(uint32_t type_id) {
	Iterator type = get_target_type(type_id);
	if (type.is_end()) return String();
	DepthGuard guard(*this);
	if (!guard.enter("ShaderSpirv::get_null_value()", type_id)) return String();
	// the longest text of one null value; its length counts as work as well
	constexpr uint32_t MaxNullText = 1u << 16;
	int32_t op = type.get_opcode();
	StringStack<64> ret;
	switch (op) {
		case OpTypeBool:
			return String("false");
		case OpTypeInt:
			if (type[2] == 64) return String(type[3] ? "0l" : "0ul");
			return String(type[3] ? "0" : "0u");
		case OpTypeFloat:
			return get_float_constant(type[1], type[2], 0);
		case OpTypeVector:
		case OpTypeMatrix: {
			// one zero for every component, which is all zero for a matrix too
			Iterator scalar = get_target_base_type(type[1]);
			if (scalar.is_end()) return String();
			ret.append(get_type(type[1], nullptr));
			ret.append('(');
			ret.append(get_null_value(scalar[1]));
			ret.append(')');
			return String(static_cast<StringStack<64> &&>(ret));
		}
		case OpTypeArray: {
			Iterator length = find_target(type[3]);
			Iterator length_type = get_target_type(type[3]);
			if (length.get_opcode() != OpConstant || length_type.get_opcode() != OpTypeInt ||
				(length_type[2] == 64 && length[4] != 0)) {
				log_error("ShaderSpirv::get_null_value(): unknown array length %u\n", type[3]);
				return String();
			}
			uint32_t count = length[3];
			String element = get_null_value(type[2]);
			if (element.empty()) return String();
			if (static_cast<uint64_t>(count) * (element.size() + 2) > MaxNullText) {
				log_error("ShaderSpirv::get_null_value(): unknown size of %u elements\n", count);
				return String();
			}
			ret.append(get_type(type[1], nullptr));
			ret.append(get_array_suffix(type[1]));
			ret.append('(');
			for (uint32_t i = 0; i < count; i++) {
				if (i) ret.append(", ");
				ret.append(element);
			}
			ret.append(')');
			break;
		}
		case OpTypeStruct: {
			ret.append(get_type(type[1], nullptr));
			ret.append('(');
			for (uint32_t k = 2; k < type.get_size(); k++) {
				if (k > 2) ret.append(", ");
				String member = get_null_value(type[k]);
				if (member.empty()) return String();
				ret.append(member);
				if (ret.size() > MaxNullText) {
					log_error("ShaderSpirv::get_null_value(): unknown size of structure %s\n", records[type[1]].name.get());
					return String();
				}
			}
			ret.append(')');
			break;
		}
		default:
			log_error("ShaderSpirv::get_null_value(): unknown type opcode %u\n", static_cast<uint32_t>(op));
			return String();
	}
	render_work += ret.size();
	return String(static_cast<StringStack<64> &&>(ret));
}

void ShaderSpirv::get_read_parameters(const Iterator &function, Set<uint32_t> &read) const {
	// anything but a plain store into it (a load, an access chain, an atomic,
	// a call, the source of a memory copy) may read what the caller passed in
	Set<uint32_t> pointers;
	for (Iterator it = function; !it.is_end() && it.get_size() != 0; it = it.advance(it.get_size())) {
		render_steps++;
		int32_t op = it.get_opcode();
		if (op == OpLabel || op == OpFunctionEnd) break;
		if (op == OpFunctionParameter && find_target(it[1]).get_opcode() == OpTypePointer) pointers.insert(it[2]);
	}
	if (pointers.size() == 0) return;
	for (Iterator it = function; !it.is_end() && it.get_size() != 0; it = it.advance(it.get_size())) {
		int32_t op = it.get_opcode();
		if (op == OpFunctionEnd) break;
		if (op == OpFunctionParameter) continue;
		uint32_t first = (op == OpStore || op == OpCopyMemory) ? 2 : 1;
		for (uint32_t k = first; k < it.get_size(); k++) {
			render_steps++;
			if (pointers.find(it[k])) read.insert(it[k]);
		}
	}
}

String ShaderSpirv::get_function_prefix(uint32_t function) {
	return get_storage(function, nullptr);
}

String ShaderSpirv::get_parameter_declaration(uint32_t parameter, uint32_t type, bool pointer, bool read) {
	StringStack<64> ret;
	if (pointer) ret.append(read ? "inout " : "out ");
	ret.append(get_type(type, nullptr));
	ret.append(' ');
	ret.append(records[parameter].name);
	if (get_target_type(parameter).get_opcode() == OpTypeArray) ret.append(get_array_suffix(parameter));
	return String(static_cast<StringStack<64> &&>(ret));
}

String ShaderSpirv::get_functions() {
	StringStack<64> ret;
	for (uint32_t i = 0; i < functions.size(); i++) {
		uint32_t function = functions[i];
		Iterator start = find_target(function);
		if (start.get_opcode() != OpFunction) {
			get_target(function);
			log_internal_error("ShaderSpirv::get_functions()", "function %u is no OpFunction\n", function);
			continue;
		}
		bool body = false;
		Set<uint32_t> read;
		get_read_parameters(start, read);
		for (Iterator it = start; !it.is_end() && it.get_size() != 0; it = it.advance(it.get_size())) {
			int32_t op = it.get_opcode();
			if (op == OpFunction) {
				if (find_target(it[1]).get_opcode() == OpTypePointer) {
					log_error("ShaderSpirv::get_functions(): unknown pointer result of %s\n", records[function].name.get());
				}
				ret.append(get_function_prefix(function));
				ret.append(get_type(it[1], nullptr));
				if (is_array_opcode(find_target(it[1]).get_opcode())) ret.append(get_array_suffix(it[1]));
				ret.append(' ');
				ret.append(records[function].name);
				ret.append('(');
			} else if (op == OpFunctionParameter) {
				if (ret.fromBack(0) != '(') ret.append(", ");
				uint32_t parameter = it[2];
				bool pointer = get_target(it[1]).get_opcode() == OpTypePointer;
				ret.append(get_parameter_declaration(parameter, it[1], pointer, read.find(parameter) != nullptr));
			} else if (op == OpLabel) {
				ret.append(')');
				ret.append(get_semantic(function, nullptr));
				ret.append(" {\n");
				// the initial values that no declaration holds come first
				if (function == entry_id) ret.append(get_entry_initializers(1));
				Pending pending;
				ret.append(get_block(it[1], 1, pending, nullptr));
				ret.append("}\n");
				body = true;
				break;
			} else if (op == OpFunctionEnd) {
				break;
			}
		}
		// a declaration without a body has no text in a listing
		if (!body) log_error("ShaderSpirv::get_functions(): unknown function %s\n", records[function].name.get());
	}
	return String(static_cast<StringStack<64> &&>(ret));
}

} // namespace Vexa
