// The console: every message of the tool goes to standard output through
// say, as printf would print it.
//
// While signals are held (host.h), a console that
// takes no text (a pipe nobody reads, a terminal paused with Ctrl-S) must not
// hold the run for ever: there say writes at once, waiting only until a held
// signal would end the run, and then drops the text. The files are whole by
// then; only console text is lost.
#pragma once

#include <cstdint>
#include <span>

#ifdef __GNUC__
__attribute__((format(printf, 1, 2)))
#endif
void say(const char* format, ...);

// Says each of the lines in text, which end in the host's line end, after
// before, one console line each: the console ends it as the host ends its
// lines.
void say_lines(const char* before, std::span<const char> text);

// "Note: " and the text: what the tool adds after the description's
// lines. A preview that said one asks for a second look.
#ifdef __GNUC__
__attribute__((format(printf, 1, 2)))
#endif
void say_note(const char* format, ...);

// A line of the preview's own that asks for a second look, said as say
// says it.
#ifdef __GNUC__
__attribute__((format(printf, 1, 2)))
#endif
void say_second_look(const char* format, ...);

// How many lines so far asked for a second look, notes among them.
int32_t second_looks();

// The note that follows a failure on the file at path: why the host's
// last call failed, in the system's words, and for a name without a
// folder, the folder it was looked for in; an input that is not there is
// "Note: no drask.dat in <folder>".
void say_why(const char* path, bool input = false);
