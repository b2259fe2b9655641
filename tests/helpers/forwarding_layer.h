// A system layer that passes every call on to another one: a test
// derives from it and overrides only the calls it changes, or watches
// every call in Before.
#pragma once

#include <string_view>

#include "support/native_layer.h"

namespace quenrix::test {

class ForwardingLayer : public native::Layer {
  public:
    explicit ForwardingLayer(native::Layer& next) : next_(next) {}

    native::Handle OpenForReading(const std::string& path, native::Links links) override {
        Before("OpenForReading", path);
        return next_.OpenForReading(path, links);
    }
    native::Handle OpenForReadingFromDisk(const std::string& path) override {
        Before("OpenForReadingFromDisk", path);
        return next_.OpenForReadingFromDisk(path);
    }
    native::Handle CreateForWriting(const std::string& path, unsigned permissions) override {
        Before("CreateForWriting", path);
        return next_.CreateForWriting(path, permissions);
    }
    native::Handle CreateNew(const std::string& path, unsigned permissions) override {
        Before("CreateNew", path);
        return next_.CreateNew(path, permissions);
    }
    native::Handle OpenForAppending(const std::string& path) override {
        Before("OpenForAppending", path);
        return next_.OpenForAppending(path);
    }
    std::int64_t ReadSome(native::Handle file, void* destination, std::size_t n) override {
        Before("ReadSome", {});
        return next_.ReadSome(file, destination, n);
    }
    std::int64_t ReadSomeAtHand(native::Handle file, void* destination, std::size_t n) override {
        Before("ReadSomeAtHand", {});
        return next_.ReadSomeAtHand(file, destination, n);
    }
    std::int64_t WriteSome(native::Handle file, const void* data, std::size_t n) override {
        Before("WriteSome", {});
        return next_.WriteSome(file, data, n);
    }
    bool CloseFile(native::Handle file) override {
        Before("CloseFile", {});
        return next_.CloseFile(file);
    }
    bool SyncFile(native::Handle file) override {
        Before("SyncFile", {});
        return next_.SyncFile(file);
    }
    bool TruncateFile(native::Handle file, std::uint64_t size) override {
        Before("TruncateFile", {});
        return next_.TruncateFile(file, size);
    }
    void ReserveSpace(native::Handle file, std::uint64_t size) override {
        Before("ReserveSpace", {});
        next_.ReserveSpace(file, size);
    }
    native::Lookup Inspect(const std::string& path, native::EntryInfo& info) override {
        Before("Inspect", path);
        return next_.Inspect(path, info);
    }
    bool InspectOpen(native::Handle file, native::EntryInfo& info) override {
        Before("InspectOpen", {});
        return next_.InspectOpen(file, info);
    }
    bool IsLink(const std::string& path) override {
        Before("IsLink", path);
        return next_.IsLink(path);
    }
    bool RenameReplacing(const std::string& from, const std::string& to) override {
        Before("RenameReplacing", to);
        return next_.RenameReplacing(from, to);
    }
    bool RenameNoReplace(const std::string& from, const std::string& to) override {
        Before("RenameNoReplace", to);
        return next_.RenameNoReplace(from, to);
    }
    bool TryLock(native::Handle file) override {
        Before("TryLock", {});
        return next_.TryLock(file);
    }
    bool SyncFolder(const std::string& folder) override {
        Before("SyncFolder", folder);
        return next_.SyncFolder(folder);
    }
    bool RemoveFile(const std::string& path) override {
        Before("RemoveFile", path);
        return next_.RemoveFile(path);
    }
    bool ForEachEntry(const std::string& folder,
                      const std::function<void(const native::FolderEntry& entry)>& visit) override {
        Before("ForEachEntry", folder);
        return next_.ForEachEntry(folder, visit);
    }
    bool CreateFolder(const std::string& path) override {
        Before("CreateFolder", path);
        return next_.CreateFolder(path);
    }
    bool RemoveFolderWithFiles(const std::string& folder) override {
        Before("RemoveFolderWithFiles", folder);
        return next_.RemoveFolderWithFiles(folder);
    }
    int LastCause() override {
        Before("LastCause", {});
        return next_.LastCause();
    }
    std::string MakeTemporaryFolder(const std::string& prefix) override {
        Before("MakeTemporaryFolder", {});
        return next_.MakeTemporaryFolder(prefix);
    }
    std::string ExecutablePath() override {
        Before("ExecutablePath", {});
        return next_.ExecutablePath();
    }
    LocalDateTime LocalClockNow() override {
        Before("LocalClockNow", {});
        return next_.LocalClockNow();
    }
    std::int64_t FileClockNow() override {
        Before("FileClockNow", {});
        return next_.FileClockNow();
    }
    unsigned long ProcessId() override {
        Before("ProcessId", {});
        return next_.ProcessId();
    }
    std::uint64_t RandomToken() override {
        Before("RandomToken", {});
        return next_.RandomToken();
    }

  protected:
    // Called before each call is passed on: its name and the path it names
    // (a rename's target; empty for a call on an open file).
    virtual void Before(const char* call, std::string_view path) {
        (void)call;
        (void)path;
    }

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
