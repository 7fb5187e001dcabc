// A small backend written the way the output formats extend the listing: it
// overrides the slots and hooks of the base to write its own syntax, and keeps
// the base's scheduling. One module reaches every override, and the listing
// shows each one's text where the base would have written its own, with the
// scheduler's temporaries still in place around the overridden values.
#include <gtest/gtest.h>

#include "listing_fixtures.h"

#include "shader/ShaderSpirvNumbers.h"

#include <cstring>

using namespace listing_test;

namespace {

using Vexa::String;

class TestBackend : public Vexa::ShaderSpirv {
public:
	// declarations: the 32-bit float type has the backend's own name, and
	// every declaration of the base is marked
	String get_type(uint32_t id, const Record *record) override {
		String type = ShaderSpirv::get_type(id, record);
		return (strcmp(type.get(), "f32") == 0) ? String("real") : type;
	}
	String get_declaration(uint32_t id, const Record *record) override {
		String declaration = ShaderSpirv::get_declaration(id, record);
		if (declaration.empty()) return declaration;
		return String::format("decl %s", declaration.get());
	}
	// a multiplication is a call; where the scheduler has placed one, its
	// temporary is used without asking the hook
	String render_value(uint32_t id, bool parenthesize) override {
		Iterator it = get_target(id);
		if (it.get_opcode() != 133) return ShaderSpirv::render_value(id, parenthesize); // OpFMul
		return String::format("mul(%s, %s)", get_value(it[3], false).get(), get_value(it[4], false).get());
	}
	String get_assignment(const Iterator &it) override {
		return String::format("store %s", ShaderSpirv::get_assignment(it).get());
	}
	String get_merge(const Block &block, const Iterator &it, uint32_t indent, Pending &pending, const Block *loop) override {
		String ret;
		for (uint32_t i = 0; i < indent; i++) ret.append('\t');
		ret.append("// construct\n");
		ret.append(ShaderSpirv::get_merge(block, it, indent, pending, loop));
		return ret;
	}
	String get_globals() override {
		String ret("// globals\n");
		ret.append(ShaderSpirv::get_globals());
		return ret;
	}

protected:
	String get_float_constant(uint32_t, uint32_t width, uint64_t bits) override {
		return String::format("float%u(0x%llx)", width, static_cast<unsigned long long>(bits));
	}
	String get_sign_cast(uint32_t, bool to_signed, const String &value) override {
		return String::format("%s(%s)", to_signed ? "signed" : "unsigned", value.get());
	}
	String get_bit_cast(uint32_t type, uint32_t, const String &value) override {
		return String::format("reinterpret<%s>(%s)", get_type(type, nullptr).get(), value.get());
	}
	String get_select_name(const Iterator &) override {
		return String("pick(%c, %l, %r)");
	}
	String get_temporary_declaration(uint32_t id, const String &value) override {
		return String::format("let %s = %s", records[id].name.get(), value.get());
	}
	String get_case_label(uint32_t, uint64_t literal) override {
		return String::format("when %llu", static_cast<unsigned long long>(literal));
	}
	String get_default_label(uint32_t) override {
		return String("otherwise");
	}
	String get_fallthrough() override {
		return String("next_case");
	}
	String get_entry_return() override {
		return String("return_entry");
	}
	bool is_reserved_name(const char *name, bool bare) const override {
		return strcmp(name, "let") == 0 || ShaderSpirv::is_reserved_name(name, bare);
	}
	String get_variable_declaration(uint32_t variable) override {
		if (records[variable].storage != Vexa::Spirv::StoragePrivate) return ShaderSpirv::get_variable_declaration(variable);
		String ret = String::format("var<private> %s", records[variable].name.get());
		const uint32_t *value = initializers.get(variable);
		if (value) ret.append(String::format(" = %s", get_initializer(*value).get()));
		return ret;
	}
	String get_entry_initializers(uint32_t indent) override {
		String ret;
		for (uint32_t i = 0; i < indent; i++) ret.append('\t');
		ret.append("// initial values\n");
		ret.append(ShaderSpirv::get_entry_initializers(indent));
		return ret;
	}
};

// Every override of the backend has its text in the module's listing. The
// product is long enough and used twice, so the scheduler gives it a
// temporary, which the backend's own text of it fills.
const char *const backend_module = R"(
               OpCapability Shader
               OpCapability Int64
               OpMemoryModel Logical GLSL450
               OpEntryPoint Fragment %main "main" %color %mode %uv
               OpExecutionMode %main OriginUpperLeft
               OpName %main "main"
               OpName %color "color"
               OpName %mode "mode"
               OpName %uv "let"
               OpName %count "count"
               OpName %scale "scale"
               OpDecorate %color Location 0
               OpDecorate %mode Flat
               OpDecorate %mode Location 0
               OpDecorate %uv Location 1
       %void = OpTypeVoid
       %bool = OpTypeBool
        %int = OpTypeInt 32 1
       %uint = OpTypeInt 32 0
      %ulong = OpTypeInt 64 0
     %v2uint = OpTypeVector %uint 2
      %float = OpTypeFloat 32
    %v4float = OpTypeVector %float 4
    %ptr_out = OpTypePointer Output %v4float
  %ptr_out_f = OpTypePointer Output %float
     %ptr_in = OpTypePointer Input %uint
   %ptr_in_f = OpTypePointer Input %float
   %ptr_priv = OpTypePointer Private %int
         %fn = OpTypeFunction %void
      %int_1 = OpConstant %int 1
      %int_2 = OpConstant %int 2
     %uint_0 = OpConstant %uint 0
     %uint_3 = OpConstant %uint 3
    %float_0 = OpConstant %float 0
  %float_1_5 = OpConstant %float 1.5
     %long_k = OpConstant %ulong 4294967298
 %color_init = OpConstantComposite %v4float %float_0 %float_0 %float_0 %float_0
      %color = OpVariable %ptr_out Output %color_init
       %mode = OpVariable %ptr_in Input
         %uv = OpVariable %ptr_in_f Input
      %count = OpVariable %ptr_priv Private %int_2
       %main = OpFunction %void None %fn
      %entry = OpLabel
          %m = OpLoad %uint %mode
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
          %q = OpSDiv %uint %m %uint_3
       %pair = OpBitcast %v2uint %long_k
         %lo = OpCompositeExtract %uint %pair 0
        %big = OpUGreaterThan %bool %q %lo
       %pick = OpSelect %float %big %sum %x
         %cx = OpAccessChain %ptr_out_f %color %uint_0
               OpStore %cx %pick
               OpSelectionMerge %after None
               OpSwitch %m %default 1 %one 2 %two
        %one = OpLabel
               OpStore %count %int_1
               OpBranch %two
        %two = OpLabel
               OpBranch %after
    %default = OpLabel
               OpReturn
      %after = OpLabel
               OpReturn
               OpFunctionEnd
)";

} // namespace

