// Storage images: format qualifiers (rgba8, r32f, rgba16f, rgba32ui, r32i), readonly and writeonly, load, store, size.
#version 450

layout(local_size_x = 8, local_size_y = 8) in;

layout(set = 0, binding = 0, rgba8) uniform readonly image2D source;
layout(set = 0, binding = 1, r32f) uniform writeonly image2D luminance;
layout(set = 0, binding = 2, rgba16f) uniform image2DArray layers;
layout(set = 0, binding = 3, rgba32ui) uniform writeonly uimage2D ids;
layout(set = 0, binding = 4, r32i) uniform iimage3D volume;

void main() {
	ivec2 p = ivec2(gl_GlobalInvocationID.xy);
	ivec2 size = imageSize(source);
	if (any(greaterThanEqual(p, size))) return;
	vec4 c = imageLoad(source, p);
	imageStore(luminance, p, vec4(dot(c.rgb, vec3(0.299, 0.587, 0.114))));
	vec4 layer = imageLoad(layers, ivec3(p, 1));
	imageStore(layers, ivec3(p, 0), layer * c);
	imageStore(ids, p, uvec4(gl_GlobalInvocationID, gl_LocalInvocationIndex));
	int depth = imageLoad(volume, ivec3(p, 0)).x;
	imageStore(volume, ivec3(p, 1), ivec4(depth + imageSize(layers).z));
}
