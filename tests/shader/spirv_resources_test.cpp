// The resources unit of the base renderer: the kind of each resource (checked
// against an independent reflection of the same module), its binding with the
// offsets of its kind, the assignment of bindings across descriptor sets under
// a target's namespaces, the reads and writes of storage images, the depth
// comparisons of textures, and where the texture and sampler of a combination
// come from through function parameters. The modules are the reference
// compiler's, or assembled, and every one passes spirv-val.
#include <gtest/gtest.h>

#include "spirv_fixtures.h"

#include "shader/ShaderSpirvNumbers.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace spirv_test;
using namespace Vexa;

class ResourceProbe : public ShaderSpirv {
public:
	using ShaderSpirv::assign_bindings;
	using ShaderSpirv::find_resource_uses;
	using ShaderSpirv::get_place_elements;
	using ShaderSpirv::get_resource_binding;
	using ShaderSpirv::get_resource_kind;
	using ShaderSpirv::get_value_place;
	using ShaderSpirv::image_access;
	using ShaderSpirv::records;
	using ShaderSpirv::resources;
	using ShaderSpirv::sampled_uses;
	using ShaderSpirv::texture_sampling;

	// the variable of a name, 0 for none
	uint32_t variable(const std::string &name) const {
		for (uint32_t id = 0; id < records.size(); id++) {
			if (find_target(id).get_opcode() == Spirv::OpVariable && name == records[id].name.get()) return id;
		}
		return 0;
	}
	std::string name(uint32_t id) const { return id < records.size() ? records[id].name.get() : "?"; }
	// the block type's name of a block variable, else empty
	std::string block_name(uint32_t id) const {
		Iterator element = get_element_type(get_target_type(id));
		return element.get_opcode() == Spirv::OpTypeStruct ? name(element[1]) : std::string();
	}
	bool is_combined(uint32_t id) const { return get_element_type(get_target_type(id)).get_opcode() == Spirv::OpTypeSampledImage; }
	// the results and operands of the module's instructions of an opcode
	std::vector<Iterator> instructions(int32_t opcode) const {
		std::vector<Iterator> ret;
		for (Iterator it = get_iterator(5); !it.is_end() && it.get_size() != 0; it = it.advance(it.get_size())) {
			if (it.get_opcode() == opcode) ret.push_back(it);
		}
		return ret;
	}
};

// the reference compiler's module of a shader, checked by spirv-val; empty
// after a failure
std::vector<uint32_t> compile(const std::string &stage, const std::string &env, const std::string &source) {
	std::string input = temp_path("resources." + stage);
	std::string output = temp_path("resources.spv");
	std::ofstream(input) << source;
	std::string errors;
	std::vector<uint32_t> words;
	if (run("glslangValidator -V --target-env " + env + " -o " + output + " " + input, &errors)) words = read_words(output);
	EXPECT_FALSE(words.empty()) << errors << source;
	if (!words.empty()) {
		EXPECT_EQ(spirv_val(words, env), "");
	}
	std::remove(input.c_str());
	std::remove(output.c_str());
	return words;
}

bool have_tools() {
	return have_tool("glslangValidator") && have_tool("spirv-val") && have_tool("spirv-as");
}

