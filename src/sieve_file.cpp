#include "sieve_file.h"

#include "decimal.h"
#include "line_reader.h"

namespace {

// Sections of these k values are sieved elsewhere and never handed out.
bool is_excluded_k(int32_t k) { return k == 5359 || k == 28433; }

bool is_in_range(int32_t n, int32_t NMin, int32_t NMax) { return n >= NMin && n < NMax; }

// Stores the reader's current pair when it qualifies; false when the table
// is now full.
bool offer_candidate(const SieveReader& reader, int32_t NMin, int32_t NMax, CandidateTable& table) {
    if (!reader.kKnown || !is_in_range(reader.currentN, NMin, NMax) || is_excluded_k(reader.currentK))
        return true;
    table.entries[static_cast<std::size_t>(table.count)] = {reader.currentK, reader.currentN};
    ++table.count;
    return table.count < kTableSlots;
}

}  // namespace

bool take_sieve_line(const char* line, int32_t NMin, int32_t NMax, SieveReader& reader,
                     CandidateTable& table) {
    int32_t value = 0;
    switch (line[0]) {
        case 'k':
            reader.kKnown = line[1] == '=' && read_int32(line + 2, value);
            if (reader.kKnown) reader.currentK = value;
            return true;
        case '+':
            if (!read_int32(line + 1, value)) return true;
            reader.currentN = saturating_add(reader.currentN, value);
            break;
        default:
            if (!read_int32(line, value)) return true;
            reader.currentN = value;
            break;
    }
    return offer_candidate(reader, NMin, NMax, table);
}

SieveOutcome read_sieve_stream(std::FILE* in, int32_t NMin, int32_t NMax, CandidateTable& table) {
    SieveReader reader = kFreshSieveReader;
    const ReadOutcome outcome = for_each_read(in, kSieveHeaderReads, [&](const char* line) {
        return take_sieve_line(line, NMin, NMax, reader, table);
    });
    switch (outcome) {
        case ReadOutcome::kStopped:
            return SieveOutcome::kTableFull;
        case ReadOutcome::kReadError:
            return SieveOutcome::kReadError;
        case ReadOutcome::kEndOfFile:
            break;
    }
    return SieveOutcome::kEndOfFile;
}

StageStatus read_sieve_file(const RunSettings& settings, CandidateTable& table) {
    std::FILE* in = std::fopen(kSieveFileName, "r");
    if (in == nullptr) {
        std::printf("Failed to open %s - exiting\n", kSieveFileName);
        return StageStatus::kFailed;
    }
    std::printf("Searching %s... ", kSieveFileName);
    const SieveOutcome outcome = read_sieve_stream(in, settings.NMin, settings.NMax, table);
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
