#include "host.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <sys/types.h>
#include <unistd.h>
#endif

#ifdef _WIN32

int64_t stream_position(std::FILE* stream) { return _ftelli64(stream); }

bool to_local_time(std::time_t time, std::tm& local) { return localtime_s(&local, &time) == 0; }

bool truncate_file(const char* path, int64_t size) {
    int fd = -1;
    if (_sopen_s(&fd, path, _O_WRONLY | _O_BINARY, _SH_DENYNO, _S_IWRITE) != 0) return false;
    const bool resized = _chsize_s(fd, size) == 0;
    return _close(fd) == 0 && resized;
}

#else

int64_t stream_position(std::FILE* stream) { return ftello(stream); }

bool truncate_file(const char* path, int64_t size) { return truncate(path, size) == 0; }

bool to_local_time(std::time_t time, std::tm& local) { return localtime_r(&time, &local) != nullptr; }

#endif