// every kind of resource, in a module of the ray query's environment
const char *const kinds_source =
	"#version 460\n"
	"#extension GL_EXT_ray_query : require\n"
	"layout(set = 0, binding = 0) uniform U { vec4 u; } ubo;\n"
	"layout(set = 0, binding = 1) buffer S { vec4 s[]; } ssbo;\n"
	"layout(push_constant) uniform P { vec4 p; } pc;\n"
	"layout(set = 0, binding = 2) uniform sampler2D combined[3];\n"
	"layout(set = 0, binding = 5) uniform texture2D tex;\n"
	"layout(set = 0, binding = 6) uniform sampler smp;\n"
	"layout(set = 0, binding = 7, rgba8) uniform image2D img;\n"
	"layout(set = 0, binding = 8) uniform samplerBuffer texels;\n"
	"layout(set = 0, binding = 9) uniform textureBuffer bare_texels;\n"
	"layout(set = 0, binding = 10, r32f) uniform imageBuffer storage_texels;\n"
	"layout(set = 0, binding = 11) uniform accelerationStructureEXT scene;\n"
	"layout(input_attachment_index = 0, set = 0, binding = 12) uniform subpassInput attachment;\n"
	"layout(location = 0) in vec2 uv;\n"
	"layout(location = 0) out vec4 color;\n"
	"void main() {\n"
	"\trayQueryEXT q;\n"
	"\trayQueryInitializeEXT(q, scene, 0u, 0xffu, vec3(0.0), 0.0, vec3(1.0), 1.0);\n"
	"\tcolor = ubo.u + ssbo.s[0] + pc.p + texture(combined[1], uv) + texture(sampler2D(tex, smp), uv) + imageLoad(img, ivec2(0))\n"
	"\t\t+ texelFetch(texels, 0) + texelFetch(bare_texels, 0) + imageLoad(storage_texels, 0) + subpassLoad(attachment);\n"
	"}\n";

// storage blocks of the older form: Uniform blocks decorated BufferBlock
const char *const buffer_block_source =
	"#version 450\n"
	"layout(set = 0, binding = 0) buffer Old { vec4 o[]; } old;\n"
	"layout(set = 0, binding = 1) buffer Olds { vec4 o; } olds[2];\n"
	"layout(set = 0, binding = 3) uniform Plain { vec4 p; } plain;\n"
	"layout(location = 0) out vec4 color;\n"
	"void main() { color = old.o[0] + olds[1].o + plain.p; }\n";

// The names that a reflection of the module lists under each of its
// categories of resources: the variable's, or a block's type name.
std::map<std::string, std::string> reflected_categories(const std::vector<uint32_t> &words) {
	std::map<std::string, std::string> ret;
	std::string module = temp_path("reflect.spv");
	std::string json = temp_path("reflect.json");
	write_words(module, words);
	std::string errors;
	bool ok = run("spirv-cross " + module + " --reflect --output " + json, &errors);
	EXPECT_TRUE(ok) << errors;
	std::string text = ok ? read_text(json) : std::string();
	std::remove(module.c_str());
	std::remove(json.c_str());
	static const char *const categories[] = {"ubos", "ssbos", "push_constants", "textures", "separate_images", "separate_samplers", "images",
		"acceleration_structures", "subpass_inputs"};
	for (const char *category : categories) {
		size_t at = text.find(std::string("\"") + category + "\" : [");
		if (at == std::string::npos) continue;
		// the names of the entries, one level inside the list
		int depth = 0;
		for (size_t i = text.find('[', at); i < text.size(); i++) {
			char c = text[i];
			if (c == '[' || c == '{') depth++;
			if (c == ']' || c == '}') depth--;
			if (depth == 0) break;
			static const std::string key = "\"name\" : \"";
			if (depth == 2 && text.compare(i, key.size(), key) == 0) {
				size_t end = text.find('"', i + key.size());
				ret[text.substr(i + key.size(), end - i - key.size())] = category;
			}
		}
	}
	return ret;
}

// the reflection's category of a kind of resource
std::string category_of(ResourceKind kind, bool combined) {
	switch (kind) {
		case ResourceUniformBlock: return "ubos";
		case ResourceStorageBlock: return "ssbos";
		case ResourcePushConstant: return "push_constants";
		case ResourceSampledImage: return "separate_images";
		case ResourceStorageImage: return "images";
		case ResourceSampler: return "separate_samplers";
		case ResourceCombinedImageSampler: return "textures";
		case ResourceUniformTexelBuffer: return combined ? "textures" : "separate_images";
		case ResourceStorageTexelBuffer: return "images";
		case ResourceAccelerationStructure: return "acceleration_structures";
		case ResourceInputAttachment: return "subpass_inputs";
		default: return "";
	}
}

