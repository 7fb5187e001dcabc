#version 450
// Vertex stage of a skinned mesh: attributes, the joint palette and the
// camera; the body is still empty.
const int MaxJoints = 16 * 4;
const int MaxWeights = 4;

struct Camera {
	mat4 view;
	mat4 projection;
	vec4 position;
};

layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec2 texcoord;
layout(location = 3) in uvec4 joints;
layout(location = 4) in vec4 weights;

layout(location = 0) out vec3 world_normal;
layout(location = 1) out vec2 uv;
layout(location = 2) flat out uint instance;

layout(std140, set = 0, binding = 0) uniform Frame {
	Camera camera;
	float time;
} frame;

layout(std430, set = 1, binding = 0) readonly buffer Palette {
	mat4 joints[MaxJoints];
} palette;

void skin(in vec4 p, in uvec4 index, in vec4 weight, out vec4 skinned);

void skin(in vec4 p, in uvec4 index, in vec4 weight, out vec4 skinned) {
	mat4 blended;
}

void main() {
	vec4 skinned;
	mat3 rotation;
}
