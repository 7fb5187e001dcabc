// Runs compute shaders on the CPU Vulkan device, so that tests can compare
// what two modules of the same shader compute (ours and the reference
// compiler's) on the same input buffers and images, byte for byte.
//
// The resources are the descriptors of set 0. Buffer i is at binding i, a
// storage buffer unless ComputeOptions names it a uniform buffer. Images
// (ComputeImage) name their bindings, which must be free of buffers and of
// each other: storage images, images with a sampler of their own (nearest
// filtering and mipmap selection, clamp to the edge), and uniform or storage
// texel buffers. Every buffer and every image is read back after the
// dispatch, into the same vector it was given in; a run that fails leaves
// them as they were. The instance and the device are made once per process,
// on first use, and released at exit; the objects of a run are made for it
// and released after it.
//
// Nothing here ends the process: a missing device, a module that the checks
// or the driver refuse, a resource that the module binds in another kind than
// the run gives, an image whose data does not fill its extent or whose format
// the device can't use that way, a dispatch that fails, all come back as
// false with a message. Modules are checked before the driver sees them
// (their words, the resources they bind against the ones given, and
// spirv-val when installed), because a module that breaks the API's rules may
// crash the driver instead of failing.
//
// Built without Vulkan, compute_available() is false with the reason, and so
// is every run: tests call compute_available() first and skip.
//
// Tests that use the runner live under tests/vulkan/, the ones it is linked to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace vulkan_test {

struct ComputeOptions {
	std::string entry = "main";
	// the push constants, at offset 0; empty when the module reads none
	std::vector<uint8_t> push_constants;
	// specialization constant id -> the bytes of its value (4 for a bool)
	std::map<uint32_t, std::vector<uint8_t>> specialization;
	// the bindings that are uniform buffers; the others are storage buffers
	std::vector<uint32_t> uniform_bindings;
	// run spirv-val on the module first (when it is installed)
	bool validate = true;
	// more arguments for spirv-val, e.g. "--scalar-block-layout"
	std::string validator_arguments;
};

// An image of a run, or a texel buffer.
//
// `data` holds every texel of every level and layer, tightly packed: level 0
// first, then level 1, and so on; within a level, layer 0 first (the faces of
// a cube in the order +X, -X, +Y, -Y, +Z, -Z; the slices of a 3D image, z = 0
// first); within a layer, row y = 0 first; within a row, x = 0 first; a texel
// is its components in RGBA order, each of the format's size. Level l is
// max(1, width >> l) by max(1, height >> l) texels, and for a 3D image
// max(1, depth_or_layers >> l) slices deep; arrays and cubes keep their
// depth_or_layers layers at every level. image_bytes() is the size `data`
// must have, image_level_offset() where a level starts in it.
struct ComputeImage {
	// (of a fixed type, so that a value outside them is an error message, not undefined)
	enum Kind : uint32_t {
		StorageImage, // imageLoad, imageStore, image atomics; GENERAL layout; one level
		CombinedSampler, // texture*, texelFetch: nearest filtering, nearest level, clamp to the edge
		UniformTexelBuffer, // samplerBuffer: width texels; no height, layers or levels
		StorageTexelBuffer, // imageBuffer: the same
	};
	enum Format : uint32_t { R32Uint, R32Sint, R32Float, Rgba32Float, Rgba32Uint, Rgba32Sint, Rgba8Unorm, Rgba16Float };
	// how the shader sees an image (texel buffers are not read)
	enum View : uint32_t { View2D, View2DArray, View3D, ViewCube };

	uint32_t binding = 0;
	Kind kind = StorageImage;
	Format format = R32Uint;
	View view = View2D;
	uint32_t width = 1;
	uint32_t height = 1; // 1 for a texel buffer
	uint32_t depth_or_layers = 1; // the depth of a 3D image, the layers of an array, 6 for a cube
	uint32_t levels = 1;
	std::vector<uint8_t> data;
};

