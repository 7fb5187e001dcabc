// The growable sequence of the whole system. An Array owns its storage when
// bit 31 of `capacity` is set (the block came from Allocator); otherwise the
// storage belongs to someone else (the inline buffer of an ArrayStack, or a
// buffer adopted with setBuffer) and is never freed here.
//
// Every slot of owned storage is a constructed element, not only the first
// `length` of them: slots past the size keep their last value and are reused
// through assignment, so clearing an array of Strings keeps their buffers.
// Growth is by about 1.5 and the capacity never shrinks until release.
//
// Indices are not checked: callers keep them below the size. A value passed by
// reference may live in the array itself; it is copied before the storage
// moves or the elements shift. Running out of memory throws std::bad_alloc
// before the array changes.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <type_traits>
#include <utility>

#include "core/Allocator.h"

namespace Vexa {

template <class T>
class Array {
public:
	static constexpr uint32_t Owned = 0x80000000u;
	static constexpr uint32_t MaxCapacity = 0x7fffffffu;

	// A position in the array between `first` and `last` (one past the end).
	struct Iterator {
		T *first;
		T *last;
		T *current;

		Iterator &operator++() {
			if (current != last) current++;
			return *this;
		}
		Iterator &operator--() {
			if (current != first) current--;
			return *this;
		}
		Iterator &operator+=(int32_t n) {
			// clamped to the range so that a step can never leave the storage
			if (n >= 0) current = (last - current > n) ? current + n : last;
			else current = (current - first > -static_cast<int64_t>(n)) ? current + n : first;
			return *this;
		}
		T &operator*() const { return *current; }
		T *operator->() const { return current; }
		T *get() const { return current; }
		explicit operator bool() const { return current != last; }
		bool operator==(const Iterator &it) const { return current == it.current; }
		bool operator!=(const Iterator &it) const { return current != it.current; }
	};

	Array() : capacity(0), length(0), data(nullptr) {}
	explicit Array(uint32_t size) : capacity(0), length(0), data(nullptr) { resize(size); }
	Array(const Array &a) : capacity(0), length(0), data(nullptr) { assign(a.data, a.length); }
	// Takes owned storage; storage that is not owned (an ArrayStack's inline
	// buffer) dies with its owner, so its elements are copied instead.
	Array(Array &&a) : capacity(0), length(0), data(nullptr) { take(a); }
	~Array() { release(); }

	Array &operator=(const Array &a) {
		if (a.data != data) assign(a.data, a.length);
		return *this;
	}
	Array &operator=(Array &&a) {
		if (&a != this) take(a);
		return *this;
	}

	// Copies size elements; src may point into this array's own storage.
	void assign(const T *src, uint32_t size) {
		if (getCapacity() < size) {
			// a source of more elements than the storage holds cannot lie in it
			T *block = Allocator::allocate<T>(checked(size));
			releaseStorage();
			data = block;
			capacity = size | Owned;
		}
		length = size;
		copyElements(data, src, size);
	}

	// size copies of value; the old contents are discarded
	void assign(uint32_t size, const T &value, bool grow = false) {
		if (getCapacity() < size && inside(&value)) {
			T copy(value);
			assign(size, copy, grow);
			return;
		}
		resize(size, grow, true);
		for (uint32_t i = 0; i < size; i++) data[i] = value;
	}

	// room for size elements; the size stays
	void reserve(uint32_t size, bool discard = false) {
		if (getCapacity() >= size) return;
		reallocate(growth(size), discard);
	}

	// sets the size, making room for exactly size elements, or with grow for
	// the amortised capacity
	void resize(uint32_t size, bool grow = false, bool discard = false) {
		if (getCapacity() < size) reallocate(grow ? growth(size) : checked(size), discard);
		length = size;
	}

	Array &append(const T &value) {
		if (getCapacity() <= length && inside(&value)) {
			T copy(value);
			return append(copy);
		}
		reserve(length + 1);
		data[length++] = value;
		return *this;
	}

	// value may be one of the elements that move up
	void insert(uint32_t index, const T &value) {
		if (inside(&value)) {
			T copy(value);
			insert(index, copy);
			return;
		}
		reserve(length + 1);
		if constexpr (std::is_trivially_copyable<T>::value) {
			memmove(static_cast<void *>(data + index + 1), data + index, sizeof(T) * (length - index));
		} else {
			for (uint32_t i = length; i > index; i--) data[i] = std::move(data[i - 1]);
		}
		length++;
		data[index] = value;
	}

	// count ~0u removes everything from index to the end
	void remove(uint32_t index, uint32_t count = 1) {
		if (count == ~0u) count = length - index;
		if constexpr (std::is_trivially_copyable<T>::value) {
			memmove(static_cast<void *>(data + index), data + index + count, sizeof(T) * (length - index - count));
		} else {
			for (uint32_t i = index + count; i < length; i++) data[i - count] = std::move(data[i]);
		}
		length -= count;
	}

	void pop(uint32_t count = 1) { length -= count; }
	void clear() { length = 0; }

	// frees owned storage; storage that is not owned stays adopted
	void release() {
		if (isOwned()) {
			releaseStorage();
		} else {
			length = 0;
		}
	}

