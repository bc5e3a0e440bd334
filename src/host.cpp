#include "host.h"

#include <cstdio>

#ifdef _WIN32

#include <windows.h>

#include <atomic>

namespace {

// The code page to put back, 0 once it is back.
std::atomic<UINT> codePageToRestore{0};
std::atomic<bool> reportWindowOpen{false};

void put_code_page_back() {
    const UINT codePage = codePageToRestore.exchange(0);
    if (codePage != 0) SetConsoleOutputCP(codePage);
}

// Runs on the thread Windows starts for a console event, before the process
// ends: it waits while the report window is open, so that the files and the
// console agree, and leaves the console its user's code page. Then the next
// handler, in the end the one that ends the process, acts on the event.
BOOL WINAPI on_console_event(DWORD) {
    while (reportWindowOpen.load()) Sleep(10);
    put_code_page_back();
    return FALSE;
}

}  // namespace

bool to_local_time(std::time_t time, std::tm& local) { return localtime_s(&local, &time) == 0; }

void show_utf8_in_console(ConsoleOutput& console) {
    console = {0, false};
    DWORD mode = 0;
    if (!GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) return;
    console.previousCodePage = GetConsoleOutputCP();
    if (console.previousCodePage == CP_UTF8) return;
    // Stored first, so that no interrupt can find the code page changed and
    // nothing to put back.
    codePageToRestore.store(console.previousCodePage);
    console.changed = SetConsoleOutputCP(CP_UTF8) != 0;
    if (!console.changed) codePageToRestore.store(0);
}

void restore_console(const ConsoleOutput& console) {
    if (!console.changed) return;
    std::fflush(stdout);  // what was printed is shown while the console still reads UTF-8
    put_code_page_back();
}

// Windows sends no signal for a file-size limit or a closed pipe; a write
// there simply fails. The runtime marks a standard stream that the process
// was started without as open, on no file, so it never gives its number to
// a file the run opens.
bool prepare_process() {
    SetConsoleCtrlHandler(on_console_event, TRUE);
    return true;
}

void open_report_window(ReportWindow& window) {
    if (window.open) return;
    reportWindowOpen.store(true);
    window.open = true;
}

void close_report_window(ReportWindow& window) {
    std::fflush(stdout);
    window.open = false;
    reportWindowOpen.store(false);
}

// A console event waits for the window on a thread of its own; it never
// stops a write.
bool ending_signal_held() { return false; }

#else

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace {

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

}  // namespace

bool to_local_time(std::time_t time, std::tm& local) { return localtime_r(&time, &local) != nullptr; }

void show_utf8_in_console(ConsoleOutput& console) { console = {0, false}; }

void restore_console(const ConsoleOutput&) {}

bool prepare_process() {
    if (!standard_descriptors_open()) return false;
    signal(SIGXFSZ, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
    return true;
}

void open_report_window(ReportWindow& window) {
    if (window.open) return;
    sigset_t held;
    sigfillset(&held);
    window.open = sigprocmask(SIG_BLOCK, &held, &window.previousMask) == 0;
}

void close_report_window(ReportWindow& window) {
    std::fflush(stdout);
    if (window.open) sigprocmask(SIG_SETMASK, &window.previousMask, nullptr);
    window.open = false;
}

bool ending_signal_held() {
    sigset_t pending;
    if (sigpending(&pending) != 0) return false;
    for (int number = 1; number < NSIG; ++number)
        if (sigismember(&pending, number) == 1 && would_end_process(number)) return true;
    return false;
}

#endif
