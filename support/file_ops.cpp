#include "support/file_ops.h"

#include <cerrno>

#include "support/native.h"
#include "support/paths.h"

namespace quenrix {

bool FileExists(const std::string& path) {
    native::EntryInfo info;
    return !path.empty() && native::Inspect(path, info) == native::Lookup::Found && !info.folder;
}

bool DeleteFile(const std::string& path) {
    return native::RemoveFile(path);
}

bool IdentifyFile(const std::string& path, FileIdentity& identity) {
    native::EntryInfo info;
    if (path.empty() || native::Inspect(path, info) != native::Lookup::Found)
        return false;
    identity.device = info.device;
    identity.inode = info.fileIndex;
    return true;
}

bool SameFile(const std::string& a, const std::string& b) {
    FileIdentity first, second;
    return IdentifyFile(a, first) && IdentifyFile(b, second) && first == second;
}

bool MoveFileReplacing(const std::string& source, const std::string& target) {
    if (source.empty() || target.empty() || !FileExists(source)) {
        errno = ENOENT;
        return false;
    }
    native::EntryInfo info;
    if (native::Inspect(target, info) == native::Lookup::Found && info.folder) {
        errno = EISDIR;
        return false;  // a folder is never replaced
    }
    return native::MoveReplacing(source, target);
}

bool MakeFolders(const std::string& path) {
    native::EntryInfo info;
    if (path.empty() || (native::Inspect(path, info) == native::Lookup::Found && info.folder))
        return true;
    // The parent first: the path without its last part (and separators).
    std::string folder = path;
    const std::string name = FileNamePart(folder);
    if (name.empty()) {
        if (folder.back() != '/' && folder.back() != '\\') {
            errno = ENOENT;  // a drive ("C:") that is not there
            return false;
        }
        folder.pop_back();  // a trailing separator
        return MakeFolders(folder);
    }
    const std::string parent = FolderPart(folder);
    if (!parent.empty() && parent != folder && !MakeFolders(parent))
        return false;
    return native::CreateFolder(folder);
}

std::string ExecutablePath() {
    return native::ExecutablePath();
}

std::string ExecutableFolder() {
    return FolderPart(native::ExecutablePath());
}

}  // namespace quenrix
