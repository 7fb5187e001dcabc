// Geometry stage: triangles in, a triangle strip out, EmitVertex, EndPrimitive, gl_PrimitiveIDIn and gl_Layer.
#version 450

layout(triangles, invocations = 2) in;
layout(triangle_strip, max_vertices = 6) out;

layout(location = 0) in vec3 e_normal[];
layout(location = 0) out vec3 g_normal;
layout(location = 1) flat out int g_primitive;

layout(set = 0, binding = 0) uniform Extrude {
	float distance;
} extrude;

void main() {
	for (int side = 0; side < 2; side++) {
		for (int i = 0; i < 3; i++) {
			vec4 p = gl_in[i].gl_Position;
			p.xyz += e_normal[i] * extrude.distance * float(side);
			gl_Position = p;
			g_normal = e_normal[i];
			g_primitive = gl_PrimitiveIDIn;
			gl_Layer = gl_InvocationID;
			EmitVertex();
		}
		EndPrimitive();
	}
}
