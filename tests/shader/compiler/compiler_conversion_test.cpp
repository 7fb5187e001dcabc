// Conversions between scalar kinds and widths: the instructions each pair of
// types takes (between integers the width first, the source's shape kept), the
// comparisons and selections of bool, the folding of constant sources, and
// the pairs that can't be converted.
#include "compiler_fixtures.h"

#include "shader/ShaderSpirvNumbers.h"

#include <gtest/gtest.h>

#include <cmath>

using Vexa::Compiler;
using Vexa::String;
using compiler_test::Fixture;

namespace {

namespace Spirv = Vexa::Spirv;

TEST(CompilerConversion, Instructions) {
	struct {
		const char *source;
		const char *target;
		std::vector<uint32_t> opcodes;
		const char *result;
	} rows[] = {
		// between a float and an integer one instruction to the target's width:
		// no rounding through a narrower float, no overflow of a narrower integer
		{"i32v3", "f64", {Spirv::OpConvertSToF}, "f64v3"},
		{"u32", "f64", {Spirv::OpConvertUToF}, "f64"},
		{"i16", "f32", {Spirv::OpConvertSToF}, "f32"},
		{"u16v2", "f64", {Spirv::OpConvertUToF}, "f64v2"},
		{"i64", "f32", {Spirv::OpConvertSToF}, "f32"},
		{"u64", "f16", {Spirv::OpConvertUToF}, "f16"},
		{"f16", "i32", {Spirv::OpConvertFToS}, "i32"},
		{"f32", "u64", {Spirv::OpConvertFToU}, "u64"},
		{"f32v3", "i64", {Spirv::OpConvertFToS}, "i64v3"},
		{"u32", "f32", {Spirv::OpConvertUToF}, "f32"},
		{"f32v2", "u32", {Spirv::OpConvertFToU}, "u32v2"},
		{"f32", "i32", {Spirv::OpConvertFToS}, "i32"},
		{"f64", "i16", {Spirv::OpConvertFToS}, "i16"},
		{"f64v4", "u32", {Spirv::OpConvertFToU}, "u32v4"},
		{"i32", "u32", {Spirv::OpBitcast}, "u32"},
		// between integers the width changes first, extended by the source's signedness
		{"u32v2", "i64", {Spirv::OpUConvert, Spirv::OpBitcast}, "i64v2"},
		{"i16", "u32", {Spirv::OpSConvert, Spirv::OpBitcast}, "u32"},
		{"f16", "f32", {Spirv::OpFConvert}, "f32"},
		{"u16v4", "u32", {Spirv::OpUConvert}, "u32v4"},
		{"i32", "i16", {Spirv::OpSConvert}, "i16"},
		{"f32v4", "f32", {}, "f32v4"},
		// a NaN is not zero: true, as GLSL's != of floats
		{"f32", "b32", {Spirv::OpFUnordNotEqual}, "b32"},
		{"f64v2", "b32v2", {Spirv::OpFUnordNotEqual}, "b32v2"},
		{"u32v3", "b32v3", {Spirv::OpINotEqual}, "b32v3"},
		{"i64", "b32", {Spirv::OpINotEqual}, "b32"},
		{"b32", "f32", {Spirv::OpSelect}, "f32"},
		{"b32v2", "u32v2", {Spirv::OpSelect}, "u32v2"},
		{"b32", "i16", {Spirv::OpSelect}, "i16"},
		{"b32", "f64", {Spirv::OpSelect}, "f64"},
		{"b32v4", "b32", {}, "b32v4"},
	};
	for (const auto &row : rows) {
		SCOPED_TRACE(std::string(row.source) + " to " + row.target);
		Fixture f;
		Compiler &c = f.compiler;
		uint32_t source = compiler_test::add_undef(c, c.add_type(row.source));
		uint32_t result = c.add_conversion(f.function, Compiler::get_type_flags(String(row.target)), source);
		EXPECT_EQ(compiler_test::opcodes(f.function.code), row.opcodes);
		EXPECT_EQ(c.get_target_type_name(result), String(row.result));
		if (row.opcodes.empty()) {
			EXPECT_EQ(result, source);
		}
		EXPECT_EQ(compiler_test::validate(c, &f.function), "");
	}
}

TEST(CompilerConversion, BoolOperands) {
	Fixture f;
	Compiler &c = f.compiler;
	// to bool: compared with the zero of the source's type
	uint32_t source = compiler_test::add_undef(c, c.add_type("f32v2"));
	uint32_t result = c.add_conversion(f.function, Compiler::get_type_flags(String("b32v2")), source);
	std::vector<compiler_test::Instruction> code = compiler_test::decode(f.function.code);
	ASSERT_EQ(code.size(), 1u);
	uint32_t zero = code[0].operands[3];
	EXPECT_EQ(code[0].operands[1], result);
	EXPECT_EQ(code[0].operands[2], source);
	EXPECT_EQ(zero, c.add_constant("f32v2", 0));

	// from bool: true gives one, false zero
	uint32_t flag = compiler_test::add_undef(c, c.add_type("b32"));
	f.function.code.clear();
	c.add_conversion(f.function, Compiler::get_type_flags(String("f32")), flag);
	code = compiler_test::decode(f.function.code);
	ASSERT_EQ(code.size(), 1u);
	const Vexa::Value *one = c.constants.get(code[0].operands[3]);
	const Vexa::Value *nought = c.constants.get(code[0].operands[4]);
	ASSERT_TRUE(one && nought);
	EXPECT_EQ(one->get_f64(0), 1.0);
	EXPECT_EQ(nought->get_f64(0), 0.0);
}

TEST(CompilerConversion, ConstantSourcesFold) {
	struct {
		const char *source;
		Vexa::Value value;
		const char *target;
		double expected;
	} rows[] = {
		{"i32", [] { Vexa::Value v(1); v.set_i64(0, -3); return v; }(), "f32", -3.0},
		{"f32", [] { Vexa::Value v(1); v.set_f64(0, 2.5); return v; }(), "i32", 2.0},
		{"f32", [] { Vexa::Value v(1); v.set_f64(0, -2.5); return v; }(), "i64", -2.0},
		{"u32", [] { Vexa::Value v(1); v.set_u64(0, 7); return v; }(), "f16", 7.0},
		{"f64", [] { Vexa::Value v(1); v.set_f64(0, 0.1); return v; }(), "f32", (double)0.1f},
		// an integer widens by its own signedness, whatever the target's
		{"u32", [] { Vexa::Value v(1); v.set_u64(0, 0xFFFFFFFFu); return v; }(), "i64", 4294967295.0},
		{"i16", [] { Vexa::Value v(1); v.set_i64(0, -1); return v; }(), "u32", 4294967295.0},
		{"i32", [] { Vexa::Value v(1); v.set_i64(0, -2); return v; }(), "u64", 18446744073709551614.0},
		{"u16", [] { Vexa::Value v(1); v.set_u64(0, 0xFFFF); return v; }(), "i32", 65535.0},
		{"i64", [] { Vexa::Value v(1); v.set_i64(0, -1); return v; }(), "u16", 65535.0},
		// straight to the target's width: no rounding on the way
		{"u32", [] { Vexa::Value v(1); v.set_u64(0, 2105514289u); return v; }(), "f64", 2105514289.0},
		{"i32", [] { Vexa::Value v(1); v.set_i64(0, -2105514289); return v; }(), "f64", -2105514289.0},
		{"i16", [] { Vexa::Value v(1); v.set_i64(0, 32767); return v; }(), "f32", 32767.0},
		{"f16", [] { Vexa::Value v(1); v.set_f64(0, 40000.0); return v; }(), "i32", 40000.0},
		{"f32", [] { Vexa::Value v(1); v.set_f64(0, 3e9); return v; }(), "i64", 3e9},
		// 2^60 + 2^36 + 1 rounds up to a float, to 2^60 through a double
		{"i64", [] { Vexa::Value v(1); v.set_i64(0, (1ll << 60) + (1ll << 36) + 1); return v; }(), "f32", 1152921642045800448.0},
		// a NaN is not zero
		{"f32", [] { Vexa::Value v(1); v.set_f64(0, NAN); return v; }(), "b32", 1.0},
		{"f64", [] { Vexa::Value v(1); v.set_f64(0, -0.0); return v; }(), "b32", 0.0},
	};
	for (const auto &row : rows) {
		SCOPED_TRACE(std::string(row.source) + " to " + row.target);
		Fixture f;
		Compiler &c = f.compiler;
		uint32_t source = c.add_constant(row.source, row.value);
		uint32_t result = c.add_conversion(f.function, Compiler::get_type_flags(String(row.target)), source);
		EXPECT_EQ(f.function.code.size(), 0u);
		const Vexa::Value *value = c.constants.get(result);
		ASSERT_NE(value, nullptr);
		EXPECT_EQ(value->get_f64(0), row.expected);
		EXPECT_EQ(c.get_target_type_name(result), String(row.target));
		EXPECT_EQ(compiler_test::validate(c), "");
	}
}

TEST(CompilerConversion, Refused) {
	Fixture f;
	Compiler &c = f.compiler;
	uint32_t flag = compiler_test::add_undef(c, c.add_type("b32"));
	try {
		c.add_conversion(f.function, Compiler::TypeSampler, flag);
		ADD_FAILURE() << "converted";
	} catch (const String &message) {
		EXPECT_EQ(message, String("can't convert b32 to sampler\n"));
	}
	LogCapture log;
	try {
		c.add_conversion(f.function, Compiler::get_type_flags(String("b32")), 999);
		ADD_FAILURE() << "converted";
	} catch (const String &message) {
		EXPECT_EQ(message, String("can't convert unknown to b32\n"));
	}
	EXPECT_EQ(log.errors, "Compiler::get_target_flags(): invalid target 999\n");
	EXPECT_EQ(f.function.code.size(), 0u);
}

} // namespace
