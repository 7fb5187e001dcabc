// Every texture and image built-in on every sampler and image type, judged by
// the reference compiler: the candidate calls (each function with the
// arguments its forms take for the type's dimensions) go into a shader each,
// and the shaders the reference rejects hold the calls GLSL does not take.
// Every call the reference takes compiles here into a module spirv-val
// accepts; a call it rejects is refused here, or at least never becomes an
// invalid module. In fragment shaders, and in vertex shaders, where implicit
// levels become level 0 and biases are refused.
#include "compiler_fixtures.h"
#include "shader/spirv_fixtures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace {

using compiler_test::Compiled;
using compiler_test::compile;

struct Shape {
	const char *name; // "2D", "CubeArray", ...
	uint32_t dims;    // of offsets and gradients (0: none)
	uint32_t coordinates;
	uint32_t texel_coordinates; // of fetches and image accesses
	bool arrayed, cube, multisampled, buffer;
};

const Shape shapes[] = {
	{"2D", 2, 2, 2, false, false, false, false},
	{"3D", 3, 3, 3, false, false, false, false},
	{"Cube", 3, 3, 3, false, true, false, false},
	{"2DArray", 2, 3, 3, true, false, false, false},
	{"CubeArray", 3, 4, 3, true, true, false, false},
	{"2DMS", 2, 2, 2, false, false, true, false},
	{"2DMSArray", 2, 3, 3, true, false, true, false},
	{"Buffer", 1, 1, 1, false, false, false, true},
};

std::string swizzle(const char *vector, uint32_t size) {
	static const char *const parts[] = {"", ".x", ".xy", ".xyz", ".xyzw"};
	return std::string(vector) + parts[size];
}

std::string float_vector(uint32_t size) { return size == 1 ? "p.x" : "vec" + std::to_string(size) + "(" + swizzle("p", size) + ")"; }
std::string int_vector(uint32_t size) { return size == 1 ? "q.x" : "ivec" + std::to_string(size) + "(" + swizzle("q", size) + ")"; }
std::string offset(uint32_t size) { return size == 1 ? "1" : "ivec" + std::to_string(size) + "(1)"; }

struct Candidate {
	std::string declaration; // of the resource it uses
	std::string call;        // a statement
};

