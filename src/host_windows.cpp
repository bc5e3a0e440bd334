#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "host.h"

namespace {

// Byte-range locks on Windows are mandatory: the lock covers one byte far
// past any real content, so that the client can still read the file.
constexpr DWORD kLockOffsetHigh = DWORD{1} << 30;  // offset 2^62

// Other programs keep every access to the file while the run holds it,
// deleting among them: a client can still rename a new queue over it (the
// run then opens the path again once it has the lock). The handle is not
// inherited. The path is read in the process's code page (UTF-8, by the
// manifest), as the runtime's own open reads it, and handed to the wide
// call, which takes paths past 260 characters; each byte gives at most one
// UTF-16 unit.
using WidePath = std::array<wchar_t, 1024>;

bool widened(const char* path, WidePath& wide) {
    return MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), static_cast<int>(wide.size())) != 0;
}

HANDLE open_shared(const char* path, DWORD access, DWORD disposition, DWORD flags) {
    WidePath wide{};
    if (!widened(path, wide)) return INVALID_HANDLE_VALUE;
    return CreateFileW(wide.data(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       disposition, flags, nullptr);
}

// Why the last call failed, as the system said then.
DWORD lastFailure = 0;

// The attributes of what path names; INVALID_FILE_ATTRIBUTES when nothing.
DWORD attributes_at(const char* path) {
    WidePath wide{};
    return widened(path, wide) ? GetFileAttributesW(wide.data()) : INVALID_FILE_ATTRIBUTES;
}

// The file at path, created when absent if disposition says so, as a
// runtime descriptor in binary mode; -1 when it cannot be opened with
// access (the failure is remembered).
int open_descriptor(const char* path, DWORD access, DWORD disposition, int mode, bool& created) {
    const HANDLE file = open_shared(path, access, disposition, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) {
        lastFailure = GetLastError();
        return -1;
    }
    created = disposition == OPEN_ALWAYS && GetLastError() != ERROR_ALREADY_EXISTS;
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), mode | _O_BINARY);
    if (descriptor < 0) CloseHandle(file);
    return descriptor;
}

// A stream that reads descriptor, for the caller to close; nullptr, the
// descriptor closed, when there is none.
std::FILE* stream_of(int descriptor) {
    std::FILE* file = descriptor < 0 ? nullptr : _fdopen(descriptor, "rb");
    if (file == nullptr && descriptor >= 0) _close(descriptor);
    return file;
}

HANDLE os_handle(const AppendHandle& handle) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(handle.descriptor));
}

// Which file a handle holds: its volume and its index there. False for
// what has no such identity (a device).
bool file_identity(HANDLE file, BY_HANDLE_FILE_INFORMATION& identity) {
    return GetFileInformationByHandle(file, &identity) != 0;
}

bool lock_far_byte(HANDLE file, DWORD flags) {
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    return LockFileEx(file, flags, 0, 1, 0, &at) != 0;
}

// A failed _write does not say how much of it reached the file. What did
// is found from the file's growth, counted as this run's only when it is
// byte for byte the start of what was being written.
int64_t landed_before_failure(const AppendHandle& handle, int64_t sizeBefore, const char* bytes,
                              std::size_t length) {
    const int64_t grown = file_facts(handle).size - sizeBefore;
    if (sizeBefore < 0 || grown <= 0 || grown > static_cast<int64_t>(length)) return 0;
    std::array<char, 4096> chunk{};
    for (int64_t checked = 0; checked < grown;) {
        const auto want = static_cast<unsigned>(std::min(grown - checked, static_cast<int64_t>(chunk.size())));
        if (_lseeki64(handle.descriptor, sizeBefore + checked, SEEK_SET) != sizeBefore + checked ||
            _read(handle.descriptor, chunk.data(), want) != static_cast<int>(want) ||
            std::memcmp(chunk.data(), bytes + checked, want) != 0)
            return 0;
        checked += want;
    }
    return grown;
}

// The code page to put back, 0 once it is back.
std::atomic<UINT> codePageToRestore{0};
std::atomic<bool> signalsHeld{false};
// A console event came, and waits for the signals to be released.
std::atomic<bool> consoleEventPending{false};

// A wait that asks again and again pauses this long between asks.
constexpr DWORD kPauseMs = 50;
// How long a run that released the signals waits for a console event's
// handler to end it.
constexpr DWORD kEventEndWaitMs = 5000;
constexpr DWORD kEventEndPollMs = 10;

void put_code_page_back() {
    const UINT codePage = codePageToRestore.exchange(0);
    if (codePage != 0) SetConsoleOutputCP(codePage);
}

