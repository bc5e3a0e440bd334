// Which pairs (k, n) of the sieve file are kept: those with NMin <= n < NMax,
// except the pairs of k values that are sieved elsewhere and never handed
// out. The sieve reader and its fast path both ask here.
#pragma once

#include <cstdint>

inline constexpr bool is_excluded_k(int32_t k) { return k == 5359 || k == 28433; }

struct PairFilter {
    int32_t NMin;
    int32_t NMax;
    bool kKept;  // the current k is known and not excluded
};

// Whether the pair of the current k and n is stored.
inline bool stores_n(const PairFilter& filter, int32_t n) {
    return filter.kKept && n >= filter.NMin && n < filter.NMax;
}

// Whether no n from low up to high is stored: a conservative test for a run
// of lines along which n only rises.
inline bool stores_none_between(const PairFilter& filter, int64_t low, int64_t high) {
    return !filter.kKept || high < filter.NMin || low >= filter.NMax;
}
