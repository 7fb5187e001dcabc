// The typed layer of Stream: the byte-exact variable-length integer encoding,
// little-endian numbers and the status flag, strings (with lengths that lie),
// lines and tokens with and without the caller's buffer, whole-stream reads,
// copies and formatted output.
#define IO_TEST_TRACK_NEW
#include "io_test_util.h"

#include <cmath>
#include <cstring>

#include "core/String.h"

using io_test::LogCapture;
using io_test::MemoryStream;
using Vexa::String;

namespace {

std::string bytes(std::initializer_list<int> list) {
	std::string s;
	for (int b : list) s.push_back((char)b);
	return s;
}

std::string str(const String &s) {
	return std::string(s.get(), s.size());
}

} // namespace

//
// variable-length integers
//

TEST(StreamVarint, U32EncodingIsByteExactAndReadsBack) {
	struct Case {
		uint32_t value;
		std::string encoded;
	} cases[] = {
		{0, bytes({0x80})},
		{5, bytes({0x85})},
		{127, bytes({0xff})},
		{128, bytes({0x00, 0x81})},
		{300, bytes({0x2c, 0x82})},
		{16383, bytes({0x7f, 0xff})},
		{16384, bytes({0x00, 0x00, 0x81})},
		{0x0fffffff, bytes({0x7f, 0x7f, 0x7f, 0xff})},
		{0x10000000, bytes({0x00, 0x00, 0x00, 0x00, 0x81})},
		{0xffffffff, bytes({0x7f, 0x7f, 0x7f, 0x7f, 0x8f})},
	};
	for (const Case &c : cases) {
		MemoryStream out;
		ASSERT_TRUE(out.writeVaru32(c.value));
		EXPECT_EQ(out.bytes, c.encoded) << c.value;
		MemoryStream in(c.encoded + "x");
		bool status = true;
		EXPECT_EQ(in.readVaru32(&status), c.value);
		EXPECT_TRUE(status);
		EXPECT_EQ(in.tell(), c.encoded.size()) << "reads no byte past the end bit";
	}
}

TEST(StreamVarint, U64EncodingIsByteExactAndReadsBack) {
	struct Case {
		uint64_t value;
		std::string encoded;
	} cases[] = {
		{0, bytes({0x80})},
		{127, bytes({0xff})},
		{128, bytes({0x00, 0x81})},
		{0xffffffffull, bytes({0x7f, 0x7f, 0x7f, 0x7f, 0x8f})},
		{(1ull << 56) - 1, bytes({0x7f, 0x7f, 0x7f, 0x7f, 0x7f, 0x7f, 0x7f, 0xff})},
		// from 2^56 on the ninth byte carries bits 56-63 without an end bit
		{1ull << 56, bytes({0, 0, 0, 0, 0, 0, 0, 0, 0x01})},
		{~0ull, bytes({0x7f, 0x7f, 0x7f, 0x7f, 0x7f, 0x7f, 0x7f, 0x7f, 0xff})},
	};
	for (const Case &c : cases) {
		MemoryStream out;
		ASSERT_TRUE(out.writeVaru64(c.value));
		EXPECT_EQ(out.bytes, c.encoded) << c.value;
		MemoryStream in(c.encoded + "x");
		bool status = true;
		EXPECT_EQ(in.readVaru64(&status), c.value);
		EXPECT_TRUE(status);
		EXPECT_EQ(in.tell(), c.encoded.size());
	}
}

TEST(StreamVarint, FifthByteIsTakenWholeAndExcessBitsDropped) {
	MemoryStream in(bytes({0x7f, 0x7f, 0x7f, 0x7f, 0xff, 0x85}));
	EXPECT_EQ(in.readVaru32(), 0xffffffffu);
	EXPECT_EQ(in.readVaru32(), 5u);
}