// the calls a sampler of this shape and kind might take
void sampler_candidates(const Shape &shape, const std::string &prefix, bool shadow, uint32_t binding, std::vector<Candidate> &out) {
	std::string type = prefix + "sampler" + shape.name + (shadow ? "Shadow" : "");
	std::string s = "s" + std::to_string(binding);
	std::string declaration = "layout(binding = " + std::to_string(binding) + ") uniform " + type + " " + s + ";";
	const std::string texel = shadow ? "td" : prefix == "i" ? "ti" : prefix == "u" ? "tu" : "tf";
	uint32_t c = shape.coordinates + (shadow && !(shape.cube && shape.arrayed) ? 1 : 0);
	uint32_t d = shape.dims;
	std::string P = float_vector(c);
	std::string Pg = float_vector(shape.coordinates); // gathers: the reference apart
	std::string Pp = float_vector(c + 1 > 4 ? 4 : c + 1);
	std::string G = float_vector(d);
	std::string O = offset(d);
	std::string I = int_vector(shape.texel_coordinates);
	std::vector<std::string> calls = {
		"texture(" + s + ", " + P + ")",
		"texture(" + s + ", " + P + ", 0.5)",
		"textureLod(" + s + ", " + P + ", 1.0)",
		"textureGrad(" + s + ", " + P + ", " + G + ", " + G + ")",
		"textureOffset(" + s + ", " + P + ", " + O + ")",
		"textureOffset(" + s + ", " + P + ", " + O + ", 0.5)",
		"textureLodOffset(" + s + ", " + P + ", 1.0, " + O + ")",
		"textureGradOffset(" + s + ", " + P + ", " + G + ", " + G + ", " + O + ")",
		"textureProj(" + s + ", " + Pp + ")",
		"textureProj(" + s + ", " + Pp + ", 0.5)",
		"textureProj(" + s + ", p)",
		"textureProjLod(" + s + ", " + Pp + ", 1.0)",
		"textureProjGrad(" + s + ", " + Pp + ", " + G + ", " + G + ")",
		"textureProjOffset(" + s + ", " + Pp + ", " + O + ")",
		"textureProjOffset(" + s + ", " + Pp + ", " + O + ", 0.5)",
		"textureProjLodOffset(" + s + ", " + Pp + ", 1.0, " + O + ")",
		"textureProjGradOffset(" + s + ", " + Pp + ", " + G + ", " + G + ", " + O + ")",
		"texelFetch(" + s + ", " + I + ")",
		"texelFetch(" + s + ", " + I + ", 1)",
		"texelFetchOffset(" + s + ", " + I + ", 0, " + O + ")",
		"textureSize(" + s + ")",
		"textureSize(" + s + ", 0)",
		"textureSamples(" + s + ")",
		"sparseTextureARB(" + s + ", " + P + ", " + texel + ")",
		"sparseTextureLodARB(" + s + ", " + P + ", 1.0, " + texel + ")",
		"sparseTextureOffsetARB(" + s + ", " + P + ", " + O + ", " + texel + ")",
		"sparseTextureGradARB(" + s + ", " + P + ", " + G + ", " + G + ", " + texel + ")",
		"sparseTexelFetchARB(" + s + ", " + I + ", 0, " + texel + ")",
		"sparseTexelFetchARB(" + s + ", " + I + ", " + texel + ")",
	};
	if (shadow) {
		calls.push_back("textureGather(" + s + ", " + Pg + ", 0.5)");
		calls.push_back("textureGatherOffset(" + s + ", " + Pg + ", 0.5, " + O + ")");
		calls.push_back("textureGatherOffsets(" + s + ", " + Pg + ", 0.5, four)");
		calls.push_back("sparseTextureGatherARB(" + s + ", " + Pg + ", 0.5, tf)");
	} else {
		calls.push_back("textureGather(" + s + ", " + Pg + ")");
		calls.push_back("textureGather(" + s + ", " + Pg + ", 2)");
		calls.push_back("textureGatherOffset(" + s + ", " + Pg + ", " + O + ")");
		calls.push_back("textureGatherOffset(" + s + ", " + Pg + ", " + O + ", 1)");
		calls.push_back("textureGatherOffsets(" + s + ", " + Pg + ", four)");
		calls.push_back("textureGatherOffsets(" + s + ", " + Pg + ", four, 3)");
		calls.push_back("sparseTextureGatherARB(" + s + ", " + Pg + ", " + texel + ")");
		calls.push_back("sparseTextureGatherARB(" + s + ", " + Pg + ", " + texel + ", 1)");
	}
	for (const std::string &call : calls) out.push_back(Candidate{declaration, call});
}

void image_candidates(const Shape &shape, const std::string &prefix, uint32_t binding, std::vector<Candidate> &out) {
	std::string type = prefix + "image" + shape.name;
	std::string i = "i" + std::to_string(binding);
	const char *format = prefix == "i" ? "r32i" : prefix == "u" ? "r32ui" : "rgba32f";
	std::string declaration = "layout(binding = " + std::to_string(binding) + ", " + format + ") uniform " + type + " " + i + ";";
	std::string texel = prefix == "i" ? "ti" : prefix == "u" ? "tu" : "tf";
	std::string I = int_vector(shape.texel_coordinates);
	const std::vector<std::string> calls = {
		"imageLoad(" + i + ", " + I + ")",
		"imageLoad(" + i + ", " + I + ", 1)",
		"imageStore(" + i + ", " + I + ", " + texel + ")",
		"imageStore(" + i + ", " + I + ", 1, " + texel + ")",
		"imageSize(" + i + ")",
	};
	for (const std::string &call : calls) out.push_back(Candidate{declaration, call});
}

const char *const fragment_head =
	"#version 450\n"
	"#extension GL_ARB_sparse_texture2 : enable\n"
	"layout(location = 0) in vec4 p;\n"
	"layout(location = 1) flat in ivec4 q;\n"
	"layout(location = 0) out vec4 o;\n"
	"const ivec2 four[4] = ivec2[](ivec2(0), ivec2(1, 0), ivec2(0, 1), ivec2(-1));\n";

const char *const vertex_head =
	"#version 450\n"
	"#extension GL_ARB_sparse_texture2 : enable\n"
	"layout(location = 0) in vec4 p;\n"
	"layout(location = 1) in ivec4 q;\n"
	"layout(location = 0) out vec4 o;\n"
	"const ivec2 four[4] = ivec2[](ivec2(0), ivec2(1, 0), ivec2(0, 1), ivec2(-1));\n";

