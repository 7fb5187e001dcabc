// Compression on top of the typed stream layer: zlib through the zlib library,
// and an LZ4 block decoder of our own (there is no LZ4 encoder, so the
// writing side only says so). In every operation `this` is the plain side.
//
// Compressed input is untrusted: its length fields are checked against what
// the stream delivers, and the LZ4 decoder checks every literal run and match
// against both the input and the output before it copies a byte.
#include <zlib.h>

#include <cstring>

#include "core/Array.h"
#include "core/Log.h"
#include "core/Stream.h"

namespace Vexa {

namespace {

// codec buffers start on the stack and move to the heap for larger blocks
using Buffer = ArrayStack<uint8_t, Stream::ChunkSize>;

//
// LZ4 block decoding
//

// Adds the extension bytes of a length nibble of 15: each 255 adds 255 and
// goes on, a smaller byte adds itself and ends. A run cut off by the end of
// the block gives Truncated.
constexpr size_t Truncated = ~(size_t)0;

inline size_t lz4Length(const uint8_t *src, size_t size, size_t &i, size_t length) {
	while (i < size) {
		uint8_t byte = src[i++];
		length += byte;
		if (byte != 255) return length;
	}
	return Truncated;
}

// Decodes one block into `out`, which appends literals, copies matches and
// tells how many decoded bytes a match may reach back into.
template <class Output>
bool lz4Decode(const uint8_t *src, size_t size, Output &out) {
	size_t i = 0;
	while (i < size) {
		uint8_t token = src[i++];
		size_t literals = token >> 4;
		if (literals == 15) literals = lz4Length(src, size, i, literals);
		if (literals == Truncated || literals > size - i) return false;
		if (!out.literals(src + i, literals)) return false;
		i += literals;
		// the last sequence of a block has no match; one or two stray bytes
		// after it are a cut-off block, not its end
		if (i == size) return true;
		if (size - i < 3) return false;
		size_t offset = (size_t)src[i] | ((size_t)src[i + 1] << 8);
		i += 2;
		size_t length = (size_t)(token & 15) + 4;
		if ((token & 15) == 15) length = lz4Length(src, size, i, length);
		if (length == Truncated) return false;
		// an offset of 0 would copy bytes that were never written
		if (offset == 0 || offset > out.history()) return false;
		if (!out.match(offset, length)) return false;
	}
	return true;
}

// output into a caller's memory block of fixed size
struct BlockOutput {
	uint8_t *dst;
	size_t size;
	size_t position;

	size_t history() const { return position; }
	bool literals(const uint8_t *src, size_t count) {
		if (count > size - position) return false;
		if (count) memcpy(dst + position, src, count);
		position += count;
		return true;
	}
	bool match(size_t offset, size_t length) {
		if (length > size - position) return false;
		// byte by byte: an overlapping match repeats its pattern
		uint8_t *d = dst + position;
		const uint8_t *from = d - offset;
		for (size_t k = 0; k < length; k++) d[k] = from[k];
		position += length;
		return true;
	}
};

// Output into a stream through a window that keeps the last 64 KB for the
// matches; the bytes before them go out whenever the window passes 256 KB.
struct WindowOutput {
	static constexpr size_t Spill = 0x40000;
	static constexpr size_t Keep = 0x10000;

	Stream &stream;
	Array<uint8_t> &window;
	bool write_failed;

