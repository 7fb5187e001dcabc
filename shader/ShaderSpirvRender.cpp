// The default, GLSL-like rendering of the base class: the text slots that every
// backend inherits where it does not override them. Until the listing is
// written here, each slot reports what it was asked for as unknown and gives
// an empty text, so that no output is made of a half-rendered module. The
// names of built-in values are already complete: `load` uses them to name
// built-in variables and members.
#include "shader/ShaderSpirv.h"

#include "core/Log.h"

namespace Vexa {

namespace {

uint32_t opcode_of(const ShaderSpirv::Iterator &it) {
	return static_cast<uint32_t>(it.get_opcode());
}

struct BuiltinName {
	uint32_t builtin;
	const char *name;
};

// sorted by BuiltIn number
const BuiltinName builtin_names[] = {
	{0, "gl_Position"}, {1, "gl_PointSize"}, {3, "gl_ClipDistance"}, {4, "gl_CullDistance"}, {5, "gl_VertexID"},
	{6, "gl_InstanceID"}, {7, "gl_PrimitiveID"}, {8, "gl_InvocationID"}, {9, "gl_Layer"}, {10, "gl_ViewportIndex"},
	{11, "gl_TessLevelOuter"}, {12, "gl_TessLevelInner"}, {13, "gl_TessCoord"}, {14, "gl_PatchVerticesIn"},
	{15, "gl_FragCoord"}, {16, "gl_PointCoord"}, {17, "gl_FrontFacing"}, {18, "gl_SampleID"},
	{19, "gl_SamplePosition"}, {20, "gl_SampleMask"}, {22, "gl_FragDepth"}, {24, "gl_NumWorkGroups"},
	{25, "gl_WorkGroupSize"}, {26, "gl_WorkGroupID"}, {27, "gl_LocalInvocationID"}, {28, "gl_GlobalInvocationID"},
	{29, "gl_LocalInvocationIndex"}, {31, "gl_GlobalSize"}, {36, "gl_SubgroupSize"}, {38, "gl_NumSubgroups"},
	{40, "gl_SubgroupID"}, {41, "gl_SubgroupInvocationID"}, {42, "gl_VertexIndex"}, {43, "gl_InstanceIndex"},
	{4416, "gl_SubgroupEqMask"}, {4417, "gl_SubgroupGeMask"}, {4418, "gl_SubgroupGtMask"},
	{4419, "gl_SubgroupLeMask"}, {4420, "gl_SubgroupLtMask"}, {4424, "gl_BaseVertex"}, {4425, "gl_BaseInstance"},
	{4426, "gl_DrawIndex"}, {4438, "gl_DeviceIndex"}, {4440, "gl_ViewIndex"}, {4992, "gl_BaryCoordNoPerspAMD"},
	{4993, "gl_BaryCoordNoPerspCentroidAMD"}, {4994, "gl_BaryCoordNoPerspSampleAMD"},
	{4995, "gl_BaryCoordSmoothAMD"}, {4996, "gl_BaryCoordSmoothCentroidAMD"},
	{4997, "gl_BaryCoordSmoothSampleAMD"}, {4998, "gl_BaryCoordPullModelAMD"}, {5014, "gl_FragStencilRefEXT"},
	{5253, "gl_ViewportMaskNV"}, {5274, "gl_TaskCountNV"}, {5275, "gl_PrimitiveCountNV"},
	{5276, "gl_PrimitiveIndicesNV"},
};

} // namespace

bool ShaderSpirv::get_source(String &out) {
	out.clear();
	return false;
}

String ShaderSpirv::get_image_name(const Iterator &it) {
	Log::printf(Log::Error, "ShaderSpirv::get_image_name(): unknown opcode %u\n", opcode_of(it));
	return String();
}

String ShaderSpirv::get_unary_name(const Iterator &it) {
	Log::printf(Log::Error, "ShaderSpirv::get_unary_name(): unknown opcode %u\n", opcode_of(it));
	return String();
}

String ShaderSpirv::get_binary_name(const Iterator &it) {
	Log::printf(Log::Error, "ShaderSpirv::get_binary_name(): unknown opcode %u\n", opcode_of(it));
	return String();
}

String ShaderSpirv::get_internal_name(const Iterator &it) {
	Log::printf(Log::Error, "ShaderSpirv::get_internal_name(): unknown opcode %u\n", opcode_of(it));
	return String();
}

String ShaderSpirv::get_external_name(const Iterator &it) {
	Log::printf(Log::Error, "ShaderSpirv::get_external_name(): unknown opcode %u\n", opcode_of(it));
	return String();
}

String ShaderSpirv::get_builtin_name(uint32_t builtin) {
	uint32_t lo = 0;
	uint32_t hi = sizeof(builtin_names) / sizeof(builtin_names[0]);
	while (lo < hi) {
		uint32_t mid = (lo + hi) / 2;
		if (builtin_names[mid].builtin == builtin) return String(builtin_names[mid].name);
		if (builtin_names[mid].builtin < builtin) lo = mid + 1;
		else hi = mid;
	}
	Log::printf(Log::Error, "ShaderSpirv::get_builtin_name(): unknown builtin %u\n", builtin);
	return String();
}

String ShaderSpirv::get_decoration_name(uint32_t decoration) {
	if (decoration == 5300) return String("nonuniformEXT");
	Log::printf(Log::Error, "ShaderSpirv::get_decoration_name(): unknown decoration %u\n", decoration);
	return String();
}

String ShaderSpirv::get_type(uint32_t id, const Record *) {
	Log::printf(Log::Error, "ShaderSpirv::get_type(): unknown opcode %u\n", opcode_of(get_target(id)));
	return String();
}

String ShaderSpirv::get_storage(uint32_t id, const Record *) {
	Log::printf(Log::Error, "ShaderSpirv::get_storage(): unknown opcode %u\n", opcode_of(get_target(id)));
	return String();
}

String ShaderSpirv::get_semantic(uint32_t, const Record *) {
	return String();
}

String ShaderSpirv::get_declaration(uint32_t id, const Record *) {
	Log::printf(Log::Error, "ShaderSpirv::get_declaration(): unknown opcode %u\n", opcode_of(get_target(id)));
	return String();
}

String ShaderSpirv::get_image_value(const Iterator &it, bool) {
	Log::printf(Log::Error, "ShaderSpirv::get_image_value(): unknown opcode %u\n", opcode_of(it));
	return String();
}

String ShaderSpirv::get_intrinsic_value(const Iterator &it, bool) {
	Log::printf(Log::Error, "ShaderSpirv::get_intrinsic_value(): unknown opcode %u\n", opcode_of(it));
	return String();
}

String ShaderSpirv::get_external_value(const Iterator &it, bool) {
	Log::printf(Log::Error, "ShaderSpirv::get_external_value(): unknown opcode %u\n", opcode_of(it));
	return String();
}

String ShaderSpirv::get_argument(uint32_t id, bool parenthesize) {
	return get_value(id, parenthesize);
}

String ShaderSpirv::get_value(uint32_t id, bool) {
	Log::printf(Log::Error, "ShaderSpirv::get_value(): unknown opcode %u\n", opcode_of(get_target(id)));
	return String();
}

String ShaderSpirv::get_swizzle(uint32_t id, const char *) {
	Log::printf(Log::Error, "ShaderSpirv::get_swizzle(): unknown opcode %u\n", opcode_of(get_target(id)));
	return String();
}

String ShaderSpirv::get_assignment(const Iterator &it) {
	Log::printf(Log::Error, "ShaderSpirv::get_assignment(): unknown opcode %u\n", opcode_of(it));
	return String();
}

String ShaderSpirv::get_statement(const Iterator &it, uint32_t, Pending &) {
	Log::printf(Log::Error, "ShaderSpirv::get_statement(): unknown opcode %u\n", opcode_of(it));
	return String();
}

String ShaderSpirv::get_merge(const Block &, const Iterator &it, uint32_t, Pending &, const Block *) {
	Log::printf(Log::Error, "ShaderSpirv::get_merge(): unknown opcode %u\n", opcode_of(it));
	return String();
}

String ShaderSpirv::get_block(uint32_t label, uint32_t, Pending &, const Block *) {
	Log::printf(Log::Error, "ShaderSpirv::get_block(): unknown opcode %u\n", opcode_of(get_target(label)));
	return String();
}

String ShaderSpirv::get_control(const Iterator &) {
	return String();
}

String ShaderSpirv::get_globals() {
	return String();
}

String ShaderSpirv::get_functions() {
	return String();
}

} // namespace Vexa
