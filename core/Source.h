// A read-only stream over a source file, which the preprocessor and the
// loaders read shaders through. It picks one of three readers when it opens:
// a stream handed out by a process-wide callback (sources kept in memory, in
// an archive, ...), a memory-mapped regular file, or a buffered stdio reader
// for everything that can't be mapped (pipes, /proc files).
//
// A window (a name, an offset and a size) makes a part of the file look like
// a whole stream of its own.
#pragma once

#include "core/Stream.h"

namespace Vexa {

class Source : public Stream {
public:
	// gives a stream for a name, or null to read the file from disk
	using OpenCallback = Stream *(*)(const char *name, void *data);

	class SourceImpl;

	Source();
	Source(Source &&source);
	Source &operator=(Source &&source);
	~Source() override;

	bool open(const char *name, bool use_callback = true);
	void close();

	// the window applies from the next seekSet(0); it doesn't move the position
	void setWindow(const String &name, size_t offset, size_t size);
	void setWindow(const char *name, size_t offset, size_t size);

	static void setOpenCallback(OpenCallback callback, void *data);
	static OpenCallback getOpenCallback();
	static void *getOpenCallbackData();

	static size_t size(const char *name);
	static uint64_t mtime(const char *name);
	static bool isFile(const char *name);

	Stream *move() override;
	bool isOpened() const override;
	bool isMapped() const override;
	bool isAvailable() const override;
	size_t getSize() const override;
	const String &getName() const override;
	size_t tell() const override;
	bool seekSet(size_t offset) override;
	bool seekEnd(size_t offset) override;
	bool seekCur(ssize_t offset) override;
	size_t read(void *dst, size_t size) override;
	size_t write(const void *src, size_t size) override;
	bool flush() override;

private:
	bool hasWindow() const;

	SourceImpl *impl;
};

} // namespace Vexa
