// the sample of an image atomic on a multisampled image is an int: a matrix
// was converted to one
#version 450
layout(local_size_x = 1) in;
layout(binding = 0, r32ui) uniform uimage2DMS counts;
layout(std430, binding = 1) buffer Data { uint value; mat2 m; } data;
void main() { data.value = imageAtomicAdd(counts, ivec2(0), data.m, 1u); }
