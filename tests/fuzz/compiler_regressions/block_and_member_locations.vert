// an output block at a location with a member at its own (valid): the block
// and its member were both decorated Location, which Vulkan forbids
#version 450
layout(location = 1) out Block { vec4 a; layout(location = 4) vec3 b; vec2 c; } block;
void main() { }
