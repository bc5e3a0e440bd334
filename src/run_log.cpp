#include "run_log.h"

#include <array>
#include <cinttypes>
#include <cstring>
#include <string_view>

#include "decimal.h"
#include "host.h"

namespace {

constexpr std::array<const char*, 7> kDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The difference as the 32-bit hardware computes it: wrapping, never
// undefined.
int32_t wrapping_difference(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// Room for the line with every number at its widest and a path of 999
// characters.
std::array<char, 1200> logLine;

constexpr const char* kRangeMark = "]  Range ";

}  // namespace

void add_log_line(const std::tm& local, const RunSettings& settings, int32_t linesWritten, Lines& lines) {
    add_line(lines, "[%s %02d-%s-%04" PRId64 " %02d:%02d:%02d]  Range %8d-%-8d (%5d), %d, %d, %4d candidates in %s",
             kDayNames[static_cast<std::size_t>(local.tm_wday) % kDayNames.size()], local.tm_mday,
             kMonthNames[static_cast<std::size_t>(local.tm_mon) % kMonthNames.size()], int64_t{local.tm_year} + 1900,
             local.tm_hour, local.tm_min, local.tm_sec, settings.NMin, settings.NMax,
             wrapping_difference(settings.NMax, settings.NMin), settings.SieveDepth, settings.WactorWorth,
             linesWritten, settings.outputPath.data());
}

bool read_logged_range(const char* begin, const char* end, int32_t& NMin, int32_t& NMax) {
    const std::string_view line(begin, static_cast<std::size_t>(end - begin));
    const std::size_t mark = line.find(kRangeMark);
    if (mark == std::string_view::npos) return false;
    const char* p = read_int32(begin + mark + std::strlen(kRangeMark), end, NMin);
    return p != nullptr && p < end && *p == '-' && read_int32(p + 1, end, NMax) != nullptr;
}

// The time is taken before the log is opened.
void append_run_log(const RunSettings& settings, int32_t linesWritten) {
    std::tm local{};
    to_local_time(std::time(nullptr), local);
    Lines line = lines_in(logLine);
    add_log_line(local, settings, linesWritten, line);
    append_lines(kRunLogDestination, line);
}
