#!/usr/bin/env bash
# Builds the GLSL compiler's libFuzzer target with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer), runs it for a short time on seed shaders of
# every stage written here, then has spirv-val check the module of every
# input that compiles: the corpus, the seeds and the shaders of
# compiler_regressions/ (each of which once compiled to a module that
# spirv-val rejects). Skips, and says so, without clang or its fuzzer
# runtime; skips the module check without spirv-val.
# With VEXA_MODULE_CHECK=report, rejected modules are listed but do not fail
# the script (a crash, hang, leak or sanitizer report always does).
# Usage: run_compiler_fuzz.sh [seconds] [build directory]
set -euo pipefail
# shellcheck source=tests/fuzz/fuzz_common.sh
. "$(dirname "$0")/fuzz_common.sh"
fuzz_start "compiler" "$root/build-fuzz" "$@"

seeds="$build/compiler-seeds"
corpus="$build/compiler-corpus"
mkdir -p "$seeds" "$corpus"
fuzz_build compiler_fuzz "$root"/core/*.cpp "$root"/shader/*.cpp "$root"/shader/*/*.cpp

# seed NAME STAGE [FOLDER]: the text on standard input, after the stage byte
# (the compiler's stage number less one), as an input of FOLDER (the seeds)
seed() {
	{
		printf '%b' "\\x$(printf %02x "$(($2 - 1))")"
		cat
	} >"${3:-$seeds}/$1"
}

seed vertex 1 <<'GLSL'
#version 450
const int N = 4 * 2;
struct Light { vec4 position; vec3 color; float range; };
layout(location = 0) in vec3 position;
layout(location = 1) in vec2 uv[2];
layout(location = 0) out vec4 color;
layout(std140, set = 1, binding = 0) uniform Frame { mat4 view; Light lights[N]; } frame;
layout(push_constant) uniform Push { uint index; } push;
void helper(in vec3 p, out vec4 q, inout float w);
void helper(in vec3 p, out vec4 q, inout float w) { vec4 t; return; }
void main() { int i; float a[3]; }
GLSL
seed control 2 <<'GLSL'
#version 450
layout(vertices = 3) out;
layout(location = 1) patch out vec4 factor;
void main() { }
GLSL
seed evaluate 3 <<'GLSL'
#version 450
layout(triangles, equal_spacing, ccw) in;
layout(location = 0) out vec3 normal;
layout(location = 1) patch in vec4 factor;
void main() { }
GLSL
seed geometry 4 <<'GLSL'
#version 450
layout(triangles, invocations = 2) in;
layout(line_strip, max_vertices = 6) out;
layout(location = 0) out vec4 color;
void main() { return; }
GLSL
seed fragment 5 <<'GLSL'
#version 450
const float Pi = 3.14159265;
const vec2 Half = vec2(0.5, 1.0 / 2.0);
layout(location = 0) in vec2 uv;
layout(location = 1) flat in ivec2 cell;
layout(location = 0) out vec4 color;
layout(binding = 0) uniform sampler2D image;
layout(binding = 1, std140) uniform Material { vec4 albedo; float roughness; } material;
void main() { vec4 texel; discard; }
GLSL
seed compute 6 <<'GLSL'
#version 450
#extension GL_EXT_shader_explicit_arithmetic_types_int64 : require
layout(local_size_x = 8, local_size_y = 8, local_size_z = 1) in;
const uint Bins = 64u;
shared uint bins[Bins];
layout(binding = 0, rgba8) uniform writeonly image2D target;
layout(std430, binding = 1) buffer Data { uint count; vec4 values[]; } data;
layout(std430, binding = 2) readonly buffer Input { double weights[4]; int64_t big; } input_data;
void main() { uvec3 id; }
GLSL
seed task 7 <<'GLSL'
#version 450
#extension GL_EXT_mesh_shader : require
layout(local_size_x = 32) in;
struct Payload { uint count; uint indices[32]; };
taskPayloadSharedEXT Payload payload;
void main() { }
GLSL
seed mesh 8 <<'GLSL'
#version 450
#extension GL_EXT_mesh_shader : require
layout(local_size_x = 32) in;
layout(triangles, max_vertices = 64, max_primitives = 126) out;
void main() { }
GLSL
seed raygen 9 <<'GLSL'
#version 460
#extension GL_EXT_ray_tracing : require
layout(binding = 0, set = 0) uniform accelerationStructureEXT scene;
layout(binding = 1, set = 0, rgba8) uniform image2D target;
layout(location = 0) rayPayloadEXT vec4 payload;
void main() { }
GLSL
seed closest 11 <<'GLSL'
#version 460
#extension GL_EXT_ray_tracing : require
layout(location = 0) rayPayloadInEXT vec4 payload;
hitAttributeEXT vec2 attributes;
void main() { }
GLSL
seed callable 14 <<'GLSL'
#version 460
#extension GL_EXT_ray_tracing : require
layout(location = 0) callableDataInEXT vec4 data;
void main() { }
GLSL

