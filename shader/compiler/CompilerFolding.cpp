// Folding of instructions over constant Values, component by component, with
// the results the instructions give when they run: integer operations work
// at the width of their operands (wrapping in two's complement) and their
// results are reduced to that width, signed or unsigned by the kind; float
// results are rounded to their width. An operation whose result the machine
// leaves undefined (an integer division by zero, the most negative value
// divided by -1, a shift by the width or more, a float conversion out of the
// integer's range) is not folded: the result has count 0 and the caller emits
// the instruction or reports that the value is not constant.
#include "shader/compiler/Compiler.h"
#include "shader/compiler/CompilerBits.h"

#include "core/Math.h"
#include "shader/ShaderSpirvNumbers.h"

#include <cfloat>
#include <cmath>
#include <cstring>

namespace Vexa {

namespace {

using namespace Spirv;

constexpr uint32_t TypeFloat = Compiler::TypeFloat;
constexpr uint32_t TypeUint = Compiler::TypeUint;
constexpr uint32_t TypeInt = Compiler::TypeInt;
constexpr uint32_t TypeBool = Compiler::TypeBool;
constexpr uint32_t KindMask = Compiler::TypeKindMask;
constexpr uint32_t WidthMask = Compiler::TypeWidthMask;

using namespace CompilerBits;

// the GLSL.std.450 instructions that fold
enum : uint32_t {
	Round = 1,
	RoundEven = 2,
	Trunc = 3,
	FAbs = 4,
	SAbs = 5,
	FSign = 6,
	SSign = 7,
	Floor = 8,
	Ceil = 9,
	Fract = 10,
	Radians = 11,
	Degrees = 12,
	Sin = 13,
	Cos = 14,
	Tan = 15,
	Asin = 16,
	Acos = 17,
	Atan = 18,
	Sinh = 19,
	Cosh = 20,
	Tanh = 21,
	Asinh = 22,
	Acosh = 23,
	Atanh = 24,
	Atan2 = 25,
	Pow = 26,
	Exp = 27,
	Log = 28,
	Exp2 = 29,
	Log2 = 30,
	Sqrt = 31,
	InverseSqrt = 32,
	FMin = 37,
	UMin = 38,
	SMin = 39,
	FMax = 40,
	UMax = 41,
	SMax = 42,
	FClamp = 43,
	UClamp = 44,
	SClamp = 45,
	FMix = 46,
	Step = 48,
	SmoothStep = 49,
	Length = 66,
	Distance = 67,
	Cross = 68,
	Normalize = 69,
};

// the single-precision values nearest to pi/180 and 180/pi
constexpr uint64_t RadiansFactor = 0x3F91DF46A0000000ull;
constexpr uint64_t DegreesFactor = 0x404CA5DC20000000ull;

// the bit width of the components of flags; the widest when several width
// bits are set, 64 when none is
uint32_t width_of(uint32_t flags) {
	if (flags & Compiler::Type64) return 64;
	if (flags & Compiler::Type32) return 32;
	if (flags & Compiler::Type16) return 16;
	return 64;
}

uint64_t zero_extend(uint64_t bits, uint32_t width) {
	return width >= 64 ? bits : bits & ((1ull << width) - 1);
}

uint64_t sign_extend(uint64_t bits, uint32_t width) {
	if (width >= 64) return bits;
	uint64_t mask = (1ull << width) - 1;
	bits &= mask;
	return (bits >> (width - 1)) ? bits | ~mask : bits;
}

// the binary16 value nearest to value, ties to even
double round_half(double value) {
	if (value != value) return value;
	if (!(std::fabs(value) < 65520.0)) return std::copysign(HUGE_VAL, value);
	int exponent = 0;
	std::frexp(value, &exponent);
	exponent = exponent - 1 < -14 ? -14 : exponent - 1;
	double quantum = std::ldexp(1.0, exponent - 10);
	return std::nearbyint(value / quantum) * quantum;
}

// the binary32 value nearest to value, ties to even, without a conversion
// out of the float range
double round_single(double value) {
	double magnitude = std::fabs(value);
	if (magnitude > FLT_MAX && magnitude == magnitude) {
		// halfway between the largest float and 2^128 rounds to infinity (even)
		if (magnitude >= 340282356779733661637539395458142568448.0) return std::copysign(HUGE_VAL, value);
		return std::copysign(static_cast<double>(FLT_MAX), value);
	}
	return static_cast<float>(value);
}

// a result component in the representation of flags: a float rounded to its
// width, an integer reduced to its width by the first of its kind bits
// (unsigned before signed), a bool to 0 or 1
uint64_t reduce(uint64_t bits, uint32_t flags) {
	uint32_t width = width_of(flags);
	if (flags & TypeFloat) {
		if (width == 32) return bits_of(round_single(double_of(bits)));
		if (width == 16) return bits_of(round_half(double_of(bits)));
		return bits;
	}
	if (flags & TypeUint) return zero_extend(bits, width);
	if (flags & TypeInt) return sign_extend(bits, width);
	if (flags & TypeBool) return bits != 0 ? 1 : 0;
	return bits;
}

// truncation of a float toward zero fits a signed or unsigned integer of width
bool truncation_fits(double value, uint32_t width, bool is_signed) {
	double t = std::trunc(value);
	if (t != t) return false;
	double limit = std::ldexp(1.0, static_cast<int>(width) - (is_signed ? 1 : 0));
	if (is_signed) return t >= -limit && t < limit;
	return t >= 0.0 && t < limit;
}

// Integer operands of component index at width: the bits sign- or
// zero-extended from the width; a float operand truncated, false when the
// truncation leaves the 64-bit range (the fold is then not made).
bool read_signed(const Value &value, uint32_t index, uint32_t width, int64_t &ret) {
	if (value.flags & TypeFloat) {
		double d = value.get_f64(index);
		if (!truncation_fits(d, 64, true)) return false;
		ret = static_cast<int64_t>(sign_extend(static_cast<uint64_t>(static_cast<int64_t>(d)), width));
		return true;
	}
	if ((value.flags & KindMask) == 0) ret = 0;
	else ret = static_cast<int64_t>(sign_extend(value.get_bits(index), width));
	return true;
}

bool read_unsigned(const Value &value, uint32_t index, uint32_t width, uint64_t &ret) {
	if (value.flags & TypeFloat) {
		double d = value.get_f64(index);
		if (!truncation_fits(d, 64, false)) return false;
		ret = zero_extend(static_cast<uint64_t>(d), width);
		return true;
	}
	if ((value.flags & KindMask) == 0) ret = 0;
	else ret = zero_extend(value.get_bits(index), width);
	return true;
}

double (*math_function(uint32_t extended))(double) {
	switch (extended) {
	case Sin: return std::sin;
	case Cos: return std::cos;
	case Tan: return std::tan;
	case Asin: return std::asin;
	case Acos: return std::acos;
	case Atan: return std::atan;
	case Sinh: return std::sinh;
	case Cosh: return std::cosh;
	case Tanh: return std::tanh;
	case Asinh: return std::asinh;
	case Acosh: return std::acosh;
	case Atanh: return std::atanh;
	case Exp: return std::exp;
	case Log: return std::log;
	case Exp2: return std::exp2;
	case Log2: return std::log2;
	case Sqrt: return std::sqrt;
	default: return nullptr;
	}
}

// whether GLSL defines the instruction's result at x: outside its domain
// the result is left to the machine, and the call is not folded
bool in_domain(uint32_t extended, double x) {
	switch (extended) {
	case Sqrt: return !(x < 0.0);
	case InverseSqrt:
	case Log:
	case Log2: return !(x <= 0.0);
	case Asin:
	case Acos: return !(std::fabs(x) > 1.0);
	case Acosh: return !(x < 1.0);
	case Atanh: return !(std::fabs(x) >= 1.0);
	default: return true;
	}
}

// the bits of a component as the machine holds it at width
uint64_t representation(const Value &value, uint32_t index, uint32_t width) {
	if (value.flags & TypeFloat) {
		double d = value.get_f64(index);
		if (width == 64) return bits_of(d);
		if (width == 32) {
			float f = static_cast<float>(round_single(d));
			uint32_t ret;
			memcpy(&ret, &f, sizeof(ret));
			return ret;
		}
		return half(static_cast<float>(round_half(d))).bits;
	}
	return zero_extend(value.get_bits(index), width);
}

} // namespace

Value Value::splat(uint32_t size) const {
	if (size > MaxComponents || count == 0) return Value();
	Value ret(flags, size);
	for (uint32_t i = 0; i < size; i++) ret.components[i] = components[0];
	return ret;
}

Value Value::shuffle(const Array<uint32_t> &indices) const {
	if (indices.size() == 0 || indices.size() > MaxComponents || count == 0) return Value();
	Value ret(flags, indices.size());
	for (uint32_t i = 0; i < indices.size(); i++) {
		// the index of a shuffle of a vector with itself may select the second copy
		uint32_t index = indices[i];
		if (index >= count && index - count < count) index -= count;
		if (index >= count) return Value();
		ret.components[i] = components[index];
	}
	return ret;
}

Value Value::bit_cast(uint32_t target) const {
	uint32_t width = width_of(flags);
	if ((flags & KindMask) == 0 || (target & KindMask) == 0 || width != width_of(target)) return Value();
	Value ret(target, count);
	for (uint32_t i = 0; i < count; i++) {
		uint64_t bits = representation(*this, i, width);
		uint64_t &dst = ret.components[i];
		if (target & TypeFloat) {
			if (width == 64) dst = bits;
			else if (width == 32) {
				float f;
				uint32_t word = static_cast<uint32_t>(bits);
				memcpy(&f, &word, sizeof(f));
				dst = bits_of(f);
			} else {
				dst = bits_of(static_cast<float>(half(static_cast<uint16_t>(bits))));
			}
		} else {
			dst = reduce(bits, target);
		}
	}
	return ret;
}

bool Value::is_uniform() const {
	if (count == 0) return false;
	for (uint32_t i = 1; i < count; i++) {
		if (components[i] != components[0]) return false;
	}
	return true;
}

bool Value::is_right_identity(uint32_t opcode) const {
	if (!is_uniform()) return false;
	uint64_t x = components[0];
	if (flags & TypeFloat) {
		switch (opcode) {
		// x - +0.0 keeps every x; x + -0.0 too, where x + +0.0 would turn -0.0 into +0.0
		case OpFAdd: return x == bits_of(-0.0);
		case OpFSub: return x == bits_of(0.0);
		case OpFMul:
		case OpFDiv:
		case OpVectorTimesScalar:
		case OpMatrixTimesScalar: return double_of(x) == 1.0;
		default: return false;
		}
	}
	if ((flags & (TypeUint | TypeInt | TypeBool)) == 0) return false;
	switch (opcode) {
	case OpIAdd:
	case OpISub:
	case OpShiftRightLogical:
	case OpShiftRightArithmetic:
	case OpShiftLeftLogical:
	case OpBitwiseOr:
	case OpBitwiseXor:
	case OpLogicalOr: return x == 0;
	case OpIMul:
	case OpUDiv:
	case OpSDiv: return x == 1;
	case OpBitwiseAnd: return x == reduce(~0ull, flags);
	case OpLogicalAnd: return x != 0;
	default: return false;
	}
}

bool Value::is_left_identity(uint32_t opcode) const {
	if (!is_uniform()) return false;
	uint64_t x = components[0];
	if (flags & TypeFloat) {
		switch (opcode) {
		case OpFAdd: return x == bits_of(-0.0);
		case OpFMul: return double_of(x) == 1.0;
		default: return false;
		}
	}
	if ((flags & (TypeUint | TypeInt | TypeBool)) == 0) return false;
	switch (opcode) {
	case OpIAdd:
	case OpBitwiseOr:
	case OpBitwiseXor:
	case OpLogicalOr: return x == 0;
	case OpIMul: return x == 1;
	case OpBitwiseAnd: return x == reduce(~0ull, flags);
	case OpLogicalAnd: return x != 0;
	default: return false;
	}
}

double Value::ceil(double x) {
	// beyond the signed 64-bit range every double is integral already
	if (!(x > -Two63 && x < Two63)) return x;
	return std::ceil(x);
}

Value Value::unary_operation(uint32_t opcode, uint32_t extended) const {
	// the kind of the result, 0 for the operand's own; a conversion leaves
	// the width to the type of the constant made from the result
	uint32_t kind = 0;
	bool conversion = false;
	double (*function)(double) = nullptr;
	switch (opcode) {
	case OpExtInst:
		switch (extended) {
		case SAbs:
		case SSign: kind = TypeInt; break;
		case Round:
		case RoundEven:
		case Trunc:
		case FSign:
		case Fract:
		case FAbs:
		case Floor:
		case Ceil:
		case Radians:
		case Degrees:
		case InverseSqrt:
		case Normalize: kind = TypeFloat; break;
		default:
			function = math_function(extended);
			if (function == nullptr) return Value();
			kind = TypeFloat;
			break;
		}
		break;
	case Spirv::OpFNegate: kind = TypeFloat; break;
	case Spirv::OpSNegate: kind = TypeInt; break;
	case Spirv::OpConvertUToF:
	case Spirv::OpConvertSToF:
	case Spirv::OpFConvert: kind = TypeFloat; conversion = true; break;
	case Spirv::OpConvertFToS:
	case Spirv::OpSConvert: kind = TypeInt; conversion = true; break;
	case Spirv::OpConvertFToU:
	case Spirv::OpUConvert: kind = TypeUint; conversion = true; break;
	case Spirv::OpBitcast:
		// a float gives its bits; the kind of an integer result is the
		// target's, which only the emitter knows (Value::bit_cast)
		if (flags & TypeFloat) return bit_cast((flags & ~KindMask) | TypeUint);
		break;
	case Spirv::OpLogicalNot:
	case Spirv::OpNot: break;
	default: return Value();
	}

	uint32_t width = width_of(flags);
	uint32_t ret_flags = kind ? ((flags & ~KindMask) | kind) : flags;
	if (conversion) ret_flags &= ~WidthMask;
	Value ret(ret_flags, count);
	for (uint32_t i = 0; i < count; i++) {
		uint64_t &dst = ret.components[i];
		int64_t s = 0;
		uint64_t u = 0;
		switch (opcode) {
		case OpExtInst:
			if ((flags & TypeFloat) && !in_domain(extended, get_f64(i))) return Value();
			switch (extended) {
			case FAbs: dst = bits_of(std::fabs(get_f64(i))); break;
			case SAbs:
				if (!read_signed(*this, i, width, s)) return Value();
				// the most negative value stays as it is
				dst = s < 0 ? 0 - static_cast<uint64_t>(s) : static_cast<uint64_t>(s);
				break;
			case Floor: {
				double value = get_f64(i);
				dst = bits_of(value > -Two63 && value < Two63 ? std::floor(value) : value);
				break;
			}
			case Ceil: dst = bits_of(Value::ceil(get_f64(i))); break;
			case Round: {
				// halves away from zero
				double value = get_f64(i);
				dst = bits_of(value > -Two63 && value < Two63 ? std::round(value) : value);
				break;
			}
			case RoundEven: {
				double value = get_f64(i);
				dst = bits_of(value > -Two63 && value < Two63 ? std::nearbyint(value) : value);
				break;
			}
			case Trunc: dst = bits_of(std::trunc(get_f64(i))); break;
			case FSign: {
				double value = get_f64(i);
				dst = bits_of(value > 0.0 ? 1.0 : value < 0.0 ? -1.0 : value);
				break;
			}
			case SSign:
				if (!read_signed(*this, i, width, s)) return Value();
				dst = static_cast<uint64_t>(s > 0 ? 1 : s < 0 ? -1 : 0);
				break;
			case Fract: {
				// of an infinity the machine's
				double value = get_f64(i);
				if (!std::isfinite(value)) return Value();
				dst = bits_of(value - std::floor(value));
				break;
			}
			case Radians: dst = bits_of(get_f64(i) * double_of(RadiansFactor)); break;
			case Degrees: dst = bits_of(get_f64(i) * double_of(DegreesFactor)); break;
			case InverseSqrt: dst = bits_of(1.0 / std::sqrt(get_f64(i))); break;
			case Normalize: dst = bits_of(get_f64(i)); break;
			default: dst = bits_of(function(get_f64(i))); break;
			}
			break;
		case Spirv::OpFNegate: dst = bits_of(-get_f64(i)); break;
		case Spirv::OpSNegate:
			if (!read_signed(*this, i, width, s)) return Value();
			dst = 0 - static_cast<uint64_t>(s);
			break;
		case Spirv::OpConvertUToF:
			if (!read_unsigned(*this, i, width, u)) return Value();
			dst = bits_of(static_cast<double>(u));
			break;
		case Spirv::OpConvertSToF:
			if (!read_signed(*this, i, width, s)) return Value();
			dst = bits_of(static_cast<double>(s));
			break;
		case Spirv::OpFConvert: dst = bits_of(get_f64(i)); break;
		case Spirv::OpConvertFToU:
			if (!truncation_fits(get_f64(i), 64, false)) return Value();
			dst = static_cast<uint64_t>(get_f64(i));
			break;
		case Spirv::OpConvertFToS:
			if (!truncation_fits(get_f64(i), 64, true)) return Value();
			dst = static_cast<uint64_t>(static_cast<int64_t>(get_f64(i)));
			break;
		// a width change extends by the opcode: zero or sign
		case Spirv::OpUConvert:
			if (!read_unsigned(*this, i, width, u)) return Value();
			dst = u;
			break;
		case Spirv::OpSConvert:
			if (!read_signed(*this, i, width, s)) return Value();
			dst = static_cast<uint64_t>(s);
			break;
		case Spirv::OpLogicalNot: dst = get_bits(i) == 0 ? 1 : 0; break;
		case Spirv::OpNot: dst = ~get_bits(i); break;
		default: dst = get_bits(i); break; // an integer bit cast keeps the bits
		}
		dst = reduce(dst, ret.flags);
	}
	if (opcode == OpExtInst && extended == Normalize) {
		double sum = 0.0;
		for (uint32_t i = 0; i < count; i++) sum += ret.get_f64(i) * ret.get_f64(i);
		// the direction of a zero vector is not defined
		if (!(sum > 0.0) || std::isinf(sum)) return Value();
		double scale = 1.0 / std::sqrt(sum);
		for (uint32_t i = 0; i < count; i++) ret.components[i] = reduce(bits_of(ret.get_f64(i) * scale), ret.flags);
	}
	return ret;
}

Value Value::ternary_operation(const Value &b, const Value &c, uint32_t extended) const {
	const Value &a = *this;
	uint32_t size = a.count > b.count ? a.count : b.count;
	if (c.count > size) size = c.count;
	if (size == 0 || size > MaxComponents) return Value();
	uint32_t kind = 0;
	switch (extended) {
	case FClamp:
	case FMix:
	case SmoothStep: kind = TypeFloat; break;
	case UClamp: kind = TypeUint; break;
	case SClamp: kind = TypeInt; break;
	default: return Value();
	}
	Value ret(((a.flags | b.flags | c.flags) & ~KindMask) | kind, size);
	uint32_t width = width_of(ret.flags);
	for (uint32_t i = 0; i < size; i++) {
		uint64_t &dst = ret.components[i];
		if (kind == TypeFloat) {
			double x = a.get_f64(i);
			double y = b.get_f64(i);
			double z = c.get_f64(i);
			// the machine's with a NaN, and for bounds out of order
			if (std::isnan(x) || std::isnan(y) || std::isnan(z)) return Value();
			double r = 0.0;
			if (extended == FClamp) {
				if (y > z) return Value();
				r = x < y ? y : x > z ? z : x;
			} else if (extended == FMix) {
				r = x * (1.0 - z) + y * z;
			} else {
				if (!(x < y)) return Value();
				double t = (z - x) / (y - x);
				t = t < 0.0 ? 0.0 : t > 1.0 ? 1.0 : t;
				r = t * t * (3.0 - 2.0 * t);
			}
			dst = reduce(bits_of(r), ret.flags);
		} else if (kind == TypeUint) {
			uint64_t x = 0;
			uint64_t low = 0;
			uint64_t high = 0;
			if (!read_unsigned(a, i, width, x) || !read_unsigned(b, i, width, low) || !read_unsigned(c, i, width, high) || low > high) return Value();
			dst = reduce(x < low ? low : x > high ? high : x, ret.flags);
		} else {
			int64_t x = 0;
			int64_t low = 0;
			int64_t high = 0;
			if (!read_signed(a, i, width, x) || !read_signed(b, i, width, low) || !read_signed(c, i, width, high) || low > high) return Value();
			dst = reduce(static_cast<uint64_t>(x < low ? low : x > high ? high : x), ret.flags);
		}
	}
	return ret;
}

Value Value::reduction(const Value &b, uint32_t opcode, uint32_t extended) const {
	const Value &a = *this;
	if (a.count == 0 || !(a.flags & TypeFloat)) return Value();
	uint32_t scalar = (a.flags & ~uint32_t(Compiler::TypeVectorMask | Compiler::TypeMatrixMask | Compiler::TypeComposite)) | Compiler::TypeScalar;
	double sum = 0.0;
	if (opcode == OpExtInst && extended == Cross) {
		if (a.count != 3 || b.count != 3) return Value();
		Value ret(a.flags, 3);
		for (uint32_t i = 0; i < 3; i++) {
			uint32_t j = (i + 1) % 3;
			uint32_t k = (i + 2) % 3;
			ret.components[i] = reduce(bits_of(a.get_f64(j) * b.get_f64(k) - b.get_f64(j) * a.get_f64(k)), ret.flags);
		}
		return ret;
	}
	if (opcode == OpDot) {
		if (a.count != b.count) return Value();
		for (uint32_t i = 0; i < a.count; i++) sum += a.get_f64(i) * b.get_f64(i);
	} else if (opcode == OpExtInst && (extended == Length || extended == Distance)) {
		if (extended == Distance && a.count != b.count) return Value();
		for (uint32_t i = 0; i < a.count; i++) {
			double d = extended == Distance ? a.get_f64(i) - b.get_f64(i) : a.get_f64(i);
			sum += d * d;
		}
		sum = std::sqrt(sum);
	} else {
		return Value();
	}
	Value ret(scalar, 1);
	ret.components[0] = reduce(bits_of(sum), scalar);
	return ret;
}

Value Value::product(const Value &b, uint32_t opcode) const {
	const Value &a = *this;
	// the shapes as the flags give them: a matrix by columns, a vector as
	// one column (left of a matrix, one row)
	uint32_t rows_a = Compiler::get_vector_size(a.flags);
	uint32_t columns_a = Compiler::get_column_count(a.flags);
	uint32_t rows_b = Compiler::get_vector_size(b.flags);
	uint32_t columns_b = Compiler::get_column_count(b.flags);
	uint32_t rows = 0;
	uint32_t columns = 0;
	uint32_t inner = 0;
	if (opcode == OpMatrixTimesMatrix) {
		rows = rows_a, columns = columns_b, inner = columns_a;
		if (columns_a != rows_b || columns_a < 2 || columns_b < 2) return Value();
	} else if (opcode == OpMatrixTimesVector) {
		rows = rows_a, columns = 1, inner = columns_a;
		if (columns_a != rows_b || columns_a < 2 || columns_b != 1) return Value();
	} else {
		// a row vector times a matrix: a vector of its columns' dot products
		rows = columns_b, columns = 1, inner = rows_b;
		if (rows_a != rows_b || columns_a != 1 || columns_b < 2) return Value();
	}
	if (rows < 2 || a.count != rows_a * columns_a || b.count != rows_b * columns_b || !(a.flags & TypeFloat) || !(b.flags & TypeFloat)) return Value();
	auto vector_bits = [](uint32_t size) -> uint32_t { return size == 2 ? Compiler::TypeVector2 : size == 3 ? Compiler::TypeVector3 : Compiler::TypeVector4; };
	auto matrix_bits = [](uint32_t size) -> uint32_t { return size == 2 ? Compiler::TypeMatrix2 : size == 3 ? Compiler::TypeMatrix3 : Compiler::TypeMatrix4; };
	uint32_t flags = ((a.flags | b.flags) & WidthMask) | TypeFloat | Compiler::TypeComposite | vector_bits(rows) | (columns > 1 ? matrix_bits(columns) : 0);
	Value ret(flags, rows * columns);
	for (uint32_t c = 0; c < columns; c++) {
		for (uint32_t r = 0; r < rows; r++) {
			double sum = 0.0;
			for (uint32_t k = 0; k < inner; k++) {
				if (opcode == OpVectorTimesMatrix) sum += a.get_f64(k) * b.get_f64(r * rows_b + k);
				else sum += a.get_f64(k * rows_a + r) * b.get_f64(c * rows_b + k);
			}
			ret.components[c * rows + r] = reduce(bits_of(sum), flags);
		}
	}
	return ret;
}

Value Value::compare(const Value &b, uint32_t opcode) const {
	const Value &a = *this;
	uint32_t size = a.count > b.count ? a.count : b.count;
	if (size == 0 || (a.flags & KindMask) == 0 || (b.flags & KindMask) == 0) return Value();
	uint32_t width = width_of(a.flags | b.flags);
	Value ret((a.flags & ~(KindMask | WidthMask)) | TypeBool | Compiler::Type32, size);
	for (uint32_t i = 0; i < size; i++) {
		bool r = false;
		if (opcode >= OpFOrdEqual) {
			double x = a.get_f64(i);
			double y = b.get_f64(i);
			// an ordered comparison is false with a NaN operand, an unordered one true
			bool unordered = x != x || y != y;
			bool ordered = ((opcode - OpFOrdEqual) & 1) == 0;
			if (unordered) r = !ordered;
			else {
				switch (ordered ? opcode : opcode - 1) {
				case OpFOrdEqual: r = x == y; break;
				case OpFOrdNotEqual: r = x != y; break;
				case OpFOrdLessThan: r = x < y; break;
				case OpFOrdGreaterThan: r = x > y; break;
				case OpFOrdLessThanEqual: r = x <= y; break;
				default: r = x >= y; break; // OpFOrdGreaterThanEqual
				}
			}
		} else if (opcode == OpLogicalEqual || opcode == OpLogicalNotEqual) {
			r = (a.get_bool(i) == b.get_bool(i)) == (opcode == OpLogicalEqual);
		} else if (opcode == OpSGreaterThan || opcode == OpSGreaterThanEqual || opcode == OpSLessThan || opcode == OpSLessThanEqual) {
			int64_t x = 0;
			int64_t y = 0;
			if (!read_signed(a, i, width, x) || !read_signed(b, i, width, y)) return Value();
			switch (opcode) {
			case OpSGreaterThan: r = x > y; break;
			case OpSGreaterThanEqual: r = x >= y; break;
			case OpSLessThan: r = x < y; break;
			default: r = x <= y; break; // OpSLessThanEqual
			}
		} else {
			uint64_t x = 0;
			uint64_t y = 0;
			if (!read_unsigned(a, i, width, x) || !read_unsigned(b, i, width, y)) return Value();
			switch (opcode) {
			case OpIEqual: r = x == y; break;
			case OpINotEqual: r = x != y; break;
			case OpUGreaterThan: r = x > y; break;
			case OpUGreaterThanEqual: r = x >= y; break;
			case OpULessThan: r = x < y; break;
			default: r = x <= y; break; // OpULessThanEqual
			}
		}
		ret.components[i] = r ? 1 : 0;
	}
	return ret;
}

Value Value::binary_operation(const Value &b, uint32_t opcode, uint32_t extended) const {
	const Value &a = *this;
	uint32_t size = a.count > b.count ? a.count : b.count;
	if (size == 0) return Value();

	if (opcode == OpMatrixTimesMatrix || opcode == OpMatrixTimesVector || opcode == OpVectorTimesMatrix) return product(b, opcode);

	// a comparison gives a bool for each component
	if (opcode >= OpLogicalEqual && opcode <= OpFUnordGreaterThanEqual && opcode != OpLogicalOr && opcode != OpLogicalAnd && opcode != OpLogicalNot
		&& opcode != OpSelect) {
		return compare(b, opcode);
	}

	// the kind of the result, and how the operands are read
	enum Read { Double, Signed, Unsigned, Shift };
	Read read = Double;
	uint32_t kind = 0;
	switch (opcode) {
	case OpExtInst:
		if (extended == UMin || extended == UMax || extended == SMin || extended == SMax) {
			Value ret((a.flags | b.flags) & ~KindMask, size);
			ret.flags |= (extended == UMin || extended == UMax) ? TypeUint : TypeInt;
			uint32_t width = width_of(ret.flags);
			for (uint32_t i = 0; i < size; i++) {
				uint64_t r = 0;
				if (extended == UMin || extended == UMax) {
					uint64_t x = 0;
					uint64_t y = 0;
					if (!read_unsigned(a, i, width, x) || !read_unsigned(b, i, width, y)) return Value();
					r = (extended == UMin) == (x < y) ? x : y;
				} else {
					int64_t x = 0;
					int64_t y = 0;
					if (!read_signed(a, i, width, x) || !read_signed(b, i, width, y)) return Value();
					r = static_cast<uint64_t>((extended == SMin) == (x < y) ? x : y);
				}
				ret.components[i] = reduce(r, ret.flags);
			}
			return ret;
		}
		if (extended != Atan2 && extended != Pow && extended != FMin && extended != FMax && extended != Step) return Value();
		kind = TypeFloat;
		break;
	case OpFAdd:
	case OpFSub:
	case OpFMul:
	case OpFDiv:
	case OpFRem:
	case OpFMod:
	case OpVectorTimesScalar:
	case OpMatrixTimesScalar: kind = TypeFloat; break;
	case OpIAdd:
	case OpISub:
	case OpIMul:
	case OpSDiv:
	case OpSRem:
	case OpSMod:
	case OpLogicalOr:
	case OpLogicalAnd:
	case OpBitwiseOr:
	case OpBitwiseXor:
	case OpBitwiseAnd: kind = TypeInt; read = Signed; break;
	case OpUDiv:
	case OpUMod: kind = TypeUint; read = Unsigned; break;
	case OpShiftRightLogical:
	case OpShiftRightArithmetic:
	case OpShiftLeftLogical: kind = TypeInt; read = Shift; break;
	default: return Value();
	}

	// a shift has the width of its base; the shift count may have another
	uint32_t ret_flags = (read == Shift ? a.flags : a.flags | b.flags) | kind;
	uint32_t width = width_of(ret_flags);
	Value ret(ret_flags, size);
	for (uint32_t i = 0; i < size; i++) {
		uint64_t &dst = ret.components[i];
		if (read == Double) {
			double x = a.get_f64(i);
			double y = (opcode == OpVectorTimesScalar || opcode == OpMatrixTimesScalar) ? (b.count ? b.get_f64(0) : 0.0) : b.get_f64(i);
			double r = 0.0;
			switch (opcode) {
			case OpFAdd: r = x + y; break;
			case OpFSub: r = x - y; break;
			case OpFDiv: r = x / y; break;
			case OpFRem:
			case OpFMod:
				// left to the machine for a zero or infinite divisor and an infinite dividend
				if (!std::isfinite(x) || !std::isfinite(y) || y == 0.0) return Value();
				r = std::fmod(x, y);
				// OpFMod takes the sign of the divisor
				if (opcode == OpFMod) {
					if (r == 0.0) r = std::copysign(0.0, y);
					else if (std::signbit(r) != std::signbit(y)) r += y;
				}
				break;
			case OpExtInst:
				// outside the domains GLSL defines (and with a NaN for min
				// and max) the result is the machine's
				if (std::isnan(x) || std::isnan(y)) return Value();
				if (extended == Atan2 && x == 0.0 && y == 0.0) return Value();
				if (extended == Pow && (x < 0.0 || (x == 0.0 && y <= 0.0))) return Value();
				switch (extended) {
				case Atan2: r = std::atan2(x, y); break;
				case Pow: r = std::pow(x, y); break;
				case Step: r = y < x ? 0.0 : 1.0; break; // the edge first
				case FMin: r = x < y ? x : y; break;
				default: r = y > x ? y : x; break; // FMax
				}
				break;
			default: r = x * y; break; // FMul and the times-scalar products
			}
			dst = reduce(bits_of(r), ret_flags);
			continue;
		}

		uint64_t r = 0;
		if (read == Shift) {
			uint64_t base = 0;
			uint64_t shift = 0;
			if (!read_unsigned(a, i, width, base) || !read_unsigned(b, i, width_of(b.flags), shift)) return Value();
			if (shift >= width) return Value();
			if (opcode == OpShiftLeftLogical) r = base << shift;
			else if (opcode == OpShiftRightLogical) r = base >> shift;
			else {
				// the sign bit of the base's width repeated from the left
				uint64_t value = sign_extend(base, width);
				r = (value >> 63) ? ~(~value >> shift) : value >> shift;
			}
		} else if (read == Unsigned) {
			uint64_t x = 0;
			uint64_t y = 0;
			if (!read_unsigned(a, i, width, x) || !read_unsigned(b, i, width, y)) return Value();
			if (y == 0) return Value();
			r = opcode == OpUDiv ? x / y : x % y;
		} else {
			int64_t x = 0;
			int64_t y = 0;
			if (!read_signed(a, i, width, x) || !read_signed(b, i, width, y)) return Value();
			uint64_t ux = static_cast<uint64_t>(x);
			uint64_t uy = static_cast<uint64_t>(y);
			switch (opcode) {
			case OpIAdd: r = ux + uy; break;
			case OpISub: r = ux - uy; break;
			case OpIMul: r = ux * uy; break;
			case OpSDiv:
			case OpSRem:
			case OpSMod: {
				int64_t smallest = static_cast<int64_t>(sign_extend(1ull << (width - 1), width));
				if (y == 0 || (x == smallest && y == -1)) return Value();
				int64_t q = x / y;
				int64_t m = x % y;
				// OpSMod takes the sign of the divisor, OpSRem that of the dividend
				if (opcode == OpSMod && m != 0 && (m < 0) != (y < 0)) m += y;
				r = static_cast<uint64_t>(opcode == OpSDiv ? q : m);
				break;
			}
			case OpLogicalOr: r = (x != 0 || y != 0) ? 1 : 0; break;
			case OpLogicalAnd: r = (x != 0 && y != 0) ? 1 : 0; break;
			case OpBitwiseOr: r = ux | uy; break;
			case OpBitwiseXor: r = ux ^ uy; break;
			default: r = ux & uy; break; // OpBitwiseAnd
			}
		}
		dst = reduce(r, ret_flags);
	}
	return ret;
}

} // namespace Vexa
