#include "decimal.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace {

constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();
// Magnitudes are accumulated up to this cap; anything at the cap is already
// out of range, and cap * 10 + 9 still fits in 64 bits.
constexpr int64_t kMagnitudeCap = int64_t{1} << 32;
// Exponents are capped too; any exponent this large over- or underflows.
constexpr int64_t kExponentCap = int64_t{1} << 40;

// A space, or one of \t \n \v \f \r, which are consecutive codes.
bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Text is the bytes [p, end); reading stops at end as at a terminating zero.
bool digit_at(const char* p, const char* end) { return p < end && is_digit(*p); }

const char* skip_space(const char* p, const char* end) {
    while (p < end && is_space(*p)) ++p;
    return p;
}

// Consumes an optional sign; true when it was a minus.
bool read_sign(const char*& p, const char* end) {
    if (p == end) return false;
    if (*p == '-') {
        ++p;
        return true;
    }
    if (*p == '+') ++p;
    return false;
}

int64_t push_digit(int64_t magnitude, char digit, int64_t cap) {
    return std::min(magnitude * 10 + (digit - '0'), cap);
}

int32_t signed_value(int64_t magnitude, bool negative) {
    return clamp_to_int32(negative ? -magnitude : magnitude);
}

// The value of the digits [begin, end), or kMagnitudeCap when it has more
// than kMaxDigits digits after its leading zeros, all of them out of range.
int64_t magnitude_of(const char* begin, const char* end) {
    constexpr std::ptrdiff_t kMaxDigits = 10;
    while (begin < end && *begin == '0') ++begin;
    if (end - begin > kMaxDigits) return kMagnitudeCap;
    int64_t magnitude = 0;
    for (; begin < end; ++begin) magnitude = magnitude * 10 + (*begin - '0');
    return magnitude;
}

// For each of the eight bytes, a non-zero byte where it is no digit: its
// high half must be 3, and adding 6 to its low half must not carry.
uint64_t non_digit_bytes(uint64_t bytes) {
    constexpr uint64_t kHighHalves = 0xf0f0f0f0f0f0f0f0u;
    constexpr uint64_t kLowHalves = 0x0f0f0f0f0f0f0f0fu;
    constexpr uint64_t kThrees = 0x3030303030303030u;
    constexpr uint64_t kSixes = 0x0606060606060606u;
    return ((bytes & kHighHalves) ^ kThrees) | (((bytes & kLowHalves) + kSixes) & kHighHalves);
}

uint64_t eight_bytes_at(const char* p) {
    uint64_t bytes = 0;
    std::memcpy(&bytes, p, sizeof bytes);
    return bytes;
}

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

// How many of the eight bytes at p, in memory order, are digits before the
// first one that is not.
std::ptrdiff_t leading_digits(const char* p) {
    const uint64_t nonDigits = non_digit_bytes(eight_bytes_at(p));
    if (nonDigits == 0) return 8;
    return (kLittleEndian ? std::countr_zero(nonDigits) : std::countl_zero(nonDigits)) / 8;
}

// Where the digits at p end, looking eight bytes at a time; the bytes past
// end are loaded but not counted.
const char* after_digits_before_slack(const char* p, const char* end) {
    const char* q = p;
    while (q < end) {
        const std::ptrdiff_t run = leading_digits(q);
        q += run;
        if (run < 8) break;
    }
    return std::min(q, end);
}

// The value of the one to eight digits at p, all eight bytes loaded: the
// bytes after the digits are shifted out, which leaves zero digits in front,
// and pairs, quads and halves of digits are then combined by multiplication.
int64_t value_of_eight_at_most(const char* p, std::ptrdiff_t count) {
    uint64_t digits = eight_bytes_at(p) << (8 * (8 - count));
    digits = ((digits & 0x0f0f0f0f0f0f0f0fu) * 2561) >> 8;
    digits = ((digits & 0x00ff00ff00ff00ffu) * 6553601) >> 16;
    return static_cast<int64_t>(((digits & 0x0000ffff0000ffffu) * 42949672960001u) >> 32);
}

