// The system calls of Windows, through its wide (UTF-16) functions only:
// a path is UTF-8 inside the program, made absolute and given to the
// system in its long form ("\\?\C:\..."), so any NTFS name and any depth
// reach the file. Files are C runtime descriptors in binary mode over
// handles the Windows API opened.
#include "support/native_system.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <shellapi.h>  // after windows.h, which it needs

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "support/paths.h"
#include "support/utf16.h"

namespace quenrix::native {
namespace {

unsigned Chunk(std::size_t n) {
    return static_cast<unsigned>(std::min<std::size_t>(n, INT_MAX));
}

std::int64_t Ticks(const FILETIME& time) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                     time.dwLowDateTime);
}

bool Describe(HANDLE handle, EntryInfo& info) {
    BY_HANDLE_FILE_INFORMATION data{};
    if (!GetFileInformationByHandle(handle, &data))
        return false;
    info = EntryInfo{};
    info.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info.regular = !info.folder && GetFileType(handle) == FILE_TYPE_DISK;
    info.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    info.device = data.dwVolumeSerialNumber;
    info.fileIndex = (static_cast<std::uint64_t>(data.nFileIndexHigh) << 32) | data.nFileIndexLow;
    info.modified = Ticks(data.ftLastWriteTime);
    info.permissions = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
    return true;
}

// A failed call of the Windows API leaves its cause where the C
// runtime's calls leave theirs, so that LastCause tells both.
bool Failed() {
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            errno = ENOENT;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            errno = EACCES;
            break;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            errno = EBUSY;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            errno = ENOSPC;
            break;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            errno = EEXIST;
            break;
        case ERROR_NOT_SAME_DEVICE:
            errno = EXDEV;
            break;
        case ERROR_FILENAME_EXCED_RANGE:
            errno = ENAMETOOLONG;
            break;
        case ERROR_INVALID_NAME:
            errno = EINVAL;
            break;
        default:
            errno = EIO;
            break;
    }
    return false;
}

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
           error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH ||
           error == ERROR_INVALID_DRIVE;
}

}  // namespace

