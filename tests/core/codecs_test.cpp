// The stream codecs: zlib framed blocks and streams checked against zlib
// itself, at chunk boundaries and with damaged input; LZ4 blocks made by hand
// (literals only, overlapping matches, bad offsets and lengths), by a small
// encoder of the test's own and, when it is installed, by the lz4 tool.
#include "io_test_util.h"

#include <zlib.h>

#include <cstring>
#include <random>

using io_test::LogCapture;
using io_test::MemoryStream;
using io_test::TempDir;

namespace {

std::string bytes(std::initializer_list<int> list) {
	std::string s;
	for (int b : list) s.push_back((char)b);
	return s;
}

// a mix of runs, text and noise, so that zlib and LZ4 meet matches of every
// distance and stretches they can't compress
std::string sample(size_t size, uint32_t seed) {
	std::mt19937 random(seed);
	std::string s;
	s.reserve(size);
	while (s.size() < size) {
		switch (random() % 4) {
		case 0: s.append(random() % 300, (char)(random() % 256)); break;
		case 1: s.append("the quick brown fox jumps over the lazy dog "); break;
		case 2:
			for (int i = random() % 200; i > 0; i--) s.push_back((char)random());
			break;
		default:
			if (s.size() > 70000) {
				size_t from = random() % (s.size() - 65000);
				s.append(s, from, random() % 1000);
			}
			break;
		}
	}
	s.resize(size);
	return s;
}

std::string zlibCompress(const std::string &data, int window_bits) {
	z_stream z;
	memset(&z, 0, sizeof(z));
	EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY), Z_OK);
	std::string out(deflateBound(&z, data.size()), 0);
	z.next_in = (Bytef *)data.data();
	z.avail_in = (uInt)data.size();
	z.next_out = (Bytef *)&out[0];
	z.avail_out = (uInt)out.size();
	EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
	out.resize(z.total_out);
	deflateEnd(&z);
	return out;
}

std::string zlibUncompress(const std::string &data, size_t size) {
	std::string out(size, 0);
	uLongf length = size;
	int code = uncompress((Bytef *)&out[0], &length, (const Bytef *)data.data(), data.size());
	EXPECT_EQ(code, Z_OK);
	out.resize(length);
	return out;
}

// the varint length in front of a framed block, decoded here on its own
std::string unframe(const std::string &framed) {
	uint32_t length = 0;
	size_t i = 0;
	for (; i < 5; i++) {
		uint8_t b = (uint8_t)framed[i];
		length |= (uint32_t)(i == 4 ? b : (b & 0x7f)) << (7 * i);
		if (i == 4 || (b & 0x80)) break;
	}
	EXPECT_EQ(framed.size(), i + 1 + length);
	return framed.substr(i + 1);
}

std::string framed(const std::string &block) {
	MemoryStream s;
	s.writeVaru32((uint32_t)block.size());
	return s.bytes + block;
}

// A greedy LZ4 block encoder that keeps to the format's end rules (the last
// five bytes are literals, no match starts in the last twelve).
std::string lz4Encode(const std::string &in) {
	std::string out;
	size_t n = in.size(), anchor = 0, i = 0;
	std::vector<int64_t> table(1 << 16, -1);
	auto putLength = [&](size_t length) {
		for (; length >= 255; length -= 255) out.push_back((char)255);
		out.push_back((char)length);
	};
	auto sequence = [&](size_t literals, size_t match) {
		uint8_t token = (uint8_t)(std::min<size_t>(literals, 15) << 4);
		if (match) token |= (uint8_t)std::min<size_t>(match - 4, 15);
		out.push_back((char)token);
		if (literals >= 15) putLength(literals - 15);
		out.append(in, anchor, literals);
	};
	while (n >= 13 && i + 12 < n) {
		uint32_t v;
		memcpy(&v, &in[i], 4);
		uint32_t h = (v * 2654435761u) >> 16;
		int64_t candidate = table[h];
		table[h] = (int64_t)i;
		if (candidate < 0 || i - candidate > 65535 || memcmp(&in[candidate], &in[i], 4) != 0) {
			i++;
			continue;
		}
		size_t length = 4;
		while (i + length + 5 < n && in[candidate + length] == in[i + length]) length++;
		size_t offset = i - (size_t)candidate;
		sequence(i - anchor, length);
		out.push_back((char)(offset & 0xff));
		out.push_back((char)(offset >> 8));
		if (length - 4 >= 15) putLength(length - 4 - 15);
		i += length;
		anchor = i;
	}
	sequence(n - anchor, 0);
	return out;
}

} // namespace

