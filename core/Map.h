// The associative containers of the system: Map<K,V> and Set<K>, both AVL
// trees with parent links so that in-order iteration needs no stack and node
// pointers stay valid while other keys come and go (rotations relink nodes,
// they never move them). Insertion assigns when the key is present.
//
// Keys are ordered by their own operator== and operator<; keys made of several
// words must give a total order (std::array compares lexicographically).
// Heights are kept exact through insertion and removal, so the tree is a true
// AVL tree after every operation.
#pragma once

#include <cstdint>

namespace Vexa {

// three-way comparison of keys: 0 when equal, -1 when a < b, else 1
template <class A, class B>
inline int32_t compare(const A &a, const B &b) {
	if (a == b) return 0;
	return (a < b) ? -1 : 1;
}

// The links every tree node starts with.
template <class Node>
struct TreeNode {
	Node *left;
	Node *right;
	Node *parent;
	int32_t height;

	explicit TreeNode(Node *parent) : left(nullptr), right(nullptr), parent(parent), height(0) {}

	// frees a whole subtree with its payloads
	static void destroy(Node *node) {
		if (node == nullptr) return;
		destroy(node->left);
		destroy(node->right);
		delete node;
	}

	// a deep copy of node's subtree hung under parent, same shape and heights
	static Node *copy(Node *parent, const Node *node) {
		if (node == nullptr) return nullptr;
		Node *n = Node::clone(parent, node);
		n->height = node->height;
		try {
			n->left = copy(n, node->left);
			n->right = copy(n, node->right);
		} catch (...) {
			destroy(n);
			throw;
		}
		return n;
	}
};

template <class K, class V>
struct MapNode : TreeNode<MapNode<K, V>> {
	using Key = K;
	K key;
	V value;

	MapNode(MapNode *parent, const K &key, const V &value) : TreeNode<MapNode>(parent), key(key), value(value) {}
	static MapNode *clone(MapNode *parent, const MapNode *node) { return new MapNode(parent, node->key, node->value); }
};

template <class K>
struct SetNode : TreeNode<SetNode<K>> {
	using Key = K;
	K key;

	SetNode(SetNode *parent, const K &key) : TreeNode<SetNode>(parent), key(key) {}
	static SetNode *clone(SetNode *parent, const SetNode *node) { return new SetNode(parent, node->key); }
};

// The tree shared by Map and Set: everything that does not depend on the payload.
template <class NodeType>
class Tree {
public:
	using Node = NodeType;

	// {root, node}; node null is the end
	struct Iterator {
		Node *root;
		Node *node;

		// the in-order successor of node, null after the last
		static Node *next(Node *node) {
			if (node->right) {
				node = node->right;
				while (node->left) node = node->left;
				return node;
			}
			while (node->parent && node->parent->right == node) node = node->parent;
			return node->parent;
		}
		Iterator &operator++() {
			if (node) node = next(node);
			return *this;
		}
		Node *get() const { return node; }
		Node &operator*() const { return *node; }
		Node *operator->() const { return node; }
		explicit operator bool() const { return node != nullptr; }
		bool operator==(const Iterator &it) const { return root == it.root && node == it.node; }
		bool operator!=(const Iterator &it) const { return !(*this == it); }
	};

	Tree() : root(nullptr), count(0) {}
	Tree(const Tree &t) : root(nullptr), count(0) { copy(t); }
	Tree(Tree &&t) : root(t.root), count(t.count) {
		t.root = nullptr;
		t.count = 0;
	}
	~Tree() { Node::destroy(root); }

	Tree &operator=(const Tree &t) {
		copy(t);
		return *this;
	}
	Tree &operator=(Tree &&t) {
		if (&t != this) {
			clear();
			root = t.root;
			count = t.count;
			t.root = nullptr;
			t.count = 0;
		}
		return *this;
	}

	// replaces this tree with a deep copy of t; copying onto itself does nothing
	void copy(const Tree &t) {
		if (&t == this) return;
		// the copy is complete before the old nodes go, so a failing copy
		// leaves the tree as it was
		Node *r = Node::copy(nullptr, t.root);
		Node::destroy(root);
		root = r;
		count = t.count;
	}

	void clear() {
		Node::destroy(root);
		root = nullptr;
		count = 0;
	}

	uint32_t size() const { return count; }
	explicit operator bool() const { return count != 0; }
	Node *getRoot() const { return root; }

	Node *first() const {
		Node *node = root;
		if (node) {
			while (node->left) node = node->left;
		}
		return node;
	}
	Iterator begin() const { return Iterator{root, first()}; }
	Iterator end() const { return Iterator{root, nullptr}; }

	template <class Q>
	Node *find(const Q &key) const {
		Node *node = root;
		while (node) {
			if (node->key == key) return node;
			node = (node->key < key) ? node->right : node->left;
		}
		return nullptr;
	}
	template <class Q>
	Iterator findIterator(const Q &key) const {
		return Iterator{root, find(key)};
	}

