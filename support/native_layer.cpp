// The calls of native.h, each sent to the layer in use.
#include "support/native_layer.h"

#include <atomic>

#include "support/native_system.h"

namespace quenrix::native {
namespace {

std::atomic<Layer*> replacement{nullptr};

}  // namespace

Layer& SystemLayer() {
    static RealSystem real;
    return real;
}

Layer& CurrentLayer() {
    Layer* layer = replacement.load(std::memory_order_acquire);
    return layer != nullptr ? *layer : SystemLayer();
}

Layer* UseLayer(Layer* layer) {
    Layer* before = &CurrentLayer();
    replacement.store(layer, std::memory_order_release);
    return before;
}

Handle OpenForReading(const std::string& path, Links links) {
    return CurrentLayer().OpenForReading(path, links);
}

Handle OpenForReadingFromDisk(const std::string& path) {
    return CurrentLayer().OpenForReadingFromDisk(path);
}

Handle CreateForWriting(const std::string& path, unsigned permissions) {
    return CurrentLayer().CreateForWriting(path, permissions);
}

Handle CreateNew(const std::string& path, unsigned permissions) {
    return CurrentLayer().CreateNew(path, permissions);
}

Handle OpenForAppending(const std::string& path) {
    return CurrentLayer().OpenForAppending(path);
}

std::int64_t ReadSome(Handle file, void* destination, std::size_t n) {
    return CurrentLayer().ReadSome(file, destination, n);
}

std::int64_t ReadSomeAtHand(Handle file, void* destination, std::size_t n) {
    return CurrentLayer().ReadSomeAtHand(file, destination, n);
}

std::int64_t WriteSome(Handle file, const void* data, std::size_t n) {
    return CurrentLayer().WriteSome(file, data, n);
}

bool CloseFile(Handle file) {
    return CurrentLayer().CloseFile(file);
}

bool SyncFile(Handle file) {
    return CurrentLayer().SyncFile(file);
}

bool TruncateFile(Handle file, std::uint64_t size) {
    return CurrentLayer().TruncateFile(file, size);
}

void ReserveSpace(Handle file, std::uint64_t size) {
    CurrentLayer().ReserveSpace(file, size);
}

Lookup Inspect(const std::string& path, EntryInfo& info) {
    return CurrentLayer().Inspect(path, info);
}

bool InspectOpen(Handle file, EntryInfo& info) {
    return CurrentLayer().InspectOpen(file, info);
}

bool IsLink(const std::string& path) {
    return CurrentLayer().IsLink(path);
}

bool RenameReplacing(const std::string& from, const std::string& to) {
    return CurrentLayer().RenameReplacing(from, to);
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
    return CurrentLayer().RenameNoReplace(from, to);
}

bool TryLock(Handle file) {
    return CurrentLayer().TryLock(file);
}

bool SyncFolder(const std::string& folder) {
    return CurrentLayer().SyncFolder(folder);
}

bool RemoveFile(const std::string& path) {
    return CurrentLayer().RemoveFile(path);
}

bool ForEachEntry(const std::string& folder,
                  const std::function<void(const FolderEntry& entry)>& visit) {
    return CurrentLayer().ForEachEntry(folder, visit);
}

bool CreateFolder(const std::string& path) {
    return CurrentLayer().CreateFolder(path);
}

bool RemoveFolderWithFiles(const std::string& folder) {
    return CurrentLayer().RemoveFolderWithFiles(folder);
}

int LastCause() {
    return CurrentLayer().LastCause();
}

std::string MakeTemporaryFolder(const std::string& prefix) {
    return CurrentLayer().MakeTemporaryFolder(prefix);
}

std::string ExecutablePath() {
    return CurrentLayer().ExecutablePath();
}

LocalDateTime LocalClockNow() {
    return CurrentLayer().LocalClockNow();
}

unsigned long ProcessId() {
    return CurrentLayer().ProcessId();
}

std::int64_t FileClockNow() {
    return CurrentLayer().FileClockNow();
}

std::uint64_t RandomToken() {
    return CurrentLayer().RandomToken();
}

}  // namespace quenrix::native
