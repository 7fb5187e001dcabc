// an array selected by ?: and held in a temporary: the temporary had a
// runtime array type
#version 450
layout(local_size_x = 1) in;
layout(std430, binding = 0) buffer B { int i; float f; } d;
void main() { float a[2] = float[2](1.0, 2.0); float b[2] = d.i > 0 ? a : a; d.f = float[2](1.0, 2.0)[d.i] + b[1]; }
