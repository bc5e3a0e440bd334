#include "run_log.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "decimal.h"
#include "host.h"

namespace {

constexpr std::array<const char*, 7> kDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

template <std::size_t N>
const char* name_at(const std::array<const char*, N>& names, int index) {
    return index >= 0 && static_cast<std::size_t>(index) < N ? names[static_cast<std::size_t>(index)] : "???";
}

// The difference as the 32-bit hardware computes it: wrapping, never
// undefined.
int32_t wrapping_difference(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// The whole log line, written in one piece.
using LogLine = std::array<char, 2 * kLogTextSize>;

constexpr const char* kRangeMark = "]  Range ";

}  // namespace

void format_log_timestamp(const std::tm& local, LogText& text) {
    std::snprintf(text.data(), text.size(), "[%s %02d-%s-%04" PRId64 " %02d:%02d:%02d]  ",
                  name_at(kDayNames, local.tm_wday), local.tm_mday, name_at(kMonthNames, local.tm_mon),
                  int64_t{local.tm_year} + 1900, local.tm_hour, local.tm_min, local.tm_sec);
}

void format_range_summary(int32_t NMin, int32_t NMax, int32_t linesWritten, const char* outputPath,
                          int32_t SieveDepth, int32_t WactorWorth, LogText& text) {
    std::snprintf(text.data(), text.size(), "Range %8d-%-8d (%5d), %d, %d, %4d candidates in %s%s", NMin, NMax,
                  wrapping_difference(NMax, NMin), SieveDepth, WactorWorth, linesWritten, outputPath, kLineEnd);
}

bool read_logged_range(const char* begin, const char* end, int32_t& NMin, int32_t& NMax) {
    const std::string_view line(begin, static_cast<std::size_t>(end - begin));
    const std::size_t mark = line.find(kRangeMark);
    if (mark == std::string_view::npos) return false;
    const char* p = read_int32_before_slack(begin + mark + std::strlen(kRangeMark), end, NMin);
    return p != nullptr && p < end && *p == '-' && read_int32_before_slack(p + 1, end, NMax) != nullptr;
}

void append_run_log(const RunSettings& settings, int32_t linesWritten) {
    std::tm local{};
    to_local_time(std::time(nullptr), local);
    LogText stamp{};
    format_log_timestamp(local, stamp);
    LogText summary{};
    format_range_summary(settings.NMin, settings.NMax, linesWritten, settings.outputPath.data(), settings.SieveDepth,
                         settings.WactorWorth, summary);
    // The line holds both texts whole, so snprintf never cuts it.
    LogLine line{};
    const int length = std::snprintf(line.data(), line.size(), "%s%s", stamp.data(), summary.data());
    append_lines(kRunLogDestination, {line.data(), static_cast<std::size_t>(std::max(length, 0))});
}
