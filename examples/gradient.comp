#version 450

// A compute shader that fills a buffer with a colour gradient between the
// first two stops of a uniform block: the work-group size, the stops, the
// output buffer and image, and the arithmetic of each pixel. The blend
// function and the image are not used yet (calls and image stores come
// later), so the warnings about what is left unused are turned off.
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
	float weight = (t - a.position) / (b.position - a.position);
	color = a.color * (1.0 - weight) + b.color * weight;
}

void main() {
	uvec2 texel = gl_GlobalInvocationID.xy;
	uint index = texel.y * gradient.size.x + texel.x;
	float t = (float(texel.x) + 0.5) / float(gradient.size.x);
	Stop a = gradient.stops[0];
	Stop b = gradient.stops[gradient.count > 1 ? 1 : 0];
	float span = b.position - a.position;
	float weight = span != 0.0 ? (t - a.position) / span : 0.0;
	vec4 color = a.color * (1.0 - weight) + b.color * weight;
	color.rgb = color.rgb * color.rgb;
	pixels.pixels[index] = color;
}
