// Built-in variables declared at their first use: what each becomes in the
// module (decorations, capabilities, sizes), judged by spirv-dis and spirv-val.
#include "shader/compiler/Compiler.h"

#include "compiler_fixtures.h"
#include "log_capture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace Vexa;

namespace {

struct Compiled {
	bool ok = false;
	std::string errors;
	std::string text;    // spirv-dis
	std::string verdict; // spirv-val
};

std::string run(const std::string &command) {
	std::string ret;
	FILE *pipe = popen(command.c_str(), "r");
	if (pipe == nullptr) return ret;
	char buffer[4096];
	size_t size;
	while ((size = fread(buffer, 1, sizeof(buffer), pipe)) > 0) ret.append(buffer, size);
	pclose(pipe);
	return ret;
}

Compiled compile(uint32_t type, const std::string &source, const char *environment) {
	Compiled ret;
	LogCapture log;
	Compiler compiler;
	uint32_t offset = 0;
	ret.ok = compiler.compileGLSL(type, source.c_str(), nullptr, &offset, Compiler::DefaultFlags & ~uint32_t(Compiler::FlagUnused));
	ret.errors = log.text();
	if (!ret.ok) return ret;
	std::string path = "/tmp/vexa_builtins_" + std::to_string(getpid()) + ".spv";
	{
		std::ofstream file(path, std::ios::binary);
		file.write(reinterpret_cast<const char *>(compiler.words.get()), (std::streamsize)(compiler.words.size() * 4));
	}
	ret.text = run("spirv-dis " + path + " 2>&1");
	ret.verdict = run(std::string("spirv-val --target-env ") + environment + " " + path + " 2>&1");
	std::remove(path.c_str());
	return ret;
}

bool has(const std::string &text, const std::string &part) {
	return text.find(part) != std::string::npos;
}

} // namespace

TEST(CompilerBuiltins, DeclaredForTheirStage) {
	if (!compiler_test::have_tool("spirv-dis") || !compiler_test::have_tool("spirv-val")) GTEST_SKIP() << "no SPIR-V tools";

	// the instance of a draw counts from its first instance, and no built-in
	// that Vulkan forbids is used
	Compiled vertex = compile(1,
		"#version 450\nlayout(location = 0) out vec4 c;\n"
		"void main() { c = vec4(float(gl_InstanceID), float(gl_VertexID), 0.0, 1.0); gl_Position = c; gl_PointSize = 1.0; }\n",
		"vulkan1.1");
	ASSERT_TRUE(vertex.ok) << vertex.errors;
	EXPECT_EQ(vertex.verdict, "");
	EXPECT_TRUE(has(vertex.text, "BuiltIn InstanceIndex")) << vertex.text;
	EXPECT_TRUE(has(vertex.text, "BuiltIn BaseInstance")) << vertex.text;
	EXPECT_TRUE(has(vertex.text, "BuiltIn VertexIndex")) << vertex.text;
	EXPECT_TRUE(has(vertex.text, "OpISub")) << vertex.text;
	EXPECT_FALSE(has(vertex.text, "BuiltIn InstanceId")) << vertex.text;
	EXPECT_FALSE(has(vertex.text, "BuiltIn VertexId")) << vertex.text;
	EXPECT_TRUE(has(vertex.text, "OpMemberDecorate %gl_PerVertex 1 BuiltIn PointSize")) << vertex.text;

	// the work-group size as it stands at its first use
	Compiled compute = compile(6,
		"#version 450\nlayout(local_size_x = 8, local_size_y = 4) in;\n"
		"layout(std430, binding = 0) buffer B { uint r[]; };\n"
		"void main() { r[gl_LocalInvocationIndex] = gl_WorkGroupSize.x * gl_WorkGroupSize.y + gl_NumWorkGroups.z; }\n",
		"vulkan1.0");
	ASSERT_TRUE(compute.ok) << compute.errors;
	EXPECT_EQ(compute.verdict, "");
	EXPECT_TRUE(has(compute.text, "%uint_32 = OpConstant %uint 32")) << compute.text;

	// a geometry shader's inputs are as many as its input primitive's vertices
	Compiled geometry = compile(4,
		"#version 450\nlayout(triangles) in;\nlayout(triangle_strip, max_vertices = 3) out;\n"
		"void main() { gl_Position = gl_in[2].gl_Position + vec4(float(gl_PrimitiveIDIn)); }\n",
		"vulkan1.0");
	ASSERT_TRUE(geometry.ok) << geometry.errors;
	EXPECT_EQ(geometry.verdict, "");
	EXPECT_TRUE(has(geometry.text, "OpTypeArray %gl_PerVertexIn %uint_3")) << geometry.text;

	// integer fragment inputs are flat; the sample id needs sample shading,
	// the primitive id the geometry capability
	Compiled fragment = compile(5,
		"#version 450\nlayout(location = 0) out vec4 color;\n"
		"void main() { color = vec4(float(gl_SampleID + gl_PrimitiveID), gl_FragCoord.xy, gl_FrontFacing ? 1.0 : 0.0); }\n",
		"vulkan1.0");
	ASSERT_TRUE(fragment.ok) << fragment.errors;
	EXPECT_EQ(fragment.verdict, "");
	EXPECT_TRUE(has(fragment.text, "OpCapability SampleRateShading")) << fragment.text;
	EXPECT_TRUE(has(fragment.text, "OpCapability Geometry")) << fragment.text;
	EXPECT_TRUE(has(fragment.text, "OpDecorate %gl_SampleID Flat")) << fragment.text;

	// a control shader without an output vertex count has no gl_out
	Compiled control = compile(2, "#version 450\nvoid main() { gl_out[gl_InvocationID].gl_Position = vec4(1.0); }\n", "vulkan1.0");
	EXPECT_FALSE(control.ok);
}

