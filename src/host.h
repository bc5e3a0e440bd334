// What differs between the hosts the tool is built for. Everything
// host-specific lives here and in host.cpp.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>

#include "input_reads.h"

// Windows separates directories with a backslash and reads input files as
// its runtime's text mode does; elsewhere files are read as raw bytes.
#ifdef _WIN32
inline constexpr char kDirectorySeparator = '\\';
inline constexpr InputMode kHostInputMode = InputMode::kText;
#else
inline constexpr char kDirectorySeparator = '/';
inline constexpr InputMode kHostInputMode = InputMode::kBinary;
#endif

// The current position of a stream as a 64-bit offset; -1 on failure.
int64_t stream_position(std::FILE* stream);

// Cuts or extends the file at path to size bytes; false on failure.
bool truncate_file(const char* path, int64_t size);

// Converts a calendar time to local time under the time zone and daylight
// saving rules in force (TZ included). False, leaving local unchanged, when
// the time cannot be converted.
bool to_local_time(std::time_t time, std::tm& local);
