#include "sieve_skip.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>

#include "decimal.h"

#if defined(__x86_64__) || defined(_M_X64)
#define BRISVEL_X86_64 1
#include <immintrin.h>
#endif

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

// Runs are checked a block of 64 bytes at a time, from bit masks of its
// newlines, carriage returns, plus signs and digits (bit i for byte i).
constexpr int32_t kBlockBytes = 64;
// Bytes past a block that a kernel reads to check and weigh its last
// bytes: a digit's place needs the bytes after it, up to the longest line.
constexpr int32_t kLookahead = kMaxPlusDigits;
// The place weight of a leading digit is a byte in the kernels' sums.
static_assert(power_of_ten(kMaxPlusDigits - 1) <= 255);

#ifdef BRISVEL_X86_64

// Everything a kernel calls in its loop is inlined at every optimisation
// level: called, a helper would pass its vectors through memory, and a call
// from AVX code clears the vector registers' upper halves on every block.
#define BRISVEL_INLINE inline __attribute__((always_inline))
// Each kernel stays a function of its own, with nothing called inside it:
// .ci/run checks that in the optimised build's object.
#define BRISVEL_KERNEL __attribute__((noinline))

// The bytes of a run of "+" lines by class, and which may follow which: a
// line is "+", its digits, and "\n" or "\r\n".
enum ByteClass : uint8_t { kOther, kPlus, kDigit, kCr, kLf };

constexpr ByteClass class_of(int byte) {
    if (byte == '+') return kPlus;
    if (byte >= '0' && byte <= '9') return kDigit;
    return byte == '\r' ? kCr : byte == '\n' ? kLf : kOther;
}

constexpr bool may_follow(ByteClass self, ByteClass next) {
    return (self == kLf && next == kPlus) || (self == kPlus && next == kDigit) ||
           (self == kDigit && (next == kDigit || next == kCr || next == kLf)) || (self == kCr && next == kLf);
}

struct BlockMasks {
    uint64_t newline;
    uint64_t cr;
    uint64_t plus;
    uint64_t digit;
};

// What a block passes on to the next: whether its last byte is a newline, a
// plus sign or a carriage return (as bit 0), and its last three digit bits.
struct RunCarry {
    uint64_t newline;
    uint64_t plus;
    uint64_t cr;
    uint64_t lastDigits;
};

constexpr RunCarry kAtLineStart = {1, 0, 0, 0};

// The bits that end more than kMaxPlusDigits digit bits in a row.
BRISVEL_INLINE uint64_t too_many_digits(uint64_t digits) {
    uint64_t run = digits;
    for (int32_t i = 1; i <= kMaxPlusDigits; ++i) run &= digits >> i;
    return run;
}

// True when a block continues a run of "+" lines, given what the block
// before passed on.
BRISVEL_INLINE bool continues_plus_run(const BlockMasks& m, RunCarry& carry) {
    // The digit bits on each side of the boundary with the block before.
    const uint64_t edge = (m.digit << kMaxPlusDigits | carry.lastDigits) & ((uint64_t{1} << 2 * kMaxPlusDigits) - 1);
    const bool valid =
        (m.newline | m.cr | m.plus | m.digit) == ~uint64_t{0} &&             // nothing else
        m.plus == (m.newline << 1 | carry.newline) &&                        // '+' exactly at line starts
        ((m.plus << 1 | carry.plus) & ~m.digit) == 0 &&                      // then a digit
        (m.cr & ~(m.newline >> 1) & ~uint64_t{0} >> 1) == 0 && (carry.cr & ~m.newline) == 0 &&  // '\r' then '\n'
        too_many_digits(m.digit) == 0 && too_many_digits(edge) == 0;
    carry = {m.newline >> 63, m.plus >> 63, m.cr >> 63, m.digit >> (64 - kMaxPlusDigits)};
    return valid;
}

