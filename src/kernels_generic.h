// The vector kernels, written once over a binding V of a processor's vector
// type. Each instruction set's unit binds V and includes this file, and is
// compiled with that set's flags; what is defined here is its own.
//   V::kWidth                       bytes in a vector
//   V::Vector                       bytes
//   V::load(p)                      the kWidth bytes at p
//   V::lookup(table, v)             each lane's entry of table by its low
//                                   nibble; 0 where its byte is 0x80 or more
//   V::zero()                       bytes 0
//   V::add(a, b), V::least(a, b)    bytes added, wrapping; the less of each
//   V::times4(v)                    each byte times 4, for bytes below 64
//   V::excess(v, c)                 each byte less c, 0 where it is not more
//   V::either(a, b), V::both(a, b), V::differ(a, b)
//                                   or, and, xor
//   V::any(v)                       whether a byte is not 0
//   V::widened(sums, v)             sums, in 64-bit lanes, with v's bytes added
//   V::store(p, v)                  v's bytes, stored at p
//   V::units_of(u)                  the 16-bit unit u in every 16-bit lane
//   V::second_bytes(v)              each 16-bit lane's second byte, moved to its first
//   V::narrowed(a, b)               the first byte of every 16-bit lane of a, then b, in order,
//                                   for lanes below 0x100
//   V::equal(v, c), V::at_most(v, c)
//                                   the lanes equal to c; at most c, unsigned
//   V::minus(v, c)                  each byte less c, wrapping
//   V::bits(lanes)                  bit i set for lane i
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kernels.h"

