// End-to-end runs of the built executable in a fresh folder: console output,
// exit status and the bytes of every file it writes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

const std::string kHeader = "sieve header\nline two\nline three\n";
// In 100 <= n < 200: 120 168 180 for k=13, 107 137 138 for k=21, 137 154
// for k=45; k=5359 is never kept.
const std::string kSieve = kHeader +
                           "k=13\n120\n+48\n+12\n+40\nk=21\n107\n+30\n+1\n+80\nk=5359\n150\nk=45\n137\n+17\n";
const std::string kSearching = "Searching drask.dat... ";
const std::string kCounted = kSearching + "8 numbers between 100 =< n < 200\n";
const std::string kNoList = "Can't find recent.txt - continuing\n";
const std::string kUsageTail = "  <NMin> <NMax> <SieveDepth> <WactorWorth>\n";

std::string work_lines(const std::vector<std::pair<int, int>>& pairs, const std::string& tail = "45,1") {
    std::string lines;
    for (const auto& [k, n] : pairs)
        lines += "Pminus1=" + std::to_string(k) + ",2," + std::to_string(n) + ",1," + tail + kNewline;
    return lines;
}

const std::string kExampleLines =
    work_lines({{21, 107}, {13, 120}, {21, 137}, {45, 137}, {21, 138}, {45, 154}, {13, 168}, {13, 180}});

class Run : public ::testing::Test {
protected:
    TempDir dir;

    std::string at(const std::string& name) const { return dir / name; }
    RunResult run(const std::vector<std::string>& args, const RunOptions& options = {}) {
        RunResult result = run_brisvel(dir.path(), args, options);
        EXPECT_EQ(result.err, "");
        return result;
    }
    std::optional<std::string> work_file(const std::string& name = "worktodo.ini") const {
        return contents_if_any(at(name));
    }
};

const std::string kHelpStart = "Usage: brisvel <NMin> <NMax> <SieveDepth> <WactorWorth> [directory]\n";

struct ConsoleCase {
    const char* name;
    std::optional<std::string> sieve;  // nullopt: no sieve file; "/": a folder of that name
    std::vector<std::string> args;
    std::string out;  // empty: the help text
    int status;
    std::optional<std::string> work;  // nullopt: no work file is left
};

