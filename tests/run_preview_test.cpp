// End-to-end runs of the built executable's preview: it takes the run's
// steps, says what the run would meet, and changes nothing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "run_support.h"

namespace {

namespace fs = std::filesystem;


// Every entry under a folder, the folder itself included: its kind, size
// and times of change, and a regular file's bytes.
std::vector<std::string> snapshot(const std::string& folder) {
    std::vector<std::string> entries;
    const auto describe = [&](const std::string& path) {
        struct stat status {};
        lstat(path.c_str(), &status);
        std::string entry = path + " " + std::to_string(status.st_mode) + " " + std::to_string(status.st_size) +
                            " " + std::to_string(status.st_mtim.tv_sec) + "." + std::to_string(status.st_mtim.tv_nsec) +
                            " " + std::to_string(status.st_ctim.tv_sec) + "." + std::to_string(status.st_ctim.tv_nsec);
        if (S_ISREG(status.st_mode)) entry += " " + read_file(path);
        entries.push_back(entry);
    };
    describe(folder);
    for (const auto& entry : fs::recursive_directory_iterator(folder)) describe(entry.path().string());
    std::sort(entries.begin(), entries.end());
    return entries;
}

// The work lines that a preview listed, and the path it named.
std::pair<std::string, std::string> listed_lines(const std::string& out) {
    const std::string header = "Would output ";
    const std::size_t at = out.find(header);
    if (at == std::string::npos) return {};
    const std::size_t pathStart = out.find(" to ", at) + 4;
    const std::size_t pathEnd = out.find(kNewline, pathStart);
    std::string lines;
    for (std::size_t from = pathEnd + kNewline.size(); out.compare(from, 8, "Pminus1=") == 0;) {
        const std::size_t next = out.find(kNewline, from) + kNewline.size();
        lines += out.substr(from, next - from);
        from = next;
    }
    return {out.substr(pathStart, pathEnd - pathStart), lines};
}

const std::string kStamp = "[Tue 08-Dec-2026 23:05:09]  Range ";

std::string logged(const std::string& range, const std::string& width) {
    return kStamp + range + " (" + width + "), 45, 1,    3 candidates in worktodo.ini\n";
}

// A preview, with --dry-run typed anywhere, takes the run's steps and
// changes nothing in the folder, not even a time stamp; it ends with its
// last line and a status that says whether the run may follow: 1 exactly
// where the run fails, 3 where an earlier range overlaps, the run log could
// not be checked or an argument is not taken as typed. The run after it
// appends the lines it showed.
TEST_F(Run, APreviewTakesTheRunsStepsAndChangesNothing) {
    // kWriteOnly and kEmptyWriteOnly are files that the run, started as a
    // user without root's rights, may write but not read.
    enum class Work { kNone, kLines, kWholeLines, kFolder, kFifo, kReadFifo, kSocket, kLinksToNowhere, kDevice,
                      kWriteOnly, kEmptyWriteOnly };
    enum class Log { kNone, kOverlapping, kTouching, kZeroByte, kFolder, kFifo, kReadOnly };
    // Another program's hold on the work file: its lock, or (on Windows) an
    // open that shares no write access.
    enum class Lock { kNone, kExclusive, kShared, kUnshared };
    enum class Inputs { kBoth, kNoList, kNoHeader, kNumberHeader };
    const std::string nul(1, '\0');
    const std::string logText[] = {
        "",
        logged("      50-100     ", "   50") + logged("     150-250     ", "  100") + "no run: " +
            std::string(3000, 'x') + kStamp + "100-200\n" + logged("      -5-101     ", "  106"),
        logged("     200-300     ", "  100") + logged("      50-100     ", "   50") + logged("     199-199     ", "    0"),
        "a zero byte" + nul + " in line 1\n" + logged("     150-250     ", "  100"),
    };
    const std::string notChecked = "Could not read brisvel.log to its end: earlier ranges were not checked\n";
    const std::string fifoWork = "worktodo.ini is a FIFO: the run writes to the program that reads it, and waits "
                                 "until one does\n";
    // The lines with LF alone, as every text expected here is written.
    std::string listing = example_lines();
    std::erase(listing, '\r');
    const struct {
        const char* name;
        std::vector<std::string> args;
        Work work;
        Log log;
        Lock lock;
        std::string says;  // what the preview prints, among its lines
        int status;
        std::optional<int> runStatus;  // the real run's after it; nullopt: it would wait, and is not run
        Inputs inputs = Inputs::kBoth;
    } cases[] = {
        {"typed first", {"--dry-run", "100", "200", "45", "1"}, Work::kNone, Log::kNone, Lock::kNone,
         "Would output 8 candidates to worktodo.ini\n" + listing +
             "worktodo.ini does not exist yet: the run would create it\n", 0, 0},
        {"typed last, after the folder", {"100", "200", "45", "1", "client", "--dry-run"}, Work::kNone, Log::kNone,
         Lock::kNone, "Would output 8 candidates to " + host_path("client", "worktodo.ini") + "\n", 0, 0},
        {"typed between the numbers", {"100", "--dry-run", "200", "45", "1"}, Work::kLines, Log::kTouching, Lock::kNone,
         kCounted + "Searching recent.txt... Removed 0 candidates.\nWould output 8 candidates", 0, 0},
        // Without its removal list a run hands out pairs that are done already.
        {"no removal list", {"--dry-run", "100", "200", "45", "1"}, Work::kNone, Log::kNone, Lock::kNone,
         kCounted + "Can't find recent.txt - continuing\nNote: no recent.txt in ", 3, 0, Inputs::kNoList},
        {"a sieve file whose first lines start a k section", {"--dry-run", "100", "200", "45", "1"}, Work::kNone,
         Log::kNone, Lock::kNone, "Note: line 1 of drask.dat starts with k= but is skipped as one of its three header "
         "lines: is the header missing?\n", 3, 0, Inputs::kNoHeader},
        {"a header of numbers is no second look", {"--dry-run", "100", "200", "45", "1"}, Work::kNone, Log::kNone,
         Lock::kNone, "Would output 8 candidates", 0, 0, Inputs::kNumberHeader},
        {"a work file with lines", {"--dry-run", "100", "200", "45", "1"}, Work::kLines, Log::kNone, Lock::kNone,
         "worktodo.ini holds 2 lines, the last without a line end: the run would end it first\n", 0, 0},
        // The run puts a line end first only where the file has content.
        {"a work file that may be written but not read", {"--dry-run", "100", "200", "45", "1"}, Work::kWriteOnly,
         Log::kNone, Lock::kNone, "worktodo.ini cannot be read: the run would put a line end before its lines\n", 0, 0},
        {"an empty one", {"--dry-run", "100", "200", "45", "1"}, Work::kEmptyWriteOnly, Log::kNone, Lock::kNone,
         "worktodo.ini holds 0 lines\n", 0, 0},
        {"a work file that is a device", {"--dry-run", "100", "200", "45", "1"}, Work::kDevice, Log::kNone,
         Lock::kNone, "worktodo.ini is a device: the lines would go to it\n", 0, 0},
        {"NMin equal to NMax", {"--dry-run", "150", "150", "45", "1"}, Work::kNone, Log::kNone, Lock::kNone,
         "Note: NMin 150 is not below NMax 150: the range is empty\n", 3, 0},
        {"a work file whose lines are whole", {"--dry-run", "100", "200", "45", "1"}, Work::kWholeLines, Log::kNone,
         Lock::kNone, "worktodo.ini holds 2 lines\n", 0, 0},
        {"a missing folder", {"--dry-run", "100", "200", "45", "1", "clinet"}, Work::kNone, Log::kNone, Lock::kNone,
         "Failed to open " + host_path("clinet", "worktodo.ini") + " for output - exiting\n", 1, 1},
        {"the work file given as its folder", {"--dry-run", "100", "200", "45", "1", "worktodo.ini"}, Work::kLines,
         Log::kNone, Lock::kNone, "Failed to open " + host_path("worktodo.ini", "worktodo.ini") + " for output - exiting\n",
         1, 1},
        {"a work file that is a folder", {"--dry-run", "100", "200", "45", "1"}, Work::kFolder, Log::kNone, Lock::kNone,
         "Failed to open worktodo.ini for output - exiting\n", 1, 1},
        {"a work file that is a socket", {"--dry-run", "100", "200", "45", "1"}, Work::kSocket, Log::kNone, Lock::kNone,
         "Failed to open worktodo.ini for output - exiting\n", 1, 1},
        // A FIFO is never opened: whether a program reads it is not asked.
        {"a FIFO that nobody reads", {"--dry-run", "100", "200", "45", "1"}, Work::kFifo, Log::kNone, Lock::kNone,
         fifoWork, 0, std::nullopt},
        {"a FIFO that a program reads", {"--dry-run", "100", "200", "45", "1"}, Work::kReadFifo, Log::kNone, Lock::kNone,
         fifoWork + "Dry run", 0, std::nullopt},
        {"a lock held elsewhere", {"--dry-run", "100", "200", "45", "1"}, Work::kLines, Log::kNone, Lock::kExclusive,
         "Another program holds the lock on worktodo.ini: the run would wait for it\n", 0, std::nullopt},
        {"a shared lock held elsewhere", {"--dry-run", "100", "200", "45", "1"}, Work::kLines, Log::kNone,
         Lock::kShared, "Another program holds the lock on worktodo.ini: the run would wait for it\n", 0, std::nullopt},
        {"a work file held without sharing write access", {"--dry-run", "100", "200", "45", "1"}, Work::kLines,
         Log::kNone, Lock::kUnshared, "Failed to open worktodo.ini for output - exiting\nNote: worktodo.ini in ", 1,
         std::nullopt},
        // Links are followed to the end of their chain before the folder is judged.
        {"links to a file in a missing folder", {"--dry-run", "100", "200", "45", "1"}, Work::kLinksToNowhere,
         Log::kNone, Lock::kNone, "Failed to open worktodo.ini for output - exiting\nNote: worktodo.ini in ", 1, 1},
        {"overlapping ranges in the log", {"--dry-run", "100", "200", "45", "1"}, Work::kNone, Log::kOverlapping, Lock::kNone,
         "brisvel.log already shows n from 150 to 250: line 2\nbrisvel.log already shows n from -5 to 101: line 4\n",
         3, 0},
        {"a zero byte in a log line", {"--dry-run", "100", "200", "45", "1"}, Work::kNone, Log::kZeroByte, Lock::kNone,
         "brisvel.log already shows n from 150 to 250: line 2\n", 3, 0},
        {"a log that is a folder", {"--dry-run", "100", "200", "45", "1"}, Work::kNone, Log::kFolder, Lock::kNone,
         notChecked + "Failed to open brisvel.log for output - continuing\n", 3, 0},
        // The run goes on without a log it cannot open, and so does its preview.
        {"a log this user may not write", {"--dry-run", "100", "200", "45", "1"}, Work::kNone, Log::kReadOnly,
         Lock::kNone, notChecked + "Failed to open brisvel.log for output - continuing\nNote: brisvel.log in ", 3, 0},
        {"a log that is a FIFO", {"--dry-run", "100", "200", "45", "1"}, Work::kNone, Log::kFifo, Lock::kNone,
         notChecked + "brisvel.log is a FIFO: the run writes to the program that reads it, or goes on without it "
                      "when none does\n",
         3, 0},
        // The file system of processes lets root in and makes no file; it refuses others.
        {"a folder where the file system may make no file", {"--dry-run", "100", "200", "45", "1", "/proc"},
         Work::kNone, Log::kNone, Lock::kNone,
         geteuid() == 0 ? "/proc/worktodo.ini does not exist yet: whether the run can create it there cannot be "
                          "told before it tries\n"
                        : "Failed to open /proc/worktodo.ini for output - exiting\n",
         geteuid() == 0 ? 3 : 1, 1},
        {"numbers not taken as typed, and no range", {"--dry-run", "100", "2OO", "45", "1,5"}, Work::kNone,
         Log::kNone, Lock::kNone,
         "Note: NMax \"2OO\" is read as 2\nNote: WactorWorth \"1,5\" is read as 1\n"
         "Note: NMin 100 is not below NMax 2: the range is empty\n"
         "Searching drask.dat... 0 numbers between 100 =< n < 2\nDry run", 3, 0},
        // The whole numbers are read as atol reads them; WactorWorth as a decimal, cut to its whole part.
        {"a whole number written as a decimal", {"--dry-run", "1e2", "200", "45", "2.5"}, Work::kNone, Log::kNone,
         Lock::kNone, "Note: NMin \"1e2\" is read as 1\nSearching drask.dat... 8 numbers between 1 =< n < 200\n", 3, 0},
        {"a number beyond 32 bits", {"--dry-run", "100", "99999999999", "45", "1"}, Work::kNone, Log::kNone, Lock::kNone,
         "Note: NMax \"99999999999\" is read as 2147483647\nSearching", 3, 0},
        {"a word after the folder", {"100", "200", "45", "1", "client", "extra", "--dry-run"}, Work::kNone,
         Log::kNone, Lock::kNone, "Note: \"extra\" after the folder is ignored\nSearching", 3, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool writeOnly = c.work == Work::kWriteOnly || c.work == Work::kEmptyWriteOnly;
        const bool unprivileged = writeOnly || c.log == Log::kReadOnly;
        const bool posixOnly = c.work == Work::kFifo || c.work == Work::kReadFifo || c.work == Work::kSocket ||
                               unprivileged || c.work == Work::kDevice ||
                               c.work == Work::kLinksToNowhere || c.log == Log::kFifo || c.args.back() == "/proc" ||
                               c.lock == Lock::kShared;
        if ((kWindowsHost && posixOnly) || (!kWindowsHost && c.lock == Lock::kUnshared) ||
            (kEmulatedWine && c.lock != Lock::kNone))
            continue;
        TempDir caseDir;
        const std::string body = kSieve.substr(kHeader.size());
        write_file(caseDir / "drask.dat", c.inputs == Inputs::kNoHeader     ? body
                                          : c.inputs == Inputs::kNumberHeader ? "100\n150\n+1\n" + body
                                                                              : kSieve);
        if (c.inputs != Inputs::kNoList) write_file(caseDir / "recent.txt", "id k n\n");
        if (c.work == Work::kLinksToNowhere) {
            fs::create_symlink("next", caseDir / "worktodo.ini");
            fs::create_symlink("missing/queue.ini", caseDir / "next");
        }
        fs::create_directory(caseDir / "client");
        if (c.work == Work::kLines) write_file(caseDir / "worktodo.ini", "a\nb");
        if (c.work == Work::kWholeLines) write_file(caseDir / "worktodo.ini", "a\nb\n");
        if (writeOnly) {
            write_file(caseDir / "worktodo.ini", c.work == Work::kWriteOnly ? "a\nb" : "");
            fs::permissions(caseDir / "worktodo.ini", fs::perms::others_write | fs::perms::owner_write);
        }
        if (unprivileged) fs::permissions(caseDir.path(), fs::perms::all);
        if (c.work == Work::kDevice) fs::create_symlink("/dev/null", caseDir / "worktodo.ini");
        if (c.log == Log::kReadOnly) {
            write_file(caseDir / "brisvel.log", logText[static_cast<int>(Log::kTouching)]);
            fs::permissions(caseDir / "brisvel.log", fs::perms::owner_read | fs::perms::others_read);
        }
        RunOptions options;
        options.unprivileged = unprivileged;
        if (c.work == Work::kFolder) fs::create_directory(caseDir / "worktodo.ini");
        if (c.work == Work::kFifo || c.work == Work::kReadFifo) {
            ASSERT_EQ(mkfifo((caseDir / "worktodo.ini").c_str(), 0600), 0);
        }
        const int reader = c.work == Work::kReadFifo ? open((caseDir / "worktodo.ini").c_str(), O_RDONLY | O_NONBLOCK) : -1;
        if (c.work == Work::kSocket) make_socket(caseDir / "worktodo.ini");
        if (c.log == Log::kFolder) fs::create_directory(caseDir / "brisvel.log");
        if (c.log == Log::kFifo) {
            ASSERT_EQ(mkfifo((caseDir / "brisvel.log").c_str(), 0600), 0);
        }
        if (c.log != Log::kNone && c.log <= Log::kZeroByte)
            write_file(caseDir / "brisvel.log", logText[static_cast<int>(c.log)]);
        HeldLock held{-1, {}};
        if (c.lock == Lock::kExclusive) held = hold_lock_in(caseDir.path(), "worktodo.ini");
        if (c.lock == Lock::kUnshared) held = keep_unshared_in(caseDir.path(), "worktodo.ini");
        if (c.lock == Lock::kShared) {
            held.descriptor = open((caseDir / "worktodo.ini").c_str(), O_RDONLY | O_CLOEXEC);
            ASSERT_EQ(flock(held.descriptor, LOCK_SH), 0);
        }
        const std::vector<std::string> before = snapshot(caseDir.path());

        const RunResult preview = run_brisvel(caseDir.path(), c.args, options);
        EXPECT_NE(preview.out.find(host_text(c.says)), std::string::npos) << preview.out;
        EXPECT_TRUE(preview.out.ends_with(host_text("\nDry run: nothing was written\n"))) << preview.out;
        EXPECT_EQ(preview.status, c.status);
        EXPECT_EQ(preview.out.find("holds the lock") != std::string::npos,
                  c.lock == Lock::kExclusive || c.lock == Lock::kShared)
            << preview.out;
        EXPECT_EQ(preview.err, "");
        EXPECT_EQ(snapshot(caseDir.path()), before);
        if (c.lock != Lock::kNone) release_lock(caseDir.path(), held);
        if (reader >= 0) close(reader);
        if (!c.runStatus) continue;

        std::vector<std::string> args = c.args;
        std::erase(args, "--dry-run");
        const RunResult result = run_brisvel(caseDir.path(), args, options);
        EXPECT_EQ(result.status, *c.runStatus) << result.out;
        EXPECT_EQ(result.out.find("Waiting"), std::string::npos) << result.out;
        const auto [path, lines] = listed_lines(preview.out);
        if (result.status == 0 && !path.empty() && c.work != Work::kDevice) {
            const std::string work = read_file(caseDir / local_path(path));
            EXPECT_TRUE(work.ends_with(lines)) << "the lines the preview showed";
            // With the line end that the preview said the run would put first, or none.
            if (writeOnly) {
                EXPECT_EQ(work, (c.work == Work::kWriteOnly ? "a\nb\n" : "") + lines);
            }
        }
    }
}

#ifndef BRISVEL_LAUNCHER
// A program that opens path with flags, blocked until the FIFO there has
// its other end; the pipe it says "opened" on.
struct BlockedOpen {
    pid_t pid;
    int said;
};

BlockedOpen start_blocked_open(const std::string& path, int flags) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        if (open(path.c_str(), flags) >= 0 && write(pipeFds[1], "o", 1) == 1) _exit(0);
        _exit(1);
    }
    close(pipeFds[1]);
    return {pid, pipeFds[0]};
}

