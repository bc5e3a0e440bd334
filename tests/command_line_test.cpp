#include "command_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "host.h"

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

// What cmd.exe hands over for "C:\My client\" --dry-run is one word,
// C:\My client" --dry-run: the folder's word is cut at its quote and the
// rest read as words of their own.
TEST(FolderWord, IsCutAtAQuoteAndTheRestReadAsWords) {
    const struct {
        const char* name;
        std::vector<std::string> typed;
        std::vector<std::string> read;
    } cases[] = {
        {"the preview after a quoted folder", {"1", "2", "3", "4", "C:\\My client\" --dry-run"},
         {"1", "2", "3", "4", "C:\\My client", "--dry-run"}},
        {"a trailing quote alone", {"1", "2", "3", "4", "client\""}, {"1", "2", "3", "4", "client"}},
        {"blanks and tabs between the words", {"1", "2", "3", "4", "c\"  a\tb "}, {"1", "2", "3", "4", "c", "a", "b"}},
        {"options before it are no place", {"-h", "1", "2", "3", "4", "c\"x", "y"}, {"-h", "1", "2", "3", "4", "c", "x", "y"}},
        {"a quote in a number is left", {"1\" 2", "2", "3", "4"}, {"1\" 2", "2", "3", "4"}},
        {"a folder without a quote is left", {"1", "2", "3", "4", "c d", "e\""}, {"1", "2", "3", "4", "c d", "e\""}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> typed = c.typed;
        std::vector<char*> pointers;
        for (std::string& word : typed) pointers.push_back(word.data());
        const Words words = cut_folder_at_quote({pointers.data(), static_cast<int32_t>(pointers.size())});
        EXPECT_EQ(std::vector<std::string>(words.at, words.at + words.count), c.read) << c.name;
    }
}

// A command named for the user to type carries the folder as the run read
// it, quoted when it holds a blank, without a separator before the closing
// quote, where cmd.exe would read a literal quote.
TEST(Command, RestatesTheSettingsWithAnotherNMax) {
    const std::string sep(1, kDirectorySeparator);
    const struct {
        const char* folder;
        std::string expected;
    } cases[] = {
        {nullptr, "brisvel -5 1234567 45 -2"},
        {"", "brisvel -5 1234567 45 -2"},
        {"client", "brisvel -5 1234567 45 -2 client"},
        {"client/", "brisvel -5 1234567 45 -2 client/"},
        {"my client", "brisvel -5 1234567 45 -2 \"my client\""},
        {"my\tclient", "brisvel -5 1234567 45 -2 \"my\tclient\""},
    };
    for (const auto& c : cases) {
        RunSettings settings{};
        settings.NMin = -5;
        settings.NMax = 200;
        settings.SieveDepth = 45;
        settings.WactorWorth = -2;
        settings.folder = c.folder;
        CommandText text{};
        format_command(settings, 1234567, text);
        EXPECT_EQ(std::string(text.data()), c.expected);
    }
    RunSettings settings{};
    const std::string folder = "my client" + sep;
    settings.folder = folder.c_str();
    CommandText text{};
    format_command(settings, 7, text);
    EXPECT_EQ(std::string(text.data()), "brisvel 0 7 0 0 \"my client\"");
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

// A window of its own that is the run's input and output is a
// double-click; a console shared with a shell, or redirected input or
// output, is a run from a command line or a script, left as it is.
TEST(DoubleClick, IsTheOnlyProcessOfAConsoleThatIsItsInputAndOutput) {
    const struct {
        uint32_t processes;
        bool input, output;
        bool doubleClick;
    } cases[] = {
        {1, true, true, true},   {2, true, true, false},  {1, false, true, false},
        {1, true, false, false}, {0, false, false, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(is_double_click_start(c.processes, c.input, c.output), c.doubleClick)
            << c.processes << " " << c.input << " " << c.output;
}

}  // namespace
