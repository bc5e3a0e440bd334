// Skipping runs of "+<d>" lines that cannot yield a candidate.
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

enum class PlusLineKernel {
    kPortable,  // one line at a time, in plain C++
    kSse2,      // 16 bytes at a time
    kAvx2,      // 32 bytes at a time
};

// The fastest kernel this processor can run.
PlusLineKernel fastest_plus_line_kernel();

// What decides whether a "+" line stores its pair.
struct PlusLineBounds {
    int32_t NMin;
    int32_t NMax;
    bool storable;  // k is known and not one of the excluded values
};

// Starting at p, the start of a line, skips lines "+<1 to 4 digits>" ending
// in "\n" or "\r\n" that lie wholly before end and do not store a pair;
// n moves on by their differences. Returns where the first line not skipped
// starts.
const char* skip_plus_lines(const char* p, const char* end, int32_t& n, const PlusLineBounds& bounds,
                            PlusLineKernel kernel);
