// Which pairs (k, n) of the sieve file are kept: those with NMin <= n <
// NMax, except the pairs of k values that are sieved elsewhere and never
// handed out. The range is stated here alone, for the sieve reader and its
// fast path, the removal list and the preview's logged ranges.
#pragma once

#include <cstdint>

inline constexpr bool is_excluded_k(int32_t k) { return k == 5359 || k == 28433; }

// The range of n: NMin <= n < NMax.
struct NRange {
    int32_t NMin;
    int32_t NMax;
};

// Whether some n from low up to high, both included, lies in the range.
inline bool meets(const NRange& range, int64_t low, int64_t high) {
    return low <= high && high >= range.NMin && low < range.NMax;
}

struct PairFilter {
    NRange range;
    bool keepsK;  // the current k is known and not excluded
};

// Whether no n from low up to high is stored: a conservative test for a run
// of lines along which n only rises.
inline bool stores_none_between(const PairFilter& filter, int64_t low, int64_t high) {
    return !filter.keepsK || !meets(filter.range, low, high);
}

// Whether the pair of the current k and n is stored.
inline bool stores_n(const PairFilter& filter, int32_t n) { return !stores_none_between(filter, n, n); }
