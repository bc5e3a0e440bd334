// brisvel: turns the candidates of a sieve file into P-1 assignments for the
// factoring client's work file.
#include <cstdio>
#include <cstring>

#include "candidate.h"
#include "decimal.h"
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
};

constexpr int kNumberArguments = 4;
// Before the numbers, it selects the preview.
constexpr const char* kPreviewOption = "--dry-run";

constexpr const char* kHelpText =
    "Usage: brisvel <NMin> <NMax> <SieveDepth> <WactorWorth> [directory]\n"
    "       brisvel --dry-run <NMin> <NMax> <SieveDepth> <WactorWorth> [directory]\n"
    "\n"
    "Appends one P-1 assignment line per pair (k, n) of the sieve file with\n"
    "NMin <= n < NMax, less the pairs of the removal list, to the factoring\n"
    "client's work file, in ascending n.\n"
    "\n"
    "--dry-run shows the lines that the run would append, and the lines of\n"
    "brisvel.log whose range overlaps NMin <= n < NMax, and writes nothing.\n"
    "\n"
    "  NMin, NMax    the range of n: NMin is in it, NMax is not\n"
    "  SieveDepth    copied into every work line\n"
    "  WactorWorth   copied into every work line, cut to its whole part\n"
    "  directory     the folder of the work file (default: the current folder)\n"
    "\n"
    "Files:\n"
    "  drask.dat     the sieve file, read from the current folder\n"
    "  recent.txt    the pairs to leave out, read from the current folder if there\n"
    "  worktodo.ini  the work file, appended to\n"
    "  brisvel.log   the run log, appended to in the current folder\n"
    "\n"
    "More: %s\n";

bool is_sole_argument(int argc, const char* const* argv, const char* option) {
    return argc == 2 && argv[1] != nullptr && std::strcmp(argv[1], option) == 0;
}

// "--help" or "--version" alone on the command line is answered, and the
// run ends there.
bool answered_information_request(int argc, const char* const* argv) {
    if (is_sole_argument(argc, argv, "--help") || is_sole_argument(argc, argv, "-h") ||
        is_sole_argument(argc, argv, kHostHelpOption)) {
        std::printf(kHelpText, kFullDocumentation);
        return true;
    }
    if (!is_sole_argument(argc, argv, "--version")) return false;
    std::printf("brisvel %s\n", BRISVEL_VERSION);
    return true;
}

StageStatus parse_command_line(int argc, const char* const* argv, RunSettings& settings, bool& preview) {
    if (answered_information_request(argc, argv)) return StageStatus::kFinished;
    preview = argc > 1 && argv[1] != nullptr && std::strcmp(argv[1], kPreviewOption) == 0;
    const int first = preview ? 2 : 1;  // the first of the numbers
    if (argc - first < kNumberArguments) {
        const bool named = argc > 0 && argv[0] != nullptr && argv[0][0] != '\0';
        std::printf("%s  <NMin> <NMax> <SieveDepth> <WactorWorth>\n", named ? argv[0] : "brisvel");
        return StageStatus::kFailed;
    }
    const char* const* numbers = argv + first;
    const char* directory = argc - first > kNumberArguments ? numbers[kNumberArguments] : nullptr;
    if (!build_output_path(directory, settings.outputPath)) {
        std::printf("Output path too long - exiting\n");
        return StageStatus::kFailed;
    }
    settings.NMin = int32_or_zero(numbers[0]);
    settings.NMax = int32_or_zero(numbers[1]);
    settings.SieveDepth = int32_or_zero(numbers[2]);
    settings.WactorWorth = truncated_int32_or_zero(numbers[3]);
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
    bool preview = false;
    StageStatus status = parse_command_line(argc, argv, state.settings, preview);
    if (status == StageStatus::kContinue) status = read_sieve_file(state.settings, state.table);
    if (status == StageStatus::kContinue) status = report_count(state.table, state.settings);
    if (status != StageStatus::kContinue) return exit_status(status);

    apply_removal_list(state.settings, state.table);
    order_by_n(state.table);
    // The work file, then the run log; a preview shows what they would get.
    int32_t linesWritten = 0;
    if (preview)
        preview_work_file(state.table, state.settings);
    else
        status = write_work_file(state.table, state.settings, linesWritten);
    if (preview)
        show_logged_overlaps(state.settings);
    else if (status == StageStatus::kContinue)
        append_run_log(state.settings, linesWritten);
    return exit_status(status);
}

}  // namespace

int main(int argc, char** argv) {
    static RunState state{};
    if (!prepare_process()) return kExitFailure;
    show_utf8_in_console();
    const int status = run(argc, argv, state);
    close_report_window();
    restore_console();
    return status;
}