# function bodies full of expressions: arithmetic of every type, swizzles on
# both sides, compound assignments, steps, nested ?:, && and || with effects,
# constructors, constant and dynamic indexing, lengths, specialization
# constants and literals of every width
seed expressions_arithmetic 6 <<'GLSL'
#version 450
layout(local_size_x = 4) in;
layout(std430, binding = 0) buffer Data { vec4 f4; ivec3 i3; uvec2 u2; mat3 m3; mat2x4 m24; float f; int i; uint u; uint bb; } d;
void main() {
	float f = d.f * 2.0 + 1.0 / d.f - -d.f;
	vec2 v2 = vec2(f) * 3.0 + vec2(1.0, 2.0) / vec2(4.0);
	vec3 v3 = d.f4.xyz * d.m3 + d.m3 * d.f4.zyx;
	vec4 v4 = d.m24 * v2 + d.f4 * d.f4.wzyx - v3.xyzx;
	mat3 m = d.m3 * d.m3 + mat3(2.0) - d.m3 / 2.0;
	mat4x2 t = mat4x2(v2, v2, v2, v2) * 0.5;
	int i = d.i * 3 - d.i / 2 + d.i % 5 + (d.i << 2) + (d.i >> 1) + (d.i & 7) + (d.i | 8) + (d.i ^ 3) + ~d.i;
	uint u = d.u * 2u + d.u / 3u - d.u % 7u + (d.u << 3u) + (d.u >> d.i) + ~d.u;
	ivec3 i3 = d.i3 * 2 + d.i3 / ivec3(3) % 4 - -d.i3 + (d.i3 << 1) + (d.i3 & ivec3(1, 2, 3));
	uvec2 u2 = d.u2 * 2u + (d.u2 >> uvec2(1)) | uvec2(d.u);
	bool b = d.bb != 0u && f > 1.0 || !(i < 3) != u >= 2u && v2 == vec2(1.0) || v3 != v4.xyz;
	f += 1.0; f -= 2.0; f *= 3.0; f /= 4.0;
	v3 *= m; v4 *= 2.0; v2 += 1.0; v2.yx -= vec2(1.0, 2.0);
	i += 1; i -= 2; i *= 3; i /= 4; i %= 5; i <<= 1; i >>= 2; i &= 7; i |= 8; i ^= 9;
	u2 *= 2u; u2.x <<= 1; u2.y >>= 2u;
	i3.zx += ivec2(1);
	d.f4.wy = v4.xx + v2;
	d.f4.z = f + float(i) + float(u) + float(b);
	d.i3.yzx = i3 + ivec3(u2.xyx);
	d.u2 = u2;
	d.m3 = m;
}
GLSL
seed expressions_selection 5 <<'GLSL'
#version 450
layout(location = 0) in vec4 uv;
layout(location = 1) flat in ivec2 cell;
layout(location = 0) out vec4 color;
layout(binding = 0, std140) uniform Params { vec4 tint; ivec4 modes; float scale; } p;
int counter;
void main() {
	int a = cell.x, b = cell.y, c = 0;
	float x = uv.x > 0.5 ? uv.y : uv.z < 0.25 ? uv.w : p.scale > 1.0 ? 2.0 : -1.0;
	c = a > 0 && (b += 1) > 2 ? a++ : --b;
	bool q = a < b || (c = a) == 3 || ++counter > 1;
	bool r = !q && !!(a != 0) || !(!q);
	vec4 t = q ? p.tint : r ? uv : vec4(x);
	t.xy = r ? t.yx : (t = vec4(1.0)).zw;
	c += q ? (a -= 2) : (b *= 3);
	a = b = c = ~~a + -(-b);
	x++; x--; ++x; --x;
	t.w++; --t.z; t.x += t.y++;
	color = t * (q ? 1.0 : 0.5) + vec4(float(a), float(b), float(c), x);
}
GLSL
seed expressions_indexing 6 <<'GLSL'
#version 450
layout(local_size_x = 8) in;
struct Item { vec3 v; float w; int ids[3]; };
struct Pack { Item items[2]; mat2 m; };
layout(constant_id = 0) const int Count = 4;
layout(constant_id = 1) const float Scale = 1.5;
layout(constant_id = 2) const bool Flip = false;
const int Fixed[3] = int[3](1, 2, 3);
const vec3 Axis = vec3(0.0, 1.0, 0.0);
layout(std430, binding = 0) buffer Data { Item head; mat4 m; uvec4 mask; Item items[]; } d;
layout(std430, binding = 1) readonly buffer Params { vec4 rows[4]; ivec4 select; Pack pack; } p;
shared float cache[8];
void main() {
	int i = p.select.x & 3, j = p.select.y;
	float a[4] = float[4](1.0, 2.0, 3.0, Scale);
	float b[4] = a;
	Item item = Item(Axis * Scale, a[i], int[3](i, j, Count));
	Item two[2];
	two[0] = item;
	two[1] = d.head;
	Pack pack = Pack(two, mat2(1.0, 2.0, 3.0, 4.0));
	vec4 v = p.rows[i] + p.rows[2] * d.m[i][j] + d.m[3] + vec4(d.m[1].yzw, d.m[2][3]);
	v[j] = a[2] + b[i] + v[1] + cache[j & 7];
	d.m[1][2] = v.x; d.m[i] = v; d.m[j][i] += 1.0;
	item.ids[1] += Fixed[2] + Fixed[i] + item.ids[j];
	pack.items[i].v.y += 1.0;
	pack.items[1].ids[j]++;
	pack.m[1] = pack.m[0].yx;
	d.items[j].v.zx *= vec2(pack.m[i][j], item.w);
	d.items[i + 1] = pack.items[j & 1];
	d.items[d.items.length() - 1].w = float(d.items.length() + a.length() + item.ids.length() + v.length() + d.m.length());
	d.mask[i] |= 1u << uint(j);
	cache[i] = Flip ? -v.w : v.z * float(Count);
	d.head = Item(vec3(float(Count), Scale, Flip ? 1.0 : 0.0), p.pack.m[1].y, p.pack.items[i].ids);
}
GLSL
seed expressions_widths 6 <<'GLSL'
#version 450
#extension GL_EXT_shader_explicit_arithmetic_types : require
layout(local_size_x = 1) in;
layout(constant_id = 3) const uint Shift = 2u;
const int64_t Big = 0x7fffffffffffffffl;
layout(std430, binding = 0) buffer Data { double d; dvec3 d3; dmat2 dm; int64_t l; uint64_t ul; i64vec2 l2; float16_t h; f16vec4 h4; int16_t s; uint16_t us; i16vec2 s2; } d;
void main() {
	double x = d.d * 2.0lf + 1.0LF / d.d - double(d.h);
	dvec3 x3 = d.d3 * x + dvec3(1.0, 2.0, 3.0);
	dmat2 m = d.dm * d.dm + dmat2(x);
	int64_t l = d.l * 3l - Big / 7l + int64_t(d.s) + (d.l << 3) + (d.l >> Shift);
	uint64_t u = d.ul * 0xffffffffffUL + uint64_t(d.us) + ~d.ul;
	i64vec2 l2 = d.l2 * 2l + i64vec2(l);
	float16_t h = d.h * 2.0hf + float16_t(1.5) - -d.h;
	f16vec4 h4 = d.h4 * h + f16vec4(0.5hf);
	int16_t s = d.s * 3s + int16_t(-1) + (d.s >> 1s);
	uint16_t us = d.us * 2us + 1us + uint16_t(d.s);
	i16vec2 s2 = d.s2 + i16vec2(s) * 2s;
	d.d = x + m[1][0] + x3.z;
	d.dm = m;
	d.l = l + l2.y;
	d.ul = u;
	d.l2 = l2;
	d.h = h + h4.w;
	d.h4.yx = h4.zw;
	d.s = s + s2.x;
	d.us = us;
	d.d3 = x3 + dvec3(float(h), float(s), float(l));
}
GLSL
seed expressions_matrices 1 <<'GLSL'
#version 450
layout(location = 0) in vec4 position;
layout(location = 1) in ivec4 joints;
layout(location = 0) out vec4 color;
layout(location = 1) flat out uvec2 ids;
layout(push_constant) uniform Push { mat4 mvp; mat3x2 a; mat2x3 b; mat4x3 c; uint flags; } push;
float blend(in float x, out float y, inout vec2 z) {
	y = x * 2.0;
	z.yx += vec2(y, x);
	z[1] *= 0.5;
	x = -x;
	return x + y + z.x;
}
void main() {
	mat2 ab = push.a * push.b;
	mat3 ba = push.b * push.a;
	mat3x4 t = mat3x4(push.c[0].xyzz, push.c[1].xyzz, push.c[2].xyzz);
	mat4 m = push.mvp * mat4(ba) * mat4(1.0);
	vec3 r = push.c * position + vec3(1.0) * ba;
	vec2 s = ab * r.xy + r.zy * ab + push.a * r;
	m[3] = vec4(r, 1.0);
	m[2].xy = s;
	m[1][1] *= 2.0;
	m = m * 0.5 + m - m / 3.0;
	bvec4 e = bvec4(joints.x == 0, joints.y != 1, joints.z > 2, true);
	bvec2 f = bvec2(e.xy);
	bool g = e == bvec4(true) && f != bvec2(false) || s != vec2(0.0);
	ivec4 k = joints * ivec4(2) - ivec4(bvec4(g)) + ivec4(uvec4(push.flags));
	uvec2 u = uvec2(k.xy) >> 1u | uvec2(push.flags) & uvec2(0xffu, 0xff00u);
	gl_Position = m * position + t * r;
	color = vec4(s, r.z, float(k.w)) * (g ? 1.0 : 0.0);
	ids = u ^ uvec2(k.zw);
}
GLSL

