#version 450
#extension GL_EXT_shader_explicit_arithmetic_types : require
layout(local_size_x = 1) in;
layout(std430, binding = 0) buffer Out { int r; };
void main() {
  int16_t z = int16_t(r);
  switch (z) { case -1s: r = 100; break; case int16_t(-300): r = 200; break; case 7s: r = 3; default: break; }
}
