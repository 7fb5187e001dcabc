// Element storage for the containers. Every block is 16-byte aligned, carries
// a tag byte and the distance back to the start of the malloc block just
// before the data, and holds fully constructed elements over its whole
// capacity, so that arrays can reuse the slots past their size without
// constructing them again. Two process-wide counters follow the bytes and
// blocks in use; they exist for debugging and nothing in the system reads them.
//
// A failed allocation never returns null into code that would write through
// it: it throws std::bad_alloc, as String does when its storage runs out.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>

namespace Vexa {

class Allocator {
public:
	static constexpr size_t Alignment = 16;
	static constexpr uint8_t Tag = 0x52;

	// bytes handed out in live blocks, and the number of live blocks
	static inline std::atomic<uint64_t> allocated{0};
	static inline std::atomic<uint32_t> blocks{0};

	// null for count 0; otherwise count value-initialised elements
	template <class T>
	static T *allocate(size_t count) {
		static_assert(alignof(T) <= Alignment, "element alignment above the block alignment");
		if (count == 0) return nullptr;
		if (count > (SIZE_MAX - Alignment) / sizeof(T)) outOfMemory();
		T *data = static_cast<T *>(allocateBlock(count * sizeof(T)));
		if constexpr (std::is_nothrow_default_constructible<T>::value) {
			for (size_t i = 0; i < count; i++) new (data + i) T();
		} else {
			size_t i = 0;
			try {
				for (; i < count; i++) new (data + i) T();
			} catch (...) {
				while (i) data[--i].~T();
				freeBlock(data);
				throw;
			}
		}
		allocated.fetch_add(count * sizeof(T));
		blocks.fetch_add(1);
		return data;
	}

	// count must be the element count the block was allocated with
	template <class T>
	static void deallocate(T *data, size_t count) {
		if (data == nullptr) return;
		if constexpr (!std::is_trivially_destructible<T>::value) {
			for (size_t i = 0; i < count; i++) data[i].~T();
		}
		freeBlock(data);
		allocated.fetch_sub(count * sizeof(T));
		blocks.fetch_sub(1);
	}

	// throws std::bad_alloc: the request cannot be met
	[[noreturn]] static void outOfMemory();

private:
	static void *allocateBlock(size_t bytes);
	static void freeBlock(void *data);
};

} // namespace Vexa
