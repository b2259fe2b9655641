// The system layer's calls, listed once: the layer's interface
// (native_layer.h), the free functions that send each call to the layer in
// use (native_layer.cpp), the real system's declarations (native_system.h)
// and the test layers' forwarding are all made from this list. A new call
// is one line here, its documented declaration in native.h, and its
// implementations.
//
// CALL(return type, name, (parameters), (arguments), the path it names or
// {} for a call on an open file) -- a rename names its target.
#pragma once

// clang-format off
#define QUENRIX_NATIVE_CALLS(CALL) \
    CALL(Handle, OpenForReading, (const std::string& path, Links links), (path, links), path) \
    CALL(Handle, OpenForReadingFromDisk, (const std::string& path), (path), path) \
    CALL(Handle, CreateForWriting, (const std::string& path, unsigned permissions), (path, permissions), path) \
    CALL(Handle, CreateNew, (const std::string& path, unsigned permissions), (path, permissions), path) \
    CALL(Handle, OpenForAppending, (const std::string& path), (path), path) \
    CALL(std::int64_t, ReadSome, (Handle file, void* destination, std::size_t n), (file, destination, n), {}) \
    CALL(std::int64_t, ReadSomeAtHand, (Handle file, void* destination, std::size_t n), (file, destination, n), {}) \
    CALL(std::int64_t, WriteSome, (Handle file, const void* data, std::size_t n), (file, data, n), {}) \
    CALL(bool, CloseFile, (Handle file), (file), {}) \
    CALL(bool, SyncFile, (Handle file), (file), {}) \
    CALL(bool, TruncateFile, (Handle file, std::uint64_t size), (file, size), {}) \
    CALL(void, ReserveSpace, (Handle file, std::uint64_t size), (file, size), {}) \
    CALL(Lookup, Inspect, (const std::string& path, EntryInfo& info), (path, info), path) \
    CALL(bool, InspectOpen, (Handle file, EntryInfo& info), (file, info), {}) \
    CALL(bool, IsLink, (const std::string& path), (path), path) \
    CALL(bool, RenameReplacing, (const std::string& from, const std::string& to), (from, to), to) \
    CALL(bool, RenameNoReplace, (const std::string& from, const std::string& to), (from, to), to) \
    CALL(bool, TryLock, (Handle file), (file), {}) \
    CALL(bool, SyncFolder, (const std::string& folder), (folder), folder) \
    CALL(bool, RemoveFile, (const std::string& path), (path), path) \
    CALL(bool, ForEachEntry, (const std::string& folder, const std::function<void(const FolderEntry& entry)>& visit), (folder, visit), folder) \
    CALL(bool, CreateFolder, (const std::string& path), (path), path) \
    CALL(bool, RemoveFolderWithFiles, (const std::string& folder), (folder), folder) \
    CALL(int, LastCause, (), (), {}) \
    CALL(std::string, MakeTemporaryFolder, (const std::string& prefix), (prefix), {}) \
    CALL(std::string, ExecutablePath, (), (), {}) \
    CALL(LocalDateTime, LocalClockNow, (), (), {}) \
    CALL(unsigned long, ProcessId, (), (), {}) \
    CALL(std::int64_t, FileClockNow, (), (), {}) \
    CALL(std::uint64_t, RandomToken, (), (), {})
// clang-format on
