#include "command_line.h"

#include <algorithm>
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
    "meet in the work file and the run log, the lines of brisvel.log whose range\n"
    "overlaps, and a \"Note:\" for every argument not taken as typed, a missing\n"
    "removal list or a sieve file that seems to lack its header. It ends with\n"
    "\"Dry run: nothing was written\" and exit status 0 when all is clear, 3\n"
    "when something needs a second look and 1 when the run would fail, so a\n"
    "batch file can guard a run with:\n"
    "  brisvel --dry-run 100 200 45 1 && brisvel 100 200 45 1\n"
    "A run's exit status is 0 when it completed and 1 when it failed%s.\n"
    "\n"
    "--help, -h and --version work anywhere on the line too. Any other word\n"
    "that starts with -- or with - and a letter is refused before anything is\n"
    "read; -- ends the options: every word after it is a number or the folder.\n"
    "A folder named -v is written %s-v.\n"
    "%s"
    "A range may hold at most 9999 pairs; a fuller one is refused with the\n"
    "largest NMax that fits.\n"
    "\n"
    "Files:\n"
    "  drask.dat     the sieve file, read from the current folder\n"
    "  recent.txt    the pairs to leave out, read from the current folder if there\n"
    "  worktodo.ini  the work file, appended to\n"
    "  brisvel.log   the run log, appended to in the current folder\n"
    "\n"
    "More: %s\n";

// What differs between the hosts' help: Windows programs take options
// written with a slash too, and the zip that the exe came in holds the
// whole description; Windows ends no program by a signal.
constexpr const char* kSignalStatus =
    kWindows ? "" : ";\n128 + n when signal n came while it wrote its lines, which are written and\nreported first";
constexpr const char* kHere = kWindows ? ".\\" : "./";
constexpr const char* kSlashOptions =
    kWindows ? "/dry-run, /help, /h, /? and /version, in any case, are the same options;\n"
               "any other word of / and a letter without a further \\ or / is refused:\n"
               "a folder at the root of the drive is written \\work.\n"
             : "";
constexpr const char* kFullDocumentation = kWindows ? "README.txt in the zip that brisvel.exe came in" : "man brisvel";

// The options, and the meaning of every other word.
enum class Word {
    kPlaced,  // a number, the folder or a word after it
    kHelp,
    kVersion,
    kPreview,
    kEndOfOptions,
    kUnknown,  // an option that is not the tool's
};

struct OptionName {
    const char* name;
    Word word;
};

constexpr std::array<OptionName, 5> kOptionNames = {{
    {"--help", Word::kHelp}, {"-h", Word::kHelp}, {"--version", Word::kVersion}, {kPreviewOption, Word::kPreview},
    {"--", Word::kEndOfOptions},
}};
// Windows programs take their options with a slash, in any case.
constexpr std::array<OptionName, 5> kSlashOptionNames = {{
    {"/help", Word::kHelp}, {"/h", Word::kHelp}, {"/?", Word::kHelp}, {"/version", Word::kVersion},
    {"/dry-run", Word::kPreview},
}};

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_in_any_case(const char* a, const char* b) {
    for (; lower(*a) == lower(*b); ++a, ++b)
        if (*a == '\0') return true;
    return false;
}

// "--anything" and "-letters", and on Windows "/letters" without a further
// separator (a folder at the drive's root is written "\work"): an option,
// never a number or a folder. A dash before anything else starts a number
// ("-5", "-.5") or is a word.
bool looks_like_option(const char* word) {
    if (word[0] == '-') return word[1] == '-' || is_letter(word[1]);
    return kWindows && word[0] == '/' && is_letter(word[1]) && std::strpbrk(word + 1, "/\\") == nullptr;
}

Word word_of(const char* word) {
    for (const OptionName& option : kOptionNames)
        if (std::strcmp(word, option.name) == 0) return option.word;
    for (const OptionName& option : kSlashOptionNames)
        if (kWindows && same_in_any_case(word, option.name)) return option.word;
    return looks_like_option(word) ? Word::kUnknown : Word::kPlaced;
}

// The meaning of each word in turn: after "--" every word is placed.
struct WordWalk {
    bool optionsEnded = false;
    Word operator()(const char* word) {
        const Word meaning = optionsEnded ? Word::kPlaced : word_of(word);
        optionsEnded = optionsEnded || meaning == Word::kEndOfOptions;
        return meaning;
    }
};

// Where the place-th word that is no option stands; -1 when there is none.
int32_t placed_index(const Words& words, int32_t place) {
    WordWalk walk;
    for (int32_t i = 0; i < words.count; ++i)
        if (walk(words.at[i]) == Word::kPlaced && place-- == 0) return i;
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
    WordWalk walk;
    for (int32_t i = 0; i < words.count; ++i) {
        const Word meaning = walk(words.at[i]);
        options.help = options.help || meaning == Word::kHelp;
        options.version = options.version || meaning == Word::kVersion;
        options.preview = options.preview || meaning == Word::kPreview;
        if (options.unknown == nullptr && meaning == Word::kUnknown) options.unknown = words.at[i];
    }
    return options;
}

// "--help" or "--version" is answered and the run ends there; true when one
// was asked for.
bool answered_information_request(const Options& options) {
    if (options.help) {
        say(kHelpText, kSignalStatus, kHere, kSlashOptions, kFullDocumentation);
        return true;
    }
    if (options.version) say("brisvel %s\n", BRISVEL_VERSION);
    return options.version;
}

