// taskPayloadSharedEXT belongs to task and mesh shaders: accepted in a
// fragment shader, a TaskPayloadWorkgroupEXT pointer without the mesh
// shading capability
#version 450
#extension GL_EXT_mesh_shader : require
taskPayloadSharedEXT vec4 payload;
void main() { }
