#version 450
layout(location = 0) in vec2 uv;
layout(location = 0) out vec4 color;
layout(binding = 1) uniform sampler2D image;
void main() {
	color = texture(image, uv) * vec4(uv, 0.5, 1.0);
}
