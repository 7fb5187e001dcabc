// an output qualified sample (valid) was decorated Sample without the
// SampleRateShading capability
#version 450
layout(triangles) in;
layout(location = 0) sample out float value;
void main() { }
