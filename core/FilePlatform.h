// The operating-system calls behind File and Source, in one place, so that
// the stream classes are written once for every platform. Names are UTF-8
// here; the Windows form converts them to its wide form at the call.
#pragma once

#include <cstdint>
#include <cstdio>

namespace Vexa {
namespace Platform {

struct FileInfo {
	uint64_t size;
	uint64_t mtime;
	bool regular;
};

FILE *openFile(const char *name, const char *mode);
FILE *openDescriptor(int fd, const char *mode);
// `mode` is "r" or "w"; a 'b' is not passed on, as pipes know no binary mode
FILE *openPipe(const char *command, const char *mode);
int closePipe(FILE *file);

bool statFile(const char *name, FileInfo &info);
bool statFile(FILE *file, FileInfo &info);
bool removeFile(const char *name);

bool seekFile(FILE *file, int64_t offset, int whence);
// -1 when the position is unknown (pipes)
int64_t tellFile(FILE *file);
// flushes, then cuts the file at `size` bytes
bool truncateFile(FILE *file, uint64_t size);

} // namespace Platform
} // namespace Vexa
