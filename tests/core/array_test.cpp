// Arrays and their storage: the growth figures, ownership of inline and
// adopted buffers, element lifetimes over the whole capacity, values that live
// in the array they are added to, and a random run against std::vector.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "core/Array.h"
#include "core/String.h"

using namespace Vexa;

namespace {

// counts the live instances so that construction and destruction over the
// whole capacity can be checked
struct Counted {
	static int live;
	static int copies;
	int value = -1;
	Counted() { live++; }
	Counted(const Counted &c) : value(c.value) { live++; }
	~Counted() { live--; }
	Counted &operator=(const Counted &c) {
		value = c.value;
		copies++;
		return *this;
	}
	bool operator==(const Counted &c) const { return value == c.value; }
};
int Counted::live = 0;
int Counted::copies = 0;

std::vector<std::string> contents(const Array<String> &a) {
	std::vector<std::string> ret;
	for (uint32_t i = 0; i < a.size(); i++) ret.push_back(a[i].get());
	return ret;
}

} // namespace

TEST(Array, GrowthFigures) {
	struct Case {
		uint32_t size;
		uint32_t capacity;
	};
	for (Case c : {Case{1, 2}, Case{2, 4}, Case{3, 5}, Case{10, 16}, Case{100, 151}, Case{0x55555554u, 0x7fffffffu}}) {
		EXPECT_EQ(Array<uint32_t>::growth(c.size), c.capacity) << c.size;
	}
	// a growth figure beyond 31 bits is held to the largest capacity
	EXPECT_EQ(Array<uint8_t>::growth(0x60000000u), 0x60000000u);

	Array<uint32_t> a;
	a.reserve(1);
	EXPECT_EQ(a.getCapacity(), 2u);
	EXPECT_TRUE(a.isOwned());
	EXPECT_EQ(a.size(), 0u);

	Array<uint32_t> b;
	b.reserve(10);
	EXPECT_EQ(b.getCapacity(), 16u);
	uint32_t *data = b.get();
	b.reserve(16);
	EXPECT_EQ(b.get(), data);
	EXPECT_EQ(b.getCapacity(), 16u);

	Array<uint32_t> c;
	c.resize(5);
	EXPECT_EQ(c.getCapacity(), 5u);
	EXPECT_EQ(c.size(), 5u);
	Array<uint32_t> d;
	d.resize(5, true);
	EXPECT_EQ(d.getCapacity(), 8u);

	// appends grow by the same rule, one step at a time
	Array<uint32_t> e;
	std::vector<uint32_t> capacities;
	for (uint32_t i = 0; i < 40; i++) {
		e.append(i);
		if (capacities.empty() || capacities.back() != e.getCapacity()) capacities.push_back(e.getCapacity());
	}
	EXPECT_EQ(capacities, (std::vector<uint32_t>{2, 5, 10, 17, 28, 44}));
	for (uint32_t i = 0; i < 40; i++) EXPECT_EQ(e[i], i);

	// the capacity never shrinks
	e.clear();
	e.resize(3);
	EXPECT_EQ(e.getCapacity(), 44u);
}

TEST(Array, ArrayStackMovesToHeapAndKeepsItsBuffer) {
	ArrayStack<uint64_t, 128> a;
	EXPECT_TRUE(a.isInline());
	EXPECT_FALSE(a.isOwned());
	EXPECT_EQ(a.getCapacity(), 128u);
	uint64_t *inline_data = a.get();
	for (uint32_t i = 0; i < 128; i++) EXPECT_EQ(inline_data[i], 0u);
	for (uint64_t i = 0; i < 128; i++) a.append(i * 3);
	EXPECT_TRUE(a.isInline());
	a.append(1000);
	EXPECT_FALSE(a.isInline());
	EXPECT_TRUE(a.isOwned());
	EXPECT_EQ(a.getCapacity(), 194u);
	EXPECT_EQ(a.size(), 129u);
	for (uint32_t i = 0; i < 128; i++) {
		EXPECT_EQ(a[i], i * 3u);
		EXPECT_EQ(inline_data[i], i * 3u);
	}
	EXPECT_EQ(a.back(), 1000u);

	// release of a stack that never grew keeps the inline buffer
	ArrayStack<uint32_t, 16> b;
	b.append(5);
	uint32_t *buffer = b.get();
	b.release();
	EXPECT_EQ(b.get(), buffer);
	EXPECT_EQ(b.getCapacity(), 16u);
	EXPECT_EQ(b.size(), 0u);

	ArrayStack<uint32_t, 16> c(20, 7u);
	EXPECT_FALSE(c.isInline());
	EXPECT_EQ(c.getCapacity(), 20u);
	ArrayStack<uint32_t, 16> d(3, 9u);
	EXPECT_TRUE(d.isInline());
	EXPECT_EQ(d.size(), 3u);
	EXPECT_EQ(d[2], 9u);

	// a copy of a stack starts on its own inline buffer
	ArrayStack<uint32_t, 16> e(d);
	EXPECT_TRUE(e.isInline());
	EXPECT_NE(e.get(), d.get());
	EXPECT_EQ(e.size(), 3u);
}

