#include "console.h"

#include <gtest/gtest.h>

namespace {

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
