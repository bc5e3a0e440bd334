// Feeds the same removal list and table to the tool's removal filter, which
// looks pairs up in an index, with each kernel, and to the plain reference, which scans the
// whole table for each: both must mark the same entries and count the same
// removals.
#include <algorithm>
#include <iterator>
#include <string>

#include "fuzz_input.h"
#include "reference_readers.h"
#include "removal_list.h"

namespace {

constexpr std::size_t kDerivedEntries = 200;

// A table with duplicates, marked entries and extreme values, in range and
// out of it, and then entries made from the input's bytes: small k (some 0
// or negative) and n near NMin, so that tables differ from input to input
// and often hold what the list names.
void fill_from_bytes(CandidateTable& table, const FuzzInput& input) {
    constexpr Candidate kEntries[] = {{3, 150}, {3, 150},      {0, 150},       {7, 0},         {7, -5},
                                      {1, 1},   {-1, 1},       {INT32_MAX, 9}, {INT32_MIN, 9}, {3, INT32_MAX},
                                      {5, 100}, {5, 101},      {5, 999},       {12, 345},      {3, 150}};
    for (const Candidate& entry : kEntries) table.entries[static_cast<std::size_t>(table.count++)] = entry;
    for (std::size_t i = 0; i < input.fileSize && i < kDerivedEntries; ++i) {
        const int32_t byte = input.file[i];
        const int32_t n = static_cast<int32_t>(std::min<int64_t>(int64_t{input.NMin} + byte / 7, INT32_MAX));
        table.entries[static_cast<std::size_t>(table.count++)] = {byte % 7 - 1, n};
    }
}

// A table shaped to crowd a hash: one pair stored 4,000 times, or k 3 with
// n in arithmetic progression from 1 (steps a multiplicative hash clusters
// on, and a power of two), or a family of k with one n, each pair stored
// twice. (Larger tables make each input slow to check against the plain
// scan.)
constexpr int32_t kCollidingEntries = 4000;

void fill_to_collide(CandidateTable& table, int32_t choice) {
    constexpr int32_t kSteps[] = {1, 144, 1104, 46368, 65536, 10946};
    const int32_t step = kSteps[static_cast<std::size_t>(choice / 3) % std::size(kSteps)];
    for (int32_t i = 0; i < kCollidingEntries; ++i) {
        Candidate& entry = table.entries[static_cast<std::size_t>(i)];
        if (choice % 3 == 0)
            entry = {3, 1000};
        else if (choice % 3 == 1)
            entry = {3, 1 + step * i};
        else
            entry = {1 + step * (i / 2), 1000};
    }
    table.count = kCollidingEntries;
}

// The first byte of the file chooses the table: most inputs get one made
// from their bytes, an eighth one built to collide (slow to check against
// the plain scan).
void fill_table(CandidateTable& table, const FuzzInput& input) {
    table.count = 0;
    const int32_t shape = input.fileSize > 0 ? input.file[0] : 0;
    if (shape % 8 != 7)
        fill_from_bytes(table, input);
    else
        fill_to_collide(table, shape / 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static CandidateTable expected;
    static CandidateTable actual;
    const FuzzInput input = split_fuzz_input(data, size);
    const std::string raw(reinterpret_cast<const char*>(input.file), input.fileSize);

    for (const InputMode mode : {InputMode::kBinary, InputMode::kText}) {
        fill_table(expected, input);
        bool expectedRead = false;
        const std::string readable = readable_bytes(raw, mode);
        std::FILE* in = open_fuzz_file(readable);
        const int32_t expectedRemoved = reference_apply_removal(in, input.NMin, input.NMax, expected, expectedRead);
        std::fclose(in);

        for (int32_t each = 0; each <= static_cast<int32_t>(fastest_kernel()); ++each) {
            const auto kernel = static_cast<Kernel>(each);
            fill_table(actual, input);
            int32_t removed = 0;
            in = open_fuzz_file(raw);
            choose_kernel(kernel);
            const bool read = read_removal_stream(in, mode, {input.NMin, input.NMax}, actual, removed);
            std::fclose(in);

            FUZZ_CHECK(read == expectedRead);
            FUZZ_CHECK(removed == expectedRemoved);
            for (int32_t i = 0; i < actual.count; ++i) {
                const Candidate& x = actual.entries[static_cast<std::size_t>(i)];
                const Candidate& y = expected.entries[static_cast<std::size_t>(i)];
                FUZZ_CHECK(x.k == y.k && x.n == y.n);
            }
        }
    }
    return 0;
}
