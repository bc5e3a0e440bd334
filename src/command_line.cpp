#include "command_line.h"

#include <array>
#include <cstring>
#include <string_view>

#include "console.h"
#include "decimal.h"
#include "host.h"

namespace {

constexpr int32_t kNumberArguments = 4;
// The four numbers and the folder.
constexpr int32_t kPlacedArguments = kNumberArguments + 1;
constexpr std::array<const char*, kNumberArguments> kNumberNames = {"NMin", "NMax", "SieveDepth", "WactorWorth"};

constexpr const char* kHelpText =
    "Usage: brisvel <NMin> <NMax> <SieveDepth> <WactorWorth> [directory]\n"
    "       brisvel --dry-run <NMin> <NMax> <SieveDepth> <WactorWorth> [directory]\n"
    "\n"
    "Appends one P-1 assignment line per pair (k, n) of the sieve file with\n"
    "NMin <= n < NMax, less the pairs of the removal list, to the factoring\n"
    "client's work file, in ascending n.\n"
    "\n"
    "  NMin, NMax    the range of n: NMin is in it, NMax is not\n"
    "  SieveDepth    copied into every work line\n"
    "  WactorWorth   copied into every work line, cut to its whole part\n"
    "  directory     the folder of the work file (default: the current folder)\n"
    "\n"
    "--dry-run, typed anywhere on the line, takes every step of the run but\n"
    "changes nothing: it shows the lines the run would append, what it would\n"
    "meet in the work file, the lines of brisvel.log whose range overlaps and\n"
    "every argument not taken as typed, and ends with \"Dry run: nothing was\n"
    "written\". Its exit status is 0 when all is clear, 3 when something needs\n"
    "a second look and 1 when the run would fail, so a batch file can guard a\n"
    "run with:  brisvel --dry-run 100 200 45 1 && brisvel 100 200 45 1\n"
    "A run's exit status is 0 when it completed and 1 when it failed.\n"
    "\n"
    "Files:\n"
    "  drask.dat     the sieve file, read from the current folder\n"
    "  recent.txt    the pairs to leave out, read from the current folder if there\n"
    "  worktodo.ini  the work file, appended to\n"
    "  brisvel.log   the run log, appended to in the current folder\n"
    "\n"
    "More: %s\n";

bool is(const char* argument, const char* option) { return std::strcmp(argument, option) == 0; }

bool is_help_request(const char* argument) {
    return is(argument, "--help") || is(argument, "-h") || is(argument, kHostHelpOption);
}

// "--anything": an option, never a number or a folder. (A single dash may
// start a number.)
bool looks_like_option(const char* argument) { return argument[0] == '-' && argument[1] == '-'; }

bool is_ours(const char* argument) {
    return is_help_request(argument) || is(argument, "--version") || is(argument, kPreviewOption);
}

// One of the numbers, the folder or what follows them: no option.
bool is_placed(const char* argument) {
    return argument != nullptr && !looks_like_option(argument) && !is_ours(argument);
}

// The place-th argument that is no option, in order: NMin is 0, the folder
// 4, and what follows it is counted on; nullptr when there is none.
const char* placed_argument(int argc, const char* const* argv, int32_t place) {
    for (int i = 1; i < argc; ++i)
        if (is_placed(argv[i]) && place-- == 0) return argv[i];
    return nullptr;
}

// What the options on the command line ask for; the first option that is
// not ours, if any.
struct Options {
    bool help;
    bool version;
    bool preview;
    const char* unknown;
};

Options find_options(int argc, const char* const* argv) {
    Options options{false, false, false, nullptr};
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (argument == nullptr) continue;
        options.help = options.help || is_help_request(argument);
        options.version = options.version || is(argument, "--version");
        options.preview = options.preview || is(argument, kPreviewOption);
        if (options.unknown == nullptr && looks_like_option(argument) && !is_ours(argument)) options.unknown = argument;
    }
    return options;
}

