// OpPhi, judged end to end by the reference compiler and the CPU device: the
// reference compiler's module of a compute shader (which takes the value of a
// short-circuit && or || through an OpPhi), and what spirv-opt -O makes of it
// (which takes every variable of a loop or a branch through OpPhi), are
// rendered as GL and ES GLSL by the GLSL backend; the reference compiler
// compiles that text again, and the module it makes must compute the same
// bytes as the reference's module of the original shader on the same inputs.
#include "compute_runner.h"

#include "../shader/listing_fixtures.h"
#include "shader/ShaderSpirv.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace vulkan_test;

namespace {

const char *const header =
	"#version 450\n"
	"layout(local_size_x = 16) in;\n"
	"layout(std430, binding = 0) buffer In { int a[64]; int b[64]; };\n"
	"layout(std430, binding = 1) buffer Out { int r[512]; };\n"
	// calls that count, so that a right operand that runs too often or too
	// seldom shows in the results
	"int calls;\n"
	"bool odd(int v) { calls += 1; return (v & 1) != 0; }\n"
	"bool big(int v) { calls += 10; return v > 100; }\n"
	"int bump(int v) { calls += v; return calls; }\n";

struct Case {
	const char *name;
	const char *source; // main and what it needs, after the header
};

const Case cases[] = {
	{"ShortCircuit",
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  int x = a[i]; int y = b[i];\n"
		"  calls = 0;\n"
		"  bool p1 = x > 0 && a[(i + 1u) % 64u] > y;\n"
		"  bool p2 = x < 0 || odd(y);\n"
		"  bool p3 = odd(x) && (big(y) || odd(x + y));\n"
		"  bool p4 = (x > y || odd(x)) && !(big(x) && y != 3);\n"
		"  bool p5 = x == 0 || y == 0 || a[(i + 3u) % 64u] == b[(i + 5u) % 64u];\n"
		"  r[i * 8u] = int(p1) + 2 * int(p2) + 4 * int(p3) + 8 * int(p4) + 16 * int(p5);\n"
		"  r[i * 8u + 1u] = calls;\n"
		"  int t = odd(x) ? a[(i * 7u) % 64u] + y : (big(y) ? b[(i * 3u) % 64u] : x * y);\n"
		"  r[i * 8u + 2u] = t;\n"
		"  r[i * 8u + 3u] = (p1 ? x : y) + (x > 5 && odd(y) ? 100 : -100);\n"
		"  r[i * 8u + 4u] = calls;\n"
		"}\n"},
	// conditions of while, for and do-while loops that short-circuit
	{"LoopConditions",
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  int x = a[i]; int y = b[i];\n"
		"  calls = 0;\n"
		"  int k = 0;\n"
		"  while (k < 64 && a[k] > x) k++;\n"
		"  r[i * 8u] = k;\n"
		"  int s = 0;\n"
		"  for (int j = 0; j < 64 && (b[j] != y || odd(j)); j++) {\n"
		"    if (a[j] < 0 && odd(a[j])) continue;\n"
		"    s += a[j];\n"
		"    if (s > 5000 || s < -5000) break;\n"
		"  }\n"
		"  r[i * 8u + 1u] = s;\n"
		"  int m = int(i);\n"
		"  do { m += 3; } while (m < 40 && a[m % 64] != y);\n"
		"  r[i * 8u + 2u] = m;\n"
		"  int c = 0;\n"
		"  do { c += (x & 1) != 0 ? 3 : (y > 0 ? bump(1) : 1); if (c > 20) break; } while (c < 10 && (x > 0 || bump(1) < 50));\n"
		"  r[i * 8u + 3u] = c;\n"
		"  r[i * 8u + 4u] = calls;\n"
		"}\n"},
	// values carried around loops, swapped (the assignments of one edge
	// happen at once), and out of them by break and continue
	{"LoopValues",
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  int x = a[i]; int y = b[i];\n"
		"  calls = 0;\n"
		"  int u = 0, v = 1, w = 0;\n"
		"  for (int j = 0; j < int(i % 9u) + 3; j++) { int t = u + v; u = v; v = t; w = (w > 10 && odd(w)) ? w - 7 : w + u; }\n"
		"  r[i * 8u] = u; r[i * 8u + 1u] = v; r[i * 8u + 2u] = w;\n"
		"  int p = x, q = y;\n"
		"  for (int j = 0; j < 5; j++) { int tmp = p; p = q; q = tmp + j; }\n"
		"  r[i * 8u + 3u] = p * 1000 + q;\n"
		"  int best = -1000000, at = -1;\n"
		"  for (int j = 0; j < 8; j++) {\n"
		"    int e = a[(int(i) + j) % 64];\n"
		"    if (e < 0) continue;\n"
		"    for (int n = 0; n < 4; n++) { if (b[(j * 4 + n) % 64] == e) { at = n; break; } }\n"
		"    if (e > best) { best = e; at += j; }\n"
		"    if (best > 900) break;\n"
		"  }\n"
		"  r[i * 8u + 4u] = best; r[i * 8u + 5u] = at;\n"
		"  vec2 acc = vec2(0.0);\n"
		"  for (int j = 0; j < 6; j++) { acc = acc.yx + vec2(float(x) * 0.5, float(j)); if (acc.x > 40.0 || bump(1) > 100) break; }\n"
		"  r[i * 8u + 6u] = int(acc.x * 4.0) + int(acc.y * 1024.0);\n"
		"  r[i * 8u + 7u] = calls;\n"
		"}\n"},
	// loops in loops, left from selections inside them, with calls in their conditions
	{"NestedLoops",
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  int x = a[i]; int y = b[i];\n"
		"  calls = 0;\n"
		"  int found = -1, tries = 0;\n"
		"  for (int j = 0; j < 8 && found < 0; j++) {\n"
		"    int k = 0;\n"
		"    while (bump(1) < 200 && (k < 8 || odd(k + j))) {\n"
		"      int e = a[(j * 8 + k) & 63];\n"
		"      if (e == x || (e > y && odd(e))) { found = j * 8 + k; break; }\n"
		"      if ((e & 3) == 1) { k += 2; continue; }\n"
		"      k++;\n"
		"      tries += e > 0 ? 1 : (big(e + 400) ? 2 : 3);\n"
		"    }\n"
		"  }\n"
		"  r[i * 8u] = found; r[i * 8u + 1u] = tries; r[i * 8u + 2u] = calls;\n"
		"}\n"},
	// switches whose cases run on into each other
	{"Switches",
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  int x = a[i]; int y = b[i];\n"
		"  calls = 0;\n"
		"  int s = 0;\n"
		"  switch (x & 7) {\n"
		"    case 0: s = y; break;\n"
		"    case 1: s = y * 2;\n"
		"    case 2: s += 3; break;\n"
		"    default: s = -1;\n"
		"    case 5: s -= x > 0 && odd(y) ? 7 : bump(2); break;\n"
		"    case 6: if (y > 3) { s = 9; break; } s = bump(y & 3); break;\n"
		"  }\n"
		"  r[i * 8u] = s;\n"
		"  r[i * 8u + 1u] = calls;\n"
		"}\n"},
};

// how the buffers start: small signed words
std::vector<uint8_t> filled(uint32_t words, uint32_t seed) {
	std::vector<int32_t> values(words);
	uint32_t state = seed * 2654435761u + 12345u;
	for (uint32_t i = 0; i < words; i++) {
		state = state * 1664525u + 1013904223u;
		values[i] = int32_t((state >> 8) % 1000u) - 300;
	}
	return to_bytes(values);
}

bool has_phi(const std::vector<uint32_t> &words) {
	for (size_t at = 5; at < words.size() && (words[at] >> 16) != 0; at += words[at] >> 16) {
		if ((words[at] & 0xffffu) == 245u) return true;
	}
	return false;
}

// the GLSL text of a module in a format of the GLSL backend
listing_test::Rendered render_glsl(const std::vector<uint32_t> &words, const char *format) {
	std::unique_ptr<Vexa::ShaderSpirv> spirv(Vexa::ShaderSpirv::get(format));
	if (!spirv) return listing_test::Rendered();
	return listing_test::render_with(*spirv, words);
}

std::vector<std::vector<uint8_t>> run(const std::vector<uint32_t> &module, std::string *errors) {
	std::vector<std::vector<uint8_t>> buffers = {filled(128, 1), std::vector<uint8_t>(512 * 4, 0)};
	if (!run_compute(module, buffers, 4, 1, 1, errors)) return {};
	return buffers;
}

} // namespace

