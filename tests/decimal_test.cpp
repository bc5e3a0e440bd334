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
        {"1234567", 1234567, true},
        {"12345678", 12345678, true},
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
        const TextNumber number = read_whole_number(c.text);
        EXPECT_EQ(number.found, c.value.has_value()) << '"' << c.text << '"';
        EXPECT_EQ(number.whole, c.whole) << '"' << c.text << '"';
        EXPECT_EQ(clamp_to_int32(number.value) != number.value, c.beyond) << '"' << c.text << '"';
        EXPECT_EQ(int32_or_zero(c.text), c.value.value_or(0)) << '"' << c.text << '"';
        // Digits in the slack after the text must not count.
        const std::string padded = c.text + std::string(kScanSlack, '7');
        const char* end = padded.data() + std::strlen(c.text);
        int32_t value = 1234;
        const char* after = read_int32_before_slack(padded.data(), end, value);
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
        const TextNumber number = read_decimal(c.text);
        EXPECT_EQ(number.found, c.value.has_value()) << '"' << c.text << '"';
        EXPECT_EQ(number.whole, c.whole) << '"' << c.text << '"';
        EXPECT_EQ(clamp_to_int32(number.value) != number.value, c.beyond) << '"' << c.text << '"';
        EXPECT_EQ(truncated_int32_or_zero(c.text), c.value.value_or(0)) << '"' << c.text << '"';
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
