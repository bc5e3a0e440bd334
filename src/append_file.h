// Appending lines to a file that others keep, the work file and the run log:
// earlier content is never changed, the lines never fuse with an
// unterminated last line, they land whole in one write after any other
// appender that locks the file, and they are on stable storage before they
// count as written. After a failed write only this run's bytes are cut back
// out, and only when nobody appended after them. Nothing is printed here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "host.h"

enum class LockOutcome {
    kLocked,     // the lock is held, on the file that path names
    kBusy,       // another program holds the lock: wait with wait_for_append_lock
    kNoReader,   // a FIFO that no program reads yet
    kNotOpened,  // nothing was written
    kGaveUp,     // a signal that would end the run came while it waited; nothing was written
};

// Opens path for appending, creating it when absent, and takes its lock
// when no other program holds it. A FIFO without a reader is kNoReader
// unless waitForReader, which waits for one.
LockOutcome open_locked(const char* path, bool waitForReader, AppendHandle& handle);

// Waits for the lock that another program holds: kLocked; kNotOpened when
// the file that path names by then cannot be opened; kGaveUp once a signal
// that would end the run is held.
LockOutcome wait_for_append_lock(const char* path, AppendHandle& handle);

struct AppendResult {
    bool written;       // the lines are in the file whole, on stable storage
    int64_t remaining;  // after a failure: bytes of this run left in a regular file, or sent into another
    bool regular;       // a regular file; else a FIFO or a device, which takes nothing back
};

// Appends lines, whole lines, to the locked file at path, a line end first
// when the file's last line has none or its last byte cannot be read, and
// closes it. Into anything but a regular file (a FIFO, a device) the lines
// go in pieces of whole lines that reach it whole or not at all, so that a
// write given up midway leaves no part of a line. Signals are the caller's
// to hold.
AppendResult append_locked(const char* path, const AppendHandle& handle, std::span<const char> lines);

// Whether a file that was originalSize bytes before bytesWritten bytes were
// appended, and is currentSize bytes now, holds nothing after this run's
// bytes, so that cutting it to originalSize removes exactly those.
bool may_cut_back(int64_t originalSize, int64_t bytesWritten, int64_t currentSize);

// The length of the longest start of lines that ends a line and is at most
// limit bytes long; limit when no line ends within it.
std::size_t whole_lines_within(std::span<const char> lines, std::size_t limit);
