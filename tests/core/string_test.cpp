// String storage: the growth rules, ownership of buffers, self-referencing
// edits, ordering, search, splitting and the path helpers.
#include "core/String.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using Vexa::String;
using Vexa::StringArray;
using Vexa::StringStack;

TEST(String, EmptyStringsShareOneTextAndAllocateNothing) {
	String a;
	String b((const char *)nullptr);
	String c("");
	String d("abc");
	d.clear();
	for (const String *s : {&a, &b, &c}) {
		EXPECT_EQ(s->size(), 0u);
		EXPECT_EQ(s->get(), String::null.get());
		EXPECT_FALSE(s->isOwned());
		EXPECT_STREQ(s->get(), "");
	}
	EXPECT_EQ(d.size(), 0u);
	EXPECT_STREQ(d.get(), "");
	EXPECT_STREQ(String::null.get(), "");
}

TEST(String, GrowthRules) {
	String s;
	s.append('x');
	EXPECT_EQ(s.getCapacity(), 64u);
	EXPECT_TRUE(s.isOwned());
	while (s.size() < 65) s.append('x');
	EXPECT_EQ(s.getCapacity(), (3u * 65 + 2) / 2);

	// the fill constructor and insert use the exact rule
	EXPECT_EQ(String(100, 'x').getCapacity(), 100u);
	EXPECT_EQ(String(3, 'x').getCapacity(), 64u);
	String t(64, 'a');
	ASSERT_EQ(t.getCapacity(), 64u);
	t.insert(0, "b", 1);
	EXPECT_EQ(t.getCapacity(), 65u);
	EXPECT_EQ(t.size(), 65u);
	EXPECT_EQ(t[0], 'b');

	// a copy sizes its buffer by the amortised rule
	EXPECT_EQ(String(std::string(100, 'y').c_str()).getCapacity(), 151u);

	// resize: exact unless asked to grow amortised; shrinking only moves the NUL
	String r;
	r.resize(70, 'z');
	EXPECT_EQ(r.getCapacity(), 70u);
	r.resize(71, 'z', true);
	EXPECT_EQ(r.getCapacity(), (3u * 71 + 2) / 2);
	r.resize(2);
	EXPECT_STREQ(r.get(), "zz");
	r.shrink();
	EXPECT_EQ(r.getCapacity(), 2u);
	EXPECT_STREQ(r.get(), "zz");
}

TEST(String, StackStringHandover) {
	StringStack<64> small("0123456789");
	EXPECT_TRUE(small.isInline());
	String a(static_cast<StringStack<64> &&>(small));
	EXPECT_TRUE(a.isOwned());
	EXPECT_EQ(a.getCapacity(), 64u);
	EXPECT_STREQ(small.get(), "0123456789"); // copied, left as it was

	StringStack<64> big;
	for (int i = 0; i < 200; i++) big.append('q');
	EXPECT_FALSE(big.isInline());
	const char *buffer = big.get();
	String b(static_cast<StringStack<64> &&>(big));
	EXPECT_EQ(b.get(), buffer); // the heap buffer is handed over
	EXPECT_EQ(b.size(), 200u);
	EXPECT_EQ(big.size(), 0u);

	// concatenation hands its result over the same way
	String c = String("ab") + "cd" + String("ef");
	EXPECT_STREQ(c.get(), "abcdef");
	EXPECT_STREQ((nullptr + String("x")).get(), "x");
}

TEST(String, MovesNeverTakeBuffersTheyDoNotOwn) {
	char buffer[16] = "outside";
	String adopted;
	adopted.setBuffer(buffer, sizeof(buffer), 7);
	EXPECT_EQ(adopted.getCapacity(), 15u);
	String moved(static_cast<String &&>(adopted));
	EXPECT_NE(moved.get(), buffer);
	EXPECT_STREQ(moved.get(), "outside");
	EXPECT_EQ(adopted.get(), buffer);

	String owned("heap");
	const char *text = owned.get();
	String taken(static_cast<String &&>(owned));
	EXPECT_EQ(taken.get(), text);
	EXPECT_EQ(owned.size(), 0u);

	// destroying an adopted view leaves the caller's buffer untouched
	{
		String view;
		view.setBuffer(buffer, sizeof(buffer), 7);
	}
	EXPECT_STREQ(buffer, "outside");
}

