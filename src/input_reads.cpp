#include "input_reads.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// One read takes at most this many characters.
constexpr std::ptrdiff_t kMaxRead = 99;

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

// Reads the raw bytes [from, end) in place as text mode does and returns
// the end of what they become. A CR that ends them is held back until the
// byte after it is known, unless the file ends there.
char* InputReads::to_text_mode(char* from, char* end) {
    char* out = from;
    for (char* p = from; p < end; ++p) {
        if (*p == kCtrlZ) {
            atEndOfFile_ = true;
            return out;
        }
        if (*p == '\r') {
            if (p + 1 == end && !atEndOfFile_) {
                heldCr_ = true;
                return out;
            }
            if (p + 1 < end && p[1] == '\n') continue;
        }
        *out++ = *p;
    }
    return out;
}

InputReads::InputReads(std::FILE* file, InputBlock& block, InputMode mode)
    : file_(file), block_(&block), mode_(mode), next_(block.data()), end_(block.data()), atEndOfFile_(false),
      heldCr_(false), failed_(false) {}

void InputReads::fill() {
    if (end_ - next_ >= kMaxRead || atEndOfFile_) return;
    char* front = block_->data();
    const auto kept = static_cast<std::size_t>(end_ - next_);
    std::memmove(front, next_, kept);
    char* raw = front + kept;
    char* rawEnd = raw;
    if (std::exchange(heldCr_, false)) *rawEnd++ = '\r';
    const auto room = static_cast<std::size_t>(front + kInputBlockSize - rawEnd);
    const std::size_t got = std::fread(rawEnd, 1, room, file_);
    failed_ = std::ferror(file_) != 0;
    rawEnd += got;
    atEndOfFile_ = got < room;
    const char* textEnd = mode_ == InputMode::kText ? to_text_mode(raw, rawEnd) : rawEnd;
    next_ = front;
    end_ = failed_ ? after_last_newline(front, textEnd) : textEnd;
}

InputSpan InputReads::unread() {
    fill();
    return {next_, end_};
}

InputSpan InputReads::take_read() {
    const std::size_t limit = static_cast<std::size_t>(std::min(kMaxRead, end_ - next_));
    const auto* newline = static_cast<const char*>(std::memchr(next_, '\n', limit));
    const InputSpan read{next_, newline != nullptr ? newline + 1 : next_ + limit};
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
