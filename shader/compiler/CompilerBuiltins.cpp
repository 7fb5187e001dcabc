// Built-in variables: declared at their first use, for the current stage, by
// running the declaration parser over a fixed text in the internal type
// syntax; from then on a built-in is an ordinary global variable. And the
// capabilities and execution modes that a BuiltIn decoration needs.
#include "shader/compiler/Compiler.h"
#include "shader/compiler/CompilerBits.h"

#include "core/Error.h"
#include "core/Parser.h"
#include "shader/ShaderSpirvNumbers.h"

#include <cstdlib>
#include <cstring>

namespace Vexa {

namespace {

using CompilerBits::skip_spaces;
using CompilerBits::starts_name;

// The length of a built-in array that the shader uses without declaring it:
// one more than the largest index of it in the function bodies, each of
// which must be a literal. The bodies lie in one text, in which the first
// of them starts; a member of that name (after a '.') belongs to a block.
uint32_t implicit_length(const Compiler &compiler, const char *name) {
	const char *start = nullptr;
	for (uint32_t i = 0; i < compiler.functions.size(); i++) {
		const char *body = compiler.functions[i].body;
		if (body != nullptr && (start == nullptr || body < start)) start = body;
	}
	if (start == nullptr) return 0;
	const size_t size = strlen(name);
	uint32_t ret = 0;
	for (const char *s = start; *s != '\0';) {
		if (s[0] == '/' && (s[1] == '/' || s[1] == '*')) {
			s += Parser::skipComment(s);
			continue;
		}
		if (!starts_name(*s) && (*s < '0' || *s > '9')) {
			s++;
			continue;
		}
		const char *word = s;
		while (starts_name(*s) || (*s >= '0' && *s <= '9')) s++;
		if (size_t(s - word) != size || strncmp(word, name, size) != 0) continue;
		const char *before = word;
		while (before > start && (before[-1] == ' ' || before[-1] == '\t' || before[-1] == '\n' || before[-1] == '\r')) before--;
		if (before > start && before[-1] == '.') continue;
		const char *p = skip_spaces(s);
		if (*p != '[') throwError("\"%s\" is used as a whole: its size must be declared\n", name);
		p = skip_spaces(p + 1);
		if (*p < '0' || *p > '9') throwError("\"%s\" is indexed by a variable: its size must be declared\n", name);
		char *end = nullptr;
		unsigned long index = strtoul(p, &end, 0);
		p = end;
		if (*p == 'u' || *p == 'U') p++;
		p = skip_spaces(p);
		if (*p != ']') throwError("\"%s\" is indexed by a variable: its size must be declared\n", name);
		if (index >= 8) throwError("index %lu of \"%s\" is out of bounds\n", index, name);
		if (index + 1 > ret) ret = uint32_t(index + 1);
		s = p + 1;
	}
	return ret;
}

struct Plain {
	const char *declaration; // "in u32", "out i32", ...
	const char *name;
};

// plain entries: the declaration is the direction and type, a blank, the name and ';'
bool declare_plain(Compiler &compiler, const String &name, std::initializer_list<Plain> rows) {
	for (const Plain &row : rows) {
		if (name != row.name) continue;
		String text = String::format("%s %s;", row.declaration, row.name);
		uint32_t offset = 0;
		compiler.parse_declarations(text.get(), &offset, true);
		return true;
	}
	return false;
}

// a whole declaration text for any of names
bool declare_text(Compiler &compiler, const String &name, std::initializer_list<const char *> names, const String &text) {
	for (const char *candidate : names) {
		if (name != candidate) continue;
		uint32_t offset = 0;
		compiler.parse_declarations(text.get(), &offset, true);
		return true;
	}
	return false;
}

bool declare_constants(Compiler &compiler, const String &name, std::initializer_list<std::pair<const char *, uint32_t>> rows) {
	for (const auto &row : rows) {
		if (name != row.first) continue;
		String text = String::format("const u32 %s = %uu;", row.first, row.second);
		uint32_t offset = 0;
		compiler.parse_declarations(text.get(), &offset, true);
		return true;
	}
	return false;
}

bool is_model(uint32_t model, std::initializer_list<uint32_t> models) {
	for (uint32_t m : models) {
		if (m == model) return true;
	}
	return false;
}

// the value of an execution mode, ~0u when it is not set or has none
uint32_t mode_value(const Compiler &compiler, uint32_t mode) {
	const uint32_t *value = compiler.execution_modes.get(mode);
	return value != nullptr ? *value : ~0u;
}

} // namespace

uint32_t Compiler::add_builtin_variable(const String &name) {
	const uint32_t m = execution_model;
	// a name already declared (a block member) is not declared again
	if (const uint32_t *index = global_scope.variables.get(name)) return *index;

	auto done = [&]() -> uint32_t {
		const uint32_t *index = global_scope.variables.get(name);
		return index != nullptr ? *index : ~0u;
	};

	if (declare_plain(*this, name,
			{{"in u32", "gl_DeviceIndex"}, {"in u32", "gl_SubgroupID"}, {"in u32", "gl_SubgroupSize"}, {"in u32", "gl_NumSubgroups"},
				{"in u32", "gl_SubgroupInvocationID"}, {"in u32v4", "gl_SubgroupEqMask"}, {"in u32v4", "gl_SubgroupGeMask"},
				{"in u32v4", "gl_SubgroupGtMask"}, {"in u32v4", "gl_SubgroupLeMask"}, {"in u32v4", "gl_SubgroupLtMask"}})) {
		return done();
	}
	if (is_model(m, {0, 2, 3})) {
		if (declare_text(*this, name, {"gl_Position", "gl_PointSize"}, String("out gl_PerVertex { f32v4 gl_Position; f32 gl_PointSize; };"))) {
			return done();
		}
		if (declare_plain(*this, name, {{"out i32", "gl_ViewportIndex"}, {"out i32", "gl_Layer"}})) return done();
	}
	// the clip and cull distances outside a redeclared block: arrays as long
	// as their largest index needs
	if (is_model(m, {0, 2, 3, 4}) && (name == "gl_ClipDistance" || name == "gl_CullDistance")) {
		uint32_t length = implicit_length(*this, name.get());
		if (length == 0) throwError("\"%s\" array has no size\n", name.get());
		String text = String::format("%s f32 %s[%u];", m == Spirv::ModelFragment ? "in" : "out", name.get(), length);
		uint32_t offset = 0;
		parse_declarations(text.get(), &offset, true);
		return done();
	}
	// the view of a multiview render pass, in the stages before rasterization and after
	if (is_model(m, {0, 1, 2, 3, 4}) && declare_plain(*this, name, {{"in i32", "gl_ViewIndex"}})) return done();
	if (is_model(m, {5, 5364, 5365})) {
		String text = String::format("const u32v3 gl_WorkGroupSize = uvec3(%u, %u, %u);", group_size[0], group_size[1], group_size[2]);
		if (declare_text(*this, name, {"gl_WorkGroupSize"}, text)) return done();
		if (declare_plain(*this, name,
				{{"in u32v3", "gl_NumWorkGroups"}, {"in u32v3", "gl_WorkGroupID"}, {"in u32v3", "gl_LocalInvocationID"},
					{"in u32v3", "gl_GlobalInvocationID"}, {"in u32", "gl_LocalInvocationIndex"}})) {
			return done();
		}
	}
	bool tracing = (m >= Spirv::ModelRayGeneration && m <= Spirv::ModelCallable);
	if (tracing || capabilities.find(4479u)) {
		if (declare_plain(*this, name, {{"in u32v3", "gl_LaunchIDEXT"}, {"in u32v3", "gl_LaunchSizeEXT"}})) return done();
	}
	// the ray flags are those of traced rays and of ray queries
	if (tracing || capabilities.find(4479u) || capabilities.find(4472u)) {
		if (declare_constants(*this, name,
				{{"gl_RayFlagsNoneEXT", 0}, {"gl_RayFlagsOpaqueEXT", 1}, {"gl_RayFlagsNoOpaqueEXT", 2}, {"gl_RayFlagsTerminateOnFirstHitEXT", 4},
					{"gl_RayFlagsSkipClosestHitShaderEXT", 8}, {"gl_RayFlagsCullBackFacingTrianglesEXT", 16},
					{"gl_RayFlagsCullFrontFacingTrianglesEXT", 32}, {"gl_RayFlagsCullOpaqueEXT", 64}, {"gl_RayFlagsCullNoOpaqueEXT", 128}})) {
			return done();
		}
	}
	// the ray in the shaders a ray reaches: intersection, any-hit, closest-hit
	// and miss; in object space only where there is an object
	if (is_model(m, {5314, 5315, 5316, 5317})) {
		if (declare_plain(*this, name,
				{{"in f32v3", "gl_WorldRayOriginEXT"}, {"in f32v3", "gl_WorldRayDirectionEXT"}, {"in f32", "gl_RayTminEXT"}, {"in f32", "gl_RayTmaxEXT"},
					{"in u32", "gl_IncomingRayFlagsEXT"}})) {
			return done();
		}
	}
	if (is_model(m, {5314, 5315, 5316})) {
		if (declare_plain(*this, name, {{"in f32v3", "gl_ObjectRayOriginEXT"}, {"in f32v3", "gl_ObjectRayDirectionEXT"}})) return done();
	}
	// the instance and primitive hit: intersection, any-hit and closest-hit
	if (is_model(m, {5314, 5315, 5316})) {
		if (declare_plain(*this, name,
				{{"in i32", "gl_PrimitiveID"}, {"in i32", "gl_InstanceID"}, {"in i32", "gl_InstanceCustomIndexEXT"},
					{"in f32v3m4", "gl_ObjectToWorldEXT"}, {"in f32v3m4", "gl_WorldToObjectEXT"}})) {
			return done();
		}
	}
	if (capabilities.find(4472u)) {
		if (declare_constants(*this, name,
				{{"gl_RayQueryCommittedIntersectionNoneEXT", 0}, {"gl_RayQueryCommittedIntersectionTriangleEXT", 1},
					{"gl_RayQueryCommittedIntersectionGeneratedEXT", 2}, {"gl_RayQueryCandidateIntersectionTriangleEXT", 0},
					{"gl_RayQueryCandidateIntersectionAABBEXT", 1}})) {
			return done();
		}
	}

	const String per_vertex_in("in gl_PerVertexIn { f32v4 gl_Position; f32 gl_PointSize; } gl_in[gl_MaxPatchVertices];");
	const String max_patch_vertices("const i32 gl_MaxPatchVertices = 32;");
	switch (m) {
	case 0:
		declare_plain(*this, name,
			{{"in i32", "gl_VertexID"}, {"in i32", "gl_VertexIndex"}, {"in i32", "gl_InstanceIndex"},
				{"in i32", "gl_BaseVertex"}, {"in i32", "gl_BaseInstance"}, {"in i32", "gl_DrawIndex"}});
		break;
	case 1: {
		uint32_t vertices = mode_value(*this, 26);
		if (vertices != ~0u) {
			String text = String::format("out gl_PerVertex { f32v4 gl_Position; f32 gl_PointSize; } gl_out[%u];", vertices);
			if (declare_text(*this, name, {"gl_out"}, text)) break;
		}
		if (declare_text(*this, name, {"gl_in"}, per_vertex_in)) break;
		if (declare_text(*this, name, {"gl_MaxPatchVertices"}, max_patch_vertices)) break;
		if (declare_plain(*this, name, {{"in i32", "gl_PrimitiveID"}, {"in i32", "gl_InvocationID"}, {"in i32", "gl_PatchVerticesIn"}})) break;
		if (declare_text(*this, name, {"gl_TessLevelOuter"}, String("patch out f32 gl_TessLevelOuter[4];"))) break;
		declare_text(*this, name, {"gl_TessLevelInner"}, String("patch out f32 gl_TessLevelInner[2];"));
		break;
	}
	case 2:
		if (declare_text(*this, name, {"gl_in"}, per_vertex_in)) break;
		if (declare_text(*this, name, {"gl_MaxPatchVertices"}, max_patch_vertices)) break;
		if (declare_plain(*this, name, {{"in i32", "gl_PrimitiveID"}, {"in f32v3", "gl_TessCoord"}, {"in i32", "gl_PatchVerticesIn"}})) break;
		if (declare_text(*this, name, {"gl_TessLevelOuter"}, String("patch in f32 gl_TessLevelOuter[4];"))) break;
		declare_text(*this, name, {"gl_TessLevelInner"}, String("patch in f32 gl_TessLevelInner[2];"));
		break;
	case 3: {
		static const uint32_t inputs[][2] = {{19, 1}, {20, 2}, {22, 3}, {21, 4}, {23, 6}};
		uint32_t count = ~0u;
		for (const auto &input : inputs) {
			if (execution_modes.get(input[0]) != nullptr) {
				count = input[1];
				break;
			}
		}
		if (count != ~0u) {
			String text = String::format("in gl_PerVertexIn { f32v4 gl_Position; f32 gl_PointSize; } gl_in[%u];", count);
			if (declare_text(*this, name, {"gl_in"}, text)) break;
		}
		declare_plain(*this, name, {{"out i32", "gl_PrimitiveID"}, {"in i32", "gl_PrimitiveIDIn"}, {"in i32", "gl_InvocationID"}});
		break;
	}
	case 4:
		if (declare_plain(*this, name,
				{{"in i32", "gl_Layer"}, {"in i32", "gl_ViewportIndex"}, {"in f32v4", "gl_FragCoord"}, {"in f32v2", "gl_PointCoord"},
					{"in b32", "gl_FrontFacing"}, {"in i32", "gl_PrimitiveID"}, {"in i32", "gl_SampleID"}, {"in f32v2", "gl_SamplePosition"},
					{"out f32", "gl_FragDepth"}, {"out i32", "gl_FragStencilRefEXT"}, {"in f32v2", "gl_BaryCoordNoPerspAMD"},
					{"in f32v2", "gl_BaryCoordNoPerspCentroidAMD"}, {"in f32v2", "gl_BaryCoordNoPerspSampleAMD"},
					{"in f32v2", "gl_BaryCoordSmoothAMD"}, {"in f32v2", "gl_BaryCoordSmoothCentroidAMD"},
					{"in f32v2", "gl_BaryCoordSmoothSampleAMD"}, {"in f32v3", "gl_BaryCoordPullModelAMD"}, {"in f32v3", "gl_BaryCoordEXT"},
					{"in f32v3", "gl_BaryCoordNoPerspEXT"}})) {
			break;
		}
		if (declare_text(*this, name, {"gl_SampleMaskIn"}, String("in i32 gl_SampleMaskIn[1];"))) break;
		declare_text(*this, name, {"gl_SampleMask"}, String("out i32 gl_SampleMask[1];"));
		break;
	case 5365: {
		uint32_t primitives = mode_value(*this, 5270);
		uint32_t vertices = mode_value(*this, 26);
		if (primitives != ~0u) {
			if (declare_text(*this, name, {"gl_PrimitivePointIndicesEXT"}, String::format("out u32 gl_PrimitivePointIndicesEXT[%u];", primitives))) break;
			if (declare_text(*this, name, {"gl_PrimitiveLineIndicesEXT"}, String::format("out u32v2 gl_PrimitiveLineIndicesEXT[%u];", primitives))) break;
			if (declare_text(*this, name, {"gl_PrimitiveTriangleIndicesEXT"}, String::format("out u32v3 gl_PrimitiveTriangleIndicesEXT[%u];", primitives))) {
				break;
			}
			String text = String::format(
				"perprimitiveEXT out gl_MeshPerPrimitiveEXT { i32 gl_PrimitiveID; i32 gl_Layer; i32 gl_ViewportIndex; b32 gl_CullPrimitiveEXT; } gl_MeshPrimitivesEXT[%u];",
				primitives);
			if (declare_text(*this, name, {"gl_MeshPrimitivesEXT"}, text)) break;
		}
		if (vertices != ~0u) {
			String text = String::format("out gl_MeshPerVertexEXT { f32v4 gl_Position; f32 gl_PointSize; } gl_MeshVerticesEXT[%u];", vertices);
			declare_text(*this, name, {"gl_MeshVerticesEXT"}, text);
		}
		break;
	}
	case 5315:
	case 5316: declare_plain(*this, name, {{"in f32", "gl_HitTEXT"}, {"in u32", "gl_HitKindEXT"}}); break;
	default: break;
	}
	return done();
}

void Compiler::add_builtin_capability(uint32_t builtin) {
	const uint32_t m = execution_model;
	if (builtin == Spirv::BuiltInFragDepth) {
		if (execution_modes.get(12u) == nullptr) execution_modes.insert(12u, ~0u);
	}
	if (builtin == Spirv::BuiltInClipDistance) capabilities.insert(Spirv::CapabilityClipDistance);
	if (builtin == Spirv::BuiltInCullDistance) capabilities.insert(Spirv::CapabilityCullDistance);
	if (builtin >= Spirv::BuiltInSampleId && builtin <= Spirv::BuiltInSampleMask) capabilities.insert(Spirv::CapabilitySampleRateShading);
	if ((builtin >= Spirv::BuiltInSubgroupSize && builtin <= Spirv::BuiltInSubgroupLocalInvocationId) || (builtin >= Spirv::BuiltInSubgroupEqMask && builtin <= Spirv::BuiltInSubgroupLtMask)) capabilities.insert(Spirv::CapabilityGroupNonUniform);
	// the masks are ballots
	if (builtin >= Spirv::BuiltInSubgroupEqMask && builtin <= Spirv::BuiltInSubgroupLtMask) capabilities.insert(Spirv::CapabilityGroupNonUniformBallot);
	if (builtin >= Spirv::BuiltInBaseVertex && builtin <= Spirv::BuiltInDrawIndex) capabilities.insert(Spirv::CapabilityDrawParameters);
	if (builtin == Spirv::BuiltInFragStencilRef) {
		capabilities.insert(Spirv::CapabilityStencilExport);
		return;
	}
	if (builtin == Spirv::BuiltInViewportMask) capabilities.insert(Spirv::CapabilityShaderViewportMask);
	if (builtin == Spirv::BuiltInViewportIndex) capabilities.insert(Spirv::CapabilityMultiViewport);
	if (builtin == Spirv::BuiltInViewIndex) capabilities.insert(Spirv::CapabilityMultiView);
	if (builtin == Spirv::BuiltInDeviceIndex) capabilities.insert(Spirv::CapabilityDeviceGroup);
	if ((builtin == Spirv::BuiltInLayer || builtin == Spirv::BuiltInViewportIndex) && (m == Spirv::ModelVertex || m == Spirv::ModelTessellationEvaluation)) capabilities.insert(Spirv::CapabilityShaderViewportIndexLayer);
	if ((builtin == Spirv::BuiltInBaryCoord || builtin == Spirv::BuiltInBaryCoordNoPersp) && m == Spirv::ModelFragment) capabilities.insert(Spirv::CapabilityFragmentBarycentric);
	// a fragment shader reads the primitive id and layer that only the
	// geometry capability provides
	if ((builtin == Spirv::BuiltInPrimitiveId || builtin == Spirv::BuiltInLayer) && m == Spirv::ModelFragment) capabilities.insert(Spirv::CapabilityGeometry);
}

} // namespace Vexa
