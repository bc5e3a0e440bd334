// What differs between the operating systems the tool is built for: it
// lives here, in host.cpp and in the append host files. (What differs
// between processors lives in the sieve reader's skipping kernels.)
#pragma once

#include <cstddef>
#include <ctime>

#ifndef _WIN32
#include <signal.h>
#endif

#include "input_reads.h"

// Windows separates directories with a backslash, ends written lines in CR
// LF and reads input files as its runtime's text mode does; elsewhere lines
// end in LF and files are read as raw bytes.
//
// A Windows command line hands "C:\My client\" to the program as C:\My
// client" (a backslash before a quote makes a literal quote), and a Windows
// path never holds a quote: a folder argument that ends in one has it
// dropped there. Windows programs also answer "/?" with their help.
#ifdef _WIN32
inline constexpr char kDirectorySeparator = '\\';
inline constexpr char kLineEnd[] = "\r\n";
inline constexpr InputMode kHostInputMode = InputMode::kText;
inline constexpr bool kDropsTrailingQuote = true;
inline constexpr const char* kHostHelpOption = "/?";
inline constexpr const char* kFullDocumentation = "README.txt beside brisvel.exe";
#else
inline constexpr char kDirectorySeparator = '/';
inline constexpr char kLineEnd[] = "\n";
inline constexpr InputMode kHostInputMode = InputMode::kBinary;
inline constexpr bool kDropsTrailingQuote = false;
inline constexpr const char* kHostHelpOption = "--help";
inline constexpr const char* kFullDocumentation = "man brisvel";
#endif
inline constexpr std::size_t kLineEndLength = sizeof kLineEnd - 1;

// Converts a calendar time to local time under the time zone and daylight
// saving rules in force (TZ included). False, leaving local unchanged, when
// the time cannot be converted.
bool to_local_time(std::time_t time, std::tm& local);

// Standard output in a console window shows the run's UTF-8 text (paths
// with any characters) as written: its code page is UTF-8 for the run, and
// the user's code page is put back at the end, also when the run is
// interrupted. Output that is redirected, and other hosts, are left alone.
struct ConsoleOutput {
    unsigned previousCodePage;
    bool changed;
};

void show_utf8_in_console(ConsoleOutput& console);
void restore_console(const ConsoleOutput& console);

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

// From the first byte written to the work file until the run log's line is
// written (or its failure reported) and standard output is flushed, every
// signal that another program can send is held: one that arrives meanwhile
// takes effect when the window closes, so the work file, the "Output" line
// and the log line agree. (A fault of the process itself still ends it at
// once: the system delivers such a signal even while it is held.)
struct ReportWindow {
    bool open;
#ifndef _WIN32
    sigset_t previousMask;
#endif
};

// Opening a window that is open already leaves it as it is.
void open_report_window(ReportWindow& window);
// Flushes standard output, then lets held signals act. Does nothing more
// when the window was never opened.
void close_report_window(ReportWindow& window);

// Whether a signal that would end the process is being held: a write that
// cannot go on (a FIFO whose reader stopped reading) gives up then, so that
// the signal can end the run.
bool ending_signal_held();
