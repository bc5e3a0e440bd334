// Plain readings of the input files, kept as the measure of the tool's own
// readers: one fgets of at most 99 characters at a time, each read parsed
// with sscanf, nothing clever. (On a host whose long has 64 bits.)
#pragma once

#include <cstdint>
#include <cstdio>

#include "candidate.h"
#include "sieve_file.h"

#include <string>

// The bytes that the tool's reads are cut from, in mode: the text of a file
// that starts with a UTF-16 byte-order mark one byte a character (ASCII as
// itself, any other character '?'); then in the Windows runtime's text
// mode, CR LF becomes LF, and a byte 0x1A ends the file.
std::string readable_bytes(const std::string& raw, InputMode mode);

// A table that fills up holds the kTableSlots pairs of the smallest n, in
// ascending n.
SieveOutcome reference_read_sieve(std::FILE* in, int32_t NMin, int32_t NMax, CandidateTable& table);

// Returns the number of entries removed; false in readToEnd on a read error.
int32_t reference_apply_removal(std::FILE* in, int32_t NMin, int32_t NMax, CandidateTable& table,
                                bool& readToEnd);
