// Orders the candidate table by n and appends one assignment line per kept
// entry to the factoring client's work file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>

#include "append_file.h"
#include "candidate.h"
#include "host.h"
#include "run_settings.h"
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

// The lines of every entry with k > 0, in table order, formatted into the
// stage's own storage, which holds them for the rest of the run.
struct WorkLines {
    std::span<const char> text;
    int32_t count;
};
WorkLines format_work_lines(const CandidateTable& table, const RunSettings& settings);

// The work file: a FIFO there is waited for, and a failure ends the run.
inline Destination work_file_destination(const RunSettings& settings) {
    return {settings.outputPath.data(), true, true};
}

// The writing stage: appends the work lines, written in one piece, says
// "Output <count> candidates to <path>" and reports the count in
// linesWritten.
StageStatus write_work_file(const CandidateTable& table, const RunSettings& settings, int32_t& linesWritten);
