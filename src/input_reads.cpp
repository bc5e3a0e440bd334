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

}  // namespace

InputReads start_reads(std::FILE* file, InputBlock& block, InputMode mode) {
    return {file, &block, mode, block.data(), block.data(), false, false};
}

bool fill_for_read(InputReads& reads) {
    if (reads.end - reads.next >= kMaxRead || reads.atEndOfFile) return true;
    char* front = reads.block->data();
    const auto kept = static_cast<std::size_t>(reads.end - reads.next);
    std::memmove(front, reads.next, kept);
    char* raw = front + kept;
    char* rawEnd = raw;
    if (reads.heldCr) *rawEnd++ = '\r';
    reads.heldCr = false;
    const auto room = static_cast<std::size_t>(front + reads.block->size() - rawEnd);
    const std::size_t got = std::fread(rawEnd, 1, room, reads.file);
    if (std::ferror(reads.file) != 0) return false;
    rawEnd += got;
    const bool fileEnded = got < room;
    reads.next = front;
    reads.end = reads.mode == InputMode::kText ? to_text_mode(raw, rawEnd, fileEnded, reads) : rawEnd;
    reads.atEndOfFile = reads.atEndOfFile || fileEnded;
    return true;
}

const char* read_end(const InputReads& reads) {
    const std::size_t limit = static_cast<std::size_t>(std::min(kMaxRead, reads.end - reads.next));
    const auto* newline = static_cast<const char*>(std::memchr(reads.next, '\n', limit));
    return newline != nullptr ? newline + 1 : reads.next + limit;
}
