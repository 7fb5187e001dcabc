// The decompiled listing (`shader -d`): the exact text of small modules whose
// rendering is fixed (loops, selections, switches, calls, declarations,
// values and updates), the failures that must not pass for a listing with a
// hole in it, and the size of the text on values that are used twice.
#include <gtest/gtest.h>

#include "listing_fixtures.h"
#include "tools/run_program.h"

using namespace listing_test;

namespace {

// text fixtures: tests/data/listing/<name>.spvasm renders as <name>.txt
const char *const expected_cases[] = {
	"calls",        // return, void calls, calls used once and twice
	"loops",        // for, while, do-while, a variable read after its loop
	"branches",     // one-line if, unsigned and signed switches, loop controls
	"values",       // constants, negations, swizzles, selections, shuffles, updates
	"declarations", // structures, blocks, arrays of arrays, out and inout parameters
	"empty",        // a module without globals
	"jumps",        // conditional break and continue without a merge of their own
	"effects",      // increments, loads before stores, calls and atomics kept in place
};

bool have_assembler() {
	return have_tool("spirv-as");
}

// A fragment shader around one block of instructions; %color is an output
// float, %value an input float, %count an input int.
std::string fragment(const std::string &types, const std::string &body) {
	return R"(
               OpCapability Shader
          %glsl = OpExtInstImport "GLSL.std.450"
               OpMemoryModel Logical GLSL450
               OpEntryPoint Fragment %main "main" %color %value %count
               OpExecutionMode %main OriginUpperLeft
               OpName %main "main"
               OpName %color "color"
               OpName %value "value"
               OpName %count "count"
               OpDecorate %color Location 0
               OpDecorate %value Location 0
               OpDecorate %count Flat
               OpDecorate %count Location 1
       %void = OpTypeVoid
       %bool = OpTypeBool
        %int = OpTypeInt 32 1
       %uint = OpTypeInt 32 0
      %float = OpTypeFloat 32
    %v4float = OpTypeVector %float 4
  %ptr_out = OpTypePointer Output %float
   %ptr_in = OpTypePointer Input %float
  %ptr_int = OpTypePointer Input %int
      %color = OpVariable %ptr_out Output
      %value = OpVariable %ptr_in Input
      %count = OpVariable %ptr_int Input
    %fn_void = OpTypeFunction %void
      %int_1 = OpConstant %int 1
      %int_2 = OpConstant %int 2
     %uint_1 = OpConstant %uint 1
     %uint_2 = OpConstant %uint 2
    %float_1 = OpConstant %float 1
)" + types + R"(
       %main = OpFunction %void None %fn_void
      %entry = OpLabel
)" + body + R"(
               OpReturn
               OpFunctionEnd
)";
}

} // namespace

TEST(Listing, FixedTexts) {
	if (!have_assembler()) GTEST_SKIP() << "spirv-as missing";
	for (const char *name : expected_cases) {
		std::vector<uint32_t> words = assemble_file(std::string("listing/") + name + ".spvasm");
		ASSERT_FALSE(words.empty()) << name;
		Rendered listing = render(words);
		EXPECT_TRUE(listing.ok) << name << ": " << listing.errors;
		EXPECT_EQ(listing.errors, "") << name;
		EXPECT_EQ(listing.text, read_text(data_path(std::string("listing/") + name + ".txt"))) << name;
	}
}

