// The host's calls behind appending to a file that others keep: one handle
// for reading, appending, locking, flushing and cutting back. POSIX in
// append_host_posix.cpp, Windows in append_host_windows.cpp.
#pragma once

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

// Opens path for appending, creating a regular file when there is none. A
// regular file is opened for reading too unless it cannot be read; anything
// else (a FIFO, a device) is opened once for writing alone, as fopen's "a"
// would. False when it cannot be opened for appending at all.
bool open_for_append(const char* path, AppendHandle& handle);

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
// written before a failure, or all of them.
int64_t append_bytes(const AppendHandle& handle, std::span<const char> first, std::span<const char> second);

// Flushes what was written to stable storage. A file that is no regular
// file and cannot be flushed (a device, a pipe) counts as flushed.
bool flush_to_storage(const AppendHandle& handle, bool regular);

// Cuts the file to size bytes; false when the cut failed.
bool cut_to(const AppendHandle& handle, int64_t size);

void close_append_handle(const AppendHandle& handle);

// Makes the folder entry of a file this run created durable; problems are
// ignored, as the file's own content is already on storage.
void flush_folder_of(const char* path);
