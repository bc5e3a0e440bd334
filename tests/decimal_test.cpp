#include "decimal.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <optional>
#include <string>

namespace {

struct IntCase {
    const char* text;
    std::optional<int32_t> value;  // saturated; nullopt: no number to read
    bool whole = false;            // nothing but white space follows the number
    bool beyond = false;           // the number lies beyond the signed 32-bit range
};

// Taken as typed: a number, nothing but white space after it, in range.
bool as_typed(const IntCase& c) { return c.value.has_value() && c.whole && !c.beyond; }

TEST(ReadWholeNumber, ReadsLikeScanfAndSaturates) {
    const IntCase cases[] = {
        {"0", 0, true},
        {"150", 150, true},
        {"  \t150 trailing text", 150},
        {"\r\n 7", 7, true},
        {"+42", 42, true},
        {"-42", -42, true},
        {"00012", 12, true},
        {"2147483647", INT32_MAX, true},
        {"2147483648", INT32_MAX, true, true},
        {"-2147483648", INT32_MIN, true},
        {"-2147483649", INT32_MIN, true, true},
        {"99999999999999999999999999999", INT32_MAX, true, true},
        {"-99999999999999999999999999999", INT32_MIN, true, true},
        {"12abc", 12},
        {"123456789", 123456789, true},
        {"0000000000000000123", 123, true},
        {"1:", 1},
        {"1/", 1},
        {"", std::nullopt},
        {"\n", std::nullopt},
        {"\r", std::nullopt},
        {"abc", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"- 5", std::nullopt},
        {"+-5", std::nullopt},
    };
    for (const IntCase& c : cases) {
        const WordNumber number = read_word_number(c.text, false);
        EXPECT_EQ(number.value, c.value.value_or(0)) << '"' << c.text << '"';
        EXPECT_EQ(number.asTyped, as_typed(c)) << '"' << c.text << '"';
        // Digits after the end of the text must not count.
        const std::string padded = c.text + std::string("77");
        const char* end = padded.data() + std::strlen(c.text);
        int32_t value = 1234;
        const char* after = read_int32(padded.data(), end, value);
        EXPECT_EQ(after != nullptr, c.value.has_value()) << '"' << c.text << '"';
        EXPECT_EQ(value, c.value.value_or(1234)) << '"' << c.text << '"';
    }
}

TEST(ReadDecimal, TruncatesDecimalValuesTowardZeroAndSaturates) {
    const IntCase cases[] = {
        {"1", 1, true},
        {"2.5", 2, true},
        {"1.9", 1, true},
        {"-1.9", -1, true},
        {"-0.5", 0, true},
        {" +3.99", 3, true},
        {".75", 0, true},
        {"7.", 7, true},
        {"1e3", 1000, true},
        {"1.25E2", 125, true},
        {"125e-2", 1, true},
        {"1.9999999999999999999999", 1, true},
        {"12e", 12},
        {"12e+", 12},
        {"2147483647.9", INT32_MAX, true},
        {"2147483648", INT32_MAX, true, true},
        {"-2147483648.5", INT32_MIN, true},
        {"1e10", INT32_MAX, true, true},
        {"-1e10", INT32_MIN, true, true},
        {"1e99999999999999999999", INT32_MAX, true, true},
        {"0e99999999999999999999", 0, true},
        {"1e-99999999999999999999", 0, true},
        {"0.00000000000000000000000000000000000001e40", 100, true},
        {"", std::nullopt},
        {".", std::nullopt},
        {"abc", std::nullopt},
        {"nan", std::nullopt},
        {"inf", std::nullopt},
        {"-infinity", std::nullopt},
        {"0x10", 0},
        {"0x1p4", 0},
        {"12 ", 12, true},
        {"1.5x", 1},
        {"1e3x", 1000},
    };
    for (const auto& c : cases) {
        const WordNumber number = read_word_number(c.text, true);
        EXPECT_EQ(number.value, c.value.value_or(0)) << '"' << c.text << '"';
        EXPECT_EQ(number.asTyped, as_typed(c)) << '"' << c.text << '"';
    }
}

TEST(SaturatingAdd, StopsAtTheLimits) {
    EXPECT_EQ(saturating_add(2, 3), 5);
    EXPECT_EQ(saturating_add(INT32_MAX, 1), INT32_MAX);
    EXPECT_EQ(saturating_add(INT32_MAX - 10, INT32_MAX), INT32_MAX);
    EXPECT_EQ(saturating_add(INT32_MIN, -1), INT32_MIN);
    EXPECT_EQ(saturating_add(INT32_MAX, INT32_MIN), -1);
}

}  // namespace
