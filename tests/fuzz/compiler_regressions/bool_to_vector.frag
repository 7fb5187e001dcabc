// a bool converted to a vector: OpSelect of vec3 with a scalar condition
// (accepted, the bool now spread to the vector's size)
#version 450
layout(location = 0) flat in int mode;
layout(location = 0) out vec4 color;
void main() { vec3 v = mode > 0; color = vec4(v, 1.0); }
