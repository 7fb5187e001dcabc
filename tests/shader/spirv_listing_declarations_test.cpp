// Declarations in the decompiled listing, and the points where a backend
// writes its own syntax: initial values of module-level and function-scope
// variables are kept (in the declaration where the listing allows one, as the
// first statements of the entry point for outputs and built-ins); names from
// the module that are words of the listing are renamed; a structure type is
// declared once; a switch whose default stands between cases that run on into
// each other renders; and a backend that overrides the hooks sees them used.
// Every module passes spirv-val first.
#include <gtest/gtest.h>

#include "listing_fixtures.h"
#include "shader/ShaderSpirvNumbers.h"

#include <cstring>

using namespace listing_test;

namespace {

bool have_tools() {
	return have_tool("spirv-as") && have_tool("spirv-val");
}

} // namespace

// A Private lookup table, an output with an initial value, a gl_FragDepth
// initialiser, a block without an instance name given a null value, the
// work group size and a specialisation constant as initial values, and a
// function-scope variable with a null initial value: each value is in the
// listing, in the declaration or first in the entry point.
TEST(ListingDeclarations, InitialValuesAreKept) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	struct Case {
		const char *what;
		const char *module;
		std::vector<std::string> lines;  // whole lines of the listing
		const char *main;                // the body of main, or null
	};
	const Case cases[] = {
		{"a Private lookup table", R"(
               OpCapability Shader
               OpMemoryModel Logical GLSL450
               OpEntryPoint GLCompute %main "main" %gid
               OpExecutionMode %main LocalSize 4 1 1
               OpName %main "main"
               OpName %lut "lut"
               OpName %buf "buf"
               OpName %block "Block"
               OpMemberName %block 0 "data"
               OpDecorate %gid BuiltIn LocalInvocationId
               OpDecorate %rta ArrayStride 4
               OpDecorate %block Block
               OpMemberDecorate %block 0 Offset 0
               OpDecorate %buf DescriptorSet 0
               OpDecorate %buf Binding 0
       %void = OpTypeVoid
         %fn = OpTypeFunction %void
       %uint = OpTypeInt 32 0
     %uint_0 = OpConstant %uint 0
     %uint_1 = OpConstant %uint 1
     %uint_2 = OpConstant %uint 2
     %uint_4 = OpConstant %uint 4
     %uint_8 = OpConstant %uint 8
     %v3uint = OpTypeVector %uint 3
     %ptr_in = OpTypePointer Input %v3uint
        %gid = OpVariable %ptr_in Input
%ptr_in_uint = OpTypePointer Input %uint
        %arr = OpTypeArray %uint %uint_4
      %table = OpConstantComposite %arr %uint_1 %uint_2 %uint_4 %uint_8
   %ptr_priv = OpTypePointer Private %arr
        %lut = OpVariable %ptr_priv Private %table
%ptr_priv_uint = OpTypePointer Private %uint
        %rta = OpTypeRuntimeArray %uint
      %block = OpTypeStruct %rta
     %ptr_sb = OpTypePointer StorageBuffer %block
        %buf = OpVariable %ptr_sb StorageBuffer
%ptr_sb_uint = OpTypePointer StorageBuffer %uint
       %main = OpFunction %void None %fn
      %entry = OpLabel
      %x_ptr = OpAccessChain %ptr_in_uint %gid %uint_0
          %x = OpLoad %uint %x_ptr
          %e = OpAccessChain %ptr_priv_uint %lut %x
          %v = OpLoad %uint %e
          %d = OpAccessChain %ptr_sb_uint %buf %uint_0 %x
               OpStore %d %v
               OpReturn
               OpFunctionEnd
)",
		 {"[private] u32 lut[4u] = u32[4u](1u, 2u, 4u, 8u);"}, "\tbuf.data[gl_LocalInvocationID.x] = lut[gl_LocalInvocationID.x];\n"},
		{"an output with an initial value, written to later", R"(
               OpCapability Shader
               OpMemoryModel Logical GLSL450
               OpEntryPoint Fragment %main "main" %color
               OpExecutionMode %main OriginUpperLeft
               OpName %main "main"
               OpName %color "color"
               OpDecorate %color Location 0
       %void = OpTypeVoid
         %fn = OpTypeFunction %void
      %float = OpTypeFloat 32
    %v4float = OpTypeVector %float 4
    %float_q = OpConstant %float 0.25
    %float_h = OpConstant %float 0.5
    %float_t = OpConstant %float 0.75
    %float_1 = OpConstant %float 1
       %init = OpConstantComposite %v4float %float_q %float_h %float_t %float_1
    %ptr_out = OpTypePointer Output %v4float
%ptr_out_float = OpTypePointer Output %float
       %uint = OpTypeInt 32 0
     %uint_3 = OpConstant %uint 3
      %color = OpVariable %ptr_out Output %init
       %main = OpFunction %void None %fn
      %entry = OpLabel
          %w = OpAccessChain %ptr_out_float %color %uint_3
               OpStore %w %float_h
               OpReturn
               OpFunctionEnd
)",
		 {"[output, location = 0] f32v4 color;"}, "\tcolor = f32v4(0.25, 0.5, 0.75, 1.0);\n\tcolor.w = 0.5;\n"},
		{"a gl_FragDepth initialiser and nothing else", R"(
               OpCapability Shader
               OpMemoryModel Logical GLSL450
               OpEntryPoint Fragment %main "main" %depth
               OpExecutionMode %main OriginUpperLeft
               OpExecutionMode %main DepthReplacing
               OpName %main "main"
               OpDecorate %depth BuiltIn FragDepth
       %void = OpTypeVoid
         %fn = OpTypeFunction %void
      %float = OpTypeFloat 32
    %float_h = OpConstant %float 0.5
    %ptr_out = OpTypePointer Output %float
      %depth = OpVariable %ptr_out Output %float_h
       %main = OpFunction %void None %fn
      %entry = OpLabel
               OpReturn
               OpFunctionEnd
)",
		 {}, "\tgl_FragDepth = 0.5;\n"},
		{"a block without an instance name and a structure output, both null", R"(
               OpCapability Shader
               OpMemoryModel Logical GLSL450
               OpEntryPoint Vertex %main "main" %block_out %pair_out
               OpName %main "main"
               OpName %Vert "Vert"
               OpMemberName %Vert 0 "a"
               OpMemberName %Vert 1 "b"
               OpName %Pair "Pair"
               OpMemberName %Pair 0 "c"
               OpMemberName %Pair 1 "d"
               OpName %pair_out "pair"
               OpDecorate %Vert Block
               OpDecorate %block_out Location 0
               OpDecorate %pair_out Location 2
       %void = OpTypeVoid
         %fn = OpTypeFunction %void
      %float = OpTypeFloat 32
       %uint = OpTypeInt 32 0
       %Vert = OpTypeStruct %float %uint
       %Pair = OpTypeStruct %float %float
   %ptr_vert = OpTypePointer Output %Vert
   %ptr_pair = OpTypePointer Output %Pair
  %null_vert = OpConstantNull %Vert
  %null_pair = OpConstantNull %Pair
  %block_out = OpVariable %ptr_vert Output %null_vert
   %pair_out = OpVariable %ptr_pair Output %null_pair
       %main = OpFunction %void None %fn
      %entry = OpLabel
               OpReturn
               OpFunctionEnd
)",
		 {"[output, location = 2] Pair pair;"}, "\ta = 0.0;\n\tb = 0u;\n\tpair = Pair(0.0, 0.0);\n"},
		{"the work group size and a specialisation constant", R"(
               OpCapability Shader
               OpMemoryModel Logical GLSL450
               OpEntryPoint GLCompute %main "main"
               OpName %main "main"
               OpName %size "size"
               OpName %first "first"
               OpDecorate %wgs BuiltIn WorkgroupSize
               OpDecorate %sx SpecId 0
       %void = OpTypeVoid
         %fn = OpTypeFunction %void
       %uint = OpTypeInt 32 0
     %uint_1 = OpConstant %uint 1
     %v3uint = OpTypeVector %uint 3
         %sx = OpSpecConstant %uint 4
        %wgs = OpSpecConstantComposite %v3uint %sx %uint_1 %uint_1
   %ptr_priv = OpTypePointer Private %v3uint
%ptr_priv_uint = OpTypePointer Private %uint
       %size = OpVariable %ptr_priv Private %wgs
      %first = OpVariable %ptr_priv_uint Private %sx
       %main = OpFunction %void None %fn
      %entry = OpLabel
               OpReturn
               OpFunctionEnd
)",
		 {"[private] u32v3 size = gl_WorkGroupSize;", "[private] u32 first = 4u;"}, ""},
		{"a function-scope variable with a null initial value", R"(
               OpCapability Shader
               OpMemoryModel Logical GLSL450
               OpEntryPoint Fragment %main "main" %color
               OpExecutionMode %main OriginUpperLeft
               OpName %main "main"
               OpName %color "color"
               OpName %v "v"
               OpDecorate %color Location 0
       %void = OpTypeVoid
         %fn = OpTypeFunction %void
      %float = OpTypeFloat 32
    %v2float = OpTypeVector %float 2
    %float_1 = OpConstant %float 1
       %null = OpConstantNull %v2float
    %ptr_out = OpTypePointer Output %v2float
     %ptr_fn = OpTypePointer Function %v2float
%ptr_fn_float = OpTypePointer Function %float
       %uint = OpTypeInt 32 0
     %uint_1 = OpConstant %uint 1
      %color = OpVariable %ptr_out Output
       %main = OpFunction %void None %fn
      %entry = OpLabel
          %v = OpVariable %ptr_fn Function %null
          %y = OpAccessChain %ptr_fn_float %v %uint_1
               OpStore %y %float_1
         %vv = OpLoad %v2float %v
               OpStore %color %vv
               OpReturn
               OpFunctionEnd
)",
		 {"\t[function] f32v2 v = f32v2(0.0);"}, nullptr},
	};
	for (const Case &c : cases) {
		Rendered listing = render(assemble_valid(c.module));
		expect_rendered(listing, c.what);
		for (const std::string &line : c.lines) EXPECT_TRUE(has_line(listing.text, line)) << c.what << ": " << line << "\n" << listing.text;
		if (c.main) {
			EXPECT_EQ(body_of(listing.text, "main"), c.main) << c.what << "\n" << listing.text;
		}
	}
}

