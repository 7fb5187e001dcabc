// a float matrix converted to a double one, column by column: OpFConvert
// takes no matrices
#version 450
layout(location = 0) in vec4 v;
layout(location = 0) out vec4 color;
void main() { dmat2 m = mat2(v); color = vec4(m[0], m[1]); }