const char *const locals = "  vec4 tf = vec4(0.0); ivec4 ti = ivec4(0); uvec4 tu = uvec4(0); float td = 0.0;\n";

// which of the shaders the reference compiler rejects: each is compiled on
// its own, in one run (its report names each file, then that file's errors)
std::vector<bool> rejected_shaders(const std::vector<std::string> &shaders, const char *extension, std::string &output) {
	std::vector<std::pair<std::string, std::string>> files;
	for (size_t i = 0; i < shaders.size(); i++) files.push_back({"c" + std::to_string(i) + extension, shaders[i]});
	std::vector<std::string> paths;
	output = compiler_test::run_over_files("glslangValidator", files, &paths);
	std::vector<bool> ret(shaders.size(), false);
	std::istringstream lines(output);
	std::string line;
	size_t current = shaders.size();
	std::map<std::string, size_t> index;
	for (size_t i = 0; i < paths.size(); i++) index[paths[i]] = i;
	while (std::getline(lines, line)) {
		auto file = index.find(line);
		if (file != index.end()) current = file->second;
		else if (line.compare(0, 6, "ERROR:") == 0 && current < shaders.size()) ret[current] = true;
	}
	return ret;
}

// levels, biases and offsets of layered and cube depth compares are GLSL of
// an extension the installed reference may not know; taken here, they must
// still validate
bool shadow_lod(const Candidate &candidate) {
	bool layered = candidate.declaration.find("sampler2DArrayShadow") != std::string::npos ||
		candidate.declaration.find("samplerCubeShadow") != std::string::npos;
	if (!layered || candidate.call.compare(0, 7, "texture") != 0) return false;
	return candidate.call.compare(0, 10, "textureLod") == 0 || candidate.call.find(", 0.5)") != std::string::npos;
}

void check_stage(uint32_t stage, const char *extension, const char *head) {
	std::vector<Candidate> candidates;
	uint32_t binding = 0;
	for (const Shape &shape : shapes) {
		for (const char *prefix : {"", "i", "u"}) {
			sampler_candidates(shape, prefix, false, binding++, candidates);
			image_candidates(shape, prefix, binding++, candidates);
		}
		if (!shape.multisampled && !shape.buffer && shape.dims != 3) sampler_candidates(shape, "", true, binding++, candidates);
		if (shape.cube) sampler_candidates(shape, "", true, binding++, candidates);
	}

	std::vector<std::string> shaders;
	for (const Candidate &candidate : candidates) {
		shaders.push_back(std::string(head) + candidate.declaration + "\nvoid main() {\n" + locals + "  " + candidate.call + ";\n  o = tf + vec4(ti) + vec4(tu) + td;\n}\n");
	}
	std::string output;
	std::vector<bool> rejected = rejected_shaders(shaders, extension, output);
	ASSERT_EQ(rejected.size(), shaders.size()) << output;

	uint32_t taken = 0;
	uint32_t refused = 0;
	for (size_t i = 0; i < candidates.size(); i++) {
		const Candidate &candidate = candidates[i];
		Compiled compiled = compile(stage, shaders[i]);
		if (!rejected[i]) {
			taken++;
			EXPECT_TRUE(compiled.ok) << candidate.declaration << "\n" << candidate.call << "\n" << compiled.log;
		} else {
			refused++;
			if (!shadow_lod(candidate)) {
				EXPECT_FALSE(compiled.ok) << "the reference refuses it:\n" << candidate.declaration << "\n" << candidate.call;
			}
		}
		if (compiled.ok) {
			EXPECT_EQ(spirv_test::spirv_val(compiled.words, "vulkan1.0"), "") << candidate.declaration << "\n" << candidate.call;
		}
	}
	ASSERT_GT(refused, 0u) << "the reference took every call, which can't be:\n" << output;
	std::cout << extension << ": " << candidates.size() << " calls: " << taken << " taken by the reference, " << refused << " refused\n";
}

} // namespace

TEST(CompilerTextureTable, FragmentShaders) {
	if (!spirv_test::have_tool("spirv-val") || !spirv_test::have_tool("glslangValidator")) GTEST_SKIP() << "spirv-val or glslangValidator is not installed";
	check_stage(5, ".frag", fragment_head);
}

TEST(CompilerTextureTable, VertexShaders) {
	if (!spirv_test::have_tool("spirv-val") || !spirv_test::have_tool("glslangValidator")) GTEST_SKIP() << "spirv-val or glslangValidator is not installed";
	check_stage(1, ".vert", vertex_head);
}
