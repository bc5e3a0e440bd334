#include "kernels.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>

#include "decimal.h"

// The one mark of an x86 processor, 64-bit or 32-bit: there the vector
// kernels are built, each for its instruction set, and chosen at run time.
#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__) || defined(_M_IX86)
#define BRISVEL_X86 1
#include <immintrin.h>
#endif

namespace {

// Each instruction set's code is chosen by a tag of its own; a faster set's
// tag passes for a slower one's, so a kernel that it does not improve on is
// the slower set's.
struct PortableIsa {};

// Where byte first lies in [p, end), or end, as the C library finds it: the
// portable search, and the vector kernels' for bytes short of a vector.
const char* byte_by_memchr(const char* p, const char* end, char byte) {
    const void* found = std::memchr(p, byte, static_cast<std::size_t>(end - p));
    return found != nullptr ? static_cast<const char*>(found) : end;
}

}  // namespace

#ifdef BRISVEL_X86
namespace {

struct Sse2Isa {};
struct Avx2Isa : Sse2Isa {};
struct Avx512Isa : Avx2Isa {};

// Everything a kernel calls in its loop is inlined at every optimisation
// level: called, a helper would pass its vectors through memory, and a call
// from AVX code clears the vector registers' upper halves on every block.
// Each kernel stays a function of its own, with nothing called inside it:
// .ci/run checks that in the optimised build's object. A 32-bit build
// assumes no SSE2 outside the functions marked for it.
#define BRISVEL_INLINE inline __attribute__((always_inline))
#define BRISVEL_KERNEL __attribute__((noinline))
#define BRISVEL_SSE2 __attribute__((target("sse2"))) BRISVEL_INLINE
#define BRISVEL_SSE2_KERNEL __attribute__((target("sse2"))) BRISVEL_KERNEL
#define BRISVEL_AVX2 __attribute__((target("avx2"))) BRISVEL_INLINE
#define BRISVEL_AVX2_KERNEL __attribute__((target("avx2"))) BRISVEL_KERNEL
#define BRISVEL_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vnni")))

// ---- Runs of "+" lines: the SSE2 and AVX2 kernels ----

// A digit's place weight, up to 100, is a byte in the kernels' sums.
static_assert(kMaxPlusDigits <= 3);

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
    return lastNewlines == 0 ? 0 : kPlusBlockBytes * (blocks - 1) + static_cast<int32_t>(std::bit_width(lastNewlines));
}


// 64 lanes of zeros, then 64 of all ones: a load at kTrailingOnes + 64 - k
// has its lanes from k on set.
constexpr std::array<unsigned char, 2 * kPlusBlockBytes> trailing_ones() {
    std::array<unsigned char, 2 * kPlusBlockBytes> lanes{};
    for (int32_t i = kPlusBlockBytes; i < 2 * kPlusBlockBytes; ++i) lanes[static_cast<std::size_t>(i)] = 255;
    return lanes;
}
alignas(64) constexpr std::array<unsigned char, 2 * kPlusBlockBytes> kTrailingOnes = trailing_ones();

// The lanes after the last newline of a block: the start of a line that
// continues past it, which a run does not take.
BRISVEL_INLINE const char* lanes_after(uint64_t newlines) {
    return reinterpret_cast<const char*>(kTrailingOnes.data()) + kPlusBlockBytes - std::bit_width(newlines);
}

// Each block's digits are added, weighted, into 32-bit lanes of sums. A
// digit is a units digit when the byte after it ends the line, a tens digit
// when the byte after that does, and a hundreds digit otherwise; loads at
// q + 1 and q + 2 line those bytes up with it, so a block reads 2 bytes past
// its end. A scan takes blocks up to the first that holds anything but "+"
// lines, and the run ends at the last newline of the last block taken: the
// digits after it are taken back out of the sum. Returns the run's length,
// 0 when the first block is not taken.

BRISVEL_SSE2 __m128i load_128(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

BRISVEL_SSE2 __m128i line_ends_128(const char* p) {
    const __m128i bytes = load_128(p);
    return _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')));
}

BRISVEL_SSE2 uint64_t bits_128(__m128i lanes, int shift) {
    return uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(lanes))} << shift;
}

