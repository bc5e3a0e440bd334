#include "sieve_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cmath>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "reference_readers.h"
#include "test_support.h"

namespace {

using namespace std::string_literals;

const std::string kHeader = "header one\nheader two\nheader three\n";

struct SieveRead {
    SieveOutcome outcome;
    std::vector<Candidate> entries;
};

SieveRead read_text(const std::string& bytes, InputMode mode, int32_t NMin, int32_t NMax, Kernel kernel) {
    auto table = std::make_unique<CandidateTable>();
    std::FILE* in = stream_with(bytes);
    const ForcedKernel forced(kernel);
    const SieveOutcome outcome = read_sieve_stream(in, mode, {NMin, NMax}, *table).outcome;
    std::fclose(in);
    return {outcome, entries_of(*table)};
}

// Reads with every kernel this processor runs; all must agree.
SieveRead read_text(const std::string& bytes, int32_t NMin, int32_t NMax, InputMode mode = InputMode::kBinary) {
    const SieveRead portable = read_text(bytes, mode, NMin, NMax, Kernel::kPlain);
    for (Kernel kernel : runnable_kernels()) {
        const SieveRead read = read_text(bytes, mode, NMin, NMax, kernel);
        EXPECT_EQ(read.outcome, portable.outcome) << static_cast<int>(kernel);
        EXPECT_EQ(read.entries, portable.entries) << static_cast<int>(kernel);
    }
    return portable;
}

struct SieveCase {
    const char* name;
    std::string body;  // what follows the three header lines
    int32_t NMin;
    int32_t NMax;
    std::vector<Candidate> expected;
};

TEST(SieveReader, CollectsThePairsOfTheRange) {
    const std::string longText(98, 'x');
    const SieveCase cases[] = {
        {"NMin is taken, NMax is not", "k=3\n99\n100\n+99\n+1\n", 100, 200, {{3, 100}, {3, 199}}},
        {"excluded k values, whatever n",
         "k=5359\n150\nk=28433\n150\nk=5358\n150\nk=28434\n+1\n", 100, 200, {{5358, 150}, {28434, 151}}},
        {"empty range", "k=3\n150\n", 150, 150, {}},
        {"reversed range", "k=3\n150\n", 200, 100, {}},
        {"plus after k= counts from the previous k's n", "k=3\n150\nk=4\n+5\n", 100, 200, {{3, 150}, {4, 155}}},
        {"k= line is never a candidate itself", "k=150\n", 100, 200, {}},
        {"duplicates are kept", "k=3\n150\n150\n", 100, 200, {{3, 150}, {3, 150}}},
        {"only the first character decides the kind", "k=3\nK=4\n+150\n", 100, 200, {{3, 150}}},
        {"trailing text and CR LF are ignored", "k=3\r\n150 xyz\r\n+5\r\n", 100, 200, {{3, 150}, {3, 155}}},
        {"white space before numbers, as scanf reads them", "k= 3\n 150\n+ 5\n", 100, 200, {{3, 150}, {3, 155}}},
        {"negative n and differences", "k=3\n-5\n+-10\n+20\n", -20, 0, {{3, -5}, {3, -15}}},
        {"unreadable lines yield nothing and change nothing",
         "k=3\n150\n\n\r\nabc\n+\n+x\n-\n+5\n", 100, 200, {{3, 150}, {3, 155}}},
        {"no pair before the first k= line", "150\nk=3\n+5\n", 100, 200, {{3, 155}}},
        {"an unreadable k line stops storing until the next k=",
         "k=3\n150\nkx\n160\nk= \n+1\nk=4\n+5\n", 100, 200, {{3, 150}, {4, 166}}},
        {"a read is a C string: bytes after a NUL are ignored",
         "k=3\n1\0" "50\n160\n"s, 0, 200, {{3, 1}, {3, 160}}},
        {"a long line is read in pieces of 99 characters",
         "k=3\n" + std::string("1") + longText + "160\n", 0, 200, {{3, 1}, {3, 160}}},
        {"a piece that starts with + is a plus line",
         "k=3\n150" + std::string(96, ' ') + "+5\n", 0, 200, {{3, 150}, {3, 155}}},
        {"a last line without newline is read", "k=3\n150", 100, 200, {{3, 150}}},
        {"file numbers saturate",
         "k=99999999999\n-99999999999\nk=3\n2147483000\n+99999999999\n+-10\n", INT32_MIN, INT32_MAX,
         {{INT32_MAX, INT32_MIN}, {3, 2147483000}, {3, INT32_MAX - 10}}},
    };
    for (const SieveCase& c : cases) {
        const SieveRead read = read_text(kHeader + c.body, c.NMin, c.NMax);
        EXPECT_EQ(read.outcome, SieveOutcome::kEndOfFile) << c.name;
        EXPECT_EQ(read.entries, c.expected) << c.name;
    }
}

// The first three reads are the header, whatever they hold; the first of
// its lines that starts a k section, as a file without its header does, is
// told (a read that continues a line starts none).
TEST(SieveReader, SkipsThreeReadsOfHeader) {
    const std::string longHeaderLine = std::string(150, '7') + "\n";  // two reads
    const struct {
        const char* name;
        std::string bytes;
        std::vector<Candidate> expected;
        int32_t keyedLine;
    } cases[] = {
        {"empty file", "", {}, 0},
        {"one line", "k=3\n", {}, 1},
        {"header only", "h\nk=3\n160\n", {}, 2},
        {"fourth line is the first interpreted", "k=3\n150\n160\nk=4\n170\n", {{4, 170}}, 1},
        {"a long header line counts as two reads", longHeaderLine + "h\nk=4\n170\n", {{4, 170}}, 0},
        {"a read that continues a line", std::string(99, 'x') + "k=3\nh\nk=4\n170\n", {{4, 170}}, 0},
        {"header of CR LF lines", "a\r\nb\r\nc\r\nk=4\r\n170\r\n", {{4, 170}}, 0},
    };
    for (const auto& c : cases) {
        const SieveRead read = read_text(c.bytes, 100, 200);
        EXPECT_EQ(read.outcome, SieveOutcome::kEndOfFile) << c.name;
        EXPECT_EQ(read.entries, c.expected) << c.name;
        auto table = std::make_unique<CandidateTable>();
        std::FILE* in = stream_with(c.bytes);
        EXPECT_EQ(read_sieve_stream(in, InputMode::kBinary, {100, 200}, *table).keyedHeaderLine, c.keyedLine) << c.name;
        std::fclose(in);
    }
}

std::string pairs_in_range(int32_t pairs) {
    std::string body = kHeader + "k=3\n1000\n";  // 1000 lies below the range
    for (int32_t i = 0; i < pairs; ++i) body += "+1\n";
    return body + "k=5\n";
}

TEST(SieveReader, TableHoldsAtMost9999Pairs) {
    const SieveRead fits = read_text(pairs_in_range(kTableSlots - 1), 1001, INT32_MAX);
    EXPECT_EQ(fits.outcome, SieveOutcome::kEndOfFile);
    ASSERT_EQ(fits.entries.size(), 9999u);
    EXPECT_EQ(fits.entries.back(), (Candidate{3, 10999}));

    const SieveRead full = read_text(pairs_in_range(kTableSlots + 5), 1001, INT32_MAX);
    EXPECT_EQ(full.outcome, SieveOutcome::kTableFull);
    EXPECT_EQ(full.entries.size(), 10000u);
}

// n in the order of the file's k sections, NMin 100: the largest NMax that
// keeps fewer than 10000 pairs is the 10000th smallest n, however the
// sections lie and however many pairs share an n.
TEST(SieveReader, AFullTableTellsTheLargestNMaxThatFits) {
    const auto section = [](int32_t k, int32_t first, int32_t lines, int32_t step) {
        std::string text = "k=" + std::to_string(k) + "\n" + std::to_string(first) + "\n";
        for (int32_t i = 1; i < lines; ++i) text += "+" + std::to_string(step) + "\n";
        return text;
    };
    const struct {
        const char* name;
        std::string body;
        FittingRange fits;
    } cases[] = {
        {"one k, n one apart", section(3, 100, 12000, 1), {10099, 9999}},
        {"the 10000th n shared by several pairs", section(3, 100, 9998, 1) + section(5, 10097, 5, 0), {10097, 9997}},
        {"later sections with smaller n", section(3, 5000, 9000, 1) + section(5, 200, 3000, 2) + section(7, 99, 20, 1),
         {11980, 9999}},
        {"pairs below NMin count for nothing, a later k shares the 10000th n",
         section(3, 50, 40, 1) + section(5, 200, 9990, 1) + section(7, 10180, 30, 0), {10180, 9980}},
        {"10000 pairs share the smallest n", section(3, 150, 10000, 0) + section(5, 120, 1, 0), {150, 1}},
        {"10000 pairs share NMin", section(3, 100, 10001, 0) + section(5, 300, 1, 0), {100, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto table = std::make_unique<CandidateTable>();
        const SieveRead read = read_text(kHeader + c.body, 100, INT32_MAX);
        ASSERT_EQ(read.outcome, SieveOutcome::kTableFull);
        std::copy(read.entries.begin(), read.entries.end(), table->entries.begin());
        table->count = kTableSlots;
        const FittingRange fits = range_that_fits(*table);
        EXPECT_EQ(fits.NMax, c.fits.NMax);
        EXPECT_EQ(fits.pairs, c.fits.pairs);
    }
}

TEST(SieveReader, ReportsAReadErrorRatherThanAnEnd) {
    TempDir dir;
    std::FILE* in = std::fopen(dir.path().c_str(), "r");
    ASSERT_NE(in, nullptr);
    auto table = std::make_unique<CandidateTable>();
    EXPECT_EQ(read_sieve_stream(in, InputMode::kBinary, {0, 100}, *table).outcome,
              SieveOutcome::kReadError);
    std::fclose(in);
}

// Sieve-like files with every kind of read mixed in: mostly short "+"
// lines, as real files have, with the occasional long line, CR LF, zero
// byte, huge or negative number and unreadable line.
std::string random_sieve_file(std::mt19937& random) {
    const std::string odd[] = {"k=5359", "k=28433",     "k=x",         "+",   "+-3", "",       "\r",
                               "abc",    "-7",          "k= 2",        "+ 4", "K=4", "1\0" "5"s, "99999999999",
                               "+2147483647"};
    const std::string eol = random() % 3 == 0 ? "\r\n" : "\n";
    std::string file;
    const int lines = static_cast<int>(random() % 3000);
    for (int i = 0; i < lines; ++i) {
        const auto roll = random() % 1000;
        if (roll == 0) {  // a long run of short "+" lines, as most of a real file is
            for (auto run = random() % 4000; run > 0; --run) file += "+" + std::to_string(random() % 100) + eol;
        } else if (roll < 900)
            file += "+" + std::to_string(random() % (roll < 800 ? 100 : roll < 880 ? 10000 : 100000)) + eol;
        else if (roll < 930)
            file += "k=" + std::to_string(random() % 50) + eol;
        else if (roll < 960)
            file += std::to_string(static_cast<int32_t>(random() % 4000) - 100) + eol;
        else if (roll < 970)
            file += std::string(random() % 200, static_cast<char>(" +1k"[random() % 4])) + eol;
        else
            file += odd[random() % std::size(odd)] + eol;
    }
    if (random() % 4 == 0 && !file.empty()) file.pop_back();
    return file;
}

std::vector<int32_t> ns_of(const std::vector<Candidate>& entries) {
    std::vector<int32_t> ns;
    for (const Candidate& entry : entries) ns.push_back(entry.n);
    return ns;
}

TEST(SieveReader, MatchesThePlainReaderOnRandomFiles) {
    std::mt19937 random(20261208);
    for (int i = 0; i < 300; ++i) {
        const std::string file = random_sieve_file(random);
        const auto NMin = static_cast<int32_t>(random() % 3000);
        const auto NMax = NMin + static_cast<int32_t>(random() % 20000);  // often inside a long run
        for (const InputMode mode : {InputMode::kBinary, InputMode::kText}) {
            auto expected = std::make_unique<CandidateTable>();
            std::FILE* in = stream_with(readable_bytes(file, mode));
            const SieveOutcome outcome = reference_read_sieve(in, NMin, NMax, *expected);
            std::fclose(in);
            SieveRead read = read_text(file, NMin, NMax, mode);
            ASSERT_EQ(read.outcome, outcome) << i;
            if (read.entries.size() == kTableSlots)  // the pairs of the smallest n, in no order
                std::stable_sort(read.entries.begin(), read.entries.end(),
                                 [](const Candidate& a, const Candidate& b) { return a.n < b.n; });
            ASSERT_EQ(ns_of(read.entries), ns_of(entries_of(*expected))) << i;
            if (read.entries.size() < kTableSlots) {
                ASSERT_EQ(read.entries, entries_of(*expected)) << i;
            }
        }
    }
}

// n from 1000 on by one, a line each, ended by eol.
std::string plus_lines(int32_t count, const std::string& eol) {
    std::string lines;
    for (int32_t i = 0; i < count; ++i) lines += "+1" + eol;
    return lines;
}

std::vector<Candidate> pairs_between(int32_t k, int32_t first, int32_t last) {
    std::vector<Candidate> pairs;
    for (int32_t n = first; n <= last; ++n) pairs.push_back({k, n});
    return pairs;
}

// Text mode reads CR LF as LF before the reads are cut, also where the pair
// straddles two blocks of the file, keeps a lone CR, and ends at a byte 0x1A,
// also inside the runs of "+" lines that the kernels take.
TEST(SieveReader, ReadsTextModeAsTheWindowsRuntimeDoes) {
    const std::string header98 = std::string(98, 'h') + "\r\n";  // one read in text mode, two in binary
    const std::string beforeBoundary = kHeader + "k=3\n" + std::string(kInputBlockSize - kHeader.size() - 9, ' ');
    const std::string run = kHeader + "k=3\r\n1000\r\n";
    // A run whose "+1\r\n" line has its CR as the last byte of the first block read.
    std::string edge = run;
    int32_t nAtEdge = 1000;
    for (; edge.size() + 3 <= kInputBlockSize - 3; ++nAtEdge) edge += "+1\n";
    edge.resize(kInputBlockSize - 3, '\n');
    const std::vector<Candidate> runPairs = pairs_between(3, 2500, 2599);
    const struct {
        const char* name;
        std::string bytes;
        int32_t NMin, NMax;
        std::vector<Candidate> text;
        std::vector<Candidate> binary;
    } cases[] = {
        {"CR LF lines", kHeader + "k=3\r\n150\r\n+5\r\n", 0, 200, {{3, 150}, {3, 155}}, {{3, 150}, {3, 155}}},
        {"98-character header line", header98 + "b\nk=3\n150\n", 0, 200, {}, {{3, 150}}},
        {"CR LF across blocks", beforeBoundary + "\n160\r\n170\r\n", 0, 200, {{3, 160}, {3, 170}},
         {{3, 160}, {3, 170}}},
        {"lone CR stays", kHeader + "k=3\n\r150\n\r\r\n160\n", 0, 200, {{3, 150}, {3, 160}}, {{3, 150}, {3, 160}}},
        // Kept, it makes the header line 100 characters: two reads, and "k=3" is data.
        {"a lone CR counts in a read's length", "\r" + std::string(98, 'h') + "\r\nb\nk=3\n150\n", 0, 200,
         {{3, 150}}, {{3, 150}}},
        {"Ctrl-Z ends the file", kHeader + "k=3\n150\n\x1a\n160\n", 0, 200, {{3, 150}}, {{3, 150}, {3, 160}}},
        {"Ctrl-Z inside a line", kHeader + "k=3\n15\x1a" "0\n160\n", 0, 200, {{3, 15}}, {{3, 15}, {3, 160}}},
        // Runs of "+" lines, n from 1000 on.
        {"a CR LF run", run + plus_lines(2000, "\r\n"), 2500, 2600, runPairs, runPairs},
        // The run goes on past the first block read: in text mode nothing after
        // the Ctrl-Z counts; in binary the Ctrl-Z line holds no number.
        {"Ctrl-Z inside a run", run + plus_lines(1550, "\r\n") + "\x1a" + plus_lines(100000, "\r\n"), 2500, 2600,
         pairs_between(3, 2500, 2550), runPairs},
        {"a lone CR inside a run", run + plus_lines(1520, "\r\n") + "+1\r\r\n" + plus_lines(500, "\r\n"), 2500, 2600,
         runPairs, runPairs},
        {"a CR LF across the block's edge", edge + "+1\r\n" + plus_lines(200, "\r\n"), nAtEdge, nAtEdge + 100,
         pairs_between(3, nAtEdge, nAtEdge + 99), pairs_between(3, nAtEdge, nAtEdge + 99)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(read_text(c.bytes, c.NMin, c.NMax, InputMode::kText).entries, c.text) << c.name;
        EXPECT_EQ(read_text(c.bytes, c.NMin, c.NMax, InputMode::kBinary).entries, c.binary) << c.name;
    }
}

}  // namespace
