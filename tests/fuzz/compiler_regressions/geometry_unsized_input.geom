// per-vertex inputs take their size from the input primitive (3 here): the
// array stays unsized, a runtime array in the Input storage class
#version 450
layout(triangles) in;
layout(line_strip, max_vertices = 4) out;
layout(location = 0) in vec4 colors[];
void main() { }