TEST(SpirvResources, KindsAsTheReflectionHasThem) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator or the SPIR-V tools are not installed";
	struct Module {
		const char *env;
		const char *source;
		std::vector<std::pair<const char *, ResourceKind>> kinds;
	};
	const Module modules[] = {
		{"vulkan1.2", kinds_source,
			{{"ubo", ResourceUniformBlock}, {"ssbo", ResourceStorageBlock}, {"pc", ResourcePushConstant}, {"combined", ResourceCombinedImageSampler},
				{"tex", ResourceSampledImage}, {"smp", ResourceSampler}, {"img", ResourceStorageImage}, {"texels", ResourceUniformTexelBuffer},
				{"bare_texels", ResourceUniformTexelBuffer}, {"storage_texels", ResourceStorageTexelBuffer}, {"scene", ResourceAccelerationStructure},
				{"attachment", ResourceInputAttachment}, {"uv", ResourceNone}, {"color", ResourceNone}}},
		{"vulkan1.0", buffer_block_source, {{"old", ResourceStorageBlock}, {"olds", ResourceStorageBlock}, {"plain", ResourceUniformBlock}}},
	};
	bool reflect = have_tool("spirv-cross");
	for (const Module &m : modules) {
		SCOPED_TRACE(m.env);
		std::vector<uint32_t> words = compile("frag", m.env, m.source);
		ASSERT_FALSE(words.empty());
		ResourceProbe probe;
		ASSERT_TRUE(probe.load(to_array(words)));
		for (const auto &expected : m.kinds) {
			uint32_t id = probe.variable(expected.first);
			ASSERT_NE(id, 0u) << expected.first;
			EXPECT_EQ(probe.get_resource_kind(id), expected.second) << expected.first;
		}
		// every resource of the module is in the reflection's category of its kind
		if (!reflect) continue;
		std::map<std::string, std::string> categories = reflected_categories(words);
		for (uint32_t i = 0; i < probe.resources.size(); i++) {
			uint32_t id = probe.resources[i];
			std::string name = probe.name(id);
			auto found = categories.find(name);
			if (found == categories.end()) found = categories.find(probe.block_name(id));
			ASSERT_NE(found, categories.end()) << name;
			EXPECT_EQ(category_of(probe.get_resource_kind(id), probe.is_combined(id)), found->second) << name;
		}
	}
	// ids that are no variables are no resources
	ResourceProbe probe;
	ASSERT_TRUE(probe.load(to_array(compile("frag", "vulkan1.0", buffer_block_source))));
	for (uint32_t id : {0u, 1u, 0xffffffffu}) EXPECT_EQ(probe.get_resource_kind(id), ResourceNone) << id;
}

