#version 450
layout(local_size_x = 1) in;
layout(std430, binding = 0) buffer Out { int r; };
void main() {
  return;
  switch (3) { case 3: r = 1; default: break; }
  do { return; } while (true);
}
