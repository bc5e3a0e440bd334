// Reading the command line: the tool's options, wherever they are typed,
// then the four numbers, the folder and the work file's path built from it.
#pragma once

#include "candidate.h"
#include "run_status.h"

inline constexpr const char* kWorkFileName = "worktodo.ini";

// Selects the preview wherever it is typed.
inline constexpr const char* kPreviewOption = "--dry-run";

// The work file's path: the work file name alone when directory is null or
// empty, otherwise directory, a separator unless it already ends in one, and
// the name; on Windows a quote that ends directory is dropped first. False
// when that is more than 999 characters.
bool build_output_path(const char* directory, OutputPath& path);

// The command line stage. "--help" and "-h" (and "/?" on Windows) and
// "--version" are answered wherever they are typed, and the run ends there;
// "--dry-run" selects the preview; any other argument that starts with "--"
// is refused, so that a mistyped option can never pass for a folder, or be
// ignored after it, and turn a look into a write. The remaining arguments are NMin, NMax,
// SieveDepth, WactorWorth and the folder, read as the tool always reads
// them. A preview first says in a line "Note: ..." every argument that is
// not taken as typed, and sets secondLook.
StageStatus read_command_line(int argc, const char* const* argv, RunSettings& settings, bool& secondLook);