TEST(SpirvResources, BindingsTakeTheOffsetsOfTheirKinds) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator or the SPIR-V tools are not installed";
	struct Module {
		const char *env;
		const char *source;
	};
	const Module modules[] = {{"vulkan1.2", kinds_source}, {"vulkan1.0", buffer_block_source}};
	// distinct offsets, so that each binding names the one it took
	BindingOffsets offsets;
	const int16_t values[BindingOffsets::NumKinds] = {100, 200, 300, 400, 500, 600, 700, 800};
	for (uint32_t k = 0; k < BindingOffsets::NumKinds; k++) offsets.offsets[k] = values[k];
	BindingOffsets lowering;
	lowering.offsets[BindingOffsets::Surface] = -7;
	lowering.offsets[BindingOffsets::Storage] = -1;
	struct Case {
		const char *variable;
		uint32_t plain;
		uint32_t offset;    // with `offsets`
		uint32_t lowered;   // with `lowering`
	};
	const Case cases[] = {
		{"ubo", 0, 0, 0},
		{"ssbo", 1, 501, 0},
		{"pc", ~0u, ~0u, ~0u},
		{"combined", 2, 2, 2},
		{"tex", 5, 5, 5},
		{"smp", 6, 6, 6},
		{"img", 7, 307, 0},
		{"texels", 8, 708, 8},             // combined with its sampler
		{"bare_texels", 9, 9, 9},          // a texture
		{"storage_texels", 10, 310, 3},
		{"scene", 11, 11, 11},
		{"attachment", 12, 312, 5},
		{"uv", ~0u, ~0u, ~0u},
		{"old", 0, 500, static_cast<uint32_t>(-1)},
		{"olds", 1, 501, 0},
		{"plain", 3, 3, 3},
	};
	for (const Module &m : modules) {
		std::vector<uint32_t> words = compile("frag", m.env, m.source);
		ASSERT_FALSE(words.empty());
		ResourceProbe plain, offset, lowered;
		offset.setBindingOffsets(offsets);
		lowered.setBindingOffsets(lowering);
		ASSERT_TRUE(plain.load(to_array(words)));
		ASSERT_TRUE(offset.load(to_array(words)));
		ASSERT_TRUE(lowered.load(to_array(words)));
		for (const Case &c : cases) {
			uint32_t id = plain.variable(c.variable);
			if (id == 0) continue;
			SCOPED_TRACE(c.variable);
			EXPECT_EQ(plain.get_resource_binding(id), c.plain);
			EXPECT_EQ(offset.get_resource_binding(id), c.offset);
			EXPECT_EQ(lowered.get_resource_binding(id), c.lowered);
		}
	}
}

// GL's namespaces: uniform and push-constant blocks, storage blocks, textures
// (with the texel buffers that go with a sampler), images
const BindingPolicy four_spaces = {
	{NoBindingSpace, 0, 1, NoBindingSpace, 2, 3, NoBindingSpace, 2, 2, 3, NoBindingSpace, 3},
	0,
};
// one namespace for every kind with a binding, samplers too
const BindingPolicy one_space = {
	{NoBindingSpace, 0, 0, NoBindingSpace, 0, 0, 0, 0, 0, 0, 0, 0},
	0,
};
// no binding for the push-constant blocks
const BindingPolicy no_push = {
	{NoBindingSpace, 0, 1, NoBindingSpace, 2, 3, NoBindingSpace, 2, 2, 3, NoBindingSpace, 3},
	NoBindingSpace,
};

const char *const sets_source =
	"#version 450\n"
	"layout(set = 0, binding = 0) uniform A { vec4 v; } a;\n"
	"layout(set = 0, binding = 1) uniform B { vec4 v; } b;\n"
	"layout(set = 1, binding = 0) uniform C { vec4 v; } c;\n"
	"layout(set = 1, binding = 1) uniform texture2D t;\n"
	"layout(set = 0, binding = 2) uniform sampler2D rows[3];\n"
	"layout(set = 2, binding = 3) uniform sampler2D late;\n"
	"layout(set = 1, binding = 2) buffer D { vec4 v[]; } d;\n"
	"layout(push_constant) uniform P { vec4 v; } pc;\n"
	"void main() {}\n";

const char *const collision_source =
	"#version 450\n"
	"layout(set = 0, binding = 0) uniform A { vec4 v; } a;\n"
	"layout(set = 0, binding = 0) uniform texture2D t;\n"
	"layout(set = 1, binding = 0) uniform E { vec4 v; } e;\n"
	"layout(push_constant) uniform P { vec4 v; } pc;\n"
	"void main() {}\n";

const char *const counts_source =
	"#version 450\n"
	"#extension GL_EXT_nonuniform_qualifier : require\n"
	"layout(set = 0, binding = 0) uniform texture2D many[];\n"
	"layout(set = 0, binding = 1) uniform texture2D huge[5000];\n"
	"layout(set = 0, binding = 2) uniform sampler smp;\n"
	"layout(set = 1, binding = 1) uniform texture2D after;\n"
	"layout(push_constant) uniform P { int k; } pc;\n"
	"layout(location = 0) in vec2 uv;\n"
	"layout(location = 0) out vec4 color;\n"
	"void main() { color = texture(sampler2D(many[pc.k], smp), uv); }\n";

