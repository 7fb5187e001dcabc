// Loops: for, while and do-while, nested, with break and continue, and a loop whose count comes from a uniform.
#version 450

layout(location = 0) in vec2 v_uv;
layout(location = 0) out vec4 out_color;

layout(set = 0, binding = 0) uniform Params {
	int iterations;
	float limit;
} params;

void main() {
	vec2 z = vec2(0.0);
	int steps = 0;
	for (int i = 0; i < params.iterations; i++) {
		if (i % 3 == 2) continue;
		z = vec2(z.x * z.x - z.y * z.y, 2.0 * z.x * z.y) + v_uv;
		if (dot(z, z) > params.limit) break;
		steps++;
	}
	float sum = 0.0;
	int k = 0;
	while (k < 8) {
		k++;
		if (k == 2) continue;
		for (int j = 0; j < k; j++) {
			if (j > 4) break;
			sum += float(j);
		}
		if (sum > 40.0) break;
	}
	int n = steps;
	do {
		n /= 2;
		if (n == 3) continue;
		sum += 1.0;
	} while (n > 0);
	out_color = vec4(float(steps) / float(max(params.iterations, 1)), sum / 64.0, z);
}
