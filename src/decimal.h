// Reading decimal numbers from text without undefined behaviour: values
// beyond the signed 32-bit range saturate at the nearest limit.
#pragma once

#include <cstddef>
#include <cstdint>

// Reads a number the way scanf's "%ld" does: leading white space, an
// optional sign, then at least one digit; reading stops at the first other
// character. Returns false, leaving value unchanged, when there is no digit.
bool read_int32(const char* text, int32_t& value);

// Bytes after a text that read_int32_before_slack may load and ignores.
inline constexpr std::size_t kScanSlack = 8;

// As read_int32, for text [begin, end) that is followed by at least
// kScanSlack readable bytes of any value; it scans digits eight at a time.
// Returns where the number ends, or nullptr when there is none; a zero byte
// inside the text ends the number like any other non-digit.
const char* read_int32_before_slack(const char* begin, const char* end, int32_t& value);

// The value of the 1 to 8 digits at p, which are followed by readable bytes
// to make 8; they are valued at once.
int32_t value_of_digits_before_slack(const char* p, std::ptrdiff_t count);

// Where the number that read_int32_before_slack would read ends, or nullptr
// when there is none; its value is not computed.
const char* skip_number_before_slack(const char* begin, const char* end);

// As read_int32, but text with no number gives 0 (like atol).
int32_t int32_or_zero(const char* text);

// Reads decimal floating-point text (digits, an optional fraction and an
// optional exponent) and truncates its exact value toward zero, so 1.9 gives
// 1 and -1.9 gives -1. Text with no decimal number gives 0; "inf", "nan" and
// hexadecimal forms are not numbers here.
int32_t truncated_int32_or_zero(const char* text);

// Whether the whole of text, white space around it aside, is one number
// that int32_or_zero reads within the signed 32-bit range.
bool is_exact_int32(const char* text);

// Whether the whole of text, white space around it aside, is one decimal
// number whose whole part (what truncated_int32_or_zero gives) lies within
// the signed 32-bit range.
bool is_exact_decimal(const char* text);

// a + b, saturated at the signed 32-bit limits.
int32_t saturating_add(int32_t a, int32_t b);

// value, saturated at the signed 32-bit limits.
int32_t clamp_to_int32(int64_t value);

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }
