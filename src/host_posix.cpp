#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host.h"

namespace {

constexpr mode_t kNewFileMode = 0666;  // as fopen creates files; the umask applies
// How long a write that cannot go on waits before it looks for a held signal.
constexpr int kStalledWriteCheckMs = 200;
// Opens of a path whose kind keeps changing between two calls.
constexpr int kOpenAttempts = 3;

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

// The kind of file a descriptor holds (its S_IFMT bits); 0 when unknown.
mode_t kind_of(int descriptor) {
    struct stat status {};
    return fstat(descriptor, &status) == 0 ? status.st_mode & S_IFMT : 0;
}

bool is_regular(int descriptor) { return S_ISREG(kind_of(descriptor)); }

bool is_device(int descriptor) { return S_ISCHR(kind_of(descriptor)) || S_ISBLK(kind_of(descriptor)); }

bool same_file(int first, int second) {
    struct stat a {};
    struct stat b {};
    return fstat(first, &a) == 0 && fstat(second, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A file that did not exist, made by this open: through a link when path
// is one to a file not there yet (which O_EXCL refuses). A file that
// another program made meanwhile counts as made here too; its folder is
// then flushed once more than needed.
int create_regular(const char* path) {
    const int descriptor = open_retrying(path, O_RDWR | O_CREAT | O_EXCL | O_NONBLOCK);
    if (descriptor >= 0 || errno != EEXIST) return descriptor;
    return open_retrying(path, O_RDWR | O_CREAT | O_NONBLOCK);
}

// An existing file, opened for writing: when the handle holds a regular
// file, it is opened again for reading too, if it can be read and path
// still names it, so that its last byte can be read.
AppendHandle readable_if_regular(const char* path, int writeOnly) {
    if (!is_regular(writeOnly)) return {writeOnly, false, false};
    const int both = open_retrying(path, O_RDWR | O_NONBLOCK);
    if (both >= 0 && same_file(both, writeOnly)) {
        close(writeOnly);
        return {both, true, false};
    }
    if (both >= 0) close(both);
    return {writeOnly, false, false};
}

// Waits until the file takes bytes again; false once a signal that would
// end the process is held while it takes none.
bool wait_until_writable(const AppendHandle& handle) {
    pollfd ready{handle.descriptor, POLLOUT, 0};
    while (retrying([&] { return poll(&ready, 1, kStalledWriteCheckMs); }) == 0)
        if (ending_signal_held()) return false;
    return true;
}

// The part of bytes from offset on, as writev takes it.
iovec rest_of(std::span<const char> bytes, std::size_t offset) {
    const std::size_t from = std::min(offset, bytes.size());
    return {const_cast<char*>(bytes.data() + from), bytes.size() - from};
}

// The path up to its last separator; "." when it has none.
void cut_to_folder(FolderPath& folder) {
    char* slash = std::strrchr(folder.data(), '/');
    if (slash == nullptr)
        std::snprintf(folder.data(), folder.size(), ".");
    else
        slash[slash == folder.data() ? 1 : 0] = '\0';
}

// A closed standard descriptor gets the null device; the lowest free
// number is the one the open takes.
bool standard_descriptors_open() {
    for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
        if (open("/dev/null", O_RDWR) != descriptor) return false;
    }
    return true;
}

// Signals whose default action is not to end the process.
constexpr std::array kHarmlessByDefault = {SIGCHLD, SIGCONT, SIGURG, SIGWINCH, SIGTSTP, SIGTTIN, SIGTTOU};

bool would_end_process(int number) {
    struct sigaction action {};
    if (sigaction(number, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) return false;
    return action.sa_handler != SIG_DFL ||
           std::find(kHarmlessByDefault.begin(), kHarmlessByDefault.end(), number) == kHarmlessByDefault.end();
}

// The signals that were not held before the report window opened.
sigset_t maskBeforeWindow;
bool windowOpen = false;

}  // namespace

bool to_local_time(std::time_t time, std::tm& local) { return localtime_r(&time, &local) != nullptr; }

// Other hosts' consoles show UTF-8 as it is.
void show_utf8_in_console() {}

void restore_console() {}

bool prepare_process() {
    if (!standard_descriptors_open()) return false;
    signal(SIGXFSZ, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
    return true;
}

void open_report_window() {
    if (windowOpen) return;
    sigset_t held;
    sigfillset(&held);
    windowOpen = sigprocmask(SIG_BLOCK, &held, &maskBeforeWindow) == 0;
}

void close_report_window() {
    std::fflush(stdout);
    if (windowOpen) sigprocmask(SIG_SETMASK, &maskBeforeWindow, nullptr);
    windowOpen = false;
}

bool ending_signal_held() {
    sigset_t pending;
    if (sigpending(&pending) != 0) return false;
    for (int number = 1; number < NSIG; ++number)
        if (sigismember(&pending, number) == 1 && would_end_process(number)) return true;
    return false;
}

// Write-only first, and without waiting: a FIFO opened for reading too
// would be a reader of its own, and one that nobody reads yet is the
// caller's to wait for. Every write then goes without blocking, so that it
// can look for held signals while it waits.
OpenOutcome open_for_append(const char* path, bool waitForReader, AppendHandle& handle) {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        const int writeOnly = open_retrying(path, O_WRONLY | (waitForReader ? 0 : O_NONBLOCK));
        if (writeOnly >= 0) {
            fcntl(writeOnly, F_SETFL, O_APPEND | O_NONBLOCK);
            handle = readable_if_regular(path, writeOnly);
            return OpenOutcome::kOpened;
        }
        if (errno == ENXIO) return OpenOutcome::kNoReader;
        if (errno != ENOENT) return OpenOutcome::kNotOpened;
        const int created = create_regular(path);
        if (created < 0) return OpenOutcome::kNotOpened;
        if (is_regular(created)) {
            handle = {created, true, true};
            return OpenOutcome::kOpened;
        }
        close(created);  // made meanwhile, and no regular file: opened again for what it is
    }
    return OpenOutcome::kNotOpened;
}

// A device (/dev/null, a terminal) holds no content that appenders share,
// and its lock is one for the whole system: it is not taken, so that
// unrelated programs never wait for each other there.
bool try_lock_for_append(const AppendHandle& handle) {
    return is_device(handle.descriptor) ||
           retrying([&] { return flock(handle.descriptor, LOCK_EX | LOCK_NB); }) == 0 || errno != EWOULDBLOCK;
}

void lock_for_append(const AppendHandle& handle) {
    if (!is_device(handle.descriptor)) retrying([&] { return flock(handle.descriptor, LOCK_EX); });
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
        if (wrote > 0)
            written += static_cast<std::size_t>(wrote);
        else if (wrote == 0 || errno != EAGAIN || !wait_until_writable(handle))
            break;
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

// The system names the file a descriptor holds, links resolved; without
// that, path's own folder is taken.
bool folder_of(const AppendHandle& handle, const char* path, FolderPath& folder) {
    std::array<char, 32> link{};
    std::snprintf(link.data(), link.size(), "/proc/self/fd/%d", handle.descriptor);
    const ssize_t length = readlink(link.data(), folder.data(), folder.size() - 1);
    if (length > 0 && length < static_cast<ssize_t>(folder.size()) - 1 && folder[0] == '/')
        folder[static_cast<std::size_t>(length)] = '\0';
    else if (std::snprintf(folder.data(), folder.size(), "%s", path) >= static_cast<int>(folder.size()))
        return false;
    cut_to_folder(folder);
    return true;
}

void flush_folder_of(const AppendHandle& handle, const char* path) {
    FolderPath folder{};
    if (!folder_of(handle, path, folder)) return;
    const int descriptor = retrying([&] { return open(folder.data(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (descriptor < 0) return;
    retrying([&] { return fsync(descriptor); });
    close(descriptor);
}
