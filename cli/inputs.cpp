#include "inputs.h"

#include <algorithm>
#include <cctype>

#include "native.h"
#include "paths.h"

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
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) {
                                                return std::tolower(static_cast<unsigned char>(x)) <
                                                       std::tolower(static_cast<unsigned char>(y));
                                            });
    });
    for (const std::string& sub : subfolders) Collect(sub, mask, true, out);
}

}  // namespace

bool IsGpsFileName(const std::string& name) {
    std::string extension = ExtensionPart(name).substr(0, 4);
    for (char& c : extension) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const char* gps : {".SIG", ".RMG", ".RM0", ".RM1", ".RM2", ".RM3", ".RM4", ".RM5"}) {
        if (extension == gps)
            return true;
    }
    return false;
}

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
