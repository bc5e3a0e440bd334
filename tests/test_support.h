// Helpers shared by the tests: temporary folders, whole-file reads and
// writes, and running the built brisvel executable.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "candidate.h"
#include "kernels.h"

// The host the tested executable was built for decides the line end that
// its text-mode writes produce and its directory separator.
#ifdef BRISVEL_WINDOWS_HOST
inline constexpr bool kWindowsHost = true;
#else
inline constexpr bool kWindowsHost = false;
#endif
#ifdef BRISVEL_EMULATED_WINE
inline constexpr bool kEmulatedWine = true;  // one Windows program at a time
#else
inline constexpr bool kEmulatedWine = false;
#endif
inline const std::string kNewline = kWindowsHost ? "\r\n" : "\n";
inline constexpr char kSeparator = kWindowsHost ? '\\' : '/';

// text with every "\n" as the tested executable writes it.
std::string host_text(const std::string& text);

// name in directory, joined as the tested executable joins them.
std::string host_path(const std::string& directory, const std::string& name);

// An absolute path of this test's as the tested executable names it.
std::string host_folder(const std::string& path);

// A relative path that the tested executable printed, as this test sees it.
std::string local_path(const std::string& hostPath);

// The program name that the tested executable is given.
std::string invoked_name();

// In an expected text, the system's words for why a call failed: any text
// up to the end of its line.
inline const std::string kAnyReason = "<reason>";

// Whether text is expected, where each kAnyReason stands for any text
// without a newline.
bool matches(const std::string& text, const std::string& expected);

// A fresh, empty folder that is removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void write_file(const std::string& path, const std::string& bytes);

// A file of UTF-16 code units in the byte order that bigEndian says, after
// its byte-order mark: text as Windows PowerShell saves it.
std::string utf16_file(std::u16string_view units, bool bigEndian);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);
// Makes a socket file at path, which no program listens on.
void make_socket(const std::string& path);
// The file's bytes, or nullopt when there is no such file.
std::optional<std::string> contents_if_any(const std::string& path);
// The names in a folder, sorted.
std::vector<std::string> list_dir(const std::string& path);

// A stream that reads bytes from the start; closed by the caller.
std::FILE* stream_with(const std::string& bytes);

// A stream that yields bytes and then fails, as a disk read error does;
// bytes must outlive it, and is emptied as it is read.
std::FILE* stream_failing_after(std::string& bytes);

std::vector<Candidate> entries_of(const CandidateTable& table);

// Every kernel that this processor can run.
std::vector<Kernel> runnable_kernels();

// The readers use kernel while this lives, and the kernel chosen before
// once it is gone.
class ForcedKernel {
public:
    explicit ForcedKernel(Kernel kernel) : before_(chosen_kernel()) { choose_kernel(kernel); }
    ~ForcedKernel() { choose_kernel(before_); }
    ForcedKernel(const ForcedKernel&) = delete;
    ForcedKernel& operator=(const ForcedKernel&) = delete;

private:
    Kernel before_;
};

struct RunResult {
    int status;  // exit status, or -1 when the process did not exit normally
    std::string out;
    std::string err;
    int signal = 0;  // the signal that ended the process, 0 when it exited
};

struct RunOptions {
    long long fileSizeLimit = -1;  // bytes a process may write into a file; -1 for none
    long long openFileLimit = -1;  // descriptors a process may hold open; -1 for no limit
    bool failingFlush = false;     // fsync fails with EIO in the process (a seccomp filter)
    bool noArguments = false;      // start with an empty argument list, not even a name
    int closedStream = -1;         // start with this standard descriptor closed
    bool unprivileged = false;     // start as a user without root's rights (nobody, when the test is root)
    int heldSignal = 0;            // start with this signal blocked and pending, as a parent may leave it
    // Standard output a pipe of one page that holds this many bytes already
    // and that nobody reads until the run ends; 0: an ordinary pipe.
    std::size_t stalledStdoutFill = 0;
    std::string program;           // run this program instead of brisvel (under the same launcher)
    std::vector<std::pair<std::string, std::string>> environment;  // variables to set
};

// Runs the built brisvel in folder workDir with the arguments after the
// program name; the program name passed is "brisvel".
RunResult run_brisvel(const std::string& workDir, const std::vector<std::string>& args,
                      const RunOptions& options = {});

// A run of brisvel that has been started and not yet waited for.
struct StartedRun {
    int pid;
    int outFd;
    int errFd;
};

// run_brisvel in two halves, so that several runs can go on at once.
StartedRun start_brisvel(const std::string& workDir, const std::vector<std::string>& args,
                         const RunOptions& options = {});
RunResult finish_brisvel(const StartedRun& run);

// Reads from fd until what was read ends in text (with no text: until the
// end), or until nothing came for ten seconds, and returns it. Read from a run's output, it is no longer in what
// finish_brisvel returns.
std::string read_until(int fd, const std::string& text = "");

bool operator==(const Candidate& a, const Candidate& b);
void PrintTo(const Candidate& c, std::ostream* os);
