// The texture and image built-ins on the sampler and image types they take:
// each call compiles into a module spirv-val accepts (sampling of every kind,
// projective and depth-compare forms, gathers, fetches, image loads and
// stores, size and sample queries; outside fragment shaders implicit levels
// become level 0), and calls no form takes are refused by name.
#include "compiler_fixtures.h"
#include "shader/spirv_fixtures.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using compiler_test::Compiled;
using compiler_test::compile;

const char *const declarations =
	"layout(binding = 0) uniform sampler2D s2;\n"
	"layout(binding = 1) uniform isampler2DArray si;\n"
	"layout(binding = 2) uniform usampler3D su;\n"
	"layout(binding = 3) uniform samplerCube sc;\n"
	"layout(binding = 4) uniform samplerCubeArray sca;\n"
	"layout(binding = 5) uniform sampler2DShadow sh;\n"
	"layout(binding = 6) uniform sampler2DArrayShadow sah;\n"
	"layout(binding = 7) uniform samplerCubeShadow sch;\n"
	"layout(binding = 8) uniform samplerCubeArrayShadow scah;\n"
	"layout(binding = 9) uniform sampler2DMS sms;\n"
	"layout(binding = 10) uniform sampler2DMSArray smsa;\n"
	"layout(binding = 11) uniform samplerBuffer sb;\n"
	"layout(binding = 12, rgba8) uniform image2D img;\n"
	"layout(binding = 13, r32i) uniform iimage3D ii3;\n"
	"layout(binding = 14, r32ui) uniform uimage2DArray iua;\n"
	"layout(binding = 15, rgba16f) uniform imageCube icube;\n"
	"layout(binding = 16) uniform writeonly image2D unformatted;\n"
	"layout(binding = 17, rgba8) uniform image2DMS ims;\n"
	"layout(binding = 18) uniform isamplerBuffer ib;\n"
	"layout(binding = 19) uniform usamplerBuffer ub;\n"
	"layout(binding = 20, rgba32f) uniform imageBuffer fb;\n"
	"layout(binding = 21, r32i) uniform iimageBuffer iib;\n"
	"layout(binding = 22, r32ui) uniform uimageBuffer uib;\n"
	"layout(binding = 23) uniform isampler2DMSArray ima;\n"
	"layout(binding = 24) uniform usampler2DMSArray uma;\n"
	"layout(binding = 25, r64i) uniform i64image2D i64;\n"
	"layout(binding = 26, r64ui) uniform u64image2D u64;\n"
	"layout(binding = 27, r32f) uniform imageCubeArray ica;\n"
	"layout(binding = 28, rgba8) uniform readonly image2D readable;\n"
	"const ivec2 four[4] = ivec2[](ivec2(0), ivec2(1, 0), ivec2(0, 1), ivec2(-1));\n";

const char *const fragment_head = "#version 450\nlayout(location = 0) in vec4 p;\nlayout(location = 0) out vec4 o;\n";

} // namespace

