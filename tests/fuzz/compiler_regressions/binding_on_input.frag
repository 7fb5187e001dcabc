// binding and set belong to uniforms and buffers: accepted on an input
#version 450
layout(location = 0, set = 1, binding = 2) in vec4 value;
void main() { }
