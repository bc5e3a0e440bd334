// End-to-end runs of the built executable: how it reads the sieve file and
// the removal list, and what a range with too many pairs says.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "run_support.h"

namespace {

namespace fs = std::filesystem;

// Every kernel that the processor runs, forced in turn, reads a CR LF sieve
// file, runs of "+" lines across the edges of the blocks read, a lone CR,
// a removal list of the common shape and a Ctrl-Z at the end (which ends
// the file on Windows), to the same work lines as plain C++; so does the
// fastest, which a name of no kernel leaves chosen.
TEST_F(Run, EveryKernelWritesTheSameLines) {
    std::string sieve = "h1\r\nh2\r\nh3\r\nk=7\r\n1000\r\n";
    for (int i = 0; i < 150000; ++i) sieve += "+" + std::to_string(1 + i % 7) + (i == 90000 ? "\r\r\n" : "\r\n");
    sieve += "k=11\r\n500000\r\n+999\r\n\x1a" "+1\r\n";
    std::string list = "id k n\r\n";
    for (int n = 500000; n < 501000; n += 3) list += "1765190000001 7 " + std::to_string(n) + "\r\n";
    write_file(at("drask.dat"), sieve);
    write_file(at("recent.txt"), list);
    std::optional<std::string> portable;
    for (const char* kernel : {"portable", "ssse3", "avx2", "avx512", "avx512vbmi", "no such kernel"}) {
        SCOPED_TRACE(kernel);
        fs::remove(at("worktodo.ini"));
        RunOptions options;
        options.environment = {{"BRISVEL_KERNEL", kernel}};
        const RunResult result = run({"500000", "501000", "45", "1"}, options);
        EXPECT_EQ(result.status, 0) << result.out;
        const std::optional<std::string> lines = work_file();
        ASSERT_TRUE(lines && lines->size() > 1000) << result.out;
        if (!portable) portable = lines;
        EXPECT_TRUE(lines == portable) << "the lines differ from plain C++'s";
    }
}

// The sieve file of k sections, each "k=<k>" and its n values.
std::string sieve_of(const std::vector<std::pair<int, std::vector<int32_t>>>& sections) {
    std::string text = kHeader;
    for (const auto& [k, ns] : sections) {
        text += "k=" + std::to_string(k) + "\n";
        for (const int32_t n : ns) text += std::to_string(n) + "\n";
    }
    return text;
}

std::vector<int32_t> ns_from(int32_t first, int32_t count, int32_t step) {
    std::vector<int32_t> ns;
    for (int32_t i = 0; i < count; ++i) ns.push_back(first + i * step);
    return ns;
}

// A range of more than 9999 pairs writes nothing and names the largest
// NMax that the same NMin may take, the 10000th smallest n, with the command
// to type: a run up to it succeeds with the pairs it names, a run up to the
// next n fails. A preview says the same.
TEST_F(Run, ARangeTooFullNamesTheNMaxThatFits) {
    const std::string tooMany = "Too many n values.  Choose a smaller range. Exiting\n";
    fs::create_directory(at("my client"));
    const struct {
        const char* name;
        std::vector<std::pair<int, std::vector<int32_t>>> sections;
        std::vector<std::string> folder;  // typed after the four numbers
        std::string command;              // what follows the four numbers in the command named
    } cases[] = {
        {"one k, one pair an n", {{3, ns_from(1000, 10500, 1)}}, {}, ""},
        {"k sections in any order, pairs sharing n, below NMin too",
         {{5, ns_from(5000, 6000, 1)}, {3, ns_from(900, 5000, 2)}, {7, std::vector<int32_t>(60, 7000)},
          {9, ns_from(9000, 30, 0)}},
         {"my client" + std::string(1, kSeparator)},
         kWindowsHost ? " \"my client\"" : " 'my client/'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_file(at("drask.dat"), sieve_of(c.sections));
        std::vector<int32_t> ns;
        for (const auto& section : c.sections)
            for (const int32_t n : section.second)
                if (n >= 1000) ns.push_back(n);
        std::sort(ns.begin(), ns.end());
        const int32_t fits = ns.at(9999);
        const auto kept = std::count_if(ns.begin(), ns.end(), [&](int32_t n) { return n < fits; });
        const std::string note = "Note: NMax " + std::to_string(fits) + " keeps " + std::to_string(kept) +
                                 " pairs: " + invoked_name() + " 1000 " + std::to_string(fits) + " 45 1" + c.command + "\n";
        std::vector<std::string> args = {"1000", "2000000000", "45", "1"};
        args.insert(args.end(), c.folder.begin(), c.folder.end());
        RunResult result = run(args);
        EXPECT_EQ(result.out, host_text(kSearching + tooMany + note));
        EXPECT_EQ(result.status, 1);
        args.push_back("--dry-run");
        result = run(args);
        EXPECT_EQ(result.out, host_text(kSearching + tooMany + note + "Dry run: nothing was written\n"));
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"drask.dat", "my client"}));