namespace {

// ---- Runs of "+" lines ----

// Each byte a run may hold has a low nibble of its own ('0' to '9' 0 to 9,
// LF A, '+' B, CR D), so lookups by the low nibble tell whether a byte is
// one of them (its own entry equals it; a byte from 0x80 up looks up 0),
// its class (LF 0, '+' 1, digit 2, CR 3), and, with the next byte's class,
// whether the two may follow each other in the grammar of kernels.h.
template <int32_t kSize>
struct ByteTable {
    char entry[kSize];
};

template <int32_t kSize, typename Entry>
constexpr ByteTable<kSize> byte_table(Entry entry) {
    ByteTable<kSize> table{};
    for (int32_t i = 0; i < kSize; ++i) table.entry[i] = static_cast<char>(entry(i));
    return table;
}

inline constexpr char kNibbleOwners[16] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', '\n', '+', 0, '\r', 0, 0};

constexpr int32_t class_of(char byte) { return byte == '\n' ? 0 : byte == '+' ? 1 : byte == '\r' ? 3 : 2; }

// Whether a byte of class next may follow one of class self.
constexpr bool may_follow(int32_t self, int32_t next) {
    return (self == 0 && next == 1) || (self == 1 && next == 2) || (self == 2 && next != 1) || (self == 3 && next == 0);
}

// The 16 entries, again in every 16 bytes, for vectors of any width.
using NibbleTable = ByteTable<kPlusBlockBytes>;

template <typename Entry>
constexpr NibbleTable nibble_table(Entry entry) {
    return byte_table<kPlusBlockBytes>([&](int32_t i) { return entry(i % 16); });
}

inline constexpr NibbleTable kOwnByte = nibble_table([](int32_t i) { return kNibbleOwners[i]; });
inline constexpr NibbleTable kClassOf = nibble_table([](int32_t i) { return class_of(kNibbleOwners[i]); });
inline constexpr NibbleTable kRefusedPair = nibble_table([](int32_t i) { return may_follow(i / 4, i % 4) ? 0 : -1; });
inline constexpr NibbleTable kDigitValue = nibble_table([](int32_t i) { return i < 10 ? i : 0; });
inline constexpr NibbleTable kIsDigit = nibble_table([](int32_t i) { return i < 10 ? -1 : 0; });

// The digits of a block are counted unweighted in byte lanes, and so are
// those followed by a digit and those followed by two: a digit's place
// weight 1, 10 or 100 comes out as all + 9 * oneAfter + 90 * twoAfter.
template <typename V>
struct DigitCounts {
    typename V::Vector all, oneAfter, twoAfter;
};

// The grammar of kernels.h, lane by lane, each byte with the three after it
// (so a block reads three bytes past its end): a lane is refused where its
// byte is none of a run's, where its byte and the next may not follow each
// other, and where it starts four digits (no byte a run holds but a digit
// lies at '0' or above). A byte after the block is misread only where it
// belongs to a line that the run does not take. Every helper of a kernel is
// inlined into it at every optimisation level: called, it would pass its
// vectors through memory. Returns whether the block at q breaks the run;
// counts its digits, in a pass of their own, which holds fewer vectors at
// once.
template <typename V>
[[gnu::always_inline]] inline bool breaks_run(const char* q, DigitCounts<V>& counts) {
    typename V::Vector refused = V::zero();
    for (int32_t shift = 0; shift < kPlusBlockBytes; shift += V::kWidth) {
        const typename V::Vector b0 = V::load(q + shift);
        const typename V::Vector b1 = V::load(q + shift + 1);
        const typename V::Vector pair =
            V::add(V::times4(V::lookup(V::load(kClassOf.entry), b0)), V::lookup(V::load(kClassOf.entry), b1));
        const typename V::Vector least = V::least(V::least(b0, b1), V::least(V::load(q + shift + 2), V::load(q + shift + 3)));
        refused = V::either(V::either(refused, V::differ(V::lookup(V::load(kOwnByte.entry), b0), b0)),
                            V::either(V::lookup(V::load(kRefusedPair.entry), pair), V::excess(least, '0' - 1)));
    }
    for (int32_t shift = 0; shift < kPlusBlockBytes; shift += V::kWidth) {
        const typename V::Vector value = V::lookup(V::load(kDigitValue.entry), V::load(q + shift));
        const typename V::Vector oneAfter = V::both(value, V::lookup(V::load(kIsDigit.entry), V::load(q + shift + 1)));
        counts = {V::add(counts.all, value), V::add(counts.oneAfter, oneAfter),
                  V::add(counts.twoAfter, V::both(oneAfter, V::lookup(V::load(kIsDigit.entry), V::load(q + shift + 2))))};
    }
    return V::any(refused);
}

// The weight that the lanes gave a digit at d: its value, from 1 to 100
// times, by whether the bytes after it look up as digits.
inline int64_t lane_weight(const char* d) {
    const auto looked_up = [](const NibbleTable& table, char c) {
        return static_cast<unsigned char>(c) < 0x80 ? table.entry[c & 15] : 0;
    };
    const auto digit = [&](char c) { return looked_up(kIsDigit, c) != 0; };
    const int64_t value = looked_up(kDigitValue, *d);
    return value * (1 + (digit(d[1]) ? 9 + (digit(d[2]) ? 90 : 0) : 0));
}

// Plain arrays, not std::array: a library template instantiated here, with
// this unit's flags, could stand in for the same one elsewhere.
template <typename V>
[[gnu::always_inline]] inline int64_t total(typename V::Vector sums) {
    int64_t lanes[V::kWidth / 8] = {};
    V::store(lanes, sums);
    int64_t all = 0;
    for (const int64_t lane : lanes) all += lane;
    return all;
}

// Widens the byte counts into sums; returns what the sums weigh.
template <typename V>
[[gnu::always_inline]] inline int64_t weighted(const DigitCounts<V>& counts, DigitCounts<V>& sums) {
    sums = {V::widened(sums.all, counts.all), V::widened(sums.oneAfter, counts.oneAfter),
            V::widened(sums.twoAfter, counts.twoAfter)};
    return total<V>(sums.all) + 9 * total<V>(sums.oneAfter) + 90 * total<V>(sums.twoAfter);
}

// Takes blocks while each continues the run, counting their digits in byte
// lanes, which are widened into 64-bit sums before they can overflow. The
// block that breaks the run is counted too, and taken back out with the
// digits after the last newline of the last block taken, which belong to a
// line that the run does not take.
template <typename V>
int32_t scan_plus_blocks_over(const char* p, int32_t blocks, int64_t& sum) {
    constexpr int32_t kBlocksPerWidening = 255 / (9 * kPlusBlockBytes / V::kWidth);
    if (*p != '+') return 0;
    DigitCounts<V> counts{};
    DigitCounts<V> sums{};
    int32_t taken = 0;
    bool broken = false;
    for (int32_t unwidened = 0; taken < blocks; ++taken) {
        broken = breaks_run<V>(p + kPlusBlockBytes * taken, counts);
        if (broken) break;
        if (++unwidened < kBlocksPerWidening) continue;
        weighted<V>(counts, sums);
        counts = DigitCounts<V>{};
        unwidened = 0;
    }
    int32_t length = kPlusBlockBytes * taken;
    while (length > 0 && p[length - 1] != '\n') --length;
    if (taken == 0 || length <= kPlusBlockBytes * (taken - 1)) return 0;
    sum = weighted<V>(counts, sums);
    for (int32_t at = length; at < kPlusBlockBytes * (taken + (broken ? 1 : 0)); ++at) sum -= lane_weight(p + at);
    return length;
}

// ---- Finding a byte ----

// Only on Windows, whose runtime's memchr looks at a byte at a time: the
// vector search is fifteen times as fast there. Elsewhere the C library's
// is as fast, and the units leave the search to it.
#ifdef _WIN32
template <typename V>
const char* find_byte_over(const char* p, const char* end, char byte) {
    for (; end - p >= V::kWidth; p += V::kWidth)
        if (const uint64_t found = V::bits(V::equal(V::load(p), byte)); found != 0) return p + __builtin_ctzll(found);
    const void* found = std::memchr(p, byte, static_cast<std::size_t>(end - p));
    return found != nullptr ? static_cast<const char*>(found) : end;
}
#else
template <typename V>
inline constexpr std::nullptr_t find_byte_over = nullptr;
#endif

// ---- UTF-16 text, one byte a character ----

// Vectors of code units are narrowed while every unit is ASCII: its byte
// that holds the high half is 0, and its other byte is below 0x80. The
// units are loaded before their bytes are stored, so bytes may lie where
// the units did, or before.
template <typename V>
std::size_t narrow_ascii_units_over(const char* units, std::size_t length, char* bytes, bool bigEndian) {
    const typename V::Vector beyond = V::units_of(bigEndian ? 0x80ff : 0xff80);
    std::size_t at = 0;
    for (; length - at >= 2 * V::kWidth; at += 2 * V::kWidth) {
        typename V::Vector first = V::load(units + at);
        typename V::Vector second = V::load(units + at + V::kWidth);
        if (V::any(V::both(V::either(first, second), beyond))) break;
        if (bigEndian) {
            first = V::second_bytes(first);
            second = V::second_bytes(second);
        }
        V::store(bytes + at / 2, V::narrowed(first, second));
    }
    return at;
}

// ---- The removal list's common lines ----

// Most lines of a list have one shape, "<digits> <1 to 8 digits> <1 to 8
// digits>" and "\n" or "\r\n", and are taken from one window of bytes, by
// bit masks of its digits, spaces, carriage returns and newlines (bit i for
// byte i); k and n are valued eight digits at once. Such a line is one
// read, and it names the pair that the removal list's general reader would
// find in it.
inline constexpr int32_t kMaxWindowDigits = 8;

struct WindowMasks {
    uint64_t digit, space, cr, newline;
};

template <typename V>
WindowMasks window_masks(const char* p) {
    static_assert(V::kWidth <= kRemovalWindowBytes);
    WindowMasks masks{0, 0, 0, 0};
    for (int32_t shift = 0; shift < kRemovalWindowBytes; shift += V::kWidth) {
        const typename V::Vector bytes = V::load(p + shift);
        masks.digit |= V::bits(V::at_most(V::minus(bytes, '0'), 9)) << shift;
        masks.space |= V::bits(V::equal(bytes, ' ')) << shift;
        masks.cr |= V::bits(V::equal(bytes, '\r')) << shift;
        masks.newline |= V::bits(V::equal(bytes, '\n')) << shift;
    }
    return masks;
}

inline bool is_field_width(int32_t digits) { return digits >= 1 && digits <= kMaxWindowDigits; }

// The value of the 1 to 8 digits at p, all eight bytes loaded (the window
// holds them): the bytes after the digits are shifted out, which leaves
// zero digits in front, and pairs, quads and halves of digits are then
// combined by multiplication. (x86 processors are little-endian.)
inline int32_t value_of_digits(const char* p, int32_t count) {
    uint64_t digits = 0;
    std::memcpy(&digits, p, sizeof digits);
    digits <<= 8 * (8 - count);
    digits = ((digits & 0x0f0f0f0f0f0f0f0fu) * 2561) >> 8;
    digits = ((digits & 0x00ff00ff00ff00ffu) * 6553601) >> 16;
    return static_cast<int32_t>(((digits & 0x0000ffff0000ffffu) * 42949672960001u) >> 32);
}

// The length of the line at p, newline included, when it has the common
// shape and ends before end, with its pair in named; 0 otherwise.
template <typename V>
std::ptrdiff_t common_line_at(const char* p, const char* end, Candidate& named) {
    const WindowMasks m = window_masks<V>(p);
    if (m.newline == 0) return 0;
    const int32_t length = __builtin_ctzll(m.newline);  // the bytes before the newline
    if (length >= end - p) return 0;
    const uint64_t cr = length > 0 ? m.cr & uint64_t{1} << (length - 1) : 0;
    const uint64_t fields = ((uint64_t{1} << length) - 1) & ~cr;
    const uint64_t spaces = m.space & fields;
    const uint64_t afterFirst = spaces & (spaces - 1);  // the spaces but the first
    // Digits and exactly two spaces.
    if (((m.digit | spaces) & fields) != fields || afterFirst == 0 || (afterFirst & (afterFirst - 1)) != 0) return 0;
    const int32_t first = __builtin_ctzll(spaces);
    const int32_t second = __builtin_ctzll(afterFirst);
    const int32_t kDigits = second - first - 1;
    const int32_t nDigits = length - (cr != 0 ? 1 : 0) - second - 1;
    if (first == 0 || !is_field_width(kDigits) || !is_field_width(nDigits)) return 0;
    named = {value_of_digits(p + first + 1, kDigits), value_of_digits(p + second + 1, nDigits)};
    return length + 1;
}

template <typename V>
const char* read_common_lines_over(const char* p, const char* end, Candidate* pairs, int32_t maxPairs,
                                   int32_t& count) {
    count = 0;
    for (std::ptrdiff_t length = 0;
         count < maxPairs && end - p >= kRemovalWindowBytes && (length = common_line_at<V>(p, end, pairs[count])) > 0;
         p += length)
        ++count;
    return p;
}

}  // namespace
