// The built-ins that synchronise, share work between invocations or map onto
// one instruction, and the task, mesh, ray-tracing and ray-query calls,
// judged by the reference compiler in the stages they belong to (and in
// others, where they must be refused): each candidate call, with arguments of
// every kind (bools, ints, uints, floats, doubles; scalars and vectors), goes
// into a shader of its own; the reference compiles all the shaders of a stage
// in one run. Every call the reference takes compiles here into a module that
// spirv-val accepts for the environment of the module's version; a call it
// refuses is refused here, except this compiler's own built-ins, which must
// still make valid modules.
#include "compiler_fixtures.h"
#include "shader/spirv_fixtures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>

namespace {

using compiler_test::Compiled;
using compiler_test::compile;

// the Vulkan environment a module of this SPIR-V version is for
std::string environment(const std::vector<uint32_t> &words) {
	uint32_t version = words.size() > 1 ? words[1] : 0;
	if (version >= 0x10600u) return "vulkan1.3";
	if (version >= 0x10500u) return "vulkan1.2";
	if (version >= 0x10400u) return "vulkan1.1spv1.4";
	if (version >= 0x10300u) return "vulkan1.1";
	return "vulkan1.0";
}

// locals of every kind, declared in every shader
const char *const locals =
	"  bool b = flag; int i = int(flag); uint u = uint(i); float f = float(i); double d = double(f);\n"
	"  bvec2 bv = bvec2(b); ivec2 iv = ivec2(i); uvec2 uv = uvec2(u); vec2 fv = vec2(f); vec3 f3 = vec3(f); vec4 f4 = vec4(f);\n"
	"  uvec4 u4 = uvec4(u); mat2x3 m23 = mat2x3(f); uint64_t u64 = uint64_t(u);\n";

// values of each kind for the generic arguments
const char *const values[] = {"b", "i", "u", "f", "d", "bv", "iv", "uv", "fv", "f4"};

const char *const extensions =
	"#extension GL_KHR_shader_subgroup_basic : enable\n"
	"#extension GL_KHR_shader_subgroup_vote : enable\n"
	"#extension GL_KHR_shader_subgroup_arithmetic : enable\n"
	"#extension GL_KHR_shader_subgroup_ballot : enable\n"
	"#extension GL_KHR_shader_subgroup_shuffle : enable\n"
	"#extension GL_KHR_shader_subgroup_shuffle_relative : enable\n"
	"#extension GL_KHR_shader_subgroup_clustered : enable\n"
	"#extension GL_KHR_shader_subgroup_quad : enable\n"
	"#extension GL_ARB_shader_ballot : enable\n"
	"#extension GL_ARB_gpu_shader_int64 : enable\n"
	"#extension GL_EXT_ray_query : enable\n";

// the resources every shader declares (flag stands for a value the
// compilers can't fold)
const char *const resources =
	"layout(std430, binding = 0) buffer B { int bi; uint bu; float bf; ivec2 biv; bool flag; };\n"
	"layout(binding = 1, r32ui) uniform uimage2D iu;\n"
	"layout(binding = 2, r32i) uniform iimage2D ii;\n"
	"layout(binding = 3, r32f) uniform image2D if32;\n"
	"layout(binding = 4) uniform texture2D tex;\n"
	"layout(binding = 5) uniform sampler smp;\n"
	"layout(binding = 6) uniform accelerationStructureEXT tlas;\n";

struct Stage {
	const char *name;
	uint32_t type; // of compileGLSL
	const char *extension;
	const char *head; // after #version, the extensions and the resources
	bool shared;      // has shared variables
};

const Stage stages[] = {
	{"compute", 6, ".comp", "layout(local_size_x = 8) in;\n", true},
	{"fragment", 5, ".frag", "layout(location = 0) out vec4 o;\n", false},
	{"vertex", 1, ".vert", "", false},
	{"tessellation control", 2, ".tesc", "layout(vertices = 3) out;\n", false},
	{"geometry", 4, ".geom", "layout(points) in;\nlayout(points, max_vertices = 4) out;\n", false},
	{"task", 7, ".task", "#extension GL_EXT_mesh_shader : enable\nlayout(local_size_x = 8) in;\ntaskPayloadSharedEXT uint payload;\n", true},
	{"mesh", 8, ".mesh",
		"#extension GL_EXT_mesh_shader : enable\nlayout(local_size_x = 8) in;\nlayout(triangles, max_vertices = 3, max_primitives = 1) out;\n", true},
	{"ray generation", 9, ".rgen",
		"#extension GL_EXT_ray_tracing : enable\nlayout(location = 0) rayPayloadEXT vec4 pay;\nlayout(location = 1) callableDataEXT vec4 data;\n", false},
	{"miss", 10, ".rmiss",
		"#extension GL_EXT_ray_tracing : enable\nlayout(location = 0) rayPayloadEXT vec4 pay;\nlayout(location = 1) rayPayloadInEXT vec4 incoming;\n"
		"layout(location = 1) callableDataEXT vec4 data;\n",
		false},
	{"closest hit", 11, ".rchit",
		"#extension GL_EXT_ray_tracing : enable\nlayout(location = 0) rayPayloadEXT vec4 pay;\nlayout(location = 1) rayPayloadInEXT vec4 incoming;\n"
		"layout(location = 1) callableDataEXT vec4 data;\nhitAttributeEXT vec2 attributes;\n",
		false},
	{"any hit", 12, ".rahit", "#extension GL_EXT_ray_tracing : enable\nlayout(location = 1) rayPayloadInEXT vec4 incoming;\nhitAttributeEXT vec2 attributes;\n", false},
	{"intersection", 13, ".rint", "#extension GL_EXT_ray_tracing : enable\nhitAttributeEXT vec2 attributes;\n", false},
	{"callable", 14, ".rcall",
		"#extension GL_EXT_ray_tracing : enable\nlayout(location = 0) callableDataInEXT vec4 incoming;\nlayout(location = 1) callableDataEXT vec4 data;\n", false},
};

bool is(const Stage &stage, const char *name) { return std::string(stage.name) == name; }

void PrintTo(const Stage &stage, std::ostream *out) { *out << stage.name; }

// the candidate calls of a stage: statements
std::vector<std::string> candidates(const Stage &stage) {
	std::vector<std::string> ret;
	auto add = [&ret](const std::string &call) { ret.push_back(call); };
	bool full = is(stage, "compute") || is(stage, "fragment");

	// barriers: everywhere, to be refused where they don't belong
	for (const char *call : {"barrier()", "memoryBarrier()", "memoryBarrierShared()", "memoryBarrierBuffer()", "memoryBarrierImage()",
			 "groupMemoryBarrier()", "subgroupBarrier()", "subgroupMemoryBarrier()", "subgroupMemoryBarrierShared()",
			 "subgroupMemoryBarrierBuffer()", "subgroupMemoryBarrierImage()", "barrier(1)"}) {
		add(call);
	}
	// geometry emission, derivatives, task and mesh outputs, ray calls: in
	// every stage, taken only in their own
	for (const char *call : {"EmitVertex()", "EndPrimitive()", "EmitStreamVertex(0)", "EndStreamPrimitive(0)", "EmitVertex(1)",
			 "EmitStreamVertex(i)", "EmitStreamVertex(1.0)"}) {
		add(call);
	}
	for (const char *name : {"dFdx", "dFdy", "fwidth", "dFdxFine", "dFdyFine", "fwidthFine", "dFdxCoarse", "dFdyCoarse", "fwidthCoarse"}) {
		for (const char *value : full ? std::vector<const char *>{"f", "fv", "f3", "f4", "i", "iv", "d", "b"} : std::vector<const char *>{"f"}) {
			add(std::string(name) + "(" + value + ")");
		}
	}
	for (const char *call : {"EmitMeshTasksEXT(1u, 1u, 1u)", "EmitMeshTasksEXT(1, 2, 3)", "EmitMeshTasksEXT(u, u, u)", "EmitMeshTasksEXT(1.0, 1.0, 1.0)",
			 "EmitMeshTasksEXT(1u, 1u)", "SetMeshOutputsEXT(3u, 1u)", "SetMeshOutputsEXT(3, 1)", "SetMeshOutputsEXT(u, u)", "SetMeshOutputsEXT(3.0, 1.0)",
			 "SetMeshOutputsEXT(3u)"}) {
		add(call);
	}
	const std::string ray = "tlas, gl_RayFlagsOpaqueEXT, 0xffu, 0u, 0u, 0u, f3, 0.0, f3, 1.0, ";
	for (const std::string &call : std::vector<std::string>{"traceRayEXT(" + ray + "0)", "traceRayEXT(" + ray + "i)", "traceRayEXT(" + ray + "5)",
			 "traceRayEXT(tlas, 1, 255, 0, 0, 0, f3, 0.0, f3, 1.0, 0)", "traceRayEXT(tlas, 1u, 255u, 0u, 0u, 0u, fv, 0.0, f3, 1.0, 0)",
			 "traceRayEXT(tlas, 1u, 255u, 0u, 0u, 0u, f3, 0.0, f3, 1.0)", "executeCallableEXT(0u, 1)", "executeCallableEXT(u, 1)",
			 "executeCallableEXT(0u, i)", "executeCallableEXT(0, 1)", "executeCallableEXT(0u)", "reportIntersectionEXT(1.0, 0u)",
			 "reportIntersectionEXT(f, u)", "reportIntersectionEXT(1, 0)", "reportIntersectionEXT(1.0)", "ignoreIntersectionEXT",
			 "terminateRayEXT", "ignoreIntersectionEXT()", "terminateRayEXT()"}) {
		add(call);
	}
	if (!full && !is(stage, "task") && !is(stage, "mesh")) return ret;

	// memory atomics on buffer members and shared variables, with values of
	// each kind
	std::vector<std::string> memories = {"bi", "bu", "bf", "biv.x", "biv", "i"};
	if (stage.shared) memories.insert(memories.end(), {"si", "su", "sf", "sia[1]"});
	for (const char *operation : {"Add", "Sub", "Min", "Max", "And", "Or", "Xor", "Exchange"}) {
		for (const std::string &memory : memories) {
			for (const char *value : {"i", "u", "f", "1", "b"}) add(std::string("atomic") + operation + "(" + memory + ", " + value + ")");
		}
		add(std::string("atomic") + operation + "(bi)");
	}
	for (const std::string &memory : memories) {
		for (const char *pair : {"i, 2", "u, 2u", "f, 2.0", "1, u"}) add("atomicCompSwap(" + memory + ", " + pair + ")");
		for (const char *operation : {"Load", "Increment", "Decrement"}) add(std::string("atomic") + operation + "(" + memory + ")");
		add("atomicStore(" + memory + ", 1)");
		add("atomicCompSwap(" + memory + ", 1)");
	}
	// image atomics
	for (const char *image : {"iu", "ii", "if32"}) {
		for (const char *operation : {"Add", "Sub", "Min", "Max", "And", "Or", "Xor", "Exchange"}) {
			for (const char *value : {"i", "u", "f"}) add(std::string("imageAtomic") + operation + "(" + image + ", iv, " + value + ")");
		}
		add(std::string("imageAtomicAdd(") + image + ", fv, 1)");
		add(std::string("imageAtomicCompSwap(") + image + ", iv, 1, 2)");
		add(std::string("imageAtomicCompSwap(") + image + ", iv, 1u, 2u)");
		add(std::string("imageAtomicIncrement(") + image + ", iv)");
		add(std::string("imageAtomicDecrement(") + image + ", iv)");
	}
	if (!full) return ret;

	// subgroup operations of one value, of every kind
	std::vector<std::string> one = {"subgroupAll", "subgroupAny", "subgroupAllEqual", "subgroupBroadcastFirst", "subgroupBallot",
		"subgroupInverseBallot", "subgroupBallotBitCount", "subgroupBallotInclusiveBitCount", "subgroupBallotExclusiveBitCount",
		"subgroupBallotFindLSB", "subgroupBallotFindMSB", "subgroupQuadSwapHorizontal", "subgroupQuadSwapVertical", "subgroupQuadSwapDiagonal",
		"ballotARB", "readFirstInvocationARB", "anyInvocation", "allInvocations", "allInvocationsEqual", "ballot", "readFirstInvocation"};
	for (const char *operation : {"Add", "Mul", "Min", "Max", "And", "Or", "Xor"}) {
		for (const char *form : {"", "Inclusive", "Exclusive"}) one.push_back(std::string("subgroup") + form + operation);
	}
	for (const std::string &name : one) {
		for (const char *value : values) add(name + "(" + value + ")");
		add(name + "(u4)");
	}
	add("subgroupElect()");
	add("subgroupElect(b)");
	// of a value and an invocation, a delta, a mask or a cluster size
	for (const char *name : {"subgroupBroadcast", "subgroupShuffle", "subgroupShuffleXor", "subgroupShuffleUp", "subgroupShuffleDown",
			 "subgroupQuadBroadcast", "readInvocationARB", "readInvocation"}) {
		for (const char *value : values) add(std::string(name) + "(" + value + ", 1u)");
		add(std::string(name) + "(f, u)");
		add(std::string(name) + "(f, 1.0)");
		add(std::string(name) + "(f)");
	}
	for (const char *operation : {"Add", "Mul", "Min", "Max", "And", "Or", "Xor"}) {
		for (const char *value : values) add(std::string("subgroupClustered") + operation + "(" + value + ", 2u)");
		for (const char *size : {"u", "3u", "0u"}) add(std::string("subgroupClustered") + operation + "(i, " + size + ")");
	}
	for (const char *call : {"subgroupBallotBitExtract(u4, u)", "subgroupBallotBitExtract(u4, 1)", "subgroupBallotBitExtract(uv, u)",
			 "subgroupBallotBitExtract(u4)", "subgroupBallotBitExtract(u4, f)"}) {
		add(call);
	}

	// the one-instruction built-ins
	for (const char *value : {"f", "fv", "f4", "i", "iv", "u", "d", "b"}) {
		for (const char *name : {"floatBitsToInt", "floatBitsToUint", "intBitsToFloat", "uintBitsToFloat", "isnan", "isinf", "bitfieldReverse",
				 "bitCount", "any", "all", "not"}) {
			add(std::string(name) + "(" + value + ")");
		}
	}
	for (const char *call : {"intBitsToFloat(uv)", "uintBitsToFloat(iv)", "isnan(d)", "any(bv)", "all(bv)", "not(bv)", "bitCount(uv)"}) add(call);
	for (const char *pair : {"f, f", "fv, fv", "fv, f", "f, fv", "i, i", "d, d", "f4, f4", "iv, iv", "f3, f4", "b, b"}) {
		add(std::string("mod(") + pair + ")");
		add(std::string("dot(") + pair + ")");
	}
	for (const char *name : {"lessThan", "lessThanEqual", "greaterThan", "greaterThanEqual", "equal", "notEqual"}) {
		for (const char *pair : {"fv, fv", "iv, iv", "uv, uv", "bv, bv", "f, f", "fv, iv", "f3, f3", "fv, f3"}) add(std::string(name) + "(" + pair + ")");
	}
	for (const char *call : {"bitfieldExtract(i, 1, 2)", "bitfieldExtract(uv, 1, 2)", "bitfieldExtract(u, u, u)", "bitfieldExtract(f, 1, 2)",
			 "bitfieldExtract(i, 1)", "bitfieldInsert(i, i, 1, 2)", "bitfieldInsert(uv, uv, 0, 3)", "bitfieldInsert(u, i, 1, 2)",
			 "bitfieldInsert(f, f, 1, 2)", "bitfieldInsert(iv, iv, u, u)", "outerProduct(fv, f3)", "outerProduct(f3, f4)", "outerProduct(f, f)",
			 "outerProduct(iv, iv)", "outerProduct(fv)", "transpose(m23)", "transpose(mat4(f))", "transpose(f4)", "transpose(m23, m23)",
			 "sampler2D(tex, smp)", "sampler2D(tex)", "sampler2D(smp, tex)", "sampler3D(tex, smp)", "sampler2DShadow(tex, smp)",
			 "textureSize(sampler2D(tex, smp), 0)"}) {
		add(call);
	}

	// ray queries
	const std::string query = "rayQueryInitializeEXT(rq, tlas, gl_RayFlagsNoneEXT, 0xffu, f3, 0.0, f3, 1.0)";
	for (const std::string &call : std::vector<std::string>{query, "rayQueryInitializeEXT(rq, tlas, 0, 255, f3, 0.0, f3, 1.0)",
			 "rayQueryInitializeEXT(rq, tlas, 0u, 255u, fv, 0.0, f3, 1.0)", "rayQueryInitializeEXT(rq, tlas, 0u, 255u, f3, 0.0, f3)",
			 "rayQueryProceedEXT(rq)", "rayQueryProceedEXT(rq, true)", "rayQueryTerminateEXT(rq)", "rayQueryGenerateIntersectionEXT(rq, 1.0)",
			 "rayQueryGenerateIntersectionEXT(rq, 1)", "rayQueryGenerateIntersectionEXT(rq)", "rayQueryConfirmIntersectionEXT(rq)",
			 "rayQueryProceedEXT(f)"}) {
		add(call);
	}
	for (const char *name : {"rayQueryGetIntersectionTypeEXT", "rayQueryGetIntersectionTEXT", "rayQueryGetIntersectionInstanceCustomIndexEXT",
			 "rayQueryGetIntersectionInstanceIdEXT", "rayQueryGetIntersectionInstanceShaderBindingTableRecordOffsetEXT",
			 "rayQueryGetIntersectionGeometryIndexEXT", "rayQueryGetIntersectionPrimitiveIndexEXT", "rayQueryGetIntersectionBarycentricsEXT",
			 "rayQueryGetIntersectionFrontFaceEXT", "rayQueryGetIntersectionObjectRayDirectionEXT", "rayQueryGetIntersectionObjectRayOriginEXT",
			 "rayQueryGetIntersectionObjectToWorldEXT", "rayQueryGetIntersectionWorldToObjectEXT"}) {
		for (const char *committed : {"true", "false", "b", "1"}) add(std::string(name) + "(rq, " + committed + ")");
		add(std::string(name) + "(rq)");
	}
	for (const char *name : {"rayQueryGetRayTMinEXT", "rayQueryGetRayFlagsEXT", "rayQueryGetWorldRayDirectionEXT", "rayQueryGetWorldRayOriginEXT",
			 "rayQueryGetIntersectionCandidateAABBOpaqueEXT"}) {
		add(std::string(name) + "(rq)");
		add(std::string(name) + "(rq, true)");
	}
	return ret;
}

// Where this compiler and the reference part, known and to be mended (or
// judged): calls the reference takes and this compiler refuses (Refused), or
// the other way round (Taken). A row that no longer parts from the reference
// in a stage where it matches calls fails, so that it is taken off.
struct Parting {
	enum Way { Refused, Taken } way;
	const char *calls; // a regular expression of the whole call
	const char *why;
	const char *stage = nullptr; // the only stage it is of, or all
};

const Parting partings[] = {
	// the reference is lax here: what it makes of them is no valid module
	{Parting::Refused, R"((dFdx|dFdy|fwidth)\w*\(d\))", "derivatives of doubles: the reference's module fails spirv-val"},
	{Parting::Refused, R"(EmitStreamVertex\(i\))", "a stream that is no constant: SPIR-V wants a constant"},
	{Parting::Refused, R"(subgroup(Quad)?Broadcast\(f, u\))", "an invocation that is no constant: SPIR-V 1.5, beyond this compiler's 1.3"},
	// taken here, though GLSL has no such forms
	{Parting::Taken, R"((any|all|not)\(b\))", "any, all and not of a bool scalar"},
	{Parting::Taken, R"((lessThan|lessThanEqual|greaterThan|greaterThanEqual|equal|notEqual)\(f, f\))", "vector relations of scalars"},
	{Parting::Taken, R"((dot|mod)\((f, fv|fv, f)\))", "dot and mod of a scalar and a vector"},
	{Parting::Taken, R"((int|uint)BitsToFloat\((b|u|uv)\))", "bit casts of the other integer kind or of bools"},
	{Parting::Taken, R"(bitfield(Extract|Insert)\(.*u, u\))", "uint offsets and bit counts of bit fields"},
	{Parting::Taken, R"((ignoreIntersectionEXT|terminateRayEXT)\(\))", "ignoreIntersectionEXT and terminateRayEXT as calls", "any hit"},
};

// This compiler's own built-ins, beyond GLSL: the reference refuses them.
bool own_builtin(const std::string &call) {
	for (const char *name : {"atomicSub(", "atomicLoad(", "atomicStore(", "atomicIncrement(", "atomicDecrement(", "imageAtomicSub(",
			 "imageAtomicIncrement(", "imageAtomicDecrement(", "ballot(", "readInvocation(", "readFirstInvocation("}) {
		if (call.compare(0, std::strlen(name), name) == 0) return true;
	}
	return false;
}

std::string shader_text(const Stage &stage, const std::string &call) {
	std::string ret = std::string("#version 460\n") + extensions + stage.head + resources;
	if (stage.shared) ret += "shared int si; shared uint su; shared float sf; shared int sia[4];\n";
	ret += "void main() {\n";
	ret += locals;
	if (call.compare(0, 8, "rayQuery") == 0) ret += "  rayQueryEXT rq;\n";
	ret += "  " + call + ";\n}\n";
	return ret;
}

// which of the shaders of one stage the reference compiler refuses, by the
// errors its one run gives each file (it links the files of a stage
// together, so the link's complaint of many entry points is no one file's)
std::vector<bool> rejected_shaders(const std::vector<std::string> &shaders, const char *extension, std::string &output) {
	std::vector<std::pair<std::string, std::string>> files;
	for (size_t i = 0; i < shaders.size(); i++) files.push_back({"c" + std::to_string(i) + extension, shaders[i]});
	std::vector<std::string> paths;
	output = compiler_test::run_over_files("glslangValidator --target-env vulkan1.3", files, &paths, "-o /dev/null");
	std::vector<bool> ret(shaders.size(), false);
	if (paths.empty()) return ret;
	std::istringstream lines(output);
	std::string line;
	// "ERROR: <folder>/c<index><extension>:<line>: ..."
	const std::string prefix = "ERROR: " + paths[0].substr(0, paths[0].rfind('/') + 1) + "c";
	while (std::getline(lines, line)) {
		if (line.compare(0, prefix.size(), prefix) == 0) {
			size_t index = std::strtoul(line.c_str() + prefix.size(), nullptr, 10);
			if (index < shaders.size()) ret[index] = true;
		}
	}
	return ret;
}

void check_stage(const Stage &stage) {
	std::vector<std::string> calls = candidates(stage);
	std::vector<std::string> shaders;
	for (const std::string &call : calls) shaders.push_back(shader_text(stage, call));
	std::string output;
	std::vector<bool> rejected = rejected_shaders(shaders, stage.extension, output);
	ASSERT_EQ(rejected.size(), shaders.size()) << output;

	uint32_t taken = 0, refused = 0;
	std::vector<uint32_t> matched(std::size(partings), 0), parted(std::size(partings), 0);
	std::vector<std::regex> patterns;
	for (const Parting &parting : partings) patterns.emplace_back(parting.calls);
	for (size_t i = 0; i < calls.size(); i++) {
		const std::string &call = calls[i];
		Compiled compiled = compile(stage.type, shaders[i]);
		taken += !rejected[i];
		refused += rejected[i];
		bool parts = rejected[i] ? compiled.ok && !own_builtin(call) : !compiled.ok;
		const Parting *known = nullptr;
		for (size_t k = 0; k < std::size(partings) && known == nullptr; k++) {
			if (partings[k].stage != nullptr && !is(stage, partings[k].stage)) continue;
			if ((partings[k].way == Parting::Refused) != rejected[i] && std::regex_match(call, patterns[k])) {
				known = &partings[k];
				matched[k]++;
				parted[k] += parts;
			}
		}
		if (parts && known == nullptr) {
			if (rejected[i]) ADD_FAILURE() << stage.name << ": the reference refuses " << call;
			else ADD_FAILURE() << stage.name << ": the reference takes " << call << "\n" << compiled.log;
		}
		if (compiled.ok) {
			EXPECT_EQ(spirv_test::spirv_val(compiled.words, environment(compiled.words)), "") << stage.name << ": " << call;
		}
	}
	for (size_t k = 0; k < std::size(partings); k++) {
		if (matched[k] == 0) continue;
		EXPECT_GT(parted[k], 0u) << stage.name << ": agrees with the reference now (" << partings[k].why << "): take the row off";
		if (parted[k] > 0) {
			std::cout << stage.name << ": " << parted[k] << " calls part from the reference, known: " << partings[k].why << "\n";
		}
	}
	ASSERT_GT(taken, 0u) << "the reference took no call, which can't be:\n" << output;
	ASSERT_GT(refused, 0u) << "the reference took every call, which can't be:\n" << output;
	std::cout << stage.name << ": " << calls.size() << " calls: " << taken << " taken by the reference, " << refused << " refused\n";
}

} // namespace

class CompilerBuiltinTable : public testing::TestWithParam<Stage> {};

TEST_P(CompilerBuiltinTable, AsTheReference) {
	if (!spirv_test::have_tool("spirv-val") || !spirv_test::have_tool("glslangValidator")) GTEST_SKIP() << "spirv-val or glslangValidator is not installed";
	check_stage(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Stages, CompilerBuiltinTable, testing::ValuesIn(stages), [](const testing::TestParamInfo<Stage> &info) {
	std::string name;
	for (const char *c = info.param.name; *c != 0; c++) {
		if (*c != ' ') name += *c;
	}
	return name;
});
