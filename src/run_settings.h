// What a run is asked to do, filled once from the command line and never
// changed afterwards.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "pair_filter.h"

// Room for a path of at most 999 characters plus its terminating zero.
inline constexpr std::size_t kOutputPathSize = 1000;
using OutputPath = std::array<char, kOutputPathSize>;

struct RunSettings {
    int32_t NMin;
    int32_t NMax;
    int32_t SieveDepth;
    int32_t WactorWorth;
    OutputPath outputPath;  // the work file's
    const char* folder;     // as the run read it; nullptr when none was given
    const char* program;    // as it was typed, for the commands the run suggests
};

inline NRange range_of(const RunSettings& settings) { return {settings.NMin, settings.NMax}; }
