// What differs between the operating systems the tool is built for: the
// constants here, the calls in host_posix.cpp and host_windows.cpp. (What
// differs between processors lives in kernels.h.) Every file the tool opens
// goes through open_input or open_for_append, and what an opened file is
// comes from its handle.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <span>
#include <string_view>

#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

// Windows separates directories with a backslash and ends written lines in
// CR LF; elsewhere lines end in LF.
//
// A folder word that holds a quote is cut there on Windows, where no path
// can hold one (command_line.h).
inline constexpr char kDirectorySeparator = kWindows ? '\\' : '/';
inline constexpr const char* kLineEnd = kWindows ? "\r\n" : "\n";
inline constexpr std::size_t kLineEndLength = kWindows ? 2 : 1;
inline constexpr bool kCutsFolderAtQuote = kWindows;

// Converts a calendar time to local time under the time zone and daylight
// saving rules in force (TZ included). False, leaving local unchanged, when
// the time cannot be converted.
bool to_local_time(std::time_t time, std::tm& local);

// A console window of Windows shows the run's UTF-8 text (paths with any
// characters) as written: its code page is UTF-8 from the start of the run,
// and the user's code page is put back at its end, also when the run is
// interrupted. A run that Explorer started by a double-click says at its
// end, after its usual output, that it is a command-line tool and how to
// run it, and waits for Enter, so that its window does not close before it
// is read. Output that is redirected, every other start, and other hosts,
// are left alone.
void begin_console();
void end_console();

// Settings for the whole process, made once when the run starts, before
// anything is opened: standard input, output and error that the process
// was started without get the null device, so that no file of the run can
// become one of them and take the console's text; a write past the
// file-size limit or into a pipe that nobody reads any more fails like any
// other write instead of ending the process; and on Windows the console's
// events (Ctrl-C, Ctrl-Break, a closing window) wait while signals are
// held (below) and put the user's code page back. False when a standard stream
// could not be given the null device: the run must not open any file.
bool prepare_process();

// From the first byte written to the work file until the run log's line is
// written (or its failure reported), every signal that another program can
// send is held: one that arrives meanwhile takes effect when they are
// released, so the work file, the "Output" line and the log line agree. (A
// fault of the process itself still ends it at once: the system delivers
// such a signal even while it is held.) Holding them first flushes what was
// printed before, where a signal still acts at once; holding them while
// they are held changes nothing. Releasing them lets held signals act.
void hold_signals();
void release_signals();
bool signals_held();

// Whether a signal that is held would end the process: a
// wait that may never end (a FIFO whose reader stopped reading, another
// program's lock, a console that takes no text) gives up then, so that the
// signal can end the run. A signal that was blocked before the run started
// is the starting program's business and never counts.
bool ending_signal_held();

// Writes text to standard output at once, bypassing its buffer, in small
// pieces while it takes them; gives up on the rest when a signal that
// would end the process is held, or a write fails.
void write_to_console(std::span<const char> text);

// The most bytes that one write puts into a FIFO or pipe whole or not at
// all, on every host.
inline constexpr std::size_t kWholePipeWrite = 4096;

// Opens an input for reading, as fopen opens it (a FIFO waits for a
// writer), for the caller to close; nullptr when it is not there or cannot
// be opened (the failure is remembered).
std::FILE* open_input(const char* path);

// Why the host's last call failed, remembered where it failed: an open,
// a read, a write or a flush.
void remember_failure();
// Whether it failed for want of the file (or of its folder).
bool failure_was_missing();
// The system's words for it, in text.
void describe_failure(std::span<char> text);

// One file opened for appending, for reading, appending, locking, flushing
// and cutting back. Its bytes are written as given on both hosts.
struct AppendHandle {
    int descriptor;
    bool readable;  // opened for reading too, so its last byte can be read
    bool created;   // this open created the file
};

struct FileFacts {
    bool regular;  // a regular file: sizes mean something and it can be cut
    int64_t size;  // -1 when unknown
};

enum class OpenOutcome {
    kOpened,
    kNoReader,   // a FIFO that no program reads yet; nothing was opened
    kNotOpened,  // it cannot be opened for appending at all
    kChanged,    // the name's kind changed between the look at it and the open; nothing is held
};

