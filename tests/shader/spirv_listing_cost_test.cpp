// The cost of the decompiled listing grows with the module, not with the
// square of it: modules made here word by word, at one size and at four times
// that size, must render with about four times the renderer's search steps
// (ShaderSpirv::getRenderSteps), for many functions, a long call chain, many
// pointer parameters, a call chain inside one function, a switch with many
// cases, and many variables declared where their selection or loop needs them. Where spirv-val is present, every generated module is checked to
// be valid first, so that the cost is measured on what a compiler could give.
#include <gtest/gtest.h>

#include "listing_fixtures.h"

#include <functional>
#include <initializer_list>

using namespace listing_test;

namespace {

// SPIR-V opcodes and enumerants used below
enum : uint32_t {
	Name = 5,
	MemoryModel = 14,
	EntryPoint = 15,
	ExecutionMode = 16,
	Capability = 17,
	TypeVoid = 19,
	TypeBool = 20,
	TypeInt = 21,
	TypeFloat = 22,
	TypePointer = 32,
	TypeFunction = 33,
	Constant = 43,
	Function = 54,
	FunctionParameter = 55,
	FunctionEnd = 56,
	FunctionCall = 57,
	Variable = 59,
	Load = 61,
	Store = 62,
	Decorate = 71,
	FAdd = 129,
	SGreaterThan = 173,
	LoopMerge = 246,
	SelectionMerge = 247,
	Label = 248,
	Branch = 249,
	BranchConditional = 250,
	Switch = 251,
	Return = 253,
	ReturnValue = 254,
};

// A fragment shader made word by word: `main` stores floats to the output
// %color and may read the flat integer input %selector.
struct Module {
	std::vector<uint32_t> words = {0x07230203u, 0x00010300u, 0u, 0u, 0u};
	uint32_t bound = 1;
	uint32_t void_type = 0, int_type = 0, float_type = 0, output_pointer = 0, input_pointer = 0, function_pointer = 0;
	uint32_t color = 0, selector = 0, void_function = 0, float_function = 0, one = 0, main = 0;
	std::vector<uint32_t> body; // the functions, after the declarations

	uint32_t id() { return bound++; }
	static void emit(std::vector<uint32_t> &to, uint32_t opcode, std::initializer_list<uint32_t> operands) {
		to.push_back((static_cast<uint32_t>(operands.size() + 1) << 16) | opcode);
		to.insert(to.end(), operands.begin(), operands.end());
	}
	static void emit(std::vector<uint32_t> &to, uint32_t opcode, const std::vector<uint32_t> &operands) {
		to.push_back((static_cast<uint32_t>(operands.size() + 1) << 16) | opcode);
		to.insert(to.end(), operands.begin(), operands.end());
	}
	static std::vector<uint32_t> string(const std::string &text) {
		std::vector<uint32_t> ret((text.size() + 4) / 4, 0u);
		for (size_t i = 0; i < text.size(); i++) ret[i / 4] |= static_cast<uint32_t>(static_cast<unsigned char>(text[i])) << (8 * (i % 4));
		return ret;
	}
	void op(uint32_t opcode, std::initializer_list<uint32_t> operands) { emit(body, opcode, operands); }
	void op(uint32_t opcode, const std::vector<uint32_t> &operands) { emit(body, opcode, operands); }

