#include "preview.h"

#include <cstdio>

#include "append_file.h"
#include "console.h"
#include "host.h"
#include "input_reads.h"
#include "run_log.h"
#include "work_file.h"

namespace {

// The run's own lines where it could not open the destination: for the
// work file the run fails there; for the run log it goes on, and the note
// that says why asks for a second look.
StageStatus run_fails_at(const Destination& destination) {
    say_not_opened(destination);
    return destination.essential ? StageStatus::kFailed : StageStatus::kContinue;
}

void ranges_not_checked() {
    say_second_look("Could not read %s to its end: earlier ranges were not checked\n", kRunLogName);
}

// How many lines a regular file of size bytes holds, and whether the run
// would end its last line first; stream is nullptr where it cannot be
// read. An empty file gets no line end.
void describe_lines(const char* path, std::FILE* stream, int64_t size) {
    int64_t lines = 0;
    bool unterminated = false;  // the last line has no line end
    bool failed = stream == nullptr;
    if (stream != nullptr) {
        InputReads reads(stream, InputMode::kBinary);
        for (InputSpan read{}; reads.next_read(read); lines += unterminated ? 0 : 1)
            unterminated = read.end[-1] != '\n';
        failed = reads.failed();
    }
    if (size != 0 && failed) {
        say("%s cannot be read: the run would put a line end before its lines\n", path);
        return;
    }
    lines += unterminated ? 1 : 0;
    say("%s holds %lld line%s%s\n", path, static_cast<long long>(lines), lines == 1 ? "" : "s",
        unterminated ? ", the last without a line end: the run would end it first" : "");
}

// Names the logged ranges that overlap this run's. Lines are counted by
// their line ends, whatever they hold; a logged range lies in the first
// read of its line.
void name_overlaps(std::FILE* log, int64_t size, const RunSettings& settings) {
    if (log == nullptr) {
        if (size != 0) ranges_not_checked();
        return;
    }
    InputReads reads(log, InputMode::kBinary);
    int32_t number = 0;
    bool atLineStart = true;
    for (InputSpan read{}; reads.next_read(read); atLineStart = read.end[-1] == '\n') {
        int32_t loggedMin = 0;
        int32_t loggedMax = 0;
        number += atLineStart ? 1 : 0;
        if (atLineStart && read_logged_range(read.begin, read.end, loggedMin, loggedMax) &&
            meets(range_of(settings), loggedMin, int64_t{loggedMax} - 1))
            say_second_look("%s already shows n from %d to %d: line %d\n", kRunLogName, loggedMin, loggedMax, number);
    }
    if (reads.failed()) ranges_not_checked();
}

// A regular file is opened as the run opens it, without creating it or
// waiting, and read through that handle: the work file's lines are
// counted, the run log's ranges checked. The lock is asked for as the run
// takes it, and given back at once.
StageStatus look_at_regular(const Destination& destination, const RunSettings& settings) {
    const char* path = destination.path;
    AppendHandle handle{};
    const OpenOutcome opened = open_for_append(path, OpenFor::kLook, handle);
    if (opened == OpenOutcome::kChanged) {
        say_note("%s changed while the preview looked at it: look again", path);
        return StageStatus::kContinue;
    }
    if (opened != OpenOutcome::kOpened) {
        if (!destination.essential) ranges_not_checked();
        return run_fails_at(destination);
    }
    std::FILE* stream = handle.readable ? read_stream(handle) : nullptr;
    if (destination.essential)
        describe_lines(path, stream, file_facts(handle).size);
    else
        name_overlaps(stream, file_facts(handle).size, settings);
    if (stream != nullptr) std::fclose(stream);
    const bool locked = !try_lock_for_append(handle);
    close_append_handle(handle);
    if (locked) say("Another program holds the lock on %s: the run would wait for it\n", path);
    return StageStatus::kContinue;
}

StageStatus look_at_missing(const Destination& destination) {
    switch (may_create(destination.path)) {
        case Creation::kRefused:
            return run_fails_at(destination);
        case Creation::kAllowed:
            if (destination.essential) say("%s does not exist yet: the run would create it\n", destination.path);
            break;
        case Creation::kUnknown:
            say_second_look("%s does not exist yet: whether the run can create it there cannot be told before it "
                            "tries\n", destination.path);
            break;
    }
    return StageStatus::kContinue;
}

// What a run that appends to the destination would meet there, and what
// the preview reads of it. Only a regular file is opened, never a FIFO or
// a device, whose other end may be a program waiting for the run.
StageStatus look_at(const Destination& destination, const RunSettings& settings) {
    const char* path = destination.path;
    const FileKind kind = kind_at(path);
    if (kind == FileKind::kNone) return look_at_missing(destination);
    if (kind == FileKind::kRegular) return look_at_regular(destination, settings);
    if (!destination.essential) ranges_not_checked();
    if (kind == FileKind::kFifo) {
        say("%s is a FIFO: the run writes to the program that reads it, %s\n", path,
            destination.essential ? "and waits until one does" : "or goes on without it when none does");
        return StageStatus::kContinue;
    }
    if (kind != FileKind::kDevice || !may_write(path)) return run_fails_at(destination);
    if (destination.essential) say("%s is a device: the lines would go to it\n", path);
    return StageStatus::kContinue;
}

}  // namespace

StageStatus look_at_writes(const CandidateTable& table, const RunSettings& settings) {
    const Lines lines = format_work_lines(table, settings);
    say("Would output %d candidates to %s\n", lines.count, settings.outputPath.data());
    say_lines("", text_of(lines));
    const StageStatus work = look_at(work_file_destination(settings), settings);
    return work == StageStatus::kFailed ? work : look_at(kRunLogDestination, settings);
}
