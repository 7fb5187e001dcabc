// The built-in variables of the ray-tracing stages exist in exactly the stages
// that have them: each one is read in each of the six stages, and the
// reference compiler (one run over the six stages of a name, each stage a
// module of its own) judges where it is declared. Where the reference takes
// it, it compiles here into a module spirv-val accepts for Vulkan 1.2; where
// it does not, it is refused here too.
#include "compiler_fixtures.h"
#include "shader/spirv_fixtures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

namespace {

struct Stage {
	uint32_t type; // the compiler's stage number
	const char *extension;
};

const Stage stages[] = {{9, ".rgen"}, {10, ".rmiss"}, {11, ".rchit"}, {12, ".rahit"}, {13, ".rint"}, {14, ".rcall"}};

struct Builtin {
	const char *name;
	const char *value; // a vec4 of it
};

const Builtin builtins[] = {
	{"gl_LaunchIDEXT", "vec4(gl_LaunchIDEXT, 1u)"},
	{"gl_LaunchSizeEXT", "vec4(gl_LaunchSizeEXT, 1u)"},
	{"gl_PrimitiveID", "vec4(float(gl_PrimitiveID))"},
	{"gl_InstanceID", "vec4(float(gl_InstanceID))"},
	{"gl_InstanceCustomIndexEXT", "vec4(float(gl_InstanceCustomIndexEXT))"},
	{"gl_WorldRayOriginEXT", "vec4(gl_WorldRayOriginEXT, 1.0)"},
	{"gl_WorldRayDirectionEXT", "vec4(gl_WorldRayDirectionEXT, 1.0)"},
	{"gl_ObjectRayOriginEXT", "vec4(gl_ObjectRayOriginEXT, 1.0)"},
	{"gl_ObjectRayDirectionEXT", "vec4(gl_ObjectRayDirectionEXT, 1.0)"},
	{"gl_RayTminEXT", "vec4(gl_RayTminEXT)"},
	{"gl_RayTmaxEXT", "vec4(gl_RayTmaxEXT)"},
	{"gl_IncomingRayFlagsEXT", "vec4(float(gl_IncomingRayFlagsEXT))"},
	{"gl_HitTEXT", "vec4(gl_HitTEXT)"},
	{"gl_HitKindEXT", "vec4(float(gl_HitKindEXT))"},
	{"gl_ObjectToWorldEXT", "vec4(gl_ObjectToWorldEXT[3], 1.0)"},
	{"gl_WorldToObjectEXT", "vec4(gl_WorldToObjectEXT[0], 1.0)"},
	{"gl_RayFlagsOpaqueEXT", "vec4(float(gl_RayFlagsOpaqueEXT))"},
};

std::string source_of(const Builtin &builtin) {
	return std::string("#version 460\n#extension GL_EXT_ray_tracing : require\n"
					   "layout(std430, binding = 0) buffer Out { vec4 v; } result;\n"
					   "void main() { result.v = ") +
		builtin.value + "; }\n";
}

// which of the six stages' shaders the reference compiler rejects
std::vector<bool> rejected(const std::string &source, std::string &output) {
	std::vector<std::pair<std::string, std::string>> files;
	for (const Stage &stage : stages) files.push_back({std::string("s") + stage.extension, source});
	std::vector<std::string> paths;
	output = compiler_test::run_over_files("glslangValidator --target-env vulkan1.2", files, &paths, "-o /dev/null");
	// the report names each file, then its errors
	std::vector<bool> ret(paths.size(), false);
	std::istringstream lines(output);
	std::string line;
	size_t current = paths.size();
	std::map<std::string, size_t> index;
	for (size_t i = 0; i < paths.size(); i++) index[paths[i]] = i;
	while (std::getline(lines, line)) {
		auto file = index.find(line);
		if (file != index.end()) current = file->second;
		else if (line.compare(0, 6, "ERROR:") == 0 && current < paths.size()) ret[current] = true;
	}
	return ret;
}

} // namespace

TEST(CompilerRayBuiltins, InTheStagesThatHaveThem) {
	if (!spirv_test::have_tool("spirv-val") || !spirv_test::have_tool("glslangValidator")) GTEST_SKIP() << "spirv-val or glslangValidator is not installed";
	uint32_t taken = 0;
	for (const Builtin &builtin : builtins) {
		std::string source = source_of(builtin);
		std::string output;
		std::vector<bool> refused = rejected(source, output);
		ASSERT_EQ(refused.size(), sizeof(stages) / sizeof(stages[0])) << output;
		for (size_t i = 0; i < refused.size(); i++) {
			LogCapture capture;
			Vexa::Compiler compiler;
			uint32_t offset = 0;
			bool ok = compiler.compileGLSL(stages[i].type, source.c_str(), nullptr, &offset, Vexa::Compiler::DefaultFlags & ~uint32_t(Vexa::Compiler::FlagUnused));
			std::string where = std::string(builtin.name) + " in " + stages[i].extension;
			if (refused[i]) {
				EXPECT_FALSE(ok) << where << ": the reference refuses it";
				continue;
			}
			taken++;
			ASSERT_TRUE(ok) << where << "\n" << capture.text();
			std::vector<uint32_t> words(compiler.words.get(), compiler.words.get() + compiler.words.size());
			EXPECT_EQ(spirv_test::spirv_val(words, "vulkan1.2"), "") << where;
		}
	}
	EXPECT_GT(taken, 0u);
	std::cout << taken << " of " << sizeof(builtins) / sizeof(builtins[0]) * sizeof(stages) / sizeof(stages[0]) << " uses taken by the reference\n";
}
