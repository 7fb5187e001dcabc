// Image built-ins, judged by the reference compiler: each row of the table is
// compiled by this compiler and by the reference, both modules run on the CPU
// Vulkan device over the same images and buffers, and every byte of every
// output buffer and image, read back after the run, must be the same. Each row
// also checks a few values it knows, on both runs, so that images that never
// reach the shader can't pass by giving both the same nothing. Sampling is of
// texel centres with nearest filtering, so that every result is exact.
#include "compute_runner.h"
#include "own_compiler.h"

#include "../shader/listing_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace vulkan_test;

namespace {

using I = ComputeImage;

// An image whose texels hold values of its format from a seed: small
// integers, floats that are exact sixty-fourths, any bytes for 8-bit
// normalised components, and finite halves.
I filled(uint32_t binding, I::Kind kind, I::Format format, I::View view, uint32_t width, uint32_t height = 1,
	uint32_t depth_or_layers = 1, uint32_t levels = 1) {
	I image = blank_image(binding, kind, format, view, width, height, depth_or_layers, levels);
	uint32_t state = (binding + 1) * 2654435761u + 12345u;
	auto next = [&state]() {
		state = state * 1664525u + 1013904223u;
		return state >> 8;
	};
	std::vector<uint8_t> &data = image.data;
	if (format == I::Rgba8Unorm) {
		for (uint8_t &byte : data) byte = static_cast<uint8_t>(next());
		return image;
	}
	if (format == I::Rgba16Float) {
		for (size_t k = 0; k + 2 <= data.size(); k += 2) {
			uint32_t r = next();
			uint16_t half = static_cast<uint16_t>(((r & 1u) << 15) | ((12u + (r >> 1) % 7u) << 10) | ((r >> 4) & 0x3ffu));
			std::memcpy(&data[k], &half, 2);
		}
		return image;
	}
	for (size_t k = 0; k + 4 <= data.size(); k += 4) {
		uint32_t r = next(), word = 0;
		switch (format) {
		case I::R32Uint:
		case I::Rgba32Uint: word = r % 100000u; break;
		case I::R32Sint:
		case I::Rgba32Sint: word = static_cast<uint32_t>(static_cast<int32_t>(r % 2001u) - 1000); break;
		default: {
			float f = static_cast<float>(static_cast<int32_t>(r % 20000u) - 10000) / 64.0f;
			std::memcpy(&word, &f, 4);
			break;
		}
		}
		std::memcpy(&data[k], &word, 4);
	}
	return image;
}

// the words of texel (x, y) of slice or layer z of the level
std::vector<uint32_t> texel(const I &image, uint32_t level, uint32_t x, uint32_t y, uint32_t z = 0) {
	uint32_t w = std::max(image.width >> level, 1u), h = std::max(image.height >> level, 1u);
	size_t size = texel_bytes(image.format);
	size_t at = image_level_offset(image, level) + ((size_t(z) * h + y) * w + x) * size;
	std::vector<uint32_t> ret(size / 4);
	std::memcpy(ret.data(), &image.data[at], size);
	return ret;
}

std::vector<uint32_t> words(const std::vector<uint8_t> &bytes, size_t first, size_t count) {
	std::vector<uint32_t> all = from_bytes<uint32_t>(bytes);
	return std::vector<uint32_t>(all.begin() + first, all.begin() + first + count);
}

float as_float(uint32_t word) {
	float f;
	std::memcpy(&f, &word, 4);
	return f;
}

uint32_t as_word(float f) {
	uint32_t word;
	std::memcpy(&word, &f, 4);
	return word;
}

// a one-component texel as a load gives it: the value, 0, 0, 1 (of its kind)
std::vector<uint32_t> one(uint32_t value, uint32_t one_of_kind = 1) {
	return {value, 0, 0, one_of_kind};
}

const uint32_t float_one = 0x3f800000u;

// what a row knows: of the output buffer, and of the images before and after the run
using Known = std::function<void(const std::vector<uint8_t> &out, const std::vector<I> &before, const std::vector<I> &after)>;

struct Case {
	const char *name;
	const char *source; // after the common header; the output buffer is binding 0
	std::vector<I> images;
	uint32_t out_words;
	uint32_t groups_x;
	Known known;
	// The refusal this compiler gives ("this compiler: " and its message),
	// when it does not take the row: the row then checks that refusal and
	// runs the reference's module alone, against what it knows.
	const char *pending = nullptr;
};

const char *const header = "#version 450\nlayout(local_size_x = 4, local_size_y = 4) in;\n";

const Case cases[] = {
	{"StorageR32uiR32i",
		"layout(std430, binding = 0) buffer Out { uvec4 r[16]; ivec4 s[16]; };\n"
		"layout(binding = 1, r32ui) uniform uimage2D a;\n"
		"layout(binding = 2, r32i) uniform iimage2D b;\n"
		"void main() {\n"
		"  ivec2 p = ivec2(gl_LocalInvocationID.xy);\n"
		"  uint i = gl_LocalInvocationIndex;\n"
		"  uvec4 x = imageLoad(a, p);\n"
		"  ivec4 y = imageLoad(b, p);\n"
		"  r[i] = x; s[i] = y;\n"
		"  imageStore(a, p, x * 3u + 1u);\n"
		"  imageStore(b, ivec2(p.x, p.y), y * -2 + int(i));\n"
		"}\n",
		{filled(1, I::StorageImage, I::R32Uint, I::View2D, 4, 4), filled(2, I::StorageImage, I::R32Sint, I::View2D, 4, 4)},
		128, 1,
		[](const std::vector<uint8_t> &out, const std::vector<I> &before, const std::vector<I> &after) {
			for (uint32_t i = 0; i < 16; i++) {
				uint32_t x = i % 4, y = i / 4;
				uint32_t a = texel(before[0], 0, x, y)[0], b = texel(before[1], 0, x, y)[0];
				EXPECT_EQ(words(out, i * 4, 4), one(a)) << i;
				EXPECT_EQ(words(out, 64 + i * 4, 4), one(b)) << i;
				EXPECT_EQ(texel(after[0], 0, x, y)[0], a * 3 + 1) << i;
				EXPECT_EQ(int32_t(texel(after[1], 0, x, y)[0]), int32_t(b) * -2 + int32_t(i)) << i;
			}
		}},
	{"StorageFloatFormats",
		"layout(std430, binding = 0) buffer Out { vec4 r[64]; };\n"
		"layout(binding = 1, r32f) uniform image2D a;\n"
		"layout(binding = 2, rgba32f) uniform image2D b;\n"
		"layout(binding = 3, rgba8) uniform image2D c;\n"
		"layout(binding = 4, rgba16f) uniform image2D d;\n"
		"void main() {\n"
		"  ivec2 p = ivec2(gl_LocalInvocationID.xy);\n"
		"  uint i = gl_LocalInvocationIndex;\n"
		"  vec4 va = imageLoad(a, p), vb = imageLoad(b, p), vc = imageLoad(c, p), vd = imageLoad(d, p);\n"
		"  r[i * 4u] = va; r[i * 4u + 1u] = vb; r[i * 4u + 2u] = vc; r[i * 4u + 3u] = vd;\n"
		"  imageStore(a, p, va * 2.0 - 1.0);\n"
		"  imageStore(b, p, vb.wzyx + 0.5);\n"
		"  imageStore(c, p, vec4(1.0) - vc);\n"
		"  imageStore(d, p, vd * 0.5);\n"
		"}\n",
		{filled(1, I::StorageImage, I::R32Float, I::View2D, 4, 4), filled(2, I::StorageImage, I::Rgba32Float, I::View2D, 4, 4),
			filled(3, I::StorageImage, I::Rgba8Unorm, I::View2D, 4, 4), filled(4, I::StorageImage, I::Rgba16Float, I::View2D, 4, 4)},
		256, 1,
		[](const std::vector<uint8_t> &out, const std::vector<I> &before, const std::vector<I> &after) {
			for (uint32_t i = 0; i < 16; i++) {
				uint32_t x = i % 4, y = i / 4;
				uint32_t a = texel(before[0], 0, x, y)[0];
				EXPECT_EQ(words(out, i * 16, 4), one(a, float_one)) << i;
				EXPECT_EQ(words(out, i * 16 + 4, 4), texel(before[1], 0, x, y)) << i;
				EXPECT_EQ(texel(after[0], 0, x, y)[0], as_word(as_float(a) * 2.0f - 1.0f)) << i;
				std::vector<uint32_t> b = texel(before[1], 0, x, y), b_after = texel(after[1], 0, x, y);
				EXPECT_EQ(b_after[0], as_word(as_float(b[3]) + 0.5f)) << i;
				uint32_t c = texel(before[2], 0, x, y)[0], c_after = texel(after[2], 0, x, y)[0];
				for (uint32_t k = 0; k < 4; k++) {
					uint32_t byte = (c >> (8 * k)) & 0xffu;
					EXPECT_NEAR(as_float(words(out, i * 16 + 8 + k, 1)[0]), byte / 255.0f, 1e-6f) << i;
					EXPECT_EQ((c_after >> (8 * k)) & 0xffu, 255u - byte) << i;
				}
			}
		}},
	{"StorageRgba32uiRgba32i",
		"layout(std430, binding = 0) buffer Out { uvec4 r[16]; ivec4 s[16]; };\n"
		"layout(binding = 1, rgba32ui) uniform uimage2D a;\n"
		"layout(binding = 2, rgba32i) uniform iimage2D b;\n"
		"void main() {\n"
		"  ivec2 p = ivec2(gl_LocalInvocationID.xy);\n"
		"  uint i = gl_LocalInvocationIndex;\n"
		"  r[i] = imageLoad(a, p); s[i] = imageLoad(b, p);\n"
		"  imageStore(a, p, r[i].yzwx ^ uvec4(i));\n"
		"  imageStore(b, p, -s[i] + ivec4(p, p.yx));\n"
		"}\n",
		{filled(1, I::StorageImage, I::Rgba32Uint, I::View2D, 4, 4), filled(2, I::StorageImage, I::Rgba32Sint, I::View2D, 4, 4)},
		128, 1,
		[](const std::vector<uint8_t> &out, const std::vector<I> &before, const std::vector<I> &after) {
			EXPECT_EQ(words(out, 5 * 4, 4), texel(before[0], 0, 1, 1));
			EXPECT_EQ(words(out, 64 + 14 * 4, 4), texel(before[1], 0, 2, 3));
			std::vector<uint32_t> a = texel(before[0], 0, 3, 2);
			EXPECT_EQ(texel(after[0], 0, 3, 2), (std::vector<uint32_t>{a[1] ^ 11, a[2] ^ 11, a[3] ^ 11, a[0] ^ 11}));
			EXPECT_EQ(int32_t(texel(after[1], 0, 3, 2)[1]), -int32_t(texel(before[1], 0, 3, 2)[1]) + 2);
		}},
	{"StorageArrayAnd3D",
		"layout(std430, binding = 0) buffer Out { uint r[48]; vec4 f[64]; };\n"
		"layout(binding = 1, r32ui) uniform uimage2DArray a;\n"
		"layout(binding = 2, rgba32f) uniform image3D b;\n"
		"void main() {\n"
		"  ivec2 p = ivec2(gl_LocalInvocationID.xy);\n"
		"  uint i = gl_LocalInvocationIndex;\n"
		"  for (int l = 0; l < 3; l++) {\n"
		"    uvec4 v = imageLoad(a, ivec3(p, l));\n"
		"    r[uint(l) * 16u + i] = v.x + v.w * 1000000u;\n"
		"    imageStore(a, ivec3(p, l), v + uvec4(uint(l) * 1000u));\n"
		"  }\n"
		"  for (int z = 0; z < 4; z++) {\n"
		"    vec4 v = imageLoad(b, ivec3(p, z));\n"
		"    f[uint(z) * 16u + i] = v;\n"
		"    imageStore(b, ivec3(p, z), v.yxwz);\n"
		"  }\n"
		"}\n",
		{filled(1, I::StorageImage, I::R32Uint, I::View2DArray, 4, 4, 3), filled(2, I::StorageImage, I::Rgba32Float, I::View3D, 4, 4, 4)},
		48 + 256, 1,
		[](const std::vector<uint8_t> &out, const std::vector<I> &before, const std::vector<I> &after) {
			for (uint32_t l = 0; l < 3; l++) {
				uint32_t a = texel(before[0], 0, 2, 1, l)[0];
				EXPECT_EQ(words(out, l * 16 + 6, 1)[0], a + 1000000u) << l;
				EXPECT_EQ(texel(after[0], 0, 2, 1, l)[0], a + l * 1000) << l;
			}
			std::vector<uint32_t> b = texel(before[1], 0, 1, 3, 2);
			EXPECT_EQ(words(out, 48 + (2 * 16 + 13) * 4, 4), b);
			EXPECT_EQ(texel(after[1], 0, 1, 3, 2), (std::vector<uint32_t>{b[1], b[0], b[3], b[2]}));
		}},
	{"StorageCube",
		"layout(std430, binding = 0) buffer Out { float r[96]; };\n"
		"layout(binding = 1, r32f) uniform imageCube a;\n"
		"void main() {\n"
		"  ivec2 p = ivec2(gl_LocalInvocationID.xy);\n"
		"  uint i = gl_LocalInvocationIndex;\n"
		"  for (int face = 0; face < 6; face++) {\n"
		"    float v = imageLoad(a, ivec3(p, face)).x;\n"
		"    r[uint(face) * 16u + i] = v;\n"
		"    imageStore(a, ivec3(p, face), vec4(v + float(face)));\n"
		"  }\n"
		"}\n",
		{filled(1, I::StorageImage, I::R32Float, I::ViewCube, 4, 4, 6)}, 96, 1,
		[](const std::vector<uint8_t> &out, const std::vector<I> &before, const std::vector<I> &after) {
			for (uint32_t face = 0; face < 6; face++) {
				uint32_t a = texel(before[0], 0, 3, 2, face)[0];
				EXPECT_EQ(words(out, face * 16 + 11, 1)[0], a) << face;
				EXPECT_EQ(texel(after[0], 0, 3, 2, face)[0], as_word(as_float(a) + float(face))) << face;
			}
		}},
	{"ImageSizes",
		"layout(std430, binding = 0) buffer Out { ivec4 r[5]; };\n"
		"layout(binding = 1, r32ui) uniform readonly uimage2D a;\n"
		"layout(binding = 2, rgba8) uniform readonly image2DArray b;\n"
		"layout(binding = 3, r32f) uniform readonly image3D c;\n"
		"layout(binding = 4, r32i) uniform readonly iimageCube d;\n"
		"layout(binding = 5, r32f) uniform readonly imageBuffer e;\n"
		"void main() {\n"
		"  if (gl_LocalInvocationIndex != 0u) return;\n"
		"  r[0] = ivec4(imageSize(a), 0, 0);\n"
		"  r[1] = ivec4(imageSize(b), 0);\n"
		"  r[2] = ivec4(imageSize(c), 0);\n"
		"  r[3] = ivec4(imageSize(d), 0, 0);\n"
		"  r[4] = ivec4(imageSize(e), 0, 0, 0);\n"
		"}\n",
		{filled(1, I::StorageImage, I::R32Uint, I::View2D, 8, 4), filled(2, I::StorageImage, I::Rgba8Unorm, I::View2DArray, 4, 2, 3),
			filled(3, I::StorageImage, I::R32Float, I::View3D, 4, 2, 2), filled(4, I::StorageImage, I::R32Sint, I::ViewCube, 4, 4, 6),
			filled(5, I::StorageTexelBuffer, I::R32Float, I::View2D, 10)},
		20, 1,
		[](const std::vector<uint8_t> &out, const std::vector<I> &, const std::vector<I> &) {
			EXPECT_EQ(from_bytes<int32_t>(out), (std::vector<int32_t>{8, 4, 0, 0, 4, 2, 3, 0, 4, 2, 2, 0, 4, 4, 0, 0, 10, 0, 0, 0}));
		}},
	{"TexelFetchLevels",
		"layout(std430, binding = 0) buffer Out { vec4 r[32]; vec4 s[32]; };\n"
		"layout(binding = 1) uniform sampler2D a;\n"
		"void main() {\n"
		"  ivec2 p = ivec2(gl_GlobalInvocationID.xy);\n"
		"  int i = p.y * 8 + p.x;\n"
		"  r[i] = texelFetch(a, p, 0);\n"
		"  s[i] = texelFetch(a, p / 2, 1);\n"
		"}\n",
		{filled(1, I::CombinedSampler, I::Rgba32Float, I::View2D, 8, 4, 1, 2)}, 256, 2,
		[](const std::vector<uint8_t> &out, const std::vector<I> &before, const std::vector<I> &after) {
			for (uint32_t i = 0; i < 32; i++) {
				uint32_t x = i % 8, y = i / 8;
				EXPECT_EQ(words(out, i * 4, 4), texel(before[0], 0, x, y)) << i;
				EXPECT_EQ(words(out, 128 + i * 4, 4), texel(before[0], 1, x / 2, y / 2)) << i;
			}
			EXPECT_EQ(after[0].data, before[0].data);
		}},
	{"TexelFetchIntegers",
		"layout(std430, binding = 0) buffer Out { ivec4 r[16]; uvec4 s[16]; };\n"
		"layout(binding = 1) uniform isampler2D a;\n"
		"layout(binding = 2) uniform usampler2D b;\n"
		"void main() {\n"
		"  ivec2 p = ivec2(gl_LocalInvocationID.xy);\n"
		"  uint i = gl_LocalInvocationIndex;\n"
		"  r[i] = texelFetch(a, p.yx, 0);\n"
		"  s[i] = texelFetch(b, p / 2, 1) + texelFetch(b, p, 0) * 0u;\n"
		"}\n",
		{filled(1, I::CombinedSampler, I::R32Sint, I::View2D, 4, 4), filled(2, I::CombinedSampler, I::Rgba32Uint, I::View2D, 4, 4, 1, 2)},
		128, 1,
		[](const std::vector<uint8_t> &out, const std::vector<I> &before, const std::vector<I> &) {
			for (uint32_t i = 0; i < 16; i++) {
				uint32_t x = i % 4, y = i / 4;
				EXPECT_EQ(words(out, i * 4, 4), one(texel(before[0], 0, y, x)[0])) << i;
				EXPECT_EQ(words(out, 64 + i * 4, 4), texel(before[1], 1, x / 2, y / 2)) << i;
			}
		}},
	{"TexelFetchArrayAnd3D",
		"layout(std430, binding = 0) buffer Out { vec4 r[48]; uint s[64]; uint t[16]; };\n"
		"layout(binding = 1) uniform sampler2DArray a;\n"
		"layout(binding = 2) uniform usampler3D b;\n"
		"void main() {\n"
		"  ivec2 p = ivec2(gl_LocalInvocationID.xy);\n"
		"  uint i = gl_LocalInvocationIndex;\n"
		"  for (int l = 0; l < 3; l++) r[uint(l) * 16u + i] = texelFetch(a, ivec3(p, l), 0);\n"
		"  for (int z = 0; z < 4; z++) s[uint(z) * 16u + i] = texelFetch(b, ivec3(p, z), 0).x;\n"
		"  t[i] = texelFetch(b, ivec3(p / 2, p.x / 2), 1).x;\n"
		"}\n",
		{filled(1, I::CombinedSampler, I::Rgba8Unorm, I::View2DArray, 4, 4, 3), filled(2, I::CombinedSampler, I::R32Uint, I::View3D, 4, 4, 4, 2)},
		192 + 64 + 16, 1,
		[](const std::vector<uint8_t> &out, const std::vector<I> &before, const std::vector<I> &) {
			uint32_t a = texel(before[0], 0, 1, 2, 2)[0];
			for (uint32_t k = 0; k < 4; k++) {
				EXPECT_NEAR(as_float(words(out, (2 * 16 + 9) * 4 + k, 1)[0]), ((a >> (8 * k)) & 0xffu) / 255.0f, 1e-6f) << k;
			}
			EXPECT_EQ(words(out, 192 + 3 * 16 + 6, 1)[0], texel(before[1], 0, 2, 1, 3)[0]);
			EXPECT_EQ(words(out, 192 + 64 + 15, 1)[0], texel(before[1], 1, 1, 1, 1)[0]);
		}},
	{"TextureLodNearest",
		"layout(std430, binding = 0) buffer Out { vec4 r[64]; vec4 s[32]; uvec4 u[16]; };\n"
		"layout(binding = 1) uniform sampler2D a;\n"
		"layout(binding = 2) uniform sampler2DArray b;\n"
		"layout(binding = 3) uniform usampler2D c;\n"
		"void main() {\n"
		"  uvec2 q = gl_GlobalInvocationID.xy;\n"
		"  uint i = q.y * 8u + q.x;\n"
		"  r[i] = textureLod(a, (vec2(q) + 0.5) / vec2(8.0, 4.0), 0.0);\n"
		"  r[32u + i] = textureLod(a, (vec2(q / 2u) + 0.5) / vec2(4.0, 2.0), 1.0);\n"
		"  if (q.x < 4u) {\n"
		"    uint k = q.y * 4u + q.x;\n"
		"    s[k] = textureLod(b, vec3((vec2(q) + 0.5) / 4.0, 0.0), 0.0);\n"
		"    s[16u + k] = textureLod(b, vec3((vec2(q / 2u) + 0.5) / 2.0, 1.0), 1.0);\n"
		"    u[k] = textureLod(c, (vec2(q / 2u) + 0.5) / 2.0, 1.0);\n"
		"  }\n"
		"}\n",
		{filled(1, I::CombinedSampler, I::Rgba32Float, I::View2D, 8, 4, 1, 2), filled(2, I::CombinedSampler, I::R32Float, I::View2DArray, 4, 4, 2, 2),
			filled(3, I::CombinedSampler, I::Rgba32Uint, I::View2D, 4, 4, 1, 2)},
		448, 2,
		[](const std::vector<uint8_t> &out, const std::vector<I> &before, const std::vector<I> &) {
			for (uint32_t i = 0; i < 32; i++) {
				uint32_t x = i % 8, y = i / 8;
				EXPECT_EQ(words(out, i * 4, 4), texel(before[0], 0, x, y)) << i;
				EXPECT_EQ(words(out, 128 + i * 4, 4), texel(before[0], 1, x / 2, y / 2)) << i;
			}
			for (uint32_t k = 0; k < 16; k++) {
				uint32_t x = k % 4, y = k / 4;
				EXPECT_EQ(words(out, 256 + k * 4, 4), one(texel(before[1], 0, x, y, 0)[0], float_one)) << k;
				EXPECT_EQ(words(out, 256 + 64 + k * 4, 4), one(texel(before[1], 1, x / 2, y / 2, 1)[0], float_one)) << k;
				EXPECT_EQ(words(out, 384 + k * 4, 4), texel(before[2], 1, x / 2, y / 2)) << k;
			}
		}},
	// texture() takes level 0 where there are no derivatives; offsets move by
	// whole texels (clamped to the edge when sampled); a gather at a texel's
	// centre has that texel last
	{"SamplingForms",
		"layout(std430, binding = 0) buffer Out { vec4 r[32]; vec4 s[32]; vec4 t[32]; vec4 g[32]; vec4 f[32]; };\n"
		"layout(binding = 1) uniform sampler2D a;\n"
		"void main() {\n"
		"  ivec2 p = ivec2(gl_GlobalInvocationID.xy);\n"
		"  int i = p.y * 8 + p.x;\n"
		"  vec2 uv = (vec2(p) + 0.5) / vec2(8.0, 4.0);\n"
		"  r[i] = texture(a, uv);\n"
		"  s[i] = textureLodOffset(a, (vec2(p / 2) + 0.5) / vec2(4.0, 2.0), 1.0, ivec2(1, 0));\n"
		"  t[i] = textureGrad(a, uv, vec2(0.0), vec2(0.0)) + textureProjLod(a, vec3(uv * 2.0, 2.0), 0.0);\n"
		"  g[i] = textureGather(a, uv, 1);\n"
		"  f[i] = texelFetchOffset(a, ivec2(p.x, min(p.y, 2)), 0, ivec2(0, 1));\n"
		"}\n",
		{filled(1, I::CombinedSampler, I::Rgba32Float, I::View2D, 8, 4, 1, 2)}, 640, 2,
		[](const std::vector<uint8_t> &out, const std::vector<I> &before, const std::vector<I> &) {
			for (uint32_t i = 0; i < 32; i++) {
				uint32_t x = i % 8, y = i / 8;
				std::vector<uint32_t> t = texel(before[0], 0, x, y), twice(4);
				for (int k = 0; k < 4; k++) twice[k] = as_word(as_float(t[k]) * 2.0f);
				EXPECT_EQ(words(out, i * 4, 4), t) << i;
				EXPECT_EQ(words(out, 128 + i * 4, 4), texel(before[0], 1, std::min(x / 2 + 1, 3u), y / 2)) << i;
				EXPECT_EQ(words(out, 256 + i * 4, 4), twice) << i;
				EXPECT_EQ(words(out, 384 + i * 4 + 3, 1)[0], t[1]) << i;
				EXPECT_EQ(words(out, 512 + i * 4, 4), texel(before[0], 0, x, std::min(y, 2u) + 1)) << i;
			}
		}},
	// the direction to the centre of each texel of each face of a 2 x 2 cube
	{"TextureLodCube",
		"layout(std430, binding = 0) buffer Out { vec4 r[24]; };\n"
		"layout(binding = 1) uniform samplerCube a;\n"
		"void main() {\n"
		"  uint i = gl_LocalInvocationIndex;\n"
		"  if (i >= 4u) return;\n"
		"  float u = float(i % 2u) - 0.5, v = float(i / 2u) - 0.5;\n"
		"  vec3 d[6] = vec3[6](vec3(1.0, -v, -u), vec3(-1.0, -v, u), vec3(u, 1.0, v), vec3(u, -1.0, -v), vec3(u, -v, 1.0), vec3(-u, -v, -1.0));\n"
		"  for (int f = 0; f < 6; f++) r[f * 4 + int(i)] = textureLod(a, d[f], 0.0);\n"
		"}\n",
		{filled(1, I::CombinedSampler, I::Rgba32Float, I::ViewCube, 2, 2, 6)}, 96, 1,
		[](const std::vector<uint8_t> &out, const std::vector<I> &before, const std::vector<I> &) {
			for (uint32_t f = 0; f < 6; f++) {
				for (uint32_t i = 0; i < 4; i++) EXPECT_EQ(words(out, (f * 4 + i) * 4, 4), texel(before[0], 0, i % 2, i / 2, f)) << f << " " << i;
			}
		}},
	{"TextureSizes",
		"layout(std430, binding = 0) buffer Out { ivec4 r[6]; };\n"
		"layout(binding = 1) uniform sampler2D a;\n"
		"layout(binding = 2) uniform sampler2DArray b;\n"
		"layout(binding = 3) uniform sampler3D c;\n"
		"layout(binding = 4) uniform samplerCube d;\n"
		"layout(binding = 5) uniform isampler2D e;\n"
		"layout(binding = 6) uniform usampler2D f;\n"
		"layout(binding = 7) uniform samplerBuffer g;\n"
		"void main() {\n"
		"  if (gl_LocalInvocationIndex != 0u) return;\n"
		"  r[0] = ivec4(textureSize(a, 0), textureSize(a, 1));\n"
		"  r[1] = ivec4(textureSize(b, 1), textureSize(g));\n"
		"  r[2] = ivec4(textureSize(c, 1), 0);\n"
		"  r[3] = ivec4(textureSize(d, 1), textureSize(e, 0));\n"
		"  r[4] = ivec4(textureSize(f, 2), textureSize(f, 1));\n"
		"}\n",
		{filled(1, I::CombinedSampler, I::Rgba32Float, I::View2D, 8, 4, 1, 2), filled(2, I::CombinedSampler, I::Rgba8Unorm, I::View2DArray, 4, 4, 3, 2),
			filled(3, I::CombinedSampler, I::R32Float, I::View3D, 4, 4, 2, 2), filled(4, I::CombinedSampler, I::R32Float, I::ViewCube, 4, 4, 6, 2),
			filled(5, I::CombinedSampler, I::R32Sint, I::View2D, 2, 2), filled(6, I::CombinedSampler, I::R32Uint, I::View2D, 8, 8, 1, 3),
			filled(7, I::UniformTexelBuffer, I::Rgba32Float, I::View2D, 12)},
		20, 1,
		[](const std::vector<uint8_t> &out, const std::vector<I> &, const std::vector<I> &) {
			EXPECT_EQ(from_bytes<int32_t>(out), (std::vector<int32_t>{8, 4, 4, 2, 2, 2, 3, 12, 2, 2, 1, 0, 2, 2, 2, 2, 2, 2, 4, 4}));
		}},
	{"TextureQueryLevels",
		"layout(std430, binding = 0) buffer Out { ivec4 r; };\n"
		"layout(binding = 1) uniform sampler2D a;\n"
		"layout(binding = 2) uniform sampler2DArray b;\n"
		"layout(binding = 3) uniform usampler3D c;\n"
		"layout(binding = 4) uniform samplerCube d;\n"
		"void main() {\n"
		"  if (gl_LocalInvocationIndex == 0u) r = ivec4(textureQueryLevels(a), textureQueryLevels(b), textureQueryLevels(c), textureQueryLevels(d));\n"
		"}\n",
		{filled(1, I::CombinedSampler, I::Rgba32Float, I::View2D, 8, 4, 1, 2), filled(2, I::CombinedSampler, I::Rgba8Unorm, I::View2DArray, 4, 4, 3, 3),
			filled(3, I::CombinedSampler, I::R32Uint, I::View3D, 4, 4, 2), filled(4, I::CombinedSampler, I::R32Float, I::ViewCube, 8, 8, 6, 4)},
		4, 1,
		[](const std::vector<uint8_t> &out, const std::vector<I> &, const std::vector<I> &) {
			EXPECT_EQ(from_bytes<int32_t>(out), (std::vector<int32_t>{2, 3, 1, 4}));
		},
		// this compiler takes no textureQueryLevels: refused by name
		"this compiler: unknown function \"textureQueryLevels\""},
	{"TexelBuffers",
		"layout(std430, binding = 0) buffer Out { vec4 r[16]; uvec4 u[16]; };\n"
		"layout(binding = 1) uniform samplerBuffer a;\n"
		"layout(binding = 2, r32ui) uniform uimageBuffer b;\n"
		"void main() {\n"
		"  int i = int(gl_LocalInvocationIndex);\n"
		"  r[i] = texelFetch(a, 15 - i);\n"
		"  uvec4 x = imageLoad(b, i);\n"
		"  u[i] = x;\n"
		"  imageStore(b, i, x * 2u + uint(i));\n"
		"}\n",
		{filled(1, I::UniformTexelBuffer, I::R32Float, I::View2D, 16), filled(2, I::StorageTexelBuffer, I::R32Uint, I::View2D, 16)},
		128, 1,
		[](const std::vector<uint8_t> &out, const std::vector<I> &before, const std::vector<I> &after) {
			for (uint32_t i = 0; i < 16; i++) {
				EXPECT_EQ(words(out, i * 4, 4), one(texel(before[0], 0, 15 - i, 0)[0], float_one)) << i;
				uint32_t b = texel(before[1], 0, i, 0)[0];
				EXPECT_EQ(words(out, 64 + i * 4, 4), one(b)) << i;
				EXPECT_EQ(texel(after[1], 0, i, 0)[0], b * 2 + i) << i;
			}
		}},
	// results that don't depend on the order the invocations come in
	{"ImageAtomics",
		"layout(std430, binding = 0) buffer Out { uint r[16]; int s[16]; };\n"
		"layout(binding = 1, r32ui) uniform uimage2D a;\n"
		"layout(binding = 2, r32i) uniform iimage2D b;\n"
		"void main() {\n"
		"  ivec2 p = ivec2(gl_LocalInvocationID.xy);\n"
		"  uint i = gl_LocalInvocationIndex;\n"
		"  imageAtomicAdd(a, ivec2(0, 0), i);\n"
		"  imageAtomicMax(a, ivec2(1, 0), i * 7000u);\n"
		"  imageAtomicOr(a, ivec2(2, 0), 1u << (i + 16u));\n"
		"  imageAtomicXor(a, ivec2(3, 0), i + 1u);\n"
		"  imageAtomicMin(b, ivec2(0, 0), -int(i) * 100);\n"
		"  imageAtomicAnd(b, ivec2(1, 0), ~(1 << i));\n"
		"  if (p.y > 0) {\n"
		"    r[i] = imageAtomicCompSwap(a, p, imageLoad(a, p).x, i + 100u);\n"
		"    s[i] = imageAtomicExchange(b, p, int(i) - 50);\n"
		"  }\n"
		"}\n",
		{filled(1, I::StorageImage, I::R32Uint, I::View2D, 4, 4), filled(2, I::StorageImage, I::R32Sint, I::View2D, 4, 4)}, 32, 1,
		[](const std::vector<uint8_t> &out, const std::vector<I> &before, const std::vector<I> &after) {
			EXPECT_EQ(texel(after[0], 0, 0, 0)[0], texel(before[0], 0, 0, 0)[0] + 120);
			EXPECT_EQ(texel(after[0], 0, 2, 0)[0], texel(before[0], 0, 2, 0)[0] | 0xffff0000u);
			EXPECT_EQ(texel(after[0], 0, 3, 0)[0], texel(before[0], 0, 3, 0)[0] ^ 16u);
			EXPECT_EQ(int32_t(texel(after[1], 0, 0, 0)[0]), std::min(int32_t(texel(before[1], 0, 0, 0)[0]), -1500));
			for (uint32_t i = 4; i < 16; i++) {
				EXPECT_EQ(words(out, i, 1)[0], texel(before[0], 0, i % 4, i / 4)[0]) << i;
				EXPECT_EQ(texel(after[0], 0, i % 4, i / 4)[0], i + 100) << i;
				EXPECT_EQ(int32_t(texel(after[1], 0, i % 4, i / 4)[0]), int32_t(i) - 50) << i;
			}
		}},
};

// the first differences of two byte vectors, as words
void compare(const char *name, const std::string &what, const std::vector<uint8_t> &mine, const std::vector<uint8_t> &theirs) {
	ASSERT_EQ(mine.size(), theirs.size()) << name << ": " << what;
	std::vector<uint32_t> a = from_bytes<uint32_t>(mine), b = from_bytes<uint32_t>(theirs);
	uint32_t reported = 0;
	for (size_t w = 0; w < a.size() && reported < 5; w++) {
		if (a[w] != b[w]) {
			ADD_FAILURE() << name << ": " << what << " word " << w << ": 0x" << std::hex << a[w] << " != reference 0x" << b[w];
			reported++;
		}
	}
}

} // namespace

