// Splitting a fuzz input into a range and the bytes of a file, and the
// check that ends a fuzz run with the condition that failed and where.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(condition)                                                                            \
    do {                                                                                                 \
        if (!(condition)) {                                                                              \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);          \
            std::abort();                                                                                \
        }                                                                                                \
    } while (false)

struct FuzzInput {
    int32_t NMin;
    int32_t NMax;
    const uint8_t* file;
    std::size_t fileSize;
};

// The first four bytes give NMin and the width of the range, both small
// enough that short files hold pairs inside it (the widest width stands for
// the whole 32-bit range); the rest is the file.
inline FuzzInput split_fuzz_input(const uint8_t* data, std::size_t size) {
    if (size < 4) return {0, 1000, data, size};
    const auto low = static_cast<int16_t>(data[0] | data[1] << 8);
    const auto width = static_cast<uint16_t>(data[2] | data[3] << 8);
    if (width == UINT16_MAX) return {INT32_MIN, INT32_MAX, data + 4, size - 4};
    return {low, low + width, data + 4, size - 4};
}

// A stream over bytes that outlive it (fmemopen refuses an empty buffer).
inline std::FILE* open_fuzz_file(const std::string& bytes) {
    if (bytes.empty()) return std::tmpfile();
    return fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "r");
}
