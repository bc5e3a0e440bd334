#include "append_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// A file may be cut back only when it holds exactly its earlier bytes and
// this run's: bytes another writer appended after them must stay.
TEST(PutBack, CutsOnlyWhenNothingFollowsThisRunsBytes) {
    const struct {
        const char* name;
        int64_t original, written, current;
        bool cut;
    } cases[] = {
        {"this run's bytes alone follow", 20, 8172, 8192, true},
        {"nothing of this run was written", 20, 0, 20, false},
        {"another writer appended after this run", 20, 8172, 8200, false},
        {"someone cut the file meanwhile", 20, 8172, 100, false},
        {"earlier size unknown", -1, 10, 9, false},
    };
    for (const auto& c : cases) EXPECT_EQ(may_cut_back(c.original, c.written, c.current), c.cut) << c.name;
}

// A FIFO gets its lines in pieces that end a line: a piece given up midway
// must leave no part of a line for the next run's first line to fuse with.
TEST(Pieces, EndWhereALineEnds) {
    const struct {
        std::string lines;
        std::size_t limit;
        std::size_t piece;
    } cases[] = {
        {"ab\ncd\n", 10, 6},    // all of it fits
        {"ab\ncd\nef\n", 7, 6},  // the last whole line within the limit
        {"ab\ncd\n", 6, 6},     // exactly
        {"ab\ncd\n", 5, 3},
        {"ab\ncd\n", 3, 3},
        {"abcdef\n", 4, 4},      // no line ends within the limit: the limit
    };
    for (const auto& c : cases)
        EXPECT_EQ(whole_lines_within(std::span(c.lines.data(), c.lines.size()), c.limit), c.piece)
            << c.lines << " within " << c.limit;
}

}  // namespace
