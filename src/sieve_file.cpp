#include "sieve_file.h"

#include <algorithm>

#include "command_line.h"
#include "console.h"
#include "decimal.h"
#include "host.h"

namespace {

int32_t advanced(int32_t n, int64_t sum) { return clamp_to_int32(n + sum); }

constexpr int64_t power_of_ten(int32_t exponent) { return exponent == 0 ? 1 : 10 * power_of_ten(exponent - 1); }

// Runs of "+" lines are checked and summed a block of bytes at a time, a
// batch of blocks in one go while even the largest possible sum could not
// carry n into the range. The largest difference per byte is that of the
// longest line, "+999\n", rounded up: (10^d - 1) / (d + 2) grows with d.
constexpr int64_t kMaxSumPerByte = (power_of_ten(kMaxPlusDigits) - 1 + kMaxPlusDigits + 1) / (kMaxPlusDigits + 2);
constexpr int32_t kBatchBytes = 4096;

// Reader state carried from one read to the next.
struct SieveReader {
    int32_t currentK;
    int32_t currentN;
    PairFilter filter;  // k is kept only from a readable "k=" read on, until an unreadable one
};

// Stores the reader's current pair when it qualifies.
void offer_candidate(SieveReader& reader, CandidateTable& table) {
    if (!stores_n(reader.filter, reader.currentN)) return;
    const Candidate pair{reader.currentK, reader.currentN};
    Candidate* const entries = table.entries.data();
    if (table.count < kTableSlots) {
        entries[table.count++] = pair;
        if (table.count == kTableSlots) std::make_heap(entries, entries + kTableSlots, has_smaller_n);
    } else {
        std::pop_heap(entries, entries + kTableSlots, has_smaller_n);
        entries[kTableSlots - 1] = pair;
        std::push_heap(entries, entries + kTableSlots, has_smaller_n);
    }
    // Once the table is full it is a heap of the smallest n read so far, the
    // largest of them on top: only a smaller n can change it, so NMax comes
    // down to the top's n, and the "+" lines of larger n are skipped as any
    // others that store nothing.
    if (table.count == kTableSlots) reader.filter.range.NMax = table.entries.front().n;
}

// Interprets a read.
void take_sieve_read(InputSpan read, SieveReader& reader, CandidateTable& table) {
    const char* begin = read.begin;
    int32_t value = 0;
    switch (*begin) {
        case 'k': {
            const bool readable = read.end - begin > 1 && begin[1] == '=' &&
                                  read_int32(begin + 2, read.end, value) != nullptr;
            if (readable) reader.currentK = value;
            reader.filter.keepsK = readable && !is_excluded_k(value);
            return;
        }
        case '+':
            if (read_int32(begin + 1, read.end, value) == nullptr) return;
            reader.currentN = saturating_add(reader.currentN, value);
            break;
        default:
            if (read_int32(begin, read.end, value) == nullptr) return;
            reader.currentN = value;
            break;
    }
    offer_candidate(reader, table);
}

// The line that follows "Too many n values": the largest NMax that the
// same NMin can take, and the command with it.
void say_range_that_fits(const RunSettings& settings, const CandidateTable& full) {
    const FittingRange fits = range_that_fits(full);
    if (fits.pairs == 0) {
        say_note("no NMax fits: more than %d pairs have n %d", kTableSlots - 1, fits.NMax);
        return;
    }
    static CommandText command;
    if (format_command(settings, fits.NMax, command))
        say_note("NMax %d keeps %d pairs: %s", fits.NMax, fits.pairs, command.data());
    else
        say_note("NMax %d keeps %d pairs", fits.NMax, fits.pairs);
}

// Takes the header's reads; returns the first of its lines that starts a
// k section, numbered from 1, or 0.
int32_t skip_header(InputReads& reads) {
    int32_t line = 0;
    int32_t keyed = 0;
    bool startsLine = true;
    InputSpan read{};
    for (int32_t taken = 0; taken < kSieveHeaderReads && reads.next_read(read); ++taken) {
        line += startsLine ? 1 : 0;
        if (startsLine && keyed == 0 && read.end - read.begin >= 2 && read.begin[0] == 'k' && read.begin[1] == '=')
            keyed = line;
        startsLine = read.end[-1] == '\n';
    }
    return keyed;
}

}  // namespace

