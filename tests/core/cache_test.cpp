// The cache file: its exact bytes, reopening and adding to it, damaged and
// foreign files (which give way to an empty cache), a table that shrinks,
// failures that detach the cache or forget a key, and threads sharing it.
#include "io_test_util.h"

#include <thread>

#include "core/Cache.h"
#include "core/File.h"

using io_test::LogCapture;
using io_test::MemoryStream;
using io_test::TempDir;
using Vexa::Cache;
using Vexa::String;

namespace {

std::string bytes(std::initializer_list<int> list) {
	std::string s;
	for (int b : list) s.push_back((char)b);
	return s;
}

bool save(Cache &cache, const char *key, const std::string &blob) {
	MemoryStream src(blob);
	return cache.save(String(key), src);
}

// the blob under key, or "<none>"
std::string load(Cache &cache, const String &key) {
	MemoryStream dst;
	if (!cache.load(key, dst)) return "<none>";
	EXPECT_EQ(dst.tell(), 0u) << "left at the start";
	return dst.bytes;
}

std::string load(Cache &cache, const char *key) {
	return load(cache, String(key));
}

const std::string magic = "VexaShader01";

// a cache file with the key "a" on the blob "xyz"
const std::string one_blob = "xyz" + magic + bytes({1, 0, 0, 0, 0x81, 'a', 0x80, 0x80, 0x83, 0x19, 0, 0, 0});

} // namespace

TEST(Cache, ExactBytesOfASmallBlob) {
	TempDir dir;
	std::string path = dir.path("c.cache");
	Cache cache;
	EXPECT_FALSE(cache.isOpened());
	ASSERT_TRUE(cache.open(path.c_str())) << "a missing file is an empty cache";
	EXPECT_TRUE(cache.isOpened());
	EXPECT_FALSE(Vexa::File::isFile(path.c_str())) << "created by the first save";
	ASSERT_TRUE(save(cache, "a", "xyz"));
	EXPECT_EQ(io_test::readFile(path), one_blob);
	EXPECT_EQ(one_blob.size(), 28u);
	EXPECT_TRUE(cache.has(String("a")));
	EXPECT_EQ(load(cache, "a"), "xyz");

	// the same key again: one entry on slot 1, both slot records kept
	ASSERT_TRUE(save(cache, "a", "pq"));
	EXPECT_EQ(io_test::readFile(path),
		"xyzpq" + magic + bytes({1, 0, 0, 0, 0x81, 'a', 0x81, 0x80, 0x83, 0x83, 0x82, 0x1b, 0, 0, 0}));
	EXPECT_EQ(load(cache, "a"), "pq");
}

TEST(Cache, ReopenAndAddToIt) {
	TempDir dir;
	std::string path = dir.path("c.cache");
	std::string big(100000, 0);
	for (size_t i = 0; i < big.size(); i++) big[i] = (char)(i * 131);
	{
		Cache cache;
		ASSERT_TRUE(cache.open(path.c_str()));
		ASSERT_TRUE(save(cache, "first", "1111"));
		ASSERT_TRUE(save(cache, "big", big));
	}
	{
		Cache cache;
		ASSERT_TRUE(cache.open(path.c_str()));
		EXPECT_TRUE(load(cache, "big") == big);
		EXPECT_EQ(load(cache, "first"), "1111");
		EXPECT_FALSE(cache.has(String("other")));
		EXPECT_EQ(load(cache, "other"), "<none>");
		// the first save after open reopens the file for update
		ASSERT_TRUE(save(cache, "third", "333"));
	}
	Cache cache;
	ASSERT_TRUE(cache.open(path.c_str()));
	EXPECT_EQ(load(cache, "first"), "1111");
	EXPECT_TRUE(load(cache, "big") == big);
	EXPECT_EQ(load(cache, "third"), "333");
	EXPECT_EQ(io_test::readFile(path).substr(0, 4), "1111");
}

