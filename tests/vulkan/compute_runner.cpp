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

// What a module binds, read off its words before the driver sees them.
struct ModuleUse {
	struct Binding {
		uint32_t set;
		uint32_t binding;
		bool uniform;
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
		if (variable.storage == ClassUniformConstant) {
			error = "variable " + id + " is an image, sampler or other opaque resource: the runner binds buffers only";
			return false;
		}
		auto pointer = pointers.find(variable.type);
		if (pointer == pointers.end()) {
			error = "variable " + id + " is not of a pointer type";
			return false;
		}
		if (arrays.count(pointer->second.pointee) != 0) {
			error = "variable " + id + " is an array of buffers: the runner binds one buffer per binding";
			return false;
		}
		auto binding = bindings.find(variable.id);
		auto set = sets.find(variable.id);
		if (binding == bindings.end() || set == sets.end()) {
			error = "buffer variable " + id + " has no descriptor set and binding";
			return false;
		}
		bool uniform = variable.storage == ClassUniform && buffer_blocks.count(pointer->second.pointee) == 0;
		use.bindings.push_back(ModuleUse::Binding{set->second, binding->second, uniform});
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
		return "";
	}

	// the memory type of host-visible, coherent memory among the bits
	bool host_memory(uint32_t type_bits, uint32_t &type) const {
		const VkMemoryPropertyFlags wanted = VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT | VK_MEMORY_PROPERTY_HOST_COHERENT_BIT;
		for (uint32_t i = 0; i < memory.memoryTypeCount; i++) {
			if ((type_bits & (1u << i)) != 0 && (memory.memoryTypes[i].propertyFlags & wanted) == wanted) {
				type = i;
				return true;
			}
		}
		return false;
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

// The objects of one dispatch, released in reverse (unless the dispatch
// never ended and the device is lost).
struct Dispatch {
	Context &c;
	std::vector<VkBuffer> buffers;
	std::vector<VkDeviceMemory> memories;
	std::vector<void *> mapped;
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
		for (VkBuffer buffer : buffers) {
			if (buffer != VK_NULL_HANDLE) vkDestroyBuffer(d, buffer, nullptr);
		}
		for (VkDeviceMemory memory : memories) {
			if (memory != VK_NULL_HANDLE) vkFreeMemory(d, memory, nullptr);
		}
	}
	Dispatch(const Dispatch &) = delete;
	Dispatch &operator=(const Dispatch &) = delete;
};

// a dispatch that takes longer than this is taken for one that never ends
const uint64_t hang_ns = 120ull * 1000 * 1000 * 1000;

bool dispatch(Context &c, const std::vector<uint32_t> &spirv, std::vector<std::vector<uint8_t>> &buffers,
	const std::vector<bool> &uniform, const uint32_t groups[3], const ComputeOptions &options, std::string &error) {
	const VkPhysicalDeviceLimits &limits = c.properties.limits;
	for (int i = 0; i < 3; i++) {
		if (groups[i] > limits.maxComputeWorkGroupCount[i]) {
			error = "group count " + std::to_string(groups[i]) + " in dimension " + std::to_string(i) +
				" is over the device's " + std::to_string(limits.maxComputeWorkGroupCount[i]);
			return false;
		}
	}
	uint32_t uniform_count = static_cast<uint32_t>(std::count(uniform.begin(), uniform.end(), true));
	uint32_t storage_count = static_cast<uint32_t>(buffers.size()) - uniform_count;
	if (storage_count > limits.maxPerStageDescriptorStorageBuffers || uniform_count > limits.maxPerStageDescriptorUniformBuffers) {
		error = std::to_string(storage_count) + " storage and " + std::to_string(uniform_count) +
			" uniform buffers are more than the device binds";
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

	Dispatch d(c);
	VkResult result;

	// buffers, in host-visible coherent memory, filled with the inputs
	size_t count = buffers.size();
	d.buffers.assign(count, VK_NULL_HANDLE);
	d.memories.assign(count, VK_NULL_HANDLE);
	d.mapped.assign(count, nullptr);
	std::vector<VkDeviceSize> sizes(count);
	for (size_t i = 0; i < count; i++) {
		// a descriptor's range is never empty: an empty buffer is one zero word
		sizes[i] = std::max<VkDeviceSize>(buffers[i].size(), 4);
		uint32_t range = uniform[i] ? limits.maxUniformBufferRange : limits.maxStorageBufferRange;
		if (sizes[i] > range) {
			error = "buffer " + std::to_string(i) + " of " + std::to_string(sizes[i]) + " bytes is over the device's range of " +
				std::to_string(range);
			return false;
		}
		VkBufferCreateInfo buffer_info{};
		buffer_info.sType = VK_STRUCTURE_TYPE_BUFFER_CREATE_INFO;
		buffer_info.size = sizes[i];
		buffer_info.usage = uniform[i] ? VK_BUFFER_USAGE_UNIFORM_BUFFER_BIT : VK_BUFFER_USAGE_STORAGE_BUFFER_BIT;
		buffer_info.sharingMode = VK_SHARING_MODE_EXCLUSIVE;
		result = vkCreateBuffer(c.device, &buffer_info, nullptr, &d.buffers[i]);
		if (result != VK_SUCCESS) {
			d.buffers[i] = VK_NULL_HANDLE;
			error = failed("vkCreateBuffer", result);
			return false;
		}
		VkMemoryRequirements requirements;
		vkGetBufferMemoryRequirements(c.device, d.buffers[i], &requirements);
		uint32_t type = 0;
		if (!c.host_memory(requirements.memoryTypeBits, type)) {
			error = "the device has no host-visible coherent memory for buffer " + std::to_string(i);
			return false;
		}
		VkMemoryAllocateInfo allocate{};
		allocate.sType = VK_STRUCTURE_TYPE_MEMORY_ALLOCATE_INFO;
		allocate.allocationSize = requirements.size;
		allocate.memoryTypeIndex = type;
		result = vkAllocateMemory(c.device, &allocate, nullptr, &d.memories[i]);
		if (result != VK_SUCCESS) {
			d.memories[i] = VK_NULL_HANDLE;
			error = failed("vkAllocateMemory", result);
			return false;
		}
		result = vkBindBufferMemory(c.device, d.buffers[i], d.memories[i], 0);
		if (result != VK_SUCCESS) {
			error = failed("vkBindBufferMemory", result);
			return false;
		}
		result = vkMapMemory(c.device, d.memories[i], 0, VK_WHOLE_SIZE, 0, &d.mapped[i]);
		if (result != VK_SUCCESS) {
			d.mapped[i] = nullptr;
			error = failed("vkMapMemory", result);
			return false;
		}
		std::memset(d.mapped[i], 0, static_cast<size_t>(sizes[i]));
		if (!buffers[i].empty()) std::memcpy(d.mapped[i], buffers[i].data(), buffers[i].size());
	}

	// the descriptors: binding i is buffer i, in set 0
	std::vector<VkDescriptorSetLayoutBinding> layout_bindings(count);
	for (size_t i = 0; i < count; i++) {
		layout_bindings[i].binding = static_cast<uint32_t>(i);
		layout_bindings[i].descriptorType = uniform[i] ? VK_DESCRIPTOR_TYPE_UNIFORM_BUFFER : VK_DESCRIPTOR_TYPE_STORAGE_BUFFER;
		layout_bindings[i].descriptorCount = 1;
		layout_bindings[i].stageFlags = VK_SHADER_STAGE_COMPUTE_BIT;
	}
	VkDescriptorSetLayoutCreateInfo set_layout_info{};
	set_layout_info.sType = VK_STRUCTURE_TYPE_DESCRIPTOR_SET_LAYOUT_CREATE_INFO;
	set_layout_info.bindingCount = static_cast<uint32_t>(count);
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

	VkDescriptorPoolSize pool_sizes[2] = {};
	uint32_t pool_size_count = 0;
	if (storage_count > 0) pool_sizes[pool_size_count++] = VkDescriptorPoolSize{VK_DESCRIPTOR_TYPE_STORAGE_BUFFER, storage_count};
	if (uniform_count > 0) pool_sizes[pool_size_count++] = VkDescriptorPoolSize{VK_DESCRIPTOR_TYPE_UNIFORM_BUFFER, uniform_count};
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
	std::vector<VkWriteDescriptorSet> writes(count);
	for (size_t i = 0; i < count; i++) {
		buffer_infos[i].buffer = d.buffers[i];
		buffer_infos[i].offset = 0;
		buffer_infos[i].range = sizes[i];
		writes[i].sType = VK_STRUCTURE_TYPE_WRITE_DESCRIPTOR_SET;
		writes[i].dstSet = set;
		writes[i].dstBinding = static_cast<uint32_t>(i);
		writes[i].descriptorCount = 1;
		writes[i].descriptorType = layout_bindings[i].descriptorType;
		writes[i].pBufferInfo = &buffer_infos[i];
	}
	if (count > 0) vkUpdateDescriptorSets(c.device, static_cast<uint32_t>(count), writes.data(), 0, nullptr);

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
	vkCmdBindPipeline(d.command, VK_PIPELINE_BIND_POINT_COMPUTE, d.pipeline);
	vkCmdBindDescriptorSets(d.command, VK_PIPELINE_BIND_POINT_COMPUTE, d.pipeline_layout, 0, 1, &set, 0, nullptr);
	if (!push.empty()) {
		vkCmdPushConstants(d.command, d.pipeline_layout, VK_SHADER_STAGE_COMPUTE_BIT, 0, static_cast<uint32_t>(push.size()),
			push.data());
	}
	vkCmdDispatch(d.command, groups[0], groups[1], groups[2]);
	// the shader's writes made visible to the host's reads
	VkMemoryBarrier barrier{};
	barrier.sType = VK_STRUCTURE_TYPE_MEMORY_BARRIER;
	barrier.srcAccessMask = VK_ACCESS_SHADER_WRITE_BIT;
	barrier.dstAccessMask = VK_ACCESS_HOST_READ_BIT;
	vkCmdPipelineBarrier(d.command, VK_PIPELINE_STAGE_COMPUTE_SHADER_BIT, VK_PIPELINE_STAGE_HOST_BIT, 0, 1, &barrier, 0,
		nullptr, 0, nullptr);
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
		if (!buffers[i].empty()) std::memcpy(buffers[i].data(), d.mapped[i], buffers[i].size());
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

bool run_compute(const std::vector<uint32_t> &spirv, std::vector<std::vector<uint8_t>> &buffers, uint32_t groups_x,
	uint32_t groups_y, uint32_t groups_z, std::string *error, const ComputeOptions &options) {
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
	for (const ModuleUse::Binding &binding : use.bindings) {
		std::string name = "set " + std::to_string(binding.set) + " binding " + std::to_string(binding.binding);
		if (binding.set != 0 || binding.binding >= buffers.size()) {
			message = "the module binds a buffer at " + name + ", and the run has " + std::to_string(buffers.size()) +
				" buffers in set 0";
			return false;
		}
		if (binding.uniform != uniform[binding.binding]) {
			message = std::string("the module's buffer at ") + name + " is a " + (binding.uniform ? "uniform" : "storage") +
				" buffer, and the run's a " + (binding.uniform ? "storage" : "uniform") + " buffer";
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
	return dispatch(c, spirv, buffers, uniform, groups, options, message);
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

#endif

} // namespace vulkan_test
