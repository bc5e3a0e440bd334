// The console: every message of the tool goes to standard output through
// say, as printf would print it.
//
// Inside the report window (host.h), where signals are held, a console that
// takes no text (a pipe nobody reads, a terminal paused with Ctrl-S) must not
// hold the run for ever: there say writes at once, waiting only until a held
// signal would end the run, and then drops the text. The files are whole by
// then; only console text is lost.
#pragma once

#include <cstdint>

#ifdef __GNUC__
__attribute__((format(printf, 1, 2)))
#endif
void say(const char* format, ...);

// "Note: " and the text: what the tool adds after the description's
// lines. A preview that said one asks for a second look.
#ifdef __GNUC__
__attribute__((format(printf, 1, 2)))
#endif
void say_note(const char* format, ...);
int32_t notes_said();

// The note that follows a failure on the file at path: why the host's
// last call failed, in the system's words, and for a name without a
// folder, the folder it was looked for in; an input that is not there is
// "Note: no drask.dat in <folder>".
void say_why(const char* path, bool input = false);

// Whether a run was started by a double-click: it is the only process of
// its console window, and its standard input and output are that console.
// (A run in a console that a shell holds shares it; a script or a pipe
// gives it other input or output.) Such a run explains itself before its
// window closes (host.h).
inline bool is_double_click_start(uint32_t consoleProcesses, bool inputIsConsole, bool outputIsConsole) {
    return consoleProcesses == 1 && inputIsConsole && outputIsConsole;
}