// The length of a checked run of blocks: up to the last newline of the last.
BRISVEL_INLINE int32_t run_length(int32_t blocks, uint64_t lastNewlines) {
    return lastNewlines == 0 ? 0 : kBlockBytes * (blocks - 1) + static_cast<int32_t>(std::bit_width(lastNewlines));
}


// 64 lanes of zeros, then 64 of all ones: a load at kTrailingOnes + 64 - k
// has its lanes from k on set.
constexpr std::array<unsigned char, 2 * kBlockBytes> trailing_ones() {
    std::array<unsigned char, 2 * kBlockBytes> lanes{};
    for (int32_t i = kBlockBytes; i < 2 * kBlockBytes; ++i) lanes[static_cast<std::size_t>(i)] = 255;
    return lanes;
}
alignas(64) constexpr std::array<unsigned char, 2 * kBlockBytes> kTrailingOnes = trailing_ones();

// The lanes after the last newline of a block: the start of a line that
// continues past it, which a run does not take.
BRISVEL_INLINE const char* lanes_after(uint64_t newlines) {
    return reinterpret_cast<const char*>(kTrailingOnes.data()) + kBlockBytes - std::bit_width(newlines);
}

// Each block's digits are added, weighted, into 32-bit lanes of sums. A
// digit is a units digit when the byte after it ends the line, a tens digit
// when the byte after that does, and a hundreds digit otherwise; loads at
// q + 1 and q + 2 line those bytes up with it, so a block reads 2 bytes past
// its end. A scan takes blocks up to the first that holds anything but "+"
// lines, and the run ends at the last newline of the last block taken: the
// digits after it are taken back out of the sum. Returns the run's length,
// 0 when the first block is not taken.

BRISVEL_INLINE __m128i load_128(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

BRISVEL_INLINE __m128i line_ends_128(const char* p) {
    const __m128i bytes = load_128(p);
    return _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')));
}

BRISVEL_INLINE uint64_t bits_128(__m128i lanes, int shift) {
    return uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(lanes))} << shift;
}

BRISVEL_INLINE __m128i weighted_digits_128(const char* q, __m128i values, __m128i digits) {
    const __m128i units = line_ends_128(q + 1);
    const __m128i tens = _mm_andnot_si128(units, line_ends_128(q + 2));
    const __m128i hundreds = _mm_andnot_si128(_mm_or_si128(units, tens), _mm_set1_epi8(-1));
    const __m128i weights = _mm_and_si128(
        digits, _mm_or_si128(_mm_or_si128(_mm_and_si128(units, _mm_set1_epi8(1)), _mm_and_si128(tens, _mm_set1_epi8(10))),
                             _mm_and_si128(hundreds, _mm_set1_epi8(100))));
    const __m128i zero = _mm_setzero_si128();
    return _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(values, zero), _mm_unpacklo_epi8(weights, zero)),
                         _mm_madd_epi16(_mm_unpackhi_epi8(values, zero), _mm_unpackhi_epi8(weights, zero)));
}

BRISVEL_INLINE int64_t total_128(__m128i sums) {
    const __m128i pairs = _mm_add_epi32(sums, _mm_shuffle_epi32(sums, _MM_SHUFFLE(1, 0, 3, 2)));
    return _mm_cvtsi128_si32(_mm_add_epi32(pairs, _mm_shuffle_epi32(pairs, _MM_SHUFFLE(2, 3, 0, 1))));
}

// The block's values (bytes less '0') and digit lanes, and its masks.
BRISVEL_INLINE BlockMasks read_block_128(const char* q, __m128i (&values)[4], __m128i (&digits)[4]) {
    BlockMasks masks{};
    for (int i = 0; i < 4; ++i) {
        const __m128i bytes = load_128(q + 16 * i);
        values[i] = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
        digits[i] = _mm_cmpeq_epi8(_mm_min_epu8(values[i], _mm_set1_epi8(9)), values[i]);
        masks.newline |= bits_128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')), 16 * i);
        masks.cr |= bits_128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')), 16 * i);
        masks.plus |= bits_128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('+')), 16 * i);
        masks.digit |= bits_128(digits[i], 16 * i);
    }
    return masks;
}

