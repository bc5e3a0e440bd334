#include "console.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "host.h"

namespace {

// Room for the longest message said inside the report window: the run log's
// line, which is at most two log texts, with a few words before it.
constexpr std::size_t kWindowTextSize = 4096;

int32_t notesSaid = 0;

void say_list(const char* format, va_list arguments) {
    if (!report_window_open()) {
        std::vprintf(format, arguments);
        return;
    }
    std::array<char, kWindowTextSize> text{};
    const int length = std::vsnprintf(text.data(), text.size(), format, arguments);
    if (length > 0) write_to_console({text.data(), std::min(static_cast<std::size_t>(length), text.size() - 1)});
}

}  // namespace

void say(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    say_list(format, arguments);
    va_end(arguments);
}

void say_note(const char* format, ...) {
    say("Note: ");
    va_list arguments;
    va_start(arguments, format);
    say_list(format, arguments);
    va_end(arguments);
    say("\n");
    ++notesSaid;
}

int32_t notes_said() { return notesSaid; }

void say_why(const char* path, bool input) {
    std::array<char, 512> reason{};
    describe_failure(reason);
    if (std::strchr(path, kDirectorySeparator) != nullptr || std::strchr(path, '/') != nullptr) {
        say_note("%s: %s", path, reason.data());
        return;
    }
    FolderPath here{};
    current_folder(here);
    if (input && failure_was_missing())
        say_note("no %s in %s", path, here.data());
    else
        say_note("%s in %s: %s", path, here.data(), reason.data());
}
