// an image atomic on a storage image declared without a format
#version 450
layout(local_size_x = 1) in;
layout(binding = 0) uniform uimage2D counts;
void main() { imageAtomicAdd(counts, ivec2(0), 1u); }