// the issues of an assignment as text: "runtime many", "size huge 5000",
// "collision 0 a t" (the two names in order)
std::vector<std::string> issue_texts(const ResourceProbe &probe, const BindingAssignment &assignment) {
	std::vector<std::string> ret;
	for (uint32_t i = 0; i < assignment.issues.size(); i++) {
		const BindingIssue &issue = assignment.issues[i];
		switch (issue.kind) {
			case BindingIssueRuntimeArray:
				ret.push_back("runtime " + probe.name(issue.variable));
				break;
			case BindingIssueArraySize:
				ret.push_back("size " + probe.name(issue.variable) + " " + std::to_string(issue.count));
				break;
			case BindingIssueCollision: {
				std::string first = probe.name(issue.variable), second = probe.name(issue.other);
				if (second < first) std::swap(first, second);
				ret.push_back("collision " + std::to_string(issue.binding) + " " + first + " " + second);
				break;
			}
		}
	}
	return ret;
}

TEST(SpirvResources, AssignmentAcrossSetsInTheTargetsNamespaces) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator or the SPIR-V tools are not installed";
	struct Case {
		const char *name;
		const char *source;
		const BindingPolicy *policy;
		// every resource that takes part, with the binding it is given
		std::vector<std::pair<const char *, uint32_t>> assigned;
		std::vector<const char *> moved;   // in the order of the assignment
		uint32_t push;                     // ~0u for none
		std::vector<std::string> issues;
	};
	const Case cases[] = {
		{"lower sets keep, namespaces apart", sets_source, &four_spaces,
			{{"a", 0}, {"b", 1}, {"rows", 2}, {"c", 2}, {"t", 1}, {"d", 2}, {"late", 5}}, {"c", "late"}, 3, {}},
		{"one namespace moves more", sets_source, &one_space,
			{{"a", 0}, {"b", 1}, {"rows", 2}, {"c", 5}, {"t", 6}, {"d", 7}, {"late", 8}}, {"c", "t", "d", "late"}, 9, {}},
		{"push constants without a binding", sets_source, &no_push,
			{{"a", 0}, {"b", 1}, {"rows", 2}, {"c", 2}, {"t", 1}, {"d", 2}, {"late", 5}}, {"c", "late"}, ~0u, {}},
		{"namespaces apart do not collide", collision_source, &four_spaces, {{"a", 0}, {"t", 0}, {"e", 1}}, {"e"}, 2, {}},
		{"a collision within a set ends it", collision_source, &one_space, {{"a", 0}, {"t", 0}, {"e", 0}}, {}, ~0u, {"collision 0 a t"}},
		{"arrays that cannot be counted", counts_source, &four_spaces, {{"after", 1}}, {}, 0, {"runtime many", "size huge 5000"}},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		std::vector<uint32_t> words = compile("frag", "vulkan1.0", c.source);
		ASSERT_FALSE(words.empty());
		ResourceProbe probe;
		ASSERT_TRUE(probe.load(to_array(words)));
		BindingAssignment assignment;
		probe.assign_bindings(*c.policy, assignment);
		std::map<std::string, uint32_t> assigned;
		std::vector<std::string> moved;
		for (uint32_t i = 0; i < assignment.resources.size(); i++) {
			const ResourceBinding &entry = assignment.resources[i];
			assigned[probe.name(entry.variable)] = entry.assigned;
			// sorted by set, then binding
			if (i > 0) {
				const ResourceBinding &before = assignment.resources[i - 1];
				EXPECT_TRUE(before.set < entry.set || (before.set == entry.set && before.binding <= entry.binding)) << probe.name(entry.variable);
			}
			const uint32_t *to = assignment.moved.get(entry.variable);
			EXPECT_EQ(to != nullptr, entry.assigned != entry.binding) << probe.name(entry.variable);
			if (to) {
				moved.push_back(probe.name(entry.variable));
				EXPECT_EQ(*to, entry.assigned);
			}
		}
		std::map<std::string, uint32_t> expected(c.assigned.begin(), c.assigned.end());
		EXPECT_EQ(assigned, expected);
		EXPECT_EQ(moved, std::vector<std::string>(c.moved.begin(), c.moved.end()));
		uint32_t pc = probe.variable("pc");
		const uint32_t *push = nullptr;
		for (auto it = assignment.push.begin(); it != assignment.push.end(); ++it) push = &it->value;
		if (c.push == ~0u) {
			EXPECT_EQ(push, nullptr);
		} else {
			ASSERT_NE(pc, 0u);
			ASSERT_NE(push, nullptr);
			EXPECT_EQ(*push, c.push);
		}
		EXPECT_EQ(issue_texts(probe, assignment), c.issues);
	}
}

