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
// reader is told apart, and what cannot take lines is refused. A preview's
// look opens a regular file that is there, as the run would, and nothing
// else: no FIFO, no device, nothing it would have to create.
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
        OpenFor purpose;
        OpenOutcome outcome;
        bool readable;
        bool created;
    } cases[] = {
        {"a regular file", dir / "regular", OpenFor::kAppend, OpenOutcome::kOpened, true, false},
        {"none yet", dir / "new", OpenFor::kAppend, OpenOutcome::kOpened, true, true},
        {"through a link to a file not there yet", dir / "link", OpenFor::kAppend, OpenOutcome::kOpened, true, true},
        // Root reads whatever the permissions say.
        {"a file this user may write but not read", dir / "write-only", OpenFor::kAppend, OpenOutcome::kOpened,
         is_root(), false},
        {"a FIFO that nobody reads", dir / "fifo", OpenFor::kAppend, OpenOutcome::kNoReader, false, false},
        {"a FIFO that a program reads", dir / "read-fifo", OpenFor::kAppend, OpenOutcome::kOpened, false, false},
        {"a device", "/dev/null", OpenFor::kAppend, OpenOutcome::kOpened, false, false},
        {"a socket", dir / "socket", OpenFor::kAppend, OpenOutcome::kNotOpened, false, false},
        {"a folder", dir / "folder", OpenFor::kAppend, OpenOutcome::kNotOpened, false, false},
        {"in a missing folder", dir / "missing/new", OpenFor::kAppend, OpenOutcome::kNotOpened, false, false},
        {"a look at a regular file", dir / "regular", OpenFor::kLook, OpenOutcome::kOpened, true, false},
        {"a look at one this user may write but not read", dir / "write-only", OpenFor::kLook,
         OpenOutcome::kOpened, is_root(), false},
        {"a look at nothing", dir / "looked-for", OpenFor::kLook, OpenOutcome::kChanged, false, false},
        {"a look at a FIFO that a program reads", dir / "read-fifo", OpenFor::kLook, OpenOutcome::kChanged, false,
         false},
        {"a look at a device", "/dev/null", OpenFor::kLook, OpenOutcome::kChanged, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppendHandle handle{-1, false, false};
        ASSERT_EQ(open_for_append(c.path.c_str(), c.purpose, handle), c.outcome);
        if (c.outcome != OpenOutcome::kOpened) continue;
        EXPECT_EQ(handle.readable, c.readable);
        EXPECT_EQ(handle.created, c.created);
        EXPECT_GT(handle.descriptor, STDERR_FILENO);
        close_append_handle(handle);
    }
    EXPECT_TRUE(file_exists(dir / "made.ini"));
    EXPECT_FALSE(file_exists(dir / "looked-for"));
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
    write_file(dir / "program", "");
    fs::permissions(dir / "program", fs::perms::owner_all);
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
        {"in a file that may be run, as if it were a folder", dir / "program/new", FileKind::kOther, Creation::kRefused},
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

// A look asks for the lock that a run takes: another program's lock,
// shared or exclusive, is seen, and the look's own is given back with its
// handle, so that a run may take it right after.
TEST(HostLook, AsksForTheRunsLockWithoutKeepingIt) {
    TempDir dir;
    write_file(dir / "work", "x\n");
    for (const int held : {0, LOCK_SH, LOCK_EX}) {
        const int other = open((dir / "work").c_str(), O_RDONLY);
        if (held != 0) {
            ASSERT_EQ(flock(other, held), 0);
        }
        AppendHandle look{-1, false, false};
        ASSERT_EQ(open_for_append((dir / "work").c_str(), OpenFor::kLook, look), OpenOutcome::kOpened);
        EXPECT_EQ(try_lock_for_append(look), held == 0) << held;
        close_append_handle(look);
        EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0) << "the look kept a lock";
        close(other);
    }
}

}  // namespace
