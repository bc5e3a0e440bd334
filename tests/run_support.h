// What the end-to-end tests share: the example sieve file and the console
// lines it gives, the work lines, a fixture that runs the built executable
// in a fresh folder, and another program's lock.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

inline const std::string kHeader = "sieve header\nline two\nline three\n";
// In 100 <= n < 200: 120 168 180 for k=13, 107 137 138 for k=21, 137 154
// for k=45; k=5359 is never kept.
inline const std::string kSieve =
    kHeader + "k=13\n120\n+48\n+12\n+40\nk=21\n107\n+30\n+1\n+80\nk=5359\n150\nk=45\n137\n+17\n";
inline const std::string kSearching = "Searching drask.dat... ";
inline const std::string kCounted = kSearching + "8 numbers between 100 =< n < 200\n";

// What a run in folder says where there is no removal list.
std::string no_list(const std::string& folder);

// The work lines of the pairs, each with SieveDepth and WactorWorth as tail.
std::string work_lines(const std::vector<std::pair<int, int>>& pairs, const std::string& tail = "45,1");

// What the example sieve file gives in 100 <= n < 200.
std::string example_lines();

class Run : public ::testing::Test {
protected:
    TempDir dir;

    std::string at(const std::string& name) const { return dir / name; }
    std::string no_list() const { return ::no_list(dir.path()); }
    RunResult run(const std::vector<std::string>& args, const RunOptions& options = {}) {
        RunResult result = run_brisvel(dir.path(), args, options);
        EXPECT_EQ(result.err, "");
        return result;
    }
    std::optional<std::string> work_file(const std::string& name = "worktodo.ini") const {
        return contents_if_any(at(name));
    }
};

// n 1000 and then pairs more n, one apart.
std::string sieve_with_pairs(int32_t pairs, int k = 3);

// The pairs that sieve_with_pairs(count - 1, k) holds from n 1000 on.
std::vector<std::pair<int, int>> pairs_from_1000(int k, int count);

// Holds the exclusive lock on path until it is closed.
int hold_lock(const std::string& path);

// Another program that holds the lock of a file in dir: on Windows a
// Windows program, since Wine does not see a Linux program's lock.
struct HeldLock {
    int descriptor;
    StartedRun holder;
};

HeldLock hold_lock_in(const std::string& dir, const std::string& name);
// On Windows: the file held open by a program that shares no write access.
HeldLock keep_unshared_in(const std::string& dir, const std::string& name);
void release_lock(const std::string& dir, const HeldLock& held);
