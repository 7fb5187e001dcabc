// In-place sort with a caller's ordering, without recursion and without the
// heap: pending ranges wait on a small stack in the sort's own frame, and the
// smaller part of every split is sorted first so that the stack stays within
// about log2(size) ranges. The pivot is the middle element, which splits
// sorted and reverse-sorted input evenly. Not stable.
//
// The keys come from users' files, and some inputs (organ pipes, or keys
// chosen against the pivot rule) make every split uneven. A range that has
// been split about 2 * log2(size) times without getting small is therefore
// finished by heap sort, so that every input takes O(size * log(size))
// comparisons.
#pragma once

#include <cstdint>
#include <utility>

namespace Vexa {

namespace SortDetail {

template <class T>
inline void swapElements(T &a, T &b) {
	T t = std::move(a);
	a = std::move(b);
	b = std::move(t);
}

// restores the heap order below `root` in data[0, size)
template <class T, class Compare>
void siftDown(T *data, uint64_t root, uint64_t size, const Compare &compare) {
	for (;;) {
		uint64_t child = 2 * root + 1;
		if (child >= size) return;
		if (child + 1 < size && compare(data[child], data[child + 1])) child++;
		if (!compare(data[root], data[child])) return;
		swapElements(data[root], data[child]);
		root = child;
	}
}

template <class T, class Compare>
void heapSort(T *data, uint64_t size, const Compare &compare) {
	if (size < 2) return;
	for (uint64_t start = size / 2; start-- > 0;) siftDown(data, start, size, compare);
	for (uint64_t end = size - 1; end > 0; end--) {
		swapElements(data[0], data[end]);
		siftDown(data, 0, end, compare);
	}
}

} // namespace SortDetail

// sorts data[0, size) so that compare(a, b) ("a orders before b") never holds
// for a later a and an earlier b
template <class T, class Compare>
void quickSort(T *data, uint32_t size, const Compare &compare) {
	if (size < 2) return;
	// indices are 64-bit so that sizes up to 2^32 - 1 neither overflow the
	// midpoint nor the step below the first element
	struct Range {
		int64_t lo;
		int64_t hi;
		uint32_t splits;        // how often the ranges it came from were split
	};
	uint32_t max_splits = 0;
	for (uint32_t n = size; n > 1; n >>= 1) max_splits += 2;
	Range stack[256];
	uint32_t depth = 1;
	stack[0] = Range{0, static_cast<int64_t>(size) - 1, 0};
	while (depth) {
		int64_t lo = stack[depth - 1].lo;
		int64_t hi = stack[depth - 1].hi;
		uint32_t splits = stack[depth - 1].splits;
		if (splits >= max_splits) {
			SortDetail::heapSort(data + lo, static_cast<uint64_t>(hi - lo + 1), compare);
			depth--;
			continue;
		}
		T pivot = data[lo + ((hi - lo) >> 1)];
		int64_t i = lo;
		int64_t j = hi;
		while (i <= j) {
			while (j > lo && compare(pivot, data[j])) j--;
			while (i < hi && compare(data[i], pivot)) i++;
			if (i < j) {
				SortDetail::swapElements(data[i], data[j]);
				i++;
				j--;
			} else if (i == j) {
				i++;
				j--;
			}
		}
		bool left = lo < j;
		bool right = i < hi;
		splits++;
		if (left && right) {
			// the larger part waits below, the smaller one is sorted next
			if (j - lo <= hi - i) {
				stack[depth - 1] = Range{i, hi, splits};
				stack[depth++] = Range{lo, j, splits};
			} else {
				stack[depth - 1] = Range{lo, j, splits};
				stack[depth++] = Range{i, hi, splits};
			}
		} else if (left) {
			stack[depth - 1] = Range{lo, j, splits};
		} else if (right) {
			stack[depth - 1] = Range{i, hi, splits};
		} else {
			depth--;
		}
	}
}

} // namespace Vexa
