// The decompiled listing (`shader -d`): the exact text of small modules whose
// rendering is fixed (loops, selections, switches, calls, declarations,
// values and updates), the failures that must not pass for a listing with a
// hole in it, told apart by their messages (what a valid module asks and the
// listing does not take, a fault of the renderer, a module that is no valid
// SPIR-V), and the size of the text on values that are used twice. Every
// module whose listing or message a test pins passes spirv-val first; the
// deliberately invalid ones only have to fail cleanly.
#include <gtest/gtest.h>

#include "listing_fixtures.h"
#include "shader/ShaderSpirvNumbers.h"
#include "tools/run_program.h"

#include <cstring>

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
	"effects",      // increments, loads before stores, calls, atomics and frexp/modf with pointers kept in place
	"phis",         // OpPhi: variables assigned on the edges, at once on a back edge
};

bool have_tools() {
	return have_tool("spirv-as") && have_tool("spirv-val");
}

// A fragment shader around one block of instructions; %color is an output
// float, %value an input float, %count an input int. `capabilities` stand
// after the Shader capability, with the extensions they need.
std::string fragment(const std::string &types, const std::string &body, const std::string &capabilities = "") {
	return R"(
               OpCapability Shader
)" + capabilities + R"(
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

const std::string demote = "OpCapability DemoteToHelperInvocation\nOpExtension \"SPV_EXT_demote_to_helper_invocation\"\n";
const std::string srem = "%c = OpLoad %int %count\n%r = OpSRem %int %c %int_2\n%f = OpConvertSToF %float %r\nOpStore %color %f";
// a selection that stores in its one branch
const std::string selection = "%v = OpLoad %float %value\n%less = OpFOrdLessThan %bool %v %float_1\nOpSelectionMerge %m None\n"
							  "OpBranchConditional %less %t %m\n%t = OpLabel\nOpStore %color %v\nOpBranch %m\n%m = OpLabel";

// A backend that leaves out every selection it is asked to write: the blocks
// of its branches are never written, which the base finds as its own fault.
class DroppingSelections : public Vexa::ShaderSpirv {
public:
	Vexa::String get_merge(const Block &block, const Iterator &it, uint32_t indent, Pending &pending, const Block *loop) override {
		if (it.get_opcode() == Vexa::Spirv::OpSelectionMerge) return Vexa::String();
		return ShaderSpirv::get_merge(block, it, indent, pending, loop);
	}
};

// `shader -d` of a module
ProgramResult run_listing(const std::vector<uint32_t> &words) {
	std::string path = temp_path("listing.spv");
	write_words(path, words);
	ProgramResult result = run_program({"-f", path, "-d"});
	std::remove(path.c_str());
	return result;
}

} // namespace

TEST(Listing, FixedTexts) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	for (const char *name : expected_cases) {
		SCOPED_TRACE(name);
		std::vector<uint32_t> words = assemble_valid_file(std::string("listing/") + name + ".spvasm");
		ASSERT_FALSE(words.empty());
		Rendered listing = render(words);
		EXPECT_TRUE(listing.ok) << listing.errors;
		EXPECT_EQ(listing.errors, "");
		EXPECT_EQ(listing.text, read_text(data_path(std::string("listing/") + name + ".txt")));
	}
}

// Valid modules that use what the listing has no text for: the output fails,
// and its first error names that, instead of leaving a hole; nothing that
// only follows from it is reported as a fault of the renderer.
TEST(Listing, UnsupportedInstructionsFailByName) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	struct Case {
		const char *env;
		std::string capabilities;
		std::string types;
		std::string body;
		const char *error;
	};
	const Case cases[] = {
		// no operator template
		{fixture_env, "", "", srem, "ShaderSpirv::get_binary_name(): unknown opcode 138"},
		{fixture_env, "", "", "%v = OpLoad %float %value\n%r = OpFRem %float %v %float_1\nOpStore %color %r",
		 "ShaderSpirv::get_binary_name(): unknown opcode 140"},
		// barriers that GLSL cannot say: the scope of one invocation
		{"spv1.6", "", "%uint_4 = OpConstant %uint 4\n", "OpControlBarrier %uint_4 %uint_4 %uint_1",
		 "ShaderSpirv::get_intrinsic_value(): unknown ControlBarrier scope 4"},
		{"spv1.6", "", "%uint_4 = OpConstant %uint 4\n", "OpMemoryBarrier %uint_4 %uint_2",
		 "ShaderSpirv::get_intrinsic_value(): unknown MemoryBarrier semantics 4 2"},
		// an instruction the renderer does not know, before blocks that the
		// walk then never reaches
		{fixture_env, demote, "", "OpDemoteToHelperInvocation\n" + selection, "ShaderSpirv::get_block(): unknown opcode 5380"},
		// a type the reader does not know, of a variable to declare
		{"spv1.6", "OpCapability ShaderInvocationReorderNV\nOpExtension \"SPV_NV_shader_invocation_reorder\"\n",
		 "%hit = OpTypeHitObjectNV\n%ptr_hit = OpTypePointer Function %hit\n", "%h = OpVariable %ptr_hit Function",
		 "ShaderSpirv::get_target(): unknown opcode 5281 of "},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.body);
		Rendered listing = render(assemble_valid(fragment(c.types, c.body, c.capabilities), c.env));
		EXPECT_EQ(failure_of(listing), Failure::Unsupported) << listing.errors;
		EXPECT_EQ(first_line(listing.errors).compare(0, strlen(c.error), c.error), 0) << listing.errors;
	}
}

