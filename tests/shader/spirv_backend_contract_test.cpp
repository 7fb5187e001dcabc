// What the base promises a backend: that its value hook only ever sees values
// the schedule did not place, inside the depth and work bounds, and that the
// frame of `get_source` calls the backend's hooks in order and fails the
// output on a failed check before anything is rendered.
#include <gtest/gtest.h>

#include "listing_fixtures.h"

#include "shader/ShaderSpirvNumbers.h"

#include <map>
#include <string>
#include <vector>

using namespace listing_test;

namespace {

using Vexa::String;

// A product used four times, after a chain long enough for the scheduler to
// give it a temporary; and a sum of it used twice, short enough to be
// written at each use.
const char *const reuse_module = R"(
               OpCapability Shader
               OpMemoryModel Logical GLSL450
               OpEntryPoint Fragment %main "main" %color %uv
               OpExecutionMode %main OriginUpperLeft
               OpName %main "main"
               OpName %color "color"
               OpName %uv "uv"
               OpName %scale "scale"
               OpName %sum "sum"
               OpDecorate %color Location 0
               OpDecorate %uv Location 0
       %void = OpTypeVoid
      %float = OpTypeFloat 32
    %v4float = OpTypeVector %float 4
    %ptr_out = OpTypePointer Output %v4float
     %ptr_in = OpTypePointer Input %float
         %fn = OpTypeFunction %void
  %float_1_5 = OpConstant %float 1.5
      %color = OpVariable %ptr_out Output
         %uv = OpVariable %ptr_in Input
       %main = OpFunction %void None %fn
      %entry = OpLabel
          %x = OpLoad %float %uv
         %a1 = OpFAdd %float %x %float_1_5
         %a2 = OpFAdd %float %a1 %float_1_5
         %a3 = OpFAdd %float %a2 %float_1_5
         %a4 = OpFAdd %float %a3 %float_1_5
         %a5 = OpFAdd %float %a4 %float_1_5
         %a6 = OpFAdd %float %a5 %float_1_5
         %a7 = OpFAdd %float %a6 %float_1_5
         %a8 = OpFAdd %float %a7 %float_1_5
         %a9 = OpFAdd %float %a8 %float_1_5
        %a10 = OpFAdd %float %a9 %float_1_5
      %scale = OpFMul %float %a10 %float_1_5
        %sum = OpFAdd %float %scale %scale
          %w = OpFMul %float %sum %scale
         %wv = OpCompositeConstruct %v4float %w %sum %scale %x
               OpStore %color %wv
               OpReturn
               OpFunctionEnd
)";

std::vector<uint32_t> reuse_words() {
	std::vector<uint32_t> words = assemble(reuse_module, "spv1.3");
	if (!words.empty()) {
		EXPECT_EQ(spirv_val(words, "spv1.3"), "");
	}
	return words;
}

bool have_assembler() {
	return have_tool("spirv-as") && have_tool("spirv-val");
}

// Writes a product as a call and counts the hook's calls per value name.
class CountingBackend : public Vexa::ShaderSpirv {
public:
	std::map<std::string, int> calls;

protected:
	String render_value(uint32_t id, bool parenthesize) override {
		calls[records[id].name.get()]++;
		Iterator it = get_target(id);
		if (it.get_opcode() != Vexa::Spirv::OpFMul) return ShaderSpirv::render_value(id, parenthesize);
		return String::format("mul(%s, %s)", get_value(it[3], false).get(), get_value(it[4], false).get());
	}
};

// A hook that asks for its own value again: only the entry's bound ends it.
class SelfReadingBackend : public Vexa::ShaderSpirv {
protected:
	String render_value(uint32_t id, bool parenthesize) override {
		if (get_target(id).get_opcode() == Vexa::Spirv::OpFMul) return get_value(id, parenthesize);
		return ShaderSpirv::render_value(id, parenthesize);
	}
};

} // namespace

