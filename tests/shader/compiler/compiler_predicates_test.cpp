// The compiler's small predicates: identifier letters, stage families,
// reserved and declared names, uniform constants, powers of two, the double
// min and max with NaN, and the constants that leave the other operand of an
// operation unchanged, on either side.
#include "compiler_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using Vexa::Compiler;
using Vexa::String;
using Vexa::Value;
using compiler_test::Fixture;

namespace {

uint64_t bits_of(double value) {
	uint64_t ret = 0;
	std::memcpy(&ret, &value, sizeof(ret));
	return ret;
}

// a Value of the given kind whose components hold the given bits
Value make(uint32_t flags, std::initializer_list<uint64_t> components) {
	Value ret(flags, (uint32_t)components.size());
	uint32_t i = 0;
	for (uint64_t component : components) ret.components[i++] = component;
	return ret;
}

TEST(CompilerPredicates, Letters) {
	for (int c = 0; c < 256; c++) {
		bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
		EXPECT_EQ(Compiler::is_letter((char)c), letter) << c;
	}
}

TEST(CompilerPredicates, Stages) {
	struct {
		uint32_t model;
		bool compute;
		bool tracing;
	} rows[] = {
		{0, false, false},    // vertex
		{4, false, false},    // fragment
		{5, true, false},     // compute
		{5267, false, false}, // task (NV)
		{5312, false, false}, // just below the ray-tracing models
		{5313, false, true},  {5314, false, true}, {5315, false, true}, {5316, false, true}, {5317, false, true}, {5318, false, true},
		{5319, false, false}, // just above them
		{5364, true, false},  // task
		{5365, true, false},  // mesh
		{~0u, false, false},  // none yet
	};
	Compiler c;
	for (const auto &row : rows) {
		c.execution_model = row.model;
		EXPECT_EQ(c.is_compute_stage(), row.compute) << row.model;
		EXPECT_EQ(c.is_tracing_stage(), row.tracing) << row.model;
	}
}

TEST(CompilerPredicates, ReservedAndDeclared) {
	Fixture f;
	Compiler &c = f.compiler;
	const char *reserved[] = {"vec4", "sampler2DShadow", "uint", "if", "struct", "inout", "namespace"};
	const char *free[] = {"main", "color", "vec", "gl_Position", "f32v4", ""};
	for (uint32_t flags : {0u, (uint32_t)Compiler::FlagReserved, (uint32_t)Compiler::DefaultFlags, (uint32_t)Compiler::DefaultFlags & ~Compiler::FlagReserved}) {
		c.flags = flags;
		bool on = (flags & Compiler::FlagReserved) != 0;
		for (const char *name : reserved) EXPECT_EQ(c.is_reserved(String(name)), on) << name << " flags " << flags;
		for (const char *name : free) EXPECT_FALSE(c.is_reserved(String(name))) << name << " flags " << flags;
	}

	// only the scope itself counts, not its parents
	Compiler::Scope outer, inner;
	inner.parent = &outer;
	outer.variables.insert(String("x"), 0u);
	outer.structures.insert(String("S"), 0u);
	inner.variables.insert(String("y"), 1u);
	EXPECT_TRUE(Compiler::is_declared(String("x"), outer));
	EXPECT_TRUE(Compiler::is_declared(String("S"), outer));
	EXPECT_FALSE(Compiler::is_declared(String("y"), outer));
	EXPECT_TRUE(Compiler::is_declared(String("y"), inner));
	EXPECT_FALSE(Compiler::is_declared(String("x"), inner));
	EXPECT_FALSE(Compiler::is_declared(String("S"), inner));
}

TEST(CompilerPredicates, NumberHelpers) {
	for (uint32_t x : {0u, 1u, 2u, 64u, 0x80000000u}) EXPECT_TRUE(Vexa::is_pow2(x)) << x;
	for (uint32_t x : {3u, 6u, 96u, 0xffffffffu, 0x80000001u}) EXPECT_FALSE(Vexa::is_pow2(x)) << x;

	EXPECT_EQ(Vexa::max(3u, 0xffffffffu), 0xffffffffu);
	EXPECT_EQ(Vexa::max(7u, 2u), 7u);
	const double nan = std::numeric_limits<double>::quiet_NaN();
	EXPECT_EQ(Vexa::max(1.0, 2.0), 2.0);
	EXPECT_EQ(Vexa::min(1.0, 2.0), 1.0);
	EXPECT_EQ(Vexa::max(-1.0, -2.0), -1.0);
	// a NaN first argument gives the second one, a NaN second one is given back
	EXPECT_EQ(Vexa::max(nan, 2.0), 2.0);
	EXPECT_EQ(Vexa::min(nan, 2.0), 2.0);
	EXPECT_TRUE(std::isnan(Vexa::max(2.0, nan)));
	EXPECT_TRUE(std::isnan(Vexa::min(2.0, nan)));
	// equal arguments give the second: the sign of zero shows which
	EXPECT_TRUE(std::signbit(Vexa::max(0.0, -0.0)));
	EXPECT_TRUE(std::signbit(Vexa::min(0.0, -0.0)));
}

TEST(CompilerPredicates, Uniform) {
	struct {
		Value value;
		bool uniform;
	} rows[] = {
		{Value(), false}, // no component: nothing to stand for the others
		{make(Compiler::TypeInt, {5}), true},
		{make(Compiler::TypeInt, {5, 5, 5, 5}), true},
		{make(Compiler::TypeInt, {5, 5, 5, 6}), false},
		{make(Compiler::TypeInt, {6, 5}), false},
		// the bits decide: 0.0 and -0.0 are different components
		{make(Compiler::TypeFloat, {bits_of(0.0), bits_of(-0.0)}), false},
		{make(Compiler::TypeFloat, {bits_of(1.5), bits_of(1.5), bits_of(1.5)}), true},
	};
	for (uint32_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) EXPECT_EQ(rows[i].value.is_uniform(), rows[i].uniform) << i;

	// components past the count don't count
	Value value = make(Compiler::TypeUint, {9, 9});
	value.components[2] = 1;
	EXPECT_TRUE(value.is_uniform());
}

TEST(CompilerPredicates, Identities) {
	const uint64_t nan = bits_of(std::numeric_limits<double>::quiet_NaN());
	const uint64_t zero = 0, one = 1, two = 2, all = ~0ull;
	const uint64_t f0 = bits_of(0.0), fneg0 = bits_of(-0.0), f1 = bits_of(1.0), f2 = bits_of(2.0);
	const uint32_t I = Compiler::TypeInt, F = Compiler::TypeFloat, B = Compiler::TypeBool;
	struct {
		uint32_t flags;
		uint32_t opcode;
		uint64_t constant; // every component
		bool right;        // x op c == x for every x
		bool left;         // c op x == x for every x
	} rows[] = {
		{I, 128, zero, true, true}, // OpIAdd
		{I, 128, one, false, false},
		{I, 130, zero, true, false}, // OpISub
		{I, 130, one, false, false},
		{I, 132, one, true, true}, // OpIMul
		{I, 132, zero, false, false},
		{I, 134, one, true, false}, // OpUDiv
		{I, 135, one, true, false}, // OpSDiv
		{I, 135, all, false, false},
		{I, 194, zero, true, false}, // OpShiftRightLogical
		{I, 196, zero, true, false}, // OpShiftLeftLogical
		{I, 196, one, false, false},
		{I, 197, zero, true, true}, // OpBitwiseOr
		{I, 197, all, false, false},
		{I, 199, all, true, true}, // OpBitwiseAnd with every bit of the type
		{I, 170, zero, false, false}, // OpIEqual
		{I, 138, one, false, false},  // OpSRem
		{B, 166, zero, true, true},   // OpLogicalOr
		{B, 166, one, false, false},
		{B, 167, one, true, true}, // OpLogicalAnd
		{B, 167, two, true, true},
		{B, 167, zero, false, false},
		// x + 0.0 turns -0.0 into 0.0: only -0.0 leaves every x as it is
		{F, 129, fneg0, true, true}, // OpFAdd
		{F, 129, f0, false, false},
		{F, 129, f1, false, false},
		{F, 131, f0, true, false}, // OpFSub
		{F, 131, fneg0, false, false},
		{F, 133, f1, true, true}, // OpFMul
		{F, 133, f2, false, false},
		{F, 136, f1, true, false}, // OpFDiv
		// a NaN is never an identity
		{F, 129, nan, false, false},
		{F, 131, nan, false, false},
		{F, 133, nan, false, false},
		{F, 136, nan, false, false},
		// the integer 1 is no double 1.0, and an integer test never reads a double
		{F, 133, one, false, false},
		{I, 133, f1, false, false},
	};
	for (const auto &row : rows) {
		Value value = make(row.flags, {row.constant, row.constant});
		EXPECT_EQ(value.is_right_identity(row.opcode), row.right) << row.opcode << " " << row.constant << " flags " << row.flags;
		EXPECT_EQ(value.is_left_identity(row.opcode), row.left) << row.opcode << " " << row.constant << " flags " << row.flags;
	}
	// only a uniform value stands for one constant
	EXPECT_FALSE(make(I, {0, 1}).is_right_identity(128));
}

} // namespace