// the bytes of one texel of the format
size_t texel_bytes(ComputeImage::Format format);
// the bytes of the image's data: all its levels and layers
size_t image_bytes(const ComputeImage &image);
// where level `level` starts in the image's data
size_t image_level_offset(const ComputeImage &image, uint32_t level);

// an image of the shape, its data all zeros
inline ComputeImage blank_image(uint32_t binding, ComputeImage::Kind kind, ComputeImage::Format format,
	ComputeImage::View view, uint32_t width, uint32_t height = 1, uint32_t depth_or_layers = 1, uint32_t levels = 1) {
	ComputeImage ret;
	ret.binding = binding;
	ret.kind = kind;
	ret.format = format;
	ret.view = view;
	ret.width = width;
	ret.height = height;
	ret.depth_or_layers = depth_or_layers;
	ret.levels = levels;
	ret.data.assign(image_bytes(ret), 0);
	return ret;
}

// what the device is and supports (meaningful once compute_available() holds)
struct ComputeDevice {
	std::string name;
	uint32_t api_version = 0; // the version the runner uses: the device's and the instance's lower
	bool int64 = false;
	bool float64 = false;
	bool int16 = false;
	bool float16 = false;
	bool int8 = false;
	bool storage_16bit = false; // 16-bit types in storage buffers
	bool storage_8bit = false;
	// the subgroups of compute shaders: their size, and the operations they
	// support (SubgroupBasic | SubgroupVote | ...), none when the device has
	// no subgroups in compute shaders or is older than 1.1
	uint32_t subgroup_size = 0;
	uint32_t subgroup_operations = 0;
	enum SubgroupOperation : uint32_t {
		SubgroupBasic = 1,
		SubgroupVote = 2,
		SubgroupArithmetic = 4,
		SubgroupBallot = 8,
		SubgroupShuffle = 16,
		SubgroupShuffleRelative = 32,
		SubgroupClustered = 64,
		SubgroupQuad = 128,
	};
};

// Whether a CPU Vulkan device can run shaders here; the reason when not.
bool compute_available(std::string *why);
const ComputeDevice &compute_device();

// Runs the module's compute entry point in groups_x * groups_y * groups_z
// work groups over the buffers and images, and reads every buffer and image
// back into its vector. False with the message in *error (when given) on any
// failure.
bool run_compute(const std::vector<uint32_t> &spirv, std::vector<std::vector<uint8_t>> &buffers,
	std::vector<ComputeImage> &images, uint32_t groups_x, uint32_t groups_y, uint32_t groups_z, std::string *error,
	const ComputeOptions &options = ComputeOptions());
// the same without images
bool run_compute(const std::vector<uint32_t> &spirv, std::vector<std::vector<uint8_t>> &buffers, uint32_t groups_x,
	uint32_t groups_y, uint32_t groups_z, std::string *error, const ComputeOptions &options = ComputeOptions());

// The reference compiler's module of a compute shader: glslangValidator -V on
// the source, with the extra arguments (e.g. "--target-env vulkan1.2").
// Empty with the message in *error (when given) on failure.
std::vector<uint32_t> reference_spirv(const std::string &glsl_source, std::string *error, const std::string &arguments = "");

// the bytes of values, and values of bytes (a partial value at the end is dropped)
template <typename T>
std::vector<uint8_t> to_bytes(const std::vector<T> &values) {
	std::vector<uint8_t> ret(values.size() * sizeof(T));
	if (!ret.empty()) std::memcpy(ret.data(), values.data(), ret.size());
	return ret;
}

template <typename T>
std::vector<T> from_bytes(const std::vector<uint8_t> &bytes) {
	std::vector<T> ret(bytes.size() / sizeof(T));
	if (!ret.empty()) std::memcpy(ret.data(), bytes.data(), ret.size() * sizeof(T));
	return ret;
}

} // namespace vulkan_test
