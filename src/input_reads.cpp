#include "input_reads.h"

#include <algorithm>
#include <cstring>

namespace {

// One read takes at most this many characters, and at most one byte more
// in text mode: the CR of a CR LF that ends it.
constexpr std::ptrdiff_t kMaxRead = 99;
constexpr std::ptrdiff_t kMaxReadBytes = kMaxRead + 1;

constexpr char kCtrlZ = '\x1a';

// Ends the data after its last newline: a line cut short by a read error
// could name a value that the file does not hold.
const char* after_last_newline(const char* begin, const char* end) {
    while (end > begin && end[-1] != '\n') --end;
    return end;
}

}  // namespace

InputBlock& shared_input_block() {
    static InputBlock block;
    return block;
}

InputReads::InputReads(std::FILE* file, InputBlock& block, InputMode mode)
    : file_(file), block_(&block), mode_(mode), next_(block.data()), end_(block.data()),
      atEndOfFile_(false), failed_(false) {}

// Keeps at least the longest read unread, so that a CR whose next byte
// decides whether it counts is never the last byte held while the file
// goes on.
void InputReads::fill() {
    if (end_ - next_ >= kMaxReadBytes || atEndOfFile_) return;
    char* front = block_->data();
    const auto kept = static_cast<std::size_t>(end_ - next_);
    std::memmove(front, next_, kept);
    char* fresh = front + kept;
    const auto room = static_cast<std::size_t>(kInputBlockSize - kept);
    const std::size_t got = std::fread(fresh, 1, room, file_);
    failed_ = std::ferror(file_) != 0;
    atEndOfFile_ = got < room;
    const char* freshEnd = fresh + got;
    if (mode_ == InputMode::kText) {
        const char* ctrlZ = find_byte(fresh, freshEnd, kCtrlZ);
        atEndOfFile_ = atEndOfFile_ || ctrlZ != freshEnd;
        freshEnd = ctrlZ;
    }
    next_ = front;
    end_ = failed_ ? after_last_newline(front, freshEnd) : freshEnd;
}

InputSpan InputReads::unread() {
    fill();
    return {next_, end_};
}

// In text mode a CR just before the newline that ends a read is no
// character of it.
InputSpan InputReads::take_read() {
    const std::ptrdiff_t available = end_ - next_;
    const std::ptrdiff_t bytes = mode_ == InputMode::kText ? kMaxReadBytes : kMaxRead;
    const auto limit = static_cast<std::size_t>(std::min(bytes, available));
    const auto* newline = static_cast<const char*>(std::memchr(next_, '\n', limit));
    const bool whole = newline != nullptr && (newline - next_ < kMaxRead || newline[-1] == '\r');
    const InputSpan read{next_, whole ? newline + 1 : next_ + std::min(kMaxRead, available)};
    next_ = read.end;
    return read;
}

bool InputReads::next_read(InputSpan& read) {
    if (unread().begin == end_) return false;
    read = take_read();
    return true;
}

void InputReads::skip_reads(int32_t count) {
    InputSpan read{};
    for (int32_t i = 0; i < count && next_read(read); ++i) {
    }
}
