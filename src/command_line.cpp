#include "command_line.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "console.h"
#include "decimal.h"
#include "host.h"

namespace {

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
    "  directory     the folder of the work file (default: the current folder);\n"
    "                on Windows, \"C:\\My client\\\" works too: the folder ends at\n"
    "                the quote that cmd.exe makes of \\\" and the words after it count\n"
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
    "--help, -h and --version work anywhere on the line too. Any other word\n"
    "that starts with -- or with - and a letter is refused before anything is\n"
    "read: write a folder of such a name as ./-v. A range may hold at most 9999\n"
    "pairs; a fuller one is refused with the largest NMax that fits.\n"
    "\n"
    "Files:\n"
    "  drask.dat     the sieve file, read from the current folder\n"
    "  recent.txt    the pairs to leave out, read from the current folder if there\n"
    "  worktodo.ini  the work file, appended to\n"
    "  brisvel.log   the run log, appended to in the current folder\n"
    "\n"
    "More: %s\n";

// Windows programs also answer "/?" with their help, and the zip that the
// exe came in holds the whole description.
constexpr const char* kHostHelpOption = kWindows ? "/?" : "--help";
constexpr const char* kFullDocumentation = kWindows ? "README.txt in the zip that brisvel.exe came in" : "man brisvel";

bool is(const char* word, const char* option) { return std::strcmp(word, option) == 0; }

bool is_help_request(const char* word) { return is(word, "--help") || is(word, "-h") || is(word, kHostHelpOption); }

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// "--anything" and "-letters": an option, never a number or a folder. A
// dash before anything else starts a number ("-5", "-.5") or is a word.
bool looks_like_option(const char* word) { return word[0] == '-' && (word[1] == '-' || is_letter(word[1])); }

bool is_ours(const char* word) { return is_help_request(word) || is(word, "--version") || is(word, kPreviewOption); }

// One of the numbers, the folder or what follows them: no option.
bool is_placed(const char* word) { return !looks_like_option(word) && !is_ours(word); }

// Where the place-th word that is no option stands; -1 when there is none.
int32_t placed_index(const Words& words, int32_t place) {
    for (int32_t i = 0; i < words.count; ++i)
        if (is_placed(words.at[i]) && place-- == 0) return i;
    return -1;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Room for the words of the longest command line Windows passes (32767
// characters): every word takes a character and a blank at least.
constexpr int32_t kMaxSplitWords = 16384;
std::array<char*, kMaxSplitWords> splitWords;

// What options the words ask for; the first option that is not ours, if
// any.
struct Options {
    bool help;
    bool version;
    bool preview;
    const char* unknown;
};

Options find_options(const Words& words) {
    Options options{false, false, false, nullptr};
    for (int32_t i = 0; i < words.count; ++i) {
        const char* word = words.at[i];
        options.help = options.help || is_help_request(word);
        options.version = options.version || is(word, "--version");
        options.preview = options.preview || is(word, kPreviewOption);
        if (options.unknown == nullptr && looks_like_option(word) && !is_ours(word)) options.unknown = word;
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

}  // namespace

const char* placed_word(const Words& words, int32_t place) {
    const int32_t index = placed_index(words, place);
    return index < 0 ? nullptr : words.at[index];
}

Words cut_folder_at_quote(Words words) {
    const int32_t folderAt = placed_index(words, kFolderPlace);
    char* quote = folderAt < 0 ? nullptr : std::strchr(words.at[folderAt], '"');
    if (quote == nullptr) return words;
    const auto tailWords = static_cast<int64_t>((std::strlen(quote + 1) + 1) / 2);
    if (words.count + tailWords > kMaxSplitWords) return words;
    *quote = '\0';
    int32_t count = 0;
    for (int32_t i = 0; i <= folderAt; ++i) splitWords[static_cast<std::size_t>(count++)] = words.at[i];
    for (char* p = quote + 1; *p != '\0';) {
        if (is_blank(*p)) {
            *p++ = '\0';
            continue;
        }
        splitWords[static_cast<std::size_t>(count++)] = p;
        while (*p != '\0' && !is_blank(*p)) ++p;
    }
    for (int32_t i = folderAt + 1; i < words.count; ++i) splitWords[static_cast<std::size_t>(count++)] = words.at[i];
    return {splitWords.data(), count};
}

bool build_output_path(const char* directory, OutputPath& path) {
    path.fill('\0');
    const std::size_t length = directory == nullptr ? 0 : std::strlen(directory);
    const std::size_t separator = length > 0 && directory[length - 1] != kDirectorySeparator ? 1 : 0;
    const std::string_view name(kWorkFileName);
    if (length + separator + name.size() >= path.size()) return false;
    if (length > 0) std::memcpy(path.data(), directory, length);
    if (separator > 0) path[length] = kDirectorySeparator;
    std::memcpy(path.data() + length + separator, name.data(), name.size());
    return true;
}

void format_command(const RunSettings& settings, int32_t NMax, CommandText& text) {
    const std::string_view folder(settings.folder == nullptr ? "" : settings.folder);
    const bool quoted = folder.find_first_of(" \t") != std::string_view::npos;
    // Inside quotes a separator before the closing quote would make cmd.exe
    // read a literal quote; the run adds the separator anyway.
    const std::string_view shown =
        quoted && folder.ends_with(kDirectorySeparator) ? folder.substr(0, folder.size() - 1) : folder;
    std::snprintf(text.data(), text.size(), "brisvel %d %d %d %d%s%s%.*s%s", settings.NMin, NMax, settings.SieveDepth,
                  settings.WactorWorth, folder.empty() ? "" : " ", quoted ? "\"" : "", static_cast<int>(shown.size()),
                  shown.data(), quoted ? "\"" : "");
}

StageStatus read_command_line(int argc, char** argv, RunSettings& settings, CommandLine& line) {
    line.words = {argv + 1, argc > 1 ? argc - 1 : 0};
    if (kCutsFolderAtQuote) line.words = cut_folder_at_quote(line.words);
    const Options options = find_options(line.words);
    if (answered_information_request(options)) return StageStatus::kFinished;
    line.preview = options.preview;
    if (options.unknown != nullptr) {
        say("Unknown option %s - exiting\n", options.unknown);
        return StageStatus::kFailed;
    }
    std::array<const char*, kFolderPlace + 1> placed{};
    for (int32_t place = 0; place <= kFolderPlace; ++place)
        placed[static_cast<std::size_t>(place)] = placed_word(line.words, place);
    if (placed[kFolderPlace - 1] == nullptr) {
        say_usage(argc, argv);
        return StageStatus::kFailed;
    }
    if (!build_output_path(placed[kFolderPlace], settings.outputPath)) {
        say("Output path too long - exiting\n");
        return StageStatus::kFailed;
    }
    settings.folder = placed[kFolderPlace];
    settings.NMin = int32_or_zero(placed[0]);
    settings.NMax = int32_or_zero(placed[1]);
    settings.SieveDepth = int32_or_zero(placed[2]);
    settings.WactorWorth = truncated_int32_or_zero(placed[3]);
    return StageStatus::kContinue;
}
