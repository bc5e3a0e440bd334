// What differs between processors: every vector kernel of the tool, each
// instruction set's in a section of its own behind one run-time choice, and
// plain C++ for every processor. The kernels only make the readers faster:
// given the same bytes, every kernel lets them read the same.
#pragma once

#include <cstddef>
#include <cstdint>

#include "candidate.h"

enum class Kernel {
    kPortable,  // plain C++, every processor
    kSse2,      // 16 bytes at a time
    kAvx2,      // 32 bytes at a time
    kAvx512,    // 64 bytes at a time by table lookups (AVX-512 VBMI and VNNI)
};

// The fastest kernel this processor runs. A benchmark build may
// cap it (BRISVEL_KERNEL_CAP, one of Kernel's names), and so may the
// environment variable BRISVEL_KERNEL (portable, sse2, avx2 or avx512), for
// tests and measurements of a processor without the faster ones; neither
// chooses a kernel the processor cannot run.
Kernel chosen_kernel();

// The fastest kernel this processor runs, uncapped.
Kernel fastest_kernel();

// Runs of "+" lines: "+", 1 to kMaxPlusDigits digits, and "\n" or "\r\n".
inline constexpr int32_t kMaxPlusDigits = 3;
// They are checked a block of bytes at a time; a kernel reads kPlusLookahead
// bytes past a block to weigh its last digits.
inline constexpr int32_t kPlusBlockBytes = 64;
inline constexpr int32_t kPlusLookahead = kMaxPlusDigits;

// Takes blocks from p, the start of a line, up to blocks of them, while each
// continues a run of "+" lines; returns the length of the whole lines taken
// (up to the last newline of the last block) with their differences summed
// in sum, 0 when the first block is not taken. The portable kernel takes
// none. Reads kPlusLookahead bytes past the blocks.
int32_t scan_plus_blocks(const char* p, int32_t blocks, int64_t& sum, Kernel kernel);

// Where byte first lies in [p, end), or end.
const char* find_byte(const char* p, const char* end, char byte, Kernel kernel);

// The removal list's common lines, "<digits> <1 to 8 digits> <1 to 8
// digits>" and "\n" or "\r\n", are read from a window of this many bytes at
// the start of each.
inline constexpr std::ptrdiff_t kRemovalWindowBytes = 32;

// Reads lines of the common shape from p, the start of a line, while a
// window from each fits before end, into pairs (k, n), at most maxPairs of
// them; count says how many. Returns where the first line not read starts.
// Each line read is one read of the file and names the pair that the
// general reader would find in it. The portable kernel reads none.
const char* read_common_removal_lines(const char* p, const char* end, Candidate* pairs, int32_t maxPairs,
                                      int32_t& count, Kernel kernel);
