#include "removal_list.h"

#include "decimal.h"
#include "host.h"

namespace {

// The pair a read names. The read's first number is an identifier of any
// size; it is read past and not used.
bool read_named_pair(const char* begin, const char* end, Candidate& pair) {
    int32_t identifier = 0;
    const char* p = read_int32_in(begin, end, identifier);
    if (p != nullptr) p = read_int32_in(p, end, pair.k);
    if (p != nullptr) p = read_int32_in(p, end, pair.n);
    return p != nullptr;
}

}  // namespace

int32_t take_removal_read(const char* begin, const char* end, int32_t NMin, int32_t NMax, CandidateTable& table) {
    Candidate named{};
    if (!read_named_pair(begin, end, named) || named.n < NMin || named.n >= NMax) return 0;
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

bool read_removal_stream(std::FILE* in, InputMode mode, int32_t NMin, int32_t NMax, CandidateTable& table,
                         InputBlock& block, int32_t& removed) {
    InputReads reads = start_reads(in, block, mode);
    int32_t headerReads = 0;
    for (;;) {
        fill_for_read(reads);
        if (reads.next == reads.end) return !reads.failed;
        const char* end = read_end(reads);
        if (headerReads < kRemovalHeaderReads)
            ++headerReads;
        else
            removed += take_removal_read(reads.next, end, NMin, NMax, table);
        reads.next = end;
    }
}

void apply_removal_list(const RunSettings& settings, CandidateTable& table, InputBlock& block) {
    std::FILE* in = std::fopen(kRemovalListName, "rb");
    if (in == nullptr) {
        std::printf("Can't find %s - continuing\n", kRemovalListName);
        return;
    }
    std::printf("Searching %s... ", kRemovalListName);
    int32_t removed = 0;
    const bool readToEnd = read_removal_stream(in, kHostInputMode, settings.NMin, settings.NMax, table, block, removed);
    std::fclose(in);
    if (!readToEnd)
        std::printf("Failed to read %s - continuing\n", kRemovalListName);
    else
        std::printf("Removed %d candidates.\n", removed);
}
