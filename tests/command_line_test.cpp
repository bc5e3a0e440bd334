#include "command_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

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
