// File system operations on whole files. The files a batch reads, stores
// and deletes are reached through their opened folders (FileAt): whatever
// another user renames or links in a folder's place meanwhile, these act
// in the folder that was opened, on the file that was looked at.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/failure.h"
#include "support/fd_io.h"
#include "support/folder.h"
#include "support/native.h"

namespace quenrix {

// True when the path names an existing entry that is not a folder.
bool FileExists(const std::string& path);
// True when the path names an existing folder.
bool FolderExists(const std::string& path);

// Each call that can fail says why in `failure`, where one is given.

// Deletes a file by its path; true when it is gone (also when it never
// existed). For files the user names, not for those a batch acts on.
bool DeleteFile(const std::string& path, Failure* failure = nullptr);

// Deletes a file of the program's own (a work file, a copy under way)
// from its opened folder: what stands under its name, never a folder;
// true when it is gone (also when it never existed).
bool DeleteOwnFile(const FileAt& file, Failure* failure = nullptr);

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

// The lock of the file under `name` in the opened folder `folder`, taken
// and held on a handle of its own (native::OpenAs::Keeping) while it is
// the file `identity` names: none where it is another file, or another
// run holds its lock.
HeldFile LockOf(native::Handle folder, const std::string& name, const FileIdentity& identity);

// The identity of the file the path names; false when it does not exist.
bool IdentifyFile(const std::string& path, FileIdentity& identity);

// True when both paths name one existing file.
bool SameFile(const std::string& a, const std::string& b);

// A file to be given its name: a work file, where it goes, and what it
// may replace there.
struct FileToStore {
    FileAt source;
    FileAt target;
    // The one file that may stand under the target and be replaced (an
    // input by what it was when it was read), and only while it is still
    // that file, unchanged; none: nothing is ever replaced.
    std::optional<native::EntryInfo> replaceable;
    // The hash the file must read back as before it replaces a file.
    std::optional<std::uint64_t> expectedHash;
    // Whose access the stored file takes (TakeAccessOf): its input's.
    std::optional<native::EntryInfo> accessOf;
    // Why it was not stored; none when it was.
    Failure failure;
    // The file that took the target's name, as it was then (the source, or
    // its copy on another volume).
    native::EntryInfo stored;
};

// Moves each work file to its target, also across file systems (copied
// into a temporary file of its own beside the target, which is then
// renamed into place, and the source deleted), in one order: every
// file's data flushed (all started first, so that together they wait
// about as long as one), then each name given, then each target folder
// flushed once. No file is ever replaced: where anything stands under a
// target, also put there by another program at the same moment, that
// file fails with EEXIST; a folder is never replaced. The one exception
// is `replaceable` (see FileToStore). A stored file is given `accessOf`'s
// access before its folder is flushed. A file whose step failed is left
// out of the steps after, and is only stored when it has no failure:
// then its data and its new name are on disk, so that its input
// may be deleted.
void StoreFiles(std::vector<FileToStore>& files);
// The same for one file; true when it is stored.
bool StoreFile(FileToStore& file);

// Removes the work files that runs which died left in `folder`: the files
// whose names match `pattern` (a wildcard) that no live run holds. A run
// holds its work file locked while it writes it (OutputFile::CreateFresh),
// and stores it within moments of its last write: a file is removed only
// when its lock is free and it was last written kLeftoverAgeSeconds ago or
// more, and still the file under its name.
inline constexpr std::int64_t kLeftoverAgeSeconds = 600;
void RemoveLeftoverWorkFiles(const FolderRef& folder, const std::string& pattern);

// Waits until the file's data is on disk.
bool SyncFileData(const FileAt& file, Failure* failure = nullptr);

// Waits until the data of each file is on disk. All of them are started
// first, so that together they wait about as long as one. Why each one
// failed, by position (none where it did not).
std::vector<Failure> SyncFilesData(const std::vector<FileAt>& files);

// The ContentHash of the file's bytes as the disk gives them back, its
// cached data dropped first where the system allows.
bool ReadBackHash(const FileAt& file, std::uint64_t& hash, Failure* failure = nullptr);

// Reads each file back from the disk and compares it with its hash, the
// reads of all started first so that they wait for the disk together. Why
// each one failed, by position (none where it did not; cause
// kReadsBackDifferent when it reads back different).
std::vector<Failure> ReadBackAll(const std::vector<std::pair<FileAt, std::uint64_t>>& files);

// Reads the file back from the disk (ReadBackHash); false, with `failure`,
// when it cannot be read or its bytes do not hash to `expected` (cause
// kReadsBackDifferent).
bool ReadsBackAs(const FileAt& file, std::uint64_t expected, Failure* failure);

// True when both name regular files (not links) of the same bytes.
bool SameContent(const FileAt& a, const FileAt& b);

// Creates the folder and those above it that are missing; true when it
// stands afterwards.
bool MakeFolders(const std::string& path, Failure* failure = nullptr);

}  // namespace quenrix
