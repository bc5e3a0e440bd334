// The line reads shared by the input files: fgets into a 100-byte buffer, so
// one read takes at most 99 characters and stops after a newline. A longer
// line is taken in several reads, each of which is handled as a line of its
// own; each read is used as a C string (bytes after a NUL are ignored).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

inline constexpr std::size_t kLineBufferSize = 100;

enum class ReadOutcome {
    kEndOfFile,
    kStopped,  // take asked to stop
    kReadError,
};

// Skips the first headerReads reads of in, then passes each further read to
// take, which returns false to stop reading.
template <typename Take>
ReadOutcome for_each_read(std::FILE* in, int32_t headerReads, Take&& take) {
    std::array<char, kLineBufferSize> line{};
    int32_t skipped = 0;
    while (std::fgets(line.data(), static_cast<int>(line.size()), in) != nullptr) {
        if (skipped < headerReads) {
            ++skipped;
            continue;
        }
        if (!take(line.data())) return ReadOutcome::kStopped;
    }
    return std::ferror(in) != 0 ? ReadOutcome::kReadError : ReadOutcome::kEndOfFile;
}
