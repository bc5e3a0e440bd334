#include "append_file.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "console.h"
#include "host.h"

namespace {

enum class LockOutcome {
    kLocked,     // the lock is held, on the file that path names
    kNotOpened,  // nothing was written
    kGaveUp,     // a signal that would end the run came while it waited; nothing was written
};

const char* then(const Destination& destination) { return destination.failureEndsRun ? "exiting" : "continuing"; }

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

// Opens the destination and takes its lock, saying where it waits. The
// lock is asked for again and again rather than waited for in the system's
// call, where a held signal could not end the wait. A file renamed over the
// path or a removal while the run waited leaves it holding a file that
// nobody reads: the path is opened again until the lock is on the file it
// names.
LockOutcome open_and_lock(const Destination& destination, AppendHandle& handle) {
    const char* path = destination.path;
    OpenOutcome opened = open_for_append(path, OpenFor::kAppend, handle);
    if (opened == OpenOutcome::kNoReader && destination.waitsForReader) {
        announce_wait("a program to read", path);
        opened = open_for_append(path, OpenFor::kAppendWaitingForReader, handle);
    }
    for (bool announced = false; opened == OpenOutcome::kOpened;
         opened = open_for_append(path, OpenFor::kAppend, handle)) {
        while (!try_lock_for_append(handle)) {
            if (!announced) announce_wait("another program to finish with", path);
            announced = true;
            if (ending_signal_held()) {
                close_append_handle(handle);
                return LockOutcome::kGaveUp;
            }
            pause_briefly();
        }
        if (path_names_handle(path, handle)) return LockOutcome::kLocked;
        close_append_handle(handle);
    }
    return LockOutcome::kNotOpened;
}

// The file as this run found it, once it held the lock.
struct FoundFile {
    FileFacts facts;
    bool unterminated;  // it has content whose last byte is not a newline
};

// A file whose last byte cannot be read gets a line end too: at worst an
// empty line, never a fused one.
FoundFile inspect(const AppendHandle& handle) {
    const FileFacts facts = file_facts(handle);
    if (facts.size <= 0) return {facts, false};
    char last = '\0';
    const bool known = handle.readable && read_byte_at(handle, facts.size - 1, last);
    return {facts, !known || last != '\n'};
}

// Takes this run's bytes out again after a failed write; returns how many
// of them remain in the file.
int64_t put_back(const AppendHandle& handle, int64_t originalSize, int64_t written) {
    if (!may_cut_back(originalSize, written, file_facts(handle).size)) return written;
    if (!cut_to(handle, originalSize) || file_facts(handle).size != originalSize) return written;
    flush_to_storage(handle, true);
    return 0;
}

// Writes lines into a file that takes nothing back, piece by piece.
int64_t append_in_pieces(const AppendHandle& handle, std::span<const char> lines) {
    int64_t written = 0;
    for (std::size_t from = 0; from < lines.size();) {
        const std::span<const char> rest = lines.subspan(from);
        const std::span<const char> piece = rest.first(whole_lines_within(rest, kWholePipeWrite));
        const int64_t wrote = append_bytes(handle, {}, piece);
        written += wrote;
        if (wrote != static_cast<int64_t>(piece.size())) break;
        from += piece.size();
    }
    return written;
}

// Writes the lines, a line end first where the last line has none, makes
// them durable or takes them out again, and says what could not be put
// back; closes the file, which also releases the lock.
bool write_locked(const char* path, const AppendHandle& handle, std::span<const char> lines) {
    const FoundFile found = inspect(handle);
    // Only a regular file has a last byte that may need its line end.
    const bool regular = found.facts.regular;
    const std::span<const char> lineEnd(kLineEnd, found.unterminated ? kLineEndLength : 0);
    const int64_t written = lines.empty() ? 0
                            : regular     ? append_bytes(handle, lineEnd, lines)
                                          : append_in_pieces(handle, lines);
    const auto length = static_cast<int64_t>(lines.empty() ? 0 : lineEnd.size() + lines.size());
    const bool durable = written == length && (lines.empty() || flush_to_storage(handle, regular));
    const int64_t remaining = durable ? 0 : regular ? put_back(handle, found.facts.size, written) : written;
    if (handle.created && durable) flush_folder_of(path);
    close_append_handle(handle);
    if (remaining > 0)
        say("Could not put %s back as it was: %lld bytes of this run %s\n", path, static_cast<long long>(remaining),
            regular ? "remain in it" : "went out to it");
    return durable;
}

}  // namespace

void say_not_opened(const Destination& destination) {
    say("Failed to open %s for output - %s\n", destination.path, then(destination));
    say_why(destination.path);
}

// A batch that the run goes on without, or that a signal cut off, is shown,
// so that it can be added by hand.
bool append_lines(const Destination& destination, std::span<const char> lines) {
    AppendHandle handle{};
    const LockOutcome lock = open_and_lock(destination, handle);
    bool written = false;
    if (lock == LockOutcome::kLocked) {
        open_report_window();
        written = write_locked(destination.path, handle, lines);
        if (!written) {
            say("Failed to write %s - %s\n", destination.path, then(destination));
            say_why(destination.path);
        }
    } else if (lock == LockOutcome::kNotOpened) {
        say_not_opened(destination);
    }
    if (!written && (lock == LockOutcome::kGaveUp || !destination.failureEndsRun))
        say("Not written to %s: %.*s\n", destination.path, length_without_line_end(lines), lines.data());
    if (!written || !destination.failureEndsRun) close_report_window();
    return written;
}

bool may_cut_back(int64_t originalSize, int64_t bytesWritten, int64_t currentSize) {
    return originalSize >= 0 && bytesWritten > 0 && currentSize - originalSize == bytesWritten;
}

std::size_t whole_lines_within(std::span<const char> lines, std::size_t limit) {
    if (lines.size() <= limit) return lines.size();
    const auto start = lines.first(limit);
    const auto lastEnd = std::find(start.rbegin(), start.rend(), '\n');
    return lastEnd == start.rend() ? limit : static_cast<std::size_t>(start.rend() - lastEnd);
}
