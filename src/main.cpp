// brisvel: turns the candidates of a sieve file into P-1 assignments for the
// factoring client's work file.
#include <cstdio>

#include "candidate.h"
#include "decimal.h"
#include "host.h"
#include "removal_list.h"
#include "run_log.h"
#include "sieve_file.h"
#include "work_file.h"

namespace {

// Everything a run works on, in fixed storage for the whole run.
struct RunState {
    RunSettings settings;
    CandidateTable table;
    CandidateArray scratch;
    SieveBuffer sieveBuffer;
    RemovalIndex removalIndex;
    WorkBatch workBatch;
    ReportWindow reportWindow;
};

constexpr int kRequiredArgumentCount = 5;  // program name and four numbers
constexpr int kDirectoryArgument = 5;

StageStatus parse_command_line(int argc, const char* const* argv, RunSettings& settings) {
    if (argc < kRequiredArgumentCount) {
        const bool named = argc > 0 && argv[0] != nullptr && argv[0][0] != '\0';
        std::printf("%s  <NMin> <NMax> <SieveDepth> <WactorWorth>\n", named ? argv[0] : "brisvel");
        return StageStatus::kFailed;
    }
    const char* directory = argc > kDirectoryArgument ? argv[kDirectoryArgument] : nullptr;
    if (!build_output_path(directory, settings.outputPath)) {
        std::printf("Output path too long - exiting\n");
        return StageStatus::kFailed;
    }
    settings.NMin = int32_or_zero(argv[1]);
    settings.NMax = int32_or_zero(argv[2]);
    settings.SieveDepth = int32_or_zero(argv[3]);
    settings.WactorWorth = truncated_int32_or_zero(argv[4]);
    return StageStatus::kContinue;
}

// Prints the count line; a run that found nothing ends here.
StageStatus report_count(const CandidateTable& table, const RunSettings& settings) {
    std::printf("%d numbers between %d =< n < %d\n", table.count, settings.NMin, settings.NMax);
    return table.count == 0 ? StageStatus::kFinished : StageStatus::kContinue;
}

int exit_status(StageStatus status) {
    return status == StageStatus::kFailed ? kExitFailure : kExitSuccess;
}

int run(int argc, const char* const* argv, RunState& state) {
    StageStatus status = parse_command_line(argc, argv, state.settings);
    if (status == StageStatus::kContinue) status = read_sieve_file(state.settings, state.table, state.sieveBuffer);
    if (status == StageStatus::kContinue) status = report_count(state.table, state.settings);
    if (status != StageStatus::kContinue) return exit_status(status);

    apply_removal_list(state.settings, state.table, state.removalIndex, state.sieveBuffer.block);
    order_by_n(state.table, state.scratch);
    int32_t linesWritten = 0;
    status = write_work_file(state.table, state.settings, state.workBatch, state.reportWindow, linesWritten);
    const RunSettings& s = state.settings;
    if (status == StageStatus::kContinue)
        append_run_log(s.NMin, s.NMax, linesWritten, s.outputPath.data(), s.SieveDepth, s.WactorWorth);
    close_report_window(state.reportWindow);
    return exit_status(status);
}

}  // namespace

int main(int argc, char** argv) {
    static RunState state{};
    state.sieveBuffer.kernel = fastest_plus_line_kernel();
    prepare_process();
    ConsoleOutput console{};
    show_utf8_in_console(console);
    const int status = run(argc, argv, state);
    restore_console(console);
    return status;
}
