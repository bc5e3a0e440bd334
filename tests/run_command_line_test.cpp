// End-to-end runs of the built executable: what its command line asks for,
// the console lines and exit status, and where the work file goes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "run_support.h"

namespace {

namespace fs = std::filesystem;

const std::string kUsageTail = "  <NMin> <NMax> <SieveDepth> <WactorWorth>\n";
const std::string kHelpStart = "Usage: brisvel <NMin> <NMax> <SieveDepth> <WactorWorth> [directory]\n";

// Where a case's text names the folder it ran in.
const std::string kCaseFolder = "<case folder>";

// The refusal of an option, and how a folder of its name is written.
std::string refusal(const std::string& word) {
    const bool slash = word[0] == '/';
    return "Unknown option " + word + " - exiting\nNote: the options are " +
           (kWindowsHost ? "/dry-run, /help, /h, /?, /version and their -- forms" : "--dry-run, --help, -h and --version") +
           "; a folder named " + word + " is written " + (slash ? "\\" : kWindowsHost ? ".\\" : "./") +
           word.substr(slash ? 1 : 0) + ", or typed after --\n";
}

struct ConsoleCase {
    const char* name;
    std::optional<std::string> sieve;  // nullopt: no sieve file; "/": a folder of that name
    std::vector<std::string> args;
    std::string out;  // empty: the help text
    int status;
    std::optional<std::string> work;  // nullopt: no work file is left
};

TEST_F(Run, PrintsItsLinesAndEndsWithItsStatus) {
    const std::string noList = "Can't find recent.txt - continuing\nNote: no recent.txt in " + kCaseFolder + "\n";
    const ConsoleCase cases[] = {
        {"typical run", kSieve, {"100", "200", "45", "1"},
         kSearching + "8 numbers between 100 =< n < 200\n" + noList + "Output 8 candidates to worktodo.ini\n", 0, example_lines()},
        {"arguments after the fifth are ignored", kSieve, {"100", "200", "45", "1", "", "extra"},
         kSearching + "8 numbers between 100 =< n < 200\n" + noList + "Output 8 candidates to worktodo.ini\n", 0, example_lines()},
        {"empty range ends after the count", kSieve, {"150", "150", "45", "1"},
         kSearching + "0 numbers between 150 =< n < 150\n", 0, std::nullopt},
        {"negative NMin prints as itself", kSieve, {"-5", "110", "45", "1"},
         kSearching + "1 numbers between -5 =< n < 110\n" + noList + "Output 1 candidates to worktodo.ini\n", 0,
         work_lines({{21, 107}})},
        {"no arguments", kSieve, {}, invoked_name() + kUsageTail, 1, std::nullopt},
        {"three numbers", kSieve, {"100", "200", "45"}, invoked_name() + kUsageTail, 1, std::nullopt},
        {"the version", kSieve, {"--version"}, "brisvel " BRISVEL_VERSION "\n", 0, std::nullopt},
        {"a dash and a letter is an option", kSieve, {"-v", "100", "200", "45"}, refusal("-v"), 1, std::nullopt},
        // On Windows the folder word "client\" -v" reads as the folder client and -v.
        {"a quote in the folder word", kSieve, {"100", "200", "45", "1", "client\" -v"},
         kWindowsHost ? refusal("-v")
                      : kCounted + noList + "Failed to open client\" -v/worktodo.ini for output - exiting\n" +
                            "Note: client\" -v/worktodo.ini: " + kAnyReason + "\n",
         1, std::nullopt},
        {"a mistyped option after the folder is refused", kSieve, {"100", "200", "45", "1", "", "--dryrun"},
         refusal("--dryrun"), 1, std::nullopt},
        // Windows programs take options with a slash, in any case; a folder
        // at the drive's root is written with a backslash.
        {"a slash and a letter", kSieve, {"100", "200", "45", "1", "/v"},
         kWindowsHost ? refusal("/v")
                      : kCounted + noList + "Failed to open /v/worktodo.ini for output - exiting\nNote: /v/worktodo.ini: " +
                            kAnyReason + "\n",
         1, std::nullopt},
        {"a preview with a slash", kSieve, {"150", "150", "45", "1", "/DRY-run"},
         (kWindowsHost ? "Note: NMin 150 is not below NMax 150: the range is empty\n" : "") + kSearching +
             "0 numbers between 150 =< n < 150\n" + (kWindowsHost ? "Dry run: nothing was written\n" : ""),
         kWindowsHost ? 3 : 0, std::nullopt},
        // Every word after -- is placed, whatever it starts with.
        {"-- ends the options", kSieve, {"--", "-5", "110", "45", "1", "--help"},
         kSearching + "1 numbers between -5 =< n < 110\n" + noList + "Failed to open " + host_path("--help", "worktodo.ini") +
             " for output - exiting\nNote: " + host_path("--help", "worktodo.ini") + ": " + kAnyReason + "\n", 1,
         std::nullopt},
        {"a preview needs the four numbers too", kSieve, {"--dry-run", "100", "200", "45"},
         invoked_name() + kUsageTail + "Dry run: nothing was written\n", 1, std::nullopt},
        {"a Windows help request elsewhere", kSieve, {"/?"},
         kWindowsHost ? "" : invoked_name() + kUsageTail, kWindowsHost ? 0 : 1, std::nullopt},
        {"no sieve file", std::nullopt, {"100", "200", "45", "1"},
         "Failed to open drask.dat - exiting\nNote: no drask.dat in " + kCaseFolder + "\n", 1, std::nullopt},
        {"sieve file is a folder", "/", {"100", "200", "45", "1"},
         (kWindowsHost ? "Failed to open drask.dat - exiting\n" : kSearching + "Failed to read drask.dat - exiting\n") +
             "Note: drask.dat in " + kCaseFolder + ": " + kAnyReason + "\n",
         1, std::nullopt},
        {"help", kSieve, {"--help"}, "", 0, std::nullopt},
        {"output path too long, checked first", std::nullopt, {"100", "200", "45", "1", std::string(990, 'd')},
         "Output path too long - exiting\nNote: the work file's path may have at most 999 characters, worktodo.ini "
         "and the separator included\n", 1, std::nullopt},
        {"work file folder missing", kSieve, {"100", "200", "45", "1", "missing"},
         kCounted + noList + "Failed to open " + host_path("missing", "worktodo.ini") + " for output - exiting\nNote: " +
             host_path("missing", "worktodo.ini") + ": " + kAnyReason + "\n",
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
        std::string out = c.out;
        if (const std::size_t at = out.find(kCaseFolder); at != std::string::npos)
            out.replace(at, kCaseFolder.size(), host_folder(caseDir.path()));
        if (c.out.empty())
            EXPECT_TRUE(result.out.starts_with(host_text(kHelpStart))) << result.out;
        else
            EXPECT_TRUE(matches(result.out, host_text(out))) << result.out;
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
        EXPECT_EQ(result.out, host_text(kSearching + "2 numbers between 100 =< n < 200\n" + no_list() +
                                        "Output 2 candidates to C:\\" + folder + "\\worktodo.ini\n"));
        EXPECT_EQ(read_file(onDrive + "/worktodo.ini"), "Pminus1=7,2,150,1,45,1\r\nPminus1=7,2,152,1,45,1\r\n");
        fs::remove(onDrive + "/worktodo.ini");
    }
    fs::remove_all(onDrive);
}
#endif

// A command prompt hands "client\" to a program as client" : on Windows the
// folder ends at the quote, elsewhere the quote is part of its name.
TEST_F(Run, WritesToTheGivenDirectory) {
    write_file(at("drask.dat"), kHeader + "k=7\n150\n");
    const std::string inClient = host_path("client", "worktodo.ini");
    const struct {
        std::string directory;
        std::string path;
    } cases[] = {
        {"client\"", kWindowsHost ? inClient : host_path("client\"", "worktodo.ini")},
        {"client" + std::string(1, kSeparator) + "\"", kWindowsHost ? inClient : host_path("client/\"", "worktodo.ini")},
    };
    fs::create_directory(at("client"));
    fs::create_directory(at("client\""));
    fs::create_directory(at("client/\""));
    for (const auto& c : cases) {
        const RunResult result = run({"100", "200", "45", "1", c.directory});
        EXPECT_EQ(result.out, host_text(kSearching + "1 numbers between 100 =< n < 200\n" + no_list() +
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
        EXPECT_EQ(result.out, host_text(kSearching + "1 numbers between 100 =< n < 200\n" + no_list() +
                                        "Output 1 candidates to " + path + "\n"));
        EXPECT_EQ(contents_if_any(at(folder + "/worktodo.ini")), work_lines({{7, 150}}));
        const std::string log = read_file(at("brisvel.log"));
        const std::string logged = host_text(" candidates in " + path + "\n");
        EXPECT_EQ(log.substr(log.size() - std::min(log.size(), logged.size())), logged);
    }
}

}  // namespace
