// Orders the candidate table by n and appends one assignment line per kept
// entry to the factoring client's work file.
#pragma once

#include <cstdint>

#include "append_file.h"
#include "candidate.h"
#include "run_settings.h"
#include "run_status.h"

// Sorts the table by n, keeping entries with equal n in their table order.
void order_by_n(CandidateTable& table);

// The work line "Pminus1=<k>,2,<n>,1,<SieveDepth>,<WactorWorth>" of every
// entry with k > 0, in table order, in the stage's own storage, which holds
// a full table of the longest lines for the rest of the run.
Lines format_work_lines(const CandidateTable& table, const RunSettings& settings);

inline Destination work_file_destination(const RunSettings& settings) { return {settings.outputPath.data(), true}; }

// The writing stage: appends the work lines, written in one piece, says
// "Output <count> candidates to <path>" and reports the count in
// linesWritten.
StageStatus write_work_file(const CandidateTable& table, const RunSettings& settings, int32_t& linesWritten);