TEST(String, SelfReferencingEditsSurviveGrowth) {
	String s("abcdefgh");
	s.append(s);
	EXPECT_STREQ(s.get(), "abcdefghabcdefgh");
	while (s.size() < 64) s.append(s);
	EXPECT_EQ(s.size(), 64u);
	s.append(s.get() + 60, 4); // a piece of itself while the buffer must grow
	EXPECT_EQ(s.size(), 68u);
	EXPECT_EQ(std::string(s.get() + 64), "efgh");

	String t(64, 'a');
	t[10] = 'Z';
	t.insert(0, t.get() + 10, 1); // grows: exact rule
	EXPECT_EQ(t[0], 'Z');
	t.insert(2, t.get(), 3); // fits now? capacity 65, length 65: grows again
	EXPECT_EQ(std::string(t.get(), 6), "ZaZaaa");

	String u("hello world");
	u.reserve(100);
	u.insert(0, u.get() + 6, 5); // fits: the tail moves under the source
	EXPECT_STREQ(u.get(), "worldhello world");

	String v("0123456789");
	v = v.get() + 5;
	EXPECT_STREQ(v.get(), "56789");
	v.copy(v, 2);
	EXPECT_STREQ(v.get(), "56");
	v = v;
	EXPECT_STREQ(v.get(), "56");
}

TEST(String, Ordering) {
	EXPECT_TRUE(String("abc") < String("abd"));
	EXPECT_TRUE(String("ab") < "abc");
	EXPECT_TRUE("\xe9" < String("a"));
	EXPECT_TRUE(String("a\xe9") < String("a"));
	EXPECT_FALSE(String("a") < String("a"));
	EXPECT_TRUE(String("b") > "a");
	EXPECT_EQ(String("abc"), "abc");
	EXPECT_NE(String("abc"), String("abd"));
	EXPECT_TRUE(String() == (const char *)nullptr);
	EXPECT_TRUE(String("x") != (const char *)nullptr);
	EXPECT_EQ(String("abc").compare("abd"), -1);
	EXPECT_EQ(String("xabc").compare("abc", 1), 0);
	EXPECT_TRUE(String::equal("a", "a"));
	EXPECT_FALSE(String::equal("a", "b"));
}

TEST(String, Search) {
	String e;
	EXPECT_EQ(e.find('a'), ~0u);
	EXPECT_EQ(e.count('a'), ~0u);
	EXPECT_EQ(e.count("a"), ~0u);
	EXPECT_EQ(e.rfind('a'), ~0u);

	String s("abcabcab");
	EXPECT_EQ(s.find('c'), 2u);
	EXPECT_EQ(s.find('c', 3), 5u);
	EXPECT_EQ(s.find("cab"), 2u);
	EXPECT_EQ(s.find("cab", 3), 5u);
	EXPECT_EQ(s.find("x"), ~0u);
	EXPECT_EQ(s.rfind('a'), 6u);
	EXPECT_EQ(s.rfind('c', 2), ~0u);
	EXPECT_EQ(s.rfind("abc"), 3u);
	EXPECT_TRUE(s.contains("bca"));
	EXPECT_FALSE(s.contains("bca", ~0u, 5));
	EXPECT_TRUE(s.startsWith("abc"));
	EXPECT_TRUE(s.startsWith("cab", ~0u, 2));
	EXPECT_FALSE(s.startsWith("abx"));
	EXPECT_FALSE(s.startsWith("abx", 2, 7));
	EXPECT_EQ(s.count('a'), 3u);
	EXPECT_EQ(String("aaaa").count("aa"), 2u);
	EXPECT_EQ(s.count("ab", 100), 0u);
	EXPECT_STREQ(s.substr(2, 3).get(), "cab");
	EXPECT_STREQ(s.substr(6).get(), "ab");
	EXPECT_STREQ(s.substr(100).get(), "");
}