//
// zlib
//

TEST(Zip, FramedBlocksRoundTripAtChunkBoundaries) {
	for (size_t size : {(size_t)0, (size_t)1, (size_t)100, (size_t)32767, (size_t)32768, (size_t)32769, (size_t)65536, (size_t)300001}) {
		std::string data = sample(size, (uint32_t)size);
		MemoryStream s;
		EXPECT_EQ(s.writeZip(data.data(), data.size(), 6), size);
		// zlib itself reads what was written
		EXPECT_TRUE(zlibUncompress(unframe(s.bytes), size) == data) << size;
		s.seekSet(0);
		std::string back(size, 0);
		EXPECT_EQ(s.readZip(&back[0], size), size);
		EXPECT_TRUE(back == data) << size;
	}
}

TEST(Zip, ReadWithTheWrongSizeOrBadBytesFails) {
	std::string data = sample(5000, 1);
	MemoryStream s;
	ASSERT_EQ(s.writeZip(data.data(), data.size(), 9), data.size());
	std::string frame = s.bytes;
	struct Case {
		std::string input;
		size_t size;
		const char *message;
	} cases[] = {
		{frame, data.size() + 1, "Stream::readZip(): can't uncompress stream 0\n"},
		{frame, data.size() - 1, "Stream::readZip(): can't uncompress stream -5\n"},
		{framed(std::string(100, 'x')), 100, "Stream::readZip(): can't uncompress stream -3\n"},
		{frame.substr(0, frame.size() - 1), data.size(), "Stream::readZip(): can't read stream\n"},
		{"", 10, "Stream::readZip(): can't read stream\n"},
	};
	for (const Case &c : cases) {
		LogCapture log;
		MemoryStream in(c.input);
		std::string out(c.size, 0);
		EXPECT_EQ(in.readZip(&out[0], c.size), 0u);
		EXPECT_EQ(log.text(), c.message);
	}
}

TEST(Zip, LyingBlockLengthsAllocateNothingLikeThem) {
	// a length of 2 GB in front of three bytes, on streams of known and of
	// unknown size, for both framed decoders
	std::string input = bytes({0x7f, 0x7f, 0x7f, 0x7f, 0x87, 1, 2, 3});
	for (bool sized : {true, false}) {
		for (bool lz4 : {false, true}) {
			LogCapture log;
			MemoryStream in(input);
			in.sized = sized;
			char out[16];
			EXPECT_EQ(lz4 ? in.readLz4(out, sizeof(out)) : in.readZip(out, sizeof(out)), 0u);
			EXPECT_LT(in.peak_array_bytes, (uint64_t)1 << 20);
			EXPECT_EQ(log.text(), lz4 ? "Stream::readLz4(): can't read stream\n" : "Stream::readZip(): can't read stream\n");
		}
	}
}

TEST(Zip, EncodeWritesAPlainZlibStream) {
	std::string data = sample(100000, 2);
	MemoryStream plain(data), packed;
	plain.seekSet(1000);
	bool status = true;
	EXPECT_EQ(plain.encodeZip(packed, 0, &status, 6), data.size() - 1000);
	EXPECT_TRUE(status);
	EXPECT_TRUE(zlibUncompress(packed.bytes, data.size()) == data.substr(1000));

	LogCapture log;
	EXPECT_EQ(plain.encodeZip(packed, 0, &status, 6), 0u) << "at the end";
	EXPECT_TRUE(log.lines.empty());
	plain.seekSet(0);
	EXPECT_EQ(plain.encodeZip(packed, data.size() + 1, &status, 6), 0u);
	EXPECT_FALSE(status);
	EXPECT_EQ(log.text(), "Stream::encodeZip(): can't read stream\n");

	LogCapture log2;
	MemoryStream small;
	small.capacity = 5;
	plain.seekSet(0);
	EXPECT_EQ(plain.encodeZip(small, 0, nullptr, 6), 0u);
	EXPECT_EQ(log2.text(), "Stream::encodeZip(): can't write stream\n");
	LogCapture log3;
	plain.seekSet(0);
	EXPECT_EQ(plain.encodeZip(packed, 0, nullptr, 42), 0u);
	EXPECT_EQ(log3.text(), "Stream::encodeZip(): can't compress stream -2\n");
}

