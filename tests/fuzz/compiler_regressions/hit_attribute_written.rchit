// hit attributes are read-only in closest-hit and any-hit shaders
#version 460
#extension GL_EXT_ray_tracing : require
layout(location = 0) rayPayloadInEXT vec4 color;
hitAttributeEXT vec2 attributes;
void main() { attributes.x = 0.5; color = vec4(attributes, 0.0, 1.0); }
