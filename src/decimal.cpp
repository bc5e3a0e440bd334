#include "decimal.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// Magnitudes are accumulated up to this cap: anything at the cap is already
// out of range, and cap * 10 + 9 still fits in 64 bits. Exponents have a
// cap of their own, which over- or underflows any number.
constexpr int64_t kMagnitudeCap = int64_t{1} << 32;
constexpr int64_t kExponentCap = int64_t{1} << 40;

// A space, or one of \t \n \v \f \r, which are consecutive codes.
bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

const char* skip_space(const char* p, const char* end) {
    while (p < end && is_space(*p)) ++p;
    return p;
}

// Consumes an optional sign; true when it was a minus.
bool read_sign(const char*& p, const char* end) {
    if (p == end || (*p != '-' && *p != '+')) return false;
    return *p++ == '-';
}

int64_t pushed(int64_t magnitude, char digit, int64_t cap) { return std::min(magnitude * 10 + (digit - '0'), cap); }

// The digits from p, their value added to magnitude up to cap; returns
// where they end.
const char* read_digits(const char* p, const char* end, int64_t& magnitude, int64_t cap) {
    for (; p < end && is_digit(*p); ++p) magnitude = pushed(magnitude, *p, cap);
    return p;
}

// An optional sign and at least one digit at p, the magnitude capped at
// cap; nullptr, leaving value as it was, when there are no digits.
const char* read_signed(const char* p, const char* end, int64_t& value, int64_t cap) {
    const bool negative = read_sign(p, end);
    int64_t magnitude = 0;
    const char* after = read_digits(p, end, magnitude, cap);
    if (after == p) return nullptr;
    value = negative ? -magnitude : magnitude;
    return after;
}

// A whole number, white space before it skipped.
const char* read_whole(const char* begin, const char* end, int64_t& value) {
    return read_signed(skip_space(begin, end), end, value, kMagnitudeCap);
}

// The exponent at p: "e" or "E", an optional sign and at least one digit.
// Without that digit there is none: its value is 0 and it ends at p.
const char* read_exponent(const char* p, const char* end, int64_t& exponent) {
    const char* after = p < end && (*p == 'e' || *p == 'E') ? read_signed(p + 1, end, exponent, kExponentCap) : nullptr;
    return after != nullptr ? after : p;
}

// Digits with at most one point among them, then an exponent: the whole
// part of its value, from the digits before the point once the exponent
// has moved it (missing ones are zeros).
const char* read_decimal(const char* begin, const char* end, int64_t& value) {
    const char* digits = skip_space(begin, end);
    const bool negative = read_sign(digits, end);
    int64_t ignored = 0;
    const char* point = read_digits(digits, end, ignored, kMagnitudeCap);
    const bool pointed = point < end && *point == '.';
    const char* mantissaEnd = pointed ? read_digits(point + 1, end, ignored, kMagnitudeCap) : point;
    if (mantissaEnd - digits == (pointed ? 1 : 0)) return nullptr;
    int64_t exponent = 0;
    const char* after = read_exponent(mantissaEnd, end, exponent);
    int64_t wholeDigits = (point - digits) + exponent;
    int64_t magnitude = 0;
    for (const char* p = digits; p < mantissaEnd && wholeDigits > 0; ++p) {
        if (*p == '.') continue;
        magnitude = pushed(magnitude, *p, kMagnitudeCap);
        --wholeDigits;
    }
    for (; wholeDigits > 0 && magnitude != 0 && magnitude < kMagnitudeCap; --wholeDigits)
        magnitude = pushed(magnitude, '0', kMagnitudeCap);
    value = negative ? -magnitude : magnitude;
    return after;
}

}  // namespace

const char* read_int32(const char* begin, const char* end, int32_t& value) {
    int64_t read = 0;
    const char* after = read_whole(begin, end, read);
    if (after != nullptr) value = clamp_to_int32(read);
    return after;
}

WordNumber read_word_number(const char* word, bool decimal) {
    const char* end = word + std::strlen(word);
    int64_t value = 0;
    const char* after = decimal ? read_decimal(word, end, value) : read_whole(word, end, value);
    const int32_t clamped = clamp_to_int32(value);
    return {clamped, after != nullptr && skip_space(after, end) == end && clamped == value};
}

int32_t saturating_add(int32_t a, int64_t b) { return clamp_to_int32(int64_t{a} + b); }

int32_t clamp_to_int32(int64_t value) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}
