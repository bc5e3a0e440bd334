#include "removal_list.h"

#include "decimal.h"
#include "line_reader.h"

namespace {

// The pair a line names. The line's first number is an identifier of any
// size; it is read past and not used.
bool read_named_pair(const char* line, Candidate& pair) {
    int32_t identifier = 0;
    const char* p = read_int32_at(line, identifier);
    if (p != nullptr) p = read_int32_at(p, pair.k);
    if (p != nullptr) p = read_int32_at(p, pair.n);
    return p != nullptr;
}

}  // namespace

int32_t take_removal_line(const char* line, int32_t NMin, int32_t NMax, CandidateTable& table) {
    Candidate named{};
    if (!read_named_pair(line, named) || named.n < NMin || named.n >= NMax) return 0;
    int32_t marked = 0;
    for (int32_t i = 0; i < table.count; ++i) {
        Candidate& entry = table.entries[static_cast<std::size_t>(i)];
        if (entry.k != 0 && entry.k == named.k && entry.n == named.n) {
            entry.k = 0;
            ++marked;
        }
    }
    return marked;
}

bool read_removal_stream(std::FILE* in, int32_t NMin, int32_t NMax, CandidateTable& table,
                         int32_t& removed) {
    const ReadOutcome outcome = for_each_read(in, kRemovalHeaderReads, [&](const char* line) {
        removed += take_removal_line(line, NMin, NMax, table);
        return true;
    });
    return outcome != ReadOutcome::kReadError;
}

void apply_removal_list(const RunSettings& settings, CandidateTable& table) {
    std::FILE* in = std::fopen(kRemovalListName, "r");
    if (in == nullptr) {
        std::printf("Can't find %s - continuing\n", kRemovalListName);
        return;
    }
    std::printf("Searching %s... ", kRemovalListName);
    int32_t removed = 0;
    const bool readToEnd = read_removal_stream(in, settings.NMin, settings.NMax, table, removed);
    std::fclose(in);
    if (!readToEnd)
        std::printf("Failed to read %s - continuing\n", kRemovalListName);
    else
        std::printf("Removed %d candidates.\n", removed);
}
