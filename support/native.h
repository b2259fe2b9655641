// The operating system's calls, each behind one small function: files,
// folders, the local clock, the program's own path. native_posix.cpp
// holds them for Linux, native_windows.cpp for Windows. Everything else in
// the program reaches the system through them, but for three small
// things: the interrupt handlers (interrupt.cpp, std::signal), the CP932
// conversion on Linux (cp932_iconv.cpp, iconv) and the window's language
// setting (app/core/catalogue.cpp, getenv of QUENRIX_LANGUAGE).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/local_date_time.h"

namespace quenrix::native {

// A C runtime file descriptor on both systems (binary mode on Windows),
// not inherited by programs this one starts.
using Handle = int;
constexpr Handle kNoFile = -1;

// What a call gave back, with why it failed: the system's error number
// (FailureText words it), 0 when the call did not fail. A failed call's
// cause travels only in its answer.
template <class Value>
struct [[nodiscard]] Answer {
    Value value{};
    int cause = 0;
    explicit operator bool() const { return cause == 0; }
};
// The answer of a call that gives back nothing but whether it was done.
struct [[nodiscard]] Done {
    int cause = 0;
    explicit operator bool() const { return cause == 0; }
};

// Whether an open goes through a symbolic link standing under the name.
enum class Links { Follow, Refuse };

// Opens an existing regular file for reading. Anything else (a folder, a
// named pipe, a device; on Windows also a reserved device name such as
// "NUL" or "COM1.SIG") is refused at once, without waiting on it or
// reading from it (cause EISDIR, or kNotRegularFile in failure.h). With
// Links::Refuse a link under the name is refused too (ELOOP), so the file
// opened is the one a look-up of the name saw.
Answer<Handle> OpenForReading(const std::string& path, Links links = Links::Follow);
// What the disk holds is read (OpenAs::ReadingFromDisk) from a file's
// start in pieces of a multiple of kDiskPiece bytes into memory aligned
// to kDiskPiece; a piece shorter than asked is its last.
constexpr std::size_t kDiskPiece = 4096;
// Creates a file, or empties an existing one, for writing; a new file
// gets `permissions` (less the umask) where the system has them.
Answer<Handle> CreateForWriting(const std::string& path, unsigned permissions = 0666);
// Opens an existing regular file for writing at its end; on Linux not
// through a symbolic link, and a named pipe or device is refused at once
// as by OpenForReading.
Answer<Handle> OpenForAppending(const std::string& path);

// Up to n bytes: how many were read, 0 at the end.
Answer<std::int64_t> ReadSome(Handle file, void* destination, std::size_t n);
// Up to n bytes where the system holds them in memory, read without
// waiting for the disk: as ReadSome, or no count when none of them are
// at hand, or the system cannot tell (ReadSome then waits for them).
Answer<std::optional<std::int64_t>> ReadSomeAtHand(Handle file, void* destination, std::size_t n);
// The next read starts at the file's beginning again.
Done RewindFile(Handle file);
// Up to n bytes: how many were written.
Answer<std::int64_t> WriteSome(Handle file, const void* data, std::size_t n);
// Fails when data written earlier did not reach the file.
Done CloseFile(Handle file);
// Waits until the file's data is on disk.
Done SyncFile(Handle file);
// Starts writing the file's data to disk and returns at once, so that a
// later SyncFile of this and of other files started so waits for one
// trip to the disk rather than one each (Linux: sync_file_range; elsewhere
// nothing). Promises nothing: only SyncFile does.
Done StartWriteback(Handle file);
// Starts reading the file's data from the disk and returns at once, so
// that the reads of several files wait for the disk together (Linux:
// posix_fadvise WILLNEED; elsewhere nothing). Promises nothing.
Done StartReading(Handle file);
// Cuts the file back to `size` bytes.
Done TruncateFile(Handle file, std::uint64_t size);
// Sets aside room for `size` bytes of an empty file about to be written,
// where the file system can (it then need not find room as the data goes
// to disk); nothing happens elsewhere, nor where the room is not free in
// full. The file's size and bytes are those written.
Done ReserveSpace(Handle file, std::uint64_t size);

// What the system says about an entry.
struct EntryInfo {
    bool folder = false;
    bool regular = false;  // a plain file (not a folder, device or pipe)
    std::uint64_t size = 0;
    // The bytes the file really holds on disk: less than its size for a
    // sparse file, whose holes read as zeros.
    std::uint64_t allocated = 0;
    // Together these tell whether two paths name one file.
    std::uint64_t device = 0;
    std::uint64_t fileIndex = 0;
    // The last write, in nanoseconds on the clock of FileClockNow.
    std::int64_t modified = 0;
    unsigned permissions = 0666;  // where the system has them
    std::uint64_t links = 1;      // the names the file has (hard links)
    // Owned by the user the program runs as (where the system tells; no
    // elsewhere).
    bool mine = false;
    // A symbolic link (on Windows any reparse point), as the calls that
    // do not follow one describe it.
    bool link = false;
    // Its owner and group (POSIX user and group ids; 0 elsewhere).
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    bool operator==(const EntryInfo&) const = default;
};

// The same file, unchanged: the same identity, size and last write. A
// recording still being written (appended to, or written in place) fails
// this against what was seen when it was read.
inline bool Unchanged(const EntryInfo& was, const EntryInfo& now) {
    return was.device == now.device && was.fileIndex == now.fileIndex && was.size == now.size &&
           was.modified == now.modified && now.regular == was.regular && now.link == was.link &&
           !now.folder;
}

enum class Lookup { Found, Missing, Failed };

// Looks an entry up by path (symbolic links followed); the cause tells
// why it is missing or could not be looked up.
Answer<Lookup> Inspect(const std::string& path, EntryInfo& info);
// The same for an open file.
Done InspectOpen(Handle file, EntryInfo& info);
// True when the path's last part is a symbolic link (on Windows any
// reparse point), which Inspect would follow.
bool IsLink(const std::string& path);

// A folder opened once, so that its entries are reached through it by
// name (the *At calls below) rather than by a path looked up again:
// whatever is renamed, or linked, in the path's place afterwards, the
// calls act in the folder that was opened (links in the path are followed
// as they stand when it is opened; "" is the current folder). On Windows
// the folder cannot be renamed or deleted while it is open. Close it
// with CloseFile.
Answer<Handle> OpenFolder(const std::string& path);
// How OpenAt opens an entry of an opened folder: an existing entry only
// when it is a regular file (as OpenForReading refuses the rest), and
// through a link under the name only to read it.
enum class OpenAs {
    Reading,  // as OpenForReading, a link under the name followed
    // As Reading, but only the file the name itself stands for: never
    // through a link (ELOOP).
    ReadingNamed,
    // The disk's bytes rather than what the system keeps in memory (Linux
    // drops the cached pages first, or reads a large file directly;
    // Windows reads unbuffered), never through a link.
    ReadingFromDisk,
    Appending,  // as OpenForAppending
    // As ReadingNamed, for a handle held only to keep a lock on the file:
    // on Windows it lets the file be renamed and deleted meanwhile.
    Keeping,
    // A file that must not exist yet: never through a link planted under
    // its name, never over another file (EEXIST); for the program's own
    // names in folders others may share. It gets `permissions` (less the
    // umask) where the system has them.
    NewFile,
};
Answer<Handle> OpenAt(Handle folder, const std::string& name, OpenAs how,
                      unsigned permissions = 0600);
// Looks an entry of an opened folder up: with Links::Refuse a link under
// the name is described as a link, with Links::Follow what it leads to.
Answer<Lookup> InspectAt(Handle folder, const std::string& name, EntryInfo& info,
                         Links links = Links::Refuse);
// Renames an entry of one opened folder into another (or the same) on
// one volume; in place of an existing file only with `replace`, else
// never (EEXIST, also when another program makes `to` at the same
// moment); EXDEV across volumes.
Done RenameAt(Handle fromFolder, const std::string& from, Handle toFolder, const std::string& to,
              bool replace);
// Puts the file `from` in place of the file under `to`, only while that
// is still the file `expected` describes (Unchanged), which then goes;
// else nothing changes (kChangedSinceRead). Linux exchanges the two and
// looks at what came out, exchanging them back where it is not that file
// (a file system without exchanges: looked at right before a replacing
// rename); Windows renames that very file aside through its handle, and
// deletes it once `from` has its name. On one volume (else EXDEV).
Done ReplaceAt(Handle fromFolder, const std::string& from, Handle toFolder, const std::string& to,
               const EntryInfo& expected);
// Deletes the file under the name in an opened folder, only while it is
// still the file `expected` describes (Unchanged; a link under the name,
// where `expected` is no link, while it leads to that file, and then the
// link is what goes): else
// nothing is deleted, with the cause kChangedSinceRead. Windows deletes
// through the handle whose file it compared (and compares a link as
// itself), and fails (kStillInUse) while another program's handle keeps
// its name. Done too when nothing stands there.
Done RemoveAt(Handle folder, const std::string& name, const EntryInfo& expected);
// Waits until the opened folder's entries are on disk (as SyncFolder).
Done SyncOpenFolder(Handle folder);
// Gives an open file the read and write permission bits of `like` (no
// execute, set-ID or sticky bits) and, where the program may (as root),
// its owner and group, so that nobody can read it who could not read
// `like`. Nothing happens where the system has no such bits (Windows).
// Each change writes the file's metadata: ask only where AccessDiffers.
Done TakeAccessOf(Handle file, const EntryInfo& like);
// Whether a file described as `now` lacks `like`'s access (TakeAccessOf).
inline bool AccessDiffers(const EntryInfo& now, const EntryInfo& like) {
    return (now.permissions & 07777) != (like.permissions & 0666) || now.owner != like.owner ||
           now.group != like.group;
}

// Renames within one volume, replacing an existing file; fails with errno
// EXDEV where `to` lies on another volume.
Done RenameReplacing(const std::string& from, const std::string& to);
// Takes an exclusive lock on an open file without waiting; fails when
// another open of the file (in this process or another) holds one. The
// lock goes with the file's last close. It binds only those who ask for it
// and keeps nobody from reading the file.
Done TryLock(Handle file);
// Takes the same lock, waiting up to `milliseconds` while another holds
// it; then fails (kLockedByAnother): whoever can open a file can hold its
// lock for ever, so nobody waits on one without a bound.
Done WaitForLock(Handle file, std::int32_t milliseconds);
// Waits until the folder's entries (names made, renamed into it or deleted
// from it) are on disk; "" is the current folder. Done also where the file
// system has no such wait to offer.
Done SyncFolder(const std::string& folder);
// Deletes a file; done when it is gone (also when it never existed).
Done RemoveFile(const std::string& path);

// One entry of a folder.
struct FolderEntry {
    std::string name;
    bool folder = false;  // a folder, or a link to one
    bool link = false;    // a symbolic link (on Windows any reparse point)
};

// Calls `visit` with each entry of a folder ("." and ".." left out);
// fails when the folder cannot be read.
Done ForEachEntry(const std::string& folder,
                  const std::function<void(const FolderEntry& entry)>& visit);

// Creates one folder (its parent must exist); done when it was made or
// a folder stands there already.
Done CreateFolder(const std::string& path);

// The program's command-line arguments (without its own name) as UTF-8:
// Linux gives them so; Windows is asked for its wide command line, as its
// ANSI code page cannot spell every name.
std::vector<std::string> Arguments(int argc, char** argv);

// The languages the user reads, most preferred first, as the system names
// them: Linux's LANGUAGE list, then LC_ALL, LC_MESSAGES and LANG
// ("ja_JP.UTF-8"); Windows's user interface language ("ja-JP").
std::vector<std::string> UserLanguages();

// A folder only this user can write, for a single-instance guard's lock
// and socket: the session's runtime folder (XDG_RUNTIME_DIR) where it is
// the user's own and closed to others, else ~/.cache/quenrix, made 0700
// if missing and checked to be the user's own, never a link; never one in
// the shared temporary folder, which another user may have made first.
// Empty where there is none (and on Windows, whose guard is a mutex).
std::string PrivateRuntimeFolder();

// Makes `folder` the process's current folder (the window's file list
// follows it, as the receivers' software did).
Done EnterFolder(const std::string& folder);

// Writes UTF-8 text to standard output or error: to a Windows console as
// the console's own UTF-16, anywhere else as UTF-8 bytes.
enum class TextStream { Output, Error };
void WriteText(TextStream stream, const std::string& utf8);

// The running program's full path; empty when it cannot be found.
std::string ExecutablePath();

// The system's local date and time.
LocalDateTime LocalClockNow();

// True when standard error is a terminal (not a file or a pipe).
bool ErrorOutputIsTerminal();

// This process's id.
unsigned long ProcessId();

// The time files are stamped with when written (EntryInfo::modified), in
// nanoseconds.
std::int64_t FileClockNow();

// A number no other run of the program, on this machine or another that
// shares a folder, can be expected to draw: for the names of its own files.
std::uint64_t RandomToken();

}  // namespace quenrix::native
