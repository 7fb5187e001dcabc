// Push constants: a push_constant block with scalars, a vector and a matrix read in a fragment shader.
#version 450

layout(location = 0) in vec2 v_uv;
layout(location = 0) out vec4 out_color;

layout(push_constant, std430) uniform Constants {
	mat2 rotate;
	vec4 color;
	float time;
	int mode;
} pc;

void main() {
	vec2 uv = pc.rotate * (v_uv - 0.5);
	float pulse = 0.5 + 0.5 * sin(pc.time + uv.x * 6.0);
	out_color = pc.mode == 0 ? pc.color * pulse : vec4(uv, pulse, 1.0);
}
