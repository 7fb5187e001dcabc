// Atomics, barriers, subgroup operations and the one-instruction built-ins
// that compute, judged by the reference compiler: each row is compiled by
// this compiler and by the reference, both modules run on the CPU Vulkan
// device in several work groups of 64 invocations over the same input
// buffers, and every output byte must be the same. The rows keep to what does
// not depend on the order in which invocations run: final memory values,
// sums and counts of the values atomics return, compare-exchanges of an
// invocation's own slot, and subgroup results of invocations whose subgroup
// is fixed by the device.
#include "compute_runner.h"
#include "own_compiler.h"

#include "../shader/listing_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace vulkan_test;

namespace {

// how a buffer starts: words of small unsigned or signed values, floats of
// small whole values (so that sums and products of a subgroup are exact), or zeros
enum Fill { Unsigned, Signed, SmallFloat, Zero };

struct Buffer {
	Fill fill;
	uint32_t words;
};

using D = ComputeDevice;

struct Case {
	const char *name;
	const char *source; // after the header; "$T" is replaced by each of `types`
	std::vector<Buffer> buffers;
	uint32_t groups;
	uint32_t subgroup = 0; // the subgroup operations the row needs (ComputeDevice::SubgroupOperation)
	std::vector<const char *> types = {""};
	// the reference's text where this compiler's own built-ins stand in the
	// source: pairs of (this compiler's text, the reference's text)
	std::vector<std::pair<const char *, const char *>> reference_text = {};
	// The refusal this compiler gives, when it does not take the row: the
	// row checks that refusal and runs the reference's module alone.
	const char *pending = nullptr;
	// A fault of this compiler's module that the row shows (what goes
	// wrong): the row then expects its module to run wrong or not at all,
	// and fails once it computes what the reference's does.
	const char *fault = nullptr;
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
		case SmallFloat: {
			float f = float(int32_t(r % 7u) - 3);
			std::memcpy(&words[i], &f, 4);
			break;
		}
		case Zero: words[i] = 0; break;
		}
	}
	return to_bytes(words);
}

std::string replaced(std::string text, const std::string &from, const std::string &to) {
	for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) text.replace(at, from.size(), to);
	return text;
}

const char *const local_size = "layout(local_size_x = 64) in;\n";

