// Uniform blocks: std140 packing of scalars, vectors and float arrays, a named and an anonymous block, two sets.
#version 450

layout(location = 0) in vec3 position;
layout(location = 0) out vec4 v_color;

layout(set = 0, binding = 0, std140) uniform Scene {
	vec3 light;      // a vec3 followed by a float shares its 16 bytes
	float ambient;
	vec2 scale;
	float weights[4]; // each element takes 16 bytes in std140
	ivec4 flags;
} scene;

layout(set = 1, binding = 2, std140) uniform Material {
	vec4 tint;
	float roughness;
	uint mode;
};

void main() {
	float sum = 0.0;
	for (int i = 0; i < 4; i++) sum += scene.weights[i];
	float shade = max(dot(normalize(position), normalize(scene.light)), scene.ambient);
	v_color = tint * shade * sum * (mode == 1u ? roughness : 1.0);
	if (scene.flags.x != 0) v_color.a = 1.0;
	gl_Position = vec4(position.xy * scene.scale, position.z, 1.0);
}