	// adopts a caller's buffer without taking ownership
	void setBuffer(T *buffer, uint32_t size, uint32_t count) {
		releaseStorage();
		if (buffer == nullptr || size == 0) return;
		capacity = size & MaxCapacity;
		length = count;
		data = buffer;
	}

	// access
	uint32_t size() const { return length; }
	explicit operator bool() const { return length != 0; }
	size_t bytes() const { return sizeof(T) * length; }
	uint32_t getCapacity() const { return capacity & MaxCapacity; }
	bool isOwned() const { return (capacity & Owned) != 0; }
	T *get() { return data; }
	const T *get() const { return data; }
	T &operator[](uint32_t index) { return data[index]; }
	const T &operator[](uint32_t index) const { return data[index]; }
	T &back(uint32_t index = 0) { return data[length - 1 - index]; }
	const T &back(uint32_t index = 0) const { return data[length - 1 - index]; }

	// index of the first element equal to value, ~0u when there is none;
	// any type that compares with T will do (a C string for String elements)
	template <class U>
	uint32_t find(const U &value) const {
		for (uint32_t i = 0; i < length; i++) {
			if (data[i] == value) return i;
		}
		return ~0u;
	}

	// the first element equal to value, or the end
	template <class U>
	Iterator findIterator(const U &value) const {
		Iterator it = end();
		uint32_t index = find(value);
		if (index != ~0u) it.current = data + index;
		return it;
	}

	Iterator begin() const { return Iterator{data, data + length, data}; }
	Iterator end() const { return Iterator{data, data + length, data + length}; }

	// the capacity that growth to size elements gives: (3 * size + 2) / 2
	static uint32_t growth(uint32_t size) {
		uint64_t c = (static_cast<uint64_t>(size) + 2 * (static_cast<uint64_t>(size) + 1)) >> 1;
		return c > MaxCapacity ? checked(size) : static_cast<uint32_t>(c);
	}

	uint32_t capacity;
	uint32_t length;
	T *data;

private:
	// the largest capacity bits 0-30 can hold
	static uint32_t checked(uint32_t size) {
		if (size > MaxCapacity) Allocator::outOfMemory();
		return size;
	}

	bool inside(const T *value) const {
		std::less<const T *> less;
		return data != nullptr && !less(value, data) && less(value, data + getCapacity());
	}

	void releaseStorage() {
		if (isOwned()) Allocator::deallocate(data, getCapacity());
		capacity = 0;
		length = 0;
		data = nullptr;
	}

	// new owned storage of size slots, keeping the first length elements
	void reallocate(uint32_t size, bool discard) {
		T *block = Allocator::allocate<T>(size);
		if (!discard) moveElements(block, data, length);
		if (isOwned()) Allocator::deallocate(data, getCapacity());
		data = block;
		capacity = size | Owned;
	}

	void take(Array &a) {
		if (!a.isOwned()) {
			assign(a.data, a.length);
			a.length = 0;
			return;
		}
		releaseStorage();
		capacity = a.capacity;
		length = a.length;
		data = a.data;
		a.capacity = 0;
		a.length = 0;
		a.data = nullptr;
	}

	// src may overlap dst from above (an assign from the array's own tail)
	static void copyElements(T *dst, const T *src, uint32_t count) {
		if (count == 0 || dst == src) return;
		if constexpr (std::is_trivially_copyable<T>::value) {
			memmove(static_cast<void *>(dst), src, sizeof(T) * count);
		} else {
			for (uint32_t i = 0; i < count; i++) dst[i] = src[i];
		}
	}

	static void moveElements(T *dst, T *src, uint32_t count) {
		if (count == 0) return;
		if constexpr (std::is_trivially_copyable<T>::value) {
			memcpy(static_cast<void *>(dst), src, sizeof(T) * count);
		} else {
			for (uint32_t i = 0; i < count; i++) dst[i] = std::move(src[i]);
		}
	}
};

// An Array whose storage starts as N inline elements and moves to the heap
// when it outgrows them. The inline buffer lives as long as the object, even
// after the elements moved out of it.
template <class T, uint32_t N>
class ArrayStack : public Array<T> {
public:
	ArrayStack() { Array<T>::setBuffer(buffer, N, 0); }
	ArrayStack(uint32_t size, const T &value) {
		Array<T>::setBuffer(buffer, N, 0);
		Array<T>::assign(size, value);
	}
	ArrayStack(const Array<T> &a) {
		Array<T>::setBuffer(buffer, N, 0);
		Array<T>::assign(a.data, a.length);
	}
	ArrayStack(const ArrayStack &a) : Array<T>() {
		Array<T>::setBuffer(buffer, N, 0);
		Array<T>::assign(a.data, a.length);
	}
	~ArrayStack() { Array<T>::release(); }

	ArrayStack &operator=(const Array<T> &a) {
		Array<T>::operator=(a);
		return *this;
	}
	ArrayStack &operator=(const ArrayStack &a) {
		Array<T>::operator=(a);
		return *this;
	}

	bool isInline() const { return this->data == buffer; }

private:
	T buffer[N]{};
};

} // namespace Vexa
