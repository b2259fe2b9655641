#include "engine/inputs.h"

#include <algorithm>
#include <set>

#include "engine/file_kind.h"
#include "support/ascii.h"
#include "support/file_ops.h"
#include "support/native.h"
#include "support/paths.h"

namespace quenrix {
namespace {

// Files of `folder` matching `mask`, then those of its subfolders.
void Collect(const std::string& folder, const std::string& mask, const InputRules& rules,
             ExpandedInput& out, std::vector<Failure>& unread) {
    std::vector<std::string> files;
    Failure failure;
    ListFiles(files, JoinPath(folder, mask), &failure);
    if (failure.cause != 0) {
        if (!out.unread)
            out.unread = failure;
        unread.push_back(failure);
        return;
    }
    for (const std::string& file : files) {
        if (!rules.gpsFilesOnly || IsGpsFileName(FileNamePart(file)))
            out.files.push_back(file);
    }
    if (!rules.recursive)
        return;
    std::vector<std::string> subfolders;
    // Links are not followed: a link to a folder above would never end.
    // A folder that cannot be listed is reported by ListFiles above.
    (void)native::ForEachEntry(folder, [&](const native::FolderEntry& entry) {
        if (entry.folder && !entry.link)
            subfolders.push_back(JoinPath(folder, entry.name));
    });
    std::sort(subfolders.begin(), subfolders.end(), [](const std::string& a, const std::string& b) {
        return LessIgnoringAsciiCase(a, b);
    });
    for (const std::string& sub : subfolders) Collect(sub, mask, rules, out, unread);
}

// Leaves the first of each file named more than once: known by its
// identity, or by its path where it cannot be looked up.
void KeepEachFileOnce(std::vector<std::string>& files) {
    std::set<FileIdentity> identities;
    std::set<std::string> paths;
    std::erase_if(files, [&](const std::string& file) {
        FileIdentity identity;
        return IdentifyFile(file, identity) ? !identities.insert(identity).second
                                            : !paths.insert(file).second;
    });
}

bool IsMask(const std::string& input) {
    return FileNamePart(input).find_first_of("*?") != std::string::npos;
}

// True when the input is taken as a folder: one stands there, or the
// name has no extension and the rules take every such name as a folder,
// or nothing at all stands under it (a mask excepted, which is no name
// of a folder, and an empty input, which names nothing).
bool NamesAFolder(const std::string& input, const InputRules& rules) {
    if (FolderExists(input))
        return true;
    if (!ExtensionPart(input).empty())
        return false;
    if (rules.extensionlessIsFolder)
        return true;
    native::EntryInfo info;
    return !input.empty() && !IsMask(input) &&
           native::Inspect(input, info).value == native::Lookup::Missing;
}

}  // namespace

Inputs ExpandInputs(const std::vector<std::string>& inputs, const InputRules& rules) {
    Inputs found;
    for (const std::string& input : inputs) {
        ExpandedInput given;
        given.listed = input;
        if (NamesAFolder(input, rules)) {
            given.listed = JoinPath(input, "");
            Collect(input, "*.*", rules, given, found.unreadFolders);
        } else if (IsMask(input)) {
            Collect(FolderPart(input), FileNamePart(input), rules, given, found.unreadFolders);
        } else if (rules.plainNameIsInput) {
            given.files.push_back(input);
        } else {
            ListFiles(given.files, input, &given.unread);
        }
        found.files.insert(found.files.end(), given.files.begin(), given.files.end());
        found.given.push_back(std::move(given));
    }
    if (rules.eachFileOnce)
        KeepEachFileOnce(found.files);
    return found;
}

}  // namespace quenrix
