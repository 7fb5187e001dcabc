// Atomics on storage images: imageAtomicAdd, Min, Max, Or, Exchange and CompSwap on r32ui and r32i images.
#version 450

layout(local_size_x = 8, local_size_y = 8) in;

layout(set = 0, binding = 0, r32ui) uniform uimage2D counts;
layout(set = 0, binding = 1, r32i) uniform iimage2D extremes;
layout(set = 0, binding = 2, r32ui) uniform uimageBuffer owners;

void main() {
	ivec2 p = ivec2(gl_GlobalInvocationID.xy);
	uint before = imageAtomicAdd(counts, p / 2, 1u);
	imageAtomicMin(extremes, ivec2(0, 0), p.x - p.y);
	imageAtomicMax(extremes, ivec2(1, 0), p.x + p.y);
	imageAtomicOr(counts, ivec2(0), 1u << uint(p.x & 31));
	uint old = imageAtomicExchange(owners, p.x, uint(p.y));
	imageAtomicCompSwap(owners, p.y + 64, 0u, before + old);
}
