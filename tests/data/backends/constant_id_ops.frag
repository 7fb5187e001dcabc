// Specialization constant expressions: integer and boolean constants computed from other specialization constants.
#version 450

layout(location = 0) in vec2 v_uv;
layout(location = 0) out vec4 out_color;

layout(constant_id = 0) const int taps = 3;
layout(constant_id = 1) const float spread = 0.01;
layout(constant_id = 2) const bool inverted = false;

const int total_taps = taps * 2 + 1;
const int last_tap = total_taps - 1;
const bool upright = !inverted;
const bool wide = taps > 4 || inverted;

layout(set = 0, binding = 0) uniform sampler2D image;

void main() {
	vec4 sum = vec4(0.0);
	float step_size = wide ? spread * 2.0 : spread;
	for (int i = 0; i < total_taps; i++) sum += texture(image, v_uv + vec2(float(i - taps) * step_size, 0.0));
	sum /= float(last_tap + 1);
	out_color = upright ? sum : vec4(1.0) - sum;
}