TEST(ComputeImages, SameBuffersAndImagesAsTheReference) {
	std::string why;
	if (!compute_available(&why)) GTEST_SKIP() << why;
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		std::string source = std::string(header) + c.source;
		std::string errors;
		std::vector<uint32_t> reference = reference_spirv(source, &errors);
		ASSERT_FALSE(reference.empty()) << c.name << "\n" << errors;
		if (c.pending != nullptr) {
			// until this compiler takes it, the refusal is the one expected
			std::vector<uint32_t> module = own_spirv(source, &errors);
			EXPECT_TRUE(module.empty()) << c.name << ": compiled now; compare it with the reference";
			EXPECT_NE(errors.find(std::string(c.pending).substr(std::string("this compiler: ").size())), std::string::npos) << errors;
			std::vector<std::vector<uint8_t>> outputs = {std::vector<uint8_t>(c.out_words * 4, 0)};
			std::vector<I> images = c.images;
			ASSERT_TRUE(run_compute(reference, outputs, images, c.groups_x, 1, 1, &errors)) << c.name << ": " << errors;
			c.known(outputs[0], c.images, images);
			continue;
		}
		std::vector<uint32_t> module = own_spirv(source, &errors);
		if (module.empty()) {
			ADD_FAILURE() << c.name << ": this compiler refused it:\n" << errors;
			continue;
		}
		if (listing_test::render(reference).ok) listing_test::expect_rendered(listing_test::render(module), c.name);

		std::vector<std::vector<uint8_t>> outputs[2];
		std::vector<I> images[2];
		const std::vector<uint32_t> *modules[2] = {&module, &reference};
		bool ran = true;
		for (int run = 0; run < 2 && ran; run++) {
			outputs[run] = {std::vector<uint8_t>(c.out_words * 4, 0)};
			images[run] = c.images;
			ran = run_compute(*modules[run], outputs[run], images[run], c.groups_x, 1, 1, &errors);
			ASSERT_TRUE(ran || run == 0) << c.name << ": the reference's module: " << errors;
			if (!ran) {
				ADD_FAILURE() << c.name << ": this compiler's module: " << errors;
				break;
			}
			SCOPED_TRACE(run == 0 ? "this compiler's module" : "the reference's module");
			c.known(outputs[run][0], c.images, images[run]);
		}
		if (!ran) continue;
		compare(c.name, "the output buffer", outputs[0][0], outputs[1][0]);
		for (size_t j = 0; j < c.images.size(); j++) {
			compare(c.name, "the image at binding " + std::to_string(c.images[j].binding), images[0][j].data, images[1][j].data);
		}
	}
}
