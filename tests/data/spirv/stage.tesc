#version 450
// Per-vertex and per-patch outputs of a tessellation control shader.
layout(vertices = 3) out;
layout(location = 0) in vec3 v_color[];
layout(location = 0) out vec3 c_color[];
layout(location = 1) patch out float c_level;
void main() {
	c_color[gl_InvocationID] = v_color[gl_InvocationID];
	gl_out[gl_InvocationID].gl_Position = gl_in[gl_InvocationID].gl_Position;
	if (gl_InvocationID == 0) {
		gl_TessLevelOuter[0] = 4.0;
		gl_TessLevelOuter[1] = 4.0;
		gl_TessLevelOuter[2] = 4.0;
		gl_TessLevelInner[0] = 2.0;
		c_level = 4.0;
	}
}
