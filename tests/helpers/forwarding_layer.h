// A system layer that passes every call on to another one: a test
// derives from it and overrides only the calls it changes.
#pragma once

#include "support/native_layer.h"

namespace quenrix::test {

class ForwardingLayer : public native::Layer {
  public:
    explicit ForwardingLayer(native::Layer& next) : next_(next) {}

    native::Handle OpenForReading(const std::string& path, native::Links links) override {
        return next_.OpenForReading(path, links);
    }
    native::Handle OpenForReadingFromDisk(const std::string& path) override {
        return next_.OpenForReadingFromDisk(path);
    }
    native::Handle CreateForWriting(const std::string& path, unsigned permissions) override {
        return next_.CreateForWriting(path, permissions);
    }
    native::Handle CreateNew(const std::string& path, unsigned permissions) override {
        return next_.CreateNew(path, permissions);
    }
    native::Handle OpenForAppending(const std::string& path) override {
        return next_.OpenForAppending(path);
    }
    std::int64_t ReadSome(native::Handle file, void* destination, std::size_t n) override {
        return next_.ReadSome(file, destination, n);
    }
    std::int64_t ReadSomeAtHand(native::Handle file, void* destination, std::size_t n) override {
        return next_.ReadSomeAtHand(file, destination, n);
    }
    std::int64_t WriteSome(native::Handle file, const void* data, std::size_t n) override {
        return next_.WriteSome(file, data, n);
    }
    bool CloseFile(native::Handle file) override { return next_.CloseFile(file); }
    bool SyncFile(native::Handle file) override { return next_.SyncFile(file); }
    bool TruncateFile(native::Handle file, std::uint64_t size) override {
        return next_.TruncateFile(file, size);
    }
    void ReserveSpace(native::Handle file, std::uint64_t size) override {
        next_.ReserveSpace(file, size);
    }
    native::Lookup Inspect(const std::string& path, native::EntryInfo& info) override {
        return next_.Inspect(path, info);
    }
    bool InspectOpen(native::Handle file, native::EntryInfo& info) override {
        return next_.InspectOpen(file, info);
    }
    bool IsLink(const std::string& path) override { return next_.IsLink(path); }
    bool RenameReplacing(const std::string& from, const std::string& to) override {
        return next_.RenameReplacing(from, to);
    }
    bool RenameNoReplace(const std::string& from, const std::string& to) override {
        return next_.RenameNoReplace(from, to);
    }
    bool TryLock(native::Handle file) override { return next_.TryLock(file); }
    bool SyncFolder(const std::string& folder) override { return next_.SyncFolder(folder); }
    bool RemoveFile(const std::string& path) override { return next_.RemoveFile(path); }
    bool ForEachEntry(const std::string& folder,
                      const std::function<void(const native::FolderEntry& entry)>& visit) override {
        return next_.ForEachEntry(folder, visit);
    }
    bool CreateFolder(const std::string& path) override { return next_.CreateFolder(path); }
    bool RemoveFolderWithFiles(const std::string& folder) override {
        return next_.RemoveFolderWithFiles(folder);
    }
    int LastCause() override { return next_.LastCause(); }
    std::string MakeTemporaryFolder(const std::string& prefix) override {
        return next_.MakeTemporaryFolder(prefix);
    }
    std::string ExecutablePath() override { return next_.ExecutablePath(); }
    LocalDateTime LocalClockNow() override { return next_.LocalClockNow(); }
    unsigned long ProcessId() override { return next_.ProcessId(); }
    std::uint64_t RandomToken() override { return next_.RandomToken(); }

  protected:
    native::Layer& next_;
};

// Puts a layer in place for the life of this object.
class LayerInPlace {
  public:
    explicit LayerInPlace(native::Layer& layer) : before_(native::UseLayer(&layer)) {}
    ~LayerInPlace() { native::UseLayer(before_ == &native::SystemLayer() ? nullptr : before_); }
    LayerInPlace(const LayerInPlace&) = delete;
    LayerInPlace& operator=(const LayerInPlace&) = delete;

  private:
    native::Layer* before_;
};

}  // namespace quenrix::test
