// usampler2D(...) of one number is no constructor (it was taken for uint(...)),
// and of a matrix it made an OpConvertFToU of the matrix
#version 450
layout(local_size_x = 1) in;
layout(std430, binding = 0) buffer Data { uint u; mat2 m; } data;
void main() { usampler2D(data.m); data.u = 1u; }
