#include "removal_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

const std::string kHeader = "id k n\n";

struct Removal {
    bool readToEnd;
    int32_t removed;
    std::vector<Candidate> entries;
};

// Out of (k, n) order: (3, 150) twice, (6, 250) outside the range 100..200,
// a negative k, and an entry marked before the list is read.
const std::vector<Candidate> kStored = {{3, 150}, {4, 150}, {3, 160}, {3, 150},
                                        {6, 250}, {INT32_MAX, 199}, {-2, 150}, {0, 160}};

// The stored entries with those at the given places marked.
std::vector<Candidate> marked_at(const std::vector<std::size_t>& places) {
    std::vector<Candidate> entries = kStored;
    for (const std::size_t place : places) entries[place].k = 0;
    return entries;
}

// Reads the list from in, which it closes, against the stored entries.
Removal remove_from(std::FILE* in, InputMode mode = InputMode::kBinary, Kernel kernel = Kernel::kPlain) {
    auto table = std::make_unique<CandidateTable>();
    std::copy(kStored.begin(), kStored.end(), table->entries.begin());
    table->count = static_cast<int32_t>(kStored.size());
    int32_t removed = 0;
    const ForcedKernel forced(kernel);
    const bool readToEnd = read_removal_stream(in, mode, {100, 200}, *table, removed);
    std::fclose(in);
    return {readToEnd, removed, entries_of(*table)};
}

Removal remove_with(const std::string& list, InputMode mode = InputMode::kBinary, Kernel kernel = Kernel::kPlain) {
    return remove_from(stream_with(list), mode, kernel);
}

TEST(RemovalList, MarksTheNamedPairsOnce) {
    const std::vector<Candidate> none = marked_at({});
    const std::vector<Candidate> fourGone = marked_at({1});
    const std::vector<Candidate> threeGone = marked_at({0, 3});
    const struct {
        const char* name;
        std::string list;
        int32_t removed;
        std::vector<Candidate> entries;
    } cases[] = {
        {"empty file", "", 0, none},
        {"header only", kHeader, 0, none},
        {"a header that looks like data is still a header", "1 4 150\n", 0, none},
        {"one pair", kHeader + "1 4 150\n", 1, fourGone},
        {"a pair stored twice is removed twice", kHeader + "1 3 150\n", 2, threeGone},
        {"a pair listed twice is removed once", kHeader + "1 4 150\n2 4 150\n", 1, fourGone},
        {"k 0 marks nothing", kHeader + "1 3 150\n2 0 150\n2 0 160\n", 2, threeGone},
        {"out of range never marks", kHeader + "1 6 250\n", 0, none},
        {"a pair not in the table", kHeader + "1 3 151\n1 5 150\n", 0, none},
        {"negative k", kHeader + "1 -2 150\n", 1, marked_at({6})},
        {"a k that differs in its top bit only is another pair", kHeader + "1 2147483646 150\n", 0, none},
        {"13-digit first number", kHeader + "1234567890123 4 150\n", 1, fourGone},
        {"first number of any size and sign", kHeader + "-99999999999999999999999 4 150\n", 1, fourGone},
        {"white space, signs, CR LF, trailing text", kHeader + " 1\t+4   +150 done\r\n", 1, fourGone},
        {"k saturates", kHeader + "1 99999999999 199\n", 1, marked_at({5})},
        {"lines without three numbers mark nothing",
         kHeader + "\n\r\nabc\n1 4\n4 150 x\n1 x 150\n1 4 x\n", 0, none},
        {"a long header is read in pieces; the rest of it is a line",
         std::string(150, 'h') + "\n1 4 150\n", 1, fourGone},
        {"CR LF and leading zeros", kHeader + "1 0004 00000150\r\n", 1, fourGone},
        {"nine digits of n", kHeader + "1 4 000000150\n", 1, fourGone},
        {"a space before the line end", kHeader + "1 4 150 \n", 1, fourGone},
        {"a CR inside the line ends n there", kHeader + "1 4 15\r0\n1 4 1\r\r\n", 0, none},
        {"a colon after the digits ends n there", kHeader + "1 4 14:\n1 4 1:0\n", 0, none},
    };
    // Most lines are taken whole from a window of bytes when it fits before
    // the end: every case is read as it is and with a line after it, with
    // every kernel, in both modes.
    const std::string after = std::string(40, '#') + "\n";
    for (const auto& c : cases) {
        for (const std::string& list : {c.list, c.list + after}) {
            for (const InputMode mode : {InputMode::kBinary, InputMode::kText}) {
                for (const Kernel kernel : runnable_kernels()) {
                    const Removal result = remove_with(list, mode, kernel);
                    const std::string trace = std::string(c.name) + (list == c.list ? "" : ", a line after it") +
                                              (mode == InputMode::kText ? ", text mode" : "") + ", kernel " +
                                              std::to_string(static_cast<int>(kernel));
                    EXPECT_TRUE(result.readToEnd) << trace;
                    EXPECT_EQ(result.removed, c.removed) << trace;
                    EXPECT_EQ(result.entries, c.entries) << trace;
                }
            }
        }
    }
}

// Text mode ends the list at a byte 0x1A, also inside or after the common
// lines that a kernel reads from a window.
TEST(RemovalList, ReadsTextModeAsTheWindowsRuntimeDoes) {
    const std::string lines = kHeader + "1 3 150\r\n2 3 160\r\n";
    const struct {
        const char* name;
        std::string list;
        int32_t text, binary;  // removed in each mode
    } cases[] = {
        {"Ctrl-Z on a line of its own", kHeader + "1 3 150\n\x1a\n1 4 150\n", 2, 3},
        {"Ctrl-Z inside a common line", lines + "3 4 1\x1a" "50\r\n" + std::string(40, '#') + "\n", 3, 3},
        {"Ctrl-Z after common lines", lines + "\x1a\r\n1 4 150\r\n" + std::string(40, '#') + "\n", 3, 4},
    };
    for (const auto& c : cases) {
        for (const Kernel kernel : runnable_kernels()) {
            EXPECT_EQ(remove_with(c.list, InputMode::kText, kernel).removed, c.text) << c.name;
            EXPECT_EQ(remove_with(c.list, InputMode::kBinary, kernel).removed, c.binary) << c.name;
        }
    }
}

TEST(RemovalList, KeepsTheLinesReadBeforeAReadError) {
    const struct {
        const char* name;
        std::string bytes;
        int32_t removed;
        std::vector<Candidate> entries;
    } cases[] = {
        {"at once", "", 0, marked_at({})},
        {"after whole lines: they still mark", kHeader + "1 3 150\n1 3 160\n", 3, marked_at({0, 2, 3})},
        // The line was "1 4 1509"; cut short, it must not name (4, 150).
        {"inside a line: the cut line marks nothing", kHeader + "1 3 150\n1 4 150", 2, marked_at({0, 3})},
    };
    for (const auto& c : cases) {
        std::string bytes = c.bytes;
        const Removal result = remove_from(stream_failing_after(bytes));
        EXPECT_FALSE(result.readToEnd) << c.name;
        EXPECT_EQ(result.removed, c.removed) << c.name;
        EXPECT_EQ(result.entries, c.entries) << c.name;
    }
}

}  // namespace
