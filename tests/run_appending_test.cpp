// End-to-end runs of the built executable: how its lines and its log line
// reach their files, and what a failed write leaves.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "run_support.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

TEST_F(Run, AppendsWithoutChangingEarlierContent) {
    write_file(at("drask.dat"), kSieve);
    const struct {
        const char* name;
        std::optional<std::string> before;
        std::string after;
    } cases[] = {
        {"kept", "earlier line\n", "earlier line\n" + example_lines()},
        {"CR LF content kept", "a\r\nb\r\n", "a\r\nb\r\n" + example_lines()},
        {"empty file", "", example_lines()},
    };
    for (const auto& c : cases) {
        write_file(at("worktodo.ini"), *c.before);
        EXPECT_EQ(run({"100", "200", "45", "1"}).status, 0);
        EXPECT_EQ(work_file(), c.after) << c.name;
    }
    run({"100", "200", "45", "1"});
    EXPECT_EQ(work_file(), "" + example_lines() + example_lines()) << "a second run appends again";
}

TEST_F(Run, WithNothingToWriteLeavesTheFileAsItWas) {
    write_file(at("drask.dat"), kHeader + "k=-3\n150\nk=0\n160\n");
    RunResult result = run({"100", "200", "45", "1"});
    EXPECT_EQ(result.out, host_text(kSearching + "2 numbers between 100 =< n < 200\n" + no_list() + "Output 0 candidates to worktodo.ini\n"));
    EXPECT_EQ(work_file(), "") << "created, empty";

    write_file(at("worktodo.ini"), "unterminated");
    result = run({"100", "200", "45", "1"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(work_file(), "unterminated");
}

// ... and only then: a file whose last line is whole gets no empty line,
// also when the run may hold no more than one descriptor for it.
TEST_F(Run, EndsAnUnterminatedLastLineBeforeAppending) {
    write_file(at("drask.dat"), kHeader + "k=7\n150\n");
    // Standard streams and one file: the work file's size and last byte
    // must come from the handle it is written through. Wine itself needs
    // more descriptors than that.
    const long long openFileLimits[] = {-1, kWindowsHost ? -1 : 4};
    for (const long long limit : openFileLimits) {
        for (const std::string& before : {"lone CR\r"s, "Ctrl-Z\x1a"s, "no newline"s, "whole\n"s}) {
            SCOPED_TRACE(before + ", descriptor limit " + std::to_string(limit));
            write_file(at("worktodo.ini"), before);
            write_file(at("brisvel.log"), before);
            RunOptions options;
            options.openFileLimit = limit;
            EXPECT_EQ(run({"100", "200", "45", "1"}, options).status, 0);
            const std::string ended = before + (before.ends_with("\n") ? "" : kNewline);
            EXPECT_EQ(work_file(), ended + work_lines({{7, 150}}));
            const std::string log = read_file(at("brisvel.log"));
            EXPECT_EQ(log.substr(0, ended.size()), ended);
            EXPECT_EQ(log.substr(log.size() - kNewline.size()), kNewline);
        }
    }
}

TEST_F(Run, FailedWritesLeaveTheWorkFileAsItWas) {
    write_file(at("drask.dat"), kSieve);
    const std::string before = "Pminus1=1,2,3,1,4,5\nPminus1=1,2,4,1,4,5";
    RunOptions sizeLimit;
    sizeLimit.fileSizeLimit = 60;  // room for the earlier content and a line or two
    RunOptions failingFlush;
    failingFlush.failingFlush = true;
    const struct {
        const char* name;
        RunOptions options;
        std::optional<std::string> before;
        std::string after;
    } cases[] = {
        {"a write past the file-size limit", sizeLimit, before, before},
        {"a work file the run created stays, empty", sizeLimit, std::nullopt, ""},
        {"every line written, but the flush fails", failingFlush, before, before},
    };
    for (const auto& c : cases) {
        fs::remove(at("worktodo.ini"));
        if (c.before) write_file(at("worktodo.ini"), *c.before);
        const RunResult result = run({"100", "200", "45", "1"}, c.options);
        EXPECT_TRUE(matches(result.out, host_text(kCounted + no_list() + "Failed to write worktodo.ini - exiting\n" +
                                                  "Note: worktodo.ini in " + host_folder(dir.path()) + ": " +
                                                  kAnyReason + "\n")))
            << c.name << result.out;
        EXPECT_EQ(result.status, 1) << c.name;
        EXPECT_EQ(work_file(), c.after) << c.name;
        EXPECT_FALSE(file_exists(at("brisvel.log"))) << c.name;
    }
}

// A device is written like a file but never cut back, a device that cannot
// be flushed is no failure, and another program's lock on a device, which
// is one for the whole system, is not waited for.
TEST_F(Run, WritesThroughALink) {
    write_file(at("drask.dat"), kSieve);
    const struct {
        const char* device;
        std::string last;  // the last lines
        int status;
    } cases[] = {
        {"/dev/full", "Failed to write worktodo.ini - exiting\nNote: worktodo.ini in " + host_folder(dir.path()) + ": " +
                          kAnyReason + "\n", 1},
        {"/dev/null", "Output 8 candidates to worktodo.ini\n", 0},
    };
    for (const auto& c : cases) {
        fs::remove(at("worktodo.ini"));
        fs::create_symlink(c.device, at("worktodo.ini"));
        const int held = kWindowsHost ? -1 : hold_lock(c.device);
        const StartedRun started = start_brisvel(dir.path(), {"100", "200", "45", "1"});
        const std::string out = read_until(started.outFd, host_text("\n" + c.last.substr(0, c.last.find('\n'))));
        if (held >= 0) close(held);
        const RunResult result = finish_brisvel(started);
        EXPECT_TRUE(matches(out + result.out, host_text(kCounted + no_list() + c.last))) << out + result.out;
        EXPECT_EQ(result.status, c.status) << c.device;
    }
    if (kWindowsHost) return;
    // A link to a file that does not exist yet is followed, as fopen's "a"
    // follows it, and the file is made.
    fs::remove(at("worktodo.ini"));
    fs::create_symlink("queue.ini", at("worktodo.ini"));
    EXPECT_EQ(run({"100", "200", "45", "1"}).status, 0);
    EXPECT_EQ(work_file("queue.ini"), example_lines());
}

// Windows has no append-only attribute, and Wine cannot open such a file;
// Wine does not see a Linux program's lock, and has no FIFOs.
#ifndef BRISVEL_LAUNCHER
// Sets or clears the append-only attribute; false when the file system or
// the user's rights do not allow it.
bool set_append_only(const std::string& path, bool on) {
    const int fd = open(path.c_str(), O_RDONLY);
    int flags = 0;
    bool done = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_APPEND_FL : flags & ~FS_APPEND_FL;
    done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0) close(fd);
    return done;
}

// An append-only file cannot be cut: the bytes that this run got into it
// before the write failed stay, and the run says how many.
TEST_F(Run, SaysWhatItCouldNotPutBack) {
    write_file(at("drask.dat"), sieve_with_pairs(499));
    const std::string before = "Pminus1=1,2,4,1,4,5\n";
    write_file(at("worktodo.ini"), before);
    if (!set_append_only(at("worktodo.ini"), true)) GTEST_SKIP() << "setting append-only needs root and ext4";
    RunOptions options;
    options.fileSizeLimit = 8192;
    const RunResult result = run({"1000", "99999", "45", "1"}, options);
    set_append_only(at("worktodo.ini"), false);

    const std::vector<std::pair<int, int>> pairs = pairs_from_1000(3, 500);
    const std::size_t left = 8192 - before.size();
    EXPECT_EQ(result.out, host_text(kSearching + "500 numbers between 1000 =< n < 99999\n" + no_list() +
                                    "Could not put worktodo.ini back as it was: " + std::to_string(left) +
                                    " bytes of this run remain in it\nFailed to write worktodo.ini - exiting\n" +
                                    "Note: worktodo.ini in " + dir.path() + ": File too large\n"));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(work_file(), before + work_lines(pairs).substr(0, left));
    EXPECT_FALSE(file_exists(at("brisvel.log")));
}

#endif  // BRISVEL_LAUNCHER

// A zone 5 hours 30 minutes east of UTC, without daylight saving.
const std::pair<std::string, std::string> kZone = {"TZ", "XYZ-5:30"};
constexpr std::time_t kZoneOffsetSeconds = 5 * 3600 + 30 * 60;

std::string timestamp_in_zone(std::time_t time) {
    const std::time_t shifted = time + kZoneOffsetSeconds;
    std::tm local{};
    gmtime_r(&shifted, &local);
    char text[64];
    std::strftime(text, sizeof text, "[%a %d-%b-%Y %H:%M:%S]  ", &local);
    return text;
}

// Runs brisvel in the fixed zone and checks that the run log gained one
// line: a timestamp taken during the run, then summary.
void expect_logged_run(const std::string& workDir, const std::vector<std::string>& args,
                       const std::string& summary) {
    const std::string log = workDir + "/brisvel.log";
    const std::string before = contents_if_any(log).value_or("");
    RunOptions options;
    options.environment = {kZone};
    // time() may lag the precise clock by a tick, and Wine reads the precise
    // one: the window opens by the first and closes by the second.
    const std::time_t start = std::time(nullptr);
    const RunResult result = run_brisvel(workDir, args, options);
    const std::time_t end = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    EXPECT_EQ(result.status, 0);
    const std::string after = read_file(log);
    ASSERT_EQ(after.compare(0, before.size(), before), 0) << "earlier lines are kept";
    std::string line = after.substr(before.size());
    if (!before.empty() && before.back() != '\n') {
        ASSERT_EQ(line.substr(0, kNewline.size()), kNewline) << "an unterminated last line is ended first";
        line.erase(0, kNewline.size());
    }
    const std::size_t prefixLength = timestamp_in_zone(start).size();
    ASSERT_GT(line.size(), prefixLength) << line;
    const std::string stamp = line.substr(0, prefixLength);
    bool taken = false;
    for (std::time_t t = start; t <= end; ++t) taken = taken || stamp == timestamp_in_zone(t);
    EXPECT_TRUE(taken) << stamp << " is not local time between " << timestamp_in_zone(start) << " and "
                       << timestamp_in_zone(end);
    EXPECT_EQ(line.substr(prefixLength), host_text(summary));
}

TEST_F(Run, LogsEachRunThatWroteTheWorkFile) {
    write_file(at("drask.dat"), kSieve);
    fs::create_directory(at("client"));
    const std::string summary = "Range      100-200      (  100), 45, 1,    8 candidates in worktodo.ini\n";
    expect_logged_run(dir.path(), {"100", "200", "45", "1"}, summary);
    expect_logged_run(dir.path(), {"100", "200", "45", "1"}, summary);
    expect_logged_run(dir.path(), {"100", "200", "45", "1", "client"},
                      "Range      100-200      (  100), 45, 1,    8 candidates in " + host_path("client", "worktodo.ini") +
                          "\n");

    write_file(at("recent.txt"), "h\n1 21 107\n1 13 120\n1 21 137\n1 45 137\n1 21 138\n1 45 154\n1 13 168\n1 13 180\n");
    expect_logged_run(dir.path(), {"100", "200", "45", "1"},
                      "Range      100-200      (  100), 45, 1,    0 candidates in worktodo.ini\n");
}

TEST_F(Run, ARunLogProblemIsReportedAndTheRunSucceeds) {
    write_file(at("drask.dat"), kSieve);
    const std::string written = kSearching + "8 numbers between 100 =< n < 200\n" + no_list() +
                                "Output 8 candidates to worktodo.ini\n";
    enum class Log { kFolder, kFullDevice, kFifoWithoutReader };
    const std::string why = "Note: brisvel.log in " + host_folder(dir.path()) + ": ";
    // The line not written is shown, so that it can be added by hand.
    const std::string shown = "Not written to brisvel.log: [" + kAnyReason + "\n";
    const struct {
        const char* name;
        Log log;
        std::string message;
    } cases[] = {
        {"cannot open", Log::kFolder, "Failed to open brisvel.log for output - continuing\n" + why + kAnyReason + "\n" + shown},
        {"cannot write", Log::kFullDevice, "Failed to write brisvel.log - continuing\n" + why + kAnyReason + "\n" + shown},
        // Waiting there, with every signal held, nothing but SIGKILL could end the run.
        {"a FIFO that nobody reads is not waited for", Log::kFifoWithoutReader,
         "Failed to open brisvel.log for output - continuing\n" + why + "no program reads this FIFO\n" + shown},
    };
    for (const auto& c : cases) {
        if (kWindowsHost && c.log == Log::kFifoWithoutReader) continue;  // Wine has no FIFOs
        fs::remove(at("worktodo.ini"));
        fs::remove(at("brisvel.log"));
        if (c.log == Log::kFolder)
            fs::create_directory(at("brisvel.log"));
        else if (c.log == Log::kFullDevice)
            fs::create_symlink("/dev/full", at("brisvel.log"));
        else
            ASSERT_EQ(mkfifo(at("brisvel.log").c_str(), 0600), 0);
        const RunResult result = run({"100", "200", "45", "1"});
        EXPECT_TRUE(matches(result.out, host_text(written + c.message))) << c.name << result.out;
        EXPECT_TRUE(result.out.ends_with(host_text(" 8 candidates in worktodo.ini\n"))) << c.name;
        EXPECT_EQ(result.status, 0) << c.name;
        EXPECT_EQ(work_file(), example_lines()) << c.name;
    }
}

}  // namespace