// The renderer's own faults say so, so that a test or a user never takes one
// for an instruction the listing does not take: a backend that drops a
// selection leaves blocks unwritten, which the base reports as an internal
// error, while the base renders the same module whole.
TEST(Listing, InternalFaultsAreToldFromUnsupportedInstructions) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	std::vector<uint32_t> words = assemble_valid(fragment("", selection));
	Rendered whole = render(words);
	EXPECT_EQ(failure_of(whole), Failure::None) << whole.errors;
	Rendered dropped = render<DroppingSelections>(words);
	EXPECT_FALSE(dropped.ok);
	EXPECT_EQ(failure_of(dropped), Failure::Internal) << dropped.errors;
	std::string error = first_line(dropped.errors);
	EXPECT_EQ(error.find("ShaderSpirv::get_block(): internal error: block "), 0u) << dropped.errors;
	EXPECT_NE(error.find(" is not written"), std::string::npos) << dropped.errors;
	// the same backend on a module that fails on an instruction first
	Rendered unsupported = render<DroppingSelections>(assemble_valid(fragment("", srem + "\n" + selection)));
	EXPECT_EQ(failure_of(unsupported), Failure::Unsupported) << unsupported.errors;
}

// Modules that are no valid SPIR-V (spirv-val says so) fail cleanly: `load`
// or `get_source` is false with an error, and the program exits 1 with it on
// standard error, whatever the message.
TEST(Listing, InvalidModulesFailCleanly) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	// what is done to the words that spirv-as makes
	enum Change { Keep, SqrtTo82, Halve };
	struct Case {
		const char *what;
		const char *types;
		std::string body;
		Change change;
	};
	const Case cases[] = {
		// the assembler knows only the published instruction numbers
		{"a GLSL.std.450 number past the last one", "",
		 "%v = OpLoad %float %value\n%r = OpExtInst %float %glsl Sqrt %v\nOpStore %color %r", SqrtTo82},
		{"a component index beyond the vector", "%vec = OpConstantComposite %v4float %float_1 %float_1 %float_1 %float_1\n",
		 "%r = OpCompositeExtract %float %vec 6\nOpStore %color %r", Keep},
		{"a shuffle component beyond both vectors",
		 "%vec = OpConstantComposite %v4float %float_1 %float_1 %float_1 %float_1\n%v2 = OpTypeVector %float 2\n",
		 "%s = OpVectorShuffle %v2 %vec %vec 0 9\n%r = OpCompositeExtract %float %s 1\nOpStore %color %r", Keep},
		{"a conditional branch without a merge", "",
		 "%v = OpLoad %float %value\n%less = OpFOrdLessThan %bool %v %float_1\n"
		 "OpBranchConditional %less %a %b\n%a = OpLabel\nOpStore %color %v\nOpBranch %b\n%b = OpLabel",
		 Keep},
		{"the first half of a module", "", srem, Halve},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.what);
		std::vector<uint32_t> words = assemble(fragment(c.types, c.body), "spv1.6");
		ASSERT_FALSE(words.empty());
		for (size_t i = 5; c.change == SqrtTo82 && i + 4 < words.size() && (words[i] >> 16) != 0; i += words[i] >> 16) {
			if ((words[i] & 0xffffu) == Vexa::Spirv::OpExtInst && words[i + 4] == 31) words[i + 4] = 82;
		}
		if (c.change == Halve) words.resize(words.size() / 2);
		EXPECT_NE(spirv_val(words, "spv1.6"), "") << "spirv-val takes it: it belongs among the valid cases";
		Rendered listing = render(words);
		EXPECT_FALSE(listing.loaded && listing.ok) << listing.text;
		EXPECT_NE(listing.errors, "");
		ProgramResult result = run_listing(words);
		EXPECT_EQ(result.status, 1) << result.err;
		EXPECT_NE(result.err.find("E: "), std::string::npos) << result.err;
		EXPECT_EQ(result.out, "");
	}
}

