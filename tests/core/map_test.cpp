// Maps and sets: random inserts and removals against std::map and std::set,
// with the AVL conditions, exact heights and parent links checked after every
// step; the small shapes of insertion and removal; copies (onto themselves
// too); String and multi-word keys; and the three-way comparison.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/Map.h"
#include "core/String.h"

using namespace Vexa;

namespace {

// Walks the subtree and checks parent links, exact heights, the AVL balance
// and the key order; returns the height and counts the nodes.
template <class Node>
int32_t checkNode(const Node *node, const Node *parent, uint32_t &count, const Node *&previous) {
	if (node == nullptr) return -1;
	EXPECT_EQ(node->parent, parent);
	int32_t l = checkNode(node->left, node, count, previous);
	if (previous) {
		EXPECT_TRUE(previous->key < node->key);
	}
	previous = node;
	count++;
	int32_t r = checkNode(node->right, node, count, previous);
	EXPECT_EQ(node->height, std::max(l, r) + 1);
	EXPECT_LE(std::abs(l - r), 1);
	return std::max(l, r) + 1;
}

template <class Tree>
void checkTree(const Tree &tree) {
	uint32_t count = 0;
	const typename Tree::Node *previous = nullptr;
	checkNode<typename Tree::Node>(tree.getRoot(), nullptr, count, previous);
	EXPECT_EQ(count, tree.size());
}

template <class K, class V>
std::vector<std::pair<K, V>> entries(const Map<K, V> &map) {
	std::vector<std::pair<K, V>> ret;
	for (auto it = map.begin(); it != map.end(); ++it) ret.emplace_back(it->key, it->value);
	return ret;
}

} // namespace

TEST(Map, RandomOperationsMatchStdMap) {
	std::mt19937 random(42);
	Map<uint32_t, uint32_t> map;
	std::map<uint32_t, uint32_t> oracle;
	for (int step = 0; step < 6000; step++) {
		uint32_t key = random() % 300;
		uint32_t op = random() % 5;
		if (op <= 1) {
			uint32_t value = random();
			Map<uint32_t, uint32_t>::Node *node = map.insert(key, value);
			ASSERT_EQ(node->key, key);
			ASSERT_EQ(node->value, value);
			oracle[key] = value;
		} else if (op == 2) {
			ASSERT_EQ(map.remove(key), oracle.erase(key) == 1);
		} else if (op == 3) {
			// removal through the node found
			Map<uint32_t, uint32_t>::Node *node = map.find(key);
			ASSERT_EQ(node != nullptr, oracle.count(key) == 1);
			ASSERT_EQ(map.remove(node), node != nullptr);
			oracle.erase(key);
		} else {
			uint32_t *value = map.get(key);
			auto it = oracle.find(key);
			ASSERT_EQ(value != nullptr, it != oracle.end());
			if (value) {
				ASSERT_EQ(*value, it->second);
			}
		}
		checkTree(map);
		if (HasFailure()) return;
		ASSERT_EQ(map.size(), oracle.size());
	}
	EXPECT_EQ(entries(map), (std::vector<std::pair<uint32_t, uint32_t>>(oracle.begin(), oracle.end())));

	// emptying the tree from the root down keeps it balanced all the way
	while (map.getRoot()) {
		ASSERT_TRUE(map.remove(map.getRoot()));
		checkTree(map);
	}
	EXPECT_EQ(map.size(), 0u);
}

TEST(Map, SequentialKeysStayBalanced) {
	// ascending and descending runs force every rotation case on insertion,
	// removals from one end every case on removal
	for (bool ascending : {true, false}) {
		Set<uint32_t> set;
		std::set<uint32_t> oracle;
		for (uint32_t i = 0; i < 1000; i++) {
			uint32_t key = ascending ? i : 1000 - i;
			set.insert(key);
			oracle.insert(key);
		}
		checkTree(set);
		EXPECT_LE(set.getRoot()->height, 14);
		for (uint32_t i = 0; i < 1000; i += 2) {
			uint32_t key = ascending ? i : 1000 - i;
			ASSERT_TRUE(set.remove(key));
			oracle.erase(key);
			checkTree(set);
		}
		std::vector<uint32_t> keys;
		for (auto it = set.begin(); it; ++it) keys.push_back(it->key);
		EXPECT_EQ(keys, std::vector<uint32_t>(oracle.begin(), oracle.end()));
	}
}

