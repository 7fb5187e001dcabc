// The untyped half of the container allocator: the aligned, tagged malloc
// blocks. Kept out of the header so that every element type shares one copy.
#include "core/Allocator.h"

#include <cstdlib>

namespace Vexa {

void Allocator::outOfMemory() {
	throw std::bad_alloc();
}

void *Allocator::allocateBlock(size_t bytes) {
	uint8_t *block = static_cast<uint8_t *>(malloc(bytes + Alignment));
	if (block == nullptr) outOfMemory();
	// malloc aligns to at least 8, so the offset is 8 or 16 and always leaves
	// room for the offset and tag bytes; an already aligned block moves a whole step
	size_t offset = Alignment - (reinterpret_cast<uintptr_t>(block) % Alignment);
	uint8_t *data = block + offset;
	data[-1] = Tag;
	data[-2] = static_cast<uint8_t>(offset);
	return data;
}

void Allocator::freeBlock(void *data) {
	uint8_t *bytes = static_cast<uint8_t *>(data);
	free(bytes - bytes[-2]);
}

} // namespace Vexa