	// `types` adds declarations of its own to the words before the functions
	Module(const std::function<void(Module &, std::vector<uint32_t> &)> &types = nullptr) {
		main = id();
		color = id();
		selector = id();
		emit(words, Capability, {1});
		emit(words, MemoryModel, {0, 1});
		std::vector<uint32_t> entry = {4, main};
		for (uint32_t w : string("main")) entry.push_back(w);
		entry.push_back(color);
		entry.push_back(selector);
		emit(words, EntryPoint, entry);
		emit(words, ExecutionMode, {main, 7});
		emit(words, Decorate, {color, 30, 0});
		emit(words, Decorate, {selector, 30, 0});
		emit(words, Decorate, {selector, 14});
		void_type = id();
		int_type = id();
		float_type = id();
		output_pointer = id();
		input_pointer = id();
		function_pointer = id();
		void_function = id();
		float_function = id();
		one = id();
		emit(words, TypeVoid, {void_type});
		emit(words, TypeInt, {int_type, 32, 1});
		emit(words, TypeFloat, {float_type, 32});
		emit(words, TypePointer, {output_pointer, 3, float_type});
		emit(words, TypePointer, {input_pointer, 1, int_type});
		emit(words, TypePointer, {function_pointer, 7, float_type});
		emit(words, Variable, {output_pointer, color, 3});
		emit(words, Variable, {input_pointer, selector, 1});
		emit(words, TypeFunction, {void_function, void_type});
		emit(words, TypeFunction, {float_function, float_type, float_type});
		emit(words, Constant, {float_type, one, 0x3f800000u});
		if (types) types(*this, words);
	}
	std::vector<uint32_t> finish() {
		std::vector<uint32_t> ret = words;
		ret.insert(ret.end(), body.begin(), body.end());
		ret[3] = bound;
		return ret;
	}
};

// n functions that store to the output, each called once by main
std::vector<uint32_t> many_functions(uint32_t n) {
	Module m;
	std::vector<uint32_t> functions;
	for (uint32_t i = 0; i < n; i++) {
		uint32_t f = m.id();
		functions.push_back(f);
		m.op(Function, {m.void_type, f, 0, m.void_function});
		m.op(Label, {m.id()});
		m.op(Store, {m.color, m.one});
		m.op(Return, {});
		m.op(FunctionEnd, {});
	}
	m.op(Function, {m.void_type, m.main, 0, m.void_function});
	m.op(Label, {m.id()});
	for (uint32_t f : functions) m.op(FunctionCall, {m.void_type, m.id(), f});
	m.op(Return, {});
	m.op(FunctionEnd, {});
	return m.finish();
}

// g0(x) = x + 1, gi(x) = g(i-1)(x); main stores g(n-1)(1.0)
std::vector<uint32_t> call_chain(uint32_t n) {
	Module m;
	uint32_t previous = 0;
	for (uint32_t i = 0; i < n; i++) {
		uint32_t f = m.id();
		uint32_t parameter = m.id();
		m.op(Function, {m.float_type, f, 0, m.float_function});
		m.op(FunctionParameter, {m.float_type, parameter});
		m.op(Label, {m.id()});
		uint32_t result = m.id();
		if (previous) m.op(FunctionCall, {m.float_type, result, previous, parameter});
		else m.op(FAdd, {m.float_type, result, parameter, m.one});
		m.op(ReturnValue, {result});
		m.op(FunctionEnd, {});
		previous = f;
	}
	m.op(Function, {m.void_type, m.main, 0, m.void_function});
	m.op(Label, {m.id()});
	uint32_t result = m.id();
	m.op(FunctionCall, {m.float_type, result, previous, m.one});
	m.op(Store, {m.color, result});
	m.op(Return, {});
	m.op(FunctionEnd, {});
	return m.finish();
}

// main applies one function n times, each result the next argument
std::vector<uint32_t> nested_calls(uint32_t n) {
	Module m;
	uint32_t f = m.id();
	uint32_t parameter = m.id();
	m.op(Function, {m.float_type, f, 0, m.float_function});
	m.op(FunctionParameter, {m.float_type, parameter});
	m.op(Label, {m.id()});
	uint32_t sum = m.id();
	m.op(FAdd, {m.float_type, sum, parameter, m.one});
	m.op(ReturnValue, {sum});
	m.op(FunctionEnd, {});
	m.op(Function, {m.void_type, m.main, 0, m.void_function});
	m.op(Label, {m.id()});
	uint32_t value = m.one;
	for (uint32_t i = 0; i < n; i++) {
		uint32_t result = m.id();
		m.op(FunctionCall, {m.float_type, result, f, value});
		value = result;
	}
	m.op(Store, {m.color, value});
	m.op(Return, {});
	m.op(FunctionEnd, {});
	return m.finish();
}

// a function with n out parameters, each stored once, called by main with n variables
std::vector<uint32_t> pointer_parameters(uint32_t n) {
	uint32_t type = 0;
	Module m([&](Module &module, std::vector<uint32_t> &words) {
		type = module.id();
		std::vector<uint32_t> operands = {type, module.void_type};
		for (uint32_t i = 0; i < n; i++) operands.push_back(module.function_pointer);
		Module::emit(words, TypeFunction, operands);
	});
	uint32_t f = m.id();
	m.op(Function, {m.void_type, f, 0, type});
	std::vector<uint32_t> parameters;
	for (uint32_t i = 0; i < n; i++) {
		parameters.push_back(m.id());
		m.op(FunctionParameter, {m.function_pointer, parameters.back()});
	}
	m.op(Label, {m.id()});
	for (uint32_t p : parameters) m.op(Store, {p, m.one});
	m.op(Return, {});
	m.op(FunctionEnd, {});
	m.op(Function, {m.void_type, m.main, 0, m.void_function});
	m.op(Label, {m.id()});
	std::vector<uint32_t> call = {m.void_type, m.id(), f};
	for (uint32_t i = 0; i < n; i++) {
		call.push_back(m.id());
		m.op(Variable, {m.function_pointer, call.back(), 7});
	}
	m.op(FunctionCall, call);
	for (uint32_t i = 0; i < n; i++) {
		uint32_t value = m.id();
		m.op(Load, {m.float_type, value, call[3 + i]});
		m.op(Store, {m.color, value});
	}
	m.op(Return, {});
	m.op(FunctionEnd, {});
	return m.finish();
}

// one switch on the input with n cases, each its own block that stores the output
std::vector<uint32_t> switch_cases(uint32_t n) {
	Module m;
	m.op(Function, {m.void_type, m.main, 0, m.void_function});
	m.op(Label, {m.id()});
	uint32_t value = m.id();
	m.op(Load, {m.int_type, value, m.selector});
	uint32_t merge = m.id();
	m.op(SelectionMerge, {merge, 0});
	std::vector<uint32_t> operands = {value, merge};
	std::vector<uint32_t> labels;
	for (uint32_t i = 0; i < n; i++) {
		labels.push_back(m.id());
		operands.push_back(i);
		operands.push_back(labels.back());
	}
	m.op(Switch, operands);
	for (uint32_t label : labels) {
		m.op(Label, {label});
		m.op(Store, {m.color, m.one});
		m.op(Branch, {merge});
	}
	m.op(Label, {merge});
	m.op(Return, {});
	m.op(FunctionEnd, {});
	return m.finish();
}

// n function variables, each stored in its own selection and read after it
std::vector<uint32_t> selection_variables(uint32_t n) {
	uint32_t bool_type = 0, zero = 0;
	Module m([&](Module &module, std::vector<uint32_t> &words) {
		bool_type = module.id();
		zero = module.id();
		Module::emit(words, TypeBool, {bool_type});
		Module::emit(words, Constant, {module.int_type, zero, 0});
	});
	m.op(Function, {m.void_type, m.main, 0, m.void_function});
	m.op(Label, {m.id()});
	std::vector<uint32_t> variables;
	for (uint32_t i = 0; i < n; i++) {
		variables.push_back(m.id());
		m.op(Variable, {m.function_pointer, variables.back(), 7});
	}
	uint32_t value = m.id();
	m.op(Load, {m.int_type, value, m.selector});
	uint32_t condition = m.id();
	m.op(SGreaterThan, {bool_type, condition, value, zero});
	for (uint32_t v : variables) {
		uint32_t then = m.id();
		uint32_t merge = m.id();
		m.op(SelectionMerge, {merge, 0});
		m.op(BranchConditional, {condition, then, merge});
		m.op(Label, {then});
		m.op(Store, {v, m.one});
		m.op(Branch, {merge});
		m.op(Label, {merge});
		uint32_t loaded = m.id();
		m.op(Load, {m.float_type, loaded, v});
		m.op(Store, {m.color, loaded});
	}
	m.op(Return, {});
	m.op(FunctionEnd, {});
	return m.finish();
}

// one switch whose every case stores a function variable that is read after it
std::vector<uint32_t> switch_variable(uint32_t n) {
	Module m;
	m.op(Function, {m.void_type, m.main, 0, m.void_function});
	m.op(Label, {m.id()});
	uint32_t variable = m.id();
	m.op(Variable, {m.function_pointer, variable, 7});
	uint32_t value = m.id();
	m.op(Load, {m.int_type, value, m.selector});
	uint32_t merge = m.id();
	m.op(SelectionMerge, {merge, 0});
	std::vector<uint32_t> operands = {value, merge};
	std::vector<uint32_t> labels;
	for (uint32_t i = 0; i < n; i++) {
		labels.push_back(m.id());
		operands.push_back(i);
		operands.push_back(labels.back());
	}
	m.op(Switch, operands);
	for (uint32_t label : labels) {
		m.op(Label, {label});
		m.op(Store, {variable, m.one});
		m.op(Branch, {merge});
	}
	m.op(Label, {merge});
	uint32_t loaded = m.id();
	m.op(Load, {m.float_type, loaded, variable});
	m.op(Store, {m.color, loaded});
	m.op(Return, {});
	m.op(FunctionEnd, {});
	return m.finish();
}

// n loops in one outer loop, each storing and reading a function variable of its own
std::vector<uint32_t> loop_variables(uint32_t n) {
	uint32_t bool_type = 0, zero = 0;
	Module m([&](Module &module, std::vector<uint32_t> &words) {
		bool_type = module.id();
		zero = module.id();
		Module::emit(words, TypeBool, {bool_type});
		Module::emit(words, Constant, {module.int_type, zero, 0});
	});
	m.op(Function, {m.void_type, m.main, 0, m.void_function});
	m.op(Label, {m.id()});
	std::vector<uint32_t> variables;
	for (uint32_t i = 0; i < n; i++) {
		variables.push_back(m.id());
		m.op(Variable, {m.function_pointer, variables.back(), 7});
	}
	uint32_t value = m.id();
	m.op(Load, {m.int_type, value, m.selector});
	uint32_t condition = m.id();
	m.op(SGreaterThan, {bool_type, condition, value, zero});
	uint32_t outer = m.id(), outer_body = m.id(), outer_continue = m.id(), outer_merge = m.id();
	m.op(Branch, {outer});
	m.op(Label, {outer});
	m.op(LoopMerge, {outer_merge, outer_continue, 0});
	m.op(Branch, {outer_body});
	m.op(Label, {outer_body});
	uint32_t header = m.id();
	m.op(Branch, {header});
	for (uint32_t v : variables) {
		uint32_t body = m.id(), continues = m.id(), merge = m.id();
		m.op(Label, {header});
		m.op(LoopMerge, {merge, continues, 0});
		m.op(Branch, {body});
		m.op(Label, {body});
		m.op(Store, {v, m.one});
		uint32_t loaded = m.id();
		m.op(Load, {m.float_type, loaded, v});
		m.op(Store, {m.color, loaded});
		m.op(Branch, {continues});
		m.op(Label, {continues});
		m.op(BranchConditional, {condition, header, merge});
		m.op(Label, {merge});
		header = m.id();
		m.op(Branch, {header});
	}
	m.op(Label, {header});
	m.op(Branch, {outer_continue});
	m.op(Label, {outer_continue});
	m.op(BranchConditional, {condition, outer, outer_merge});
	m.op(Label, {outer_merge});
	m.op(Return, {});
	m.op(FunctionEnd, {});
	return m.finish();
}

// spirv-val's verdict, or true without it
bool valid(const std::vector<uint32_t> &words, std::string &errors) {
	if (!have_tool("spirv-val")) return true;
	std::string path = temp_path("cost.spv");
	write_words(path, words);
	bool ok = run("spirv-val --target-env spv1.3 " + path, &errors);
	std::remove(path.c_str());
	return ok;
}

struct Cost {
	uint64_t steps = 0;
	std::string text;
};

Cost measure(const std::vector<uint32_t> &words, const std::string &what) {
	std::string errors;
	EXPECT_TRUE(valid(words, errors)) << what << ": " << errors.substr(0, 400);
	LogCapture capture;
	Vexa::ShaderSpirv spirv;
	Cost ret;
	EXPECT_TRUE(spirv.load(to_array(words))) << what << ": " << capture.errors;
	Vexa::String text;
	EXPECT_TRUE(spirv.get_source(text)) << what << ": " << capture.errors;
	EXPECT_EQ(capture.errors, "") << what;
	ret.steps = spirv.getRenderSteps();
	ret.text = text.get();
	return ret;
}

size_t count(const std::string &text, const std::string &part) {
	size_t ret = 0;
	for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ret++;
	return ret;
}

} // namespace

