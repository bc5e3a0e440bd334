#include "preview.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

#include "append_file.h"
#include "console.h"
#include "decimal.h"
#include "host.h"
#include "input_reads.h"
#include "run_log.h"
#include "work_file.h"

namespace {

constexpr std::array<const char*, kFolderPlace> kNumberNames = {"NMin", "NMax", "SieveDepth", "WactorWorth"};

// The whole word is one number within the signed 32-bit range: the whole
// numbers as atol reads them, WactorWorth as a decimal, cut to its whole
// part.
bool is_taken_as_typed(int32_t place, const char* text) {
    const TextNumber number = place == kFolderPlace - 1 ? read_decimal(text) : read_whole_number(text);
    return number.found && number.whole && clamp_to_int32(number.value) == number.value;
}

// Each line is printed without its line end: the console ends it as the
// host ends its lines.
void list_lines(std::string_view text) {
    const std::string_view lineEnd(kLineEnd, kLineEndLength);
    for (std::size_t from = 0; from < text.size();) {
        const std::size_t to = text.find(lineEnd, from);
        say("%.*s\n", static_cast<int>(to - from), text.data() + from);
        from = to + lineEnd.size();
    }
}

// The run's own lines where it could not open the destination: for the
// work file the run fails there; for the run log it goes on, and the
// note it prints asks for a second look.
Verdict run_fails_at(const Destination& destination) {
    say_not_opened(destination);
    return destination.failureEndsRun ? Verdict::kRunFails : Verdict::kClear;
}

Verdict ranges_not_checked() {
    say("Could not read %s to its end: earlier ranges were not checked\n", kRunLogName);
    return Verdict::kSecondLook;
}

// What the preview reads from a destination that is a regular file.
enum class Reading {
    kLines,         // the work file: how many lines it holds
    kLoggedRanges,  // the run log: the ranges that overlap this run's
};

// How many lines a regular file of size bytes holds, and whether the run
// would end its last line first; stream is nullptr where it cannot be
// read. An empty file gets no line end.
void describe_lines(const char* path, std::FILE* stream, int64_t size) {
    InputBlock& block = shared_input_block();
    int64_t lines = 0;
    bool unterminated = false;  // the last line has no line end
    for (std::size_t got = 0; stream != nullptr && (got = std::fread(block.data(), 1, kInputBlockSize, stream)) > 0;) {
        lines += std::count(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(got), '\n');
        unterminated = block[got - 1] != '\n';
    }
    if (size != 0 && (stream == nullptr || std::ferror(stream) != 0)) {
        say("%s cannot be read: the run would put a line end before its lines\n", path);
        return;
    }
    lines += unterminated ? 1 : 0;
    say("%s holds %lld line%s%s\n", path, static_cast<long long>(lines), lines == 1 ? "" : "s",
        unterminated ? ", the last without a line end: the run would end it first" : "");
}

bool overlaps(const RunSettings& settings, int32_t loggedMin, int32_t loggedMax) {
    return loggedMin < loggedMax && loggedMin < settings.NMax && settings.NMin < loggedMax;
}

// Names the logged ranges that overlap. Lines are counted by their line
// ends, whatever they hold; a logged range lies in the first read of its
// line.
Verdict name_overlaps(std::FILE* log, int64_t size, const RunSettings& settings) {
    if (log == nullptr) return size == 0 ? Verdict::kClear : ranges_not_checked();
    InputReads reads(log, shared_input_block(), InputMode::kBinary);
    int32_t named = 0;
    int32_t number = 0;
    bool atLineStart = true;
    for (InputSpan read{}; reads.next_read(read); atLineStart = read.end[-1] == '\n') {
        int32_t loggedMin = 0;
        int32_t loggedMax = 0;
        if (!atLineStart) continue;
        ++number;
        if (!read_logged_range(read.begin, read.end, loggedMin, loggedMax) ||
            !overlaps(settings, loggedMin, loggedMax))
            continue;
        say("%s already shows n from %d to %d: line %d\n", kRunLogName, loggedMin, loggedMax, number);
        ++named;
    }
    if (reads.failed()) return ranges_not_checked();
    return named > 0 ? Verdict::kSecondLook : Verdict::kClear;
}

// A regular file is opened as the run opens it, without creating it or
// waiting, and read through that handle; the lock is asked for as the run
// takes it, and given back at once.
Verdict look_at_regular(const Destination& destination, Reading reading, const RunSettings& settings) {
    const char* path = destination.path;
    AppendHandle handle{};
    const OpenOutcome opened = open_for_append(path, OpenFor::kLook, handle);
    if (opened == OpenOutcome::kChanged) {
        say_note("%s changed while the preview looked at it: look again", path);
        return Verdict::kClear;
    }
    if (opened != OpenOutcome::kOpened) {
        if (reading == Reading::kLoggedRanges) ranges_not_checked();
        return run_fails_at(destination);
    }
    std::FILE* stream = handle.readable ? read_stream(handle) : nullptr;
    const int64_t size = file_facts(handle).size;
    Verdict verdict = Verdict::kClear;
    if (reading == Reading::kLines)
        describe_lines(path, stream, size);
    else
        verdict = name_overlaps(stream, size, settings);
    if (stream != nullptr) std::fclose(stream);
    const bool locked = !try_lock_for_append(handle);
    close_append_handle(handle);
    if (locked) say("Another program holds the lock on %s: the run would wait for it\n", path);
    return verdict;
}

Verdict look_at_missing(const Destination& destination, Reading reading) {
    switch (may_create(destination.path)) {
        case Creation::kRefused:
            return run_fails_at(destination);
        case Creation::kAllowed:
            if (reading == Reading::kLines) say("%s does not exist yet: the run would create it\n", destination.path);
            return Verdict::kClear;
        case Creation::kUnknown:
            break;
    }
    say("%s does not exist yet: whether the run can create it there cannot be told before it tries\n",
        destination.path);
    return Verdict::kSecondLook;
}

// What a run that appends to the destination would meet there, and what
// the preview reads of it. Only a regular file is opened, never a FIFO or
// a device, whose other end may be a program waiting for the run.
Verdict look_at(const Destination& destination, Reading reading, const RunSettings& settings) {
    const char* path = destination.path;
    const FileKind kind = kind_at(path);
    if (kind == FileKind::kNone) return look_at_missing(destination, reading);
    if (kind == FileKind::kRegular) return look_at_regular(destination, reading, settings);
    const Verdict logged = reading == Reading::kLoggedRanges ? ranges_not_checked() : Verdict::kClear;
    switch (kind) {
        case FileKind::kFifo:
            say("%s is a FIFO: the run writes to the program that reads it, %s\n", path,
                destination.waitsForReader ? "and waits until one does" : "or goes on without it when none does");
            return logged;
        case FileKind::kDevice:
            if (!may_write(path)) return run_fails_at(destination);
            if (reading == Reading::kLines) say("%s is a device: the lines would go to it\n", path);
            return logged;
        default:
            return std::max(logged, run_fails_at(destination));
    }
}

}  // namespace

