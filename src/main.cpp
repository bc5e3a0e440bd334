// brisvel: turns the candidates of a sieve file into P-1 assignments for the
// factoring client's work file.
#include "candidate.h"
#include "command_line.h"
#include "console.h"
#include "host.h"
#include "removal_list.h"
#include "run_log.h"
#include "run_status.h"
#include "sieve_file.h"
#include "work_file.h"

namespace {

// What the stages of a run share, in fixed storage for the whole run; each
// stage keeps its own working storage.
struct RunState {
    RunSettings settings;
    CandidateTable table;
    int32_t linesWritten;
    bool secondLook;  // a preview found something to look at again before the run
};

int exit_status(StageStatus status) {
    return status == StageStatus::kFailed ? kExitFailure : kExitSuccess;
}

int run(int argc, char** argv, RunState& state) {
    StageStatus status = read_command_line(argc, argv, state.settings, state.secondLook);
    if (status == StageStatus::kContinue) status = read_sieve_file(state.settings, state.table);
    if (status == StageStatus::kContinue) {
        apply_removal_list(state.settings, state.table);
        order_by_n(state.table);
        status = write_work_file(state.table, state.settings, state.linesWritten);
    }
    if (status == StageStatus::kContinue) append_run_log(state.settings, state.linesWritten, state.secondLook);
    if (!state.settings.preview) return exit_status(status);
    // A preview says last that it changed nothing, and its status tells a
    // script whether the run may follow.
    say("Dry run: nothing was written\n");
    if (status == StageStatus::kFailed) return kExitFailure;
    return state.secondLook ? kExitSecondLook : kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) {
    static RunState state{};
    if (!prepare_process()) return kExitFailure;
    show_utf8_in_console();
    const int status = run(argc, argv, state);
    close_report_window();
    explain_a_double_click();
    restore_console();
    return status;
}
