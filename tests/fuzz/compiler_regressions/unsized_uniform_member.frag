// only the last member of a buffer block may be unsized: a runtime array in
// a uniform block was accepted
#version 450
layout(binding = 0) uniform Data { vec4 values[]; } data;
void main() { }
