#include "sieve_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using namespace std::string_literals;

const std::string kHeader = "header one\nheader two\nheader three\n";

struct SieveRead {
    SieveOutcome outcome;
    std::vector<Candidate> entries;
};

SieveRead read_text(const std::string& bytes, int32_t NMin, int32_t NMax) {
    auto table = std::make_unique<CandidateTable>();
    std::FILE* in = stream_with(bytes);
    const SieveOutcome outcome = read_sieve_stream(in, NMin, NMax, *table);
    std::fclose(in);
    return {outcome, entries_of(*table)};
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

TEST(SieveReader, SkipsThreeReadsOfHeader) {
    const std::string longHeaderLine = std::string(150, '7') + "\n";  // two reads
    const struct {
        const char* name;
        std::string bytes;
        std::vector<Candidate> expected;
    } cases[] = {
        {"empty file", "", {}},
        {"one line", "k=3\n", {}},
        {"two lines", "k=3\n150\n", {}},
        {"header only", "k=3\n150\n160\n", {}},
        {"fourth line is the first interpreted", "k=3\n150\n160\nk=4\n170\n", {{4, 170}}},
        {"a long header line counts as two reads", longHeaderLine + "h\nk=4\n170\n", {{4, 170}}},
        {"header of CR LF lines", "a\r\nb\r\nc\r\nk=4\r\n170\r\n", {{4, 170}}},
    };
    for (const auto& c : cases) {
        const SieveRead read = read_text(c.bytes, 100, 200);
        EXPECT_EQ(read.outcome, SieveOutcome::kEndOfFile) << c.name;
        EXPECT_EQ(read.entries, c.expected) << c.name;
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
    ASSERT_EQ(full.entries.size(), 10000u);
    EXPECT_EQ(full.entries.back(), (Candidate{3, 11000}));
}

TEST(SieveReader, ReportsAReadErrorRatherThanAnEnd) {
    TempDir dir;
    std::FILE* in = std::fopen(dir.path().c_str(), "r");
    ASSERT_NE(in, nullptr);
    auto table = std::make_unique<CandidateTable>();
    EXPECT_EQ(read_sieve_stream(in, 0, 100, *table), SieveOutcome::kReadError);
    std::fclose(in);
}

}  // namespace