TEST(CompilerTextures, EveryFormValidates) {
	if (!spirv_test::have_tool("spirv-val")) GTEST_SKIP() << "spirv-val is not installed";
	const char *const calls[] = {
		// sampling
		"o = texture(s2, p.xy) + texture(s2, p.xy, 0.5) + textureLod(s2, p.xy, 1) + textureGrad(s2, p.xy, p.zw, p.wz);",
		"o = vec4(texture(si, p.xyz)) + vec4(textureLod(si, p.xyz, 0.0)) + vec4(textureOffset(si, p.xyz, ivec2(1, -1)));",
		"o = vec4(texture(su, p.xyz)) + vec4(textureGrad(su, p.xyz, p.xyz, p.zyx)) + vec4(textureLodOffset(su, p.xyz, 2.0, ivec3(1)));",
		"o = texture(sc, p.xyz) + textureLod(sc, p.xyz, 0.0) + texture(sca, p) + textureGrad(sca, p, p.xyz, p.xyz);",
		"o = textureProj(s2, p.xyz) + textureProj(s2, p) + textureProj(s2, p, 1.0) + textureProjLod(s2, p.xyz, 0.0) + textureProjGrad(s2, p, p.xy, p.yx);",
		"o = textureOffset(s2, p.xy, ivec2(2, 0), 0.5) + textureGradOffset(s2, p.xy, p.zw, p.zw, ivec2(1)) + textureProjOffset(s2, p, ivec2(-2)) + textureProjLodOffset(s2, p.xyz, 0.0, ivec2(1)) + textureProjGradOffset(s2, p, p.xy, p.xy, ivec2(0, 1));",
		// depth comparisons
		"o.x = texture(sh, p.xyz) + texture(sh, p.xyz, 0.5) + textureLod(sh, p.xyz, 0.0) + textureProj(sh, p) + textureOffset(sh, p.xyz, ivec2(1));",
		"o.x = texture(sah, p) + texture(sch, p) + texture(scah, p, 0.25) + textureGrad(sah, p, p.xy, p.xy);",
		// gathers: a component, constant or run-time offsets, depth references
		"o = textureGather(s2, p.xy) + textureGather(s2, p.xy, 3) + textureGatherOffset(s2, p.xy, ivec2(1)) + textureGatherOffset(s2, p.xy, ivec2(p.zw), 2);",
		"o = vec4(textureGather(si, p.xyz, 1)) + textureGather(sc, p.xyz) + textureGather(sh, p.xy, 0.5) + textureGather(sah, p.xyz, p.w) + textureGatherOffset(sh, p.xy, 0.5, ivec2(1));",
		// fetches
		"o = texelFetch(s2, ivec2(p.xy), 0) + vec4(texelFetch(si, ivec3(1, 2, 3), 1)) + vec4(texelFetch(su, ivec3(p.xyz), 0)) + texelFetchOffset(s2, ivec2(3), 0, ivec2(1, -1));",
		"o = texelFetch(sms, ivec2(p.xy), 3) + texelFetch(smsa, ivec3(1), 0) + texelFetch(sb, int(p.x));",
		// 64-bit integer images keep their signedness
		"imageStore(i64, ivec2(1), imageLoad(i64, ivec2(0)) - 1l); imageStore(u64, ivec2(1), imageLoad(u64, ivec2(0)) + 1ul); o = vec4(imageLoad(i64, ivec2(2)));",
		// buffers and integer multisample arrays
		"ivec4 a = texelFetch(ib, 3) + imageLoad(iib, 2) + texelFetch(ima, ivec3(1), 0); uvec4 b = texelFetch(ub, 1) + imageLoad(uib, 0) + texelFetch(uma, ivec3(0), 1); imageStore(fb, 5, vec4(a)); imageStore(uib, 1, b); o = vec4(a) + vec4(b) + imageLoad(fb, 0) + float(imageSize(fb) + textureSize(ib));",
		// storage images
		"o = imageLoad(img, ivec2(p.xy)) + vec4(imageLoad(ii3, ivec3(1))) + vec4(imageLoad(iua, ivec3(p.xyz))) + imageLoad(icube, ivec3(0)) + imageLoad(ims, ivec2(1), 2);",
		// a storage cube array: the layer-face is the third coordinate, and it needs its own capability
		"imageStore(ica, ivec3(1, 2, 7), imageLoad(ica, ivec3(p.xyz)) + vec4(imageSize(ica), 0.0)); o = vec4(0.0);",
		"imageStore(img, ivec2(1), p); imageStore(ii3, ivec3(2), ivec4(3)); imageStore(iua, ivec3(1), uvec4(4u)); imageStore(unformatted, ivec2(0), p); imageStore(ims, ivec2(0), 1, p);",
		// gathers with four constant offsets, from a constant array
		"o = textureGatherOffsets(s2, p.xy, four) + textureGatherOffsets(s2, p.xy, four, 3) + vec4(textureGatherOffsets(si, p.xyz, four, 1)) + textureGatherOffsets(sh, p.xy, 0.5, four);",
		// sparse residency: the code is the result, the texel goes into the l-value (a gather's component after it)
		"vec4 t; float d; ivec4 it; uvec4 ut; int c = sparseTextureARB(s2, p.xy, t) + sparseTextureLodARB(s2, p.xy, 1.0, t) + sparseTextureOffsetARB(s2, p.xy, ivec2(1), t) + sparseTextureGradARB(s2, p.xy, p.zw, p.zw, t); o = t;\n"
		"  c += sparseTextureARB(sh, p.xyz, d) + sparseTexelFetchARB(s2, ivec2(1), 0, t) + sparseTexelFetchOffsetARB(s2, ivec2(1), 0, ivec2(1), t) + sparseTexelFetchARB(si, ivec3(1), 0, it); o += t + d + vec4(it);\n"
		"  c += sparseTextureGatherARB(s2, p.xy, t, 1) + sparseTextureGatherOffsetARB(s2, p.xy, ivec2(1), t) + sparseTextureGatherOffsetsARB(s2, p.xy, four, o) + sparseTextureLodOffsetARB(su, p.xyz, 0.0, ivec3(1), ut);\n"
		"  c += sparseTextureARB(s2, p.xy, t, 0.5) + sparseTextureOffsetARB(s2, p.xy, ivec2(1), t, 0.25);\n"
		"  if (sparseTexelsResidentARB(c)) o += t + vec4(it) + vec4(ut);",
		// queries
		"ivec2 a = textureSize(s2, 0) + textureSize(sc, 1) + textureSize(sms) + imageSize(img) + imageSize(icube); ivec3 b = textureSize(si, 0) + textureSize(su, 0) + textureSize(sca, 0) + imageSize(iua) + textureSize(smsa); o = vec4(a, b.xy) + float(textureSize(sb) + textureSamples(sms) + textureSamples(smsa));",
	};
	for (const char *call : calls) {
		std::string source = std::string(fragment_head) + declarations + "void main() {\n  " + call + "\n}\n";
		Compiled compiled = compile(5, source);
		ASSERT_TRUE(compiled.ok) << call << "\n" << compiled.log;
		EXPECT_EQ(spirv_test::spirv_val(compiled.words, "vulkan1.0"), "") << call;
	}
}

