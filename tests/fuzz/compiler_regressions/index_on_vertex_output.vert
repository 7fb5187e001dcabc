// the index layout belongs to fragment outputs: accepted on a vertex output
#version 450
layout(location = 0, index = 1) out vec4 value;
void main() { }
