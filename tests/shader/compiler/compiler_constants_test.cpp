// Constant values: the component readers and their conversions, the folding
// of one-operand instructions, and the constants of a module: made once per
// type and value, components first, held as the module holds them, and never
// cut short (a constant that needs more than a Value holds is refused).
#include "compiler_fixtures.h"

#include "shader/ShaderSpirvNumbers.h"
#include "shader/spirv_fixtures.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

using Vexa::Compiler;
using Vexa::String;
using Vexa::Value;
using compiler_test::decode;
using compiler_test::Fixture;
using compiler_test::Instruction;

namespace {

namespace Spirv = Vexa::Spirv;

Value f64s(std::initializer_list<double> list) {
	Value ret;
	for (double d : list) ret.set_f64(ret.count++, d);
	return ret;
}

Value i64s(std::initializer_list<int64_t> list) {
	Value ret;
	for (int64_t v : list) ret.set_i64(ret.count++, v);
	return ret;
}

Value u64s(std::initializer_list<uint64_t> list) {
	Value ret;
	for (uint64_t v : list) ret.set_u64(ret.count++, v);
	return ret;
}

uint64_t bits(double d) {
	uint64_t ret;
	memcpy(&ret, &d, sizeof(ret));
	return ret;
}

template <class Call>
std::string thrown(Call call) {
	try {
		call();
	} catch (const String &message) {
		return message.get();
	}
	return std::string();
}

TEST(CompilerConstants, Readers) {
	Value one = f64s({2.5});
	EXPECT_EQ(one.get_f64(3), 2.5);
	Value two = f64s({2.5, 3.5});
	EXPECT_EQ(two.get_f64(3), 0.0);
	EXPECT_EQ(f64s({1e19}).get_u64(0), 10000000000000000000ull);
	EXPECT_EQ(f64s({-2.7}).get_i64(0), -2);
	EXPECT_EQ(f64s({-1.0}).get_u64(0), ~0ull);
	// a NaN is not zero
	EXPECT_TRUE(f64s({NAN}).get_bool(0));
	EXPECT_FALSE(f64s({-0.0}).get_bool(0));
	EXPECT_TRUE(f64s({-0.5}).get_bool(0));
	// conversions out of range saturate; a NaN gives 0
	EXPECT_EQ(f64s({1e300}).get_i64(0), INT64_MAX);
	EXPECT_EQ(f64s({-1e300}).get_i64(0), INT64_MIN);
	EXPECT_EQ(f64s({1e300}).get_u64(0), ~0ull);
	EXPECT_EQ(f64s({NAN}).get_i64(0), 0);
	EXPECT_EQ(f64s({NAN}).get_u64(0), 0u);
	EXPECT_EQ(u64s({~0ull}).get_f64(0), 18446744073709551616.0);
	EXPECT_EQ(i64s({-1}).get_f64(0), -1.0);
	EXPECT_EQ(Value(1).get_f64(0), 0.0);
	// set_* mark the kind
	Value v;
	v.set_bool(0, true);
	EXPECT_EQ(v.flags, (uint32_t)Compiler::TypeBool);
	v.set_f64(20, 1.0);
	EXPECT_EQ(v.flags, (uint32_t)Compiler::TypeBool);
}

TEST(CompilerConstants, UnaryFolding) {
	struct {
		Value operand;
		uint32_t opcode;
		uint32_t extended;
		uint32_t kind; // 0: not folded
		std::vector<uint64_t> components;
	} rows[] = {
		{f64s({2.5}), Spirv::OpConvertFToS, 0, Compiler::TypeInt, {2}},
		// a float out of the integer range converts to an undefined value: not folded
		{f64s({-1.0}), Spirv::OpConvertFToU, 0, 0, {}},
		{i64s({-3}), Spirv::OpConvertSToF, 0, Compiler::TypeFloat, {bits(-3.0)}},
		{u64s({~0ull}), Spirv::OpConvertUToF, 0, Compiler::TypeFloat, {bits(18446744073709551616.0)}},
		{f64s({3.141592653589793}), Spirv::OpExtInst, 12, Compiler::TypeFloat, {bits(180.00000210110483)}},
		{f64s({180.0}), Spirv::OpExtInst, 11, Compiler::TypeFloat, {bits(3.1415926292538643)}},
		{f64s({0.0, -2.0}), Spirv::OpExtInst, 69, Compiler::TypeFloat, {bits(0.0), bits(-1.0)}},
		{f64s({-1.5, 2.5}), Spirv::OpExtInst, 8, Compiler::TypeFloat, {bits(-2.0), bits(2.0)}},
		{f64s({1e300}), Spirv::OpExtInst, 9, Compiler::TypeFloat, {bits(1e300)}},
		{f64s({-2.0}), Spirv::OpExtInst, 4, Compiler::TypeFloat, {bits(2.0)}},
		{i64s({INT64_MIN, -4}), Spirv::OpExtInst, 5, Compiler::TypeInt, {(uint64_t)INT64_MIN, 4}},
		{f64s({4.0}), Spirv::OpExtInst, 32, Compiler::TypeFloat, {bits(0.5)}},
		{f64s({9.0}), Spirv::OpExtInst, 31, Compiler::TypeFloat, {bits(3.0)}},
		{f64s({0.0}), Spirv::OpExtInst, 14, Compiler::TypeFloat, {bits(1.0)}},
		// round halves away from zero, roundEven to even; sign, fract, trunc
		{f64s({2.5, -2.5, 1.25}), Spirv::OpExtInst, 1, Compiler::TypeFloat, {bits(3.0), bits(-3.0), bits(1.0)}},
		{f64s({2.5, -3.5}), Spirv::OpExtInst, 2, Compiler::TypeFloat, {bits(2.0), bits(-4.0)}},
		{f64s({-2.75}), Spirv::OpExtInst, 3, Compiler::TypeFloat, {bits(-2.0)}},
		{f64s({1.5, -0.25, 0.0}), Spirv::OpExtInst, 6, Compiler::TypeFloat, {bits(1.0), bits(-1.0), bits(0.0)}},
		{i64s({-7, 0, 3}), Spirv::OpExtInst, 7, Compiler::TypeInt, {(uint64_t)-1, 0, 1}},
		{f64s({-1.25, 2.5}), Spirv::OpExtInst, 10, Compiler::TypeFloat, {bits(0.75), bits(0.5)}},
		{f64s({INFINITY}), Spirv::OpExtInst, 10, 0, {}},
		// outside the domain GLSL defines, the machine's result stands: not folded
		{f64s({-1.0}), Spirv::OpExtInst, 31, 0, {}},
		{f64s({0.0}), Spirv::OpExtInst, 32, 0, {}},
		{f64s({0.0}), Spirv::OpExtInst, 28, 0, {}},
		{f64s({-2.0}), Spirv::OpExtInst, 30, 0, {}},
		{f64s({2.0}), Spirv::OpExtInst, 16, 0, {}},
		{f64s({0.5}), Spirv::OpExtInst, 23, 0, {}},
		{f64s({1.0}), Spirv::OpExtInst, 24, 0, {}},
		{f64s({0.0, 0.0}), Spirv::OpExtInst, 69, 0, {}},
		{f64s({1.0}), Spirv::OpExtInst, 47, 0, {}}, // IMix is no instruction of GLSL's
		{f64s({1.0}), Spirv::OpFNegate, 0, Compiler::TypeFloat, {bits(-1.0)}},
		{i64s({5}), Spirv::OpSNegate, 0, Compiler::TypeInt, {(uint64_t)-5}},
		{u64s({0, 3}), Spirv::OpLogicalNot, 0, Compiler::TypeUint, {1, 0}},
		{u64s({0}), Spirv::OpNot, 0, Compiler::TypeUint, {~0ull}},
		// a float cast to bits gives its bits as an integer
		{f64s({1.0}), Spirv::OpBitcast, 0, Compiler::TypeUint, {bits(1.0)}},
		{i64s({-7}), Spirv::OpSConvert, 0, Compiler::TypeInt, {(uint64_t)-7}},
		{f64s({1.0}), 184, 0, 0, {}}, // comparisons are never folded
		{i64s({1}), Spirv::OpIAdd, 0, 0, {}},
	};
	for (const auto &row : rows) {
		SCOPED_TRACE(std::to_string(row.opcode) + " " + std::to_string(row.extended));
		Value ret = row.operand.unary_operation(row.opcode, row.extended);
		if (row.kind == 0) {
			EXPECT_EQ(ret.count, 0u);
			EXPECT_EQ(ret.flags, 0u);
			continue;
		}
		EXPECT_EQ(ret.flags & Compiler::TypeKindMask, row.kind);
		ASSERT_EQ(ret.count, row.components.size());
		for (uint32_t i = 0; i < ret.count; i++) EXPECT_EQ(ret.components[i], row.components[i]) << i;
	}
	Value unit = f64s({3.0, 4.0}).unary_operation(Spirv::OpExtInst, 69);
	EXPECT_DOUBLE_EQ(unit.get_f64(0), 0.6);
	EXPECT_DOUBLE_EQ(unit.get_f64(1), 0.8);
}

// two-operand GLSL.std.450 folding: pow, atan and min/max, and what is left
// to the machine (negative bases, 0 to a non-positive power, atan(0, 0), NaN)
TEST(CompilerConstants, BinaryExtendedFolding) {
	struct {
		double a, b;
		uint32_t extended;
		bool folded;
		double result;
	} rows[] = {
		{2.0, 3.0, 26, true, 8.0},
		{0.0, 2.0, 26, true, 0.0},
		{-2.0, 2.0, 26, false, 0.0},
		{0.0, 0.0, 26, false, 0.0},
		{0.0, -1.0, 26, false, 0.0},
		{1.0, 1.0, 25, true, std::atan2(1.0, 1.0)},
		{0.0, 0.0, 25, false, 0.0},
		{1.0, 2.0, 37, true, 1.0},
		{1.0, 2.0, 40, true, 2.0},
		{NAN, 2.0, 37, false, 0.0},
	};
	for (const auto &row : rows) {
		SCOPED_TRACE(std::to_string(row.extended) + " " + std::to_string(row.a) + " " + std::to_string(row.b));
		Value ret = f64s({row.a}).binary_operation(f64s({row.b}), Spirv::OpExtInst, row.extended);
		if (!row.folded) {
			EXPECT_EQ(ret.count, 0u);
			continue;
		}
		ASSERT_EQ(ret.count, 1u);
		EXPECT_DOUBLE_EQ(ret.get_f64(0), row.result);
	}
}

TEST(CompilerConstants, Negate) {
	EXPECT_EQ(f64s({0.0}).negate().components[0], bits(-0.0));
	EXPECT_EQ(i64s({3, -4}).negate().get_i64(1), 4);
	Value flag;
	flag.set_bool(0, true);
	flag.count = 1;
	EXPECT_EQ(flag.negate().count, 0u);
	EXPECT_EQ(Value(1).negate().count, 0u);
}

TEST(CompilerConstants, AppendConverts) {
	uint32_t f32 = Compiler::get_type_flags(String("f32"));
	uint32_t u32 = Compiler::get_type_flags(String("u32"));
	uint32_t i32 = Compiler::get_type_flags(String("i32"));
	uint32_t b32 = Compiler::get_type_flags(String("b32"));
	struct {
		uint32_t receiver;
		Value source;
		std::vector<uint64_t> components;
	} rows[] = {
		{f32, u64s({~0ull}), {bits(18446744073709551616.0)}},
		{f32, i64s({-2}), {bits(-2.0)}},
		{u32, f64s({3.9, -1.0}), {3, ~0ull}},
		{i32, f64s({-3.9}), {(uint64_t)-3}},
		{b32, f64s({0.5, 0.0}), {1, 0}},
		{b32, i64s({0, -9}), {0, 1}},
		{0, f64s({1.0}), {bits(1.0)}},
	};
	for (const auto &row : rows) {
		Value v(row.receiver, 0);
		ASSERT_TRUE(v.append(row.source));
		ASSERT_EQ(v.count, row.components.size());
		for (uint32_t i = 0; i < v.count; i++) EXPECT_EQ(v.components[i], row.components[i]) << row.receiver << " " << i;
	}
	// a one-component source broadcasts; a range starts where it is asked
	Value v(i32, 0);
	ASSERT_TRUE(v.append(i64s({7}), 0, 3));
	EXPECT_EQ(v.count, 3u);
	EXPECT_EQ(v.get_i64(2), 7);
	Value w(i32, 0);
	ASSERT_TRUE(w.append(i64s({1, 2, 3, 4}), 2));
	EXPECT_EQ(w.count, 2u);
	EXPECT_EQ(w.get_i64(0), 3);
	// never more than 16 components
	Value full(i32, 0);
	EXPECT_TRUE(full.append(i64s({1}), 0, 16));
	EXPECT_FALSE(full.append(i64s({1})));
	EXPECT_EQ(full.count, 16u);
}

TEST(CompilerConstants, ScalarWords) {
	struct {
		const char *type;
		Value value;
		uint32_t opcode;
		std::vector<uint32_t> literal;
		uint64_t held; // the bits the constant map keeps
	} rows[] = {
		{"f32", f64s({1.5}), Spirv::OpConstant, {0x3fc00000u}, bits(1.5)},
		{"f32", f64s({0.1}), Spirv::OpConstant, {0x3dcccccdu}, bits((double)0.1f)},
		{"f16", f64s({1.5}), Spirv::OpConstant, {0x3e00u}, bits(1.5)},
		{"f64", f64s({1.5}), Spirv::OpConstant, {0, 0x3ff80000u}, bits(1.5)},
		{"u32", u64s({0x100000005ull}), Spirv::OpConstant, {5}, 5},
		{"i32", u64s({0xffffffffull}), Spirv::OpConstant, {0xffffffffu}, ~0ull},
		{"i16", u64s({0x18000}), Spirv::OpConstant, {0xffff8000u}, (uint64_t)-32768},
		{"u16", i64s({-1}), Spirv::OpConstant, {0xffffu}, 0xffff},
		{"u64", u64s({0x123456789ull}), Spirv::OpConstant, {0x23456789u, 1}, 0x123456789ull},
		{"f32", u64s({3}), Spirv::OpConstant, {0x40400000u}, bits(3.0)},
		{"i32", f64s({-2.5}), Spirv::OpConstant, {0xfffffffeu}, (uint64_t)-2},
		{"b32", f64s({0.5}), Spirv::OpConstantTrue, {}, 1},
		{"b32", u64s({0}), Spirv::OpConstantFalse, {}, 0},
	};
	Fixture f;
	Compiler &c = f.compiler;
	for (const auto &row : rows) {
		SCOPED_TRACE(row.type);
		uint32_t before = c.words.size();
		uint32_t id = c.add_constant(String(row.type), row.value);
		uint32_t type = c.add_type(row.type);
		std::vector<Instruction> list = decode(c.words.get() + before, c.words.size() - before);
		ASSERT_FALSE(list.empty());
		EXPECT_EQ(list.back().opcode, row.opcode);
		std::vector<uint32_t> operands = {type, id};
		operands.insert(operands.end(), row.literal.begin(), row.literal.end());
		EXPECT_EQ(list.back().operands, operands);
		const Value *held = c.constants.get(id);
		ASSERT_NE(held, nullptr);
		EXPECT_EQ(held->count, 1u);
		EXPECT_EQ(held->components[0], row.held);
		EXPECT_EQ(held->flags, c.get_target_flags(type));
		EXPECT_EQ(c.get_target_type(id), type);
		// the same value again gives the same constant
		EXPECT_EQ(c.add_constant(String(row.type), row.value), id);
	}
	// the one-value forms take the bits as they are
	EXPECT_EQ(c.add_constant("u32", 5), c.add_constant(String("u32"), u64s({5})));
	EXPECT_EQ(c.add_constant("f32", bits(1.5)), c.add_constant(String("f32"), f64s({1.5})));
	EXPECT_EQ(compiler_test::validate(c), "");
}

TEST(CompilerConstants, Composites) {
	Fixture f;
	Compiler &c = f.compiler;
	uint32_t vec = c.add_constant(String("f32v4"), f64s({1.0}));
	std::vector<Instruction> list = decode(c.words);
	// f32, f32v4, the f32 constant, the composite of it four times
	ASSERT_EQ(list.size(), 4u);
	uint32_t component = list[2].operands[1];
	EXPECT_EQ(list[3].opcode, Spirv::OpConstantComposite);
	EXPECT_EQ(list[3].operands, (std::vector<uint32_t>{c.add_type("f32v4"), vec, component, component, component, component}));
	EXPECT_EQ(c.constants.get(vec)->count, 4u);
	EXPECT_EQ(c.add_constant(String("f32v4"), f64s({1.0})), vec);
	uint32_t spelled = c.add_constant(String("f32v4"), f64s({1.0, 1.0, 1.0, 1.0}));
	EXPECT_NE(spelled, vec);

	uint32_t matrix = c.add_constant(String("f32v2m2"), f64s({2.0}));
	EXPECT_EQ(c.constants.get(matrix)->count, 4u);
	uint32_t columns = c.add_constant(String("f32v2m2"), f64s({1.0, 2.0, 3.0, 4.0}));
	std::vector<Instruction> made_list = decode(c.words);
	const Instruction *made = compiler_test::find_result(made_list, columns, true);
	ASSERT_NE(made, nullptr);
	ASSERT_EQ(made->operands.size(), 4u);
	EXPECT_EQ(made->operands[2], c.add_constant(String("f32v2"), f64s({1.0, 2.0})));
	EXPECT_EQ(made->operands[3], c.add_constant(String("f32v2"), f64s({3.0, 4.0})));

	uint32_t flags = c.add_constant(String("b32v3"), u64s({1, 0, 1}));
	EXPECT_EQ(c.constants.get(flags)->get_bool(1), false);
	uint32_t array = c.add_constant(String("i32[3]"), i64s({4, 5, 6}));
	EXPECT_EQ(c.get_target_type(array), c.add_type("i32", 3));
	EXPECT_EQ(c.constants.get(array)->flags & Compiler::TypeRuntimeArray, (uint32_t)Compiler::TypeRuntimeArray);
	Value sixteen;
	for (uint32_t i = 0; i < 16; i++) sixteen.set_f64(sixteen.count++, i);
	c.add_constant(String("f32[16]"), sixteen);
	c.add_constant(String("f32v4m4"), sixteen);
	EXPECT_EQ(compiler_test::validate(c), "");
}

TEST(CompilerConstants, RefusedComposites) {
	Fixture f;
	Compiler &c = f.compiler;
	Value sixteen;
	for (uint32_t i = 0; i < 16; i++) sixteen.set_f64(sixteen.count++, i);
	struct {
		const char *type;
		Value value;
		const char *message;
	} rows[] = {
		{"f32v3", f64s({1.0, 2.0}), "not enough arguments for f32v3\n"},
		{"f32v3", f64s({1.0, 2.0, 3.0, 4.0}), "too many arguments for f32v3\n"},
		{"f32v2m2", f64s({1.0, 2.0}), "not enough arguments for f32v2m2\n"},
		{"f32[3]", f64s({1.0, 2.0}), "not enough arguments for f32[3]\n"},
		{"f32[2]", f64s({1.0, 2.0, 3.0}), "too many arguments for f32[2]\n"},
		// an array longer than a Value is refused, not cut short
		{"f32[20]", sixteen, "not enough arguments for f32[20]\n"},
		{"f32[]", f64s({1.0}), "can't add f32[]x1 constant\n"},
		// arrays of vectors take every component of every element
		{"f32v2[2]", f64s({1.0, 2.0}), "not enough arguments for f32v2[2]\n"},
		{"f32v2[2]", f64s({1.0, 2.0, 3.0, 4.0, 5.0}), "too many arguments for f32v2[2]\n"},
		{"f32", f64s({1.0, 2.0}), "can't add f32x2 constant\n"},
		{"sampler", f64s({1.0}), "can't add samplerx1 constant\n"},
	};
	for (const auto &row : rows) {
		EXPECT_EQ(thrown([&] { c.add_constant(String(row.type), row.value); }), row.message) << row.type;
	}
}

TEST(CompilerConstants, UnaryEmission) {
	Fixture f;
	Compiler &c = f.compiler;
	uint32_t type = c.add_type("i32");
	uint32_t constant = c.add_constant(String("i32"), i64s({5}));
	uint32_t folded = c.add_unary_operation(f.function, Spirv::OpSNegate, type, constant);
	EXPECT_EQ(f.function.code.size(), 0u);
	EXPECT_EQ(folded, c.add_constant(String("i32"), i64s({-5})));
	uint32_t value = compiler_test::add_undef(c, type);
	uint32_t emitted = c.add_unary_operation(f.function, Spirv::OpSNegate, type, value);
	std::vector<Instruction> code = decode(f.function.code);
	ASSERT_EQ(code.size(), 1u);
	EXPECT_EQ(code[0].opcode, Spirv::OpSNegate);
	EXPECT_EQ(code[0].operands, (std::vector<uint32_t>{type, emitted, value}));
	EXPECT_EQ(c.get_target_type(emitted), type);
	// a logical not of a constant folds; an instruction that does not fold is emitted
	uint32_t b32 = c.add_type("b32");
	EXPECT_EQ(c.add_unary_operation(f.function, Spirv::OpLogicalNot, b32, c.add_constant("b32", 1)), c.add_constant("b32", 0));
	EXPECT_EQ(decode(f.function.code).size(), 1u);
	c.add_unary_operation(f.function, 156, b32, c.add_constant("f32", 0)); // OpIsNan
	EXPECT_EQ(decode(f.function.code).size(), 2u);
	EXPECT_EQ(compiler_test::validate(c, &f.function), "");
}

} // namespace