enum class OpenFor {
    kAppend,
    kAppendWaitingForReader,  // a FIFO without a reader is waited for
    kLook,  // a preview's: a regular file opened as a run opens it, but never created or waited for
};

// Opens path for appending, creating a regular file when there is none
// (through links: the file they name), in one open that the handle then
// classifies. A regular file is opened for reading and appending, unless
// it cannot be read, so that its last byte is read through the handle the
// lines go through; anything else (a FIFO, a device) is held for writing
// alone, as fopen's "a" would. A FIFO without a reader is kNoReader unless
// the purpose waits for one; a socket cannot be opened. Other programs may
// still read, write, rename over or remove the file while the run holds
// it. A look opens only a regular file that is there, with the same access
// and sharing, and closes unread a handle that holds anything else.
OpenOutcome open_for_append(const char* path, OpenFor purpose, AppendHandle& handle);

// A stream that reads the regular file the handle holds from its start,
// for the caller to close; nullptr when it cannot be made.
std::FILE* read_stream(const AppendHandle& handle);

// Takes the exclusive lock on the file, held until it is closed, when no
// other program holds it; false when one does. A file system that offers no
// lock, and a device, count as locked.
bool try_lock_for_append(const AppendHandle& handle);

// Pauses the run for a moment: what a wait that asks again and again does
// between two asks.
void pause_briefly();

// Whether path still names the file the handle holds: another program may
// have renamed a new file over it, or removed it, before the lock was ours.
bool path_names_handle(const char* path, const AppendHandle& handle);

FileFacts file_facts(const AppendHandle& handle);

// The byte at offset; false when it cannot be read.
bool read_byte_at(const AppendHandle& handle, int64_t offset, char& byte);

// Appends bytes, as one write call where the system writes all that is
// asked; returns how many bytes were written before a failure, or all of
// them. A write that cannot go on (a FIFO whose reader stopped reading)
// waits, and gives up once a signal that would end the process is held.
int64_t append_bytes(const AppendHandle& handle, std::span<const char> bytes);

// Flushes what was written to stable storage. A file that is no regular
// file and cannot be flushed (a device, a pipe) counts as flushed.
bool flush_to_storage(const AppendHandle& handle, bool regular);

// Cuts the file to size bytes; false when the cut failed.
bool cut_to(const AppendHandle& handle, int64_t size);

void close_append_handle(const AppendHandle& handle);

// Room for the path of a folder.
using FolderPath = std::array<char, 4096>;

// The folder that holds the file at path, or would hold it once created:
// through a chain of links, the last target's. False when it does not fit.
bool folder_of(const char* path, FolderPath& folder);

// Cuts a path to its folder, where its last separator (on Windows either
// slash) stands, the root's separator kept; "." when it has none.
inline void cut_to_folder(FolderPath& path) {
    const std::string_view text(path.data());
    const std::size_t cut = text.find_last_of(kWindows ? "\\/" : "/");
    if (cut == std::string_view::npos) {
        std::snprintf(path.data(), path.size(), ".");
        return;
    }
    const bool root = cut == 0 || (kWindows && text[cut - 1] == ':');
    path[cut + (root ? 1 : 0)] = '\0';
}

// Makes the folder entry of the file just created at path durable; problems
// are ignored, as the file's own content is already on storage.
void flush_folder_of(const char* path);

// What a preview asks the system about a file without opening it, locking
// it or waiting for it. What a name shows may change before a run opens it.
enum class FileKind {
    kNone,  // there is no such file
    kRegular,
    kFolder,
    kFifo,
    kDevice,
    kOther,  // a socket, or a name that cannot be looked at
};

// What path names now, links followed.
FileKind kind_at(const char* path);

// Whether this user may write the file at path.
bool may_write(const char* path);

// The current folder, where the inputs and the run log are; "." when it
// cannot be told.
void current_folder(FolderPath& folder);

enum class Creation {
    kRefused,  // the folder is missing or refuses this user
    kAllowed,
    kUnknown,  // the folder lets this user in, but its file system may refuse new files all the same
};

// Whether a run could create the file at path, where there is none yet.
Creation may_create(const char* path);
