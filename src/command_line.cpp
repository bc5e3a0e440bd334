#include "command_line.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "console.h"
#include "decimal.h"
#include "host.h"

namespace {

// The help text, a raw string literal in a text file of its own, with a
// place for each thing that differs between the hosts.
constexpr const char* kHelpText =
#include "help.txt"
    ;

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

// The words of a command line after the program name.
struct Words {
    char* const* at;
    int32_t count;
};

// What a word asks for: an option, or a place among the numbers, the folder
// and the words after it.
enum Word { kPlaced, kHelp, kVersion, kPreview, kEndOfOptions, kUnknown, kWordKinds };

// The options; Windows programs take them with a slash too, in any case.
struct OptionName {
    const char* name;
    Word word;
    bool slash;
};

constexpr std::array<OptionName, 10> kOptionNames = {{
    {"--help", kHelp, false}, {"-h", kHelp, false}, {"--version", kVersion, false}, {"--dry-run", kPreview, false},
    {"--", kEndOfOptions, false}, {"/help", kHelp, true}, {"/h", kHelp, true}, {"/?", kHelp, true},
    {"/version", kVersion, true}, {"/dry-run", kPreview, true},
}};

// Among the placed words, NMin, NMax, SieveDepth and WactorWorth are the
// places 0 to 3, the folder 4; what follows is ignored.
constexpr std::array<const char*, 4> kNumberNames = {"NMin", "NMax", "SieveDepth", "WactorWorth"};
constexpr int32_t kFolderPlace = 4;

bool is_letter(char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }

bool same_in_any_case(const char* a, const char* b) {
    for (; *a == *b || (is_letter(*a) && (*a | 0x20) == (*b | 0x20)); ++a, ++b)
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
        if (option.slash ? kWindows && same_in_any_case(word, option.name) : std::strcmp(word, option.name) == 0)
            return option.word;
    return looks_like_option(word) ? kUnknown : kPlaced;
}

// The meaning of each word in turn: after "--" every word is placed.
struct WordWalk {
    bool optionsEnded = false;
    Word operator()(const char* word) {
        const Word meaning = optionsEnded ? kPlaced : word_of(word);
        optionsEnded = optionsEnded || meaning == kEndOfOptions;
        return meaning;
    }
};

// The place-th placed word; nullptr when there is none.
const char* placed_word(const Words& words, int32_t place) {
    WordWalk walk;
    for (int32_t i = 0; i < words.count; ++i)
        if (walk(words.at[i]) == kPlaced && place-- == 0) return words.at[i];
    return nullptr;
}

#ifdef _WIN32
// A Windows command line hands "C:\My client\" --dry-run to the program as
// the one word C:\My client" --dry-run (a backslash before a quote makes a
// literal quote), and no Windows path holds a quote: the folder's word is
// cut at its first quote, and what follows, split at blanks in place, is
// read as further words. Room for the words of the longest command line
// Windows passes (32767 characters), each a character and a blank at
// least.
std::array<char*, 16384> splitWords;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

Words cut_folder_at_quote(Words words) {
    const char* folder = placed_word(words, kFolderPlace);
    const auto folderAt = std::find(words.at, words.at + words.count, folder) - words.at;
    char* quote = folder == nullptr ? nullptr : std::strchr(words.at[folderAt], '"');
    if (quote == nullptr || static_cast<std::size_t>(words.count) + std::strlen(quote) / 2 > splitWords.size())
        return words;
    *quote = '\0';
    char** next = std::copy(words.at, words.at + folderAt + 1, splitWords.data());
    for (char* p = quote + 1; *p != '\0';) {
        if (is_blank(*p)) {
            *p++ = '\0';
            continue;
        }
        *next++ = p;
        while (*p != '\0' && !is_blank(*p)) ++p;
    }
    next = std::copy(words.at + folderAt + 1, words.at + words.count, next);
    return {splitWords.data(), static_cast<int32_t>(next - splitWords.data())};
}
#else
Words cut_folder_at_quote(Words words) { return words; }
#endif

// Which options the words ask for, and the first that is not ours.
struct Options {
    std::array<bool, kWordKinds> asked;
    const char* unknown;
};

Options find_options(const Words& words) {
    Options options{{}, nullptr};
    WordWalk walk;
    for (int32_t i = 0; i < words.count; ++i) {
        const Word meaning = walk(words.at[i]);
        options.asked[meaning] = true;
        if (options.unknown == nullptr && meaning == kUnknown) options.unknown = words.at[i];
    }
    return options;
}

// The refusal, and what a word of that name would have to look like.
void say_unknown_option(const char* word) {
    say("Unknown option %s - exiting\n", word);
    const bool slash = word[0] == '/';
    say_note("the options are %s; a folder named %s is written %s%s, or typed after --",
             kWindows ? "/dry-run, /help, /h, /?, /version and their -- forms" : "--dry-run, --help, -h and --version",
             word, slash ? "\\" : kHere, word + (slash ? 1 : 0));
}

// The numbers as the tool reads them: the whole ones as atol reads them,
// WactorWorth as atof reads it, cut to its whole part. A preview notes each
// that is not taken as typed, each word after the folder and an empty
// range.
void read_numbers(const Words& words, bool preview, RunSettings& settings) {
    const std::array<int32_t*, 4> numbers = {&settings.NMin, &settings.NMax, &settings.SieveDepth,
                                             &settings.WactorWorth};
    for (std::size_t place = 0; place < numbers.size(); ++place) {
        const char* word = placed_word(words, static_cast<int32_t>(place));
        const WordNumber number = read_word_number(word, place == numbers.size() - 1);
        *numbers[place] = number.value;
        if (preview && !number.asTyped) say_note("%s \"%s\" is read as %d", kNumberNames[place], word, number.value);
    }
    for (int32_t place = kFolderPlace + 1; const char* extra = preview ? placed_word(words, place) : nullptr; ++place)
        say_note("\"%s\" after the folder is ignored", extra);
    if (preview && settings.NMin >= settings.NMax)
        say_note("NMin %d is not below NMax %d: the range is empty", settings.NMin, settings.NMax);
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
        return is_digit(c) || is_letter(c) || std::strchr("_./,:@%+-", c) != nullptr;
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
// words at blanks outside double quotes. No Windows path holds a quote
// (the folder word is cut there), so a word is put in double quotes where
// it needs them; its closing separator is left out, as the runtime would
// read \" as a quote, and the run adds it anyway. Inside double quotes
// cmd.exe leaves & | < > ( ) ^ alone, but still expands %name% and !name!:
// a word that holds % or ! has every character special to cmd.exe escaped
// with ^, the quotes among them, so that cmd.exe sees no quoted part.
void put_cmd_word(std::string_view word, CommandWriter& command) {
    const bool carets = word.find_first_of("%!") != std::string_view::npos;
    if (!carets && !word.empty() && word.find_first_of(" \t&|<>()^") == std::string_view::npos)
        return command.put(word);
    while (word.ends_with('\\') && word.size() > 1) word.remove_suffix(1);
    const auto put_special = [&](char c) {
        if (carets && std::strchr("()%!^\"<>&|", c) != nullptr) command.put('^');
        command.put(c);
    };
    put_special('"');
    for (const char c : word) put_special(c);
    put_special('"');
}

void put_shell_word(std::string_view word, CommandWriter& command) {
    if (kWindows)
        put_cmd_word(word, command);
    else
        put_posix_word(word, command);
}

}  // namespace

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
    std::snprintf(numbers.data(), numbers.size(), " %d %d %d %d", settings.NMin, NMax, settings.SieveDepth,
                  settings.WactorWorth);
    const std::string_view folder(settings.folder == nullptr ? "" : settings.folder);
    put_shell_word(settings.program, command);
    // A folder that reads as an option needs the options ended before it.
    if (!folder.empty() && word_of(settings.folder) != kPlaced) command.put(" --");
    command.put(numbers.data());
    if (!folder.empty()) {
        command.put(' ');
        put_shell_word(folder, command);
    }
    return command.fits;
}

