// The tool with the plain, literal sieve reader of the tests, as the measure
// for the fast one: each read is an fgets into a 100-byte buffer parsed with
// sscanf. The other stages are the tool's own. Takes the tool's command line.
#include <cstdio>
#include <cstdlib>

#include "candidate.h"
#include "reference_readers.h"
#include "removal_list.h"
#include "work_file.h"

namespace {

struct State {
    RunSettings settings;
    CandidateTable table;
    CandidateArray scratch;
    InputBlock block;
    WorkBatch batch;
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
    apply_removal_list(s, state.table, state.block);
    order_by_n(state.table, state.scratch);
    int32_t written = 0;
    return write_work_file(state.table, s, state.batch, written) == StageStatus::kContinue ? 0 : 1;
}
