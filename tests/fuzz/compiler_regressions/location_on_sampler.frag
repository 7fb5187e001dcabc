// location belongs to inputs and outputs: accepted on a sampler
#version 450
layout(location = 0, binding = 0) uniform sampler2D image;
void main() { }
