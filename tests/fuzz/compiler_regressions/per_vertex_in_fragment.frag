// fragment shaders have no gl_PerVertex input: accepted, giving a Position
// built-in to a Fragment entry point
#version 450
in gl_PerVertex { vec4 gl_Position; };
layout(location = 0) out vec4 color;
void main() { color = gl_Position; }