// A null value of a large array stays a bounded text: beyond its bound the
// listing fails with a message, instead of writing millions of zeros.
TEST(ListingDeclarations, NullValueOfAHugeArrayFails) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	std::string module = R"(
               OpCapability Shader
               OpMemoryModel Logical GLSL450
               OpEntryPoint GLCompute %main "main"
               OpExecutionMode %main LocalSize 1 1 1
               OpName %main "main"
               OpName %big "big"
       %void = OpTypeVoid
         %fn = OpTypeFunction %void
       %uint = OpTypeInt 32 0
   %uint_big = OpConstant %uint 100000000
        %arr = OpTypeArray %uint %uint_big
       %null = OpConstantNull %arr
   %ptr_priv = OpTypePointer Private %arr
        %big = OpVariable %ptr_priv Private %null
       %main = OpFunction %void None %fn
      %entry = OpLabel
               OpReturn
               OpFunctionEnd
)";
	Rendered listing = render(assemble_valid(module));
	ASSERT_TRUE(listing.loaded) << listing.errors;
	EXPECT_FALSE(listing.ok);
	EXPECT_NE(listing.errors.find("ShaderSpirv::get_null_value(): unknown size of 100000000 elements\n"), std::string::npos)
		<< listing.errors;
	EXPECT_LT(listing.text.size(), 1000u);
}

