// two outputs at one location: accepted, and the module assigns location 0
// twice
#version 450
layout(location = 0) out vec4 color;
layout(location = 0) out vec4 glow;
void main() { }
