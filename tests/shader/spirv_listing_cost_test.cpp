// The cost of the decompiled listing grows with the module, not with the
// square of it: modules made here word by word, at one size and at four times
// that size, must render with about four times the renderer's search steps
// (ShaderSpirv::getRenderSteps), for many functions, a long call chain, many
// pointer parameters, a call chain inside one function, a switch with many
// cases, and many variables declared where their selection or loop needs them.
// Where spirv-val is present, every generated module is checked to
// be valid first, so that the cost is measured on what a compiler could give.
#include <gtest/gtest.h>

#include "listing_fixtures.h"
#include "shader/ShaderSpirvNumbers.h"

#include <functional>
#include <initializer_list>

using namespace listing_test;
using namespace Vexa::Spirv;

namespace {

// numbers of the module format that the renderer does not name
const uint32_t memory_model_opcode = 14;
const uint32_t fadd_opcode = 129;
const uint32_t origin_upper_left = 7;
const uint32_t flat_decoration = 14;

// A fragment shader made word by word: `main` stores floats to the output
// %color and may read the flat integer input %selector.
struct Module {
	std::vector<uint32_t> words = {0x07230203u, 0x00010300u, 0u, 0u, 0u};
	uint32_t bound = 1;
	uint32_t void_type = 0, int_type = 0, float_type = 0, output_pointer = 0, input_pointer = 0, function_pointer = 0;
	uint32_t color = 0, selector = 0, void_function = 0, float_function = 0, one = 0, main = 0;
	uint32_t bool_type = 0, zero = 0; // declared by `conditions`
	std::vector<uint32_t> body; // the functions, after the declarations

	uint32_t id() { return bound++; }
	void op(uint32_t opcode, const std::vector<uint32_t> &operands) { emit(body, opcode, operands); }

	// `types` adds declarations of its own to the words before the functions
	Module(const std::function<void(Module &, std::vector<uint32_t> &)> &types = nullptr) {
		main = id();
		color = id();
		selector = id();
		emit(words, OpCapability, {1});
		emit(words, memory_model_opcode, {0, 1});
		std::vector<uint32_t> entry = {4, main};
		for (uint32_t w : string_words("main")) entry.push_back(w);
		entry.push_back(color);
		entry.push_back(selector);
		emit(words, OpEntryPoint, entry);
		emit(words, OpExecutionMode, {main, origin_upper_left});
		emit(words, OpDecorate, {color, DecorationLocation, 0});
		emit(words, OpDecorate, {selector, DecorationLocation, 0});
		emit(words, OpDecorate, {selector, flat_decoration});
		void_type = id();
		int_type = id();
		float_type = id();
		output_pointer = id();
		input_pointer = id();
		function_pointer = id();
		void_function = id();
		float_function = id();
		one = id();
		emit(words, OpTypeVoid, {void_type});
		emit(words, OpTypeInt, {int_type, 32, 1});
		emit(words, OpTypeFloat, {float_type, 32});
		emit(words, OpTypePointer, {output_pointer, StorageOutput, float_type});
		emit(words, OpTypePointer, {input_pointer, StorageInput, int_type});
		emit(words, OpTypePointer, {function_pointer, StorageFunction, float_type});
		emit(words, OpVariable, {output_pointer, color, StorageOutput});
		emit(words, OpVariable, {input_pointer, selector, StorageInput});
		emit(words, OpTypeFunction, {void_function, void_type});
		emit(words, OpTypeFunction, {float_function, float_type, float_type});
		emit(words, OpConstant, {float_type, one, 0x3f800000u});
		if (types) types(*this, words);
	}

	// the declarations that `selector_is_positive` needs, for the constructor
	static void conditions(Module &m, std::vector<uint32_t> &words) {
		m.bool_type = m.id();
		m.zero = m.id();
		emit(words, OpTypeBool, {m.bool_type});
		emit(words, OpConstant, {m.int_type, m.zero, 0});
	}

