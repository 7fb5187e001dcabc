// a block needs uniform, buffer, in or out: accepted as a private variable of
// a struct, decorated with the binding
#version 450
layout(binding = 0) Parameters { float scale; } parameters;
void main() { }
