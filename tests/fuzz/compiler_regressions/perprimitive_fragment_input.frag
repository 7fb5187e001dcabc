// a per-primitive fragment input (valid) was decorated PerPrimitive without
// the mesh shading capability and its extension
#version 450
#extension GL_EXT_mesh_shader : require
layout(location = 0) perprimitiveEXT flat in vec4 value;
layout(location = 0) out vec4 color;
void main() { }
