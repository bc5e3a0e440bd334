// How a stage of a run ended, and the exit statuses of the process.
#pragma once

// Stages print their own messages and return one of these; main turns the
// last into the process exit status.
enum class StageStatus {
    kContinue,  // go on with the next stage
    kFinished,  // nothing more to do: the run ends successfully
    kFailed,    // a fatal condition was reported (for a preview: the run would fail there)
};

enum ExitStatus {
    kExitSuccess = 0,
    kExitFailure = 1,
    // A preview that completed but asks for a second look before the run
    // (a note, an overlapping logged range, a log it could not check).
    kExitSecondLook = 3,
};