namespace {

// Names that are words of the listing: a type name, keywords, built-in
// functions, an image type and a subgroup function for variables, functions,
// a parameter, a value, a structure type and the members of a block without
// an instance name; and names that only look like them.
const char *const reserved_module = R"(
               OpCapability Shader
               OpMemoryModel Logical GLSL450
               OpEntryPoint Fragment %main "main" %color %mode %block_out
               OpExecutionMode %main OriginUpperLeft
               OpName %main "main"
               OpName %color "f32"
               OpName %mode "u32v4"
               OpName %tex "texture2D"
               OpName %scan "subgroupInclusiveAdd"
               OpName %if_fn "if"
               OpName %max_fn "max(f1;"
               OpName %param "return"
               OpName %m "f32x4"
               OpName %S "struct"
               OpMemberName %S 0 "for"
               OpName %s_var "f1"
               OpName %keep "maxValue"
               OpName %keep2 "textureCoord"
               OpName %Out "Out"
               OpMemberName %Out 0 "while"
               OpMemberName %Out 1 "i64"
               OpDecorate %color Location 0
               OpDecorate %mode Flat
               OpDecorate %mode Location 0
               OpDecorate %Out Block
               OpDecorate %block_out Location 1
       %void = OpTypeVoid
         %fn = OpTypeFunction %void
      %float = OpTypeFloat 32
        %int = OpTypeInt 32 1
    %fn_max = OpTypeFunction %float %float
    %float_2 = OpConstant %float 2
          %S = OpTypeStruct %float
        %Out = OpTypeStruct %float %float
    %ptr_out = OpTypePointer Output %float
     %ptr_in = OpTypePointer Input %int
   %ptr_priv = OpTypePointer Private %float
 %ptr_priv_s = OpTypePointer Private %S
%ptr_out_block = OpTypePointer Output %Out
      %color = OpVariable %ptr_out Output
       %mode = OpVariable %ptr_in Input
  %block_out = OpVariable %ptr_out_block Output
        %tex = OpVariable %ptr_priv Private
       %scan = OpVariable %ptr_priv Private
      %s_var = OpVariable %ptr_priv_s Private
       %keep = OpVariable %ptr_priv Private
      %keep2 = OpVariable %ptr_priv Private
      %if_fn = OpFunction %void None %fn
   %if_entry = OpLabel
               OpStore %tex %float_2
               OpReturn
               OpFunctionEnd
     %max_fn = OpFunction %float None %fn_max
      %param = OpFunctionParameter %float
  %max_entry = OpLabel
        %sum = OpFAdd %float %param %param
         %sq = OpFMul %float %sum %sum
               OpReturnValue %sq
               OpFunctionEnd
       %main = OpFunction %void None %fn
      %entry = OpLabel
       %call = OpFunctionCall %void %if_fn
          %t = OpLoad %float %tex
          %m = OpFunctionCall %float %max_fn %t
               OpStore %color %m
               OpStore %scan %m
               OpStore %keep %m
               OpStore %keep2 %m
               OpReturn
               OpFunctionEnd
)";

