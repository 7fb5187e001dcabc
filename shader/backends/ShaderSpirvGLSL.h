// GLSL source for desktop OpenGL (4.50) and OpenGL ES (3.20), made from a
// SPIR-V module that the base reader loaded. The base renderer writes a
// GLSL-like text already; this class gives it GLSL's type names, qualifier
// prefixes and stage layouts, the extensions and precision lines of the
// target, and the expressions whose GLSL spelling differs from the base's.
//
// What the target cannot express (a stage, a type, a memory layout, an
// opcode) is an error that names it, and the output fails: a written text is
// one the target's compiler takes and one that computes what the module does.
//
// The class spans ShaderSpirvGLSL.cpp (object and source layout),
// ShaderSpirvGLSLDeclarations.cpp (types, storage, declarations, layouts) and
// ShaderSpirvGLSLValues.cpp (values, images, intrinsics, helpers).
#pragma once

#include "core/Map.h"
#include "core/String.h"
#include "shader/ShaderSpirv.h"

#include <array>
#include <cstdint>

namespace Vexa {

class ShaderSpirvGLSL : public ShaderSpirv {
public:
	// a prototype, entered into the format registry under `format`
	ShaderSpirvGLSL(const char *format, uint32_t gl_version, uint32_t es_version);
	// a plain object of the given versions, as `clone` makes
	ShaderSpirvGLSL(uint32_t gl_version, uint32_t es_version);
	~ShaderSpirvGLSL() override;

	bool load(const Array<uint32_t> &words) override;
	bool get_source(String &out) override;
	ShaderSpirv *clone() const override;

	String get_binary_name(const Iterator &it) override;
	bool is_call_form(const Iterator &it) override;
	String get_builtin_name(uint32_t builtin) override;
	String get_decoration_name(uint32_t decoration) override;
	String get_type(uint32_t id, const Record *record) override;
	String get_storage(uint32_t id, const Record *record) override;
	String get_declaration(uint32_t id, const Record *record) override;
	String get_image_value(const Iterator &it, bool parenthesize) override;
	String get_intrinsic_value(const Iterator &it, bool parenthesize) override;
	String get_external_value(const Iterator &it, bool parenthesize) override;
	String get_value(uint32_t id, bool parenthesize) override;
	String get_control(const Iterator &it) override;

	// the GLSL name of a SPIR-V image format, empty (after an error) for one
	// the target has no name for
	String get_format_name(uint32_t format);
	// the stage's layout lines
	String get_layouts();
	// the helper functions that the rendered functions call
	String get_helpers();
	// the clip and cull distance arrays declared again with their sizes
	String get_distance_declarations();

	uint32_t getGLVersion() const { return gl_version; }
	uint32_t getESVersion() const { return es_version; }

protected:
	bool is_reserved_name(const char *name, bool bare) const override;
	bool has_typed_operators() const override;
	String get_float_constant(uint32_t type, uint32_t width, uint64_t bits) override;
	String get_null_value(uint32_t type) override;
	bool is_initialized_in_declaration(uint32_t variable) override;
	String get_entry_initializers(uint32_t indent) override;
	String get_case_label(uint32_t selector, uint64_t literal) override;
	String get_bit_cast(uint32_t type, uint32_t operand_type, const String &value) override;
	String get_sign_cast(uint32_t type, bool to_signed, const String &value) override;
	String get_parameter_declaration(uint32_t parameter, uint32_t type, bool pointer, bool read) override;
	String get_function_prefix(uint32_t function) override;

private:
	const uint32_t gl_version;
	const uint32_t es_version;
	String pragmas;
	Set<String> extensions;
	// helper functions by their text, each written once
	Set<String> helpers;

