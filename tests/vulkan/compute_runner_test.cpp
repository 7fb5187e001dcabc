// The compute runner, on modules of the reference compiler: what the shaders
// compute must be what the same arithmetic gives here, in every buffer, over
// every work group; push constants, uniform buffers and specialization
// constants must reach the shader; and a module that can't run, or images
// that don't fit it, the run or the device, must come back as a message, with
// the device still usable after it. What images hold is checked by
// compute_images_test, on the reference's modules as on this compiler's.
#include "vulkan/compute_runner.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace vulkan_test;

namespace {

bool have_tool(const char *name) {
	std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
	return std::system(command.c_str()) == 0;
}

// skips the test without a device or without the reference compiler
#define REQUIRE_COMPUTE() \
	do { \
		std::string why_; \
		if (!compute_available(&why_)) GTEST_SKIP() << why_; \
		if (!have_tool("glslangValidator")) GTEST_SKIP() << "no glslangValidator"; \
	} while (0)

std::vector<uint32_t> reference(const std::string &source, const std::string &arguments = "") {
	std::string error;
	std::vector<uint32_t> ret = reference_spirv(source, &error, arguments);
	EXPECT_FALSE(ret.empty()) << error;
	return ret;
}

const char *const add_index =
	"#version 450\n"
	"layout(local_size_x = 64) in;\n"
	"layout(std430, binding = 0) readonly buffer In { uint data[]; } a;\n"
	"layout(std430, binding = 1) buffer Out { uint data[]; } b;\n"
	"void main() {\n"
	"	uint i = gl_GlobalInvocationID.x;\n"
	"	b.data[i] = i * 3u + a.data[i];\n"
	"}\n";

} // namespace

TEST(ComputeRunner, EveryInvocationWritesWhatTheShaderComputes) {
	REQUIRE_COMPUTE();
	std::vector<uint32_t> module = reference(add_index);
	// 4 groups of 64: the last 44 words of the output are past every invocation
	const uint32_t invocations = 256, size = 300, untouched = 0xdeadbeefu;
	std::vector<uint32_t> input(size);
	for (uint32_t i = 0; i < size; i++) input[i] = i * 2654435761u; // wraps
	std::vector<std::vector<uint8_t>> buffers = {to_bytes(input), to_bytes(std::vector<uint32_t>(size, untouched))};
	std::string error;
	ASSERT_TRUE(run_compute(module, buffers, 4, 1, 1, &error)) << error;
	EXPECT_EQ(from_bytes<uint32_t>(buffers[0]), input);
	std::vector<uint32_t> expected(size, untouched);
	for (uint32_t i = 0; i < invocations; i++) expected[i] = i * 3u + input[i];
	EXPECT_EQ(from_bytes<uint32_t>(buffers[1]), expected);

	// the same module runs again with other inputs: nothing of the last run is kept
	buffers = {to_bytes(std::vector<uint32_t>(size, 1)), to_bytes(std::vector<uint32_t>(size, 0))};
	ASSERT_TRUE(run_compute(module, buffers, 1, 1, 1, &error)) << error;
	std::vector<uint32_t> out = from_bytes<uint32_t>(buffers[1]);
	for (uint32_t i = 0; i < size; i++) ASSERT_EQ(out[i], i < 64 ? i * 3u + 1 : 0u) << "index " << i;
}

