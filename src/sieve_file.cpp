#include "sieve_file.h"

#include "console.h"
#include "decimal.h"
#include "host.h"

namespace {

// Reader state carried from one read to the next.
struct SieveReader {
    int32_t currentK;
    int32_t currentN;
    PairFilter filter;  // k is kept only from a readable "k=" read on, until an unreadable one
};

// Stores the reader's current pair when it qualifies; false when the table
// is now full.
bool offer_candidate(const SieveReader& reader, CandidateTable& table) {
    if (!stores_n(reader.filter, reader.currentN)) return true;
    table.entries[static_cast<std::size_t>(table.count)] = {reader.currentK, reader.currentN};
    ++table.count;
    return table.count < kTableSlots;
}

// Interprets a read; false when the pair it stored filled the table.
bool take_sieve_read(InputSpan read, SieveReader& reader, CandidateTable& table) {
    const char* begin = read.begin;
    int32_t value = 0;
    switch (*begin) {
        case 'k': {
            const bool readable = read.end - begin > 1 && begin[1] == '=' &&
                                  read_int32_before_slack(begin + 2, read.end, value) != nullptr;
            if (readable) reader.currentK = value;
            reader.filter.kKept = readable && !is_excluded_k(value);
            return true;
        }
        case '+':
            if (read_int32_before_slack(begin + 1, read.end, value) == nullptr) return true;
            reader.currentN = saturating_add(reader.currentN, value);
            break;
        default:
            if (read_int32_before_slack(begin, read.end, value) == nullptr) return true;
            reader.currentN = value;
            break;
    }
    return offer_candidate(reader, table);
}

}  // namespace

SieveOutcome read_sieve_stream(std::FILE* in, InputMode mode, int32_t NMin, int32_t NMax, CandidateTable& table,
                               InputBlock& block, Kernel kernel) {
    InputReads reads(in, block, mode, kernel);
    reads.skip_reads(kSieveHeaderReads);
    SieveReader reader{0, 0, {NMin, NMax, false}};
    for (InputSpan unread = reads.unread(); unread.begin != unread.end; unread = reads.unread()) {
        const char* skipped =
            skip_unstored_plus_lines(unread.begin, unread.end, reader.currentN, reader.filter, kernel);
        if (skipped != unread.begin)
            reads.skip_to(skipped);
        else if (!take_sieve_read(reads.take_read(), reader, table))
            return SieveOutcome::kTableFull;
    }
    return reads.failed() ? SieveOutcome::kReadError : SieveOutcome::kEndOfFile;
}

StageStatus read_sieve_file(const RunSettings& settings, CandidateTable& table) {
    std::FILE* in = nullptr;
    const InputKind kind = open_input(kSieveFileName, true, in);
    if (kind == InputKind::kMissing || kind == InputKind::kNotOpened) {
        say("Failed to open %s - exiting\n", kSieveFileName);
        return StageStatus::kFailed;
    }
    say("Searching %s... ", kSieveFileName);
    const SieveOutcome outcome = read_sieve_stream(in, kHostInputMode, settings.NMin, settings.NMax, table,
                                                   shared_input_block(), chosen_kernel());
    std::fclose(in);
    if (outcome == SieveOutcome::kTableFull) say("Too many n values.  Choose a smaller range. Exiting\n");
    if (outcome == SieveOutcome::kReadError) say("Failed to read %s - exiting\n", kSieveFileName);
    if (outcome != SieveOutcome::kEndOfFile) return StageStatus::kFailed;
    say("%d numbers between %d =< n < %d\n", table.count, settings.NMin, settings.NMax);
    return table.count == 0 ? StageStatus::kFinished : StageStatus::kContinue;
}
