#include "append_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "test_support.h"

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

#ifndef _WIN32
namespace {

// A file this run creates has the entry in its own folder flushed: through
// a link to a file not there yet, that is the target's folder.
TEST(AppendHost, NamesTheFolderOfTheFileItOpens) {
    TempDir dir;
    std::filesystem::create_directories(dir / "target");
    std::filesystem::create_directories(dir / "links");
    std::filesystem::create_symlink("../target/real.ini", dir / "links/worktodo.ini");
    write_file(dir / "target/old.ini", "old\n");
    std::filesystem::create_symlink("../target/old.ini", dir / "links/old.ini");
    const std::string target = std::filesystem::canonical(dir / "target").string();
    const struct {
        const char* name;
        std::string path;
        bool created;
    } cases[] = {
        {"a new file", dir / "target/new.ini", true},
        {"a new file through a link", dir / "links/worktodo.ini", true},
        {"an existing file through a link", dir / "links/old.ini", false},
    };
    for (const auto& c : cases) {
        AppendHandle handle{};
        ASSERT_EQ(open_for_append(c.path.c_str(), false, handle), OpenOutcome::kOpened) << c.name;
        FolderPath folder{};
        EXPECT_TRUE(folder_of(handle, c.path.c_str(), folder)) << c.name;
        EXPECT_EQ(std::string(folder.data()), target) << c.name;
        EXPECT_EQ(handle.created, c.created) << c.name;
        EXPECT_TRUE(handle.readable) << c.name;
        close_append_handle(handle);
    }
    EXPECT_TRUE(file_exists(dir / "target/real.ini"));
}

}  // namespace
#endif
