#include "support/fd_io.h"

#include <cerrno>
#include <cstdio>

#include "support/native.h"

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

// An exclusive creation, tried up to three times: each try under the name
// `prepare` gives (a cause instead: give up with it), again only where
// that name was taken meanwhile.
template <typename Prepare>
CreatedFile CreateExclusively(Prepare prepare, unsigned permissions) {
    CreatedFile created;
    for (int attempt = 0; attempt < 3; ++attempt) {
        created.cause = prepare(created.path);
        if (created.cause != 0)
            return created;
        const auto made = native::CreateNew(created.path, permissions);
        created.file = made.value;
        created.cause = made.cause;
        if (made || created.cause != EEXIST)
            return created;
    }
    return created;
}

}  // namespace

CreatedFile CreateFresh(const std::string& path, unsigned permissions) {
    // Another user may plant the name again between the two steps: a few
    // tries, then the creation fails rather than write through it.
    const auto clear = [&](std::string& name) {
        // Only a file or a link is removed: a folder or a device under the
        // name is nothing of ours.
        name = path;
        native::EntryInfo info;
        const bool link = native::IsLink(path);
        const native::Lookup lookup = native::Inspect(path, info).value;
        if (!link && lookup == native::Lookup::Found && !info.regular)
            return info.folder ? EISDIR : EEXIST;
        if (link || lookup == native::Lookup::Found)
            (void)native::RemoveFile(path);
        return 0;
    };
    return CreateExclusively(clear, permissions);
}

std::string UniqueName(const std::string& stem, const std::string& suffix) {
    char token[17];
    std::snprintf(token, sizeof token, "%016llx",
                  static_cast<unsigned long long>(native::RandomToken()));
    return stem + token + suffix;
}

CreatedFile CreateUnique(const std::string& stem, const std::string& suffix, unsigned permissions) {
    // A name taken (by a file no run should have left) is drawn again.
    const auto draw = [&](std::string& name) {
        name = UniqueName(stem, suffix);
        return 0;
    };
    return CreateExclusively(draw, permissions);
}

}  // namespace quenrix
