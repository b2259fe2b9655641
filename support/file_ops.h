// File system operations on whole files, and where the program lives.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/failure.h"
#include "support/native.h"

namespace quenrix {

// True when the path names an existing entry that is not a folder.
bool FileExists(const std::string& path);
// True when the path names an existing folder.
bool FolderExists(const std::string& path);

// Each call that can fail says why in `failure`, where one is given.

// Deletes a file; true when it is gone (also when it never existed).
bool DeleteFile(const std::string& path, Failure* failure = nullptr);

// Identity of an existing file (device and inode), for telling whether
// two paths name the same file.
struct FileIdentity {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    bool operator==(const FileIdentity&) const = default;
    auto operator<=>(const FileIdentity&) const = default;
};

// The identity of the entry a look-up described.
FileIdentity IdentityOf(const native::EntryInfo& info);

// The identity of the file the path names; false when it does not exist.
bool IdentifyFile(const std::string& path, FileIdentity& identity);

// True when both paths name one existing file.
bool SameFile(const std::string& a, const std::string& b);

// Moves a file (a work file) to `target`, also across file systems (copied
// into a temporary file of its own beside the target, which is then
// renamed into place, and the source deleted). No file is ever replaced:
// where anything stands under `target`, also put there by another program
// at the same moment, the move fails with EEXIST; a folder is never
// replaced. The one exception is `replaceable`, a file that may be
// replaced (an input by the identity it had when it was read), and only
// while it is still the one there. With `expectedHash` the file is read
// back from the disk and compared before it takes the name (a file that
// replaces another must be right before that one is gone; EIO when it
// reads back different). True only when the moved file's data and its new
// name are on disk, so that its input may be deleted.
bool StoreFile(const std::string& source, const std::string& target,
               const FileIdentity* replaceable = nullptr,
               const std::uint64_t* expectedHash = nullptr, Failure* failure = nullptr);

// Removes the work files that runs which died left in `folder`: the files
// whose names match `pattern` (a wildcard) that no live run holds. A run
// holds its work file locked while it writes it (OutputFile::CreateFresh),
// and stores it within moments of its last write: a file is removed only
// when its lock is free and it was last written kLeftoverAgeSeconds ago or more,
// and still the file under its name.
inline constexpr std::int64_t kLeftoverAgeSeconds = 600;
void RemoveLeftoverWorkFiles(const std::string& folder, const std::string& pattern);

// Waits until the file's data is on disk.
bool SyncFileData(const std::string& path, Failure* failure = nullptr);

// Waits until the data of each file is on disk. All of them are started
// first, so that together they wait about as long as one. Why each one
// failed, by position (an empty step for none).
std::vector<Failure> SyncFilesData(const std::vector<std::string>& paths);

// The ContentHash of the file's bytes as the disk gives them back, its
// cached data dropped first where the system allows.
bool ReadBackHash(const std::string& path, std::uint64_t& hash, Failure* failure = nullptr);

// Reads each file back from the disk and compares it with its hash, the
// reads of all started first so that they wait for the disk together. Why
// each one failed, by position (an empty step for none; cause
// kReadsBackDifferent when it reads back different).
std::vector<Failure> ReadBackAll(const std::vector<std::pair<std::string, std::uint64_t>>& files);

// Reads the file back from the disk (ReadBackHash); false, with `failure`,
// when it cannot be read or its bytes do not hash to `expected` (cause
// kReadsBackDifferent). True at once without an `expected`.
bool ReadsBackAs(const std::string& path, const std::uint64_t* expected, Failure* failure);

// True when both paths name regular files of the same bytes.
bool SameContent(const std::string& a, const std::string& b);

// Creates the folder and those above it that are missing; true when it
// stands afterwards.
bool MakeFolders(const std::string& path, Failure* failure = nullptr);

}  // namespace quenrix
