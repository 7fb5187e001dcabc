#version 450
// Tessellation control: per-vertex and per-patch outputs written around a
// barrier, levels chosen in a switch.
layout(vertices = 4) out;
layout(location = 0) in vec2 v_uv[];
layout(location = 0) out vec2 c_uv[];
layout(location = 1) patch out float c_detail;

void main() {
	c_uv[gl_InvocationID] = v_uv[gl_InvocationID] * 2.0;
	gl_out[gl_InvocationID].gl_Position = gl_in[gl_InvocationID].gl_Position;
	barrier();
	if (gl_InvocationID == 0) {
		float level = 1.0;
		switch (gl_PatchVerticesIn) {
			case 3:
				level = 2.0;
				break;
			case 4:
				level = 4.0;
				break;
			default:
				level = 8.0;
		}
		for (int i = 0; i < 4; i++) gl_TessLevelOuter[i] = level;
		gl_TessLevelInner[0] = level;
		gl_TessLevelInner[1] = level;
		c_detail = c_uv[0].x + c_uv[3].y;
	}
}
