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
	String get_control(const Iterator &it) override;

	// the GLSL name of a SPIR-V image format, empty (after an error) for one
	// the target has no name for
	String get_format_name(uint32_t format);
	// the stage's layout lines
	String get_layouts();
	// the clip and cull distance arrays declared again with their sizes
	String get_distance_declarations();

	uint32_t getGLVersion() const { return gl_version; }
	uint32_t getESVersion() const { return es_version; }

protected:
	bool is_reserved_name(const char *name, bool bare) const override;
	uint32_t get_naming_rules() const override;
	String get_entry_point_name() const override;
	const char *get_builtin_prefix() const override;
	void get_helper_names(Array<String> &names, Array<String> &prefixes) const override;
	String get_semantic_helper_body(SemanticHelper kind, const String &name, const String &type, uint32_t components) override;
	String render_value(uint32_t id, bool parenthesize) override;
	// the checks that run before anything is rendered: the stage, the
	// capabilities, built-ins, decorations and extended sets the target has
	// not, the arrays of vertices and the indices GLSL refuses; false on any
	// error so far, that of `load` included
	bool check_output() override;
	// what the rendering reads: the uses of images, and the bindings (those
	// that one namespace of GL holds twice, and the memory layouts of the
	// blocks, fail the output but leave the rest to be rendered)
	void prepare_output() override;
	// the stage's layouts and the clip and cull distance arrays
	String get_stage_declarations() override;
	// the version line, the extension lines that the rendering needs, and
	// the precision lines of ES
	String get_prologue() override;
	// the pragma lines that pair textures and samplers
	String get_epilogue() override;
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

	// whether GLSL has the built-in in the module's stage
	bool has_builtin_in_stage(uint32_t builtin) const;
	bool is_es() const { return gl_version == 0 && es_version != 0; }
	bool has_capability_of(uint32_t capability) const;
	// the indices into arrays of resources: those the module says differ
	// between invocations, and the run-time ones that the target cannot take
	void check_resource_indices();
	// GL's binding namespaces (uniform blocks, storage blocks, texture units,
	// image units) over the resources of every set, the blocks' layouts, and
	// the messages of the resources GL has no binding for
	void check_bindings();
	// the textures that are sampled with and without depth comparisons
	void check_texture_sampling();
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
	uint32_t renamed_block = 0;    // the block type declared under another name now
	// member records given an explicit offset
	Map<const Record *, uint32_t> member_offsets;
	// the bindings of the resources: those moved, which one of another set
	// held, and those of the push-constant blocks
	BindingAssignment bindings;
	// the push-constant bindings whose pragma line is written
	Set<uint32_t> push_pragmas;
	// whether a texture (`id` its variable, else its type) is a shadow
	// sampler: one that only depth comparisons sample, or of a depth type
	// that no sampling without a comparison uses
	bool is_shadow_texture(uint32_t id, const Iterator &image) const;
	void add_extension(const char *name) { extensions.insert(String(name)); }
	// whether the text has an index written through nonuniformEXT, whose
	// extension the module need not declare the capability of
	bool nonuniform_written = false;
	String get_image_call(const Iterator &it);
	// the sampler binding of each texture binding that a pragma line pairs
	Map<uint32_t, uint32_t> texture_samplers;
	// the pairs of places whose combination was paired already
	Set<std::array<uint32_t, 8>> paired_places;
	// the elements that a place of a combination may be, with the message
	// of one whose elements are not known (`kind`: "texture" or "sampler")
	bool get_combination_elements(const ResourcePlace &place, const char *kind, Array<ResourceElements> &elements);
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
