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

// Where a batch goes, and what the run does when it cannot go there.
struct Destination {
    const char* path;
    bool waitsForReader;  // a FIFO that nobody reads yet is waited for; else it cannot be opened
    bool failureEndsRun;  // a failure ends the run ("- exiting"); else the run goes on ("- continuing")
};

// Opens the destination, creating a regular file when there is none, saying
// "Waiting for a program to read <path>" and waiting when it is a FIFO that
// nobody reads yet and waitsForReader; takes its lock, saying "Waiting for
// another program to finish with <path>" and waiting when another program
// holds it; and appends the lines, a line end first when the file's last
// line has none or its last byte cannot be read. Into anything but a regular
// file (a FIFO, a device) the lines go in pieces of whole lines that reach
// it whole or not at all.
//
// The report window (host.h) opens as the lines start going out. The batch
// whose failure would end the run is followed by the rest of the run's
// report and keeps it open; any other append, and any failure, ends the
// report and closes it, so that a held signal takes effect there.
//
// On failure it says "Failed to open <path> for output - <then>" or "Failed
// to write <path> - <then>", after "Could not put <path> back as it was:
// <count> bytes of this run remain in it" (for a FIFO or a device: "went out
// to it") when a failed write could not be taken out again, and returns
// false. A wait for the lock inside the report window that a signal ends
// says "Not written to <path>: " and the lines.
bool append_lines(const Destination& destination, std::span<const char> lines);

// "Failed to open <path> for output - <then>": what a run says where it
// cannot open the destination.
void say_not_opened(const Destination& destination);

// Whether a file that was originalSize bytes before bytesWritten bytes were
// appended, and is currentSize bytes now, holds nothing after this run's
// bytes, so that cutting it to originalSize removes exactly those.
bool may_cut_back(int64_t originalSize, int64_t bytesWritten, int64_t currentSize);

// The length of the longest start of lines that ends a line and is at most
// limit bytes long; limit when no line ends within it.
std::size_t whole_lines_within(std::span<const char> lines, std::size_t limit);
