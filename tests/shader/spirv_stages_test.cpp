// Modules of all fourteen stages, compiled from the GLSL sources in
// tests/data/spirv by glslangValidator, plus their optimised and stripped
// forms made by spirv-opt: each loads, and what the reader recorded (entry
// point, execution model, local size, capabilities, variables with their
// locations, sets and bindings, names, member names, types, functions) agrees
// with the disassembly that spirv-dis makes of the same module.
#include <gtest/gtest.h>

#include "spirv_fixtures.h"

#include <map>
#include <set>

using namespace spirv_test;
using Vexa::ShaderSpirv;

namespace {

struct Stage {
	const char *file;
	const char *env;
	uint32_t model;
	const char *prefix;
};

const Stage stages[] = {
	{"stage.vert", "vulkan1.0", 0, "_v"},
	{"stage.tesc", "vulkan1.0", 1, "_tc"},
	{"stage.tese", "vulkan1.0", 2, "_te"},
	{"stage.geom", "vulkan1.0", 3, "_g"},
	{"stage.frag", "vulkan1.0", 4, "_f"},
	{"stage.comp", "vulkan1.0", 5, "_c"},
	{"stage.task", "vulkan1.2", 5364, "_t"},
	{"stage.mesh", "vulkan1.2", 5365, "_m"},
	{"stage.rgen", "vulkan1.2", 5313, "_rg"},
	{"stage.rmiss", "vulkan1.2", 5317, "_rm"},
	{"stage.rchit", "vulkan1.2", 5316, "_rch"},
	{"stage.rahit", "vulkan1.2", 5315, "_rah"},
	{"stage.rint", "vulkan1.2", 5314, "_ri"},
	{"stage.rcall", "vulkan1.2", 5318, "_rc"},
};

// SPIR-V numbers of the enumerant names that spirv-dis prints for these modules
const std::map<std::string, uint32_t> models = {
	{"Vertex", 0}, {"TessellationControl", 1}, {"TessellationEvaluation", 2}, {"Geometry", 3}, {"Fragment", 4},
	{"GLCompute", 5}, {"TaskEXT", 5364}, {"MeshEXT", 5365}, {"RayGenerationNV", 5313}, {"RayGenerationKHR", 5313},
	{"IntersectionNV", 5314}, {"IntersectionKHR", 5314}, {"AnyHitNV", 5315}, {"AnyHitKHR", 5315}, {"ClosestHitNV", 5316},
	{"ClosestHitKHR", 5316}, {"MissNV", 5317}, {"MissKHR", 5317}, {"CallableNV", 5318}, {"CallableKHR", 5318},
};
const std::map<std::string, uint32_t> capability_numbers = {
	{"Matrix", 0}, {"Shader", 1}, {"Geometry", 2}, {"Tessellation", 3}, {"ImageQuery", 50},
	{"StorageImageWriteWithoutFormat", 56}, {"StorageImageExtendedFormats", 49}, {"MeshShadingEXT", 5283},
	{"RayTracingKHR", 4479}, {"RayTracingNV", 5340}, {"SampledBuffer", 46}, {"ImageBuffer", 47},
};
const std::map<std::string, uint32_t> storage_classes = {
	{"UniformConstant", 0}, {"Input", 1}, {"Uniform", 2}, {"Output", 3}, {"Workgroup", 4}, {"Private", 6},
	{"Function", 7}, {"PushConstant", 9}, {"StorageBuffer", 12}, {"CallableDataNV", 5328}, {"CallableDataKHR", 5328},
	{"IncomingCallableDataNV", 5329}, {"IncomingCallableDataKHR", 5329}, {"RayPayloadNV", 5338},
	{"RayPayloadKHR", 5338}, {"HitAttributeNV", 5339}, {"HitAttributeKHR", 5339}, {"IncomingRayPayloadNV", 5342},
	{"IncomingRayPayloadKHR", 5342}, {"TaskPayloadWorkgroupEXT", 5402},
};

// One instruction of the disassembly: result id (0 for none), opcode name, operands.
struct Line {
	uint32_t result = 0;
	std::string op;
	std::vector<std::string> operands;
};

uint32_t id_of(const std::string &token) {
	return (token.size() > 1 && token[0] == '%') ? static_cast<uint32_t>(std::stoul(token.substr(1))) : 0;
}

std::string unquote(const std::string &token) {
	return (token.size() >= 2 && token.front() == '"') ? token.substr(1, token.size() - 2) : token;
}

std::vector<Line> disassemble(const std::string &path) {
	std::string out = temp_path("dis.txt");
	std::vector<Line> lines;
	if (!run("spirv-dis --raw-id --no-header -o " + out + " " + path)) return lines;
	std::istringstream text(read_text(out));
	std::remove(out.c_str());
	std::string row;
	while (std::getline(text, row)) {
		std::istringstream tokens(row);
		std::vector<std::string> t;
		std::string token;
		while (tokens >> token) t.push_back(token);
		if (t.empty()) continue;
		Line line;
		size_t first = 0;
		if (t.size() > 2 && t[1] == "=") {
			line.result = id_of(t[0]);
			first = 2;
		}
		line.op = t[first];
		line.operands.assign(t.begin() + first + 1, t.end());
		lines.push_back(line);
	}
	return lines;
}

// what a name from the module becomes: cut before '(', dropped when no identifier
std::string expected_name(const std::string &name) {
	std::string cut = name.substr(0, name.find('('));
	return ShaderSpirv::is_identifier(cut.c_str()) ? cut : std::string();
}

std::string hex(const char *prefix, uint32_t id) {
	char buffer[64];
	snprintf(buffer, sizeof(buffer), "%s%x", prefix, id);
	return buffer;
}

// Compares the reader's tables with the disassembly.
void compare(const Probe &p, const std::vector<Line> &lines, const Stage &stage) {
	std::map<uint32_t, const Line *> defs;
	std::map<uint32_t, std::map<uint32_t, uint32_t>> decorations;
	std::set<uint32_t> builtin_ids;
	std::set<uint32_t> builtin_structs;
	std::map<uint32_t, std::string> names;
	std::map<std::pair<uint32_t, uint32_t>, std::string> member_names;
	std::set<std::pair<uint32_t, uint32_t>> builtin_members;
	std::vector<uint32_t> types;
	std::vector<uint32_t> functions;
	std::vector<uint32_t> capabilities;
	uint32_t entry = 0;
	const std::map<std::string, uint32_t> decoration_numbers = {{"Location", 30}, {"Binding", 33}, {"DescriptorSet", 34}};
	for (const Line &line : lines) {
		if (line.result) defs[line.result] = &line;
		const std::vector<std::string> &o = line.operands;
		if (line.op == "OpEntryPoint") {
			ASSERT_EQ(models.count(o[0]), 1u) << o[0];
			EXPECT_EQ(p.execution_model, models.at(o[0]));
			EXPECT_EQ(p.execution_model, stage.model);
			entry = id_of(o[1]);
			EXPECT_EQ(p.entry_name, unquote(o[2]).c_str());
		} else if (line.op == "OpExecutionMode" && o[1] == "LocalSize") {
			for (int k = 0; k < 3; k++) EXPECT_EQ(p.local_size[k], std::stoul(o[2 + k]));
		} else if (line.op == "OpCapability") {
			auto it = capability_numbers.find(o[0]);
			if (it == capability_numbers.end()) ADD_FAILURE() << "capability missing from the test table: " << o[0];
			else capabilities.push_back(it->second);
		} else if (line.op == "OpName") {
			names[id_of(o[0])] = unquote(o[1]);
		} else if (line.op == "OpMemberName") {
			member_names[{id_of(o[0]), static_cast<uint32_t>(std::stoul(o[1]))}] = unquote(o[2]);
		} else if (line.op == "OpDecorate") {
			if (o[1] == "BuiltIn") builtin_ids.insert(id_of(o[0]));
			auto it = decoration_numbers.find(o[1]);
			if (it != decoration_numbers.end()) decorations[id_of(o[0])][it->second] = std::stoul(o[2]);
		} else if (line.op == "OpMemberDecorate" && o[2] == "BuiltIn") {
			builtin_structs.insert(id_of(o[0]));
			builtin_members.insert({id_of(o[0]), static_cast<uint32_t>(std::stoul(o[1]))});
		} else if ((line.op.rfind("OpType", 0) == 0 && line.op != "OpTypeForwardPointer") || line.op == "OpDecorationGroup") {
			types.push_back(line.result);
		} else if (line.op == "OpFunction") {
			functions.push_back(line.result);
		}
	}
	EXPECT_EQ(p.entry_id, entry);
	EXPECT_EQ(std::vector<uint32_t>(p.capabilities.get(), p.capabilities.get() + p.capabilities.size()), capabilities);
	EXPECT_EQ(std::vector<uint32_t>(p.types.get(), p.types.get() + p.types.size()), types);
	// functions in module order with the entry point moved last
	std::vector<uint32_t> ordered;
	for (uint32_t f : functions) {
		if (f != entry) ordered.push_back(f);
	}
	ordered.push_back(entry);
	EXPECT_EQ(std::vector<uint32_t>(p.functions.get(), p.functions.get() + p.functions.size()), ordered);

	// every defined result id leads back to its instruction
	for (const auto &def : defs) {
		int32_t opcode = p.get_iterator(p.indices[def.first]).get_opcode();
		if (def.second->op == "OpLabel" || ShaderSpirv::is_type_opcode(opcode) || ShaderSpirv::is_value_opcode(opcode)) {
			ShaderSpirv::Iterator it = p.get_target(def.first);
			EXPECT_EQ(ShaderSpirv::is_value_opcode(opcode) ? it[2] : it[1], def.first) << def.second->op;
		}
		if (def.second->op == "OpLabel") {
			EXPECT_NE(p.blocks.get(def.first), nullptr);
		}
	}

	// variables: the lists they belong to and their sort keys
	auto pointee_is_builtin = [&](uint32_t pointer) {
		uint32_t type = id_of(defs.at(pointer)->operands[1]);
		while (defs.at(type)->op == "OpTypeArray" || defs.at(type)->op == "OpTypeRuntimeArray") type = id_of(defs.at(type)->operands[0]);
		return builtin_structs.count(type) != 0 || builtin_ids.count(type) != 0;
	};
	std::set<uint32_t> expected_inputs, expected_outputs, expected_resources, expected_builtins, expected_shared,
		expected_payloads;
	for (const auto &def : defs) {
		if (def.second->op != "OpVariable") continue;
		uint32_t id = def.first;
		const std::string &name = def.second->operands[1];
		ASSERT_EQ(storage_classes.count(name), 1u) << name;
		uint32_t storage = storage_classes.at(name);
		EXPECT_EQ(p.records[id].storage, storage);
		bool builtin = builtin_ids.count(id) || pointee_is_builtin(id_of(def.second->operands[0]));
		switch (storage) {
			case 0: case 2: case 9: case 12: expected_resources.insert(id); break;
			case 1: (builtin ? expected_builtins : expected_inputs).insert(id); break;
			case 3: (builtin ? expected_builtins : expected_outputs).insert(id); break;
			case 6: if (builtin) expected_builtins.insert(id); break;
			case 4: expected_shared.insert(id); break;
			case 5338: expected_outputs.insert(id); break;
			case 5339: case 5342: expected_inputs.insert(id); break;
			case 5402: expected_payloads.insert(id); break;
		}
		for (const auto &d : decorations[id]) {
			const uint32_t *value = p.records[id].decorations.get(d.first);
			ASSERT_NE(value, nullptr) << "decoration " << d.first << " of " << id;
			EXPECT_EQ(*value, d.second);
		}
	}
	auto check_list = [&](const Vexa::Array<uint32_t> &list, const std::set<uint32_t> &expected, uint32_t decoration, const char *what) {
		EXPECT_EQ(std::set<uint32_t>(list.get(), list.get() + list.size()), expected) << what;
		uint32_t last = 0;
		for (uint32_t k = 0; k < list.size(); k++) {
			auto found = decorations[list[k]].find(decoration);
			uint32_t key = (found == decorations[list[k]].end() ? 65535u : found->second) + (p.records[list[k]].storage << 16);
			EXPECT_LE(last, key) << what << " not sorted at " << k;
			last = key;
		}
	};
	check_list(p.inputs, expected_inputs, 30, "inputs");
	check_list(p.outputs, expected_outputs, 30, "outputs");
	check_list(p.resources, expected_resources, 33, "resources");
	EXPECT_EQ(std::set<uint32_t>(p.builtins.get(), p.builtins.get() + p.builtins.size()), expected_builtins);
	EXPECT_EQ(std::set<uint32_t>(p.shared.get(), p.shared.get() + p.shared.size()), expected_shared);
	EXPECT_EQ(std::set<uint32_t>(p.payloads.get(), p.payloads.get() + p.payloads.size()), expected_payloads);

	// names: the module's own where they are identifiers, else generated, built-in or emptied for blocks
	for (uint32_t id = 1; id < p.records.size(); id++) {
		std::string got = p.records[id].name.get();
		auto named = names.find(id);
		std::string want = (named == names.end()) ? std::string() : expected_name(named->second);
		if (want.empty() || want[0] == '_') {
			if (builtin_ids.count(id) && !got.empty() && got.rfind("gl_", 0) == 0) continue;
			if (got.empty()) {
				uint32_t storage = p.records[id].storage;
				EXPECT_TRUE(storage == 1 || storage == 2 || storage == 3 || storage == 12) << id;
				continue;
			}
			if (want.empty()) want = hex(stage.prefix, id);
		}
		if (got != want) {
			EXPECT_EQ(got, want + "_v" + std::to_string(id)) << "name of " << id;
		}
	}
	for (uint32_t id = 1; id < p.members.size(); id++) {
		for (uint32_t k = 0; k < p.members[id].size(); k++) {
			std::string got = p.members[id][k].name.get();
			auto named = member_names.find({id, k});
			std::string want = (named == member_names.end()) ? std::string() : expected_name(named->second);
			if (builtin_members.count({id, k}) && (want.empty() || want[0] == '_')) {
				EXPECT_EQ(got.rfind("gl_", 0), 0u) << got;
				continue;
			}
			if (want.empty()) want = hex(stage.prefix, id) + "_" + hex("", k);
			EXPECT_EQ(got, want) << "member " << k << " of " << id;
		}
	}
}

class SpirvStages : public testing::TestWithParam<Stage> {};

TEST_P(SpirvStages, LoadsAndAgreesWithDisassembly) {
	for (const char *tool : {"glslangValidator", "spirv-opt", "spirv-dis", "spirv-val"}) {
		if (!have_tool(tool)) GTEST_SKIP() << tool << " is not installed; stage fixtures skipped";
	}
	const Stage &stage = GetParam();
	std::string source = std::string(VEXA_TEST_DATA) + "/spirv/" + stage.file;
	std::string plain = temp_path("plain.spv");
	std::string errors;
	ASSERT_TRUE(run(std::string("glslangValidator -V --target-env ") + stage.env + " -o " + plain + " " + source, &errors)) << errors;
	// the module as glslangValidator makes it, and what spirv-opt makes of it
	struct Variant {
		const char *name;
		std::string options;
		std::string path;
	} variants[] = {
		{"glslang", "", plain},
		{"spirv-opt -O", "-O --target-env=" + std::string(stage.env), temp_path("opt.spv")},
		{"spirv-opt --strip-debug", "--strip-debug", temp_path("strip.spv")},
	};
	for (const Variant &variant : variants) {
		if (variant.options.empty()) continue;
		ASSERT_TRUE(run("spirv-opt " + variant.options + " -o " + variant.path + " " + plain, &errors)) << variant.name << ": " << errors;
	}
	for (const Variant &variant : variants) {
		SCOPED_TRACE(std::string(stage.file) + " (" + variant.name + ")");
		ASSERT_TRUE(run("spirv-val --target-env " + std::string(stage.env) + " " + variant.path, &errors)) << errors;
		Loaded loaded(read_words(variant.path));
		EXPECT_TRUE(loaded.ok) << loaded.errors;
		if (loaded.ok) compare(loaded.probe, disassemble(variant.path), stage);
		std::remove(variant.path.c_str());
	}
}

INSTANTIATE_TEST_SUITE_P(AllStages, SpirvStages, testing::ValuesIn(stages),
	[](const testing::TestParamInfo<Stage> &info) {
		std::string name = info.param.file;
		return name.substr(name.find('.') + 1);
	});

} // namespace