const Case cases[] = {
	// every atomic on a buffer, from several work groups at once: the final
	// values; the old values only where their sum or count is fixed (atomicSub
	// is this compiler's own)
	{"BufferAtomics",
		"layout(std430, binding = 0) buffer In { $T a[256]; };\n"
		"layout(std430, binding = 1) buffer Acc { $T sum; $T diff; $T lo; $T hi; $T all_and; $T all_or; $T all_xor; $T seen;\n"
		"  $T counter; $T counted; $T exchanged[4]; $T olds[4]; $T slot[256]; };\n"
		"layout(std430, binding = 2) buffer Out { $T claim[4]; $T claims; $T r[256]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x, g = gl_WorkGroupID.x;\n"
		"  $T x = a[i];\n"
		"  atomicAdd(sum, x);\n"
		"  atomicSub(diff, x * $T(3));\n"
		"  atomicMin(lo, x);\n"
		"  atomicMax(hi, x);\n"
		"  atomicAnd(all_and, ~($T(1) << (i % 29u)));\n"
		"  $T bit = $T(1) << (i % 32u);\n"
		"  if ((atomicOr(all_or, bit) & bit) == $T(0)) atomicAdd(seen, $T(1));\n" // one of the eight that set a bit saw it clear
		"  atomicXor(all_xor, x);\n"
		"  atomicAdd(counted, atomicAdd(counter, $T(1)));\n" // the olds are 0 to 255 in any order
		"  atomicAdd(olds[g], atomicExchange(exchanged[g], x));\n"
		"  $T mine = slot[i];\n"
		"  r[i] = atomicCompSwap(slot[i], i % 3u == 0u ? mine : mine + $T(1), x + $T(i));\n"
		"  if (atomicCompSwap(claim[g], $T(0), $T(g + 10u)) == $T(0)) atomicAdd(claims, $T(1));\n"
		"  memoryBarrierBuffer(); barrier();\n"
		// the last value exchanged and the sum of the others are fixed together
		"  if (gl_LocalInvocationID.x == 0u) { exchanged[g] += olds[g]; olds[g] = $T(0); }\n"
		"}\n",
		{{Signed, 256}, {Signed, 18 + 256}, {Zero, 5 + 256}}, 4, 0, {"int", "uint"}, {{"atomicSub(diff, ", "atomicAdd(diff, -"}}},
	// the same on shared variables, with barriers between the phases, and
	// the results of each work group copied out
	{"SharedAtomics",
		"layout(std430, binding = 0) buffer In { $T a[256]; };\n"
		"layout(std430, binding = 1) buffer Out { $T totals[4 * 12]; $T r[256]; };\n"
		"shared $T s_sum, s_lo, s_hi, s_and, s_or, s_xor, s_exchanged, s_olds, s_counter, s_counted, s_seen, s_claims, s_claim;\n"
		"shared $T s_slot[64];\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x, l = gl_LocalInvocationID.x, g = gl_WorkGroupID.x;\n"
		"  $T x = a[i];\n"
		"  if (l == 0u) {\n"
		"    s_sum = $T(0); s_lo = x; s_hi = x; s_and = ~$T(0); s_or = $T(0x100); s_xor = $T(5); s_exchanged = $T(7);\n"
		"    s_olds = $T(0); s_counter = $T(0); s_counted = $T(0); s_seen = $T(0); s_claims = $T(0); s_claim = $T(0);\n"
		"  }\n"
		"  s_slot[l] = x;\n"
		"  memoryBarrierShared(); barrier();\n"
		"  atomicAdd(s_sum, x);\n"
		"  atomicMin(s_lo, x);\n"
		"  atomicMax(s_hi, x);\n"
		"  atomicAnd(s_and, ~($T(1) << (l % 31u)));\n"
		"  $T bit = $T(1) << (l % 16u);\n"
		"  if ((atomicOr(s_or, bit) & bit) == $T(0)) atomicAdd(s_seen, $T(1));\n"
		"  atomicXor(s_xor, x);\n"
		"  atomicAdd(s_counted, atomicAdd(s_counter, $T(2)));\n"
		"  atomicAdd(s_olds, atomicExchange(s_exchanged, x));\n"
		"  $T mine = atomicCompSwap(s_slot[l], l % 2u == 0u ? x : x + $T(1), $T(l) * $T(5));\n"
		"  if (atomicCompSwap(s_claim, $T(0), $T(g + 1u)) == $T(0)) atomicAdd(s_claims, $T(1));\n"
		"  groupMemoryBarrier(); memoryBarrierShared(); barrier();\n"
		"  r[i] = s_slot[(l + 1u) % 64u] + mine;\n" // a neighbour's slot, written before the barrier
		"  if (l == 0u) {\n"
		"    uint o = g * 12u;\n"
		"    totals[o] = s_sum; totals[o + 1u] = s_lo; totals[o + 2u] = s_hi; totals[o + 3u] = s_and;\n"
		"    totals[o + 4u] = s_or; totals[o + 5u] = s_xor; totals[o + 6u] = s_exchanged + s_olds; totals[o + 7u] = s_counted;\n"
		"    totals[o + 8u] = s_seen; totals[o + 9u] = s_claims; totals[o + 10u] = s_claim; totals[o + 11u] = s_counter;\n"
		"  }\n"
		"}\n",
		{{Signed, 256}, {Zero, 48 + 256}}, 4, 0, {"int", "uint"}},
	// this compiler's own atomics beside what the reference writes for them
	// (the increment and decrement give the value before the change)
	{"LoadStoreIncrementDecrement",
		"layout(std430, binding = 0) buffer Acc { uint up; uint down; uint counted; uint stored[4]; uint loaded[256]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x, g = gl_WorkGroupID.x;\n"
		"  atomicAdd(counted, atomicIncrement(up));\n"
		"  atomicAdd(counted, atomicDecrement(down) * 3u);\n"
		"  if (gl_LocalInvocationID.x == 5u) atomicStore(stored[g], g * 7u + 1u);\n"
		"  memoryBarrierBuffer(); barrier();\n"
		"  loaded[i] = atomicLoad(stored[g]);\n"
		"}\n",
		{{Unsigned, 7 + 256}}, 4, 0, {""},
		{{"atomicIncrement(up)", "atomicAdd(up, 1u)"}, {"atomicDecrement(down)", "atomicAdd(down, 0xffffffffu)"},
			{"atomicStore(stored[g], g * 7u + 1u)", "atomicExchange(stored[g], g * 7u + 1u)"}, {"atomicLoad(stored[g])", "atomicAdd(stored[g], 0u)"}}},
	{"SubgroupBasic",
		"#extension GL_KHR_shader_subgroup_basic : require\n"
		"layout(std430, binding = 0) buffer In { uint a[256]; };\n"
		"layout(std430, binding = 1) buffer Out { uint r[256 * 6]; uint elected[4]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x, g = gl_WorkGroupID.x;\n"
		"  r[i * 6u] = gl_SubgroupSize;\n"
		"  r[i * 6u + 1u] = gl_SubgroupInvocationID;\n"
		"  r[i * 6u + 2u] = subgroupElect() ? 1u : 0u;\n"
		"  r[i * 6u + 3u] = gl_NumSubgroups * 100u + gl_SubgroupID;\n"
		"  r[i * 6u + 4u] = 0u;\n"
		"  if (a[i] > 500u) { if (subgroupElect()) r[i * 6u + 4u] = 1u + gl_SubgroupInvocationID; }\n" // the first of those in the branch
		"  subgroupBarrier(); subgroupMemoryBarrier(); subgroupMemoryBarrierBuffer(); subgroupMemoryBarrierShared();\n"
		"  r[i * 6u + 5u] = subgroupElect() ? atomicAdd(elected[g], 1u) : 99u;\n"
		"  memoryBarrierBuffer(); barrier();\n"
		"  if (r[i * 6u + 5u] != 99u) r[i * 6u + 5u] = 1u;\n" // which subgroup counted first is not fixed
		"}\n",
		{{Unsigned, 256}, {Zero, 256 * 6 + 4}}, 4, D::SubgroupBasic},
	{"SubgroupVote",
		"#extension GL_KHR_shader_subgroup_vote : require\n"
		"#extension GL_KHR_shader_subgroup_arithmetic : require\n"
		"layout(std430, binding = 0) buffer InA { uint a[256]; };\n"
		"layout(std430, binding = 1) buffer InB { int b[256]; };\n"
		"layout(std430, binding = 2) buffer InF { float f[256]; };\n"
		"layout(std430, binding = 3) buffer Out { uint r[256 * 8]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  uint x = a[i];\n"
		"  uint o = i * 8u;\n"
		"  r[o] = uint(subgroupAll(x > 100u)) + uint(subgroupAny(x > 900u)) * 2u + uint(subgroupAll(true)) * 4u;\n"
		"  r[o + 1u] = uint(subgroupAllEqual(x / 512u)) + uint(subgroupAllEqual(i / 8u)) * 2u + uint(subgroupAllEqual(b[i] < 0)) * 4u;\n"
		"  r[o + 2u] = uint(subgroupAllEqual(f[i])) + uint(subgroupAllEqual(vec2(1.0, f[i] * 0.0))) * 2u + uint(subgroupAllEqual(ivec3(b[i] / 1000))) * 4u;\n"
		"  r[o + 3u] = uint(subgroupAllEqual(uvec2(i % 2u, 0u))) + uint(subgroupAny(b[i] == 7)) * 2u;\n"
		"  r[o + 4u] = 9u;\n"
		"  if (x % 2u == 0u) r[o + 4u] = uint(subgroupAll(x % 4u == 0u)) + uint(subgroupAny(x > 800u)) * 2u + uint(subgroupAllEqual(x % 2u)) * 4u;\n"
		"  r[o + 5u] = uint(subgroupAnd(x > 50u)) + uint(subgroupOr(x > 950u)) * 2u + uint(subgroupXor(x > 500u)) * 4u;\n"
		"  bvec2 v = bvec2(x > 300u, b[i] > 0);\n"
		"  bvec2 w = subgroupInclusiveOr(v), e = subgroupExclusiveAnd(v), y = subgroupInclusiveXor(v);\n"
		"  r[o + 6u] = uint(w.x) + uint(w.y) * 2u + uint(e.x) * 4u + uint(e.y) * 8u + uint(y.x) * 16u + uint(y.y) * 32u;\n"
		"  r[o + 7u] = uint(subgroupExclusiveOr(x > 700u)) + uint(subgroupInclusiveAnd(x > 50u)) * 2u + uint(subgroupExclusiveXor(x > 200u)) * 4u;\n"
		"}\n",
		{{Unsigned, 256}, {Signed, 256}, {SmallFloat, 256}, {Zero, 256 * 8}}, 4, D::SubgroupVote | D::SubgroupArithmetic},
	// every arithmetic operation in its three forms, on scalars and vectors
	{"SubgroupArithmetic",
		"#extension GL_KHR_shader_subgroup_arithmetic : require\n"
		"layout(std430, binding = 0) buffer InA { $T a[256]; };\n"
		"layout(std430, binding = 1) buffer InB { $T b[256]; };\n"
		"layout(std430, binding = 2) buffer Out { $T r[256 * 16]; $T2 v[256 * 4]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  $T x = a[i], y = b[i];\n"
		"  uint o = i * 16u;\n"
		"  r[o] = subgroupAdd(x); r[o + 1u] = subgroupInclusiveAdd(x); r[o + 2u] = subgroupExclusiveAdd(x);\n"
		"  r[o + 3u] = subgroupMul(y); r[o + 4u] = subgroupInclusiveMul(y); r[o + 5u] = subgroupExclusiveMul(y);\n"
		"  r[o + 6u] = subgroupMin(x); r[o + 7u] = subgroupInclusiveMin(x); r[o + 8u] = subgroupExclusiveMin(x);\n"
		"  r[o + 9u] = subgroupMax(x); r[o + 10u] = subgroupInclusiveMax(x); r[o + 11u] = subgroupExclusiveMax(x);\n"
		"  $T2 p = $T2(x, y);\n"
		"  v[i * 4u] = subgroupAdd(p); v[i * 4u + 1u] = subgroupInclusiveMin(p); v[i * 4u + 2u] = subgroupExclusiveMax(p);\n"
		"  v[i * 4u + 3u] = $T2(0);\n"
		"  if (i % 3u != 0u) v[i * 4u + 3u] = subgroupInclusiveAdd(p) + subgroupMul(p);\n" // over the invocations in the branch
		"$BITS"
		"}\n",
		{{Signed, 256}, {Signed, 256}, {Zero, 256 * 16 + 256 * 8}}, 4, D::SubgroupArithmetic, {"int", "uint", "float"}},
	{"SubgroupBallot",
		"#extension GL_KHR_shader_subgroup_ballot : require\n"
		"layout(std430, binding = 0) buffer InA { uint a[256]; };\n"
		"layout(std430, binding = 1) buffer InB { int b[256]; };\n"
		"layout(std430, binding = 2) buffer InF { float f[256]; };\n"
		"layout(std430, binding = 3) buffer Out { uvec4 ballots[256 * 2]; uvec4 masks[256 * 5]; uint r[256 * 10]; vec4 w[256]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x, id = gl_SubgroupInvocationID;\n"
		"  uint x = a[i];\n"
		"  uvec4 ballot = subgroupBallot(x > 400u);\n"
		"  ballots[i * 2u] = ballot;\n"
		"  ballots[i * 2u + 1u] = subgroupBallot(true) & uvec4(0xffffffffu, 0u, 0u, 0u);\n"
		"  masks[i * 5u] = gl_SubgroupEqMask; masks[i * 5u + 1u] = gl_SubgroupGeMask; masks[i * 5u + 2u] = gl_SubgroupGtMask;\n"
		"  masks[i * 5u + 3u] = gl_SubgroupLeMask; masks[i * 5u + 4u] = gl_SubgroupLtMask;\n"
		"  uint o = i * 10u;\n"
		"  r[o] = uint(subgroupInverseBallot(ballot)) + uint(subgroupInverseBallot(uvec4(0x55555555u))) * 2u;\n"
		"  r[o + 1u] = uint(subgroupBallotBitExtract(ballot, (id + 1u) % gl_SubgroupSize));\n"
		"  r[o + 2u] = subgroupBallotBitCount(ballot) * 10000u + subgroupBallotInclusiveBitCount(ballot) * 100u + subgroupBallotExclusiveBitCount(ballot);\n"
		"  r[o + 3u] = subgroupBallotFindLSB(ballot | gl_SubgroupEqMask) * 100u + subgroupBallotFindMSB(ballot | gl_SubgroupEqMask);\n"
		"  r[o + 4u] = subgroupBroadcast(x, 3u);\n"
		"  r[o + 5u] = uint(subgroupBroadcast(b[i], 0u)) + uint(subgroupBroadcastFirst(b[i]));\n"
		"  r[o + 6u] = 0u;\n"
		"  if (x > 300u) r[o + 6u] = subgroupBroadcastFirst(x) + subgroupBallotBitCount(subgroupBallot(true)) * 10000u;\n"
		"  r[o + 7u] = uint(subgroupBroadcastFirst(x > 600u)) + uint(subgroupBroadcast(b[i] > 0, 1u)) * 2u;\n"
		"  r[o + 8u] = subgroupBallotInclusiveBitCount(gl_SubgroupLtMask) + subgroupBallotExclusiveBitCount(uvec4(~0u));\n"
		"  r[o + 9u] = uint(subgroupBallotBitExtract(uvec4(0x0f0f0f0fu), id));\n"
		"  w[i] = subgroupBroadcast(vec4(f[i], float(x), 1.0, -f[i]), 2u) + subgroupBroadcastFirst(vec4(f[i]));\n"
		"}\n",
		{{Unsigned, 256}, {Signed, 256}, {SmallFloat, 256}, {Zero, 256 * 8 + 256 * 20 + 256 * 10 + 256 * 4}}, 4, D::SubgroupBallot},
	{"SubgroupShuffle",
		"#extension GL_KHR_shader_subgroup_shuffle : require\n"
		"layout(std430, binding = 0) buffer InA { uint a[256]; };\n"
		"layout(std430, binding = 1) buffer InB { int b[256]; };\n"
		"layout(std430, binding = 2) buffer InF { float f[256]; };\n"
		"layout(std430, binding = 3) buffer Out { uint r[256 * 4]; vec3 w[256]; ivec2 s[256]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x, id = gl_SubgroupInvocationID, n = gl_SubgroupSize;\n"
		"  uint x = a[i];\n"
		"  r[i * 4u] = subgroupShuffle(x, (id + 3u) % n);\n"
		"  r[i * 4u + 1u] = subgroupShuffleXor(x, 1u) + subgroupShuffleXor(x, 3u) * 1000u;\n"
		"  r[i * 4u + 2u] = uint(subgroupShuffle(b[i], n - 1u - id));\n"
		"  r[i * 4u + 3u] = uint(subgroupShuffle(x > 500u, 0u)) + uint(subgroupShuffleXor(b[i] < 0, 2u)) * 2u;\n"
		"  w[i] = subgroupShuffle(vec3(f[i], float(x), float(id)), (id * 5u) % n);\n"
		"  s[i] = subgroupShuffleXor(ivec2(b[i], int(id)), n / 2u);\n"
		"}\n",
		{{Unsigned, 256}, {Signed, 256}, {SmallFloat, 256}, {Zero, 256 * 4 + 256 * 4 + 256 * 2}}, 4, D::SubgroupShuffle},
	// up and down only where the other invocation is in the subgroup
	{"SubgroupShuffleRelative",
		"#extension GL_KHR_shader_subgroup_shuffle_relative : require\n"
		"layout(std430, binding = 0) buffer InA { uint a[256]; };\n"
		"layout(std430, binding = 1) buffer InB { int b[256]; };\n"
		"layout(std430, binding = 2) buffer InF { float f[256]; };\n"
		"layout(std430, binding = 3) buffer Out { uint r[256 * 4]; vec2 w[256]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x, id = gl_SubgroupInvocationID, n = gl_SubgroupSize;\n"
		"  uint x = a[i];\n"
		"  uint up = subgroupShuffleUp(x, 2u), down = subgroupShuffleDown(x, 3u);\n"
		"  int sup = subgroupShuffleUp(b[i], 1u);\n"
		"  vec2 fdown = subgroupShuffleDown(vec2(f[i], float(x)), 1u);\n"
		"  bool bup = subgroupShuffleUp(x > 500u, 1u);\n"
		"  r[i * 4u] = id >= 2u ? up : 7u;\n"
		"  r[i * 4u + 1u] = id + 3u < n ? down : 7u;\n"
		"  r[i * 4u + 2u] = id >= 1u ? uint(sup) : 7u;\n"
		"  r[i * 4u + 3u] = id >= 1u ? uint(bup) : 7u;\n"
		"  w[i] = id + 1u < n ? fdown : vec2(-1.0);\n"
		"}\n",
		{{Unsigned, 256}, {Signed, 256}, {SmallFloat, 256}, {Zero, 256 * 4 + 256 * 2}}, 4, D::SubgroupShuffleRelative},
	{"SubgroupClustered",
		"#extension GL_KHR_shader_subgroup_clustered : require\n"
		"layout(std430, binding = 0) buffer InA { int a[256]; };\n"
		"layout(std430, binding = 1) buffer InB { uint b[256]; };\n"
		"layout(std430, binding = 2) buffer InF { float f[256]; };\n"
		"layout(std430, binding = 3) buffer Out { int r[256 * 8]; uint u[256 * 4]; vec2 w[256 * 2]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  int x = a[i]; uint y = b[i];\n"
		"  r[i * 8u] = subgroupClusteredAdd(x, 2u); r[i * 8u + 1u] = subgroupClusteredMul((x & 3) - 1, 4u);\n"
		"  r[i * 8u + 2u] = subgroupClusteredMin(x, 4u); r[i * 8u + 3u] = subgroupClusteredMax(x, 8u);\n"
		"  r[i * 8u + 4u] = subgroupClusteredAnd(x, 2u); r[i * 8u + 5u] = subgroupClusteredOr(x, 4u); r[i * 8u + 6u] = subgroupClusteredXor(x, 1u);\n"
		"  r[i * 8u + 7u] = int(subgroupClusteredAnd(x > 0, 2u)) + int(subgroupClusteredOr(x > 400, 4u)) * 2 + int(subgroupClusteredXor(x > 0, 8u)) * 4;\n"
		"  u[i * 4u] = subgroupClusteredMin(y, 2u); u[i * 4u + 1u] = subgroupClusteredMax(y, 4u); u[i * 4u + 2u] = subgroupClusteredAdd(y, 8u);\n"
		"  u[i * 4u + 3u] = subgroupClusteredXor(y, 4u);\n"
		"  w[i * 2u] = subgroupClusteredAdd(vec2(f[i], 1.0), 4u); w[i * 2u + 1u] = vec2(subgroupClusteredMin(f[i], 2u), subgroupClusteredMul(f[i], 2u));\n"
		"}\n",
		{{Signed, 256}, {Unsigned, 256}, {SmallFloat, 256}, {Zero, 256 * 8 + 256 * 4 + 256 * 4}}, 4, D::SubgroupClustered},
	{"SubgroupQuad",
		"#extension GL_KHR_shader_subgroup_quad : require\n"
		"layout(std430, binding = 0) buffer InA { uint a[256]; };\n"
		"layout(std430, binding = 1) buffer InB { int b[256]; };\n"
		"layout(std430, binding = 2) buffer InF { float f[256]; };\n"
		"layout(std430, binding = 3) buffer Out { uint r[256 * 4]; vec4 w[256]; ivec2 s[256 * 2]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  uint x = a[i];\n"
		"  r[i * 4u] = subgroupQuadBroadcast(x, 2u);\n"
		"  r[i * 4u + 1u] = uint(subgroupQuadBroadcast(x > 500u, 1u)) + uint(subgroupQuadBroadcast(b[i], 0u)) * 10u;\n"
		"  w[i] = subgroupQuadBroadcast(vec4(f[i], float(x), 0.0, 1.0), 3u);\n"
		"}\n",
		{{Unsigned, 256}, {Signed, 256}, {SmallFloat, 256}, {Zero, 256 * 2 + 256 * 4}}, 4, D::SubgroupQuad},
	{"SubgroupQuadSwap",
		"#extension GL_KHR_shader_subgroup_quad : require\n"
		"layout(std430, binding = 0) buffer InA { uint a[256]; };\n"
		"layout(std430, binding = 1) buffer InB { int b[256]; };\n"
		"layout(std430, binding = 2) buffer InF { float f[256]; };\n"
		"layout(std430, binding = 3) buffer Out { uint r[256 * 4]; vec4 w[256]; ivec2 s[256 * 2]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  uint x = a[i];\n"
		"  r[i * 4u] = subgroupQuadSwapHorizontal(x);\n"
		"  r[i * 4u + 1u] = subgroupQuadSwapVertical(x);\n"
		"  r[i * 4u + 2u] = subgroupQuadSwapDiagonal(x);\n"
		"  r[i * 4u + 3u] = uint(subgroupQuadSwapHorizontal(x > 500u));\n"
		"  w[i] = subgroupQuadSwapDiagonal(vec4(f[i], float(x), 0.0, 1.0));\n"
		"  s[i * 2u] = subgroupQuadSwapHorizontal(ivec2(b[i], int(i)));\n"
		"  s[i * 2u + 1u] = ivec2(subgroupQuadSwapVertical(b[i] > 0), subgroupQuadSwapDiagonal(b[i]));\n"
		"}\n",
		{{Unsigned, 256}, {Signed, 256}, {SmallFloat, 256}, {Zero, 256 * 4 + 256 * 4 + 256 * 4}}, 4, D::SubgroupQuad, {""}, {}, nullptr},
	// the older ballot family: a 64-bit ballot, reads of an invocation, votes
	{"OlderBallotAndVote",
		"#extension GL_ARB_gpu_shader_int64 : require\n"
		"layout(std430, binding = 0) buffer InA { uint a[256]; };\n"
		"layout(std430, binding = 1) buffer InF { float f[256]; };\n"
		"layout(std430, binding = 2) buffer Out { uint64_t ballots[256]; uint r[256 * 3]; vec2 w[256]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x;\n"
		"  uint x = a[i];\n"
		"  ballots[i] = ballot(x > 400u);\n"
		"  r[i * 3u] = readInvocation(x, 5u) + readFirstInvocation(x) * 1000u;\n"
		"  r[i * 3u + 1u] = uint(anyInvocation(x > 900u)) + uint(allInvocations(x > 50u)) * 2u + uint(allInvocationsEqual(x > 500u)) * 4u;\n"
		"  r[i * 3u + 2u] = 0u;\n"
		"  if (x > 250u) r[i * 3u + 2u] = readFirstInvocation(x) + uint(allInvocations(x > 250u)) * 10000u;\n"
		"  w[i] = readInvocation(vec2(f[i], float(x)), 2u);\n"
		"}\n",
		{{Unsigned, 256}, {SmallFloat, 256}, {Zero, 256 * 2 + 256 * 3 + 256 * 2}}, 4, D::SubgroupBallot | D::SubgroupVote, {""},
		{{"#extension GL_ARB_gpu_shader_int64 : require\n",
			 "#extension GL_ARB_gpu_shader_int64 : require\n#extension GL_ARB_shader_ballot : require\n#extension GL_ARB_shader_group_vote : require\n"},
			{"ballot(x", "ballotARB(x"}, {"readInvocation(", "readInvocationARB("}, {"readFirstInvocation(", "readFirstInvocationARB("},
			{"anyInvocation(", "anyInvocationARB("}, {"allInvocations(", "allInvocationsARB("}, {"allInvocationsEqual(", "allInvocationsEqualARB("}}},
	// the one-instruction built-ins that compute
	{"OneInstructionBuiltins",
		"layout(std430, binding = 0) buffer InA { int a[256]; };\n"
		"layout(std430, binding = 1) buffer InB { uint b[256]; };\n"
		"layout(std430, binding = 2) buffer InF { float f[256]; };\n"
		"layout(std430, binding = 3) buffer Out { uint r[256 * 12]; vec4 w[256 * 3]; mat3x2 m[256]; mat2x3 t[256]; };\n"
		"void main() {\n"
		"  uint i = gl_GlobalInvocationID.x, o = i * 12u;\n"
		"  int x = a[i]; uint y = b[i]; float z = f[i] + float(x) * 0.25;\n"
		"  ivec3 xv = ivec3(x, x + 3, -x); uvec2 yv = uvec2(y, y * 7u + 1u); vec3 zv = vec3(z, float(y) / 8.0, -2.5);\n"
		"  r[o] = uint(floatBitsToInt(z)) ^ floatBitsToUint(zv).y;\n"
		"  r[o + 1u] = floatBitsToUint(intBitsToFloat(x | 0x3f000000) + uintBitsToFloat(yv | 0x40000000u).x);\n"
		"  r[o + 2u] = bitfieldExtract(y * 12345u, int(i % 20u), 9) + uint(bitfieldExtract(x * 77, 3, int(i % 12u)));\n"
		"  r[o + 3u] = bitfieldInsert(y * 999u, 0x5au, int(i % 24u), 7) ^ uint(bitfieldInsert(x, -1, 4, int(i % 9u)));\n"
		"  r[o + 4u] = bitfieldReverse(y * 2654435761u) + uint(bitfieldReverse(xv).z);\n"
		"  r[o + 5u] = uint(bitCount(y * 2654435761u)) * 100u + uint(bitCount(xv).x) + uint(bitCount(yv).y) * 10000u;\n"
		"  bvec3 lt = lessThan(xv, ivec3(0, 7, 3)), le = lessThanEqual(zv, vec3(0.0)), gt = greaterThan(uvec3(yv, y), uvec3(500u));\n"
		"  bvec2 ge = greaterThanEqual(yv, uvec2(300u)), eq = equal(xv.xy, ivec2(x, 5)), ne = notEqual(zv.xz, vec2(z, 1.0));\n"
		"  r[o + 6u] = uint(lt.x) + uint(lt.y) * 2u + uint(lt.z) * 4u + uint(le.x) * 8u + uint(le.y) * 16u + uint(gt.x) * 32u + uint(gt.z) * 64u;\n"
		"  r[o + 7u] = uint(ge.x) + uint(ge.y) * 2u + uint(eq.x) * 4u + uint(eq.y) * 8u + uint(ne.x) * 16u + uint(ne.y) * 32u;\n"
		"  r[o + 8u] = uint(any(lt)) + uint(all(not(le))) * 2u + uint(any(equal(bvec2(lt.x, gt.x), bvec2(true)))) * 4u + uint(all(notEqual(lt, gt))) * 8u;\n"
		"  float inf = uintBitsToFloat(0x7f800000u) * sign(z), nan = uintBitsToFloat(0x7fc00000u);\n"
		"  bvec4 n4 = isnan(vec4(z, nan, inf, inf - inf)), i4 = isinf(vec4(z, nan, inf, -inf));\n"
		"  r[o + 9u] = uint(n4.x) + uint(n4.y) * 2u + uint(n4.z) * 4u + uint(n4.w) * 8u + uint(i4.x) * 16u + uint(i4.y) * 32u + uint(i4.z) * 64u + uint(i4.w) * 128u;\n"
		"  r[o + 10u] = floatBitsToUint(mod(z, 3.5)) + floatBitsToUint(mod(zv, vec3(2.0, -1.5, 0.75)).y);\n"
		"  r[o + 11u] = floatBitsToUint(dot(zv, vec3(1.0, -2.0, 0.5))) ^ floatBitsToUint(dot(z, 3.0)) ^ floatBitsToUint(dot(zv.xy, zv.yz));\n"
		"  w[i * 3u] = mod(vec4(zv, z * 3.0), vec4(1.25));\n"
		"  w[i * 3u + 1u] = mod(vec4(zv, 9.0), -2.0);\n"
		"  w[i * 3u + 2u] = intBitsToFloat(ivec4(x, 0x3f800000, xv.yz & 0x3fffffff)) * 0.0 + vec4(lt, true);\n"
		"  m[i] = outerProduct(zv.xy, zv);\n"
		"  t[i] = transpose(m[i]) + transpose(outerProduct(vec2(1.0, z), vec3(2.0)));\n"
		"}\n",
		{{Signed, 256}, {Unsigned, 256}, {SmallFloat, 256}, {Zero, 256 * 12 + 256 * 12 + 256 * 6 + 256 * 8}}, 4},
};

