#version 450
// Values carried around loops and out of branches, for the decompiled
// listing: after the optimiser every one of them is an OpPhi, assigned on the
// edges into its block, a loop's header among them, where values swap places
// (the assignments of one edge happen at once); and short-circuits in the
// conditions of loops and switches, which the reference compiler itself
// takes through OpPhi.
layout(local_size_x = 8) in;
layout(set = 0, binding = 0, std430) buffer Data {
	int values[64];
	int results[64];
} data;

int total;

int bump(int v) {
	total += v;
	return total;
}

void main() {
	uint i = gl_GlobalInvocationID.x;
	int x = data.values[i];
	int u = 0, v = 1;
	for (int j = 0; j < int(i % 9u) + 3 && (x > 0 || bump(j) < 90); j++) {
		int t = u + v;
		u = v;
		v = t;
	}
	int best = -1, at = -1;
	for (int j = 0; j < 16; j++) {
		int e = data.values[(int(i) + j) & 63];
		if (e < 0 && (e & 1) == 0) continue;
		if (e > best) {
			best = e;
			at = j;
		}
		if (best > 900) break;
	}
	int s = 0;
	switch (x & 3) {
		case 0: s = u; break;
		case 1: s = v * 2;
		case 2: s += best > 0 && at > 2 ? 3 : bump(1); break;
		default: s = at;
	}
	data.results[i] = s + u * v + best + at + total;
}