// As magnitude_of, for digits followed by readable slack.
int64_t magnitude_before_slack(const char* begin, const char* end) {
    while (begin < end && *begin == '0') ++begin;
    const std::ptrdiff_t count = end - begin;
    if (!kLittleEndian || count > 8) return magnitude_of(begin, end);
    return count == 0 ? 0 : value_of_eight_at_most(begin, count);
}


// The exponent at p: "e" or "E", an optional sign and at least one digit.
// Without that digit there is no exponent: its value is 0 and it ends at p.
int64_t read_exponent(const char*& p, const char* end) {
    const char* q = p;
    if (q == end || (*q != 'e' && *q != 'E')) return 0;
    ++q;
    const bool negative = read_sign(q, end);
    if (!digit_at(q, end)) return 0;
    int64_t magnitude = 0;
    for (; digit_at(q, end); ++q) magnitude = push_digit(magnitude, *q, kExponentCap);
    p = q;
    return negative ? -magnitude : magnitude;
}

// The integer part of the number whose digits (with at most one '.' among
// them) start at digits, when its decimal point sits after pointPosition
// digits. Missing digits before the point are zeros.
int64_t integer_part(const char* digits, const char* end, int64_t pointPosition) {
    int64_t magnitude = 0;
    int64_t taken = 0;
    for (const char* p = digits; taken < pointPosition && p < end && (is_digit(*p) || *p == '.'); ++p) {
        if (*p == '.') continue;
        magnitude = push_digit(magnitude, *p, kMagnitudeCap);
        ++taken;
    }
    for (; taken < pointPosition && magnitude != 0 && magnitude < kMagnitudeCap; ++taken)
        magnitude = push_digit(magnitude, '0', kMagnitudeCap);
    return magnitude;
}

}  // namespace

// The digits are scanned and valued eight at a time.
const char* read_int32_before_slack(const char* begin, const char* end, int32_t& value) {
    const char* p = skip_space(begin, end);
    const bool negative = read_sign(p, end);
    const char* digits = p;
    p = after_digits_before_slack(p, end);
    if (p == digits) return nullptr;
    value = signed_value(magnitude_before_slack(digits, p), negative);
    return p;
}

int32_t value_of_digits_before_slack(const char* p, std::ptrdiff_t count) {
    return static_cast<int32_t>(kLittleEndian ? value_of_eight_at_most(p, count) : magnitude_of(p, p + count));
}

const char* skip_number_before_slack(const char* begin, const char* end) {
    const char* p = skip_space(begin, end);
    read_sign(p, end);
    const char* digits = p;
    p = after_digits_before_slack(p, end);
    return p == digits ? nullptr : p;
}

TextNumber read_whole_number(const char* text) {
    const char* end = text + std::strlen(text);
    const char* p = skip_space(text, end);
    const bool negative = read_sign(p, end);
    const char* digits = p;
    while (digit_at(p, end)) ++p;
    if (p == digits) return {false, false, 0};
    const int64_t magnitude = magnitude_of(digits, p);
    return {true, skip_space(p, end) == end, negative ? -magnitude : magnitude};
}

TextNumber read_decimal(const char* text) {
    const char* end = text + std::strlen(text);
    const char* p = skip_space(text, end);
    const bool negative = read_sign(p, end);
    const char* digits = p;
    int64_t integerDigits = 0;
    int64_t fractionDigits = 0;
    for (; digit_at(p, end); ++p) ++integerDigits;
    if (p < end && *p == '.')
        for (++p; digit_at(p, end); ++p) ++fractionDigits;
    if (integerDigits + fractionDigits == 0) return {false, false, 0};
    const int64_t pointPosition = integerDigits + read_exponent(p, end);
    const int64_t magnitude = integer_part(digits, end, pointPosition);
    return {true, skip_space(p, end) == end, negative ? -magnitude : magnitude};
}

int32_t int32_or_zero(const char* text) { return clamp_to_int32(read_whole_number(text).value); }

int32_t truncated_int32_or_zero(const char* text) { return clamp_to_int32(read_decimal(text).value); }

int32_t saturating_add(int32_t a, int32_t b) {
    return clamp_to_int32(int64_t{a} + int64_t{b});
}

int32_t clamp_to_int32(int64_t value) {
    return static_cast<int32_t>(std::clamp(value, kInt32Min, kInt32Max));
}