// The program writes a listing and exits 0, or exits 1 with the error that
// made it fail on standard error and nothing on standard output.
TEST(Listing, ProgramExitStatus) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	struct Case {
		const char *what;
		std::vector<uint32_t> words;
		int status;
		std::string out;
		std::vector<std::string> errors;
	};
	const Case cases[] = {
		{"an unsupported opcode", assemble_valid(fragment("", srem)), 1, "",
		 {"E: ", "ShaderSpirv::get_binary_name(): unknown opcode 138", "ShaderCompiler::getSource(): can't create shader source"}},
		{"a renderable module", assemble_valid(read_text(data_path("listing/loops.spvasm"))), 0,
		 read_text(data_path("listing/loops.txt")), {}},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.what);
		ProgramResult result = run_listing(c.words);
		EXPECT_EQ(result.status, c.status) << result.err;
		EXPECT_EQ(result.out, c.out);
		if (c.errors.empty()) {
			EXPECT_EQ(result.err, "");
		}
		for (const std::string &error : c.errors) EXPECT_NE(result.err.find(error), std::string::npos) << result.err;
	}
}

// A chain of squarings, each square used twice: written where used, the text
// would double with every step; the listing stays linear in the module.
TEST(Listing, SharedValuesKeepTheTextLinear) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	auto squarings = [](int steps) {
		std::string body = "%x0 = OpLoad %float %value\n";
		for (int i = 1; i <= steps; i++) {
			body += "%x" + std::to_string(i) + " = OpFMul %float %x" + std::to_string(i - 1) + " %x" + std::to_string(i - 1) + "\n";
		}
		body += "OpStore %color %x" + std::to_string(steps);
		return render(assemble_valid(fragment("", body)));
	};
	Rendered thirty = squarings(30);
	ASSERT_TRUE(thirty.ok) << thirty.errors;
	Rendered sixty = squarings(60);
	ASSERT_TRUE(sixty.ok) << sixty.errors;
	EXPECT_LT(thirty.text.size(), 4000u) << thirty.text;
	EXPECT_LT(sixty.text.size(), thirty.text.size() * 5 / 2) << sixty.text;
	size_t products = count_of(thirty.text, " * ");
	EXPECT_GE(products, 30u);
	EXPECT_LE(products, 4u * 30u);
}

// A long chain of single uses is cut into temporaries instead of recursing
// without bound.
TEST(Listing, DeepExpressionsStayBounded) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	const int steps = 3000;
	std::string body = "%x0 = OpLoad %float %value\n";
	for (int i = 1; i <= steps; i++) {
		body += "%x" + std::to_string(i) + " = OpFAdd %float %x" + std::to_string(i - 1) + " %float_1\n";
	}
	body += "OpStore %color %x" + std::to_string(steps);
	Rendered listing = render(assemble_valid(fragment("", body)));
	ASSERT_TRUE(listing.ok) << listing.errors;
	EXPECT_EQ(count_of(listing.text, " + 1.0"), static_cast<size_t>(steps));
}

// get_swizzle, as the backends call it: one letter of a constant vector is
// the constant of that component, more letters select from the whole vector
TEST(Listing, SwizzleOfAConstantPicksItsComponent) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	struct Values : public Vexa::ShaderSpirv {
		using ShaderSpirv::get_iterator;
	} values;
	std::vector<uint32_t> words = assemble_valid_file("listing/values.spvasm");
	LogCapture capture;
	ASSERT_TRUE(values.load(to_array(words))) << capture.errors;
	// the first constant vector: (1.0, 2.0, 3.0, 4.0)
	uint32_t vec = 0;
	for (auto it = values.get_iterator(5); !it.is_end() && it.get_size() && vec == 0; it = it.advance(it.get_size())) {
		if (it.get_opcode() == Vexa::Spirv::OpConstantComposite) vec = it[2];
	}
	ASSERT_NE(vec, 0u);
	const std::pair<const char *, const char *> cases[] = {
		{"x", "1.0"},
		{"z", "3.0"},
		{"xy", "f32v4(1.0, 2.0, 3.0, 4.0).xy"},
		{"yzw", "f32v4(1.0, 2.0, 3.0, 4.0).yzw"},
	};
	for (const auto &c : cases) EXPECT_EQ(std::string(values.get_swizzle(vec, c.first).get()), c.second) << c.first;
	EXPECT_EQ(capture.errors, "");
}
