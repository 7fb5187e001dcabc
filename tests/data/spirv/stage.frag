#version 450
// Fragment shader with textures, a depth comparison sampler and a storage buffer.
layout(location = 0) in vec2 v_texcoord;
layout(location = 1) flat in int v_index;
layout(location = 0) out vec4 color;
layout(location = 1) out float depth;
layout(set = 0, binding = 2) uniform texture2D albedo;
layout(set = 0, binding = 0) uniform sampler linear;
layout(set = 0, binding = 5) uniform sampler2DShadow shadow;
layout(set = 2, binding = 1) readonly buffer Lights {
	vec4 count;
	vec4 colors[];
} lights;
struct Material {
	vec4 tint;
	float gloss;
};
Material material;
void main() {
	material.tint = lights.colors[v_index];
	material.gloss = texture(shadow, vec3(v_texcoord, 0.5));
	vec4 c = texture(sampler2D(albedo, linear), v_texcoord) * material.tint;
	if (c.w < 0.1) discard;
	color = c * material.gloss + lights.count;
	depth = gl_FragCoord.z;
}
