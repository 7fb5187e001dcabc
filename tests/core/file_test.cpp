// File and Source: opening by name, by descriptor and as a command pipe, the
// file queries, positioning (with one meaning of seekEnd on every stream),
// the mapped and buffered readers, windows and the open callback.
#include "io_test_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "core/File.h"
#include "core/Source.h"

using io_test::LogCapture;
using io_test::MemoryStream;
using io_test::TempDir;
using Vexa::File;
using Vexa::Source;
using Vexa::String;

namespace {

std::string str(const String &s) {
	return std::string(s.get(), s.size());
}

std::string pattern(size_t size) {
	std::string s;
	for (size_t i = 0; i < size; i++) s.push_back((char)('a' + (i * 7) % 26));
	return s;
}

std::string readBytes(Vexa::Stream &stream, size_t size) {
	std::string s(size, 0);
	s.resize(stream.read(&s[0], size));
	return s;
}

} // namespace

//
// File
//

TEST(File, WriteThenReadBack) {
	TempDir dir;
	std::string path = dir.path("a.bin");
	File file;
	ASSERT_TRUE(file.open(path.c_str(), "wb"));
	EXPECT_TRUE(file.isOpened());
	EXPECT_FALSE(file.isMapped());
	EXPECT_EQ(str(file.getName()), path);
	EXPECT_TRUE(file.writeu32(0x07230203));
	EXPECT_TRUE(file.puts("text"));
	EXPECT_TRUE(file.flush());
	file.close();
	EXPECT_FALSE(file.isOpened());
	EXPECT_TRUE(file.getName().empty());
	EXPECT_EQ(io_test::readFile(path), std::string("\x03\x02\x23\x07text", 8));

	ASSERT_TRUE(file.open(path.c_str(), "rb"));
	EXPECT_EQ(file.getSize(), 8u);
	EXPECT_EQ(file.readu32(), 0x07230203u);
	EXPECT_EQ(file.tell(), 4u);
	EXPECT_EQ(str(file.readAll()), "text");
	EXPECT_FALSE(file.isAvailable());
}

TEST(File, FailedOpenLeavesItClosedAndSaysWhy) {
	TempDir dir;
	std::string path = dir.path("missing/file");
	LogCapture log;
	File file;
	EXPECT_FALSE(file.open(path.c_str(), "rb"));
	EXPECT_FALSE(file.isOpened());
	EXPECT_TRUE(file.getName().empty());
	EXPECT_EQ(log.text(), "File::open(): can't open \"" + path + "\" file\n");
	// a closed File is harmless to use
	char byte;
	EXPECT_EQ(file.read(&byte, 1), 0u);
	EXPECT_EQ(file.write("x", 1), 0u);
	EXPECT_FALSE(file.isAvailable());
	EXPECT_FALSE(file.flush());
	EXPECT_FALSE(file.seekSet(0));
}

TEST(File, DescriptorIsClosedWithTheFile) {
	// a File on the write end of a pipe: the reader only sees the end when
	// close really closes the descriptor
	int fds[2];
	ASSERT_EQ(pipe(fds), 0);
	{
		File file;
		ASSERT_TRUE(file.open(fds[1], "pipe", "wb"));
		EXPECT_EQ(str(file.getName()), "pipe");
		EXPECT_EQ(file.getSize(), 0u);
		EXPECT_FALSE(file.isPipe()) << "a descriptor is no command pipe";
		EXPECT_TRUE(file.puts("through"));
		file.close();
	}
	EXPECT_EQ(fcntl(fds[1], F_GETFD), -1);
	char buffer[32];
	ssize_t n = ::read(fds[0], buffer, sizeof(buffer));
	EXPECT_EQ(std::string(buffer, n > 0 ? n : 0), "through");
	EXPECT_EQ(::read(fds[0], buffer, sizeof(buffer)), 0) << "end of file";
	::close(fds[0]);

	LogCapture log;
	File bad;
	EXPECT_FALSE(bad.open(-1, "nothing", "rb"));
	EXPECT_TRUE(bad.getName().empty());
	EXPECT_EQ(log.text(), "File::open(): can't open \"nothing\" file\n");
}

