// The compute runner: one instance and one device on the CPU Vulkan driver
// for the process; per run, the objects of one dispatch, made and released
// around it. See compute_runner.h.
#include "vulkan/compute_runner.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fstream>
#include <glob.h>
#include <link.h>
#include <mutex>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

#if VEXA_HAVE_VULKAN
#include <vulkan/vulkan.h>
#endif

namespace vulkan_test {

namespace {

// Files in a fresh folder of /tmp, all removed with the folder at the end.
struct TempDir {
	std::string path;
	std::vector<std::string> files;

	TempDir() {
		char name[] = "/tmp/vexa_vk_XXXXXX";
		if (mkdtemp(name) != nullptr) path = name;
	}
	~TempDir() {
		for (const std::string &file : files) std::remove(file.c_str());
		if (!path.empty()) rmdir(path.c_str());
	}
	TempDir(const TempDir &) = delete;
	TempDir &operator=(const TempDir &) = delete;

	std::string file(const std::string &name) {
		files.push_back(path + "/" + name);
		return files.back();
	}
};

std::string quote(const std::string &s) {
	std::string ret = "'";
	for (char c : s) {
		if (c == '\'') ret += "'\\''";
		else ret += c;
	}
	return ret + "'";
}

// runs a shell command; its exit status, and both output streams in *output
int run_command(const std::string &command, std::string *output) {
	FILE *pipe = popen((command + " 2>&1").c_str(), "r");
	if (pipe == nullptr) return -1;
	char buffer[4096];
	size_t size;
	while ((size = fread(buffer, 1, sizeof(buffer), pipe)) > 0) output->append(buffer, size);
	int raw = pclose(pipe);
	return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

} // namespace

std::vector<uint32_t> reference_spirv(const std::string &glsl_source, std::string *error, const std::string &arguments) {
	std::string sink;
	std::string &message = error != nullptr ? *error : sink;
	message.clear();
	TempDir dir;
	if (dir.path.empty()) {
		message = "can't make a temporary folder";
		return {};
	}
	std::string source = dir.file("shader.comp");
	std::string module = dir.file("shader.spv");
	{
		std::ofstream file(source, std::ios::binary);
		file << glsl_source;
		if (!file) {
			message = "can't write " + source;
			return {};
		}
	}
	std::string output;
	int status = run_command("glslangValidator -V " + arguments + " -o " + quote(module) + " " + quote(source), &output);
	if (status != 0) {
		message = "glslangValidator failed (status " + std::to_string(status) + "):\n" + output;
		return {};
	}
	std::ifstream file(module, std::ios::binary);
	std::stringstream ss;
	ss << file.rdbuf();
	std::string bytes = ss.str();
	if (bytes.size() < 20 || bytes.size() % 4 != 0) {
		message = "glslangValidator wrote no module of whole words (" + std::to_string(bytes.size()) + " bytes)";
		return {};
	}
	std::vector<uint32_t> words(bytes.size() / 4);
	std::memcpy(words.data(), bytes.data(), bytes.size());
	return words;
}

size_t texel_bytes(ComputeImage::Format format) {
	switch (format) {
	case ComputeImage::R32Uint:
	case ComputeImage::R32Sint:
	case ComputeImage::R32Float:
	case ComputeImage::Rgba8Unorm: return 4;
	case ComputeImage::Rgba16Float: return 8;
	case ComputeImage::Rgba32Float:
	case ComputeImage::Rgba32Uint:
	case ComputeImage::Rgba32Sint: return 16;
	}
	return 0;
}

namespace {

// products and sums that stop at SIZE_MAX instead of wrapping
size_t times(size_t a, size_t b) {
	return b != 0 && a > SIZE_MAX / b ? SIZE_MAX : a * b;
}

size_t plus(size_t a, size_t b) {
	return a > SIZE_MAX - b ? SIZE_MAX : a + b;
}

// the texels of levels [0, level) of the image, and of the level itself; a
// count too large for a size_t (or past level 64, of no real image) is SIZE_MAX
void level_texels(const ComputeImage &image, uint32_t level, size_t &before, size_t &own) {
	before = own = SIZE_MAX;
	if (level > 64) return;
	size_t sum = 0, count = 0;
	for (uint32_t l = 0; l <= level; l++) {
		auto at_level = [l](uint32_t extent) { return l < 32 ? std::max<uint32_t>(extent >> l, 1) : 1u; };
		uint32_t depth = image.view == ComputeImage::View3D ? at_level(image.depth_or_layers) : image.depth_or_layers;
		count = times(times(at_level(image.width), at_level(image.height)), depth);
		if (l < level) sum = plus(sum, count);
	}
	before = sum;
	own = count;
}

} // namespace

size_t image_level_offset(const ComputeImage &image, uint32_t level) {
	size_t before, own;
	level_texels(image, level, before, own);
	return times(before, texel_bytes(image.format));
}

size_t image_bytes(const ComputeImage &image) {
	if (image.levels == 0) return 0;
	size_t before, own;
	level_texels(image, image.levels - 1, before, own);
	return times(plus(before, own), texel_bytes(image.format));
}

#if VEXA_HAVE_VULKAN

namespace {

bool have_tool(const char *name) {
	std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
	return std::system(command.c_str()) == 0;
}

bool write_words(const std::string &path, const std::vector<uint32_t> &words) {
	std::ofstream file(path, std::ios::binary);
	file.write(reinterpret_cast<const char *>(words.data()), static_cast<std::streamsize>(words.size() * 4));
	return static_cast<bool>(file);
}

// The kinds of resource of set 0, as the module declares them and as the
// run gives them.
enum Resource { UniformBuffer, StorageBuffer, StorageImage, CombinedSampler, UniformTexelBuffer, StorageTexelBuffer };

const char *resource_name(Resource resource) {
	switch (resource) {
	case UniformBuffer: return "uniform buffer";
	case StorageBuffer: return "storage buffer";
	case StorageImage: return "storage image";
	case CombinedSampler: return "sampled image";
	case UniformTexelBuffer: return "uniform texel buffer";
	case StorageTexelBuffer: return "storage texel buffer";
	}
	return "resource";
}

Resource resource_of(ComputeImage::Kind kind) {
	switch (kind) {
	case ComputeImage::StorageImage: return StorageImage;
	case ComputeImage::CombinedSampler: return CombinedSampler;
	case ComputeImage::UniformTexelBuffer: return UniformTexelBuffer;
	case ComputeImage::StorageTexelBuffer: return StorageTexelBuffer;
	}
	return StorageImage;
}

// what the components of an image's texels are, to the shader
enum Components { Floats, SignedIntegers, UnsignedIntegers };

const char *components_name(Components components) {
	switch (components) {
	case Floats: return "floats";
	case SignedIntegers: return "signed integers";
	case UnsignedIntegers: return "unsigned integers";
	}
	return "";
}

Components components_of(ComputeImage::Format format) {
	switch (format) {
	case ComputeImage::R32Uint:
	case ComputeImage::Rgba32Uint: return UnsignedIntegers;
	case ComputeImage::R32Sint:
	case ComputeImage::Rgba32Sint: return SignedIntegers;
	default: return Floats;
	}
}

const char *format_name(ComputeImage::Format format) {
	switch (format) {
	case ComputeImage::R32Uint: return "R32Uint";
	case ComputeImage::R32Sint: return "R32Sint";
	case ComputeImage::R32Float: return "R32Float";
	case ComputeImage::Rgba32Float: return "Rgba32Float";
	case ComputeImage::Rgba32Uint: return "Rgba32Uint";
	case ComputeImage::Rgba32Sint: return "Rgba32Sint";
	case ComputeImage::Rgba8Unorm: return "Rgba8Unorm";
	case ComputeImage::Rgba16Float: return "Rgba16Float";
	}
	return "an unnamed format";
}

const char *view_name(ComputeImage::View view) {
	switch (view) {
	case ComputeImage::View2D: return "2D";
	case ComputeImage::View2DArray: return "2D array";
	case ComputeImage::View3D: return "3D";
	case ComputeImage::ViewCube: return "cube";
	}
	return "unnamed";
}

// What a module binds, read off its words before the driver sees them.
struct ModuleUse {
	struct Binding {
		uint32_t set;
		uint32_t binding;
		Resource resource;
		// of images: how the shader sees them, what it reads, and the
		// format it declares (the SPIR-V number, 0 when unknown)
		ComputeImage::View view;
		Components components;
		uint32_t format;
	};
	std::vector<Binding> bindings;
	bool push_constants = false;
	bool entry_found = false;
};

// The words of a module walked once: the header, every instruction's word
// count within the module, the compute entry point of the name, and the
// buffers and push constants that its variables bind. False with a message
// on a module that can't be handed to the driver.
bool scan_module(const std::vector<uint32_t> &words, const std::string &entry, ModuleUse &use, std::string &error) {
	if (words.size() < 5) {
		error = "not a SPIR-V module: " + std::to_string(words.size()) + " words, fewer than a header";
		return false;
	}
	if (words[0] != 0x07230203u) {
		char text[64];
		std::snprintf(text, sizeof(text), "not a SPIR-V module: magic number 0x%08x", words[0]);
		error = text;
		return false;
	}
	enum : uint32_t {
		OpEntryPoint = 15,
		OpTypeInt = 21,
		OpTypeFloat = 22,
		OpTypeImage = 25,
		OpTypeSampler = 26,
		OpTypeSampledImage = 27,
		OpTypeArray = 28,
		OpTypeRuntimeArray = 29,
		OpTypePointer = 32,
		OpVariable = 59,
		OpDecorate = 71,
		DecorationBlock = 2,
		DecorationBufferBlock = 3,
		DecorationBinding = 33,
		DecorationDescriptorSet = 34,
		ModelGLCompute = 5,
		ClassUniformConstant = 0,
		ClassUniform = 2,
		ClassPushConstant = 9,
		ClassStorageBuffer = 12,
		Dim2D = 1,
		Dim3D = 2,
		DimCube = 3,
		DimBuffer = 5,
	};
	struct Pointer {
		uint32_t storage;
		uint32_t pointee;
	};
	struct Variable {
		uint32_t type;
		uint32_t id;
		uint32_t storage;
	};
	struct Image {
		uint32_t sampled_type, dim, depth, arrayed, multisampled, sampled, format;
	};
	std::unordered_map<uint32_t, Image> images;
	std::unordered_map<uint32_t, uint32_t> sampled_images; // the type of a sampled image -> its image type
	std::unordered_map<uint32_t, Components> numbers; // the scalar types of images' texels
	std::unordered_set<uint32_t> samplers;
	std::unordered_map<uint32_t, uint32_t> bindings, sets;
	std::unordered_set<uint32_t> buffer_blocks, arrays;
	std::unordered_map<uint32_t, Pointer> pointers;
	std::vector<Variable> variables;
	size_t size = words.size();
	for (size_t i = 5; i < size;) {
		uint32_t count = words[i] >> 16;
		uint32_t opcode = words[i] & 0xffffu;
		if (count == 0 || count > size - i) {
			error = "malformed SPIR-V module: the instruction at word " + std::to_string(i) + " runs past the end";
			return false;
		}
		const uint32_t *operands = words.data() + i + 1;
		uint32_t operand_count = count - 1;
		switch (opcode) {
		case OpEntryPoint:
			if (operand_count >= 3 && operands[0] == ModelGLCompute) {
				// the name: a nul-terminated string in the operand words
				std::string name;
				bool ended = false;
				for (uint32_t w = 2; w < operand_count && !ended; w++) {
					for (int b = 0; b < 4; b++) {
						char c = static_cast<char>((operands[w] >> (8 * b)) & 0xffu);
						if (c == '\0') {
							ended = true;
							break;
						}
						name += c;
					}
				}
				if (ended && name == entry) use.entry_found = true;
			}
			break;
		case OpTypeInt:
			if (operand_count >= 3) numbers[operands[0]] = operands[2] != 0 ? SignedIntegers : UnsignedIntegers;
			break;
		case OpTypeFloat:
			if (operand_count >= 2) numbers[operands[0]] = Floats;
			break;
		case OpTypeImage:
			if (operand_count >= 8) {
				images[operands[0]] =
					Image{operands[1], operands[2], operands[3], operands[4], operands[5], operands[6], operands[7]};
			}
			break;
		case OpTypeSampler:
			if (operand_count >= 1) samplers.insert(operands[0]);
			break;
		case OpTypeSampledImage:
			if (operand_count >= 2) sampled_images[operands[0]] = operands[1];
			break;
		case OpTypeArray:
		case OpTypeRuntimeArray:
			if (operand_count >= 2) arrays.insert(operands[0]);
			break;
		case OpTypePointer:
			if (operand_count >= 3) pointers[operands[0]] = Pointer{operands[1], operands[2]};
			break;
		case OpVariable:
			if (operand_count >= 3) variables.push_back(Variable{operands[0], operands[1], operands[2]});
			break;
		case OpDecorate:
			if (operand_count >= 2) {
				if (operands[1] == DecorationBufferBlock) buffer_blocks.insert(operands[0]);
				if (operands[1] == DecorationBinding && operand_count >= 3) bindings[operands[0]] = operands[2];
				if (operands[1] == DecorationDescriptorSet && operand_count >= 3) sets[operands[0]] = operands[2];
			}
			break;
		default:
			break;
		}
		i += count;
	}
	if (!use.entry_found) {
		error = "the module has no compute entry point named '" + entry + "'";
		return false;
	}
	for (const Variable &variable : variables) {
		if (variable.storage == ClassPushConstant) {
			use.push_constants = true;
			continue;
		}
		if (variable.storage != ClassUniform && variable.storage != ClassStorageBuffer &&
			variable.storage != ClassUniformConstant) {
			continue;
		}
		std::string id = "%" + std::to_string(variable.id);
		auto pointer = pointers.find(variable.type);
		if (pointer == pointers.end()) {
			error = "variable " + id + " is not of a pointer type";
			return false;
		}
		uint32_t pointee = pointer->second.pointee;
		bool opaque = variable.storage == ClassUniformConstant;
		if (arrays.count(pointee) != 0) {
			error = "variable " + id + (opaque ? " is an array of images or samplers" : " is an array of buffers") +
				": the runner binds one resource per binding";
			return false;
		}
		auto binding = bindings.find(variable.id);
		auto set = sets.find(variable.id);
		if (binding == bindings.end() || set == sets.end()) {
			error = std::string(opaque ? "image" : "buffer") + " variable " + id + " has no descriptor set and binding";
			return false;
		}
		ModuleUse::Binding found{set->second, binding->second, StorageBuffer, ComputeImage::View2D, Floats, 0};
		if (!opaque) {
			found.resource = variable.storage == ClassUniform && buffer_blocks.count(pointee) == 0 ? UniformBuffer : StorageBuffer;
			use.bindings.push_back(found);
			continue;
		}
		// an image, with its sampler or without
		if (samplers.count(pointee) != 0) {
			error = "variable " + id + " is a sampler of its own: the runner binds samplers with their images only";
			return false;
		}
		bool combined = false;
		auto sampled_image = sampled_images.find(pointee);
		if (sampled_image != sampled_images.end()) {
			combined = true;
			pointee = sampled_image->second;
		}
		auto image = images.find(pointee);
		if (image == images.end()) {
			error = "variable " + id + " is an opaque resource other than an image: the runner binds buffers and images";
			return false;
		}
		const Image &type = image->second;
		auto number = numbers.find(type.sampled_type);
		if (number == numbers.end()) {
			error = "image variable " + id + " has texels of no number type";
			return false;
		}
		found.components = number->second;
		found.format = type.format;
		if (type.multisampled != 0) {
			error = "image variable " + id + " is multisampled: the runner has no multisampled images";
			return false;
		}
		if (type.depth == 1) {
			error = "image variable " + id + " is a depth image: the runner's samplers compare nothing";
			return false;
		}
		if (type.sampled != 1 && type.sampled != 2) {
			error = "image variable " + id + " is neither sampled nor storage";
			return false;
		}
		if (type.dim == DimBuffer) {
			found.resource = type.sampled == 1 ? UniformTexelBuffer : StorageTexelBuffer;
			use.bindings.push_back(found);
			continue;
		}
		if (!combined && type.sampled == 1) {
			error = "image variable " + id + " is a texture without a sampler: the runner binds samplers with their images only";
			return false;
		}
		found.resource = combined ? CombinedSampler : StorageImage;
		if (type.dim == Dim2D) found.view = type.arrayed != 0 ? ComputeImage::View2DArray : ComputeImage::View2D;
		else if (type.dim == Dim3D && type.arrayed == 0) found.view = ComputeImage::View3D;
		else if (type.dim == DimCube && type.arrayed == 0) found.view = ComputeImage::ViewCube;
		else {
			error = "image variable " + id + " is of dimension " + std::to_string(type.dim) + (type.arrayed != 0 ? ", arrayed" : "") +
				": the runner has 2D, 2D array, 3D and cube images";
			return false;
		}
		use.bindings.push_back(found);
	}
	return true;
}

const char *result_name(VkResult result) {
	switch (result) {
	case VK_SUCCESS: return "VK_SUCCESS";
	case VK_NOT_READY: return "VK_NOT_READY";
	case VK_TIMEOUT: return "VK_TIMEOUT";
	case VK_INCOMPLETE: return "VK_INCOMPLETE";
	case VK_ERROR_OUT_OF_HOST_MEMORY: return "VK_ERROR_OUT_OF_HOST_MEMORY";
	case VK_ERROR_OUT_OF_DEVICE_MEMORY: return "VK_ERROR_OUT_OF_DEVICE_MEMORY";
	case VK_ERROR_INITIALIZATION_FAILED: return "VK_ERROR_INITIALIZATION_FAILED";
	case VK_ERROR_DEVICE_LOST: return "VK_ERROR_DEVICE_LOST";
	case VK_ERROR_MEMORY_MAP_FAILED: return "VK_ERROR_MEMORY_MAP_FAILED";
	case VK_ERROR_LAYER_NOT_PRESENT: return "VK_ERROR_LAYER_NOT_PRESENT";
	case VK_ERROR_EXTENSION_NOT_PRESENT: return "VK_ERROR_EXTENSION_NOT_PRESENT";
	case VK_ERROR_FEATURE_NOT_PRESENT: return "VK_ERROR_FEATURE_NOT_PRESENT";
	case VK_ERROR_INCOMPATIBLE_DRIVER: return "VK_ERROR_INCOMPATIBLE_DRIVER";
	case VK_ERROR_TOO_MANY_OBJECTS: return "VK_ERROR_TOO_MANY_OBJECTS";
	case VK_ERROR_FORMAT_NOT_SUPPORTED: return "VK_ERROR_FORMAT_NOT_SUPPORTED";
	case VK_ERROR_UNKNOWN: return "VK_ERROR_UNKNOWN";
	case VK_ERROR_OUT_OF_POOL_MEMORY: return "VK_ERROR_OUT_OF_POOL_MEMORY";
	case VK_ERROR_INVALID_SHADER_NV: return "VK_ERROR_INVALID_SHADER_NV";
	default: return "an unnamed VkResult";
	}
}

std::string failed(const char *call, VkResult result) {
	return std::string(call) + " failed: " + result_name(result) + " (" + std::to_string(static_cast<int>(result)) + ")";
}

uint32_t version_of(uint32_t major, uint32_t minor) {
	return VK_MAKE_API_VERSION(0, major, minor, 0);
}

// the version without its patch number
uint32_t major_minor(uint32_t version) {
	return version_of(VK_API_VERSION_MAJOR(version), VK_API_VERSION_MINOR(version));
}

// The driver descriptions of the CPU driver in the usual places, joined by
// ':', so that the loader loads that driver alone (and none that would look
// for hardware).
std::string cpu_driver_files() {
	const char *const patterns[] = {
		"/usr/share/vulkan/icd.d/lvp_icd*.json",
		"/usr/local/share/vulkan/icd.d/lvp_icd*.json",
		"/etc/vulkan/icd.d/lvp_icd*.json",
	};
	std::string ret;
	for (const char *pattern : patterns) {
		glob_t found;
		if (glob(pattern, 0, nullptr, &found) == 0) {
			for (size_t i = 0; i < found.gl_pathc; i++) {
				if (!ret.empty()) ret += ":";
				ret += found.gl_pathv[i];
			}
		}
		globfree(&found);
	}
	return ret;
}

// The drivers that the loader has opened stay in the process after it closes
// them: LeakSanitizer, which looks at the end of the process, then still
// finds their code, and names the allocations a driver keeps for good (and
// the suppressions can match them) instead of printing unknown addresses.
int collect_driver(struct dl_phdr_info *info, size_t, void *data) {
	if (info->dlpi_name != nullptr && std::strstr(info->dlpi_name, "libvulkan_") != nullptr) {
		static_cast<std::vector<std::string> *>(data)->push_back(info->dlpi_name);
	}
	return 0;
}

void keep_drivers_loaded() {
	std::vector<std::string> drivers;
	dl_iterate_phdr(collect_driver, &drivers);
	for (const std::string &driver : drivers) {
		// takes no reference: the library is only marked never to be unloaded
		dlopen(driver.c_str(), RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
	}
}

// The instance and the device of the process, made on first use. A dispatch
// that never ended leaves the device `lost`: every later run is refused, and
// nothing is released at exit, since the driver may still be running it.
struct Context {
	std::mutex mutex;
	std::string failure;
	bool lost = false;
	VkInstance instance = VK_NULL_HANDLE;
	VkPhysicalDevice physical = VK_NULL_HANDLE;
	VkDevice device = VK_NULL_HANDLE;
	VkQueue queue = VK_NULL_HANDLE;
	uint32_t family = 0;
	VkCommandPool pool = VK_NULL_HANDLE;
	VkPhysicalDeviceProperties properties{};
	VkPhysicalDeviceMemoryProperties memory{};
	ComputeDevice info;

	Context() { failure = open(); }
	~Context() {
		if (lost) return;
		if (device != VK_NULL_HANDLE) {
			vkDeviceWaitIdle(device);
			if (pool != VK_NULL_HANDLE) vkDestroyCommandPool(device, pool, nullptr);
			vkDestroyDevice(device, nullptr);
		}
		if (instance != VK_NULL_HANDLE) vkDestroyInstance(instance, nullptr);
	}
	Context(const Context &) = delete;
	Context &operator=(const Context &) = delete;

	std::string open() {
		if (std::getenv("VK_DRIVER_FILES") == nullptr && std::getenv("VK_ICD_FILENAMES") == nullptr) {
			std::string files = cpu_driver_files();
			if (!files.empty()) {
				setenv("VK_DRIVER_FILES", files.c_str(), 0);
				setenv("VK_ICD_FILENAMES", files.c_str(), 0);
			}
		}
		uint32_t instance_version = VK_API_VERSION_1_0;
		auto enumerate_version = reinterpret_cast<PFN_vkEnumerateInstanceVersion>(
			vkGetInstanceProcAddr(VK_NULL_HANDLE, "vkEnumerateInstanceVersion"));
		if (enumerate_version != nullptr && enumerate_version(&instance_version) != VK_SUCCESS) {
			instance_version = VK_API_VERSION_1_0;
		}
		uint32_t wanted = std::min(major_minor(instance_version), VK_API_VERSION_1_3);

		VkApplicationInfo application{};
		application.sType = VK_STRUCTURE_TYPE_APPLICATION_INFO;
		application.pApplicationName = "vexa compute runner";
		application.apiVersion = wanted;
		VkInstanceCreateInfo instance_info{};
		instance_info.sType = VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO;
		instance_info.pApplicationInfo = &application;
		VkResult result = vkCreateInstance(&instance_info, nullptr, &instance);
		if (result != VK_SUCCESS) {
			instance = VK_NULL_HANDLE;
			return failed("vkCreateInstance", result) + " (no Vulkan driver? mesa-vulkan-drivers has the CPU one)";
		}

		keep_drivers_loaded();

		uint32_t count = 0;
		result = vkEnumeratePhysicalDevices(instance, &count, nullptr);
		if (result != VK_SUCCESS) return failed("vkEnumeratePhysicalDevices", result);
		std::vector<VkPhysicalDevice> devices(count);
		result = vkEnumeratePhysicalDevices(instance, &count, devices.data());
		if (result != VK_SUCCESS && result != VK_INCOMPLETE) return failed("vkEnumeratePhysicalDevices", result);
		devices.resize(count);
		for (VkPhysicalDevice candidate : devices) {
			VkPhysicalDeviceProperties candidate_properties;
			vkGetPhysicalDeviceProperties(candidate, &candidate_properties);
			if (candidate_properties.deviceType == VK_PHYSICAL_DEVICE_TYPE_CPU) {
				physical = candidate;
				properties = candidate_properties;
				break;
			}
		}
		if (physical == VK_NULL_HANDLE) {
			return "no CPU Vulkan device among the " + std::to_string(count) + " found (mesa-vulkan-drivers has one)";
		}
		uint32_t version = std::min(wanted, major_minor(properties.apiVersion));
		vkGetPhysicalDeviceMemoryProperties(physical, &memory);

		uint32_t family_count = 0;
		vkGetPhysicalDeviceQueueFamilyProperties(physical, &family_count, nullptr);
		std::vector<VkQueueFamilyProperties> families(family_count);
		vkGetPhysicalDeviceQueueFamilyProperties(physical, &family_count, families.data());
		bool found = false;
		for (uint32_t i = 0; i < family_count && !found; i++) {
			if ((families[i].queueFlags & VK_QUEUE_COMPUTE_BIT) != 0 && families[i].queueCount > 0) {
				family = i;
				found = true;
			}
		}
		if (!found) return std::string("the device ") + properties.deviceName + " has no compute queue";

		// Every feature the device has is turned on, so that any module the
		// device can run, runs: the 8-, 16- and 64-bit types, the newer
		// memory models, and robust buffer access, which keeps an index past
		// a buffer's end inside the buffer instead of in the process.
		VkPhysicalDeviceFeatures2 features{};
		features.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_FEATURES_2;
		VkPhysicalDeviceVulkan11Features features11{};
		features11.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_VULKAN_1_1_FEATURES;
		VkPhysicalDeviceVulkan12Features features12{};
		features12.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_VULKAN_1_2_FEATURES;
		VkPhysicalDeviceVulkan13Features features13{};
		features13.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_VULKAN_1_3_FEATURES;
		if (version >= VK_API_VERSION_1_2) {
			features.pNext = &features11;
			features11.pNext = &features12;
			if (version >= VK_API_VERSION_1_3) features12.pNext = &features13;
		}
		if (version >= VK_API_VERSION_1_1) vkGetPhysicalDeviceFeatures2(physical, &features);
		else vkGetPhysicalDeviceFeatures(physical, &features.features);

		float priority = 1.0f;
		VkDeviceQueueCreateInfo queue_info{};
		queue_info.sType = VK_STRUCTURE_TYPE_DEVICE_QUEUE_CREATE_INFO;
		queue_info.queueFamilyIndex = family;
		queue_info.queueCount = 1;
		queue_info.pQueuePriorities = &priority;
		VkDeviceCreateInfo device_info{};
		device_info.sType = VK_STRUCTURE_TYPE_DEVICE_CREATE_INFO;
		device_info.queueCreateInfoCount = 1;
		device_info.pQueueCreateInfos = &queue_info;
		if (version >= VK_API_VERSION_1_1) device_info.pNext = &features;
		else device_info.pEnabledFeatures = &features.features;
		result = vkCreateDevice(physical, &device_info, nullptr, &device);
		if (result != VK_SUCCESS) {
			device = VK_NULL_HANDLE;
			return failed("vkCreateDevice", result);
		}
		vkGetDeviceQueue(device, family, 0, &queue);

		VkCommandPoolCreateInfo pool_info{};
		pool_info.sType = VK_STRUCTURE_TYPE_COMMAND_POOL_CREATE_INFO;
		pool_info.flags = VK_COMMAND_POOL_CREATE_TRANSIENT_BIT;
		pool_info.queueFamilyIndex = family;
		result = vkCreateCommandPool(device, &pool_info, nullptr, &pool);
		if (result != VK_SUCCESS) {
			pool = VK_NULL_HANDLE;
			return failed("vkCreateCommandPool", result);
		}

		info.name = properties.deviceName;
		info.api_version = version;
		info.int64 = features.features.shaderInt64 != VK_FALSE;
		info.float64 = features.features.shaderFloat64 != VK_FALSE;
		info.int16 = features.features.shaderInt16 != VK_FALSE;
		info.float16 = features12.shaderFloat16 != VK_FALSE;
		info.int8 = features12.shaderInt8 != VK_FALSE;
		info.storage_16bit = features11.storageBuffer16BitAccess != VK_FALSE;
		info.storage_8bit = features12.storageBuffer8BitAccess != VK_FALSE;
		if (version >= VK_API_VERSION_1_1) {
			VkPhysicalDeviceSubgroupProperties subgroup{};
			subgroup.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_SUBGROUP_PROPERTIES;
			VkPhysicalDeviceProperties2 properties2{};
			properties2.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_PROPERTIES_2;
			properties2.pNext = &subgroup;
			vkGetPhysicalDeviceProperties2(physical, &properties2);
			if ((subgroup.supportedStages & VK_SHADER_STAGE_COMPUTE_BIT) != 0) {
				// the flags of the API are the bits of SubgroupOperation
				info.subgroup_size = subgroup.subgroupSize;
				info.subgroup_operations = subgroup.supportedOperations & 0xffu;
			}
		}
		return "";
	}

	// the first memory type among the bits with all the properties wanted
	bool memory_type(uint32_t type_bits, VkMemoryPropertyFlags wanted, uint32_t &type) const {
		for (uint32_t i = 0; i < memory.memoryTypeCount; i++) {
			if ((type_bits & (1u << i)) != 0 && (memory.memoryTypes[i].propertyFlags & wanted) == wanted) {
				type = i;
				return true;
			}
		}
		return false;
	}

	// the memory type of host-visible, coherent memory among the bits
	bool host_memory(uint32_t type_bits, uint32_t &type) const {
		return memory_type(type_bits, VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT | VK_MEMORY_PROPERTY_HOST_COHERENT_BIT, type);
	}

	std::string target_env() const {
		return "vulkan" + std::to_string(VK_API_VERSION_MAJOR(info.api_version)) + "." +
			std::to_string(VK_API_VERSION_MINOR(info.api_version));
	}
};

Context &context() {
	// made on first use: the driver's own exit handlers are registered
	// before this one's, so it is released while the driver is still whole
	static Context instance;
	return instance;
}

// A buffer in host-visible coherent memory, mapped for the whole run.
struct HostBuffer {
	VkBuffer buffer = VK_NULL_HANDLE;
	VkDeviceMemory memory = VK_NULL_HANDLE;
	void *mapped = nullptr;
	VkDeviceSize size = 0;
};

// The objects of one dispatch, released in reverse (unless the dispatch
// never ended and the device is lost).
struct Dispatch {
	Context &c;
	std::vector<HostBuffer> buffers;
	// per image: the buffer its texels go through to and from the host, or,
	// of a texel buffer, the buffer itself
	std::vector<HostBuffer> image_buffers;
	// per image (null of a texel buffer)
	std::vector<VkImage> images;
	std::vector<VkDeviceMemory> image_memories;
	std::vector<VkImageView> image_views;
	// per image (null of an image)
	std::vector<VkBufferView> buffer_views;
	VkSampler sampler = VK_NULL_HANDLE;
	VkShaderModule module = VK_NULL_HANDLE;
	VkDescriptorSetLayout set_layout = VK_NULL_HANDLE;
	VkPipelineLayout pipeline_layout = VK_NULL_HANDLE;
	VkPipeline pipeline = VK_NULL_HANDLE;
	VkDescriptorPool descriptor_pool = VK_NULL_HANDLE;
	VkCommandBuffer command = VK_NULL_HANDLE;
	VkFence fence = VK_NULL_HANDLE;

	explicit Dispatch(Context &context) : c(context) {}
	~Dispatch() {
		if (c.lost) return;
		VkDevice d = c.device;
		if (fence != VK_NULL_HANDLE) vkDestroyFence(d, fence, nullptr);
		if (command != VK_NULL_HANDLE) vkFreeCommandBuffers(d, c.pool, 1, &command);
		if (descriptor_pool != VK_NULL_HANDLE) vkDestroyDescriptorPool(d, descriptor_pool, nullptr);
		if (pipeline != VK_NULL_HANDLE) vkDestroyPipeline(d, pipeline, nullptr);
		if (pipeline_layout != VK_NULL_HANDLE) vkDestroyPipelineLayout(d, pipeline_layout, nullptr);
		if (set_layout != VK_NULL_HANDLE) vkDestroyDescriptorSetLayout(d, set_layout, nullptr);
		if (module != VK_NULL_HANDLE) vkDestroyShaderModule(d, module, nullptr);
		if (sampler != VK_NULL_HANDLE) vkDestroySampler(d, sampler, nullptr);
		for (VkBufferView view : buffer_views) {
			if (view != VK_NULL_HANDLE) vkDestroyBufferView(d, view, nullptr);
		}
		for (VkImageView view : image_views) {
			if (view != VK_NULL_HANDLE) vkDestroyImageView(d, view, nullptr);
		}
		for (VkImage image : images) {
			if (image != VK_NULL_HANDLE) vkDestroyImage(d, image, nullptr);
		}
		for (VkDeviceMemory memory : image_memories) {
			if (memory != VK_NULL_HANDLE) vkFreeMemory(d, memory, nullptr);
		}
		for (std::vector<HostBuffer> *list : {&image_buffers, &buffers}) {
			for (HostBuffer &buffer : *list) {
				if (buffer.buffer != VK_NULL_HANDLE) vkDestroyBuffer(d, buffer.buffer, nullptr);
				if (buffer.memory != VK_NULL_HANDLE) vkFreeMemory(d, buffer.memory, nullptr);
			}
		}
	}
	Dispatch(const Dispatch &) = delete;
	Dispatch &operator=(const Dispatch &) = delete;
};

// Makes `out` a buffer of the usage and size in host-visible coherent memory,
// mapped, holding the bytes given and zeros after them; `what` names it in
// messages. What was made is in `out` for the dispatch to release.
bool make_host_buffer(Context &c, VkDeviceSize size, VkBufferUsageFlags usage, const std::vector<uint8_t> &bytes,
	HostBuffer &out, const std::string &what, std::string &error) {
	VkBufferCreateInfo buffer_info{};
	buffer_info.sType = VK_STRUCTURE_TYPE_BUFFER_CREATE_INFO;
	buffer_info.size = size;
	buffer_info.usage = usage;
	buffer_info.sharingMode = VK_SHARING_MODE_EXCLUSIVE;
	VkResult result = vkCreateBuffer(c.device, &buffer_info, nullptr, &out.buffer);
	if (result != VK_SUCCESS) {
		out.buffer = VK_NULL_HANDLE;
		error = failed("vkCreateBuffer", result) + " for " + what;
		return false;
	}
	VkMemoryRequirements requirements;
	vkGetBufferMemoryRequirements(c.device, out.buffer, &requirements);
	uint32_t type = 0;
	if (!c.host_memory(requirements.memoryTypeBits, type)) {
		error = "the device has no host-visible coherent memory for " + what;
		return false;
	}
	VkMemoryAllocateInfo allocate{};
	allocate.sType = VK_STRUCTURE_TYPE_MEMORY_ALLOCATE_INFO;
	allocate.allocationSize = requirements.size;
	allocate.memoryTypeIndex = type;
	result = vkAllocateMemory(c.device, &allocate, nullptr, &out.memory);
	if (result != VK_SUCCESS) {
		out.memory = VK_NULL_HANDLE;
		error = failed("vkAllocateMemory", result) + " for " + what;
		return false;
	}
	result = vkBindBufferMemory(c.device, out.buffer, out.memory, 0);
	if (result != VK_SUCCESS) {
		error = failed("vkBindBufferMemory", result) + " for " + what;
		return false;
	}
	result = vkMapMemory(c.device, out.memory, 0, VK_WHOLE_SIZE, 0, &out.mapped);
	if (result != VK_SUCCESS) {
		out.mapped = nullptr;
		error = failed("vkMapMemory", result) + " for " + what;
		return false;
	}
	out.size = size;
	std::memset(out.mapped, 0, static_cast<size_t>(size));
	if (!bytes.empty()) std::memcpy(out.mapped, bytes.data(), bytes.size());
	return true;
}

VkFormat vk_format(ComputeImage::Format format) {
	switch (format) {
	case ComputeImage::R32Uint: return VK_FORMAT_R32_UINT;
	case ComputeImage::R32Sint: return VK_FORMAT_R32_SINT;
	case ComputeImage::R32Float: return VK_FORMAT_R32_SFLOAT;
	case ComputeImage::Rgba32Float: return VK_FORMAT_R32G32B32A32_SFLOAT;
	case ComputeImage::Rgba32Uint: return VK_FORMAT_R32G32B32A32_UINT;
	case ComputeImage::Rgba32Sint: return VK_FORMAT_R32G32B32A32_SINT;
	case ComputeImage::Rgba8Unorm: return VK_FORMAT_R8G8B8A8_UNORM;
	case ComputeImage::Rgba16Float: return VK_FORMAT_R16G16B16A16_SFLOAT;
	}
	return VK_FORMAT_UNDEFINED;
}

// SPIR-V's number of the format, as a module declares it on a storage image
uint32_t spirv_format(ComputeImage::Format format) {
	switch (format) {
	case ComputeImage::Rgba32Float: return 1;
	case ComputeImage::Rgba16Float: return 2;
	case ComputeImage::R32Float: return 3;
	case ComputeImage::Rgba8Unorm: return 4;
	case ComputeImage::Rgba32Sint: return 21;
	case ComputeImage::R32Sint: return 24;
	case ComputeImage::Rgba32Uint: return 30;
	case ComputeImage::R32Uint: return 33;
	}
	return 0;
}

bool is_texel_buffer(const ComputeImage &image) {
	return image.kind == ComputeImage::UniformTexelBuffer || image.kind == ComputeImage::StorageTexelBuffer;
}

// What can be told of an image without the device: its kind, format and
// view are ones the runner has, its extent and levels make an image of the
// view, and its data fills them.
bool check_image(const ComputeImage &image, std::string &error) {
	std::string name = "the image at binding " + std::to_string(image.binding);
	if (image.kind > ComputeImage::StorageTexelBuffer) {
		error = name + " is of kind " + std::to_string(static_cast<uint32_t>(image.kind)) + ", none the runner has";
		return false;
	}
	if (image.format > ComputeImage::Rgba16Float) {
		error = name + " is of format " + std::to_string(static_cast<uint32_t>(image.format)) + ", none the runner has";
		return false;
	}
	if (image.view > ComputeImage::ViewCube) {
		error = name + " has view " + std::to_string(static_cast<uint32_t>(image.view)) + ", none the runner has";
		return false;
	}
	if (image.width == 0 || image.height == 0 || image.depth_or_layers == 0 || image.levels == 0) {
		error = name + " is " + std::to_string(image.width) + " x " + std::to_string(image.height) + " x " +
			std::to_string(image.depth_or_layers) + " of " + std::to_string(image.levels) + " levels: none may be 0";
		return false;
	}
	if (is_texel_buffer(image)) {
		if (image.height != 1 || image.depth_or_layers != 1 || image.levels != 1) {
			error = name + " is a texel buffer: its texels are its width, of height, depth and levels 1";
			return false;
		}
	} else {
		if (image.kind == ComputeImage::StorageImage && image.levels != 1) {
			error = name + " is a storage image of " + std::to_string(image.levels) + " levels: a storage image has one";
			return false;
		}
		if (image.view == ComputeImage::View2D && image.depth_or_layers != 1) {
			error = name + " is a 2D image of " + std::to_string(image.depth_or_layers) + " layers: a 2D image has one";
			return false;
		}
		if (image.view == ComputeImage::ViewCube && (image.width != image.height || image.depth_or_layers != 6)) {
			error = name + " is a cube of " + std::to_string(image.width) + " x " + std::to_string(image.height) + " x " +
				std::to_string(image.depth_or_layers) + ": a cube has 6 square faces";
			return false;
		}
		uint32_t largest = std::max(image.width, image.height);
		if (image.view == ComputeImage::View3D) largest = std::max(largest, image.depth_or_layers);
		uint32_t most = 1;
		while (largest >>= 1) most++;
		if (image.levels > most) {
			error = name + " has " + std::to_string(image.levels) + " levels, and its extent " + std::to_string(most);
			return false;
		}
	}
	size_t wanted = image_bytes(image);
	if (image.data.size() != wanted) {
		error = name + " has " + std::to_string(image.data.size()) + " bytes of data, and its extent and levels " +
			std::to_string(wanted);
		return false;
	}
	return true;
}

// Whether the device has images (or texel buffers) of the image's format,
// kind and view, as large as it is; a message when not.
bool image_fits_device(Context &c, const ComputeImage &image, std::string &error) {
	const VkPhysicalDeviceLimits &limits = c.properties.limits;
	std::string name = "the image at binding " + std::to_string(image.binding);
	VkFormat format = vk_format(image.format);
	if (is_texel_buffer(image)) {
		VkFormatProperties properties;
		vkGetPhysicalDeviceFormatProperties(c.physical, format, &properties);
		VkFormatFeatureFlags wanted = image.kind == ComputeImage::UniformTexelBuffer ? VK_FORMAT_FEATURE_UNIFORM_TEXEL_BUFFER_BIT
			: VK_FORMAT_FEATURE_STORAGE_TEXEL_BUFFER_BIT;
		if ((properties.bufferFeatures & wanted) == 0) {
			error = std::string("the device has no ") + resource_name(resource_of(image.kind)) + " of format " +
				format_name(image.format) + " (" + name + ")";
			return false;
		}
		if (image.width > limits.maxTexelBufferElements) {
			error = name + " is a texel buffer of " + std::to_string(image.width) + " texels, over the device's " +
				std::to_string(limits.maxTexelBufferElements);
			return false;
		}
		return true;
	}
	VkImageUsageFlags usage = VK_IMAGE_USAGE_TRANSFER_SRC_BIT | VK_IMAGE_USAGE_TRANSFER_DST_BIT |
		(image.kind == ComputeImage::StorageImage ? VK_IMAGE_USAGE_STORAGE_BIT : VK_IMAGE_USAGE_SAMPLED_BIT);
	VkImageFormatProperties properties{};
	VkResult result = vkGetPhysicalDeviceImageFormatProperties(c.physical, format,
		image.view == ComputeImage::View3D ? VK_IMAGE_TYPE_3D : VK_IMAGE_TYPE_2D, VK_IMAGE_TILING_OPTIMAL, usage,
		image.view == ComputeImage::ViewCube ? VK_IMAGE_CREATE_CUBE_COMPATIBLE_BIT : 0, &properties);
	if (result == VK_ERROR_FORMAT_NOT_SUPPORTED) {
		error = std::string("the device has no ") + resource_name(resource_of(image.kind)) + " of format " +
			format_name(image.format) + " in a " + view_name(image.view) + " view (" + name + ")";
		return false;
	}
	if (result != VK_SUCCESS) {
		error = failed("vkGetPhysicalDeviceImageFormatProperties", result) + " for " + name;
		return false;
	}
	bool deep = image.view == ComputeImage::View3D;
	if (image.width > properties.maxExtent.width || image.height > properties.maxExtent.height ||
		(deep ? image.depth_or_layers > properties.maxExtent.depth : image.depth_or_layers > properties.maxArrayLayers) ||
		image.levels > properties.maxMipLevels) {
		error = name + ", " + std::to_string(image.width) + " x " + std::to_string(image.height) + " x " +
			std::to_string(image.depth_or_layers) + " of " + std::to_string(image.levels) +
			" levels, is over the device's largest of its format: " + std::to_string(properties.maxExtent.width) + " x " +
			std::to_string(properties.maxExtent.height) + " x " +
			std::to_string(deep ? properties.maxExtent.depth : properties.maxArrayLayers) + " of " +
			std::to_string(properties.maxMipLevels) + " levels";
		return false;
	}
	return true;
}

// The objects of image j of the dispatch: of an image, the image, its memory,
// its view and the buffer its texels go through; of a texel buffer, the
// buffer with the texels and its view.
bool make_image(Context &c, const ComputeImage &image, Dispatch &d, size_t j, std::string &error) {
	VkResult result;
	std::string name = "the image at binding " + std::to_string(image.binding);
	VkFormat format = vk_format(image.format);
	if (is_texel_buffer(image)) {
		VkBufferUsageFlags usage = image.kind == ComputeImage::UniformTexelBuffer ? VK_BUFFER_USAGE_UNIFORM_TEXEL_BUFFER_BIT
			: VK_BUFFER_USAGE_STORAGE_TEXEL_BUFFER_BIT;
		if (!make_host_buffer(c, image.data.size(), usage, image.data, d.image_buffers[j], name, error)) return false;
		VkBufferViewCreateInfo view_info{};
		view_info.sType = VK_STRUCTURE_TYPE_BUFFER_VIEW_CREATE_INFO;
		view_info.buffer = d.image_buffers[j].buffer;
		view_info.format = format;
		view_info.offset = 0;
		view_info.range = VK_WHOLE_SIZE;
		result = vkCreateBufferView(c.device, &view_info, nullptr, &d.buffer_views[j]);
		if (result != VK_SUCCESS) {
			d.buffer_views[j] = VK_NULL_HANDLE;
			error = failed("vkCreateBufferView", result) + " for " + name;
			return false;
		}
		return true;
	}
	if (!make_host_buffer(c, image.data.size(), VK_BUFFER_USAGE_TRANSFER_SRC_BIT | VK_BUFFER_USAGE_TRANSFER_DST_BIT,
			image.data, d.image_buffers[j], "the texels of " + name, error)) {
		return false;
	}
	bool deep = image.view == ComputeImage::View3D;
	VkImageCreateInfo image_info{};
	image_info.sType = VK_STRUCTURE_TYPE_IMAGE_CREATE_INFO;
	image_info.flags = image.view == ComputeImage::ViewCube ? VK_IMAGE_CREATE_CUBE_COMPATIBLE_BIT : 0;
	image_info.imageType = deep ? VK_IMAGE_TYPE_3D : VK_IMAGE_TYPE_2D;
	image_info.format = format;
	image_info.extent = VkExtent3D{image.width, image.height, deep ? image.depth_or_layers : 1};
	image_info.mipLevels = image.levels;
	image_info.arrayLayers = deep ? 1 : image.depth_or_layers;
	image_info.samples = VK_SAMPLE_COUNT_1_BIT;
	image_info.tiling = VK_IMAGE_TILING_OPTIMAL;
	image_info.usage = VK_IMAGE_USAGE_TRANSFER_SRC_BIT | VK_IMAGE_USAGE_TRANSFER_DST_BIT |
		(image.kind == ComputeImage::StorageImage ? VK_IMAGE_USAGE_STORAGE_BIT : VK_IMAGE_USAGE_SAMPLED_BIT);
	image_info.sharingMode = VK_SHARING_MODE_EXCLUSIVE;
	image_info.initialLayout = VK_IMAGE_LAYOUT_UNDEFINED;
	result = vkCreateImage(c.device, &image_info, nullptr, &d.images[j]);
	if (result != VK_SUCCESS) {
		d.images[j] = VK_NULL_HANDLE;
		error = failed("vkCreateImage", result) + " for " + name;
		return false;
	}
	VkMemoryRequirements requirements;
	vkGetImageMemoryRequirements(c.device, d.images[j], &requirements);
	uint32_t type = 0;
	if (!c.memory_type(requirements.memoryTypeBits, VK_MEMORY_PROPERTY_DEVICE_LOCAL_BIT, type) &&
		!c.memory_type(requirements.memoryTypeBits, 0, type)) {
		error = "the device has no memory for " + name;
		return false;
	}
	VkMemoryAllocateInfo allocate{};
	allocate.sType = VK_STRUCTURE_TYPE_MEMORY_ALLOCATE_INFO;
	allocate.allocationSize = requirements.size;
	allocate.memoryTypeIndex = type;
	result = vkAllocateMemory(c.device, &allocate, nullptr, &d.image_memories[j]);
	if (result != VK_SUCCESS) {
		d.image_memories[j] = VK_NULL_HANDLE;
		error = failed("vkAllocateMemory", result) + " for " + name;
		return false;
	}
	result = vkBindImageMemory(c.device, d.images[j], d.image_memories[j], 0);
	if (result != VK_SUCCESS) {
		error = failed("vkBindImageMemory", result) + " for " + name;
		return false;
	}
	VkImageViewCreateInfo view_info{};
	view_info.sType = VK_STRUCTURE_TYPE_IMAGE_VIEW_CREATE_INFO;
	view_info.image = d.images[j];
	switch (image.view) {
	case ComputeImage::View2D: view_info.viewType = VK_IMAGE_VIEW_TYPE_2D; break;
	case ComputeImage::View2DArray: view_info.viewType = VK_IMAGE_VIEW_TYPE_2D_ARRAY; break;
	case ComputeImage::View3D: view_info.viewType = VK_IMAGE_VIEW_TYPE_3D; break;
	case ComputeImage::ViewCube: view_info.viewType = VK_IMAGE_VIEW_TYPE_CUBE; break;
	}
	view_info.format = format;
	view_info.subresourceRange = VkImageSubresourceRange{VK_IMAGE_ASPECT_COLOR_BIT, 0, image.levels, 0, image_info.arrayLayers};
	result = vkCreateImageView(c.device, &view_info, nullptr, &d.image_views[j]);
	if (result != VK_SUCCESS) {
		d.image_views[j] = VK_NULL_HANDLE;
		error = failed("vkCreateImageView", result) + " for " + name;
		return false;
	}
	return true;
}

// a dispatch that takes longer than this is taken for one that never ends
const uint64_t hang_ns = 120ull * 1000 * 1000 * 1000;

bool dispatch(Context &c, const std::vector<uint32_t> &spirv, std::vector<std::vector<uint8_t>> &buffers,
	const std::vector<bool> &uniform, std::vector<ComputeImage> &images, const uint32_t groups[3],
	const ComputeOptions &options, std::string &error) {
	const VkPhysicalDeviceLimits &limits = c.properties.limits;
	for (int i = 0; i < 3; i++) {
		if (groups[i] > limits.maxComputeWorkGroupCount[i]) {
			error = "group count " + std::to_string(groups[i]) + " in dimension " + std::to_string(i) +
				" is over the device's " + std::to_string(limits.maxComputeWorkGroupCount[i]);
			return false;
		}
	}
	// how many descriptors of each kind
	uint32_t counts[StorageTexelBuffer + 1] = {};
	for (size_t i = 0; i < buffers.size(); i++) counts[uniform[i] ? UniformBuffer : StorageBuffer]++;
	for (const ComputeImage &image : images) counts[resource_of(image.kind)]++;
	if (counts[StorageBuffer] > limits.maxPerStageDescriptorStorageBuffers ||
		counts[UniformBuffer] > limits.maxPerStageDescriptorUniformBuffers) {
		error = std::to_string(counts[StorageBuffer]) + " storage and " + std::to_string(counts[UniformBuffer]) +
			" uniform buffers are more than the device binds";
		return false;
	}
	if (counts[StorageImage] + counts[StorageTexelBuffer] > limits.maxPerStageDescriptorStorageImages ||
		counts[CombinedSampler] + counts[UniformTexelBuffer] > limits.maxPerStageDescriptorSampledImages ||
		counts[CombinedSampler] > limits.maxPerStageDescriptorSamplers) {
		error = std::to_string(counts[StorageImage] + counts[StorageTexelBuffer]) + " storage and " +
			std::to_string(counts[CombinedSampler] + counts[UniformTexelBuffer]) + " sampled images are more than the device binds";
		return false;
	}
	// Push constants, when given, fill the device's whole range, zeros after
	// the bytes given, so that the range covers any block the module reads.
	std::vector<uint8_t> push = options.push_constants;
	if (push.size() > limits.maxPushConstantsSize) {
		error = std::to_string(push.size()) + " bytes of push constants are over the device's " +
			std::to_string(limits.maxPushConstantsSize);
		return false;
	}
	if (!push.empty()) push.resize(limits.maxPushConstantsSize / 4 * 4, 0);
	for (const auto &constant : options.specialization) {
		size_t size = constant.second.size();
		if (size != 1 && size != 2 && size != 4 && size != 8) {
			error = "specialization constant " + std::to_string(constant.first) + " has " + std::to_string(size) +
				" bytes: a scalar has 1, 2, 4 or 8 (a bool 4)";
			return false;
		}
	}
	for (const ComputeImage &image : images) {
		if (!image_fits_device(c, image, error)) return false;
	}

	Dispatch d(c);
	VkResult result;

	// buffers, in host-visible coherent memory, filled with the inputs
	size_t count = buffers.size();
	d.buffers.resize(count);
	for (size_t i = 0; i < count; i++) {
		// a descriptor's range is never empty: an empty buffer is one zero word
		VkDeviceSize size = std::max<VkDeviceSize>(buffers[i].size(), 4);
		uint32_t range = uniform[i] ? limits.maxUniformBufferRange : limits.maxStorageBufferRange;
		if (size > range) {
			error = "buffer " + std::to_string(i) + " of " + std::to_string(size) + " bytes is over the device's range of " +
				std::to_string(range);
			return false;
		}
		VkBufferUsageFlags usage = uniform[i] ? VK_BUFFER_USAGE_UNIFORM_BUFFER_BIT : VK_BUFFER_USAGE_STORAGE_BUFFER_BIT;
		if (!make_host_buffer(c, size, usage, buffers[i], d.buffers[i], "buffer " + std::to_string(i), error)) return false;
	}

	// Images, in device memory, each with a host-visible buffer that their
	// texels go through; texel buffers in host-visible memory, with a view.
	size_t image_count = images.size();
	d.image_buffers.resize(image_count);
	d.images.assign(image_count, VK_NULL_HANDLE);
	d.image_memories.assign(image_count, VK_NULL_HANDLE);
	d.image_views.assign(image_count, VK_NULL_HANDLE);
	d.buffer_views.assign(image_count, VK_NULL_HANDLE);
	for (size_t j = 0; j < image_count; j++) {
		if (!make_image(c, images[j], d, j, error)) return false;
	}
	if (counts[CombinedSampler] > 0) {
		// nearest texels of the nearest level, and no level bounds but the image's
		VkSamplerCreateInfo sampler_info{};
		sampler_info.sType = VK_STRUCTURE_TYPE_SAMPLER_CREATE_INFO;
		sampler_info.magFilter = VK_FILTER_NEAREST;
		sampler_info.minFilter = VK_FILTER_NEAREST;
		sampler_info.mipmapMode = VK_SAMPLER_MIPMAP_MODE_NEAREST;
		sampler_info.addressModeU = VK_SAMPLER_ADDRESS_MODE_CLAMP_TO_EDGE;
		sampler_info.addressModeV = VK_SAMPLER_ADDRESS_MODE_CLAMP_TO_EDGE;
		sampler_info.addressModeW = VK_SAMPLER_ADDRESS_MODE_CLAMP_TO_EDGE;
		sampler_info.minLod = 0.0f;
		sampler_info.maxLod = VK_LOD_CLAMP_NONE;
		sampler_info.borderColor = VK_BORDER_COLOR_FLOAT_TRANSPARENT_BLACK;
		result = vkCreateSampler(c.device, &sampler_info, nullptr, &d.sampler);
		if (result != VK_SUCCESS) {
			d.sampler = VK_NULL_HANDLE;
			error = failed("vkCreateSampler", result);
			return false;
		}
	}

	// the descriptors: binding i is buffer i, and the images at theirs, in set 0
	auto descriptor_type = [](Resource resource) {
		switch (resource) {
		case UniformBuffer: return VK_DESCRIPTOR_TYPE_UNIFORM_BUFFER;
		case StorageBuffer: return VK_DESCRIPTOR_TYPE_STORAGE_BUFFER;
		case StorageImage: return VK_DESCRIPTOR_TYPE_STORAGE_IMAGE;
		case CombinedSampler: return VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER;
		case UniformTexelBuffer: return VK_DESCRIPTOR_TYPE_UNIFORM_TEXEL_BUFFER;
		case StorageTexelBuffer: return VK_DESCRIPTOR_TYPE_STORAGE_TEXEL_BUFFER;
		}
		return VK_DESCRIPTOR_TYPE_STORAGE_BUFFER;
	};
	size_t binding_count = count + image_count;
	std::vector<VkDescriptorSetLayoutBinding> layout_bindings(binding_count);
	for (size_t i = 0; i < binding_count; i++) {
		bool buffer = i < count;
		layout_bindings[i].binding = buffer ? static_cast<uint32_t>(i) : images[i - count].binding;
		layout_bindings[i].descriptorType =
			descriptor_type(buffer ? (uniform[i] ? UniformBuffer : StorageBuffer) : resource_of(images[i - count].kind));
		layout_bindings[i].descriptorCount = 1;
		layout_bindings[i].stageFlags = VK_SHADER_STAGE_COMPUTE_BIT;
	}
	VkDescriptorSetLayoutCreateInfo set_layout_info{};
	set_layout_info.sType = VK_STRUCTURE_TYPE_DESCRIPTOR_SET_LAYOUT_CREATE_INFO;
	set_layout_info.bindingCount = static_cast<uint32_t>(binding_count);
	set_layout_info.pBindings = layout_bindings.data();
	result = vkCreateDescriptorSetLayout(c.device, &set_layout_info, nullptr, &d.set_layout);
	if (result != VK_SUCCESS) {
		d.set_layout = VK_NULL_HANDLE;
		error = failed("vkCreateDescriptorSetLayout", result);
		return false;
	}
	VkPushConstantRange push_range{};
	push_range.stageFlags = VK_SHADER_STAGE_COMPUTE_BIT;
	push_range.offset = 0;
	push_range.size = static_cast<uint32_t>(push.size());
	VkPipelineLayoutCreateInfo pipeline_layout_info{};
	pipeline_layout_info.sType = VK_STRUCTURE_TYPE_PIPELINE_LAYOUT_CREATE_INFO;
	pipeline_layout_info.setLayoutCount = 1;
	pipeline_layout_info.pSetLayouts = &d.set_layout;
	pipeline_layout_info.pushConstantRangeCount = push.empty() ? 0 : 1;
	pipeline_layout_info.pPushConstantRanges = &push_range;
	result = vkCreatePipelineLayout(c.device, &pipeline_layout_info, nullptr, &d.pipeline_layout);
	if (result != VK_SUCCESS) {
		d.pipeline_layout = VK_NULL_HANDLE;
		error = failed("vkCreatePipelineLayout", result);
		return false;
	}

	// the module and the pipeline, with the specialization constants
	VkShaderModuleCreateInfo module_info{};
	module_info.sType = VK_STRUCTURE_TYPE_SHADER_MODULE_CREATE_INFO;
	module_info.codeSize = spirv.size() * 4;
	module_info.pCode = spirv.data();
	result = vkCreateShaderModule(c.device, &module_info, nullptr, &d.module);
	if (result != VK_SUCCESS) {
		d.module = VK_NULL_HANDLE;
		error = failed("vkCreateShaderModule", result);
		return false;
	}
	std::vector<VkSpecializationMapEntry> entries;
	std::vector<uint8_t> constants;
	for (const auto &constant : options.specialization) {
		VkSpecializationMapEntry entry{};
		entry.constantID = constant.first;
		entry.offset = static_cast<uint32_t>(constants.size());
		entry.size = constant.second.size();
		entries.push_back(entry);
		constants.insert(constants.end(), constant.second.begin(), constant.second.end());
	}
	VkSpecializationInfo specialization{};
	specialization.mapEntryCount = static_cast<uint32_t>(entries.size());
	specialization.pMapEntries = entries.data();
	specialization.dataSize = constants.size();
	specialization.pData = constants.data();
	VkComputePipelineCreateInfo pipeline_info{};
	pipeline_info.sType = VK_STRUCTURE_TYPE_COMPUTE_PIPELINE_CREATE_INFO;
	pipeline_info.stage.sType = VK_STRUCTURE_TYPE_PIPELINE_SHADER_STAGE_CREATE_INFO;
	pipeline_info.stage.stage = VK_SHADER_STAGE_COMPUTE_BIT;
	pipeline_info.stage.module = d.module;
	pipeline_info.stage.pName = options.entry.c_str();
	pipeline_info.stage.pSpecializationInfo = entries.empty() ? nullptr : &specialization;
	pipeline_info.layout = d.pipeline_layout;
	result = vkCreateComputePipelines(c.device, VK_NULL_HANDLE, 1, &pipeline_info, nullptr, &d.pipeline);
	if (result != VK_SUCCESS) {
		d.pipeline = VK_NULL_HANDLE;
		error = failed("vkCreateComputePipelines", result);
		return false;
	}

	VkDescriptorPoolSize pool_sizes[StorageTexelBuffer + 1] = {};
	uint32_t pool_size_count = 0;
	for (int kind = UniformBuffer; kind <= StorageTexelBuffer; kind++) {
		if (counts[kind] > 0) pool_sizes[pool_size_count++] = VkDescriptorPoolSize{descriptor_type(Resource(kind)), counts[kind]};
	}
	// a pool has at least one size, even for a set without bindings
	if (pool_size_count == 0) pool_sizes[pool_size_count++] = VkDescriptorPoolSize{VK_DESCRIPTOR_TYPE_STORAGE_BUFFER, 1};
	VkDescriptorPoolCreateInfo pool_info{};
	pool_info.sType = VK_STRUCTURE_TYPE_DESCRIPTOR_POOL_CREATE_INFO;
	pool_info.maxSets = 1;
	pool_info.poolSizeCount = pool_size_count;
	pool_info.pPoolSizes = pool_sizes;
	result = vkCreateDescriptorPool(c.device, &pool_info, nullptr, &d.descriptor_pool);
	if (result != VK_SUCCESS) {
		d.descriptor_pool = VK_NULL_HANDLE;
		error = failed("vkCreateDescriptorPool", result);
		return false;
	}
	VkDescriptorSetAllocateInfo set_info{};
	set_info.sType = VK_STRUCTURE_TYPE_DESCRIPTOR_SET_ALLOCATE_INFO;
	set_info.descriptorPool = d.descriptor_pool;
	set_info.descriptorSetCount = 1;
	set_info.pSetLayouts = &d.set_layout;
	VkDescriptorSet set = VK_NULL_HANDLE;
	result = vkAllocateDescriptorSets(c.device, &set_info, &set);
	if (result != VK_SUCCESS) {
		error = failed("vkAllocateDescriptorSets", result);
		return false;
	}
	std::vector<VkDescriptorBufferInfo> buffer_infos(count);
	std::vector<VkDescriptorImageInfo> image_infos(image_count);
	std::vector<VkWriteDescriptorSet> writes(binding_count);
	for (size_t i = 0; i < binding_count; i++) {
		writes[i].sType = VK_STRUCTURE_TYPE_WRITE_DESCRIPTOR_SET;
		writes[i].dstSet = set;
		writes[i].dstBinding = layout_bindings[i].binding;
		writes[i].descriptorCount = 1;
		writes[i].descriptorType = layout_bindings[i].descriptorType;
		if (i < count) {
			buffer_infos[i].buffer = d.buffers[i].buffer;
			buffer_infos[i].offset = 0;
			buffer_infos[i].range = d.buffers[i].size;
			writes[i].pBufferInfo = &buffer_infos[i];
			continue;
		}
		size_t j = i - count;
		if (is_texel_buffer(images[j])) {
			writes[i].pTexelBufferView = &d.buffer_views[j];
			continue;
		}
		bool storage = images[j].kind == ComputeImage::StorageImage;
		image_infos[j].sampler = storage ? VK_NULL_HANDLE : d.sampler;
		image_infos[j].imageView = d.image_views[j];
		image_infos[j].imageLayout = storage ? VK_IMAGE_LAYOUT_GENERAL : VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL;
		writes[i].pImageInfo = &image_infos[j];
	}
	if (binding_count > 0) vkUpdateDescriptorSets(c.device, static_cast<uint32_t>(binding_count), writes.data(), 0, nullptr);

	// record, submit, wait
	VkCommandBufferAllocateInfo command_info{};
	command_info.sType = VK_STRUCTURE_TYPE_COMMAND_BUFFER_ALLOCATE_INFO;
	command_info.commandPool = c.pool;
	command_info.level = VK_COMMAND_BUFFER_LEVEL_PRIMARY;
	command_info.commandBufferCount = 1;
	result = vkAllocateCommandBuffers(c.device, &command_info, &d.command);
	if (result != VK_SUCCESS) {
		d.command = VK_NULL_HANDLE;
		error = failed("vkAllocateCommandBuffers", result);
		return false;
	}
	VkCommandBufferBeginInfo begin{};
	begin.sType = VK_STRUCTURE_TYPE_COMMAND_BUFFER_BEGIN_INFO;
	begin.flags = VK_COMMAND_BUFFER_USAGE_ONE_TIME_SUBMIT_BIT;
	result = vkBeginCommandBuffer(d.command, &begin);
	if (result != VK_SUCCESS) {
		error = failed("vkBeginCommandBuffer", result);
		return false;
	}
	// Images: each level of the texels copied in, then the layout the shader
	// uses them in; after the dispatch, copied out again. The submission
	// makes the host's writes to the buffers visible to the copies.
	std::vector<size_t> real_images; // the images that are not texel buffers
	for (size_t j = 0; j < image_count; j++) {
		if (d.images[j] != VK_NULL_HANDLE) real_images.push_back(j);
	}
	auto regions_of = [&](size_t j) {
		const ComputeImage &image = images[j];
		bool deep = image.view == ComputeImage::View3D;
		std::vector<VkBufferImageCopy> regions(image.levels);
		for (uint32_t level = 0; level < image.levels; level++) {
			VkBufferImageCopy &region = regions[level];
			region.bufferOffset = image_level_offset(image, level);
			region.bufferRowLength = 0; // tightly packed
			region.bufferImageHeight = 0;
			region.imageSubresource = VkImageSubresourceLayers{VK_IMAGE_ASPECT_COLOR_BIT, level, 0, deep ? 1 : image.depth_or_layers};
			region.imageOffset = VkOffset3D{0, 0, 0};
			region.imageExtent = VkExtent3D{std::max(image.width >> level, 1u), std::max(image.height >> level, 1u),
				deep ? std::max(image.depth_or_layers >> level, 1u) : 1u};
		}
		return regions;
	};
	auto image_barrier = [&](size_t j, VkImageLayout from, VkImageLayout to, VkAccessFlags src, VkAccessFlags dst) {
		VkImageMemoryBarrier barrier{};
		barrier.sType = VK_STRUCTURE_TYPE_IMAGE_MEMORY_BARRIER;
		barrier.srcAccessMask = src;
		barrier.dstAccessMask = dst;
		barrier.oldLayout = from;
		barrier.newLayout = to;
		barrier.srcQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
		barrier.dstQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
		barrier.image = d.images[j];
		barrier.subresourceRange = VkImageSubresourceRange{VK_IMAGE_ASPECT_COLOR_BIT, 0, VK_REMAINING_MIP_LEVELS, 0,
			VK_REMAINING_ARRAY_LAYERS};
		return barrier;
	};
	auto shader_layout = [&](size_t j) {
		return images[j].kind == ComputeImage::StorageImage ? VK_IMAGE_LAYOUT_GENERAL : VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL;
	};
	if (!real_images.empty()) {
		std::vector<VkImageMemoryBarrier> barriers;
		for (size_t j : real_images) {
			barriers.push_back(image_barrier(j, VK_IMAGE_LAYOUT_UNDEFINED, VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL, 0,
				VK_ACCESS_TRANSFER_WRITE_BIT));
		}
		vkCmdPipelineBarrier(d.command, VK_PIPELINE_STAGE_TOP_OF_PIPE_BIT, VK_PIPELINE_STAGE_TRANSFER_BIT, 0, 0, nullptr, 0,
			nullptr, static_cast<uint32_t>(barriers.size()), barriers.data());
		for (size_t j : real_images) {
			std::vector<VkBufferImageCopy> regions = regions_of(j);
			vkCmdCopyBufferToImage(d.command, d.image_buffers[j].buffer, d.images[j], VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL,
				static_cast<uint32_t>(regions.size()), regions.data());
		}
		barriers.clear();
		for (size_t j : real_images) {
			barriers.push_back(image_barrier(j, VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL, shader_layout(j),
				VK_ACCESS_TRANSFER_WRITE_BIT, VK_ACCESS_SHADER_READ_BIT | VK_ACCESS_SHADER_WRITE_BIT));
		}
		vkCmdPipelineBarrier(d.command, VK_PIPELINE_STAGE_TRANSFER_BIT, VK_PIPELINE_STAGE_COMPUTE_SHADER_BIT, 0, 0, nullptr, 0,
			nullptr, static_cast<uint32_t>(barriers.size()), barriers.data());
	}
	vkCmdBindPipeline(d.command, VK_PIPELINE_BIND_POINT_COMPUTE, d.pipeline);
	vkCmdBindDescriptorSets(d.command, VK_PIPELINE_BIND_POINT_COMPUTE, d.pipeline_layout, 0, 1, &set, 0, nullptr);
	if (!push.empty()) {
		vkCmdPushConstants(d.command, d.pipeline_layout, VK_SHADER_STAGE_COMPUTE_BIT, 0, static_cast<uint32_t>(push.size()),
			push.data());
	}
	vkCmdDispatch(d.command, groups[0], groups[1], groups[2]);
	VkPipelineStageFlags written = VK_PIPELINE_STAGE_COMPUTE_SHADER_BIT;
	VkAccessFlags writes_done = VK_ACCESS_SHADER_WRITE_BIT;
	if (!real_images.empty()) {
		std::vector<VkImageMemoryBarrier> barriers;
		for (size_t j : real_images) {
			barriers.push_back(image_barrier(j, shader_layout(j), VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL, VK_ACCESS_SHADER_WRITE_BIT,
				VK_ACCESS_TRANSFER_READ_BIT));
		}
		vkCmdPipelineBarrier(d.command, VK_PIPELINE_STAGE_COMPUTE_SHADER_BIT, VK_PIPELINE_STAGE_TRANSFER_BIT, 0, 0, nullptr, 0,
			nullptr, static_cast<uint32_t>(barriers.size()), barriers.data());
		for (size_t j : real_images) {
			std::vector<VkBufferImageCopy> regions = regions_of(j);
			vkCmdCopyImageToBuffer(d.command, d.images[j], VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL, d.image_buffers[j].buffer,
				static_cast<uint32_t>(regions.size()), regions.data());
		}
		written |= VK_PIPELINE_STAGE_TRANSFER_BIT;
		writes_done |= VK_ACCESS_TRANSFER_WRITE_BIT;
	}
	// the shader's and the copies' writes made visible to the host's reads
	VkMemoryBarrier barrier{};
	barrier.sType = VK_STRUCTURE_TYPE_MEMORY_BARRIER;
	barrier.srcAccessMask = writes_done;
	barrier.dstAccessMask = VK_ACCESS_HOST_READ_BIT;
	vkCmdPipelineBarrier(d.command, written, VK_PIPELINE_STAGE_HOST_BIT, 0, 1, &barrier, 0, nullptr, 0, nullptr);
	result = vkEndCommandBuffer(d.command);
	if (result != VK_SUCCESS) {
		error = failed("vkEndCommandBuffer", result);
		return false;
	}
	VkFenceCreateInfo fence_info{};
	fence_info.sType = VK_STRUCTURE_TYPE_FENCE_CREATE_INFO;
	result = vkCreateFence(c.device, &fence_info, nullptr, &d.fence);
	if (result != VK_SUCCESS) {
		d.fence = VK_NULL_HANDLE;
		error = failed("vkCreateFence", result);
		return false;
	}
	VkSubmitInfo submit{};
	submit.sType = VK_STRUCTURE_TYPE_SUBMIT_INFO;
	submit.commandBufferCount = 1;
	submit.pCommandBuffers = &d.command;
	result = vkQueueSubmit(c.queue, 1, &submit, d.fence);
	if (result != VK_SUCCESS) {
		if (result == VK_ERROR_DEVICE_LOST) c.lost = true;
		error = failed("vkQueueSubmit", result);
		return false;
	}
	result = vkWaitForFences(c.device, 1, &d.fence, VK_TRUE, hang_ns);
	if (result != VK_SUCCESS) {
		if (result == VK_TIMEOUT || result == VK_ERROR_DEVICE_LOST) c.lost = true;
		error = failed("vkWaitForFences", result) + (result == VK_TIMEOUT ? ": the dispatch never ended" : "");
		return false;
	}

	for (size_t i = 0; i < count; i++) {
		if (!buffers[i].empty()) std::memcpy(buffers[i].data(), d.buffers[i].mapped, buffers[i].size());
	}
	for (size_t j = 0; j < image_count; j++) {
		std::memcpy(images[j].data.data(), d.image_buffers[j].mapped, images[j].data.size());
	}
	return true;
}

} // namespace

bool compute_available(std::string *why) {
	Context &c = context();
	std::lock_guard<std::mutex> lock(c.mutex);
	if (why != nullptr) *why = c.failure;
	return c.failure.empty();
}

const ComputeDevice &compute_device() {
	return context().info;
}

bool run_compute(const std::vector<uint32_t> &spirv, std::vector<std::vector<uint8_t>> &buffers,
	std::vector<ComputeImage> &images, uint32_t groups_x, uint32_t groups_y, uint32_t groups_z, std::string *error,
	const ComputeOptions &options) {
	std::string sink;
	std::string &message = error != nullptr ? *error : sink;
	message.clear();
	Context &c = context();
	std::lock_guard<std::mutex> lock(c.mutex);
	if (!c.failure.empty()) {
		message = "no compute device: " + c.failure;
		return false;
	}
	if (c.lost) {
		message = "the device is lost: an earlier dispatch never ended";
		return false;
	}

	ModuleUse use;
	if (!scan_module(spirv, options.entry, use, message)) return false;
	std::vector<bool> uniform(buffers.size(), false);
	for (uint32_t binding : options.uniform_bindings) {
		if (binding >= buffers.size()) {
			message = "uniform binding " + std::to_string(binding) + " names no buffer: " + std::to_string(buffers.size()) +
				" were given";
			return false;
		}
		uniform[binding] = true;
	}
	// the images' own bindings, past the buffers' and each its own
	std::unordered_map<uint32_t, size_t> image_at;
	for (size_t j = 0; j < images.size(); j++) {
		if (!check_image(images[j], message)) return false;
		uint32_t binding = images[j].binding;
		if (binding < buffers.size()) {
			message = "binding " + std::to_string(binding) + " is given twice: to buffer " + std::to_string(binding) +
				" and to an image";
			return false;
		}
		if (!image_at.emplace(binding, j).second) {
			message = "binding " + std::to_string(binding) + " is given twice: to two images";
			return false;
		}
	}
	for (const ModuleUse::Binding &binding : use.bindings) {
		std::string name = "set " + std::to_string(binding.set) + " binding " + std::to_string(binding.binding);
		auto image = image_at.find(binding.binding);
		if (binding.set != 0 || (binding.binding >= buffers.size() && image == image_at.end())) {
			message = std::string("the module binds a ") + resource_name(binding.resource) + " at " + name + ", and the run has " +
				std::to_string(buffers.size()) + " buffers in set 0 and no image there";
			return false;
		}
		Resource given = binding.binding < buffers.size() ? (uniform[binding.binding] ? UniformBuffer : StorageBuffer)
			: resource_of(images[image->second].kind);
		if (binding.resource != given) {
			message = std::string("the module's resource at ") + name + " is a " + resource_name(binding.resource) +
				", and the run's a " + resource_name(given);
			return false;
		}
		if (binding.binding < buffers.size()) continue;
		const ComputeImage &run = images[image->second];
		if (!is_texel_buffer(run) && binding.view != run.view) {
			message = std::string("the module's image at ") + name + " is a " + view_name(binding.view) + " image, and the run's a " +
				view_name(run.view) + " one";
			return false;
		}
		if (binding.components != components_of(run.format)) {
			message = std::string("the module's image at ") + name + " reads " + components_name(binding.components) +
				", and the run's format " + format_name(run.format) + " holds " + components_name(components_of(run.format));
			return false;
		}
		if (binding.format != 0 && binding.format != spirv_format(run.format)) {
			message = std::string("the module's image at ") + name + " is of SPIR-V image format " +
				std::to_string(binding.format) + ", and the run's of " + format_name(run.format);
			return false;
		}
	}
	if (use.push_constants && options.push_constants.empty()) {
		message = "the module reads push constants, and the run gives none";
		return false;
	}

	static const bool have_validator = have_tool("spirv-val");
	if (options.validate && have_validator) {
		TempDir dir;
		if (dir.path.empty()) {
			message = "can't make a temporary folder";
			return false;
		}
		std::string path = dir.file("module.spv");
		if (!write_words(path, spirv)) {
			message = "can't write " + path;
			return false;
		}
		std::string output;
		int status = run_command("spirv-val --target-env " + c.target_env() + " " + options.validator_arguments + " " + quote(path),
			&output);
		if (status != 0) {
			message = "spirv-val refused the module:\n" + output;
			return false;
		}
	}

	const uint32_t groups[3] = {groups_x, groups_y, groups_z};
	return dispatch(c, spirv, buffers, uniform, images, groups, options, message);
}

bool run_compute(const std::vector<uint32_t> &spirv, std::vector<std::vector<uint8_t>> &buffers, uint32_t groups_x,
	uint32_t groups_y, uint32_t groups_z, std::string *error, const ComputeOptions &options) {
	std::vector<ComputeImage> none;
	return run_compute(spirv, buffers, none, groups_x, groups_y, groups_z, error, options);
}

#else // no Vulkan at build time

namespace {
const char *const missing = "built without Vulkan (the Vulkan headers and loader were not found when CMake ran)";
}

bool compute_available(std::string *why) {
	if (why != nullptr) *why = missing;
	return false;
}

const ComputeDevice &compute_device() {
	static const ComputeDevice none;
	return none;
}

bool run_compute(const std::vector<uint32_t> &, std::vector<std::vector<uint8_t>> &, uint32_t, uint32_t, uint32_t,
	std::string *error, const ComputeOptions &) {
	if (error != nullptr) *error = missing;
	return false;
}

bool run_compute(const std::vector<uint32_t> &, std::vector<std::vector<uint8_t>> &, std::vector<ComputeImage> &, uint32_t,
	uint32_t, uint32_t, std::string *error, const ComputeOptions &) {
	if (error != nullptr) *error = missing;
	return false;
}

#endif

} // namespace vulkan_test
