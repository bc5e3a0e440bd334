#include "work_file.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <utility>

#include "console.h"
#include "delivery.h"

// Every number fits the width that the longest line, and so the batch, is
// sized by: no line of a run can fail to fit.
static_assert(kInt32Width == std::string_view("-2147483648").size());

namespace {

// Room for every line of a run, written as one piece.
using WorkBatch = std::array<char, static_cast<std::size_t>(kTableSlots - 1) * kMaxWorkLineLength>;
WorkBatch batch;
CandidateArray scratch;  // the merge sort's other half

bool has_smaller_n(const Candidate& a, const Candidate& b) { return a.n < b.n; }

// Puts text into lines at end and moves end past it; false when it does
// not fit.
bool put_text(std::span<char> lines, std::size_t& end, std::string_view text) {
    if (text.size() > lines.size() - end) return false;
    std::memcpy(lines.data() + end, text.data(), text.size());
    end += text.size();
    return true;
}

// Formats the line of every entry with k > 0 into batch, counting them in
// lines; returns where the lines end. (The batch holds a full table's
// longest lines: every line fits, and the count is of the lines formatted.)
std::size_t format_work_lines(const CandidateTable& table, const RunSettings& settings, int32_t& lines) {
    std::size_t end = 0;
    for (int32_t i = 0; i < table.count; ++i) {
        const Candidate& candidate = table.entries[static_cast<std::size_t>(i)];
        if (candidate.k > 0 && put_work_line(candidate, settings.SieveDepth, settings.WactorWorth, batch, end))
            ++lines;
    }
    return end;
}

// Each line is printed without its line end: the console ends it as the
// host ends its lines.
StageStatus preview_work_file(std::string_view text, int32_t lines, const char* path) {
    say("Would output %d candidates to %s\n", lines, path);
    const std::string_view lineEnd(kLineEnd, kLineEndLength);
    for (std::size_t from = 0; from < text.size();) {
        const std::size_t to = text.find(lineEnd, from);
        say("%.*s\n", static_cast<int>(to - from), text.data() + from);
        from = to + lineEnd.size();
    }
    return preview_delivery(path, true, "exiting", true) ? StageStatus::kContinue : StageStatus::kFailed;
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

StageStatus write_work_file(const CandidateTable& table, const RunSettings& settings, int32_t& linesWritten) {
    const char* path = settings.outputPath.data();
    linesWritten = 0;
    const std::size_t end = format_work_lines(table, settings, linesWritten);
    if (settings.preview) return preview_work_file({batch.data(), end}, linesWritten, path);
    if (!deliver_lines(path, {batch.data(), end}, true, "exiting")) return StageStatus::kFailed;
    say("Output %d candidates to %s\n", linesWritten, path);
    return StageStatus::kContinue;
}
