// Switch with continue: a continue statement directly inside a switch that sits in a loop.
#version 450

layout(local_size_x = 16) in;

layout(set = 0, binding = 0, std430) buffer Data {
	uint values[];
} data;

void main() {
	uint i = gl_GlobalInvocationID.x;
	uint total = 0u;
	for (uint k = 0u; k < 8u; k++) {
		switch ((data.values[i] + k) & 3u) {
		case 0u:
			continue;
		case 1u:
			total += k;
			break;
		default:
			total ^= k;
			break;
		}
		total += 1u;
	}
	data.values[i] = total;
}
