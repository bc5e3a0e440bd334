// The host's calls behind appending to a file that others keep: one handle
// for reading, appending, locking, flushing and cutting back, and a window in
// which interrupts wait. POSIX in append_host_posix.cpp, Windows in
// append_host_windows.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

#ifndef _WIN32
#include <signal.h>
#endif

// One open file. Windows opens it in binary mode, so the bytes written are
// exactly the bytes given on both hosts.
struct AppendHandle {
    int descriptor;
    bool readable;  // opened for reading too, so its last byte can be read
};

struct FileFacts {
    bool regular;  // a regular file: sizes mean something and it can be cut
    int64_t size;  // -1 when unknown
};

// Opens path for reading and appending, creating it when absent; a file
// that cannot be read is opened for appending alone. False when it cannot
// be opened for appending at all.
bool open_for_append(const char* path, AppendHandle& handle);

// Waits for an exclusive lock on the file, held until it is closed. A file
// system that offers no lock is used without one.
void lock_for_append(const AppendHandle& handle);

FileFacts file_facts(const AppendHandle& handle);

// The byte at offset; false when it cannot be read.
bool read_byte_at(const AppendHandle& handle, int64_t offset, char& byte);

// Appends length bytes, as one write call unless the host writes less than
// asked; returns how many were written before a failure, or all of them.
int64_t append_bytes(const AppendHandle& handle, const char* bytes, std::size_t length);

// Flushes what was written to stable storage. A file that is no regular
// file and cannot be flushed (a device, a pipe) counts as flushed.
bool flush_to_storage(const AppendHandle& handle, bool regular);

// Cuts the file to size bytes; false when the cut failed.
bool cut_to(const AppendHandle& handle, int64_t size);

void close_append_handle(const AppendHandle& handle);

// A write past the file-size limit fails like any other write instead of
// ending the process.
void fail_writes_past_file_size_limit();

// Interrupts (Ctrl-C, termination requests) that arrive between hold and
// release take effect at the release, so that a file is never left half
// written or half put back by them.
struct InterruptHold {
#ifdef _WIN32
    bool held;
#else
    sigset_t previousMask;
#endif
};

void hold_interrupts(InterruptHold& hold);
void release_interrupts(const InterruptHold& hold);