TEST(StreamVarint, SignedFormsAndTruncation) {
	struct Case {
		std::string encoded;
		int64_t value;
	} cases[] = {
		{bytes({0x83}), -1},
		{bytes({0x81}), 0},
		{bytes({0x84}), 2},
		{bytes({0x7f, 0x7f, 0x7f, 0x7f, 0x8f}), -2147483647},
	};
	for (const Case &c : cases) {
		MemoryStream a(c.encoded), b(c.encoded);
		EXPECT_EQ(a.readVari32(), (int32_t)c.value);
		EXPECT_EQ(b.readVari64(), c.value);
	}
	// a varint cut off before its end byte fails the status
	MemoryStream cut(bytes({0x00, 0x01}));
	bool status = true;
	cut.readVaru32(&status);
	EXPECT_FALSE(status);
}

TEST(StreamVarint, WriteFailureIsReported) {
	MemoryStream out;
	out.capacity = 2;
	EXPECT_FALSE(out.writeVaru32(0xffffffff));
	EXPECT_FALSE(out.writeVaru64(~0ull));
}

//
// numbers and the status flag
//

TEST(StreamNumbers, LittleEndianBytesOfEveryWidth) {
	MemoryStream s;
	ASSERT_TRUE(s.writeu8(0x81));
	ASSERT_TRUE(s.writei8(-2));
	ASSERT_TRUE(s.writeu16(0x0102));
	ASSERT_TRUE(s.writei16(-3));
	ASSERT_TRUE(s.writeu32(0x01020304));
	ASSERT_TRUE(s.writei32(-4));
	ASSERT_TRUE(s.writeu64(0x0102030405060708ull));
	ASSERT_TRUE(s.writei64(-5));
	ASSERT_TRUE(s.writef32(1.5f));
	ASSERT_TRUE(s.writef64(-2.25));
	std::string expected = bytes({0x81, 0xfe, 0x02, 0x01, 0xfd, 0xff, 0x04, 0x03, 0x02, 0x01, 0xfc, 0xff, 0xff, 0xff,
		0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01});
	expected += std::string(7, (char)0xff).insert(0, 1, (char)0xfb);
	expected += bytes({0x00, 0x00, 0xc0, 0x3f});
	expected += bytes({0, 0, 0, 0, 0, 0, 0x02, 0xc0});
	EXPECT_EQ(s.bytes, expected);

	s.seekSet(0);
	bool status = true;
	EXPECT_EQ(s.readu8(&status), 0x81);
	EXPECT_EQ(s.readi8(&status), -2);
	EXPECT_EQ(s.readu16(&status), 0x0102);
	EXPECT_EQ(s.readi16(&status), -3);
	EXPECT_EQ(s.readu32(&status), 0x01020304u);
	EXPECT_EQ(s.readi32(&status), -4);
	EXPECT_EQ(s.readu64(&status), 0x0102030405060708ull);
	EXPECT_EQ(s.readi64(&status), -5);
	EXPECT_EQ(s.readf32(&status), 1.5f);
	EXPECT_EQ(s.readf64(&status), -2.25);
	EXPECT_TRUE(status);
	EXPECT_FALSE(s.isAvailable());
}

TEST(StreamNumbers, ShortReadsGiveZeroedBytesAndAFalseStatus) {
	MemoryStream s(bytes({0x01, 0x02}));
	bool status = true;
	EXPECT_EQ(s.readu32(&status), 0x0201u);
	EXPECT_FALSE(status);

	MemoryStream t(bytes({0x01, 0x02, 0x03}));
	status = true;
	EXPECT_EQ(t.readu64(&status), 0x030201ull);
	EXPECT_FALSE(status);

	// a flag that is already false stays false through successful reads
	MemoryStream u(bytes({1, 2, 3, 4, 5, 6, 7, 8}));
	status = false;
	EXPECT_EQ(u.readu32(&status), 0x04030201u);
	EXPECT_FALSE(status);
	// no status pointer is fine
	EXPECT_EQ(u.readu64(), 0x08070605ull);
	EXPECT_EQ(u.readu8(), 0);
}

