// the bit of subgroupBallotBitExtract is a uint: a matrix was converted to one
#version 450
#extension GL_KHR_shader_subgroup_ballot : require
layout(local_size_x = 64) in;
layout(std430, binding = 0) buffer Data { uint value; mat2 m; uvec4 mask; } data;
void main() { data.value = uint(subgroupBallotBitExtract(data.mask, data.m)); }
