#include "delivery.h"

#include <cstdio>

#include "append_file.h"

namespace {

// "Waiting for <what> <path>", shown at once.
void announce_wait(const char* what, const char* path) {
    std::printf("Waiting for %s %s\n", what, path);
    std::fflush(stdout);
}

}  // namespace

bool deliver_lines(const char* path, std::span<const char> lines, bool waitForReader, const char* then) {
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
    if (lock != LockOutcome::kLocked) {
        std::printf("Failed to open %s for output - %s\n", path, then);
        return false;
    }
    open_report_window();
    const AppendResult result = append_locked(path, handle, lines);
    if (result.remaining > 0)
        std::printf("Could not put %s back as it was: %lld bytes of this run %s\n", path,
                    static_cast<long long>(result.remaining), result.regular ? "remain in it" : "went out to it");
    if (!result.written) std::printf("Failed to write %s - %s\n", path, then);
    return result.written;
}