// a backend with a word of its own
class FloatWord : public Vexa::ShaderSpirv {
protected:
	bool is_reserved_name(const char *name, bool bare) const override {
		return strcmp(name, "float") == 0 || ShaderSpirv::is_reserved_name(name, bare);
	}
};

} // namespace

// Each name that is a word of the listing gets a '_' where it stands alone;
// a member that only follows a '.' keeps its name; names that merely begin
// like a word keep theirs.
TEST(ListingDeclarations, NamesThatAreWordsOfTheListingAreRenamed) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	Rendered listing = render(assemble_valid(reserved_module));
	ASSERT_TRUE(listing.loaded) << listing.errors;
	EXPECT_TRUE(listing.ok) << listing.errors;
	const char *const lines[] = {
		"[constant] struct struct_ {",
		"\t[constant] f32 for;",
		"[private] f32 texture2D_;",
		"[private] f32 subgroupInclusiveAdd_;",
		"[private] struct_ f1;",
		"[private] f32 maxValue;",
		"[private] f32 textureCoord;",
		"[input, flat, location = 0] i32 u32v4_;",
		"[output, location = 0] f32 f32_;",
		"\t[constant] f32 while_;",
		"\t[constant] f32 i64_;",
		"[constant] void if_() {",
		"[constant] f32 max_(f32 return_) {",
		"\treturn (return_ + return_) * (return_ + return_);",
		"\tif_();",
		"\tf32 f32x4_ = max_(texture2D_);",
		"\tf32_ = f32x4_;",
	};
	for (const char *line : lines) EXPECT_TRUE(has_line(listing.text, line)) << line << "\n" << listing.text;

	// a backend's word: the base lets "float" pass, the backend renames it
	std::string module = std::string(reserved_module);
	module.replace(module.find("\"maxValue\""), 10, "\"float\"");
	std::vector<uint32_t> words = assemble_valid(module);
	EXPECT_TRUE(has_line(render(words).text, "[private] f32 float;"));
	FloatWord backend;
	Rendered renamed = render_with(backend, words);
	EXPECT_TRUE(renamed.ok) << renamed.errors;
	EXPECT_TRUE(has_line(renamed.text, "[private] f32 float_;")) << renamed.text;
}

