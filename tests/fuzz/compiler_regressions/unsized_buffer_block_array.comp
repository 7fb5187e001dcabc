// an array of blocks needs a size: accepted as a runtime array of blocks
#version 450
layout(local_size_x = 1) in;
layout(std430, binding = 0) buffer Data { float x; } data[];
void main() { }
