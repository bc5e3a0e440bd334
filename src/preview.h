// The preview (--dry-run): what a run with the same command line would do,
// said and checked without changing anything, here or for any other
// program. It takes the run's reading stages as they are; where the run
// would write, it looks instead: it opens nothing but a regular file, as
// the run would open it, and waits for nothing.
#pragma once

#include "candidate.h"
#include "run_settings.h"
#include "run_status.h"

// In place of the run's writes: "Would output <count> candidates to
// <path>" and the lines, one to a console line; what the run would meet at
// the work file; every earlier line of the run log whose range overlaps,
// "brisvel.log already shows n from <NMin> to <NMax>: line <number>", so
// that a range is not handed out twice; and what the run would meet at the
// run log. Failed where the run would fail; what asks for a second look is
// said as one (console.h).
StageStatus look_at_writes(const CandidateTable& table, const RunSettings& settings);
