// The three readers behind Source and the window arithmetic on top of them.
//
// Mapping is kept to regular files that really have the bytes their size
// says: pipes, devices and /proc files (which report size 0 yet have text)
// go through the buffered reader instead, so their content is never lost.
#include "core/Source.h"

#include <cstring>

#include "core/File.h"
#include "core/FilePlatform.h"
#include "core/Log.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Vexa {

//
// implementation base
//

class Source::SourceImpl {
public:
	virtual ~SourceImpl() {}
	virtual bool open(const char *name) = 0;
	virtual void close() = 0;
	virtual bool isMapped() const = 0;
	virtual bool isAvailable() const = 0;
	virtual size_t getSize() const = 0;
	virtual const String &getName() const = 0;
	virtual size_t tell() const = 0;
	virtual bool seekSet(size_t offset) = 0;
	virtual bool seekEnd(size_t offset) = 0;
	virtual bool seekCur(ssize_t offset) = 0;
	virtual size_t read(void *dst, size_t size) = 0;

	// the window: a non-empty name replaces the reader's, a non-zero size
	// bounds the reads
	String name;
	uint64_t offset = 0;
	uint64_t size = 0;
};

namespace {

//
// memory-mapped file
//

class SourceMappedImpl : public Source::SourceImpl {
public:
	~SourceMappedImpl() override { close(); }

	bool open(const char *name) override {
		path = name;
#if defined(_WIN32)
		// Windows reads through the buffered reader
		return false;
#else
		// a pipe or device is left to the buffered reader before it is ever
		// opened: opening a FIFO here would take the writer's data away
		Platform::FileInfo info;
		if (Platform::statFile(name, info) && !info.regular) return false;
		fd = ::open(name, O_RDONLY | O_CLOEXEC);
		if (fd < 0) return false;
		struct stat st;
		if (fstat(fd, &st) != 0) {
			Log::printf(Log::Error, "Source::open(): can't stat \"%s\" file\n", name);
			close();
			return false;
		}
		if (!S_ISREG(st.st_mode)) {
			close();
			return false;
		}
		length = (uint64_t)st.st_size;
		if (length == 0) {
			// a file of size 0 that still has bytes (/proc) is read as a stream
			char byte;
			if (pread(fd, &byte, 1, 0) != 0) {
				close();
				return false;
			}
			return true;
		}
		void *data = mmap(nullptr, (size_t)length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
		if (data == MAP_FAILED) {
			Log::printf(Log::Warning, "Source::open(): can't map \"%s\" file\n", name);
			close();
			return false;
		}
		view = static_cast<const uint8_t *>(data);
		current = view;
		return true;
#endif
	}

	void close() override {
#if !defined(_WIN32)
		// each handle is released once, however often close runs
		if (view) munmap(const_cast<uint8_t *>(view), (size_t)length);
		if (fd >= 0) ::close(fd);
#endif
		fd = -1;
		view = nullptr;
		current = nullptr;
		length = 0;
	}

	bool isMapped() const override { return true; }
	bool isAvailable() const override { return position() < length; }
	size_t getSize() const override { return (size_t)length; }
	const String &getName() const override { return path; }
	size_t tell() const override { return (size_t)position(); }

	bool seekSet(size_t o) override {
		if (o <= length) {
			current = view + o;
			return true;
		}
		current = view + length;
		return false;
	}
	bool seekEnd(size_t o) override {
		if (o <= length) {
			current = view + (length - o);
			return true;
		}
		current = view;
		return false;
	}
	bool seekCur(ssize_t o) override {
		uint64_t at = position();
		if (o >= 0) {
			if ((uint64_t)o > length - at) {
				current = view + length;
				return false;
			}
		} else if ((uint64_t)0 - (uint64_t)o > at) {
			current = view;
			return false;
		}
		current = view + (at + (uint64_t)o);
		return true;
	}

	size_t read(void *dst, size_t n) override {
		uint64_t left = length - position();
		if (n > left) n = (size_t)left;
		if (n) memcpy(dst, current, n);
		current += n;
		return n;
	}

private:
	uint64_t position() const { return view ? (uint64_t)(current - view) : 0; }

	String path;
	int fd = -1;
	uint64_t length = 0;
	const uint8_t *view = nullptr;
	const uint8_t *current = nullptr;
};

//
// buffered stdio reader
//

class SourceCachedImpl : public Source::SourceImpl {
public:
	static constexpr size_t CacheSize = 1024;

