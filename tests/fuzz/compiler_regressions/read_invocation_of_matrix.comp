// the invocation of readInvocationARB is a uint: a matrix was converted to
// one with an OpConvertFToU of the matrix
#version 450
#extension GL_ARB_shader_ballot : require
layout(local_size_x = 64) in;
layout(std430, binding = 0) buffer Data { uint value; mat2 lanes; } data;
void main() { data.value = readInvocationARB(data.value, data.lanes); }
