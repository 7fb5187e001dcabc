#version 450
layout(local_size_x = 1) in;
layout(std430, binding = 0) buffer Out { uint r; };
float a[100000];
float b[100000];
void main() {
  r = uint(a == b);
}
