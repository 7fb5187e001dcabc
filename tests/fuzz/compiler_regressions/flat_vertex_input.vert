// interpolation qualifiers belong to inputs and outputs between stages: flat
// was accepted on a vertex input, which Vulkan forbids
#version 450
layout(location = 0) flat in vec4 position;
void main() { }
