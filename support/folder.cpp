#include "support/folder.h"

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
    return FileNamePart(path);
}

native::Answer<FileAt> LocateFile(const std::string& path) {
    const auto folder = Folder::Open(FolderPart(path));
    return {FileAt{folder.value, path}, folder.cause};
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
    if (opened)
        open_.emplace(path, opened.value);
    return opened;
}

native::Answer<FileAt> Folders::File(const std::string& path) {
    const auto folder = Of(FolderPart(path));
    return {FileAt{folder.value, path}, folder.cause};
}

}  // namespace quenrix