	// unlinks and frees node, keeping the tree balanced; false for null
	bool remove(Node *node) {
		if (node == nullptr) return false;
		Node *start;
		if (node->left && node->right) {
			// the replacement comes from the taller side
			Node *r;
			if (height(node->left) - height(node->right) < 1) {
				r = node->right;
				while (r->left) r = r->left;
			} else {
				r = node->left;
				while (r->right) r = r->right;
			}
			Node *rp = r->parent;
			Node *child = r->left ? r->left : r->right;
			relink(rp, r, child);
			if (child) child->parent = rp;
			start = (rp == node) ? r : rp;
			r->left = node->left;
			r->right = node->right;
			r->parent = node->parent;
			r->height = node->height;
			if (r->left) r->left->parent = r;
			if (r->right) r->right->parent = r;
			relink(node->parent, node, r);
		} else {
			Node *child = node->left ? node->left : node->right;
			relink(node->parent, node, child);
			if (child) child->parent = node->parent;
			start = node->parent;
		}
		balance(start);
		delete node;
		count--;
		return true;
	}
	bool remove(const typename Node::Key &key) { return remove(find(key)); }

protected:
	static int32_t height(const Node *node) { return node ? node->height : -1; }

	static void update(Node *node) {
		int32_t l = height(node->left);
		int32_t r = height(node->right);
		node->height = (l > r ? l : r) + 1;
	}

	// the child link of parent (or the root) that pointed at from points at to
	void relink(Node *parent, Node *from, Node *to) {
		if (parent == nullptr) root = to;
		else if (parent->left == from) parent->left = to;
		else parent->right = to;
	}

	// hangs a new node where the search for its key ended, then rebalances
	void attach(Node *parent, bool right, Node *node) {
		if (parent == nullptr) root = node;
		else if (right) parent->right = node;
		else parent->left = node;
		count++;
		balance(parent);
	}

	// rebalances every node from node up to the root
	void balance(Node *node) {
		while (node) node = rebalance(node)->parent;
	}

	// restores the AVL condition at node; returns the node now in its place
	Node *rebalance(Node *node) {
		update(node);
		int32_t b = height(node->left) - height(node->right);
		if (b >= 2) {
			Node *l = node->left;
			if (height(l->left) - height(l->right) < 0) rotateLeft(l);
			return rotateRight(node);
		}
		if (b <= -2) {
			Node *r = node->right;
			if (height(r->left) - height(r->right) > 0) rotateRight(r);
			return rotateLeft(node);
		}
		return node;
	}

	Node *rotateLeft(Node *node) {
		Node *r = node->right;
		node->right = r->left;
		if (r->left) r->left->parent = node;
		r->parent = node->parent;
		relink(node->parent, node, r);
		r->left = node;
		node->parent = r;
		update(node);
		update(r);
		return r;
	}

	Node *rotateRight(Node *node) {
		Node *l = node->left;
		node->left = l->right;
		if (l->right) l->right->parent = node;
		l->parent = node->parent;
		relink(node->parent, node, l);
		l->right = node;
		node->parent = l;
		update(node);
		update(l);
		return l;
	}

	Node *root;
	uint32_t count;
};

// Ordered map from K to V.
template <class K, class V>
class Map : public Tree<MapNode<K, V>> {
	using Base = Tree<MapNode<K, V>>;

public:
	using Node = MapNode<K, V>;
	using Iterator = typename Base::Iterator;

	// insert-or-assign; returns the node that holds key
	Node *insert(const K &key, const V &value) {
		Node *parent = nullptr;
		Node *node = this->root;
		bool right = false;
		while (node) {
			if (node->key == key) {
				node->key = key;
				node->value = value;
				return node;
			}
			parent = node;
			right = node->key < key;
			node = right ? node->right : node->left;
		}
		node = new Node(parent, key, value);
		this->attach(parent, right, node);
		return node;
	}

	// clears the map, then inserts count records that have `key` and `value`
	template <class Pair>
	void copy(const Pair *pairs, uint32_t count) {
		this->clear();
		for (uint32_t i = 0; i < count; i++) insert(pairs[i].key, pairs[i].value);
	}
	void copy(const Map &m) { Base::copy(m); }

	// the first node in key order whose value equals value, or the end
	Iterator findValue(const V &value) const {
		for (Node *node = this->first(); node; node = Iterator::next(node)) {
			if (node->value == value) return Iterator{this->root, node};
		}
		return this->end();
	}

	// the value stored under key, null when the key is absent
	template <class Q>
	V *get(const Q &key) const {
		Node *node = this->find(key);
		return node ? &node->value : nullptr;
	}
};

// Ordered set of K.
template <class K>
class Set : public Tree<SetNode<K>> {
	using Base = Tree<SetNode<K>>;

public:
	using Node = SetNode<K>;
	using Iterator = typename Base::Iterator;

	// finds or inserts key; returns its node
	Node *insert(const K &key) {
		Node *parent = nullptr;
		Node *node = this->root;
		bool right = false;
		while (node) {
			if (node->key == key) {
				node->key = key;
				return node;
			}
			parent = node;
			right = node->key < key;
			node = right ? node->right : node->left;
		}
		node = new Node(parent, key);
		this->attach(parent, right, node);
		return node;
	}
};

} // namespace Vexa