SieveResult read_sieve_stream(std::FILE* in, InputMode mode, NRange range, CandidateTable& table) {
    InputReads reads(in, mode);
    const int32_t keyedHeaderLine = skip_header(reads);
    SieveReader reader{0, 0, {range, false}};
    for (InputSpan unread = reads.unread(); unread.begin != unread.end; unread = reads.unread()) {
        const char* skipped =
            skip_unstored_plus_lines(unread.begin, unread.end, reader.currentN, reader.filter);
        if (skipped != unread.begin)
            reads.skip_to(skipped);
        else
            take_sieve_read(reads.take_read(), reader, table);
    }
    if (reads.failed()) return {SieveOutcome::kReadError, keyedHeaderLine};
    return {table.count == kTableSlots ? SieveOutcome::kTableFull : SieveOutcome::kEndOfFile, keyedHeaderLine};
}

FittingRange range_that_fits(const CandidateTable& full) {
    const int32_t NMax = full.entries.front().n;
    const auto below = std::count_if(full.entries.begin(), full.entries.end(),
                                     [NMax](const Candidate& entry) { return entry.n < NMax; });
    return {NMax, static_cast<int32_t>(below)};
}

StageStatus read_sieve_file(const RunSettings& settings, CandidateTable& table) {
    std::FILE* in = open_input(kSieveFileName);
    if (in == nullptr) {
        say("Failed to open %s - exiting\n", kSieveFileName);
        say_why(kSieveFileName, true);
        return StageStatus::kFailed;
    }
    say("Searching %s... ", kSieveFileName);
    const SieveResult result = read_sieve_stream(in, kHostInputMode, range_of(settings), table);
    std::fclose(in);
    if (table.count == kTableSlots) {
        say("Too many n values.  Choose a smaller range. Exiting\n");
        if (result.outcome == SieveOutcome::kTableFull) say_range_that_fits(settings, table);
    } else if (result.outcome == SieveOutcome::kReadError) {
        say("Failed to read %s - exiting\n", kSieveFileName);
        say_why(kSieveFileName, true);
    }
    if (result.outcome != SieveOutcome::kEndOfFile) return StageStatus::kFailed;
    say("%d numbers between %d =< n < %d\n", table.count, settings.NMin, settings.NMax);
    if (result.keyedHeaderLine > 0)
        say_note("line %d of %s starts with k= but is skipped as one of its three header lines: is the header "
                 "missing?", result.keyedHeaderLine, kSieveFileName);
    return table.count == 0 ? StageStatus::kFinished : StageStatus::kContinue;
}

const char* skip_plus_blocks(const char* p, const char* end, int32_t& n, const PairFilter& filter) {
    while (end - p >= kPlusBlockBytes + kPlusLookahead) {
        const auto room = static_cast<int32_t>((end - p - kPlusLookahead) / kPlusBlockBytes);
        const bool batchStoresNone = stores_none_between(filter, n, n + kMaxSumPerByte * kBatchBytes);
        const int32_t blocks = batchStoresNone ? std::min(room, kBatchBytes / kPlusBlockBytes) : 1;
        int64_t sum = 0;
        const int32_t length = kernels().scan_plus_blocks(p, blocks, sum);
        if (length == 0 || !stores_none_between(filter, n, n + sum)) break;
        n = advanced(n, sum);
        p += length;
    }
    return p;
}

const char* skip_unstored_plus_lines(const char* p, const char* end, int32_t& n, const PairFilter& filter) {
    int32_t current = n;  // kept in a register through the loop
    const bool inBlocks = chosen_kernel() != Kernel::kPlain;
    for (;;) {
        if (inBlocks) p = skip_plus_blocks(p, end, current, filter);
        const PlusLine line = plus_line_at(p, end);
        if (line.length == 0 || stores_n(filter, advanced(current, line.difference))) break;
        current = advanced(current, line.difference);
        p += line.length;
    }
    n = current;
    return p;
}
