// The system calls of Linux and other POSIX systems.
#include "support/native_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string_view>
#include <thread>

#include "support/failure.h"

namespace quenrix::native {
namespace {

EntryInfo FromStat(const struct stat& st) {
    EntryInfo info;
    info.folder = S_ISDIR(st.st_mode);
    info.regular = S_ISREG(st.st_mode);
    info.size = static_cast<std::uint64_t>(st.st_size);
    info.allocated = static_cast<std::uint64_t>(st.st_blocks) * 512;
    info.device = static_cast<std::uint64_t>(st.st_dev);
    info.fileIndex = static_cast<std::uint64_t>(st.st_ino);
    info.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    info.permissions = static_cast<unsigned>(st.st_mode & 07777);
    info.links = static_cast<std::uint64_t>(st.st_nlink);
    info.mine = st.st_uid == ::geteuid();
    info.link = S_ISLNK(st.st_mode);
    info.owner = st.st_uid;
    info.group = st.st_gid;
    return info;
}

// The folder ready for a name to be added: "" stays "" (the current
// folder), anything else ends in "/".
std::string WithSeparator(const std::string& folder) {
    return folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

// Why an entry that is not a regular file cannot be opened as one.
int NotRegularCause(const struct stat& st) {
    return S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFile;
}

// Opens a regular file. A pipe or a device is refused by its look-up,
// before it is opened (opening some devices acts on them); one swapped in
// after the look-up is opened without waiting (O_NONBLOCK: a pipe with
// nobody at its other end would hold the open up for ever) and refused by
// what the descriptor is.
// The file just opened (with O_NONBLOCK), where it is a regular file;
// else it is closed and refused.
Handle KeptIfRegular(int file) {
    if (file < 0)
        return kNoFile;
    struct stat st {};
    if (::fstat(file, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int cause = NotRegularCause(st);
        ::close(file);
        errno = cause;
        return kNoFile;
    }
    // A regular file's reads and writes never wait on the flag; it is
    // taken off so that nothing later reads a meaning into it.
    ::fcntl(file, F_SETFL, ::fcntl(file, F_GETFL) & ~O_NONBLOCK);
    return file;
}

Handle OpenRegular(const std::string& path, int flags, bool followLinks) {
    struct stat st {};
    const int looked = followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
    if (looked == 0 && !S_ISREG(st.st_mode)) {
        errno = S_ISLNK(st.st_mode) ? ELOOP : NotRegularCause(st);
        return kNoFile;
    }
    return KeptIfRegular(
        ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW)));
}

}  // namespace

Handle RealSystem::OpenForReading(const std::string& path, Links links) {
    return OpenRegular(path, O_RDONLY, links == Links::Follow);
}

Handle RealSystem::CreateForWriting(const std::string& path, unsigned permissions) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                  static_cast<mode_t>(permissions));
}

Handle RealSystem::OpenForAppending(const std::string& path) {
    return OpenRegular(path, O_WRONLY | O_APPEND, false);
}

