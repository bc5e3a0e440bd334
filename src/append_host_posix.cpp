#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

#include "append_host.h"

namespace {

constexpr mode_t kNewFileMode = 0666;  // as fopen creates files; the umask applies

int open_retrying(const char* path, int flags) {
    int descriptor = -1;
    do descriptor = open(path, flags | O_APPEND | O_CREAT | O_CLOEXEC, kNewFileMode);
    while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

bool is_regular(int descriptor) {
    struct stat status {};
    return fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace

// A FIFO opened for reading and writing would never wait for its reader, and
// what this process wrote could vanish unread; so anything that is not a
// regular file is opened again for writing alone, as fopen's "a" does.
bool open_for_append(const char* path, AppendHandle& handle) {
    handle = {open_retrying(path, O_RDWR | O_NONBLOCK), true};
    if (handle.descriptor >= 0 && is_regular(handle.descriptor)) {
        const int flags = fcntl(handle.descriptor, F_GETFL);
        if (flags != -1) fcntl(handle.descriptor, F_SETFL, flags & ~O_NONBLOCK);
        return true;
    }
    if (handle.descriptor >= 0) close(handle.descriptor);
    handle = {open_retrying(path, O_WRONLY), false};
    return handle.descriptor >= 0;
}

void lock_for_append(const AppendHandle& handle) {
    while (flock(handle.descriptor, LOCK_EX) != 0 && errno == EINTR) {
    }
}

FileFacts file_facts(const AppendHandle& handle) {
    struct stat status {};
    if (fstat(handle.descriptor, &status) != 0) return {false, -1};
    return {S_ISREG(status.st_mode), S_ISREG(status.st_mode) ? int64_t{status.st_size} : -1};
}

bool read_byte_at(const AppendHandle& handle, int64_t offset, char& byte) {
    ssize_t got = -1;
    do got = pread(handle.descriptor, &byte, 1, static_cast<off_t>(offset));
    while (got < 0 && errno == EINTR);
    return got == 1;
}

int64_t append_bytes(const AppendHandle& handle, const char* bytes, std::size_t length) {
    std::size_t written = 0;
    while (written < length) {
        const ssize_t wrote = write(handle.descriptor, bytes + written, length - written);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) break;
        written += static_cast<std::size_t>(wrote);
    }
    return static_cast<int64_t>(written);
}

bool flush_to_storage(const AppendHandle& handle, bool regular) {
    int result = 0;
    do result = fsync(handle.descriptor);
    while (result != 0 && errno == EINTR);
    return result == 0 || (!regular && (errno == EINVAL || errno == ENOTSUP));
}

bool cut_to(const AppendHandle& handle, int64_t size) {
    int result = 0;
    do result = ftruncate(handle.descriptor, static_cast<off_t>(size));
    while (result != 0 && errno == EINTR);
    return result == 0;
}

void close_append_handle(const AppendHandle& handle) { close(handle.descriptor); }

void fail_writes_past_file_size_limit() { signal(SIGXFSZ, SIG_IGN); }

void hold_interrupts(InterruptHold& hold) {
    sigset_t interrupts;
    sigemptyset(&interrupts);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&interrupts, signal);
    sigprocmask(SIG_BLOCK, &interrupts, &hold.previousMask);
}

void release_interrupts(const InterruptHold& hold) { sigprocmask(SIG_SETMASK, &hold.previousMask, nullptr); }
