// The real system's layer: its calls are in native_posix.cpp or
// native_windows.cpp, one file for each system.
#pragma once

#include "support/native_layer.h"

namespace quenrix::native {

class RealSystem final : public Layer {
  public:
    Handle OpenForReading(const std::string& path, Links links) override;
    Handle OpenForReadingFromDisk(const std::string& path) override;
    Handle CreateForWriting(const std::string& path, unsigned permissions) override;
    Handle CreateNew(const std::string& path, unsigned permissions) override;
    Handle OpenForAppending(const std::string& path) override;
    std::int64_t ReadSome(Handle file, void* destination, std::size_t n) override;
    std::int64_t ReadSomeAtHand(Handle file, void* destination, std::size_t n) override;
    std::int64_t WriteSome(Handle file, const void* data, std::size_t n) override;
    bool CloseFile(Handle file) override;
    bool SyncFile(Handle file) override;
    bool TruncateFile(Handle file, std::uint64_t size) override;
    void ReserveSpace(Handle file, std::uint64_t size) override;
    Lookup Inspect(const std::string& path, EntryInfo& info) override;
    bool InspectOpen(Handle file, EntryInfo& info) override;
    bool IsLink(const std::string& path) override;
    bool RenameReplacing(const std::string& from, const std::string& to) override;
    bool RenameNoReplace(const std::string& from, const std::string& to) override;
    bool TryLock(Handle file) override;
    bool SyncFolder(const std::string& folder) override;
    bool RemoveFile(const std::string& path) override;
    bool ForEachEntry(const std::string& folder,
                      const std::function<void(const FolderEntry& entry)>& visit) override;
    bool CreateFolder(const std::string& path) override;
    bool RemoveFolderWithFiles(const std::string& folder) override;
    int LastCause() override;
    std::string MakeTemporaryFolder(const std::string& prefix) override;
    std::string ExecutablePath() override;
    LocalDateTime LocalClockNow() override;
    unsigned long ProcessId() override;
    std::int64_t FileClockNow() override;
    std::uint64_t RandomToken() override;
};

}  // namespace quenrix::native
