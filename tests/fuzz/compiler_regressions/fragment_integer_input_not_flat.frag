// an integer fragment input must be flat: accepted without the Flat decoration
#version 450
layout(location = 0) in int material;
void main() { }