TEST(Set, RandomOperationsMatchStdSet) {
	std::mt19937 random(7);
	Set<uint64_t> set;
	std::set<uint64_t> oracle;
	for (int step = 0; step < 6000; step++) {
		uint64_t key = (random() % 500) << 40;
		if (random() % 2) {
			Set<uint64_t>::Node *node = set.insert(key);
			ASSERT_EQ(node->key, key);
			oracle.insert(key);
		} else {
			ASSERT_EQ(set.remove(key), oracle.erase(key) == 1);
		}
		ASSERT_EQ(set.find(key) != nullptr, oracle.count(key) == 1);
		checkTree(set);
		if (HasFailure()) return;
	}
	std::vector<uint64_t> keys;
	for (Set<uint64_t>::Node *node = set.first(); node; node = Set<uint64_t>::Iterator::next(node)) keys.push_back(node->key);
	EXPECT_EQ(keys, std::vector<uint64_t>(oracle.begin(), oracle.end()));
}

TEST(Map, SmallShapes) {
	Map<uint32_t, uint32_t> map;
	map.insert(1, 10);
	map.insert(2, 20);
	map.insert(3, 30);
	ASSERT_NE(map.getRoot(), nullptr);
	EXPECT_EQ(map.getRoot()->key, 2u);
	EXPECT_EQ(map.getRoot()->left->key, 1u);
	EXPECT_EQ(map.getRoot()->right->key, 3u);

	// removing the root with two leaves puts the successor in its place
	Map<uint32_t, uint32_t>::Node *right = map.getRoot()->right;
	EXPECT_TRUE(map.remove(2u));
	EXPECT_EQ(map.getRoot(), right);
	EXPECT_EQ(map.getRoot()->left->key, 1u);
	EXPECT_EQ(map.getRoot()->parent, nullptr);
	checkTree(map);

	Map<uint32_t, uint32_t> one;
	one.insert(5, 5);
	EXPECT_TRUE(one.remove(one.getRoot()));
	EXPECT_EQ(one.getRoot(), nullptr);
	EXPECT_EQ(one.size(), 0u);
	EXPECT_FALSE(one.remove(nullptr));
	EXPECT_FALSE(one.remove(5u));
	EXPECT_FALSE(static_cast<bool>(one));
	EXPECT_TRUE(one.begin() == one.end());
	EXPECT_EQ(one.first(), nullptr);
}

TEST(Map, StringKeys) {
	Map<String, uint32_t> map;
	Map<String, uint32_t>::Node *node = map.insert("beta", 1);
	map.insert("alpha", 2);
	map.insert("gamma", 3);
	EXPECT_EQ(map.insert("beta", 9), node);
	EXPECT_EQ(map.size(), 3u);
	EXPECT_EQ(node->value, 9u);
	EXPECT_EQ(map.find("gamma")->value, 3u);
	EXPECT_EQ(map.find(String("delta")), nullptr);
	EXPECT_EQ(*map.get("alpha"), 2u);
	EXPECT_EQ(map.get("delta"), nullptr);

	Map<String, uint32_t>::Iterator it = map.findValue(3);
	ASSERT_TRUE(static_cast<bool>(it));
	EXPECT_TRUE(it->key == "gamma");
	EXPECT_FALSE(static_cast<bool>(map.findValue(4)));

	// random String keys against std::map with the same order
	std::mt19937 random(3);
	Map<String, String> strings;
	std::map<std::string, std::string, bool (*)(const std::string &, const std::string &)> oracle(
		[](const std::string &a, const std::string &b) { return String(a.c_str()) < String(b.c_str()); });
	for (int step = 0; step < 3000; step++) {
		std::string key;
		for (uint32_t i = random() % 4; i; i--) key += static_cast<char>("ab\x7f\x80z"[random() % 5]);
		if (random() % 3) {
			std::string value = std::to_string(step);
			strings.insert(key.c_str(), value.c_str());
			oracle[key] = value;
		} else {
			ASSERT_EQ(strings.remove(key.c_str()), oracle.erase(key) == 1);
		}
		checkTree(strings);
		if (HasFailure()) return;
	}
	std::vector<std::pair<std::string, std::string>> got;
	for (auto it = strings.begin(); it; ++it) got.emplace_back(it->key.get(), it->value.get());
	EXPECT_EQ(got, (std::vector<std::pair<std::string, std::string>>(oracle.begin(), oracle.end())));
}

