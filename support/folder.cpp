#include "support/folder.h"

#include <cerrno>

#include "support/failure.h"
#include "support/paths.h"

namespace quenrix {

native::Answer<FolderRef> Folder::Open(const std::string& path) {
    const auto opened = native::OpenFolder(path);
    if (!opened)
        return {nullptr, opened.cause};
    return {FolderRef(new Folder(opened.value, path)), 0};
}

Folder::~Folder() {
    (void)native::CloseFile(handle_);  // only looked through: nothing to lose
}

std::string FileAt::Name() const {
    return FileNamePart(WithNativeSeparators(path));
}

std::string ContainingFolder(const std::string& path) {
    return FolderPart(WithNativeSeparators(path));
}

native::Answer<FileAt> LocateFile(const std::string& path) {
    const auto folder = Folder::Open(ContainingFolder(path));
    return {FileAt{folder.value, path}, folder.cause};
}

void Folders::Expect(const std::string& path) {
    native::EntryInfo info;
    const std::lock_guard<std::mutex> lock(mutex_);
    if (identities_.count(path) == 0 && native::Inspect(path.empty() ? "." : path, info) &&
        info.folder)
        identities_[path] = {info.device, info.fileIndex};
}

native::Answer<FolderRef> Folders::Of(const std::string& path) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = open_.find(path);
    if (found != open_.end())
        return {found->second, 0};
    if (open_.size() >= kKept) {
        // Those no file of the batch holds any more are closed.
        std::erase_if(open_, [](const auto& entry) { return entry.second.use_count() == 1; });
    }
    const auto opened = Folder::Open(path);
    if (!opened)
        return opened;
    native::EntryInfo info;
    if (!native::InspectOpen(opened.value->Handle(), info))
        return {nullptr, EIO};
    const auto identity = identities_.try_emplace(path, info.device, info.fileIndex).first;
    if (identity->second != std::pair(info.device, info.fileIndex))
        return {nullptr, kFolderReplaced};
    open_.emplace(path, opened.value);
    return opened;
}

}  // namespace quenrix
