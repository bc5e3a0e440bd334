// The steps that the two appending stages, the work file and the run log,
// share, with the lines they print on the way; each stage reports the
// outcome itself.
#pragma once

#include <span>

#include "host.h"

enum class AppendOutcome {
    kAppended,
    kNotOpened,   // nothing was written
    kNotWritten,  // the lines were not written whole; what remains was reported
};

// Opens the file at path, saying "Waiting for a program to read <path>"
// and waiting when it is a FIFO that nobody reads yet, if waitForReader
// (else that is kNotOpened); takes its lock, saying "Waiting for another
// program to finish with <path>" when another program holds it; opens the
// report window once the lock is held (a window already open stays so);
// appends lines; and, when a failed write could not be taken out again,
// says "Could not put <path> back as it was: <count> bytes of this run
// remain in it" (or, for a FIFO or a device, "went out to it").
AppendOutcome append_reporting(const char* path, std::span<const char> lines, bool waitForReader,
                               ReportWindow& window);
