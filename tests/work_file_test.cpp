#include "work_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "host.h"
#include "test_support.h"

namespace {

std::vector<Candidate> ordered(const std::vector<Candidate>& entries) {
    auto table = std::make_unique<CandidateTable>();
    std::copy(entries.begin(), entries.end(), table->entries.begin());
    table->count = static_cast<int32_t>(entries.size());
    order_by_n(*table);
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

// One line of the client's format for every entry with k > 0, in table
// order, each number signed and unpadded; the batch holds a full table of
// the widest lines.
TEST(WorkLines, HaveTheClientsFormat) {
    const struct {
        Candidate candidate;
        int32_t SieveDepth;
        int32_t WactorWorth;
        std::string expected;  // empty: no line
    } cases[] = {
        {{13, 620}, 45, 1, "Pminus1=13,2,620,1,45,1"},
        {{1, 2}, 0, 0, "Pminus1=1,2,2,1,0,0"},
        {{5, 7}, -3, -2, "Pminus1=5,2,7,1,-3,-2"},
        {{INT32_MAX, INT32_MIN}, INT32_MIN, INT32_MIN, "Pminus1=2147483647,2,-2147483648,1,-2147483648,-2147483648"},
        {{0, 7}, 45, 1, ""},
        {{-5, 7}, 45, 1, ""},
    };
    for (const auto& c : cases) {
        auto table = std::make_unique<CandidateTable>();
        table->entries.fill(c.candidate);
        table->count = kTableSlots - 1;
        RunSettings settings{};
        settings.SieveDepth = c.SieveDepth;
        settings.WactorWorth = c.WactorWorth;
        const Lines lines = format_work_lines(*table, settings);
        std::string expected;
        for (int32_t i = 0; !c.expected.empty() && i < table->count; ++i) expected += c.expected + kLineEnd;
        EXPECT_EQ(std::string(text_of(lines).begin(), text_of(lines).end()), expected) << c.expected;
        EXPECT_EQ(lines.count, c.expected.empty() ? 0 : table->count);
    }
}

}  // namespace