TEST(ComputePhi, RenderedGLSLComputesAsTheReference) {
	std::string why;
	if (!compute_available(&why)) GTEST_SKIP() << why;
	if (!spirv_test::have_tool("spirv-opt")) GTEST_SKIP() << "spirv-opt missing";
	for (const Case &c : cases) {
		std::string errors;
		std::vector<uint32_t> reference = reference_spirv(std::string(header) + c.source, &errors);
		ASSERT_FALSE(reference.empty()) << c.name << "\n" << errors;
		EXPECT_TRUE(has_phi(reference)) << c.name;
		std::vector<uint32_t> optimized = listing_test::optimize(reference);
		ASSERT_TRUE(has_phi(optimized)) << c.name;
		std::vector<std::vector<uint8_t>> expected = run(reference, &errors);
		ASSERT_FALSE(expected.empty()) << c.name << "\n" << errors;
		for (const std::vector<uint32_t> *module : {&reference, &optimized}) {
			std::string variant = std::string(c.name) + (module == &optimized ? " after spirv-opt -O" : "");
			// the listing renders it as well
			listing_test::expect_rendered(listing_test::render(*module), variant);
			for (const char *format : {"GLSL_GL", "GLSL_GLES"}) {
				std::string what = variant + " as " + format;
				SCOPED_TRACE(what);
				listing_test::Rendered glsl = render_glsl(*module, format);
				ASSERT_TRUE(glsl.ok) << glsl.errors;
				EXPECT_EQ(glsl.errors, "");
				std::vector<uint32_t> again = reference_spirv(glsl.text, &errors);
				ASSERT_FALSE(again.empty()) << errors << "\n" << glsl.text;
				std::vector<std::vector<uint8_t>> actual = run(again, &errors);
				ASSERT_FALSE(actual.empty()) << errors;
				EXPECT_TRUE(actual == expected) << glsl.text;
				if (actual != expected) {
					std::vector<int32_t> a = from_bytes<int32_t>(actual[1]);
					std::vector<int32_t> b = from_bytes<int32_t>(expected[1]);
					for (size_t w = 0, reported = 0; w < a.size() && reported < 5; w++) {
						if (a[w] != b[w]) {
							ADD_FAILURE() << "word " << w << ": " << a[w] << " != reference " << b[w];
							reported++;
						}
					}
				}
			}
		}
	}
}
