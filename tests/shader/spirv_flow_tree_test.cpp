// The structured tree that the statement renderer builds of a function body
// before it prints anything: its shape for loops of every form, continue
// blocks, switches that fall through and early exits; the listing printed
// from it; and a backend that prints loops its own way from the same tree,
// in the `loop { ... continuing { ...; break if ...; } }` form of languages
// without do-while, comma lists or for-statements.
#include <gtest/gtest.h>

#include "listing_fixtures.h"

#include "shader/ShaderSpirvNumbers.h"

using namespace listing_test;

namespace {

using Vexa::FlowNode;
using Vexa::String;

// A compute shader around the body of `main`, with a storage buffer of two
// ints reached through %x_ptr and %y_ptr, a function-scope int %i, an int
// %k loaded from the buffer, and the local invocation index %nu.
std::string compute(const std::string &body) {
	return R"(
               OpCapability Shader
               OpMemoryModel Logical GLSL450
               OpEntryPoint GLCompute %main "main" %n
               OpExecutionMode %main LocalSize 1 1 1
               OpName %main "main"
               OpName %i "i"
               OpName %k "k"
               OpDecorate %n BuiltIn LocalInvocationIndex
               OpDecorate %Data Block
               OpMemberDecorate %Data 0 Offset 0
               OpMemberDecorate %Data 1 Offset 4
               OpDecorate %buffer DescriptorSet 0
               OpDecorate %buffer Binding 0
       %void = OpTypeVoid
       %bool = OpTypeBool
        %int = OpTypeInt 32 1
       %uint = OpTypeInt 32 0
       %Data = OpTypeStruct %int %int
   %ptr_data = OpTypePointer StorageBuffer %Data
    %ptr_int = OpTypePointer StorageBuffer %int
     %ptr_fn = OpTypePointer Function %int
   %ptr_uint = OpTypePointer Input %uint
     %buffer = OpVariable %ptr_data StorageBuffer
          %n = OpVariable %ptr_uint Input
    %fn_void = OpTypeFunction %void
      %int_0 = OpConstant %int 0
      %int_1 = OpConstant %int 1
      %int_2 = OpConstant %int 2
      %int_3 = OpConstant %int 3
     %int_10 = OpConstant %int 10
       %main = OpFunction %void None %fn_void
      %entry = OpLabel
          %i = OpVariable %ptr_fn Function
      %x_ptr = OpAccessChain %ptr_int %buffer %int_0
      %y_ptr = OpAccessChain %ptr_int %buffer %int_1
         %nu = OpLoad %uint %n
          %k = OpLoad %int %y_ptr
)" + body + R"(
               OpFunctionEnd
)";
}

// for(int i = 0; i < 10; i = i + 1): the condition in the block after the
// header, the increment in the continue block
const char *const for_loop = R"(
               OpStore %i %int_0
               OpBranch %header
     %header = OpLabel
               OpLoopMerge %merge %continue None
               OpBranch %cond
       %cond = OpLabel
         %iv = OpLoad %int %i
         %lt = OpSLessThan %bool %iv %int_10
               OpBranchConditional %lt %body %merge
       %body = OpLabel
         %x0 = OpLoad %int %x_ptr
         %x1 = OpIAdd %int %x0 %k
               OpStore %x_ptr %x1
               OpBranch %continue
   %continue = OpLabel
         %i0 = OpLoad %int %i
         %i1 = OpIAdd %int %i0 %int_1
               OpStore %i %i1
               OpBranch %header
      %merge = OpLabel
               OpReturn
)";

// do { x = x + k; } while(x < 10): the continue block's branch decides
const char *const do_while = R"(
               OpBranch %header
     %header = OpLabel
               OpLoopMerge %merge %continue None
               OpBranch %body
       %body = OpLabel
         %x0 = OpLoad %int %x_ptr
         %x1 = OpIAdd %int %x0 %k
               OpStore %x_ptr %x1
               OpBranch %continue
   %continue = OpLabel
         %x2 = OpLoad %int %x_ptr
         %lt = OpSLessThan %bool %x2 %int_10
               OpBranchConditional %lt %header %merge
      %merge = OpLabel
               OpReturn
)";

// a while-loop whose continue block is a construct of its own (a selection),
// and whose body leaves early with a break
const char *const continue_construct = R"(
               OpBranch %header
     %header = OpLabel
         %lt = OpSLessThan %bool %k %int_10
               OpLoopMerge %merge %continue None
               OpBranchConditional %lt %body %merge
       %body = OpLabel
         %x0 = OpLoad %int %x_ptr
         %x1 = OpIAdd %int %x0 %k
               OpStore %x_ptr %x1
         %big = OpSGreaterThan %bool %x1 %int_3
               OpBranchConditional %big %merge %continue
   %continue = OpLabel
         %y0 = OpLoad %int %y_ptr
         %odd = OpSGreaterThan %bool %y0 %int_2
               OpSelectionMerge %cmerge None
               OpBranchConditional %odd %then %cmerge
       %then = OpLabel
               OpStore %y_ptr %int_0
               OpBranch %cmerge
     %cmerge = OpLabel
               OpBranch %header
      %merge = OpLabel
               OpReturn
)";

