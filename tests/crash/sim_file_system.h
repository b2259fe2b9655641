// A file system in memory that remembers what a power cut may take away.
// Every file and folder has a state on disk and the operations done to it
// since it was last flushed: a file's writes and size changes go to disk
// when the file is flushed, a folder's entries (files made, renamed into
// it, deleted from it) when the folder is flushed. native_sim.cpp puts the
// program's system calls on it, so that the crash explorer can cut the
// power after any operation and look at every disk the rules allow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace quenrix::crash {

using Content = std::shared_ptr<const std::string>;

// What a disk holds: every file by its full path, and the folders.
struct DiskImage {
    std::map<std::string, Content> files;
    std::set<std::string> folders;
};

// What the crash explorer is told of each operation that changes the
// disk (a flush included).
struct Operation {
    std::size_t number = 0;  // from 1 on
    std::string text;        // "rename /work/a -> /data/b"
};

// A disk the power cut may leave, and which pending operations reached it.
struct CrashState {
    std::string text;  // "none of 5 pending", "all but operation 12 (...)"
    DiskImage disk;
};

// Faults the simulation can plant in the program's order, to show that
// the explorer notices them.
enum class PlantedFault {
    None,
    // The flush of a file of the given name does nothing: as if the
    // program never flushed its data.
    SkipDataFlush,
    // A folder's flush waits until the next file is deleted: as if the
    // program deleted an input before it flushed its output's folder.
    FolderFlushAfterDelete,
    // A folder's flush waits until the next folder flush after a delete:
    // as if the program deleted a whole group's inputs before it flushed
    // the group's folders.
    GroupDeletedBeforeFolderFlush,
};

class SimFileSystem {
  public:
    using Handle = int;
    static SimFileSystem& Instance();

    // Starts afresh from `disk`, all of it on disk. Files and folders get
    // new identities, so nothing the program remembers of an earlier disk
    // can match them.
    void Reset(const DiskImage& disk);
    // What the program sees now: all of it, or one file (empty when it is
    // not there).
    DiskImage Current() const;
    Content FileNow(const std::string& path) const;

    // Called after each numbered operation, with the file system locked:
    // it may look (CrashStates, Current, FileNow), not change anything.
    void SetObserver(std::function<void(const Operation&)> observer);
    void Plant(PlantedFault fault, const std::string& fileName = {});
    // Puts the folder `top` (a folder of the root, "/vol2") and all below it
    // on a volume of its own: a rename into or out of it fails with EXDEV,
    // as between two disks. Stays over Reset.
    void SetSecondVolume(const std::string& top);
    std::size_t Operations() const;
    // The time files are stamped with, in nanoseconds: one more with each
    // change, and an hour more with each Reset (a power cut, a reboot).
    std::int64_t ClockNow() const;
    void LetTimePass(std::int64_t nanoseconds);

    // The disks a power cut now may leave: none of the pending operations,
    // all of them, all but each one alone, and for a file with pending
    // writes each first part of them (all else done).
    std::vector<CrashState> CrashStates() const;
    std::size_t PendingCount() const;

    // The system calls, as native.h describes them; failures set errno.
    Handle Open(const std::string& path, bool forWriting);
    Handle Create(const std::string& path, bool exclusive = false);
    std::int64_t Read(Handle handle, void* destination, std::size_t n);
    bool Rewind(Handle handle);
    std::int64_t Write(Handle handle, const void* data, std::size_t n);
    bool Close(Handle handle);
    bool SyncFile(Handle handle);
    bool Truncate(Handle handle, std::uint64_t size);
    struct Entry {
        bool folder = false;
        std::uint64_t size = 0;
        std::uint64_t generation = 0;  // changes with every Reset
        std::uint64_t id = 0;
        std::int64_t modified = 0;
        int owner = 0;  // 0: the user the program runs as
    };
    bool Inspect(const std::string& path, Entry& entry) const;
    bool InspectOpen(Handle handle, Entry& entry) const;
    // Renames a file; with `replace` false an existing target fails the
    // rename (EEXIST), as renameat2's RENAME_NOREPLACE does.
    bool Rename(const std::string& from, const std::string& to, bool replace = true);
    // An exclusive lock on the open file's node, held until that handle
    // closes; false (EWOULDBLOCK) when another handle holds it.
    bool TryLock(Handle handle);
    // Deletes a file, or with `folder` an empty folder.
    bool Remove(const std::string& path, bool folder = false);
    bool SyncFolder(const std::string& path);
    bool MakeFolder(const std::string& path);
    // The names in a folder, each with whether it is a folder.
    bool List(const std::string& path, std::vector<std::pair<std::string, bool>>& names) const;