bool says_within(int fd, int ms) {
    pollfd ready{fd, POLLIN, 0};
    return poll(&ready, 1, ms) == 1;
}

// The preview opens no FIFO, so it lets through no program that waits for
// the FIFO's other end: a reader waiting at a FIFO work file, a writer
// waiting at a FIFO run log.
TEST_F(Run, APreviewLeavesAProgramWaitingAtAFifoWaiting) {
    write_file(at("drask.dat"), kSieve);
    const struct {
        const char* name;
        int waits;   // how the other program opens the FIFO
        int frees;   // how the test then opens it, to let that program through
    } cases[] = {
        {"worktodo.ini", O_RDONLY, O_WRONLY | O_NONBLOCK},
        {"brisvel.log", O_WRONLY, O_RDONLY | O_NONBLOCK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(mkfifo(at(c.name).c_str(), 0600), 0);
        const BlockedOpen other = start_blocked_open(at(c.name), c.waits);
        usleep(100000);  // it is in its open by now
        const RunResult preview = run({"--dry-run", "100", "200", "45", "1"});
        EXPECT_TRUE(preview.out.ends_with("Dry run: nothing was written\n")) << preview.out;
        EXPECT_FALSE(says_within(other.said, 300)) << "the preview let the other program through";
        const int freeing = open(at(c.name).c_str(), c.frees);
        EXPECT_TRUE(says_within(other.said, 10000));
        int status = 0;
        waitpid(other.pid, &status, 0);
        close(freeing);
        close(other.said);
        fs::remove(at(c.name));
    }
}
#endif

}  // namespace