// a switch: case 1 falls through into case 2, case 3 returns early, the
// default only breaks
const char *const switch_fall = R"(
               OpSelectionMerge %merge None
               OpSwitch %k %default 1 %one 2 %two 3 %three
        %one = OpLabel
               OpStore %x_ptr %int_1
               OpBranch %two
        %two = OpLabel
               OpStore %y_ptr %int_2
               OpBranch %merge
      %three = OpLabel
               OpReturn
    %default = OpLabel
               OpBranch %merge
      %merge = OpLabel
               OpStore %x_ptr %int_3
               OpReturn
)";

// a loop that is its own continue target, left by its header's branch
const char *const single_block = R"(
               OpBranch %header
     %header = OpLabel
               OpLoopMerge %merge %header None
               OpBranchConditional %lt %merge %header
      %merge = OpLabel
               OpReturn
)";

// Opens the tree of the entry point's body and the printers to the test.
class FlowProbe : public Vexa::ShaderSpirv {
public:
	using ShaderSpirv::print_flow;
	using ShaderSpirv::print_node;

	// the tree of the entry point's body, as `get_functions` builds it
	bool build_entry(FlowNode &root) {
		Iterator it = find_target(entry_id);
		while (!it.is_end() && it.get_opcode() != Vexa::Spirv::OpLabel) it = it.advance(it.get_size());
		if (it.is_end()) return false;
		Pending pending;
		get_block_flow(root, it[1], 1, pending, nullptr);
		return true;
	}
};

// Kinds and nesting of a tree, its sequences flattened into their parents:
// `loop(head init clause){body|continuing|clause}`, `if(cond){then}{else}`,
// `exit{...}` for a conditional jump out of a loop, `switch{case...}` with
// `case(labels default falls){body}`.
std::string shape(const FlowNode &node);

std::string shape_list(const FlowNode &node) {
	std::string ret;
	for (uint32_t i = 0; i < node.children.size(); i++) {
		std::string part = shape(node.children[i]);
		if (part.empty()) continue;
		if (!ret.empty()) ret += ' ';
		ret += part;
	}
	return ret;
}

std::string shape(const FlowNode &node) {
	switch (node.kind) {
		case FlowNode::Sequence:
			return shape_list(node);
		case FlowNode::Statement:
			return "s";
		case FlowNode::Text:
			return "text";
		case FlowNode::Break:
			return "break";
		case FlowNode::Continue:
			return "continue";
		case FlowNode::Return:
			return "return";
		case FlowNode::If: {
			std::string ret = node.jump ? "exit" : "if";
			for (uint32_t i = 0; i < node.children.size(); i++) ret += "{" + shape(node.children[i]) + "}";
			return ret;
		}
		case FlowNode::Loop: {
			std::string ret = "loop(";
			ret += node.single_block ? "single" : node.form == FlowNode::LoopHead ? "head" : node.form == FlowNode::LoopTail ? "tail" : "none";
			if (node.has_init) ret += " init";
			if (node.has_clause) ret += " clause";
			ret += "){" + shape(node.children[0]) + "|" + shape(node.children[1]) + "|" + shape(node.children[2]) + "}";
			return ret;
		}
		case FlowNode::Switch:
			return "switch{" + shape_list(node) + "}";
		case FlowNode::Case: {
			std::string ret = "case(" + std::to_string(node.labels.size());
			if (node.is_default) ret += " default";
			if (node.falls) ret += " falls";
			return ret + "){" + shape_list(node) + "}";
		}
	}
	return "?";
}

struct Built {
	FlowNode root;
	std::string text;
};

// the entry point's tree, and its text as the listing prints it
Built build(const std::string &body) {
	Built ret;
	std::vector<uint32_t> words = assemble_valid(compute(body));
	FlowProbe probe;
	LogCapture capture;
	EXPECT_TRUE(probe.load(to_array(words)));
	EXPECT_TRUE(probe.build_entry(ret.root));
	ret.text = probe.print_flow(ret.root, 1).get();
	EXPECT_EQ(capture.errors, "");
	return ret;
}

