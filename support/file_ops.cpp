#include "support/file_ops.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "support/content_hash.h"
#include "support/fd_io.h"
#include "support/native.h"
#include "support/paths.h"

namespace quenrix {
namespace {

// Fills in why `step` on `path` failed; false, for the caller to return.
bool NoteFailure(Failure* failure, const char* step, const std::string& path, int cause) {
    if (failure != nullptr)
        *failure = Failure{step, path, cause};
    return false;
}

// Whether the call was done; if not, fills in why `step` on `path` failed.
bool Noted(native::Done done, Failure* failure, const char* step, const std::string& path) {
    return done || NoteFailure(failure, step, path, done.cause);
}

native::Done CopyContents(native::Handle from, native::Handle to) {
    char buffer[64 * 1024];
    for (;;) {
        const auto got = native::ReadSome(from, buffer, sizeof buffer);
        if (!got || got.value == 0)
            return {got.cause};
        const native::Done put = WriteAllTo(to, buffer, static_cast<std::size_t>(got.value));
        if (!put)
            return put;
    }
}

// Stores the name `target` has just been given: on disk with its folder.
native::Done SyncNameOf(const std::string& target) {
    return native::SyncFolder(FolderPart(target));
}

// Gives `from` the name `to`: in place of the file there when `replace`,
// else only where nothing stands.
native::Done Rename(const std::string& from, const std::string& to, bool replace) {
    return replace ? native::RenameReplacing(from, to) : native::RenameNoReplace(from, to);
}

constexpr const char* kPartExtension = ".quenrix-part";

// To another volume: copied into a temporary file beside the target,
// which goes to disk, then takes the target's name, which goes to disk;
// only then is the source deleted. No file ever stands under the target's
// name unless it is whole. The temporary file's name is this run's own,
// so that two runs storing at once never write into one file.
bool CopyAcross(const std::string& source, const std::string& target, bool replace,
                const std::uint64_t* expectedHash, Failure* failure) {
    const auto opened = native::OpenForReading(source);
    if (!opened)
        return NoteFailure(failure, "read", source, opened.cause);
    const native::Handle from = opened.value;
    // The copies a run cut short by a crash left for this name go first.
    RemoveLeftoverWorkFiles(FolderPart(target), FileNamePart(target) + ".*" + kPartExtension);
    const CreatedFile created = CreateUnique(target + ".", kPartExtension);
    const std::string& temporary = created.path;
    if (!created) {
        NoteFailure(failure, "create", temporary, created.cause);
        (void)native::CloseFile(from);
        return false;
    }
    const native::Handle to = created.file;
    native::Done copied = CopyContents(from, to);
    if (copied)
        copied = native::SyncFile(to);
    bool ok = Noted(copied, failure, "copy", temporary);
    (void)native::CloseFile(from);  // only read
    const native::Done closed = native::CloseFile(to);
    ok = ok && Noted(closed, failure, "copy", temporary);
    ok = ok && ReadsBackAs(temporary, expectedHash, failure);
    ok = ok && Noted(Rename(temporary, target, replace), failure, "store", target);
    if (!ok) {
        (void)native::RemoveFile(temporary);
        return false;
    }
    if (!Noted(SyncNameOf(target), failure, "store", target))
        return false;
    (void)native::RemoveFile(source);  // the copy is whole: a source left over loses nothing
    return true;
}

}  // namespace

bool FileExists(const std::string& path) {
    native::EntryInfo info;
    return !path.empty() && native::Inspect(path, info) && !info.folder;
}

bool FolderExists(const std::string& path) {
    native::EntryInfo info;
    return !path.empty() && native::Inspect(path, info) && info.folder;
}

bool DeleteFile(const std::string& path, Failure* failure) {
    return Noted(native::RemoveFile(path), failure, "delete", path);
}

FileIdentity IdentityOf(const native::EntryInfo& info) {
    return {info.device, info.fileIndex};
}

bool IdentifyFile(const std::string& path, FileIdentity& identity) {
    native::EntryInfo info;
    if (path.empty() || !native::Inspect(path, info))
        return false;
    identity = IdentityOf(info);
    return true;
}

bool SameFile(const std::string& a, const std::string& b) {
    FileIdentity first, second;
    return IdentifyFile(a, first) && IdentifyFile(b, second) && first == second;
}

bool StoreFile(const std::string& source, const std::string& target,
               const FileIdentity* replaceable, const std::uint64_t* expectedHash,
               Failure* failure) {
    if (source.empty() || target.empty() || !FileExists(source))
        return NoteFailure(failure, "store", source, ENOENT);
    native::EntryInfo info;
    const native::Lookup there = native::Inspect(target, info).value;
    if (there == native::Lookup::Found && info.folder)
        return NoteFailure(failure, "store", target, EISDIR);  // a folder is never replaced
    const bool replace = there == native::Lookup::Found && replaceable != nullptr &&
                         IdentityOf(info) == *replaceable;
    if (there == native::Lookup::Found && !replace)
        return NoteFailure(failure, "store", target, EEXIST);
    // The data goes to disk before the name does, and the name before the
    // caller may delete the input: after a power cut the target's name
    // never stands for data that was not written, and an input is never
    // gone while its corrected file's name may still be lost.
    if (!SyncFileData(source, failure))
        return false;
    // A file that replaces another reads back right before it does: on
    // one volume the source itself takes the name (across volumes its copy
    // is read back instead).
    native::EntryInfo from;
    if (replace && native::Inspect(source, from) && from.device == info.device &&
        !ReadsBackAs(source, expectedHash, failure))
        return false;
    const native::Done renamed = Rename(source, target, replace);
    if (renamed)
        return Noted(SyncNameOf(target), failure, "store", target);
    return renamed.cause == EXDEV ? CopyAcross(source, target, replace, expectedHash, failure)
                                  : NoteFailure(failure, "store", target, renamed.cause);
}

void RemoveLeftoverWorkFiles(const std::string& folder, const std::string& pattern) {
    std::vector<std::string> names;
    // A folder that cannot be listed has no leftovers to clear.
    (void)native::ForEachEntry(folder, [&](const native::FolderEntry& entry) {
        if (!entry.folder && !entry.link && MatchesWildcard(entry.name, pattern))
            names.push_back(entry.name);
    });
    for (const std::string& name : names) {
        const std::string path = JoinPath(folder, name);
        native::EntryInfo named;
        const auto open = native::OpenForReading(path, native::Links::Refuse);
        if (!open)
            continue;
        const native::Handle file = open.value;
        native::EntryInfo opened;
        const std::int64_t age = kLeftoverAgeSeconds * 1000000000;
        const bool dead = native::TryLock(file) && native::InspectOpen(file, opened) &&
                          opened.modified <= native::FileClockNow() - age &&
                          native::Inspect(path, named) && IdentityOf(named) == IdentityOf(opened);
        // Closed first: Windows deletes no file this run holds open. The
        // name is of a run that is gone, which no live run draws again; one
        // that cannot be removed is tried again next time.
        (void)native::CloseFile(file);
        if (dead)
            (void)native::RemoveFile(path);
    }
}

bool SyncFileData(const std::string& path, Failure* failure) {
    const Failure flushed = SyncFilesData({path}).front();
    if (flushed.step.empty())
        return true;
    if (failure != nullptr)
        *failure = flushed;
    return false;
}

std::vector<Failure> SyncFilesData(const std::vector<std::string>& paths) {
    std::vector<Failure> failures(paths.size());
    std::vector<native::Handle> files(paths.size(), native::kNoFile);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        // Opened for writing: Windows flushes only such a file.
        const auto opened = native::OpenForAppending(paths[i]);
        if (!opened) {
            NoteFailure(&failures[i], "flush", paths[i], opened.cause);
            continue;
        }
        files[i] = opened.value;
        (void)native::StartWriteback(files[i]);  // a hint; SyncFile below is what counts
    }
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (files[i] == native::kNoFile)
            continue;
        const native::Done synced = native::SyncFile(files[i]);
        const native::Done closed = native::CloseFile(files[i]);
        Noted(synced ? closed : synced, &failures[i], "flush", paths[i]);
    }
    return failures;
}

