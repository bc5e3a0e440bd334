// The tool with the plain, literal readers of the tests, as the measure for
// the fast ones: each read is an fgets into a 100-byte buffer parsed with
// sscanf, and each pair of the removal list is looked for by a scan of the
// whole table. Ordering and writing are the tool's own. Takes the tool's
// command line.
#include <cstdio>
#include <cstdlib>

#include "candidate.h"
#include "command_line.h"
#include "host.h"
#include "reference_readers.h"
#include "work_file.h"

namespace {

struct State {
    RunSettings settings;
    CandidateTable table;
};

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
    std::FILE* sieve = std::fopen("drask.dat", "r");
    if (sieve == nullptr || reference_read_sieve(sieve, s.NMin, s.NMax, state.table) != SieveOutcome::kEndOfFile)
        return 1;
    std::fclose(sieve);
    if (std::FILE* list = std::fopen("recent.txt", "r")) {
        bool readToEnd = false;
        reference_apply_removal(list, s.NMin, s.NMax, state.table, readToEnd);
        std::fclose(list);
        if (!readToEnd) return 1;
    }
    order_by_n(state.table);
    int32_t written = 0;
    const StageStatus status = write_work_file(state.table, s, written);
    release_signals();
    return status == StageStatus::kContinue ? 0 : 1;
}
