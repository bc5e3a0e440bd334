// brisvel: turns the candidates of a sieve file into P-1 assignments for the
// factoring client's work file, or shows what a run would do.
#include "candidate.h"
#include "command_line.h"
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
    CommandLine line;
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

int run(StageStatus status, RunState& state) {
    int32_t linesWritten = 0;
    if (status == StageStatus::kContinue) status = read_candidates(state);
    if (status == StageStatus::kContinue) status = write_work_file(state.table, state.settings, linesWritten);
    if (status == StageStatus::kContinue) append_run_log(state.settings, linesWritten);
    return status == StageStatus::kFailed ? kExitFailure : kExitSuccess;
}

int preview(StageStatus status, RunState& state) {
    Verdict verdict = Verdict::kClear;
    if (status == StageStatus::kContinue) note_arguments(state.line.words, state.settings);
    if (status == StageStatus::kContinue) status = read_candidates(state);
    if (status == StageStatus::kContinue) verdict = look_at_writes(state.table, state.settings);
    return end_preview(status, verdict);
}

}  // namespace

int main(int argc, char** argv) {
    static RunState state{};
    if (!prepare_process()) return kExitFailure;
    show_utf8_in_console();
    const StageStatus status = read_command_line(argc, argv, state.settings, state.line);
    const int exitStatus = state.line.preview ? preview(status, state) : run(status, state);
    explain_a_double_click();
    restore_console();
    return exitStatus;
}
