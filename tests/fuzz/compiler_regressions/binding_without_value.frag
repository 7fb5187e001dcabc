// a binding key without its value: accepted, and the Binding decoration is
// written without its operand
#version 450
layout(binding) uniform Parameters { float scale; } parameters;
void main() { }