// A backend whose loops have one form: `loop { ... }`, the condition of a
// head its first statement, and what ends an iteration (the third clause,
// the continue construct, the condition of a do-while) in `continuing`.
class LoopBackend : public Vexa::ShaderSpirv {
protected:
	static void tabs(String &out, uint32_t indent) {
		for (uint32_t i = 0; i < indent; i++) out.append('\t');
	}
	void print_loop(String &out, const FlowNode &node, uint32_t indent) override {
		if (node.has_init && !node.init.empty()) print_line(out, indent, node.init);
		tabs(out, indent);
		out.append(node.control);
		out.append("loop {\n");
		if (node.form == FlowNode::LoopHead) {
			tabs(out, indent + 1);
			out.append(String::format("if !(%s) { break; }\n", node.condition.get()));
		}
		print_node(out, node.children[0], indent + 1);
		String continuing;
		print_node(continuing, node.children[1], indent + 2);
		print_node(continuing, node.children[2], indent + 2);
		if (node.form == FlowNode::LoopTail) {
			tabs(continuing, indent + 2);
			continuing.append(String::format("break if !(%s);\n", node.condition.get()));
		}
		if (!continuing.empty()) {
			tabs(out, indent + 1);
			out.append("continuing {\n");
			out.append(continuing);
			tabs(out, indent + 1);
			out.append("}\n");
		}
		tabs(out, indent);
		out.append("}\n");
	}
};

} // namespace

// Each fixture's tree: the kinds of its nodes and their nesting. A body that
// reads k twice opens with its declaration.
TEST(FlowTree, ShapeOfLoopsSwitchesAndExits) {
	if (!have_tool("spirv-as") || !have_tool("spirv-val")) GTEST_SKIP() << "spirv-as or spirv-val missing";
	struct Case {
		const char *what;
		std::string body;
		const char *shape;
	};
	const Case cases[] = {
		{"a for-statement with its variable and third clause", for_loop, "s loop(head init clause){s||s}"},
		{"a do-while", do_while, "s loop(tail){s||}"},
		{"a while whose continue block is a construct, left early by a break", continue_construct,
			"s loop(head){s s exit{break}|if{s}|}"},
		{"a switch with a case falling through and one returning", switch_fall,
			"switch{case(1 falls){s} case(1){s break} case(1){return} case(0 default){break}} s"},
		{"a loop of a single block", std::string("%lt = OpSLessThan %bool %k %int_10\n") + single_block, "s loop(single){exit{break}||}"},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.what);
		Built built = build(c.body);
		EXPECT_EQ(shape(built.root), c.shape);
	}
}

// The tree prints as the listing's body of the function, byte for byte.
TEST(FlowTree, PrintsAsTheListing) {
	if (!have_tool("spirv-as") || !have_tool("spirv-val")) GTEST_SKIP() << "spirv-as or spirv-val missing";
	for (const char *body : {for_loop, do_while, continue_construct, switch_fall}) {
		Built built = build(body);
		Rendered listing = render(assemble_valid(compute(body)));
		expect_rendered(listing, body);
		EXPECT_EQ(built.text, body_of(listing.text, "main")) << body;
	}
}

// A backend that overrides only the printing of loops writes every loop of
// the fixtures in its own form; the statements inside are the base's.
TEST(FlowTree, BackendPrintsLoopsItsOwnWay) {
	if (!have_tool("spirv-as") || !have_tool("spirv-val")) GTEST_SKIP() << "spirv-as or spirv-val missing";
	struct Case {
		const char *what;
		const char *body;
		const char *text;
	};
	const Case cases[] = {
		{"for", for_loop,
			"\t[function] i32 i = 0;\n"
			"\tloop {\n"
			"\t\tif !(i < 10) { break; }\n"
			"\t\t_c5_0 += k;\n"
			"\t\tcontinuing {\n"
			"\t\t\ti++;\n"
			"\t\t}\n"
			"\t}\n"},
		{"do-while", do_while,
			"\tloop {\n"
			"\t\t_c5_0 += k;\n"
			"\t\tcontinuing {\n"
			"\t\t\tbreak if !(_c5_0 < 10);\n"
			"\t\t}\n"
			"\t}\n"},
		{"continue construct", continue_construct,
			"\tloop {\n"
			"\t\tif !(k < 10) { break; }\n"
			"\t\ti32 _c1e = _c5_0;\n"
			"\t\t_c5_0 = _c1e + k;\n"
			"\t\tif((_c1e + k) > 3) break;\n"
			"\t\tcontinuing {\n"
			"\t\t\tif(_c5_1 > 2) { _c5_1 = 0; }\n"
			"\t\t}\n"
			"\t}\n"},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.what);
		Rendered rendered = render<LoopBackend>(assemble_valid(compute(c.body)));
		expect_rendered(rendered, c.what);
		EXPECT_NE(rendered.text.find(c.text), std::string::npos) << rendered.text;
		EXPECT_EQ(rendered.text.find("for("), std::string::npos) << rendered.text;
		EXPECT_EQ(rendered.text.find("while("), std::string::npos) << rendered.text;
	}
}
