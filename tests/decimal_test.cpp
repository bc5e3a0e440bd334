#include "decimal.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <optional>
#include <string>

namespace {

struct IntCase {
    const char* text;
    std::optional<int32_t> value;  // nullopt: no number to read
};

TEST(ReadInt32, ReadsLikeScanfAndSaturates) {
    const IntCase cases[] = {
        {"0", 0},
        {"150", 150},
        {"  \t150 trailing text", 150},
        {"\r\n 7", 7},
        {"+42", 42},
        {"-42", -42},
        {"00012", 12},
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"99999999999999999999999999999", INT32_MAX},
        {"-99999999999999999999999999999", INT32_MIN},
        {"12abc", 12},
        {"1234567", 1234567},
        {"12345678", 12345678},
        {"123456789", 123456789},
        {"0000000000000000123", 123},
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
        int32_t value = 1234;
        const bool read = read_int32(c.text, value);
        EXPECT_EQ(read, c.value.has_value()) << '"' << c.text << '"';
        EXPECT_EQ(value, c.value.value_or(1234)) << '"' << c.text << '"';
        EXPECT_EQ(int32_or_zero(c.text), c.value.value_or(0)) << '"' << c.text << '"';
        // Digits in the slack after the text must not count.
        const std::string padded = c.text + std::string(kScanSlack, '7');
        const char* end = padded.data() + std::strlen(c.text);
        value = 1234;
        const char* after = read_int32_before_slack(padded.data(), end, value);
        EXPECT_EQ(after != nullptr, c.value.has_value()) << '"' << c.text << '"';
        EXPECT_EQ(value, c.value.value_or(1234)) << '"' << c.text << '"';
    }
}

TEST(TruncatedInt32, TruncatesDecimalValuesTowardZeroAndSaturates) {
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {
        {"1", 1},
        {"2.5", 2},
        {"1.9", 1},
        {"-1.9", -1},
        {"-0.5", 0},
        {" +3.99", 3},
        {".75", 0},
        {"7.", 7},
        {"1e3", 1000},
        {"1.25E2", 125},
        {"125e-2", 1},
        {"1.9999999999999999999999", 1},
        {"12e", 12},
        {"12e+", 12},
        {"2147483647.9", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"-2147483648.5", INT32_MIN},
        {"1e10", INT32_MAX},
        {"-1e10", INT32_MIN},
        {"1e99999999999999999999", INT32_MAX},
        {"0e99999999999999999999", 0},
        {"1e-99999999999999999999", 0},
        {"0.00000000000000000000000000000000000001e40", 100},
        {"", 0},
        {".", 0},
        {"abc", 0},
        {"nan", 0},
        {"inf", 0},
        {"-infinity", 0},
        {"0x10", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(truncated_int32_or_zero(c.text), c.value) << '"' << c.text << '"';
}

TEST(SaturatingAdd, StopsAtTheLimits) {
    EXPECT_EQ(saturating_add(2, 3), 5);
    EXPECT_EQ(saturating_add(INT32_MAX, 1), INT32_MAX);
    EXPECT_EQ(saturating_add(INT32_MAX - 10, INT32_MAX), INT32_MAX);
    EXPECT_EQ(saturating_add(INT32_MIN, -1), INT32_MIN);
    EXPECT_EQ(saturating_add(INT32_MAX, INT32_MIN), -1);
}

}  // namespace
