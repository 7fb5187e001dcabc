// quickSort against std::sort on the inputs that break naive quick sorts
// (sorted, reversed, all equal, few distinct keys, organ pipes), on records
// sorted by a key so that the result must be a permutation of the input, and
// on the small sizes where the sort must not touch the data. The number of
// comparisons stays within a multiple of n log2 n on every pattern, on organ
// pipes and on keys that an adversary picks while the sort runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "core/Sort.h"

using namespace Vexa;

namespace {

std::vector<int32_t> makeData(const char *kind, uint32_t size, std::mt19937 &random) {
	std::vector<int32_t> v(size);
	std::string k = kind;
	for (uint32_t i = 0; i < size; i++) {
		if (k == "random") v[i] = static_cast<int32_t>(random());
		else if (k == "sorted") v[i] = static_cast<int32_t>(i);
		else if (k == "reversed") v[i] = static_cast<int32_t>(size - i);
		else if (k == "equal") v[i] = 5;
		else if (k == "few") v[i] = static_cast<int32_t>(random() % 3);
		else if (k == "pipe") v[i] = static_cast<int32_t>(std::min(i, size - i));
		else v[i] = (i % 2) ? -static_cast<int32_t>(i) : static_cast<int32_t>(i);
	}
	return v;
}

// An ordering of indices whose keys are fixed only when the sort compares
// them, always so that the pivot ends up near an end of its range (the
// adversary of M. D. McIlroy, "A Killer Adversary for Quicksort", 1999). The
// keys it fixed make an input that takes the same quadratic path again.
struct Adversary {
	std::vector<uint32_t> keys;
	uint32_t gas;
	uint32_t solid = 0;
	uint32_t candidate = 0;
	uint64_t comparisons = 0;

	explicit Adversary(uint32_t size) : keys(size, size), gas(size) {}
	bool operator()(uint32_t x, uint32_t y) {
		comparisons++;
		if (keys[x] == gas && keys[y] == gas) keys[x == candidate ? x : y] = solid++;
		if (keys[x] == gas) candidate = x;
		else if (keys[y] == gas) candidate = y;
		return keys[x] < keys[y];
	}
};

uint64_t nLogN(uint32_t size) {
	return static_cast<uint64_t>(size) * static_cast<uint64_t>(std::ceil(std::log2(size)));
}

} // namespace

TEST(QuickSort, MatchesStdSort) {
	std::mt19937 random(99);
	for (const char *kind : {"random", "sorted", "reversed", "equal", "few", "pipe", "zigzag"}) {
		for (uint32_t size : {2u, 3u, 5u, 16u, 17u, 100u, 1000u, 65537u}) {
			std::vector<int32_t> v = makeData(kind, size, random);
			std::vector<int32_t> expected = v;
			std::sort(expected.begin(), expected.end());
			quickSort(v.data(), size, [](int32_t a, int32_t b) { return a < b; });
			ASSERT_EQ(v, expected) << kind << " " << size;
			// the other direction through the caller's ordering
			quickSort(v.data(), size, [](int32_t a, int32_t b) { return a > b; });
			std::reverse(expected.begin(), expected.end());
			ASSERT_EQ(v, expected) << kind << " " << size << " descending";
		}
	}
}

TEST(QuickSort, SortsIndicesByKeyAsAPermutation) {
	// the shape of its use: indices into records, ordered by the records' keys
	std::mt19937 random(5);
	std::vector<uint32_t> keys(5000);
	for (uint32_t &k : keys) k = random() % 100;
	std::vector<uint32_t> indices(keys.size());
	for (uint32_t i = 0; i < indices.size(); i++) indices[i] = i;
	quickSort(indices.data(), static_cast<uint32_t>(indices.size()), [&](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });
	for (uint32_t i = 1; i < indices.size(); i++) ASSERT_LE(keys[indices[i - 1]], keys[indices[i]]);
	std::vector<uint32_t> sorted = indices;
	std::sort(sorted.begin(), sorted.end());
	for (uint32_t i = 0; i < sorted.size(); i++) ASSERT_EQ(sorted[i], i);
}

TEST(QuickSort, SmallSizes) {
	bool called = false;
	auto never = [&](int, int) {
		called = true;
		return false;
	};
	int one = 7;
	quickSort(&one, 1, never);
	quickSort<int>(nullptr, 0, never);
	EXPECT_FALSE(called);
	EXPECT_EQ(one, 7);

	int two[2] = {2, 1};
	quickSort(two, 2, [](int a, int b) { return a < b; });
	EXPECT_EQ(two[0], 1);
	EXPECT_EQ(two[1], 2);
	int three[3] = {1, 3, 2};
	quickSort(three, 3, [](int a, int b) { return a < b; });
	EXPECT_EQ(three[1], 2);
	EXPECT_EQ(three[2], 3);
}

TEST(QuickSort, InconsistentOrderingStaysInBounds) {
	// an ordering that is no strict weak order (NaN) may leave any order but
	// must end and keep every element
	std::vector<float> v;
	for (int i = 0; i < 2000; i++) v.push_back((i % 7 == 0) ? NAN : static_cast<float>((i * 37) % 101));
	std::vector<float> copy = v;
	quickSort(v.data(), static_cast<uint32_t>(v.size()), [](float a, float b) { return a < b; });
	auto count = [](const std::vector<float> &x) {
		uint32_t nan = 0;
		double sum = 0;
		for (float f : x) {
			if (f != f) nan++;
			else sum += f;
		}
		return std::make_pair(nan, sum);
	};
	EXPECT_EQ(count(v), count(copy));
}

TEST(QuickSort, ComparisonsStayWithinNLogN) {
	// the middle pivot's bad cases take about size^2 / 4 comparisons: 10^9 here
	const uint32_t size = 65536;
	std::mt19937 random(7);
	for (const char *kind : {"random", "sorted", "reversed", "equal", "few", "pipe", "zigzag"}) {
		std::vector<int32_t> v = makeData(kind, size, random);
		uint64_t comparisons = 0;
		quickSort(v.data(), size, [&](int32_t a, int32_t b) {
			comparisons++;
			return a < b;
		});
		ASSERT_TRUE(std::is_sorted(v.begin(), v.end())) << kind;
		EXPECT_LE(comparisons, 6 * nLogN(size)) << kind;
	}
}

TEST(QuickSort, AdversaryKeysStayWithinNLogN) {
	const uint32_t size = 65536;
	std::vector<uint32_t> indices(size);
	for (uint32_t i = 0; i < size; i++) indices[i] = i;
	Adversary adversary(size);
	quickSort(indices.data(), size, [&](uint32_t a, uint32_t b) { return adversary(a, b); });
	EXPECT_LE(adversary.comparisons, 6 * nLogN(size));
	// the keys it fixed (the rest are still equal) are now a plain input of
	// the shape that drove the sort to its worst
	std::vector<uint32_t> keys = adversary.keys;
	uint64_t comparisons = 0;
	quickSort(keys.data(), size, [&](uint32_t a, uint32_t b) {
		comparisons++;
		return a < b;
	});
	EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
	EXPECT_LE(comparisons, 6 * nLogN(size));
	for (uint32_t i = 1; i < size; i++) ASSERT_LE(adversary.keys[indices[i - 1]], adversary.keys[indices[i]]);
}