	size_t history() const { return window.size(); }
	bool spill() {
		if (window.size() <= Spill) return true;
		size_t count = window.size() - Keep;
		if (stream.write(window.get(), count) != count) {
			write_failed = true;
			return false;
		}
		memmove(window.get(), window.get() + count, Keep);
		window.resize((uint32_t)Keep);
		return true;
	}
	// long runs go in pieces so that the window stays small whatever the
	// lengths in the block say
	bool literals(const uint8_t *src, size_t count) {
		while (count) {
			size_t piece = count < Spill ? count : Spill;
			uint32_t position = window.size();
			window.resize(position + (uint32_t)piece, true);
			memcpy(window.get() + position, src, piece);
			src += piece;
			count -= piece;
			if (!spill()) return false;
		}
		return true;
	}
	bool match(size_t offset, size_t length) {
		while (length) {
			size_t piece = length < Spill ? length : Spill;
			uint32_t position = window.size();
			window.resize(position + (uint32_t)piece, true);
			uint8_t *d = window.get() + position;
			const uint8_t *from = d - offset;
			for (size_t k = 0; k < piece; k++) d[k] = from[k];
			length -= piece;
			if (!spill()) return false;
		}
		return true;
	}
};

inline void failStatus(bool *status) {
	if (status) *status = false;
}

} // namespace

//
// zlib
//

size_t Stream::writeZip(const void *src, size_t size, int level) {
	uLong bound = compressBound((uLong)size);
	if ((uLong)size != size || bound > Array<uint8_t>::MaxCapacity) {
		Log::printf(Log::Error, "Stream::writeZip(): can't compress stream %d\n", Z_BUF_ERROR);
		return 0;
	}
	Buffer buffer;
	buffer.resize((uint32_t)bound);
	uLongf length = bound;
	int code = compress2(buffer.get(), &length, static_cast<const Bytef *>(src), (uLong)size, level);
	if (code != Z_OK) {
		Log::printf(Log::Error, "Stream::writeZip(): can't compress stream %d\n", code);
		return 0;
	}
	if (!writeVaru32((uint32_t)length) || write(buffer.get(), length) != length) {
		Log::print(Log::Error, "Stream::writeZip(): can't write stream\n");
		return 0;
	}
	return size;
}

size_t Stream::readZip(void *dst, size_t size) {
	bool ok = true;
	uint32_t length = readVaru32(&ok);
	Buffer buffer;
	if (!ok || !readExact(buffer, length)) {
		Log::print(Log::Error, "Stream::readZip(): can't read stream\n");
		return 0;
	}
	uLongf out = (uLongf)size;
	int code = uncompress(static_cast<Bytef *>(dst), &out, buffer.get(), length);
	if (code != Z_OK || out != size) {
		Log::printf(Log::Error, "Stream::readZip(): can't uncompress stream %d\n", code);
		return 0;
	}
	return size;
}

size_t Stream::encodeZip(Stream &dst, size_t size, bool *status, int level) {
	if (size == 0) {
		size_t total = getSize();
		size_t position = tell();
		if (position >= total) return 0;
		size = total - position;
	}
	Buffer input;
	if (!readExact(input, size)) {
		Log::print(Log::Error, "Stream::encodeZip(): can't read stream\n");
		failStatus(status);
		return 0;
	}
	uLong bound = compressBound((uLong)size);
	if (bound > Array<uint8_t>::MaxCapacity) {
		Log::printf(Log::Error, "Stream::encodeZip(): can't compress stream %d\n", Z_BUF_ERROR);
		failStatus(status);
		return 0;
	}
	Buffer output;
	output.resize((uint32_t)bound);
	uLongf length = bound;
	int code = compress2(output.get(), &length, input.get(), (uLong)size, level);
	if (code != Z_OK) {
		Log::printf(Log::Error, "Stream::encodeZip(): can't compress stream %d\n", code);
		failStatus(status);
		return 0;
	}
	if (dst.write(output.get(), length) != length) {
		Log::print(Log::Error, "Stream::encodeZip(): can't write stream\n");
		failStatus(status);
		return 0;
	}
	return size;
}

// Streaming inflate. Every input byte is handed to zlib exactly once: a
// Z_BUF_ERROR only means that zlib needs more input than it has, so the next
// chunk is read; nothing is read again.
size_t Stream::decodeZip(Stream &src, size_t chunk, bool *status, int window_bits) {
	uint32_t input_size = (chunk >= 1 && chunk <= ChunkSize) ? (uint32_t)chunk : (uint32_t)ChunkSize;
	uint32_t output_size = input_size * 8;
	Buffer input;
	input.resize(input_size);
	Array<uint8_t> output(output_size);

	z_stream z;
	memset(&z, 0, sizeof(z));
	if (inflateInit2(&z, window_bits) != Z_OK) {
		Log::print(Log::Error, "Stream::decodeZip(): can't init inflate\n");
		failStatus(status);
		return 0;
	}
	auto failed = [](int code) { return code != Z_OK && code != Z_STREAM_END && code != Z_BUF_ERROR; };
	int code = Z_OK;
	while (code != Z_STREAM_END && !failed(code) && src.isAvailable()) {
		size_t count = src.read(input.get(), input_size);
		if (count == 0) {
			Log::print(Log::Error, "Stream::decodeZip(): can't read stream\n");
			inflateEnd(&z);
			failStatus(status);
			return 0;
		}
		z.next_in = input.get();
		z.avail_in = (uInt)count;
		do {
			z.next_out = output.get();
			z.avail_out = output_size;
			code = inflate(&z, Z_NO_FLUSH);
			if (failed(code)) break;
			size_t produced = output_size - z.avail_out;
			if (produced && write(output.get(), produced) != produced) {
				Log::print(Log::Error, "Stream::decodeZip(): can't write stream\n");
				inflateEnd(&z);
				failStatus(status);
				return 0;
			}
		} while (z.avail_out == 0 && code != Z_STREAM_END);
	}
	size_t total = (size_t)z.total_out;
	size_t unused = z.avail_in;
	inflateEnd(&z);
	if (code != Z_STREAM_END) {
		Log::printf(Log::Error, "Stream::decodeZip(): can't inflate stream %d\n", code);
		failStatus(status);
		return 0;
	}
	// bytes read past the end of the compressed data belong to whatever
	// follows it in the source
	if (unused) src.seekCur(-(ssize_t)unused);
	return total;
}

//
// LZ4
//

size_t Stream::writeLz4(const void *src, size_t size) {
	(void)src;
	(void)size;
	Log::print(Log::Error, "Stream::writeLz4(): lz4 is not available\n");
	return 0;
}

size_t Stream::encodeLz4(Stream &dst, size_t size, bool *status) {
	(void)dst;
	(void)size;
	Log::print(Log::Error, "Stream::encodeLz4(): lz4 is not available\n");
	failStatus(status);
	return 0;
}

size_t Stream::readLz4(void *dst, size_t size) {
	bool ok = true;
	uint32_t length = readVaru32(&ok);
	Buffer buffer;
	if (!ok || !readExact(buffer, length)) {
		Log::print(Log::Error, "Stream::readLz4(): can't read stream\n");
		return 0;
	}
	BlockOutput out{static_cast<uint8_t *>(dst), dst ? size : 0, 0};
	if (!lz4Decode(buffer.get(), length, out)) {
		Log::print(Log::Error, "Stream::readLz4(): can't decompress stream\n");
		return 0;
	}
	return out.position;
}

size_t Stream::decodeLz4(Stream &src, size_t size, bool *status) {
	if (size == 0) {
		size_t total = src.getSize();
		size_t position = src.tell();
		if (position >= total) return 0;
		size = total - position;
	}
	Buffer input;
	if (!src.readExact(input, size)) {
		Log::print(Log::Error, "Stream::decodeLz4(): can't read stream\n");
		failStatus(status);
		return 0;
	}
	Buffer window;
	WindowOutput out{*this, window, false};
	bool ok = lz4Decode(input.get(), size, out);
	if (ok && window.size() && write(window.get(), window.size()) != window.size()) {
		out.write_failed = true;
		ok = false;
	}
	if (!ok) {
		if (out.write_failed) Log::print(Log::Error, "Stream::decodeLz4(): can't write stream\n");
		else Log::print(Log::Error, "Stream::decodeLz4(): can't decompress stream\n");
		failStatus(status);
		return 0;
	}
	return size;
}

} // namespace Vexa
