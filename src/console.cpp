#include "console.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>

#include "host.h"

namespace {

// Room for the longest message said inside the report window: the run log's
// line, which is at most two log texts, with a few words before it.
constexpr std::size_t kWindowTextSize = 4096;

}  // namespace

void say(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    if (!report_window_open()) {
        std::vprintf(format, arguments);
    } else {
        std::array<char, kWindowTextSize> text{};
        const int length = std::vsnprintf(text.data(), text.size(), format, arguments);
        if (length > 0)
            write_to_console({text.data(), std::min(static_cast<std::size_t>(length), text.size() - 1)});
    }
    va_end(arguments);
}
