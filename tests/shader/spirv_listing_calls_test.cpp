// Calls in the decompiled listing: a call runs exactly once where the module
// makes it, whether its result is used once, several times, not at all, or
// only by values that the listing never writes; and a call whose result is a
// pointer, which the listing has no words for, fails the output with an error
// that names the function instead of being dropped or repeated at every load
// and store through it. Every fixture passes spirv-val first.
#include <gtest/gtest.h>

#include "listing_fixtures.h"
#include "tools/run_program.h"

using namespace listing_test;

namespace {

// A compute shader with a buffer `buf` of a u32 `a` and a u32[4] `arr`, a
// private `counter`, and `next()`, which returns the counter and increments
// it, so that every call is seen. `pick()`, when asked for, returns a pointer
// to `buf.a` after storing 7 through it.
std::string module(const std::string &body, bool pick = false) {
	// the values x and y of the body are named so
	std::string names = pick ? "OpName %pick \"pick\"\n" : "";
	for (const char *name : {"x", "y"}) {
		if (body.find(std::string("%") + name + " ") != std::string::npos) names += std::string("OpName %") + name + " \"" + name + "\"\n";
	}
	std::string text = R"(
               OpCapability Shader
)" + std::string(pick ? "OpCapability VariablePointers\nOpExtension \"SPV_KHR_variable_pointers\"\n" : "") + R"(
               OpMemoryModel Logical GLSL450
               OpEntryPoint GLCompute %main "main"
               OpExecutionMode %main LocalSize 1 1 1
               OpName %main "main"
               OpName %next "next"
               OpName %buf "buf"
               OpName %block "Block"
               OpMemberName %block 0 "a"
               OpMemberName %block 1 "arr"
               OpName %counter "counter"
)" + names + R"(
               OpDecorate %arr ArrayStride 4
               OpDecorate %block Block
               OpMemberDecorate %block 0 Offset 0
               OpMemberDecorate %block 1 Offset 4
               OpDecorate %buf DescriptorSet 0
               OpDecorate %buf Binding 0
       %void = OpTypeVoid
       %bool = OpTypeBool
       %uint = OpTypeInt 32 0
     %uint_0 = OpConstant %uint 0
     %uint_1 = OpConstant %uint 1
     %uint_4 = OpConstant %uint 4
     %uint_7 = OpConstant %uint 7
        %arr = OpTypeArray %uint %uint_4
      %block = OpTypeStruct %uint %arr
    %ptr_blk = OpTypePointer StorageBuffer %block
   %ptr_uint = OpTypePointer StorageBuffer %uint
   %ptr_priv = OpTypePointer Private %uint
        %buf = OpVariable %ptr_blk StorageBuffer
    %counter = OpVariable %ptr_priv Private
    %fn_void = OpTypeFunction %void
    %fn_uint = OpTypeFunction %uint
)" + std::string(pick ? "%fn_ptr = OpTypeFunction %ptr_uint\n" : "") + R"(
       %next = OpFunction %uint None %fn_uint
 %next_entry = OpLabel
        %old = OpLoad %uint %counter
        %new = OpIAdd %uint %old %uint_1
               OpStore %counter %new
               OpReturnValue %old
               OpFunctionEnd
)";
	if (pick) {
		text += R"(
       %pick = OpFunction %ptr_uint None %fn_ptr
 %pick_entry = OpLabel
          %p = OpAccessChain %ptr_uint %buf %uint_0
               OpStore %p %uint_7
               OpReturnValue %p
               OpFunctionEnd
)";
	}
	text += R"(
       %main = OpFunction %void None %fn_void
 %main_entry = OpLabel
)" + body + R"(
               OpReturn
               OpFunctionEnd
)";
	return text;
}

// the environment that the modules of this file are assembled and checked for
const char *const calls_env = "spv1.3";

bool have_tools() {
	return have_tool("spirv-as") && have_tool("spirv-val") && have_tool("spirv-dis");
}

} // namespace