	~SourceCachedImpl() override { close(); }

	bool open(const char *name) override {
		path = name;
		begin = cache;
		current = cache;
		count = 0;
		file = Platform::openFile(name, "rb");
		if (file == nullptr) return false;
		Platform::FileInfo info;
		if (!Platform::statFile(file, info)) {
			Log::printf(Log::Error, "Source::open(): can't stat \"%s\" file\n", name);
			close();
			return false;
		}
		length = info.size;
		return true;
	}

	void close() override {
		if (file) fclose(file);
		file = nullptr;
		dropCache();
	}

	bool isMapped() const override { return false; }
	bool isAvailable() const override { return cached() != 0 || (file && !feof(file)); }
	size_t getSize() const override { return (size_t)length; }
	const String &getName() const override { return path; }

	size_t tell() const override {
		if (file == nullptr) return 0;
		int64_t position = Platform::tellFile(file);
		if (position < 0) return 0;
		int64_t logical = position - (int64_t)count + (int64_t)(current - begin);
		return logical < 0 ? 0 : (size_t)logical;
	}

	// the cache goes only once the seek has worked, so that a failed seek
	// leaves the position where it was
	bool seekSet(size_t o) override {
		if (file == nullptr || o > (size_t)INT64_MAX) return false;
		if (!Platform::seekFile(file, (int64_t)o, SEEK_SET)) return false;
		dropCache();
		return true;
	}
	bool seekEnd(size_t o) override {
		if (file == nullptr || o > (size_t)INT64_MAX) return false;
		if (!Platform::seekFile(file, -(int64_t)o, SEEK_END)) return false;
		dropCache();
		return true;
	}
	bool seekCur(ssize_t o) override {
		if (o == 0) return true;
		if (file == nullptr) return false;
		if (o < 0 ? (uint64_t)0 - (uint64_t)o <= (uint64_t)(current - begin) : (uint64_t)o <= cached()) {
			current += o;
			return true;
		}
		// relative to the file position, which is ahead by the cached bytes
		int64_t relative = (int64_t)o - (int64_t)cached();
		if (!Platform::seekFile(file, relative, SEEK_CUR)) return false;
		dropCache();
		return true;
	}

	size_t read(void *dst, size_t n) override {
		if (file == nullptr || n == 0) return 0;
		uint8_t *out = static_cast<uint8_t *>(dst);
		if (n == 1) {
			if (cached() == 0) refill();
			if (cached() == 0) return 0;
			*out = *current++;
			return 1;
		}
		size_t have = cached();
		if (have >= n) {
			memcpy(out, current, n);
			current += n;
			return n;
		}
		if (have) memcpy(out, current, have);
		current += have;
		size_t rest = n - have;
		if (rest >= CacheSize) return have + fread(out + have, 1, rest, file);
		// a short refill still delivers what it holds: the bytes at the end
		// of a file are not held back
		refill();
		size_t take = rest < count ? rest : (size_t)count;
		if (take) memcpy(out + have, begin, take);
		current = begin + take;
		return have + take;
	}

private:
	size_t cached() const { return (size_t)(begin + count - current); }
	void refill() {
		count = fread(cache, 1, CacheSize, file);
		current = begin;
	}
	void dropCache() {
		count = 0;
		current = begin;
	}

	String path;
	uint64_t length = 0;
	FILE *file = nullptr;
	uint64_t count = 0;
	uint8_t *begin = cache;
	uint8_t *current = cache;
	uint8_t cache[CacheSize];
};

//
// stream from the open callback
//

class SourceStreamImpl : public Source::SourceImpl {
public:
	explicit SourceStreamImpl(Stream *stream) : stream(stream) {}
	~SourceStreamImpl() override { delete stream; }

