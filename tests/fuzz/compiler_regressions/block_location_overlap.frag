// a block takes a location per member: an input at the location of the
// block's second member was accepted
#version 450
layout(location = 0) in Pair { vec4 a; vec4 b; } pair;
layout(location = 1) in vec4 c;
void main() { }