StageStatus read_command_line(int argc, char** argv, RunSettings& settings, bool& preview) {
    const Words words = cut_folder_at_quote({argv + 1, argc > 1 ? argc - 1 : 0});
    const Options options = find_options(words);
    if (options.asked[kHelp]) say(kHelpText, kSignalStatus, kHere, kSlashOptions, kFullDocumentation);
    if (options.asked[kVersion] && !options.asked[kHelp]) say("brisvel %s\n", BRISVEL_VERSION);
    if (options.asked[kHelp] || options.asked[kVersion]) return StageStatus::kFinished;
    preview = options.asked[kPreview];
    if (options.unknown != nullptr) {
        say_unknown_option(options.unknown);
        return StageStatus::kFailed;
    }
    const bool named = argc > 0 && argv[0] != nullptr && argv[0][0] != '\0';
    settings.program = named ? argv[0] : "brisvel";
    if (placed_word(words, kFolderPlace - 1) == nullptr) {
        say("%s  <NMin> <NMax> <SieveDepth> <WactorWorth>\n", settings.program);
        return StageStatus::kFailed;
    }
    settings.folder = placed_word(words, kFolderPlace);
    if (!build_output_path(settings.folder, settings.outputPath)) {
        say("Output path too long - exiting\n");
        say_note("the work file's path may have at most %d characters, %s and the separator included",
                 static_cast<int>(kOutputPathSize - 1), kWorkFileName);
        return StageStatus::kFailed;
    }
    read_numbers(words, preview, settings);
    return StageStatus::kContinue;
}
