// an array of resources needs a size: accepted as a runtime array variable
// in the UniformConstant storage class
#version 450
layout(binding = 0) uniform sampler2D textures[];
void main() { }