// A structure type that is no block is declared once, by itself: its Private
// variables, arrays of it and an output of it only name it. Two buffers of one
// block type keep their instance names, so that their members do not read the
// same.
TEST(ListingDeclarations, StructureTypeIsDeclaredOnce) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	std::string module = R"(
               OpCapability Shader
               OpMemoryModel Logical GLSL450
               OpEntryPoint Vertex %main "main" %light_out
               OpName %main "main"
               OpName %Light "Light"
               OpMemberName %Light 0 "color"
               OpMemberName %Light 1 "range"
               OpName %light "light"
               OpName %lights "lights"
               OpName %light_out "light_out"
               OpMemberName %Data 0 "values"
               OpDecorate %light_out Location 0
               OpDecorate %rta ArrayStride 4
               OpDecorate %Data Block
               OpMemberDecorate %Data 0 Offset 0
               OpDecorate %src DescriptorSet 0
               OpDecorate %src Binding 0
               OpDecorate %dst DescriptorSet 0
               OpDecorate %dst Binding 1
       %void = OpTypeVoid
         %fn = OpTypeFunction %void
      %float = OpTypeFloat 32
    %v3float = OpTypeVector %float 3
       %uint = OpTypeInt 32 0
     %uint_0 = OpConstant %uint 0
     %uint_1 = OpConstant %uint 1
     %uint_2 = OpConstant %uint 2
      %Light = OpTypeStruct %v3float %float
     %Lights = OpTypeArray %Light %uint_2
  %ptr_light = OpTypePointer Private %Light
 %ptr_lights = OpTypePointer Private %Lights
%ptr_light_out = OpTypePointer Output %Light
      %light = OpVariable %ptr_light Private
     %lights = OpVariable %ptr_lights Private
  %light_out = OpVariable %ptr_light_out Output
        %rta = OpTypeRuntimeArray %float
       %Data = OpTypeStruct %rta
     %ptr_sb = OpTypePointer StorageBuffer %Data
%ptr_sb_float = OpTypePointer StorageBuffer %float
        %src = OpVariable %ptr_sb StorageBuffer
        %dst = OpVariable %ptr_sb StorageBuffer
       %main = OpFunction %void None %fn
      %entry = OpLabel
          %l = OpLoad %Light %light
          %e = OpAccessChain %ptr_light %lights %uint_1
               OpStore %e %l
               OpStore %light_out %l
          %p = OpAccessChain %ptr_sb_float %src %uint_0 %uint_0
          %v = OpLoad %float %p
          %q = OpAccessChain %ptr_sb_float %dst %uint_0 %uint_0
               OpStore %q %v
               OpReturn
               OpFunctionEnd
)";
	Rendered listing = render(assemble_valid(module));
	ASSERT_TRUE(listing.loaded) << listing.errors;
	EXPECT_TRUE(listing.ok) << listing.errors;
	EXPECT_EQ(count_of(listing.text, "Light {"), 1u) << listing.text;
	EXPECT_EQ(count_of(listing.text, "f32 range;"), 1u) << listing.text;
	for (const char *line : {"[private] Light light;", "[private] Light lights[2u];", "[output, location = 0] Light light_out;"}) {
		EXPECT_TRUE(has_line(listing.text, line)) << line << "\n" << listing.text;
	}
	// the two buffers: each with its name, and the copy reads one and writes the other
	std::string body = body_of(listing.text, "main");
	std::smatch m;
	ASSERT_TRUE(std::regex_search(body, m, std::regex(R"(\t(\w+)\.values\[0u\] = (\w+)\.values\[0u\];)"))) << body;
	EXPECT_NE(m[1].str(), m[2].str()) << body;
	EXPECT_NE(listing.text.find("} " + m[1].str() + ";\n"), std::string::npos) << listing.text;
	EXPECT_NE(listing.text.find("} " + m[2].str() + ";\n"), std::string::npos) << listing.text;
}

namespace {

// A fragment shader whose switch on `mode` is given by `cases`: the OpSwitch
// operands after the default and the blocks, each storing to `color`.
std::string switch_module(const std::string &targets, const std::string &blocks) {
	return R"(
               OpCapability Shader
               OpMemoryModel Logical GLSL450
               OpEntryPoint Fragment %main "main" %color %mode
               OpExecutionMode %main OriginUpperLeft
               OpName %main "main"
               OpName %color "color"
               OpName %mode "mode"
               OpDecorate %color Location 0
               OpDecorate %mode Flat
               OpDecorate %mode Location 0
       %void = OpTypeVoid
       %bool = OpTypeBool
        %int = OpTypeInt 32 1
    %ptr_out = OpTypePointer Output %int
      %color = OpVariable %ptr_out Output
     %ptr_in = OpTypePointer Input %int
       %mode = OpVariable %ptr_in Input
         %fn = OpTypeFunction %void
      %int_1 = OpConstant %int 1
      %int_2 = OpConstant %int 2
      %int_3 = OpConstant %int 3
       %main = OpFunction %void None %fn
      %entry = OpLabel
          %m = OpLoad %int %mode
               OpSelectionMerge %merge None
               OpSwitch %m %default )" + targets + "\n" + blocks + R"(
      %merge = OpLabel
               OpReturn
               OpFunctionEnd
)";
}

} // namespace

