#include "reference_readers.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

int32_t clamped(long value) { return static_cast<int32_t>(std::clamp<long>(value, INT32_MIN, INT32_MAX)); }

}  // namespace

std::string readable_bytes(const std::string& raw, InputMode mode) {
    std::string plain = raw;
    const bool little = raw.starts_with("\xff\xfe");
    if (little || raw.starts_with("\xfe\xff")) {
        plain.clear();
        for (std::size_t i = 2; i < raw.size(); i += 2) {
            if (i + 1 == raw.size()) {
                plain += '?';  // half a code unit
                break;
            }
            const unsigned first = static_cast<unsigned char>(raw[i]);
            const unsigned second = static_cast<unsigned char>(raw[i + 1]);
            const unsigned unit = little ? first | second << 8 : first << 8 | second;
            if (unit >= 0xdc00 && unit <= 0xdfff) continue;  // a pair's second half
            plain += unit < 0x80 ? static_cast<char>(unit) : '?';
        }
    }
    if (mode == InputMode::kBinary) return plain;
    std::string text;
    for (std::size_t i = 0; i < plain.size() && plain[i] != '\x1a'; ++i)
        if (!(plain[i] == '\r' && i + 1 < plain.size() && plain[i + 1] == '\n')) text += plain[i];
    return text;
}

SieveOutcome reference_read_sieve(std::FILE* in, int32_t NMin, int32_t NMax, CandidateTable& table) {
    std::vector<Candidate> pairs;
    char line[100];
    int reads = 0;
    int32_t k = 0;
    int32_t n = 0;
    bool kKnown = false;
    while (std::fgets(line, sizeof line, in) != nullptr) {
        if (++reads <= 3) continue;
        long value = 0;
        if (line[0] == 'k') {
            kKnown = std::sscanf(line, "k=%ld", &value) == 1;
            if (kKnown) k = clamped(value);
            continue;
        }
        if (line[0] == '+') {
            if (std::sscanf(line, "+%ld", &value) != 1) continue;
            n = clamped(static_cast<long>(n) + clamped(value));
        } else {
            if (std::sscanf(line, "%ld", &value) != 1) continue;
            n = clamped(value);
        }
        if (!kKnown || n < NMin || n >= NMax || k == 5359 || k == 28433) continue;
        pairs.push_back({k, n});
    }
    const bool full = pairs.size() >= kTableSlots;
    if (full) {
        std::stable_sort(pairs.begin(), pairs.end(), [](const Candidate& a, const Candidate& b) { return a.n < b.n; });
        pairs.resize(kTableSlots);
    }
    std::copy(pairs.begin(), pairs.end(), table.entries.begin());
    table.count = static_cast<int32_t>(pairs.size());
    if (std::ferror(in)) return SieveOutcome::kReadError;
    return full ? SieveOutcome::kTableFull : SieveOutcome::kEndOfFile;
}

int32_t reference_apply_removal(std::FILE* in, int32_t NMin, int32_t NMax, CandidateTable& table,
                                bool& readToEnd) {
    char line[100];
    int32_t removed = 0;
    bool header = true;
    while (std::fgets(line, sizeof line, in) != nullptr) {
        if (std::exchange(header, false)) continue;
        long id = 0;
        long k = 0;
        long n = 0;
        if (std::sscanf(line, "%ld %ld %ld", &id, &k, &n) != 3) continue;
        if (clamped(n) < NMin || clamped(n) >= NMax) continue;
        for (int32_t i = 0; i < table.count; ++i) {
            Candidate& entry = table.entries[static_cast<std::size_t>(i)];
            if (entry.k != 0 && entry.k == clamped(k) && entry.n == clamped(n)) {
                entry.k = 0;
                ++removed;
            }
        }
    }
    readToEnd = !std::ferror(in);
    return removed;
}