seed flow_and_calls 6 <<'GLSL'
#version 450
#extension GL_EXT_control_flow_attributes : require
layout(local_size_x = 8) in;
struct P { vec3 a; uint n; };
layout(std430, binding = 0) buffer B { uint u[]; } b;
layout(std430, binding = 1) buffer F { vec4 v; ivec2 e; P p; float f[4]; } f;
uint pick(uint x) { if (x > 3u) { return 1u; } else if (x == 2u) return 2u; else { return 3u; } }
void bump(inout uint x, out float y) { x += 2u; y = float(x); }
void swap(inout vec2 a) { a = a.yx; }
float sum(float a[4]) { float s = 0.0; for (int k = 0; k < 4; k++) s += a[k]; return s; }
float twice(float x) { return x * 2.0; }
uint twice(uint x) { return x * 2u; }
void main() {
	uint i = gl_GlobalInvocationID.x;
	uint x = b.u[i];
	[[unroll]] for (int k = 0; k < 4; ++k) { if (k == 2) continue; x += uint(k); if (x > 90u) break; }
	while (true) { x++; if (x > 10u) break; }
	do { x += 3u; } while (x < 20u);
	for (;;) { if (++x > 30u) break; }
	switch (int(x % 5u)) {
	case -1: x = 0u; break;
	case 0: x += 1u;
	case 1: { x += 2u; if (x > 40u) break; x++; }
	default: x *= 2u;
	case 4: x--;
	}
	bump(b.u[i], f.v.x);
	bump(x, f.f[1]);
	swap(f.v.zw);
	f.v = clamp(f.v, 0, 1) + pow(f.v, vec4(2)) + mix(f.v, f.v.wzyx, bvec4(true, false, true, false)) + vec4(sum(f.f));
	f.v.x = frexp(f.v.y, f.e.x) + twice(1.5) + float(twice(x));
	f.v.zw = modf(f.v.zw, f.v.xy) + vec2(length(f.p.a), distance(f.p.a, vec3(1)));
	f.p.a = normalize(cross(f.p.a, vec3(0, 1, 0))) + reflect(f.p.a, vec3(0, 0, 1)) + refract(f.p.a, vec3(0, 1, 0), 0.5);
	b.u[i] = min(x, 7u) + max(x, 1) + clamp(x, 2u, 9u) + uint(findMSB(x)) + uint(abs(int(x) - 9)) + packHalf2x16(f.v.xy) + pick(x);
	f.v += vec4(unpackUnorm4x8(x)) + vec4(determinant(mat2(f.v)), inverse(mat2(f.v))[0], sign(f.v.w));
	if (x == 0u) return;
	f.f[0] = sin(1.0) + sqrt(-1.0) + atan(f.v.x, f.v.y) + smoothstep(0.0, 1.0, f.v.z) + fma(f.v.x, f.v.y, f.v.z);
}
GLSL