TEST(Array, MovingTakesOnlyOwnedStorage) {
	ArrayStack<String, 16> inline_array;
	inline_array.append("a");
	inline_array.append("b");
	Array<String> taken(std::move(inline_array));
	// the inline buffer dies with its owner: the elements were copied
	EXPECT_TRUE(taken.isOwned());
	EXPECT_EQ(contents(taken), (std::vector<std::string>{"a", "b"}));

	Array<String> owned;
	owned.append("x");
	String *data = owned.get();
	Array<String> stolen;
	stolen = std::move(owned);
	EXPECT_EQ(stolen.get(), data);
	EXPECT_EQ(owned.get(), nullptr);
	EXPECT_EQ(owned.size(), 0u);
	EXPECT_EQ(contents(stolen), (std::vector<std::string>{"x"}));
}

TEST(Array, EveryOwnedSlotIsConstructed) {
	Counted::live = 0;
	{
		Array<Counted> a;
		a.reserve(1);
		EXPECT_EQ(Counted::live, 2);
		a.resize(2);
		a[0].value = 10;
		a[1].value = 11;
		a.reserve(3);
		// old block of 2 destroyed, new block of 5 constructed
		EXPECT_EQ(a.getCapacity(), 5u);
		EXPECT_EQ(Counted::live, 5);
		EXPECT_EQ(a[0].value, 10);
		EXPECT_EQ(a[1].value, 11);
		// shrinking the size destroys nothing and keeps the values
		a.clear();
		EXPECT_EQ(Counted::live, 5);
		a.resize(2);
		EXPECT_EQ(a[1].value, 11);
		a.release();
		EXPECT_EQ(Counted::live, 0);
		a.append(Counted());
		EXPECT_EQ(Counted::live, 2);
	}
	EXPECT_EQ(Counted::live, 0);
	{
		ArrayStack<Counted, 16> s;
		EXPECT_EQ(Counted::live, 16);
		for (int i = 0; i < 17; i++) s.append(Counted());
		EXPECT_EQ(Counted::live, 16 + 26);
	}
	EXPECT_EQ(Counted::live, 0);

	// growing an array of Strings from 2 to 4 slots keeps the two values
	Array<String> strings;
	strings.append("first");
	strings.append("second");
	EXPECT_EQ(strings.getCapacity(), 2u);
	strings.reserve(3);
	EXPECT_EQ(strings.getCapacity(), 5u);
	EXPECT_EQ(contents(strings), (std::vector<std::string>{"first", "second"}));
	for (uint32_t i = 2; i < 5; i++) EXPECT_TRUE(strings.get()[i].empty());
}

