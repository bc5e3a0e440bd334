// Drops the candidates that the removal list names: each matching entry of
// the table is marked by setting its k to 0 and keeps its place.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "candidate.h"
#include "input_reads.h"

inline constexpr const char* kRemovalListName = "recent.txt";

// The first read of the list is a header and is not interpreted.
inline constexpr int32_t kRemovalHeaderReads = 1;

// Hash slots of the index: a power of two, over three times the table, so
// that most lookups of a pair the table does not hold end at the first slot.
inline constexpr std::size_t kIndexSlots = 32768;
// Bits of the index's filter, small enough to stay in the processor's
// fastest cache: most pairs the table does not hold find their bit clear.
inline constexpr std::size_t kFilterBits = 131072;

// The table's entries by their pair (k, n), so that the entries a line names
// are found without a scan: the slots lead to the first place of each pair,
// and each place to the next place of the same pair. The pairs are copied
// when the index is built. Once a line has marked a pair's entries, its slot
// says so, and a line that names the pair again costs no walk.
struct RemovalIndex {
    std::array<uint64_t, kFilterBits / 64> filter;  // a bit set for the hash of every pair held
    std::array<int32_t, kIndexSlots> firstPlace;  // -1: an empty slot; below: every entry marked
    std::array<uint64_t, kTableSlots> pairs;      // the pair at each place, as one number
    std::array<int32_t, kTableSlots> nextPlace;   // -1: no further place
};

// Indexes the table, then reads the whole stream with the given kernel in
// reads as input_reads.h describes, the first a header: a read "<any number> <k> <n>" whose n lies
// in the range marks every entry (k, n) not marked yet, and a read without
// all three numbers marks nothing. Adds the entries marked to removed.
// False when reading failed before the end; the lines read whole before
// the failure still mark.
bool read_removal_stream(std::FILE* in, InputMode mode, int32_t NMin, int32_t NMax, CandidateTable& table,
                         RemovalIndex& index, InputBlock& block, Kernel kernel, int32_t& removed);

// The removal stage: reads the removal list if there is one and reports
// what it removed. A missing or unreadable list is reported; the run goes
// on either way.
void apply_removal_list(const RunSettings& settings, CandidateTable& table);
