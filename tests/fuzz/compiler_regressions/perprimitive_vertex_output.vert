// perprimitiveEXT belongs to mesh outputs and fragment inputs: accepted on a
// vertex output, decorated PerPrimitive without the mesh shading capability
#version 450
#extension GL_EXT_mesh_shader : require
layout(location = 0) perprimitiveEXT out vec4 value;
void main() { }