	// whether GLSL has the built-in in the module's stage
	bool has_builtin_in_stage(uint32_t builtin) const;
	bool is_es() const { return gl_version == 0 && es_version != 0; }
	// the checks that run before anything is rendered: the stage, the
	// capabilities the target has no extension for, the bindings that one
	// namespace of GL holds twice, the memory layouts of the blocks
	bool check_module();
	bool has_capability_of(uint32_t capability) const;
	// the variable of an array of resources (opaque values or blocks) that
	// an access chain indexes first, 0 for another chain or value
	uint32_t get_resource_array(uint32_t chain) const;
	// the indices into arrays of resources: those the module says differ
	// between invocations, and the run-time ones that the target cannot take
	void check_resource_indices();
	void check_bindings();
	// the memory layout of a block, in std140 or else std430; `block` lets
	// the block's own members take offset qualifiers
	// (ShaderSpirvGLSLDeclarations.cpp)
	void check_structure_layout(uint32_t structure, bool std140, bool block);
	// members of blocks, which take layout and interpolation qualifiers
	Set<const Record *> block_members;
	bool block_members_built = false;
	bool is_block_member(const Record *record);
	// the variable whose record this is, ~0u for a type's or member's
	uint32_t variable_of(const Record *record) const;
	// whether GLSL takes an input or output variable as it is; the error otherwise
	bool check_interface(uint32_t variable);
	// the first variable of each block type
	Map<uint32_t, uint32_t> block_owners;
	bool block_owners_built = false;
	uint32_t renamed_block = 0;    // the block type declared under another name now
	// member records given an explicit offset
	Map<const Record *, uint32_t> member_offsets;
	// resources moved to another binding, which one of another set held
	Map<uint32_t, uint32_t> moved_bindings;
	// the binding that a push-constant block is given
	Map<uint32_t, uint32_t> push_bindings;
	// textures that only depth comparisons sample, and textures of a depth
	// type that none does
	Set<uint32_t> shadow_textures;
	Set<uint32_t> plain_textures;
	// the texture or combined-sampler variable behind an image operand, 0 for none
	uint32_t find_texture_variable(uint32_t id);
	// storage images without access decorations: the accesses found
	Map<uint32_t, uint32_t> image_access;
	void find_image_uses();
	uint32_t get_binding(uint32_t variable, const Record *record);
	// a helper by its text; `name` is what the call writes
	void add_helper(const String &text);
	void add_extension(const char *name) { extensions.insert(String(name)); }
	// whether the text has an index written through nonuniformEXT, whose
	// extension the module need not declare the capability of
	bool nonuniform_written = false;
	String get_image_call(const Iterator &it);
	// the sampler binding of each texture binding that a pragma line pairs
	Map<uint32_t, uint32_t> texture_samplers;
	// the OpSampledImage results that sampling uses (find_image_uses)
	Set<uint32_t> sampled_uses;
	// Where the texture or the sampler of a combination comes from: a
	// variable, or a function parameter, which stands for the arguments of
	// every call of its function. `first` and `count` are the elements (in
	// GL's order) that it may be: of the variable, or within the parameter,
	// where `exact` says the indices were constants.
	struct ResourcePlace {
		uint32_t root = 0;
		uint32_t first = 0;
		uint32_t count = 1;
		bool exact = true;
	};
	// a variable of textures or samplers and the elements of it
	struct ResourceElements {
		uint32_t variable = 0;
		uint32_t first = 0;
		uint32_t count = 1;
	};
	struct ParameterPlace {
		uint32_t function = 0;
		uint32_t index = 0;
	};
	struct ParameterOrigins {
		Array<ResourceElements> elements;
		bool done = false;
		bool failed = false;
	};
	// each function parameter's function and place, each function's calls
	// (word indices), found by find_image_uses
	Map<uint32_t, ParameterPlace> parameter_places;
	Map<uint32_t, Array<uint32_t>> function_calls;
	// the variables that each parameter of a texture or sampler stands for
	Map<uint32_t, ParameterOrigins> parameter_origins;
	// the pairs of places whose combination was paired already
	Set<std::array<uint32_t, 8>> paired_places;
	// the place of a texture or sampler value, or of a pointer to one; false
	// for an origin that is not known
	bool get_value_place(uint32_t id, ResourcePlace &place);
	bool get_pointer_place(uint32_t pointer, ResourcePlace &place);
	// the variables and elements that a place may be
	bool get_place_elements(const ResourcePlace &place, const char *kind, Array<ResourceElements> &elements, uint32_t depth);
	const ParameterOrigins *get_parameter_origins(uint32_t parameter, const char *kind, uint32_t depth);
	// the elements below a type of arrays of constant lengths (1 for another
	// type), 0 for one that GL cannot count
	uint32_t get_element_count(const Iterator &type) const;
	// the pragma lines of a combination that something samples through: one
	// sampler for each texture unit
	void pair_texture_sampler(const Iterator &it);
	String get_signed_coordinate(uint32_t id);
	// the GLSL name of the integer type of the shape of `type` in the given
	// signedness, which the module need not declare
	String get_integer_type_name(uint32_t type, bool is_signed);
	// a value in a form of GLSL's own; `base` set (and nothing returned)
	// where the base's form is GLSL's
	String get_own_value(uint32_t id, bool parenthesize, bool &base);
	// the coordinate components that GLSL's calls take for an image type;
	// `storage` for the image functions, which address a cube's faces
	uint32_t get_coordinate_count(const Iterator &image, bool storage);
};

} // namespace Vexa