namespace {

// The path as the system takes it: absolute ("" is the current folder)
// and in the long form, which no length limit applies to.
std::wstring SystemPath(const std::string& path) {
    const std::wstring given = Utf16(path.empty() ? std::string(".") : path);
    if (given.rfind(L"\\\\?\\", 0) == 0)
        return given;
    const DWORD needed = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return given;  // the call that takes it says what is wrong
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(given.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return given;
    full.resize(length);
    return Utf16(LongPathForm(Utf8(full)));
}

bool IsFolder(const std::wstring& systemPath) {
    const DWORD attributes = GetFileAttributesW(systemPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A handle the Windows API opened as a C runtime descriptor in binary
// mode; a failure keeps its cause in errno. The system says "permission
// denied" for a folder opened as a file; Linux says what it is.
Handle Descriptor(HANDLE handle, const std::wstring& systemPath, int flags) {
    if (handle == INVALID_HANDLE_VALUE) {
        const bool folder = GetLastError() == ERROR_ACCESS_DENIED && IsFolder(systemPath);
        Failed();
        if (folder)
            errno = EISDIR;
        return kNoFile;
    }
    const int file = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
    if (file < 0) {
        CloseHandle(handle);
        errno = EMFILE;
        return kNoFile;
    }
    _setmode(file, _O_BINARY);
    return file;
}

// The sharing the C runtime's own open grants.
constexpr DWORD kShared = FILE_SHARE_READ | FILE_SHARE_WRITE;

}  // namespace

Handle RealSystem::OpenForReading(const std::string& path) {
    const std::wstring name = SystemPath(path);
    return Descriptor(CreateFileW(name.c_str(), GENERIC_READ, kShared, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr),
                      name, _O_RDONLY);
}

Handle RealSystem::OpenForReadingFromDisk(const std::string& path) {
    // Unbuffered: every read goes to the disk, in whole sectors into
    // aligned memory (kDiskPiece covers the sector sizes of today's disks).
    const std::wstring name = SystemPath(path);
    return Descriptor(CreateFileW(name.c_str(), GENERIC_READ, kShared, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr),
                      name, _O_RDONLY);
}

Handle RealSystem::CreateForWriting(const std::string& path, unsigned permissions) {
    const std::wstring name = SystemPath(path);
    const DWORD attributes =
        (permissions & 0222) != 0 ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
    return Descriptor(CreateFileW(name.c_str(), GENERIC_WRITE, kShared, nullptr, CREATE_ALWAYS,
                                  attributes, nullptr),
                      name, 0);
}

Handle RealSystem::CreateNew(const std::string& path, unsigned permissions) {
    const std::wstring name = SystemPath(path);
    const DWORD attributes =
        (permissions & 0222) != 0 ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
    // CREATE_NEW fails on any entry under the name, a link among them.
    return Descriptor(
        CreateFileW(name.c_str(), GENERIC_WRITE, kShared, nullptr, CREATE_NEW, attributes, nullptr),
        name, 0);
}

Handle RealSystem::OpenForAppending(const std::string& path) {
    const std::wstring name = SystemPath(path);
    return Descriptor(CreateFileW(name.c_str(), GENERIC_WRITE, kShared, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr),
                      name, _O_APPEND);
}

std::int64_t RealSystem::ReadSome(Handle file, void* destination, std::size_t n) {
    return _read(file, destination, Chunk(n));
}

std::int64_t RealSystem::ReadSomeAtHand(Handle, void*, std::size_t) {
    return kNotAtHand;  // not to be asked of a C runtime descriptor
}

std::int64_t RealSystem::WriteSome(Handle file, const void* data, std::size_t n) {
    return _write(file, data, Chunk(n));
}

bool RealSystem::CloseFile(Handle file) {
    return _close(file) == 0;
}

bool RealSystem::SyncFile(Handle file) {
    return _commit(file) == 0;
}

bool RealSystem::TruncateFile(Handle file, std::uint64_t size) {
    return _chsize_s(file, static_cast<long long>(size)) == 0;
}

void RealSystem::ReserveSpace(Handle, std::uint64_t) {
    // Windows finds room as the data is written.
}

Lookup RealSystem::Inspect(const std::string& path, EntryInfo& info) {
    // No access asked for: this opens files another program holds, and
    // folders (with backup semantics).
    HANDLE handle = CreateFileW(SystemPath(path).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return IsMissing(GetLastError()) ? Lookup::Missing : Lookup::Failed;
    const bool ok = Describe(handle, info);
    CloseHandle(handle);
    return ok ? Lookup::Found : Lookup::Failed;
}

bool RealSystem::InspectOpen(Handle file, EntryInfo& info) {
    const intptr_t handle = _get_osfhandle(file);
    return handle != -1 && Describe(reinterpret_cast<HANDLE>(handle), info);
}

bool RealSystem::IsLink(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool RealSystem::RenameReplacing(const std::string& from, const std::string& to) {
    return MoveFileExW(SystemPath(from).c_str(), SystemPath(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING) != 0 ||
           Failed();
}

bool RealSystem::SyncFolder(const std::string& folder) {
    // NTFS writes a folder's entries through its journal; a flush of the
    // folder asks for it at once. Where the folder cannot be opened so (a
    // file system without it), the journal's own pace has to do; a folder
    // that is not there fails.
    HANDLE handle = CreateFileW(SystemPath(folder).c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return !IsMissing(GetLastError()) || Failed();
    FlushFileBuffers(handle);
    CloseHandle(handle);
    return true;
}

bool RealSystem::RemoveFile(const std::string& path) {
    return DeleteFileW(SystemPath(path).c_str()) != 0 || IsMissing(GetLastError()) || Failed();
}

bool RealSystem::ForEachEntry(const std::string& folder,
                              const std::function<void(const FolderEntry& entry)>& visit) {
    std::wstring pattern = SystemPath(folder);
    if (pattern.back() != L'\\')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;  // a folder with nothing in it
    FolderEntry entry;
    do {
        entry.name = Utf8(found.cFileName);
        if (entry.name == "." || entry.name == "..")
            continue;
        entry.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        visit(entry);
    } while (FindNextFileW(search, &found));
    const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(search);
    return complete;
}

bool RealSystem::CreateFolder(const std::string& path) {
    const std::wstring name = SystemPath(path);
    if (CreateDirectoryW(name.c_str(), nullptr))
        return true;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        if (IsFolder(name))
            return true;
        SetLastError(ERROR_ALREADY_EXISTS);
    }
    return Failed();
}

bool RealSystem::RemoveFolderWithFiles(const std::string& folder) {
    ForEachEntry(folder, [&](const FolderEntry& entry) {
        if (!entry.folder)
            DeleteFileW(SystemPath(JoinPath(folder, entry.name)).c_str());
    });
    return RemoveDirectoryW(SystemPath(folder).c_str()) != 0 || IsMissing(GetLastError());
}

int RealSystem::LastCause() {
    return errno;
}

std::vector<std::string> Arguments(int argc, char** argv) {
    // The C runtime's argv is in the ANSI code page, which cannot spell
    // every name: the arguments are read again from the wide command line.
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    if (wide != nullptr && count == argc) {
        for (int i = 1; i < count; ++i) arguments.push_back(Utf8(wide[i]));
    } else {
        for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    }
    LocalFree(wide);
    return arguments;
}

void WriteText(TextStream stream, const std::string& utf8) {
    std::FILE* file = stream == TextStream::Output ? stdout : stderr;
    HANDLE handle =
        GetStdHandle(stream == TextStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        // A console shows UTF-16 whatever its code page.
        std::fflush(file);
        const std::wstring text = Utf16(utf8);
        DWORD written = 0;
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    std::fwrite(utf8.data(), 1, utf8.size(), file);  // redirected: UTF-8
}

std::string RealSystem::MakeTemporaryFolder(const std::string& prefix) {
    std::wstring base(MAX_PATH + 1, L'\0');
    DWORD length = GetTempPathW(static_cast<DWORD>(base.size()), base.data());
    if (length > base.size()) {
        base.resize(length);
        length = GetTempPathW(static_cast<DWORD>(base.size()), base.data());
    }
    if (length == 0 || length >= base.size())
        return {};
    base.resize(length);
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 1000; ++attempt) {
        char unique[64];
        std::snprintf(unique, sizeof unique, "%lx-%lx-%x", GetCurrentProcessId(), GetTickCount(),
                      counter++);
        const std::string folder = Utf8(base) + prefix + unique;
        if (CreateDirectoryW(SystemPath(folder).c_str(), nullptr))
            return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return {};
    }
    return {};
}

std::string RealSystem::ExecutablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return Utf8(path);
        }
        path.resize(path.size() * 2);  // cut short: try a larger buffer
    }
}

LocalDateTime RealSystem::LocalClockNow() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

bool ErrorOutputIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

unsigned long RealSystem::ProcessId() {
    return GetCurrentProcessId();
}

}  // namespace quenrix::native
