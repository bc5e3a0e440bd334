#include "kernels.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::array<const char*, 5> kKernelNames = {"portable", "ssse3", "avx2", "avx512", "avx512vbmi"};

int32_t no_blocks(const char*, int32_t, int64_t&) { return 0; }

const char* memchr_search(const char* p, const char* end, char byte) {
    const void* found = std::memchr(p, byte, static_cast<std::size_t>(end - p));
    return found != nullptr ? static_cast<const char*>(found) : end;
}

std::size_t no_units(const char*, std::size_t, char*, bool) { return 0; }

const char* no_common_lines(const char* p, const char*, Candidate*, int32_t, int32_t& count) {
    count = 0;
    return p;
}

constexpr Kernels kPlainKernels = {no_blocks, memchr_search, no_units, no_common_lines};

// Each kernel's table, narrowest first.
#ifdef BRISVEL_X86_KERNELS
constexpr std::array kTables = {&kPlainKernels, &ssse3::kKernels, &avx2::kKernels, &avx512::kKernels, &vbmi::kKernels};
#else
constexpr std::array kTables = {&kPlainKernels};
#endif

// Made on first use, without the guard of a local static, which would link
// the C++ runtime: the tool has one thread.
bool chosen = false;
Kernel kernel = Kernel::kPlain;
Kernels table{};

// The chosen kernel's table, each job it leaves out taken from the next
// narrower one that has it. No choice is faster than the processor's
// fastest, whose table is built in.
void choose(Kernel choice) {
    kernel = std::min(choice, fastest_kernel());
    chosen = true;
    table = {};
    for (auto at = static_cast<std::size_t>(kernel) + 1; at-- > 0;) {
        const Kernels& unit = *kTables[at];
        if (table.scan_plus_blocks == nullptr) table.scan_plus_blocks = unit.scan_plus_blocks;
        if (table.find_byte == nullptr) table.find_byte = unit.find_byte;
        if (table.narrow_ascii_units == nullptr) table.narrow_ascii_units = unit.narrow_ascii_units;
        if (table.read_common_removal_lines == nullptr)
            table.read_common_removal_lines = unit.read_common_removal_lines;
    }
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
    return Kernel::kPlain;
}

Kernel capped_kernel(const char* asked) {
    for (std::size_t i = 0; asked != nullptr && i < kKernelNames.size(); ++i)
        if (std::strcmp(asked, kKernelNames[i]) == 0) return std::min(static_cast<Kernel>(i), fastest_kernel());
    return fastest_kernel();
}

Kernel chosen_kernel() {
    if (!chosen) choose(capped_kernel(std::getenv("BRISVEL_KERNEL")));
    return kernel;
}

void choose_kernel(Kernel choice) { choose(choice); }

const Kernels& kernels() {
    chosen_kernel();
    return table;
}
