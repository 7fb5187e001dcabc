// OpPhi in the listing and in the GLSL backend that inherits its statement
// renderer. The reference compiler takes short-circuit && and || through
// OpPhi, and its optimiser every variable of a loop or a branch: the fixtures
// made both ways render with -d, -glsl and -glsles, the GLSL texts pass the
// reference compiler's checks for their stage, and the listing does the work
// of the module (tests/shader/spirv_listing_counts_test.cpp counts it). What
// the renderer cannot write fails with an error that names the Phi.
// (tests/vulkan/compute_phi_test.cpp runs such texts against the reference.)
#include <gtest/gtest.h>

#include "listing_fixtures.h"
#include "tools/run_program.h"

using namespace listing_test;

namespace {

bool have_tools() {
	return have_tool("glslangValidator") && have_tool("spirv-opt") && have_tool("spirv-val") && have_tool("spirv-as");
}

bool has_phi(const std::vector<uint32_t> &words) {
	for (size_t at = 5; at < words.size() && (words[at] >> 16) != 0; at += words[at] >> 16) {
		if ((words[at] & 0xffffu) == 245u) return true;
	}
	return false;
}

// A compute shader around one function body, with a storage buffer of two
// ints (%buffer, members reached through %x_ptr and %y_ptr), an output int
// %out in it at member 1, and an input int %n (the local invocation index);
// `capabilities` stand after the Shader capability.
std::string compute(const std::string &body, const std::string &capabilities = "") {
	return R"(
               OpCapability Shader
)" + capabilities + R"(
               OpMemoryModel Logical GLSL450
               OpEntryPoint GLCompute %main "main" %n
               OpExecutionMode %main LocalSize 1 1 1
               OpName %main "main"
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
   %ptr_uint = OpTypePointer Input %uint
     %buffer = OpVariable %ptr_data StorageBuffer
          %n = OpVariable %ptr_uint Input
    %fn_void = OpTypeFunction %void
      %int_0 = OpConstant %int 0
      %int_1 = OpConstant %int 1
      %int_2 = OpConstant %int 2
     %int_10 = OpConstant %int 10
     %uint_1 = OpConstant %uint 1
       %main = OpFunction %void None %fn_void
      %entry = OpLabel
      %x_ptr = OpAccessChain %ptr_int %buffer %int_0
      %y_ptr = OpAccessChain %ptr_int %buffer %int_1
         %nu = OpLoad %uint %n
)" + body + R"(
               OpReturn
               OpFunctionEnd
)";
}

} // namespace

// The fixtures, as the reference compiler makes them and after spirv-opt -O:
// every one has Phis, renders with the program's -d, -glsl and -glsles, and
// the GLSL texts pass `glslangValidator -S` for their stage.
TEST(ListingPhi, FixturesRenderAsGLSLOfTheirStage) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator, spirv-opt, spirv-val or spirv-as missing";
	struct Fixture {
		const char *name;
		const char *stage;
		const char *option;
	};
	const Fixture fixtures[] = {
		{"shaders/listing_phi.frag", "frag", "-f"},
		{"shaders/listing_phi.comp", "comp", "-c"},
	};
	for (const Fixture &fixture : fixtures) {
		std::string errors;
		std::vector<uint32_t> compiled = compile_file(fixture.name, &errors);
		ASSERT_FALSE(compiled.empty()) << fixture.name << ": " << errors;
		std::vector<uint32_t> optimized = optimize(compiled);
		for (const std::vector<uint32_t> *words : {&compiled, &optimized}) {
			std::string what = std::string(fixture.name) + (words == &optimized ? " after spirv-opt -O" : "");
			SCOPED_TRACE(what);
			EXPECT_TRUE(has_phi(*words));
			std::string module = temp_path("phi.spv");
			write_words(module, *words);
			for (const char *output : {"-d", "-glsl", "-glsles"}) {
				std::string text = temp_path(std::string("phi.") + fixture.stage);
				ProgramResult result = run_program({fixture.option, module, output, text});
				EXPECT_EQ(result.status, 0) << output << ": " << result.err;
				EXPECT_EQ(result.err, "") << output;
				if (result.status == 0 && std::string(output) != "-d") {
					EXPECT_TRUE(run(std::string("glslangValidator -S ") + fixture.stage + " " + text, &errors)) << output << ": " << errors << read_text(text);
				}
				std::remove(text.c_str());
			}
			std::remove(module.c_str());
		}
	}
}

