#include "support/file_ops.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <vector>

#include "support/content_hash.h"
#include "support/fd_io.h"
#include "support/native.h"
#include "support/paths.h"

namespace quenrix {
namespace {

using Step = Failure::Step;

// Fills in why `step` on `path` failed; false, for the caller to return.
bool NoteFailure(Failure* failure, Failure::Step step, const std::string& path, int cause) {
    if (failure != nullptr)
        *failure = Failure{step, path, cause};
    return false;
}

// Whether the call was done; if not, fills in why `step` on `path` failed.
bool NoteUnlessDone(native::Done done, Failure* failure, Failure::Step step,
                    const std::string& path) {
    return done || NoteFailure(failure, step, path, done.cause);
}

bool Failed(const FileToStore& file) {
    return bool(file.failure);
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

// Gives the stored file its input's access, once it has its name (until
// then nobody but this program may read it): opened by its new name and
// known by the identity it had as the source.
native::Done GiveAccess(const FileAt& target, const native::EntryInfo& source,
                        const native::EntryInfo& like) {
    const auto opened = native::OpenAt(target.In(), target.Name(), native::OpenAs::Reading);
    if (!opened)
        return {opened.cause};
    native::EntryInfo now;
    native::Done done = native::InspectOpen(opened.value, now);
    if (done && IdentityOf(now) != IdentityOf(source))
        done = {kChangedSinceRead};
    if (done && native::AccessDiffers(now, like))
        done = native::TakeAccessOf(opened.value, like);
    (void)native::CloseFile(opened.value);  // only read
    return done;
}

// Gives the source the target's name: in place of the file there only
// where it is the one the target may replace.
native::Done Rename(const FileAt& from, const FileToStore& file, const FileAt& to) {
    if (file.replaceable)
        return native::ReplaceAt(from.In(), from.Name(), to.In(), to.Name(), *file.replaceable);
    return native::RenameAt(from.In(), from.Name(), to.In(), to.Name(), false);
}

constexpr const char* kPartExtension = ".quenrix-part";

// To another volume: copied into a temporary file beside the target,
// which goes to disk, then takes the target's name; the source goes
// after the caller has flushed the target's folder. No file ever stands
// under the target's name unless it is whole. The temporary file's name
// is this run's own, so that two runs storing at once never write into
// one file.
bool CopyAcross(FileToStore& file) {
    const FileAt& target = file.target;
    const auto opened =
        native::OpenAt(file.source.In(), file.source.Name(), native::OpenAs::Reading);
    if (!opened)
        return NoteFailure(&file.failure, Step::Read, file.source.path, opened.cause);
    const native::Handle from = opened.value;
    // The copies a run cut short by a crash left for this name go first.
    RemoveLeftoverWorkFiles(target.folder, target.Name() + ".*" + kPartExtension);
    const CreatedFile created =
        CreateUnique(FileAt{target.folder, target.path + "."}, kPartExtension);
    const FileAt temporary{target.folder, created.path};
    if (!created) {
        NoteFailure(&file.failure, Step::Create, temporary.path, created.cause);
        (void)native::CloseFile(from);
        return false;
    }
    const native::Handle to = created.file;
    native::Done copied = CopyContents(from, to);
    // Its access before its name: it lies in the target's folder already.
    if (copied && file.accessOf)
        (void)native::TakeAccessOf(to, *file.accessOf);
    if (copied)
        copied = native::SyncFile(to);
    bool ok = NoteUnlessDone(copied, &file.failure, Step::Copy, temporary.path);
    (void)native::CloseFile(from);  // only read
    const native::Done closed = native::CloseFile(to);
    ok = ok && NoteUnlessDone(closed, &file.failure, Step::Copy, temporary.path);
    ok = ok &&
         NoteUnlessDone(
             native::Done{native::InspectAt(temporary.In(), temporary.Name(), file.stored).cause},
             &file.failure, Step::Copy, temporary.path);
    ok = ok && (!file.expectedHash || ReadsBackAs(temporary, *file.expectedHash, &file.failure));
    ok = ok &&
         NoteUnlessDone(Rename(temporary, file, target), &file.failure, Step::Store, target.path);
    if (!ok)
        (void)DeleteOwnFile(temporary);
    return ok;
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
    return NoteUnlessDone(native::RemoveFile(path), failure, Step::Delete, path);
}

bool DeleteOwnFile(const FileAt& file, Failure* failure) {
    native::EntryInfo info;
    const auto lookup = native::InspectAt(file.In(), file.Name(), info);
    if (lookup.value == native::Lookup::Missing)
        return true;
    if (!lookup)
        return NoteFailure(failure, Step::Delete, file.path, lookup.cause);
    if (info.folder)
        return NoteFailure(failure, Step::Delete, file.path, EISDIR);
    return NoteUnlessDone(native::RemoveAt(file.In(), file.Name(), info), failure, Step::Delete,
                          file.path);
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

// The order that keeps files across a power cut, written once: the data
// goes to disk before the name does, and the name before the caller may
// delete the input, so that after a power cut the target's name never
// stands for data that was not written, and an input is never gone while
// its corrected file's name may still be lost.
void StoreFiles(std::vector<FileToStore>& files) {
    std::vector<native::EntryInfo> sources(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        FileToStore& file = files[i];
        file.failure = {};
        if (!file.source.folder || !file.target.folder) {
            NoteFailure(&file.failure, Step::Store, file.target.path, EBADF);
            continue;
        }
        const auto source = native::InspectAt(file.source.In(), file.source.Name(), sources[i]);
        if (source.value != native::Lookup::Found || !sources[i].regular) {
            NoteFailure(&file.failure, Step::Store, file.source.path,
                        source ? ENOENT : source.cause);
            continue;
        }
        native::EntryInfo there;
        const auto target = native::InspectAt(file.target.In(), file.target.Name(), there);
        if (target.value == native::Lookup::Failed)
            NoteFailure(&file.failure, Step::Store, file.target.path, target.cause);
        else if (target.value == native::Lookup::Found && there.folder)
            NoteFailure(&file.failure, Step::Store, file.target.path, EISDIR);  // never replaced
        else if (target.value == native::Lookup::Found &&
                 (!file.replaceable || IdentityOf(there) != IdentityOf(*file.replaceable)))
            NoteFailure(&file.failure, Step::Store, file.target.path, EEXIST);
        else if (target.value == native::Lookup::Missing)
            file.replaceable.reset();  // nothing to replace: the name is simply taken
    }
    std::vector<FileAt> flushing;
    std::vector<std::size_t> flushed;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!Failed(files[i])) {
            flushing.push_back(files[i].source);
            flushed.push_back(i);
        }
    }
    const std::vector<Failure> synced = SyncFilesData(flushing);
    for (std::size_t k = 0; k < flushed.size(); ++k)
        if (synced[k])
            files[flushed[k]].failure = synced[k];

    std::vector<bool> named(files.size(), false);
    std::vector<std::size_t> copied;  // to another volume: their sources go last
    for (std::size_t i = 0; i < files.size(); ++i) {
        FileToStore& file = files[i];
        if (Failed(file))
            continue;
        // A file that replaces another reads back right before it does
        // (across volumes its copy is read back instead).
        if (file.replaceable && file.expectedHash &&
            sources[i].device == file.replaceable->device &&
            !ReadsBackAs(file.source, *file.expectedHash, &file.failure))
            continue;
        native::Done renamed = Rename(file.source, file, file.target);
        if (renamed.cause == EXDEV) {
            if (CopyAcross(file)) {
                copied.push_back(i);
                named[i] = true;
            }
            continue;
        }
        native::EntryInfo there;
        if (renamed.cause == kChangedSinceRead &&
            native::InspectAt(file.target.In(), file.target.Name(), there) &&
            IdentityOf(there) != IdentityOf(*file.replaceable))
            renamed.cause = EEXIST;  // another file took the input's name meanwhile
        if (!NoteUnlessDone(renamed, &file.failure, Step::Store, file.target.path))
            continue;
        named[i] = true;
        file.stored = sources[i];
        // Where the file system keeps no owners or permission bits (FAT),
        // there is no access to give: a failure stops nothing.
        if (file.accessOf)
            (void)GiveAccess(file.target, sources[i], *file.accessOf);
    }
    // Each target folder once, by the folder that was opened.
    std::map<const Folder*, native::Done> folders;
    for (std::size_t i = 0; i < files.size(); ++i)
        if (named[i])
            folders.emplace(files[i].target.folder.get(), native::Done{});
    for (auto& [folder, done] : folders) done = native::SyncOpenFolder(folder->Handle());
    for (std::size_t i = 0; i < files.size(); ++i)
        if (named[i])
            NoteUnlessDone(folders.at(files[i].target.folder.get()), &files[i].failure, Step::Store,
                           files[i].target.path);
    // A copy is whole under its name: a source left over loses nothing.
    for (std::size_t i : copied)
        if (!Failed(files[i]))
            (void)DeleteOwnFile(files[i].source);
}

bool StoreFile(FileToStore& file) {
    std::vector<FileToStore> one{std::move(file)};
    StoreFiles(one);
    file = std::move(one.front());
    return !file.failure;
}

HeldFile LockOf(native::Handle folder, const std::string& name, const FileIdentity& identity) {
    const auto opened = native::OpenAt(folder, name, native::OpenAs::Keeping);
    if (!opened)
        return {};
    HeldFile held(opened.value);
    native::EntryInfo info;
    if (!native::InspectOpen(held.Get(), info) || IdentityOf(info) != identity ||
        !native::TryLock(held.Get()))
        return {};
    return held;
}

void RemoveLeftoverWorkFiles(const FolderRef& folder, const std::string& pattern) {
    if (!folder)
        return;
    std::vector<std::string> names;
    // A folder that cannot be listed has no leftovers to clear. The names
    // are only candidates: each is looked at in the folder opened.
    (void)native::ForEachEntry(folder->Path(), [&](const native::FolderEntry& entry) {
        if (!entry.folder && !entry.link && MatchesWildcard(entry.name, pattern))
            names.push_back(entry.name);
    });
    for (const std::string& name : names) {
        const auto open = native::OpenAt(folder->Handle(), name, native::OpenAs::ReadingFromDisk);
        if (!open)
            continue;
        const native::Handle file = open.value;
        native::EntryInfo named, opened;
        const std::int64_t age = kLeftoverAgeSeconds * 1000000000;
        const bool dead = native::TryLock(file) && native::InspectOpen(file, opened) &&
                          opened.modified <= native::FileClockNow() - age &&
                          native::InspectAt(folder->Handle(), name, named) &&
                          IdentityOf(named) == IdentityOf(opened);
        // Closed first: Windows deletes no file this run holds open. The
        // name is of a run that is gone, which no live run draws again; one
        // that cannot be removed is tried again next time.
        (void)native::CloseFile(file);
        if (dead)
            (void)native::RemoveAt(folder->Handle(), name, named);
    }
}

bool SyncFileData(const FileAt& file, Failure* failure) {
    const Failure flushed = SyncFilesData({file}).front();
    if (!flushed)
        return true;
    if (failure != nullptr)
        *failure = flushed;
    return false;
}

std::vector<Failure> SyncFilesData(const std::vector<FileAt>& paths) {
    std::vector<Failure> failures(paths.size());
    std::vector<native::Handle> files(paths.size(), native::kNoFile);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        // Opened for writing: Windows flushes only such a file.
        const auto opened =
            native::OpenAt(paths[i].In(), paths[i].Name(), native::OpenAs::Appending);
        if (!opened) {
            NoteFailure(&failures[i], Step::Flush, paths[i].path, opened.cause);
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
        NoteUnlessDone(synced ? closed : synced, &failures[i], Step::Flush, paths[i].path);
    }
    return failures;
}

namespace {

// The hash of an open file read from the disk (OpenAs::ReadingFromDisk),
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
        return NoteFailure(failure, Step::ReadBack, path, got.cause);
    hash = content.Value();
    return true;
}

native::Answer<native::Handle> OpenFromDisk(const FileAt& file) {
    return native::OpenAt(file.In(), file.Name(), native::OpenAs::ReadingFromDisk);
}

}  // namespace

bool ReadBackHash(const FileAt& file, std::uint64_t& hash, Failure* failure) {
    const auto opened = OpenFromDisk(file);
    if (!opened)
        return NoteFailure(failure, Step::ReadBack, file.path, opened.cause);
    return HashFromDisk(opened.value, file.path, hash, failure);
}

std::vector<Failure> ReadBackAll(const std::vector<std::pair<FileAt, std::uint64_t>>& files) {
    std::vector<Failure> failures(files.size());
    std::vector<native::Handle> opened(files.size(), native::kNoFile);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto open = OpenFromDisk(files[i].first);
        if (!open) {
            NoteFailure(&failures[i], Step::ReadBack, files[i].first.path, open.cause);
            continue;
        }
        opened[i] = open.value;
        (void)native::StartReading(opened[i]);  // a hint: the reads below wait together
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::uint64_t hash = 0;
        if (opened[i] != native::kNoFile &&
            HashFromDisk(opened[i], files[i].first.path, hash, &failures[i]) &&
            hash != files[i].second)
            NoteFailure(&failures[i], Step::ReadBack, files[i].first.path, kReadsBackDifferent);
    }
    return failures;
}

bool ReadsBackAs(const FileAt& file, std::uint64_t expected, Failure* failure) {
    const Failure read = ReadBackAll({{file, expected}}).front();
    if (!read)
        return true;
    if (failure != nullptr)
        *failure = read;
    return false;
}

bool SameContent(const FileAt& a, const FileAt& b) {
    native::EntryInfo first, second;
    if (!native::InspectAt(a.In(), a.Name(), first) ||
        !native::InspectAt(b.In(), b.Name(), second) || !first.regular || !second.regular ||
        first.link || second.link || first.size != second.size)
        return false;
    const native::Handle one = native::OpenAt(a.In(), a.Name(), native::OpenAs::Reading).value;
    const native::Handle other = native::OpenAt(b.In(), b.Name(), native::OpenAs::Reading).value;
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
            return NoteFailure(failure, Step::MakeFolder, path,
                               ENOENT);  // a drive ("C:") not there
        folder.pop_back();               // a trailing separator
        return MakeFolders(folder, failure);
    }
    const std::string parent = FolderPart(folder);
    if (!parent.empty() && parent != folder && !MakeFolders(parent, failure))
        return false;
    return NoteUnlessDone(native::CreateFolder(folder), failure, Step::MakeFolder, folder);
}

}  // namespace quenrix
