// Closest-hit stage: hit attributes, instance and primitive ids, hit distance and a storage buffer of colours.
// env: vulkan1.2
#version 460
#extension GL_EXT_ray_tracing : require

layout(location = 0) rayPayloadInEXT vec4 radiance;
hitAttributeEXT vec2 barycentrics;

layout(set = 0, binding = 2, std430) readonly buffer Colors {
	vec4 colors[];
} palette;

void main() {
	vec3 weights = vec3(1.0 - barycentrics.x - barycentrics.y, barycentrics);
	vec4 base = palette.colors[gl_InstanceCustomIndexEXT + gl_PrimitiveID];
	radiance = vec4(base.rgb * weights, gl_HitTEXT);
}
