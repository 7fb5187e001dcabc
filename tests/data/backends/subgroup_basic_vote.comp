// Subgroup basics and votes: size, invocation id, elect, barriers, all, any and allEqual.
// env: vulkan1.1
#version 450
#extension GL_KHR_shader_subgroup_basic : require
#extension GL_KHR_shader_subgroup_vote : require

layout(local_size_x = 64) in;

layout(set = 0, binding = 0, std430) buffer Data {
	uint values[];
} data;

void main() {
	uint i = gl_GlobalInvocationID.x;
	uint v = data.values[i];
	uint flags = 0u;
	if (subgroupElect()) flags |= 1u;
	if (subgroupAll(v > 0u)) flags |= 2u;
	if (subgroupAny(v == 7u)) flags |= 4u;
	if (subgroupAllEqual(v)) flags |= 8u;
	subgroupMemoryBarrier();
	subgroupBarrier();
	data.values[i] = flags | (gl_SubgroupInvocationID << 8) | (gl_SubgroupSize << 16) | (gl_SubgroupID << 24) + gl_NumSubgroups;
}