// without derivatives, an implicit level is level 0: in vertex and compute
// shaders texture() and textureProj() sample level 0 explicitly
TEST(CompilerTextures, ImplicitLevelsOutsideFragmentShaders) {
	if (!spirv_test::have_tool("spirv-val")) GTEST_SKIP() << "spirv-val is not installed";
	const std::string body = "  vec4 t = texture(s2, vec2(0.5)) + textureProj(s2, vec3(0.5, 0.5, 1.0)) + vec4(texture(sh, vec3(0.5))) + textureOffset(s2, vec2(0.5), ivec2(1)) + textureGather(s2, vec2(0.5));\n";
	Compiled vertex = compile(1, std::string("#version 450\n") + declarations + "void main() {\n" + body + "  gl_Position = t;\n}\n");
	ASSERT_TRUE(vertex.ok) << vertex.log;
	EXPECT_EQ(spirv_test::spirv_val(vertex.words, "vulkan1.0"), "");
	Compiled compute = compile(6, std::string("#version 450\nlayout(local_size_x = 1) in;\n") + declarations +
		"layout(std430, binding = 30) buffer B { vec4 r; };\nvoid main() {\n" + body + "  r = t;\n}\n");
	ASSERT_TRUE(compute.ok) << compute.log;
	EXPECT_EQ(spirv_test::spirv_val(compute.words, "vulkan1.0"), "");
	Compiled bias = compile(1, std::string("#version 450\n") + declarations + "void main() {\n  gl_Position = texture(s2, vec2(0.5), 1.0);\n}\n");
	EXPECT_FALSE(bias.ok);
	EXPECT_NE(bias.log.find("texture with a bias is not valid in this stage"), std::string::npos) << bias.log;
}

TEST(CompilerTextures, Refusals) {
	struct Case {
		const char *call;
		const char *message;
	} cases[] = {
		{"o = texture(s2);", "unknown arguments for texture"},
		{"o = texture(s2, p.xy, 1.0, 2.0);", "unknown arguments for texture"},
		{"o = texture(s2, p.xyz);", "unknown arguments for texture"},
		{"o = texture(img, p.xy);", "unknown arguments for texture"},
		{"o = texture(sms, p.xy);", "unknown arguments for texture"},
		{"o = imageLoad(s2, ivec2(0));", "unknown arguments for imageLoad"},
		{"o = texelFetch(img, ivec2(0), 0);", "unknown arguments for texelFetch"},
		{"o = vec4(textureSamples(s2));", "is not a multisample texture"},
		{"o = vec4(textureSize(s2));", "unknown arguments for textureSize"},
		{"o = texture(p, p.xy);", "unknown image type f32v4"},
		{"o = textureOffset(s2, p.xy, ivec2(p.xy));", "offset of textureOffset is not a constant"},
		{"o = textureGather(s2, p.xy, int(p.x));", "component of textureGather is not a constant"},
		{"o = textureGather(s2, p.xy, 4);", "component 4 of textureGather is not 0 to 3"},
		{"o = textureOffset(sc, p.xyz, ivec3(1));", "unknown arguments for textureOffset"},
		// the cube-array depth reference takes the argument a level or gradients would need
		{"o.x = textureLod(scah, p, 0.0);", "unknown arguments for textureLod"},
		{"o.x = textureGrad(scah, p, p.xyz, p.xyz);", "unknown arguments for textureGrad"},
		{"imageStore(img, ivec2(0), p.xy);", "unknown arguments for imageStore"},
		{"o = vec4(imageStore(img, ivec2(0), p));", "\"imageStore\" function has no value"},
		{"ivec2 r[4] = four; o = textureGatherOffsets(s2, p.xy, r);", "offsets of textureGatherOffsets are not a constant"},
		{"o = textureGatherOffsets(sc, p.xyz, four);", "unknown arguments for textureGatherOffsets"},
		{"int c = sparseTextureARB(s2, p.xy, p);", "can't write to \"p\""},
		{"int c = sparseTextureARB(s2, p.xy, vec4(1.0));", "can't write sparseTextureARB function result"},
		{"vec2 t; int c = sparseTextureARB(s2, p.xy, t);", "unknown arguments for sparseTextureARB"},
		{"o.x = float(sparseTexelsResidentARB(1u));", "unknown arguments for sparseTexelsResidentARB"},
		{"ivec4 t; int c = sparseTextureARB(s2, p.xy, t);", "unknown arguments for sparseTextureARB"},
		{"o = texture(s2, dvec2(p.xy));", "unknown arguments for texture"},
		{"o = textureOffset(s2, p.xy, ivec2(8, 0));", "offset of textureOffset is out of range -8 to 7"},
		{"o = texelFetchOffset(s2, ivec2(0), 0, ivec2(-9));", "offset of texelFetchOffset is out of range -8 to 7"},
		{"o = textureSamples(s2) == 1 ? p : o;", "is not a multisample texture"},
		{"imageStore(readable, ivec2(0), p);", "can't write to readonly image \"readable\""},
		{"o = imageLoad(unformatted, ivec2(0));", "can't read from writeonly image \"unformatted\""},
	};
	for (const Case &c : cases) {
		std::string source = std::string(fragment_head) + declarations + "void main() {\n  " + c.call + "\n}\n";
		Compiled compiled = compile(5, source);
		EXPECT_FALSE(compiled.ok) << c.call;
		EXPECT_NE(compiled.log.find(std::string("Compiler::compileGLSL(): ") + c.message), std::string::npos) << c.call << "\n" << compiled.log;
	}
}

