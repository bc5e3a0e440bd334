#include "work_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "host.h"

namespace {

// Appends length bytes of text to path at used; false when the result
// would not leave room for the terminating zero.
bool append_to_path(OutputPath& path, std::size_t& used, const char* text, std::size_t length) {
    if (length >= path.size() - used) return false;
    std::memcpy(path.data() + used, text, length);
    used += length;
    return true;
}

bool has_smaller_n(const Candidate& a, const Candidate& b) { return a.n < b.n; }

// Formats the line of every entry with k > 0 into batch after its
// kLineEndRoom free bytes; returns where the text ends.
std::size_t format_work_lines(const CandidateTable& table, const RunSettings& settings, WorkBatch& batch,
                              int32_t& linesWritten) {
    WorkLine line{};
    std::size_t end = kLineEndRoom;
    for (int32_t i = 0; i < table.count; ++i) {
        const Candidate& candidate = table.entries[static_cast<std::size_t>(i)];
        if (candidate.k <= 0) continue;
        const std::size_t length = format_work_line(candidate, settings.SieveDepth, settings.WactorWorth, line);
        std::memcpy(batch.data() + end, line.data(), length);
        end += length;
        ++linesWritten;
    }
    return end;
}

}  // namespace

bool build_output_path(const char* directory, OutputPath& path) {
    path.fill('\0');
    std::size_t used = 0;
    std::size_t length = directory == nullptr ? 0 : std::strlen(directory);
    if (kDropsTrailingQuote && length > 0 && directory[length - 1] == '"') --length;
    if (length > 0) {
        if (!append_to_path(path, used, directory, length)) return false;
        if (directory[length - 1] != kDirectorySeparator &&
            !append_to_path(path, used, &kDirectorySeparator, 1))
            return false;
    }
    return append_to_path(path, used, kWorkFileName, std::strlen(kWorkFileName));
}

// A bottom-up merge sort: runs of width entries are merged pairwise into the
// other array, doubling width each pass. std::merge takes the left run's
// entry first on equal n, which keeps the order stable.
void order_by_n(CandidateTable& table, CandidateArray& scratch) {
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

std::size_t format_work_line(const Candidate& candidate, int32_t SieveDepth, int32_t WactorWorth,
                             WorkLine& line) {
    const int length = std::snprintf(line.data(), line.size(), "Pminus1=%d,2,%d,1,%d,%1d%s", candidate.k,
                                     candidate.n, SieveDepth, WactorWorth, kLineEnd);
    return length > 0 ? std::min(static_cast<std::size_t>(length), kMaxWorkLineLength) : 0;
}

StageStatus write_work_file(const CandidateTable& table, const RunSettings& settings, WorkBatch& batch,
                            ReportWindow& window, int32_t& linesWritten) {
    const char* path = settings.outputPath.data();
    linesWritten = 0;
    const std::size_t end = format_work_lines(table, settings, batch, linesWritten);
    AppendHandle handle{};
    LockOutcome lock = open_locked(path, handle);
    if (lock == LockOutcome::kBusy) {
        std::printf("Waiting for another program to finish with %s\n", path);
        std::fflush(stdout);
        lock = wait_for_append_lock(path, handle);
    }
    if (lock == LockOutcome::kNotOpened) {
        std::printf("Failed to open %s for output - exiting\n", path);
        return StageStatus::kFailed;
    }
    open_report_window(window);
    const AppendResult result = append_locked(path, handle, batch.data(), end);
    if (result.remaining > 0)
        std::printf("Could not put %s back as it was: %lld bytes of this run remain in it\n", path,
                    static_cast<long long>(result.remaining));
    if (!result.written) {
        std::printf("Failed to write %s - exiting\n", path);
        return StageStatus::kFailed;
    }
    std::printf("Output %d candidates to %s\n", linesWritten, path);
    return StageStatus::kContinue;
}