// Four times the size costs about four times the steps (the square would be
// sixteen times), and the text has everything of the larger module.
TEST(ListingCost, StepsGrowLinearly) {
	struct Case {
		const char *what;
		std::vector<uint32_t> (*make)(uint32_t);
		uint32_t size;
		const char *part;  // text that the listing has once per unit of size
		size_t extra;      // and that many more times
	};
	const Case cases[] = {
		{"functions", many_functions, 1000, " = 1.0;", 0},
		{"call chain", call_chain, 1000, "[constant] f32 ", 0},
		{"calls in one function", nested_calls, 1000, "(", 2},
		// at most 255 parameters for spirv-val
		{"pointer parameters", pointer_parameters, 60, "out f32 ", 0},
		{"switch cases", switch_cases, 4000, "case ", 0},
		{"a variable in every case", switch_variable, 4000, "case ", 0},
		{"variables of selections", selection_variables, 500, "if(", 0},
		{"variables of loops", loop_variables, 250, "do {", 1},
	};
	for (const Case &c : cases) {
		Cost small = measure(c.make(c.size), c.what);
		Cost large = measure(c.make(4 * c.size), std::string(c.what) + " x4");
		EXPECT_EQ(count(small.text, c.part), c.size + c.extra) << c.what;
		EXPECT_EQ(count(large.text, c.part), 4 * c.size + c.extra) << c.what;
		EXPECT_GT(small.steps, 0u) << c.what;
		EXPECT_LE(large.steps, 6 * small.steps) << c.what << ": " << small.steps << " steps, four times the size " << large.steps;
	}
}