TEST(String, Editing) {
	String s("hello world");
	s.remove(5, 6);
	EXPECT_STREQ(s.get(), "hello");
	s.remove(1);
	EXPECT_STREQ(s.get(), "h");
	String r("abcdef");
	r.reverse();
	EXPECT_STREQ(r.get(), "fedcba");
	r.reverse(1, 3);
	EXPECT_STREQ(r.get(), "fcdeba");
	r.removeBack(2);
	EXPECT_STREQ(r.get(), "fcde");
	EXPECT_EQ(r.fromBack(0), 'e');
	r.append('\0');
	EXPECT_EQ(r.size(), 4u);
	r.append((const char *)nullptr);
	EXPECT_EQ(r.size(), 4u);
	EXPECT_STREQ(String("a.b.c").replace('.', '/').get(), "a/b/c");
	EXPECT_STREQ(String("a.b.c").replace('.', '/', 2).get(), "a.b/c");
	EXPECT_STREQ(String("one two one").replace("one", "three").get(), "three two three");
	EXPECT_STREQ(String("xx").replace("x", "").get(), "");
}

TEST(String, Split) {
	StringArray parts = String(",a,,b;").split(",;");
	ASSERT_EQ(parts.getCount(), 2u);
	EXPECT_EQ(parts[0], "a");
	EXPECT_EQ(parts[1], "b");

	StringArray copy(parts);
	parts.clear();
	ASSERT_EQ(copy.getCount(), 2u);
	EXPECT_EQ(copy[1], "b");

	StringArray limited("ab cd ef", " ", 5);
	ASSERT_EQ(limited.getCount(), 2u);
	EXPECT_EQ(limited[1], "cd");

	EXPECT_EQ(StringArray(",,,", ",").getCount(), 0u);
	EXPECT_EQ(StringArray((const char *)nullptr, ",").getCount(), 0u);
}

TEST(String, Paths) {
	struct Case {
		const char *path, *dirname, *basename, *extension;
	};
	const Case cases[] = {
		{"file", "", "file", ""},
		{"dir.x/file", "dir.x/", "file", ""},
		{"a/b/c.txt", "a/b/", "c.txt", "txt"},
		{"a\\b\\c.glsl", "a\\b\\", "c.glsl", "glsl"},
		{"c:x.y", "", "c:x.y", "y"},
		{"", "", "", ""},
	};
	for (const Case &c : cases) {
		String s(c.path);
		EXPECT_EQ(s.dirname(), c.dirname) << c.path;
		EXPECT_EQ(s.basename(), c.basename) << c.path;
		EXPECT_EQ(s.extension(), c.extension) << c.path;
	}
	EXPECT_EQ(String("a/b.txt").replaceExtension("bin"), "a/b.bin");
	EXPECT_EQ(String("a/b.txt").replaceExtension(nullptr), "a/b");
	EXPECT_EQ(String("a.d/b").replaceExtension("bin"), "a.d/b.bin");
	EXPECT_EQ(String("a.d/b").replaceExtension(nullptr), "a.d/b");

	const char *clean[][2] = {
		{"a//b/./c/../d", "a/b/d"},
		{"../x", "../x"},
		{"a/../../x", "../x"},
		{"./a", "./a"},
		{"a/b/../../c", "c"},
		{"../../a", "../../a"},
	};
	for (auto &c : clean) EXPECT_EQ(String(c[0]).cleanPath(), c[1]) << c[0];

	EXPECT_EQ(String::relativePath("a/b/", "a/b/"), "");
	EXPECT_EQ(String::relativePath("a/b/", "a/c/d"), "../c/d");
	EXPECT_EQ(String::relativePath("a/b/x/", "a/c"), "../../c");
	EXPECT_EQ(String::relativePath("x/a", "y/b"), "y/b");
}

TEST(String, WideConstruction) {
	const uint16_t units16[] = {'a', 0x20ac, 0};
	EXPECT_EQ(String(units16), "a\xe2\x82\xac");
	const uint32_t units32[] = {'x', 'y', 'z', 0};
	EXPECT_EQ(String(units32, 2), "xy");
	EXPECT_EQ(String((const uint32_t *)nullptr), "");
}
