#include "work_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "host.h"
#include "test_support.h"

namespace {

TEST(OutputPath, JoinsTheDirectoryAndTheWorkFileName) {
    const std::string sep(1, kDirectorySeparator);
    const std::string other = kDirectorySeparator == '/' ? "\\" : "/";
    const struct {
        std::optional<std::string> directory;
        std::string expected;
    } cases[] = {
        {std::nullopt, "worktodo.ini"},
        {"", "worktodo.ini"},
        {"client", "client" + sep + "worktodo.ini"},
        {"client" + sep, "client" + sep + "worktodo.ini"},
        {"client" + other, "client" + other + sep + "worktodo.ini"},
        {sep, sep + "worktodo.ini"},
    };
    for (const auto& c : cases) {
        OutputPath path{};
        ASSERT_TRUE(build_output_path(c.directory ? c.directory->c_str() : nullptr, path));
        EXPECT_EQ(std::string(path.data()), c.expected);
    }
}

TEST(OutputPath, RefusesPathsLongerThan999Characters) {
    const std::string sep(1, kDirectorySeparator);
    const struct {
        std::string directory;
        bool fits;
    } cases[] = {
        {std::string(986, 'd'), true},   // 986 + separator + 12 = 999
        {std::string(987, 'd'), false},
        {std::string(986, 'd') + sep, true},
        {std::string(987, 'd') + sep, false},
        {std::string(5000, 'd'), false},
    };
    for (const auto& c : cases) {
        OutputPath path{};
        path.back() = 'x';  // must be cleared
        EXPECT_EQ(build_output_path(c.directory.c_str(), path), c.fits) << c.directory.size();
        EXPECT_EQ(path.back(), '\0');
        if (c.fits) {
            EXPECT_EQ(std::string(path.data()).size(), 999u);
        }
    }
}

std::vector<Candidate> ordered(const std::vector<Candidate>& entries) {
    auto table = std::make_unique<CandidateTable>();
    auto scratch = std::make_unique<CandidateArray>();
    std::copy(entries.begin(), entries.end(), table->entries.begin());
    table->count = static_cast<int32_t>(entries.size());
    order_by_n(*table, *scratch);
    return entries_of(*table);
}

TEST(OrderByN, SortsByNKeepingTiesInTableOrder) {
    const struct {
        std::vector<Candidate> entries;
        std::vector<Candidate> expected;
    } cases[] = {
        {{}, {}},
        {{{7, 5}}, {{7, 5}}},
        {{{1, 300}, {2, 100}, {3, 200}}, {{2, 100}, {3, 200}, {1, 300}}},
        {{{9, 150}, {4, 150}, {0, 150}, {1, 120}}, {{1, 120}, {9, 150}, {4, 150}, {0, 150}}},
        {{{1, INT32_MAX}, {2, INT32_MIN}, {3, -1}, {4, 0}}, {{2, INT32_MIN}, {3, -1}, {4, 0}, {1, INT32_MAX}}},
    };
    for (const auto& c : cases) EXPECT_EQ(ordered(c.entries), c.expected);
}

// Runs of ascending n, one per k, as a sieve file delivers them; ties are
// frequent. Any stable sort must give what std::stable_sort gives.
TEST(OrderByN, MatchesAStableSortOnSieveLikeTables) {
    std::mt19937 random(20261208);
    for (const int32_t size : {2, 3, 17, 64, 1000, 4097, kTableSlots - 1}) {
        std::vector<Candidate> entries;
        int32_t k = 1;
        int32_t n = 0;
        for (int32_t i = 0; i < size; ++i) {
            if (random() % 400 == 0) {
                ++k;
                n = static_cast<int32_t>(random() % 50);
            }
            n += static_cast<int32_t>(random() % 4);
            entries.push_back({k, n});
        }
        std::vector<Candidate> expected = entries;
        std::stable_sort(expected.begin(), expected.end(),
                         [](const Candidate& a, const Candidate& b) { return a.n < b.n; });
        EXPECT_EQ(ordered(entries), expected) << size;
    }
}

TEST(WorkLine, HasTheClientsFormat) {
    const struct {
        Candidate candidate;
        int32_t SieveDepth;
        int32_t WactorWorth;
        const char* expected;
    } cases[] = {
        {{13, 620}, 45, 1, "Pminus1=13,2,620,1,45,1\n"},
        {{1, 2}, 0, 0, "Pminus1=1,2,2,1,0,0\n"},
        {{5, 7}, -3, -2, "Pminus1=5,2,7,1,-3,-2\n"},
        {{INT32_MAX, INT32_MIN}, INT32_MIN, INT32_MIN,
         "Pminus1=2147483647,2,-2147483648,1,-2147483648,-2147483648\n"},
    };
    for (const auto& c : cases) {
        WorkLine line{};
        format_work_line(c.candidate, c.SieveDepth, c.WactorWorth, line);
        EXPECT_STREQ(line.data(), c.expected);
    }
}

}  // namespace