// A default that a case runs on into, or that runs on into a case, stands
// between them in the listing, whatever the order of the blocks; without
// such a fall-through it stays last.
TEST(ListingDeclarations, SwitchDefaultBetweenCasesThatFallThrough) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	struct Case {
		const char *what;
		const char *targets;
		const char *blocks;
		const char *main;
	};
	const Case cases[] = {
		{"case 1 into the default into case 2", "1 %one 2 %two",
		 "%one = OpLabel\nOpStore %color %int_1\nOpBranch %default\n"
		 "%default = OpLabel\nOpStore %color %int_2\nOpBranch %two\n"
		 "%two = OpLabel\nOpStore %color %int_3\nOpBranch %merge",
		 "\tswitch(mode) {\n\t\tcase 1: {\n\t\t\tcolor = 1;\n\t\t}\n\t\tdefault: {\n\t\t\tcolor = 2;\n\t\t}\n"
		 "\t\tcase 2: {\n\t\t\tcolor = 3;\n\t\t\tbreak;\n\t\t}\n\t}\n"},
		{"the default into case 1, listed before it", "1 %one 2 %two",
		 "%default = OpLabel\nOpStore %color %int_2\nOpBranch %one\n"
		 "%one = OpLabel\nOpStore %color %int_1\nOpBranch %merge\n"
		 "%two = OpLabel\nOpStore %color %int_3\nOpBranch %merge",
		 "\tswitch(mode) {\n\t\tdefault: {\n\t\t\tcolor = 2;\n\t\t}\n\t\tcase 1: {\n\t\t\tcolor = 1;\n\t\t\tbreak;\n\t\t}\n"
		 "\t\tcase 2: {\n\t\t\tcolor = 3;\n\t\t\tbreak;\n\t\t}\n\t}\n"},
		{"case 1 into the default after an if, the default last among the blocks", "1 %one 2 %two",
		 "%one = OpLabel\nOpStore %color %int_1\n%c = OpSGreaterThan %bool %m %int_2\nOpSelectionMerge %inner None\n"
		 "OpBranchConditional %c %then %inner\n%then = OpLabel\nOpStore %color %int_3\nOpBranch %inner\n"
		 "%inner = OpLabel\nOpBranch %default\n"
		 "%two = OpLabel\nOpStore %color %int_3\nOpBranch %merge\n"
		 "%default = OpLabel\nOpStore %color %int_2\nOpBranch %merge",
		 "\tswitch(mode) {\n\t\tcase 1: {\n\t\t\tcolor = 1;\n\t\t\tif(mode > 2) { color = 3; }\n\t\t}\n"
		 "\t\tdefault: {\n\t\t\tcolor = 2;\n\t\t\tbreak;\n\t\t}\n\t\tcase 2: {\n\t\t\tcolor = 3;\n\t\t\tbreak;\n\t\t}\n\t}\n"},
		{"no fall-through: the default stays last", "1 %one 2 %two",
		 "%one = OpLabel\nOpStore %color %int_1\nOpBranch %merge\n"
		 "%default = OpLabel\nOpStore %color %int_2\nOpBranch %merge\n"
		 "%two = OpLabel\nOpStore %color %int_3\nOpBranch %merge",
		 "\tswitch(mode) {\n\t\tcase 1: {\n\t\t\tcolor = 1;\n\t\t\tbreak;\n\t\t}\n\t\tcase 2: {\n\t\t\tcolor = 3;\n\t\t\tbreak;\n\t\t}\n"
		 "\t\tdefault: {\n\t\t\tcolor = 2;\n\t\t\tbreak;\n\t\t}\n\t}\n"},
	};
	for (const Case &c : cases) {
		Rendered listing = render(assemble_valid(switch_module(c.targets, c.blocks)));
		expect_rendered(listing, c.what);
		EXPECT_EQ(body_of(listing.text, "main"), c.main) << c.what << "\n" << listing.text;
	}
}

