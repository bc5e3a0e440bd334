// Reads the sieve file into the candidate table: every pair (k, n) with
// NMin <= n < NMax, in file order, except those of the excluded k values.
// The file is taken in reads as input_reads.h describes; the first three
// reads are a header.
#pragma once

#include <cstdint>
#include <cstdio>

#include "candidate.h"
#include "input_reads.h"
#include "plus_lines.h"

inline constexpr const char* kSieveFileName = "drask.dat";
inline constexpr int32_t kSieveHeaderReads = 3;

struct SieveBuffer {
    InputBlock block;
    PlusLineKernel kernel;  // how runs of "+" lines are skipped
};

enum class SieveOutcome {
    kEndOfFile,
    kTableFull,  // the stored pair filled the table's last slot
    kReadError,
};

// Reads the whole stream, header included, into table. Each read is
// interpreted by its first character: "k=<k>" sets k, "+<d>" adds d to n,
// anything else is an absolute n; a read without a readable number changes
// nothing, and a "k" read without one makes k unknown until the next
// readable "k=" read. Pairs are stored only while k is known.
SieveOutcome read_sieve_stream(std::FILE* in, InputMode mode, int32_t NMin, int32_t NMax, CandidateTable& table,
                               SieveBuffer& buffer);

// The sieve stage: opens the sieve file, fills table and reports problems.
StageStatus read_sieve_file(const RunSettings& settings, CandidateTable& table, SieveBuffer& buffer);
