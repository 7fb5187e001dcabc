// a body without its closing brace compiled
#version 450
layout(local_size_x = 1) in;
void main() { int a = 1;
