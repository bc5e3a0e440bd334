#include "decimal.h"

#include <algorithm>
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

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

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

int32_t clamp_to_int32(int64_t value) {
    return static_cast<int32_t>(std::clamp(value, kInt32Min, kInt32Max));
}

int32_t signed_value(int64_t magnitude, bool negative) {
    return clamp_to_int32(negative ? -magnitude : magnitude);
}

// The exponent at p: "e" or "E", an optional sign and at least one digit.
// Without that digit there is no exponent, and the result is 0.
int64_t read_exponent(const char* p, const char* end) {
    if (p == end || (*p != 'e' && *p != 'E')) return 0;
    ++p;
    const bool negative = read_sign(p, end);
    int64_t magnitude = 0;
    for (; digit_at(p, end); ++p) magnitude = push_digit(magnitude, *p, kExponentCap);
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

const char* read_int32_in(const char* begin, const char* end, int32_t& value) {
    const char* p = skip_space(begin, end);
    const bool negative = read_sign(p, end);
    if (!digit_at(p, end)) return nullptr;
    int64_t magnitude = 0;
    for (; digit_at(p, end); ++p) magnitude = push_digit(magnitude, *p, kMagnitudeCap);
    value = signed_value(magnitude, negative);
    return p;
}

const char* read_int32_at(const char* text, int32_t& value) {
    return read_int32_in(text, text + std::strlen(text), value);
}

bool read_int32(const char* text, int32_t& value) { return read_int32_at(text, value) != nullptr; }

int32_t int32_or_zero(const char* text) {
    int32_t value = 0;
    read_int32(text, value);
    return value;
}

int32_t truncated_int32_or_zero(const char* text) {
    const char* end = text + std::strlen(text);
    const char* p = skip_space(text, end);
    const bool negative = read_sign(p, end);
    const char* digits = p;
    int64_t integerDigits = 0;
    int64_t fractionDigits = 0;
    for (; digit_at(p, end); ++p) ++integerDigits;
    if (p < end && *p == '.')
        for (++p; digit_at(p, end); ++p) ++fractionDigits;
    if (integerDigits + fractionDigits == 0) return 0;
    const int64_t pointPosition = integerDigits + read_exponent(p, end);
    return signed_value(integer_part(digits, end, pointPosition), negative);
}

int32_t saturating_add(int32_t a, int32_t b) {
    return clamp_to_int32(int64_t{a} + int64_t{b});
}