// Named constants of every form an initialiser takes, global and local:
// each that compiles is a compile-time value (it sizes an array) in a module
// spirv-val accepts; what the module can't hold fails by name.
TEST(CompilerConstants, NamedConstantsOfEveryForm) {
	const char *const header =
		"#version 450\n"
		"layout(local_size_x = 4) in;\n"
		"layout(std430, binding = 0) buffer Out { float o[]; };\n"
		"const vec3 V = vec3(1.0, 2.0, 3.0);\n"
		"const float A[3] = float[3](4.0, 5.0, 6.0);\n";
	struct {
		const char *globals;
		const char *body;
		const char *error; // empty: compiles and validates
	} rows[] = {
		{"const float X = V.y + A[2] + float(A.length());", "float a[int(X)]; a[10] = X; o[0] = a[10];", ""},
		{"const vec2 W = vec2(V.zx) + V.yy;", "float a[int(W.x)]; a[4] = W.y; o[0] = a[4];", ""},
		{"const bool B = V.x < V.y && !(V.z == 2.0) || false;", "float a[B ? 2 : 3]; a[1] = 1.0; o[0] = a[1];", ""},
		{"const float K = clamp(V.z, 0.0, 2.5) + dot(V, V) + length(V.xy * 0.0) + floor(0.5);", "float a[int(K)]; a[15] = K; o[0] = a[15];", ""},
		{"const vec2 P = mat2(1.0, 2.0, 3.0, 4.0) * vec2(1.0, 1.0);", "float a[int(P.y)]; a[5] = P.x; o[0] = a[5];", ""},
		{"", "const float L = smoothstep(0.0, 4.0, 2.0) * 4.0 + max(V.x, V[1]); float a[int(L)]; a[3] = L; o[0] = a[3];", ""},
		// elements of constant arrays with built-in calls, in either order; their lengths and elements as sizes
		{"const int I[4] = int[4](1, 2, 3, 4); const float E = I[2] * 1.0 + dot(V, V) + A[0]; const float G = dot(V, V) + I[I[0]];"
			"const mat2 M[2] = mat2[2](mat2(1.0), mat2(5.0, 6.0, 7.0, 8.0)); const float H = M[1][1].x + dot(V.xy, M[1][0]); int n[I.length()]; float m[I[1]];",
			"float a[int(E)]; float b[int(G)]; float c[int(H)]; a[20] = E; b[15] = G; c[23] = H; o[0] = a[20] + b[15] + c[23] + float(n.length() + m.length());", ""},
		{"const int I[4] = int[4](1, 2, 3, 4);",
			"const float F = dot(V, V) + A[1] + float(I[3]); float a[int(F)]; a[22] = F; int i = int(gl_LocalInvocationID.x); o[i] = a[22] + A[i] + float(I[i]) + F;", ""},
		// comparisons and logical operators inside an initialiser, converted or selecting
		{"const int C = int(1 < 2) + int(1 == 1); const bool NB = false; const int N = int(!NB); const float F = float(V.x > 0.5);",
			"float a[C + N + int(F)]; a[3] = F; o[0] = a[3];", ""},
		{"const bool L = A[0] < A[1]; const float T = A[0] < 5.0 ? 1.0 : 0.0; const float Y = (L ? V.xy : vec2(0)).y;",
			"float a[int(T + Y) + (L ? 1 : 0)]; a[3] = Y; o[0] = a[3];", ""},
		{"const float AC[2] = float[2](V.x > 0.5 ? 1.0 : 2.0, V.y); const bool BC[] = bool[](A[0] < A[1], V.z == 2.0);",
			"float a[int(AC[0] + AC[1]) + BC.length() + (BC[0] ? 1 : 0)]; int i = int(gl_LocalInvocationID.x) & 1; a[5] = AC[i]; o[0] = a[5] + float(BC[i]);", ""},
		{"", "const int K = int(V.y >= 2.0) * 3 + int(!(V.x != 1.0)); const float Z = (K > 3 ? V.zx : V.xy).x; float a[K + int(Z)]; a[6] = Z; o[0] = a[6];", ""},
		// an array without a size takes the length of its initialiser, which must be an array
		{"const float U[] = float[](1.0, 2.0, 5.0); const vec2 W2[] = vec2[](vec2(1.0), vec2(2.0, 3.0), vec2(4.0), vec2(5.0));",
			"float a[U.length() + W2.length() + int(U[2])]; int i = int(gl_LocalInvocationID.x); a[11] = U[i] + W2[i].y; o[0] = a[11];", ""},
		{"const float U[] = 1.0;", "o[0] = U[0];", "can't initialize \"U\" constant"},
		// the initialiser of an array has the array's element type and, when given, its length
		{"const int U[] = int[3](1, 2);", "o[0] = float(U[0]);", "not enough arguments for i32[3]"},
		{"const int U[] = float[](1.5, 2.5);", "o[0] = float(U[0]);", "can't initialize \"U\" constant"},
		{"const uint U[] = int[](-1, 2);", "o[0] = float(U[0]);", "can't initialize \"U\" constant"},
		{"const int U[2] = float[](1.5, 2.5);", "o[0] = float(U[0]);", "can't initialize \"U\" constant"},
		{"const int U[3] = int[](1, 2);", "o[0] = float(U[0]);", "can't initialize \"U\" constant"},
		{"const int U[] = int[2](ivec2(1, 2));", "o[0] = float(U[0]);", "can't assign i32v2 to i32"},
		// bool vectors by name, in constant expressions, sizes and code
		{"const bvec2 Q = bvec2(false, true); const bvec2 Z = bvec2(ivec2(0, 7)); const bool X = all(Q); const bvec3 T = bvec3(Q, true);"
			"const int S = T == bvec3(false, true, true) ? 7 : 8;",
			"bvec2 w = Q; const bvec2 L = Q; float a[S + int(Z.y) + int(X) + int(L.y)]; a[8] = float(Q.y); o[0] = a[8] + float(w.x) + float(not(Q).x);", ""},
		{"shared float s[gl_WorkGroupSize.x];", "s[3] = 1.0; o[0] = s[3] + float(s.length());", ""},
		// no literal writes an infinity or a NaN: such constants are held as constants
		{"const float INF = 1.0 / 0.0; const vec2 Z = vec2(INF, 0.0 / 0.0);", "const float I = -INF; o[0] = INF + Z.y + I;", ""},
		{"const double D = 1.0lf / 3.0lf;", "o[0] = float(D);", ""},
		{"layout(constant_id = 0) const int N = 4;", "float a[N]; a[0] = 1.0; o[0] = a[0];", "arrays sized by specialization constants are not supported: \"N\""},
		{"layout(constant_id = 0) const int N = 4; const int M = N * 2;", "o[0] = float(M);", "constants computed from specialization constants are not supported: \"M\""},
		{"const float X = o[0];", "o[1] = X;", "\"o\" is not a constant variable"},
		{"const int I[4] = int[4](1, 2, 3, 4); const float X = I[4] + dot(V, V);", "o[1] = X;", "index 4 is out of bounds"},
		{"const int I[4] = int[4](1, 2, 3, 4); const float X = I[int(o[0])] + dot(V, V);", "o[1] = X;", "\"o\" is not a constant variable"},
		{"const float X = refract(V, V, 1.0).x;", "o[1] = X;", "unknown function \"refract(V, V, 1.0)\""},
		{"const float AR[2] = float[2](1.0 / 0.0, 1.0);", "o[0] = AR[0];", "constant arrays holding an infinity or a NaN are not supported: \"AR\""},
	};
	for (const auto &row : rows) {
		SCOPED_TRACE(std::string(row.globals) + " " + row.body);
		std::string source = std::string(header) + row.globals + "\nvoid main() { " + row.body + " }\n";
		compiler_test::Compiled compiled = compiler_test::compile(6, source);
		if (*row.error) {
			EXPECT_FALSE(compiled.ok);
			EXPECT_NE(compiled.log.find(row.error), std::string::npos) << compiled.log;
			continue;
		}
		ASSERT_TRUE(compiled.ok) << compiled.log;
		EXPECT_EQ(spirv_test::spirv_val(compiled.words, "vulkan1.0"), "");
	}
}
