// uint(m) of a matrix is the conversion of its first element; it came out as
// an OpConvertFToU of the whole matrix
#version 450
layout(local_size_x = 1) in;
layout(std430, binding = 0) buffer Data { uint value; mat2 m; } data;
void main() { data.value = uint(data.m); }
