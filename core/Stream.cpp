// The typed layer that every stream inherits: binary numbers, variable-length
// integers, strings, lines, tokens, formatted text and stream-to-stream
// copies, all written in terms of the virtual read and write.
//
// Numbers are assembled byte by byte so that the encoding is little-endian
// whatever the host. Anything whose length comes from the stream itself is
// read so that a damaged length cannot make us allocate what is not there.
#include "core/Stream.h"

#include <cstring>
#include <type_traits>

#include "core/Array.h"
#include "core/Log.h"

namespace Vexa {

namespace {

// bytes a line or token reader asks of the stream when it refills the
// caller's buffer
constexpr uint32_t LineBufferSize = 4096;

inline void clearStatus(bool *status, bool ok) {
	if (status && *status) *status = ok;
}

inline bool isSpace(uint8_t c) {
	return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

inline void appendByte(String &s, uint8_t c) {
	// the explicit length keeps NUL bytes, which append(char) would drop
	s.append(reinterpret_cast<const char *>(&c), 1);
}

// Collects one line through `next` (a byte source returning false at the
// end). With `empty`, an LF met before any character ends an empty line and
// the result is `available()`; otherwise empty lines are skipped.
template <class Next, class Available>
bool collectLine(String &line, bool empty, bool clear, Next next, Available available) {
	if (clear) line.clear();
	bool any = false;
	uint8_t c;
	while (next(c)) {
		if (c == '\r') continue;
		if (c == '\n') {
			if (any) break;
			if (empty) return available();
			continue;
		}
		appendByte(line, c);
		any = true;
	}
	return any;
}

template <class Next>
bool collectToken(String &token, bool clear, Next next) {
	if (clear) token.clear();
	bool any = false;
	uint8_t c;
	while (next(c)) {
		if (c == '\r') continue;
		if (isSpace(c)) {
			if (any) break;
			continue;
		}
		appendByte(token, c);
		any = true;
	}
	return any;
}

// Serves single bytes out of a caller-kept buffer. The buffer's length is
// the number of valid bytes of the last refill, so a short refill never
// exposes bytes left over from an earlier, longer one.
struct BufferedBytes {
	Stream &stream;
	String &buffer;
	uint32_t &position;

	bool operator()(uint8_t &c) {
		if (position >= buffer.size()) {
			buffer.resize(LineBufferSize);
			size_t count = stream.read(buffer.get(), LineBufferSize);
			buffer.resize((uint32_t)count);
			position = 0;
			if (count == 0) return false;
		}
		c = (uint8_t)buffer[position++];
		return true;
	}
	bool available() const { return position < buffer.size() || stream.isAvailable(); }
};

} // namespace

//
// exact reads
//

template <class Buffer, class Resize>
static bool readExactInto(Stream &stream, Buffer &dst, size_t size, size_t limit, Resize resize) {
	resize(0, false);
	if (size > limit) return false;
	// a size the stream vouches for is read at once; anything else grows
	// with what actually arrives, doubling each time
	size_t known = stream.getSize();
	size_t position = stream.tell();
	bool trusted = known != 0 && position <= known && size <= known - position;
	size_t step = trusted ? size : Stream::ChunkSize * 2;
	size_t done = 0;
	while (done < size) {
		size_t n = size - done < step ? size - done : step;
		resize(done + n, !trusted);
		size_t count = stream.read(dst.get() + done, n);
		done += count;
		if (count != n) {
			resize(done, false);
			return false;
		}
		if (step < done) step = done;
	}
	return true;
}

bool Stream::readExact(Array<uint8_t> &dst, size_t size) {
	return readExactInto(*this, dst, size, Array<uint8_t>::MaxCapacity, [&dst](size_t n, bool grow) {
		dst.resize((uint32_t)n, grow);
	});
}

bool Stream::readExact(String &dst, size_t size) {
	return readExactInto(*this, dst, size, String::MaxCapacity, [&dst](size_t n, bool grow) {
		dst.resize((uint32_t)n, 0, grow);
	});
}

//
// numbers
//

namespace {

template <class T>
T readLittle(Stream &stream, bool *status) {
	uint8_t bytes[sizeof(T)] = {};
	size_t count = stream.read(bytes, sizeof(T));
	clearStatus(status, count == sizeof(T));
	typename std::conditional<sizeof(T) == 8, uint64_t, uint32_t>::type value = 0;
	for (size_t i = sizeof(T); i > 0; i--) value = (value << 8) | bytes[i - 1];
	T result;
	if constexpr (sizeof(T) == sizeof(value)) {
		memcpy(&result, &value, sizeof(T));
	} else {
		result = (T)value;
	}
	return result;
}

template <class T>
bool writeLittle(Stream &stream, T value) {
	uint8_t bytes[sizeof(T)];
	typename std::conditional<sizeof(T) == 8, uint64_t, uint32_t>::type bits = 0;
	if constexpr (sizeof(T) == sizeof(bits)) {
		memcpy(&bits, &value, sizeof(T));
	} else {
		bits = (decltype(bits))value;
	}
	for (size_t i = 0; i < sizeof(T); i++) bytes[i] = (uint8_t)(bits >> (8 * i));
	return stream.write(bytes, sizeof(T)) == sizeof(T);
}

} // namespace

uint8_t Stream::readu8(bool *status) {
	return readLittle<uint8_t>(*this, status);
}
int8_t Stream::readi8(bool *status) {
	return (int8_t)readLittle<uint8_t>(*this, status);
}
uint16_t Stream::readu16(bool *status) {
	return readLittle<uint16_t>(*this, status);
}
int16_t Stream::readi16(bool *status) {
	return (int16_t)readLittle<uint16_t>(*this, status);
}
uint32_t Stream::readu32(bool *status) {
	return readLittle<uint32_t>(*this, status);
}
int32_t Stream::readi32(bool *status) {
	return (int32_t)readLittle<uint32_t>(*this, status);
}
uint64_t Stream::readu64(bool *status) {
	return readLittle<uint64_t>(*this, status);
}
int64_t Stream::readi64(bool *status) {
	return (int64_t)readLittle<uint64_t>(*this, status);
}
float Stream::readf32(bool *status) {
	return readLittle<float>(*this, status);
}
double Stream::readf64(bool *status) {
	return readLittle<double>(*this, status);
}

bool Stream::writeu8(uint8_t value) {
	return writeLittle(*this, value);
}
bool Stream::writei8(int8_t value) {
	return writeLittle(*this, (uint8_t)value);
}
bool Stream::writeu16(uint16_t value) {
	return writeLittle(*this, value);
}
bool Stream::writei16(int16_t value) {
	return writeLittle(*this, (uint16_t)value);
}
bool Stream::writeu32(uint32_t value) {
	return writeLittle(*this, value);
}
bool Stream::writei32(int32_t value) {
	return writeLittle(*this, (uint32_t)value);
}
bool Stream::writeu64(uint64_t value) {
	return writeLittle(*this, value);
}
bool Stream::writei64(int64_t value) {
	return writeLittle(*this, (uint64_t)value);
}
bool Stream::writef32(float value) {
	return writeLittle(*this, value);
}
bool Stream::writef64(double value) {
	return writeLittle(*this, value);
}

//
// variable-length integers
//

uint32_t Stream::readVaru32(bool *status) {
	uint32_t value = 0;
	for (uint32_t i = 0; i < 5; i++) {
		uint8_t byte = 0;
		size_t count = read(&byte, 1);
		clearStatus(status, count == 1);
		if (count != 1) break;
		if (i == 4) {
			// the fifth byte is taken whole; what passes bit 31 is dropped
			value |= (uint32_t)byte << 28;
			break;
		}
		value |= (uint32_t)(byte & 0x7f) << (7 * i);
		if (byte & 0x80) break;
	}
	return value;
}

uint64_t Stream::readVaru64(bool *status) {
	uint64_t value = 0;
	for (uint32_t i = 0; i < 9; i++) {
		uint8_t byte = 0;
		size_t count = read(&byte, 1);
		clearStatus(status, count == 1);
		if (count != 1) break;
		if (i == 8) {
			// the ninth byte carries bits 56-63 and no end bit
			value |= (uint64_t)byte << 56;
			break;
		}
		value |= (uint64_t)(byte & 0x7f) << (7 * i);
		if (byte & 0x80) break;
	}
	return value;
}

int32_t Stream::readVari32(bool *status) {
	uint32_t u = readVaru32(status);
	uint32_t magnitude = u >> 1;
	return (int32_t)((u & 1) ? 0u - magnitude : magnitude);
}

int64_t Stream::readVari64(bool *status) {
	uint64_t u = readVaru64(status);
	uint64_t magnitude = u >> 1;
	return (int64_t)((u & 1) ? 0u - magnitude : magnitude);
}

bool Stream::writeVaru32(uint32_t value) {
	uint8_t bytes[5];
	uint32_t count = 0;
	while (count < 4 && value > 0x7f) {
		bytes[count++] = (uint8_t)(value & 0x7f);
		value >>= 7;
	}
	bytes[count++] = (uint8_t)(value | 0x80);
	return write(bytes, count) == count;
}

bool Stream::writeVaru64(uint64_t value) {
	uint8_t bytes[9];
	uint32_t count = 0;
	while (count < 8 && value > 0x7f) {
		bytes[count++] = (uint8_t)(value & 0x7f);
		value >>= 7;
	}
	bytes[count] = (uint8_t)(count == 8 ? value : value | 0x80);
	count++;
	return write(bytes, count) == count;
}

//
// strings
//

String Stream::readString(bool *status) {
	bool ok = true;
	uint32_t length = readVaru32(&ok);
	String text;
	if (!ok || !readExact(text, length)) {
		if (status) *status = false;
		text.clear();
	}
	return text;
}

String Stream::readString(char end, bool *status, uint32_t size) {
	if (size > String::MaxCapacity) size = String::MaxCapacity;
	String text;
	bool met = false;
	while (text.size() < size) {
		uint8_t c;
		if (read(&c, 1) != 1) break;
		if (c == (uint8_t)end) {
			met = true;
			break;
		}
		appendByte(text, c);
	}
	clearStatus(status, met);
	return text;
}

bool Stream::writeString(const String &text) {
	if (!writeVaru32(text.size())) return false;
	return write(text.get(), text.size()) == text.size();
}

bool Stream::writeString(const char *text) {
	size_t length = text ? strlen(text) : 0;
	if (length > 0xffffffffu) return false;
	if (!writeVaru32((uint32_t)length)) return false;
	return length == 0 || write(text, length) == length;
}

bool Stream::writeString(const String &text, char end) {
	if (write(text.get(), text.size()) != text.size()) return false;
	return write(&end, 1) == 1;
}

bool Stream::writeString(const char *text, char end) {
	size_t length = text ? strlen(text) : 0;
	if (length && write(text, length) != length) return false;
	return write(&end, 1) == 1;
}

//
// lines and tokens
//

String Stream::readLine(bool *status) {
	String line;
	bool ok = readLine(line, false, true);
	if (status) *status = ok;
	return line;
}

bool Stream::readLine(String &line, bool empty, bool clear) {
	auto next = [this](uint8_t &c) { return read(&c, 1) == 1; };
	auto available = [this]() { return isAvailable(); };
	return collectLine(line, empty, clear, next, available);
}

bool Stream::readLine(String &line, String &buffer, uint32_t &position, bool empty, bool clear) {
	BufferedBytes bytes{*this, buffer, position};
	auto available = [&bytes]() { return bytes.available(); };
	return collectLine(line, empty, clear, bytes, available);
}

String Stream::readToken(bool *status) {
	String token;
	bool ok = readToken(token, true);
	if (status) *status = ok;
	return token;
}

bool Stream::readToken(String &token, bool clear) {
	auto next = [this](uint8_t &c) { return read(&c, 1) == 1; };
	return collectToken(token, clear, next);
}

bool Stream::readToken(String &token, String &buffer, uint32_t &position, bool clear) {
	BufferedBytes bytes{*this, buffer, position};
	return collectToken(token, clear, bytes);
}

//
// whole streams and copies
//

String Stream::readAll(bool *status) {
	String text;
	size_t size = getSize();
	if (size != 0 && size <= String::MaxCapacity) text.reserve((uint32_t)size);
	char buffer[ChunkSize];
	bool complete = true;
	while (isAvailable()) {
		size_t count = read(buffer, sizeof(buffer));
		if (count == 0) break;
		if (count > String::MaxCapacity - text.size()) {
			// more than a String can hold: keep what fits and report it
			complete = false;
			break;
		}
		text.append(buffer, (uint32_t)count);
	}
	clearStatus(status, complete && !text.empty());
	return text;
}

size_t Stream::readStream(Stream &dst, size_t size, bool *status) {
	if (size == 0) {
		size_t total = getSize();
		size_t position = tell();
		if (position >= total) return 0;
		size = total - position;
	}
	char buffer[ChunkSize];
	size_t done = 0;
	while (done < size) {
		size_t n = size - done < sizeof(buffer) ? size - done : sizeof(buffer);
		size_t count = read(buffer, n);
		// bytes that did arrive are passed on even when the chunk is short
		if (count != 0) {
			size_t written = dst.write(buffer, count);
			done += written;
			if (written != count) {
				Log::print(Log::Error, "Stream::readStream(): can't write stream\n");
				if (status) *status = false;
				return done;
			}
		}
		if (count != n) {
			Log::print(Log::Error, "Stream::readStream(): can't read stream\n");
			if (status) *status = false;
			return done;
		}
	}
	return done;
}

size_t Stream::writeStream(Stream &src, size_t size, bool *status) {
	if (size == 0) {
		size_t total = src.getSize();
		size_t position = src.tell();
		if (position >= total) return 0;
		size = total - position;
	}
	char buffer[ChunkSize];
	size_t done = 0;
	while (done < size) {
		size_t n = size - done < sizeof(buffer) ? size - done : sizeof(buffer);
		size_t count = src.read(buffer, n);
		if (count != 0) {
			size_t written = write(buffer, count);
			done += written;
			if (written != count) {
				Log::print(Log::Error, "Stream::writeStream(): can't write stream\n");
				if (status) *status = false;
				return done;
			}
		}
		if (count != n) {
			Log::print(Log::Error, "Stream::writeStream(): can't read stream\n");
			if (status) *status = false;
			return done;
		}
	}
	return done;
}

//
// formatted text
//

bool Stream::printf(const char *format, ...) {
	va_list args;
	va_start(args, format);
	bool ok = vprintf(format, args);
	va_end(args);
	return ok;
}

bool Stream::vprintf(const char *format, va_list args) {
	StringStack<4096> text;
	text.vprintf(format, args);
	return write(text.get(), text.size()) == text.size();
}

bool Stream::puts(const String &text) {
	return write(text.get(), text.size()) == text.size();
}

bool Stream::puts(const char *text) {
	if (text == nullptr) return true;
	size_t length = strlen(text);
	return write(text, length) == length;
}

} // namespace Vexa
