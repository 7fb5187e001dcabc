#version 450

// A small fragment shader: a tinted texture lookup with a vignette.
layout(location = 0) in vec2 uv;
layout(location = 0) out vec4 color;

layout(binding = 0) uniform Parameters {
	vec4 tint;
	float strength;
} parameters;

layout(binding = 1) uniform sampler2D image;

float vignette(vec2 p) {
	vec2 d = p - vec2(0.5);
	return clamp(1.0 - dot(d, d) * parameters.strength, 0.0, 1.0);
}

void main() {
	vec4 texel = texture(image, uv);
	color = vec4(texel.rgb * parameters.tint.rgb * vignette(uv), texel.a);
}
