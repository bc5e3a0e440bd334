// Drops the candidates that the removal list names: each matching entry of
// the table is marked by setting its k to 0 and keeps its place.
#pragma once

#include <cstdint>
#include <cstdio>

#include "candidate.h"
#include "input_reads.h"

inline constexpr const char* kRemovalListName = "recent.txt";

// The first read of the list is a header and is not interpreted.
inline constexpr int32_t kRemovalHeaderReads = 1;

// Interprets the read [begin, end), "<any number> <k> <n>": when n lies in
// the range, marks every entry (k, n) not marked yet. A read without all
// three numbers marks nothing. Returns the number of entries marked.
int32_t take_removal_read(const char* begin, const char* end, int32_t NMin, int32_t NMax, CandidateTable& table);

// Reads the whole stream in reads as input_reads.h describes, the first a
// header, adding the entries marked to removed. False when reading failed
// before the end; the lines read whole before the failure still mark.
bool read_removal_stream(std::FILE* in, InputMode mode, int32_t NMin, int32_t NMax, CandidateTable& table,
                         InputBlock& block, int32_t& removed);

// The removal stage: reads the removal list if there is one, using block,
// and reports what it removed. A missing or unreadable list is reported;
// the run goes on either way.
void apply_removal_list(const RunSettings& settings, CandidateTable& table, InputBlock& block);
