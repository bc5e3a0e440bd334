// The floor under a run: read() of a file through a block of the size the
// tool reads with, and nothing else. "read_floor FILE".
#include <fcntl.h>
#include <unistd.h>

#include <array>

#include "input_reads.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const int file = open(argv[1], O_RDONLY);
    if (file < 0) return 1;
    static std::array<char, kInputBlockSize> block;
    ssize_t got = 0;
    while ((got = read(file, block.data(), block.size())) > 0) {
    }
    close(file);
    return got == 0 ? 0 : 1;
}