TEST(ComputeRunner, GroupsSpanAllThreeDimensions) {
	REQUIRE_COMPUTE();
	std::vector<uint32_t> module = reference(
		"#version 450\n"
		"layout(local_size_x = 4, local_size_y = 2, local_size_z = 1) in;\n"
		"layout(std430, binding = 0) buffer Out { uint data[]; } o;\n"
		"void main() {\n"
		"	uvec3 size = gl_NumWorkGroups * gl_WorkGroupSize;\n"
		"	uvec3 id = gl_GlobalInvocationID;\n"
		"	uint index = (id.z * size.y + id.y) * size.x + id.x;\n"
		"	o.data[index] = id.x | (id.y << 8) | (id.z << 16) | (gl_LocalInvocationIndex << 24);\n"
		"}\n");
	const uint32_t groups[3] = {3, 2, 5};
	const uint32_t local[3] = {4, 2, 1};
	const uint32_t sx = groups[0] * local[0], sy = groups[1] * local[1], sz = groups[2] * local[2];
	std::vector<std::vector<uint8_t>> buffers = {to_bytes(std::vector<uint32_t>(sx * sy * sz, ~0u))};
	std::string error;
	ASSERT_TRUE(run_compute(module, buffers, groups[0], groups[1], groups[2], &error)) << error;
	std::vector<uint32_t> out = from_bytes<uint32_t>(buffers[0]);
	for (uint32_t z = 0; z < sz; z++) {
		for (uint32_t y = 0; y < sy; y++) {
			for (uint32_t x = 0; x < sx; x++) {
				uint32_t local_index = (y % local[1]) * local[0] + x % local[0];
				uint32_t expected = x | (y << 8) | (z << 16) | (local_index << 24);
				ASSERT_EQ(out[(z * sy + y) * sx + x], expected) << x << "," << y << "," << z;
			}
		}
	}
}

TEST(ComputeRunner, PushConstantsUniformsAndSpecializationReachTheShader) {
	REQUIRE_COMPUTE();
	std::vector<uint32_t> module = reference(
		"#version 450\n"
		"layout(local_size_x = 16) in;\n"
		"layout(constant_id = 3) const uint factor = 1u;\n"
		"layout(constant_id = 5) const bool negate = false;\n"
		"layout(push_constant) uniform P { uint add; uint shift; } p;\n"
		"layout(std140, binding = 0) uniform U { vec4 scale; int bias; } u;\n"
		"layout(std430, binding = 1) buffer B { int data[]; } b;\n"
		"void main() {\n"
		"	uint i = gl_GlobalInvocationID.x;\n"
		"	int v = b.data[i] * int(factor) + int(p.add << p.shift) + int(u.scale.z) + u.bias;\n"
		"	b.data[i] = negate ? -v : v;\n"
		"}\n");
	// the uniform block, laid out by std140: vec4 at 0, int at 16
	std::vector<uint8_t> uniform(32, 0);
	const float scale[4] = {1.0f, 2.0f, -40.0f, 8.0f};
	const int32_t bias = 1000;
	std::memcpy(uniform.data(), scale, sizeof(scale));
	std::memcpy(uniform.data() + 16, &bias, sizeof(bias));
	std::vector<int32_t> data(32);
	for (int32_t i = 0; i < 32; i++) data[i] = i - 7;

	struct Case {
		const char *name;
		uint32_t factor;
		bool set_factor;
		uint32_t negate;
		bool set_negate;
	};
	const Case cases[] = {
		{"defaults", 1, false, 0, false},
		{"factor", 7, true, 0, false},
		{"factor and negate", 7, true, 1, true},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		ComputeOptions options;
		options.uniform_bindings = {0};
		options.push_constants = to_bytes(std::vector<uint32_t>{5, 2});
		if (c.set_factor) options.specialization[3] = to_bytes(std::vector<uint32_t>{c.factor});
		if (c.set_negate) options.specialization[5] = to_bytes(std::vector<uint32_t>{c.negate});
		std::vector<std::vector<uint8_t>> buffers = {uniform, to_bytes(data)};
		std::string error;
		ASSERT_TRUE(run_compute(module, buffers, 2, 1, 1, &error, options)) << error;
		EXPECT_EQ(buffers[0], uniform);
		std::vector<int32_t> out = from_bytes<int32_t>(buffers[1]);
		for (int32_t i = 0; i < 32; i++) {
			int32_t v = data[i] * static_cast<int32_t>(c.factor) + (5 << 2) - 40 + 1000;
			EXPECT_EQ(out[i], c.negate ? -v : v) << "index " << i;
		}
	}
}

