// Switch: cases that fall through, several labels on one case, a default in the middle, and a switch inside a loop.
#version 450

layout(local_size_x = 16) in;

layout(set = 0, binding = 0, std430) buffer Data {
	int values[];
} data;

int classify(int v) {
	int r = 0;
	switch (v) {
	case 0:
		r += 1;            // falls through into case 1
	case 1:
		r += 10;
		break;
	case 2:
	case 3:
		r = 100;
		break;
	default:
		r = -1;            // default in the middle, falls through
	case 7:
		r *= 2;
		break;
	case 8:
		return 8;
	}
	return r;
}

void main() {
	uint i = gl_GlobalInvocationID.x;
	int total = 0;
	for (int k = 0; k < 4; k++) {
		switch (data.values[i] + k) {
		case 5:
			total += 5;
			break;
		default:
			total += classify(data.values[i] - k);
		}
	}
	data.values[i] = total;
}
