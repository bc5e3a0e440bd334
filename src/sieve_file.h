// Reads the sieve file into the candidate table: every pair (k, n) with
// NMin <= n < NMax, in file order, except those of the excluded k values.
#pragma once

#include <cstdint>
#include <cstdio>

#include "candidate.h"

inline constexpr const char* kSieveFileName = "drask.dat";

// The first reads of the file are a header and are not interpreted.
inline constexpr int32_t kSieveHeaderReads = 3;

// State carried from one line to the next.
struct SieveReader {
    int32_t currentK;
    int32_t currentN;
    bool kKnown;  // false before the first readable "k=" line and after an unreadable one
};

inline constexpr SieveReader kFreshSieveReader = {0, 0, false};

enum class SieveOutcome {
    kEndOfFile,
    kTableFull,  // the stored pair filled the table's last slot
    kReadError,
};

// Interprets one read: "k=<k>" sets k, "+<d>" adds d to n, anything else is
// an absolute n. A line without a readable number changes nothing. False
// when the pair it stored filled the table.
bool take_sieve_line(const char* line, int32_t NMin, int32_t NMax, SieveReader& reader,
                     CandidateTable& table);

// Reads the whole stream, header included, into table.
SieveOutcome read_sieve_stream(std::FILE* in, int32_t NMin, int32_t NMax, CandidateTable& table);

// The sieve stage: opens the sieve file, fills table and reports problems.
StageStatus read_sieve_file(const RunSettings& settings, CandidateTable& table);
