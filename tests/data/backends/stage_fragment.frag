// Fragment stage: gl_FragCoord, gl_FrontFacing, gl_FragDepth, discard and two colour outputs.
#version 450

layout(location = 0) in vec2 v_texcoord;
layout(location = 1) in vec4 v_color;

layout(location = 0) out vec4 out_color;
layout(location = 1) out vec4 out_normal;

layout(set = 0, binding = 0) uniform Fragment {
	vec2 viewport;
	float threshold;
} fragment;

void main() {
	vec2 screen = gl_FragCoord.xy / fragment.viewport;
	if (v_color.a < fragment.threshold) discard;
	out_color = gl_FrontFacing ? v_color : vec4(1.0) - v_color;
	out_normal = vec4(screen, v_texcoord);
	gl_FragDepth = gl_FragCoord.z * 0.5 + 0.25;
}
