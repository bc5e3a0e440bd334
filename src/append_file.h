// Appending text to a file that others keep, the work file and the run log:
// earlier content is never changed, the text never fuses with an
// unterminated last line, it lands whole in one write after any other
// appender that locks the file, and it is on stable storage before it
// counts as written. After a failed write only this run's bytes are cut
// back out, and only when nobody appended after them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host.h"

// Bytes kept free in front of the text to append, for the line end that an
// unterminated last line needs, so that both go out in the same write.
inline constexpr std::size_t kLineEndRoom = kLineEndLength;

enum class AppendStatus {
    kAppended,
    kNotOpened,   // nothing was written
    kNotWritten,  // the text was not written whole; what was put back is reported
};

// Appends buffer[kLineEndRoom, textEnd) to the file at path, creating it
// when absent; the bytes before kLineEndRoom are working space. When this
// run's bytes cannot be taken out again after a failure, prints "Could not
// put <path> back as it was: <count> bytes of this run remain in it".
AppendStatus append_text(const char* path, char* buffer, std::size_t textEnd);

// Whether a file that was originalSize bytes before bytesWritten bytes were
// appended, and is currentSize bytes now, holds nothing after this run's
// bytes, so that cutting it to originalSize removes exactly those.
bool may_cut_back(int64_t originalSize, int64_t bytesWritten, int64_t currentSize);