namespace {

// The hash of an open file read from the disk (OpenForReadingFromDisk),
// which is closed after.
bool HashFromDisk(native::Handle file, const std::string& path, std::uint64_t& hash,
                  Failure* failure) {
    ContentHash content;
    // Up to the file's size: past its last piece, where the offset is no
    // longer a whole number of sectors, an unbuffered read would fail.
    native::EntryInfo info;
    const native::Done inspected = native::InspectOpen(file, info);
    // Pieces of 1 MiB, or the whole of a smaller file in whole sectors:
    // a small file's read-back asks for no more memory than it needs.
    constexpr std::size_t kPiece = 256 * native::kDiskPiece;  // 1 MiB
    const std::size_t sectors = static_cast<std::size_t>(
        std::min<std::uint64_t>(kPiece, info.size + native::kDiskPiece - 1) / native::kDiskPiece);
    const std::size_t pieceSize = std::max<std::size_t>(sectors, 1) * native::kDiskPiece;
    struct AlignedFree {
        void operator()(char* memory) const {
            ::operator delete[](memory, std::align_val_t{native::kDiskPiece});
        }
    };
    const std::unique_ptr<char[], AlignedFree> piece(
        static_cast<char*>(::operator new[](pieceSize, std::align_val_t{native::kDiskPiece})));
    native::Answer<std::int64_t> got{0, inspected.cause};
    for (std::uint64_t read = 0; got && read < info.size;
         read += static_cast<std::uint64_t>(got.value)) {
        got = native::ReadSome(file, piece.get(), pieceSize);
        if (!got || got.value == 0)
            break;  // shorter than it was: it reads back different
        content.Add(piece.get(), static_cast<std::size_t>(got.value));
    }
    (void)native::CloseFile(file);  // only read
    if (!got)
        return NoteFailure(failure, "read back", path, got.cause);
    hash = content.Value();
    return true;
}

}  // namespace

