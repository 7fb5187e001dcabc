// Separate images and samplers: texture2D, textureCube and texture2DArray combined with sampler and samplerShadow at use.
#version 450

layout(location = 0) in vec3 v_uvw;
layout(location = 0) out vec4 out_color;

layout(set = 0, binding = 0) uniform texture2D albedo;
layout(set = 0, binding = 1) uniform textureCube environment;
layout(set = 0, binding = 2) uniform texture2DArray layers;
layout(set = 0, binding = 3) uniform texture2D depth;
layout(set = 1, binding = 0) uniform sampler linear_sampler;
layout(set = 1, binding = 1) uniform sampler point_sampler;
layout(set = 1, binding = 2) uniform samplerShadow compare_sampler;

vec4 sample_both(texture2D image, vec2 uv) {
	return texture(sampler2D(image, linear_sampler), uv) + texture(sampler2D(image, point_sampler), uv);
}

void main() {
	vec2 uv = v_uvw.xy;
	vec4 c = sample_both(albedo, uv);
	c += texture(samplerCube(environment, linear_sampler), v_uvw);
	c += textureLod(sampler2DArray(layers, point_sampler), vec3(uv, 1.0), 0.0);
	c *= texture(sampler2DShadow(depth, compare_sampler), vec3(uv, v_uvw.z));
	c += texelFetch(sampler2D(albedo, point_sampler), ivec2(3, 4), 0);
	out_color = c + vec4(textureSize(sampler2D(depth, point_sampler), 0), 0.0, 1.0);
}
