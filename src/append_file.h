// How a batch of lines reaches the end of a file that others keep, the work
// file or the run log: earlier content is never changed, the lines never
// fuse with an unterminated last line, they land whole in one write after
// any other appender that locks the file, and they are on stable storage
// before they count as written. After a failed write only this run's bytes
// are cut back out, and only when nobody appended after them. What happens
// on the way is said here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Where a batch goes. The work file is essential: a FIFO there that nobody
// reads yet is waited for, and a failure ends the run ("- exiting"). The
// run log is not: such a FIFO is not opened, and a failure is reported and
// the run goes on ("- continuing").
struct Destination {
    const char* path;
    bool essential;
};

// A batch of whole lines in storage that its stage owns, each with the
// host's line end. Its room starts with one more line end, which goes out
// first where the file's last line has none.
struct Lines {
    std::span<char> room;
    std::size_t end;  // where the next line goes
    int32_t count;    // the lines added
};

Lines lines_in(std::span<char> room);

// Adds a line as printf formats it, and its line end; a line that does not
// fit whole is not added.
#ifdef __GNUC__
__attribute__((format(printf, 2, 3)))
#endif
void add_line(Lines& lines, const char* format, ...);

// The lines, without the line end before them.
std::span<const char> text_of(const Lines& lines);


// Opens the destination, creating a regular file when there is none, saying
// "Waiting for a program to read <path>" and waiting when it is a FIFO that
// nobody reads yet and the destination is essential; takes its lock, saying
// "Waiting for another program to finish with <path>" and waiting when
// another program holds it; and appends the lines, a line end first when
// the file's last line has none or its last byte cannot be read. Into
// anything but a regular file (a FIFO, a device) the lines go in pieces of
// whole lines that reach it whole or not at all.
//
// Signals are held from the moment the lines start going out (host.h),
// and stay held: the caller lets them act once the run's report is whole.
//
// On failure it says "Failed to open <path> for output - <then>" or "Failed
// to write <path> - <then>", after "Could not put <path> back as it was:
// <count> bytes of this run remain in it" (for a FIFO or a device: "went out
// to it") when a failed write could not be taken out again, and the reason;
// and returns false. The lines that a run goes on without, or that a signal
// cut off while it waited for the lock, are shown after "Not written to
// <path>: ".
bool append_lines(const Destination& destination, const Lines& lines);

// "Failed to open <path> for output - <then>" and the reason: what a run
// says where it cannot open the destination.
void say_not_opened(const Destination& destination);

// Whether a file that was originalSize bytes before bytesWritten bytes were
// appended, and is currentSize bytes now, holds nothing after this run's
// bytes, so that cutting it to originalSize removes exactly those.
bool may_cut_back(int64_t originalSize, int64_t bytesWritten, int64_t currentSize);

// The length of the longest start of lines that ends a line and is at most
// limit bytes long; limit when no line ends within it.
std::size_t whole_lines_within(std::span<const char> lines, std::size_t limit);
