// The POSIX host's calls on real files: the one open path, the folder of a
// new file, and what a preview asks without opening.
#include "host.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

bool is_root() { return geteuid() == 0; }

// One open, which the handle then classifies: a regular file is read and
// written through one handle, anything else written alone, a FIFO without a
// reader is told apart, and what cannot take lines is refused.
TEST(HostOpen, OpensEachKindOfFileAsAnAppendWants) {
    TempDir dir;
    write_file(dir / "regular", "x\n");
    write_file(dir / "write-only", "x\n");
    fs::permissions(dir / "write-only", fs::perms::owner_write);
    fs::create_symlink("made.ini", dir / "link");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((dir / "read-fifo").c_str(), 0600), 0);
    const int reader = open((dir / "read-fifo").c_str(), O_RDONLY | O_NONBLOCK);
    make_socket(dir / "socket");
    fs::create_directory(dir / "folder");
    const struct {
        const char* name;
        std::string path;
        OpenOutcome outcome;
        bool readable;
        bool created;
    } cases[] = {
        {"a regular file", dir / "regular", OpenOutcome::kOpened, true, false},
        {"none yet", dir / "new", OpenOutcome::kOpened, true, true},
        {"through a link to a file not there yet", dir / "link", OpenOutcome::kOpened, true, true},
        // Root reads whatever the permissions say.
        {"a file this user may write but not read", dir / "write-only", OpenOutcome::kOpened, is_root(), false},
        {"a FIFO that nobody reads", dir / "fifo", OpenOutcome::kNoReader, false, false},
        {"a FIFO that a program reads", dir / "read-fifo", OpenOutcome::kOpened, false, false},
        {"a device", "/dev/null", OpenOutcome::kOpened, false, false},
        {"a socket", dir / "socket", OpenOutcome::kNotOpened, false, false},
        {"a folder", dir / "folder", OpenOutcome::kNotOpened, false, false},
        {"in a missing folder", dir / "missing/new", OpenOutcome::kNotOpened, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppendHandle handle{-1, false, false};
        ASSERT_EQ(open_for_append(c.path.c_str(), false, handle), c.outcome);
        if (c.outcome != OpenOutcome::kOpened) continue;
        EXPECT_EQ(handle.readable, c.readable);
        EXPECT_EQ(handle.created, c.created);
        EXPECT_GT(handle.descriptor, STDERR_FILENO);
        close_append_handle(handle);
    }
    EXPECT_TRUE(file_exists(dir / "made.ini"));
    close(reader);
}

// A file this run creates has the entry in its own folder flushed: through
// a link to a file not there yet, that is the target's folder.
TEST(HostFolder, NamesTheFolderThatHoldsTheFileAtAPath) {
    TempDir dir;
    fs::create_directories(dir / "target");
    fs::create_directories(dir / "links");
    fs::create_symlink("../target/real.ini", dir / "links/worktodo.ini");
    fs::create_symlink(fs::canonical(dir / "target").string() + "/abs.ini", dir / "links/absolute.ini");
    const struct {
        const char* name;
        std::string path;
        std::string folder;
    } cases[] = {
        {"a file", dir / "target/new.ini", dir / "target"},
        {"through a relative link", dir / "links/worktodo.ini", dir / "target"},
        {"through an absolute link", dir / "links/absolute.ini", dir / "target"},
        {"a bare name", "worktodo.ini", "."},
    };
    for (const auto& c : cases) {
        FolderPath folder{};
        ASSERT_TRUE(folder_of(c.path.c_str(), folder)) << c.name;
        EXPECT_EQ(fs::canonical(folder.data()), fs::canonical(c.folder)) << c.name;
    }
    const std::string tooLong(5000, 'd');
    FolderPath folder{};
    EXPECT_FALSE(folder_of(tooLong.c_str(), folder));
}

// What a preview learns of a path without opening it.
TEST(HostLook, TellsWhatAPathNamesAndWhetherARunCouldMakeIt) {
    TempDir dir;
    write_file(dir / "regular", "x\n");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    make_socket(dir / "socket");
    fs::create_symlink("missing/new.ini", dir / "dangling");
    const struct {
        const char* name;
        std::string path;
        FileKind kind;
        std::optional<Creation> creation;  // where there is no such file
    } cases[] = {
        {"nothing", dir / "new", FileKind::kNone, Creation::kAllowed},
        {"a regular file", dir / "regular", FileKind::kRegular, std::nullopt},
        {"a folder", dir.path(), FileKind::kFolder, std::nullopt},
        {"a FIFO", dir / "fifo", FileKind::kFifo, std::nullopt},
        {"a device", "/dev/null", FileKind::kDevice, std::nullopt},
        {"a socket", dir / "socket", FileKind::kOther, std::nullopt},
        {"below a regular file", dir / "regular/new", FileKind::kOther, std::nullopt},
        {"in a missing folder", dir / "missing/new", FileKind::kNone, Creation::kRefused},
        {"through a link into a missing folder", dir / "dangling", FileKind::kNone, Creation::kRefused},
        // The kernel's file system of processes lets root in, and makes no file there.
        {"in a folder of a file system that holds no blocks", "/proc/new", FileKind::kNone,
         is_root() ? Creation::kUnknown : Creation::kRefused},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kind_at(c.path.c_str()), c.kind) << c.name;
        if (c.creation) {
            EXPECT_EQ(may_create(c.path.c_str()), *c.creation) << c.name;
        }
    }
    EXPECT_TRUE(may_write((dir / "regular").c_str()));
    fs::permissions(dir / "regular", fs::perms::owner_read);
    EXPECT_EQ(may_write((dir / "regular").c_str()), is_root());
}

// The lock is asked for with a shared lock that is given back at once: a
// run may take it right after.
TEST(HostLook, AsksForTheLockWithoutKeepingIt) {
    TempDir dir;
    write_file(dir / "work", "x\n");
    std::FILE* file = std::fopen((dir / "work").c_str(), "r");
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(lock_held_elsewhere(file));
    const int other = open((dir / "work").c_str(), O_RDONLY);
    EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0) << "the preview kept a lock";
    EXPECT_TRUE(lock_held_elsewhere(file));
    close(other);
    EXPECT_FALSE(lock_held_elsewhere(file));
    std::fclose(file);
}

}  // namespace
