// The system layer's calls, listed once: the layer's interface
// (native_layer.h), the free functions that send each call to the layer in
// use (native_layer.cpp), the real system's declarations (native_system.h)
// and the test layers' forwarding are all made from this list. A new call
// is one line here, its documented declaration in native.h, and its
// implementations.
//
// The layers speak the C convention: a call returns its raw result
// (-1, false, Lookup::Failed...) and leaves its cause in errno. The free
// functions, which are all the rest of the program calls, read errno
// right after the layer's call and give back an Answer (or Done) that
// carries the cause. Only the iconv conversions (cp932_iconv.cpp) read
// errno besides, right after iconv's own calls.
//
// CALL(the layer's return type, the free function's, name, (parameters),
// (arguments), the path it names or {} for a call on an open file) -- a
// rename names its target, a call in an opened folder AtPath(folder,
// name), which a layer that knows its folders makes a path of.
#pragma once

// clang-format off
#define QUENRIX_NATIVE_CALLS(CALL) \
    CALL(Handle, Answer<Handle>, OpenForReading, (const std::string& path, Links links), (path, links), path) \
    CALL(Handle, Answer<Handle>, CreateForWriting, (const std::string& path, unsigned permissions), (path, permissions), path) \
    CALL(Handle, Answer<Handle>, OpenForAppending, (const std::string& path), (path), path) \
    CALL(std::int64_t, Answer<std::int64_t>, ReadSome, (Handle file, void* destination, std::size_t n), (file, destination, n), {}) \
    CALL(std::optional<std::int64_t>, Answer<std::optional<std::int64_t>>, ReadSomeAtHand, (Handle file, void* destination, std::size_t n), (file, destination, n), {}) \
    CALL(bool, Done, RewindFile, (Handle file), (file), {}) \
    CALL(std::int64_t, Answer<std::int64_t>, WriteSome, (Handle file, const void* data, std::size_t n), (file, data, n), {}) \
    CALL(bool, Done, CloseFile, (Handle file), (file), {}) \
    CALL(bool, Done, SyncFile, (Handle file), (file), {}) \
    CALL(bool, Done, StartWriteback, (Handle file), (file), {}) \
    CALL(bool, Done, StartReading, (Handle file), (file), {}) \
    CALL(bool, Done, TruncateFile, (Handle file, std::uint64_t size), (file, size), {}) \
    CALL(bool, Done, ReserveSpace, (Handle file, std::uint64_t size), (file, size), {}) \
    CALL(Lookup, Answer<Lookup>, Inspect, (const std::string& path, EntryInfo& info), (path, info), path) \
    CALL(bool, Done, InspectOpen, (Handle file, EntryInfo& info), (file, info), {}) \
    CALL(bool, bool, IsLink, (const std::string& path), (path), path) \
    CALL(bool, Done, RenameReplacing, (const std::string& from, const std::string& to), (from, to), to) \
    CALL(bool, Done, TryLock, (Handle file), (file), {}) \
    CALL(bool, Done, WaitForLock, (Handle file, std::int32_t milliseconds), (file, milliseconds), {}) \
    CALL(bool, Done, SyncFolder, (const std::string& folder), (folder), folder) \
    CALL(bool, Done, RemoveFile, (const std::string& path), (path), path) \
    CALL(Handle, Answer<Handle>, OpenFolder, (const std::string& path), (path), path) \
    CALL(Handle, Answer<Handle>, OpenAt, (Handle folder, const std::string& name, OpenAs how, unsigned permissions), (folder, name, how, permissions), AtPath(folder, name)) \
    CALL(Lookup, Answer<Lookup>, InspectAt, (Handle folder, const std::string& name, EntryInfo& info, Links links), (folder, name, info, links), AtPath(folder, name)) \
    CALL(bool, Done, RenameAt, (Handle fromFolder, const std::string& from, Handle toFolder, const std::string& to, bool replace), (fromFolder, from, toFolder, to, replace), AtPath(toFolder, to)) \
    CALL(bool, Done, ReplaceAt, (Handle fromFolder, const std::string& from, Handle toFolder, const std::string& to, const EntryInfo& expected), (fromFolder, from, toFolder, to, expected), AtPath(toFolder, to)) \
    CALL(bool, Done, RemoveAt, (Handle folder, const std::string& name, const EntryInfo& expected), (folder, name, expected), AtPath(folder, name)) \
    CALL(bool, Done, SyncOpenFolder, (Handle folder), (folder), {}) \
    CALL(bool, Done, TakeAccessOf, (Handle file, const EntryInfo& like), (file, like), {}) \
    CALL(bool, Done, ForEachEntry, (const std::string& folder, const std::function<void(const FolderEntry& entry)>& visit), (folder, visit), folder) \
    CALL(bool, Done, CreateFolder, (const std::string& path), (path), path) \
    CALL(std::string, std::string, ExecutablePath, (), (), {}) \
    CALL(LocalDateTime, LocalDateTime, LocalClockNow, (), (), {}) \
    CALL(unsigned long, unsigned long, ProcessId, (), (), {}) \
    CALL(std::int64_t, std::int64_t, FileClockNow, (), (), {}) \
    CALL(std::uint64_t, std::uint64_t, RandomToken, (), (), {})
// clang-format on
