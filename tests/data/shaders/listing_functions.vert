#version 450
// Functions with value, out and inout parameters, returned structures and
// arrays, and calls whose results are used once, twice or not at all.
layout(location = 0) in vec3 position;
layout(location = 1) in vec2 uv;
layout(location = 0) out vec2 v_uv;
layout(location = 1) out float v_fog;
layout(set = 0, binding = 0) uniform Camera {
	mat4 view;
	mat4 projection;
	vec4 planes[6];
} camera;

struct Frame {
	vec4 clip;
	float depth;
};

int calls;

Frame project(vec3 p) {
	calls++;
	Frame f;
	f.clip = camera.projection * camera.view * vec4(p, 1.0);
	f.depth = f.clip.z / f.clip.w;
	return f;
}

void fog(float depth, inout float density, out float amount) {
	density = clamp(density * 1.5, 0.0, 1.0);
	amount = 1.0 - exp(-depth * density);
}

float distances(vec3 p, out float nearest) {
	float d[6];
	nearest = 1e30;
	for (int i = 0; i < 6; i++) {
		d[i] = dot(camera.planes[i].xyz, p) + camera.planes[i].w;
		nearest = min(nearest, d[i]);
	}
	return d[0] + d[5];
}

void main() {
	Frame f = project(position);
	float density = 0.25;
	float amount;
	fog(f.depth, density, amount);
	float nearest;
	float both = distances(position, nearest);
	float twice = distances(position + vec3(1.0), nearest) * distances(-position, nearest);
	project(position * 2.0);
	gl_Position = f.clip;
	v_uv = uv * float(calls);
	v_fog = amount + both + twice + nearest;
}