// What a module declares follows from what the shader uses: each capability
// with the extension it needs (spirv-val rejects a capability without it),
// and no capability of a feature it doesn't use (a device without that
// feature could not create the module). Built-ins that GLSL declares
// implicitly are sized as GLSL sizes them.
TEST(CompilerBuiltins, CapabilitiesAndExtensionsOfWhatIsUsed) {
	if (!compiler_test::have_tool("spirv-dis") || !compiler_test::have_tool("spirv-val")) GTEST_SKIP() << "no SPIR-V tools";
	struct Row {
		const char *name;
		uint32_t stage; // 1 vertex, 5 fragment, 6 compute
		const char *env;
		const char *source;
		std::vector<const char *> present;
		std::vector<const char *> absent;
	} rows[] = {
		{"fragment barycentrics", 5, "vulkan1.1",
			"#version 450\n#extension GL_EXT_fragment_shader_barycentric : require\nlayout(location = 0) out vec4 o;\n"
			"void main() { o = vec4(gl_BaryCoordEXT + gl_BaryCoordNoPerspEXT, 1.0); }\n",
			{"OpCapability FragmentBarycentricKHR", "OpExtension \"SPV_KHR_fragment_shader_barycentric\"", "BuiltIn BaryCoordKHR"}, {}},
		{"explicit vertex parameters", 5, "vulkan1.1",
			"#version 450\n#extension GL_AMD_shader_explicit_vertex_parameter : require\nlayout(location = 0) out vec4 o;\n"
			"void main() { o = vec4(gl_BaryCoordSmoothAMD, gl_BaryCoordNoPerspAMD); }\n",
			{"OpExtension \"SPV_AMD_shader_explicit_vertex_parameter\"", "BuiltIn BaryCoordSmoothAMD"}, {}},
		{"ray query in a compute shader", 6, "vulkan1.2",
			"#version 460\n#extension GL_EXT_ray_query : require\nlayout(local_size_x = 1) in;\n"
			"layout(binding = 0) uniform accelerationStructureEXT scene;\nlayout(std430, binding = 1) buffer B { uint v[]; };\n"
			"void main() { rayQueryEXT q; rayQueryInitializeEXT(q, scene, gl_RayFlagsOpaqueEXT, 0xff, vec3(0.0), 0.0, vec3(0.0, 0.0, 1.0), 10.0);\n"
			"  while (rayQueryProceedEXT(q)) {}\n  v[0] = rayQueryGetIntersectionTypeEXT(q, true); }\n",
			{"OpCapability RayQueryKHR", "OpExtension \"SPV_KHR_ray_query\""}, {"RayTracingKHR", "SPV_KHR_ray_tracing"}},
		{"an acceleration structure in a fragment shader", 5, "vulkan1.2",
			"#version 460\n#extension GL_EXT_ray_query : require\nlayout(binding = 0) uniform accelerationStructureEXT scene;\n"
			"layout(location = 0) out vec4 o;\n"
			"void main() { rayQueryEXT q; rayQueryInitializeEXT(q, scene, 0u, 0xff, vec3(0.0), 0.0, vec3(0.0, 0.0, 1.0), 10.0); o = vec4(1.0); }\n",
			{"OpCapability RayQueryKHR"}, {"RayTracingKHR"}},
		{"view index", 1, "vulkan1.1",
			"#version 450\n#extension GL_EXT_multiview : require\nvoid main() { gl_Position = vec4(float(gl_ViewIndex)); }\n",
			{"OpCapability MultiView", "OpExtension \"SPV_KHR_multiview\"", "OpDecorate %gl_ViewIndex BuiltIn ViewIndex"}, {}},
		{"view index in a fragment shader, flat", 5, "vulkan1.1",
			"#version 450\n#extension GL_EXT_multiview : require\nlayout(location = 0) out vec4 o;\nvoid main() { o = vec4(float(gl_ViewIndex)); }\n",
			{"OpCapability MultiView", "OpDecorate %gl_ViewIndex Flat"}, {}},
		// one more than the largest index, in any function, and not in a comment
		{"clip and cull distances without a block", 1, "vulkan1.0",
			"#version 450\nvoid clip() { gl_ClipDistance[2] = 0.5; /* gl_ClipDistance[7] */ }\n"
			"void main() { gl_Position = vec4(1.0); gl_ClipDistance[0] = 1.0; gl_CullDistance[1u] = 0.0; clip(); }\n",
			{"OpCapability ClipDistance", "OpCapability CullDistance", "OpDecorate %gl_ClipDistance BuiltIn ClipDistance",
				"%_ptr_Output__arr_float_uint_3 = OpTypePointer Output %_arr_float_uint_3", "%_ptr_Output__arr_float_uint_2 = OpTypePointer Output %_arr_float_uint_2"},
			{"uint_8"}},
		{"clip distances of a fragment", 5, "vulkan1.0",
			"#version 450\nlayout(location = 0) out vec4 o;\nvoid main() { o = vec4(gl_ClipDistance[1]); }\n",
			{"OpCapability ClipDistance", "%_ptr_Input__arr_float_uint_2 = OpTypePointer Input %_arr_float_uint_2"}, {}},
	};
	for (const Row &row : rows) {
		Compiled compiled = compile(row.stage, row.source, row.env);
		ASSERT_TRUE(compiled.ok) << row.name << "\n" << compiled.errors;
		EXPECT_EQ(compiled.verdict, "") << row.name;
		for (const char *text : row.present) EXPECT_TRUE(has(compiled.text, text)) << row.name << ": no " << text << "\n" << compiled.text;
		for (const char *text : row.absent) EXPECT_FALSE(has(compiled.text, text)) << row.name << ": " << text << "\n" << compiled.text;
	}
}
