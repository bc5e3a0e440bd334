#include "run_log.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <string>
#include <utility>

namespace {

std::tm local_time(int year, int month, int day, int weekday, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month;
    t.tm_mday = day;
    t.tm_wday = weekday;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

// The log line of a run with these settings, at local, line end included.
std::string log_line(const std::tm& local, int32_t NMin, int32_t NMax, int32_t lines, const std::string& path,
                     int32_t SieveDepth = 45, int32_t WactorWorth = 1) {
    RunSettings settings{NMin, NMax, SieveDepth, WactorWorth, {}, nullptr, nullptr};
    path.copy(settings.outputPath.data(), settings.outputPath.size() - 1);
    std::array<char, 2048> room{};
    Lines line = lines_in(room);
    add_log_line(local, settings, lines, line);
    return std::string(text_of(line).begin(), text_of(line).end());
}

TEST(RunLogTimestamp, UsesFixedNamesAndLeadingZeros) {
    const struct {
        std::tm local;
        const char* expected;
    } cases[] = {
        {local_time(2026, 11, 8, 2, 23, 5, 9), "[Tue 08-Dec-2026 23:05:09]  "},
        {local_time(2027, 0, 31, 0, 0, 0, 0), "[Sun 31-Jan-2027 00:00:00]  "},
        {local_time(999, 5, 1, 6, 9, 59, 60), "[Sat 01-Jun-0999 09:59:60]  "},
        {local_time(12345, 6, 15, 3, 12, 30, 1), "[Wed 15-Jul-12345 12:30:01]  "},
    };
    for (const auto& c : cases) EXPECT_TRUE(log_line(c.local, 100, 200, 7, "w").starts_with(c.expected)) << c.expected;
}

TEST(RunLogSummary, KeepsItsFieldWidths) {
    const struct {
        int32_t NMin, NMax, lines, SieveDepth, WactorWorth;
        std::string path;
        std::string expected;
    } cases[] = {
        {100, 200, 7, 45, 1, "worktodo.ini",
         "Range      100-200      (  100), 45, 1,    7 candidates in worktodo.ini\n"},
        {0, 0, 0, 0, 0, "c/worktodo.ini", "Range        0-0        (    0), 0, 0,    0 candidates in c/worktodo.ini\n"},
        {123456789, 1234567890, 12345, -3, -2, "w",
         "Range 123456789-1234567890 (1111111101), -3, -2, 12345 candidates in w\n"},
        {-50, -10, 9999, 1, 1, "w", "Range      -50--10      (   40), 1, 1, 9999 candidates in w\n"},
        {INT32_MIN, INT32_MAX, 1, 1, 1, "w",
         "Range -2147483648-2147483647 (   -1), 1, 1,    1 candidates in w\n"},
        {INT32_MAX, INT32_MIN, 1, 1, 1, "w",
         "Range 2147483647--2147483648 (    1), 1, 1,    1 candidates in w\n"},
        // Every number at its widest and the longest path fit the line.
        {INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, std::string(999, 'p'),
         "Range -2147483648--2147483648 (    0), -2147483648, -2147483648, -2147483648 candidates in " +
             std::string(999, 'p') + "\n"},
    };
    for (const auto& c : cases) {
        const std::string line = log_line(local_time(2026, 11, 8, 2, 23, 5, 9), c.NMin, c.NMax, c.lines, c.path,
                                          c.SieveDepth, c.WactorWorth);
        EXPECT_EQ(line, "[Tue 08-Dec-2026 23:05:09]  " + c.expected);
    }
}

TEST(RunLogRange, ReadsTheRangeOfALoggedRun) {
    const struct {
        std::string line;
        bool read;
        int32_t NMin, NMax;
    } cases[] = {
        {"[Tue 08-Dec-2026 23:05:09]  Range      100-200      (  100), 45, 1,    7 candidates in w\n", true, 100, 200},
        {"[Tue 08-Dec-2026 23:05:09]  Range      -50--10      (   40), 1, 1,    1 candidates in w", true, -50, -10},
        {"[Tue 08-Dec-2026 23:05:09]  Range -2147483648-2147483647 (   -1)", true, INT32_MIN, INT32_MAX},
        {"an unrelated line", false, 0, 0},
        {"Range 100-200 without the time stamp's end", false, 0, 0},
        {"[...]  Range 100 200", false, 0, 0},
        {"[...]  Range x-200", false, 0, 0},
    };
    for (const auto& c : cases) {
        const std::string padded = c.line + std::string(8, '7');  // what the reader may load past the end
        int32_t NMin = 0;
        int32_t NMax = 0;
        EXPECT_EQ(read_logged_range(padded.data(), padded.data() + c.line.size(), NMin, NMax), c.read) << c.line;
        if (c.read) {
            EXPECT_EQ(std::make_pair(NMin, NMax), std::make_pair(c.NMin, c.NMax)) << c.line;
        }
    }
}

}  // namespace
