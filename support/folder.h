// Folders opened once, and files reached through them by name: whatever
// another user renames, or links, in a folder's place after it was opened,
// the program reads, writes, renames and deletes in the folder it opened
// (native::OpenFolder and the *At calls).
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "support/native.h"

namespace quenrix {

// An opened folder, closed with its last holder.
class Folder {
  public:
    // The folder `path` ("" the current one); none, with the cause, where
    // it cannot be opened (a link at its last part: ELOOP).
    static native::Answer<std::shared_ptr<const Folder>> Open(const std::string& path);
    ~Folder();
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    native::Handle Handle() const { return handle_; }
    // The path it was opened by, for messages.
    const std::string& Path() const { return path_; }

  private:
    Folder(native::Handle handle, std::string path) : handle_(handle), path_(std::move(path)) {}
    native::Handle handle_;
    std::string path_;
};
using FolderRef = std::shared_ptr<const Folder>;

// A file in an opened folder: where the calls act, and its path as the
// program shows it (the last part is the file's name in the folder).
struct FileAt {
    FolderRef folder;
    std::string path;

    std::string Name() const;
    native::Handle In() const { return folder ? folder->Handle() : native::kNoFile; }
};

// The folder a file's path names it in, with a "/" a user typed on
// Windows taken as the separator it is there.
std::string ContainingFolder(const std::string& path);

// The file `path` names, its folder opened now; the folder is none (with
// the cause) where it cannot be opened.
native::Answer<FileAt> LocateFile(const std::string& path);

// The folders a batch works in, each opened the first time a file of it
// is taken up and kept open while the batch holds any of its files (and a
// while longer: up to kKept folders stay open), so that all of a
// folder's files are read, stored and deleted in the one folder opened.
// A folder is the one its path named when the batch began (Expect) or
// when it was first opened: opened again, and it is not that folder any
// more (renamed away, another or a link to one put in its place), it is
// refused (kFolderReplaced).
class Folders {
  public:
    static constexpr std::size_t kKept = 64;
    // Notes which folder `path` names now.
    void Expect(const std::string& path);
    native::Answer<FolderRef> Of(const std::string& path);

  private:
    std::mutex mutex_;
    std::map<std::string, FolderRef> open_;
    std::map<std::string, std::pair<std::uint64_t, std::uint64_t>> identities_;  // device, index
};

}  // namespace quenrix
