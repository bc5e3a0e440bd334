// Reading decimal numbers from text without undefined behaviour: values
// beyond the signed 32-bit range saturate at the nearest limit.
#pragma once

#include <cstdint>

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A whole number as scanf's "%ld" reads it from the text [begin, end):
// white space skipped, an optional sign, then at least one digit; reading
// stops at the first other character. Returns where the number ends, or
// nullptr, leaving value as it was, when there is none.
const char* read_int32(const char* begin, const char* end, int32_t& value);

// A number typed on the command line, read as atol reads a whole number,
// or, for a decimal, as atof reads decimal floating-point text (digits,
// an optional fraction and exponent; no "inf", "nan" or hexadecimal form)
// truncated toward zero, so 1.9 gives 1 and -1.9 gives -1: 0 where there
// is none. It is taken as typed when the whole word is one such number
// within the signed 32-bit range.
struct WordNumber {
    int32_t value;
    bool asTyped;
};
WordNumber read_word_number(const char* word, bool decimal);

// a + b, saturated at the signed 32-bit limits.
int32_t saturating_add(int32_t a, int64_t b);

// value, saturated at the signed 32-bit limits.
int32_t clamp_to_int32(int64_t value);
