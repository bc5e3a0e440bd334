// Drops the candidates that the removal list names: each matching entry of
// the table is marked by setting its k to 0 and keeps its place.
#pragma once

#include <cstdint>
#include <cstdio>

#include "candidate.h"
#include "input_reads.h"
#include "pair_filter.h"
#include "run_settings.h"

inline constexpr const char* kRemovalListName = "recent.txt";

// Indexes the table in the stage's own index, then reads the whole stream
// in reads as input_reads.h describes, the first a header: a read "<any number> <k> <n>" whose n lies in the range marks
// every entry (k, n) not marked yet, and a read without all three numbers
// marks nothing. Adds the entries marked to removed.
// False when reading failed before the end; the lines read whole before
// the failure still mark.
bool read_removal_stream(std::FILE* in, InputMode mode, NRange range, CandidateTable& table, int32_t& removed);

// The removal stage: reads the removal list if there is one and reports
// what it removed. A missing or unreadable list is reported; the run goes
// on either way.
void apply_removal_list(const RunSettings& settings, CandidateTable& table);
