#include "app/core/file_browser.h"

#include <algorithm>
#include <cctype>

#include "support/ascii.h"
#include "support/native.h"

namespace quenrix {
namespace {

// The root of an absolute path: "/" or "C:\".
std::string RootOf(const std::string& path, PathStyle style) {
    if (style == PathStyle::Posix)
        return "/";
    return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) + "\\" : std::string("\\");
}

// The path without a separator at its end, unless it is the root.
std::string Trimmed(const std::string& path, PathStyle style) {
    const std::string root = RootOf(path, style);
    if (path.size() <= root.size())
        return root;
    const std::string name = FileNamePart(path, style);
    if (!name.empty())
        return path;
    return path.substr(0, path.size() - 1);  // the separator (never a trail byte: see FileNamePart)
}

}  // namespace

std::vector<FolderListEntry> FolderListing(const std::string& folder, std::size_t& current,
                                           PathStyle style) {
    std::vector<FolderListEntry> chain;  // the folder, then each parent up to the root
    std::string path = Trimmed(folder, style);
    const std::string root = RootOf(path, style);
    while (path.size() > root.size()) {
        chain.push_back({FileNamePart(path, style), path, 0});
        path = Trimmed(FolderPart(path, style), style);
    }
    chain.push_back({root, root, 0});
    std::reverse(chain.begin(), chain.end());
    for (std::size_t i = 0; i < chain.size(); ++i) chain[i].depth = static_cast<int>(i);
    current = chain.size() - 1;

    const std::string here = chain.back().path;
    std::vector<std::string> children;
    // A folder that cannot be listed shows no subfolders.
    (void)native::ForEachEntry(here, [&](const native::FolderEntry& entry) {
        if (entry.folder)
            children.push_back(entry.name);
    });
    std::sort(children.begin(), children.end(), LessIgnoringAsciiCase);
    for (const std::string& child : children) {
        chain.push_back({child, JoinPath(here, child, style), static_cast<int>(current) + 1});
    }
    return chain;
}

native::Done EnterListedFolder(const std::string& folder) {
    // A folder whose names cannot be read would show as empty, and a
    // click on convert would then act on the folder the user left.
    if (const native::Done listed = native::ForEachEntry(folder, [](const native::FolderEntry&) {});
        !listed)
        return listed;
    return native::EnterFolder(folder);
}

const std::vector<FileType>& FileTypes() {
    static const std::vector<FileType> types = {
        {"SIGファイル (*.SIG)", {"*.SIG"}},
        {"RMGファイル (*.RMG)", {"*.RMG"}},
        {"10分RMGファイル(*.RM0-*.RM5)", {"*.RM0", "*.RM1", "*.RM2", "*.RM3", "*.RM4", "*.RM5"}},
    };
    return types;
}

std::vector<std::string> FilesOfType(const std::string& folder, std::size_t type) {
    std::vector<std::string> names;
    if (type >= FileTypes().size())
        return names;
    std::vector<std::string> found;
    for (const char* mask : FileTypes()[type].masks) {
        ListFiles(found, JoinPath(folder, mask));
        for (const std::string& path : found) names.push_back(FileNamePart(path));
    }
    std::sort(names.begin(), names.end(), LessIgnoringAsciiCase);
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

}  // namespace quenrix
