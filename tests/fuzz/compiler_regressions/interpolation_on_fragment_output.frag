// interpolation qualifiers belong to inputs and outputs between stages:
// noperspective was accepted on a fragment output, which Vulkan forbids
#version 450
layout(location = 0) noperspective out vec4 color;
void main() { }