TEST(File, CommandPipesInBothDirections) {
	TempDir dir;
	File file;
	// the 'b' of a binary mode is dropped for popen
	ASSERT_TRUE(file.popen("printf 'one\\ntwo\\n'", "rb"));
	EXPECT_TRUE(file.isPipe());
	EXPECT_TRUE(file.getName().empty());
	EXPECT_EQ(str(file.readLine()), "one");
	EXPECT_EQ(str(file.readLine()), "two");
	file.close();
	EXPECT_FALSE(file.isPipe());

	std::string out = dir.path("out.txt");
	ASSERT_TRUE(file.popen(("cat > '" + out + "'").c_str(), "wb"));
	EXPECT_TRUE(file.printf("%u lines\n", 3u));
	file.close();	 // waits for the command
	EXPECT_EQ(io_test::readFile(out), "3 lines\n");

	LogCapture log;
	EXPECT_FALSE(file.popen("true", "x"));
	EXPECT_EQ(log.text(), "File::popen(): can't run \"true\" command\n");
}

TEST(File, Queries) {
	TempDir dir;
	std::string path = dir.path("q.txt");
	io_test::writeFile(path, "12345");
	struct stat st;
	ASSERT_EQ(stat(path.c_str(), &st), 0);
	EXPECT_EQ(File::size(path.c_str()), 5u);
	EXPECT_EQ(File::mtime(path.c_str()), (uint64_t)st.st_mtime);
	EXPECT_TRUE(File::isFile(path.c_str()));
	EXPECT_FALSE(File::isFile(dir.path("").c_str())) << "a directory";
	EXPECT_FALSE(File::isFile(dir.path("none").c_str()));
	EXPECT_EQ(File::size(dir.path("none").c_str()), 0u);
	EXPECT_EQ(File::mtime(dir.path("none").c_str()), 0u);
	EXPECT_EQ(Source::size(path.c_str()), 5u);
	EXPECT_TRUE(Source::isFile(path.c_str()));
	EXPECT_TRUE(File::remove(path.c_str()));
	EXPECT_FALSE(File::remove(path.c_str()));
	EXPECT_FALSE(File::isFile(path.c_str()));
}

TEST(File, MovesHandOverTheOpenFile) {
	TempDir dir;
	std::string path = dir.path("m.txt");
	io_test::writeFile(path, "moved");
	File a;
	ASSERT_TRUE(a.open(path.c_str(), "rb"));
	File b(std::move(a));
	EXPECT_FALSE(a.isOpened());
	EXPECT_TRUE(b.isOpened());
	File c;
	c = std::move(b);
	EXPECT_FALSE(b.isOpened());
	Vexa::Stream *d = c.move();
	EXPECT_FALSE(c.isOpened());
	EXPECT_EQ(str(d->getName()), path);
	EXPECT_EQ(str(d->readAll()), "moved");
	delete d;
}

TEST(File, TruncateCutsAtThePosition) {
	TempDir dir;
	std::string path = dir.path("t.bin");
	io_test::writeFile(path, "0123456789");
	File file;
	ASSERT_TRUE(file.open(path.c_str(), "rb+"));
	ASSERT_TRUE(file.seekSet(4));
	ASSERT_TRUE(file.puts("ab"));
	EXPECT_TRUE(file.truncate());
	EXPECT_EQ(file.getSize(), 6u);
	file.close();
	EXPECT_EQ(io_test::readFile(path), "0123ab");
}

//
// positioning: seekEnd counts back from the end on every kind of stream
//