// Runs on the thread Windows starts for a console event, before the process
// ends: it waits while signals are held, so that the files and the
// console agree, and leaves the console its user's code page. Then the next
// handler, in the end the one that ends the process, acts on the event.
BOOL WINAPI on_console_event(DWORD) {
    consoleEventPending.store(true);
    while (signalsHeld.load()) Sleep(10);
    put_code_page_back();
    return FALSE;
}

constexpr const char* kDoubleClickHelp =
    "brisvel is a command-line tool: open a console in this folder (type cmd in Explorer's address bar "
    "and press Enter) and type brisvel --help there. Press Enter to close this window.\n";

// Whether the program that started this run is Explorer, as the system's
// list of processes shows it.
bool started_by_explorer() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD parent = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
    bool explorer = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && parent != 0; more = Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == parent) explorer = _wcsicmp(entry.szExeFile, L"explorer.exe") == 0;
    CloseHandle(snapshot);
    return explorer;
}

}  // namespace

bool to_local_time(std::time_t time, std::tm& local) { return localtime_s(&local, &time) == 0; }

void begin_console() {
    DWORD mode = 0;
    if (!GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) return;
    const UINT previousCodePage = GetConsoleOutputCP();
    if (previousCodePage == CP_UTF8) return;
    // Stored first, so that no interrupt can find the code page changed and
    // nothing to put back.
    codePageToRestore.store(previousCodePage);
    if (SetConsoleOutputCP(CP_UTF8) == 0) codePageToRestore.store(0);
}

// A run that a double-click started is the only process of its console
// window, and its standard input and output are that console. (A run in a
// console that a shell holds shares it; a script or a pipe gives it other
// input or output.) Only Explorer's start counts: a scheduler or another
// program may give a run a console of its own too, and nobody would press
// Enter there.
void end_console() {
    std::array<DWORD, 2> processes{};
    DWORD mode = 0;
    const DWORD attached = GetConsoleProcessList(processes.data(), static_cast<DWORD>(processes.size()));
    const bool input = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
    const bool output = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
    if (attached == 1 && input && output && started_by_explorer()) {
        std::fputs(kDoubleClickHelp, stdout);
        std::array<char, 16> answer{};
        std::fflush(stdout);
        std::fgets(answer.data(), static_cast<int>(answer.size()), stdin);
    }
    std::fflush(stdout);  // what was printed is shown while the console still reads UTF-8
    put_code_page_back();
}

// Windows sends no signal for a file-size limit or a closed pipe; a write
// there simply fails. The runtime marks a standard stream that the process
// was started without as open, on no file, so it never gives its number to
// a file the run opens.
bool prepare_process() {
    SetConsoleCtrlHandler(on_console_event, TRUE);
    return true;
}

void hold_signals() {
    if (signalsHeld.load()) return;
    std::fflush(stdout);
    signalsHeld.store(true);
}

// A console event that waited ends the process on its own thread once the
// signals are released: the run waits for that end, as a held
// signal ends it elsewhere, rather than exit with a status of its own.
void release_signals() {
    std::fflush(stdout);
    signalsHeld.store(false);
    for (DWORD waited = 0; consoleEventPending.load() && waited < kEventEndWaitMs; waited += kEventEndPollMs)
        Sleep(kEventEndPollMs);
}

bool signals_held() { return signalsHeld.load(); }

// A console event waits on a thread of its own; a wait for
// a lock gives up when one is waiting.
bool ending_signal_held() { return consoleEventPending.load(); }

