// The compile-time constant Value: its component accessors and the
// conversions of append. Conversions from
// double to a 64-bit integer saturate at the ends of the integer's range and
// give 0 for a NaN, so that no input value leaves the folding undefined.
#include "shader/compiler/Compiler.h"
#include "shader/compiler/CompilerBits.h"

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

using namespace CompilerBits;

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
		// a NaN is not zero, so it is true
		return double_of(bits) != 0.0;
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

} // namespace Vexa