// Valid modules whose Phis the structured text cannot assign where their
// edges are taken: the output fails, its first error naming the Phi.
TEST(ListingPhi, UnwritablePhisFailByName) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator, spirv-opt, spirv-val or spirv-as missing";
	struct Case {
		const char *what;
		std::string capabilities;
		std::string body;
		const char *error;
	};
	const Case cases[] = {
		{"a Phi of pointers, which no variable of the text holds",
			"OpCapability VariablePointersStorageBuffer\nOpExtension \"SPV_KHR_variable_pointers\"\n",
			"%odd = OpBitwiseAnd %uint %nu %uint_1\n%is_odd = OpIEqual %bool %odd %uint_1\n"
			"OpSelectionMerge %m None\nOpBranchConditional %is_odd %t %m\n%t = OpLabel\nOpBranch %m\n%m = OpLabel\n"
			"%which = OpPhi %ptr_int %x_ptr %t %y_ptr %entry\nOpStore %which %int_2",
			"ShaderSpirv::get_block(): unknown Phi which of opcode 32 type"},
		{"a loop header's Phi assigned by a do-while condition that two branches reach",
			"",
			"OpBranch %h\n%h = OpLabel\n%i = OpPhi %int %int_0 %entry %next %c\nOpLoopMerge %m %c None\nOpBranch %b\n"
			"%b = OpLabel\n%small = OpSLessThan %bool %i %int_2\nOpBranchConditional %small %c %x\n"
			"%x = OpLabel\nOpStore %y_ptr %i\nOpBranch %c\n"
			"%c = OpLabel\n%next = OpIAdd %int %i %int_1\n%go = OpSLessThan %bool %next %int_10\nOpBranchConditional %go %h %m\n"
			"%m = OpLabel",
			"ShaderSpirv::get_merge(): unknown Phi i assigned by a continue block that several branches reach"},
		{"a loop header's Phi assigned, in the third clause of a for-statement, a value that the body names",
			"",
			"OpBranch %h\n%h = OpLabel\n%i = OpPhi %int %int_0 %entry %next %c\n%s = OpPhi %int %int_0 %entry %twice %c\n"
			"OpLoopMerge %m %c None\nOpBranch %t\n"
			"%t = OpLabel\n%more = OpSLessThan %bool %i %int_10\nOpBranchConditional %more %b %m\n"
			"%b = OpLabel\n%v = OpLoad %int %x_ptr\nOpStore %x_ptr %i\n%twice = OpIMul %int %v %int_2\n%small = OpSLessThan %bool %v %int_2\n"
			"OpBranchConditional %small %c %x\n"
			"%x = OpLabel\nOpStore %y_ptr %twice\nOpBranch %c\n"
			"%c = OpLabel\nOpStore %y_ptr %s\n%next = OpIAdd %int %i %int_1\nOpBranch %h\n"
			"%m = OpLabel",
			"ShaderSpirv::get_merge(): unknown Phi s assigned in the third clause of a for-statement"},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.what);
		std::string text = compute(c.body, c.capabilities);
		for (const char *name : {"which", "i", "s"}) {
			if (c.body.find(std::string("%") + name + " = ") == std::string::npos) continue;
			size_t at = text.find("OpName %main \"main\"\n");
			text.insert(at, std::string("OpName %") + name + " \"" + name + "\"\n");
		}
		std::vector<uint32_t> words = assemble_valid(text);
		ASSERT_FALSE(words.empty());
		Rendered listing = render(words);
		EXPECT_EQ(failure_of(listing), Failure::Unsupported) << listing.errors;
		EXPECT_EQ(first_line(listing.errors), c.error) << listing.errors << listing.text;
	}
}

// A do-while whose condition reads a value that its body names: the
// condition cannot stand after the body's scope, so the loop is a for(;;)
// whose body ends with the branch that leaves it.
TEST(ListingPhi, DoWhileConditionReadsTheBody) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator, spirv-opt, spirv-val or spirv-as missing";
	std::string body =
		"OpBranch %h\n%h = OpLabel\nOpLoopMerge %m %c None\nOpBranch %b\n"
		"%b = OpLabel\n%v = OpLoad %int %x_ptr\nOpStore %x_ptr %int_2\nOpBranch %c\n"
		"%c = OpLabel\n%small = OpSLessThan %bool %v %int_10\nOpBranchConditional %small %h %m\n"
		"%m = OpLabel";
	std::string text = compute(body);
	text.insert(text.find("OpName %main"), "OpName %v \"v\"\n");
	Rendered listing = render(assemble_valid(text));
	expect_rendered(listing, "do-while");
	size_t loop = listing.text.find("\n\tfor(;;) {\n");
	size_t exit = listing.text.find("\n\t\tif(!(v < 10)) break;\n\t}\n");
	EXPECT_NE(loop, std::string::npos) << listing.text;
	EXPECT_NE(exit, std::string::npos) << listing.text;
	EXPECT_LT(loop, exit) << listing.text;
}