// Each call of next() is in the listing once, at its place in the order of
// the calls, with a temporary where its result is read more than once or
// after other work.
TEST(ListingCalls, EveryCallRendersOnce) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as, spirv-val or spirv-dis missing";
	struct Case {
		const char *what;
		const char *body;
		const char *expected;
	};
	const Case cases[] = {
		{"used once, right away",
		 "%x = OpFunctionCall %uint %next\n%pa = OpAccessChain %ptr_uint %buf %uint_0\nOpStore %pa %x",
		 "\tbuf.a = next();\n"},
		{"used twice",
		 "%x = OpFunctionCall %uint %next\n%s = OpIAdd %uint %x %x\n%pa = OpAccessChain %ptr_uint %buf %uint_0\nOpStore %pa %s",
		 "\tu32 x = next();\n\tbuf.a = x + x;\n"},
		{"not used", "%x = OpFunctionCall %uint %next", "\tnext();\n"},
		{"used only by a value that nothing uses",
		 "%x = OpFunctionCall %uint %next\n%s = OpIMul %uint %x %uint_7\n%t = OpBitwiseAnd %uint %s %uint_1",
		 "\tnext();\n"},
		{"used only by a load through an access chain that nothing uses",
		 "%x = OpFunctionCall %uint %next\n%pe = OpAccessChain %ptr_uint %buf %uint_1 %x\n%v = OpLoad %uint %pe",
		 "\tnext();\n"},
		{"an index that is loaded and stored through",
		 "%x = OpFunctionCall %uint %next\n%pe = OpAccessChain %ptr_uint %buf %uint_1 %x\n%v = OpLoad %uint %pe\n"
		 "%w = OpIAdd %uint %v %uint_7\nOpStore %pe %w",
		 "\tu32 x = next();\n\tbuf.arr[x] += 7u;\n"},
		{"read after a later call",
		 "%x = OpFunctionCall %uint %next\n%y = OpFunctionCall %uint %next\n%s = OpISub %uint %x %y\n"
		 "%pa = OpAccessChain %ptr_uint %buf %uint_0\nOpStore %pa %s",
		 "\tu32 x = next();\n\tbuf.a = x - next();\n"},
		{"read in another block",
		 "%x = OpFunctionCall %uint %next\n%c = OpULessThan %bool %x %uint_4\nOpSelectionMerge %m None\n"
		 "OpBranchConditional %c %t %m\n%t = OpLabel\n%y = OpFunctionCall %uint %next\nOpBranch %m\n%m = OpLabel\n"
		 "%pa = OpAccessChain %ptr_uint %buf %uint_0\nOpStore %pa %x",
		 "\tu32 x = next();\n\tif(x < 4u) { next(); }\n\tbuf.a = x;\n"},
		// the third clause of a for-statement holds no declaration: the
		// value is declared at the function's start and assigned there
		{"read twice in a loop's continue block",
		 "OpBranch %h\n%h = OpLabel\nOpLoopMerge %m %c None\nOpBranch %b\n%b = OpLabel\n%pa = OpAccessChain %ptr_uint %buf %uint_0\n"
		 "%v = OpLoad %uint %pa\n%lt = OpULessThan %bool %v %uint_4\nOpBranchConditional %lt %body %m\n%body = OpLabel\nOpBranch %c\n"
		 "%c = OpLabel\n%x = OpFunctionCall %uint %next\n%s = OpIAdd %uint %x %x\nOpStore %pa %s\nOpBranch %h\n%m = OpLabel",
		 "\tu32 x;\n\tfor(; buf.a < 4u; x = next(), buf.a = x + x) {\n\t}\n"},
	};
	for (const Case &c : cases) {
		std::vector<uint32_t> words = assemble_valid(module(c.body), calls_env);
		Rendered listing = render(words);
		expect_rendered(listing, c.what);
		EXPECT_EQ(body_of(listing.text, "main"), c.expected) << c.what << "\n" << listing.text;
		// the independent count: calls and stores per function as spirv-dis shows them
		expect_same_work(words, listing, c.what);
	}
}

// A function that returns a pointer has no text in the listing: its
// definition and every call of it fail the output, by name, whatever the
// caller does with the pointer.
TEST(ListingCalls, PointerResultsFailByName) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as, spirv-val or spirv-dis missing";
	const char *const bodies[] = {
		// loaded and stored through: the call would stand at both
		"%q = OpFunctionCall %ptr_uint %pick\n%v = OpLoad %uint %q\n%w = OpIAdd %uint %v %uint_1\nOpStore %q %w",
		// only stored through
		"%q = OpFunctionCall %ptr_uint %pick\nOpStore %q %uint_1",
		// loaded, the value unused: the call and the store in pick() would vanish
		"%q = OpFunctionCall %ptr_uint %pick\n%v = OpLoad %uint %q",
		// not used at all
		"%q = OpFunctionCall %ptr_uint %pick",
	};
	for (const char *body : bodies) {
		Rendered listing = render(assemble_valid(module(body, true), calls_env));
		ASSERT_TRUE(listing.loaded) << body << "\n" << listing.errors;
		EXPECT_FALSE(listing.ok) << body << "\n" << listing.text;
		EXPECT_NE(listing.errors.find("ShaderSpirv::get_functions(): unknown pointer result of pick\n"), std::string::npos)
			<< body << "\n" << listing.errors;
		EXPECT_NE(listing.errors.find("ShaderSpirv::get_block(): unknown pointer result of call to pick\n"), std::string::npos)
			<< body << "\n" << listing.errors;
	}

	// the definition alone fails too
	Rendered uncalled = render(assemble_valid(module("", true), calls_env));
	ASSERT_TRUE(uncalled.loaded) << uncalled.errors;
	EXPECT_FALSE(uncalled.ok) << uncalled.text;
	EXPECT_EQ(uncalled.errors, "ShaderSpirv::get_functions(): unknown pointer result of pick\n");

	// and the program says so and exits 1
	std::string path = temp_path("pick.spv");
	write_words(path, assemble_valid(module(bodies[0], true), calls_env));
	ProgramResult result = run_program({"-c", path, "-d"});
	EXPECT_EQ(result.status, 1);
	EXPECT_NE(result.err.find("unknown pointer result of pick"), std::string::npos) << result.err;
	EXPECT_EQ(result.out, "");
	std::remove(path.c_str());
}
