// a uniform block member named like a built-in was decorated BuiltIn, and so
// left without an Offset
#version 450
layout(binding = 0) uniform Frame { mat4 gl_GlobalInvocationID; } frame;
void main() { }
