// Delivering lines to the end of a file that others keep, the work file or
// the run log, and saying what happens on the way.
#pragma once

#include <span>

// Opens the file at path, saying "Waiting for a program to read <path>" and
// waiting when it is a FIFO that nobody reads yet, if waitForReader; takes
// its lock, saying "Waiting for another program to finish with <path>"
// and waiting, when another program holds it; opens the report window; and
// appends the lines. On failure it says "Failed to open <path> for output -
// <then>" or "Failed to write <path> - <then>", after "Could not put <path>
// back as it was: <count> bytes of this run remain in it" (or, for a FIFO or
// a device, "went out to it") when a failed write could not be taken out
// again, and returns false. A wait for the lock inside the report window
// that a signal ends says "Not written to <path>: " and the lines.
bool deliver_lines(const char* path, std::span<const char> lines, bool waitForReader, const char* then);

// For a preview: says what deliver_lines, given waitForReader and then,
// would meet at path, changing nothing and waiting for nothing: the "Failed
// to open <path> for output - <then>" line where it could not open it, and
// why it would wait where it would. With describe, also what the file is:
// whether it exists and how many lines it holds. False where deliver_lines
// could not open it.
bool preview_delivery(const char* path, bool waitForReader, const char* then, bool describe);
