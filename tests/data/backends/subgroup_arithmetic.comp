// Subgroup arithmetic: reductions, inclusive and exclusive scans on float, int and uint values.
// env: vulkan1.1
#version 450
#extension GL_KHR_shader_subgroup_arithmetic : require

layout(local_size_x = 64) in;

layout(set = 0, binding = 0, std430) buffer Data {
	float f[64];
	int s[64];
	uint u[64];
} data;

void main() {
	uint i = gl_LocalInvocationIndex;
	float f = data.f[i];
	int s = data.s[i];
	uint u = data.u[i];
	data.f[i] = subgroupAdd(f) + subgroupMul(f) + subgroupMin(f) + subgroupMax(f) + subgroupInclusiveAdd(f);
	data.s[i] = subgroupMin(s) + subgroupMax(s) + subgroupExclusiveAdd(s) + subgroupInclusiveMul(s);
	data.u[i] = subgroupAnd(u) | subgroupOr(u) ^ subgroupXor(u) + subgroupExclusiveMax(u);
}
