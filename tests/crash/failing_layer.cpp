#include "tests/crash/failing_layer.h"

#include <cerrno>

namespace quenrix::crash {

using native::EntryInfo;
using native::Handle;
using native::kNoFile;
using native::Lookup;

void FailingLayer::Reset(Mode mode, std::uint64_t call) {
    mode_ = mode;
    failing_ = call;
    calls_ = 0;
    failed_.clear();
    flipped_.clear();
    open_.clear();
}

bool FailingLayer::FailsThisTime(const char* call, const std::string& what, int cause) {
    ++calls_;
    if (hangLimit_ != 0 && calls_ > hangLimit_ && onHang_ != nullptr)
        onHang_();
    const bool fails = (mode_ == Mode::Once && calls_ == failing_) ||
                       (mode_ == Mode::FromThenOn && calls_ >= failing_);
    if (!fails)
        return false;
    if (failed_.empty())
        failed_ = std::string(call) + " " + what;
    errno = cause;
    return true;
}

namespace {

std::string Of(Handle file, const std::map<Handle, std::string>& open) {
    const auto found = open.find(file);
    return found != open.end() ? found->second : "?";
}

}  // namespace

template <typename Opening>
Handle FailingLayer::Open(const char* call, const std::string& path, int cause, Opening open) {
    if (FailsThisTime(call, path, cause))
        return kNoFile;
    const Handle file = open();
    if (file != kNoFile)
        open_[file] = path;
    return file;
}

Handle FailingLayer::OpenForReading(const std::string& path, native::Links links) {
    return Open("open", path, ENOENT, [&] { return real_.OpenForReading(path, links); });
}

Handle FailingLayer::CreateForWriting(const std::string& path, unsigned permissions) {
    return Open("create", path, EACCES, [&] { return real_.CreateForWriting(path, permissions); });
}

Handle FailingLayer::OpenForAppending(const std::string& path) {
    return Open("open to append", path, EACCES, [&] { return real_.OpenForAppending(path); });
}

void FailingLayer::Flip(Handle file, void* destination, std::int64_t got) {
    if (got > 0 && !flipped_.empty() && Of(file, open_) == flipped_)
        static_cast<unsigned char*>(destination)[0] ^= 0x01;
}

std::int64_t FailingLayer::ReadSome(Handle file, void* destination, std::size_t n) {
    if (FailsThisTime("read", Of(file, open_), EIO))
        return -1;
    const std::int64_t got = real_.ReadSome(file, destination, n);
    Flip(file, destination, got);
    return got;
}

std::optional<std::int64_t> FailingLayer::ReadSomeAtHand(Handle file, void* destination,
                                                         std::size_t n) {
    if (FailsThisTime("read", Of(file, open_), EIO))
        return -1;
    const std::optional<std::int64_t> got = real_.ReadSomeAtHand(file, destination, n);
    if (got)
        Flip(file, destination, *got);
    return got;
}

bool FailingLayer::RewindFile(Handle file) {
    if (FailsThisTime("rewind", Of(file, open_), EIO))
        return false;
    return real_.RewindFile(file);
}

std::int64_t FailingLayer::WriteSome(Handle file, const void* data, std::size_t n) {
    if (FailsThisTime("write", Of(file, open_), ENOSPC))
        return -1;
    return real_.WriteSome(file, data, n);
}

bool FailingLayer::CloseFile(Handle file) {
    const std::string path = Of(file, open_);
    open_.erase(file);
    // A close that fails still lets the file go, as the systems do.
    const bool closed = real_.CloseFile(file);
    if (FailsThisTime("close", path, EIO))
        return false;
    return closed;
}

bool FailingLayer::SyncFile(Handle file) {
    if (FailsThisTime("flush", Of(file, open_), EIO))
        return false;
    return real_.SyncFile(file);
}

bool FailingLayer::TruncateFile(Handle file, std::uint64_t size) {
    if (FailsThisTime("truncate", Of(file, open_), EIO))
        return false;
    return real_.TruncateFile(file, size);
}

Lookup FailingLayer::Inspect(const std::string& path, EntryInfo& info) {
    if (FailsThisTime("look up", path, plants_.missingForFailed ? ENOENT : EIO))
        return plants_.missingForFailed ? Lookup::Missing : Lookup::Failed;
    return real_.Inspect(path, info);
}

bool FailingLayer::InspectOpen(Handle file, EntryInfo& info) {
    if (FailsThisTime("look up", Of(file, open_), EIO))
        return false;
    return real_.InspectOpen(file, info);
}

bool FailingLayer::IsLink(const std::string& path) {
    // Answers no when it cannot tell, as the systems do.
    if (FailsThisTime("look up link", path, EIO))
        return false;
    return real_.IsLink(path);
}

bool FailingLayer::RenameReplacing(const std::string& from, const std::string& to) {
    if (FailsThisTime("rename", from + " -> " + to, EACCES))
        return false;
    return real_.RenameReplacing(from, to);
}

bool FailingLayer::TryLock(native::Handle file) {
    if (FailsThisTime("lock", Of(file, open_), EWOULDBLOCK))
        return false;
    return real_.TryLock(file);
}

bool FailingLayer::SyncFolder(const std::string& folder) {
    if (FailsThisTime("flush folder", folder, EIO))
        return false;
    return real_.SyncFolder(folder);
}

bool FailingLayer::RemoveFile(const std::string& path) {
    if (FailsThisTime("remove", path, EACCES))
        return false;
    return real_.RemoveFile(path);
}

bool FailingLayer::ForEachEntry(const std::string& folder,
                                const std::function<void(const native::FolderEntry&)>& visit) {
    if (FailsThisTime("list", folder, EACCES))
        return false;
    return real_.ForEachEntry(folder, visit);
}

bool FailingLayer::CreateFolder(const std::string& path) {
    if (FailsThisTime("make folder", path, ENOSPC))
        return false;
    return real_.CreateFolder(path);
}

std::string FailingLayer::PathIn(Handle folder, const std::string& name) const {
    const std::string path = Of(folder, open_);
    return path.empty() || path.back() == '/' ? path + name : path + "/" + name;
}

Handle FailingLayer::OpenFolder(const std::string& path) {
    return Open("open folder", path, EACCES, [&] { return real_.OpenFolder(path); });
}

Handle FailingLayer::OpenAt(Handle folder, const std::string& name, native::OpenAs how,
                            unsigned permissions) {
    const bool creating = how == native::OpenAs::NewFile;
    return Open(creating ? "create new" : "open", PathIn(folder, name), creating ? ENOSPC : ENOENT,
                [&] { return real_.OpenAt(folder, name, how, permissions); });
}

Lookup FailingLayer::InspectAt(Handle folder, const std::string& name, EntryInfo& info,
                               native::Links links) {
    if (FailsThisTime("look up", PathIn(folder, name), plants_.missingForFailed ? ENOENT : EIO))
        return plants_.missingForFailed ? Lookup::Missing : Lookup::Failed;
    return real_.InspectAt(folder, name, info, links);
}

bool FailingLayer::RenameAt(Handle fromFolder, const std::string& from, Handle toFolder,
                            const std::string& to, bool replace) {
    if (FailsThisTime("rename", PathIn(fromFolder, from) + " -> " + PathIn(toFolder, to), EACCES))
        return false;
    return real_.RenameAt(fromFolder, from, toFolder, to, replace || plants_.replacingStore);
}

bool FailingLayer::ReplaceAt(Handle fromFolder, const std::string& from, Handle toFolder,
                             const std::string& to, const EntryInfo& expected) {
    if (FailsThisTime("rename", PathIn(fromFolder, from) + " -> " + PathIn(toFolder, to), EACCES))
        return false;
    return real_.ReplaceAt(fromFolder, from, toFolder, to, expected);
}

bool FailingLayer::RemoveAt(Handle folder, const std::string& name, const EntryInfo& expected) {
    if (FailsThisTime("remove", PathIn(folder, name), EACCES))
        return false;
    return real_.RemoveAt(folder, name, expected);
}

bool FailingLayer::SyncOpenFolder(Handle folder) {
    if (FailsThisTime("flush folder", Of(folder, open_), EIO))
        return false;
    return real_.SyncOpenFolder(folder);
}

bool FailingLayer::TakeAccessOf(Handle file, const EntryInfo& like) {
    if (FailsThisTime("set access", Of(file, open_), EPERM))
        return false;
    return real_.TakeAccessOf(file, like);
}

}  // namespace quenrix::crash
