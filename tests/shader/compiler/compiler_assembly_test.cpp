// Module assembly: the records of a compilation made by hand, as the parsers
// would leave them, assembled into a module. The modules are checked word by
// word and, where spirv-val is installed, validated for the version that
// their header gives.
#include "compiler_fixtures.h"

#include "shader/ShaderSpirvNumbers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

using Vexa::Array;
using Vexa::Compiler;
using Vexa::String;
using compiler_test::decode;
using compiler_test::have_tool;
using compiler_test::Instruction;

namespace {

namespace Spirv = Vexa::Spirv;

constexpr uint32_t OpEntryPoint = 15;
constexpr uint32_t OpExecutionMode = 16;
constexpr uint32_t OpCapability = 17;
constexpr uint32_t OpExtension = 10;
constexpr uint32_t OpTypeStruct = 30;
constexpr uint32_t OpLoad = 61;

template <class Call>
std::string thrown(Call call) {
	try {
		call();
	} catch (const String &message) {
		return message.get();
	}
	return std::string();
}

// spirv-val's complaints about a finished module, validated for the version
// in its header; empty when it accepts it or is not installed
std::string validate_module(const Array<uint32_t> &words) {
	if (!have_tool("spirv-val") || words.size() < 5) return std::string();
	static int counter = 0;
	std::string path = "/tmp/vexa_assembly_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
	{
		std::ofstream file(path + ".spv", std::ios::binary);
		file.write(reinterpret_cast<const char *>(words.get()), (std::streamsize)(words.size() * 4));
	}
	uint32_t minor = (words[1] >> 8) & 0xffu;
	std::string command = "spirv-val --target-env spv1." + std::to_string(minor) + " " + path + ".spv > " + path + ".txt 2>&1";
	int status = std::system(command.c_str());
	std::ifstream log(path + ".txt");
	std::stringstream text;
	text << log.rdbuf();
	std::remove((path + ".spv").c_str());
	std::remove((path + ".txt").c_str());
	if (status == 0) return std::string();
	return text.str().empty() ? std::string("spirv-val failed") : text.str();
}

std::vector<Instruction> find_all(const Array<uint32_t> &words, uint32_t opcode) {
	std::vector<Instruction> ret;
	std::vector<Instruction> list = decode(words.get() + 5, words.size() - 5);
	for (const Instruction &instruction : list) {
		if (instruction.opcode == opcode) ret.push_back(instruction);
	}
	return ret;
}

std::string string_operand(const Instruction &instruction, size_t first) {
	std::string ret;
	for (size_t i = first; i < instruction.operands.size(); i++) {
		for (uint32_t j = 0; j < 4; j++) {
			char c = (char)((instruction.operands[i] >> (8 * j)) & 0xffu);
			if (c == 0) return ret;
			ret += c;
		}
	}
	return ret;
}

// the interface ids of the entry point: after the model, the id and the name
std::vector<uint32_t> interface_ids(const Array<uint32_t> &words) {
	std::vector<Instruction> entries = find_all(words, OpEntryPoint);
	if (entries.size() != 1) return {};
	const Instruction &entry = entries[0];
	size_t first = 2 + string_operand(entry, 2).size() / 4 + 1;
	return std::vector<uint32_t>(entry.operands.begin() + (long)first, entry.operands.end());
}

// A compiler holding what the parsers leave for "void main() { }" of a stage:
// the entry function record with an empty body and its function type.
struct Assembly {
	explicit Assembly(uint32_t model) {
		compiler.reset();
		compiler.init_tables();
		compiler.flags = 0;
		compiler.execution_model = model;
		uint32_t void_type = compiler.add_type("void");
		function_type = compiler.next_id++;
		compiler.add_module_opcode(Spirv::OpTypeFunction, {function_type, void_type});
		compiler.types.insert("void(", function_type);
		compiler.set_target(function_type, void_type, Compiler::TypeFunction);
		entry = compiler.add_function("main", "void", 0, compiler.global_scope);
		compiler.functions[entry].body = "{ }";
		compiler.functions[entry].used = true;
	}

