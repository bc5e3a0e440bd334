// The reads of an input file, as fgets into a 100-byte buffer makes them: a
// read takes at most 99 characters and stops after a newline, so a longer
// line is taken in several reads, each of which is handled as a line of its
// own. A read is used as a C string: bytes after a zero byte are ignored.
//
// The file is read a block at a time into fixed storage. In text mode the
// bytes are first read as the Windows runtime reads a file opened in text
// mode: CR LF becomes LF (a lone CR stays), and a byte 0x1A ends the file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>

enum class InputMode {
    kBinary,
    kText,
};

inline constexpr std::size_t kInputBlockSize = 256 * 1024;
// Bytes after the block's room for data, so that a reader may load a few
// bytes past the end of a read (and ignore them).
inline constexpr std::size_t kInputBlockSlack = 8;
using InputBlock = std::array<char, kInputBlockSize + kInputBlockSlack>;

struct InputReads {
    std::FILE* file;
    InputBlock* block;
    InputMode mode;
    const char* next;  // the unread bytes are [next, end)
    const char* end;
    bool atEndOfFile;  // nothing more is to be read from the file
    bool heldCr;       // text mode: a CR ended the last block read, its meaning still open
    bool failed;       // reading stopped at a read error; the whole lines before it are kept
};

InputReads start_reads(std::FILE* file, InputBlock& block, InputMode mode);

// Makes sure the next whole read lies in [next, end), reading more of the
// file when needed. After a read error the lines read whole before it are
// still taken, then the data ends and failed is set.
void fill_for_read(InputReads& reads);

// Where the read that starts at next ends: after its newline, after 99
// characters, or at the end of the data.
const char* read_end(const InputReads& reads);
