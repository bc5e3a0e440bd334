// End-to-end runs of the built executable: signals while it writes, FIFOs
// and consoles that stall, and other programs' locks.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "run_support.h"

namespace {

namespace fs = std::filesystem;

#ifndef BRISVEL_LAUNCHER
// Starts a run of 5000 lines, more than a pipe holds, into the FIFO
// worktodo.ini; once the run says that it waits for a reader, opens it for
// reading. The run is then in its write.
struct FifoRun {
    StartedRun started;
    int reader;
    std::string announced;  // what the run printed until then
};

// What a run in workDir prints until it waits for the FIFO's reader.
std::string fifo_counted(const std::string& workDir) {
    return kSearching + "5000 numbers between 1000 =< n < 99999\n" + no_list(workDir) +
           "Waiting for a program to read worktodo.ini\n";
}

FifoRun start_run_into_fifo(const std::string& workDir, const RunOptions& options = {}) {
    write_file(workDir + "/drask.dat", sieve_with_pairs(4999));
    const std::string fifo = workDir + "/worktodo.ini";
    if (mkfifo(fifo.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
    const StartedRun started = start_brisvel(workDir, {"1000", "99999", "45", "1"}, options);
    std::string announced = read_until(started.outFd, fifo_counted(workDir));
    return {started, open(fifo.c_str(), O_RDONLY | O_CLOEXEC), announced};
}

// A FIFO cannot be put back: a reader that leaves early, or that stops
// reading when a signal asks the run to end, makes a failed write, and the
// run says how many bytes went out.
TEST_F(Run, AFifoThatStopsTakingTheLinesIsAFailedWriteThatSaysWhatWentOut) {
    const std::size_t batchSize = work_lines(pairs_from_1000(3, 5000)).size();
    const struct {
        const char* name;
        int signal;  // 0: the reader leaves; else it stays, reads no more, and this comes
    } cases[] = {
        {"the reader leaves after one byte", 0},
        {"the reader stops reading, and SIGTERM comes", SIGTERM},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(at("worktodo.ini"));
        const FifoRun run = start_run_into_fifo(dir.path());
        char first = '\0';
        EXPECT_EQ(read(run.reader, &first, 1), 1);
        if (c.signal == 0) close(run.reader);
        if (c.signal != 0) kill(run.started.pid, c.signal);
        const std::string out = read_until(run.started.outFd, " - exiting\n");
        if (!out.ends_with(" - exiting\n")) kill(run.started.pid, SIGKILL);  // it would wait for ever
        const RunResult result = finish_brisvel(run.started);
        if (c.signal != 0) close(run.reader);
        long long sent = -1;
        std::sscanf(out.c_str(), "Could not put worktodo.ini back as it was: %lld", &sent);
        EXPECT_EQ(run.announced, fifo_counted(dir.path()));
        EXPECT_EQ(first, 'P');
        EXPECT_EQ(out + result.out, "Could not put worktodo.ini back as it was: " + std::to_string(sent) +
                                        " bytes of this run went out to it\nFailed to write worktodo.ini - exiting\n" +
                                        "Note: worktodo.ini in " + dir.path() + ": " +
                                        (c.signal == 0 ? "Broken pipe" : "Interrupted system call") + "\n");
        EXPECT_GT(sent, 0);
        EXPECT_LT(sent, static_cast<long long>(batchSize));
        EXPECT_EQ(result.status, c.signal == 0 ? 1 : -1);
        EXPECT_EQ(result.signal, c.signal);
        EXPECT_FALSE(file_exists(at("brisvel.log")));
    }
}

// A run that gives up on a FIFO's stalled reader leaves whole lines in it,
// so that the run queued behind it on the lock starts on a line of its own.
TEST_F(Run, AFifoReaderOnlyEverGetsWholeLines) {
    const FifoRun first = start_run_into_fifo(dir.path());
    const std::string firstLine = read_until(first.reader, "\n");  // the first run holds the lock now
    fs::create_directory(at("b"));
    write_file(at("b/drask.dat"), sieve_with_pairs(4999, 5));
    const StartedRun second = start_brisvel(at("b"), {"1000", "99999", "45", "1", ".."});
    read_until(second.outFd, "Waiting for another program to finish with ../worktodo.ini\n");
    kill(first.started.pid, SIGTERM);
    const RunResult stopped = finish_brisvel(first.started);
    const std::string got = firstLine + read_until(first.reader);
    const RunResult queued = finish_brisvel(second);
    close(first.reader);

    std::size_t sent = 0;
    std::sscanf(stopped.out.c_str(), "Could not put worktodo.ini back as it was: %zu", &sent);
    const std::string firstBatch = work_lines(pairs_from_1000(3, 5000));
    ASSERT_GT(sent, 0u) << stopped.out;
    ASSERT_LT(sent, firstBatch.size());
    EXPECT_EQ(firstBatch[sent - 1], '\n') << "the stopped run left part of a line";
    EXPECT_TRUE(got == firstBatch.substr(0, sent) + work_lines(pairs_from_1000(5, 5000)));
    EXPECT_EQ(stopped.signal, SIGTERM);
    EXPECT_EQ(queued.status, 0);
}

// A console that takes no text (a pipe nobody reads) cannot hold a run
// whose signals are held: the text printed before the lines go out is out
// already, and SIGTERM ends the run once its files are whole.
TEST_F(Run, AStalledConsoleDoesNotHoldTheRun) {
    write_file(at("drask.dat"), kSieve);
    // An "Output" line longer than the room left in the pipe.
    const std::string name(200, 'd');
    const std::string folder = name + "/" + name + "/" + name + "/" + name;
    fs::create_directories(at(folder));
    RunOptions options;
    options.stalledStdoutFill = 4096 - 500;
    const StartedRun started = start_brisvel(dir.path(), {"100", "200", "45", "1", folder}, options);
    for (int tries = 0; tries < 2000 && contents_if_any(at(folder + "/worktodo.ini")) != example_lines(); ++tries)
        usleep(5000);
    usleep(300000);
    kill(started.pid, SIGTERM);
    int waitStatus = 0;
    bool ended = false;
    for (int tries = 0; tries < 1000 && !ended; ++tries) {
        ended = waitpid(started.pid, &waitStatus, WNOHANG) == started.pid;
        if (!ended) usleep(10000);
    }
    if (!ended) kill(started.pid, SIGKILL);
    const RunResult result = finish_brisvel(started);
    EXPECT_TRUE(ended) << "SIGTERM did not end the run within ten seconds";
    EXPECT_TRUE(WIFSIGNALED(waitStatus) && WTERMSIG(waitStatus) == SIGTERM);
    EXPECT_EQ(result.out, std::string(options.stalledStdoutFill, '.') + kCounted + no_list());
    EXPECT_EQ(work_file(folder + "/worktodo.ini"), example_lines());
    const std::string log = contents_if_any(at("brisvel.log")).value_or("");
    EXPECT_TRUE(log.ends_with(" 8 candidates in " + folder + "/worktodo.ini\n")) << log;
}

// A signal that would end the run, sent while its lines go into a FIFO,
// takes effect once the work file, the "Output" line and the run log agree.
// A FIFO reader that only pauses, with no signal or with one that the
// starting program left blocked, gets every line.
TEST_F(Run, ASignalDuringTheWriteEndsTheRunOnceItIsReported) {
    const std::string batch = work_lines(pairs_from_1000(3, 5000));
    const struct {
        int signal;     // 0: none, the reader pauses for half a second instead
        int inherited;  // blocked and pending since the start
    } cases[] = {
        {SIGUSR1, 0}, {SIGALRM, 0}, {SIGTERM, 0}, {SIGINT, 0}, {SIGTRAP, 0}, {0, 0}, {0, SIGINT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.signal == 0 ? "a pause" : strsignal(c.signal)) +
                     (c.inherited != 0 ? ", SIGINT held from the start" : ""));
        fs::remove(at("worktodo.ini"));
        fs::remove(at("brisvel.log"));
        RunOptions options;
        options.heldSignal = c.inherited;
        const FifoRun run = start_run_into_fifo(dir.path(), options);
        std::string got = read_until(run.reader, "\n");
        if (c.signal != 0) kill(run.started.pid, c.signal);
        if (c.signal == 0) usleep(500000);
        got += read_until(run.reader);
        close(run.reader);
        const RunResult result = finish_brisvel(run.started);
        EXPECT_EQ(got.size(), batch.size());
        EXPECT_TRUE(got == batch) << "the lines that reached the work file";
        EXPECT_EQ(run.announced + result.out, fifo_counted(dir.path()) + "Output 5000 candidates to worktodo.ini\n");
        EXPECT_EQ(result.signal, c.signal);
        const std::string log = contents_if_any(at("brisvel.log")).value_or("");
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
        EXPECT_TRUE(log.ends_with(" 5000 candidates in worktodo.ini\n")) << log;
    }
}

// Waits until the process has the file open, and a little more: it then
// asks for the lock again and again.
void wait_until_waiting_for_lock(int pid, const std::string& path) {
    const fs::path file = fs::canonical(path);
    const fs::path descriptors = "/proc/" + std::to_string(pid) + "/fd";
    for (int tries = 0; tries < 2000; ++tries) {
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(descriptors, ignored)) {
            if (fs::read_symlink(entry.path(), ignored) != file) continue;
            usleep(150000);
            return;
        }
        usleep(5000);
    }
}

// A run started with standard output or error closed (by a service, a
// launcher, ">&-") must not take its number for the work file or the run
// log: the console's lines, "Waiting ..." among them, would land in the
// file. The null device holds the number while the run waits.
TEST_F(Run, AClosedStandardOutputPutsNoConsoleTextIntoTheFiles) {
    write_file(at("drask.dat"), kSieve);
    const std::pair<int, std::string> cases[] = {{STDOUT_FILENO, "worktodo.ini"}, {STDOUT_FILENO, "brisvel.log"},
                                                 {STDERR_FILENO, "worktodo.ini"}, {STDERR_FILENO, "brisvel.log"}};
    for (const auto& [closed, locked] : cases) {
        SCOPED_TRACE(locked + ", descriptor " + std::to_string(closed) + " closed");
        RunOptions options;
        options.closedStream = closed;
        write_file(at("worktodo.ini"), "old\n");
        write_file(at("brisvel.log"), "");
        const int held = hold_lock(at(locked));
        const StartedRun started = start_brisvel(dir.path(), {"100", "200", "45", "1"}, options);
        wait_until_waiting_for_lock(started.pid, at(locked));
        std::error_code ignored;
        EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(started.pid) + "/fd/" + std::to_string(closed), ignored),
                  "/dev/null");
        close(held);
        const RunResult result = finish_brisvel(started);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(work_file(), "old\n" + example_lines());
        const std::string log = read_file(at("brisvel.log"));
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
        EXPECT_TRUE(log.starts_with("[") && log.ends_with(" 8 candidates in worktodo.ini\n")) << log;
    }
}