TEST(TestBackend, EveryOverrideReachesTheListing) {
	if (!have_tool("spirv-as") || !have_tool("spirv-val")) GTEST_SKIP() << "spirv-as or spirv-val missing";
	std::vector<uint32_t> words = assemble(backend_module, "spv1.3");
	ASSERT_FALSE(words.empty());
	ASSERT_EQ(spirv_val(words, "spv1.3"), "");
	Rendered listing = render<TestBackend>(words);
	ASSERT_TRUE(listing.loaded) << listing.errors;
	ASSERT_TRUE(listing.ok) << listing.errors;
	EXPECT_EQ(listing.errors, "");
	struct Case {
		const char *slot;
		const char *fragment;
	};
	const Case cases[] = {
		{"get_globals", "// globals\n"},
		{"get_variable_declaration", "var<private> count = 2;\n"},
		{"get_declaration and get_type", "decl [input, location = 1] real let_;\n"},
		{"is_reserved_name", "let_"},
		{"get_entry_initializers", "\t// initial values\n\tcolor = "},
		{"get_float_constant", "float32(0x3fc00000)"},
		{"render_value and get_temporary_declaration", "\tlet scale = mul("},
		{"temporary used twice", "scale + scale"},
		{"get_sign_cast", "unsigned(signed("},
		{"get_bit_cast", "reinterpret<u32v2>("},
		{"get_select_name", "pick("},
		{"get_assignment", "\tstore color.x = pick("},
		{"get_merge", "\t// construct\n\tswitch("},
		{"get_case_label", "when 1"},
		{"get_fallthrough", "next_case;\n"},
		{"get_default_label", "otherwise {"},
		{"get_entry_return", "return_entry;\n"},
	};
	for (const Case &c : cases) {
		EXPECT_NE(listing.text.find(c.fragment), std::string::npos) << c.slot << ": " << c.fragment << "\n" << listing.text;
	}
	// the scheduler computes the overridden product once, in its temporary
	size_t first = listing.text.find("mul(");
	EXPECT_EQ(listing.text.find("mul(", first + 1), std::string::npos) << listing.text;
}
