// Specialization constants as sizes: local_size_x_id/local_size_y_id and shared and local arrays sized by them.
#version 450

layout(local_size_x_id = 0, local_size_y_id = 1, local_size_z = 1) in;

layout(constant_id = 2) const uint stride = 64u;
layout(constant_id = 3) const int taps = 4;

layout(set = 0, binding = 0, std430) buffer Data {
	uint values[];
} data;

shared uint row[gl_WorkGroupSize.x];

void main() {
	uvec2 p = gl_GlobalInvocationID.xy;
	row[gl_LocalInvocationID.x] = data.values[p.y * stride + p.x];
	barrier();
	uint window[taps];
	for (int k = 0; k < taps; k++) window[k] = row[(gl_LocalInvocationID.x + uint(k)) % gl_WorkGroupSize.x];
	uint sum = 0u;
	for (int k = 0; k < window.length(); k++) sum += window[k];
	data.values[p.y * stride + p.x] = sum + gl_WorkGroupSize.y;
}
