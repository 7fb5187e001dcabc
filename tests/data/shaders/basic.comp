#version 450
layout(local_size_x = 8, local_size_y = 4) in;
layout(std430, binding = 0) buffer Data { uint values[]; } data;
void main() {
	uint i = gl_GlobalInvocationID.x + gl_GlobalInvocationID.y * 8u;
	data.values[i] = data.values[i] * 2u + 1u;
}
