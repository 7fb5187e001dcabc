#version 450
// Compute stage of an image histogram: work-group size, the source image and
// the bins; only declarations so far.
layout(local_size_x = 16, local_size_y = 16) in;

const uint Bins = 64u;
const uint Groups = Bins / 16u;

layout(binding = 0, rgba8) uniform readonly image2D source;

layout(std430, binding = 1) buffer Histogram {
	uint total;
	uint bins[Bins];
} histogram;

layout(std140, binding = 2) uniform Range {
	float low;
	float high;
	uvec2 size;
} range;

shared uint local_bins[Bins];

void count(in ivec2 p, out uint bin);

void count(in ivec2 p, out uint bin) {
	vec4 texel;
	float luminance;
	return;
}

void main() {
	ivec2 p;
	uint bin;
}