// The refusal, and what a word of that name would have to look like.
void say_unknown_option(const char* word) {
    say("Unknown option %s - exiting\n", word);
    const bool slash = word[0] == '/';
    say_note("the options are %s; a folder named %s is written %s%s, or typed after --",
             kWindows ? "/dry-run, /help, /h, /?, /version and their -- forms" : "--dry-run, --help, -h and --version",
             word, slash ? "\\" : kHere, word + (slash ? 1 : 0));
}

const char* program_name(int argc, const char* const* argv) {
    const bool named = argc > 0 && argv[0] != nullptr && argv[0][0] != '\0';
    return named ? argv[0] : "brisvel";
}

// Room for a command; a command that does not fit is not suggested.
struct CommandWriter {
    CommandText& text;
    std::size_t end = 0;
    bool fits = true;

    void put(std::string_view piece) {
        fits = fits && piece.size() < text.size() - end;  // and room for the terminating zero
        if (!fits) return;
        std::memcpy(text.data() + end, piece.data(), piece.size());
        end += piece.size();
        text[end] = '\0';
    }
    void put(char c) { put(std::string_view(&c, 1)); }
};

// A word that a POSIX shell reads as it stands.
bool is_plain_for_posix(std::string_view word) {
    return !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= '0' && c <= '9') || is_letter(c) || std::strchr("_./,:@%+-", c) != nullptr;
    });
}

// A POSIX shell: single quotes keep every byte but the quote itself, which
// is closed, escaped and opened again.
void put_posix_word(std::string_view word, CommandWriter& command) {
    if (is_plain_for_posix(word)) return command.put(word);
    command.put('\'');
    for (const char c : word) command.put(c == '\'' ? std::string_view("'\\''") : std::string_view(&c, 1));
    command.put('\'');
}

// cmd.exe hands the line to the program, whose runtime splits it into
// words at blanks outside double quotes and reads \" as a quote. Inside
// double quotes cmd.exe leaves & | < > ( ) ^ alone, but it still expands
// %name% and !name! and toggles at every quote; a word that holds one of
// those is quoted for the runtime and then has every character special to
// cmd.exe escaped with ^, so that cmd.exe sees no quoted part at all.
void put_cmd_word(std::string_view word, CommandWriter& command) {
    const bool carets = word.find_first_of("%!\"") != std::string_view::npos;
    if (!carets && !word.empty() && word.find_first_of(" \t&|<>()^") == std::string_view::npos)
        return command.put(word);
    // Without carets the folder's closing separator is left out, where the
    // runtime would read \" as a quote; the run adds the separator anyway.
    while (!carets && word.ends_with('\\') && word.size() > 1) word.remove_suffix(1);
    const auto put_special = [&](char c) {
        if (carets && std::strchr("()%!^\"<>&|", c) != nullptr) command.put('^');
        command.put(c);
    };
    put_special('"');
    std::size_t backslashes = 0;
    for (const char c : word) {
        if (carets && c == '"') {
            for (std::size_t i = 0; i <= backslashes; ++i) command.put('\\');
        }
        backslashes = c == '\\' ? backslashes + 1 : 0;
        put_special(c);
    }
    for (std::size_t i = 0; carets && i < backslashes; ++i) command.put('\\');
    put_special('"');
}

void put_shell_word(std::string_view word, CommandWriter& command) {
    if (kWindows)
        put_cmd_word(word, command);
    else
        put_posix_word(word, command);
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

bool format_command(const RunSettings& settings, int32_t NMax, CommandText& text) {
    CommandWriter command{text};
    std::array<char, 80> numbers{};
    std::snprintf(numbers.data(), numbers.size(), "%d %d %d %d", settings.NMin, NMax, settings.SieveDepth,
                  settings.WactorWorth);
    const std::string_view folder(settings.folder == nullptr ? "" : settings.folder);
    put_shell_word(settings.program, command);
    // A folder that reads as an option needs the options ended before it.
    if (!folder.empty() && word_of(settings.folder) != Word::kPlaced) command.put(" --");
    command.put(' ');
    command.put(numbers.data());
    if (!folder.empty()) {
        command.put(' ');
        put_shell_word(folder, command);
    }
    return command.fits;
}

StageStatus read_command_line(int argc, char** argv, RunSettings& settings, CommandLine& line) {
    line.words = {argv + 1, argc > 1 ? argc - 1 : 0};
    if (kCutsFolderAtQuote) line.words = cut_folder_at_quote(line.words);
    const Options options = find_options(line.words);
    if (answered_information_request(options)) return StageStatus::kFinished;
    line.preview = options.preview;
    if (options.unknown != nullptr) {
        say_unknown_option(options.unknown);
        return StageStatus::kFailed;
    }
    std::array<const char*, kFolderPlace + 1> placed{};
    for (int32_t place = 0; place <= kFolderPlace; ++place)
        placed[static_cast<std::size_t>(place)] = placed_word(line.words, place);
    settings.program = program_name(argc, argv);
    if (placed[kFolderPlace - 1] == nullptr) {
        say("%s  <NMin> <NMax> <SieveDepth> <WactorWorth>\n", settings.program);
        return StageStatus::kFailed;
    }
    if (!build_output_path(placed[kFolderPlace], settings.outputPath)) {
        say("Output path too long - exiting\n");
        say_note("the work file's path may have at most %d characters, %s and the separator included",
                 static_cast<int>(kOutputPathSize - 1), kWorkFileName);
        return StageStatus::kFailed;
    }
    settings.folder = placed[kFolderPlace];
    settings.NMin = int32_or_zero(placed[0]);
    settings.NMax = int32_or_zero(placed[1]);
    settings.SieveDepth = int32_or_zero(placed[2]);
    settings.WactorWorth = truncated_int32_or_zero(placed[3]);
    return StageStatus::kContinue;
}