TEST_F(Run, PrintsItsLinesAndEndsWithItsStatus) {
    const ConsoleCase cases[] = {
        {"typical run", kSieve, {"100", "200", "45", "1"},
         kSearching + "8 numbers between 100 =< n < 200\n" + kNoList + "Output 8 candidates to worktodo.ini\n", 0, kExampleLines},
        {"arguments after the fifth are ignored", kSieve, {"100", "200", "45", "1", "", "extra"},
         kSearching + "8 numbers between 100 =< n < 200\n" + kNoList + "Output 8 candidates to worktodo.ini\n", 0, kExampleLines},
        {"empty range ends after the count", kSieve, {"150", "150", "45", "1"},
         kSearching + "0 numbers between 150 =< n < 150\n", 0, std::nullopt},
        {"negative NMin prints as itself", kSieve, {"-5", "110", "45", "1"},
         kSearching + "1 numbers between -5 =< n < 110\n" + kNoList + "Output 1 candidates to worktodo.ini\n", 0,
         work_lines({{21, 107}})},
        {"numbers beyond 32 bits saturate rather than wrap", kSieve, {"4294967396", "200", "45", "1"},
         kSearching + "0 numbers between 2147483647 =< n < 200\n", 0, std::nullopt},
        {"no arguments", kSieve, {}, invoked_name() + kUsageTail, 1, std::nullopt},
        {"three numbers", kSieve, {"100", "200", "45"}, invoked_name() + kUsageTail, 1, std::nullopt},
        {"the version", kSieve, {"--version"}, "brisvel " BRISVEL_VERSION "\n", 0, std::nullopt},
        {"help wherever it is typed", kSieve, {"100", "200", "45", "1", "--help"}, "", 0, std::nullopt},
        {"the version wherever it is typed", kSieve, {"100", "--version"}, "brisvel " BRISVEL_VERSION "\n", 0,
         std::nullopt},
        {"a dash and a letter is an option", kSieve, {"-v", "100", "200", "45"}, "Unknown option -v - exiting\n",
         1, std::nullopt},
        {"so is a word of them after the numbers", kSieve, {"100", "200", "45", "-infinity", "-q"},
         "Unknown option -infinity - exiting\n", 1, std::nullopt},
        // On Windows the folder word "client\" -v" reads as the folder client and -v.
        {"a quote in the folder word", kSieve, {"100", "200", "45", "1", "client\" -v"},
         kWindowsHost ? "Unknown option -v - exiting\n"
                      : kCounted + kNoList + "Failed to open client\" -v/worktodo.ini for output - exiting\n",
         1, std::nullopt},
        {"a mistyped option after the folder is refused", kSieve, {"100", "200", "45", "1", "", "--dryrun"},
         "Unknown option --dryrun - exiting\n", 1, std::nullopt},
        {"a preview needs the four numbers too", kSieve, {"--dry-run", "100", "200", "45"},
         invoked_name() + kUsageTail + "Dry run: nothing was written\n", 1, std::nullopt},
        {"a Windows help request elsewhere", kSieve, {"/?"},
         kWindowsHost ? "" : invoked_name() + kUsageTail, kWindowsHost ? 0 : 1, std::nullopt},
        {"no sieve file", std::nullopt, {"100", "200", "45", "1"}, "Failed to open drask.dat - exiting\n", 1,
         std::nullopt},
        {"sieve file is a folder", "/", {"100", "200", "45", "1"},
         kWindowsHost ? "Failed to open drask.dat - exiting\n" : kSearching + "Failed to read drask.dat - exiting\n",
         1, std::nullopt},
        {"help", kSieve, {"--help"}, "", 0, std::nullopt},
        {"help, short", kSieve, {"-h"}, "", 0, std::nullopt},
        {"header only", kHeader, {"100", "200", "45", "1"}, kSearching + "0 numbers between 100 =< n < 200\n", 0,
         std::nullopt},
        {"output path too long, checked first", std::nullopt, {"100", "200", "45", "1", std::string(990, 'd')},
         "Output path too long - exiting\n", 1, std::nullopt},
        {"work file folder missing", kSieve, {"100", "200", "45", "1", "missing"},
         kSearching + "8 numbers between 100 =< n < 200\n" + kNoList + "Failed to open " + host_path("missing", "worktodo.ini") + " for output - exiting\n",
         1, std::nullopt},
    };
    for (const ConsoleCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir caseDir;
        if (c.sieve == "/")
            fs::create_directory(caseDir / "drask.dat");
        else if (c.sieve)
            write_file(caseDir / "drask.dat", *c.sieve);
        const RunResult result = run_brisvel(caseDir.path(), c.args);
        if (c.out.empty())
            EXPECT_TRUE(result.out.starts_with(host_text(kHelpStart))) << result.out;
        else
            EXPECT_EQ(result.out, host_text(c.out));
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(contents_if_any(caseDir / "worktodo.ini"), c.work);
        EXPECT_EQ(file_exists(caseDir / "brisvel.log"), c.status == 0 && c.work.has_value());
    }
}

// A launcher always names the program, so only a direct start can leave the
// argument list empty.
#ifndef BRISVEL_LAUNCHER
TEST_F(Run, EmptyArgumentListShowsUsageWithTheToolsName) {
    RunOptions options;
    options.noArguments = true;
    const RunResult result = run({}, options);
    EXPECT_EQ(result.out, "brisvel" + kUsageTail);
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(list_dir(dir.path()).empty());
}
#endif

#ifdef BRISVEL_WINE_PREFIX
// On Windows users name the client's folder by drive; Wine's C: is the
// prefix's drive_c.
TEST_F(Run, WritesCrLfLinesIntoADriveFolder) {
    write_file(at("drask.dat"), kHeader + "k=7\n150\n+2\n");
    const std::string folder = fs::path(dir.path()).filename().string();
    const std::string onDrive = std::string(BRISVEL_WINE_PREFIX) + "/drive_c/" + folder;
    fs::create_directories(onDrive);
    for (const std::string& directory : {"C:\\" + folder, "C:\\" + folder + "\\"}) {
        const RunResult result = run({"100", "200", "45", "1", directory});
        EXPECT_EQ(result.out, kSearching + "2 numbers between 100 =< n < 200\r\n" +
                                  "Can't find recent.txt - continuing\r\nOutput 2 candidates to C:\\" + folder + "\\worktodo.ini\r\n");
        EXPECT_EQ(read_file(onDrive + "/worktodo.ini"), "Pminus1=7,2,150,1,45,1\r\nPminus1=7,2,152,1,45,1\r\n");
        fs::remove(onDrive + "/worktodo.ini");
    }
    fs::remove_all(onDrive);
}
#endif

