// 16-bit types: float16_t, int16_t and uint16_t scalars and vectors in arithmetic and in a storage block.
#version 450
#extension GL_EXT_shader_explicit_arithmetic_types_float16 : require
#extension GL_EXT_shader_explicit_arithmetic_types_int16 : require
#extension GL_EXT_shader_16bit_storage : require

layout(local_size_x = 32) in;

layout(set = 0, binding = 0, std430) buffer Data {
	f16vec4 colors[32];
	int16_t offsets[32];
	uint16_t ids[32];
	float wide[32];
} data;

void main() {
	uint i = gl_LocalInvocationIndex;
	f16vec4 c = data.colors[i];
	float16_t half_scale = float16_t(0.5);
	c = c * half_scale + f16vec4(data.wide[i]);
	int16_t o = data.offsets[i] + int16_t(3);
	uint16_t id = data.ids[i] << uint16_t(1);
	i16vec2 pair = i16vec2(o, int16_t(id));
	data.colors[i] = c;
	data.offsets[i] = pair.x * pair.y;
	data.ids[i] = id | uint16_t(1);
	data.wide[i] = float(c.x) + float(o) + float(id);
}
