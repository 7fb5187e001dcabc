// Compute stage: work-group size, gl_GlobalInvocationID, gl_LocalInvocationID, gl_WorkGroupID and gl_NumWorkGroups.
#version 450

layout(local_size_x = 8, local_size_y = 4, local_size_z = 1) in;

layout(set = 0, binding = 0, std430) buffer Output {
	uvec4 ids[];
} result;

void main() {
	uvec3 size = gl_NumWorkGroups * gl_WorkGroupSize;
	uint index = gl_GlobalInvocationID.y * size.x + gl_GlobalInvocationID.x;
	result.ids[index] = uvec4(gl_LocalInvocationID.xy, gl_WorkGroupID.x, gl_LocalInvocationIndex);
}