TEST(ComputeRunner, SixtyFourBitIntegersAndDoubles) {
	REQUIRE_COMPUTE();
	if (!compute_device().int64 || !compute_device().float64) GTEST_SKIP() << compute_device().name << " has no 64-bit types";
	std::vector<uint32_t> module = reference(
		"#version 450\n"
		"#extension GL_ARB_gpu_shader_int64 : require\n"
		"layout(local_size_x = 8) in;\n"
		"layout(std430, binding = 0) readonly buffer In { uint64_t a[]; } i;\n"
		"layout(std430, binding = 1) buffer Out { uint64_t product[]; } o;\n"
		"layout(std430, binding = 2) buffer D { double d[]; } d;\n"
		"void main() {\n"
		"	uint k = gl_GlobalInvocationID.x;\n"
		"	o.product[k] = i.a[k] * 0x9e3779b97f4a7c15ul + (uint64_t(k) << 40);\n"
		"	d.d[k] = double(i.a[k] >> 11) / 3.0 + d.d[k];\n"
		"}\n");
	const uint32_t n = 24;
	std::vector<uint64_t> a(n);
	std::vector<double> d(n);
	for (uint32_t k = 0; k < n; k++) {
		a[k] = 0xfedcba9876543210ull * (k + 1) + k;
		d[k] = 0.1 * k - 1.0;
	}
	std::vector<std::vector<uint8_t>> buffers = {to_bytes(a), to_bytes(std::vector<uint64_t>(n, 0)), to_bytes(d)};
	std::string error;
	ASSERT_TRUE(run_compute(module, buffers, n / 8, 1, 1, &error)) << error;
	std::vector<uint64_t> product = from_bytes<uint64_t>(buffers[1]);
	std::vector<double> doubles(n);
	for (uint32_t k = 0; k < n; k++) {
		EXPECT_EQ(product[k], a[k] * 0x9e3779b97f4a7c15ull + (static_cast<uint64_t>(k) << 40)) << "index " << k;
		doubles[k] = static_cast<double>(a[k] >> 11) / 3.0 + d[k];
	}
	// the doubles bit for bit: one correctly rounded division and addition each
	EXPECT_EQ(buffers[2], to_bytes(doubles));
}

