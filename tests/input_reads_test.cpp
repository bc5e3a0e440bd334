// The reads of an input, against one fgets of at most 99 characters at a
// time, on the bytes that the host's runtime would hand it.
#include "input_reads.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "reference_readers.h"
#include "test_support.h"

namespace {

// The reads as fgets into a 100-byte buffer takes them.
std::vector<std::string> fgets_reads(const std::string& bytes) {
    std::vector<std::string> reads;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t newline = bytes.find('\n', at);
        const std::size_t length = std::min<std::size_t>(newline == std::string::npos ? bytes.size() - at : newline + 1 - at, 99);
        reads.push_back(bytes.substr(at, length));
        at += length;
    }
    return reads;
}

// The reads as InputReads takes them, the CR of a CR LF that ends a read
// in text mode left out, as it counts for no character.
std::vector<std::string> tool_reads(std::FILE* in, InputMode mode, Kernel kernel, bool& failed) {
    const ForcedKernel forced(kernel);
    const auto reads = std::make_unique<InputReads>(in, mode);
    std::vector<std::string> taken;
    for (InputSpan read{}; reads->next_read(read);) {
        std::string text(read.begin, read.end);
        if (mode == InputMode::kText && text.ends_with("\r\n")) text.erase(text.size() - 2, 1);
        taken.push_back(text);
    }
    failed = reads->failed();
    return taken;
}

// Bytes of every kind that matters to a read: long lines, CR LF, lone CR,
// zero bytes and Ctrl-Z, some files longer than a block.
std::string random_bytes(std::mt19937& random) {
    const std::string alphabet[] = {"a", "7", "\n", "\r\n", "\r", std::string(1, '\0'), "\x1a", std::string(120, 'x')};
    const std::size_t size = random() % 8 == 0 ? kInputBlockSize + random() % 5000 : random() % 3000;
    std::string bytes;
    while (bytes.size() < size) {
        const auto roll = random() % 100;
        bytes += roll < 60 ? "a" : roll < 85 ? "\n" : alphabet[random() % std::size(alphabet)];
    }
    return bytes;
}

// The same text saved as UTF-16, either byte order, reads as it does in
// ASCII.
TEST(InputReads, CutsAsFgetsDoesOnTheBytesTheHostHandsIt) {
    std::mt19937 random(20261210);
    for (int i = 0; i < 200; ++i) {
        const std::string bytes = random_bytes(random);
        for (const InputMode mode : {InputMode::kBinary, InputMode::kText}) {
            const std::vector<std::string> expected = fgets_reads(readable_bytes(bytes, mode));
            const std::u16string units(bytes.begin(), bytes.end());
            for (const std::string& file : {bytes, utf16_file(units, false), utf16_file(units, true)}) {
                for (const Kernel kernel : runnable_kernels()) {
                    std::FILE* in = stream_with(file);
                    bool failed = true;
                    EXPECT_EQ(tool_reads(in, mode, kernel, failed), expected)
                        << i << " mode " << static_cast<int>(mode) << " kernel " << static_cast<int>(kernel)
                        << " file of " << file.size() << " bytes";
                    EXPECT_FALSE(failed);
                    std::fclose(in);
                }
            }
        }
    }
}

// A UTF-16 file gives one byte a character: an ASCII character as itself,
// any other (a surrogate pair among them) as '?', and so does a last byte
// that is half a code unit.
TEST(InputReads, TakeAUtf16FileOneByteACharacter) {
    const struct {
        std::u16string units;
        std::string text;
    } cases[] = {
        {u"k=7\n150", "k=7\n150"},
        {u"\u00e91\u0100\x7f\u0080\ufeff", "?1?\x7f??"},
        {u"1\U0001F600" u"2", "1?2"},
        {u"\u0a0d1", "?1"},
    };
    for (const auto& c : cases) {
        for (const bool bigEndian : {false, true}) {
            const std::string file = utf16_file(c.units, bigEndian);
            for (const std::string& bytes : {file, file + "x"}) {
                std::FILE* in = stream_with(bytes);
                bool failed = true;
                std::string text;
                for (const std::string& read : tool_reads(in, InputMode::kBinary, Kernel::kPlain, failed))
                    text += read;
                EXPECT_EQ(text, c.text + (bytes.size() > file.size() ? "?" : "")) << c.text << bigEndian;
                std::fclose(in);
            }
        }
    }
}

// Lines at the edge of a read: 98, 99 and 100 characters before their line
// end, LF or CR LF, read as fgets reads them, in both modes.
TEST(InputReads, CutAtNinetyNineCharactersAsFgetsCuts) {
    for (const std::size_t characters : {98u, 99u, 100u}) {
        for (const std::string end : {"\n", "\r\n"}) {
            const std::string bytes = std::string(characters, 'x') + end + "y\n";
            for (const InputMode mode : {InputMode::kBinary, InputMode::kText}) {
                std::FILE* in = stream_with(bytes);
                bool failed = true;
                EXPECT_EQ(tool_reads(in, mode, Kernel::kPlain, failed),
                          fgets_reads(readable_bytes(bytes, mode)))
                    << characters << " characters, mode " << static_cast<int>(mode) << (end.size() == 2 ? ", CR LF" : "");
                std::fclose(in);
            }
        }
    }
}

// A line cut short by a read error could name a value the file does not
// hold: the data ends after the last whole line read.
TEST(InputReads, EndAfterTheLastWholeLineBeforeAReadError) {
    const struct {
        std::string bytes;
        std::vector<std::string> reads;
    } cases[] = {
        {"", {}},
        {"a\nb\n", {"a\n", "b\n"}},
        {"a\nb\n150", {"a\n", "b\n"}},
        {"1509", {}},
    };
    for (const auto& c : cases) {
        std::string bytes = c.bytes;
        std::FILE* in = stream_failing_after(bytes);
        bool failed = false;
        EXPECT_EQ(tool_reads(in, InputMode::kBinary, Kernel::kPlain, failed), c.reads) << c.bytes;
        EXPECT_TRUE(failed) << c.bytes;
        std::fclose(in);
    }
}

}  // namespace
