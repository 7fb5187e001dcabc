// What compiled compute shaders compute, judged by the reference compiler: the
// same GLSL is compiled by this compiler and by the reference, both modules
// run on the CPU Vulkan device over the same input buffers, and every output
// byte must be the same. The listing must render every module compiled here.
#include "compute_runner.h"
#include "own_compiler.h"

#include "../shader/listing_fixtures.h"


#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vulkan_test;

namespace {

// how a buffer starts: words of small unsigned, signed or float values, or zeros
enum Fill { Unsigned, Signed, Float, Zero };

struct Buffer {
	Fill fill;
	uint32_t words;
};

enum Needs { Core, Bits64, Bits16 };

struct Case {
	const char *name;
	const char *source; // the body after the common header
	std::vector<Buffer> buffers;
	uint32_t groups;
	Needs needs = Core; // device features beyond the core ones
};

std::vector<uint8_t> filled(const Buffer &buffer, uint32_t seed) {
	std::vector<uint32_t> words(buffer.words);
	uint32_t state = seed * 2654435761u + 12345u;
	for (uint32_t i = 0; i < buffer.words; i++) {
		state = state * 1664525u + 1013904223u;
		uint32_t r = state >> 8;
		switch (buffer.fill) {
		case Unsigned: words[i] = r % 1000u; break;
		case Signed: words[i] = uint32_t(int32_t(r % 1000u) - 500); break;
		case Float: {
			float f = float(int32_t(r % 20000u) - 10000) / 64.0f;
			std::memcpy(&words[i], &f, 4);
			break;
		}
		case Zero: words[i] = 0; break;
		}
	}
	return to_bytes(words);
}

const char *const header = "#version 450\nlayout(local_size_x = 16) in;\n";

const Case cases[] = {
	{"UnsignedArithmetic",
		"layout(std430, binding = 0) buffer In { uint a[64]; uint b[64]; };\n"
		"layout(std430, binding = 1) buffer Out { uint r[512]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  uint x = a[i]; uint y = b[i] + 1u;\n"
		"  r[i * 8u] = x + y * 3u - 7u;\n"
		"  r[i * 8u + 1u] = x / y + x % y;\n"
		"  r[i * 8u + 2u] = (x << 3) ^ (y >> 1) | (x & 0xF0u);\n"
		"  r[i * 8u + 3u] = x / 2 + x % 3;\n" // int literals meet a uint: unsigned operations
		"  r[i * 8u + 4u] = ~x;\n"
		"  r[i * 8u + 5u] = x < 10 ? 1u : 0u;\n"
		"  r[i * 8u + 6u] = x >> 16;\n"
		"  uint z = x; z /= 3u; z %= 7u; z <<= 2; z >>= 1; z |= 1u; z ^= 6u; z &= 0xFFu; z += 5u; z -= 1u; z *= 9u;\n"
		"  r[i * 8u + 7u] = z++ + ++z + (float(-3u) > 4.0e9 ? 2u : 0u) + (-3u == 4294967293u ? 1u : 0u);\n" // -3u stays unsigned
		"}\n",
		{{Unsigned, 128}, {Zero, 512}}, 4},
	{"SignedArithmetic",
		"layout(std430, binding = 0) buffer In { int a[64]; int b[64]; };\n"
		"layout(std430, binding = 1) buffer Out { int r[512]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  int x = a[i]; int y = b[i] | 1;\n"
		"  r[i * 8u] = x * y - 3 * x + y;\n"
		"  r[i * 8u + 1u] = x / y;\n"
		"  r[i * 8u + 2u] = x >> 2;\n" // arithmetic shift of a signed value
		"  r[i * 8u + 3u] = -x + (-(-y));\n"
		"  int z = x; z >>= 3; z /= 2; z -= y;\n"
		"  r[i * 8u + 4u] = z;\n"
		"  r[i * 8u + 5u] = int(x > y) + int(x <= y) * 2 + int(x == y) * 4 + int(x != y) * 8;\n"
		"  r[i * 8u + 6u] = (x < 0 && y > 0) || x == 7 ? 100 : -100;\n"
		"  r[i * 8u + 7u] = int(uint(x) >> 28);\n"
		"}\n",
		{{Signed, 128}, {Zero, 512}}, 4},
	{"FloatVectors",
		"layout(std430, binding = 0) buffer In { vec4 a[64]; vec4 b[64]; };\n"
		"layout(std430, binding = 1) buffer Out { vec4 r[256]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  vec4 x = a[i]; vec4 y = b[i];\n"
		"  r[i * 4u] = x * y + 2.0 * x - y / 4.0;\n"
		"  vec3 s = x.zyx * 0.5 + y.xxx;\n"
		"  r[i * 4u + 1u] = vec4(s, -x.w);\n"
		"  vec4 m = x; m.yw = y.xz; m.x += 1.0; m *= 0.25;\n"
		"  r[i * 4u + 2u] = m;\n"
		"  r[i * 4u + 3u] = vec4(x == y, x != y, x.x < y.x && x.y < y.y ? 1.0 : 0.0, float(x.x < y.y));\n"
		"}\n",
		{{Float, 512}, {Zero, 1024}}, 4},
	{"Matrices",
		"layout(std430, binding = 0) buffer In { mat4 m[16]; vec4 v[64]; };\n"
		"layout(std430, binding = 1) buffer Out { vec4 r[256]; mat3 q[64]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  mat4 a = m[i % 16u]; mat4 b = m[(i + 3u) % 16u];\n"
		"  r[i * 4u] = a * v[i];\n"
		"  r[i * 4u + 1u] = v[i] * b;\n"
		"  mat4 c = (a * b + a - b / 2.0) * 0.5;\n"
		"  r[i * 4u + 2u] = c[1] + (-c)[2];\n"
		"  r[i * 4u + 3u] = mat4(1.0)[2] + mat4(mat3(a))[3] + vec4(mat2(a)[1], mat2(2.0)[0]);\n"
		"  q[i] = mat3(a) * mat3(b);\n"
		"}\n",
		{{Float, 512}, {Zero, 1024 + 64 * 12}}, 4},
	// the right operand of && and || and the branches of ?: run only when
	// selected, when they have effects or index memory
	{"ShortCircuit",
		"layout(std430, binding = 0) buffer In { uint a[64]; };\n"
		"layout(std430, binding = 1) buffer Out { uint r[256]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  uint n = a[i]; uint count = 0u;\n"
		"  bool t = n > 500u && (count++ > 0u || ++count > 0u);\n"
		"  bool u = n < 100u || (count += 10u) > 12u;\n"
		"  r[i * 4u] = count;\n"
		"  r[i * 4u + 1u] = (t ? 1u : 0u) + (u ? 2u : 0u);\n"
		"  uint index = n % 80u;\n"
		"  r[i * 4u + 2u] = index < 64u ? a[index] : 7u;\n"
		"  r[i * 4u + 3u] = (n & 1u) == 0u ? (count += 5u) : (count -= 1u);\n"
		"}\n",
		{{Unsigned, 64}, {Zero, 256}}, 4},
	{"DoublesAndConversions",
		"layout(std430, binding = 0) buffer In { int a[64]; float f[64]; };\n"
		"layout(std430, binding = 1) buffer Out { double d[64]; uint r[256]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  double x = double(a[i]) / 3.0lf + double(f[i]);\n"
		"  d[i] = x * x - 1.5lf;\n"
		"  r[i * 4u] = uint(a[i]);\n"
		"  r[i * 4u + 1u] = uint(int(f[i]));\n"
		"  r[i * 4u + 2u] = uint(bool(a[i])) + uint(f[i] > 0.0) * 2u;\n"
		"  r[i * 4u + 3u] = uint(int(float(x) * 16.0));\n"
		"}\n",
		{{Signed, 64}, {Float, 64}, {Zero, 128 + 256}}, 4},
	{"ConstantsAndArrays",
		"layout(std430, binding = 0) buffer Out { uint r[64]; vec2 w[64]; float tail[]; };\n"
		"const uint table[4] = uint[](3u, 1u, 4u, 1u);\n"
		"const vec2 points[3] = vec2[](vec2(1.0, 2.0), vec2(3.0, 4.0), vec2(5.0, 6.0));\n"
		"const int N = 2 * 3;\n"
		"float scratch[N];\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  const uint k = 3u * 2u;\n"
		"  const float half_k = float(k) / 2.0;\n"
		"  float local[4] = float[4](1.0, 2.0, half_k, float(i));\n"
		"  scratch[i % 6u] = local[i % 4u];\n"
		"  r[i] = table[i % 4u] + k + table[2] + uint(half_k) + uint(scratch.length()) + uint(tail.length()) * 100u;\n"
		"  w[i] = points[i % 3u] * half_k + vec2(scratch[i % 6u], local.length());\n"
		"}\n",
		{{Zero, 64 + 128 + 8}}, 4},
	{"Structures",
		"struct P { vec3 pos; float w; uint id; };\n"
		"layout(std430, binding = 0) buffer In { P ps[64]; };\n"
		"layout(std430, binding = 1) buffer Out { P outp[64]; uint r[64]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  P p = ps[i];\n"
		"  p.pos *= 2.0; p.id += 1u; p.pos.y = -p.w;\n"
		"  outp[i] = p;\n"
		"  P q = P(vec3(1.0, 2.0, float(i)), 0.5, i);\n"
		"  outp[i].w += q.pos.z + float(outp.length());\n"
		"  r[i] = q.id + p.id;\n"
		"}\n",
		{{Float, 64 * 8}, {Zero, 64 * 8 + 64}}, 4},
	{"StructureArrays",
		"struct Item { float a; uint b; };\n"
		"layout(std430, binding = 0) buffer In { uint k[64]; };\n"
		"layout(std430, binding = 1) buffer Out { Item items[64]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  Item first = Item(1.5, i);\n"
		"  Item list[2] = Item[2](first, Item(float(k[i]), 4u));\n"
		"  Item more[] = Item[](first, list[1], first);\n"
		"  items[i] = more[k[i] % 3u];\n"
		"  items[i].b += uint(more.length()) + list[k[i] % 2u].b;\n"
		"}\n",
		{{Unsigned, 64}, {Zero, 128}}, 4},
	{"OperatorChains",
		"layout(std430, binding = 0) buffer In { int a[64]; };\n"
		"layout(std430, binding = 1) buffer Out { int r[256]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  int x = a[i]; bool b = x > 0;\n"
		"  int y; int z;\n"
		"  r[i * 4u] = - -x + -~x;\n"
		"  r[i * 4u + 1u] = (!!b ? 1 : (!b ? 2 : 3)) + (b ^^ x < 5 || x == 3 ? 10 : 0);\n"
		"  r[i * 4u + 2u] = x > 100 ? x > 200 ? 2 : 1 : x < -100 ? -1 : 0;\n" // a conditional in the middle operand
		"  y = z = x * 2;\n"
		"  r[i * 4u + 3u] = (y += 3) + z + (z = 5);\n"
		"}\n",
		{{Signed, 64}, {Zero, 256}}, 4},
	// swizzles written inside expressions, and equality of whole values
	{"SwizzlesAndEquality",
		"struct S { uint k; vec2 f; float list[2]; };\n"
		"layout(std430, binding = 0) buffer In { vec4 v[64]; mat2 m[64]; };\n"
		"layout(std430, binding = 1) buffer Out { vec4 w[64]; uint r[64]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  vec4 x = v[i];\n"
		"  float q = (x.wy = x.xz * 2.0).x + (x.zx += vec2(1.0, 3.0)).y;\n"
		"  x.wzyx.xy = vec2(q, -q);\n"
		"  w[i] = vec4((++x.yw).x, x.zx--, 0.5) + x;\n"
		"  S a = S(i % 3u, x.xy, float[2](1.0, x.z));\n"
		"  S b = S(1u, x.xy, float[2](1.0, x.z));\n"
		"  mat2 n = m[i];\n"
		"  r[i] = uint(a == b) + uint(a != b) * 2u + uint(n == mat2(m[i][0], m[i][1])) * 4u + uint(n != mat2(1.0)) * 8u\n"
		"    + uint(a.list == float[2](1.0, float(i))) * 16u + uint(m[(i + 1u) % 64u] == n) * 32u;\n"
		"}\n",
		{{Float, 256 + 256}, {Zero, 256 + 64}}, 4},
	{"Branches",
		"#extension GL_EXT_control_flow_attributes : require\n"
		"layout(std430, binding = 0) buffer In { uint a[64]; };\n"
		"layout(std430, binding = 1) buffer Out { uint r[256]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  uint x = a[i]; uint acc = 0u; uint w = 0u;\n"
		"  if (x > 500u) acc = 1u; else if (x > 200u) acc = 2u; else { acc = 3u; if (x < 10u) acc += 100u; }\n"
		"  uint elsewhere = 0u;\n"
		"  if (x == 0u) acc = 7u;\n"
		"  elsewhere = 5u;\n" // "else" only as a whole word
		"  for (uint k = 0u; k < x % 17u; k++) { if (k == 3u) continue; acc += k; if (acc > 60u) break; }\n"
		"  while (true) { w++; if (w > x % 5u) break; }\n"
		"  do { w += 2u; if (w == 9u) continue; w++; } while (w < 20u);\n"
		"  for (;;) { if (++w > 30u) break; }\n"
		"  for (uint p = 0u; p < 4u; p++) for (uint q = 0u; q < 4u; q++) { if (q > p) break; acc += p * q; }\n"
		"  [[unroll]] for (int j = 0; j < 4; ++j) acc += uint(j);\n"
		"  while (acc > 1000u) acc -= 1000u;\n"
		"  switch (x % 7u) {\n"
		"  case 0u: acc += 10u;\n" // falls through
		"  case 1u: acc += 20u; break;\n"
		"  case 2u: { acc += 30u; if (x > 300u) break; acc += 1u; }\n"
		"  case 3u:\n"
		"  case 4u: acc += 40u; break;\n"
		"  default: acc += 50u;\n"
		"  case 6u: acc += 60u;\n" // the last case runs to the switch's end
		"  }\n"
		"  switch (int(x % 3u)) { case -1: acc = 0u; break; case 2: acc *= 2u; }\n"
		// a case's declarations belong to the switch
		"  switch (x % 2u) { case 0u: uint y = 3u; acc += y; break; default: y = 4u; acc += y; }\n"
		"  uint y = 1u; acc += y;\n"
		"  if (x > 100u) do w++; while (w < 3u); else w += 1u;\n"
		"  r[i * 4u] = acc; r[i * 4u + 1u] = w; r[i * 4u + 2u] = elsewhere;\n"
		"  for (int k = 0; k < 8; k++) { if (k == int(x % 8u)) { r[i * 4u + 3u] = uint(k); return; } }\n"
		"  r[i * 4u + 3u] = 99u;\n"
		"}\n",
		{{Unsigned, 64}, {Zero, 256}}, 4},
	// commas between statements, and in the first and last parts of a for
	{"CommaSeparatedStatements",
		"layout(std430, binding = 0) buffer In { uint a[64]; };\n"
		"layout(std430, binding = 1) buffer Out { uint r[128]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  uint x = a[i]; uint p, q, acc = 0u;\n"
		"  for (p = 0u, q = x % 9u; p < q; p++, q--) acc += p * 10u + q;\n"
		"  acc++, x += 3u;\n"
		"  r[i * 2u] = acc; r[i * 2u + 1u] = x + p * 100u + q;\n"
		"}\n",
		{{Unsigned, 64}, {Zero, 128}}, 4},
	// code after break, continue and return, and constructs none of whose
	// ends reach their merge, still make a valid module
	{"CodeAfterJumps",
		"layout(std430, binding = 0) buffer In { uint a[64]; };\n"
		"layout(std430, binding = 1) buffer Out { uint r[256]; };\n"
		"uint pick(uint x) { if (x > 300u) { return 1u; } else { return 2u; } }\n"
		"uint first(uint x) { for (;;) { if (x > 700u) return x; x += 90u; } }\n"
		"uint which(uint x) { switch (x % 3u) { case 0u: return 5u; default: return 6u; } }\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  uint x = a[i]; uint w = 0u;\n"
		"  while (true) { w += 1u; break; w = 50u; continue; }\n"
		"  for (uint k = 0u; k < 4u; k++) { continue; w += 100u; if (k > 1u) { break; } }\n"
		"  do { if (x > w) { w += 3u; continue; } else { break; } w = 70u; } while (w < 40u);\n"
		"  switch (x % 4u) {\n"
		"  case 0u: w += 1u; break; w += 2u;\n"
		"  case 1u: { break; }\n"
		"  case 2u: r[i * 4u + 3u] = 7u; break;\n"
		"  default: while (true) { if (w > 60u) break; w += 7u; }\n"
		"  }\n"
		"  for (uint k = 0u; k < 3u; k++) { if (x > k * 200u) { w += k; } else { continue; } w++; }\n"
		"  r[i * 4u] = w; r[i * 4u + 1u] = pick(x) + first(x) + which(x);\n"
		"  if (x % 5u == 0u) return;\n"
		"  r[i * 4u + 2u] = 1u;\n"
		"  return;\n"
		"  r[i * 4u + 2u] = 2u;\n"
		"}\n",
		{{Unsigned, 64}, {Zero, 256}}, 4},
	{"Functions",
		"struct P { vec2 a; uint n; };\n"
		"layout(std430, binding = 0) buffer In { uint a[64]; };\n"
		"layout(std430, binding = 1) buffer Out { uint r[256]; P ps[64]; vec4 v[64]; };\n"
		"uint twice(uint x) { return x * 2u; }\n"
		"float twice(float x) { return x * 2.0; }\n"
		"vec3 twice(vec3 x) { return x * 2.0; }\n"
		"void bump(inout uint x, out uint y) { x += 3u; y = x * 5u; }\n"
		"void swap(inout vec2 a) { a = a.yx; }\n"
		"uint sum(uint v[3]) { uint s = 0u; for (int k = 0; k < 3; k++) s += v[k]; return s; }\n"
		"void fill(out uint v[3], uint x) { v[0] = x; v[1] = x + 1u; v[2] = x + 2u; }\n"
		"void setp(inout P p, float f) { p.a *= f; p.n++; }\n"
		"uint early(uint x) { if (x > 500u) return 1u; for (uint k = 0u; k < 10u; k++) { if (k * 100u > x) return k; } return 99u; }\n"
		"uint deep3(uint x) { return x + 1u; }\n"
		"uint deep2(uint x) { return deep3(x) * 2u; }\n"
		"uint deep1(uint x) { return deep2(x) + deep3(x); }\n"
		"uint halves(uint x) { uint y = 0u; while (x > 0u) { y += x; x /= 2u; } return y; }\n"
		"void both(inout uint a, inout uint b) { b = 5u + a; a = a + 1u; }\n"
		// overloads chosen as GLSL chooses them: by implicit conversions only
		"float pair(int a, int b) { return 100.0; }\n"
		"float pair(float a, float b) { return a + b; }\n"
		"float widen(vec2 w) { return w.x * 2.0 + w.y; }\n"
		"struct Q { float q; };\n"
		"Q abs(Q x) { return Q(x.q < 0.0 ? -x.q : x.q); }\n" // writes its in-parameter in a loop
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  uint x = a[i]; uint y;\n"
		"  bump(x, y);\n"
		"  uint list[3] = uint[3](x, y, i);\n"
		"  bump(list[1], r[i * 4u + 3u]);\n" // an array element and a buffer member by reference
		"  P p = P(vec2(1.0, 2.0), i);\n"
		"  setp(p, 1.5);\n"
		"  ps[i] = p;\n"
		"  setp(ps[i], 2.0);\n"
		"  vec4 q = vec4(1.0, 2.0, 3.0, float(i));\n"
		"  swap(q.zw);\n" // a swizzle by reference
		"  v[i] = q + vec4(twice(q.xyz), 0.0);\n"
		"  uint filled[3]; fill(filled, x);\n"
		"  r[i * 4u] = twice(x) + uint(twice(1.5)) + sum(list) + sum(filled);\n"
		"  r[i * 4u + 1u] = early(a[i]) + deep1(i);\n"
		"  uint same = i; both(same, same);\n" // one variable for two references: no aliasing
		"  float z = -0.0;\n"
		"  r[i * 4u + 1u] += uint(pair(int(i), 1.5) * 2.0) + uint(widen(ivec2(i, 3))) + uint(abs(Q(-float(i))).q + abs(-2.0)) + (1.0 / z < 0.0 ? 1000u : 0u);\n"
		"  r[i * 4u + 2u] = halves(x) + twice(1u) + x + same * 1000u;\n"
		"}\n",
		{{Unsigned, 64}, {Zero, 256 + 64 * 4 + 256}}, 4},
	// initialised globals are read from memory, so writes are seen
	{"GlobalInitialisers",
		"layout(std430, binding = 0) buffer In { uint a[64]; };\n"
		"layout(std430, binding = 1) buffer Out { uint r[128]; };\n"
		"struct S { uint k; float f; };\n"
		"uint counter = 5u;\n"
		"uint base = gl_WorkGroupSize.x * 3u;\n"
		"S s = S(7u, 1.5);\n"
		"struct T { uint x; } t;\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  counter += a[i]; s.k *= 2u; t.x = i;\n"
		"  r[i * 2u] = counter + base + t.x;\n"
		"  r[i * 2u + 1u] = s.k + uint(s.f * 2.0);\n"
		"}\n",
		{{Unsigned, 64}, {Zero, 128}}, 4},
	// bools of blocks are held as integers and read back as bools
	{"BoolMembers",
		"struct Flags { bool on; bvec2 pair; };\n"
		"layout(std430, binding = 0) buffer In { uint a[64]; };\n"
		"layout(std430, binding = 1) buffer Out { Flags f[64]; uint r[64]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  f[i].on = a[i] > 500u;\n"
		"  f[i].pair = bvec2(a[i] % 2u == 0u, !f[i].on);\n"
		"  Flags copy = f[i];\n"
		"  r[i] = (f[i].on ? 1u : 0u) + (!copy.pair.x ? 2u : 0u) + (f[i].pair.y && copy.on ? 4u : 0u);\n"
		"}\n",
		{{Unsigned, 64}, {Zero, 64 * 4 + 64}}, 4},
	// bools the host writes: any non-zero word is true, read as a bool
	// wherever it is used
	{"HostBools",
		"layout(std430, binding = 0) buffer In { bool b[64]; bvec2 v[64]; };\n"
		"layout(std430, binding = 1) buffer Out { float r[64]; uint n[64]; bool w[64]; };\n"
		"uint count(bool x) { return x ? 1u : 2u; }\n"
		"void flip(inout bool x) { x = !x; }\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  r[i] = mix(1.0, 5.0, b[i]) + float(b[i]) * 10.0 + float(int(v[i].y)) * 100.0 + mix(vec2(0.0), vec2(1000.0), v[i]).x;\n"
		"  w[i] = b[(i + 1u) % 64u];\n"
		"  flip(w[i]);\n"
		"  n[i] = count(b[i]) + (b[i] == v[i].x ? 4u : 0u) + uint(v[i].x || v[i].y) * 8u;\n"
		"}\n",
		{{Unsigned, 64 + 128}, {Zero, 64 * 3}}, 4},
	// row-major matrices are laid out by rows and multiply as any other
	{"RowMajorMatrices",
		"layout(std430, row_major, binding = 0) buffer In { mat2x3 m[16]; mat4x2 n[16]; vec4 v[64]; };\n"
		"layout(std430, binding = 1) buffer Out { vec4 r[128]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  vec3 a = m[i % 16u] * v[i].xy;\n"
		"  vec4 b = v[i].xy * n[i % 16u];\n"
		"  mat4x3 c = m[i % 16u] * n[(i + 1u) % 16u];\n"
		"  r[i * 2u] = vec4(a, b.w);\n"
		"  r[i * 2u + 1u] = vec4(c[3], m[i % 16u][1].z);\n"
		"}\n",
		{{Float, 16 * 6 + 16 * 8 + 256}, {Zero, 512}}, 4},
	// the length of a constant array is a constant, and its elements are read
	{"ConstantArrays",
		"const int table[4] = int[4](3, 1, 4, 1);\n"
		"const vec2 points[3] = vec2[3](vec2(0.5, 1.0), vec2(2.0, -1.0), vec2(0.0, 3.0));\n"
		"layout(std430, binding = 0) buffer In { int a[64]; };\n"
		"layout(std430, binding = 1) buffer Out { int r[128]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  int n = table.length() + points.length() * 10;\n"
		"  r[i * 2u] = n + table[uint(a[i]) % uint(table.length())];\n"
		"  r[i * 2u + 1u] = int(points[i % uint(points.length())].x * 4.0) + table[3];\n"
		"}\n",
		{{Unsigned, 64}, {Zero, 128}}, 4},
	// a name is declared at the end of its initialiser, which reads the
	// outer name it hides: locals, constants, for-loop declarations, a list
	{"InitialiserScopes",
		"layout(std430, binding = 0) buffer In { int a[64]; };\n"
		"layout(std430, binding = 1) buffer Out { int r[256]; };\n"
		"const int n = 3;\n"
		"int g = 5;\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  int x = a[i] % 7 + 3;\n"
		"  { int x = x + 1; r[i * 4u] = x; }\n"
		"  { const int n = n * 2; int g = g + n, y = g * 2; r[i * 4u + 1u] = g + y * 100; }\n"
		"  int k = a[i] % 4 + 2;\n"
		"  int c = 0;\n"
		"  for (int k = k; k < 6; k++) c++;\n"
		"  float f = float(a[i]) * 0.25;\n"
		"  { float f = modf(f + 2.0, f); r[i * 4u + 2u] = int(f * 100.0); }\n"
		"  r[i * 4u + 3u] = c + int(f) * 10;\n"
		"}\n",
		{{Unsigned, 64}, {Zero, 256}}, 4},
	// named constants of bool vectors, read wherever a value may be
	{"BoolVectorConstants",
		"layout(std430, binding = 0) buffer In { uint a[64]; };\n"
		"layout(std430, binding = 1) buffer Out { uint r[128]; };\n"
		"const bvec2 q = bvec2(false, true);\n"
		"const bvec2 z = bvec2(ivec2(0, 7));\n"
		"const bvec3 t = bvec3(q, true);\n"
		"const bool all_q = all(q);\n"
		"const int sel = t == bvec3(false, true, true) ? 7 : 8;\n"
		"uint bits(bvec2 b) { return uint(b.x) + 2u * uint(b.y); }\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  bvec2 w = q;\n"
		"  const bvec2 lq = bvec2(true, false);\n"
		"  bvec2 v = bvec2(a[i] % 2u == 0u, a[i] % 3u == 0u);\n"
		"  r[i * 2u] = uint(q.y) + bits(w) * 2u + uint(all_q) * 8u + uint(z.y) * 16u + uint(sel) * 32u + bits(not(lq)) * 1024u;\n"
		"  r[i * 2u + 1u] = bits(v) + uint(v == q) * 4u + uint(v != z) * 8u + uint(any(t.xy)) * 16u + uint(q[a[i] % 2u]) * 32u + uint(mix(vec2(1.0), vec2(9.0), q).y);\n"
		"}\n",
		{{Unsigned, 64}, {Zero, 128}}, 4},
	// a ?: of void calls runs one of them
	{"VoidConditional",
		"layout(std430, binding = 0) buffer In { int a[64]; };\n"
		"layout(std430, binding = 1) buffer Out { int r[64]; };\n"
		"void up(uint i) { r[i] = a[i] + 1; }\n"
		"void down(uint i) { r[i] = a[i] - 100; }\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  (a[i] > 500 ? up(i) : down(i));\n"
		"  (i % 3u == 0u ? (a[i] > 200 ? down(i) : up(i)) : up(i));\n"
		"}\n",
		{{Unsigned, 64}, {Zero, 64}}, 4},
	{"SixtyFourBits",
		"#extension GL_ARB_gpu_shader_int64 : require\n"
		"layout(std430, binding = 0) buffer In { uint a[64]; int b[64]; };\n"
		"layout(std430, binding = 1) buffer Out { uint64_t u[64]; int64_t s[64]; dvec2 d[64]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  uint64_t x = uint64_t(a[i]) << 33;\n"
		"  int64_t y = int64_t(b[i]) * -3000000000l;\n"
		"  u[i] = x / 7ul + (x % 5ul) ^ uint64_t(i);\n"
		"  s[i] = y >> 3;\n"
		"  d[i] = dvec2(double(y) * 0.5lf, double(x >> 30));\n"
		"}\n",
		{{Unsigned, 64}, {Signed, 64}, {Zero, 128 + 128 + 256}}, 4, Bits64},
	{"SixteenBits",
		"#extension GL_EXT_shader_explicit_arithmetic_types : require\n"
		"#extension GL_EXT_shader_16bit_storage : require\n"
		"layout(std430, binding = 0) buffer In { uint a[64]; int b[64]; };\n"
		"layout(std430, binding = 1) buffer Out { float16_t h[64]; uint16_t u[64]; int16_t s[64]; f16vec2 hv[64]; uint r[64]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  float16_t x = float16_t(a[i] % 100u) * 0.25hf + float16_t(1.5);\n"
		"  uint16_t y = uint16_t(a[i]) * 3us + uint16_t(i);\n"
		"  int16_t z = int16_t(b[i]) / int16_t(-7) - 2s;\n"
		"  h[i] = x * x - float16_t(3.0);\n"
		"  u[i] = y >> 3us ^ uint16_t(0x5a5a);\n"
		"  s[i] = z >> 2s;\n" // arithmetic shift of a signed value
		"  hv[i] = f16vec2(x, float16_t(z)) * 0.5hf;\n"
		"  r[i] = uint(y) + uint(int(z)) + uint(float(x) * 4.0);\n"
		"}\n",
		{{Unsigned, 64}, {Signed, 64}, {Zero, 32 + 32 + 32 + 64 + 64}}, 4, Bits16},
};

} // namespace