TEST(Seek, EveryStreamAgreesOnSeekEnd) {
	TempDir dir;
	std::string path = dir.path("hundred.bin");
	std::string data = pattern(100);
	io_test::writeFile(path, data);

	File file;
	ASSERT_TRUE(file.open(path.c_str(), "rb"));
	Source mapped;
	ASSERT_TRUE(mapped.open(path.c_str()));
	ASSERT_TRUE(mapped.isMapped());
	Source wrapped;
	Source::setOpenCallback([](const char *, void *data) -> Vexa::Stream * { return new MemoryStream(*static_cast<std::string *>(data)); }, &data);
	ASSERT_TRUE(wrapped.open("anything"));
	Source::setOpenCallback(nullptr, nullptr);

	Vexa::Stream *streams[] = {&file, &mapped, &wrapped};
	for (Vexa::Stream *s : streams) {
		EXPECT_TRUE(s->seekEnd(10));
		EXPECT_EQ(s->tell(), 90u);
		EXPECT_EQ(readBytes(*s, 4), data.substr(90, 4));
		EXPECT_TRUE(s->seekEnd(0));
		EXPECT_EQ(s->tell(), 100u);
		EXPECT_TRUE(s->seekEnd(100));
		EXPECT_EQ(s->tell(), 0u);
		EXPECT_FALSE(s->seekEnd(101)) << "before the start";
		EXPECT_TRUE(s->seekSet(20));
		EXPECT_TRUE(s->seekCur(-5));
		EXPECT_TRUE(s->seekCur(0));
		EXPECT_EQ(s->tell(), 15u);
		EXPECT_EQ(readBytes(*s, 3), data.substr(15, 3));
	}
}

TEST(Seek, MappedSourceStopsAtItsEnds) {
	TempDir dir;
	std::string path = dir.path("m.bin");
	io_test::writeFile(path, pattern(50));
	Source s;
	ASSERT_TRUE(s.open(path.c_str()));
	EXPECT_FALSE(s.seekSet(51));
	EXPECT_EQ(s.tell(), 50u);
	EXPECT_FALSE(s.isAvailable());
	EXPECT_TRUE(s.seekSet(10));
	EXPECT_FALSE(s.seekCur(-11));
	EXPECT_EQ(s.tell(), 0u);
	EXPECT_FALSE(s.seekCur(51));
	EXPECT_EQ(s.tell(), 50u);
	EXPECT_FALSE(s.seekEnd(51));
	EXPECT_EQ(s.tell(), 0u);
	char buffer[8];
	s.seekSet(46);
	EXPECT_EQ(s.read(buffer, 8), 4u);
}

//
// Source readers
//

TEST(SourceReaders, EmptyFileIsMappedWithNothingToRead) {
	TempDir dir;
	std::string path = dir.path("empty");
	io_test::writeFile(path, "");
	Source s;
	ASSERT_TRUE(s.open(path.c_str()));
	EXPECT_TRUE(s.isMapped());
	EXPECT_EQ(s.getSize(), 0u);
	EXPECT_FALSE(s.isAvailable());
	char byte;
	EXPECT_EQ(s.read(&byte, 1), 0u);
	bool status = true;
	EXPECT_TRUE(s.readAll(&status).empty());
}

TEST(SourceReaders, ProcFilesAreReadNotMapped) {
	// /proc files report size 0 but have text
	const char *path = "/proc/self/cmdline";
	std::string expected = io_test::readFile(path);
	if (expected.empty()) GTEST_SKIP() << "no /proc";
	Source s;
	ASSERT_TRUE(s.open(path));
	EXPECT_FALSE(s.isMapped());
	EXPECT_EQ(str(s.readAll()), expected);
	// positioning inside the cache and through the file
	ASSERT_GT(expected.size(), 4u);
	EXPECT_TRUE(s.seekSet(1));
	EXPECT_EQ(readBytes(s, 2), expected.substr(1, 2));
	EXPECT_EQ(s.tell(), 3u);
	EXPECT_TRUE(s.seekCur(-2));
	EXPECT_EQ(s.tell(), 1u);
	EXPECT_EQ(readBytes(s, 1), expected.substr(1, 1));
}

