// The system layer's calls on the simulated file system.
#include <cerrno>
#include <cstdio>

#include "support/failure.h"
#include "tests/crash/sim_file_system.h"
#include "tests/crash/sim_layer.h"

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
    info.mine = entry.owner == 0;
    return info;
}

}  // namespace

class SimLayer final : public Layer {
  public:
#define QUENRIX_SIM_CALL(result, answer, name, parameters, arguments, path) \
    result name parameters override;
    QUENRIX_NATIVE_CALLS(QUENRIX_SIM_CALL)
#undef QUENRIX_SIM_CALL
};

Handle SimLayer::OpenForReading(const std::string& path, Links) {
    return Fs().Open(path, false);
}

Handle SimLayer::CreateForWriting(const std::string& path, unsigned) {
    return Fs().Create(path);
}

Handle SimLayer::OpenForAppending(const std::string& path) {
    return Fs().Open(path, true);
}

std::int64_t SimLayer::ReadSome(Handle file, void* destination, std::size_t n) {
    return Fs().Read(file, destination, n);
}

std::optional<std::int64_t> SimLayer::ReadSomeAtHand(Handle file, void* destination,
                                                     std::size_t n) {
    return Fs().Read(file, destination, n);  // all of it is in memory
}

bool SimLayer::RewindFile(Handle file) {
    return Fs().Rewind(file);
}

std::int64_t SimLayer::WriteSome(Handle file, const void* data, std::size_t n) {
    return Fs().Write(file, data, n);
}

bool SimLayer::CloseFile(Handle file) {
    return Fs().Close(file);
}

bool SimLayer::SyncFile(Handle file) {
    return Fs().SyncFile(file);
}

bool SimLayer::StartWriteback(Handle) {
    return true;  // a hint: nothing reaches the disk before SyncFile
}

bool SimLayer::StartReading(Handle) {
    return true;
}

bool SimLayer::TruncateFile(Handle file, std::uint64_t size) {
    return Fs().Truncate(file, size);
}

bool SimLayer::ReserveSpace(Handle, std::uint64_t) {
    return true;
}

Lookup SimLayer::Inspect(const std::string& path, EntryInfo& info) {
    crash::SimFileSystem::Entry entry;
    if (!Fs().Inspect(path, entry))
        return errno == ENOENT || errno == ENOTDIR ? Lookup::Missing : Lookup::Failed;
    info = Info(entry);
    return Lookup::Found;
}

bool SimLayer::InspectOpen(Handle file, EntryInfo& info) {
    crash::SimFileSystem::Entry entry;
    if (!Fs().InspectOpen(file, entry))
        return false;
    info = Info(entry);
    return true;
}

bool SimLayer::IsLink(const std::string&) {
    return false;  // the simulation has no links
}

bool SimLayer::RenameReplacing(const std::string& from, const std::string& to) {
    return Fs().Rename(from, to);
}

bool SimLayer::TryLock(Handle file) {
    return Fs().TryLock(file);
}

// Nothing else runs in the simulation while a call waits; a scheduler
// that interleaves runs models the wait by letting the holder go.
bool SimLayer::WaitForLock(Handle file, std::int32_t) {
    if (Fs().TryLock(file))
        return true;
    errno = kLockedByAnother;
    return false;
}

bool SimLayer::SyncFolder(const std::string& folder) {
    return Fs().SyncFolder(folder);
}

bool SimLayer::RemoveFile(const std::string& path) {
    return Fs().Remove(path) || errno == ENOENT;
}

Handle SimLayer::OpenFolder(const std::string& path) {
    return Fs().OpenFolder(path);
}

Handle SimLayer::OpenAt(Handle folder, const std::string& name, OpenAs how, unsigned) {
    if (how == OpenAs::NewFile)
        return Fs().CreateAt(folder, name);
    return Fs().OpenAt(folder, name, how == OpenAs::Appending, how == OpenAs::Reading);
}

Lookup SimLayer::InspectAt(Handle folder, const std::string& name, EntryInfo& info, Links links) {
    crash::SimFileSystem::Entry entry;
    bool link = links == Links::Follow;
    if (!Fs().InspectAt(folder, name, entry, link))
        return errno == ENOENT || errno == ENOTDIR ? Lookup::Missing : Lookup::Failed;
    info = Info(entry);
    info.link = link;
    info.regular = !entry.folder && !link;
    return Lookup::Found;
}

bool SimLayer::RenameAt(Handle fromFolder, const std::string& from, Handle toFolder,
                        const std::string& to, bool replace) {
    return Fs().RenameAt(fromFolder, from, toFolder, to, replace);
}

bool SimLayer::ReplaceAt(Handle fromFolder, const std::string& from, Handle toFolder,
                         const std::string& to, const EntryInfo& expected) {
    // The simulation's calls are whole: nothing comes between the look
    // and the rename.
    EntryInfo now;
    const Lookup there = InspectAt(toFolder, to, now, Links::Refuse);
    if (there != Lookup::Found)
        return false;
    if (!Unchanged(expected, now)) {
        errno = kChangedSinceRead;
        return false;
    }
    return Fs().RenameAt(fromFolder, from, toFolder, to, true);
}

bool SimLayer::RemoveAt(Handle folder, const std::string& name, const EntryInfo& expected) {
    EntryInfo now;
    const Lookup there =
        InspectAt(folder, name, now, expected.link ? Links::Refuse : Links::Follow);
    if (there == Lookup::Missing)
        return true;
    if (there == Lookup::Failed)
        return false;
    if (!Unchanged(expected, now)) {
        errno = kChangedSinceRead;
        return false;
    }
    return Fs().RemoveAt(folder, name) || errno == ENOENT;
}

bool SimLayer::SyncOpenFolder(Handle folder) {
    return Fs().SyncOpenFolder(folder);
}

bool SimLayer::TakeAccessOf(Handle, const EntryInfo&) {
    return true;  // the simulation keeps no permissions
}

bool SimLayer::ForEachEntry(const std::string& folder,
                            const std::function<void(const FolderEntry& entry)>& visit) {
    std::vector<std::pair<std::string, bool>> names;
    if (!Fs().List(folder, names))
        return false;
    for (const auto& [name, isFolder] : names) visit({name, isFolder, false});
    return true;
}

bool SimLayer::CreateFolder(const std::string& path) {
    crash::SimFileSystem::Entry entry;
    if (Fs().Inspect(path, entry) && entry.folder)
        return true;
    return Fs().MakeFolder(path);
}

std::string SimLayer::ExecutablePath() {
    return "/opt/quenrix/quenrix";
}

LocalDateTime SimLayer::LocalClockNow() {
    return {2026, 12, 8, 12, 0, 0};
}

unsigned long SimLayer::ProcessId() {
    return 1;
}

std::int64_t SimLayer::FileClockNow() {
    return Fs().ClockNow();
}

std::uint64_t SimLayer::RandomToken() {
    // Drawn in turn, so that a run is the same each time it is repeated.
    static std::uint64_t drawn = 0;
    return 0x5157'0000'0000'0000ULL + ++drawn;
}

Layer& SimulatedSystem() {
    static SimLayer layer;
    return layer;
}

}  // namespace quenrix::native
