#version 450
// Interface, uniform block, push constants and a sampled texture in a vertex shader.
layout(location = 0) in vec4 position;
layout(location = 2) in vec2 texcoord;
layout(location = 1) in vec3 normal;
layout(location = 1) out vec2 v_texcoord;
layout(location = 0) out vec3 v_normal;
layout(set = 0, binding = 3) uniform Transform {
	mat4 projection;
	mat4 modelview;
} transform;
layout(set = 1, binding = 1) uniform sampler2D heights;
layout(push_constant) uniform Constants {
	float scale;
} constants;
void main() {
	float h = textureLod(heights, texcoord, 0.0).x * constants.scale;
	gl_Position = transform.projection * (transform.modelview * (position + vec4(0.0, h, 0.0, 0.0)));
	v_texcoord = texcoord;
	v_normal = normal;
}
