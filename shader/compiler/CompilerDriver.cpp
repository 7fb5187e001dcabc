// The compiler's one entry: the phases of a compilation in order (reset,
// name tables, stage, a prologue scan for #version, #extension and the
// stage-wide layouts, global declarations, function bodies, the interface
// check, module assembly), with the errors of each stretch caught, logged
// and turned into false.
#include "shader/compiler/Compiler.h"
#include "shader/compiler/CompilerBits.h"

#include "core/Error.h"
#include "core/Log.h"
#include "core/Parser.h"
#include "core/Sort.h"
#include "shader/ShaderSpirvNumbers.h"
#include "shader/ShaderTypes.h"

#include <cstring>

namespace Vexa {

using CompilerBits::skip_spaces;
using CompilerBits::starts_name;

namespace {

using Modes = Map<String, uint32_t>;

// The locations one element of an input or output takes: a column of a
// matrix each, two for 64-bit vectors of three or four components, the sum
// of the members for a structure (each structure counted once, in `counts`)
uint64_t count_locations(const Compiler &compiler, const Compiler::Variable &variable, Array<uint64_t> &counts) {
	if (const uint32_t *index = compiler.global_scope.structures.get(variable.type)) {
		if (counts[*index] != ~0ull) return counts[*index];
		// a structure can't hold itself: one being counted counts nothing
		counts[*index] = 0;
		const Compiler::Structure &structure = compiler.structures[*index];
		uint64_t ret = 0;
		for (uint32_t i = 0; i < structure.members.size(); i++) {
			const Compiler::Variable &member = compiler.variables[structure.members[i]];
			uint64_t count = count_locations(compiler, member, counts);
			if (member.length != ~0u && member.length != 0) count *= member.length;
			ret += count;
			if (ret > (uint64_t(1) << 40)) ret = uint64_t(1) << 40;
		}
		counts[*index] = ret;
		return ret;
	}
	uint32_t flags = compiler.get_target_flags(compiler.get_target_type(variable.id));
	uint64_t ret = Compiler::get_column_count(flags);
	if ((flags & Compiler::Type64) && Compiler::get_vector_size(flags) >= 3) ret *= 2;
	return ret;
}

// the execution model of a stage and its layout keywords of "in" and "out"
uint32_t set_up_stage(uint32_t type, Modes &in, Modes &out) {
	static const std::pair<const char *, uint32_t> tessellation[] = {
		{"equal_spacing", 1}, {"fractional_even_spacing", 2}, {"fractional_odd_spacing", 3}, {"triangles", 22},
		{"quads", 24}, {"isolines", 25}, {"cw", 4}, {"ccw", 5}, {"point_mode", 10},
	};
	switch (type) {
	case ShaderStage::Vertex: return Spirv::ModelVertex;
	case ShaderStage::Control:
	case ShaderStage::Evaluate:
		for (const auto &row : tessellation) in.insert(String(row.first), row.second);
		out.insert(String("vertices"), 26);
		return type == ShaderStage::Control ? Spirv::ModelTessellationControl : Spirv::ModelTessellationEvaluation;
	case ShaderStage::Geometry:
		for (const auto &row : std::initializer_list<std::pair<const char *, uint32_t>>{
				 {"invocations", 0}, {"points", 19}, {"lines", 20}, {"triangles", 22}, {"lines_adjacency", 21}, {"triangles_adjacency", 23}}) {
			in.insert(String(row.first), row.second);
		}
		for (const auto &row : std::initializer_list<std::pair<const char *, uint32_t>>{
				 {"points", 27}, {"line_strip", 28}, {"triangle_strip", 29}, {"max_vertices", 26}}) {
			out.insert(String(row.first), row.second);
		}
		return Spirv::ModelGeometry;
	case ShaderStage::Fragment:
		in.insert(String("early_fragment_tests"), 9);
		return Spirv::ModelFragment;
	case ShaderStage::Compute:
		in.insert(String("local_size_x"), Spirv::ExecutionModeLocalSize);
		in.insert(String("local_size_y"), Spirv::ExecutionModeLocalSize);
		in.insert(String("local_size_z"), Spirv::ExecutionModeLocalSize);
		return Spirv::ModelGLCompute;
	case ShaderStage::Task:
	case ShaderStage::Mesh:
		// task and mesh work groups take the three sizes of a compute one
		in.insert(String("local_size_x"), Spirv::ExecutionModeLocalSize);
		in.insert(String("local_size_y"), Spirv::ExecutionModeLocalSize);
		in.insert(String("local_size_z"), Spirv::ExecutionModeLocalSize);
		if (type == ShaderStage::Task) return Spirv::ModelTask;
		for (const auto &row : std::initializer_list<std::pair<const char *, uint32_t>>{
				 {"points", 27}, {"lines", 5269}, {"triangles", 5298}, {"max_vertices", 26}, {"max_primitives", 5270}}) {
			out.insert(String(row.first), row.second);
		}
		return Spirv::ModelMesh;
	case ShaderStage::RayGen: return Spirv::ModelRayGeneration;
	case ShaderStage::RayMiss: return Spirv::ModelMiss;
	case ShaderStage::Closest: return Spirv::ModelClosestHit;
	case ShaderStage::FirstHit: return Spirv::ModelAnyHit;
	case ShaderStage::Intersection: return Spirv::ModelIntersection;
	case ShaderStage::Callable: return Spirv::ModelCallable;
	default: return ~0u;
	}
}

// "layout(list) in;" or "out;": the stage-wide execution modes
void parse_execution_qualifiers(Compiler &compiler, const String &list, const Modes &modes) {
	const char *s = skip_spaces(list.get());
	if (*s == '\0') throwError("invalid layout qualifiers\n");
	for (;;) {
		String name;
		s += Parser::readName(s, name);
		s = skip_spaces(s);
		uint32_t value = ~0u;
		if (*s == '=') {
			s++;
			String text;
			s += Parser::readRegion(s, text, 0, ',');
			Value result;
			compiler.parse_constant_expression(result, text.get(), &compiler.global_scope, false);
			if ((result.flags & (Compiler::TypeUint | Compiler::TypeInt)) == 0 || (result.flags & Compiler::TypeFloat)) {
				throwError("invalid %s layout value \"%s\"\n", name.get(), text.get());
			}
			value = uint32_t(result.get_u64(0));
		}
		s = skip_spaces(s);
		if (*s == ',' && *skip_spaces(s + 1) == '\0') throwError("invalid layout qualifiers\n");

		const uint32_t *mode = modes.get(name);
		if (mode == nullptr) throwError("unknown execution qualifier \"%s\"\n", name.get());
		if (*mode == Spirv::ExecutionModeLocalSize) {
			// a work group of no invocations, or more than a size field holds, is no work group
			if (value == 0 || value == ~0u) throwError("invalid %s layout value\n", name.get());
			if (name == "local_size_x") compiler.group_size[0] = value;
			else if (name == "local_size_y") compiler.group_size[1] = value;
			else compiler.group_size[2] = value;
			if (compiler.group_size[2] == 0) compiler.group_size[2] = 1;
			if (compiler.execution_modes.get(Spirv::ExecutionModeLocalSize) == nullptr) compiler.execution_modes.insert(Spirv::ExecutionModeLocalSize, ~0u);
		} else {
			if (compiler.execution_modes.get(*mode) != nullptr) throwError("too many %s execution qualifiers\n", name.get());
			compiler.execution_modes.insert(*mode, value);
		}

		if (*s == '\0') break;
		if (*s != ',') throwError("invalid layout qualifiers\n");
		s = skip_spaces(s + 1);
	}
}

// #version, #extension and the stage-wide layouts; everything inside
// brackets (function bodies, blocks, parameter lists) is passed over
void scan_prologue(Compiler &compiler, const char *src, const Modes &in, const Modes &out, uint32_t &language, uint32_t &version,
	uint32_t *error_offset) {
	const char *s = src;
	String buffer;
	for (;;) {
		s = skip_spaces(s);
		char c = *s;
		if (c == '\0') break;
		if (Parser::isComment(s)) {
			s += Parser::skipComment(s);
			continue;
		}
		// an error points at the directive or statement being read
		if (c == '#') {
			*error_offset = uint32_t(s - src);
			s++;
			if (!starts_name(*skip_spaces(s))) continue;
			String word;
			s += Parser::readName(s, word);
			if (word == "version") {
				String line;
				s += Parser::readLine(s, line);
				if (version != 0) throwError("too many #version directives\n");
				const char *l = skip_spaces(line.get());
				uint32_t number = 0;
				while (*l >= '0' && *l <= '9') {
					if (number < 100000) number = number * 10 + uint32_t(*l - '0');
					l++;
				}
				l = skip_spaces(l);
				String profile;
				if (starts_name(*l)) Parser::readName(l, profile);
				if (profile.empty()) language = 0;
				else if (profile == "core") language = 2;
				else if (profile == "es") language = 1;
				else throwError("unknown #version profile \"%s\"\n", profile.get());
				version = number;
			} else if (word == "extension") {
				String line;
				s += Parser::readLine(s, line);
				const char *l = line.get();
				String name;
				String behaviour;
				l += Parser::readName(l, name);
				l += Parser::expectChar(l, ':');
				l += Parser::readName(l, behaviour);
				if (behaviour == "enable" || behaviour == "require") compiler.extensions.insert(name);
				else if (behaviour != "warn" && behaviour != "disable") throwError("unknown #extension qualifier \"%s\"\n", behaviour.get());
			}
			continue;
		}
		if (starts_name(c)) {
			String word;
			const char *start = s;
			s += Parser::readName(s, word);
			if (word != "layout" || *skip_spaces(s) != '(') continue;
			*error_offset = uint32_t(start - src);
			String list;
			s += Parser::readRegion(s, list, '(', ')');
			const char *after = skip_spaces(s);
			if (!starts_name(*after)) continue;
			String direction;
			after += Parser::readName(after, direction);
			after = skip_spaces(after);
			if (*after != ';' || (direction != "in" && direction != "out")) continue;
			parse_execution_qualifiers(compiler, list, direction == "in" ? in : out);
			s = after + 1;
			continue;
		}
		if (c == '(' || c == '{' || c == '[') {
			char close = (c == '(') ? ')' : (c == '{') ? '}' : ']';
			s += Parser::readRegion(s, buffer, c, close);
			continue;
		}
		if (c == '"' || c == '\'') {
			s += (c == '"') ? Parser::skipString(s) : Parser::skipSymbol(s);
			continue;
		}
		s++;
	}
}

} // namespace

const char *const *Compiler::get_extension_names(uint32_t *count) {
	static const char *const names[] = {
		"GL_ARB_gpu_shader_int64",
		"GL_ARB_shader_ballot",
		"GL_ARB_shader_draw_parameters",
		"GL_ARB_shader_group_vote",
		"GL_ARB_shader_viewport_layer_array",
		"GL_ARB_sparse_texture2",
		"GL_EXT_control_flow_attributes",
		"GL_EXT_device_group",
		"GL_EXT_fragment_shader_barycentric",
		"GL_EXT_mesh_shader",
		"GL_EXT_multiview",
		"GL_EXT_nonuniform_qualifier",
		"GL_EXT_ray_query",
		"GL_EXT_ray_tracing",
		"GL_EXT_shader_atomic_float",
		"GL_EXT_shader_explicit_arithmetic_types",
		"GL_EXT_shader_explicit_arithmetic_types_float16",
		"GL_EXT_shader_explicit_arithmetic_types_int16",
		"GL_EXT_shader_explicit_arithmetic_types_int64",
		"GL_EXT_shader_image_int64",
		"GL_EXT_shader_integer_mix",
		"GL_KHR_shader_subgroup_arithmetic",
		"GL_KHR_shader_subgroup_ballot",
		"GL_KHR_shader_subgroup_basic",
		"GL_KHR_shader_subgroup_clustered",
		"GL_KHR_shader_subgroup_quad",
		"GL_KHR_shader_subgroup_shuffle",
		"GL_KHR_shader_subgroup_shuffle_relative",
		"GL_KHR_shader_subgroup_vote",
		"GL_NV_geometry_shader_passthrough",
	};
	*count = uint32_t(sizeof(names) / sizeof(names[0]));
	return names;
}

bool Compiler::compileGLSL(uint32_t type, const char *src, const char *context, uint32_t *error_offset, uint32_t compile_flags) {
	// 1-4. a clean object, the name tables, the flags and room for the records
	reset();
	init_tables();
	flags = compile_flags;
	words.reserve(1024);
	variables.reserve(1024);
	structures.reserve(128);
	functions.reserve(128);

	// 5. the stage
	Modes in;
	Modes out;
	execution_model = set_up_stage(type, in, out);
	if (execution_model == ~0u) {
		Log::printf(Log::Error, "Compiler::compileGLSL(): unknown shader type %u\n", type);
		return false;
	}

	// 6-7. the prologue
	uint32_t language = 0;
	uint32_t version = 0;
	try {
		scan_prologue(*this, src, in, out, language, version, error_offset);
	} catch (const String &error) {
		Log::printf(Log::Error, "Compiler::compileGLSL(): %s", error.get());
		return false;
	}

	// 8-9. declarations, then the bodies: inline functions first, the others
	// from the last declared to the first
	try {
		parse_declarations(src, error_offset, false);
		auto parse_body = [&](uint32_t index) {
			Function &function = functions[index];
			if (function.body == nullptr) {
				// the stage uses its entry point as a call would
				bool entry = function.name == "main" && function.arguments == "(";
				if (function.used || entry) throwError("body of \"%s\" function is not declared\n", function.name.get());
				return;
			}
			// the entry point first stores what the module-level variables start with
			if (function.name == "main" && function.arguments == "(") {
				for (uint32_t i = 0; i < initializers.size(); i++) {
					const Initializer &initializer = initializers[i];
					*error_offset = initializer.offset;
					const Variable &variable = variables[initializer.variable];
					String type = variable.type;
					if (variable.length != ~0u) type.append(String::format("[%u]", variable.length));
					const char *text = initializer.text.get();
					// the variable's own name is not known in its initialiser
					const String name = variable.name;
					global_scope.variables.remove(name);
					uint32_t value = parse_expression(&text, type, function, &global_scope);
					global_scope.variables.insert(name, initializer.variable);
					uint32_t expected = get_target_type(variable.id);
					if (get_target_type(value) != expected) {
						throwError("can't assign %s to %s\n", get_target_type_name(value).get(), get_target_type_name(expected).get());
					}
					add_function_opcode(function, Spirv::OpStore, {variables[initializer.variable].id, value});
				}
			}
			*error_offset = uint32_t(function.body - src);
			copy_written_parameters(function);
			const char *cursor = function.body;
			parse_block(src, &cursor, error_offset, function, function.scope);
		};
		for (uint32_t i = 0; i < functions.size(); i++) {
			if (functions[i].control & 1) parse_body(i);
		}
		for (uint32_t i = functions.size(); i > 0; i--) {
			if ((functions[i - 1].control & 1) == 0) parse_body(i - 1);
		}
		*error_offset = ~0u;
		check_recursion();
	} catch (const String &error) {
		Log::printf(Log::Error, "Compiler::compileGLSL(): %s", error.get());
		return false;
	}

	// 10-11. checks and assembly
	try {
		check_variables();
		create_opcodes(language, version, context);
	} catch (const String &error) {
		*error_offset = ~0u;
		Log::printf(Log::Error, "Compiler::compileGLSL(): %s", error.get());
		return false;
	}
	return true;
}

void Compiler::check_variables() {
	// the locations each input and output takes, to find two in one place
	struct Slots {
		uint32_t storage;
		uint32_t index; // of a fragment output's dual source
		uint64_t first;
		uint64_t end;
		uint32_t variable;
	};
	Array<Slots> taken;
	Array<uint64_t> counts;
	counts.assign(structures.size(), ~0ull);
	for (uint32_t i = 0; i < variables.size(); i++) {
		const Variable &variable = variables[i];
		if (variable.structure != ~0u || variable.dropped || variable.function != ~0u || variable.parameter != ~0u) continue;
		const uint32_t *structure_index = global_scope.structures.get(variable.type);
		Structure *structure = structure_index != nullptr ? &structures[*structure_index] : nullptr;
		if (structure != nullptr) structure->used = true;
		const String &name = (variable.name.empty() && structure != nullptr) ? structure->name : variable.name;

		if (variable.decorations.get(Spirv::DecorationBuiltIn) != nullptr) continue;
		bool builtin_block = false;
		// a block declared per primitive passes that to its members, and is
		// per primitive as a whole
		bool per_primitive = variable.decorations.get(Spirv::DecorationPerPrimitive) != nullptr;
		if (structure != nullptr) {
			bool members = structure->members.size() != 0;
			for (uint32_t j = 0; j < structure->members.size(); j++) {
				const Variable &member = variables[structure->members[j]];
				if (member.decorations.get(Spirv::DecorationBuiltIn) != nullptr) builtin_block = true;
				if (member.decorations.get(Spirv::DecorationPerPrimitive) == nullptr) members = false;
			}
			per_primitive = per_primitive || members;
		}
		if (builtin_block) continue;

		if (variable.storage == Spirv::StorageInput || variable.storage == Spirv::StorageOutput) {
			const uint32_t *location = variable.decorations.get(Spirv::DecorationLocation);
			// a per-vertex array takes the locations of one element
			bool per_vertex = variable.decorations.get(Spirv::DecorationPatch) == nullptr &&
				((execution_model == Spirv::ModelTessellationControl) || (execution_model == Spirv::ModelTessellationEvaluation && variable.storage == Spirv::StorageInput) || (execution_model == Spirv::ModelGeometry && variable.storage == Spirv::StorageInput) ||
					(execution_model == Spirv::ModelMesh && variable.storage == Spirv::StorageOutput));
			uint64_t elements = (variable.length != ~0u && !per_vertex) ? variable.length : 1;
			const uint32_t *index = variable.decorations.get(Spirv::DecorationIndex);
			uint32_t dual = index != nullptr ? *index : 0;
			// a block without a location of its own has one on every member
			bool member_locations = structure != nullptr && structure->members.size() != 0;
			bool some_member_location = false;
			for (uint32_t j = 0; structure != nullptr && j < structure->members.size(); j++) {
				if (variables[structure->members[j]].decorations.get(Spirv::DecorationLocation) == nullptr) member_locations = false;
				else some_member_location = true;
			}
			// a block at a location with members at their own: the members
			// without one follow the member before them, from the block's
			if (location != nullptr && some_member_location) {
				uint64_t next = *location;
				for (uint32_t j = 0; j < structure->members.size(); j++) {
					Variable &member = variables[structure->members[j]];
					if (const uint32_t *own = member.decorations.get(Spirv::DecorationLocation)) next = *own;
					else member.decorations.insert(Spirv::DecorationLocation, uint32_t(next));
					next += count_locations(*this, member, counts) * (member.length != ~0u ? member.length : 1);
					if (next > 0xffffffffull) throwError("%s locations are out of range\n", name.get());
				}
				variables[i].decorations.remove(Spirv::DecorationLocation);
				location = nullptr;
				member_locations = true;
			}
			if (location == nullptr && !per_primitive && !member_locations) throwError("%s has no location\n", name.get());
			if (location != nullptr && variable.decorations.get(Spirv::DecorationComponent) == nullptr) {
				uint64_t slots = count_locations(*this, variable, counts) * elements;
				taken.append(Slots{variable.storage, dual, *location, *location + slots, i});
			} else if (location == nullptr && member_locations) {
				for (uint32_t j = 0; j < structure->members.size(); j++) {
					const Variable &member = variables[structure->members[j]];
					if (member.decorations.get(Spirv::DecorationComponent) != nullptr) continue;
					uint64_t slots = count_locations(*this, member, counts) * (member.length != ~0u ? member.length : 1) * elements;
					uint64_t first = *member.decorations.get(Spirv::DecorationLocation);
					taken.append(Slots{variable.storage, dual, first, first + slots, structure->members[j]});
				}
			}
		} else if (variable.storage == Spirv::StorageUniformConstant || variable.storage == Spirv::StorageUniform || variable.storage == Spirv::StorageStorageBuffer) {
			if (variable.decorations.get(Spirv::DecorationBinding) == nullptr) throwError("%s has no binding\n", name.get());
		}
	}
	quickSort(taken.get(), taken.size(), [](const Slots &a, const Slots &b) {
		if (a.storage != b.storage) return a.storage < b.storage;
		if (a.index != b.index) return a.index < b.index;
		return a.first < b.first;
	});
	for (uint32_t i = 1; i < taken.size(); i++) {
		const Slots &a = taken[i - 1];
		const Slots &b = taken[i];
		if (a.storage == b.storage && a.index == b.index && b.first < a.end) {
			throwError("%s location %u is taken by %s\n", variables[b.variable].name.get(), uint32_t(b.first), variables[a.variable].name.get());
		}
	}
}

} // namespace Vexa
