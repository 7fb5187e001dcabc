#version 450
// Tessellation evaluation shader reading patch data.
layout(triangles, equal_spacing, ccw) in;
layout(location = 0) in vec3 c_color[];
layout(location = 1) patch in float c_level;
layout(location = 0) out vec3 e_color;
void main() {
	vec3 t = gl_TessCoord;
	e_color = (c_color[0] * t.x + c_color[1] * t.y + c_color[2] * t.z) * c_level;
	gl_Position = gl_in[0].gl_Position * t.x + gl_in[1].gl_Position * t.y + gl_in[2].gl_Position * t.z;
}
