// A file of named blobs: a client saves the bytes of a stream under a key and
// loads them back later, across runs of the program. Blobs are appended and
// never moved; the table of keys, offsets and sizes follows the newest blob
// and is rewritten after every save.
//
// Every operation takes the object's own spin lock, so threads may share a
// cache. The table read from disk is untrusted: a file whose table doesn't
// hold together is replaced by an empty cache.
#pragma once

#include <cstdint>

#include "core/Array.h"
#include "core/Map.h"
#include "core/SpinLock.h"
#include "core/String.h"

namespace Vexa {

class File;
class Stream;

class Cache {
public:
	Cache();
	~Cache();
	Cache(const Cache &) = delete;
	Cache &operator=(const Cache &) = delete;

	// attaches to a cache file; a missing file is an empty cache that the
	// first save creates, an unreadable one is replaced by an empty file
	bool open(const char *name);
	// attaches to a new, empty cache file
	bool create(const char *name);

	bool has(const String &key);
	bool load(const String &key, Stream &dst);
	bool save(const String &key, Stream &src);
	void clear(bool lock = true);
	bool isOpened() const;

	// the process-wide cache of the library
	static Cache &global();

private:
	bool createUnlocked(const char *name);
	bool readHeader(File &file, uint64_t size);
	bool writeHeader();
	void reset();

	String name;
	SpinLock lock;
	uint8_t needs_reopen;
	uint64_t header;
	File *file;
	Map<String, uint32_t> index;
	Array<uint64_t> offsets;
	Array<uint32_t> sizes;
};

} // namespace Vexa
