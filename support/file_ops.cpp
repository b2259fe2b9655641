#include "file_ops.h"

#include "native.h"
#include "paths.h"

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
        return false;
    }
    native::EntryInfo info;
    if (native::Inspect(target, info) == native::Lookup::Found && info.folder) {
        return false;  // a folder is never replaced
    }
    return native::MoveReplacing(source, target);
}

std::string ExecutablePath() {
    return native::ExecutablePath();
}

std::string ExecutableFolder() {
    return FolderPart(native::ExecutablePath());
}

}  // namespace quenrix
