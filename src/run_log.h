// The run log: one timestamped summary line for every run that wrote the
// work file.
#pragma once

#include <cstdint>
#include <ctime>

#include "append_file.h"
#include "run_settings.h"

inline constexpr const char* kRunLogName = "brisvel.log";
inline constexpr Destination kRunLogDestination{kRunLogName, false};

// The log line of a run that wrote linesWritten lines, at local time:
// "[Tue 08-Dec-2026 23:05:09]  Range <NMin>-<NMax> (<NMax - NMin>),
// <SieveDepth>, <WactorWorth>, <lines> candidates in <path>", with the
// tool's own English day and month names, in lines.
void add_log_line(const std::tm& local, const RunSettings& settings, int32_t linesWritten, Lines& lines);

// Reads the range of a run log line [begin, end), "... Range <NMin>-<NMax>
// ...", which may hold any bytes, zero bytes among them; false when it
// holds none.
bool read_logged_range(const char* begin, const char* end, int32_t& NMin, int32_t& NMax);

// The run log stage: appends the line for this run, which wrote
// linesWritten lines, to the run log in the current directory. Problems
// are reported; the run goes on.
void append_run_log(const RunSettings& settings, int32_t linesWritten);
