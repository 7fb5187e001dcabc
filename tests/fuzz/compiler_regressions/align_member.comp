// align (valid) moves a block member; it was written as an Alignment
// decoration, which only kernels take
#version 450
layout(local_size_x = 1) in;
layout(std430, binding = 0) buffer Data { float a; layout(align = 32) vec2 b; float c; } data;
void main() { }