// The weighted digits of the block at q in the given lanes (all when null).
BRISVEL_INLINE __m128i block_sum_128(const char* q, const __m128i (&values)[4], const __m128i (&digits)[4], const char* lanes) {
    __m128i sums = _mm_setzero_si128();
    for (int i = 0; i < 4; ++i) {
        const __m128i counted = lanes == nullptr ? digits[i] : _mm_and_si128(digits[i], load_128(lanes + 16 * i));
        sums = _mm_add_epi32(sums, weighted_digits_128(q + 16 * i, values[i], counted));
    }
    return sums;
}

BRISVEL_KERNEL int32_t scan_plus_blocks_sse2(const char* p, int32_t blocks, int64_t& sum) {
    RunCarry carry = kAtLineStart;
    __m128i sums = _mm_setzero_si128();
    __m128i values[4];
    __m128i digits[4];
    int32_t taken = 0;
    uint64_t newlines = 0;
    for (; taken < blocks; ++taken) {
        const BlockMasks masks = read_block_128(p + kBlockBytes * taken, values, digits);
        if (!continues_plus_run(masks, carry)) break;
        sums = _mm_add_epi32(sums, block_sum_128(p + kBlockBytes * taken, values, digits, nullptr));
        newlines = masks.newline;
    }
    if (taken == 0) return 0;
    const char* last = p + kBlockBytes * (taken - 1);
    read_block_128(last, values, digits);
    sums = _mm_sub_epi32(sums, block_sum_128(last, values, digits, lanes_after(newlines)));
    sum = total_128(sums);
    return run_length(taken, newlines);
}

// With AVX2 a block is checked, and its digits summed, in vector registers,
// and tested once. Each byte a run may hold has a low nibble of its own
// ('0' to '9' 0 to 9, LF A, '+' B, CR D), so lookups by the low nibble
// (vpshufb) tell whether a byte is one of them (its own entry equals it; a
// byte from 0x80 up looks up 0), its class, and, with the next byte's class,
// whether the two may follow each other. Four bytes in a row of which none
// is below '0' are four digits (every other byte a run holds is below it).
// The digits are counted unweighted, and so are those followed by a digit
// and those followed by two: a digit's place weight 1, 10 or 100 comes out
// as all + 9 * (one after) + 90 * (two after). A block reads three bytes
// past its end.
#define BRISVEL_AVX2 __attribute__((target("avx2"))) BRISVEL_INLINE

// The byte whose low nibble each entry is, 0 where there is none.
constexpr std::array<char, 16> kNibbleOwners = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                '8', '9', '\n', '+', 0, '\r', 0, 0};

// A byte's class in two bits: LF, '+', digit, CR. (A byte of no class is
// refused by its own entry.)
constexpr int two_bit_class(ByteClass c) { return c == kLf ? 0 : c; }
constexpr ByteClass from_two_bits(int bits) { return bits == 0 ? kLf : ByteClass(bits); }

// A lookup by low nibble, in both 16-byte halves of a vector.
template <typename Entry>
constexpr std::array<uint8_t, 32> nibble_table(Entry entry) {
    std::array<uint8_t, 32> table{};
    for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint8_t>(entry(i % 16));
    return table;
}

alignas(32) constexpr auto kOwnByte = nibble_table([](std::size_t i) { return kNibbleOwners[i]; });
alignas(32) constexpr auto kClassOf =
    nibble_table([](std::size_t i) { return two_bit_class(class_of(kNibbleOwners[i])); });
// 0 where the byte of class i / 4 may be followed by one of class i % 4.
alignas(32) constexpr auto kRefusedPair = nibble_table(
    [](std::size_t i) { return may_follow(from_two_bits(int(i / 4)), from_two_bits(int(i % 4))) ? 0 : 255; });