// "--help" or "--version" is answered and the run ends there; true when one
// was asked for.
bool answered_information_request(const Options& options) {
    if (options.help) {
        say(kHelpText, kFullDocumentation);
        return true;
    }
    if (options.version) say("brisvel %s\n", BRISVEL_VERSION);
    return options.version;
}

void say_usage(int argc, const char* const* argv) {
    const bool named = argc > 0 && argv[0] != nullptr && argv[0][0] != '\0';
    say("%s  <NMin> <NMax> <SieveDepth> <WactorWorth>\n", named ? argv[0] : "brisvel");
}

bool is_taken_as_typed(int32_t place, const char* text) {
    return place == kNumberArguments - 1 ? is_exact_decimal(text) : is_exact_int32(text);
}

// A preview's notes on the arguments that the run would not take as typed;
// returns how many it printed.
int32_t say_notes(int argc, const char* const* argv, const RunSettings& settings) {
    const std::array<int32_t, kNumberArguments> values = {settings.NMin, settings.NMax, settings.SieveDepth,
                                                          settings.WactorWorth};
    int32_t notes = 0;
    for (int32_t place = 0; place < kNumberArguments; ++place) {
        const char* text = placed_argument(argc, argv, place);
        const auto at = static_cast<std::size_t>(place);
        if (is_taken_as_typed(place, text)) continue;
        say("Note: %s \"%s\" is read as %d\n", kNumberNames[at], text, values[at]);
        ++notes;
    }
    for (int32_t place = kPlacedArguments; const char* extra = placed_argument(argc, argv, place); ++place) {
        say("Note: \"%s\" after the folder is ignored\n", extra);
        ++notes;
    }
    if (settings.NMin >= settings.NMax) {
        say("Note: NMin %d is not below NMax %d: the range is empty\n", settings.NMin, settings.NMax);
        ++notes;
    }
    return notes;
}

}  // namespace

bool build_output_path(const char* directory, OutputPath& path) {
    path.fill('\0');
    std::size_t length = directory == nullptr ? 0 : std::strlen(directory);
    if (kDropsTrailingQuote && length > 0 && directory[length - 1] == '"') --length;
    const std::size_t separator = length > 0 && directory[length - 1] != kDirectorySeparator ? 1 : 0;
    const std::string_view name(kWorkFileName);
    if (length + separator + name.size() >= path.size()) return false;
    if (length > 0) std::memcpy(path.data(), directory, length);
    if (separator > 0) path[length] = kDirectorySeparator;
    std::memcpy(path.data() + length + separator, name.data(), name.size());
    return true;
}

StageStatus read_command_line(int argc, const char* const* argv, RunSettings& settings, bool& secondLook) {
    const Options options = find_options(argc, argv);
    if (answered_information_request(options)) return StageStatus::kFinished;
    settings.preview = options.preview;
    if (options.unknown != nullptr) {
        say("Unknown option %s - exiting\n", options.unknown);
        return StageStatus::kFailed;
    }
    std::array<const char*, kPlacedArguments> placed{};
    for (int32_t place = 0; place < kPlacedArguments; ++place)
        placed[static_cast<std::size_t>(place)] = placed_argument(argc, argv, place);
    if (placed[kNumberArguments - 1] == nullptr) {
        say_usage(argc, argv);
        return StageStatus::kFailed;
    }
    if (!build_output_path(placed[kNumberArguments], settings.outputPath)) {
        say("Output path too long - exiting\n");
        return StageStatus::kFailed;
    }
    settings.NMin = int32_or_zero(placed[0]);
    settings.NMax = int32_or_zero(placed[1]);
    settings.SieveDepth = int32_or_zero(placed[2]);
    settings.WactorWorth = truncated_int32_or_zero(placed[3]);
    if (settings.preview && say_notes(argc, argv, settings) > 0) secondLook = true;
    return StageStatus::kContinue;
}
