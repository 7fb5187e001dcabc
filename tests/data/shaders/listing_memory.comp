#version 450
// Memory work that the decompiled listing must keep in place: shared memory
// with barriers, atomics on buffers, shared memory and images, image loads
// and stores, and buffer copies through functions.
layout(local_size_x = 64) in;
layout(std430, set = 0, binding = 0) buffer Counters {
	uint total;
	int low;
	int high;
	uint bits;
	uint slots[];
} counters;
layout(std430, set = 0, binding = 1) buffer Values {
	vec4 values[];
} values;
layout(set = 0, binding = 2, r32ui) uniform uimage2D heat;
layout(set = 0, binding = 3, rgba8) uniform image2D canvas;
shared float tile[64];
shared uint hits;

float fetch(uint i) {
	return values.values[i].x;
}

void swap(inout float a, inout float b) {
	float t = a;
	a = b;
	b = t;
}

void main() {
	uint i = gl_LocalInvocationIndex;
	if (i == 0u) hits = 0u;
	tile[i] = fetch(gl_GlobalInvocationID.x);
	barrier();
	memoryBarrierShared();
	groupMemoryBarrier();
	if (i < 32u) {
		float a = tile[i];
		float b = tile[63u - i];
		if (a > b) swap(a, b);
		tile[i] = a;
		tile[63u - i] = b;
	}
	memoryBarrier();
	memoryBarrierBuffer();
	memoryBarrierImage();
	barrier();
	uint before = atomicAdd(counters.total, 1u);
	atomicMin(counters.low, int(i));
	atomicMax(counters.high, int(i));
	atomicAnd(counters.bits, 0xF0u);
	atomicOr(counters.bits, 1u << (i & 7u));
	atomicXor(counters.bits, i);
	uint prev = atomicExchange(counters.slots[i], before);
	uint seen = atomicCompSwap(counters.slots[0], prev, i);
	atomicAdd(hits, 1u);
	ivec2 p = ivec2(int(i & 7u), int(i >> 3u));
	uint heat0 = imageAtomicAdd(heat, p, 1u);
	imageAtomicMax(heat, p + ivec2(1), heat0);
	vec4 c = imageLoad(canvas, p);
	imageStore(canvas, p, c * tile[i] + vec4(float(seen)));
	for (uint k = 0u; k < 4u; k++) {
		values.values[i * 4u + k] = vec4(tile[(i + k) & 63u]);
	}
}
