// The reads of an input file, as fgets into a 100-byte buffer makes them: a
// read takes at most 99 characters and stops after a newline, so a longer
// line is taken in several reads, each of which is handled as a line of its
// own. A read is used as a C string: bytes after a zero byte are ignored.
//
// The file is read a block at a time into fixed storage. In text mode the
// reads are those that the Windows runtime gives a file opened in text mode:
// there CR LF becomes LF (a lone CR stays) and a byte 0x1A ends the file.
// The CR of a CR LF is left in place, where it counts for no character of
// the read that it ends: a read holds at most 99 characters, and one that
// ends in CR LF may so hold 100 bytes. What the readers take from a read,
// the first character and the numbers, is the same either way.
//
// A file that starts with a UTF-16 byte-order mark (as Windows PowerShell
// and Notepad's "Unicode" save text) is read as the text it holds: one byte
// a character, an ASCII character as itself and any other as '?', a byte
// that no number or keyword holds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "host.h"
#include "kernels.h"

enum class InputMode {
    kBinary,
    kText,
};

// Windows programs read their inputs in the runtime's text mode; elsewhere
// files are read as raw bytes, unless a build for measurements reads them
// as Windows does (BRISVEL_TEXT_MODE).
#ifdef BRISVEL_TEXT_MODE
inline constexpr bool kTextModeBuild = true;
#else
inline constexpr bool kTextModeBuild = false;
#endif
inline constexpr InputMode kHostInputMode = kWindows || kTextModeBuild ? InputMode::kText : InputMode::kBinary;

inline constexpr std::size_t kInputBlockSize = 256 * 1024;

// Bytes [begin, end) of the data.
struct InputSpan {
    const char* begin;
    const char* end;
};

// The reads of a file, taken from a block of its bytes that the reader
// holds; one reader reads one file.
class InputReads {
public:
    InputReads(std::FILE* file, InputMode mode);
    InputReads(const InputReads&) = delete;
    InputReads& operator=(const InputReads&) = delete;

    // The bytes not taken yet: at least the next whole read, empty once the
    // data has ended. After a read error the lines read whole before it are
    // still data; then it ends, and failed() tells.
    InputSpan unread();
    // Takes the next read of unread(), which must not be empty.
    InputSpan take_read();
    // Takes the next read; false at the end of the data.
    bool next_read(InputSpan& read);
    // Takes the unread bytes before p, the start of a line in unread().
    void skip_to(const char* p) { next_ = p; }
    bool failed() const { return failed_; }

private:
    void fill();

    std::FILE* file_;
    InputMode mode_;
    const char* next_;  // the unread bytes are [next_, end_)
    const char* end_;
    bool atEndOfFile_;  // nothing more is to be read from the file
    bool failed_;       // reading stopped at a read error
    enum class Encoding { kUnknown, kBytes, kUtf16Le, kUtf16Be } encoding_;
    std::array<char, kInputBlockSize> block_;
};

// Turns the UTF-16 code units [units, units + length), in the byte order
// that bigEndian says, into one byte a character at bytes, which may be
// units itself or lie before it, as InputReads reads such a file (a
// surrogate pair counts once; an odd last byte, half a unit, gives a '?');
// returns the bytes made.
std::size_t narrowed_utf16(const char* units, std::size_t length, char* bytes, bool bigEndian);