	// a module-level variable of an internal type, with its type declared
	uint32_t add_global(const char *name, const char *type, uint32_t storage) {
		uint32_t index = compiler.add_variable(name, type, ~0u, storage, compiler.global_scope);
		compiler.add_type(type);
		compiler.add_target(compiler.variables[index].id, compiler.add_type(type));
		return index;
	}

	// a load of a global in the entry's code, so that the entry uses it
	void load(uint32_t variable) {
		Compiler::Variable &record = compiler.variables[variable];
		uint32_t type = compiler.add_type(record.type);
		compiler.add_function_opcode(compiler.functions[entry], OpLoad, {type, compiler.next_id++, record.id});
	}

	// a structure of one member, its declaration noted as the parser does
	uint32_t add_structure(const char *name, uint32_t storage, const char *member_type, uint32_t member_length) {
		uint32_t index = compiler.add_structure(name, storage, compiler.global_scope);
		Compiler::Structure &structure = compiler.structures[index];
		structure.declaration = compiler.words.size();
		uint32_t type = compiler.add_type(member_type, member_length);
		uint32_t member = compiler.add_variable("value", member_type, member_length, storage, structure.scope);
		compiler.variables[member].structure = index;
		compiler.variables[member].offset = 0;
		compiler.variables[member].decorations.insert(35, 0);
		structure.members.append(member);
		compiler.add_module_opcode(OpTypeStruct, {structure.id, type});
		structure.declaration_size = compiler.words.size() - structure.declaration;
		compiler.set_target(structure.id, structure.id, Compiler::TypeStructure);
		return index;
	}

