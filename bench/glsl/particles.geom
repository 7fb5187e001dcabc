#version 450
// Geometry stage expanding particles into quads.
layout(points) in;
layout(triangle_strip, max_vertices = 4) out;

layout(location = 0) in vec4 particle_color[];
layout(location = 1) in float particle_size[];
layout(location = 0) out vec4 color;
layout(location = 1) out vec2 uv;

layout(std140, binding = 0) uniform View {
	mat4 projection;
	vec2 viewport;
} view;

void corner(in vec4 center, in vec2 offset, in vec2 corner_uv);

void corner(in vec4 center, in vec2 offset, in vec2 corner_uv) {
}

void main() {
	vec4 center;
	float size;
}
