// Writes a seeded sieve file "drask.dat" and removal list "recent.txt" of a
// chosen size into a folder, shaped like real ones: 14 k sections (two of
// them of excluded k values), each an absolute n followed by "+<gap>" lines
// with a mean gap of about 37. Prints the range "NMin NMax" that keeps about
// 5,000 pairs; the removal list names about 200 of them among 3,000 lines,
// the other lines below the range. With "long-list" the range keeps about
// 9,000 pairs and the list has 1,000,000 lines, all in the range, a tenth of
// them naming kept pairs. The shapes that once made an index of the table
// slow (MEGABYTES is then ignored): "repeated-pair" keeps (3, 1000) 9,999
// times and names it on each of 1,000,000 lines; "step:S" keeps k 3 with n
// = 1 + S*j for 9,999 j, and its 1,000,000 lines name n of the range, a
// tenth of them kept ones.
//
//   sieve_generate FOLDER MEGABYTES SEED [lf|crlf] [long-list|repeated-pair|step:S]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kKs[] = {3, 7, 5359, 13, 21, 45, 67, 28433, 93, 115, 137, 159, 171, 199};
constexpr int kSections = sizeof kKs / sizeof kKs[0];
constexpr int kMaxGap = 73;              // gaps 1..73, mean 37
constexpr double kMeanLineBytes = 3.88;  // "+d\n" for 9 of the 73 gaps, "+dd\n" for the rest
// How many pairs the range keeps and what the removal list holds.
struct Shape {
    int keptTarget;
    int removalLines;
    int namingKept;    // lines that name a kept pair
    bool listInRange;  // the other lines lie in the range too, else below it
};

constexpr Shape kUsual = {5000, 3000, 200, false};
constexpr Shape kLongList = {9000, 1000000, 100000, true};

struct Pair {
    int k;
    int n;
};

bool is_excluded(int k) { return k == 5359 || k == 28433; }

constexpr int kFullTable = 9999;
constexpr int kCollisionLines = 1000000;

// The table full of (3, 1000), or of k 3 with n in steps of step from 1,
// and a list of kCollisionLines lines; prints the range.
int write_collision_case(const std::string& folder, int step, std::mt19937_64& random, const char* eol) {
    std::FILE* sieve = std::fopen((folder + "/drask.dat").c_str(), "wb");
    if (sieve == nullptr) return 1;
    std::fprintf(sieve, "generated sieve file%s%s%sk=3%s%d%s", eol, eol, eol, eol, step == 0 ? 1000 : 1, eol);
    for (int i = 1; i < kFullTable; ++i) {
        if (step == 0)
            std::fprintf(sieve, "1000%s", eol);
        else
            std::fprintf(sieve, "+%d%s", step, eol);
    }
    std::fclose(sieve);
    std::FILE* removal = std::fopen((folder + "/recent.txt").c_str(), "wb");
    if (removal == nullptr) return 1;
    std::fprintf(removal, "assignment k n%s", eol);
    long long id = 1765190000000LL;
    for (int line = 0; line < kCollisionLines; ++line) {
        const int j = static_cast<int>(random() % kFullTable);
        const int off = step > 1 && random() % 10 != 0 ? 1 + static_cast<int>(random() % (step - 1)) : 0;
        std::fprintf(removal, "%lld 3 %d%s", ++id, step == 0 ? 1000 : 1 + step * j + off, eol);
    }
    std::fclose(removal);
    if (step == 0)
        std::printf("1000 1001\n");
    else
        std::printf("1 %d\n", 1 + step * kFullTable);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s FOLDER MEGABYTES SEED [crlf]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const double bytes = std::atof(argv[2]) * 1e6;
    std::mt19937_64 random(std::strtoull(argv[3], nullptr, 10));
    const char* eol = argc > 4 && std::string(argv[4]) == "crlf" ? "\r\n" : "\n";
    const std::string shapeName = argc > 5 ? argv[5] : "";
    if (shapeName == "repeated-pair") return write_collision_case(folder, 0, random, eol);
    if (shapeName.starts_with("step:")) return write_collision_case(folder, std::atoi(shapeName.c_str() + 5), random, eol);
    const Shape shape = shapeName == "long-list" ? kLongList : kUsual;

    const long linesPerSection = static_cast<long>(bytes / kSections / kMeanLineBytes);
    const int NMin = static_cast<int>(linesPerSection * 37 / 2);
    const int storableSections = kSections - 2;
    const int NMax = NMin + shape.keptTarget * 37 / storableSections;

    std::FILE* sieve = std::fopen((folder + "/drask.dat").c_str(), "wb");
    if (sieve == nullptr) return 1;
    std::fprintf(sieve, "generated sieve file, seed %s%s%d sections%sdifferences after the first n%s", argv[3], eol,
                 kSections, eol, eol);
    std::vector<Pair> kept;
    std::uniform_int_distribution<int> gap(1, kMaxGap);
    for (const int k : kKs) {
        int n = 1000 + static_cast<int>(random() % 1000);
        std::fprintf(sieve, "k=%d%s%d%s", k, eol, n, eol);
        for (long line = 0; line < linesPerSection; ++line) {
            const int d = gap(random);
            n += d;
            std::fprintf(sieve, "+%d%s", d, eol);
            if (!is_excluded(k) && n >= NMin && n < NMax) kept.push_back({k, n});
        }
    }
    std::fclose(sieve);

    // Kept pairs, and lines whose n lies below or in the range.
    std::vector<Pair> named;
    // At most half of the kept pairs are named, some more than once, so that
    // the work file still shows what was left.
    std::shuffle(kept.begin(), kept.end(), random);
    const std::size_t nameable = std::max<std::size_t>(
        1, std::min(kept.size() / 2, static_cast<std::size_t>(shape.namingKept)));
    for (int i = 0; i < shape.namingKept && !kept.empty(); ++i) named.push_back(kept[random() % nameable]);
    // The other lines name pairs that the range does not keep.
    std::set<std::pair<int, int>> keptSet;
    for (const Pair& pair : kept) keptSet.insert({pair.k, pair.n});
    const int otherFrom = shape.listInRange ? NMin : 0;
    const auto otherWidth = static_cast<unsigned>((shape.listInRange ? NMax : NMin) - otherFrom);
    while (static_cast<int>(named.size()) < shape.removalLines) {
        const Pair pair{kKs[random() % kSections], otherFrom + static_cast<int>(random() % otherWidth)};
        if (keptSet.count({pair.k, pair.n}) == 0) named.push_back(pair);
    }
    std::shuffle(named.begin(), named.end(), random);
    std::FILE* removal = std::fopen((folder + "/recent.txt").c_str(), "wb");
    if (removal == nullptr) return 1;
    std::fprintf(removal, "assignment k n%s", eol);
    long long id = 1765190000000LL;
    for (const Pair& pair : named) std::fprintf(removal, "%lld %d %d%s", ++id, pair.k, pair.n, eol);
    std::fclose(removal);

    std::printf("%d %d\n", NMin, NMax);
    return 0;
}
