// Feeds the same bytes to the tool's sieve reader, with each way of skipping
// "+" lines, and to the plain reference reader: every table must match.
#include <algorithm>
#include <string>

#include "fuzz_input.h"
#include "reference_readers.h"
#include "sieve_file.h"

namespace {

struct Tables {
    CandidateTable expected;
    CandidateTable actual;
};

// A table that filled up holds the pairs of the smallest n, the tool's as a
// heap: their n are compared in order.
bool same_table(const CandidateTable& a, CandidateTable& b) {
    if (a.count != b.count) return false;
    if (b.count == kTableSlots) {
        std::sort(b.entries.begin(), b.entries.end(), [](const Candidate& x, const Candidate& y) { return x.n < y.n; });
        return std::equal(a.entries.begin(), a.entries.end(), b.entries.begin(),
                          [](const Candidate& x, const Candidate& y) { return x.n == y.n; });
    }
    for (int32_t i = 0; i < a.count; ++i) {
        const Candidate& x = a.entries[static_cast<std::size_t>(i)];
        const Candidate& y = b.entries[static_cast<std::size_t>(i)];
        if (x.k != y.k || x.n != y.n) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static Tables tables;
    const FuzzInput input = split_fuzz_input(data, size);
    const std::string raw(reinterpret_cast<const char*>(input.file), input.fileSize);

    for (const InputMode mode : {InputMode::kBinary, InputMode::kText}) {
        tables.expected.count = 0;
        const std::string readable = readable_bytes(raw, mode);
        std::FILE* in = open_fuzz_file(readable);
        const SieveOutcome expected = reference_read_sieve(in, input.NMin, input.NMax, tables.expected);
        std::fclose(in);

        for (int32_t each = 0; each <= static_cast<int32_t>(fastest_kernel()); ++each) {
            const auto kernel = static_cast<Kernel>(each);
            tables.actual.count = 0;
            in = open_fuzz_file(raw);
            choose_kernel(kernel);
            const SieveOutcome actual = read_sieve_stream(in, mode, {input.NMin, input.NMax}, tables.actual).outcome;
            std::fclose(in);
            FUZZ_CHECK(actual == expected);
            FUZZ_CHECK(same_table(tables.expected, tables.actual));
        }
    }
    return 0;
}