TEST(Map, MultiWordKeysAreTotallyOrdered) {
	using Key = std::array<uint64_t, 3>;
	std::mt19937 random(11);
	Map<Key, uint32_t> map;
	std::map<Key, uint32_t> oracle;
	for (uint32_t step = 0; step < 3000; step++) {
		Key key{random() % 4, random() % 4, random() % 8};
		if (random() % 4) {
			map.insert(key, step);
			oracle[key] = step;
		} else {
			ASSERT_EQ(map.remove(key), oracle.erase(key) == 1);
		}
		checkTree(map);
		if (HasFailure()) return;
	}
	for (const auto &entry : oracle) {
		Map<Key, uint32_t>::Node *node = map.find(entry.first);
		ASSERT_NE(node, nullptr);
		EXPECT_EQ(node->value, entry.second);
	}
	EXPECT_EQ(entries(map), (std::vector<std::pair<Key, uint32_t>>(oracle.begin(), oracle.end())));
}

TEST(Map, Copies) {
	Map<uint32_t, String> map;
	for (uint32_t i = 0; i < 50; i++) map.insert(i * 7 % 50, String::fromu32(i));
	auto before = entries(map);
	Map<uint32_t, String>::Node *root = map.getRoot();

	Map<uint32_t, String> &alias = map;
	map = alias;
	map.copy(alias);
	EXPECT_EQ(map.getRoot(), root);
	EXPECT_EQ(entries(map), before);

	Map<uint32_t, String> copy(map);
	checkTree(copy);
	EXPECT_EQ(copy.getRoot()->height, map.getRoot()->height);
	EXPECT_NE(copy.getRoot(), map.getRoot());
	EXPECT_EQ(entries(copy), before);
	copy.insert(1000, "x");
	copy.remove(3u);
	EXPECT_EQ(entries(map), before);

	Map<uint32_t, String> assigned;
	assigned.insert(77, "gone");
	assigned = map;
	EXPECT_EQ(entries(assigned), before);

	Map<uint32_t, String> moved(std::move(copy));
	EXPECT_EQ(copy.size(), 0u);
	EXPECT_EQ(copy.getRoot(), nullptr);
	EXPECT_EQ(moved.size(), 50u);
	checkTree(moved);

	// a set's subtree copied on its own
	Set<uint32_t> set;
	for (uint32_t i = 0; i < 20; i++) set.insert(i);
	Set<uint32_t>::Node *subtree = Set<uint32_t>::Node::copy(nullptr, set.getRoot()->left);
	uint32_t count = 0;
	const Set<uint32_t>::Node *previous = nullptr;
	checkNode<Set<uint32_t>::Node>(subtree, nullptr, count, previous);
	EXPECT_EQ(count, set.getRoot()->key);
	Set<uint32_t>::Node::destroy(subtree);

	// the flat form clears and inserts
	struct Pair {
		const char *key;
		uint32_t value;
	};
	const Pair pairs[] = {{"b", 2}, {"a", 1}, {"b", 3}};
	Map<String, uint32_t> names;
	names.insert("old", 0);
	names.copy(pairs, 3);
	EXPECT_EQ(names.size(), 2u);
	EXPECT_EQ(*names.get("a"), 1u);
	EXPECT_EQ(*names.get("b"), 3u);
	EXPECT_EQ(names.get("old"), nullptr);
}

TEST(Map, NodesStayWhereTheyAre) {
	Map<uint32_t, uint32_t> map;
	std::vector<Map<uint32_t, uint32_t>::Node *> nodes;
	for (uint32_t i = 0; i < 64; i++) nodes.push_back(map.insert(i, i * 2));
	for (uint32_t i = 0; i < 64; i += 3) map.remove(nodes[i]);
	for (uint32_t i = 100; i < 200; i++) map.insert(i, i);
	for (uint32_t i = 0; i < 64; i++) {
		if (i % 3 == 0) continue;
		EXPECT_EQ(map.find(i), nodes[i]);
		EXPECT_EQ(nodes[i]->value, i * 2);
	}
	checkTree(map);
}

TEST(Map, Compare) {
	EXPECT_EQ(compare(1u, 1u), 0);
	EXPECT_EQ(compare(1u, 2u), -1);
	EXPECT_EQ(compare(2u, 1u), 1);
	EXPECT_EQ(compare(uint64_t(1) << 40, uint64_t(1)), 1);
	EXPECT_EQ(compare(String("abc"), String("abc")), 0);
	EXPECT_EQ(compare(String("abc"), String("abd")), -1);
	EXPECT_EQ(compare(String("abc"), "ab"), 1);
	EXPECT_EQ(compare(String(""), "a"), -1);
	using Key = std::array<uint64_t, 3>;
	EXPECT_EQ(compare(Key{1, 2, 3}, Key{1, 2, 4}), -1);
	EXPECT_EQ(compare(Key{1, 3, 0}, Key{1, 2, 9}), 1);
	EXPECT_EQ(compare(Key{0, 0, 0}, Key{0, 0, 0}), 0);
}