// Each case renders nothing: the output fails with an error that names what
// the listing has no text for, instead of leaving a hole.
TEST(Listing, UnknownInstructionsFailTheOutput) {
	if (!have_assembler()) GTEST_SKIP() << "spirv-as missing";
	struct Case {
		const char *types;
		const char *body;
		const char *error;
	};
	const Case cases[] = {
		// no operator template
		{"", "%c = OpLoad %int %count\n%r = OpSRem %int %c %int_2\n%f = OpConvertSToF %float %r\nOpStore %color %f",
		 "ShaderSpirv::get_binary_name(): unknown opcode 138\n"},
		{"", "%v = OpLoad %float %value\n%r = OpFRem %float %v %float_1\nOpStore %color %r",
		 "ShaderSpirv::get_binary_name(): unknown opcode 140\n"},
		// a value that depends on the way control came
		{"", "%v = OpLoad %float %value\n%less = OpFOrdLessThan %bool %v %float_1\nOpSelectionMerge %m None\n"
			 "OpBranchConditional %less %t %m\n%t = OpLabel\nOpBranch %m\n%m = OpLabel\n"
			 "%p = OpPhi %float %float_1 %t %v %entry\nOpStore %color %p",
		 "ShaderSpirv::get_block(): unknown opcode 245\n"},
		// past the end of the GLSL.std.450 names
		{"", "%v = OpLoad %float %value\n%r = OpExtInst %float %glsl Sqrt %v\nOpStore %color %r",
		 "ShaderSpirv::get_external_name(): unknown instruction 82\n"},
		// component indices beyond "xyzw"
		{"%vec = OpConstantComposite %v4float %float_1 %float_1 %float_1 %float_1\n",
		 "%r = OpCompositeExtract %float %vec 6\nOpStore %color %r",
		 "ShaderSpirv::get_value(): unknown CompositeExtract component 6\n"},
		{"%vec = OpConstantComposite %v4float %float_1 %float_1 %float_1 %float_1\n%v8 = OpTypeVector %float 2\n",
		 "%s = OpVectorShuffle %v8 %vec %vec 0 9\n%r = OpCompositeExtract %float %s 1\nOpStore %color %r",
		 "ShaderSpirv::get_value(): unknown VectorShuffle component 9\n"},
		// a barrier that GLSL cannot say
		{"%uint_4 = OpConstant %uint 4\n", "OpControlBarrier %uint_4 %uint_4 %uint_1",
		 "ShaderSpirv::get_intrinsic_value(): unknown ControlBarrier scope 4\n"},
		{"%uint_4 = OpConstant %uint 4\n", "OpMemoryBarrier %uint_4 %uint_2",
		 "ShaderSpirv::get_intrinsic_value(): unknown MemoryBarrier semantics 4 2\n"},
		// an instruction the renderer does not know
		{"", "OpDemoteToHelperInvocation", "ShaderSpirv::get_block(): unknown opcode 5380\n"},
		// a branch that structured text cannot express
		{"", "%v = OpLoad %float %value\n%less = OpFOrdLessThan %bool %v %float_1\n"
			 "OpBranchConditional %less %a %b\n%a = OpLabel\nOpStore %color %v\nOpBranch %b\n%b = OpLabel",
		 "ShaderSpirv::get_block(): unknown branch "},
	};
	for (const Case &c : cases) {
		std::string text = fragment(c.types, c.body);
		if (std::string(c.body).find("Demote") != std::string::npos) {
			text = std::string("OpCapability DemoteToHelperInvocation\nOpExtension \"SPV_EXT_demote_to_helper_invocation\"\n") + text;
		}
		std::vector<uint32_t> words = assemble(text, "spv1.6");
		ASSERT_FALSE(words.empty()) << c.body;
		// the assembler knows only the published instruction numbers
		for (size_t i = 5; i < words.size(); i += words[i] >> 16) {
			if ((words[i] & 0xffffu) == 12 && words[i + 4] == 31 && std::string(c.error).find("instruction") != std::string::npos) words[i + 4] = 82;
			if ((words[i] >> 16) == 0) break;
		}
		Rendered listing = render(words);
		ASSERT_TRUE(listing.loaded) << c.body << "\n" << listing.errors;
		EXPECT_FALSE(listing.ok) << c.body << "\n" << listing.text;
		EXPECT_NE(listing.errors.find(c.error), std::string::npos) << c.body << "\n" << listing.errors;
	}
}

// the program exits 1 after such a failure, with the error on standard error
TEST(Listing, ProgramFailsOnUnknownOpcode) {
	if (!have_assembler()) GTEST_SKIP() << "spirv-as missing";
	std::vector<uint32_t> words = assemble(
		fragment("", "%c = OpLoad %int %count\n%r = OpSRem %int %c %int_2\n%f = OpConvertSToF %float %r\nOpStore %color %f"));
	std::string path = temp_path("srem.spv");
	write_words(path, words);
	ProgramResult result = run_program({"-f", path, "-d"});
	EXPECT_EQ(result.status, 1);
	EXPECT_NE(result.err.find("E: "), std::string::npos);
	EXPECT_NE(result.err.find("ShaderSpirv::get_binary_name(): unknown opcode 138"), std::string::npos) << result.err;
	EXPECT_NE(result.err.find("ShaderCompiler::getSource(): can't create shader source"), std::string::npos) << result.err;

	write_words(path, assemble_file("listing/loops.spvasm"));
	result = run_program({"-f", path, "-d"});
	EXPECT_EQ(result.status, 0) << result.err;
	EXPECT_EQ(result.err, "");
	EXPECT_EQ(result.out, read_text(data_path("listing/loops.txt")));
	std::remove(path.c_str());
}

