// Storage blocks: std430 read-only, write-only and read-write buffers, runtime arrays and length().
#version 450

layout(local_size_x = 64) in;

layout(set = 0, binding = 0, std430) readonly buffer Input {
	float scale;
	vec3 bias;       // a vec3 in std430 is 16-byte aligned
	float values[];
} src;

layout(set = 0, binding = 1, std430) writeonly buffer Output {
	vec2 pairs[];
} dst;

layout(set = 1, binding = 0, std430) buffer Counters {
	uint processed;
	uint lengths[2];
} counters;

void main() {
	uint i = gl_GlobalInvocationID.x;
	uint count = uint(src.values.length());
	if (i >= count) return;
	float v = src.values[i] * src.scale + src.bias.x;
	dst.pairs[i] = vec2(v, v * src.bias.y);
	if (i == 0u) {
		counters.lengths[0] = count;
		counters.lengths[1] = uint(dst.pairs.length());
		counters.processed += 1u;
	}
}