# textures: sparse calls writing their texel through l-values (a swizzle
# too), gathers with run-time and four constant offsets, depth compares,
# projective forms, fetches, queries and image accesses, indices of runtime
# descriptor arrays made non-uniform and carried through arithmetic
seed textures_sparse_nonuniform 5 <<'GLSL'
#version 450
#extension GL_ARB_sparse_texture2 : require
#extension GL_EXT_nonuniform_qualifier : require
layout(location = 0) in vec4 uv;
layout(location = 1) flat in int index;
layout(location = 2) smooth in vec3 normal;
layout(location = 0) out vec4 color;
layout(binding = 0) uniform sampler2D textures[];
layout(binding = 1) uniform sampler2DShadow depth;
layout(binding = 2) uniform isampler2DArray layers;
layout(binding = 3) uniform samplerCubeArrayShadow cubes;
layout(binding = 4) uniform usampler2DMS multi;
layout(binding = 5, rgba8) uniform image2D targets[];
layout(binding = 6) uniform samplerBuffer texels;
const ivec2 Corners[4] = ivec2[4](ivec2(0, 0), ivec2(1, 0), ivec2(0, -1), ivec2(-1, 1));
void main() {
	int i = nonuniformEXT(index);
	vec4 texel, gathered;
	ivec4 layer;
	float shadow;
	int code = sparseTextureARB(textures[i], uv.xy, texel);
	code |= sparseTextureLodARB(textures[nonuniformEXT(index + 1)], uv.xy, 1.0, texel.zyxw);
	int more = sparseTextureGatherARB(textures[0], uv.xy, gathered, 2);
	more += sparseTextureGatherOffsetsARB(textures[1], uv.xy, Corners, gathered, 1);
	more += sparseTexelFetchARB(layers, ivec3(uv.xyz), 0, layer);
	more += sparseTextureARB(depth, uv.xyz, shadow);
	vec4 g = textureGatherOffsets(textures[i], uv.xy, Corners, 3) + textureGatherOffset(textures[2], uv.xy, ivec2(index), 1);
	g += textureGather(depth, uv.xy, 0.5) + textureGather(cubes, uv, 0.25) + vec4(texture(cubes, uv, 0.5));
	g += textureProj(textures[i], uv) + textureProjOffset(depth, uv, ivec2(1, -1)) + textureGradOffset(textures[3], uv.xy, vec2(0.1), vec2(0.2), ivec2(2));
	g += vec4(texelFetch(multi, ivec2(1), 2)) + texelFetch(texels, index) + vec4(textureSize(textures[i], 1), textureSamples(multi), textureSize(texels));
	vec4 stored = imageLoad(targets[nonuniformEXT(index)], ivec2(uv.xy));
	imageStore(targets[i], ivec2(uv.zw), stored + g);
	bool resident = sparseTexelsResidentARB(code) && sparseTexelsResidentARB(more);
	color = resident ? texel + gathered + vec4(layer) + shadow + vec4(imageSize(targets[i]), 0, 1) : vec4(normal, 0.0);
}
GLSL
# redeclared gl_PerVertex blocks: an input and an output block of one name,
# clip and cull distances, invariant members and redeclarations, smooth
seed per_vertex_control 2 <<'GLSL'
#version 450
layout(vertices = 3) out;
in gl_PerVertex { vec4 gl_Position; float gl_PointSize; float gl_ClipDistance[2]; float gl_CullDistance[1]; } gl_in[gl_MaxPatchVertices];
out gl_PerVertex { invariant vec4 gl_Position; float gl_ClipDistance[2]; float gl_CullDistance[1]; } gl_out[];
layout(location = 0) in vec3 position[];
layout(location = 0) out vec3 moved[];
layout(location = 1) patch out vec4 factors;
void main() {
	int i = gl_InvocationID;
	gl_out[gl_InvocationID].gl_Position = gl_in[i].gl_Position * gl_in[0].gl_PointSize;
	gl_out[gl_InvocationID].gl_ClipDistance[1] = gl_in[i].gl_ClipDistance[0] - gl_in[i].gl_CullDistance[0];
	gl_out[gl_InvocationID].gl_CullDistance[0] = gl_in[(i + 1) % 3].gl_ClipDistance[1];
	moved[gl_InvocationID] = position[i] + gl_in[i].gl_Position.xyz;
	if (i == 0) {
		gl_TessLevelOuter[0] = 2.0; gl_TessLevelOuter[1] = 3.0; gl_TessLevelOuter[2] = 4.0;
		gl_TessLevelInner[0] = 5.0;
		factors = vec4(gl_PatchVerticesIn, gl_PrimitiveID, 0.0, 1.0);
	}
}
GLSL
seed per_vertex_geometry 4 <<'GLSL'
#version 450
layout(triangles, invocations = 2) in;
layout(triangle_strip, max_vertices = 3) out;
in gl_PerVertex { vec4 gl_Position; float gl_ClipDistance[3]; } gl_in[];
out gl_PerVertex { vec4 gl_Position; float gl_PointSize; float gl_ClipDistance[3]; };
invariant gl_Position;
layout(location = 0) smooth out vec4 color;
void main() { gl_Position = gl_in[1].gl_Position; gl_ClipDistance[2] = gl_in[0].gl_ClipDistance[2]; gl_PointSize = 1.0; color = vec4(gl_InvocationID); }
GLSL

