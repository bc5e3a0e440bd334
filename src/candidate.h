// The pairs of a run and the table that holds them.
#pragma once

#include <array>
#include <cstdint>

// One pair (k, n) naming the number k*2^n+1. k == 0 marks an entry that the
// removal list dropped; only entries with k > 0 are written.
struct Candidate {
    int32_t k;
    int32_t n;
};

// The one order pairs are compared by: their n. The batch goes out in it,
// and a range too full is cut by it.
inline bool has_smaller_n(const Candidate& a, const Candidate& b) { return a.n < b.n; }

// The table fills up at its last slot: at most kTableSlots - 1 entries are
// ever kept, the next stored pair ends the run.
inline constexpr int32_t kTableSlots = 10000;

using CandidateArray = std::array<Candidate, kTableSlots>;

// Entries in reading order; count says how many are in use.
struct CandidateTable {
    CandidateArray entries;
    int32_t count;
};
