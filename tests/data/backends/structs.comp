// Structures: nested structures in a storage block, arrays of structures, local structures, copies and comparison.
#version 450

layout(local_size_x = 16) in;

struct Light {
	vec3 position;
	float radius;
};

struct Material {
	vec4 albedo;
	Light lights[2];   // a structure array inside a structure
	uint flags;
};

layout(set = 0, binding = 0, std430) readonly buffer Scene {
	Material materials[8];
	Light sun;
} scene;

layout(set = 0, binding = 1, std430) buffer Results {
	Material picked[];
} results;

void main() {
	uint i = gl_GlobalInvocationID.x;
	Material m = scene.materials[i & 7u];
	Light l = m.lights[i & 1u];
	l.radius += scene.sun.radius;
	m.lights[0] = l;
	m.lights[1] = scene.sun;
	if (m.lights[0] == m.lights[1]) m.flags |= 1u;
	results.picked[i] = m;
}
