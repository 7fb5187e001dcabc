// the ray tracing storage qualifiers belong to the ray tracing stages:
// accepted in a fragment shader, a RayPayload pointer without the RayTracing
// capability
#version 460
#extension GL_EXT_ray_tracing : require
layout(location = 0) rayPayloadEXT vec4 payload;
void main() { }
