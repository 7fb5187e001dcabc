// binding belongs to uniforms and buffers: accepted on a push constant block
#version 450
layout(push_constant, binding = 0) uniform Push { vec4 scale; } push;
void main() { }
