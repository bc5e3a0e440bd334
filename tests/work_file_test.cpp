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

// A line is put whole or not at all: one that would be cut would fuse with
// the next in the client's queue.
TEST(WorkLine, HasTheClientsFormatAndIsNeverCut) {
    const struct {
        Candidate candidate;
        int32_t SieveDepth;
        int32_t WactorWorth;
        std::string expected;
    } cases[] = {
        {{13, 620}, 45, 1, "Pminus1=13,2,620,1,45,1" + std::string(kLineEnd)},
        {{1, 2}, 0, 0, "Pminus1=1,2,2,1,0,0" + std::string(kLineEnd)},
        {{5, 7}, -3, -2, "Pminus1=5,2,7,1,-3,-2" + std::string(kLineEnd)},
        {{INT32_MIN, INT32_MIN}, INT32_MIN, INT32_MIN,
         "Pminus1=-2147483648,2,-2147483648,1,-2147483648,-2147483648" + std::string(kLineEnd)},
    };
    for (const auto& c : cases) {
        std::array<char, kMaxWorkLineLength + 1> lines{};
        lines.fill('#');
        std::size_t end = 1;
        ASSERT_TRUE(put_work_line(c.candidate, c.SieveDepth, c.WactorWorth, lines, end));
        EXPECT_EQ(std::string(lines.data() + 1, end - 1), c.expected);
        for (std::size_t room = 0; room < c.expected.size(); ++room) {
            std::size_t at = 1;
            EXPECT_FALSE(put_work_line(c.candidate, c.SieveDepth, c.WactorWorth, std::span(lines).first(1 + room), at));
            EXPECT_EQ(at, 1u) << room;
        }
    }
}

}  // namespace
