// transform feedback layouts are not compiled: xfb_buffer and xfb_stride
// were decorated without the TransformFeedback capability or an Xfb mode
#version 450
layout(location = 0, xfb_buffer = 0, xfb_stride = 16) out vec4 value;
void main() { }