//
// strings
//

TEST(StreamStrings, LengthPrefixedRoundTripKeepsEveryByte) {
	MemoryStream s;
	String with_nul("a\0b", 3);
	ASSERT_TRUE(s.writeString(with_nul));
	ASSERT_TRUE(s.writeString("hello"));
	ASSERT_TRUE(s.writeString((const char *)nullptr));
	ASSERT_TRUE(s.writeString(String(300, 'z')));
	EXPECT_EQ(s.bytes.substr(0, 4), bytes({0x83, 'a', 0, 'b'}));
	s.seekSet(0);
	bool status = true;
	EXPECT_EQ(str(s.readString(&status)), std::string("a\0b", 3));
	EXPECT_EQ(str(s.readString(&status)), "hello");
	EXPECT_EQ(str(s.readString(&status)), "");
	EXPECT_EQ(str(s.readString(&status)), std::string(300, 'z'));
	EXPECT_TRUE(status);
	s.readString(&status);
	EXPECT_FALSE(status) << "no length left";
}

TEST(StreamStrings, LyingLengthFailsWithoutAllocatingIt) {
	// a length of almost 2 GB in front of four bytes, on streams of known and
	// of unknown size
	std::string data = bytes({0x70, 0x7f, 0x7f, 0x7f, 0x87}) + "abcd";
	for (bool sized : {true, false}) {
		MemoryStream s(data);
		s.sized = sized;
		io_test::largest_new = 0;
		bool status = true;
		String text = s.readString(&status);
		EXPECT_FALSE(status);
		EXPECT_TRUE(text.empty());
		EXPECT_LT(io_test::largest_new.load(), (size_t)1 << 20) << "sized " << sized;
	}
	// a short body clears the String, even when the flag was already false
	MemoryStream s(bytes({0x8a}) + "abc");
	bool status = false;
	EXPECT_TRUE(s.readString(&status).empty());
	EXPECT_FALSE(status);
}

TEST(StreamStrings, LongBodyOfUnknownSizeIsReadWhole) {
	std::string body;
	for (int i = 0; i < 200000; i++) body.push_back((char)(i * 31 + 7));
	MemoryStream s;
	ASSERT_TRUE(s.writeString(String(body.data(), (uint32_t)body.size())));
	s.seekSet(0);
	s.sized = false;
	bool status = true;
	EXPECT_TRUE(str(s.readString(&status)) == body);
	EXPECT_TRUE(status);
}

TEST(StreamStrings, TerminatedStrings) {
	MemoryStream s;
	ASSERT_TRUE(s.writeString(String("one"), '\0'));
	ASSERT_TRUE(s.writeString("two", ';'));
	ASSERT_TRUE(s.writeString((const char *)nullptr, ';'));
	EXPECT_EQ(s.bytes, std::string("one\0two;;", 9));

	struct Case {
		std::string data;
		char end;
		uint32_t size;
		std::string text;
		bool status;
	} cases[] = {
		{std::string("one\0two", 7), '\0', ~0u, "one", true},
		{"abc", ';', ~0u, "abc", false},		  // the stream ends first
		{"abcdef;", ';', 3, "abc", false},	  // the size runs out first
		{"ab;", ';', 3, "ab", true},
		{std::string("a\0b;", 4), ';', ~0u, std::string("a\0b", 3), true},
	};
	for (const Case &c : cases) {
		MemoryStream in(c.data);
		bool status = true;
		EXPECT_EQ(str(in.readString(c.end, &status, c.size)), c.text);
		EXPECT_EQ(status, c.status) << c.data;
	}
}

//
// lines and tokens
//

