// a uniform block can't hold bools (GLSL's would be 32-bit integers there):
// accepted as an OpTypeBool member of a Uniform block
#version 450
layout(binding = 0) uniform Flags { bool enabled; } flags;
void main() { }