// the first differences of two byte vectors, as words
void compare(const std::string &name, size_t buffer, const std::vector<uint8_t> &mine, const std::vector<uint8_t> &theirs) {
	ASSERT_EQ(mine.size(), theirs.size()) << name;
	std::vector<uint32_t> a = from_bytes<uint32_t>(mine), b = from_bytes<uint32_t>(theirs);
	uint32_t reported = 0;
	for (size_t w = 0; w < a.size() && reported < 5; w++) {
		if (a[w] != b[w]) {
			ADD_FAILURE() << name << ": buffer " << buffer << " word " << w << ": 0x" << std::hex << a[w] << " != reference 0x" << b[w];
			reported++;
		}
	}
}

// the bit operations of the integer kinds, added to the arithmetic row
const char *const bit_operations =
	"  r[o + 12u] = subgroupAnd(x | $T(0x10)); r[o + 13u] = subgroupInclusiveOr(x & $T(0x7ff)); r[o + 14u] = subgroupExclusiveXor(x);\n"
	"  r[o + 15u] = subgroupXor(y) ^ subgroupInclusiveAnd(y) ^ subgroupExclusiveAnd(x) ^ subgroupOr(y) ^ subgroupInclusiveXor(x) ^ subgroupExclusiveOr(y);\n"
	"  v[i * 4u + 1u] ^= subgroupAnd(p) ^ subgroupExclusiveOr(p);\n";

