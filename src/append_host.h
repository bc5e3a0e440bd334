// The host's calls behind appending to a file that others keep: one handle
// for reading, appending, locking, flushing and cutting back. POSIX in
// append_host_posix.cpp, Windows in append_host_windows.cpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// One open file. Windows opens it in binary mode, so the bytes written are
// exactly the bytes given on both hosts.
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
// which waits for one.
OpenOutcome open_for_append(const char* path, bool waitForReader, AppendHandle& handle);

// Takes the exclusive lock on the file, held until it is closed, when no
// other program holds it; false when one does. A file system that offers no
// lock counts as locked.
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

// Makes the folder entry of the file the handle holds durable, when this
// run created it; problems are ignored, as the file's own content is
// already on storage.
void flush_folder_of(const AppendHandle& handle, const char* path);