// n 1000 and then pairs more n, one apart.
std::string sieve_with_pairs(int32_t pairs, int k = 3) {
    std::string body = kHeader + "k=" + std::to_string(k) + "\n1000\n";
    for (int32_t i = 0; i < pairs; ++i) body += "+1\n";
    return body;
}

// The pairs that sieve_with_pairs(count - 1, k) holds from n 1000 on.
[[maybe_unused]] std::vector<std::pair<int, int>> pairs_from_1000(int k, int count) {
    std::vector<std::pair<int, int>> pairs;
    for (int n = 1000; n < 1000 + count; ++n) pairs.push_back({k, n});
    return pairs;
}

// Holds the exclusive lock on path until it is closed.
int hold_lock(const std::string& path) {
    const int held = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (held < 0 || flock(held, LOCK_EX) != 0) throw std::runtime_error("cannot lock " + path);
    return held;
}

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
    for (const char* kernel : {"portable", "sse2", "avx2", "avx512", "no such kernel"}) {
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

TEST_F(Run, AcceptsAt9999CandidatesAndStopsAtTheNext) {
    write_file(at("drask.dat"), sieve_with_pairs(9999));
    RunResult result = run({"1001", "99999", "45", "1"});
    EXPECT_EQ(result.out, host_text(kSearching + "9999 numbers between 1001 =< n < 99999\n" + kNoList +
                              "Output 9999 candidates to worktodo.ini\n"));
    EXPECT_EQ(result.status, 0);
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
         " \"my client\""},
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
                                 " pairs: brisvel 1000 " + std::to_string(fits) + " 45 1" + c.command + "\n";
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

TEST_F(Run, ConvertsTheNumbersOfTheCommandLine) {
    write_file(at("drask.dat"), kHeader + "k=7\n150\n");
    const struct {
        std::vector<std::string> args;
        std::string tail;  // SieveDepth and WactorWorth as written
    } cases[] = {
        {{"100", "200", "45", "2.5"}, "45,2"},
        {{"100", "200", "45", "abc"}, "45,0"},
        {{"100", "200", "45", "-1.9"}, "45,-1"},
        {{"100", "200", "45", "1e3"}, "45,1000"},
        {{"100", "200", "45", "1e20"}, "45,2147483647"},
        {{"100", "200", "45", "-1e20"}, "45,-2147483648"},
        {{"100", "200", "45", "nan"}, "45,0"},
        {{"100", "200", "45", "inf"}, "45,0"},
        {{"-", "200", "45", "-.5"}, "45,0"},
        {{"-0", "200", "-0", "-1"}, "0,-1"},
        {{"100", "200", "45", "0x10"}, "45,0"},
        {{"100", "200", "45", "0x1p4"}, "45,0"},
        {{"100", "200", "4294967341", "1"}, "2147483647,1"},
        {{"100", "200", "99999999999", "0"}, "2147483647,0"},
        {{"100", "200", "-99999999999", "0"}, "-2147483648,0"},
        {{" 100xyz", "+200", "4.9", "1"}, "4,1"},
        {{"-99999999999", "99999999999", "45", "1"}, "45,1"},
    };
    for (const auto& c : cases) {
        fs::remove(at("worktodo.ini"));
        const RunResult result = run(c.args);
        EXPECT_EQ(result.status, 0) << c.tail;
        EXPECT_EQ(work_file(), work_lines({{7, 150}}, c.tail));
    }
}

TEST_F(Run, WritesToTheGivenDirectory) {
    write_file(at("drask.dat"), kHeader + "k=7\n150\n");
    const std::string other(1, kSeparator == '/' ? '\\' : '/');  // not a separator here
    const std::string inClient = host_path("client", "worktodo.ini");
    const struct {
        std::string directory;
        std::string path;
    } cases[] = {
        {"client", inClient},
        {"client" + std::string(1, kSeparator), inClient},
        {"client" + other, host_path("client" + other, "worktodo.ini")},
        {"", "worktodo.ini"},
        // A command prompt hands "client\" to a program as client" .
        {"client\"", kWindowsHost ? inClient : host_path("client\"", "worktodo.ini")},
        {"client" + std::string(1, kSeparator) + "\"", kWindowsHost ? inClient : host_path("client/\"", "worktodo.ini")},
    };
    fs::create_directory(at("client"));
    fs::create_directory(at("client" + other));
    fs::create_directory(at("client\""));
    fs::create_directory(at("client/\""));
    for (const auto& c : cases) {
        const RunResult result = run({"100", "200", "45", "1", c.directory});
        EXPECT_EQ(result.out, host_text(kSearching + "1 numbers between 100 =< n < 200\n" + kNoList +
                                        "Output 1 candidates to " + c.path + "\n"));
        EXPECT_EQ(work_file(local_path(c.path)), work_lines({{7, 150}}));
        fs::remove(at(local_path(c.path)));
    }
}

// Folder names outside Windows' ANSI code page (Greek, CJK) and paths past
// its old limit of 260 characters reach the file system whole, and the
// console and the run log carry the path's UTF-8 bytes.
TEST_F(Run, WritesIntoFoldersOfAnyNameAndLength) {
    write_file(at("drask.dat"), kHeader + "k=7\n150\n");
    const std::string folders[] = {"Ελληνικά", "日本語", "Ελληνικά 日本語", std::string(150, 'a') + "/" + std::string(140, 'b')};
    for (const std::string& folder : folders) {
        fs::create_directories(at(folder));
        std::string directory = folder;
        std::replace(directory.begin(), directory.end(), '/', kSeparator);
        const std::string path = host_path(directory, "worktodo.ini");
        const RunResult result = run({"100", "200", "45", "1", directory});
        EXPECT_EQ(result.out, host_text(kSearching + "1 numbers between 100 =< n < 200\n" + kNoList +
                                        "Output 1 candidates to " + path + "\n"));
        EXPECT_EQ(contents_if_any(at(folder + "/worktodo.ini")), work_lines({{7, 150}}));
        const std::string log = read_file(at("brisvel.log"));
        const std::string logged = host_text(" candidates in " + path + "\n");
        EXPECT_EQ(log.substr(log.size() - std::min(log.size(), logged.size())), logged);
    }
}

TEST_F(Run, AppendsWithoutChangingEarlierContent) {
    write_file(at("drask.dat"), kSieve);
    const struct {
        const char* name;
        std::optional<std::string> before;
        std::string after;
    } cases[] = {
        {"kept", "earlier line\n", "earlier line\n" + kExampleLines},
        {"unterminated last line gets its newline", "earlier", "earlier" + kNewline + kExampleLines},
        {"CR LF content kept", "a\r\nb\r\n", "a\r\nb\r\n" + kExampleLines},
        {"empty file", "", kExampleLines},
    };
    for (const auto& c : cases) {
        write_file(at("worktodo.ini"), *c.before);
        EXPECT_EQ(run({"100", "200", "45", "1"}).status, 0);
        EXPECT_EQ(work_file(), c.after) << c.name;
    }
    run({"100", "200", "45", "1"});
    EXPECT_EQ(work_file(), "" + kExampleLines + kExampleLines) << "a second run appends again";
}

TEST_F(Run, WithNothingToWriteLeavesTheFileAsItWas) {
    write_file(at("drask.dat"), kHeader + "k=-3\n150\nk=0\n160\n");
    RunResult result = run({"100", "200", "45", "1"});
    EXPECT_EQ(result.out, host_text(kSearching + "2 numbers between 100 =< n < 200\n" + kNoList + "Output 0 candidates to worktodo.ini\n"));
    EXPECT_EQ(work_file(), "") << "created, empty";

    write_file(at("worktodo.ini"), "unterminated");
    result = run({"100", "200", "45", "1"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(work_file(), "unterminated");
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
        {"header only", "id k n\n", counted + "Removed 0 candidates.\nOutput 8 candidates to worktodo.ini\n",
         kExampleLines},
        {"an empty first line names nothing, not the sieve file's last pair", "id k n\n\n1 45 999\n",
         counted + "Removed 0 candidates.\nOutput 8 candidates to worktodo.ini\n", kExampleLines},
        {"every pair removed", "h\n1 21 107\n1 13 120\n1 21 137\n1 45 137\n1 21 138\n1 45 154\n1 13 168\n1 13 180\n",
         counted + "Removed 8 candidates.\nOutput 0 candidates to worktodo.ini\n", ""},
        {"list is a folder", "/",
         (kWindowsHost ? kCounted + kNoList : counted + "Failed to read recent.txt - continuing\n") +
             "Output 8 candidates to worktodo.ini\n",
         kExampleLines},
    };
    for (const auto& c : cases) {
        fs::remove_all(at("recent.txt"));
        fs::remove(at("worktodo.ini"));
        if (c.list == "/")
            fs::create_directory(at("recent.txt"));
        else
            write_file(at("recent.txt"), c.list);
        const RunResult result = run({"100", "200", "45", "1"});
        EXPECT_EQ(result.out, host_text(c.out)) << c.name;
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
    };
    for (const auto& c : cases) {
        write_file(at("drask.dat"), c.sieve);
        write_file(at("recent.txt"), c.list);
        fs::remove(at("worktodo.ini"));
        EXPECT_EQ(run({"100", "200", "45", "1"}).status, 0) << c.name;
        EXPECT_EQ(work_file(), work_lines(kWindowsHost ? c.windows : c.elsewhere)) << c.name;
    }
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
        EXPECT_EQ(result.out, host_text(kCounted + kNoList + "Failed to write worktodo.ini - exiting\n")) << c.name;
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
        std::string last;
        int status;
    } cases[] = {
        {"/dev/full", "Failed to write worktodo.ini - exiting\n", 1},
        {"/dev/null", "Output 8 candidates to worktodo.ini\n", 0},
    };
    for (const auto& c : cases) {
        fs::remove(at("worktodo.ini"));
        fs::create_symlink(c.device, at("worktodo.ini"));
        const int held = kWindowsHost ? -1 : hold_lock(c.device);
        const StartedRun started = start_brisvel(dir.path(), {"100", "200", "45", "1"});
        const std::string out = read_until(started.outFd, host_text(c.last));
        if (held >= 0) close(held);
        const RunResult result = finish_brisvel(started);
        EXPECT_EQ(out + result.out, host_text(kCounted + kNoList + c.last)) << c.device;
        EXPECT_EQ(result.status, c.status) << c.device;
    }
    if (kWindowsHost) return;
    // A link to a file that does not exist yet is followed, as fopen's "a"
    // follows it, and the file is made.
    fs::remove(at("worktodo.ini"));
    fs::create_symlink("queue.ini", at("worktodo.ini"));
    EXPECT_EQ(run({"100", "200", "45", "1"}).status, 0);
    EXPECT_EQ(work_file("queue.ini"), kExampleLines);
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
    EXPECT_EQ(result.out, host_text(kSearching + "500 numbers between 1000 =< n < 99999\n" + kNoList +
                                    "Could not put worktodo.ini back as it was: " + std::to_string(left) +
                                    " bytes of this run remain in it\nFailed to write worktodo.ini - exiting\n"));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(work_file(), before + work_lines(pairs).substr(0, left));
    EXPECT_FALSE(file_exists(at("brisvel.log")));
}

// Starts a run of 5000 lines, more than a pipe holds, into the FIFO
// worktodo.ini; once the run says that it waits for a reader, opens it for
// reading. The run is then in its write.
struct FifoRun {
    StartedRun started;
    int reader;
    std::string announced;  // what the run printed until then
};

const std::string kFifoCounted = kSearching + "5000 numbers between 1000 =< n < 99999\n" + kNoList +
                                 "Waiting for a program to read worktodo.ini\n";

FifoRun start_run_into_fifo(const std::string& workDir, const RunOptions& options = {}) {
    write_file(workDir + "/drask.dat", sieve_with_pairs(4999));
    const std::string fifo = workDir + "/worktodo.ini";
    if (mkfifo(fifo.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
    const StartedRun started = start_brisvel(workDir, {"1000", "99999", "45", "1"}, options);
    std::string announced = read_until(started.outFd, kFifoCounted);
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
        EXPECT_EQ(run.announced, kFifoCounted);
        EXPECT_EQ(first, 'P');
        EXPECT_EQ(out + result.out, "Could not put worktodo.ini back as it was: " + std::to_string(sent) +
                                        " bytes of this run went out to it\nFailed to write worktodo.ini - exiting\n");
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
    for (int tries = 0; tries < 2000 && contents_if_any(at(folder + "/worktodo.ini")) != kExampleLines; ++tries)
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
    EXPECT_EQ(result.out, std::string(options.stalledStdoutFill, '.') + kCounted + kNoList);
    EXPECT_EQ(work_file(folder + "/worktodo.ini"), kExampleLines);
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
        EXPECT_EQ(run.announced + result.out, kFifoCounted + "Output 5000 candidates to worktodo.ini\n");
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

// A run started with standard output closed (by a service, a launcher,
// ">&-") must not take its number for the work file or the run log: the
// console's lines, "Waiting ..." among them, would land in the file.
TEST_F(Run, AClosedStandardOutputPutsNoConsoleTextIntoTheFiles) {
    write_file(at("drask.dat"), kSieve);
    RunOptions options;
    options.closedStdout = true;
    for (const std::string locked : {"worktodo.ini", "brisvel.log"}) {
        SCOPED_TRACE(locked);
        write_file(at("worktodo.ini"), "old\n");
        write_file(at("brisvel.log"), "");
        const int held = hold_lock(at(locked));
        const StartedRun started = start_brisvel(dir.path(), {"100", "200", "45", "1"}, options);
        wait_until_waiting_for_lock(started.pid, at(locked));
        close(held);
        const RunResult result = finish_brisvel(started);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(work_file(), "old\n" + kExampleLines);
        const std::string log = read_file(at("brisvel.log"));
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
        EXPECT_TRUE(log.starts_with("[") && log.ends_with(" 8 candidates in worktodo.ini\n")) << log;
    }
}

#endif  // BRISVEL_LAUNCHER

// Another program that holds the lock of a file in dir: on Windows a
// Windows program, since Wine does not see a Linux program's lock.
struct HeldLock {
    int descriptor;
    StartedRun holder;
};

[[maybe_unused]] RunOptions helper_program() {
    RunOptions options;
#ifdef BRISVEL_WINDOWS_HELPER
    options.program = BRISVEL_WINDOWS_HELPER;
#endif
    return options;
}

[[maybe_unused]] HeldLock hold_lock_in(const std::string& dir, const std::string& name) {
    if (!kWindowsHost) return {hold_lock(dir + "/" + name), {}};
    const StartedRun holder = start_brisvel(dir, {"hold", name}, helper_program());
    read_until(holder.outFd, "locked");
    return {-1, holder};
}

[[maybe_unused]] void release_lock(const std::string& dir, const HeldLock& held) {
    if (!kWindowsHost) {
        close(held.descriptor);
        return;
    }
    write_file(dir + "/release", "");
    finish_brisvel(held.holder);
    fs::remove(dir + "/release");
}


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
    enum class Work { kNone, kLines, kWholeLines, kFolder, kFifo, kReadFifo, kSocket };
    enum class Log { kNone, kOverlapping, kTouching, kZeroByte, kFolder, kFifo };
    const std::string nul(1, '\0');
    const std::string logText[] = {
        "",
        logged("      50-100     ", "   50") + logged("     150-250     ", "  100") + "no run: " +
            std::string(3000, 'x') + kStamp + "100-200\n" + logged("      -5-101     ", "  106"),
        logged("     200-300     ", "  100") + logged("      50-100     ", "   50") + logged("     199-199     ", "    0"),
        "a zero byte" + nul + " in line 1\n" + logged("     150-250     ", "  100"),
    };
    const std::string notChecked = "Could not read brisvel.log to its end: earlier ranges were not checked\n";
    // The lines with LF alone, as every text expected here is written.
    std::string listing = kExampleLines;
    std::erase(listing, '\r');
    const struct {
        const char* name;
        std::vector<std::string> args;
        Work work;
        Log log;
        bool lockedElsewhere;
        std::string says;  // what the preview prints, among its lines
        int status;
        std::optional<int> runStatus;  // the real run's after it; nullopt: it would wait, and is not run
    } cases[] = {
        {"typed first", {"--dry-run", "100", "200", "45", "1"}, Work::kNone, Log::kNone, false,
         "Would output 8 candidates to worktodo.ini\n" + listing +
             "worktodo.ini does not exist yet: the run would create it\n", 0, 0},
        {"typed last, after the folder", {"100", "200", "45", "1", "client", "--dry-run"}, Work::kNone, Log::kNone,
         false, "Would output 8 candidates to " + host_path("client", "worktodo.ini") + "\n", 0, 0},
        {"typed between the numbers", {"100", "--dry-run", "200", "45", "1"}, Work::kLines, Log::kTouching, false,
         kCounted + kNoList + "Would output 8 candidates", 0, 0},
        {"a work file with lines", {"--dry-run", "100", "200", "45", "1"}, Work::kLines, Log::kNone, false,
         "worktodo.ini holds 2 lines, the last without a line end: the run would end it first\n", 0, 0},
        {"a work file whose lines are whole", {"--dry-run", "100", "200", "45", "1"}, Work::kWholeLines, Log::kNone,
         false, "worktodo.ini holds 2 lines\n", 0, 0},
        {"a missing folder", {"--dry-run", "100", "200", "45", "1", "clinet"}, Work::kNone, Log::kNone, false,
         "Failed to open " + host_path("clinet", "worktodo.ini") + " for output - exiting\n", 1, 1},
        {"the work file given as its folder", {"--dry-run", "100", "200", "45", "1", "worktodo.ini"}, Work::kLines,
         Log::kNone, false, "Failed to open " + host_path("worktodo.ini", "worktodo.ini") + " for output - exiting\n",
         1, 1},
        {"a work file that is a folder", {"--dry-run", "100", "200", "45", "1"}, Work::kFolder, Log::kNone, false,
         "Failed to open worktodo.ini for output - exiting\n", 1, 1},
        {"a work file that is a socket", {"--dry-run", "100", "200", "45", "1"}, Work::kSocket, Log::kNone, false,
         "Failed to open worktodo.ini for output - exiting\n", 1, 1},
        {"a FIFO that nobody reads", {"--dry-run", "100", "200", "45", "1"}, Work::kFifo, Log::kNone, false,
         "No program reads worktodo.ini yet: the run would wait for one\n", 0, std::nullopt},
        {"a FIFO that a program reads", {"--dry-run", "100", "200", "45", "1"}, Work::kReadFifo, Log::kNone, false,
         "worktodo.ini is a FIFO: the lines would go to the program that reads it\nDry run", 0, std::nullopt},
        {"a lock held elsewhere", {"--dry-run", "100", "200", "45", "1"}, Work::kLines, Log::kNone, true,
         "Another program holds the lock on worktodo.ini: the run would wait for it\n", 0, std::nullopt},
        {"overlapping ranges in the log", {"--dry-run", "100", "200", "45", "1"}, Work::kNone, Log::kOverlapping, false,
         "brisvel.log already shows n from 150 to 250: line 2\nbrisvel.log already shows n from -5 to 101: line 4\n",
         3, 0},
        {"a zero byte in a log line", {"--dry-run", "100", "200", "45", "1"}, Work::kNone, Log::kZeroByte, false,
         "brisvel.log already shows n from 150 to 250: line 2\n", 3, 0},
        {"a log that is a folder", {"--dry-run", "100", "200", "45", "1"}, Work::kNone, Log::kFolder, false,
         notChecked + "Failed to open brisvel.log for output - continuing\n", 3, 0},
        {"a log that is a FIFO", {"--dry-run", "100", "200", "45", "1"}, Work::kNone, Log::kFifo, false,
         notChecked + "Failed to open brisvel.log for output - continuing\n", 3, std::nullopt},
        {"numbers not taken as typed, and no range", {"--dry-run", "100", "2OO", "45", "1,5"}, Work::kNone,
         Log::kNone, false,
         "Note: NMax \"2OO\" is read as 2\nNote: WactorWorth \"1,5\" is read as 1\n"
         "Note: NMin 100 is not below NMax 2: the range is empty\n"
         "Searching drask.dat... 0 numbers between 100 =< n < 2\nDry run", 3, 0},
        // The whole numbers are read as atol reads them; WactorWorth as a decimal, cut to its whole part.
        {"a whole number written as a decimal", {"--dry-run", "1e2", "200", "45", "2.5"}, Work::kNone, Log::kNone,
         false, "Note: NMin \"1e2\" is read as 1\nSearching drask.dat... 8 numbers between 1 =< n < 200\n", 3, 0},
        {"a word after the folder", {"100", "200", "45", "1", "client", "extra", "--dry-run"}, Work::kNone,
         Log::kNone, false, "Note: \"extra\" after the folder is ignored\nSearching", 3, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool posixOnly =
            c.work == Work::kFifo || c.work == Work::kReadFifo || c.work == Work::kSocket || c.log == Log::kFifo;
        if ((kWindowsHost && posixOnly) || (kEmulatedWine && c.lockedElsewhere)) continue;
        TempDir caseDir;
        write_file(caseDir / "drask.dat", kSieve);
        fs::create_directory(caseDir / "client");
        if (c.work == Work::kLines) write_file(caseDir / "worktodo.ini", "a\nb");
        if (c.work == Work::kWholeLines) write_file(caseDir / "worktodo.ini", "a\nb\n");
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
        if (c.lockedElsewhere) held = hold_lock_in(caseDir.path(), "worktodo.ini");
        const std::vector<std::string> before = snapshot(caseDir.path());

        const RunResult preview = run_brisvel(caseDir.path(), c.args);
        EXPECT_NE(preview.out.find(host_text(c.says)), std::string::npos) << preview.out;
        EXPECT_TRUE(preview.out.ends_with(host_text("\nDry run: nothing was written\n"))) << preview.out;
        EXPECT_EQ(preview.status, c.status);
        EXPECT_EQ(preview.err, "");
        EXPECT_EQ(snapshot(caseDir.path()), before);
        if (c.lockedElsewhere) release_lock(caseDir.path(), held);
        if (reader >= 0) close(reader);
        if (!c.runStatus) continue;

        std::vector<std::string> args = c.args;
        std::erase(args, "--dry-run");
        const RunResult result = run_brisvel(caseDir.path(), args);
        EXPECT_EQ(result.status, *c.runStatus) << result.out;
        EXPECT_EQ(result.out.find("Waiting"), std::string::npos) << result.out;
        const auto [path, lines] = listed_lines(preview.out);
        if (result.status == 0 && !path.empty()) {
            EXPECT_TRUE(read_file(caseDir / local_path(path)).ends_with(lines)) << "the lines the preview showed";
        }
    }
}

#ifndef BRISVEL_EMULATED_WINE
// While another program holds the run log's lock, a signal that would end
// the run (on Windows Ctrl-C, which Wine sends for SIGINT) ends the wait:
// the work file and the "Output" line are whole, and the run shows the log
// line it could not write.
TEST_F(Run, ASignalEndsTheWaitForTheRunLogsLock) {
    write_file(at("drask.dat"), kSieve);
    const std::string waiting = host_text(kCounted + kNoList + "Output 8 candidates to worktodo.ini\n" +
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
        EXPECT_EQ(work_file(), kExampleLines);
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
        {"a new file renamed over it", true, "x\n" + kExampleLines},
        {"removed", false, kExampleLines},
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
        EXPECT_EQ(before + result.out, host_text(kCounted + kNoList) + waiting +
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
    expect_logged_run(dir.path(), {"-2147483648", "2147483647", "-7", "-2.5", "client"},
                      "Range -2147483648-2147483647 (   -1), -7, -2,   10 candidates in " +
                          host_path("client", "worktodo.ini") + "\n");

    write_file(at("recent.txt"), "h\n1 21 107\n1 13 120\n1 21 137\n1 45 137\n1 21 138\n1 45 154\n1 13 168\n1 13 180\n");
    expect_logged_run(dir.path(), {"100", "200", "45", "1"},
                      "Range      100-200      (  100), 45, 1,    0 candidates in worktodo.ini\n");
}

TEST_F(Run, StartsTheLogLineOnALineOfItsOwn) {
    write_file(at("drask.dat"), kSieve);
    write_file(at("brisvel.log"), "an unterminated line");
    expect_logged_run(dir.path(), {"100", "200", "45", "1"},
                      "Range      100-200      (  100), 45, 1,    8 candidates in worktodo.ini\n");
    EXPECT_EQ(read_file(at("brisvel.log")).substr(0, 20 + kNewline.size()), "an unterminated line" + kNewline);
}

TEST_F(Run, ARunLogProblemIsReportedAndTheRunSucceeds) {
    write_file(at("drask.dat"), kSieve);
    const std::string written = kSearching + "8 numbers between 100 =< n < 200\n" + kNoList +
                                "Output 8 candidates to worktodo.ini\n";
    enum class Log { kFolder, kFullDevice, kFifoWithoutReader };
    const struct {
        const char* name;
        Log log;
        std::string message;
    } cases[] = {
        {"cannot open", Log::kFolder, "Failed to open brisvel.log for output - continuing\n"},
        {"cannot write", Log::kFullDevice, "Failed to write brisvel.log - continuing\n"},
        // Waiting there, with every signal held, nothing but SIGKILL could end the run.
        {"a FIFO that nobody reads is not waited for", Log::kFifoWithoutReader,
         "Failed to open brisvel.log for output - continuing\n"},
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
        EXPECT_EQ(result.out, host_text(written + c.message)) << c.name;
        EXPECT_EQ(result.status, 0) << c.name;
        EXPECT_EQ(work_file(), kExampleLines) << c.name;
    }
}

}  // namespace
