#version 450

// A compute shader that will fill an image and a buffer with a colour
// gradient. Its interface is complete: the work-group size, the gradient's
// stops in a uniform block, the output buffer and image; the bodies hold
// only declarations for now, so the warnings about locals and functions left
// unused are turned off.
#pragma nounused

layout(local_size_x = 8, local_size_y = 8) in;

const int MaxStops = 4;
const float Gamma = 2.2;
const float InvGamma = 1.0 / Gamma;

struct Stop {
	vec4 color;
	float position;
	float width;
	vec2 padding;
};

layout(std140, binding = 0) uniform Gradient {
	Stop stops[MaxStops];
	uvec2 size;
	int count;
} gradient;

layout(std430, binding = 1) writeonly buffer Pixels {
	uint written;
	vec4 pixels[];
} pixels;

layout(binding = 2, rgba8) uniform writeonly image2D target;

void blend(in Stop a, in Stop b, in float t, out vec4 color);

void blend(in Stop a, in Stop b, in float t, out vec4 color) {
	float weight;
}

void main() {
	uvec2 texel;
	vec4 color;
	return;
}
