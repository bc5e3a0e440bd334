// Reads the sieve file into the candidate table: every pair (k, n) that
// pair_filter.h keeps, in file order. The file is taken in reads as
// input_reads.h describes; the first three reads are a header.
#pragma once

#include <cstdint>
#include <cstdio>

#include "candidate.h"
#include "input_reads.h"
#include "pair_filter.h"
#include "run_settings.h"
#include "run_status.h"

inline constexpr const char* kSieveFileName = "drask.dat";
inline constexpr int32_t kSieveHeaderReads = 3;

enum class SieveOutcome {
    kEndOfFile,
    kTableFull,  // more pairs than the table keeps: it holds those of the smallest n
    kReadError,  // the table may be full too
};

// What reading the sieve file found: how it ended, and the first line
// among the header's that starts a k section ("k="), numbered from 1; 0
// when none does. Such a line is skipped all the same, but it suggests a
// file without its three header lines, whose first section is lost.
struct SieveResult {
    SieveOutcome outcome;
    int32_t keyedHeaderLine;
};

// Reads the whole stream, header included, into table. Each read is
// interpreted by its first
// character: "k=<k>" sets k, "+<d>" adds d to n, anything else is an
// absolute n; a read without a readable number changes nothing, and a "k"
// read without one makes k unknown until the next readable "k=" read. Pairs
// are stored only while k is known. When a pair fills the table's last
// slot, the rest is read all the same, keeping the kTableSlots pairs of the
// smallest n (in no order), so that range_that_fits can tell how far the
// range may reach.
SieveResult read_sieve_stream(std::FILE* in, InputMode mode, NRange range, CandidateTable& table);

// For a table that the whole file filled: the largest NMax for which the
// same NMin keeps fewer than kTableSlots pairs (the kTableSlots-th smallest
// n), and how many pairs it keeps; none when at least kTableSlots pairs
// share the smallest n.
struct FittingRange {
    int32_t NMax;
    int32_t pairs;
};
FittingRange range_that_fits(const CandidateTable& full);

// The sieve stage: opens the sieve file, fills table with the kernel chosen
// for this processor, reports problems and then the count of pairs
// found, with a note on a header line that starts a k section; a run that
// found none is finished. A range with too many pairs is refused with the
// NMax that would fit and the command with it.
StageStatus read_sieve_file(const RunSettings& settings, CandidateTable& table);

// The sieve reader's fast path: skipping runs of "+<d>" lines that store no
// pair, a batch of blocks at a time with the chosen kernel (kernels.h).
//
// Most of a sieve file is short lines "+<d>" that add d to n. While k is not
// one whose pairs are kept, or while the range lies wholly above or below
// the n values reached, such lines only move n on, and their differences can
// be summed many bytes at a time. Because a difference written as digits
// alone is never negative, n only grows over a run of them: a block whose
// first n is already at or past NMax, or whose last n is still below NMin,
// yields no candidate.

// The block kernels alone: from p, the start of a line, skips whole blocks
// of "+" lines while no line in them stores a pair, and returns where they
// stopped (p itself where the kernels take no blocks).
const char* skip_plus_blocks(const char* p, const char* end, int32_t& n, const PairFilter& filter);

// Starting at p, the start of a line, skips "+" lines of the grammar of
// kernels.h that lie wholly before end and do not store a pair; n moves on
// by their differences. Returns where the first line not skipped starts.
const char* skip_unstored_plus_lines(const char* p, const char* end, int32_t& n, const PairFilter& filter);
