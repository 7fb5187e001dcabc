// Runs compute shaders on the CPU Vulkan device, so that tests can compare
// what two modules of the same shader compute (ours and the reference
// compiler's) on the same input buffers, byte for byte.
//
// The buffers are the descriptors of set 0: buffer i at binding i, a storage
// buffer unless ComputeOptions names it a uniform buffer. Every buffer is read
// back after the dispatch, into the same vector. The instance and the device
// are made once per process, on first use, and released at exit.
//
// Nothing here ends the process: a missing device, a module that the checks
// or the driver refuse, a dispatch that fails, all come back as false with a
// message. Modules are checked before the driver sees them (their words, the
// bindings they use against the buffers given, and spirv-val when installed),
// because a module that breaks the API's rules may crash the driver instead
// of failing.
//
// Built without Vulkan, compute_available() is false with the reason, and so
// is every run: tests call compute_available() first and skip.
//
// Tests that use the runner live under tests/vulkan/, the ones it is linked to.
#pragma once

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
};

// Whether a CPU Vulkan device can run shaders here; the reason when not.
bool compute_available(std::string *why);
const ComputeDevice &compute_device();

// Runs the module's compute entry point in groups_x * groups_y * groups_z
// work groups over the buffers, and reads every buffer back into its vector.
// False with the message in *error (when given) on any failure.
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
