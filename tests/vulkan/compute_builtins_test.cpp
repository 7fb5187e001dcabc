// The GLSL.std.450 built-ins, judged by the reference compiler: each row of
// the table is compiled by this compiler and by the reference, both modules
// run on the CPU Vulkan device over the same inputs (ordinary values, ties,
// and the integer extremes), and the outputs must agree: exactly for
// integers, within a few units in the last place for floats, whose precision
// GLSL leaves open (a call on constants may be folded by either compiler).
#include "compute_runner.h"
#include "own_compiler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace vulkan_test;

namespace {

struct Case {
	const char *name;
	const char *body; // statements writing rf[k], ri[k], ru[k] (and rd[k] for 64-bit rows)
	bool doubles = false;
};

// x, y, z: floats; v, w: vec3; a, b: ints; c, d: uints; of invocation k
const char *const prologue =
	"#version 450\n"
	"layout(local_size_x = 64) in;\n"
	"layout(std430, binding = 0) buffer In { float f[64]; int i[64]; uint u[64]; };\n"
	"layout(std430, binding = 1) buffer Out { vec4 rf[64]; ivec4 ri[64]; uvec4 ru[64]; };\n";
const char *const doubles_buffer = "layout(std430, binding = 2) buffer OutD { dvec4 rd[64]; };\n";
const char *const locals =
	"void main() {\n"
	"  uint k = gl_GlobalInvocationID.x;\n"
	"  float x = f[k]; float y = f[(k + 7u) % 64u]; float z = f[(k + 13u) % 64u];\n"
	"  vec3 v = vec3(x, y, z); vec3 w = vec3(z, x, y + 0.5);\n"
	"  int a = i[k]; int b = i[(k + 5u) % 64u]; uint c = u[k]; uint d = u[(k + 9u) % 64u];\n";

const Case cases[] = {
	{"Rounding",
		"  rf[k] = vec4(round(x), roundEven(x), trunc(x), fract(x)) + vec4(floor(v), 0.0) * 2.0 + vec4(ceil(w), 1.0) * 3.0;\n"
		"  ri[k] = ivec4(round(vec2(x, y)), roundEven(vec2(y, z)));\n"},
	{"AbsSign",
		"  rf[k] = vec4(abs(x), sign(y), abs(v.yz) + sign(w.xy));\n"
		"  ri[k] = ivec4(abs(a), sign(b), abs(ivec2(a, b)) + sign(ivec2(b, a)));\n"
		// a uint has no abs of its own: it is converted to float
		"  ru[k] = uvec4(abs(c), sign(d), uvec2(abs(uvec2(c, d))));\n"},
	{"Trigonometry",
		"  rf[k] = vec4(sin(x), cos(y), tan(z * 0.1), atan(x)) + vec4(radians(y), degrees(z), asin(clamp(x * 0.1, -1.0, 1.0)), acos(clamp(y * 0.1, -1.0, 1.0)));\n"
		"  ri[k] = ivec4(sin(v) * 1000.0, 0);\n"
		"  ru[k] = uvec4(atan(y, x) * 100.0 + 400.0, atan(v, w + 1.0) * 100.0 + 400.0);\n"},
	{"Hyperbolic",
		"  rf[k] = vec4(sinh(x * 0.5), cosh(y * 0.5), tanh(z), asinh(x));\n"
		"  ri[k] = ivec4(vec4(acosh(abs(x) + 1.0), atanh(clamp(y * 0.1, -0.9, 0.9)), tanh(v.xy)) * 1000.0);\n"},
	{"Exponential",
		"  rf[k] = vec4(pow(abs(x), y * 0.25), exp(x * 0.5), log(abs(y) + 1.0), exp2(z * 0.5)) + vec4(log2(abs(x) + 0.5), sqrt(abs(y)), inversesqrt(abs(z) + 1.0), 0.0);\n"
		"  ri[k] = ivec4(pow(abs(v), w * 0.1) * 100.0, sqrt(abs(x)) * 100.0);\n"},
	{"Geometry",
		"  rf[k] = vec4(length(x), length(v), distance(v, w), distance(x, y));\n"
		"  ri[k] = ivec4(vec4(cross(v, w), 0.0) * 100.0);\n"
		"  ru[k] = uvec4(vec4(normalize(v + vec3(0.0, 0.0, 20.0)), 1.0) * 1000.0);\n"
		"  rf[k].w += reflect(v, normalize(w + 9.0)).x + refract(v, normalize(w + 9.0), 0.66).y + faceforward(v, w, v.zxy).z;\n"},
	{"MinMaxClamp",
		"  rf[k] = vec4(min(x, y), max(x, y), clamp(x, -2.0, 2.0), clamp(y, z, z + 3.0));\n"
		"  ri[k] = ivec4(min(a, b), max(a, b), clamp(a, -100, 100), clamp(b, min(a, 0), max(a, 0)));\n"
		"  ru[k] = uvec4(min(c, d), max(c, d), clamp(c, 10u, 2000000000u), clamp(d, min(c, d), max(c, d)));\n"},
	{"MinMaxClampVectors",
		"  rf[k] = vec4(min(v, w).xy, max(v, 0.5).z, clamp(v, -1.0, 1.0).x);\n"
		"  ri[k] = ivec4(min(ivec2(a, b), ivec2(b, 7)), max(ivec2(a, b), -3));\n"
		"  ru[k] = uvec4(clamp(uvec2(c, d), uvec2(5u), uvec2(100u, 3000000000u)), min(uvec2(c, d), 700u));\n"},
	// arguments converted as GLSL allows
	{"Conversions",
		"  rf[k] = vec4(clamp(x, 0, 1), pow(abs(y), 2), min(a, 1.5), step(0, x));\n"
		"  ru[k] = uvec4(min(c, 1), max(d, 2000000000), clamp(c, 0, 500), min(c, d));\n"
		"  ri[k] = ivec4(max(a, 1), clamp(b, -3, 3), round(a), floor(b));\n"
		// a uint literal makes the call unsigned
		"  ri[k].w += int(clamp(a, 0u, 5u)) + int(min(b, 3u) % 1000u);\n"},
	{"Interpolation",
		"  rf[k] = vec4(mix(x, y, 0.25), mix(v, w, 0.5).x, mix(v, w, vec3(0.1, 0.2, 0.3)).y, step(0.5, x));\n"
		"  ri[k] = ivec4(vec4(smoothstep(-1.0, 1.0, x), smoothstep(v, w + 2.0, vec3(0.5)).xy, fma(x, y, z)) * 1000.0);\n"
		// a bool selector picks its second argument where it is true
		"  ri[k].w = mix(a, b, x > 0.0) + mix(ivec2(a), ivec2(b), bvec2(true, false)).y;\n"
		"  ru[k] = uvec4(mix(c, d, true), mix(uvec3(c), uvec3(d), bvec3(x > 0.0, y > 0.0, false)));\n"},
	{"Parts",
		"  float whole; vec3 wholes; int e; ivec3 es;\n"
		"  float part = modf(x, whole);\n"
		"  vec3 parts = modf(v, wholes);\n"
		"  float m = frexp(x, e);\n"
		"  vec3 ms = frexp(w, es);\n"
		"  rf[k] = vec4(part, whole, parts.y + wholes.z, m + ms.x);\n"
		"  ri[k] = ivec4(e, es.x + es.y, ldexp(x, 3), ldexp(v, ivec3(1, -1, 2)).z);\n"
		// out arguments that are not local variables: a buffer member, a swizzle
		"  rf[k].z += frexp(y, ri[k].y);\n"
		"  vec4 four = vec4(0.0); four.w = modf(z, four.y); ru[k].w = uint(four.y + 100.0);\n"},
	{"Bits",
		"  ri[k] = ivec4(findLSB(a), findMSB(a), findLSB(c), findMSB(c));\n"
		"  ru[k] = uvec4(findMSB(ivec2(a, b)) + 1, findLSB(uvec2(c, d)) + 1);\n"},
	{"Packing",
		"  ru[k] = uvec4(packHalf2x16(vec2(x, y)), packUnorm4x8(fract(vec4(v, x))), packSnorm4x8(vec4(v, y) * 0.1), packUnorm2x16(fract(vec2(y, z))));\n"
		"  rf[k] = vec4(unpackHalf2x16(c), unpackUnorm2x16(d)) + unpackSnorm4x8(c) + unpackUnorm4x8(d);\n"
		"  ri[k] = ivec4(packSnorm2x16(vec2(x, y) * 0.1), unpackSnorm2x16(d) * 1000.0, 0);\n"},
	{"Matrices",
		"  mat2 m2 = mat2(x, y, z, x + 2.0); mat3 m3 = mat3(v, w, v.zxy + 1.0); mat4 m4 = mat4(vec4(v, 1.0), vec4(w, 2.0), vec4(3.0, v), vec4(1.0, 0.5, w.xy));\n"
		"  rf[k] = vec4(determinant(m2), determinant(m3), determinant(m4), inverse(m2)[1][0]);\n"
		"  ri[k] = ivec4(vec4(inverse(mat3(2.0, 0.0, 1.0, 0.0, 3.0, 0.0, 1.0, x, 4.0))[2], inverse(m4)[0][0]) * 1000.0);\n"},
	// calls on constants: folded or not, they give what the device computes
	{"Constants",
		"  rf[k] = vec4(sin(1.0), pow(2.0, 0.5), sqrt(2.0), atan(1.0, 2.0)) + vec4(exp(1.0), log(3.0), inversesqrt(4.0), abs(-2.5));\n"
		"  ri[k] = ivec4(abs(-7), min(3, 4), max(-3, -4), clamp(9, 0, 5));\n"
		"  ru[k] = uvec4(min(3u, 9u), max(3u, 9u), uint(log(1.0)), 0u);\n"},
	{"Doubles",
		"  double p = double(x); double q = double(y); dvec3 dv = dvec3(v);\n"
		"  rd[k] = dvec4(abs(p), floor(q), sqrt(abs(p)), fract(q)) + dvec4(min(p, q), max(p, q), clamp(p, -1.0lf, 1.0lf), mix(p, q, 0.25lf));\n"
		"  rd[k].w += length(dv) + fma(p, q, 1.0lf) + sign(q) + trunc(p) + inversesqrt(abs(q) + 1.0lf);\n"
		"  rf[k] = vec4(normalize(dv + 5.0lf), float(packDouble2x32(uvec2(c, d)) > 0.0lf));\n"
		"  ru[k] = uvec4(unpackDouble2x32(double(x)), 0u, 0u);\n",
		true},
};

// inputs with ordinary values, ties for rounding, and integer extremes
std::vector<uint8_t> inputs() {
	std::vector<uint32_t> words(64 * 3);
	for (uint32_t n = 0; n < 64; n++) {
		float value = float(int32_t(n * 37u % 97u) - 48) / 8.0f; // -6 to 6, with halves among them
		if (n % 11 == 3) value = float(n) + 0.5f;
		std::memcpy(&words[n], &value, 4);
		int32_t integer = int32_t(n * 2654435761u % 2001u) - 1000;
		uint32_t unsigned_value = n * 2246822519u;
		if (n == 5) integer = INT32_MIN, unsigned_value = 0x80000000u;
		if (n == 6) integer = INT32_MAX, unsigned_value = 0xffffffffu;
		if (n == 7) integer = 0, unsigned_value = 0;
		if (n == 8) integer = -1, unsigned_value = 1;
		words[64 + n] = uint32_t(integer);
		words[128 + n] = unsigned_value;
	}
	return to_bytes(words);
}

// whether two floats of the same bits width agree within the precision GLSL leaves open
bool close_enough(double mine, double theirs, double ulp) {
	if (std::isnan(mine) || std::isnan(theirs)) return std::isnan(mine) && std::isnan(theirs);
	if (mine == theirs) return true;
	double tolerance = std::fmax(std::fabs(theirs) * ulp * 4.0, ulp);
	return std::fabs(mine - theirs) <= tolerance;
}

} // namespace

