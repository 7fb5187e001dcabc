// a write inside an expression to an input or a uniform member: accepted,
// and stored through a read-only pointer
#version 450
layout(location = 0) in vec4 uv;
layout(binding = 0) uniform P { vec4 tint; } p;
layout(location = 0) out vec4 color;
void main() { color = (uv = vec4(1.0)) + (p.tint = vec4(2.0)); }