TEST(Cache, DamagedOrForeignFilesGiveWayToAnEmptyCache) {
	// a file of the blobs "xyz" and a table made of the given parts
	auto file = [](uint32_t count, const std::string &entries, const std::string &slots, const std::string &text = magic) {
		std::string table = text + bytes({(int)(count & 0xff), (int)(count >> 8 & 0xff), (int)(count >> 16 & 0xff), (int)(count >> 24)}) + entries + slots;
		uint32_t trailer = (uint32_t)table.size() + 4;
		return "xyz" + table + bytes({(int)trailer, 0, 0, 0});
	};
	const std::string entry = bytes({0x81, 'a', 0x80});
	const std::string slot = bytes({0x80, 0x83});
	ASSERT_EQ(file(1, entry, slot), one_blob);
	std::string small_trailer = one_blob;
	small_trailer[24] = 4;
	struct Case {
		const char *what;
		std::string file;
		std::string message;
	} cases[] = {
		{"shorter than 16 bytes", std::string(15, 'c'), ""},
		{"trailer beyond the file", std::string(20, 'z'), "Cache::open(): can't seek to the header\n"},
		{"trailer too small for a table", small_trailer, "Cache::open(): can't seek to the header\n"},
		{"foreign magic", file(1, entry, slot, "VexaShader02"), "Cache::open(): invalid magic 0x61786556 0x64616853 0x32307265\n"},
		{"entry count beyond the table", file(0xffffffff, entry, slot), "Cache::open(): can't read indices\n"},
		{"entries cut short", file(2, entry, slot), "Cache::open(): can't read indices\n"},
		{"slot number beyond the table", file(1, bytes({0x81, 'a', 0x7f, 0x7f, 0x7f, 0x7f, 0x87}), slot), "Cache::open(): can't read indices\n"},
		{"key longer than the table", file(1, bytes({0xff, 'a', 0x80}), slot), "Cache::open(): can't read indices\n"},
		{"slot records missing", file(1, bytes({0x81, 'a', 0x83}), slot), "Cache::open(): can't read indices\n"},
		{"blob beyond the blob area", file(1, entry, bytes({0x80, 0x84})), "Cache::open(): can't read offsets\n"},
		{"blob offset beyond the blob area", file(1, entry, bytes({0x84, 0x80})), "Cache::open(): can't read offsets\n"},
	};
	std::string good = one_blob;
	for (const Case &c : cases) {
		TempDir dir;
		std::string path = dir.path("c.cache");
		io_test::writeFile(path, c.file);
		LogCapture log;
		Cache cache;
		EXPECT_TRUE(cache.open(path.c_str())) << c.what;
		EXPECT_EQ(log.text(), c.message) << c.what;
		EXPECT_TRUE(cache.isOpened());
		EXPECT_EQ(Vexa::File::size(path.c_str()), 0u) << c.what;
		EXPECT_FALSE(cache.has(String("a"))) << c.what;
		// and the emptied file works as a cache
		EXPECT_TRUE(save(cache, "k", "v")) << c.what;
		Cache again;
		ASSERT_TRUE(again.open(path.c_str()));
		EXPECT_EQ(load(again, "k"), "v") << c.what;
	}
	// the untouched file opens as it is
	TempDir dir;
	io_test::writeFile(dir.path("ok"), good);
	Cache cache;
	ASSERT_TRUE(cache.open(dir.path("ok").c_str()));
	EXPECT_EQ(load(cache, "a"), "xyz");
}

TEST(Cache, EmptyBlobsAreNotThere) {
	TempDir dir;
	Cache cache;
	ASSERT_TRUE(cache.open(dir.path("c").c_str()));
	ASSERT_TRUE(save(cache, "empty", ""));
	EXPECT_FALSE(cache.has(String("empty")));
	EXPECT_EQ(load(cache, "empty"), "<none>");
	ASSERT_TRUE(save(cache, "full", "F"));
	Cache again;
	ASSERT_TRUE(again.open(dir.path("c").c_str()));
	EXPECT_FALSE(again.has(String("empty")));
	EXPECT_EQ(load(again, "full"), "F");
}

TEST(Cache, AShorterTableLeavesNoStaleBytes) {
	TempDir dir;
	std::string path = dir.path("c");
	String long_key(200, 'k');
	{
		Cache cache;
		ASSERT_TRUE(cache.open(path.c_str()));
		MemoryStream src("L");
		ASSERT_TRUE(cache.save(long_key, src));
		ASSERT_TRUE(save(cache, "b", "B"));
	}
	{
		Cache cache;
		ASSERT_TRUE(cache.open(path.c_str()));
		// a failed load forgets the key, so the next table is shorter
		LogCapture log;
		MemoryStream full;
		full.capacity = 0;
		EXPECT_FALSE(cache.load(long_key, full));
		EXPECT_NE(log.text().find("Cache::load(): can't read \"kkk"), std::string::npos) << log.text();
		EXPECT_FALSE(cache.has(long_key));
		ASSERT_TRUE(save(cache, "c", "C"));
	}
	std::string file = io_test::readFile(path);
	uint32_t trailer;
	memcpy(&trailer, &file[file.size() - 4], 4);
	EXPECT_EQ(file.substr(file.size() - trailer, magic.size()), magic) << "the trailer finds the table";
	Cache cache;
	LogCapture log;
	ASSERT_TRUE(cache.open(path.c_str()));
	EXPECT_TRUE(log.lines.empty());
	EXPECT_EQ(load(cache, "b"), "B");
	EXPECT_EQ(load(cache, "c"), "C");
	EXPECT_FALSE(cache.has(long_key));
}

