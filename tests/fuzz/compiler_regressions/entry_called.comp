#version 450
layout(local_size_x = 1) in;
layout(std430, binding = 0) buffer Out { float r; };
void helper() { main(); }
void main() {
  r = 1.0;
}