	Compiler compiler;
	uint32_t function_type = 0;
	uint32_t entry = 0;
};

struct StageCase {
	const char *name;
	uint32_t model;
	std::vector<std::pair<uint32_t, uint32_t>> modes; // set before assembly
	uint32_t version;
	std::vector<uint32_t> capabilities; // that must be declared
	std::vector<uint32_t> default_modes; // added by the assembly
	const char *extension;
};

TEST(CompilerAssembly, EmptyEntryOfEachStageIsAValidModule) {
	const uint32_t none = ~0u;
	const StageCase cases[] = {
		{"vertex", 0, {}, 0x10000, {1}, {}, nullptr},
		{"fragment", 4, {}, 0x10000, {1}, {7}, nullptr},
		{"compute", 5, {{17, 0}}, 0x10000, {1}, {}, nullptr},
		{"geometry", 3, {{19, none}, {26, 3}, {27, none}}, 0x10000, {1, 2}, {0}, nullptr},
		{"mesh", 5365, {{17, 0}, {26, 3}, {5270, 1}, {27, none}}, 0x10400, {1, 5283}, {}, "SPV_EXT_mesh_shader"},
		{"ray generation", 5313, {}, 0x10400, {1, 4479}, {}, "SPV_KHR_ray_tracing"},
	};
	for (const StageCase &row : cases) {
		SCOPED_TRACE(row.name);
		Assembly a(row.model);
		a.compiler.group_size[0] = 8;
		a.compiler.group_size[2] = 1;
		for (const auto &mode : row.modes) a.compiler.execution_modes.insert(mode.first, mode.second);
		a.compiler.create_opcodes(2, 450, nullptr);
		const Array<uint32_t> &words = a.compiler.words;
		ASSERT_GE(words.size(), 5u);
		EXPECT_EQ(words[0], 0x07230203u);
		EXPECT_EQ(words[1], row.version);
		EXPECT_EQ(words[3], a.compiler.next_id);
		std::set<uint32_t> declared;
		for (const Instruction &instruction : find_all(words, OpCapability)) declared.insert(instruction.operands[0]);
		for (uint32_t capability : row.capabilities) EXPECT_TRUE(declared.count(capability)) << capability;
		std::set<uint32_t> modes;
		for (const Instruction &instruction : find_all(words, OpExecutionMode)) modes.insert(instruction.operands[1]);
		for (uint32_t mode : row.default_modes) EXPECT_TRUE(modes.count(mode)) << mode;
		std::vector<Instruction> extensions = find_all(words, OpExtension);
		if (row.extension != nullptr) {
			ASSERT_EQ(extensions.size(), 1u);
			EXPECT_EQ(string_operand(extensions[0], 0), row.extension);
		} else {
			EXPECT_TRUE(extensions.empty());
		}
		// "void main() { }" ends with a return and the function end
		EXPECT_EQ(words[words.size() - 2], (1u << 16) | Spirv::OpReturn);
		EXPECT_EQ(words[words.size() - 1], (1u << 16) | Spirv::OpFunctionEnd);
		EXPECT_EQ(validate_module(words), "");
	}
}

TEST(CompilerAssembly, MissingEntryAndWorkGroupSizeAreErrors) {
	Assembly a(5);
	a.compiler.functions[a.entry].arguments = "(f32";
	EXPECT_EQ(thrown([&] { a.compiler.create_opcodes(2, 450, nullptr); }), "can't find entry function\n");
	Assembly b(5);
	EXPECT_EQ(thrown([&] { b.compiler.create_opcodes(2, 450, nullptr); }), "work group size is not declared\n");
}

// From 1.4 on the entry point lists every module-level variable, of every
// storage class; before, only the inputs and outputs. The entry loads each of
// them, so that the validator sees them used.
TEST(CompilerAssembly, InterfaceListsGlobalsByVersion) {
	for (bool mesh : {false, true}) {
		SCOPED_TRACE(mesh ? "mesh, 1.4" : "compute, 1.0");
		Assembly a(mesh ? 5365 : 5);
		a.compiler.group_size[0] = a.compiler.group_size[1] = a.compiler.group_size[2] = 1;
		a.compiler.execution_modes.insert(17, 0);
		if (mesh) {
			a.compiler.execution_modes.insert(26, 1);
			a.compiler.execution_modes.insert(5270, 1);
			a.compiler.execution_modes.insert(27, ~0u);
		}
		uint32_t input = a.add_global("gl_LocalInvocationID", "u32v3", Spirv::StorageInput);
		a.compiler.variables[input].decorations.insert(Spirv::DecorationBuiltIn, 27);
		uint32_t priv = a.add_global("counter", "f32", Spirv::StoragePrivate);
		uint32_t shared = a.add_global("shared_value", "i32", Spirv::StorageWorkgroup);
		// a named constant has no variable and is no interface
		uint32_t constant = a.add_global("limit", "u32", Spirv::StoragePrivate);
		a.compiler.variables[constant].decorations.insert(22, ~0u);
		a.load(input);
		a.load(priv);
		a.load(shared);
		a.compiler.create_opcodes(2, 450, nullptr);
		const Array<uint32_t> &words = a.compiler.words;
		EXPECT_EQ(words[1], mesh ? 0x10400u : 0x10000u);
		std::vector<uint32_t> ids = interface_ids(words);
		std::vector<uint32_t> expected = {a.compiler.variables[input].id};
		if (mesh) expected = {a.compiler.variables[input].id, a.compiler.variables[priv].id, a.compiler.variables[shared].id};
		EXPECT_EQ(ids, expected);
		EXPECT_EQ(validate_module(words), "");
	}
}

// A storage buffer block is lowered to a uniform BufferBlock before 1.3 and
// stays as it is from 1.3 on; its runtime array of vec3 has a stride of 16.
TEST(CompilerAssembly, StorageBufferByVersion) {
	for (bool subgroup : {false, true}) {
		SCOPED_TRACE(subgroup ? "1.3" : "1.0");
		Assembly a(5);
		a.compiler.group_size[0] = a.compiler.group_size[1] = a.compiler.group_size[2] = 1;
		a.compiler.execution_modes.insert(17, 0);
		if (subgroup) a.compiler.capabilities.insert(61);
		uint32_t index = a.add_structure("Data", Spirv::StorageStorageBuffer, "f32v3", 0);
		Compiler::Structure &structure = a.compiler.structures[index];
		structure.used = true;
		structure.size = 16;
		structure.decorations.insert(Spirv::DecorationBlock, ~0u);
		// the pointer the declaration parser makes for the block
		a.compiler.add_pointer_type(structure.id, ~0u, Spirv::StorageStorageBuffer);
		uint32_t buffer = a.compiler.add_variable("data", "Data", ~0u, Spirv::StorageStorageBuffer, a.compiler.global_scope);
		a.compiler.variables[buffer].decorations.insert(34, 0);
		a.compiler.variables[buffer].decorations.insert(33, 0);
		uint32_t struct_id = structure.id;
		uint32_t array_type = a.compiler.add_type("f32v3", 0);
		a.compiler.create_opcodes(2, 450, nullptr);
		const Array<uint32_t> &words = a.compiler.words;
		EXPECT_EQ(words[1], subgroup ? 0x10300u : 0x10000u);

		std::set<uint32_t> pointer_classes;
		for (const Instruction &instruction : find_all(words, Spirv::OpTypePointer)) pointer_classes.insert(instruction.operands[1]);
		EXPECT_EQ(pointer_classes, std::set<uint32_t>{subgroup ? 12u : 2u});
		bool block = false, buffer_block = false;
		uint32_t stride = 0;
		for (const Instruction &instruction : find_all(words, Spirv::OpDecorate)) {
			if (instruction.operands[0] == struct_id && instruction.operands[1] == 2) block = true;
			if (instruction.operands[0] == struct_id && instruction.operands[1] == 3) buffer_block = true;
			if (instruction.operands[0] == array_type && instruction.operands[1] == 6) stride = instruction.operands[2];
		}
		EXPECT_EQ(block, subgroup);
		EXPECT_EQ(buffer_block, !subgroup);
		EXPECT_EQ(stride, 16u);
		for (const Instruction &instruction : find_all(words, Spirv::OpVariable)) {
			EXPECT_EQ(instruction.operands[2], subgroup ? 12u : 2u);
		}
		EXPECT_EQ(validate_module(words), "");
	}
}

// An unused structure leaves no type, name or decoration; one that a kept
// declaration or a variable still refers to stays, so that no id is left
// referenced without a definition.
TEST(CompilerAssembly, UnusedStructuresArePrunedWithoutDanglingIds) {
	Assembly a(4);
	uint32_t unused = a.add_structure("Unused", Spirv::StoragePrivate, "f32v2", ~0u);
	uint32_t unused_id = a.compiler.structures[unused].id;
	a.compiler.structures[unused].decorations.insert(2, ~0u);
	// the member type "i32v4" is first declared inside the structure's
	// declaration, then used by a variable
	uint32_t shared = a.add_structure("Shared", Spirv::StoragePrivate, "i32v4", ~0u);
	uint32_t shared_id = a.compiler.structures[shared].id;
	a.add_global("colour", "i32v4", Spirv::StoragePrivate);
	// a structure that only a variable's type refers to
	uint32_t typed = a.add_structure("Typed", Spirv::StoragePrivate, "u32", ~0u);
	uint32_t typed_id = a.compiler.structures[typed].id;
	a.compiler.add_variable("instance", "Typed", ~0u, Spirv::StoragePrivate, a.compiler.global_scope);

	a.compiler.create_opcodes(2, 450, nullptr);
	const Array<uint32_t> &words = a.compiler.words;
	std::set<uint32_t> structs;
	for (const Instruction &instruction : find_all(words, OpTypeStruct)) structs.insert(instruction.operands[0]);
	EXPECT_EQ(structs.count(unused_id), 0u);
	EXPECT_EQ(structs.count(shared_id), 1u);
	EXPECT_EQ(structs.count(typed_id), 1u);
	for (uint32_t opcode : {Spirv::OpName, Spirv::OpMemberName, Spirv::OpDecorate, Spirv::OpMemberDecorate}) {
		for (const Instruction &instruction : find_all(words, opcode)) EXPECT_NE(instruction.operands[0], unused_id) << opcode;
	}
	EXPECT_EQ(validate_module(words), "");
}

// Without debug names a private global is named by the stage suffix and its
// id, an input keeps its name, and main keeps its name; unused variables and
// functions are reported with the context.
TEST(CompilerAssembly, NamesAndUnusedWarnings) {
	Assembly a(4);
	a.compiler.flags = Compiler::FlagUnused;
	uint32_t priv = a.add_global("hidden", "f32", Spirv::StoragePrivate);
	uint32_t input = a.add_global("uv", "f32v2", Spirv::StorageInput);
	a.compiler.variables[input].decorations.insert(Spirv::DecorationLocation, 0);
	uint32_t helper = a.compiler.add_function("helper", "void", 0, a.compiler.global_scope);
	a.compiler.functions[helper].body = "{ }";
	a.compiler.functions[helper].arguments = "(";
	a.compiler.add_function_opcode(a.compiler.functions[helper], Spirv::OpReturn, {});
	uint32_t priv_id = a.compiler.variables[priv].id;
	uint32_t helper_id = a.compiler.functions[helper].id;

	LogCapture log;
	a.compiler.create_opcodes(2, 450, "shader.frag");
	const Array<uint32_t> &words = a.compiler.words;
	std::map<uint32_t, std::string> names;
	for (const Instruction &instruction : find_all(words, Spirv::OpName)) names[instruction.operands[0]] = string_operand(instruction, 1);
	char expected[32];
	snprintf(expected, sizeof(expected), "_f%x", priv_id);
	EXPECT_EQ(names[priv_id], expected);
	EXPECT_EQ(names[a.compiler.variables[input].id], "uv");
	EXPECT_EQ(names[a.compiler.functions[a.entry].id], "main");
	snprintf(expected, sizeof(expected), "_f%x", helper_id);
	EXPECT_EQ(names[helper_id], expected);
	EXPECT_TRUE(log.contains("Compiler::create_opcodes(): unused variable f32 hidden\nshader.frag\n", Vexa::Log::Warning)) << log.text();
	EXPECT_TRUE(log.contains("Compiler::create_opcodes(): unused function helper()\nshader.frag\n", Vexa::Log::Warning)) << log.text();
	EXPECT_FALSE(log.contains("uv"));
	EXPECT_EQ(log.errors, "");
	EXPECT_EQ(validate_module(words), "");
}

// Each function comes after the functions it calls, once; a non-void
// function whose code ends in OpReturnValue gets no OpUnreachable.
TEST(CompilerAssembly, CalleesComeFirstAndFunctionsEndOnce) {
	Assembly a(0);
	Compiler &c = a.compiler;
	uint32_t float_type = c.add_type("f32");
	uint32_t float_function = c.next_id++;
	c.add_module_opcode(Spirv::OpTypeFunction, {float_function, float_type});
	c.types.insert("f32(", float_function);
	c.set_target(float_function, float_type, Compiler::TypeFunction);
	uint32_t value = c.add_function("value", "f32", 0, c.global_scope);
	c.functions[value].used = true;
	c.add_function_opcode(c.functions[value], Spirv::OpReturnValue, {c.add_constant("f32", 0)});
	c.functions[a.entry].callees.append(value);
	c.add_function_opcode(c.functions[a.entry], Spirv::OpFunctionCall, {float_type, c.next_id++, c.functions[value].id});
	uint32_t value_id = c.functions[value].id;
	c.create_opcodes(2, 450, nullptr);

	std::vector<uint32_t> order;
	uint32_t unreachable = 0;
	for (const Instruction &instruction : find_all(c.words, Spirv::OpFunction)) order.push_back(instruction.operands[1]);
	unreachable = (uint32_t)find_all(c.words, Spirv::OpUnreachable).size();
	EXPECT_EQ(order, (std::vector<uint32_t>{value_id, c.functions[a.entry].id}));
	EXPECT_EQ(unreachable, 0u);
	EXPECT_EQ(validate_module(c.words), "");
}

// Half floats are a core capability: no extension is written for them.
TEST(CompilerAssembly, HalfFloatNeedsNoExtension) {
	Assembly a(5);
	a.compiler.group_size[0] = a.compiler.group_size[1] = a.compiler.group_size[2] = 1;
	a.compiler.execution_modes.insert(17, 0);
	a.add_global("half_value", "f16", Spirv::StoragePrivate);
	a.compiler.create_opcodes(2, 450, nullptr);
	std::set<uint32_t> declared;
	for (const Instruction &instruction : find_all(a.compiler.words, OpCapability)) declared.insert(instruction.operands[0]);
	EXPECT_TRUE(declared.count(Spirv::CapabilityFloat16));
	EXPECT_TRUE(find_all(a.compiler.words, OpExtension).empty());
	EXPECT_EQ(validate_module(a.compiler.words), "");
}

// A function with a parameter passed by pointer, one passed by value that is
// copied into a local, and a local of its own: parameters, then the label,
// the locals and the copy, then the code.
TEST(CompilerAssembly, ParametersLocalsAndCopies) {
	Assembly a(0);
	Compiler &c = a.compiler;
	uint32_t void_type = c.add_type("void");
	uint32_t float_type = c.add_type("f32");
	uint32_t float_pointer = c.add_pointer_type(float_type, ~0u, Spirv::StorageFunction);
	uint32_t type = c.next_id++;
	c.add_module_opcode(Spirv::OpTypeFunction, {type, void_type, float_pointer, float_type});
	c.types.insert("void(f32,f32", type);
	c.set_target(type, void_type, Compiler::TypeFunction);

	uint32_t index = c.add_function("scale", "void", 0, c.global_scope);
	Compiler::Function &function = c.functions[index];
	function.arguments = "(f32,f32";
	function.used = true;
	uint32_t out = c.add_variable("out_value", "f32", ~0u, Spirv::StorageFunction, function.scope);
	c.variables[out].function = index;
	c.add_target(c.variables[out].id, float_type);
	uint32_t by_value = c.add_variable("factor", "f32", ~0u, Spirv::StorageFunction, function.scope);
	c.variables[by_value].function = index;
	c.variables[by_value].parameter = 1;
	c.add_target(c.variables[by_value].id, float_type);
	uint32_t copy = c.add_variable("factor_copy", "f32", ~0u, Spirv::StorageFunction, function.scope);
	c.variables[copy].function = index;
	uint32_t local = c.add_variable("temporary", "f32", ~0u, Spirv::StorageFunction, function.scope);
	c.variables[local].function = index;
	function.parameters.append(Compiler::Parameter{out, ~0u});
	function.parameters.append(Compiler::Parameter{by_value, c.variables[copy].id});
	function.locals.append(copy);
	function.locals.append(local);
	uint32_t loaded = c.next_id++;
	c.add_function_opcode(function, OpLoad, {float_type, loaded, c.variables[copy].id});
	c.add_function_opcode(function, Spirv::OpStore, {c.variables[out].id, loaded});
	c.add_function_opcode(function, Spirv::OpStore, {c.variables[local].id, loaded});

	// main calls it with a local of its own and a constant
	Compiler::Function &entry = c.functions[a.entry];
	uint32_t argument = c.add_variable("result", "f32", ~0u, Spirv::StorageFunction, entry.scope);
	c.variables[argument].function = a.entry;
	entry.locals.append(argument);
	entry.callees.append(index);
	c.add_function_opcode(entry, Spirv::OpFunctionCall,
		{void_type, c.next_id++, function.id, c.variables[argument].id, c.add_constant("f32", 2)});
	uint32_t scale_id = function.id;
	c.create_opcodes(2, 450, nullptr);

	std::vector<Instruction> list = decode(c.words.get() + 5, c.words.size() - 5);
	size_t first = 0;
	while (first < list.size() && !(list[first].opcode == Spirv::OpFunction && list[first].operands[1] == scale_id)) first++;
	ASSERT_LT(first + 6, list.size());
	EXPECT_EQ(list[first + 1].opcode, Spirv::OpFunctionParameter);
	EXPECT_EQ(list[first + 1].operands, (std::vector<uint32_t>{float_pointer, c.variables[out].id}));
	EXPECT_EQ(list[first + 2].operands, (std::vector<uint32_t>{float_type, c.variables[by_value].id}));
	EXPECT_EQ(list[first + 3].opcode, Spirv::OpLabel);
	EXPECT_EQ(list[first + 4].operands, (std::vector<uint32_t>{float_pointer, c.variables[copy].id, Spirv::StorageFunction}));
	EXPECT_EQ(list[first + 5].operands, (std::vector<uint32_t>{float_pointer, c.variables[local].id, Spirv::StorageFunction}));
	EXPECT_EQ(list[first + 6].opcode, Spirv::OpStore);
	EXPECT_EQ(list[first + 6].operands, (std::vector<uint32_t>{c.variables[copy].id, c.variables[by_value].id}));
	EXPECT_EQ(validate_module(c.words), "");
}

// An unused function returning void keeps its signature but its body becomes
// a lone return; an unused function returning a float keeps its body.
TEST(CompilerAssembly, UnusedVoidFunctionBodyIsDropped) {
	Assembly a(0);
	Compiler &c = a.compiler;
	uint32_t float_type = c.add_type("f32");
	uint32_t float_function = c.next_id++;
	c.add_module_opcode(Spirv::OpTypeFunction, {float_function, float_type});
	c.types.insert("f32(", float_function);
	c.set_target(float_function, float_type, Compiler::TypeFunction);
	uint32_t private_value = a.add_global("stored", "f32", Spirv::StoragePrivate);
	uint32_t one = c.add_constant("f32", 1);

	uint32_t quiet = c.add_function("quiet", "void", 0, c.global_scope);
	c.add_function_opcode(c.functions[quiet], Spirv::OpStore, {c.variables[private_value].id, one});
	uint32_t number = c.add_function("number", "f32", 0, c.global_scope);
	c.add_function_opcode(c.functions[number], Spirv::OpStore, {c.variables[private_value].id, one});
	c.add_function_opcode(c.functions[number], Spirv::OpReturnValue, {one});
	c.create_opcodes(2, 450, nullptr);

	EXPECT_EQ(find_all(c.words, Spirv::OpFunction).size(), 3u);
	// only the float function's store is left
	EXPECT_EQ(find_all(c.words, Spirv::OpStore).size(), 1u);
	EXPECT_EQ(validate_module(c.words), "");
}

// A called function with an empty body leaves no code but is written all the
// same; a prototype that has no body is neither written nor named; a cycle
// of calls writes each function once.
TEST(CompilerAssembly, EmptyBodiesPrototypesAndCallCycles) {
	Assembly a(0);
	Compiler &c = a.compiler;
	uint32_t void_type = c.add_type("void");
	uint32_t empty = c.add_function("empty", "void", 0, c.global_scope);
	c.functions[empty].body = "{ }";
	c.functions[empty].used = true;
	uint32_t prototype = c.add_function("declared", "void", 0, c.global_scope);
	uint32_t parameter = c.add_variable("unused_parameter", "f32", ~0u, Spirv::StorageFunction, c.functions[prototype].scope);
	c.variables[parameter].function = prototype;
	c.functions[prototype].parameters.append(Compiler::Parameter{parameter, ~0u});
	c.functions[a.entry].callees.append(empty);
	c.add_function_opcode(c.functions[a.entry], Spirv::OpFunctionCall, {void_type, c.next_id++, c.functions[empty].id});
	uint32_t empty_id = c.functions[empty].id;
	uint32_t prototype_id = c.functions[prototype].id;
	uint32_t parameter_id = c.variables[parameter].id;
	c.create_opcodes(2, 450, nullptr);

	std::vector<uint32_t> written;
	for (const Instruction &instruction : find_all(c.words, Spirv::OpFunction)) written.push_back(instruction.operands[1]);
	EXPECT_EQ(written, (std::vector<uint32_t>{empty_id, c.functions[a.entry].id}));
	for (const Instruction &instruction : find_all(c.words, Spirv::OpName)) {
		EXPECT_NE(instruction.operands[0], prototype_id);
		EXPECT_NE(instruction.operands[0], parameter_id);
	}
	EXPECT_EQ(validate_module(c.words), "");

	Assembly b(0);
	Compiler &d = b.compiler;
	uint32_t first = d.add_function("first", "void", 0, d.global_scope);
	uint32_t second = d.add_function("second", "void", 0, d.global_scope);
	d.functions[first].body = d.functions[second].body = "{ }";
	d.functions[first].callees.append(second);
	d.functions[second].callees.append(first);
	d.functions[b.entry].callees.append(first);
	d.create_opcodes(2, 450, nullptr);
	EXPECT_EQ(find_all(d.words, Spirv::OpFunction).size(), 3u);
	EXPECT_EQ(find_all(d.words, Spirv::OpFunctionEnd).size(), 3u);
}

} // namespace
