#version 450
layout(local_size_x = 1) in;
layout(std430, binding = 0) buffer Out { float r; };
float odd(float x);
float even(float x) { return x <= 0.0 ? 1.0 : odd(x - 1.0); }
float odd(float x) { return x <= 0.0 ? 0.0 : even(x - 1.0); }
void main() {
  r = even(4.0);
}