	void begin_main() {
		op(OpFunction, {void_type, main, 0, void_function});
		op(OpLabel, {id()});
	}
	void end_function() {
		op(OpReturn, {});
		op(OpFunctionEnd, {});
	}
	// n float variables of the function
	std::vector<uint32_t> variables(uint32_t n) {
		std::vector<uint32_t> ret;
		for (uint32_t i = 0; i < n; i++) {
			ret.push_back(id());
			op(OpVariable, {function_pointer, ret.back(), StorageFunction});
		}
		return ret;
	}
	// the condition selector > 0
	uint32_t selector_is_positive() {
		uint32_t value = id();
		op(OpLoad, {int_type, value, selector});
		uint32_t condition = id();
		op(OpSGreaterThan, {bool_type, condition, value, zero});
		return condition;
	}
	// a load of a float variable, stored to the output
	void copy_to_color(uint32_t variable) {
		uint32_t loaded = id();
		op(OpLoad, {float_type, loaded, variable});
		op(OpStore, {color, loaded});
	}
	// a switch on the selector with n cases, each its own block that stores
	// one to `target`; the blocks go on at the merge
	void switch_storing(uint32_t n, uint32_t target) {
		uint32_t value = id();
		op(OpLoad, {int_type, value, selector});
		uint32_t merge = id();
		op(OpSelectionMerge, {merge, 0});
		std::vector<uint32_t> operands = {value, merge};
		std::vector<uint32_t> labels;
		for (uint32_t i = 0; i < n; i++) {
			labels.push_back(id());
			operands.push_back(i);
			operands.push_back(labels.back());
		}
		op(OpSwitch, operands);
		for (uint32_t label : labels) {
			op(OpLabel, {label});
			op(OpStore, {target, one});
			op(OpBranch, {merge});
		}
		op(OpLabel, {merge});
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
		m.op(OpFunction, {m.void_type, f, 0, m.void_function});
		m.op(OpLabel, {m.id()});
		m.op(OpStore, {m.color, m.one});
		m.end_function();
	}
	m.begin_main();
	for (uint32_t f : functions) m.op(OpFunctionCall, {m.void_type, m.id(), f});
	m.end_function();
	return m.finish();
}

// g0(x) = x + 1, gi(x) = g(i-1)(x); main stores g(n-1)(1.0)
std::vector<uint32_t> call_chain(uint32_t n) {
	Module m;
	uint32_t previous = 0;
	for (uint32_t i = 0; i < n; i++) {
		uint32_t f = m.id();
		uint32_t parameter = m.id();
		m.op(OpFunction, {m.float_type, f, 0, m.float_function});
		m.op(OpFunctionParameter, {m.float_type, parameter});
		m.op(OpLabel, {m.id()});
		uint32_t result = m.id();
		if (previous) m.op(OpFunctionCall, {m.float_type, result, previous, parameter});
		else m.op(fadd_opcode, {m.float_type, result, parameter, m.one});
		m.op(OpReturnValue, {result});
		m.op(OpFunctionEnd, {});
		previous = f;
	}
	m.begin_main();
	uint32_t result = m.id();
	m.op(OpFunctionCall, {m.float_type, result, previous, m.one});
	m.op(OpStore, {m.color, result});
	m.end_function();
	return m.finish();
}

// main applies one function n times, each result the next argument
std::vector<uint32_t> nested_calls(uint32_t n) {
	Module m;
	uint32_t f = m.id();
	uint32_t parameter = m.id();
	m.op(OpFunction, {m.float_type, f, 0, m.float_function});
	m.op(OpFunctionParameter, {m.float_type, parameter});
	m.op(OpLabel, {m.id()});
	uint32_t sum = m.id();
	m.op(fadd_opcode, {m.float_type, sum, parameter, m.one});
	m.op(OpReturnValue, {sum});
	m.op(OpFunctionEnd, {});
	m.begin_main();
	uint32_t value = m.one;
	for (uint32_t i = 0; i < n; i++) {
		uint32_t result = m.id();
		m.op(OpFunctionCall, {m.float_type, result, f, value});
		value = result;
	}
	m.op(OpStore, {m.color, value});
	m.end_function();
	return m.finish();
}

// a function with n out parameters, each stored once, called by main with n variables
std::vector<uint32_t> pointer_parameters(uint32_t n) {
	uint32_t type = 0;
	Module m([&](Module &module, std::vector<uint32_t> &words) {
		type = module.id();
		std::vector<uint32_t> operands = {type, module.void_type};
		for (uint32_t i = 0; i < n; i++) operands.push_back(module.function_pointer);
		emit(words, OpTypeFunction, operands);
	});
	uint32_t f = m.id();
	m.op(OpFunction, {m.void_type, f, 0, type});
	std::vector<uint32_t> parameters;
	for (uint32_t i = 0; i < n; i++) {
		parameters.push_back(m.id());
		m.op(OpFunctionParameter, {m.function_pointer, parameters.back()});
	}
	m.op(OpLabel, {m.id()});
	for (uint32_t p : parameters) m.op(OpStore, {p, m.one});
	m.end_function();
	m.begin_main();
	std::vector<uint32_t> call = {m.void_type, m.id(), f};
	for (uint32_t v : m.variables(n)) call.push_back(v);
	m.op(OpFunctionCall, call);
	for (uint32_t i = 0; i < n; i++) {
		uint32_t value = m.id();
		m.op(OpLoad, {m.float_type, value, call[3 + i]});
		m.op(OpStore, {m.color, value});
	}
	m.end_function();
	return m.finish();
}

// one switch on the input with n cases, each its own block that stores the output
std::vector<uint32_t> switch_cases(uint32_t n) {
	Module m;
	m.begin_main();
	m.switch_storing(n, m.color);
	m.end_function();
	return m.finish();
}

// n function variables, each stored in its own selection and read after it
std::vector<uint32_t> selection_variables(uint32_t n) {
	Module m(Module::conditions);
	m.begin_main();
	std::vector<uint32_t> variables = m.variables(n);
	uint32_t condition = m.selector_is_positive();
	for (uint32_t v : variables) {
		uint32_t then = m.id();
		uint32_t merge = m.id();
		m.op(OpSelectionMerge, {merge, 0});
		m.op(OpBranchConditional, {condition, then, merge});
		m.op(OpLabel, {then});
		m.op(OpStore, {v, m.one});
		m.op(OpBranch, {merge});
		m.op(OpLabel, {merge});
		m.copy_to_color(v);
	}
	m.end_function();
	return m.finish();
}

// one switch whose every case stores a function variable that is read after it
std::vector<uint32_t> switch_variable(uint32_t n) {
	Module m;
	m.begin_main();
	uint32_t variable = m.variables(1)[0];
	m.switch_storing(n, variable);
	m.copy_to_color(variable);
	m.end_function();
	return m.finish();
}

// n loops in one outer loop, each storing and reading a function variable of its own
std::vector<uint32_t> loop_variables(uint32_t n) {
	Module m(Module::conditions);
	m.begin_main();
	std::vector<uint32_t> variables = m.variables(n);
	uint32_t condition = m.selector_is_positive();
	uint32_t outer = m.id(), outer_body = m.id(), outer_continue = m.id(), outer_merge = m.id();
	m.op(OpBranch, {outer});
	m.op(OpLabel, {outer});
	m.op(OpLoopMerge, {outer_merge, outer_continue, 0});
	m.op(OpBranch, {outer_body});
	m.op(OpLabel, {outer_body});
	uint32_t header = m.id();
	m.op(OpBranch, {header});
	for (uint32_t v : variables) {
		uint32_t body = m.id(), continues = m.id(), merge = m.id();
		m.op(OpLabel, {header});
		m.op(OpLoopMerge, {merge, continues, 0});
		m.op(OpBranch, {body});
		m.op(OpLabel, {body});
		m.op(OpStore, {v, m.one});
		m.copy_to_color(v);
		m.op(OpBranch, {continues});
		m.op(OpLabel, {continues});
		m.op(OpBranchConditional, {condition, header, merge});
		m.op(OpLabel, {merge});
		header = m.id();
		m.op(OpBranch, {header});
	}
	m.op(OpLabel, {header});
	m.op(OpBranch, {outer_continue});
	m.op(OpLabel, {outer_continue});
	m.op(OpBranchConditional, {condition, outer, outer_merge});
	m.op(OpLabel, {outer_merge});
	m.end_function();
	return m.finish();
}

struct Cost {
	uint64_t steps = 0;
	std::string text;
};

// the listing and the search steps it took; the module is checked by
// spirv-val first where it is present
Cost measure(const std::vector<uint32_t> &words, const std::string &what) {
	if (have_tool("spirv-val")) {
		EXPECT_EQ(spirv_val(words).substr(0, 400), "") << what;
	}
	Vexa::ShaderSpirv spirv;
	Rendered listing = render_with(spirv, words);
	expect_rendered(listing, what);
	Cost ret;
	ret.steps = spirv.getRenderSteps();
	ret.text = listing.text;
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
		EXPECT_EQ(count_of(small.text, c.part), c.size + c.extra) << c.what;
		EXPECT_EQ(count_of(large.text, c.part), 4 * c.size + c.extra) << c.what;
		EXPECT_GT(small.steps, 0u) << c.what;
		EXPECT_LE(large.steps, 6 * small.steps) << c.what << ": " << small.steps << " steps, four times the size " << large.steps;
	}
}
