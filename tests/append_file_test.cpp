#include "append_file.h"

#include <gtest/gtest.h>

#include <cstdint>

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
        {"into an empty file", 0, 5, 5, true},
        {"nothing of this run was written", 20, 0, 20, false},
        {"another writer appended after this run", 20, 8172, 8200, false},
        {"someone cut the file meanwhile", 20, 8172, 100, false},
        {"someone emptied the file", 20, 10, 0, false},
        {"current size unknown", 20, 10, -1, false},
        {"earlier size unknown", -1, 10, 9, false},
        {"the widest sizes", INT64_MAX - 10, 10, INT64_MAX, true},
    };
    for (const auto& c : cases) EXPECT_EQ(may_cut_back(c.original, c.written, c.current), c.cut) << c.name;
}

}  // namespace
