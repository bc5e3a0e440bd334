#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "append_host.h"

namespace {

constexpr mode_t kNewFileMode = 0666;  // as fopen creates files; the umask applies

// Runs a system call again for as long as a signal interrupts it.
template <typename Call>
auto retrying(Call call) {
    auto result = call();
    while (result == -1 && errno == EINTR) result = call();
    return result;
}

int open_retrying(const char* path, int flags) {
    return retrying([&] { return open(path, flags | O_APPEND | O_CLOEXEC, kNewFileMode); });
}

bool is_other_than_regular(const char* path) {
    struct stat status {};
    return stat(path, &status) == 0 && !S_ISREG(status.st_mode);
}

// The file at path, or a new one when there is none: O_EXCL tells whether
// this open made it.
AppendHandle open_regular(const char* path) {
    int descriptor = open_retrying(path, O_RDWR);
    if (descriptor >= 0) return {descriptor, true, false};
    if (errno == ENOENT) {
        descriptor = open_retrying(path, O_RDWR | O_CREAT | O_EXCL);
        if (descriptor >= 0) return {descriptor, true, true};
        // Made meanwhile by another program, or a link to a file that does
        // not exist yet (which O_EXCL refuses): opened as fopen's "a" would.
        descriptor = open_retrying(path, O_RDWR | O_CREAT);
        if (descriptor >= 0) return {descriptor, true, false};
    }
    return {open_retrying(path, O_WRONLY | O_CREAT), false, false};  // write permission alone
}

// The part of bytes from offset on, as writev takes it.
iovec rest_of(std::span<const char> bytes, std::size_t offset) {
    const std::size_t from = std::min(offset, bytes.size());
    return {const_cast<char*>(bytes.data() + from), bytes.size() - from};
}

}  // namespace

// A FIFO opened for reading and writing would act as a writer of its own:
// a reader waiting on it would see the end as soon as that open closed.
bool open_for_append(const char* path, AppendHandle& handle) {
    handle = is_other_than_regular(path) ? AppendHandle{open_retrying(path, O_WRONLY), false, false}
                                         : open_regular(path);
    return handle.descriptor >= 0;
}

bool try_lock_for_append(const AppendHandle& handle) {
    return retrying([&] { return flock(handle.descriptor, LOCK_EX | LOCK_NB); }) == 0 || errno != EWOULDBLOCK;
}

void lock_for_append(const AppendHandle& handle) {
    retrying([&] { return flock(handle.descriptor, LOCK_EX); });
}

bool path_names_handle(const char* path, const AppendHandle& handle) {
    struct stat atPath {};
    struct stat held {};
    return fstat(handle.descriptor, &held) == 0 && stat(path, &atPath) == 0 && atPath.st_dev == held.st_dev &&
           atPath.st_ino == held.st_ino;
}

FileFacts file_facts(const AppendHandle& handle) {
    struct stat status {};
    if (fstat(handle.descriptor, &status) != 0) return {false, -1};
    return {S_ISREG(status.st_mode), S_ISREG(status.st_mode) ? int64_t{status.st_size} : -1};
}

bool read_byte_at(const AppendHandle& handle, int64_t offset, char& byte) {
    return retrying([&] { return pread(handle.descriptor, &byte, 1, static_cast<off_t>(offset)); }) == 1;
}

int64_t append_bytes(const AppendHandle& handle, std::span<const char> first, std::span<const char> second) {
    const std::size_t length = first.size() + second.size();
    std::size_t written = 0;
    while (written < length) {
        const std::array<iovec, 2> pieces = {rest_of(first, written),
                                             rest_of(second, written - std::min(written, first.size()))};
        const ssize_t wrote = retrying([&] { return writev(handle.descriptor, pieces.data(), 2); });
        if (wrote <= 0) break;
        written += static_cast<std::size_t>(wrote);
    }
    return static_cast<int64_t>(written);
}

bool flush_to_storage(const AppendHandle& handle, bool regular) {
    return retrying([&] { return fsync(handle.descriptor); }) == 0 ||
           (!regular && (errno == EINVAL || errno == ENOTSUP));
}

bool cut_to(const AppendHandle& handle, int64_t size) {
    return retrying([&] { return ftruncate(handle.descriptor, static_cast<off_t>(size)); }) == 0;
}

void close_append_handle(const AppendHandle& handle) { close(handle.descriptor); }

void flush_folder_of(const char* path) {
    std::array<char, 4096> folder{'.'};
    const char* slash = std::strrchr(path, '/');
    if (slash != nullptr) {
        const auto length = static_cast<std::size_t>(slash == path ? 1 : slash - path);
        if (length >= folder.size()) return;
        std::memcpy(folder.data(), path, length);
    }
    const int descriptor = retrying([&] { return open(folder.data(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (descriptor < 0) return;
    retrying([&] { return fsync(descriptor); });
    close(descriptor);
}
