// A Windows program for the end-to-end tests of brisvel.exe under Wine,
// which does not see a lock that a Linux program takes:
//   brisvel_test_helper hold PATH   takes brisvel's lock on PATH, prints
//                                   "locked" and holds it until a file
//                                   "release" is in the current folder
//   brisvel_test_helper keep PATH   holds PATH open as a program that shares
//                                   no write access, likewise
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// The byte that brisvel locks, at offset 2^62.
constexpr DWORD kLockOffsetHigh = DWORD{1} << 30;

int hold(const char* path, bool locks) {
    const DWORD sharing = locks ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : FILE_SHARE_READ;
    const HANDLE file =
        CreateFileA(path, GENERIC_READ, sharing, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    if (file == INVALID_HANDLE_VALUE || (locks && !LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at))) return 1;
    std::puts("locked");
    std::fflush(stdout);
    while (GetFileAttributesA("release") == INVALID_FILE_ATTRIBUTES) Sleep(10);
    CloseHandle(file);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "hold") == 0) return hold(argv[2], true);
    if (argc == 3 && std::strcmp(argv[1], "keep") == 0) return hold(argv[2], false);
    return 2;
}
