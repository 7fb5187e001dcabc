// Texel buffers: uniform texel buffers (samplerBuffer, utextureBuffer) and storage texel buffers (imageBuffer with formats).
#version 450

layout(local_size_x = 64) in;

layout(set = 0, binding = 0) uniform samplerBuffer positions;
layout(set = 0, binding = 1) uniform utextureBuffer indices;
layout(set = 0, binding = 2, rgba32f) uniform writeonly imageBuffer moved;
layout(set = 0, binding = 3, r32ui) uniform uimageBuffer counts;

void main() {
	int i = int(gl_GlobalInvocationID.x);
	if (i >= textureSize(positions)) return;
	uint index = texelFetch(indices, i).x;
	vec4 p = texelFetch(positions, int(index));
	imageStore(moved, i, p + vec4(0.0, 1.0, 0.0, 0.0));
	uint seen = imageLoad(counts, i).x;
	imageStore(counts, i, uvec4(seen + uint(imageSize(counts))));
}
