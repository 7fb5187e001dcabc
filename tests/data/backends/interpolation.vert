// Interpolation qualifiers on vertex outputs: smooth, flat (int, uint, ivec), noperspective, centroid and sample.
#version 450

layout(location = 0) in vec4 position;
layout(location = 1) in ivec2 cell;

layout(location = 0) smooth out vec4 i_smooth;
layout(location = 1) flat out int i_flat_int;
layout(location = 2) flat out uvec2 i_flat_uint;
layout(location = 3) noperspective out vec2 i_linear;
layout(location = 4) centroid out vec3 i_centroid;
layout(location = 5) sample out float i_sample;
layout(location = 6) flat out ivec3 i_flat_ivec;

void main() {
	i_smooth = position;
	i_flat_int = cell.x * 16 + cell.y;
	i_flat_uint = uvec2(cell) + uvec2(gl_VertexIndex);
	i_linear = position.xy / max(position.w, 1.0);
	i_centroid = position.xyz * 0.5;
	i_sample = position.z;
	i_flat_ivec = ivec3(cell, gl_InstanceIndex);
	gl_Position = position;
}
