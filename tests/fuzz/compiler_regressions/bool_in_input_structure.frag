// inputs can't be or hold bools: a structure with a bool member was accepted
// as an input
#version 450
struct Selection { bool selected; vec2 at; };
layout(location = 0) in Selection selection;
void main() { }
