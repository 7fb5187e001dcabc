// Structures and interface blocks: the record and its SPIR-V struct type, the
// byte offsets of the members of buffer blocks, the instance variable, and
// the members of an anonymous block made visible by their bare names.
#include "shader/compiler/CompilerDeclarations.h"

#include "core/Error.h"
#include "core/Parser.h"
#include "shader/ShaderSpirvNumbers.h"

namespace Vexa {

namespace Declarations {

constexpr uint32_t CapabilityMeshShading = 5283;

void begin_structure(State &state, const String &name) {
	Compiler &compiler = state.compiler;
	if (state.decorations.get(DecorationPerPrimitive) != nullptr) compiler.capabilities.insert(CapabilityMeshShading);
	compiler.check_qualifiers(state.bits & (QualifierInout | QualifierFormat | QualifierFunctionControl | QualifierStructure | QualifierFunction));
	uint32_t index = compiler.add_structure(name, state.storage, compiler.global_scope);
	Compiler::Structure &structure = compiler.structures[index];
	structure.scope.parent = nullptr;
	structure.declaration = compiler.words.size();
	structure.declaration_size = ~0u;
	if (state.block != ~0u) structure.decorations.insert(state.block, ~0u);
	for (auto it = state.decorations.begin(); it; ++it) structure.decorations.insert(it->key, it->value);
	state.reset_qualifiers();
	state.bits |= QualifierStructure;
	state.structure = index;
	state.s++; // '{'
}

namespace {

// alignment of a member's type: its scalar size, four times that for a
// vector of three or four, twice for two; other types (structures) 16
uint32_t member_alignment(const Compiler &compiler, const Compiler::Variable &member, bool row_major) {
	if (compiler.global_scope.structures.get(member.type) != nullptr) return 16;
	uint32_t flags = 0;
	try {
		flags = Compiler::get_type_flags(member.type);
	} catch (const String &) {
		return 16;
	}
	if ((flags & Compiler::TypeKindMask) == 0) return 16;
	uint32_t scalar = (flags & Compiler::Type16) ? 2 : (flags & Compiler::Type64) ? 8 : 4;
	uint32_t size = Compiler::get_vector_size(flags);
	// a row-major matrix is laid out by rows: vectors as long as the column count
	if (row_major && (flags & Compiler::TypeMatrixMask)) size = Compiler::get_column_count(flags);
	if (size >= 3) return scalar * 4;
	if (size == 2) return scalar * 2;
	return scalar;
}

// byte size of one element of a member's type
uint64_t member_size(const Compiler &compiler, const Compiler::Variable &member, bool row_major) {
	if (const uint32_t *index = compiler.global_scope.structures.get(member.type)) {
		uint32_t size = compiler.structures[*index].size;
		if (size == ~0u) throwError("can't get size of \"%s\" structure\n", member.type.get());
		return size;
	}
	uint32_t flags = 0;
	try {
		flags = Compiler::get_type_flags(member.type);
	} catch (const String &) {
		throwError("can't lay out \"%s\" member of %s type\n", member.name.get(), member.type.get());
	}
	if ((flags & Compiler::TypeMatrixMask) && row_major) {
		uint32_t columns = Compiler::get_column_count(flags);
		uint32_t rows = Compiler::get_vector_size(flags);
		uint32_t scalar = (flags & Compiler::Type16) ? 2 : (flags & Compiler::Type64) ? 8 : 4;
		uint32_t row = Compiler::align_size(scalar * columns, member_alignment(compiler, member, true));
		return uint64_t(row) * rows;
	}
	return Compiler::get_type_size(flags);
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
	bool block = structure.decorations.get(DecorationBlock) != nullptr;
	// matrices follow the block's majority unless they say their own
	bool block_row_major = structure.decorations.get(DecorationRowMajor) != nullptr;
	bool per_primitive = structure.decorations.get(DecorationPerPrimitive) != nullptr;
	if (structure.storage != ~0u || named) {
		uint32_t length = compiler.parse_array_length(&state.s, &compiler.global_scope);
		uint32_t storage = structure.storage != ~0u ? structure.storage : StoragePrivate;
		uint32_t variable_index = compiler.add_variable(instance, structure.name, length, storage, compiler.global_scope);
		Compiler::Structure &owner = compiler.structures[index];
		Compiler::Variable &variable = compiler.variables[variable_index];
		for (auto it = owner.decorations.begin(); it; ++it) {
			if (it->key != DecorationBlock) variable.decorations.insert(it->key, it->value);
		}
		if (variable.decorations.get(DecorationDescriptorSet) == nullptr &&
			(storage == StorageUniform || storage == StorageStorageBuffer || storage == StorageUniformConstant)) {
			variable.decorations.insert(DecorationDescriptorSet, 0);
		}
		owner.decorations.clear();
		if (block) owner.decorations.insert(DecorationBlock, ~0u);
		variable.decorations.remove(DecorationRowMajor);
		variable.decorations.remove(DecorationColMajor);
		variable.decorations.remove(DecorationPerPrimitive);
		uint32_t type = compiler.add_type(structure.name, length, &compiler.global_scope);
		compiler.add_target(variable.id, type, length);
		owner.variable = variable_index;
	}

	// member layout
	Compiler::Structure &laid = compiler.structures[index];
	bool interface = (laid.storage == StorageInput || laid.storage == StorageOutput);
	uint64_t offset = 0;
	for (uint32_t i = 0; i < laid.members.size(); i++) {
		Compiler::Variable &member = compiler.variables[laid.members[i]];
		uint32_t flags = compiler.get_target_flags(member.id);
		bool matrix = (flags & Compiler::TypeMatrixMask) != 0 && (flags & Compiler::TypeRuntimeArray) == 0;
		bool row_major = member.decorations.get(DecorationRowMajor) != nullptr;
		if (matrix && !interface) {
			if (!row_major && member.decorations.get(DecorationColMajor) == nullptr) {
				row_major = block_row_major;
				member.decorations.insert(row_major ? DecorationRowMajor : DecorationColMajor, ~0u);
			}
			if (row_major) {
				if (Compiler::Target *target = compiler.targets.get(member.id)) target->flags |= Compiler::TypeRowMajor;
			}
			if (member.decorations.get(DecorationMatrixStride) == nullptr) {
				member.decorations.insert(DecorationMatrixStride, member_alignment(compiler, member, row_major));
			}
		}
		bool builtin = member.decorations.get(DecorationBuiltIn) != nullptr;
		if (!interface && !builtin) {
			uint32_t alignment = member_alignment(compiler, member, row_major);
			const uint32_t *explicit_offset = member.decorations.get(DecorationOffset);
			uint64_t member_offset = 0;
			if (explicit_offset != nullptr && *explicit_offset != ~0u) {
				member_offset = *explicit_offset;
				if (member_offset < offset || member_offset % alignment) {
					throwError("invalid offset %u of \"%s\" member\n", *explicit_offset, member.name.get());
				}
			} else {
				member_offset = (offset + alignment - 1) / alignment * alignment;
				member.decorations.remove(DecorationOffset);
				member.decorations.insert(DecorationOffset, uint32_t(member_offset));
			}
			uint64_t size = member_size(compiler, member, row_major);
			if (member.length != ~0u) {
				if (member.length == 0 && i + 1 != laid.members.size()) {
					throwError("\"%s\" runtime array must be the last member\n", member.name.get());
				}
				uint64_t stride = size;
				if (compiler.global_scope.structures.get(member.type) == nullptr) {
					stride = Compiler::get_type_stride(Compiler::get_type_flags(member.type));
				}
				size = stride * member.length;
			}
			member.offset = uint32_t(member_offset);
			offset = member_offset + size;
			if (offset > 0xffffffffull) throwError("\"%s\" structure is too large\n", laid.name.get());
		}
		if (per_primitive && member.decorations.get(DecorationPerPrimitive) == nullptr) member.decorations.insert(DecorationPerPrimitive, ~0u);
	}
	laid.size = uint32_t(offset);

	// the members of an anonymous block are found by their own names
	if (!named && laid.decorations.get(DecorationBlock) != nullptr) {
		for (uint32_t i = 0; i < laid.members.size(); i++) {
			const Compiler::Variable &member = compiler.variables[laid.members[i]];
			if (Compiler::is_declared(member.name, compiler.global_scope)) throwError("\"%s\" name redefined\n", member.name.get());
			compiler.global_scope.variables.insert(member.name, laid.members[i]);
		}
	}

	state.s = skip_spaces(state.s);
	if (*state.s != ';') throwError("expecting '%c'\n", ';');
	state.s++;
}

} // namespace Declarations

} // namespace Vexa
