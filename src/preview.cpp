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

// The run's own line where it could not open the destination.
Verdict run_fails_at(const Destination& destination) {
    say_not_opened(destination);
    return destination.failureEndsRun ? Verdict::kRunFails : Verdict::kClear;
}

// How many lines a regular file holds, and whether the run would end its
// last line first; file is nullptr where it cannot be read.
void describe_lines(const char* path, std::FILE* file) {
    InputBlock& block = shared_input_block();
    int64_t lines = 0;
    bool unterminated = false;  // the last line has no line end
    for (std::size_t got = 0; file != nullptr && (got = std::fread(block.data(), 1, kInputBlockSize, file)) > 0;) {
        lines += std::count(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(got), '\n');
        unterminated = block[got - 1] != '\n';
    }
    if (file == nullptr || std::ferror(file) != 0) {
        say("%s cannot be read: the run would put a line end before its lines\n", path);
        return;
    }
    lines += unterminated ? 1 : 0;
    say("%s holds %lld line%s%s\n", path, static_cast<long long>(lines), lines == 1 ? "" : "s",
        unterminated ? ", the last without a line end: the run would end it first" : "");
}

// A regular file is opened for reading only, to count its lines and to ask
// for its lock.
Verdict look_at_regular(const Destination& destination, bool describe) {
    if (!may_write(destination.path)) return run_fails_at(destination);
    std::FILE* file = open_input(destination.path, false);
    if (describe) describe_lines(destination.path, file);
    const bool locked = file != nullptr && lock_held_elsewhere(file);
    if (file != nullptr) std::fclose(file);
    if (locked) say("Another program holds the lock on %s: the run would wait for it\n", destination.path);
    return Verdict::kClear;
}

Verdict look_at_missing(const Destination& destination, bool describe) {
    switch (may_create(destination.path)) {
        case Creation::kRefused:
            return run_fails_at(destination);
        case Creation::kAllowed:
            if (describe) say("%s does not exist yet: the run would create it\n", destination.path);
            return Verdict::kClear;
        case Creation::kUnknown:
            break;
    }
    say("%s does not exist yet: whether the run can create it there cannot be told before it tries\n",
        destination.path);
    return Verdict::kSecondLook;
}

// What a run that appends to the destination would meet there. With
// describe, also what the file is and holds.
Verdict look_at(const Destination& destination, bool describe) {
    const char* path = destination.path;
    switch (kind_at(path)) {
        case FileKind::kNone:
            return look_at_missing(destination, describe);
        case FileKind::kRegular:
            return look_at_regular(destination, describe);
        case FileKind::kFifo:
            say("%s is a FIFO: the run writes to the program that reads it, %s\n", path,
                destination.waitsForReader ? "and waits until one does" : "or goes on without it when none does");
            return Verdict::kClear;
        case FileKind::kDevice:
            if (!may_write(path)) return run_fails_at(destination);
            if (describe) say("%s is a device: the lines would go to it\n", path);
            return Verdict::kClear;
        case FileKind::kFolder:
        case FileKind::kOther:
            break;
    }
    return run_fails_at(destination);
}

bool overlaps(const RunSettings& settings, int32_t loggedMin, int32_t loggedMax) {
    return loggedMin < loggedMax && loggedMin < settings.NMax && settings.NMin < loggedMax;
}

// Names the logged ranges that overlap; returns how many. Lines are counted
// by their line ends, whatever they hold; a logged range lies in the first
// read of its line.
int32_t name_overlaps(InputReads& reads, const RunSettings& settings) {
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
    return named;
}

// Only a regular run log is read: a FIFO would give its bytes to the
// preview instead of its reader.
Verdict look_at_logged_ranges(const RunSettings& settings) {
    const FileKind kind = kind_at(kRunLogName);
    if (kind == FileKind::kNone) return Verdict::kClear;
    std::FILE* log = kind == FileKind::kRegular ? open_input(kRunLogName, false) : nullptr;
    int32_t named = 0;
    bool readToEnd = false;
    if (log != nullptr) {
        InputReads reads(log, shared_input_block(), InputMode::kBinary);
        named = name_overlaps(reads, settings);
        readToEnd = !reads.failed();
    }
    if (log != nullptr) std::fclose(log);
    if (!readToEnd) say("Could not read %s to its end: earlier ranges were not checked\n", kRunLogName);
    return named > 0 || !readToEnd ? Verdict::kSecondLook : Verdict::kClear;
}

}  // namespace

Verdict note_arguments(const Words& words, const RunSettings& settings) {
    const std::array<int32_t, kFolderPlace> values = {settings.NMin, settings.NMax, settings.SieveDepth,
                                                      settings.WactorWorth};
    int32_t notes = 0;
    for (int32_t place = 0; place < kFolderPlace; ++place) {
        const char* text = placed_word(words, place);
        const auto at = static_cast<std::size_t>(place);
        if (is_taken_as_typed(place, text)) continue;
        say("Note: %s \"%s\" is read as %d\n", kNumberNames[at], text, values[at]);
        ++notes;
    }
    for (int32_t place = kFolderPlace + 1; const char* extra = placed_word(words, place); ++place) {
        say("Note: \"%s\" after the folder is ignored\n", extra);
        ++notes;
    }
    if (settings.NMin >= settings.NMax) {
        say("Note: NMin %d is not below NMax %d: the range is empty\n", settings.NMin, settings.NMax);
        ++notes;
    }
    return notes > 0 ? Verdict::kSecondLook : Verdict::kClear;
}

Verdict look_at_writes(const CandidateTable& table, const RunSettings& settings) {
    const WorkLines lines = format_work_lines(table, settings);
    say("Would output %d candidates to %s\n", lines.count, settings.outputPath.data());
    list_lines({lines.text.data(), lines.text.size()});
    const Verdict work = look_at(work_file_destination(settings), true);
    if (work == Verdict::kRunFails) return work;
    const Verdict logged = look_at_logged_ranges(settings);
    return std::max({work, logged, look_at(kRunLogDestination, false)});
}

int end_preview(StageStatus status, Verdict verdict) {
    say("Dry run: nothing was written\n");
    if (status == StageStatus::kFailed || verdict == Verdict::kRunFails) return kExitFailure;
    return verdict == Verdict::kSecondLook ? kExitSecondLook : kExitSuccess;
}
