// per-vertex inputs take the patch size (gl_MaxPatchVertices): the array
// stays a runtime array
#version 450
layout(triangles) in;
layout(location = 0) in vec3 control[];
void main() { }
