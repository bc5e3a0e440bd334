#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/uio.h>
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

// The kind of file that path names now, links followed; 0 when none.
mode_t kind_at(const char* path) {
    struct stat status {};
    return stat(path, &status) == 0 ? status.st_mode & S_IFMT : 0;
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

// A regular file, opened once for reading and appending; -1, with errno
// set, when it cannot be, or EAGAIN when path no longer names a regular
// file by the time it is open.
int open_regular_readable(const char* path) {
    const int both = open_retrying(path, O_RDWR | O_NONBLOCK);
    if (both < 0 || is_regular(both)) return both;
    close(both);
    errno = EAGAIN;
    return -1;
}

// Waits until the descriptor takes bytes again; false once a signal that
// would end the process is held while it takes none.
bool wait_until_writable(int descriptor) {
    pollfd ready{descriptor, POLLOUT, 0};
    int got = 0;
    while ((got = retrying([&] { return poll(&ready, 1, kStalledWriteCheckMs); })) == 0)
        if (ending_signal_held()) return false;
    return got > 0;
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

// The signals that were held before the report window opened: the
// starting program's, which the run leaves alone.
sigset_t maskBeforeWindow;
bool windowOpen = false;

// Console text goes out in pieces small enough that a console which says
// it takes bytes takes them without a wait.
constexpr std::size_t kConsolePiece = 256;
// A wait that asks again and again pauses this long between asks.
constexpr int kPauseMs = 50;

// The folder a file at path would be created in: through a link to a file
// not there yet, the target's. False when the path does not fit.
bool creation_folder(const char* path, FolderPath& folder) {
    FolderPath target{};
    const ssize_t length = readlink(path, target.data(), target.size() - 1);
    const int size = static_cast<int>(folder.size());
    if (length <= 0 || length >= size - 1) {
        if (std::snprintf(folder.data(), folder.size(), "%s", path) >= size) return false;
    } else if (target[0] == '/') {
        folder = target;
    } else {
        FolderPath linkFolder{};
        if (std::snprintf(linkFolder.data(), linkFolder.size(), "%s", path) >= size) return false;
        cut_to_folder(linkFolder);
        if (std::snprintf(folder.data(), folder.size(), "%s/%s", linkFolder.data(), target.data()) >= size)
            return false;
    }
    cut_to_folder(folder);
    return true;
}

bool can_create(const char* path) {
    FolderPath folder{};
    return creation_folder(path, folder) && S_ISDIR(kind_at(folder.data())) &&
           access(folder.data(), W_OK | X_OK) == 0;
}

// Small text files of the system, read whole into text; false when they
// cannot be.
template <std::size_t N>
bool read_small_file(const char* path, std::array<char, N>& text) {
    const int descriptor = retrying([&] { return open(path, O_RDONLY | O_CLOEXEC); });
    if (descriptor < 0) return false;
    const ssize_t length = retrying([&] { return read(descriptor, text.data(), N - 1); });
    close(descriptor);
    text[static_cast<std::size_t>(std::max<ssize_t>(length, 0))] = '\0';
    return length > 0;
}

// Whether the descriptor a process holds, named in /proc, reads the file.
bool reads_file(const char* process, const char* descriptor, const struct stat& file) {
    std::array<char, 128> path{};
    const int size = static_cast<int>(path.size());
    struct stat held {};
    if (std::snprintf(path.data(), path.size(), "/proc/%s/fd/%s", process, descriptor) >= size ||
        stat(path.data(), &held) != 0 || held.st_dev != file.st_dev || held.st_ino != file.st_ino ||
        std::snprintf(path.data(), path.size(), "/proc/%s/fdinfo/%s", process, descriptor) >= size)
        return false;
    std::array<char, 512> info{};
    const char* flags = read_small_file(path.data(), info) ? std::strstr(info.data(), "flags:") : nullptr;
    return flags != nullptr && (std::strtoul(flags + 6, nullptr, 8) & O_ACCMODE) != O_WRONLY;
}

bool process_reads_file(const char* process, const struct stat& file) {
    std::array<char, 64> path{};
    if (std::snprintf(path.data(), path.size(), "/proc/%s/fd", process) >= static_cast<int>(path.size())) return false;
    DIR* descriptors = opendir(path.data());
    if (descriptors == nullptr) return false;
    bool reads = false;
    for (const dirent* entry = readdir(descriptors); entry != nullptr && !reads; entry = readdir(descriptors))
        reads = entry->d_name[0] != '.' && reads_file(process, entry->d_name, file);
    closedir(descriptors);
    return reads;
}

// Whether any process has the FIFO open for reading, as /proc shows the
// processes this user may look at; opening it to find out would change
// what its reader sees.
bool fifo_has_reader(const struct stat& fifo) {
    DIR* processes = opendir("/proc");
    if (processes == nullptr) return false;
    bool found = false;
    for (const dirent* entry = readdir(processes); entry != nullptr && !found; entry = readdir(processes))
        found = entry->d_name[0] >= '1' && entry->d_name[0] <= '9' && process_reads_file(entry->d_name, fifo);
    closedir(processes);
    return found;
}

// Whether another process holds a lock of flock's on the file, as
// /proc/locks shows: "1: FLOCK  ADVISORY  WRITE 2928 fe:00:10952716 0 EOF",
// a waiter's line having "->" in place of the kind.
bool flock_held_elsewhere(const struct stat& file) {
    std::FILE* locks = std::fopen("/proc/locks", "re");
    if (locks == nullptr) return false;
    std::array<char, 256> line{};
    bool held = false;
    while (!held && std::fgets(line.data(), static_cast<int>(line.size()), locks) != nullptr) {
        std::array<char, 16> kind{};
        unsigned int majorNumber = 0;
        unsigned int minorNumber = 0;
        unsigned long long inode = 0;
        held = std::sscanf(line.data(), "%*d: %15s %*s %*s %*d %x:%x:%llu", kind.data(), &majorNumber,
                           &minorNumber, &inode) == 4 &&
               std::strcmp(kind.data(), "FLOCK") == 0 && majorNumber == major(file.st_dev) &&
               minorNumber == minor(file.st_dev) && inode == file.st_ino;
    }
    std::fclose(locks);
    return held;
}

}  // namespace

bool to_local_time(std::time_t time, std::tm& local) { return localtime_r(&time, &local) != nullptr; }

// Other hosts' consoles show UTF-8 as it is.
void show_utf8_in_console() {}

void restore_console() {}

void explain_a_double_click() {}

bool prepare_process() {
    if (!standard_descriptors_open()) return false;
    signal(SIGXFSZ, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
    return true;
}

void open_report_window() {
    if (windowOpen) return;
    std::fflush(stdout);
    sigset_t held;
    sigfillset(&held);
    windowOpen = sigprocmask(SIG_BLOCK, &held, &maskBeforeWindow) == 0;
}

void close_report_window() {
    if (windowOpen) sigprocmask(SIG_SETMASK, &maskBeforeWindow, nullptr);
    windowOpen = false;
    std::fflush(stdout);
}

bool report_window_open() { return windowOpen; }

bool ending_signal_held() {
    sigset_t pending;
    if (!windowOpen || sigpending(&pending) != 0) return false;
    for (int number = 1; number < NSIG; ++number)
        if (sigismember(&pending, number) == 1 && sigismember(&maskBeforeWindow, number) == 0 &&
            would_end_process(number))
            return true;
    return false;
}

bool write_to_console(std::span<const char> text) {
    for (std::size_t written = 0; written < text.size();) {
        if (!wait_until_writable(STDOUT_FILENO)) return false;
        const std::size_t piece = std::min(kConsolePiece, text.size() - written);
        const ssize_t wrote = retrying([&] { return write(STDOUT_FILENO, text.data() + written, piece); });
        if (wrote <= 0) return false;
        written += static_cast<std::size_t>(wrote);
    }
    return true;
}

InputKind open_input(const char* path, bool waitForWriter, std::FILE*& file) {
    int descriptor = retrying([&] { return open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC); });
    if (descriptor < 0) return errno == ENOENT ? InputKind::kMissing : InputKind::kNotOpened;
    const mode_t kind = kind_of(descriptor);
    if (S_ISFIFO(kind) && waitForWriter) {
        close(descriptor);
        descriptor = retrying([&] { return open(path, O_RDONLY | O_CLOEXEC); });
        if (descriptor < 0) return InputKind::kNotOpened;
    }
    fcntl(descriptor, F_SETFL, 0);
    file = fdopen(descriptor, "rb");
    if (file == nullptr) {
        close(descriptor);
        return InputKind::kNotOpened;
    }
    return S_ISREG(kind) ? InputKind::kRegular : InputKind::kOther;
}

// A regular file is opened for reading and appending in one handle. Else
// write-only, and without waiting: a FIFO opened for reading too would be
// a reader of its own, and one that nobody reads yet is the caller's to
// wait for. Every write then goes without blocking, so that it can look for
// held signals while it waits.
OpenOutcome open_for_append(const char* path, bool waitForReader, AppendHandle& handle) {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        const bool lastAttempt = attempt + 1 == kOpenAttempts;
        const bool namedRegular = S_ISREG(kind_at(path));
        if (namedRegular) {
            const int both = open_regular_readable(path);
            if (both >= 0) {
                handle = {both, true, false};
                return OpenOutcome::kOpened;
            }
            if (errno == EAGAIN && !lastAttempt) continue;  // no longer a regular file: looked at again
        }
        const int writeOnly = open_retrying(path, O_WRONLY | (waitForReader ? 0 : O_NONBLOCK));
        if (writeOnly >= 0 && !namedRegular && is_regular(writeOnly) && !lastAttempt) {
            close(writeOnly);  // a regular file made meanwhile: opened again, to be read too
            continue;
        }
        if (writeOnly >= 0) {
            fcntl(writeOnly, F_SETFL, O_APPEND | O_NONBLOCK);
            handle = {writeOnly, false, false};
            return OpenOutcome::kOpened;
        }
        // A socket refuses the open as a FIFO without a reader does.
        if (errno == ENXIO) return S_ISFIFO(kind_at(path)) ? OpenOutcome::kNoReader : OpenOutcome::kNotOpened;
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

int64_t append_bytes(const AppendHandle& handle, std::span<const char> first, std::span<const char> second) {
    const std::size_t length = first.size() + second.size();
    std::size_t written = 0;
    while (written < length) {
        const std::array<iovec, 2> pieces = {rest_of(first, written),
                                             rest_of(second, written - std::min(written, first.size()))};
        const ssize_t wrote = retrying([&] { return writev(handle.descriptor, pieces.data(), 2); });
        if (wrote > 0)
            written += static_cast<std::size_t>(wrote);
        else if (wrote == 0 || errno != EAGAIN || !wait_until_writable(handle.descriptor))
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

AppendTarget look_at_append_target(const char* path) {
    struct stat named {};
    if (stat(path, &named) != 0) return {errno == ENOENT && can_create(path), false, true, false, false, false};
    const mode_t kind = named.st_mode & S_IFMT;
    if (S_ISDIR(kind) || S_ISSOCK(kind) || access(path, W_OK) != 0) return {false, true, false, false, false, false};
    const bool device = S_ISCHR(kind) || S_ISBLK(kind);
    return {true, true, S_ISREG(kind), S_ISFIFO(kind), S_ISFIFO(kind) && !fifo_has_reader(named),
            !device && flock_held_elsewhere(named)};
}
