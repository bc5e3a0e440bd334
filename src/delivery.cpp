#include "delivery.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "append_file.h"
#include "console.h"
#include "host.h"

namespace {

// "Waiting for <what> <path>", shown at once.
void announce_wait(const char* what, const char* path) {
    say("Waiting for %s %s\n", what, path);
    std::fflush(stdout);
}

// The lines as one console text: without the line end of the last.
int length_without_line_end(std::span<const char> lines) {
    const std::string_view text(lines.data(), lines.size());
    const std::size_t length = text.ends_with(kLineEnd) ? text.size() - kLineEndLength : text.size();
    return static_cast<int>(std::min<std::size_t>(length, INT32_MAX));
}

struct LineCount {
    int64_t lines;      // an unterminated last line included
    bool unterminated;  // the last line has no line end
    bool readToEnd;
};

LineCount count_lines(std::FILE* file) {
    static std::array<char, 65536> block;
    LineCount count{0, false, true};
    for (std::size_t got = 0; (got = std::fread(block.data(), 1, block.size(), file)) > 0;) {
        count.lines += std::count(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(got), '\n');
        count.unterminated = block[got - 1] != '\n';
    }
    count.readToEnd = std::ferror(file) == 0;
    count.lines += count.unterminated ? 1 : 0;
    return count;
}

// How many lines a regular file holds, and whether the run would end its
// last line first.
void describe_regular_file(const char* path) {
    std::FILE* file = nullptr;
    const InputKind kind = open_input(path, false, file);
    const LineCount count = kind == InputKind::kRegular ? count_lines(file) : LineCount{0, false, false};
    if (file != nullptr) std::fclose(file);
    if (!count.readToEnd) {
        say("%s cannot be read: the run would put a line end before its lines\n", path);
        return;
    }
    say("%s holds %lld line%s%s\n", path, static_cast<long long>(count.lines), count.lines == 1 ? "" : "s",
        count.unterminated ? ", the last without a line end: the run would end it first" : "");
}

void describe_target(const char* path, const AppendTarget& target) {
    if (!target.exists)
        say("%s does not exist yet: the run would create it\n", path);
    else if (target.regular)
        describe_regular_file(path);
    else
        say("%s is a %s: the lines would go to %s\n", path, target.fifo ? "FIFO" : "device",
            target.fifo ? "the program that reads it" : "it");
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
    if (lock == LockOutcome::kGaveUp) {
        say("Not written to %s: %.*s\n", path, length_without_line_end(lines), lines.data());
        return false;
    }
    if (lock != LockOutcome::kLocked) {
        say("Failed to open %s for output - %s\n", path, then);
        return false;
    }
    open_report_window();
    const AppendResult result = append_locked(path, handle, lines);
    if (result.remaining > 0)
        say("Could not put %s back as it was: %lld bytes of this run %s\n", path,
            static_cast<long long>(result.remaining), result.regular ? "remain in it" : "went out to it");
    if (!result.written) say("Failed to write %s - %s\n", path, then);
    return result.written;
}

bool preview_delivery(const char* path, bool waitForReader, const char* then, bool describe) {
    const AppendTarget target = look_at_append_target(path);
    if (!target.openable || (target.awaitsReader && !waitForReader)) {
        say("Failed to open %s for output - %s\n", path, then);
        return false;
    }
    if (describe) describe_target(path, target);
    if (target.awaitsReader) say("No program reads %s yet: the run would wait for one\n", path);
    if (target.lockedElsewhere) say("Another program holds the lock on %s: the run would wait for it\n", path);
    return true;
}
