// Miss stage: writes a sky colour from the world ray direction into the incoming payload.
// env: vulkan1.2
#version 460
#extension GL_EXT_ray_tracing : require

layout(location = 0) rayPayloadInEXT vec4 radiance;

void main() {
	float t = 0.5 * (normalize(gl_WorldRayDirectionEXT).y + 1.0);
	radiance = vec4(mix(vec3(1.0), vec3(0.5, 0.7, 1.0), t), gl_RayTmaxEXT);
}
