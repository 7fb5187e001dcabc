// Interpolation qualifiers on fragment inputs, matching interpolation.vert; flat integers feed integer outputs.
#version 450

layout(location = 0) smooth in vec4 i_smooth;
layout(location = 1) flat in int i_flat_int;
layout(location = 2) flat in uvec2 i_flat_uint;
layout(location = 3) noperspective in vec2 i_linear;
layout(location = 4) centroid in vec3 i_centroid;
layout(location = 5) sample in float i_sample;
layout(location = 6) flat in ivec3 i_flat_ivec;

layout(location = 0) out vec4 out_color;
layout(location = 1) out uvec4 out_ids;

void main() {
	out_color = i_smooth * vec4(i_linear, i_centroid.z, i_sample);
	out_ids = uvec4(uint(i_flat_int), i_flat_uint.x ^ i_flat_uint.y, uvec2(i_flat_ivec.yz));
	if (gl_SampleID > 0) out_color.rgb = i_centroid;
}