alignas(32) constexpr auto kDigitValue = nibble_table([](std::size_t i) { return i < 10 ? i : 0; });
alignas(32) constexpr auto kIsDigit = nibble_table([](std::size_t i) { return i < 10 ? 255 : 0; });

// A block adds at most two digits of 9 to each byte counter: they are
// widened before they can overflow.
constexpr int32_t kBlocksPerWidening = 255 / (2 * 9);

BRISVEL_AVX2 __m256i load_256(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }

struct Avx2Tables {
    __m256i ownByte, classOf, refusedPair, digitValue, isDigit;
};

// Digits counted: all of them, those followed by a digit, those followed by
// two; in byte lanes, or in 64-bit lanes once widened.
struct DigitCounts {
    __m256i all, oneAfter, twoAfter;
};

BRISVEL_AVX2 void add_counts(DigitCounts& to, const DigitCounts& counts) {
    to = {_mm256_add_epi8(to.all, counts.all), _mm256_add_epi8(to.oneAfter, counts.oneAfter),
          _mm256_add_epi8(to.twoAfter, counts.twoAfter)};
}

// The counts of the 32 bytes at q in the given lanes.
BRISVEL_AVX2 DigitCounts counts_32(const char* q, const Avx2Tables& t, __m256i lanes) {
    const __m256i value = _mm256_and_si256(_mm256_shuffle_epi8(t.digitValue, load_256(q)), lanes);
    const __m256i oneAfter = _mm256_and_si256(value, _mm256_shuffle_epi8(t.isDigit, load_256(q + 1)));
    return {value, oneAfter, _mm256_and_si256(oneAfter, _mm256_shuffle_epi8(t.isDigit, load_256(q + 2)))};
}

// The counts of the block at q in the lanes that lanes (64 bytes) marks.
BRISVEL_AVX2 DigitCounts block_counts(const char* q, const Avx2Tables& t, const char* lanes) {
    DigitCounts counts = counts_32(q, t, load_256(lanes));
    add_counts(counts, counts_32(q + 32, t, load_256(lanes + 32)));
    return counts;
}

// Checks the 32 bytes at q: lanes of bytes that are not their nibble's own,
// of bytes that may not follow each other, or of four digits in a row, are
// set in refused.
BRISVEL_AVX2 void check_32(const char* q, const Avx2Tables& t, __m256i& refused) {
    const __m256i b0 = load_256(q);
    const __m256i b1 = load_256(q + 1);
    const __m256i pair = _mm256_add_epi8(_mm256_slli_epi16(_mm256_shuffle_epi8(t.classOf, b0), 2),
                                         _mm256_shuffle_epi8(t.classOf, b1));
    const __m256i least = _mm256_min_epu8(_mm256_min_epu8(b0, b1), _mm256_min_epu8(load_256(q + 2), load_256(q + 3)));
    const __m256i notOwn = _mm256_xor_si256(_mm256_shuffle_epi8(t.ownByte, b0), b0);
    refused = _mm256_or_si256(_mm256_or_si256(refused, notOwn),
                              _mm256_or_si256(_mm256_shuffle_epi8(t.refusedPair, pair),
                                              _mm256_subs_epu8(least, _mm256_set1_epi8('0' - 1))));
}

// Whether the block at q continues the run; adds its counts either way.
BRISVEL_AVX2 bool continues_run_256(const char* q, const Avx2Tables& t, DigitCounts& counts) {
    const __m256i all = _mm256_set1_epi8(-1);
    __m256i refused = _mm256_setzero_si256();
    check_32(q, t, refused);
    check_32(q + 32, t, refused);
    add_counts(counts, counts_32(q, t, all));
    add_counts(counts, counts_32(q + 32, t, all));
    return _mm256_testz_si256(refused, refused) != 0;
}

