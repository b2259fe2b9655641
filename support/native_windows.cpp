// The system calls of Windows. Files are C runtime descriptors in binary
// mode; moves, the folder search, the clock and the program's path go
// through the Windows API itself.
#include "support/native.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <string>

#include "support/failure_text.h"

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
// runtime's calls leave theirs, so that LastFailure tells both.
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

// The folder ready for a name to be added: "" stays "" (the current
// folder), anything else ends in a separator.
std::string WithSeparator(const std::string& folder) {
    if (folder.empty() || folder.back() == '\\' || folder.back() == '/' || folder.back() == ':')
        return folder;
    return folder + '\\';
}

}  // namespace

// The C runtime says "permission denied" for a folder opened as a file;
// Linux says what it is.
Handle Opened(Handle file, const std::string& path) {
    if (file < 0 && errno == EACCES) {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            errno = EISDIR;
    }
    return file;
}

Handle OpenForReading(const std::string& path) {
    return Opened(_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT), path);
}

Handle CreateForWriting(const std::string& path, unsigned permissions) {
    const int mode = (permissions & 0222) != 0 ? (_S_IREAD | _S_IWRITE) : _S_IREAD;
    return Opened(
        _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT, mode),
        path);
}

Handle OpenForAppending(const std::string& path) {
    return Opened(_open(path.c_str(), _O_WRONLY | _O_APPEND | _O_BINARY | _O_NOINHERIT), path);
}

std::int64_t ReadSome(Handle file, void* destination, std::size_t n) {
    return _read(file, destination, Chunk(n));
}

std::int64_t ReadSomeAtHand(Handle, void*, std::size_t) {
    return kNotAtHand;  // not to be asked of a C runtime descriptor
}

std::int64_t WriteSome(Handle file, const void* data, std::size_t n) {
    return _write(file, data, Chunk(n));
}

bool CloseFile(Handle file) {
    return _close(file) == 0;
}

bool SyncFile(Handle file) {
    return _commit(file) == 0;
}

bool TruncateFile(Handle file, std::uint64_t size) {
    return _chsize_s(file, static_cast<long long>(size)) == 0;
}

void ReserveSpace(Handle, std::uint64_t) {
    // Windows finds room as the data is written.
}

Lookup Inspect(const std::string& path, EntryInfo& info) {
    // No access asked for: this opens files another program holds, and
    // folders (with backup semantics).
    HANDLE handle =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return IsMissing(GetLastError()) ? Lookup::Missing : Lookup::Failed;
    const bool ok = Describe(handle, info);
    CloseHandle(handle);
    return ok ? Lookup::Found : Lookup::Failed;
}

bool InspectOpen(Handle file, EntryInfo& info) {
    const intptr_t handle = _get_osfhandle(file);
    return handle != -1 && Describe(reinterpret_cast<HANDLE>(handle), info);
}

bool RenameReplacing(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0 || Failed();
}

bool SyncFolder(const std::string& folder) {
    // NTFS writes a folder's entries through its journal; a flush of the
    // folder asks for it at once. Where the folder cannot be opened so (a
    // file system without it), the journal's own pace has to do; a folder
    // that is not there fails.
    HANDLE handle = CreateFileA(folder.empty() ? "." : folder.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return !IsMissing(GetLastError()) || Failed();
    FlushFileBuffers(handle);
    CloseHandle(handle);
    return true;
}

bool RemoveFile(const std::string& path) {
    return DeleteFileA(path.c_str()) != 0 || IsMissing(GetLastError()) || Failed();
}

bool ForEachEntry(const std::string& folder,
                  const std::function<void(const FolderEntry& entry)>& visit) {
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileExA(WithSeparator(folder).append("*").c_str(), FindExInfoBasic,
                                     &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;  // a folder with nothing in it
    FolderEntry entry;
    do {
        entry.name = found.cFileName;
        if (entry.name == "." || entry.name == "..")
            continue;
        entry.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        visit(entry);
    } while (FindNextFileA(search, &found));
    const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(search);
    return complete;
}

bool CreateFolder(const std::string& path) {
    if (CreateDirectoryA(path.c_str(), nullptr))
        return true;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return true;
        SetLastError(ERROR_ALREADY_EXISTS);
    }
    return Failed();
}

bool RemoveFolderWithFiles(const std::string& folder) {
    const std::string prefix = WithSeparator(folder);
    ForEachEntry(folder, [&](const FolderEntry& entry) {
        if (!entry.folder)
            DeleteFileA((prefix + entry.name).c_str());
    });
    return RemoveDirectoryA(folder.c_str()) != 0 || IsMissing(GetLastError());
}

std::string LastFailure() {
    return FailureText(errno);
}

std::string SystemTextToUtf8(const std::string& text) {
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii || GetACP() == CP_UTF8)
        return text;
    const int length = static_cast<int>(text.size());
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (wideLength <= 0)
        return text;
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), wideLength);
    const int utf8Length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(utf8Length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, utf8.data(), utf8Length, nullptr,
                        nullptr);
    return utf8;
}

std::string MakeTemporaryFolder(const std::string& prefix) {
    char base[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof base, base);
    if (length == 0 || length > MAX_PATH)
        return {};
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 1000; ++attempt) {
        char unique[64];
        std::snprintf(unique, sizeof unique, "%lx-%lx-%x", GetCurrentProcessId(), GetTickCount(),
                      counter++);
        const std::string folder = std::string(base, length) + prefix + unique;
        if (CreateDirectoryA(folder.c_str(), nullptr))
            return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return {};
    }
    return {};
}

std::string ExecutablePath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);  // cut short: try a larger buffer
    }
}

LocalDateTime LocalClockNow() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

bool ErrorOutputIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

unsigned long ProcessId() {
    return GetCurrentProcessId();
}

}  // namespace quenrix::native
