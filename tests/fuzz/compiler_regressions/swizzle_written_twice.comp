#version 450
layout(local_size_x = 1) in;
layout(std430, binding = 0) buffer Out { vec4 r; };
void main() {
  vec4 v = vec4(1.0);
  float x = (v.xx = vec2(2.0, 3.0)).x;
  r = v + x;
}
