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

#include <aclapi.h>    // after windows.h, which it needs
#include <bcrypt.h>    // likewise
#include <shellapi.h>  // likewise

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/failure.h"
#include "support/paths.h"
#include "support/utf16.h"

namespace quenrix::native {
namespace {

// The paths the open folders were opened by, in the long form: where the
// system cannot tell a folder's path from its handle (Wine, past 260
// characters), it is still there, as nobody can rename an open folder.
std::mutex openFoldersMutex;
std::map<Handle, std::wstring> openFolders;

unsigned Chunk(std::size_t n) {
    return static_cast<unsigned>(std::min<std::size_t>(n, INT_MAX));
}

std::int64_t Ticks(const FILETIME& time) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                     time.dwLowDateTime);
}

bool Failed();

// Whether the file open as `handle` (with READ_CONTROL) is owned by the
// user the program runs as, or by the owner it gives its own new files
// (an elevated administrator's are the Administrators group's).
bool OwnedByUser(HANDLE handle) {
    static const std::vector<std::vector<BYTE>> mine = [] {
        std::vector<std::vector<BYTE>> sids;
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
            return sids;
        for (const TOKEN_INFORMATION_CLASS kind : {TokenUser, TokenOwner}) {
            DWORD size = 0;
            GetTokenInformation(token, kind, nullptr, 0, &size);
            std::vector<BYTE> data(size);
            if (size == 0 || !GetTokenInformation(token, kind, data.data(), size, &size))
                continue;
            const PSID sid = kind == TokenUser
                                 ? reinterpret_cast<TOKEN_USER*>(data.data())->User.Sid
                                 : reinterpret_cast<TOKEN_OWNER*>(data.data())->Owner;
            const BYTE* bytes = static_cast<const BYTE*>(sid);
            sids.emplace_back(bytes, bytes + GetLengthSid(sid));
        }
        CloseHandle(token);
        return sids;
    }();
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    bool found = false;
    for (const std::vector<BYTE>& sid : mine)
        found = found || EqualSid(owner, const_cast<BYTE*>(sid.data()));
    LocalFree(descriptor);
    return found;
}

bool Describe(HANDLE handle, EntryInfo& info) {
    BY_HANDLE_FILE_INFORMATION data{};
    if (!GetFileInformationByHandle(handle, &data))
        return Failed();
    info = EntryInfo{};
    info.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info.regular = !info.folder && GetFileType(handle) == FILE_TYPE_DISK;
    info.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    info.allocated = info.size;
    info.device = data.dwVolumeSerialNumber;
    info.fileIndex = (static_cast<std::uint64_t>(data.nFileIndexHigh) << 32) | data.nFileIndexLow;
    info.modified = Ticks(data.ftLastWriteTime) * 100;  // 100 ns ticks
    info.permissions = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
    info.link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    info.mine = OwnedByUser(handle);
    return true;
}

// A failed call of the Windows API leaves its cause where the C
// runtime's calls leave theirs (errno), where the answers of native.h
// take it from.
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

// Opens an existing file as a descriptor, refusing what is not a file on
// a disk: a reserved device name (which the long form would otherwise
// take for a file of that name, and the short one for the device), a
// link with Links::Refuse, and any handle that is not a disk file's
// (a pipe, a console, a device).
Handle OpenRegular(const std::string& path, DWORD access, DWORD flags, Links links, int mode,
                   DWORD share = kShared) {
    if (IsReservedDeviceName(FileNamePart(path))) {
        errno = kNotRegularFile;
        return kNoFile;
    }
    const std::wstring name = SystemPath(path);
    if (links == Links::Refuse)
        flags |= FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE handle =
        CreateFileW(name.c_str(), access, share, nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION data{};
        const bool link = links == Links::Refuse && GetFileInformationByHandle(handle, &data) &&
                          (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (link || GetFileType(handle) != FILE_TYPE_DISK) {
            CloseHandle(handle);
            errno = link ? ELOOP : kNotRegularFile;
            return kNoFile;
        }
    }
    return Descriptor(handle, name, mode);
}

}  // namespace

