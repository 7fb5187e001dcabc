// a location on a redeclared gl_PerVertex: kept as a Location decoration of
// the built-in block variable
#version 450
layout(location = 3) out gl_PerVertex { vec4 gl_Position; };
layout(location = 0) in vec4 position;
void main() { gl_Position = position; }
