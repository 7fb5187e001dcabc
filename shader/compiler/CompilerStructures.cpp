// Structures and interface blocks: the record and its SPIR-V struct type, the
// byte offsets of the members of buffer blocks, the instance variable, and
// the members of an anonymous block made visible by their bare names.
#include "shader/compiler/CompilerDeclarations.h"

#include "core/Error.h"
#include "core/Parser.h"
#include "shader/ShaderSpirvNumbers.h"

namespace Vexa {

namespace Declarations {

void begin_structure(State &state, const String &name) {
	Compiler &compiler = state.compiler;
	if (state.decorations.get(Spirv::DecorationPerPrimitive) != nullptr) compiler.capabilities.insert(Spirv::CapabilityMeshShading);
	compiler.check_qualifiers(state.bits & (QualifierInout | QualifierFormat | QualifierFunctionControl | QualifierStructure | QualifierFunction));
	// uniform blocks are laid out by std140 rules, buffer and push constant blocks by either
	if (state.packing == 430 && state.storage != Spirv::StorageStorageBuffer && state.storage != Spirv::StoragePushConstant) {
		throwError("std430 layout of \"%s\" is valid only for buffer and push constant blocks\n", name.get());
	}
	// the type names the compiler spells types with are no names of structures
	if (!state.internal && compiler.internal_types.get(name) != nullptr) throwError("\"%s\" structure name is reserved\n", name.get());
	uint32_t index = compiler.add_structure(name, state.storage, compiler.global_scope);
	Compiler::Structure &structure = compiler.structures[index];
	structure.scope.parent = nullptr;
	structure.declaration = compiler.words.size();
	structure.declaration_size = ~0u;
	structure.packing = state.packing;
	if (state.block != ~0u) structure.decorations.insert(state.block, ~0u);
	for (auto it = state.decorations.begin(); it; ++it) structure.decorations.insert(it->key, it->value);
	state.reset_qualifiers();
	state.bits |= QualifierStructure;
	state.structure = index;
	state.s++; // '{'
}

namespace {

uint64_t round_up(uint64_t value, uint64_t alignment) {
	return (value + alignment - 1) / alignment * alignment;
}

// Where a member lies by the GLSL buffer rules (std430, or std140, which
// rounds the alignment of arrays and structures and the stride of arrays and
// matrix columns up to 16). The array strides are those the array types
// carry, so a layout that would need another stride is refused.
struct MemberLayout {
	uint64_t alignment = 0;
	uint64_t size = 0;
	uint32_t matrix_stride = 0;
};

MemberLayout member_layout(const Compiler &compiler, const Compiler::Variable &member, bool std140, bool row_major, uint64_t *stride_needed = nullptr) {
	MemberLayout ret;
	uint64_t natural_stride = 0;
	if (const uint32_t *index = compiler.global_scope.structures.get(member.type)) {
		const Compiler::Structure &structure = compiler.structures[*index];
		if (structure.size == ~0u) throwError("can't get size of \"%s\" structure\n", member.type.get());
		if (std140 && !structure.std140) throwError("can't lay out \"%s\" structure by std140 rules\n", member.type.get());
		ret.alignment = std140 ? round_up(structure.alignment, 16) : structure.alignment;
		ret.size = round_up(structure.size, ret.alignment);
		natural_stride = structure.size;
	} else {
		uint32_t flags = 0;
		try {
			flags = Compiler::get_type_flags(member.type);
		} catch (const String &) {
			throwError("can't lay out \"%s\" member of %s type\n", member.name.get(), member.type.get());
		}
		if ((flags & Compiler::TypeKindMask) == 0) throwError("can't lay out \"%s\" member of %s type\n", member.name.get(), member.type.get());
		uint64_t scalar = (flags & Compiler::Type16) ? 2 : (flags & Compiler::Type64) ? 8 : 4;
		uint32_t rows = Compiler::get_vector_size(flags);
		uint32_t columns = Compiler::get_column_count(flags);
		if (flags & Compiler::TypeMatrixMask) {
			// a matrix is an array of its columns, or of its rows when row-major
			uint32_t vector = row_major ? columns : rows;
			uint32_t count = row_major ? rows : columns;
			uint64_t stride = scalar * (vector >= 3 ? 4 : vector);
			if (std140) stride = round_up(stride, 16);
			ret.alignment = stride;
			ret.size = stride * count;
			ret.matrix_stride = uint32_t(stride);
		} else {
			ret.alignment = scalar * (rows >= 3 ? 4 : rows == 0 ? 1 : rows);
			ret.size = scalar * (rows == 0 ? 1 : rows);
		}
		natural_stride = Compiler::get_type_stride(flags);
	}
	if (member.length != ~0u) {
		uint64_t stride = round_up(ret.size, ret.alignment);
		if (std140) {
			stride = round_up(stride, 16);
			ret.alignment = round_up(ret.alignment, 16);
		}
		if (stride != natural_stride && stride_needed != nullptr) {
			// an array type of its own carries this stride
			*stride_needed = stride;
		} else if (stride != natural_stride) {
			throwError("can't lay out \"%s\" array by %s rules: its elements take %u bytes\n", member.name.get(), std140 ? "std140" : "std430",
				uint32_t(natural_stride));
		}
		ret.size = stride * member.length;
	}
	return ret;
}

// the offsets of the members by one set of rules: written to the members,
// or only compared with what they hold; false when a member lies elsewhere
bool lay_out(Compiler &compiler, Compiler::Structure &structure, bool std140, bool write, uint64_t &size, uint64_t &alignment) {
	uint64_t offset = 0;
	alignment = 1;
	for (uint32_t i = 0; i < structure.members.size(); i++) {
		Compiler::Variable &member = compiler.variables[structure.members[i]];
		if (member.decorations.get(Spirv::DecorationBuiltIn) != nullptr) continue;
		bool row_major = member.decorations.get(Spirv::DecorationRowMajor) != nullptr;
		uint64_t stride_needed = 0;
		MemberLayout layout = member_layout(compiler, member, std140, row_major, write ? &stride_needed : nullptr);
		if (stride_needed != 0) {
			Compiler::Target *target = compiler.targets.get(member.id);
			if (target == nullptr) throwError("can't get \"%s\" member type\n", member.name.get());
			uint32_t element = compiler.get_target_type(target->type);
			target->type = compiler.add_strided_array(element, member.length, uint32_t(stride_needed));
		}
		// an align qualifier raises the member's alignment, and is no decoration of its own
		if (const uint32_t *align = member.decorations.get(Spirv::DecorationAlignment)) {
			if (*align == 0 || (*align & (*align - 1)) != 0) throwError("invalid align %u of \"%s\" member\n", *align, member.name.get());
			if (*align > layout.alignment) layout.alignment = *align;
		}
		const uint32_t *explicit_offset = member.decorations.get(Spirv::DecorationOffset);
		uint64_t member_offset = round_up(offset, layout.alignment);
		if (explicit_offset != nullptr && *explicit_offset != ~0u && (write || member.offset == *explicit_offset)) {
			if (*explicit_offset < offset || *explicit_offset % layout.alignment) {
				throwError("invalid offset %u of \"%s\" member\n", *explicit_offset, member.name.get());
			}
			member_offset = *explicit_offset;
		}
		if (member.length == 0 && i + 1 != structure.members.size()) throwError("\"%s\" runtime array must be the last member\n", member.name.get());
		if (write) {
			member.decorations.remove(Spirv::DecorationAlignment);
			member.decorations.remove(Spirv::DecorationOffset);
			member.decorations.insert(Spirv::DecorationOffset, uint32_t(member_offset));
			if (layout.matrix_stride) {
				member.decorations.remove(Spirv::DecorationMatrixStride);
				member.decorations.insert(Spirv::DecorationMatrixStride, layout.matrix_stride);
			}
			member.offset = uint32_t(member_offset);
		} else if (member.offset != member_offset) {
			return false;
		} else if (layout.matrix_stride) {
			const uint32_t *stride = member.decorations.get(Spirv::DecorationMatrixStride);
			if (stride == nullptr || *stride != layout.matrix_stride) return false;
		}
		offset = member_offset + layout.size;
		if (layout.alignment > alignment) alignment = layout.alignment;
		if (offset > 0xffffffffull) throwError("\"%s\" structure is too large\n", structure.name.get());
	}
	if (std140) alignment = round_up(alignment, 16);
	size = round_up(offset, alignment);
	if (size > 0xffffffffull) throwError("\"%s\" structure is too large\n", structure.name.get());
	return true;
}

} // namespace

void end_structure(State &state) {
	Compiler &compiler = state.compiler;
	uint32_t index = state.structure;
	compiler.check_qualifiers(state.bits & ~(QualifierStructure | QualifierPrecision | QualifierLayout | QualifierStorage | QualifierDecoration));
	state.bits &= ~QualifierStructure;
	state.structure = ~0u;
	state.reset_qualifiers();

	// the instance name
	state.s = skip_spaces(state.s);
	String instance;
	bool named = false;
	if (*state.s != ';') {
		state.s += Parser::readName(state.s, instance);
		named = true;
	}

	// what the block's own decorations say of its members
	bool block = compiler.structures[index].decorations.get(Spirv::DecorationBlock) != nullptr;
	// matrices follow the block's majority unless they say their own
	bool block_row_major = compiler.structures[index].decorations.get(Spirv::DecorationRowMajor) != nullptr;
	bool per_primitive = compiler.structures[index].decorations.get(Spirv::DecorationPerPrimitive) != nullptr;

	// member layout: matrices get their majority, and the members of
	// everything but inputs and outputs their offsets
	Compiler::Structure &laid = compiler.structures[index];
	bool interface = (laid.storage == Spirv::StorageInput || laid.storage == Spirv::StorageOutput);
	for (uint32_t i = 0; i < laid.members.size(); i++) {
		Compiler::Variable &member = compiler.variables[laid.members[i]];
		uint32_t flags = compiler.get_target_flags(member.id);
		bool matrix = (flags & Compiler::TypeMatrixMask) != 0;
		if (matrix && !interface) {
			bool row_major = member.decorations.get(Spirv::DecorationRowMajor) != nullptr;
			if (!row_major && member.decorations.get(Spirv::DecorationColMajor) == nullptr) {
				row_major = block_row_major;
				member.decorations.insert(row_major ? Spirv::DecorationRowMajor : Spirv::DecorationColMajor, ~0u);
			}
			if (row_major) {
				if (Compiler::Target *target = compiler.targets.get(member.id)) target->flags |= Compiler::TypeRowMajor;
			}
		}
		if (per_primitive && member.decorations.get(Spirv::DecorationPerPrimitive) == nullptr) member.decorations.insert(Spirv::DecorationPerPrimitive, ~0u);
	}
	if (!interface) {
		// uniform blocks follow std140 unless they ask for std430; storage
		// and push constant blocks and plain structures std430
		bool std140 = (laid.storage == Spirv::StorageUniform && laid.packing != 430) || laid.packing == 140;
		uint64_t size = 0;
		uint64_t alignment = 0;
		lay_out(compiler, laid, std140, true, size, alignment);
		laid.size = uint32_t(size);
		laid.alignment = uint32_t(alignment);
		uint64_t size140 = 0;
		uint64_t alignment140 = 0;
		// whether it can stand in a std140 block as it is
		try {
			laid.std140 = std140 || lay_out(compiler, laid, true, false, size140, alignment140);
		} catch (const String &) {
			laid.std140 = false;
		}
	}
	if (laid.size == ~0u) laid.size = 0;

	// the struct type
	{
		Compiler::Structure &structure = compiler.structures[index];
		if (structure.members.size() == 0) throwError("\"%s\" structure has no members\n", structure.name.get());
		Array<uint32_t> member_types;
		for (uint32_t i = 0; i < structure.members.size(); i++) {
			const Compiler::Variable &member = compiler.variables[structure.members[i]];
			const Compiler::Target *target = compiler.targets.get(member.id);
			if (target == nullptr) throwError("can't get \"%s\" member type\n", member.name.get());
			member_types.append(target->type);
		}
		compiler.add_module_opcode(Spirv::OpTypeStruct, {structure.id}, member_types);
		compiler.types.insert(structure.name, structure.id);
		compiler.set_target(structure.id, structure.id, Compiler::TypeStructure | Compiler::TypeComposite);
		structure.declaration_size = compiler.words.size() - structure.declaration;
	}

	// the instance variable
	Compiler::Structure &structure = compiler.structures[index];
	if (structure.storage != ~0u || named) {
		uint32_t length = compiler.parse_array_length(&state.s, &compiler.global_scope);
		uint32_t storage = structure.storage != ~0u ? structure.storage : Spirv::StoragePrivate;
		if (length == 0) length = get_interface_length(compiler, instance, storage, per_primitive);
		if (length == 0) throwError("\"%s\" array has no size\n", instance.get());
		uint32_t variable_index = compiler.add_variable(instance, structure.name, length, storage, compiler.global_scope);
		Compiler::Structure &owner = compiler.structures[index];
		Compiler::Variable &variable = compiler.variables[variable_index];
		for (auto it = owner.decorations.begin(); it; ++it) {
			if (it->key != Spirv::DecorationBlock) variable.decorations.insert(it->key, it->value);
		}
		if (variable.decorations.get(Spirv::DecorationDescriptorSet) == nullptr &&
			(storage == Spirv::StorageUniform || storage == Spirv::StorageStorageBuffer || storage == Spirv::StorageUniformConstant)) {
			variable.decorations.insert(Spirv::DecorationDescriptorSet, 0);
		}
		owner.decorations.clear();
		if (block) owner.decorations.insert(Spirv::DecorationBlock, ~0u);
		variable.decorations.remove(Spirv::DecorationRowMajor);
		variable.decorations.remove(Spirv::DecorationColMajor);
		variable.decorations.remove(Spirv::DecorationPerPrimitive);
		uint32_t type = compiler.add_type(structure.name, length, &compiler.global_scope);
		compiler.add_target(variable.id, type, length);
		owner.variable = variable_index;
	}

	// an interface block whose members say where they lie: every member gets
	// a location, the ones without one following the one before, and the
	// block's own location only starts the count
	{
		Compiler::Structure &block = compiler.structures[index];
		bool members_located = false;
		for (uint32_t i = 0; i < block.members.size(); i++) {
			members_located = members_located || compiler.variables[block.members[i]].decorations.get(Spirv::DecorationLocation) != nullptr;
		}
		if (members_located && (block.storage == Spirv::StorageInput || block.storage == Spirv::StorageOutput) && block.variable != ~0u) {
			Compiler::Variable &instance = compiler.variables[block.variable];
			const uint32_t *start = instance.decorations.get(Spirv::DecorationLocation);
			uint64_t location = start != nullptr ? *start : 0;
			instance.decorations.remove(Spirv::DecorationLocation);
			for (uint32_t i = 0; i < block.members.size(); i++) {
				Compiler::Variable &member = compiler.variables[block.members[i]];
				if (member.decorations.get(Spirv::DecorationBuiltIn) != nullptr) continue;
				if (const uint32_t *own = member.decorations.get(Spirv::DecorationLocation)) location = *own;
				else member.decorations.insert(Spirv::DecorationLocation, uint32_t(location));
				uint32_t flags = 0;
				try {
					flags = Compiler::get_type_flags(member.type);
				} catch (const String &) {
					throwError("can't locate \"%s\" member of %s type\n", member.name.get(), member.type.get());
				}
				uint64_t slots = Compiler::get_column_count(flags) ? Compiler::get_column_count(flags) : 1;
				if ((flags & Compiler::Type64) && Compiler::get_vector_size(flags) >= 3) slots *= 2;
				if (member.length != ~0u) slots *= member.length;
				location += slots;
				if (location > 0xffffffffull) throwError("\"%s\" block takes too many locations\n", block.name.get());
			}
		}
	}

	// the members of an anonymous block are found by their own names
	// (also those of the blocks of ray data and task payloads, which SPIR-V
	// does not decorate Block)
	bool ray_data = laid.storage == Spirv::StorageCallableData || laid.storage == Spirv::StorageIncomingCallableData || laid.storage == Spirv::StorageRayPayload || laid.storage == Spirv::StorageHitAttribute || laid.storage == Spirv::StorageIncomingRayPayload ||
		laid.storage == Spirv::StorageTaskPayloadWorkgroup;
	if (!named && (laid.decorations.get(Spirv::DecorationBlock) != nullptr || ray_data)) {
		for (uint32_t i = 0; i < laid.members.size(); i++) {
			const Compiler::Variable &member = compiler.variables[laid.members[i]];
			if (Compiler::is_declared(member.name, compiler.global_scope)) throwError("\"%s\" name redefined\n", member.name.get());
			compiler.global_scope.variables.insert(member.name, laid.members[i]);
		}
	}

	state.s = skip_spaces(state.s);
	if (*state.s == '=') throwError("initializers of variables declared with their structure are not supported: \"%s\"\n", instance.get());
	if (*state.s != ';') throwError("expecting '%c'\n", ';');
	state.s++;
}

} // namespace Declarations

} // namespace Vexa