    // A folder opened: the *At calls reach its entries by name through it,
    // wherever it is renamed to. Closed with Close.
    Handle OpenFolder(const std::string& path);
    // Through a link under the name only with `follow` (and never to write).
    Handle OpenAt(Handle folder, const std::string& name, bool forWriting, bool follow);
    Handle CreateAt(Handle folder, const std::string& name);  // exclusive
    // Looks the name up; `link` in: whether to follow a link under it,
    // out: whether the entry described is a link.
    bool InspectAt(Handle folder, const std::string& name, Entry& entry, bool& link) const;
    bool RenameAt(Handle fromFolder, const std::string& from, Handle toFolder,
                  const std::string& to, bool replace);
    bool RemoveAt(Handle folder, const std::string& name);
    bool SyncOpenFolder(Handle folder);
    // Where an opened folder is now, for messages.
    std::string PathOfOpen(Handle folder) const;

    // What another user may do in a shared folder: a symbolic link to
    // `target` made under `path`, and a folder renamed (the program itself
    // renames files only).
    bool MakeLink(const std::string& target, const std::string& path);
    bool RenameFolder(const std::string& from, const std::string& to);
    // The file under `path` made another user's (`owner` not 0).
    bool SetOwner(const std::string& path, int owner);

  private:
    struct Node {
        bool folder = false;
        std::string link;  // a symbolic link: the path it points to
        int owner = 0;
        std::string data;                    // what the program sees
        Content durableData;                 // what the disk holds
        std::map<std::string, int> entries;  // a folder's, as the program sees them
        std::map<std::string, int> durableEntries;
        std::int64_t modified = 0;
    };
    // One operation not yet on disk.
    struct Pending {
        enum class Kind { Write, Truncate, Link, Unlink, Rename };
        explicit Pending(Kind what) : kind(what) {}
        Kind kind;
        std::size_t number = 0;
        std::string text;
        int node = -1;             // the file written, made, renamed or deleted
        int owner = -1;            // whose flush puts it on disk: the file, or the folder
        std::uint64_t offset = 0;  // Write: where; Truncate: the new size
        Content bytes;             // Write
        int folder = -1;           // Link, Unlink: where; Rename: to where
        std::string name;
        int fromFolder = -1;  // Rename: from where
        std::string fromName;
    };
    struct OpenFile {
        int node = -1;
        std::uint64_t position = 0;
        bool append = false;
        bool folder = false;  // OpenFolder's
    };
    class View;

    // The folder and last name of a path; false (errno set) when the
    // folder is not there.
    bool Locate(const std::string& path, int& folder, std::string& name) const;
    // The node a path names (-1 when missing); a link at its last part
    // is followed unless `followLast` is false.
    int Find(const std::string& path, bool followLast = true) const;
    // A link's target followed, as far as it leads (errno ELOOP past
    // eight links): -1 when it leads nowhere.
    int Follow(int node, int depth = 0) const;
    // The folder an open folder handle holds; -1 (EBADF) for another.
    int FolderOf(Handle handle) const;
    int VolumeOfNode(int node) const;
    Handle OpenNode(int folder, const std::string& name, bool forWriting, bool follow);
    Handle CreateIn(int folder, const std::string& name, bool exclusive);
    bool RenameIn(int fromFolder, const std::string& fromName, int toFolder,
                  const std::string& toName, bool replace, bool folders = false);
    bool RemoveIn(int folder, const std::string& name, bool folderWanted);
    bool SyncFolderNode(int folder, const std::string& shown);
    int FindFolder(const std::string& path) const;  // -1 also for a file
    // An open file; nullptr (errno EBADF) for a handle that is not.
    OpenFile* Opened(Handle handle);
    const OpenFile* Opened(Handle handle) const;
    int NewNode(bool folder);
    // A new file or folder under `name`; its node.
    int Link(int folder, const std::string& name, bool isFolder);
    void Record(Pending pending);
    void Flush(int owner);
    void Announce(const std::string& text);
    std::string PathOf(int folder, const std::string& name) const;
    std::string NameOf(int node) const;  // its path now, for messages

    mutable std::recursive_mutex mutex_;
    std::vector<Node> nodes_;
    std::vector<Pending> pending_;
    std::map<Handle, OpenFile> open_;
    std::map<int, Handle> locks_;  // by node: the handle that holds its lock
    Handle nextHandle_ = 100;
    std::size_t operations_ = 0;
    std::uint64_t generation_ = 0;
    std::int64_t clock_ = 0;
    std::function<void(const Operation&)> observer_;
    PlantedFault fault_ = PlantedFault::None;
    std::string secondVolume_;  // the first part of its paths; empty: one volume
    // 1 for a path on the second volume, else 0.
    int VolumeOf(const std::string& path) const;
    std::string faultyFile_;                // SkipDataFlush: the file's name
    std::vector<int> heldFolderFlushes_;    // FolderFlushAfterDelete, GroupDeletedBefore...
    bool deletedSinceFolderFlush_ = false;  // GroupDeletedBeforeFolderFlush
};

}  // namespace quenrix::crash
