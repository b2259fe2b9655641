#include "support/fd_io.h"

#include <cerrno>
#include <cstdio>
#include <utility>

#include "support/native.h"
#include "support/paths.h"

namespace quenrix {

native::Done WriteAllTo(int fd, const void* data, std::size_t n) {
    const char* next = static_cast<const char*>(data);
    while (n > 0) {
        const auto put = native::WriteSome(fd, next, n);
        if (!put)
            return {put.cause};
        if (put.value == 0)
            return {ENOSPC};  // the system took nothing and said nothing
        next += put.value;
        n -= static_cast<std::size_t>(put.value);
    }
    return {};
}

native::Answer<std::int64_t> ReadUpTo(int fd, void* destination, std::size_t n) {
    char* next = static_cast<char*>(destination);
    std::size_t got = 0;
    while (got < n) {
        const auto part = native::ReadSome(fd, next + got, n - got);
        if (!part)
            return part;
        if (part.value == 0)
            break;
        got += static_cast<std::size_t>(part.value);
    }
    return {static_cast<std::int64_t>(got)};
}

native::Done ReadAllFrom(int fd, std::string& content) {
    char buffer[64 * 1024];
    for (;;) {
        const auto got = native::ReadSome(fd, buffer, sizeof buffer);
        if (!got)
            return {got.cause};
        if (got.value == 0)
            return {};
        content.append(buffer, static_cast<std::size_t>(got.value));
    }
}

namespace {

// An exclusive creation in the opened folder, tried up to three times:
// each try under the path `prepare` gives (a cause instead: give up with
// it), again only where that name was taken meanwhile.
template <typename Prepare>
CreatedFile CreateExclusively(native::Handle folder, Prepare prepare, unsigned permissions) {
    CreatedFile created;
    for (int attempt = 0; attempt < 3; ++attempt) {
        created.cause = prepare(created.path);
        if (created.cause != 0)
            return created;
        const auto made = native::OpenAt(folder, FileNamePart(created.path),
                                         native::OpenAs::NewFile, permissions);
        created.file = made.value;
        created.cause = made.cause;
        if (made || created.cause != EEXIST)
            return created;
    }
    return created;
}

}  // namespace

CreatedFile CreateFresh(const FileAt& file, unsigned permissions) {
    if (!file.folder)
        return CreateFresh(file.path, permissions);  // its folder opened now, or why not
    // Made at once where the name is free; where it is taken, what stands
    // there goes first. Another user may plant the name again between the
    // two steps: a few tries, then the creation fails rather than write
    // through it.
    bool first = true;
    const auto clear = [&](std::string& path) {
        path = file.path;
        if (std::exchange(first, false))
            return 0;
        // Only a file or a link is removed: a folder or a device under the
        // name is nothing of ours.
        native::EntryInfo info;
        const native::Lookup lookup = native::InspectAt(file.In(), file.Name(), info).value;
        if (lookup == native::Lookup::Found && !info.regular && !info.link)
            return info.folder ? EISDIR : EEXIST;
        if (lookup == native::Lookup::Found)
            (void)native::RemoveAt(file.In(), file.Name(), info);
        return 0;
    };
    return CreateExclusively(file.In(), clear, permissions);
}

CreatedFile CreateFresh(const std::string& path, unsigned permissions) {
    const auto file = LocateFile(path);
    if (!file)
        return CreatedFile{-1, file.cause, path};
    return CreateFresh(file.value, permissions);
}

std::string UniqueName(const std::string& stem, const std::string& suffix) {
    char token[17];
    std::snprintf(token, sizeof token, "%016llx",
                  static_cast<unsigned long long>(native::RandomToken()));
    return stem + token + suffix;
}

CreatedFile CreateUnique(const FileAt& stem, const std::string& suffix, unsigned permissions) {
    if (!stem.folder)
        return {-1, EBADF, stem.path};
    // A name taken (by a file no run should have left) is drawn again.
    const auto draw = [&](std::string& path) {
        path = UniqueName(stem.path, suffix);
        return 0;
    };
    return CreateExclusively(stem.In(), draw, permissions);
}

CreatedFile CreateUnique(const std::string& stem, const std::string& suffix, unsigned permissions) {
    const auto folder = LocateFile(stem);
    return folder ? CreateUnique(folder.value, suffix, permissions)
                  : CreatedFile{-1, folder.cause, stem};
}

native::Done PutWholeFile(const FileAt& file, const std::string& text, unsigned permissions,
                          Placing placing, const native::EntryInfo* replaced,
                          native::EntryInfo& written) {
    const CreatedFile created =
        CreateUnique(FileAt{file.folder, file.path + "."}, ".tmp", permissions);
    if (!created)
        return {created.cause};
    const std::string temporary = FileNamePart(created.path);
    // Room set aside first makes the rename over the old file far cheaper
    // on file systems that would otherwise find it while renaming.
    (void)native::ReserveSpace(created.file, text.size());  // only a help to the file system
    native::Done done = WriteAllTo(created.file, text.data(), text.size());
    if (done)
        done = native::SyncFile(created.file);
    const native::Done described = native::InspectOpen(created.file, written);
    if (done)
        done = described;
    const native::Done closed = native::CloseFile(created.file);
    if (done)
        done = closed;
    if (done) {
        const std::string name = file.Name();
        switch (placing) {
            case Placing::InPlaceOf:
                done = replaced != nullptr
                           ? native::ReplaceAt(file.In(), temporary, file.In(), name, *replaced)
                           : native::Done{EINVAL};
                break;
            case Placing::NewName:
            case Placing::OverAnything:
                done = native::RenameAt(file.In(), temporary, file.In(), name,
                                        placing == Placing::OverAnything);
                break;
        }
    }
    if (!done) {
        if (described)
            (void)native::RemoveAt(file.In(), temporary, written);
        return done;
    }
    return native::SyncOpenFolder(file.In());
}

}  // namespace quenrix

namespace quenrix {

namespace {
// Whoever can open the file can hold its lock; an append waits this long.
constexpr std::int32_t kAppendLockMilliseconds = 30000;
}  // namespace

native::Done AppendLocked(const FileAt& file, std::string_view text, bool syncFolder) {
    if (!file.folder)
        return {ENOENT};
    for (int attempt = 0;; ++attempt) {
        const auto opened = native::OpenAt(file.In(), file.Name(), native::OpenAs::Appending);
        if (!opened && opened.cause == ENOENT && attempt < 3) {
            // Made empty first, then opened as any other appender opens it:
            // whoever made it, every line goes to its end.
            const auto made = native::OpenAt(file.In(), file.Name(), native::OpenAs::NewFile, 0666);
            if (made)
                (void)native::CloseFile(made.value);  // empty: nothing to lose
            else if (made.cause != EEXIST)
                return {made.cause};
            continue;
        }
        if (!opened)
            return {opened.cause};
        HeldFile held(opened.value);
        native::Done done = native::WaitForLock(opened.value, kAppendLockMilliseconds);
        if (done)
            done = WriteAllTo(opened.value, text.data(), text.size());
        if (done)
            done = native::SyncFile(opened.value);
        if (done && syncFolder)
            done = native::SyncOpenFolder(file.In());
        held.Release();
        return done;
    }
}

native::Done ReadWhole(const FileAt& file, std::string& content) {
    if (!file.folder)
        return {ENOENT};
    const auto opened = native::OpenAt(file.In(), file.Name(), native::OpenAs::Reading);
    if (!opened)
        return {opened.cause};
    HeldFile held(opened.value);
    return ReadAllFrom(opened.value, content);
}

}  // namespace quenrix