#endif  // BRISVEL_LAUNCHER

#ifndef BRISVEL_EMULATED_WINE
// While another program holds the run log's lock, a signal that would end
// the run (on Windows Ctrl-C, which Wine sends for SIGINT) ends the wait:
// the work file and the "Output" line are whole, and the run shows the log
// line it could not write.
TEST_F(Run, ASignalEndsTheWaitForTheRunLogsLock) {
    write_file(at("drask.dat"), kSieve);
    const std::string waiting = host_text(kCounted + no_list() + "Output 8 candidates to worktodo.ini\n" +
                                          "Waiting for another program to finish with brisvel.log\n");
    const std::vector<int> signals = kWindowsHost ? std::vector{SIGINT} : std::vector{SIGTERM, SIGHUP, SIGABRT};
    for (const int signal : signals) {
        SCOPED_TRACE(strsignal(signal));
        fs::remove(at("worktodo.ini"));
        write_file(at("brisvel.log"), "");
        const HeldLock held = hold_lock_in(dir.path(), "brisvel.log");
        const StartedRun started = start_brisvel(dir.path(), {"100", "200", "45", "1"});
        const std::string before = read_until(started.outFd, waiting);
        kill(started.pid, signal);
        const RunResult result = finish_brisvel(started);
        release_lock(dir.path(), held);
        EXPECT_EQ(before, waiting);
        EXPECT_TRUE(result.out.starts_with("Not written to brisvel.log: [")) << result.out;
        EXPECT_TRUE(result.out.ends_with(
            host_text("]  Range      100-200      (  100), 45, 1,    8 candidates in worktodo.ini\n")))
            << result.out;
        EXPECT_EQ(work_file(), example_lines());
        EXPECT_EQ(read_file(at("brisvel.log")), "");
        // Wine's own handler of Ctrl-C ends a program with status 0.
        if (!kWindowsHost) {
            EXPECT_EQ(result.signal, signal);
        }
    }
}
#endif

