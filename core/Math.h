// Small value types of the core library: plain vectors and row-major matrices,
// the IEEE binary16 `half` that the compiler emits and the renderer prints for
// half-precision constants, and the packed small floats float21 and float24.
// All float conversions work on bit patterns and cut the mantissa rather than
// round it; a NaN always stays a NaN.
#pragma once

#include <cstdint>

namespace Vexa {

template <class T>
struct Vector2 {
	Vector2() : x(), y() {}
	explicit Vector2(const T &v) : x(v), y(v) {}
	Vector2(T x, T y) : x(x), y(y) {}
	T x, y;
};

template <class T>
struct Vector3 {
	Vector3() : x(), y(), z() {}
	explicit Vector3(const T &v) : x(v), y(v), z(v) {}
	Vector3(T x, T y, T z) : x(x), y(y), z(z) {}
	T x, y, z;
};

template <class T>
struct Vector4 {
	Vector4() : x(), y(), z(), w() {}
	explicit Vector4(const T &v) : x(v), y(v), z(v), w(v) {}
	Vector4(T x, T y, T z, T w) : x(x), y(y), z(z), w(w) {}
	T x, y, z, w;
};

// Matrices keep their elements row after row, in the order of the
// per-element constructor's arguments.
template <class T>
struct Matrix2x3 {
	Matrix2x3() : Matrix2x3(T()) {}
	explicit Matrix2x3(T v) : m00(v), m01(v), m02(v), m10(v), m11(v), m12(v) {}
	Matrix2x3(T m00, T m01, T m02, T m10, T m11, T m12) : m00(m00), m01(m01), m02(m02), m10(m10), m11(m11), m12(m12) {}
	T m00, m01, m02;
	T m10, m11, m12;
};

template <class T>
struct Matrix3x4 {
	Matrix3x4() : Matrix3x4(T()) {}
	explicit Matrix3x4(T v) : m00(v), m01(v), m02(v), m03(v), m10(v), m11(v), m12(v), m13(v), m20(v), m21(v), m22(v), m23(v) {}
	Matrix3x4(T m00, T m01, T m02, T m03, T m10, T m11, T m12, T m13, T m20, T m21, T m22, T m23)
		: m00(m00), m01(m01), m02(m02), m03(m03), m10(m10), m11(m11), m12(m12), m13(m13), m20(m20), m21(m21), m22(m22), m23(m23) {}
	T m00, m01, m02, m03;
	T m10, m11, m12, m13;
	T m20, m21, m22, m23;
};

template <class T>
struct Matrix4x4 {
	Matrix4x4() : Matrix4x4(T()) {}
	explicit Matrix4x4(T v)
		: m00(v), m01(v), m02(v), m03(v), m10(v), m11(v), m12(v), m13(v), m20(v), m21(v), m22(v), m23(v), m30(v), m31(v), m32(v), m33(v) {}
	Matrix4x4(T m00, T m01, T m02, T m03, T m10, T m11, T m12, T m13, T m20, T m21, T m22, T m23, T m30, T m31, T m32, T m33)
		: m00(m00), m01(m01), m02(m02), m03(m03), m10(m10), m11(m11), m12(m12), m13(m13), m20(m20), m21(m21), m22(m22), m23(m23), m30(m30),
		  m31(m31), m32(m32), m33(m33) {}
	T m00, m01, m02, m03;
	T m10, m11, m12, m13;
	T m20, m21, m22, m23;
	T m30, m31, m32, m33;
};

// IEEE 754 binary16: sign bit 15, exponent bits 10-14 (bias 15), mantissa bits 0-9.
struct half {
	half() : bits(0) {}
	explicit half(uint16_t bits) : bits(bits) {}
	explicit half(float f);
	operator float() const;
	uint16_t bits;
};

// 21 bits: sign bit 20, exponent bits 14-19 (bias 31), mantissa bits 0-13.
struct float21 {
	float21() : bits(0) {}
	explicit float21(uint32_t bits) : bits(bits) {}
	explicit float21(float f);
	operator float() const;
	uint32_t bits;
};

// 24 bits: sign bit 23, exponent bits 17-22 (bias 31), mantissa bits 0-16.
struct float24 {
	float24() : bits(0) {}
	explicit float24(uint32_t bits) : bits(bits) {}
	explicit float24(float f);
	operator float() const;
	uint32_t bits;
};

// (a + b - 1) / b with wrapping 32-bit arithmetic; b must not be 0
inline uint32_t divUp(uint32_t a, uint32_t b) { return (a + b - 1) / b; }

// the smallest value maps to itself
inline int64_t abs(int64_t v) { return v < 0 ? static_cast<int64_t>(0 - static_cast<uint64_t>(v)) : v; }

// floor of the base-2 logarithm, 0 for 0 and 1
inline uint32_t log2(uint32_t v) {
	uint32_t ret = 0;
	while (v > 1) {
		v >>= 1;
		ret++;
	}
	return ret;
}

inline uint32_t min(uint32_t a, uint32_t b) { return a < b ? a : b; }

// sequentially consistent; returns the new value
uint32_t atomicDecrement(uint32_t &v);

} // namespace Vexa
