// The sieve reader's fast path: skipping runs of "+<d>" lines that store no
// pair, a batch of blocks at a time with the kernel given (kernels.h).
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

#include "kernels.h"
#include "pair_filter.h"

// The block kernels alone: from p, the start of a line, skips whole blocks
// of "+" lines while no line in them stores a pair, and returns where they
// stopped (p itself with the portable kernel).
const char* skip_plus_blocks(const char* p, const char* end, int32_t& n, const PairFilter& filter,
                             Kernel kernel);

// Starting at p, the start of a line, skips "+" lines of at most
// kMaxPlusDigits digits that lie wholly before end and do not store a pair;
// n moves on by their differences. Returns where the first line not skipped
// starts.
const char* skip_unstored_plus_lines(const char* p, const char* end, int32_t& n, const PairFilter& filter,
                                     Kernel kernel);