#ifndef BRISVEL_EMULATED_WINE
// A client may rewrite its queue by renaming a new file over it, or remove
// it, while a run waits for the lock: the run says that it waits, and its
// lines land in the file that the path names once the lock is free. (Wine
// refuses a Windows program's rename over any file that is open, whatever
// its sharing, so there the rename is made from outside.)
TEST_F(Run, AppendsToTheFileThePathNamesAfterWaitingForTheLock) {
    write_file(at("drask.dat"), kSieve);
    const std::string waiting = host_text("Waiting for another program to finish with worktodo.ini\n");
    const struct {
        const char* name;
        bool renamedOver;  // else removed
        std::string after;
    } cases[] = {
        {"a new file renamed over it", true, "x\n" + example_lines()},
        {"removed", false, example_lines()},
    };
    for (const auto& c : cases) {
        write_file(at("worktodo.ini"), "old\n");
        const HeldLock held = hold_lock_in(dir.path(), "worktodo.ini");
        const StartedRun started = start_brisvel(dir.path(), {"100", "200", "45", "1"});
        const std::string before = read_until(started.outFd, waiting);
        if (c.renamedOver) {
            write_file(at("new"), "x\n");
            fs::rename(at("new"), at("worktodo.ini"));
        } else {
            fs::remove(at("worktodo.ini"));
        }
        release_lock(dir.path(), held);
        const RunResult result = finish_brisvel(started);
        EXPECT_EQ(before + result.out, host_text(kCounted + no_list()) + waiting +
                                           host_text("Output 8 candidates to worktodo.ini\n")) << c.name;
        EXPECT_EQ(result.status, 0) << c.name;
        EXPECT_EQ(work_file(), c.after) << c.name;
    }
}
#endif