namespace {

// A backend that writes its own syntax at the hooks, and reads the links of
// every combined image and sampler.
class Hooks : public Vexa::ShaderSpirv {
public:
	using ShaderSpirv::sampled_images;
	using ShaderSpirv::depth_samplers;
	using ShaderSpirv::initializers;
	using ShaderSpirv::privates;

protected:
	Vexa::String get_temporary_declaration(uint32_t id, const Vexa::String &value) override {
		return Vexa::String::format("let %s : %s = %s", records[id].name.get(), get_type(id, nullptr).get(), value.get());
	}
	Vexa::String get_local_declaration(uint32_t variable, const Vexa::String &value) override {
		Vexa::String ret = Vexa::String::format("var %s : %s", records[variable].name.get(), get_type(variable, nullptr).get());
		if (!value.empty()) ret.append(Vexa::String::format(" = %s", value.get()));
		return ret;
	}
	Vexa::String get_variable_declaration(uint32_t variable) override {
		if (records[variable].storage != Vexa::Spirv::StoragePrivate) return ShaderSpirv::get_variable_declaration(variable);
		return Vexa::String::format("var<private> %s : %s", records[variable].name.get(), get_type(variable, nullptr).get());
	}
	bool is_initialized_in_declaration(uint32_t) override { return false; }
	Vexa::String get_case_label(uint32_t, uint64_t literal) override {
		return Vexa::String::format("when %llu =>", static_cast<unsigned long long>(literal));
	}
	Vexa::String get_default_label(uint32_t) override { return Vexa::String("otherwise =>"); }
	Vexa::String get_fallthrough() override { return Vexa::String("fallthrough"); }
	Vexa::String get_entry_return() override { return Vexa::String("return out"); }
};

} // namespace

// The hooks are reached: temporaries, local and Private declarations, the
// placement of initial values, case and default labels, fall-through and the
// entry point's return each come from the backend; the links of a combined
// texture and sampler that is no depth image are in the backend's reach.
TEST(ListingDeclarations, BackendHooksAreReached) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	std::string module = R"(
               OpCapability Shader
               OpMemoryModel Logical GLSL450
               OpEntryPoint Fragment %main "main" %color %mode %uv
               OpExecutionMode %main OriginUpperLeft
               OpName %main "main"
               OpName %color "color"
               OpName %mode "mode"
               OpName %uv "uv"
               OpName %count "count"
               OpName %next "next"
               OpName %x "x"
               OpName %v "v"
               OpName %tex "tex"
               OpName %smp "smp"
               OpDecorate %color Location 0
               OpDecorate %mode Flat
               OpDecorate %mode Location 0
               OpDecorate %uv Location 1
               OpDecorate %tex DescriptorSet 0
               OpDecorate %tex Binding 0
               OpDecorate %smp DescriptorSet 0
               OpDecorate %smp Binding 1
       %void = OpTypeVoid
       %bool = OpTypeBool
        %int = OpTypeInt 32 1
      %float = OpTypeFloat 32
    %v2float = OpTypeVector %float 2
    %v4float = OpTypeVector %float 4
      %image = OpTypeImage %float 2D 0 0 0 1 Unknown
    %sampler = OpTypeSampler
    %sampled = OpTypeSampledImage %image
  %ptr_image = OpTypePointer UniformConstant %image
