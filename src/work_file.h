// Orders the candidate table by n and appends one assignment line per kept
// entry to the factoring client's work file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "append_file.h"
#include "candidate.h"

inline constexpr const char* kWorkFileName = "worktodo.ini";

// Long enough for a work line with every number at its widest.
inline constexpr std::size_t kWorkLineSize = 80;
using WorkLine = std::array<char, kWorkLineSize>;

// The longest work line: "Pminus1=", k of 10 digits, ",2,", n, ",1,",
// SieveDepth and "," WactorWorth of 11 characters each, and CR LF.
inline constexpr std::size_t kMaxWorkLineLength = 8 + 10 + 3 + 11 + 3 + 11 + 1 + 11 + 2;

// Room for every line of a run, written as one piece.
inline constexpr std::size_t kWorkBatchSize =
    kLineEndRoom + static_cast<std::size_t>(kTableSlots - 1) * kMaxWorkLineLength + 1;
using WorkBatch = std::array<char, kWorkBatchSize>;

// The work file's path: the work file name alone when directory is null or
// empty, otherwise directory, a separator unless it already ends in one, and
// the name; on Windows a quote that ends directory is dropped first. False
// when that is more than 999 characters.
bool build_output_path(const char* directory, OutputPath& path);

// Sorts the table by n, keeping entries with equal n in their table order.
// scratch is working space of the table's size.
void order_by_n(CandidateTable& table, CandidateArray& scratch);

// The line "Pminus1=k,2,n,1,SieveDepth,WactorWorth" and the host's line
// end; returns its length.
std::size_t format_work_line(const Candidate& candidate, int32_t SieveDepth, int32_t WactorWorth,
                             WorkLine& line);

// The writing stage: appends a line for every entry with k > 0, in table
// order, formatted into batch and written in one piece, and reports the
// number written in linesWritten. Once the work file's lock is held, it
// opens the report window; closing it is the caller's.
StageStatus write_work_file(const CandidateTable& table, const RunSettings& settings, WorkBatch& batch,
                            ReportWindow& window, int32_t& linesWritten);
