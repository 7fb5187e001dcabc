// a vector converted to bool kept the scalar bool type: OpFOrdNotEqual with a
// bool result for vec2 operands
#version 450
layout(local_size_x = 1) in;
layout(std430, binding = 0) buffer Data { vec2 v; } data;
void main() { bool b = true && data.v; }
