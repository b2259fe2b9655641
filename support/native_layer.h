// The system layer as one table of calls, chosen at run time: the real
// system's by default; a test puts a simulated file system or a failing
// layer in its place, and every call of native.h that touches files,
// folders, the clock or the process goes to it.
#pragma once

#include "support/native.h"

namespace quenrix::native {

class Layer {
  public:
    virtual ~Layer() = default;

    virtual Handle OpenForReading(const std::string& path, Links links) = 0;
    virtual Handle OpenForReadingFromDisk(const std::string& path) = 0;
    virtual Handle CreateForWriting(const std::string& path, unsigned permissions) = 0;
    virtual Handle CreateNew(const std::string& path, unsigned permissions) = 0;
    virtual Handle OpenForAppending(const std::string& path) = 0;
    virtual std::int64_t ReadSome(Handle file, void* destination, std::size_t n) = 0;
    virtual std::int64_t ReadSomeAtHand(Handle file, void* destination, std::size_t n) = 0;
    virtual std::int64_t WriteSome(Handle file, const void* data, std::size_t n) = 0;
    virtual bool CloseFile(Handle file) = 0;
    virtual bool SyncFile(Handle file) = 0;
    virtual bool TruncateFile(Handle file, std::uint64_t size) = 0;
    virtual void ReserveSpace(Handle file, std::uint64_t size) = 0;
    virtual Lookup Inspect(const std::string& path, EntryInfo& info) = 0;
    virtual bool InspectOpen(Handle file, EntryInfo& info) = 0;
    virtual bool IsLink(const std::string& path) = 0;
    virtual bool RenameReplacing(const std::string& from, const std::string& to) = 0;
    virtual bool RenameNoReplace(const std::string& from, const std::string& to) = 0;
    virtual bool TryLock(Handle file) = 0;
    virtual bool SyncFolder(const std::string& folder) = 0;
    virtual bool RemoveFile(const std::string& path) = 0;
    virtual bool ForEachEntry(const std::string& folder,
                              const std::function<void(const FolderEntry& entry)>& visit) = 0;
    virtual bool CreateFolder(const std::string& path) = 0;
    virtual bool RemoveFolderWithFiles(const std::string& folder) = 0;
    virtual int LastCause() = 0;
    virtual std::string MakeTemporaryFolder(const std::string& prefix) = 0;
    virtual std::string ExecutablePath() = 0;
    virtual LocalDateTime LocalClockNow() = 0;
    virtual unsigned long ProcessId() = 0;
    virtual std::int64_t FileClockNow() = 0;
    virtual std::uint64_t RandomToken() = 0;
};

// The real system's layer.
Layer& SystemLayer();
// The layer the calls go to now.
Layer& CurrentLayer();
// Sends every call to `layer` from now on (nullptr: the real system's
// again) and gives back the layer it replaces. Swap only while no call is
// under way on any thread.
Layer* UseLayer(Layer* layer);

}  // namespace quenrix::native
