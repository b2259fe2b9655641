#include "file_ops.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "paths.h"

namespace quenrix {

bool FileExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DeleteFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
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
