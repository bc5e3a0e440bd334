// How a stage of a run ended, and the exit statuses of the process.
#pragma once

// Stages print their own messages and return one of these; only main turns
// it into the process exit status.
enum class StageStatus {
    kContinue,  // go on with the next stage
    kFinished,  // nothing more to do: the run ends successfully
    kFailed,    // a fatal condition was reported: the run ends with failure
};

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
// A preview that completed but found something to look at again before the
// run: a logged range that overlaps, a run log it could not check, or an
// argument not taken as typed.
inline constexpr int kExitSecondLook = 3;