TEST(Zip, DecodeEveryChunkSizeAndWrapper) {
	// long runs produce far more output than input, so the output buffer
	// fills many times per input chunk
	std::string data = sample(200000, 3) + std::string(1 << 20, 0) + sample(50000, 4);
	struct Wrapper {
		int compress_bits;
		int decode_bits;
	} wrappers[] = {{15, 15}, {31, 31}, {-15, -15}, {31, 47}};
	for (const Wrapper &w : wrappers) {
		std::string packed = zlibCompress(data, w.compress_bits);
		for (size_t chunk : {(size_t)0, (size_t)1, (size_t)7, (size_t)4096, (size_t)32768, (size_t)100000}) {
			if (chunk == 1 && w.compress_bits != 15) continue;	// slow, and nothing new
			MemoryStream src(packed), dst;
			bool status = true;
			EXPECT_EQ(dst.decodeZip(src, chunk, &status, w.decode_bits), data.size()) << chunk;
			EXPECT_TRUE(status);
			EXPECT_TRUE(dst.bytes == data) << "bits " << w.decode_bits << " chunk " << chunk;
		}
	}
}

TEST(Zip, DecodeLeavesTheBytesAfterTheStream) {
	std::string data = sample(10000, 5);
	std::string packed = zlibCompress(data, 15);
	MemoryStream src(packed + "TAIL"), dst;
	EXPECT_EQ(dst.decodeZip(src, 0, nullptr, 15), data.size());
	EXPECT_TRUE(dst.bytes == data);
	EXPECT_EQ(src.tell(), packed.size());
	EXPECT_EQ(src.readAll().get(), std::string("TAIL"));
}

TEST(Zip, DecodeFailures) {
	std::string data = sample(100000, 6);
	std::string packed = zlibCompress(data, 15);
	std::string corrupt = packed;
	for (size_t i = 100; i < 140; i++) corrupt[i] = (char)~corrupt[i];
	struct Case {
		std::string input;
		int bits;
		size_t capacity;
		std::string message;
	} cases[] = {
		{corrupt, 15, SIZE_MAX, "Stream::decodeZip(): can't inflate stream -3\n"},
		{packed.substr(0, packed.size() / 2), 15, SIZE_MAX, "Stream::decodeZip(): can't inflate stream 0\n"},
		{"", 15, SIZE_MAX, "Stream::decodeZip(): can't inflate stream 0\n"},
		{packed, 15, 1000, "Stream::decodeZip(): can't write stream\n"},
		{packed, 3, SIZE_MAX, "Stream::decodeZip(): can't init inflate\n"},
	};
	for (const Case &c : cases) {
		LogCapture log;
		MemoryStream src(c.input), dst;
		dst.capacity = c.capacity;
		bool status = true;
		EXPECT_EQ(dst.decodeZip(src, 0, &status, c.bits), 0u);
		EXPECT_FALSE(status);
		EXPECT_EQ(log.text(), c.message);
	}
}

//
// LZ4
//