const char *const uses_source =
	"#version 450\n"
	"layout(set = 0, binding = 0, r32f) uniform image2D read_only;\n"
	"layout(set = 0, binding = 1, r32f) uniform image2D write_only;\n"
	"layout(set = 0, binding = 2, r32f) uniform image2D read_write;\n"
	"layout(set = 0, binding = 3, r32ui) uniform uimage2D atomic;\n"
	"layout(set = 0, binding = 4, r32f) uniform image2D untouched;\n"
	"layout(set = 0, binding = 5, r32f) uniform image2D rows[2];\n"
	"layout(set = 0, binding = 7) uniform sampler2DShadow compared;\n"
	"layout(set = 0, binding = 8) uniform sampler2D uncompared;\n"
	"layout(set = 0, binding = 9) uniform texture2D both;\n"
	"layout(set = 0, binding = 10) uniform sampler plain;\n"
	"layout(set = 0, binding = 11) uniform samplerShadow comparing;\n"
	"layout(set = 0, binding = 12) uniform texture2D fetched;\n"
	"layout(set = 0, binding = 13) uniform sampler2DShadow gathered;\n"
	"layout(location = 0) in vec2 uv;\n"
	"layout(location = 0) out vec4 color;\n"
	"void main() {\n"
	"\tfloat r = imageLoad(read_only, ivec2(0)).x;\n"
	"\timageStore(write_only, ivec2(0), vec4(r));\n"
	"\timageStore(read_write, ivec2(1), imageLoad(read_write, ivec2(0)));\n"
	"\timageAtomicAdd(atomic, ivec2(0), 1u);\n"
	"\timageStore(rows[1], ivec2(0), vec4(r));\n"
	"\tcolor = vec4(texture(compared, vec3(uv, 0.5))) + texture(uncompared, uv) + texture(sampler2D(both, plain), uv)\n"
	"\t\t+ vec4(texture(sampler2DShadow(both, comparing), vec3(uv, 0.5))) + texelFetch(sampler2D(fetched, plain), ivec2(0), 0)\n"
	"\t\t+ textureGather(gathered, uv, 0.5);\n"
	"}\n";

