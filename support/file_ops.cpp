#include "file_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>

#include "fd_io.h"
#include "paths.h"

namespace quenrix {

bool FileExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DeleteFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

namespace {

// Waits until the file's data, and the folder entry that names it, are on
// disk: a corrected file must survive a crash before its input is deleted.
bool SyncToDisk(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    std::string folder = FolderPart(path);
    int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);  // not every file system syncs folders; the file itself is what counts
        ::close(dir);
    }
    return ok;
}

bool CopyFileContents(int from, int to) {
    for (;;) {
        char buffer[64 * 1024];
        ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got == 0)
            return true;
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || !WriteAllTo(to, buffer, static_cast<std::size_t>(got)))
            return false;
    }
}

// Across file systems: copy into a temporary file in the target's folder,
// flush it, rename it over the target, then delete the source.
bool CopyAcross(const std::string& source, const std::string& target) {
    const std::string temporary = target + ".quenrix-part";
    int from = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (from < 0)
        return false;
    int to = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (to < 0) {
        ::close(from);
        return false;
    }
    bool ok = CopyFileContents(from, to) && ::fsync(to) == 0;
    ::close(from);
    if (::close(to) != 0)
        ok = false;
    if (!ok || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    SyncToDisk(target);
    ::unlink(source.c_str());
    return true;
}

}  // namespace

bool IdentifyFile(const std::string& path, FileIdentity& identity) {
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0)
        return false;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    return true;
}

bool SameFile(const std::string& a, const std::string& b) {
    FileIdentity first, second;
    return IdentifyFile(a, first) && IdentifyFile(b, second) && first == second;
}

bool MoveFileReplacing(const std::string& source, const std::string& target) {
    if (source.empty() || target.empty() || !FileExists(source)) {
        return false;
    }
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        return false;  // a folder is never replaced
    }
    if (::rename(source.c_str(), target.c_str()) == 0) {
        return SyncToDisk(target);
    }
    return errno == EXDEV && CopyAcross(source, target);
}

std::string ExecutablePath() {
    char buffer[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}

std::string ExecutableFolder() {
    return FolderPart(ExecutablePath());
}

}  // namespace quenrix