TEST(ComputeSemantics, SameBuffersAsTheReference) {
	std::string why;
	if (!compute_available(&why)) GTEST_SKIP() << why;
	for (const Case &c : cases) {
		const ComputeDevice &device = compute_device();
		if (c.needs == Bits64 && !(device.int64 && device.float64)) continue;
		if (c.needs == Bits16 && !(device.int16 && device.float16 && device.storage_16bit)) continue;
		// extensions stand after #version and before the layouts
		std::string text = c.source;
		std::string extensions;
		while (text.compare(0, 10, "#extension") == 0) {
			size_t end = text.find('\n') + 1;
			extensions += text.substr(0, end);
			text = text.substr(end);
		}
		std::string source = std::string("#version 450\n") + extensions + (header + std::strlen("#version 450\n")) + text;
		std::string errors;
		std::vector<uint32_t> module = own_spirv(source, &errors);
		ASSERT_FALSE(module.empty()) << c.name << "\n" << errors;
		std::vector<uint32_t> reference = reference_spirv(source, &errors);
		ASSERT_FALSE(reference.empty()) << c.name << "\n" << errors;
		// the listing reads what the compiler writes, where it reads the
		// reference's module of the same shader (some loop forms it doesn't)
		if (listing_test::render(reference).ok) listing_test::expect_rendered(listing_test::render(module), c.name);

		std::vector<std::vector<uint8_t>> mine;
		std::vector<std::vector<uint8_t>> theirs;
		for (size_t i = 0; i < c.buffers.size(); i++) {
			mine.push_back(filled(c.buffers[i], uint32_t(i + 1)));
			theirs.push_back(filled(c.buffers[i], uint32_t(i + 1)));
		}
		ASSERT_TRUE(run_compute(module, mine, c.groups, 1, 1, &errors)) << c.name << "\n" << errors;
		ASSERT_TRUE(run_compute(reference, theirs, c.groups, 1, 1, &errors)) << c.name << "\n" << errors;
		for (size_t i = 0; i < mine.size(); i++) {
			std::vector<uint32_t> a = from_bytes<uint32_t>(mine[i]);
			std::vector<uint32_t> b = from_bytes<uint32_t>(theirs[i]);
			ASSERT_EQ(a.size(), b.size());
			uint32_t reported = 0;
			for (size_t w = 0; w < a.size() && reported < 5; w++) {
				if (a[w] != b[w]) {
					ADD_FAILURE() << c.name << ": buffer " << i << " word " << w << ": " << a[w] << " != reference " << b[w];
					reported++;
				}
			}
		}
	}
}

