// memory qualifiers belong to buffers and images: readonly was accepted on an
// input, decorated NonWritable
#version 450
layout(location = 0) readonly in vec4 value;
void main() { }
