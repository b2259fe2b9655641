// File system operations on whole files, and where the program lives.
#pragma once

#include <cstdint>
#include <string>

#include "support/failure.h"

namespace quenrix {

// True when the path names an existing entry that is not a folder.
bool FileExists(const std::string& path);

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

// The identity of the file the path names; false when it does not exist.
bool IdentifyFile(const std::string& path, FileIdentity& identity);

// True when both paths name one existing file.
bool SameFile(const std::string& a, const std::string& b);

// Moves a file to `target`, replacing an existing file there, also across
// file systems (copied into a temporary file beside the target, which is
// then renamed into place, and the source deleted). True only when the
// moved file's data and its new name are on disk, so that its input may
// be deleted; a folder is never replaced.
bool MoveFileReplacing(const std::string& source, const std::string& target,
                       Failure* failure = nullptr);

// Waits until the file's data is on disk.
bool SyncFileData(const std::string& path, Failure* failure = nullptr);

// The ContentHash of the file's bytes as the disk gives them back, its
// cached data dropped first where the system allows.
bool ReadBackHash(const std::string& path, std::uint64_t& hash, Failure* failure = nullptr);

// True when both paths name regular files of the same bytes.
bool SameContent(const std::string& a, const std::string& b);

// Creates the folder and those above it that are missing; true when it
// stands afterwards.
bool MakeFolders(const std::string& path, Failure* failure = nullptr);

// The folder of the running program, with its trailing separator; empty
// when it cannot be found.
std::string ExecutableFolder();

}  // namespace quenrix
