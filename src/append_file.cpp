#include "append_file.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>

#include "console.h"
#include "host.h"

namespace {

// Opens of a path whose kind keeps changing between the look and the open.
constexpr int32_t kOpenAttempts = 3;
// Room for "Not written to <path>: ", with a path of 999 characters.
constexpr std::size_t kNotWrittenSize = 1024;

enum class LockOutcome {
    kLocked,     // the lock is held, on the file that path names
    kNotOpened,  // nothing was written
    kGaveUp,     // a signal that would end the run came while it waited; nothing was written
};

const char* then(const Destination& destination) { return destination.essential ? "exiting" : "continuing"; }

// "Waiting for <what> <path>", shown at once.
void announce_wait(const char* what, const char* path) {
    say("Waiting for %s %s\n", what, path);
    std::fflush(stdout);
}

// Opens the destination and takes its lock, saying where it waits. The
// lock is asked for again and again rather than waited for in the system's
// call, where a held signal could not end the wait. A file renamed over the
// path or a removal while the run waited leaves it holding a file that
// nobody reads: the path is opened again until the lock is on the file it
// names. A name whose kind keeps changing is given up on.
LockOutcome open_and_lock(const Destination& destination, AppendHandle& handle) {
    const char* path = destination.path;
    bool announced = false;
    for (int32_t changes = 0; changes < kOpenAttempts;) {
        OpenOutcome opened = open_for_append(path, OpenFor::kAppend, handle);
        if (opened == OpenOutcome::kNoReader && destination.essential) {
            announce_wait("a program to read", path);
            opened = open_for_append(path, OpenFor::kAppendWaitingForReader, handle);
        }
        if (opened == OpenOutcome::kChanged) {
            ++changes;
            continue;
        }
        if (opened != OpenOutcome::kOpened) return LockOutcome::kNotOpened;
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

// Whether the file as this run found it, once it held the lock, has
// content whose last byte is not a newline. A file whose last byte cannot
// be read gets a line end too: at worst an empty line, never a fused one.
bool is_unterminated(const AppendHandle& handle, int64_t size) {
    char last = '\0';
    return size > 0 && (!handle.readable || !read_byte_at(handle, size - 1, last) || last != '\n');
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
        const int64_t wrote = append_bytes(handle, piece);
        written += wrote;
        if (wrote != static_cast<int64_t>(piece.size())) break;
        from += piece.size();
    }
    return written;
}

// Writes the lines, a line end first where the last line has none, makes
// them durable or takes them out again, and says what could not be put
// back; closes the file, which also releases the lock.
bool write_locked(const char* path, const AppendHandle& handle, const Lines& lines) {
    // Only a regular file has a last byte that may need its line end.
    const FileFacts found = file_facts(handle);
    const bool regular = found.regular;
    const std::span<const char> text = text_of(lines);
    const std::span<const char> bytes = is_unterminated(handle, found.size) ? lines.room.first(lines.end) : text;
    const int64_t written = text.empty() ? 0 : regular ? append_bytes(handle, bytes) : append_in_pieces(handle, bytes);
    const auto length = static_cast<int64_t>(text.empty() ? 0 : bytes.size());
    const bool durable = written == length && (text.empty() || flush_to_storage(handle, regular));
    const int64_t remaining = durable ? 0 : regular ? put_back(handle, found.size, written) : written;
    if (handle.created && durable) flush_folder_of(path);
    close_append_handle(handle);
    if (remaining > 0)
        say("Could not put %s back as it was: %lld bytes of this run %s\n", path, static_cast<long long>(remaining),
            regular ? "remain in it" : "went out to it");
    return durable;
}

}  // namespace

Lines lines_in(std::span<char> room) {
    std::copy_n(kLineEnd, kLineEndLength, room.begin());
    return {room, kLineEndLength, 0};
}

void add_line(Lines& lines, const char* format, ...) {
    std::span<char> rest = lines.room.subspan(lines.end);
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(rest.data(), rest.size(), format, arguments);
    va_end(arguments);
    const auto whole = static_cast<std::size_t>(length) + kLineEndLength;
    if (length < 0 || whole >= rest.size()) return;
    std::copy_n(kLineEnd, kLineEndLength, rest.begin() + length);
    lines.end += whole;
    ++lines.count;
}

std::span<const char> text_of(const Lines& lines) {
    return lines.room.subspan(kLineEndLength, lines.end - kLineEndLength);
}

void say_not_opened(const Destination& destination) {
    say("Failed to open %s for output - %s\n", destination.path, then(destination));
    say_why(destination.path);
}

bool append_lines(const Destination& destination, const Lines& lines) {
    AppendHandle handle{};
    const LockOutcome lock = open_and_lock(destination, handle);
    if (lock == LockOutcome::kLocked) hold_signals();
    const bool written = lock == LockOutcome::kLocked && write_locked(destination.path, handle, lines);
    if (lock == LockOutcome::kNotOpened) say_not_opened(destination);
    if (lock == LockOutcome::kLocked && !written) {
        say("Failed to write %s - %s\n", destination.path, then(destination));
        say_why(destination.path);
    }
    if (!written && (lock == LockOutcome::kGaveUp || !destination.essential)) {
        std::array<char, kNotWrittenSize> before{};
        std::snprintf(before.data(), before.size(), "Not written to %s: ", destination.path);
        say_lines(before.data(), text_of(lines));
    }
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