%ptr_sampler = OpTypePointer UniformConstant %sampler
        %tex = OpVariable %ptr_image UniformConstant
        %smp = OpVariable %ptr_sampler UniformConstant
    %ptr_out = OpTypePointer Output %v4float
      %color = OpVariable %ptr_out Output
     %ptr_in = OpTypePointer Input %int
       %mode = OpVariable %ptr_in Input
  %ptr_in_uv = OpTypePointer Input %v2float
         %uv = OpVariable %ptr_in_uv Input
   %ptr_priv = OpTypePointer Private %int
     %ptr_fn = OpTypePointer Function %int
         %fn = OpTypeFunction %void
     %fn_int = OpTypeFunction %int
      %int_0 = OpConstant %int 0
      %int_1 = OpConstant %int 1
      %int_2 = OpConstant %int 2
      %count = OpVariable %ptr_priv Private %int_2
       %next = OpFunction %int None %fn_int
 %next_entry = OpLabel
        %old = OpLoad %int %count
        %new = OpIAdd %int %old %int_1
               OpStore %count %new
               OpReturnValue %old
               OpFunctionEnd
       %main = OpFunction %void None %fn
      %entry = OpLabel
          %v = OpVariable %ptr_fn Function
          %t = OpLoad %image %tex
          %s = OpLoad %sampler %smp
         %ts = OpSampledImage %sampled %t %s
         %uv_v = OpLoad %v2float %uv
         %texel = OpImageSampleImplicitLod %v4float %ts %uv_v
               OpStore %color %texel
          %x = OpFunctionCall %int %next
        %sum = OpIAdd %int %x %x
               OpStore %v %sum
          %m = OpLoad %int %mode
               OpSelectionMerge %merge None
               OpSwitch %m %merge 1 %one 2 %two
        %one = OpLabel
               OpStore %v %int_1
               OpBranch %two
        %two = OpLabel
         %vv = OpLoad %int %v
          %c = OpSGreaterThan %bool %vv %int_1
               OpSelectionMerge %inner None
               OpBranchConditional %c %early %inner
      %early = OpLabel
               OpReturn
      %inner = OpLabel
               OpBranch %merge
      %merge = OpLabel
               OpReturn
               OpFunctionEnd
)";
	std::vector<uint32_t> words = assemble_valid(module);
	Hooks backend;
	Rendered listing = render_with(backend, words);
	ASSERT_TRUE(listing.loaded) << listing.errors;
	EXPECT_TRUE(listing.ok) << listing.errors << listing.text;
	const char *const lines[] = {
		"var<private> count : i32;",
		"\tcount = 2;",
		"\tlet x : i32 = next();",
		"\tvar v : i32 = x + x;",
		"\t\twhen 1 => {",
		"\t\t\tv = 1;",
		"\t\t\tfallthrough;",
		"\t\twhen 2 => {",
		"\t\t\tif(v > 1) { return out; }",
	};
	for (const char *line : lines) EXPECT_TRUE(has_line(listing.text, line)) << line << "\n" << listing.text;
	// the initial value opens the entry point, before everything else
	EXPECT_EQ(body_of(listing.text, "main").find("\tcount = 2;\n"), 0u) << listing.text;

	// the default's label, and the fall-through into and out of it
	Hooks other;
	Rendered defaulted = render_with(other, assemble_valid(switch_module("1 %one 2 %two",
		"%one = OpLabel\nOpStore %color %int_1\nOpBranch %default\n"
		"%default = OpLabel\nOpStore %color %int_2\nOpBranch %two\n"
		"%two = OpLabel\nOpStore %color %int_3\nOpBranch %merge")));
	EXPECT_TRUE(defaulted.ok) << defaulted.errors;
	EXPECT_EQ(body_of(defaulted.text, "main"),
		"\tswitch(mode) {\n\t\twhen 1 => {\n\t\t\tcolor = 1;\n\t\t\tfallthrough;\n\t\t}\n"
		"\t\totherwise => {\n\t\t\tcolor = 2;\n\t\t\tfallthrough;\n\t\t}\n"
		"\t\twhen 2 => {\n\t\t\tcolor = 3;\n\t\t\tbreak;\n\t\t}\n\t}\n")
		<< defaulted.text;

	// the links: image type, image and sampler variable to the sampled-image
	// type, which is no depth image
	uint32_t tex = 0, smp = 0, image = 0, sampled = 0;
	Loaded loaded(words);
	for (uint32_t id = 0; id < loaded.probe.records.size(); id++) {
		const Vexa::String &name = loaded.probe.records[id].name;
		if (name == "tex") tex = id;
		if (name == "smp") smp = id;
	}
	ASSERT_TRUE(tex && smp);
	for (uint32_t id : loaded.probe.types) {
		uint32_t op = loaded.probe.words[loaded.probe.indices[id]] & 0xffffu;
		if (op == Vexa::Spirv::OpTypeImage) image = id;
		if (op == Vexa::Spirv::OpTypeSampledImage) sampled = id;
	}
	ASSERT_TRUE(image && sampled);
	for (uint32_t key : {tex, smp, image}) {
		const uint32_t *link = backend.sampled_images.get(key);
		ASSERT_NE(link, nullptr) << key;
		EXPECT_EQ(*link, sampled) << key;
	}
	EXPECT_EQ(backend.depth_samplers.size(), 0u);
	ASSERT_EQ(backend.privates.size(), 1u);
	EXPECT_EQ(backend.privates[0], backend.initializers.begin()->key);
}
