#version 450
// Geometry stage: vertices emitted from nested loops, a stream of its own,
// and an early return.
layout(triangles) in;
layout(line_strip, max_vertices = 12) out;
layout(location = 0) in vec3 e_normal[];
layout(location = 0) out vec3 g_color;

void edge(int a, int b) {
	for (int k = 0; k < 2; k++) {
		int v = (k == 0) ? a : b;
		g_color = abs(e_normal[v]);
		gl_Position = gl_in[v].gl_Position;
		EmitVertex();
	}
	EndPrimitive();
}

void main() {
	if (gl_in[0].gl_Position.w <= 0.0) return;
	for (int i = 0; i < 3; i++) {
		edge(i, (i + 1) % 3);
	}
	gl_Position = vec4(0.0);
	g_color = vec3(1.0);
	EmitVertex();
	EndPrimitive();
}
