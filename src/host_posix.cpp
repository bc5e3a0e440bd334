#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host.h"

static_assert(kWholePipeWrite <= PIPE_BUF, "a piece of that size must reach a FIFO whole");

namespace {

constexpr mode_t kNewFileMode = 0666;  // as fopen creates files; the umask applies
// How long a write that cannot go on waits before it looks for a held signal.
constexpr int kStalledWriteCheckMs = 200;
// Links followed one after the other, as Linux follows them.
constexpr int kMaxLinks = 40;

// Why the last call failed, as errno said then, or that a FIFO has no
// reader.
int lastFailure = 0;
constexpr int kNoReaderFailure = -1;

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

// A stream that reads descriptor, for the caller to close; nullptr, the
// descriptor closed, when there is none.
std::FILE* stream_of(int descriptor) {
    std::FILE* file = descriptor < 0 ? nullptr : fdopen(descriptor, "rb");
    if (file == nullptr && descriptor >= 0) close(descriptor);
    return file;
}

// Waits until the descriptor takes bytes again; false once a signal that
// would end the process is held while it takes none.
bool wait_until_writable(int descriptor) {
    pollfd ready{descriptor, POLLOUT, 0};
    int got = 0;
    while ((got = retrying([&] { return poll(&ready, 1, kStalledWriteCheckMs); })) == 0) {
        if (!ending_signal_held()) continue;
        errno = EINTR;
        return false;
    }
    return got > 0;
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

// The signals that were held before the run held them: the starting
// program's, which the run leaves alone.
sigset_t maskBeforeHolding;
bool holding = false;

// Console text goes out in pieces small enough that a console which says
// it takes bytes takes them without a wait.
constexpr std::size_t kConsolePiece = 256;
// A wait that asks again and again pauses this long between asks.
constexpr int kPauseMs = 50;

}  // namespace

bool to_local_time(std::time_t time, std::tm& local) { return localtime_r(&time, &local) != nullptr; }

// Other hosts' consoles show UTF-8 as it is.
void begin_console() {}

void end_console() {}

bool prepare_process() {
    if (!standard_descriptors_open()) return false;
    signal(SIGXFSZ, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
    return true;
}

void hold_signals() {
    if (holding) return;
    std::fflush(stdout);
    sigset_t held;
    sigfillset(&held);
    holding = sigprocmask(SIG_BLOCK, &held, &maskBeforeHolding) == 0;
}

void release_signals() {
    if (holding) sigprocmask(SIG_SETMASK, &maskBeforeHolding, nullptr);
    holding = false;
    std::fflush(stdout);
}

bool signals_held() { return holding; }

bool ending_signal_held() {
    sigset_t pending;
    if (!holding || sigpending(&pending) != 0) return false;
    for (int number = 1; number < NSIG; ++number)
        if (sigismember(&pending, number) == 1 && sigismember(&maskBeforeHolding, number) == 0 &&
            would_end_process(number))
            return true;
    return false;
}

void write_to_console(std::span<const char> text) {
    for (std::size_t written = 0; written < text.size() && wait_until_writable(STDOUT_FILENO);) {
        const std::size_t piece = std::min(kConsolePiece, text.size() - written);
        const ssize_t wrote = retrying([&] { return write(STDOUT_FILENO, text.data() + written, piece); });
        if (wrote <= 0) return;
        written += static_cast<std::size_t>(wrote);
    }
}

void remember_failure() { lastFailure = errno; }

bool failure_was_missing() { return lastFailure == ENOENT; }

void describe_failure(std::span<char> text) {
    std::snprintf(text.data(), text.size(), "%s",
                  lastFailure == kNoReaderFailure ? "no program reads this FIFO" : std::strerror(lastFailure));
}

std::FILE* open_input(const char* path) {
    std::FILE* file = stream_of(retrying([&] { return open(path, O_RDONLY | O_CLOEXEC); }));
    if (file == nullptr) remember_failure();
    return file;
}

// One open, which the descriptor then classifies. What the name shows only
// chooses the access: a regular file, or none yet (made here, through
// links: the file they name), is opened for reading too, so that its last
// byte is read through the handle the lines go through; anything else for
// writing alone, as fopen's "a" opens it, since a FIFO opened for reading
// too would be a reader of its own. A name whose kind changed between the
// look and the open is kChanged; a preview's look opens nothing but what
// showed as a regular file. Every write then goes without blocking, so
// that it can look for held signals while it waits.
OpenOutcome open_for_append(const char* path, OpenFor purpose, AppendHandle& handle) {
    const bool look = purpose == OpenFor::kLook;
    const FileKind named = kind_at(path);
    const bool regular = named == FileKind::kNone || named == FileKind::kRegular;
    if (look && named != FileKind::kRegular) return OpenOutcome::kChanged;
    const int create = look ? 0 : O_CREAT;
    int descriptor = regular ? open_retrying(path, O_RDWR | create | O_NONBLOCK) : -1;
    const bool readable = descriptor >= 0;
    // A regular file that this user may write but not read is written alone.
    const int waits = purpose == OpenFor::kAppendWaitingForReader ? 0 : O_NONBLOCK;
    if (descriptor < 0 && (!regular || errno == EACCES))
        descriptor = open_retrying(path, O_WRONLY | (regular ? create | O_NONBLOCK : waits));
    if (descriptor < 0) {
        // A socket refuses the open as a FIFO without a reader does.
        const bool noReader = errno == ENXIO && named == FileKind::kFifo;
        lastFailure = noReader ? kNoReaderFailure : errno;
        return noReader ? OpenOutcome::kNoReader : OpenOutcome::kNotOpened;
    }
    if (is_regular(descriptor) != regular) {
        close(descriptor);
        return OpenOutcome::kChanged;
    }
    fcntl(descriptor, F_SETFL, O_APPEND | O_NONBLOCK);
    handle = {descriptor, readable, named == FileKind::kNone};
    return OpenOutcome::kOpened;
}

std::FILE* read_stream(const AppendHandle& handle) { return stream_of(fcntl(handle.descriptor, F_DUPFD_CLOEXEC, 0)); }

// A device (/dev/null, a terminal) holds no content that appenders share,
// and its lock is one for the whole system: it is not taken, so that
// unrelated programs never wait for each other there.
bool try_lock_for_append(const AppendHandle& handle) {
    return is_device(handle.descriptor) ||
           retrying([&] { return flock(handle.descriptor, LOCK_EX | LOCK_NB); }) == 0 || errno != EWOULDBLOCK;
}

void pause_briefly() { poll(nullptr, 0, kPauseMs); }

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

int64_t append_bytes(const AppendHandle& handle, std::span<const char> bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t wrote =
            retrying([&] { return write(handle.descriptor, bytes.data() + written, bytes.size() - written); });
        if (wrote > 0) {
            written += static_cast<std::size_t>(wrote);
        } else if (wrote == 0 || errno != EAGAIN || !wait_until_writable(handle.descriptor)) {
            remember_failure();
            break;
        }
    }
    return static_cast<int64_t>(written);
}

bool flush_to_storage(const AppendHandle& handle, bool regular) {
    if (retrying([&] { return fsync(handle.descriptor); }) == 0) return true;
    remember_failure();
    return !regular && (errno == EINVAL || errno == ENOTSUP);
}

bool cut_to(const AppendHandle& handle, int64_t size) {
    return retrying([&] { return ftruncate(handle.descriptor, static_cast<off_t>(size)); }) == 0;
}

void close_append_handle(const AppendHandle& handle) { close(handle.descriptor); }

// Through links to a file not there yet, the last target's folder: each
// link names the file it is read from or would be made, relative to its
// own folder unless its target starts at the root.
bool folder_of(const char* path, FolderPath& folder) {
    const int size = static_cast<int>(folder.size());
    if (std::snprintf(folder.data(), folder.size(), "%s", path) >= size) return false;
    for (int link = 0; link < kMaxLinks; ++link) {
        FolderPath target{};
        const ssize_t length = readlink(folder.data(), target.data(), target.size() - 1);
        if (length <= 0) break;
        if (length >= size - 1) return false;
        FolderPath linkFolder = folder;
        cut_to_folder(linkFolder);
        if (target[0] == '/')
            folder = target;
        else if (std::snprintf(folder.data(), folder.size(), "%s/%s", linkFolder.data(), target.data()) >= size)
            return false;
    }
    cut_to_folder(folder);
    return true;
}

void flush_folder_of(const char* path) {
    FolderPath folder{};
    if (!folder_of(path, folder)) return;
    const int descriptor = retrying([&] { return open(folder.data(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (descriptor < 0) return;
    retrying([&] { return fsync(descriptor); });
    close(descriptor);
}

// What cannot be appended to leaves the reason an open would give.
FileKind kind_at(const char* path) {
    struct stat status {};
    if (stat(path, &status) != 0) {
        remember_failure();
        return errno == ENOENT ? FileKind::kNone : FileKind::kOther;
    }
    if (S_ISREG(status.st_mode)) return FileKind::kRegular;
    if (S_ISFIFO(status.st_mode)) return FileKind::kFifo;
    if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) return FileKind::kDevice;
    errno = S_ISDIR(status.st_mode) ? EISDIR : ENXIO;
    remember_failure();
    return S_ISDIR(status.st_mode) ? FileKind::kFolder : FileKind::kOther;
}

bool may_write(const char* path) {
    if (access(path, W_OK) == 0) return true;
    remember_failure();
    return false;
}

void current_folder(FolderPath& folder) {
    if (getcwd(folder.data(), folder.size()) == nullptr) std::snprintf(folder.data(), folder.size(), ".");
}

// access() lets root in anywhere; a file system that holds no blocks, as
// the kernel's own that show processes and devices, may still make no file.
Creation may_create(const char* path) {
    FolderPath folder{};
    if (!folder_of(path, folder)) {
        errno = ENAMETOOLONG;
    } else if (const FileKind kind = kind_at(folder.data()); kind != FileKind::kFolder) {
        errno = kind == FileKind::kNone ? ENOENT : ENOTDIR;
    } else if (access(folder.data(), W_OK | X_OK) == 0) {
        struct statvfs room {};
        return statvfs(folder.data(), &room) == 0 && room.f_blocks > 0 ? Creation::kAllowed : Creation::kUnknown;
    }
    remember_failure();
    return Creation::kRefused;
}