TEST(ComputeRunner, ModulesThatCantRunAreRefusedWithAMessage) {
	REQUIRE_COMPUTE();
	std::vector<uint32_t> good = reference(add_index);
	ASSERT_GT(good.size(), 5u);
	std::vector<uint32_t> push = reference(
		"#version 450\nlayout(local_size_x = 1) in;\n"
		"layout(push_constant) uniform P { uint v; } p;\n"
		"layout(std430, binding = 0) buffer B { uint data[]; } b;\n"
		"void main() { b.data[0] = p.v; }\n");
	std::vector<uint32_t> image = reference(
		"#version 450\nlayout(local_size_x = 1) in;\n"
		"layout(binding = 0, r32ui) uniform uimage2D img;\n"
		"void main() { imageStore(img, ivec2(0), uvec4(1)); }\n");
	// images the runner has no descriptors for
	std::vector<uint32_t> separate = reference(
		"#version 450\nlayout(local_size_x = 1) in;\n"
		"layout(binding = 0) uniform texture2D t;\nlayout(binding = 1) uniform sampler s;\n"
		"layout(std430, binding = 2) buffer B { vec4 v; };\n"
		"void main() { v = textureLod(sampler2D(t, s), vec2(0.5), 0.0); }\n");
	std::vector<uint32_t> shadow = reference(
		"#version 450\nlayout(local_size_x = 1) in;\n"
		"layout(binding = 0) uniform sampler2DShadow s;\n"
		"layout(std430, binding = 1) buffer B { float v; };\n"
		"void main() { v = textureLod(s, vec3(0.5), 0.0); }\n");
	std::vector<uint32_t> image_array = reference(
		"#version 450\nlayout(local_size_x = 1) in;\n"
		"layout(binding = 0, r32ui) uniform uimage2D imgs[2];\n"
		"void main() { imageStore(imgs[1], ivec2(0), uvec4(1)); }\n");

	// the last instruction's word count runs past the end
	std::vector<uint32_t> overrun = good;
	size_t last = 5;
	for (size_t i = 5; i < overrun.size(); i += overrun[i] >> 16) last = i;
	overrun[last] = (0xffffu << 16) | (overrun[last] & 0xffffu);
	// an OpStore whose pointer is an id past the module's bound: spirv-val
	// refuses it, and without it the driver's pipeline creation does
	std::vector<uint32_t> bad_id = good;
	bool patched = false;
	for (size_t i = 5; i < bad_id.size() && !patched; i += bad_id[i] >> 16) {
		if ((bad_id[i] & 0xffffu) == 62 /* OpStore */) {
			bad_id[i + 1] = bad_id[3] + 100;
			patched = true;
		}
	}
	ASSERT_TRUE(patched);

	ComputeOptions defaults;
	ComputeOptions other_entry;
	other_entry.entry = "other";
	ComputeOptions uniform;
	uniform.uniform_bindings = {1};
	ComputeOptions unchecked;
	unchecked.validate = false;
	ComputeOptions far_uniform;
	far_uniform.uniform_bindings = {7};
	ComputeOptions odd_constant;
	odd_constant.specialization[0] = {1, 2, 3};

	// the image that `image` stores to, and images that don't fit it or the run
	using I = ComputeImage;
	const I storage = blank_image(0, I::StorageImage, I::R32Uint, I::View2D, 4, 4);
	I short_data = storage;
	short_data.data.pop_back();
	I float_texels = storage;
	float_texels.format = I::R32Float;
	I wider_texels = blank_image(0, I::StorageImage, I::Rgba32Uint, I::View2D, 4, 4);
	I array_view = blank_image(0, I::StorageImage, I::R32Uint, I::View2DArray, 4, 4, 2);
	I sampled = blank_image(0, I::CombinedSampler, I::R32Uint, I::View2D, 4, 4);
	I two_levels = blank_image(0, I::StorageImage, I::R32Uint, I::View2D, 4, 4, 1, 2);
	I many_levels = blank_image(3, I::CombinedSampler, I::R32Float, I::View2D, 4, 4, 1, 4);
	I flat_cube = blank_image(3, I::CombinedSampler, I::R32Float, I::ViewCube, 4, 2, 6);
	I layered_2d = blank_image(3, I::StorageImage, I::R32Float, I::View2D, 4, 4, 2);
	I tall_texel_buffer = blank_image(3, I::UniformTexelBuffer, I::R32Float, I::View2D, 4, 2);
	I unknown_format = storage;
	unknown_format.format = static_cast<I::Format>(99);
	// more layers than the device has: a storage image at a binding the module doesn't use
	I deep_array = blank_image(3, I::StorageImage, I::R32Uint, I::View2DArray, 1, 1, 1u << 16);

	struct Case {
		const char *name;
		std::vector<uint32_t> module;
		size_t buffer_count;
		uint32_t groups_x;
		const ComputeOptions *options;
		const char *message;
		std::vector<ComputeImage> images = {};
	};
	const Case cases[] = {
		{"empty", {}, 2, 1, &defaults, "not a SPIR-V module"},
		{"not SPIR-V", {1, 2, 3, 4, 5, 6}, 2, 1, &defaults, "magic number"},
		{"overrun", overrun, 2, 1, &defaults, "runs past the end"},
		{"no such entry point", good, 2, 1, &other_entry, "no compute entry point named 'other'"},
		{"binding without a buffer", good, 1, 1, &defaults, "set 0 binding 1"},
		{"storage buffer given as uniform", good, 2, 1, &uniform, "is a storage buffer"},
		{"uniform binding without a buffer", good, 2, 1, &far_uniform, "uniform binding 7"},
		{"push constants not given", push, 1, 1, &defaults, "push constants"},
		{"image where a buffer is given", image, 1, 1, &defaults, "is a storage image, and the run's a storage buffer"},
		{"image not given", image, 0, 1, &defaults, "binds a storage image at set 0 binding 0"},
		{"sampled image where a storage image is bound", image, 0, 1, &defaults, "and the run's a sampled image", {sampled}},
		{"binding of a buffer and an image", good, 2, 1, &defaults, "binding 1 is given twice", {blank_image(1, I::StorageImage, I::R32Uint, I::View2D, 4, 4)}},
		{"binding of two images", image, 0, 1, &defaults, "binding 0 is given twice: to two images", {storage, storage}},
		{"data short of the extent", image, 0, 1, &defaults, "has 63 bytes of data, and its extent and levels 64", {short_data}},
		{"texels of another kind", image, 0, 1, &defaults, "reads unsigned integers, and the run's format R32Float holds floats", {float_texels}},
		{"another format", image, 0, 1, &defaults, "SPIR-V image format 33, and the run's of Rgba32Uint", {wider_texels}},
		{"another view", image, 0, 1, &defaults, "is a 2D image, and the run's a 2D array one", {array_view}},
		{"storage image of two levels", image, 0, 1, &defaults, "a storage image has one", {two_levels}},
		{"levels past the extent", image, 0, 1, &defaults, "has 4 levels, and its extent 3", {storage, many_levels}},
		{"cube of faces not square", image, 0, 1, &defaults, "a cube has 6 square faces", {storage, flat_cube}},
		{"2D image of layers", image, 0, 1, &defaults, "a 2D image has one", {storage, layered_2d}},
		{"texel buffer of rows", image, 0, 1, &defaults, "of height, depth and levels 1", {storage, tall_texel_buffer}},
		{"format of no name", image, 0, 1, &defaults, "none the runner has", {unknown_format}},
		{"more layers than the device has", image, 0, 1, &defaults, "over the device's largest", {storage, deep_array}},
		{"separate sampler and texture", separate, 1, 1, &defaults, "binds samplers with their images only"},
		{"depth comparison", shadow, 1, 1, &defaults, "depth image"},
		{"array of images", image_array, 0, 1, &defaults, "array of images"},
		{"spirv-val refuses", bad_id, 2, 1, &defaults, "spirv-val"},
		{"driver refuses", bad_id, 2, 1, &unchecked, "vkCreateComputePipelines"},
		{"too many groups", good, 2, 0xffffffffu, &defaults, "over the device's"},
		{"specialization constant of 3 bytes", good, 2, 1, &odd_constant, "has 3 bytes"},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		if (std::string(c.message) == "spirv-val" && !have_tool("spirv-val")) continue;
		std::vector<std::vector<uint8_t>> buffers(c.buffer_count, std::vector<uint8_t>(64 * 4, 0x5a));
		std::vector<std::vector<uint8_t>> before = buffers;
		std::vector<ComputeImage> images = c.images;
		std::string error;
		EXPECT_FALSE(run_compute(c.module, buffers, images, c.groups_x, 1, 1, &error, *c.options));
		EXPECT_NE(error.find(c.message), std::string::npos) << error;
		EXPECT_EQ(buffers, before) << "a refused run left the buffers changed";
		for (size_t j = 0; j < images.size(); j++) EXPECT_EQ(images[j].data, c.images[j].data) << "image " << j;
	}

	// the device is whole after all of them
	std::vector<std::vector<uint8_t>> buffers = {to_bytes(std::vector<uint32_t>(64, 1)), to_bytes(std::vector<uint32_t>(64, 0))};
	std::string error;
	ASSERT_TRUE(run_compute(good, buffers, 1, 1, 1, &error)) << error;
	EXPECT_EQ(from_bytes<uint32_t>(buffers[1])[63], 63u * 3 + 1);
	// and a module that binds nothing runs without buffers
	std::vector<std::vector<uint8_t>> none;
	ASSERT_TRUE(run_compute(reference("#version 450\nlayout(local_size_x = 1) in;\nvoid main() {}\n"), none, 1, 1, 1, &error)) << error;
}

TEST(ComputeRunner, ReferenceCompilerErrorsComeBackAsMessages) {
	if (!have_tool("glslangValidator")) GTEST_SKIP() << "no glslangValidator";
	std::string error;
	std::vector<uint32_t> module = reference_spirv("#version 450\nvoid main() { undeclared = 1; }\n", &error);
	EXPECT_TRUE(module.empty());
	EXPECT_NE(error.find("glslangValidator failed"), std::string::npos) << error;
	EXPECT_NE(error.find("undeclared"), std::string::npos) << error;

	// a good one gives words that start with the magic number
	module = reference_spirv(add_index, &error);
	ASSERT_FALSE(module.empty()) << error;
	EXPECT_EQ(module[0], 0x07230203u);
}