// wide with the byte counts added (or taken out), widened to 64-bit lanes.
BRISVEL_AVX2 __m256i widened_into(__m256i wide, __m256i bytes, bool add) {
    const __m256i lanes = _mm256_sad_epu8(bytes, _mm256_setzero_si256());
    return add ? _mm256_add_epi64(wide, lanes) : _mm256_sub_epi64(wide, lanes);
}

BRISVEL_AVX2 void add_widened(DigitCounts& wide, const DigitCounts& counts, bool add) {
    wide = {widened_into(wide.all, counts.all, add), widened_into(wide.oneAfter, counts.oneAfter, add),
            widened_into(wide.twoAfter, counts.twoAfter, add)};
}

BRISVEL_AVX2 int64_t total_256(__m256i lanes) {
    const __m128i half = _mm_add_epi64(_mm256_castsi256_si128(lanes), _mm256_extracti128_si256(lanes, 1));
    return _mm_cvtsi128_si64(_mm_add_epi64(half, _mm_unpackhi_epi64(half, half)));
}

BRISVEL_AVX2 uint64_t newlines_256(const char* q) {
    const __m256i newline = _mm256_set1_epi8('\n');
    const auto low = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(load_256(q), newline)));
    const auto high = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(load_256(q + 32), newline)));
    return uint64_t{high} << 32 | low;
}

__attribute__((target("avx2"))) BRISVEL_KERNEL int32_t scan_plus_blocks_avx2(const char* p, int32_t blocks,
                                                                            int64_t& sum) {
    if (*p != '+') return 0;
    const Avx2Tables t = {load_256(kOwnByte.data()), load_256(kClassOf.data()), load_256(kRefusedPair.data()),
                          load_256(kDigitValue.data()), load_256(kIsDigit.data())};
    const __m256i zero = _mm256_setzero_si256();
    DigitCounts wide = {zero, zero, zero};
    int32_t taken = 0;
    for (bool refused = false; !refused && taken < blocks;) {
        const int32_t stop = std::min(blocks, taken + kBlocksPerWidening);
        DigitCounts counts = {zero, zero, zero};
        while (taken < stop && continues_run_256(p + kBlockBytes * taken, t, counts)) ++taken;
        add_widened(wide, counts, true);
        refused = taken < stop;
        // The refused block's counts are taken back out.
        if (refused) add_widened(wide, block_counts(p + kBlockBytes * taken, t, lanes_after(0)), false);
    }
    if (taken == 0) return 0;
    const char* last = p + kBlockBytes * (taken - 1);
    const uint64_t newlines = newlines_256(last);
    // The digits after the last newline belong to a line the run does not take.
    add_widened(wide, block_counts(last, t, lanes_after(newlines)), false);
    sum = total_256(wide.all) + 9 * total_256(wide.oneAfter) + 90 * total_256(wide.twoAfter);
    return run_length(taken, newlines);
}

// With AVX-512 VBMI a block is checked and weighed by table lookups alone,
// from each byte and the three after it: its class (0 other, 1 '+', 2 digit,
// 3 CR, 4 LF), the next byte's class, and whether the two after that are
// digits index a table that says whether the bytes may follow each other in
// a run of "+" lines of at most three digits, and gives a digit its place
// weight (1, 10 or 100). So a block needs no state from the block before,
// and its weighted digits are summed by one VNNI dot product. A block reads
// three bytes past its end. A byte's own class is looked up by its low seven
// bits, so a byte from 64 to 127 is of no class and refused; a byte from 128
// up is refused by its top bit. (The bytes after it are looked up by their
// low six bits: a misread there concerns a byte that is refused in its own
// place, or lies past the run's last newline.)
constexpr uint8_t kInvalid = 0x80;

