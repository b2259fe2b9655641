// Whole reads and writes on open files, retrying what the system call
// left undone, and the creation of the program's own files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "support/folder.h"
#include "support/native.h"

namespace quenrix {

// Writes all n bytes; fails when the file took fewer.
native::Done WriteAllTo(int fd, const void* data, std::size_t n);

// Reads n bytes, fewer only at the end of the file: how many.
native::Answer<std::int64_t> ReadUpTo(int fd, void* destination, std::size_t n);

// Appends everything up to the end of the file.
native::Done ReadAllFrom(int fd, std::string& content);

// An open file held for as long as this lives, and closed when it goes
// (a lock on it goes with it).
class HeldFile {
  public:
    HeldFile() = default;
    explicit HeldFile(int file) : file_(file) {}
    HeldFile(HeldFile&& other) noexcept : file_(std::exchange(other.file_, -1)) {}
    HeldFile& operator=(HeldFile&& other) noexcept {
        if (this != &other) {
            Release();
            file_ = std::exchange(other.file_, -1);
        }
        return *this;
    }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    ~HeldFile() { Release(); }
    int Get() const { return file_; }
    void Release() {
        if (file_ >= 0)
            (void)native::CloseFile(std::exchange(file_, -1));  // only held: nothing to lose
    }

  private:
    int file_ = -1;
};

// A file the program created for writing, or why it could not.
struct CreatedFile {
    int file = -1;     // the open file; -1 when it could not be created
    int cause = 0;     // then the system's cause
    std::string path;  // where it is
    explicit operator bool() const { return file >= 0; }
};

// Creates a file of the program's own name (a work file, a temporary
// file) for writing in its opened folder: whatever stands under the name
// is removed as a name first (a stale file of an earlier run, or a link
// planted by another user of a shared folder, which is never followed),
// then the file is made anew and exclusively. A folder under the name
// gives the cause "is a folder". Nobody else may read it (0600) until the
// program gives it other access.
CreatedFile CreateFresh(const FileAt& file, unsigned permissions = 0600);
CreatedFile CreateFresh(const std::string& path, unsigned permissions = 0600);

// A name no other run of the program can pick: `stem`, a random token
// (16 hex digits) and `suffix`, for the files a run makes for itself in
// folders others share.
std::string UniqueName(const std::string& stem, const std::string& suffix);

// Creates a new file under UniqueName(stem, suffix) (the stem a path in
// the opened folder), exclusively and never through a link.
CreatedFile CreateUnique(const FileAt& stem, const std::string& suffix,
                         unsigned permissions = 0600);
CreatedFile CreateUnique(const std::string& stem, const std::string& suffix,
                         unsigned permissions = 0600);

// How PutWholeFile gives its file the name.
enum class Placing {
    NewName,    // where nothing stands (else EEXIST)
    InPlaceOf,  // in place of the file `replaced` describes, while it is still that file
    // In place of whatever stands there but a folder: a link or a named
    // pipe goes as a name, never opened.
    OverAnything,
};

// Writes `text` as a new file of a random name beside `file` (in its
// opened folder), its data on disk, and gives it `file`'s name as
// `placing` says; the name is on disk before it returns. Never writes
// through a link or into a pipe planted under the name, and after a
// power cut the name holds the old file or the new one, whole. `written`
// describes the file written; a failure leaves no file behind.
native::Done PutWholeFile(const FileAt& file, const std::string& text, unsigned permissions,
                          Placing placing, const native::EntryInfo* replaced,
                          native::EntryInfo& written);

}  // namespace quenrix

namespace quenrix {

// Appends `text` (whole lines) to `file`, made when missing: in one write
// under the file's lock (waiting for it a while), its data on disk before
// it returns, so that the lines of several runs, users and hosts sharing
// the file never interleave. Never through a link or into a pipe. With
// `syncFolder` the file's name is made sure of on disk too (a file just
// made by this or another program may have none there yet).
native::Done AppendLocked(const FileAt& file, std::string_view text, bool syncFolder);

// The whole content of `file`, read through no link to a pipe or device.
native::Done ReadWhole(const FileAt& file, std::string& content);

}  // namespace quenrix
