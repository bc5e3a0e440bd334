#include "sieve_skip.h"

#include <algorithm>
#include <cstddef>

#include "decimal.h"

namespace {

// A run of whole "+" lines: its length in bytes (0 when p starts none) and
// the sum of its differences.
struct PlusRun {
    int32_t length;
    int64_t sum;
};

int32_t advanced(int32_t n, int64_t sum) { return clamp_to_int32(n + sum); }

// The "+" line of at most kMaxPlusDigits digits at p.
PlusRun plus_line_at(const char* p, const char* end) {
    if (p == end || *p != '+') return {0, 0};
    const char* q = p + 1;
    int64_t difference = 0;
    for (; q < end && is_digit(*q) && q - p <= kMaxPlusDigits; ++q) difference = difference * 10 + (*q - '0');
    const auto digits = q - p - 1;
    if (digits == 0 || (q < end && is_digit(*q))) return {0, 0};
    if (q < end && *q == '\r') ++q;
    if (q == end || *q != '\n') return {0, 0};
    return {static_cast<int32_t>(q + 1 - p), difference};
}

constexpr int64_t power_of_ten(int32_t exponent) { return exponent == 0 ? 1 : 10 * power_of_ten(exponent - 1); }

// Runs of "+" lines are checked and summed a block of bytes at a time, a
// batch of blocks in one go while even the largest possible sum could not
// carry n into the range. The largest difference per byte is that of the
// longest line, "+999\n", rounded up: (10^d - 1) / (d + 2) grows with d.
constexpr int64_t kMaxSumPerByte = (power_of_ten(kMaxPlusDigits) - 1 + kMaxPlusDigits + 1) / (kMaxPlusDigits + 2);
constexpr int32_t kBatchBytes = 4096;

}  // namespace

const char* skip_plus_blocks(const char* p, const char* end, int32_t& n, const PairFilter& filter,
                             Kernel kernel) {
    if (kernel == Kernel::kPortable) return p;
    while (end - p >= kPlusBlockBytes + kPlusLookahead) {
        const auto room = static_cast<int32_t>((end - p - kPlusLookahead) / kPlusBlockBytes);
        const bool batchStoresNone = stores_none_between(filter, n, n + kMaxSumPerByte * kBatchBytes);
        const int32_t blocks = batchStoresNone ? std::min(room, kBatchBytes / kPlusBlockBytes) : 1;
        int64_t sum = 0;
        const int32_t length = scan_plus_blocks(p, blocks, sum, kernel);
        if (length == 0 || !stores_none_between(filter, n, n + sum)) break;
        n = advanced(n, sum);
        p += length;
    }
    return p;
}

const char* skip_unstored_plus_lines(const char* p, const char* end, int32_t& n, const PairFilter& filter,
                                     Kernel kernel) {
    int32_t current = n;  // kept in a register through the loop
    for (;;) {
        p = skip_plus_blocks(p, end, current, filter, kernel);
        const PlusRun line = plus_line_at(p, end);
        if (line.length == 0 || stores_n(filter, advanced(current, line.sum))) break;
        current = advanced(current, line.sum);
        p += line.length;
    }
    n = current;
    return p;
}
