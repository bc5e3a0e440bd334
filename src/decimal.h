// Reading decimal numbers from text without undefined behaviour: values
// beyond the signed 32-bit range saturate at the nearest limit.
#pragma once

#include <cstddef>
#include <cstdint>

// A number read from the start of a text, white space before it skipped.
struct TextNumber {
    bool found;     // the text starts with a number; else value is 0
    bool whole;     // nothing but white space follows it
    int64_t value;  // its value (a decimal's whole part); beyond the signed 32-bit range where it lies beyond
};

// A number as scanf's "%ld" reads it: an optional sign, then at least one
// digit; reading stops at the first other character.
TextNumber read_whole_number(const char* text);

// Decimal floating-point text (digits, an optional fraction and an
// optional exponent), its exact value truncated toward zero, so 1.9 gives 1
// and -1.9 gives -1. "inf", "nan" and hexadecimal forms are not numbers
// here.
TextNumber read_decimal(const char* text);

// Bytes after a text that read_int32_before_slack may load and ignores.
inline constexpr std::size_t kScanSlack = 8;

// As read_whole_number, for text [begin, end) that is followed by at least
// kScanSlack readable bytes of any value, saturated at the signed 32-bit
// limits. Returns where the number ends, or nullptr, leaving value as it
// was, when there is none; a zero byte inside the text ends the number like
// any other non-digit.
const char* read_int32_before_slack(const char* begin, const char* end, int32_t& value);

// The value of the 1 to 8 digits at p, which are followed by readable bytes
// to make 8; they are valued at once.
int32_t value_of_digits_before_slack(const char* p, std::ptrdiff_t count);

// Where the number that read_int32_before_slack would read ends, or nullptr
// when there is none; its value is not computed.
const char* skip_number_before_slack(const char* begin, const char* end);

// The number, saturated at the signed 32-bit limits; 0 where there is none
// (as atol and a truncated atof give).
int32_t int32_or_zero(const char* text);
int32_t truncated_int32_or_zero(const char* text);

// a + b, saturated at the signed 32-bit limits.
int32_t saturating_add(int32_t a, int32_t b);

// value, saturated at the signed 32-bit limits.
int32_t clamp_to_int32(int64_t value);

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }
