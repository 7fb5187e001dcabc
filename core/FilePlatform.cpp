// POSIX and Windows forms of the file calls that File and Source need. The
// Windows form only converts names and picks the wide or 64-bit variant of
// each call; the behaviour is that of the POSIX form.
#include "core/FilePlatform.h"

#include "core/String.h"

#if defined(_WIN32)
#include <io.h>
#include <sys/stat.h>
#include <wchar.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Vexa {
namespace Platform {

namespace {

// a pipe mode without the 'b' that fopen takes and popen refuses
void pipeMode(const char *mode, char (&out)[8]) {
	uint32_t n = 0;
	for (; mode && *mode && n + 1 < sizeof(out); mode++) {
		if (*mode != 'b') out[n++] = *mode;
	}
	out[n] = 0;
}

#if defined(_WIN32)

constexpr int32_t PathSize = 260;

struct WidePath {
	explicit WidePath(const char *name) {
		path[0] = 0;
		if (name) String(name).toUtf16(reinterpret_cast<uint16_t *>(path), PathSize);
	}
	wchar_t path[PathSize];
};

struct WideMode {
	explicit WideMode(const char *mode) {
		uint32_t n = 0;
		for (; mode && *mode && n + 1 < 16; mode++) text[n++] = (wchar_t)(unsigned char)*mode;
		text[n] = 0;
	}
	wchar_t text[16];
};

void fillInfo(const struct _stat64 &st, FileInfo &info) {
	info.size = (uint64_t)st.st_size;
	info.mtime = (uint64_t)st.st_mtime;
	info.regular = (st.st_mode & _S_IFMT) == _S_IFREG;
}

#else

void fillInfo(const struct stat &st, FileInfo &info) {
	info.size = (uint64_t)st.st_size;
	info.mtime = (uint64_t)st.st_mtime;
	info.regular = S_ISREG(st.st_mode);
}

#endif

} // namespace

#if defined(_WIN32)

FILE *openFile(const char *name, const char *mode) {
	return _wfopen(WidePath(name).path, WideMode(mode).text);
}

FILE *openDescriptor(int fd, const char *mode) {
	return _fdopen(fd, mode);
}

FILE *openPipe(const char *command, const char *mode) {
	char m[8];
	pipeMode(mode, m);
	return _wpopen(WidePath(command).path, WideMode(m).text);
}

int closePipe(FILE *file) {
	return _pclose(file);
}

bool statFile(const char *name, FileInfo &info) {
	struct _stat64 st;
	if (_wstat64(WidePath(name).path, &st) != 0) return false;
	fillInfo(st, info);
	return true;
}

bool statFile(FILE *file, FileInfo &info) {
	struct _stat64 st;
	if (_fstat64(_fileno(file), &st) != 0) return false;
	fillInfo(st, info);
	return true;
}

bool removeFile(const char *name) {
	return _wremove(WidePath(name).path) == 0;
}

bool seekFile(FILE *file, int64_t offset, int whence) {
	return _fseeki64(file, offset, whence) == 0;
}

int64_t tellFile(FILE *file) {
	return _ftelli64(file);
}

bool truncateFile(FILE *file, uint64_t size) {
	if (fflush(file) != 0) return false;
	return _chsize_s(_fileno(file), (int64_t)size) == 0;
}

#else

FILE *openFile(const char *name, const char *mode) {
	return fopen(name, mode);
}

FILE *openDescriptor(int fd, const char *mode) {
	return fdopen(fd, mode);
}

FILE *openPipe(const char *command, const char *mode) {
	char m[8];
	pipeMode(mode, m);
	return popen(command, m);
}

int closePipe(FILE *file) {
	return pclose(file);
}

bool statFile(const char *name, FileInfo &info) {
	struct stat st;
	if (name == nullptr || stat(name, &st) != 0) return false;
	fillInfo(st, info);
	return true;
}

bool statFile(FILE *file, FileInfo &info) {
	struct stat st;
	if (fstat(fileno(file), &st) != 0) return false;
	fillInfo(st, info);
	return true;
}

bool removeFile(const char *name) {
	return name != nullptr && remove(name) == 0;
}

bool seekFile(FILE *file, int64_t offset, int whence) {
	return fseeko(file, (off_t)offset, whence) == 0;
}

int64_t tellFile(FILE *file) {
	return (int64_t)ftello(file);
}

bool truncateFile(FILE *file, uint64_t size) {
	if (fflush(file) != 0) return false;
	return ftruncate(fileno(file), (off_t)size) == 0;
}

#endif

} // namespace Platform
} // namespace Vexa
