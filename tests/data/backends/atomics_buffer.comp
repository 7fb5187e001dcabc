// Atomics on storage buffers: add, min, max, and, or, xor, exchange and compare-exchange on int and uint members.
#version 450

layout(local_size_x = 64) in;

layout(set = 0, binding = 0, std430) buffer Counters {
	uint total;
	int lowest;
	int highest;
	uint mask_and;
	uint mask_or;
	uint mask_xor;
	uint last;
	uint slots[];
} counters;

void main() {
	uint i = gl_GlobalInvocationID.x;
	uint previous = atomicAdd(counters.total, 1u);
	atomicMin(counters.lowest, int(i) - 32);
	atomicMax(counters.highest, int(i));
	atomicAnd(counters.mask_and, ~(1u << (i & 31u)));
	atomicOr(counters.mask_or, 1u << (i & 31u));
	atomicXor(counters.mask_xor, i);
	atomicExchange(counters.last, i);
	uint won = atomicCompSwap(counters.slots[i & 7u], 0u, i + 1u);
	counters.slots[8u + i] = previous + won;
}
