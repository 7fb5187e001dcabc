// The compile-time constant Value: its component accessors, the conversions
// of append, and the folding of one-operand instructions. Conversions from
// double to a 64-bit integer saturate at the ends of the integer's range and
// give 0 for a NaN, so that no input value leaves the folding undefined.
#include "shader/compiler/Compiler.h"

#include "core/Math.h"
#include "shader/ShaderSpirvNumbers.h"

#include <cmath>
#include <cstring>

namespace Vexa {

namespace {

constexpr uint32_t TypeFloat = Compiler::TypeFloat;
constexpr uint32_t TypeUint = Compiler::TypeUint;
constexpr uint32_t TypeInt = Compiler::TypeInt;
constexpr uint32_t TypeBool = Compiler::TypeBool;
constexpr uint32_t KindMask = Compiler::TypeKindMask;

constexpr double Two63 = 9223372036854775808.0;
constexpr double Two64 = 18446744073709551616.0;

uint64_t bits_of(double value) {
	uint64_t ret;
	memcpy(&ret, &value, sizeof(ret));
	return ret;
}

double double_of(uint64_t bits) {
	double ret;
	memcpy(&ret, &bits, sizeof(ret));
	return ret;
}

// truncation toward zero
int64_t to_i64(double value) {
	if (value != value) return 0;
	if (value >= Two63) return INT64_MAX;
	if (value < -Two63) return INT64_MIN;
	return static_cast<int64_t>(value);
}

// truncation toward zero; values from 2^63 up go through subtracting 2^63,
// negative ones give the bits of the signed truncation
uint64_t to_u64(double value) {
	if (value >= Two64) return UINT64_MAX;
	if (value >= Two63) return static_cast<uint64_t>(static_cast<int64_t>(value - Two63)) + (1ull << 63);
	return static_cast<uint64_t>(to_i64(value));
}

// the GLSL.std.450 instructions that fold
enum : uint32_t {
	FAbs = 4,
	SAbs = 5,
	Floor = 8,
	Ceil = 9,
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
	Exp = 27,
	Log = 28,
	Exp2 = 29,
	Log2 = 30,
	Sqrt = 31,
	InverseSqrt = 32,
	Normalize = 69,
};

// the single-precision values nearest to pi/180 and 180/pi
const double RadiansFactor = double_of(0x3F91DF46A0000000ull);
const double DegreesFactor = double_of(0x404CA5DC20000000ull);

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

} // namespace

Value::Value() : flags(0), count(0), components{} {
}

Value::Value(uint32_t count) : flags(0), count(count < MaxComponents ? count : MaxComponents), components{} {
}

Value::Value(uint32_t flags, uint32_t count) : flags(flags), count(count < MaxComponents ? count : MaxComponents), components{} {
}

Value::Value(const Value &value, uint32_t index) : flags(value.flags), count(1), components{} {
	components[0] = value.get_bits(index);
}

Value::Value(const Value &value, uint32_t first, uint32_t count) : flags(value.flags), count(count < MaxComponents ? count : MaxComponents), components{} {
	for (uint32_t i = 0; i < this->count; i++) components[i] = value.get_bits(first + i);
}

uint64_t Value::get_bits(uint32_t index) const {
	if (count == 1) return components[0];
	return index < count ? components[index] : 0;
}

bool Value::get_bool(uint32_t index) const {
	uint64_t bits = get_bits(index);
	if (flags & TypeFloat) {
		double value = double_of(bits);
		return value < 0.0 || value > 0.0;
	}
	if (flags & (TypeUint | TypeInt | TypeBool)) return bits != 0;
	return false;
}

double Value::get_f64(uint32_t index) const {
	uint64_t bits = get_bits(index);
	if (flags & TypeFloat) return double_of(bits);
	if (flags & TypeUint) return static_cast<double>(bits);
	if (flags & (TypeInt | TypeBool)) return static_cast<double>(static_cast<int64_t>(bits));
	return 0.0;
}

int64_t Value::get_i64(uint32_t index) const {
	uint64_t bits = get_bits(index);
	if (flags & TypeFloat) return to_i64(double_of(bits));
	if (flags & (TypeUint | TypeInt | TypeBool)) return static_cast<int64_t>(bits);
	return 0;
}

uint64_t Value::get_u64(uint32_t index) const {
	uint64_t bits = get_bits(index);
	if (flags & TypeFloat) return to_u64(double_of(bits));
	if (flags & (TypeUint | TypeInt | TypeBool)) return bits;
	return 0;
}

void Value::set_bool(uint32_t index, bool value) {
	if (index >= MaxComponents) return;
	components[index] = value ? 1 : 0;
	flags |= TypeBool;
}

void Value::set_f64(uint32_t index, double value) {
	if (index >= MaxComponents) return;
	components[index] = bits_of(value);
	flags |= TypeFloat;
}

void Value::set_i64(uint32_t index, int64_t value) {
	if (index >= MaxComponents) return;
	components[index] = static_cast<uint64_t>(value);
	flags |= TypeInt;
}

void Value::set_u64(uint32_t index, uint64_t value) {
	if (index >= MaxComponents) return;
	components[index] = value;
	flags |= TypeUint;
}

bool Value::append(const Value &source, uint32_t first, uint32_t size) {
	if (size == 0) size = source.count > first ? source.count - first : 0;
	if (flags == 0) flags = source.flags;
	for (uint32_t i = 0; i < size; i++) {
		if (count >= MaxComponents) return false;
		uint32_t index = first + i;
		uint64_t bits = 0;
		if (flags & TypeFloat) bits = bits_of(source.get_f64(index));
		else if (flags & TypeUint) bits = source.get_u64(index);
		else if (flags & TypeInt) bits = static_cast<uint64_t>(source.get_i64(index));
		else if (flags & (TypeBool | Compiler::TypeWidthMask)) bits = source.get_bool(index) ? 1 : 0;
		// no kind: the bits as they are, without broadcast
		else bits = index < source.count ? source.components[index] : 0;
		components[count++] = bits;
	}
	return true;
}

Value Value::negate() const {
	if ((flags & (TypeFloat | TypeUint | TypeInt)) == 0) return Value();
	Value ret(flags, count);
	for (uint32_t i = 0; i < count; i++) {
		// a float by its sign bit, so that 0.0 becomes -0.0
		if (flags & TypeFloat) ret.components[i] = components[i] ^ (1ull << 63);
		else ret.components[i] = 0 - components[i];
	}
	return ret;
}

Value Value::unary_operation(uint32_t opcode, uint32_t extended) const {
	// the kind of the result, 0 for the operand's own
	uint32_t kind = 0;
	double (*function)(double) = nullptr;
	switch (opcode) {
	case Spirv::OpExtInst:
		switch (extended) {
		case SAbs: kind = TypeInt; break;
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
	case Spirv::OpFNegate:
	case Spirv::OpConvertUToF:
	case Spirv::OpConvertSToF: kind = TypeFloat; break;
	case Spirv::OpSNegate:
	case Spirv::OpConvertFToS: kind = TypeInt; break;
	case Spirv::OpConvertFToU: kind = TypeUint; break;
	case Spirv::OpBitcast:
	case Spirv::OpUConvert:
	case Spirv::OpSConvert:
	case Spirv::OpFConvert:
	case Spirv::OpLogicalNot:
	case Spirv::OpNot: break;
	default: return Value();
	}

	Value ret(kind ? ((flags & ~KindMask) | kind) : flags, count);
	for (uint32_t i = 0; i < count; i++) {
		uint64_t &dst = ret.components[i];
		switch (opcode) {
		case Spirv::OpExtInst:
			switch (extended) {
			case FAbs: dst = bits_of(std::fabs(get_f64(i))); break;
			case SAbs: dst = static_cast<uint64_t>(abs(get_i64(i))); break;
			case Floor: {
				double value = get_f64(i);
				dst = bits_of(value > -Two63 && value < Two63 ? std::floor(value) : value);
				break;
			}
			case Ceil: {
				double value = get_f64(i);
				dst = bits_of(value > -Two63 && value < Two63 ? std::ceil(value) : value);
				break;
			}
			case Radians: dst = bits_of(get_f64(i) * RadiansFactor); break;
			case Degrees: dst = bits_of(get_f64(i) * DegreesFactor); break;
			case InverseSqrt: dst = bits_of(1.0 / std::sqrt(get_f64(i))); break;
			case Normalize: dst = bits_of(get_f64(i)); break;
			default: dst = bits_of(function(get_f64(i))); break;
			}
			break;
		case Spirv::OpFNegate: dst = bits_of(-get_f64(i)); break;
		case Spirv::OpSNegate: dst = 0 - static_cast<uint64_t>(get_i64(i)); break;
		case Spirv::OpConvertUToF: dst = bits_of(static_cast<double>(get_u64(i))); break;
		case Spirv::OpConvertSToF: dst = bits_of(static_cast<double>(get_i64(i))); break;
		case Spirv::OpConvertFToU: dst = to_u64(get_f64(i)); break;
		case Spirv::OpConvertFToS: dst = static_cast<uint64_t>(to_i64(get_f64(i))); break;
		case Spirv::OpLogicalNot: dst = get_bits(i) == 0 ? 1 : 0; break;
		case Spirv::OpNot: dst = ~get_bits(i); break;
		default: dst = get_bits(i); break; // bitcast and width changes keep the bits
		}
	}
	if (opcode == Spirv::OpExtInst && extended == Normalize) {
		double sum = 0.0;
		for (uint32_t i = 0; i < count; i++) sum += ret.get_f64(i) * ret.get_f64(i);
		double scale = 1.0 / std::sqrt(sum);
		for (uint32_t i = 0; i < count; i++) ret.components[i] = bits_of(ret.get_f64(i) * scale);
	}
	return ret;
}

} // namespace Vexa
