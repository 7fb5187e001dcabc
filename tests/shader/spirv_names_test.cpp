// The name slots of the listing: numbers without a name are errors that make
// the output fail (never an empty text that passes), and the names that are
// built from parts (image functions with their operand suffixes) come out
// whole.
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
               OpCapability ImageGatherExtended
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
          %b = OpImageGather %v4float %t %c %int_1 Offset|ConstOffset %offset %offset
          %s = OpFAdd %v4float %a %b
               OpStore %color %s
               OpReturn
               OpFunctionEnd
)";

} // namespace

TEST(ListingNames, NumbersWithoutANameAreErrors) {
	Names names;
	LogCapture capture;
	EXPECT_EQ(std::string(names.get_decoration_name(5300).get()), "nonuniformEXT");
	EXPECT_EQ(names.errors, 0u);
	EXPECT_TRUE(names.get_decoration_name(0).empty());
	EXPECT_EQ(capture.errors, "ShaderSpirv::get_decoration_name(): unknown decoration 0\n");
	EXPECT_EQ(std::string(names.get_builtin_name(3).get()), "gl_ClipDistance");
	EXPECT_TRUE(names.get_builtin_name(2).empty());
	EXPECT_NE(capture.errors.find("ShaderSpirv::get_builtin_name(): unknown builtin 2\n"), std::string::npos);
	// each counts against the output
	EXPECT_EQ(names.errors, 2u);
	// an end iterator has no attribute and is no error
	EXPECT_TRUE(names.get_control(names.get_end()).empty());
	EXPECT_TRUE(names.get_unary_name(names.get_end()).empty());
	EXPECT_NE(capture.errors.find("ShaderSpirv::get_unary_name(): unknown opcode 4294967295\n"), std::string::npos);
}

TEST(ListingNames, ImageNamesCarryTheirOperandSuffixes) {
	if (!have_tool("spirv-as")) GTEST_SKIP() << "spirv-as missing";
	Names names;
	LogCapture capture;
	ASSERT_TRUE(names.load(to_array(assemble(images)))) << capture.errors;
	EXPECT_EQ(std::string(names.get_image_name(names.find(88)).get()), "textureLodOffset");
	// both offset bits name the offset twice
	EXPECT_EQ(std::string(names.get_image_name(names.find(96)).get()), "textureGatherOffsetOffset");
	// the component comes last, after the operands of the mask
	EXPECT_EQ(std::string(names.get_image_value(names.find(96), false).get()), "textureGatherOffsetOffset(tex, uv, i32v2(1), i32v2(1), 1)");
	EXPECT_EQ(std::string(names.get_image_value(names.find(88), false).get()), "textureLodOffset(tex, uv, 0.0, i32v2(1))");
	EXPECT_EQ(capture.errors, "");
	EXPECT_EQ(names.errors, 0u);
}
