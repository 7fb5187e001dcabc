// a block needs uniform, buffer, in or out: accepted, and the push constant
// struct has no Block decoration
#version 450
layout(push_constant) Push { uint index; } push;
void main() { }
