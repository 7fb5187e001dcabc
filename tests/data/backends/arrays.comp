// Arrays: fixed local and constant arrays with dynamic indexing, arrays in blocks, runtime arrays and length().
#version 450

layout(local_size_x = 32) in;

const float weights[5] = float[5](0.1, 0.2, 0.4, 0.2, 0.1);

layout(set = 0, binding = 0, std430) readonly buffer Source {
	ivec2 offsets[4];
	float data[];
} source;

layout(set = 0, binding = 1, std430) writeonly buffer Target {
	float data[];
} target;

void main() {
	int i = int(gl_GlobalInvocationID.x);
	int last = source.data.length() - 1;
	float window[5];
	for (int k = 0; k < 5; k++) window[k] = source.data[clamp(i + k - 2, 0, last)];
	float sum = 0.0;
	for (int k = 0; k < window.length(); k++) sum += window[k] * weights[k];
	ivec2 o = source.offsets[i % 4];
	float copy[5] = window;
	copy[o.x & 3] = float(o.y);
	target.data[i] = sum + copy[i % 5];
}
