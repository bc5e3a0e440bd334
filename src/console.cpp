#include "console.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "host.h"

namespace {

// Room for the longest message said while signals are held: the run log's
// line, which is at most two log texts, with a few words before it.
constexpr std::size_t kHeldTextSize = 4096;

int32_t secondLooks = 0;

void say_list(const char* format, va_list arguments) {
    if (!signals_held()) {
        std::vprintf(format, arguments);
        return;
    }
    std::array<char, kHeldTextSize> text{};
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
    ++secondLooks;
}

void say_second_look(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    say_list(format, arguments);
    va_end(arguments);
    ++secondLooks;
}

int32_t second_looks() { return secondLooks; }

void say_lines(const char* before, std::span<const char> text) {
    const std::string_view lines(text.data(), text.size());
    for (std::size_t from = 0; from < lines.size();) {
        const std::size_t to = lines.find(kLineEnd, from);
        say("%s%.*s\n", before, static_cast<int>(to - from), lines.data() + from);
        from = to + kLineEndLength;
    }
}

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
