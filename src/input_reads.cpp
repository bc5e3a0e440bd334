#include "input_reads.h"

#include <algorithm>
#include <cstring>

namespace {

// One read takes at most this many characters.
constexpr std::ptrdiff_t kMaxRead = 99;

constexpr char kCtrlZ = '\x1a';

// Reads the raw bytes [from, end) in place as text mode does and returns
// the end of what they become. A CR that ends them is held back until the
// byte after it is known, unless the file ends there.
char* to_text_mode(char* from, char* end, bool fileEnded, InputReads& reads) {
    char* out = from;
    for (char* p = from; p < end; ++p) {
        if (*p == kCtrlZ) {
            reads.atEndOfFile = true;
            return out;
        }
        if (*p == '\r') {
            if (p + 1 == end && !fileEnded) {
                reads.heldCr = true;
                return out;
            }
            if (p + 1 < end && p[1] == '\n') continue;
        }
        *out++ = *p;
    }
    return out;
}

// Ends the data after its last newline: a line cut short by a read error
// could name a value that the file does not hold.
const char* after_last_newline(const char* begin, const char* end) {
    while (end > begin && end[-1] != '\n') --end;
    return end;
}

}  // namespace

InputReads start_reads(std::FILE* file, InputBlock& block, InputMode mode) {
    return {file, &block, mode, block.data(), block.data(), false, false, false};
}

void fill_for_read(InputReads& reads) {
    if (reads.end - reads.next >= kMaxRead || reads.atEndOfFile) return;
    char* front = reads.block->data();
    const auto kept = static_cast<std::size_t>(reads.end - reads.next);
    std::memmove(front, reads.next, kept);
    char* raw = front + kept;
    char* rawEnd = raw;
    if (reads.heldCr) *rawEnd++ = '\r';
    reads.heldCr = false;
    const auto room = static_cast<std::size_t>(front + kInputBlockSize - rawEnd);
    const std::size_t got = std::fread(rawEnd, 1, room, reads.file);
    reads.failed = std::ferror(reads.file) != 0;
    rawEnd += got;
    const bool fileEnded = got < room;
    reads.next = front;
    reads.end = reads.mode == InputMode::kText ? to_text_mode(raw, rawEnd, fileEnded, reads) : rawEnd;
    if (reads.failed) reads.end = after_last_newline(front, reads.end);
    reads.atEndOfFile = reads.atEndOfFile || fileEnded;
}

const char* read_end(const InputReads& reads) {
    const std::size_t limit = static_cast<std::size_t>(std::min(kMaxRead, reads.end - reads.next));
    const auto* newline = static_cast<const char*>(std::memchr(reads.next, '\n', limit));
    return newline != nullptr ? newline + 1 : reads.next + limit;
}
