// Helpers shared by the stream, file, codec and cache tests: a scratch
// directory, whole-file reads and writes, a capture of the log's lines, and a
// stream over memory whose size reporting, read pieces and write capacity a
// test controls (the library itself has no memory stream).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <new>
#include <string>
#include <vector>

#include "core/Allocator.h"
#include "core/Log.h"
#include "core/Stream.h"
#include "log_capture.h"

namespace io_test {

// the largest single request to operator new since the last reset, when the
// test file defines IO_TEST_TRACK_NEW (each test file is its own program)
inline std::atomic<size_t> largest_new{0};

// a fresh directory under /tmp, removed with everything in it
class TempDir {
public:
	TempDir() {
		char pattern[] = "/tmp/vexa_io_XXXXXX";
		const char *made = mkdtemp(pattern);
		if (made) dir = made;
	}
	~TempDir() {
		if (dir.empty()) return;
		nftw(dir.c_str(), [](const char *path, const struct stat *, int, struct FTW *) { return ::remove(path); }, 16, FTW_DEPTH | FTW_PHYS);
	}
	std::string path(const std::string &name) const { return dir + "/" + name; }
	bool ok() const { return !dir.empty(); }

private:
	std::string dir;
};

inline void writeFile(const std::string &path, const std::string &bytes) {
	FILE *f = fopen(path.c_str(), "wb");
	ASSERT_NE(f, nullptr) << path;
	if (!bytes.empty()) {
		ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
	}
	fclose(f);
}

inline std::string readFile(const std::string &path) {
	std::string bytes;
	FILE *f = fopen(path.c_str(), "rb");
	if (f == nullptr) return bytes;
	char buffer[4096];
	size_t n;
	while ((n = fread(buffer, 1, sizeof(buffer), f)) > 0) bytes.append(buffer, n);
	fclose(f);
	return bytes;
}

// the shared capture of the log: every line, kept off the terminal
using ::LogCapture;

// A stream over a std::string. `sized` false makes the size unknown (as for
// a pipe); `piece` caps the bytes one read delivers, for the readers that go
// on until a read gives nothing; `capacity` caps the bytes written in all.
class MemoryStream : public Vexa::Stream {
public:
	explicit MemoryStream(std::string bytes = std::string()) : bytes(std::move(bytes)) {}

	Stream *move() override { return new MemoryStream(bytes); }
	bool isOpened() const override { return true; }
	bool isMapped() const override { return true; }
	bool isAvailable() const override { return position < bytes.size(); }
	size_t getSize() const override { return sized ? bytes.size() : 0; }
	const Vexa::String &getName() const override { return name; }
	size_t tell() const override { return position; }
	bool seekSet(size_t offset) override {
		if (offset > bytes.size()) return false;
		position = offset;
		return true;
	}
	bool seekEnd(size_t offset) override {
		if (offset > bytes.size()) return false;
		position = bytes.size() - offset;
		return true;
	}
	bool seekCur(ssize_t offset) override {
		if (offset < 0 ? (size_t)-offset > position : (size_t)offset > bytes.size() - position) return false;
		position += offset;
		return true;
	}
	size_t read(void *dst, size_t size) override {
		size_t n = bytes.size() - position;
		if (n > size) n = size;
		if (n > piece) n = piece;
		if (n) memcpy(dst, bytes.data() + position, n);
		position += n;
		reads++;
		// a reader sizes its buffer before it reads and a decoder before it
		// writes, so these two see their peaks
		peak_array_bytes = std::max<uint64_t>(peak_array_bytes, Vexa::Allocator::allocated.load());
		return n;
	}
	size_t write(const void *src, size_t size) override {
		peak_array_bytes = std::max<uint64_t>(peak_array_bytes, Vexa::Allocator::allocated.load());
		if (size > capacity - written) size = capacity - written;
		if (size == 0) return 0;
		if (position + size > bytes.size()) bytes.resize(position + size);
		memcpy(&bytes[position], src, size);
		position += size;
		written += size;
		return size;
	}
	bool flush() override { return true; }

	std::string bytes;
	size_t position = 0;
	bool sized = true;
	size_t piece = SIZE_MAX;
	size_t capacity = SIZE_MAX;
	size_t written = 0;
	size_t reads = 0;
	uint64_t peak_array_bytes = 0;
	Vexa::String name = "memory";
};

} // namespace io_test

#ifdef IO_TEST_TRACK_NEW
// the replacements pair malloc with free; the compiler cannot see that once it
// inlines a library's new into a delete of this file
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void *operator new(size_t size) {
	size_t seen = io_test::largest_new.load();
	while (size > seen && !io_test::largest_new.compare_exchange_weak(seen, size)) {
	}
	void *p = malloc(size ? size : 1);
	if (p == nullptr) throw std::bad_alloc();
	return p;
}
void operator delete(void *p) noexcept {
	free(p);
}
void operator delete(void *p, size_t) noexcept {
	free(p);
}
#pragma GCC diagnostic pop
#endif