// factor * class_of(byte), or factor for a digit and 0 for anything else.
template <std::size_t kSize>
constexpr std::array<uint8_t, kSize> byte_table(int factor, bool digitOnly) {
    std::array<uint8_t, kSize> table{};
    for (int byte = 0; byte < static_cast<int>(kSize); ++byte) {
        const ByteClass c = class_of(byte);
        table[static_cast<std::size_t>(byte)] = static_cast<uint8_t>(digitOnly ? factor * (c == kDigit) : factor * c);
    }
    return table;
}

// The weight, or kInvalid, at index 20 * class + 4 * next class + 2 *
// (digit two on) + (digit three on): the two bytes after the next tell a
// digit's place up to the longest line.
static_assert(kMaxPlusDigits == 3, "the sequence table looks at three bytes after each byte");
constexpr std::array<uint8_t, 128> sequence_table() {
    std::array<uint8_t, 128> table{};
    table.fill(kInvalid);
    for (int self = kPlus; self <= kLf; ++self) {
        for (int next = kPlus; next <= kLf; ++next) {
            if (!may_follow(ByteClass(self), ByteClass(next))) continue;
            for (int later = 0; later < 4; ++later) {
                // A digit's weight: 1 before the line's end, 10 or 100 before one or two more digits; a
                // fourth digit is refused.
                const uint8_t digit = next != kDigit ? 1 : later < 2 ? 10 : later == 2 ? 100 : kInvalid;
                table[static_cast<std::size_t>(20 * self + 4 * next + later)] = self == kDigit ? digit : 0;
            }
        }
    }
    return table;
}

alignas(64) constexpr std::array<uint8_t, 128> kClassTimes20 = byte_table<128>(20, false);
alignas(64) constexpr std::array<uint8_t, 64> kClassTimes4 = byte_table<64>(4, false);
alignas(64) constexpr std::array<uint8_t, 64> kDigitTimes2 = byte_table<64>(2, true);
alignas(64) constexpr std::array<uint8_t, 64> kDigitTimes1 = byte_table<64>(1, true);
alignas(64) constexpr std::array<uint8_t, 128> kSequences = sequence_table();

#define BRISVEL_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vnni")))

BRISVEL_AVX512 BRISVEL_INLINE __m512i load_512(const void* p) { return _mm512_loadu_si512(p); }

// table[index & 63] for each byte. (The unmasked intrinsic trips a false
// "uninitialized" warning in GCC 12's header.)
BRISVEL_AVX512 BRISVEL_INLINE __m512i lookup_512(__m512i index, __m512i table) {
    return _mm512_maskz_permutexvar_epi8(~uint64_t{0}, index, table);
}

