// the members of a redeclared gl_PerVertex keep their built-in types:
// accepted with gl_ClipDistance a vec4 instead of a float array
#version 450
out gl_PerVertex { vec4 gl_Position; vec4 gl_ClipDistance; };
layout(location = 0) in vec4 position;
void main() { gl_Position = position; gl_ClipDistance = position; }
