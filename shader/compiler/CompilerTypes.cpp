// Types as the parsers see them: the translations between internal type names
// and TypeFlags words, the component count, byte size and alignment that
// follow from the flags (with the rounding of sizes to an alignment), and the
// swizzle letters.
#include "shader/compiler/Compiler.h"

#include "core/Error.h"

namespace Vexa {

namespace {

// The numeric name patterns, tried in order; the first that converts all its
// items decides the kind.
struct NumericPattern {
	const char *format;
	uint32_t items;
	uint32_t flags;
};

const NumericPattern numeric_patterns[] = {
	{"f%uv%um%u", 3, Compiler::TypeComposite | Compiler::TypeFloat},
	{"f%uv%u", 2, Compiler::TypeComposite | Compiler::TypeFloat},
	{"u%uv%u", 2, Compiler::TypeComposite | Compiler::TypeUint},
	{"i%uv%u", 2, Compiler::TypeComposite | Compiler::TypeInt},
	{"b%uv%u", 2, Compiler::TypeComposite | Compiler::TypeBool},
	{"f%u", 1, Compiler::TypeScalar | Compiler::TypeFloat},
	{"u%u", 1, Compiler::TypeScalar | Compiler::TypeUint},
	{"i%u", 1, Compiler::TypeScalar | Compiler::TypeInt},
	{"b%u", 1, Compiler::TypeScalar | Compiler::TypeBool},
};

// the text of s with every before replaced by after
String replaced(const String &s, const char *before, const char *after) {
	return s.find(before) == ~0u ? s : s.replace(before, after);
}

// bytes of one component: 16 for anything without a width (structures)
uint32_t scalar_size(uint32_t flags) {
	if (flags & Compiler::Type16) return 2;
	if (flags & Compiler::Type32) return 4;
	if (flags & Compiler::Type64) return 8;
	return 16;
}

} // namespace

uint32_t Compiler::get_type_flags(const String &name) {
	uint32_t ret = 0;
	uint32_t width = 0;
	uint32_t size = 0;
	uint32_t columns = 0;
	for (const NumericPattern &pattern : numeric_patterns) {
		width = size = columns = 0;
		if (name.scanf(pattern.format, &width, &size, &columns) == pattern.items) {
			ret = pattern.flags;
			// a vector pattern needs a size ("f32v" names nothing)
			if (pattern.items >= 2 && size == 0) width = 0;
			break;
		}
	}
	if (ret == 0) width = 0;
	if (name.find('[') != ~0u) ret |= TypeRuntimeArray;
	switch (width) {
	case 16: ret |= Type16; break;
	case 32: ret |= Type32; break;
	case 64: ret |= Type64; break;
	default: width = 0; break;
	}
	switch (size) {
	case 0: break;
	case 2: ret |= TypeVector2; break;
	case 3: ret |= TypeVector3; break;
	case 4: ret |= TypeVector4; break;
	default: width = 0; break;
	}
	switch (columns) {
	case 0: break;
	case 2: ret |= TypeMatrix2; break;
	case 3: ret |= TypeMatrix3; break;
	case 4: ret |= TypeMatrix4; break;
	default: throwError("unknown type \"%s\"\n", name.get());
	}
	if (width == 0) throwError("unknown type \"%s\"\n", name.get());
	return ret;
}

String Compiler::get_type_name(uint32_t flags) {
	String ret;
	if (flags & TypeVoid) ret = "void";
	else if (flags & TypeFloat) ret = "f";
	else if (flags & TypeUint) ret = "u";
	else if (flags & TypeInt) ret = "i";
	else if (flags & TypeBool) ret = "b";

	if (flags & TypeBool) ret.append("32");
	else if (flags & Type16) ret.append("16");
	else if (flags & Type32) ret.append("32");
	else if (flags & Type64) ret.append("64");

	uint32_t size = get_vector_size(flags);
	if (size > 1) ret.append('v').append(char('0' + size));
	uint32_t columns = get_column_count(flags);
	if (columns > 1) ret.append('m').append(char('0' + columns));

	// an image is named as declared: the dimension, the kind of an integer
	// image (and its width when 64-bit), then multisampled, arrayed and depth
	if (flags & TypeImageMask) {
		if (flags & TypeImage2D) ret = "image2D";
		else if (flags & TypeImage3D) ret = "image3D";
		else if (flags & TypeImageCube) ret = "imageCube";
		else ret = "imageBuffer";
		if ((flags & (TypeInt | TypeUint)) && !(flags & TypeFloat)) {
			ret.append((flags & TypeInt) ? 'I' : 'U');
			if (flags & Type64) ret.append("64");
		}
		if (flags & TypeImageMS) ret.append("MS");
		if (flags & TypeImageArray) ret.append("Array");
		if (flags & TypeImageShadow) ret.append("Shadow");
	}
	if (flags & TypeTexture) ret = replaced(ret, "image", "texture");
	if (flags & TypeSampled) ret = replaced(ret, "texture", "sampler");

	if (flags & TypeSampler) ret = "sampler";
	if (flags & TypeAccelerationStructure) ret = "accelerationStructure";
	if (flags & TypeRayQuery) ret = "ray_query";
	if (flags & TypeStructure) ret = "structure";
	if (flags & TypeFunction) ret = "function";

	if (flags & TypePointer) ret.append("_ptr");
	if (flags & TypeRuntimeArray) ret.append("[]");
	if (ret.empty()) ret = "unknown";
	return ret;
}

uint32_t Compiler::get_vector_size(uint32_t flags) {
	// both bits first: 0x600 is four components
	if ((flags & TypeVectorMask) == TypeVector4) return 4;
	if (flags & TypeVector3) return 3;
	if (flags & TypeVector2) return 2;
	return 1;
}

uint32_t Compiler::get_column_count(uint32_t flags) {
	if ((flags & TypeMatrixMask) == TypeMatrix4) return 4;
	if (flags & TypeMatrix3) return 3;
	if (flags & TypeMatrix2) return 2;
	return 1;
}

uint32_t Compiler::get_type_components(uint32_t flags) {
	return get_vector_size(flags) * get_column_count(flags);
}

uint32_t Compiler::get_type_size(uint32_t flags) {
	uint32_t size = scalar_size(flags) * get_vector_size(flags);
	uint32_t columns = get_column_count(flags);
	// the columns of a matrix lie at the column alignment, so a column of
	// three components takes the room of four
	if (columns > 1) size = align_size(size, get_type_alignment(flags)) * columns;
	return size;
}

uint32_t Compiler::get_type_alignment(uint32_t flags) {
	uint32_t size = get_vector_size(flags);
	return scalar_size(flags) * (size >= 3 ? 4 : size);
}

uint32_t Compiler::get_type_stride(uint32_t flags) {
	return align_size(get_type_size(flags), get_type_alignment(flags));
}

uint32_t Compiler::align_size(uint32_t value, uint32_t alignment) {
	if (alignment == 0) return 0;
	if ((alignment & (alignment - 1)) == 0) return (value + alignment - 1) & ~(alignment - 1);
	value += alignment - 1;
	return value - value % alignment;
}

uint32_t Compiler::get_swizzle_index(char c) {
	switch (c) {
	case 'x':
	case 'r':
	case 's': return 0;
	case 'y':
	case 'g':
	case 't': return 1;
	case 'z':
	case 'b':
	case 'p': return 2;
	case 'w':
	case 'a':
	case 'q': return 3;
	default: return ~0u;
	}
}

} // namespace Vexa
