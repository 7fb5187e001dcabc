// In-place sort with a caller's ordering, without recursion and without the
// heap: pending ranges wait on a small stack in the sort's own frame, and the
// smaller part of every split is sorted first so that the stack stays within
// about log2(size) ranges. The pivot is the middle element, which splits
// sorted and reverse-sorted input evenly. Not stable.
#pragma once

#include <cstdint>
#include <utility>

namespace Vexa {

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
	};
	Range stack[256];
	uint32_t depth = 1;
	stack[0] = Range{0, static_cast<int64_t>(size) - 1};
	while (depth) {
		int64_t lo = stack[depth - 1].lo;
		int64_t hi = stack[depth - 1].hi;
		T pivot = data[lo + ((hi - lo) >> 1)];
		int64_t i = lo;
		int64_t j = hi;
		while (i <= j) {
			while (j > lo && compare(pivot, data[j])) j--;
			while (i < hi && compare(data[i], pivot)) i++;
			if (i < j) {
				T t = std::move(data[i]);
				data[i] = std::move(data[j]);
				data[j] = std::move(t);
				i++;
				j--;
			} else if (i == j) {
				i++;
				j--;
			}
		}
		bool left = lo < j;
		bool right = i < hi;
		if (left && right) {
			// the larger part waits below, the smaller one is sorted next
			if (j - lo <= hi - i) {
				stack[depth - 1] = Range{i, hi};
				stack[depth++] = Range{lo, j};
			} else {
				stack[depth - 1] = Range{lo, j};
				stack[depth++] = Range{i, hi};
			}
		} else if (left) {
			stack[depth - 1] = Range{lo, j};
		} else if (right) {
			stack[depth - 1] = Range{i, hi};
		} else {
			depth--;
		}
	}
}

} // namespace Vexa
