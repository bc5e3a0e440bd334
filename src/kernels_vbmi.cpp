// The "+"-run kernel 64 bytes at a time by table lookups, with AVX-512 VBMI
// and VNNI (compiled with -mavx512f -mavx512bw -mavx512vbmi -mavx512vnni):
// an algorithm of its own, kept as it runs a whole run more than a tenth
// faster than the generic kernel of its width (docs/DEVELOPING.md). Each
// byte's class (0 for none of a run's, else the generic class plus one),
// the next byte's class, and whether the two after that are digits index a
// table that says whether the bytes may follow each other in the grammar of
// kernels.h and gives a digit its place weight (1, 10 or 100); so a block
// needs no state from the block before, and its weighted digits are summed
// by one dot product. A byte's own class is looked up by its low seven bits
// (a byte from 128 up is refused by its top bit), the bytes after it by
// their low six: a misread there concerns a byte that is refused in its own
// place, or lies past the run's last newline.
#include <immintrin.h>

#include "kernels_generic.h"

namespace {

constexpr uint8_t kInvalid = 0x80;
constexpr int32_t kDigitClass = 3;

constexpr int32_t run_class(int32_t byte) {
    return byte < 128 && kNibbleOwners[byte & 15] == byte ? class_of(static_cast<char>(byte)) + 1 : 0;
}

// The weight, or kInvalid, at 20 * class + 4 * next class + 2 * (digit two
// on) + (digit three on): a digit before the line's end weighs 1, before
// one more digit 10, before two 100; a fourth digit is refused.
static_assert(kMaxPlusDigits == 3, "the sequence table looks at three bytes after each byte");
constexpr uint8_t sequence_weight(int32_t index) {
    const int32_t self = index / 20, next = index % 20 / 4, later = index % 4;
    if (self == 0 || next == 0 || next > 4 || !may_follow(self - 1, next - 1)) return kInvalid;
    if (self != kDigitClass) return 0;
    return next != kDigitClass ? 1 : later < 2 ? 10 : later == 2 ? 100 : kInvalid;
}

alignas(64) constexpr auto kClassTimes20 = byte_table<128>([](int32_t b) { return 20 * run_class(b); });
alignas(64) constexpr auto kClassTimes4 = byte_table<64>([](int32_t b) { return 4 * run_class(b); });
alignas(64) constexpr auto kDigitTimes2 = byte_table<64>([](int32_t b) { return run_class(b) == kDigitClass ? 2 : 0; });
alignas(64) constexpr auto kDigitTimes1 = byte_table<64>([](int32_t b) { return run_class(b) == kDigitClass ? 1 : 0; });
alignas(64) constexpr auto kSequences = byte_table<128>(sequence_weight);

__m512i load(const void* p) { return _mm512_loadu_si512(p); }

// table[index & 63] for each byte. (The unmasked intrinsic trips a false
// "uninitialized" warning in GCC 12's header.)
__m512i lookup(__m512i index, __m512i table) { return _mm512_maskz_permutexvar_epi8(~uint64_t{0}, index, table); }

int32_t scan_plus_blocks(const char* p, int32_t blocks, int64_t& sum) {
    if (*p != '+') return 0;
    const __m512i times20Low = load(kClassTimes20.entry), times20High = load(kClassTimes20.entry + 64);
    const __m512i times4 = load(kClassTimes4.entry), digit2 = load(kDigitTimes2.entry), digit1 = load(kDigitTimes1.entry);
    const __m512i sequencesLow = load(kSequences.entry), sequencesHigh = load(kSequences.entry + 64);
    __m512i sums = _mm512_setzero_si512();
    __m512i weights = _mm512_setzero_si512();
    int32_t taken = 0;
    for (; taken < blocks; ++taken) {
        const char* q = p + kPlusBlockBytes * taken;
        const __m512i bytes = load(q);
        const __m512i index = _mm512_add_epi8(
            _mm512_add_epi8(_mm512_permutex2var_epi8(times20Low, bytes, times20High), lookup(load(q + 1), times4)),
            _mm512_add_epi8(lookup(load(q + 2), digit2), lookup(load(q + 3), digit1)));
        const __m512i blockWeights = _mm512_permutex2var_epi8(sequencesLow, index, sequencesHigh);
        if (_mm512_movepi8_mask(_mm512_or_si512(blockWeights, bytes)) != 0) break;
        weights = blockWeights;
        sums = _mm512_dpbusd_epi32(sums, weights, _mm512_sub_epi8(bytes, _mm512_set1_epi8('0')));
    }
    if (taken == 0) return 0;
    const __m512i lastBytes = load(p + kPlusBlockBytes * (taken - 1));
    const uint64_t newlines = _mm512_cmpeq_epi8_mask(lastBytes, _mm512_set1_epi8('\n'));
    if (newlines == 0) return 0;
    // The digits after the last newline belong to a line the run does not take.
    const int32_t lastNewline = 64 - __builtin_clzll(newlines);
    const uint64_t after = lastNewline == 64 ? 0 : ~uint64_t{0} << lastNewline;
    sums = _mm512_sub_epi32(sums, _mm512_dpbusd_epi32(_mm512_setzero_si512(), _mm512_maskz_mov_epi8(after, weights),
                                                      _mm512_sub_epi8(lastBytes, _mm512_set1_epi8('0'))));
    int32_t lanes[16] = {};
    _mm512_storeu_si512(lanes, sums);
    sum = 0;
    for (const int32_t lane : lanes) sum += lane;
    return kPlusBlockBytes * (taken - 1) + lastNewline;
}

}  // namespace

// The other jobs are the AVX-512 BW unit's.
const Kernels vbmi::kKernels = {scan_plus_blocks, nullptr, nullptr, nullptr};
