#include "removal_list.h"

#include <array>
#include <bit>
#include <bitset>

#include "console.h"
#include "decimal.h"
#include "host.h"

namespace {

// The pair a read names. The read's first number is an identifier of any
// size, read and not used.
bool read_named_pair(const char* begin, const char* end, Candidate& pair) {
    int32_t identifier = 0;
    const char* p = read_int32(begin, end, identifier);
    if (p != nullptr) p = read_int32(p, end, pair.k);
    if (p != nullptr) p = read_int32(p, end, pair.n);
    return p != nullptr;
}

// The pair (k, n) as one number.
uint64_t pair_key(const Candidate& pair) {
    return uint64_t{static_cast<uint32_t>(pair.k)} << 32 | static_cast<uint32_t>(pair.n);
}

// Hash slots of the index: a power of two, over three times the table, so
// that most lookups of a pair the table does not hold end at the first slot.
constexpr std::size_t kIndexSlots = 32768;
// Bits of the index's filter, small enough to stay in the processor's
// fastest cache: most pairs the table does not hold find their bit clear.
constexpr std::size_t kFilterBits = 131072;

// The table's entries by their pair (k, n), so that the entries a line names
// are found without a scan: the slots lead to the first place of each pair,
// and each place to the next place of the same pair. The pairs are copied
// when the index is built. Once a line has marked a pair's entries, its slot
// says so, and a line that names the pair again costs no walk.
struct RemovalIndex {
    std::bitset<kFilterBits> filter;  // a bit set for the hash of every pair held
    std::array<int32_t, kIndexSlots> firstPlace;  // -1: an empty slot
    std::bitset<kIndexSlots> allMarked;            // a line named the slot's pair: nothing is left to mark
    std::array<uint64_t, kTableSlots> pairs;      // the pair at each place, as one number
    std::array<int32_t, kTableSlots> nextPlace;   // -1: no further place
};

// The stage's own index, made anew for each list.
RemovalIndex pairIndex;

constexpr std::size_t kSlotMask = kIndexSlots - 1;
// Common lines are read this many at a time, then marked.
constexpr int32_t kCommonLinesAtOnce = 256;
constexpr int32_t kEmptySlot = -1;

// Every bit of the pair reaches every bit of the hash (a 64-bit finalizer),
// so that no family of pairs, n in arithmetic progression among them,
// crowds a few slots: the top bits choose the slot, the low bits the
// filter's bit.
uint64_t mixed(uint64_t key) {
    key = (key ^ key >> 33) * 0xff51afd7ed558ccdu;
    key = (key ^ key >> 33) * 0xc4ceb9fe1a85ec53u;
    return key ^ key >> 33;
}

std::size_t home_slot(uint64_t hash) { return static_cast<std::size_t>(hash >> (64 - std::countr_zero(kIndexSlots))); }

// Where a hash's bit lies in the filter.
std::size_t filter_bit(uint64_t hash) { return static_cast<std::size_t>(hash & (kFilterBits - 1)); }

// The slot that holds key, or the empty slot where it would go.
std::size_t slot_of(uint64_t key, uint64_t hash) {
    std::size_t slot = home_slot(hash);
    while (pairIndex.firstPlace[slot] != kEmptySlot &&
           pairIndex.pairs[static_cast<std::size_t>(pairIndex.firstPlace[slot])] != key)
        slot = (slot + 1) & kSlotMask;
    return slot;
}

// Places are added from the last to the first, so that each pair's places
// are linked in table order.
void build_removal_index(const CandidateTable& table) {
    pairIndex.filter.reset();
    pairIndex.allMarked.reset();
    pairIndex.firstPlace.fill(kEmptySlot);
    for (int32_t place = table.count - 1; place >= 0; --place) {
        const auto at = static_cast<std::size_t>(place);
        pairIndex.pairs[at] = pair_key(table.entries[at]);
        const uint64_t hash = mixed(pairIndex.pairs[at]);
        pairIndex.filter[filter_bit(hash)] = true;
        const std::size_t slot = slot_of(pairIndex.pairs[at], hash);
        pairIndex.nextPlace[at] = pairIndex.firstPlace[slot];
        pairIndex.firstPlace[slot] = place;
    }
}

// Marks every entry (k, n) of the pair named, when its n lies in the range,
// that is not marked yet; returns how many.
int32_t mark_named(const Candidate& named, NRange range, CandidateTable& table) {
    if (!meets(range, named.n, named.n)) return 0;
    const uint64_t key = pair_key(named);
    const uint64_t hash = mixed(key);
    if (!pairIndex.filter[filter_bit(hash)]) return 0;
    const std::size_t slot = slot_of(key, hash);
    if (pairIndex.allMarked[slot]) return 0;
    int32_t marked = 0;
    for (int32_t place = pairIndex.firstPlace[slot]; place >= 0;
         place = pairIndex.nextPlace[static_cast<std::size_t>(place)]) {
        Candidate& entry = table.entries[static_cast<std::size_t>(place)];
        if (entry.k != 0) {
            entry.k = 0;
            ++marked;
        }
    }
    pairIndex.allMarked[slot] = true;
    return marked;
}

// Marks the entries that the read [begin, end) names; returns how many.
int32_t take_removal_read(InputSpan read, NRange range, CandidateTable& table) {
    Candidate named{};
    return read_named_pair(read.begin, read.end, named) ? mark_named(named, range, table) : 0;
}

// Takes the lines of the common shape from p on (kernels.h), marking what
// they name; returns where the first line it did not take starts.
const char* take_common_lines(InputSpan unread, NRange range, CandidateTable& table,
                              int32_t& removed) {
    static std::array<Candidate, kCommonLinesAtOnce> named;
    const char* p = unread.begin;
    int32_t count = 0;
    do {
        p = kernels().read_common_removal_lines(p, unread.end, named.data(), kCommonLinesAtOnce, count);
        for (int32_t i = 0; i < count; ++i) removed += mark_named(named[static_cast<std::size_t>(i)], range, table);
    } while (count == kCommonLinesAtOnce);
    return p;
}

}  // namespace

bool read_removal_stream(std::FILE* in, InputMode mode, NRange range, CandidateTable& table, int32_t& removed) {
    build_removal_index(table);
    InputReads reads(in, mode);
    InputSpan header{};
    reads.next_read(header);
    for (InputSpan unread = reads.unread(); unread.begin != unread.end; unread = reads.unread()) {
        const char* taken = take_common_lines(unread, range, table, removed);
        if (taken != unread.begin)
            reads.skip_to(taken);
        else
            removed += take_removal_read(reads.take_read(), range, table);
    }
    return !reads.failed();
}

void apply_removal_list(const RunSettings& settings, CandidateTable& table) {
    std::FILE* in = open_input(kRemovalListName);
    if (in == nullptr) {
        say("Can't find %s - continuing\n", kRemovalListName);
        say_why(kRemovalListName, true);
        return;
    }
    say("Searching %s... ", kRemovalListName);
    int32_t removed = 0;
    const bool readToEnd = read_removal_stream(in, kHostInputMode, range_of(settings), table, removed);
    std::fclose(in);
    if (readToEnd) {
        say("Removed %d candidates.\n", removed);
        return;
    }
    say("Failed to read %s - continuing\n", kRemovalListName);
    say_why(kRemovalListName, true);
}
