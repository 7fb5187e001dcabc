// Tessellation evaluation stage: triangle domain, gl_TessCoord, patch inputs and per-vertex inputs.
#version 450

layout(triangles, fractional_odd_spacing, cw) in;

layout(location = 0) in vec3 c_normal[];
layout(location = 1) patch in vec4 c_center;
layout(location = 0) out vec3 e_normal;

layout(set = 0, binding = 0) uniform Displace {
	mat4 transform;
	float height;
} displace;

void main() {
	vec3 t = gl_TessCoord;
	vec4 p = t.x * gl_in[0].gl_Position + t.y * gl_in[1].gl_Position + t.z * gl_in[2].gl_Position;
	vec3 n = normalize(t.x * c_normal[0] + t.y * c_normal[1] + t.z * c_normal[2]);
	p.xyz += n * displace.height + (c_center.xyz - p.xyz) * 0.1 * float(gl_PrimitiveID & 1);
	e_normal = n;
	gl_Position = displace.transform * p;
}
