// What differs between processors: the vector kernels, each instruction
// set's in a unit of its own, all of them one algorithm written once over a
// vector type (kernels_generic.h), and one run-time choice among them. The
// kernels only make the readers faster: given the same bytes, every kernel
// lets them read the same.
#pragma once

#include <cstddef>
#include <cstdint>

#include "candidate.h"

enum class Kernel {
    kPlain,       // no vector kernel: plain C++ does it all, on every processor
    kSsse3,       // 16 bytes at a time
    kAvx2,        // 32 bytes at a time
    kAvx512,      // 64 bytes at a time (AVX-512 BW)
    kAvx512Vbmi,  // the "+" runs by wider table lookups (AVX-512 VBMI and VNNI), the rest as kAvx512
};

// The fastest kernel this processor runs.
Kernel fastest_kernel();

// The fastest kernel this processor runs, capped by the one that asked
// names (portable for kPlain, ssse3, avx2, avx512 or avx512vbmi); the
// fastest when it names none.
Kernel capped_kernel(const char* asked);

// The kernel the readers use: chosen once, the first time it is asked for,
// capped by the environment variable BRISVEL_KERNEL, for tests and
// measurements of processors without the faster ones. Tests may choose
// another; no choice is faster than the processor's fastest.
Kernel chosen_kernel();
void choose_kernel(Kernel kernel);

// The grammar of a run of "+" lines, which the kernels take a block at a
// time: every line is "+", 1 to kMaxPlusDigits digits, and "\n" or "\r\n".
// Any other line ends the run. plus_line_at says it for one line; every
// kernel is checked against it.
inline constexpr int32_t kMaxPlusDigits = 3;

struct PlusLine {
    int32_t length;      // 0 when p starts no such line wholly before end
    int32_t difference;
};

inline PlusLine plus_line_at(const char* p, const char* end) {
    if (p == end || *p != '+') return {0, 0};
    const char* q = p + 1;
    int32_t difference = 0;
    for (; q < end && *q >= '0' && *q <= '9' && q - p <= kMaxPlusDigits; ++q) difference = difference * 10 + (*q - '0');
    if (q - p == 1 || (q < end && *q >= '0' && *q <= '9')) return {0, 0};
    if (q < end && *q == '\r') ++q;
    if (q == end || *q != '\n') return {0, 0};
    return {static_cast<int32_t>(q + 1 - p), difference};
}

// The kernels check runs a block of bytes at a time, and read up to
// kPlusLookahead bytes past a block to weigh its last digits.
inline constexpr int32_t kPlusBlockBytes = 64;
inline constexpr int32_t kPlusLookahead = kMaxPlusDigits;

// The removal list's common lines, "<digits> <1 to 8 digits> <1 to 8
// digits>" and "\n" or "\r\n", are read from a window of this many bytes at
// the start of each.
inline constexpr std::ptrdiff_t kRemovalWindowBytes = 32;

// The kernels of one instruction set, which its unit defines. A unit that
// has no kernel of its own for a job leaves it out, and the next narrower
// unit's serves.
struct Kernels {
    // Takes blocks from p, the start of a line, up to blocks of them, while
    // each continues a run of "+" lines; returns the length of the whole
    // lines taken (up to the last newline of the last block) with their
    // differences summed in sum, 0 when the first block is not taken.
    int32_t (*scan_plus_blocks)(const char* p, int32_t blocks, int64_t& sum);
    // Where byte first lies in [p, end), or end.
    const char* (*find_byte)(const char* p, const char* end, char byte);
    // Narrows the UTF-16 code units [units, units + length), in the byte
    // order that bigEndian says, to one byte each at bytes, a vector of
    // units at a time while all of them are ASCII; returns how many bytes
    // of units it took (bytes gets half as many). bytes may be units or lie
    // before it.
    std::size_t (*narrow_ascii_units)(const char* units, std::size_t length, char* bytes, bool bigEndian);
    // Reads the removal list's lines of the common shape from p, the start
    // of a line, while a window of kRemovalWindowBytes from each fits
    // before end, into pairs (k, n), at most maxPairs of them; count says
    // how many. Returns where the first line not read starts. Each line
    // read is one read of the file and names the pair that the general
    // reader would find in it.
    const char* (*read_common_removal_lines)(const char* p, const char* end, Candidate* pairs, int32_t maxPairs,
                                             int32_t& count);
};

namespace ssse3 {
extern const Kernels kKernels;
}
namespace avx2 {
extern const Kernels kKernels;
}
namespace avx512 {
extern const Kernels kKernels;
}
namespace vbmi {
extern const Kernels kKernels;
}

// The chosen kernel's jobs; plain C++ does what it has no kernel for (no
// block of "+" lines, no ASCII run of code units and no common removal line
// is taken; the byte search is memchr).
const Kernels& kernels();