TEST(SourceReaders, PipesGoThroughTheBufferedReader) {
	TempDir dir;
	std::string fifo = dir.path("fifo");
	ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
	std::string data = pattern(4511);
	std::thread writer([&] {
		FILE *f = fopen(fifo.c_str(), "wb");
		if (f == nullptr) return;
		fwrite(data.data(), 1, data.size(), f);
		fclose(f);
	});
	Source s;
	bool opened = s.open(fifo.c_str());
	if (!opened) {
		// let the writer finish before failing
		FILE *f = fopen(fifo.c_str(), "rb");
		if (f) fclose(f);
	}
	ASSERT_TRUE(opened);
	EXPECT_FALSE(s.isMapped());
	EXPECT_EQ(s.getSize(), 0u);
	// single bytes and small reads come from the cache, large ones straight
	// from the file (which leaves the cache empty)
	std::string got = readBytes(s, 3);
	for (int i = 0; i < 3; i++) got += readBytes(s, 1);
	got += readBytes(s, 1500);
	got += readBytes(s, 3000);
	ASSERT_EQ(got.size(), 4506u);
	// 5 bytes remain and none is cached: a read of 10 delivers those 5
	EXPECT_EQ(readBytes(s, 10), data.substr(4506));
	EXPECT_EQ(readBytes(s, 10), "");
	EXPECT_FALSE(s.isAvailable());
	EXPECT_TRUE(got == data.substr(0, 4506));
	writer.join();
}

TEST(SourceReaders, WindowMakesAPartLookWhole) {
	TempDir dir;
	std::string path = dir.path("w.bin");
	std::string data = pattern(100);
	io_test::writeFile(path, data);
	Source s;
	ASSERT_TRUE(s.open(path.c_str()));
	s.setWindow("part", 10, 20);
	ASSERT_TRUE(s.seekSet(0));
	EXPECT_EQ(s.tell(), 0u);
	EXPECT_EQ(s.getSize(), 20u);
	EXPECT_EQ(str(s.getName()), "part");
	EXPECT_EQ(str(s.readAll()), data.substr(10, 20));
	EXPECT_FALSE(s.isAvailable());
	char buffer[8];
	EXPECT_EQ(s.read(buffer, 8), 0u);
	EXPECT_TRUE(s.seekEnd(5));
	EXPECT_EQ(s.tell(), 15u);
	EXPECT_EQ(readBytes(s, 8), data.substr(25, 5)) << "cut at the window's end";
	EXPECT_FALSE(s.seekEnd(21));
	EXPECT_EQ(s.tell(), 0u);
	s.setWindow((const char *)nullptr, 0, 0);
	EXPECT_EQ(s.getSize(), 100u);
	EXPECT_EQ(str(s.getName()), path);
}

TEST(SourceReaders, OpenCallbackAndItsFallback) {
	TempDir dir;
	std::string path = dir.path("disk.txt");
	io_test::writeFile(path, "from disk");
	struct Data {
		int calls = 0;
	} data;
	Source::setOpenCallback(
		[](const char *name, void *p) -> Vexa::Stream * {
			static_cast<Data *>(p)->calls++;
			if (strncmp(name, "mem:", 4) != 0) return nullptr;
			return new MemoryStream(name + 4);
		},
		&data);
	EXPECT_NE(Source::getOpenCallback(), nullptr);
	EXPECT_EQ(Source::getOpenCallbackData(), &data);

	Source s;
	ASSERT_TRUE(s.open("mem:in memory"));
	EXPECT_EQ(str(s.readAll()), "in memory");
	EXPECT_EQ(str(s.getName()), "memory");
	ASSERT_TRUE(s.open(path.c_str())) << "null from the callback reads the disk";
	EXPECT_EQ(str(s.readAll()), "from disk");
	ASSERT_TRUE(s.open(path.c_str(), false));
	EXPECT_EQ(data.calls, 2) << "not asked when told not to";
	Source::setOpenCallback(nullptr, nullptr);

	Vexa::Stream *moved = s.move();
	EXPECT_FALSE(s.isOpened());
	EXPECT_EQ(str(moved->readAll()), "from disk");
	delete moved;

	LogCapture log;
	std::string missing = dir.path("missing");
	EXPECT_FALSE(s.open(missing.c_str()));
	EXPECT_EQ(log.text(), "Source::open(): can't open \"" + missing + "\" file\n");
	EXPECT_EQ(s.write("x", 1), 0u);
	EXPECT_TRUE(s.getName().empty());
}
