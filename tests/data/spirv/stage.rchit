#version 460
#extension GL_EXT_ray_tracing : require
// Closest-hit shader reading hit attributes and a storage buffer.
layout(location = 0) rayPayloadInEXT vec3 radiance;
hitAttributeEXT vec2 barycentrics;
layout(set = 0, binding = 2, std430) readonly buffer Colors {
	vec4 colors[];
} colors;
void main() {
	vec3 b = vec3(1.0 - barycentrics.x - barycentrics.y, barycentrics);
	radiance = colors.colors[gl_PrimitiveID].xyz * b;
}