TEST(Array, ValuesFromTheSameStorage) {
	// append across growth
	Array<String> a;
	a.append("a long text that does not fit any inline buffer");
	a.append("b");
	ASSERT_EQ(a.size(), a.getCapacity());
	a.append(a[0]);
	EXPECT_EQ(contents(a), (std::vector<std::string>{"a long text that does not fit any inline buffer", "b",
	                                                 "a long text that does not fit any inline buffer"}));

	// insert shifts the element that the value refers to
	Array<String> b;
	for (const char *s : {"p", "q", "r"}) b.append(s);
	b.reserve(10);
	b.insert(0, b[2]);
	EXPECT_EQ(contents(b), (std::vector<std::string>{"r", "p", "q", "r"}));
	b.insert(1, b.back());
	EXPECT_EQ(contents(b), (std::vector<std::string>{"r", "r", "p", "q", "r"}));

	// insert across growth
	Array<uint32_t> c;
	c.append(1);
	c.append(2);
	c.insert(1, c[1]);
	EXPECT_EQ(c.size(), 3u);
	EXPECT_EQ(c[0], 1u);
	EXPECT_EQ(c[1], 2u);
	EXPECT_EQ(c[2], 2u);

	// assign of a value from the discarded storage
	Array<String> d;
	d.append("keep");
	d.append("me");
	d.assign(7, d[1]);
	EXPECT_EQ(contents(d), std::vector<std::string>(7, "me"));

	// assign from the array's own tail
	Array<String> e;
	for (const char *s : {"0", "1", "2", "3"}) e.append(s);
	e.assign(e.get() + 1, 3);
	EXPECT_EQ(contents(e), (std::vector<std::string>{"1", "2", "3"}));
	Array<uint32_t> f;
	for (uint32_t i = 0; i < 6; i++) f.append(i);
	f.assign(f.get() + 2, 4);
	EXPECT_EQ(f.size(), 4u);
	for (uint32_t i = 0; i < 4; i++) EXPECT_EQ(f[i], i + 2);

	// self-assignment
	f = f;
	EXPECT_EQ(f.size(), 4u);
	EXPECT_EQ(f[3], 5u);
}

TEST(Array, RemoveFindAndAccess) {
	Array<uint32_t> a;
	for (uint32_t i = 0; i < 5; i++) a.append(i * 10);
	EXPECT_EQ(a.bytes(), 20u);
	EXPECT_EQ(a.back(0), 40u);
	EXPECT_EQ(a.back(4), 0u);
	EXPECT_EQ(a.find(30u), 3u);
	EXPECT_EQ(a.find(31u), ~0u);
	a.remove(1);
	EXPECT_EQ(a.size(), 4u);
	EXPECT_EQ(a[1], 20u);
	a.remove(2, ~0u);
	EXPECT_EQ(a.size(), 2u);
	EXPECT_EQ(a[0], 0u);
	EXPECT_EQ(a[1], 20u);
	a.pop();
	EXPECT_EQ(a.size(), 1u);
	EXPECT_TRUE(static_cast<bool>(a));
	a.pop();
	EXPECT_FALSE(static_cast<bool>(a));

	Array<uint32_t> empty;
	EXPECT_EQ(empty.find(0u), ~0u);
	EXPECT_FALSE(static_cast<bool>(empty.findIterator(0u)));

	Array<String> names;
	for (const char *s : {"alpha", "beta", "gamma"}) names.append(s);
	EXPECT_EQ(names.find("beta"), 1u);
	EXPECT_EQ(names.find(String("gamma")), 2u);
	EXPECT_EQ(names.find("delta"), ~0u);
	EXPECT_EQ(names.findIterator("gamma")->get(), names[2].get());
}

TEST(Array, Iterator) {
	Array<uint32_t> a;
	for (uint32_t i = 1; i <= 5; i++) a.append(i);
	uint32_t sum = 0;
	for (uint32_t v : a) sum += v;
	EXPECT_EQ(sum, 15u);

	Array<uint32_t>::Iterator it = a.begin();
	--it;
	EXPECT_EQ(*it, 1u);
	it += 3;
	EXPECT_EQ(*it, 4u);
	it += 100;
	EXPECT_TRUE(it == a.end());
	EXPECT_FALSE(static_cast<bool>(it));
	++it;
	EXPECT_TRUE(it == a.end());
	--it;
	EXPECT_EQ(*it, 5u);
	it += -100;
	EXPECT_TRUE(it == a.begin());

	Array<uint32_t> empty;
	EXPECT_TRUE(empty.begin() == empty.end());
}

TEST(Array, SetBufferAdoptsWithoutOwning) {
	uint32_t buffer[4] = {7, 8, 9, 10};
	Array<uint32_t> a;
	a.append(1);
	a.setBuffer(buffer, 4, 2);
	EXPECT_FALSE(a.isOwned());
	EXPECT_EQ(a.get(), buffer);
	EXPECT_EQ(a.size(), 2u);
	EXPECT_EQ(a[1], 8u);
	a.append(11);
	EXPECT_EQ(buffer[2], 11u);
	a.append(12);
	a.append(13);
	EXPECT_TRUE(a.isOwned());
	EXPECT_EQ(a.size(), 5u);
	EXPECT_EQ(a[4], 13u);
	EXPECT_EQ(buffer[3], 12u);

	a.setBuffer(nullptr, 4, 2);
	EXPECT_EQ(a.get(), nullptr);
	EXPECT_EQ(a.getCapacity(), 0u);
	EXPECT_EQ(a.size(), 0u);
	a.setBuffer(buffer, 0, 0);
	EXPECT_EQ(a.get(), nullptr);
}

