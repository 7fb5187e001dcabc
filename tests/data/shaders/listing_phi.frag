#version 450
// Values that depend on the way control came, for the decompiled listing:
// && and || whose right operands read memory, call functions with effects,
// discard or nest, ?: of such operands, and loops whose conditions
// short-circuit. The reference compiler takes these values through OpPhi,
// and its optimiser takes every variable of a loop or a branch through it.
layout(location = 0) in vec4 v_color;
layout(location = 1) flat in int v_mode;
layout(location = 0) out vec4 color;
layout(set = 0, binding = 0) uniform Settings {
	vec4 tint;
	int steps;
	float weights[4];
} settings;
layout(set = 0, binding = 1, std430) buffer Log {
	int count;
	int entries[];
} log_buffer;

bool note(int value) {
	log_buffer.entries[log_buffer.count++] = value;
	return value > 2;
}

bool split(vec4 c, out float low) {
	low = min(c.x, c.y);
	return low < c.z;
}

void main() {
	float low = 0.0;
	bool lit = v_color.a > 0.5 && settings.weights[v_mode & 3] > 0.25;
	bool logged = v_mode < 0 || note(v_mode);
	bool both = (lit || split(v_color, low)) && !(logged && note(v_mode + 1));
	if (v_color.r < 0.0 && v_mode == 7) discard;
	vec4 c = both ? settings.tint * low : (lit ? v_color.bgra : vec4(float(log_buffer.count)));
	int i = 0;
	while (i < settings.steps && (c.x < 4.0 || note(i))) {
		c = c.yzwx + vec4(settings.weights[i & 3]);
		i++;
	}
	do {
		c -= vec4(0.0, 0.0, 0.25, 0.5);
	} while (c.w > 0.0 && c.w < 8.0 && !note(int(c.w)));
	color = c;
}
