// an image atomic on a storage image of four 8-bit channels: atomics take
// only the 32-bit (and 64-bit) single-channel formats
#version 450
layout(local_size_x = 1) in;
layout(binding = 0, rgba8ui) uniform uimage2D counts;
void main() { imageAtomicAdd(counts, ivec2(0), 1u); }
