#version 450
layout(local_size_x = 1) in;
layout(std430, binding = 0) buffer Out { uint r[4]; };
void main() {
  while (true) { r[0]++; break; r[1] = 2u; continue; }
  for (;;) { if (r[2] > 3u) { return; } else { continue; } r[3] = 1u; }
}
