#version 450
// Compute shader with a local size, shared memory, a storage image and buffer.
layout(local_size_x = 8, local_size_y = 4, local_size_z = 2) in;
layout(set = 0, binding = 1, rgba8) uniform writeonly image2D result;
layout(std430, set = 0, binding = 0) buffer Data {
	uint values[];
} data;
shared uint tile[64];
uint combine(uint a, uint b) {
	return a * 3u + b;
}
void main() {
	uint index = gl_LocalInvocationIndex;
	tile[index] = data.values[gl_GlobalInvocationID.x];
	barrier();
	uint sum = 0u;
	for (uint i = 0u; i < 64u; i++) sum = combine(sum, tile[i]);
	data.values[gl_GlobalInvocationID.x] = sum;
	imageStore(result, ivec2(gl_GlobalInvocationID.xy), vec4(float(sum)));
}