TEST(ComputeBuiltins, SameResultsAsTheReference) {
	std::string why;
	if (!compute_available(&why)) GTEST_SKIP() << why;
	const ComputeDevice &device = compute_device();
	for (const Case &c : cases) {
		if (c.doubles && !(device.float64 && device.int64)) continue;
		std::string source = std::string(prologue) + (c.doubles ? doubles_buffer : "") + locals + c.body + "}\n";
		std::string errors;
		std::vector<uint32_t> module = own_spirv(source, &errors);
		ASSERT_FALSE(module.empty()) << c.name << "\n" << errors;
		std::vector<uint32_t> reference = reference_spirv(source, &errors);
		ASSERT_FALSE(reference.empty()) << c.name << "\n" << errors;

		std::vector<std::vector<uint8_t>> mine = {inputs(), std::vector<uint8_t>(64 * 16 * 3)};
		if (c.doubles) mine.push_back(std::vector<uint8_t>(64 * 32));
		std::vector<std::vector<uint8_t>> theirs = mine;
		ASSERT_TRUE(run_compute(module, mine, 1, 1, 1, &errors)) << c.name << "\n" << errors;
		ASSERT_TRUE(run_compute(reference, theirs, 1, 1, 1, &errors)) << c.name << "\n" << errors;

		uint32_t reported = 0;
		std::vector<float> floats_mine = from_bytes<float>(mine[1]);
		std::vector<float> floats_theirs = from_bytes<float>(theirs[1]);
		std::vector<uint32_t> words_mine = from_bytes<uint32_t>(mine[1]);
		std::vector<uint32_t> words_theirs = from_bytes<uint32_t>(theirs[1]);
		for (size_t n = 0; n < words_mine.size() && reported < 8; n++) {
			bool same = n < 256 ? close_enough(floats_mine[n], floats_theirs[n], std::ldexp(1.0, -22)) : words_mine[n] == words_theirs[n];
			if (!same) {
				ADD_FAILURE() << c.name << ": " << (n < 256 ? "rf" : n < 512 ? "ri" : "ru") << "[" << (n % 256) / 4 << "]." << "xyzw"[n % 4] << ": "
							  << (n < 256 ? std::to_string(floats_mine[n]) : std::to_string(words_mine[n])) << " != reference "
							  << (n < 256 ? std::to_string(floats_theirs[n]) : std::to_string(words_theirs[n]));
				reported++;
			}
		}
		if (c.doubles) {
			std::vector<double> doubles_mine = from_bytes<double>(mine[2]);
			std::vector<double> doubles_theirs = from_bytes<double>(theirs[2]);
			for (size_t n = 0; n < doubles_mine.size() && reported < 8; n++) {
				if (!close_enough(doubles_mine[n], doubles_theirs[n], std::ldexp(1.0, -50))) {
					ADD_FAILURE() << c.name << ": rd[" << n / 4 << "]: " << doubles_mine[n] << " != reference " << doubles_theirs[n];
					reported++;
				}
			}
		}
	}
}