// Two runs that append to one work file at the same time follow each other
// whole: neither's lines are cut, mixed or lost. (The emulated 32-bit Wine
// cannot start two processes at once.)
#ifndef BRISVEL_EMULATED_WINE
TEST_F(Run, RunsAtTheSameTimeAppendOneAfterTheOther) {
    constexpr int kPairs = 5000;
    const int ks[] = {3, 5};
    std::string batches[2];
    for (int i = 0; i < 2; ++i) {
        const std::string folder = at(std::to_string(ks[i]));
        fs::create_directory(folder);
        write_file(folder + "/drask.dat", sieve_with_pairs(kPairs - 1, ks[i]));
        batches[i] = work_lines(pairs_from_1000(ks[i], kPairs));
    }
    fs::create_directory(at("client"));
    const std::string client = ".." + std::string(1, kSeparator) + "client";
    const int rounds = kWindowsHost ? 4 : 30;
    for (int round = 0; round < rounds; ++round) {
        fs::remove(at("client/worktodo.ini"));
        const StartedRun first = start_brisvel(at("3"), {"1000", "99999", "45", "1", client});
        const StartedRun second = start_brisvel(at("5"), {"1000", "99999", "45", "1", client});
        EXPECT_EQ(finish_brisvel(first).status, 0);
        EXPECT_EQ(finish_brisvel(second).status, 0);
        const std::string work = read_file(at("client/worktodo.ini"));
        ASSERT_TRUE(work == batches[0] + batches[1] || work == batches[1] + batches[0]) << "round " << round;
    }
}
#endif

}  // namespace
