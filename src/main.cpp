// brisvel: turns the candidates of a sieve file into P-1 assignments for the
// factoring client's work file, or shows what a run would do.
#include "candidate.h"
#include "command_line.h"
#include "console.h"
#include "host.h"
#include "preview.h"
#include "removal_list.h"
#include "run_log.h"
#include "run_settings.h"
#include "run_status.h"
#include "sieve_file.h"
#include "work_file.h"

namespace {

// What the stages of a run share, in fixed storage for the whole run; each
// stage keeps its own working storage.
struct RunState {
    RunSettings settings;
    CandidateTable table;
};

// The reading that the run and the preview share: the sieve file's pairs,
// less the removal list's, by n.
StageStatus read_candidates(RunState& state) {
    const StageStatus status = read_sieve_file(state.settings, state.table);
    if (status != StageStatus::kContinue) return status;
    apply_removal_list(state.settings, state.table);
    order_by_n(state.table);
    return StageStatus::kContinue;
}

// Signals are held from the first line that goes into the work file until
// the run log's line and the console's are out, so that the three agree.
StageStatus run(StageStatus status, RunState& state) {
    int32_t linesWritten = 0;
    if (status == StageStatus::kContinue) status = read_candidates(state);
    if (status == StageStatus::kContinue) status = write_work_file(state.table, state.settings, linesWritten);
    if (status == StageStatus::kContinue) append_run_log(state.settings, linesWritten);
    release_signals();
    return status;
}

StageStatus preview(StageStatus status, RunState& state) {
    if (status == StageStatus::kContinue) status = read_candidates(state);
    if (status == StageStatus::kContinue) status = look_at_writes(state.table, state.settings);
    say("Dry run: nothing was written\n");
    return status;
}

// A preview that completed asks for a second look where it said a line
// that asks for one.
int exit_status(StageStatus status, bool previewed) {
    if (status == StageStatus::kFailed) return kExitFailure;
    return previewed && second_looks() > 0 ? kExitSecondLook : kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) {
    static RunState state{};
    if (!prepare_process()) return exit_status(StageStatus::kFailed, false);
    begin_console();
    bool previewed = false;
    StageStatus status = read_command_line(argc, argv, state.settings, previewed);
    status = previewed ? preview(status, state) : run(status, state);
    end_console();
    return exit_status(status, previewed);
}
