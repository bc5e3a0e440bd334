#include "work_file.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>
#include <utility>

#include "console.h"
#include "host.h"

namespace {

// The widest line holds four numbers of the widest, "-2147483648", and the
// batch a full table of them: every line of a run fits.
constexpr std::size_t kInt32Width = std::numeric_limits<int32_t>::digits10 + 2;
constexpr std::size_t kMaxWorkLineLength =
    std::string_view("Pminus1=,2,,1,,").size() + 4 * kInt32Width + kLineEndLength;
std::array<char, kLineEndLength + static_cast<std::size_t>(kTableSlots - 1) * kMaxWorkLineLength + 1> batch;

CandidateArray scratch;  // the merge sort's other half

}  // namespace

// A bottom-up merge sort: runs of width entries are merged pairwise into the
// other array, doubling width each pass. std::merge takes the left run's
// entry first on equal n, which keeps the order stable.
void order_by_n(CandidateTable& table) {
    const auto count = static_cast<std::ptrdiff_t>(table.count);
    Candidate* from = table.entries.data();
    Candidate* to = scratch.data();
    for (std::ptrdiff_t width = 1; width < count; width *= 2) {
        for (std::ptrdiff_t left = 0; left < count; left += 2 * width) {
            const std::ptrdiff_t middle = std::min(left + width, count);
            const std::ptrdiff_t right = std::min(left + 2 * width, count);
            std::merge(from + left, from + middle, from + middle, from + right, to + left, has_smaller_n);
        }
        std::swap(from, to);
    }
    if (from != table.entries.data()) std::copy(from, from + count, table.entries.data());
}

Lines format_work_lines(const CandidateTable& table, const RunSettings& settings) {
    Lines lines = lines_in(batch);
    for (int32_t i = 0; i < table.count; ++i) {
        const Candidate& candidate = table.entries[static_cast<std::size_t>(i)];
        if (candidate.k > 0)
            add_line(lines, "Pminus1=%d,2,%d,1,%d,%d", candidate.k, candidate.n, settings.SieveDepth,
                     settings.WactorWorth);
    }
    return lines;
}

StageStatus write_work_file(const CandidateTable& table, const RunSettings& settings, int32_t& linesWritten) {
    const Lines lines = format_work_lines(table, settings);
    if (!append_lines(work_file_destination(settings), lines)) return StageStatus::kFailed;
    linesWritten = lines.count;
    say("Output %d candidates to %s\n", linesWritten, settings.outputPath.data());
    return StageStatus::kContinue;
}