std::int64_t RealSystem::ReadSome(Handle file, void* destination, std::size_t n) {
    for (;;) {
        const ssize_t got = ::read(file, destination, n);
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

std::optional<std::int64_t> RealSystem::ReadSomeAtHand(Handle file, void* destination,
                                                       std::size_t n) {
    iovec part{destination, n};
    for (;;) {
        // From the file position, like read; EAGAIN where the disk would
        // have to be waited for, another error where the kernel or the file
        // system cannot read so.
        const ssize_t got = ::preadv2(file, &part, 1, -1, RWF_NOWAIT);
        if (got >= 0)
            return got;
        if (errno != EINTR)
            return std::nullopt;
    }
}

bool RealSystem::RewindFile(Handle file) {
    return ::lseek(file, 0, SEEK_SET) == 0;
}

std::int64_t RealSystem::WriteSome(Handle file, const void* data, std::size_t n) {
    for (;;) {
        const ssize_t put = ::write(file, data, n);
        if (put >= 0 || errno != EINTR)
            return put;
    }
}

bool RealSystem::CloseFile(Handle file) {
    return ::close(file) == 0;
}

bool RealSystem::SyncFile(Handle file) {
    return ::fsync(file) == 0;
}

bool RealSystem::StartWriteback(Handle file) {
    // A file system that cannot (or a file that is no regular file) is
    // written by its SyncFile.
    return ::sync_file_range(file, 0, 0, SYNC_FILE_RANGE_WRITE) == 0 || errno == EINVAL ||
           errno == ESPIPE || errno == ENOSYS;
}

bool RealSystem::StartReading(Handle file) {
    errno = ::posix_fadvise(file, 0, 0, POSIX_FADV_WILLNEED);
    return errno == 0;
}

bool RealSystem::TruncateFile(Handle file, std::uint64_t size) {
    return ::ftruncate(file, static_cast<off_t>(size)) == 0;
}

bool RealSystem::ReserveSpace(Handle file, std::uint64_t size) {
#ifdef __linux__
    // FALLOC_FL_KEEP_SIZE: the size stays what is written, also when the
    // write falls short.
    if (::fallocate(file, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) != 0) {
        const int cause = errno;
        // Part of the room may have been taken before the disk ran out:
        // it is given back, so that others still find what is left.
        (void)::ftruncate(file, 0);
        errno = cause;
        return false;
    }
#else
    (void)file;
    (void)size;
#endif
    return true;
}

Lookup RealSystem::Inspect(const std::string& path, EntryInfo& info) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? Lookup::Missing : Lookup::Failed;
    info = FromStat(st);
    return Lookup::Found;
}

bool RealSystem::InspectOpen(Handle file, EntryInfo& info) {
    struct stat st {};
    if (::fstat(file, &st) != 0)
        return false;
    info = FromStat(st);
    return true;
}

bool RealSystem::IsLink(const std::string& path) {
    struct stat data {};
    return ::lstat(path.c_str(), &data) == 0 && S_ISLNK(data.st_mode);
}

bool RealSystem::RenameReplacing(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool RealSystem::TryLock(Handle file) {
    for (;;) {
        if (::flock(file, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

bool RealSystem::WaitForLock(Handle file, std::int32_t milliseconds) {
    // Asked again every few milliseconds rather than waited on: a blocking
    // flock has no bound.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (TryLock(file))
            return true;
        if (errno != EWOULDBLOCK)
            return false;
        if (std::chrono::steady_clock::now() >= deadline) {
            errno = kLockedByAnother;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool RealSystem::SyncFolder(const std::string& folder) {
    const int dir =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return false;
    const int synced = ::fsync(dir);
    const int cause = errno;
    ::close(dir);
    errno = cause;
    // Some file systems cannot sync a folder and say so; their entries go
    // to disk with their own means.
    return synced == 0 || cause == EINVAL || cause == EROFS || cause == ENOTSUP;
}

bool RealSystem::RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

Handle RealSystem::OpenFolder(const std::string& path) {
    return ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

Handle RealSystem::OpenAt(Handle folder, const std::string& name, OpenAs how,
                          unsigned permissions) {
    if (how == OpenAs::NewFile) {
        // With O_EXCL a link under the name is never followed either.
        return ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        static_cast<mode_t>(permissions));
    }
    struct stat st {};
    const bool follow = how == OpenAs::Reading;  // the only one through a link
    // As OpenRegular: a pipe or device is refused by its look-up, one
    // swapped in after it by what the descriptor is.
    if (::fstatat(folder, name.c_str(), &st, follow ? 0 : AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISREG(st.st_mode)) {
        errno = S_ISLNK(st.st_mode) ? ELOOP : NotRegularCause(st);
        return kNoFile;
    }
    const int flags = (how == OpenAs::Appending ? O_WRONLY | O_APPEND : O_RDONLY) | O_NONBLOCK |
                      O_CLOEXEC | (follow ? 0 : O_NOFOLLOW);
    // A large file past the page cache (O_DIRECT: the disk's own bytes, in
    // large reads that cost no copy). A small one, and one on a file
    // system that cannot (tmpfs, some network file systems), through the
    // cache with its cached pages dropped first: one read from the disk
    // either way, which direct I/O makes slower for a small file.
    constexpr off_t kDirectFrom = 1 << 20;
    const bool direct = how == OpenAs::ReadingFromDisk && st.st_size >= kDirectFrom;
    int opened = ::openat(folder, name.c_str(), flags | (direct ? O_DIRECT : 0));
    if (opened < 0 && direct && errno == EINVAL)
        opened = ::openat(folder, name.c_str(), flags);
    const Handle file = KeptIfRegular(opened);
    if (file != kNoFile && how == OpenAs::ReadingFromDisk && !direct)
        ::posix_fadvise(file, 0, 0, POSIX_FADV_DONTNEED);  // a hint; data on disk only
    return file;
}

Lookup RealSystem::InspectAt(Handle folder, const std::string& name, EntryInfo& info, Links links) {
    struct stat st {};
    if (::fstatat(folder, name.c_str(), &st, links == Links::Follow ? 0 : AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT || errno == ENOTDIR ? Lookup::Missing : Lookup::Failed;
    info = FromStat(st);
    return Lookup::Found;
}

bool RealSystem::RenameAt(Handle fromFolder, const std::string& from, Handle toFolder,
                          const std::string& to, bool replace) {
    if (replace)
        return ::renameat(fromFolder, from.c_str(), toFolder, to.c_str()) == 0;
    if (::renameat2(fromFolder, from.c_str(), toFolder, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return false;
    // The file system cannot refuse in the rename itself (NFS, some
    // others): a second name, which fails where any entry stands, then the
    // first name goes; on a share without hard links a look-up right
    // before the rename, the narrowest gap it leaves.
    if (::linkat(fromFolder, from.c_str(), toFolder, to.c_str(), 0) == 0) {
        ::unlinkat(fromFolder, from.c_str(), 0);
        return true;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS)
        return false;
    struct stat st {};
    if (::fstatat(toFolder, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::renameat(fromFolder, from.c_str(), toFolder, to.c_str()) == 0;
}

bool RealSystem::ReplaceAt(Handle fromFolder, const std::string& from, Handle toFolder,
                           const std::string& to, const EntryInfo& expected) {
    struct stat st {};
    if (::renameat2(fromFolder, from.c_str(), toFolder, to.c_str(), RENAME_EXCHANGE) == 0) {
        // What stood under `to` is under `from` now: it goes if it is the
        // file that was read, else it has its name back.
        if (::fstatat(fromFolder, from.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            Unchanged(expected, FromStat(st))) {
            (void)::unlinkat(fromFolder, from.c_str(),
                             0);  // replaced: a name left over loses nothing
            return true;
        }
        (void)::renameat2(toFolder, to.c_str(), fromFolder, from.c_str(), RENAME_EXCHANGE);
        errno = kChangedSinceRead;
        return false;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return false;
    // No exchange on this file system: the narrowest gap it leaves.
    if (::fstatat(toFolder, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    if (!Unchanged(expected, FromStat(st))) {
        errno = kChangedSinceRead;
        return false;
    }
    return ::renameat(fromFolder, from.c_str(), toFolder, to.c_str()) == 0;
}

bool RealSystem::RemoveAt(Handle folder, const std::string& name, const EntryInfo& expected) {
    // Looked at through the folder that was opened, right before the
    // name goes: what another program renamed there, or appended since it
    // was read, stays.
    struct stat st {};
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    // A link taken for the file it leads to goes only while it leads to
    // that file.
    if (S_ISLNK(st.st_mode) && !expected.link && ::fstatat(folder, name.c_str(), &st, 0) != 0)
        st = {};
    if (!Unchanged(expected, FromStat(st))) {
        errno = kChangedSinceRead;
        return false;
    }
    return ::unlinkat(folder, name.c_str(), 0) == 0 || errno == ENOENT;
}

bool RealSystem::SyncOpenFolder(Handle folder) {
    // As SyncFolder: a file system that cannot says so, and does it its way.
    return ::fsync(folder) == 0 || errno == EINVAL || errno == EROFS || errno == ENOTSUP;
}

bool RealSystem::TakeAccessOf(Handle file, const EntryInfo& like) {
    // The owner first: a change of owner may clear bits that are set after.
    if (::geteuid() == 0 && ::fchown(file, like.owner, like.group) != 0)
        return false;
    return ::fchmod(file, static_cast<mode_t>(like.permissions & 0666)) == 0;
}

bool RealSystem::ForEachEntry(const std::string& folder,
                              const std::function<void(const FolderEntry& entry)>& visit) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr)
        return false;
    const std::string prefix = WithSeparator(folder);
    FolderEntry found;
    while (const dirent* entry = ::readdir(dir)) {
        found.name = entry->d_name;
        if (found.name == "." || found.name == "..")
            continue;
        found.folder = entry->d_type == DT_DIR;
        found.link = entry->d_type == DT_LNK;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat st {};
            found.folder = ::stat((prefix + found.name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            found.link = found.link ||
                         (::lstat((prefix + found.name).c_str(), &st) == 0 && S_ISLNK(st.st_mode));
        }
        visit(found);
    }
    ::closedir(dir);
    return true;
}

bool RealSystem::CreateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) == 0)
        return true;
    const int cause = errno;
    struct stat st {};
    if (cause == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return true;
    errno = cause;
    return false;
}

std::vector<std::string> Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

namespace {

// A folder of this user's alone: theirs, not a link, closed to others.
bool OwnClosedFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 077) == 0;
}

}  // namespace

Done EnterFolder(const std::string& folder) {
    return {::chdir(folder.c_str()) == 0 ? 0 : errno};
}

std::string PrivateRuntimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime == '/' && OwnClosedFolder(runtime))
        return runtime;
    const char* home = std::getenv("HOME");
    const passwd* user = ::getpwuid(::geteuid());
    const std::string base = home != nullptr && *home == '/' ? home
                             : user != nullptr               ? user->pw_dir
                                                             : "";
    if (base.empty())
        return {};
    const std::string cache = base + "/.cache", folder = cache + "/quenrix";
    (void)::mkdir(cache.c_str(), 0700);  // where it exists, it stays as it is
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    return OwnClosedFolder(folder) ? folder : std::string();
}

std::vector<std::string> UserLanguages() {
    std::vector<std::string> languages;
    auto add = [&](std::string_view names) {
        while (!names.empty()) {
            const std::size_t end = std::min(names.find(':'), names.size());
            if (end > 0)
                languages.emplace_back(names.substr(0, end));
            names.remove_prefix(std::min(end + 1, names.size()));
        }
    };
    for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* value = std::getenv(variable); value != nullptr)
            add(value);
    return languages;
}

void WriteText(TextStream stream, const std::string& utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream == TextStream::Output ? stdout : stderr);
}

std::string RealSystem::ExecutablePath() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}

LocalDateTime RealSystem::LocalClockNow() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    if (::localtime_r(&now, &parts) == nullptr)
        return {};
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
            parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

bool ErrorOutputIsTerminal() {
    return ::isatty(STDERR_FILENO) != 0;
}

unsigned long RealSystem::ProcessId() {
    return static_cast<unsigned long>(::getpid());
}

std::int64_t RealSystem::FileClockNow() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

std::uint64_t RealSystem::RandomToken() {
    std::uint64_t token = 0;
    if (::getrandom(&token, sizeof token, GRND_NONBLOCK) == sizeof token)
        return token;
    // No entropy yet (early at boot): the clock, the process and a count.
    static std::atomic<std::uint64_t> count{0};
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::seed_seq seed{static_cast<std::uint64_t>(now.tv_nsec),
                       static_cast<std::uint64_t>(now.tv_sec),
                       static_cast<std::uint64_t>(::getpid()), count++};
    std::mt19937_64 mix(seed);
    return mix();
}

}  // namespace quenrix::native
