// a location key without its value: accepted, and the Location decoration is
// written without its operand (the instruction is cut short)
#version 450
layout(location) in vec2 uv;
void main() { }
