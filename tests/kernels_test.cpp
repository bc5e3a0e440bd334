// The processor's kernels, each forced in turn: the blocks of "+" lines
// they take and sum, the removal list's common lines they read, and the
// choice among them.
#include "kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "sieve_file.h"
#include "test_support.h"

namespace {

// The grammar of a run's line, which every kernel is held to: "+", 1 to 3
// digits, and LF or CR LF, wholly before the end.
TEST(PlusLine, IsAPlusOneToThreeDigitsAndALineEnd) {
    const struct {
        std::string text;
        PlusLine line;
    } cases[] = {
        {"+1\n", {3, 1}},       {"+07\n", {4, 7}},   {"+999\r\n", {6, 999}}, {"+100\nk", {5, 100}},
        {"+1000\n", {0, 0}},    {"+\n", {0, 0}},     {"1\n", {0, 0}},        {"+-1\n", {0, 0}},
        {"+ 1\n", {0, 0}},      {"+1 \n", {0, 0}},   {"+1\r\r\n", {0, 0}},   {"+1\r", {0, 0}},
        {"+12", {0, 0}},        {"", {0, 0}},       {"+1x\n", {0, 0}},      {"k=1\n", {0, 0}},
    };
    for (const auto& c : cases) {
        const PlusLine line = plus_line_at(c.text.data(), c.text.data() + c.text.size());
        EXPECT_EQ(line.length, c.line.length) << c.text;
        EXPECT_EQ(line.difference, c.line.difference) << c.text;
    }
}

// Every kernel's blocks take a run of "+" lines of up to kMaxPlusDigits
// digits, up to its last block, when it stores nothing, and sum it right: a
// kernel that refused such runs would give the same pairs (the lines would
// be taken one at a time), only many times slower.
TEST(SieveSkip, EveryKernelTakesAWholeRunOfPlusLinesInBlocks) {
    std::mt19937 random(20261209);
    const auto limit = static_cast<uint32_t>(std::pow(10, kMaxPlusDigits));
    const PairFilter storesNothing{{0, 0}, false};
    // Random lines, and "+99" lines, which put a 9 in the same lanes of every
    // block: the counters of those lanes fill fastest.
    const std::function<std::string(int)> runs[] = {
        [&](int) { return std::to_string(random() % limit); },
        [](int) { return std::string("99"); },
    };
    for (const auto& difference_of : runs) {
        for (const std::string eol : {"\n", "\r\n"}) {
            std::string bytes;
            int32_t sum = 0;
            for (int i = 0; i < 3000; ++i) {
                const std::string difference = difference_of(i);
                bytes += "+" + difference + eol;
                sum += std::stoi(difference);
            }
            const std::size_t runLength = bytes.size();
            bytes += "k=9" + eol;  // where the run ends; the kernels may read a few bytes past their blocks
            const char* end = bytes.data() + bytes.size();
            for (const Kernel kernel : runnable_kernels()) {
                if (kernel == Kernel::kPlain) continue;
                int32_t n = 1000;
                const char* blocksEnd = nullptr;
                {
                    const ForcedKernel forced(kernel);
                    blocksEnd = skip_plus_blocks(bytes.data(), end, n, storesNothing);
                }
                EXPECT_GT(blocksEnd - bytes.data(), static_cast<std::ptrdiff_t>(runLength) - 128)
                    << static_cast<int>(kernel);
                const ForcedKernel portable(Kernel::kPlain);
                const char* stop = skip_unstored_plus_lines(blocksEnd, end, n, storesNothing);
                EXPECT_EQ(static_cast<std::size_t>(stop - bytes.data()), runLength) << static_cast<int>(kernel);
                EXPECT_EQ(n, 1000 + sum) << static_cast<int>(kernel);
            }
        }
    }
}

// The densest run, "+999" lines, crossing NMin within what could be one
// batch of blocks: every kernel's blocks stop within a block of the first
// line that stores a pair, as the bound on a batch's sum lets them.
TEST(SieveSkip, EveryKernelsBlocksStopWithinABlockOfTheFirstStoredPair) {
    constexpr int32_t kLines = 2000;
    constexpr int32_t kFirstStored = 699;  // the line after which n reaches NMin
    std::string bytes;
    for (int32_t i = 0; i < kLines; ++i) bytes += "+999\n";
    const PairFilter filter{{1000 + 999 * (kFirstStored + 1), INT32_MAX}, true};
    const std::ptrdiff_t storedLineStart = 5 * kFirstStored;
    for (const Kernel kernel : runnable_kernels()) {
        if (kernel == Kernel::kPlain) continue;
        int32_t n = 1000;
        const ForcedKernel forced(kernel);
        const char* stop = skip_plus_blocks(bytes.data(), bytes.data() + bytes.size(), n, filter);
        const std::ptrdiff_t stopped = stop - bytes.data();
        EXPECT_LE(stopped, storedLineStart) << static_cast<int>(kernel);
        EXPECT_GT(stopped, storedLineStart - kPlusBlockBytes - 5) << static_cast<int>(kernel);
        EXPECT_EQ(n, 1000 + 999 * static_cast<int32_t>(stopped / 5)) << static_cast<int>(kernel);
    }
}

// BRISVEL_KERNEL caps the choice at a kernel no faster than the
// processor's fastest; a name it does not know caps nothing.
TEST(Kernels, TheEnvironmentCapsTheChoice) {
    const Kernel fastest = fastest_kernel();
    const struct {
        const char* value;  // nullptr: not set
        Kernel chosen;
    } cases[] = {
        {nullptr, fastest},
        {"portable", Kernel::kPlain},
        {"avx2", std::min(fastest, Kernel::kAvx2)},
        {"avx512vbmi", std::min(fastest, Kernel::kAvx512Vbmi)},
        {"sse2", fastest},
    };
    for (const auto& c : cases) EXPECT_EQ(capped_kernel(c.value), c.chosen) << (c.value != nullptr ? c.value : "not set");
    // Outside a forced choice, the readers use the one made on first use.
    EXPECT_EQ(chosen_kernel(), capped_kernel(std::getenv("BRISVEL_KERNEL")));
    const ForcedKernel forced(Kernel::kAvx512Vbmi);
    EXPECT_EQ(chosen_kernel(), fastest) << "a choice faster than the processor's";
}

// Every vector kernel reads the lines of the common shape itself, LF or CR
// LF, as many as it is asked for, up to the first line of another shape: a
// kernel that refused them would remove the same pairs (the general reader
// would take the lines), only slower.
TEST(RemovalWindow, EveryVectorKernelReadsTheCommonLinesItself) {
    for (const std::string eol : {"\n", "\r\n"}) {
        std::string lines;
        std::vector<Candidate> named;
        std::vector<std::size_t> starts;
        for (int32_t i = 0; i < 10; ++i) {
            starts.push_back(lines.size());
            lines += "1765190000001 " + std::to_string(7 * i) + " " + std::to_string(100000 + i) + eol;
            named.push_back({7 * i, 100000 + i});
        }
        const std::size_t other = lines.size();
        lines += std::string(40, '#') + eol;
        for (const Kernel kernel : runnable_kernels()) {
            if (kernel == Kernel::kPlain) continue;
            for (const int32_t asked : {16, 4}) {
                std::array<Candidate, 16> pairs{};
                int32_t count = 0;
                const ForcedKernel forced(kernel);
                const char* stop = kernels().read_common_removal_lines(lines.data(), lines.data() + lines.size(),
                                                                       pairs.data(), asked, count);
                const auto expected = static_cast<std::size_t>(std::min(asked, 10));
                EXPECT_EQ(static_cast<std::size_t>(count), expected) << static_cast<int>(kernel);
                EXPECT_EQ(static_cast<std::size_t>(stop - lines.data()), expected < 10 ? starts[expected] : other);
                EXPECT_EQ(std::vector<Candidate>(pairs.begin(), pairs.begin() + count),
                          std::vector<Candidate>(named.begin(), named.begin() + count));
            }
        }
    }
}

}  // namespace
