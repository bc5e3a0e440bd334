#include "kernels.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "host.h"
#include "kernels_generic.h"

namespace {

constexpr std::array<const char*, 5> kKernelNames = {"portable", "ssse3", "avx2", "avx512", "avx512vbmi"};

// Made on first use, without the guard of a local static, which would link
// the C++ runtime: the tool has one thread.
bool chosen = false;
Kernel kernel = Kernel::kPortable;

Kernel& choice() {
    if (!chosen) kernel = capped_kernel(std::getenv("BRISVEL_KERNEL"));
    chosen = true;
    return kernel;
}

}  // namespace

Kernel fastest_kernel() {
#ifdef BRISVEL_X86_KERNELS
    if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi") &&
        __builtin_cpu_supports("avx512vnni"))
        return Kernel::kAvx512Vbmi;
    if (__builtin_cpu_supports("avx512bw")) return Kernel::kAvx512;
    if (__builtin_cpu_supports("avx2")) return Kernel::kAvx2;
    if (__builtin_cpu_supports("ssse3")) return Kernel::kSsse3;
#endif
    return Kernel::kPortable;
}

Kernel capped_kernel(const char* asked) {
    for (std::size_t i = 0; asked != nullptr && i < kKernelNames.size(); ++i)
        if (std::strcmp(asked, kKernelNames[i]) == 0) return std::min(static_cast<Kernel>(i), fastest_kernel());
    return fastest_kernel();
}

Kernel chosen_kernel() { return choice(); }

void choose_kernel(Kernel kernel) { choice() = std::min(kernel, fastest_kernel()); }

// On a processor of another kind only the portable kernel is ever chosen,
// and the arguments may go unused.
int32_t scan_plus_blocks([[maybe_unused]] const char* p, [[maybe_unused]] int32_t blocks,
                         [[maybe_unused]] int64_t& sum) {
    switch (choice()) {
#ifdef BRISVEL_X86_KERNELS
        case Kernel::kAvx512Vbmi: return vbmi::scan_plus_blocks(p, blocks, sum);
        case Kernel::kAvx512: return avx512::scan_plus_blocks(p, blocks, sum);
        case Kernel::kAvx2: return avx2::scan_plus_blocks(p, blocks, sum);
        case Kernel::kSsse3: return ssse3::scan_plus_blocks(p, blocks, sum);
#endif
        default: return 0;
    }
}

// The C library's search, but on Windows, whose runtime searches a byte at
// a time: there a vector kernel is fifteen times as fast.
const char* find_byte(const char* p, const char* end, char byte) {
    switch (kWindows ? choice() : Kernel::kPortable) {
#ifdef BRISVEL_X86_KERNELS
        case Kernel::kAvx512Vbmi:
        case Kernel::kAvx512: return avx512::find_byte(p, end, byte);
        case Kernel::kAvx2: return avx2::find_byte(p, end, byte);
        case Kernel::kSsse3: return ssse3::find_byte(p, end, byte);
#endif
        default: break;
    }
    const void* found = std::memchr(p, byte, static_cast<std::size_t>(end - p));
    return found != nullptr ? static_cast<const char*>(found) : end;
}

std::size_t narrow_ascii_units([[maybe_unused]] const char* units, [[maybe_unused]] std::size_t length,
                               [[maybe_unused]] char* bytes, [[maybe_unused]] bool bigEndian) {
    switch (choice()) {
#ifdef BRISVEL_X86_KERNELS
        case Kernel::kAvx512Vbmi:
        case Kernel::kAvx512: return avx512::narrow_ascii_units(units, length, bytes, bigEndian);
        case Kernel::kAvx2: return avx2::narrow_ascii_units(units, length, bytes, bigEndian);
        case Kernel::kSsse3: return ssse3::narrow_ascii_units(units, length, bytes, bigEndian);
#endif
        default: return 0;
    }
}

const char* read_common_removal_lines(const char* p, [[maybe_unused]] const char* end,
                                      [[maybe_unused]] Candidate* pairs, [[maybe_unused]] int32_t maxPairs,
                                      int32_t& count) {
    count = 0;
    switch (choice()) {
#ifdef BRISVEL_X86_KERNELS
        case Kernel::kAvx512Vbmi:
        case Kernel::kAvx512:
        case Kernel::kAvx2: return avx2::read_common_lines(p, end, pairs, maxPairs, count);
        case Kernel::kSsse3: return ssse3::read_common_lines(p, end, pairs, maxPairs, count);
#endif
        default: return p;
    }
}
