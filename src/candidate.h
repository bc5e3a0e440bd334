// Types shared by every stage of a run.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// One pair (k, n) naming the number k*2^n+1. k == 0 marks an entry that the
// removal list dropped; only entries with k > 0 are written.
struct Candidate {
    int32_t k;
    int32_t n;
};

// The table fills up at its last slot: at most kTableSlots - 1 entries are
// ever kept, the next stored pair ends the run.
inline constexpr int32_t kTableSlots = 10000;

using CandidateArray = std::array<Candidate, kTableSlots>;

// Entries in reading order; count says how many are in use.
struct CandidateTable {
    CandidateArray entries;
    int32_t count;
};

// Room for a path of at most 999 characters plus its terminating zero.
inline constexpr std::size_t kOutputPathSize = 1000;
using OutputPath = std::array<char, kOutputPathSize>;

struct RunSettings {
    int32_t NMin;
    int32_t NMax;
    int32_t SieveDepth;
    int32_t WactorWorth;
    OutputPath outputPath;
    const char* folder;  // as the run read it; nullptr when none was given
    bool preview;  // a preview: every stage looks, none changes anything
};
