// patch belongs to tessellation control outputs and evaluation inputs:
// accepted on a vertex output, decorated Patch without the Tessellation
// capability
#version 450
layout(location = 0) patch out vec4 factor;
void main() { }
