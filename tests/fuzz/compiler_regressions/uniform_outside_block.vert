// a uniform that is not a sampler, texture or image lives in a block:
// accepted as a vec4 in the Uniform storage class
#version 450
layout(binding = 0) uniform vec4 scale;
void main() { }
