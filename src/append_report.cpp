#include "append_report.h"

#include <cstdio>

#include "append_file.h"

namespace {

// "Waiting for <what> <path>", shown at once.
void announce_wait(const char* what, const char* path) {
    std::printf("Waiting for %s %s\n", what, path);
    std::fflush(stdout);
}

}  // namespace

AppendOutcome append_reporting(const char* path, std::span<const char> lines, bool waitForReader,
                               ReportWindow& window) {
    AppendHandle handle{};
    LockOutcome lock = open_locked(path, false, handle);
    if (lock == LockOutcome::kNoReader && waitForReader) {
        announce_wait("a program to read", path);
        lock = open_locked(path, true, handle);
    }
    if (lock == LockOutcome::kBusy) {
        announce_wait("another program to finish with", path);
        lock = wait_for_append_lock(path, handle);
    }
    if (lock != LockOutcome::kLocked) return AppendOutcome::kNotOpened;
    open_report_window(window);
    const AppendResult result = append_locked(path, handle, lines);
    if (result.remaining > 0)
        std::printf(result.regular ? "Could not put %s back as it was: %lld bytes of this run remain in it\n"
                                   : "Could not put %s back as it was: %lld bytes of this run went out to it\n",
                    path, static_cast<long long>(result.remaining));
    return result.written ? AppendOutcome::kAppended : AppendOutcome::kNotWritten;
}
