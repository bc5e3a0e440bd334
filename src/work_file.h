// Orders the candidate table by n and appends one assignment line per kept
// entry to the factoring client's work file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "candidate.h"

inline constexpr const char* kWorkFileName = "worktodo.ini";

// Long enough for a work line with every number at its widest.
inline constexpr std::size_t kWorkLineSize = 80;
using WorkLine = std::array<char, kWorkLineSize>;

// The work file's path: the work file name alone when directory is null or
// empty, otherwise directory, a separator unless it already ends in one, and
// the name. False when that is more than 999 characters.
bool build_output_path(const char* directory, OutputPath& path);

// Sorts the table by n, keeping entries with equal n in their table order.
// scratch is working space of the table's size.
void order_by_n(CandidateTable& table, CandidateArray& scratch);

// The line "Pminus1=k,2,n,1,SieveDepth,WactorWorth" and its newline.
void format_work_line(const Candidate& candidate, int32_t SieveDepth, int32_t WactorWorth,
                      WorkLine& line);

// The writing stage: appends a line for every entry with k > 0, in table
// order, and reports the number written in linesWritten.
StageStatus write_work_file(const CandidateTable& table, const RunSettings& settings,
                            int32_t& linesWritten);