void note_arguments(const Words& words, const RunSettings& settings) {
    const std::array<int32_t, kFolderPlace> values = {settings.NMin, settings.NMax, settings.SieveDepth,
                                                      settings.WactorWorth};
    for (int32_t place = 0; place < kFolderPlace; ++place) {
        const char* text = placed_word(words, place);
        const auto at = static_cast<std::size_t>(place);
        if (!is_taken_as_typed(place, text)) say_note("%s \"%s\" is read as %d", kNumberNames[at], text, values[at]);
    }
    for (int32_t place = kFolderPlace + 1; const char* extra = placed_word(words, place); ++place)
        say_note("\"%s\" after the folder is ignored", extra);
    if (settings.NMin >= settings.NMax)
        say_note("NMin %d is not below NMax %d: the range is empty", settings.NMin, settings.NMax);
}

Verdict look_at_writes(const CandidateTable& table, const RunSettings& settings) {
    const WorkLines lines = format_work_lines(table, settings);
    say("Would output %d candidates to %s\n", lines.count, settings.outputPath.data());
    list_lines({lines.text.data(), lines.text.size()});
    const Verdict work = look_at(work_file_destination(settings), Reading::kLines, settings);
    if (work == Verdict::kRunFails) return work;
    return std::max(work, look_at(kRunLogDestination, Reading::kLoggedRanges, settings));
}

int end_preview(StageStatus status, Verdict verdict) {
    say("Dry run: nothing was written\n");
    if (status == StageStatus::kFailed || verdict == Verdict::kRunFails) return kExitFailure;
    return verdict == Verdict::kSecondLook || notes_said() > 0 ? kExitSecondLook : kExitSuccess;
}
