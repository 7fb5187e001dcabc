// What the GLSL backend's text computes, judged end to end by the reference
// compiler and the CPU device: each row is a compute shader on the places
// where GLSL and SPIR-V part ways (signs of remainders and shifts, the
// signedness of operands and results, bits of float constants, NaN in
// comparisons, the offsets of std140 and std430 blocks, atomics, flow,
// vector logic, subgroups). The reference compiler's module of the row, and
// what spirv-opt -O makes of it (and this program's module, for the rows that
// ask), are rendered as GL and ES GLSL; the reference compiler compiles that
// text again, and its module must leave the same bytes in every buffer as the
// reference compiler's module of the row did, on the same inputs.
//
// A row may name the variants that the backend refuses, with the error that
// names what the target cannot write, and the variants known to compute
// otherwise, with what goes wrong: such a variant must still fail that way.
#include "compute_runner.h"
#include "own_compiler.h"

#include "../shader/listing_fixtures.h"
#include "shader/ShaderSpirv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace vulkan_test;

namespace {

// The buffers of every row: binding 0 holds the inputs (a: signed words of
// every size, INT_MIN excepted so that divisions stay defined; d: divisors,
// none 0 or -1; u: unsigned words, top bits set among them; f: floats of
// both signs with fractions), binding 1 the outputs, binding 2 (a uniform
// buffer) and binding 3 floats for the rows that read blocks.
const char *const inputs =
	"layout(local_size_x = 32) in;\n"
	"layout(std430, binding = 0) readonly buffer In { int a[256]; int d[256]; uint u[256]; float f[256]; };\n";
const uint32_t groups = 2;
const uint32_t output_words = 8192;
const uint32_t block_words = 1024;

// a variant that does not compute what the row does, and why
struct Known {
	const char *variant; // "GLSL_GL", "GLSL_GLES", with " after spirv-opt -O" for the optimized module
	const char *refusal; // the error the backend names, or nullptr
	const char *difference; // what the text computes otherwise, or nullptr
};

struct Case {
	const char *name;
	// the shader after #version and the inputs; its #extension lines first
	const char *source;
	uint32_t subgroup = 0; // the subgroup operations it needs (ComputeDevice::SubgroupOperation)
	std::vector<Known> known = {};
	// pairs of (the row's text, the text of the expected run): where the
	// device computes an instruction of the module otherwise than SPIR-V
	// defines it, the expected run spells it out in operations the device
	// computes right (the module that is rendered keeps the instruction)
	std::vector<std::pair<const char *, const char *>> expected_text = {};
	// this program's module of the row is rendered as well
	bool own = false;
};

using D = ComputeDevice;

const Case cases[] = {
	// integer division and remainders of every sign, SPIR-V's three remainders
	// (OpSRem, OpSMod, OpFRem) and float mod. The device computes OpSMod as
	// OpSRem (the sign of the dividend, not of the divisor): the expected run
	// spells smod out in operations it computes right, and GLSL's % (which the
	// reference compiler makes an OpSMod) has operands of one sign
	{"Remainders",
		"#extension GL_EXT_spirv_intrinsics : require\n"
		"spirv_instruction(id = 139) int smod(int a, int b);\n"
		"spirv_instruction(id = 139) ivec3 smod3(ivec3 a, ivec3 b);\n"
		"spirv_instruction(id = 139) int smod_unsigned(uint a, int b);\n"
		"spirv_instruction(id = 138) int srem(int a, int b);\n"
		"spirv_instruction(id = 138) ivec3 srem3(ivec3 a, ivec3 b);\n"
		"spirv_instruction(id = 135) ivec2 sdiv_unsigned(uvec2 a, ivec2 b);\n"
		"spirv_instruction(id = 140) float frem(float a, float b);\n"
		"spirv_instruction(id = 140) vec2 frem2(vec2 a, vec2 b);\n"
		"layout(std430, binding = 1) buffer Out { int r[64 * 24]; float w[64 * 8]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x, o = i * 24u;\n"
		"  int x = a[i], y = d[i]; uint p = u[i], q = uint(d[(i + 7u) & 255u]) | 1u;\n"
		"  r[o] = x / y; r[o + 1u] = smod(x, y); r[o + 2u] = srem(x, y); r[o + 3u] = smod_unsigned(p, y);\n"
		"  r[o + 4u] = smod(-x, y); r[o + 5u] = abs(x) % 8; r[o + 6u] = x / -4; r[o + 7u] = abs(x) % abs(y);\n"
		"  ivec3 xv = ivec3(x, -x, x >> 7), yv = ivec3(y, -y, d[i ^ 1u]);\n"
		"  ivec3 m = smod3(xv, yv), s = srem3(xv, yv), v = xv / yv;\n"
		"  r[o + 8u] = m.x; r[o + 9u] = m.y; r[o + 10u] = m.z; r[o + 11u] = s.x ^ s.y ^ s.z; r[o + 12u] = v.x + v.y * 3 + v.z * 5;\n"
		"  ivec2 t = sdiv_unsigned(uvec2(p, q), ivec2(y, -y));\n"
		"  r[o + 13u] = t.x; r[o + 14u] = t.y;\n"
		"  r[o + 15u] = int(p / q); r[o + 16u] = int(p % q); r[o + 17u] = int(uint(x) % 10u); r[o + 18u] = int(uint(x) / 3u);\n"
		"  uvec2 uv = uvec2(p, ~p) % uvec2(q, 1000u);\n"
		"  ivec2 pm = abs(ivec2(x, y)) % ivec2(7, abs(y));\n"
		"  r[o + 19u] = int(uv.x ^ uv.y); r[o + 20u] = int(p) / y; r[o + 21u] = srem(int(p), y) + pm.x * 3 + pm.y * 5;\n"
		"  int z = abs(x); z %= 9; z /= -3; r[o + 22u] = z;\n"
		"  float g = f[i], h = f[(i + 1u) & 255u];\n"
		"  w[i * 8u] = mod(g, 1.5); w[i * 8u + 1u] = mod(g, -1.5); w[i * 8u + 2u] = frem(g, -1.5); w[i * 8u + 3u] = frem(g, h);\n"
		"  vec2 fr = frem2(vec2(g, -g), vec2(0.75, -2.5)), fm = mod(vec2(g, -g), vec2(-0.75, 2.5));\n"
		"  w[i * 8u + 4u] = fr.x; w[i * 8u + 5u] = fr.y; w[i * 8u + 6u] = fm.x; w[i * 8u + 7u] = fm.y + mod(h, g);\n"
		"}\n",
		0, {},
		{{"spirv_instruction(id = 139) int smod(int a, int b);\n",
			 "int smod(int a, int b) { int r = a - b * (a / b); return r != 0 && (r ^ b) < 0 ? r + b : r; }\n"},
			{"spirv_instruction(id = 139) ivec3 smod3(ivec3 a, ivec3 b);\n",
				"ivec3 smod3(ivec3 a, ivec3 b) { return ivec3(smod(a.x, b.x), smod(a.y, b.y), smod(a.z, b.z)); }\n"},
			{"spirv_instruction(id = 139) int smod_unsigned(uint a, int b);\n", "int smod_unsigned(uint a, int b) { return smod(int(a), b); }\n"}}},
	// conversions between the signednesses and to floats, bit casts, shifts of
	// negative values, the bit-field built-ins on signed and unsigned values
	{"SignsAndBits",
		"layout(std430, binding = 1) buffer Out { uint r[64 * 28]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x, o = i * 28u;\n"
		"  int x = a[i]; uint p = u[i]; float z = f[i];\n"
		"  int n = int(i & 31u); uint m = uint(d[i]) & 31u;\n"
		"  r[o] = uint(x >> n); r[o + 1u] = p >> n; r[o + 2u] = uint(x) >> m; r[o + 3u] = uint(int(p) >> m);\n"
		"  r[o + 4u] = uint(x << m) ^ (p << n);\n"
		"  ivec2 xv = ivec2(x, -x); uvec3 pv = uvec3(p, ~p, p >> 3);\n"
		"  ivec2 sh = xv >> ivec2(n, 31); uvec3 ush = pv >> uvec3(m, 31u, 1u);\n"
		"  r[o + 5u] = uint(sh.x) ^ uint(sh.y) * 3u ^ ush.x ^ ush.y * 5u ^ ush.z * 7u;\n"
		"  r[o + 6u] = uint(floatBitsToInt(z)) ^ floatBitsToUint(-z);\n"
		"  r[o + 7u] = floatBitsToUint(intBitsToFloat((x & 0x007fffff) | 0x3f800000) + uintBitsToFloat((p & 0x807fffffu) | 0x40000000u));\n"
		"  r[o + 8u] = uint(bitfieldExtract(x, n / 2, 9)) ^ (bitfieldExtract(p, n / 2, 11) << 1);\n"
		"  ivec2 be = bitfieldExtract(xv, 3, 20); uvec3 bu = bitfieldExtract(pv, int(m), 32 - int(m));\n"
		"  r[o + 9u] = uint(be.x) ^ uint(be.y) * 3u; r[o + 10u] = bu.x + bu.y * 5u + bu.z * 7u;\n"
		"  r[o + 11u] = uint(bitfieldInsert(x, -3, 5, n / 3)) + bitfieldInsert(p, 0xffu, n / 2, 6);\n"
		"  ivec2 bi = bitfieldInsert(xv, ivec2(-1, 5), 28, 4); r[o + 12u] = uint(bi.x) ^ uint(bi.y);\n"
		"  r[o + 13u] = uint(bitCount(x)) + uint(bitCount(p)) * 64u + uint(bitCount(xv).y) * 4096u + uint(bitCount(pv).y) * 262144u;\n"
		"  r[o + 14u] = uint(findLSB(x) + 1) + uint(findLSB(p) + 1) * 64u + uint(findLSB(uvec2(0u, p)).x + 1) * 4096u;\n"
		"  r[o + 15u] = uint(findMSB(x) + 1) + uint(findMSB(p) + 1) * 64u + uint(findMSB(xv).y + 1) * 4096u + uint(findMSB(~x) + 1) * 262144u;\n"
		"  r[o + 16u] = uint(findMSB(pv).x + 1) + uint(findMSB(ivec2(0, -1)).y + 2) * 64u;\n"
		"  r[o + 17u] = uint(abs(x)) ^ (uint(sign(x) + 2) << 30);\n"
		"  r[o + 18u] = uint(min(x, int(p))) ^ min(uint(x), p) ^ uint(max(x, -5)) ^ max(p, 1000u) ^ uint(clamp(x, -100, 100)) ^ clamp(p, 10u, 20000u);\n"
		"  r[o + 19u] = uint(int(z)) ^ uint(abs(z)) ^ uint(float(p >> 1)) ^ uint(int(-z * 0.5));\n"
		"  r[o + 20u] = floatBitsToUint(float(x)) ^ floatBitsToUint(float(p)) ^ floatBitsToUint(float(int(p)) + float(uint(x)));\n"
		"  r[o + 21u] = -p ^ uint(~x) ^ (uint(x) * p) ^ (uint(x) / 3u);\n"
		"  r[o + 22u] = uint(int(p) / 3) ^ uint(x < int(p)) ^ (uint(uint(x) < p) << 1) ^ (uint(x >= 0) << 2) ^ (uint(int(p) < 0) << 3);\n"
		"  r[o + 23u] = uint(ivec2(uvec2(p, m)).x >> 4) ^ uvec2(ivec2(x, n)).x >> 4;\n"
		"  ivec3 fb = floatBitsToInt(vec3(z, -z, z * 0.5)); vec2 back = uintBitsToFloat(uvec2(p, ~p) & uvec2(0x807fffffu) | uvec2(0x3f800000u));\n"
		"  r[o + 24u] = uint(fb.x ^ fb.y ^ fb.z) ^ floatBitsToUint(back.x + back.y);\n"
		"  r[o + 25u] = uint(bitfieldExtract(x, n, 0)) + bitfieldExtract(p, 0, 32) + uint(bitfieldExtract(x, 0, 32)) + bitfieldInsert(p, ~p, int(m), 0);\n"
		"}\n"},
	// the forms of SPIR-V whose operands' signedness differs from what GLSL's
	// operators and built-ins read: the text must read them as SPIR-V does
	{"SignlessForms",
		"#extension GL_EXT_spirv_intrinsics : require\n"
		"spirv_instruction(id = 194) int shr_logical(int v, uint n);\n"
		"spirv_instruction(id = 195) uint shr_arithmetic(uint v, int n);\n"
		"spirv_instruction(id = 195) uvec2 shr_arithmetic2(uvec2 v, uvec2 n);\n"
		"spirv_instruction(id = 176) bool ult(int l, int r);\n"
		"spirv_instruction(id = 177) bool slt(uint l, uint r);\n"
		"spirv_instruction(id = 173) bvec2 sgt(uvec2 l, ivec2 r);\n"
		"spirv_instruction(id = 135) int sdiv(uint l, uint r);\n"
		"spirv_instruction(id = 202) uint sextract(uint v, int offset, int count);\n"
		"spirv_instruction(id = 203) int uextract(int v, uint offset, uint count);\n"
		"spirv_instruction(id = 126) uint snegate(int v);\n"
		"spirv_instruction(id = 128) uint iadd(int l, uint r);\n"
		"spirv_instruction(id = 111) float stof(uint v);\n"
		"spirv_instruction(id = 112) float utof(int v);\n"
		"spirv_instruction(id = 110) uint ftos(float v);\n"
		"spirv_instruction(set = \"GLSL.std.450\", id = 39) uint smin(uint l, uint r);\n"
		"spirv_instruction(set = \"GLSL.std.450\", id = 41) int umax(int l, int r);\n"
		"spirv_instruction(set = \"GLSL.std.450\", id = 45) uint sclamp(uint v, uint lo, uint hi);\n"
		"spirv_instruction(set = \"GLSL.std.450\", id = 44) ivec2 uclamp(ivec2 v, ivec2 lo, ivec2 hi);\n"
		"spirv_instruction(set = \"GLSL.std.450\", id = 74) uint findsmsb(uint v);\n"
		"spirv_instruction(set = \"GLSL.std.450\", id = 75) int findumsb(int v);\n"
		"spirv_instruction(set = \"GLSL.std.450\", id = 5) uint sabs(uint v);\n"
		"spirv_instruction(set = \"GLSL.std.450\", id = 7) uint ssign(uint v);\n"
		"layout(std430, binding = 1) buffer Out { uint r[64 * 16]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x, o = i * 16u;\n"
		"  int x = a[i], y = a[(i + 5u) & 255u]; uint p = u[i], q = u[(i + 3u) & 255u]; float z = f[i];\n"
		"  uint n = i & 31u;\n"
		"  r[o] = uint(shr_logical(x, n)) ^ shr_arithmetic(p, int(n));\n"
		"  uvec2 sa = shr_arithmetic2(uvec2(p, q), uvec2(n, 31u)); r[o + 1u] = sa.x ^ (sa.y * 3u);\n"
		"  r[o + 2u] = uint(ult(x, y)) + uint(slt(p, q)) * 2u + uint(sgt(uvec2(p, q), ivec2(x, -1)).x) * 4u + uint(sgt(uvec2(p, q), ivec2(x, -1)).y) * 8u;\n"
		"  r[o + 3u] = uint(sdiv(p, uint(d[i])));\n"
		"  r[o + 4u] = sextract(p, int(n / 2u), 9) ^ uint(uextract(x, n / 3u, 17u));\n"
		"  r[o + 5u] = snegate(x) ^ iadd(x, p);\n"
		"  r[o + 6u] = floatBitsToUint(stof(p)) ^ floatBitsToUint(utof(x));\n"
		"  r[o + 7u] = ftos(z * 0.5);\n"
		"  r[o + 8u] = smin(p, q) ^ uint(umax(x, y));\n"
		"  r[o + 9u] = sclamp(p, 0xfffff000u, 0x00001000u - (p & 1u)) ^ uint(uclamp(ivec2(x, y), ivec2(10), ivec2(-2)).y);\n"
		"  r[o + 10u] = findsmsb(p) ^ (uint(findumsb(x)) << 8);\n"
		"  r[o + 11u] = sabs(p) ^ (ssign(p) << 4);\n"
		"}\n"},
	// float constants that must keep their bits, infinities and NaNs made of
	// constants, stored and compared: the ordered and the unordered
	// comparisons of SPIR-V, of scalars and vectors, on NaN; the integer
	// extremes
	{"FloatConstants",
		"#extension GL_EXT_spirv_intrinsics : require\n"
		"spirv_instruction(id = 181) bool unord_eq(float l, float r);\n"
		"spirv_instruction(id = 182) bool ord_ne(float l, float r);\n"
		"spirv_instruction(id = 185) bool unord_lt(float l, float r);\n"
		"spirv_instruction(id = 187) bool unord_gt(float l, float r);\n"
		"spirv_instruction(id = 189) bool unord_le(float l, float r);\n"
		"spirv_instruction(id = 191) bool unord_ge(float l, float r);\n"
		"spirv_instruction(id = 181) bvec2 unord_eq2(vec2 l, vec2 r);\n"
		"spirv_instruction(id = 182) bvec2 ord_ne2(vec2 l, vec2 r);\n"
		"spirv_instruction(id = 185) bvec2 unord_lt2(vec2 l, vec2 r);\n"
		"spirv_instruction(id = 191) bvec2 unord_ge2(vec2 l, vec2 r);\n"
		"layout(std430, binding = 1) buffer Out { uint r[64 * 16]; };\n"
		"const float k[16] = float[](0.1, -0.1, 1e-38, 3.4028235e38, -3.4028235e38, 1.17549435e-38, 1e-40, 1.4e-45,\n"
		"  16777217.0, 0.333333343, -0.0, 2.5e-5, 6.02214076e23, 123456.789, 1.0 / 3.0, 0.7);\n"
		"uint bits(bvec2 b) { return uint(b.x) | uint(b.y) << 1; }\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x, o = i * 16u;\n"
		"  float z = f[i];\n"
		"  float inf = uintBitsToFloat(0x7f800000u), nan = uintBitsToFloat(0x7fc00000u), odd = uintBitsToFloat(0xffc00123u);\n"
		"  r[o] = floatBitsToUint(k[i & 15u]);\n"
		"  r[o + 1u] = floatBitsToUint(z > 0.0 ? inf : -inf);\n"
		"  r[o + 2u] = floatBitsToUint(z > 10.0 ? nan : odd);\n"
		"  float n = z > 1e30 ? 0.0 : nan, big = z > 1e30 ? 1.0 : inf, m = (i & 1u) != 0u ? n : z;\n"
		"  r[o + 3u] = uint(z < big) + uint(z > -big) * 2u + uint(isinf(big)) * 4u + uint(isnan(n)) * 8u + uint(n == n) * 16u +\n"
		"    uint(n != n) * 32u + uint(z < n) * 64u + uint(!(z >= n)) * 128u + uint(z != n) * 256u + uint(big == inf) * 512u +\n"
		"    uint(!(m < z)) * 1024u + uint(!(m == z)) * 2048u + uint(!(m != z)) * 4096u + uint(!(m <= 0.5)) * 8192u + uint(!(m > z)) * 16384u;\n"
		"  vec4 kv = vec4(0.1, 1e-40, -0.0, 3.4028235e38) * (z > 0.0 ? 1.0 : -1.0);\n"
		"  r[o + 4u] = floatBitsToUint(kv.x) ^ floatBitsToUint(kv.y); r[o + 5u] = floatBitsToUint(kv.z); r[o + 6u] = floatBitsToUint(kv.w);\n"
		"  r[o + 7u] = floatBitsToUint(z > 0.0 ? 1e-40 : -1.4e-45) ^ floatBitsToUint(z * 0.1) ^ floatBitsToUint(z + 1e-38);\n"
		"  r[o + 8u] = floatBitsToUint(z > 0.0 ? 3.4028235e38 : 1.17549435e-38) ^ floatBitsToUint(z > 5.0 ? -0.0 : 0.0);\n"
		"  r[o + 9u] = uint(z > 0.0 ? int(0x80000000) : 0x7fffffff) ^ (z > 1.0 ? 0xffffffffu : 0x80000000u);\n"
		"  vec2 nv = vec2(n, z), mv = vec2(m, -z);\n"
		"  r[o + 10u] = bits(notEqual(nv, vec2(z))) | bits(equal(nv, nv.yx)) << 2 | bits(lessThan(nv, vec2(1.0))) << 4 |\n"
		"    bits(not(lessThan(mv, vec2(z)))) << 6 | bits(not(equal(mv, vec2(z)))) << 8 | bits(not(greaterThanEqual(mv, nv))) << 10;\n"
		"  r[o + 11u] = floatBitsToUint(max(z, -big)) ^ floatBitsToUint(min(z, big)) ^ floatBitsToUint(z * big) ^ floatBitsToUint(1.0 / big);\n"
		"  r[o + 12u] = uint(unord_eq(m, z)) | uint(ord_ne(m, z)) << 1 | uint(unord_lt(m, z)) << 2 | uint(unord_gt(m, z)) << 3 |\n"
		"    uint(unord_le(m, z)) << 4 | uint(unord_ge(m, z)) << 5 | uint(unord_eq(z, z)) << 6 | uint(ord_ne(z, -z)) << 7 |\n"
		"    bits(unord_eq2(mv, nv)) << 8 | bits(ord_ne2(mv, nv)) << 10 | bits(unord_lt2(mv, nv)) << 12 | bits(unord_ge2(mv, nv)) << 14;\n"
		"}\n"},
	// std430 blocks: a vec3 followed by a float, arrays of vec3, vec2 and
	// float, matrices of both orders, nested structures, a run-time array;
	// every member of the written block is written
	{"Std430Layout",
		"struct Inner { vec2 p; float q; };\n"
		"struct S { vec3 a; float b; vec2 c; float d[3]; Inner n; mat2x3 m; ivec3 e; };\n"
		"layout(std430, binding = 3) readonly buffer Src { S s[4]; vec3 v3[6]; vec2 v2[5]; float fl[7]; mat3 cm;\n"
		"  layout(row_major) mat3 rm; layout(row_major) mat2x3 rm23; float tail[]; } src;\n"
		"layout(std430, binding = 1) buffer Out { S s[64]; vec3 v3[64]; vec2 v2[64]; float fl[64]; mat3 cm[64];\n"
		"  layout(row_major) mat3 rm[64]; layout(row_major) mat2x3 rm23[64]; float tail[]; } dst;\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x; float k = float(i);\n"
		"  dst.s[i] = src.s[i & 3u];\n"
		"  dst.s[i].a += k; dst.s[i].b -= k; dst.s[i].c *= 2.0; dst.s[i].d[i % 3u] = k; dst.s[i].n.q += dst.s[i].n.p.y;\n"
		"  dst.s[i].m[1] += vec3(k); dst.s[i].e -= ivec3(i);\n"
		"  if (i < 4u) dst.s[i].n = src.s[3u - i].n;\n"
		"  dst.v3[i] = src.v3[i % 6u] + src.v2[i % 5u].xyx;\n"
		"  dst.v2[i] = src.v2[i % 5u] * src.fl[i % 7u];\n"
		"  dst.fl[i] = src.fl[(i + 3u) % 7u] + src.tail[i % uint(src.tail.length())];\n"
		"  dst.cm[i] = src.cm * k + src.rm;\n"
		"  dst.rm[i] = src.rm * src.cm;\n"
		"  dst.rm23[i] = src.rm23 * mat2(k, 1.0, 0.5, -1.0);\n"
		"  dst.rm23[i][1].z += src.rm23[0][2];\n"
		"  dst.tail[i] = dot(src.rm[1], src.cm[2]) + src.rm23[1][2] + (src.rm * vec3(1.0, 2.0, 3.0)).y + float(dst.tail.length());\n"
		"}\n"},
	// a std140 uniform block: arrays of scalars and vectors 16 bytes apart,
	// matrices of both orders, a structure, read into a std430 block that
	// holds the same structure at other offsets
	{"Std140Layout",
		"struct T { float x; vec3 y; float z[2]; vec2 w; mat2 m; };\n"
		"layout(std140, binding = 2) uniform U { T t[2]; float sc[3]; vec2 v2[2]; vec3 v3[2]; mat3 cm;\n"
		"  layout(row_major) mat2x3 rm23; layout(row_major) mat3 rm; ivec2 iv; uint last; } ub;\n"
		"layout(std430, binding = 1) buffer Out { T t[64]; float sc[64]; vec2 v2[64]; vec3 v3[64]; mat3 cm[64];\n"
		"  layout(row_major) mat2x3 rm23[64]; layout(row_major) mat3 rm[64]; ivec2 iv[64]; uint last[64]; } dst;\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x; float k = float(i);\n"
		"  dst.t[i] = ub.t[i & 1u];\n"
		"  dst.t[i].x += k; dst.t[i].y.z -= k; dst.t[i].z[1] = ub.sc[i % 3u]; dst.t[i].w = dst.t[i].w.yx; dst.t[i].m[1][0] += k;\n"
		"  dst.sc[i] = ub.sc[(i + 1u) % 3u] * k + ub.t[1].z[i & 1u];\n"
		"  dst.v2[i] = ub.v2[i & 1u] + ub.t[0].m[1];\n"
		"  dst.v3[i] = ub.v3[(i + 1u) & 1u] + ub.rm23[1] + ub.rm[2];\n"
		"  dst.cm[i] = ub.cm * ub.rm + mat3(k);\n"
		"  dst.rm23[i] = ub.rm23 + mat2x3(ub.cm[0], ub.cm[1]) * k;\n"
		"  dst.rm[i] = ub.rm * ub.cm;\n"
		"  dst.rm[i][2][i % 3u] = ub.rm[i % 3u][1];\n"
		"  dst.iv[i] = ub.iv + ivec2(i);\n"
		"  dst.last[i] = ub.last ^ i;\n"
		"}\n"},
	// a storage block of the std140 layout, which GLSL declares as such: the
	// backend declares every storage block std430, and refuses one whose
	// strides that layout does not give
	{"Std140Storage",
		"struct T { float x; vec3 y; float z[2]; vec2 w; mat2 m; };\n"
		"layout(std140, binding = 1) buffer Out { T t[64]; float sc[64]; vec2 v2[64]; layout(row_major) mat2x3 rm23[64]; ivec2 iv[64]; } dst;\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x; float g = f[i], h = f[(i + 1u) & 255u];\n"
		"  dst.t[i] = T(g, vec3(h, g, 1.0), float[2](h, -g), vec2(g * h, 2.0), mat2(g, h, -h, g));\n"
		"  dst.sc[i] = h; dst.v2[i] = vec2(g, h); dst.rm23[i] = mat2x3(g, h, 3.0, -g, -h, 4.0); dst.iv[i] = ivec2(a[i], d[i]);\n"
		"}\n",
		0,
		{{"GLSL_GL", "unknown ArrayStride 16 of z", nullptr}, {"GLSL_GLES", "unknown ArrayStride 16 of z", nullptr},
			{"GLSL_GL after spirv-opt -O", "unknown ArrayStride 16 of z", nullptr},
			{"GLSL_GLES after spirv-opt -O", "unknown ArrayStride 16 of z", nullptr}}},
	// shared memory across barriers, and the atomics of signed and unsigned
	// words in shared memory and in buffers (kept to what does not depend on
	// the order the invocations run in)
	{"SharedAndAtomics",
		"layout(std430, binding = 1) buffer Out { int si[8]; uint ui[8]; int r[64 * 8]; uint own[64]; int owns[64]; };\n"
		"shared int sh[32];\n"
		"shared uint shu[32], slot[32];\n"
		"shared int smin, smax, sand, sor, sxor;\n"
		"shared uint umin, umax, uand, uor, uxor, count;\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x, l = gl_LocalInvocationID.x; int x = a[i]; uint p = u[i];\n"
		"  if (l == 0u) { smin = 0x7fffffff; smax = int(0x80000000); sand = -1; sor = 0; sxor = 0;\n"
		"    umin = 0xffffffffu; umax = 0u; uand = 0xffffffffu; uor = 0u; uxor = 0u; count = 0u; }\n"
		"  sh[l] = x; shu[l] = p; slot[l] = p >> 1;\n"
		"  barrier();\n"
		"  atomicMin(smin, x); atomicMax(smax, x); atomicAnd(sand, x | 0x100); atomicOr(sor, x & 0x0f0f); atomicXor(sxor, x);\n"
		"  atomicMin(umin, p); atomicMax(umax, p); atomicAnd(uand, p | 0x10000u); atomicOr(uor, p & 0xff00u); atomicXor(uxor, p);\n"
		"  uint ticket = atomicAdd(count, 1u);\n"
		"  int around = sh[(l + 1u) & 31u] - sh[31u - l];\n"
		"  uint mixed = shu[l ^ 5u] >> 3;\n"
		"  barrier();\n"
		"  r[i * 8u] = around; r[i * 8u + 1u] = int(mixed);\n"
		"  uint prev = atomicExchange(slot[l], p ^ 1u), swapped = atomicCompSwap(slot[l], p ^ 1u, prev + 5u);\n"
		"  if (l != 0u) r[i * 8u + 2u] = int(prev ^ swapped ^ (slot[l] << 3));\n"
		"  if (l == 0u) { r[i * 8u + 2u] = smin; r[i * 8u + 3u] = smax; r[i * 8u + 4u] = sand ^ sor ^ sxor;\n"
		"    r[i * 8u + 5u] = int(umin); r[i * 8u + 6u] = int(umax); r[i * 8u + 7u] = int(uand ^ uor ^ uxor ^ count); }\n"
		"  atomicAdd(si[0], x >> 8); atomicMin(si[1], x); atomicMax(si[2], x); atomicOr(si[3], x & 0x7070); atomicXor(si[4], x);\n"
		"  atomicAdd(si[5], ticket == 0u ? 1 : 0); atomicAdd(si[6], -1);\n"
		"  atomicAdd(ui[0], p >> 4); atomicMax(ui[1], p); atomicOr(ui[2], p & 0x01010101u); atomicXor(ui[3], p);\n"
		"  uint t = atomicAdd(ui[4], 1u); atomicAdd(ui[5], t); atomicMin(ui[6], p);\n"
		"  own[i] = p; uint old = atomicExchange(own[i], p ^ 0x5555u); uint cs = atomicCompSwap(own[i], p ^ 0x5555u, old + 1u);\n"
		"  uint miss = atomicCompSwap(own[i], 7u, 9u); own[i] ^= (old ^ cs ^ miss) << 1;\n"
		"  owns[i] = x; int sold = atomicExchange(owns[i], -x); int scs = atomicCompSwap(owns[i], -x, sold >> 2);\n"
		"  atomicAnd(owns[i], ~0x0ff0); atomicMin(owns[i], scs); atomicMax(owns[i], -1000);\n"
		"}\n"},
	// switches whose cases run on, of negative and of large unsigned labels,
	// loops left by break and continue, out and inout parameters, arrays
	// passed by value (the caller's array keeps its values)
	{"CallsAndFlow",
		"layout(std430, binding = 1) buffer Out { int r[64 * 16]; };\n"
		"void split(int v, out int hi, out int lo) { hi = v >> 16; lo = v & 0xffff; }\n"
		"void accumulate(inout int acc, inout ivec2 both, int v) { acc += v; both = both.yx + ivec2(v, -v); }\n"
		"int weigh(int k[4]) { k[0] += 100; int s = 0; for (int j = 0; j < 4; j++) s += k[j] * (j + 1); return s; }\n"
		"float pick(float v[3], int at) { v[at] = -1.0; return v[0] + v[1] * 2.0 + v[2] * 4.0; }\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x, o = i * 16u;\n"
		"  int x = a[i], y = d[i]; uint p = u[i];\n"
		"  int hi, lo; split(x, hi, lo);\n"
		"  int acc = y; ivec2 both = ivec2(x, y); accumulate(acc, both, hi); accumulate(acc, both, lo);\n"
		"  int k[4] = int[](x, y, hi, lo);\n"
		"  int weight = weigh(k);\n"
		"  r[o] = hi; r[o + 1u] = lo; r[o + 2u] = acc; r[o + 3u] = both.x ^ both.y; r[o + 4u] = weight + k[0];\n"
		"  float fv[3] = float[](f[i], f[(i + 1u) & 255u], 0.5);\n"
		"  r[o + 5u] = floatBitsToInt(pick(fv, int(i % 3u)) + fv[i % 3u]);\n"
		"  int s = 0;\n"
		"  switch (x & 7) { case 0: s = y; break; case 1: s = y * 2; case 2: s += 3; break; default: s = -1; case 5: s -= 7; break; case 6: case 7: s = x; }\n"
		"  r[o + 6u] = s;\n"
		"  switch (y) { case -3: s = 1; break; case -2: case 2: s = 2; default: s += 10; break; case -9: s = 9; }\n"
		"  r[o + 7u] = s;\n"
		"  switch (p >> 30) { case 3u: s = 30; break; case 2u: s = 20; case 1u: s += 5; break; default: s = 0; }\n"
		"  switch (p | 0x7fffffffu) { case 0xffffffffu: s += 100; break; case 0x7fffffffu: s -= 100; break; }\n"
		"  r[o + 8u] = s;\n"
		"  int t = 0, j = 0;\n"
		"  for (; j < 40; j++) { if ((a[j] & 3) == 1) continue; t += a[j] >> 20; if (t > y * 4 && j > int(i & 7u)) break; }\n"
		"  r[o + 9u] = t; r[o + 10u] = j;\n"
		"  int w = int(i); uint c = 0u;\n"
		"  while (true) { c++; if (w > 60) break; w += d[w & 255] > 0 ? d[w & 255] : 3; if ((c & 3u) == 0u) continue; w++; }\n"
		"  r[o + 11u] = w; r[o + 12u] = int(c);\n"
		"}\n"},
	// a do-while loop with a continue: after spirv-opt -O, an OpPhi of the
	// loop takes a value from a continue block that two branches reach (the
	// continue and the end of the body), which the renderer does not place
	{"DoWhileContinue",
		"layout(std430, binding = 1) buffer Out { int r[64 * 2]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x; int x = a[i];\n"
		"  int e = 0, n = 0; do { e += 7; n++; if (e % 3 == 0) continue; e++; } while (e < (x & 63));\n"
		"  r[i * 2u] = e; r[i * 2u + 1u] = n;\n"
		"}\n",
		0,
		{{"GLSL_GL after spirv-opt -O", "assigned by a continue block that several branches reach", nullptr},
			{"GLSL_GLES after spirv-opt -O", "assigned by a continue block that several branches reach", nullptr}}},
	// vector comparisons and logic: equal and notEqual, any and all, not,
	// mix by a bool vector, ternaries of vectors, integer vectors compared in
	// either signedness
	{"VectorLogic",
		"#extension GL_EXT_spirv_intrinsics : require\n"
		"spirv_instruction(id = 176) bvec3 ult3(ivec3 l, uvec3 r);\n"
		"spirv_instruction(id = 179) bvec2 sle2(uvec2 l, uvec2 r);\n"
		"spirv_instruction(id = 110) uvec2 ftos2(vec2 v);\n"
		"layout(std430, binding = 1) buffer Out { uint r[64 * 8]; vec4 w[64 * 4]; ivec4 iv[64]; uvec4 uv[64]; };\n"
		"uint bits(bvec4 b) { return uint(b.x) | uint(b.y) << 1 | uint(b.z) << 2 | uint(b.w) << 3; }\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x, o = i * 8u;\n"
		"  vec4 v = vec4(f[i], f[(i + 1u) & 255u], -f[i], 0.5);\n"
		"  ivec3 xi = ivec3(a[i], d[i], a[i] >> 3); uvec3 pu = uvec3(u[i], u[(i + 1u) & 255u], 7u);\n"
		"  bvec4 lt = lessThan(v, v.wzyx); bvec3 ge = greaterThanEqual(xi, ivec3(0)); bvec3 ule = lessThanEqual(pu, uvec3(0x80000000u));\n"
		"  bvec3 cross = lessThan(uvec3(xi), pu);\n"
		"  r[o] = bits(lt) | bits(bvec4(ge, true)) << 4 | bits(bvec4(ule, false)) << 8 | bits(bvec4(cross, any(cross))) << 12;\n"
		"  r[o + 1u] = uint(any(lt)) | uint(all(ge)) << 1 | uint(all(not(ule))) << 2 | uint(any(equal(ge, ule))) << 3 | uint(all(notEqual(lt.xyz, ge))) << 4;\n"
		"  r[o + 2u] = bits(equal(v, v.yxwz)) | bits(notEqual(ivec4(xi, 0), ivec4(xi.zyx, 0))) << 4 | bits(equal(uvec4(pu, 1u), uvec4(pu.yxz, 1u))) << 8;\n"
		"  r[o + 3u] = bits(bvec4(ult3(xi, pu), false)) | bits(bvec4(sle2(pu.xy, pu.yx), sle2(pu.yz, pu.zx))) << 4;\n"
		"  uvec2 fs = ftos2(v.xz * 0.25); r[o + 4u] = fs.x ^ (fs.y << 1);\n"
		"  w[i * 4u] = mix(v, v.yxwz, lt);\n"
		"  w[i * 4u + 1u] = a[i] > 0 ? v : -v;\n"
		"  w[i * 4u + 2u] = mix(v * 2.0, vec4(1.0), bvec4(ge, lt.x));\n"
		"  bvec2 bb = a[i] > 0 ? lt.xy : ge.yz;\n"
		"  w[i * 4u + 3u] = vec4(bb, not(bb)) + vec4(lt.w ? v.xy : v.zw, ule.x ? 1.0 : 2.0, 3.0);\n"
		"  iv[i] = mix(ivec4(xi, 1), ivec4(-1), bvec4(ge, true));\n"
		"  uv[i] = uvec4(mix(pu, uvec3(xi), ule), cross.x ? pu.x : ~pu.x);\n"
		"}\n"},
	// what spirv-opt -O makes of structures, arrays and vectors changed in
	// parts: inserts into composites, shuffles, components chosen at run time
	{"CompositeParts",
		"struct P { vec3 pos; int id; float w[2]; };\n"
		"layout(std430, binding = 1) buffer Out { P ps[64]; vec4 v[64]; mat3 m[64]; int r[64 * 4]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x; int x = a[i]; float z = f[i];\n"
		"  P p = P(vec3(z), x, float[2](1.0, 2.0));\n"
		"  if (x > 0) p.pos.y = 5.0; else p.w[1] = f[(i + 1u) & 255u];\n"
		"  for (int j = 0; j < int(i & 3u); j++) { p.pos = p.pos.zxy + vec3(float(j)); p.id += j; }\n"
		"  ps[i] = p;\n"
		"  vec4 v4; v4.xz = vec2(z, -z); v4.y = float(x & 15); v4.w = p.w[0];\n"
		"  v4[i & 3u] += 10.0;\n"
		"  v[i] = v4.wzyx * vec4(v4.xx, v4.yy);\n"
		"  mat3 m3 = mat3(1.0); m3[1][2] = z; m3[i % 3u] = vec3(float(i)); m3[2].x = m3[(i + 1u) % 3u][i % 3u];\n"
		"  m[i] = m3;\n"
		"  int arr[5] = int[](x, x >> 1, x >> 2, x >> 3, x >> 4);\n"
		"  arr[i % 5u] = -1; arr[(i + 2u) % 5u] += arr[i % 5u];\n"
		"  r[i * 4u] = arr[0] ^ arr[1] ^ arr[2] ^ arr[3] ^ arr[4];\n"
		"  ivec2 pair[2] = ivec2[](ivec2(x, 1), ivec2(2, x));\n"
		"  pair[i & 1u].y = int(i); r[i * 4u + 1u] = pair[0].x + pair[0].y * 3 + pair[1].x * 5 + pair[1].y * 7;\n"
		"  uvec4 s4 = uvec4(u[i], i, uint(x), 7u); s4.zx += uvec2(1u, 2u); s4.wy = s4.xz ^ s4.yw;\n"
		"  r[i * 4u + 2u] = int(s4.x ^ s4.y * 3u ^ s4.z * 5u ^ s4.w * 7u);\n"
		"}\n",
		0,
		{{"GLSL_GL after spirv-opt -O", "unknown opcode 82", nullptr}, {"GLSL_GLES after spirv-opt -O", "unknown opcode 82", nullptr}}},
	// the forms of frexp and modf that return a structure (which the
	// reference compiler makes of frexp), one of them of an unsigned exponent
	{"FrexpAndModf",
		"#extension GL_EXT_spirv_intrinsics : require\n"
		"struct MS { vec2 fraction; vec2 whole; };\n"
		"struct FU { float m; uint e; };\n"
		"spirv_instruction(set = \"GLSL.std.450\", id = 36) MS modf_struct(vec2 x);\n"
		"spirv_instruction(set = \"GLSL.std.450\", id = 52) FU frexp_unsigned(float x);\n"
		"layout(std430, binding = 1) buffer Out { float w[64 * 8]; int r[64 * 4]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x; float z = f[i];\n"
		"  int e; w[i * 8u] = frexp(z, e); r[i * 4u] = e;\n"
		"  ivec3 ev; vec3 m = frexp(vec3(z, -z * 3.0, f[(i + 1u) & 255u]), ev);\n"
		"  w[i * 8u + 1u] = m.x + m.y * 3.0 + m.z * 5.0; r[i * 4u + 1u] = ev.x + ev.y * 64 + ev.z * 4096;\n"
		"  MS s = modf_struct(vec2(z, -z * 0.3)); w[i * 8u + 2u] = s.fraction.x; w[i * 8u + 3u] = s.fraction.y; w[i * 8u + 4u] = s.whole.x - s.whole.y;\n"
		"  float whole; w[i * 8u + 5u] = modf(z * 0.7, whole); w[i * 8u + 6u] = whole;\n"
		"  FU fu = frexp_unsigned(z * 5.0); w[i * 8u + 7u] = fu.m; r[i * 4u + 2u] = int(fu.e);\n"
		"}\n"},
	// this program's modules take frexp and modf with the pointer of the out
	// argument, through which the call writes before the argument is read:
	// into variables, array and vector elements, a buffer, out parameters, a
	// variable that the call also reads, in a loop and where the result goes unused
	{"FrexpAndModfOutArguments",
		"layout(std430, binding = 1) buffer Out { float w[64 * 8]; int r[64 * 8]; };\n"
		"void split(float v, out int e, out float whole) { frexp(v, e); modf(v * 0.3, whole); }\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x, o = i * 8u; float z = f[i];\n"
		"  int e; float m = frexp(z, e); w[o] = m; r[o] = e;\n"
		"  int ea[3]; ea[2] = 7; float n = frexp(z * 3.0, ea[i & 1u]); r[o + 1u] = ea[i & 1u] * 5 + ea[2]; w[o + 1u] = n;\n"
		"  ivec3 ev = ivec3(1, 2, 3); frexp(-z, ev.y); r[o + 2u] = ev.x + ev.y * 64 + ev.z * 4096;\n"
		"  frexp(z + 1.0, r[o + 3u]);\n"
		"  int q = int(i) + 3; float y = frexp(float(q) * z, q); r[o + 4u] = q; w[o + 2u] = y;\n"
		"  float whole; w[o + 3u] = modf(z * 0.7, whole) + whole * 3.0; w[o + 4u] = whole;\n"
		"  vec2 wv; vec2 fv = modf(vec2(z, -z * 0.3), wv); w[o + 5u] = fv.x - fv.y * 3.0; w[o + 6u] = wv.x - wv.y * 3.0;\n"
		"  int s = 0; for (int k = 0; k < 3; k++) { int t; frexp(z * float(k + 1), t); s = s * 64 + t; } r[o + 5u] = s;\n"
		"  int se; float sw; split(z * 9.0, se, sw); r[o + 6u] = se; w[o + 7u] = sw;\n"
		"}\n",
		0, {}, {}, true},
	// increments of for-statements that call functions, of constant and
	// of other arguments, whose values the increment names
	{"CallsInIncrements",
		"layout(std430, binding = 1) buffer Out { int r[64 * 4]; };\n"
		"int step_of(int k) { return k + (a[k] & 1); }\n"
		"int next(int j, inout int t) { t += j; return j + 1 + (t & 3); }\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x; int s = 0, n = 0, t = int(i);\n"
		"  for (int j = 0; j < 40; j += step_of(1)) { s += j * a[(i + uint(j)) & 255u]; n++; }\n"
		"  for (int j = int(i & 7u); j < 60; j = next(j, t)) { s ^= j << 3; }\n"
		"  r[i * 4u] = s; r[i * 4u + 1u] = n; r[i * 4u + 2u] = t;\n"
		"}\n"},
	// float additions of atomics, to buffers and shared memory, of values
	// whose sums are exact in any order (ES has none: refused)
	{"FloatAtomics",
		"#extension GL_EXT_shader_atomic_float : require\n"
		"layout(std430, binding = 1) buffer Out { float total; float parts[8]; float sums[8]; uint r[64]; };\n"
		"shared float s[4];\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x, l = gl_LocalInvocationIndex;\n"
		"  if (l < 4u) s[l] = 0.0;\n"
		"  barrier();\n"
		"  float old = atomicAdd(total, float(a[i] & 15));\n"
		"  atomicAdd(parts[i & 7u], 0.25 * float(i));\n"
		"  atomicAdd(s[l & 3u], float(d[i]));\n"
		"  barrier();\n"
		"  r[i] = uint(old >= 0.0) + 1u;\n"
		"  if (l < 4u) sums[gl_WorkGroupID.x * 4u + l] = s[l];\n"
		"}\n",
		0,
		{{"GLSL_GLES", "unknown float atomic opcode 6035", nullptr}, {"GLSL_GLES after spirv-opt -O", "unknown float atomic opcode 6035", nullptr}}},
	// subgroups: the basic built-ins, ballots, and arithmetic of either
	// signedness
	{"Subgroups",
		"#extension GL_KHR_shader_subgroup_basic : require\n"
		"#extension GL_KHR_shader_subgroup_ballot : require\n"
		"#extension GL_KHR_shader_subgroup_arithmetic : require\n"
		"layout(std430, binding = 1) buffer Out { uint r[64 * 12]; int s[64 * 8]; float w[64 * 2]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x, o = i * 12u; int x = a[i]; uint p = u[i];\n"
		"  r[o] = gl_SubgroupSize + (gl_SubgroupInvocationID << 8) + (gl_NumSubgroups << 16) + (gl_SubgroupID << 24);\n"
		"  r[o + 1u] = uint(subgroupElect());\n"
		"  uvec4 b = subgroupBallot(x > 0);\n"
		"  r[o + 2u] = b.x; r[o + 3u] = subgroupBallotBitCount(b) + (subgroupBallotFindLSB(b) << 8) + (subgroupBallotFindMSB(b) << 16);\n"
		"  r[o + 4u] = subgroupBallotInclusiveBitCount(b) + (subgroupBallotExclusiveBitCount(b) << 8) + (uint(subgroupBallotBitExtract(b, 3u)) << 16);\n"
		"  r[o + 5u] = subgroupBroadcastFirst(p) ^ subgroupBroadcast(p, 1u);\n"
		"  r[o + 6u] = uint(subgroupInverseBallot(uvec4(0x55555555u))) + (gl_SubgroupEqMask.x & 0xffffu) + (gl_SubgroupLtMask.x << 16);\n"
		"  r[o + 7u] = gl_SubgroupGeMask.x ^ gl_SubgroupGtMask.x ^ gl_SubgroupLeMask.x;\n"
		"  r[o + 8u] = subgroupMin(p) ^ subgroupMax(p) ^ subgroupAnd(p) ^ subgroupOr(p) ^ subgroupXor(p);\n"
		"  r[o + 9u] = subgroupAdd(p) ^ subgroupInclusiveAdd(p) ^ subgroupExclusiveMin(p);\n"
		"  s[i * 8u] = subgroupAdd(x); s[i * 8u + 1u] = subgroupMin(x); s[i * 8u + 2u] = subgroupMax(x);\n"
		"  s[i * 8u + 3u] = subgroupExclusiveAdd(x); s[i * 8u + 4u] = subgroupInclusiveMax(x); s[i * 8u + 5u] = subgroupMul(x | 1);\n"
		"  s[i * 8u + 6u] = subgroupAnd(x) ^ subgroupXor(x); s[i * 8u + 7u] = subgroupExclusiveMin(x);\n"
		"  w[i * 2u] = subgroupAdd(float(x >> 20)); w[i * 2u + 1u] = subgroupInclusiveMax(f[i]) + subgroupMin(-f[i]);\n"
		"}\n",
		D::SubgroupBasic | D::SubgroupBallot | D::SubgroupArithmetic},
};

// The inputs of binding 0: a[], d[], u[] and f[], 256 words each
std::vector<uint8_t> inputs_of() {
	std::vector<uint32_t> words(1024);
	uint32_t state = 12345u;
	auto next = [&]() {
		state = state * 1664525u + 1013904223u;
		return state;
	};
	const int32_t special[] = {0, 1, -1, 2147483647, -2147483647, 65536, -65536, 7, -7, 1 << 30, -(1 << 30), 100, -100, 255, -256, 3};
	for (uint32_t k = 0; k < 256; k++) {
		uint32_t r = next();
		int32_t value = 0;
		switch (k % 4) {
			case 0: value = int32_t(r >> 8) % 2000 - 1000; break;
			case 1: value = int32_t(r); break;
			case 2: value = special[(k / 4) % 16]; break;
			case 3: value = -int32_t(r >> 12); break;
		}
		if (value == int32_t(0x80000000u)) value = 0;
		words[k] = uint32_t(value);
	}
	for (uint32_t k = 0; k < 256; k++) {
		// divisors of both signs and sizes, never 0 or -1
		uint32_t r = next() >> 8;
		int32_t value = (k % 3 == 2) ? int32_t(r % 100000u) + 2 : int32_t(r % 40u) + 2;
		words[256 + k] = uint32_t((r & 1u) ? -value : value);
	}
	const uint32_t unsigned_special[] = {0u, 1u, 0xffffffffu, 0x80000000u, 0x7fffffffu, 0xfffffffeu, 0x80000001u, 31u};
	for (uint32_t k = 0; k < 256; k++) words[512 + k] = (k % 4 == 2) ? unsigned_special[(k / 4) % 8] : next();
	for (uint32_t k = 0; k < 256; k++) {
		uint32_t r = next() >> 8;
		float value = float(int32_t(r % 20000u) - 10000) / 8.0f;
		if (k % 16 == 3) value = float(int32_t(r % 2000u) - 1000) * 1048576.0f;
		if (k % 32 == 7) value = -0.0f;
		std::memcpy(&words[768 + k], &value, 4);
	}
	return to_bytes(words);
}

// floats of small values for the blocks of bindings 2 and 3
std::vector<uint8_t> block_of() {
	std::vector<float> values(block_words);
	for (uint32_t k = 0; k < block_words; k++) values[k] = float(int32_t((k * 37u) % 401u) - 200) / 4.0f;
	return to_bytes(values);
}

struct Outcome {
	bool ok = false;
	std::vector<std::vector<uint8_t>> buffers;
	std::string errors;
};

Outcome run(const std::vector<uint32_t> &module) {
	Outcome ret;
	ret.buffers = {inputs_of(), std::vector<uint8_t>(output_words * 4, 0), block_of(), block_of()};
	ComputeOptions options;
	options.uniform_bindings = {2};
	ret.ok = run_compute(module, ret.buffers, groups, 1, 1, &ret.errors, options);
	return ret;
}

// the first differing words of each buffer
std::string differences(const std::vector<std::vector<uint8_t>> &actual, const std::vector<std::vector<uint8_t>> &expected) {
	std::string ret;
	for (size_t b = 0; b < actual.size() && b < expected.size(); b++) {
		std::vector<uint32_t> x = from_bytes<uint32_t>(actual[b]), y = from_bytes<uint32_t>(expected[b]);
		uint32_t reported = 0;
		for (size_t w = 0; w < x.size() && w < y.size() && reported < 8; w++) {
			if (x[w] == y[w]) continue;
			char line[128];
			std::snprintf(line, sizeof(line), "buffer %zu word %zu: 0x%08x, the reference 0x%08x\n", b, w, x[w], y[w]);
			ret += line;
			reported++;
		}
	}
	return ret;
}

// the source of a row: its #extension lines stand after #version
std::string source_of(const Case &c) {
	std::string text = c.source;
	std::string extensions;
	while (text.compare(0, 10, "#extension") == 0) {
		size_t end = text.find('\n') + 1;
		extensions += text.substr(0, end);
		text = text.substr(end);
	}
	return "#version 450\n" + extensions + inputs + text;
}

const Known *known_of(const Case &c, const std::string &variant) {
	for (const Known &e : c.known) {
		if (variant == e.variant) return &e;
	}
	return nullptr;
}

// rows by their names in the messages of GoogleTest
void PrintTo(const Case &c, std::ostream *out) {
	*out << c.name;
}

class ComputeGLSL : public testing::TestWithParam<Case> {};

TEST_P(ComputeGLSL, RenderedTextComputesAsTheModule) {
	const Case &c = GetParam();
	std::string why;
	if (!compute_available(&why)) GTEST_SKIP() << why;
	if (!spirv_test::have_tool("spirv-opt")) GTEST_SKIP() << "spirv-opt missing";
	uint32_t operations = compute_device().subgroup_operations;
	if ((operations & c.subgroup) != c.subgroup) {
		GTEST_SKIP() << c.name << ": the device's compute subgroups lack operations 0x" << std::hex << (c.subgroup & ~operations);
	}
	// subgroup operations are SPIR-V 1.3
	std::string arguments = c.subgroup != 0 ? "--target-env vulkan1.1" : "";
	std::string errors;
	std::string source = source_of(c);
	std::vector<uint32_t> reference = reference_spirv(source, &errors, arguments);
	ASSERT_FALSE(reference.empty()) << errors << "\n" << source;
	std::vector<uint32_t> optimized = listing_test::optimize(reference, c.subgroup != 0 ? "vulkan1.1" : "");
	ASSERT_FALSE(optimized.empty());
	std::vector<uint32_t> expected_module = reference;
	if (!c.expected_text.empty()) {
		std::string text = source;
		for (const auto &pair : c.expected_text) {
			size_t at = text.find(pair.first);
			ASSERT_NE(at, std::string::npos) << pair.first;
			text.replace(at, std::strlen(pair.first), pair.second);
		}
		expected_module = reference_spirv(text, &errors, arguments);
		ASSERT_FALSE(expected_module.empty()) << errors << "\n" << text;
	}
	Outcome expected = run(expected_module);
	ASSERT_TRUE(expected.ok) << expected.errors;
	// the row writes its outputs, so that it can't pass by writing nothing
	std::vector<uint32_t> outputs = from_bytes<uint32_t>(expected.buffers[1]);
	ASSERT_GE(outputs.size() - size_t(std::count(outputs.begin(), outputs.end(), 0u)), 64u);

	std::vector<const std::vector<uint32_t> *> modules = {&reference, &optimized};
	std::vector<uint32_t> own;
	if (c.own) {
		own = own_spirv(source, &errors);
		ASSERT_FALSE(own.empty()) << errors << "\n" << source;
		modules.push_back(&own);
	}
	for (const std::vector<uint32_t> *module : modules) {
		for (const char *format : {"GLSL_GL", "GLSL_GLES"}) {
			std::string variant = std::string(format) + (module == &optimized ? " after spirv-opt -O" : module == &own ? " of this program's module" : "");
			SCOPED_TRACE(variant);
			const Known *known = known_of(c, variant);
			std::unique_ptr<Vexa::ShaderSpirv> spirv(Vexa::ShaderSpirv::get(format));
			ASSERT_TRUE(spirv != nullptr);
			listing_test::Rendered glsl = listing_test::render_with(*spirv, *module);
			if (known != nullptr && known->refusal != nullptr) {
				EXPECT_FALSE(glsl.ok) << "renders now; compare what it computes:\n" << glsl.text;
				EXPECT_EQ(listing_test::failure_of(glsl), listing_test::Failure::Unsupported) << glsl.errors;
				EXPECT_NE(glsl.errors.find(known->refusal), std::string::npos) << glsl.errors;
				continue;
			}
			ASSERT_TRUE(glsl.ok) << glsl.errors;
			EXPECT_EQ(glsl.errors, "");
			std::vector<uint32_t> again = reference_spirv(glsl.text, &errors, arguments);
			ASSERT_FALSE(again.empty()) << errors << "\n" << glsl.text;
			Outcome actual = run(again);
			ASSERT_TRUE(actual.ok) << actual.errors << "\n" << glsl.text;
			if (known != nullptr && known->difference != nullptr) {
				EXPECT_NE(actual.buffers, expected.buffers) << "computes as the module now; clear the known difference";
				std::cout << c.name << " as " << variant << ": known difference: " << known->difference << "\n";
				continue;
			}
			EXPECT_TRUE(actual.buffers == expected.buffers) << differences(actual.buffers, expected.buffers) << glsl.text;
		}
	}
}

INSTANTIATE_TEST_SUITE_P(Rows, ComputeGLSL, testing::ValuesIn(cases),
	[](const testing::TestParamInfo<Case> &info) { return std::string(info.param.name); });

} // namespace
