#include "sieve_file.h"

#include <algorithm>
#include <cstring>

#include "decimal.h"

namespace {

// One read takes at most this many characters.
constexpr std::ptrdiff_t kMaxRead = 99;

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
            reader.kKnown = end - begin > 1 && begin[1] == '=' && read_int32_in(begin + 2, end, value) != nullptr;
            if (reader.kKnown) reader.currentK = value;
            return true;
        case '+':
            if (read_int32_in(begin + 1, end, value) == nullptr) return true;
            reader.currentN = saturating_add(reader.currentN, value);
            break;
        default:
            if (read_int32_in(begin, end, value) == nullptr) return true;
            reader.currentN = value;
            break;
    }
    return offer_candidate(reader, NMin, NMax, table);
}

// The unread part of the block, [next, end).
struct BlockCursor {
    const char* next;
    const char* end;
    bool atEndOfFile;
};

// Makes sure a whole read lies in the block: keeps the unread bytes, moved
// to the front, and fills the rest. False on a read error.
bool ensure_whole_read(BlockCursor& cursor, std::FILE* in, SieveBuffer& buffer) {
    if (cursor.end - cursor.next >= kMaxRead || cursor.atEndOfFile) return true;
    const auto kept = static_cast<std::size_t>(cursor.end - cursor.next);
    char* front = buffer.bytes.data();
    std::memmove(front, cursor.next, kept);
    const std::size_t got = std::fread(front + kept, 1, buffer.bytes.size() - kept, in);
    cursor.next = front;
    cursor.end = front + kept + got;
    cursor.atEndOfFile = kept + got < buffer.bytes.size();
    return std::ferror(in) == 0;
}

// Where the read that starts at p ends: after its newline, or after
// kMaxRead characters, or at the end of the data.
const char* read_end(const char* p, const char* end) {
    const char* limit = p + std::min(kMaxRead, end - p);
    const auto* newline = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(limit - p)));
    return newline != nullptr ? newline + 1 : limit;
}

}  // namespace

SieveOutcome read_sieve_stream(std::FILE* in, int32_t NMin, int32_t NMax, CandidateTable& table,
                               SieveBuffer& buffer) {
    BlockCursor cursor{buffer.bytes.data(), buffer.bytes.data(), false};
    SieveReader reader{0, 0, false};
    int32_t headerReads = 0;
    for (;;) {
        if (!ensure_whole_read(cursor, in, buffer)) return SieveOutcome::kReadError;
        if (cursor.next == cursor.end) return SieveOutcome::kEndOfFile;
        if (headerReads < kSieveHeaderReads) {
            cursor.next = read_end(cursor.next, cursor.end);
            ++headerReads;
            continue;
        }
        const PlusLineBounds bounds{NMin, NMax, is_storable(reader)};
        const char* next = skip_plus_lines(cursor.next, cursor.end, reader.currentN, bounds, buffer.kernel);
        if (next == cursor.next) {
            next = read_end(next, cursor.end);
            if (!take_sieve_read(cursor.next, next, NMin, NMax, reader, table)) return SieveOutcome::kTableFull;
        }
        cursor.next = next;
    }
}

StageStatus read_sieve_file(const RunSettings& settings, CandidateTable& table, SieveBuffer& buffer) {
    std::FILE* in = std::fopen(kSieveFileName, "r");
    if (in == nullptr) {
        std::printf("Failed to open %s - exiting\n", kSieveFileName);
        return StageStatus::kFailed;
    }
    std::printf("Searching %s... ", kSieveFileName);
    const SieveOutcome outcome = read_sieve_stream(in, settings.NMin, settings.NMax, table, buffer);
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
