// The abstract byte stream. Files, command pipes, read-only sources and any
// stream a user of the library supplies derive from it and implement the
// thirteen virtual operations; everything above them (little-endian numbers,
// variable-length integers, strings, lines, tokens, formatted text, copies
// and the compression codecs) is written once here, so that every stream
// speaks the same binary encodings.
//
// Typed readers take an optional status flag that they only ever clear: a
// caller chains many reads and tests one flag at the end. Values read past
// the end of a stream are 0 in the bytes that were not delivered.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
using ssize_t = ptrdiff_t;
#else
#include <sys/types.h>
#endif

#include "core/String.h"

namespace Vexa {

template <class T>
class Array;

class Stream {
public:
	// bytes that copies and codecs move at once through stack buffers
	static constexpr size_t ChunkSize = 32768;

	Stream() {}
	virtual ~Stream() {}

	Stream(const Stream &) = delete;
	Stream &operator=(const Stream &) = delete;

	// a new heap stream of the same class that takes over this stream's
	// state; this one is left closed; the caller owns the result
	virtual Stream *move() = 0;
	virtual bool isOpened() const = 0;
	// the whole content lies in memory
	virtual bool isMapped() const = 0;
	// further bytes can be read
	virtual bool isAvailable() const = 0;
	// size in bytes, 0 when unknown
	virtual size_t getSize() const = 0;
	virtual const String &getName() const = 0;
	virtual size_t tell() const = 0;
	virtual bool seekSet(size_t offset) = 0;
	// puts the position `offset` bytes before the end on every kind of stream
	virtual bool seekEnd(size_t offset) = 0;
	virtual bool seekCur(ssize_t offset) = 0;
	virtual size_t read(void *dst, size_t size) = 0;
	virtual size_t write(const void *src, size_t size) = 0;
	virtual bool flush() = 0;

	// little-endian numbers
	uint8_t readu8(bool *status = nullptr);
	int8_t readi8(bool *status = nullptr);
	uint16_t readu16(bool *status = nullptr);
	int16_t readi16(bool *status = nullptr);
	uint32_t readu32(bool *status = nullptr);
	int32_t readi32(bool *status = nullptr);
	uint64_t readu64(bool *status = nullptr);
	int64_t readi64(bool *status = nullptr);
	float readf32(bool *status = nullptr);
	double readf64(bool *status = nullptr);

	// variable-length integers: 7-bit groups, low group first, the byte with
	// the high bit SET is the last one
	uint32_t readVaru32(bool *status = nullptr);
	uint64_t readVaru64(bool *status = nullptr);
	// bit 0 of the unsigned form is the sign, the rest the magnitude
	int32_t readVari32(bool *status = nullptr);
	int64_t readVari64(bool *status = nullptr);

	bool writeu8(uint8_t value);
	bool writei8(int8_t value);
	bool writeu16(uint16_t value);
	bool writei16(int16_t value);
	bool writeu32(uint32_t value);
	bool writei32(int32_t value);
	bool writeu64(uint64_t value);
	bool writei64(int64_t value);
	bool writef32(float value);
	bool writef64(double value);
	bool writeVaru32(uint32_t value);
	bool writeVaru64(uint64_t value);

	// strings: a variable-length byte count, then the bytes
	String readString(bool *status = nullptr);
	// bytes up to `end` (consumed, not stored), at most `size` of them
	String readString(char end, bool *status = nullptr, uint32_t size = ~0u);
	bool writeString(const String &text);
	bool writeString(const char *text);
	// the bytes, then `end`, without a length
	bool writeString(const String &text, char end);
	bool writeString(const char *text, char end);

	// text lines: CR is dropped wherever it stands, LF ends a line; empty
	// lines are skipped unless `empty` asks for them
	String readLine(bool *status = nullptr);
	bool readLine(String &line, bool empty = false, bool clear = true);
	// the same through a buffer the caller keeps between calls
	bool readLine(String &line, String &buffer, uint32_t &position, bool empty = false, bool clear = true);

	// tokens separated by tab, LF, CR and space
	String readToken(bool *status = nullptr);
	bool readToken(String &token, bool clear = true);
	bool readToken(String &token, String &buffer, uint32_t &position, bool clear = true);

	// whole streams and copies; a size of 0 means up to the end
	String readAll(bool *status = nullptr);
	size_t readStream(Stream &dst, size_t size = 0, bool *status = nullptr);
	size_t writeStream(Stream &src, size_t size = 0, bool *status = nullptr);

	// formatted text, written with one write
	bool printf(const char *format, ...);
	bool vprintf(const char *format, va_list args);
	bool puts(const String &text);
	bool puts(const char *text);

	// zlib: framed blocks (a variable-length compressed size, then the
	// bytes) and raw streams; this stream is always the plain side
	size_t writeZip(const void *src, size_t size, int level);
	size_t readZip(void *dst, size_t size);
	size_t encodeZip(Stream &dst, size_t size, bool *status, int level);
	size_t decodeZip(Stream &src, size_t chunk, bool *status, int window_bits);

	// LZ4 blocks can be decoded only
	size_t writeLz4(const void *src, size_t size);
	size_t readLz4(void *dst, size_t size);
	size_t encodeLz4(Stream &dst, size_t size, bool *status);
	size_t decodeLz4(Stream &src, size_t size = 0, bool *status = nullptr);

protected:
	// Reads exactly `size` bytes into `dst`. The buffer grows only as bytes
	// arrive (or at once when the stream's size vouches for them), so a
	// corrupt length field never makes it allocate more than is there.
	bool readExact(Array<uint8_t> &dst, size_t size);
	bool readExact(String &dst, size_t size);
};

} // namespace Vexa
