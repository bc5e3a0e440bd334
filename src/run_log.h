// The run log: one timestamped summary line for every run that wrote the
// work file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>

#include "append_file.h"
#include "run_settings.h"

inline constexpr const char* kRunLogName = "brisvel.log";
// A FIFO there that nobody reads is not waited for, and a failure is
// reported and the run goes on.
inline constexpr Destination kRunLogDestination{kRunLogName, false, false};

// Long enough for a summary with every number at its widest and a path of
// 999 characters.
inline constexpr std::size_t kLogTextSize = 1200;
using LogText = std::array<char, kLogTextSize>;

// "[Tue 08-Dec-2026 23:05:09]  " for the given local time, with the tool's
// own English day and month names.
void format_log_timestamp(const std::tm& local, LogText& text);

// "Range <NMin>-<NMax> (<NMax - NMin>), <SieveDepth>, <WactorWorth>, <lines>
// candidates in <path>" and the host's line end.
void format_range_summary(int32_t NMin, int32_t NMax, int32_t linesWritten, const char* outputPath,
                          int32_t SieveDepth, int32_t WactorWorth, LogText& text);

// Reads the range of a run log line [begin, end), "... Range <NMin>-<NMax>
// ...", which may hold any bytes, zero bytes among them; false when it
// holds none. The line is followed by at least kScanSlack readable bytes.
bool read_logged_range(const char* begin, const char* end, int32_t& NMin, int32_t& NMax);

// The run log stage: appends the line for this run, which wrote
// linesWritten lines, to the run log in the current directory. Problems
// are reported; the run goes on.
void append_run_log(const RunSettings& settings, int32_t linesWritten);
