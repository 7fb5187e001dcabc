// std430 is for buffer and push constant blocks: a std430 uniform block had
// array strides that break the uniform buffer layout rules
#version 450
layout(std430, binding = 0) uniform Weights { float weights[4]; } w;
void main() { }