TEST(SpirvResources, ImageAccessAndDepthComparisons) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator or the SPIR-V tools are not installed";
	std::vector<uint32_t> words = compile("frag", "vulkan1.0", uses_source);
	ASSERT_FALSE(words.empty());
	ResourceProbe probe;
	ASSERT_TRUE(probe.load(to_array(words)));
	probe.find_resource_uses();
	struct Case {
		const char *variable;
		uint32_t access;
		uint32_t sampling;
	};
	const Case cases[] = {
		{"read_only", ImageRead, 0},
		{"write_only", ImageWrite, 0},
		{"read_write", ImageRead | ImageWrite, 0},
		{"atomic", ImageRead | ImageWrite, 0},     // through its texel pointer
		{"untouched", 0, 0},
		{"rows", ImageWrite, 0},                   // an element of an array
		{"compared", 0, TextureCompared},
		{"uncompared", 0, TextureUncompared},
		{"both", 0, TextureCompared | TextureUncompared},
		{"fetched", 0, TextureUncompared},         // a fetch compares nothing
		{"gathered", 0, TextureCompared},
		{"plain", 0, 0},
		{"comparing", 0, 0},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.variable);
		uint32_t id = probe.variable(c.variable);
		ASSERT_NE(id, 0u);
		const uint32_t *access = probe.image_access.get(id);
		const uint32_t *sampling = probe.texture_sampling.get(id);
		EXPECT_EQ(access ? *access : 0u, c.access);
		EXPECT_EQ(sampling ? *sampling : 0u, c.sampling);
	}
	// the combinations that sampling uses; the fetch takes its texture back
	std::vector<ShaderSpirv::Iterator> combinations = probe.instructions(Spirv::OpSampledImage);
	ASSERT_EQ(combinations.size(), 3u);
	uint32_t sampled = 0;
	for (const ShaderSpirv::Iterator &it : combinations) {
		ResourcePlace texture;
		ASSERT_TRUE(probe.get_value_place(it[3], texture));
		bool fetch = texture.root == probe.variable("fetched");
		EXPECT_EQ(probe.sampled_uses.find(it[2]) != nullptr, !fetch) << probe.name(texture.root);
		sampled += fetch ? 0 : 1;
	}
	EXPECT_EQ(sampled, 2u);
}

// a texture and a sampler passed into a function, once directly and through
// a second function with a constant and a run-time element of an array
const char *const places_source =
	"#version 450\n"
	"layout(set = 0, binding = 0) uniform texture2D single;\n"
	"layout(set = 0, binding = 1) uniform texture2D row[4];\n"
	"layout(set = 0, binding = 5) uniform sampler smp;\n"
	"layout(push_constant) uniform P { int k; } pc;\n"
	"layout(location = 0) in vec2 uv;\n"
	"layout(location = 0) out vec4 color;\n"
	"vec4 look(texture2D t, sampler s) { return texture(sampler2D(t, s), uv); }\n"
	"vec4 through(texture2D t) { return look(t, smp); }\n"
	"void main() { color = look(single, smp) + through(row[2]) + through(row[pc.k]); }\n";

// a texture passed by value, once as a texture and once as an undefined value
const char *const undefined_argument_module =
	"OpCapability Shader\n"
	"OpMemoryModel Logical GLSL450\n"
	"OpEntryPoint Fragment %main \"main\" %uv %color\n"
	"OpExecutionMode %main OriginUpperLeft\n"
	"OpName %t \"t\"\n"
	"OpName %tex \"tex\"\n"
	"OpDecorate %tex DescriptorSet 0\n"
	"OpDecorate %tex Binding 0\n"
	"OpDecorate %smp DescriptorSet 0\n"
	"OpDecorate %smp Binding 1\n"
	"OpDecorate %uv Location 0\n"
	"OpDecorate %color Location 0\n"
	"%void = OpTypeVoid\n"
	"%fn = OpTypeFunction %void\n"
	"%float = OpTypeFloat 32\n"
	"%v2 = OpTypeVector %float 2\n"
	"%v4 = OpTypeVector %float 4\n"
	"%img = OpTypeImage %float 2D 0 0 0 1 Unknown\n"
	"%pimg = OpTypePointer UniformConstant %img\n"
	"%sam = OpTypeSampler\n"
	"%psam = OpTypePointer UniformConstant %sam\n"
	"%si = OpTypeSampledImage %img\n"
	"%pv2 = OpTypePointer Input %v2\n"
	"%pv4 = OpTypePointer Output %v4\n"
	"%fs = OpTypeFunction %v4 %img\n"
	"%tex = OpVariable %pimg UniformConstant\n"
	"%smp = OpVariable %psam UniformConstant\n"
	"%uv = OpVariable %pv2 Input\n"
	"%color = OpVariable %pv4 Output\n"
	"%undefined = OpUndef %img\n"
	"%main = OpFunction %void None %fn\n"
	"%entry = OpLabel\n"
	"%a = OpLoad %img %tex\n"
	"%ra = OpFunctionCall %v4 %sample %a\n"
	"%rb = OpFunctionCall %v4 %sample %undefined\n"
	"%r = OpFAdd %v4 %ra %rb\n"
	"OpStore %color %r\n"
	"OpReturn\n"
	"OpFunctionEnd\n"
	"%sample = OpFunction %v4 None %fs\n"
	"%t = OpFunctionParameter %img\n"
	"%body = OpLabel\n"
	"%s = OpLoad %sam %smp\n"
	"%c = OpSampledImage %si %t %s\n"
	"%p = OpLoad %v2 %uv\n"
	"%v = OpImageSampleImplicitLod %v4 %c %p\n"
	"OpReturnValue %v\n"
	"OpFunctionEnd\n";