namespace {

// every line read one way or the other, until the reader says no more
std::vector<std::string> lines(const std::string &data, bool empty, bool buffered, size_t piece) {
	MemoryStream s(data);
	s.piece = piece;
	String line, buffer;
	uint32_t position = 0;
	std::vector<std::string> out;
	for (int guard = 0; guard < 100; guard++) {
		bool ok = buffered ? s.readLine(line, buffer, position, empty, true) : s.readLine(line, empty, true);
		if (!ok) break;
		out.push_back(str(line));
	}
	return out;
}

std::vector<std::string> tokens(const std::string &data, bool buffered, size_t piece) {
	MemoryStream s(data);
	s.piece = piece;
	String token, buffer;
	uint32_t position = 0;
	std::vector<std::string> out;
	for (int guard = 0; guard < 100; guard++) {
		bool ok = buffered ? s.readToken(token, buffer, position, true) : s.readToken(token, true);
		if (!ok) break;
		out.push_back(str(token));
	}
	return out;
}

} // namespace

TEST(StreamLines, LinesWithAndWithoutEmptyOnes) {
	using Lines = std::vector<std::string>;
	struct Case {
		std::string data;
		bool empty;
		Lines expected;
	} cases[] = {
		{"\r\n\r\nabc\r\ndef", false, {"abc", "def"}},
		{"\n\nabc", true, {"", "", "abc"}},
		{"a\rb\n\n\nc\n", false, {"ab", "c"}},
		{"x\n\ny\n", true, {"x", "", "y"}},
		{"", false, {}},
	};
	// the caller's buffer is refilled in pieces of every size, down to
	// refills shorter than the previous one
	for (const Case &c : cases) {
		EXPECT_EQ(lines(c.data, c.empty, false, SIZE_MAX), c.expected) << c.data;
		for (size_t piece : {(size_t)1, (size_t)2, (size_t)5, (size_t)4096, SIZE_MAX}) {
			EXPECT_EQ(lines(c.data, c.empty, true, piece), c.expected) << c.data << " piece " << piece;
		}
	}
}

TEST(StreamLines, BufferedReaderNeverReturnsStaleBytes) {
	// a first refill of 4096 bytes, then a short one: the short refill must
	// not be padded with what the first left in the buffer
	std::string data = std::string(4095, 'a') + "\n" + "bb\ncc";
	std::vector<std::string> expected = {std::string(4095, 'a'), "bb", "cc"};
	EXPECT_EQ(lines(data, false, true, SIZE_MAX), expected);
	EXPECT_EQ(lines(data, false, true, 4096), expected);
	std::vector<std::string> words = {std::string(4095, 'a'), "bb", "cc"};
	EXPECT_EQ(tokens(data, true, SIZE_MAX), words);
}

TEST(StreamLines, StatusFormsAndAppending) {
	MemoryStream s("\n\nfirst\nsecond");
	bool status = false;
	EXPECT_EQ(str(s.readLine(&status)), "first");
	EXPECT_TRUE(status) << "set, not only cleared";
	String line("keep:");
	EXPECT_TRUE(s.readLine(line, false, false));
	EXPECT_EQ(str(line), "keep:second");
	EXPECT_TRUE(s.readLine(&status).empty());
	EXPECT_FALSE(status);
	// appending to a non-empty line still reports the end of the stream
	EXPECT_FALSE(s.readLine(line, false, false));
}

TEST(StreamTokens, WhiteSpaceSeparates) {
	using Words = std::vector<std::string>;
	struct Case {
		std::string data;
		Words expected;
	} cases[] = {
		{"  \t\nfoo bar", {"foo", "bar"}},
		{"a\r\nb\tc  ", {"a", "b", "c"}},
		{"fo\ro", {"foo"}},
		{" \t\r\n", {}},
	};
	for (const Case &c : cases) {
		EXPECT_EQ(tokens(c.data, false, SIZE_MAX), c.expected) << c.data;
		for (size_t piece : {(size_t)1, (size_t)3, SIZE_MAX}) EXPECT_EQ(tokens(c.data, true, piece), c.expected) << c.data;
	}
	MemoryStream s(" x ");
	bool status = false;
	EXPECT_EQ(str(s.readToken(&status)), "x");
	EXPECT_TRUE(status);
	s.readToken(&status);
	EXPECT_FALSE(status);
}