// Specialization constants are run-time values: the pipeline's values, or
// their defaults, reach every use, and nothing is folded from the default.
TEST(ComputeSemantics, SpecializationConstants) {
	std::string why;
	if (!compute_available(&why)) GTEST_SKIP() << why;
	std::string source = std::string(header) +
		"layout(constant_id = 1) const int Scale = 3;\n"
		"layout(constant_id = 2) const bool Flip = false;\n"
		"layout(constant_id = 3) const float Bias = 0.5;\n"
		"layout(std430, binding = 0) buffer Out { int r[64]; float f[64]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  r[i] = int(i) * Scale + (Flip ? -1 : 1);\n"
		"  f[i] = float(i) + Bias * float(Scale);\n"
		"}\n";
	std::string errors;
	std::vector<uint32_t> module = own_spirv(source, &errors);
	ASSERT_FALSE(module.empty()) << errors;
	listing_test::expect_rendered(listing_test::render(module), "SpecializationConstants");
	std::vector<uint32_t> reference = reference_spirv(source, &errors);
	ASSERT_FALSE(reference.empty()) << errors;
	ComputeOptions defaults;
	ComputeOptions specialized;
	specialized.specialization[1] = to_bytes(std::vector<int32_t>{7});
	specialized.specialization[2] = to_bytes(std::vector<uint32_t>{1});
	specialized.specialization[3] = to_bytes(std::vector<float>{2.25f});
	for (const ComputeOptions *options : {&defaults, &specialized}) {
		std::vector<std::vector<uint8_t>> mine = {std::vector<uint8_t>(512, 0)};
		std::vector<std::vector<uint8_t>> theirs = mine;
		ASSERT_TRUE(run_compute(module, mine, 4, 1, 1, &errors, *options)) << errors;
		ASSERT_TRUE(run_compute(reference, theirs, 4, 1, 1, &errors, *options)) << errors;
		EXPECT_EQ(mine, theirs);
	}
}