// resources indexed by a value that differs between invocations: the pointer
// and the loaded resource the instruction takes are decorated NonUniform (the
// index may be computed from nonuniformEXT), unsized arrays are runtime arrays
TEST(CompilerTextures, NonUniformIndexing) {
	if (!spirv_test::have_tool("spirv-val")) GTEST_SKIP() << "spirv-val is not installed";
	const std::string source = std::string(fragment_head) +
		"#extension GL_EXT_nonuniform_qualifier : enable\n"
		"layout(binding = 0) uniform sampler2D textures[];\n"
		"layout(binding = 1, r32f) uniform image2D images[4];\n"
		"layout(location = 1) flat in int index;\n"
		"void main() {\n"
		"  o = texture(textures[nonuniformEXT(index) + 1], p.xy) + imageLoad(images[nonuniformEXT(index)], ivec2(0)) + texture(textures[0], p.xy);\n"
		"}\n";
	Compiled compiled = compile(5, source);
	ASSERT_TRUE(compiled.ok) << compiled.log;
	EXPECT_EQ(spirv_test::spirv_val(compiled.words, "vulkan1.2"), "");
	std::vector<compiler_test::Instruction> list = compiler_test::decode(compiled.words.data() + 5, uint32_t(compiled.words.size() - 5));
	std::set<uint32_t> non_uniform, capabilities;
	for (const auto &instruction : list) {
		if (instruction.opcode == 71 && instruction.operands.size() == 2 && instruction.operands[1] == 5300) non_uniform.insert(instruction.operands[0]);
		if (instruction.opcode == 17) capabilities.insert(instruction.operands[0]);
	}
	std::vector<bool> decorated; // per image instruction, in order
	for (const auto &instruction : list) {
		if (instruction.opcode == 87 || instruction.opcode == 88 || instruction.opcode == 98) decorated.push_back(non_uniform.count(instruction.operands[2]) != 0);
	}
	EXPECT_EQ(decorated, (std::vector<bool>{true, true, false}));
	for (uint32_t capability : {5301u, 5302u, 5307u, 5309u}) EXPECT_TRUE(capabilities.count(capability)) << capability;

	// buffers indexed non-uniformly, texel buffers indexed at run time: capabilities of their own
	const std::string buffers = std::string(fragment_head) +
		"#extension GL_EXT_nonuniform_qualifier : enable\n"
		"layout(std430, binding = 0) buffer B { vec4 v; } blocks[4];\n"
		"layout(binding = 1) uniform samplerBuffer texels[4];\n"
		"layout(location = 1) flat in int index;\n"
		"void main() {\n"
		"  o = blocks[nonuniformEXT(index)].v + texelFetch(texels[index], 0);\n"
		"}\n";
	Compiled second = compile(5, buffers);
	ASSERT_TRUE(second.ok) << second.log;
	EXPECT_EQ(spirv_test::spirv_val(second.words, "vulkan1.2"), "");
	capabilities.clear();
	for (const auto &instruction : compiler_test::decode(second.words.data() + 5, uint32_t(second.words.size() - 5))) {
		if (instruction.opcode == 17) capabilities.insert(instruction.operands[0]);
	}
	for (uint32_t capability : {5301u, 5304u, 5308u}) EXPECT_TRUE(capabilities.count(capability)) << capability;
	EXPECT_FALSE(capabilities.count(5309u));
}
