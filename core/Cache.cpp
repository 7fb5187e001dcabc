// The cache file: blobs back to back, then the table, then a u32 trailer that
// gives the table's length, so that a reader finds the table from the end.
//
//   blobs | "VexaShader01" | u32 count | count x (key, varint slot)
//         | slots x (varint u64 offset, varint u32 size) | u32 trailer
//
// The table is read as untrusted input: the trailer, the slot numbers and
// every blob's extent are checked against the file before anything is sized
// from them. Every save rewrites the table after the new blob and cuts the
// file there, so a table that got shorter leaves no stale bytes behind it.
#include "core/Cache.h"

#include <cerrno>
#include <cstring>

#include "core/File.h"
#include "core/Log.h"

namespace Vexa {

namespace {

const char magic[12] = {'V', 'e', 'x', 'a', 'S', 'h', 'a', 'd', 'e', 'r', '0', '1'};

// the smallest table: magic, entry count and trailer
constexpr uint32_t MinTable = 12 + 4 + 4;

uint32_t word(const uint8_t *bytes) {
	return (uint32_t)bytes[0] | ((uint32_t)bytes[1] << 8) | ((uint32_t)bytes[2] << 16) | ((uint32_t)bytes[3] << 24);
}

Cache global_cache;

} // namespace

Cache::Cache() : needs_reopen(1), header(0), file(nullptr) {}

Cache::~Cache() {
	SpinLock::Guard guard(lock);
	reset();
}

Cache &Cache::global() {
	return global_cache;
}

void Cache::reset() {
	name.clear();
	needs_reopen = 1;
	header = 0;
	delete file;
	file = nullptr;
	index.clear();
	offsets.clear();
	sizes.clear();
}

void Cache::clear(bool take_lock) {
	if (take_lock) lock.lock();
	reset();
	if (take_lock) lock.unlock();
}

bool Cache::isOpened() const {
	return !name.empty();
}

//
// opening
//

bool Cache::create(const char *path) {
	SpinLock::Guard guard(lock);
	return createUnlocked(path);
}

bool Cache::createUnlocked(const char *path) {
	String copy = path;
	reset();
	name = copy;
	file = new File();
	if (!file->open(copy.get(), "wb+")) {
		Log::printfSystemError(Log::Error, "Cache::create(): can't create \"%s\" file\n", copy.get());
		reset();
		return false;
	}
	needs_reopen = 0;
	return true;
}

bool Cache::open(const char *path) {
	SpinLock::Guard guard(lock);
	reset();
	if (path == nullptr) return false;
	name = path;
	if (!File::isFile(path)) return true;
	size_t size = File::size(path);
	if (size >= 16) {
		file = new File();
		if (!file->open(path, "rb")) {
			Log::printfSystemError(Log::Error, "Cache::open(): can't open \"%s\" file\n", path);
		} else if (readHeader(*file, size)) {
			return true;
		}
	}
	// a short, unreadable or foreign file gives way to an empty cache
	return createUnlocked(path);
}

bool Cache::readHeader(File &f, uint64_t size) {
	// what goes wrong below is the file's content, not a system call, so no
	// stale error text may follow the messages
	errno = 0;
	bool status = f.seekSet(size - 4);
	uint32_t trailer = f.readu32(&status);
	if (trailer < MinTable || trailer > size) status = false;
	header = size - trailer;
	status = status && f.seekSet(header);
	if (!status) {
		Log::printSystemError(Log::Error, "Cache::open(): can't seek to the header\n");
		return false;
	}

	uint8_t bytes[12];
	if (f.read(bytes, sizeof(bytes)) != sizeof(bytes)) {
		Log::printSystemError(Log::Error, "Cache::open(): can't read magic\n");
		return false;
	}
	for (uint32_t i = 0; i < 12; i += 4) {
		if (word(bytes + i) != word(reinterpret_cast<const uint8_t *>(magic) + i)) {
			Log::printf(Log::Error, "Cache::open(): invalid magic 0x%08x 0x%08x 0x%08x\n", word(bytes), word(bytes + 4), word(bytes + 8));
			return false;
		}
	}

	// every entry and every slot record takes at least two bytes of the
	// table, which bounds the counts before anything is sized from them
	uint32_t count = f.readu32(&status);
	if (count > trailer / 2) status = false;
	uint32_t slots = 0;
	for (uint32_t i = 0; i < count && status; i++) {
		String key = f.readString(&status);
		uint32_t slot = f.readVaru32(&status);
		if (!status) break;
		if (slot >= trailer / 2) {
			status = false;
			break;
		}
		index.insert(key, slot);
		if (slot + 1 > slots) slots = slot + 1;
	}
	size_t position = f.tell();
	if (status && (position > size - 4 || slots > (size - 4 - position) / 2)) status = false;
	if (!status) {
		Log::printSystemError(Log::Error, "Cache::open(): can't read indices\n");
		return false;
	}

	offsets.resize(slots);
	sizes.resize(slots);
	for (uint32_t slot = 0; slot < slots && status; slot++) {
		uint64_t offset = f.readVaru64(&status);
		uint32_t length = f.readVaru32(&status);
		// a blob lies inside the blob area
		if (offset > header || length > header - offset) status = false;
		offsets[slot] = offset;
		sizes[slot] = length;
	}
	if (!status) {
		Log::printSystemError(Log::Error, "Cache::open(): can't read offsets\n");
		return false;
	}
	return true;
}

//
// blobs
//

bool Cache::has(const String &key) {
	SpinLock::Guard guard(lock);
	if (name.empty()) return false;
	uint32_t *slot = index.get(key);
	return slot != nullptr && *slot < sizes.size() && sizes[*slot] != 0;
}

bool Cache::load(const String &key, Stream &dst) {
	SpinLock::Guard guard(lock);
	if (name.empty()) return false;
	uint32_t *found = index.get(key);
	if (found == nullptr || *found >= sizes.size() || sizes[*found] == 0) return false;
	uint32_t slot = *found;
	if (file == nullptr) {
		file = new File();
		if (!file->open(name.get(), "rb+")) {
			Log::printfSystemError(Log::Error, "Cache::load(): can't open \"%s\" file\n", name.get());
			reset();
			return false;
		}
		needs_reopen = 0;
	}
	if (!file->seekSet(offsets[slot])) {
		Log::printfSystemError(Log::Error, "Cache::load(): can't seek to the \"%s\" cache\n", key.get());
		index.remove(key);
		return false;
	}
	if (!dst.seekSet(0) || file->readStream(dst, sizes[slot]) != sizes[slot]) {
		Log::printfSystemError(Log::Error, "Cache::load(): can't read \"%s\" cache\n", key.get());
		index.remove(key);
		return false;
	}
	dst.seekSet(0);
	return true;
}

bool Cache::save(const String &key, Stream &src) {
	SpinLock::Guard guard(lock);
	if (name.empty()) return false;
	if (file == nullptr) file = new File();
	if (needs_reopen) {
		file->close();
		if (!file->open(name.get(), header != 0 ? "rb+" : "wb+")) {
			Log::printfSystemError(Log::Error, "Cache::save(): can't open \"%s\" file\n", name.get());
			reset();
			return false;
		}
		needs_reopen = 0;
	}
	if (!file->seekSet(header)) {
		Log::printSystemError(Log::Error, "Cache::save(): can't seek to the header\n");
		reset();
		return false;
	}
	// the blob goes where the old table stood
	size_t size = src.getSize();
	if (size > 0xffffffffu || !src.seekSet(0) || file->writeStream(src, size) != size) {
		Log::printfSystemError(Log::Error, "Cache::save(): can't write \"%s\" cache\n", key.get());
		reset();
		return false;
	}
	index.insert(key, offsets.size());
	offsets.append(header);
	sizes.append((uint32_t)size);
	header += size;
	if (!writeHeader()) {
		Log::printSystemError(Log::Error, "Cache::save(): can't write header\n");
		reset();
		return false;
	}
	return true;
}

bool Cache::writeHeader() {
	bool ok = file->write(magic, sizeof(magic)) == sizeof(magic);
	ok = file->writeu32(index.size()) && ok;
	for (auto it = index.begin(); it; ++it) {
		ok = file->writeString(it->key) && ok;
		ok = file->writeVaru32(it->value) && ok;
	}
	for (uint32_t slot = 0; slot < offsets.size(); slot++) {
		ok = file->writeVaru64(offsets[slot]) && ok;
		ok = file->writeVaru32(sizes[slot]) && ok;
	}
	uint64_t trailer = (uint64_t)file->tell() - header + 4;
	if (trailer > 0xffffffffu) return false;
	ok = file->writeu32((uint32_t)trailer) && ok;
	ok = file->flush() && ok;
	// an earlier, longer table must not survive behind this one
	ok = file->truncate() && ok;
	return ok;
}

} // namespace Vexa
