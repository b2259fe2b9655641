// The file-selection page without its widgets: the folder list (the
// folder's ancestors, the folder, its subfolders), the file types and the
// files of a type in a folder.
#pragma once

#include <string>
#include <vector>

#include "support/native.h"
#include "support/paths.h"

namespace quenrix {

// One line of the folder list.
struct FolderListEntry {
    std::string label;  // the folder's own name ("/" or "C:\" for a root)
    std::string path;   // where choosing it leads
    int depth = 0;      // ancestors are indented one step more each
};

// The folder list of `folder` (an absolute path in `style`): its ancestors
// from the root down, itself, then its subfolders sorted ignoring case.
// `current` is set to the index of the folder itself.
std::vector<FolderListEntry> FolderListing(const std::string& folder, std::size_t& current,
                                           PathStyle style = kNativePathStyle);

// Makes `folder` the current folder where it can be listed; else the
// current folder stays and the answer gives why ("permission denied").
native::Done EnterListedFolder(const std::string& folder);

// The file-type selector's entries, in order.
struct FileType {
    const char* caption;
    std::vector<const char*> masks;
};
const std::vector<FileType>& FileTypes();

// The names of the files of `type` in `folder`, sorted ignoring case.
std::vector<std::string> FilesOfType(const std::string& folder, std::size_t type);

}  // namespace quenrix
