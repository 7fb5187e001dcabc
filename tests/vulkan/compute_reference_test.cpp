// Kernels on which this program and the reference compiler once parted ways:
// each is compiled through the whole front end (preprocessor and compiler, as
// `shader` reads a file) and by the reference compiler, both modules run on
// the CPU Vulkan device over the same buffers, and every output word must be
// the same. Each kernel also writes values it can check on its own run.
#include "compute_runner.h"
#include "own_compiler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace vulkan_test;

namespace {

struct Case {
	const char *name;
	const char *source; // a whole compute shader with one output buffer at binding 0
	uint32_t words;     // the output buffer's size in words
	// words the kernel must write, whatever the reference does: index and value
	std::vector<std::pair<uint32_t, uint32_t>> expected;
};

// the head of most kernels: one invocation writing the words of a buffer
#define WORDS_KERNEL \
	"#version 450\n" \
	"layout(local_size_x = 1) in;\n" \
	"layout(std430, binding = 0) buffer Out { uint o[]; };\n"
// writes a double as its two words
#define PUT_DOUBLE "void put(uint i, double d) { uvec2 x = unpackDouble2x32(d); o[i] = x.x; o[i + 1] = x.y; }\n"

const Case cases[] = {
	// preprocessing
	{"substituted text keeps its tokens apart",
		"#version 450\n"
		"layout(local_size_x = 1) in;\n"
		"layout(std430, binding = 0) buffer Out { int o[8]; };\n"
		"#define NEG(x) -x\n"
		"#define MINUS -\n"
		"void main() {\n"
		"\tint a = 5;\n"
		"\tint b = NEG(-a);\n"
		"\to[0] = b;\n"
		"\to[1] = a;\n"
		"\tint c = 7;\n"
		"\to[2] = c-MINUS-2;\n"
		"\to[3] = c;\n"
		"}\n",
		4, {{0, 5}, {1, 5}, {2, 5}, {3, 7}}},
	{"an argument stays apart from the value after it",
		"#version 450\n"
		"layout(local_size_x = 1) in;\n"
		"layout(std430, binding = 0) buffer Out { int o[4]; };\n"
		"#define POST(x) x-\n"
		"#define ID(x) x\n"
		"void main() {\n"
		"\tint c = 7;\n"
		"\to[0] = POST(c)-1;\n"
		"\to[1] = c ID(-)-1;\n"
		"\to[2] = c;\n"
		"}\n",
		4, {{0, 8}, {1, 8}, {2, 7}}},
	{"predefined macros",
		"#version 450\n"
		"layout(local_size_x = 1) in;\n"
		"layout(std430, binding = 0) buffer Out { int o[8]; };\n"
		"void main() {\n"
		"#if __VERSION__ >= 450\n"
		"\to[0] = __VERSION__;\n"
		"#endif\n"
		"#ifdef VULKAN\n"
		"\to[1] = VULKAN;\n"
		"#endif\n"
		"#if defined(GL_core_profile) && !defined(GL_ES)\n"
		"\to[2] = GL_core_profile;\n"
		"#endif\n"
		"#if GL_KHR_shader_subgroup_basic && defined(GL_EXT_nonuniform_qualifier) && GL_ARB_shader_ballot == 1 && GL_EXT_shader_atomic_float\n"
		"\to[3] = 1;\n"
		"#endif\n"
		"\to[4] = __LINE__;\n"
		"}\n",
		8, {{0, 450}, {1, 100}, {2, 1}, {3, 1}, {4, 17}}},
	{"line continuations, #if operators, #line and function-like names alone",
		"#version 450\n"
		"layout(local_size_x = 1) in;\n"
		"layout(std430, binding = 0) buffer Out { int o[8]; };\n"
		"#define SUM(a, b) \\\n"
		"\t((a) + \\\n"
		"\t (b))\n"
		"#define FLAGS (1 << 3 | 1 << 1)\n"
		"#define F(x) (x * 2)\n"
		"void main() {\n"
		"\to[0] = SUM(2, 3);\n"
		"\tint long_na\\\n"
		"me = 4;\n"
		"\to[1] = long_name;\n"
		"#if -1 < 0 && (FLAGS & 8) && (FLAGS ^ 2) == 8 && ~0 == -1 && (FLAGS >> 1) == 5 && 7 % 4 == 3 && !!1\n"
		"\to[2] = FLAGS;\n"
		"#endif\n"
		"\tint F = 3;\n"
		"\to[3] = F(F);\n"
		"#line 100\n"
		"\to[4] = __LINE__;\n"
		"\to[5] = 1; \\\n"
		"\to[6] = __LINE__;\n"
		"\to[7] = __LINE__;\n"
		"}\n",
		8, {{0, 5}, {1, 4}, {2, 10}, {3, 6}, {4, 100}, {5, 1}, {7, 103}}},
	{"octal and hexadecimal numbers in #if, #line with expressions",
		"#version 450\n"
		"layout(local_size_x = 1) in;\n"
		"layout(std430, binding = 0) buffer Out { int o[8]; };\n"
		"#define L 5\n"
		"#define SRC 2\n"
		"void main() {\n"
		"#if 0777 == 511\n"
		"\to[0] = 0777;\n"
		"#endif\n"
		"#if 010 == 10\n"
		"\to[1] = 10;\n"
		"#else\n"
		"\to[1] = 010;\n"
		"#endif\n"
		"#if 0x1F == 31 && 0X1f == 31\n"
		"\to[2] = 0x1F;\n"
		"#endif\n"
		"#if GL_FRAGMENT_PRECISION_HIGH == 1\n"
		"\to[3] = GL_FRAGMENT_PRECISION_HIGH;\n"
		"#endif\n"
		"#line L + 10 SRC\n"
		"\to[4] = __LINE__;\n"
		"\to[5] = __FILE__;\n"
		"}\n",
		8, {{0, 511}, {1, 8}, {2, 31}, {3, 1}, {4, 15}, {5, 2}}},

	// conversions, overload resolution, constant folding and NaN
	{"integers and floats convert straight to the target's width",
		"#version 450\n"
		"#extension GL_EXT_shader_explicit_arithmetic_types : require\n"
		"layout(local_size_x = 1) in;\n"
		"layout(std430, binding = 0) buffer Out { uint o[]; };\n"
		"void main() {\n"
		"  uint zero = o[0];\n"
		"  uint u = 2105514289u + zero;\n"
		"  int i = -2105514289 + int(zero);\n"
		"  int16_t s = int16_t(32767) + int16_t(zero);\n"
		"  float16_t h = float16_t(40000.0) + float16_t(zero);\n"
		"  float big = 3e9 + float(zero);\n"
		"  double d = 5e9lf + double(zero);\n"
		"  int64_t l = (int64_t(1) << 60) + (int64_t(1) << 36) + int64_t(1) + int64_t(zero);\n"
		"  uvec2 a = unpackDouble2x32(double(u));\n"
		"  uvec2 b = unpackDouble2x32(double(i));\n"
		"  o[1] = a.x; o[2] = a.y; o[3] = b.x; o[4] = b.y;\n"
		"  o[5] = floatBitsToUint(float(s));\n"
		"  o[6] = uint(int(h));\n"
		"  uint64_t c = uint64_t(big);\n"
		"  o[7] = uint(c); o[8] = uint(c >> 32);\n"
		"  o[9] = uint(int64_t(d) - int64_t(4000000000u));\n"
		"  o[10] = floatBitsToUint(float(l));\n"
		"  o[11] = uint(float16_t(int16_t(2049) + int16_t(zero)));\n"
		"  // the same folded\n"
		"  uvec2 e = unpackDouble2x32(double(2105514289u));\n"
		"  o[12] = e.x; o[13] = e.y;\n"
		"  o[14] = floatBitsToUint(float(int16_t(32767)));\n"
		"  o[15] = uint(int(float16_t(40000.0)));\n"
		"}\n",
		16,
		{{1, 0x4c400000u}, {2, 0x41df5fe6u}, {3, 0x4c400000u}, {4, 0xc1df5fe6u}, {5, 0x46fffe00u}, {6, 40000u}, {7, 3000000000u}, {8, 0u},
			{9, 1000000000u}, {10, 0x5d800001u}, {12, 0x4c400000u}, {13, 0x41df5fe6u}, {14, 0x46fffe00u}, {15, 40000u}}},
	{"an int argument prefers a float parameter to a double one, whatever the order",
		WORDS_KERNEL
		"uint g(double x) { return 1u; }\n"
		"uint g(float x) { return 2u; }\n"
		"uint h(double a, float b) { return 3u; }\n"
		"uint h(float a, float b) { return 4u; }\n"
		"uint k(int a) { return 5u; }\n"
		"uint k(double a) { return 6u; }\n"
		"uint m(double a, double b) { return 7u; }\n"
		"uint m(float a, double b) { return 8u; }\n"
		"void main() {\n"
		"  int i = int(o[0]);\n"
		"  uint u = o[0];\n"
		"  float f = float(o[0]);\n"
		"  o[1] = g(i); o[2] = g(u); o[3] = g(f); o[4] = g(1); o[5] = g(double(f));\n"
		"  o[6] = h(f, i); o[7] = k(u); o[8] = k(i); o[9] = m(i, f);\n"
		"}\n",
		10,
		{{1, 2u}, {2, 2u}, {3, 2u}, {4, 2u}, {5, 1u}, {6, 4u}, {7, 6u}, {8, 5u}, {9, 8u}}},
	{"constant products of matrices and vectors are those of linear algebra",
		WORDS_KERNEL
		"const mat2 A = mat2(1.0, 2.0, 3.0, 4.0);\n"
		"const mat2 P = A * A;\n"
		"const vec2 MV = A * vec2(1.0, 2.0);\n"
		"const vec2 VM = vec2(1.0, 2.0) * A;\n"
		"const mat3x2 N = A * mat3x2(1.0, 2.0, 3.0, 4.0, 5.0, 6.0);\n"
		"const mat3 T = mat2x3(1.0, 2.0, 3.0, 4.0, 5.0, 6.0) * mat3x2(1.0, 2.0, 3.0, 4.0, 5.0, 6.0);\n"
		"const vec3 W = vec2(1.0, 2.0) * mat3x2(1.0, 2.0, 3.0, 4.0, 5.0, 6.0);\n"
		"void main() {\n"
		"  const mat2 q = mat2(1.0, 2.0, 3.0, 4.0) * mat2(1.0, 2.0, 3.0, 4.0);\n"
		"  mat2 r = mat2(1.0, 2.0, 3.0, 4.0) * mat2(1.0, 2.0, 3.0, 4.0);\n"
		"  mat2 x = mat2(float(o[0]) + 1.0) * A;\n"
		"  vec4 s = mat4(2.0) * vec4(1.0, 2.0, 3.0, 4.0) * mat4(vec4(1.0), vec4(2.0), vec4(3.0), vec4(4.0));\n"
		"  o[1] = uint(P[0][0]); o[2] = uint(P[0][1]); o[3] = uint(P[1][0]); o[4] = uint(P[1][1]);\n"
		"  o[5] = uint(q[0][0]); o[6] = uint(q[1][1]); o[7] = uint(r[0][1]); o[8] = uint(r[1][0]);\n"
		"  o[9] = uint(MV.x); o[10] = uint(MV.y); o[11] = uint(VM.x); o[12] = uint(VM.y);\n"
		"  o[13] = uint(N[2][0]); o[14] = uint(N[2][1]); o[15] = uint(T[0][0]); o[16] = uint(T[2][2]);\n"
		"  o[17] = uint(W.x); o[18] = uint(W.z); o[19] = uint(x[1][1]); o[20] = uint(s.w);\n"
		"}\n",
		21,
		{{1, 7u}, {2, 10u}, {3, 15u}, {4, 22u}, {5, 7u}, {6, 22u}, {7, 10u}, {8, 15u}, {9, 7u}, {10, 10u}, {11, 5u}, {12, 11u},
			{13, 23u}, {14, 34u}, {15, 9u}, {16, 51u}, {17, 5u}, {18, 17u}, {19, 4u}, {20, 80u}}},
	{"a NaN is unequal: notEqual() and bool() of floats are unordered, like !=",
		WORDS_KERNEL
		"const float NaN = 0.0 / 0.0;\n"
		"void main() {\n"
		"  float z = uintBitsToFloat(0x7fc00000u + o[0]);\n"
		"  vec2 v = vec2(z, 1.0);\n"
		"  o[1] = any(notEqual(v, v)) ? 1u : 0u;\n"
		"  o[2] = bool(z) ? 1u : 0u;\n"
		"  o[3] = (z != z) ? 1u : 0u;\n"
		"  bvec2 b = bvec2(v);\n"
		"  o[4] = b.x ? 1u : 0u;\n"
		"  o[5] = all(notEqual(v, vec2(0.0, 2.0))) ? 1u : 0u;\n"
		"  o[6] = any(equal(v, v)) ? 1u : 0u;\n"
		"  o[7] = bool(NaN) ? 1u : 0u;\n"
		"  o[8] = any(notEqual(vec2(NaN), vec2(NaN))) ? 1u : 0u;\n"
		"  o[9] = bvec2(NaN, 0.0).x ? 1u : 0u;\n"
		"  o[10] = bool(float(o[0])) ? 1u : 0u;\n"
		"}\n",
		11,
		{{1, 1u}, {2, 1u}, {3, 1u}, {4, 1u}, {5, 1u}, {6, 1u}, {7, 1u}, {8, 1u}, {9, 1u}, {10, 0u}}},
	{"global constants of swizzles, elements, lengths, comparisons and built-in calls",
		"#version 450\n"
		"layout(local_size_x = 4) in;\n"
		"layout(std430, binding = 0) buffer Out { uint o[]; };\n"
		"const vec3 V = vec3(1.0, 2.0, 3.0);\n"
		"const float A[3] = float[3](4.0, 5.0, 6.0);\n"
		"const mat2 M = mat2(1.0, 2.0, 3.0, 4.0);\n"
		"const float S = V.z;\n"
		"const vec2 W = V.zx;\n"
		"const float E = A[1] + V[0];\n"
		"const vec2 C = M[1];\n"
		"const int L = V.length() + M.length();\n"
		"const bool B = V.x < V.y && !(S == 2.0) || false;\n"
		"const float K = clamp(V.z, 0.0, 2.5) + floor(2.5) + dot(V, V);\n"
		"const float F = mix(1.0, 3.0, 0.25) + step(1.0, 2.0) + smoothstep(0.0, 4.0, 1.0) + fract(2.25);\n"
		"const float G = length(vec2(3.0, 4.0)) + distance(V, V.zyx) + cross(V, V.yzx).x + sign(-2.0) + trunc(-2.5) + round(2.5);\n"
		"const vec2 P = M * vec2(1.0, 1.0);\n"
		"const vec2 R = vec2(V);\n"
		"const int I = max(3, min(7, 5)) + clamp(9, 0, 4);\n"
		"const uint U = true ? 3u : 4u;\n"
		"const float N = 1.0 / 0.0;\n"
		"const double D = 1.0lf / 3.0lf;\n"
		"shared uint s[gl_WorkGroupSize.x];\n"
		"float h[L];\n"
		"void main() {\n"
		"  uint i = gl_LocalInvocationID.x;\n"
		"  s[i] = i * 10u;\n"
		"  barrier();\n"
		"  if (i != 0u) return;\n"
		"  h[L - 1] = 2.0;\n"
		"  o[0] = uint(S); o[1] = uint(W.x * 10.0 + W.y); o[2] = uint(E); o[3] = uint(C.x * 10.0 + C.y);\n"
		"  o[4] = uint(L); o[5] = B ? 1u : 0u; o[6] = uint(K * 4.0); o[7] = uint(F * 16.0);\n"
		"  o[8] = uint(G * 1000.0 + 100000.0); o[9] = uint(P.x * 10.0 + P.y); o[10] = uint(R.x * 10.0 + R.y); o[11] = uint(I);\n"
		"  o[12] = U; o[13] = isinf(N) ? 1u : 0u; o[14] = uint(s.length()); o[15] = s[3] + uint(h[4]);\n"
		"  uvec2 d = unpackDouble2x32(D * double(o[16] + 1u));\n"
		"  o[16] = d.x; o[17] = d.y;\n"
		"}\n",
		18,
		{{0, 3u}, {1, 31u}, {2, 6u}, {3, 34u}, {4, 5u}, {5, 1u}, {6, 74u}, {7, 46u}, {8, 100828u}, {9, 46u}, {10, 12u}, {11, 9u}, {12, 3u}, {13, 1u}, {14, 4u}, {15, 32u}, {16, 0x55555555u}, {17, 0x3fd55555u}}},
	{"elements of constant arrays fold beside built-in calls, and are read at run time by a variable index",
		WORDS_KERNEL
		"const int I[4] = int[4](1, 2, 3, 4);\n"
		"const vec3 V = vec3(1.0, 2.0, 3.0);\n"
		"const vec2 VA[2] = vec2[2](vec2(1.0, 2.0), vec2(3.0, 4.0));\n"
		"const mat2 MA[2] = mat2[2](mat2(1.0, 2.0, 3.0, 4.0), mat2(5.0, 6.0, 7.0, 8.0));\n"
		"const float E = I[2] * 1.0 + dot(V, V);\n"
		"const float G = dot(V, V) + I[I[0]];\n"
		"const float H = MA[1][1].x + dot(VA[0], VA[1]);\n"
		"const int N = I.length() + I[1];\n"
		"float h[I[1]];\n"
		"void main() {\n"
		"  int i = int(o[0]) + 1;\n"
		"  const float F = dot(V, V) + float(I[3]);\n"
		"  float a[int(F)];\n"
		"  a[17] = 1.0; h[1] = 5.0;\n"
		"  o[1] = uint(E); o[2] = uint(G); o[3] = uint(H); o[4] = uint(N); o[5] = uint(F) + uint(a[17]);\n"
		"  o[6] = uint(I[i]); o[7] = uint(VA[i].y); o[8] = uint(VA[i][i]); o[9] = uint(MA[i][i][i - 1]); o[10] = uint(MA[i][1].y);\n"
		"  o[11] = uint(h.length()) + uint(h[1]);\n"
		"}\n",
		12,
		{{1, 17u}, {2, 16u}, {3, 18u}, {4, 6u}, {5, 19u}, {6, 2u}, {7, 4u}, {8, 4u}, {9, 7u}, {10, 8u}, {11, 7u}}},
	{"comparisons and logical operators fold inside global constants",
		WORDS_KERNEL
		"const vec2 V = vec2(0.75, 0.25);\n"
		"const float A[2] = float[2](1.0, 3.0);\n"
		"const bool B = true;\n"
		"const int X = int(1 < 2);\n"
		"const float Y = float(V.x > 0.5) + float(V.y > 0.5) * 2.0;\n"
		"const bool C = A[0] < A[1];\n"
		"const float T = A[0] < 2.0 ? 5.0 : 6.0;\n"
		"const int N = int(!B) + int(1 == 1) * 2 + int(2 != 2) * 4;\n"
		"const float S = (B ? V : vec2(0)).y * 4.0;\n"
		"const uint U = uint(C && !B || A[1] >= 3.0) + uint(V.x <= 0.5 ^^ B);\n"
		"const float E[] = float[](A[0] < 2.0 ? 7.0 : 8.0, float(V.x > 0.5) + 2.0);\n"
		"void main() {\n"
		"  o[1] = uint(X); o[2] = uint(Y); o[3] = C ? 1u : 0u; o[4] = uint(T); o[5] = uint(N); o[6] = uint(S); o[7] = U;\n"
		"  int i = int(o[0]);\n"
		"  o[8] = uint(E[i]); o[9] = uint(E[i + 1]) + uint(E.length()) * 10u;\n"
		"}\n",
		10,
		{{1, 1u}, {2, 1u}, {3, 1u}, {4, 5u}, {5, 2u}, {6, 1u}, {7, 2u}, {8, 7u}, {9, 23u}}},
	{"a global constant array without a size takes the length of its initialiser",
		WORDS_KERNEL
		"const float F[] = float[](1.0, 2.0, 5.0);\n"
		"const vec2 G[] = vec2[](vec2(1.0), vec2(2.0, 3.0), vec2(4.0), vec2(5.0), vec2(6.0, 7.0), vec2(8.0), vec2(9.0), vec2(10.0, 11.0));\n"
		"void main() {\n"
		"  int i = int(o[0]);\n"
		"  o[1] = uint(F[i + 2]); o[2] = uint(G[i + 7].y); o[3] = uint(F.length() + G.length()); o[4] = uint(G[1].x + F[1]);\n"
		"}\n",
		5,
		{{1, 5u}, {2, 11u}, {3, 11u}, {4, 4u}}},
	{"a double constructed from a float literal or constant, or given one as an argument or a member, keeps the literal's precision, as a double assigned one does",
		WORDS_KERNEL
		"const float F = 0.1;\n"
		"const double X = double(0.1) + sin(0.0);\n"
		"const dvec2 Y = dvec2(0.1, -0.2) + cos(0.0);\n"
		"struct S { double d; float f; dvec2 v; };\n"
		PUT_DOUBLE
		"double g(double x) { return x; }\n"
		"double h(float a, double b) { return b + double(a); }\n"
		"void main() {\n"
		"  float f = uintBitsToFloat(o[26] + 0x3dcccccdu);\n"
		"  double a = 0.1; double b = double(0.1); dvec2 v = dvec2(0.1, -0.2); double e = double(F);\n"
		"  dmat2 m = dmat2(0.1); double n = double(-0.1); double k = double(1) + double(true) + double(3u);\n"
		"  double r = double(f); double s = -0.3;\n"
		"  put(0, a); put(2, b); put(4, v.x); put(6, v.y); put(8, e); put(10, m[0][0]); put(12, n); put(14, k);\n"
		"  put(16, r); put(18, X); put(20, Y.y); put(22, s);\n"
		"  o[24] = floatBitsToUint(-0.1 * f); o[25] = floatBitsToUint(-0.1);\n"
		"  S t = S(0.1, 0.1, dvec2(0.1));\n"
		"  put(27, g(0.1)); put(29, g(-0.1)); put(31, h(0.0, 0.1)); put(33, t.d); o[35] = floatBitsToUint(t.f); put(36, t.v.y);\n"
		"}\n",
		38,
		{{0, 2576980378u}, {1, 0x3fb99999u}, {2, 2576980378u}, {3, 0x3fb99999u}, {4, 2576980378u}, {6, 2576980378u}, {7, 0xbfc99999u},
			{8, 2576980378u}, {10, 2576980378u}, {12, 2576980378u}, {13, 0xbfb99999u}, {18, 2576980378u}, {22, 858993459u}, {23, 0xbfd33333u},
			{25, 0xbdcccccdu}, {27, 2576980378u}, {28, 0x3fb99999u}, {29, 2576980378u}, {30, 0xbfb99999u}, {31, 2576980378u}, {32, 0x3fb99999u},
			{33, 2576980378u}, {34, 0x3fb99999u}, {35, 0x3dcccccdu}, {36, 2576980378u}, {37, 0x3fb99999u}}},
	{"named and folded double constants hold every bit of their value, however small or large",
		WORDS_KERNEL
		"const double A = 4.5237955350981857e+272lf;\n"
		"const double B = 1.9020826279792915e-54lf;\n"
		"const double C = 3.749565844198488e-05lf + 4.181721513707595e-16lf;\n"
		"const double D = 6.0895901903640364e-27lf - 1.1806577825496211e-05lf;\n"
		"const double E = 8.639844696985151e-14lf / 7.063967094965019e-09lf;\n"
		"const dvec2 V = dvec2(2.8459553209414923e-07lf + 8.870402922380919e-09lf, B);\n"
		"const float F = 7.073940651025623e-06;\n"
		PUT_DOUBLE
		"void main() {\n"
		"  put(0, A); put(2, B); put(4, C); put(6, D); put(8, E); put(10, V.x); put(12, V.y);\n"
		"  o[14] = floatBitsToUint(F);\n"
		"  const double L = 3.749565844198488e-05lf + 4.181721513707595e-16lf;\n"
		"  put(15, L); put(17, double[2](C, 0.0lf)[o[19]]);\n"
		"}\n",
		20,
		{{0, 0x11b85f35u}, {1, 0x788ac26au}, {2, 0x7817b9b7u}, {3, 0x34c751c8u}, {4, 0x03969be0u}, {5, 0x3f03a895u}, {6, 0xb34ed9dbu},
			{7, 0xbee8c29bu}, {8, 0xa818db20u}, {9, 0x3ee9a665u}, {10, 0xd4e5873du}, {11, 0x3e93b1b4u}, {12, 0x7817b9b7u}, {13, 0x34c751c8u},
			{14, 0x36ed5cb0u}, {15, 0x03969be0u}, {16, 0x3f03a895u}, {17, 0x03969be0u}, {18, 0x3f03a895u}}},
	{"a negated float literal given to a double is the negated literal, to the last bit",
		WORDS_KERNEL
		PUT_DOUBLE
		"void main() {\n"
		"  double a = -1.0e-45; double b = -1.4e-45; double c = -1.0e-38;\n"
		"  dvec2 v = dvec2(-7e-46, -4.7405353654712656e+23); double d = -6348606582851885.0;\n"
		"  put(0, a); put(2, b); put(4, c); put(6, v.x); put(8, v.y); put(10, d);\n"
		"}\n",
		12,
		{{0, 0xad376ab9u}, {1, 0xb696d601u}, {2, 0xbf4d956au}, {3, 0xb69ff868u}, {4, 0x9daa78e4u}, {5, 0xb80b38fbu}, {6, 0xbf4d956au},
			{7, 0xb68ff868u}, {8, 0x98f1952cu}, {9, 0xc4d9189fu}, {10, 0x2830892du}, {11, 0xc3368e06u}}},
	{"64-bit integer arithmetic in a constant's initialiser wraps at 64 bits",
		"#version 450\n"
		"#extension GL_EXT_shader_explicit_arithmetic_types_int64 : require\n"
		"layout(local_size_x = 1) in;\n"
		"layout(std430, binding = 0) buffer Out { uint o[]; };\n"
		"const uint64_t A = 0x100000000ul + 1ul;\n"
		"const int64_t B = 4611686018427387904l + 1l;\n"
		"const int64_t C = -9223372036854775806l - 1l;\n"
		"const int64_t D = -9223372036854775807l - 2l;\n"
		"const int64_t E = (1l << 40) * 3l / 2l;\n"
		"void put(uint i, uint64_t v) { o[i] = uint(v); o[i + 1] = uint(v >> 32); }\n"
		"void main() {\n"
		"  put(0, A); put(2, uint64_t(B)); put(4, uint64_t(C)); put(6, uint64_t(D)); put(8, uint64_t(E));\n"
		"  const int64_t L = 4611686018427387904l + 1l;\n"
		"  put(10, uint64_t(L));\n"
		"}\n",
		12,
		{{0, 1u}, {1, 1u}, {2, 1u}, {3, 0x40000000u}, {4, 1u}, {5, 0x80000000u}, {6, 0xffffffffu}, {7, 0x7fffffffu}, {8, 0u}, {9, 0x180u},
			{10, 1u}, {11, 0x40000000u}}},
};

TEST(ComputeReference, AsTheReference) {
	std::string why;
	if (!compute_available(&why)) GTEST_SKIP() << why;
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		std::string errors;
		std::vector<uint32_t> module = front_end_spirv(c.source, &errors);
		ASSERT_FALSE(module.empty()) << errors;
		std::vector<uint32_t> reference = reference_spirv(c.source, &errors);
		ASSERT_FALSE(reference.empty()) << errors;
		std::vector<std::vector<uint8_t>> mine = {std::vector<uint8_t>(c.words * 4u, 0)};
		std::vector<std::vector<uint8_t>> theirs = mine;
		ASSERT_TRUE(run_compute(module, mine, 1, 1, 1, &errors)) << errors;
		ASSERT_TRUE(run_compute(reference, theirs, 1, 1, 1, &errors)) << errors;
		std::vector<uint32_t> a = from_bytes<uint32_t>(mine[0]);
		std::vector<uint32_t> b = from_bytes<uint32_t>(theirs[0]);
		for (size_t w = 0; w < a.size(); w++) EXPECT_EQ(a[w], b[w]) << "word " << w;
		for (const auto &e : c.expected) EXPECT_EQ(a[e.first], e.second) << "word " << e.first;
	}
}

} // namespace
