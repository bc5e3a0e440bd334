// Reading the command line: the tool's options, wherever they are typed,
// then the four numbers, the folder and the work file's path built from it.
#pragma once

#include <array>
#include <cstdint>

#include "run_settings.h"
#include "run_status.h"

inline constexpr const char* kWorkFileName = "worktodo.ini";

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
// words are read into settings as the tool always reads them, and preview
// says whether a look at what the run would do was asked for; a preview
// notes every argument not taken as typed. On Windows a folder word that
// holds a quote, which no Windows path can, is cut there, and the rest is
// read as further words (cmd.exe hands "C:\My client\" --dry-run over as
// the one word C:\My client" --dry-run); the words are cut in place.
StageStatus read_command_line(int argc, char** argv, RunSettings& settings, bool& preview);
