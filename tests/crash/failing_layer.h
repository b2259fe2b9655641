// A system layer that passes every call to another one and makes one of
// them fail: counted from 1, call i fails once (a fault), or call i and
// every call after it fail (the disk is gone), each with a cause that
// fits the call (EIO, ENOSPC, EACCES, ENOENT). Or a read of a named file
// gives its bytes with one flipped (a disk that garbles what it keeps).
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "support/native_layer.h"
#include "tests/helpers/forwarding_layer.h"

namespace quenrix::crash {

// Faults to plant, which the explorer must find. With
// `missingForFailed` a look-up that is to fail says the entry is not
// there (a program that takes a failed look-up for "no such file");
// with `replacingStore` a rename that must not replace does (a store
// that replaces what it did not check).
struct Plants {
    bool missingForFailed = false;
    bool replacingStore = false;
};

// The calls it does not fail it passes on as they are (ForwardingLayer).
class FailingLayer final : public test::ForwardingLayer {
  public:
    enum class Mode { None, Once, FromThenOn };

    explicit FailingLayer(native::Layer& real, Plants plants = Plants())
        : ForwardingLayer(real), real_(real), plants_(plants) {}

    // The calls that can fail, counted from here; none fails.
    void Reset() { Reset(Mode::None, 0); }
    // Call `call` fails once, or from then on.
    void Reset(Mode mode, std::uint64_t call);
    // Every read of the file at `path` comes back with its first byte
    // flipped; the file itself keeps its bytes.
    void FlipReadsOf(const std::string& path) { flipped_ = path; }
    std::uint64_t Calls() const { return calls_; }
    // What the failed call was ("" while none failed).
    const std::string& Failed() const { return failed_; }
    // When the number of calls passes `limit` the program is taken to
    // hang: the run is ended with `onHang`.
    void SetHangLimit(std::uint64_t limit, void (*onHang)()) {
        hangLimit_ = limit;
        onHang_ = onHang;
    }

    native::Handle OpenForReading(const std::string& path, native::Links links) override;
    native::Handle CreateForWriting(const std::string& path, unsigned permissions) override;
    native::Handle OpenForAppending(const std::string& path) override;
    std::int64_t ReadSome(native::Handle file, void* destination, std::size_t n) override;
    std::optional<std::int64_t> ReadSomeAtHand(native::Handle file, void* destination,
                                               std::size_t n) override;
    bool RewindFile(native::Handle file) override;
    std::int64_t WriteSome(native::Handle file, const void* data, std::size_t n) override;
    bool CloseFile(native::Handle file) override;
    bool SyncFile(native::Handle file) override;
    bool TruncateFile(native::Handle file, std::uint64_t size) override;
    native::Lookup Inspect(const std::string& path, native::EntryInfo& info) override;
    bool InspectOpen(native::Handle file, native::EntryInfo& info) override;
    bool IsLink(const std::string& path) override;
    bool RenameReplacing(const std::string& from, const std::string& to) override;
    bool TryLock(native::Handle file) override;
    bool SyncFolder(const std::string& folder) override;
    bool RemoveFile(const std::string& path) override;
    bool ForEachEntry(const std::string& folder,
                      const std::function<void(const native::FolderEntry& entry)>& visit) override;
    bool CreateFolder(const std::string& path) override;
    native::Handle OpenFolder(const std::string& path) override;
    native::Handle OpenAt(native::Handle folder, const std::string& name, native::OpenAs how,
                          unsigned permissions) override;
    native::Lookup InspectAt(native::Handle folder, const std::string& name,
                             native::EntryInfo& info, native::Links links) override;
    bool RenameAt(native::Handle fromFolder, const std::string& from, native::Handle toFolder,
                  const std::string& to, bool replace) override;
    bool ReplaceAt(native::Handle fromFolder, const std::string& from, native::Handle toFolder,
                   const std::string& to, const native::EntryInfo& expected) override;
    bool RemoveAt(native::Handle folder, const std::string& name,
                  const native::EntryInfo& expected) override;
    bool SyncOpenFolder(native::Handle folder) override;
    bool TakeAccessOf(native::Handle file, const native::EntryInfo& like) override;

  private:
    // Counts a call; true (with errno set to `cause`) when it is to fail.
    bool FailsThisTime(const char* call, const std::string& what, int cause);
    // Counts an opening call, and passes it on with `open` unless it is to
    // fail; the file it opens is known by its path from then on.
    template <typename Opening>
    native::Handle Open(const char* call, const std::string& path, int cause, Opening open);
    void Flip(native::Handle file, void* destination, std::int64_t got);
    // The path of `name` in the open folder, for messages and the flipped file.
    std::string PathIn(native::Handle folder, const std::string& name) const;

    native::Layer& real_;
    const Plants plants_;
    Mode mode_ = Mode::None;
    std::uint64_t failing_ = 0;
    std::uint64_t calls_ = 0;
    std::string failed_;
    std::uint64_t hangLimit_ = 0;
    void (*onHang_)() = nullptr;
    std::string flipped_;                         // the file whose reads are garbled
    std::map<native::Handle, std::string> open_;  // the open files' paths
};

}  // namespace quenrix::crash
