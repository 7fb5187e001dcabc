// Combined image samplers: 2D, cube, 2D array, 3D, shadow and integer textures with sampling, fetch, size and gather.
#version 450

layout(location = 0) in vec3 v_uvw;
layout(location = 0) out vec4 out_color;

layout(set = 0, binding = 0) uniform sampler2D albedo;
layout(set = 0, binding = 1) uniform samplerCube environment;
layout(set = 0, binding = 2) uniform sampler2DArray layers;
layout(set = 0, binding = 3) uniform sampler3D volume;
layout(set = 0, binding = 4) uniform sampler2DShadow shadow;
layout(set = 0, binding = 5) uniform usampler2D ids;

void main() {
	vec2 uv = v_uvw.xy;
	vec4 c = texture(albedo, uv);
	c += textureLod(albedo, uv, 2.0) + textureOffset(albedo, uv, ivec2(1, -1));
	c += textureGrad(albedo, uv, dFdx(uv), dFdy(uv));
	c += textureGather(albedo, uv, 1);
	c += texture(environment, normalize(v_uvw));
	c += texture(layers, vec3(uv, 3.0)) + texture(volume, v_uvw, 0.5);
	c *= texture(shadow, vec3(uv, v_uvw.z));
	ivec2 size = textureSize(albedo, 0);
	c += texelFetch(albedo, ivec2(uv * vec2(size)), 0);
	uint id = texelFetch(ids, ivec2(gl_FragCoord.xy), 0).r;
	out_color = c * float(id & 255u) + textureProj(albedo, vec3(uv, 2.0));
}