        args.pop_back();
        args[1] = std::to_string(fits);
        result = run(args);
        EXPECT_EQ(result.status, 0) << result.out;
        EXPECT_NE(result.out.find("Output " + std::to_string(kept) + " candidates"), std::string::npos) << result.out;
        args[1] = std::to_string(fits + 1);
        EXPECT_EQ(run(args).out, host_text(kSearching + tooMany + note));
        fs::remove(at("worktodo.ini"));
        fs::remove(at("my client/worktodo.ini"));
        fs::remove(at("brisvel.log"));
    }
    write_file(at("drask.dat"), sieve_of({{3, std::vector<int32_t>(10000, 1000)}, {5, {1001}}}));
    EXPECT_EQ(run({"1000", "2000", "45", "1"}).out,
              host_text(kSearching + tooMany + "Note: no NMax fits: more than 9999 pairs have n 1000\n"));
}

TEST_F(Run, DropsThePairsOfTheRemovalList) {
    write_file(at("drask.dat"), kSieve);
    const std::string counted = kCounted + "Searching recent.txt... ";
    const struct {
        const char* name;
        std::string list;  // "/": a folder of that name
        std::string out;
        std::string work;
    } cases[] = {
        {"two named pairs in range, one outside", "id k n\n1765190000001 13 168\n2 21 137\n3 45 300\n",
         counted + "Removed 2 candidates.\nOutput 6 candidates to worktodo.ini\n",
         work_lines({{21, 107}, {13, 120}, {45, 137}, {21, 138}, {45, 154}, {13, 180}})},
        {"every pair removed", "h\n1 21 107\n1 13 120\n1 21 137\n1 45 137\n1 21 138\n1 45 154\n1 13 168\n1 13 180\n",
         counted + "Removed 8 candidates.\nOutput 0 candidates to worktodo.ini\n", ""},
        {"list is a folder", "/",
         (kWindowsHost ? kCounted + "Can't find recent.txt - continuing\n" : counted + "Failed to read recent.txt - continuing\n") +
             "Note: recent.txt in " + host_folder(dir.path()) + ": " + kAnyReason + "\nOutput 8 candidates to worktodo.ini\n",
         example_lines()},
    };
    for (const auto& c : cases) {
        fs::remove_all(at("recent.txt"));
        fs::remove(at("worktodo.ini"));
        if (c.list == "/")
            fs::create_directory(at("recent.txt"));
        else
            write_file(at("recent.txt"), c.list);
        const RunResult result = run({"100", "200", "45", "1"});
        EXPECT_TRUE(matches(result.out, host_text(c.out))) << c.name << result.out;
        EXPECT_EQ(result.status, 0) << c.name;
        EXPECT_EQ(work_file(), c.work) << c.name;
    }
}

// Windows reads the inputs in its runtime's text mode: CR LF is LF before a
// line is cut into reads, and a byte 0x1A ends the file. Elsewhere both are
// ordinary bytes.
TEST_F(Run, ReadsTheInputsAsTheHostReadsText) {
    const std::string header98 = std::string(98, 'h') + "\r\n";  // one read in text mode, two in binary
    const struct {
        const char* name;
        std::string sieve;
        std::string list;
        std::vector<std::pair<int, int>> windows;
        std::vector<std::pair<int, int>> elsewhere;
    } cases[] = {
        {"CR LF and lone CR lines", "a\r\nb\r\nc\r\nk=7\r\n150\r\n\r152\r\r\n+2\r\n", "h\r\n1 7 152\r\n",
         {{7, 150}, {7, 154}}, {{7, 150}, {7, 154}}},
        {"98-character header line", header98 + "b\nk=7\n150\nk=8\n160\n", "h\n",
         {{8, 160}}, {{7, 150}, {8, 160}}},
        {"Ctrl-Z in the sieve file", kHeader + "k=7\n150\n\x1a\n160\n", "h\n", {{7, 150}}, {{7, 150}, {7, 160}}},
        {"Ctrl-Z in the removal list", kHeader + "k=7\n150\n160\n", "h\n1 7 150\n\x1a\n1 7 160\n",
         {{7, 160}}, {}},
        {"UTF-16 files, as Windows PowerShell saves them", utf16_file(u"a\nb\nc\nk=7\r\n150\r\n160\r\n", false),
         utf16_file(u"h\r\n1 7 150\r\n", true), {{7, 160}}, {{7, 160}}},
    };
    for (const auto& c : cases) {
        write_file(at("drask.dat"), c.sieve);
        write_file(at("recent.txt"), c.list);
        fs::remove(at("worktodo.ini"));
        EXPECT_EQ(run({"100", "200", "45", "1"}).status, 0) << c.name;
        EXPECT_EQ(work_file(), work_lines(kWindowsHost ? c.windows : c.elsewhere)) << c.name;
    }
}

}  // namespace
