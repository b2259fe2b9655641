// The system calls of native.h on the simulated file system: linked into
// the crash explorer in place of the real ones, so that everything the
// engine, the batch and the log do lands in memory, operation by
// operation. The clock stands still, so every run writes the same bytes.
#include <cerrno>
#include <cstdio>

#include "support/native.h"
#include "tests/crash/sim_file_system.h"

namespace quenrix::native {
namespace {

crash::SimFileSystem& Fs() {
    return crash::SimFileSystem::Instance();
}

EntryInfo Info(const crash::SimFileSystem::Entry& entry) {
    EntryInfo info;
    info.folder = entry.folder;
    info.regular = !entry.folder;
    info.size = entry.size;
    info.device = entry.generation;
    info.fileIndex = entry.id;
    info.modified = entry.modified;
    return info;
}

}  // namespace

Handle OpenForReading(const std::string& path) {
    return Fs().Open(path, false);
}

Handle CreateForWriting(const std::string& path, unsigned) {
    return Fs().Create(path);
}

Handle CreateNew(const std::string& path, unsigned) {
    return Fs().Create(path, true);
}

Handle OpenForAppending(const std::string& path) {
    return Fs().Open(path, true);
}

std::int64_t ReadSome(Handle file, void* destination, std::size_t n) {
    return Fs().Read(file, destination, n);
}

std::int64_t ReadSomeAtHand(Handle file, void* destination, std::size_t n) {
    return Fs().Read(file, destination, n);  // all of it is in memory
}

std::int64_t WriteSome(Handle file, const void* data, std::size_t n) {
    return Fs().Write(file, data, n);
}

bool CloseFile(Handle file) {
    return Fs().Close(file);
}

bool SyncFile(Handle file) {
    return Fs().SyncFile(file);
}

void DropCachedData(Handle) {}

bool TruncateFile(Handle file, std::uint64_t size) {
    return Fs().Truncate(file, size);
}

void ReserveSpace(Handle, std::uint64_t) {}

Lookup Inspect(const std::string& path, EntryInfo& info) {
    crash::SimFileSystem::Entry entry;
    if (!Fs().Inspect(path, entry))
        return errno == ENOENT || errno == ENOTDIR ? Lookup::Missing : Lookup::Failed;
    info = Info(entry);
    return Lookup::Found;
}

bool InspectOpen(Handle file, EntryInfo& info) {
    crash::SimFileSystem::Entry entry;
    if (!Fs().InspectOpen(file, entry))
        return false;
    info = Info(entry);
    return true;
}

bool IsLink(const std::string&) {
    return false;  // the simulation has no links
}

bool RenameReplacing(const std::string& from, const std::string& to) {
    return Fs().Rename(from, to);
}

bool SyncFolder(const std::string& folder) {
    return Fs().SyncFolder(folder);
}

bool RemoveFile(const std::string& path) {
    return Fs().Remove(path) || errno == ENOENT;
}

bool ForEachEntry(const std::string& folder,
                  const std::function<void(const FolderEntry& entry)>& visit) {
    std::vector<std::pair<std::string, bool>> names;
    if (!Fs().List(folder, names))
        return false;
    for (const auto& [name, isFolder] : names) visit({name, isFolder, false});
    return true;
}

bool CreateFolder(const std::string& path) {
    crash::SimFileSystem::Entry entry;
    if (Fs().Inspect(path, entry) && entry.folder)
        return true;
    return Fs().MakeFolder(path);
}

bool RemoveFolderWithFiles(const std::string& folder) {
    std::vector<std::pair<std::string, bool>> names;
    if (!Fs().List(folder, names))
        return errno == ENOENT;
    for (const auto& [name, isFolder] : names)
        if (!isFolder)
            Fs().Remove(folder + "/" + name);
    return Fs().Remove(folder, true);
}

int LastCause() {
    return errno;
}

std::vector<std::string> Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void WriteText(TextStream stream, const std::string& utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream == TextStream::Output ? stdout : stderr);
}

std::string MakeTemporaryFolder(const std::string& prefix) {
    static int made = 0;
    Fs().MakeFolder("/tmp");
    const std::string path = "/tmp/" + prefix + std::to_string(++made);
    return Fs().MakeFolder(path) ? path : std::string();
}

std::string ExecutablePath() {
    return "/opt/quenrix/quenrix";
}

LocalDateTime LocalClockNow() {
    return {2026, 12, 8, 12, 0, 0};
}

bool ErrorOutputIsTerminal() {
    return false;
}

unsigned long ProcessId() {
    return 1;
}

}  // namespace quenrix::native
