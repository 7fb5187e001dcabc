// Folding of operations on constants, checked against what the instruction
// gives when it runs: a small reference per opcode, computed in C++ at the
// operands' own width as the instruction set defines it, over the edge values
// of every width. An operation whose run-time result is undefined for its
// operands must not fold: the instruction is emitted instead. Also the
// identity and absorbing shortcuts, splats, shuffles, bit casts, literals and
// the text of constants.
#include "compiler_fixtures.h"

#include "shader/ShaderSpirvNumbers.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <type_traits>

using Vexa::Array;
using Vexa::Compiler;
using Vexa::String;
using Vexa::Value;
using compiler_test::decode;
using compiler_test::Fixture;
using compiler_test::Instruction;

namespace {

namespace Spirv = Vexa::Spirv;
using namespace Vexa::Spirv;

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

// The run-time result of an integer instruction on operands of the unsigned
// type U (the bits as they are); false when the instruction leaves it
// undefined. Signed operations read the bits as the signed type of the width.
template <class U>
bool integer_reference(uint32_t opcode, U a, U b, U &result) {
	using S = typename std::make_signed<U>::type;
	constexpr uint32_t width = sizeof(U) * 8;
	S sa = static_cast<S>(a);
	S sb = static_cast<S>(b);
	bool overflow = sb == -1 && sa == std::numeric_limits<S>::min();
	switch (opcode) {
	case OpIAdd: result = static_cast<U>(uint64_t(a) + uint64_t(b)); return true;
	case OpISub: result = static_cast<U>(uint64_t(a) - uint64_t(b)); return true;
	case OpIMul: result = static_cast<U>(uint64_t(a) * uint64_t(b)); return true;
	case OpUDiv:
		if (b == 0) return false;
		result = static_cast<U>(a / b);
		return true;
	case OpUMod:
		if (b == 0) return false;
		result = static_cast<U>(a % b);
		return true;
	// signed division rounds toward zero; the remainder takes the sign of the
	// dividend (SRem) or of the divisor (SMod)
	case OpSDiv:
		if (sb == 0 || overflow) return false;
		result = static_cast<U>(int64_t(sa) / int64_t(sb));
		return true;
	case OpSRem:
		if (sb == 0 || overflow) return false;
		result = static_cast<U>(int64_t(sa) % int64_t(sb));
		return true;
	case OpSMod: {
		if (sb == 0 || overflow) return false;
		int64_t r = int64_t(sa) % int64_t(sb);
		if (r != 0 && (r < 0) != (sb < 0)) r += sb;
		result = static_cast<U>(r);
		return true;
	}
	// a shift by the width or more is undefined; the count is unsigned
	case OpShiftLeftLogical:
		if (b >= width) return false;
		result = static_cast<U>(uint64_t(a) << b);
		return true;
	case OpShiftRightLogical:
		if (b >= width) return false;
		result = static_cast<U>(a >> b);
		return true;
	case OpShiftRightArithmetic:
		if (b >= width) return false;
		result = static_cast<U>(int64_t(sa) >> b);
		return true;
	case OpBitwiseOr: result = a | b; return true;
	case OpBitwiseXor: result = a ^ b; return true;
	case OpBitwiseAnd: result = a & b; return true;
	default: return false;
	}
}

const uint32_t IntegerOpcodes[] = {OpIAdd, OpISub, OpIMul, OpUDiv, OpUMod, OpSDiv, OpSRem, OpSMod, OpShiftLeftLogical, OpShiftRightLogical, OpShiftRightArithmetic, OpBitwiseOr, OpBitwiseXor, OpBitwiseAnd};

template <class U>
std::vector<U> integer_edges() {
	constexpr uint32_t width = sizeof(U) * 8;
	U min = static_cast<U>(U(1) << (width - 1));
	return {U(0), U(1), U(2), U(7), static_cast<U>(~U(0)), static_cast<U>(~U(1)), static_cast<U>(~U(6)), min, static_cast<U>(min - 1), static_cast<U>(~U(0) / 3), U(width - 1), U(width), U(width + 1)};
}

// every integer opcode over every pair of edge values, in the signed and the
// unsigned type of the width: a constant equal to the reference, or the
// instruction when the reference is undefined
template <class U>
void check_integer_width(const char *signed_name, const char *unsigned_name) {
	constexpr uint32_t width = sizeof(U) * 8;
	for (const char *name : {signed_name, unsigned_name}) {
		bool is_signed = name == signed_name;
		Fixture f;
		Compiler &c = f.compiler;
		uint32_t type = c.add_type(name);
		std::vector<U> edges = integer_edges<U>();
		for (uint32_t opcode : IntegerOpcodes) {
			// an unsigned division has an unsigned result type
			if (is_signed && (opcode == OpUDiv || opcode == OpUMod)) continue;
			for (U a : edges) {
				for (U b : edges) {
					SCOPED_TRACE(std::string(name) + " opcode " + std::to_string(opcode) + " a " + std::to_string(uint64_t(a)) + " b " + std::to_string(uint64_t(b)));
					U expected = 0;
					bool defined = integer_reference<U>(opcode, a, b, expected);
					uint32_t ia = c.add_constant(name, uint64_t(a));
					uint32_t ib = c.add_constant(name, uint64_t(b));
					// the Value fold alone tells whether it folded
					Value folded = c.constants.get(ia)->binary_operation(*c.constants.get(ib), opcode, 0);
					EXPECT_EQ(folded.count != 0, defined);
					uint32_t size = f.function.code.size();
					uint32_t id = c.add_binary_operation(f.function, opcode, type, ia, ib);
					const Value *value = c.constants.get(id);
					if (!defined) {
						EXPECT_EQ(value, nullptr);
						std::vector<Instruction> code = decode(f.function.code.get() + size, f.function.code.size() - size);
						ASSERT_EQ(code.size(), 1u);
						EXPECT_EQ(code[0].opcode, opcode);
						EXPECT_EQ(code[0].operands, (std::vector<uint32_t>{type, id, ia, ib}));
						continue;
					}
					ASSERT_NE(value, nullptr);
					EXPECT_EQ(f.function.code.size(), size);
					// held as the module holds it: sign- or zero-extended from the width
					if (is_signed) {
						EXPECT_EQ(value->get_i64(0), int64_t(static_cast<typename std::make_signed<U>::type>(expected)));
					} else {
						EXPECT_EQ(value->get_u64(0), uint64_t(expected));
					}
					// and the Value fold itself is reduced to the width
					EXPECT_EQ(folded.components[0] & (~0ull >> (64 - width)), uint64_t(expected));
					if (::testing::Test::HasFailure()) return;
				}
			}
		}
		EXPECT_EQ(compiler_test::validate(c, &f.function), "");
	}
}

TEST(CompilerFolding, IntegerFoldsMatchRunTime) {
	check_integer_width<uint16_t>("i16", "u16");
	check_integer_width<uint32_t>("i32", "u32");
	check_integer_width<uint64_t>("i64", "u64");
}

// The run-time result of a float instruction in the float type T; false
// where the instruction leaves it undefined (a remainder by zero or of an
// infinity; the instruction set derives it from x - y * trunc(x / y)).
template <class T>
bool float_reference(uint32_t opcode, T a, T b, T &result) {
	switch (opcode) {
	case OpFAdd: result = a + b; return true;
	case OpFSub: result = a - b; return true;
	case OpFMul: result = a * b; return true;
	case OpFDiv: result = a / b; return true;
	case OpFRem:
	case OpFMod: {
		if (b == T(0) || !std::isfinite(double(a)) || !std::isfinite(double(b))) return false;
		// the remainder with the sign of the dividend (FRem) or of the divisor (FMod)
		T r = static_cast<T>(std::fmod(double(a), double(b)));
		if (opcode == OpFMod) {
			if (r == T(0)) r = static_cast<T>(std::copysign(0.0, double(b)));
			else if (std::signbit(double(r)) != std::signbit(double(b))) r = static_cast<T>(r + b);
		}
		result = r;
		return true;
	}
	default: return false;
	}
}

template <class T>
std::vector<T> float_edges() {
	T max = std::numeric_limits<T>::max();
	T denormal = std::numeric_limits<T>::denorm_min();
	T inf = std::numeric_limits<T>::infinity();
	return {T(0.0), T(-0.0), T(1.0), T(-1.0), T(1.5), T(3.0), T(-7.0), T(0.1), max, static_cast<T>(-max), denormal, static_cast<T>(denormal * T(3)), std::numeric_limits<T>::min(), inf, static_cast<T>(-inf), std::numeric_limits<T>::quiet_NaN()};
}

template <class T>
bool same_float(double folded, T expected) {
	T value = static_cast<T>(folded);
	if (std::isnan(double(expected))) return std::isnan(folded);
	return std::memcmp(&value, &expected, sizeof(T)) == 0 && double(value) == folded;
}

template <class T>
void check_float_width(const char *name) {
	Fixture f;
	Compiler &c = f.compiler;
	uint32_t type = c.add_type(name);
	for (uint32_t opcode : {OpFAdd, OpFSub, OpFMul, OpFDiv, OpFRem, OpFMod}) {
		for (T a : float_edges<T>()) {
			for (T b : float_edges<T>()) {
				SCOPED_TRACE(std::string(name) + " opcode " + std::to_string(opcode) + " a " + std::to_string(double(a)) + " b " + std::to_string(double(b)));
				T expected = 0;
				bool defined = float_reference<T>(opcode, a, b, expected);
				Value va(1), vb(1);
				va.set_f64(0, double(a));
				vb.set_f64(0, double(b));
				uint32_t ia = c.add_constant(name, va);
				uint32_t ib = c.add_constant(name, vb);
				Value folded = c.constants.get(ia)->binary_operation(*c.constants.get(ib), opcode, 0);
				EXPECT_EQ(folded.count != 0, defined);
				uint32_t id = c.add_binary_operation(f.function, opcode, type, ia, ib);
				const Value *value = c.constants.get(id);
				if (!defined) {
					EXPECT_EQ(value, nullptr);
					continue;
				}
				ASSERT_NE(value, nullptr);
				EXPECT_TRUE(same_float<T>(value->get_f64(0), expected)) << value->get_f64(0) << " " << double(expected);
				// the Value fold is rounded to the width already
				EXPECT_TRUE(same_float<T>(folded.get_f64(0), expected)) << folded.get_f64(0);
				if (::testing::Test::HasFailure()) return;
			}
		}
	}
	EXPECT_EQ(compiler_test::validate(c, &f.function), "");
}

TEST(CompilerFolding, FloatFoldsMatchRunTime) {
	check_float_width<_Float16>("f16");
	check_float_width<float>("f32");
	check_float_width<double>("f64");
}

TEST(CompilerFolding, ValueRows) {
	auto value = [](uint32_t flags, std::initializer_list<double> list) {
		Value ret(flags, 0);
		for (double d : list) {
			if (flags & Compiler::TypeFloat) ret.set_f64(ret.count++, d);
			else ret.set_i64(ret.count++, static_cast<int64_t>(d));
		}
		return ret;
	};
	const uint32_t I32 = Compiler::TypeInt | Compiler::Type32 | Compiler::TypeScalar;
	const uint32_t U32 = Compiler::TypeUint | Compiler::Type32 | Compiler::TypeScalar;
	const uint32_t F64 = Compiler::TypeFloat | Compiler::Type64;
	const uint32_t V2 = F64 | Compiler::TypeComposite | Compiler::TypeVector2;
	const uint32_t V3 = F64 | Compiler::TypeComposite | Compiler::TypeVector3;
	const uint32_t M2 = V2 | Compiler::TypeMatrix2;
	const uint32_t M3x2 = V2 | Compiler::TypeMatrix3; // three columns of two rows
	const uint32_t M2x3 = V3 | Compiler::TypeMatrix2;
	struct {
		Value a;
		Value b;
		uint32_t opcode;
		uint32_t extended;
		std::vector<double> expected; // empty: not folded
		Value c = Value();            // the third operand of clamp, mix and smoothstep
	} rows[] = {
		{value(I32, {7}), value(I32, {2}), OpSDiv, 0, {3}},
		{value(I32, {-7}), value(I32, {2}), OpSDiv, 0, {-3}},
		{value(I32, {-7}), value(I32, {2}), OpSMod, 0, {1}},
		{value(I32, {7}), value(I32, {-2}), OpSMod, 0, {-1}},
		{value(I32, {-7}), value(I32, {2}), OpSRem, 0, {-1}},
		{value(F64, {-7}), value(F64, {2}), OpFMod, 0, {1}},
		{value(F64, {-7}), value(F64, {2}), OpFRem, 0, {-1}},
		{value(I32, {2}), value(I32, {1, 2, 3, 4}), OpIAdd, 0, {3, 4, 5, 6}},
		{value(F64, {1, 2, 3}), value(F64, {2}), OpVectorTimesScalar, 0, {2, 4, 6}},
		// min and max of a NaN are the machine's: no fold
		{value(F64, {1}), value(F64, {NAN}), 12, 37, {}},
		{value(F64, {1}), value(F64, {NAN}), 12, 40, {}},
		{value(F64, {3}), value(F64, {-2}), 12, 37, {-2}},
		{value(F64, {2}), value(F64, {10}), 12, 26, {1024}},
		// comparisons give bools; with a NaN the ordered ones are false, the unordered true
		{value(F64, {1}), value(F64, {2}), OpFOrdLessThan, 0, {1}},
		{value(F64, {NAN, 1}), value(F64, {NAN, 1}), OpFOrdNotEqual, 0, {0, 0}},
		{value(F64, {NAN, 1}), value(F64, {NAN, 1}), OpFUnordNotEqual, 0, {1, 0}},
		{value(F64, {NAN, 1}), value(F64, {1, 1}), OpFOrdEqual, 0, {0, 1}},
		{value(F64, {NAN, 2}), value(F64, {1}), OpFUnordLessThan, 0, {1, 0}},
		{value(F64, {1, 2, 3}), value(F64, {2}), OpFOrdGreaterThanEqual, 0, {0, 1, 1}},
		{value(I32, {-1}), value(I32, {1}), OpSLessThan, 0, {1}},
		{value(U32, {4294967295.0}), value(U32, {1}), OpULessThan, 0, {0}},
		{value(I32, {-1, 2}), value(U32, {4294967295.0, 3}), OpIEqual, 0, {1, 0}},
		{value(I32, {1, 0}), value(I32, {1, 1}), OpLogicalNotEqual, 0, {0, 1}},
		// products of linear algebra, by the shapes of the operands
		{value(M2, {1, 2, 3, 4}), value(M2, {1, 2, 3, 4}), OpMatrixTimesMatrix, 0, {7, 10, 15, 22}},
		{value(M2, {1, 2, 3, 4}), value(M3x2, {1, 2, 3, 4, 5, 6}), OpMatrixTimesMatrix, 0, {7, 10, 15, 22, 23, 34}},
		{value(M3x2, {1, 2, 3, 4, 5, 6}), value(M2x3, {1, 0, 1, 0, 1, 0}), OpMatrixTimesMatrix, 0, {6, 8, 3, 4}},
		{value(M2, {1, 2, 3, 4}), value(V2, {1, 1}), OpMatrixTimesVector, 0, {4, 6}},
		{value(M3x2, {1, 2, 3, 4, 5, 6}), value(V3, {1, 1, 1}), OpMatrixTimesVector, 0, {9, 12}},
		{value(V2, {1, 1}), value(M2, {1, 2, 3, 4}), OpVectorTimesMatrix, 0, {3, 7}},
		{value(V2, {1, 1}), value(M3x2, {1, 2, 3, 4, 5, 6}), OpVectorTimesMatrix, 0, {3, 7, 11}},
		{value(M2, {1, 2, 3, 4}), value(V3, {1, 1, 1}), OpMatrixTimesVector, 0, {}},
		// step: 0 below the edge (the first operand), else 1
		{value(F64, {1}), value(F64, {2, 1, 0.5}), 12, 48, {1, 1, 0}},
		{value(I32, {-3, 4}), value(I32, {2}), 12, 39, {-3, 2}}, // SMin
		{value(U32, {4294967295.0, 1}), value(U32, {2}), 12, 41, {4294967295.0, 2}}, // UMax
		{value(F64, {1}), value(F64, {2}), 12, 50, {}}, // Fma is no fold
		// three operands: clamp, mix, smoothstep; bounds out of order are the machine's
		{value(F64, {-1, 0.5, 3}), value(F64, {0}), 12, 43, {0, 0.5, 1}, value(F64, {1})},
		{value(F64, {0.5}), value(F64, {1}), 12, 43, {}, value(F64, {0})},
		{value(I32, {-5, 7}), value(I32, {-2}), 12, 45, {-2, 3}, value(I32, {3})},
		{value(U32, {4294967295.0, 0}), value(U32, {1}), 12, 44, {5, 1}, value(U32, {5})},
		{value(F64, {2, 10}), value(F64, {4, 20}), 12, 46, {2.5, 12.5}, value(F64, {0.25})},
		{value(F64, {0}), value(F64, {2}), 12, 49, {0, 0.5, 1}, value(F64, {-1, 1, 3})},
		// of vectors, a scalar: dot, length, distance; and cross
		{value(V3, {1, 2, 3}), value(V3, {4, 5, 6}), OpDot, 0, {32}},
		{value(V2, {3, 4}), Value(), 12, 66, {5}},
		{value(V2, {1, 1}), value(V2, {4, 5}), 12, 67, {5}},
		{value(V3, {1, 0, 0}), value(V3, {0, 1, 0}), 12, 68, {0, 0, 1}},
		// ~0u >> 8 is done at 32 bits
		{value(U32, {4294967295.0}), value(U32, {8}), OpShiftRightLogical, 0, {16777215}},
		{value(I32, {-1}), value(I32, {8}), OpShiftRightLogical, 0, {16777215}},
		{value(I32, {-256}), value(I32, {4}), OpShiftRightArithmetic, 0, {-16}},
		// signed overflow wraps at the width
		{value(I32, {2147483647}), value(I32, {1}), OpIAdd, 0, {-2147483648.0}},
		{value(U32, {0}), value(U32, {1}), OpISub, 0, {4294967295.0}},
		{value(I32, {5}), value(I32, {0}), OpUDiv, 0, {}},
		{value(I32, {-2147483648.0}), value(I32, {-1}), OpSDiv, 0, {}},
		{value(I32, {1}), value(I32, {32}), OpShiftLeftLogical, 0, {}},
		// a float operand of an integer row that leaves the 64-bit range is not folded
		{value(F64, {NAN}), value(I32, {1}), OpIAdd, 0, {}},
	};
	for (const auto &row : rows) {
		SCOPED_TRACE(std::to_string(row.opcode) + " " + std::to_string(row.extended));
		bool reduction = row.opcode == OpDot || (row.opcode == 12 && row.extended >= 66 && row.extended <= 68);
		Value ret = row.c.count ? row.a.ternary_operation(row.b, row.c, row.extended)
			: reduction ? row.a.reduction(row.b, row.opcode, row.extended) : row.a.binary_operation(row.b, row.opcode, row.extended);
		if (row.expected.empty()) {
			EXPECT_EQ(ret.count, 0u);
			continue;
		}
		ASSERT_EQ(ret.count, row.expected.size());
		for (uint32_t i = 0; i < ret.count; i++) {
			if (std::isnan(row.expected[i])) {
				EXPECT_TRUE(std::isnan(ret.get_f64(i)));
			} else {
				EXPECT_EQ(ret.get_f64(i), row.expected[i]) << i;
			}
		}
	}
	EXPECT_EQ(Value::ceil(2.5), 3.0);
	EXPECT_EQ(Value::ceil(-2.5), -2.0);
	EXPECT_EQ(Value::ceil(3.0), 3.0);
	EXPECT_EQ(Value::ceil(1e300), 1e300);
	EXPECT_TRUE(std::isnan(Value::ceil(NAN)));
}

// Shortcuts: an operand that is an identity gives the other operand, an
// absorbing one the constant result; a float zero absorbs nothing (NaN and
// infinity times zero are NaN) and NaN is never an identity.
TEST(CompilerFolding, Shortcuts) {
	Fixture f;
	Compiler &c = f.compiler;
	uint32_t i32 = c.add_type("i32");
	uint32_t u32 = c.add_type("u32");
	uint32_t f32 = c.add_type("f32");
	uint32_t i32v3 = c.add_type("i32v3");
	uint32_t b32 = c.add_type("b32");
	uint32_t x = compiler_test::add_undef(c, i32);
	uint32_t y = compiler_test::add_undef(c, f32);
	uint32_t v = compiler_test::add_undef(c, i32v3);
	uint32_t p = compiler_test::add_undef(c, b32);
	auto f32c = [&](double d) {
		Value value(1);
		value.set_f64(0, d);
		return c.add_constant("f32", value);
	};
	auto i32v3c = [&](int64_t a, int64_t b, int64_t d) {
		Value value(3);
		value.set_i64(0, a);
		value.set_i64(1, b);
		value.set_i64(2, d);
		return c.add_constant("i32v3", value);
	};
	const uint32_t Emitted = ~0u;
	struct {
		uint32_t opcode;
		uint32_t type;
		uint32_t a;
		uint32_t b;
		uint32_t expected; // an id, or Emitted
	} rows[] = {
		{OpIAdd, i32, x, c.add_constant("i32", 0), x},
		{OpIAdd, i32, c.add_constant("i32", 0), x, x},
		{OpISub, i32, x, c.add_constant("i32", 0), x},
		{OpISub, i32, c.add_constant("i32", 0), x, Emitted},
		{OpIMul, i32, x, c.add_constant("i32", 1), x},
		{OpIMul, i32, c.add_constant("i32", 1), x, x},
		{OpIMul, i32, x, c.add_constant("i32", 0), c.add_constant("i32", 0)},
		{OpIMul, i32, c.add_constant("i32", 0), x, c.add_constant("i32", 0)},
		{OpSDiv, i32, x, c.add_constant("i32", 1), x},
		{OpSDiv, i32, x, c.add_constant("i32", 0), Emitted},
		{OpBitwiseAnd, i32, x, c.add_constant("i32", ~0ull), x},
		{OpBitwiseAnd, i32, x, c.add_constant("i32", 0), c.add_constant("i32", 0)},
		{OpBitwiseOr, i32, c.add_constant("i32", 0), x, x},
		{OpShiftLeftLogical, i32, x, c.add_constant("i32", 0), x},
		{OpShiftLeftLogical, i32, c.add_constant("i32", 0), x, Emitted},
		// the other operand is of another type than the result: no shortcut
		{OpIAdd, u32, x, c.add_constant("i32", 0), Emitted},
		{OpIMul, i32v3, v, i32v3c(1, 1, 1), v},
		{OpIMul, i32v3, v, i32v3c(2, 2, 2), Emitted},
		{OpIMul, i32v3, v, i32v3c(1, 1, 2), Emitted},
		{OpFMul, f32, y, f32c(1.0), y},
		{OpFMul, f32, f32c(1.0), y, y},
		{OpFDiv, f32, y, f32c(1.0), y},
		{OpFMul, f32, y, f32c(0.0), Emitted},
		{OpFMul, f32, f32c(0.0), y, Emitted},
		{OpFMul, f32, y, f32c(NAN), Emitted},
		{OpFAdd, f32, y, f32c(NAN), Emitted},
		// -0.0 + 0.0 is +0.0: only -0.0 leaves every x as it is
		{OpFAdd, f32, y, f32c(0.0), Emitted},
		{OpFAdd, f32, y, f32c(-0.0), y},
		{OpFSub, f32, y, f32c(0.0), y},
		{OpFSub, f32, y, f32c(-0.0), Emitted},
		{OpLogicalOr, b32, p, c.add_constant("b32", 1), c.add_constant("b32", 1)},
		{OpLogicalOr, b32, p, c.add_constant("b32", 0), p},
		{OpLogicalAnd, b32, c.add_constant("b32", 0), p, c.add_constant("b32", 0)},
		{OpLogicalAnd, b32, c.add_constant("b32", 1), p, p},
	};
	for (const auto &row : rows) {
		SCOPED_TRACE(std::to_string(row.opcode) + " " + std::to_string(row.a) + " " + std::to_string(row.b));
		uint32_t size = f.function.code.size();
		uint32_t id = c.add_binary_operation(f.function, row.opcode, row.type, row.a, row.b);
		if (row.expected != Emitted) {
			EXPECT_EQ(id, row.expected);
			EXPECT_EQ(f.function.code.size(), size);
			continue;
		}
		std::vector<Instruction> code = decode(f.function.code.get() + size, f.function.code.size() - size);
		ASSERT_EQ(code.size(), 1u);
		EXPECT_EQ(code[0].opcode, row.opcode);
		EXPECT_EQ(code[0].operands, (std::vector<uint32_t>{row.type, id, row.a, row.b}));
		EXPECT_EQ(c.get_target_type(id), row.type);
	}
	EXPECT_EQ(compiler_test::validate(c, &f.function), "");
}

// Bit casts fold the bits as the machine holds them; conversions of a float
// out of the integer's range are left to run time.
TEST(CompilerFolding, BitCastsAndConversions) {
	Fixture f;
	Compiler &c = f.compiler;
	auto constant = [&](const char *type, double d) {
		Value value(1);
		value.set_f64(0, d);
		return c.add_constant(type, value);
	};
	struct {
		uint32_t opcode;
		const char *type;
		uint32_t operand;
		const char *folded_type; // the constant expected, null: emitted
		uint64_t folded;
	} rows[] = {
		{Spirv::OpBitcast, "i32", constant("f32", 1.0), "i32", 0x3F800000u},
		{Spirv::OpBitcast, "u32", constant("f32", -2.0), "u32", 0xC0000000u},
		{Spirv::OpBitcast, "f32", c.add_constant("i32", 0x3F800000u), "f32", bits(1.0)},
		{Spirv::OpBitcast, "f32", c.add_constant("u32", 0xC0000000u), "f32", bits(-2.0)},
		{Spirv::OpBitcast, "i64", constant("f64", 1.0), "i64", 0x3FF0000000000000ull},
		{Spirv::OpBitcast, "f64", c.add_constant("u64", 0xC000000000000000ull), "f64", bits(-2.0)},
		{Spirv::OpBitcast, "i16", constant("f16", 1.0), "i16", 0x3C00},
		{Spirv::OpBitcast, "f16", c.add_constant("u16", 0xC000), "f16", bits(-2.0)},
		{Spirv::OpBitcast, "i32", c.add_constant("u32", 0xFFFFFFFFu), "i32", ~0ull},
		{Spirv::OpBitcast, "u32v2", c.add_constant("u64", 1), nullptr, 0},
		{Spirv::OpConvertFToS, "i32", constant("f32", 3e9), nullptr, 0},
		{Spirv::OpConvertFToS, "i64", constant("f32", 3e9), "i64", 3000000000ull},
		{Spirv::OpConvertFToS, "i32", constant("f32", -2147483648.0), "i32", (uint64_t)INT64_C(-2147483648)},
		{Spirv::OpConvertFToS, "i32", constant("f32", NAN), nullptr, 0},
		{Spirv::OpConvertFToS, "i16", constant("f32", 40000.0), nullptr, 0},
		{Spirv::OpConvertFToU, "u32", constant("f32", -1.0), nullptr, 0},
		{Spirv::OpConvertFToU, "u32", constant("f32", -0.5), "u32", 0},
		{Spirv::OpConvertFToU, "u32", constant("f32", 4294967040.0), "u32", 4294967040u},
		{Spirv::OpConvertFToU, "u32", constant("f32", 4294967296.0), nullptr, 0},
		{Spirv::OpConvertFToU, "u64", constant("f64", INFINITY), nullptr, 0},
		// a width change extends by the opcode, zero or sign
		{Spirv::OpUConvert, "u64", c.add_constant("u32", 0xFFFFFFFFu), "u64", 0xFFFFFFFFu},
		{Spirv::OpSConvert, "i64", c.add_constant("i16", 0xFFFF), "i64", ~0ull},
		{Spirv::OpNot, "u32", c.add_constant("u32", 0), "u32", 0xFFFFFFFFu},
		{Spirv::OpSNegate, "i32", c.add_constant("i32", 0x80000000u), "i32", (uint64_t)INT64_C(-2147483648)},
	};
	for (const auto &row : rows) {
		SCOPED_TRACE(std::string(row.type) + " " + std::to_string(row.opcode));
		uint32_t type = c.add_type(row.type);
		uint32_t size = f.function.code.size();
		uint32_t id = c.add_unary_operation(f.function, row.opcode, type, row.operand);
		const Value *value = c.constants.get(id);
		if (row.folded_type == nullptr) {
			EXPECT_EQ(value, nullptr);
			std::vector<Instruction> code = decode(f.function.code.get() + size, f.function.code.size() - size);
			ASSERT_EQ(code.size(), 1u);
			EXPECT_EQ(code[0].opcode, row.opcode);
			continue;
		}
		ASSERT_NE(value, nullptr);
		EXPECT_EQ(c.get_target_type_name(id), String(row.folded_type));
		EXPECT_EQ(value->components[0], row.folded);
	}
	// the Value fold of a float's bit cast gives the float's bits at its width
	Value one(Compiler::TypeFloat | Compiler::Type32, 1);
	one.set_f64(0, 1.0);
	Value cast = one.unary_operation(Spirv::OpBitcast, 0);
	EXPECT_EQ(cast.get_u64(0), 0x3F800000u);
	EXPECT_EQ(compiler_test::validate(c, &f.function), "");
}

TEST(CompilerFolding, SplatsAndShuffles) {
	Fixture f;
	Compiler &c = f.compiler;
	uint32_t f32v4 = c.add_type("f32v4");
	uint32_t f32v2 = c.add_type("f32v2");
	uint32_t f32 = c.add_type("f32");
	uint32_t f32v2m2 = c.add_type("f32v2m2");
	Value v(4);
	for (uint32_t i = 0; i < 4; i++) v.set_f64(i, i + 1.0);
	uint32_t vector = c.add_constant("f32v4", v);
	uint32_t two = c.add_constant("f32", bits(2.0));

	EXPECT_EQ(c.add_splat(f.function, f32v4, two), c.add_constant("f32v4", c.constants.get(two)->splat(4)));
	Array<uint32_t> swizzle;
	swizzle.append(3);
	swizzle.append(0);
	uint32_t shuffled = c.add_shuffle(f.function, f32v2, vector, swizzle);
	ASSERT_NE(c.constants.get(shuffled), nullptr);
	EXPECT_EQ(c.constants.get(shuffled)->get_f64(0), 4.0);
	EXPECT_EQ(c.constants.get(shuffled)->get_f64(1), 1.0);
	Array<uint32_t> single;
	single.append(2);
	EXPECT_EQ(c.constants.get(c.add_shuffle(f.function, f32, vector, single))->get_f64(0), 3.0);
	// a column of a constant matrix
	uint32_t matrix = c.add_constant("f32v2m2", v);
	single[0] = 1;
	uint32_t column = c.add_shuffle(f.function, f32v2, matrix, single);
	ASSERT_NE(c.constants.get(column), nullptr);
	EXPECT_EQ(c.constants.get(column)->count, 2u);
	EXPECT_EQ(c.constants.get(column)->get_f64(0), 3.0);
	EXPECT_EQ(c.constants.get(column)->get_f64(1), 4.0);
	EXPECT_EQ(f.function.code.size(), 0u);

	// values that are no constants are emitted
	uint32_t x = compiler_test::add_undef(c, f32);
	uint32_t splat = c.add_splat(f.function, f32v4, x);
	uint32_t source = compiler_test::add_undef(c, f32v4);
	uint32_t extracted = c.add_shuffle(f.function, f32, source, single);
	uint32_t pair = c.add_shuffle(f.function, f32v2, source, swizzle);
	uint32_t diagonal = c.add_splat(f.function, f32v2m2, x);
	std::vector<Instruction> code = decode(f.function.code);
	ASSERT_EQ(code.size(), 5u);
	EXPECT_EQ(code[0].opcode, Spirv::OpCompositeConstruct);
	EXPECT_EQ(code[0].operands, (std::vector<uint32_t>{f32v4, splat, x, x, x, x}));
	EXPECT_EQ(code[1].operands, (std::vector<uint32_t>{f32, extracted, source, 1}));
	EXPECT_EQ(code[2].opcode, Spirv::OpVectorShuffle);
	EXPECT_EQ(code[2].operands, (std::vector<uint32_t>{f32v2, pair, source, source, 3, 0}));
	// a matrix is made of column splats
	EXPECT_EQ(code[3].operands, (std::vector<uint32_t>{f32v2, code[3].operands[1], x, x}));
	EXPECT_EQ(code[4].operands, (std::vector<uint32_t>{f32v2m2, diagonal, code[3].operands[1], code[3].operands[1]}));
	EXPECT_EQ(compiler_test::validate(c, &f.function), "");

	// never cut short: more than 16 components do not fold
	EXPECT_EQ(c.constants.get(two)->splat(17).count, 0u);
	Array<uint32_t> many;
	for (uint32_t i = 0; i < 17; i++) many.append(0);
	EXPECT_EQ(v.shuffle(many).count, 0u);
	Array<uint32_t> outside;
	outside.append(9);
	EXPECT_EQ(v.shuffle(outside).count, 0u);
}

TEST(CompilerFolding, Literals) {
	Fixture f;
	Compiler &c = f.compiler;
	struct {
		const char *type;
		const char *text;
		const char *made_type;
		uint64_t component0;
	} rows[] = {
		{"", "1.5", "f32", bits(1.5)},
		{"", "1u", "u32", 1},
		{"", "-3", "i32", (uint64_t)-3},
		{"", "true", "b32", 1},
		{"", "false", "b32", 0},
		{"", "f32v2(1.0, 2.5)", "f32v2", bits(1.0)},
		{"f64", "0.1", "f64", bits(0.1)},
		{"u32", "0x10u", "u32", 16},
		{"i64", "-5", "i64", (uint64_t)-5},
		{"b32", "true", "b32", 1},
		{"i32v3", "i32v3(1, -2, 3)", "i32v3", 1},
		// beyond the float range: rounded to the largest float or to infinity
		{"f32", "1e300", "f32", bits(INFINITY)},
		{"f32", "-1e39", "f32", bits(-INFINITY)},
		{"f32", "3.4028235e38", "f32", bits(FLT_MAX)},
		{"f16", "1e300", "f16", bits(INFINITY)},
	};
	for (const auto &row : rows) {
		SCOPED_TRACE(std::string(row.type) + " " + row.text);
		uint32_t id = c.parse_constant(String(row.type), row.text);
		EXPECT_EQ(c.get_target_type_name(id), String(row.made_type));
		ASSERT_NE(c.constants.get(id), nullptr);
		EXPECT_EQ(c.constants.get(id)->components[0], row.component0);
		EXPECT_EQ(c.parse_constant(String(row.type), row.text), id);
	}
	EXPECT_EQ(c.parse_constant(String("f32"), "1.5"), c.parse_constant(String(""), "1.5"));
	// a literal is not taken for a constant whose component bits read like it
	Value tiny(1);
	tiny.components[0] = 1;
	uint32_t zero = c.add_constant("f64", tiny);
	uint32_t one = c.parse_constant(String("f64"), "1");
	EXPECT_NE(one, zero);
	EXPECT_EQ(c.constants.get(one)->get_f64(0), 1.0);
	std::string seventeen = "f32v4(";
	for (int i = 0; i < 17; i++) seventeen += i ? ", 1" : "1";
	seventeen += ")";
	struct {
		const char *type;
		std::string text;
		const char *message;
	} errors[] = {
		{"", "", "invalid value\n"},
		{"f32", "  ", "invalid value\n"},
		{"b32", "1", "invalid value \"1\" for b32\n"},
		{"f32", "1.5 x", "unexpected \"x\"\n"},
		{"f32v2", "f32v3(1.0, 2.0)", "invalid value \"f32v3(1.0, 2.0)\" for f32v2\n"},
		{"f32v2", "f32v2(1.0, y)", "invalid value \"f32v2(1.0, y)\" for f32v2\n"},
		{"f32v2", "f32v2(1.0, 2.0) z", "unexpected \"z\"\n"},
		{"f32v2", "f32v2(1.0)x", "unexpected \"x\"\n"},
		{"f32", "(1.0)", "invalid value \"(1.0)\" for f32\n"},
		{"f32v4", seventeen, "too many arguments for constant\n"},
		{"f32v3", "f32v3(1.0, 2.0)", "not enough arguments for f32v3\n"},
	};
	for (const auto &row : errors) {
		EXPECT_EQ(thrown([&] { c.parse_constant(String(row.type), row.text.c_str()); }), row.message) << row.text;
	}
}

TEST(CompilerFolding, ConstantText) {
	Fixture f;
	Compiler &c = f.compiler;
	Value u(Compiler::get_type_flags(String("u32v3")), 3);
	for (uint32_t i = 0; i < 3; i++) u.components[i] = i + 1;
	EXPECT_EQ(c.get_constant_string(u, true), String("u32v3(1u, 2u, 3u)"));
	EXPECT_EQ(c.get_constant_string(u, false), String("uvec3(1u, 2u, 3u)"));
	Value s(Compiler::get_type_flags(String("i32")), 1);
	s.set_i64(0, -5);
	EXPECT_EQ(c.get_constant_string(s, false), String("-5"));
	Value b(Compiler::get_type_flags(String("b32v2")), 2);
	b.components[1] = 1;
	EXPECT_EQ(c.get_constant_string(b, true), String("b32v2(false, true)"));
	Value d(Compiler::get_type_flags(String("f32v2")), 2);
	d.set_f64(0, 0.5);
	d.set_f64(1, -2.0);
	String text = c.get_constant_string(d, false);
	EXPECT_EQ(std::string(text.get()).rfind("vec2(", 0), 0u) << text.get();
	EXPECT_EQ(c.get_constant_string(Value(), false), String(""));
	Value array(Compiler::get_type_flags(String("i32[]")), 3);
	EXPECT_EQ(c.get_constant_string(array, true), String("i32[3](0, 0, 0)"));
	// a named or folded constant is kept as its text: every double must read
	// back as itself, however small or large, and a float as the same float
	struct {
		const char *type;
		double value;
	} exact[] = {
		{"f64", 3.749565844198488e-05 + 4.181721513707595e-16},
		{"f64", 4.5237955350981857e+272},
		{"f64", 1.9020826279792915e-54},
		{"f64", 0.00040039980491849103},
		{"f64", 6348606582851885.0},
		{"f64", -1e22},
		{"f64", 4.9406564584124654e-324},
		{"f64", DBL_MAX},
		{"f64v2", 9.08423730942483e-46},
		{"f32", 7.073940651025623e-06},
		{"f32v3", 1.0 / 3.0},
	};
	for (const auto &row : exact) {
		Value v(Compiler::get_type_flags(String(row.type)), 1);
		v.set_f64(0, row.value);
		if (v.flags & Compiler::TypeVectorMask) v = v.splat(Compiler::get_type_components(v.flags));
		String written = c.get_constant_string(v, true);
		SCOPED_TRACE(written.get());
		uint32_t id = c.parse_constant(String(row.type), written.get());
		uint32_t expected = c.add_constant(String(row.type), v);
		EXPECT_EQ(id, expected);
		EXPECT_EQ(c.constants.get(id)->components[0], c.constants.get(expected)->components[0]);
	}
}

} // namespace