BRISVEL_AVX512 BRISVEL_KERNEL int32_t scan_plus_blocks_avx512(const char* p, int32_t blocks, int64_t& sum) {
    if (*p != '+') return 0;
    const __m512i times20Low = load_512(kClassTimes20.data());
    const __m512i times20High = load_512(kClassTimes20.data() + 64);
    const __m512i times4 = load_512(kClassTimes4.data());
    const __m512i digit2 = load_512(kDigitTimes2.data());
    const __m512i digit1 = load_512(kDigitTimes1.data());
    const __m512i sequencesLow = load_512(kSequences.data());
    const __m512i sequencesHigh = load_512(kSequences.data() + 64);
    __m512i sums = _mm512_setzero_si512();
    __m512i weights = _mm512_setzero_si512();
    int32_t taken = 0;
    for (; taken < blocks; ++taken) {
        const char* q = p + kBlockBytes * taken;
        const __m512i bytes = load_512(q);
        const __m512i index =
            _mm512_add_epi8(_mm512_add_epi8(_mm512_permutex2var_epi8(times20Low, bytes, times20High),
                                            lookup_512(load_512(q + 1), times4)),
                            _mm512_add_epi8(lookup_512(load_512(q + 2), digit2), lookup_512(load_512(q + 3), digit1)));
        const __m512i blockWeights = _mm512_permutex2var_epi8(sequencesLow, index, sequencesHigh);
        // Refused: a sequence the table refuses (a byte from 64 to 127 is of
        // no class there), or a byte from 128 up.
        if (_mm512_movepi8_mask(_mm512_or_si512(blockWeights, bytes)) != 0) break;
        weights = blockWeights;
        sums = _mm512_dpbusd_epi32(sums, weights, _mm512_sub_epi8(bytes, _mm512_set1_epi8('0')));
    }
    if (taken == 0) return 0;
    const char* last = p + kBlockBytes * (taken - 1);
    const __m512i lastBytes = load_512(last);
    const uint64_t newlines = _mm512_cmpeq_epi8_mask(lastBytes, _mm512_set1_epi8('\n'));
    // The digits after the last newline belong to a line the run does not take.
    const auto lastNewline = static_cast<int>(std::bit_width(newlines));
    const uint64_t after = lastNewline == 64 ? 0 : ~uint64_t{0} << lastNewline;
    sums = _mm512_sub_epi32(sums, _mm512_dpbusd_epi32(_mm512_setzero_si512(), _mm512_maskz_mov_epi8(after, weights),
                                                      _mm512_sub_epi8(lastBytes, _mm512_set1_epi8('0'))));
    alignas(64) std::array<int32_t, 16> lanes{};
    _mm512_store_si512(lanes.data(), sums);
    sum = 0;
    for (const int32_t lane : lanes) sum += lane;
    return run_length(taken, newlines);
}

#endif  // BRISVEL_X86_64

int32_t scan_plus_blocks(const char* p, int32_t blocks, int64_t& sum, SkipKernel kernel) {
#ifdef BRISVEL_X86_64
    if (kernel == SkipKernel::kAvx512) return scan_plus_blocks_avx512(p, blocks, sum);
    if (kernel == SkipKernel::kAvx2) return scan_plus_blocks_avx2(p, blocks, sum);
    if (kernel == SkipKernel::kSse2) return scan_plus_blocks_sse2(p, blocks, sum);
#else
    (void)p;
    (void)blocks;
    (void)sum;
    (void)kernel;
#endif
    return 0;
}

}  // namespace

// A build for measurements may cap the kernel (BRISVEL_KERNEL_CAP, one of
// SkipKernel's names), to time a processor without the faster ones.
SkipKernel fastest_skip_kernel() {
#ifdef BRISVEL_X86_64
    SkipKernel fastest = SkipKernel::kSse2;
    if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi") &&
        __builtin_cpu_supports("avx512vnni"))
        fastest = SkipKernel::kAvx512;
    else if (__builtin_cpu_supports("avx2"))
        fastest = SkipKernel::kAvx2;
#else
    SkipKernel fastest = SkipKernel::kPortable;
#endif
#ifdef BRISVEL_KERNEL_CAP
    fastest = std::min(fastest, SkipKernel::BRISVEL_KERNEL_CAP);
#endif
    return fastest;
}

const char* skip_plus_blocks(const char* p, const char* end, int32_t& n, const PairFilter& filter,
                        SkipKernel kernel) {
    if (kernel == SkipKernel::kPortable) return p;
    while (end - p >= kBlockBytes + kLookahead) {
        const auto room = static_cast<int32_t>((end - p - kLookahead) / kBlockBytes);
        const bool batchStoresNone = stores_none_between(filter, n, n + kMaxSumPerByte * kBatchBytes);
        const int32_t blocks = batchStoresNone ? std::min(room, kBatchBytes / kBlockBytes) : 1;
        int64_t sum = 0;
        const int32_t length = scan_plus_blocks(p, blocks, sum, kernel);
        if (length == 0 || !stores_none_between(filter, n, n + sum)) break;
        n = advanced(n, sum);
        p += length;
    }
    return p;
}

const char* skip_unstored_plus_lines(const char* p, const char* end, int32_t& n, const PairFilter& filter,
                                     SkipKernel kernel) {
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
