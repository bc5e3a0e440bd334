// Times each kernel this processor runs on one piece of "+" lines that
// stays in the cache, as the generator writes them (differences 1 to 73),
// and prints "<kernel> <GB/s>" a line, the best of several trials.
#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "sieve_file.h"

namespace {

constexpr std::size_t kPieceBytes = 256 * 1024;
constexpr int kPasses = 400;
constexpr int kTrials = 7;

std::string plus_lines() {
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> gap(1, 73);
    std::string piece;
    while (piece.size() < kPieceBytes) {
        piece += '+';
        piece += std::to_string(gap(random));
        piece += '\n';
    }
    return piece;
}

}  // namespace

int main() {
    std::string piece = plus_lines();
    const std::size_t length = piece.size();
    piece.append(64, '\n');  // what the kernels may read past the end
    const PairFilter storesNothing{{0, 0}, false};
    const struct {
        Kernel kernel;
        const char* name;
    } kernels[] = {{Kernel::kPlain, "portable"},
                   {Kernel::kSsse3, "SSSE3"},
                   {Kernel::kAvx2, "AVX2"},
                   {Kernel::kAvx512, "AVX-512"},
                   {Kernel::kAvx512Vbmi, "AVX-512-VBMI"}};
    for (const auto& k : kernels) {
        if (k.kernel > fastest_kernel()) continue;
        choose_kernel(k.kernel);
        double best = 0;
        for (int trial = 0; trial < kTrials; ++trial) {
            const auto start = std::chrono::steady_clock::now();
            int64_t skipped = 0;
            for (int pass = 0; pass < kPasses; ++pass) {
                int32_t n = 0;
                skipped += skip_unstored_plus_lines(piece.data(), piece.data() + length, n, storesNothing) -
                           piece.data();
            }
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            if (skipped != static_cast<int64_t>(length) * kPasses) return 1;  // every line must be skipped
            best = std::max(best, static_cast<double>(skipped) / took.count() / 1e9);
        }
        std::printf("%s %.2f\n", k.name, best);
    }
    return 0;
}
