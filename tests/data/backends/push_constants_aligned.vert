// Push constants whose std430 layout is also the std140 one: a matrix, a vector and scalars read in a vertex shader.
#version 450

layout(location = 0) in vec3 position;
layout(location = 0) out vec4 v_color;

layout(push_constant, std430) uniform Transform {
	mat4 model;
	vec4 tint;
	float scale;
	int flip;
} transform;

void main() {
	vec4 p = transform.model * vec4(position * transform.scale, 1.0);
	if (transform.flip != 0) p.y = -p.y;
	gl_Position = p;
	v_color = transform.tint;
}