BRISVEL_SSE2 __m128i weighted_digits_128(const char* q, __m128i values, __m128i digits) {
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

BRISVEL_SSE2 int64_t total_128(__m128i sums) {
    const __m128i pairs = _mm_add_epi32(sums, _mm_shuffle_epi32(sums, _MM_SHUFFLE(1, 0, 3, 2)));
    return _mm_cvtsi128_si32(_mm_add_epi32(pairs, _mm_shuffle_epi32(pairs, _MM_SHUFFLE(2, 3, 0, 1))));
}

// The block's values (bytes less '0') and digit lanes, and its masks.
BRISVEL_SSE2 BlockMasks read_block_128(const char* q, __m128i (&values)[4], __m128i (&digits)[4]) {
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
BRISVEL_SSE2 __m128i block_sum_128(const char* q, const __m128i (&values)[4], const __m128i (&digits)[4], const char* lanes) {
    __m128i sums = _mm_setzero_si128();
    for (int i = 0; i < 4; ++i) {
        const __m128i counted = lanes == nullptr ? digits[i] : _mm_and_si128(digits[i], load_128(lanes + 16 * i));
        sums = _mm_add_epi32(sums, weighted_digits_128(q + 16 * i, values[i], counted));
    }
    return sums;
}

BRISVEL_SSE2_KERNEL int32_t scan_plus_blocks_sse2(const char* p, int32_t blocks, int64_t& sum) {
    RunCarry carry = kAtLineStart;
    __m128i sums = _mm_setzero_si128();
    __m128i values[4];
    __m128i digits[4];
    int32_t taken = 0;
    uint64_t newlines = 0;
    for (; taken < blocks; ++taken) {
        const BlockMasks masks = read_block_128(p + kPlusBlockBytes * taken, values, digits);
        if (!continues_plus_run(masks, carry)) break;
        sums = _mm_add_epi32(sums, block_sum_128(p + kPlusBlockBytes * taken, values, digits, nullptr));
        newlines = masks.newline;
    }
    if (taken == 0) return 0;
    const char* last = p + kPlusBlockBytes * (taken - 1);
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
    alignas(32) std::array<int64_t, 4> values{};
    _mm256_store_si256(reinterpret_cast<__m256i*>(values.data()), lanes);
    return values[0] + values[1] + values[2] + values[3];
}

BRISVEL_AVX2 uint64_t newlines_256(const char* q) {
    const __m256i newline = _mm256_set1_epi8('\n');
    const auto low = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(load_256(q), newline)));
    const auto high = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(load_256(q + 32), newline)));
    return uint64_t{high} << 32 | low;
}

BRISVEL_AVX2_KERNEL int32_t scan_plus_blocks_avx2(const char* p, int32_t blocks, int64_t& sum) {
    if (*p != '+') return 0;
    const Avx2Tables t = {load_256(kOwnByte.data()), load_256(kClassOf.data()), load_256(kRefusedPair.data()),
                          load_256(kDigitValue.data()), load_256(kIsDigit.data())};
    const __m256i zero = _mm256_setzero_si256();
    DigitCounts wide = {zero, zero, zero};
    int32_t taken = 0;
    for (bool refused = false; !refused && taken < blocks;) {
        const int32_t stop = std::min(blocks, taken + kBlocksPerWidening);
        DigitCounts counts = {zero, zero, zero};
        while (taken < stop && continues_run_256(p + kPlusBlockBytes * taken, t, counts)) ++taken;
        add_widened(wide, counts, true);
        refused = taken < stop;
        // The refused block's counts are taken back out.
        if (refused) add_widened(wide, block_counts(p + kPlusBlockBytes * taken, t, lanes_after(0)), false);
    }
    if (taken == 0) return 0;
    const char* last = p + kPlusBlockBytes * (taken - 1);
    const uint64_t newlines = newlines_256(last);
    // The digits after the last newline belong to a line the run does not take.
    add_widened(wide, block_counts(last, t, lanes_after(newlines)), false);
    sum = total_256(wide.all) + 9 * total_256(wide.oneAfter) + 90 * total_256(wide.twoAfter);
    return run_length(taken, newlines);
}

// ---- Finding a byte (text mode's Ctrl-Z) ----

BRISVEL_SSE2_KERNEL const char* find_byte_sse2(const char* p, const char* end, char byte) {
    const __m128i wanted = _mm_set1_epi8(byte);
    for (; end - p >= 16; p += 16) {
        const auto found = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(load_128(p), wanted)));
        if (found != 0) return p + std::countr_zero(found);
    }
    return byte_by_memchr(p, end, byte);
}

