#include "test_support.h"

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <iterator>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "brisvel-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string utf16_file(std::u16string_view units, bool bigEndian) {
    std::string file = bigEndian ? "\xfe\xff" : "\xff\xfe";
    for (const char16_t unit : units) {
        const auto high = static_cast<char>(unit >> 8);
        const auto low = static_cast<char>(unit & 0xff);
        file += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return file;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool file_exists(const std::string& path) { return fs::exists(fs::symlink_status(path)); }

void make_socket(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) throw std::runtime_error("socket path too long: " + path);
    path.copy(address.sun_path, path.size());
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    const bool made = listener >= 0 && bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (listener >= 0) close(listener);
    if (!made) throw std::runtime_error("cannot make a socket at " + path);
}

std::optional<std::string> contents_if_any(const std::string& path) {
    return file_exists(path) ? std::optional(read_file(path)) : std::nullopt;
}

std::vector<std::string> list_dir(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::FILE* stream_with(const std::string& bytes) {
    std::FILE* stream = std::tmpfile();
    if (stream == nullptr) throw std::runtime_error("tmpfile failed");
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::rewind(stream);
    return stream;
}

std::FILE* stream_failing_after(std::string& bytes) {
    cookie_io_functions_t calls{};
    calls.read = [](void* cookie, char* buffer, std::size_t size) -> ssize_t {
        auto* left = static_cast<std::string*>(cookie);
        if (left->empty()) return -1;
        const std::size_t taken = std::min(size, left->size());
        std::memcpy(buffer, left->data(), taken);
        left->erase(0, taken);
        return static_cast<ssize_t>(taken);
    };
    return fopencookie(&bytes, "r", calls);
}

std::string host_text(const std::string& text) {
    std::string translated;
    for (const char c : text) translated += c == '\n' ? kNewline : std::string(1, c);
    return translated;
}

std::string host_path(const std::string& directory, const std::string& name) {
    return directory + kSeparator + name;
}

bool matches(const std::string& text, const std::string& expected) {
    const std::size_t reason = expected.find(kAnyReason);
    if (reason == std::string::npos) return text == expected;
    if (text.compare(0, reason, expected, 0, reason) != 0) return false;
    const std::size_t lineEnd = text.find('\n', reason);
    const std::size_t rest = expected.find('\n', reason);
    if (lineEnd == std::string::npos || rest == std::string::npos || lineEnd == reason) return false;
    // The reason is the rest of the line, whatever line end the host writes.
    const std::size_t reasonEnd = text[lineEnd - 1] == '\r' && expected[rest - 1] == '\r' ? lineEnd - 1 : lineEnd;
    return matches(text.substr(reasonEnd), expected.substr(reason + kAnyReason.size()));
}

std::string host_folder(const std::string& path) {
    if (!kWindowsHost) return path;
    std::string folder = "Z:" + path;  // Wine's drive of the root
    std::replace(folder.begin(), folder.end(), '/', '\\');
    return folder;
}

std::string local_path(const std::string& hostPath) {
    std::string path = hostPath;
    if (kWindowsHost) std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string invoked_name() {
#ifdef BRISVEL_LAUNCHER
    // Wine hands a program its own path, on the drive that maps the root.
    std::string name = "Z:" + fs::absolute(BRISVEL_EXECUTABLE).string();
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
#else
    return "brisvel";
#endif
}

std::vector<Kernel> runnable_kernels() {
    std::vector<Kernel> kernels;
    for (int kernel = 0; kernel <= static_cast<int>(fastest_kernel()); ++kernel)
        kernels.push_back(static_cast<Kernel>(kernel));
    return kernels;
}

std::vector<Candidate> entries_of(const CandidateTable& table) {
    return {table.entries.begin(), table.entries.begin() + table.count};
}

namespace {

void set_limit(int resource, long long value) {
    if (value < 0) return;
    const rlimit limit{static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
    setrlimit(resource, &limit);
}

// From here on, and in what this process executes, fsync fails with EIO.
void fail_fsync() {
#if defined(__x86_64__)
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_fsync, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0)
        return;
#endif
    _exit(125);
}

// Standard output, a pipe, holds one page, of which it has bytes already.
void fill_standard_output(std::size_t bytes) {
    const std::string fill(bytes, '.');
    if (fcntl(STDOUT_FILENO, F_SETPIPE_SZ, 4096) < 0 ||
        write(STDOUT_FILENO, fill.data(), fill.size()) != static_cast<ssize_t>(fill.size()))
        _exit(124);
}

[[noreturn]] void exec_child(const std::string& workDir, const std::vector<std::string>& args,
                             const RunOptions& options, int outFd, int errFd) {
    if (dup2(outFd, STDOUT_FILENO) < 0 || dup2(errFd, STDERR_FILENO) < 0 || chdir(workDir.c_str()) != 0)
        _exit(126);
    close_range(3, ~0U, 0);  // the child starts with standard streams only
    constexpr uid_t kNobody = 65534;
    if (options.unprivileged && geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(123);
    if (options.closedStream >= 0) close(options.closedStream);
#ifdef BRISVEL_WINE_PREFIX
    setenv("WINEPREFIX", BRISVEL_WINE_PREFIX, 1);
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
    // Windows knows no file-size signal, so brisvel.exe cannot ignore it
    // itself; under Wine it is ignored for it, as Windows would never send it.
    signal(SIGXFSZ, SIG_IGN);
#else
    signal(SIGXFSZ, SIG_DFL);  // the tool must ignore it itself
#endif
    // As a shell starts a program: no signal ignored or blocked that the
    // tool does not ignore or block itself.
    for (const int number : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE}) signal(number, SIG_DFL);
    sigset_t held;
    sigemptyset(&held);
    if (options.heldSignal != 0) sigaddset(&held, options.heldSignal);
    sigprocmask(SIG_SETMASK, &held, nullptr);
    if (options.heldSignal != 0) kill(getpid(), options.heldSignal);
    if (options.stalledStdoutFill > 0) fill_standard_output(options.stalledStdoutFill);
    for (const auto& [name, value] : options.environment) setenv(name.c_str(), value.c_str(), 1);
    set_limit(RLIMIT_FSIZE, options.fileSizeLimit);
    set_limit(RLIMIT_NOFILE, options.openFileLimit);
    set_limit(RLIMIT_CORE, 0);  // a run ended by SIGABRT leaves no core file behind
    if (options.failingFlush) fail_fsync();
    std::vector<std::string> words;
    const std::string tested = options.program.empty() ? BRISVEL_EXECUTABLE : options.program;
#ifdef BRISVEL_LAUNCHER
    words = {BRISVEL_LAUNCHER, tested};
    const char* program = BRISVEL_LAUNCHER;
#else
    if (!options.noArguments) words = {"brisvel"};
    const char* program = tested.c_str();
#endif
    if (!options.noArguments) words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    execv(program, argv.data());
    _exit(127);
}

// Reads both pipes until the child has closed them, so that neither can
// fill up and stall it.
// A run that stays silent this long hangs: it is killed, and so fails its
// test instead of stopping the suite.
constexpr int kHangMs = 60000;

void drain(int pid, int outFd, int errFd, std::string& out, std::string& err) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    int open = 2;
    for (int ready = 0; open > 0 && (ready = poll(fds, 2, kHangMs)) >= 0;) {
        if (ready == 0) kill(pid, SIGKILL);
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

}  // namespace

StartedRun start_brisvel(const std::string& workDir, const std::vector<std::string>& args,
                         const RunOptions& options) {
    int outPipe[2];
    int errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) throw std::runtime_error("pipe failed");
    const pid_t child = fork();
    if (child == 0) exec_child(workDir, args, options, outPipe[1], errPipe[1]);
    close(outPipe[1]);
    close(errPipe[1]);
    return {child, outPipe[0], errPipe[0]};
}

RunResult finish_brisvel(const StartedRun& run) {
    RunResult result{-1, "", ""};
    drain(run.pid, run.outFd, run.errFd, result.out, result.err);
    int waitStatus = 0;
    waitpid(run.pid, &waitStatus, 0);
    if (WIFEXITED(waitStatus)) result.status = WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus)) result.signal = WTERMSIG(waitStatus);
#ifdef BRISVEL_WINE_PREFIX
    // A record of the runs, so that the suite can show how often Wine ran the program.
    std::ofstream(BRISVEL_WINE_PREFIX ".runs", std::ios::app) << result.status << "\n";
#endif
    return result;
}

std::string read_until(int fd, const std::string& text) {
    constexpr int kPatienceMs = 10000;
    std::string got;
    char byte = '\0';
    pollfd ready{fd, POLLIN, 0};
    while ((text.empty() || !got.ends_with(text)) && poll(&ready, 1, kPatienceMs) == 1 && read(fd, &byte, 1) == 1)
        got += byte;
    return got;
}

RunResult run_brisvel(const std::string& workDir, const std::vector<std::string>& args,
                      const RunOptions& options) {
    return finish_brisvel(start_brisvel(workDir, args, options));
}

bool operator==(const Candidate& a, const Candidate& b) { return a.k == b.k && a.n == b.n; }

void PrintTo(const Candidate& c, std::ostream* os) { *os << "(" << c.k << ", " << c.n << ")"; }
