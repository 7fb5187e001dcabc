// Names of the GLSL backend that a module may take from the renderer's own:
// functions, structures, blocks, members and variables named after every
// helper the renderer writes and every pattern of name that it generates,
// with the operations that make it write those helpers. Each text of both
// formats must be one that the reference compiler takes.
#include "backends/backend_fixtures.h"

#include <gtest/gtest.h>

namespace {

using namespace backend_test;

bool have_tools() {
	return have_tool("glslangValidator") && have_tool("spirv-as") && have_tool("spirv-val");
}

// the module of a fragment shader, with NaN-keeping min, max and clamp
std::vector<uint32_t> compile_fragment(const std::string &source) {
	std::string input = temp_path("names.frag");
	std::string output = temp_path("names.spv");
	std::ofstream(input) << source;
	std::string errors;
	bool ok = run("glslangValidator -V --nan-clamp --target-env vulkan1.0 -o " + output + " " + input, &errors);
	EXPECT_TRUE(ok) << errors << source;
	std::vector<uint32_t> words = ok ? read_words(output) : std::vector<uint32_t>();
	std::remove(input.c_str());
	std::remove(output.c_str());
	return words;
}

// renders both formats of a fragment module; every text is checked
void expect_accepted(const std::vector<uint32_t> &words, const char *what) {
	ASSERT_FALSE(words.empty()) << what;
	std::string module = temp_path("names_module.spv");
	spirv_test::write_words(module, words);
	Rendering gl = render_module("-f", module, "-glsl");
	Rendering es = render_module("-f", module, "-glsles");
	std::remove(module.c_str());
	EXPECT_EQ(gl.status, 0) << what << gl.err;
	EXPECT_EQ(es.status, 0) << what << es.err;
	std::vector<std::string> complaints = check_texts(glsl_checker("frag"), {{"gl.frag", gl.text}, {"es.frag", es.text}});
	EXPECT_EQ(complaints[0], "") << what << "\n" << gl.text;
	EXPECT_EQ(complaints[1], "") << what << "\n" << es.text;
}

// every helper of the renderer's, and the generated forms: "_f<id>" of the
// fragment stage, "<name>_<id>" of renamed globals, "<name>_v<id>" of
// renamed values, "<name>_next" of Phi shadows, "u_<name>" of built-in forms
const char *const helper_names_source = R"(#version 450
struct _frem { float _nmax; int _srem; };
struct _modf_float { float _frexp_float_uint; };
layout(set = 0, binding = 0) uniform _fordne { vec4 _funordeq; ivec2 _smod; } _funordlt;
layout(set = 0, binding = 1) uniform Loose { vec4 _funordgt; float _nmin_next; };
layout(location = 0) flat in int k;
layout(location = 1) in vec4 x;
layout(location = 0) out vec4 o;
int _smod(int a, int b) { return a + b; }
float _srem(float a) { return a * 2.0; }
vec4 _nmin(vec4 a) { return a.yxwz; }
float _modf_ResType(float a) { return a + 1.0; }
float _frexp_ResType(float a) { return a - 1.0; }
int _fmod(int a) { return a * 3; }
int _f15(int a) { return a - 5; }
float main_1(float a) { return -a; }
void main() {
	_frem _nmax = _frem(x.x, k);
	_modf_float _funordle = _modf_float(x.y);
	int _funordge = _smod(k, 2) + (k % 3) + (_funordlt._smod.x % k) + _fmod(k) + _f15(k);
	ivec2 _frem_v5 = _funordlt._smod % ivec2(k + 1);
	float _nmax_next = mod(x.y, 3.0) + _srem(x.z) + _modf_ResType(x.w) + _frexp_ResType(_funordle._frexp_float_uint) + main_1(_nmax._nmax);
	vec4 m = _nmin(min(x, _funordlt._funordeq)) + max(x, _funordgt) + clamp(x, 0.0, _nmin_next);
	float whole;
	float part = modf(x.z, whole);
	int e;
	float mantissa = frexp(x.w, e);
	bool differ = x.x != _funordgt.y;
	o = m + vec4(float(_funordge + _frem_v5.x + _nmax._srem + e), _nmax_next + part + whole, mantissa, differ ? 1.0 : 0.0);
}
)";

TEST(GLSLNames, ModuleNamesAfterHelpersAndGeneratedNames) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator or the SPIR-V tools are not installed";
	expect_accepted(compile_fragment(helper_names_source), "helper names");
}