// Two vectors a step, tested together.
BRISVEL_AVX2_KERNEL const char* find_byte_avx2(const char* p, const char* end, char byte) {
    const __m256i wanted = _mm256_set1_epi8(byte);
    for (; end - p >= 64; p += 64) {
        const __m256i low = _mm256_cmpeq_epi8(load_256(p), wanted);
        const __m256i high = _mm256_cmpeq_epi8(load_256(p + 32), wanted);
        if (_mm256_testz_si256(_mm256_or_si256(low, high), _mm256_or_si256(low, high)) != 0) continue;
        const auto lowBits = static_cast<uint32_t>(_mm256_movemask_epi8(low));
        const auto highBits = static_cast<uint32_t>(_mm256_movemask_epi8(high));
        return p + std::countr_zero(uint64_t{highBits} << 32 | lowBits);
    }
    return byte_by_memchr(p, end, byte);
}

// ---- The removal list's common lines: an SSE2 window ----

// Most lines of a list have one shape, "<digits> <1 to 8 digits> <1 to 8
// digits>" and "\n" or "\r\n", and are taken from one window of bytes, by
// bit masks of its digits, spaces, carriage returns and newlines (bit i for
// byte i); k and n are valued eight digits at once. Such a line is one
// read, and it names the pair that the removal list's general reader would
// find in it.
constexpr int kMaxWindowDigits = 8;

struct WindowMasks {
    uint32_t digit, space, cr, newline;
};

