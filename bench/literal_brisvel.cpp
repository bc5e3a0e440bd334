// The tool with a literal sieve reader, as the measure for the fast one:
// each read is an fgets into a 100-byte buffer parsed with sscanf. The other
// stages are the tool's own. Takes the tool's command line.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "candidate.h"
#include "removal_list.h"
#include "work_file.h"

namespace {

struct State {
    RunSettings settings;
    CandidateTable table;
    CandidateArray scratch;
    InputBlock block;
};

int32_t clamped(long value) { return static_cast<int32_t>(std::clamp<long>(value, INT32_MIN, INT32_MAX)); }

bool read_literally(const char* path, int32_t NMin, int32_t NMax, CandidateTable& table) {
    std::FILE* in = std::fopen(path, "r");
    if (in == nullptr) return false;
    char line[100];
    int reads = 0;
    int32_t k = 0;
    int32_t n = 0;
    bool kKnown = false;
    while (std::fgets(line, sizeof line, in) != nullptr) {
        if (++reads <= 3) continue;
        long value = 0;
        if (line[0] == 'k') {
            kKnown = std::sscanf(line, "k=%ld", &value) == 1;
            if (kKnown) k = clamped(value);
            continue;
        }
        if (line[0] == '+') {
            if (std::sscanf(line, "+%ld", &value) != 1) continue;
            n = clamped(static_cast<long>(n) + clamped(value));
        } else {
            if (std::sscanf(line, "%ld", &value) != 1) continue;
            n = clamped(value);
        }
        if (!kKnown || n < NMin || n >= NMax || k == 5359 || k == 28433) continue;
        table.entries[static_cast<std::size_t>(table.count++)] = {k, n};
        if (table.count >= kTableSlots) return false;
    }
    std::fclose(in);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    static State state{};
    if (argc < 5) return 1;
    RunSettings& s = state.settings;
    s.NMin = static_cast<int32_t>(std::atol(argv[1]));
    s.NMax = static_cast<int32_t>(std::atol(argv[2]));
    s.SieveDepth = static_cast<int32_t>(std::atol(argv[3]));
    s.WactorWorth = static_cast<int32_t>(std::atof(argv[4]));
    if (!build_output_path(argc > 5 ? argv[5] : nullptr, s.outputPath)) return 1;
    if (!read_literally("drask.dat", s.NMin, s.NMax, state.table)) return 1;
    apply_removal_list(s, state.table, state.block);
    order_by_n(state.table, state.scratch);
    int32_t written = 0;
    return write_work_file(state.table, s, written) == StageStatus::kContinue ? 0 : 1;
}
