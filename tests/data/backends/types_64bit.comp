// 64-bit types: double, int64_t and uint64_t scalars and vectors, conversions and a storage block holding them.
#version 450
#extension GL_ARB_gpu_shader_int64 : require

layout(local_size_x = 32) in;

layout(set = 0, binding = 0, std430) buffer Data {
	dvec2 positions[32];
	int64_t deltas[32];
	uint64_t masks[32];
	double total;
} data;

void main() {
	uint i = gl_LocalInvocationIndex;
	dvec2 p = data.positions[i];
	double length2 = dot(p, p);
	p = p * 0.5LF + dvec2(double(i));
	int64_t d = data.deltas[i] * 3l - int64_t(i);
	uint64_t m = data.masks[i] | (1ul << uint64_t(i));
	i64vec2 pair = i64vec2(d, int64_t(m >> 32));
	data.positions[i] = p;
	data.deltas[i] = pair.x + pair.y;
	data.masks[i] = m;
	if (i == 0u) data.total = length2 + double(d);
}
