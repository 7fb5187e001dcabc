// invariant qualifies outputs only: accepted on a sampler, which is decorated
// Invariant
#version 450
invariant layout(binding = 0) uniform sampler2D image;
void main() { }
