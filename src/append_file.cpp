#include "append_file.h"

#include <cstdio>
#include <cstring>

#include "append_host.h"

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

// Writes the bytes and makes them durable, or takes them out again; false
// when they were not all written and flushed.
bool write_whole(const AppendHandle& handle, const FoundFile& found, const char* bytes, std::size_t length,
                 int64_t& remaining) {
    InterruptHold hold{};
    hold_interrupts(hold);
    const int64_t written = append_bytes(handle, bytes, length);
    const bool durable = written == static_cast<int64_t>(length) && flush_to_storage(handle, found.facts.regular);
    remaining = durable || !found.facts.regular ? 0 : put_back(handle, found.facts.size, written);
    release_interrupts(hold);
    return durable;
}

}  // namespace

bool may_cut_back(int64_t originalSize, int64_t bytesWritten, int64_t currentSize) {
    return originalSize >= 0 && bytesWritten > 0 && currentSize >= originalSize &&
           currentSize - originalSize == bytesWritten;
}

AppendStatus append_text(const char* path, char* buffer, std::size_t textEnd) {
    fail_writes_past_file_size_limit();
    AppendHandle handle{};
    if (!open_for_append(path, handle)) return AppendStatus::kNotOpened;
    lock_for_append(handle);
    const FoundFile found = inspect(handle);
    std::size_t start = kLineEndRoom;
    if (found.unterminated && textEnd > kLineEndRoom) {
        start -= kLineEndLength;
        std::memcpy(buffer + start, kLineEnd, kLineEndLength);
    }
    int64_t remaining = 0;
    const bool written = start == textEnd || write_whole(handle, found, buffer + start, textEnd - start, remaining);
    // Closing also releases the lock; the bytes are on storage by now.
    close_append_handle(handle);
    if (remaining > 0)
        std::printf("Could not put %s back as it was: %lld bytes of this run remain in it\n", path,
                    static_cast<long long>(remaining));
    return written ? AppendStatus::kAppended : AppendStatus::kNotWritten;
}