# synchronisation and shared work: barriers of every scope, memory atomics on
# buffer members, vector components and shared arrays, image atomics, the
# subgroup family (votes, ballots, scans, clusters, shuffles, quads) and the
# older ballot calls
seed sync_atomics_subgroups 6 <<'GLSL'
#version 450
#extension GL_KHR_shader_subgroup_basic : require
#extension GL_KHR_shader_subgroup_vote : require
#extension GL_KHR_shader_subgroup_ballot : require
#extension GL_KHR_shader_subgroup_arithmetic : require
#extension GL_KHR_shader_subgroup_shuffle : require
#extension GL_KHR_shader_subgroup_shuffle_relative : require
#extension GL_KHR_shader_subgroup_clustered : require
#extension GL_KHR_shader_subgroup_quad : require
#extension GL_ARB_shader_ballot : require
#extension GL_ARB_gpu_shader_int64 : require
#extension GL_ARB_shader_group_vote : require
#extension GL_EXT_shader_atomic_float : require
layout(local_size_x = 64) in;
layout(std430, binding = 0) buffer Counters { uint total; int low; uvec4 lanes; float sum; uint64_t mask; uint bins[]; } c;
layout(binding = 1, r32ui) uniform uimage2D heat;
layout(binding = 2, r32i) uniform iimage3D depth;
shared uint hits[64];
shared ivec2 pair;
void main() {
	uint id = gl_LocalInvocationIndex;
	hits[id] = 0u;
	memoryBarrierShared();
	barrier();
	uint old = atomicAdd(c.total, 1u) + atomicMin(c.bins[id & 7u], id) + atomicExchange(c.lanes.z, id) + atomicCompSwap(hits[id ^ 1u], 0u, id);
	int low = atomicMin(c.low, -int(id)) + atomicMax(pair.y, int(old)) + atomicAnd(pair[id & 1u], 3) + atomicXor(c.low, 5);
	c.sum = atomicAdd(c.sum, 0.5) + atomicExchange(c.sum, 1.0);
	uint texel = imageAtomicAdd(heat, ivec2(id, 0), 1u) + imageAtomicCompSwap(heat, ivec2(0), 1u, 2u) + imageAtomicOr(heat, ivec2(1), old);
	low += imageAtomicMin(depth, ivec3(1, 2, 3), low);
	groupMemoryBarrier();
	memoryBarrier(); memoryBarrierBuffer(); memoryBarrierImage();
	uvec4 ballot = subgroupBallot(texel > 3u);
	bool first = subgroupElect() && subgroupAll(low < 0) || subgroupAny(old == 2u) || subgroupAllEqual(id);
	uint lanes = subgroupBallotBitCount(ballot) + subgroupBallotExclusiveBitCount(ballot) + subgroupBallotFindLSB(ballot) + uint(subgroupBallotBitExtract(ballot, id));
	float f = subgroupAdd(c.sum) + subgroupInclusiveMul(float(id)) + subgroupExclusiveMin(1.0) + subgroupClusteredMax(c.sum, 4u);
	uint s = subgroupBroadcast(old, 3u) + subgroupBroadcastFirst(texel) + subgroupShuffle(id, lanes) + subgroupShuffleXor(id, 1u) + subgroupShuffleUp(id, 2u) + subgroupShuffleDown(id, 1u);
	s += subgroupQuadBroadcast(id, 1u) + subgroupQuadSwapHorizontal(s) + subgroupQuadSwapVertical(s) + subgroupQuadSwapDiagonal(s);
	bool b = subgroupAnd(first) || subgroupInclusiveOr(first) || subgroupXor(first);
	ivec2 v = subgroupExclusiveAdd(ivec2(low)) + subgroupClusteredAnd(ivec2(low), 2u);
	subgroupBarrier(); subgroupMemoryBarrier(); subgroupMemoryBarrierShared(); subgroupMemoryBarrierBuffer(); subgroupMemoryBarrierImage();
	c.mask = ballotARB(b) + uint64_t(readInvocationARB(s, 0u) + readFirstInvocationARB(s));
	c.lanes = uvec4(lanes, s, uint(v.x), uint(f)) + uvec4(anyInvocationARB(b), allInvocationsARB(b), allInvocationsEqualARB(b), atomicOr(c.total, 1u));
}
GLSL
# ray generation: traces with payloads found by location (an anonymous block
# too), callables, acceleration structures from addresses, a ray query loop
# and the one-instruction built-ins on what comes back
seed tracing_queries 9 <<'GLSL'
#version 460
#extension GL_EXT_ray_tracing : require
#extension GL_EXT_ray_query : require
#extension GL_EXT_shader_explicit_arithmetic_types_int64 : require
layout(binding = 0) uniform accelerationStructureEXT scene;
layout(binding = 1, rgba8) uniform image2D target;
layout(push_constant) uniform Push { uint64_t address; uvec2 halves; } push;
layout(location = 0) rayPayloadEXT vec4 color;
layout(location = 2) rayPayloadEXT Shadow { float visibility; uint hits; };
layout(location = 1) callableDataEXT vec3 shading;
layout(binding = 2) uniform texture2D albedo;
layout(binding = 3) uniform sampler linear;
void main() {
	vec2 pixel = vec2(gl_LaunchIDEXT.xy) + 0.5;
	vec3 origin = vec3(pixel / vec2(gl_LaunchSizeEXT.xy), -1.0);
	traceRayEXT(scene, gl_RayFlagsOpaqueEXT | gl_RayFlagsCullBackFacingTrianglesEXT, 0xff, 0, 1, 0, origin, 0.001, vec3(0, 0, 1), 1000.0, 0);
	traceRayEXT(accelerationStructureEXT(push.address), gl_RayFlagsTerminateOnFirstHitEXT, 0x0fu, 1u, 1u, 1u, origin, 0.0, vec3(0, 1, 0), 10.0, 2);
	executeCallableEXT(uint(hits), 1);
	rayQueryEXT query;
	rayQueryInitializeEXT(query, accelerationStructureEXT(push.halves), gl_RayFlagsNoneEXT, 0xff, origin, 0.0, vec3(1, 0, 0), 5.0);
	while (rayQueryProceedEXT(query)) {
		if (rayQueryGetIntersectionTypeEXT(query, false) == gl_RayQueryCandidateIntersectionTriangleEXT && rayQueryGetIntersectionFrontFaceEXT(query, false)) rayQueryConfirmIntersectionEXT(query);
		else if (rayQueryGetIntersectionCandidateAABBOpaqueEXT(query)) rayQueryGenerateIntersectionEXT(query, rayQueryGetRayTMinEXT(query));
		else rayQueryTerminateEXT(query);
	}
	mat4x3 world = rayQueryGetIntersectionObjectToWorldEXT(query, true);
	vec2 bary = rayQueryGetIntersectionBarycentricsEXT(query, true);
	vec3 far = rayQueryGetWorldRayOriginEXT(query) + rayQueryGetWorldRayDirectionEXT(query) * rayQueryGetIntersectionTEXT(query, true);
	int index = rayQueryGetIntersectionInstanceCustomIndexEXT(query, true) + rayQueryGetIntersectionPrimitiveIndexEXT(query, true) + rayQueryGetIntersectionGeometryIndexEXT(query, true);
	vec4 base = textureLod(sampler2D(albedo, linear), bary, 0.0);
	bvec3 hit = lessThanEqual(far, world[3]);
	vec3 bits = vec3(bitCount(uvec3(floatBitsToUint(far))) + bitfieldExtract(ivec3(index), 1, 4));
	mat3x2 outer = outerProduct(bary, shading);
	mat2x3 flipped = transpose(outer);
	float d = dot(flipped[0], shading) + mod(visibility, 2.0);
	color += base * (any(hit) ? d : 0.0) + vec4(bits, float(all(not(isnan(far)))));
	imageStore(target, ivec2(gl_LaunchIDEXT.xy), color);
}
GLSL

