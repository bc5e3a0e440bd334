// Appending text to a file that others keep, the work file and the run log:
// earlier content is never changed, the text never fuses with an
// unterminated last line, it lands whole in one write after any other
// appender that locks the file, and it is on stable storage before it
// counts as written. After a failed write only this run's bytes are cut
// back out, and only when nobody appended after them. Nothing is printed
// here: the callers report what happened.
#pragma once

#include <cstddef>
#include <cstdint>

#include "append_host.h"
#include "host.h"

// Bytes kept free in front of the text to append, for the line end that an
// unterminated last line needs, so that both go out in the same write.
inline constexpr std::size_t kLineEndRoom = kLineEndLength;

enum class LockOutcome {
    kLocked,     // the lock is held, on the file that path names
    kBusy,       // another program holds the lock: wait with wait_for_append_lock
    kNotOpened,  // nothing was written
};

// Opens path for appending, creating it when absent, and takes its lock
// when no other program holds it.
LockOutcome open_locked(const char* path, AppendHandle& handle);

// Waits for the lock that another program holds: kLocked, or kNotOpened
// when the file that path names by then cannot be opened.
LockOutcome wait_for_append_lock(const char* path, AppendHandle& handle);

struct AppendResult {
    bool written;       // the text is in the file whole, on stable storage
    int64_t remaining;  // after a failure: bytes of this run left in the file
};

// Appends buffer[kLineEndRoom, textEnd) to the locked file at path and
// closes it; the bytes before kLineEndRoom are working space. Signals are
// the caller's to hold.
AppendResult append_locked(const char* path, const AppendHandle& handle, char* buffer, std::size_t textEnd);

// Whether a file that was originalSize bytes before bytesWritten bytes were
// appended, and is currentSize bytes now, holds nothing after this run's
// bytes, so that cutting it to originalSize removes exactly those.
bool may_cut_back(int64_t originalSize, int64_t bytesWritten, int64_t currentSize);
