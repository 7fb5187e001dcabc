// File: the stdio-backed stream. Files opened by name or by descriptor are
// closed with fclose, command pipes with pclose; an explicit flag says which,
// because a pipe and a descriptor both come without a name.
#include "core/File.h"

#include <cerrno>
#include <cstdint>

#include "core/FilePlatform.h"
#include "core/Log.h"

namespace Vexa {

namespace {

// callers may still want the system's reason for the failure after this
// message: logging must not change errno
void logFailure(const char *format, const char *name) {
	int error = errno;
	Log::printf(Log::Error, format, name);
	errno = error;
}

} // namespace

struct File::FileImpl {
	String name;
	uint64_t size = 0;
	FILE *file = nullptr;
	bool pipe = false;
};

File::File() : impl(new FileImpl()) {}

File::File(File &&file) : impl(file.impl) {
	file.impl = new FileImpl();
}

File &File::operator=(File &&file) {
	if (&file != this) {
		close();
		swap(impl, file.impl);
	}
	return *this;
}

File::~File() {
	close();
	delete impl;
}

bool File::open(const char *name, const char *mode) {
	close();
	if (name == nullptr || mode == nullptr) {
		Log::printf(Log::Error, "File::open(): can't open \"%s\" file\n", name ? name : "");
		return false;
	}
	impl->name = name;
	impl->file = Platform::openFile(name, mode);
	if (impl->file == nullptr) {
		logFailure("File::open(): can't open \"%s\" file\n", name);
		impl->name.clear();
		return false;
	}
	Platform::FileInfo info;
	if (!Platform::statFile(impl->file, info)) {
		logFailure("File::open(): can't stat \"%s\" file\n", name);
		int error = errno;
		close();
		errno = error;
		return false;
	}
	impl->size = info.size;
	return true;
}

bool File::open(int fd, const char *name, const char *mode) {
	close();
	impl->name = name;
	impl->file = mode ? Platform::openDescriptor(fd, mode) : nullptr;
	if (impl->file == nullptr) {
		logFailure("File::open(): can't open \"%s\" file\n", name ? name : "");
		impl->name.clear();
		return false;
	}
	return true;
}

bool File::popen(const char *command, const char *mode) {
	close();
	impl->file = (command && mode) ? Platform::openPipe(command, mode) : nullptr;
	if (impl->file == nullptr) {
		logFailure("File::popen(): can't run \"%s\" command\n", command ? command : "");
		return false;
	}
	impl->pipe = true;
	return true;
}

bool File::close() {
	bool ok = true;
	if (impl->file) {
		if (impl->pipe) ok = Platform::closePipe(impl->file) == 0;
		else ok = fclose(impl->file) == 0;
	}
	impl->name.clear();
	impl->size = 0;
	impl->file = nullptr;
	impl->pipe = false;
	return ok;
}

bool File::isPipe() const {
	return impl->file != nullptr && impl->pipe;
}

bool File::truncate() {
	if (impl->file == nullptr || impl->pipe) return false;
	int64_t position = Platform::tellFile(impl->file);
	if (position < 0 || !Platform::truncateFile(impl->file, (uint64_t)position)) return false;
	impl->size = (uint64_t)position;
	return true;
}

//
// stream slots
//

Stream *File::move() {
	File *file = new File();
	swap(file->impl, impl);
	return file;
}

bool File::isOpened() const {
	return impl->file != nullptr;
}

bool File::isMapped() const {
	return false;
}

bool File::isAvailable() const {
	return impl->file != nullptr && !feof(impl->file);
}

size_t File::getSize() const {
	return (size_t)impl->size;
}

const String &File::getName() const {
	return impl->name;
}

size_t File::tell() const {
	if (impl->file == nullptr) return 0;
	int64_t position = Platform::tellFile(impl->file);
	return position < 0 ? 0 : (size_t)position;
}

bool File::seekSet(size_t offset) {
	if (impl->file == nullptr || offset > (size_t)INT64_MAX) return false;
	return Platform::seekFile(impl->file, (int64_t)offset, SEEK_SET);
}

bool File::seekEnd(size_t offset) {
	// `offset` counts back from the end, as for every stream
	if (impl->file == nullptr || offset > (size_t)INT64_MAX) return false;
	return Platform::seekFile(impl->file, -(int64_t)offset, SEEK_END);
}

bool File::seekCur(ssize_t offset) {
	if (offset == 0) return true;
	if (impl->file == nullptr) return false;
	return Platform::seekFile(impl->file, (int64_t)offset, SEEK_CUR);
}

size_t File::read(void *dst, size_t size) {
	if (impl->file == nullptr || size == 0) return 0;
	return fread(dst, 1, size, impl->file);
}

size_t File::write(const void *src, size_t size) {
	if (impl->file == nullptr || size == 0) return 0;
	return fwrite(src, 1, size, impl->file);
}

bool File::flush() {
	return impl->file != nullptr && fflush(impl->file) == 0;
}

//
// queries
//

size_t File::size(const char *name) {
	Platform::FileInfo info;
	return Platform::statFile(name, info) ? (size_t)info.size : 0;
}

uint64_t File::mtime(const char *name) {
	Platform::FileInfo info;
	return Platform::statFile(name, info) ? info.mtime : 0;
}

bool File::isFile(const char *name) {
	Platform::FileInfo info;
	return Platform::statFile(name, info) && info.regular;
}

bool File::remove(const char *name) {
	return Platform::removeFile(name);
}

} // namespace Vexa
