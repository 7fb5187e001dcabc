#version 450
// Fragment stage of a forward renderer: the light list, the material and the
// shadow maps are declared; shading code comes later.
const int MaxLights = 8;
const float Pi = 3.14159265;
const float InvPi = 1.0 / Pi;

struct Light {
	vec4 position;
	vec3 color;
	float range;
	ivec2 shadow;
};

struct Material {
	vec4 albedo;
	float roughness;
	float metallic;
	vec2 padding;
};

layout(location = 0) in vec3 world_position;
layout(location = 1) in vec3 world_normal;
layout(location = 2) in vec2 uv;
layout(location = 0) out vec4 color;

layout(std140, binding = 0) uniform Lights {
	Light lights[MaxLights];
	uint count;
} lights;

layout(std140, binding = 1) uniform Surface {
	Material material;
} surface;

layout(binding = 2) uniform sampler2D albedo_map;
layout(binding = 3) uniform sampler2DArray shadow_maps;

void light(in Light l, in vec3 n, inout vec3 sum);
void shadow(in int index, in vec3 p, out float lit);

void light(in Light l, in vec3 n, inout vec3 sum) {
}

void shadow(in int index, in vec3 p, out float lit) {
	vec4 coord;
}

void main() {
	vec3 sum;
	float alpha;
}
