// What differs between the operating systems the tool is built for: the
// constants here, the calls in host_posix.cpp and host_windows.cpp. (What
// differs between processors lives in the sieve reader's skipping kernels.)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <span>

#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

// Windows separates directories with a backslash and ends written lines in
// CR LF; elsewhere lines end in LF.
//
// A Windows command line hands "C:\My client\" to the program as C:\My
// client" (a backslash before a quote makes a literal quote), and a Windows
// path never holds a quote: a folder argument that ends in one has it
// dropped there. Windows programs also answer "/?" with their help.
inline constexpr char kDirectorySeparator = kWindows ? '\\' : '/';
inline constexpr const char* kLineEnd = kWindows ? "\r\n" : "\n";
inline constexpr std::size_t kLineEndLength = kWindows ? 2 : 1;
inline constexpr bool kDropsTrailingQuote = kWindows;
inline constexpr const char* kHostHelpOption = kWindows ? "/?" : "--help";
inline constexpr const char* kFullDocumentation = kWindows ? "README.txt beside brisvel.exe" : "man brisvel";

// Converts a calendar time to local time under the time zone and daylight
// saving rules in force (TZ included). False, leaving local unchanged, when
// the time cannot be converted.
bool to_local_time(std::time_t time, std::tm& local);

// Standard output in a console window shows the run's UTF-8 text (paths
// with any characters) as written: its code page is UTF-8 for the run, and
// the user's code page is put back at the end, also when the run is
// interrupted. Output that is redirected, and other hosts, are left alone.
void show_utf8_in_console();
void restore_console();

// Settings for the whole process, made once when the run starts, before
// anything is opened: standard input, output and error that the process
// was started without get the null device, so that no file of the run can
// become one of them and take the console's text; a write past the
// file-size limit or into a pipe that nobody reads any more fails like any
// other write instead of ending the process; and on Windows the console's
// events (Ctrl-C, Ctrl-Break, a closing window) wait for the report window
// below and put the user's code page back. False when a standard stream
// could not be given the null device: the run must not open any file.
bool prepare_process();

// The report window: from the first byte written to the work file until
// the run log's line is written (or its failure reported) and standard
// output is flushed, every signal that another program can send is held:
// one that arrives meanwhile takes effect when the window closes, so the
// work file, the "Output" line and the log line agree. (A fault of the
// process itself still ends it at once: the system delivers such a signal
// even while it is held.) Opening it when it is open leaves it so; closing
// it flushes standard output, then lets held signals act.
void open_report_window();
void close_report_window();

// Whether a signal that would end the process is being held: a write that
// cannot go on (a FIFO whose reader stopped reading) gives up then, so that
// the signal can end the run.
bool ending_signal_held();

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
};

// Opens path for appending, creating a regular file when there is none
// (through a link: the file it names). What the handle holds decides the
// rest: a regular file is opened for reading too unless it cannot be read;
// anything else (a FIFO, a device) is held for writing alone, as fopen's
// "a" would. A FIFO without a reader is kNoReader unless waitForReader,
// which waits for one. Other programs may still read, write, rename over or
// remove the file while the run holds it.
OpenOutcome open_for_append(const char* path, bool waitForReader, AppendHandle& handle);

// Takes the exclusive lock on the file, held until it is closed, when no
// other program holds it; false when one does. A file system that offers no
// lock, and a device, count as locked.
bool try_lock_for_append(const AppendHandle& handle);

// Waits for the exclusive lock.
void lock_for_append(const AppendHandle& handle);

// Whether path still names the file the handle holds: another program may
// have renamed a new file over it, or removed it, before the lock was ours.
bool path_names_handle(const char* path, const AppendHandle& handle);

FileFacts file_facts(const AppendHandle& handle);

// The byte at offset; false when it cannot be read.
bool read_byte_at(const AppendHandle& handle, int64_t offset, char& byte);

// Appends first and then second, as one write call where the host has one
// for two pieces and writes all that is asked; returns how many bytes were
// written before a failure, or all of them. A write that cannot go on (a
// FIFO whose reader stopped reading) waits, and gives up once a signal that
// would end the process is held.
int64_t append_bytes(const AppendHandle& handle, std::span<const char> first, std::span<const char> second);

// Flushes what was written to stable storage. A file that is no regular
// file and cannot be flushed (a device, a pipe) counts as flushed.
bool flush_to_storage(const AppendHandle& handle, bool regular);

// Cuts the file to size bytes; false when the cut failed.
bool cut_to(const AppendHandle& handle, int64_t size);

void close_append_handle(const AppendHandle& handle);

// Room for the path of a folder.
using FolderPath = std::array<char, 4096>;

// The folder that holds the file the handle holds (opened by path): the
// link's target's folder when path is a link. False when it is not known.
bool folder_of(const AppendHandle& handle, const char* path, FolderPath& folder);

// Makes the folder entry of the file the handle holds durable; problems are
// ignored, as the file's own content is already on storage.
void flush_folder_of(const AppendHandle& handle, const char* path);