bool ReadBackHash(const std::string& path, std::uint64_t& hash, Failure* failure) {
    const auto opened = native::OpenForReadingFromDisk(path);
    if (!opened)
        return NoteFailure(failure, "read back", path, opened.cause);
    return HashFromDisk(opened.value, path, hash, failure);
}

std::vector<Failure> ReadBackAll(const std::vector<std::pair<std::string, std::uint64_t>>& files) {
    std::vector<Failure> failures(files.size());
    std::vector<native::Handle> opened(files.size(), native::kNoFile);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto open = native::OpenForReadingFromDisk(files[i].first);
        if (!open) {
            NoteFailure(&failures[i], "read back", files[i].first, open.cause);
            continue;
        }
        opened[i] = open.value;
        (void)native::StartReading(opened[i]);  // a hint: the reads below wait together
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::uint64_t hash = 0;
        if (opened[i] != native::kNoFile &&
            HashFromDisk(opened[i], files[i].first, hash, &failures[i]) && hash != files[i].second)
            NoteFailure(&failures[i], "read back", files[i].first, kReadsBackDifferent);
    }
    return failures;
}

bool ReadsBackAs(const std::string& path, const std::uint64_t* expected, Failure* failure) {
    std::uint64_t hash = 0;
    if (expected == nullptr)
        return true;
    if (!ReadBackHash(path, hash, failure))
        return false;
    return hash == *expected || NoteFailure(failure, "read back", path, kReadsBackDifferent);
}

bool SameContent(const std::string& a, const std::string& b) {
    native::EntryInfo first, second;
    if (!native::Inspect(a, first) || !native::Inspect(b, second) || !first.regular ||
        !second.regular || first.size != second.size)
        return false;
    const native::Handle one = native::OpenForReading(a).value;
    const native::Handle other = native::OpenForReading(b).value;
    bool same = one != native::kNoFile && other != native::kNoFile;
    constexpr std::size_t kPiece = 64 * 1024;
    std::string left(kPiece, '\0'), right(kPiece, '\0');
    while (same) {
        const auto got = ReadUpTo(one, left.data(), kPiece);
        const auto gotOther = ReadUpTo(other, right.data(), kPiece);
        same = got && gotOther && got.value == gotOther.value &&
               left.compare(0, static_cast<std::size_t>(got.value), right, 0,
                            static_cast<std::size_t>(got.value)) == 0;
        if (got.value == 0)
            break;
    }
    for (native::Handle file : {one, other})
        if (file != native::kNoFile)
            (void)native::CloseFile(file);  // only read
    return same;
}

bool MakeFolders(const std::string& path, Failure* failure) {
    if (path.empty() || FolderExists(path))
        return true;
    // The parent first: the path without its last part (and separators).
    std::string folder = path;
    const std::string name = FileNamePart(folder);
    if (name.empty()) {
        if (folder.back() != '/' && folder.back() != '\\')
            return NoteFailure(failure, "make the folder", path,
                               ENOENT);  // a drive ("C:") not there
        folder.pop_back();               // a trailing separator
        return MakeFolders(folder, failure);
    }
    const std::string parent = FolderPart(folder);
    if (!parent.empty() && parent != folder && !MakeFolders(parent, failure))
        return false;
    return Noted(native::CreateFolder(folder), failure, "make the folder", folder);
}

}  // namespace quenrix
