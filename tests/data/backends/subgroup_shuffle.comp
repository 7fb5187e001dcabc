// Subgroup shuffles: shuffle, shuffleXor, shuffleUp and shuffleDown of vectors and scalars.
// env: vulkan1.1
#version 450
#extension GL_KHR_shader_subgroup_shuffle : require
#extension GL_KHR_shader_subgroup_shuffle_relative : require

layout(local_size_x = 32) in;

layout(set = 0, binding = 0, std430) buffer Data {
	vec4 values[32];
	uint lanes[32];
} data;

void main() {
	uint i = gl_LocalInvocationIndex;
	vec4 v = data.values[i];
	uint lane = gl_SubgroupInvocationID;
	vec4 swapped = subgroupShuffleXor(v, 1u);
	vec4 reversed = subgroupShuffle(v, gl_SubgroupSize - 1u - lane);
	vec4 up = subgroupShuffleUp(v, 1u);
	vec4 down = subgroupShuffleDown(v, 2u);
	data.values[i] = swapped + reversed + up * down;
	data.lanes[i] = subgroupShuffle(lane, (lane + 3u) % gl_SubgroupSize);
}
