#include "cli/inputs.h"

#include <algorithm>
#include <cctype>

#include "engine/file_kind.h"
#include "support/ascii.h"
#include "support/native.h"
#include "support/paths.h"

namespace quenrix::cli {
namespace {

bool IsFolder(const std::string& path) {
    native::EntryInfo info;
    return native::Inspect(path, info) == native::Lookup::Found && info.folder;
}

// Files of `folder` matching `mask`, then those of its subfolders.
void Collect(const std::string& folder, const std::string& mask, bool recursive,
             std::vector<std::string>& out) {
    std::vector<std::string> files;
    ListFiles(files, JoinPath(folder, mask));
    for (const std::string& file : files) {
        if (IsGpsFileName(FileNamePart(file)))
            out.push_back(file);
    }
    if (!recursive)
        return;
    std::vector<std::string> subfolders;
    // Links are not followed: a link to a folder above would never end.
    native::ForEachEntry(folder, [&](const native::FolderEntry& entry) {
        if (entry.folder && !entry.link)
            subfolders.push_back(JoinPath(folder, entry.name));
    });
    std::sort(subfolders.begin(), subfolders.end(), [](const std::string& a, const std::string& b) {
        return LessIgnoringAsciiCase(a, b);
    });
    for (const std::string& sub : subfolders) Collect(sub, mask, true, out);
}

}  // namespace

std::vector<std::string> ExpandInputs(const std::vector<std::string>& inputs, bool recursive) {
    std::vector<std::string> files;
    for (const std::string& input : inputs) {
        if (IsFolder(input)) {
            Collect(input, "*.*", recursive, files);
        } else if (FileNamePart(input).find_first_of("*?") != std::string::npos) {
            Collect(FolderPart(input), FileNamePart(input), recursive, files);
        } else {
            files.push_back(input);
        }
    }
    return files;
}

}  // namespace quenrix::cli
