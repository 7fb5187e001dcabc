// Vertex stage: attributes in, built-ins gl_VertexIndex, gl_InstanceIndex, gl_Position and gl_PointSize out.
#version 450

layout(location = 0) in vec3 position;
layout(location = 1) in vec2 texcoord;
layout(location = 2) in vec4 color;

layout(location = 0) out vec2 v_texcoord;
layout(location = 1) out vec4 v_color;
layout(location = 2) flat out int v_instance;

layout(set = 0, binding = 0) uniform Camera {
	mat4 projection;
	mat4 view;
	vec4 offsets[4];
} camera;

void main() {
	vec3 shifted = position + camera.offsets[gl_InstanceIndex & 3].xyz;
	float wave = float(gl_VertexIndex % 7) * 0.125;
	v_texcoord = texcoord + vec2(wave, 0.0);
	v_color = color;
	v_instance = gl_InstanceIndex;
	gl_Position = camera.projection * camera.view * vec4(shifted, 1.0);
	gl_PointSize = 2.0 + wave;
}