Handle RealSystem::OpenForReading(const std::string& path, Links links) {
    return OpenRegular(path, GENERIC_READ, FILE_ATTRIBUTE_NORMAL, links, _O_RDONLY);
}

Handle RealSystem::CreateForWriting(const std::string& path, unsigned permissions) {
    const std::wstring name = SystemPath(path);
    const DWORD attributes =
        (permissions & 0222) != 0 ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
    return Descriptor(CreateFileW(name.c_str(), GENERIC_WRITE, kShared, nullptr, CREATE_ALWAYS,
                                  attributes, nullptr),
                      name, 0);
}

Handle RealSystem::OpenForAppending(const std::string& path) {
    return OpenRegular(path, GENERIC_WRITE, FILE_ATTRIBUTE_NORMAL, Links::Follow, _O_APPEND);
}

std::int64_t RealSystem::ReadSome(Handle file, void* destination, std::size_t n) {
    return _read(file, destination, Chunk(n));
}

std::optional<std::int64_t> RealSystem::ReadSomeAtHand(Handle, void*, std::size_t) {
    return std::nullopt;  // not to be asked of a C runtime descriptor
}

bool RealSystem::RewindFile(Handle file) {
    return _lseeki64(file, 0, SEEK_SET) == 0;
}

std::int64_t RealSystem::WriteSome(Handle file, const void* data, std::size_t n) {
    return _write(file, data, Chunk(n));
}

bool RealSystem::CloseFile(Handle file) {
    {
        const std::lock_guard<std::mutex> lock(openFoldersMutex);
        openFolders.erase(file);
    }
    return _close(file) == 0;
}

bool RealSystem::SyncFile(Handle file) {
    return _commit(file) == 0;
}

bool RealSystem::StartWriteback(Handle) {
    return true;  // FlushFileBuffers of each file is all Windows offers
}

bool RealSystem::StartReading(Handle) {
    return true;  // unbuffered reads go to the disk as they are asked
}

bool RealSystem::TruncateFile(Handle file, std::uint64_t size) {
    return _chsize_s(file, static_cast<long long>(size)) == 0;
}

bool RealSystem::ReserveSpace(Handle, std::uint64_t) {
    return true;  // Windows finds room as the data is written
}

