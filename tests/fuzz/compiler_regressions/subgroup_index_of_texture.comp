// the invocation of a shuffle is a uint: a texture was "converted" to one
#version 450
#extension GL_KHR_shader_subgroup_shuffle : require
layout(local_size_x = 64) in;
layout(binding = 0) uniform texture2D colors;
layout(std430, binding = 1) buffer Data { uint value; } data;
void main() { data.value = subgroupShuffle(data.value, colors); }
