// Orders the candidate table by n and appends one assignment line per kept
// entry to the factoring client's work file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>

#include "candidate.h"
#include "host.h"
#include "run_status.h"

// A work line: "Pminus1=<k>,2,<n>,1,<SieveDepth>,<WactorWorth>" and the
// host's line end.
inline constexpr const char* kWorkLineFormat = "Pminus1=%d,2,%d,1,%d,%d%s";
// The widest signed 32-bit number, "-2147483648".
inline constexpr std::size_t kInt32Width = std::numeric_limits<int32_t>::digits10 + 2;
inline constexpr std::size_t kMaxWorkLineLength =
    std::string_view("Pminus1=,2,,1,,").size() + 4 * kInt32Width + kLineEndLength;

// Sorts the table by n, keeping entries with equal n in their table order.
void order_by_n(CandidateTable& table);

// Puts the work line of candidate into lines at end and moves end past it;
// false, with nothing put, when it does not fit whole.
bool put_work_line(const Candidate& candidate, int32_t SieveDepth, int32_t WactorWorth, std::span<char> lines,
                   std::size_t& end);

// The writing stage: appends a line for every entry with k > 0, in table
// order, written in one piece, and reports the number written in
// linesWritten. A preview instead prints "Would output <count> candidates
// to <path>", the lines one to a console line, and what the run would meet
// in the work file; it changes nothing, and fails where the run would fail
// to open the file.
StageStatus write_work_file(const CandidateTable& table, const RunSettings& settings, int32_t& linesWritten);
