#include "sieve_file.h"

#include "decimal.h"
#include "host.h"

static_assert(kInputBlockSlack >= kScanSlack, "numbers are read from the input block");

namespace {

// Reader state carried from one read to the next.
struct SieveReader {
    int32_t currentK;
    int32_t currentN;
    bool kKnown;  // false before the first readable "k=" read and after an unreadable one
};

// Sections of these k values are sieved elsewhere and never handed out.
bool is_excluded_k(int32_t k) { return k == 5359 || k == 28433; }

bool is_storable(const SieveReader& reader) { return reader.kKnown && !is_excluded_k(reader.currentK); }

bool is_in_range(int32_t n, int32_t NMin, int32_t NMax) { return n >= NMin && n < NMax; }

// Stores the reader's current pair when it qualifies; false when the table
// is now full.
bool offer_candidate(const SieveReader& reader, int32_t NMin, int32_t NMax, CandidateTable& table) {
    if (!is_storable(reader) || !is_in_range(reader.currentN, NMin, NMax)) return true;
    table.entries[static_cast<std::size_t>(table.count)] = {reader.currentK, reader.currentN};
    ++table.count;
    return table.count < kTableSlots;
}

// Interprets the read [begin, end); false when the pair it stored filled the
// table.
bool take_sieve_read(const char* begin, const char* end, int32_t NMin, int32_t NMax, SieveReader& reader,
                     CandidateTable& table) {
    int32_t value = 0;
    switch (*begin) {
        case 'k':
            reader.kKnown = end - begin > 1 && begin[1] == '=' && read_int32_before_slack(begin + 2, end, value) != nullptr;
            if (reader.kKnown) reader.currentK = value;
            return true;
        case '+':
            if (read_int32_before_slack(begin + 1, end, value) == nullptr) return true;
            reader.currentN = saturating_add(reader.currentN, value);
            break;
        default:
            if (read_int32_before_slack(begin, end, value) == nullptr) return true;
            reader.currentN = value;
            break;
    }
    return offer_candidate(reader, NMin, NMax, table);
}

}  // namespace

SieveOutcome read_sieve_stream(std::FILE* in, InputMode mode, int32_t NMin, int32_t NMax, CandidateTable& table,
                               SieveBuffer& buffer) {
    InputReads reads = start_reads(in, buffer.block, mode);
    SieveReader reader{0, 0, false};
    int32_t headerReads = 0;
    for (;;) {
        fill_for_read(reads);
        if (reads.next == reads.end) return reads.failed ? SieveOutcome::kReadError : SieveOutcome::kEndOfFile;
        if (headerReads < kSieveHeaderReads) {
            reads.next = read_end(reads);
            ++headerReads;
            continue;
        }
        const PlusLineBounds bounds{NMin, NMax, is_storable(reader)};
        const char* next = skip_plus_lines(reads.next, reads.end, reader.currentN, bounds, buffer.kernel);
        if (next == reads.next) {
            next = read_end(reads);
            if (!take_sieve_read(reads.next, next, NMin, NMax, reader, table)) return SieveOutcome::kTableFull;
        }
        reads.next = next;
    }
}

StageStatus read_sieve_file(const RunSettings& settings, CandidateTable& table, SieveBuffer& buffer) {
    std::FILE* in = std::fopen(kSieveFileName, "rb");
    if (in == nullptr) {
        std::printf("Failed to open %s - exiting\n", kSieveFileName);
        return StageStatus::kFailed;
    }
    std::printf("Searching %s... ", kSieveFileName);
    const SieveOutcome outcome = read_sieve_stream(in, kHostInputMode, settings.NMin, settings.NMax, table, buffer);
    std::fclose(in);
    switch (outcome) {
        case SieveOutcome::kTableFull:
            std::printf("Too many n values.  Choose a smaller range. Exiting\n");
            return StageStatus::kFailed;
        case SieveOutcome::kReadError:
            std::printf("Failed to read %s - exiting\n", kSieveFileName);
            return StageStatus::kFailed;
        case SieveOutcome::kEndOfFile:
            break;
    }
    return StageStatus::kContinue;
}
