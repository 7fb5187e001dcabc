// outerProduct of a float and a double vector is a double matrix (the float
// one converts); it came out as a float matrix converted with OpFConvert
#version 450
layout(location = 0) in vec2 a;
layout(location = 1) flat in dvec2 b;
layout(location = 0) out vec4 color;
void main() { dmat2 m = outerProduct(a, b); color = vec4(m[0], m[1]); }
