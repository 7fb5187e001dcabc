#version 450
// Control flow of every shape for the decompiled listing: loops (for, while,
// do-while, nested, with break and continue), switches with fallthrough and
// shared labels, nested ifs, discard, and functions with out and inout
// parameters, structures and arrays.
layout(location = 0) in vec4 v_color;
layout(location = 1) flat in int v_mode;
layout(location = 2) flat in uint v_flags;
layout(location = 0) out vec4 color;
layout(set = 0, binding = 0) uniform Settings {
	vec4 tint;
	int steps;
	float scale[4];
} settings;

struct Surface {
	vec3 albedo;
	float rough;
	int layers[3];
};

void split(vec4 c, out vec3 rgb, out float a) {
	rgb = c.rgb;
	a = c.a;
}

void accumulate(inout Surface s, float amount) {
	s.albedo += vec3(amount);
	s.rough *= 0.5;
	if (s.rough < 0.1) {
		s.rough = 0.1;
		return;
	}
	s.layers[1]++;
}

float weight(int i) {
	if (i < 0) return 0.0;
	else if (i == 0) return 1.0;
	return 1.0 / float(i);
}

void main() {
	Surface s;
	split(v_color, s.albedo, s.rough);
	s.layers[0] = 0;
	s.layers[1] = 0;
	s.layers[2] = v_mode;
	float sum = 0.0;
	for (int i = 0; i < settings.steps; i++) {
		if (i == 2) continue;
		if (i > 8) break;
		sum += weight(i) * settings.scale[i & 3];
		for (int j = 0, k = 4; j < k; j++, k--) {
			sum += float(j * k);
		}
	}
	int n = 0;
	while (n < 5) {
		n += 2;
		if (sum > 10.0) {
			if (n == 3) {
				sum -= 1.0;
			} else {
				sum += 1.0;
			}
		}
	}
	do {
		accumulate(s, sum);
		n--;
	} while (n > 0);
	switch (v_mode) {
		case 0:
			s.albedo.r = 1.0;
		case 1:
			s.albedo.g = 1.0;
			break;
		case 2:
		case 3:
			s.albedo.b = 1.0;
			break;
		default:
			s.rough = 1.0;
			break;
	}
	switch (v_flags) {
		case 1u:
			sum = 0.0;
			break;
		case 7u:
			discard;
	}
	if (s.rough > 0.9) {
		if (v_mode != 2) discard;
	}
	color = vec4(s.albedo * settings.tint.rgb, s.rough + sum + float(s.layers[1]));
}
