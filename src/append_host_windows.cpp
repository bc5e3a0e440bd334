#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "append_host.h"

namespace {

// Byte-range locks on Windows are mandatory: the lock covers one byte far
// past any real content, so that the client can still read the file.
constexpr DWORD kLockOffsetHigh = DWORD{1} << 30;  // offset 2^62

int open_binary(const char* path, int access) {
    int descriptor = -1;
    const int flags = access | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT;
    if (_sopen_s(&descriptor, path, flags, _SH_DENYNO, _S_IREAD | _S_IWRITE) != 0) return -1;
    return descriptor;
}

HANDLE os_handle(const AppendHandle& handle) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(handle.descriptor));
}

bool lock_far_byte(const AppendHandle& handle, DWORD flags) {
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    return LockFileEx(os_handle(handle), LOCKFILE_EXCLUSIVE_LOCK | flags, 0, 1, 0, &at) != 0;
}

// A failed _write does not say how much of it reached the file. What did
// is found from the file's growth, counted as this run's only when it is
// byte for byte the start of what was being written.
int64_t landed_before_failure(const AppendHandle& handle, int64_t sizeBefore, const char* bytes,
                              std::size_t length) {
    const int64_t grown = file_facts(handle).size - sizeBefore;
    if (sizeBefore < 0 || grown <= 0 || grown > static_cast<int64_t>(length)) return 0;
    std::array<char, 4096> chunk{};
    for (int64_t checked = 0; checked < grown;) {
        const auto want = static_cast<unsigned>(std::min(grown - checked, static_cast<int64_t>(chunk.size())));
        if (_lseeki64(handle.descriptor, sizeBefore + checked, SEEK_SET) != sizeBefore + checked ||
            _read(handle.descriptor, chunk.data(), want) != static_cast<int>(want) ||
            std::memcmp(chunk.data(), bytes + checked, want) != 0)
            return 0;
        checked += want;
    }
    return grown;
}

// Windows has no call that writes two pieces at once; the lock keeps the
// pieces together against other runs.
int64_t append_piece(const AppendHandle& handle, const char* bytes, std::size_t length) {
    std::size_t written = 0;
    while (written < length) {
        const int64_t sizeBefore = file_facts(handle).size;
        const std::size_t chunk = length - written;
        const int wrote = _write(handle.descriptor, bytes + written, static_cast<unsigned>(chunk));
        if (wrote <= 0) {
            if (handle.readable)
                written += static_cast<std::size_t>(landed_before_failure(handle, sizeBefore, bytes + written, chunk));
            break;
        }
        written += static_cast<std::size_t>(wrote);
    }
    return static_cast<int64_t>(written);
}

}  // namespace

bool open_for_append(const char* path, AppendHandle& handle) {
    handle = {open_binary(path, _O_RDWR), true, false};
    if (handle.descriptor < 0) handle = {open_binary(path, _O_WRONLY), false, false};
    return handle.descriptor >= 0;
}

bool try_lock_for_append(const AppendHandle& handle) {
    return lock_far_byte(handle, LOCKFILE_FAIL_IMMEDIATELY) || GetLastError() != ERROR_LOCK_VIOLATION;
}

void lock_for_append(const AppendHandle& handle) { lock_far_byte(handle, 0); }

// The runtime opens files without sharing delete access, so while this run
// holds the file open no other program can rename a file over it or remove
// it: the path always names the handle.
bool path_names_handle(const char*, const AppendHandle&) { return true; }

FileFacts file_facts(const AppendHandle& handle) {
    struct _stati64 status {};
    if (_fstati64(handle.descriptor, &status) != 0) return {false, -1};
    const bool regular = (status.st_mode & _S_IFMT) == _S_IFREG;
    return {regular, regular ? int64_t{status.st_size} : -1};
}

bool read_byte_at(const AppendHandle& handle, int64_t offset, char& byte) {
    return _lseeki64(handle.descriptor, offset, SEEK_SET) == offset && _read(handle.descriptor, &byte, 1) == 1;
}

int64_t append_bytes(const AppendHandle& handle, std::span<const char> first, std::span<const char> second) {
    const int64_t written = append_piece(handle, first.data(), first.size());
    if (written < static_cast<int64_t>(first.size())) return written;
    return written + append_piece(handle, second.data(), second.size());
}

bool flush_to_storage(const AppendHandle& handle, bool regular) {
    return _commit(handle.descriptor) == 0 || !regular;
}

bool cut_to(const AppendHandle& handle, int64_t size) { return _chsize_s(handle.descriptor, size) == 0; }

void close_append_handle(const AppendHandle& handle) { _close(handle.descriptor); }

// NTFS journals its folder entries; a folder cannot be flushed through the
// runtime's calls.
void flush_folder_of(const char*) {}
