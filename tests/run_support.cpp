#include "run_support.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

std::string work_lines(const std::vector<std::pair<int, int>>& pairs, const std::string& tail) {
    std::string lines;
    for (const auto& [k, n] : pairs)
        lines += "Pminus1=" + std::to_string(k) + ",2," + std::to_string(n) + ",1," + tail + kNewline;
    return lines;
}

std::string no_list(const std::string& folder) {
    return "Can't find recent.txt - continuing\nNote: no recent.txt in " + host_folder(folder) + "\n";
}

std::string example_lines() {
    return work_lines({{21, 107}, {13, 120}, {21, 137}, {45, 137}, {21, 138}, {45, 154}, {13, 168}, {13, 180}});
}

std::string sieve_with_pairs(int32_t pairs, int k) {
    std::string body = kHeader + "k=" + std::to_string(k) + "\n1000\n";
    for (int32_t i = 0; i < pairs; ++i) body += "+1\n";
    return body;
}

std::vector<std::pair<int, int>> pairs_from_1000(int k, int count) {
    std::vector<std::pair<int, int>> pairs;
    for (int n = 1000; n < 1000 + count; ++n) pairs.push_back({k, n});
    return pairs;
}

int hold_lock(const std::string& path) {
    const int held = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (held < 0 || flock(held, LOCK_EX) != 0) throw std::runtime_error("cannot lock " + path);
    return held;
}

namespace {

RunOptions helper_program() {
    RunOptions options;
#ifdef BRISVEL_WINDOWS_HELPER
    options.program = BRISVEL_WINDOWS_HELPER;
#endif
    return options;
}

}  // namespace

HeldLock hold_lock_in(const std::string& dir, const std::string& name) {
    if (!kWindowsHost) return {hold_lock(dir + "/" + name), {}};
    const StartedRun holder = start_brisvel(dir, {"hold", name}, helper_program());
    read_until(holder.outFd, "locked");
    return {-1, holder};
}

HeldLock keep_unshared_in(const std::string& dir, const std::string& name) {
    const StartedRun holder = start_brisvel(dir, {"keep", name}, helper_program());
    read_until(holder.outFd, "locked");
    return {-1, holder};
}

void release_lock(const std::string& dir, const HeldLock& held) {
    if (!kWindowsHost) {
        close(held.descriptor);
        return;
    }
    write_file(dir + "/release", "");
    finish_brisvel(held.holder);
    std::filesystem::remove(dir + "/release");
}