// A placed value is computed once, where its temporary is declared: every
// later use takes the name from the entry and never reaches the hook. A
// value that is not placed is written at each use, and counted each time.
TEST(BackendContract, HookNeverComputesAPlacedValueTwice) {
	if (!have_assembler()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	std::vector<uint32_t> words = reuse_words();
	ASSERT_FALSE(words.empty());
	CountingBackend backend;
	Rendered listing = render_with(backend, words);
	expect_rendered(listing, "counting backend");
	EXPECT_TRUE(has_statement(listing.text, "f32 scale = mul((((((((((uv + 1.5) + 1.5) + 1.5) + 1.5) + 1.5) + 1.5) + 1.5) + 1.5) + 1.5) + 1.5, 1.5);"))
		<< listing.text;
	// declared once, read six times
	EXPECT_EQ(count_of(listing.text, "scale"), 7u) << listing.text;
	EXPECT_EQ(backend.calls["scale"], 1) << listing.text;
	EXPECT_EQ(count_of(listing.text, "scale + scale"), 2u) << listing.text;
	EXPECT_EQ(backend.calls["sum"], 2) << listing.text;
}

// The bound holds for a hook that does not keep one of its own: a hook that
// reads its own value fails the output with one message instead of
// overflowing the stack.
TEST(BackendContract, EntryBoundsARecursiveHook) {
	if (!have_assembler()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	std::vector<uint32_t> words = reuse_words();
	ASSERT_FALSE(words.empty());
	Rendered listing = render<SelfReadingBackend>(words);
	ASSERT_TRUE(listing.loaded) << listing.errors;
	EXPECT_FALSE(listing.ok);
	EXPECT_EQ(count_of(listing.errors, "depth or work bound reached"), 1u) << listing.errors;
}

namespace {

// Records the hooks of the frame in the order they are called, and gives each
// a marked text; the body's slots keep the base's text, recorded as well.
class FrameBackend : public Vexa::ShaderSpirv {
public:
	enum Failure { None, CheckLogs, CheckRefuses, CheckLogsAndRefuses, PrologueLogs };
	Failure failure = None;
	std::vector<std::string> calls;
	std::string globals_text;
	std::string functions_text;

	String get_globals() override {
		calls.push_back("globals");
		String text = ShaderSpirv::get_globals();
		globals_text = text.get();
		return text;
	}
	String get_functions() override {
		calls.push_back("functions");
		String text = ShaderSpirv::get_functions();
		functions_text = text.get();
		return text;
	}

protected:
	bool check_output() override {
		calls.push_back("check");
		if (failure == CheckLogs || failure == CheckLogsAndRefuses) log_error("FrameBackend::check_output(): unknown stage\n");
		return failure != CheckRefuses && failure != CheckLogsAndRefuses;
	}
	void prepare_output() override {
		calls.push_back("prepare");
	}
	String get_stage_declarations() override {
		calls.push_back("stage");
		return String("// stage\n");
	}
	String get_helpers() override {
		calls.push_back("helpers");
		return String("// helpers\n");
	}
	String get_prologue() override {
		calls.push_back("prologue");
		if (failure == PrologueLogs) log_error("FrameBackend::get_prologue(): unknown extension\n");
		return String("// prologue\n");
	}
	String get_epilogue() override {
		calls.push_back("epilogue");
		return String("// epilogue\n");
	}
};

} // namespace

// The hooks come in the frame's order, the body before the prologue that
// depends on it, and the text puts each part in its place.
TEST(BackendContract, FrameCallsTheHooksInOrder) {
	if (!have_assembler()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	std::vector<uint32_t> words = reuse_words();
	ASSERT_FALSE(words.empty());
	FrameBackend backend;
	Rendered listing = render_with(backend, words);
	expect_rendered(listing, "frame backend");
	const std::vector<std::string> order = {"check", "prepare", "stage", "globals", "functions", "helpers", "prologue", "epilogue"};
	EXPECT_EQ(backend.calls, order);
	EXPECT_FALSE(backend.globals_text.empty());
	EXPECT_FALSE(backend.functions_text.empty());
	EXPECT_EQ(listing.text, "// prologue\n// stage\n" + backend.globals_text + "// helpers\n" + backend.functions_text + "// epilogue\n");
}

// A check that logs or refuses fails the output with no text and nothing
// rendered; an error of a later part fails it too, after the whole frame.
TEST(BackendContract, FailedCheckFailsTheOutput) {
	if (!have_assembler()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	std::vector<uint32_t> words = reuse_words();
	ASSERT_FALSE(words.empty());
	struct Case {
		FrameBackend::Failure failure;
		const char *errors;
		size_t calls;
	};
	const Case cases[] = {
		{FrameBackend::CheckLogs, "FrameBackend::check_output(): unknown stage\n", 1},
		{FrameBackend::CheckRefuses, "", 1},
		{FrameBackend::CheckLogsAndRefuses, "FrameBackend::check_output(): unknown stage\n", 1},
		{FrameBackend::PrologueLogs, "FrameBackend::get_prologue(): unknown extension\n", 8},
	};
	for (const Case &c : cases) {
		FrameBackend backend;
		backend.failure = c.failure;
		Rendered listing = render_with(backend, words);
		ASSERT_TRUE(listing.loaded) << listing.errors;
		EXPECT_FALSE(listing.ok) << c.failure;
		EXPECT_EQ(listing.errors, c.errors) << c.failure;
		EXPECT_EQ(backend.calls.size(), c.calls) << c.failure;
		if (c.calls == 1) {
			EXPECT_EQ(listing.text, "") << c.failure;
		}
	}
}
