#version 450
// Geometry shader emitting a strip per input triangle.
layout(triangles) in;
layout(triangle_strip, max_vertices = 3) out;
layout(location = 0) in vec3 e_color[];
layout(location = 0) out vec3 g_color;
void main() {
	for (int i = 0; i < 3; i++) {
		g_color = e_color[i];
		gl_Position = gl_in[i].gl_Position;
		gl_Layer = 1;
		EmitVertex();
	}
	EndPrimitive();
}
