#include "append_file.h"

#include <algorithm>

namespace {

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

// Writes the line end and the lines and makes them durable, or takes them
// out again.
AppendResult write_whole(const AppendHandle& handle, const FoundFile& found, std::span<const char> lineEnd,
                         std::span<const char> lines) {
    // Only a regular file has a last byte that may need its line end.
    const bool regular = found.facts.regular;
    const int64_t written = regular ? append_bytes(handle, lineEnd, lines) : append_in_pieces(handle, lines);
    const auto length = static_cast<int64_t>(lineEnd.size() + lines.size());
    if (written == length && flush_to_storage(handle, regular)) return {true, 0, regular};
    return {false, regular ? put_back(handle, found.facts.size, written) : written, regular};
}

// Asks for the lock again and again rather than waiting in the system's
// call, where a held signal could not end the wait; false once a signal
// that would end the run is held.
bool wait_for_lock(const AppendHandle& handle) {
    while (!try_lock_for_append(handle)) {
        if (ending_signal_held()) return false;
        pause_briefly();
    }
    return true;
}

// The lock is ours, but a file renamed over the path or a removal while we
// waited for it leaves us holding a file that nobody reads: open the path
// again until the lock is on the file it names.
LockOutcome locked_on_path(const char* path, AppendHandle& handle, bool wait) {
    for (;;) {
        if (wait && !wait_for_lock(handle)) {
            close_append_handle(handle);
            return LockOutcome::kGaveUp;
        }
        if (!wait && !try_lock_for_append(handle)) return LockOutcome::kBusy;
        if (path_names_handle(path, handle)) return LockOutcome::kLocked;
        close_append_handle(handle);
        if (open_for_append(path, false, handle) != OpenOutcome::kOpened) return LockOutcome::kNotOpened;
    }
}

}  // namespace

bool may_cut_back(int64_t originalSize, int64_t bytesWritten, int64_t currentSize) {
    return originalSize >= 0 && bytesWritten > 0 && currentSize >= originalSize &&
           currentSize - originalSize == bytesWritten;
}

std::size_t whole_lines_within(std::span<const char> lines, std::size_t limit) {
    if (lines.size() <= limit) return lines.size();
    const auto start = lines.first(limit);
    const auto lastEnd = std::find(start.rbegin(), start.rend(), '\n');
    return lastEnd == start.rend() ? limit : static_cast<std::size_t>(start.rend() - lastEnd);
}

LockOutcome open_locked(const char* path, bool waitForReader, AppendHandle& handle) {
    const OpenOutcome opened = open_for_append(path, waitForReader, handle);
    if (opened != OpenOutcome::kOpened)
        return opened == OpenOutcome::kNoReader ? LockOutcome::kNoReader : LockOutcome::kNotOpened;
    return locked_on_path(path, handle, false);
}

LockOutcome wait_for_append_lock(const char* path, AppendHandle& handle) {
    return locked_on_path(path, handle, true);
}

AppendResult append_locked(const char* path, const AppendHandle& handle, std::span<const char> lines) {
    const FoundFile found = inspect(handle);
    const std::span<const char> lineEnd(kLineEnd, found.unterminated ? kLineEndLength : 0);
    const AppendResult result =
        lines.empty() ? AppendResult{true, 0, found.facts.regular} : write_whole(handle, found, lineEnd, lines);
    if (handle.created && result.written) flush_folder_of(handle, path);
    // Closing also releases the lock; the bytes are on storage by now.
    close_append_handle(handle);
    return result;
}
