// the length of an array is no variable: written, it stored to a constant or to
// the result of OpArrayLength
#version 450
layout(local_size_x = 1) in;
layout(std430, binding = 0) buffer Data { int values[]; } data;
void main() { data.values.length() += 1; }
