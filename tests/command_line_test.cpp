#include "command_line.h"

#include <gtest/gtest.h>

#include <climits>

#include <optional>
#include <string>
#include <vector>

#include "host.h"
#include "test_support.h"

namespace {

TEST(OutputPath, JoinsTheDirectoryAndTheWorkFileName) {
    const std::string sep(1, kDirectorySeparator);
    const std::string other = kDirectorySeparator == '/' ? "\\" : "/";
    const struct {
        std::optional<std::string> directory;
        std::string expected;
    } cases[] = {
        {std::nullopt, "worktodo.ini"},
        {"", "worktodo.ini"},
        {"client", "client" + sep + "worktodo.ini"},
        {"client" + sep, "client" + sep + "worktodo.ini"},
        {"client" + other, "client" + other + sep + "worktodo.ini"},
        {sep, sep + "worktodo.ini"},
    };
    for (const auto& c : cases) {
        OutputPath path{};
        ASSERT_TRUE(build_output_path(c.directory ? c.directory->c_str() : nullptr, path));
        EXPECT_EQ(std::string(path.data()), c.expected);
    }
}

// Runs the command line stage on words typed after the program name.
struct Read {
    StageStatus status;
    RunSettings settings;
    bool preview;
};

Read read_words(std::vector<std::string> typed) {
    typed.insert(typed.begin(), "brisvel");
    std::vector<char*> argv;
    for (std::string& word : typed) argv.push_back(word.data());
    Read read{StageStatus::kFailed, {}, false};
    read.status = read_command_line(static_cast<int>(argv.size()), argv.data(), read.settings, read.preview);
    return read;
}

// A dash and a letter makes an option, whatever the letter; a dash before
// anything else starts a number or is a word, read as the tool reads them.
TEST(CommandLine, TellsOptionsFromNumbers) {
    const struct {
        std::vector<std::string> typed;
        StageStatus status;
        int32_t NMin;
        bool preview;
    } cases[] = {
        {{"-a", "1", "2", "3", "4"}, StageStatus::kFailed, 0, false},
        {{"1", "2", "3", "4", "-z"}, StageStatus::kFailed, 0, false},
        {{"-A", "1", "2", "3", "4"}, StageStatus::kFailed, 0, false},
        {{"-Z", "1", "2", "3", "4"}, StageStatus::kFailed, 0, false},
        {{"--", "1", "2", "3", "4"}, StageStatus::kContinue, 1, false},
        {{"1", "--", "-a", "3", "4"}, StageStatus::kContinue, 1, false},
        {{"--", "--dry-run", "2", "3", "4"}, StageStatus::kContinue, 0, false},
        {{"--version", "--", "1"}, StageStatus::kFinished, 0, false},
        {{"-5", "2", "3", "4"}, StageStatus::kContinue, -5, false},
        {{"-", "2", "3", "4"}, StageStatus::kContinue, 0, false},
        {{"-.5", "2", "3", "4"}, StageStatus::kContinue, 0, false},
        {{"7", "2", "--dry-run", "3", "4"}, StageStatus::kContinue, 7, true},
        {{"-h", "-v"}, StageStatus::kFinished, 0, false},
        {{"--version", "1"}, StageStatus::kFinished, 0, false},
    };
    for (const auto& c : cases) {
        const Read read = read_words(c.typed);
        EXPECT_EQ(read.status, c.status) << c.typed.front();
        EXPECT_EQ(read.preview, c.preview) << c.typed.front();
        if (c.status == StageStatus::kContinue) {
            EXPECT_EQ(read.settings.NMin, c.NMin) << c.typed.front();
        }
    }
}

// The words that a POSIX shell makes of command, run in folder.
std::vector<std::string> shell_words(const std::string& folder, const std::string& command) {
    write_file(folder + "/script", "set -- " + command + "\nprintf '%s\\0' \"$@\"\n");
    std::FILE* shell = popen(("cd '" + folder + "' && sh ./script").c_str(), "r");
    std::string out;
    for (int c = 0; shell != nullptr && (c = std::fgetc(shell)) != EOF;) out += static_cast<char>(c);
    if (shell != nullptr) pclose(shell);
    std::vector<std::string> words;
    for (std::size_t at = 0, end = 0; (end = out.find('\0', at)) != std::string::npos; at = end + 1)
        words.push_back(out.substr(at, end - at));
    return words;
}

// The command suggested for a range too full starts with the program as it
// was typed and, pasted into a POSIX shell, runs exactly its words, whatever
// the folder holds (in a folder of files that a pattern would match), with
// "--" before a folder that would read as an option.
TEST(Command, RunsExactlyItsWordsInAShell) {
    TempDir dir;
    for (const char* name : {"x", "axb", "brisvel"}) write_file(dir / name, "");
    std::vector<std::string> folders = {"", "client", "my  client", "my\tclient", "-v", "--", "--help", "~", "#x", "a=b"};
    for (const char c : std::string(";&|<>()$\\`'\"*?~#% ")) {
        folders.push_back(std::string(1, c));
        folders.push_back(std::string("a") + c + "b");
    }
    for (const std::string program : {"brisvel", "./my dir/it's brisvel"}) {
        for (const std::string& folder : folders) {
            RunSettings settings{};
            settings.NMin = -5;
            settings.SieveDepth = 45;
            settings.WactorWorth = -2;
            settings.folder = folder.c_str();
            settings.program = program.c_str();
            CommandText text{};
            ASSERT_TRUE(format_command(settings, 1234567, text));
            std::vector<std::string> expected = {program, "-5", "1234567", "45", "-2"};
            if (folder.starts_with("-")) expected.insert(expected.begin() + 1, "--");
            if (!folder.empty()) expected.push_back(folder);
            EXPECT_EQ(shell_words(dir.path(), text.data()), expected) << text.data();
        }
    }
}

TEST(OutputPath, RefusesPathsLongerThan999Characters) {
    const std::string sep(1, kDirectorySeparator);
    const struct {
        std::string directory;
        bool fits;
    } cases[] = {
        {std::string(986, 'd'), true},   // 986 + separator + 12 = 999
        {std::string(987, 'd'), false},
        {std::string(986, 'd') + sep, true},
        {std::string(987, 'd') + sep, false},
        {std::string(999, 'd'), false},  // fills the room: no place for the separator
        {std::string(5000, 'd'), false},
    };
    for (const auto& c : cases) {
        OutputPath path{};
        path.back() = 'x';  // must be cleared
        EXPECT_EQ(build_output_path(c.directory.c_str(), path), c.fits) << c.directory.size();
        EXPECT_EQ(path.back(), '\0');
        if (c.fits) {
            EXPECT_EQ(std::string(path.data()).size(), 999u);
        }
    }
}

}  // namespace
