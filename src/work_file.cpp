#include "work_file.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <utility>

#include "console.h"

// Every number fits the width that the longest line, and so the batch, is
// sized by: no line of a run can fail to fit.
static_assert(kInt32Width == std::string_view("-2147483648").size());

namespace {

// Room for every line of a run, written as one piece.
using WorkBatch = std::array<char, static_cast<std::size_t>(kTableSlots - 1) * kMaxWorkLineLength>;
WorkBatch batch;
CandidateArray scratch;  // the merge sort's other half

// Puts text into lines at end and moves end past it; false when it does
// not fit.
bool put_text(std::span<char> lines, std::size_t& end, std::string_view text) {
    if (text.size() > lines.size() - end) return false;
    std::memcpy(lines.data() + end, text.data(), text.size());
    end += text.size();
    return true;
}

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

bool put_work_line(const Candidate& candidate, int32_t SieveDepth, int32_t WactorWorth, std::span<char> lines,
                   std::size_t& end) {
    std::array<char, kMaxWorkLineLength + 1> line{};
    const int length = std::snprintf(line.data(), line.size(), kWorkLineFormat, candidate.k, candidate.n, SieveDepth,
                                     WactorWorth, kLineEnd);
    return length > 0 && put_text(lines, end, {line.data(), static_cast<std::size_t>(length)});
}

WorkLines format_work_lines(const CandidateTable& table, const RunSettings& settings) {
    // The batch holds a full table's longest lines: every line fits, and the
    // count is of the lines formatted.
    std::size_t end = 0;
    int32_t count = 0;
    for (int32_t i = 0; i < table.count; ++i) {
        const Candidate& candidate = table.entries[static_cast<std::size_t>(i)];
        if (candidate.k > 0 && put_work_line(candidate, settings.SieveDepth, settings.WactorWorth, batch, end))
            ++count;
    }
    return {{batch.data(), end}, count};
}

StageStatus write_work_file(const CandidateTable& table, const RunSettings& settings, int32_t& linesWritten) {
    const WorkLines lines = format_work_lines(table, settings);
    if (!append_lines(work_file_destination(settings), lines.text)) return StageStatus::kFailed;
    linesWritten = lines.count;
    say("Output %d candidates to %s\n", linesWritten, settings.outputPath.data());
    return StageStatus::kContinue;
}
