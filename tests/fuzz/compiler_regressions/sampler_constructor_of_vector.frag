// samplerBuffer(...) of one vector is no constructor: it took the vector's
// first component for a sampler
#version 450
layout(location = 0) flat in uvec4 lanes;
layout(location = 0) out vec4 color;
void main() { samplerBuffer(lanes); color = vec4(1.0); }
