// Specialization constants: bool, int, uint and float constants used as values in code and in loop bounds.
#version 450

layout(local_size_x = 16) in;

layout(constant_id = 1) const bool use_scale = true;
layout(constant_id = 2) const int count = 4;
layout(constant_id = 3) const uint mask = 0xffu;
layout(constant_id = 4) const float scale = 1.5;

layout(set = 0, binding = 0, std430) buffer Data {
	float values[];
} data;

void main() {
	uint i = gl_GlobalInvocationID.x;
	float table[8];
	for (int k = 0; k < min(count, 8); k++) table[k] = float(k) * scale;
	float v = data.values[i & mask];
	if (use_scale) v *= scale;
	data.values[i] = v + table[i % 8u] + float(gl_WorkGroupSize.x);
}