	bool open(const char *) override { return true; }
	void close() override {}
	bool isMapped() const override { return stream->isMapped(); }
	bool isAvailable() const override { return stream->isAvailable(); }
	size_t getSize() const override { return stream->getSize(); }
	const String &getName() const override { return stream->getName(); }
	size_t tell() const override { return stream->tell(); }
	bool seekSet(size_t o) override { return stream->seekSet(o); }
	bool seekEnd(size_t o) override { return stream->seekEnd(o); }
	bool seekCur(ssize_t o) override { return stream->seekCur(o); }
	size_t read(void *dst, size_t n) override { return stream->read(dst, n); }

private:
	Stream *stream;
};

Source::OpenCallback open_callback = nullptr;
void *open_callback_data = nullptr;

} // namespace

//
// Source
//

Source::Source() : impl(nullptr) {}

Source::Source(Source &&source) : impl(source.impl) {
	source.impl = nullptr;
}

Source &Source::operator=(Source &&source) {
	if (&source != this) {
		close();
		impl = source.impl;
		source.impl = nullptr;
	}
	return *this;
}

Source::~Source() {
	close();
}

bool Source::open(const char *name, bool use_callback) {
	close();
	if (name == nullptr) {
		Log::printf(Log::Error, "Source::open(): can't open \"%s\" file\n", "");
		return false;
	}
	if (use_callback && open_callback) {
		Stream *stream = open_callback(name, open_callback_data);
		if (stream) {
			impl = new SourceStreamImpl(stream);
			return true;
		}
	}
	SourceImpl *mapped = new SourceMappedImpl();
	if (mapped->open(name)) {
		impl = mapped;
		return true;
	}
	delete mapped;
	SourceImpl *cached = new SourceCachedImpl();
	if (cached->open(name)) {
		impl = cached;
		return true;
	}
	delete cached;
	Log::printf(Log::Error, "Source::open(): can't open \"%s\" file\n", name);
	return false;
}

void Source::close() {
	delete impl;
	impl = nullptr;
}

void Source::setWindow(const String &name, size_t offset, size_t size) {
	if (impl == nullptr) return;
	impl->name = name;
	impl->offset = offset;
	impl->size = size;
}

void Source::setWindow(const char *name, size_t offset, size_t size) {
	if (impl == nullptr) return;
	impl->name = name;
	impl->offset = offset;
	impl->size = size;
}

void Source::setOpenCallback(OpenCallback callback, void *data) {
	open_callback = callback;
	open_callback_data = data;
}

Source::OpenCallback Source::getOpenCallback() {
	return open_callback;
}

void *Source::getOpenCallbackData() {
	return open_callback_data;
}

size_t Source::size(const char *name) {
	return File::size(name);
}

uint64_t Source::mtime(const char *name) {
	return File::mtime(name);
}

bool Source::isFile(const char *name) {
	return File::isFile(name);
}

bool Source::hasWindow() const {
	return impl != nullptr && impl->size != 0;
}

//
// stream slots, with the window applied
//

Stream *Source::move() {
	Source *source = new Source();
	source->impl = impl;
	impl = nullptr;
	return source;
}

bool Source::isOpened() const {
	return impl != nullptr;
}

bool Source::isMapped() const {
	return impl != nullptr && impl->isMapped();
}

bool Source::isAvailable() const {
	if (impl == nullptr || !impl->isAvailable()) return false;
	return !hasWindow() || impl->tell() < impl->offset + impl->size;
}

size_t Source::getSize() const {
	if (impl == nullptr) return 0;
	return hasWindow() ? (size_t)impl->size : impl->getSize();
}

const String &Source::getName() const {
	if (impl == nullptr) return String::null;
	return impl->name.empty() ? impl->getName() : impl->name;
}

size_t Source::tell() const {
	if (impl == nullptr) return 0;
	size_t position = impl->tell();
	return position < impl->offset ? 0 : position - (size_t)impl->offset;
}

bool Source::seekSet(size_t offset) {
	if (impl == nullptr) return false;
	return impl->seekSet(offset + (size_t)impl->offset);
}

bool Source::seekEnd(size_t offset) {
	if (impl == nullptr) return false;
	if (!hasWindow()) return impl->seekEnd(offset);
	// back from the window's end; too far back stops at its start
	if (offset > impl->size) {
		impl->seekSet((size_t)impl->offset);
		return false;
	}
	return impl->seekSet((size_t)(impl->offset + impl->size - offset));
}

bool Source::seekCur(ssize_t offset) {
	if (offset == 0) return true;
	if (impl == nullptr) return false;
	return impl->seekCur(offset);
}

size_t Source::read(void *dst, size_t size) {
	if (impl == nullptr) return 0;
	if (hasWindow()) {
		uint64_t end = impl->offset + impl->size;
		uint64_t position = impl->tell();
		if (position >= end) return 0;
		if (size > end - position) size = (size_t)(end - position);
	}
	return impl->read(dst, size);
}

size_t Source::write(const void *, size_t) {
	return 0;
}

bool Source::flush() {
	return true;
}

} // namespace Vexa
