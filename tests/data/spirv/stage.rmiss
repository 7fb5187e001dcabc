#version 460
#extension GL_EXT_ray_tracing : require
// Miss shader writing the incoming payload.
layout(location = 0) rayPayloadInEXT vec3 radiance;
void main() {
	radiance = vec3(0.1, 0.2, 0.3) * gl_WorldRayDirectionEXT.z;
}
