// location belongs to inputs and outputs: accepted on a private variable
#version 450
layout(location = 2) vec4 value;
void main() { }