BRISVEL_SSE2 WindowMasks masks_at(const char* p) {
    WindowMasks masks{};
    for (int half = 0; half < 2; ++half) {
        const __m128i bytes = load_128(p + 16 * half);
        const __m128i values = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
        const int shift = 16 * half;
        masks.digit |= static_cast<uint32_t>(bits_128(_mm_cmpeq_epi8(_mm_min_epu8(values, _mm_set1_epi8(9)), values), shift));
        masks.space |= static_cast<uint32_t>(bits_128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')), shift));
        masks.cr |= static_cast<uint32_t>(bits_128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')), shift));
        masks.newline |= static_cast<uint32_t>(bits_128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')), shift));
    }
    return masks;
}

BRISVEL_INLINE bool is_field_width(int digits) { return digits >= 1 && digits <= kMaxWindowDigits; }

// The length of the line at p, newline included, when it has the common
// shape and ends before end, with its pair in named; 0 otherwise.
BRISVEL_SSE2 std::ptrdiff_t common_line_at(const char* p, const char* end, Candidate& named) {
    const WindowMasks m = masks_at(p);
    if (m.newline == 0) return 0;
    const int length = std::countr_zero(m.newline);  // the bytes before the newline
    if (length >= end - p) return 0;
    const uint32_t cr = length > 0 ? m.cr & uint32_t{1} << (length - 1) : 0;
    const uint32_t fields = ((uint32_t{1} << length) - 1) & ~cr;
    const uint32_t spaces = m.space & fields;
    const uint32_t afterFirst = spaces & (spaces - 1);  // the spaces but the first
    // Digits and exactly two spaces.
    if (((m.digit | spaces) & fields) != fields || afterFirst == 0 || (afterFirst & (afterFirst - 1)) != 0) return 0;
    const int first = std::countr_zero(spaces);
    const int second = std::countr_zero(afterFirst);
    const int kDigits = second - first - 1;
    const int nDigits = length - (cr != 0 ? 1 : 0) - second - 1;
    if (first == 0 || !is_field_width(kDigits) || !is_field_width(nDigits)) return 0;
    named = {value_of_digits_before_slack(p + first + 1, kDigits),
             value_of_digits_before_slack(p + second + 1, nDigits)};
    return length + 1;
}

BRISVEL_SSE2_KERNEL const char* read_common_lines_sse2(const char* p, const char* end, Candidate* pairs,
                                                       int32_t maxPairs, int32_t& count) {
    count = 0;
    for (std::ptrdiff_t length = 0;
         count < maxPairs && end - p >= kRemovalWindowBytes && (length = common_line_at(p, end, pairs[count])) > 0;
         p += length)
        ++count;
    return p;
}

// ---- Each instruction set's kernels, by tag ----

BRISVEL_AVX512 BRISVEL_KERNEL int32_t scan_plus_blocks_avx512(const char* p, int32_t blocks, int64_t& sum);

int32_t plus_blocks(Sse2Isa, const char* p, int32_t blocks, int64_t& sum) {
    return scan_plus_blocks_sse2(p, blocks, sum);
}
int32_t plus_blocks(Avx2Isa, const char* p, int32_t blocks, int64_t& sum) {
    return scan_plus_blocks_avx2(p, blocks, sum);
}
int32_t plus_blocks(Avx512Isa, const char* p, int32_t blocks, int64_t& sum) {
    return scan_plus_blocks_avx512(p, blocks, sum);
}

const char* byte_in(Sse2Isa, const char* p, const char* end, char byte) { return find_byte_sse2(p, end, byte); }
const char* byte_in(Avx2Isa, const char* p, const char* end, char byte) { return find_byte_avx2(p, end, byte); }

const char* common_lines(Sse2Isa, const char* p, const char* end, Candidate* pairs, int32_t maxPairs,
                         int32_t& count) {
    return read_common_lines_sse2(p, end, pairs, maxPairs, count);
}

// The processor's own answer, as the system's loader set it up.
Kernel processor_kernel() {
    if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi") &&
        __builtin_cpu_supports("avx512vnni"))
        return Kernel::kAvx512;
    if (__builtin_cpu_supports("avx2")) return Kernel::kAvx2;
    return __builtin_cpu_supports("sse2") ? Kernel::kSse2 : Kernel::kPortable;
}

// ---- Runs of "+" lines: the AVX-512 kernel, the widest, last ----

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
        const char* q = p + kPlusBlockBytes * taken;
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
    const char* last = p + kPlusBlockBytes * (taken - 1);
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

}  // namespace
#endif  // BRISVEL_X86

namespace {

// ---- Plain C++, for every processor ----

int32_t plus_blocks(PortableIsa, const char*, int32_t, int64_t&) { return 0; }

const char* byte_in(PortableIsa, const char* p, const char* end, char byte) { return byte_by_memchr(p, end, byte); }

const char* common_lines(PortableIsa, const char* p, const char*, Candidate*, int32_t, int32_t& count) {
    count = 0;
    return p;
}

// The one place where the run-time choice becomes code: work is called
// with the tag of the kernel chosen.
template <typename Work>
auto with_kernel(Kernel kernel, Work work) {
#ifdef BRISVEL_X86
    switch (kernel) {
        case Kernel::kAvx512:
            return work(Avx512Isa{});
        case Kernel::kAvx2:
            return work(Avx2Isa{});
        case Kernel::kSse2:
            return work(Sse2Isa{});
        case Kernel::kPortable:
            break;
    }
#else
    (void)kernel;
#endif
    return work(PortableIsa{});
}

constexpr std::array<const char*, 4> kKernelNames = {"portable", "sse2", "avx2", "avx512"};

// The kernel that the environment asks for, or fastest when it asks for
// none it names.
Kernel asked_for(const char* name, Kernel fastest) {
    for (std::size_t i = 0; name != nullptr && i < kKernelNames.size(); ++i)
        if (std::strcmp(name, kKernelNames[i]) == 0) return static_cast<Kernel>(i);
    return fastest;
}

}  // namespace

Kernel fastest_kernel() {
#ifdef BRISVEL_X86
    return processor_kernel();
#else
    return Kernel::kPortable;
#endif
}

Kernel chosen_kernel() {
    Kernel kernel = fastest_kernel();
#ifdef BRISVEL_KERNEL_CAP
    kernel = std::min(kernel, Kernel::BRISVEL_KERNEL_CAP);
#endif
    return std::min(kernel, asked_for(std::getenv("BRISVEL_KERNEL"), kernel));
}

int32_t scan_plus_blocks(const char* p, int32_t blocks, int64_t& sum, Kernel kernel) {
    return with_kernel(kernel, [&](auto isa) { return plus_blocks(isa, p, blocks, sum); });
}

const char* find_byte(const char* p, const char* end, char byte, Kernel kernel) {
    return with_kernel(kernel, [&](auto isa) { return byte_in(isa, p, end, byte); });
}

const char* read_common_removal_lines(const char* p, const char* end, Candidate* pairs, int32_t maxPairs,
                                      int32_t& count, Kernel kernel) {
    return with_kernel(kernel, [&](auto isa) { return common_lines(isa, p, end, pairs, maxPairs, count); });
}
