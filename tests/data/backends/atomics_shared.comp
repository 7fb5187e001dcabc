// Atomics on shared memory: a work-group histogram built with atomicAdd and atomicMax between barriers.
#version 450

layout(local_size_x = 64) in;

layout(set = 0, binding = 0, std430) readonly buffer Values {
	uint values[];
} src;

layout(set = 0, binding = 1, std430) buffer Histogram {
	uint bins[16];
	uint peak;
} dst;

shared uint bins[16];
shared uint peak;

void main() {
	uint local = gl_LocalInvocationIndex;
	if (local < 16u) bins[local] = 0u;
	if (local == 0u) peak = 0u;
	barrier();
	uint v = src.values[gl_GlobalInvocationID.x];
	atomicAdd(bins[v & 15u], 1u);
	atomicMax(peak, v);
	barrier();
	if (local < 16u) atomicAdd(dst.bins[local], bins[local]);
	if (local == 0u) atomicMax(dst.peak, peak);
}
