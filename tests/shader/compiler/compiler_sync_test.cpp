// Calls of atomics, subgroups, combined samplers and ray tracing whose rules
// the reference table does not reach: what compiles validates (each for its
// Vulkan version), what GLSL or Vulkan forbids is refused by name.
#include "compiler_fixtures.h"
#include "shader/spirv_fixtures.h"

#include <gtest/gtest.h>

namespace {

using compiler_test::Compiled;
using compiler_test::compile;

const char *const compute = "#version 460\nlayout(local_size_x = 8) in;\n";
const char *const raygen = "#version 460\n#extension GL_EXT_ray_tracing : require\n";

} // namespace

TEST(CompilerSync, Validates) {
	if (!spirv_test::have_tool("spirv-val")) GTEST_SKIP() << "spirv-val is not installed";
	struct Case {
		uint32_t stage;
		std::string source;
		const char *environment;
	} cases[] = {
		// combined samplers of every kind keep the texture's own image type
		{5,
			"#version 450\nlayout(binding = 0) uniform texture2D t;\nlayout(binding = 1) uniform utexture2D ut;\n"
			"layout(binding = 2) uniform sampler s;\nlayout(binding = 3) uniform samplerShadow ss;\nlayout(binding = 4) uniform itexture3D it3;\n"
			"layout(location = 0) in vec2 uv;\nlayout(location = 0) out vec4 o;\n"
			"void main() {\n  o = texture(sampler2D(t, s), uv) + vec4(textureSize(usampler2D(ut, s), 0), 0, 0) + vec4(texture(sampler2DShadow(t, ss), vec3(uv, 0.5)));\n"
			"  o += vec4(texelFetch(isampler3D(it3, s), ivec3(0), 0));\n}\n",
			"vulkan1.0"},
		// partitioned operations under their GLSL names
		{6,
			std::string(compute) + "#extension GL_NV_shader_subgroup_partitioned : require\n#extension GL_KHR_shader_subgroup_ballot : require\n"
								   "layout(std430, binding = 0) buffer B { uint v[8]; };\n"
								   "void main() { uvec4 p = subgroupBallot(v[0] > 3u); v[gl_LocalInvocationIndex] = subgroupPartitionedAddNV(1u, p) + subgroupPartitionedInclusiveMaxNV(2u, p); }\n",
			"vulkan1.1"},
		// a float matrix made double, and an outer product of a float and a double vector
		{5,
			"#version 450\nlayout(location = 0) in vec2 a;\nlayout(location = 1) flat in dvec2 b;\nlayout(location = 0) out vec4 o;\n"
			"void main() { dmat2 m = mat2(a, a) + outerProduct(a, b); o = vec4(m[0] + m[1], uint(mat2(a, a)), 1.0); }\n",
			"vulkan1.0"},
		// ray-tracing stages convert addresses to acceleration structures with their own capability
		{9,
			std::string(raygen) + "#extension GL_EXT_buffer_reference_uvec2 : enable\nlayout(location = 0) rayPayloadEXT vec4 payload;\n"
								  "layout(std430, binding = 0) buffer B { uvec2 address; };\n"
								  "void main() { traceRayEXT(accelerationStructureEXT(address), 0u, 255u, 0u, 1u, 0u, vec3(0.0), 0.0, vec3(1.0), 10.0, 0); }\n",
			"vulkan1.2"},
	};
	for (const Case &c : cases) {
		Compiled compiled = compile(c.stage, c.source);
		ASSERT_TRUE(compiled.ok) << c.source << "\n" << compiled.log;
		EXPECT_EQ(spirv_test::spirv_val(compiled.words, c.environment), "") << c.source;
		if (c.stage == 9) {
			// no ray query capability (4472) in a ray-tracing stage
			std::vector<compiler_test::Instruction> list = compiler_test::decode(compiled.words.data() + 5, uint32_t(compiled.words.size() - 5));
			for (const auto &instruction : list) EXPECT_FALSE(instruction.opcode == 17 && instruction.operands[0] == 4472u);
		}
	}
}