TEST(Cache, FailuresDetachOrForget) {
	TempDir dir;
	{
		LogCapture log;
		Cache cache;
		EXPECT_FALSE(save(cache, "k", "v")) << "never opened";
		EXPECT_EQ(load(cache, "k"), "<none>");
		EXPECT_FALSE(cache.has(String("k")));
		EXPECT_TRUE(log.lines.empty());
	}
	{
		// a directory is no file: open takes it for a missing cache, and the
		// save that cannot create it detaches the cache
		LogCapture log;
		Cache cache;
		std::string path = dir.path("sub");
		ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
		ASSERT_TRUE(cache.open(path.c_str()));
		EXPECT_FALSE(save(cache, "k", "v"));
		EXPECT_FALSE(cache.isOpened());
		std::string text = log.text();
		EXPECT_NE(text.find("Cache::save(): can't open \"" + path + "\" file\n"), std::string::npos) << text;
		size_t lines = log.lines.size();
		EXPECT_FALSE(save(cache, "k", "v")) << "silently: nothing is attached";
		EXPECT_EQ(log.lines.size(), lines);
	}
	{
		// a blob the file no longer holds is forgotten when it fails to load
		std::string path = dir.path("cut");
		Cache cache;
		ASSERT_TRUE(cache.open(path.c_str()));
		// larger than any stdio buffer, so the load must go to the disk
		ASSERT_TRUE(save(cache, "k", std::string(100000, 'v')));
		Cache reader;
		ASSERT_TRUE(reader.open(path.c_str()));
		ASSERT_EQ(truncate(path.c_str(), 10), 0);
		LogCapture log;
		EXPECT_TRUE(load(reader, "k") == "<none>");
		EXPECT_FALSE(reader.has(String("k")));
		EXPECT_TRUE(reader.isOpened()) << "only the key is forgotten";
		EXPECT_NE(log.text().find("Cache::load(): can't read \"k\" cache\n"), std::string::npos) << log.text();
	}
	{
		Cache cache;
		std::string path = dir.path("missing/dir/c");
		LogCapture log;
		EXPECT_FALSE(cache.create(path.c_str()));
		EXPECT_FALSE(cache.isOpened());
		EXPECT_NE(log.text().find("Cache::create(): can't create \"" + path + "\" file\nNo such file or directory\n"), std::string::npos) << log.text();
		ASSERT_TRUE(cache.create(dir.path("new").c_str()));
		EXPECT_TRUE(save(cache, "k", "v"));
		cache.clear();
		EXPECT_FALSE(cache.isOpened());
		EXPECT_FALSE(cache.has(String("k")));
	}
}

TEST(Cache, ThreadsShareOneCache) {
	TempDir dir;
	std::string path = dir.path("shared");
	Cache cache;
	ASSERT_TRUE(cache.open(path.c_str()));
	std::vector<std::thread> threads;
	for (int t = 0; t < 4; t++) {
		threads.emplace_back([&cache, t] {
			for (int i = 0; i < 40; i++) {
				std::string key = "t" + std::to_string(t) + "_" + std::to_string(i);
				std::string blob(i + 1, (char)('a' + t));
				MemoryStream src(blob);
				EXPECT_TRUE(cache.save(String(key.c_str()), src));
				EXPECT_EQ(load(cache, key.c_str()), blob);
			}
		});
	}
	for (std::thread &thread : threads) thread.join();
	Cache again;
	ASSERT_TRUE(again.open(path.c_str()));
	for (int t = 0; t < 4; t++) {
		for (int i = 0; i < 40; i++) {
			std::string key = "t" + std::to_string(t) + "_" + std::to_string(i);
			EXPECT_EQ(load(again, key.c_str()), std::string(i + 1, (char)('a' + t)));
		}
	}
}

TEST(Cache, ProcessWideCache) {
	EXPECT_EQ(&Cache::global(), &Cache::global());
	EXPECT_FALSE(Cache::global().isOpened());
}
