// A stream over a C stdio file or a command pipe. The program opens its
// input, its output files and standard output with it; the cache file keeps
// its blobs in one.
//
// A File is always backed by an implementation record, so a moved-from or
// closed File stays safe to use: it just reads and writes nothing.
#pragma once

#include "core/Stream.h"

namespace Vexa {

class File : public Stream {
public:
	File();
	File(File &&file);
	File &operator=(File &&file);
	~File() override;

	bool open(const char *name, const char *mode);
	// adopts an open descriptor (standard output, for instance)
	bool open(int fd, const char *name, const char *mode);
	// runs a command with its standard input or output as this stream
	bool popen(const char *command, const char *mode);
	// false when the last buffered bytes could not be written (or the command failed)
	bool close();
	bool isPipe() const;
	// cuts the file at the current position
	bool truncate();

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

	// file queries; 0 or false when the file can't be looked at
	static size_t size(const char *name);
	static uint64_t mtime(const char *name);
	static bool isFile(const char *name);
	static bool remove(const char *name);

private:
	struct FileImpl;
	FileImpl *impl;
};

} // namespace Vexa