namespace {

// Opens an entry to look at it: asking to read its owner, or where that is
// denied, for nothing at all (the owner then counts as another's).
HANDLE OpenToLookAt(const std::wstring& path, DWORD flags) {
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE handle =
        CreateFileW(path.c_str(), READ_CONTROL, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
        handle = CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
    return handle;
}

}  // namespace

Lookup RealSystem::Inspect(const std::string& path, EntryInfo& info) {
    // Only the owner asked for: this opens files another program holds,
    // and folders (with backup semantics).
    HANDLE handle = OpenToLookAt(SystemPath(path), FILE_FLAG_BACKUP_SEMANTICS);
    if (handle == INVALID_HANDLE_VALUE) {
        const bool missing = IsMissing(GetLastError());
        Failed();  // the cause, in errno
        return missing ? Lookup::Missing : Lookup::Failed;
    }
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

namespace {

// An indexer, a virus scanner or the receiver's download software may
// hold a new file open for a moment, without sharing it: a rename or
// delete then fails although a moment later it would go through. Such a
// call is tried again, waiting longer each time, for about two seconds in
// all; any other failure is final at once.
template <typename Call>
bool RetriedWhileHeld(Call call) {
    DWORD wait = 10;
    for (DWORD waited = 0;; waited += wait, wait = std::min<DWORD>(wait * 2, 500)) {
        if (call())
            return true;
        const DWORD error = GetLastError();
        const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                          error == ERROR_ACCESS_DENIED;
        if (!held)
            return Failed();
        if (waited >= 2000) {
            // Still held: say so. A denial that stays is a denial.
            Failed();
            if (error != ERROR_ACCESS_DENIED)
                errno = kStillInUse;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    }
}

}  // namespace

bool RealSystem::RenameReplacing(const std::string& from, const std::string& to) {
    const std::wstring source = SystemPath(from), target = SystemPath(to);
    return RetriedWhileHeld([&] {
        return MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    });
}

bool RealSystem::TryLock(Handle file) {
    const intptr_t handle = _get_osfhandle(file);
    if (handle == -1)
        return false;
    // One byte far past any end: the lock reserves the file for its
    // holder without keeping anyone from its bytes.
    OVERLAPPED where{};
    where.Offset = 0xFFFFFFFE;
    where.OffsetHigh = 0x7FFFFFFF;
    return LockFileEx(reinterpret_cast<HANDLE>(handle),
                      LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where) != 0 ||
           Failed();
}

bool RealSystem::WaitForLock(Handle file, std::int32_t milliseconds) {
    // Asked again every few milliseconds rather than waited on: a waiting
    // LockFileEx has no bound.
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
    for (;;) {
        if (TryLock(file))
            return true;
        if (errno != EBUSY)  // ERROR_LOCK_VIOLATION: another holds it
            return false;
        if (GetTickCount64() >= deadline) {
            errno = kLockedByAnother;
            return false;
        }
        Sleep(5);
    }
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
    const std::wstring name = SystemPath(path);
    return RetriedWhileHeld([&] {
        if (DeleteFileW(name.c_str()) != 0)
            return true;
        if (!IsMissing(GetLastError()))
            return false;
        SetLastError(ERROR_SUCCESS);
        return true;
    });
}

namespace {

// The path of the folder an open folder handle holds, in the long form,
// ready for a name to be added; empty (with the cause) when it cannot be
// told. The folder is held open without sharing its deletion, so nobody
// renames it or swaps it for a link while the name is used.
std::wstring FolderOf(Handle folder) {
    const intptr_t handle = _get_osfhandle(folder);
    if (handle == -1) {
        errno = EBADF;
        return {};
    }
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(reinterpret_cast<HANDLE>(handle),
                                                       path.data(), static_cast<DWORD>(path.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) {
            const std::lock_guard<std::mutex> lock(openFoldersMutex);
            const auto opened = openFolders.find(folder);
            if (opened == openFolders.end()) {
                Failed();
                return {};
            }
            path = opened->second;
            break;
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(length + 1);
    }
    // "\\?\C:\dir" or "\\?\UNC\server\share\dir": already the long form.
    if (path.back() != L'\\')
        path += L'\\';
    return path;
}

// The name in an open folder as a path the system takes; empty (with
// the cause) when it cannot be made. A name is one part, never a path.
std::wstring EntryOf(Handle folder, const std::string& name) {
    if (name.empty() || name.find_first_of("\\/:") != std::string::npos || name == "." ||
        name == "..") {
        errno = EINVAL;
        return {};
    }
    const std::wstring path = FolderOf(folder);
    return path.empty() ? path : path + Utf16(name);
}

}  // namespace

Handle RealSystem::OpenFolder(const std::string& path) {
    const std::wstring name = SystemPath(path);
    // Sharing reads and writes but not deletion: while it is open nobody
    // renames the folder away or puts another in its place.
    HANDLE handle = CreateFileW(name.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        Failed();
        return kNoFile;
    }
    BY_HANDLE_FILE_INFORMATION data{};
    if (!GetFileInformationByHandle(handle, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        CloseHandle(handle);
        errno = ENOTDIR;
        return kNoFile;
    }
    const int file = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY);
    if (file < 0) {
        CloseHandle(handle);
        errno = EMFILE;
        return kNoFile;
    }
    const std::lock_guard<std::mutex> lock(openFoldersMutex);
    openFolders[file] = name;
    return file;
}

Handle RealSystem::OpenAt(Handle folder, const std::string& name, OpenAs how,
                          unsigned permissions) {
    const std::wstring path = EntryOf(folder, name);
    if (path.empty())
        return kNoFile;
    const std::string entry = Utf8(path);
    switch (how) {
        case OpenAs::Reading:
            return OpenRegular(entry, GENERIC_READ, FILE_ATTRIBUTE_NORMAL, Links::Follow,
                               _O_RDONLY);
        case OpenAs::ReadingNamed:
            return OpenRegular(entry, GENERIC_READ, FILE_ATTRIBUTE_NORMAL, Links::Refuse,
                               _O_RDONLY);
        case OpenAs::Keeping:
            return OpenRegular(entry, GENERIC_READ, FILE_ATTRIBUTE_NORMAL, Links::Refuse, _O_RDONLY,
                               kShared | FILE_SHARE_DELETE);
        case OpenAs::ReadingFromDisk:
            return OpenRegular(entry, GENERIC_READ,
                               FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, Links::Refuse,
                               _O_RDONLY);
        case OpenAs::Appending:
            // Others may rename and delete it meanwhile: a log's writers
            // wait for its lock holding it open while the holder replaces it.
            return OpenRegular(entry, GENERIC_WRITE, FILE_ATTRIBUTE_NORMAL, Links::Refuse,
                               _O_APPEND, kShared | FILE_SHARE_DELETE);
        case OpenAs::NewFile:
            break;
    }
    const DWORD attributes =
        (permissions & 0222) != 0 ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
    // CREATE_NEW fails on any entry under the name, a link among them.
    return Descriptor(
        CreateFileW(path.c_str(), GENERIC_WRITE, kShared, nullptr, CREATE_NEW, attributes, nullptr),
        path, 0);
}

Lookup RealSystem::InspectAt(Handle folder, const std::string& name, EntryInfo& info, Links links) {
    const std::wstring path = EntryOf(folder, name);
    if (path.empty())
        return Lookup::Failed;
    const DWORD noFollow = links == Links::Refuse ? FILE_FLAG_OPEN_REPARSE_POINT : 0;
    HANDLE handle = OpenToLookAt(path, FILE_FLAG_BACKUP_SEMANTICS | noFollow);
    if (handle == INVALID_HANDLE_VALUE) {
        const bool missing = IsMissing(GetLastError());
        Failed();
        return missing ? Lookup::Missing : Lookup::Failed;
    }
    const bool ok = Describe(handle, info);
    CloseHandle(handle);
    return ok ? Lookup::Found : Lookup::Failed;
}

bool RealSystem::RenameAt(Handle fromFolder, const std::string& from, Handle toFolder,
                          const std::string& to, bool replace) {
    const std::wstring source = EntryOf(fromFolder, from), target = EntryOf(toFolder, to);
    if (source.empty() || target.empty())
        return false;
    return RetriedWhileHeld([&] {
        return MoveFileExW(source.c_str(), target.c_str(),
                           replace ? MOVEFILE_REPLACE_EXISTING : 0) != 0;
    });
}

namespace {

// Renames the file open as `handle` to the full path `to`, never over
// another file.
bool RenameHandle(HANDLE handle, const std::wstring& to) {
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + (to.size() + 1) * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(to.size() * sizeof(wchar_t));
    std::copy(to.begin(), to.end(), info->FileName);
    info->FileName[to.size()] = L'\0';
    return SetFileInformationByHandle(handle, FileRenameInfo, info,
                                      static_cast<DWORD>(buffer.size())) != 0;
}

}  // namespace

bool RealSystem::ReplaceAt(Handle fromFolder, const std::string& from, Handle toFolder,
                           const std::string& to, const EntryInfo& expected) {
    const std::wstring source = EntryOf(fromFolder, from), target = EntryOf(toFolder, to);
    if (source.empty() || target.empty())
        return false;
    HANDLE old = CreateFileW(target.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (old == INVALID_HANDLE_VALUE)
        return Failed();
    EntryInfo now;
    if (!Describe(old, now) || !Unchanged(expected, now)) {
        CloseHandle(old);
        errno = kChangedSinceRead;
        return false;
    }
    // That very file aside, by its handle; then the name is free for
    // `from`, taken without replacing anything another program put there.
    char token[17];
    std::snprintf(token, sizeof token, "%016llx", static_cast<unsigned long long>(RandomToken()));
    const std::wstring aside = target + L"." + Utf16(token) + L".quenrix-old";
    if (!RenameHandle(old, aside)) {
        Failed();
        const int cause = errno;
        CloseHandle(old);
        errno = cause;
        return false;
    }
    const bool moved =
        RetriedWhileHeld([&] { return MoveFileExW(source.c_str(), target.c_str(), 0) != 0; });
    const int cause = errno;
    if (!moved) {
        RenameHandle(old, target);  // the file read keeps its name
        CloseHandle(old);
        errno = cause;
        return false;
    }
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    SetFileInformationByHandle(old, FileDispositionInfo, &disposition, sizeof disposition);
    CloseHandle(old);
    return true;
}

bool RealSystem::RemoveAt(Handle folder, const std::string& name, const EntryInfo& expected) {
    const std::wstring path = EntryOf(folder, name);
    if (path.empty())
        return false;
    bool changed = false;
    const bool removed = RetriedWhileHeld([&] {
        // The file is opened, compared with what was read, and deleted
        // through that very handle: nothing renamed there meanwhile goes.
        HANDLE handle = CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | READ_CONTROL,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            if (!IsMissing(GetLastError()))
                return false;
            SetLastError(ERROR_SUCCESS);
            return true;
        }
        EntryInfo now;
        changed = !Describe(handle, now) || !Unchanged(expected, now);
        BOOL deleted = FALSE;
        if (!changed) {
            FILE_DISPOSITION_INFO disposition{};
            disposition.DeleteFile = TRUE;
            deleted = SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                                 sizeof disposition);
        }
        const DWORD error = GetLastError();
        CloseHandle(handle);
        SetLastError(changed ? ERROR_SUCCESS : error);
        return changed || deleted != 0;
    });
    if (removed && changed) {
        errno = kChangedSinceRead;
        return false;
    }
    // Gone as a name too: Windows keeps the name of a file another program
    // holds open until it lets go.
    EntryInfo after;
    if (removed && InspectAt(folder, name, after, Links::Follow) == Lookup::Found &&
        after.device == expected.device && after.fileIndex == expected.fileIndex) {
        errno = kStillInUse;
        return false;
    }
    return removed;
}

bool RealSystem::SyncOpenFolder(Handle folder) {
    const std::wstring path = FolderOf(folder);
    return !path.empty() && SyncFolder(Utf8(path));
}

bool RealSystem::TakeAccessOf(Handle, const EntryInfo&) {
    return true;  // a new file takes its folder's access rules
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

Done EnterFolder(const std::string& folder) {
    if (SetCurrentDirectoryW(Utf16(folder).c_str()))
        return {};
    (void)Failed();
    return {errno};
}

std::string PrivateRuntimeFolder() {
    return {};  // the window's guard is a named mutex of the session
}

std::vector<std::string> UserLanguages() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    const LCID language = MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT);
    if (LCIDToLocaleName(language, name, LOCALE_NAME_MAX_LENGTH, 0) <= 0)
        return {};
    return {Utf8(name)};
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

std::int64_t RealSystem::FileClockNow() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return Ticks(now) * 100;  // 100 ns ticks, as the file times
}

std::uint64_t RealSystem::RandomToken() {
    std::uint64_t token = 0;
    if (BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&token), sizeof token,
                        BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0)
        return token;
    static std::atomic<std::uint64_t> count{0};
    return (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32) ^ GetTickCount64() ^
           (count++ << 48);
}

}  // namespace quenrix::native