TEST(Lz4, HandMadeBlocks) {
	struct Case {
		const char *what;
		std::string block;
		bool ok;
		std::string output;
	} cases[] = {
		{"literals only", bytes({0x50, 'h', 'e', 'l', 'l', 'o'}), true, "hello"},
		{"overlapping match repeats its pattern", bytes({0x22, 'a', 'b', 0x02, 0x00, 0x00}), true, "abababab"},
		{"offset 1 with extension bytes", bytes({0x1f, 'x', 0x01, 0x00, 0x05}), true, std::string(25, 'x')},
		{"match then final literals", bytes({0x20, 'a', 'b', 0x02, 0x00, 0x30, 'x', 'y', 'z'}), true, "abababxyz"},
		{"one or two stray bytes after the literals are a cut-off block", bytes({0x10, 'q', 0x05}), false, ""},
		{"two stray bytes", bytes({0x10, 'q', 0x05, 0x00}), false, ""},
		{"literal length run cut off", bytes({0xf0, 0xff}), false, ""},
		{"match length run cut off", bytes({0x1f, 'x', 0x01, 0x00, 0xff}), false, ""},
		{"empty block", "", true, ""},
		{"offset beyond the output", bytes({0x10, 'a', 0x02, 0x00, 0x00}), false, ""},
		{"offset 0", bytes({0x10, 'a', 0x00, 0x00, 0x00}), false, ""},
		{"offset into nothing", bytes({0x00, 0x01, 0x00, 0x00}), false, ""},
		{"literals past the input", bytes({0x50, 'a', 'b'}), false, ""},
		{"literal extension past the input", bytes({0xf0, 0xff, 0xff}), false, ""},
	};
	std::string long_literals = bytes({0xf0, 0xff, 0x1e}) + std::string(300, 'L');
	for (const Case &c : cases) {
		for (bool framed_form : {true, false}) {
			LogCapture log;
			size_t result;
			std::string output;
			if (framed_form) {
				MemoryStream in(framed(c.block));
				std::string out(64, 0);
				result = in.readLz4(&out[0], out.size());
				output = out.substr(0, result);
				EXPECT_EQ(result, c.ok ? c.output.size() : 0u) << c.what;
			} else {
				MemoryStream in(c.block), out;
				bool status = true;
				result = out.decodeLz4(in, c.block.size(), &status);
				output = out.bytes;
				EXPECT_EQ(status, c.ok) << c.what;
				EXPECT_EQ(result, c.ok ? c.block.size() : 0u) << c.what;
			}
			if (c.ok) {
				EXPECT_EQ(output, c.output) << c.what;
				EXPECT_TRUE(log.lines.empty()) << c.what;
			} else {
				EXPECT_EQ(log.text(), framed_form ? "Stream::readLz4(): can't decompress stream\n" : "Stream::decodeLz4(): can't decompress stream\n") << c.what;
			}
		}
	}
	MemoryStream in(framed(long_literals));
	std::string out(400, 0);
	EXPECT_EQ(in.readLz4(&out[0], out.size()), 300u);
	EXPECT_EQ(out.substr(0, 300), std::string(300, 'L'));
}

TEST(Lz4, ReadStaysInsideTheCallersBlock) {
	// five literals and a match of eight: 13 bytes of output
	std::string block = bytes({0x54, 'a', 'b', 'c', 'd', 'e', 0x05, 0x00, 0x00});
	for (size_t size : {(size_t)4, (size_t)12, (size_t)13}) {
		LogCapture log;
		MemoryStream in(framed(block));
		std::string out(size, 0);
		EXPECT_EQ(in.readLz4(&out[0], size), size == 13 ? 13u : 0u) << size;
		if (size == 13) {
			EXPECT_EQ(out, "abcdeabcdeabc");
		}
	}
}

TEST(Lz4, LargeBlocksThroughTheWindow) {
	// more than the 256 KB window, with matches up to 64 KB back
	std::string data = sample(1500000, 7);
	std::string block = lz4Encode(data);
	ASSERT_LT(block.size(), data.size());
	MemoryStream in(block), out;
	bool status = true;
	EXPECT_EQ(out.decodeLz4(in, 0, &status), block.size());
	EXPECT_TRUE(status);
	EXPECT_TRUE(out.bytes == data);

	MemoryStream framed_in(framed(block));
	std::string back(data.size(), 0);
	EXPECT_EQ(framed_in.readLz4(&back[0], back.size()), data.size());
	EXPECT_TRUE(back == data);
}

