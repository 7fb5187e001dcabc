#version 450
layout(pixel_center_integer) in vec4 gl_FragCoord;
layout(location = 0) out vec4 o;
void main() { o = gl_FragCoord; }
