// per-vertex inputs take the patch size (gl_MaxPatchVertices) and outputs the
// vertices layout (3): both stay runtime arrays
#version 450
layout(vertices = 3) out;
layout(location = 0) in vec3 position[];
layout(location = 0) out vec3 control[];
void main() { }