// the source of a row for one of its types
std::string source_of(const Case &c, const std::string &type) {
	std::string text = c.source;
	text = replaced(text, "$BITS", type == "float" ? "" : bit_operations);
	text = replaced(text, "$T2", type == "float" ? "vec2" : type == "int" ? "ivec2" : "uvec2");
	text = replaced(text, "$T", type);
	// extensions stand after #version and before the layouts
	std::string extensions;
	while (text.compare(0, 10, "#extension") == 0) {
		size_t end = text.find('\n') + 1;
		extensions += text.substr(0, end);
		text = text.substr(end);
	}
	return "#version 450\n" + extensions + local_size + text;
}

} // namespace

TEST(ComputeSync, SameBuffersAsTheReference) {
	std::string why;
	if (!compute_available(&why)) GTEST_SKIP() << why;
	const ComputeDevice &device = compute_device();
	for (const Case &c : cases) {
		if ((device.subgroup_operations & c.subgroup) != c.subgroup) {
			std::cout << c.name << ": skipped, the device's compute subgroups lack operations 0x" << std::hex
					  << (c.subgroup & ~device.subgroup_operations) << std::dec << "\n";
			continue;
		}
		if (std::string(c.source).find("int64") != std::string::npos && !device.int64) {
			std::cout << c.name << ": skipped, the device has no 64-bit integers\n";
			continue;
		}
		for (const char *type : c.types) {
			std::string name = std::string(c.name) + (*type != 0 ? std::string(" of ") + type : "");
			SCOPED_TRACE(name);
			std::string source = source_of(c, type);
			std::string reference_source = source;
			for (const auto &pair : c.reference_text) reference_source = replaced(reference_source, pair.first, pair.second);
			std::string errors;
			// subgroup operations are SPIR-V 1.3
			std::vector<uint32_t> reference = reference_spirv(reference_source, &errors, c.subgroup != 0 ? "--target-env vulkan1.1" : "");
			ASSERT_FALSE(reference.empty()) << name << "\n" << errors << "\n" << reference_source;
			std::vector<std::vector<uint8_t>> theirs;
			for (size_t i = 0; i < c.buffers.size(); i++) {
				// the float forms of a row read floats of small whole values
				Buffer buffer = c.buffers[i];
				if (std::string(type) == "float" && buffer.fill != Zero) buffer.fill = SmallFloat;
				theirs.push_back(filled(buffer, uint32_t(i + 1)));
			}
			std::vector<std::vector<uint8_t>> mine = theirs;
			ASSERT_TRUE(run_compute(reference, theirs, c.groups, 1, 1, &errors)) << name << ": the reference's module: " << errors;
			// every output buffer gets values, so that a row can't pass by writing nothing
			for (size_t i = 0; i < c.buffers.size(); i++) {
				if (c.buffers[i].fill != Zero) continue;
				std::vector<uint32_t> words = from_bytes<uint32_t>(theirs[i]);
				EXPECT_NE(std::count(words.begin(), words.end(), 0u), std::ptrdiff_t(words.size())) << name << ": buffer " << i;
			}

			std::vector<uint32_t> module = own_spirv(source, &errors);
			if (c.pending != nullptr) {
				EXPECT_TRUE(module.empty()) << name << ": compiled now; compare it with the reference";
				EXPECT_NE(errors.find(c.pending), std::string::npos) << errors;
				continue;
			}
			if (module.empty()) {
				ADD_FAILURE() << name << ": this compiler refused it:\n" << errors << "\n" << source;
				continue;
			}
			if (c.fault != nullptr) {
				// until the fault is mended, the module runs wrong or not at all
				bool ran = run_compute(module, mine, c.groups, 1, 1, &errors);
				EXPECT_FALSE(ran && mine == theirs) << name << ": computes what the reference does now; clear its fault";
				std::cout << name << ": known fault: " << c.fault << "\n";
				continue;
			}
			if (listing_test::render(reference).ok) listing_test::expect_rendered(listing_test::render(module), name.c_str());
			if (!run_compute(module, mine, c.groups, 1, 1, &errors)) {
				ADD_FAILURE() << name << ": this compiler's module: " << errors;
				continue;
			}
			for (size_t i = 0; i < mine.size(); i++) compare(name, i, mine[i], theirs[i]);
		}
	}
}
