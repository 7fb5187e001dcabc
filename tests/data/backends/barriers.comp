// Barriers: barrier, memoryBarrier, memoryBarrierShared, memoryBarrierBuffer, memoryBarrierImage and groupMemoryBarrier.
#version 450

layout(local_size_x = 32) in;

layout(set = 0, binding = 0, std430) buffer Data {
	float values[];
} data;

layout(set = 0, binding = 1, r32f) uniform image2D marks;

shared float partial[32];

void main() {
	uint local = gl_LocalInvocationIndex;
	partial[local] = data.values[gl_GlobalInvocationID.x];
	memoryBarrierShared();
	barrier();
	for (uint stride = 16u; stride > 0u; stride >>= 1u) {
		if (local < stride) partial[local] += partial[local + stride];
		groupMemoryBarrier();
		barrier();
	}
	if (local == 0u) {
		data.values[gl_WorkGroupID.x] = partial[0];
		memoryBarrierBuffer();
		imageStore(marks, ivec2(gl_WorkGroupID.xy), vec4(partial[0]));
		memoryBarrierImage();
		memoryBarrier();
	}
}