// Two variables of one block type, whose second is declared again under the
// generated name "B_15", and a third block's instance that has that name;
// a Phi named after a shadow's form beside a Phi whose shadow takes it, in a
// loop that swaps them; the unordered and ordered comparisons that the
// reference compiler does not make from GLSL, with functions of their names.
const char *const generated_names_module = R"(
OpCapability Shader
OpMemoryModel Logical GLSL450
OpEntryPoint Fragment %main "main" %o %k
OpExecutionMode %main OriginUpperLeft
OpName %main "main"
OpName %o "o"
OpName %k "k"
OpName %B "B"
OpMemberName %B 0 "v"
OpName %first "first"
OpName %C "C"
OpMemberName %C 0 "w"
OpName %third "B_15"
OpName %a "a"
OpName %b "a_next"
OpName %cmp "_funordlt"
OpName %ne "_fordne"
OpDecorate %o Location 0
OpDecorate %k Location 0
OpDecorate %k Flat
OpDecorate %B Block
OpMemberDecorate %B 0 Offset 0
OpDecorate %C Block
OpMemberDecorate %C 0 Offset 0
OpDecorate %first DescriptorSet 0
OpDecorate %first Binding 0
OpDecorate %21 DescriptorSet 0
OpDecorate %21 Binding 1
OpDecorate %third DescriptorSet 0
OpDecorate %third Binding 2
%void = OpTypeVoid
%fn = OpTypeFunction %void
%float = OpTypeFloat 32
%bool = OpTypeBool
%v4 = OpTypeVector %float 4
%int = OpTypeInt 32 1
%fnf = OpTypeFunction %float %float
%po = OpTypePointer Output %v4
%pk = OpTypePointer Input %int
%o = OpVariable %po Output
%k = OpVariable %pk Input
%B = OpTypeStruct %v4
%C = OpTypeStruct %v4
%pB = OpTypePointer Uniform %B
%pC = OpTypePointer Uniform %C
%first = OpVariable %pB Uniform
%21 = OpVariable %pB Uniform
%third = OpVariable %pC Uniform
%zero = OpConstant %int 0
%one = OpConstant %int 1
%f1 = OpConstant %float 1
%f2 = OpConstant %float 2
%pv = OpTypePointer Uniform %v4
%cmp = OpFunction %float None %fnf
%cp = OpFunctionParameter %float
%cl = OpLabel
%cr = OpFAdd %float %cp %f1
OpReturnValue %cr
OpFunctionEnd
%ne = OpFunction %float None %fnf
%np = OpFunctionParameter %float
%nl = OpLabel
%nr = OpFMul %float %np %f2
OpReturnValue %nr
OpFunctionEnd
%main = OpFunction %void None %fn
%entry = OpLabel
%kv = OpLoad %int %k
%a1 = OpAccessChain %pv %first %zero
%a2 = OpAccessChain %pv %21 %zero
%a3 = OpAccessChain %pv %third %zero
%l1 = OpLoad %v4 %a1
%l2 = OpLoad %v4 %a2
%l3 = OpLoad %v4 %a3
%x1 = OpCompositeExtract %float %l1 0
%x2 = OpCompositeExtract %float %l2 0
OpBranch %header
%header = OpLabel
%a = OpPhi %float %x1 %entry %b %body
%b = OpPhi %float %x2 %entry %a %body
%i = OpPhi %int %zero %entry %inext %body
%lt = OpSLessThan %bool %i %kv
OpLoopMerge %exit %body None
OpBranchConditional %lt %body %exit
%body = OpLabel
%inext = OpIAdd %int %i %one
OpBranch %header
%exit = OpLabel
%u = OpFUnordLessThan %bool %a %b
%n = OpFOrdNotEqual %bool %a %b
%ca = OpFunctionCall %float %cmp %a
%cb = OpFunctionCall %float %ne %b
%s1 = OpSelect %float %u %ca %cb
%s2 = OpSelect %float %n %s1 %f1
%s3 = OpVectorTimesScalar %v4 %l3 %s2
OpStore %o %s3
OpReturn
OpFunctionEnd
)";

TEST(GLSLNames, GeneratedBlockAndShadowNamesStayApart) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator or the SPIR-V tools are not installed";
	std::vector<uint32_t> words = spirv_test::assemble(generated_names_module, "vulkan1.0");
	ASSERT_EQ(spirv_test::spirv_val(words, "vulkan1.0"), "");
	expect_accepted(words, "generated names");
}

} // namespace