// A chain of squarings, each square used twice: written where used, the text
// would double with every step; the listing stays linear in the module.
TEST(Listing, SharedValuesKeepTheTextLinear) {
	if (!have_assembler()) GTEST_SKIP() << "spirv-as missing";
	auto squarings = [](int steps) {
		std::string body = "%x0 = OpLoad %float %value\n";
		for (int i = 1; i <= steps; i++) {
			body += "%x" + std::to_string(i) + " = OpFMul %float %x" + std::to_string(i - 1) + " %x" + std::to_string(i - 1) + "\n";
		}
		body += "OpStore %color %x" + std::to_string(steps);
		return render(assemble(fragment("", body)));
	};
	Rendered thirty = squarings(30);
	ASSERT_TRUE(thirty.ok) << thirty.errors;
	Rendered sixty = squarings(60);
	ASSERT_TRUE(sixty.ok) << sixty.errors;
	EXPECT_LT(thirty.text.size(), 4000u) << thirty.text;
	EXPECT_LT(sixty.text.size(), thirty.text.size() * 5 / 2) << sixty.text;
	size_t products = 0;
	for (size_t at = thirty.text.find(" * "); at != std::string::npos; at = thirty.text.find(" * ", at + 1)) products++;
	EXPECT_GE(products, 30u);
	EXPECT_LE(products, 4u * 30u);
}

// A long chain of single uses is cut into temporaries instead of recursing
// without bound.
TEST(Listing, DeepExpressionsStayBounded) {
	if (!have_assembler()) GTEST_SKIP() << "spirv-as missing";
	const int steps = 3000;
	std::string body = "%x0 = OpLoad %float %value\n";
	for (int i = 1; i <= steps; i++) {
		body += "%x" + std::to_string(i) + " = OpFAdd %float %x" + std::to_string(i - 1) + " %float_1\n";
	}
	body += "OpStore %color %x" + std::to_string(steps);
	Rendered listing = render(assemble(fragment("", body)));
	ASSERT_TRUE(listing.ok) << listing.errors;
	size_t sums = 0;
	for (size_t at = listing.text.find(" + 1.0"); at != std::string::npos; at = listing.text.find(" + 1.0", at + 1)) sums++;
	EXPECT_EQ(sums, static_cast<size_t>(steps));
}

// get_swizzle, as the backends call it with more than one letter: a constant
// vector built from a vec2 and two scalars gives its vec2 for "xy"
TEST(Listing, SwizzleOfAConstantPicksItsConstituent) {
	if (!have_assembler()) GTEST_SKIP() << "spirv-as missing";
	struct Values : public Vexa::ShaderSpirv {
		using ShaderSpirv::get_iterator;
	} values;
	LogCapture capture;
	ASSERT_TRUE(values.load(to_array(assemble_file("listing/values.spvasm")))) << capture.errors;
	// the vec4 constant whose first constituent is a constant itself
	uint32_t vec = 0;
	for (auto it = values.get_iterator(5); !it.is_end() && it.get_size(); it = it.advance(it.get_size())) {
		if (it.get_opcode() == 44 && values.get_target(it[3]).get_opcode() == 44) vec = it[2];
	}
	ASSERT_NE(vec, 0u);
	EXPECT_EQ(std::string(values.get_swizzle(vec, "xy").get()), "f32v2(1.0, 2.0)");
	EXPECT_EQ(std::string(values.get_swizzle(vec, "z").get()), "3.0");
	EXPECT_EQ(std::string(values.get_swizzle(vec, "yz").get()), "f32v4(f32v2(1.0, 2.0), 3.0, 4.0).yz");
	EXPECT_EQ(capture.errors, "");
}
