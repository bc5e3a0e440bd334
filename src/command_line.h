// Reading the command line: the tool's options, wherever they are typed,
// then the four numbers, the folder and the work file's path built from it.
#pragma once

#include <array>
#include <cstdint>

#include "run_settings.h"
#include "run_status.h"

inline constexpr const char* kWorkFileName = "worktodo.ini";

// Selects the preview wherever it is typed.
inline constexpr const char* kPreviewOption = "--dry-run";

// The words of a command line after the program name.
struct Words {
    char* const* at;
    int32_t count;
};

// What the command line asks for besides the settings.
struct CommandLine {
    Words words;   // as the run read them
    bool preview;  // a look at what the run would do
};

// Among the words that are no option, NMin, NMax, SieveDepth and
// WactorWorth are the places 0 to 3, the folder 4; what follows is ignored.
inline constexpr int32_t kFolderPlace = 4;

// The place-th word that is no option; nullptr when there is none.
const char* placed_word(const Words& words, int32_t place);

// A Windows command line hands "C:\My client\" --dry-run to the program as
// the one word C:\My client" --dry-run (a backslash before a quote makes a
// literal quote), and no Windows path holds a quote: the folder's word is
// cut at its first quote, and what follows, split at blanks in place, is
// read as further words. Words without a folder, or a folder without a
// quote, are returned as they are.
Words cut_folder_at_quote(Words words);

// The work file's path: the work file name alone when directory is null or
// empty, otherwise directory, a separator unless it already ends in one, and
// the name. False when that is more than 999 characters.
bool build_output_path(const char* directory, OutputPath& path);

// The command that runs as settings say, but up to NMax: the program as it
// was typed, "<NMin> <NMax> <SieveDepth> <WactorWorth>" and the folder,
// each word quoted where the host's shell needs it (a POSIX shell's single
// quotes, cmd.exe's double quotes), with "--" before a folder that would
// read as an option, so that pasted into that shell it runs those words.
// False, with no command, where it does not fit the text.
using CommandText = std::array<char, 8192>;
bool format_command(const RunSettings& settings, int32_t NMax, CommandText& text);

// The command line stage. "--help" and "-h" and "--version" are answered
// wherever they are typed, and the run ends there; "--dry-run" asks for
// the preview; on Windows "/help", "/h", "/?", "/version" and "/dry-run",
// in any case, are the same options. Any other word that starts with "--",
// or with "-" and a letter (on Windows also "/" and a letter, with no
// further separator), is refused, so that a mistyped option can never pass
// for a number or a folder, or be ignored after it, and turn a look into a
// write. "--" ends the options: every word after it is placed. The placed
// words are read into settings as the tool always reads them. The words may
// be cut in place (cut_folder_at_quote).
StageStatus read_command_line(int argc, char** argv, RunSettings& settings, CommandLine& line);