//
// whole streams, copies and formatted text
//

TEST(StreamWhole, ReadAllGathersEveryPiece) {
	std::string data;
	for (int i = 0; i < 100000; i++) data.push_back((char)(i * 7));
	for (bool sized : {true, false}) {
		MemoryStream s(data);
		s.sized = sized;
		s.piece = 1000;
		bool status = true;
		EXPECT_TRUE(str(s.readAll(&status)) == data);
		EXPECT_TRUE(status);
	}
	MemoryStream empty;
	bool status = true;
	EXPECT_TRUE(empty.readAll(&status).empty());
	EXPECT_FALSE(status);
}

TEST(StreamWhole, CopiesInBothDirections) {
	std::string data;
	for (int i = 0; i < 100000; i++) data.push_back((char)(i * 13 + 1));
	{
		MemoryStream src(data), dst;
		src.seekSet(10);
		EXPECT_EQ(src.readStream(dst), data.size() - 10) << "size 0 copies up to the end";
		EXPECT_TRUE(dst.bytes == data.substr(10));
	}
	{
		MemoryStream src(data), dst;
		EXPECT_EQ(dst.writeStream(src, 40000), 40000u);
		EXPECT_TRUE(dst.bytes == data.substr(0, 40000));
	}
	{
		// at the end: nothing to do, and nothing logged
		LogCapture log;
		MemoryStream src(data), dst;
		src.seekSet(data.size());
		bool status = true;
		EXPECT_EQ(src.readStream(dst, 0, &status), 0u);
		EXPECT_EQ(dst.writeStream(src, 0, &status), 0u);
		EXPECT_TRUE(status);
		EXPECT_TRUE(log.lines.empty());
	}
}

TEST(StreamWhole, CopyFailuresAreLoggedAndCounted) {
	std::string data(50000, 'd');
	struct Case {
		bool write_side;	 // the operation is writeStream on the destination
		bool short_read;
		const char *message;
	} cases[] = {
		{false, true, "Stream::readStream(): can't read stream\n"},
		{false, false, "Stream::readStream(): can't write stream\n"},
		{true, true, "Stream::writeStream(): can't read stream\n"},
		{true, false, "Stream::writeStream(): can't write stream\n"},
	};
	for (const Case &c : cases) {
		LogCapture log;
		MemoryStream src(data), dst;
		size_t size = data.size();
		if (c.short_read) size += 100;
		else dst.capacity = 40000;
		bool status = true;
		size_t copied = c.write_side ? dst.writeStream(src, size, &status) : src.readStream(dst, size, &status);
		EXPECT_FALSE(status);
		EXPECT_EQ(copied, dst.bytes.size()) << "the count is what reached the destination";
		EXPECT_EQ(copied, c.short_read ? data.size() : 40000u);
		EXPECT_EQ(log.text(), c.message);
	}
}

TEST(StreamText, PrintfAndPuts) {
	MemoryStream s;
	EXPECT_TRUE(s.printf("%s=%u;", "x", 5u));
	EXPECT_TRUE(s.puts(String("ab")));
	EXPECT_TRUE(s.puts("cd"));
	EXPECT_TRUE(s.puts((const char *)nullptr));
	EXPECT_EQ(s.bytes, "x=5;abcd");

	// longer than the inline buffer
	std::string long_text(10000, 'L');
	MemoryStream t;
	EXPECT_TRUE(t.printf("[%s]", long_text.c_str()));
	EXPECT_TRUE(t.bytes == "[" + long_text + "]");

	MemoryStream full;
	full.capacity = 3;
	EXPECT_FALSE(full.printf("%d", 12345));
	EXPECT_FALSE(full.puts("more"));
}