TEST(CompilerSync, Refusals) {
	struct Case {
		uint32_t stage;
		std::string source;
		const char *message;
	} cases[] = {
		{6, std::string(compute) + "layout(binding = 0, r32ui) uniform writeonly uimage2D img;\nvoid main() { imageAtomicAdd(img, ivec2(0), 1u); }\n",
			"can't read from writeonly image \"img\""},
		{6, std::string(compute) + "layout(binding = 0, r32ui) uniform readonly uimage2D img;\nvoid main() { imageAtomicAdd(img, ivec2(0), 1u); }\n",
			"can't write to readonly image \"img\""},
		{6, std::string(compute) + "layout(binding = 0, rgba8ui) uniform uimage2D img;\nvoid main() { imageAtomicAdd(img, ivec2(0), 1u); }\n",
			"imageAtomicAdd needs an image of format r32i, r32ui, r32f, r64i or r64ui"},
		{6, std::string(compute) + "layout(std430, binding = 0) buffer B { int i; };\nvoid main() { atomicAdd(i, 1u); }\n",
			"unknown internal function atomicAdd with 2 arguments"},
		{6, std::string(compute) + "layout(std430, binding = 0) buffer B { float f; };\nvoid main() { atomicAdd(f, 1.0); }\n",
			"atomicAdd on a float needs the GL_EXT_shader_atomic_float extension"},
		{6, std::string(compute) + "shared uint counter;\nvoid f(uint c) { atomicAdd(c, 1u); }\nvoid main() { f(counter); }\n",
			"atomicAdd of \"c\": atomics take buffer and shared variables"},
		{6, std::string(compute) + "layout(binding = 0) uniform sampler2D t;\nlayout(std430, binding = 1) buffer B { uint v; };\nvoid main() { v = subgroupShuffle(v, t); }\n",
			"unknown internal function subgroupShuffle with 2 arguments"},
		{5, "#version 450\nlayout(binding = 1) uniform utexture2D ut;\nlayout(binding = 2) uniform sampler s;\nlayout(location = 0) out vec4 o;\nvoid main() { o = texture(sampler2D(ut, s), vec2(0)); }\n",
			"unknown internal function sampler2D with 2 arguments"},
		{5, "#version 450\nlayout(location = 0) flat in uvec4 lanes;\nlayout(location = 0) out vec4 o;\nvoid main() { o = texture(samplerBuffer(lanes), 0); }\n",
			"can't construct"},
		{6, std::string(compute) + "void main() { EmitVertex(); }\n", "EmitVertex function is not valid in this stage"},
		{6, std::string(compute) + "layout(std430, binding = 0) buffer B { float v; };\nvoid main() { v = dFdx(v); }\n", "dFdx function is not valid in this stage"},
		{5, "#version 450\nlayout(location = 0) out vec4 o;\nvoid main() { barrier(); }\n", "unknown internal function barrier()"},
		{9, std::string(raygen) + "layout(location = 0) rayPayloadEXT vec4 a;\nlayout(location = 0) rayPayloadEXT vec4 b;\nlayout(binding = 0) uniform accelerationStructureEXT as;\n"
								  "void main() { traceRayEXT(as, 0u, 255u, 0u, 1u, 0u, vec3(0.0), 0.0, vec3(1.0), 10.0, 0); }\n",
			"two variables at location 0 for traceRayEXT"},
		{9, std::string(raygen) + "layout(binding = 0) uniform accelerationStructureEXT as;\n"
								  "void main() { traceRayEXT(as, 0u, 255u, 0u, 1u, 0u, vec3(0.0), 0.0, vec3(1.0), 10.0, 3); }\n",
			"unknown reference for traceRayEXT"},
		{12, std::string(raygen) + "hitAttributeEXT vec2 h;\nvoid main() { h.x = 1.0; }\n", "can't write to \"h\""},
		{8, "#version 460\n#extension GL_EXT_mesh_shader : require\nlayout(local_size_x = 1) in;\nlayout(triangles, max_vertices = 3, max_primitives = 1) out;\n"
			"struct P { uint n; };\ntaskPayloadSharedEXT P payload;\nvoid main() { payload.n = 1u; SetMeshOutputsEXT(3u, 1u); }\n",
			"can't write to \"payload\""},
	};
	for (const Case &c : cases) {
		Compiled compiled = compile(c.stage, c.source);
		EXPECT_FALSE(compiled.ok) << c.source;
		EXPECT_NE(compiled.log.find(std::string("Compiler::compileGLSL(): ") + c.message), std::string::npos) << c.source << "\n" << compiled.log;
	}
}
