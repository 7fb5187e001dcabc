// The name slots of the listing: numbers without a name are errors that make
// the output fail (never an empty text that passes) and name the number, and
// the names that are built from parts (image functions with their operand
// suffixes) come out whole, for a module that spirv-val accepts.
#include <gtest/gtest.h>

#include "listing_fixtures.h"

using namespace listing_test;

namespace {

// the slots and the error count of a loaded module
class Names : public Vexa::ShaderSpirv {
public:
	using ShaderSpirv::errors;
	using ShaderSpirv::get_iterator;

	// the first instruction of an opcode
	Iterator find(int32_t op) const {
		for (Iterator it = get_iterator(5); !it.is_end() && it.get_size(); it = it.advance(it.get_size())) {
			if (it.get_opcode() == op) return it;
		}
		return get_end();
	}
};

const char *const images = R"(
               OpCapability Shader
               OpMemoryModel Logical GLSL450
               OpEntryPoint Fragment %main "main" %uv %color
               OpExecutionMode %main OriginUpperLeft
               OpName %tex "tex"
               OpName %uv "uv"
               OpDecorate %tex DescriptorSet 0
               OpDecorate %tex Binding 0
               OpDecorate %uv Location 0
               OpDecorate %color Location 0
       %void = OpTypeVoid
        %int = OpTypeInt 32 1
      %float = OpTypeFloat 32
    %v2float = OpTypeVector %float 2
    %v4float = OpTypeVector %float 4
      %v2int = OpTypeVector %int 2
      %image = OpTypeImage %float 2D 0 0 0 1 Unknown
    %sampled = OpTypeSampledImage %image
  %ptr_tex = OpTypePointer UniformConstant %sampled
        %tex = OpVariable %ptr_tex UniformConstant
   %ptr_uv = OpTypePointer Input %v2float
         %uv = OpVariable %ptr_uv Input
  %ptr_color = OpTypePointer Output %v4float
      %color = OpVariable %ptr_color Output
    %fn_void = OpTypeFunction %void
    %float_0 = OpConstant %float 0
      %int_1 = OpConstant %int 1
     %offset = OpConstantComposite %v2int %int_1 %int_1
       %main = OpFunction %void None %fn_void
      %entry = OpLabel
          %t = OpLoad %sampled %tex
          %c = OpLoad %v2float %uv
          %a = OpImageSampleExplicitLod %v4float %t %c Lod|ConstOffset %float_0 %offset
          %b = OpImageGather %v4float %t %c %int_1 ConstOffset %offset
          %s = OpFAdd %v4float %a %b
               OpStore %color %s
               OpReturn
               OpFunctionEnd
)";

} // namespace

TEST(ListingNames, NumbersWithoutANameAreErrors) {
	Names names;
	struct Case {
		bool builtin;
		uint32_t number;
		const char *name;
		const char *error;
	};
	const Case cases[] = {
		{false, 5300, "nonuniformEXT", ""},
		{false, 0, "", "ShaderSpirv::get_decoration_name(): unknown decoration 0\n"},
		{true, 3, "gl_ClipDistance", ""},
		{true, 2, "", "ShaderSpirv::get_builtin_name(): unknown builtin 2\n"},
	};
	uint32_t failed = 0;
	for (const Case &c : cases) {
		LogCapture capture;
		Vexa::String name = c.builtin ? names.get_builtin_name(c.number) : names.get_decoration_name(c.number);
		EXPECT_EQ(std::string(name.get()), c.name) << c.number;
		EXPECT_EQ(capture.errors, c.error) << c.number;
		// each counts against the output
		if (*c.error) failed++;
		EXPECT_EQ(names.errors, failed) << c.number;
	}
	LogCapture capture;
	// an end iterator has no attribute and is no error
	EXPECT_TRUE(names.get_control(names.get_end()).empty());
	EXPECT_TRUE(names.get_unary_name(names.get_end()).empty());
	EXPECT_NE(capture.errors.find("ShaderSpirv::get_unary_name(): unknown opcode 4294967295\n"), std::string::npos);
}

TEST(ListingNames, ImageNamesCarryTheirOperandSuffixes) {
	if (!have_tool("spirv-as") || !have_tool("spirv-val")) GTEST_SKIP() << "spirv-as or spirv-val missing";
	std::vector<uint32_t> words = assemble_valid(images);
	Names names;
	LogCapture capture;
	ASSERT_TRUE(names.load(to_array(words))) << capture.errors;
	struct Case {
		int32_t opcode;
		const char *name;
		const char *value;
	};
	const Case cases[] = {
		{88, "textureLodOffset", "textureLodOffset(tex, uv, 0.0, i32v2(1))"},
		// the component comes last, after the operands of the mask
		{96, "textureGatherOffset", "textureGatherOffset(tex, uv, i32v2(1), 1)"},
	};
	for (const Case &c : cases) {
		EXPECT_EQ(std::string(names.get_image_name(names.find(c.opcode)).get()), c.name);
		EXPECT_EQ(std::string(names.get_image_value(names.find(c.opcode), false).get()), c.value);
	}
	EXPECT_EQ(capture.errors, "");
	EXPECT_EQ(names.errors, 0u);
}
