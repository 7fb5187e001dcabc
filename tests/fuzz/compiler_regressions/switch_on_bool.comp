#version 450
layout(local_size_x = 1) in;
layout(std430, binding = 0) buffer Out { float r; };
void main() {
  switch (r > 0.0) { case 1: r = 2.0; break; }
}