TEST(Lz4, HugeMatchKeepsTheWindowSmall) {
	// one literal and a match of 20 million bytes from 80 KB of input
	std::string block = bytes({0x1f, 'x', 0x01, 0x00});
	size_t extension = 20000000 / 255;
	block.append(extension, (char)255);
	block.push_back(0);
	size_t length = 1 + 4 + 15 + extension * 255;
	MemoryStream in(block), out;
	EXPECT_EQ(out.decodeLz4(in), block.size());
	EXPECT_EQ(out.bytes.size(), length);
	EXPECT_EQ(out.bytes.find_first_not_of('x'), std::string::npos);
	EXPECT_LT(out.peak_array_bytes, (uint64_t)4 << 20);
}

TEST(Lz4, BlocksOfTheLz4Tool) {
	if (system("lz4 --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no lz4 tool";
	TempDir dir;
	std::string data = sample(1000000, 8);
	io_test::writeFile(dir.path("in"), data);
	std::string command = "lz4 -q -f -BI --no-frame-crc '" + dir.path("in") + "' '" + dir.path("in.lz4") + "'";
	ASSERT_EQ(system(command.c_str()), 0);
	std::string frame = io_test::readFile(dir.path("in.lz4"));
	// frame header: magic, FLG, BD, [content size], [dictionary id], HC
	ASSERT_GE(frame.size(), 7u);
	ASSERT_EQ(frame.substr(0, 4), bytes({0x04, 0x22, 0x4d, 0x18}));
	uint8_t flags = (uint8_t)frame[4];
	size_t at = 7 + ((flags & 0x08) ? 8 : 0) + ((flags & 0x01) ? 4 : 0);
	std::string decoded;
	for (;;) {
		ASSERT_LE(at + 4, frame.size());
		uint32_t size;
		memcpy(&size, &frame[at], 4);
		at += 4;
		if (size == 0) break;
		std::string block = frame.substr(at, size & 0x7fffffff);
		at += size & 0x7fffffff;
		if (flags & 0x10) at += 4;
		if (size & 0x80000000) {
			decoded += block;	// stored uncompressed
			continue;
		}
		MemoryStream in(block), out;
		bool status = true;
		ASSERT_EQ(out.decodeLz4(in, 0, &status), block.size());
		ASSERT_TRUE(status);
		decoded += out.bytes;
	}
	EXPECT_TRUE(decoded == data);
}

TEST(Lz4, FailuresOfTheStreamingDecoder) {
	std::string block = lz4Encode(sample(400000, 9));
	{
		LogCapture log;
		MemoryStream in(block), out;
		out.capacity = 1000;
		bool status = true;
		EXPECT_EQ(out.decodeLz4(in, 0, &status), 0u);
		EXPECT_FALSE(status);
		EXPECT_EQ(log.text(), "Stream::decodeLz4(): can't write stream\n");
	}
	{
		LogCapture log;
		MemoryStream in(block), out;
		bool status = true;
		EXPECT_EQ(out.decodeLz4(in, block.size() + 1, &status), 0u);
		EXPECT_FALSE(status);
		EXPECT_EQ(log.text(), "Stream::decodeLz4(): can't read stream\n");
	}
	{
		LogCapture log;
		MemoryStream in(block), out;
		in.seekSet(block.size());
		EXPECT_EQ(out.decodeLz4(in), 0u) << "nothing left to decode";
		EXPECT_TRUE(log.lines.empty());
	}
}

TEST(Lz4, NoEncoder) {
	LogCapture log;
	MemoryStream s, d;
	EXPECT_EQ(s.writeLz4("abc", 3), 0u);
	bool status = true;
	EXPECT_EQ(s.encodeLz4(d, 3, &status), 0u);
	EXPECT_FALSE(status);
	EXPECT_EQ(s.encodeLz4(d, 3, nullptr), 0u);
	EXPECT_EQ(log.text(),
		"Stream::writeLz4(): lz4 is not available\n"
		"Stream::encodeLz4(): lz4 is not available\n"
		"Stream::encodeLz4(): lz4 is not available\n");
	EXPECT_TRUE(d.bytes.empty());
}
