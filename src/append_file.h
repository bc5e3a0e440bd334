// Appending lines to a text file that others keep: earlier content is never
// changed, a new line never fuses with an unterminated last line, and a run
// whose writes fail leaves the file as it found it.
#pragma once

#include <cstdint>
#include <cstdio>

struct AppendFile {
    std::FILE* stream;
    int64_t originalSize;      // -1 when the size could not be read
    bool lastLineUnterminated; // the file's last byte is not a newline
};

// Opens path in text append mode (creating it when absent) and notes the
// file's size and last byte. False when it cannot be opened.
bool open_append_file(const char* path, AppendFile& file);

// Writes text as the next part of the appended content; the first call puts
// a newline before it when the file's last line was unterminated. False when
// the write failed.
bool append_text(AppendFile& file, const char* text);

// Flushes and closes the file. When any write failed (writesSucceeded false,
// or the flush or close fails) the file is cut back to its original size and
// false is returned.
bool close_append_file(AppendFile& file, const char* path, bool writesSucceeded);