TEST(Allocator, BlocksAndStatistics) {
	uint64_t bytes = Allocator::allocated.load();
	uint32_t blocks = Allocator::blocks.load();
	EXPECT_EQ(Allocator::allocate<uint32_t>(0), nullptr);
	EXPECT_EQ(Allocator::allocated.load(), bytes);
	EXPECT_EQ(Allocator::blocks.load(), blocks);

	uint8_t *p = Allocator::allocate<uint8_t>(3);
	uint64_t *q = Allocator::allocate<uint64_t>(5);
	EXPECT_EQ(Allocator::allocated.load(), bytes + 3 + 40);
	EXPECT_EQ(Allocator::blocks.load(), blocks + 2);
	for (uint8_t *data : {p, reinterpret_cast<uint8_t *>(q)}) {
		EXPECT_EQ(reinterpret_cast<uintptr_t>(data) % 16, 0u);
		EXPECT_EQ(data[-1], 0x52);
		EXPECT_TRUE(data[-2] == 8 || data[-2] == 16);
	}
	for (uint32_t i = 0; i < 3; i++) EXPECT_EQ(p[i], 0);
	Allocator::deallocate(p, 3);
	Allocator::deallocate(q, 5);
	Allocator::deallocate<uint32_t>(nullptr, 0);
	EXPECT_EQ(Allocator::allocated.load(), bytes);
	EXPECT_EQ(Allocator::blocks.load(), blocks);
}

TEST(Allocator, RequestsThatCannotBeMetThrow) {
	EXPECT_THROW(Allocator::allocate<uint64_t>(SIZE_MAX / 4), std::bad_alloc);
	// a capacity that 31 bits cannot hold leaves the array as it was
	Array<uint8_t> a;
	a.append(1);
	EXPECT_THROW(a.reserve(0x80000000u), std::bad_alloc);
	EXPECT_THROW(a.resize(0x80000000u), std::bad_alloc);
	EXPECT_EQ(a.size(), 1u);
	EXPECT_EQ(a[0], 1);
}

TEST(Array, RandomOperationsMatchVector) {
	std::mt19937 random(1234);
	Array<String> a;
	std::vector<std::string> v;
	for (int step = 0; step < 20000; step++) {
		uint32_t op = random() % 9;
		std::string text = "t" + std::to_string(random() % 1000) + std::string(random() % 3 ? 0 : 70, 'x');
		if (op <= 2) {
			a.append(String(text.c_str()));
			v.push_back(text);
		} else if (op == 3) {
			uint32_t index = random() % (v.size() + 1);
			a.insert(index, String(text.c_str()));
			v.insert(v.begin() + index, text);
		} else if (op == 4 && !v.empty()) {
			uint32_t index = random() % v.size();
			uint32_t count = random() % (v.size() - index + 1);
			a.remove(index, count);
			v.erase(v.begin() + index, v.begin() + index + count);
		} else if (op == 5 && !v.empty()) {
			// a value from the array itself
			uint32_t index = random() % v.size();
			a.append(a[index]);
			v.push_back(v[index]);
		} else if (op == 6 && !v.empty()) {
			uint32_t from = random() % v.size();
			uint32_t index = random() % (v.size() + 1);
			a.insert(index, a[from]);
			std::string s = v[from];
			v.insert(v.begin() + index, s);
		} else if (op == 7) {
			uint32_t size = random() % 40;
			bool grow = random() % 2;
			uint32_t old = v.size();
			a.resize(size, grow);
			v.resize(size);
			// slots past the old size hold whatever they held before
			for (uint32_t i = old; i < size; i++) v[i] = a[i].get();
		} else if (op == 8 && random() % 50 == 0) {
			Array<String> copy(a);
			a = copy;
			if (random() % 2) a.release(), v.clear();
		}
		ASSERT_EQ(a.size(), v.size());
		ASSERT_LE(a.size(), a.getCapacity());
	}
	EXPECT_EQ(contents(a), v);
}
