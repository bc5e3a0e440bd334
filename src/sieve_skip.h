// The sieve reader's fast path: skipping runs of "+<d>" lines that store no
// pair. The processor-specific code of the tool lives here, behind one
// choice of kernel.
//
// Most of a sieve file is short lines "+<d>" that add d to n. While k is not
// one whose pairs are kept, or while the range lies wholly above or below
// the n values reached, such lines only move n on, and their differences can
// be summed many bytes at a time. Because a difference written as digits
// alone is never negative, n only grows over a run of them: a block whose
// first n is already at or past NMax, or whose last n is still below NMin,
// yields no candidate.
#pragma once

#include <cstdint>

#include "pair_filter.h"

// The lines the fast path skips: "+", 1 to kMaxPlusDigits digits, and "\n"
// or "\r\n". Longer lines are read as any other line.
inline constexpr int32_t kMaxPlusDigits = 3;

enum class SkipKernel {
    kPortable,  // one line at a time, in plain C++
    kSse2,      // 16 bytes at a time
    kAvx2,      // 32 bytes at a time
    kAvx512,    // 64 bytes at a time by table lookups (AVX-512 VBMI and VNNI)
};

// The fastest kernel this processor can run.
SkipKernel fastest_skip_kernel();

// The block kernels alone: from p, the start of a line, skips whole blocks
// of "+" lines while no line in them stores a pair, and returns where they
// stopped (p itself with the portable kernel).
const char* skip_plus_blocks(const char* p, const char* end, int32_t& n, const PairFilter& filter,
                             SkipKernel kernel);

// Starting at p, the start of a line, skips "+" lines of at most
// kMaxPlusDigits digits that lie wholly before end and do not store a pair;
// n moves on by their differences. Returns where the first line not skipped
// starts.
const char* skip_unstored_plus_lines(const char* p, const char* end, int32_t& n, const PairFilter& filter,
                                     SkipKernel kernel);
