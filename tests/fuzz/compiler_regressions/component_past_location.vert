// a component and the ones after it stay within one location: a vec2 at
// component 3 was accepted
#version 450
layout(location = 0, component = 3) out vec2 value;
void main() { }