std::vector<std::string> element_texts(const ResourceProbe &probe, const Array<ResourceElements> &elements) {
	std::vector<std::string> ret;
	for (uint32_t i = 0; i < elements.size(); i++) {
		ret.push_back(probe.name(elements[i].variable) + " " + std::to_string(elements[i].first) + " " + std::to_string(elements[i].count));
	}
	return ret;
}

TEST(SpirvResources, CombinationsThroughFunctionParameters) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator or the SPIR-V tools are not installed";
	std::vector<uint32_t> words = compile("frag", "vulkan1.0", places_source);
	ASSERT_FALSE(words.empty());
	ResourceProbe probe;
	ASSERT_TRUE(probe.load(to_array(words)));
	probe.find_resource_uses();
	std::vector<ShaderSpirv::Iterator> combinations = probe.instructions(Spirv::OpSampledImage);
	ASSERT_EQ(combinations.size(), 1u);
	EXPECT_TRUE(probe.sampled_uses.find(combinations[0][2]));
	struct Case {
		uint32_t operand;
		std::vector<std::string> elements;   // "variable first count"
	};
	// the constant element is the one element; the run-time one may be any
	const Case cases[] = {
		{3, {"single 0 1", "row 2 1", "row 0 4"}},
		{4, {"smp 0 1"}},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.operand);
		ResourcePlace place;
		ASSERT_TRUE(probe.get_value_place(combinations[0][c.operand], place));
		EXPECT_EQ(probe.name(place.root), c.operand == 3 ? "t" : "s");
		Array<ResourceElements> elements;
		ResourceOriginIssue issue;
		ASSERT_TRUE(probe.get_place_elements(place, elements, issue));
		EXPECT_EQ(element_texts(probe, elements), c.elements);
		EXPECT_EQ(issue.failure, ResourceOriginNone);
	}

	// an argument of no known place: the parameter is named once, and a
	// later walk finds it failed already
	words = assemble(undefined_argument_module);
	ASSERT_EQ(spirv_val(words), "");
	ResourceProbe undefined;
	ASSERT_TRUE(undefined.load(to_array(words)));
	undefined.find_resource_uses();
	combinations = undefined.instructions(Spirv::OpSampledImage);
	ASSERT_EQ(combinations.size(), 1u);
	ResourcePlace place;
	ASSERT_TRUE(undefined.get_value_place(combinations[0][3], place));
	const ResourceOriginFailure failures[] = {ResourceOriginParameter, ResourceOriginKnownFailure};
	for (ResourceOriginFailure failure : failures) {
		Array<ResourceElements> elements;
		ResourceOriginIssue issue;
		EXPECT_FALSE(undefined.get_place_elements(place, elements, issue));
		EXPECT_EQ(issue.failure, failure);
		EXPECT_EQ(undefined.name(issue.id), "t");
	}
}

} // namespace