// Arrays of a std140 block lie 16 bytes apart, as the host writes them.
TEST(ComputeSemantics, Std140Arrays) {
	std::string why;
	if (!compute_available(&why)) GTEST_SKIP() << why;
	std::string source = std::string(header) +
		"struct Light { vec3 dir; float power; };\n"
		"layout(std140, binding = 0) uniform U { float w[4]; vec2 o[3]; mat2 m[2]; Light lights[2]; ivec3 tail; } u;\n"
		"layout(std430, binding = 1) buffer Out { float r[64]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  r[i] = u.w[i % 4u] + u.o[i % 3u].y * 2.0 + u.m[i % 2u][1].x + u.lights[i % 2u].power + float(u.tail.z);\n"
		"}\n";
	std::string errors;
	std::vector<uint32_t> module = own_spirv(source, &errors);
	ASSERT_FALSE(module.empty()) << errors;
	listing_test::expect_rendered(listing_test::render(module), "Std140Arrays");
	std::vector<uint32_t> reference = reference_spirv(source, &errors);
	ASSERT_FALSE(reference.empty()) << errors;
	ComputeOptions options;
	options.uniform_bindings = {0};
	std::vector<std::vector<uint8_t>> mine = {filled(Buffer{Float, 64}, 7), std::vector<uint8_t>(256, 0)};
	std::vector<std::vector<uint8_t>> theirs = mine;
	ASSERT_TRUE(run_compute(module, mine, 4, 1, 1, &errors, options)) << errors;
	ASSERT_TRUE(run_compute(reference, theirs, 4, 1, 1, &errors, options)) << errors;
	EXPECT_EQ(mine, theirs);
}
