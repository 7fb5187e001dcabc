// Tessellation control stage: per-vertex and patch outputs, tessellation levels, gl_InvocationID and a barrier.
#version 450

layout(vertices = 3) out;

layout(location = 0) in vec3 normal[];
layout(location = 0) out vec3 c_normal[];
layout(location = 1) patch out vec4 c_center;

layout(set = 0, binding = 0) uniform Levels {
	float inner;
	float outer;
} levels;

void main() {
	gl_out[gl_InvocationID].gl_Position = gl_in[gl_InvocationID].gl_Position;
	c_normal[gl_InvocationID] = normalize(normal[gl_InvocationID]);
	barrier();
	if (gl_InvocationID == 0) {
		c_center = (gl_out[0].gl_Position + gl_out[1].gl_Position + gl_out[2].gl_Position) / 3.0;
		gl_TessLevelInner[0] = levels.inner;
		gl_TessLevelOuter[0] = levels.outer;
		gl_TessLevelOuter[1] = levels.outer;
		gl_TessLevelOuter[2] = levels.outer * float(gl_PatchVerticesIn) / 3.0;
	}
}