fuzz_run "the GLSL compiler" compiler_fuzz 4096 "$corpus" "$seeds" -dict="$root/tests/fuzz/compiler.dict"

# the regression shaders as inputs, their stage from the file extension
regressions="$build/compiler-regressions"
rm -rf "$regressions"
mkdir -p "$regressions"
for src in "$root"/tests/fuzz/compiler_regressions/*; do
	case "${src##*.}" in
		vert) stage=1 ;;
		tesc) stage=2 ;;
		tese) stage=3 ;;
		geom) stage=4 ;;
		frag) stage=5 ;;
		comp) stage=6 ;;
		task) stage=7 ;;
		mesh) stage=8 ;;
		rgen) stage=9 ;;
		rmiss) stage=10 ;;
		rchit) stage=11 ;;
		rahit) stage=12 ;;
		rint) stage=13 ;;
		rcall) stage=14 ;;
		*) continue ;;
	esac
	name=$(basename "$src")
	seed "$name" "$stage" "$regressions" <"$src"
done

status=0
bash "$root/tests/fuzz/check_compiler_corpus.sh" "$build" "$corpus" "$seeds" "$regressions" || status=$?
if [ "$status" -eq 1 ] && [ "${VEXA_MODULE_CHECK:-}" = report ]; then
	echo "(rejected modules reported only: VEXA_MODULE_CHECK=report)"
	status=0
fi
exit "$status"
