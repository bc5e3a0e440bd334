#include "append_report.h"

#include <cstdio>

#include "append_file.h"

AppendOutcome append_reporting(const char* path, std::span<const char> lines, ReportWindow& window) {
    AppendHandle handle{};
    LockOutcome lock = open_locked(path, handle);
    if (lock == LockOutcome::kBusy) {
        std::printf("Waiting for another program to finish with %s\n", path);
        std::fflush(stdout);
        lock = wait_for_append_lock(path, handle);
    }
    if (lock == LockOutcome::kNotOpened) return AppendOutcome::kNotOpened;
    open_report_window(window);
    const AppendResult result = append_locked(path, handle, lines);
    if (result.remaining > 0)
        std::printf("Could not put %s back as it was: %lld bytes of this run remain in it\n", path,
                    static_cast<long long>(result.remaining));
    return result.written ? AppendOutcome::kAppended : AppendOutcome::kNotWritten;
}
