#include "reference_readers.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

// What scanf's "%ld" reads at text, clamped to 32 bits; false when there is
// no number.
bool scan_number(const char* text, char** rest, int32_t& value) {
    char* end = nullptr;
    const long long wide = std::strtoll(text, &end, 10);
    if (end == text) return false;
    value = static_cast<int32_t>(std::clamp<long long>(wide, INT32_MIN, INT32_MAX));
    if (rest != nullptr) *rest = end;
    return true;
}

}  // namespace

std::string text_mode_bytes(const std::string& raw) {
    std::string text;
    for (std::size_t i = 0; i < raw.size() && raw[i] != '\x1a'; ++i)
        if (!(raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')) text += raw[i];
    return text;
}

SieveOutcome reference_read_sieve(std::FILE* in, int32_t NMin, int32_t NMax, CandidateTable& table) {
    char line[100];
    int reads = 0;
    int32_t k = 0;
    int32_t n = 0;
    bool kKnown = false;
    while (std::fgets(line, sizeof line, in) != nullptr) {
        if (++reads <= 3) continue;
        int32_t value = 0;
        if (line[0] == 'k') {
            kKnown = line[1] == '=' && scan_number(line + 2, nullptr, value);
            if (kKnown) k = value;
            continue;
        }
        if (line[0] == '+') {
            if (!scan_number(line + 1, nullptr, value)) continue;
            n = static_cast<int32_t>(std::clamp<long long>(static_cast<long long>(n) + value, INT32_MIN, INT32_MAX));
        } else {
            if (!scan_number(line, nullptr, value)) continue;
            n = value;
        }
        if (!kKnown || n < NMin || n >= NMax || k == 5359 || k == 28433) continue;
        table.entries[static_cast<std::size_t>(table.count++)] = {k, n};
        if (table.count >= kTableSlots) return SieveOutcome::kTableFull;
    }
    return std::ferror(in) ? SieveOutcome::kReadError : SieveOutcome::kEndOfFile;
}

int32_t reference_apply_removal(std::FILE* in, int32_t NMin, int32_t NMax, CandidateTable& table,
                                bool& readToEnd) {
    char line[100];
    int32_t removed = 0;
    bool header = true;
    while (std::fgets(line, sizeof line, in) != nullptr) {
        if (std::exchange(header, false)) continue;
        char* rest = nullptr;
        int32_t id = 0;
        int32_t k = 0;
        int32_t n = 0;
        if (!scan_number(line, &rest, id) || !scan_number(rest, &rest, k) || !scan_number(rest, &rest, n)) continue;
        if (n < NMin || n >= NMax) continue;
        for (int32_t i = 0; i < table.count; ++i) {
            Candidate& entry = table.entries[static_cast<std::size_t>(i)];
            if (entry.k != 0 && entry.k == k && entry.n == n) {
                entry.k = 0;
                ++removed;
            }
        }
    }
    readToEnd = !std::ferror(in);
    return removed;
}
