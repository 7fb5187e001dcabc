// Global declarations: one pass over the text of a shader's (or a built-in's)
// global scope that turns qualifiers, layouts, variables, constants and
// function prototypes into records and types. Function bodies are only
// located here; they are compiled once every declaration is known.
#include "shader/compiler/CompilerDeclarations.h"
#include "shader/compiler/CompilerBits.h"

#include "core/Error.h"
#include "core/Parser.h"
#include "shader/ShaderSpirvNumbers.h"

#include <cmath>

namespace Vexa {

using CompilerBits::skip_spaces;
using CompilerBits::starts_name;

namespace Declarations {

String get_type_word(const State &state, const String &word) {
	const Compiler &compiler = state.compiler;
	if (state.internal) {
		if (compiler.internal_types.get(word) != nullptr) return word;
	} else if (const String *internal = compiler.glsl_types.get(word)) {
		return *internal;
	}
	if (compiler.global_scope.structures.get(word) != nullptr) return word;
	return String();
}

uint32_t get_interface_length(const Compiler &compiler, const String &name, uint32_t storage, bool per_primitive) {
	if (storage != Spirv::StorageInput && storage != Spirv::StorageOutput) return 0;
	auto mode = [&](uint32_t key) {
		const uint32_t *value = compiler.execution_modes.get(key);
		return value != nullptr ? *value : ~0u;
	};
	uint32_t ret = ~0u;
	const uint32_t model = compiler.execution_model;
	if ((model == Spirv::ModelTessellationControl || model == Spirv::ModelTessellationEvaluation) && storage == Spirv::StorageInput) {
		ret = 32; // gl_MaxPatchVertices
	} else if (model == Spirv::ModelTessellationControl) {
		ret = mode(26); // OutputVertices
	} else if (model == Spirv::ModelGeometry && storage == Spirv::StorageInput) {
		static const uint32_t inputs[][2] = {{19, 1}, {20, 2}, {22, 3}, {21, 4}, {23, 6}};
		for (const auto &input : inputs) {
			if (compiler.execution_modes.get(input[0]) != nullptr) {
				ret = input[1];
				break;
			}
		}
	} else if (model == Spirv::ModelMesh && storage == Spirv::StorageOutput) {
		ret = mode(per_primitive ? 5270u : 26u); // OutputPrimitivesEXT or OutputVertices
	}
	if (ret == ~0u || ret == 0) throwError("\"%s\" array has no size\n", name.get());
	return ret;
}

namespace {

// resource types that live in the UniformConstant class
bool is_opaque_type(const String &type) {
	static const char *const prefixes[] = {"image", "iimage", "uimage", "i64image", "u64image", "texture", "itexture",
		"utexture", "sampler", "isampler", "usampler", "acceleration"};
	for (const char *prefix : prefixes) {
		if (type.startsWith(prefix)) return true;
	}
	return false;
}

// the text of an initialiser: up to the next ',' or ';' outside brackets
String read_initializer(const char *&s) {
	const char *start = s;
	int32_t depth = 0;
	while (*s) {
		char c = *s;
		if (c == '/' && (s[1] == '/' || s[1] == '*')) {
			s += Parser::skipComment(s);
			continue;
		}
		if (c == '(' || c == '[' || c == '{') depth++;
		else if (c == ')' || c == ']' || c == '}') {
			if (--depth < 0) break;
		} else if ((c == ',' || c == ';') && depth == 0) {
			break;
		}
		s++;
	}
	return String(start, uint32_t(s - start));
}

// a layout list: keys with optional constant values, comma-separated
void parse_layout(State &state, const String &list) {
	Compiler &compiler = state.compiler;
	const char *s = skip_spaces(list.get());
	if (*s == '\0') throwError("invalid layout qualifiers\n");
	for (;;) {
		String key;
		s += Parser::readName(s, key);
		key = key.tolower();
		s = skip_spaces(s);
		uint32_t value = ~0u;
		if (*s == '=') {
			s++;
			String text = read_initializer(s);
			Value result;
			compiler.parse_constant_expression(result, text.get(), &compiler.global_scope, false);
			if ((result.flags & (Compiler::TypeUint | Compiler::TypeInt)) == 0 || (result.flags & Compiler::TypeFloat)) {
				throwError("invalid %s layout value \"%s\"\n", key.get(), text.get());
			}
			value = uint32_t(result.get_u64(0));
		}

		if (const uint32_t *mode = compiler.fragment_qualifiers.get(key); mode != nullptr && compiler.execution_model == Spirv::ModelFragment) {
			if (compiler.execution_modes.get(*mode) != nullptr) throwError("too many %s qualifiers\n", key.get());
			// Vulkan's fragment coordinates have their origin at the upper left and pixel centres at halves
			if (key == "origin_lower_left" || key == "pixel_center_integer") throwError("%s qualifier is not valid for Vulkan\n", key.get());
			compiler.execution_modes.insert(*mode, ~0u);
		} else if (const uint32_t *decoration = compiler.layout_qualifiers.get(key)) {
			if (state.decorations.get(*decoration) != nullptr) throwError("too many %s qualifiers\n", key.get());
			// the majorities and the vendor flags take no value, every other key one
			bool flag = (*decoration == Spirv::DecorationRowMajor || *decoration == Spirv::DecorationColMajor || *decoration == Spirv::DecorationPassthrough ||
				*decoration == Spirv::DecorationViewportRelative);
			if (flag && value != ~0u) throwError("\"%s\" layout qualifier takes no value\n", key.get());
			if (!flag && value == ~0u) throwError("\"%s\" layout qualifier needs a value\n", key.get());
			state.decorations.insert(*decoration, value);
		} else if (const uint32_t *format = compiler.image_formats.get(key)) {
			if (state.bits & QualifierFormat) throwError("too many format qualifiers\n");
			state.format = *format;
			state.bits |= QualifierFormat;
		} else if (key == "push_constant") {
			state.storage = Spirv::StoragePushConstant;
		} else if (key == "std140" || key == "std430") {
			state.packing = (key == "std140") ? 140 : 430;
		} else {
			throwError("unknown layout qualifier \"%s\"\n", key.get());
		}

		s = skip_spaces(s);
		if (*s == '\0') break;
		if (*s != ',') throwError("invalid layout qualifiers\n");
		s = skip_spaces(s + 1);
		if (*s == '\0') throwError("invalid layout qualifiers\n");
	}
	state.bits |= QualifierLayout;
}

bool is_image_type(const String &type) {
	return type.startsWith("image") || type.startsWith("iimage") || type.startsWith("uimage") || type.startsWith("i64image") ||
		type.startsWith("u64image");
}

// The stages a storage qualifier is declared in: execution models, ended by ~0u
void check_storage_stage(const State &state, const String &word, uint32_t storage) {
	static const uint32_t stages[][8] = {
		{1, 0, 1, 2, 3, 4, ~0u},		  // in: the graphics stages
		{3, 0, 1, 2, 3, 4, 5365, ~0u},	  // out: those and mesh shaders
		{4, 5, 5364, 5365, ~0u},		  // shared: the work group stages
		{5338, 5313, 5316, 5317, ~0u},	  // rayPayloadEXT: the stages that trace rays
		{5342, 5315, 5316, 5317, ~0u},	  // rayPayloadInEXT: the hit and miss stages
		{5339, 5314, 5315, 5316, ~0u},	  // hitAttributeEXT: the stages of a hit
		{5328, 5313, 5316, 5317, 5318, ~0u}, // callableDataEXT: the stages that call
		{5329, 5318, ~0u},				  // callableDataInEXT: callable shaders
		{5402, 5364, 5365, ~0u},		  // taskPayloadSharedEXT: task and mesh shaders
	};
	if (state.internal) return;
	for (const auto &row : stages) {
		if (row[0] != storage) continue;
		for (uint32_t i = 1; i < 8 && row[i] != ~0u; i++) {
			if (row[i] == state.compiler.execution_model) return;
		}
		throwError("%s qualifier is not valid in this stage\n", word.get());
	}
}

// whether a type is bool or a structure with a bool inside (each structure
// looked at once, in `seen`)
bool holds_bool(const Compiler &compiler, const String &type, Set<uint32_t> &seen) {
	if (const uint32_t *index = compiler.global_scope.structures.get(type)) {
		if (seen.find(*index)) return false;
		seen.insert(*index);
		const Compiler::Structure &structure = compiler.structures[*index];
		for (uint32_t i = 0; i < structure.members.size(); i++) {
			if (holds_bool(compiler, compiler.variables[structure.members[i]].type, seen)) return true;
		}
		return false;
	}
	try {
		return (Compiler::get_type_flags(type) & Compiler::TypeKindMask) == Compiler::TypeBool;
	} catch (const String &) {
		return false;
	}
}

// what Vulkan asks of the qualifiers of a variable or a member (in the
// storage class of its block), checked where it is declared
// The inputs of tessellation and geometry shaders and the outputs of
// tessellation control and mesh shaders hold a value for each vertex: they
// are arrays as long as the stage's vertex count (patch values aside).
void check_per_vertex(State &state, const Compiler::Variable &variable, uint32_t storage) {
	Compiler &compiler = state.compiler;
	const uint32_t model = compiler.execution_model;
	if (state.internal || variable.decorations.get(Spirv::DecorationBuiltIn) != nullptr || variable.decorations.get(Spirv::DecorationPatch) != nullptr) return;
	bool per_vertex = (storage == Spirv::StorageInput && (model == Spirv::ModelTessellationControl || model == Spirv::ModelTessellationEvaluation || model == Spirv::ModelGeometry)) || (storage == Spirv::StorageOutput && (model == Spirv::ModelTessellationControl || model == Spirv::ModelMesh));
	if (!per_vertex) return;
	const String &name = variable.name.empty() ? variable.type : variable.name;
	if (variable.length == ~0u) throwError("\"%s\" must be an array in this stage\n", name.get());
	// mesh outputs may be shorter than the most the shader writes
	if (model == Spirv::ModelMesh) return;
	uint32_t expected = 0;
	try {
		expected = get_interface_length(compiler, variable.name, storage, variable.decorations.get(Spirv::DecorationPerPrimitive) != nullptr);
	} catch (const String &) {
		return; // the count is not declared yet
	}
	if (variable.length != expected) {
		throwError("\"%s\" array size %u is not %u, the vertex count of this stage\n", name.get(), variable.length, expected);
	}
}

// A redeclared built-in block (gl_PerVertex): built-in members only, each of
// its own type, in a stage that has it, and no location.
void check_builtin_block(State &state, uint32_t index) {
	Compiler &compiler = state.compiler;
	const uint32_t model = compiler.execution_model;
	const Compiler::Structure &block = compiler.structures[index];
	uint32_t builtins = 0;
	for (uint32_t i = 0; i < block.members.size(); i++) builtins += compiler.variables[block.members[i]].decorations.get(Spirv::DecorationBuiltIn) != nullptr;
	if (state.internal || builtins == 0) return;
	if (builtins != block.members.size()) throwError("\"%s\" block mixes built-in and other members\n", block.name.get());
	if (block.variable != ~0u && compiler.variables[block.variable].decorations.get(Spirv::DecorationLocation) != nullptr) {
		throwError("\"%s\" built-in block can't have a location\n", block.name.get());
	}
	const uint32_t storage = block.storage;
	for (uint32_t i = 0; i < block.members.size(); i++) {
		const Compiler::Variable &member = compiler.variables[block.members[i]];
		const String &name = member.name;
		bool position = name == "gl_Position" || name == "gl_PointSize";
		bool distance = name == "gl_ClipDistance" || name == "gl_CullDistance";
		if (!position && !distance) continue;
		// the type of each
		bool typed = name == "gl_Position" ? (member.type == "f32v4" && member.length == ~0u)
			: name == "gl_PointSize" ? (member.type == "f32" && member.length == ~0u)
			: (member.type == "f32" && member.length != ~0u && member.length >= 1 && member.length <= 8);
		if (!typed) throwError("\"%s\" built-in has another type\n", name.get());
		// vertex shaders take none of them in, fragment shaders give none
		// out and have no position
		if ((model == Spirv::ModelVertex && storage == Spirv::StorageInput) || (model == Spirv::ModelFragment && (storage == Spirv::StorageOutput || position)) || model == Spirv::ModelGLCompute || model == Spirv::ModelTask ||
			(model >= Spirv::ModelRayGeneration && model <= Spirv::ModelCallable) || (model == Spirv::ModelMesh && storage == Spirv::StorageInput)) {
			throwError("\"%s\" built-in is not valid in this stage\n", name.get());
		}
	}
}

void check_interface(State &state, const Compiler::Variable &variable, uint32_t storage, bool member) {
	Compiler &compiler = state.compiler;
	const uint32_t model = compiler.execution_model;
	const char *name = variable.name.get();
	auto has = [&](uint32_t decoration) { return variable.decorations.get(decoration) != nullptr; };
	bool io = (storage == Spirv::StorageInput || storage == Spirv::StorageOutput);
	if (!member && has(Spirv::DecorationInvariant) && storage != Spirv::StorageOutput) {
		throwError("invariant qualifier of \"%s\" is valid only for outputs\n", name);
	}
	if (!state.internal) {
		if (has(Spirv::DecorationPatch) && !((model == Spirv::ModelTessellationControl && storage == Spirv::StorageOutput) || (model == Spirv::ModelTessellationEvaluation && storage == Spirv::StorageInput))) {
			throwError("patch qualifier of \"%s\" is valid only for tessellation control outputs and evaluation inputs\n", name);
		}
		static const std::pair<uint32_t, const char *> interpolations[] = {
			{Spirv::DecorationNoPerspective, "noperspective"}, {Spirv::DecorationFlat, "flat"}, {Spirv::DecorationCentroid, "centroid"}, {Spirv::DecorationSample, "sample"}};
		// sample shading is a capability of its own
		if (has(Spirv::DecorationSample)) compiler.capabilities.insert(Spirv::CapabilitySampleRateShading);
		for (const auto &interpolation : interpolations) {
			if (!has(interpolation.first)) continue;
			if (!io || (model == Spirv::ModelVertex && storage == Spirv::StorageInput) || (model == Spirv::ModelFragment && storage == Spirv::StorageOutput)) {
				throwError("%s qualifier of \"%s\" is valid only for inputs and outputs between stages\n", interpolation.second, name);
			}
		}
		if (has(Spirv::DecorationPerPrimitive)) {
			if (!((model == Spirv::ModelMesh && storage == Spirv::StorageOutput) || (model == Spirv::ModelFragment && storage == Spirv::StorageInput))) {
				throwError("perprimitiveEXT qualifier of \"%s\" is valid only for mesh outputs and fragment inputs\n", name);
			}
			compiler.capabilities.insert(Spirv::CapabilityMeshShading);
		}
		if (has(Spirv::DecorationIndex) && (member || model != Spirv::ModelFragment || storage != Spirv::StorageOutput)) {
			throwError("index layout qualifier of \"%s\" is valid only for fragment outputs\n", name);
		}
		// the classes that take locations: inputs, outputs and the data of rays and calls
		bool located = io || storage == Spirv::StorageRayPayload || storage == Spirv::StorageIncomingRayPayload || storage == Spirv::StorageCallableData || storage == Spirv::StorageIncomingCallableData;
		if ((has(Spirv::DecorationLocation) || has(Spirv::DecorationComponent)) && !located) {
			throwError("location layout qualifier of \"%s\" is valid only for inputs and outputs\n", name);
		}
		bool resource = (storage == Spirv::StorageUniformConstant || storage == Spirv::StorageUniform || storage == Spirv::StorageStorageBuffer);
		if ((has(Spirv::DecorationBinding) || has(Spirv::DecorationDescriptorSet)) && (member || !resource)) {
			throwError("binding and set layout qualifiers of \"%s\" are valid only for uniforms and buffers\n", name);
		}
		bool buffer_member = member && (storage == Spirv::StorageUniform || storage == Spirv::StorageStorageBuffer || storage == Spirv::StoragePushConstant);
		if ((has(Spirv::DecorationOffset) || has(Spirv::DecorationAlignment)) && !buffer_member) {
			throwError("offset and align layout qualifiers of \"%s\" are valid only for members of buffer blocks\n", name);
		}
		if (has(Spirv::DecorationSpecId) && !has(Spirv::DecorationConstant)) throwError("constant_id layout qualifier of \"%s\" needs a const\n", name);
		if (has(Spirv::DecorationXfbBuffer) || has(Spirv::DecorationXfbStride)) throwError("transform feedback layouts of \"%s\" are not supported\n", name);
		if (has(Spirv::DecorationStream)) {
			if (model != Spirv::ModelGeometry || storage != Spirv::StorageOutput) throwError("stream layout qualifier of \"%s\" is valid only for geometry outputs\n", name);
			compiler.capabilities.insert(Spirv::CapabilityGeometryStreams);
		}
		static const uint32_t memory[] = {Spirv::DecorationRestrict, Spirv::DecorationVolatile, Spirv::DecorationCoherent, Spirv::DecorationNonWritable, Spirv::DecorationNonReadable};
		for (uint32_t decoration : memory) {
			if (has(decoration) && storage != Spirv::StorageStorageBuffer && !(storage == Spirv::StorageUniformConstant && is_image_type(variable.type))) {
				throwError("memory qualifiers of \"%s\" are valid only for buffers and images\n", name);
			}
		}
	}
	// memory the host or other stages see has no bool: GLSL's bools there
	// would be 32-bit integers, which this compiler does not make
	bool external = io || (member && (storage == Spirv::StorageUniform || storage == Spirv::StorageStorageBuffer || storage == Spirv::StoragePushConstant));
	// the built-in blocks hold their bools as SPIR-V wants them
	bool builtin_block = false;
	if (const uint32_t *index = compiler.global_scope.structures.get(variable.type)) {
		const Compiler::Structure &structure = compiler.structures[*index];
		builtin_block = structure.members.size() > 0 && compiler.variables[structure.members[0]].decorations.get(Spirv::DecorationBuiltIn) != nullptr;
	}
	if (external && !has(Spirv::DecorationBuiltIn) && !builtin_block) {
		Set<uint32_t> seen;
		if (holds_bool(compiler, variable.type, seen)) {
			throwError("\"%s\" can't be or hold a bool in inputs, outputs, uniform, buffer or push constant blocks\n", name);
		}
	}
	if (!io || compiler.global_scope.structures.get(variable.type) != nullptr) return;
	uint32_t flags = 0;
	try {
		flags = Compiler::get_type_flags(variable.type);
	} catch (const String &) {
		return;
	}
	bool flat_only = (flags & (Compiler::TypeUint | Compiler::TypeInt | Compiler::Type64)) != 0;
	if (model == Spirv::ModelFragment && storage == Spirv::StorageInput && flat_only && !has(Spirv::DecorationFlat) && !has(Spirv::DecorationBuiltIn)) {
		throwError("\"%s\" fragment input must be flat\n", name);
	}
	// a component and the ones after it stay within one location
	if (const uint32_t *component = variable.decorations.get(Spirv::DecorationComponent)) {
		uint32_t width = (flags & Compiler::Type64) ? 2 : 1;
		uint32_t count = Compiler::get_vector_size(flags) * width;
		if ((flags & Compiler::TypeMatrixMask) || (flags & Compiler::TypeKindMask) == 0 || *component > 3 || *component % width ||
			*component + count > 4) {
			throwError("component %u of \"%s\" doesn't fit in its location\n", *component, name);
		}
	}
}

// the type of a variable, made now so that its declaration words come
// before any code that uses it
void make_variable_type(State &state, Compiler::Variable &variable) {
	Compiler &compiler = state.compiler;
	uint32_t type = ~0u;
	if ((state.bits & QualifierFormat) && variable.type.startsWith("image")) {
		compiler.add_image_type(variable.type, state.format);
		// the formatted image is known by its own name from here on
		variable.type = String::format("%s_format_%u", variable.type.get(), state.format);
		state.bits &= ~QualifierFormat;
		state.format = ~0u;
	}
	type = compiler.add_type(variable.type, variable.length, &compiler.global_scope);
	compiler.add_target(variable.id, type, variable.length);
	if (variable.decorations.get(Spirv::DecorationRowMajor) != nullptr) {
		if (Compiler::Target *target = compiler.targets.get(variable.id)) target->flags |= Compiler::TypeRowMajor;
	}
}

// whether an expression's text names a specialization constant, whose value
// the pipeline gives
bool names_specialization_constant(Compiler &compiler, const String &text, Compiler::Scope *scope) {
	for (const char *t = text.get(); *t;) {
		if (!starts_name(*t) || (t > text.get() && (starts_name(t[-1]) || (t[-1] >= '0' && t[-1] <= '9') || t[-1] == '.'))) {
			t++;
			continue;
		}
		String name;
		t += Parser::readName(t, name);
		uint32_t index = compiler.find_variable(name, scope);
		if (index == ~0u) continue;
		const Compiler::Variable &variable = compiler.variables[index];
		if (variable.decorations.get(Spirv::DecorationConstant) != nullptr && variable.value.empty() && variable.initializer != ~0u &&
			compiler.constants.get(variable.initializer) == nullptr) {
			return true;
		}
	}
	return false;
}

// A named constant has the type it was declared with, whatever its
// initialiser's type: the value converted to that kind (one component fills a
// vector or matrix), integers cut to that width.
Value convert_constant(const Compiler::Variable &variable, const Value &value) {
	uint32_t flags = 0;
	try {
		flags = Compiler::get_type_flags(variable.type);
	} catch (const String &) {
		return value;
	}
	if ((flags & Compiler::TypeKindMask) == 0 || (value.flags & Compiler::TypeKindMask) == 0) return value;
	flags &= ~uint32_t(Compiler::TypeRuntimeArray);
	// an array is initialised by an array of its own element type
	const uint32_t shape = Compiler::TypeKindMask | Compiler::TypeWidthMask | Compiler::TypeVectorMask | Compiler::TypeMatrixMask;
	if (variable.length != ~0u && (!(value.flags & Compiler::TypeRuntimeArray) || (value.flags & shape) != (flags & shape))) {
		throwError("can't initialize \"%s\" constant\n", variable.name.get());
	}
	uint32_t components = Compiler::get_type_components(flags);
	if (components == 0) components = 1;

	Value ret(flags, 0);
	bool fits = ret.append(value);
	if (fits && variable.length == ~0u && ret.count == 1 && components > 1) ret = ret.splat(components);
	uint64_t count = (variable.length == ~0u) ? components : uint64_t(components) * variable.length;
	// an array without a size takes its length from the initialiser, which
	// must be an array
	if (variable.length == 0) count = (ret.count % components == 0) ? ret.count : 0;
	if (!fits || count == 0 || ret.count != count) throwError("can't initialize \"%s\" constant\n", variable.name.get());

	if ((flags & (Compiler::TypeUint | Compiler::TypeInt)) && (flags & Compiler::Type64) == 0) {
		uint32_t width = (flags & Compiler::Type16) ? 16 : 32;
		uint64_t mask = (1ull << width) - 1;
		for (uint32_t i = 0; i < ret.count; i++) {
			uint64_t bits = ret.components[i] & mask;
			if ((flags & Compiler::TypeInt) && (bits >> (width - 1)) != 0) bits |= ~mask;
			ret.components[i] = bits;
		}
	}
	if (variable.length != ~0u) ret.flags |= Compiler::TypeRuntimeArray;
	return ret;
}

// the initialiser of a module-level variable: a constant expression
void parse_initializer(State &state, Compiler::Variable &variable) {
	Compiler &compiler = state.compiler;
	state.s = skip_spaces(state.s);
	if (*state.s == ';') throwError("unexpected ';'\n");
	if (*state.s == '{') throwError("initializer lists are not supported\n");
	const char *start = state.s;
	String text = read_initializer(state.s);
	Value value;
	bool constant = variable.decorations.get(Spirv::DecorationConstant) != nullptr;
	if (constant && compiler.global_scope.structures.get(variable.type) != nullptr) {
		throwError("constant structures are not supported: \"%s\"\n", variable.type.get());
	}
	if (constant) {
		// what the constant evaluator does not read (swizzles, elements,
		// comparisons, built-in calls) is compiled as a local constant's
		// initialiser would be, and must fold
		try {
			compiler.parse_constant_expression(value, text.get(), &compiler.global_scope, false);
		} catch (const String &) {
			String type = variable.type;
			if (variable.length != ~0u && variable.length != 0) type.append(String::format("[%u]", variable.length));
			// what does not fold keeps the evaluator's own message
			if (!compiler.fold_expression(value, text.get(), variable.length == 0 ? String() : type, &compiler.global_scope)) {
				if (names_specialization_constant(compiler, text, &compiler.global_scope)) {
					throwError("constants computed from specialization constants are not supported: \"%s\"\n", variable.name.get());
				}
				throw;
			}
		}
	} else {
		// a value computed at run time is stored when the entry point starts
		bool folded = compiler.global_scope.structures.get(variable.type) == nullptr;
		if (folded) {
			try {
				compiler.parse_constant_expression(value, text.get(), &compiler.global_scope, false);
			} catch (const String &) {
				folded = false;
			}
		}
		if (!folded) {
			if (variable.storage != Spirv::StoragePrivate) throwError("can't initialize \"%s\" variable\n", variable.name.get());
			compiler.initializers.append(Compiler::Initializer{variable.index, uint32_t(start - state.text), text});
			return;
		}
	}
	if (constant) {
		Value converted = convert_constant(variable, value);
		if (variable.length == 0) {
			// an array without a size takes the length of its initialiser
			uint32_t components = Compiler::get_type_components(converted.flags & ~uint32_t(Compiler::TypeRuntimeArray));
			variable.length = converted.count / (components != 0 ? components : 1);
			make_variable_type(state, variable);
		}
		if (const uint32_t *spec = variable.decorations.get(Spirv::DecorationSpecId)) {
			// a value the pipeline may replace: read at run time, never folded
			if (variable.length != ~0u) throwError("can't specialize \"%s\" array\n", variable.name.get());
			variable.initializer = compiler.add_spec_constant(variable.type, converted, *spec);
			variable.decorations.remove(Spirv::DecorationSpecId);
			return;
		}
		// a value no literal writes (an infinity, a NaN) is held by its constant
		bool finite = true;
		for (uint32_t i = 0; i < converted.count; i++) finite = finite && (!(converted.flags & Compiler::TypeFloat) || std::isfinite(converted.get_f64(i)));
		if (!finite) {
			if (variable.length != ~0u) throwError("constant arrays holding an infinity or a NaN are not supported: \"%s\"\n", variable.name.get());
			variable.initializer = compiler.add_constant(variable.type, converted);
			return;
		}
		variable.value = compiler.get_constant_string(converted, true);
		return;
	}
	// a variable starts with its value; only private variables can
	if (variable.storage != Spirv::StoragePrivate) throwError("can't initialize \"%s\" variable\n", variable.name.get());
	if (variable.type.empty() || compiler.global_scope.structures.get(variable.type) != nullptr) {
		throwError("can't initialize \"%s\" variable\n", variable.name.get());
	}
	String type = variable.type;
	if (variable.length != ~0u) type.append(String::format("[%u]", variable.length));
	variable.initializer = compiler.add_constant(type, value);
}

// the ')' of a prototype: the function type, then its body or ';'
void end_prototype(State &state) {
	Compiler &compiler = state.compiler;
	Compiler::Function *function = &compiler.functions[state.function];

	// an earlier declaration of the same signature is continued
	if (const uint32_t *earlier = compiler.function_signatures.get(function->name + function->arguments)) {
		Compiler::Function &previous = compiler.functions[*earlier];
		if (previous.return_type != function->return_type) {
			throwError("invalid %s%s) function type\n", function->name.get(), function->arguments.get());
		}
		state.s = skip_spaces(state.s);
		bool body = (*state.s == '{');
		if (previous.body != nullptr && body) {
			throwError("body of %s%s) function is already declared\n", function->name.get(), function->arguments.get());
		}
		// the definition's parameter names are the ones its body uses
		Compiler::Function &kept = *function;
		Array<Compiler::Parameter> &drop = body ? previous.parameters : kept.parameters;
		for (uint32_t i = 0; i < drop.size(); i++) compiler.variables[drop[i].variable].dropped = true;
		if (body) {
			previous.parameters = kept.parameters;
			previous.scope.variables = kept.scope.variables;
			for (uint32_t i = 0; i < previous.parameters.size(); i++) {
				compiler.variables[previous.parameters[i].variable].function = *earlier;
			}
		}
		previous.control |= kept.control;
		// the new record goes: it is the last one, and nothing refers to it yet
		compiler.records.remove(kept.id);
		if (Array<uint32_t> *list = compiler.function_names.get(kept.name)) list->remove(list->size() - 1);
		compiler.functions.pop();
		function = &previous;
	}

	// the function type, by return type and argument text
	String key = function->return_type + function->arguments;
	if (const uint32_t *type = compiler.types.get(key)) {
		function->function_type = *type;
	} else {
		uint32_t return_type = compiler.add_type(function->return_type, ~0u, &compiler.global_scope);
		Array<uint32_t> parameter_types;
		for (uint32_t i = 0; i < function->parameters.size(); i++) {
			const Compiler::Variable &parameter = compiler.variables[function->parameters[i].variable];
			uint32_t type = compiler.get_target_type(parameter.id);
			if (parameter.parameter == ~0u) type = compiler.add_pointer_type(type, parameter.length, parameter.storage);
			parameter_types.append(type);
		}
		uint32_t id = compiler.next_id++;
		compiler.add_module_opcode(Spirv::OpTypeFunction, {id, return_type}, parameter_types);
		compiler.types.insert(key, id);
		compiler.set_target(id, id, Compiler::TypeFunction);
		function->function_type = id;
	}

	state.s = skip_spaces(state.s);
	if (*state.s == '{') {
		function->body = state.s + 1;
		String body;
		state.s += Parser::readRegion(state.s, body, '{', '}');
		if (state.s[-1] != '}') throwError("unterminated body of %s%s) function\n", function->name.get(), function->arguments.get());
	} else if (*state.s == ';') {
		state.s++;
	} else {
		throwError("expecting ';' or '{'\n");
	}
	state.bits &= ~QualifierFunction;
	state.function = ~0u;
}

// a declaration whose type word was read: variables, members, parameters,
// or a function prototype
void parse_declaration(State &state, const String &type) {
	Compiler &compiler = state.compiler;
	bool parameter_list = (state.bits & QualifierFunction) != 0;
	bool member = (state.bits & QualifierStructure) != 0;

	uint32_t type_length = compiler.parse_array_length(&state.s, &compiler.global_scope);
	state.s = skip_spaces(state.s);

	// a parameter of a prototype may have no name
	String name;
	if (!(parameter_list && (*state.s == ',' || *state.s == ')'))) {
		state.s += Parser::readName(state.s, name);
		state.s = skip_spaces(state.s);
	}

	if (*state.s == '(') {
		if (parameter_list || member || type_length != ~0u) throwError("unexpected \"%s\"\n", name.get());
		compiler.check_qualifiers(state.bits & ~(QualifierPrecision | QualifierFunctionControl));
		uint32_t index = compiler.add_function(name, type, state.control, compiler.global_scope);
		state.control = 0;
		state.bits &= ~(QualifierPrecision | QualifierFunctionControl);
		state.decorations.clear();
		state.bits |= QualifierFunction;
		state.function = index;
		state.s++;
		return;
	}

	uint32_t storage = Spirv::StoragePrivate;
	Compiler::Scope *scope = &compiler.global_scope;
	if (parameter_list) {
		storage = Spirv::StorageFunction;
		scope = &compiler.functions[state.function].scope;
	} else if (member) {
		storage = compiler.structures[state.structure].storage;
		scope = &compiler.structures[state.structure].scope;
	} else if (state.storage != ~0u) {
		storage = state.storage;
	}
	if (storage == Spirv::StorageUniform && is_opaque_type(type)) storage = Spirv::StorageUniformConstant;
	// images, samplers and acceleration structures live only among the
	// resources: a parameter of such a type is the resource's pointer
	bool resource_parameter = parameter_list && is_opaque_type(type);
	if (resource_parameter) {
		if (state.out_parameter) throwError("\"%s\" parameter of %s type can't be an output\n", name.get(), type.get());
		storage = Spirv::StorageUniformConstant;
	}
	// uniforms other than resources, buffers and push constants live in blocks
	if (!parameter_list && !member && !state.internal && (storage == Spirv::StorageUniform || storage == Spirv::StorageStorageBuffer || storage == Spirv::StoragePushConstant)) {
		throwError("\"%s\" must be a member of a block\n", name.get());
	}

	for (;;) {
		uint32_t length = type_length;
		uint32_t name_length = compiler.parse_array_length(&state.s, &compiler.global_scope);
		if (*skip_spaces(state.s) == '[') throwError("arrays of arrays are not supported: \"%s\"\n", name.get());
		if (name_length != ~0u) {
			if (length != ~0u) throwError("arrays of arrays are not supported: \"%s\"\n", name.get());
			length = name_length;
		}

		if (length == 0 && !member && !parameter_list && storage == Spirv::StorageUniformConstant) {
			// resources in an array whose size the pipeline layout gives
			compiler.capabilities.insert(Spirv::CapabilityRuntimeDescriptorArray);
		} else if (length == 0 && !member && !parameter_list) {
			length = get_interface_length(compiler, name, storage, state.decorations.get(Spirv::DecorationPerPrimitive) != nullptr);
			// a constant takes its length from its initialiser
			if (length == 0 && state.decorations.get(Spirv::DecorationConstant) == nullptr) throwError("\"%s\" array has no size\n", name.get());
		}
		// a runtime array ends a buffer block, and nothing else
		if (length == 0 && member && storage != Spirv::StorageStorageBuffer) throwError("\"%s\" array has no size\n", name.get());
		// a parameter is copied in and out: it needs its size
		if (length == 0 && parameter_list) throwError("\"%s\" array has no size\n", name.get());
		// a ray query is an object of its own, that no copy can stand for
		if (parameter_list && (type == "rayQuery" || type == "ray_query")) throwError("\"%s\" parameter: ray queries can't be passed to functions\n", name.get());
		uint32_t index = compiler.add_variable(name, type, length, storage, *scope);
		Compiler::Variable &variable = compiler.variables[index];
		// members hold bools as 32-bit integers, which any storage can lay
		// out; uses convert them back
		bool builtin_name = compiler.builtin_variables.get(name) != nullptr;
		if (member && !builtin_name && (variable.type == "b32" || variable.type.startsWith("b32v"))) {
			variable.type = String("u") + variable.type.substr(1);
			variable.held_bool = true;
		}
		for (auto it = state.decorations.begin(); it; ++it) variable.decorations.insert(it->key, it->value);
		if (const uint32_t *builtin = compiler.builtin_variables.get(name); builtin != nullptr && *builtin != ~0u && !parameter_list) {
			// built-ins are inputs and outputs (or members of their blocks)
			uint32_t place = member ? compiler.structures[state.structure].storage : storage;
			if (place != Spirv::StorageInput && place != Spirv::StorageOutput) throwError("\"%s\" built-in can't be declared here\n", name.get());
			variable.decorations.insert(Spirv::DecorationBuiltIn, *builtin);
			compiler.add_builtin_capability(*builtin);
			// integer fragment inputs are flat, built-in ones too
			bool flat = false;
			try {
				flat = (Compiler::get_type_flags(variable.type) & (Compiler::TypeUint | Compiler::TypeInt | Compiler::Type64)) != 0;
			} catch (const String &) {
			}
			if (flat && compiler.execution_model == Spirv::ModelFragment && storage == Spirv::StorageInput && !member && variable.decorations.get(Spirv::DecorationFlat) == nullptr) {
				variable.decorations.insert(Spirv::DecorationFlat, ~0u);
			}
		}
		// decorations that need capabilities
		if (variable.decorations.get(Spirv::DecorationSample) != nullptr) compiler.capabilities.insert(Spirv::CapabilitySampleRateShading);
		if (variable.decorations.get(Spirv::DecorationPerPrimitive) != nullptr) compiler.capabilities.insert(Spirv::CapabilityMeshShading);
		check_interface(state, variable, member ? compiler.structures[state.structure].storage : storage, member);
		if (!member) check_per_vertex(state, variable, storage);
		// resources with a binding and no set are in set 0, as blocks are
		if (!member && !parameter_list && (storage == Spirv::StorageUniformConstant || storage == Spirv::StorageUniform || storage == Spirv::StorageStorageBuffer) &&
			variable.decorations.get(Spirv::DecorationDescriptorSet) == nullptr) {
			variable.decorations.insert(Spirv::DecorationDescriptorSet, 0);
		}
		if (member) {
			variable.structure = state.structure;
			compiler.structures[state.structure].members.append(index);
		}

		state.s = skip_spaces(state.s);
		if (parameter_list) {
			Compiler::Function &function = compiler.functions[state.function];
			if (state.out_parameter) function.arguments.append('&');
			// a depth-compare sampler is a sampler: calls name it so
			function.arguments.append(variable.type == "samplerShadow" ? String("sampler") : variable.type);
			if (length != ~0u) function.arguments.append(String::format("[%u];", length));
			else function.arguments.append(';');
			if (!state.out_parameter && !resource_parameter) variable.parameter = function.parameters.size();
			variable.function = state.function;
			variable.used = true;
			function.parameters.append(Compiler::Parameter{index, ~0u});
			state.out_parameter = false;
			state.bits &= ~(QualifierInout | QualifierPrecision);
			state.decorations.clear();
			make_variable_type(state, variable);
			return;
		}

		if (*state.s == '=') {
			state.s++;
			if (member) throwError("can't initialize \"%s\" member\n", name.get());
			// a constant array without a size has its type once its initialiser gives the length
			if (length != 0) make_variable_type(state, variable);
			// the name is known from the end of its initialiser on
			scope->variables.remove(name);
			parse_initializer(state, variable);
			scope->variables.insert(name, index);
		} else {
			if (variable.decorations.get(Spirv::DecorationConstant) != nullptr) throwError("constants must be initialized\n");
			make_variable_type(state, variable);
		}

		state.s = skip_spaces(state.s);
		if (*state.s != ',') break;
		state.s = skip_spaces(state.s + 1);
		state.s += Parser::readName(state.s, name);
	}

	if (*state.s != ';') throwError("expecting ';'\n");
	state.s++;
	if (state.decorations.get(Spirv::DecorationPassthrough) != nullptr) compiler.capabilities.insert(Spirv::CapabilityGeometryShaderPassthrough);
	if (state.decorations.get(Spirv::DecorationViewportRelative) != nullptr) compiler.capabilities.insert(Spirv::CapabilityShaderViewportMask);
	compiler.check_qualifiers(state.bits & (QualifierInout | QualifierFormat | QualifierFunctionControl));
	state.reset_qualifiers();
}

// "struct Name {...}" redeclared, or a built-in block named again: the
// braces, an instance name and the qualifiers go
void skip_redeclaration(State &state) {
	String braces;
	state.s += Parser::readRegion(state.s, braces, '{', '}');
	state.s = skip_spaces(state.s);
	if (starts_name(*state.s)) {
		String name;
		state.s += Parser::readName(state.s, name);
		state.s = skip_spaces(state.s);
		if (*state.s == '[') state.s += Parser::readRegion(state.s, braces, '[', ']');
	}
	state.reset_qualifiers();
}

void parse_word(State &state, const String &word) {
	Compiler &compiler = state.compiler;
	bool parameter_list = (state.bits & QualifierFunction) != 0;

	if (word == "precision") {
		state.s += Parser::skipLine(state.s);
		return;
	}
	if (word == "precise") throwError("precise qualifier is not supported\n");
	if (parameter_list && word == "const") return;
	if (parameter_list && (word == "in" || word == "out" || word == "inout")) {
		if (state.bits & QualifierInout) throwError("too many inout qualifiers\n");
		if (word != "in") state.out_parameter = true;
		state.bits |= QualifierInout;
		return;
	}
	if (!parameter_list) {
		if (const uint32_t *storage = compiler.storage_qualifiers.get(word)) {
			if (state.bits & QualifierStorage) throwError("too many storage qualifiers\n");
			check_storage_stage(state, word, *storage);
			if (state.storage == ~0u) state.storage = *storage;
			const uint32_t *block = compiler.block_qualifiers.get(word);
			state.block = block != nullptr ? *block : ~0u;
			state.bits |= QualifierStorage;
			return;
		}
	}
	if (word == "lowp" || word == "mediump" || word == "highp") {
		if (state.bits & QualifierPrecision) throwError("too many precision qualifiers\n");
		if (word != "highp") state.decorations.insert(Spirv::DecorationRelaxedPrecision, ~0u);
		state.bits |= QualifierPrecision;
		return;
	}
	if (!parameter_list) {
		if (const uint32_t *decoration = compiler.decoration_qualifiers.get(word)) {
			if (state.decorations.get(*decoration) != nullptr) throwError("too many %s qualifiers\n", word.get());
			state.decorations.insert(*decoration, ~0u);
			state.bits |= QualifierDecoration;
			return;
		}
	}
	// smooth is the interpolation inputs and outputs have without a qualifier
	if (word == "smooth" && !parameter_list) return;
	if (word == "inline") {
		if (state.bits & QualifierFunctionControl) throwError("too many function control qualifiers\n");
		state.control |= 1;
		state.bits |= QualifierFunctionControl;
		return;
	}
	if (word == "layout" && !parameter_list) {
		String list;
		state.s += Parser::readRegion(state.s, list, '(', ')');
		// "layout(...) in;" and "layout(...) out;" were applied before
		const char *s = skip_spaces(state.s);
		if (starts_name(*s)) {
			String next;
			const char *after = s + Parser::readName(s, next);
			after = skip_spaces(after);
			if ((next == "in" || next == "out") && *after == ';') {
				state.s = after + 1;
				return;
			}
		}
		parse_layout(state, list);
		return;
	}

	String type = get_type_word(state, word);
	if (word == "struct" || (type.empty() && *state.s == '{')) {
		String name = word;
		// a block says where it lives
		if (word != "struct" && !(state.bits & QualifierStorage)) throwError("\"%s\" block has no storage qualifier\n", word.get());
		if (word == "struct") {
			state.s += Parser::readName(state.s, name);
			state.s = skip_spaces(state.s);
		}
		if (*state.s != '{') throwError("unexpected \"%s\"\n", name.get());
		begin_structure(state, name);
		return;
	}
	if (!type.empty() && *state.s == '{') {
		// an input and an output block may share their name (gl_PerVertex
		// in and out): the second one is a structure of its own
		const uint32_t *existing = compiler.global_scope.structures.get(word);
		if (existing != nullptr && word != "struct" && (state.bits & QualifierStorage) &&
			(state.storage == Spirv::StorageInput || state.storage == Spirv::StorageOutput) &&
			compiler.structures[*existing].storage != state.storage) {
			begin_structure(state, word + (state.storage == Spirv::StorageInput ? "In" : "Out"));
			return;
		}
		skip_redeclaration(state);
		return;
	}
	if (parameter_list && word == "void") {
		if (*state.s != ')') throwError("expecting '%c'\n", ')');
		if (compiler.functions[state.function].parameters.size() != 0) throwError("unexpected \"%s\"\n", word.get());
		return;
	}
	if (!type.empty()) {
		parse_declaration(state, type);
		return;
	}
	// one-dimensional images have no type here
	for (const char *prefix : {"sampler1D", "isampler1D", "usampler1D", "image1D", "iimage1D", "uimage1D", "texture1D", "itexture1D", "utexture1D"}) {
		if (word.startsWith(prefix)) throwError("\"%s\" one-dimensional images are not supported\n", word.get());
	}
	// "invariant gl_Position;": an output declared before, or a built-in
	// one, made invariant
	if (!parameter_list && (*state.s == ';' || *state.s == ',') && state.decorations.get(Spirv::DecorationInvariant) != nullptr &&
		state.decorations.size() == 1 && !(state.bits & (QualifierStorage | QualifierLayout | QualifierPrecision)) && !(state.bits & QualifierStructure)) {
		String name = word;
		for (;;) {
			uint32_t index = compiler.find_variable(name, &compiler.global_scope);
			if (index == ~0u) throwError("unknown variable \"%s\"\n", name.get());
			Compiler::Variable &variable = compiler.variables[index];
			uint32_t storage = variable.structure != ~0u ? compiler.structures[variable.structure].storage : variable.storage;
			if (storage != Spirv::StorageOutput) throwError("invariant qualifier of \"%s\" is valid only for outputs\n", name.get());
			if (variable.decorations.get(Spirv::DecorationInvariant) == nullptr) variable.decorations.insert(Spirv::DecorationInvariant, ~0u);
			state.s = skip_spaces(state.s);
			if (*state.s != ',') break;
			state.s = skip_spaces(state.s + 1);
			name.clear();
			state.s += Parser::readName(state.s, name);
			if (name.empty()) throwError("expecting a name\n");
		}
		if (*state.s != ';') throwError("expecting ';'\n");
		state.s++;
		state.reset_qualifiers();
		return;
	}
	throwError("unexpected \"%s\"\n", word.get());
}

} // namespace

} // namespace Declarations

using namespace Declarations;

uint32_t Compiler::parse_array_length(const char **cursor, Scope *scope) {
	const char *s = skip_spaces(*cursor);
	if (*s != '[') return ~0u;
	String text;
	s += Parser::readRegion(s, text, '[', ']');
	*cursor = skip_spaces(s);
	if (*skip_spaces(text.get()) == '\0') return 0;
	Value value;
	try {
		parse_constant_expression(value, text.get(), scope, false);
	} catch (const String &) {
		// a specialization constant gives no length the module could be laid out by
		if (names_specialization_constant(*this, text, scope)) throwError("arrays sized by specialization constants are not supported: \"%s\"\n", text.get());
		// what the constant evaluator does not read, as an expression
		bool folded = false;
		try {
			folded = fold_expression(value, text.get(), String(), scope);
		} catch (const String &) {
		}
		if (!folded) throw;
	}
	if ((value.flags & (TypeUint | TypeInt)) == 0 || (value.flags & TypeFloat) || value.count != 1) {
		throwError("invalid array length \"%s\"\n", text.get());
	}
	// a length is positive and leaves room for the byte size of the array
	int64_t length = value.get_i64(0);
	if ((value.flags & TypeUint) && value.get_u64(0) > 0x7fffffffull) length = -1;
	if (length <= 0 || length > 0x7fffffff) throwError("invalid array length \"%s\"\n", text.get());
	return uint32_t(length);
}

void Compiler::parse_declarations(const char *text, uint32_t *error_offset, bool internal) {
	DepthGuard guard(*this);
	State state(*this, text, error_offset, internal);

	for (;;) {
		*error_offset = uint32_t(state.s - text);
		state.s = skip_spaces(state.s);
		char c = *state.s;
		if (c == '\0') break;
		if (Parser::isComment(state.s)) {
			state.s += Parser::skipComment(state.s);
			continue;
		}
		bool parameter_list = (state.bits & QualifierFunction) != 0;
		if (c == '#') {
			String word;
			state.s++;
			state.s += Parser::readName(state.s, word);
			if (word != "version" && word != "extension") throwError("unknown preprocessor directive %s\n", word.get());
			state.s += Parser::skipLine(state.s);
			continue;
		}
		if (c == ';' && !parameter_list) {
			check_qualifiers(state.bits & (QualifierInout | QualifierLayout | QualifierFormat | QualifierStorage | QualifierDecoration | QualifierFunctionControl));
			state.s++;
			continue;
		}
		if (c == ',' && parameter_list) {
			check_qualifiers(state.bits & 0x3fu);
			state.s++;
			continue;
		}
		if (c == ')' && parameter_list) {
			check_qualifiers(state.bits & 0x3fu);
			state.s++;
			end_prototype(state);
			continue;
		}
		if (c == '}' && (state.bits & QualifierStructure)) {
			state.s++;
			uint32_t index = state.structure;
			end_structure(state);
			// the qualifiers of a block are those of its instance
			uint32_t instance = structures[index].variable;
			check_builtin_block(state, index);
			if (instance != ~0u) {
				check_interface(state, variables[instance], variables[instance].storage, false);
				check_per_vertex(state, variables[instance], variables[instance].storage);
			}
			continue;
		}
		String word;
		state.s += Parser::readName(state.s, word);
		state.s = skip_spaces(state.s);
		parse_word(state, word);
	}
	check_qualifiers(state.bits);
}

} // namespace Vexa