// A console's writes cannot be given up on; they go out as printf's do.
void write_to_console(std::span<const char> text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void remember_failure() { lastFailure = GetLastError(); }

bool failure_was_missing() { return lastFailure == ERROR_FILE_NOT_FOUND || lastFailure == ERROR_PATH_NOT_FOUND; }

// The system's message, in the process's code page (UTF-8, by the
// manifest), without its line end.
void describe_failure(std::span<char> text) {
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        lastFailure, 0, text.data(), static_cast<DWORD>(text.size()), nullptr);
    if (length == 0) std::snprintf(text.data(), text.size(), "error %lu", static_cast<unsigned long>(lastFailure));
    for (std::size_t end = std::strlen(text.data()); end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n');)
        text[--end] = '\0';
}

// Other programs keep every access to an input, as to the files appended
// to.
std::FILE* open_input(const char* path) {
    bool created = false;
    return stream_of(open_descriptor(path, GENERIC_READ, OPEN_EXISTING, _O_RDONLY, created));
}

// Windows has no FIFOs: there is never a reader to wait for. A look opens
// what is there, and only a file on a disk.
OpenOutcome open_for_append(const char* path, OpenFor purpose, AppendHandle& handle) {
    const DWORD disposition = purpose == OpenFor::kLook ? OPEN_EXISTING : OPEN_ALWAYS;
    bool created = false;
    handle = {open_descriptor(path, GENERIC_READ | GENERIC_WRITE, disposition, _O_APPEND, created), true, false};
    if (handle.descriptor < 0)
        handle = {open_descriptor(path, GENERIC_WRITE, disposition, _O_APPEND, created), false, false};
    handle.created = created;
    if (handle.descriptor < 0) return OpenOutcome::kNotOpened;
    if (purpose != OpenFor::kLook || file_facts(handle).regular) return OpenOutcome::kOpened;
    close_append_handle(handle);
    return OpenOutcome::kChanged;
}

// The copy shares the handle's position: it is put back at the start.
std::FILE* read_stream(const AppendHandle& handle) {
    const int copy = _dup(handle.descriptor);
    if (copy >= 0) _lseeki64(copy, 0, SEEK_SET);
    return stream_of(copy);
}

bool try_lock_for_append(const AppendHandle& handle) {
    return lock_far_byte(os_handle(handle), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY) ||
           GetLastError() != ERROR_LOCK_VIOLATION;
}

void pause_briefly() { Sleep(kPauseMs); }

// A device has no identity to compare: the path names it whatever happens.
bool path_names_handle(const char* path, const AppendHandle& handle) {
    BY_HANDLE_FILE_INFORMATION held{};
    if (!file_identity(os_handle(handle), held)) return true;
    const HANDLE named = open_shared(path, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    if (named == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION atPath{};
    const bool same = file_identity(named, atPath) && atPath.dwVolumeSerialNumber == held.dwVolumeSerialNumber &&
                      atPath.nFileIndexHigh == held.nFileIndexHigh && atPath.nFileIndexLow == held.nFileIndexLow;
    CloseHandle(named);
    return same;
}

FileFacts file_facts(const AppendHandle& handle) {
    struct _stati64 status {};
    if (_fstati64(handle.descriptor, &status) != 0) return {false, -1};
    const bool regular = (status.st_mode & _S_IFMT) == _S_IFREG;
    return {regular, regular ? int64_t{status.st_size} : -1};
}

bool read_byte_at(const AppendHandle& handle, int64_t offset, char& byte) {
    return _lseeki64(handle.descriptor, offset, SEEK_SET) == offset && _read(handle.descriptor, &byte, 1) == 1;
}

// The lock keeps a write that the system takes in parts together against
// other runs.
int64_t append_bytes(const AppendHandle& handle, std::span<const char> bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const int64_t sizeBefore = file_facts(handle).size;
        const std::size_t chunk = bytes.size() - written;
        const int wrote = _write(handle.descriptor, bytes.data() + written, static_cast<unsigned>(chunk));
        if (wrote <= 0) {
            remember_failure();
            const char* lost = bytes.data() + written;
            if (handle.readable) written += static_cast<std::size_t>(landed_before_failure(handle, sizeBefore, lost, chunk));
            break;
        }
        written += static_cast<std::size_t>(wrote);
    }
    return static_cast<int64_t>(written);
}

bool flush_to_storage(const AppendHandle& handle, bool regular) {
    if (_commit(handle.descriptor) == 0) return true;
    remember_failure();
    return !regular;
}

bool cut_to(const AppendHandle& handle, int64_t size) { return _chsize_s(handle.descriptor, size) == 0; }

void close_append_handle(const AppendHandle& handle) { _close(handle.descriptor); }

// Windows has no links that a file is made through.
bool folder_of(const char* path, FolderPath& folder) {
    if (std::snprintf(folder.data(), folder.size(), "%s", path) >= static_cast<int>(folder.size())) return false;
    cut_to_folder(folder);
    return true;
}

// NTFS journals its folder entries; a folder cannot be flushed through the
// runtime's calls.
void flush_folder_of(const char*) {}

// Windows has no FIFOs; a device name (NUL, CON) shows no attributes of
// a folder. What cannot be appended to leaves the reason an open gives.
FileKind kind_at(const char* path) {
    const DWORD attributes = attributes_at(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        remember_failure();
        return failure_was_missing() ? FileKind::kNone : FileKind::kOther;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return FileKind::kRegular;
    lastFailure = ERROR_ACCESS_DENIED;
    return FileKind::kFolder;
}

bool may_write(const char* path) {
    if ((attributes_at(path) & FILE_ATTRIBUTE_READONLY) == 0) return true;
    lastFailure = ERROR_ACCESS_DENIED;
    return false;
}

Creation may_create(const char* path) {
    FolderPath folder{};
    if (folder_of(path, folder) && kind_at(folder.data()) == FileKind::kFolder) return Creation::kAllowed;
    lastFailure = ERROR_PATH_NOT_FOUND;
    return Creation::kRefused;
}

void current_folder(FolderPath& folder) {
    if (_getcwd(folder.data(), static_cast<int>(folder.size())) == nullptr)
        std::snprintf(folder.data(), folder.size(), ".");
}
