#version 450
layout(local_size_x = 1) in;
layout(std430, binding = 0) buffer Out { vec4 v; ivec2 e; uint u; };
void main() {
  v = clamp(v, 0, 1) + pow(v, vec4(2)) + mix(v, v.wzyx, bvec4(true, false, true, false));
  v.x = frexp(v.y, e.x);
  v.zw = modf(v.zw, v.xy);
  u = min(u, 1) + uint(abs(u)) + uint(findMSB(u));
  v.y = sqrt(-1.0) + log(0.0) + pow(-2.0, 0.5);
}
