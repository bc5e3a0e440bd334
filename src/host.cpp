#include "host.h"

#ifdef _WIN32

#include <windows.h>

#include <atomic>
#include <cstdio>

namespace {

// The code page to put back, 0 once it is back.
std::atomic<UINT> codePageToRestore{0};

void put_code_page_back() {
    const UINT codePage = codePageToRestore.exchange(0);
    if (codePage != 0) SetConsoleOutputCP(codePage);
}

// Runs on the thread Windows starts for Ctrl-C or a closing window, before
// the process ends: the console keeps the user's code page.
BOOL WINAPI restore_before_ending(DWORD) {
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
    // The handler comes first, so that no interrupt can find the code page
    // changed and nobody to put it back.
    codePageToRestore.store(console.previousCodePage);
    SetConsoleCtrlHandler(restore_before_ending, TRUE);
    console.changed = SetConsoleOutputCP(CP_UTF8) != 0;
    if (!console.changed) restore_console({console.previousCodePage, true});
}

void restore_console(const ConsoleOutput& console) {
    if (!console.changed) return;
    std::fflush(stdout);  // what was printed is shown while the console still reads UTF-8
    put_code_page_back();
    SetConsoleCtrlHandler(restore_before_ending, FALSE);
}

#else

bool to_local_time(std::time_t time, std::tm& local) { return localtime_r(&time, &local) != nullptr; }

void show_utf8_in_console(ConsoleOutput& console) { console = {0, false}; }

void restore_console(const ConsoleOutput&) {}

#endif
