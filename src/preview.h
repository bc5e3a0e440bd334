// The preview (--dry-run): what a run with the same command line would do,
// said and checked without changing anything, here or for any other
// program. It takes the run's reading stages as they are; where the run
// would write, it looks instead: it opens nothing but a regular file (to
// read it), never a FIFO or a device, and waits for nothing.
#pragma once

#include "candidate.h"
#include "command_line.h"
#include "run_settings.h"
#include "run_status.h"

// What the preview found, the graver later: nothing, something to look at
// again before the run, or a run that would fail.
enum class Verdict {
    kClear,
    kSecondLook,
    kRunFails,
};

// "Note: ..." for every argument that the run would not take as typed: a
// number written otherwise, a word after the folder, an empty range.
void note_arguments(const Words& words, const RunSettings& settings);

// In place of the run's writes: "Would output <count> candidates to
// <path>" and the lines, one to a console line; what the run would meet at
// the work file; every earlier line of the run log whose range overlaps,
// "brisvel.log already shows n from <NMin> to <NMax>: line <number>", so
// that a range is not handed out twice; and what the run would meet at the
// run log.
Verdict look_at_writes(const CandidateTable& table, const RunSettings& settings);

// "Dry run: nothing was written", and the preview's exit status: failure
// where the run would fail (or stop as failed), the second look's status
// where the verdict asks for one or a note was said, else success.
int end_preview(StageStatus status, Verdict verdict);
