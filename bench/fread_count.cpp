// The floor under a run of the Windows exe: fread() of a file through a
// block of the size the tool reads with, counting its lines, and nothing
// else. Built with the MinGW compiler and flags of the exe, and run under
// the same Wine. "fread_count FILE" prints the count.
#include <cstdio>

#include "input_reads.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::FILE* file = std::fopen(argv[1], "rb");
    if (file == nullptr) return 1;
    static std::array<char, kInputBlockSize> block;
    unsigned long long lines = 0;
    for (std::size_t got = 0; (got = std::fread(block.data(), 1, kInputBlockSize, file)) > 0;)
        for (std::size_t i = 0; i < got; ++i) lines += block[i] == '\n' ? 1 : 0;
    std::fclose(file);
    std::printf("%llu\n", lines);
    return 0;
}
