#include "input_reads.h"

#include <algorithm>
#include <cstring>
#include <string_view>

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

char narrowed(unsigned unit) { return unit < 0x80 ? static_cast<char>(unit) : '?'; }

// The second unit of a surrogate pair: its first already gave the '?'.
bool ends_pair(unsigned unit) { return unit >= 0xdc00 && unit < 0xe000; }

}  // namespace

// Runs of ASCII go through the chosen kernel, a vector at a time; any other
// unit is taken here.
std::size_t narrowed_utf16(const char* units, std::size_t length, char* bytes, bool bigEndian) {
    const std::size_t low = bigEndian ? 1 : 0;
    std::size_t made = 0;
    std::size_t at = 0;
    while (length - at >= 2) {
        const std::size_t run = kernels().narrow_ascii_units(units + at, length - at, bytes + made, bigEndian);
        at += run;
        made += run / 2;
        if (run > 0) continue;
        const auto* unitBytes = reinterpret_cast<const unsigned char*>(units + at);
        const unsigned unit = unitBytes[low] | unsigned{unitBytes[1 - low]} << 8;
        if (!ends_pair(unit)) bytes[made++] = narrowed(unit);
        at += 2;
    }
    if (at < length) bytes[made++] = '?';
    return made;
}

InputReads::InputReads(std::FILE* file, InputMode mode)
    : file_(file), mode_(mode), next_(nullptr), end_(nullptr), atEndOfFile_(false), failed_(false),
      encoding_(Encoding::kUnknown) {
    next_ = end_ = block_.data();
}

// Keeps at least the longest read unread, so that a CR whose next byte
// decides whether it counts is never the last byte held while the file
// goes on.
void InputReads::fill() {
    if (end_ - next_ >= kMaxReadBytes || atEndOfFile_) return;
    char* front = block_.data();
    const auto kept = static_cast<std::size_t>(end_ - next_);
    std::memmove(front, next_, kept);
    char* fresh = front + kept;
    // UTF-16 is read in whole code units: the block's room is even.
    const auto room = static_cast<std::size_t>(kInputBlockSize - kept) & ~std::size_t{1};
    std::size_t got = std::fread(fresh, 1, room, file_);
    failed_ = std::ferror(file_) != 0;
    if (failed_) remember_failure();
    atEndOfFile_ = got < room;
    std::size_t mark = 0;  // the byte-order mark's length, at the start of the file
    if (encoding_ == Encoding::kUnknown) {
        const std::string_view start(fresh, std::min<std::size_t>(got, 2));
        encoding_ = start == "\xff\xfe"   ? Encoding::kUtf16Le
                    : start == "\xfe\xff" ? Encoding::kUtf16Be
                                          : Encoding::kBytes;
        mark = encoding_ == Encoding::kBytes ? 0 : 2;
    }
    if (encoding_ != Encoding::kBytes)
        got = narrowed_utf16(fresh + mark, got - mark, fresh, encoding_ == Encoding::kUtf16Be);
    const char* freshEnd = fresh + got;
    if (mode_ == InputMode::kText) {
        const char* ctrlZ = kernels().find_byte(fresh, freshEnd, kCtrlZ);
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
