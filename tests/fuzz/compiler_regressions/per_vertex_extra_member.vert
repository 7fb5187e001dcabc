// a redeclared gl_PerVertex holds built-ins only: accepted with a member of
// its own, beside the BuiltIn members of the one structure
#version 450
out gl_PerVertex { vec4 gl_Position; int extra; };
layout(location = 0) in vec4 position;
void main() { gl_Position = position; }
