// The console: every message of the tool goes to standard output through
// say, as printf would print it.
//
// Inside the report window (host.h), where signals are held, a console that
// takes no text (a pipe nobody reads, a terminal paused with Ctrl-S) must not
// hold the run for ever: there say writes at once, waiting only until a held
// signal would end the run, and then drops the text. The files are whole by
// then; only console text is lost.
#pragma once

#ifdef __GNUC__
__attribute__((format(printf, 1, 2)))
#endif
void say(const char* format, ...);
